// The recorder manager and naming protocols on the wire. Servants and clients
// live in this process, but the clients reach the servants by "127.1", a
// spelling of the loopback address the ORB does not take for its own: each
// call is marshalled, sent over TCP as GIOP, unmarshalled and served by an
// ORB thread. (Altered and truncated messages: the fuzz targets, tests/fuzz.)
//
// This process links the generated code itself and must never load the
// plug-in module, which carries a second copy of the same stubs.

#include "servants.h"

#include <QtTest>

#include <cstring>
#include <functional>

using Call = std::function<QString()>;
Q_DECLARE_METATYPE(Call)

class TestIdlWire : public QObject
{
    Q_OBJECT

    CORBA::ORB_var m_orb;
    QByteArray m_address; // corbaloc::1.2@127.1:<port>/

    template <class Interface>
    typename Interface::_var_type remote(const char* key)
    {
        CORBA::Object_var object = m_orb->string_to_object((m_address + key).constData());
        return Interface::_narrow(object);
    }

    static void row(const char* name, const Call& call, const char* expected)
    {
        QTest::newRow(name) << call << QString::fromUtf8(expected);
    }

private slots:
    void initTestCase()
    {
        // A call waits a few seconds at most should a message get lost.
        char arg0[] = "tst_idlwire", arg1[] = "-ORBendPoint", arg2[] = "giop:tcp:127.0.0.1:0",
             arg3[] = "-ORBclientCallTimeOutPeriod", arg4[] = "3000";
        char* argv[] = {arg0, arg1, arg2, arg3, arg4, nullptr};
        int argc = 5;
        m_orb = CORBA::ORB_init(argc, argv);
        CORBA::Object_var object = m_orb->resolve_initial_references("omniINSPOA");
        PortableServer::POA_var poa = PortableServer::POA::_narrow(object);
        PortableServer::POAManager_var manager = poa->the_POAManager();
        manager->activate();
        using namespace vrxservants;
        const std::pair<const char*, PortableServer::ServantBase*> servants[] = {
            {"StateChange", new RecordStateChangeCallback}, {"Status", new VorexStatusCallback},
            {"Admin", new Admin}, {"Replay", new Replay}, {"ChanMan", new ChanMan}, {"Chan", new Chan},
            {"Export", new ExportCallback}, {"Vrx", new Vrx}, {"Callback", new Callback},
            {"Registration", new CBRegistration}, {"Cco", new Cco}};
        for (const auto& [key, servant] : servants) {
            PortableServer::ObjectId_var id = PortableServer::string_to_ObjectId(key);
            poa->activate_object_with_id(id, servant);
            servant->_remove_ref(); // the POA owns it
        }
        // The server's port: in the IIOP profile of its references it follows
        // the host's terminating NUL, in the ORB's own byte order.
        object = poa->servant_to_reference(servants[0].second);
        CORBA::String_var ior = m_orb->object_to_string(object);
        const QByteArray bytes = QByteArray::fromHex(QByteArray(ior.in()).mid(4));
        quint16 port;
        std::memcpy(&port, bytes.constData() + bytes.indexOf(QByteArray("127.0.0.1", 10)) + 10, 2);
        m_address = "corbaloc::1.2@127.1:" + QByteArray::number(port) + '/';
    }

    void cleanupTestCase() { m_orb->destroy(); }

