#pragma once

#include "hostplugin.h"

#include <QLibrary>
#include <QMainWindow>
#include <QString>

#include <memory>
#include <vector>

class VRXRTB_DLL;
class IVtClient;

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
    // Deletes the toolbars through their interface, then the instance.
    void Shutdown();

    static QString ChannelPath(int index);
    static QString ReplayTimePath(int index);

    const std::vector<IVRXRTB*>& Toolbars() const { return m_toolbars; }

private:
    void createMenus();

    QLibrary m_library;
    ARCreateFunction m_create = nullptr;
    ARDestroyFunction m_destroy = nullptr;
    IDllInstance* m_pInstance = nullptr;
    std::vector<IVRXRTB*> m_toolbars;
    std::vector<IVtClient*> m_vtClients;
};
