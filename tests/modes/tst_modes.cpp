// The record/replay mode state machine and the record and replay actions of
// a live toolbar: the operator's clicks, the host's and the manager's steps,
// the commands the manager receives and the modes and looks that follow.

#include "toolbarlook.h"

using namespace vrxtest;

class TestModes : public QObject
{
    Q_OBJECT
    std::unique_ptr<Fixture> f;

private slots:
    void initTestCase() { failOnQtWarnings(); }
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { tearDown(f); }

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
        QTest::newRow("replay without a range") << list("pick NoSuchRecord") << list("replay") << QStringList{on}
            << QStringList{"StartReplay Dev1 NoSuchRecord 3 0 0 1"} << stopped << without(idle, {"edit"});
        QTest::newRow("record, stop") << list("select") << list("record, stop") << QStringList{wait, wait}
            << QStringList{"ResyncRecord Dev1 REC-0010"} << stopped << idle;
        // Stop while the record is only requested withdraws it.
        QTest::newRow("stop before the manager answers") << list("select") << list("record, +host stop")
            << QStringList{wait, on} << QStringList() << stopped << idle;
        QTest::newRow("stop in idle") << list("select") << list("host stop") << QStringList{on} << QStringList() << stopped << idle;
        // A replay is never started while a record starts or runs; a running
        // record's mode is put back.
        QTest::newRow("replay while recording") << list("select, record") << list("host replay") << QStringList{on}
            << QStringList() << "record / recording / stopped +counter" << recordingLook();
        QTest::newRow("continuous replay while recording continuously") << list("select, continuous record")
            << list("host continuous replay") << QStringList{on} << QStringList()
            << "continuous record / recording continuously / stopped +counter" << recordingLook();
        QTest::newRow("replay while the record starts") << list("select") << list("record, +host replay")
            << QStringList{wait, wait} << QStringList() << "replay / recording / stopped +counter" << "record stop edit history";
        // The other kind of a running replay is refused and the mode put back.
        QTest::newRow("continuous replay during a replay") << list("select T1, replay") << list("host continuous replay")
            << QStringList{on} << QStringList() << "replay / stopped / running" << replayLook();
        // While a replay runs, the recording state does not decide the look.
        QTest::newRow("recording state during a replay") << list("select T1, replay") << list("set AllRecordReplayModes 1")
            << QStringList{on} << QStringList() << "replay / recording / running" << replayLook();
        // Activity the manager starts itself is mirrored into the mode value,
        // refined to the continuous kinds; the manager's stop is the operator's.
        QTest::newRow("manager's continuous replay") << list("select T1") << list("external continuous replay")
            << QStringList{on} << QStringList() << "continuous replay / stopped / running" << replayLook();
        QTest::newRow("manager's continuous record") << list("select") << list("external continuous record")
            << QStringList{wait} << QStringList() << "continuous record / recording continuously / stopped +counter" << recordingLook();
        QTest::newRow("manager stops its record") << list("select, external record") << list("external stop")
            << QStringList{wait} << QStringList{"ResyncRecord Dev1 REC-0010"} << stopped << idle;
        // Keys beyond the recording states are refused; only the low byte counts.
        QTest::newRow("recording state 7") << list("select, record") << list("set AllRecordReplayModes 7") << QStringList{on}
            << QStringList() << "record / - / stopped +counter" << recordingLook();
        QTest::newRow("recording state 260 is stopped") << list("select, record") << list("set AllRecordReplayModes 260")
            << QStringList{on} << QStringList() << "stop / - / stopped" << idle;
        // A record found running when the connection returns: the recording
        // look again, the counter going on from the device's time.
        QTest::newRow("record found on reconnection") << list("select, record") << list("connection off, connection on")
            << QStringList{wait, on} << QStringList{"GetDeviceTime Dev1"} << "record / recording / stopped +counter" << "record stop";
        QTest::newRow("... and stopped") << list("select, record, connection off, connection on") << list("stop")
            << QStringList{wait} << QStringList{"ResyncRecord Dev1 REC-0010"} << stopped << idle;
        // A replay of the manager's own found running when the connection
        // returns shows as such, in the mode value too: the operator can stop it.
        QTest::newRow("manager's endless replay found on reconnection")
            << list("select T1, connection off, set TriggeredByCorbaCall 1, set NoOfReplays 0, set ReplayMode 4")
            << list("connection on") << QStringList{on} << QStringList() << "continuous replay / stopped / running"
            << "replay stop pause replayBar";
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

    // Without a replay range the start waits for the bar through 19 re-posts
    // of itself, a round each after the mode handler's, then goes as it is
    // ("replay without a range" above).
    void replayWaitsForItsRange()
    {
        run(*f, {"pick NoSuchRecord"});
        operate(*f, "replay");
        QCOMPARE(runToolbarCalls(), 1 + 20);
    }
};

QTEST_MAIN(TestModes)
#include "tst_modes.moc"
