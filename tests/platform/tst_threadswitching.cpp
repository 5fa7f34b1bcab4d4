#include "startup.h"
#include "testsupport.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace ThreadingHelper;

namespace {

// A minimal event of the kind the plug-in builds: target, member, one copied
// argument. Its destructor completes the event before the argument goes.
template <typename T, typename A>
class CallEvent : public RunInMainThreadEvent_Impl
{
public:
    CallEvent(ThreadSwitchingHandler* handler, T* target, void (T::*method)(const A&), const A& arg)
        : RunInMainThreadEvent_Impl(handler), m_target(target), m_method(method), m_arg(arg)
    {
        registerAtObject(m_target);
    }
    ~CallEvent() override { processEvent(false); }
    void execute() override { (m_target->*m_method)(m_arg); }

private:
    T* m_target;
    void (T::*m_method)(const A&);
    A m_arg;
};

template <typename T, typename A>
void post(T* target, void (T::*method)(const A&), const A& arg)
{
    auto handler = ThreadSwitchingAdministration::CreateThreadSwitchingHandler(true, false, __FILE__, __LINE__);
    handler->RunInMainThread_Impl(new CallEvent<T, A>(handler.get(), target, method, arg));
}

class Target
{
public:
    ~Target() { ThreadSwitchingAdministration::NotifyObjectDestroyed(this); }
    void call(const QString& text) { texts << text; }
    QStringList texts;
};

} // namespace

class TestThreadSwitching : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QTRY_COMPARE(ThreadSwitchingAdministration::LiveEventCount(), 0); }

    void targetDestroyedFirstMakesNoCallAndFreesTheEvent()
    {
        static int calls = 0;
        struct Counted
        {
            ~Counted() { ThreadSwitchingAdministration::NotifyObjectDestroyed(this); }
            void call(const int&) { ++calls; }
        };
        auto* target = new Counted;
        std::thread worker([&] {
            for (int i = 0; i < 10; ++i)
                post(target, &Counted::call, i);
        });
        worker.join();
        QCOMPARE(ThreadSwitchingAdministration::LiveEventCount(), 10);
        delete target;
        QCoreApplication::processEvents();
        QCOMPARE(calls, 0);
        QCOMPARE(ThreadSwitchingAdministration::LiveEventCount(), 0);
    }

    void manyPostsFromManyThreadsEachRunOnce()
    {
        Target target;
        std::vector<std::thread> workers;
        for (int w = 0; w < 4; ++w)
            workers.emplace_back([&, w] {
                for (int i = 0; i < 250; ++i)
                    post(&target, &Target::call, QString::number(w * 1000 + i));
            });
        for (auto& w : workers)
            w.join();
        QTRY_COMPARE(target.texts.size(), 1000);
        QCOMPARE(QSet<QString>(target.texts.begin(), target.texts.end()).size(), 1000);
    }
};

QTEST_MAIN(TestThreadSwitching)
#include "tst_threadswitching.moc"
