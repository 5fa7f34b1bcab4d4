#include "hostwindow.h"

#include "base.h"
#include "managerchild.h"
#include "vorexclient.h"

#include "recordermanagersimulator.h"
#include "umm.h"
#include "values.h"
#include "vrxrtb_dll.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace {

HostWindow::CloseAnswerHook& closeAnswerHook()
{
    static HostWindow::CloseAnswerHook hook;
    return hook;
}

// The inner main window the bars dock in: its toolbar context menu lists the
// channels' bars only, not the bars that carry their labels.
class ChannelDock : public QMainWindow
{
public:
    explicit ChannelDock(QWidget* parent) : QMainWindow(parent, Qt::Widget) { setObjectName(QStringLiteral("HostChannelDock")); }

    QMenu* createPopupMenu() override
    {
        auto* menu = new QMenu(this);
        for (QToolBar* bar : findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly))
            if (toolBarArea(bar) != Qt::NoToolBarArea && bar->toggleViewAction()->isVisible())
                menu->addAction(bar->toggleViewAction());
        return menu;
    }
};

} // namespace

void HostWindow::SetCloseAnswerHook(CloseAnswerHook hook)
{
    closeAnswerHook() = std::move(hook);
}

HostWindow::HostWindow()
{
    setWindowTitle(tr("Recorder toolbar demo host"));
    m_pScroll = new QScrollArea(this);
    m_pScroll->setObjectName(QStringLiteral("HostChannelScrollArea"));
    m_pScroll->setWidgetResizable(true);
    m_pDock = new ChannelDock(m_pScroll);
    m_pScroll->setWidget(m_pDock);
    // A lost connection greys every bar; the banner above them says why,
    // where the operator is looking, in both light and dark palettes.
    m_pConnectionBanner = new QLabel(tr("No connection to the recorder manager: the toolbars are off until it is back."));
    m_pConnectionBanner->setObjectName(QStringLiteral("HostConnectionBanner"));
    m_pConnectionBanner->setStyleSheet(QStringLiteral("QLabel { background: #b00020; color: white; font-weight: bold; padding: 4px; }"));
    m_pConnectionBanner->hide();
    connect(VorexCommon::RecorderManagerEvents::Instance(), &VorexCommon::RecorderManagerEvents::si_connectionChanged, this,
            [this](bool connected) { m_pConnectionBanner->setVisible(!connected); });
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pConnectionBanner);
    layout->addWidget(m_pScroll);
    setCentralWidget(central);
    resize(1200, 160);
}

HostWindow::~HostWindow()
{
    Shutdown();
}

QString HostWindow::ChannelPath(int index)
{
    return QStringLiteral("/Receivers/Channel%1").arg(index + 1);
}

QString HostWindow::ReplayTimePath(int index)
{
    return QStringLiteral("/Host/Channel%1/ReplayTime").arg(index + 1);
}

QString HostWindow::ChannelName(int index)
{
    return tr("Channel %1").arg(index + 1);
}

bool HostWindow::LoadPlugin(const QString& path, QString& error)
{
    m_library.setFileName(path);
    if (!m_library.load()) {
        error = tr("cannot load the plug-in module %1: %2").arg(path, m_library.errorString());
        return false;
    }
    m_create = reinterpret_cast<ARCreateFunction>(m_library.resolve("ARCreate"));
    m_destroy = reinterpret_cast<ARDestroyFunction>(m_library.resolve("ARDestroy"));
    if (!m_create || !m_destroy) {
        error = tr("%1 is not a recorder toolbar plug-in (ARCreate/ARDestroy missing)").arg(path);
        m_library.unload();
        return false;
    }
    m_pInstance = m_create(L"VorexDemoHost");
    if (!m_pInstance) {
        error = tr("the plug-in could not create its instance");
        return false;
    }
    return true;
}

