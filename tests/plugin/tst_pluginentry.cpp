// The module's boundary as the host sees it: entry points, the instance and
// its toolbar factory.

#include "pluginhost.h"
#include "testsupport.h"
#include "vorexclient.h"
#include "vorexgui.h"

#include <QPointer>
#include <QToolBar>
#include <QtTest>

#include <memory>

class TestPluginEntry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        vrxtest::failOnQtWarnings();
        QVERIFY2(m_host.load(), qPrintable(m_host.error()));
    }

    void cleanup()
    {
        VorexCommon::RecorderManagerBackend::Install(nullptr);
    }

    void createConvertsTheWideName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("Recorder host");
        QTest::newRow("empty") << QString();
        QTest::newRow("non-latin") << QStringLiteral("Empf\u00e4nger \u6e2c");
        // Outside the basic plane: two UTF-16 units, one 32-bit wchar_t.
        QTest::newRow("astral") << QString::fromUcs4(U"rec \U0001F3A7 1");
    }

    void createConvertsTheWideName()
    {
        QFETCH(QString, name);
        const std::wstring wide = name.toStdWString();
        IDllInstance* instance = m_host.create()(wide.c_str());
        QVERIFY(instance);
        QCOMPARE(instance->GetName(), name);
        m_host.destroy()(instance);
    }

    // An empty-named instance, as some hosts create it, answers its slots
    // and builds toolbars.
    void emptyNamedInstanceServesTheHost()
    {
        IDllInstance* instance = m_host.create()(L"");
        QVERIFY(instance);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(instance->IsInitialized());
            instance->Activate();
            instance->Deactivate();
        }
        QCOMPARE(instance->GetName(), QString());
        QWidget parent;
        IVtClient* vtClient = nullptr;
        IVRXRTB* toolbar = vrxtest::PluginHost::asPlugin(instance)->CreateToolbar(
            &parent, QStringLiteral("VorexManager"), QStringLiteral("Client"), vtClient, QStringLiteral("Rec"), false);
        QVERIFY(toolbar && vtClient);
        QCOMPARE(toolbar->GetVorexToolbar()->parentWidget(), &parent);
        QCOMPARE(vrxtest::toolbarWidget(&parent)->parentWidget(), &parent);
        delete toolbar;
        m_host.destroy()(instance);
        m_host.destroy()(nullptr);
    }

    void twoToolbarsShareNothing()
    {
        auto backend = std::make_shared<VorexCommon::RecorderManagerBackend>();
        VorexCommon::RecorderManagerBackend::Install(backend);
        values::Tree::Instance()->CreateOrGetNode(QStringLiteral("/EntryTest/ChA"));
        values::Tree::Instance()->CreateOrGetNode(QStringLiteral("/EntryTest/ChB"));

        IDllInstance* instance = m_host.create()(L"host");
        VRXRTB_DLL* plugin = vrxtest::PluginHost::asPlugin(instance);
        QWidget parent;
        IVtClient* vtA = nullptr;
        IVtClient* vtB = nullptr;
        IVRXRTB* a = plugin->CreateToolbar(&parent, QStringLiteral("VorexManager"), QStringLiteral("ClientA"), vtA,
                                           QStringLiteral("A"), false);
        IVRXRTB* b = plugin->CreateToolbar(&parent, QStringLiteral("VorexManager"), QStringLiteral("ClientB"), vtB,
                                           QStringLiteral("B"), true);
        QVERIFY(a && b && a != b);

        // Separate connection data: each hands out its own client, named
        // after the second connection string.
        QVERIFY(vtA && vtB && vtA != vtB);
        QCOMPARE(vtA->GetName(), QStringLiteral("ClientA"));
        QCOMPARE(vtB->GetName(), QStringLiteral("ClientB"));

        // Separate widgets.
        QVERIFY(a->GetVorexToolbar() != b->GetVorexToolbar());
        const QList<QWidget*> widgets = parent.findChildren<QWidget*>(QStringLiteral("VorexToolbarWidget"));
        QCOMPARE(widgets.size(), 2);
        auto* controllerA = widgets[0]->findChild<VorexGUI::VorexServerGUIController*>();
        auto* controllerB = widgets[1]->findChild<VorexGUI::VorexServerGUIController*>();
        QVERIFY(controllerA && controllerB && controllerA != controllerB);
        QVERIFY(a->GetVorexToolbar()->findChild<QWidget*>(QStringLiteral("VorexRecordName"))
                != b->GetVorexToolbar()->findChild<QWidget*>(QStringLiteral("VorexRecordName")));

        // Separate replay command handlers: each is initialised for its own
        // channel when that toolbar is bound.
        backend->ClearCommands();
        QVERIFY(a->SetChannelId_ValuePath(QStringLiteral("/EntryTest/ChA")));
        QVERIFY(b->SetChannelId_ValuePath(QStringLiteral("/EntryTest/ChB")));
        QStringList initialised;
        for (const VorexCommon::RecordedCommand& command : backend->Commands()) {
            if (command.command == QLatin1String("Initialize"))
                initialised << command.channelId;
        }
        QCOMPARE(initialised, (QStringList{QStringLiteral("ChA"), QStringLiteral("ChB")}));
        QCOMPARE(a->GetToolbarModeValuePath(), QStringLiteral("/EntryTest/ChA/RecordReplayModes"));
        QCOMPARE(b->GetToolbarModeValuePath(), QStringLiteral("/EntryTest/ChB/RecordReplayModes"));

        // Destroying one leaves the other working.
        QPointer<QToolBar> barB = b->GetVorexToolbar();
        delete a;
        QVERIFY(barB);
        b->Show(false);
        QVERIFY(barB->isHidden());
        b->Show(true);
        QVERIFY(!barB->isHidden());
        delete b;
        QVERIFY(!barB);
        m_host.destroy()(instance);
        values::Tree::Instance()->Release(QStringLiteral("/EntryTest"));
    }

    void toolbarsOutliveTheInstance()
    {
        // The instance keeps no toolbar: releasing it first leaves the
        // toolbars to their parent.
        IDllInstance* instance = m_host.create()(L"short-lived");
        auto parent = std::make_unique<QWidget>();
        IVtClient* vtClient = nullptr;
        IVRXRTB* toolbar = vrxtest::PluginHost::asPlugin(instance)->CreateToolbar(
            parent.get(), QStringLiteral("VorexManager"), QStringLiteral("Client"), vtClient, QString(), false);
        QPointer<QToolBar> bar = toolbar->GetVorexToolbar();
        m_host.destroy()(instance);
        QVERIFY(bar);
        parent.reset();
        QVERIFY(!bar);
    }

private:
    vrxtest::PluginHost m_host;
};

QTEST_MAIN(TestPluginEntry)
#include "tst_pluginentry.moc"
