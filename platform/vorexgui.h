#pragma once

// Recorder GUI library: the GUI controller with its record list model and
// record actions, and the record dialogs.
//
// Modal dialogs: every dialog's exec() first asks its answer hook (a static
// function per dialog type). When a hook is installed it decides the result
// and fills the dialog's choices through the dialog's setters; nothing is
// shown and nothing waits. Without a hook on the "offscreen" platform exec()
// warns and rejects at once, so a forgotten hook fails a test instead of
// hanging it. Otherwise the dialog runs modally as usual.

#include "platform_export.h"
#include "vorexclient.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QList>
#include <QPointer>
#include <QTime>
#include <QVector>

#include <functional>
#include <memory>

class QAction;
class QHeaderView;
class QLineEdit;
class QDoubleSpinBox;
class QComboBox;
class QTimeEdit;
class QTreeWidget;
class QPlainTextEdit;

namespace VorexCommon {

// The records of one device of the recorder manager (the active device of its
// controller), kept up to date from the backend. Lives in the GUI thread.
// Columns: name, record ID, status, data rate, start time, size, length.
class VRXPLATFORM_EXPORT AbstractRecordListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit AbstractRecordListModel(QObject* parent = nullptr);
    ~AbstractRecordListModel() override;

    // Follows the records of `deviceId` (empty: none). Emits
    // si_allRecordsChanged() when the device changes.
    void SetDevice(const QString& subSystem, const QString& deviceId);
    QString GetDeviceID() const { return m_strDeviceId; }
    QString GetSubSystem() const { return m_strSubSystem; }

    // The identifier's device and record must match; its subsystem only
    // when both are non-empty.
    virtual bool HasRecord(const vorex::RecordIdentifier& id) const;
    // A copy of the record's data, or an empty pointer.
    virtual std::shared_ptr<VOREX_XML::VOREX_RecordData> GetRecordData(const vorex::RecordIdentifier& id) const;
    vorex::RecordIdentifier IdentifierAt(int row) const;
    int RowOf(const vorex::RecordIdentifier& id) const;

    // Reloads everything from the backend (emits si_allRecordsChanged()).
    void Reload();
    // The list is the manager's (loaded while connected, for a device): a
    // record missing from it is gone, not merely out of reach.
    bool IsLoaded() const { return m_bLoaded; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // A record was added (`isNew` true) or changed.
    void si_recordChanged(vorex::RecordIdentifier recordID, bool isNew);
    void si_recordDeleted(vorex::RecordIdentifier recordID);
    void si_allRecordsChanged();

private slots:
    void sl_backendRecordChanged(const QString& deviceId, const QString& recordId, bool isNew);
    void sl_backendRecordDeleted(const QString& deviceId, const QString& recordId);
    void sl_backendAllRecordsChanged(const QString& deviceId);
    void sl_backendConnectionChanged(bool connected);

private:
    QString m_strSubSystem;
    QString m_strDeviceId;
    std::vector<std::shared_ptr<VOREX_XML::VOREX_RecordData>> m_records;
    bool m_bLoaded = false;
};

} // namespace VorexCommon

namespace VorexGUI {

// A device the GUI works on: (device ID, subsystem).
struct VRXPLATFORM_EXPORT ActiveDevice
{
    ActiveDevice() = default;
    ActiveDevice(const QString& deviceId, const QString& subSystem) : m_deviceId(deviceId), m_subSystem(subSystem) {}
    QString deviceID() const { return m_deviceId; }
    QString subSystem() const { return m_subSystem; }
    bool operator==(const ActiveDevice& o) const { return m_deviceId == o.m_deviceId && m_subSystem == o.m_subSystem; }
    bool operator!=(const ActiveDevice& o) const { return !(*this == o); }

    QString m_deviceId;
    QString m_subSystem;
};

class VRXPLATFORM_EXPORT IVorexGUIController : public QObject
{
    Q_OBJECT
public:
    // User actions offered by recordAction().
    enum UserAction : int {
        eUserAction_EditRecord = 0x1,
        eUserAction_History = 0x100
    };

    explicit IVorexGUIController(QObject* parent = nullptr) : QObject(parent) {}

