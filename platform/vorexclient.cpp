#include "vorexclient.h"

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

// ---------------------------------------------------------------------------
// VOREX_XML
// ---------------------------------------------------------------------------

namespace VOREX_XML {

namespace {
QString nameOf(const char* const* names, int count, long value)
{
    if (value >= 0 && value < count)
        return QString::fromLatin1(names[value]);
    return QStringLiteral("unknown(%1)").arg(value);
}

const char* const kRecordReplayModeNames[] = {
    "eRecordReplayMode_Replay", "eRecordReplayMode_Replaycontinuous", "eRecordReplayMode_Pausereplay",
    "eRecordReplayMode_Record", "eRecordReplayMode_Recordcontinuous", "eRecordReplayMode_Stop"};
const char* const kRecordReplayAllModesNames[] = {
    "eRecordReplayAllModes_Startrecord", "eRecordReplayAllModes_Record", "eRecordReplayAllModes_Recordcontinuous",
    "eRecordReplayAllModes_Recordreplaystopped", "eRecordReplayAllModes_Stopped"};
const char* const kReplayModeNames[] = {
    "eReplayMode_Stopped", "eReplayMode_Starting", "eReplayMode_Paused",
    "eReplayMode_Pausing", "eReplayMode_Running", "eReplayMode_Stopping"};
} // namespace

Admin::ModeList Admin::GetRecordReplayModes()
{
    ModeList modes;
    for (long i = 0; i < 6; ++i)
        modes.push_back(ModeEntry{i, QString::fromLatin1(kRecordReplayModeNames[i])});
    return modes;
}

QString Admin::RecordReplayModeToName(long mode) { return nameOf(kRecordReplayModeNames, 6, mode); }
QString Admin::RecordReplayAllModesToName(long mode) { return nameOf(kRecordReplayAllModesNames, 5, mode); }
QString Admin::ReplayModeToName(long mode) { return nameOf(kReplayModeNames, 6, mode); }
bool Admin::IsValidRecordReplayMode(long mode) { return mode >= 0 && mode <= 5; }
bool Admin::IsValidRecordReplayAllModes(long mode) { return mode >= 0 && mode <= 4; }
bool Admin::IsValidReplayMode(long mode) { return mode >= 0 && mode <= 5; }

VOREX_RecordData::DataRate VOREX_RecordData::NameToDataRate(const QString& name, bool* ok)
{
    const QString trimmed = name.trimmed();
    int rate = -1;
    if (trimmed.startsWith(QLatin1String("DataRate"))) {
        bool numeric = false;
        const int n = trimmed.mid(8).toInt(&numeric);
        if (numeric && DataRateToName(n) == trimmed)
            rate = n;
    } else {
        bool numeric = false;
        const int n = trimmed.toInt(&numeric);
        if (numeric && n >= 0 && n < DataRateCount)
            rate = n;
    }
    if (ok)
        *ok = rate >= 0;
    return rate >= 0 ? static_cast<DataRate>(rate) : eDataRate_0;
}

QString VOREX_RecordData::DataRateToName(int rate)
{
    if (rate < 0 || rate >= DataRateCount)
        return QString();
    return QStringLiteral("DataRate%1").arg(rate);
}

QString VOREX_RecordData::DataRateDisplayName(int rate)
{
    if (rate < 0 || rate >= DataRateCount)
        return QString();
    return QCoreApplication::translate("VOREX_RecordData", "Class %1").arg(rate);
}

quint64 VOREX_RecordData::DefaultRecordSizeLimit(int rate)
{
    static const quint64 sizes[DataRateCount] = {
        262144ull, 20971520ull, 1310720ull, 108003328ull, 41943040ull, 62914560ull, 216006656ull, 324009984ull,
        408944640ull, 125000ull, 2560000ull, 50331648ull, 639631360ull, 1279262720ull, 2558525440ull, 5120000ull};
    if (rate < 0 || rate >= DataRateCount)
        return 0;
    return sizes[rate];
}

VOREX_RecordData::VOREX_RecordData(const QString& recordId, const QString& recordName)
    : m_strRecordId(recordId), m_strRecordName(recordName)
{
}

} // namespace VOREX_XML

