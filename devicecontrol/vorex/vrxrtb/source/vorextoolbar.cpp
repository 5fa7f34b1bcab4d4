#include "vorextoolbar.h"

#include "replaybarwidget.h"
#include "startup.h"
#include "umm.h"
#include "vcwidgets.h"
#include "vorexgui.h"
#include "vorexpictures.h"
#include "vorexwidgets.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QToolBar>
#include <QToolButton>

#define VRX_TRACE_SOURCE "devicecontrol/vorex/vrxrtb/source/vorextoolbar"
#include "vorextrace.h"

using VorexCommon::DeviceHandler;
using VorexCommon::ErrorDescriptor;
using VorexCommon::GuiToServerAdminCorbaHandler;
using VorexCommon::GuiToServerReplayCorbaHandler;
using VorexCommon::KernoServerConnectionData;
using VorexCommon::UserRights;
using VorexCommon::VorexGuiToServerCorbaHandler;

namespace VorexGUI {

namespace {

const QString kTranslationName = QStringLiteral("Vorex");
const QString kOpenFileRight = QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg");

// Channel value keys.
const QString kFileSizeInKB = QStringLiteral("FileSizeInKB");
const QString kRecordID = QStringLiteral("RecordID");
const QString kDeviceID = QStringLiteral("DeviceID");
const QString kNoOfReplays = QStringLiteral("NoOfReplays");
const QString kDataRateClass = QStringLiteral("DataRateClass");
const QString kAllowedDevices = QStringLiteral("AllowedDevices");
const QString kRecordName = QStringLiteral("RecordName");
const QString kRecordFlag = QStringLiteral("RecordFlag");
const QString kReplayFlag = QStringLiteral("ReplayFlag");
const QString kPauseSupported = QStringLiteral("PauseSupported");
const QString kErrorCode = QStringLiteral("ErrorCode");
const QString kRecordReplayModes = QStringLiteral("RecordReplayModes");
const QString kAllRecordReplayModes = QStringLiteral("AllRecordReplayModes");
const QString kReplayMode = QStringLiteral("ReplayMode");
const QString kTriggeredByCorbaCall = QStringLiteral("TriggeredByCorbaCall");

// Mode keys of the record/replay mode selection, by RecordReplayMode value.
long ModeKey(int mode)
{
    return VOREX_XML::Admin::GetRecordReplayModes().value(mode);
}

QString Flag(bool value)
{
    return QString::number(value ? 1 : 0);
}

QString Join(const QString& channelPath, const QString& key)
{
    return channelPath + QLatin1Char('/') + key;
}

template <typename V>
bool IsNormal(const values::ValueObservingPtr<V>& pointer)
{
    auto value = pointer.Lock();
    return value && value->GetState() == values::eStateNormal;
}

} // namespace

// ---------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------

VorexToolbar::VorexToolbar(QWidget* parent, const QString& connectionFirst, const QString& connectionSecond,
                           IVtClient*& vtClient, const QString& recordNamePrefix, const bool& withPauseButton)
    : VorexToolbarChannelConnector(parent, nullptr)
    , m_pToolBar(nullptr)
    , m_strRecordNamePrefix(recordNamePrefix)
    , m_pVtClient(nullptr)
    , m_pErrorCode(this)
    , m_pDataRateClass(this)
    , m_pAllowedDevices(this)
    , m_pModes(this)
    , m_pRecordReplayAllModes(this)
    , m_pRecordFlag(this)
    , m_pReplayFlag(this)
    , m_pPauseSupported(this)
    , m_pFileSize(this)
    , m_bConnected(false)
    , m_bRecordingAllowed(true)
    , m_bReplayAllowed(true)
    , m_bWithPauseButton(withPauseButton)
    , m_bRecordFlagValid(false)
    , m_bReplayFlagValid(false)
    , m_nRecordTimeout(0)
    , m_bToolbarEnabledByFlag(true)
    , m_bToolbarEnabledByWorkflow(false)
    , m_bToolbarObserversAdded(false)
    , m_bOpenFileDialogAllowed(true)
    , m_pErrorAction(nullptr)
    , m_pOpenFileAction(nullptr)
    , m_pHistoryAction(nullptr)
    , m_pStopButton(nullptr)
    , m_pPauseButton(nullptr)
    , m_pReplayCombo(nullptr)
    , m_pRecordCombo(nullptr)
    , m_pRecordNameEdit(nullptr)
    , m_pDeviceCombo(nullptr)
    , m_pDiscSpaceBar(nullptr)
    , m_pRecordCounter(nullptr)
    , m_pReplayBar(nullptr)
    , m_pErrorDescriptor(nullptr)
    , m_pDeviceHandler(nullptr)
    , m_pReplayHandler(nullptr)
    , m_pAdminHandler(nullptr)
    , m_pServerGUIController(nullptr)
{
    TranslationCenter::Instance()->RegisterTranslation(kTranslationName);
    setObjectName(QStringLiteral("VorexToolbarWidget"));

    // A sibling of this widget, so the host can dock it while this widget
    // stays hidden.
    m_pToolBar = new QToolBar(parent);
    m_pToolBar->setObjectName(QStringLiteral("VorexToolbar"));
    // The host may reparent the bar when it docks it, so it can die before
    // this object; its widgets and actions die with it.
    connect(m_pToolBar, &QObject::destroyed, this, [this]() { ForgetToolBar(); });

    m_spConnectionData = std::make_shared<KernoServerConnectionData>(connectionFirst, connectionSecond);
    const std::shared_ptr<VorexCommon::VorexConfiguration> configuration = m_spConnectionData->GetConfiguration();

    m_pDeviceHandler = new DeviceHandler();
    m_pDeviceHandler->Initialize(configuration);
    m_pDeviceHandler->SetAllowVirtualDevices(true);

    connect(m_spConnectionData.get(), SIGNAL(si_allTicsConnected(const QString&)), m_pDeviceHandler,
            SLOT(sl_vorexConnected(const QString&)));
    connect(m_spConnectionData.get(), SIGNAL(si_allTicsDisconnected(const QString&)), m_pDeviceHandler,
            SLOT(sl_vorexDisconnected(const QString&)));
    connect(m_spConnectionData.get(), SIGNAL(si_deviceNodeAdded(const QString&)), m_pDeviceHandler,
            SLOT(OnCheckForNewDevices (const QString&)));

    vtClient = m_spConnectionData->getVtClient(connectionSecond, 1);
    if (!vtClient)
        m_channelErrorText = ChannelErrorText(4);
    m_pVtClient = vtClient;

    m_strSubsystem = configuration->GetCurrentSubSystem();
    m_pErrorDescriptor = new ErrorDescriptor(configuration->GetVorexRootPath());
    m_spServerHandler = std::make_shared<VorexGuiToServerCorbaHandler>(connectionSecond, m_spConnectionData, QString());
    m_pServerGUIController = new VorexServerGUIController(
        m_spServerHandler, IVorexGUIController::eUserAction_EditRecord | IVorexGUIController::eUserAction_History, this);
    SetGUIController(m_pServerGUIController, m_strSubsystem);

    connect(this, SIGNAL(signalRecordRemoved()), this, SLOT(slotRemoveCurrentRecord()));
    connect(this, SIGNAL(signalRecordChanged()), this, SLOT(slotRecordChanged()));
    connect(this, SIGNAL(signalRecordDataUpdated()), this, SLOT(SetDuration()));
    connect(this, SIGNAL(signalChannelUpdated()), this, SLOT(slotChannelUpdated()));
    connect(this, SIGNAL(signalChannelDeleted()), this, SLOT(slotChannelDeleted()));

    m_pReplayHandler = new GuiToServerReplayCorbaHandler(m_spServerHandler);
    m_pAdminHandler = new GuiToServerAdminCorbaHandler(m_spServerHandler);

    connect(m_spConnectionData.get(), SIGNAL(si_allTicsConnected(const QString&)), this,
            SLOT(sl_connectionEstablished(const QString&)));
    connect(m_spConnectionData.get(), SIGNAL(si_allTicsDisconnected(const QString&)), this,
            SLOT(sl_connectionDisconnected(const QString&)));

    createActions();
    createButtons();
    createElements();
    createToolbar();

    m_pToolBar->setFocusPolicy(Qt::TabFocus);
    m_pToolBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    resize(m_pToolBar->size());

    UpdateToolbarEnabled();

    UserRights::Instance()->Initialize(configuration);
    connect(UserRights::Instance(), SIGNAL(UpdateUserRights(const QString&)), this,
            SLOT(Slot_OnUpdateRights(const QString&)));

    SetFileOpenDialogAllowed(UMM::ActiveUserProxy::instance()->GetAccessLevel(kOpenFileRight) >= 1);

    hide();
    m_pToolBar->show();
}

VorexToolbar::~VorexToolbar()
{
    TranslationCenter::Instance()->UnregisterTranslation(kTranslationName);
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::~VorexToolbar()"));

    SetGUIController(nullptr, QString());

    delete m_pServerGUIController;
    m_pServerGUIController = nullptr;
    delete m_pReplayHandler;
    m_pReplayHandler = nullptr;
    delete m_pAdminHandler;
    m_pAdminHandler = nullptr;
    m_spConnectionData.reset();
    delete m_pDeviceHandler;
    m_pDeviceHandler = nullptr;

    ResetObservers();

    delete m_pErrorDescriptor;
    m_pErrorDescriptor = nullptr;
    if (m_pToolBar) {
        delete m_pRecordCounter;
        m_pRecordCounter = nullptr;
        delete m_pReplayBar;
        m_pReplayBar = nullptr;
        delete m_pToolBar;
    }
    ForgetToolBar();
    m_spServerHandler.reset();

    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::~VorexToolbar()"));
    // Main-thread calls still queued for this toolbar must not run.
    ThreadingHelper::ThreadSwitchingAdministration::NotifyObjectDestroyed(this);
}

void VorexToolbar::createActions()
{
    m_pErrorAction = new QAction(QIcon(QPixmap(Pictures::Error)), QString(), m_pToolBar);
    m_pErrorAction->setObjectName(QStringLiteral("Error information"));
    m_pErrorAction->setToolTip(tr("Show error information"));
    m_pErrorAction->setStatusTip(tr("Show error information"));
    m_pErrorAction->setVisible(false);
    connect(m_pErrorAction, SIGNAL(triggered()), this, SLOT(Slot_OnShowErrorInformation()));

    // The picture comes from the host's resources; without them the action
    // still works, and an icon bound to a missing file would only complain
    // every time it is drawn.
    const QString openRecordIcon = QStringLiteral(":/Vorex/Toolbars/OpenRecord.svg");
    m_pOpenFileAction = new QAction(QFile::exists(openRecordIcon) ? QIcon(openRecordIcon) : QIcon(), QString(), m_pToolBar);
    m_pOpenFileAction->setObjectName(QStringLiteral("VorexOpenFile"));
    m_pOpenFileAction->setToolTip(tr("Select VOREX signal file."));
    m_pOpenFileAction->setStatusTip(tr("Select VOREX signal file."));
    connect(m_pOpenFileAction, SIGNAL(triggered()), this, SLOT(Slot_OnOpenFileDialogClicked()));

    m_pHistoryAction = new QAction(m_pToolBar);
    m_pHistoryAction->setObjectName(QStringLiteral("VorexAddHistoryComment"));
    if (QAction* history = m_pServerGUIController->recordAction(IVorexGUIController::eUserAction_History)) {
        m_pHistoryAction->setIcon(history->icon());
        m_pHistoryAction->setToolTip(history->toolTip());
        m_pHistoryAction->setStatusTip(history->statusTip());
    }
    connect(m_pHistoryAction, SIGNAL(triggered()), m_pServerGUIController, SLOT(sl_showHistory()));
}

void VorexToolbar::createButtons()
{
    const VOREX_XML::Admin::ModeList modes = VOREX_XML::Admin::GetRecordReplayModes();

    m_pStopButton = new VCOneOfButton(modes.value(VOREX_XML::Admin::eRecordReplayMode_Stop), m_pToolBar,
                                      Pictures::StopPressed, Pictures::Stop, tr("VorexStop"));
    m_pStopButton->SetDefaultPicture(Pictures::Stop);
    m_pStopButton->setObjectName(tr("VorexStop"));
    m_pStopButton->setToolTip(tr("Stop a recording or replay"));

    m_pReplayCombo = new VCOneOfButtonCombo(m_pToolBar, QStringLiteral("VorexReplayModes"), false);
    m_pReplayCombo->setObjectName(QStringLiteral("VorexReplayModesCombo"));
    m_pReplayCombo->SetDefaultPicture(Pictures::Replay);
    m_pReplayCombo->AddSelection(modes.value(VOREX_XML::Admin::eRecordReplayMode_Replay),
                                 modes.value(VOREX_XML::Admin::eRecordReplayMode_Stop), Pictures::ReplayPressed,
                                 Pictures::Replay);
    m_pReplayCombo->SetToolTipText(tr("Start a replay"));

    m_pPauseButton = new VCOneOfButton(modes.value(VOREX_XML::Admin::eRecordReplayMode_Pausereplay), m_pToolBar,
                                       Pictures::PausePressed, Pictures::Pause, tr("VorexPause"));
    m_pPauseButton->SetDefaultPicture(Pictures::Pause);
    m_pPauseButton->setObjectName(tr("VorexPause"));
    m_pPauseButton->setToolTip(tr("Select to pause the replay"));
    m_pPauseButton->hide();

    m_pRecordCombo = new VCOneOfButtonCombo(m_pToolBar, QStringLiteral("VorexRecordingModes"), false);
    m_pRecordCombo->setObjectName(QStringLiteral("VorexRecordingModesCombo"));
    m_pRecordCombo->SetDefaultPicture(Pictures::Record);
    m_pRecordCombo->AddSelection(modes.value(VOREX_XML::Admin::eRecordReplayMode_Record),
                                 modes.value(VOREX_XML::Admin::eRecordReplayMode_Stop), Pictures::RecordPressed,
                                 Pictures::Record);
    m_pRecordCombo->SetToolTipText(tr("Start a recording"));
}

void VorexToolbar::createElements()
{
    m_pRecordNameEdit = new VCLineEdit(m_pToolBar, QStringLiteral("VorexRecordName"), 0);
    m_pRecordNameEdit->setObjectName(QStringLiteral("VorexRecordName"));
    m_pRecordNameEdit->setReadOnly(true);
    m_pRecordNameEdit->setMinimumWidth(80);
    m_pRecordNameEdit->setMaximumWidth(150);
    m_pRecordNameEdit->setToolTip(tr("File name of selected replay"));
    m_pRecordNameEdit->setStatusTip(tr("File name of selected replay"));

    m_pRecordCounter = new TickCounter(m_pToolBar, QStringLiteral("VorexRecordCounter"));
    m_pRecordCounter->setObjectName(QStringLiteral("VorexToolbarRecordCounter"));

    m_pDiscSpaceBar = new DiscSpaceBar(m_pToolBar, m_spConnectionData->GetConfiguration()->GetVorexRootPath());
    m_pDiscSpaceBar->setObjectName(QStringLiteral("VorexToolbarDiscSpace"));

    m_pReplayBar = new ReplayBarWidget(m_pToolBar, GetGUIController(), m_spServerHandler->GetCurrentSubsystem());
    m_pReplayBar->setObjectName(QStringLiteral("VorexToolbarReplayBarWidget"));

    m_pDeviceCombo = new DeviceCombo(m_pToolBar, m_pDeviceHandler, QString(), m_spServerHandler->GetCurrentSubsystem());
    m_pDeviceCombo->setObjectName(QStringLiteral("OpenFileDeviceCombo"));
    m_pDeviceCombo->setToolTip(tr("Choose a device from the list"));
    m_pDeviceCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
}

void VorexToolbar::createToolbar()
{
    m_pToolBar->addAction(m_pErrorAction);
    if (QWidget* errorWidget = m_pToolBar->widgetForAction(m_pErrorAction))
        errorWidget->hide();

    m_pToolBar->addSeparator();
    m_pToolBar->addWidget(m_pDeviceCombo);
    m_pToolBar->addSeparator();
    m_pToolBar->addWidget(m_pDiscSpaceBar);
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(m_pOpenFileAction);
    m_pToolBar->addSeparator();
    m_pToolBar->addWidget(m_pStopButton);
    m_pToolBar->addWidget(m_pRecordCombo);
    m_pToolBar->addWidget(m_pReplayCombo);
    if (m_bWithPauseButton) {
        m_pPauseButton->show();
        m_pToolBar->addWidget(m_pPauseButton);
    }
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(m_pHistoryAction);
    m_pToolBar->addSeparator();
    m_pToolBar->addWidget(m_pRecordNameEdit);
    m_pToolBar->addSeparator();
    m_pToolBar->addWidget(m_pRecordCounter);
    m_pToolBar->addSeparator();
    m_pToolBar->addWidget(m_pReplayBar);
}

void VorexToolbar::ForgetToolBar()
{
    m_pToolBar = nullptr;
    m_pErrorAction = nullptr;
    m_pOpenFileAction = nullptr;
    m_pHistoryAction = nullptr;
    m_pStopButton = nullptr;
    m_pPauseButton = nullptr;
    m_pReplayCombo = nullptr;
    m_pRecordCombo = nullptr;
    m_pRecordNameEdit = nullptr;
    m_pDeviceCombo = nullptr;
    m_pDiscSpaceBar = nullptr;
    m_pRecordCounter = nullptr;
    m_pReplayBar = nullptr;
}

QSize VorexToolbar::sizeHint() const
{
    return m_pToolBar ? m_pToolBar->sizeHint() : QWidget::sizeHint();
}

// ---------------------------------------------------------------------------
// IVRXRTB
// ---------------------------------------------------------------------------

QToolBar* VorexToolbar::GetVorexToolbar()
{
    return m_pToolBar;
}

void VorexToolbar::EnableVorexReplay(bool enable)
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::EnableVorexReplay %1").arg(Flag(enable)));
    if (auto replayFlag = m_pReplayFlag.Lock())
        replayFlag->Set(enable, this);
    SetReplayAllowed(enable);
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::EnableVorexReplay"));
}

