// Benchmarks of the host's link to a recorder manager process, printed as a
// table; nothing here asserts on time.
//
//   vrxrtb-remote-bench            all sections
//   vrxrtb-remote-bench --quick    fewer samples and restarts
//   --only roundtrip|restart       one section
//
// Starts the manager (`--manager PATH`, default the build's vrxrtb-manager)
// itself. The typed stubs live in this process next to the link's dynamic
// calls; the plug-in module, which carries its own copy of the stubs, is
// never loaded here.
#include "vorexclient.h"
#include "vorexclient_remote_p.h"

#include <cco.hh>
#include <vorexmanager.hh>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <functional>
#include <thread>
#include <vector>

namespace {

using VorexCommon::RemoteRecorderManagerLink;

QTextStream out(stdout);

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

QString us(double ns) { return QString::number(ns / 1000.0, 'f', 1) + QStringLiteral(" us"); }
QString ms(double ns) { return QString::number(ns / 1e6, 'f', 1) + QStringLiteral(" ms"); }

void row(const QString& name, const QString& figure)
{
    out << "| " << name.leftJustified(58) << " | " << figure << " |\n";
    out.flush();
}

QString latency(const std::vector<double>& v)
{
    return QStringLiteral("p50 %1, p99 %2, max %3")
        .arg(us(percentile(v, 0.5)), us(percentile(v, 0.99)), us(v.empty() ? 0 : *std::max_element(v.begin(), v.end())));
}

// Runs the event loop until `done` or `timeoutMs`. A posted event (the
// link's notification) wakes it at once; the timer only bounds the wait.
bool spinUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Every queued event and what those queue in turn, so that nothing of one
// sample is left for the next.
void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// ---------------------------------------------------------------- the manager process

class Manager
{
public:
    Manager(QString binary, QString data) : m_binary(std::move(binary)), m_data(std::move(data)) {}
    ~Manager() { stop(); }

