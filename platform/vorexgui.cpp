#include "vorexgui.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <mutex>

using VorexCommon::RecorderManagerLink;
using VorexCommon::RecorderManagerEvents;

namespace {

QString formatTime(quint64 microseconds)
{
    if (microseconds == 0)
        return QString();
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(microseconds / 1000), Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// A record's length from its start and stop, "h:mm:ss"; empty while it has
// no stop.
QString formatLength(quint64 start, quint64 stop)
{
    if (stop <= start)
        return QString();
    const quint64 seconds = (stop - start) / 1000000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::unique_ptr<QSettings> dialogSettings(const QDialog& dialog)
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                QLatin1String(VorexGUI::kDialogSettingsOrganization),
                                                QLatin1String(VorexGUI::kDialogSettingsApplication));
    settings->beginGroup(dialog.objectName());
    return settings;
}

// Opens a list dialog as the operator last left it, or else wide enough for
// every column's content (within the screen).
void restoreListDialog(QDialog& dialog, QTreeWidget& list, int minimumHeight)
{
    const auto settings = dialogSettings(dialog);
    const bool columnsRestored = list.header()->restoreState(settings->value(QStringLiteral("columns")).toByteArray());
    // The last column stretches over what the view leaves: it is measured
    // unstretched.
    const bool stretch = list.header()->stretchLastSection();
    list.header()->setStretchLastSection(false);
    int contentWidth = 0;
    for (int column = 0; column < list.columnCount(); ++column) {
        if (!columnsRestored)
            list.resizeColumnToContents(column);
        contentWidth += list.columnWidth(column);
    }
    list.header()->setStretchLastSection(stretch);
    if (dialog.restoreGeometry(settings->value(QStringLiteral("geometry")).toByteArray()))
        return;
    const QMargins margins = dialog.layout() ? dialog.layout()->contentsMargins() : QMargins();
    int width = contentWidth + 2 * list.frameWidth() + list.verticalScrollBar()->sizeHint().width() + margins.left()
                + margins.right();
    int height = std::max(dialog.sizeHint().height(), minimumHeight);
    if (const QScreen* screen = dialog.screen()) {
        width = std::min(width, screen->availableGeometry().width());
        height = std::min(height, screen->availableGeometry().height());
    }
    dialog.resize(std::max(width, dialog.sizeHint().width()), height);
}

void saveListDialog(const QDialog& dialog, const QTreeWidget& list)
{
    const auto settings = dialogSettings(dialog);
    settings->setValue(QStringLiteral("geometry"), dialog.saveGeometry());
    settings->setValue(QStringLiteral("columns"), list.header()->saveState());
}

std::mutex g_hookMutex;

// Pictures of the record actions, so that the buttons that copy them show
// something on hosts without an icon theme.
const char* const kEditXpm[] = {
    "16 16 3 1", ". c None", "# c #404040", "y c #e0b000",
    "................",
    "...........##...",
    "..........#yy#..",
    ".........#yyyy#.",
    "........#yyyy#..",
    ".......#yyyy#...",
    "......#yyyy#....",
    ".....#yyyy#.....",
    "....#yyyy#......",
    "...#yyyy#.......",
    "..#yyyy#........",
    "..#yyy#.........",
    "..##y#..........",
    "..###...........",
    "................",
    "................"};

const char* const kHistoryXpm[] = {
    "16 16 3 1", ". c None", "# c #303080", "w c #ffffff",
    "................",
    ".....######.....",
    "...##wwwwww##...",
    "..#wwwww#wwww#..",
    "..#wwwww#wwww#..",
    ".#wwwwww#wwwww#.",
    ".#wwwwww#wwwww#.",
    ".#wwwwww####ww#.",
    ".#wwwwwwwwwwww#.",
    ".#wwwwwwwwwwww#.",
    "..#wwwwwwwwww#..",
    "..#wwwwwwwwww#..",
    "...##wwwwww##...",
    ".....######.....",
    "................",
    "................"};

// Runs a dialog modally unless its answer hook decides. On the offscreen
// platform a missing hook rejects at once instead of waiting for nobody.
template <typename D>
int execWithHook(D& dialog, const typename D::AnswerHook& storedHook, const char* typeName)
{
    typename D::AnswerHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = storedHook;
    }
    if (hook) {
        const int result = hook(dialog);
        dialog.setResult(result);
        return result;
    }
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        qWarning("%s::exec() without an answer hook on the offscreen platform: rejected", typeName);
        dialog.setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return dialog.QDialog::exec();
}