void VorexToolbar::EnableVorexToolbar(bool enable)
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::EnableVorexToolbar %1").arg(Flag(enable)));
    m_bToolbarEnabledByFlag = enable;
    UpdateToolbarEnabled();
    RecordReplayAllModesValueChanged(false);
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::EnableVorexToolbar %1").arg(Flag(enable)));
}

void VorexToolbar::SetReplayTime_ValuePath(const QString& path)
{
    if (m_pReplayBar)
        m_pReplayBar->SetReplayTime_ValuePath(path);
}

void VorexToolbar::SetFileOpenDialogAllowed(bool allowed)
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetFileOpenDialogAllowed %1").arg(Flag(allowed)));
    m_bOpenFileDialogAllowed = allowed;
    SetOpenFileButton(allowed);
}

QString VorexToolbar::ChannelErrorText(int code)
{
    // Translated once, on first use.
    static const QStringList texts = {
        QString(),
        tr("Vorex toolbar is deactivated because the Vorex Manager is not reachable (C). Please check if it is started."),
        tr("Vorex toolbar is deactivated because the registration at the Vorex Manager failed."),
        tr("Vorex toolbar is deactivated because of configurations errors. Please check the configuration."),
        tr("Vorex toolbar is deactivated because the Vorex Manager is not reachable (VT). Please check if it is started."),
        tr("Vorex toolbar is deactivated because of internal errors."),
    };
    return (code >= 0 && code <= 4) ? texts.at(code) : texts.at(5);
}

