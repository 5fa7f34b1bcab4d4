#include "vorexclient.h"
#include "vorexclient_p.h"

#include "umm.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <algorithm>

// ---------------------------------------------------------------------------
// VTHelper
// ---------------------------------------------------------------------------

VTHelper& VTHelper::Instance()
{
    static VTHelper helper;
    return helper;
}

bool VTHelper::SafeSetValue(values::ValueSelection* selection, long key, IObserver* writer)
{
    if (!selection)
        return false;
    return selection->SelectIndex(key, writer);
}

namespace {
const QString kTraceFile = QStringLiteral("platform/vorexclient");

void traceWarning(const QString& text, unsigned short line)
{
    if (ErrorHandler::Instance()->IsTraceOn(ErrorHandler::TraceWarnings))
        _Q_Trace(text, kTraceFile, line);
}

template <typename T>
void setValueAt(const QString& path, const T& value, IObserver* observer, unsigned short line)
{
    try {
        values::Tree* tree = values::Tree::Instance();
        if (!tree)
            return;
        auto typed = tree->FindValueAs<values::Value<T>>(path);
        if (!typed)
            return;
        typed->Set(value, observer);
    } catch (...) {
        traceWarning(QStringLiteral("Undefined EXCEPTION in SetValueInternal"), line);
    }
}
} // namespace

template <> void VTHelper::SetValueInternal<int>(const QString& path, int value, IObserver* observer)
{
    setValueAt(path, value, observer, __LINE__);
}

template <> void VTHelper::SetValueInternal<QString>(const QString& path, QString value, IObserver* observer)
{
    setValueAt(path, value, observer, __LINE__);
}

template <> void VTHelper::SetValueInternal<bool>(const QString& path, bool value, IObserver* observer)
{
    setValueAt(path, value, observer, __LINE__);
}

