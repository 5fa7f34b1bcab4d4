// vrxrtb-manager started for real, as the host would reach it: the central
// service through corbaloc, the manager's root by name, a channel, the value
// notifications, a record, its edits surviving a kill -9, hostile record
// names and bad options.

#include "servants.h"

#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The host's CCO::Callback: what arrived, in order.
struct Collector : POA_CCO::Callback
{
    std::mutex mutex;
    QStringList messages; // "<kind> <message>"
    void notify(CCO::NotificationType kind, const char* message) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        messages << QString::number(kind) + QLatin1Char(' ') + QString::fromUtf8(message);
    }
    QStringList take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }
};

const char* const kClient = "testhost-1";

QString wide(const CORBA::WChar* s) { return QString::fromWCharArray(s); }

} // namespace

class TestManagerProcess : public QObject
{
    Q_OBJECT

    CORBA::ORB_var m_orb;
    PortableServer::POA_var m_poa;
    QTemporaryDir m_data;
    QProcess m_manager;
    CCO::IF_CCO_c_var m_cco;
    KD_VRX::IF_VRX_c_VRX_var m_vrx;

    // Starts the manager on the test's data folder and connects to it.
    void start()
    {
        m_manager.setProgram(QStringLiteral(VRX_MANAGER_BINARY));
        m_manager.setArguments({"--listen", "127.0.0.1:0", "--data", m_data.path(), "--channels", "2"});
        m_manager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_manager.start();
        QVERIFY(m_manager.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_manager.canReadLine(), 10000);
        const QByteArray line = m_manager.readLine().trimmed();
        QVERIFY2(line.startsWith("listening corbaloc::127.0.0.1:") && line.endsWith("/CCO"), line.constData());
        CORBA::Object_var object = m_orb->string_to_object(line.mid(10).constData());
        m_cco = CCO::IF_CCO_c::_narrow(object);
        object = m_cco->Resolve("VorexManager", CCO::ResolveType_0);
        m_vrx = KD_VRX::IF_VRX_c_VRX::_narrow(object);
        QVERIFY(!CORBA::is_nil(m_vrx));
    }

    template <class Servant>
    CORBA::Object_ptr activate(Servant* servant)
    {
        PortableServer::ObjectId_var id = m_poa->activate_object(servant);
        servant->_remove_ref();
        return m_poa->id_to_reference(id);
    }

