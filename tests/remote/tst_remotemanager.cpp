#include "managerchild.h"
#include "vorexclient.h"
#include "vorexclient_remote_p.h"

#include <QStringList>
#include <QtTest>
#include <QTemporaryDir>

#include <signal.h>

// The host's link against a manager process: channel values arrive, a record
// request makes the manager record, a replay starts, the loss of the manager
// is noticed and a restart on the same address is found again.

namespace {

using VorexCommon::RemoteRecorderManagerLink;

const QString kChannel = QStringLiteral("/Receivers/Channel1");

long selected(const QString& path)
{
    auto v = values::Tree::Instance()->FindValueAs<values::ValueSelection>(path);
    return v ? v->GetCurrentKey() : -1;
}

// A line to the test control of a manager started with --test-clock.
QString control(const QString& address, const QString& line)
{
    QString target = address;
    target.replace(QStringLiteral("/CCO"), QStringLiteral("/Control"));
    CORBA::Object_var object = VorexRemote::Orb()->string_to_object(target.toLatin1().constData());
    CORBA::Request_var request = object->_request("command");
    request->add_in_arg() <<= line.toUtf8().constData();
    request->set_return_type(CORBA::_tc_string);
    request->invoke();
    const char* text = nullptr;
    return !request->env()->exception() && (request->return_value() >>= text) ? QString::fromUtf8(text) : QString();
}

// A manager under test control (--test-clock) with the host's link to it.
struct ControlledManager
{
    QTemporaryDir data;
    ManagerChild process;
    std::shared_ptr<RemoteRecorderManagerLink> link;
    const QStringList options{QStringLiteral("--channels"), QStringLiteral("1"), QStringLiteral("--test-clock"), QStringLiteral("0")};

    bool start()
    {
        QString error;
        if (!process.Start(QStringLiteral(VRX_MANAGER_BINARY), data.path(), options, QString(), error))
            return false;
        link = std::make_shared<RemoteRecorderManagerLink>(
            process.Address(), std::vector<RemoteRecorderManagerLink::ChannelPaths>{{kChannel, QStringLiteral("/Host/Channel1/ReplayTime")}});
        VorexCommon::RecorderManagerLink::Install(link);
        link->Start();
        return true;
    }
    bool restart()
    {
        QString error;
        return process.Restart(error);
    }
    QString control(const QString& line) const { return ::control(process.Address(), line); }
    ~ControlledManager()
    {
        VorexCommon::RecorderManagerLink::Install(nullptr);
        if (link)
            link->Stop();
    }
};

} // namespace

class TestRemoteManager : public QObject
{
    Q_OBJECT