void VorexToolbar::SetChannelError(int code)
{
    const bool hadError = !m_channelErrorText.isEmpty();
    m_channelErrorText = ChannelErrorText(code);
    if (m_channelErrorText.isEmpty())
        VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::SetChannelError called with NO ERROR. Everything honky dory!"));
    else
        VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::SetChannelError called with ") + m_channelErrorText);

    if (hadError && m_channelErrorText.isEmpty() && m_pToolBar) {
        // The error disabled every widget of the bar, also those that no
        // enablement rule governs (name field, counter, replay bar, disc
        // space). Give them back before the rules decide again.
        for (QWidget* widget : m_pToolBar->findChildren<QWidget*>()) {
            auto* button = qobject_cast<QToolButton*>(widget);
            widget->setEnabled(button && button->defaultAction() ? button->defaultAction()->isEnabled() : true);
        }
    }
    UpdateToolbarEnabled();
    if (hadError && m_channelErrorText.isEmpty()) {
        InitializeToolbarButtons();
        RecordReplayAllModesValueChanged(false);
    }
}

void VorexToolbar::Show(bool show)
{
    if (m_pToolBar)
        m_pToolBar->setVisible(show);
}

bool VorexToolbar::IsChannelConnected()
{
    return m_spConnectionData && m_spConnectionData->IsChannelConnected();
}

