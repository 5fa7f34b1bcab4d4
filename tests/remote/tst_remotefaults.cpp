#include "base.h"
#include "vorexclient.h"
#include "vorexclient_remote_p.h"
#include "values.h"

#include <QtEndian>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

// The link against "managers" that misbehave on the wire: one that takes the
// connection and never answers, one that answers with bytes the ORB cannot
// read, one whose name service hands out an object of another type. The link
// must stay down, say why in the trace, keep its commands bounded and the
// GUI thread free. And a manager whose notifications overtake one another.

namespace {

using VorexCommon::RemoteRecorderManagerLink;

// A TCP server that reads GIOP messages and answers each request as told.
class FakeManager
{
public:
    enum Mode { Silent, Garbage, Oversized };

    explicit FakeManager(Mode mode) : m_mode(mode)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(m_listen, 8) != 0
            || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            qFatal("fake manager: no listening socket");
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeManager()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    // A corbaloc without a version speaks GIOP 1.0 until the manager's own
    // references (GIOP 1.2) take over.
    QString address(const QString& version = QString()) const
    {
        const QString prefix = version.isEmpty() ? QString() : version + QLatin1Char('@');
        return QStringLiteral("corbaloc::") + prefix + QStringLiteral("127.0.0.1:%1/CCO").arg(m_port);
    }
    int requests() const { return m_requests; }

private:
    void serve()
    {
        std::map<int, QByteArray> conns;
        while (!m_stop) {
            std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
            for (const auto& c : conns)
                fds.push_back({c.first, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 50) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0)
                    conns[fd];
            }
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buf[4096];
                const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
                if (n <= 0) {
                    ::close(fds[i].fd);
                    conns.erase(fds[i].fd);
                    continue;
                }
                QByteArray& in = conns[fds[i].fd];
                in.append(buf, int(n));
                while (in.size() >= 12) {
                    const bool little = in[6] & 1;
                    const auto* h = reinterpret_cast<const uchar*>(in.constData());
                    const quint32 size = little ? qFromLittleEndian<quint32>(h + 8) : qFromBigEndian<quint32>(h + 8);
                    if (quint32(in.size()) < 12 + size)
                        break;
                    answer(fds[i].fd, in.left(int(12 + size)));
                    in.remove(0, int(12 + size));
                }
            }
        }
        for (const auto& c : conns)
            ::close(c.first);
    }

    void answer(int fd, const QByteArray& message)
    {
        ++m_requests;
        const char type = message[7];
        if (m_mode == Silent || (type != 0 && type != 3)) // Request, LocateRequest
            return;
        // A reply header in the request's version and byte order; GIOP 1.2
        // puts the request ID first, so the ORB takes the body for its call.
        QByteArray reply = message.left(7);
        reply += char(type == 0 ? 1 : 4);
        const QByteArray requestId = message.mid(12, 4);
        QByteArray body;
        quint32 announced = 0;
        if (m_mode == Garbage) {
            body = requestId + QByteArray(60, char(0xA5));
            announced = quint32(body.size());
        } else {
            body = requestId + QByteArray(4, 0);
            announced = 64u << 20; // far beyond giopMaxMsgSize
        }
        uchar size[4];
        if (message[6] & 1)
            qToLittleEndian(announced, size);
        else
            qToBigEndian(announced, size);
        reply.append(reinterpret_cast<const char*>(size), 4);
        reply += body;
        if (::write(fd, reply.constData(), size_t(reply.size())) < 0)
            return;
    }

    Mode m_mode;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_thread;
};

