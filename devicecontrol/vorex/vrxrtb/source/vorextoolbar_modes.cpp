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
#include <QTime>
#include <QToolButton>

#include <algorithm>
#include <limits>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/vorextoolbar"
#include "vorextrace.h"

namespace VorexGUI {

using namespace ToolbarDetail;
using VorexCommon::ErrorDescriptor;

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

namespace {

using Admin = VOREX_XML::Admin;

QString ModeName(long mode)
{
    return Admin::RecordReplayModeToName(mode);
}

QString AllModesName(long state)
{
    return Admin::RecordReplayAllModesToName(state);
}

// Default record size limit in bytes offered for a continuous record.
quint64 DefaultRecordSizeLimit(int rate)
{
    static const quint64 sizes[] = {262144ull,    20971520ull,  1310720ull,    108003328ull,
                                    41943040ull,  62914560ull,  216006656ull,  324009984ull,
                                    408944640ull, 125000ull,    2560000ull,    50331648ull,
                                    639631360ull, 1279262720ull, 2558525440ull, 5120000ull};
    return rate >= 0 && rate < int(sizeof(sizes) / sizeof(sizes[0])) ? sizes[rate] : 0;
}

// Replay positions go to the manager as unsigned offsets; anything below
// zero (or not a number) is the start of the record.
quint64 ToOffset(double position)
{
    if (!(position > 0.0))
        return 0;
    if (position >= 18446744073709551615.0)
        return std::numeric_limits<quint64>::max();
    return static_cast<quint64>(position);
}

} // namespace

// ---------------------------------------------------------------------------
// Reactions to the three mode values
// ---------------------------------------------------------------------------

void VorexToolbar::RecordReplayModeValueChanged()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::RecordReplayModeValueChanged"));
    auto modes = m_pModes.Lock();
    auto allModes = m_pRecordReplayAllModes.Lock();
    if (!modes || !allModes)
        return;

    RecordReplayMode mode = Admin::eRecordReplayMode_Stop;
    RecordReplayAllModes running = Admin::eRecordReplayAllModes_Stopped;
    try {
        mode = static_cast<RecordReplayMode>(modes->GetCurrentKey() & 0xff);
        running = static_cast<RecordReplayAllModes>(allModes->GetCurrentKey() & 0xff);
        VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::RecordReplayModeValueChanged::mode = %1 ").arg(ModeName(mode)));
        VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::RecordReplayModeValueChanged::managerModes = %1 ").arg(AllModesName(running)));
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("UNKNOWN EXCEPTION in VorexToolbar::RecordReplayModeValueChanged"));
        VRX_TRACE_WARNING(QStringLiteral("returning from VorexToolbar::RecordReplayModeValueChanged without modifying ValueTree"));
        return;
    }

    RecordReplayAllModes target = Admin::eRecordReplayAllModes_Stopped;
    bool accepted = false;
    bool forceUpdate = false;
    switch (mode) {
    case Admin::eRecordReplayMode_Replay:
        if (PrepareForReplay(running))
            SetModeReplayStarting();
        return;
    case Admin::eRecordReplayMode_Replaycontinuous:
        if (PrepareForContinuousReplay(running))
            SetModeReplayStarting();
        return;
    case Admin::eRecordReplayMode_Pausereplay:
        if (PrepareForPauseReplay())
            SetModePauseReplay();
        return;
    case Admin::eRecordReplayMode_Record:
        accepted = PrepareForRecord(running, target);
        break;
    case Admin::eRecordReplayMode_Recordcontinuous:
        accepted = PrepareForContinuousRecord(running, target);
        break;
    case Admin::eRecordReplayMode_Stop: {
        if (IsReplaying()) {
            SetModeStopReplay();
            return;
        }
        RecordReplayAllModes next = running;
        if (StopActivity(next)) {
            accepted = true;
            target = next;
        } else {
            forceUpdate = true;
        }
        break;
    }
    default:
        break;
    }

    if (accepted || forceUpdate) {
        if (auto all = m_pRecordReplayAllModes.Lock()) {
            if (accepted) {
                VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::RecordReplayModeValueChanged::setting to = %1 ").arg(AllModesName(target)));
                all->SelectIndex(target, this);
            } else {
                VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::RecordReplayModeValueChanged::force update of = %1 ")
                                   .arg(AllModesName(all->GetCurrentKey())));
            }
            RecordReplayAllModesValueChanged(false);
        }
    }
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::RecordReplayModeValueChanged"));
}

