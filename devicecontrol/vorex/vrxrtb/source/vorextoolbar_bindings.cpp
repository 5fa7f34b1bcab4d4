#include "vorextoolbar.h"
#include "vorextoolbar_p.h"

#include "replaybarwidget.h"
#include "startup.h"
#include "umm.h"
#include "vcwidgets.h"
#include "vorexgui.h"
#include "vorexpictures.h"
#include "vorexwidgets.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QToolBar>
#include <QToolButton>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/vorextoolbar"
#include "vorextrace.h"

using VorexCommon::DeviceHandler;
using VorexCommon::ErrorDescriptor;
using VorexCommon::GuiToServerAdminCorbaHandler;
using VorexCommon::GuiToServerReplayCorbaHandler;
using VorexCommon::KernoServerConnectionData;
using VorexCommon::UserRights;
using VorexCommon::VorexGuiToServerCorbaHandler;

namespace VorexGUI {

using namespace ToolbarDetail;

// ---------------------------------------------------------------------------
// Value-tree bindings
// ---------------------------------------------------------------------------

bool VorexToolbar::SetChannelId_ValuePath(const QString& path)
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::SetChannelId_ValuePath %1").arg(path));
    VorexToolbarChannelConnector::SetChannelId_ValuePath(path);
    if (m_pReplayHandler)
        m_pReplayHandler->Initialize(GetChannelId());
    ReassignChannelIdPath(path);
    if (m_spConnectionData)
        m_spConnectionData->SetChannelId_ValuePath(path);
    if (m_pReplayBar)
        m_pReplayBar->SetChannelId_ValuePath(path);
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::SetChannelId_ValuePath %1").arg(path));
    return true;
}

void VorexToolbar::ReassignChannelIdPath(const QString& path)
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::ReassignChannelIdPath ()"));
    m_strFileSizePath = Join(path, kFileSizeInKB);
    m_strRecordIdPath = Join(path, kRecordID);
    VRX_TRACE_FLOW(m_strRecordIdPath);
    m_strDeviceIdPath = Join(path, kDeviceID);
    m_strNoOfReplaysPath = Join(path, kNoOfReplays);
    m_strDataRateClassPath = Join(path, kDataRateClass);
    m_strAllowedDevicesPath = Join(path, kAllowedDevices);
    m_strRecordNamePath = Join(path, kRecordName);
    m_strRecordFlagPath = Join(path, kRecordFlag);
    m_strReplayFlagPath = Join(path, kReplayFlag);
    m_strPauseSupportedPath = Join(path, kPauseSupported);
    m_strErrorCodePath = Join(path, kErrorCode);
    m_strModesPath = Join(path, kRecordReplayModes);
    m_strAllModesPath = Join(path, kAllRecordReplayModes);
    m_strReplayModePath = Join(path, kReplayMode);
    m_strExternalTriggerPath = Join(path, kTriggeredByCorbaCall);
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::ReassignChannelIdPath ()"));
}

bool VorexToolbar::AllConnectionsEstablished()
{
    return m_bConnected && m_bToolbarObserversAdded;
}

void VorexToolbar::UpdateToolbar()
{
    if (!m_bConnected)
        return;
    VRX_TRACE_FLOW(QStringLiteral(" + VorexToolbar::UpdateToolbar()"));
    try {
        if (!m_bToolbarObserversAdded && AddChannelObservers()) {
            m_bToolbarObserversAdded = true;
            auto recordFlag = m_pRecordFlag.Lock();
            SetRecordingAllowed(recordFlag ? recordFlag->Get() : m_bRecordingAllowed);
            auto replayFlag = m_pReplayFlag.Lock();
            SetReplayAllowed(replayFlag ? replayFlag->Get() : m_bReplayAllowed);
            SetSelectionValuePaths();
        }
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("Unknown Exception in VorexToolbar::UpdateToolbar()"));
    }
    VorexManagerDataAvailable();
    VRX_TRACE_FLOW(QStringLiteral(" - VorexToolbar::UpdateToolbar()"));
}

bool VorexToolbar::AddChannelObservers()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::AddObservers()"));
    // The toolbar's own channel values are bound by the value-tree binding
    // step; until then only the connector's values are followed.
    const bool chain = VorexToolbarChannelConnector::AddChannelObservers();
    m_bToolbarEnabledByWorkflow = true;
    UpdateToolbarEnabled();
    return chain;
}