// A central service whose name service hands out `answer` for every name.
class NamingServant : public PortableServer::DynamicImplementation
{
public:
    CORBA::Object_var answer;
    std::atomic<int> resolves{0};
    char* _primary_interface(const PortableServer::ObjectId&, PortableServer::POA_ptr) override
    {
        return CORBA::string_dup("IDL:CCO/IF_CCO_c:1.0");
    }
    // Not omniORB's: it leaks the ID it takes from _primary_interface().
    CORBA::Boolean _is_a(const char* id) override { return qstrcmp(id, "IDL:CCO/IF_CCO_c:1.0") == 0; }
    void invoke(CORBA::ServerRequest_ptr request) override
    {
        using namespace VorexRemote;
        if (qstrcmp(request->operation(), "Resolve") != 0)
            throw CORBA::BAD_OPERATION();
        CORBA::NVList_ptr args;
        Orb()->create_list(0, args);
        args->add_value("", DefaultAny(CORBA::_tc_string), CORBA::ARG_IN);
        args->add_value("", DefaultAny(TypeCodes::Get().resolveType), CORBA::ARG_IN);
        request->arguments(args);
        ++resolves;
        CORBA::Any result;
        result <<= answer.in();
        request->set_result(result);
    }
};

// An object of another interface that counts what reaches it.
class OtherServant : public PortableServer::DynamicImplementation
{
public:
    std::atomic<int> calls{0};
    char* _primary_interface(const PortableServer::ObjectId&, PortableServer::POA_ptr) override
    {
        return CORBA::string_dup("IDL:CCO/Callback:1.0");
    }
    // Not omniORB's: it leaks the ID it takes from _primary_interface().
    CORBA::Boolean _is_a(const char* id) override { return qstrcmp(id, "IDL:CCO/Callback:1.0") == 0; }
    void invoke(CORBA::ServerRequest_ptr request) override
    {
        ++calls;
        CORBA::NVList_ptr args;
        VorexRemote::Orb()->create_list(0, args);
        request->arguments(args);
        CORBA::Any result;
        result <<= CORBA::Object::_nil();
        request->set_result(result);
    }
};

// A manager in the suite's process, just enough of one for the link to
// connect: it keeps the callback of the link's subscription, so that the
// test can send the notifications in an order of its choosing.
class TinyManager : public PortableServer::DynamicImplementation
{
public:
    explicit TinyManager(const char* repoId) : m_repoId(repoId) {}
    // What Resolve answers, and every other object the link asks for (a nil
    // one does not travel in an Any through omniORB's local calls).
    CORBA::Object_var root;
    std::mutex m;
    CORBA::Object_var callback;
    int subscriptions = 0;

    char* _primary_interface(const PortableServer::ObjectId&, PortableServer::POA_ptr) override
    {
        return CORBA::string_dup(m_repoId);
    }
    // Not omniORB's: it leaks the ID it takes from _primary_interface().
    CORBA::Boolean _is_a(const char* id) override { return qstrcmp(id, m_repoId) == 0; }
    void invoke(CORBA::ServerRequest_ptr request) override
    {
        using namespace VorexRemote;
        const TypeCodes& t = TypeCodes::Get();
        const std::string op = request->operation();
        CORBA::TypeCode_ptr s = CORBA::_tc_string, o = CORBA::_tc_Object;
        CORBA::NVList_ptr args;
        Orb()->create_list(0, args);
        const auto in = [&](std::initializer_list<CORBA::TypeCode_ptr> tcs) {
            for (CORBA::TypeCode_ptr tc : tcs)
                args->add_value("", DefaultAny(tc), CORBA::ARG_IN);
        };
        CORBA::Any result;
        if (op == "Resolve") {
            in({s, t.resolveType});
            result <<= root.in();
        } else if (op == "Register") {
            in({s, o, t.redundancyType});
        } else if (op == "register_callback") {
            in({o, t.notificationFilterSeq});
            request->arguments(args);
            CORBA::Object_ptr cb = CORBA::Object::_nil();
            *args->item(0)->value() >>= CORBA::Any::to_object(cb);
            std::lock_guard<std::mutex> lock(m);
            callback = CORBA::Object::_duplicate(cb);
            ++subscriptions;
            result <<= root.in();
            request->set_result(result);
            return;
        } else if (op == "registerReceiverChannel") {
            in({o, t.dataRateClass, t.dataFormat, CORBA::_tc_boolean, CORBA::_tc_boolean, s, s});
            args->add_value("", DefaultAny(s), CORBA::ARG_OUT);
            in({t.receiverKind, s});
            request->arguments(args);
            *args->item(7)->value() <<= "Channel1";
            result <<= root.in();
            request->set_result(result);
            return;
        } else if (op == "getVorexAdminInterface") {
            result <<= root.in();
        } else if (op == "getAllDevices") {
            result = DefaultAny(t.stringSeq);
        } else if (op == "getWorkstationName") {
            result <<= "tiny";
        } else {
            CORBA::release(args); // never handed to the request
            throw CORBA::BAD_OPERATION(); // Unregister: nothing bound
        }
        request->arguments(args);
        if (op != "Register")
            request->set_result(result);
    }

