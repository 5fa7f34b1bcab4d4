#pragma once

// A live toolbar as the host builds it, bound to a channel that the simulated
// recorder manager serves. Suites that test the toolbar's behaviour drive the
// real widgets and the value tree through it, and read back value-tree
// writes, widget states and the commands that reached the manager.

#include "base.h"
#include "pluginhost.h"
#include "recordermanagersimulator.h"
#include "testsupport.h"
#include "values.h"
#include "vorexclient.h"

#include <QAction>
#include <QToolBar>
#include <QWidget>

#include <memory>

namespace vrxtest {

// Host clock under the test's control, so that time-driven behaviour
// (replay progress, position throttling, counters) needs no sleeping.
class TestClock
{
public:
    explicit TestClock(qint64 start = Q_INT64_C(1700000000000000)) : m_now(std::make_shared<qint64>(start))
    {
        auto now = m_now;
        HaldaOS::SetClock([now] { return *now; });
    }
    ~TestClock() { HaldaOS::SetClock(nullptr); }
    qint64 now() const { return *m_now; }
    void advance(qint64 microseconds) { *m_now += microseconds; }

private:
    std::shared_ptr<qint64> m_now;
};

struct LiveToolbarOptions
{
    int channels = 1;
    bool withPauseButton = true;
    // Connect and bind during construction (as the demo host does).
    bool bind = true;
};

class LiveToolbar
{
public:
    explicit LiveToolbar(const LiveToolbarOptions& options = LiveToolbarOptions())
    {
        if (!m_host.load())
            qFatal("cannot load the plug-in module: %s", qPrintable(m_host.error()));
        m_pInstance = m_host.create()(L"LiveToolbar");
        m_simulator.reset(new VorexSim::RecorderManagerSimulator(
            VorexSim::SimulatorOptions::Fast(options.channels, &LiveToolbar::ChannelPath, &LiveToolbar::ReplayTimePath)));
        m_simulator->Start();
        m_parent.reset(new QWidget);
        for (int i = 0; i < options.channels; ++i) {
            IVtClient* client = nullptr;
            IVRXRTB* toolbar = PluginHost::asPlugin(m_pInstance)->CreateToolbar(
                m_parent.get(), QStringLiteral("VorexManager"), QStringLiteral("VorexGui%1").arg(i + 1), client,
                QStringLiteral("CH%1_").arg(i + 1), options.withPauseButton);
            m_toolbars.push_back(toolbar);
            if (options.bind)
                bind(i);
        }
        settle();
    }

    // Binds a toolbar to its channel and switches it on, as the demo host does.
    void bind(int channel = 0)
    {
        IVRXRTB* t = toolbar(channel);
        t->SetChannelId_ValuePath(ChannelPath(channel));
        t->SetReplayTime_ValuePath(ReplayTimePath(channel));
        t->EnableVorexToolbar(true);
        t->EnableVorexReplay(true);
        t->SetFileOpenDialogAllowed(true);
    }

    ~LiveToolbar()
    {
        for (IVRXRTB* toolbar : m_toolbars)
            delete toolbar;
        m_toolbars.clear();
        m_parent.reset();
        settle(5);
        m_simulator.reset();
        if (m_pInstance)
            m_host.destroy()(m_pInstance);
    }

    static QString ChannelPath(int index) { return QStringLiteral("/Receivers/Channel%1").arg(index + 1); }
    static QString ReplayTimePath(int index) { return QStringLiteral("/Host/Channel%1/ReplayTime").arg(index + 1); }
    QString key(const char* name, int channel = 0) const
    {
        return ChannelPath(channel) + QLatin1Char('/') + QLatin1String(name);
    }

    IVRXRTB* toolbar(int channel = 0) const { return m_toolbars.at(channel); }
    QToolBar* bar(int channel = 0) const { return toolbar(channel)->GetVorexToolbar(); }
    VorexSim::RecorderManagerSimulator& simulator() { return *m_simulator; }
    VorexCommon::RecorderManagerBackend& backend() { return *m_simulator->Backend(); }
    QWidget* parent() const { return m_parent.get(); }

    // A control of the bar by object name: widgets, or the button the bar
    // made for an action.
    template <typename T = QWidget>
    T* widget(const QString& objectName, int channel = 0) const
    {
        return bar(channel)->findChild<T*>(objectName);
    }
    QAction* action(const QString& objectName, int channel = 0) const
    {
        return bar(channel)->findChild<QAction*>(objectName);
    }
    bool isEnabled(const QString& objectName, int channel = 0) const
    {
        if (QAction* a = action(objectName, channel))
            return a->isEnabled() && bar(channel)->isEnabled();
        QWidget* w = widget(objectName, channel);
        return w && w->isEnabled();
    }

    // Typed channel values.
    template <typename V>
    std::shared_ptr<V> value(const char* name, int channel = 0) const
    {
        return values::Tree::Instance()->FindValueAs<V>(key(name, channel));
    }
    long selection(const char* name, int channel = 0) const
    {
        auto v = value<values::ValueSelection>(name, channel);
        return v ? v->GetCurrentKey() : -1;
    }
    // Selects a key as the operator's widgets do (no writer excluded).
    void select(const char* name, long keyToSelect, int channel = 0)
    {
        if (auto v = value<values::ValueSelection>(name, channel))
            v->SelectIndex(keyToSelect, nullptr);
    }

private:
    PluginHost m_host;
    IDllInstance* m_pInstance = nullptr;
    std::unique_ptr<VorexSim::RecorderManagerSimulator> m_simulator;
    std::unique_ptr<QWidget> m_parent;
    std::vector<IVRXRTB*> m_toolbars;
};

} // namespace vrxtest
