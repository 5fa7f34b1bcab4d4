#include "simulatedchannel.h"

#include "recordermanagersimulator.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>

using VOREX_XML::Admin;
using VOREX_XML::VOREX_RecordData;
using VorexCommon::RecorderManagerBackend;

namespace VorexSim {

namespace {

// Linear map between record offsets and record times, from the record's
// two-entry index when it has one, else from its own start and stop.
struct OffsetTimeMap
{
    double t0 = 0, t1 = 0, o0 = 0, o1 = 0;

    explicit OffsetTimeMap(const VOREX_RecordData& r)
    {
        const QVector<VOREX_XML::IndexEntry> index = r.GetIndexEntry();
        if (index.size() == 2) {
            t0 = double(index[0].GetTimestamp());
            t1 = double(index[1].GetTimestamp());
            o0 = double(index[0].GetRecordOffset());
            o1 = double(index[1].GetRecordOffset());
        } else {
            t0 = double(r.GetStartTime());
            t1 = double(r.GetStopTime());
            o0 = double(r.GetStartPosition());
            o1 = double(r.GetStopPosition());
        }
    }
    double lowOffset() const { return std::min(o0, o1); }
    double highOffset() const { return std::max(o0, o1); }
    qint64 timeAt(double offset) const
    {
        if (o1 == o0)
            return qint64(t0);
        return qint64(t0 + (offset - o0) * (t1 - t0) / (o1 - o0));
    }
};

quint64 bytesPerSecond(int rate)
{
    return quint64(rate + 1) * 128 * 1024;
}

QString replayModeText(long key)
{
    return QStringLiteral("%1 %2").arg(key).arg(Admin::ReplayModeToName(key));
}

QString allModesText(long key)
{
    return QStringLiteral("%1 %2").arg(key).arg(Admin::RecordReplayAllModesToName(key));
}

template <typename V>
std::shared_ptr<V> findValue(const QString& path)
{
    return values::Tree::Instance()->FindValueAs<V>(path);
}

} // namespace

SimulatedChannel::SimulatedChannel(RecorderManagerSimulator* simulator, int index, const QString& path,
                                   const QString& replayTimePath, const QString& defaultDevice)
    : m_pSimulator(simulator),
      m_nIndex(index),
      m_strPath(path),
      m_strReplayTimePath(replayTimePath),
      m_strDefaultDevice(defaultDevice)
{
}

SimulatedChannel::~SimulatedChannel()
{
    m_allModes.Reset();
    m_recordId.Reset();
    m_deviceId.Reset();
    m_recordName.Reset();
}

QString SimulatedChannel::Name() const
{
    const QStringList parts = values::Tree::SplitPath(m_strPath);
    return parts.isEmpty() ? QString() : parts.last();
}

QString SimulatedChannel::ValuePath(const char* key) const
{
    return m_strPath + QLatin1Char('/') + QLatin1String(key);
}

void SimulatedChannel::Report(const QString& text)
{
    m_pSimulator->Report(QStringLiteral("%1: %2").arg(Name(), text));
}

int SimulatedChannel::Delay() const
{
    return std::max(0, m_pSimulator->Options().reactionDelayMs);
}

bool SimulatedChannel::IsConnected() const
{
    return m_pSimulator->IsConnected();
}

void SimulatedChannel::Later(std::function<void()> step, int delayMs)
{
    const quint64 generation = m_nGeneration;
    auto run = [this, generation, step]() {
        if (generation == m_nGeneration && m_pSimulator->IsAnswering())
            step();
    };
    const int ms = delayMs < 0 ? Delay() : delayMs;
    QMetaObject::invokeMethod(
        this,
        [this, ms, run]() {
            if (ms == 0)
                run();
            else
                QTimer::singleShot(ms, this, run);
        },
        Qt::QueuedConnection);
}

// ---------------------------------------------------------------- values

void SimulatedChannel::Create()
{
    ++m_nGeneration;
    values::Tree* tree = values::Tree::Instance();
    tree->CreateOrGetNode(m_strPath);

    auto selection = [&](const char* key, long count, long initial, QString (*name)(long)) {
        auto value = tree->CreateValue<values::ValueSelection>(ValuePath(key), initial);
        if (value)
            for (long k = 0; k < count; ++k)
                value->AddItem(values::SelItemDesc(name(k), double(k), k));
    };
    // The mode values first: the plug-in binds them as one group.
    selection(Keys::RecordReplayModes, 6, Admin::eRecordReplayMode_Stop, &Admin::RecordReplayModeToName);
    selection(Keys::AllRecordReplayModes, 5, Admin::eRecordReplayAllModes_Stopped, &Admin::RecordReplayAllModesToName);
    selection(Keys::ReplayMode, 6, Admin::eReplayMode_Stopped, &Admin::ReplayModeToName);

    for (const char* key : {Keys::RecordFlag, Keys::ReplayFlag, Keys::PauseSupported})
        tree->CreateValue<values::Value<bool>>(ValuePath(key), true);
    tree->CreateValue<values::Value<bool>>(ValuePath(Keys::TriggeredByCorbaCall), false);

    const QString rate = VOREX_RecordData::DataRateToName(VOREX_RecordData::eDataRate_3);
    tree->CreateValue<values::Value<QString>>(ValuePath(Keys::ErrorCode), QString());
    tree->CreateValue<values::Value<QString>>(ValuePath(Keys::DataRateClass), rate);
    tree->CreateValue<values::Value<QString>>(ValuePath(Keys::AllowedDevices), m_pSimulator->DeviceIds().join(QLatin1Char('@')));
    tree->CreateValue<values::Value<QString>>(ValuePath(Keys::RecordName), QString());
    tree->CreateValue<values::Value<QString>>(ValuePath(Keys::DeviceID), m_strDefaultDevice);
    tree->CreateValue<values::Value<QString>>(ValuePath(Keys::RecordID), QString());
    tree->CreateValue<values::Value<QString>>(ValuePath(Keys::ReplayDataRateClass), rate);
    tree->CreateValue<values::Value<QString>>(ValuePath(Keys::AvailableDataRateClass), rate);
    tree->CreateValue<values::Value<QString>>(ValuePath(Keys::AvailableDataRateClass2), rate);

    tree->CreateValue<values::Value<int>>(ValuePath(Keys::FileSizeInKB), 0);
    tree->CreateValue<values::Value<int>>(ValuePath(Keys::NoOfReplays), 1);
    tree->CreateValue<values::Value<int>>(ValuePath(Keys::RecordTimeout), 0);

    for (const char* key : {Keys::Duration, Keys::RecordCounterStartTime, Keys::StartPosition, Keys::StopPosition,
                            Keys::ReplayBegin, Keys::ReplayEnd, Keys::CurrentReplayPosition})
        tree->CreateValue<values::ValueNumeric<values::int64>>(ValuePath(key), 0);

    // The replay time is the host's value; create it only when the host has not.
    if (!m_strReplayTimePath.isEmpty() && !findValue<values::IValueNumeric>(m_strReplayTimePath))
        tree->CreateValue<values::ValueNumeric<values::int64>>(m_strReplayTimePath, 0);

    m_allModes.Set(ValuePath(Keys::AllRecordReplayModes));
    m_recordId.Set(ValuePath(Keys::RecordID));
    m_deviceId.Set(ValuePath(Keys::DeviceID));
    m_recordName.Set(ValuePath(Keys::RecordName));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const quint64 sequence = m_replay.sequence;
        m_replay = Replay();
        m_replay.sequence = sequence + 1;
        m_bReplayEndedUnreachable = false;
    }
    m_recording = Recording();
    m_strLastWrittenName.clear();
    m_strAppliedDevice.clear();
    m_strAppliedRecord.clear();
    m_eDiscState = eDisc_Roomy;
    m_strDiscDevice.clear();
    m_bRecordFlagCleared = false;
    Report(QStringLiteral("channel values created under %1").arg(m_strPath));
    DeviceSpaceChanged(RecordDeviceId());
}

