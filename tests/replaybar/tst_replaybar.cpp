// The replay bar of a live toolbar served by the simulated recorder manager:
// position/time conversion, the current position following a replay, and
// bookmarks going between the bar and the manager.

#include "replaybarfixture.h"

#include <QSignalBlocker>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace replaybartest;

class TestReplayBar : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Fixture> f;

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }
    void init() { f.reset(new Fixture); }
    void cleanup() { f.reset(); }

    // ------------------------------------------------------------ conversion

    void conversion_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("source");
        QTest::addColumn<double>("expected");

        const double t150 = double(at(150));
        QTest::newRow("offset to SGTime") << "index2" << 2500.0 << 1 << 0 << double(at(125));
        QTest::newRow("offset to offset") << "index2" << 2500.0 << 0 << 0 << -1.0;
        QTest::newRow("offset to VorexTime") << "index2" << 2500.0 << 2 << 0 << -1.0;
        QTest::newRow("SGTime to offset") << "index2" << t150 << 0 << 1 << 5000.0;
        QTest::newRow("VorexTime to offset") << "index2" << t150 << 0 << 2 << 5000.0;
        QTest::newRow("SGTime to SGTime") << "index2" << t150 << 1 << 1 << t150;
        QTest::newRow("SGTime to VorexTime") << "index2" << t150 << 2 << 1 << t150;
        QTest::newRow("VorexTime to SGTime") << "index2" << t150 << 1 << 2 << t150;
        QTest::newRow("VorexTime to VorexTime") << "index2" << t150 << 2 << 2 << t150;
        QTest::newRow("unknown source to time") << "index2" << t150 << 1 << 3 << -1.0;
        QTest::newRow("unknown source to offset") << "index2" << t150 << 0 << 3 << -1.0;
        // The index, not the record's own values, when it has two entries.
        QTest::newRow("index differs from own times") << "shiftedIndex" << 2500.0 << 1 << 0 << double(at(1025));
        QTest::newRow("time to offset by shifted index") << "shiftedIndex" << double(at(1050)) << 0 << 1 << 5000.0;
        // Other index sizes: own times for time to offset, no way back.
        QTest::newRow("1-entry index: offset to time") << "index1" << 2500.0 << 1 << 0 << -1.0;
        QTest::newRow("3-entry index: offset to time") << "index3" << 2500.0 << 1 << 0 << -1.0;
        QTest::newRow("1-entry index: time to offset") << "index1" << t150 << 0 << 1 << 5000.0;
        QTest::newRow("3-entry index: time to offset") << "index3" << t150 << 0 << 1 << 5000.0;
        // Offsets given high to low behave as if given low to high.
        QTest::newRow("descending offsets") << "descending" << 2500.0 << 1 << 0 << double(at(125));
        // No extent: the record's start position instead of NaN or infinity.
        QTest::newRow("start equals stop") << "pointRecord" << t150 << 0 << 1 << 300.0;
        QTest::newRow("index offsets equal") << "flatIndex" << 2500.0 << 1 << 0 << -1.0;
        // An index that does not begin at offset 0 maps both ways alike.
        QTest::newRow("index from offset 4000: offset to time") << "offsetIndex" << 9000.0 << 1 << 0 << t150;
        QTest::newRow("index from offset 4000: time to offset") << "offsetIndex" << t150 << 0 << 1 << 9000.0;
        QTest::newRow("no current record") << "none" << 2500.0 << 1 << 0 << -1.0;
    }

    void conversion()
    {
        QFETCH(QString, layout);
        QFETCH(double, value);
        QFETCH(int, target);
        QFETCH(int, source);
        QFETCH(double, expected);

        QVector<IndexEntry> index = fullIndex();
        VOREX_RecordData r = record(QStringLiteral("T1"), index);
        if (layout == QLatin1String("shiftedIndex"))
            r.SetIndexEntry({IndexEntry(at(1000), 0), IndexEntry(at(1100), 10000)});
        else if (layout == QLatin1String("index1"))
            r.SetIndexEntry({IndexEntry(at(100), 0)});
        else if (layout == QLatin1String("index3"))
            r.SetIndexEntry({IndexEntry(at(100), 0), IndexEntry(at(150), 5000), IndexEntry(at(200), 10000)});
        else if (layout == QLatin1String("descending"))
            r.SetIndexEntry({IndexEntry(at(100), 10000), IndexEntry(at(200), 0)});
        else if (layout == QLatin1String("flatIndex"))
            r.SetIndexEntry({IndexEntry(at(100), 4000), IndexEntry(at(200), 4000)});
        else if (layout == QLatin1String("offsetIndex"))
            r.SetIndexEntry({IndexEntry(at(100), 4000), IndexEntry(at(200), 14000)});
        else if (layout == QLatin1String("pointRecord")) {
            r.SetIndexEntry({});
            r.SetStopTime(r.GetStartTime());
            r.SetStartPosition(300);
            r.SetStopPosition(900);
        }
        if (layout == QLatin1String("none")) {
            f->live.simulator().SelectRecord(0, kDevice, QStringLiteral("NoSuchRecord"));
            vrxtest::settle();
        } else {
            f->show(r);
        }

        const double result = f->converter()->Convert(value, target, source);
        QVERIFY2(std::isfinite(result), qPrintable(QString::number(result)));
        QCOMPARE(result, expected);
        if (source == 0)
            QCOMPARE(f->converter()->Convert(value, target), expected);
    }

    // ------------------------------------------------------------ position

    void positionFollowsReplayAtMostOncePerSecond()
    {
        f->show(record(QStringLiteral("T1"), fullIndex()));
        QCOMPARE(f->replayCommand("StartReplay", {kDevice, QStringLiteral("T1"), 3, quint64(0), quint64(10000), 1u}), 0u);
        QTRY_COMPARE(f->live.selection("ReplayMode"), long(VOREX_XML::Admin::eReplayMode_Running));

        auto position = f->numeric("CurrentReplayPosition");
        vrxtest::ScopedObserver writes(position);
        // Five seconds of replay in 5000 steps of one millisecond each.
        for (int i = 0; i < 5000; ++i) {
            f->clock.advance(1000);
            f->live.simulator().Tick();
        }

        // Written at 0.001 s, 1.001 s, ..., 4.001 s of the replay.
        QCOMPARE(writes.count(VC_VALUECHANGED), 5);
        QCOMPARE(position->GetNumeric(), 400.0); // 400.1, stored as an integer
        QVERIFY(!f->widget()->m_bPositionMoved);
    }

    void pausedReplayKeepsPositionMovedByOperator()
    {
        f->show(record(QStringLiteral("T1"), fullIndex()));
        QCOMPARE(f->replayCommand("StartReplay", {kDevice, QStringLiteral("T1"), 3, quint64(0), quint64(10000), 1u}), 0u);
        QCOMPARE(f->replayCommand("PauseReplay", {kDevice, QStringLiteral("T1")}), 0u);
        QTRY_COMPARE(f->live.selection("ReplayMode"), long(VOREX_XML::Admin::eReplayMode_Paused));

        // Paused: every change of the replay time shows at once.
        auto position = f->numeric("CurrentReplayPosition");
        f->replayTime()->SetNumeric(double(at(150)), nullptr);
        QCOMPARE(position->GetNumeric(), 5000.0);
        f->replayTime()->SetNumeric(double(at(160)), nullptr);
        QCOMPARE(position->GetNumeric(), 6000.0);

        // The operator clicks into the bar; replay time changes leave the
        // position where it was put.
        QVERIFY(f->bar()->isEnabled());
        const double clicked = std::floor(f->pressBarAt(43, 10)); // 40 of 199 pixels into 0..10000
        QCOMPARE(clicked, 2010.0);
        QCOMPARE(position->GetNumeric(), clicked);
        QVERIFY(f->widget()->m_bPositionMoved);
        f->replayTime()->SetNumeric(double(at(170)), nullptr);
        QCOMPARE(position->GetNumeric(), clicked);

        // Running again, the replay owns the position once more.
        QCOMPARE(f->replayCommand("ContinueReplay", {kDevice, QStringLiteral("T1")}), 0u);
        QTRY_COMPARE(f->live.selection("ReplayMode"), long(VOREX_XML::Admin::eReplayMode_Running));
        f->clock.advance(kSec);
        f->live.simulator().Tick();
        QVERIFY(position->GetNumeric() != clicked);
        QVERIFY(!f->widget()->m_bPositionMoved);
    }

    // The operator starts a replay: where it starts is the bar's business.
    void replayStartPosition_data()
    {
        QTest::addColumn<long>("mode");
        QTest::addColumn<double>("current");
        QTest::addColumn<double>("begin");
        QTest::addColumn<double>("end");
        QTest::addColumn<quint64>("start");
        QTest::addColumn<double>("positionAfter");

        const long once = VOREX_XML::Admin::eRecordReplayMode_Replay;
        const long endless = VOREX_XML::Admin::eRecordReplayMode_Replaycontinuous;
        QTest::newRow("from the current position") << once << 2010.0 << 0.0 << 10000.0 << quint64(2010) << 2010.0;
        QTest::newRow("current before the range") << once << 2010.0 << 3000.0 << 8000.0 << quint64(3000) << 3000.0;
        QTest::newRow("current at the range's end") << once << 8000.0 << 3000.0 << 8000.0 << quint64(3000) << 3000.0;
        QTest::newRow("endless from the range's start") << endless << 2010.0 << 3000.0 << 8000.0 << quint64(3000) << 2010.0;
    }

    void replayStartPosition()
    {
        QFETCH(long, mode);
        QFETCH(double, current);
        QFETCH(double, begin);
        QFETCH(double, end);
        QFETCH(quint64, start);
        QFETCH(double, positionAfter);

        f->show(record(QStringLiteral("T1"), fullIndex()));
        f->numeric("ReplayBegin")->SetNumeric(begin, nullptr);
        f->numeric("ReplayEnd")->SetNumeric(end, nullptr);
        f->numeric("CurrentReplayPosition")->SetNumeric(current, nullptr);
        f->live.backend().ClearCommands();

        f->live.select("RecordReplayModes", mode);
        vrxtest::settle();

        const auto starts = f->live.commands(QStringLiteral("StartReplay"));
        QCOMPARE(int(starts.size()), 1);
        QCOMPARE(starts[0].args.value(3).toULongLong(), start);
        QCOMPARE(starts[0].args.value(4).toULongLong(), quint64(end));
        QCOMPARE(starts[0].args.value(5).toUInt(), mode == VOREX_XML::Admin::eRecordReplayMode_Replay ? 1u : 0u);
        QCOMPARE(f->bar()->GetCurrentPosition(), positionAfter);
    }

    // The edit button mirrors the controller's record edit action while the
    // toolbar allows editing the selected record.
    void editButtonFollowsRecordAndRecording()
    {
        QAction* edit = f->widget()->findChild<QAction*>(QStringLiteral("TBEditRecording"));
        QVERIFY(edit);
        QVERIFY(!edit->isEnabled()); // no record yet

        f->show(record(QStringLiteral("T1"), fullIndex()));
        QVERIFY(edit->isEnabled());

        // Recording: the record may not be edited meanwhile.
        VorexGUI::RecordParameterDialog::SetAnswerHook([](VorexGUI::RecordParameterDialog&) { return 1; });
        f->live.select("RecordReplayModes", VOREX_XML::Admin::eRecordReplayMode_Record);
        vrxtest::settle();
        VorexGUI::RecordParameterDialog::SetAnswerHook(nullptr);
        QVERIFY(f->live.simulator().IsRecording(0));
        QVERIFY(!edit->isEnabled());

        // Stopped, the new record is selected and editable.
        f->live.select("RecordReplayModes", VOREX_XML::Admin::eRecordReplayMode_Stop);
        vrxtest::settle();
        QCOMPARE(f->live.value<values::Value<QString>>("RecordID")->Get(), f->live.simulator().LastRecordId(0));
        QVERIFY(edit->isEnabled());

        // The record goes away on the manager.
        f->live.backend().RemoveRecord(kDevice, f->live.simulator().LastRecordId(0));
        vrxtest::settle();
        QVERIFY(!edit->isEnabled());
    }

    // ------------------------------------------------------------ bookmarks

    void operatorEditsReachTheManager()
    {
        f->show(record(QStringLiteral("T1"), fullIndex(),
                       {BookmarkEntry(at(120), QStringLiteral("alpha")), BookmarkEntry(at(180), QStringLiteral("new"))}));
        // "new" is the manager's word for a bookmark without text.
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{2000, "alpha"}, {8000, ""}}));
        QVERIFY(sentBookmarks(f->live.backend()).empty());

        f->bar()->AddBookmark(5000, QString());
        std::vector<Sent> sent = sentBookmarks(f->live.backend());
        QCOMPARE(int(sent.size()), 1);
        QCOMPARE(sent[0].deviceId, kDevice);
        QCOMPARE(sent[0].recordId, QStringLiteral("T1"));
        const Marks stored{{qint64(at(120)), "alpha"}, {qint64(at(150)), "new"}, {qint64(at(180)), "new"}};
        QCOMPARE(sent[0].entries, stored);
        QCOMPARE(f->live.backend().GetRecord(kDevice, QStringLiteral("T1"))->GetBookmarkEntry().size(), 3);
        // The manager's answer comes back as an update; the bar keeps its
        // texts empty.
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{2000, "alpha"}, {5000, ""}, {8000, ""}}));

        QVERIFY(f->bar()->RenameBookmark(1, QStringLiteral("beta")));
        sent = sentBookmarks(f->live.backend());
        QCOMPARE(int(sent.size()), 1);
        QCOMPARE(sent[0].entries.value(1), qMakePair(qint64(at(150)), QStringLiteral("beta")));

        QVERIFY(f->bar()->DeleteBookmark(0));
        sent = sentBookmarks(f->live.backend());
        QCOMPARE(int(sent.size()), 1);
        QCOMPARE(sent[0].entries, (Marks{{qint64(at(150)), "beta"}, {qint64(at(180)), "new"}}));
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{5000, "beta"}, {8000, ""}}));
    }

    void bookmarkDraggedWithTheMouse()
    {
        f->show(record(QStringLiteral("T1"), fullIndex(), {BookmarkEntry(at(120), QStringLiteral("drag me"))}));
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{2000, "drag me"}}));
        QVERIFY(f->bar()->isEnabled());

        // From its marker below the bar (x 43) to the middle (x 103 of 3..202).
        f->layOutBar();
        QTest::mousePress(f->bar(), Qt::LeftButton, Qt::NoModifier, QPoint(43, 23));
        QTest::mouseRelease(f->bar(), Qt::LeftButton, Qt::NoModifier, QPoint(103, 23));

        const std::vector<Sent> sent = sentBookmarks(f->live.backend());
        QCOMPARE(int(sent.size()), 1);
        QCOMPARE(sent[0].entries, (Marks{{qint64(at(150.25)), "drag me"}})); // offset 5025
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{5025, "drag me"}}));
    }

    void unchangedBookmarksSendNothing()
    {
        f->show(record(QStringLiteral("T1"), fullIndex(), {BookmarkEntry(at(120), QStringLiteral("alpha"))}));
        sentBookmarks(f->live.backend());

        // Renamed to its own name: an edit that changes nothing.
        QVERIFY(f->bar()->RenameBookmark(0, QStringLiteral("alpha")));
        QVERIFY(QMetaObject::invokeMethod(f->widget(), "slotSaveBookmarksToVorex"));
        QVERIFY(sentBookmarks(f->live.backend()).empty());
    }

    // A record whose index cannot map positions back to times: edits stay on
    // the bar and nothing with an invented time reaches the manager.
    void bookmarksWithoutRecordTimeAreNeverStored()
    {
        VOREX_RecordData r = record(QStringLiteral("T1"), {IndexEntry(at(100), 0)},
                                    {BookmarkEntry(at(120), QStringLiteral("first"))});
        f->show(r);
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{2000, "first"}}));

        f->bar()->AddBookmark(5000, QStringLiteral("mine"));
        QVERIFY(QMetaObject::invokeMethod(f->widget(), "slotSaveBookmarksToVorex"));
        QVERIFY(sentBookmarks(f->live.backend()).empty());
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{2000, "first"}, {5000, "mine"}}));
        QCOMPARE(f->live.backend().GetRecord(kDevice, QStringLiteral("T1"))->GetBookmarkEntry().size(), 1);

        // Leaving the record does not store them either.
        f->show(record(QStringLiteral("T2"), fullIndex()));
        QVERIFY(sentBookmarks(f->live.backend()).empty());
    }

    // Unsaved edits meet a server update: the server's entry wins at equal
    // times, the operator's other bookmarks are added, and the result is
    // stored.
    void mergeKeepsServerEntryAtEqualTimes()
    {
        VOREX_RecordData r = record(QStringLiteral("T1"), {IndexEntry(at(100), 0)},
                                    {BookmarkEntry(at(120), QStringLiteral("first"))});
        f->show(r);
        // Not storable yet (the record cannot tell times): they stay unsaved.
        QVERIFY(f->bar()->RenameBookmark(0, QStringLiteral("renamed")));
        f->bar()->AddBookmark(5000, QStringLiteral("mine"));
        f->bar()->AddBookmark(8000, QStringLiteral("user only"));
        QVERIFY(sentBookmarks(f->live.backend()).empty());

        // The record gets its index (same span) and a bookmark at 150 s.
        r.SetIndexEntry(fullIndex());
        r.SetBookmarkEntry({BookmarkEntry(at(120), QStringLiteral("first")), BookmarkEntry(at(150), QStringLiteral("server"))});
        f->update(r);

        const Marks merged{{qint64(at(120)), "first"}, {qint64(at(150)), "server"}, {qint64(at(180)), "user only"}};
        std::vector<Sent> sent = sentBookmarks(f->live.backend());
        QCOMPARE(int(sent.size()), 1);
        QCOMPARE(sent[0].recordId, QStringLiteral("T1"));
        QCOMPARE(sent[0].entries, merged);
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{2000, "first"}, {5000, "server"}, {8000, "user only"}}));
        // Settled: nothing further goes out.
        f->update(*f->live.backend().GetRecord(kDevice, QStringLiteral("T1")));
        QVERIFY(sentBookmarks(f->live.backend()).empty());
    }

    void unsavedEditDroppedByEmptyServerList()
    {
        VOREX_RecordData r = record(QStringLiteral("T1"), {IndexEntry(at(100), 0)},
                                    {BookmarkEntry(at(120), QStringLiteral("first"))});
        f->show(r);
        f->bar()->AddBookmark(5000, QStringLiteral("mine"));
        QCOMPARE(int(f->bar()->GetBookmarks().size()), 2);

        r.SetIndexEntry(fullIndex());
        r.SetBookmarkEntry({});
        f->update(r);
        QVERIFY(f->bar()->GetBookmarks().empty());
        QVERIFY(sentBookmarks(f->live.backend()).empty());

        // The edit is gone for good: the next update is shown as it is.
        r.SetBookmarkEntry({BookmarkEntry(at(190), QStringLiteral("later"))});
        f->update(r);
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{9000, "later"}}));
        QVERIFY(sentBookmarks(f->live.backend()).empty());
    }

    void pendingEditsSavedForRecordBeingLeft()
    {
        f->show(record(QStringLiteral("T1"), fullIndex(), {BookmarkEntry(at(120), QStringLiteral("first"))}));
        f->live.backend().SetRecord(kDevice, record(QStringLiteral("T2"), fullIndex(), {BookmarkEntry(at(110), QStringLiteral("other"))}));
        vrxtest::settle();

        // An operator edit (a rename to the same text) marks the bar edited;
        // a further change reaches the bar while its notifications are held
        // back, so it is not stored yet.
        QVERIFY(f->bar()->RenameBookmark(0, QStringLiteral("first")));
        {
            QSignalBlocker hold(f->bar());
            f->bar()->AddBookmark(5000, QStringLiteral("pending"));
        }
        QVERIFY(sentBookmarks(f->live.backend()).empty());

        f->live.simulator().SelectRecord(0, kDevice, QStringLiteral("T2"));
        vrxtest::settle();
        const std::vector<Sent> sent = sentBookmarks(f->live.backend());
        QCOMPARE(int(sent.size()), 1);
        QCOMPARE(sent[0].recordId, QStringLiteral("T1"));
        QCOMPARE(sent[0].entries, (Marks{{qint64(at(120)), "first"}, {qint64(at(150)), "pending"}}));
        // The bar shows the new record's bookmarks.
        QCOMPARE(marksOf(f->bar()->GetBookmarks()), (Marks{{1000, "other"}}));
    }
};

QTEST_MAIN(TestReplayBar)
#include "tst_replaybar.moc"
