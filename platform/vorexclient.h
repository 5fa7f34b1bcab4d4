#pragma once

// Recorder client library: connection data, server handlers, record data,
// mode enumerations, error responses, user rights, device list, and the
// in-process recorder manager backend that stands behind all of them.
//
// The recorder manager itself is played by whoever registers a
// VorexCommon::RecorderManagerBackend (the demo simulator, tests). Without a
// registered backend every command answers a non-zero code and nothing waits.

#include "base.h"
#include "platform_export.h"
#include "values.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// ---------------------------------------------------------------------------
// Value-tree helper
// ---------------------------------------------------------------------------

class VRXPLATFORM_EXPORT VTHelper
{
public:
    static VTHelper& Instance();

    // Selects `key` in `selection` from any thread; `writer` is not notified
    // (null notifies every observer). False for a null selection or a key the
    // selection does not offer.
    bool SafeSetValue(values::ValueSelection* selection, long key, IObserver* writer);

    // Posts SetValueInternal<T> into the GUI thread. Defined beside the
    // main-thread call events that carry it.
    template <typename T>
    void SetValue(const QString& path, T value, IObserver* observer);

    // Sets the value of type T at `path`; a missing path or a value of
    // another type is ignored silently.
    template <typename T>
    void SetValueInternal(const QString& path, T value, IObserver* observer);

private:
    VTHelper() = default;
};

template <> VRXPLATFORM_EXPORT void VTHelper::SetValueInternal<int>(const QString&, int, IObserver*);
template <> VRXPLATFORM_EXPORT void VTHelper::SetValueInternal<QString>(const QString&, QString, IObserver*);
template <> VRXPLATFORM_EXPORT void VTHelper::SetValueInternal<bool>(const QString&, bool, IObserver*);

// ---------------------------------------------------------------------------
// Record data and mode enumerations
// ---------------------------------------------------------------------------

namespace VOREX_XML {

class VRXPLATFORM_EXPORT Admin
{
public:
    // Mode the operator asked for (selection "RecordReplayModes").
    enum RecordReplayMode : quint8 {
        eRecordReplayMode_Replay = 0,
        eRecordReplayMode_Replaycontinuous = 1,
        eRecordReplayMode_Pausereplay = 2,
        eRecordReplayMode_Record = 3,
        eRecordReplayMode_Recordcontinuous = 4,
        eRecordReplayMode_Stop = 5
    };

    // Recording state (selection "AllRecordReplayModes").
    enum RecordReplayAllModes : quint8 {
        eRecordReplayAllModes_Startrecord = 0,
        eRecordReplayAllModes_Record = 1,
        eRecordReplayAllModes_Recordcontinuous = 2,
        eRecordReplayAllModes_Recordreplaystopped = 3,
        eRecordReplayAllModes_Stopped = 4
    };

    // Replay state (selection "ReplayMode"), written by the manager only.
    enum ReplayMode : quint8 {
        eReplayMode_Stopped = 0,
        eReplayMode_Starting = 1,
        eReplayMode_Paused = 2,
        eReplayMode_Pausing = 3,
        eReplayMode_Running = 4,
        eReplayMode_Stopping = 5
    };

    // One entry of the mode list: converts to its selection key, so that
    // `GetRecordReplayModes()[i]` can be handed to the value-bound widgets
    // as a key, and carries the enumerator name for traces.
    struct ModeEntry
    {
        long key = 0;
        QString name;
        operator long() const { return key; }
    };
    typedef QVector<ModeEntry> ModeList;

    // The six modes indexed by RecordReplayMode value (entry i has key i).
    static ModeList GetRecordReplayModes();

    // Enumerator names ("eRecordReplayMode_Replay", ...). A value outside the
    // enumeration gives "unknown(<number>)".
    static QString RecordReplayModeToName(long mode);
    static QString RecordReplayAllModesToName(long mode);
    static QString ReplayModeToName(long mode);

    static bool IsValidRecordReplayMode(long mode);
    static bool IsValidRecordReplayAllModes(long mode);
    static bool IsValidReplayMode(long mode);
};

class VRXPLATFORM_EXPORT IndexEntry
{
public:
    IndexEntry() = default;
    IndexEntry(quint64 timestamp, quint64 recordOffset) : m_nTimestamp(timestamp), m_nRecordOffset(recordOffset) {}