bool VorexToolbar::IsDeviceConnected()
{
    return m_spConnectionData && m_spConnectionData->IsDeviceConnected();
}

QString VorexToolbar::GetToolbarModeValuePath()
{
    return m_strModesPath;
}

void VorexToolbar::InitializeToolbarButtons()
{
    SetReplayAllowed(m_bReplayAllowed);
    SetRecordButton(m_bRecordingAllowed);
    SetStopButton();
    SetCopyButton();
    SetPauseButton();
    SetHistoryButton();
}

// ---------------------------------------------------------------------------
// Slots
// ---------------------------------------------------------------------------

void VorexToolbar::Slot_OnOpenFileDialogClicked()
{
    CreateOpenFileDialog();
}

void VorexToolbar::Slot_OnShowErrorInformation()
{
    QString caption = tr("Vorex toolbar");
    if (QWidget* dialog = ErrorHandler::Instance()->GetMessageDlg())
        caption = dialog->windowTitle();
    QMessageBox box(QMessageBox::Information, caption, m_channelErrorText, QMessageBox::Ok);
    box.exec();
}

void VorexToolbar::sl_connectionEstablished(const QString& name)
{
    VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::sl_connectionEstablished %1").arg(name));
    m_bConnected = true;
    UpdateToolbar();
}

void VorexToolbar::sl_connectionDisconnected(const QString& name)
{
    VRX_TRACE_WARNING(QStringLiteral("!!!!!!>>>> VorexToolbar::sl_connectionDisconnected %1  <<<<!!!!!!!").arg(name));
    m_bConnected = false;
    SetStopped();
    DisableToolbar();
}