void SimulatedChannel::Release()
{
    ++m_nGeneration;
    m_allModes.Reset();
    m_recordId.Reset();
    m_deviceId.Reset();
    m_recordName.Reset();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_replay.sequence;
        m_replay.mode = Admin::eReplayMode_Stopped;
        m_bReplayEndedUnreachable = false;
    }
    m_recording = Recording();
    m_bRecordBusy = false;
    if (values::Tree::Instance()->Release(m_strPath))
        Report(QStringLiteral("channel node %1 deleted").arg(m_strPath));
}

bool SimulatedChannel::Exists() const
{
    return values::Tree::Instance()->FindNode(m_strPath) != nullptr;
}

void SimulatedChannel::WriteString(const char* key, const QString& value)
{
    if (auto v = findValue<values::Value<QString>>(ValuePath(key)))
        v->Set(value, this);
}

void SimulatedChannel::WriteBool(const char* key, bool value)
{
    if (auto v = findValue<values::Value<bool>>(ValuePath(key)))
        v->Set(value, this);
}

void SimulatedChannel::WriteInt(const char* key, int value)
{
    if (auto v = findValue<values::Value<int>>(ValuePath(key)))
        v->Set(value, this);
}

void SimulatedChannel::WriteInt64(const char* key, qint64 value)
{
    if (auto v = findValue<values::ValueNumeric<values::int64>>(ValuePath(key)))
        v->Set(value, this);
}

void SimulatedChannel::WriteReplayTime(qint64 value)
{
    if (auto v = findValue<values::IValueNumeric>(m_strReplayTimePath))
        v->SetNumeric(double(value), this);
}

void SimulatedChannel::Select(const char* key, long value)
{
    if (auto v = findValue<values::ValueSelection>(ValuePath(key)))
        v->SelectIndex(value, this);
}

