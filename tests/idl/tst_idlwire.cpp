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
    PortableServer::POA_var m_poa;
    QByteArray m_address; // corbaloc::1.2@127.1:<port>/

    template <class Interface>
    typename Interface::_var_type remote(const char* key)
    {
        CORBA::Object_var object = m_orb->string_to_object((m_address + key).constData());
        return Interface::_narrow(object);
    }

    // A row brings its servant, reached as an object named after the
    // interface ("IDL:CCO/Callback:1.0": "Callback"), and calls it once.
    template <class Interface, class Operation>
    void row(PortableServer::ServantBase* servant, Operation operation, const char* expected)
    {
        const QByteArray key = QByteArray(Interface::_PD_repoId).split('/').last().split(':').first();
        PortableServer::ObjectId_var id = PortableServer::string_to_ObjectId(key.constData());
        m_poa->activate_object_with_id(id, servant);
        servant->_remove_ref(); // the POA owns it
        const Call call = [this, key, operation] { return operation(remote<Interface>(key.constData()).in()); };
        QTest::newRow(key.constData()) << call << QString::fromLatin1(expected);
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
        m_poa = PortableServer::POA::_narrow(object);
        PortableServer::POAManager_var(m_poa->the_POAManager())->activate();
        // The server's port: in the IIOP profile of its references it follows
        // the host's terminating NUL, in the ORB's own byte order.
        PortableServer::ObjectId_var id = PortableServer::string_to_ObjectId("port");
        object = m_poa->create_reference_with_id(id, CORBA::Object::_PD_repoId);
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
        using namespace vrxservants;
        row<IF_RecordStateChangeCallback>(new RecordStateChangeCallback, [](auto callback) {
            return callback->NotifyStateChange("D", "R", "n", RecordState_8), QString();
        }, "NotifyStateChange D R n 8 -> ");
        row<IF_VorexStatusCallback>(new VorexStatusCallback, [](auto callback) {
            return callback->NotifyCStorageStatus("DEV-1", "full"), QString();
        }, "NotifyCStorageStatus DEV-1 full -> ");
        row<IF_VOREX_Admin>(new Admin, [](auto admin) { return QString::number(admin->deleteRecord("DEV-1", "R1")); },
                            "deleteRecord DEV-1 R1 -> 1");
        row<IF_VOREX_Replay>(new Replay, [](auto replay) {
            return QString::number(replay->StartReplay("D", "R", DataRateClass_15, 0x0102030405060708ull, ~0ull, 3));
        }, "StartReplay D R 15 72623859790382856 18446744073709551615 3 -> 59");
        row<IF_VRX_c_ChanMan>(new ChanMan, [](auto manager) {
            return QString::number(manager->isAvailableForRecord("CH-1", {}));
        }, "isAvailableForRecord CH-1 -> 1");
        row<IF_VRX_c_Chan>(new Chan, [](auto chan) { return chan->setDataRateClass(DataRateClass_9), QString(); },
                           "setDataRateClass 9 -> ");
        row<IF_ExportCallback>(new ExportCallback, [](auto callback) {
            return QString::fromLatin1(CORBA::String_var(callback->startFileStream("f", 1ull << 40)));
        }, "startFileStream f 1099511627776 -> startFileStream f 1099511627776");
        // The manager's reference travels in the request and is called back.
        row<IF_VRX_c_VRX>(new Vrx, [this](auto vrx) {
            CORBA::String_var id;
            IF_VRX_c_Chan_var channel = vrx->registerReceiverChannel(
                remote<IF_VRX_c_ChanMan>("IF_VRX_c_ChanMan"), DataRateClass_15, DataFormat_23, true, false, "north",
                "ws-2", id.out(), ReceiverKind_4, "rx-9");
            return QString::fromLatin1(id.in());
        }, "registerReceiverChannel ref 15 23 1 0 north ws-2 4 rx-9; goingDown -> "
           "registerReceiverChannel ref 15 23 1 0 north ws-2 4 rx-9");
        row<CCO::Callback>(new Callback, [](auto callback) {
            return callback->notify(CCO::NotificationType_4, "hi"), QString();
        }, "notify 4 hi -> ");
        row<CCO::CBRegistration>(new CBRegistration, [](auto registration) {
            return registration->unregister(), QString();
        }, "unregister -> ");
        row<CCO::IF_CCO_c_Update>(new Cco, [](auto cco) { return QString::number(cco->CheckIndication("alive")); },
                                  "CheckIndication alive -> 1");
        // No operations of its own: the server confirms the type as the
        // reference is narrowed.
        row<CCO::IF_CCO_c_Naming>(new Cco, [](auto naming) { return QString::number(CORBA::is_nil(naming)); }, " -> 0");
        row<CCO::IF_CCO_c_NamingCorba>(new Cco, [this](auto cco) {
            return cco->Register("name", remote<CORBA::Object>("IF_VRX_c_Chan"), CCO::RedundancyType_2), QString();
        }, "Register name ref 2 -> ");
        row<CCO::IF_CCO_c>(new Cco, [](auto cco) {
            return QString::fromLatin1(CORBA::String_var(cco->GetSystemName()));
        }, "GetSystemName -> GetSystemName");
    }
    void eachInterface()
    {
        QFETCH(Call, call);
        QFETCH(QString, expected);
        vrxservants::takeCalls();
        const QString outcome = QLatin1String(" -> ") + call(); // an exception fails the run at once
        QString received; // a oneway call may arrive after it returned
        const auto log = [&received] { return received += QString::fromStdString(vrxservants::takeCalls()); };
        QTRY_COMPARE_WITH_TIMEOUT(log() + outcome, expected, 2000);
        // A call the ORB took for local would run in this thread.
        QVERIFY(vrxservants::g_lastThread != std::this_thread::get_id());
    }
};

QTEST_GUILESS_MAIN(TestIdlWire)
#include "tst_idlwire.moc"
