// A stand-in plug-in module for the host's own tests: the entry points and a
// plain tool bar per channel, none of the toolbar's behaviour. The host calls
// CreateToolbar through the instance, so the stand-in declares it where the
// real one does: the first virtual function after those of IDllInstance.
#include "hostplugin.h"

#include <QToolBar>

#include <new>

class IVtClient;

namespace {

class StubToolbar : public IVRXRTB
{
public:
    explicit StubToolbar(QWidget* parent) : m_pBar(new QToolBar(parent)) { m_pBar->setObjectName(QStringLiteral("VorexToolbar")); }
    ~StubToolbar() override { delete m_pBar; }
    QToolBar* GetVorexToolbar() override { return m_pBar; }
    void EnableVorexReplay(bool) override {}
    void EnableVorexToolbar(bool enable) override { m_pBar->setEnabled(enable); }
    bool SetChannelId_ValuePath(const QString& path) override { m_strPath = path; return true; }
    void SetReplayTime_ValuePath(const QString&) override {}
    void SetFileOpenDialogAllowed(bool) override {}
    void SetChannelError(int) override {}
    void Show(bool show) override { m_pBar->setVisible(show); }
    bool IsChannelConnected() override { return !m_strPath.isEmpty(); }
    bool IsDeviceConnected() override { return false; }
    QString GetToolbarModeValuePath() override { return m_strPath + QStringLiteral("/RecordReplayModes"); }

private:
    QToolBar* m_pBar;
    QString m_strPath;
};

class StubInstance : public IDllInstance
{
public:
    StubInstance() : IDllInstance(QStringLiteral("stub")) {}
    bool IsInitialized() override { return true; }
    void Activate() override {}
    void Deactivate() override {}
    virtual IVRXRTB* CreateToolbar(QWidget* parent, const QString&, const QString&, IVtClient*& vtClient, const QString&,
                                   const bool&)
    {
        vtClient = nullptr;
        return new StubToolbar(parent);
    }
};

} // namespace

extern "C" {
Q_DECL_EXPORT IDllInstance* ARCreate(const wchar_t*) { return new (std::nothrow) StubInstance; }
Q_DECL_EXPORT void ARDestroy(IDllInstance* instance) { delete instance; }
}
