#pragma once

// Simulated recorder manager: plays the server's part in the value tree and
// behind the recorder client library, so that the demo host and the tests
// exercise the plug-in against one implementation of the server.
//
// Everything the simulator does to the value tree happens in the GUI thread,
// later than the change that caused it (queued or after a configurable
// delay), as a separate server process would: observers of the tree are
// notified synchronously, and a reaction written from inside the writer's
// notification would nest inside the plug-in's own handling of that write.
//
// Replay time and disc usage advance in Tick(), by the host clock's progress
// since the previous tick. The demo drives Tick() from a timer; tests set
// the host clock (HaldaOS::SetClock), switch the timer off and call Tick().

#include "vorexclient.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QTimer;

namespace VorexSim {

class SimulatedChannel;
class RecordStore;

struct SimulatorOptions
{
    int channels = 2;
    // Value path of channel `index` (0-based) and of its replay time value.
    std::function<QString(int)> channelPath;
    std::function<QString(int)> replayTimePath;
    // The name the operator knows channel `index` by, used where the manager
    // names a channel in its reports to the operator; unset: the node's name.
    std::function<QString(int)> channelTitle;
    // Delay of every state change the manager makes after a request.
    int reactionDelayMs = 400;
    // Delay from Start() until the connection comes up; negative: stays down.
    int connectDelayMs = 300;
    // Period of the automatic Tick(); 0: only explicit Tick() calls.
    int tickIntervalMs = 200;
    // Give each device a few completed records at start-up.
    bool seedRecords = true;
    // Folder of the persistent records (RecordStore); empty: records live
    // in memory only. When set, Start() serves the folder's records, or
    // seeds (and stores) the demo records the first time the folder is used;
    // every record the manager completes or a client edits is stored before
    // the operation reports success. A record still running when the process
    // dies is lost (only completed records are stored); its number is not
    // handed out again.
    QString dataFolder;
    // Simulated recorder devices: id, free and total bytes.
    struct Device
    {
        QString id;
        quint64 freeBytes;
        quint64 totalBytes;
        bool virtualDevice;
    };
    std::vector<Device> devices;

    // The demo's defaults: three devices, human-scale delays.
    static SimulatorOptions Demo(int channels, std::function<QString(int)> channelPath,
                                 std::function<QString(int)> replayTimePath);
    // For tests: no delays (reactions still run from the event loop), no
    // automatic ticks, connection up at the first event loop turn.
    static SimulatorOptions Fast(int channels, std::function<QString(int)> channelPath,
                                 std::function<QString(int)> replayTimePath);
};

// Keys of the channel values the simulator creates.
namespace Keys {
extern const char* const RecordReplayModes;
extern const char* const AllRecordReplayModes;
extern const char* const ReplayMode;
extern const char* const RecordFlag;
extern const char* const ReplayFlag;
extern const char* const PauseSupported;
extern const char* const TriggeredByCorbaCall;
extern const char* const ErrorCode;
extern const char* const DataRateClass;
extern const char* const AllowedDevices;
extern const char* const RecordName;
extern const char* const DeviceID;
extern const char* const RecordID;
extern const char* const ReplayDataRateClass;
extern const char* const AvailableDataRateClass;
extern const char* const AvailableDataRateClass2;
extern const char* const FileSizeInKB;
extern const char* const NoOfReplays;
extern const char* const RecordTimeout;
extern const char* const Duration;
extern const char* const RecordCounterStartTime;
extern const char* const StartPosition;
extern const char* const StopPosition;
extern const char* const ReplayBegin;
extern const char* const ReplayEnd;
extern const char* const CurrentReplayPosition;
} // namespace Keys

// Manager result codes beyond the client library's (0 ok, 1 not connected,
// 2 unknown device, 3 unknown record).
enum ManagerResult : quint32 {
    eResult_ChannelBusy = 10,    // a record runs on the channel
    eResult_NoReplay = 11,       // pause/continue without a replay
    eResult_UnknownChannel = 12, // command for a channel the manager does not serve
    eResult_InvalidRange = 13,   // replay range outside the record
    eResult_NotStored = 14,      // the record store refused or failed: nothing changed
    eResult_InvalidText = 15     // a name or text beyond the store's limits
};

class RecorderManagerSimulator : public QObject
{
    Q_OBJECT

public:
    enum Flag { RecordFlag, ReplayFlag, PauseSupported };

    explicit RecorderManagerSimulator(const SimulatorOptions& options, QObject* parent = nullptr);
    ~RecorderManagerSimulator() override;

