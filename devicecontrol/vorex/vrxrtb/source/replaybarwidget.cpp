#include "replaybarwidget.h"

#include "vcwidgets.h"

#include <QAction>
#include <QGridLayout>
#include <QThread>
#include <QToolBar>
#include <QVector>

#include <algorithm>
#include <cmath>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/replaybarwidget"
#include "vorextrace.h"

namespace VorexGUI {

namespace {
QString ChannelValue(const QString& channelPath, const char* key)
{
    return channelPath + QLatin1Char('/') + QLatin1String(key);
}

// Times and offsets of a record as the conversions use them: from its
// two-entry index when it has one, else from the record's own values.
struct RecordFrame
{
    double startTime;
    double stopTime;
    double startOffset;
    double stopOffset;
    bool fromIndex;
};

RecordFrame FrameOf(const VOREX_XML::VOREX_RecordData& data)
{
    const QVector<VOREX_XML::IndexEntry> index = data.GetIndexEntry();
    if (index.size() == 2)
        return {double(index[0].GetTimestamp()), double(index[1].GetTimestamp()),
                double(index[0].GetRecordOffset()), double(index[1].GetRecordOffset()), true};
    return {double(data.GetStartTime()), double(data.GetStopTime()), double(data.GetStartPosition()),
            double(data.GetStopPosition()), false};
}

double TimeToOffset(const VOREX_XML::VOREX_RecordData& data, double time)
{
    const RecordFrame f = FrameOf(data);
    // A record without extent (start and stop at the same time) has only
    // one position to offer.
    if (f.stopTime == f.startTime)
        return f.startOffset;
    return f.startOffset + std::fabs((f.stopOffset - f.startOffset) * ((time - f.startTime) / (f.stopTime - f.startTime)));
}

// Only a record with a two-entry index maps offsets back to times. The
// mapping is the inverse of TimeToOffset, so a bookmark keeps its time
// however often it goes to the bar and back, also for an index that does
// not begin at offset 0.
double OffsetToTime(const VOREX_XML::VOREX_RecordData& data, double offset)
{
    const RecordFrame f = FrameOf(data);
    if (!f.fromIndex)
        return -1.0;
    const double t0 = std::min(f.startTime, f.stopTime);
    const double t1 = std::max(f.startTime, f.stopTime);
    const double o0 = std::min(f.startOffset, f.stopOffset);
    const double o1 = std::max(f.startOffset, f.stopOffset);
    if (o1 == o0)
        return -1.0;
    return t0 + std::fabs((offset - o0) * (t1 - t0) / (o1 - o0));
}

// How far the position moves in one second of the record (0 when the record
// cannot tell).
double OffsetsPerSecond(const VOREX_XML::VOREX_RecordData& data)
{
    const RecordFrame f = FrameOf(data);
    if (!(f.stopTime > f.startTime))
        return 0.0;
    return std::fabs(f.stopOffset - f.startOffset) * double(Halda::DateTime::secToMicrosec(1)) / (f.stopTime - f.startTime);
}

// Truncates toward zero; a value outside the 64-bit range (or NaN) cannot
// be a position or a time and becomes -1.
qint64 Truncated(double value)
{
    if (!(value > -9.2e18 && value < 9.2e18))
        return -1;
    return static_cast<qint64>(value);
}

// Sorted by position only, keeping the given order among equal positions.
void SortByPosition(std::vector<BookmarkType>& bookmarks)
{
    std::stable_sort(bookmarks.begin(), bookmarks.end(),
                     [](const BookmarkType& a, const BookmarkType& b) { return a.GetPosition() < b.GetPosition(); });
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
    // Reachable from the keyboard, and named for screen readers (the action
    // shows only its picture).
    if (QWidget* edit = GetEditButton()) {
        edit->setFocusPolicy(Qt::TabFocus);
        edit->setAccessibleName(tr("Edit record"));
    }

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
    connect(this, SIGNAL(signalRecordChanging()), this, SLOT(slotDropUnsavedBookmarks()));
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
    if (code == VC_STATECHANGED && observable) {
        auto* value = dynamic_cast<values::ValueBase*>(observable);
        if (value && value->GetState() == values::eStateInvalid) {
            if (observable == m_pReplayTime.get())
                m_pReplayTime.Reset();
            else if (observable == m_pCurrentPosition.get())
                m_pCurrentPosition.Reset();
            else if (observable == m_pDisplayFormat.get())
                m_pDisplayFormat.Reset();
        }
    } else if (code == VC_VALUECHANGED && observable) {
        if (observable == m_pReplayTime.get()) {
            // The host may write its replay time from any thread; the record
            // list and the bar live in the GUI thread.
            if (QThread::currentThread() == thread())
                UpdateReplayPosition();
            else
                QMetaObject::invokeMethod(this, [this]() { UpdateReplayPosition(); }, Qt::QueuedConnection);
            return;
        }
        if (observable == m_pCurrentPosition.get()) {
            // Our own writes name this widget as writer and never come here.
            m_bPositionMoved = true;
            return;
        }
    }
    VorexToolbarChannelConnector::Update(observable, code);
}

bool ReplayBarWidget::GetReplayModeKey(quint8& key) const
{
    auto mode = values::Tree::Instance()->FindValueAs<values::ValueSelection>(ChannelValue(m_channelValuePath, "ReplayMode"));
    if (!mode)
        return false;
    key = static_cast<quint8>(mode->GetCurrentKey() & 0xff);
    return true;
}

void ReplayBarWidget::UpdateReplayPosition()
{
    auto replayTime = m_pReplayTime.Lock();
    auto currentPosition = m_pCurrentPosition.Lock();
    if (!replayTime || !currentPosition)
        return;

    quint8 key = 0;
    const bool hasMode = GetReplayModeKey(key);
    if (hasMode) {
        const bool follow = key == VOREX_XML::Admin::eReplayMode_Pausing || key == VOREX_XML::Admin::eReplayMode_Running
            || (key == VOREX_XML::Admin::eReplayMode_Paused && !m_bPositionMoved);
        if (!follow)
            return;
    }
    if (!hasMode || key != VOREX_XML::Admin::eReplayMode_Paused) {
        // A running replay changes its time far more often than the bar can
        // show; one write a second is enough.
        static const qint64 interval = Halda::DateTime::secToMicrosec(1);
        if (HaldaOS::Get() < m_lastPositionUpdate + interval)
            return;
    }

    const std::shared_ptr<VOREX_XML::VOREX_RecordData> data = GetCurrentRecordData();
    if (!data)
        return;
    const double position = TimeToOffset(*data, replayTime->GetNumeric());
    if (position > -1.0) {
        currentPosition->SetNumeric(position, this);
        m_lastPositionUpdate = HaldaOS::Get();
        m_bPositionMoved = false;
    }
}

double ReplayBarWidget::Convert(double value, int targetFormat, int sourceFormat)
{
    // The bar asks whenever it draws; a channel without a record is no fault.
    if (m_recordId.isEmpty())
        return -1.0;
    const std::shared_ptr<VOREX_XML::VOREX_RecordData> data = GetCurrentRecordData();
    if (!data) {
        VRX_TRACE_WARNING(QStringLiteral("ReplayBarWidget::convert record id invalid or has been deleted"));
        return -1.0;
    }
    switch (sourceFormat) {
    case 0:
        return targetFormat == 1 ? OffsetToTime(*data, value) : -1.0;
    case 1:
    case 2:
        return targetFormat == 0 ? TimeToOffset(*data, value) : value;
    default:
        return -1.0;
    }
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
    // A replay that ran to its end leaves the position up to a second short
    // of it (the position follows once a second): that is the end too.
    const double stop = m_pReplayBar->GetReplayStop();
    const std::shared_ptr<VOREX_XML::VOREX_RecordData> data = HasCurrentRecord() ? GetCurrentRecordData() : nullptr;
    if (start <= current && current < stop - (data ? OffsetsPerSecond(*data) : 0.0))
        return current;
    m_pReplayBar->ResetCurrentPositionToReplayStart();
    return start;
}

QWidget* ReplayBarWidget::GetEditButton() const
{
    return m_pToolBar->widgetForAction(m_pEditAction);
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
    m_pEditAction->setEnabled(HasCurrentRecord() && m_bEditAllowed && editRecord && editRecord->isEnabled());
}

// ---------------------------------------------------------------------------
// Bookmarks
// ---------------------------------------------------------------------------

std::vector<BookmarkType> ReplayBarWidget::BookmarksToTimestamps(const std::vector<BookmarkType>& bookmarks)
{
    std::vector<BookmarkType> result;
    result.reserve(bookmarks.size());
    for (const BookmarkType& bookmark : bookmarks) {
        const double time = Convert(double(bookmark.GetPosition()), 1);
        // -1 (or less): the record cannot tell the time of this position.
        result.emplace_back(time < 0.0 ? -1 : Truncated(time), bookmark.GetText());
    }
    return result;
}

std::vector<BookmarkType> ReplayBarWidget::BookmarksToPositions(const std::vector<BookmarkType>& bookmarks)
{
    std::vector<BookmarkType> result;
    result.reserve(bookmarks.size());
    for (const BookmarkType& bookmark : bookmarks)
        result.emplace_back(Truncated(Convert(double(bookmark.GetPosition()), 0, 1) + 0.5), bookmark.GetText());
    return result;
}

void ReplayBarWidget::slotBookmarksChangedFromVorex()
{
    const bool blocked = m_pReplayBar->blockSignals(true);
    VRX_TRACE_FLOW(QStringLiteral("ReplayBarWidget::slotBookmarksChangedFromVorex"));

    const std::shared_ptr<VOREX_XML::VOREX_RecordData> data = HasCurrentRecord() ? GetCurrentRecordData() : nullptr;
    if (!data) {
        VRX_TRACE_WARNING(QStringLiteral(
            "ReplayBarWidget::slotBookmarksChangedFromVorex() : no current record data available for this record."));
        // Without a record the bar shows no bookmarks; those of the record
        // before would be taken for this one's.
        m_pReplayBar->SetBookmarks({}, true);
        m_lastBookmarks.clear();
        m_bBookmarksChangedByUser = false;
        m_pReplayBar->blockSignals(blocked);
        return;
    }

    const QString newText = tr("new");
    std::vector<BookmarkType> server;
    for (const VOREX_XML::BookmarkEntry& entry : data->GetBookmarkEntry()) {
        const QString text = entry.GetBookmark() == newText ? QString() : entry.GetBookmark();
        server.emplace_back(static_cast<qint64>(entry.GetTimestamp()), text);
    }
    std::sort(server.begin(), server.end());

    std::vector<BookmarkType> user;
    if (m_bBookmarksChangedByUser) {
        const std::vector<BookmarkType> edited = BookmarksToTimestamps(m_pReplayBar->GetBookmarks());
        // Edits whose time the record cannot tell cannot be placed among
        // the server's bookmarks; they are dropped like any unsaved edit
        // that a reload replaces.
        for (const BookmarkType& bookmark : edited) {
            if (bookmark.GetPosition() >= 0)
                user.push_back(bookmark);
            else
                VRX_TRACE_WARNING(QStringLiteral("ReplayBarWidget::slotBookmarksChangedFromVorex: bookmark \"%1\" has "
                                                 "no record time and is dropped")
                                      .arg(bookmark.GetText()));
        }
        std::sort(user.begin(), user.end());
    }

    if (server.empty() || user.empty()) {
        m_pReplayBar->SetBookmarks(BookmarksToPositions(server), true);
        m_bBookmarksChangedByUser = false;
    } else {
        // Server entries first among equal times, so that they win below.
        std::vector<BookmarkType> merged;
        merged.reserve(server.size() + user.size());
        auto s = server.begin();
        auto u = user.begin();
        while (s != server.end() || u != user.end()) {
            if (u == user.end() || (s != server.end() && s->GetPosition() <= u->GetPosition()))
                merged.push_back(*s++);
            else
                merged.push_back(*u++);
        }
        SortByPosition(merged);
        std::vector<BookmarkType> unique;
        for (const BookmarkType& bookmark : merged) {
            if (unique.empty() || unique.back().GetPosition() != bookmark.GetPosition())
                unique.push_back(bookmark);
        }
        m_pReplayBar->SetBookmarks(BookmarksToPositions(unique), true);
        SendBookmarks(unique);
    }

    m_lastBookmarks = m_pReplayBar->GetBookmarks();
    m_pReplayBar->blockSignals(blocked);
}

void ReplayBarWidget::slotBookmarksChangedByUser()
{
    m_bBookmarksChangedByUser = true;
    slotSaveBookmarksToVorex();
}

void ReplayBarWidget::slotSaveBookmarksToVorex()
{
    slotSaveButtonPressed(true);
}

void ReplayBarWidget::slotDropUnsavedBookmarks()
{
    if (!m_bBookmarksChangedByUser)
        return;
    m_bBookmarksChangedByUser = false;
    VRX_TRACE_WARNING(QStringLiteral("ReplayBarWidget: unsaved bookmarks of record %1 dropped").arg(m_recordId));
    const std::shared_ptr<VOREX_XML::VOREX_RecordData> data = HasCurrentRecord() ? GetCurrentRecordData() : nullptr;
    ErrorHandler::Instance()->Message(tr("The bookmarks of record %1 could not be saved.")
                                          .arg(data ? data->GetRecordName() : m_recordId),
                                      true, -1, true);
}

void ReplayBarWidget::slotSaveButtonPressed(bool)
{
    const bool blocked = m_pReplayBar->blockSignals(true);
    SaveBookmarks();
    m_pReplayBar->blockSignals(blocked);
}

int ReplayBarWidget::SaveBookmarks()
{
    if (!m_bBookmarksChangedByUser)
        return -1;
    const std::vector<BookmarkType> bookmarks = m_pReplayBar->GetBookmarks();
    if (bookmarks == m_lastBookmarks)
        return -1;
    const std::vector<BookmarkType> timestamps = BookmarksToTimestamps(bookmarks);
    for (const BookmarkType& bookmark : timestamps) {
        if (bookmark.GetPosition() < 0) {
            // Storing only the convertible part would delete the others on
            // the server; the edits stay on the bar, unsaved.
            VRX_TRACE_WARNING(QStringLiteral("ReplayBarWidget::SaveBookmarks: the record cannot tell the time of "
                                             "bookmark \"%1\"; the bookmarks are not stored")
                                  .arg(bookmark.GetText()));
            return -1;
        }
    }
    m_lastBookmarks = bookmarks;
    return SendBookmarks(timestamps);
}

int ReplayBarWidget::SendBookmarks(const std::vector<BookmarkType>& bookmarks)
{
    if (!m_bBookmarksChangedByUser)
        return -1;
    const vorex::RecordIdentifier record = GetCurrentRecordIdentifier();
    if (!HasCurrentRecord() || !m_pController)
        return -1;
    const QString newText = tr("new");
    QVector<VOREX_XML::BookmarkEntry> entries;
    for (const BookmarkType& bookmark : bookmarks) {
        if (bookmark.GetPosition() < 0)
            continue; // never a time
        VOREX_XML::BookmarkEntry entry;
        entry.SetTimestamp(static_cast<quint64>(bookmark.GetPosition()));
        entry.SetBookmark(bookmark.GetText().isEmpty() ? newText : bookmark.GetText());
        entries.push_back(entry);
    }
    // Cleared first: the manager may answer with the updated record at once,
    // and that reload must not take these bookmarks for unsaved edits.
    m_bBookmarksChangedByUser = false;
    m_pController->sl_setBookmarkEntries(record, entries);
    return 0;
}

// ---------------------------------------------------------------------------
// Record slots
// ---------------------------------------------------------------------------

void ReplayBarWidget::slotRecordDataUpdated()
{
    if (!m_bInitialized) {
        // Set before the resync: the manager answers it with another record
        // update, which arrives here while this call still runs.
        m_bInitialized = true;
        m_bBookmarksChangedByUser = false;
        connect(m_pReplayBar, SIGNAL(signalBookmarksChanged()), this, SLOT(slotBookmarksChangedByUser()),
                Qt::UniqueConnection);
        ResyncRecord();
    }

    if (!GetCurrentRecordData())
        VRX_TRACE_WARNING(QStringLiteral(
            "ReplayBarWidget::slotRecordDataUpdated() : no current record data available for this record."));

    quint8 key = 0;
    if (GetReplayModeKey(key)) {
        m_pReplayBar->SetReplayOn(key != VOREX_XML::Admin::eReplayMode_Stopped,
                                  key == VOREX_XML::Admin::eReplayMode_Stopped
                                      || key == VOREX_XML::Admin::eReplayMode_Paused);
        m_lastPositionUpdate = 0;
        if (key == VOREX_XML::Admin::eReplayMode_Pausing
            || (key == VOREX_XML::Admin::eReplayMode_Paused && !m_bPositionMoved))
            UpdateReplayPosition();
    }

    slotBookmarksChangedFromVorex();
    m_bInitialized = true;
}

void ReplayBarWidget::slotRecordChanged()
{
    ResyncRecord();
    slotBookmarksChangedFromVorex();
    sl_editActionChanged();
}

void ReplayBarWidget::slotRecordRemoved()
{
    m_bBookmarksChangedByUser = false;
    slotBookmarksChangedFromVorex();
    sl_editActionChanged();
}

void ReplayBarWidget::ResyncRecord()
{
    if (m_pController && !m_deviceId.isEmpty() && !m_recordId.isEmpty())
        m_pController->sl_resyncRecord(GetCurrentRecordIdentifier());
}

} // namespace VorexGUI