void VorexToolbar::Slot_OnUpdateRights(const QString& sEvent)
{
    if (sEvent != QLatin1String("User logged on") && sEvent != QLatin1String("User changed")
        && sEvent != QLatin1String("Login to same account - ignoring"))
        return;
    SetHistoryButton();
    SetFileOpenDialogAllowed(UMM::ActiveUserProxy::instance()->GetAccessLevel(kOpenFileRight) >= 1);
}

void VorexToolbar::slotRemoveCurrentRecord()
{
    SetRecordName(QString());
    if (m_pRecordCounter)
        m_pRecordCounter->SetDuration(0);
}

void VorexToolbar::slotChannelDeleted()
{
    ResetObservers();
    m_bToolbarObserversAdded = false;
    UpdateToolbarEnabled();
    InitializeToolbarButtons();
    SwitchButtons(false);
}

void VorexToolbar::slotChannelUpdated()
{
    UpdateToolbar();
}

void VorexToolbar::slotRecordChanged()
{
    SetHistoryButton();
    SetCopyButton();
}

// The duration display follows the record data once record naming and
// duration are in place.
void VorexToolbar::SetDuration() {}

// ---------------------------------------------------------------------------
// Value-tree bindings
// ---------------------------------------------------------------------------

bool VorexToolbar::SetChannelId_ValuePath(const QString& path)
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::SetChannelId_ValuePath %1").arg(path));
    VorexToolbarChannelConnector::SetChannelId_ValuePath(path);
    if (m_pReplayHandler)
        m_pReplayHandler->Initialize(GetChannelId());
    ReassignChannelIdPath(path);
    if (m_spConnectionData)
        m_spConnectionData->SetChannelId_ValuePath(path);
    if (m_pReplayBar)
        m_pReplayBar->SetChannelId_ValuePath(path);
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::SetChannelId_ValuePath %1").arg(path));
    return true;
}

void VorexToolbar::ReassignChannelIdPath(const QString& path)
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::ReassignChannelIdPath ()"));
    m_strFileSizePath = Join(path, kFileSizeInKB);
    m_strRecordIdPath = Join(path, kRecordID);
    VRX_TRACE_FLOW(m_strRecordIdPath);
    m_strDeviceIdPath = Join(path, kDeviceID);
    m_strNoOfReplaysPath = Join(path, kNoOfReplays);
    m_strDataRateClassPath = Join(path, kDataRateClass);
    m_strAllowedDevicesPath = Join(path, kAllowedDevices);
    m_strRecordNamePath = Join(path, kRecordName);
    m_strRecordFlagPath = Join(path, kRecordFlag);
    m_strReplayFlagPath = Join(path, kReplayFlag);
    m_strPauseSupportedPath = Join(path, kPauseSupported);
    m_strErrorCodePath = Join(path, kErrorCode);
    m_strModesPath = Join(path, kRecordReplayModes);
    m_strAllModesPath = Join(path, kAllRecordReplayModes);
    m_strReplayModePath = Join(path, kReplayMode);
    m_strExternalTriggerPath = Join(path, kTriggeredByCorbaCall);
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::ReassignChannelIdPath ()"));
}

bool VorexToolbar::AllConnectionsEstablished()
{
    return m_bConnected && m_bToolbarObserversAdded;
}

void VorexToolbar::UpdateToolbar()
{
    if (!m_bConnected)
        return;
    VRX_TRACE_FLOW(QStringLiteral(" + VorexToolbar::UpdateToolbar()"));
    try {
        if (!m_bToolbarObserversAdded && AddChannelObservers()) {
            m_bToolbarObserversAdded = true;
            auto recordFlag = m_pRecordFlag.Lock();
            SetRecordingAllowed(recordFlag ? recordFlag->Get() : m_bRecordingAllowed);
            auto replayFlag = m_pReplayFlag.Lock();
            SetReplayAllowed(replayFlag ? replayFlag->Get() : m_bReplayAllowed);
            SetSelectionValuePaths();
        }
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("Unknown Exception in VorexToolbar::UpdateToolbar()"));
    }
    VorexManagerDataAvailable();
    VRX_TRACE_FLOW(QStringLiteral(" - VorexToolbar::UpdateToolbar()"));
}

bool VorexToolbar::AddChannelObservers()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::AddObservers()"));
    // The toolbar's own channel values are bound by the value-tree binding
    // step; until then only the connector's values are followed.
    const bool chain = VorexToolbarChannelConnector::AddChannelObservers();
    m_bToolbarEnabledByWorkflow = true;
    UpdateToolbarEnabled();
    return chain;
}

void VorexToolbar::ResetObservers()
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar:ResetObservers"));
    try {
        VorexToolbarChannelConnector::ResetObservers();
        m_bToolbarObserversAdded = false;
        m_pDataRateClass.Reset();
        m_pAllowedDevices.Reset();
        m_pRecordFlag.Reset();
        m_pReplayFlag.Reset();
        m_pPauseSupported.Reset();
        m_pErrorCode.Reset();
        m_pModes.Reset();
        m_pRecordReplayAllModes.Reset();
        m_pFileSize.Reset();
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("!!! Exception caught in VorexToolbar::ResetObservers !!!"));
    }
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::ResetObservers()"));
}

void VorexToolbar::Update(Observable* observable, TChangeCode code)
{
    // The dispatch to the toolbar's own handlers comes with the value-tree
    // bindings; the connector follows its values already.
    VorexToolbarChannelConnector::Update(observable, code);
}

