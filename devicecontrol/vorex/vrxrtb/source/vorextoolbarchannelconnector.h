#pragma once

// Ties a widget to one receiver channel of the value tree and to the record
// currently selected on it; reports changes to its subclass as signals.

#include "base.h"
#include "values.h"
#include "vorexclient.h"
#include "vorexgui.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

namespace VorexGUI {

class VorexToolbarChannelConnector : public QWidget, public IObserver
{
    Q_OBJECT

public:
    VorexToolbarChannelConnector(QWidget* parent, IVorexGUIController* controller);
    ~VorexToolbarChannelConnector() override;

    VorexToolbarChannelConnector(const VorexToolbarChannelConnector&) = delete;
    VorexToolbarChannelConnector& operator=(const VorexToolbarChannelConnector&) = delete;

    virtual bool SetChannelId_ValuePath(const QString& path);
    virtual void SetGUIController(IVorexGUIController* controller, const QString& subSystem);
    virtual IVorexGUIController* GetGUIController();
    virtual std::shared_ptr<VOREX_XML::VOREX_RecordData> GetCurrentRecordData();
    virtual VorexCommon::AbstractRecordListModel* GetRecordMap();
    virtual void SetDeviceId(const QString& deviceId);
    virtual void SetRecordId(const QString& recordId);
    virtual void ActivateDevice(const QString& deviceId);
    virtual void ChannelDeleted();

protected:
    virtual void ResetObservers();

public:
    // Public so that an owner can bind a connector it holds (the toolbar
    // binds its replay bar's channel values through it).
    virtual bool AddChannelObservers();

    void Update(Observable* observable, TChangeCode code) override;

    vorex::RecordIdentifier GetCurrentRecordIdentifier() const;
    // The current record is one the manager has (its record list holds it);
    // commands and the controls that act on a record ask this.
    bool HasCurrentRecord();
    QString GetChannelPath() const { return m_channelPath; }
    QString GetRecordId() const { return m_recordId; }
    QString GetDeviceId() const { return m_deviceId; }
    QString GetChannelId() const { return m_channelId; }

signals:
    void signalRecordRemoved();
    void signalRecordDataUpdated();
    void signalChannelUpdated();
    void signalChannelDeleted();
    void signalRecordChanging();
    void signalRecordChanged();
    void signalDeviceChanged();

private slots:
    void sl_recordChanged(vorex::RecordIdentifier recordID);
    void sl_recordDeleted(vorex::RecordIdentifier recordID);
    void sl_allRecordsChanged();
    void sl_recordMapDeleted();

protected:
    void ReportSelectedRecord(bool withCurrentRecord);
    void DisconnectRecordMap();

    // Value-tree notifications may come from any thread, but signals, the
    // controller and the owners' widgets belong to the GUI thread. True in
    // the GUI thread, and when there is no application to post to.
    static bool InGuiThread();

private:
    // The GUI-thread halves of notifications that arrived on another
    // thread; they carry what the notification saw, never the value.
    void DeviceIdValueChanged(const QString& deviceId);
    void RecordIdValueChanged(const QString& recordId);
    void ChannelNodeChanged();
    void ReplayModeKeyChanged(const quint8& key);
    void DeviceIdInvalidated();
    void RecordIdInvalidated();
    void ReplayModeInvalidated();

    // The record the channel's RecordID value names becomes the current one
    // again, or (gone from a list that came from the manager) none, also in
    // the value.
    void AdoptRecordFromValue();
    void DropCurrentRecord(bool alsoFromValue);
    // A deleted channel node is watched for from its nearest ancestor, so
    // that the channel is bound again once the manager has built it anew.
    void WatchForChannelNode();

protected:

    values::ValueObservingPtr<values::ValueSelection> m_replayModeSelection;
    values::ValueObservingPtr<values::Value<QString>> m_recordIdValue;
    values::ValueObservingPtr<values::Value<QString>> m_deviceIdValue;
    bool m_bObserversAdded;
    QString m_subSystem;
    QString m_deviceId;
    QString m_recordId;
    QString m_channelId;
    QString m_channelPath;
    values::NodeObservingPtr m_channelNode;
    values::NodeObservingPtr m_channelAncestor;
    quint8 m_lastReplayModeKey;
    QPointer<VorexCommon::AbstractRecordListModel> m_recordMap;
    // Guarded: the controller belongs to the toolbar, which deletes it while
    // its replay bar (a connector too) still exists.
    QPointer<IVorexGUIController> m_pController;
};

} // namespace VorexGUI