    // Starts it and waits for its address without blocking the event loop:
    // the link's notifications are applied there meanwhile.
    bool start(const QString& listen, int channels)
    {
        m_out.clear();
        m_process.setProgram(m_binary);
        m_process.setArguments({QStringLiteral("--listen"), listen, QStringLiteral("--data"), m_data,
                                QStringLiteral("--channels"), QString::number(channels)});
        // Its report lines would bury the table.
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        return spinUntil([this] {
            m_out += m_process.readAllStandardOutput();
            const int at = m_out.indexOf("listening ");
            if (at < 0 || m_out.indexOf('\n', at) < 0)
                return false;
            m_address = QString::fromUtf8(m_out.mid(at + 10, m_out.indexOf('\n', at) - at - 10)).trimmed();
            return true;
        }, 15000);
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            kill();
    }
    QString address() const { return m_address; }
    QString port() const { return m_address.section(QLatin1Char(':'), -1).section(QLatin1Char('/'), 0, 0); }

private:
    QString m_binary, m_data, m_address;
    QProcess m_process;
    QByteArray m_out;
};

std::vector<RemoteRecorderManagerLink::ChannelPaths> channelPaths(int n)
{
    std::vector<RemoteRecorderManagerLink::ChannelPaths> paths;
    for (int i = 1; i <= n; ++i)
        paths.push_back({QStringLiteral("/Receivers/Channel%1").arg(i), QStringLiteral("/Host/Channel%1/ReplayTime").arg(i)});
    return paths;
}

// Stamps the first change of a value after arm(), on the thread that
// applies it (the GUI thread for the link's notifications).
class Stamp : public IObserver
{
public:
    std::atomic<qint64> at{0};
    void arm() { at = 0; }
    void Update(Observable*, TChangeCode code) override
    {
        if (code == VC_VALUECHANGED && at == 0)
            at = nowNs();
    }
};

long selected(const QString& path)
{
    auto v = values::Tree::Instance()->FindValueAs<values::ValueSelection>(path);
    return v ? v->GetCurrentKey() : -1;
}

// ---------------------------------------------------------------- round trip

void roundTripSection(const QString& binary, int pairs)
{
    out << "\n### Replay command over loopback: link round trip against bare calls (" << pairs * 2
        << " samples each, StartReplay/StopReplay pairs)\n\n";
    out << "| case | figure |\n|---|---|\n";
    QTemporaryDir data;
    Manager manager(binary, data.path());
    if (!manager.start(QStringLiteral("127.0.0.1:0"), 2)) {
        row(QStringLiteral("manager process"), QStringLiteral("did not start"));
        return;
    }

    // The link serves Channel1 only, so the bare calls on Channel2 cause no
    // notification work in this process while they are timed.
    const QString chan = QStringLiteral("/Receivers/Channel1");
    auto link = std::make_shared<RemoteRecorderManagerLink>(manager.address(), channelPaths(1));
    VorexCommon::RecorderManagerLink::Install(link);
    link->Start();
    if (!spinUntil([&] { return link->IsConnected(); }, 15000) || link->GetDevices().empty()) {
        row(QStringLiteral("link"), QStringLiteral("did not connect"));
        VorexCommon::RecorderManagerLink::Install(nullptr);
        link->Stop();
        return;
    }
    const QString device = link->GetDevices().front().deviceId;
    const auto records = link->GetRecords(device);
    if (records.empty()) {
        row(QStringLiteral("records of ") + device, QStringLiteral("none to replay"));
        VorexCommon::RecorderManagerLink::Install(nullptr);
        link->Stop();
        return;
    }
    const QString record = records.front().GetRecordID();
    const QByteArray dev = device.toUtf8(), rec = record.toUtf8();
    auto mode = values::Tree::Instance()->FindValueAs<values::ValueSelection>(chan + QStringLiteral("/ReplayMode"));
    Stamp stamp;
    mode->AddObserver(&stamp);

    std::vector<double> linkTrip, linkCall, linkNotify, dii, typed, typedOwnCall, typedOwnTrip;
    int failures = 0;
    {
        CORBA::ORB_ptr orb = VorexRemote::Orb();
        CORBA::Object_var ccoObj = orb->string_to_object(manager.address().toUtf8().constData());
        CCO::IF_CCO_c_var cco = CCO::IF_CCO_c::_narrow(ccoObj);
        CORBA::Object_var rootObj = cco->Resolve("VorexManager", CCO::ResolveType_0);
        KD_VRX::IF_VRX_c_VRX_var root = KD_VRX::IF_VRX_c_VRX::_narrow(rootObj);
        KD_VRX::IF_VOREX_Replay_var replay = root->getVorexReplayInterface("Channel2");
        // The link's channel: its mode changes come back to the link as
        // they do for the link's own commands.
        KD_VRX::IF_VOREX_Replay_var replayOwn = root->getVorexReplayInterface("Channel1");
        const CORBA::TypeCode_ptr rateTc = VorexRemote::TypeCodes::Get().dataRateClass;

        const auto diiCall = [&](const char* op) {
            CORBA::Request_var req = replay->_request(op);
            req->add_in_arg() <<= dev.constData();
            req->add_in_arg() <<= rec.constData();
            if (qstrcmp(op, "StartReplay") == 0) {
                req->add_in_arg() = VorexRemote::EnumAny(rateTc, 3);
                req->add_in_arg() <<= CORBA::ULongLong(0);
                req->add_in_arg() <<= CORBA::ULongLong(0);
                req->add_in_arg() <<= CORBA::ULong(0);
            }
            req->set_return_type(CORBA::_tc_ulong);
            req->invoke();
            CORBA::ULong code = 1;
            if (req->env()->exception() || !(req->return_value() >>= code))
                return CORBA::ULong(1);
            return code;
        };
        const auto typedCall = [&](bool start, KD_VRX::IF_VOREX_Replay_ptr target) {
            return start ? target->StartReplay(dev.constData(), rec.constData(), KD_VRX::DataRateClass_3, 0, 0, 0)
                         : target->StopReplay(dev.constData(), rec.constData());
        };
        // The manager finishes a command's mode steps on its own event
        // loop; the bare cases leave it that long before the next call, as
        // the link's case waits for the last step to arrive.
        const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };

        // Warm-up: connections, the link's cached replay interface.
        for (int i = 0; i < 5; ++i) {
            for (bool start : {true, false}) {
                diiCall(start ? "StartReplay" : "StopReplay");
                typedCall(start, replay);
                link->ExecuteReplayCommand({start ? QStringLiteral("StartReplay") : QStringLiteral("StopReplay"), chan,
                                            {device, record, 3, quint64(0), quint64(0), 0u}});
                spinUntil([&] { return selected(chan + QStringLiteral("/ReplayMode")) == (start ? 4 : 0); }, 2000);
                pause();
            }
        }
        settle();

        const int blocks = 10;
        for (int b = 0; b < blocks; ++b) {
            const int n = pairs / blocks + (b < pairs % blocks ? 1 : 0);
            for (int i = 0; i < n; ++i)
                for (bool start : {true, false}) {
                    settle();
                    pause();
                    stamp.arm();
                    const qint64 t0 = nowNs();
                    const quint32 code = link->ExecuteReplayCommand(
                        {start ? QStringLiteral("StartReplay") : QStringLiteral("StopReplay"), chan,
                         {device, record, 3, quint64(0), quint64(0), 0u}});
                    const qint64 t1 = nowNs();
                    if (code != 0 || !spinUntil([&] { return stamp.at != 0; }, 3000)) {
                        ++failures;
                        continue;
                    }
                    const qint64 t2 = stamp.at;
                    linkCall.push_back(double(t1 - t0));
                    linkTrip.push_back(double(t2 - t0));
                    linkNotify.push_back(double(t2 - t1));
                    spinUntil([&] { return selected(chan + QStringLiteral("/ReplayMode")) == (start ? 4 : 0); }, 3000);
                }
            // A bare call, timed until it answers, start and stop alike.
            const auto timeCalls = [&](const std::function<CORBA::ULong(bool)>& call, std::vector<double>& samples) {
                for (int i = 0; i < n; ++i)
                    for (bool start : {true, false}) {
                        settle();
                        pause();
                        const qint64 t0 = nowNs();
                        const CORBA::ULong code = call(start);
                        const qint64 t1 = nowNs();
                        if (code != 0)
                            ++failures;
                        else
                            samples.push_back(double(t1 - t0));
                    }
            };
            timeCalls([&](bool start) { return diiCall(start ? "StartReplay" : "StopReplay"); }, dii);
            timeCalls([&](bool start) { return typedCall(start, replay); }, typed);
            for (int i = 0; i < n; ++i)
                for (bool start : {true, false}) {
                    settle();
                    pause();
                    stamp.arm();
                    const qint64 t0 = nowNs();
                    const CORBA::ULong code = typedCall(start, replayOwn);
                    const qint64 t1 = nowNs();
                    if (code != 0 || !spinUntil([&] { return stamp.at != 0; }, 3000)) {
                        ++failures;
                        continue;
                    }
                    typedOwnCall.push_back(double(t1 - t0));
                    typedOwnTrip.push_back(double(stamp.at - t0));
                    spinUntil([&] { return selected(chan + QStringLiteral("/ReplayMode")) == (start ? 4 : 0); }, 3000);
                }
        }
    }
    mode->RemoveObserver(&stamp);
    VorexCommon::RecorderManagerLink::Install(nullptr);
    link->Stop();
    link.reset();
    manager.stop();