template <typename Hook>
void storeHook(Hook& target, Hook hook)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    target = std::move(hook);
}

template <typename Hook>
bool hasHook(const Hook& target)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return static_cast<bool>(target);
}

} // namespace

// ---------------------------------------------------------------------------
// AbstractRecordListModel
// ---------------------------------------------------------------------------

namespace VorexCommon {

AbstractRecordListModel::AbstractRecordListModel(QObject* parent) : QAbstractTableModel(parent)
{
    RecorderManagerEvents* events = RecorderManagerEvents::Instance();
    connect(events, &RecorderManagerEvents::si_recordChanged, this, &AbstractRecordListModel::sl_backendRecordChanged);
    connect(events, &RecorderManagerEvents::si_recordDeleted, this, &AbstractRecordListModel::sl_backendRecordDeleted);
    connect(events, &RecorderManagerEvents::si_allRecordsChanged, this, &AbstractRecordListModel::sl_backendAllRecordsChanged);
    connect(events, &RecorderManagerEvents::si_connectionChanged, this, &AbstractRecordListModel::sl_backendConnectionChanged);
}

AbstractRecordListModel::~AbstractRecordListModel() = default;

void AbstractRecordListModel::SetDevice(const QString& subSystem, const QString& deviceId)
{
    if (subSystem == m_strSubSystem && deviceId == m_strDeviceId)
        return;
    m_strSubSystem = subSystem;
    m_strDeviceId = deviceId;
    Reload();
}

bool AbstractRecordListModel::HasRecord(const vorex::RecordIdentifier& id) const
{
    return RowOf(id) >= 0;
}

std::shared_ptr<VOREX_XML::VOREX_RecordData> AbstractRecordListModel::GetRecordData(const vorex::RecordIdentifier& id) const
{
    const int row = RowOf(id);
    if (row < 0)
        return nullptr;
    return std::make_shared<VOREX_XML::VOREX_RecordData>(*m_records[static_cast<size_t>(row)]);
}

vorex::RecordIdentifier AbstractRecordListModel::IdentifierAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return vorex::RecordIdentifier();
    return vorex::RecordIdentifier(m_strSubSystem, m_strDeviceId, m_records[static_cast<size_t>(row)]->GetRecordID());
}

int AbstractRecordListModel::RowOf(const vorex::RecordIdentifier& id) const
{
    if (!id.valid() || id.deviceID() != m_strDeviceId)
        return -1;
    if (!id.subSystem().isEmpty() && !m_strSubSystem.isEmpty() && id.subSystem() != m_strSubSystem)
        return -1;
    for (size_t i = 0; i < m_records.size(); ++i)
        if (m_records[i]->GetRecordID() == id.recordID())
            return static_cast<int>(i);
    return -1;
}

void AbstractRecordListModel::Reload()
{
    beginResetModel();
    m_records.clear();
    auto backend = RecorderManagerLink::Installed();
    m_bLoaded = backend && backend->IsConnected() && !m_strDeviceId.isEmpty();
    if (m_bLoaded)
        for (const VOREX_XML::VOREX_RecordData& record : backend->GetRecords(m_strDeviceId))
            m_records.push_back(std::make_shared<VOREX_XML::VOREX_RecordData>(record));
    endResetModel();
    emit si_allRecordsChanged();
}

int AbstractRecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_records.size());
}

int AbstractRecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 7;
}

QVariant AbstractRecordListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || role != Qt::DisplayRole)
        return QVariant();
    const VOREX_XML::VOREX_RecordData& r = *m_records[static_cast<size_t>(index.row())];
    switch (index.column()) {
    case 0: return r.GetRecordName();
    case 1: return r.GetRecordID();
    case 2: return r.GetRecordStatus();
    case 3: return r.GetDataRateDisplayName();
    case 4: return formatTime(r.GetStartTime());
    case 5: return QString::number(r.GetRecordSize());
    case 6: return formatLength(r.GetStartTime(), r.GetStopTime());
    default: return QVariant();
    }
}

QVariant AbstractRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case 0: return tr("Name");
    case 1: return tr("Record ID");
    case 2: return tr("Status");
    case 3: return tr("Data rate");
    case 4: return tr("Start");
    case 5: return tr("Size");
    case 6: return tr("Length");
    default: return QVariant();
    }
}

void AbstractRecordListModel::sl_backendRecordChanged(const QString& deviceId, const QString& recordId, bool isNew)
{
    if (deviceId != m_strDeviceId || deviceId.isEmpty())
        return;
    auto backend = RecorderManagerLink::Installed();
    auto data = backend ? backend->GetRecord(deviceId, recordId) : nullptr;
    if (!data)
        return; // gone again meanwhile; its deletion follows
    const vorex::RecordIdentifier id(m_strSubSystem, deviceId, recordId);
    const int row = RowOf(id);
    if (row >= 0) {
        m_records[static_cast<size_t>(row)] = data;
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        emit si_recordChanged(id, false);
    } else {
        const int newRow = rowCount();
        beginInsertRows(QModelIndex(), newRow, newRow);
        m_records.push_back(data);
        endInsertRows();
        // New to this model, whatever the manager says.
        Q_UNUSED(isNew);
        emit si_recordChanged(id, true);
    }
}

void AbstractRecordListModel::sl_backendRecordDeleted(const QString& deviceId, const QString& recordId)
{
    const vorex::RecordIdentifier id(m_strSubSystem, deviceId, recordId);
    const int row = RowOf(id);
    if (row < 0)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_records.erase(m_records.begin() + row);
    endRemoveRows();
    emit si_recordDeleted(id);
}

void AbstractRecordListModel::sl_backendAllRecordsChanged(const QString& deviceId)
{
    if (deviceId == m_strDeviceId && !deviceId.isEmpty())
        Reload();
}

void AbstractRecordListModel::sl_backendConnectionChanged(bool /*connected*/)
{
    if (!m_strDeviceId.isEmpty())
        Reload();
}

} // namespace VorexCommon

// ---------------------------------------------------------------------------
// VorexServerGUIController
// ---------------------------------------------------------------------------

