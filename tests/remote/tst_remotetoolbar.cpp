#include "managerchild.h"
#include "pluginhost.h"
#include "testsupport.h"
#include "vcreplaybar.h"
#include "values.h"
#include "vorexclient.h"
#include "vorexgui.h"

#include <QAbstractButton>
#include <QCursor>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

// A live toolbar (the plug-in module, loaded as the host loads it) bound
// through the remote link to a manager process that is killed while it
// records or replays and started again on the same address: the operator
// sees the loss, and afterwards the toolbar agrees with the manager.

using namespace vrxtest;
using VorexCommon::RemoteRecorderManagerLink;

namespace {

const QString kChannel = QStringLiteral("/Receivers/Channel1");
const QString kReplayTime = QStringLiteral("/Host/Channel1/ReplayTime");
// Keys of the host's RecordReplayModes and the manager's AllRecordReplayModes.
constexpr long kRecord = 3;
constexpr long kRecording = 1;
constexpr long kStopped = 4;
constexpr long kReplay = 0;
constexpr long kStop = 5;
constexpr long kReplayStopped = 0;

long selected(const char* name)
{
    auto v = values::Tree::Instance()->FindValueAs<values::ValueSelection>(kChannel + QLatin1Char('/') + QLatin1String(name));
    return v ? v->GetCurrentKey() : -1;
}

QString valueText(const char* name)
{
    auto v = values::Tree::Instance()->FindValue(kChannel + QLatin1Char('/') + QLatin1String(name));
    return v ? v->ToString() : QString();
}

} // namespace

class TestRemoteToolbar : public QObject
{
    Q_OBJECT

    QTemporaryDir m_data;
    ManagerChild m_manager;
    PluginHost m_host;
    IDllInstance* m_instance = nullptr;
    std::unique_ptr<QWidget> m_parent;
    IVRXRTB* m_toolbar = nullptr;
    std::shared_ptr<RemoteRecorderManagerLink> m_link;
    std::vector<MessageRecord> m_messages;
    QStringList m_traces;
    int m_sink = 0;