    row(QStringLiteral("bare typed call (stub), command answered"), latency(typed));
    row(QStringLiteral("bare DII call (_request), command answered"), latency(dii));
    row(QStringLiteral("typed call on the link's channel, command answered"), latency(typedOwnCall));
    row(QStringLiteral("typed call on the link's channel to ReplayMode changed"), latency(typedOwnTrip));
    row(QStringLiteral("link: ExecuteReplayCommand answered"), latency(linkCall));
    row(QStringLiteral("link: answer to ReplayMode changed in the host's tree"), latency(linkNotify));
    row(QStringLiteral("link round trip: command to ReplayMode changed"), latency(linkTrip));
    const double t50 = percentile(typed, 0.5);
    const auto ratio = [&](double x) { return t50 > 0 ? QString::number(x / t50, 'f', 2) : QStringLiteral("-"); };
    row(QStringLiteral("p50 ratio link round trip / bare typed (target <= 1.5)"), ratio(percentile(linkTrip, 0.5)));
    row(QStringLiteral("p50 ratio link command answered / bare typed"), ratio(percentile(linkCall, 0.5)));
    row(QStringLiteral("p50 ratio link round trip / typed call round trip"),
        percentile(typedOwnTrip, 0.5) > 0
            ? QString::number(percentile(linkTrip, 0.5) / percentile(typedOwnTrip, 0.5), 'f', 2) : QStringLiteral("-"));
    row(QStringLiteral("p50 ratio bare DII / bare typed"), ratio(percentile(dii, 0.5)));
    row(QStringLiteral("failed samples (code != 0 or no change within 3 s)"), QString::number(failures));
}

