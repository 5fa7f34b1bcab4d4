#include "vorexclient.h"
#include "vorexclient_p.h"

// The handlers through which the toolbar commands the recorder manager; they
// reach it through whichever link is installed.

namespace VorexCommon {

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
    if (auto backend = RecorderManagerLink::Installed())
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
    auto backend = RecorderManagerLink::Installed();
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
    auto backend = RecorderManagerLink::Installed();
    if (!backend)
        return RecorderManagerBackend::eResult_NotConnected;
    const quint32 code = backend->GetDeviceTime(m_spServerHandler ? m_spServerHandler->GetName() : QString(), deviceId, time);
    if (code != 0)
        time = 0;
    flag = code == 0;
    return code;
}

} // namespace VorexCommon
