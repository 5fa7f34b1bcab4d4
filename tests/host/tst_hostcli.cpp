// The demo host as a program: bad input gives a clear message and a non-zero
// exit, never a crash; a scripted road loads, docks, unloads and reports.
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {
struct Outcome
{
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;
};

Outcome runHost(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess host;
    host.setProcessEnvironment(env);
    host.start(QStringLiteral(VRX_HOST_BINARY), args);
    Outcome o;
    if (!host.waitForFinished(90000)) {
        host.kill();
        host.waitForFinished();
        o.err = QStringLiteral("timed out");
        return o;
    }
    o.crashed = host.exitStatus() != QProcess::NormalExit;
    o.exitCode = host.exitCode();
    o.out = QString::fromLocal8Bit(host.readAllStandardOutput());
    o.err = QString::fromLocal8Bit(host.readAllStandardError());
    return o;
}
} // namespace

class TestHostCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QFile notAModule(m_dir.filePath("not-a-module.so"));
        QVERIFY(notAModule.open(QIODevice::WriteOnly));
        notAModule.write("this is text, not a shared object\n");
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString stub = QStringLiteral(VRX_STUB_MODULE);
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << "unknown option --frobnicate";
        QTest::newRow("stray argument") << QStringList{"extra"} << 2 << "unexpected argument extra";
        QTest::newRow("module without path") << QStringList{"--module"} << 2 << "--module needs a value";
        QTest::newRow("channels 0") << QStringList{"--module", stub, "--channels", "0"} << 2 << "--channels must be a number from 1 to 64";
        QTest::newRow("channels absurd") << QStringList{"--channels", "4000000000"} << 2 << "--channels must be a number from 1 to 64";
        QTest::newRow("channels negative") << QStringList{"--channels", "-3"} << 2 << "--channels must be a number from 1 to 64";
        QTest::newRow("channels not a number") << QStringList{"--channels", "two"} << 2 << "not \"two\"";
        QTest::newRow("trace mask not a number") << QStringList{"--trace-mask", "lots"} << 2 << "--trace-mask must be a number";
        QTest::newRow("unknown scenario") << QStringList{"--scenario", "nowhere"} << 2 << "no scenario \"nowhere\"; known: all, smoke";
        QTest::newRow("missing module") << QStringList{"--module", m_dir.filePath("missing.so"), "--scenario", "smoke"} << 2 << "does not exist";
        QTest::newRow("not a module") << QStringList{"--module", m_dir.filePath("not-a-module.so"), "--scenario", "smoke", "--output", m_dir.path()}
                                      << 1 << "cannot load the plug-in module";
        QTest::newRow("module without entry points") << QStringList{"--module", QStringLiteral(VRX_NOENTRY_MODULE), "--scenario", "smoke", "--output", m_dir.path()}
                                                     << 1 << "is not a recorder toolbar plug-in (ARCreate/ARDestroy missing)";
    }
    void badInput()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Outcome o = runHost(args);
        QVERIFY2(!o.crashed, qPrintable(o.err));
        QCOMPARE(o.exitCode, exitCode);
        QVERIFY2(o.err.contains(message), qPrintable(o.err));
    }

    void badTraceMaskFromTheEnvironment()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VRX_TRACE_MASK", "x64");
        const Outcome o = runHost({"--help"}, env);
        QCOMPARE(o.exitCode, 2);
        QVERIFY(o.err.contains("VRX_TRACE_MASK is not a number"));
    }

    void helpNamesTheOptions()
    {
        const Outcome o = runHost({"--help"});
        QCOMPARE(o.exitCode, 0);
        for (const char* option : {"--module", "--channels", "--scenario", "--output", "--trace-mask"})
            QVERIFY2(o.out.contains(option), option);
    }

    void smokeRoadLoadsDocksAndUnloads()
    {
        const QString out = m_dir.filePath("smoke");
        const Outcome o = runHost({"--module", VRX_STUB_MODULE, "--scenario", "smoke", "--channels", "3", "--output", out});
        QVERIFY2(!o.crashed && o.exitCode == 0, qPrintable(o.out + o.err));
        QVERIFY(o.out.contains("== road smoke: ok"));
        QVERIFY(o.out.contains("manager:  Channel1: channel values created under /Receivers/Channel1"));
        QVERIFY(o.out.contains("Channel3: channel values created"));
        QVERIFY(o.out.contains(QStringLiteral("screenshots in %1").arg(QDir(out).absolutePath())));
        const QStringList shots = QDir(out).entryList({"smoke-01-*.png"});
        QCOMPARE(shots.size(), 1);
        QVERIFY(QFileInfo(QDir(out).filePath(shots.first())).size() > 1000);
        QVERIFY(QFileInfo::exists(QDir(out).filePath("vrxrtb-host.log")));
    }

    void roadFailsWhenTheToolbarMissesItsStates()
    {
        // The stand-in module's bar has none of the toolbar's controls.
        const Outcome o = runHost({"--module", VRX_STUB_MODULE, "--scenario", "record-then-stop", "--output", m_dir.filePath("fail")});
        QVERIFY(!o.crashed);
        QCOMPARE(o.exitCode, 1);
        QVERIFY2(o.out.contains("FAILED: record missing"), qPrintable(o.out));
        QVERIFY(o.out.contains("== road record-then-stop: FAILED"));
        QVERIFY(o.out.contains("== 0 of 1 road(s) reached every expected state"));
    }
};

QTEST_MAIN(TestHostCli)
#include "tst_hostcli.moc"