QString SimulatedChannel::ReadString(const char* key) const
{
    auto v = findValue<values::Value<QString>>(ValuePath(key));
    return v ? v->Get() : QString();
}

int SimulatedChannel::ReadInt(const char* key) const
{
    auto v = findValue<values::Value<int>>(ValuePath(key));
    return v ? v->Get() : 0;
}

long SimulatedChannel::AllModes() const
{
    auto v = findValue<values::ValueSelection>(ValuePath(Keys::AllRecordReplayModes));
    return v ? v->GetCurrentKey() : -1;
}

long SimulatedChannel::ReplayModeKey() const
{
    auto v = findValue<values::ValueSelection>(ValuePath(Keys::ReplayMode));
    return v ? v->GetCurrentKey() : -1;
}

qint64 SimulatedChannel::ReplayTime() const
{
    auto v = findValue<values::IValueNumeric>(m_strReplayTimePath);
    return v ? qint64(v->GetNumeric()) : 0;
}

bool SimulatedChannel::IsRecording() const
{
    return m_recording.active;
}

int SimulatedChannel::ReplayPasses() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_replay.passes;
}

QString SimulatedChannel::LastRecordId() const
{
    return m_strLastRecordId;
}

// ---------------------------------------------------------------- notifications

void SimulatedChannel::Update(Observable* observable, TChangeCode code)
{
    // Any thread, inside the writer's notification: only look, act later.
    if (code != VC_VALUECHANGED)
        return;
    if (observable == m_allModes.get()) {
        const long key = static_cast<values::ValueSelection*>(observable)->GetCurrentKey();
        Later([this, key]() { AllModesRequested(key); }, 0);
    } else if (observable == m_recordId.get()) {
        Later([this]() { RecordSelected(); }, 0);
    } else if (observable == m_deviceId.get()) {
        Later([this]() {
            RecordSelected();
            DeviceSpaceChanged(RecordDeviceId());
        }, 0);
    } else if (observable == m_recordName.get()) {
        const QString name = static_cast<values::Value<QString>*>(observable)->Get();
        Later([this, name]() { RecordNameWritten(name); }, 0);
    }
}

// ---------------------------------------------------------------- recording

void SimulatedChannel::AllModesRequested(long key, bool external)
{
    if (!IsConnected()) {
        Report(QStringLiteral("AllRecordReplayModes %1 seen while unreachable; handled when the connection returns")
                   .arg(allModesText(key)));
        return;
    }
    switch (key) {
    case Admin::eRecordReplayAllModes_Startrecord:
        if (m_recording.active || m_recording.starting)
            return;
        m_recording.starting = true;
        m_recording.external = external;
        m_bRecordBusy = true;
        Report(QStringLiteral("record requested"));
        Later([this]() { BeginRecording(); });
        break;
    case Admin::eRecordReplayAllModes_Recordreplaystopped:
        if (m_recording.starting && !m_recording.active) {
            m_recording.starting = false;
            m_bRecordBusy = false;
        }
        Report(QStringLiteral("stop of the record requested"));
        Later([this]() { FinishRecording(); });
        break;
    case Admin::eRecordReplayAllModes_Stopped:
        // Written by the client while its request was still pending: withdrawn.
        if (m_recording.starting) {
            m_recording.starting = false;
            m_bRecordBusy = false;
            Report(QStringLiteral("record request withdrawn"));
        } else if (m_recording.active) {
            Report(QStringLiteral("record stopped by the client"));
            FinishRecording();
        }
        break;
    default:
        break;
    }
}

