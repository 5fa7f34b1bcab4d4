// The toolbar as the host builds, docks and destroys it: its bar, widgets,
// meta-object, channel error picture and teardown.

#include "channelfixture.h"
#include "pluginhost.h"
#include "startup.h"
#include "testsupport.h"
#include "umm.h"
#include "vcreplaybar.h"
#include "vcwidgets.h"
#include "vorexclient.h"
#include "vorexgui.h"
#include "vorexwidgets.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMainWindow>
#include <QMetaMethod>
#include <QPointer>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>
#include <QtTest>

#include <memory>

namespace {

const QString kTraceFile = QStringLiteral("devicecontrol/vorex/vrxrtb/source/vorextoolbar");
const QString kVtText = QStringLiteral(
    "Vorex toolbar is deactivated because the Vorex Manager is not reachable (VT). Please check if it is started.");

// One toolbar as the host holds it.
struct Built
{
    std::unique_ptr<QWidget> parent;
    IVRXRTB* toolbar = nullptr;
    IVtClient* vtClient = nullptr;

    QWidget* widget() const { return vrxtest::toolbarWidget(parent.get()); }
    QToolBar* bar() const { return toolbar->GetVorexToolbar(); }
    template <typename T = QWidget>
    T* item(const QString& name) const
    {
        return bar()->findChild<T*>(name);
    }
    QAction* action(const QString& name) const
    {
        for (QAction* action : bar()->actions()) {
            if (action->objectName() == name)
                return action;
        }
        return nullptr;
    }
};

// The bar's items from left to right: "|" for a separator, else the object
// name of the widget or action.
QStringList barItems(QToolBar* bar)
{
    QStringList items;
    for (QAction* action : bar->actions()) {
        if (action->isSeparator())
            items << QStringLiteral("|");
        else if (qobject_cast<QWidgetAction*>(action))
            items << bar->widgetForAction(action)->objectName();
        else
            items << action->objectName();
    }
    return items;
}

// The widgets of `window`'s focus chain (its Tab order), from the window on.
// Fails the test rather than loop when the chain does not close.
QList<QWidget*> focusChain(QWidget* window)
{
    QList<QWidget*> chain;
    QWidget* w = window;
    do {
        chain << w;
        w = w->nextInFocusChain();
    } while (w && w != window && chain.size() < 100000);
    if (w != window)
        chain.clear();
    return chain;
}

// The controls that the bar holds for its widget actions, left to right.
QList<QWidget*> barControls(QToolBar* bar)
{
    QList<QWidget*> controls;
    for (QAction* action : bar->actions()) {
        if (qobject_cast<QWidgetAction*>(action))
            controls << bar->widgetForAction(action);
    }
    return controls;
}

// True when every control is in `chain`, in the given order.
bool inChainInOrder(const QList<QWidget*>& chain, const QList<QWidget*>& controls)
{
    int last = -1;
    for (QWidget* control : controls) {
        const int at = chain.indexOf(control);
        if (at <= last)
            return false;
        last = at;
    }
    return true;
}

QString errorTextShownBy(QAction* errorAction)
{
    vrxtest::MessageBoxAnswer answer;
    errorAction->trigger();
    return answer.answered() ? answer.text() : QStringLiteral("<no message box>");
}

// An event registered at an object that must be told when that object dies.
class ProbeEvent : public ThreadingHelper::RunInMainThreadEvent_Impl
{
public:
    ProbeEvent(ThreadingHelper::ThreadSwitchingHandler* handler, void* target, bool* executed)
        : RunInMainThreadEvent_Impl(handler), m_pExecuted(executed)
    {
        registerAtObject(target);
    }
    ~ProbeEvent() override { processEvent(false); }
    void execute() override { *m_pExecuted = true; }

private:
    bool* m_pExecuted;
};

} // namespace

