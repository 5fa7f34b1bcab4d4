// The plug-in module carries the protocol stubs. Loading it must register
// one omniORB proxy object factory per interface so that references received
// anywhere in the host can be narrowed; unloading it must take them away
// again, or the ORB keeps pointers into unmapped code.
//
// This process links the ORB but none of the generated code: a second copy
// of the stubs here would replace the module's factories.

#include "base.h"

#include <QLibrary>
#include <QtTest>

#include <omniORB4/CORBA.h>
#include <omniORB4/proxyFactory.h>

#include <cstdio>
#include <cstring>

namespace {

const char* const kRepoIds[] = {
    "IDL:KD_VRX/IF_RecordStateChangeCallback:1.0",
    "IDL:KD_VRX/IF_VorexStatusCallback:1.0",
    "IDL:KD_VRX/IF_VOREX_Admin:1.0",
    "IDL:KD_VRX/IF_VOREX_Replay:1.0",
    "IDL:KD_VRX/IF_VRX_c_ChanMan:1.0",
    "IDL:KD_VRX/IF_VRX_c_Chan:1.0",
    "IDL:KD_VRX/IF_ExportCallback:1.0",
    "IDL:KD_VRX/IF_VRX_c_VRX:1.0",
    "IDL:CCO/Callback:1.0",
    "IDL:CCO/CBRegistration:1.0",
    "IDL:CCO/IF_CCO_c_Update:1.0",
    "IDL:CCO/IF_CCO_c_Naming:1.0",
    "IDL:CCO/IF_CCO_c_NamingCorba:1.0",
    "IDL:CCO/IF_CCO_c:1.0",
};

QStringList registeredIds()
{
    QStringList ids;
    for (const char* id : kRepoIds) {
        if (omni::proxyObjectFactory::lookup(id))
            ids << QString::fromLatin1(id);
    }
    return ids;
}

QStringList allIds()
{
    QStringList ids;
    for (const char* id : kRepoIds)
        ids << QString::fromLatin1(id);
    return ids;
}

// Whether a file with this path (or, for a bare name, a library of that
// name) is mapped into the process.
bool isMapped(const QString& path)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted =
        (path.contains(QLatin1Char('/')) ? QFileInfo(path).canonicalFilePath() : path).toLocal8Bit();
    return maps.readAll().contains(wanted);
}

} // namespace

class TestIdlFactories : public QObject
{
    Q_OBJECT

private:
    QString m_modulePath;

private slots:
    void initTestCase()
    {
        // A host links the platform library, so it is loaded before the
        // module and the module's copies of the platform's inline type
        // information are never bound into it. Use it here as a host does;
        // otherwise the linker drops it and the module cannot be unmapped.
        ErrorHandler::Instance();
        const QByteArray dir = qgetenv("VRX_PLUGIN_DIR");
        QVERIFY2(!dir.isEmpty(), "VRX_PLUGIN_DIR is not set");
        m_modulePath = QString::fromLocal8Bit(dir) + QStringLiteral("/libvrxrtb.so");
        QVERIFY2(QFile::exists(m_modulePath), qPrintable(m_modulePath));
        QVERIFY2(!isMapped(m_modulePath), "the test must not have the module loaded already");
    }

