#include "vcreplaybar.h"

#include "vcvaluelink_p.h"
#include "vcwidgets.h"
#include "vorexclient.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {
const int kStripHeight = 7;  // bookmark strip below the bar
const int kMargin = 3;
const int kGrabDistance = 4; // pixels around a bookmark marker that grab it

// hh:mm:ss, the duration counter's notation.
QString elapsedText(double microseconds)
{
    const qint64 seconds = static_cast<qint64>(qMax(0.0, microseconds) / 1e6);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}
} // namespace

// A slider for assistive tools: the value is the position's time.
class VCReplayBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit VCReplayBarAccessible(VCReplayBar* bar) : QAccessibleWidget(bar, QAccessible::Slider) {}
    static QAccessibleInterface* Factory(const QString& className, QObject* object)
    {
        if (className == QLatin1String("VCReplayBar") && object && object->isWidgetType())
            return new VCReplayBarAccessible(static_cast<VCReplayBar*>(object));
        return nullptr;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return Bar()->PositionText(Bar()->GetCurrentPosition());
        return QAccessibleWidget::text(type);
    }
    QVariant currentValue() const override { return Bar()->GetCurrentPosition(); }
    void setCurrentValue(const QVariant& value) override { Bar()->MoveCurrentPosition(value.toDouble()); }
    QVariant maximumValue() const override { return Bar()->Range1(); }
    QVariant minimumValue() const override { return Bar()->Range0(); }
    QVariant minimumStepSize() const override { return (Bar()->Range1() - Bar()->Range0()) / 100.0; }

private:
    VCReplayBar* Bar() const { return static_cast<VCReplayBar*>(widget()); }
};