class TestToolbar : public QObject
{
    Q_OBJECT

private:
    Built build(bool withPauseButton = false, QWidget* parent = nullptr)
    {
        Built built;
        if (!parent)
            built.parent = std::make_unique<QWidget>();
        QWidget* owner = parent ? parent : built.parent.get();
        built.toolbar = vrxtest::PluginHost::asPlugin(m_instance)->CreateToolbar(
            owner, QStringLiteral("VorexManager"), QStringLiteral("ToolbarClient"), built.vtClient,
            QStringLiteral("Rec_"), withPauseButton);
        return built;
    }

    std::shared_ptr<VorexCommon::RecorderManagerBackend> installBackend(bool connected)
    {
        auto backend = std::make_shared<VorexCommon::RecorderManagerBackend>();
        VorexCommon::RecorderManagerBackend::Install(backend);
        backend->AddDevice({QStringLiteral("Dev1"), QStringLiteral("VOREX"), false, 500ull << 20, 1000ull << 20});
        backend->SetConnected(connected);
        return backend;
    }

    static int guiCentralSelections()
    {
        auto node = values::Tree::Instance()->FindNode(QStringLiteral("/GuiCentral"));
        return node ? static_cast<int>(node->GetChildren().size()) : 0;
    }

private slots:
    void initTestCase()
    {
        vrxtest::failOnQtWarnings();
        QVERIFY2(m_host.load(), qPrintable(m_host.error()));
        m_instance = m_host.create()(L"toolbar tests");
        QVERIFY(m_instance);
    }

    void cleanupTestCase() { m_host.destroy()(m_instance); }

    void cleanup()
    {
        VorexCommon::RecorderManagerBackend::Install(nullptr);
        ErrorHandler::Instance()->SetTraceMask(0);
        QCOMPARE(TranslationCenter::Instance()->RegistrationCount(QStringLiteral("Vorex")), 0);
    }

    void barItemsInOrder_data()
    {
        QTest::addColumn<bool>("withPause");
        QTest::addColumn<QStringList>("items");
        const QStringList head = {QStringLiteral("Error information"), "|", QStringLiteral("OpenFileDeviceCombo"), "|",
                                  QStringLiteral("VorexToolbarDiscSpace"), "|", QStringLiteral("VorexOpenFile"), "|",
                                  QStringLiteral("VorexStop"), QStringLiteral("VorexRecordingModesCombo"),
                                  QStringLiteral("VorexReplayModesCombo")};
        const QStringList tail = {"|", QStringLiteral("VorexAddHistoryComment"), "|", QStringLiteral("VorexRecordName"),
                                  "|", QStringLiteral("VorexToolbarRecordCounter"), "|",
                                  QStringLiteral("VorexToolbarReplayBarWidget")};
        QTest::newRow("without pause") << false << head + tail;
        QTest::newRow("with pause") << true << head + QStringList{QStringLiteral("VorexPause")} + tail;
    }

    void barItemsInOrder()
    {
        QFETCH(bool, withPause);
        QFETCH(QStringList, items);
        Built built = build(withPause);
        QCOMPARE(barItems(built.bar()), items);

        // The pause button exists either way; only the bar decides whether
        // it is seen.
        auto* pause = built.item<VCOneOfButton>(QStringLiteral("VorexPause"));
        QVERIFY(pause);
        built.parent->show();
        QCOMPARE(pause->isVisible(), withPause);
        delete built.toolbar;
    }