    quint64 GetTimestamp() const { return m_nTimestamp; }
    void SetTimestamp(quint64 timestamp) { m_nTimestamp = timestamp; }
    quint64 GetRecordOffset() const { return m_nRecordOffset; }
    void SetRecordOffset(quint64 offset) { m_nRecordOffset = offset; }

    bool operator==(const IndexEntry& o) const { return m_nTimestamp == o.m_nTimestamp && m_nRecordOffset == o.m_nRecordOffset; }

private:
    quint64 m_nTimestamp = 0;
    quint64 m_nRecordOffset = 0;
};

class VRXPLATFORM_EXPORT BookmarkEntry
{
public:
    BookmarkEntry() = default;
    BookmarkEntry(quint64 timestamp, const QString& text) : m_nTimestamp(timestamp), m_strBookmark(text) {}

    quint64 GetTimestamp() const { return m_nTimestamp; }
    void SetTimestamp(quint64 timestamp) { m_nTimestamp = timestamp; }
    QString GetBookmark() const { return m_strBookmark; }
    void SetBookmark(const QString& text) { m_strBookmark = text; }

    bool operator==(const BookmarkEntry& o) const { return m_nTimestamp == o.m_nTimestamp && m_strBookmark == o.m_strBookmark; }

private:
    quint64 m_nTimestamp = 0;
    QString m_strBookmark;
};

// One line of a record's history (comments and events), newest last.
class VRXPLATFORM_EXPORT HistoryEntry
{
public:
    HistoryEntry() = default;
    HistoryEntry(quint64 timestamp, const QString& text) : m_nTimestamp(timestamp), m_strText(text) {}
    quint64 GetTimestamp() const { return m_nTimestamp; }
    QString GetText() const { return m_strText; }

private:
    quint64 m_nTimestamp = 0;
    QString m_strText;
};

// A stored record. Times are host-clock microseconds, positions are offsets
// into the record.
class VRXPLATFORM_EXPORT VOREX_RecordData
{
public:
    // 16 data-rate classes. Their names are "DataRate0" to "DataRate15".
    enum DataRate : quint8 {
        eDataRate_0 = 0, eDataRate_1, eDataRate_2, eDataRate_3,
        eDataRate_4, eDataRate_5, eDataRate_6, eDataRate_7,
        eDataRate_8, eDataRate_9, eDataRate_10, eDataRate_11,
        eDataRate_12, eDataRate_13, eDataRate_14, eDataRate_15
    };
    static constexpr int DataRateCount = 16;

    // Status of a completed record, the only one that is offered for replay.
    static constexpr int RecordStatusCompleted = 5;

    // Accepts the names above and plain decimal numbers 0 to 15 (surrounding
    // blanks ignored). Anything else, the empty text included, gives the
    // default eDataRate_0 and sets *ok false when `ok` is given.
    static DataRate NameToDataRate(const QString& name, bool* ok = nullptr);
    // Name of `rate`; a value outside 0 to 15 gives an empty string.
    static QString DataRateToName(int rate);
    // What the operator reads for a rate (the name above is the values' and
    // the manager's identifier).
    static QString DataRateDisplayName(int rate);
    // Default record size limit in bytes offered for continuous records.
    static quint64 DefaultRecordSizeLimit(int rate);

    VOREX_RecordData() = default;
    VOREX_RecordData(const QString& recordId, const QString& recordName);

    QString GetRecordID() const { return m_strRecordId; }
    void SetRecordID(const QString& id) { m_strRecordId = id; }
    QString GetRecordName() const { return m_strRecordName; }
    void SetRecordName(const QString& name) { m_strRecordName = name; }
    QString GetDeviceID() const { return m_strDeviceId; }
    void SetDeviceID(const QString& id) { m_strDeviceId = id; }
    int GetRecordStatus() const { return m_nRecordStatus; }
    void SetRecordStatus(int status) { m_nRecordStatus = status; }
    int GetDataFormat() const { return m_nDataFormat; }
    void SetDataFormat(int format) { m_nDataFormat = format; }

    DataRate GetDataRate() const { return m_eDataRate; }
    void SetDataRate(DataRate rate) { m_eDataRate = rate; }
    QString GetDataRateAsString() const { return DataRateToName(m_eDataRate); }
    QString GetDataRateDisplayName() const { return DataRateDisplayName(m_eDataRate); }

