#include "roadmanager.h"

#include "hostwindow.h"
#include "managerchild.h"
#include "vorexclient.h"
#include "vorexclient_remote_p.h"
#include "values.h"
#include "vcwidgets.h"

#include <algorithm>

#include <QRegularExpression>
#include <QTemporaryDir>

using VorexSim::RecorderManagerSimulator;

QStringList RoadManager::TakeCommands()
{
    m_pendingCommands << FetchCommands();
    QStringList out;
    out.swap(m_pendingCommands);
    return out;
}

int RoadManager::CommandCount(const QString& command)
{
    m_pendingCommands << FetchCommands();
    const QString head = command + QLatin1Char('(');
    return int(std::count_if(m_pendingCommands.begin(), m_pendingCommands.end(),
                             [&](const QString& c) { return c.startsWith(head); }));
}

QStringList RoadManager::TakeFaults()
{
    QStringList out;
    out.swap(m_faults);
    return out;
}

QString RoadManager::RecordName(const QString& deviceId, const QString& recordId)
{
    auto link = VorexCommon::RecorderManagerLink::Installed();
    auto record = link ? link->GetRecord(deviceId, recordId) : nullptr;
    return record ? record->GetRecordName() : QString();
}

namespace {

// ---------------------------------------------------------------- in this process

class LocalManager : public RoadManager
{
public:
    LocalManager(int channels, EventSink events) : RoadManager(std::move(events))
    {
        VorexSim::SimulatorOptions options =
            VorexSim::SimulatorOptions::Demo(channels, &HostWindow::ChannelPath, &HostWindow::ReplayTimePath);
        options.channelTitle = &HostWindow::ChannelName;
        options.reactionDelayMs = 0; // reactions still come from the event loop
        options.connectDelayMs = -1; // the road brings the connection up
        options.tickIntervalMs = 0;  // time moves only when the road says so
        m_sim.reset(new RecorderManagerSimulator(options));
        QObject::connect(m_sim.get(), &RecorderManagerSimulator::si_managerEvent, [this](const QString& text) { event(text); });
    }

    bool Start(HostWindow& window, QString&) override
    {
        m_sim->Start();
        window.AttachSimulator(m_sim.get());
        return true;
    }
    void Stop() override { m_sim.reset(); }

    int ChannelCount() const override { return m_sim->ChannelCount(); }
    void SetConnected(bool connected) override { m_sim->SetConnected(connected); }
    bool IsConnected() const override { return m_sim->IsConnected(); }
    void Tick(qint64) override { m_sim->Tick(); }
    void SetErrorCode(int channel, const QString& key) override { m_sim->SetErrorCode(channel, key); }
    void SetFlag(int channel, Flag flag, bool value) override { m_sim->SetFlag(channel, flag, value); }
    void SetFlagState(int channel, Flag flag, int state) override { m_sim->SetFlagState(channel, flag, state); }
    void TriggerExternalRecord(int channel, bool continuous) override { m_sim->TriggerExternalRecord(channel, continuous); }
    void TriggerExternalStop(int channel) override { m_sim->TriggerExternalStop(channel); }
    void DeleteChannel(int channel) override { m_sim->DeleteChannel(channel); }
    void RecreateChannel(int channel) override { m_sim->RecreateChannel(channel); }
    void FailNextReplayCommand(int channel, quint32 code) override { m_sim->FailNextReplayCommand(channel, code); }
    void SetValue(int channel, const char* key, long value) override
    {
        auto v = values::Tree::Instance()->FindValueAs<values::ValueSelection>(m_sim->ValuePath(channel, key));
        VTHelper::Instance().SafeSetValue(v.get(), value, nullptr);
    }
    bool ChannelExists(int channel) override { return m_sim->ChannelExists(channel); }
    int ReplayPasses(int channel) override { return m_sim->ReplayPasses(channel); }
    qint64 ReplayTime(int channel) override { return m_sim->ReplayTime(channel); }
    QString LastRecordId(int channel) override { return m_sim->LastRecordId(channel); }

protected:
    QStringList FetchCommands() override { return m_sim->TakeCommandTexts(); }

private:
    std::unique_ptr<RecorderManagerSimulator> m_sim;
};

// ---------------------------------------------------------------- another process

class ProcessManager : public RoadManager
{
public:
    ProcessManager(const QString& binary, int channels, qint64 clockStart, const QString& logFile, EventSink events)
        : RoadManager(std::move(events)), m_binary(binary), m_nChannels(channels), m_nClockStart(clockStart), m_logFile(logFile)
    {
    }
    ~ProcessManager() override { Stop(); }

    bool Start(HostWindow& window, QString& error) override
    {
        if (!m_data.isValid()) {
            error = QStringLiteral("no temporary folder for the manager's records");
            return false;
        }
        if (!m_child.Start(m_binary, m_data.path(),
                           {QStringLiteral("--channels"), QString::number(m_nChannels), QStringLiteral("--test-clock"),
                            QString::number(m_nClockStart)},
                           m_logFile, error))
            return false;
        const QString address = m_child.Address();
        std::vector<VorexCommon::RemoteRecorderManagerLink::ChannelPaths> paths;
        for (int i = 0; i < m_nChannels; ++i)
            paths.push_back({HostWindow::ChannelPath(i), HostWindow::ReplayTimePath(i)});
        m_link = std::make_shared<VorexCommon::RemoteRecorderManagerLink>(address, paths);
        m_link->SetReportSink([this](const QString& text) { event(text); });
        m_link->SetEnabled(false); // the road brings the connection up
        VorexCommon::RecorderManagerLink::Install(m_link);
        m_link->Start();
        window.AttachRemoteLink(m_link.get());
        try {
            QString control = address;
            control.replace(QRegularExpression(QStringLiteral("/CCO$")), QStringLiteral("/Control"));
            m_control = VorexRemote::Orb()->string_to_object(control.toLatin1().constData());
        } catch (const CORBA::Exception& e) {
            error = QStringLiteral("no test control at %1 (%2)").arg(address, QString::fromLatin1(e._name()));
            return false;
        }
        return true;
    }