// ---------------------------------------------------------------------------
// vorex
// ---------------------------------------------------------------------------

namespace vorex {

QString RecordIdentifier::toString() const
{
    return m_subSystem + QLatin1Char('/') + m_deviceId + QLatin1Char('/') + m_recordId;
}

void registerMetaTypes()
{
    qRegisterMetaType<vorex::RecordIdentifier>("vorex::RecordIdentifier");
    qRegisterMetaType<vorex::RecordIdentifierList>("vorex::RecordIdentifierList");
    qRegisterMetaType<VOREX_XML::BookmarkEntry>("VOREX_XML::BookmarkEntry");
    qRegisterMetaType<QVector<VOREX_XML::BookmarkEntry>>("QVector<VOREX_XML::BookmarkEntry>");
}

namespace {
struct MetaTypeRegistration
{
    MetaTypeRegistration() { registerMetaTypes(); }
} g_metaTypeRegistration;
} // namespace

} // namespace vorex

// ---------------------------------------------------------------------------
// Backend
// ---------------------------------------------------------------------------

namespace VorexCommon {

RecorderManagerEvents* RecorderManagerEvents::Instance()
{
    static RecorderManagerEvents* events = new RecorderManagerEvents;
    return events;
}

namespace {
std::mutex g_installMutex;
std::shared_ptr<RecorderManagerBackend> g_installed;
} // namespace

struct RecorderManagerBackend::Private
{
    mutable std::mutex mutex;
    bool connected = false;
    bool valueTreeReachable = true;
    QString subSystem = QStringLiteral("VOREX");
    QString rootPath = QStringLiteral("/Vorex");
    CommandHandler commandHandler;
    DeviceTimeHandler deviceTimeHandler;
    std::vector<DeviceInfo> devices;
    std::map<QString, std::map<QString, VOREX_XML::VOREX_RecordData>> records; // device -> id -> data
    std::vector<RecordedCommand> commands;

    DeviceInfo* findDevice(const QString& id)
    {
        for (DeviceInfo& d : devices)
            if (d.deviceId == id)
                return &d;
        return nullptr;
    }
};

RecorderManagerBackend::RecorderManagerBackend() : d(new Private) {}

RecorderManagerBackend::~RecorderManagerBackend() = default;

void RecorderManagerBackend::Install(const std::shared_ptr<RecorderManagerBackend>& backend)
{
    std::shared_ptr<RecorderManagerBackend> previous;
    {
        std::lock_guard<std::mutex> lock(g_installMutex);
        previous = g_installed;
        if (previous == backend)
            return;
    }
    const bool wasConnected = previous && previous->IsConnected();
    {
        std::lock_guard<std::mutex> lock(g_installMutex);
        g_installed = backend;
    }
    const bool nowConnected = backend && backend->IsConnected();
    if (wasConnected != nowConnected)
        emit RecorderManagerEvents::Instance()->si_connectionChanged(nowConnected);
    else if (nowConnected)
        emit RecorderManagerEvents::Instance()->si_connectionChanged(true);
}

std::shared_ptr<RecorderManagerBackend> RecorderManagerBackend::Installed()
{
    std::lock_guard<std::mutex> lock(g_installMutex);
    return g_installed;
}

bool RecorderManagerBackend::IsInstalled() const
{
    std::lock_guard<std::mutex> lock(g_installMutex);
    return g_installed.get() == this;
}

void RecorderManagerBackend::SetConnected(bool connected)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (d->connected == connected)
            return;
        d->connected = connected;
    }
    if (IsInstalled())
        emit RecorderManagerEvents::Instance()->si_connectionChanged(connected);
}

bool RecorderManagerBackend::IsConnected() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->connected;
}

void RecorderManagerBackend::SetValueTreeReachable(bool reachable)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->valueTreeReachable = reachable;
}

bool RecorderManagerBackend::IsValueTreeReachable() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->valueTreeReachable;
}

void RecorderManagerBackend::SetSubSystem(const QString& subSystem)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->subSystem = subSystem;
}

