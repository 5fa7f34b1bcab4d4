// The replay bar of a live toolbar served by the simulated recorder manager:
// position/time conversion, the current position of a paused replay, and
// bookmarks going between the bar and the manager.

#include "toolbarlook.h"

#include <cmath>

using namespace vrxtest;

namespace {

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

class TestReplayBar : public QObject
{
    Q_OBJECT
    std::unique_ptr<Fixture> f;

    double position() const { return f->live.value<values::IValueNumeric>("CurrentReplayPosition")->GetNumeric(); }
    // The manager replays T1 as another client asked it to, and pauses it.
    void replayPaused()
    {
        f->show(barRecord(QStringLiteral("T1")));
        QCOMPARE(f->replayCommand("StartReplay", {kDevice, "T1", 3, quint64(0), quint64(10000), 1u}), 0u);
        QCOMPARE(f->replayCommand("PauseReplay", {kDevice, "T1"}), 0u);
        QCOMPARE(modes(f->live), QStringLiteral("stop / stopped / paused"));
    }

private slots:
    void initTestCase() { failOnQtWarnings(); }
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { tearDown(f); }

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
        QTest::newRow("SGTime to VorexTime") << "index2" << t150 << 2 << 1 << t150;
        QTest::newRow("unknown source to time") << "index2" << t150 << 1 << 3 << -1.0;
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
        replayPaused();
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

    // ------------------------------------------------------------ bookmarks

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
        // Renamed to its own name: an edit that changes nothing.
        QVERIFY(f->replayBar()->RenameBookmark(0, QStringLiteral("beta")));
        QCOMPARE(sentMarks(f->live.backend()), QStringList());
    }

    void bookmarkDraggedWithTheMouse()
    {
        f->show(barRecord(QStringLiteral("T1"), {BookmarkEntry(at(120), QStringLiteral("drag me"))}));
        QVERIFY(f->replayBar()->isEnabled());
        f->pressBar(43, 23, 103); // from its marker below the bar to the middle
        QCOMPARE(sentMarks(f->live.backend()), QStringList{"Dev1/T1: 150.25 drag me"});
        QCOMPARE(marks(f->replayBar()), QStringLiteral("5025 drag me"));
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
        // Settled, or gone for good: the next update is shown as it is.
        r.SetBookmarkEntry({BookmarkEntry(at(190), QStringLiteral("later"))});
        f->update(r);
        QCOMPARE(marks(f->replayBar()), QStringLiteral("9000 later"));
        QCOMPARE(sentMarks(f->live.backend()), QStringList());
    }
};

QTEST_MAIN(TestReplayBar)
#include "tst_replaybar.moc"
