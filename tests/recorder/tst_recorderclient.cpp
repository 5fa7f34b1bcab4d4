#include "testsupport.h"
#include "umm.h"
#include "vorexclient.h"

#include <QSignalSpy>
#include <QtTest>

#include <thread>

using namespace VorexCommon;
using VOREX_XML::Admin;
using VOREX_XML::VOREX_RecordData;

using vrxtest::makeRecord;

// Emits a record identifier through a queued connection.
class IdentifierSender : public QObject
{
    Q_OBJECT
signals:
    void si_record(vorex::RecordIdentifier id);
    void si_records(vorex::RecordIdentifierList ids);
};

class TestRecorderClient : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<RecorderManagerBackend> m_backend;

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }
    void init()
    {
        m_backend = std::make_shared<RecorderManagerBackend>();
        RecorderManagerBackend::Install(m_backend);
        ErrorDescriptor::TakeResponses();
    }
    void cleanup()
    {
        RecorderManagerBackend::Install(nullptr);
        m_backend.reset();
        ErrorDescriptor::ResetErrorTable();
    }

    void dataRateNamesRoundTrip_data()
    {
        QTest::addColumn<int>("rate");
        for (int rate = 0; rate < VOREX_RecordData::DataRateCount; ++rate)
            QTest::addRow("rate %d", rate) << rate;
    }
    void dataRateNamesRoundTrip()
    {
        QFETCH(int, rate);
        const QString name = VOREX_RecordData::DataRateToName(rate);
        QVERIFY(!name.isEmpty());
        bool ok = false;
        QCOMPARE(int(VOREX_RecordData::NameToDataRate(name, &ok)), rate);
        QVERIFY(ok);
        QCOMPARE(int(VOREX_RecordData::NameToDataRate(QString::number(rate), &ok)), rate);
        QVERIFY(ok);
        VOREX_RecordData record;
        record.SetDataRate(static_cast<VOREX_RecordData::DataRate>(rate));
        QCOMPARE(record.GetDataRateAsString(), name);
    }

    void unknownDataRatesGiveTheDefault_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("garbage") << QString("fast");
        QTest::newRow("out of range") << QString("16");
        QTest::newRow("negative") << QString("-1");
        QTest::newRow("bad suffix") << QString("DataRate16");
        QTest::newRow("leading zero") << QString("DataRate03");
    }
    void unknownDataRatesGiveTheDefault()
    {
        QFETCH(QString, name);
        bool ok = true;
        QCOMPARE(VOREX_RecordData::NameToDataRate(name, &ok), VOREX_RecordData::eDataRate_0);
        QVERIFY(!ok);
        QVERIFY(VOREX_RecordData::DataRateToName(16).isEmpty());
        QCOMPARE(VOREX_RecordData::DefaultRecordSizeLimit(14), quint64(2558525440ull));
        QCOMPARE(VOREX_RecordData::DefaultRecordSizeLimit(16), quint64(0));
    }

    void modeEnumerationsAndNames()
    {
        static_assert(sizeof(Admin::RecordReplayMode) == 1, "8-bit");
        static_assert(sizeof(Admin::RecordReplayAllModes) == 1, "8-bit");
        static_assert(sizeof(Admin::ReplayMode) == 1, "8-bit");
        static_assert(sizeof(VOREX_RecordData::DataRate) == 1, "8-bit");
        const Admin::ModeList modes = Admin::GetRecordReplayModes();
        QCOMPARE(modes.size(), 6);
        for (int i = 0; i < modes.size(); ++i) {
            QCOMPARE(long(modes[i]), long(i));
            QCOMPARE(modes[i].name, Admin::RecordReplayModeToName(i));
        }
        QCOMPARE(Admin::RecordReplayModeToName(Admin::eRecordReplayMode_Stop), QString("eRecordReplayMode_Stop"));
        QCOMPARE(Admin::RecordReplayAllModesToName(Admin::eRecordReplayAllModes_Recordreplaystopped),
                 QString("eRecordReplayAllModes_Recordreplaystopped"));
        QCOMPARE(Admin::ReplayModeToName(Admin::eReplayMode_Pausing), QString("eReplayMode_Pausing"));
        QCOMPARE(Admin::RecordReplayAllModesToName(9), QString("unknown(9)"));
        QVERIFY(Admin::IsValidRecordReplayAllModes(4));
        QVERIFY(!Admin::IsValidRecordReplayAllModes(5));
        QVERIFY(!Admin::IsValidRecordReplayAllModes(-1));
    }

    void recordIdentifierTravelsQueued()
    {
        const vorex::RecordIdentifier id("VOREX", "Dev1", "R1");
        QVERIFY(id.valid());
        QVERIFY(!vorex::RecordIdentifier("VOREX", "", "R1").valid());
        QVERIFY(!vorex::RecordIdentifier().valid());
        QVERIFY(vorex::RecordIdentifier("", "Dev1", "R1").valid());

        IdentifierSender sender;
        vorex::RecordIdentifier received;
        vorex::RecordIdentifierList receivedList;
        QObject receiver;
        connect(&sender, &IdentifierSender::si_record, &receiver, [&](vorex::RecordIdentifier r) { received = r; }, Qt::QueuedConnection);
        connect(&sender, &IdentifierSender::si_records, &receiver, [&](vorex::RecordIdentifierList l) { receivedList = l; }, Qt::QueuedConnection);
        std::thread([&]() {
            emit sender.si_record(id);
            emit sender.si_records(vorex::RecordIdentifierList{id, id});
        }).join();
        QTRY_COMPARE(received, id);
        QTRY_COMPARE(receivedList.size(), 2);
    }

    void withoutBackendCommandsFailAndNothingWaits()
    {
        RecorderManagerBackend::Install(nullptr);
        auto connection = std::make_shared<KernoServerConnectionData>("manager", "client");
        auto server = std::make_shared<VorexGuiToServerCorbaHandler>("client", connection, QString());
        GuiToServerReplayCorbaHandler replay(server);
        GuiToServerAdminCorbaHandler admin(server);
        replay.Initialize("Channel1");
        QVERIFY(replay.StartReplay("Dev1", "R1", VOREX_RecordData::eDataRate_3, 0, 10, 1) != 0);
        QVERIFY(replay.ContinueReplay("Dev1", "R1") != 0);
        QVERIFY(replay.PauseReplay("Dev1", "R1") != 0);
        QVERIFY(replay.StopReplay("", "") != 0);
        quint64 time = 77;
        bool flag = true;
        QVERIFY(admin.GetDeviceTime("Dev1", time, flag) != 0);
        QCOMPARE(time, quint64(0));
        QVERIFY(!flag);
        QVERIFY(!connection->IsChannelConnected());
        QVERIFY(!connection->IsDeviceConnected());
        QCOMPARE(connection->GetConfiguration()->GetCurrentSubSystem(), QString("VOREX"));
    }

    void backendRecordsCommandsAndDecidesResults()
    {
        m_backend->AddDevice(DeviceInfo{"Dev1", "VOREX", false, 10, 20});
        m_backend->SetRecord("Dev1", makeRecord("R1", "one"));
        m_backend->SetConnected(true);
        auto connection = std::make_shared<KernoServerConnectionData>("manager", "client");
        auto server = std::make_shared<VorexGuiToServerCorbaHandler>("client", connection, QString());
        GuiToServerReplayCorbaHandler replay(server);
        GuiToServerAdminCorbaHandler admin(server);
        QVERIFY(replay.Initialize("Channel1"));

        QCOMPARE(replay.StartReplay("Dev1", "R1", VOREX_RecordData::eDataRate_7, 100, 9000000000ull, 0), 0u);
        QCOMPARE(replay.PauseReplay("Dev1", "nope"), quint32(RecorderManagerBackend::eResult_UnknownRecord));
        QCOMPARE(replay.StopReplay("DevX", "R1"), quint32(RecorderManagerBackend::eResult_UnknownDevice));

        m_backend->SetCommandHandler([](const RecordedCommand& c) -> quint32 { return c.command == "ContinueReplay" ? 42u : 0u; });
        QCOMPARE(replay.ContinueReplay("Dev1", "R1"), 42u);
        m_backend->SetDeviceTimeHandler([](const QString&, quint64& t) -> quint32 { t = 123456; return 0; });
        quint64 time = 0;
        bool flag = false;
        QCOMPARE(admin.GetDeviceTime("Dev1", time, flag), 0u);
        QCOMPARE(time, quint64(123456));
        QVERIFY(flag);

        const auto commands = m_backend->TakeCommands();
        QCOMPARE(int(commands.size()), 6);
        QCOMPARE(commands[0].command, QString("Initialize"));
        QCOMPARE(commands[1].command, QString("StartReplay"));
        QCOMPARE(commands[1].channelId, QString("Channel1"));
        QCOMPARE(commands[1].args, (QVariantList{"Dev1", "R1", 7, quint64(100), quint64(9000000000ull), quint32(0)}));
        QCOMPARE(commands[2].command, QString("PauseReplay"));
        QCOMPARE(commands[3].args, (QVariantList{"DevX", "R1"}));
        QCOMPARE(commands[4].command, QString("ContinueReplay"));
        QCOMPARE(commands[5].command, QString("GetDeviceTime"));
        QVERIFY(m_backend->Commands().empty());

        m_backend->SetConnected(false);
        QCOMPARE(replay.StopReplay("Dev1", "R1"), quint32(RecorderManagerBackend::eResult_NotConnected));
        QCOMPARE(m_backend->CommandCount("StopReplay"), 1);
    }

    void connectionSignalsFollowTheBackend()
    {
        KernoServerConnectionData connection("manager", "client");
        QSignalSpy up(&connection, &AbstractServerConnectionData::si_allTicsConnected);
        QSignalSpy down(&connection, &AbstractServerConnectionData::si_allTicsDisconnected);
        QSignalSpy device(&connection, &AbstractServerConnectionData::si_deviceNodeAdded);

        m_backend->SetConnected(true);
        QCOMPARE(up.count(), 1);
        QCOMPARE(up.at(0).at(0).toString(), QString("manager"));
        m_backend->SetConnected(true); // no change, no signal
        QCOMPARE(up.count(), 1);
        m_backend->AddDevice(DeviceInfo{"Dev9", "VOREX", false, 0, 0});
        QCOMPARE(device.count(), 1);
        QCOMPARE(device.at(0).at(0).toString(), QString("Dev9"));

        std::thread([this]() { m_backend->SetConnected(false); }).join();
        QTRY_COMPARE(down.count(), 1);
        QCOMPARE(down.at(0).at(0).toString(), QString("manager"));

        // Replacing the installed backend takes the connection down.
        m_backend->SetConnected(true);
        QCOMPARE(up.count(), 2);
        RecorderManagerBackend::Install(nullptr);
        QCOMPARE(down.count(), 2);
        m_backend->SetConnected(false); // not installed: nobody hears it
        QCOMPARE(down.count(), 2);

        // A connection that is up before the object exists is announced once
        // from the event loop, after the owner has connected.
        RecorderManagerBackend::Install(m_backend);
        m_backend->SetConnected(true);
        KernoServerConnectionData late("late", "client");
        QSignalSpy lateUp(&late, &AbstractServerConnectionData::si_allTicsConnected);
        QCOMPARE(lateUp.count(), 0);
        QTRY_COMPARE(lateUp.count(), 1);
        QTest::qWait(10);
        QCOMPARE(lateUp.count(), 1);
    }

    void vtClientAndChannelState()
    {
        KernoServerConnectionData connection("manager", "client");
        IVtClient* client = connection.getVtClient("client", 1);
        QVERIFY(client);
        QCOMPARE(client->GetName(), QString("client"));
        QCOMPARE(connection.getVtClient("client", 1), client);
        QVERIFY(!connection.getVtClient("client", 0));
        m_backend->SetValueTreeReachable(false);
        QVERIFY(!connection.getVtClient("other", 1));

        values::Tree::Instance()->CreateValue<values::Value<QString>>("/rc/Channel1/DeviceID", QString("Dev1"));
        connection.SetChannelId_ValuePath("/rc/Channel1");
        QVERIFY(!connection.IsChannelConnected()); // not connected yet
        m_backend->SetConnected(true);
        QVERIFY(connection.IsChannelConnected());
        QVERIFY(!connection.IsDeviceConnected()); // the manager has no Dev1
        m_backend->AddDevice(DeviceInfo{"Dev1", "VOREX", false, 0, 0});
        QVERIFY(connection.IsDeviceConnected());
        values::Tree::Instance()->Release("/rc");
        QVERIFY(!connection.IsChannelConnected());
    }

    void errorDescriptorRecordsResponsesAndLooksUpErrors()
    {
        ErrorDescriptor descriptor("/Vorex");
        descriptor.WriteCommandResponse(ErrorDescriptor::WARNING, "/chan/1", "GetCurrentRecordData", ToolbarHelper::ErrorId2Text(250, 0));
        ErrorDescriptor().WriteCommandResponse(2, "Channel1", "SetStopOnErrorFromServer", "boom");
        const auto responses = ErrorDescriptor::TakeResponses();
        QCOMPARE(int(responses.size()), 2);
        QCOMPARE(responses[0].classifier, 1);
        QCOMPARE(responses[0].source, QString("/chan/1"));
        QCOMPARE(responses[0].command, QString("GetCurrentRecordData"));
        QCOMPARE(responses[0].text, ToolbarHelper::ErrorId2Text(250, 0));
        QCOMPARE(responses[0].rootPath, QString("/Vorex"));
        QCOMPARE(responses[1].command, QString("SetStopOnErrorFromServer"));
        QVERIFY(ErrorDescriptor::Responses().empty());
        // Unread, the log keeps only the latest responses.
        const int limit = int(ErrorDescriptor::kResponseLogLimit);
        for (int i = 0; i < limit + 5; ++i)
            descriptor.WriteCommandResponse(0, "c", QString::number(i), "t");
        const auto kept = ErrorDescriptor::TakeResponses();
        QCOMPARE(int(kept.size()), limit);
        QCOMPARE(kept.front().command, QString::number(5));
        QCOMPARE(kept.back().command, QString::number(limit + 4));
        QCOMPARE(ErrorDescriptor::ClassifierNames().mid(0, 3), (QStringList{"INFO", "WARNING", "ERROR"}));

        for (const QString& key : {QString(), QString("no such key")}) {
            std::unique_ptr<ErrorDescriptor::StruReturnErrorCode> record(descriptor.GetErrorCodePtr(key));
            QVERIFY(record);
            QCOMPARE(int(record->m_eClassifier), 4);
            QVERIFY(!record->m_bShow);
        }
        std::unique_ptr<ErrorDescriptor::StruReturnErrorCode> full(descriptor.GetErrorCodePtr("VRX_ERR_DISC_FULL"));
        QCOMPARE(full->m_eClassifier, ErrorDescriptor::ERROR);
        QVERIFY(full->m_bShow);
        QVERIFY(!full->m_strText.isEmpty());
        ErrorDescriptor::RegisterError("MY_KEY", ErrorDescriptor::FATAL, false, "fatal text");
        std::unique_ptr<ErrorDescriptor::StruReturnErrorCode> mine(descriptor.GetErrorCodePtr("MY_KEY"));
        QCOMPARE(mine->m_eClassifier, ErrorDescriptor::FATAL);
        QCOMPARE(mine->m_strText, QString("fatal text"));
    }

    void errorTextsCoverTheUsedIds()
    {
        QStringList texts;
        for (quint32 id : {250u, 253u, 254u, 255u, 256u, 257u}) {
            const QString text = ToolbarHelper::ErrorId2Text(id, 0);
            QVERIFY(!text.isEmpty());
            QVERIFY(!texts.contains(text));
            texts << text;
        }
        QVERIFY(ToolbarHelper::ErrorId2Text(999, 0).contains("999"));
        QVERIFY(ToolbarHelper::ErrorId2Text(4711, 1).contains("4711"));
        // A rejected pause reports the manager's code with context 0.
        QCOMPARE(ToolbarHelper::ErrorId2Text(RecorderManagerBackend::eResult_UnknownRecord, 0),
                 ToolbarHelper::ErrorId2Text(RecorderManagerBackend::eResult_UnknownRecord, 1));
        QVERIFY(!ToolbarHelper::ErrorId2Text(RecorderManagerBackend::eResult_UnknownRecord, 1).contains("3"));
    }

    void userRightsFollowUserManagement()
    {
        UserRights* rights = UserRights::Instance();
        QCOMPARE(UserRights::Instance(), rights);
        QSignalSpy spy(rights, &UserRights::UpdateUserRights);
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 0);
        QVERIFY(!rights->HistoryCommentAllowed());
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 1);
        QVERIFY(rights->HistoryCommentAllowed());
        UMM::ActiveUserProxy::instance()->Clear();
        std::thread([rights]() { rights->NotifyUserEvent("User changed"); }).join();
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QString("User changed"));
    }

    // Wired as the toolbar wires them, by signature text.
    void deviceHandlerFollowsConnectionData()
    {
        KernoServerConnectionData connection("manager", "client");
        DeviceHandler handler;
        handler.Initialize(connection.GetConfiguration());
        QVERIFY(connect(&connection, SIGNAL(si_allTicsConnected(const QString&)), &handler, SLOT(sl_vorexConnected(const QString&))));
        QVERIFY(connect(&connection, SIGNAL(si_allTicsDisconnected(const QString&)), &handler, SLOT(sl_vorexDisconnected(const QString&))));
        QVERIFY(connect(&connection, SIGNAL(si_deviceNodeAdded(const QString&)), &handler, SLOT(OnCheckForNewDevices (const QString&))));
        m_backend->AddDevice(DeviceInfo{"Dev1", "VOREX", false, 0, 0});
        QCOMPARE(handler.GetFirstDevice("VOREX"), QString());
        std::thread([this]() { m_backend->SetConnected(true); }).join();
        QTRY_COMPARE(handler.GetFirstDevice("VOREX"), QString("Dev1"));
        m_backend->AddDevice(DeviceInfo{"Dev0", "VOREX", false, 0, 0});
        QCOMPARE(handler.GetFirstDevice("VOREX"), QString("Dev0"));
        m_backend->SetConnected(false);
        QCOMPARE(handler.GetFirstDevice("VOREX"), QString());
    }

    void deviceHandlerFiltersDevices()
    {
        DeviceHandler handler;
        handler.Initialize(std::make_shared<VorexConfiguration>("VOREX", "/Vorex"));
        QSignalSpy changed(&handler, &DeviceHandler::si_devicesChanged);
        m_backend->AddDevice(DeviceInfo{"B", "VOREX", false, 0, 0});
        m_backend->AddDevice(DeviceInfo{"A", "VOREX", false, 0, 0});
        m_backend->AddDevice(DeviceInfo{"V", "VOREX", true, 0, 0});
        m_backend->AddDevice(DeviceInfo{"X", "OTHER", false, 0, 0});
        QVERIFY(handler.GetFirstDevice("VOREX").isEmpty()); // not connected
        m_backend->SetConnected(true);
        handler.sl_vorexConnected("manager");
        QCOMPARE(handler.GetDevices("VOREX"), (QStringList{"A", "B"}));
        QCOMPARE(handler.GetFirstDevice("VOREX"), QString("A"));
        QCOMPARE(handler.GetFirstDevice("OTHER"), QString("X"));
        QCOMPARE(handler.GetFirstDevice("NONE"), QString());
        handler.SetAllowVirtualDevices(true);
        QCOMPARE(handler.GetDevices("VOREX"), (QStringList{"A", "B", "V"}));
        handler.SetAllowedDevices({"B", "V", "missing"});
        QCOMPARE(handler.GetDevices("VOREX"), (QStringList{"B", "V"}));
        handler.SetAllowedDevices({});
        QCOMPARE(handler.GetFirstDevice("VOREX"), QString());
        handler.AllowAllDevices();
        QCOMPARE(handler.GetFirstDevice("VOREX"), QString("A"));
        m_backend->RemoveDevice("A");
        QCOMPARE(handler.GetFirstDevice("VOREX"), QString("B"));
        handler.sl_vorexDisconnected("manager");
        QVERIFY(handler.GetDevices().isEmpty());
        QVERIFY(changed.count() >= 5);
    }
};

QTEST_MAIN(TestRecorderClient)
#include "tst_recorderclient.moc"