    void factoriesFollowTheModule()
    {
        QCOMPARE(registeredIds(), QStringList());

        // Twice: a second load must register afresh what the first unload
        // released.
        for (int round = 0; round < 2; ++round) {
            QLibrary module(m_modulePath);
            QVERIFY2(module.load(), qPrintable(module.errorString()));
            QVERIFY(module.resolve("ARCreate"));
            QCOMPARE(registeredIds(), allIds());
            // The stubs need the ORB core only; the dynamic library (Any,
            // TypeCodes) cannot be unloaded safely.
            QVERIFY(!isMapped(QStringLiteral("libomniDynamic4")));

            for (const char* id : kRepoIds) {
                const omni::proxyObjectFactory* pof = omni::proxyObjectFactory::lookup(id);
                QCOMPARE(QString::fromLatin1(pof->irRepoId()), QString::fromLatin1(id));
            }
            // The derived naming interfaces know their bases; unrelated
            // interfaces are not confused with them.
            const omni::proxyObjectFactory* cco = omni::proxyObjectFactory::lookup("IDL:CCO/IF_CCO_c:1.0");
            QVERIFY(cco->is_a("IDL:CCO/IF_CCO_c_Update:1.0"));
            QVERIFY(cco->is_a("IDL:CCO/IF_CCO_c_NamingCorba:1.0"));
            QVERIFY(cco->is_a("IDL:CCO/IF_CCO_c_Naming:1.0"));
            QVERIFY(!cco->is_a("IDL:CCO/Callback:1.0"));
            const omni::proxyObjectFactory* naming =
                omni::proxyObjectFactory::lookup("IDL:CCO/IF_CCO_c_NamingCorba:1.0");
            QVERIFY(naming->is_a("IDL:CCO/IF_CCO_c_Naming:1.0"));
            QVERIFY(!naming->is_a("IDL:CCO/IF_CCO_c_Update:1.0"));
            const omni::proxyObjectFactory* chan = omni::proxyObjectFactory::lookup("IDL:KD_VRX/IF_VRX_c_Chan:1.0");
            QVERIFY(!chan->is_a("IDL:KD_VRX/IF_VRX_c_ChanMan:1.0"));

            QVERIFY2(module.unload(), qPrintable(module.errorString()));
            // A module that cannot be unmapped (for instance because some
            // object file brought STB_GNU_UNIQUE symbols) would keep its
            // factories; say so instead of reporting a stray factory.
            QVERIFY2(!isMapped(m_modulePath), "the module stayed mapped after unload");
            QCOMPARE(registeredIds(), QStringList());
        }
    }

    // omniORB keeps a process-wide list of the nil references it hands out,
    // walked at exit. Stubs built for unloading keep theirs inside the
    // module instead; otherwise this process would crash at exit, after the
    // module's code is gone.
    void nilReferencesDieWithTheModule()
    {
        QLibrary module(m_modulePath);
        QVERIFY2(module.load(), qPrintable(module.errorString()));
        // KD_VRX::IF_VOREX_Replay::_nil(), as the module exports it. The
        // type is not known here, so the result is only an address.
        using NilFunction = void* (*)();
        const auto nil = reinterpret_cast<NilFunction>(module.resolve("_ZN6KD_VRX15IF_VOREX_Replay4_nilEv"));
        const bool exported = nil != nullptr;
        void* first = exported ? nil() : nullptr;
        const bool stable = exported && first && nil() == first;
        QVERIFY(module.unload());
        if (!exported)
            QSKIP("the module does not export its generated code");
        QVERIFY(stable);
        QVERIFY(!isMapped(m_modulePath));
    }

    // With the module gone, references of its types are still made, as
    // plain objects: a factory left behind would be called in unmapped code
    // here.
    void referencesOfUnloadedTypesAreMadePlain()
    {
        QCOMPARE(registeredIds(), QStringList());
        char arg0[] = "tst_idlfactories";
        char arg1[] = "-ORBendPoint";
        char arg2[] = "giop:tcp:127.0.0.1:0";
        char* argv[] = {arg0, arg1, arg2, nullptr};
        int argc = 3;
        CORBA::ORB_var orb = CORBA::ORB_init(argc, argv);
        {
            CORBA::Object_var poaObj = orb->resolve_initial_references("RootPOA");
            PortableServer::POA_var poa = PortableServer::POA::_narrow(poaObj);
            CORBA::Object_var made = poa->create_reference("IDL:KD_VRX/IF_VOREX_Replay:1.0");
            CORBA::String_var ior = orb->object_to_string(made);
            CORBA::Object_var parsed = orb->string_to_object(ior);
            QVERIFY(!CORBA::is_nil(made));
            QVERIFY(!CORBA::is_nil(parsed));
        }
        orb->destroy();
        QCOMPARE(registeredIds(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestIdlFactories)
#include "tst_idlfactories.moc"