void SimulatedChannel::BeginRecording()
{
    if (!m_recording.starting || m_recording.active)
        return;
    if (AllModes() != Admin::eRecordReplayAllModes_Startrecord) {
        m_recording.starting = false;
        m_bRecordBusy = false;
        return;
    }
    auto backend = m_pSimulator->Backend();
    const QString deviceId = RecordDeviceId();
    if (!backend->HasDevice(deviceId)) {
        m_recording.starting = false;
        m_bRecordBusy = false;
        Report(QStringLiteral("no recorder device: record refused"));
        WriteString(Keys::ErrorCode, QStringLiteral("VRX_ERR_DEVICE_FAILURE"));
        Select(Keys::AllRecordReplayModes, Admin::eRecordReplayAllModes_Stopped);
        return;
    }
    if (backend->GetDevice(deviceId).freeSpace == 0) {
        // Nothing could be written: no record at all rather than an empty one.
        m_recording.starting = false;
        m_bRecordBusy = false;
        Report(QStringLiteral("device %1 is full: record refused; AllRecordReplayModes -> %2")
                   .arg(deviceId, allModesText(Admin::eRecordReplayAllModes_Stopped)));
        Select(Keys::AllRecordReplayModes, Admin::eRecordReplayAllModes_Stopped);
        DeviceSpaceChanged(deviceId);
        return;
    }
    const int fileSizeKB = ReadInt(Keys::FileSizeInKB);
    const qint64 now = HaldaOS::Get();

    // A name a client wrote before the start is the record's; otherwise the
    // manager makes one up the way the record parameter dialog offers it
    // ("yyyyMMdd:hhmmss_" after the channel's prefix), so that the name an
    // operator accepts unchanged is the one the list shows.
    QString name = m_recording.external ? QString() : ReadString(Keys::RecordName);
    if (name.isEmpty() || name == m_strLastWrittenName)
        name = QStringLiteral("CH%1_%2").arg(m_nIndex + 1).arg(QDateTime::fromMSecsSinceEpoch(now / 1000).toString(QStringLiteral("yyyyMMdd:hhmmss_")));

    m_recording.active = true;
    m_recording.starting = false;
    m_recording.deviceId = deviceId;
    m_recording.recordId = m_pSimulator->NextRecordId();
    m_recording.name = name;
    m_recording.startTime = now;
    m_recording.bytes = 0;
    m_recording.limitBytes = quint64(std::max(0, fileSizeKB)) * 1024;
    m_recording.rate = VOREX_RecordData::NameToDataRate(ReadString(Keys::DataRateClass));

    VOREX_RecordData record(m_recording.recordId, name);
    record.SetRecordStatus(1); // being recorded
    record.SetDataRate(VOREX_RecordData::DataRate(m_recording.rate));
    record.SetStartTime(quint64(now));
    backend->SetRecord(deviceId, record);

    m_strLastWrittenName = name;
    WriteString(Keys::RecordName, name);
    WriteInt64(Keys::RecordCounterStartTime, now);
    const long state = fileSizeKB != 0 ? Admin::eRecordReplayAllModes_Recordcontinuous : Admin::eRecordReplayAllModes_Record;
    Report(QStringLiteral("recording %1 \"%2\" on %3%4; AllRecordReplayModes -> %5")
               .arg(m_recording.recordId, name, deviceId,
                    fileSizeKB != 0 ? QStringLiteral(" (continuous, %1 KiB)").arg(fileSizeKB) : QString(),
                    allModesText(state)));
    Select(Keys::AllRecordReplayModes, state);
}

void SimulatedChannel::FinishRecording()
{
    if (!m_recording.active) {
        if (AllModes() != Admin::eRecordReplayAllModes_Stopped) {
            Report(QStringLiteral("nothing recorded; AllRecordReplayModes -> %1").arg(allModesText(4)));
            Select(Keys::AllRecordReplayModes, Admin::eRecordReplayAllModes_Stopped);
        }
        return;
    }
    auto backend = m_pSimulator->Backend();
    qint64 now = std::max(HaldaOS::Get(), m_recording.startTime + 1);
    const int timeoutS = m_recording.external ? 0 : ReadInt(Keys::RecordTimeout);
    if (timeoutS > 0) // ticks are coarser than the time-out: the record ends at it
        now = std::min(now, m_recording.startTime + qint64(timeoutS) * 1000000);
    const quint64 size = std::max<quint64>(m_recording.bytes, 1);
    // The operator names the record while it runs (the toolbar asks once the
    // record has begun): the name as it stands now is the one stored.
    if (!m_recording.external) {
        const QString written = ReadString(Keys::RecordName);
        if (!written.isEmpty())
            m_recording.name = written;
    }

    VOREX_RecordData record(m_recording.recordId, m_recording.name);
    record.SetRecordStatus(VOREX_RecordData::RecordStatusCompleted);
    record.SetDataRate(VOREX_RecordData::DataRate(m_recording.rate));
    record.SetStartTime(quint64(m_recording.startTime));
    record.SetStopTime(quint64(now));
    record.SetStartPosition(0);
    record.SetStopPosition(size);
    record.SetRecordSize(size);
    record.SetIndexEntry({VOREX_XML::IndexEntry(quint64(m_recording.startTime), 0), VOREX_XML::IndexEntry(quint64(now), size)});
    const qint64 middle = m_recording.startTime + (now - m_recording.startTime) / 2;
    record.SetBookmarkEntry({VOREX_XML::BookmarkEntry(quint64(middle), QStringLiteral("middle"))});
    const QString deviceId = m_recording.deviceId;
    const QString recordId = m_recording.recordId;
    m_strLastWrittenName = m_recording.name;
    m_recording = Recording();
    m_bRecordBusy = false;
    m_strLastRecordId = recordId;
    backend->SetRecord(deviceId, record);
    m_pSimulator->StoreRecord(deviceId, recordId);

    Report(QStringLiteral("record %1 \"%2\" completed (%3 s, %4 bytes); it becomes the channel's record; AllRecordReplayModes -> %5")
               .arg(recordId, record.GetRecordName())
               .arg(double(now - record.GetStartTime()) / 1e6, 0, 'f', 1)
               .arg(size)
               .arg(allModesText(4)));
    // The new record first, so that the stopped look already shows its duration.
    if (ReadString(Keys::DeviceID) != deviceId)
        WriteString(Keys::DeviceID, deviceId);
    WriteString(Keys::RecordID, recordId);
    RecordSelected();
    Select(Keys::AllRecordReplayModes, Admin::eRecordReplayAllModes_Stopped);
}