    KD_VRX::RecordInfo findRecord(const char* device, const QString& recordId)
    {
        KD_VRX::RecordInfoSeq_var records = m_vrx->getAllRecords(device);
        for (CORBA::ULong i = 0; i < records->length(); ++i)
            if (QLatin1String(records[i].recordId.in()) == recordId)
                return records[i];
        return KD_VRX::RecordInfo();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_data.isValid());
        // One thread per connection takes the oneway notifications in the
        // order they were sent, as a host must.
        char arg0[] = "tst_managerprocess", arg1[] = "-ORBendPoint", arg2[] = "giop:tcp:127.0.0.1:0",
             arg3[] = "-ORBclientCallTimeOutPeriod", arg4[] = "3000", arg5[] = "-ORBmaxServerThreadPerConnection",
             arg6[] = "1";
        char* argv[] = {arg0, arg1, arg2, arg3, arg4, arg5, arg6, nullptr};
        int argc = 7;
        m_orb = CORBA::ORB_init(argc, argv);
        CORBA::Object_var object = m_orb->resolve_initial_references("RootPOA");
        m_poa = PortableServer::POA::_narrow(object);
        PortableServer::POAManager_var(m_poa->the_POAManager())->activate();
    }

    void cleanupTestCase()
    {
        if (m_manager.state() != QProcess::NotRunning) {
            m_manager.terminate();
            QVERIFY(m_manager.waitForFinished(10000));
            QCOMPARE(m_manager.exitStatus(), QProcess::NormalExit);
            QCOMPARE(m_manager.exitCode(), 0);
        }
        m_cco = CCO::IF_CCO_c::_nil();
        m_vrx = KD_VRX::IF_VRX_c_VRX::_nil();
        m_orb->destroy();
    }

    // A channel, its snapshot, a record started and stopped over the wire,
    // its edits confirmed, the manager killed and started again: the record
    // is there with its edits.
    void recordOutlivesTheManager()
    {
        start();
        CORBA::Object_var stateCallback = activate(new vrxservants::RecordStateChangeCallback);
        m_cco->Register((QByteArray(kClient) + "/RecordStateChangeCallback").constData(), stateCallback, CCO::RedundancyType_0);

        CORBA::Object_var chanMan = activate(new vrxservants::ChanMan);
        CORBA::String_var channelId;
        KD_VRX::IF_VRX_c_Chan_var chan = m_vrx->registerReceiverChannel(
            KD_VRX::IF_VRX_c_ChanMan::_narrow(chanMan), KD_VRX::DataRateClass_3, KD_VRX::DataFormat_1, true, true,
            "Channel1", kClient, channelId.out(), KD_VRX::ReceiverKind_0, "");
        QCOMPARE(channelId.in(), "Channel1");
        try {
            m_vrx->registerReceiverChannel(KD_VRX::IF_VRX_c_ChanMan::_narrow(chanMan), KD_VRX::DataRateClass_3,
                                           KD_VRX::DataFormat_1, true, true, "Channel9", kClient, channelId.out(),
                                           KD_VRX::ReceiverKind_0, "");
            QFAIL("a channel the manager does not have was registered");
        } catch (const KD_VRX::exGen& e) {
            QCOMPARE(e.code, KD_VRX::exGenCode_1);
        }

        auto* collector = new Collector;
        collector->_add_ref(); // the test reads it after the POA let go
        CORBA::Object_var listener = activate(collector);
        CCO::NotificationFilterSeq filters;
        filters.length(1);
        filters[0].kind = CCO::NotificationType_1;
        filters[0].source = (QByteArray(kClient) + "/Channel1").constData();
        CCO::CBRegistration_var registration = m_cco->register_callback(CCO::Callback::_narrow(listener), filters);

        const QString modes = QStringLiteral("/Receivers/Channel1/AllRecordReplayModes");
        QTRY_VERIFY_WITH_TIMEOUT(collector->take().join('\n').contains("3 "), 5000);
        QStringList got = collector->take();
        const int complete = got.indexOf(QRegularExpression("^3 \\d+\tChannel1$"));
        QVERIFY(complete > 20);
        QVERIFY(got.filter(QRegularExpression("^1 \\d+\t" + modes + "\te\t0\t4\\|0=.*\\|4=")).size() == 1);
        QVERIFY(got.filter("\t/Host/Channel1/ReplayTime\tl\t").size() == 1);

        // A client's write is applied but not echoed; a bad one is refused.
        const auto write = [this](const char* path, const char* type, const char* data) {
            CCO::StringSeq values;
            values.length(3);
            values[0] = kClient;
            values[1] = type;
            values[2] = data;
            m_cco->RegisterValues(path, values, CCO::RedundancyType_0);
        };
        write("/Receivers/Channel1/RecordName", "s", "probe name");
        QVERIFY_EXCEPTION_THROWN(write("/Receivers/Channel1/Nope", "s", "x"), CosNaming::NamingContext::InvalidName);
        QVERIFY_EXCEPTION_THROWN(write("/Receivers/Channel1/RecordName", "i", "5"), CosNaming::NamingContext::InvalidName);
        QVERIFY_EXCEPTION_THROWN(write("/Elsewhere/RecordName", "s", "x"), CosNaming::NamingContext::InvalidName);

        vrxservants::takeCalls();
        chan->startRecording(0, L"wire record", 0);
        QTRY_VERIFY_WITH_TIMEOUT(collector->take().filter(modes + "\te\t0\t1").size() == 1, 5000);
        QVERIFY_EXCEPTION_THROWN(chan->startRecording(0, L"again", 0), KD_VRX::IF_VRX_c_Chan::exChan);
        chan->stopRecording(L"operator");
        QTRY_VERIFY_WITH_TIMEOUT(collector->take().filter(modes + "\te\t0\t4").size() == 2, 5000);
        QString hostCalls;
        const auto heard = [&hostCalls](const QString& call) {
            return (hostCalls += QString::fromStdString(vrxservants::takeCalls())).contains(call);
        };
        QTRY_VERIFY2_WITH_TIMEOUT(heard("NotifyStateChange Dev1 REC-0010 wire record 5"), qPrintable(hostCalls), 5000);
        got = collector->take();
        QVERIFY2(got.filter(modes + "\te\t0\t0").isEmpty(), "the client's own request came back");
        QVERIFY2(got.filter("probe name").isEmpty(), "the client's own write came back");
        // One sequence without gaps; two ORB connections may deliver them out
        // of order, which the sequence numbers are there to undo.
        QList<int> numbers;
        for (const QString& line : got)
            numbers << line.section(' ', 1).section('\t', 0, 0).toInt();
        std::sort(numbers.begin(), numbers.end());
        for (int i = 0; i < numbers.size(); ++i)
            QCOMPARE(numbers[i], i + 1);

        KD_VRX::IF_VOREX_Admin_var admin = m_vrx->getVorexAdminInterface();
        KD_VRX::BookmarkItemSeq marks;
        marks.length(1);
        marks[0].time = findRecord("Dev1", "REC-0010").startTime + 1;
        marks[0].label = CORBA::wstring_dup(L"mark \u00e9");
        QCOMPARE(admin->addBookmarks("Dev1", "REC-0010", marks), 0u);
        QCOMPARE(admin->setRecordComment("Dev1", "REC-0010", L"renamed \u2713"), 0u);

        m_manager.kill();
        QVERIFY(m_manager.waitForFinished(5000));
        start();
        const KD_VRX::RecordInfo record = findRecord("Dev1", "REC-0010");
        QCOMPARE(wide(record.recordName), QStringLiteral("renamed \u2713"));
        QStringList labels;
        for (CORBA::ULong i = 0; i < record.bookmarks.length(); ++i)
            labels << wide(record.bookmarks[i].label);
        QVERIFY2(labels.contains(QStringLiteral("mark \u00e9")), qPrintable(labels.join(',')));
        QCOMPARE(record.state, KD_VRX::RecordState_5);
        collector->_remove_ref();
    }

    // Names are data: path-like and control characters come back as they
    // went, an oversized one is refused, and only record files appear.
    void hostileNames()
    {
        if (m_manager.state() == QProcess::NotRunning)
            start();
        KD_VRX::IF_VOREX_Admin_var admin = m_vrx->getVorexAdminInterface();
        const std::wstring odd = L"../../vrx-escape-probe/..\\REC-0001.json\x01\x1f\t\n/";
        QCOMPARE(admin->setRecordComment("Dev1", "REC-0001", odd.c_str()), 0u);
        KD_VRX::RecordInfo_var info;
        QCOMPARE(admin->getRecord("Dev1", "REC-0001", info.out()), 0u);
        QCOMPARE(wide(info->recordName), QString::fromStdWString(odd));
        const std::wstring huge(100 * 1024, L'n');
        QCOMPARE(admin->setRecordComment("Dev1", "REC-0001", huge.c_str()), 15u);
        QCOMPARE(admin->getRecord("Dev1", "REC-0001", info.out()), 0u);
        QCOMPARE(wide(info->recordName), QString::fromStdWString(odd));
        QCOMPARE(admin->setRecordComment("Dev1", "../REC-0001", L"x"), 3u);

        const QStringList files = QDir(m_data.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY2(files.filter(QRegularExpression("^(REC-\\d{4}\\.json|manager\\.json|manager\\.lock)$")) == files,
                 qPrintable(files.join(' ')));
        QVERIFY(!QFileInfo::exists(QDir(m_data.path()).filePath("../vrx-escape-probe")));
    }

    // Hosts that are gone (nothing listens where their callbacks point) or
    // stopped (their port takes connections, nobody reads): the manager
    // keeps answering everyone else at once, also while a callback to the
    // stopped one waits for its time-out.
    void deadHostsDoNotBlock_data()
    {
        QTest::addColumn<bool>("stopped");
        QTest::newRow("gone") << false;
        QTest::newRow("stopped") << true;
    }
    void deadHostsDoNotBlock()
    {
        QFETCH(bool, stopped);
        if (m_manager.state() == QProcess::NotRunning)
            start();
        // A stopped host: the kernel completes its connections, nothing more.
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        QVERIFY(listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&addr), length) == 0
                && ::listen(listener, 16) == 0 && ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length) == 0);
        const QByteArray where = stopped ? QByteArray("corbaloc::127.0.0.1:") + QByteArray::number(ntohs(addr.sin_port)) + "/stopped"
                                         : QByteArray("corbaloc::127.0.0.1:1/gone");
        CORBA::Object_var nowhere = m_orb->string_to_object(where.constData());
        m_cco->Register("ghost/RecordStateChangeCallback", nowhere, CCO::RedundancyType_0);
        m_cco->Register("ghost/VorexStatusCallback", nowhere, CCO::RedundancyType_0);
        CCO::NotificationFilterSeq filters;
        filters.length(1);
        filters[0].kind = CCO::NotificationType_1;
        filters[0].source = "ghost/Channel2";
        CCO::CBRegistration_var registration =
            m_cco->register_callback(CCO::Callback::_unchecked_narrow(nowhere), filters);
        KD_VRX::IF_VOREX_Admin_var admin = m_vrx->getVorexAdminInterface();
        const CORBA::ULong before = findRecord("Dev2", "REC-0004").history.length();
        // Longer than the manager's call time-out (2 s): every callback to
        // the stopped host runs into it meanwhile.
        QElapsedTimer total;
        total.start();
        int calls = 0;
        while (total.elapsed() < 2500) {
            QElapsedTimer one;
            one.start();
            QCOMPARE(admin->addHistory("Dev2", "REC-0004", L"note"), 0u);
            CORBA::String_var name = m_vrx->getWorkstationName();
            QVERIFY2(one.elapsed() < 500, qPrintable(QString::number(one.elapsed())));
            ++calls;
        }
        QCOMPARE(findRecord("Dev2", "REC-0004").history.length(), before + CORBA::ULong(calls));
        ::close(listener);
    }

    void badOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("channels") << QStringList{"--channels", "65"};
        QTest::newRow("listen") << QStringList{"--listen", "127.0.0.1"};
        QTest::newRow("port") << QStringList{"--listen", "127.0.0.1:70000"};
        QTest::newRow("device") << QStringList{"--device", "Dev1:10:5"};
        QTest::newRow("device id") << QStringList{"--device", "../x:1:5"};
        QTest::newRow("unknown") << QStringList{"--bogus"};
    }
    void badOptions()
    {
        QFETCH(QStringList, arguments);
        QProcess manager;
        manager.start(QStringLiteral(VRX_MANAGER_BINARY), arguments);
        QVERIFY(manager.waitForFinished(5000));
        QCOMPARE(manager.exitCode(), 2);
        QVERIFY(manager.readAllStandardOutput().isEmpty());
        QVERIFY(manager.readAllStandardError().startsWith("vrxrtb-manager: "));
    }
};

QTEST_GUILESS_MAIN(TestManagerProcess)
#include "tst_managerprocess.moc"
