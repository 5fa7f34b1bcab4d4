#include "testsupport.h"
#include "umm.h"
#include "vorexgui.h"
#include "vcreplaybar.h"
#include "vorexwidgets.h"

#include <QAction>
#include <QSignalSpy>
#include <QtTest>

#include <thread>

using namespace VorexCommon;
using namespace VorexGUI;
using VOREX_XML::VOREX_RecordData;

using vrxtest::makeRecord;

Q_DECLARE_METATYPE(const QMetaObject*)

class TestRecorderGui : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<RecorderManagerBackend> m_backend;
    std::shared_ptr<KernoServerConnectionData> m_connection;
    std::shared_ptr<VorexGuiToServerCorbaHandler> m_server;

    vorex::RecordIdentifier id(const QString& record, const QString& device = "Dev1")
    {
        return vorex::RecordIdentifier("VOREX", device, record);
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
        values::Tree::Instance()->Release("/gui");
    }

    // The toolbar connects by signature text; these must resolve exactly.
    void signatureTextsResolve_data()
    {
        QTest::addColumn<const QMetaObject*>("meta");
        QTest::addColumn<bool>("isSignal");
        QTest::addColumn<QString>("signature");
        const QMetaObject* connection = &KernoServerConnectionData::staticMetaObject;
        const QMetaObject* devices = &DeviceHandler::staticMetaObject;
        const QMetaObject* model = &AbstractRecordListModel::staticMetaObject;
        const QMetaObject* controller = &VorexServerGUIController::staticMetaObject;
        QTest::newRow("connected") << connection << true << "si_allTicsConnected(const QString&)";
        QTest::newRow("disconnected") << connection << true << "si_allTicsDisconnected(const QString&)";
        QTest::newRow("device node") << connection << true << "si_deviceNodeAdded(const QString&)";
        QTest::newRow("vorex connected") << devices << false << "sl_vorexConnected(const QString&)";
        QTest::newRow("vorex disconnected") << devices << false << "sl_vorexDisconnected(const QString&)";
        QTest::newRow("new devices") << devices << false << "OnCheckForNewDevices (const QString&)";
        QTest::newRow("user rights") << &UserRights::staticMetaObject << true << "UpdateUserRights(const QString&)";
        QTest::newRow("record changed") << model << true << "si_recordChanged(vorex::RecordIdentifier,bool)";
        QTest::newRow("record deleted") << model << true << "si_recordDeleted(vorex::RecordIdentifier)";
        QTest::newRow("all records") << model << true << "si_allRecordsChanged()";
        QTest::newRow("history") << controller << false << "sl_showHistory()";
        QTest::newRow("active device") << controller << false << "sl_activeDeviceChanged(QList<ActiveDevice>)";
        QTest::newRow("selection") << controller << false << "sl_selectedRecordsChanged(vorex::RecordIdentifierList)";
        QTest::newRow("resync") << controller << false << "sl_resyncRecord(vorex::RecordIdentifier)";
        QTest::newRow("bookmarks") << controller << false
                                   << "sl_setBookmarkEntries(vorex::RecordIdentifier,QVector<VOREX_XML::BookmarkEntry>)";
        QTest::newRow("bar bookmarks") << &VCReplayBar::staticMetaObject << true << "signalBookmarksChanged()";
    }
    void signatureTextsResolve()
    {
        QFETCH(const QMetaObject*, meta);
        QFETCH(bool, isSignal);
        QFETCH(QString, signature);
        const QByteArray normalized = QMetaObject::normalizedSignature(signature.toLatin1().constData());
        const int index = isSignal ? meta->indexOfSignal(normalized) : meta->indexOfSlot(normalized);
        QVERIFY2(index >= 0, normalized.constData());
    }

    void recordListModelSignalsFollowTheBackend()
    {
        AbstractRecordListModel model;
        QSignalSpy changed(&model, &AbstractRecordListModel::si_recordChanged);
        QSignalSpy deleted(&model, &AbstractRecordListModel::si_recordDeleted);
        QSignalSpy all(&model, &AbstractRecordListModel::si_allRecordsChanged);

        model.SetDevice("VOREX", "Dev1");
        QCOMPARE(all.count(), 1);
        QCOMPARE(model.rowCount(), 3);
        QVERIFY(model.HasRecord(id("R1")));
        QVERIFY(model.HasRecord(vorex::RecordIdentifier("", "Dev1", "R1")));
        QVERIFY(!model.HasRecord(id("R1", "Dev2")));
        QVERIFY(!model.HasRecord(vorex::RecordIdentifier("OTHER", "Dev1", "R1")));
        QVERIFY(!model.HasRecord(vorex::RecordIdentifier()));
        QCOMPARE(model.GetRecordData(id("R2"))->GetRecordName(), QString("two"));
        QVERIFY(!model.GetRecordData(id("nope")));

        m_backend->SetRecord("Dev1", makeRecord("R4", "four"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<vorex::RecordIdentifier>(), id("R4"));
        QCOMPARE(changed.at(0).at(1).toBool(), true);
        m_backend->SetRecord("Dev1", makeRecord("R4", "renamed"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(1).toBool(), false);
        QCOMPARE(model.GetRecordData(id("R4"))->GetRecordName(), QString("renamed"));

        m_backend->SetRecord("Dev2", makeRecord("R9", "other device"));
        QCOMPARE(changed.count(), 2);

        // Changes made on another thread arrive queued.
        std::thread([this]() { m_backend->RemoveRecord("Dev1", "R2"); }).join();
        QTRY_COMPARE(deleted.count(), 1);
        QCOMPARE(deleted.at(0).at(0).value<vorex::RecordIdentifier>(), id("R2"));
        QVERIFY(!model.HasRecord(id("R2")));

        m_backend->SetRecords("Dev1", {makeRecord("R5", "five")});
        QCOMPARE(all.count(), 2);
        QCOMPARE(model.rowCount(), 1);

        // A connection loss empties the list.
        m_backend->SetConnected(false);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(all.count(), 3);
    }

    void controllerActionsAndBookmarks()
    {
        VorexServerGUIController controller(m_server, 0x1 | 0x100, nullptr);
        QAction* edit = controller.recordAction(0x1);
        QAction* history = controller.recordAction(0x100);
        QVERIFY(edit && history);
        QVERIFY(!controller.recordAction(0x2));
        QVERIFY(!edit->isEnabled());
        QVERIFY(!history->icon().isNull() && !edit->icon().isNull());
        QVERIFY(!history->toolTip().isEmpty() && !history->statusTip().isEmpty());
        QSignalSpy editChanged(edit, &QAction::changed);

        controller.sl_activeDeviceChanged({ActiveDevice("Dev1", "VOREX")});
        QCOMPARE(controller.activeDevices().size(), 1);
        QCOMPARE(controller.recordListModel()->rowCount(), 3);
        controller.sl_selectedRecordsChanged({id("R1")});
        QVERIFY(edit->isEnabled());
        QVERIFY(history->isEnabled());
        QVERIFY(editChanged.count() >= 1);
        controller.sl_selectedRecordsChanged({id("missing")});
        QVERIFY(!edit->isEnabled());
        controller.sl_selectedRecordsChanged({});
        QVERIFY(!history->isEnabled());

        QVector<VOREX_XML::BookmarkEntry> entries{VOREX_XML::BookmarkEntry(1500000, "mark"), VOREX_XML::BookmarkEntry(2500000, "new")};
        QSignalSpy recordChanged(controller.recordListModel(), &AbstractRecordListModel::si_recordChanged);
        controller.sl_setBookmarkEntries(id("R1"), entries);
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetBookmarkEntry(), entries);
        QCOMPARE(m_backend->CommandCount("SetBookmarkEntries"), 1);
        QCOMPARE(recordChanged.count(), 1);
        QCOMPARE(controller.recordListModel()->GetRecordData(id("R1"))->GetBookmarkEntry().size(), 2);

        controller.sl_resyncRecord(id("R1"));
        QCOMPARE(m_backend->CommandCount("ResyncRecord"), 1);
        QCOMPARE(recordChanged.count(), 2);

        controller.sl_activeDeviceChanged({});
        QCOMPARE(controller.recordListModel()->rowCount(), 0);
    }

    void historyAndEditDialogsAnsweredByHooks()
    {
        VorexServerGUIController controller(m_server, 0x1 | 0x100, nullptr);
        controller.sl_activeDeviceChanged({ActiveDevice("Dev1", "VOREX")});
        controller.sl_selectedRecordsChanged({id("R1")});

        int asked = 0;
        vorex::RecordIdentifier shown;
        RecordHistoryDialog::SetAnswerHook([&](RecordHistoryDialog& dialog) {
            ++asked;
            shown = dialog.recordIdentifier();
            dialog.setComment("  checked  ");
            return int(QDialog::Accepted);
        });
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 0);
        controller.recordAction(0x100)->trigger();
        QCOMPARE(asked, 1);
        QCOMPARE(shown, id("R1"));
        QCOMPARE(m_backend->CommandCount("AddHistoryComment"), 0); // no right to comment
        UMM::ActiveUserProxy::instance()->SetAccessLevel("VOREX_MANAGEMENT.addHistoryComment", 1);
        controller.sl_showHistory();
        QCOMPARE(asked, 2);
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetHistory().size(), 1);
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetHistory().at(0).GetText(), QString("checked"));

        RecordEditDialog::SetAnswerHook([](RecordEditDialog& dialog) {
            dialog.setRecordName("better name");
            return int(QDialog::Accepted);
        });
        controller.recordAction(0x1)->trigger();
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetRecordName(), QString("better name"));
        RecordEditDialog::SetAnswerHook([](RecordEditDialog& dialog) {
            dialog.setRecordName("ignored");
            return int(QDialog::Rejected);
        });
        controller.sl_editRecord();
        QCOMPARE(m_backend->GetRecord("Dev1", "R1")->GetRecordName(), QString("better name"));
    }

    void openFileDialogOffersMatchingRecords()
    {
        VorexServerGUIController controller(m_server, 0x1 | 0x100, nullptr);
        controller.sl_activeDeviceChanged({ActiveDevice("Dev1", "VOREX")});
        {
            OpenFileDialog dialog(&controller, VOREX_RecordData::eDataRate_3, VOREX_RecordData::eDataRate_3, 1, 5, nullptr);
            QCOMPARE(dialog.candidates(), (vorex::RecordIdentifierList{id("R1")})); // R2 other rate, R3 not completed
            QVERIFY(!dialog.selectRecord(id("R3")));
            QVERIFY(!dialog.selectedRecord());
        }
        OpenFileDialog::SetAnswerHook([this](OpenFileDialog& dialog) {
            return dialog.selectRecord(id("R2")) ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        OpenFileDialog dialog(&controller, VOREX_RecordData::eDataRate_3, VOREX_RecordData::eDataRate_4, 1, 5, nullptr);
        QCOMPARE(dialog.candidates().size(), 2);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.selectedRecordIdentifier(), id("R2"));
        QCOMPARE(dialog.selectedRecord()->GetRecordName(), QString("two"));
        QCOMPARE(dialog.selectedRecord()->GetDataRateAsString(), QString("DataRate4"));
    }

    void recordParameterDialogAnsweredByHook()
    {
        HaldaOS::SetClock([]() { return qint64(1733500000) * 1000000; }); // 2024-12-06 15:46:40 UTC
        int options = 0;
        unsigned int offeredTimeout = 0;
        quint64 offeredSize = 0;
        RecordParameterDialog::SetAnswerHook([&](RecordParameterDialog& dialog) {
            options = dialog.options();
            offeredTimeout = dialog.timeout();
            offeredSize = dialog.recordSizeLimit();
            dialog.setRecordSizeLimitBytes(1023);
            return int(QDialog::Accepted);
        });
        RecordParameterDialog dialog(31, VOREX_RecordData::DefaultRecordSizeLimit(3), nullptr);
        const QString name = dialog.createRecordName("Rec_", "yyyyMMdd:hhmmss_");
        const QString expected = "Rec_" + QDateTime::fromMSecsSinceEpoch(qint64(1733500000) * 1000).toString("yyyyMMdd:hhmmss_");
        QCOMPARE(name, expected);
        dialog.setRecordSizeLimit(QTime(0, 0, 40, 0), 2);
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(options, 31);
        QCOMPARE(offeredTimeout, 40u);
        QCOMPARE(offeredSize, quint64(108003328ull));
        QCOMPARE(dialog.recordName(), expected);
        QCOMPARE(dialog.recordSizeLimit(), quint64(1023));
        QCOMPARE(dialog.timeout(), 40u);
    }

    void dialogsWithoutHookNeverBlockOffscreen()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("RecordParameterDialog::exec\\(\\) without an answer hook.*"));
        RecordParameterDialog dialog(19, 0, nullptr);
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("OpenFileDialog::exec\\(\\) without an answer hook.*"));
        OpenFileDialog open(nullptr, VOREX_RecordData::eDataRate_0, VOREX_RecordData::eDataRate_0, 1, 5, nullptr);
        QCOMPARE(open.exec(), int(QDialog::Rejected));
        QVERIFY(!open.selectedRecord());
        QVERIFY(!open.selectedRecordIdentifier().valid());
    }

    // --- widget library ---------------------------------------------------

    void deviceComboListsWritesAndLocks()
    {
        auto device = values::Tree::Instance()->CreateValue<values::Value<QString>>("/gui/ch/DeviceID", QString("Dev2"));
        DeviceHandler handler;
        handler.sl_vorexConnected("manager");
        DeviceCombo combo(nullptr, &handler, QString(), "VOREX");
        QVERIFY(!combo.SetDevice_ValuePath("/gui/ch/Missing"));
        QVERIFY(!combo.isEnabled());
        QVERIFY(combo.SetDevice_ValuePath("/gui/ch/DeviceID"));
        QVERIFY(combo.isEnabled());
        QCOMPARE(combo.count(), 2);
        QCOMPARE(combo.CurrentDevice(), QString("Dev2"));

        vrxtest::ScopedObserver connector(device);
        combo.setCurrentIndex(combo.findData("Dev1"));
        emit combo.activated(combo.currentIndex());
        QCOMPARE(device->Get(), QString("Dev1"));
        QCOMPARE(connector.count(VC_VALUECHANGED), 1);

        std::thread([device]() { device->Set("Dev2", nullptr); }).join();
        QTRY_COMPARE(combo.CurrentDevice(), QString("Dev2"));

        combo.SetRecordingOn(true);
        QVERIFY(!combo.isEnabled());
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

    void discSpaceBarShowsTheBoundDevice()
    {
        auto device = values::Tree::Instance()->CreateValue<values::Value<QString>>("/gui/ch/DeviceID", QString("Dev1"));
        DiscSpaceBar bar(nullptr, "/Vorex");
        QCOMPARE(bar.text(), QString("-"));
        QVERIFY(bar.SetDevice_ValuePath("/gui/ch/DeviceID"));
        QCOMPARE(bar.text(), QString("256.0 MiB free"));
        QCOMPARE(bar.value(), 250);
        m_backend->SetDiscSpace("Dev1", 512ull << 20, 1024ull << 20);
        QCOMPARE(bar.text(), QString("512.0 MiB free"));
        device->Set("Unknown", nullptr);
        QCOMPARE(bar.text(), QString("-"));
        QCOMPARE(DiscSpaceBar::FormatBytes(512), QString("512 B"));
        QCOMPARE(DiscSpaceBar::FormatBytes(3ull << 40), QString("3.0 TiB"));
    }

    void tickCounterCountsOnTheHostClock()
    {
        qint64 now = 100 * 1000000LL;
        HaldaOS::SetClock([&now]() { return now; });
        auto start = values::Tree::Instance()->CreateValue<values::ValueNumeric<values::int64>>("/gui/ch/RecordCounterStartTime", 40 * 1000000LL);
        auto duration = values::Tree::Instance()->CreateValue<values::ValueNumeric<values::int64>>("/gui/ch/Duration", 0);
        TickCounter counter(nullptr, "VorexRecordCounter");
        QVERIFY(counter.SetRecordCounter_ValuePath("/gui/ch/RecordCounterStartTime"));
        QVERIFY(counter.SetDurationCounter_ValuePath("/gui/ch/Duration"));

        counter.StartCounter();
        now += 61 * 1000000LL;
        QCOMPARE(counter.CurrentDuration(), 61 * 1000000LL);
        counter.StopCounter();
        QVERIFY(!counter.IsRunning());
        now += 5 * 1000000LL;
        QCOMPARE(counter.text(), QString("00:01:01"));

        duration->Set(3723 * 1000000LL, nullptr);
        QCOMPARE(counter.text(), QString("01:02:03"));
        counter.SetDuration(0);
        QCOMPARE(counter.text(), QString("00:00:00"));

        // Joining a running recording: device time 100 s, start 40 s.
        counter.RestartCounter(100 * 1000000ULL);
        QCOMPARE(counter.CurrentDuration(), 60 * 1000000LL);
        counter.RestartCounter(0);
        QCOMPARE(counter.CurrentDuration(), 0LL);
        counter.RestartCounter(10 * 1000000ULL); // device time before the start: from 0
        QCOMPARE(counter.CurrentDuration(), 0LL);
        Q_UNUSED(start);
    }
};

QTEST_MAIN(TestRecorderGui)
#include "tst_recordergui.moc"