namespace VorexCommon {

// ---------------------------------------------------------------------------
// Connection data
// ---------------------------------------------------------------------------

AbstractServerConnectionData::AbstractServerConnectionData(const QString& connectionFirst, const QString& connectionSecond, QObject* parent)
    : QObject(parent),
      m_strConnectionFirst(connectionFirst),
      m_strConnectionSecond(connectionSecond),
      m_spConfiguration(currentConfiguration())
{
    RecorderManagerEvents* events = RecorderManagerEvents::Instance();
    connect(events, &RecorderManagerEvents::si_connectionChanged, this, &AbstractServerConnectionData::sl_backendConnectionChanged);
    connect(events, &RecorderManagerEvents::si_deviceAdded, this, &AbstractServerConnectionData::sl_backendDeviceAdded);
    // The owner connects to our signals after construction; announce a
    // connection that is already up from the event loop.
    QMetaObject::invokeMethod(this, "sl_announceConnection", Qt::QueuedConnection);
}

AbstractServerConnectionData::~AbstractServerConnectionData() = default;

bool AbstractServerConnectionData::IsConnected() const
{
    return managerConnected();
}

void AbstractServerConnectionData::sl_announceConnection()
{
    if (managerConnected() && !m_bAnnouncedConnected) {
        m_bAnnouncedConnected = true;
        emit si_allTicsConnected(m_strConnectionFirst);
    }
}

void AbstractServerConnectionData::sl_backendConnectionChanged(bool /*connected*/)
{
    // Read the state now rather than trusting the queued argument, so that a
    // quick down/up sequence ends in the state the backend really has.
    const bool connected = managerConnected();
    if (connected == m_bAnnouncedConnected)
        return;
    m_bAnnouncedConnected = connected;
    if (connected)
        emit si_allTicsConnected(m_strConnectionFirst);
    else
        emit si_allTicsDisconnected(m_strConnectionFirst);
}

void AbstractServerConnectionData::sl_backendDeviceAdded(const QString& deviceId)
{
    emit si_deviceNodeAdded(deviceId);
}

KernoServerConnectionData::KernoServerConnectionData(const QString& connectionFirst, const QString& connectionSecond, QObject* parent)
    : AbstractServerConnectionData(connectionFirst, connectionSecond, parent)
{
}

KernoServerConnectionData::~KernoServerConnectionData() = default;

IVtClient* KernoServerConnectionData::getVtClient(const QString& name, int connectionType)
{
    if (connectionType != 1)
        return nullptr;
    auto backend = RecorderManagerLink::Installed();
    if (backend && !backend->IsValueTreeReachable())
        return nullptr;
    std::unique_ptr<VtClient>& client = m_vtClients[name];
    if (!client)
        client.reset(new VtClient(name));
    return client.get();
}

void KernoServerConnectionData::SetChannelId_ValuePath(const QString& path)
{
    m_strChannelPath = path;
}

QString KernoServerConnectionData::GetChannelId_ValuePath() const
{
    return m_strChannelPath;
}

bool KernoServerConnectionData::IsChannelConnected() const
{
    if (!managerConnected() || m_strChannelPath.isEmpty())
        return false;
    return values::Tree::Instance()->FindNode(m_strChannelPath) != nullptr;
}

bool KernoServerConnectionData::IsDeviceConnected() const
{
    if (!IsChannelConnected())
        return false;
    auto device = values::Tree::Instance()->FindValueAs<values::Value<QString>>(m_strChannelPath + QStringLiteral("/DeviceID"));
    auto backend = RecorderManagerLink::Installed();
    return device && backend && backend->HasDevice(device->Get());
}

// ---------------------------------------------------------------------------
// ToolbarHelper
// ---------------------------------------------------------------------------

namespace {
// Texts of the recorder manager's result codes; empty for a code it does not define.
QString managerResultText(quint32 id)
{
    switch (id) {
    case RecorderManagerBackend::eResult_Ok:
        return QCoreApplication::translate("ToolbarHelper", "The Vorex Manager accepted the command.");
    case RecorderManagerBackend::eResult_NotConnected:
        return QCoreApplication::translate("ToolbarHelper", "The Vorex Manager is not reachable.");
    case RecorderManagerBackend::eResult_UnknownDevice:
        return QCoreApplication::translate("ToolbarHelper", "The Vorex Manager does not know the recorder device.");
    case RecorderManagerBackend::eResult_UnknownRecord:
        return QCoreApplication::translate("ToolbarHelper", "The Vorex Manager does not know the record.");
    default:
        return QString();
    }
}

QString clientLibraryText(quint32 id)
{
    switch (id) {
    case 250: return QCoreApplication::translate("ToolbarHelper", "The data of the current record is not available.");
    case 251: return QCoreApplication::translate("ToolbarHelper", "The recorder device is not available.");
    case 252: return QCoreApplication::translate("ToolbarHelper", "The Vorex Manager is not connected.");
    case 253: return QCoreApplication::translate("ToolbarHelper", "The replay could not be started.");
    case 254: return QCoreApplication::translate("ToolbarHelper", "The continuous replay could not be started.");
    case 255: return QCoreApplication::translate("ToolbarHelper", "The recording could not be started.");
    case 256: return QCoreApplication::translate("ToolbarHelper", "The continuous recording could not be started.");
    case 257: return QCoreApplication::translate("ToolbarHelper", "No record is selected for the replay.");
    case 258: return QCoreApplication::translate("ToolbarHelper", "The Vorex Manager did not answer in time.");
    default: return QString();
    }
}
} // namespace

// Context 0 also receives manager codes (a rejected pause is reported with
// the manager's code and context 0), so both tables are asked there.
QString ToolbarHelper::ErrorId2Text(quint32 id, int context)
{
    QString text = context == 1 ? managerResultText(id) : clientLibraryText(id);
    if (text.isEmpty())
        text = context == 1 ? clientLibraryText(id) : managerResultText(id);
    if (text.isEmpty()) {
        text = context == 1
            ? QCoreApplication::translate("ToolbarHelper", "The Vorex Manager rejected the command (error %1).").arg(id)
            : QCoreApplication::translate("ToolbarHelper", "Unknown error (%1).").arg(id);
    }
    return text;
}

// ---------------------------------------------------------------------------
// ErrorDescriptor
// ---------------------------------------------------------------------------

namespace {
struct ErrorDef
{
    ErrorDescriptor::ErrorClassifier classifier;
    bool show;
    QString text;
    QString namedText; // with %1, %2, ... for what a "KEY|a|b" key names
};

const char* const kErrorContext = "VorexCommon::ErrorDescriptor";
const QChar kErrorKeySeparator = QLatin1Char('|');

std::mutex g_errorMutex;
std::map<QString, ErrorDef>& errorTable()
{
    static std::map<QString, ErrorDef> table;
    return table;
}
std::vector<ErrorDescriptor::CommandResponse>& responseLog()
{
    static std::vector<ErrorDescriptor::CommandResponse> log;
    return log;
}

void fillDefaultErrors(std::map<QString, ErrorDef>& table)
{
    table.clear();
    table[QStringLiteral("VRX_INFO_RECORD_STARTED")] = ErrorDef{
        ErrorDescriptor::INFO, false, QStringLiteral(QT_TRANSLATE_NOOP("VorexCommon::ErrorDescriptor", "The recording has started.")),
        QStringLiteral(QT_TRANSLATE_NOOP("VorexCommon::ErrorDescriptor", "%1: the recording on %2 has started."))};
    table[QStringLiteral("VRX_WARN_DISC_ALMOST_FULL")] = ErrorDef{
        ErrorDescriptor::WARNING, true, QStringLiteral(QT_TRANSLATE_NOOP("VorexCommon::ErrorDescriptor", "The recorder device is almost full.")),
        QStringLiteral(QT_TRANSLATE_NOOP("VorexCommon::ErrorDescriptor", "%1: the recorder device %2 is almost full."))};
    table[QStringLiteral("VRX_ERR_DISC_FULL")] = ErrorDef{
        ErrorDescriptor::ERROR, true, QStringLiteral(QT_TRANSLATE_NOOP("VorexCommon::ErrorDescriptor", "The recorder device is full. The activity was stopped.")),
        QStringLiteral(QT_TRANSLATE_NOOP("VorexCommon::ErrorDescriptor", "%1: the recorder device %2 is full. The recording was stopped."))};
    table[QStringLiteral("VRX_ERR_DEVICE_FAILURE")] = ErrorDef{
        ErrorDescriptor::ERROR, true, QStringLiteral(QT_TRANSLATE_NOOP("VorexCommon::ErrorDescriptor", "The recorder device failed. The activity was stopped.")),
        QStringLiteral(QT_TRANSLATE_NOOP("VorexCommon::ErrorDescriptor", "%1: the recorder device %2 failed. The activity was stopped."))};
    table[QStringLiteral("VRX_FATAL_INTERNAL")] = ErrorDef{
        ErrorDescriptor::FATAL, true, QStringLiteral(QT_TRANSLATE_NOOP("VorexCommon::ErrorDescriptor", "The Vorex Manager reported an internal error.")),
        QString()};
}

struct ErrorTableInit
{
    ErrorTableInit()
    {
        std::lock_guard<std::mutex> lock(g_errorMutex);
        fillDefaultErrors(errorTable());
    }
} g_errorTableInit;
} // namespace

ErrorDescriptor::StruReturnErrorCode::~StruReturnErrorCode()
{
    m_strText.clear();
    m_strSecondText.clear();
    m_bShow = false;
    m_eClassifier = NO_ERROR;
}

ErrorDescriptor::ErrorDescriptor(const QString& rootPath) : m_strRootPath(rootPath) {}

QStringList ErrorDescriptor::ClassifierNames()
{
    return QStringList{QStringLiteral("INFO"), QStringLiteral("WARNING"), QStringLiteral("ERROR"),
                       QStringLiteral("FATAL"), QStringLiteral("NO_ERROR")};
}

void ErrorDescriptor::WriteCommandResponse(int classifier, const QString& source, const QString& command, const QString& text)
{
    {
        std::lock_guard<std::mutex> lock(g_errorMutex);
        // A host nobody reads the log of would keep every response of its
        // lifetime: the oldest go first.
        auto& log = responseLog();
        if (log.size() >= kResponseLogLimit)
            log.erase(log.begin(), log.begin() + std::ptrdiff_t(log.size() - kResponseLogLimit + 1));
        log.push_back(CommandResponse{classifier, OwnedText(source), OwnedText(command), OwnedText(text), OwnedText(m_strRootPath)});
    }
    const QStringList names = ClassifierNames();
    const QString name = classifier >= 0 && classifier < names.size() ? names.at(classifier) : QString::number(classifier);
    traceWarning(QStringLiteral("ErrorDescriptor::WriteCommandResponse %1 %2 %3: %4").arg(name, source, command, text), __LINE__);
}

ErrorDescriptor::StruReturnErrorCode* ErrorDescriptor::GetErrorCodePtr(const QString& key) const
{
    auto* record = new StruReturnErrorCode;
    const QStringList parts = key.trimmed().split(kErrorKeySeparator);
    {
        std::lock_guard<std::mutex> lock(g_errorMutex);
        auto it = errorTable().find(parts.first());
        if (it == errorTable().end())
            return record;
        record->m_bShow = it->second.show;
        record->m_eClassifier = it->second.classifier;
        const bool named = parts.size() > 1 && !it->second.namedText.isEmpty();
        QString text = QCoreApplication::translate(kErrorContext, qPrintable(named ? it->second.namedText : it->second.text));
        for (int i = 1; named && i < parts.size(); ++i)
            text = text.arg(parts.at(i));
        record->m_strText = text;
        record->m_strSecondText = key.trimmed();
    }
    // The host is handed only the text: the class goes with it so that the
    // host's message can show the matching icon.
    ErrorHandler::Instance()->NoteMessageClass(record->m_strText, record->m_eClassifier);
    return record;
}

void ErrorDescriptor::RegisterError(const QString& key, ErrorClassifier classifier, bool show, const QString& text,
                                    const QString& namedText)
{
    std::lock_guard<std::mutex> lock(g_errorMutex);
    errorTable()[OwnedText(key)] = ErrorDef{classifier, show, OwnedText(text), OwnedText(namedText)};
}

QString ErrorDescriptor::ErrorKey(const QString& key, const QStringList& about)
{
    QStringList parts{key};
    for (const QString& part : about) // a separator inside a name would split it
        parts << QString(part).replace(kErrorKeySeparator, QLatin1Char('/'));
    return parts.join(kErrorKeySeparator);
}

void ErrorDescriptor::ResetErrorTable()
{
    std::lock_guard<std::mutex> lock(g_errorMutex);
    fillDefaultErrors(errorTable());
}

std::vector<ErrorDescriptor::CommandResponse> ErrorDescriptor::Responses()
{
    std::lock_guard<std::mutex> lock(g_errorMutex);
    return responseLog();
}

std::vector<ErrorDescriptor::CommandResponse> ErrorDescriptor::TakeResponses()
{
    std::lock_guard<std::mutex> lock(g_errorMutex);
    std::vector<CommandResponse> out;
    out.swap(responseLog());
    return out;
}

// ---------------------------------------------------------------------------
// UserRights
// ---------------------------------------------------------------------------

UserRights::UserRights() = default;

UserRights* UserRights::Instance()
{
    static UserRights* instance = [] {
        auto* rights = new UserRights;
        if (QCoreApplication* app = QCoreApplication::instance())
            rights->moveToThread(app->thread());
        return rights;
    }();
    return instance;
}

void UserRights::Initialize(std::shared_ptr<VorexConfiguration> configuration)
{
    m_spConfiguration = std::move(configuration);
}

bool UserRights::IsInitialized() const
{
    return m_spConfiguration != nullptr;
}

bool UserRights::HistoryCommentAllowed() const
{
    return UMM::ActiveUserProxy::instance()->GetAccessLevel(QStringLiteral("VOREX_MANAGEMENT.addHistoryComment")) >= 1;
}

void UserRights::NotifyUserEvent(const QString& event)
{
    if (QThread::currentThread() == thread())
        emit UpdateUserRights(event);
    else
        QMetaObject::invokeMethod(this, [this, event]() { emit UpdateUserRights(event); }, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// DeviceHandler
// ---------------------------------------------------------------------------

DeviceHandler::DeviceHandler(QObject* parent) : QObject(parent)
{
    RecorderManagerEvents* events = RecorderManagerEvents::Instance();
    connect(events, &RecorderManagerEvents::si_deviceAdded, this, [this](const QString&) { Refresh(); });
    connect(events, &RecorderManagerEvents::si_deviceRemoved, this, [this](const QString&) { Refresh(); });
    connect(events, &RecorderManagerEvents::si_deviceChanged, this, [this](const QString&) { Refresh(); });
    m_bConnected = managerConnected();
    Refresh();
}

DeviceHandler::~DeviceHandler() = default;

void DeviceHandler::Initialize(std::shared_ptr<VorexConfiguration> configuration)
{
    m_spConfiguration = std::move(configuration);
    Refresh();
}

void DeviceHandler::SetAllowVirtualDevices(bool allow)
{
    m_bAllowVirtual = allow;
    Refresh();
}

void DeviceHandler::SetAllowedDevices(const QStringList& devices)
{
    m_bAllowAll = false;
    m_allowed = devices;
    Refresh();
}

void DeviceHandler::AllowAllDevices()
{
    m_bAllowAll = true;
    m_allowed.clear();
    Refresh();
}

QStringList DeviceHandler::GetDevices(const QString& subSystem) const
{
    QStringList out;
    for (const DeviceInfo& device : m_devices)
        if (subSystem.isEmpty() || device.subSystem.isEmpty() || device.subSystem == subSystem)
            out << device.deviceId;
    return out;
}

QString DeviceHandler::GetFirstDevice(const QString& subSystem) const
{
    const QStringList devices = GetDevices(subSystem);
    return devices.isEmpty() ? QString() : devices.first();
}

void DeviceHandler::sl_vorexConnected(const QString& /*name*/)
{
    m_bConnected = true;
    Refresh();
}

void DeviceHandler::sl_vorexDisconnected(const QString& /*name*/)
{
    m_bConnected = false;
    Refresh();
}

void DeviceHandler::OnCheckForNewDevices(const QString& /*name*/)
{
    m_bConnected = managerConnected();
    Refresh();
}

void DeviceHandler::Refresh()
{
    std::vector<DeviceInfo> devices;
    auto backend = RecorderManagerLink::Installed();
    if (m_bConnected && backend && backend->IsConnected()) {
        for (const DeviceInfo& device : backend->GetDevices()) {
            if (device.virtualDevice && !m_bAllowVirtual)
                continue;
            if (!m_bAllowAll && !m_allowed.contains(device.deviceId))
                continue;
            devices.push_back(device);
        }
    }
    std::sort(devices.begin(), devices.end(), [](const DeviceInfo& a, const DeviceInfo& b) { return a.deviceId < b.deviceId; });
    const bool changed = devices.size() != m_devices.size()
        || !std::equal(devices.begin(), devices.end(), m_devices.begin(), [](const DeviceInfo& a, const DeviceInfo& b) {
               return a.deviceId == b.deviceId && a.subSystem == b.subSystem;
           });
    m_devices = devices;
    if (changed)
        emit si_devicesChanged();
}

} // namespace VorexCommon
