#include "replaybarwidget.h"

#include "vcwidgets.h"

#include <QAction>
#include <QGridLayout>
#include <QToolBar>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/replaybarwidget"
#include "vorextrace.h"

namespace VorexGUI {

namespace {
QString ChannelValue(const QString& channelPath, const char* key)
{
    return channelPath + QLatin1Char('/') + QLatin1String(key);
}
} // namespace

ReplayBarWidget::ReplayBarWidget(QWidget* parent, IVorexGUIController* controller, const QString& subSystem)
    : VorexToolbarChannelConnector(parent, nullptr)
    , m_bInitialized(false)
    , m_lastPositionUpdate(0)
    , m_bBookmarksChangedByUser(false)
    , m_pToolBar(nullptr)
    , m_pDisplayFormat(this)
    , m_pEditAction(nullptr)
    , m_bEditAllowed(false)
    , m_pReplayBar(nullptr)
    , m_pCurrentPosition(this)
    , m_pReplayTime(this)
    , m_bPositionMoved(false)
{
    setObjectName(QStringLiteral("VorexReplayBarWidget"));
    SetGUIController(controller, subSystem);

    auto* layout = new QGridLayout(this);

    m_pReplayBar = new VCReplayBar(this, QStringLiteral("VorexReplayIndicator"), false);
    m_pReplayBar->setObjectName(QStringLiteral("VorexToolbarReplayBar"));

    m_pToolBar = new QToolBar(this);

    m_pEditAction = new QAction(this);
    m_pEditAction->setObjectName(QStringLiteral("TBEditRecording"));
    if (QAction* editRecord = controller ? controller->recordAction(IVorexGUIController::eUserAction_EditRecord) : nullptr) {
        m_pEditAction->setIcon(editRecord->icon());
        m_pEditAction->setToolTip(editRecord->toolTip());
        m_pEditAction->setStatusTip(editRecord->statusTip());
        connect(editRecord, SIGNAL(changed()), this, SLOT(sl_editActionChanged()));
        connect(m_pEditAction, SIGNAL(triggered()), editRecord, SLOT(trigger()));
    }
    m_pToolBar->addAction(m_pEditAction);

    m_strDisplayFormatPath = GuiCentral::Instance().CreateUniqueValueSelection();
    m_pDisplayFormat.Set(m_strDisplayFormatPath);
    if (auto format = m_pDisplayFormat.Lock()) {
        format->AddItem(values::SelItemDesc(QStringLiteral("Offset"), 0.0, 0));
        format->AddItem(values::SelItemDesc(QStringLiteral("SGTime"), 1.0, 1));
        format->AddItem(values::SelItemDesc(QStringLiteral("VorexTime"), 2.0, 2));
        format->SelectIndex(1, this);
    }
    m_pReplayBar->SetDisplayFormat_ValuePath(m_strDisplayFormatPath);
    m_pReplayBar->SetReplayValueConverter(this);

    layout->addWidget(m_pReplayBar, 0, 0);
    layout->addWidget(m_pToolBar, 0, 1);
    layout->setContentsMargins(0, 0, 0, 0);

    connect(this, SIGNAL(signalRecordRemoved()), this, SLOT(slotRecordRemoved()));
    connect(this, SIGNAL(signalRecordDataUpdated()), this, SLOT(slotRecordDataUpdated()));
    connect(this, SIGNAL(signalRecordChanging()), this, SLOT(slotSaveBookmarksToVorex()));
    connect(this, SIGNAL(signalRecordChanged()), this, SLOT(slotRecordChanged()));
    connect(this, SIGNAL(signalDeviceChanged()), this, SLOT(sl_editActionChanged()));
}

ReplayBarWidget::~ReplayBarWidget()
{
    SaveBookmarks();
    m_bInitialized = false;
    m_pReplayBar->SetReplayValueConverter(nullptr);
    m_pReplayTime.Reset();
    m_pDisplayFormat.Reset();
    m_pCurrentPosition.Reset();
    delete m_pReplayBar;
    m_pReplayBar = nullptr;
    // The display format exists for this widget only; do not let every bar
    // that was ever built leave a selection behind in the tree.
    values::Tree::Instance()->Release(m_strDisplayFormatPath);
}

bool ReplayBarWidget::SetChannelId_ValuePath(const QString& path)
{
    VorexToolbarChannelConnector::SetChannelId_ValuePath(path);
    m_channelValuePath = path;

    if (m_pCurrentPosition.Set(ChannelValue(path, "CurrentReplayPosition")))
        m_bPositionMoved = false;

    const bool bound = m_pReplayBar->SetRecordingStart_ValuePath(ChannelValue(path, "StartPosition"))
        && m_pReplayBar->SetRecordingStop_ValuePath(ChannelValue(path, "StopPosition"))
        && m_pReplayBar->SetReplayStart_ValuePath(ChannelValue(path, "ReplayBegin"))
        && m_pReplayBar->SetReplayStop_ValuePath(ChannelValue(path, "ReplayEnd"))
        && m_pReplayBar->SetCurrentPosition_ValuePath(ChannelValue(path, "CurrentReplayPosition"));
    if (!bound)
        return false;
    UpdateReplayPosition();
    return true;
}

void ReplayBarWidget::SetReplayTime_ValuePath(const QString& path)
{
    m_pReplayTime.Set(path);
    UpdateReplayPosition();
}

void ReplayBarWidget::Update(Observable* observable, TChangeCode code)
{
    // The observing pointers release themselves when their value turns
    // invalid or is deleted; the connector part handles its own values.
    if (code == VC_VALUECHANGED && observable) {
        if (observable == m_pReplayTime.get()) {
            UpdateReplayPosition();
            return;
        }
        if (observable == m_pCurrentPosition.get()) {
            m_bPositionMoved = true;
            return;
        }
    }
    VorexToolbarChannelConnector::Update(observable, code);
}

// Position/time conversion is not available yet: the bar shows offsets.
double ReplayBarWidget::Convert(double /*value*/, int /*targetFormat*/, int /*sourceFormat*/)
{
    return -1.0;
}

double ReplayBarWidget::Convert(double value, int targetFormat)
{
    return Convert(value, targetFormat, 0);
}

void ReplayBarWidget::SetEditAllowed(bool allowed)
{
    m_bEditAllowed = allowed;
    sl_editActionChanged();
}

double ReplayBarWidget::GetReplayStartPosition(const int& noOfReplays)
{
    const double start = m_pReplayBar->GetReplayStart();
    if (noOfReplays == 0)
        return start;
    const double current = m_pReplayBar->GetCurrentPosition();
    if (start <= current && current < m_pReplayBar->GetReplayStop())
        return current;
    m_pReplayBar->ResetCurrentPositionToReplayStart();
    return start;
}

double ReplayBarWidget::GetReplayStopPosition()
{
    return m_pReplayBar->GetReplayStop();
}

int ReplayBarWidget::GetNoOfReplays()
{
    auto value = values::Tree::Instance()->FindValueAs<values::Value<int>>(ChannelValue(m_channelValuePath, "NoOfReplays"));
    return value ? value->Get() : 1;
}

void ReplayBarWidget::sl_editActionChanged()
{
    QAction* editRecord = m_pController ? m_pController->recordAction(IVorexGUIController::eUserAction_EditRecord) : nullptr;
    m_pEditAction->setEnabled(!m_deviceId.isEmpty() && !m_recordId.isEmpty() && m_bEditAllowed && editRecord
                              && editRecord->isEnabled());
}

void ReplayBarWidget::slotSaveBookmarksToVorex()
{
    slotSaveButtonPressed(true);
}

void ReplayBarWidget::slotSaveButtonPressed(bool)
{
    const bool blocked = m_pReplayBar->blockSignals(true);
    SaveBookmarks();
    m_pReplayBar->blockSignals(blocked);
}

void ReplayBarWidget::slotRecordRemoved()
{
    m_bBookmarksChangedByUser = false;
}

void ReplayBarWidget::ResyncRecord()
{
    if (m_pController && !m_deviceId.isEmpty() && !m_recordId.isEmpty())
        m_pController->sl_resyncRecord(GetCurrentRecordIdentifier());
}

// Record data, bookmark exchange and position tracking follow the record
// once the replay bar's behaviour is in place; until then the bar shows the
// bound values only.
void ReplayBarWidget::slotBookmarksChangedFromVorex() {}

void ReplayBarWidget::slotRecordDataUpdated()
{
    m_bInitialized = true;
}

void ReplayBarWidget::slotRecordChanged()
{
    ResyncRecord();
    slotBookmarksChangedFromVorex();
}

void ReplayBarWidget::slotBookmarksChangedByUser()
{
    m_bBookmarksChangedByUser = true;
    slotSaveBookmarksToVorex();
}

int ReplayBarWidget::SaveBookmarks()
{
    return -1;
}

int ReplayBarWidget::SendBookmarks(const std::vector<BookmarkType>& /*bookmarks*/)
{
    return -1;
}

void ReplayBarWidget::UpdateReplayPosition() {}

} // namespace VorexGUI
