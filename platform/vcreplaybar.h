#pragma once

// Host replay-bar widget library: a position bar for a record with its replay
// range, current position and bookmarks.
//
// Positions are offsets into the record (doubles in the values, 64-bit
// integers in bookmarks). The bar binds five numeric values (record start and
// stop, replay begin and end, current position) and a display-format
// selection; with a converter and a format other than 0 it shows positions as
// times (microseconds of the host clock, shown as hh:mm:ss).
//
// The bar draws the current position as the time elapsed since the record's
// start ("00:01:23 / 00:05:00", the notation of the duration counter) and
// says whether a replay runs, is paused or waits for an answer.
//
// Operator: dragging in the bar moves the current position (written to its
// value) unless a replay runs without position changes allowed; the context
// menu adds, renames and deletes bookmarks and undoes the last deletion;
// dragging a bookmark's marker (the strip below the bar) moves it, the marker
// following the pointer. Hovering a marker shows the bookmark's name.
// Keyboard: Left/Right and Page Up/Down move the position, Home/End go to the
// replay range's ends, Ctrl+Left/Right to the previous/next bookmark, the menu
// key opens the context menu at the position, Ctrl+Z undoes a deletion. Every
// bookmark edit emits signalBookmarksChanged(). Notifications of the bound
// values may arrive on any thread; the bar repaints in its own thread.

#include "platform_export.h"
#include "values.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

namespace vcdetail {
class ValueLink;
}

class VRXPLATFORM_EXPORT BookmarkType
{
public:
    BookmarkType() = default;
    BookmarkType(qint64 position, const QString& text) : m_nPosition(position), m_strText(text) {}

    qint64 GetPosition() const { return m_nPosition; }
    void SetPosition(qint64 position) { m_nPosition = position; }
    QString GetText() const { return m_strText; }
    void SetText(const QString& text) { m_strText = text; }

    // By position, then text.
    bool operator<(const BookmarkType& o) const
    {
        return m_nPosition < o.m_nPosition || (m_nPosition == o.m_nPosition && m_strText < o.m_strText);
    }
    bool operator==(const BookmarkType& o) const { return m_nPosition == o.m_nPosition && m_strText == o.m_strText; }
    bool operator!=(const BookmarkType& o) const { return !(*this == o); }

private:
    qint64 m_nPosition = 0;
    QString m_strText;
};

// Converts positions for display. Formats: 0 offset, 1 and 2 times. A result
// of -1.0 or less means "not convertible".
class VRXPLATFORM_EXPORT IReplayValueConverter
{
public:
    virtual ~IReplayValueConverter() = default;
    virtual double Convert(double value, int targetFormat, int sourceFormat) = 0;
    virtual double Convert(double value, int targetFormat) = 0;
};

class VRXPLATFORM_EXPORT VCReplayBar : public QWidget
{
    Q_OBJECT
public:
    // `showLabels`: draw the start and stop texts at the ends of the bar.
    VCReplayBar(QWidget* parent, const QString& name, bool showLabels);
    ~VCReplayBar() override;

    // Bind a numeric value each; false (and unbound) when there is none.
    bool SetRecordingStart_ValuePath(const QString& path);
    bool SetRecordingStop_ValuePath(const QString& path);
    bool SetReplayStart_ValuePath(const QString& path);
    bool SetReplayStop_ValuePath(const QString& path);
    bool SetCurrentPosition_ValuePath(const QString& path);
    // Binds the display-format selection (key 0 offset, else a time format).
    bool SetDisplayFormat_ValuePath(const QString& path);
    // Not owned; null removes it. Positions are then shown as offsets.
    void SetReplayValueConverter(IReplayValueConverter* converter);

    // `replayOn`: a replay exists; `positionChangeable`: the operator may
    // still move the current position (the replay is stopped or paused).
    void SetReplayOn(bool replayOn, bool positionChangeable);
    bool IsReplayOn() const { return m_bReplayOn; }
    bool IsPositionChangeable() const;

    // Current contents of the bound values (0.0 when unbound).
    double GetRecordingStart() const;
    double GetRecordingStop() const;
    double GetReplayStart() const;
    double GetReplayStop() const;
    double GetCurrentPosition() const;
    // Writes `position` into the current-position value (others are told).
    bool SetCurrentPosition(double position);
    void ResetCurrentPositionToReplayStart();

    // Bookmarks, kept sorted. SetBookmarks replaces them and, when `notify`
    // is true, emits signalBookmarksChanged() (unless signals are blocked).
    std::vector<BookmarkType> GetBookmarks() const { return m_bookmarks; }
    void SetBookmarks(const std::vector<BookmarkType>& bookmarks, bool notify);

    // Operator edits (also reached from the mouse and the context menu);
    // each emits signalBookmarksChanged(). Index into GetBookmarks().
    void AddBookmark(qint64 position, const QString& text);
    bool MoveBookmark(int index, qint64 position);
    bool RenameBookmark(int index, const QString& text);
    bool DeleteBookmark(int index);
    // Puts the last deleted bookmark back; false when there is none to undo
    // (nothing deleted, the bar's bookmarks were replaced since, or the bar
    // shows another record).
    bool UndoDelete();
    bool CanUndoDelete() const;

    // Text shown for a position: with a time format, the time since the
    // record's start (hh:mm:ss); where the record cannot tell times, the
    // share of the record; with the offset format, the offset.
    QString PositionText(double position) const;
    // What the bar shows of the replay ("Replaying", "Paused", "Waiting for
    // an answer", or empty).
    QString StatusText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void signalBookmarksChanged();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    friend class VCReplayBarAccessible;
    void ShowContextMenu(const QPoint& pos, const QPoint& globalPos, qint64 position);
    void MoveCurrentPosition(double position);
    double Range0() const;
    double Range1() const;
    double XToPosition(int x) const;
    int PositionToX(double position) const;
    int BookmarkAt(const QPoint& point) const;
    QRect BarRect() const;
    void SortBookmarks();

    enum { eStart, eStop, eReplayStart, eReplayStop, eCurrent, eFormat, eLinkCount };
    std::unique_ptr<vcdetail::ValueLink> m_links[eLinkCount];
    IReplayValueConverter* m_pConverter = nullptr;
    std::vector<BookmarkType> m_bookmarks;
    bool m_bShowLabels;
    bool m_bReplayOn = false;
    bool m_bManagerUnreachable = false;
    bool m_bPositionChangeable = true;
    bool m_bDraggingPosition = false;
    int m_nDraggedBookmark = -1;
    int m_nDragX = -1; // where the dragged marker is drawn (-1: not moved yet)
    // What tells the record apart: its range and the time of its start.
    std::vector<double> RecordSignature() const;
    BookmarkType m_deleted;
    std::vector<double> m_deletedFrom;
    bool m_bCanUndo = false;
};