    quint64 GetStartTime() const { return m_nStartTime; }
    void SetStartTime(quint64 t) { m_nStartTime = t; }
    quint64 GetStopTime() const { return m_nStopTime; }
    void SetStopTime(quint64 t) { m_nStopTime = t; }
    quint64 GetStartPosition() const { return m_nStartPosition; }
    void SetStartPosition(quint64 p) { m_nStartPosition = p; }
    quint64 GetStopPosition() const { return m_nStopPosition; }
    void SetStopPosition(quint64 p) { m_nStopPosition = p; }
    // Record size in bytes (for the dialogs).
    quint64 GetRecordSize() const { return m_nRecordSize; }
    void SetRecordSize(quint64 s) { m_nRecordSize = s; }

    QVector<IndexEntry> GetIndexEntry() const { return m_indexEntries; }
    void SetIndexEntry(const QVector<IndexEntry>& entries) { m_indexEntries = entries; }
    QVector<BookmarkEntry> GetBookmarkEntry() const { return m_bookmarks; }
    void SetBookmarkEntry(const QVector<BookmarkEntry>& entries) { m_bookmarks = entries; }
    QVector<HistoryEntry> GetHistory() const { return m_history; }
    void SetHistory(const QVector<HistoryEntry>& history) { m_history = history; }

private:
    QString m_strRecordId;
    QString m_strRecordName;
    QString m_strDeviceId;
    int m_nRecordStatus = RecordStatusCompleted;
    int m_nDataFormat = 1;
    DataRate m_eDataRate = eDataRate_0;
    quint64 m_nStartTime = 0;
    quint64 m_nStopTime = 0;
    quint64 m_nStartPosition = 0;
    quint64 m_nStopPosition = 0;
    quint64 m_nRecordSize = 0;
    QVector<IndexEntry> m_indexEntries;
    QVector<BookmarkEntry> m_bookmarks;
    QVector<HistoryEntry> m_history;
};

} // namespace VOREX_XML

namespace vorex {

// Identity of a record: (subsystem, device ID, record ID). Registered with
// the meta-type system, so it travels through queued connections.
class VRXPLATFORM_EXPORT RecordIdentifier
{
public:
    RecordIdentifier() = default;
    RecordIdentifier(const QString& subSystem, const QString& deviceId, const QString& recordId)
        : m_subSystem(subSystem), m_deviceId(deviceId), m_recordId(recordId)
    {
    }

    // Device and record ID are set; the subsystem may be empty.
    bool valid() const { return !m_deviceId.isEmpty() && !m_recordId.isEmpty(); }
    QString subSystem() const { return m_subSystem; }
    QString deviceID() const { return m_deviceId; }
    QString recordID() const { return m_recordId; }
    QString toString() const;

    bool operator==(const RecordIdentifier& o) const
    {
        return m_subSystem == o.m_subSystem && m_deviceId == o.m_deviceId && m_recordId == o.m_recordId;
    }
    bool operator!=(const RecordIdentifier& o) const { return !(*this == o); }

private:
    QString m_subSystem;
    QString m_deviceId;
    QString m_recordId;
};

typedef QList<RecordIdentifier> RecordIdentifierList;

// Registers the recorder types for queued connections; runs when the
// platform library is loaded, callable again without harm.
VRXPLATFORM_EXPORT void registerMetaTypes();

} // namespace vorex

Q_DECLARE_METATYPE(vorex::RecordIdentifier)
Q_DECLARE_METATYPE(VOREX_XML::BookmarkEntry)

// ---------------------------------------------------------------------------
// The recorder manager backend
// ---------------------------------------------------------------------------