void VorexToolbar::ResetObservers()
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar:ResetObservers"));
    try {
        VorexToolbarChannelConnector::ResetObservers();
        m_bToolbarObserversAdded = false;
        m_pDataRateClass.Reset();
        m_pAllowedDevices.Reset();
        m_pRecordFlag.Reset();
        m_pReplayFlag.Reset();
        m_pPauseSupported.Reset();
        m_pErrorCode.Reset();
        m_pModes.Reset();
        m_pRecordReplayAllModes.Reset();
        m_pFileSize.Reset();
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("!!! Exception caught in VorexToolbar::ResetObservers !!!"));
    }
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::ResetObservers()"));
}

void VorexToolbar::Update(Observable* observable, TChangeCode code)
{
    // The dispatch to the toolbar's own handlers comes with the value-tree
    // bindings; the connector follows its values already.
    VorexToolbarChannelConnector::Update(observable, code);
}

void VorexToolbar::SetSelectionValuePaths()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::SetSelectionValuePaths()"));
    if (m_pStopButton)
        m_pStopButton->SetSelection_ValuePath(m_strModesPath, ModeKey(5), ModeKey(5));
    if (m_pPauseButton)
        m_pPauseButton->SetSelection_ValuePath(m_strModesPath, ModeKey(2), ModeKey(0));
    if (m_pReplayCombo) {
        m_pReplayCombo->SetSelection_ValuePath(m_strModesPath, ModeKey(0), ModeKey(5), Pictures::ReplayPressed,
                                               Pictures::Replay);
        m_pReplayCombo->AddSelection(ModeKey(1), ModeKey(5), Pictures::ContinuousReplayPressed,
                                     Pictures::ContinuousReplay);
    }
    if (m_pRecordCombo) {
        m_pRecordCombo->SetSelection_ValuePath(m_strModesPath, ModeKey(3), ModeKey(5), Pictures::RecordPressed,
                                               Pictures::Record);
        m_pRecordCombo->AddSelection(ModeKey(4), ModeKey(5), Pictures::ContinuousRecordPressed,
                                     Pictures::ContinuousRecord);
    }
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::SetSelectionValuePaths()"));
}

void VorexToolbar::VorexManagerDataAvailable()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::VorexManagerDataAvailable()"));
    try {
        if (AllConnectionsEstablished()) {
            InitializeToolbarButtons();
            if (auto modes = m_pModes.Lock()) {
                const long key = modes->GetCurrentKey();
                RecordReplayAllModesValueChanged(false);
                if (key != ModeKey(5))
                    modes->SelectIndex(key, this);
            } else {
                VRX_TRACE_WARNING(QStringLiteral("ERROR in VorexToolbar::VorexManagerDataAvailable: m_pModes is NULL!!!"));
            }
        }
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("Unknown Exception in VorexToolbar::VorexManagerDataAvailable"));
    }
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::VorexManagerDataAvailable()"));
}

// The single observers are completed with the value-tree bindings.
bool VorexToolbar::AddReplayFlagObserver() { return m_pReplayFlag.IsAttached(); }
bool VorexToolbar::AddRecordFlagObserver() { return m_pRecordFlag.IsAttached(); }
bool VorexToolbar::AddDataRateClassObserver() { return m_pDataRateClass.IsAttached(); }
bool VorexToolbar::AddAllowedDevicesObserver() { return m_pAllowedDevices.IsAttached(); }
bool VorexToolbar::AddDeviceIdObserver() { return false; }
bool VorexToolbar::AddRecordReplayModesObservers() { return false; }

bool VorexToolbar::SetAllowedDevices()
{
    auto allowed = m_pAllowedDevices.Lock();
    if (!allowed)
        return false;
    switch (allowed->GetState()) {
    case values::eStateNormal:
        if (m_pDeviceHandler)
            m_pDeviceHandler->SetAllowedDevices(allowed->Get().split(QLatin1Char('@'), Qt::SkipEmptyParts));
        break;
    case values::eStateDisabled:
        if (m_pDeviceHandler)
            m_pDeviceHandler->AllowAllDevices();
        break;
    default:
        break;
    }
    return true;
}

QString VorexToolbar::GetFirstDevice()
{
    return m_pDeviceHandler ? m_pDeviceHandler->GetFirstDevice(m_strSubsystem) : QString();
}

bool VorexToolbar::IsExternalCall()
{
    auto trigger = values::Tree::Instance()->FindValueAs<values::Value<bool>>(m_strExternalTriggerPath);
    if (!trigger) {
        VRX_TRACE_WARNING(QStringLiteral("m_pExternalTrigger is still null"));
        return false;
    }
    return trigger->Get();
}

} // namespace VorexGUI