namespace VorexGUI {

const char* const kDialogSettingsOrganization = "Vorex";
const char* const kDialogSettingsApplication = "RecordDialogs";

namespace {
struct ActiveDeviceRegistration
{
    ActiveDeviceRegistration()
    {
        qRegisterMetaType<VorexGUI::ActiveDevice>("VorexGUI::ActiveDevice");
        qRegisterMetaType<QList<VorexGUI::ActiveDevice>>("QList<VorexGUI::ActiveDevice>");
        qRegisterMetaType<QList<VorexGUI::ActiveDevice>>("QList<ActiveDevice>");
    }
} g_activeDeviceRegistration;
} // namespace

VorexServerGUIController::VorexServerGUIController(std::shared_ptr<VorexCommon::VorexGuiToServerCorbaHandler> serverHandler,
                                                   int userActions, QWidget* parent)
    : IVorexGUIController(parent),
      m_spServerHandler(std::move(serverHandler)),
      m_pParentWidget(parent),
      m_pModel(new VorexCommon::AbstractRecordListModel(this))
{
    if (userActions & eUserAction_EditRecord) {
        m_pEditAction = new QAction(QIcon(QPixmap(kEditXpm)), tr("Edit record"), this);
        m_pEditAction->setObjectName(QStringLiteral("VorexEditRecord"));
        m_pEditAction->setToolTip(tr("Edit the selected record"));
        m_pEditAction->setStatusTip(tr("Edit the selected record"));
        connect(m_pEditAction, &QAction::triggered, this, &VorexServerGUIController::sl_editRecord);
    }
    if (userActions & eUserAction_History) {
        m_pHistoryAction = new QAction(QIcon(QPixmap(kHistoryXpm)), tr("Record history"), this);
        m_pHistoryAction->setObjectName(QStringLiteral("VorexRecordHistory"));
        m_pHistoryAction->setToolTip(tr("Show the history of the selected record and add a comment"));
        m_pHistoryAction->setStatusTip(tr("Show the history of the selected record and add a comment"));
        connect(m_pHistoryAction, &QAction::triggered, this, &VorexServerGUIController::sl_showHistory);
    }
    connect(m_pModel, &QAbstractItemModel::modelReset, this, &VorexServerGUIController::sl_updateActions);
    connect(m_pModel, &QAbstractItemModel::rowsInserted, this, &VorexServerGUIController::sl_updateActions);
    connect(m_pModel, &QAbstractItemModel::rowsRemoved, this, &VorexServerGUIController::sl_updateActions);
    sl_updateActions();
}

VorexServerGUIController::~VorexServerGUIController() = default;

QAction* VorexServerGUIController::recordAction(int userAction)
{
    if (userAction == eUserAction_EditRecord)
        return m_pEditAction;
    if (userAction == eUserAction_History)
        return m_pHistoryAction;
    return nullptr;
}

QList<ActiveDevice> VorexServerGUIController::activeDevices() const
{
    return m_activeDevices;
}

VorexCommon::AbstractRecordListModel* VorexServerGUIController::recordListModel()
{
    return m_pModel;
}

vorex::RecordIdentifierList VorexServerGUIController::selectedRecords() const
{
    return m_selectedRecords;
}

vorex::RecordIdentifier VorexServerGUIController::currentRecord() const
{
    if (m_selectedRecords.size() != 1 || !m_pModel->HasRecord(m_selectedRecords.first()))
        return vorex::RecordIdentifier();
    return m_selectedRecords.first();
}

void VorexServerGUIController::sl_activeDeviceChanged(QList<ActiveDevice> devices)
{
    m_activeDevices = devices;
    if (devices.isEmpty())
        m_pModel->SetDevice(QString(), QString());
    else
        m_pModel->SetDevice(devices.first().subSystem(), devices.first().deviceID());
    sl_updateActions();
}

void VorexServerGUIController::sl_selectedRecordsChanged(vorex::RecordIdentifierList records)
{
    m_selectedRecords = records;
    sl_updateActions();
}

void VorexServerGUIController::sl_resyncRecord(vorex::RecordIdentifier record)
{
    if (auto backend = RecorderManagerLink::Installed())
        backend->ResyncRecord(record);
}

// An edit the manager did not take is the operator's work lost unless the
// operator hears of it.
void VorexServerGUIController::reportEdit(quint32 code, const vorex::RecordIdentifier& id, const QString& what)
{
    if (code == 0)
        return;
    const auto data = m_pModel->GetRecordData(id);
    if (ErrorHandler::Instance()->IsTraceOn(ErrorHandler::TraceWarnings))
        _Q_Trace(QStringLiteral("VorexServerGUIController: %1 of record %2 failed with code %3").arg(what, id.recordID()).arg(code),
                 QStringLiteral("platform/vorexgui"), __LINE__);
    const QString name = data ? data->GetRecordName() : id.recordID();
    QString text;
    if (what == QLatin1String("bookmarks"))
        text = tr("The bookmarks of record %1 could not be saved.").arg(name);
    else if (what == QLatin1String("history"))
        text = tr("The history comment of record %1 could not be saved.").arg(name);
    else
        text = tr("Record %1 could not be renamed.").arg(name);
    ErrorHandler::Instance()->Message(text, true, -1, true);
}

void VorexServerGUIController::sl_setBookmarkEntries(vorex::RecordIdentifier record, QVector<VOREX_XML::BookmarkEntry> entries)
{
    if (auto backend = RecorderManagerLink::Installed())
        reportEdit(backend->SetBookmarkEntries(record, entries), record, QStringLiteral("bookmarks"));
}

void VorexServerGUIController::sl_showHistory()
{
    const vorex::RecordIdentifier id = currentRecord();
    if (!id.valid())
        return;
    RecordHistoryDialog dialog(id, m_pModel->GetRecordData(id), m_pParentWidget.data());
    if (dialog.exec() != QDialog::Accepted || dialog.comment().trimmed().isEmpty() || !dialog.commentAllowed())
        return;
    if (auto backend = RecorderManagerLink::Installed())
        reportEdit(backend->AddHistoryComment(id, dialog.comment().trimmed()), id, QStringLiteral("history"));
}

void VorexServerGUIController::sl_editRecord()
{
    const vorex::RecordIdentifier id = currentRecord();
    if (!id.valid())
        return;
    auto data = m_pModel->GetRecordData(id);
    RecordEditDialog dialog(id, data, m_pParentWidget.data());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString name = dialog.recordName().trimmed();
    if (name.isEmpty() || (data && name == data->GetRecordName()))
        return;
    if (auto backend = RecorderManagerLink::Installed())
        reportEdit(backend->RenameRecord(id, name), id, QStringLiteral("rename"));
}

void VorexServerGUIController::sl_updateActions()
{
    const bool enabled = currentRecord().valid();
    if (m_pEditAction)
        m_pEditAction->setEnabled(enabled);
    if (m_pHistoryAction)
        m_pHistoryAction->setEnabled(enabled);
}

// ---------------------------------------------------------------------------
// RecordParameterDialog
// ---------------------------------------------------------------------------

namespace {
RecordParameterDialog::AnswerHook g_recordParameterHook;
OpenFileDialog::AnswerHook g_openFileHook;
RecordHistoryDialog::AnswerHook g_historyHook;
RecordEditDialog::AnswerHook g_editHook;

quint64 unitFactor(int unit)
{
    switch (unit) {
    case RecordParameterDialog::eUnit_KiB: return 1024ull;
    case RecordParameterDialog::eUnit_MiB: return 1024ull * 1024ull;
    case RecordParameterDialog::eUnit_GiB: return 1024ull * 1024ull * 1024ull;
    default: return 1ull;
    }
}
} // namespace

void RecordParameterDialog::SetAnswerHook(AnswerHook hook) { storeHook(g_recordParameterHook, std::move(hook)); }
bool RecordParameterDialog::HasAnswerHook() { return hasHook(g_recordParameterHook); }

RecordParameterDialog::RecordParameterDialog(int options, quint64 defaultSize, QWidget* parent)
    : QDialog(parent),
      m_nOptions(options),
      m_nSizeLimit(defaultSize),
      m_pNameEdit(new QLineEdit(this)),
      m_pTimeoutEdit(new QTimeEdit(this)),
      m_pSizeEdit(new QDoubleSpinBox(this)),
      m_pUnitCombo(new QComboBox(this))
{
    setObjectName(QStringLiteral("RecordParameterDialog"));
    setWindowTitle(tr("Record parameters"));
    auto* form = new QFormLayout;
    form->addRow(tr("Record name"), m_pNameEdit);
    m_pNameEdit->setReadOnly(!(options & 0x10));
    m_pTimeoutEdit->setDisplayFormat(QStringLiteral("hh:mm:ss"));
    m_pTimeoutEdit->setTime(QTime(0, 0));
    form->addRow(tr("Time-out"), m_pTimeoutEdit);
    m_pSizeEdit->setDecimals(0);
    form->addRow(tr("Size limit"), m_pSizeEdit);
    m_pUnitCombo->addItems(QStringList{tr("Bytes"), tr("KiB"), tr("MiB"), tr("GiB")});
    form->addRow(tr("Unit"), m_pUnitCombo);
    m_pNameEdit->setVisible(options & 0x1);
    m_pTimeoutEdit->setVisible(options & 0x2);
    m_pSizeEdit->setVisible(options & 0x4);
    m_pUnitCombo->setVisible(options & 0x8);
    for (QWidget* field : {static_cast<QWidget*>(m_pNameEdit), static_cast<QWidget*>(m_pTimeoutEdit),
                           static_cast<QWidget*>(m_pSizeEdit), static_cast<QWidget*>(m_pUnitCombo)})
        if (QWidget* label = form->labelForField(field))
            label->setVisible(field->isVisibleTo(this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    m_pUnitCombo->setCurrentIndex(m_nSizeUnit);
    m_pSizeEdit->setRange(0, double(kMaxRecordSizeLimit / unitFactor(m_nSizeUnit)));
    setRecordSizeLimitBytes(defaultSize);
    connect(m_pSizeEdit, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this](double v) {
        m_nSizeLimit = static_cast<quint64>(v) * unitFactor(m_nSizeUnit);
    });
    connect(m_pUnitCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int unit) {
        // The number stays, in the new unit, as far as the new unit allows.
        SetUnit(unit);
        m_nSizeLimit = static_cast<quint64>(m_pSizeEdit->value()) * unitFactor(unit);
    });
}

void RecordParameterDialog::SetUnit(int unit)
{
    m_nSizeUnit = unit;
    m_pSizeEdit->blockSignals(true);
    m_pSizeEdit->setRange(0, double(kMaxRecordSizeLimit / unitFactor(unit)));
    m_pSizeEdit->blockSignals(false);
}

RecordParameterDialog::~RecordParameterDialog() = default;

QString RecordParameterDialog::createRecordName(const QString& prefix, const QString& format)
{
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(HaldaOS::Get() / 1000);
    const QString name = prefix + now.toString(format);
    m_pNameEdit->setText(name);
    return name;
}

void RecordParameterDialog::setRecordSizeLimit(const QTime& timeout, int sizeUnit)
{
    m_pTimeoutEdit->setTime(timeout.isValid() ? timeout : QTime(0, 0));
    const quint64 bytes = m_nSizeLimit;
    const int unit = sizeUnit >= eUnit_Bytes && sizeUnit <= eUnit_GiB ? sizeUnit : eUnit_MiB;
    m_pUnitCombo->blockSignals(true);
    m_pUnitCombo->setCurrentIndex(unit);
    m_pUnitCombo->blockSignals(false);
    SetUnit(unit);
    setRecordSizeLimitBytes(bytes);
}

int RecordParameterDialog::exec()
{
    return execWithHook(*this, g_recordParameterHook, "RecordParameterDialog");
}

QString RecordParameterDialog::recordName() const
{
    return m_pNameEdit->text();
}

void RecordParameterDialog::setRecordName(const QString& name)
{
    m_pNameEdit->setText(name);
}

unsigned int RecordParameterDialog::timeout() const
{
    return static_cast<unsigned int>(QTime(0, 0).secsTo(m_pTimeoutEdit->time()));
}

void RecordParameterDialog::setTimeout(unsigned int seconds)
{
    m_pTimeoutEdit->setTime(QTime(0, 0).addSecs(static_cast<int>(qMin(seconds, 86399u))));
}

quint64 RecordParameterDialog::recordSizeLimit() const
{
    return m_nSizeLimit;
}

void RecordParameterDialog::setRecordSizeLimitBytes(quint64 bytes)
{
    bytes = std::min(bytes, kMaxRecordSizeLimit);
    m_pSizeEdit->blockSignals(true);
    m_pSizeEdit->setValue(double(bytes / unitFactor(m_nSizeUnit)));
    m_pSizeEdit->blockSignals(false);
    m_nSizeLimit = bytes; // exact, also when the field shows it rounded
}

// ---------------------------------------------------------------------------
// OpenFileDialog
// ---------------------------------------------------------------------------

void OpenFileDialog::SetAnswerHook(AnswerHook hook) { storeHook(g_openFileHook, std::move(hook)); }
bool OpenFileDialog::HasAnswerHook() { return hasHook(g_openFileHook); }

OpenFileDialog::OpenFileDialog(IVorexGUIController* controller,
                               VOREX_XML::VOREX_RecordData::DataRate rate,
                               VOREX_XML::VOREX_RecordData::DataRate secondRate,
                               int dataFormat, int recordStatus, QWidget* parent)
    : QDialog(parent), m_pController(controller), m_pList(new QTreeWidget(this))
{
    Q_UNUSED(dataFormat); // every record of the stand-in manager has the one data format
    setObjectName(QStringLiteral("OpenFileDialog"));
    setWindowTitle(tr("Select a record"));
    m_pList->setColumnCount(5);
    m_pList->setHeaderLabels(QStringList{tr("Name"), tr("Record ID"), tr("Data rate"), tr("Start"), tr("Length")});
    m_pList->setRootIsDecorated(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pList);
    layout->addWidget(buttons);

    VorexCommon::AbstractRecordListModel* model = controller ? controller->recordListModel() : nullptr;
    for (int row = 0; model && row < model->rowCount(); ++row) {
        const vorex::RecordIdentifier id = model->IdentifierAt(row);
        auto data = model->GetRecordData(id);
        if (!data || data->GetRecordStatus() != recordStatus)
            continue;
        if (data->GetDataRate() != rate && data->GetDataRate() != secondRate)
            continue;
        m_candidates << id;
        auto* item = new QTreeWidgetItem(m_pList, QStringList{data->GetRecordName(), data->GetRecordID(),
                                                                data->GetDataRateDisplayName(), formatTime(data->GetStartTime()),
                                                                formatLength(data->GetStartTime(), data->GetStopTime())});
        item->setData(0, Qt::UserRole, m_candidates.size() - 1);
    }
    restoreListDialog(*this, *m_pList, 300);
    connect(m_pList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        m_selected = item ? m_candidates.value(item->data(0, Qt::UserRole).toInt()) : vorex::RecordIdentifier();
    });
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
}