    // One operation of each interface: "what the servant received -> what
    // the client got back".
    void eachInterface_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("expected");
        using namespace KD_VRX;
        row("IF_RecordStateChangeCallback", [this] {
            return remote<IF_RecordStateChangeCallback>("StateChange")->NotifyStateChange("D", "R", "n", RecordState_8), QString();
        }, "NotifyStateChange D R n 8 -> ");
        row("IF_VorexStatusCallback", [this] {
            return remote<IF_VorexStatusCallback>("Status")->NotifyCStorageStatus("DEV-1", "full"), QString();
        }, "NotifyCStorageStatus DEV-1 full -> ");
        row("IF_VOREX_Admin", [this] {
            CORBA::ULongLong time = 0;
            CORBA::Boolean synced = false;
            remote<IF_VOREX_Admin>("Admin")->getDeviceTime("DEV-1", time, synced);
            return QStringLiteral("%1 %2").arg(time).arg(synced);
        }, "getDeviceTime DEV-1 -> 19 1");
        row("IF_VOREX_Replay", [this] {
            return QString::number(remote<IF_VOREX_Replay>("Replay")->StartReplay("D", "R", DataRateClass_15,
                                                                                 0x0102030405060708ull, ~0ull, 3));
        }, "StartReplay D R 15 72623859790382856 18446744073709551615 3 -> 59");
        row("IF_VRX_c_ChanMan", [this] {
            return QString::number(remote<IF_VRX_c_ChanMan>("ChanMan")->isAvailableForRecord("CH-1", StringSeq()));
        }, "isAvailableForRecord CH-1 [] -> 0");
        row("IF_VRX_c_Chan", [this] {
            return remote<IF_VRX_c_Chan>("Chan")->setDataRateClass(DataRateClass_9), QString();
        }, "setDataRateClass 9 -> ");
        row("IF_ExportCallback", [this] {
            return QString::fromLatin1(CORBA::String_var(remote<IF_ExportCallback>("Export")->startFileStream("f", 1ull << 40)));
        }, "startFileStream f 1099511627776 -> startFileStream f 1099511627776");
        // The manager's reference travels in the request and is called back.
        row("IF_VRX_c_VRX", [this] {
            CORBA::String_var id;
            IF_VRX_c_Chan_var channel = remote<IF_VRX_c_VRX>("Vrx")->registerReceiverChannel(
                remote<IF_VRX_c_ChanMan>("ChanMan"), DataRateClass_15, DataFormat_23, true, false, "north", "ws-2",
                id.out(), ReceiverKind_4, "rx-9");
            return QString::fromLatin1(id.in());
        }, "registerReceiverChannel ref 15 23 1 0 north ws-2 4 rx-9; goingDown -> "
           "registerReceiverChannel ref 15 23 1 0 north ws-2 4 rx-9");
        row("Callback (oneway)", [this] {
            return remote<CCO::Callback>("Callback")->notify(CCO::NotificationType_4, "records changed"), QString();
        }, "notify 4 records changed -> ");
        row("CBRegistration", [this] { return remote<CCO::CBRegistration>("Registration")->unregister(), QString(); },
            "unregister -> ");
        row("IF_CCO_c_Update", [this] {
            return QString::number(remote<CCO::IF_CCO_c_Update>("Cco")->CheckIndication("alive"));
        }, "CheckIndication alive -> 1");
        // The interface declares the exceptions of the others.
        row("IF_CCO_c_Naming", [this] {
            return remote<CCO::IF_CCO_c_NamingCorba>("Cco")->Register("", remote<CORBA::Object>("Chan"), CCO::RedundancyType_2), QString();
        }, "Register  ref 2 -> InvalidObject");
        row("IF_CCO_c_NamingCorba", [this] {
            CCO::StringSeq values;
            values.length(1);
            values[0] = "v";
            return remote<CCO::IF_CCO_c_NamingCorba>("Cco")->RegisterValues("name", values, CCO::RedundancyType_1), QString();
        }, "RegisterValues name [v] 1 -> ");
        row("IF_CCO_c", [this] { return QString::fromLatin1(CORBA::String_var(remote<CCO::IF_CCO_c>("Cco")->GetSystemName())); },
            "GetSystemName -> GetSystemName");
    }
    void eachInterface()
    {
        QFETCH(Call, call);
        QFETCH(QString, expected);
        vrxservants::takeCalls();
        QString answer;
        try {
            answer = call();
        } catch (const CORBA::Exception& e) {
            answer = QString::fromLatin1(e._name());
        }
        QStringList received; // a oneway call may arrive after it returned
        const auto seen = [&received] {
            for (const std::string& call : vrxservants::takeCalls())
                received << QString::fromStdString(call);
            return received.join(QStringLiteral("; "));
        };
        QTRY_COMPARE_WITH_TIMEOUT(seen() + QLatin1String(" -> ") + answer, expected, 2000);
        // A call the ORB took for local would run in this thread.
        QVERIFY(vrxservants::g_lastThread != std::this_thread::get_id());
    }
};

QTEST_GUILESS_MAIN(TestIdlWire)
#include "tst_idlwire.moc"