    // Docked bars share the host's window. Each toolbar's bar joins that
    // window with all its controls, Tab order following the bar, whatever
    // the window already holds; deleting one toolbar leaves the window's
    // focus chain closed and the other bar untouched.
    void barsJoinTheHostWindowAndLeaveItWhole()
    {
        QWidget window;
        auto* before = new QLabel(QStringLiteral("already there"), &window);
        before->setFocusPolicy(Qt::StrongFocus);
        window.show();
        Built first = build(false, &window);
        Built second = build(true, &window);

        const QList<QWidget*> chain = focusChain(&window);
        QVERIFY(chain.contains(before));
        QList<QPointer<QWidget>> firstWidgets;
        for (const Built* built : {&first, &second}) {
            QToolBar* bar = built->bar();
            QCOMPARE(bar->parentWidget(), &window);
            QVERIFY(!bar->isWindow());
            QVERIFY(bar->isVisible());
            const QList<QWidget*> controls = barControls(bar);
            QCOMPARE(controls.size(), built == &first ? 8 : 9);
            for (QWidget* control : controls) {
                QCOMPARE(control->parentWidget(), bar);
                QCOMPARE(control->window(), &window);
            }
            QVERIFY(inChainInOrder(chain, QList<QWidget*>{before, bar} + controls));
        }
        for (QWidget* w : first.bar()->findChildren<QWidget*>())
            firstWidgets << w;
        firstWidgets << first.bar();

        delete first.toolbar;
        for (const QPointer<QWidget>& w : firstWidgets)
            QVERIFY(!w);
        const QList<QWidget*> after = focusChain(&window);
        QVERIFY(!after.isEmpty());
        QVERIFY(inChainInOrder(after, QList<QWidget*>{before, second.bar()} + barControls(second.bar())));
        QCOMPARE(window.findChildren<QToolBar*>(QStringLiteral("VorexToolbar")).size(), 1);
        delete second.toolbar;
        QCOMPARE(focusChain(&window), (QList<QWidget*>{&window, before}));
    }