OpenFileDialog::~OpenFileDialog() = default;

void OpenFileDialog::hideEvent(QHideEvent* event)
{
    saveListDialog(*this, *m_pList);
    QDialog::hideEvent(event);
}

int OpenFileDialog::exec()
{
    return execWithHook(*this, g_openFileHook, "OpenFileDialog");
}

vorex::RecordIdentifierList OpenFileDialog::candidates() const
{
    return m_candidates;
}

bool OpenFileDialog::selectRecord(const vorex::RecordIdentifier& id)
{
    const int index = m_candidates.indexOf(id);
    if (index < 0)
        return false;
    m_pList->setCurrentItem(m_pList->topLevelItem(index));
    m_selected = id;
    return true;
}

std::shared_ptr<VOREX_XML::VOREX_RecordData> OpenFileDialog::selectedRecord() const
{
    if (!m_selected.valid() || !m_pController || !m_pController->recordListModel())
        return nullptr;
    return m_pController->recordListModel()->GetRecordData(m_selected);
}

vorex::RecordIdentifier OpenFileDialog::selectedRecordIdentifier() const
{
    return m_selected;
}

// ---------------------------------------------------------------------------
// RecordHistoryDialog
// ---------------------------------------------------------------------------

void RecordHistoryDialog::SetAnswerHook(AnswerHook hook) { storeHook(g_historyHook, std::move(hook)); }
bool RecordHistoryDialog::HasAnswerHook() { return hasHook(g_historyHook); }

