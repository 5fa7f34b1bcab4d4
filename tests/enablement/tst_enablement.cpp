// Which controls of a live toolbar the operator may use, and how it reports
// failures: errors the manager writes into ErrorCode, commands it refuses,
// requests the toolbar refuses itself, and the channel error.

#include "toolbarlook.h"

using namespace vrxtest;
using VorexCommon::ErrorDescriptor;
using VorexCommon::ToolbarHelper;

class TestEnablement : public QObject
{
    Q_OBJECT
    std::unique_ptr<Fixture> f;

private slots:
    void initTestCase() { failOnQtWarnings(); }
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { tearDown(f); }

    // One input at a time from a settled state (reached without a message):
    // exactly the controls whose rule names the input go, and come back when
    // the steps after "|" allow again.
    void eachInputOnItsOwn_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("forbid");
        QTest::addColumn<QStringList>("allow");
        QTest::addColumn<QString>("forbidden");
        QTest::addColumn<bool>("barEnabled");
        QTest::addColumn<QString>("again");
        const QString idle = idleLook(), replay = replayLook(), recording = recordingLook();
        auto row = [](const char* state, const char* steps, const QString& look, bool bar = true, QString again = {}) {
            const QStringList both = QString::fromLatin1(steps).split(QStringLiteral(" | "));
            QTest::addRow("%s: %s", state, qPrintable(both[0])) << QString::fromLatin1(state) << both[0].split(", ")
                << both[1].split(", ") << look << bar << (again.isNull() ? lookOf(QLatin1String(state)) : again);
        };
        // The host's switch takes the whole bar; only the replay bar is the
        // state machine's.
        row("idle", "bar off | bar on", "replayBar", false);
        row("idle", "replaying off | replaying on", without(idle, {"replay", "openFile"}));
        row("idle", "dialog off | dialog on", without(idle, {"openFile"}));
        row("idle", "selection 0, event User changed | selection 1, event User changed", without(idle, {"openFile"}));
        row("idle", "history 0, event User changed | history 1, event User changed", without(idle, {"history"}));
        row("idle", "RecordFlag off | RecordFlag on", without(idle, {"record"}));
        row("idle", "ReplayFlag off | ReplayFlag on", without(idle, {"replay", "openFile"}));
        row("idle", "RecordFlag state 2 | RecordFlag state 0", without(idle, {"record"}));
        row("idle", "ReplayFlag state 2 | ReplayFlag state 0", without(idle, {"replay", "openFile"}));
        // History needs one of the two activities.
        row("idle", "RecordFlag off, ReplayFlag off | RecordFlag on, ReplayFlag on",
            without(idle, {"record", "replay", "openFile", "history"}));
        row("idle", "unselect | select", without(idle, {"edit", "history"}));
        // Nothing is usable on a channel nobody serves; the record list, and
        // with it the current record, goes with the connection.
        row("idle", "connection off | connection on", "replayBar", false, without(idle, {"edit", "history"}));
        row("idle", "channel error 3 | channel error 0", QString());
        // Pause is idle's business only while a replay runs.
        row("idle", "PauseSupported off | PauseSupported on", idle);
        row("replay", "PauseSupported off | PauseSupported on", without(replay, {"pause"}));
        row("replay", "ReplayFlag off | ReplayFlag on", without(replay, {"replay"}));
        row("replay", "unselect | select", without(replay, {"edit", "history"}));
        row("replay", "channel error 3, bar on, ReplayFlag on, RecordFlag on | channel error 0", QString());
        // A paused replay can always be resumed.
        row("paused", "ReplayFlag off | ReplayFlag on", replay);
        row("paused", "ReplayFlag state 2 | ReplayFlag state 0", without(replay, {"replay"}));
        row("paused", "PauseSupported off | PauseSupported on", without(replay, {"pause"}));
        row("recording", "RecordFlag off | RecordFlag on", without(recording, {"record"}));
        // Stop needs an activity that is allowed with a valid flag.
        row("recording", "RecordFlag off, ReplayFlag off | RecordFlag on, ReplayFlag on", QString());
        row("recording", "channel error 3, bar on, ReplayFlag on, RecordFlag on | channel error 0", QString());
    }
    void eachInputOnItsOwn()
    {
        QFETCH(QString, state);
        QFETCH(QStringList, forbid);
        QFETCH(QStringList, allow);
        QFETCH(QString, forbidden);
        QFETCH(bool, barEnabled);
        QFETCH(QString, again);
        run(*f, roadTo(state));
        QCOMPARE(look(f->live) + messages().join(' '), lookOf(state));
        run(*f, forbid);
        QCOMPARE(look(f->live), forbidden);
        QCOMPARE(f->live.bar()->isEnabled(), barEnabled);
        run(*f, allow);
        QCOMPARE(look(f->live), again);
        QVERIFY(f->live.bar()->isEnabled());
    }

    // Inputs the toolbar does not hear of directly, and roads that make the
    // rules run again: the look follows the values all the same.
    void roads_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        const QString idle = idleLook();
        auto row = [](const char* name, const char* steps, const QString& look) {
            QTest::newRow(name) << QString::fromLatin1(steps).split(", ") << look;
        };
        // The manager's last words enable the bar again: nothing may be usable.
        row("mode change after a lost connection", "select, connection off, set ReplayMode 4, set ReplayMode 0", "replayBar");
        row("... and the connection back", "select, connection off, set ReplayMode 4, set ReplayMode 0, connection on",
            without(idle, {"edit", "history"}));
        row("flag invalid", "select, RecordFlag state 1", without(idle, {"record"}));
        row("flag disabled while invalid", "select, RecordFlag state 2, RecordFlag on", without(idle, {"record"}));
        row("flag valid again", "select, RecordFlag state 2, RecordFlag on, RecordFlag state 0", idle);
        row("PauseSupported invalid while replaying", "select, replay, PauseSupported state 1", without(replayLook(), {"pause"}));
        row("PauseSupported valid again", "select, replay, PauseSupported state 1, PauseSupported state 0", replayLook());
        row("dialog allowed without ReplayFlag", "select, ReplayFlag off, dialog on, event User changed",
            without(idle, {"replay", "openFile"}));
        // A record the manager runs while the mode still says stop: a replay
        // request is refused and the record's look kept.
        row("replay refused during a record", "select, set AllRecordReplayModes 1, dialog on, host replay", recordingLook());
        // Unknown whether a replay runs: nothing to offer meanwhile.
        row("ReplayMode invalid", "select, invalid ReplayMode", "replayBar");
        row("ReplayMode valid again", "select, invalid ReplayMode, valid ReplayMode", idle);
        row("... then a replay from outside", "select, invalid ReplayMode, valid ReplayMode, external replay", replayLook());
        // Bound again by the next connection, not by the host.
        row("rebuilt channel", "select, delete channel, recreate channel, connection off, connection on",
            without(idle, {"edit", "history"}));
        row("rebuilt channel deleted again",
            "select, delete channel, recreate channel, connection off, connection on, delete channel", QString());
        // The host's refusal of the record selection holds while other inputs
        // make the rules run again.
        row("selection refused", "select, dialog off, replaying on, ReplayFlag off, ReplayFlag on, record, stop",
            without(idle, {"openFile"}));
        row("selection allowed again", "select, dialog off, record, stop, dialog on", idle);
        row("new record after a recording", "select, record, stop", idle);
        row("record removed on the manager", "select, record, stop, remove last record", without(idle, {"edit"}));
        // Only the three user-management events make the toolbar ask again;
        // access level 2 allows as 1 does.
        for (const char* event : {"User logged on", "User changed", "Login to same account - ignoring"}) {
            const QString heard = QStringLiteral("event %1").arg(event);
            QTest::addRow("rights withdrawn, %s", event) << QStringList{"select", "rights 0", heard}
                                                         << without(idle, {"openFile", "history"});
            QTest::addRow("access level 2, %s", event) << QStringList{"select", "rights 0", heard, "rights 2", heard} << idle;
        }
        for (const char* event : {"User logged off", "user changed", "Password expires soon"})
            QTest::addRow("rights withdrawn, %s", event) << QStringList{"select", "rights 0", QStringLiteral("event %1").arg(event)}
                                                         << idle;
        row("rights withdrawn, empty event", "select, rights 0, event ", idle);
    }
    void roads()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        run(*f, steps);
        QCOMPARE(look(f->live), expected);
    }

    // A right withdrawn before the toolbar is built holds once the host
    // binds it (without allowing the record selection itself).
    void rightWithdrawnBeforeTheToolbarIsBuilt()
    {
        f.reset();
        RecorderManagerSimulator::SetUserRight(QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg"), 0);
        f = std::make_unique<Fixture>(LiveToolbarOptions{1, true, false});
        f->live.toolbar()->SetChannelId_ValuePath(f->live.ChannelPath(0));
        run(*f, {"bar on", "replaying on", "select"});
        QCOMPARE(look(f->live), without(idleLook(), {"openFile"}));
    }

    // While the channel error stands only the information button is usable,
    // also with the host's switch off, and its box carries the host's
    // caption; once cleared, the switch decides again, and the widgets no
    // rule governs are back.
    void channelErrorWhileTheHostSwitchIsOff()
    {
        f->live.parent()->show();
        QToolBar* bar = f->live.bar();
        QAction* error = f->live.action(QStringLiteral("Error information"));
        run(*f, {"select", "bar off", "channel error 2"});
        for (QWidget* child : bar->findChildren<QWidget*>())
            QVERIFY2(child->isEnabled() == (child == bar->widgetForAction(error)), qPrintable(child->objectName()));
        QVERIFY(bar->isEnabled());
        QWidget hostDialog;
        hostDialog.setWindowTitle(QStringLiteral("Host messages"));
        ErrorHandler::Instance()->SetMessageDlg(&hostDialog);
        MessageBoxAnswer box;
        error->trigger();
        ErrorHandler::Instance()->SetMessageDlg(nullptr);
        QCOMPARE(box.title(), QStringLiteral("Host messages"));
        QCOMPARE(box.buttons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        run(*f, {"channel error 0"});
        QVERIFY(!bar->isEnabled() && error->isVisible());
        run(*f, {"bar on"});
        QVERIFY(bar->isEnabled() && !error->isVisible() && bar->widgetForAction(error)->isHidden());
        QCOMPARE(look(f->live), idleLook());
        for (const char* name : {"VorexToolbarDiscSpace", "VorexToolbarRecordCounter", "VorexRecordName"})
            QVERIFY2(f->live.widget(QLatin1String(name))->isEnabled(), name);
        MessageBoxAnswer cleared;
        error->trigger();
        QVERIFY(cleared.answered() && cleared.text().isEmpty());
    }

    // ------------------------------------------------------------ errors

    // Each class of error during the operator's or the manager's activity:
    // shown unless the activity came from outside, before the severe classes
    // stop it.
    void errorCodeClasses_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("message"); // empty: none
        QTest::addColumn<bool>("stops");
        const struct { const char* key; const char* text; bool shown; bool stops; } errors[] = {
            {"VRX_INFO_RECORD_STARTED", "", false, false},
            {"TEST_INFO_SHOWN", "", false, false},
            {"VRX_WARN_DISC_ALMOST_FULL", "The recorder device is almost full.", true, false},
            {"TEST_WARN_SILENT", "", false, false},
            {"VRX_ERR_DISC_FULL", "The recorder device is full. The activity was stopped.", true, true},
            {"TEST_ERR_SILENT", "", false, true},
            {"VRX_FATAL_INTERNAL", "The Vorex Manager reported an internal error.", true, true},
            {"VRX_NO_SUCH_ERROR", "", false, false},
        };
        for (const auto& e : errors)
            for (const char* start : {"replay", "external replay"})
                QTest::addRow("%s, %s", e.key, start) << QString::fromLatin1(start) << QString::fromLatin1(e.key)
                    << QString::fromLatin1(e.shown && start[0] == 'r' ? e.text : "") << e.stops;
        QTest::newRow("VRX_ERR_DEVICE_FAILURE, record") << QStringLiteral("record") << QStringLiteral("VRX_ERR_DEVICE_FAILURE")
            << QStringLiteral("The recorder device failed. The activity was stopped.") << true;
    }
    void errorCodeClasses()
    {
        QFETCH(QString, start);
        QFETCH(QString, key);
        QFETCH(QString, message);
        QFETCH(bool, stops);
        ErrorDescriptor::RegisterError(QStringLiteral("TEST_WARN_SILENT"), ErrorDescriptor::WARNING, false, QStringLiteral("silent"));
        ErrorDescriptor::RegisterError(QStringLiteral("TEST_ERR_SILENT"), ErrorDescriptor::ERROR, false, QStringLiteral("silent"));
        ErrorDescriptor::RegisterError(QStringLiteral("TEST_INFO_SHOWN"), ErrorDescriptor::INFO, true, QStringLiteral("never shown"));
        run(*f, {"select", start});
        QCOMPARE(f->live.value<values::Value<bool>>("TriggeredByCorbaCall")->Get(), start.startsWith(QLatin1String("external")));
        const QString running = modes(f->live);
        messages();
        sentCommands(f->live.backend());
        TraceCapture traces;
        QStringList modesWhenShown; // the operator reads the message before the stop
        ErrorHandler::Instance()->SetMessageSink([&](const MessageRecord&) { modesWhenShown << modes(f->live); });

        run(*f, {"error " + key});
        QCOMPARE(messages(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(modesWhenShown, message.isEmpty() ? QStringList() : QStringList{running});
        QCOMPARE(modes(f->live), stops ? QStringLiteral("stop / stopped / stopped") : running);
        QCOMPARE(sentCommands(f->live.backend()).filter(QStringLiteral("StopReplay")).size(), stops && start != "record" ? 1 : 0);
        QCOMPARE(look(f->live), stops ? idleLook() : lookOf(start));
        QCOMPARE(responses(), QStringList());
        QCOMPARE(traces.contains(QStringLiteral("VorexToolbar::DisplayError : something went gravely wrong, ignoring error")),
                 key == QLatin1String("VRX_NO_SUCH_ERROR"));
    }

    // The error responses of the toolbar's own operations, each on the road
    // that leads to it (the last step): the message the operator sees, the
    // mode the channel is left in, and the command that must not go.
    void errorResponses_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected"); // "classifier|command|text"
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("notSent");
        const QString stopped = QStringLiteral("stop / stopped / stopped");
        const QString noReplay = ToolbarHelper::ErrorId2Text(VorexSim::eResult_NoReplay, 1);
        const QString busy = ToolbarHelper::ErrorId2Text(VorexSim::eResult_ChannelBusy, 1);
        const QString noRecord = ToolbarHelper::ErrorId2Text(257, 0);
        auto r = [](int classifier, const char* command, const QString& text) {
            return QStringList{QStringLiteral("%1|%2|%3").arg(classifier).arg(QLatin1String(command), text)};
        };
        auto steps = [](const char* s) { return QString::fromLatin1(s).split(", "); };
        QTest::newRow("replay, no record, no selection allowed") << steps("dialog off, host replay")
            << r(2, "PrepareForReplay", ToolbarHelper::ErrorId2Text(253, 0)) << QStringList{noRecord} << stopped << "StartReplay";
        QTest::newRow("continuous replay, no record, no selection allowed") << steps("dialog off, host continuous replay")
            << r(2, "PrepareForContinuousReplay", ToolbarHelper::ErrorId2Text(254, 0)) << QStringList{noRecord} << stopped
            << "StartReplay";
        QTest::newRow("replay, record selection cancelled") << steps("host replay")
            << r(2, "PrepareForReplay", ToolbarHelper::ErrorId2Text(253, 0)) << QStringList() << stopped << "StartReplay";
        QTest::newRow("continuous record, parameters cancelled") << steps("parameters cancelled, host continuous record")
            << r(2, "PrepareForContinuousRecord", ToolbarHelper::ErrorId2Text(256, 0)) << QStringList() << stopped << "";
        QTest::newRow("continuous record, no data-rate class") << steps("set DataRateClass, host continuous record")
            << r(2, "PrepareForContinuousRecord", ToolbarHelper::ErrorId2Text(256, 0)) << QStringList() << stopped << "";
        QTest::newRow("record during a continuous record") << steps("host continuous record, host record")
            << r(1, "", "Cannot switch to record mode while continuous record is running! No action will be performed")
            << QStringList() << "continuous record / recording continuously / stopped +counter" << "";
        QTest::newRow("continuous record during a record") << steps("host record, host continuous record")
            << r(1, "", "Cannot switch to continuous record mode while record is running! No action will be performed")
            << QStringList() << "record / recording / stopped +counter" << "";
        QTest::newRow("manager refuses the start") << steps("select, fail next 10, host replay")
            << r(2, "SetStopOnErrorFromServer", busy) << QStringList{busy} << stopped << "";
        QTest::newRow("manager refuses to continue") << steps("select, replay, pause, fail next 11, host replay")
            << r(2, "SetStopOnErrorFromServer", noReplay) << QStringList{noReplay} << "stop / stopped / paused" << "";
        // Shown even for the manager's replay: the command was the toolbar's.
        QTest::newRow("manager refuses to stop the operator's replay") << steps("select, replay, fail next 11, stop")
            << r(2, "SetStopOnErrorFromServer", noReplay) << QStringList{noReplay} << "stop / stopped / running" << "";
        QTest::newRow("manager refuses to stop its own replay") << steps("select, external replay, fail next 11, stop")
            << r(2, "SetStopOnErrorFromServer", noReplay) << QStringList{noReplay} << "stop / stopped / running" << "";
    }
    void errorResponses()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, shown);
        QFETCH(QString, mode);
        QFETCH(QString, notSent);
        const QString last = steps.takeLast();
        run(*f, steps);
        responses();
        messages();
        sentCommands(f->live.backend());
        run(*f, {last});
        QCOMPARE(responses(), expected);
        QCOMPARE(messages(), shown);
        QCOMPARE(modes(f->live), mode);
        const QStringList sent = sentCommands(f->live.backend());
        QCOMPARE(notSent.isEmpty() ? QStringList() : sent.filter(notSent), QStringList());
        QCOMPARE(BarStateLog::stateOf(f->live.bar()), QStringLiteral("on/arrow"));
        QVERIFY(!mode.startsWith(QLatin1String("stop")) || !look(f->live).contains(QLatin1String("stop")));
    }
};

QTEST_MAIN(TestEnablement)
#include "tst_enablement.moc"