void SimulatedChannel::RecordSelected()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_replay.mode != Admin::eReplayMode_Stopped)
            return; // a running replay keeps its range
    }
    const QString deviceId = ReadString(Keys::DeviceID);
    const QString recordId = ReadString(Keys::RecordID);
    // Several writers announce one choice (the client, its connector, the
    // manager itself): the range is set once per record.
    if (deviceId == m_strAppliedDevice && recordId == m_strAppliedRecord)
        return;
    m_strAppliedDevice = deviceId;
    m_strAppliedRecord = recordId;
    auto record = m_pSimulator->Backend()->GetRecord(deviceId, recordId);
    const qint64 start = record ? qint64(record->GetStartPosition()) : 0;
    const qint64 stop = record ? qint64(record->GetStopPosition()) : 0;
    WriteInt64(Keys::StartPosition, start);
    WriteInt64(Keys::StopPosition, stop);
    WriteInt64(Keys::ReplayBegin, start);
    WriteInt64(Keys::ReplayEnd, stop);
    WriteInt64(Keys::CurrentReplayPosition, start);
    if (record)
        WriteReplayTime(OffsetTimeMap(*record).timeAt(double(start)));
}

// ---------------------------------------------------------------- replay

quint32 SimulatedChannel::Command(const VorexCommon::RecordedCommand& command)
{
    const QString deviceId = command.args.value(0).toString();
    const QString recordId = command.args.value(1).toString();
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_nFailNext != 0) {
        const quint32 code = m_nFailNext;
        m_nFailNext = 0;
        lock.unlock();
        Report(QStringLiteral("%1 answered with the injected error code %2").arg(command.command).arg(code));
        return code;
    }
    const quint64 sequence = ++m_replay.sequence;

    if (command.command == QLatin1String("StartReplay")) {
        lock.unlock();
        auto backend = m_pSimulator->Backend();
        if (!backend->HasDevice(deviceId))
            return RecorderManagerBackend::eResult_UnknownDevice;
        auto record = backend->GetRecord(deviceId, recordId);
        if (!record)
            return RecorderManagerBackend::eResult_UnknownRecord;
        if (m_bRecordBusy)
            return eResult_ChannelBusy;
        const OffsetTimeMap map(*record);
        double start = double(command.args.value(3).toULongLong());
        double stop = double(command.args.value(4).toULongLong());
        if (stop <= start) { // no usable range: the whole record
            start = map.lowOffset();
            stop = map.highOffset();
        }
        start = std::clamp(start, map.lowOffset(), map.highOffset());
        stop = std::clamp(stop, map.lowOffset(), map.highOffset());
        const quint32 replays = command.args.value(5).toUInt();
        lock.lock();
        if (m_replay.sequence != sequence)
            return eResult_ChannelBusy; // overtaken by another command meanwhile
        m_replay.mode = Admin::eReplayMode_Starting;
        m_replay.deviceId = deviceId;
        m_replay.recordId = recordId;
        m_replay.startTime = map.timeAt(start);
        m_replay.stopTime = std::max(map.timeAt(stop), m_replay.startTime + 1);
        m_replay.replays = replays;
        m_replay.passes = 0;
        m_replay.time = m_replay.startTime;
        lock.unlock();
        Report(QStringLiteral("StartReplay %1/%2, %3 time(s), range %4..%5")
                   .arg(deviceId, recordId, replays == 0 ? QStringLiteral("endless") : QString::number(replays))
                   .arg(qint64(start))
                   .arg(qint64(stop)));
        Later([this, sequence]() {
            ReplayModeStep(sequence, Admin::eReplayMode_Starting);
            Later([this, sequence]() { ReplayModeStep(sequence, Admin::eReplayMode_Running); });
        }, 0);
        return RecorderManagerBackend::eResult_Ok;
    }
    if (command.command == QLatin1String("PauseReplay")) {
        if (m_replay.mode != Admin::eReplayMode_Running && m_replay.mode != Admin::eReplayMode_Starting)
            return eResult_NoReplay;
        m_replay.mode = Admin::eReplayMode_Pausing;
        lock.unlock();
        Report(QStringLiteral("PauseReplay"));
        Later([this, sequence]() {
            ReplayModeStep(sequence, Admin::eReplayMode_Pausing);
            Later([this, sequence]() { ReplayModeStep(sequence, Admin::eReplayMode_Paused); });
        }, 0);
        return RecorderManagerBackend::eResult_Ok;
    }
    if (command.command == QLatin1String("ContinueReplay")) {
        if (m_replay.mode == Admin::eReplayMode_Stopped || m_replay.mode == Admin::eReplayMode_Stopping)
            return eResult_NoReplay;
        m_replay.mode = Admin::eReplayMode_Running;
        lock.unlock();
        Report(QStringLiteral("ContinueReplay"));
        Later([this, sequence]() { ReplayModeStep(sequence, Admin::eReplayMode_Running); });
        return RecorderManagerBackend::eResult_Ok;
    }
    if (command.command == QLatin1String("StopReplay")) {
        const bool running = m_replay.mode != Admin::eReplayMode_Stopped;
        m_replay.mode = running ? Admin::eReplayMode_Stopping : Admin::eReplayMode_Stopped;
        lock.unlock();
        Report(QStringLiteral("StopReplay%1").arg(running ? QString() : QStringLiteral(" (no replay)")));
        Later([this, sequence, running]() {
            if (!running) {
                ReplayModeStep(sequence, Admin::eReplayMode_Stopped);
                return;
            }
            ReplayModeStep(sequence, Admin::eReplayMode_Stopping);
            Later([this, sequence]() { ReplayModeStep(sequence, Admin::eReplayMode_Stopped); });
        }, 0);
        return RecorderManagerBackend::eResult_Ok;
    }
    return RecorderManagerBackend::eResult_Ok;
}

