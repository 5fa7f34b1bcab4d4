// The current record of a live toolbar served by the simulated recorder
// manager: its name, duration and selection, and its replay bar (position/time
// conversion, the position of a paused replay, bookmarks going between the bar
// and the manager).

#include "toolbarlook.h"

#include <QDateTime>
#include <QLineEdit>

#include <cmath>

using namespace vrxtest;

namespace {

vorex::RecordIdentifier idOf(const QString& recordId)
{
    return vorex::RecordIdentifier(QStringLiteral("VOREX"), kDevice, recordId);
}

// The bar's bookmarks as "offset text, ...".
QString marks(VCReplayBar* bar)
{
    QStringList out;
    for (const BookmarkType& b : bar->GetBookmarks())
        out << QStringLiteral("%1 %2").arg(b.GetPosition()).arg(b.GetText()).trimmed();
    return out.join(QStringLiteral(", "));
}

// The bookmark lists sent to the manager since the last call, as
// "record: seconds text, ...".
QStringList sentMarks(VorexCommon::RecorderManagerBackend& backend)
{
    QStringList out;
    for (const VorexCommon::RecordedCommand& c : backend.TakeCommands()) {
        if (c.command != QLatin1String("SetBookmarkEntries"))
            continue;
        QStringList entries;
        for (const QVariant& entry : c.args.value(2).toList())
            entries << QStringLiteral("%1 %2").arg((entry.toList().value(0).toLongLong() - kBase) / double(kSec))
                           .arg(entry.toList().value(1).toString());
        out << QStringLiteral("%1/%2: %3").arg(c.args.value(0).toString(), c.args.value(1).toString(), entries.join(", "));
    }
    return out;
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT
    std::unique_ptr<Fixture> f;

    QLineEdit* nameField() const { return f->live.widget<QLineEdit>(QStringLiteral("VorexRecordName")); }
    qint64 durationValue() const { return f->live.value<values::ValueNumeric<values::int64>>("Duration")->Get(); }
    QString text(const char* key) const { return f->live.value<values::Value<QString>>(key)->Get(); }
    int recordTimeout() const { return f->live.value<values::Value<int>>("RecordTimeout")->Get(); }
    TickCounter* counter() const { return f->live.widget<TickCounter>(QStringLiteral("VorexToolbarRecordCounter")); }
    VorexGUI::VorexServerGUIController* controller() const
    {
        return toolbarWidget(f->live.parent())->findChild<VorexGUI::VorexServerGUIController*>();
    }
    // The name the toolbar makes up for channel 1 at the host clock's time.
    QString generatedName() const
    {
        return "CH1_" + QDateTime::fromMSecsSinceEpoch(f->clock.now() / 1000).toString(QStringLiteral("yyyyMMdd:hhmmss_"));
    }
    double position() const { return f->live.value<values::IValueNumeric>("CurrentReplayPosition")->GetNumeric(); }

private slots:
    void initTestCase() { failOnQtWarnings(); }
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { tearDown(f); }

    void duration_data()
    {
        QTest::addColumn<quint64>("start");
        QTest::addColumn<quint64>("stop");
        QTest::addColumn<QVector<quint64>>("index"); // timestamps; offsets do not matter
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("expected"); // -1: the value stays as it was
        const QVector<quint64> none;
        QTest::newRow("1.9 s to 3.1 s") << at(1.9) << at(3.1) << none << 5 << 2 * kSec;
        QTest::newRow("swapped 3.1 s, 1.9 s") << at(3.1) << at(1.9) << none << 5 << 2 * kSec;
        QTest::newRow("2-entry index wins") << at(0) << at(100) << QVector<quint64>{at(1.9), at(3.1)} << 5 << 2 * kSec;
        QTest::newRow("1-entry index ignored") << at(1.9) << at(3.1) << QVector<quint64>{at(50)} << 5 << 2 * kSec;
        QTest::newRow("status 1 writes nothing") << at(1.9) << at(3.1) << none << 1 << Q_INT64_C(-1);
        // A completed record without a known end has no duration.
        QTest::newRow("no stop time") << at(5) << quint64(0) << none << 5 << Q_INT64_C(0);
    }
    void duration()
    {
        QFETCH(quint64, start);
        QFETCH(quint64, stop);
        QFETCH(QVector<quint64>, index);
        QFETCH(int, status);
        QFETCH(qint64, expected);
        f->show(record(QStringLiteral("T1"), at(10), at(20)));
        QCOMPARE(durationValue(), 10 * kSec);
        run(*f, {"set Duration 777"});
        QVector<IndexEntry> entries;
        for (quint64 t : index)
            entries << IndexEntry(t, quint64(entries.size()) * 100);
        f->update(record(QStringLiteral("T1"), start, stop, 1000, status, entries));
        QCOMPARE(durationValue(), expected < 0 ? Q_INT64_C(777) : expected);
        // The stopped counter shows what the value holds.
        QVERIFY(!counter()->IsRunning());
        QCOMPARE(counter()->CurrentDuration(), durationValue());
    }

    // The name and time-out the operator gives are taken whatever the answer
    // (the continuous start asks for its parameters itself, once), and the
    // record is stored under that name; a record the manager starts gets a
    // made-up name and keeps the time-out.
    void recordingName_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("dialogs"); // options of each dialog shown (each offers the made-up name)
        QTest::addColumn<QString>("name");    // "made up": the name offered to the operator
        QTest::newRow("record, accepted") << QStringList{"host record"} << 1 << "19" << "Harbour watch";
        QTest::newRow("record, cancelled") << QStringList{"host record"} << 0 << "19" << "Harbour watch";
        QTest::newRow("continuous record") << QStringList{"host continuous record"} << 1 << "31" << "Harbour watch";
        QTest::newRow("manager's record") << QStringList{"external record"} << 1 << "" << "made up";
    }
    void recordingName()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, answer);
        QFETCH(QString, dialogs);
        QFETCH(QString, name);
        QStringList shown;
        VorexGUI::RecordParameterDialog::SetAnswerHook([&](VorexGUI::RecordParameterDialog& dialog) {
            const QString offered = dialog.recordName();
            shown << QString::number(dialog.options()) + (offered == generatedName() ? QString() : " offered " + offered);
            dialog.setRecordName(QStringLiteral("Harbour watch"));
            dialog.setTimeout(42);
            dialog.setRecordSizeLimitBytes(1024 * 1024);
            return shown.size() == 1 && steps.last().contains(QLatin1String("continuous")) ? 1 : answer;
        });
        run(*f, QStringList{"set RecordTimeout 5"} + steps);
        QVERIFY(f->live.simulator().IsRecording(0));
        QCOMPARE(shown.join(' '), dialogs);
        const QString expected = name == QLatin1String("made up") ? generatedName() : name;
        QCOMPARE(nameField()->text(), expected);
        QCOMPARE(recordTimeout(), dialogs.isEmpty() ? 5 : 42);
        // The manager stores the record under the same name, and the bar keeps showing it.
        run(*f, {"host stop"});
        QCOMPARE(f->live.backend().GetRecord(kDevice, f->live.simulator().LastRecordId(0))->GetRecordName(), expected);
        QCOMPARE(nameField()->text(), expected);
    }

    // The open-file button: the record picked becomes the current one (its
    // data rate one of the classes offered); browsing without a choice
    // leaves the selection as it was.
    void openFile_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("answer"); // -1: T9 picked
        QTest::addColumn<QString>("shown"); // RecordID, name field and its tip, replay data-rate class, duration
        QTest::newRow("T9 picked") << "T1" << -1 << "T9 | Record T9 | Record T9 | DataRate5 | 2000000";
        QTest::newRow("cancelled, record selected") << "T1" << int(QDialog::Rejected)
                                                    << "T1 | Record T1 | Record T1 | DataRate3 | 4000000";
        QTest::newRow("cancelled, nothing selected") << "" << int(QDialog::Rejected) << " |  | File name of selected replay | DataRate3 | 0";
        QTest::newRow("accepted without a record") << "T1" << int(QDialog::Accepted)
                                                   << "T1 | Record T1 | Record T1 | DataRate3 | 4000000";
    }
    void openFile()
    {
        QFETCH(QString, current);
        QFETCH(int, answer);
        QFETCH(QString, shown);
        run(*f, {"set AvailableDataRateClass2 DataRate5"});
        VOREX_RecordData r = record(QStringLiteral("T9"), at(1.9), at(3.1));
        r.SetDataRate(VOREX_RecordData::eDataRate_5);
        f->update(r);
        if (!current.isEmpty())
            f->show(record(current, at(1), at(5)));
        VorexGUI::OpenFileDialog::SetAnswerHook([&](VorexGUI::OpenFileDialog& dialog) {
            if (answer < 0)
                return dialog.selectRecord(idOf(QStringLiteral("T9"))) ? int(QDialog::Accepted) : int(QDialog::Rejected);
            controller()->sl_selectedRecordsChanged({idOf(QStringLiteral("T9"))}); // browsed, not chosen
            return answer;
        });
        QVERIFY(QMetaObject::invokeMethod(f->live.action(QStringLiteral("VorexOpenFile")), "triggered", Q_ARG(bool, false)));
        settle();
        QCOMPARE(QStringList({text("RecordID"), nameField()->text(), nameField()->toolTip(), text("ReplayDataRateClass"),
                              QString::number(durationValue())}).join(" | "), shown);
        const QString selected = answer < 0 ? QStringLiteral("T9") : current;
        QCOMPARE(controller()->selectedRecords(),
                 selected.isEmpty() ? vorex::RecordIdentifierList() : vorex::RecordIdentifierList{idOf(selected)});
    }

    void conversion_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("source");
        QTest::addColumn<double>("expected");
        const double t150 = double(at(150));
        QTest::newRow("offset to SGTime") << "index2" << 2500.0 << 1 << 0 << double(at(125));
        QTest::newRow("SGTime to offset") << "index2" << t150 << 0 << 1 << 5000.0;
        QTest::newRow("VorexTime to offset") << "index2" << t150 << 0 << 2 << 5000.0;
        // The index, not the record's own values, when it has two entries.
        QTest::newRow("index differs from own times") << "shiftedIndex" << 2500.0 << 1 << 0 << double(at(1025));
        // Other index sizes: no way from offsets to times.
        QTest::newRow("1-entry index: offset to time") << "index1" << 2500.0 << 1 << 0 << -1.0;
        // Offsets given high to low behave as if given low to high.
        QTest::newRow("descending offsets") << "descending" << 2500.0 << 1 << 0 << double(at(125));
        // No extent: the record's start position instead of NaN or infinity.
        QTest::newRow("start equals stop") << "pointRecord" << t150 << 0 << 1 << 300.0;
        QTest::newRow("index offsets equal") << "flatIndex" << 2500.0 << 1 << 0 << -1.0;
        // An index that does not begin at offset 0 maps from there.
        QTest::newRow("index from offset 4000: offset to time") << "offsetIndex" << 9000.0 << 1 << 0 << t150;
        QTest::newRow("no current record") << "none" << 2500.0 << 1 << 0 << -1.0;
    }
    void conversion()
    {
        QFETCH(QString, layout);
        QFETCH(double, value);
        QFETCH(int, target);
        QFETCH(int, source);
        QFETCH(double, expected);
        const QHash<QString, QVector<IndexEntry>> indexes = {
            {"index2", fullIndex()},
            {"shiftedIndex", {IndexEntry(at(1000), 0), IndexEntry(at(1100), 10000)}},
            {"index1", {IndexEntry(at(100), 0)}},
            {"descending", {IndexEntry(at(100), 10000), IndexEntry(at(200), 0)}},
            {"flatIndex", {IndexEntry(at(100), 4000), IndexEntry(at(200), 4000)}},
            {"offsetIndex", {IndexEntry(at(100), 4000), IndexEntry(at(200), 14000)}}};
        VOREX_RecordData r = barRecord(QStringLiteral("T1"), {}, indexes.value(layout));
        if (layout == QLatin1String("pointRecord")) {
            r.SetStopTime(r.GetStartTime());
            r.SetStartPosition(300);
            r.SetStopPosition(900);
        }
        layout == QLatin1String("none") ? run(*f, {"pick NoSuchRecord"}) : f->show(r);
        IReplayValueConverter* converter =
            static_cast<VorexGUI::ReplayBarWidget*>(f->live.widget(QStringLiteral("VorexToolbarReplayBarWidget")));
        const double result = converter->Convert(value, target, source);
        QVERIFY2(std::isfinite(result), qPrintable(QString::number(result)));
        QCOMPARE(result, expected);
        if (source == 0)
            QCOMPARE(converter->Convert(value, target), expected);
    }

    // Paused, every replay time shows at once, until the operator puts the
    // position somewhere; running again, the replay owns it once more.
    void pausedReplayKeepsPositionMovedByOperator()
    {
        f->show(barRecord(QStringLiteral("T1"))); // replayed as another client asked, then paused
        QCOMPARE(f->replayCommand("StartReplay", {kDevice, "T1", 3, quint64(0), quint64(10000), 1u}), 0u);
        QCOMPARE(f->replayCommand("PauseReplay", {kDevice, "T1"}), 0u);
        QCOMPARE(modes(f->live), QStringLiteral("stop / stopped / paused"));
        f->replayTime()->SetNumeric(double(at(150)), nullptr);
        QCOMPARE(position(), 5000.0);
        f->replayTime()->SetNumeric(double(at(160)), nullptr);
        QCOMPARE(position(), 6000.0);
        QVERIFY(f->replayBar()->isEnabled());
        f->pressBar(43, 10); // 40 of 199 pixels into 0..10000
        QCOMPARE(std::floor(position()), 2010.0);
        const double clicked = position();
        f->replayTime()->SetNumeric(double(at(170)), nullptr);
        QCOMPARE(position(), clicked);
        QCOMPARE(f->replayCommand("ContinueReplay", {kDevice, "T1"}), 0u);
        f->clock.advance(kSec);
        f->live.simulator().Tick();
        QVERIFY(position() != clicked);
    }

    void operatorEditsReachTheManager()
    {
        f->show(barRecord(QStringLiteral("T1"), {BookmarkEntry(at(120), QStringLiteral("alpha")), BookmarkEntry(at(180), QStringLiteral("new"))}));
        // "new" is the manager's word for a bookmark without text.
        QCOMPARE(marks(f->replayBar()), QStringLiteral("2000 alpha, 8000"));
        QCOMPARE(sentMarks(f->live.backend()), QStringList());
        f->replayBar()->AddBookmark(5000, QString());
        QCOMPARE(sentMarks(f->live.backend()), QStringList{"Dev1/T1: 120 alpha, 150 new, 180 new"});
        // The manager's answer comes back as an update; the bar keeps its texts empty.
        QCOMPARE(marks(f->replayBar()), QStringLiteral("2000 alpha, 5000, 8000"));
        QVERIFY(f->replayBar()->RenameBookmark(1, QStringLiteral("beta")));
        QCOMPARE(sentMarks(f->live.backend()), QStringList{"Dev1/T1: 120 alpha, 150 beta, 180 new"});
        QVERIFY(f->replayBar()->DeleteBookmark(0));
        QCOMPARE(sentMarks(f->live.backend()), QStringList{"Dev1/T1: 150 beta, 180 new"});
        QCOMPARE(marks(f->replayBar()), QStringLiteral("5000 beta, 8000"));
    }

    // A record whose index cannot map positions back to times keeps edits
    // on the bar, unsaved. An update that makes the times known merges them
    // (the server's entry wins at equal times) and stores them; an empty
    // list drops them.
    void bookmarksMergedWhenTimesBecomeKnown_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("server list merged") << true << "2000 first, 5000 server, 8000 user only"
                                            << QStringList{"Dev1/T1: 120 first, 150 server, 180 user only"};
        QTest::newRow("empty server list drops the edits") << false << "" << QStringList();
    }
    void bookmarksMergedWhenTimesBecomeKnown()
    {
        QFETCH(bool, server);
        QFETCH(QString, shown);
        QFETCH(QStringList, sent);
        VOREX_RecordData r = barRecord(QStringLiteral("T1"), {BookmarkEntry(at(120), QStringLiteral("first"))}, {IndexEntry(at(100), 0)});
        f->show(r);
        QVERIFY(f->replayBar()->RenameBookmark(0, QStringLiteral("renamed")));
        f->replayBar()->AddBookmark(5000, QStringLiteral("mine"));
        f->replayBar()->AddBookmark(8000, QStringLiteral("user only"));
        QCOMPARE(marks(f->replayBar()), QStringLiteral("2000 renamed, 5000 mine, 8000 user only"));
        QCOMPARE(sentMarks(f->live.backend()), QStringList());
        r.SetIndexEntry(fullIndex());
        r.SetBookmarkEntry(server ? QVector<BookmarkEntry>{BookmarkEntry(at(120), QStringLiteral("first")),
                                                           BookmarkEntry(at(150), QStringLiteral("server"))}
                                  : QVector<BookmarkEntry>{});
        f->update(r);
        QCOMPARE(sentMarks(f->live.backend()), sent);
        QCOMPARE(marks(f->replayBar()), shown);
    }

    // An edit the record cannot store is dropped, with a trace and a
    // message, when the operator leaves the record; none of it reaches the
    // next one.
    void bookmarkEditStaysOnItsRecord()
    {
        f->update(barRecord(QStringLiteral("R1"), {BookmarkEntry(at(150), QStringLiteral("b"))}));
        f->show(barRecord(QStringLiteral("R2"), {}, {IndexEntry(at(100), 0)}));
        f->replayBar()->AddBookmark(5000, QStringLiteral("X"));
        messages();
        TraceCapture traces;
        run(*f, {"pick R1"});
        QCOMPARE(sentMarks(f->live.backend()), QStringList());
        QCOMPARE(marks(f->replayBar()), QStringLiteral("5000 b"));
        QCOMPARE(messages(), QStringList{"The bookmarks of record Record R2 could not be saved."});
        QVERIFY(traces.contains(QStringLiteral("ReplayBarWidget: unsaved bookmarks of record R2 dropped")));
        f->replayBar()->AddBookmark(2000, QStringLiteral("Y"));
        QCOMPARE(sentMarks(f->live.backend()), QStringList{"Dev1/R1: 120 Y, 150 b"});
    }

    // After a full refresh the channel's record value, the name field, the
    // rules, the replay bar and a replay all name the record the manager
    // still has, or none; without one Play asks for a record.
    void oneCurrentRecord_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("shown"); // RecordID, the controller's selection, name field, look, bookmarks, replay end
        QTest::addColumn<QStringList>("sent");
        const QString none = " | 0 |  | " + without(idleLook(), {"edit", "history"}) + " |  | 0";
        QTest::newRow("connection back") << QStringList{"connection off", "connection on"}
                                         << "T1 | 1 | Record T1 | " + idleLook() + " | 2000 a | 10000"
                                         << QStringList{"StartReplay Dev1 T1 3 0 10000 1"};
        QTest::newRow("record deleted") << QStringList{"remove T1"} << none << QStringList();
        QTest::newRow("device changed") << QStringList{"set DeviceID Dev2"} << none << QStringList();
    }
    void oneCurrentRecord()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, shown);
        QFETCH(QStringList, sent);
        f->show(barRecord(QStringLiteral("T1"), {BookmarkEntry(at(120), QStringLiteral("a"))}));
        run(*f, steps);
        QCOMPARE(QStringList({text("RecordID"), QString::number(controller()->selectedRecords().size()), nameField()->text(),
                              look(f->live), marks(f->replayBar()),
                              QString::number(f->live.value<values::IValueNumeric>("ReplayEnd")->GetNumeric())}).join(" | "), shown);
        int asked = 0;
        VorexGUI::OpenFileDialog::SetAnswerHook([&](VorexGUI::OpenFileDialog&) { return ++asked, 0; });
        sentCommands(f->live.backend());
        run(*f, {"replay"});
        QCOMPARE(sentCommands(f->live.backend()).filter("Replay"), sent);
        QCOMPARE(asked, sent.isEmpty() ? 1 : 0);
    }

    // A channel without a record is no fault: nothing reports missing data.
    void noRecordIsNoFault()
    {
        run(*f, {"connection off", "connection on", "replay"});
        QCOMPARE(int(VorexCommon::ErrorDescriptor::TakeResponses().size()), 1); // the refused replay only
    }

    // A record renamed by another client shows its new name at once.
    void renamedElsewhere()
    {
        VOREX_RecordData r = barRecord(QStringLiteral("T1"));
        f->show(r);
        r.SetRecordName(QStringLiteral("Harbour watch"));
        f->update(r);
        QCOMPARE(nameField()->text(), QStringLiteral("Harbour watch"));
    }

    // The record chosen for a replay is replayed at its own data rate from
    // the first replay on.
    void firstReplayUsesTheChosenRecordsRate()
    {
        VOREX_RecordData r = barRecord(QStringLiteral("T9"));
        r.SetDataRate(VOREX_RecordData::eDataRate_5);
        f->update(r);
        VorexGUI::OpenFileDialog::SetAnswerHook([](VorexGUI::OpenFileDialog& d) { return int(d.selectRecord(idOf("T9"))); });
        run(*f, {"set AvailableDataRateClass2 DataRate5", "replay"});
        QCOMPARE(sentCommands(f->live.backend()).filter("StartReplay"), QStringList{"StartReplay Dev1 T9 5 0 10000 1"});
    }

    // A replay that ran to its end starts again at the start; while a replay
    // runs the bar refuses a drag of the position, and says so.
    void replayAfterTheEnd()
    {
        f->show(barRecord(QStringLiteral("T1")));
        run(*f, {"replay"});
        f->pressBar(43, 10);
        QCOMPARE(position(), 0.0);
        QCOMPARE(f->replayBar()->cursor().shape(), Qt::ForbiddenCursor);
        QVERIFY(f->replayBar()->toolTip().contains(QLatin1String("Pause the replay")));
        for (int i = 0; i < 340; ++i) { // the position follows once a second, so it stops short of the end
            f->clock.advance(kSec * 3 / 10);
            f->live.simulator().Tick();
        }
        settle();
        QCOMPARE(modes(f->live), QStringLiteral("stop / stopped / stopped"));
        QVERIFY2(position() > 9000.0 && position() < 10000.0, qPrintable(QString::number(position())));
        QVERIFY(f->replayBar()->toolTip().isEmpty());
        sentCommands(f->live.backend());
        run(*f, {"replay"});
        QCOMPARE(sentCommands(f->live.backend()).filter("StartReplay"), QStringList{"StartReplay Dev1 T1 3 0 10000 1"});
    }
};

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
