// The recorder manager and naming protocols on the wire. Servants and clients
// live in this process, but every call travels through a loopback TCP relay:
// the clients hold the servants' references with the relay's port in place of
// the server's, an address the ORB does not take for its own, so each call is
// marshalled, sent as GIOP and unmarshalled. The relay can alter a message on
// its way, to show that the receiving side refuses it.
//
// This process links the generated code itself and must never load the
// plug-in module, which carries a second copy of the same stubs.

#include "servants.h"

#include <QtEndian>
#include <QtTest>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <thread>

using Call = std::function<QString()>;
Q_DECLARE_METATYPE(Call)

namespace {

// GIOP 1.2 aligns from the message start; flag bit 0 of octet 6 is the byte order.
void putULong(QByteArray& message, int at, quint32 value)
{
    if (message.at(6) & 1)
        qToLittleEndian(value, message.data() + at);
    else
        qToBigEndian(value, message.data() + at);
}

// Relays loopback connections to the server one GIOP message at a time.
class Relay
{
public:
    using Hook = std::function<void(bool toServer, QByteArray& message)>;

    explicit Relay(quint16 serverPort) : m_serverPort(serverPort)
    {
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 8);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] {
            for (int client; (client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                const sockaddr_in to = loopback(m_serverPort);
                ::connect(server, reinterpret_cast<const sockaddr*>(&to), sizeof to);
                m_sockets.insert(m_sockets.end(), {client, server});
                m_pumps.emplace_back([=] { pump(client, server, true); });
                m_pumps.emplace_back([=] { pump(server, client, false); });
            }
        });
    }
    ~Relay()
    {
        ::shutdown(m_listener, SHUT_RDWR); // ends the acceptor
        m_acceptor.join();
        for (int socket : m_sockets)
            ::shutdown(socket, SHUT_RDWR);
        for (std::thread& pump : m_pumps)
            pump.join();
        for (int socket : m_sockets)
            ::close(socket);
        ::close(m_listener);
    }
    void setHook(Hook hook)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hook = std::move(hook);
        m_relayed = 0;
    }
    int relayed()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_relayed;
    }
    quint16 port = 0;

private:
    static sockaddr_in loopback(quint16 port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    void pump(int from, int to, bool toServer)
    {
        QByteArray buffer;
        char chunk[4096];
        for (ssize_t n; (n = ::recv(from, chunk, sizeof chunk, 0)) > 0;) {
            buffer.append(chunk, int(n));
            while (buffer.size() >= 12) {
                const char* size = buffer.constData() + 8;
                const int end = 12 + int(buffer.at(6) & 1 ? qFromLittleEndian<quint32>(size) : qFromBigEndian<quint32>(size));
                if (buffer.size() < end)
                    break;
                QByteArray message = buffer.left(end);
                buffer.remove(0, end);
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    ++m_relayed;
                    if (m_hook)
                        m_hook(toServer, message);
                }
                ::send(to, message.constData(), size_t(message.size()), MSG_NOSIGNAL);
            }
        }
        ::shutdown(to, SHUT_RDWR);
    }

    quint16 m_serverPort;
    int m_listener = -1;
    std::thread m_acceptor;
    std::vector<int> m_sockets;
    std::vector<std::thread> m_pumps;
    std::mutex m_mutex;
    Hook m_hook;
    int m_relayed = 0;
};

// How a call ended: its answer, or the exception.
QString outcome(const Call& call)
{
    try {
        return call();
    } catch (const CORBA::SystemException& e) {
        return QString::fromLatin1(e._name());
    } catch (const CORBA::UserException& e) {
        return QString::fromLatin1(e._rep_id());
    }
}

QString received()
{
    QStringList calls;
    for (const std::string& call : vrxservants::takeCalls())
        calls << QString::fromStdString(call);
    return calls.join(QStringLiteral("; "));
}

} // namespace

class TestIdlWire : public QObject
{
    Q_OBJECT

    CORBA::ORB_var m_orb;
    PortableServer::POA_var m_poa;
    std::unique_ptr<Relay> m_relay;
    KD_VRX::IF_VOREX_Replay_var m_replay;
    KD_VRX::IF_VOREX_Admin_var m_admin;
    KD_VRX::IF_VRX_c_ChanMan_var m_chanMan;

    // The servant's reference as the server publishes it (type id, code
    // sets), but with the relay's port. In the IIOP profile the port follows
    // the host's terminating NUL directly, in the ORB's own byte order.
    template <class Interface>
    typename Interface::_var_type remote(const char* key)
    {
        PortableServer::ObjectId_var id = PortableServer::string_to_ObjectId(key);
        CORBA::Object_var object = m_poa->id_to_reference(id);
        CORBA::String_var ior = m_orb->object_to_string(object);
        QByteArray bytes = QByteArray::fromHex(QByteArray(ior.in()).mid(4));
        char* port = bytes.data() + bytes.indexOf(QByteArray("127.0.0.1", 10)) + 10;
        if (!m_relay) {
            quint16 serverPort;
            std::memcpy(&serverPort, port, 2);
            m_relay = std::make_unique<Relay>(serverPort);
        }
        std::memcpy(port, &m_relay->port, 2);
        object = m_orb->string_to_object(("IOR:" + bytes.toHex()).constData());
        return Interface::_narrow(object);
    }