void VorexToolbar::SetSelectionValuePaths()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::SetSelectionValuePaths()"));
    if (m_pStopButton)
        m_pStopButton->SetSelection_ValuePath(m_strModesPath, ModeKey(5), ModeKey(5));
    if (m_pPauseButton)
        m_pPauseButton->SetSelection_ValuePath(m_strModesPath, ModeKey(2), ModeKey(0));
    if (m_pReplayCombo) {
        m_pReplayCombo->SetSelection_ValuePath(m_strModesPath, ModeKey(0), ModeKey(5), Pictures::ReplayPressed,
                                               Pictures::Replay);
        m_pReplayCombo->AddSelection(ModeKey(1), ModeKey(5), Pictures::ContinuousReplayPressed,
                                     Pictures::ContinuousReplay);
    }
    if (m_pRecordCombo) {
        m_pRecordCombo->SetSelection_ValuePath(m_strModesPath, ModeKey(3), ModeKey(5), Pictures::RecordPressed,
                                               Pictures::Record);
        m_pRecordCombo->AddSelection(ModeKey(4), ModeKey(5), Pictures::ContinuousRecordPressed,
                                     Pictures::ContinuousRecord);
    }
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::SetSelectionValuePaths()"));
}

void VorexToolbar::VorexManagerDataAvailable()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::VorexManagerDataAvailable()"));
    try {
        if (AllConnectionsEstablished()) {
            InitializeToolbarButtons();
            if (auto modes = m_pModes.Lock()) {
                const long key = modes->GetCurrentKey();
                RecordReplayAllModesValueChanged(false);
                if (key != ModeKey(5))
                    modes->SelectIndex(key, this);
            } else {
                VRX_TRACE_WARNING(QStringLiteral("ERROR in VorexToolbar::VorexManagerDataAvailable: m_pModes is NULL!!!"));
            }
        }
    } catch (...) {
        VRX_TRACE_WARNING(QStringLiteral("Unknown Exception in VorexToolbar::VorexManagerDataAvailable"));
    }
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::VorexManagerDataAvailable()"));
}

// The single observers are completed with the value-tree bindings.
bool VorexToolbar::AddReplayFlagObserver() { return m_pReplayFlag.IsAttached(); }
bool VorexToolbar::AddRecordFlagObserver() { return m_pRecordFlag.IsAttached(); }
bool VorexToolbar::AddDataRateClassObserver() { return m_pDataRateClass.IsAttached(); }
bool VorexToolbar::AddAllowedDevicesObserver() { return m_pAllowedDevices.IsAttached(); }
bool VorexToolbar::AddDeviceIdObserver() { return false; }
bool VorexToolbar::AddRecordReplayModesObservers() { return false; }

bool VorexToolbar::SetAllowedDevices()
{
    auto allowed = m_pAllowedDevices.Lock();
    if (!allowed)
        return false;
    switch (allowed->GetState()) {
    case values::eStateNormal:
        if (m_pDeviceHandler)
            m_pDeviceHandler->SetAllowedDevices(allowed->Get().split(QLatin1Char('@'), Qt::SkipEmptyParts));
        break;
    case values::eStateDisabled:
        if (m_pDeviceHandler)
            m_pDeviceHandler->AllowAllDevices();
        break;
    default:
        break;
    }
    return true;
}

QString VorexToolbar::GetFirstDevice()
{
    return m_pDeviceHandler ? m_pDeviceHandler->GetFirstDevice(m_strSubsystem) : QString();
}

bool VorexToolbar::IsExternalCall()
{
    auto trigger = values::Tree::Instance()->FindValueAs<values::Value<bool>>(m_strExternalTriggerPath);
    if (!trigger) {
        VRX_TRACE_WARNING(QStringLiteral("m_pExternalTrigger is still null"));
        return false;
    }
    return trigger->Get();
}

// ---------------------------------------------------------------------------
// Mode state machine
// ---------------------------------------------------------------------------

bool VorexToolbar::IsRecordMode()
{
    auto modes = m_pModes.Lock();
    if (!modes)
        return false;
    const long key = modes->GetCurrentKey();
    return key == ModeKey(3) || key == ModeKey(4);
}

bool VorexToolbar::IsReplayMode()
{
    auto modes = m_pModes.Lock();
    if (!modes)
        return false;
    const long key = modes->GetCurrentKey();
    return key == ModeKey(0) || key == ModeKey(1);
}

bool VorexToolbar::IsPauseMode()
{
    auto modes = m_pModes.Lock();
    return modes && modes->GetCurrentKey() == ModeKey(2);
}

bool VorexToolbar::IsStopMode()
{
    auto modes = m_pModes.Lock();
    return modes && modes->GetCurrentKey() == ModeKey(5);
}

bool VorexToolbar::GetReplayMode(ReplayMode& mode)
{
    auto selection = m_replayModeSelection.Lock();
    if (!selection)
        return false;
    mode = static_cast<ReplayMode>(selection->GetCurrentKey() & 0xff);
    return true;
}

bool VorexToolbar::IsReplaying()
{
    ReplayMode mode = VOREX_XML::Admin::eReplayMode_Stopped;
    return GetReplayMode(mode) && mode != VOREX_XML::Admin::eReplayMode_Stopped;
}

bool VorexToolbar::IsReplayContinousMode()
{
    auto replays = values::Tree::Instance()->FindValueAs<values::Value<int>>(m_strNoOfReplaysPath);
    return replays && replays->Get() == 0;
}

void VorexToolbar::RecordReplayAllModesValueChanged(bool /*fromValueTree*/)
{
    if (!m_pRecordReplayAllModes || IsReplaying())
        return;
    // The looks of the recording states come with the mode state machine.
}

// The handlers below come with the mode state machine and the record and
// replay requests; until then a request changes nothing.
void VorexToolbar::RecordReplayModeValueChanged() {}
void VorexToolbar::ReplayModeChanged(const ReplayMode& /*mode*/) {}
void VorexToolbar::StartCorbaReplay(const DataRate& /*rate*/, const int& /*retries*/) {}
void VorexToolbar::SynchronizeToolbar(RecordReplayMode /*mode*/) {}
void VorexToolbar::SetModeRecordStarting() {}
void VorexToolbar::SetModeRecordStopping() {}
void VorexToolbar::SetModeRecord(bool /*fromValueTree*/) {}
void VorexToolbar::SetModeStopped() {}
void VorexToolbar::SetModeStopReplay() {}
void VorexToolbar::SetModeReplayStarting() {}
void VorexToolbar::SetModeReplay() {}
void VorexToolbar::SetModePaused() {}
void VorexToolbar::SetModePauseReplay() {}
void VorexToolbar::SetModeReplayStopping() {}