VCReplayBar::VCReplayBar(QWidget* parent, const QString& name, bool showLabels)
    : QWidget(parent), m_bShowLabels(showLabels)
{
    if (!name.isEmpty())
        setObjectName(name);
    for (auto& link : m_links)
        link.reset(new vcdetail::ValueLink(this, [this]() { update(); }));
    setMouseTracking(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Before anything makes assistive tools look at the bar.
    static const bool factoryInstalled = (QAccessible::installFactory(&VCReplayBarAccessible::Factory), true);
    Q_UNUSED(factoryInstalled);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(tr("Replay position"));
    // A replay the bar still shows as running may have ended on the far
    // side while the manager cannot be reached: say so instead.
    const auto backend = VorexCommon::RecorderManagerLink::Installed();
    m_bManagerUnreachable = backend && !backend->IsConnected();
    connect(VorexCommon::RecorderManagerEvents::Instance(), &VorexCommon::RecorderManagerEvents::si_connectionChanged, this,
            [this](bool connected) {
                m_bManagerUnreachable = !connected;
                update();
            });
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
    const std::vector<BookmarkType> before = m_bookmarks;
    m_bookmarks = bookmarks;
    SortBookmarks();
    // The stored list coming back after an edit keeps the deletion undoable;
    // any other list (another record) does not.
    if (m_bookmarks != before)
        m_bCanUndo = false;
    m_nDraggedBookmark = -1;
    m_nDragX = -1;
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
    m_deleted = m_bookmarks[static_cast<size_t>(index)];
    m_deletedFrom = RecordSignature();
    m_bCanUndo = true;
    m_bookmarks.erase(m_bookmarks.begin() + index);
    update();
    emit signalBookmarksChanged();
    return true;
}

std::vector<double> VCReplayBar::RecordSignature() const
{
    auto format = m_links[eFormat]->ValueAs<values::ValueSelection>();
    const long key = format ? format->GetCurrentKey() : 0;
    const double start = key != 0 && m_pConverter ? m_pConverter->Convert(Range0(), static_cast<int>(key), 0) : -1.0;
    return {Range0(), Range1(), start};
}

// Two records without bookmarks show the same (empty) list; the deleted
// bookmark must not come back on the other one.
bool VCReplayBar::CanUndoDelete() const
{
    return m_bCanUndo && m_deletedFrom == RecordSignature();
}

bool VCReplayBar::UndoDelete()
{
    if (!CanUndoDelete())
        return false;
    m_bCanUndo = false;
    AddBookmark(m_deleted.GetPosition(), m_deleted.GetText());
    return true;
}

QString VCReplayBar::PositionText(double position) const
{
    auto format = m_links[eFormat]->ValueAs<values::ValueSelection>();
    const long key = format ? format->GetCurrentKey() : 0;
    if (key == 0)
        return QString::number(static_cast<qint64>(std::floor(position)));
    if (m_pConverter) {
        const double time = m_pConverter->Convert(position, static_cast<int>(key), 0);
        const double start = m_pConverter->Convert(Range0(), static_cast<int>(key), 0);
        if (time > -1.0 && start > -1.0)
            return elapsedText(time - start);
    }
    const double span = Range1() - Range0();
    const double share = span > 0.0 ? qBound(0.0, (position - Range0()) / span, 1.0) : 0.0;
    return tr("%1 %").arg(std::floor(share * 100.0), 0, 'f', 0);
}

QString VCReplayBar::StatusText() const
{
    if (VCLook::IsWaiting(this))
        return tr("Waiting for an answer");
    if (!m_bReplayOn)
        return QString();
    if (m_bManagerUnreachable)
        return tr("No connection");
    return IsPositionChangeable() ? tr("Paused") : tr("Replaying");
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
    const bool dark = VCLook::IsDark(pal);
    painter.fillRect(bar, isEnabled() ? pal.base() : pal.window());
    painter.setPen(pal.color(QPalette::Mid));
    painter.drawRect(bar.adjusted(0, 0, -1, -1));

    if (m_links[eReplayStart]->Value() && m_links[eReplayStop]->Value()) {
        const int x0 = PositionToX(GetReplayStart());
        const int x1 = PositionToX(GetReplayStop());
        const QColor range = isEnabled() ? QColor(dark ? 0x3f8f4a : 0x7fc97f) : QColor(dark ? 0x505050 : 0xc8c8c8);
        painter.fillRect(QRect(QPoint(qMin(x0, x1), bar.top() + 2), QPoint(qMax(x0, x1), bar.bottom() - 2)), range);
    }
    if (m_links[eCurrent]->Value()) {
        const int x = PositionToX(GetCurrentPosition());
        painter.setPen(QPen(QColor(isEnabled() ? (dark ? 0xff6060 : 0xd00000) : 0x808080), 2));
        painter.drawLine(x, bar.top(), x, bar.bottom());
    }
    const QColor marker(dark ? 0x6aa8ff : 0x1060d0);
    for (size_t i = 0; i < m_bookmarks.size(); ++i) {
        const bool dragged = static_cast<int>(i) == m_nDraggedBookmark && m_nDragX >= 0;
        int x = PositionToX(static_cast<double>(m_bookmarks[i].GetPosition()));
        if (dragged) {
            // Where it was stays faintly visible; the marker follows the pointer.
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(marker.red(), marker.green(), marker.blue(), 80));
            const QPoint ghost[3] = {QPoint(x, bar.bottom() + 1), QPoint(x - 3, bar.bottom() + kStripHeight),
                                     QPoint(x + 3, bar.bottom() + kStripHeight)};
            painter.drawPolygon(ghost, 3);
            x = m_nDragX;
            painter.setPen(QPen(marker, 1, Qt::DashLine));
            painter.drawLine(x, bar.top(), x, bar.bottom());
        }
        painter.setPen(marker);
        painter.setBrush(marker);
        const QPoint triangle[3] = {QPoint(x, bar.bottom() + 1), QPoint(x - 3, bar.bottom() + kStripHeight),
                                    QPoint(x + 3, bar.bottom() + kStripHeight)};
        painter.drawPolygon(triangle, 3);
    }
    QFont small = font();
    small.setPointSizeF(qMax(6.0, small.pointSizeF() * 0.8));
    painter.setFont(small);
    const bool hasRecord = GetRecordingStop() > GetRecordingStart();
    if (m_bShowLabels && (m_links[eStart]->Value() || m_links[eStop]->Value())) {
        painter.setPen(pal.color(QPalette::Text));
        painter.drawText(bar.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, PositionText(GetRecordingStart()));
        painter.drawText(bar.adjusted(3, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter, PositionText(GetRecordingStop()));
    } else {
        // The position (or the dragged bookmark's) and the replay's state,
        // each on a plate of the base colour so that it reads over the range.
        const QFontMetrics metrics(small);
        auto plate = [&](const QString& text, Qt::Alignment side, const QColor& color) {
            const int w = metrics.horizontalAdvance(text) + 6;
            QRect r(0, bar.top() + 1, w, bar.height() - 2);
            r.moveLeft(side == Qt::AlignLeft ? bar.left() + 2 : bar.right() - 2 - w);
            QColor back = pal.color(QPalette::Base);
            back.setAlpha(210);
            painter.fillRect(r, back);
            painter.setPen(color);
            painter.drawText(r, Qt::AlignCenter, text);
            return w;
        };
        int used = 0;
        if (hasRecord && m_links[eCurrent]->Value()) {
            const double shown = m_nDraggedBookmark >= 0 && m_nDragX >= 0 ? XToPosition(m_nDragX) : GetCurrentPosition();
            const QString text = tr("%1 / %2").arg(PositionText(shown), PositionText(Range1()));
            if (metrics.horizontalAdvance(text) + 10 < bar.width())
                used = plate(text, Qt::AlignRight, pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
        }
        const QString status = StatusText();
        if (!status.isEmpty() && used + metrics.horizontalAdvance(status) + 16 < bar.width()) {
            const VCLook::Activity activity = VCLook::IsWaiting(this) || m_bManagerUnreachable ? VCLook::eNone
                : IsPositionChangeable()                            ? VCLook::ePaused
                                                                    : VCLook::eReplaying;
            const QColor color = activity == VCLook::eNone ? pal.color(QPalette::Active, QPalette::Text)
                                                           : VCLook::ActivityColor(activity, pal);
            plate(status, Qt::AlignLeft, color);
        }
    }
    if (hasFocus())
        VCLook::DrawFocusFrame(painter, rect(), pal);
}

bool VCReplayBar::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const int index = BookmarkAt(help->pos());
    QString text;
    QRect area;
    if (index >= 0) {
        const BookmarkType& bookmark = m_bookmarks[static_cast<size_t>(index)];
        const QString at = PositionText(static_cast<double>(bookmark.GetPosition()));
        text = bookmark.GetText().isEmpty() ? tr("Bookmark at %1").arg(at) : tr("Bookmark \"%1\" at %2").arg(bookmark.GetText(), at);
        const int x = PositionToX(static_cast<double>(bookmark.GetPosition()));
        area = QRect(x - kGrabDistance, BarRect().bottom() - 2, 2 * kGrabDistance + 1, kStripHeight + 3);
    } else if (!toolTip().isEmpty()) {
        text = toolTip();
    } else if (GetRecordingStop() > GetRecordingStart() && m_links[eCurrent]->Value()) {
        text = tr("Position %1 of %2").arg(PositionText(GetCurrentPosition()), PositionText(Range1()));
    }
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), text, this, area);
    return true;
}

