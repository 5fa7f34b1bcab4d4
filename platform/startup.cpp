#include "startup.h"

#include "base.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QDir>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

#include <map>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace ThreadingHelper {

namespace {

std::atomic<int> g_liveEvents{0};

struct Registry
{
    std::mutex mutex;
    // Per target, its pending events: a busy target can have thousands
    // queued, and each completes on its own.
    std::unordered_map<void*, std::unordered_set<RunInMainThreadEvent_Impl*>> byObject;
};

Registry& registry()
{
    // Never destroyed: events may still complete during static destruction.
    static auto* instance = new Registry;
    return *instance;
}

// Receives the events in the GUI thread and makes their calls.
class Dispatcher : public QObject
{
public:
    bool event(QEvent* e) override
    {
        if (e->type() != RunInMainThreadEvent_Impl::EventType())
            return QObject::event(e);
        static_cast<RunInMainThreadEvent_Impl*>(e)->processEvent(true);
        return true;
    }
};

std::mutex g_dispatcherMutex;
QPointer<QObject> g_dispatcher;

QObject* dispatcher()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_dispatcherMutex);
    if (!g_dispatcher) {
        auto* d = new Dispatcher;
        d->moveToThread(app->thread());
        // Parented to the application, it dies with it and Qt drops (deletes)
        // the events still queued for it.
        d->setParent(app);
        g_dispatcher = d;
    }
    return g_dispatcher.data();
}

} // namespace

ThreadSwitchingHandler::ThreadSwitchingHandler(bool flag1, bool flag2, const char* file, unsigned line)
    : m_flag1(flag1), m_flag2(flag2), m_file(file), m_line(line)
{
    (void)m_flag1;
    (void)m_flag2;
}

ThreadSwitchingHandler::~ThreadSwitchingHandler() = default;

void ThreadSwitchingHandler::RunInMainThread_Impl(QEvent* event)
{
    if (!event)
        return;
    QObject* target = dispatcher();
    if (!target) {
        delete event;
        return;
    }
    QCoreApplication::postEvent(target, event);
}

std::unique_ptr<ThreadSwitchingHandler_TemplateWrapper>
ThreadSwitchingAdministration::CreateThreadSwitchingHandler(bool flag1, bool flag2, const char* file, unsigned line)
{
    return std::make_unique<ThreadSwitchingHandler_TemplateWrapper>(flag1, flag2, file, line);
}

void ThreadSwitchingAdministration::NotifyObjectDestroyed(void* object)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto found = r.byObject.find(object);
    if (found == r.byObject.end())
        return;
    for (RunInMainThreadEvent_Impl* event : found->second)
        event->notifyDeletion();
    r.byObject.erase(found);
}

int ThreadSwitchingAdministration::LiveEventCount()
{
    return g_liveEvents.load();
}

int ThreadSwitchingAdministration::PendingEventCount(void* object)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto found = r.byObject.find(object);
    return found == r.byObject.end() ? 0 : static_cast<int>(found->second.size());
}

RunInMainThreadEvent_Impl::RunInMainThreadEvent_Impl(ThreadSwitchingHandler* /*handler*/)
    : QEvent(EventType())
{
    ++g_liveEvents;
}

RunInMainThreadEvent_Impl::~RunInMainThreadEvent_Impl()
{
    // The derived event normally completed itself already; this covers an
    // event destroyed without that.
    if (!m_bCompleted.exchange(true))
        unregister();
    --g_liveEvents;
}

QEvent::Type RunInMainThreadEvent_Impl::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void RunInMainThreadEvent_Impl::registerAtObject(void* object)
{
    if (!object)
        return;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    m_pObject = object;
    r.byObject[object].insert(this);
}

void RunInMainThreadEvent_Impl::notifyDeletion()
{
    m_bTargetAlive = false;
}

void RunInMainThreadEvent_Impl::processEvent(bool executeCall)
{
    if (m_bCompleted.exchange(true))
        return;
    unregister();
    if (executeCall && m_bTargetAlive.load())
        execute();
}

void RunInMainThreadEvent_Impl::unregister()
{
    if (!m_pObject)
        return;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto found = r.byObject.find(m_pObject);
    if (found == r.byObject.end())
        return;
    found->second.erase(this);
    if (found->second.empty())
        r.byObject.erase(found);
}

} // namespace ThreadingHelper

// ---------------------------------------------------------------- translations

struct TranslationCenter::Private
{
    mutable std::mutex mutex;
    std::map<QString, int> counts;
    std::map<QString, QTranslator*> catalogues;
};

TranslationCenter::TranslationCenter() : d(new Private) {}

TranslationCenter* TranslationCenter::Instance()
{
    static TranslationCenter instance;
    return &instance;
}

void TranslationCenter::RegisterTranslation(const QString& name)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (d->counts[OwnedText(name)]++ > 0)
        return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // The folder named in the environment, else one beside the program, else
    // the one this build made (so a program run from its build folder finds it).
    QString dir = qEnvironmentVariable("VRX_TRANSLATIONS_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/translations");
#ifdef VRX_DEFAULT_TRANSLATIONS_DIR
    if (!QFileInfo::exists(dir) && qEnvironmentVariableIsEmpty("VRX_TRANSLATIONS_DIR"))
        dir = QStringLiteral(VRX_DEFAULT_TRANSLATIONS_DIR);
#endif
    auto* translator = new QTranslator;
    if (translator->load(QLocale(), name, QStringLiteral("_"), dir) && app->installTranslator(translator)) {
        d->catalogues[OwnedText(name)] = translator;
    } else {
        delete translator;
    }
}

void TranslationCenter::UnregisterTranslation(const QString& name)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    auto it = d->counts.find(name);
    if (it == d->counts.end())
        return;
    if (--it->second > 0)
        return;
    d->counts.erase(it);
    auto cat = d->catalogues.find(name);
    if (cat != d->catalogues.end()) {
        if (QCoreApplication::instance())
            QCoreApplication::removeTranslator(cat->second);
        delete cat->second;
        d->catalogues.erase(cat);
    }
}

int TranslationCenter::RegistrationCount(const QString& name) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    auto it = d->counts.find(name);
    return it == d->counts.end() ? 0 : it->second;
}

bool TranslationCenter::IsCatalogueLoaded(const QString& name) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->catalogues.count(name) != 0;
}