void VorexToolbar::RecordReplayAllModesValueChanged(bool fromValueTree)
{
    auto allModes = m_pRecordReplayAllModes.Lock();
    // While a replay runs the replay state decides the look.
    if (!allModes || IsReplaying())
        return;
    const long key = allModes->GetCurrentKey();
    const qint8 state = static_cast<qint8>(key & 0xff);
    if (!Admin::IsValidRecordReplayAllModes(state)) {
        EnableToolbar();
        VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::RecordReplayAllModesValueChanged::m_pRecordReplayAllModes->GetCurrentKey() delivered %1")
                              .arg(key));
        return;
    }
    VRX_TRACE_WARNING(QStringLiteral("+ VorexToolbar::RecordReplayAllModesValueChanged::mode = %1 ").arg(AllModesName(state)));
    switch (state) {
    case Admin::eRecordReplayAllModes_Startrecord:
        SetModeRecordStarting();
        if (m_pReplayBar)
            m_pReplayBar->setEnabled(false);
        break;
    case Admin::eRecordReplayAllModes_Record:
    case Admin::eRecordReplayAllModes_Recordcontinuous:
        SetModeRecord(fromValueTree);
        if (m_pReplayBar)
            m_pReplayBar->setEnabled(false);
        break;
    case Admin::eRecordReplayAllModes_Recordreplaystopped:
        SetModeRecordStopping();
        if (m_pReplayBar)
            m_pReplayBar->setEnabled(false);
        break;
    case Admin::eRecordReplayAllModes_Stopped:
        SetModeStopped();
        // A channel error keeps everything but the error button off.
        if (m_pReplayBar)
            m_pReplayBar->setEnabled(m_channelErrorText.isEmpty());
        break;
    default:
        break;
    }
    if (m_pDeviceCombo)
        m_pDeviceCombo->SetRecordingOn(IsRecordMode());
    VRX_TRACE_WARNING(QStringLiteral("- VorexToolbar::RecordReplayAllModesValueChanged::mode = %1 ").arg(AllModesName(state)));
}

void VorexToolbar::ReplayModeChanged(const ReplayMode& mode)
{
    if (m_pDeviceCombo)
        m_pDeviceCombo->SetReplayOn(IsReplaying());
    switch (mode) {
    case Admin::eReplayMode_Stopped:
        SetModeStopped();
        break;
    case Admin::eReplayMode_Starting:
        DisableToolbar();
        SynchronizeToolbar(Admin::eRecordReplayMode_Replay);
        break;
    case Admin::eReplayMode_Paused:
        SetModePaused();
        break;
    case Admin::eReplayMode_Pausing:
        DisableToolbar();
        SynchronizeToolbar(Admin::eRecordReplayMode_Pausereplay);
        break;
    case Admin::eReplayMode_Running:
        SetModeReplay();
        break;
    case Admin::eReplayMode_Stopping:
        SetModeReplayStopping();
        break;
    default:
        break;
    }
}

// Activity the manager started itself is shown as the operator's would be;
// what the operator asked for is in the mode value already.
void VorexToolbar::SynchronizeToolbar(RecordReplayMode mode)
{
    auto modes = m_pModes.Lock();
    if (!modes)
        return;
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::SynchronizeToolbar ::mode = %1 ").arg(ModeName(mode)));
    const bool external = IsExternalCall();
    VRX_TRACE_WARNING(QStringLiteral("IsExternalCall %1 : ").arg(Flag(external)));
    if (!external)
        return;
    RecordReplayMode refined = mode;
    if (mode == Admin::eRecordReplayMode_Replay && IsReplayContinousMode())
        refined = Admin::eRecordReplayMode_Replaycontinuous;
    if (mode == Admin::eRecordReplayMode_Record) {
        auto fileSize = m_pFileSize.Lock();
        if (fileSize && fileSize->Get() != 0)
            refined = Admin::eRecordReplayMode_Recordcontinuous;
    }
    modes->SelectIndex(ModeKey(refined), this);
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::SynchronizeToolbar ::mode = %1 ").arg(ModeName(mode)));
}