void VCReplayBar::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    VCLook::WatchAncestorCursors(this);
}

void VCReplayBar::MoveCurrentPosition(double position)
{
    if (!m_links[eCurrent]->Value())
        return;
    if (!IsPositionChangeable()) {
        QToolTip::showText(mapToGlobal(QPoint(width() / 2, height())), toolTip(), this);
        return;
    }
    SetCurrentPosition(qBound(Range0(), position, Range1()));
}

void VCReplayBar::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Undo)) {
        UndoDelete();
        return;
    }
    const double current = GetCurrentPosition();
    const double step = (Range1() - Range0()) / 100.0;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const bool forward = event->key() == Qt::Key_Right;
        if (!ctrl) {
            MoveCurrentPosition(current + (forward ? step : -step));
            break;
        }
        // To the neighbouring bookmark; the context menu then acts on it.
        double target = current;
        for (const BookmarkType& b : m_bookmarks) {
            const double p = static_cast<double>(b.GetPosition());
            if (forward ? p > current + 0.5 && (target == current || p < target)
                        : p < current - 0.5 && (target == current || p > target))
                target = p;
        }
        if (target != current)
            MoveCurrentPosition(target);
        break;
    }
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        MoveCurrentPosition(current + (event->key() == Qt::Key_PageUp ? 10.0 : -10.0) * step);
        break;
    case Qt::Key_Home:
        MoveCurrentPosition(m_links[eReplayStart]->Value() ? GetReplayStart() : Range0());
        break;
    case Qt::Key_End:
        MoveCurrentPosition(m_links[eReplayStop]->Value() ? GetReplayStop() : Range1());
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
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
    if (m_nDraggedBookmark >= 0) {
        const QRect bar = BarRect();
        m_nDragX = qBound(bar.left(), event->pos().x(), bar.left() + bar.width() - 1);
        update();
        return;
    }
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
    m_nDragX = -1;
    m_bDraggingPosition = false;
    update();
}

void VCReplayBar::contextMenuEvent(QContextMenuEvent* event)
{
    if (!isEnabled())
        return;
    QPoint pos = event->pos();
    double position = XToPosition(pos.x());
    // From the keyboard the menu belongs to the position (and a bookmark
    // there), not to wherever the pointer rests.
    if (event->reason() == QContextMenuEvent::Keyboard && m_links[eCurrent]->Value()) {
        position = GetCurrentPosition();
        pos = QPoint(PositionToX(position), BarRect().bottom());
    }
    ShowContextMenu(pos, mapToGlobal(pos), static_cast<qint64>(std::llround(position)));
}

void VCReplayBar::ShowContextMenu(const QPoint& pos, const QPoint& globalPos, qint64 position)
{
    const int index = BookmarkAt(pos);
    QMenu menu(this);
    QAction* add = menu.addAction(tr("Add bookmark at %1").arg(PositionText(static_cast<double>(position))));
    QAction* rename = index >= 0 ? menu.addAction(tr("Rename bookmark...")) : nullptr;
    QAction* remove = index >= 0 ? menu.addAction(tr("Delete bookmark")) : nullptr;
    QAction* undo = nullptr;
    if (CanUndoDelete()) {
        const QString name = m_deleted.GetText().isEmpty() ? PositionText(static_cast<double>(m_deleted.GetPosition()))
                                                            : m_deleted.GetText();
        undo = menu.addAction(tr("Undo delete of bookmark \"%1\"").arg(name));
        undo->setShortcut(QKeySequence::Undo);
    }
    QAction* chosen = menu.exec(globalPos);
    if (!chosen)
        return;
    if (chosen == add) {
        AddBookmark(position, QString());
    } else if (chosen == remove) {
        DeleteBookmark(index);
    } else if (chosen == undo) {
        UndoDelete();
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
