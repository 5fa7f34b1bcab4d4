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
#include <type_traits>

using Call = std::function<QString()>;
Q_DECLARE_METATYPE(Call)

namespace {

QString answer(const QString& text) { return text; }
QString answer(CORBA::ULongLong n) { return QString::number(n); }
QString answer(const char* text) { return QString::fromLatin1(text); }
QString answer(char* s) { return QString::fromLatin1(CORBA::String_var(s).in()); }

} // namespace

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

    // A row that calls one operation of the object of an interface, named as
    // the interface ("IDL:CCO/Callback:1.0": "Callback").
    template <class Interface, class Operation>
    void row(Operation operation, const char* expected)
    {
        const QString key = QString::fromLatin1(Interface::_PD_repoId).section('/', -1).section(':', 0, 0);
        const Call call = [this, key, operation] {
            typename Interface::_var_type target = remote<Interface>(qPrintable(key));
            if constexpr (std::is_void_v<decltype(operation(target.in()))>)
                return operation(target.in()), QString();
            else
                return answer(operation(target.in()));
        };
        QTest::newRow(qPrintable(key)) << call << QString::fromUtf8(expected);
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
        PortableServer::POAManager_var(poa->the_POAManager())->activate();
        using namespace vrxservants;
        // One object per interface (the naming ones served by one servant).
        const std::pair<const char*, PortableServer::ServantBase*> servants[] = {
            {"IF_RecordStateChangeCallback", new RecordStateChangeCallback},
            {"IF_VorexStatusCallback", new VorexStatusCallback}, {"IF_VOREX_Admin", new Admin},
            {"IF_VOREX_Replay", new Replay}, {"IF_VRX_c_ChanMan", new ChanMan}, {"IF_VRX_c_Chan", new Chan},
            {"IF_ExportCallback", new ExportCallback}, {"IF_VRX_c_VRX", new Vrx}, {"Callback", new Callback},
            {"CBRegistration", new CBRegistration}, {"IF_CCO_c_Update", new Cco}, {"IF_CCO_c_Naming", new Cco},
            {"IF_CCO_c_NamingCorba", new Cco}, {"IF_CCO_c", new Cco}};
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
        using namespace CCO;
        row<IF_RecordStateChangeCallback>([](auto callback) {
            return callback->NotifyStateChange("D", "R", "n", RecordState_8);
        }, "NotifyStateChange D R n 8 -> ");
        row<IF_VorexStatusCallback>([](auto callback) { return callback->NotifyCStorageStatus("DEV-1", "full"); },
                                    "NotifyCStorageStatus DEV-1 full -> ");
        row<IF_VOREX_Admin>([](auto admin) {
            CORBA::ULongLong time = 0;
            CORBA::Boolean synced = false;
            admin->getDeviceTime("DEV-1", time, synced);
            return QStringLiteral("%1 %2").arg(time).arg(synced);
        }, "getDeviceTime DEV-1 -> 19 1");
        row<IF_VOREX_Replay>([](auto replay) {
            return replay->StartReplay("D", "R", DataRateClass_15, 0x0102030405060708ull, ~0ull, 3);
        }, "StartReplay D R 15 72623859790382856 18446744073709551615 3 -> 59");
        row<IF_VRX_c_ChanMan>([](auto manager) { return manager->isAvailableForRecord("CH-1", KD_VRX::StringSeq()); },
                              "isAvailableForRecord CH-1 [0] -> 1");
        row<IF_VRX_c_Chan>([](auto channel) { return channel->setDataRateClass(DataRateClass_9); },
                           "setDataRateClass 9 -> ");
        row<IF_ExportCallback>([](auto callback) { return callback->startFileStream("f", 1ull << 40); },
                               "startFileStream f 1099511627776 -> startFileStream f 1099511627776");
        // The manager's reference travels in the request and is called back.
        row<IF_VRX_c_VRX>([this](auto vrx) {
            CORBA::String_var id;
            IF_VRX_c_Chan_var channel = vrx->registerReceiverChannel(
                remote<IF_VRX_c_ChanMan>("IF_VRX_c_ChanMan"), DataRateClass_15, DataFormat_23, true, false, "north",
                "ws-2", id.out(), ReceiverKind_4, "rx-9");
            return QString::fromLatin1(id.in());
        }, "registerReceiverChannel ref 15 23 1 0 north ws-2 4 rx-9; goingDown -> "
           "registerReceiverChannel ref 15 23 1 0 north ws-2 4 rx-9");
        row<Callback>([](auto callback) { return callback->notify(NotificationType_4, "records changed"); },
                      "notify 4 records changed -> ");
        row<CBRegistration>([](auto registration) { return registration->unregister(); }, "unregister -> ");
        row<IF_CCO_c_Update>([](auto cco) { return cco->CheckIndication("alive"); }, "CheckIndication alive -> 1");
        // No operations of its own: the server confirms the type as the
        // reference is narrowed.
        row<IF_CCO_c_Naming>([](auto naming) { return CORBA::is_nil(naming) ? "nil" : "narrowed"; }, " -> narrowed");
        // Raises an exception the interface above declares.
        row<IF_CCO_c_NamingCorba>([this](auto cco) {
            return cco->Register("", remote<CORBA::Object>("IF_VRX_c_Chan"), RedundancyType_2);
        }, "Register  ref 2 -> InvalidObject");
        row<IF_CCO_c>([](auto cco) { return cco->GetSystemName(); }, "GetSystemName -> GetSystemName");
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
        QString received; // a oneway call may arrive after it returned
        QTRY_COMPARE_WITH_TIMEOUT((received += QString::fromStdString(vrxservants::takeCalls())) + QLatin1String(" -> ") + answer,
                                  expected, 2000);
        // A call the ORB took for local would run in this thread.
        QVERIFY(vrxservants::g_lastThread != std::this_thread::get_id());
    }
};

QTEST_GUILESS_MAIN(TestIdlWire)
#include "tst_idlwire.moc"