void SimulatedChannel::FailNextCommand(quint32 code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nFailNext = code;
}

void SimulatedChannel::ReplayModeStep(quint64 sequence, long mode)
{
    qint64 time = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_replay.sequence != sequence)
            return;
        m_replay.mode = mode;
        time = m_replay.time;
    }
    if (mode == Admin::eReplayMode_Starting)
        WriteReplayTime(time);
    Report(QStringLiteral("ReplayMode -> %1").arg(replayModeText(mode)));
    Select(Keys::ReplayMode, mode);
}

void SimulatedChannel::StartReplayInternal(const QString& deviceId, const QString& recordId, quint64 startOffset,
                                           quint64 stopOffset, quint32 replays)
{
    VorexCommon::RecordedCommand command{QStringLiteral("StartReplay"), Name(),
                                         QVariantList{deviceId, recordId, int(VOREX_RecordData::eDataRate_3),
                                                      startOffset, stopOffset, replays}};
    const quint32 code = Command(command);
    if (code != 0)
        Report(QStringLiteral("replay not started (code %1)").arg(code));
}

// ---------------------------------------------------------------- time

void SimulatedChannel::Tick(qint64 elapsedUs)
{
    if (elapsedUs <= 0 || !IsConnected())
        return;

    bool writeTime = false;
    bool finished = false;
    qint64 time = 0;
    quint64 sequence = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_replay.mode == Admin::eReplayMode_Running) {
            m_replay.time += elapsedUs;
            if (m_replay.time >= m_replay.stopTime) {
                ++m_replay.passes;
                if (m_replay.replays != 0 && quint32(m_replay.passes) >= m_replay.replays) {
                    m_replay.time = m_replay.stopTime;
                    m_replay.mode = Admin::eReplayMode_Stopping;
                    sequence = ++m_replay.sequence;
                    finished = true;
                } else {
                    m_replay.time = m_replay.startTime + (m_replay.time - m_replay.stopTime);
                    if (m_replay.time >= m_replay.stopTime)
                        m_replay.time = m_replay.startTime;
                }
            }
            time = m_replay.time;
            writeTime = true;
        }
    }
    if (writeTime)
        WriteReplayTime(time);
    if (finished) {
        Report(QStringLiteral("replay reached the end of its range"));
        ReplayModeStep(sequence, Admin::eReplayMode_Stopping);
        Later([this, sequence]() { ReplayModeStep(sequence, Admin::eReplayMode_Stopped); });
    }

    if (m_recording.active) {
        auto backend = m_pSimulator->Backend();
        const quint64 grown = bytesPerSecond(m_recording.rate) * quint64(elapsedUs) / 1000000;
        quint64 used = grown;
        if (m_recording.limitBytes != 0) {
            // A continuous record overwrites its oldest data once full.
            used = m_recording.bytes >= m_recording.limitBytes ? 0 : std::min(grown, m_recording.limitBytes - m_recording.bytes);
        }
        const VorexCommon::DeviceInfo device = backend->GetDevice(m_recording.deviceId);
        if (!device.deviceId.isEmpty())
            used = std::min(used, device.freeSpace); // a full device takes no more
        m_recording.bytes += used;
        if (!device.deviceId.isEmpty()) {
            const quint64 free = device.freeSpace - used;
            if (used > 0)
                backend->SetDiscSpace(device.deviceId, free, device.totalSpace);
            // Also when another channel filled the device.
            ReportDiscState(device.deviceId, free, device.totalSpace);
            if (free == 0) {
                StopRecordingAsManager(QStringLiteral("device %1 is full").arg(device.deviceId));
                return;
            }
        }
        // RecordTimeout: seconds, as the record parameter dialog gives them.
        const int timeoutS = m_recording.external ? 0 : ReadInt(Keys::RecordTimeout);
        if (timeoutS > 0 && HaldaOS::Get() - m_recording.startTime >= qint64(timeoutS) * 1000000)
            StopRecordingAsManager(QStringLiteral("time-out of %1 s reached").arg(timeoutS));
    }
}

