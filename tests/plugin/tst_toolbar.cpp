// The module as the host loads it, builds, docks and destroys its toolbars:
// entry points, the bar's controls and texts, the channel error box, teardown.

#include "channelfixture.h"
#include "pluginhost.h"
#include "startup.h"
#include "testsupport.h"
#include "vcwidgets.h"
#include "vorexclient.h"
#include "vorexgui.h"
#include "vorexpictures.h"
#include "vorexwidgets.h"

#include <QMainWindow>
#include <QPointer>
#include <QToolBar>
#include <QWidgetAction>
#include <QtTest>

#include <memory>

namespace {

const QString kVtText = QStringLiteral(
    "Vorex toolbar is deactivated because the Vorex Manager is not reachable (VT). Please check if it is started.");

// The bar's items from left to right: "|" for a separator, else the object name.
QStringList barItems(QToolBar* bar)
{
    QStringList items;
    for (QAction* a : bar->actions())
        items << (a->isSeparator() ? QStringLiteral("|")
                  : qobject_cast<QWidgetAction*>(a) ? bar->widgetForAction(a)->objectName() : a->objectName());
    return items;
}

QImage picture(const QPixmap& pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestToolbar : public QObject
{
    Q_OBJECT

    vrxtest::PluginHost m_host;
    IDllInstance* m_instance = nullptr;
    std::unique_ptr<QWidget> m_parent; // owns every toolbar built on it

    IVRXRTB* build(bool withPause = false, IVtClient** vt = nullptr, const QString& client = QStringLiteral("Client"),
                   IDllInstance* instance = nullptr)
    {
        IVtClient* vtClient = nullptr;
        IVRXRTB* toolbar = vrxtest::PluginHost::asPlugin(instance ? instance : m_instance)->CreateToolbar(
            m_parent.get(), QStringLiteral("VorexManager"), client, vtClient, QStringLiteral("Rec_"), withPause);
        if (vt)
            *vt = vtClient;
        return toolbar;
    }
    static std::shared_ptr<VorexCommon::RecorderManagerBackend> installBackend(bool connected)
    {
        auto backend = std::make_shared<VorexCommon::RecorderManagerBackend>();
        VorexCommon::RecorderManagerBackend::Install(backend);
        backend->AddDevice({QStringLiteral("Dev1"), QStringLiteral("VOREX"), false, 500ull << 20, 1000ull << 20});
        backend->SetConnected(connected);
        return backend;
    }
    static QString boxText(QAction* action, QString* title = nullptr)
    {
        vrxtest::MessageBoxAnswer answer;
        action->trigger();
        if (title)
            *title = answer.title();
        return answer.answered() ? answer.text() : QStringLiteral("<no message box>");
    }

private slots:
    void initTestCase()
    {
        vrxtest::failOnQtWarnings();
        QVERIFY2(m_host.load(), qPrintable(m_host.error()));
        m_instance = m_host.create()(L"toolbar tests");
    }
    void cleanupTestCase() { m_host.destroy()(m_instance); }
    void init() { m_parent = std::make_unique<QWidget>(); }
    void cleanup()
    {
        m_parent.reset();
        VorexCommon::RecorderManagerBackend::Install(nullptr);
        QCOMPARE(TranslationCenter::Instance()->RegistrationCount(QStringLiteral("Vorex")), 0);
    }

    void createConvertsTheWideName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("Recorder host");
        QTest::newRow("empty") << QString();
        QTest::newRow("non-latin") << QStringLiteral("Empf\u00e4nger \u6e2c");
        QTest::newRow("astral") << QString::fromUcs4(U"rec \U0001F3A7 1"); // two UTF-16 units, one wchar_t
    }
    void createConvertsTheWideName()
    {
        QFETCH(QString, name);
        IDllInstance* instance = m_host.create()(name.toStdWString().c_str());
        QCOMPARE(instance->GetName(), name);
        QVERIFY(instance->IsInitialized());
        m_host.destroy()(instance);
        m_host.destroy()(nullptr);
    }

    // The instance keeps no toolbar: toolbars live with their parent, each
    // with its own client.
    void toolbarsOutliveTheInstance()
    {
        IDllInstance* instance = m_host.create()(L"short-lived");
        IVtClient* vt = nullptr;
        IVRXRTB* toolbar = build(false, &vt, QStringLiteral("ClientB"), instance);
        m_host.destroy()(instance);
        QCOMPARE(vt->GetName(), QStringLiteral("ClientB"));
        toolbar->Show(false);
        QVERIFY(toolbar->GetVorexToolbar()->isHidden());
        toolbar->Show(true);
        QVERIFY(!toolbar->GetVorexToolbar()->isHidden());
    }

    void barItemsInOrder_data()
    {
        QTest::addColumn<bool>("withPause");
        QTest::addColumn<QStringList>("items");
        const QStringList head = {"Error information", "|", "OpenFileDeviceCombo", "|", "VorexToolbarDiscSpace", "|",
                                  "VorexOpenFile", "|", "VorexStop", "VorexRecordingModesCombo", "VorexReplayModesCombo"};
        const QStringList tail = {"|", "VorexAddHistoryComment", "|", "VorexRecordName", "|",
                                  "VorexToolbarRecordCounter", "|", "VorexToolbarReplayBarWidget"};
        QTest::newRow("without pause") << false << head + tail;
        QTest::newRow("with pause") << true << head + QStringList{"VorexPause"} + tail;
    }
    void barItemsInOrder()
    {
        QFETCH(bool, withPause);
        QFETCH(QStringList, items);
        IVRXRTB* toolbar = build(withPause);
        QCOMPARE(barItems(toolbar->GetVorexToolbar()), items);
        m_parent->show();
        // The pause button exists either way; only the bar shows it.
        QCOMPARE(toolbar->GetVorexToolbar()->findChild<QWidget*>(QStringLiteral("VorexPause"))->isVisible(), withPause);
    }

    void controlsCarryTheirSettings()
    {
        IVtClient* vt = nullptr;
        IVRXRTB* toolbar = build(true, &vt);
        QToolBar* bar = toolbar->GetVorexToolbar();
        QVERIFY(vt);
        toolbar->EnableVorexToolbar(true); // unbound: stays off
        QVERIFY(!bar->isEnabled() && !toolbar->IsChannelConnected() && !toolbar->IsDeviceConnected());
        QCOMPARE(TranslationCenter::Instance()->RegistrationCount(QStringLiteral("Vorex")), 1);
        QCOMPARE(bar->objectName(), QStringLiteral("VorexToolbar"));
        QCOMPARE(bar->parentWidget(), m_parent.get());
        QCOMPARE(bar->focusPolicy(), Qt::TabFocus);
        QCOMPARE(bar->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed));
        QWidget* widget = vrxtest::toolbarWidget(m_parent.get());
        QVERIFY(widget->isHidden() && !bar->isHidden());

        // name, tool tip, status tip ("-": not set)
        const QStringList tips = {
            "VorexStop", "Stop a recording or replay", "-", "VorexPause", "Select to pause the replay", "-",
            "VorexReplayModesCombo", "Start a replay", "-", "VorexRecordingModesCombo", "Start a recording", "-",
            "OpenFileDeviceCombo", "Choose a device from the list", "-",
            "VorexRecordName", "File name of selected replay", "File name of selected replay",
            "VorexOpenFile", "Select VOREX signal file.", "Select VOREX signal file.",
            "Error information", "Show error information", "Show error information"};
        for (int i = 0; i < tips.size(); i += 3) {
            QObject* item = bar->findChild<QObject*>(tips[i]);
            QVERIFY2(item, qPrintable(tips[i]));
            QCOMPARE(item->property("toolTip").toString(), tips[i + 1]);
            if (tips[i + 2] != QLatin1String("-"))
                QCOMPARE(item->property("statusTip").toString(), tips[i + 2]);
        }
        auto* controller = widget->findChild<VorexGUI::VorexServerGUIController*>();
        QAction* history = controller->recordAction(VorexGUI::IVorexGUIController::eUserAction_History);
        QCOMPARE(bar->findChild<QAction*>(QStringLiteral("VorexAddHistoryComment"))->toolTip(), history->toolTip());
        QCOMPARE(bar->findChild<QAction*>(QStringLiteral("VorexAddHistoryComment"))->statusTip(), history->statusTip());
        QCOMPARE(bar->findChild<QAction*>(QStringLiteral("TBEditRecording"))->toolTip(),
                 controller->recordAction(VorexGUI::IVorexGUIController::eUserAction_EditRecord)->toolTip());

        auto* name = bar->findChild<VCLineEdit*>(QStringLiteral("VorexRecordName"));
        QVERIFY(name->isReadOnly());
        QCOMPARE(QSize(name->minimumWidth(), name->maximumWidth()), QSize(80, 150));
        QCOMPARE(bar->findChild<DeviceCombo*>()->sizeAdjustPolicy(), QComboBox::AdjustToContents);

        // The error button leads the bar, hidden; the mode buttons show their
        // plain pictures until a channel says otherwise.
        QAction* error = bar->actions().first();
        QCOMPARE(error->objectName(), QStringLiteral("Error information"));
        m_parent->show();
        QVERIFY(!error->isVisible() && !bar->widgetForAction(error)->isVisible());
        QCOMPARE(picture(error->icon().pixmap(64)), picture(QPixmap(VorexGUI::Pictures::Error)));
        using namespace VorexGUI::Pictures;
        const std::vector<std::pair<const char*, const char* const*>> buttons = {
            {"VorexStop", Stop}, {"VorexPause", Pause}, {"VorexReplayModesCombo", Replay}, {"VorexRecordingModesCombo", Record}};
        for (const auto& button : buttons)
            QVERIFY2(picture(bar->findChild<QToolButton*>(button.first)->icon().pixmap(64)) == picture(QPixmap(button.second)),
                     button.first);
    }

