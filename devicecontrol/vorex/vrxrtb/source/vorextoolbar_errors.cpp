#include "vorextoolbar.h"
#include "vorextoolbar_p.h"

#include <QTimer>

#include <memory>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/vorextoolbar"
#include "vorextrace.h"

using VorexCommon::ErrorDescriptor;
using VorexCommon::ToolbarHelper;

namespace VorexGUI {

using namespace ToolbarDetail;

// ---------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------

void VorexToolbar::DisplayError()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::DisplayError"));
    QString key;
    {
        auto errorCode = m_pErrorCode.Lock();
        if (!errorCode)
            return;
        key = errorCode->Get();
    }
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::DisplayError %1").arg(key));
    if (!m_pErrorDescriptor)
        return;

    // The record is the caller's; it must go on every path, also when the
    // host's message operation or the mode change throws.
    const std::unique_ptr<ErrorDescriptor::StruReturnErrorCode> record(m_pErrorDescriptor->GetErrorCodePtr(key));
    if (!record || record->m_eClassifier == ErrorDescriptor::NO_ERROR) {
        VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::DisplayError : something went gravely wrong, ignoring error"));
        return;
    }

    // The operator sees the message before the activity is stopped, and an
    // activity started from outside is reported to whoever started it.
    if (record->m_bShow && record->m_eClassifier != ErrorDescriptor::INFO && !IsExternalCall())
        ErrorHandler::Instance()->Message(record->m_strText, true, -1, true);

    if (record->m_eClassifier == ErrorDescriptor::ERROR || record->m_eClassifier == ErrorDescriptor::FATAL) {
        VRX_TRACE_WARNING(
            QStringLiteral("Landed in VorexToolbar::DisplayError and setting the activities to stopped : %1")
                .arg(record->m_strText));
        // Every observer, this toolbar included, must see the stop so that
        // the mode handling runs as for a stop the operator asked for.
        if (auto modes = m_pModes.Lock())
            VTHelper::Instance().SafeSetValue(modes.get(), ModeKey(VOREX_XML::Admin::eRecordReplayMode_Stop), nullptr);
    }
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::DisplayError"));
}

void VorexToolbar::SetStopOnErrorFromServer(const unsigned long& code)
{
    const QString text = ToolbarHelper::ErrorId2Text(static_cast<quint32>(code), 1);
    if (m_pErrorDescriptor)
        m_pErrorDescriptor->WriteCommandResponse(ErrorDescriptor::ERROR, GetChannelId(),
                                                 QStringLiteral("SetStopOnErrorFromServer"), text);
    // Shown even when the activity came from outside: the command that
    // failed was this toolbar's own.
    ErrorHandler::Instance()->Message(text, true, -1, true);
    EnableToolbar();
    SetStopped();
}

void VorexToolbar::slotAnswerOverdue()
{
    if (m_bToolbarEnabledByWorkflow || !m_bConnected)
        return; // answered meanwhile, or already failed with the connection
    VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::slotAnswerOverdue: no answer from the Vorex Manager within %1 ms")
                          .arg(kAnswerTimeoutMs));
    FailPendingRequest(kNoAnswerInTime);
}

void VorexToolbar::FailPendingRequest(quint32 code)
{
    m_pAnswerTimer->stop();
    // A record start nobody confirmed is withdrawn, as a stop before the
    // answer withdraws it; a stop nobody confirmed leaves the record
    // running as far as the toolbar knows, so that it can be stopped again.
    if (auto all = m_pRecordReplayAllModes.Lock()) {
        const long state = all->GetCurrentKey() & 0xff;
        if (state == VOREX_XML::Admin::eRecordReplayAllModes_Startrecord)
            all->SelectIndex(VOREX_XML::Admin::eRecordReplayAllModes_Stopped, this);
        else if (state == VOREX_XML::Admin::eRecordReplayAllModes_Recordreplaystopped) {
            auto fileSize = m_pFileSize.Lock(); // a size limit makes it a continuous record
            all->SelectIndex(fileSize && fileSize->Get() != 0 ? VOREX_XML::Admin::eRecordReplayAllModes_Recordcontinuous
                                                              : VOREX_XML::Admin::eRecordReplayAllModes_Record,
                             this);
        }
    }
    SetStopOnErrorFromServer(code);
    RecordReplayAllModesValueChanged(false);
}

} // namespace VorexGUI