    void widgetsCarryTheirSettings()
    {
        Built built = build(true);
        QToolBar* bar = built.bar();
        QCOMPARE(bar->objectName(), QStringLiteral("VorexToolbar"));
        QCOMPARE(bar->parentWidget(), built.parent.get());
        QCOMPARE(bar->focusPolicy(), Qt::TabFocus);
        QCOMPARE(bar->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(bar->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        QWidget* widget = built.widget();
        QVERIFY(widget && widget->isHidden());
        QVERIFY(!bar->isHidden());

        // Tool tip and status tip (empty: not checked) of widgets and actions alike.
        const QStringList tips = {
            "VorexStop", "Stop a recording or replay", "",
            "VorexPause", "Select to pause the replay", "",
            "VorexReplayModesCombo", "Start a replay", "",
            "VorexRecordingModesCombo", "Start a recording", "",
            "OpenFileDeviceCombo", "Choose a device from the list", "",
            "VorexRecordName", "File name of selected replay", "File name of selected replay",
            "VorexOpenFile", "Select VOREX signal file.", "Select VOREX signal file.",
            "Error information", "Show error information", "Show error information",
        };
        for (int i = 0; i < tips.size(); i += 3) {
            QObject* item = built.action(tips[i]);
            if (!item)
                item = built.item(tips[i]);
            QVERIFY2(item, qPrintable(tips[i]));
            QCOMPARE(item->property("toolTip").toString(), tips[i + 1]);
            if (!tips[i + 2].isEmpty())
                QCOMPARE(item->property("statusTip").toString(), tips[i + 2]);
        }
        QCOMPARE(built.item<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"))->sizeAdjustPolicy(),
                 QComboBox::AdjustToContents);
        QVERIFY(built.item<DiscSpaceBar>(QStringLiteral("VorexToolbarDiscSpace")));
        QVERIFY(built.item<TickCounter>(QStringLiteral("VorexToolbarRecordCounter")));
        QVERIFY(built.item<VCLineEdit>(QStringLiteral("VorexRecordName"))->isReadOnly());

        // The history and edit actions look like the controller's.
        auto* controller = widget->findChild<VorexGUI::VorexServerGUIController*>();
        QVERIFY(controller);
        QAction* history = built.action(QStringLiteral("VorexAddHistoryComment"));
        QAction* source = controller->recordAction(VorexGUI::IVorexGUIController::eUserAction_History);
        QVERIFY(history && source);
        QCOMPARE(history->toolTip(), source->toolTip());
        QCOMPARE(history->statusTip(), source->statusTip());

        // The replay bar: the position bar and the edit button beside it.
        QWidget* replay = built.item(QStringLiteral("VorexToolbarReplayBarWidget"));
        QVERIFY(replay);
        QCOMPARE(replay->metaObject()->className(), "VorexGUI::ReplayBarWidget");
        QVERIFY(replay->findChild<VCReplayBar*>(QStringLiteral("VorexToolbarReplayBar")));
        QAction* edit = replay->findChild<QAction*>(QStringLiteral("TBEditRecording"));
        QVERIFY(edit);
        QCOMPARE(edit->toolTip(), controller->recordAction(VorexGUI::IVorexGUIController::eUserAction_EditRecord)->toolTip());
        delete built.toolbar;
    }

    void errorActionIsOnTheBarButHidden()
    {
        Built built = build();
        QVERIFY(built.vtClient);
        QAction* error = built.action(QStringLiteral("Error information"));
        QVERIFY(error);
        QCOMPARE(built.bar()->actions().first(), error);
        QVERIFY(!error->isVisible());
        QWidget* button = built.bar()->widgetForAction(error);
        QVERIFY(button);
        built.parent->show();
        QVERIFY(!button->isVisible());
        QCOMPARE(error->icon().availableSizes().value(0), QSize(18, 18));
        delete built.toolbar;
    }

    void recordNameStaysWithinItsLimits()
    {
        Built built = build();
        auto* name = built.item<VCLineEdit>(QStringLiteral("VorexRecordName"));
        QCOMPARE(name->minimumWidth(), 80);
        QCOMPARE(name->maximumWidth(), 150);

        name->SetText(QString(400, QLatin1Char('W')));
        built.parent->resize(3000, 60);
        built.bar()->setGeometry(0, 0, 3000, 60);
        built.parent->show();
        QTRY_VERIFY(name->isVisible());
        QVERIFY(name->width() <= 150);
        QVERIFY(name->width() >= 80);
        delete built.toolbar;
    }

    void sizeHintFollowsTheBar()
    {
        Built built = build();
        QWidget* widget = built.widget();
        QCOMPARE(widget->sizeHint(), built.bar()->sizeHint());
        const QSize before = built.bar()->sizeHint();
        built.bar()->addWidget(new QLabel(QString(60, QLatin1Char('x'))));
        QVERIFY(built.bar()->sizeHint() != before);
        QCOMPARE(widget->sizeHint(), built.bar()->sizeHint());
        delete built.toolbar;
    }

    void metaObjectAsTheHostSeesIt()
    {
        Built built = build();
        const QMetaObject* meta = built.widget()->metaObject();
        QCOMPARE(meta->className(), "VorexGUI::VorexToolbar");
        QVERIFY(meta->superClass());
        QCOMPARE(meta->superClass()->className(), "VorexGUI::VorexToolbarChannelConnector");
        QCOMPARE(meta->propertyCount(), meta->propertyOffset());
        QCOMPARE(meta->enumeratorCount(), meta->enumeratorOffset());

        const QStringList expected = {
            QStringLiteral("Slot_OnOpenFileDialogClicked()"),
            QStringLiteral("Slot_OnShowErrorInformation()"),
            QStringLiteral("sl_connectionEstablished(QString)"),
            QStringLiteral("sl_connectionDisconnected(QString)"),
            QStringLiteral("Slot_OnUpdateRights(QString)"),
            QStringLiteral("slotRemoveCurrentRecord()"),
            QStringLiteral("slotChannelDeleted()"),
            QStringLiteral("slotChannelUpdated()"),
            QStringLiteral("slotRecordChanged()"),
            QStringLiteral("SetDuration()"),
        };
        QStringList own;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            const QMetaMethod method = meta->method(i);
            QCOMPARE(method.methodType(), QMetaMethod::Slot);
            QCOMPARE(method.access(), own.size() < 9 ? QMetaMethod::Protected : QMetaMethod::Private);
            own << QString::fromLatin1(method.methodSignature());
        }
        QCOMPARE(own, expected);
        QCOMPARE(meta->method(meta->indexOfSlot("Slot_OnUpdateRights(QString)")).parameterNames().value(0),
                 QByteArray("sEvent"));

        // The connector carries the signals the toolbar reacts to.
        const QMetaObject* connector = meta->superClass();
        QStringList signalNames;
        for (int i = connector->methodOffset(); i < connector->methodCount(); ++i) {
            if (connector->method(i).methodType() == QMetaMethod::Signal)
                signalNames << QString::fromLatin1(connector->method(i).methodSignature());
        }
        QCOMPARE(signalNames, (QStringList{"signalRecordRemoved()", "signalRecordDataUpdated()", "signalChannelUpdated()",
                                           "signalChannelDeleted()", "signalRecordChanging()", "signalRecordChanged()",
                                           "signalDeviceChanged()"}));
        delete built.toolbar;
    }

    void modeValuePathOnlyAfterBinding()
    {
        vrxtest::ChannelFixture channel(QStringLiteral("/Receivers/Ch1"));
        Built built = build();
        QCOMPARE(built.toolbar->GetToolbarModeValuePath(), QString());
        QVERIFY(built.toolbar->SetChannelId_ValuePath(channel.path()));
        QCOMPARE(built.toolbar->GetToolbarModeValuePath(), channel.key("RecordReplayModes"));
        delete built.toolbar;
    }

    void unreachableValueTreeShowsTheVtError()
    {
        auto backend = installBackend(false);
        backend->SetValueTreeReachable(false);
        Built built = build();
        QVERIFY(built.toolbar);
        QVERIFY(!built.vtClient);
        built.parent->show();

        QAction* error = built.action(QStringLiteral("Error information"));
        QVERIFY(error->isVisible());
        QWidget* errorButton = built.bar()->widgetForAction(error);
        QVERIFY(errorButton->isVisible());
        QVERIFY(errorButton->isEnabled());
        QVERIFY(built.bar()->isEnabled());
        for (QWidget* child : built.bar()->findChildren<QWidget*>()) {
            if (child != errorButton)
                QVERIFY2(!child->isEnabled(), qPrintable(child->objectName()));
        }
        // Enabling from the host changes nothing while the error stands.
        built.toolbar->EnableVorexToolbar(true);
        QVERIFY(!built.item(QStringLiteral("VorexRecordName"))->isEnabled());
        QVERIFY(errorButton->isEnabled());

        vrxtest::MessageBoxAnswer answer;
        error->trigger();
        QVERIFY(answer.answered());
        QCOMPARE(answer.text(), kVtText);
        QCOMPARE(answer.title(), QStringLiteral("Vorex toolbar"));
        QCOMPARE(answer.buttons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        delete built.toolbar;
    }

    void channelErrorTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const QString internal = QStringLiteral("Vorex toolbar is deactivated because of internal errors.");
        QTest::newRow("1") << 1
                           << QStringLiteral("Vorex toolbar is deactivated because the Vorex Manager is not reachable "
                                             "(C). Please check if it is started.");
        QTest::newRow("2") << 2
                           << QStringLiteral(
                                  "Vorex toolbar is deactivated because the registration at the Vorex Manager failed.");
        QTest::newRow("3") << 3
                           << QStringLiteral("Vorex toolbar is deactivated because of configurations errors. Please "
                                             "check the configuration.");
        QTest::newRow("4") << 4 << kVtText;
        QTest::newRow("7") << 7 << internal;
        QTest::newRow("-1") << -1 << internal;
    }

    void channelErrorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        Built built = build();
        built.toolbar->SetChannelError(code);
        QAction* error = built.action(QStringLiteral("Error information"));
        QVERIFY(error->isVisible());
        QCOMPARE(errorTextShownBy(error), text);
        delete built.toolbar;
    }