    QTemporaryDir m_data;
    ManagerChild m_manager;
    QString m_address;

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(QStringLiteral(VRX_MANAGER_BINARY)))
            QSKIP("the manager binary (simulator/vrxrtb-manager) is not built in this tree");
        QVERIFY(m_data.isValid());
        QString error;
        QVERIFY2(m_manager.Start(QStringLiteral(VRX_MANAGER_BINARY), m_data.path(), {}, QString(), error), qPrintable(error));
        m_address = m_manager.Address();
    }

    void recordReplayAndReconnect()
    {
        auto link = std::make_shared<RemoteRecorderManagerLink>(
            m_address,
            std::vector<RemoteRecorderManagerLink::ChannelPaths>{
                {kChannel, QStringLiteral("/Host/Channel1/ReplayTime")},
                {QStringLiteral("/Receivers/Channel2"), QStringLiteral("/Host/Channel2/ReplayTime")}});
        // Received on this thread: the link emits from its worker, where a
        // directly connected spy would be written while this thread reads it.
        QList<bool> changed;
        QObject receiver;
        connect(VorexCommon::RecorderManagerEvents::Instance(), &VorexCommon::RecorderManagerEvents::si_connectionChanged,
                &receiver, [&changed](bool up) { changed << up; }, Qt::QueuedConnection);
        VorexCommon::RecorderManagerLink::Install(link);
        link->Start();
        QTRY_VERIFY_WITH_TIMEOUT(link->IsConnected(), 10000);
        QTRY_COMPARE(changed, QList<bool>{true});

        // The snapshot made the channel's values here.
        QVERIFY(values::Tree::Instance()->FindValueAs<values::ValueSelection>(kChannel + QStringLiteral("/AllRecordReplayModes")));
        QVERIFY(values::Tree::Instance()->FindValue(QStringLiteral("/Host/Channel1/ReplayTime")));
        QVERIFY(!link->GetDevices().empty());
        const QString device = link->GetDevices().front().deviceId;

        // A record request as the toolbar writes it.
        auto name = values::Tree::Instance()->FindValueAs<values::Value<QString>>(kChannel + QStringLiteral("/RecordName"));
        QVERIFY(name);
        name->Set(QStringLiteral("remote test"), nullptr);
        auto modes = values::Tree::Instance()->FindValueAs<values::ValueSelection>(kChannel + QStringLiteral("/AllRecordReplayModes"));
        QVERIFY(modes->SelectIndex(0, nullptr));
        QTRY_COMPARE_WITH_TIMEOUT(selected(kChannel + QStringLiteral("/AllRecordReplayModes")), 1L, 5000);
        QTest::qWait(1200);
        QVERIFY(modes->SelectIndex(3, nullptr));
        QTRY_COMPARE_WITH_TIMEOUT(selected(kChannel + QStringLiteral("/AllRecordReplayModes")), 4L, 5000);

        // The completed record is listed and replays.
        QString recordId;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
            for (const auto& r : link->GetRecords(device))
                if (r.GetRecordName() == QLatin1String("remote test"))
                    recordId = r.GetRecordID();
            return !recordId.isEmpty();
        }()), 5000);
        // A record the manager does not have: refused with its code; the
        // link stays up and lists nothing new.
        const QString unknownId = QStringLiteral("no-such-record");
        const vorex::RecordIdentifier unknown(link->GetSubSystem(), device, unknownId);
        QCOMPARE(link->ExecuteReplayCommand(
                     {QStringLiteral("StartReplay"), kChannel, {device, unknownId, 0, quint64(0), quint64(0), 1u}}),
                 quint32(VorexCommon::RecorderManagerBackend::eResult_UnknownRecord));
        QCOMPARE(link->ResyncRecord(unknown), quint32(VorexCommon::RecorderManagerBackend::eResult_UnknownRecord));
        QCOMPARE(link->AddHistoryComment(unknown, QStringLiteral("x")),
                 quint32(VorexCommon::RecorderManagerBackend::eResult_UnknownRecord));
        QVERIFY(!link->GetRecord(device, unknownId));
        QVERIFY(link->IsConnected());

        const quint32 code = link->ExecuteReplayCommand(
            {QStringLiteral("StartReplay"), kChannel, {device, recordId, 0, quint64(0), quint64(0), 1u}});
        QCOMPARE(code, quint32(0));
        QTRY_VERIFY_WITH_TIMEOUT(selected(kChannel + QStringLiteral("/ReplayMode")) != 0, 5000);

        // The manager stops answering with its connections open: a command
        // made on this (the GUI) thread gives up within the call time-out,
        // and the link goes down until the manager answers again.
        ::kill(pid_t(m_manager.Pid()), SIGSTOP);
        QElapsedTimer call;
        call.start();
        QCOMPARE(link->ExecuteReplayCommand({QStringLiteral("PauseReplay"), kChannel, {device, recordId}}),
                 quint32(VorexCommon::RecorderManagerBackend::eResult_NotConnected));
        QVERIFY2(call.elapsed() < 4000, qPrintable(QString::number(call.elapsed())));
        QVERIFY(!link->IsConnected());
        ::kill(pid_t(m_manager.Pid()), SIGCONT);
        QTRY_VERIFY_WITH_TIMEOUT(link->IsConnected(), 10000);

        // The manager dies: noticed within the liveness period and the call time-out.
        changed.clear();
        QElapsedTimer lost;
        lost.start();
        m_manager.Kill();
        QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty(), 5000);
        QCOMPARE(changed.at(0), false);
        QVERIFY(lost.elapsed() < 5000);

        // Back on the same address: connected again, the record still there.
        QString error;
        QVERIFY2(m_manager.Restart(error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(link->IsConnected(), 15000);
        QVERIFY(link->GetRecord(device, recordId));

        VorexCommon::RecorderManagerLink::Install(nullptr);
        link->Stop();
    }

    // The host's values and records agree with the manager's after the
    // manager was out of reach, after a refused record request, and as the
    // manager's device and record callbacks come in. What the host writes
    // while the manager is away reaches it on return, unless the manager
    // changed the value meanwhile: then the manager's value stands.
    void staysInStepWithTheManager()
    {
        ControlledManager m;
        QVERIFY(m.start());
        QTRY_VERIFY_WITH_TIMEOUT(m.link->IsConnected(), 10000);
        auto name = values::Tree::Instance()->FindValueAs<values::Value<QString>>(kChannel + QStringLiteral("/RecordName"));
        QVERIFY(name);

        const auto away = [&](const std::function<void()>& meanwhile) {
            m.link->SetEnabled(false);
            QTRY_VERIFY(!m.link->IsConnected());
            meanwhile();
            m.link->SetEnabled(true);
            QTRY_VERIFY_WITH_TIMEOUT(m.link->IsConnected(), 10000);
        };
        away([&] { name->Set(QStringLiteral("host"), nullptr); });
        QTRY_COMPARE(m.control(QStringLiteral("value 1 RecordName")), QStringLiteral("host"));
        QCOMPARE(name->Get(), QStringLiteral("host"));

        away([&] {
            name->Set(QStringLiteral("host-again"), nullptr);
            QCOMPARE(m.control(QStringLiteral("set 1 RecordName manager")), QStringLiteral("ok"));
        });
        QTRY_COMPARE(name->Get(), QStringLiteral("manager"));
        QCOMPARE(m.control(QStringLiteral("value 1 RecordName")), QStringLiteral("manager"));

        // The manager records on its own; a record request crossing it is
        // refused, and the host shows the manager's record, not "stopped".
        const QString allModes = kChannel + QStringLiteral("/AllRecordReplayModes");
        QCOMPARE(m.control(QStringLiteral("external-record 1 normal")), QStringLiteral("ok"));
        QTRY_COMPARE(selected(allModes), long(VOREX_XML::Admin::eRecordReplayAllModes_Record));
        values::Tree::Instance()->FindValueAs<values::ValueSelection>(allModes)->SelectIndex(
            VOREX_XML::Admin::eRecordReplayAllModes_Startrecord, nullptr);
        QTest::qWait(300);
        QTRY_COMPARE(selected(allModes), long(VOREX_XML::Admin::eRecordReplayAllModes_Record));
        QVERIFY(m.control(QStringLiteral("state 1")).contains(QLatin1String("recording=1")));

        // As it records, the device fills (status callback); the finished
        // record is listed (record callback); a record deleted by another
        // client goes from the host's list as well.
        const QString device = values::Tree::Instance()->FindValue(kChannel + QStringLiteral("/DeviceID"))->ToString();
        const quint64 freeBefore = m.link->GetDevice(device).freeSpace;
        QCOMPARE(m.control(QStringLiteral("time 30000000")), QStringLiteral("ok"));
        QTRY_VERIFY(m.link->GetDevice(device).freeSpace < freeBefore);
        const size_t recordsBefore = m.link->GetRecords(device).size();
        QCOMPARE(m.control(QStringLiteral("external-stop 1")), QStringLiteral("ok"));
        QTRY_COMPARE(m.link->GetRecords(device).size(), recordsBefore + 1);
        const QString last = m.control(QStringLiteral("state 1")).section(QStringLiteral("last-record="), 1);
        QVERIFY(m.link->GetRecord(device, last));

        QString admin = m.process.Address();
        admin.replace(QStringLiteral("/CCO"), QStringLiteral("/Admin"));
        CORBA::Object_var object = VorexRemote::Orb()->string_to_object(admin.toLatin1().constData());
        CORBA::Request_var remove = object->_request("deleteRecord");
        remove->add_in_arg() <<= device.toUtf8().constData();
        remove->add_in_arg() <<= last.toUtf8().constData();
        remove->set_return_type(CORBA::_tc_boolean);
        remove->invoke();
        CORBA::Boolean deleted = false;
        QVERIFY(!remove->env()->exception() && (remove->return_value() >>= CORBA::Any::to_boolean(deleted)) && deleted);
        QTRY_VERIFY(!m.link->GetRecord(device, last));
    }

    // A bookmark save is two calls; a manager that dies between them keeps
    // a moved bookmark at both places rather than at none, the operator's
    // call fails, and the restarted manager has what it stored.
    void bookmarkMovedAsTheManagerDies()
    {
        ControlledManager m;
        QVERIFY(m.start());
        QTRY_VERIFY_WITH_TIMEOUT(m.link->IsConnected(), 10000);
        const QString device = m.link->GetDevices().front().deviceId;
        const auto record = m.link->GetRecords(device).front();
        const vorex::RecordIdentifier id(m.link->GetSubSystem(), device, record.GetRecordID());
        const VOREX_XML::BookmarkEntry before(record.GetStartTime() + 10, QStringLiteral("mark"));
        const VOREX_XML::BookmarkEntry moved(record.GetStartTime() + 20, QStringLiteral("mark"));
        QCOMPARE(m.link->SetBookmarkEntries(id, {before}), 0u);

        QCOMPARE(m.control(QStringLiteral("crash-at deleteBookmarks")), QStringLiteral("ok"));
        QCOMPARE(m.link->SetBookmarkEntries(id, {moved}), quint32(VorexCommon::RecorderManagerBackend::eResult_NotConnected));
        QVERIFY(m.restart());
        QTRY_VERIFY_WITH_TIMEOUT(m.link->IsConnected(), 15000);
        const auto after = m.link->GetRecord(device, record.GetRecordID());
        QVERIFY(after);
        QCOMPARE(after->GetBookmarkEntry(), (QVector<VOREX_XML::BookmarkEntry>{before, moved}));
    }

    void cleanupTestCase()
    {
        m_manager.Stop();
        RemoteRecorderManagerLink::ShutdownOrb();
    }
};

QTEST_MAIN(TestRemoteManager)
#include "tst_remotemanager.moc"
