#include "livetoolbar.h"
#include "testsupport.h"

#include "startup.h"
#include "vcwidgets.h"
#include "vorexgui.h"
#include "vorexwidgets.h"

#include <QtTest>

using VOREX_XML::Admin;
using vrxtest::LiveToolbar;
using vrxtest::ScopedObserver;
using vrxtest::settle;

namespace {

const QString kRecordCombo = QStringLiteral("VorexRecordingModesCombo");
const QString kReplayCombo = QStringLiteral("VorexReplayModesCombo");
const QString kStop = QStringLiteral("VorexStop");
const QString kPause = QStringLiteral("VorexPause");

// Runs the toolbar's pending main-thread calls (and what they post in
// turn) but not the manager's reactions, which wait in the event queue:
// the toolbar is then seen between its request and the manager's answer.
void runToolbarCalls()
{
    // Calls posted while calls are delivered wait for the next round.
    for (int round = 0; round < 40; ++round)
        QCoreApplication::sendPostedEvents(nullptr, ThreadingHelper::RunInMainThreadEvent_Impl::EventType());
}

// The transient look: the whole bar disabled with a wait cursor.
bool transient(LiveToolbar& live)
{
    return !live.bar()->isEnabled() && live.bar()->testAttribute(Qt::WA_SetCursor)
        && live.bar()->cursor().shape() == Qt::WaitCursor;
}

bool settled(LiveToolbar& live)
{
    return live.bar()->isEnabled() && !live.bar()->testAttribute(Qt::WA_SetCursor);
}

template <typename W = QAbstractButton>
W* control(LiveToolbar& live, const QString& name)
{
    return live.widget<W>(name);
}

TickCounter* counter(LiveToolbar& live)
{
    return live.widget<TickCounter>(QStringLiteral("VorexToolbarRecordCounter"));
}

QString firstRecord(LiveToolbar& live)
{
    return live.backend().GetRecords(QStringLiteral("Dev1")).at(0).GetRecordID();
}

// Counts main-thread calls delivered while alive.
class MainThreadCallCounter : public QObject
{
public:
    MainThreadCallCounter() { qApp->installEventFilter(this); }
    ~MainThreadCallCounter() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == ThreadingHelper::RunInMainThreadEvent_Impl::EventType())
            ++count;
        return false;
    }
};

} // namespace

