#include "vorextoolbar.h"
#include "vorextoolbar_p.h"

#include "replaybarwidget.h"
#include "runinmainthreadevent.h"
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

namespace VorexGUI {

using namespace ToolbarDetail;

// ---------------------------------------------------------------------------
// Value-tree bindings
// ---------------------------------------------------------------------------

bool VorexToolbar::SetChannelId_ValuePath(const QString& path)
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::SetChannelId_ValuePath %1").arg(path));
    // Moving a bound toolbar to another channel: the observers are added
    // again while the connector binds, and with the old paths they would
    // attach to the channel being left, and stay there.
    const bool rebinding = !m_strModesPath.isEmpty() && path != GetChannelPath();
    if (rebinding)
        ReassignChannelIdPath(path);
    VorexToolbarChannelConnector::SetChannelId_ValuePath(path);
    if (m_pReplayHandler)
        m_pReplayHandler->Initialize(GetChannelId());
    ReassignChannelIdPath(path);
    if (m_spConnectionData)
        m_spConnectionData->SetChannelId_ValuePath(path);
    if (m_pReplayBar)
        m_pReplayBar->SetChannelId_ValuePath(path);
    // Bound while the connection is up already (or moved to another
    // channel): no connection event follows to complete the binding.
    if (!m_bToolbarObserversAdded)
        UpdateToolbar();
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
    // Each step binds only what is still missing and stops the chain while
    // its values are not there yet; the next channel update tries again.
    const bool chain = VorexToolbarChannelConnector::AddChannelObservers()
        && (!m_pReplayBar || m_pReplayBar->AddChannelObservers()) && AddAllowedDevicesObserver()
        && AddDataRateClassObserver() && AddDeviceIdObserver() && AddRecordFlagObserver() && AddReplayFlagObserver()
        && AddRecordReplayModesObservers();

    m_bToolbarEnabledByWorkflow = true;
    UpdateToolbarEnabled();

    if (!m_pErrorCode.IsAttached() && m_pErrorCode.Set(m_strErrorCodePath) && m_pVtClient)
        m_pVtClient->AddValue(m_pErrorCode.get(), 0);
    if (!m_pFileSize.IsAttached())
        m_pFileSize.Set(m_strFileSizePath);
    if (!m_pPauseSupported.IsAttached())
        m_pPauseSupported.Set(m_strPauseSupportedPath);

    if (m_pDiscSpaceBar)
        m_pDiscSpaceBar->SetDevice_ValuePath(m_strDeviceIdPath);
    if (m_pRecordNameEdit)
        m_pRecordNameEdit->SetText_ValuePath(m_strRecordNamePath);
    SetRecordNameFromVt();

    if (m_pRecordCounter) {
        m_pRecordCounter->SetRecordCounter_ValuePath(Join(GetChannelPath(), QStringLiteral("RecordCounterStartTime")));
        m_pRecordCounter->SetDurationCounter_ValuePath(Join(GetChannelPath(), QStringLiteral("Duration")));
    }