    CORBA::Object_ptr currentCallback()
    {
        std::lock_guard<std::mutex> lock(m);
        return CORBA::Object::_duplicate(callback);
    }
    int subscriptionCount()
    {
        std::lock_guard<std::mutex> lock(m);
        return subscriptions;
    }

private:
    const char* m_repoId;
};

void notify(CORBA::Object_ptr callback, CORBA::ULong kind, const QString& message)
{
    using namespace VorexRemote;
    CORBA::Request_var req = callback->_request("notify");
    req->add_in_arg() = EnumAny(TypeCodes::Get().notificationType, kind);
    req->add_in_arg() <<= message.toUtf8().constData();
    req->send_oneway();
}

struct WriteCounter : IObserver
{
    int count = 0;
    void Update(Observable*, TChangeCode code) override { count += code == VC_VALUECHANGED; }
};

RemoteRecorderManagerLink::ChannelPaths channel1()
{
    return {QStringLiteral("/Receivers/Channel1"), QStringLiteral("/Host/Channel1/ReplayTime")};
}

VorexCommon::RecordedCommand startReplay()
{
    return {QStringLiteral("StartReplay"), QStringLiteral("/Receivers/Channel1"),
            {QStringLiteral("Dev1"), QStringLiteral("R-1"), 0, quint64(0), quint64(0), 1u}};
}

} // namespace

class TestRemoteFaults : public QObject
{
    Q_OBJECT

    QStringList m_traces;
    QString m_address;
    int m_sink = 0;
    std::shared_ptr<RemoteRecorderManagerLink> m_link;
    std::unique_ptr<QSignalSpy> m_changed;

