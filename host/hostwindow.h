#pragma once

#include "hostplugin.h"

#include <QElapsedTimer>
#include <QLibrary>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class VRXRTB_DLL;
class IVtClient;
class QMenu;
class QMessageBox;
class QLabel;
class QScrollArea;
class QTimer;

namespace VorexCommon {
class RemoteRecorderManagerLink;
}
namespace VorexSim {
class RecorderManagerSimulator;
}

// Main window of the demo host: one docked recorder toolbar per channel.
// The bars are docked in an inner main window inside a scroll area, so that
// any number of channels stays reachable in a window of ordinary size while
// each bar keeps what a docked bar has: its entry in the toolbar context
// menu, floating with its title, moving between rows.
class ManagerChild;

class HostWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Answers the question asked when the window closes while channels are
    // busy; returns QMessageBox::Yes or No. Without a hook the box is shown.
    typedef std::function<int(QMessageBox&)> CloseAnswerHook;
    static void SetCloseAnswerHook(CloseAnswerHook hook);

    // How long a close waits for the manager to confirm the stops.
    static constexpr int kStopWaitMs = 5000;
    // The largest window the host opens with; more bars scroll.
    static constexpr int kMaxWidth = 1600;
    static constexpr int kMaxHeight = 900;
    // The most channels a label is sized for (the host's limit).
    static constexpr int kMaxChannelsShown = 64;

    HostWindow();
    ~HostWindow() override;

    // Loads the module and creates the plug-in instance; on failure returns
    // false with a message in `error`.
    bool LoadPlugin(const QString& path, QString& error);
    // Creates, docks and binds one toolbar per channel.
    bool CreateToolbars(int channels, QString& error);
    // Adds the control menu of the simulated recorder manager.
    void AttachSimulator(VorexSim::RecorderManagerSimulator* simulator);
    // A manager in another process: the Manager menu drops and restores this
    // host's link to it and, for a manager this host started (`child`),
    // kills it as a crash would and starts it again on its address.
    void AttachRemoteLink(VorexCommon::RemoteRecorderManagerLink* link, ManagerChild* child = nullptr);
    // Deletes the toolbars through their interface, then the instance, then
    // unloads the module.
    void Shutdown();

    static QString ChannelPath(int index);
    static QString ReplayTimePath(int index);
    static QString ChannelName(int index);

    const std::vector<IVRXRTB*>& Toolbars() const { return m_toolbars; }
    // The main window the bars are docked in, and the area that scrolls it.
    QMainWindow* Dock() const { return m_pDock; }
    QScrollArea* ScrollArea() const { return m_pScroll; }

    // Indices of the channels that record or replay (or are about to).
    std::vector<int> BusyChannels() const;

    // The toolbar context menu: the channels' bars.
    QMenu* createPopupMenu() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Stops a busy channel; false while it has to wait for its bar.
    bool stopChannel(int index, bool clickOnly);
    void sendPendingStops();
    void checkStopped();
    void fitToScreen();

    void createMenus();
    void createManagerMenu(VorexSim::RecorderManagerSimulator* simulator);
    void addChannelManagerMenu(QMenu* menu, VorexSim::RecorderManagerSimulator* simulator, int channel);

    QLibrary m_library;
    ARCreateFunction m_create = nullptr;
    ARDestroyFunction m_destroy = nullptr;
    IDllInstance* m_pInstance = nullptr;
    std::vector<IVRXRTB*> m_toolbars;
    std::vector<IVtClient*> m_vtClients;
    QScrollArea* m_pScroll = nullptr;
    QLabel* m_pConnectionBanner = nullptr; // says why every bar is off
    QMainWindow* m_pDock = nullptr;
    QTimer* m_pStopWait = nullptr;
    QElapsedTimer m_stopWatch;
    std::vector<int> m_pendingStops;
    bool m_bStopsDone = false;
};
