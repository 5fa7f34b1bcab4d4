// Which controls of a live toolbar the operator may use: the look of every
// settled state, the transient states, each input on its own, the channel
// error and the user rights.

#include "testsupport.h"
#include "toolbarlook.h"
#include "umm.h"

#include <QtTest>

#include <functional>
#include <memory>

using vrxtest::BarStateLog;
using vrxtest::LiveToolbar;
using vrxtest::look;
using vrxtest::settle;
using vrxtest::without;
using VorexSim::RecorderManagerSimulator;

namespace {

const QString kHistoryRight = QStringLiteral("VOREX_MANAGEMENT.addHistoryComment");
const QString kOpenFileRight = QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg");

// Mode keys of RecordReplayModes.
enum Mode : long { Replay = 0, ContinuousReplay = 1, Pause = 2, Record = 3, ContinuousRecord = 4, Stop = 5 };

// Drives a live toolbar along the operator's road into a settled state, with
// a record selected. "idle", "recording", "continuous recording", "replay",
// "continuous replay", "paused".
void reach(LiveToolbar& live, const QString& state)
{
    QVERIFY(vrxtest::selectSomeRecord(live));
    QCOMPARE(look(live), vrxtest::idleLook());
    RecorderManagerSimulator& sim = live.simulator();
    if (state == QLatin1String("recording") || state == QLatin1String("continuous recording")) {
        const bool continuous = state.startsWith(QLatin1String("continuous"));
        live.select("RecordReplayModes", continuous ? ContinuousRecord : Record);
        QTRY_COMPARE(sim.RecordReplayAllModes(0), continuous ? 2L : 1L);
    } else if (state == QLatin1String("replay") || state == QLatin1String("continuous replay")
               || state == QLatin1String("paused")) {
        live.select("RecordReplayModes", state == QLatin1String("continuous replay") ? ContinuousReplay : Replay);
        QTRY_COMPARE(sim.ReplayMode(0), long(VOREX_XML::Admin::eReplayMode_Running));
        if (state == QLatin1String("paused")) {
            settle();
            live.select("RecordReplayModes", Pause);
            QTRY_COMPARE(sim.ReplayMode(0), long(VOREX_XML::Admin::eReplayMode_Paused));
        }
    } else {
        QCOMPARE(state, QStringLiteral("idle"));
    }
    settle();
}

QString expectedLook(const QString& state)
{
    if (state.contains(QLatin1String("recording")))
        return vrxtest::recordingLook();
    if (state.contains(QLatin1String("replay")) || state == QLatin1String("paused"))
        return vrxtest::replayLook();
    return vrxtest::idleLook();
}

// One input of the enablement rules, switched to "forbid" (on = false) or
// back to "allow" (on = true), as its real source does it.
void switchInput(LiveToolbar& live, const QString& input, bool on)
{
    RecorderManagerSimulator& sim = live.simulator();
    if (input == QLatin1String("host switch")) {
        live.toolbar()->EnableVorexToolbar(on);
    } else if (input == QLatin1String("host replay switch")) {
        live.toolbar()->EnableVorexReplay(on);
    } else if (input == QLatin1String("record dialog allowed")) {
        live.toolbar()->SetFileOpenDialogAllowed(on);
    } else if (input == QLatin1String("RecordFlag")) {
        sim.SetFlag(0, RecorderManagerSimulator::RecordFlag, on);
    } else if (input == QLatin1String("ReplayFlag")) {
        sim.SetFlag(0, RecorderManagerSimulator::ReplayFlag, on);
    } else if (input == QLatin1String("both flags")) {
        sim.SetFlag(0, RecorderManagerSimulator::RecordFlag, on);
        sim.SetFlag(0, RecorderManagerSimulator::ReplayFlag, on);
    } else if (input == QLatin1String("RecordFlag state")) {
        sim.SetFlagState(0, RecorderManagerSimulator::RecordFlag, on ? 0 : 2);
    } else if (input == QLatin1String("ReplayFlag state")) {
        sim.SetFlagState(0, RecorderManagerSimulator::ReplayFlag, on ? 0 : 2);
    } else if (input == QLatin1String("PauseSupported")) {
        sim.SetFlag(0, RecorderManagerSimulator::PauseSupported, on);
    } else if (input == QLatin1String("connection")) {
        sim.SetConnected(on);
    } else if (input == QLatin1String("channel error")) {
        live.toolbar()->SetChannelError(on ? 0 : 3);
    } else if (input == QLatin1String("history right") || input == QLatin1String("record dialog right")) {
        RecorderManagerSimulator::SetUserRight(input.startsWith(QLatin1String("history")) ? kHistoryRight
                                                                                           : kOpenFileRight,
                                               on ? 1 : 0);
        RecorderManagerSimulator::SendUserEvent(QStringLiteral("User changed"));
    } else if (input == QLatin1String("record selected")) {
        if (on) {
            QVERIFY(vrxtest::selectSomeRecord(live));
        } else {
            auto device = live.value<values::Value<QString>>("DeviceID");
            sim.SelectRecord(0, device->Get(), QString());
        }
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown input %1").arg(input)));
    }
    settle();
}

} // namespace