// The manager ends a record on its own (time-out, full device) the way a
// stop is served: stopping first, stopped with the record stored after.
void SimulatedChannel::StopRecordingAsManager(const QString& reason)
{
    if (!m_recording.active || AllModes() == Admin::eRecordReplayAllModes_Recordreplaystopped)
        return;
    Report(QStringLiteral("%1: the record stops; AllRecordReplayModes -> %2")
               .arg(reason, allModesText(Admin::eRecordReplayAllModes_Recordreplaystopped)));
    Select(Keys::AllRecordReplayModes, Admin::eRecordReplayAllModes_Recordreplaystopped);
    Later([this]() { FinishRecording(); });
}

void SimulatedChannel::RecordNameWritten(const QString& name)
{
    if (!m_recording.active || m_recording.external || name.isEmpty() || name == m_recording.name)
        return;
    m_recording.name = name;
    // The list shows the new name while the record still runs.
    auto backend = m_pSimulator->Backend();
    if (auto record = backend->GetRecord(m_recording.deviceId, m_recording.recordId)) {
        record->SetRecordName(name);
        backend->SetRecord(m_recording.deviceId, *record);
    }
    Report(QStringLiteral("record %1 named \"%2\"").arg(m_recording.recordId, name));
}

// The device a record of this channel goes to: its DeviceID, or the
// channel's default when that names no device.
QString SimulatedChannel::RecordDeviceId() const
{
    const QString deviceId = ReadString(Keys::DeviceID);
    return deviceId.isEmpty() || !m_pSimulator->Backend()->HasDevice(deviceId) ? m_strDefaultDevice : deviceId;
}

// Reports "almost full" and "full" once each as the device fills; the
// device's ErrorCode key names the channel and the device.
void SimulatedChannel::ReportDiscState(const QString& deviceId, quint64 freeSpace, quint64 totalSpace)
{
    const DiscState state = freeSpace == 0                  ? eDisc_Full
                            : freeSpace < totalSpace / 20   ? eDisc_AlmostFull
                                                            : eDisc_Roomy;
    if (deviceId != m_strDiscDevice) {
        m_strDiscDevice = deviceId;
        m_eDiscState = eDisc_Roomy;
    }
    if (state <= m_eDiscState) {
        m_eDiscState = state; // space freed: the next filling is reported again
        return;
    }
    m_eDiscState = state;
    const bool full = state == eDisc_Full;
    Report(QStringLiteral("device %1 is %2").arg(deviceId, full ? QStringLiteral("full") : QStringLiteral("almost full")));
    const QString key = full ? QStringLiteral("VRX_ERR_DISC_FULL") : QStringLiteral("VRX_WARN_DISC_ALMOST_FULL");
    const auto& title = m_pSimulator->Options().channelTitle;
    WriteString(Keys::ErrorCode, VorexCommon::ErrorDescriptor::ErrorKey(key, {title ? title(m_nIndex) : Name(), deviceId}));
    if (full)
        DeviceSpaceChanged(deviceId);
}

void SimulatedChannel::DeviceSpaceChanged(const QString& deviceId)
{
    if (!Exists())
        return;
    const QString recordDevice = RecordDeviceId();
    if (deviceId != recordDevice)
        return;
    const VorexCommon::DeviceInfo device = m_pSimulator->Backend()->GetDevice(recordDevice);
    const bool full = !device.deviceId.isEmpty() && device.freeSpace == 0;
    if (!m_recording.active && recordDevice == m_strDiscDevice && device.totalSpace > 0
        && device.freeSpace >= device.totalSpace / 20)
        m_eDiscState = eDisc_Roomy;
    if (full && !m_bRecordFlagCleared) {
        m_bRecordFlagCleared = true;
        Report(QStringLiteral("device %1 is full: RecordFlag -> false").arg(recordDevice));
        WriteBool(Keys::RecordFlag, false);
    } else if (!full && m_bRecordFlagCleared) {
        m_bRecordFlagCleared = false;
        Report(QStringLiteral("device %1 has space: RecordFlag -> true").arg(recordDevice));
        WriteBool(Keys::RecordFlag, true);
    }
}