bool HostWindow::CreateToolbars(int channels, QString& error)
{
    auto* instance = static_cast<VRXRTB_DLL*>(m_pInstance);
    for (int i = 0; i < channels; ++i) {
        IVtClient* client = nullptr;
        IVRXRTB* toolbar = instance->CreateToolbar(m_pDock, QStringLiteral("VorexManager"),
                                                   QStringLiteral("VorexGui%1").arg(i + 1), client,
                                                   QStringLiteral("CH%1_").arg(i + 1), true);
        if (!toolbar) {
            error = tr("the plug-in could not create the toolbar of channel %1").arg(i + 1);
            return false;
        }
        m_toolbars.push_back(toolbar);
        m_vtClients.push_back(client);
        if (i > 0)
            m_pDock->addToolBarBreak();
        // The bar's title names it wherever Qt shows a bar by itself: in
        // the context menu, as a floating window, to a screen reader. The
        // label in front of it names it in the row.
        QToolBar* bar = toolbar->GetVorexToolbar();
        bar->setWindowTitle(ChannelName(i));
        bar->setAccessibleName(ChannelName(i)); // the bar is a Tab stop of its own
        auto* labelBar = new QToolBar(m_pDock);
        labelBar->setObjectName(QStringLiteral("HostChannelLabel%1").arg(i + 1));
        labelBar->setMovable(false);
        labelBar->toggleViewAction()->setVisible(false);
        auto* label = new QLabel(ChannelName(i), labelBar);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(ChannelName(kMaxChannelsShown - 1)) + 8);
        labelBar->addWidget(label);
        m_pDock->addToolBar(Qt::TopToolBarArea, labelBar);
        m_pDock->addToolBar(Qt::TopToolBarArea, bar);
        // The replay time is the host's; the manager may have made it already.
        if (!values::Tree::Instance()->FindValueAs<values::IValueNumeric>(ReplayTimePath(i)))
            values::Tree::Instance()->CreateValue<values::ValueNumeric<values::int64>>(ReplayTimePath(i), 0);
        toolbar->SetChannelId_ValuePath(ChannelPath(i));
        toolbar->SetReplayTime_ValuePath(ReplayTimePath(i));
        // A new bar is already enabled by its host; saying so again would
        // only make it re-evaluate and trace its enablement once more.
        toolbar->EnableVorexReplay(true);
        toolbar->SetFileOpenDialogAllowed(true);
    }
    createMenus();
    fitToScreen();
    return true;
}

QMenu* HostWindow::createPopupMenu()
{
    return m_pDock->createPopupMenu();
}

void HostWindow::fitToScreen()
{
    // As large as the bars want, up to a window that fits an ordinary
    // screen; the rest scrolls.
    const QSize dock = m_pDock->sizeHint();
    const int frame = 2 * m_pScroll->frameWidth();
    const int scrollBar = m_pScroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_pScroll);
    const int width = qBound(800, dock.width() + frame + scrollBar, kMaxWidth);
    const int height = qMin(menuBar()->sizeHint().height() + dock.height() + frame, kMaxHeight);
    resize(width, height);
}

std::vector<int> HostWindow::BusyChannels() const
{
    using VOREX_XML::Admin;
    std::vector<int> busy;
    for (size_t i = 0; i < m_toolbars.size(); ++i) {
        const QString path = ChannelPath(int(i));
        auto all = values::Tree::Instance()->FindValueAs<values::ValueSelection>(path + QStringLiteral("/AllRecordReplayModes"));
        auto replay = values::Tree::Instance()->FindValueAs<values::ValueSelection>(path + QStringLiteral("/ReplayMode"));
        const bool recording = all && all->GetCurrentKey() != Admin::eRecordReplayAllModes_Stopped;
        const bool replaying = replay && replay->GetCurrentKey() != Admin::eReplayMode_Stopped;
        if (recording || replaying)
            busy.push_back(int(i));
    }
    return busy;
}