    void startLink(const QString& address)
    {
        m_address = address;
        m_link = std::make_shared<RemoteRecorderManagerLink>(
            address, std::vector<RemoteRecorderManagerLink::ChannelPaths>{channel1()}, QStringLiteral("fault-client"));
        m_changed.reset(new QSignalSpy(VorexCommon::RecorderManagerEvents::Instance(),
                                       &VorexCommon::RecorderManagerEvents::si_connectionChanged));
        VorexCommon::RecorderManagerLink::Install(m_link);
        m_link->Start();
    }
    // This test's lines: a link of an earlier test may still have its last
    // line on the way.
    QStringList ownTraces() const
    {
        return m_link ? m_traces.filter(QStringLiteral("remote link %1:").arg(m_address)) : QStringList();
    }
    QString traces() const { return ownTraces().join(QLatin1Char('\n')); }

private slots:
    void initTestCase()
    {
        ErrorHandler::Instance()->SetTraceMask(ErrorHandler::TraceWarnings);
        m_sink = ErrorHandler::Instance()->AddTraceSink([this](const TraceRecord& r) {
            // Written from the link's worker: handed to this thread.
            QMetaObject::invokeMethod(this, [this, text = r.text] { m_traces << text; }, Qt::QueuedConnection);
        });
    }
    void init() { m_traces.clear(); }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            qInfo("traces: %s", qPrintable(traces()));
        VorexCommon::RecorderManagerLink::Install(nullptr);
        if (m_link) {
            QElapsedTimer stop;
            stop.start();
            m_link->Stop(); // waits for a call in flight: bounded by the time-outs
            QVERIFY2(stop.elapsed() < 4000, qPrintable(QString::number(stop.elapsed())));
        }
        m_link.reset();
        QVERIFY(m_changed->isEmpty()); // never reported connected
    }

    // The manager takes the connection and reads, but never answers.
    void silentManager()
    {
        FakeManager fake(FakeManager::Silent);
        int ticks = 0;
        qint64 longestGap = 0;
        QElapsedTimer sinceTick;
        QTimer timer;
        timer.setInterval(20);
        connect(&timer, &QTimer::timeout, this, [&] {
            longestGap = std::max(longestGap, sinceTick.restart());
            ++ticks;
        });
        sinceTick.start();
        timer.start();
        startLink(fake.address());
        // The first attempt hangs in its call for the call time-out: on the
        // worker, so the GUI thread's timer keeps ticking.
        QTRY_VERIFY_WITH_TIMEOUT(fake.requests() > 0, 2000);
        QTest::qWait(2600);
        QVERIFY2(longestGap < 400, qPrintable(QString::number(longestGap)));
        QVERIFY(ticks > 60);
        QVERIFY(!m_link->IsConnected());
        QTRY_VERIFY_WITH_TIMEOUT(traces().contains(QLatin1String("TIMEOUT (TIMEOUT_CallTimedOutOnClient)")), 2000);

        QElapsedTimer call;
        call.start();
        QCOMPARE(m_link->ExecuteReplayCommand(startReplay()), quint32(VorexCommon::RecorderManagerBackend::eResult_NotConnected));
        QVERIFY(call.elapsed() < 4000);
        // It keeps trying, at its back-off, rather than giving up or spinning.
        QTRY_VERIFY_WITH_TIMEOUT(fake.requests() >= 2, 5000);
        QVERIFY(fake.requests() < 6);
    }

    // Replies the ORB cannot take: they fail the call and the link stays
    // down, trying again later; the process goes on.
    void unreadableReplies_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("why");
        QTest::newRow("garbage after the header, GIOP 1.0")
            << int(FakeManager::Garbage) << QString() << QStringLiteral("COMM_FAILURE|MARSHAL");
        QTest::newRow("garbage after the header, GIOP 1.2")
            << int(FakeManager::Garbage) << QStringLiteral("1.2") << QStringLiteral("COMM_FAILURE|MARSHAL");
        QTest::newRow("body beyond giopMaxMsgSize, GIOP 1.0")
            << int(FakeManager::Oversized) << QString() << QStringLiteral("MARSHAL|TIMEOUT");
        QTest::newRow("body beyond giopMaxMsgSize, GIOP 1.2")
            << int(FakeManager::Oversized) << QStringLiteral("1.2") << QStringLiteral("MARSHAL|TIMEOUT");
    }
    void unreadableReplies()
    {
        QFETCH(int, mode);
        QFETCH(QString, version);
        QFETCH(QString, why);
        FakeManager fake(static_cast<FakeManager::Mode>(mode));
        QElapsedTimer clock;
        clock.start();
        startLink(fake.address(version));
        const QRegularExpression reason(QStringLiteral("connecting: (%1) ").arg(why));
        QTRY_VERIFY_WITH_TIMEOUT(reason.match(traces()).hasMatch(), 5000);
        QVERIFY2(clock.elapsed() < 4000, qPrintable(traces()));
        QVERIFY(!m_link->IsConnected());
        QTRY_VERIFY_WITH_TIMEOUT(fake.requests() >= 2, 6000);
        QCOMPARE(ownTraces().size(), 1); // one line per distinct reason
        QCOMPARE(m_link->ExecuteReplayCommand(startReplay()), quint32(VorexCommon::RecorderManagerBackend::eResult_NotConnected));
    }

    // The name service answers with a reference to something else: no call
    // of the manager's may go there.
    void resolvedObjectOfAnotherType()
    {
        using namespace VorexRemote;
        auto* other = new OtherServant;
        auto* naming = new NamingServant;
        PortableServer::ObjectId_var otherId = RootPoa()->activate_object(other);
        naming->answer = RootPoa()->id_to_reference(otherId);
        PortableServer::ObjectId_var namingId = RootPoa()->activate_object(naming);
        CORBA::Object_var namingRef = RootPoa()->id_to_reference(namingId);
        CORBA::String_var ior = Orb()->object_to_string(namingRef);

        startLink(QString::fromLatin1(ior.in()));
        QTRY_VERIFY_WITH_TIMEOUT(naming->resolves >= 2, 4000);
        QVERIFY2(traces().contains(QLatin1String("no IDL:KD_VRX/IF_VRX_c_VRX:1.0")), qPrintable(traces()));
        QCOMPARE(other->calls.load(), 0);
        QVERIFY(!m_link->IsConnected());
        m_link->Stop();
        RootPoa()->deactivate_object(namingId);
        RootPoa()->deactivate_object(otherId);
        naming->_remove_ref();
        other->_remove_ref();
    }

    // Notifications may overtake one another on their way (the manager's ORB
    // can carry them over two connections): applied by their number, an
    // early one waits for the missing one; one that never comes costs a new
    // subscription, after a while.
    void notificationsInTheirOrder()
    {
        using namespace VorexRemote;
        auto* cco = new TinyManager("IDL:CCO/IF_CCO_c:1.0");
        auto* root = new TinyManager("IDL:KD_VRX/IF_VRX_c_VRX:1.0");
        PortableServer::ObjectId_var rootId = RootPoa()->activate_object(root);
        cco->root = RootPoa()->id_to_reference(rootId);
        root->root = CORBA::Object::_duplicate(cco->root);
        PortableServer::ObjectId_var ccoId = RootPoa()->activate_object(cco);
        CORBA::Object_var ccoRef = RootPoa()->id_to_reference(ccoId);
        CORBA::String_var ior = Orb()->object_to_string(ccoRef);
        const QString name = QStringLiteral("/Receivers/Channel1/RecordName");

        startLink(QString::fromLatin1(ior.in()));
        QTRY_COMPARE_WITH_TIMEOUT(cco->subscriptionCount(), 1, 4000);
        CORBA::Object_var cb = cco->currentCallback();
        notify(cb, 1, QStringLiteral("1\t/Receivers/Channel1/RecordReplayModes\te\t0\t3|3=record|5=stop"));
        notify(cb, 1, QStringLiteral("2\t%1\ts\t0\tfirst").arg(name));
        notify(cb, 3, QStringLiteral("4\tChannel1"));
        notify(cb, 1, QStringLiteral("3\t%1\ts\t0\tsecond").arg(name));
        QTRY_VERIFY_WITH_TIMEOUT(m_link->IsConnected(), 2000);
        QCOMPARE(values::Tree::Instance()->FindValue(name)->ToString(), QStringLiteral("second"));
        QTest::qWait(1200);
        QCOMPARE(cco->subscriptionCount(), 1);

        notify(cb, 1, QStringLiteral("6\t%1\ts\t0\tafter a loss").arg(name));
        QTest::qWait(500);
        QCOMPARE(cco->subscriptionCount(), 1);
        QCOMPARE(values::Tree::Instance()->FindValue(name)->ToString(), QStringLiteral("second"));
        QTRY_COMPARE_WITH_TIMEOUT(cco->subscriptionCount(), 2, 2000);

        // The new snapshot tells the state; a mode the host already has is
        // no new request of it.
        const QString mode = QStringLiteral("/Receivers/Channel1/RecordReplayModes");
        auto selection = values::Tree::Instance()->FindValue(mode);
        WriteCounter writes;
        selection->AddObserver(&writes);
        cb = cco->currentCallback();
        notify(cb, 1, QStringLiteral("1\t%1\te\t0\t3").arg(mode));
        notify(cb, 1, QStringLiteral("2\t%1\ts\t0\tthird").arg(name));
        notify(cb, 3, QStringLiteral("3\tChannel1"));
        QTRY_COMPARE_WITH_TIMEOUT(values::Tree::Instance()->FindValue(name)->ToString(), QStringLiteral("third"), 2000);
        QCOMPARE(writes.count, 0);
        selection->RemoveObserver(&writes);

        m_link->Stop();
        m_changed->clear();
        RootPoa()->deactivate_object(ccoId);
        RootPoa()->deactivate_object(rootId);
        cco->_remove_ref();
        root->_remove_ref();
        values::Tree::Instance()->Release(QStringLiteral("/Receivers/Channel1"));
    }

    void cleanupTestCase()
    {
        ErrorHandler::Instance()->RemoveTraceSink(m_sink);
        RemoteRecorderManagerLink::ShutdownOrb();
    }
};

QTEST_MAIN(TestRemoteFaults)
#include "tst_remotefaults.moc"
