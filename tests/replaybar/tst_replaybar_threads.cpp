// The replay bar's position values written from threads other than the GUI
// thread, as a host may do (run under the thread sanitizer in CI).

#include "replaybarfixture.h"

#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace replaybartest;

class TestReplayBarThreads : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }

    void replayTimeFromWorkerThread()
    {
        Fixture f;
        f.show(record(QStringLiteral("T1"), fullIndex()));
        QCOMPARE(f.replayCommand("StartReplay", {kDevice, QStringLiteral("T1"), 3, quint64(0), quint64(10000), 1u}), 0u);
        QCOMPARE(f.replayCommand("PauseReplay", {kDevice, QStringLiteral("T1")}), 0u);
        QTRY_COMPARE(f.live.selection("ReplayMode"), long(VOREX_XML::Admin::eReplayMode_Paused));

        auto replayTime = f.replayTime();
        auto position = f.numeric("CurrentReplayPosition");
        std::atomic<bool> done{false};
        std::thread host([replayTime, &done]() {
            for (int i = 1; i <= 1000; ++i)
                replayTime->SetNumeric(double(at(100 + i * 0.05)), nullptr);
            done = true;
        });
        // Meanwhile the GUI thread goes on with its work: the manager keeps
        // updating the record, the bar follows.
        VOREX_RecordData r = record(QStringLiteral("T1"), fullIndex());
        for (int i = 0; !done; ++i) {
            r.SetBookmarkEntry({BookmarkEntry(at(120), QStringLiteral("mark %1").arg(i))});
            f.live.backend().SetRecord(kDevice, r);
            QCoreApplication::processEvents();
        }
        host.join();
        vrxtest::settle();
        // Paused and not moved: the last replay time shows (150 s).
        QCOMPARE(position->GetNumeric(), 5000.0);

        // Someone else moves the position from another thread; later
        // replay times leave it where it was put.
        std::thread mover([position]() { position->SetNumeric(777.0, nullptr); });
        mover.join();
        QVERIFY(f.widget()->m_bPositionMoved);
        std::thread host2([replayTime]() { replayTime->SetNumeric(double(at(190)), nullptr); });
        host2.join();
        vrxtest::settle();
        QCOMPARE(position->GetNumeric(), 777.0);
    }

    // The toolbar goes while position updates it was sent are still queued.
    void toolbarDeletedWithUpdatesPending()
    {
        auto f = std::make_unique<Fixture>();
        f->show(record(QStringLiteral("T1"), fullIndex()));
        auto replayTime = f->replayTime();
        std::thread host([replayTime]() {
            for (int i = 0; i < 100; ++i)
                replayTime->SetNumeric(double(at(120 + i)), nullptr);
        });
        host.join();
        f.reset();
        vrxtest::settle();
    }
};

QTEST_MAIN(TestReplayBarThreads)
#include "tst_replaybar_threads.moc"
