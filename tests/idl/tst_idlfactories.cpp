// The plug-in module carries the protocol stubs. Loading it must register one
// omniORB proxy object factory per interface, so that references received
// anywhere in the host can be narrowed; unloading it must take them away
// again, or the ORB keeps pointers into unmapped code. This process links
// none of the generated code, which would replace the module's factories.

#include "base.h"

#include <QLibrary>
#include <QtTest>

#include <omniORB4/CORBA.h>
#include <omniORB4/proxyFactory.h>

namespace {

// The interfaces that have a factory registered.
int registered()
{
    const char* const repoIds[] = {
        "IDL:KD_VRX/IF_RecordStateChangeCallback:1.0", "IDL:KD_VRX/IF_VorexStatusCallback:1.0",
        "IDL:KD_VRX/IF_VOREX_Admin:1.0", "IDL:KD_VRX/IF_VOREX_Replay:1.0", "IDL:KD_VRX/IF_VRX_c_ChanMan:1.0",
        "IDL:KD_VRX/IF_VRX_c_Chan:1.0", "IDL:KD_VRX/IF_ExportCallback:1.0", "IDL:KD_VRX/IF_VRX_c_VRX:1.0",
        "IDL:CCO/Callback:1.0", "IDL:CCO/CBRegistration:1.0", "IDL:CCO/IF_CCO_c_Update:1.0",
        "IDL:CCO/IF_CCO_c_Naming:1.0", "IDL:CCO/IF_CCO_c_NamingCorba:1.0", "IDL:CCO/IF_CCO_c:1.0"};
    return int(std::count_if(std::begin(repoIds), std::end(repoIds),
                             [](const char* id) { return omni::proxyObjectFactory::lookup(id) != nullptr; }));
}

// Whether a file of this path (or a library of this bare name) is mapped.
bool isMapped(const QString& path)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    maps.open(QIODevice::ReadOnly);
    const QString file = path.contains(QLatin1Char('/')) ? QFileInfo(path).canonicalFilePath() : path;
    return maps.readAll().contains(file.toLocal8Bit());
}

} // namespace

class TestIdlFactories : public QObject
{
    Q_OBJECT

private slots:
    // Twice: a second load registers afresh what the first unload released.
    void factoriesFollowTheModule()
    {
        // A host links the platform library, so it is loaded before the
        // module and the module's copies of the platform's inline type
        // information are never bound into it. Use it here as a host does;
        // otherwise the linker drops it and the module cannot be unmapped.
        ErrorHandler::Instance();
        const QString path = QString::fromLocal8Bit(qgetenv("VRX_PLUGIN_DIR")) + QStringLiteral("/libvrxrtb.so");
        QVERIFY2(QFile::exists(path), qPrintable(path));
        QCOMPARE(registered(), 0);
        for (int round = 0; round < 2; ++round) {
            QLibrary module(path);
            QVERIFY2(module.load(), qPrintable(module.errorString()));
            QVERIFY(module.resolve("ARCreate"));
            QCOMPARE(registered(), 14);
            // omniORB walks its list of the nil references it handed out at
            // exit; stubs built for unloading keep theirs in the module, or
            // this process crashes at exit. KD_VRX::IF_VOREX_Replay::_nil():
            const auto nil = reinterpret_cast<void* (*)()>(module.resolve("_ZN6KD_VRX15IF_VOREX_Replay4_nilEv"));
            QVERIFY(nil && nil() && nil() == nil());
            // The stubs need the ORB core only; the dynamic library (Any,
            // TypeCodes) cannot be unloaded safely.
            QVERIFY(!isMapped(QStringLiteral("libomniDynamic4")));
            QVERIFY2(module.unload(), qPrintable(module.errorString()));
            // Say so when the module stays mapped (STB_GNU_UNIQUE symbols, for
            // one) rather than report the factories it keeps.
            QVERIFY2(!isMapped(path), "the module stayed mapped after unload");
            QCOMPARE(registered(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestIdlFactories)
#include "tst_idlfactories.moc"
