// How a live toolbar reports failures: errors the recorder manager writes
// into the channel's ErrorCode, replay commands the manager rejects, and the
// information box behind the channel error button.

#include "channelfixture.h"
#include "testsupport.h"
#include "toolbarlook.h"

#include <QtTest>

#include <memory>

using vrxtest::LiveToolbar;
using vrxtest::settle;
using VorexCommon::ErrorDescriptor;
using VorexSim::RecorderManagerSimulator;

namespace {

enum Mode : long { Replay = 0, ContinuousReplay = 1, Pause = 2, Record = 3, ContinuousRecord = 4, Stop = 5 };

const long kRunning = VOREX_XML::Admin::eReplayMode_Running;
const long kStopped = VOREX_XML::Admin::eReplayMode_Stopped;

// A replay running on channel 0, started by the operator or by the manager.
void startReplay(LiveToolbar& live, bool external)
{
    QVERIFY(vrxtest::selectSomeRecord(live));
    if (external)
        QVERIFY(live.simulator().TriggerExternalReplay(0, false));
    else
        live.select("RecordReplayModes", Replay);
    QTRY_COMPARE(live.simulator().ReplayMode(0), kRunning);
    settle();
    QCOMPARE(live.value<values::Value<bool>>("TriggeredByCorbaCall")->Get(), external);
    QCOMPARE(live.selection("RecordReplayModes"), long(Replay));
    QCOMPARE(vrxtest::look(live), vrxtest::replayLook());
}

// The responses of the toolbar's own operations, named by the channel's
// name. The channel connector names the channel's path in its own warnings
// about record data it cannot find; they are not this suite's business.
std::vector<ErrorDescriptor::CommandResponse> toolbarResponses()
{
    std::vector<ErrorDescriptor::CommandResponse> own;
    for (const ErrorDescriptor::CommandResponse& r : ErrorDescriptor::TakeResponses()) {
        if (!r.source.startsWith(QLatin1Char('/')))
            own.push_back(r);
    }
    return own;
}

QStringList messageTexts()
{
    QStringList texts;
    for (const MessageRecord& message : ErrorHandler::Instance()->TakeMessages()) {
        // Every message reaches the operator the same way.
        if (!message.flag1 || message.number != -1 || !message.flag2)
            texts << QStringLiteral("<bad arguments> ") + message.text;
        else
            texts << message.text;
    }
    return texts;
}

} // namespace

