// The host window around a stand-in module: toolbars docked, named, reachable
// and bound, the manager's control menu reaching the simulated manager, clean
// shutdown; around the real module: closing while channels are busy.
#include "hostwindow.h"
#include "managerchild.h"
#include "recordermanagersimulator.h"
#include "testsupport.h"
#include "umm.h"
#include "vorexclient.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QTemporaryDir>
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

    void open(int channels, const char* module)
    {
        m_window.reset();
        m_sim.reset();
        m_sim.reset(new VorexSim::RecorderManagerSimulator(
            VorexSim::SimulatorOptions::Fast(channels, &HostWindow::ChannelPath, &HostWindow::ReplayTimePath)));
        m_sim->Start();
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->IsConnected(), 1000);
        m_window.reset(new HostWindow);
        QString error;
        QVERIFY2(m_window->LoadPlugin(module, error) && m_window->CreateToolbars(channels, error), qPrintable(error));
        m_window->AttachSimulator(m_sim.get());
    }

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }
    void init() { open(2, VRX_STUB_MODULE); }
    void cleanup()
    {
        HostWindow::SetCloseAnswerHook(nullptr);
        m_window.reset();
        m_sim.reset();
        UMM::ActiveUserProxy::instance()->Clear();
    }

    void toolbarsDockedBoundAndDeletedOnShutdown()
    {
        QCOMPARE(m_window->Toolbars().size(), size_t(2));
        for (int i = 0; i < 2; ++i) {
            IVRXRTB* t = m_window->Toolbars()[size_t(i)];
            QCOMPARE(t->GetVorexToolbar()->parentWidget(), m_window->Dock());
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
        QWidget* banner = m_window->findChild<QWidget*>(QStringLiteral("HostConnectionBanner"));
        QVERIFY(connected->isChecked() && banner->isHidden());
        connected->setChecked(false);
        QVERIFY(!m_sim->IsConnected() && !banner->isHidden());
        m_sim->SetConnected(true);
        QVERIFY(connected->isChecked() && banner->isHidden());

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

    // A manager process the host started: killed as in a crash and started
    // again from the menu, the link loses it and finds it again.
    void managerProcessMenu()
    {
        if (!QFileInfo::exists(QStringLiteral(VRX_MANAGER_BINARY)))
            QSKIP("the manager binary (simulator/vrxrtb-manager) is not built in this tree");
        m_window.reset();
        m_sim.reset();
        QTemporaryDir data;
        ManagerChild child;
        QString error;
        QVERIFY2(child.Start(QStringLiteral(VRX_MANAGER_BINARY), data.path(), {QStringLiteral("--channels"), QStringLiteral("1")},
                             QString(), error),
                 qPrintable(error));
        auto link = std::make_shared<VorexCommon::RemoteRecorderManagerLink>(
            child.Address(), std::vector<VorexCommon::RemoteRecorderManagerLink::ChannelPaths>{
                                 {HostWindow::ChannelPath(0), HostWindow::ReplayTimePath(0)}});
        VorexCommon::RecorderManagerLink::Install(link);
        link->Start();
        m_window.reset(new HostWindow);
        QVERIFY2(m_window->LoadPlugin(VRX_STUB_MODULE, error) && m_window->CreateToolbars(1, error), qPrintable(error));
        m_window->AttachRemoteLink(link.get(), &child);
        QTRY_VERIFY_WITH_TIMEOUT(link->IsConnected(), 10000);

        QAction* kill = action({"Manager", "Kill the manager process"});
        QAction* start = action({"Manager", "Start the manager process again"});
        QVERIFY(kill->isEnabled() && !start->isEnabled());
        kill->trigger();
        QVERIFY(!child.IsRunning() && !kill->isEnabled() && start->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!link->IsConnected(), 5000);
        start->trigger();
        QVERIFY(child.IsRunning() && kill->isEnabled() && !start->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(link->IsConnected(), 10000);

        m_window.reset();
        VorexCommon::RecorderManagerLink::Install(nullptr);
        link->Stop();
        link.reset();
        VorexCommon::RemoteRecorderManagerLink::ShutdownOrb();
    }

    void barsNamedAndReachable_data()
    {
        QTest::addColumn<int>("channels");
        QTest::newRow("2") << 2;
        QTest::newRow("32") << 32;
        QTest::newRow("64, the limit") << 64;
    }
    void barsNamedAndReachable()
    {
        QFETCH(int, channels);
        open(channels, VRX_STUB_MODULE);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QVERIFY2(m_window->width() <= 1600 && m_window->height() <= 900, qPrintable(QString::number(m_window->height())));
        const std::unique_ptr<QMenu> menu(m_window->createPopupMenu()); // the toolbar context menu
        QCOMPARE(menu->actions().size(), channels);
        QWidget* viewport = m_window->ScrollArea()->viewport();
        const auto labels = m_window->Dock()->findChildren<QLabel*>();
        for (int i = 0; i < channels; ++i) {
            const QString name = QStringLiteral("Channel %1").arg(i + 1);
            QToolBar* bar = m_window->Toolbars()[size_t(i)]->GetVorexToolbar();
            QCOMPARE(bar->windowTitle(), name);
            QCOMPARE(menu->actions()[i]->text(), name);
            const auto label = std::find_if(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == name; });
            QVERIFY2(label != labels.end(), qPrintable(name + ": no label"));
            const int labelY = (*label)->mapTo(bar->parentWidget(), (*label)->rect().center()).y();
            QVERIFY2(labelY >= bar->y() && labelY < bar->geometry().bottom(), qPrintable(name + ": label not in the bar's row"));

            m_window->ScrollArea()->ensureWidgetVisible(bar, 0, 0);
            QVERIFY2(viewport->rect().contains(QRect(bar->mapTo(viewport, QPoint()), bar->size())), qPrintable(name + " cannot be reached"));
        }
    }

    // Closing asks while a channel records or replays; "Yes" stops them through
    // the bars and closes once the manager confirmed, "No" keeps the window.
    void closeWhileBusy_data()
    {
        QTest::addColumn<bool>("record"); // channel 1
        QTest::addColumn<bool>("replay"); // channel 2
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::newRow("idle: closes without asking") << false << false << int(QMessageBox::No) << true;
        QTest::newRow("recording, no") << true << false << int(QMessageBox::No) << false;
        QTest::newRow("recording and replaying, yes") << true << true << int(QMessageBox::Yes) << true;
    }
    void closeWhileBusy()
    {
        QFETCH(bool, record);
        QFETCH(bool, replay);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        open(2, VRX_REAL_MODULE);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        if (record)
            m_sim->TriggerExternalRecord(0, false);
        if (replay)
            QVERIFY(m_sim->TriggerExternalReplay(1, true));
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->RecordReplayAllModes(0), record ? 1L : 4L, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->ReplayMode(1), replay ? 4L : 0L, 2000);
        m_sim->Backend()->ClearCommands();
        QString question;
        HostWindow::SetCloseAnswerHook([&](QMessageBox& box) { return question = box.text(), answer; });
        m_window->close();
        QCOMPARE(question.contains("Channel 1"), record);
        QCOMPARE(question.contains("Channel 2"), replay);
        if (closed) {
            QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), HostWindow::kStopWaitMs / 2);
            QCOMPARE(m_sim->RecordReplayAllModes(0), 4L);
            QCOMPARE(m_sim->ReplayMode(1), 0L);
        } else {
            QTest::qWait(100);
            QVERIFY(m_window->isVisible());
            QCOMPARE(m_sim->RecordReplayAllModes(0), 1L);
            QVERIFY(m_sim->Backend()->TakeCommands().empty());
        }
    }
};

QTEST_MAIN(TestHostWindow)
#include "tst_hostwindow.moc"