    // Made in every case, so the replay bar follows the channel as far as it can.
    const bool replayBarBound = !m_pReplayBar || m_pReplayBar->SetChannelId_ValuePath(GetChannelPath());
    return chain && replayBarBound && IsNormal(m_pErrorCode) && IsNormal(m_pFileSize) && IsNormal(m_pPauseSupported);
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
    // The handlers touch widgets and members of the GUI thread. On any other
    // thread the notification is only identified here, with the content the
    // handler needs read now, and the handler is carried into the GUI thread.
    const bool inGuiThread = InGuiThread();
    try {
        if (code == VC_VALUECHANGED) {
            VRX_TRACE_FLOW(QStringLiteral("VC_VALUECHANGED"));
            if (observable == m_pModes.get()) {
                VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::Update:VC_VALUECHANGED calling RecordReplayModeValueChanged"));
                VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::RecordReplayModeValueChanged);
            } else if (observable == m_pRecordReplayAllModes.get()) {
                VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::Update:VC_VALUECHANGED calling RecordReplayAllModesValueChanged"));
                if (inGuiThread)
                    RecordReplayAllModesValueChanged(true);
                else
                    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::RecordReplayAllModesValueChanged, true);
            } else if (observable == m_replayModeSelection.get()) {
                if (auto selection = m_replayModeSelection.Lock()) {
                    const ReplayMode mode = static_cast<ReplayMode>(selection->GetCurrentKey() & 0xff);
                    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::ReplayModeChanged, mode);
                }
            } else if (observable == m_pDataRateClass.get()) {
                if (auto rate = m_pDataRateClass.Lock()) {
                    if (inGuiThread)
                        m_strDataRateClass = rate->Get();
                    else
                        VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::DataRateClassChanged, rate->Get());
                }
            } else if (observable == m_pAllowedDevices.get()) {
                if (inGuiThread)
                    SetAllowedDevices();
                else
                    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::SetAllowedDevices);
            } else if (observable == m_pErrorCode.get()) {
                if (inGuiThread)
                    DisplayError();
                else
                    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::DisplayError);
            } else if (observable == m_pReplayFlag.get()) {
                VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::Update:VC_VALUECHANGED calling SetReplayAllowed"));
                if (auto flag = m_pReplayFlag.Lock()) {
                    if (inGuiThread)
                        SetReplayAllowed(flag->Get());
                    else
                        VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::ReplayFlagChanged, flag->Get());
                }
            } else if (observable == m_pRecordFlag.get()) {
                VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::Update:VC_VALUECHANGED calling SetRecordingAllowed"));
                if (auto flag = m_pRecordFlag.Lock()) {
                    if (inGuiThread)
                        SetRecordingAllowed(flag->Get());
                    else
                        VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::RecordFlagChanged, flag->Get());
                }
            } else if (observable == m_pPauseSupported.get()) {
                if (inGuiThread)
                    SetPauseButton();
                else
                    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::SetPauseButton);
            }
        } else if (code == VC_STATECHANGED) {
            try {
                if (auto* value = dynamic_cast<values::ValueBase*>(observable)) {
                    const int state = value->GetState();
                    // The pointer lets go of the value right after this
                    // notification; ValueReleased binds it again.
                    if (state == values::eStateInvalid) {
                        int released = -1;
                        if (observable == m_pRecordFlag.get())
                            released = kRecordFlagPtr;
                        else if (observable == m_pReplayFlag.get())
                            released = kReplayFlagPtr;
                        else if (observable == m_pPauseSupported.get())
                            released = kPauseSupportedPtr;
                        else if (observable == m_pModes.get() || observable == m_pRecordReplayAllModes.get()
                                 || observable == m_pDataRateClass.get() || observable == m_pAllowedDevices.get()
                                 || observable == m_pErrorCode.get() || observable == m_pFileSize.get()
                                 || observable == m_replayModeSelection.get() || observable == m_recordIdValue.get()
                                 || observable == m_deviceIdValue.get())
                            released = kBindingPtr;
                        if (released >= 0)
                            VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::ValueReleased, released);
                    }
                    if (state == values::eStateNormal || state == values::eStateDisabled) {
                        if (!inGuiThread)
                            VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::ValueStateChanged,
                                                   std::weak_ptr<values::Node>(value->weak_from_this()), state);
                        else if (state == values::eStateNormal)
                            StateNormal(observable);
                        else
                            StateDisabled(observable);
                    }
                }
            } catch (...) {
                VRX_TRACE_WARNING(QStringLiteral("!!! Unexpected Exception in VorexToolbar::Update (VC_STATECHANGED) !!!"));
            }
        }
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("!!! Unknown Exception caught in VorexToolbar::Update"));
    }
    VorexToolbarChannelConnector::Update(observable, code);
}

// A posted change that is no longer the value's content was overtaken by a
// newer one, which its own notification applies (or the toolbar applied
// when it wrote the value itself); applying the older one last would leave
// the toolbar disagreeing with the channel.
void VorexToolbar::RecordFlagChanged(const bool& value)
{
    auto flag = m_pRecordFlag.Lock();
    if (flag && flag->Get() == value)
        SetRecordingAllowed(value);
}

void VorexToolbar::ReplayFlagChanged(const bool& value)
{
    auto flag = m_pReplayFlag.Lock();
    if (flag && flag->Get() == value)
        SetReplayAllowed(value);
}

void VorexToolbar::DataRateClassChanged(const QString& text)
{
    auto rate = m_pDataRateClass.Lock();
    if (rate && rate->Get() == text)
        m_strDataRateClass = text;
}

// The value is held only weakly while the call waits: one that was deleted
// meanwhile is not touched, and one whose state moved on is left to the
// notification of that change.
void VorexToolbar::ValueStateChanged(const std::weak_ptr<values::Node>& node, const int& state)
{
    const std::shared_ptr<values::Node> alive = node.lock();
    auto* value = dynamic_cast<values::ValueBase*>(alive.get());
    if (!value || value->GetState() != state)
        return;
    if (state == values::eStateNormal)
        StateNormal(value);
    else
        StateDisabled(value);
}