    void Stop() override
    {
        if (m_link) {
            VorexCommon::RecorderManagerLink::Install(nullptr);
            m_link->Stop();
            m_link.reset();
        }
        m_control = CORBA::Object::_nil();
        m_child.Stop();
    }

    int ChannelCount() const override { return m_nChannels; }
    void SetConnected(bool connected) override
    {
        // Both ends lose each other: the host drops its link, and the manager
        // ends what fed the channels, as the one in this process does.
        if (connected) {
            Control(QStringLiteral("connected 1"));
            m_link->SetEnabled(true);
        } else {
            m_link->SetEnabled(false);
            Control(QStringLiteral("connected 0"));
        }
    }
    bool IsConnected() const override { return m_link && m_link->IsConnected(); }
    void Tick(qint64 now) override { Control(QStringLiteral("time %1").arg(now)); }
    void SetErrorCode(int channel, const QString& key) override { Control(QStringLiteral("error %1 %2").arg(channel + 1).arg(key)); }
    void SetFlag(int channel, Flag flag, bool value) override
    {
        Control(QStringLiteral("flag %1 %2 %3").arg(channel + 1).arg(FlagWord(flag)).arg(value ? 1 : 0));
    }
    void SetFlagState(int channel, Flag flag, int state) override
    {
        Control(QStringLiteral("flag-state %1 %2 %3").arg(channel + 1).arg(FlagWord(flag)).arg(state));
    }
    void TriggerExternalRecord(int channel, bool continuous) override
    {
        Control(QStringLiteral("external-record %1 %2").arg(channel + 1).arg(continuous ? QStringLiteral("continuous") : QStringLiteral("normal")));
    }
    void TriggerExternalStop(int channel) override { Control(QStringLiteral("external-stop %1").arg(channel + 1)); }
    void DeleteChannel(int channel) override { Control(QStringLiteral("delete-channel %1").arg(channel + 1)); }
    void RecreateChannel(int channel) override { Control(QStringLiteral("recreate-channel %1").arg(channel + 1)); }
    void FailNextReplayCommand(int channel, quint32 code) override
    {
        Control(QStringLiteral("fail-replay %1 %2").arg(channel + 1).arg(code));
    }
    void SetValue(int channel, const char* key, long value) override
    {
        Control(QStringLiteral("set %1 %2 %3").arg(channel + 1).arg(QLatin1String(key)).arg(value));
    }
    bool ChannelExists(int channel) override { return State(channel, "exists") == QLatin1String("1"); }
    int ReplayPasses(int channel) override { return State(channel, "replay-passes").toInt(); }
    qint64 ReplayTime(int channel) override { return State(channel, "replay-time").toLongLong(); }
    QString LastRecordId(int channel) override { return State(channel, "last-record"); }

protected:
    QStringList FetchCommands() override
    {
        const QString answer = Control(QStringLiteral("take-commands"));
        return answer.isEmpty() ? QStringList() : answer.split(QLatin1Char('\n'));
    }

private:
    static QString FlagWord(Flag flag)
    {
        switch (flag) {
        case RecorderManagerSimulator::RecordFlag:
            return QStringLiteral("record");
        case RecorderManagerSimulator::ReplayFlag:
            return QStringLiteral("replay");
        case RecorderManagerSimulator::PauseSupported:
            break;
        }
        return QStringLiteral("pause");
    }

    QString State(int channel, const char* key)
    {
        const QString prefix = QLatin1String(key) + QLatin1Char('=');
        for (const QString& word : Control(QStringLiteral("state %1").arg(channel + 1)).split(QLatin1Char(' ')))
            if (word.startsWith(prefix))
                return word.mid(prefix.size());
        return QString();
    }

    // One line to the manager's test control; a refusal or a failed call is
    // a fault of the road.
    QString Control(const QString& line)
    {
        QString answer;
        try {
            CORBA::Request_var request = m_control->_request("command");
            request->add_in_arg() <<= line.toUtf8().constData();
            request->set_return_type(CORBA::_tc_string);
            request->invoke();
            if (CORBA::Exception* e = request->env()->exception()) {
                fault(QStringLiteral("control \"%1\": %2").arg(line, QString::fromLatin1(e->_name())));
                return QString();
            }
            const char* text = nullptr;
            if (request->return_value() >>= text)
                answer = QString::fromUtf8(text);
        } catch (const CORBA::Exception& e) {
            fault(QStringLiteral("control \"%1\": %2").arg(line, QString::fromLatin1(e._name())));
            return QString();
        }
        if (answer.startsWith(QLatin1String("error: ")))
            fault(QStringLiteral("control \"%1\": %2").arg(line, answer.mid(7)));
        return answer;
    }

    QString m_binary;
    int m_nChannels;
    qint64 m_nClockStart;
    QString m_logFile;
    QTemporaryDir m_data;
    ManagerChild m_child;
    std::shared_ptr<VorexCommon::RemoteRecorderManagerLink> m_link;
    CORBA::Object_var m_control;
};

} // namespace

std::unique_ptr<RoadManager> RoadManager::Make(const QString& managerBinary, int channels, qint64 clockStart,
                                               const QString& logFile, EventSink events)
{
    if (managerBinary.isEmpty())
        return std::unique_ptr<RoadManager>(new LocalManager(channels, std::move(events)));
    return std::unique_ptr<RoadManager>(new ProcessManager(managerBinary, channels, clockStart, logFile, std::move(events)));
}