void HostWindow::closeEvent(QCloseEvent* event)
{
    const std::vector<int> busy = BusyChannels();
    if (m_bStopsDone || busy.empty()) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (m_pStopWait)
        return; // the stops are under way
    QStringList names;
    for (int i : busy)
        names << ChannelName(i);
    QMessageBox box(QMessageBox::Question, windowTitle(),
                    tr("Still recording or replaying: %1.\n\nStop and close the window?")
                        .arg(names.join(QStringLiteral(", "))),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("HostCloseQuestion"));
    box.setDefaultButton(QMessageBox::No);
    const int answer = closeAnswerHook() ? closeAnswerHook()(box) : box.exec();
    if (answer != QMessageBox::Yes)
        return;
    // The manager confirms from its own event handling: wait for it without
    // blocking, then close for real.
    m_pendingStops = busy;
    m_stopWatch.start();
    m_pStopWait = new QTimer(this);
    m_pStopWait->setInterval(20);
    connect(m_pStopWait, &QTimer::timeout, this, &HostWindow::checkStopped);
    m_pStopWait->start();
    sendPendingStops();
}

bool HostWindow::stopChannel(int index, bool clickOnly)
{
    IVRXRTB* toolbar = m_toolbars[size_t(index)];
    // As the operator would: the bar's own stop button, so the bar goes
    // through the stop it knows. A bar that is still taking in a start
    // disables it for a moment: that is waited for. A bar that stays
    // disabled (the host switched it off) gets the stop mode selected in the
    // value the button writes.
    auto* stop = toolbar->GetVorexToolbar()->findChild<QAbstractButton*>(QStringLiteral("VorexStop"));
    if (stop && stop->isEnabled()) {
        stop->click();
        return true;
    }
    if (clickOnly)
        return false;
    auto mode = values::Tree::Instance()->FindValueAs<values::ValueSelection>(toolbar->GetToolbarModeValuePath());
    if (mode)
        mode->SelectIndex(VOREX_XML::Admin::eRecordReplayMode_Stop, nullptr);
    return true;
}

void HostWindow::sendPendingStops()
{
    const bool clickOnly = m_stopWatch.elapsed() < kStopWaitMs / 2;
    m_pendingStops.erase(std::remove_if(m_pendingStops.begin(), m_pendingStops.end(),
                                        [this, clickOnly](int i) { return stopChannel(i, clickOnly); }),
                         m_pendingStops.end());
}

void HostWindow::checkStopped()
{
    sendPendingStops();
    const std::vector<int> busy = BusyChannels();
    if (!busy.empty() && m_stopWatch.elapsed() < kStopWaitMs)
        return;
    if (!busy.empty()) {
        QStringList names;
        for (int i : busy)
            names << ChannelName(i);
        if (ErrorHandler::Instance()->IsTraceOn(ErrorHandler::TraceWarnings))
            _Q_Trace(QStringLiteral("closing without the manager's confirmation of the stop of %1").arg(names.join(QStringLiteral(", "))),
                     QStringLiteral(__FILE__), static_cast<unsigned short>(__LINE__));
    }
    // This runs from the timer's own signal.
    m_pStopWait->stop();
    m_pStopWait->deleteLater();
    m_pStopWait = nullptr;
    m_bStopsDone = true;
    close();
}