// ---------------------------------------------------------------- restart

struct RestartRun
{
    double started = -1, noticed = -1, usable = -1, sinceListening = -1;
    bool replayArrives = false;
};

// kill -9, the same port again at once, until the link is usable.
RestartRun restartOnce(Manager& manager, RemoteRecorderManagerLink& link, int channels, const QString& chan,
                       const QString& device, const QString& record)
{
    RestartRun run;
    // Shared with the slot: an emission already under way on the link's
    // worker may still reach it after the disconnect below.
    struct Stamps
    {
        std::atomic<qint64> down{0}, up{0};
    };
    const auto stamps = std::make_shared<Stamps>();
    std::atomic<qint64>& downAt = stamps->down;
    std::atomic<qint64>& upAt = stamps->up;
    auto* events = VorexCommon::RecorderManagerEvents::Instance();
    const QMetaObject::Connection watch = QObject::connect(
        events, &VorexCommon::RecorderManagerEvents::si_connectionChanged, events,
        [stamps](bool up) {
            if (!up && stamps->down == 0)
                stamps->down = nowNs();
            else if (up && stamps->down != 0 && stamps->up == 0)
                stamps->up = nowNs();
        },
        Qt::DirectConnection);
    const QString port = manager.port();
    const qint64 t0 = nowNs();
    manager.kill();
    const bool started = manager.start(QStringLiteral("127.0.0.1:") + port, channels);
    const qint64 listening = nowNs();
    if (started) {
        run.started = double(listening - t0);
        if (spinUntil([&] { return upAt != 0; }, 30000)) {
            run.noticed = double(downAt - t0);
            run.usable = double(upAt - t0);
            run.sinceListening = double(upAt - listening);
        } else if (downAt != 0) {
            run.noticed = double(downAt - t0);
        }
    }
    QObject::disconnect(watch);
    // Usable means a command's effect comes back: not timed.
    settle();
    const QString path = chan + QStringLiteral("/ReplayMode");
    if (link.ExecuteReplayCommand({QStringLiteral("StartReplay"), chan, {device, record, 3, quint64(0), quint64(0), 0u}}) == 0
        && spinUntil([&] { return selected(path) == 4; }, 3000))
        run.replayArrives = true;
    link.ExecuteReplayCommand({QStringLiteral("StopReplay"), chan, {device, record, 3, quint64(0), quint64(0), 0u}});
    spinUntil([&] { return selected(path) == 0; }, 3000);
    return run;
}