    void clearingTheChannelErrorGivesTheBarBack()
    {
        vrxtest::ChannelFixture channel(QStringLiteral("/Receivers/Ch2"));
        Built built = build();
        built.parent->show();
        // Binding the channel lets the workflow enable the bar.
        built.toolbar->SetChannelId_ValuePath(channel.path());
        QVERIFY(built.bar()->isEnabled());

        built.toolbar->SetChannelError(3);
        QAction* error = built.action(QStringLiteral("Error information"));
        QWidget* errorButton = built.bar()->widgetForAction(error);
        QVERIFY(error->isVisible());
        QVERIFY(!built.item(QStringLiteral("VorexToolbarReplayBarWidget"))->isEnabled());

        built.toolbar->SetChannelError(0);
        QVERIFY(!error->isVisible());
        QVERIFY(errorButton->isHidden());
        QVERIFY(!errorButton->isEnabled());
        QCOMPARE(errorTextShownBy(error), QString());
        // Widgets that no enablement rule governs come back with the bar.
        for (const QString& name : {QStringLiteral("VorexToolbarReplayBarWidget"), QStringLiteral("VorexToolbarDiscSpace"),
                                    QStringLiteral("VorexToolbarRecordCounter")})
            QVERIFY2(built.item(name)->isEnabled(), qPrintable(name));
        QVERIFY(built.item<VCLineEdit>(QStringLiteral("VorexRecordName"))->isEnabledByOwner());
        delete built.toolbar;
    }

