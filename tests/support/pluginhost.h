#pragma once

// Loads the plug-in module the way the host does: by file from the plug-in
// folder, resolving the two C entry points. The tests only include the
// module's headers for its class declarations; they never link it.

#include "hostplugin.h"
#include "vrxrtb_dll.h"

#include <QLibrary>
#include <QString>
#include <QWidget>
#include <QtTest>

namespace vrxtest {

class PluginHost
{
public:
    bool load()
    {
        QByteArray dir = qgetenv("VRX_PLUGIN_DIR");
#ifdef VRX_DEFAULT_PLUGIN_DIR
        if (dir.isEmpty()) // started by hand: this build's module
            dir = VRX_DEFAULT_PLUGIN_DIR;
#endif
        m_library.setFileName(QString::fromLocal8Bit(dir) + QStringLiteral("/libvrxrtb"));
        m_create = reinterpret_cast<ARCreateFunction>(m_library.resolve("ARCreate"));
        m_destroy = reinterpret_cast<ARDestroyFunction>(m_library.resolve("ARDestroy"));
        m_error = m_library.errorString();
        return m_create && m_destroy;
    }

    QString error() const { return m_error; }
    ARCreateFunction create() const { return m_create; }
    ARDestroyFunction destroy() const { return m_destroy; }

    // CreateToolbar is the instance's first own virtual operation; the host
    // reaches it through the class declaration, without linking the module.
    static VRXRTB_DLL* asPlugin(IDllInstance* instance) { return static_cast<VRXRTB_DLL*>(instance); }

private:
    QLibrary m_library;
    ARCreateFunction m_create = nullptr;
    ARDestroyFunction m_destroy = nullptr;
    QString m_error;
};

// The hidden toolbar widget that CreateToolbar puts under `parent`.
inline QWidget* toolbarWidget(QWidget* parent)
{
    return parent->findChild<QWidget*>(QStringLiteral("VorexToolbarWidget"), Qt::FindDirectChildrenOnly);
}

} // namespace vrxtest