class TestErrorReporting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        vrxtest::failOnQtWarnings();
        m_answers = std::make_unique<vrxtest::DialogAnswers>();
    }

    void init()
    {
        ErrorDescriptor::ResetErrorTable();
        ErrorDescriptor::RegisterError(QStringLiteral("TEST_WARN_SILENT"), ErrorDescriptor::WARNING, false,
                                       QStringLiteral("A warning nobody sees."));
        ErrorDescriptor::RegisterError(QStringLiteral("TEST_ERR_SILENT"), ErrorDescriptor::ERROR, false,
                                       QStringLiteral("An error nobody sees."));
        ErrorDescriptor::RegisterError(QStringLiteral("TEST_INFO_SHOWN"), ErrorDescriptor::INFO, true,
                                       QStringLiteral("Information that is never shown."));
        ErrorHandler::Instance()->TakeMessages();
        ErrorDescriptor::TakeResponses();
    }

    void cleanup()
    {
        ErrorDescriptor::ResetErrorTable();
        ErrorHandler::Instance()->SetMessageDlg(nullptr);
        ErrorHandler::Instance()->SetMessageSink(nullptr);
    }

    // Each class of error, for a replay the operator started and for one
    // the manager started: shown unless it came from outside, and the
    // severe classes stop the activity after the message.
    void errorCodeClasses_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("external");
        QTest::addColumn<QString>("message"); // empty: none
        QTest::addColumn<bool>("stops");

        const struct
        {
            const char* key;
            const char* text;
            bool shown;
            bool stops;
        } errors[] = {
            {"VRX_INFO_RECORD_STARTED", "The recording has started.", false, false},
            {"TEST_INFO_SHOWN", "Information that is never shown.", false, false},
            {"VRX_WARN_DISC_ALMOST_FULL", "The recorder device is almost full.", true, false},
            {"TEST_WARN_SILENT", "A warning nobody sees.", false, false},
            {"VRX_ERR_DISC_FULL", "The recorder device is full. The activity was stopped.", true, true},
            {"TEST_ERR_SILENT", "An error nobody sees.", false, true},
            {"VRX_FATAL_INTERNAL", "The Vorex Manager reported an internal error.", true, true},
            {"VRX_NO_SUCH_ERROR", "", false, false},
        };
        for (const auto& error : errors) {
            for (bool external : {false, true}) {
                QTest::addRow("%s %s", error.key, external ? "external" : "operator")
                    << QString::fromLatin1(error.key) << external
                    << (error.shown && !external ? QString::fromLatin1(error.text) : QString()) << error.stops;
            }
        }
    }

    void errorCodeClasses()
    {
        QFETCH(QString, key);
        QFETCH(bool, external);
        QFETCH(QString, message);
        QFETCH(bool, stops);

        LiveToolbar live;
        startReplay(live, external);
        if (QTest::currentTestFailed())
            return;
        ErrorHandler::Instance()->TakeMessages();
        live.backend().ClearCommands();
        vrxtest::TraceCapture traces;
        // The operator reads the message before the activity is stopped.
        QList<long> modesWhenShown;
        ErrorHandler::Instance()->SetMessageSink(
            [&](const MessageRecord&) { modesWhenShown << live.selection("RecordReplayModes"); });

        live.simulator().SetErrorCode(0, key);
        settle();
        ErrorHandler::Instance()->SetMessageSink(nullptr);
        QCOMPARE(messageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(modesWhenShown, message.isEmpty() ? QList<long>() : QList<long>{long(Replay)});
        if (stops) {
            QTRY_COMPARE(live.simulator().ReplayMode(0), kStopped);
            settle();
            QCOMPARE(live.selection("RecordReplayModes"), long(Stop));
            QCOMPARE(live.backend().CommandCount(QStringLiteral("StopReplay")), 1);
            QCOMPARE(vrxtest::look(live), vrxtest::idleLook());
        } else {
            QCOMPARE(live.simulator().ReplayMode(0), kRunning);
            QCOMPARE(live.selection("RecordReplayModes"), long(Replay));
            QCOMPARE(live.backend().CommandCount(QStringLiteral("StopReplay")), 0);
        }
        QVERIFY(toolbarResponses().empty());

        const QStringList texts = traces.texts();
        QVERIFY(texts.contains(QStringLiteral("+ VorexToolbar::DisplayError %1").arg(key)));
        const bool known = key != QLatin1String("VRX_NO_SUCH_ERROR");
        QCOMPARE(texts.contains(
                     QStringLiteral("VorexToolbar::DisplayError : something went gravely wrong, ignoring error")),
                 !known);
        QCOMPARE(texts.contains(QStringLiteral("- VorexToolbar::DisplayError")), known);
        const QString landed = QStringLiteral("Landed in VorexToolbar::DisplayError and setting the activities to stopped : ");
        QCOMPARE(std::any_of(texts.begin(), texts.end(), [&](const QString& t) { return t.startsWith(landed); }), stops);
    }

    // An error during a recording stops the recording the same way.
    void severeErrorStopsARecording()
    {
        LiveToolbar live;
        QVERIFY(vrxtest::selectSomeRecord(live));
        live.select("RecordReplayModes", Record);
        QTRY_COMPARE(live.simulator().RecordReplayAllModes(0), 1L);
        settle();
        ErrorHandler::Instance()->TakeMessages();

        live.simulator().SetErrorCode(0, QStringLiteral("VRX_ERR_DEVICE_FAILURE"));
        QCOMPARE(messageTexts(), QStringList{QStringLiteral("The recorder device failed. The activity was stopped.")});
        QTRY_COMPARE(live.simulator().RecordReplayAllModes(0), 4L);
        settle();
        QCOMPARE(live.selection("RecordReplayModes"), long(Stop));
        QCOMPARE(vrxtest::look(live), vrxtest::idleLook());
    }

    // Without the trigger value the toolbar cannot know that the activity
    // came from outside, so it tells the operator.
    void missingTriggerValueShowsTheError()
    {
        LiveToolbar live;
        QVERIFY(vrxtest::selectSomeRecord(live));
        QVERIFY(values::Tree::Instance()->Release(live.key("TriggeredByCorbaCall")));
        vrxtest::TraceCapture traces(ErrorHandler::TraceWarnings);

        live.simulator().SetErrorCode(0, QStringLiteral("VRX_WARN_DISC_ALMOST_FULL"));
        settle();
        QCOMPARE(messageTexts(), QStringList{QStringLiteral("The recorder device is almost full.")});
        QVERIFY(traces.contains(QStringLiteral("m_pExternalTrigger is still null")));
    }

    // Without the mode value a severe error is still shown; there is
    // nothing to stop.
    void missingModeValueStillShowsSevereErrors()
    {
        LiveToolbar live;
        QVERIFY(values::Tree::Instance()->Release(live.key("RecordReplayModes")));
        settle();
        vrxtest::TraceCapture traces(ErrorHandler::TraceWarnings);

        live.simulator().SetErrorCode(0, QStringLiteral("VRX_ERR_DISC_FULL"));
        settle();
        QCOMPARE(messageTexts(), QStringList{QStringLiteral("The recorder device is full. The activity was stopped.")});
        QVERIFY(traces.contains(QStringLiteral("Landed in VorexToolbar::DisplayError and setting the activities to "
                                               "stopped : The recorder device is full. The activity was stopped.")));
        QVERIFY(!live.value<values::ValueSelection>("RecordReplayModes"));
    }

    // The manager refuses to stop a replay: the refusal is answered as this
    // toolbar's own failure, shown to the operator even when the replay came
    // from outside, and the toolbar ends stopped and usable.
    void managerRefusesToStopAReplay_data()
    {
        QTest::addColumn<bool>("external");
        QTest::newRow("operator's replay") << false;
        QTest::newRow("manager's replay") << true;
    }

    void managerRefusesToStopAReplay()
    {
        QFETCH(bool, external);
        LiveToolbar live;
        live.parent()->show();
        startReplay(live, external);
        if (QTest::currentTestFailed())
            return;
        ErrorHandler::Instance()->TakeMessages();
        live.simulator().FailNextReplayCommand(0, VorexSim::eResult_NoReplay);

        QWidget* stop = live.widget(QStringLiteral("VorexStop"));
        QVERIFY(stop->isEnabled());
        QTest::mouseClick(stop, Qt::LeftButton);
        settle();

        const QString text = VorexCommon::ToolbarHelper::ErrorId2Text(VorexSim::eResult_NoReplay, 1);
        QVERIFY(!text.isEmpty());
        const std::vector<ErrorDescriptor::CommandResponse> responses = toolbarResponses();
        QCOMPARE(int(responses.size()), 1);
        QCOMPARE(responses[0].classifier, int(ErrorDescriptor::ERROR));
        QCOMPARE(responses[0].source, QStringLiteral("Channel1"));
        QCOMPARE(responses[0].command, QStringLiteral("SetStopOnErrorFromServer"));
        QCOMPARE(responses[0].text, text);
        QCOMPARE(messageTexts(), QStringList{text});

        QCOMPARE(live.selection("RecordReplayModes"), long(Stop));
        QCOMPARE(vrxtest::BarStateLog::stateOf(live.bar()), QStringLiteral("on/arrow"));
    }

    // The error responses of the toolbar's own operations, each on the road
    // that leads to it: classifier, source, command and text, the message
    // the operator sees, and the mode the channel is left in.
    void errorResponses_data()
    {
        using VorexCommon::ToolbarHelper;
        QTest::addColumn<QString>("road");
        QTest::addColumn<QStringList>("responses"); // "classifier|command|text", source: the channel
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<long>("mode");

        const QString refused = ToolbarHelper::ErrorId2Text(VorexSim::eResult_NoReplay, 1);
        const QString rejectedStart = ToolbarHelper::ErrorId2Text(VorexSim::eResult_ChannelBusy, 1);
        auto response = [](int classifier, const char* command, const QString& text) {
            return QStringLiteral("%1|%2|%3").arg(classifier).arg(QLatin1String(command), text);
        };

        QTest::newRow("replay, no record, no dialog allowed")
            << QStringLiteral("replay without record") << QStringList{response(2, "PrepareForReplay", ToolbarHelper::ErrorId2Text(253, 0))}
            << QStringList{ToolbarHelper::ErrorId2Text(257, 0)} << long(Stop);
        QTest::newRow("continuous replay, no record, no dialog allowed")
            << QStringLiteral("continuous replay without record")
            << QStringList{response(2, "PrepareForContinuousReplay", ToolbarHelper::ErrorId2Text(254, 0))}
            << QStringList{ToolbarHelper::ErrorId2Text(257, 0)} << long(Stop);
        QTest::newRow("replay, record selection cancelled")
            << QStringLiteral("replay selection cancelled")
            << QStringList{response(2, "PrepareForReplay", ToolbarHelper::ErrorId2Text(253, 0))} << QStringList()
            << long(Stop);
        QTest::newRow("continuous record, dialog cancelled")
            << QStringLiteral("continuous record cancelled")
            << QStringList{response(2, "PrepareForContinuousRecord", ToolbarHelper::ErrorId2Text(256, 0))}
            << QStringList() << long(Stop);
        QTest::newRow("record during a continuous record")
            << QStringLiteral("record during continuous record")
            << QStringList{response(1, "",
                                    QStringLiteral("Cannot switch to record mode while continuous record is running! No "
                                                   "action will be performed"))}
            << QStringList() << 4L;
        QTest::newRow("continuous record during a record")
            << QStringLiteral("continuous record during record")
            << QStringList{response(1, "",
                                    QStringLiteral("Cannot switch to continuous record mode while record is running! No "
                                                   "action will be performed"))}
            << QStringList() << 3L;
        QTest::newRow("manager refuses the start") << QStringLiteral("start refused")
                                                   << QStringList{response(2, "SetStopOnErrorFromServer", rejectedStart)}
                                                   << QStringList{rejectedStart} << long(Stop);
        QTest::newRow("manager refuses to continue") << QStringLiteral("continue refused")
                                                     << QStringList{response(2, "SetStopOnErrorFromServer", refused)}
                                                     << QStringList{refused} << long(Stop);
    }

    void errorResponses()
    {
        QFETCH(QString, road);
        QFETCH(QStringList, responses);
        QFETCH(QStringList, messages);
        QFETCH(long, mode);

        LiveToolbar live;
        RecorderManagerSimulator& sim = live.simulator();
        if (road.endsWith(QLatin1String("without record"))) {
            live.toolbar()->SetFileOpenDialogAllowed(false);
            live.select("RecordReplayModes", road.startsWith(QLatin1String("continuous")) ? ContinuousReplay : Replay);
        } else if (road == QLatin1String("replay selection cancelled")) {
            live.select("RecordReplayModes", Replay); // the open-file answer hook cancels
        } else if (road == QLatin1String("continuous record cancelled")) {
            VorexGUI::RecordParameterDialog::SetAnswerHook([](VorexGUI::RecordParameterDialog&) { return 0; });
            live.select("RecordReplayModes", ContinuousRecord);
            settle();
            m_answers.reset();
            m_answers = std::make_unique<vrxtest::DialogAnswers>();
        } else if (road.startsWith(QLatin1String("record during")) || road.startsWith(QLatin1String("continuous record during"))) {
            const bool continuousFirst = road.startsWith(QLatin1String("record"));
            live.select("RecordReplayModes", continuousFirst ? ContinuousRecord : Record);
            QTRY_COMPARE(sim.RecordReplayAllModes(0), continuousFirst ? 2L : 1L);
            settle();
            ErrorDescriptor::TakeResponses();
            live.select("RecordReplayModes", continuousFirst ? Record : ContinuousRecord);
        } else if (road == QLatin1String("start refused")) {
            QVERIFY(vrxtest::selectSomeRecord(live));
            sim.FailNextReplayCommand(0, VorexSim::eResult_ChannelBusy);
            live.select("RecordReplayModes", Replay);
        } else if (road == QLatin1String("continue refused")) {
            startReplay(live, false);
            live.select("RecordReplayModes", Pause);
            QTRY_COMPARE(sim.ReplayMode(0), long(VOREX_XML::Admin::eReplayMode_Paused));
            settle();
            ErrorDescriptor::TakeResponses();
            ErrorHandler::Instance()->TakeMessages();
            sim.FailNextReplayCommand(0, VorexSim::eResult_NoReplay);
            live.select("RecordReplayModes", Replay);
        } else {
            QFAIL("unknown road");
        }
        settle();

        QStringList written;
        for (const ErrorDescriptor::CommandResponse& r : toolbarResponses()) {
            QCOMPARE(r.source, QStringLiteral("Channel1"));
            written << QStringLiteral("%1|%2|%3").arg(r.classifier).arg(r.command, r.text);
        }
        QCOMPARE(written, responses);
        QCOMPARE(messageTexts(), messages);
        QCOMPARE(live.selection("RecordReplayModes"), mode);
        QCOMPARE(vrxtest::BarStateLog::stateOf(live.bar()), QStringLiteral("on/arrow"));
    }

    // The information box carries the host's caption when the host has a
    // message dialog, and only the Ok button.
    void informationBoxCaption_data()
    {
        QTest::addColumn<bool>("hostDialog");
        QTest::newRow("own caption") << false;
        QTest::newRow("host caption") << true;
    }

    void informationBoxCaption()
    {
        QFETCH(bool, hostDialog);
        QWidget dialog;
        dialog.setWindowTitle(QStringLiteral("Host messages"));
        if (hostDialog)
            ErrorHandler::Instance()->SetMessageDlg(&dialog);

        LiveToolbar live;
        live.toolbar()->SetChannelError(-5);
        QAction* error = live.action(QStringLiteral("Error information"));
        vrxtest::MessageBoxAnswer answer;
        error->trigger();
        QVERIFY(answer.answered());
        QCOMPARE(answer.title(), hostDialog ? QStringLiteral("Host messages") : QStringLiteral("Vorex toolbar"));
        QCOMPARE(answer.text(), QStringLiteral("Vorex toolbar is deactivated because of internal errors."));
        QCOMPARE(answer.buttons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        ErrorHandler::Instance()->SetMessageDlg(nullptr);
    }

private:
    std::unique_ptr<vrxtest::DialogAnswers> m_answers;
};

QTEST_MAIN(TestErrorReporting)
#include "tst_errorreporting.moc"