    // Installs the backend, adds devices and records, creates every channel's
    // values and schedules the connection. Stop() uninstalls the backend and
    // releases the channel nodes; the destructor stops.
    void Start();
    void Stop();
    bool IsStarted() const { return m_bStarted; }

    std::shared_ptr<VorexCommon::RecorderManagerBackend> Backend() const { return m_spBackend; }
    const SimulatorOptions& Options() const { return m_options; }
    int ChannelCount() const;
    QString ChannelPath(int channel) const;
    QString ReplayTimePath(int channel) const;
    QString ValuePath(int channel, const char* key) const;

    // Advances running replays and recordings by the host clock's progress.
    void Tick();

    // --- record edits a client asks for (GUI thread): the backend's
    // operation, then the store. A store failure undoes the edit.
    quint32 SetBookmarks(const QString& deviceId, const QString& recordId,
                         const QVector<VOREX_XML::BookmarkEntry>& bookmarks);
    quint32 AddHistory(const QString& deviceId, const QString& recordId, const QString& text);
    quint32 RenameRecord(const QString& deviceId, const QString& recordId, const QString& name);
    // False when the record is unknown or could not be removed from the store.
    bool DeleteRecord(const QString& deviceId, const QString& recordId);
    // Why the data folder could not be opened at Start(); empty when it was
    // (or none is configured).
    QString StoreError() const { return m_strStoreError; }

    // --- what a real manager and host do, for the control menu, tests and scenarios
    void SetConnected(bool connected);
    bool IsConnected() const;
    // Writes an error key into the channel's ErrorCode (empty clears).
    void SetErrorCode(int channel, const QString& key);
    void SetFlag(int channel, Flag flag, bool value);
    // Value state of a flag: 0 normal, 2 disabled.
    void SetFlagState(int channel, Flag flag, int state);
    // Record or replay started by the manager itself (TriggeredByCorbaCall true).
    void TriggerExternalRecord(int channel, bool continuous);
    bool TriggerExternalReplay(int channel, bool continuous);
    // Stops what runs on the channel, as the manager (TriggeredByCorbaCall true).
    void TriggerExternalStop(int channel);
    // Releases the channel node with all values / builds it again.
    void DeleteChannel(int channel);
    void RecreateChannel(int channel);
    bool ChannelExists(int channel) const;
    // The next replay command for the channel fails with `code`, without effect.
    void FailNextReplayCommand(int channel, quint32 code);
    // A hung manager: it takes requests and commands but never acts on them
    // (what it was about to do is lost), until it answers again.
    void SetAnswering(bool answering);
    bool IsAnswering() const { return m_bAnswering; }
    // Makes a record the channel's current one (DeviceID and RecordID).
    void SelectRecord(int channel, const QString& deviceId, const QString& recordId);
    // A user-management event ("User logged on", "User changed", ...), after
    // granting or revoking the rights the toolbar asks for.
    static void SendUserEvent(const QString& event);
    static void SetUserRight(const QString& right, int level);

    // --- state, for tests and transcripts
    long RecordReplayAllModes(int channel) const;
    long ReplayMode(int channel) const;
    qint64 ReplayTime(int channel) const;
    bool IsRecording(int channel) const;
    int ReplayPasses(int channel) const;
    QString LastRecordId(int channel) const;
    // The commands the manager took since the last take, as transcripts
    // show them: "StartReplay(Dev1, REC-0003, 3, 0, 10485760, 1)".
    QStringList TakeCommandTexts();
    QStringList DeviceIds() const;

    static QStringList ErrorKeys();

signals:
    // One line per action of the manager, for logs and transcripts.
    void si_managerEvent(const QString& text);

private:
    friend class SimulatedChannel;
    quint32 HandleCommand(const VorexCommon::RecordedCommand& command);
    quint32 HandleDeviceTime(const QString& deviceId, quint64& time);
    SimulatedChannel* ChannelByName(const QString& name) const;
    SimulatedChannel* Channel(int index) const;
    void SeedRecords();
    void OpenStore();
    bool StoreRecord(const QString& deviceId, const QString& recordId);
    quint32 EditRecord(const QString& deviceId, const QString& recordId, const std::function<quint32()>& edit);
    void Report(const QString& text);
    QString NextRecordId();

    SimulatorOptions m_options;
    std::shared_ptr<VorexCommon::RecorderManagerBackend> m_spBackend;
    std::vector<std::unique_ptr<SimulatedChannel>> m_channels;
    QTimer* m_pTickTimer = nullptr;
    bool m_bStarted = false;
    qint64 m_nLastTick = 0;
    int m_nNextRecord = 1;
    bool m_bAnswering = true;
    std::unique_ptr<RecordStore> m_store;
    QString m_strStoreError;
};

} // namespace VorexSim