namespace VorexCommon {

// A device of the recorder manager.
struct VRXPLATFORM_EXPORT DeviceInfo
{
    QString deviceId;
    QString subSystem;
    bool virtualDevice = false;
    quint64 freeSpace = 0;  // bytes
    quint64 totalSpace = 0; // bytes
};

// A command that reached the manager, with its arguments in call order.
struct VRXPLATFORM_EXPORT RecordedCommand
{
    QString command;   // "StartReplay", "ContinueReplay", "PauseReplay", "StopReplay",
                       // "GetDeviceTime", "Initialize", "SetBookmarkEntries",
                       // "ResyncRecord", "AddHistoryComment", "RenameRecord"
    QString channelId; // replay commands: the channel the handler was initialised
                       // with; "GetDeviceTime": the server handler's name; else empty
    QVariantList args;
};

// Process-wide notifications of the backend. Emitted on the thread that
// changed the backend; receivers in the GUI thread get them queued.
class VRXPLATFORM_EXPORT RecorderManagerEvents : public QObject
{
    Q_OBJECT
public:
    static RecorderManagerEvents* Instance();

signals:
    void si_connectionChanged(bool connected);
    void si_deviceAdded(const QString& deviceId);
    void si_deviceRemoved(const QString& deviceId);
    void si_deviceChanged(const QString& deviceId);
    void si_recordChanged(const QString& deviceId, const QString& recordId, bool isNew);
    void si_recordDeleted(const QString& deviceId, const QString& recordId);
    void si_allRecordsChanged(const QString& deviceId);

private:
    RecorderManagerEvents() = default;
};

// What the client objects (connection data, handlers, record list, widgets)
// ask of the recorder manager, wherever it runs: RecorderManagerBackend is
// the manager in this process, a remote link reaches one in another process.
// One link is installed per process; every operation may be called from any
// thread. Result codes: 0 accepted, else RecorderManagerBackend::eResult_...
// or the manager's own code.
class VRXPLATFORM_EXPORT RecorderManagerLink
{
public:
    virtual ~RecorderManagerLink();

    // Installing another link (or null) takes the current one's connection
    // down first, so the client objects see the disconnect.
    static void Install(const std::shared_ptr<RecorderManagerLink>& link);
    static std::shared_ptr<RecorderManagerLink> Installed();

    virtual bool IsConnected() const = 0;
    // Whether connection data objects hand out a value-tree client.
    virtual bool IsValueTreeReachable() const = 0;
    virtual QString GetSubSystem() const = 0;
    virtual QString GetVorexRootPath() const = 0;

    virtual bool HasDevice(const QString& deviceId) const = 0;
    virtual DeviceInfo GetDevice(const QString& deviceId) const = 0; // empty id when unknown
    virtual std::vector<DeviceInfo> GetDevices() const = 0;
    virtual std::shared_ptr<VOREX_XML::VOREX_RecordData> GetRecord(const QString& deviceId, const QString& recordId) const = 0;
    virtual std::vector<VOREX_XML::VOREX_RecordData> GetRecords(const QString& deviceId) const = 0;

    virtual quint32 ExecuteReplayCommand(const RecordedCommand& command) = 0;
    virtual quint32 GetDeviceTime(const QString& channelId, const QString& deviceId, quint64& time) = 0;
    virtual quint32 SetBookmarkEntries(const vorex::RecordIdentifier& id, const QVector<VOREX_XML::BookmarkEntry>& entries) = 0;
    virtual quint32 ResyncRecord(const vorex::RecordIdentifier& id) = 0;
    virtual quint32 AddHistoryComment(const vorex::RecordIdentifier& id, const QString& comment) = 0;
    virtual quint32 RenameRecord(const vorex::RecordIdentifier& id, const QString& name) = 0;
    // Notes a command the client objects sent without a result (Initialize).
    virtual void RecordCommand(const RecordedCommand& command) = 0;

protected:
    bool IsInstalled() const;
};

// The scriptable recorder manager in this process. Thread-safe; every
// operation may be called from any thread. Install one with Install();
// Installed() gives it back while it is the installed link.
class VRXPLATFORM_EXPORT RecorderManagerBackend : public RecorderManagerLink
{
public:
    // Decides the result code of a replay command ("StartReplay",
    // "ContinueReplay", "PauseReplay", "StopReplay"). Runs on the caller's
    // thread outside the backend's lock, after the command was recorded.
    typedef std::function<quint32(const RecordedCommand&)> CommandHandler;
    // Decides the device time; returns the result code.
    typedef std::function<quint32(const QString& deviceId, quint64& time)> DeviceTimeHandler;

    // Result codes of the backend's own refusals.
    enum : quint32 {
        eResult_Ok = 0,
        eResult_NotConnected = 1,   // no backend installed, or connection down
        eResult_UnknownDevice = 2,
        eResult_UnknownRecord = 3
    };

    RecorderManagerBackend();
    ~RecorderManagerBackend() override;
    RecorderManagerBackend(const RecorderManagerBackend&) = delete;
    RecorderManagerBackend& operator=(const RecorderManagerBackend&) = delete;

