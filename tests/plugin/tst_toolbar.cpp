// The module as the host loads it, builds, docks and destroys its toolbars:
// entry points, the bar's controls and texts, the error box, teardown.

#include "channelfixture.h"
#include "pluginhost.h"
#include "startup.h"
#include "testsupport.h"
#include "vcwidgets.h"
#include "vorexclient.h"
#include "vorexwidgets.h"

#include <QMainWindow>
#include <QPointer>
#include <QToolBar>
#include <QWidgetAction>
#include <QtTest>

#include <memory>

namespace {

// The bar's items from left to right: "|" for a separator, else the object
// name with the tool tip and the status tip where set ("=": the same text).
QStringList barItems(QToolBar* bar)
{
    QStringList items;
    for (QAction* a : bar->actions()) {
        QObject* item = qobject_cast<QWidgetAction*>(a) ? static_cast<QObject*>(bar->widgetForAction(a)) : a;
        const QString tip = item->property("toolTip").toString();
        const QString status = item->property("statusTip").toString();
        QStringList parts{a->isSeparator() ? QStringLiteral("|") : item->objectName()};
        if (!a->isSeparator() && !tip.isEmpty())
            parts << tip;
        if (!status.isEmpty())
            parts << (status == tip ? QStringLiteral("=") : status);
        items << parts.join(QLatin1String(" / "));
    }
    return items;
}

} // namespace

class TestToolbar : public QObject
{
    Q_OBJECT

    vrxtest::PluginHost m_host;
    IDllInstance* m_instance = nullptr;
    std::unique_ptr<QWidget> m_parent; // owns every toolbar built on it
    IVtClient* m_vt = nullptr;
    std::shared_ptr<VorexCommon::RecorderManagerBackend> m_backend; // disconnected, one real and one virtual device

    IVRXRTB* build(bool withPause = false, IDllInstance* instance = nullptr)
    {
        return vrxtest::PluginHost::asPlugin(instance ? instance : m_instance)->CreateToolbar(
            m_parent.get(), QStringLiteral("VorexManager"), QStringLiteral("Client"), m_vt, QStringLiteral("Rec_"), withPause);
    }

private slots:
    void initTestCase()
    {
        vrxtest::failOnQtWarnings();
        QVERIFY2(m_host.load(), qPrintable(m_host.error()));
        m_instance = m_host.create()(L"toolbar tests");
    }
    void cleanupTestCase() { m_host.destroy()(m_instance); }
    void init()
    {
        m_parent = std::make_unique<QWidget>();
        m_backend = std::make_shared<VorexCommon::RecorderManagerBackend>();
        VorexCommon::RecorderManagerBackend::Install(m_backend);
        m_backend->AddDevice({QStringLiteral("Dev1"), QStringLiteral("VOREX"), false, 500ull << 20, 1000ull << 20});
        m_backend->AddDevice({QStringLiteral("VDev"), QStringLiteral("VOREX"), true, 1ull << 20, 2ull << 20});
    }
    void cleanup()
    {
        m_parent.reset();
        VorexCommon::RecorderManagerBackend::Install(nullptr);
        QCOMPARE(TranslationCenter::Instance()->RegistrationCount(QStringLiteral("Vorex")), 0);
    }

