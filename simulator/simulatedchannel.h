#pragma once

// One receiver channel as the simulated recorder manager serves it: the
// channel's values in the value tree, its recording and its replay.

#include "base.h"
#include "values.h"
#include "vorexclient.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

namespace VorexSim {

class RecorderManagerSimulator;

class SimulatedChannel : public QObject, public IObserver
{
    Q_OBJECT

public:
    SimulatedChannel(RecorderManagerSimulator* simulator, int index, const QString& path,
                     const QString& replayTimePath, const QString& defaultDevice);
    ~SimulatedChannel() override;

    // Creates the channel node with all values in their initial states.
    void Create();
    // Releases the channel node; the manager forgets what ran on it.
    void Release();
    bool Exists() const;

    int Index() const { return m_nIndex; }
    QString Path() const { return m_strPath; }
    QString Name() const;
    QString ReplayTimePath() const { return m_strReplayTimePath; }

    // Replay commands from the client library; any thread. Validation and the
    // result happen at once, the state changes follow from the event loop.
    quint32 Command(const VorexCommon::RecordedCommand& command);
    void FailNextCommand(quint32 code);

    // GUI thread.
    void Tick(qint64 elapsedUs);
    void ConnectionChanged(bool connected);
    void SetErrorCode(const QString& key);
    void SetFlag(const char* key, bool value);
    void SetFlagState(const char* key, int state);
    void TriggerExternalRecord(bool continuous);
    bool TriggerExternalReplay(bool continuous);
    void TriggerExternalStop();
    // The free space of a device changed: record permission follows it.
    void DeviceSpaceChanged(const QString& deviceId);
    void SelectRecord(const QString& deviceId, const QString& recordId);

    long AllModes() const;
    long ReplayModeKey() const;
    qint64 ReplayTime() const;
    bool IsRecording() const;
    int ReplayPasses() const;
    QString LastRecordId() const;

    void Update(Observable* observable, TChangeCode code) override;

private:
    struct Replay
    {
        long mode = 0;          // the manager's own view of ReplayMode
        quint64 sequence = 0;   // bumped by every command; stale steps drop out
        QString deviceId;
        QString recordId;
        qint64 startTime = 0;   // replay range as record times (µs)
        qint64 stopTime = 0;
        quint32 replays = 1;    // 0: endless
        int passes = 0;         // completed passes of the range
        qint64 time = 0;        // current replay time
    };
    struct Recording
    {
        bool active = false;
        bool starting = false;
        QString deviceId;
        QString recordId;
        QString name;
        qint64 startTime = 0;
        quint64 bytes = 0;
        quint64 limitBytes = 0; // continuous record: ring buffer size
        int rate = 0;
        bool external = false; // started by the manager itself: its own name, no time-out
    };
    // How full the channel's device was when the channel last reported it;
    // an event is reported when the device gets fuller than that.
    enum DiscState { eDisc_Roomy = 0, eDisc_AlmostFull = 1, eDisc_Full = 2 };

    // Runs `step` in the GUI thread after `delayMs` (negative: the configured
    // reaction delay), unless the channel was released or rebuilt meanwhile.
    void Later(std::function<void()> step, int delayMs = -1);
    int Delay() const;
    QString ValuePath(const char* key) const;
    void Report(const QString& text);

    void WriteString(const char* key, const QString& value);
    void WriteBool(const char* key, bool value);
    void WriteInt(const char* key, int value);
    void WriteInt64(const char* key, qint64 value);
    void WriteReplayTime(qint64 value);
    void Select(const char* key, long value);
    QString ReadString(const char* key) const;
    int ReadInt(const char* key) const;

    void AllModesRequested(long key, bool external = false);
    void BeginRecording();
    void StopRecordingAsManager(const QString& reason);
    void RecordNameWritten(const QString& name);
    QString RecordDeviceId() const;
    void ReportDiscState(const QString& deviceId, quint64 freeSpace, quint64 totalSpace);
    void FinishRecording();
    void RecordSelected();
    void ReplayModeStep(quint64 sequence, long mode);
    void StartReplayInternal(const QString& deviceId, const QString& recordId, quint64 startOffset,
                             quint64 stopOffset, quint32 replays);
    bool IsConnected() const;

    RecorderManagerSimulator* m_pSimulator;
    const int m_nIndex;
    const QString m_strPath;
    const QString m_strReplayTimePath;
    const QString m_strDefaultDevice;
    std::atomic<quint64> m_nGeneration{0}; // bumped on Create/Release; stale steps drop out
    std::atomic<bool> m_bRecordBusy{false}; // a record starts or runs (read by commands)

    values::ValueObservingPtr<values::ValueSelection> m_allModes{this};
    values::ValueObservingPtr<values::Value<QString>> m_recordId{this};
    values::ValueObservingPtr<values::Value<QString>> m_deviceId{this};
    values::ValueObservingPtr<values::Value<QString>> m_recordName{this};

    // Guards m_replay and m_nFailNext, which commands read on their thread.
    mutable std::mutex m_mutex;
    Replay m_replay;
    quint32 m_nFailNext = 0;
    bool m_bReplayEndedUnreachable = false;

    Recording m_recording;
    QString m_strLastWrittenName; // the name of the last record begun or stored
    DiscState m_eDiscState = eDisc_Roomy;
    QString m_strDiscDevice;        // the device m_eDiscState is about
    bool m_bRecordFlagCleared = false; // RecordFlag cleared because the device is full
    QString m_strLastRecordId;
    QString m_strAppliedDevice; // the record whose range the channel shows
    QString m_strAppliedRecord;
};

} // namespace VorexSim