    // Registration as the process's link (see RecorderManagerLink::Install);
    // Installed() is null while no link or another kind of link is installed.
    static void Install(const std::shared_ptr<RecorderManagerBackend>& backend);
    static std::shared_ptr<RecorderManagerBackend> Installed();

    // Connection: every connection data object emits si_allTicsConnected or
    // si_allTicsDisconnected when it changes. Only effective while installed.
    void SetConnected(bool connected);
    bool IsConnected() const override;

    // Whether connection data objects hand out a value-tree client.
    void SetValueTreeReachable(bool reachable);
    bool IsValueTreeReachable() const override;

    // Configuration handed to the client objects.
    void SetSubSystem(const QString& subSystem); // default "VOREX"
    QString GetSubSystem() const override;
    void SetVorexRootPath(const QString& path); // default "/Vorex"
    QString GetVorexRootPath() const override;

    // Scripting of results. Without a handler, replay commands answer
    // eResult_UnknownDevice/eResult_UnknownRecord for unknown device or
    // record and 0 otherwise; device time is the host clock for a known device.
    void SetCommandHandler(CommandHandler handler);
    void SetDeviceTimeHandler(DeviceTimeHandler handler);

    // Devices.
    void AddDevice(const DeviceInfo& device);
    void RemoveDevice(const QString& deviceId);
    bool HasDevice(const QString& deviceId) const override;
    DeviceInfo GetDevice(const QString& deviceId) const override;
    std::vector<DeviceInfo> GetDevices() const override;
    void SetDiscSpace(const QString& deviceId, quint64 freeSpace, quint64 totalSpace);

    // Records of a device. The device ID of the stored data is set to `deviceId`.
    void SetRecord(const QString& deviceId, const VOREX_XML::VOREX_RecordData& record);
    void RemoveRecord(const QString& deviceId, const QString& recordId);
    void SetRecords(const QString& deviceId, const std::vector<VOREX_XML::VOREX_RecordData>& records);
    std::shared_ptr<VOREX_XML::VOREX_RecordData> GetRecord(const QString& deviceId, const QString& recordId) const override;
    std::vector<VOREX_XML::VOREX_RecordData> GetRecords(const QString& deviceId) const override;

    // Commands, as the client objects send them. Each one is recorded.
    quint32 ExecuteReplayCommand(const RecordedCommand& command) override;
    quint32 GetDeviceTime(const QString& channelId, const QString& deviceId, quint64& time) override;
    quint32 SetBookmarkEntries(const vorex::RecordIdentifier& id, const QVector<VOREX_XML::BookmarkEntry>& entries) override;
    quint32 ResyncRecord(const vorex::RecordIdentifier& id) override;
    quint32 AddHistoryComment(const vorex::RecordIdentifier& id, const QString& comment) override;
    quint32 RenameRecord(const vorex::RecordIdentifier& id, const QString& name) override;
    void RecordCommand(const RecordedCommand& command) override;

    // Recorded commands, oldest first.
    std::vector<RecordedCommand> Commands() const;
    std::vector<RecordedCommand> TakeCommands();
    int CommandCount(const QString& command) const;
    void ClearCommands();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The link to a recorder manager in another process, over omniORB's dynamic
// interfaces (see doc/protocol.md). Connects, watches and reconnects on a
// worker thread of its own; value notifications are applied to the value
// tree on the thread of the application object, in order. Construct it on
// that thread with an application object in place.
class VRXPLATFORM_EXPORT RemoteRecorderManagerLink : public RecorderManagerLink
{
public:
    struct ChannelPaths
    {
        QString channelPath;    // e.g. "/Receivers/Channel1"
        QString replayTimePath; // e.g. "/Host/Channel1/ReplayTime"
    };

    // `managerAddress`: corbaloc of the manager's central service.
    // `clientName`: empty gives "<hostname>-<pid>".
    RemoteRecorderManagerLink(const QString& managerAddress, const std::vector<ChannelPaths>& channels,
                              const QString& clientName = QString());
    ~RemoteRecorderManagerLink() override;
    RemoteRecorderManagerLink(const RemoteRecorderManagerLink&) = delete;
    RemoteRecorderManagerLink& operator=(const RemoteRecorderManagerLink&) = delete;