void VorexToolbar::SetStopped()
{
    if (auto modes = m_pModes.Lock())
        modes->SelectIndex(ModeKey(5), this);
}

bool VorexToolbar::PrepareForReplay(const RecordReplayAllModes& /*running*/) { return false; }
bool VorexToolbar::PrepareForContinuousReplay(const RecordReplayAllModes& /*running*/) { return false; }

bool VorexToolbar::PrepareForPauseReplay() const
{
    auto selection = m_replayModeSelection.Lock();
    return selection && (selection->GetCurrentKey() & 0xff) == VOREX_XML::Admin::eReplayMode_Running;
}

bool VorexToolbar::PrepareForRecord(const RecordReplayAllModes& /*running*/, RecordReplayAllModes& /*target*/) { return false; }
bool VorexToolbar::PrepareForContinuousRecord(const RecordReplayAllModes& /*running*/, RecordReplayAllModes& /*target*/) { return false; }
bool VorexToolbar::StopActivity(RecordReplayAllModes& /*state*/) { return false; }
bool VorexToolbar::StartNormalRecording(quint32 /*sizeLimit*/) { return false; }
bool VorexToolbar::StartContinuousRecording() { return false; }
bool VorexToolbar::StartNormalReplay(int /*noOfReplays*/) { return false; }

bool VorexToolbar::StartContinuousReplay()
{
    return StartNormalReplay(0);
}

VorexToolbar::DataRate VorexToolbar::GetValidatedDataRateClass()
{
    return VOREX_XML::VOREX_RecordData::NameToDataRate(m_strDataRateClass);
}

// ---------------------------------------------------------------------------
// Enablement
// ---------------------------------------------------------------------------

void VorexToolbar::EnableToolbar()
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::EnableToolbar"));
    if (m_pToolBar && !m_pToolBar->isEnabled())
        m_pToolBar->unsetCursor();
    m_bToolbarEnabledByWorkflow = true;
    UpdateToolbarEnabled();
}

void VorexToolbar::DisableToolbar()
{
    VRX_TRACE_FLOW(QStringLiteral("+ VorexToolbar::DisableToolbar"));
    if (m_pToolBar && m_pToolBar->isEnabled())
        m_pToolBar->setCursor(QCursor(Qt::WaitCursor));
    m_bToolbarEnabledByWorkflow = false;
    UpdateToolbarEnabled();
    VRX_TRACE_FLOW(QStringLiteral("- VorexToolbar::DisableToolbar"));
}

void VorexToolbar::UpdateToolbarEnabled()
{
    if (!m_pToolBar)
        return;
    QWidget* errorWidget = m_pToolBar->widgetForAction(m_pErrorAction);

    if (m_channelErrorText.isEmpty()) {
        const bool enabled = m_bToolbarEnabledByWorkflow && m_bToolbarEnabledByFlag;
        m_pToolBar->setEnabled(enabled);
        VRX_TRACE_WARNING(QStringLiteral("m_bToolbarEnabledByWorkflow : %1")
                              .arg(m_bToolbarEnabledByWorkflow ? QStringLiteral("true") : QStringLiteral("false")));
        VRX_TRACE_WARNING(QStringLiteral("m_bToolbarEnabledByFlag : %1")
                              .arg(m_bToolbarEnabledByFlag ? QStringLiteral("true") : QStringLiteral("false")));
        VRX_TRACE_WARNING(QStringLiteral("VorexToolbar::UpdateToolbarEnabled %1 toolbar.")
                              .arg(enabled ? QStringLiteral(">> enabling <<") : QStringLiteral(">> disabling <<")));
        if (enabled) {
            if (m_pDeviceCombo) {
                for (QWidget* widget : m_pDeviceCombo->findChildren<QWidget*>())
                    widget->setEnabled(true);
            }
            // Asked of the action too: the bar may be hidden by the host, or
            // not laid out yet since the action was shown, and the button
            // must go all the same.
            if ((errorWidget && !errorWidget->isHidden()) || m_pErrorAction->isVisible()) {
                if (errorWidget) {
                    errorWidget->hide();
                    errorWidget->setEnabled(false);
                }
                m_pErrorAction->setVisible(false);
            }
        }
        return;
    }

    m_pToolBar->setEnabled(true);
    for (QWidget* widget : m_pToolBar->findChildren<QWidget*>())
        widget->setEnabled(false);
    if (errorWidget) {
        errorWidget->show();
        errorWidget->setEnabled(true);
    }
    m_pErrorAction->setVisible(true);
}

bool VorexToolbar::IsBaseEnabled()
{
    return m_channelErrorText.isEmpty() && AllConnectionsEstablished() && m_bToolbarEnabledByFlag
        && m_bToolbarEnabledByWorkflow;
}

void VorexToolbar::SetRecordButton(bool allowed)
{
    if (!m_pRecordCombo)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetRecordButton %1").arg(Flag(allowed)));
    m_pRecordCombo->setEnabled(IsBaseEnabled() && m_bRecordFlagValid && allowed && !IsReplaying());
}

void VorexToolbar::SetReplayButton(bool allowed)
{
    if (!m_pReplayCombo)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetReplayButton %1").arg(Flag(allowed)));
    m_pReplayCombo->setEnabled(IsBaseEnabled() && m_bReplayFlagValid && allowed && !IsRecordMode());
}

