#include "vorextoolbar.h"
#include "vorextoolbar_p.h"

#include "replaybarwidget.h"
#include "startup.h"
#include "umm.h"
#include "vcwidgets.h"
#include "vorexgui.h"
#include "vorexpictures.h"
#include "vorexwidgets.h"
#include "runinmainthreadevent.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QToolBar>
#include <QToolButton>

#include <utility>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/vorextoolbar"
#include "vorextrace.h"

namespace VorexGUI {

using namespace ToolbarDetail;

namespace {
const QString kRecordTimeout = QStringLiteral("RecordTimeout");
const QString kDuration = QStringLiteral("Duration");
const QString kAvailableDataRateClass = QStringLiteral("AvailableDataRateClass");
const QString kAvailableDataRateClass2 = QStringLiteral("AvailableDataRateClass2");
const QString kReplayDataRateClass = QStringLiteral("ReplayDataRateClass");
} // namespace

// ---------------------------------------------------------------------------
// Record name, duration and record selection
// ---------------------------------------------------------------------------

void VorexToolbar::SetRecordName(const QString& name)
{
    if (!m_pRecordNameEdit)
        return;
    m_pRecordNameEdit->SetText(name);
    VRX_TRACE_FLOW(QStringLiteral("SetRecordNameT :: >>> %1 <<<").arg(name));
    m_pRecordNameEdit->setToolTip(name.isEmpty() ? tr("File name of selected replay") : name);
}

void VorexToolbar::SetRecordNameFromVt()
{
    if (auto name = values::Tree::Instance()->FindValueAs<values::Value<QString>>(m_strRecordNamePath))
        SetRecordName(name->Get());
}

void VorexToolbar::EnterRecordName()
{
    VRX_TRACE_FLOW(QStringLiteral("+VorexToolbar::EnterRecordName"));
    try {
        // Name field, time-out field, editable name.
        VorexGUI::RecordParameterDialog dialog(0x1 | 0x2 | 0x10, 0, m_pToolBar);
        const QString generatedName = dialog.createRecordName(m_strRecordNamePrefix, QStringLiteral("yyyyMMdd:hhmmss_"));
        if (IsExternalCall()) {
            // Nobody at this toolbar asked for the recording: nobody is asked
            // for its name either.
            if (values::Tree::Instance()->FindValueAs<values::Value<QString>>(m_strRecordNamePath))
                SetRecordName(generatedName);
        } else {
            // A name chosen already (the continuous start asks for its own)
            // stays for the whole recording.
            if (m_strRecordName.isEmpty()) {
                dialog.exec();
                m_strRecordName = dialog.recordName();
                m_nRecordTimeout = dialog.timeout();
            }
            SetRecordName(m_strRecordName);
            // The field only shows the name; the manager stores the record
            // under the channel's value, so the confirmed name goes there.
            VTHelper::Instance().SetValue(m_strRecordNamePath, m_strRecordName, nullptr);
            VTHelper::Instance().SetValue(Join(GetChannelPath(), kRecordTimeout), static_cast<int>(m_nRecordTimeout),
                                          nullptr);
        }
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("!!! Exception caught in VorexToolbar::EnterRecordName !!!"));
    }
    VRX_TRACE_FLOW(QStringLiteral("-VorexToolbar::EnterRecordName"));
}

void VorexToolbar::SetDuration()
{
    // No record, no duration: asking for its data would report a missing
    // record as a fault on every stop.
    if (!HasCurrentRecord())
        return;
    const std::shared_ptr<VOREX_XML::VOREX_RecordData> data = GetCurrentRecordData();
    if (!data || data->GetRecordStatus() != VOREX_XML::VOREX_RecordData::RecordStatusCompleted)
        return;

    quint64 start = data->GetStartTime();
    quint64 stop = data->GetStopTime();
    const QVector<VOREX_XML::IndexEntry> index = data->GetIndexEntry();
    if (index.size() == 2) {
        start = index[0].GetTimestamp();
        stop = index[1].GetTimestamp();
    }
    if (start > stop && stop != 0)
        std::swap(start, stop);

    // Whole seconds only, as the counter shows them. A completed record
    // without a stop time has no known end: it shows no duration rather
    // than a negative one.
    const qint64 second = Halda::DateTime::secToMicrosec(1);
    qint64 duration = 0;
    if (stop >= start)
        duration = (static_cast<qint64>(stop) / second - static_cast<qint64>(start) / second) * second;

    if (auto value = values::Tree::Instance()->FindValueAs<values::ValueNumeric<values::int64>>(
            Join(GetChannelPath(), kDuration)))
        value->Set(duration, this);
}

bool VorexToolbar::IsRecordInProgress()
{
    auto all = m_pRecordReplayAllModes.Lock();
    const long state = all ? all->GetCurrentKey() & 0xff : long(VOREX_XML::Admin::eRecordReplayAllModes_Stopped);
    return state != VOREX_XML::Admin::eRecordReplayAllModes_Stopped && VOREX_XML::Admin::IsValidRecordReplayAllModes(qint8(state));
}

void VorexToolbar::ShowCurrentRecord()
{
    if (IsRecordInProgress())
        return;
    if (!HasCurrentRecord()) {
        slotRemoveCurrentRecord();
        return;
    }
    if (const std::shared_ptr<VOREX_XML::VOREX_RecordData> data = GetCurrentRecordData())
        SetRecordName(data->GetRecordName());
    SetDuration();
}

bool VorexToolbar::CreateOpenFileDialog()
{
    values::Tree* tree = values::Tree::Instance();
    DataRate rate = VOREX_XML::VOREX_RecordData::NameToDataRate(m_strDataRateClass);
    DataRate secondRate = rate;
    if (auto available = tree->FindValueAs<values::Value<QString>>(Join(GetChannelPath(), kAvailableDataRateClass)))
        rate = VOREX_XML::VOREX_RecordData::NameToDataRate(available->Get());
    if (auto available = tree->FindValueAs<values::Value<QString>>(Join(GetChannelPath(), kAvailableDataRateClass2)))
        secondRate = VOREX_XML::VOREX_RecordData::NameToDataRate(available->Get());

    VorexGUI::OpenFileDialog dialog(GetGUIController(), rate, secondRate, 1,
                                    VOREX_XML::VOREX_RecordData::RecordStatusCompleted, this);
    if (dialog.exec() == QDialog::Accepted) {
        if (const std::shared_ptr<VOREX_XML::VOREX_RecordData> data = dialog.selectedRecord()) {
            const vorex::RecordIdentifier id = dialog.selectedRecordIdentifier();
            SetDeviceId(id.deviceID());
            SetRecordId(data->GetRecordID());
            SetRecordName(data->GetRecordName());
            // At once: a replay may start right after this returns (Play
            // without a record), and it reads the rate from this value.
            if (auto rate = values::Tree::Instance()->FindValueAs<values::Value<QString>>(
                    Join(GetChannelPath(), kReplayDataRateClass)))
                rate->Set(data->GetDataRateAsString(), nullptr);
            SetHistoryButton();
            SetDuration();
            return true;
        }
    }

    // Nothing chosen: the dialog may have told the controller about records
    // it offered; give it back what the channel holds.
    vorex::RecordIdentifierList selection;
    const vorex::RecordIdentifier current = GetCurrentRecordIdentifier();
    if (current.valid())
        selection << current;
    if (IVorexGUIController* controller = GetGUIController())
        controller->sl_selectedRecordsChanged(selection);
    return false;
}

} // namespace VorexGUI