    void unboundToolbarStaysDisabled()
    {
        Built built = build();
        QVERIFY(!built.bar()->isEnabled());
        built.toolbar->EnableVorexToolbar(true);
        QVERIFY(!built.bar()->isEnabled());
        QVERIFY(!built.toolbar->IsChannelConnected());
        QVERIFY(!built.toolbar->IsDeviceConnected());
        delete built.toolbar;
    }

    void tracesFollowTheMask()
    {
        {
            vrxtest::TraceCapture capture(ErrorHandler::TraceWarnings);
            Built built = build();
            built.toolbar->EnableVorexToolbar(false);
            delete built.toolbar;
            for (const QString& text : capture.texts())
                QVERIFY2(!text.startsWith(QLatin1String("+ ")) && !text.startsWith(QLatin1String("- ")),
                         qPrintable(text));
        }
        vrxtest::TraceCapture capture(ErrorHandler::TraceFlow);
        Built built = build();
        built.toolbar->EnableVorexToolbar(false);
        built.toolbar->SetFileOpenDialogAllowed(true);
        delete built.toolbar;
        const QStringList texts = capture.texts();
        const int enter = texts.indexOf(QStringLiteral("+ VorexToolbar::EnableVorexToolbar 0"));
        QVERIFY(enter >= 0);
        QVERIFY(texts.indexOf(QStringLiteral("- VorexToolbar::EnableVorexToolbar 0")) > enter);
        QVERIFY(texts.contains(QStringLiteral("VorexToolbar::SetFileOpenDialogAllowed 1")));
        const int first = texts.indexOf(QStringLiteral("+ VorexToolbar::~VorexToolbar()"));
        const int last = texts.indexOf(QStringLiteral("- VorexToolbar::~VorexToolbar()"));
        QVERIFY(first >= 0 && last > first);
        const std::vector<TraceRecord> records = capture.records();
        QCOMPARE(records[first].file, kTraceFile);
        QVERIFY(records[first].line > 0 && records[first].line != records[last].line);
        for (const TraceRecord& record : records)
            QVERIFY2(!record.text.startsWith(QLatin1String("m_bToolbarEnabledBy")), qPrintable(record.text));
    }

