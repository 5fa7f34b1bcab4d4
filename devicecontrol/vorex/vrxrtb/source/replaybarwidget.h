#pragma once

// The toolbar's replay position display: a VCReplayBar with a small tool bar
// holding the record edit button. It follows the same channel as the toolbar
// through its own connector part.

#include "vcreplaybar.h"
#include "vorextoolbarchannelconnector.h"

#include <QString>

#include <atomic>
#include <vector>

class QAction;
class QToolBar;

namespace VorexGUI {

class ReplayBarWidget : public VorexToolbarChannelConnector, public IReplayValueConverter
{
    Q_OBJECT

public:
    ReplayBarWidget(QWidget* parent, IVorexGUIController* controller, const QString& subSystem);
    ~ReplayBarWidget() override;

    bool SetChannelId_ValuePath(const QString& path) override;
    void Update(Observable* observable, TChangeCode code) override;
    double Convert(double value, int targetFormat, int sourceFormat) override;
    double Convert(double value, int targetFormat) override;

    virtual void SetReplayTime_ValuePath(const QString& path);

public slots:
    virtual void slotSaveBookmarksToVorex();

protected slots:
    virtual void slotBookmarksChangedFromVorex();
    virtual void slotRecordRemoved();
    virtual void slotRecordDataUpdated();
    virtual void slotRecordChanged();
    virtual void slotBookmarksChangedByUser();
    virtual void slotSaveButtonPressed(bool);
    void sl_editActionChanged();
    // After the save on leaving a record: what could not be stored there is
    // dropped, never carried to the next record.
    void slotDropUnsavedBookmarks();

public:
    void SetEditAllowed(bool allowed);
    double GetReplayStartPosition(const int& noOfReplays);
    double GetReplayStopPosition();
    int GetNoOfReplays();

    // The display-format selection's path (registered for this widget).
    QString GetDisplayFormat_ValuePath() const { return m_strDisplayFormatPath; }
    VCReplayBar* GetReplayBar() const { return m_pReplayBar; }
    QWidget* GetEditButton() const;

private:
    int SaveBookmarks();
    int SendBookmarks(const std::vector<BookmarkType>& bookmarks);
    void UpdateReplayPosition();
    void ResyncRecord();
    bool GetReplayModeKey(quint8& key) const;
    std::vector<BookmarkType> BookmarksToTimestamps(const std::vector<BookmarkType>& bookmarks);
    std::vector<BookmarkType> BookmarksToPositions(const std::vector<BookmarkType>& bookmarks);

    bool m_bInitialized;
    qint64 m_lastPositionUpdate;
    bool m_bBookmarksChangedByUser;
    QToolBar* m_pToolBar;
    QString m_channelValuePath;
    values::ValueObservingPtr<values::ValueSelection> m_pDisplayFormat;
    QAction* m_pEditAction;
    bool m_bEditAllowed;
    VCReplayBar* m_pReplayBar;
    values::ValueObservingPtr<values::IValueNumeric> m_pCurrentPosition;
    values::ValueObservingPtr<values::IValueNumeric> m_pReplayTime;
    std::vector<BookmarkType> m_lastBookmarks;

public:
    // Read by the toolbar before it continues a paused replay. Set from
    // whichever thread reports the position change.
    std::atomic<bool> m_bPositionMoved;

private:
    QString m_strDisplayFormatPath;
};

} // namespace VorexGUI