// A value that turns invalid releases its pointer, and while the channel
// stays bound nothing would bind it again: its later states and contents
// would go unseen and the controls would keep following what it said before.
void VorexToolbar::ValueReleased(const int& which)
{
    // Posted from a notification that may still be running on another
    // thread; the pointer lets go of its value only at the end of that round,
    // and the tree's lock is held for the whole round: taking it once here
    // waits for it.
    values::Tree::Instance()->FindNode(m_strModesPath);
    if (!m_bToolbarObserversAdded) {
        // Still binding, and nothing else may come to retry it: a value that
        // turned invalid once more would go unwatched, its return to normal
        // unheard, and the toolbar would stop following it.
        UpdateToolbar();
        return;
    }

    if (which == kBindingPtr) {
        // Part of what makes the channel usable: the toolbar counts as not
        // bound until the value is normal again. Binding again attaches it at
        // once, so that its return (StateNormal) completes the binding.
        m_bToolbarObserversAdded = false;
        m_bObserversAdded = false;
        UpdateToolbar();
        if (!m_bToolbarObserversAdded)
            InitializeToolbarButtons();
        return;
    }
    // The flags count as not valid until they are normal again; they are
    // watched again at once. Unlike the first binding, the toolbar's own
    // permission is not written into them: the manager is the one reporting.
    if (which == kPauseSupportedPtr) {
        if (!m_pPauseSupported.IsAttached())
            m_pPauseSupported.Set(m_strPauseSupportedPath);
        SetPauseButton();
        return;
    }
    const bool recordFlag = which == kRecordFlagPtr;
    auto& pointer = recordFlag ? m_pRecordFlag : m_pReplayFlag;
    bool& valid = recordFlag ? m_bRecordFlagValid : m_bReplayFlagValid;
    if (pointer.IsAttached())
        return;
    pointer.Set(recordFlag ? m_strRecordFlagPath : m_strReplayFlagPath);
    auto flag = pointer.Lock();
    valid = flag && flag->GetState() == values::eStateNormal;
    const bool allowed = recordFlag ? m_bRecordingAllowed : m_bReplayAllowed;
    const bool content = flag && valid ? flag->Get() : allowed;
    if (recordFlag)
        SetRecordingAllowed(content);
    else
        SetReplayAllowed(content);
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

bool VorexToolbar::AddReplayFlagObserver()
{
    if (m_pReplayFlag.IsAttached())
        return true;
    m_bReplayFlagValid = false;
    if (!m_pReplayFlag.Set(m_strReplayFlagPath))
        return false;
    auto flag = m_pReplayFlag.Lock();
    if (!flag)
        return false;
    // The host's permission given before the value existed counts.
    flag->Set(m_bReplayAllowed, this);
    m_bReplayFlagValid = flag->GetState() == values::eStateNormal;
    return true;
}

bool VorexToolbar::AddRecordFlagObserver()
{
    if (m_pRecordFlag.IsAttached())
        return true;
    m_bRecordFlagValid = false;
    if (!m_pRecordFlag.Set(m_strRecordFlagPath))
        return false;
    auto flag = m_pRecordFlag.Lock();
    if (!flag)
        return false;
    flag->Set(m_bRecordingAllowed, this);
    m_bRecordFlagValid = flag->GetState() == values::eStateNormal;
    return true;
}

bool VorexToolbar::AddDataRateClassObserver()
{
    if (!m_pDataRateClass.IsAttached())
        m_pDataRateClass.Set(m_strDataRateClassPath);
    auto rate = m_pDataRateClass.Lock();
    if (!rate) {
        m_strDataRateClass.clear();
        return false;
    }
    m_strDataRateClass = rate->Get();
    return rate->GetState() == values::eStateNormal;
}

bool VorexToolbar::AddAllowedDevicesObserver()
{
    if (!m_pAllowedDevices.IsAttached())
        m_pAllowedDevices.Set(m_strAllowedDevicesPath);
    return SetAllowedDevices();
}

bool VorexToolbar::AddDeviceIdObserver()
{
    // Without the docked bar there is no combo to bind; nothing to wait for.
    if (m_pDeviceCombo && !m_pDeviceCombo->SetDevice_ValuePath(m_strDeviceIdPath))
        return false;
    if (GetDeviceId().isEmpty())
        SetDeviceId(GetFirstDevice());
    return true;
}

bool VorexToolbar::AddRecordReplayModesObservers()
{
    if (!m_pModes.IsAttached() && m_pModes.Set(m_strModesPath)) {
        if (auto modes = m_pModes.Lock()) {
            const long key = modes->GetCurrentKey();
            RecordReplayAllModesValueChanged(false);
            // Selecting the key again lets the bound widgets show it.
            if (key != ModeKey(VOREX_XML::Admin::eRecordReplayMode_Stop))
                modes->SelectIndex(key, this);
        }
        if (m_pDeviceCombo)
            m_pDeviceCombo->SetRecordingOn(IsRecordMode());
    }
    if (!m_pRecordReplayAllModes.IsAttached())
        m_pRecordReplayAllModes.Set(m_strAllModesPath);
    if (!m_replayModeSelection.IsAttached()) {
        if (m_replayModeSelection.Set(m_strReplayModePath) && m_pVtClient)
            m_pVtClient->AddValue(m_replayModeSelection.get(), 0);
        if (m_pDeviceCombo)
            m_pDeviceCombo->SetReplayOn(IsReplaying());
    }
    return IsNormal(m_pModes) && IsNormal(m_pRecordReplayAllModes) && IsNormal(m_replayModeSelection);
}

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
