// The recorder client library: backend command log, connection, devices,
// records, error lookup, rights, dialogs (answered by hooks) and widgets.
#include "testsupport.h"
#include "umm.h"
#include "vorexclient.h"
#include "vorexgui.h"
#include "vorexwidgets.h"

#include <QAction>
#include <QSignalSpy>
#include <QtTest>

#include <thread>

using namespace VorexCommon;
using namespace VorexGUI;
using VOREX_XML::VOREX_RecordData;
using vrxtest::makeRecord;

class IdentifierSender : public QObject
{
    Q_OBJECT
signals:
    void si_records(vorex::RecordIdentifierList ids);
};

class TestRecorder : public QObject
{
    Q_OBJECT

    std::shared_ptr<RecorderManagerBackend> m_backend;
    std::shared_ptr<KernoServerConnectionData> m_connection;
    std::shared_ptr<VorexGuiToServerCorbaHandler> m_server;

    static vorex::RecordIdentifier id(const QString& record, const QString& device = "Dev1")
    {
        return vorex::RecordIdentifier("VOREX", device, record);
    }
    static std::shared_ptr<values::Value<QString>> deviceValue(const QString& device)
    {
        return values::Tree::Instance()->CreateValue<values::Value<QString>>("/gui/ch/DeviceID", device);
    }

private slots:
    void init()
    {
        m_backend = std::make_shared<RecorderManagerBackend>();
        m_backend->AddDevice(DeviceInfo{"Dev1", "VOREX", false, 256ull << 20, 1024ull << 20});
        m_backend->AddDevice(DeviceInfo{"Dev2", "VOREX", false, 0, 0});
        m_backend->SetRecords("Dev1", {makeRecord("R1", "one"), makeRecord("R2", "two", 4), makeRecord("R3", "open", 3, 2)});
        m_backend->SetConnected(true);
        RecorderManagerBackend::Install(m_backend);
        m_connection = std::make_shared<KernoServerConnectionData>("manager", "client");
        m_server = std::make_shared<VorexGuiToServerCorbaHandler>("client", m_connection, QString());
        ErrorDescriptor::TakeResponses();
    }
    void cleanup()
    {
        RecordParameterDialog::SetAnswerHook(nullptr);
        OpenFileDialog::SetAnswerHook(nullptr);
        RecordHistoryDialog::SetAnswerHook(nullptr);
        RecordEditDialog::SetAnswerHook(nullptr);
        UMM::ActiveUserProxy::instance()->Clear();
        m_server.reset();
        m_connection.reset();
        RecorderManagerBackend::Install(nullptr);
        m_backend.reset();
        HaldaOS::SetClock(nullptr);
        ErrorDescriptor::ResetErrorTable();
        values::Tree::Instance()->Release("/gui");
    }

