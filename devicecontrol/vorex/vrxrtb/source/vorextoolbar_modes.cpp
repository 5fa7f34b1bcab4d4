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
// Mode state machine
// ---------------------------------------------------------------------------

bool VorexToolbar::IsRecordMode()
{
    auto modes = m_pModes.Lock();
    if (!modes)
        return false;
    const long key = modes->GetCurrentKey();
    return key == ModeKey(3) || key == ModeKey(4);
}

bool VorexToolbar::IsReplayMode()
{
    auto modes = m_pModes.Lock();
    if (!modes)
        return false;
    const long key = modes->GetCurrentKey();
    return key == ModeKey(0) || key == ModeKey(1);
}

bool VorexToolbar::IsPauseMode()
{
    auto modes = m_pModes.Lock();
    return modes && modes->GetCurrentKey() == ModeKey(2);
}

bool VorexToolbar::IsStopMode()
{
    auto modes = m_pModes.Lock();
    return modes && modes->GetCurrentKey() == ModeKey(5);
}

bool VorexToolbar::GetReplayMode(ReplayMode& mode)
{
    auto selection = m_replayModeSelection.Lock();
    if (!selection)
        return false;
    mode = static_cast<ReplayMode>(selection->GetCurrentKey() & 0xff);
    return true;
}

bool VorexToolbar::IsReplaying()
{
    ReplayMode mode = VOREX_XML::Admin::eReplayMode_Stopped;
    return GetReplayMode(mode) && mode != VOREX_XML::Admin::eReplayMode_Stopped;
}

bool VorexToolbar::IsReplayContinousMode()
{
    auto replays = values::Tree::Instance()->FindValueAs<values::Value<int>>(m_strNoOfReplaysPath);
    return replays && replays->Get() == 0;
}

void VorexToolbar::RecordReplayAllModesValueChanged(bool /*fromValueTree*/)
{
    if (!m_pRecordReplayAllModes || IsReplaying())
        return;
    // The looks of the recording states come with the mode state machine.
}

// The handlers below come with the mode state machine and the record and
// replay requests; until then a request changes nothing.
void VorexToolbar::RecordReplayModeValueChanged() {}
void VorexToolbar::ReplayModeChanged(const ReplayMode& /*mode*/) {}
void VorexToolbar::StartCorbaReplay(const DataRate& /*rate*/, const int& /*retries*/) {}
void VorexToolbar::SynchronizeToolbar(RecordReplayMode /*mode*/) {}
void VorexToolbar::SetModeRecordStarting() {}
void VorexToolbar::SetModeRecordStopping() {}
void VorexToolbar::SetModeRecord(bool /*fromValueTree*/) {}
void VorexToolbar::SetModeStopped() {}
void VorexToolbar::SetModeStopReplay() {}
void VorexToolbar::SetModeReplayStarting() {}
void VorexToolbar::SetModeReplay() {}
void VorexToolbar::SetModePaused() {}
void VorexToolbar::SetModePauseReplay() {}
void VorexToolbar::SetModeReplayStopping() {}

void VorexToolbar::SetStopped()
{
    if (auto modes = m_pModes.Lock())
        modes->SelectIndex(ModeKey(5), this);
}

bool VorexToolbar::PrepareForReplay(const RecordReplayAllModes& /*running*/) { return false; }
bool VorexToolbar::PrepareForContinuousReplay(const RecordReplayAllModes& /*running*/) { return false; }

bool VorexToolbar::PrepareForPauseReplay() const
{
    auto selection = m_replayModeSelection.Lock();
    return selection && (selection->GetCurrentKey() & 0xff) == VOREX_XML::Admin::eReplayMode_Running;
}

bool VorexToolbar::PrepareForRecord(const RecordReplayAllModes& /*running*/, RecordReplayAllModes& /*target*/) { return false; }
bool VorexToolbar::PrepareForContinuousRecord(const RecordReplayAllModes& /*running*/, RecordReplayAllModes& /*target*/) { return false; }
bool VorexToolbar::StopActivity(RecordReplayAllModes& /*state*/) { return false; }
bool VorexToolbar::StartNormalRecording(quint32 /*sizeLimit*/) { return false; }
bool VorexToolbar::StartContinuousRecording() { return false; }
bool VorexToolbar::StartNormalReplay(int /*noOfReplays*/) { return false; }

bool VorexToolbar::StartContinuousReplay()
{
    return StartNormalReplay(0);
}

VorexToolbar::DataRate VorexToolbar::GetValidatedDataRateClass()
{
    return VOREX_XML::VOREX_RecordData::NameToDataRate(m_strDataRateClass);
}

} // namespace VorexGUI
