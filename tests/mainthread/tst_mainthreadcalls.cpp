#include "runinmainthreadevent.h"
#include "testsupport.h"

#include <QtTest>

#include <thread>

using ThreadingHelper::ThreadSwitchingAdministration;

namespace {

enum class Mode : quint8 { Stopped = 0, Running = 4 };

// Records every call with the thread it ran on.
class Target
{
public:
    ~Target() { ThreadSwitchingAdministration::NotifyObjectDestroyed(this); }
    void none() { log(QStringLiteral("none")); }
    void one(const Mode& m) { log(QStringLiteral("one %1").arg(int(m))); }
    void two(const Mode& m, const int& n) { log(QStringLiteral("two %1 %2").arg(int(m)).arg(n)); }
    void three(const QString& a, QString b, bool c)
    {
        b.append(QStringLiteral("!")); // a by-value parameter is the callee's own copy
        log(QStringLiteral("three %1 %2 %3").arg(a, b).arg(c));
    }
    void log(const QString& s)
    {
        calls << s;
        threads << QThread::currentThread();
    }
    QStringList calls;
    QList<QThread*> threads;
};

// An argument that checks, when it is destroyed, that its event was already
// completed (unregistered from its target).
struct Witness
{
    static Target* target;
    static int pendingAtDestruction;
    ~Witness()
    {
        if (target)
            pendingAtDestruction = ThreadSwitchingAdministration::PendingEventCount(target);
    }
};
Target* Witness::target = nullptr;
int Witness::pendingAtDestruction = -1;

struct WitnessTarget
{
    void take(const Witness&) {}
};

} // namespace

class TestMainThreadCalls : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QTRY_COMPARE(ThreadSwitchingAdministration::LiveEventCount(), 0);
        values::Tree::Instance()->Release(QStringLiteral("/mtc"));
    }

    void everyArityRunsInTheGuiThreadWithCopies()
    {
        Target target;
        std::thread worker([&] {
            Mode mode = Mode::Running;
            int budget = 20;
            QString path = QStringLiteral("p");
            QString text = QStringLiteral("t");
            VRX_RUN_IN_MAIN_THREAD(true, &target, &Target::none);
            VRX_RUN_IN_MAIN_THREAD(true, &target, &Target::one, mode);
            VRX_RUN_IN_MAIN_THREAD(true, &target, &Target::two, mode, budget);
            VRX_RUN_IN_MAIN_THREAD(false, &target, &Target::three, path, text, true);
            // Changes after posting must not reach the calls.
            mode = Mode::Stopped;
            budget = 0;
            text = QStringLiteral("changed");
        });
        worker.join();
        QTRY_COMPARE(target.calls.size(), 4);
        QCOMPARE(target.calls, (QStringList{"none", "one 4", "two 4 20", "three p t! 1"}));
        for (QThread* t : target.threads)
            QCOMPARE(t, QThread::currentThread());
    }

    void postingFromTheGuiThreadRunsLater()
    {
        Target target;
        VRX_RUN_IN_MAIN_THREAD(true, &target, &Target::none);
        QVERIFY(target.calls.isEmpty());
        QCOMPARE(ThreadSwitchingAdministration::PendingEventCount(&target), 1);
        QTRY_COMPARE(target.calls.size(), 1);
        QCOMPARE(ThreadSwitchingAdministration::PendingEventCount(&target), 0);
    }

    void deadTargetGetsNoCallAndEventsAreFreed()
    {
        auto* target = new Target;
        std::thread worker([&] {
            for (int i = 0; i < 5; ++i)
                VRX_RUN_IN_MAIN_THREAD(true, target, &Target::two, Mode::Running, i);
        });
        worker.join();
        QCOMPARE(ThreadSwitchingAdministration::PendingEventCount(target), 5);
        delete target;
        QCOMPARE(ThreadSwitchingAdministration::PendingEventCount(target), 0);
        QCoreApplication::processEvents();
        QCOMPARE(ThreadSwitchingAdministration::LiveEventCount(), 0);
    }

    void undeliveredEventCompletesBeforeItsArgumentsGo()
    {
        WitnessTarget witnessTarget;
        Target registry; // only used to ask the registry
        Witness::target = &registry;
        {
            auto handler = ThreadSwitchingAdministration::CreateThreadSwitchingHandler(true, false, __FILE__, __LINE__);
            // Registered at `registry`, then destroyed without delivery.
            auto* event = new ThreadingHelper::RunInMainThreadEvent1<WitnessTarget*, void (WitnessTarget::*)(const Witness&), Witness>(
                handler.get(), &witnessTarget, &WitnessTarget::take, Witness());
            event->registerAtObject(&registry);
            QCOMPARE(ThreadSwitchingAdministration::PendingEventCount(&registry), 1);
            delete event;
        }
        QCOMPARE(Witness::pendingAtDestruction, 0);
        Witness::target = nullptr;
    }

    void setValueIsCarriedIntoTheGuiThread()
    {
        auto i = values::Tree::Instance()->CreateValue<values::Value<int>>(QStringLiteral("/mtc/NoOfReplays"), 1);
        auto s = values::Tree::Instance()->CreateValue<values::Value<QString>>(QStringLiteral("/mtc/ReplayDataRateClass"));
        auto b = values::Tree::Instance()->CreateValue<values::Value<bool>>(QStringLiteral("/mtc/TriggeredByCorbaCall"), true);
        vrxtest::RecordingObserver observer;
        i->AddObserver(&observer);
        std::thread worker([] {
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/NoOfReplays"), 0, nullptr);
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/ReplayDataRateClass"), QStringLiteral("R7"), nullptr);
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/TriggeredByCorbaCall"), false, nullptr);
            // Missing path and wrong type: silently nothing.
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/Missing"), 3, nullptr);
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/NoOfReplays"), true, nullptr);
        });
        worker.join();
        QCOMPARE(i->Get(), 1); // nothing happens on the worker
        QTRY_VERIFY(!b->Get());
        QCOMPARE(i->Get(), 0);
        QCOMPARE(s->Get(), QStringLiteral("R7"));
        const auto seen = observer.seen();
        QCOMPARE(int(seen.size()), 1);
        QCOMPARE(seen[0].thread, QThread::currentThread());
        QVERIFY(!values::Tree::Instance()->Find(QStringLiteral("/mtc/Missing")));
        i->RemoveObserver(&observer);

        // The named observer is not told of the write.
        i->AddObserver(&observer);
        observer.clear();
        VTHelper::Instance().SetValue(QStringLiteral("/mtc/NoOfReplays"), 5, &observer);
        QTRY_COMPARE(i->Get(), 5);
        QCOMPARE(int(observer.seen().size()), 0);
        i->RemoveObserver(&observer);
    }
};

QTEST_MAIN(TestMainThreadCalls)
#include "tst_mainthreadcalls.moc"