    // The instance converts the host's wide name, and keeps no toolbar:
    // toolbars live on with their parent.
    void instanceNameAndToolbarsOutliveIt_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("Recorder host");
        QTest::newRow("non-latin") << QStringLiteral("Empf\u00e4nger \u6e2c");
        QTest::newRow("astral") << QString::fromUcs4(U"rec \U0001F3A7 1"); // two UTF-16 units, one wchar_t
    }
    void instanceNameAndToolbarsOutliveIt()
    {
        QFETCH(QString, name);
        IDllInstance* instance = m_host.create()(name.toStdWString().c_str());
        QCOMPARE(instance->GetName(), name);
        QVERIFY(instance->IsInitialized());
        IVRXRTB* toolbar = build(false, instance);
        m_host.destroy()(instance);
        m_host.destroy()(nullptr);
        QCOMPARE(m_vt->GetName(), QStringLiteral("Client"));
        toolbar->Show(false);
        QVERIFY(toolbar->GetVorexToolbar()->isHidden());
    }

    void builtToolbar_data()
    {
        QTest::addColumn<bool>("withPause");
        QTest::addColumn<QStringList>("items");
        const QStringList head = {"Error information / Show error information / =", "|",
                                  "OpenFileDeviceCombo / Choose a device from the list", "|",
                                  "VorexToolbarDiscSpace / No recorder device", "|",
                                  "VorexOpenFile / Select VOREX signal file. / =", "|",
                                  "VorexStop / Stop a recording or replay", "VorexRecordingModesCombo / Start a recording",
                                  "VorexReplayModesCombo / Start a replay"};
        const QStringList tail = {"|", "VorexAddHistoryComment / Show the history of the selected record and add a comment / =",
                                  "|", "VorexRecordName / File name of selected replay / =", "|",
                                  "VorexToolbarRecordCounter", "|", "VorexToolbarReplayBarWidget"};
        QTest::newRow("without pause") << false << head + tail;
        QTest::newRow("with pause") << true << head + QStringList{"VorexPause / Select to pause the replay"} + tail;
    }
    // As built, before any channel: the items, the pause button shown only
    // on request, the error button hidden, the bar off; the device list
    // follows the manager's connection.
    void builtToolbar()
    {
        QFETCH(bool, withPause);
        QFETCH(QStringList, items);
        IVRXRTB* toolbar = build(withPause);
        QToolBar* bar = toolbar->GetVorexToolbar();
        QCOMPARE(barItems(bar), items);
        m_parent->show();
        QCOMPARE(bar->findChild<QWidget*>(QStringLiteral("VorexPause"))->isVisible(), withPause);
        QVERIFY(!bar->actions().first()->isVisible() && !bar->widgetForAction(bar->actions().first())->isVisible());
        QVERIFY(vrxtest::toolbarWidget(m_parent.get())->isHidden() && m_vt);
        QVERIFY(bar->findChild<VCLineEdit*>(QStringLiteral("VorexRecordName"))->isReadOnly());
        QCOMPARE(TranslationCenter::Instance()->RegistrationCount(QStringLiteral("Vorex")), 1);
        toolbar->EnableVorexToolbar(true);
        QVERIFY(!bar->isEnabled() && !toolbar->IsChannelConnected() && !toolbar->IsDeviceConnected());
        auto* devices = bar->findChild<DeviceCombo*>();
        QCOMPARE(devices->count(), 0);
        m_backend->SetConnected(true);
        QTRY_COMPARE_WITH_TIMEOUT(devices->count(), 2, 1000); // virtual devices too
        m_backend->SetConnected(false);
        QTRY_COMPARE_WITH_TIMEOUT(devices->count(), 0, 1000);
    }

    // A channel error, or a value tree out of reach when the toolbar is
    // built, leaves only the error button usable, and it tells why.
    void errorTexts_data()
    {
        QTest::addColumn<int>("code"); // 0: none, the value tree out of reach instead
        QTest::addColumn<QString>("text");
        const QString notReachable = QStringLiteral("the Vorex Manager is not reachable (%1). Please check if it is started.");
        QTest::newRow("1") << 1 << notReachable.arg("C");
        QTest::newRow("2") << 2 << "the registration at the Vorex Manager failed.";
        QTest::newRow("3") << 3 << "of configurations errors. Please check the configuration.";
        QTest::newRow("4") << 4 << notReachable.arg("VT");
        QTest::newRow("5") << 5 << "of internal errors.";
        QTest::newRow("-1") << -1 << "of internal errors.";
        QTest::newRow("value tree out of reach") << 0 << notReachable.arg("VT");
    }
    void errorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        m_backend->SetValueTreeReachable(code != 0);
        IVRXRTB* toolbar = build();
        QCOMPARE(m_vt != nullptr, code != 0);
        if (code != 0)
            toolbar->SetChannelError(code);
        m_parent->show();
        toolbar->EnableVorexToolbar(true); // changes nothing while the error stands
        QToolBar* bar = toolbar->GetVorexToolbar();
        QAction* error = bar->findChild<QAction*>(QStringLiteral("Error information"));
        QWidget* errorButton = bar->widgetForAction(error);
        QVERIFY(bar->isEnabled() && error->isVisible() && errorButton->isVisible() && errorButton->isEnabled());
        for (QWidget* child : bar->findChildren<QWidget*>())
            QVERIFY2(child == errorButton || !child->isEnabled(), qPrintable(child->objectName()));
        vrxtest::MessageBoxAnswer answer;
        error->trigger();
        QCOMPARE(answer.text(), QStringLiteral("Vorex toolbar is deactivated because ") + text);
        QCOMPARE(answer.title(), QStringLiteral("Vorex toolbar"));
    }

    // Whichever way the host lets a toolbar go, nothing of it stays: not its
    // widgets, not its observers (none left already when its bar goes), not
    // the selections it made in the tree.
    void teardownLeavesNothingBehind_data()
    {
        QTest::addColumn<int>("binding"); // 0 unbound, 1 bound, 2 bound and connected
        QTest::addColumn<bool>("parentFirst");
        for (int binding : {0, 1, 2})
            for (bool parentFirst : {false, true})
                QTest::addRow("%s, %s", binding == 0 ? "unbound" : binding == 1 ? "bound" : "connected",
                              parentFirst ? "parent first" : "through IVRXRTB")
                    << binding << parentFirst;
    }
    void teardownLeavesNothingBehind()
    {
        QFETCH(int, binding);
        QFETCH(bool, parentFirst);
        m_backend->SetConnected(binding == 2);
        vrxtest::ChannelFixture channel(QStringLiteral("/Receivers/Ch3"));
        auto guiCentral = values::Tree::Instance()->CreateOrGetNode(QStringLiteral("/GuiCentral"));
        const std::size_t selections = guiCentral->GetChildren().size();
        IVRXRTB* toolbar = build(true);
        if (binding > 0) {
            toolbar->SetChannelId_ValuePath(channel.path());
            toolbar->SetReplayTime_ValuePath(channel.key("CurrentReplayPosition"));
            QVERIFY(channel.observerCount() > 0);
        }
        if (binding == 2)
            QTRY_COMPARE_WITH_TIMEOUT(toolbar->GetVorexToolbar()->findChild<VCOneOfButton*>("VorexStop")->GetSelection_ValuePath(),
                                      channel.key("RecordReplayModes"), 1000);
        QPointer<QToolBar> bar = toolbar->GetVorexToolbar();
        QPointer<QWidget> widget = vrxtest::toolbarWidget(m_parent.get());
        int observersWhenTheBarWent = -1;
        connect(bar, &QObject::destroyed, this, [&] { observersWhenTheBarWent = channel.observerCount(); });
        if (parentFirst)
            m_parent.reset();
        else
            delete toolbar;
        QVERIFY(!bar && !widget);
        QCOMPARE(observersWhenTheBarWent, 0);
        QCOMPARE(channel.observerCount(), 0);
        QVERIFY(!m_parent || m_parent->children().isEmpty());
        QCOMPARE(guiCentral->GetChildren().size(), selections);
    }

    // The host may dock the bar in a window that dies first: the toolbar
    // must not touch the bar or its widgets after that.
    void dockedBarMayDieFirst()
    {
        vrxtest::ChannelFixture channel(QStringLiteral("/Receivers/Ch4"));
        IVRXRTB* toolbar = build();
        toolbar->SetChannelId_ValuePath(channel.path());
        auto window = std::make_unique<QMainWindow>();
        window->addToolBar(toolbar->GetVorexToolbar());
        window.reset();
        QCOMPARE(toolbar->GetVorexToolbar(), nullptr);
        toolbar->Show(true);
        toolbar->EnableVorexToolbar(true);
        toolbar->EnableVorexReplay(false);
        toolbar->SetFileOpenDialogAllowed(false);
        toolbar->SetChannelError(2);
        toolbar->SetChannelError(0);
        toolbar->SetReplayTime_ValuePath(channel.key("CurrentReplayPosition"));
        vrxtest::toolbarWidget(m_parent.get())->sizeHint();
        delete toolbar;
        QVERIFY(m_parent->children().isEmpty());
        QCOMPARE(channel.observerCount(), 0);
    }
};

QTEST_MAIN(TestToolbar)
#include "tst_toolbar.moc"