    // The action for one user action flag, owned by the controller; null
    // for a flag the controller was not built with.
    virtual QAction* recordAction(int userAction) = 0;
    virtual QList<ActiveDevice> activeDevices() const = 0;
    virtual VorexCommon::AbstractRecordListModel* recordListModel() = 0;
    virtual vorex::RecordIdentifierList selectedRecords() const = 0;

public slots:
    virtual void sl_showHistory() = 0;
    virtual void sl_activeDeviceChanged(QList<ActiveDevice> devices) = 0;
    virtual void sl_selectedRecordsChanged(vorex::RecordIdentifierList records) = 0;
    virtual void sl_resyncRecord(vorex::RecordIdentifier record) = 0;
    virtual void sl_setBookmarkEntries(vorex::RecordIdentifier record, QVector<VOREX_XML::BookmarkEntry> entries) = 0;
};

// The controller of one toolbar. Record actions:
//  0x1   "Edit record": opens the record edit dialog for the selected record
//        (renames it on the manager); enabled while exactly one selected
//        record is in the record list model.
//  0x100 "Record history": sl_showHistory(); enabled under the same condition.
// A record is selected through sl_selectedRecordsChanged; the model follows the
// first active device.
class VRXPLATFORM_EXPORT VorexServerGUIController : public IVorexGUIController
{
    Q_OBJECT
public:
    VorexServerGUIController(std::shared_ptr<VorexCommon::VorexGuiToServerCorbaHandler> serverHandler,
                             int userActions, QWidget* parent);
    ~VorexServerGUIController() override;

    QAction* recordAction(int userAction) override;
    QList<ActiveDevice> activeDevices() const override;
    VorexCommon::AbstractRecordListModel* recordListModel() override;
    vorex::RecordIdentifierList selectedRecords() const override;
    // The one selected record that the model holds, or an invalid identifier.
    vorex::RecordIdentifier currentRecord() const;

public slots:
    void sl_showHistory() override;
    void sl_activeDeviceChanged(QList<ActiveDevice> devices) override;
    void sl_selectedRecordsChanged(vorex::RecordIdentifierList records) override;
    void sl_resyncRecord(vorex::RecordIdentifier record) override;
    void sl_setBookmarkEntries(vorex::RecordIdentifier record, QVector<VOREX_XML::BookmarkEntry> entries) override;
    void sl_editRecord();

private slots:
    void sl_updateActions();

private:
    // Tells the operator of an edit ("bookmarks", "history", "rename") that
    // the manager answered with `code` other than 0.
    void reportEdit(quint32 code, const vorex::RecordIdentifier& id, const QString& what);

    std::shared_ptr<VorexCommon::VorexGuiToServerCorbaHandler> m_spServerHandler;
    QPointer<QWidget> m_pParentWidget;
    QAction* m_pEditAction = nullptr;
    QAction* m_pHistoryAction = nullptr;
    VorexCommon::AbstractRecordListModel* m_pModel;
    QList<ActiveDevice> m_activeDevices;
    vorex::RecordIdentifierList m_selectedRecords;
};

// Where the record dialogs keep their geometry and column widths: QSettings
// in INI format, user scope, under this organization and application (tests
// point QSettings::setPath at a temporary folder). One group per dialog,
// named by its object name.
VRXPLATFORM_EXPORT extern const char* const kDialogSettingsOrganization; // "Vorex"
VRXPLATFORM_EXPORT extern const char* const kDialogSettingsApplication;  // "RecordDialogs"

// Asks for the parameters of a new recording: name, time-out and size limit.
// Option flags: 0x1 name field, 0x2 time-out field, 0x4 size-limit field,
// 0x8 size unit chooser, 0x10 the name may be edited.
//
// The size limit reaches the manager in 32 bits: the field takes no more
// than kMaxRecordSizeLimit in its unit, and recordSizeLimit() never exceeds it.
class VRXPLATFORM_EXPORT RecordParameterDialog : public QDialog
{
    Q_OBJECT
public:
    // Size units of setRecordSizeLimit: 0 bytes, 1 KiB, 2 MiB, 3 GiB.
    enum SizeUnit { eUnit_Bytes = 0, eUnit_KiB = 1, eUnit_MiB = 2, eUnit_GiB = 3 };
    // The largest size limit that travels: 4 GiB - 1 byte.
    static constexpr quint64 kMaxRecordSizeLimit = 0xffffffffull;

    typedef std::function<int(RecordParameterDialog&)> AnswerHook;
    // Installs the answer hook of this dialog type (empty removes it).
    static void SetAnswerHook(AnswerHook hook);
    static bool HasAnswerHook();

    // `defaultSize`: the record size limit offered, in bytes.
    RecordParameterDialog(int options, quint64 defaultSize, QWidget* parent);
    ~RecordParameterDialog() override;