// ---------------------------------------------------------------------------
// The looks of the states
// ---------------------------------------------------------------------------

void VorexToolbar::SetModeRecordStarting()
{
    DisableToolbar();
    SynchronizeToolbar(Admin::eRecordReplayMode_Record);
}

void VorexToolbar::SetModeRecordStopping()
{
    if (m_pRecordCounter)
        m_pRecordCounter->StopCounter();
    DisableToolbar();
    SynchronizeToolbar(Admin::eRecordReplayMode_Stop);
}

void VorexToolbar::SetModeRecord(bool fromValueTree)
{
    EnableToolbar();
    SynchronizeToolbar(Admin::eRecordReplayMode_Record);
    if (!fromValueTree && !IsRecordMode()) {
        // A record found running (binding, enabling, a returning connection)
        // while the mode value says otherwise, as it does after a lost
        // connection stopped the toolbar: without the record mode the
        // operator could not stop the record, and pressing record again
        // would ask the manager for a record that already runs.
        auto fileSize = m_pFileSize.Lock();
        SelectModeAsToolbar(fileSize && fileSize->Get() != 0 ? Admin::eRecordReplayMode_Recordcontinuous
                                                             : Admin::eRecordReplayMode_Record);
    }
    SetOpenFileButton(false);
    SetReplayButton(false);
    SetStopButton();
    SetCopyButton();
    SetPauseButton();
    if (fromValueTree) {
        // The record has just started.
        if (m_pRecordCounter)
            m_pRecordCounter->StartCounter();
        EnterRecordName();
    } else if (m_pRecordCounter) {
        // A record that was running already: count on from the device's time.
        m_pRecordCounter->SetDuration(0);
        quint64 deviceTime = 0;
        bool valid = false;
        const quint32 code = m_pAdminHandler ? m_pAdminHandler->GetDeviceTime(m_deviceId, deviceTime, valid) : 1;
        m_pRecordCounter->RestartCounter(code == 0 ? deviceTime : 0);
    }
    m_bToolbarEnabledByWorkflow = true;
    SetHistoryButton();
}

void VorexToolbar::SetModeStopped()
{
    // Disabled and normal again: every widget bound to the modes redraws.
    // Another toolbar on the same channel is told too and, returning to
    // normal, comes back here; its widgets are redrawn by this very round,
    // and a nested round would bounce between the two without end.
    static thread_local int refreshing = 0;
    if (auto modes = m_pModes.Lock(); modes && refreshing == 0) {
        ++refreshing;
        try {
            modes->SetState(values::eStateDisabled, this);
            modes->SetState(values::eStateNormal, this);
        } catch (...) {
            --refreshing;
            throw;
        }
        --refreshing;
    }
    if (m_pRecordCounter) {
        m_pRecordCounter->StopCounter();
        SetDuration();
    }
    if (auto modes = m_pModes.Lock()) {
        if (!IsStopMode())
            modes->SelectIndex(ModeKey(Admin::eRecordReplayMode_Stop), this);
    }
    EnableToolbar();
    SetRecordButton(m_bRecordingAllowed);
    SetReplayButton(m_bReplayAllowed);
    SetPauseButton();
    SetStopButton();
    SetCopyButton();
    SetOpenFileButton(m_bReplayAllowed);
    SetHistoryButton();
    if (m_pToolBar)
        m_pToolBar->unsetCursor();
}

void VorexToolbar::SetModeStopReplay()
{
    SetModeReplayStopping();
    const quint32 code = m_pReplayHandler ? m_pReplayHandler->StopReplay(m_deviceId, m_recordId) : 0;
    if (code != 0)
        SetStopOnErrorFromServer(code);
}

void VorexToolbar::SetModeReplayStarting()
{
    DisableToolbar();
    SynchronizeToolbar(Admin::eRecordReplayMode_Replay);
    if (m_pReplayBar)
        m_pReplayBar->slotSaveBookmarksToVorex();
    const DataRate rate = GetValidatedDataRateClass();
    // From the event loop, once the replay bar has taken the record's range.
    VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::StartCorbaReplay, rate, 20);
}

void VorexToolbar::SetModeReplay()
{
    EnableToolbar();
    SynchronizeToolbar(Admin::eRecordReplayMode_Replay);
    SetRecordButton(false);
    SetOpenFileButton(false);
    SetStopButton();
    SetCopyButton();
    SetPauseButton();
}