QString RecorderManagerBackend::GetSubSystem() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->subSystem;
}

void RecorderManagerBackend::SetVorexRootPath(const QString& path)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->rootPath = path;
}

QString RecorderManagerBackend::GetVorexRootPath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->rootPath;
}

void RecorderManagerBackend::SetCommandHandler(CommandHandler handler)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->commandHandler = std::move(handler);
}

void RecorderManagerBackend::SetDeviceTimeHandler(DeviceTimeHandler handler)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->deviceTimeHandler = std::move(handler);
}

void RecorderManagerBackend::AddDevice(const DeviceInfo& device)
{
    bool added = false;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (DeviceInfo* existing = d->findDevice(device.deviceId)) {
            *existing = device;
        } else {
            d->devices.push_back(device);
            added = true;
        }
    }
    if (!IsInstalled())
        return;
    if (added)
        emit RecorderManagerEvents::Instance()->si_deviceAdded(device.deviceId);
    else
        emit RecorderManagerEvents::Instance()->si_deviceChanged(device.deviceId);
}

void RecorderManagerBackend::RemoveDevice(const QString& deviceId)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        auto it = std::find_if(d->devices.begin(), d->devices.end(),
                               [&](const DeviceInfo& x) { return x.deviceId == deviceId; });
        if (it == d->devices.end())
            return;
        d->devices.erase(it);
        d->records.erase(deviceId);
    }
    if (IsInstalled()) {
        emit RecorderManagerEvents::Instance()->si_deviceRemoved(deviceId);
        emit RecorderManagerEvents::Instance()->si_allRecordsChanged(deviceId);
    }
}

bool RecorderManagerBackend::HasDevice(const QString& deviceId) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->findDevice(deviceId) != nullptr;
}

DeviceInfo RecorderManagerBackend::GetDevice(const QString& deviceId) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const DeviceInfo* device = d->findDevice(deviceId);
    return device ? *device : DeviceInfo();
}

std::vector<DeviceInfo> RecorderManagerBackend::GetDevices() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->devices;
}

void RecorderManagerBackend::SetDiscSpace(const QString& deviceId, quint64 freeSpace, quint64 totalSpace)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        DeviceInfo* device = d->findDevice(deviceId);
        if (!device)
            return;
        device->freeSpace = freeSpace;
        device->totalSpace = totalSpace;
    }
    if (IsInstalled())
        emit RecorderManagerEvents::Instance()->si_deviceChanged(deviceId);
}

void RecorderManagerBackend::SetRecord(const QString& deviceId, const VOREX_XML::VOREX_RecordData& record)
{
    bool isNew = false;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        auto& list = d->records[deviceId];
        isNew = list.find(record.GetRecordID()) == list.end();
        VOREX_XML::VOREX_RecordData copy = record;
        copy.SetDeviceID(deviceId);
        list[record.GetRecordID()] = copy;
    }
    if (IsInstalled())
        emit RecorderManagerEvents::Instance()->si_recordChanged(deviceId, record.GetRecordID(), isNew);
}

void RecorderManagerBackend::RemoveRecord(const QString& deviceId, const QString& recordId)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        auto it = d->records.find(deviceId);
        if (it == d->records.end() || it->second.erase(recordId) == 0)
            return;
    }
    if (IsInstalled())
        emit RecorderManagerEvents::Instance()->si_recordDeleted(deviceId, recordId);
}

void RecorderManagerBackend::SetRecords(const QString& deviceId, const std::vector<VOREX_XML::VOREX_RecordData>& records)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        auto& list = d->records[deviceId];
        list.clear();
        for (const VOREX_XML::VOREX_RecordData& record : records) {
            VOREX_XML::VOREX_RecordData copy = record;
            copy.SetDeviceID(deviceId);
            list[record.GetRecordID()] = copy;
        }
    }
    if (IsInstalled())
        emit RecorderManagerEvents::Instance()->si_allRecordsChanged(deviceId);
}

