// The host window around a stand-in module: toolbars docked and bound, the
// manager's control menu reaching the simulated manager, clean shutdown.
#include "hostwindow.h"
#include "recordermanagersimulator.h"
#include "testsupport.h"
#include "umm.h"
#include "vorexclient.h"

#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QtTest>

class TestHostWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<VorexSim::RecorderManagerSimulator> m_sim;
    std::unique_ptr<HostWindow> m_window;

    // The action at the end of a menu path such as {"Manager", "Channel 1", "External stop"}; a
    // missing one ends the run at once with its path.
    QAction* action(const QStringList& path) const
    {
        QList<QAction*> actions = m_window->menuBar()->actions();
        QAction* found = nullptr;
        for (const QString& text : path) {
            auto it = std::find_if(actions.begin(), actions.end(),
                                   [&](QAction* a) { return a->text().remove(QLatin1Char('&')) == text; });
            if (it == actions.end())
                qFatal("no menu entry %s", qPrintable(path.join(" > ")));
            found = *it;
            actions = found->menu() ? found->menu()->actions() : QList<QAction*>();
        }
        return found;
    }
    template <typename V>
    std::shared_ptr<V> value(const char* key, int channel = 0) const
    {
        return values::Tree::Instance()->FindValueAs<V>(m_sim->ValuePath(channel, key));
    }

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }
    void init()
    {
        m_sim.reset(new VorexSim::RecorderManagerSimulator(
            VorexSim::SimulatorOptions::Fast(2, &HostWindow::ChannelPath, &HostWindow::ReplayTimePath)));
        m_sim->Start();
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->IsConnected(), 1000);
        m_window.reset(new HostWindow);
        QString error;
        QVERIFY2(m_window->LoadPlugin(VRX_STUB_MODULE, error) && m_window->CreateToolbars(2, error), qPrintable(error));
        m_window->AttachSimulator(m_sim.get());
    }
    void cleanup()
    {
        m_window.reset();
        m_sim.reset();
        UMM::ActiveUserProxy::instance()->Clear();
    }

    void toolbarsDockedBoundAndDeletedOnShutdown()
    {
        QCOMPARE(m_window->Toolbars().size(), size_t(2));
        for (int i = 0; i < 2; ++i) {
            IVRXRTB* t = m_window->Toolbars()[size_t(i)];
            QCOMPARE(t->GetVorexToolbar()->parentWidget(), m_window.get());
            QCOMPARE(t->GetToolbarModeValuePath(), HostWindow::ChannelPath(i) + "/RecordReplayModes");
        }
        // The manager made the replay time first; the host kept it.
        m_sim->SelectRecord(0, "Dev1", m_sim->Backend()->GetRecords("Dev1").front().GetRecordID());
        QVERIFY(m_sim->ReplayTime(0) > 0);

        QPointer<QToolBar> bar = m_window->Toolbars().front()->GetVorexToolbar();
        m_window->Shutdown();
        QVERIFY(bar.isNull() && m_window->Toolbars().empty());
        m_window->Shutdown(); // twice is harmless
    }

    void managerMenuDoesWhatAManagerDoes()
    {
        QAction* connected = action({"Manager", "Connected"});
        QVERIFY(connected->isChecked());
        connected->setChecked(false);
        QVERIFY(!m_sim->IsConnected());
        m_sim->SetConnected(true);
        QVERIFY(connected->isChecked());

        action({"Manager", "Channel 2", "Error code", "VRX_ERR_DISC_FULL"})->trigger();
        QCOMPARE(value<values::Value<QString>>("ErrorCode", 1)->Get(), QStringLiteral("VRX_ERR_DISC_FULL"));
        action({"Manager", "Channel 1", "ReplayFlag", "true"})->setChecked(false);
        QVERIFY(!value<values::Value<bool>>("ReplayFlag")->Get());
        action({"Manager", "Channel 1", "PauseSupported", "disabled (state 2)"})->setChecked(true);
        QCOMPARE(value<values::Value<bool>>("PauseSupported")->GetState(), int(values::eStateDisabled));

        action({"Manager", "Channel 1", "External continuous record"})->trigger();
        QVERIFY(value<values::Value<bool>>("TriggeredByCorbaCall")->Get());
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->RecordReplayAllModes(0), 2L, 1000);

        action({"Manager", "Channel 1", "Delete the channel node"})->trigger();
        QVERIFY(!m_sim->ChannelExists(0));
        action({"Manager", "Channel 1", "Re-create the channel node"})->trigger();
        QVERIFY(m_sim->ChannelExists(0));
        QVERIFY(value<values::Value<bool>>("ReplayFlag")->Get()); // initial state again

        QSignalSpy events(VorexCommon::UserRights::Instance(), SIGNAL(UpdateUserRights(QString)));
        action({"Manager", "User rights", "History comments allowed"})->setChecked(false);
        QVERIFY(!VorexCommon::UserRights::Instance()->HistoryCommentAllowed());
        action({"Manager", "User rights", "Event \"User changed\""})->trigger();
        QCOMPARE(events.count(), 1);
    }
};

QTEST_MAIN(TestHostWindow)
#include "tst_hostwindow.moc"