void HostWindow::createMenus()
{
    QMenu* hostMenu = menuBar()->addMenu(tr("&Host"));
    for (size_t i = 0; i < m_toolbars.size(); ++i) {
        IVRXRTB* toolbar = m_toolbars[i];
        QMenu* channelMenu = hostMenu->addMenu(tr("Channel %1").arg(i + 1));

        QAction* enable = channelMenu->addAction(tr("Toolbar enabled"));
        enable->setCheckable(true);
        enable->setChecked(true);
        connect(enable, &QAction::toggled, this, [toolbar](bool on) { toolbar->EnableVorexToolbar(on); });

        QAction* replay = channelMenu->addAction(tr("Replay allowed"));
        replay->setCheckable(true);
        replay->setChecked(true);
        connect(replay, &QAction::toggled, this, [toolbar](bool on) { toolbar->EnableVorexReplay(on); });

        QAction* openFile = channelMenu->addAction(tr("Record selection allowed"));
        openFile->setCheckable(true);
        openFile->setChecked(true);
        connect(openFile, &QAction::toggled, this, [toolbar](bool on) { toolbar->SetFileOpenDialogAllowed(on); });

        QMenu* errorMenu = channelMenu->addMenu(tr("Channel error"));
        auto* group = new QActionGroup(errorMenu);
        const char* names[] = {QT_TR_NOOP("0: no error"), "1", "2", "3", "4", QT_TR_NOOP("99: unknown code")};
        const int codes[] = {0, 1, 2, 3, 4, 99};
        for (int k = 0; k < 6; ++k) {
            QAction* a = errorMenu->addAction(tr(names[k]));
            a->setCheckable(true);
            a->setChecked(codes[k] == 0);
            group->addAction(a);
            const int code = codes[k];
            connect(a, &QAction::triggered, this, [toolbar, code] { toolbar->SetChannelError(code); });
        }
    }
    hostMenu->addSeparator();
    hostMenu->addAction(tr("&Quit"), this, &QWidget::close);
}

void HostWindow::Shutdown()
{
    for (IVRXRTB* toolbar : m_toolbars)
        delete toolbar;
    m_toolbars.clear();
    m_vtClients.clear();
    if (m_pInstance && m_destroy)
        m_destroy(m_pInstance);
    m_pInstance = nullptr;
    m_create = nullptr;
    m_destroy = nullptr;
    if (m_library.isLoaded()) {
        // Calls the plug-in posted before its toolbars died carry its code:
        // let them be delivered (and dropped) while the module is still there.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        m_library.unload();
    }
}

void HostWindow::AttachRemoteLink(VorexCommon::RemoteRecorderManagerLink* link, ManagerChild* child)
{
    QMenu* menu = menuBar()->addMenu(tr("&Manager"));
    QAction* connected = menu->addAction(tr("Connected"));
    connected->setCheckable(true);
    connected->setChecked(link->IsEnabled());
    connect(connected, &QAction::toggled, this, [link](bool on) { link->SetEnabled(on); });
    if (!child)
        return;
    menu->addSeparator();
    QAction* kill = menu->addAction(tr("Kill the manager process"));
    kill->setObjectName(QStringLiteral("HostKillManager"));
    QAction* start = menu->addAction(tr("Start the manager process again"));
    start->setObjectName(QStringLiteral("HostRestartManager"));
    const auto follow = [kill, start, child]() {
        kill->setEnabled(child->IsRunning());
        start->setEnabled(!child->IsRunning());
    };
    follow();
    connect(kill, &QAction::triggered, this, [child, follow]() {
        child->Kill();
        follow();
    });
    connect(start, &QAction::triggered, this, [this, child, follow]() {
        QString error;
        if (!child->Restart(error))
            QMessageBox::warning(this, tr("Manager"), error);
        follow();
    });
}

void HostWindow::AttachSimulator(VorexSim::RecorderManagerSimulator* simulator)
{
    if (simulator)
        createManagerMenu(simulator);
}

