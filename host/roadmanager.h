#pragma once

// The recorder manager a scripted road plays against: the simulator in the
// host's own process, or the manager process (vrxrtb-manager --test-clock)
// reached over the protocol, whose test control moves its clock and makes it
// act on its own. Both look the same to a road.

#include "recordermanagersimulator.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class HostWindow;

class RoadManager
{
public:
    using Flag = VorexSim::RecorderManagerSimulator::Flag;
    using EventSink = std::function<void(const QString&)>;

    // `managerBinary` empty: the simulator in this process.
    static std::unique_ptr<RoadManager> Make(const QString& managerBinary, int channels, qint64 clockStart,
                                             const QString& logFile, EventSink events);
    virtual ~RoadManager() = default;

    // Brings the manager up (connection still down) and gives the window
    // its Manager menu.
    virtual bool Start(HostWindow& window, QString& error) = 0;
    virtual void Stop() = 0;

    virtual int ChannelCount() const = 0;
    virtual void SetConnected(bool connected) = 0;
    virtual bool IsConnected() const = 0;
    // The host clock moved: the manager catches up.
    virtual void Tick(qint64 now) = 0;
    virtual void SetErrorCode(int channel, const QString& key) = 0;
    virtual void SetFlag(int channel, Flag flag, bool value) = 0;
    virtual void SetFlagState(int channel, Flag flag, int state) = 0;
    virtual void TriggerExternalRecord(int channel, bool continuous) = 0;
    virtual void TriggerExternalStop(int channel) = 0;
    virtual void DeleteChannel(int channel) = 0;
    virtual void RecreateChannel(int channel) = 0;
    virtual void FailNextReplayCommand(int channel, quint32 code) = 0;
    // Another client of the manager writes a channel value.
    virtual void SetValue(int channel, const char* key, long value) = 0;

    virtual bool ChannelExists(int channel) = 0;
    virtual int ReplayPasses(int channel) = 0;
    virtual qint64 ReplayTime(int channel) = 0;
    virtual QString LastRecordId(int channel) = 0;

    // Commands that reached the manager since the last take, "Name(arg, ...)".
    QStringList TakeCommands();
    int CommandCount(const QString& command);
    // What went wrong in talking to the manager since the last take.
    QStringList TakeFaults();

    // A record as this host's client library knows it; empty when unknown.
    static QString RecordName(const QString& deviceId, const QString& recordId);

protected:
    explicit RoadManager(EventSink events) : m_events(std::move(events)) {}
    void event(const QString& text) const
    {
        if (m_events)
            m_events(text);
    }
    void fault(const QString& text) { m_faults << text; }
    // Commands that reached the manager since the last fetch.
    virtual QStringList FetchCommands() = 0;

private:
    QStringList m_pendingCommands; // fetched, not yet taken by the road
    EventSink m_events;
    QStringList m_faults;
};
