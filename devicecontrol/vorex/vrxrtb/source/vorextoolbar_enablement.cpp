#include "vorextoolbar.h"
#include "vorextoolbar_p.h"

#include "replaybarwidget.h"
#include "vcwidgets.h"
#include "vorexwidgets.h"

#include <QAction>
#include <QCursor>
#include <QTimer>
#include <QToolBar>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/vorextoolbar"
#include "vorextrace.h"

using VorexCommon::UserRights;

namespace VorexGUI {

using namespace ToolbarDetail;

// ---------------------------------------------------------------------------
// Enablement
// ---------------------------------------------------------------------------

void VorexToolbar::EnableToolbar()
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::EnableToolbar"));
    if (m_pAnswerTimer)
        m_pAnswerTimer->stop();
    // Also when a channel error kept the bar itself enabled meanwhile: the
    // wait cursor would outlive the wait.
    if (m_pToolBar)
        m_pToolBar->unsetCursor();
    m_bToolbarEnabledByWorkflow = true;
    UpdateToolbarEnabled();
}

// The wait cursor promises an answer: it is shown only while the manager is
// reachable, and the wait is bounded.
void VorexToolbar::DisableToolbar()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::DisableToolbar"));
    if (m_pToolBar && !m_bConnected)
        m_pToolBar->unsetCursor();
    else if (m_pToolBar && m_pToolBar->isEnabled())
        m_pToolBar->setCursor(QCursor(Qt::WaitCursor));
    if (m_pAnswerTimer && m_bConnected)
        m_pAnswerTimer->start();
    m_bToolbarEnabledByWorkflow = false;
    UpdateToolbarEnabled();
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::DisableToolbar"));
}

bool VorexToolbar::IsWaitingForAnswer() const
{
    return m_pAnswerTimer && m_pAnswerTimer->isActive() && !m_bToolbarEnabledByWorkflow;
}

void VorexToolbar::UpdateToolbarEnabled()
{
    if (!m_pToolBar)
        return;
    QWidget* errorWidget = m_pToolBar->widgetForAction(m_pErrorAction);

    if (m_channelErrorText.isEmpty()) {
        const bool enabled = m_bToolbarEnabledByWorkflow && m_bToolbarEnabledByFlag;
        m_pToolBar->setEnabled(enabled);
        VRX_TRACE_WARNING(QStringLiteral("m_bToolbarEnabledByWorkflow : %1")
                              .arg(m_bToolbarEnabledByWorkflow ? QStringLiteral("true") : QStringLiteral("false")));
        VRX_TRACE_WARNING(QStringLiteral("m_bToolbarEnabledByFlag : %1")
                              .arg(m_bToolbarEnabledByFlag ? QStringLiteral("true") : QStringLiteral("false")));
        VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::UpdateToolbarEnabled %1 toolbar.")
                              .arg(enabled ? QStringLiteral(">> enabling <<") : QStringLiteral(">> disabling <<")));
        if (enabled) {
            if (m_pDeviceCombo) {
                for (QWidget* widget : m_pDeviceCombo->findChildren<QWidget*>())
                    widget->setEnabled(true);
            }
            // Asked of the action too: the bar may be hidden by the host, or
            // not laid out yet since the action was shown, and the button
            // must go all the same.
            if ((errorWidget && !errorWidget->isHidden()) || m_pErrorAction->isVisible()) {
                if (errorWidget) {
                    errorWidget->hide();
                    errorWidget->setEnabled(false);
                }
                m_pErrorAction->setVisible(false);
            }
        }
        return;
    }

    m_pToolBar->setEnabled(true);
    for (QWidget* widget : m_pToolBar->findChildren<QWidget*>())
        widget->setEnabled(false);
    if (errorWidget) {
        errorWidget->show();
        errorWidget->setEnabled(true);
    }
    m_pErrorAction->setVisible(true);
}

bool VorexToolbar::IsBaseEnabled()
{
    return m_channelErrorText.isEmpty() && AllConnectionsEstablished() && m_bToolbarEnabledByFlag
        && m_bToolbarEnabledByWorkflow;
}

void VorexToolbar::SetRecordButton(bool allowed)
{
    if (!m_pRecordCombo)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetRecordButton %1").arg(Flag(allowed)));
    m_pRecordCombo->setEnabled(IsBaseEnabled() && m_bRecordFlagValid && allowed && !IsReplaying());
}

void VorexToolbar::SetReplayButton(bool allowed)
{
    if (!m_pReplayCombo)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetReplayButton %1").arg(Flag(allowed)));
    m_pReplayCombo->setEnabled(IsBaseEnabled() && m_bReplayFlagValid && allowed && !IsRecordMode());
}

void VorexToolbar::SetOpenFileButton(bool allowed)
{
    if (!m_pOpenFileAction)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetOpenFileButton %1").arg(Flag(allowed)));
    m_pOpenFileAction->setEnabled(IsBaseEnabled() && m_bReplayFlagValid && allowed && m_bOpenFileDialogAllowed
                                  && !IsReplaying() && !IsRecordMode());
}