class TestModes : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        VorexGUI::RecordParameterDialog::SetAnswerHook(nullptr);
        VorexGUI::OpenFileDialog::SetAnswerHook(nullptr);
        QTRY_COMPARE(ThreadingHelper::ThreadSwitchingAdministration::LiveEventCount(), 0);
        VorexCommon::ErrorDescriptor::TakeResponses();
        ErrorHandler::Instance()->TakeMessages();
    }

    // Operator record, the manager starting it, operator stop, the manager
    // finishing it: the values written, the looks on the way, the counter.
    void recordRoad_data()
    {
        QTest::addColumn<bool>("continuous");
        QTest::addColumn<quint64>("limit");
        QTest::addColumn<int>("fileSizeKB");
        QTest::addColumn<long>("recording");
        QTest::newRow("normal") << false << quint64(0) << 0 << 1L;
        QTest::newRow("continuous 2.5 GB") << true << quint64(2558525440ull) << 2498560 << 2L;
        QTest::newRow("continuous 1023 bytes reads as normal") << true << quint64(1023) << 0 << 1L;
        // Larger than 32 bits: held at the largest limit instead of wrapping.
        QTest::newRow("continuous 4 GiB") << true << quint64(4294967296ull) << 4194303 << 2L;
        QTest::newRow("continuous 5 GiB") << true << quint64(5368709120ull) << 4194303 << 2L;
    }
    void recordRoad()
    {
        QFETCH(bool, continuous);
        QFETCH(quint64, limit);
        QFETCH(int, fileSizeKB);
        QFETCH(long, recording);

        LiveToolbar live;
        QVERIFY(settled(live));
        QString asked;
        VorexGUI::RecordParameterDialog::SetAnswerHook([&](VorexGUI::RecordParameterDialog& dialog) {
            asked = QStringLiteral("%1 %2 %3").arg(dialog.options()).arg(dialog.recordSizeLimit()).arg(dialog.sizeUnit());
            dialog.setRecordSizeLimitBytes(limit);
            return 1;
        });
        live.value<values::Value<int>>("FileSizeInKB")->Set(77, nullptr);
        ScopedObserver modeWrites(live.value<values::ValueSelection>("RecordReplayModes"));
        vrxtest::TraceCapture traces;

        if (continuous)
            QVERIFY(control<VCOneOfButtonCombo>(live, kRecordCombo)->TriggerEntry(Admin::eRecordReplayMode_Recordcontinuous));
        else
            control(live, kRecordCombo)->click();
        runToolbarCalls();
        QCOMPARE(live.selection("AllRecordReplayModes"), 0L);
        QCOMPARE(live.value<values::Value<int>>("FileSizeInKB")->Get(), fileSizeKB);
        QVERIFY(!live.value<values::Value<bool>>("TriggeredByCorbaCall")->Get());
        QVERIFY(traces.contains(QStringLiteral("VorexToolbar::RecordReplayModeValueChanged::setting to = eRecordReplayAllModes_Startrecord ")));
        QVERIFY(transient(live));
        if (continuous) // rate 3 offered with its default size, in MiB
            QCOMPARE(asked, QStringLiteral("31 108003328 2"));

        settle();
        QCOMPARE(live.selection("AllRecordReplayModes"), recording);
        QVERIFY(settled(live));
        QVERIFY(counter(live)->IsRunning());
        QVERIFY(live.isEnabled(kStop));
        QVERIFY(!live.isEnabled(kReplayCombo));
        QVERIFY(!live.isEnabled(QStringLiteral("VorexOpenFile")));
        // The operator's own request is not written back.
        QCOMPARE(modeWrites.count(VC_VALUECHANGED), 1);

        control(live, kStop)->click();
        runToolbarCalls();
        QCOMPARE(live.selection("AllRecordReplayModes"), 3L);
        QVERIFY(transient(live));
        QVERIFY(!counter(live)->IsRunning());

        settle();
        QCOMPARE(live.selection("AllRecordReplayModes"), 4L);
        QCOMPARE(live.selection("RecordReplayModes"), 5L);
        QVERIFY(settled(live));
        QVERIFY(live.isEnabled(kRecordCombo));
        QVERIFY(live.isEnabled(kReplayCombo));
        QVERIFY(!live.isEnabled(kStop));
    }

    // A record found running when the connection returns: the recording
    // look again, the counter going on from the device's time.
    void recordFoundRunningOnReconnection()
    {
        LiveToolbar live;
        control(live, kRecordCombo)->click();
        settle();
        QCOMPARE(live.selection("AllRecordReplayModes"), 1L);
        live.simulator().SetConnected(false);
        settle();
        QVERIFY(transient(live));
        live.backend().ClearCommands();
        live.simulator().SetConnected(true);
        settle();
        QCOMPARE(live.backend().CommandCount(QStringLiteral("GetDeviceTime")), 1);
        QVERIFY(settled(live));
        QVERIFY(counter(live)->IsRunning());
        // The lost connection stopped the mode value; the record runs on.
        QCOMPARE(live.selection("RecordReplayModes"), 3L);
        QVERIFY(live.isEnabled(kStop));
        QVERIFY(!live.isEnabled(kReplayCombo));
        control(live, kStop)->click();
        settle();
        QCOMPARE(live.selection("AllRecordReplayModes"), 4L);
        QVERIFY(!live.simulator().IsRecording(0));
    }

    // A continuous record needs the parameters: no data-rate class, or a
    // cancelled dialog, and nothing is requested.
    void continuousRecordRefused_data()
    {
        QTest::addColumn<bool>("withRate");
        QTest::newRow("dialog cancelled") << true;
        QTest::newRow("no data-rate class") << false;
    }
    void continuousRecordRefused()
    {
        QFETCH(bool, withRate);
        LiveToolbar live;
        bool asked = false;
        VorexGUI::RecordParameterDialog::SetAnswerHook([&](VorexGUI::RecordParameterDialog&) {
            asked = true;
            return 0;
        });
        if (!withRate)
            live.value<values::Value<QString>>("DataRateClass")->Set(QString(), nullptr);
        settle();
        VorexCommon::ErrorDescriptor::TakeResponses();
        QVERIFY(control<VCOneOfButtonCombo>(live, kRecordCombo)->TriggerEntry(Admin::eRecordReplayMode_Recordcontinuous));
        settle();
        QCOMPARE(asked, withRate);
        QCOMPARE(live.selection("AllRecordReplayModes"), 4L);
        QCOMPARE(live.selection("RecordReplayModes"), 5L);
        QVERIFY(!live.simulator().IsRecording(0));
        const auto responses = VorexCommon::ErrorDescriptor::TakeResponses();
        QCOMPARE(int(responses.size()), 1);
        QCOMPARE(responses[0].classifier, 2);
        QCOMPARE(responses[0].source, QStringLiteral("Channel1"));
        QCOMPARE(responses[0].command, QStringLiteral("PrepareForContinuousRecord"));
        QCOMPARE(responses[0].text, VorexCommon::ToolbarHelper::ErrorId2Text(256, 0));
        QVERIFY(settled(live));
    }

    // Stop while the record is only requested withdraws it at once; stop in
    // idle writes nothing and only refreshes the stopped look.
    void stopBeforeTheManagerAnswers()
    {
        LiveToolbar live;
        control(live, kRecordCombo)->click();
        runToolbarCalls();
        QCOMPARE(live.selection("AllRecordReplayModes"), 0L);
        vrxtest::TraceCapture traces;
        live.select("RecordReplayModes", Admin::eRecordReplayMode_Stop); // the host's stop
        runToolbarCalls();
        QCOMPARE(live.selection("AllRecordReplayModes"), 4L);
        QVERIFY(traces.contains(QStringLiteral("VorexToolbar::RecordReplayModeValueChanged::setting to = eRecordReplayAllModes_Stopped ")));
        settle();
        QVERIFY(!live.simulator().IsRecording(0));
        QCOMPARE(live.selection("AllRecordReplayModes"), 4L);
        QVERIFY(settled(live));
        QVERIFY(!counter(live)->IsRunning());
    }

    void stopInIdle()
    {
        LiveToolbar live;
        ScopedObserver allModesWrites(live.value<values::ValueSelection>("AllRecordReplayModes"));
        vrxtest::TraceCapture traces;
        live.select("RecordReplayModes", Admin::eRecordReplayMode_Stop);
        settle();
        QCOMPARE(allModesWrites.count(VC_VALUECHANGED), 0);
        QVERIFY(traces.contains(QStringLiteral("VorexToolbar::RecordReplayModeValueChanged::force update of = eRecordReplayAllModes_Stopped ")));
        QVERIFY(traces.contains(QStringLiteral("+ VorexToolbar::RecordReplayAllModesValueChanged::mode = eRecordReplayAllModes_Stopped ")));
        QVERIFY(settled(live));
        QVERIFY(!live.isEnabled(kStop));
    }

    // Replay of the selected record, pause, resume (continued), pause, move
    // the position, resume (started from there), stop.
    void replayRoad()
    {
        LiveToolbar live;
        const QString record = firstRecord(live);
        live.simulator().SelectRecord(0, QStringLiteral("Dev1"), record);
        settle();
        live.backend().ClearCommands();
        live.value<values::Value<bool>>("TriggeredByCorbaCall")->Set(true, nullptr);

        control(live, kReplayCombo)->click();
        runToolbarCalls();
        QVERIFY(transient(live));
        auto starts = live.commands(QStringLiteral("StartReplay"));
        QCOMPARE(int(starts.size()), 1);
        const QVariantList& args = starts[0].args;
        QCOMPARE(args.value(0).toString(), QStringLiteral("Dev1"));
        QCOMPARE(args.value(1).toString(), record);
        QCOMPARE(args.value(2).toInt(), 3); // the channel's data-rate class
        QCOMPARE(args.value(3).toULongLong(), 0ull);
        const quint64 stop = args.value(4).toULongLong();
        QVERIFY(stop > 0);
        QCOMPARE(args.value(5).toUInt(), 1u);
        QCOMPARE(live.value<values::Value<int>>("NoOfReplays")->Get(), 1);
        QVERIFY(!live.value<values::Value<bool>>("TriggeredByCorbaCall")->Get());

        settle();
        QCOMPARE(live.selection("ReplayMode"), 4L);
        QVERIFY(settled(live));
        QVERIFY(!live.isEnabled(kRecordCombo));
        QVERIFY(live.isEnabled(kStop));
        QVERIFY(live.isEnabled(kPause));

        // Pause, then resume: the manager is asked to continue.
        control(live, kPause)->click();
        runToolbarCalls();
        QVERIFY(transient(live));
        QCOMPARE(int(live.commands(QStringLiteral("PauseReplay")).size()), 1);
        settle();
        QCOMPARE(live.selection("ReplayMode"), 2L);
        QCOMPARE(live.selection("RecordReplayModes"), 2L);
        QVERIFY(settled(live));
        // The manager's own position writes (selecting the record) count as
        // moves; the replay bar forgets them when it binds its channel
        // again, which every channel update does.
        values::Tree::Instance()->CreateValue<values::Value<int>>(live.key("Extra"), 0);
        settle();
        control(live, kPause)->click();
        settle();
        QCOMPARE(int(live.commands(QStringLiteral("ContinueReplay")).size()), 1);
        QCOMPARE(int(live.commands(QStringLiteral("StartReplay")).size()), 1);
        QCOMPARE(live.selection("ReplayMode"), 4L);

        // Pause, somebody moves the position, resume: started from there.
        control(live, kPause)->click();
        settle();
        QCOMPARE(live.selection("ReplayMode"), 2L);
        live.value<values::ValueNumeric<values::int64>>("CurrentReplayPosition")->Set(qint64(stop / 2), nullptr);
        control(live, kPause)->click();
        settle();
        starts = live.commands(QStringLiteral("StartReplay"));
        QCOMPARE(int(starts.size()), 2);
        QCOMPARE(starts[1].args.value(3).toULongLong(), stop / 2);
        QCOMPARE(int(live.commands(QStringLiteral("ContinueReplay")).size()), 1);
        QCOMPARE(live.selection("ReplayMode"), 4L);

        control(live, kStop)->click();
        runToolbarCalls();
        QVERIFY(transient(live));
        QCOMPARE(int(live.commands(QStringLiteral("StopReplay")).size()), 1);
        settle();
        QCOMPARE(live.selection("ReplayMode"), 0L);
        QCOMPARE(live.selection("RecordReplayModes"), 5L);
        QVERIFY(settled(live));
        QVERIFY(live.isEnabled(kRecordCombo));
    }

    // No record selected: the selection dialog when it may be offered (here
    // it yields nothing), else the message; no replay either way.
    void replayWithoutARecord_data()
    {
        QTest::addColumn<bool>("dialogAllowed");
        QTest::newRow("selection dialog allowed") << true;
        QTest::newRow("selection dialog not allowed") << false;
    }
    void replayWithoutARecord()
    {
        QFETCH(bool, dialogAllowed);
        LiveToolbar live;
        VorexGUI::OpenFileDialog::SetAnswerHook([](VorexGUI::OpenFileDialog&) { return 0; });
        live.toolbar()->SetFileOpenDialogAllowed(dialogAllowed);
        settle();
        live.backend().ClearCommands();
        VorexCommon::ErrorDescriptor::TakeResponses();
        ErrorHandler::Instance()->TakeMessages();

        control(live, kReplayCombo)->click();
        settle();
        QCOMPARE(int(live.commands(QStringLiteral("StartReplay")).size()), 0);
        QCOMPARE(live.selection("RecordReplayModes"), 5L);
        const auto messages = ErrorHandler::Instance()->TakeMessages();
        QCOMPARE(int(messages.size()), dialogAllowed ? 0 : 1);
        if (!dialogAllowed) {
            QCOMPARE(messages[0].text, VorexCommon::ToolbarHelper::ErrorId2Text(257, 0));
            QVERIFY(messages[0].flag1 && messages[0].number == -1 && messages[0].flag2);
        }
        const auto responses = VorexCommon::ErrorDescriptor::TakeResponses();
        QCOMPARE(int(responses.size()), 1);
        QCOMPARE(responses[0].command, QStringLiteral("PrepareForReplay"));
        QCOMPARE(responses[0].text, VorexCommon::ToolbarHelper::ErrorId2Text(253, 0));
        QVERIFY(settled(live));
    }

    // A replay asked for while a record starts, runs or stops is refused;
    // a running record's mode is put back.
    void replayRefusedWhileRecording_data()
    {
        QTest::addColumn<int>("recordMode"); // 3 or 4
        QTest::addColumn<bool>("settleRecord");
        QTest::addColumn<int>("replayMode");  // 0 or 1
        QTest::addColumn<long>("restored");
        QTest::addColumn<QString>("state");
        QTest::newRow("replay while recording") << 3 << true << 0 << 3L << "eRecordReplayAllModes_Record";
        QTest::newRow("continuous replay while recording") << 3 << true << 1 << 3L << "eRecordReplayAllModes_Record";
        QTest::newRow("replay while recording continuously") << 4 << true << 0 << 4L << "eRecordReplayAllModes_Recordcontinuous";
        QTest::newRow("continuous replay while recording continuously") << 4 << true << 1 << 4L << "eRecordReplayAllModes_Recordcontinuous";
        QTest::newRow("replay while the record starts") << 3 << false << 0 << 0L << "eRecordReplayAllModes_Startrecord";
    }
    void replayRefusedWhileRecording()
    {
        QFETCH(int, recordMode);
        QFETCH(bool, settleRecord);
        QFETCH(int, replayMode);
        QFETCH(long, restored);
        QFETCH(QString, state);
        LiveToolbar live;
        live.simulator().SelectRecord(0, QStringLiteral("Dev1"), firstRecord(live));
        VorexGUI::RecordParameterDialog::SetAnswerHook([](VorexGUI::RecordParameterDialog&) { return 1; });
        settle();
        live.select("RecordReplayModes", recordMode);
        if (settleRecord)
            settle();
        else
            runToolbarCalls();
        live.backend().ClearCommands();

        vrxtest::TraceCapture traces;
        live.select("RecordReplayModes", replayMode);
        runToolbarCalls();
        const QString function = replayMode == 0 ? QStringLiteral("PrepareForReplay") : QStringLiteral("PrepareForContinuousReplay");
        QVERIFY(traces.contains(QStringLiteral("VorexToolbar::%1 : somehow managed to switch to Replay while "
                                               "VOREX_XML::Admin::RecordReplayAllModes::%2 was running. ")
                                    .arg(function, state)));
        QCOMPARE(live.selection("RecordReplayModes"), settleRecord ? restored : long(replayMode));
        settle();
        QCOMPARE(int(live.commands(QStringLiteral("StartReplay")).size()), 0);
        QVERIFY(live.selection("AllRecordReplayModes") != 4 || !settleRecord);
    }

    // The other kind of a running activity is refused and the mode put back.
    void conflictingKinds_data()
    {
        QTest::addColumn<int>("running");
        QTest::addColumn<int>("requested");
        QTest::addColumn<QString>("refusal"); // trace, or the text of a warning response
        QTest::newRow("replay during continuous replay") << 1 << 0
            << "Cannot switch to replay mode while continuous replay is running! No action will be performed";
        QTest::newRow("continuous replay during replay") << 0 << 1
            << "Cannot switch to continuous replay mode while replay is running! No action will be performed";
        QTest::newRow("record during continuous record") << 4 << 3
            << "Cannot switch to record mode while continuous record is running! No action will be performed";
        QTest::newRow("continuous record during record") << 3 << 4
            << "Cannot switch to continuous record mode while record is running! No action will be performed";
    }
    void conflictingKinds()
    {
        QFETCH(int, running);
        QFETCH(int, requested);
        QFETCH(QString, refusal);
        LiveToolbar live;
        live.simulator().SelectRecord(0, QStringLiteral("Dev1"), firstRecord(live));
        VorexGUI::RecordParameterDialog::SetAnswerHook([](VorexGUI::RecordParameterDialog&) { return 1; });
        settle();
        live.select("RecordReplayModes", running);
        settle();
        live.backend().ClearCommands();
        VorexCommon::ErrorDescriptor::TakeResponses();

        vrxtest::TraceCapture traces;
        live.select("RecordReplayModes", requested);
        settle();
        QCOMPARE(live.selection("RecordReplayModes"), long(running));
        if (requested <= 1) {
            QVERIFY(traces.contains(refusal));
            QVERIFY(live.commands(QStringLiteral("StartReplay")).empty());
            QCOMPARE(live.selection("ReplayMode"), 4L);
        } else {
            const auto responses = VorexCommon::ErrorDescriptor::TakeResponses();
            QCOMPARE(int(responses.size()), 1);
            QCOMPARE(responses[0].classifier, 1);
            QCOMPARE(responses[0].command, QString());
            QCOMPARE(responses[0].text, refusal);
            QCOMPARE(live.selection("AllRecordReplayModes"), running == 3 ? 1L : 2L);
        }
    }

    // Without a replay range the start waits for the replay bar, at most
    // 19 times, and then goes with start 0 and stop 0.
    void replayWaitsForItsRange()
    {
        LiveToolbar live;
        live.simulator().SelectRecord(0, QStringLiteral("Dev1"), QStringLiteral("NoSuchRecord"));
        settle();
        live.backend().ClearCommands();
        MainThreadCallCounter calls;
        control(live, kReplayCombo)->click();
        QVERIFY(live.commands(QStringLiteral("StartReplay")).empty());
        runToolbarCalls();
        const auto starts = live.commands(QStringLiteral("StartReplay"));
        QCOMPARE(int(starts.size()), 1);
        QCOMPARE(starts[0].args.value(3).toULongLong(), 0ull);
        QCOMPARE(starts[0].args.value(4).toULongLong(), 0ull);
        // The mode handler, two value writes, the first call and 19 more.
        QCOMPARE(calls.count, 1 + 2 + 20);
        settle();
    }

    // Activity the manager starts itself is mirrored into the mode value,
    // refined to the continuous kinds.
    void externalActivityIsMirrored_data()
    {
        QTest::addColumn<bool>("replay");
        QTest::addColumn<bool>("continuous");
        QTest::addColumn<long>("mode");
        QTest::newRow("record") << false << false << 3L;
        QTest::newRow("continuous record") << false << true << 4L;
        QTest::newRow("replay") << true << false << 0L;
        QTest::newRow("continuous replay") << true << true << 1L;
    }
    void externalActivityIsMirrored()
    {
        QFETCH(bool, replay);
        QFETCH(bool, continuous);
        QFETCH(long, mode);
        LiveToolbar live;
        live.simulator().SelectRecord(0, QStringLiteral("Dev1"), firstRecord(live));
        settle();
        if (replay)
            QVERIFY(live.simulator().TriggerExternalReplay(0, continuous));
        else
            live.simulator().TriggerExternalRecord(0, continuous);
        settle();
        QCOMPARE(live.selection("RecordReplayModes"), mode);
        QVERIFY(settled(live));
        if (replay)
            QCOMPARE(live.selection("ReplayMode"), 4L);
        else
            QCOMPARE(live.selection("AllRecordReplayModes"), continuous ? 2L : 1L);
        live.simulator().TriggerExternalStop(0);
        settle();
        QCOMPARE(live.selection("RecordReplayModes"), 5L);
        QVERIFY(settled(live));
        QVERIFY(live.isEnabled(kRecordCombo));
    }

    // While a replay runs, the recording state does not decide the look.
    void allModesIgnoredDuringReplay()
    {
        LiveToolbar live;
        live.simulator().SelectRecord(0, QStringLiteral("Dev1"), firstRecord(live));
        settle();
        control(live, kReplayCombo)->click();
        settle();
        QCOMPARE(live.selection("ReplayMode"), 4L);
        vrxtest::TraceCapture traces;
        live.select("AllRecordReplayModes", 1);
        settle();
        QVERIFY(traces.texts().filter(QStringLiteral("VorexToolbar::RecordReplayAllModesValueChanged::mode")).isEmpty());
        QVERIFY(settled(live));
        QVERIFY(!counter(live)->IsRunning());
        QVERIFY(!live.isEnabled(kRecordCombo));
        QVERIFY(live.isEnabled(kPause));
    }

    void invalidAllModesKeys_data()
    {
        QTest::addColumn<long>("key");
        QTest::addColumn<bool>("valid");
        QTest::newRow("7") << 7L << false;
        QTest::newRow("255") << 255L << false;
        QTest::newRow("260 is 4 in its low byte") << 260L << true;
    }
    void invalidAllModesKeys()
    {
        QFETCH(long, key);
        QFETCH(bool, valid);
        LiveToolbar live;
        auto allModes = live.value<values::ValueSelection>("AllRecordReplayModes");
        allModes->AddItem(values::SelItemDesc(QStringLiteral("odd"), double(key), key));
        vrxtest::TraceCapture traces;
        allModes->SelectIndex(key, nullptr);
        settle();
        QCOMPARE(traces.contains(QStringLiteral("VorexToolbar::RecordReplayAllModesValueChanged::m_pRecordReplayAllModes->GetCurrentKey() delivered %1").arg(key)),
                 !valid);
        QCOMPARE(traces.contains(QStringLiteral("+ VorexToolbar::RecordReplayAllModesValueChanged::mode = eRecordReplayAllModes_Stopped ")),
                 valid);
        QVERIFY(settled(live));
    }
};

QTEST_MAIN(TestModes)
#include "tst_modes.moc"