void restartSection(const QString& binary, int runs)
{
    out << "\n### Manager restart (kill -9, same port at once) to toolbars usable (median of " << runs << " runs)\n\n";
    out << "| channels | manager listening again | loss noticed | usable (connected, all snapshots) | usable after loss noticed | usable after listening | replay command's change arrives |\n";
    out << "|---|---|---|---|---|---|---|\n";
    for (int channels : {1, 64}) {
        QTemporaryDir data;
        Manager manager(binary, data.path());
        if (!manager.start(QStringLiteral("127.0.0.1:0"), channels)) {
            out << "| " << channels << " | manager did not start | | | | | |\n";
            continue;
        }
        const QString chan = QStringLiteral("/Receivers/Channel1");
        auto link = std::make_shared<RemoteRecorderManagerLink>(manager.address(), channelPaths(channels));
        VorexCommon::RecorderManagerLink::Install(link);
        link->Start();
        std::vector<double> started, noticed, usable, sinceNoticed, sinceListening;
        int arrives = 0, missing = 0;
        if (spinUntil([&] { return link->IsConnected(); }, 15000) && !link->GetDevices().empty()) {
            const QString device = link->GetDevices().front().deviceId;
            const auto records = link->GetRecords(device);
            const QString record = records.empty() ? QString() : records.front().GetRecordID();
            for (int i = 0; i < runs; ++i) {
                const RestartRun r = restartOnce(manager, *link, channels, chan, device, record);
                if (r.started >= 0)
                    started.push_back(r.started);
                if (r.noticed >= 0)
                    noticed.push_back(r.noticed);
                if (r.usable >= 0) {
                    usable.push_back(r.usable);
                    sinceListening.push_back(r.sinceListening);
                    sinceNoticed.push_back(r.usable - r.noticed);
                } else {
                    ++missing;
                }
                arrives += r.replayArrives ? 1 : 0;
            }
        }
        const auto med = [](const std::vector<double>& v) { return v.empty() ? QStringLiteral("-") : ms(percentile(v, 0.5)); };
        out << "| " << channels << " | " << med(started) << " | " << med(noticed) << " | " << med(usable)
            << (missing ? QStringLiteral(" (%1 of %2 runs never usable)").arg(missing).arg(runs) : QString()) << " | "
            << med(sinceNoticed) << " | " << med(sinceListening) << " | " << arrives << " of " << runs << " |\n";
        out.flush();
        VorexCommon::RecorderManagerLink::Install(nullptr);
        link->Stop();
        link.reset();
        manager.stop();
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool quick = args.contains(QStringLiteral("--quick"));
    QString binary = QStringLiteral(VRX_MANAGER_BINARY);
    const int at = args.indexOf(QStringLiteral("--manager"));
    if (at > 0 && at + 1 < args.size())
        binary = args[at + 1];
    if (!QFileInfo::exists(binary)) {
        std::fprintf(stderr, "vrxrtb-remote-bench: no manager binary at %s\n", binary.toLocal8Bit().constData());
        return 2;
    }

    out << "## vrxrtb remote link benchmarks\n\n";
    out << "Compiler " << __VERSION__ << ", " << QThread::idealThreadCount() << " CPUs, "
        << QSysInfo::prettyProductName() << "; load average before: " << loadAverage() << "\n";
    out.flush();
    const int only = args.indexOf(QStringLiteral("--only"));
    const QString section = only > 0 && only + 1 < args.size() ? args[only + 1] : QString();
    if (section.isEmpty() || section == QLatin1String("roundtrip"))
        roundTripSection(binary, quick ? 50 : 200);
    if (section.isEmpty() || section == QLatin1String("restart"))
        restartSection(binary, quick ? 3 : 5);
    out << "\nload average after: " << loadAverage() << "\n";
    out.flush();
    RemoteRecorderManagerLink::ShutdownOrb();
    return 0;
}