    void connectionEventsReachDeviceHandlerAndToolbar()
    {
        auto backend = installBackend(false);
        backend->AddDevice({QStringLiteral("VDev"), QStringLiteral("VOREX"), true, 1ull << 20, 2ull << 20});
        vrxtest::TraceCapture capture(ErrorHandler::TraceWarnings);
        Built built = build();
        auto* devices = built.item<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"));
        QCOMPARE(devices->count(), 0);

        backend->SetConnected(true);
        // Virtual devices are offered too.
        QTRY_COMPARE(devices->count(), 2);
        QVERIFY(capture.contains(QStringLiteral("VorexToolbar::sl_connectionEstablished VorexManager")));

        backend->SetConnected(false);
        QTRY_COMPARE(devices->count(), 0);
        QVERIFY(capture.contains(
            QStringLiteral("!!!!!!>>>> VorexToolbar::sl_connectionDisconnected VorexManager  <<<<!!!!!!!")));
        QVERIFY(!built.bar()->isEnabled());
        delete built.toolbar;
    }

    void userRightsDecideTheRecordSelection()
    {
        UMM::ActiveUserProxy* users = UMM::ActiveUserProxy::instance();
        const QString right = QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg");
        users->SetAccessLevel(right, 0);
        vrxtest::TraceCapture capture(ErrorHandler::TraceFlow);
        Built built = build();
        QVERIFY(capture.contains(QStringLiteral("VorexToolbar::SetFileOpenDialogAllowed 0")));

        users->SetAccessLevel(right, 2);
        capture.clear();
        VorexCommon::UserRights::Instance()->NotifyUserEvent(QStringLiteral("Password expires soon"));
        QVERIFY(!capture.contains(QStringLiteral("VorexToolbar::SetFileOpenDialogAllowed 1")));
        for (const char* event : {"User logged on", "User changed", "Login to same account - ignoring"}) {
            capture.clear();
            VorexCommon::UserRights::Instance()->NotifyUserEvent(QLatin1String(event));
            QVERIFY2(capture.contains(QStringLiteral("VorexToolbar::SetFileOpenDialogAllowed 1")), event);
            QVERIFY2(capture.contains(QStringLiteral("VorexToolbar::SetHistoryButton")), event);
        }
        users->Clear();
        delete built.toolbar;
    }

    void translationsFollowTheToolbars()
    {
        TranslationCenter* center = TranslationCenter::Instance();
        Built first = build();
        QCOMPARE(center->RegistrationCount(QStringLiteral("Vorex")), 1);
        Built second = build();
        QCOMPARE(center->RegistrationCount(QStringLiteral("Vorex")), 2);
        delete first.toolbar;
        QCOMPARE(center->RegistrationCount(QStringLiteral("Vorex")), 1);
        delete second.toolbar;
    }

    void unboundTeardownLeavesNothingBehind()
    {
        const int selections = guiCentralSelections();
        const std::size_t rootChildren = values::Tree::Instance()->Root()->GetChildren().size();
        Built built = build();
        QPointer<QToolBar> bar = built.bar();
        QPointer<QWidget> widget = built.widget();
        delete built.toolbar;
        QVERIFY(!bar);
        QVERIFY(!widget);
        QVERIFY(built.parent->children().isEmpty());
        QCOMPARE(guiCentralSelections(), selections);
        QCOMPARE(values::Tree::Instance()->Root()->GetChildren().size(), rootChildren);
    }

