#pragma once

// Host startup library: thread switching into the GUI thread, translations.

#include "platform_export.h"

#include <QEvent>
#include <QString>

#include <atomic>
#include <memory>

class QTranslator;

namespace ThreadingHelper {

class VRXPLATFORM_EXPORT SafeThreadSwitchingListener
{
public:
    virtual ~SafeThreadSwitchingListener() = default;
    // The object the listener was registered at is being destroyed.
    virtual void notifyDeletion() = 0;
};

class VRXPLATFORM_EXPORT ThreadSwitchingHandler
{
public:
    ThreadSwitchingHandler(bool flag1, bool flag2, const char* file, unsigned line);
    virtual ~ThreadSwitchingHandler();
    ThreadSwitchingHandler(const ThreadSwitchingHandler&) = delete;
    ThreadSwitchingHandler& operator=(const ThreadSwitchingHandler&) = delete;

    // Takes ownership of `event` (a RunInMainThreadEvent_Impl). Its execute()
    // runs at most once in the GUI thread, always later from the event loop,
    // also when posted from the GUI thread. Without an application object the
    // event is dropped (deleted without a call).
    void RunInMainThread_Impl(QEvent* event);

    const char* File() const { return m_file; }
    unsigned Line() const { return m_line; }

private:
    bool m_flag1;
    bool m_flag2;
    const char* m_file;
    unsigned m_line;
};

// Handler with the posting template; the template's body is provided next to
// the event templates that it builds.
class VRXPLATFORM_EXPORT ThreadSwitchingHandler_TemplateWrapper : public ThreadSwitchingHandler
{
public:
    using ThreadSwitchingHandler::ThreadSwitchingHandler;

    template <typename T, typename F, typename... A>
    void RunInMainThread(T* target, F method, A... args);
};

class VRXPLATFORM_EXPORT ThreadSwitchingAdministration
{
public:
    static std::unique_ptr<ThreadSwitchingHandler_TemplateWrapper>
    CreateThreadSwitchingHandler(bool flag1, bool flag2, const char* file, unsigned line);

    // Called by an object that is a target of main-thread calls when it dies:
    // every event registered at it is told and will make no call.
    static void NotifyObjectDestroyed(void* object);

    // Events constructed and not yet destroyed (tests check for leaks).
    static int LiveEventCount();
    // Events registered at `object` and not yet completed.
    static int PendingEventCount(void* object);
};

class VRXPLATFORM_EXPORT RunInMainThreadEvent_Impl : public QEvent, public SafeThreadSwitchingListener
{
public:
    explicit RunInMainThreadEvent_Impl(ThreadSwitchingHandler* handler);
    ~RunInMainThreadEvent_Impl() override;

    void registerAtObject(void* object);
    void notifyDeletion() override;
    // Completes the event: unregisters it and, when `execute` is true and the
    // target is still alive, makes the call. Only the first call counts.
    void processEvent(bool execute);

    virtual void execute() = 0;

    static QEvent::Type EventType();

private:
    void unregister();

    void* m_pObject = nullptr;
    std::atomic<bool> m_bTargetAlive{true};
    std::atomic<bool> m_bCompleted{false};
};

} // namespace ThreadingHelper

class VRXPLATFORM_EXPORT TranslationCenter
{
public:
    static TranslationCenter* Instance();

    // Registrations are counted per name; the Qt catalogue "<name>_<locale>"
    // is loaded from the translations folder (VRX_TRANSLATIONS_DIR or
    // "translations" beside the executable) on the first one, when present.
    void RegisterTranslation(const QString& name);
    void UnregisterTranslation(const QString& name);
    int RegistrationCount(const QString& name) const;
    bool IsCatalogueLoaded(const QString& name) const;

private:
    TranslationCenter();
    struct Private;
    std::unique_ptr<Private> d;
};
