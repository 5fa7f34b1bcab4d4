#pragma once

#include "hostplugin.h"

#include <QLibrary>
#include <QMainWindow>
#include <QString>

#include <memory>
#include <vector>

class VRXRTB_DLL;
class IVtClient;
class QMenu;

namespace VorexSim {
class RecorderManagerSimulator;
}

// Main window of the demo host: one docked recorder toolbar per channel.
class HostWindow : public QMainWindow
{
    Q_OBJECT

public:
    HostWindow();
    ~HostWindow() override;

    // Loads the module and creates the plug-in instance; on failure returns
    // false with a message in `error`.
    bool LoadPlugin(const QString& path, QString& error);
    // Creates, docks and binds one toolbar per channel.
    bool CreateToolbars(int channels, QString& error);
    // Adds the control menu of the simulated recorder manager.
    void AttachSimulator(VorexSim::RecorderManagerSimulator* simulator);
    // Deletes the toolbars through their interface, then the instance, then
    // unloads the module.
    void Shutdown();

    static QString ChannelPath(int index);
    static QString ReplayTimePath(int index);

    const std::vector<IVRXRTB*>& Toolbars() const { return m_toolbars; }

private:
    void createMenus();
    void createManagerMenu(VorexSim::RecorderManagerSimulator* simulator);
    void addChannelManagerMenu(QMenu* menu, VorexSim::RecorderManagerSimulator* simulator, int channel);

    QLibrary m_library;
    ARCreateFunction m_create = nullptr;
    ARDestroyFunction m_destroy = nullptr;
    IDllInstance* m_pInstance = nullptr;
    std::vector<IVRXRTB*> m_toolbars;
    std::vector<IVtClient*> m_vtClients;
};
