#include "vorexclient.h"

#include <algorithm>

// The recorder manager in this process: devices, records and the commands
// that reached it, scriptable by the simulator and the tests.

namespace VorexCommon {


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
    RecorderManagerLink::Install(backend);
}

std::shared_ptr<RecorderManagerBackend> RecorderManagerBackend::Installed()
{
    return std::dynamic_pointer_cast<RecorderManagerBackend>(RecorderManagerLink::Installed());
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
    d->commands.back().command = OwnedText(command.command);
    d->commands.back().channelId = OwnedText(command.channelId);
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

} // namespace VorexCommon
