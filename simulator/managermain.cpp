// vrxrtb-manager: the simulated recorder manager as a process of its own,
// reached over omniORB as doc/protocol.md describes.

#include "managercontrol.h"
#include "managerserver.h"
#include "recordermanagersimulator.h"
#include "recordstore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

[[noreturn]] void usageError(const QString& message)
{
    std::fprintf(stderr, "vrxrtb-manager: %s\nTry 'vrxrtb-manager --help'.\n", message.toLocal8Bit().constData());
    std::exit(2);
}

// A port the system has free on `address` now (0 when it cannot tell; the
// ORB then picks one itself).
uint freePort(const QByteArray& address)
{
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.constData(), "0", &hints, &found) != 0 || !found)
        return 0;
    uint port = 0;
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        sockaddr_in bound = {};
        socklen_t length = sizeof(bound);
        if (::bind(fd, found->ai_addr, found->ai_addrlen) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
            port = ntohs(bound.sin_port);
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return port;
}

// Host and port of the first IIOP profile of a stringified reference: with
// port 0 only the ORB knows which port the system gave it.
bool iiopAddress(const char* ior, QString* host, quint16* port)
{
    const QByteArray text(ior);
    if (!text.startsWith("IOR:"))
        return false;
    const QByteArray b = QByteArray::fromHex(text.mid(4));
    struct Reader
    {
        const QByteArray& data;
        int base;
        int pos;
        bool little;
        bool ok = true;
        void align(int n) { pos = base + ((pos - base + n - 1) / n) * n; }
        quint32 ulong()
        {
            align(4);
            if (pos + 4 > data.size())
                return ok = false, 0;
            const auto* p = reinterpret_cast<const uchar*>(data.constData() + pos);
            pos += 4;
            return little ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24
                          : quint32(p[3]) | quint32(p[2]) << 8 | quint32(p[1]) << 16 | quint32(p[0]) << 24;
        }
        quint16 ushort()
        {
            align(2);
            if (pos + 2 > data.size())
                return ok = false, 0;
            const auto* p = reinterpret_cast<const uchar*>(data.constData() + pos);
            pos += 2;
            return little ? quint16(p[0] | p[1] << 8) : quint16(p[1] | p[0] << 8);
        }
        QByteArray bytes(quint32 n)
        {
            if (!ok || n > quint32(data.size() - pos))
                return ok = false, QByteArray();
            const QByteArray out = data.mid(pos, int(n));
            pos += int(n);
            return out;
        }
    };
    if (b.isEmpty())
        return false;
    Reader r{b, 0, 1, b[0] == 1};
    r.bytes(r.ulong()); // type ID
    const quint32 profiles = r.ulong();
    for (quint32 i = 0; r.ok && i < profiles; ++i) {
        const quint32 tag = r.ulong();
        const QByteArray body = r.bytes(r.ulong());
        if (!r.ok || tag != 0 || body.size() < 4)
            continue;
        Reader p{body, 0, 3, body[0] == 1}; // byte order, version major, minor
        QByteArray h = p.bytes(p.ulong());
        const quint16 n = p.ushort();
        if (!p.ok)
            return false;
        if (h.endsWith('\0'))
            h.chop(1);
        *host = QString::fromLatin1(h);
        *port = n;
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vrxrtb-manager"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The simulated recorder manager, served over omniORB."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption listen(QStringLiteral("listen"), QStringLiteral("Address and port to serve on (port 0: any free port)."),
                                    QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:0"));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("Folder of the stored records."), QStringLiteral("DIR"),
                                  QStringLiteral("vrxrtb-manager-data"));
    const QCommandLineOption channels(QStringLiteral("channels"), QStringLiteral("Number of channels, 1 to 64."), QStringLiteral("N"),
                                      QStringLiteral("64"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("A recorder device with its free and total space (repeatable; default: the demo's)."),
                                    QStringLiteral("ID:FREE_MIB:TOTAL_MIB"));
    const QCommandLineOption testClock(QStringLiteral("test-clock"),
                                       QStringLiteral("For tests: serve the test control (corbaloc::...:PORT/Control) and let the "
                                                      "clock stand at MICROS (since the epoch) until the control moves it."),
                                       QStringLiteral("MICROS"));
    parser.addOptions({listen, data, channels, device, testClock});
    if (!parser.parse(QCoreApplication::arguments()))
        usageError(parser.errorText());
    if (parser.isSet(helpOption))
        parser.showHelp(0);
    if (parser.isSet(versionOption))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    const QString listenText = parser.value(listen);
    const int colon = listenText.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const uint port = listenText.mid(colon + 1).toUInt(&portOk);
    const QString address = colon > 0 ? listenText.left(colon) : QString();
    if (address.isEmpty() || !portOk || port > 65535 || address.contains(QRegularExpression(QStringLiteral("[\\s/]"))))
        usageError(QStringLiteral("--listen wants ADDRESS:PORT, not '%1'").arg(listenText));
    bool countOk = false;
    const int channelCount = parser.value(channels).toInt(&countOk);
    if (!countOk || channelCount < 1 || channelCount > 64)
        usageError(QStringLiteral("--channels wants a number from 1 to 64, not '%1'").arg(parser.value(channels)));

    VorexSim::SimulatorOptions options = VorexSim::SimulatorOptions::Demo(
        channelCount, [](int i) { return QStringLiteral("/Receivers/Channel%1").arg(i + 1); },
        [](int i) { return QStringLiteral("/Host/Channel%1/ReplayTime").arg(i + 1); });
    if (parser.isSet(device)) {
        options.devices.clear();
        for (const QString& deviceText : parser.values(device)) {
            const QStringList parts = deviceText.split(QLatin1Char(':'));
            bool freeOk = false, totalOk = false;
            const quint64 freeMiB = parts.value(1).toULongLong(&freeOk);
            const quint64 totalMiB = parts.value(2).toULongLong(&totalOk);
            const quint64 limit = quint64(1) << 40; // MiB: bytes stay far below 2^64
            if (parts.size() != 3 || !VorexSim::RecordStore::isValidDeviceId(parts[0]) || !freeOk || !totalOk
                || totalMiB == 0 || freeMiB > totalMiB || totalMiB > limit)
                usageError(QStringLiteral("--device wants ID:FREE_MIB:TOTAL_MIB with FREE_MIB <= TOTAL_MIB, not '%1'").arg(deviceText));
            for (const auto& d : options.devices)
                if (d.id == parts[0])
                    usageError(QStringLiteral("--device %1 given twice").arg(parts[0]));
            options.devices.push_back({parts[0], freeMiB << 20, totalMiB << 20, false});
        }
    }
    options.dataFolder = QDir(parser.value(data)).absolutePath();
    const bool underTest = parser.isSet(testClock);
    if (underTest) {
        bool clockOk = false;
        const qint64 start = parser.value(testClock).toLongLong(&clockOk);
        if (!clockOk || start < 0)
            usageError(QStringLiteral("--test-clock wants microseconds since the epoch, not '%1'").arg(parser.value(testClock)));
        VorexSim::setTestClock(start);
        // Time moves only by the control's lines, reactions come at once.
        options.tickIntervalMs = 0;
        options.reactionDelayMs = 0;
    }
    // The process itself is the manager: it is up as soon as it serves.
    options.connectDelayMs = 0;

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        std::perror("vrxrtb-manager: socketpair");
        return 1;
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&]() {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    // The ORB marks its listening socket reusable only for an explicit port;
    // without that a manager restarted after a crash cannot listen on its
    // port again while the connections of the killed one linger. So a free
    // port is chosen here and handed over explicitly.
    const uint servePort = port ? port : freePort(address.toLatin1());
    const QByteArray endPoint = "giop:tcp:" + address.toLatin1() + ':' + QByteArray::number(servePort);
    const char* orbOptions[][2] = {{"endPoint", endPoint.constData()},
                                   {"giopMaxMsgSize", "1048576"},
                                   {"clientCallTimeOutPeriod", "2000"},
                                   {"clientConnectTimeOutPeriod", "1000"},
                                   {nullptr, nullptr}};
    int orbArgc = 1;
    char* orbArgv[] = {argv[0], nullptr};
    CORBA::ORB_var orb;
    try {
        orb = CORBA::ORB_init(orbArgc, orbArgv, "omniORB4", orbOptions);
    } catch (const CORBA::Exception& e) {
        std::fprintf(stderr, "vrxrtb-manager: cannot serve on %s (%s)\n", endPoint.constData(), e._name());
        return 1;
    }

    int exitCode = 0;
    {
        VorexSim::RecorderManagerSimulator simulator(options);
        VorexSim::ManagerServer server(orb, &simulator);
        QObject::connect(&simulator, &VorexSim::RecorderManagerSimulator::si_managerEvent, &server, &VorexSim::ManagerServer::report);
        simulator.Start();
        if (!simulator.StoreError().isEmpty()) {
            std::fprintf(stderr, "vrxrtb-manager: cannot use the data folder %s: %s\n",
                         options.dataFolder.toLocal8Bit().constData(), simulator.StoreError().toLocal8Bit().constData());
            exitCode = 1;
        } else {
            try {
                CORBA::Object_var cco = server.activate();
                if (underTest)
                    VorexSim::serveTestControl(&server, orb);
                CORBA::String_var ior = orb->object_to_string(cco);
                QString host;
                quint16 actualPort = 0;
                if (!iiopAddress(ior.in(), &host, &actualPort)) {
                    std::fprintf(stderr, "vrxrtb-manager: the ORB gave no TCP address\n");
                    exitCode = 1;
                } else {
                    std::printf("listening corbaloc::%s:%u/CCO\n", host.toLatin1().constData(), unsigned(actualPort));
                    std::fflush(stdout);
                    app.exec();
                }
            } catch (const CORBA::Exception& e) {
                std::fprintf(stderr, "vrxrtb-manager: cannot serve on %s (%s)\n", endPoint.constData(), e._name());
                exitCode = 1;
            }
        }
        server.shutdown();
        try {
            orb->shutdown(true);
        } catch (const CORBA::Exception&) {
        }
        simulator.Stop();
    }
    try {
        orb->destroy();
    } catch (const CORBA::Exception&) {
    }
    return exitCode;
}