class TestEnablement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        vrxtest::failOnQtWarnings();
        m_answers = std::make_unique<vrxtest::DialogAnswers>();
    }

    void cleanup()
    {
        UMM::ActiveUserProxy::instance()->Clear();
        ErrorHandler::Instance()->TakeMessages();
        VorexCommon::ErrorDescriptor::TakeResponses();
    }

    // Each settled state reached through the operator's road shows its look,
    // and every road to it passed through the disabled bar with the wait
    // cursor and left it enabled with the plain cursor.
    void settledLooks_data()
    {
        QTest::addColumn<QString>("state");
        for (const char* state :
             {"idle", "recording", "continuous recording", "replay", "continuous replay", "paused"})
            QTest::newRow(state) << QString::fromLatin1(state);
    }

    void settledLooks()
    {
        QFETCH(QString, state);
        LiveToolbar live;
        BarStateLog log(live.bar());
        reach(live, state);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(look(live), expectedLook(state));
        QCOMPARE(BarStateLog::stateOf(live.bar()), QStringLiteral("on/arrow"));
        if (state != QLatin1String("idle")) {
            QVERIFY2(log.entries().contains(QStringLiteral("off/wait")), qPrintable(log.entries().join(", ")));
            QCOMPARE(log.entries().last(), QStringLiteral("on/arrow"));
        }
        QVERIFY(ErrorHandler::Instance()->TakeMessages().empty());
    }

    // The recorder manager moving a state on: each transient state shows the
    // disabled bar with the wait cursor, whatever the controls' own states,
    // and the state that follows gives the bar back.
    void transientStates()
    {
        LiveToolbar live;
        QVERIFY(vrxtest::selectSomeRecord(live));
        QToolBar* bar = live.bar();

        // Record requested (the manager reacts later, from the event loop).
        live.select("AllRecordReplayModes", VOREX_XML::Admin::eRecordReplayAllModes_Startrecord);
        QCOMPARE(BarStateLog::stateOf(bar), QStringLiteral("off/wait"));
        QTRY_COMPARE(live.simulator().RecordReplayAllModes(0), 1L);
        settle();
        QCOMPARE(BarStateLog::stateOf(bar), QStringLiteral("on/arrow"));

        live.select("AllRecordReplayModes", VOREX_XML::Admin::eRecordReplayAllModes_Recordreplaystopped);
        QCOMPARE(BarStateLog::stateOf(bar), QStringLiteral("off/wait"));
        QTRY_COMPARE(live.simulator().RecordReplayAllModes(0), 4L);
        settle();
        QCOMPARE(BarStateLog::stateOf(bar), QStringLiteral("on/arrow"));
        QCOMPARE(look(live), vrxtest::idleLook());

        // Replay states as the manager reports them.
        const struct
        {
            VOREX_XML::Admin::ReplayMode mode;
            const char* expected;
        } replayRoad[] = {
            {VOREX_XML::Admin::eReplayMode_Starting, "off/wait"},
            {VOREX_XML::Admin::eReplayMode_Running, "on/arrow"},
            {VOREX_XML::Admin::eReplayMode_Pausing, "off/wait"},
            {VOREX_XML::Admin::eReplayMode_Paused, "on/arrow"},
            {VOREX_XML::Admin::eReplayMode_Stopping, "off/wait"},
            {VOREX_XML::Admin::eReplayMode_Stopped, "on/arrow"},
        };
        for (const auto& step : replayRoad) {
            live.select("ReplayMode", step.mode);
            settle();
            QVERIFY2(BarStateLog::stateOf(bar) == QLatin1String(step.expected),
                     qPrintable(QStringLiteral("replay mode %1: %2").arg(step.mode).arg(BarStateLog::stateOf(bar))));
        }
        QCOMPARE(look(live), vrxtest::idleLook());
    }

    // One input at a time, from a settled state: exactly the controls whose
    // rule names the input go, and come back when the input allows again.
    void eachInputOnItsOwn_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("forbidden"); // the look with the input forbidding
        QTest::addColumn<bool>("barEnabled");

        const QString idle = vrxtest::idleLook();
        const QString replay = vrxtest::replayLook();
        const QString recording = vrxtest::recordingLook();
        auto row = [](const QString& state, const QString& input, const QString& forbidden, bool barEnabled) {
            QTest::addRow("%s: %s", qPrintable(state), qPrintable(input)) << state << input << forbidden << barEnabled;
        };

        // The host's switch takes the whole bar; the rules run again and leave
        // only what the state machine governs (the replay bar).
        row("idle", "host switch", "replayBar", false);
        row("idle", "host replay switch", without(idle, {"replay", "openFile"}), true);
        row("idle", "record dialog allowed", without(idle, {"openFile"}), true);
        row("idle", "record dialog right", without(idle, {"openFile"}), true);
        row("idle", "history right", without(idle, {"history"}), true);
        row("idle", "RecordFlag", without(idle, {"record"}), true);
        row("idle", "ReplayFlag", without(idle, {"replay", "openFile"}), true);
        row("idle", "RecordFlag state", without(idle, {"record"}), true);
        row("idle", "ReplayFlag state", without(idle, {"replay", "openFile"}), true);
        // History needs one of the two activities.
        row("idle", "both flags", without(idle, {"record", "replay", "openFile", "history"}), true);
        row("idle", "record selected", without(idle, {"edit", "history"}), true);
        // A lost connection stops and disables the bar, and the rules run
        // again without it: a later mode change that enables the bar must
        // not give back controls for a channel nobody serves.
        row("idle", "connection", "replayBar", false);
        row("idle", "channel error", QString(), true);
        // Pause is idle's business only while a replay runs.
        row("idle", "PauseSupported", idle, true);

        row("replay", "PauseSupported", without(replay, {"pause"}), true);
        row("replay", "ReplayFlag", without(replay, {"replay"}), true);
        row("replay", "record selected", without(replay, {"edit", "history"}), true);
        row("replay", "channel error", QString(), true);
        // A paused replay can always be resumed.
        row("paused", "ReplayFlag", replay, true);
        row("paused", "ReplayFlag state", without(replay, {"replay"}), true);
        row("paused", "PauseSupported", without(replay, {"pause"}), true);

        row("recording", "RecordFlag", without(recording, {"record"}), true);
        // Stop needs an activity that is allowed with a valid flag.
        row("recording", "both flags", QString(), true);
        row("recording", "channel error", QString(), true);
    }

    void eachInputOnItsOwn()
    {
        QFETCH(QString, state);
        QFETCH(QString, input);
        QFETCH(QString, forbidden);
        QFETCH(bool, barEnabled);

        LiveToolbar live;
        reach(live, state);
        if (QTest::currentTestFailed())
            return;
        const QString before = look(live);
        QCOMPARE(before, expectedLook(state));

        switchInput(live, input, false);
        QCOMPARE(look(live), forbidden);
        QCOMPARE(live.bar()->isEnabled(), barEnabled);

        switchInput(live, input, true);
        // The record list went with the connection, and with it the
        // channel's current record: history and edit wait for a new
        // selection.
        if (input == QLatin1String("connection"))
            QCOMPARE(look(live), without(before, {"edit", "history"}));
        else
            QCOMPARE(look(live), before);
        QVERIFY(live.bar()->isEnabled());
    }

    // The channel error takes every control but the information button,
    // also the actions themselves, and survives the host's switch; clearing
    // it gives the look of the state back.
    void channelErrorSetAndCleared_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("idle") << QStringLiteral("idle");
        QTest::newRow("recording") << QStringLiteral("recording");
        QTest::newRow("replay") << QStringLiteral("replay");
    }

    void channelErrorSetAndCleared()
    {
        QFETCH(QString, state);
        LiveToolbar live;
        live.parent()->show();
        reach(live, state);
        if (QTest::currentTestFailed())
            return;
        QToolBar* bar = live.bar();
        QAction* error = live.action(QStringLiteral("Error information"));
        QWidget* errorButton = bar->widgetForAction(error);

        live.toolbar()->SetChannelError(1);
        QWidget* replayBar = live.widget(QStringLiteral("VorexToolbarReplayBarWidget"));
        auto checkDeactivated = [&]() {
            QVERIFY(bar->isEnabled());
            QVERIFY(error->isVisible());
            QVERIFY(errorButton->isVisible());
            QVERIFY(errorButton->isEnabled());
            for (QWidget* child : bar->findChildren<QWidget*>()) {
                if (child != errorButton && child != replayBar && !replayBar->isAncestorOf(child))
                    QVERIFY2(!child->isEnabled(), qPrintable(child->objectName()));
            }
            QVERIFY(!replayBar->isEnabled());
            // Nothing can trigger the actions behind the disabled buttons.
            for (const char* name : {"VorexOpenFile", "VorexAddHistoryComment", "TBEditRecording"})
                QVERIFY2(!bar->findChild<QAction*>(QLatin1String(name))->isEnabled(), name);
        };
        checkDeactivated();
        live.toolbar()->EnableVorexToolbar(true);
        checkDeactivated();
        // Manager flags changing underneath change nothing either.
        live.simulator().SetFlag(0, RecorderManagerSimulator::ReplayFlag, true);
        live.simulator().SetFlag(0, RecorderManagerSimulator::RecordFlag, true);
        settle();
        checkDeactivated();

        live.toolbar()->SetChannelError(0);
        settle();
        QVERIFY(!error->isVisible());
        QVERIFY(errorButton->isHidden());
        QVERIFY(!errorButton->isEnabled());
        QCOMPARE(look(live), expectedLook(state));
        for (const char* name : {"VorexToolbarDiscSpace", "VorexToolbarRecordCounter", "VorexRecordName"})
            QVERIFY2(live.widget(QLatin1String(name))->isEnabled(), name);
    }

    // Cleared while the host keeps the bar off, the information button stays
    // until the bar is enabled again.
    void channelErrorClearedWhileTheHostSwitchIsOff()
    {
        LiveToolbar live;
        live.parent()->show();
        QVERIFY(vrxtest::selectSomeRecord(live));
        QAction* error = live.action(QStringLiteral("Error information"));
        vrxtest::TraceCapture traces(ErrorHandler::TraceWarnings);

        // Set while the host keeps the bar off: the information button must
        // still be usable.
        live.toolbar()->EnableVorexToolbar(false);
        QVERIFY(!live.bar()->isEnabled());
        live.toolbar()->SetChannelError(2);
        QVERIFY(live.bar()->isEnabled());
        QVERIFY(live.bar()->widgetForAction(error)->isEnabled());
        live.toolbar()->SetChannelError(0);
        QVERIFY(!live.bar()->isEnabled());
        QVERIFY(error->isVisible());

        live.toolbar()->EnableVorexToolbar(true);
        settle();
        QVERIFY(live.bar()->isEnabled());
        QVERIFY(!error->isVisible());
        QCOMPARE(look(live), vrxtest::idleLook());

        QVERIFY(traces.contains(QStringLiteral(
            "VorexToolbar::SetChannelError called with Vorex toolbar is deactivated because the registration at the "
            "Vorex Manager failed.")));
        QVERIFY(traces.contains(
            QStringLiteral("VorexToolbar::SetChannelError called with NO ERROR. Everything honky dory!")));
    }

    // A channel that the manager deletes and builds again, bound again by
    // the host, comes back with the widgets that the deletion switched off.
    void deletedChannelComesBack()
    {
        LiveToolbar live;
        QVERIFY(vrxtest::selectSomeRecord(live));
        live.simulator().DeleteChannel(0);
        settle();
        QCOMPARE(look(live), QString());
        for (const char* name : {"VorexToolbarDiscSpace", "VorexToolbarRecordCounter", "VorexToolbarReplayBarWidget"})
            QVERIFY2(!live.widget(QLatin1String(name))->isEnabled(), name);

        live.simulator().RecreateChannel(0);
        settle();
        QVERIFY(live.toolbar()->SetChannelId_ValuePath(live.ChannelPath(0)));
        settle();
        QVERIFY(vrxtest::selectSomeRecord(live));
        for (const char* name : {"VorexToolbarDiscSpace", "VorexToolbarRecordCounter", "VorexToolbarReplayBarWidget"})
            QVERIFY2(live.widget(QLatin1String(name))->isEnabled(), name);
        QCOMPARE(look(live), vrxtest::idleLook());
    }

    // Inputs that change while the toolbar does not hear of them directly:
    // the look must follow the values all the same, and come back when they
    // allow again.
    void unheardChanges_data()
    {
        QTest::addColumn<QString>("road");
        for (const char* road : {"mode change after a lost connection", "flag invalid, then disabled",
                                 "PauseSupported invalid while replaying", "dialog allowed without ReplayFlag",
                                 "stop of a replay refused", "replay refused during a record",
                                 "ReplayMode invalid, then a replay", "rebuilt channel deleted again"})
            QTest::newRow(road) << QString::fromLatin1(road);
    }

    void unheardChanges()
    {
        QFETCH(QString, road);
        LiveToolbar live;
        RecorderManagerSimulator& sim = live.simulator();
        const QString idle = vrxtest::idleLook();
        if (road == QLatin1String("mode change after a lost connection")) {
            reach(live, QStringLiteral("idle"));
            sim.SetConnected(false);
            settle();
            // The manager's last words enable the bar again; nothing may be
            // usable on a channel nobody serves.
            live.select("ReplayMode", VOREX_XML::Admin::eReplayMode_Running);
            live.select("ReplayMode", VOREX_XML::Admin::eReplayMode_Stopped);
            settle();
            QVERIFY(live.bar()->isEnabled());
            QCOMPARE(look(live), QStringLiteral("replayBar"));
            sim.SetConnected(true);
            settle();
            QCOMPARE(look(live), without(idle, {"edit", "history"}));
        } else if (road == QLatin1String("flag invalid, then disabled")) {
            reach(live, QStringLiteral("idle"));
            sim.SetFlagState(0, RecorderManagerSimulator::RecordFlag, 1);
            settle();
            QCOMPARE(look(live), without(idle, {"record"}));
            sim.SetFlagState(0, RecorderManagerSimulator::RecordFlag, 2);
            sim.SetFlag(0, RecorderManagerSimulator::RecordFlag, true);
            settle();
            QCOMPARE(look(live), without(idle, {"record"}));
            sim.SetFlagState(0, RecorderManagerSimulator::RecordFlag, 0);
            settle();
            QCOMPARE(look(live), idle);
        } else if (road == QLatin1String("PauseSupported invalid while replaying")) {
            reach(live, QStringLiteral("replay"));
            sim.SetFlagState(0, RecorderManagerSimulator::PauseSupported, 1);
            settle();
            QCOMPARE(look(live), without(vrxtest::replayLook(), {"pause"}));
            sim.SetFlagState(0, RecorderManagerSimulator::PauseSupported, 0);
            settle();
            QCOMPARE(look(live), vrxtest::replayLook());
        } else if (road == QLatin1String("dialog allowed without ReplayFlag")) {
            reach(live, QStringLiteral("idle"));
            switchInput(live, QStringLiteral("ReplayFlag"), false);
            live.toolbar()->SetFileOpenDialogAllowed(true);
            RecorderManagerSimulator::SendUserEvent(QStringLiteral("User changed"));
            settle();
            QCOMPARE(look(live), without(idle, {"replay", "openFile"}));
        } else if (road == QLatin1String("stop of a replay refused")) {
            reach(live, QStringLiteral("replay"));
            sim.FailNextReplayCommand(0, 7);
            live.select("RecordReplayModes", Stop);
            settle();
            QCOMPARE(ErrorHandler::Instance()->TakeMessages().size(), size_t(1));
            // Back in the stopped state as far as the toolbar is concerned:
            // stop is not offered in mode 5.
            QCOMPARE(live.value<values::ValueSelection>("RecordReplayModes")->GetCurrentKey(), long(Stop));
            QVERIFY(!look(live).contains(QLatin1String("stop")));
        } else if (road == QLatin1String("ReplayMode invalid, then a replay")) {
            reach(live, QStringLiteral("idle"));
            auto replayMode = live.value<values::ValueSelection>("ReplayMode");
            replayMode->SetState(values::eStateInvalid, nullptr);
            settle();
            // Unknown whether a replay runs: nothing to offer meanwhile.
            QCOMPARE(look(live), QStringLiteral("replayBar"));
            replayMode->SetState(values::eStateNormal, nullptr);
            settle();
            QCOMPARE(look(live), idle);
            // Followed again: a replay started elsewhere shows as such.
            QVERIFY(sim.TriggerExternalReplay(0, false));
            QTRY_COMPARE(sim.ReplayMode(0), long(VOREX_XML::Admin::eReplayMode_Running));
            settle();
            QCOMPARE(look(live), vrxtest::replayLook());
        } else if (road == QLatin1String("replay refused during a record")) {
            reach(live, QStringLiteral("idle"));
            // A record the manager runs while the mode still says stop; the
            // rules run there, then a replay request is refused and the
            // record's mode restored.
            live.select("AllRecordReplayModes", VOREX_XML::Admin::eRecordReplayAllModes_Record);
            settle();
            live.toolbar()->SetFileOpenDialogAllowed(true);
            live.select("RecordReplayModes", Replay);
            settle();
            QCOMPARE(live.value<values::ValueSelection>("RecordReplayModes")->GetCurrentKey(), long(Record));
            const QString now = look(live);
            const QStringList usable = now.split(QLatin1Char(' '));
            QVERIFY2(!usable.contains(QLatin1String("openFile")) && !usable.contains(QLatin1String("replay"))
                         && usable.contains(QLatin1String("stop")),
                     qPrintable(now));
        } else {
            reach(live, QStringLiteral("idle"));
            sim.DeleteChannel(0);
            sim.RecreateChannel(0);
            // Bound again by the next connection, not by the host.
            sim.SetConnected(false);
            sim.SetConnected(true);
            settle();
            QCOMPARE(look(live), without(idle, {"edit", "history"}));
            sim.DeleteChannel(0);
            settle();
            QCOMPARE(look(live), QString());
            QVERIFY(!live.widget(QStringLiteral("VorexToolbarRecordCounter"))->isEnabled());
        }
    }

    // The host's refusal of the record selection dialog holds while other
    // inputs make the rules run again with replay allowed.
    void refusedRecordDialogStaysRefused()
    {
        LiveToolbar live;
        QVERIFY(vrxtest::selectSomeRecord(live));
        live.toolbar()->SetFileOpenDialogAllowed(false);
        const QString refused = without(vrxtest::idleLook(), {"openFile"});
        QCOMPARE(look(live), refused);

        live.toolbar()->EnableVorexReplay(true);
        QCOMPARE(look(live), refused);
        switchInput(live, QStringLiteral("ReplayFlag"), false);
        switchInput(live, QStringLiteral("ReplayFlag"), true);
        QCOMPARE(look(live), refused);
        // A whole recording and back to idle.
        live.select("RecordReplayModes", Record);
        QTRY_COMPARE(live.simulator().RecordReplayAllModes(0), 1L);
        settle();
        live.select("RecordReplayModes", Stop);
        QTRY_COMPARE(live.simulator().RecordReplayAllModes(0), 4L);
        settle();
        QCOMPARE(look(live), refused);

        live.toolbar()->SetFileOpenDialogAllowed(true);
        QCOMPARE(look(live), vrxtest::idleLook());
    }

    // Only the three user-management events make the toolbar ask for the
    // rights again.
    void rightsEventsWithOtherTexts_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<bool>("asksAgain");
        QTest::newRow("logged on") << QStringLiteral("User logged on") << true;
        QTest::newRow("changed") << QStringLiteral("User changed") << true;
        QTest::newRow("same account") << QStringLiteral("Login to same account - ignoring") << true;
        QTest::newRow("logged off") << QStringLiteral("User logged off") << false;
        QTest::newRow("other case") << QStringLiteral("user changed") << false;
        QTest::newRow("empty") << QString() << false;
    }

    void rightsEventsWithOtherTexts()
    {
        QFETCH(QString, event);
        QFETCH(bool, asksAgain);
        LiveToolbar live;
        QVERIFY(vrxtest::selectSomeRecord(live));
        QCOMPARE(look(live), vrxtest::idleLook());

        RecorderManagerSimulator::SetUserRight(kHistoryRight, 0);
        RecorderManagerSimulator::SetUserRight(kOpenFileRight, 0);
        RecorderManagerSimulator::SendUserEvent(event);
        settle();
        QCOMPARE(look(live), asksAgain ? without(vrxtest::idleLook(), {"openFile", "history"}) : vrxtest::idleLook());
    }

private:
    std::unique_ptr<vrxtest::DialogAnswers> m_answers;
};

QTEST_MAIN(TestEnablement)
#include "tst_enablement.moc"
