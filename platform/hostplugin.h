#pragma once

// The host application's plug-in contract.

#include <QString>

class QToolBar;

// Plug-in instance created by a module's ARCreate and handed back to its
// ARDestroy.
class IDllInstance
{
public:
    explicit IDllInstance(const QString& name) : m_strName(name) {}
    IDllInstance(const IDllInstance&) = default;
    IDllInstance& operator=(const IDllInstance&) = default;
    virtual ~IDllInstance() = default;

    virtual bool IsInitialized() = 0;
    virtual void Activate() = 0;
    virtual void Deactivate() = 0;

    const QString& GetName() const { return m_strName; }

protected:
    QString m_strName;
};

// The host's face of one recorder toolbar.
class IVRXRTB
{
public:
    virtual ~IVRXRTB() = default;
    virtual QToolBar* GetVorexToolbar() = 0;
    virtual void EnableVorexReplay(bool enable) = 0;
    virtual void EnableVorexToolbar(bool enable) = 0;
    virtual bool SetChannelId_ValuePath(const QString& path) = 0;
    virtual void SetReplayTime_ValuePath(const QString& path) = 0;
    virtual void SetFileOpenDialogAllowed(bool allowed) = 0;
    virtual void SetChannelError(int code) = 0;
    virtual void Show(bool show) = 0;
    virtual bool IsChannelConnected() = 0;
    virtual bool IsDeviceConnected() = 0;
    virtual QString GetToolbarModeValuePath() = 0;
};

// Entry points that a plug-in module exports with C linkage.
typedef IDllInstance* (*ARCreateFunction)(const wchar_t* name);
typedef void (*ARDestroyFunction)(IDllInstance* instance);
