// The demo host as a program: bad input gives a clear message and a non-zero
// exit, never a crash; a scripted road loads, docks, unloads and reports.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestHostCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void runs_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("traceMask"); // VRX_TRACE_MASK, if set
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message"); // in stdout or stderr
        const QString stub = QStringLiteral(VRX_STUB_MODULE);
        const QString channels = QStringLiteral("--channels must be a number from 1 to 64");
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "" << 2 << "Unknown option 'frobnicate'";
        QTest::newRow("stray argument") << QStringList{"extra"} << "" << 2 << "unexpected argument extra";
        QTest::newRow("module without path") << QStringList{"--module"} << "" << 2 << "Missing value after '--module'";
        QTest::newRow("channels 0") << QStringList{"--module", stub, "--channels", "0"} << "" << 2 << channels;
        QTest::newRow("channels absurd") << QStringList{"--channels", "4000000000"} << "" << 2 << channels;
        QTest::newRow("channels not a number") << QStringList{"--channels", "two"} << "" << 2 << "not \"two\"";
        QTest::newRow("language unknown") << QStringList{"--lang", "xx"} << "" << 2 << "--lang must name a language";
        QTest::newRow("trace mask not a number") << QStringList{"--trace-mask", "lots"} << "" << 2 << "--trace-mask must be a number";
        QTest::newRow("trace mask from the environment") << QStringList{"--help"} << "x64" << 2 << "VRX_TRACE_MASK is not a number";
        QTest::newRow("unknown scenario") << QStringList{"--scenario", "nowhere"} << "" << 2 << "no scenario \"nowhere\"; known: all, smoke";
        QTest::newRow("missing module") << QStringList{"--module", m_dir.filePath("missing.so"), "--scenario", "smoke"} << "" << 2
                                        << "does not exist";
        QTest::newRow("not a module") << QStringList{"--module", QStringLiteral(VRX_NOT_A_MODULE), "--scenario", "smoke", "--output", m_dir.path()}
                                      << "" << 1 << "cannot load the plug-in module";
        QTest::newRow("not a module, in German")
            << QStringList{"--lang", "de", "--module", QStringLiteral(VRX_NOT_A_MODULE), "--scenario", "smoke", "--output", m_dir.path()}
            << "" << 1 << "kann nicht geladen werden";
        QTest::newRow("module without entry points")
            << QStringList{"--module", QStringLiteral(VRX_NOENTRY_MODULE), "--scenario", "smoke", "--output", m_dir.path()} << "" << 1
            << "is not a recorder toolbar plug-in (ARCreate/ARDestroy missing)";
        QTest::newRow("help") << QStringList{"--help"} << "" << 0 << "--module --channels --scenario --output --trace-mask";
        QTest::newRow("version") << QStringList{"--version"} << "" << 0 << "vrxrtb-host 1.0";
        QTest::newRow("Qt's own options left to Qt")
            << QStringList{"-platform", "offscreen", "--module", stub, "--scenario", "smoke", "--output", m_dir.filePath("qt")} << "" << 0
            << "== road smoke: ok";
        QTest::newRow("road with the stand-in") << QStringList{"--module", stub, "--scenario", "smoke", "--channels", "3", "--output", m_dir.filePath("smoke")}
                                                << "" << 0 << "== road smoke: ok";
        // The stand-in's bar has none of the toolbar's controls.
        QTest::newRow("manager both started and reached")
            << QStringList{"--manager-process", QStringLiteral(VRX_MANAGER_BINARY), "--manager", "corbaloc::127.0.0.1:1/CCO"} << "" << 2
            << "give one of them";
        QTest::newRow("manager process not a program")
            << QStringList{"--scenario", "smoke", "--manager-process", m_dir.filePath("missing")} << "" << 2 << "is not a program";
        QTest::newRow("road missing its states") << QStringList{"--module", stub, "--scenario", "record-then-stop", "--output", m_dir.filePath("fail")}
                                                 << "" << 1 << "FAILED: record missing";
    }
    void runs()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, traceMask);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QProcess host;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!traceMask.isEmpty())
            env.insert("VRX_TRACE_MASK", traceMask);
        host.setProcessEnvironment(env);
        host.start(QStringLiteral(VRX_HOST_BINARY), args);
        QVERIFY(host.waitForFinished(90000));
        QCOMPARE(host.exitStatus(), QProcess::NormalExit);
        QCOMPARE(host.exitCode(), exitCode);
        const QString out = QString::fromLocal8Bit(host.readAllStandardOutput() + host.readAllStandardError());
        for (const QString& part : exitCode == 0 && message.startsWith("--") ? message.split(' ') : QStringList{message})
            QVERIFY2(out.contains(part), qPrintable(out));
    }

    // The manager process a host started goes when the host is killed.
    void managerEndsWithTheHost()
    {
        QProcess host;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        host.setProcessEnvironment(env);
        host.start(QStringLiteral(VRX_HOST_BINARY),
                   {"--manager-process", QStringLiteral(VRX_MANAGER_BINARY), "--output", m_dir.filePath("killed")});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += host.readAllStandardOutput()).contains("manager at corbaloc::"), 20000);
        const QByteArray port = out.mid(out.indexOf("manager at corbaloc::127.0.0.1:") + 31).split('/').first();
        QProcess pgrep;
        const auto managers = [&] {
            pgrep.start("pgrep", {"-f", "vrxrtb-manager .*" + m_dir.filePath("killed")});
            pgrep.waitForFinished();
            return pgrep.readAllStandardOutput().trimmed();
        };
        QVERIFY2(!managers().isEmpty(), port.constData());
        host.kill();
        QVERIFY(host.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(managers().isEmpty(), 5000);
    }
};

QTEST_MAIN(TestHostCli)
#include "tst_hostcli.moc"