    // Starts connecting; Stop() leaves the manager (unregisters) and ends the
    // worker. Called again by the destructor.
    void Start();
    void Stop();
    // The operator's "lose the connection": false drops the link on this
    // side and makes no calls until it is true again.
    void SetEnabled(bool enabled);
    bool IsEnabled() const;
    QString ClientName() const;
    // Where the manager's report lines go (kind 0 notifications), on the
    // GUI thread.
    void SetReportSink(std::function<void(const QString&)> sink);

    // The process's ORB, initialised on first use with the protocol's
    // options; ShutdownOrb() destroys it (after Install(nullptr) and after
    // every link is gone).
    static void ShutdownOrb();

    bool IsConnected() const override;
    bool IsValueTreeReachable() const override;
    QString GetSubSystem() const override;
    QString GetVorexRootPath() const override;
    bool HasDevice(const QString& deviceId) const override;
    DeviceInfo GetDevice(const QString& deviceId) const override;
    std::vector<DeviceInfo> GetDevices() const override;
    std::shared_ptr<VOREX_XML::VOREX_RecordData> GetRecord(const QString& deviceId, const QString& recordId) const override;
    std::vector<VOREX_XML::VOREX_RecordData> GetRecords(const QString& deviceId) const override;
    quint32 ExecuteReplayCommand(const RecordedCommand& command) override;
    quint32 GetDeviceTime(const QString& channelId, const QString& deviceId, quint64& time) override;
    quint32 SetBookmarkEntries(const vorex::RecordIdentifier& id, const QVector<VOREX_XML::BookmarkEntry>& entries) override;
    quint32 ResyncRecord(const vorex::RecordIdentifier& id) override;
    quint32 AddHistoryComment(const vorex::RecordIdentifier& id, const QString& comment) override;
    quint32 RenameRecord(const vorex::RecordIdentifier& id, const QString& name) override;
    void RecordCommand(const RecordedCommand& command) override;

    struct Private;

private:
    std::shared_ptr<Private> d;
};

// ---------------------------------------------------------------------------
// Configuration and connection data
// ---------------------------------------------------------------------------

class VRXPLATFORM_EXPORT VorexConfiguration
{
public:
    VorexConfiguration(const QString& subSystem, const QString& rootPath)
        : m_strSubSystem(subSystem), m_strRootPath(rootPath)
    {
    }
    QString GetCurrentSubSystem() const { return m_strSubSystem; }
    QString GetVorexRootPath() const { return m_strRootPath; }

private:
    QString m_strSubSystem;
    QString m_strRootPath;
};

class VRXPLATFORM_EXPORT AbstractServerConnectionData : public QObject
{
    Q_OBJECT
public:
    // `connectionFirst` names the manager, `connectionSecond` the client.
    AbstractServerConnectionData(const QString& connectionFirst, const QString& connectionSecond, QObject* parent = nullptr);
    ~AbstractServerConnectionData() override;

    QString GetConnectionFirst() const { return m_strConnectionFirst; }
    QString GetConnectionSecond() const { return m_strConnectionSecond; }

    // Configuration taken from the backend when the object was built (a
    // default one without backend). Never null.
    std::shared_ptr<VorexConfiguration> GetConfiguration() const { return m_spConfiguration; }

    bool IsConnected() const;

    // The signals name the manager connection (`connectionFirst`). A
    // connection that is already up when the object is built is announced
    // once from the event loop.
    // si_deviceNodeAdded names the device ID of a device the manager added.
signals:
    void si_allTicsConnected(const QString& name);
    void si_allTicsDisconnected(const QString& name);
    void si_deviceNodeAdded(const QString& deviceId);

private slots:
    void sl_backendConnectionChanged(bool connected);
    void sl_backendDeviceAdded(const QString& deviceId);
    void sl_announceConnection();

private:
    QString m_strConnectionFirst;
    QString m_strConnectionSecond;
    std::shared_ptr<VorexConfiguration> m_spConfiguration;
    bool m_bAnnouncedConnected = false;
};

class VRXPLATFORM_EXPORT KernoServerConnectionData : public AbstractServerConnectionData
{
    Q_OBJECT
public:
    KernoServerConnectionData(const QString& connectionFirst, const QString& connectionSecond, QObject* parent = nullptr);
    ~KernoServerConnectionData() override;

    // The value-tree client for `name` (connection type 1 is the value tree;
    // other types give null). Owned by this object. Null while the installed
    // backend reports the value tree unreachable.
    IVtClient* getVtClient(const QString& name, int connectionType);

