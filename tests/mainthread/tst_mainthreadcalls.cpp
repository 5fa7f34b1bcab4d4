// The toolbar's calls into the GUI thread: made there later, with copies of
// the arguments taken when posted; dropped and freed when the target dies.
#include "runinmainthreadevent.h"
#include "testsupport.h"

#include <QtTest>

#include <thread>

using ThreadingHelper::ThreadSwitchingAdministration;

namespace {

int g_callsMade = 0; // outside the targets: a call on a dead one must show too

struct Target
{
    ~Target() { ThreadSwitchingAdministration::NotifyObjectDestroyed(this); }
    void none() { log(QStringLiteral("none")); }
    void one(const quint8& m) { log(QStringLiteral("one %1").arg(m)); }
    void two(const quint8& m, const int& n) { log(QStringLiteral("two %1 %2").arg(m).arg(n)); }
    void three(const QString& a, QString b, bool c)
    {
        b.append(QStringLiteral("!")); // a by-value parameter is the callee's own copy
        log(QStringLiteral("three %1 %2 %3").arg(a, b).arg(c));
    }
    void log(const QString& s)
    {
        ++g_callsMade;
        calls << s + (QThread::currentThread() == qApp->thread() ? "" : " off the GUI thread");
    }
    QStringList calls;
};

} // namespace

class TestMainThreadCalls : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QTRY_COMPARE_WITH_TIMEOUT(ThreadSwitchingAdministration::LiveEventCount(), 0, 1000);
        values::Tree::Instance()->Release(QStringLiteral("/mtc"));
    }

    void callsRunLaterInTheGuiThreadWithCopies()
    {
        Target target;
        VRX_RUN_IN_MAIN_THREAD(true, &target, &Target::none); // from the GUI thread too: later
        QVERIFY(target.calls.isEmpty());
        std::thread([&] {
            quint8 mode = 4;
            int budget = 20;
            QString path = QStringLiteral("p");
            QString text = QStringLiteral("t");
            VRX_RUN_IN_MAIN_THREAD(true, &target, &Target::one, mode);
            VRX_RUN_IN_MAIN_THREAD(true, &target, &Target::two, mode, budget);
            VRX_RUN_IN_MAIN_THREAD(false, &target, &Target::three, path, text, true);
            mode = 0; // changes after posting do not reach the calls
            budget = 0;
            text = QStringLiteral("changed");
        }).join();
        QTRY_COMPARE_WITH_TIMEOUT(target.calls, (QStringList{"none", "one 4", "two 4 20", "three p t! 1"}), 1000);
    }

    // Many workers at once (for the thread sanitizer): each call is made once, in
    // the GUI thread; the calls for a target that died first are dropped and freed.
    void callsFromWorkersReachOnlyLivingTargets()
    {
        Target living;
        auto* dying = new Target;
        std::vector<std::thread> workers;
        for (int w = 0; w < 4; ++w)
            workers.emplace_back([&, w] {
                for (int i = 0; i < 50; ++i) {
                    VRX_RUN_IN_MAIN_THREAD(true, &living, &Target::two, quint8(w), i);
                    VRX_RUN_IN_MAIN_THREAD(true, dying, &Target::two, quint8(w), i);
                }
            });
        for (auto& w : workers)
            w.join();
        const int callsBefore = g_callsMade;
        delete dying; // a call made now would write into freed memory
        QCOMPARE(ThreadSwitchingAdministration::PendingEventCount(dying), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ThreadSwitchingAdministration::LiveEventCount(), 0, 2000);
        QCOMPARE(g_callsMade - callsBefore, 200);
        QCOMPARE(QSet<QString>(living.calls.begin(), living.calls.end()).size(), 200);
        QVERIFY(!living.calls.join(',').contains("off the GUI thread"));
    }

    // Written from a worker, a value changes in the GUI thread; a missing
    // path or another type is silently nothing.
    void setValueIsCarriedIntoTheGuiThread()
    {
        auto tree = values::Tree::Instance();
        auto i = tree->CreateValue<values::Value<int>>(QStringLiteral("/mtc/NoOfReplays"), 1);
        auto s = tree->CreateValue<values::Value<QString>>(QStringLiteral("/mtc/ReplayDataRateClass"));
        auto b = tree->CreateValue<values::Value<bool>>(QStringLiteral("/mtc/TriggeredByCorbaCall"), true);
        vrxtest::ScopedObserver observer(i);
        std::thread([] {
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/NoOfReplays"), 0, nullptr);
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/ReplayDataRateClass"), QStringLiteral("R7"), nullptr);
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/TriggeredByCorbaCall"), false, nullptr);
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/Missing"), 3, nullptr);
            VTHelper::Instance().SetValue(QStringLiteral("/mtc/NoOfReplays"), true, nullptr);
        }).join();
        QCOMPARE(i->Get(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!b->Get(), 1000);
        QCOMPARE(QStringLiteral("%1 %2").arg(i->Get()).arg(s->Get()), QStringLiteral("0 R7"));
        QCOMPARE(int(observer.seen().size()), 1);
        QCOMPARE(observer.seen()[0].thread, QThread::currentThread());
        QVERIFY(!tree->Find(QStringLiteral("/mtc/Missing")));
    }
};

QTEST_MAIN(TestMainThreadCalls)
#include "tst_mainthreadcalls.moc"