void HostWindow::createManagerMenu(VorexSim::RecorderManagerSimulator* sim)
{
    using VorexSim::RecorderManagerSimulator;
    QMenu* menu = menuBar()->addMenu(tr("&Manager"));

    QAction* connected = menu->addAction(tr("Connected"));
    connected->setCheckable(true);
    connected->setChecked(sim->IsConnected());
    connect(connected, &QAction::toggled, sim, [sim](bool on) { sim->SetConnected(on); });
    connect(VorexCommon::RecorderManagerEvents::Instance(), &VorexCommon::RecorderManagerEvents::si_connectionChanged,
            connected, [connected, sim](bool) {
                const QSignalBlocker block(connected);
                connected->setChecked(sim->IsConnected());
            });
    menu->addSeparator();

    for (int i = 0; i < sim->ChannelCount(); ++i)
        addChannelManagerMenu(menu->addMenu(tr("Channel %1").arg(i + 1)), sim, i);

    menu->addSeparator();
    QMenu* rights = menu->addMenu(tr("User rights"));
    struct Right
    {
        const char* text;
        const char* right;
    };
    for (const Right& r : {Right{QT_TR_NOOP("History comments allowed"), "VOREX_MANAGEMENT.addHistoryComment"},
                           Right{QT_TR_NOOP("Record selection allowed"), "VOREX_MANAGEMENT.selectOpenFileDlg"}}) {
        QAction* a = rights->addAction(tr(r.text));
        a->setCheckable(true);
        a->setChecked(UMM::ActiveUserProxy::instance()->GetAccessLevel(QString::fromLatin1(r.right)) >= 1);
        const QString right = QString::fromLatin1(r.right);
        connect(a, &QAction::toggled, this, [right](bool on) { RecorderManagerSimulator::SetUserRight(right, on ? 1 : 0); });
    }
    rights->addSeparator();
    for (const char* event : {"User logged on", "User changed", "Login to same account - ignoring"}) {
        const QString text = QString::fromLatin1(event);
        rights->addAction(tr("Event \"%1\"").arg(text), this, [text] { RecorderManagerSimulator::SendUserEvent(text); });
    }
}

void HostWindow::addChannelManagerMenu(QMenu* menu, VorexSim::RecorderManagerSimulator* sim, int channel)
{
    using VorexSim::RecorderManagerSimulator;

    QMenu* errors = menu->addMenu(tr("Error code"));
    errors->addAction(tr("(clear)"), sim, [sim, channel] { sim->SetErrorCode(channel, QString()); });
    for (const QString& key : RecorderManagerSimulator::ErrorKeys())
        errors->addAction(key, sim, [sim, channel, key] { sim->SetErrorCode(channel, key); });

    struct FlagEntry
    {
        const char* text;
        RecorderManagerSimulator::Flag flag;
    };
    for (const FlagEntry& f : {FlagEntry{"RecordFlag", RecorderManagerSimulator::RecordFlag},
                               FlagEntry{"ReplayFlag", RecorderManagerSimulator::ReplayFlag},
                               FlagEntry{"PauseSupported", RecorderManagerSimulator::PauseSupported}}) {
        QMenu* sub = menu->addMenu(QString::fromLatin1(f.text));
        QAction* value = sub->addAction(tr("true"));
        value->setCheckable(true);
        value->setChecked(true);
        const RecorderManagerSimulator::Flag flag = f.flag;
        connect(value, &QAction::toggled, sim, [sim, channel, flag](bool on) { sim->SetFlag(channel, flag, on); });
        QAction* disabled = sub->addAction(tr("disabled (state 2)"));
        disabled->setCheckable(true);
        connect(disabled, &QAction::toggled, sim, [sim, channel, flag](bool on) {
            sim->SetFlagState(channel, flag, on ? values::eStateDisabled : values::eStateNormal);
        });
    }
    menu->addSeparator();
    menu->addAction(tr("External record"), sim, [sim, channel] { sim->TriggerExternalRecord(channel, false); });
    menu->addAction(tr("External continuous record"), sim, [sim, channel] { sim->TriggerExternalRecord(channel, true); });
    menu->addAction(tr("External replay"), sim, [sim, channel] { sim->TriggerExternalReplay(channel, false); });
    menu->addAction(tr("External continuous replay"), sim, [sim, channel] { sim->TriggerExternalReplay(channel, true); });
    menu->addAction(tr("External stop"), sim, [sim, channel] { sim->TriggerExternalStop(channel); });
    menu->addSeparator();
    menu->addAction(tr("Fail the next replay command"), sim, [sim, channel] { sim->FailNextReplayCommand(channel, 42); });
    menu->addAction(tr("Delete the channel node"), sim, [sim, channel] { sim->DeleteChannel(channel); });
    menu->addAction(tr("Re-create the channel node"), sim, [sim, channel] { sim->RecreateChannel(channel); });
}
