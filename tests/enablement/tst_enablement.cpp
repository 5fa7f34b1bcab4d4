// A live toolbar's modes and the controls the operator may use: the record/
// replay mode state machine driven by the operator's clicks, the host's and
// the manager's steps (the commands the manager receives, the modes and
// looks that follow), and how the toolbar reports failures: errors the
// manager writes into ErrorCode, commands it refuses, requests the toolbar
// refuses itself, and the channel error.

#include "toolbarlook.h"

#include <QAccessible>

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
        const QString idle = idleLook(), replay = replayLook();
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
        row("idle", "ReplayFlag off | ReplayFlag on", without(idle, {"replay", "openFile"}));
        row("idle", "ReplayFlag state 2 | ReplayFlag state 0", without(idle, {"replay", "openFile"}));
        // History needs one of the two activities.
        row("idle", "RecordFlag off, ReplayFlag off | RecordFlag on, ReplayFlag on",
            without(idle, {"record", "replay", "openFile", "history"}));
        row("idle", "unselect | select", without(idle, {"edit", "history"}));
        // Nothing is usable on a channel nobody serves; the current record
        // comes back with the connection.
        row("idle", "connection off | connection on", "replayBar", false);
        row("idle", "channel error 3 | channel error 0", QString());
        // Pause is the business of a running replay only.
        row("replay", "PauseSupported off | PauseSupported on", without(replay, {"pause"}));
        row("replay", "ReplayFlag off | ReplayFlag on", without(replay, {"replay"}));
        row("replay", "channel error 3, bar on, ReplayFlag on, RecordFlag on | channel error 0", QString());
        // A paused replay can always be resumed.
        row("paused", "ReplayFlag off | ReplayFlag on", replay);
        row("paused", "ReplayFlag state 2 | ReplayFlag state 0", without(replay, {"replay"}));
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
        row("flag invalid", "select, RecordFlag state 1", without(idle, {"record"}));
        row("PauseSupported invalid while replaying", "select, replay, PauseSupported state 1", without(replayLook(), {"pause"}));
        row("PauseSupported valid again", "select, replay, PauseSupported state 1, PauseSupported state 0", replayLook());
        row("dialog allowed without ReplayFlag", "select, ReplayFlag off, dialog on, event User changed",
            without(idle, {"replay", "openFile"}));
        // Unknown whether a replay runs: nothing to offer meanwhile.
        row("ReplayMode invalid", "select, invalid ReplayMode", "replayBar");
        row("ReplayMode valid again", "select, invalid ReplayMode, valid ReplayMode", idle);
        row("... then a replay from outside", "select, invalid ReplayMode, valid ReplayMode, external replay", replayLook());
        row("... also after turning invalid twice", "select, invalid ReplayMode, invalid ReplayMode, valid ReplayMode, external replay",
            replayLook());
        // A record named before the manager lists it becomes usable then.
        row("record listed after it was named", "pick T7, select T7", idle);
        // Bound again as soon as the manager has built it again.
        row("rebuilt channel", "select, delete channel, recreate channel", without(idle, {"edit", "history"}));
        // The host's refusal of the record selection holds while other inputs
        // make the rules run again.
        row("selection refused", "select, dialog off, replaying on, ReplayFlag off, ReplayFlag on, record, stop",
            without(idle, {"openFile"}));
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

    // Tab walks every control of an idle bar in the order on screen, each
    // with a name a screen reader can say and a visible focus (the bar's own
    // stop hands it on to its first control).
    void keyboardWalk()
    {
        run(*f, {"select"});
        f->live.parent()->show();
        QApplication::setActiveWindow(f->live.parent());
        f->live.widget(QStringLiteral("OpenFileDeviceCombo"))->setFocus();
        QStringList names;
        for (int i = 0; i < 9 && QApplication::focusWidget(); ++i) {
            names << QAccessible::queryAccessibleInterface(QApplication::focusWidget())->text(QAccessible::Name);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(names.join(", "), QStringLiteral("Dev1, Select record, Record, Replay once, Record history, Record name, "
                                                  "Replay position, Edit record, Dev1"));
    }

    // Under a German locale the bar speaks German, tips and messages alike;
    // the names that style sheets and automation use stay the same.
    void germanTexts()
    {
        struct Locale { QLocale before; ~Locale() { QLocale::setDefault(before); } } restore;
        f.reset();
        QLocale::setDefault(QLocale(QLocale::German));
        f = std::make_unique<Fixture>();
        QCOMPARE(f->live.widget(QStringLiteral("VorexStop"))->toolTip(), QStringLiteral("Eine Aufnahme oder Wiedergabe stoppen"));
        QVERIFY(f->live.widget(QStringLiteral("VorexPause")));
        run(*f, {"dialog off", "host replay"});
        QCOMPARE(messages(), QStringList{"Für die Wiedergabe ist keine Aufnahme ausgewählt."});
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

    // While the channel error stands, the information button is usable also
    // with the host's switch off, and its box carries the host's caption;
    // once cleared, the switch decides again.
    void channelErrorWhileTheHostSwitchIsOff()
    {
        f->live.parent()->show();
        QToolBar* bar = f->live.bar();
        QAction* error = f->live.action(QStringLiteral("Error information"));
        run(*f, {"select", "bar off", "channel error 2"});
        QVERIFY(bar->isEnabled() && bar->widgetForAction(error)->isEnabled());
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
        MessageBoxAnswer cleared;
        error->trigger();
        QVERIFY(cleared.answered() && cleared.text().isEmpty());
    }

    // After the settled setup, each step runs with the toolbar's own calls
    // (the bar's state then: "off/wait" while the manager has not answered
    // yet), then the manager answers; a step marked "+" comes before it does.
    void clicks_data()
    {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("bar");      // the bar's state after each step's own calls
        QTest::addColumn<QStringList>("commands"); // that reached the manager meanwhile
        QTest::addColumn<QString>("modes");
        QTest::addColumn<QString>("look");
        const QString wait = QStringLiteral("off/wait"), on = QStringLiteral("on/arrow");
        const QString idle = idleLook(), stopped = QStringLiteral("stop / stopped / stopped");
        const QString start = QStringLiteral("StartReplay Dev1 T1 3 %1 10000 %2");
        auto list = [](const char* s) { return s[0] ? QString::fromLatin1(s).split(", ") : QStringList(); };

        // The manager's own position writes (selecting the record) count as
        // moves until a channel update binds the bar again; a move while
        // paused starts the replay from there.
        QTest::newRow("replay, pause, resume, move, resume, stop") << list("select T1")
            << list("replay, pause, channel update, pause, pause, set CurrentReplayPosition 5000, pause, stop")
            << QStringList{wait, wait, on, wait, wait, on, wait, wait}
            << QStringList{start.arg(0).arg(1), "PauseReplay Dev1 T1", "ContinueReplay Dev1 T1", "PauseReplay Dev1 T1",
                           start.arg(5000).arg(1), "StopReplay Dev1 T1"}
            << stopped << idle;
        QTest::newRow("continuous replay") << list("select T1") << list("continuous replay")
            << QStringList{wait} << QStringList{start.arg(0).arg(0)} << "continuous replay / stopped / running" << replayLook();
        // Without a replay range the start waits for the bar, then goes as it is.
        QTest::newRow("replay without a range") << list("select T0") << list("replay") << QStringList{wait}
            << QStringList{"StartReplay Dev1 T0 3 0 0 1"} << "replay / stopped / running" << replayLook();
        // A record the manager does not have is asked for, as none is.
        QTest::newRow("replay of an unknown record") << list("pick NoSuchRecord") << list("replay") << QStringList{on}
            << QStringList() << stopped << without(idle, {"edit", "history"});
        QTest::newRow("record, stop") << list("select") << list("record, stop") << QStringList{wait, wait}
            << QStringList{"ResyncRecord Dev1 REC-0010"} << stopped << idle;
        // Stop while the record is only requested withdraws it.
        QTest::newRow("stop before the manager answers") << list("select") << list("record, +host stop")
            << QStringList{wait, on} << QStringList() << stopped << idle;
        // A replay is never started while a record starts or runs; a running
        // record's mode is put back.
        QTest::newRow("replay while recording") << list("select, record") << list("host replay") << QStringList{on}
            << QStringList() << "record / recording / stopped +counter" << recordingLook();
        QTest::newRow("replay while the record starts") << list("select") << list("record, +host replay")
            << QStringList{wait, wait} << QStringList() << "replay / recording / stopped +counter" << "record stop edit history";
        // Activity the manager starts itself is mirrored into the mode value,
        // refined to the continuous kinds.
        QTest::newRow("manager's continuous replay") << list("select T1") << list("external continuous replay")
            << QStringList{on} << QStringList() << "continuous replay / stopped / running" << replayLook();
        QTest::newRow("manager's continuous record") << list("select") << list("external continuous record")
            << QStringList{wait} << QStringList() << "continuous record / recording continuously / stopped +counter" << recordingLook();
        // Only the low byte of the recording state counts.
        QTest::newRow("recording state 260 is stopped") << list("select, record") << list("set AllRecordReplayModes 260")
            << QStringList{on} << QStringList() << "stop / - / stopped" << idle;
        // A record found running when the connection returns: the recording
        // look again, the counter going on from the device's time; it stops.
        // Without the manager nothing is awaited.
        QTest::newRow("record found on reconnection, stopped") << list("select, record")
            << list("connection off, connection on, stop") << QStringList{"off/arrow", on, wait}
            << QStringList{"GetDeviceTime Dev1", "ResyncRecord Dev1 REC-0001", "ResyncRecord Dev1 REC-0010"} << stopped << idle;
        // A replay of the manager's own found running when the connection
        // returns shows as such, in the mode value too: the operator can stop it.
        QTest::newRow("manager's endless replay found on reconnection")
            << list("select T1, connection off, set TriggeredByCorbaCall 1, set NoOfReplays 0, set ReplayMode 4")
            << list("connection on") << QStringList{on} << QStringList{"ResyncRecord Dev1 T1"}
            << "continuous replay / stopped / running" << replayLook();
    }
    void clicks()
    {
        QFETCH(QStringList, setup);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, bar);
        QFETCH(QStringList, commands);
        QFETCH(QString, modes);
        QFETCH(QString, look);
        run(*f, setup);
        sentCommands(f->live.backend());
        QStringList states;
        for (QString step : steps) {
            if (!step.startsWith(QLatin1Char('+')))
                settle();
            operate(*f, step.remove(QRegularExpression(QStringLiteral("^\\+"))));
            runToolbarCalls();
            states << BarStateLog::stateOf(f->live.bar());
        }
        settle();
        QStringList sent = sentCommands(f->live.backend());
        QCOMPARE(states, bar);
        QCOMPARE(sent, commands);
        QCOMPARE(vrxtest::modes(f->live), modes);
        QCOMPARE(vrxtest::look(f->live), look);
        QCOMPARE(BarStateLog::stateOf(f->live.bar()), QStringLiteral("on/arrow"));
    }

    // A continuous record's size limit reaches the manager in KiB, by default
    // the one for the channel's data-rate class; a limit beyond 32 bits is
    // held at the largest that fits instead of wrapping into a tiny ring.
    void continuousRecordLimit_data()
    {
        QTest::addColumn<QString>("rate");
        QTest::addColumn<qint64>("chosen"); // bytes set in the dialog; -1 keeps its default
        QTest::addColumn<int>("kib");
        QTest::newRow("default of class 0") << "DataRate0" << qint64(-1) << 256;
        QTest::newRow("4 GiB held at 32 bits") << "DataRate3" << (qint64(4) << 30) << 4194303;
        QTest::newRow("below 1 KiB") << "DataRate3" << qint64(1023) << 0;
    }
    void continuousRecordLimit()
    {
        QFETCH(QString, rate);
        QFETCH(qint64, chosen);
        QFETCH(int, kib);
        run(*f, {"select"});
        VorexGUI::RecordParameterDialog::SetAnswerHook([chosen](VorexGUI::RecordParameterDialog& dialog) {
            if (chosen >= 0)
                dialog.setRecordSizeLimitBytes(quint64(chosen));
            return 1;
        });
        f->live.value<values::Value<QString>>("DataRateClass")->Set(rate, nullptr);
        operate(*f, "continuous record");
        runToolbarCalls();
        QCOMPARE(f->live.value<values::Value<int>>("FileSizeInKB")->Get(), kib);
    }

    // Without a replay range the start waits for the bar through 19 re-posts
    // of itself, a round each after the mode handler's, then goes as it is
    // ("replay without a range" above).
    void replayWaitsForItsRange()
    {
        run(*f, {"select T0"});
        operate(*f, "replay");
        QCOMPARE(runToolbarCalls(), 1 + 20);
    }
    // The bar waits only while a request is outstanding: a command that
    // fails before it reaches the manager, a connection lost meanwhile and
    // an answer that does not come in time end the wait with the failed
    // command's message and the mode of a refusal.
    void waits_data()
    {
        QTest::addColumn<QStringList>("setup"); // after "select T1"
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("modes");
        QTest::addColumn<QString>("look");
        const QString idle = idleLook(), stopped = QStringLiteral("stop / stopped / stopped");
        const QString late = ToolbarHelper::ErrorId2Text(258, 1), gone = ToolbarHelper::ErrorId2Text(1, 1);
        auto row = [&](const char* name, const char* setupAndSteps, const QString& shown, const QString& look = {}, const QString& modes = {}) {
            const QStringList parts = QString::fromLatin1(setupAndSteps).split(QStringLiteral(" | "));
            QTest::newRow(name) << parts[0].split(", ", Qt::SkipEmptyParts) << parts[1].split(", ") << shown
                                << (modes.isEmpty() ? stopped : modes) << (look.isEmpty() ? idle : look);
        };
        row("replay, record gone before the command", " | replay, +remove T1", ToolbarHelper::ErrorId2Text(3, 1),
            without(idle, {"edit", "history"}));
        row("replay, no answer", "manager hangs | replay, answer overdue", late);
        row("record, no answer", "manager hangs | record, answer overdue", late);
        row("stop of a record, no answer", "record, manager hangs | stop, answer overdue", late, recordingLook(),
            "record / recording / stopped +counter");
        row("replay, connection lost", "manager hangs | replay, connection off, manager answers, connection on", gone);
        row("record, connection lost", "manager hangs | record, connection off, manager answers, connection on", gone);
    }
    void waits()
    {
        QFETCH(QStringList, setup);
        QFETCH(QStringList, steps);
        QFETCH(QString, shown);
        QFETCH(QString, modes);
        QFETCH(QString, look);
        run(*f, QStringList{"select T1"} + setup);
        messages();
        QStringList states;
        for (int i = 0; i < steps.size(); ++i) {
            operate(*f, QString(steps[i]).remove(QLatin1Char('+')));
            runToolbarCalls(1);
            if (!steps.value(i + 1).startsWith(QLatin1Char('+'))) // "+": before anything else happens
                settle();
            states << BarStateLog::stateOf(f->live.bar());
        }
        settle();
        QCOMPARE(states.first(), QStringLiteral("off/wait"));
        QVERIFY2(!states.mid(1).contains(QStringLiteral("off/wait")), qPrintable(states.join(' ')));
        QCOMPARE(messages(), QStringList{shown});
        QCOMPARE(vrxtest::modes(f->live), modes);
        QCOMPARE(vrxtest::look(f->live), look);
        QCOMPARE(BarStateLog::stateOf(f->live.bar()), QStringLiteral("on/arrow"));
    }

    // Errors on the road that leads to them (the last step): those the
    // manager writes into ErrorCode during the operator's or its own activity
    // (shown only for the operator's, before the severe classes stop it), and
    // the error responses of the toolbar's own operations. Checked: the
    // responses ("classifier|command|text"), the message "@" the modes it is
    // shown in, the modes left, the replay commands the manager got, the look.
    void errors_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("response");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("mode"); // empty: as before the last step
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("usable");
        const QString stopped = QStringLiteral("stop / stopped / stopped"), idle = idleLook();
        const struct { const char* key; const char* text; bool stops; } codes[] = {
            {"VRX_INFO_RECORD_STARTED", "", false},
            {"TEST_INFO_SHOWN", "", false},
            {"VRX_WARN_DISC_ALMOST_FULL", "The recorder device is almost full.", false},
            {"TEST_WARN_SILENT", "", false},
            {"VRX_ERR_DISC_FULL", "The recorder device is full. The activity was stopped.", true},
            {"TEST_ERR_SILENT", "", true},
            {"VRX_FATAL_INTERNAL", "The Vorex Manager reported an internal error.", true},
            {"VRX_NO_SUCH_ERROR", "", false},
        };
        for (const auto& e : codes)
            for (const char* start : {"replay", "external replay"})
                QTest::addRow("%s, %s", e.key, start) << QStringList{"select", start, QStringLiteral("error %1").arg(e.key)}
                    << QString() << (start[0] == 'r' && e.text[0] ? e.text + QStringLiteral(" @ replay / stopped / running") : QString())
                    << (e.stops ? stopped : QString()) << (e.stops ? "StopReplay" : "") << (e.stops ? idle : replayLook());
        auto row = [](const char* name, const char* steps, const QString& response, const QString& shown, const QString& mode,
                      const char* sent, const QString& look) {
            QTest::newRow(name) << QString::fromLatin1(steps).split(", ") << response << shown << mode << sent << look;
        };
        row("VRX_ERR_DEVICE_FAILURE, record", "select, record, error VRX_ERR_DEVICE_FAILURE", QString(),
            "The recorder device failed. The activity was stopped. @ record / recording / stopped +counter", stopped, "", idle);
        const QString noReplay = ToolbarHelper::ErrorId2Text(VorexSim::eResult_NoReplay, 1);
        const QString busy = ToolbarHelper::ErrorId2Text(VorexSim::eResult_ChannelBusy, 1);
        const QString noRecord = ToolbarHelper::ErrorId2Text(257, 0);
        const QString prepare = QStringLiteral("2|PrepareFor%1|%2"), server = QStringLiteral("2|SetStopOnErrorFromServer|");
        const QString noSelection = without(idle, {"edit", "history"}); // no record selected
        const QString stopLeft = without(replayLook(), {"stop"});         // the mode says stop already
        row("replay, no record, no selection allowed", "dialog off, host replay",
            prepare.arg("Replay", ToolbarHelper::ErrorId2Text(253, 0)), noRecord + " @ replay / stopped / stopped", stopped, "",
            without(noSelection, {"openFile"}));
        row("replay, record selection cancelled", "host replay", prepare.arg("Replay", ToolbarHelper::ErrorId2Text(253, 0)),
            QString(), stopped, "", noSelection);
        row("continuous record, parameters cancelled", "parameters cancelled, host continuous record",
            prepare.arg("ContinuousRecord", ToolbarHelper::ErrorId2Text(256, 0)), QString(), stopped, "", noSelection);
        row("manager refuses the start", "select, fail next 10, host replay", server + busy,
            busy + " @ replay / stopped / stopped", stopped, "StartReplay", idle);
        row("manager refuses to continue", "select, replay, pause, fail next 11, host replay", server + noReplay,
            noReplay + " @ replay / stopped / paused", "stop / stopped / paused", "ContinueReplay", stopLeft);
        // Shown even for the manager's replay: the command was the toolbar's.
        row("manager refuses to stop the operator's replay", "select, replay, fail next 11, stop", server + noReplay,
            noReplay + " @ stop / stopped / running", "stop / stopped / running", "StopReplay", stopLeft);
        row("manager refuses to stop its own replay", "select, external replay, fail next 11, stop", server + noReplay,
            noReplay + " @ stop / stopped / running", "stop / stopped / running", "StopReplay", stopLeft);
    }
    void errors()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, response);
        QFETCH(QString, shown);
        QFETCH(QString, mode);
        QFETCH(QString, sent);
        QFETCH(QString, usable);
        ErrorDescriptor::RegisterError(QStringLiteral("TEST_WARN_SILENT"), ErrorDescriptor::WARNING, false, QStringLiteral("silent"));
        ErrorDescriptor::RegisterError(QStringLiteral("TEST_ERR_SILENT"), ErrorDescriptor::ERROR, false, QStringLiteral("silent"));
        ErrorDescriptor::RegisterError(QStringLiteral("TEST_INFO_SHOWN"), ErrorDescriptor::INFO, true, QStringLiteral("never shown"));
        const QString last = steps.takeLast();
        run(*f, steps);
        QCOMPARE(f->live.value<values::Value<bool>>("TriggeredByCorbaCall")->Get(), steps.contains(QStringLiteral("external replay")));
        const QString before = modes(f->live);
        responses();
        messages();
        sentCommands(f->live.backend());
        TraceCapture traces;
        QStringList modesWhenShown;
        ErrorHandler::Instance()->SetMessageSink([&](const MessageRecord&) { modesWhenShown << modes(f->live); });

        run(*f, {last});
        QCOMPARE(responses(), response.isEmpty() ? QStringList() : QStringList{response});
        QStringList seen = messages();
        for (int i = 0; i < seen.size(); ++i)
            seen[i] += " @ " + modesWhenShown.value(i);
        QCOMPARE(seen, shown.isEmpty() ? QStringList() : QStringList{shown});
        QCOMPARE(modes(f->live), mode.isEmpty() ? before : mode);
        QStringList replayCommands;
        for (const QString& command : sentCommands(f->live.backend()))
            if (command.section(' ', 0, 0).endsWith(QLatin1String("Replay")))
                replayCommands << command.section(' ', 0, 0);
        QCOMPARE(replayCommands.join(' '), sent);
        QCOMPARE(look(f->live), usable);
        QCOMPARE(BarStateLog::stateOf(f->live.bar()), QStringLiteral("on/arrow"));
        QCOMPARE(traces.contains(QStringLiteral("VorexToolbar::DisplayError : something went gravely wrong, ignoring error")),
                 last == QLatin1String("error VRX_NO_SUCH_ERROR"));
    }
};

QTEST_MAIN(TestEnablement)
#include "tst_enablement.moc"