    void activate(PortableServer::ServantBase* servant, const char* key)
    {
        PortableServer::ObjectId_var id = PortableServer::string_to_ObjectId(key);
        m_poa->activate_object_with_id(id, servant);
        servant->_remove_ref(); // the POA owns it
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
        CORBA::Object_var poa = m_orb->resolve_initial_references("omniINSPOA");
        m_poa = PortableServer::POA::_narrow(poa);
        PortableServer::POAManager_var manager = m_poa->the_POAManager();
        manager->activate();
        using namespace vrxservants;
        activate(new RecordStateChangeCallback, "RecordStateChangeCallback");
        activate(new VorexStatusCallback, "VorexStatusCallback");
        activate(new Admin, "Admin");
        activate(new Replay, "Replay");
        activate(new ChanMan, "ChanMan");
        activate(new Chan, "Chan");
        activate(new ExportCallback, "ExportCallback");
        activate(new Vrx, "Vrx");
        activate(new Callback, "Callback");
        activate(new CBRegistration, "CBRegistration");
        activate(new Cco, "Cco");
        m_replay = remote<KD_VRX::IF_VOREX_Replay>("Replay");
        m_admin = remote<KD_VRX::IF_VOREX_Admin>("Admin");
        m_chanMan = remote<KD_VRX::IF_VRX_c_ChanMan>("ChanMan");
    }

    void init()
    {
        m_relay->setHook(nullptr);
        vrxservants::takeCalls();
    }

    void cleanupTestCase()
    {
        m_replay = KD_VRX::IF_VOREX_Replay::_nil();
        m_admin = KD_VRX::IF_VOREX_Admin::_nil();
        m_chanMan = KD_VRX::IF_VRX_c_ChanMan::_nil();
        m_relay.reset();
        m_poa = PortableServer::POA::_nil();
        m_orb->destroy();
    }

