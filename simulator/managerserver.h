#pragma once

// The recorder manager process's objects on the wire, as doc/protocol.md
// describes them: the central service (naming, values, notifications), the
// manager's root, one replay and one channel object per channel, the admin
// object, and the calls back into the hosts.
//
// Threads: ORB threads receive the calls and post the work to the GUI
// thread, where the simulator, its backend and its value tree live, and wait
// a bounded time for the answer. Calls into hosts never run on the GUI
// thread: each subscription and each host's status callbacks have a thread
// of their own with a bounded queue, so a slow or dead host delays only its
// own messages and loses them (the subscription is dropped on the first
// failure).

#include "cco.hh"
#include "vorexmanager.hh"

#include <QObject>
#include <QString>

#include "base.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>
#include <type_traits>

class QTimer;

namespace VorexSim {

class RecorderManagerSimulator;
class ValueBridge;
struct ValueEvent;

// Runs tasks on a thread of its own, in the order they were posted.
class CallQueue
{
public:
    explicit CallQueue(size_t limit);
    ~CallQueue();
    CallQueue(const CallQueue&) = delete;
    CallQueue& operator=(const CallQueue&) = delete;
    // False when the queue is full or stopped; the task is not run then.
    bool post(std::function<void()> task);
    // While held, posted tasks wait without waking the thread; release()
    // wakes it once for all of them.
    void hold();
    void release();
    // Drops what is pending and waits for the running task.
    void stop();

private:
    void run();
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    const size_t m_limit;
    bool m_stopping = false;
    bool m_held = false;
    std::thread m_thread;
};

class ManagerServer : public QObject
{
    Q_OBJECT

public:
    ManagerServer(CORBA::ORB_ptr orb, RecorderManagerSimulator* simulator, QObject* parent = nullptr);
    ~ManagerServer() override;

    // Activates every object (fixed IDs in the ORB's INS POA) and registers
    // the manager's root under "VorexManager". Returns the central service.
    CORBA::Object_ptr activate();
    // Before the ORB shuts down: refuses further calls, stops the threads
    // that call hosts and releases every reference to them.
    void shutdown();

    // A report line: standard error and every subscription (kind 0).
    void report(const QString& text);

    // Runs `work` on the GUI thread and returns its result or rethrows its
    // exception; TRANSIENT when the GUI thread does not answer in time or the
    // manager shuts down.
    template <class F>
    auto onMain(F work) -> decltype(work());

    // --- for the servants (GUI thread)
    RecorderManagerSimulator* simulator() const { return m_pSimulator; }
    ValueBridge* bridge() const { return m_bridge.get(); }
    CORBA::Object_ptr reference(const char* id) const; // new reference
    // Activates one more object under a fixed ID; the POA takes the servant.
    void addServant(const QString& id, PortableServer::ServantBase* servant);
    // Keeps every command the backend takes until someone takes them (test
    // control); otherwise they are dropped now and then.
    void keepCommands();
    void setChannelClient(int channel, const QString& client);
    QString channelClient(int channel) const;
    // Writes into the tree on behalf of `client`: its own subscriptions do
    // not hear of it.
    void asClient(const QString& client, const std::function<void()>& write);
    IObserver* clientWriter() const { return m_pClientWriter.get(); }
    quint64 subscribe(CCO::Callback_ptr listener, const QString& client, const std::set<int>& channels);
    void unsubscribe(quint64 id);

    // --- any thread
    void registerObject(const std::string& name, CORBA::Object_ptr object);
    CORBA::Object_ptr resolve(const std::string& name) const; // new reference or nil
    CORBA::Object_ptr unregisterObject(const std::string& name);

protected:
    bool event(QEvent* e) override;

private:
    struct Subscription;
    // Work for the main thread, in the order given: handed over under
    // m_mainMutex, the event only wakes the main thread (Qt's own locking is
    // invisible to ThreadSanitizer, which took a hand-over inside an event
    // for a race).
    void postToMain(std::function<void()> work);
    std::mutex m_mainMutex;
    std::deque<std::function<void()>> m_mainWork; // under m_mainMutex
    void valueChanged(const ValueEvent& event);
    void dropSubscriptions(const std::vector<quint64>& ids);
    void recordChanged(const QString& deviceId, const QString& recordId, bool deleted);
    void deviceChanged(const QString& deviceId);
    void toHosts(const char* suffix, const std::function<void(CORBA::Object_ptr)>& call);

    CORBA::ORB_var m_orb;
    PortableServer::POA_var m_insPoa;
    RecorderManagerSimulator* m_pSimulator;
    std::unique_ptr<ValueBridge> m_bridge;
    std::unique_ptr<IObserver> m_pClientWriter;
    std::atomic<bool> m_bStopping{false};
    QTimer* m_pHousekeeping = nullptr;

    std::map<int, QString> m_channelClients;
    std::map<quint64, std::unique_ptr<Subscription>> m_subscriptions;
    quint64 m_nNextSubscription = 1;
    std::map<QString, std::unique_ptr<CallQueue>> m_hostQueues; // "<client>" -> its status callbacks

    mutable std::mutex m_registryMutex;
    std::map<std::string, CORBA::Object_var> m_registry;
};

template <class F>
auto ManagerServer::onMain(F work) -> decltype(work())
{
    using R = decltype(work());
    if constexpr (std::is_void_v<R>) {
        onMain([work]() { work(); return true; });
    } else {
        struct State
        {
            std::mutex mutex;
            std::condition_variable done;
            bool finished = false;
            std::exception_ptr error;
            R result{};
        };
        if (m_bStopping)
            throw CORBA::TRANSIENT(0, CORBA::COMPLETED_NO);
        auto state = std::make_shared<State>();
        postToMain([this, state, work]() {
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                if (state->finished) // the caller gave up
                    return;
            }
            R result{};
            std::exception_ptr error;
            try {
                if (m_bStopping)
                    throw CORBA::TRANSIENT(0, CORBA::COMPLETED_NO);
                result = work();
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(state->mutex);
            state->result = std::move(result);
            state->error = error;
            state->finished = true;
            state->done.notify_all();
        });
        std::unique_lock<std::mutex> lock(state->mutex);
        // Below the hosts' call time-out, so that they get an answer.
        if (!state->done.wait_for(lock, std::chrono::milliseconds(1500), [&] { return state->finished; })) {
            state->finished = true;
            throw CORBA::TRANSIENT(0, CORBA::COMPLETED_MAYBE);
        }
        if (state->error)
            std::rethrow_exception(state->error);
        return std::move(state->result);
    }
}

} // namespace VorexSim