    void SetChannelId_ValuePath(const QString& path);
    QString GetChannelId_ValuePath() const;
    // Connected, and the channel node exists.
    bool IsChannelConnected() const;
    // Connected, the channel node exists and its "DeviceID" names a device of
    // the manager.
    bool IsDeviceConnected() const;

private:
    QString m_strChannelPath;
    std::map<QString, std::unique_ptr<VtClient>> m_vtClients;
};

// ---------------------------------------------------------------------------
// Server handlers
// ---------------------------------------------------------------------------

class VRXPLATFORM_EXPORT VorexGuiToServerCorbaHandler
{
public:
    VorexGuiToServerCorbaHandler(const QString& name, std::shared_ptr<KernoServerConnectionData> connectionData, const QString& extra);
    virtual ~VorexGuiToServerCorbaHandler();

    QString GetName() const { return m_strName; }
    QString GetCurrentSubsystem() const;
    std::shared_ptr<KernoServerConnectionData> GetConnectionData() const { return m_spConnectionData; }

private:
    QString m_strName;
    std::shared_ptr<KernoServerConnectionData> m_spConnectionData;
    QString m_strExtra;
};

class VRXPLATFORM_EXPORT GuiToServerReplayCorbaHandler
{
public:
    explicit GuiToServerReplayCorbaHandler(std::shared_ptr<VorexGuiToServerCorbaHandler> serverHandler);
    virtual ~GuiToServerReplayCorbaHandler();

    // Names the channel that later commands are sent for. False for an empty id.
    bool Initialize(const QString& channelId);
    QString GetChannelId() const;

    // 0 = accepted, else an error code (see RecorderManagerBackend).
    quint32 StartReplay(const QString& deviceId, const QString& recordId,
                        const VOREX_XML::VOREX_RecordData::DataRate& rate,
                        quint64 start, quint64 stop, quint32 noOfReplays);
    quint32 ContinueReplay(const QString& deviceId, const QString& recordId);
    quint32 PauseReplay(const QString& deviceId, const QString& recordId);
    quint32 StopReplay(const QString& deviceId, const QString& recordId);

private:
    quint32 Send(const QString& command, const QVariantList& args);
    std::shared_ptr<VorexGuiToServerCorbaHandler> m_spServerHandler;
    mutable std::mutex m_mutex;
    QString m_strChannelId;
};

class VRXPLATFORM_EXPORT GuiToServerAdminCorbaHandler
{
public:
    explicit GuiToServerAdminCorbaHandler(std::shared_ptr<VorexGuiToServerCorbaHandler> serverHandler);
    virtual ~GuiToServerAdminCorbaHandler();

    // 0 and the device time (microseconds); `flag` is true when the time is
    // valid. A non-zero code leaves time 0 and flag false.
    quint32 GetDeviceTime(const QString& deviceId, quint64& time, bool& flag);

private:
    std::shared_ptr<VorexGuiToServerCorbaHandler> m_spServerHandler;
};

// ---------------------------------------------------------------------------
// Texts, error responses, user rights, devices
// ---------------------------------------------------------------------------

class VRXPLATFORM_EXPORT ToolbarHelper
{
public:
    // A displayable text for an error id. Context 0: ids of the client
    // library (250 to 257); context 1: a result code of the recorder manager
    // (RecorderManagerBackend::eResult_...). Each context falls back to the
    // other table; an id in neither gives a generic text naming the id.
    static QString ErrorId2Text(quint32 id, int context);
};

class VRXPLATFORM_EXPORT ErrorDescriptor
{
public:
    enum ErrorClassifier : qint32 {
        INFO = 0,
        WARNING = 1,
        ERROR = 2,
        FATAL = 3,   // severe, handled like ERROR
        NO_ERROR = 4 // the key names no error
    };

    // The record GetErrorCodePtr hands out; the caller deletes it.
    struct VRXPLATFORM_EXPORT StruReturnErrorCode
    {
        StruReturnErrorCode() = default;
        ~StruReturnErrorCode();
        bool m_bShow = false;
        ErrorClassifier m_eClassifier = NO_ERROR;
        QString m_strText;
        QString m_strSecondText;
    };

    // A written command response.
    struct CommandResponse
    {
        int classifier = NO_ERROR;
        QString source;
        QString command;
        QString text;
        QString rootPath;
    };

