#pragma once

// Main-thread calls: an event that carries a member-function call with copies
// of its arguments from any thread into the GUI thread. The startup library
// delivers the event (or drops it when its target died first); the event
// makes the call.

#include "startup.h"
#include "vorexclient.h"

#include <memory>
#include <type_traits>
#include <utility>

namespace ThreadingHelper {

template <typename T, typename F>
class RunInMainThreadEvent0 : public RunInMainThreadEvent_Impl
{
public:
    RunInMainThreadEvent0(ThreadSwitchingHandler* handler, T target, F method)
        : RunInMainThreadEvent_Impl(handler), m_target(target), m_method(method),
          m_thunk(&RunInMainThreadEvent0::call)
    {
    }
    // Completes an undelivered event before the stored arguments go.
    ~RunInMainThreadEvent0() override { processEvent(false); }
    void execute() override { (this->*m_thunk)(); }

private:
    void call() { (m_target->*m_method)(); }

    T m_target;
    F m_method;
    void (RunInMainThreadEvent0::*m_thunk)();
};

template <typename T, typename F, typename A1>
class RunInMainThreadEvent1 : public RunInMainThreadEvent_Impl
{
public:
    RunInMainThreadEvent1(ThreadSwitchingHandler* handler, T target, F method, A1 a1)
        : RunInMainThreadEvent_Impl(handler), m_target(target), m_method(method),
          m_a1(std::move(a1)), m_thunk(&RunInMainThreadEvent1::call)
    {
    }
    ~RunInMainThreadEvent1() override { processEvent(false); }
    void execute() override { (this->*m_thunk)(); }

private:
    void call() { (m_target->*m_method)(m_a1); }

    T m_target;
    F m_method;
    A1 m_a1;
    void (RunInMainThreadEvent1::*m_thunk)();
};

template <typename T, typename F, typename A1, typename A2>
class RunInMainThreadEvent2 : public RunInMainThreadEvent_Impl
{
public:
    RunInMainThreadEvent2(ThreadSwitchingHandler* handler, T target, F method, A1 a1, A2 a2)
        : RunInMainThreadEvent_Impl(handler), m_target(target), m_method(method),
          m_a1(std::move(a1)), m_a2(std::move(a2)), m_thunk(&RunInMainThreadEvent2::call)
    {
    }
    ~RunInMainThreadEvent2() override { processEvent(false); }
    void execute() override { (this->*m_thunk)(); }

private:
    void call() { (m_target->*m_method)(m_a1, m_a2); }

    T m_target;
    F m_method;
    A1 m_a1;
    A2 m_a2;
    void (RunInMainThreadEvent2::*m_thunk)();
};

template <typename T, typename F, typename A1, typename A2, typename A3>
class RunInMainThreadEvent3 : public RunInMainThreadEvent_Impl
{
public:
    RunInMainThreadEvent3(ThreadSwitchingHandler* handler, T target, F method, A1 a1, A2 a2, A3 a3)
        : RunInMainThreadEvent_Impl(handler), m_target(target), m_method(method),
          m_a1(std::move(a1)), m_a2(std::move(a2)), m_a3(std::move(a3)),
          m_thunk(&RunInMainThreadEvent3::call)
    {
    }
    ~RunInMainThreadEvent3() override { processEvent(false); }
    void execute() override { (this->*m_thunk)(); }

private:
    // A by-value parameter receives a fresh copy of the stored argument, so
    // the event can never be left holding a moved-from value.
    void call() { (m_target->*m_method)(m_a1, m_a2, m_a3); }

    T m_target;
    F m_method;
    A1 m_a1;
    A2 m_a2;
    A3 m_a3;
    void (RunInMainThreadEvent3::*m_thunk)();
};

namespace detail {
template <typename T, typename F, typename... A>
struct EventFor;
template <typename T, typename F>
struct EventFor<T, F>
{
    typedef RunInMainThreadEvent0<T*, F> type;
};
template <typename T, typename F, typename A1>
struct EventFor<T, F, A1>
{
    typedef RunInMainThreadEvent1<T*, F, A1> type;
};
template <typename T, typename F, typename A1, typename A2>
struct EventFor<T, F, A1, A2>
{
    typedef RunInMainThreadEvent2<T*, F, A1, A2> type;
};
template <typename T, typename F, typename A1, typename A2, typename A3>
struct EventFor<T, F, A1, A2, A3>
{
    typedef RunInMainThreadEvent3<T*, F, A1, A2, A3> type;
};
} // namespace detail

template <typename T, typename F, typename... A>
void ThreadSwitchingHandler_TemplateWrapper::RunInMainThread(T* target, F method, A... args)
{
    typedef typename detail::EventFor<T, F, A...>::type Event;
    // Owned here until the handler takes it, so a failure on the way frees it.
    std::unique_ptr<Event> event(new Event(this, target, method, std::move(args)...));
    event->registerAtObject(target);
    RunInMainThread_Impl(event.release());
}

} // namespace ThreadingHelper

// Posts `method` on `target` with copies of the arguments into the GUI
// thread. The handler lives for this one statement.
#define VRX_RUN_IN_MAIN_THREAD(flag1, target, ...)                                                  \
    ThreadingHelper::ThreadSwitchingAdministration::CreateThreadSwitchingHandler((flag1), false,    \
                                                                                 __FILE__, __LINE__) \
        ->RunInMainThread((target), __VA_ARGS__)

template <typename T>
inline void VTHelper::SetValue(const QString& path, T value, IObserver* observer)
{
    static_assert(std::is_same<T, int>::value || std::is_same<T, QString>::value || std::is_same<T, bool>::value,
                  "values are set in the GUI thread for int, QString and bool only");
    void (VTHelper::*setter)(const QString&, T, IObserver*) = &VTHelper::SetValueInternal<T>;
    VRX_RUN_IN_MAIN_THREAD(false, &VTHelper::Instance(), setter, QString(path), std::move(value), observer);
}