    // One operation per interface: what the servant received, what the
    // client got back.
    void eachInterface_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("expectedCalls");
        QTest::addColumn<QString>("expectedAnswer");
        using namespace KD_VRX;
        QTest::newRow("IF_RecordStateChangeCallback") << Call([this] {
            remote<IF_RecordStateChangeCallback>("RecordStateChangeCallback")->NotifyStateChange("DEV-1", "REC-42", "call", RecordState_8);
            return QString();
        }) << "NotifyStateChange DEV-1 REC-42 call 8" << "";
        QTest::newRow("IF_VorexStatusCallback") << Call([this] {
            remote<IF_VorexStatusCallback>("VorexStatusCallback")->NotifyCStorageStatus("DEV-1", "full");
            return QString();
        }) << "NotifyCStorageStatus DEV-1 full" << "";
        QTest::newRow("IF_VOREX_Admin") << Call([this] {
            try {
                RecordInfo_var info;
                m_admin->getRecord("DEV-1", "", info.out());
            } catch (const IF_VOREX_Admin::exAdmin& e) {
                return QStringLiteral("exAdmin %1 ").arg(e.code) + QString::fromLatin1(e.text.in());
            }
            return QString();
        }) << "getRecord DEV-1 " << "exAdmin 0 DEV-1";
        QTest::newRow("IF_VOREX_Replay") << Call([this] {
            return QString::number(m_replay->StartReplay("DEV-1", "REC-42", DataRateClass_15, 0x0102030405060708ull, ~0ull, 3));
        }) << "StartReplay DEV-1 REC-42 15 72623859790382856 18446744073709551615 3" << "68";
        QTest::newRow("IF_VRX_c_ChanMan") << Call([this] {
            StringSeq devices;
            devices.length(2);
            devices[0] = "DEV-1";
            devices[1] = "DEV-2";
            return QString::number(m_chanMan->isAvailableForRecord("CH-1", devices));
        }) << "isAvailableForRecord CH-1 [DEV-1,DEV-2]" << "1";
        QTest::newRow("IF_VRX_c_Chan") << Call([this] {
            remote<IF_VRX_c_Chan>("Chan")->setDataRateClass(DataRateClass_9);
            return QString();
        }) << "setDataRateClass 9" << "";
        QTest::newRow("IF_ExportCallback") << Call([this] {
            CORBA::String_var stream = remote<IF_ExportCallback>("ExportCallback")->startFileStream("a.dat", 1ull << 40);
            return QString::fromLatin1(stream.in());
        }) << "startFileStream a.dat 1099511627776" << "startFileStream a.dat 1099511627776";
        // The manager's reference travels in the request and is called back.
        QTest::newRow("IF_VRX_c_VRX") << Call([this] {
            CORBA::String_var id;
            IF_VRX_c_Chan_var channel = remote<IF_VRX_c_VRX>("Vrx")->registerReceiverChannel(
                m_chanMan, DataRateClass_15, DataFormat_23, true, false, "north", "ws-2", id.out(), ReceiverKind_4, "rx-9");
            return QString::fromLatin1(id.in());
        }) << "registerReceiverChannel ref 15 23 1 0 north ws-2 4 rx-9; goingDown"
                                       << "registerReceiverChannel ref 15 23 1 0 north ws-2 4 rx-9";
        QTest::newRow("Callback (oneway)") << Call([this] {
            remote<CCO::Callback>("Callback")->notify(CCO::NotificationType_4, "records changed");
            return QString();
        }) << "notify 4 records changed" << "";
        QTest::newRow("CBRegistration") << Call([this] {
            remote<CCO::CBRegistration>("CBRegistration")->unregister();
            return QString();
        }) << "unregister" << "";
        QTest::newRow("IF_CCO_c_Update") << Call([this] {
            return QString::number(remote<CCO::IF_CCO_c_Update>("Cco")->CheckIndication("alive"));
        }) << "CheckIndication alive" << "1";
        QTest::newRow("IF_CCO_c_Naming") << Call([this] {
            remote<CCO::IF_CCO_c_NamingCorba>("Cco")->Register("", m_replay, CCO::RedundancyType_2);
            return QString();
        }) << "Register  ref 2" << "IDL:CCO/IF_CCO_c_Naming/InvalidObject:1.0";
        QTest::newRow("IF_CCO_c_NamingCorba") << Call([this] {
            CCO::StringSeq values;
            values.length(1);
            values[0] = "v";
            remote<CCO::IF_CCO_c_NamingCorba>("Cco")->RegisterValues("name", values, CCO::RedundancyType_1);
            return QString();
        }) << "RegisterValues name [v] 1" << "";
        QTest::newRow("IF_CCO_c") << Call([this] {
            CORBA::String_var name = remote<CCO::IF_CCO_c>("Cco")->GetSystemName();
            return QString::fromLatin1(name.in());
        }) << "GetSystemName" << "GetSystemName";
    }
    void eachInterface()
    {
        QFETCH(Call, call);
        QFETCH(QString, expectedCalls);
        QFETCH(QString, expectedAnswer);
        QCOMPARE(outcome(call), expectedAnswer);
        QString calls; // a oneway call may arrive after it returned
        QTRY_COMPARE_WITH_TIMEOUT(calls += received(), expectedCalls, 2000);
        QVERIFY(m_relay->relayed() > 0);
    }

    // A message altered on its way ends in a system exception at the
    // receiver, before a servant or a caller sees a value. The alteration
    // follows the first string `after` in the message: cut it there, or
    // write a 32-bit number at the next aligned position.
    void alteredMessagesAreRefused_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<bool>("toServer");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("expectedCalls");
        const Call startReplay = [this] {
            return QString::number(m_replay->StartReplay("DEV-1", "REC-42", KD_VRX::DataRateClass_15, 1, 2, 3));
        };
        const auto getRecord = [this](const char* record) {
            return Call([this, record] {
                KD_VRX::RecordInfo_var info;
                return QString::number(m_admin->getRecord("DEV-1", record, info.out()));
            });
        };
        QTest::newRow("request cut short") << startReplay << true << QByteArray("REC-42") << -1ll << "";
        QTest::newRow("enumeration out of range") << startReplay << true << QByteArray("REC-42") << 16ll << "";
        QTest::newRow("sequence longer than the request") << Call([this] {
            KD_VRX::StringSeq devices;
            devices.length(1);
            devices[0] = "DEV-1";
            return QString::number(m_chanMan->isAvailableForRecord("CH-1", devices));
        }) << true << QByteArray("CH-1") << 0x10000000ll << "";
        QTest::newRow("reply cut short") << getRecord("REC-42") << false << QByteArray("REC-42") << -1ll
                                         << "getRecord DEV-1 REC-42";
        QTest::newRow("exception code out of range") << getRecord("") << false
                                                     << QByteArray("IDL:KD_VRX/IF_VOREX_Admin/exAdmin:1.0") << 1ll
                                                     << "getRecord DEV-1 ";
    }
    void alteredMessagesAreRefused()
    {
        QFETCH(Call, call);
        QFETCH(bool, toServer);
        QFETCH(QByteArray, after);
        QFETCH(qint64, value);
        QFETCH(QString, expectedCalls);
        m_relay->setHook([=, done = false](bool direction, QByteArray& message) mutable {
            const int at = message.indexOf(after + '\0');
            if (done || direction != toServer || at < 0)
                return;
            done = true;
            const int end = at + after.size() + 1;
            if (value < 0)
                message.truncate(end);
            else
                putULong(message, (end + 3) & ~3, quint32(value));
            putULong(message, 8, quint32(message.size() - 12));
        });
        QCOMPARE(outcome(call), QStringLiteral("MARSHAL"));
        QCOMPARE(received(), expectedCalls);
    }
};

QTEST_GUILESS_MAIN(TestIdlWire)
#include "tst_idlwire.moc"