    QToolBar* bar() const { return m_toolbar->GetVorexToolbar(); }
    bool waiting() const { return bar()->testAttribute(Qt::WA_SetCursor) && bar()->cursor().shape() == Qt::WaitCursor; }
    QString device() const { return m_link->GetDevices().empty() ? QString() : m_link->GetDevices().front().deviceId; }

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(QStringLiteral(VRX_MANAGER_BINARY)))
            QSKIP("the manager binary (simulator/vrxrtb-manager) is not built in this tree");
        QVERIFY(m_data.isValid());
        QString error;
        QVERIFY2(m_manager.Start(QStringLiteral(VRX_MANAGER_BINARY), m_data.path(), {}, QString(), error), qPrintable(error));
        ErrorHandler::Instance()->SetMessageSink([this](const MessageRecord& m) { m_messages.push_back(m); });
        ErrorHandler::Instance()->SetTraceMask(ErrorHandler::TraceWarnings);
        m_sink = ErrorHandler::Instance()->AddTraceSink([this](const TraceRecord& r) {
            QMetaObject::invokeMethod(this, [this, text = r.text] { m_traces << text; }, Qt::QueuedConnection);
        });
        VorexGUI::RecordParameterDialog::SetAnswerHook([](VorexGUI::RecordParameterDialog&) { return 1; });

        m_link = std::make_shared<RemoteRecorderManagerLink>(
            m_manager.Address(), std::vector<RemoteRecorderManagerLink::ChannelPaths>{{kChannel, kReplayTime}});
        VorexCommon::RecorderManagerLink::Install(m_link);
        m_link->Start();
        QTRY_VERIFY_WITH_TIMEOUT(m_link->IsConnected(), 10000);

        QVERIFY2(m_host.load(), qPrintable(m_host.error()));
        m_instance = m_host.create()(L"RemoteToolbar");
        m_parent.reset(new QWidget);
        IVtClient* client = nullptr;
        m_toolbar = PluginHost::asPlugin(m_instance)->CreateToolbar(m_parent.get(), QStringLiteral("VorexManager"),
                                                                    QStringLiteral("VorexGui1"), client,
                                                                    QStringLiteral("CH1_"), true);
        m_toolbar->SetChannelId_ValuePath(kChannel);
        m_toolbar->SetReplayTime_ValuePath(kReplayTime);
        m_toolbar->EnableVorexToolbar(true);
        m_toolbar->EnableVorexReplay(true);
        QTRY_VERIFY_WITH_TIMEOUT(bar()->isEnabled(), 5000);
    }

    // Killed while recording: the record in progress is lost with the
    // manager; the toolbar shows the loss, and after the restart neither
    // waits for an answer nor records nor keeps a record the manager lacks.
    void killedWhileRecording()
    {
        VorexCommon::KernoServerConnectionData connection(QStringLiteral("VorexManager"), QStringLiteral("VorexGui1"));
        QSignalSpy lost(&connection, &VorexCommon::AbstractServerConnectionData::si_allTicsDisconnected);
        QSignalSpy back(&connection, &VorexCommon::AbstractServerConnectionData::si_allTicsConnected);
        settle();
        back.clear();

        values::Tree::Instance()->FindValueAs<values::ValueSelection>(kChannel + QStringLiteral("/RecordReplayModes"))
            ->SelectIndex(kRecord, nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(selected("AllRecordReplayModes"), kRecording, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!waiting(), 5000);
        QTest::qWait(500);

        m_manager.Kill();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!bar()->isEnabled(), 2000);
        QVERIFY(!m_link->IsConnected());

        QString error;
        QVERIFY2(m_manager.Restart(error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(m_link->IsConnected(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(back.count(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(bar()->isEnabled() && !waiting(), 5000);
        settle();
        // The snapshot is the manager's word: it records nothing now.
        QVERIFY2(selected("AllRecordReplayModes") != kRecording && selected("AllRecordReplayModes") != 0,
                 qPrintable(QString::number(selected("AllRecordReplayModes"))));
        QVERIFY(selected("RecordReplayModes") != kRecord);
        const QString current = valueText("RecordID");
        QVERIFY2(current.isEmpty() || m_link->GetRecord(device(), current), qPrintable(current));

        // And it records again on the operator's word.
        values::Tree::Instance()->FindValueAs<values::ValueSelection>(kChannel + QStringLiteral("/RecordReplayModes"))
            ->SelectIndex(kRecord, nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(selected("AllRecordReplayModes"), kRecording, 5000);
    }

    // Killed while replaying, with a bookmark the manager confirmed: the
    // replay ends with the manager, the bookmark outlives it, and an edit
    // made while it is away is refused rather than lost.
    void killedWhileReplaying()
    {
        values::Tree::Instance()->FindValueAs<values::ValueSelection>(kChannel + QStringLiteral("/RecordReplayModes"))
            ->SelectIndex(kStop, nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(selected("AllRecordReplayModes"), kStopped, 5000);
        QString recordId;
        QTRY_VERIFY_WITH_TIMEOUT(!(recordId = [&] {
                                       const auto records = m_link->GetRecords(device());
                                       return records.empty() ? QString() : records.back().GetRecordID();
                                   }()).isEmpty(),
                                 5000);
        const auto record = m_link->GetRecord(device(), recordId);
        const vorex::RecordIdentifier id(m_link->GetSubSystem(), device(), recordId);
        const VOREX_XML::BookmarkEntry kept(record->GetStartTime() + 1, QStringLiteral("vor dem Ausfall"));
        QCOMPARE(m_link->SetBookmarkEntries(id, {kept}), quint32(0));

        // The operator's choice of record and replay, as the host writes them.
        values::Tree::Instance()->FindValueAs<values::Value<QString>>(kChannel + QStringLiteral("/RecordID"))->Set(recordId, nullptr);
        settle();
        values::Tree::Instance()->FindValueAs<values::ValueSelection>(kChannel + QStringLiteral("/RecordReplayModes"))
            ->SelectIndex(kReplay, nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(selected("ReplayMode") != kReplayStopped, 5000);

        // The operator sets a bookmark on the toolbar's replay bar as the
        // manager dies, before the link has noticed: the save fails and the
        // operator is told.
        auto* replayBar = bar()->findChild<VCReplayBar*>();
        QVERIFY(replayBar);
        QTRY_COMPARE_WITH_TIMEOUT(int(replayBar->GetBookmarks().size()), 1, 5000);
        m_messages.clear();
        m_manager.Kill();
        replayBar->AddBookmark(qint64(replayBar->GetRecordingStart() + 1), QStringLiteral("im Ausfall"));
        QTRY_VERIFY_WITH_TIMEOUT(!bar()->isEnabled(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(m_messages.begin(), m_messages.end(), [](const MessageRecord& m) {
                                     return m.text.contains(QLatin1String("could not be saved"));
                                 }),
                                 5000);

        QString error;
        QVERIFY2(m_manager.Restart(error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(m_link->IsConnected(), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(bar()->isEnabled() && !waiting(), 5000);
        settle();
        QCOMPARE(selected("ReplayMode"), kReplayStopped);
        const QString current = valueText("RecordID");
        QVERIFY2(current.isEmpty() || m_link->GetRecord(device(), current), qPrintable(current));
        const auto after = m_link->GetRecord(device(), recordId);
        QVERIFY(after);
        QCOMPARE(after->GetBookmarkEntry(), QVector<VOREX_XML::BookmarkEntry>{kept});
    }

    void cleanup()
    {
        if (!QTest::currentTestFailed())
            return;
        for (const MessageRecord& m : m_messages)
            qInfo("message: %s", qPrintable(m.text));
        for (const QString& t : m_traces)
            qInfo("trace: %s", qPrintable(t));
    }

    void cleanupTestCase()
    {
        if (m_toolbar)
            delete m_toolbar;
        m_parent.reset();
        settle(5);
        if (m_instance)
            m_host.destroy()(m_instance);
        VorexCommon::RecorderManagerLink::Install(nullptr);
        if (m_link)
            m_link->Stop();
        m_link.reset();
        m_manager.Stop();
        VorexGUI::RecordParameterDialog::SetAnswerHook(nullptr);
        ErrorHandler::Instance()->SetMessageSink(nullptr);
        ErrorHandler::Instance()->RemoveTraceSink(m_sink);
        RemoteRecorderManagerLink::ShutdownOrb();
    }
};

QTEST_MAIN(TestRemoteToolbar)
#include "tst_remotetoolbar.moc"