    explicit ErrorDescriptor(const QString& rootPath = QString());

    // "INFO", "WARNING", "ERROR", "FATAL", "NO_ERROR".
    static QStringList ClassifierNames();

    // Records a response (0 INFO, 1 WARNING, 2 ERROR, 3 FATAL) and traces it
    // with mask bit 32. Readable through Responses()/TakeResponses().
    void WriteCommandResponse(int classifier, const QString& source, const QString& command, const QString& text);

    // The error behind `key` (the text of a channel's "ErrorCode" value).
    // Never null; classifier NO_ERROR for an empty or unknown key.
    StruReturnErrorCode* GetErrorCodePtr(const QString& key) const;

    // Error table, process-wide. Keys registered by default:
    //   "VRX_INFO_RECORD_STARTED"   INFO,    not shown
    //   "VRX_WARN_DISC_ALMOST_FULL" WARNING, shown
    //   "VRX_ERR_DISC_FULL"         ERROR,   shown
    //   "VRX_ERR_DEVICE_FAILURE"    ERROR,   shown
    //   "VRX_FATAL_INTERNAL"        FATAL,   shown
    //
    // A key may name what the error is about: "KEY|channel|device", built
    // by ErrorKey(). Such a key finds KEY's entry; when the entry has a
    // `namedText`, the text is that with %1, %2, ... filled from the key.
    // The default entries of the disc and device errors name the channel
    // (%1) and the device (%2). Texts are translated when handed out
    // (context "VorexCommon::ErrorDescriptor").
    static void RegisterError(const QString& key, ErrorClassifier classifier, bool show, const QString& text,
                              const QString& namedText = QString());
    static QString ErrorKey(const QString& key, const QStringList& about);
    static void ResetErrorTable();

    // Responses written by every descriptor of the process, oldest first.
    // The log keeps the latest responses up to this many.
    static constexpr size_t kResponseLogLimit = 1000;
    static std::vector<CommandResponse> Responses();
    static std::vector<CommandResponse> TakeResponses();

private:
    QString m_strRootPath;
};

class VRXPLATFORM_EXPORT UserRights : public QObject
{
    Q_OBJECT
public:
    // The process-wide instance (lives in the GUI thread).
    static UserRights* Instance();

    void Initialize(std::shared_ptr<VorexCommon::VorexConfiguration> configuration);
    bool IsInitialized() const;

    // The active user's level of the right "VOREX_MANAGEMENT.addHistoryComment"
    // (host user management) is 1 or more.
    bool HistoryCommentAllowed() const;

    // The host's user management reports an event ("User logged on", "User
    // changed", ...): emits UpdateUserRights with it, in the GUI thread.
    void NotifyUserEvent(const QString& event);

signals:
    void UpdateUserRights(const QString& event);

private:
    UserRights();
    std::shared_ptr<VorexCommon::VorexConfiguration> m_spConfiguration;
};

// The devices of the recorder manager, filtered by what the channel allows.
// Lives in the GUI thread.
class VRXPLATFORM_EXPORT DeviceHandler : public QObject
{
    Q_OBJECT
public:
    explicit DeviceHandler(QObject* parent = nullptr);
    ~DeviceHandler() override;

    void Initialize(std::shared_ptr<VorexCommon::VorexConfiguration> configuration);
    void SetAllowVirtualDevices(bool allow);
    // Only these device IDs are offered (an empty list offers none).
    void SetAllowedDevices(const QStringList& devices);
    void AllowAllDevices();

    // Offered device IDs of `subSystem` (empty: any subsystem), sorted.
    // Empty while the manager is not connected.
    QStringList GetDevices(const QString& subSystem = QString()) const;
    // The first offered device of `subSystem`, or an empty string.
    QString GetFirstDevice(const QString& subSystem) const;

public slots:
    void sl_vorexConnected(const QString& name);
    void sl_vorexDisconnected(const QString& name);
    void OnCheckForNewDevices(const QString& name);

signals:
    // The offered list changed.
    void si_devicesChanged();

private:
    void Refresh();
    std::shared_ptr<VorexCommon::VorexConfiguration> m_spConfiguration;
    bool m_bConnected = false;
    bool m_bAllowVirtual = false;
    bool m_bAllowAll = true;
    QStringList m_allowed;
    std::vector<VorexCommon::DeviceInfo> m_devices;
};

} // namespace VorexCommon