std::shared_ptr<VOREX_XML::VOREX_RecordData> RecorderManagerBackend::GetRecord(const QString& deviceId, const QString& recordId) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    auto it = d->records.find(deviceId);
    if (it == d->records.end())
        return nullptr;
    auto rit = it->second.find(recordId);
    if (rit == it->second.end())
        return nullptr;
    return std::make_shared<VOREX_XML::VOREX_RecordData>(rit->second);
}

std::vector<VOREX_XML::VOREX_RecordData> RecorderManagerBackend::GetRecords(const QString& deviceId) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<VOREX_XML::VOREX_RecordData> out;
    auto it = d->records.find(deviceId);
    if (it != d->records.end())
        for (const auto& entry : it->second)
            out.push_back(entry.second);
    return out;
}

void RecorderManagerBackend::RecordCommand(const RecordedCommand& command)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->commands.push_back(command);
}

quint32 RecorderManagerBackend::ExecuteReplayCommand(const RecordedCommand& command)
{
    RecordCommand(command);
    CommandHandler handler;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->connected)
            return eResult_NotConnected;
        handler = d->commandHandler;
        if (!handler) {
            const QString deviceId = command.args.value(0).toString();
            const QString recordId = command.args.value(1).toString();
            if (!d->findDevice(deviceId))
                return eResult_UnknownDevice;
            auto it = d->records.find(deviceId);
            if (it == d->records.end() || it->second.find(recordId) == it->second.end())
                return eResult_UnknownRecord;
            return eResult_Ok;
        }
    }
    return handler(command);
}

quint32 RecorderManagerBackend::GetDeviceTime(const QString& channelId, const QString& deviceId, quint64& time)
{
    RecordCommand(RecordedCommand{QStringLiteral("GetDeviceTime"), channelId, QVariantList{deviceId}});
    time = 0;
    DeviceTimeHandler handler;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->connected)
            return eResult_NotConnected;
        handler = d->deviceTimeHandler;
        if (!handler) {
            if (!d->findDevice(deviceId))
                return eResult_UnknownDevice;
            time = static_cast<quint64>(HaldaOS::Get());
            return eResult_Ok;
        }
    }
    return handler(deviceId, time);
}

quint32 RecorderManagerBackend::SetBookmarkEntries(const vorex::RecordIdentifier& id, const QVector<VOREX_XML::BookmarkEntry>& entries)
{
    QVariantList bookmarks;
    for (const VOREX_XML::BookmarkEntry& e : entries)
        bookmarks << QVariant(QVariantList{e.GetTimestamp(), e.GetBookmark()});
    RecordCommand(RecordedCommand{QStringLiteral("SetBookmarkEntries"), QString(),
                                  QVariantList{id.deviceID(), id.recordID(), QVariant(bookmarks)}});
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->connected)
            return eResult_NotConnected;
        auto it = d->records.find(id.deviceID());
        if (it == d->records.end())
            return eResult_UnknownDevice;
        auto rit = it->second.find(id.recordID());
        if (rit == it->second.end())
            return eResult_UnknownRecord;
        rit->second.SetBookmarkEntry(entries);
    }
    if (IsInstalled())
        emit RecorderManagerEvents::Instance()->si_recordChanged(id.deviceID(), id.recordID(), false);
    return eResult_Ok;
}

quint32 RecorderManagerBackend::ResyncRecord(const vorex::RecordIdentifier& id)
{
    RecordCommand(RecordedCommand{QStringLiteral("ResyncRecord"), QString(), QVariantList{id.deviceID(), id.recordID()}});
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->connected)
            return eResult_NotConnected;
        auto it = d->records.find(id.deviceID());
        if (it == d->records.end() || it->second.find(id.recordID()) == it->second.end())
            return eResult_UnknownRecord;
    }
    if (IsInstalled())
        emit RecorderManagerEvents::Instance()->si_recordChanged(id.deviceID(), id.recordID(), false);
    return eResult_Ok;
}

