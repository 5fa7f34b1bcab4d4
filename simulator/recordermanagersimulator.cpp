#include "recordermanagersimulator.h"

#include "recordstore.h"
#include "simulatedchannel.h"
#include "umm.h"

#include <QTimer>

#include <algorithm>

using VOREX_XML::VOREX_RecordData;
using VorexCommon::RecorderManagerBackend;

namespace VorexSim {

namespace Keys {
const char* const RecordReplayModes = "RecordReplayModes";
const char* const AllRecordReplayModes = "AllRecordReplayModes";
const char* const ReplayMode = "ReplayMode";
const char* const RecordFlag = "RecordFlag";
const char* const ReplayFlag = "ReplayFlag";
const char* const PauseSupported = "PauseSupported";
const char* const TriggeredByCorbaCall = "TriggeredByCorbaCall";
const char* const ErrorCode = "ErrorCode";
const char* const DataRateClass = "DataRateClass";
const char* const AllowedDevices = "AllowedDevices";
const char* const RecordName = "RecordName";
const char* const DeviceID = "DeviceID";
const char* const RecordID = "RecordID";
const char* const ReplayDataRateClass = "ReplayDataRateClass";
const char* const AvailableDataRateClass = "AvailableDataRateClass";
const char* const AvailableDataRateClass2 = "AvailableDataRateClass2";
const char* const FileSizeInKB = "FileSizeInKB";
const char* const NoOfReplays = "NoOfReplays";
const char* const RecordTimeout = "RecordTimeout";
const char* const Duration = "Duration";
const char* const RecordCounterStartTime = "RecordCounterStartTime";
const char* const StartPosition = "StartPosition";
const char* const StopPosition = "StopPosition";
const char* const ReplayBegin = "ReplayBegin";
const char* const ReplayEnd = "ReplayEnd";
const char* const CurrentReplayPosition = "CurrentReplayPosition";
} // namespace Keys

namespace {
const char* flagKey(RecorderManagerSimulator::Flag flag)
{
    switch (flag) {
    case RecorderManagerSimulator::RecordFlag:
        return Keys::RecordFlag;
    case RecorderManagerSimulator::ReplayFlag:
        return Keys::ReplayFlag;
    case RecorderManagerSimulator::PauseSupported:
        return Keys::PauseSupported;
    }
    return Keys::RecordFlag;
}

constexpr quint64 kGiB = 1024ull * 1024 * 1024;
constexpr quint64 kMiB = 1024ull * 1024;
} // namespace

SimulatorOptions SimulatorOptions::Demo(int channels, std::function<QString(int)> channelPath,
                                        std::function<QString(int)> replayTimePath)
{
    SimulatorOptions o;
    o.channels = channels;
    o.channelPath = std::move(channelPath);
    o.replayTimePath = std::move(replayTimePath);
    // The third device is small so that its free space visibly shrinks.
    o.devices = {{QStringLiteral("Dev1"), 48 * kGiB, 64 * kGiB, false},
                 {QStringLiteral("Dev2"), 12 * kGiB, 32 * kGiB, false},
                 {QStringLiteral("Dev3"), 96 * kMiB, 1 * kGiB, true}};
    return o;
}

SimulatorOptions SimulatorOptions::Fast(int channels, std::function<QString(int)> channelPath,
                                        std::function<QString(int)> replayTimePath)
{
    SimulatorOptions o = Demo(channels, std::move(channelPath), std::move(replayTimePath));
    o.reactionDelayMs = 0;
    o.connectDelayMs = 0;
    o.tickIntervalMs = 0;
    return o;
}

RecorderManagerSimulator::RecorderManagerSimulator(const SimulatorOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_spBackend(std::make_shared<RecorderManagerBackend>())
{
    if (!m_options.channelPath)
        m_options.channelPath = [](int i) { return QStringLiteral("/Receivers/Channel%1").arg(i + 1); };
    if (!m_options.replayTimePath)
        m_options.replayTimePath = [](int i) { return QStringLiteral("/Host/Channel%1/ReplayTime").arg(i + 1); };
    for (int i = 0; i < m_options.channels; ++i) {
        const QString device = m_options.devices.empty()
                                   ? QString()
                                   : m_options.devices[size_t(i) % m_options.devices.size()].id;
        m_channels.emplace_back(new SimulatedChannel(this, i, m_options.channelPath(i), m_options.replayTimePath(i), device));
    }
    m_pTickTimer = new QTimer(this);
    connect(m_pTickTimer, &QTimer::timeout, this, &RecorderManagerSimulator::Tick);
    // Queued: the space changes inside a tick or a client's call, the
    // channels' record permission follows from the event loop.
    connect(VorexCommon::RecorderManagerEvents::Instance(), &VorexCommon::RecorderManagerEvents::si_deviceChanged, this,
            [this](const QString& deviceId) {
                if (!m_bStarted)
                    return;
                for (auto& channel : m_channels)
                    channel->DeviceSpaceChanged(deviceId);
            },
            Qt::QueuedConnection);
}

RecorderManagerSimulator::~RecorderManagerSimulator()
{
    Stop();
    // The channels observe values and call back into the simulator: they go
    // first, while the simulator is still whole.
    m_channels.clear();
}

void RecorderManagerSimulator::Start()
{
    if (m_bStarted)
        return;
    m_bStarted = true;
    m_spBackend->SetCommandHandler([this](const VorexCommon::RecordedCommand& c) { return HandleCommand(c); });
    m_spBackend->SetDeviceTimeHandler([this](const QString& deviceId, quint64& time) { return HandleDeviceTime(deviceId, time); });
    RecorderManagerBackend::Install(m_spBackend);
    for (const SimulatorOptions::Device& d : m_options.devices)
        m_spBackend->AddDevice(VorexCommon::DeviceInfo{d.id, m_spBackend->GetSubSystem(), d.virtualDevice, d.freeBytes, d.totalBytes});
    if (!m_options.dataFolder.isEmpty())
        OpenStore();
    else if (m_options.seedRecords)
        SeedRecords();
    for (auto& channel : m_channels)
        channel->Create();
    Report(QStringLiteral("started with %1 channel(s) and %2 device(s)").arg(m_channels.size()).arg(m_options.devices.size()));

    if (m_options.connectDelayMs >= 0) {
        QTimer::singleShot(m_options.connectDelayMs, this, [this]() {
            if (m_bStarted)
                SetConnected(true);
        });
    }
    m_nLastTick = HaldaOS::Get();
    if (m_options.tickIntervalMs > 0)
        m_pTickTimer->start(m_options.tickIntervalMs);
}

void RecorderManagerSimulator::Stop()
{
    if (!m_bStarted)
        return;
    m_bStarted = false;
    m_pTickTimer->stop();
    for (auto& channel : m_channels)
        channel->Release();
    m_spBackend->SetCommandHandler(nullptr);
    m_spBackend->SetDeviceTimeHandler(nullptr);
    if (RecorderManagerBackend::Installed() == m_spBackend)
        RecorderManagerBackend::Install(nullptr);
    m_store.reset();
}

int RecorderManagerSimulator::ChannelCount() const
{
    return int(m_channels.size());
}

SimulatedChannel* RecorderManagerSimulator::Channel(int index) const
{
    if (index < 0 || index >= int(m_channels.size()))
        return nullptr;
    return m_channels[size_t(index)].get();
}

SimulatedChannel* RecorderManagerSimulator::ChannelByName(const QString& name) const
{
    for (const auto& channel : m_channels)
        if (channel->Name() == name)
            return channel.get();
    return nullptr;
}

QString RecorderManagerSimulator::ChannelPath(int channel) const
{
    SimulatedChannel* c = Channel(channel);
    return c ? c->Path() : QString();
}

QString RecorderManagerSimulator::ReplayTimePath(int channel) const
{
    SimulatedChannel* c = Channel(channel);
    return c ? c->ReplayTimePath() : QString();
}

QString RecorderManagerSimulator::ValuePath(int channel, const char* key) const
{
    return ChannelPath(channel) + QLatin1Char('/') + QLatin1String(key);
}

QStringList RecorderManagerSimulator::DeviceIds() const
{
    QStringList ids;
    for (const SimulatorOptions::Device& d : m_options.devices)
        ids << d.id;
    return ids;
}

QStringList RecorderManagerSimulator::ErrorKeys()
{
    return {QStringLiteral("VRX_INFO_RECORD_STARTED"), QStringLiteral("VRX_WARN_DISC_ALMOST_FULL"),
            QStringLiteral("VRX_ERR_DISC_FULL"), QStringLiteral("VRX_ERR_DEVICE_FAILURE"),
            QStringLiteral("VRX_FATAL_INTERNAL")};
}

void RecorderManagerSimulator::Report(const QString& text)
{
    emit si_managerEvent(text);
}

QString RecorderManagerSimulator::NextRecordId()
{
    const QString id = RecordStore::recordIdForNumber(m_nNextRecord++);
    QString error;
    if (m_store && !m_store->saveNextRecordNumber(m_nNextRecord, &error))
        Report(QStringLiteral("record store: the record counter was not saved: %1").arg(error));
    return id;
}

void RecorderManagerSimulator::OpenStore()
{
    m_store.reset(new RecordStore(m_options.dataFolder));
    RecordStore::Contents contents;
    if (!m_store->open(&contents, &m_strStoreError)) {
        Report(QStringLiteral("record store: %1").arg(m_strStoreError));
        m_store.reset();
        return;
    }
    static const char* const kinds[] = {"damaged", "foreign", "inconsistent", "leftover"};
    for (const RecordStore::Problem& p : contents.problems)
        Report(QStringLiteral("record store: %1 file %2 left alone: %3")
                   .arg(QLatin1String(kinds[p.kind]), p.fileName, p.reason));
    if (const int removed = m_store->removeLeftovers())
        Report(QStringLiteral("record store: %1 interrupted write(s) cleaned up").arg(removed));
    m_nNextRecord = std::max(m_nNextRecord, contents.nextRecordNumber);

    // A folder that never held records gets the demo's; one whose records
    // were all deleted stays empty (its counter has moved on).
    if (contents.recordsByDevice.isEmpty() && contents.nextRecordNumber <= 1) {
        if (m_options.seedRecords) {
            SeedRecords();
            for (const SimulatorOptions::Device& d : m_options.devices)
                for (const VOREX_RecordData& r : m_spBackend->GetRecords(d.id))
                    StoreRecord(d.id, r.GetRecordID());
        }
        return;
    }
    for (auto it = contents.recordsByDevice.cbegin(); it != contents.recordsByDevice.cend(); ++it) {
        if (!m_spBackend->HasDevice(it.key())) {
            Report(QStringLiteral("record store: %1 record(s) of device %2, which this manager does not serve, stay on disc")
                       .arg(it.value().size()).arg(it.key()));
            continue;
        }
        std::vector<VOREX_RecordData> records(it.value().cbegin(), it.value().cend());
        for (VOREX_RecordData& r : records)
            r.SetRecordStatus(VOREX_RecordData::RecordStatusCompleted); // only completed records are stored
        m_spBackend->SetRecords(it.key(), records);
    }
}

bool RecorderManagerSimulator::StoreRecord(const QString& deviceId, const QString& recordId)
{
    if (!m_store)
        return true;
    auto record = m_spBackend->GetRecord(deviceId, recordId);
    QString error;
    if (record && m_store->saveRecord(deviceId, *record, &error))
        return true;
    Report(QStringLiteral("record store: record %1 of %2 not saved: %3")
               .arg(recordId, deviceId, record ? error : QStringLiteral("no such record")));
    return false;
}

quint32 RecorderManagerSimulator::EditRecord(const QString& deviceId, const QString& recordId,
                                             const std::function<quint32()>& edit)
{
    const auto before = m_spBackend->GetRecord(deviceId, recordId);
    const quint32 code = edit();
    if (code != RecorderManagerBackend::eResult_Ok || !before)
        return code;
    if (StoreRecord(deviceId, recordId))
        return code;
    m_spBackend->SetRecord(deviceId, *before);
    return eResult_NotStored;
}

quint32 RecorderManagerSimulator::SetBookmarks(const QString& deviceId, const QString& recordId,
                                               const QVector<VOREX_XML::BookmarkEntry>& bookmarks)
{
    for (const VOREX_XML::BookmarkEntry& b : bookmarks)
        if (b.GetBookmark().size() > RecordStore::MaxTextLength)
            return eResult_InvalidText;
    const vorex::RecordIdentifier id(m_spBackend->GetSubSystem(), deviceId, recordId);
    return EditRecord(deviceId, recordId, [&]() { return m_spBackend->SetBookmarkEntries(id, bookmarks); });
}

quint32 RecorderManagerSimulator::AddHistory(const QString& deviceId, const QString& recordId, const QString& text)
{
    if (text.size() > RecordStore::MaxTextLength)
        return eResult_InvalidText;
    const vorex::RecordIdentifier id(m_spBackend->GetSubSystem(), deviceId, recordId);
    return EditRecord(deviceId, recordId, [&]() { return m_spBackend->AddHistoryComment(id, text); });
}

quint32 RecorderManagerSimulator::RenameRecord(const QString& deviceId, const QString& recordId, const QString& name)
{
    if (name.size() > RecordStore::MaxNameLength)
        return eResult_InvalidText;
    const vorex::RecordIdentifier id(m_spBackend->GetSubSystem(), deviceId, recordId);
    return EditRecord(deviceId, recordId, [&]() { return m_spBackend->RenameRecord(id, name); });
}

bool RecorderManagerSimulator::DeleteRecord(const QString& deviceId, const QString& recordId)
{
    if (!m_spBackend->GetRecord(deviceId, recordId))
        return false;
    QString error;
    if (m_store && !m_store->removeRecord(recordId, &error)) {
        Report(QStringLiteral("record store: record %1 not deleted: %2").arg(recordId, error));
        return false;
    }
    m_spBackend->RemoveRecord(deviceId, recordId);
    Report(QStringLiteral("record %1 of %2 deleted").arg(recordId, deviceId));
    return true;
}

void RecorderManagerSimulator::SeedRecords()
{
    const qint64 now = HaldaOS::Get();
    const QStringList names{QStringLiteral("Harbour traffic"), QStringLiteral("Night watch"), QStringLiteral("Test signal")};
    const qint64 lengths[] = {90, 45, 20}; // seconds
    for (const SimulatorOptions::Device& device : m_options.devices) {
        for (int k = 0; k < names.size(); ++k) {
            const QString id = NextRecordId();
            VOREX_RecordData record(id, QStringLiteral("%1 (%2)").arg(names[k], device.id));
            const qint64 start = now - (k + 1) * Q_INT64_C(3600000000);
            const qint64 stop = start + lengths[k] * 1000000;
            const quint64 size = quint64(lengths[k]) * 4 * 128 * 1024;
            record.SetDataRate(VOREX_RecordData::eDataRate_3);
            record.SetStartTime(quint64(start));
            record.SetStopTime(quint64(stop));
            record.SetStartPosition(0);
            record.SetStopPosition(size);
            record.SetRecordSize(size);
            record.SetIndexEntry({VOREX_XML::IndexEntry(quint64(start), 0), VOREX_XML::IndexEntry(quint64(stop), size)});
            record.SetBookmarkEntry({VOREX_XML::BookmarkEntry(quint64(start + 5000000), QStringLiteral("first call")),
                                     VOREX_XML::BookmarkEntry(quint64(stop - 5000000), QStringLiteral("last call"))});
            m_spBackend->SetRecord(device.id, record);
        }
    }
}

quint32 RecorderManagerSimulator::HandleCommand(const VorexCommon::RecordedCommand& command)
{
    SimulatedChannel* channel = ChannelByName(command.channelId);
    if (!channel || !channel->Exists()) {
        Report(QStringLiteral("%1 for unknown channel \"%2\" refused").arg(command.command, command.channelId));
        return eResult_UnknownChannel;
    }
    return channel->Command(command);
}

quint32 RecorderManagerSimulator::HandleDeviceTime(const QString& deviceId, quint64& time)
{
    if (!m_spBackend->HasDevice(deviceId))
        return RecorderManagerBackend::eResult_UnknownDevice;
    time = quint64(HaldaOS::Get());
    return RecorderManagerBackend::eResult_Ok;
}

void RecorderManagerSimulator::Tick()
{
    const qint64 now = HaldaOS::Get();
    const qint64 elapsed = now - m_nLastTick;
    m_nLastTick = now;
    if (!m_bStarted)
        return;
    for (auto& channel : m_channels)
        if (channel->Exists())
            channel->Tick(elapsed);
}

void RecorderManagerSimulator::SetConnected(bool connected)
{
    if (m_spBackend->IsConnected() == connected)
        return;
    Report(connected ? QStringLiteral("connection up") : QStringLiteral("connection lost"));
    m_spBackend->SetConnected(connected);
    for (auto& channel : m_channels)
        channel->ConnectionChanged(connected);
}

bool RecorderManagerSimulator::IsConnected() const
{
    return m_spBackend->IsConnected();
}

void RecorderManagerSimulator::SetErrorCode(int channel, const QString& key)
{
    if (SimulatedChannel* c = Channel(channel))
        c->SetErrorCode(key);
}

void RecorderManagerSimulator::SetFlag(int channel, Flag flag, bool value)
{
    if (SimulatedChannel* c = Channel(channel))
        c->SetFlag(flagKey(flag), value);
}

void RecorderManagerSimulator::SetFlagState(int channel, Flag flag, int state)
{
    if (SimulatedChannel* c = Channel(channel))
        c->SetFlagState(flagKey(flag), state);
}

void RecorderManagerSimulator::TriggerExternalRecord(int channel, bool continuous)
{
    if (SimulatedChannel* c = Channel(channel))
        c->TriggerExternalRecord(continuous);
}

bool RecorderManagerSimulator::TriggerExternalReplay(int channel, bool continuous)
{
    SimulatedChannel* c = Channel(channel);
    return c && c->TriggerExternalReplay(continuous);
}

void RecorderManagerSimulator::TriggerExternalStop(int channel)
{
    if (SimulatedChannel* c = Channel(channel))
        c->TriggerExternalStop();
}

void RecorderManagerSimulator::DeleteChannel(int channel)
{
    if (SimulatedChannel* c = Channel(channel))
        c->Release();
}

void RecorderManagerSimulator::RecreateChannel(int channel)
{
    SimulatedChannel* c = Channel(channel);
    if (c && !c->Exists())
        c->Create();
}

bool RecorderManagerSimulator::ChannelExists(int channel) const
{
    SimulatedChannel* c = Channel(channel);
    return c && c->Exists();
}

void RecorderManagerSimulator::SetAnswering(bool answering)
{
    m_bAnswering = answering;
    Report(answering ? QStringLiteral("the manager answers again") : QStringLiteral("the manager hangs"));
}

void RecorderManagerSimulator::FailNextReplayCommand(int channel, quint32 code)
{
    if (SimulatedChannel* c = Channel(channel)) {
        c->FailNextCommand(code);
        Report(QStringLiteral("%1: the next replay command will fail with code %2").arg(c->Name()).arg(code));
    }
}

void RecorderManagerSimulator::SelectRecord(int channel, const QString& deviceId, const QString& recordId)
{
    if (SimulatedChannel* c = Channel(channel))
        c->SelectRecord(deviceId, recordId);
}

void RecorderManagerSimulator::SendUserEvent(const QString& event)
{
    VorexCommon::UserRights::Instance()->NotifyUserEvent(event);
}

void RecorderManagerSimulator::SetUserRight(const QString& right, int level)
{
    UMM::ActiveUserProxy::instance()->SetAccessLevel(right, level);
}

long RecorderManagerSimulator::RecordReplayAllModes(int channel) const
{
    SimulatedChannel* c = Channel(channel);
    return c ? c->AllModes() : -1;
}

long RecorderManagerSimulator::ReplayMode(int channel) const
{
    SimulatedChannel* c = Channel(channel);
    return c ? c->ReplayModeKey() : -1;
}

qint64 RecorderManagerSimulator::ReplayTime(int channel) const
{
    SimulatedChannel* c = Channel(channel);
    return c ? c->ReplayTime() : 0;
}

bool RecorderManagerSimulator::IsRecording(int channel) const
{
    SimulatedChannel* c = Channel(channel);
    return c && c->IsRecording();
}

int RecorderManagerSimulator::ReplayPasses(int channel) const
{
    SimulatedChannel* c = Channel(channel);
    return c ? c->ReplayPasses() : 0;
}

QString RecorderManagerSimulator::LastRecordId(int channel) const
{
    SimulatedChannel* c = Channel(channel);
    return c ? c->LastRecordId() : QString();
}

QStringList RecorderManagerSimulator::TakeCommandTexts()
{
    QStringList out;
    for (const VorexCommon::RecordedCommand& c : m_spBackend->TakeCommands()) {
        QStringList args;
        for (const QVariant& a : c.args)
            args << a.toString();
        out << QStringLiteral("%1(%2)").arg(c.command, args.join(QStringLiteral(", ")));
    }
    return out;
}

} // namespace VorexSim
