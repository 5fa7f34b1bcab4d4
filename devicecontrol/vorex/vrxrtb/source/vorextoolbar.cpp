#include "vorextoolbar.h"
#include "vorextoolbar_p.h"

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
#include <QTimer>
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

using namespace ToolbarDetail;

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
    , m_pAnswerTimer(nullptr)
    , m_bRecordKnown(false)
{
    TranslationCenter::Instance()->RegisterTranslation(kTranslationName);
    setObjectName(QStringLiteral("VorexToolbarWidget"));

    // A sibling of this widget, so the host can dock it while this widget
    // stays hidden. It is filled inside a hidden holder and handed to
    // `parent` only then: QToolBar::addWidget takes each control out of its
    // window and back, and Qt walks that window's whole focus chain every
    // time; in the host's window, which holds all other toolbars, building N
    // toolbars would cost O(N^2).
    QWidget holder;
    m_pToolBar = new QToolBar(parent ? &holder : nullptr);
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
    // A record the value named before the manager listed it becomes usable;
    // a record renamed elsewhere shows its new name.
    connect(this, SIGNAL(signalRecordDataUpdated()), this, SLOT(slotCurrentRecordDataChanged()));
    connect(this, SIGNAL(signalChannelUpdated()), this, SLOT(slotChannelUpdated()));
    connect(this, SIGNAL(signalChannelDeleted()), this, SLOT(slotChannelDeleted()));

    m_pAnswerTimer = new QTimer(this);
    m_pAnswerTimer->setObjectName(QStringLiteral("VorexAnswerTimer"));
    m_pAnswerTimer->setSingleShot(true);
    m_pAnswerTimer->setInterval(kAnswerTimeoutMs);
    connect(m_pAnswerTimer, SIGNAL(timeout()), this, SLOT(slotAnswerOverdue()));

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
    if (parent)
        m_pToolBar->setParent(parent);

    m_pToolBar->setFocusPolicy(Qt::TabFocus);
    // A Tab stop of its own: a screen reader says what it is (a host that
    // knows the channel's name may say that instead). The bar draws no focus
    // of its own; the focus lands on its first control, which does.
    m_pToolBar->setAccessibleName(tr("Recorder toolbar"));
    if (m_pDeviceCombo)
        m_pToolBar->setFocusProxy(m_pDeviceCombo);
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
        // Left to the bar, each control it holds would be taken out of the
        // host's window first, a walk of that window's whole focus chain.
        QWidget* const controls[] = {m_pDeviceCombo, m_pDiscSpaceBar, m_pStopButton, m_pRecordCombo,
                                     m_pReplayCombo, m_pPauseButton, m_pRecordNameEdit};
        for (QWidget* control : controls)
            delete control;
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
    // Style sheets and automation find the button by this name: it must not
    // change with the language (the button's text may).
    m_pStopButton->setObjectName(QStringLiteral("VorexStop"));
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
    m_pPauseButton->setObjectName(QStringLiteral("VorexPause"));
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

    // Keyboard use: the action buttons take the focus like the other
    // controls and carry a name for screen readers (they show only their
    // pictures); Tab follows the order on screen, not the order of building.
    const QList<QPair<QAction*, QString>> named = {{m_pErrorAction, tr("Error information")},
                                                   {m_pOpenFileAction, tr("Select record")},
                                                   {m_pHistoryAction, tr("Record history")}};
    for (const auto& action : named) {
        if (QWidget* button = m_pToolBar->widgetForAction(action.first)) {
            button->setFocusPolicy(Qt::TabFocus);
            button->setAccessibleName(action.second);
        }
    }
    const QList<QWidget*> order = {m_pDeviceCombo, m_pToolBar->widgetForAction(m_pOpenFileAction), m_pStopButton,
                                   m_pRecordCombo, m_pReplayCombo, m_bWithPauseButton ? m_pPauseButton : nullptr,
                                   m_pToolBar->widgetForAction(m_pHistoryAction), m_pRecordNameEdit,
                                   m_pReplayBar->GetReplayBar(), m_pReplayBar->GetEditButton()};
    QWidget* previous = nullptr;
    for (QWidget* widget : order) {
        if (!widget)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
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
    // The permission is already part of the rule; handing it in as the
    // rule's argument as well would stand in for the manager's ReplayFlag and
    // offer the dialog on a channel that may not replay.
    SetOpenFileButton(m_bReplayAllowed);
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
    // The rules run in both directions: under an error they also disable the
    // actions themselves, not only their buttons, so that nothing can
    // trigger them while the channel is unusable.
    InitializeToolbarButtons();
    if (hadError && m_channelErrorText.isEmpty())
        RecordReplayAllModesValueChanged(false);
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
    // A deleted channel switched these two off; nothing else gives them back
    // once the channel is bound again.
    if (AllConnectionsEstablished() && m_channelErrorText.isEmpty()) {
        if (m_pRecordCounter)
            m_pRecordCounter->setEnabled(true);
        if (m_pDiscSpaceBar)
            m_pDiscSpaceBar->setEnabled(true);
    }
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
    // What was asked of the manager is lost with it.
    if (IsWaitingForAnswer())
        FailPendingRequest(VorexCommon::RecorderManagerBackend::eResult_NotConnected);
    SetStopped();
    DisableToolbar();
    // The rules run again without the connection (SetStopped does so only
    // while the modes are bound): a later mode change that enables the bar
    // must not give back controls for a channel nobody serves.
    InitializeToolbarButtons();
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
    SetHistoryButton();
    SetCopyButton();
}

// Record data updates come with every replay state; the rules run again
// only when the current record came into or went out of the manager's list,
// and the name field changes only when the record's name did.
void VorexToolbar::slotCurrentRecordDataChanged()
{
    if (HasCurrentRecord() != m_bRecordKnown) {
        SetHistoryButton();
        SetCopyButton();
    }
    if (m_bRecordKnown && m_pRecordNameEdit && !IsRecordInProgress()) {
        const std::shared_ptr<VOREX_XML::VOREX_RecordData> data = GetCurrentRecordData();
        if (data && data->GetRecordName() != m_pRecordNameEdit->text())
            SetRecordName(data->GetRecordName());
    }
}

void VorexToolbar::slotChannelDeleted()
{
    // Nothing asked of the manager for this channel can be answered now.
    m_pAnswerTimer->stop();
    if (m_pToolBar)
        m_pToolBar->unsetCursor();
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
    ShowCurrentRecord();
}

} // namespace VorexGUI