    void unreachableValueTreeShowsTheVtError()
    {
        installBackend(false)->SetValueTreeReachable(false);
        IVtClient* vt = nullptr;
        IVRXRTB* toolbar = build(false, &vt);
        QVERIFY(!vt);
        m_parent->show();
        toolbar->EnableVorexToolbar(true); // changes nothing while the error stands
        QToolBar* bar = toolbar->GetVorexToolbar();
        QAction* error = bar->findChild<QAction*>(QStringLiteral("Error information"));
        QWidget* errorButton = bar->widgetForAction(error);
        QVERIFY(bar->isEnabled() && errorButton->isVisible() && errorButton->isEnabled());
        for (QWidget* child : bar->findChildren<QWidget*>())
            QVERIFY2(child == errorButton || !child->isEnabled(), qPrintable(child->objectName()));
        QString title;
        QCOMPARE(boxText(error, &title), kVtText);
        QCOMPARE(title, QStringLiteral("Vorex toolbar"));
    }

    void channelErrorTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const QString internal = QStringLiteral("Vorex toolbar is deactivated because of internal errors.");
        QTest::newRow("1") << 1 << "Vorex toolbar is deactivated because the Vorex Manager is not reachable (C). "
                                   "Please check if it is started.";
        QTest::newRow("2") << 2 << "Vorex toolbar is deactivated because the registration at the Vorex Manager failed.";
        QTest::newRow("3") << 3 << "Vorex toolbar is deactivated because of configurations errors. "
                                   "Please check the configuration.";
        QTest::newRow("4") << 4 << kVtText;
        QTest::newRow("5") << 5 << internal;
        QTest::newRow("-1") << -1 << internal;
    }
    void channelErrorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        IVRXRTB* toolbar = build();
        toolbar->SetChannelError(code);
        QAction* error = toolbar->GetVorexToolbar()->findChild<QAction*>(QStringLiteral("Error information"));
        QVERIFY(error->isVisible());
        QCOMPARE(boxText(error), text);
    }

    void connectionEventsReachTheDeviceList()
    {
        auto backend = installBackend(false);
        backend->AddDevice({QStringLiteral("VDev"), QStringLiteral("VOREX"), true, 1ull << 20, 2ull << 20});
        IVRXRTB* toolbar = build();
        auto* devices = toolbar->GetVorexToolbar()->findChild<DeviceCombo*>();
        QCOMPARE(devices->count(), 0);
        backend->SetConnected(true);
        QTRY_COMPARE_WITH_TIMEOUT(devices->count(), 2, 1000); // virtual devices too
        backend->SetConnected(false);
        QTRY_COMPARE_WITH_TIMEOUT(devices->count(), 0, 1000);
        QVERIFY(!toolbar->GetVorexToolbar()->isEnabled());
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
        auto backend = installBackend(binding == 2);
        vrxtest::ChannelFixture channel(QStringLiteral("/Receivers/Ch3"));
        auto guiCentral = values::Tree::Instance()->CreateOrGetNode(QStringLiteral("/GuiCentral"));
        const std::size_t selections = guiCentral->GetChildren().size();
        const std::size_t roots = values::Tree::Instance()->Root()->GetChildren().size();
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
        QCOMPARE(values::Tree::Instance()->Root()->GetChildren().size(), roots);
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
