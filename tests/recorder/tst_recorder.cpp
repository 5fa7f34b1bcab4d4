// The recorder client library: backend command log, connection, devices,
// records, rights, dialogs answered by hooks, and its widgets.
#include "testsupport.h"
#include "umm.h"
#include "vorexclient.h"
#include "vorexgui.h"
#include "vorexwidgets.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <thread>

using namespace VorexCommon;
using namespace VorexGUI;
using VOREX_XML::VOREX_RecordData;
using vrxtest::makeRecord;

class TestRecorder : public QObject
{
    Q_OBJECT

    std::shared_ptr<RecorderManagerBackend> m_backend;
    std::shared_ptr<KernoServerConnectionData> m_connection;
    std::shared_ptr<VorexGuiToServerCorbaHandler> m_server;

    static vorex::RecordIdentifier id(const QString& record) { return vorex::RecordIdentifier("VOREX", "Dev1", record); }

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
    }
    void cleanup()
    {
        RecordHistoryDialog::SetAnswerHook(nullptr);
        RecordEditDialog::SetAnswerHook(nullptr);
        UMM::ActiveUserProxy::instance()->Clear();
        m_server.reset();
        m_connection.reset();
        RecorderManagerBackend::Install(nullptr);
        m_backend.reset();
        HaldaOS::SetClock(nullptr);
        values::Tree::Instance()->Release("/gui");
    }

    void namesAndRanges()
    {
        bool ok = false;
        QCOMPARE(VOREX_RecordData::NameToDataRate("DataRate15", &ok), VOREX_RecordData::eDataRate_15);
        QVERIFY(ok);
        for (const char* bad : {"DataRate16", "DataRate03", "-1", "fast"}) {
            QCOMPARE(VOREX_RecordData::NameToDataRate(bad, &ok), VOREX_RecordData::eDataRate_0);
            QVERIFY2(!ok, bad);
        }
        using VOREX_XML::Admin;
        QVERIFY(Admin::IsValidRecordReplayAllModes(4) && !Admin::IsValidRecordReplayAllModes(5) && !Admin::IsValidRecordReplayAllModes(-1));
    }

    void backendLogsCommandsAndDecidesResults()
    {
        GuiToServerReplayCorbaHandler replay(m_server);
        QVERIFY(replay.Initialize("Channel1"));
        QCOMPARE(replay.StartReplay("Dev1", "R1", VOREX_RecordData::eDataRate_7, 100, 9000000000ull, 0), 0u);
        QCOMPARE(replay.PauseReplay("Dev1", "nope"), quint32(RecorderManagerBackend::eResult_UnknownRecord));
        QCOMPARE(replay.StopReplay("DevX", "R1"), quint32(RecorderManagerBackend::eResult_UnknownDevice));
        const auto commands = m_backend->TakeCommands(); // refused ones too
        QCOMPARE(commands.back().command + " " + commands[1].channelId, QString("StopReplay Channel1"));
        QCOMPARE(commands[1].args, (QVariantList{"Dev1", "R1", 7, quint64(100), quint64(9000000000ull), quint32(0)}));
        m_backend->SetConnected(false);
        QCOMPARE(replay.StopReplay("Dev1", "R1"), quint32(RecorderManagerBackend::eResult_NotConnected));

        RecorderManagerBackend::Install(nullptr); // without a backend every command fails and nothing waits
        QVERIFY(replay.StartReplay("Dev1", "R1", VOREX_RecordData::eDataRate_3, 0, 10, 1) != 0);
    }

    void userRightsAndDevicesFollowTheManager()
    {
        UserRights* rights = UserRights::Instance();
        QSignalSpy spy(rights, &UserRights::UpdateUserRights);
        std::thread([rights]() { rights->NotifyUserEvent("User changed"); }).join(); // arrives queued
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 1000);
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 0);
        UMM::ActiveUserProxy::instance()->Clear(); // the user management forgets the levels: back to 1
        QCOMPARE(UMM::ActiveUserProxy::instance()->GetAccessLevel("VOREX_MANAGEMENT.addHistoryComment"), 1);

        m_backend->SetConnected(false);
        DeviceHandler handler;
        connect(m_connection.get(), &AbstractServerConnectionData::si_allTicsConnected, &handler, &DeviceHandler::sl_vorexConnected);
        m_backend->AddDevice(DeviceInfo{"V", "VOREX", true, 0, 0});
        m_backend->AddDevice(DeviceInfo{"X", "OTHER", false, 0, 0});
        QVERIFY(handler.GetDevices().isEmpty()); // not connected
        std::thread([this]() { m_backend->SetConnected(true); }).join();
        QTRY_COMPARE_WITH_TIMEOUT(handler.GetDevices("VOREX"), (QStringList{"Dev1", "Dev2"}), 1000);
        QCOMPARE(handler.GetFirstDevice("OTHER"), QString("X"));
        handler.SetAllowVirtualDevices(true);
        handler.SetAllowedDevices({"Dev2", "V", "missing"});
        QCOMPARE(handler.GetDevices("VOREX"), (QStringList{"Dev2", "V"}));
        handler.AllowAllDevices();
        m_backend->RemoveDevice("Dev1");
        QCOMPARE(handler.GetDevices("VOREX"), (QStringList{"Dev2", "V"}));
        handler.sl_vorexDisconnected("manager");
        QVERIFY(handler.GetDevices().isEmpty());
    }

    void controllerActionsAndDialogsAnsweredByHooks()
    {
        VorexServerGUIController controller(m_server, 0x1 | 0x100, nullptr);
        QAction* edit = controller.recordAction(0x1);
        QAction* history = controller.recordAction(0x100);
        QVERIFY(edit && history && !controller.recordAction(0x2));
        QVERIFY(!edit->isEnabled() && !history->toolTip().isEmpty());
        controller.sl_activeDeviceChanged({ActiveDevice("Dev1", "VOREX")});
        controller.sl_selectedRecordsChanged({id("missing")});
        QVERIFY(!edit->isEnabled());
        controller.sl_selectedRecordsChanged({id("R1")});
        QVERIFY(edit->isEnabled() && history->isEnabled());

        RecordHistoryDialog::SetAnswerHook([&](RecordHistoryDialog& dialog) {
            dialog.setComment(dialog.recordIdentifier() == id("R1") ? "  checked  " : "wrong record");
            return int(QDialog::Accepted);
        });
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 0);
        history->trigger();
        QCOMPARE(m_backend->CommandCount("AddHistoryComment"), 0); // no right to comment
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 1);
        history->trigger();
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetHistory().at(0).GetText(), QString("checked"));

        QSignalSpy listed(controller.recordListModel(), &QAbstractItemModel::dataChanged); // the list shows the rename
        QSignalSpy changed(controller.recordListModel(), &AbstractRecordListModel::si_recordChanged); // so do views
        for (int answer : {int(QDialog::Accepted), int(QDialog::Rejected)}) {
            RecordEditDialog::SetAnswerHook([answer](RecordEditDialog& dialog) {
                dialog.setRecordName(answer == QDialog::Accepted ? "better name" : "ignored");
                return answer;
            });
            edit->trigger();
        }
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetRecordName(), QString("better name"));
        QCOMPARE(listed.count(), 1);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<vorex::RecordIdentifier>(), id("R1"));

        OpenFileDialog offer(&controller, VOREX_RecordData::eDataRate_3, VOREX_RecordData::eDataRate_3, 1, 5, nullptr);
        QCOMPARE(offer.candidates(), vorex::RecordIdentifierList{id("R1")}); // R2 other rate, R3 not completed
    }

    // The size field takes, in every unit, no more than travels in 32 bits.
    void sizeLimitField()
    {
        RecordParameterDialog dialog(31, 100ull << 30, nullptr);
        QCOMPARE(dialog.recordSizeLimit(), 0xffffffffull);
        auto* field = dialog.findChild<QDoubleSpinBox*>();
        for (int unit : {0, 1, 2, 3}) {
            dialog.setRecordSizeLimit(QTime(0, 1), unit);
            field->setValue(0);
            field->setValue(1e12); // typed far beyond
            QCOMPARE(dialog.recordSizeLimit(), 0xffffffffull >> (10 * unit) << (10 * unit));
        }
    }

    // The list dialogs open showing every column whole, lengths and data
    // rates in words included, and open again as the operator left them.
    void listDialogsFitAndRemember()
    {
        QTemporaryDir settings;
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
        VOREX_RecordData r = makeRecord("R9", "Harbour traffic, north pier", 3, 5, 91000000);
        r.SetHistory({VOREX_XML::HistoryEntry(1000000, "Checked by the second watch officer, nothing found")});
        m_backend->SetRecord("Dev1", r);
        VorexServerGUIController controller(m_server, 0, nullptr);
        controller.sl_activeDeviceChanged({ActiveDevice("Dev1", "VOREX")});
        for (int round = 0; round < 4; ++round) {
            const bool history = round % 2;
            std::unique_ptr<QDialog> dialog(history ? static_cast<QDialog*>(new RecordHistoryDialog(id("R9"), std::make_shared<VOREX_RecordData>(r), nullptr))
                                                    : new OpenFileDialog(&controller, r.GetDataRate(), r.GetDataRate(), 1, 5, nullptr));
            auto* list = dialog->findChild<QTreeWidget*>();
            dialog->show();
            QTreeWidgetItem* item = list->topLevelItem(history ? 0 : 1);
            QCOMPARE(item->text(history ? 1 : 4), history ? r.GetHistory().at(0).GetText() : QString("0:01:30"));
            QCOMPARE(item->text(2), history ? item->text(2) : QString("Class 3")); // words, not the identifier
            for (int column = 0; round < 2 && column < list->columnCount(); ++column)
                QVERIFY(list->columnWidth(column) > list->fontMetrics().horizontalAdvance(item->text(column)));
            QVERIFY(list->viewport()->width() >= list->header()->length());
            QCOMPARE(dialog->size() == QSize(640, 333) && list->columnWidth(0) == 123, round >= 2);
            dialog->resize(640, 333);
            list->setColumnWidth(0, 123);
            dialog->reject();
        }
    }

    void deviceComboListsWritesAndLocks()
    {
        auto device = values::Tree::Instance()->CreateValue<values::Value<QString>>("/gui/ch/DeviceID", QString("Dev2"));
        DeviceHandler handler;
        DeviceCombo combo(nullptr, &handler, QString(), "VOREX");
        QVERIFY(combo.SetDevice_ValuePath("/gui/ch/DeviceID") && combo.isEnabled());
        QCOMPARE(combo.CurrentDevice(), QString("Dev2"));
        combo.setCurrentIndex(combo.findData("Dev1"));
        emit combo.activated(combo.currentIndex());
        QCOMPARE(device->Get(), QString("Dev1"));
        device->Set("Dev2", nullptr);
        QCOMPARE(combo.CurrentDevice(), QString("Dev2"));
        m_backend->AddDevice(DeviceInfo{"Dev3", "VOREX", false, 0, 0});
        QCOMPARE(combo.count(), 3);

        combo.SetRecordingOn(true);
        combo.setEnabled(true); // the toolbar re-enables its widgets: the lock holds
        QVERIFY(!combo.isEnabled());
        combo.SetRecordingOn(false);
        QVERIFY(combo.isEnabled());
    }

    void discSpaceAndTickCounter()
    {
        auto device = values::Tree::Instance()->CreateValue<values::Value<QString>>("/gui/ch/DeviceID", QString("Dev1"));
        DiscSpaceBar bar(nullptr, "/Vorex");
        QVERIFY(bar.SetDevice_ValuePath("/gui/ch/DeviceID"));
        QCOMPARE(bar.text() + QString::number(bar.value()), QString("256.0 MiB free250"));
        m_backend->SetDiscSpace("Dev1", 512ull << 20, 1024ull << 20);
        QCOMPARE(bar.text(), QString("512.0 MiB free"));
        device->Set("Unknown", nullptr);
        QCOMPARE(bar.text(), QString("-"));

        qint64 now = 100 * 1000000LL;
        HaldaOS::SetClock([&now]() { return now; });
        values::Tree::Instance()->CreateValue<values::ValueNumeric<values::int64>>("/gui/ch/Start", 40 * 1000000LL);
        auto duration = values::Tree::Instance()->CreateValue<values::ValueNumeric<values::int64>>("/gui/ch/Duration", 0);
        TickCounter counter(nullptr, "VorexRecordCounter");
        QVERIFY(counter.SetRecordCounter_ValuePath("/gui/ch/Start") && counter.SetDurationCounter_ValuePath("/gui/ch/Duration"));
        duration->Set(3723 * 1000000LL, nullptr);
        QCOMPARE(counter.text(), QString("01:02:03"));
        counter.RestartCounter(100 * 1000000ULL); // joining a recording: device time 100 s, start 40 s
        now += 1000000;
        QCOMPARE(counter.CurrentDuration(), 61 * 1000000LL);
    }
};

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