void SimulatedChannel::ConnectionChanged(bool connected)
{
    if (!Exists())
        return;
    if (!connected) {
        // A replay feeds a client that is gone: it ends. A record goes on,
        // recorders do not depend on their operator's client.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_replay.mode != Admin::eReplayMode_Stopped) {
            m_replay.mode = Admin::eReplayMode_Stopped;
            ++m_replay.sequence;
            m_bReplayEndedUnreachable = true;
        }
        return;
    }
    bool announceStop = false;
    quint64 sequence = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        announceStop = m_bReplayEndedUnreachable && m_replay.mode == Admin::eReplayMode_Stopped;
        m_bReplayEndedUnreachable = false;
        sequence = m_replay.sequence;
    }
    if (announceStop) {
        Report(QStringLiteral("the replay ended while the connection was lost"));
        Later([this, sequence]() {
            ReplayModeStep(sequence, Admin::eReplayMode_Stopping);
            Later([this, sequence]() { ReplayModeStep(sequence, Admin::eReplayMode_Stopped); });
        }, 0);
    }
    // Requests written while the manager was unreachable are served now.
    const long key = AllModes();
    if (key == Admin::eRecordReplayAllModes_Startrecord || key == Admin::eRecordReplayAllModes_Recordreplaystopped)
        Later([this, key]() { AllModesRequested(key); }, 0);
}

// ---------------------------------------------------------------- injected events

void SimulatedChannel::SetErrorCode(const QString& key)
{
    Report(key.isEmpty() ? QStringLiteral("ErrorCode cleared") : QStringLiteral("ErrorCode -> %1").arg(key));
    WriteString(Keys::ErrorCode, key);
}

void SimulatedChannel::SetFlag(const char* key, bool value)
{
    Report(QStringLiteral("%1 -> %2").arg(QLatin1String(key), value ? QStringLiteral("true") : QStringLiteral("false")));
    WriteBool(key, value);
}

void SimulatedChannel::SetFlagState(const char* key, int state)
{
    if (auto v = findValue<values::ValueBase>(ValuePath(key))) {
        Report(QStringLiteral("%1 state -> %2").arg(QLatin1String(key)).arg(state));
        v->SetState(state, this);
    }
}

void SimulatedChannel::TriggerExternalRecord(bool continuous)
{
    if (m_recording.active || m_recording.starting || ReplayModeKey() > 0) {
        Report(QStringLiteral("external record refused: the channel is busy"));
        return;
    }
    Report(QStringLiteral("external %1record").arg(continuous ? QStringLiteral("continuous ") : QString()));
    WriteBool(Keys::TriggeredByCorbaCall, true);
    WriteInt(Keys::FileSizeInKB, continuous ? 100 * 1024 : 0);
    Select(Keys::AllRecordReplayModes, Admin::eRecordReplayAllModes_Startrecord);
    AllModesRequested(Admin::eRecordReplayAllModes_Startrecord, true);
}

bool SimulatedChannel::TriggerExternalReplay(bool continuous)
{
    if (m_recording.active || m_recording.starting) {
        Report(QStringLiteral("external replay refused: a record runs"));
        return false;
    }
    auto backend = m_pSimulator->Backend();
    QString deviceId = ReadString(Keys::DeviceID);
    QString recordId = ReadString(Keys::RecordID);
    if (!backend->GetRecord(deviceId, recordId)) {
        const auto records = backend->GetRecords(deviceId);
        auto it = std::find_if(records.begin(), records.end(), [](const VOREX_RecordData& r) {
            return r.GetRecordStatus() == VOREX_RecordData::RecordStatusCompleted;
        });
        if (it == records.end()) {
            Report(QStringLiteral("external replay refused: no record on %1").arg(deviceId));
            return false;
        }
        recordId = it->GetRecordID();
        SelectRecord(deviceId, recordId);
    }
    Report(QStringLiteral("external %1replay of %2").arg(continuous ? QStringLiteral("continuous ") : QString(), recordId));
    WriteBool(Keys::TriggeredByCorbaCall, true);
    WriteInt(Keys::NoOfReplays, continuous ? 0 : 1);
    StartReplayInternal(deviceId, recordId, 0, 0, continuous ? 0 : 1);
    return true;
}

void SimulatedChannel::TriggerExternalStop()
{
    WriteBool(Keys::TriggeredByCorbaCall, true);
    if (ReplayModeKey() > 0) {
        Report(QStringLiteral("external stop of the replay"));
        Command(VorexCommon::RecordedCommand{QStringLiteral("StopReplay"), Name(), QVariantList{}});
    } else if (m_recording.active || m_recording.starting) {
        Report(QStringLiteral("external stop of the record"));
        Select(Keys::AllRecordReplayModes, Admin::eRecordReplayAllModes_Recordreplaystopped);
        AllModesRequested(Admin::eRecordReplayAllModes_Recordreplaystopped);
    } else {
        Report(QStringLiteral("external stop: nothing runs"));
    }
}

void SimulatedChannel::SelectRecord(const QString& deviceId, const QString& recordId)
{
    Report(QStringLiteral("current record -> %1/%2").arg(deviceId, recordId));
    WriteString(Keys::DeviceID, deviceId);
    WriteString(Keys::RecordID, recordId);
    RecordSelected();
}

} // namespace VorexSim