    void dataRateNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("rate"); // -1: unknown, the default with ok == false
        QTest::newRow("name") << "DataRate15" << 15;
        QTest::newRow("number") << "7" << 7;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("garbage") << "fast" << -1;
        QTest::newRow("out of range") << "16" << -1;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("bad suffix") << "DataRate16" << -1;
        QTest::newRow("leading zero") << "DataRate03" << -1;
    }
    void dataRateNames()
    {
        QFETCH(QString, name);
        QFETCH(int, rate);
        bool ok = rate < 0;
        QCOMPARE(int(VOREX_RecordData::NameToDataRate(name, &ok)), qMax(rate, 0));
        QCOMPARE(ok, rate >= 0);
        QCOMPARE(VOREX_RecordData::DataRateToName(rate < 0 ? 16 : rate).isEmpty(), rate < 0);
        QCOMPARE(VOREX_RecordData::DefaultRecordSizeLimit(rate < 0 ? 16 : 14), rate < 0 ? 0 : quint64(2558525440ull));
    }

    void modeNamesAndRecordIdentifiers()
    {
        using VOREX_XML::Admin;
        QCOMPARE(Admin::RecordReplayAllModesToName(Admin::eRecordReplayAllModes_Recordreplaystopped),
                 QString("eRecordReplayAllModes_Recordreplaystopped"));
        QCOMPARE(Admin::RecordReplayAllModesToName(9), QString("unknown(9)"));
        QVERIFY(Admin::IsValidRecordReplayAllModes(4) && !Admin::IsValidRecordReplayAllModes(5) && !Admin::IsValidRecordReplayAllModes(-1));
        QVERIFY(!vorex::RecordIdentifier("VOREX", "", "R1").valid() && vorex::RecordIdentifier("", "Dev1", "R1").valid());

        IdentifierSender sender; // registered for queued connections
        vorex::RecordIdentifierList received;
        connect(&sender, &IdentifierSender::si_records, this, [&](vorex::RecordIdentifierList l) { received = l; }, Qt::QueuedConnection);
        std::thread([&]() { emit sender.si_records({id("R1"), id("R2")}); }).join();
        QTRY_COMPARE_WITH_TIMEOUT(received, (vorex::RecordIdentifierList{id("R1"), id("R2")}), 1000);
    }

    void backendLogsCommandsAndDecidesResults()
    {
        GuiToServerReplayCorbaHandler replay(m_server);
        GuiToServerAdminCorbaHandler admin(m_server);
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
        QVERIFY(time == 123456 && flag);

        const auto commands = m_backend->TakeCommands();
        QStringList names;
        for (const RecordedCommand& c : commands)
            names << c.command;
        QCOMPARE(names, (QStringList{"Initialize", "StartReplay", "PauseReplay", "StopReplay", "ContinueReplay", "GetDeviceTime"}));
        QCOMPARE(commands[1].channelId, QString("Channel1"));
        QCOMPARE(commands[1].args, (QVariantList{"Dev1", "R1", 7, quint64(100), quint64(9000000000ull), quint32(0)}));
        QCOMPARE(commands[3].args, (QVariantList{"DevX", "R1"}));
        QVERIFY(m_backend->Commands().empty());

        m_backend->SetConnected(false);
        QCOMPARE(replay.StopReplay("Dev1", "R1"), quint32(RecorderManagerBackend::eResult_NotConnected));
        QCOMPARE(m_backend->CommandCount("StopReplay"), 1);

        // Without a backend every command fails and nothing waits.
        RecorderManagerBackend::Install(nullptr);
        QVERIFY(replay.StartReplay("Dev1", "R1", VOREX_RecordData::eDataRate_3, 0, 10, 1) != 0);
        QVERIFY(replay.PauseReplay("Dev1", "R1") != 0 && replay.ContinueReplay("Dev1", "R1") != 0);
        time = 77;
        QVERIFY(admin.GetDeviceTime("Dev1", time, flag) != 0);
        QVERIFY(time == 0 && !flag);
        QVERIFY(!m_connection->IsChannelConnected());
    }

    void connectionFollowsTheBackend()
    {
        QSignalSpy up(m_connection.get(), &AbstractServerConnectionData::si_allTicsConnected);
        QSignalSpy down(m_connection.get(), &AbstractServerConnectionData::si_allTicsDisconnected);
        QSignalSpy device(m_connection.get(), &AbstractServerConnectionData::si_deviceNodeAdded);
        // Up before the object existed: announced once from the event loop, after the owner connected.
        QCOMPARE(up.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 1000);
        std::thread([this]() { m_backend->SetConnected(false); }).join();
        QTRY_COMPARE_WITH_TIMEOUT(down.count(), 1, 1000);
        QCOMPARE(down.at(0).at(0).toString(), QString("manager"));
        m_backend->SetConnected(true);
        m_backend->SetConnected(true); // no change, no signal
        QCOMPARE(up.count(), 2);
        m_backend->AddDevice(DeviceInfo{"Dev9", "VOREX", false, 0, 0});
        QCOMPARE(device.at(0).at(0).toString(), QString("Dev9"));

        auto idValue = values::Tree::Instance()->CreateValue<values::Value<QString>>("/gui/c/DeviceID", QString("Dev3"));
        m_connection->SetChannelId_ValuePath("/gui/c");
        QVERIFY(m_connection->IsChannelConnected());
        QVERIFY(!m_connection->IsDeviceConnected()); // the manager has no Dev3
        m_backend->AddDevice(DeviceInfo{"Dev3", "VOREX", false, 0, 0});
        QVERIFY(m_connection->IsDeviceConnected());
        values::Tree::Instance()->Release("/gui/c");
        QVERIFY(!m_connection->IsChannelConnected());

        IVtClient* client = m_connection->getVtClient("client", 1);
        QVERIFY(client && client == m_connection->getVtClient("client", 1));
        QVERIFY(!m_connection->getVtClient("client", 0));
        m_backend->SetValueTreeReachable(false);
        QVERIFY(!m_connection->getVtClient("other", 1));
        RecorderManagerBackend::Install(nullptr); // replacing the backend takes the connection down
        QCOMPARE(down.count(), 2);
        m_backend->SetConnected(false); // not installed: nobody hears it
        QCOMPARE(down.count(), 2);

    }

    void errorDescriptorLogsResponsesAndLooksUpErrors()
    {
        ErrorDescriptor descriptor("/Vorex");
        descriptor.WriteCommandResponse(ErrorDescriptor::WARNING, "/chan/1", "GetCurrentRecordData", "text");
        const auto responses = ErrorDescriptor::TakeResponses();
        QCOMPARE(int(responses.size()), 1);
        QCOMPARE(QStringList({QString::number(responses[0].classifier), responses[0].source, responses[0].command, responses[0].rootPath}),
                 (QStringList{"1", "/chan/1", "GetCurrentRecordData", "/Vorex"}));
        const int limit = int(ErrorDescriptor::kResponseLogLimit); // unread, only the latest are kept
        for (int i = 0; i < limit + 5; ++i)
            descriptor.WriteCommandResponse(0, "c", QString::number(i), "t");
        const auto kept = ErrorDescriptor::TakeResponses();
        QCOMPARE(int(kept.size()), limit);
        QCOMPARE(kept.front().command, QString::number(5));

        for (const QString& key : {QString(), QString("no such key")}) {
            std::unique_ptr<ErrorDescriptor::StruReturnErrorCode> record(descriptor.GetErrorCodePtr(key));
            QVERIFY(int(record->m_eClassifier) == 4 && !record->m_bShow);
        }
        std::unique_ptr<ErrorDescriptor::StruReturnErrorCode> full(descriptor.GetErrorCodePtr("VRX_ERR_DISC_FULL"));
        QVERIFY(full->m_eClassifier == ErrorDescriptor::ERROR && full->m_bShow && !full->m_strText.isEmpty());
        ErrorDescriptor::RegisterError("MY_KEY", ErrorDescriptor::FATAL, false, "fatal text");
        std::unique_ptr<ErrorDescriptor::StruReturnErrorCode> mine(descriptor.GetErrorCodePtr("MY_KEY"));
        QVERIFY(mine->m_eClassifier == ErrorDescriptor::FATAL && mine->m_strText == "fatal text");

        QStringList texts; // each id its own text
        for (quint32 id : {250u, 253u, 254u, 255u, 256u, 257u})
            texts << ToolbarHelper::ErrorId2Text(id, 0);
        QCOMPARE(texts.removeDuplicates(), 0);
        QVERIFY(!texts.contains(QString()));
        QVERIFY(ToolbarHelper::ErrorId2Text(4711, 1).contains("4711"));
    }

    void userRightsAndDevicesFollowTheManager()
    {
        UserRights* rights = UserRights::Instance();
        QSignalSpy spy(rights, &UserRights::UpdateUserRights);
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 0);
        QVERIFY(!rights->HistoryCommentAllowed());
        std::thread([rights]() { rights->NotifyUserEvent("User changed"); }).join();
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 1000);
        QCOMPARE(spy.at(0).at(0).toString(), QString("User changed"));

        m_backend->SetConnected(false);
        DeviceHandler handler;
        handler.Initialize(std::make_shared<VorexConfiguration>("VOREX", "/Vorex"));
        connect(m_connection.get(), &AbstractServerConnectionData::si_allTicsConnected, &handler, &DeviceHandler::sl_vorexConnected);
        connect(m_connection.get(), &AbstractServerConnectionData::si_allTicsDisconnected, &handler, &DeviceHandler::sl_vorexDisconnected);
        m_backend->AddDevice(DeviceInfo{"V", "VOREX", true, 0, 0});
        m_backend->AddDevice(DeviceInfo{"X", "OTHER", false, 0, 0});
        QVERIFY(handler.GetDevices().isEmpty()); // not connected
        std::thread([this]() { m_backend->SetConnected(true); }).join();
        QTRY_COMPARE_WITH_TIMEOUT(handler.GetDevices("VOREX"), (QStringList{"Dev1", "Dev2"}), 1000);
        QCOMPARE(handler.GetFirstDevice("OTHER"), QString("X"));
        handler.SetAllowVirtualDevices(true);
        QCOMPARE(handler.GetDevices("VOREX"), (QStringList{"Dev1", "Dev2", "V"}));
        handler.SetAllowedDevices({"Dev2", "V", "missing"});
        QCOMPARE(handler.GetDevices("VOREX"), (QStringList{"Dev2", "V"}));
        handler.AllowAllDevices();
        m_backend->RemoveDevice("Dev1");
        QCOMPARE(handler.GetFirstDevice("VOREX"), QString("Dev2"));
        m_backend->SetConnected(false);
        QVERIFY(handler.GetDevices().isEmpty());
    }

    void recordListFollowsTheBackend()
    {
        AbstractRecordListModel model;
        QSignalSpy changed(&model, &AbstractRecordListModel::si_recordChanged);
        QSignalSpy deleted(&model, &AbstractRecordListModel::si_recordDeleted);
        QSignalSpy all(&model, &AbstractRecordListModel::si_allRecordsChanged);
        model.SetDevice("VOREX", "Dev1");
        QCOMPARE(all.count(), 1);
        QCOMPARE(model.rowCount(), 3);
        QVERIFY(model.HasRecord(vorex::RecordIdentifier("", "Dev1", "R1")));
        QVERIFY(!model.HasRecord(id("R1", "Dev2")) && !model.HasRecord(vorex::RecordIdentifier("OTHER", "Dev1", "R1")));
        QVERIFY(!model.GetRecordData(id("nope")));

        m_backend->SetRecord("Dev1", makeRecord("R4", "four"));
        m_backend->SetRecord("Dev1", makeRecord("R4", "renamed"));
        m_backend->SetRecord("Dev2", makeRecord("R9", "other device"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(0).at(0).value<vorex::RecordIdentifier>(), id("R4"));
        QCOMPARE(changed.at(0).at(1).toBool(), true); // new
        QCOMPARE(changed.at(1).at(1).toBool(), false);
        QCOMPARE(model.GetRecordData(id("R4"))->GetRecordName(), QString("renamed"));

        std::thread([this]() { m_backend->RemoveRecord("Dev1", "R2"); }).join(); // arrives queued
        QTRY_COMPARE_WITH_TIMEOUT(deleted.count(), 1, 1000);
        QCOMPARE(deleted.at(0).at(0).value<vorex::RecordIdentifier>(), id("R2"));
        QVERIFY(!model.HasRecord(id("R2")));
        m_backend->SetRecords("Dev1", {makeRecord("R5", "five")});
        QCOMPARE(model.rowCount(), 1);
        m_backend->SetConnected(false); // a connection loss empties the list
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(all.count(), 3);
    }

    void controllerActionsBookmarksAndDialogsAnsweredByHooks()
    {
        VorexServerGUIController controller(m_server, 0x1 | 0x100, nullptr);
        QAction* edit = controller.recordAction(0x1);
        QAction* history = controller.recordAction(0x100);
        QVERIFY(edit && history && !controller.recordAction(0x2));
        QVERIFY(!edit->isEnabled());
        controller.sl_activeDeviceChanged({ActiveDevice("Dev1", "VOREX")});
        controller.sl_selectedRecordsChanged({id("missing")});
        QVERIFY(!edit->isEnabled());
        controller.sl_selectedRecordsChanged({id("R1")});
        QVERIFY(edit->isEnabled() && history->isEnabled());

        const QVector<VOREX_XML::BookmarkEntry> entries{{1500000, "mark"}, {2500000, "new"}};
        QSignalSpy recordChanged(controller.recordListModel(), &AbstractRecordListModel::si_recordChanged);
        controller.sl_setBookmarkEntries(id("R1"), entries);
        controller.sl_resyncRecord(id("R1"));
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetBookmarkEntry(), entries);
        QCOMPARE(m_backend->CommandCount("SetBookmarkEntries") + m_backend->CommandCount("ResyncRecord"), 2);
        QCOMPARE(recordChanged.count(), 2);

        vorex::RecordIdentifier shown;
        RecordHistoryDialog::SetAnswerHook([&](RecordHistoryDialog& dialog) {
            shown = dialog.recordIdentifier();
            dialog.setComment("  checked  ");
            return int(QDialog::Accepted);
        });
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 0);
        history->trigger();
        QCOMPARE(shown, id("R1"));
        QCOMPARE(m_backend->CommandCount("AddHistoryComment"), 0); // no right to comment
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 1);
        history->trigger();
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetHistory().at(0).GetText(), QString("checked"));

        for (int answer : {int(QDialog::Accepted), int(QDialog::Rejected)}) {
            RecordEditDialog::SetAnswerHook([answer](RecordEditDialog& dialog) {
                dialog.setRecordName(answer == QDialog::Accepted ? "better name" : "ignored");
                return answer;
            });
            edit->trigger();
        }
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetRecordName(), QString("better name"));

        controller.sl_activeDeviceChanged({});
        QCOMPARE(controller.recordListModel()->rowCount(), 0);
        QVERIFY(!history->isEnabled());
    }

    void openFileDialogOffersMatchingRecords()
    {
        VorexServerGUIController controller(m_server, 0x1 | 0x100, nullptr);
        controller.sl_activeDeviceChanged({ActiveDevice("Dev1", "VOREX")});
        {
            OpenFileDialog dialog(&controller, VOREX_RecordData::eDataRate_3, VOREX_RecordData::eDataRate_3, 1, 5, nullptr);
            QCOMPARE(dialog.candidates(), (vorex::RecordIdentifierList{id("R1")})); // R2 other rate, R3 not completed
            QVERIFY(!dialog.selectRecord(id("R3")));
        }
        OpenFileDialog::SetAnswerHook([](OpenFileDialog& dialog) {
            return dialog.selectRecord(id("R2")) ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        OpenFileDialog dialog(&controller, VOREX_RecordData::eDataRate_3, VOREX_RecordData::eDataRate_4, 1, 5, nullptr);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.selectedRecordIdentifier(), id("R2"));
        QCOMPARE(dialog.selectedRecord()->GetDataRateAsString(), QString("DataRate4"));
    }

    void recordParameterDialogAnsweredByHook()
    {
        HaldaOS::SetClock([]() { return qint64(1733500000) * 1000000; });
        QStringList offered;
        RecordParameterDialog::SetAnswerHook([&](RecordParameterDialog& dialog) {
            offered << QString::number(dialog.options()) << QString::number(dialog.timeout()) << QString::number(dialog.recordSizeLimit());
            dialog.setRecordSizeLimitBytes(1023);
            return int(QDialog::Accepted);
        });
        RecordParameterDialog dialog(31, VOREX_RecordData::DefaultRecordSizeLimit(3), nullptr);
        const QString name = dialog.createRecordName("Rec_", "yyyyMMdd:hhmmss_");
        QCOMPARE(name, "Rec_" + QDateTime::fromMSecsSinceEpoch(qint64(1733500000) * 1000).toString("yyyyMMdd:hhmmss_"));
        dialog.setRecordSizeLimit(QTime(0, 0, 40, 0), 2);
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(offered, (QStringList{"31", "40", "108003328"}));
        QCOMPARE(dialog.recordName(), name);
        QVERIFY(dialog.recordSizeLimit() == 1023 && dialog.timeout() == 40);

        // Without a hook, offscreen: rejected at once instead of blocking.
        RecordParameterDialog::SetAnswerHook(nullptr);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("RecordParameterDialog::exec\\(\\) without an answer hook.*"));
        QCOMPARE(RecordParameterDialog(19, 0, nullptr).exec(), int(QDialog::Rejected));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("OpenFileDialog::exec\\(\\) without an answer hook.*"));
        OpenFileDialog open(nullptr, VOREX_RecordData::eDataRate_0, VOREX_RecordData::eDataRate_0, 1, 5, nullptr);
        QCOMPARE(open.exec(), int(QDialog::Rejected));
        QVERIFY(!open.selectedRecord() && !open.selectedRecordIdentifier().valid());
    }

    void deviceComboListsWritesAndLocks()
    {
        auto device = deviceValue("Dev2");
        DeviceHandler handler;
        handler.sl_vorexConnected("manager");
        DeviceCombo combo(nullptr, &handler, QString(), "VOREX");
        QVERIFY(!combo.SetDevice_ValuePath("/gui/ch/Missing"));
        QVERIFY(!combo.isEnabled());
        QVERIFY(combo.SetDevice_ValuePath("/gui/ch/DeviceID"));
        QVERIFY(combo.isEnabled());
        QCOMPARE(combo.CurrentDevice(), QString("Dev2"));
        vrxtest::ScopedObserver connector(device);
        combo.setCurrentIndex(combo.findData("Dev1"));
        emit combo.activated(combo.currentIndex());
        QCOMPARE(device->Get(), QString("Dev1"));
        QCOMPARE(connector.count(VC_VALUECHANGED), 1);
        std::thread([device]() { device->Set("Dev2", nullptr); }).join();
        QTRY_COMPARE_WITH_TIMEOUT(combo.CurrentDevice(), QString("Dev2"), 1000);

        combo.SetRecordingOn(true);
        combo.setEnabled(true); // the toolbar re-enables its widgets: the lock holds
        QVERIFY(!combo.isEnabled());
        combo.SetRecordingOn(false);
        combo.SetReplayOn(true);
        QVERIFY(!combo.isEnabled());
        combo.SetReplayOn(false);
        QVERIFY(combo.isEnabled());
        m_backend->AddDevice(DeviceInfo{"Dev3", "VOREX", false, 0, 0});
        QCOMPARE(combo.count(), 3);
    }

    void discSpaceAndTickCounter()
    {
        auto device = deviceValue("Dev1");
        DiscSpaceBar bar(nullptr, "/Vorex");
        QCOMPARE(bar.text(), QString("-"));
        QVERIFY(bar.SetDevice_ValuePath("/gui/ch/DeviceID"));
        QCOMPARE(bar.text(), QString("256.0 MiB free"));
        QCOMPARE(bar.value(), 250);
        m_backend->SetDiscSpace("Dev1", 512ull << 20, 1024ull << 20);
        QCOMPARE(bar.text(), QString("512.0 MiB free"));
        device->Set("Unknown", nullptr);
        QCOMPARE(bar.text(), QString("-"));
        QCOMPARE(DiscSpaceBar::FormatBytes(512) + DiscSpaceBar::FormatBytes(3ull << 40), QString("512 B3.0 TiB"));

        qint64 now = 100 * 1000000LL;
        HaldaOS::SetClock([&now]() { return now; });
        values::Tree::Instance()->CreateValue<values::ValueNumeric<values::int64>>("/gui/ch/Start", 40 * 1000000LL);
        auto duration = values::Tree::Instance()->CreateValue<values::ValueNumeric<values::int64>>("/gui/ch/Duration", 0);
        TickCounter counter(nullptr, "VorexRecordCounter");
        QVERIFY(counter.SetRecordCounter_ValuePath("/gui/ch/Start") && counter.SetDurationCounter_ValuePath("/gui/ch/Duration"));
        counter.StartCounter();
        now += 61 * 1000000LL;
        counter.StopCounter();
        QVERIFY(!counter.IsRunning());
        now += 5 * 1000000LL;
        QCOMPARE(counter.text(), QString("00:01:01"));
        duration->Set(3723 * 1000000LL, nullptr);
        QCOMPARE(counter.text(), QString("01:02:03"));
        counter.RestartCounter(100 * 1000000ULL); // joining a recording: device time 100 s, start 40 s
        QCOMPARE(counter.CurrentDuration(), 60 * 1000000LL);
        counter.RestartCounter(10 * 1000000ULL); // device time before the start: from 0
        QCOMPARE(counter.CurrentDuration(), 0LL);
    }
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