RecordHistoryDialog::RecordHistoryDialog(const vorex::RecordIdentifier& id, std::shared_ptr<VOREX_XML::VOREX_RecordData> data, QWidget* parent)
    : QDialog(parent), m_id(id), m_pList(new QTreeWidget(this)), m_pComment(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("RecordHistoryDialog"));
    setWindowTitle(tr("History of %1").arg(data ? data->GetRecordName() : id.recordID()));
    QTreeWidget* list = m_pList;
    list->setColumnCount(2);
    list->setHeaderLabels(QStringList{tr("Time"), tr("Entry")});
    list->setRootIsDecorated(false);
    if (data)
        for (const VOREX_XML::HistoryEntry& entry : data->GetHistory())
            new QTreeWidgetItem(list, QStringList{formatTime(entry.GetTimestamp()), entry.GetText()});
    m_pComment->setPlaceholderText(tr("New comment"));
    m_pComment->setEnabled(commentAllowed());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addWidget(m_pComment);
    layout->addWidget(buttons);
    restoreListDialog(*this, *list, 360);
}

RecordHistoryDialog::~RecordHistoryDialog() = default;

void RecordHistoryDialog::hideEvent(QHideEvent* event)
{
    saveListDialog(*this, *m_pList);
    QDialog::hideEvent(event);
}