void VorexToolbar::SetModePaused()
{
    EnableToolbar();
    SynchronizeToolbar(Admin::eRecordReplayMode_Pausereplay);
    SetRecordButton(false);
    SetOpenFileButton(false);
    SetStopButton();
    SetCopyButton();
    SetPauseButton();
}

void VorexToolbar::SetModePauseReplay()
{
    DisableToolbar();
    SynchronizeToolbar(Admin::eRecordReplayMode_Pausereplay);
    if (!HasCurrentRecord()) {
        SetStopOnErrorFromServer(VorexCommon::RecorderManagerBackend::eResult_UnknownRecord);
        return;
    }
    const quint32 code = m_pReplayHandler ? m_pReplayHandler->PauseReplay(m_deviceId, m_recordId)
                                          : quint32(VorexCommon::RecorderManagerBackend::eResult_NotConnected);
    if (code != 0)
        SetStopOnErrorFromServer(code);
}

void VorexToolbar::SetModeReplayStopping()
{
    DisableToolbar();
    SynchronizeToolbar(Admin::eRecordReplayMode_Stop);
}

void VorexToolbar::SetStopped()
{
    SelectModeAsToolbar(Admin::eRecordReplayMode_Stop);
}

// ---------------------------------------------------------------------------
// Record and replay requests
// ---------------------------------------------------------------------------

// A replay is never started while a record runs, starts or stops; a running
// record's mode is selected again so the widgets show what still runs.
bool VorexToolbar::RefuseReplayDuringRecord(const QString& operation, const RecordReplayAllModes& running)
{
    switch (running) {
    case Admin::eRecordReplayAllModes_Record:
    case Admin::eRecordReplayAllModes_Recordcontinuous:
    case Admin::eRecordReplayAllModes_Startrecord:
    case Admin::eRecordReplayAllModes_Recordreplaystopped:
        break;
    default:
        return false;
    }
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::%1 : somehow managed to switch to Replay while "
                                  "VOREX_XML::Admin::RecordReplayAllModes::%2 was running. ")
                       .arg(operation, AllModesName(running)));
    if (running == Admin::eRecordReplayAllModes_Record)
        SelectModeAsToolbar(Admin::eRecordReplayMode_Record);
    else if (running == Admin::eRecordReplayAllModes_Recordcontinuous)
        SelectModeAsToolbar(Admin::eRecordReplayMode_Recordcontinuous);
    return true;
}

bool VorexToolbar::PrepareForReplay(const RecordReplayAllModes& running)
{
    if (RefuseReplayDuringRecord(QStringLiteral("PrepareForReplay"), running))
        return false;
    ReplayMode replay = Admin::eReplayMode_Stopped;
    GetReplayMode(replay);
    if (replay == Admin::eReplayMode_Paused)
        return true; // continued, not started anew
    if (replay == Admin::eReplayMode_Running && IsReplayContinousMode()) {
        VRX_TRACE_WARNING(QStringLiteral("Cannot switch to replay mode while continuous replay is running! No action will be performed"));
        SelectModeAsToolbar(Admin::eRecordReplayMode_Replaycontinuous);
        return false;
    }
    if (StartNormalReplay(1))
        return true;
    if (m_pErrorDescriptor)
        m_pErrorDescriptor->WriteCommandResponse(ErrorDescriptor::ERROR, m_channelId, QStringLiteral("PrepareForReplay"),
                                                 VorexCommon::ToolbarHelper::ErrorId2Text(253, 0));
    SetStopped();
    return false;
}

bool VorexToolbar::PrepareForContinuousReplay(const RecordReplayAllModes& running)
{
    if (RefuseReplayDuringRecord(QStringLiteral("PrepareForContinuousReplay"), running))
        return false;
    ReplayMode replay = Admin::eReplayMode_Stopped;
    GetReplayMode(replay);
    if (replay == Admin::eReplayMode_Paused)
        return true;
    if (replay == Admin::eReplayMode_Running && !IsReplayContinousMode()) {
        VRX_TRACE_WARNING(QStringLiteral("Cannot switch to continuous replay mode while replay is running! No action will be performed"));
        SelectModeAsToolbar(Admin::eRecordReplayMode_Replay);
        return false;
    }
    if (StartContinuousReplay())
        return true;
    if (m_pErrorDescriptor)
        m_pErrorDescriptor->WriteCommandResponse(ErrorDescriptor::ERROR, m_channelId,
                                                 QStringLiteral("PrepareForContinuousReplay"),
                                                 VorexCommon::ToolbarHelper::ErrorId2Text(254, 0));
    SetStopped();
    return false;
}