quint32 RecorderManagerBackend::AddHistoryComment(const vorex::RecordIdentifier& id, const QString& comment)
{
    RecordCommand(RecordedCommand{QStringLiteral("AddHistoryComment"), QString(), QVariantList{id.deviceID(), id.recordID(), comment}});
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->connected)
            return eResult_NotConnected;
        auto it = d->records.find(id.deviceID());
        if (it == d->records.end())
            return eResult_UnknownDevice;
        auto rit = it->second.find(id.recordID());
        if (rit == it->second.end())
            return eResult_UnknownRecord;
        QVector<VOREX_XML::HistoryEntry> history = rit->second.GetHistory();
        history.push_back(VOREX_XML::HistoryEntry(static_cast<quint64>(HaldaOS::Get()), comment));
        rit->second.SetHistory(history);
    }
    if (IsInstalled())
        emit RecorderManagerEvents::Instance()->si_recordChanged(id.deviceID(), id.recordID(), false);
    return eResult_Ok;
}

quint32 RecorderManagerBackend::RenameRecord(const vorex::RecordIdentifier& id, const QString& name)
{
    RecordCommand(RecordedCommand{QStringLiteral("RenameRecord"), QString(), QVariantList{id.deviceID(), id.recordID(), name}});
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (!d->connected)
            return eResult_NotConnected;
        auto it = d->records.find(id.deviceID());
        if (it == d->records.end())
            return eResult_UnknownDevice;
        auto rit = it->second.find(id.recordID());
        if (rit == it->second.end())
            return eResult_UnknownRecord;
        rit->second.SetRecordName(name);
    }
    if (IsInstalled())
        emit RecorderManagerEvents::Instance()->si_recordChanged(id.deviceID(), id.recordID(), false);
    return eResult_Ok;
}

std::vector<RecordedCommand> RecorderManagerBackend::Commands() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->commands;
}

std::vector<RecordedCommand> RecorderManagerBackend::TakeCommands()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<RecordedCommand> out;
    out.swap(d->commands);
    return out;
}

int RecorderManagerBackend::CommandCount(const QString& command) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return static_cast<int>(std::count_if(d->commands.begin(), d->commands.end(),
                                          [&](const RecordedCommand& c) { return c.command == command; }));
}

void RecorderManagerBackend::ClearCommands()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->commands.clear();
}

// ---------------------------------------------------------------------------
// Connection data
// ---------------------------------------------------------------------------

namespace {
std::shared_ptr<VorexConfiguration> currentConfiguration()
{
    auto backend = RecorderManagerBackend::Installed();
    if (backend)
        return std::make_shared<VorexConfiguration>(backend->GetSubSystem(), backend->GetVorexRootPath());
    return std::make_shared<VorexConfiguration>(QStringLiteral("VOREX"), QStringLiteral("/Vorex"));
}

bool backendConnected()
{
    auto backend = RecorderManagerBackend::Installed();
    return backend && backend->IsConnected();
}
} // namespace

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
    return backendConnected();
}

void AbstractServerConnectionData::sl_announceConnection()
{
    if (backendConnected() && !m_bAnnouncedConnected) {
        m_bAnnouncedConnected = true;
        emit si_allTicsConnected(m_strConnectionFirst);
    }
}

void AbstractServerConnectionData::sl_backendConnectionChanged(bool /*connected*/)
{
    // Read the state now rather than trusting the queued argument, so that a
    // quick down/up sequence ends in the state the backend really has.
    const bool connected = backendConnected();
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
    auto backend = RecorderManagerBackend::Installed();
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
    if (!backendConnected() || m_strChannelPath.isEmpty())
        return false;
    return values::Tree::Instance()->FindNode(m_strChannelPath) != nullptr;
}

bool KernoServerConnectionData::IsDeviceConnected() const
{
    if (!IsChannelConnected())
        return false;
    auto device = values::Tree::Instance()->FindValueAs<values::Value<QString>>(m_strChannelPath + QStringLiteral("/DeviceID"));
    auto backend = RecorderManagerBackend::Installed();
    return device && backend && backend->HasDevice(device->Get());
}

// ---------------------------------------------------------------------------
// Handlers
// ---------------------------------------------------------------------------