    // Sets and returns `prefix` followed by the current date and time in
    // `format` (QDateTime format), e.g. "Rec_20261206:193000_".
    QString createRecordName(const QString& prefix, const QString& format);
    // Time-out offered (`timeout`) and the unit in which the size is shown.
    void setRecordSizeLimit(const QTime& timeout, int sizeUnit);

    int exec() override;

    int options() const { return m_nOptions; }
    QString recordName() const;
    void setRecordName(const QString& name);
    // Time-out in seconds.
    unsigned int timeout() const;
    void setTimeout(unsigned int seconds);
    // Size limit in bytes.
    quint64 recordSizeLimit() const;
    void setRecordSizeLimitBytes(quint64 bytes);
    int sizeUnit() const { return m_nSizeUnit; }

private:
    int m_nOptions;
    void SetUnit(int unit);

    int m_nSizeUnit = eUnit_MiB;
    quint64 m_nSizeLimit;
    QLineEdit* m_pNameEdit;
    QTimeEdit* m_pTimeoutEdit;
    QDoubleSpinBox* m_pSizeEdit;
    QComboBox* m_pUnitCombo;
};

// Selects a stored record of the controller's active device for replay. It
// offers the records whose status equals `recordStatus` and whose data rate
// is one of the two given. Columns: name, record ID, data rate, start,
// length. It opens wide enough for its columns (or as the operator last
// left it) and remembers its geometry and column widths.
class VRXPLATFORM_EXPORT OpenFileDialog : public QDialog
{
    Q_OBJECT
public:
    typedef std::function<int(OpenFileDialog&)> AnswerHook;
    static void SetAnswerHook(AnswerHook hook);
    static bool HasAnswerHook();

    OpenFileDialog(IVorexGUIController* controller,
                   VOREX_XML::VOREX_RecordData::DataRate rate,
                   VOREX_XML::VOREX_RecordData::DataRate secondRate,
                   int dataFormat, int recordStatus, QWidget* parent);
    ~OpenFileDialog() override;

    int exec() override;

    // The records offered.
    vorex::RecordIdentifierList candidates() const;
    // Selects an offered record; false when it is not offered.
    bool selectRecord(const vorex::RecordIdentifier& id);
    // The selected record's data (an empty pointer when none is selected).
    std::shared_ptr<VOREX_XML::VOREX_RecordData> selectedRecord() const;
    vorex::RecordIdentifier selectedRecordIdentifier() const;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<IVorexGUIController> m_pController;
    vorex::RecordIdentifierList m_candidates;
    vorex::RecordIdentifier m_selected;
    QTreeWidget* m_pList;
};

// History of one record with a field for a new comment. Accepting with a
// non-empty comment stores it on the manager when the user may comment.
// Sized and remembered like the record selection.
class VRXPLATFORM_EXPORT RecordHistoryDialog : public QDialog
{
    Q_OBJECT
public:
    typedef std::function<int(RecordHistoryDialog&)> AnswerHook;
    static void SetAnswerHook(AnswerHook hook);
    static bool HasAnswerHook();

    RecordHistoryDialog(const vorex::RecordIdentifier& id, std::shared_ptr<VOREX_XML::VOREX_RecordData> data, QWidget* parent);
    ~RecordHistoryDialog() override;

    int exec() override;

    vorex::RecordIdentifier recordIdentifier() const { return m_id; }
    QString comment() const;
    void setComment(const QString& comment);
    bool commentAllowed() const;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    vorex::RecordIdentifier m_id;
    QTreeWidget* m_pList;
    QPlainTextEdit* m_pComment;
};

// Edits a record's name.
class VRXPLATFORM_EXPORT RecordEditDialog : public QDialog
{
    Q_OBJECT
public:
    typedef std::function<int(RecordEditDialog&)> AnswerHook;
    static void SetAnswerHook(AnswerHook hook);
    static bool HasAnswerHook();

    RecordEditDialog(const vorex::RecordIdentifier& id, std::shared_ptr<VOREX_XML::VOREX_RecordData> data, QWidget* parent);
    ~RecordEditDialog() override;

    int exec() override;

    vorex::RecordIdentifier recordIdentifier() const { return m_id; }
    QString recordName() const;
    void setRecordName(const QString& name);

private:
    vorex::RecordIdentifier m_id;
    QLineEdit* m_pNameEdit;
};

} // namespace VorexGUI

Q_DECLARE_METATYPE(VorexGUI::ActiveDevice)