bool VorexToolbar::PrepareForPauseReplay() const
{
    auto selection = m_replayModeSelection.Lock();
    return selection && (selection->GetCurrentKey() & 0xff) == Admin::eReplayMode_Running;
}

bool VorexToolbar::PrepareForRecord(const RecordReplayAllModes& running, RecordReplayAllModes& target)
{
    if (running == Admin::eRecordReplayAllModes_Recordcontinuous) {
        const QString text = tr("Cannot switch to record mode while continuous record is running! No action will be performed");
        if (m_pErrorDescriptor)
            m_pErrorDescriptor->WriteCommandResponse(ErrorDescriptor::WARNING, m_channelId, QString(), text);
        SelectModeAsToolbar(Admin::eRecordReplayMode_Recordcontinuous);
        return false;
    }
    m_strRecordName.clear();
    StartNormalRecording(0);
    target = Admin::eRecordReplayAllModes_Startrecord;
    return true;
}

bool VorexToolbar::PrepareForContinuousRecord(const RecordReplayAllModes& running, RecordReplayAllModes& target)
{
    if (running == Admin::eRecordReplayAllModes_Record) {
        const QString text = tr("Cannot switch to continuous record mode while record is running! No action will be performed");
        if (m_pErrorDescriptor)
            m_pErrorDescriptor->WriteCommandResponse(ErrorDescriptor::WARNING, m_channelId, QString(), text);
        SelectModeAsToolbar(Admin::eRecordReplayMode_Record);
        return false;
    }
    m_strRecordName.clear();
    if (StartContinuousRecording()) {
        target = Admin::eRecordReplayAllModes_Startrecord;
        return true;
    }
    if (m_pErrorDescriptor)
        m_pErrorDescriptor->WriteCommandResponse(ErrorDescriptor::ERROR, m_channelId,
                                                 QStringLiteral("PrepareForContinuousRecord"),
                                                 VorexCommon::ToolbarHelper::ErrorId2Text(256, 0));
    SetStopped();
    return false;
}

bool VorexToolbar::StopActivity(RecordReplayAllModes& state)
{
    switch (state) {
    case Admin::eRecordReplayAllModes_Startrecord:
        // Only requested: withdrawn at once.
        if (m_pRecordCounter)
            m_pRecordCounter->StopCounter();
        state = Admin::eRecordReplayAllModes_Stopped;
        return true;
    case Admin::eRecordReplayAllModes_Record:
    case Admin::eRecordReplayAllModes_Recordcontinuous:
        state = Admin::eRecordReplayAllModes_Recordreplaystopped;
        return true;
    default:
        return false;
    }
}

bool VorexToolbar::StartNormalRecording(quint32 sizeLimit)
{
    if (auto fileSize = m_pFileSize.Lock())
        fileSize->Set(static_cast<int>(sizeLimit / 1024), this);
    VTHelper::Instance().SetValue(m_strExternalTriggerPath, false, nullptr);
    return true;
}

bool VorexToolbar::StartContinuousRecording()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::StartContinuousRecording"));
    if (!m_strDataRateClass.isEmpty()) {
        const DataRate rate = VOREX_XML::VOREX_RecordData::NameToDataRate(m_strDataRateClass);
        RecordParameterDialog dialog(31, DefaultRecordSizeLimit(rate), this);
        dialog.createRecordName(m_strRecordNamePrefix, QStringLiteral("yyyyMMdd:hhmmss_"));
        dialog.setRecordSizeLimit(QTime(0, 0, 40, 0), 2);
        if (dialog.exec() == 1) {
            m_strRecordName = dialog.recordName();
            m_nRecordTimeout = dialog.timeout();
            // The limit travels as 32 bits: a larger one would wrap into a
            // small ring buffer, so it is held at the largest that fits.
            const quint64 limit = dialog.recordSizeLimit();
            const quint32 sizeLimit = static_cast<quint32>(std::min<quint64>(limit, std::numeric_limits<quint32>::max()));
            if (sizeLimit != limit)
                VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::StartContinuousRecording: record size limit %1 held at %2")
                                      .arg(limit)
                                      .arg(sizeLimit));
            return StartNormalRecording(sizeLimit);
        }
    }
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::StartContinuousRecording"));
    return false;
}