int RecordHistoryDialog::exec()
{
    return execWithHook(*this, g_historyHook, "RecordHistoryDialog");
}

QString RecordHistoryDialog::comment() const
{
    return m_pComment->toPlainText();
}

void RecordHistoryDialog::setComment(const QString& comment)
{
    m_pComment->setPlainText(comment);
}

bool RecordHistoryDialog::commentAllowed() const
{
    return VorexCommon::UserRights::Instance()->HistoryCommentAllowed();
}

// ---------------------------------------------------------------------------
// RecordEditDialog
// ---------------------------------------------------------------------------

void RecordEditDialog::SetAnswerHook(AnswerHook hook) { storeHook(g_editHook, std::move(hook)); }
bool RecordEditDialog::HasAnswerHook() { return hasHook(g_editHook); }

RecordEditDialog::RecordEditDialog(const vorex::RecordIdentifier& id, std::shared_ptr<VOREX_XML::VOREX_RecordData> data, QWidget* parent)
    : QDialog(parent), m_id(id), m_pNameEdit(new QLineEdit(this))
{
    setObjectName(QStringLiteral("RecordEditDialog"));
    setWindowTitle(tr("Edit record"));
    auto* form = new QFormLayout;
    form->addRow(tr("Record ID"), new QLabel(id.recordID(), this));
    form->addRow(tr("Record name"), m_pNameEdit);
    if (data) {
        m_pNameEdit->setText(data->GetRecordName());
        form->addRow(tr("Data rate"), new QLabel(data->GetDataRateDisplayName(), this));
        form->addRow(tr("Start"), new QLabel(formatTime(data->GetStartTime()), this));
        form->addRow(tr("Stop"), new QLabel(formatTime(data->GetStopTime()), this));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

RecordEditDialog::~RecordEditDialog() = default;

int RecordEditDialog::exec()
{
    return execWithHook(*this, g_editHook, "RecordEditDialog");
}

QString RecordEditDialog::recordName() const
{
    return m_pNameEdit->text();
}

void RecordEditDialog::setRecordName(const QString& name)
{
    m_pNameEdit->setText(name);
}

} // namespace VorexGUI