    void boundTeardownDetachesEverything_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("parentFirst");
        QTest::newRow("bound, through IVRXRTB") << false << false;
        QTest::newRow("bound, parent first") << false << true;
        QTest::newRow("connected, through IVRXRTB") << true << false;
        QTest::newRow("connected, parent first") << true << true;
    }

    void boundTeardownDetachesEverything()
    {
        QFETCH(bool, connected);
        QFETCH(bool, parentFirst);
        auto backend = installBackend(connected);
        vrxtest::ChannelFixture channel(QStringLiteral("/Receivers/Ch3"));
        Built built = build(true);
        built.toolbar->SetChannelId_ValuePath(channel.path());
        built.toolbar->SetReplayTime_ValuePath(channel.key("CurrentReplayPosition"));
        if (connected) {
            auto* stop = built.item<VCOneOfButton>(QStringLiteral("VorexStop"));
            QTRY_COMPARE(stop->GetSelection_ValuePath(), channel.key("RecordReplayModes"));
        }
        QVERIFY(channel.observerCount() > 0);

        QPointer<QToolBar> bar = built.bar();
        QPointer<QWidget> widget = built.widget();
        if (parentFirst)
            built.parent.reset();
        else
            delete built.toolbar;
        QVERIFY(!bar);
        QVERIFY(!widget);
        QCOMPARE(channel.observerCount(), 0);
    }

    void pendingMainThreadCallsAreDropped()
    {
        Built built = build();
        bool executed = false;
        void* target = built.widget(); // the toolbar object itself
        auto handler = ThreadingHelper::ThreadSwitchingAdministration::CreateThreadSwitchingHandler(
            true, false, __FILE__, __LINE__);
        handler->RunInMainThread_Impl(new ProbeEvent(handler.get(), target, &executed));
        handler.reset();
        QCOMPARE(ThreadingHelper::ThreadSwitchingAdministration::PendingEventCount(target), 1);
        delete built.toolbar;
        QCOMPARE(ThreadingHelper::ThreadSwitchingAdministration::PendingEventCount(target), 0);
        QTRY_COMPARE(ThreadingHelper::ThreadSwitchingAdministration::LiveEventCount(), 0);
        QVERIFY(!executed);
    }

    void dockedBarMayDieFirst()
    {
        vrxtest::ChannelFixture channel(QStringLiteral("/Receivers/Ch4"));
        Built built = build();
        built.toolbar->SetChannelId_ValuePath(channel.path());
        auto window = std::make_unique<QMainWindow>();
        window->addToolBar(built.bar());
        QCOMPARE(built.bar()->parentWidget(), window.get());
        window.reset();

        // The bar and its widgets are gone; the toolbar must not touch them.
        QCOMPARE(built.toolbar->GetVorexToolbar(), nullptr);
        built.toolbar->Show(true);
        built.toolbar->EnableVorexToolbar(true);
        built.toolbar->EnableVorexReplay(false);
        built.toolbar->SetFileOpenDialogAllowed(false);
        built.toolbar->SetChannelError(2);
        built.toolbar->SetChannelError(0);
        built.toolbar->SetReplayTime_ValuePath(channel.key("CurrentReplayPosition"));
        built.widget()->sizeHint();
        delete built.toolbar;
        QVERIFY(built.parent->children().isEmpty());
        QCOMPARE(channel.observerCount(), 0);
    }

    void screenshotOfTheDockedBar()
    {
        auto backend = installBackend(true);
        vrxtest::ChannelFixture channel(QStringLiteral("/Receivers/Shot"));
        Built built = build(true);
        built.toolbar->SetChannelId_ValuePath(channel.path());
        auto* stop = built.item<VCOneOfButton>(QStringLiteral("VorexStop"));
        QTRY_COMPARE(stop->GetSelection_ValuePath(), channel.key("RecordReplayModes"));

        const QSize size(1280, built.bar()->sizeHint().height());
        built.parent->resize(size);
        built.bar()->setGeometry(QRect(QPoint(0, 0), size));
        built.parent->show();
        QVERIFY(QTest::qWaitForWindowExposed(built.parent.get()));
        QApplication::processEvents();

        const QImage image = built.parent->grab().toImage();
        QVERIFY(!image.isNull());
        const QString dir = QString::fromLocal8Bit(qgetenv("VRX_TEST_OUTPUT"));
        if (!dir.isEmpty()) {
            QVERIFY(QDir().mkpath(dir));
            QVERIFY(image.save(dir + QStringLiteral("/toolbar.png")));
        }
        delete built.toolbar;
    }

private:
    vrxtest::PluginHost m_host;
    IDllInstance* m_instance = nullptr;
};

QTEST_MAIN(TestToolbar)
#include "tst_toolbar.moc"