bool VorexToolbar::StartNormalReplay(int noOfReplays)
{
    VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::StartNormalReplay"));
    VTHelper::Instance().SetValue(m_strExternalTriggerPath, false, nullptr);

    // A record the manager does not have is no record to replay: the
    // operator is asked for one as on a fresh channel.
    if (!HasCurrentRecord()) {
        if (!m_bOpenFileDialogAllowed) {
            ErrorHandler::Instance()->Message(VorexCommon::ToolbarHelper::ErrorId2Text(257, 0), true, -1, true);
            return false;
        }
        CreateOpenFileDialog();
        if (!HasCurrentRecord()) {
            SetRecordName(QString());
            return false;
        }
    }

    // Pressing pause selects the pause mode, releasing it the running kind.
    const VOREX_XML::Admin::ModeList names = Admin::GetRecordReplayModes();
    if (m_pPauseButton)
        m_pPauseButton->SetSelection_ValuePath(m_strModesPath, names.value(Admin::eRecordReplayMode_Pausereplay),
                                               names.value(noOfReplays != 0 ? Admin::eRecordReplayMode_Replay
                                                                            : Admin::eRecordReplayMode_Replaycontinuous));
    VTHelper::Instance().SetValue(m_strNoOfReplaysPath, noOfReplays, nullptr);
    return true;
}

bool VorexToolbar::StartContinuousReplay()
{
    return StartNormalReplay(0);
}

void VorexToolbar::StartCorbaReplay(const DataRate& rate, const int& retries)
{
    // Whatever keeps the command from going ends the wait it began.
    if (!m_pReplayBar || !m_pReplayHandler) {
        SetStopOnErrorFromServer(VorexCommon::RecorderManagerBackend::eResult_NotConnected);
        return;
    }
    if (!HasCurrentRecord()) {
        SetStopOnErrorFromServer(VorexCommon::RecorderManagerBackend::eResult_UnknownRecord);
        return;
    }
    const int replays = m_pReplayBar->GetNoOfReplays();
    const double start = m_pReplayBar->GetReplayStartPosition(replays);
    const double stop = m_pReplayBar->GetReplayStopPosition();
    if (start == stop && stop == 0.0 && retries - 1 > 0) {
        // The replay bar has no range yet.
        VRX_RUN_IN_MAIN_THREAD(true, this, &VorexToolbar::StartCorbaReplay, rate, retries - 1);
        return;
    }
    quint32 code = 0;
    if (IsReplaying() && !m_pReplayBar->m_bPositionMoved)
        code = m_pReplayHandler->ContinueReplay(m_deviceId, m_recordId);
    else
        code = m_pReplayHandler->StartReplay(m_deviceId, m_recordId, rate, ToOffset(start), ToOffset(stop),
                                             static_cast<quint32>(replays));
    if (code != 0)
        SetStopOnErrorFromServer(code);
}

VorexToolbar::DataRate VorexToolbar::GetValidatedDataRateClass()
{
    const DataRate rate = VOREX_XML::VOREX_RecordData::NameToDataRate(m_strDataRateClass);
    auto replayRate = values::Tree::Instance()->FindValueAs<values::Value<QString>>(
        Join(GetChannelPath(), QStringLiteral("ReplayDataRateClass")));
    if (replayRate && replayRate->Get() != m_strDataRateClass)
        return VOREX_XML::VOREX_RecordData::NameToDataRate(replayRate->Get());
    return rate;
}

// Written as the toolbar, so no mode handling runs for it: the controls
// whose rules read the mode would keep the look of the mode it replaced
// (stop offered in mode 5, the record selection during a record).
void VorexToolbar::SelectModeAsToolbar(RecordReplayMode mode)
{
    if (auto modes = m_pModes.Lock()) {
        modes->SelectIndex(ModeKey(mode), this);
        InitializeToolbarButtons();
    }
}

} // namespace VorexGUI
