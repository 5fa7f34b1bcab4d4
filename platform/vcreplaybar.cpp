#include "vcreplaybar.h"

#include "vcvaluelink_p.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QInputDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
const int kStripHeight = 7;  // bookmark strip below the bar
const int kMargin = 3;
const int kGrabDistance = 4; // pixels around a bookmark marker that grab it
} // namespace

VCReplayBar::VCReplayBar(QWidget* parent, const QString& name, bool showLabels)
    : QWidget(parent), m_bShowLabels(showLabels)
{
    if (!name.isEmpty())
        setObjectName(name);
    for (auto& link : m_links)
        link.reset(new vcdetail::ValueLink(this, [this]() { update(); }));
    setMouseTracking(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

VCReplayBar::~VCReplayBar()
{
    for (auto& link : m_links)
        link.reset();
}

namespace {
bool bindNumeric(vcdetail::ValueLink& link, const QString& path)
{
    if (!link.Bind(path) || !link.ValueAs<values::IValueNumeric>()) {
        link.Unbind();
        return false;
    }
    return true;
}

double readNumeric(const vcdetail::ValueLink& link)
{
    auto value = link.ValueAs<values::IValueNumeric>();
    return value ? value->GetNumeric() : 0.0;
}
} // namespace

bool VCReplayBar::SetRecordingStart_ValuePath(const QString& path)
{
    const bool ok = bindNumeric(*m_links[eStart], path);
    update();
    return ok;
}

bool VCReplayBar::SetRecordingStop_ValuePath(const QString& path)
{
    const bool ok = bindNumeric(*m_links[eStop], path);
    update();
    return ok;
}

bool VCReplayBar::SetReplayStart_ValuePath(const QString& path)
{
    const bool ok = bindNumeric(*m_links[eReplayStart], path);
    update();
    return ok;
}

bool VCReplayBar::SetReplayStop_ValuePath(const QString& path)
{
    const bool ok = bindNumeric(*m_links[eReplayStop], path);
    update();
    return ok;
}

bool VCReplayBar::SetCurrentPosition_ValuePath(const QString& path)
{
    const bool ok = bindNumeric(*m_links[eCurrent], path);
    update();
    return ok;
}

bool VCReplayBar::SetDisplayFormat_ValuePath(const QString& path)
{
    vcdetail::ValueLink& link = *m_links[eFormat];
    const bool ok = link.Bind(path) && link.ValueAs<values::ValueSelection>();
    if (!ok)
        link.Unbind();
    update();
    return ok;
}

void VCReplayBar::SetReplayValueConverter(IReplayValueConverter* converter)
{
    m_pConverter = converter;
    update();
}

void VCReplayBar::SetReplayOn(bool replayOn, bool positionChangeable)
{
    m_bReplayOn = replayOn;
    m_bPositionChangeable = positionChangeable;
    // A press that moves nothing must say why, not be swallowed.
    if (!IsPositionChangeable()) {
        m_bDraggingPosition = false;
        setCursor(Qt::ForbiddenCursor);
        setToolTip(tr("The position cannot be changed while the replay runs. Pause the replay to move it."));
    } else {
        unsetCursor();
        setToolTip(QString());
    }
    update();
}

bool VCReplayBar::IsPositionChangeable() const
{
    return !m_bReplayOn || m_bPositionChangeable;
}

double VCReplayBar::GetRecordingStart() const { return readNumeric(*m_links[eStart]); }
double VCReplayBar::GetRecordingStop() const { return readNumeric(*m_links[eStop]); }
double VCReplayBar::GetReplayStart() const { return readNumeric(*m_links[eReplayStart]); }
double VCReplayBar::GetReplayStop() const { return readNumeric(*m_links[eReplayStop]); }
double VCReplayBar::GetCurrentPosition() const { return readNumeric(*m_links[eCurrent]); }

bool VCReplayBar::SetCurrentPosition(double position)
{
    vcdetail::ValueLink& link = *m_links[eCurrent];
    auto value = link.ValueAs<values::IValueNumeric>();
    if (!value)
        return false;
    value->SetNumeric(position, link.Writer());
    update();
    return true;
}

void VCReplayBar::ResetCurrentPositionToReplayStart()
{
    SetCurrentPosition(GetReplayStart());
}

void VCReplayBar::SortBookmarks()
{
    std::stable_sort(m_bookmarks.begin(), m_bookmarks.end());
}

void VCReplayBar::SetBookmarks(const std::vector<BookmarkType>& bookmarks, bool notify)
{
    m_bookmarks = bookmarks;
    SortBookmarks();
    m_nDraggedBookmark = -1;
    update();
    if (notify)
        emit signalBookmarksChanged();
}

void VCReplayBar::AddBookmark(qint64 position, const QString& text)
{
    m_bookmarks.emplace_back(position, text);
    SortBookmarks();
    update();
    emit signalBookmarksChanged();
}

bool VCReplayBar::MoveBookmark(int index, qint64 position)
{
    if (index < 0 || index >= static_cast<int>(m_bookmarks.size()))
        return false;
    m_bookmarks[static_cast<size_t>(index)].SetPosition(position);
    SortBookmarks();
    update();
    emit signalBookmarksChanged();
    return true;
}

bool VCReplayBar::RenameBookmark(int index, const QString& text)
{
    if (index < 0 || index >= static_cast<int>(m_bookmarks.size()))
        return false;
    m_bookmarks[static_cast<size_t>(index)].SetText(text);
    SortBookmarks();
    update();
    emit signalBookmarksChanged();
    return true;
}

bool VCReplayBar::DeleteBookmark(int index)
{
    if (index < 0 || index >= static_cast<int>(m_bookmarks.size()))
        return false;
    m_bookmarks.erase(m_bookmarks.begin() + index);
    update();
    emit signalBookmarksChanged();
    return true;
}

QString VCReplayBar::PositionText(double position) const
{
    auto format = m_links[eFormat]->ValueAs<values::ValueSelection>();
    const long key = format ? format->GetCurrentKey() : 0;
    if (key != 0 && m_pConverter) {
        const double time = m_pConverter->Convert(position, static_cast<int>(key), 0);
        if (time > -1.0)
            return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(time / 1000.0), Qt::UTC).toString(QStringLiteral("hh:mm:ss"));
    }
    return QString::number(static_cast<qint64>(std::floor(position)));
}

QSize VCReplayBar::sizeHint() const
{
    return QSize(240, 30);
}

QSize VCReplayBar::minimumSizeHint() const
{
    return QSize(80, 22);
}

// The bar spans the record; without a record range the replay range, and
// without either the unit interval, so that nothing divides by zero.
double VCReplayBar::Range0() const
{
    if (GetRecordingStop() > GetRecordingStart())
        return GetRecordingStart();
    if (GetReplayStop() > GetReplayStart())
        return GetReplayStart();
    return 0.0;
}

double VCReplayBar::Range1() const
{
    if (GetRecordingStop() > GetRecordingStart())
        return GetRecordingStop();
    if (GetReplayStop() > GetReplayStart())
        return GetReplayStop();
    return 1.0;
}

QRect VCReplayBar::BarRect() const
{
    return QRect(kMargin, kMargin, qMax(1, width() - 2 * kMargin), qMax(1, height() - 2 * kMargin - kStripHeight));
}

double VCReplayBar::XToPosition(int x) const
{
    const QRect bar = BarRect();
    const double fraction = qBound(0.0, double(x - bar.left()) / double(qMax(1, bar.width() - 1)), 1.0);
    return Range0() + fraction * (Range1() - Range0());
}

int VCReplayBar::PositionToX(double position) const
{
    const QRect bar = BarRect();
    const double span = Range1() - Range0();
    const double fraction = span > 0.0 ? qBound(0.0, (position - Range0()) / span, 1.0) : 0.0;
    return bar.left() + static_cast<int>(std::lround(fraction * (bar.width() - 1)));
}

int VCReplayBar::BookmarkAt(const QPoint& point) const
{
    const QRect bar = BarRect();
    if (point.y() < bar.bottom() - 2)
        return -1;
    int best = -1;
    int bestDistance = kGrabDistance + 1;
    for (size_t i = 0; i < m_bookmarks.size(); ++i) {
        const int distance = std::abs(PositionToX(static_cast<double>(m_bookmarks[i].GetPosition())) - point.x());
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
        }
    }
    return best;
}

void VCReplayBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect bar = BarRect();
    const QPalette& pal = palette();
    painter.fillRect(bar, isEnabled() ? pal.base() : pal.window());
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawRect(bar.adjusted(0, 0, -1, -1));

    if (m_links[eReplayStart]->Value() && m_links[eReplayStop]->Value()) {
        const int x0 = PositionToX(GetReplayStart());
        const int x1 = PositionToX(GetReplayStop());
        painter.fillRect(QRect(QPoint(qMin(x0, x1), bar.top() + 2), QPoint(qMax(x0, x1), bar.bottom() - 2)),
                         QColor(isEnabled() ? 0x7fc97f : 0xc8c8c8));
    }
    if (m_links[eCurrent]->Value()) {
        const int x = PositionToX(GetCurrentPosition());
        painter.setPen(QPen(QColor(isEnabled() ? 0xd00000 : 0x808080), 2));
        painter.drawLine(x, bar.top(), x, bar.bottom());
    }
    painter.setPen(QColor(0x1060d0));
    painter.setBrush(QColor(0x1060d0));
    for (const BookmarkType& b : m_bookmarks) {
        const int x = PositionToX(static_cast<double>(b.GetPosition()));
        const QPoint triangle[3] = {QPoint(x, bar.bottom() + 1), QPoint(x - 3, bar.bottom() + kStripHeight),
                                    QPoint(x + 3, bar.bottom() + kStripHeight)};
        painter.drawPolygon(triangle, 3);
    }
    if (m_bShowLabels && (m_links[eStart]->Value() || m_links[eStop]->Value())) {
        painter.setPen(pal.color(QPalette::Text));
        QFont f = font();
        f.setPointSizeF(qMax(6.0, f.pointSizeF() * 0.8));
        painter.setFont(f);
        painter.drawText(bar.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, PositionText(GetRecordingStart()));
        painter.drawText(bar.adjusted(3, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter, PositionText(GetRecordingStop()));
    }
}

void VCReplayBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_nDraggedBookmark = BookmarkAt(event->pos());
    if (m_nDraggedBookmark >= 0)
        return;
    if (IsPositionChangeable() && m_links[eCurrent]->Value()) {
        m_bDraggingPosition = true;
        SetCurrentPosition(XToPosition(event->pos().x()));
    }
}

void VCReplayBar::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bDraggingPosition && IsPositionChangeable())
        SetCurrentPosition(XToPosition(event->pos().x()));
}

void VCReplayBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_nDraggedBookmark >= 0 && m_nDraggedBookmark < static_cast<int>(m_bookmarks.size())) {
        const qint64 position = static_cast<qint64>(std::llround(XToPosition(event->pos().x())));
        if (position != m_bookmarks[static_cast<size_t>(m_nDraggedBookmark)].GetPosition())
            MoveBookmark(m_nDraggedBookmark, position);
    }
    m_nDraggedBookmark = -1;
    m_bDraggingPosition = false;
}

void VCReplayBar::contextMenuEvent(QContextMenuEvent* event)
{
    if (!isEnabled())
        return;
    const int index = BookmarkAt(event->pos());
    const qint64 position = static_cast<qint64>(std::llround(XToPosition(event->pos().x())));
    QMenu menu(this);
    QAction* add = menu.addAction(tr("Add bookmark at %1").arg(PositionText(static_cast<double>(position))));
    QAction* rename = index >= 0 ? menu.addAction(tr("Rename bookmark...")) : nullptr;
    QAction* remove = index >= 0 ? menu.addAction(tr("Delete bookmark")) : nullptr;
    QAction* chosen = menu.exec(event->globalPos());
    if (!chosen)
        return;
    if (chosen == add) {
        AddBookmark(position, QString());
    } else if (chosen == remove) {
        DeleteBookmark(index);
    } else if (chosen == rename) {
        if (index >= static_cast<int>(m_bookmarks.size()))
            return; // the list was replaced while the menu was open
        bool ok = false;
        const QString text = QInputDialog::getText(this, tr("Rename bookmark"), tr("Bookmark"), QLineEdit::Normal,
                                                   m_bookmarks[static_cast<size_t>(index)].GetText(), &ok);
        if (ok)
            RenameBookmark(index, text);
    }
}