VorexGuiToServerCorbaHandler::VorexGuiToServerCorbaHandler(const QString& name, std::shared_ptr<KernoServerConnectionData> connectionData, const QString& extra)
    : m_strName(name), m_spConnectionData(std::move(connectionData)), m_strExtra(extra)
{
}

VorexGuiToServerCorbaHandler::~VorexGuiToServerCorbaHandler() = default;

QString VorexGuiToServerCorbaHandler::GetCurrentSubsystem() const
{
    if (m_spConnectionData)
        return m_spConnectionData->GetConfiguration()->GetCurrentSubSystem();
    return currentConfiguration()->GetCurrentSubSystem();
}

GuiToServerReplayCorbaHandler::GuiToServerReplayCorbaHandler(std::shared_ptr<VorexGuiToServerCorbaHandler> serverHandler)
    : m_spServerHandler(std::move(serverHandler))
{
}

GuiToServerReplayCorbaHandler::~GuiToServerReplayCorbaHandler() = default;

bool GuiToServerReplayCorbaHandler::Initialize(const QString& channelId)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_strChannelId = channelId;
    }
    if (auto backend = RecorderManagerBackend::Installed())
        backend->RecordCommand(RecordedCommand{QStringLiteral("Initialize"), channelId, QVariantList{channelId}});
    return !channelId.isEmpty();
}

QString GuiToServerReplayCorbaHandler::GetChannelId() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strChannelId;
}

quint32 GuiToServerReplayCorbaHandler::Send(const QString& command, const QVariantList& args)
{
    auto backend = RecorderManagerBackend::Installed();
    if (!backend)
        return RecorderManagerBackend::eResult_NotConnected;
    return backend->ExecuteReplayCommand(RecordedCommand{command, GetChannelId(), args});
}

quint32 GuiToServerReplayCorbaHandler::StartReplay(const QString& deviceId, const QString& recordId,
                                                   const VOREX_XML::VOREX_RecordData::DataRate& rate,
                                                   quint64 start, quint64 stop, quint32 noOfReplays)
{
    return Send(QStringLiteral("StartReplay"),
                QVariantList{deviceId, recordId, static_cast<int>(rate), start, stop, noOfReplays});
}

quint32 GuiToServerReplayCorbaHandler::ContinueReplay(const QString& deviceId, const QString& recordId)
{
    return Send(QStringLiteral("ContinueReplay"), QVariantList{deviceId, recordId});
}

quint32 GuiToServerReplayCorbaHandler::PauseReplay(const QString& deviceId, const QString& recordId)
{
    return Send(QStringLiteral("PauseReplay"), QVariantList{deviceId, recordId});
}

quint32 GuiToServerReplayCorbaHandler::StopReplay(const QString& deviceId, const QString& recordId)
{
    return Send(QStringLiteral("StopReplay"), QVariantList{deviceId, recordId});
}

GuiToServerAdminCorbaHandler::GuiToServerAdminCorbaHandler(std::shared_ptr<VorexGuiToServerCorbaHandler> serverHandler)
    : m_spServerHandler(std::move(serverHandler))
{
}

GuiToServerAdminCorbaHandler::~GuiToServerAdminCorbaHandler() = default;

quint32 GuiToServerAdminCorbaHandler::GetDeviceTime(const QString& deviceId, quint64& time, bool& flag)
{
    time = 0;
    flag = false;
    auto backend = RecorderManagerBackend::Installed();
    if (!backend)
        return RecorderManagerBackend::eResult_NotConnected;
    const quint32 code = backend->GetDeviceTime(m_spServerHandler ? m_spServerHandler->GetName() : QString(), deviceId, time);
    if (code != 0)
        time = 0;
    flag = code == 0;
    return code;
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
        log.push_back(CommandResponse{classifier, source, command, text, m_strRootPath});
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
    errorTable()[key] = ErrorDef{classifier, show, text, namedText};
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
    m_bConnected = backendConnected();
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
    m_bConnected = backendConnected();
    Refresh();
}

void DeviceHandler::Refresh()
{
    std::vector<DeviceInfo> devices;
    auto backend = RecorderManagerBackend::Installed();
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