void VorexToolbar::SetPauseButton()
{
    if (!m_pPauseButton)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetPauseButton"));
    ReplayMode mode = VOREX_XML::Admin::eReplayMode_Stopped;
    const bool replayRunsOrPaused = GetReplayMode(mode)
        && (mode == VOREX_XML::Admin::eReplayMode_Paused || mode == VOREX_XML::Admin::eReplayMode_Running);
    // Bound again at once after it turned invalid: until it is valid again
    // it does not count as bound.
    auto pauseSupported = m_pPauseSupported.Lock();
    const bool supported = pauseSupported && pauseSupported->GetState() != values::eStateInvalid
        && pauseSupported->Get();
    m_pPauseButton->setEnabled(IsBaseEnabled() && replayRunsOrPaused && supported);
}

void VorexToolbar::SetStopButton()
{
    if (!m_pStopButton)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetStopButton"));
    const bool activity = IsReplayMode() || IsRecordMode() || IsPauseMode();
    const bool permitted = (m_bRecordingAllowed && m_bRecordFlagValid) || (m_bReplayAllowed && m_bReplayFlagValid);
    m_pStopButton->setEnabled(IsBaseEnabled() && activity && permitted);
}

void VorexToolbar::SetCopyButton()
{
    if (!m_pReplayBar)
        return;
    m_pReplayBar->SetEditAllowed(IsBaseEnabled() && HasCurrentRecord() && !IsRecordMode());
}

void VorexToolbar::SetHistoryButton()
{
    if (!m_pHistoryAction)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetHistoryButton"));
    const bool permitted = (m_bRecordingAllowed && m_bRecordFlagValid) || (m_bReplayAllowed && m_bReplayFlagValid);
    m_bRecordKnown = HasCurrentRecord();
    m_pHistoryAction->setEnabled(IsBaseEnabled() && m_bRecordKnown && permitted
                                 && UserRights::Instance()->HistoryCommentAllowed());
}

void VorexToolbar::SetRecordingAllowed(bool allowed)
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetRecordingAllowed : %1").arg(Flag(allowed)));
    m_bRecordingAllowed = allowed;
    SetRecordButton(m_bRecordingAllowed);
    SetPauseButton();
    SetStopButton();
    SetCopyButton();
    SetHistoryButton();
}

void VorexToolbar::SetReplayAllowed(bool allowed)
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetReplayAllowed %1").arg(Flag(allowed)));
    m_bReplayAllowed = allowed;
    ReplayMode mode = VOREX_XML::Admin::eReplayMode_Stopped;
    const bool paused = GetReplayMode(mode) && mode == VOREX_XML::Admin::eReplayMode_Paused;
    SetOpenFileButton(m_bReplayAllowed);
    SetReplayButton(m_bReplayAllowed || paused);
    SetStopButton();
    SetCopyButton();
    SetPauseButton();
    SetHistoryButton();
}

void VorexToolbar::StateNormal(Observable* observable)
{
    UpdateToolbar();
    if (observable && observable == m_pRecordFlag.get()) {
        m_bRecordFlagValid = true;
        if (auto flag = m_pRecordFlag.Lock())
            SetRecordingAllowed(flag->Get());
    } else if (observable && observable == m_pReplayFlag.get()) {
        m_bReplayFlagValid = true;
        if (auto flag = m_pReplayFlag.Lock())
            SetReplayAllowed(flag->Get());
    }
    ReplayMode mode = VOREX_XML::Admin::eReplayMode_Stopped;
    if (GetReplayMode(mode))
        ReplayModeChanged(mode);
}

void VorexToolbar::StateDisabled(Observable* observable)
{
    if (observable && observable == m_pRecordFlag.get()) {
        m_bRecordFlagValid = false;
        if (auto flag = m_pRecordFlag.Lock())
            SetRecordingAllowed(flag->Get());
    } else if (observable && observable == m_pReplayFlag.get()) {
        m_bReplayFlagValid = false;
        if (auto flag = m_pReplayFlag.Lock())
            SetReplayAllowed(flag->Get());
    }
}

void VorexToolbar::SwitchButtons(bool on)
{
    SetOpenFileButton(on);
    SetReplayButton(on);
    SetRecordButton(on);
    SetPauseButton();
    SetStopButton();
    SetCopyButton();
    SetHistoryButton();

    const bool enable = on && m_channelErrorText.isEmpty();
    if (m_pRecordCounter)
        m_pRecordCounter->setEnabled(enable);
    if (m_pDiscSpaceBar)
        m_pDiscSpaceBar->setEnabled(enable);
    if (m_pReplayBar)
        m_pReplayBar->setEnabled(enable);

    if (!on) {
        if (auto modes = m_pModes.Lock())
            VTHelper::Instance().SafeSetValue(modes.get(), ModeKey(5), nullptr);
        if (m_pRecordCounter)
            m_pRecordCounter->StopCounter();
    }
}

} // namespace VorexGUI