void VorexToolbar::SetOpenFileButton(bool allowed)
{
    if (!m_pOpenFileAction)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetOpenFileButton %1").arg(Flag(allowed)));
    m_pOpenFileAction->setEnabled(IsBaseEnabled() && m_bReplayFlagValid && allowed && m_bOpenFileDialogAllowed
                                  && !IsReplaying() && !IsRecordMode());
}

void VorexToolbar::SetPauseButton()
{
    if (!m_pPauseButton)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetPauseButton"));
    ReplayMode mode = VOREX_XML::Admin::eReplayMode_Stopped;
    const bool replayRunsOrPaused = GetReplayMode(mode)
        && (mode == VOREX_XML::Admin::eReplayMode_Paused || mode == VOREX_XML::Admin::eReplayMode_Running);
    auto pauseSupported = m_pPauseSupported.Lock();
    m_pPauseButton->setEnabled(IsBaseEnabled() && replayRunsOrPaused && pauseSupported && pauseSupported->Get());
}

void VorexToolbar::SetStopButton()
{
    if (!m_pStopButton)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetStopButton"));
    const bool activity = IsReplayMode() || IsRecordMode() || IsPauseMode();
    const bool permitted = (m_bRecordingAllowed && m_bRecordFlagValid) || (m_bReplayAllowed && m_bReplayFlagValid);
    m_pStopButton->setEnabled(IsBaseEnabled() && activity && permitted);
}

void VorexToolbar::SetCopyButton()
{
    if (!m_pReplayBar)
        return;
    m_pReplayBar->SetEditAllowed(IsBaseEnabled() && !m_recordId.isEmpty() && !IsRecordMode());
}

void VorexToolbar::SetHistoryButton()
{
    if (!m_pHistoryAction)
        return;
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetHistoryButton"));
    const bool permitted = (m_bRecordingAllowed && m_bRecordFlagValid) || (m_bReplayAllowed && m_bReplayFlagValid);
    m_pHistoryAction->setEnabled(IsBaseEnabled() && !m_recordId.isEmpty() && permitted
                                 && UserRights::Instance()->HistoryCommentAllowed());
}

void VorexToolbar::SetRecordingAllowed(bool allowed)
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetRecordingAllowed : %1").arg(Flag(allowed)));
    m_bRecordingAllowed = allowed;
    SetRecordButton(m_bRecordingAllowed);
    SetPauseButton();
    SetStopButton();
    SetCopyButton();
    SetHistoryButton();
}

void VorexToolbar::SetReplayAllowed(bool allowed)
{
    VRX_TRACE_FLOW(QStringLiteral("VorexToolbar::SetReplayAllowed %1").arg(Flag(allowed)));
    m_bReplayAllowed = allowed;
    ReplayMode mode = VOREX_XML::Admin::eReplayMode_Stopped;
    const bool paused = GetReplayMode(mode) && mode == VOREX_XML::Admin::eReplayMode_Paused;
    SetOpenFileButton(m_bReplayAllowed);
    SetReplayButton(m_bReplayAllowed || paused);
    SetStopButton();
    SetCopyButton();
    SetPauseButton();
    SetHistoryButton();
}

void VorexToolbar::StateNormal(Observable* observable)
{
    UpdateToolbar();
    if (observable && observable == m_pRecordFlag.get()) {
        m_bRecordFlagValid = true;
        if (auto flag = m_pRecordFlag.Lock())
            SetRecordingAllowed(flag->Get());
    } else if (observable && observable == m_pReplayFlag.get()) {
        m_bReplayFlagValid = true;
        if (auto flag = m_pReplayFlag.Lock())
            SetReplayAllowed(flag->Get());
    }
    ReplayMode mode = VOREX_XML::Admin::eReplayMode_Stopped;
    if (GetReplayMode(mode))
        ReplayModeChanged(mode);
}

void VorexToolbar::StateDisabled(Observable* observable)
{
    if (observable && observable == m_pRecordFlag.get()) {
        m_bRecordFlagValid = false;
        if (auto flag = m_pRecordFlag.Lock())
            SetRecordingAllowed(flag->Get());
    } else if (observable && observable == m_pReplayFlag.get()) {
        m_bReplayFlagValid = false;
        if (auto flag = m_pReplayFlag.Lock())
            SetReplayAllowed(flag->Get());
    }
}

void VorexToolbar::SwitchButtons(bool on)
{
    SetOpenFileButton(on);
    SetReplayButton(on);
    SetRecordButton(on);
    SetPauseButton();
    SetStopButton();
    SetCopyButton();
    SetHistoryButton();

    const bool enable = on && m_channelErrorText.isEmpty();
    if (m_pRecordCounter)
        m_pRecordCounter->setEnabled(enable);
    if (m_pDiscSpaceBar)
        m_pDiscSpaceBar->setEnabled(enable);
    if (m_pReplayBar)
        m_pReplayBar->setEnabled(enable);

    if (!on) {
        if (auto modes = m_pModes.Lock())
            VTHelper::Instance().SafeSetValue(modes.get(), ModeKey(5), nullptr);
        if (m_pRecordCounter)
            m_pRecordCounter->StopCounter();
    }
}

// ---------------------------------------------------------------------------
// Errors
// ---------------------------------------------------------------------------

// Error codes of the channel and manager refusals are shown once error
// reporting is in place.
void VorexToolbar::DisplayError() {}
void VorexToolbar::SetStopOnErrorFromServer(const unsigned long& /*code*/) {}

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

// Asking for the name of a new recording and the record selection dialog
// come with record naming; until then nothing is asked.
void VorexToolbar::EnterRecordName() {}

bool VorexToolbar::CreateOpenFileDialog()
{
    return false;
}

} // namespace VorexGUI
