// Benchmarks of the toolbar plug-in, printed as a table; nothing here asserts
// on time.
//
//   vrxrtb-bench            all sections (each toolbar-count row and the
//                           module-load rows run in a child process of their
//                           own, so memory and "cold" mean what they say)
//   vrxrtb-bench --quick    fewer samples, one run per toolbar count
//
// Needs QT_QPA_PLATFORM=offscreen (or a display) and VRX_PLUGIN_DIR (the
// build's plugins folder); the build target `bench` sets both.
#include "livetoolbar.h"
#include "startup.h"

#include <QEventLoop>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cxxabi.h>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <typeinfo>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace {

QTextStream out(stdout);

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

qint64 rssBytes()
{
    FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return qint64(resident) * sysconf(_SC_PAGESIZE);
}

struct Stats
{
    double p50 = 0, p99 = 0, max = 0;
    int samples = 0, missed = 0;
};

Stats summarize(std::vector<double> v, int missed)
{
    Stats s;
    s.missed = missed;
    s.samples = int(v.size());
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.p50 = v[v.size() / 2];
    s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    s.max = v.back();
    return s;
}

void row(const QString& name, const QString& figure)
{
    out << "| " << name.leftJustified(58) << " | " << figure << " |\n";
    out.flush();
}

QString us(double v)
{
    return QString::number(v, 'f', 1) + QStringLiteral(" us");
}

QString latencyFigure(const Stats& s)
{
    if (s.samples == 0)
        return QStringLiteral("not reached (%1 of %1 writes reached no GUI-thread handler within 1 s)").arg(s.missed);
    QString t = QStringLiteral("p50 %1, p99 %2, max %3").arg(us(s.p50), us(s.p99), us(s.max));
    if (s.missed)
        t += QStringLiteral(" (%1 writes not handled)").arg(s.missed);
    return t;
}

// ---------------------------------------------------------------- latency

// Notes when a main-thread call to the toolbar is delivered: its handler runs
// as that event is processed, so delivery is the handler's start. Calls to
// other targets (the replay bar, which follows the same channel values, or
// the value helper) are not counted, whichever comes first.
class MainThreadCallProbe : public QObject
{
public:
    std::atomic<qint64> stamp{-1};
    std::atomic<bool> armed{false};

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == ThreadingHelper::RunInMainThreadEvent_Impl::EventType() && armed) {
            const qint64 now = nowNs();
            if (callsToolbar(*e) && armed.exchange(false))
                stamp = now;
        }
        return QObject::eventFilter(o, e);
    }

private:
    // The event templates name the target's class as their first argument.
    static bool callsToolbar(const QEvent& e)
    {
        int status = 0;
        char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
        const bool toolbar = status == 0 && name &&
                             std::strstr(name, "ThreadingHelper::RunInMainThreadEvent") == name &&
                             std::strstr(name, "<VorexGUI::VorexToolbar*,") != nullptr;
        std::free(name);
        return toolbar;
    }
};

// The usual pattern of Qt recorder applications: a worker appends to a
// locked queue and signals (queued) when it was empty; the GUI thread drains.
class LockedQueue : public QObject
{
    Q_OBJECT
public:
    LockedQueue() { connect(this, &LockedQueue::si_pending, this, &LockedQueue::drain, Qt::QueuedConnection); }
    void push(int message)
    {
        bool wasEmpty;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            wasEmpty = m_queue.empty();
            m_queue.push_back(message);
        }
        if (wasEmpty)
            emit si_pending();
    }
    std::atomic<qint64> stamp{-1};
    std::atomic<long> handled{0};

signals:
    void si_pending();

private:
    void drain()
    {
        std::deque<int> batch;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            batch.swap(m_queue);
        }
        for (int m : batch) {
            handled += m;
            stamp = nowNs();
        }
    }
    std::mutex m_mutex;
    std::deque<int> m_queue;
};

// The GUI thread and the workers of the latency section run on two fixed,
// different CPUs when the process may use two: where the scheduler puts a
// fresh worker (beside the GUI thread or not) otherwise decides how long a
// wake-up takes, and so which case looks faster.
struct CpuPair
{
    bool pinned = false;
    cpu_set_t original{};
    int gui = -1, worker = -1;

    CpuPair()
    {
        if (pthread_getaffinity_np(pthread_self(), sizeof original, &original) != 0)
            return;
        for (int cpu = 0; cpu < CPU_SETSIZE && worker < 0; ++cpu) {
            if (!CPU_ISSET(cpu, &original))
                continue;
            (gui < 0 ? gui : worker) = cpu;
        }
        if (worker >= 0)
            pinned = pinTo(gui);
    }
    ~CpuPair()
    {
        if (pinned)
            pthread_setaffinity_np(pthread_self(), sizeof original, &original);
    }
    CpuPair(const CpuPair&) = delete;
    CpuPair& operator=(const CpuPair&) = delete;

    void pinWorker() const
    {
        if (pinned)
            pinTo(worker);
    }

private:
    static bool pinTo(int cpu)
    {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(cpu, &set);
        return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
    }
};

// Runs `samples` rounds on a worker thread while the GUI thread runs its
// event loop: stamp reset, fire, wait for the GUI-thread stamp, then wait
// until every event queued so far ran, and those that they queued in turn
// (so a reaction of one round, such as the simulated manager answering a
// mode change, cannot stamp the next), then leave the GUI thread idle for a
// moment.
struct Samples
{
    std::vector<double> lat;
    int missed = 0;
    void add(const Samples& o)
    {
        lat.insert(lat.end(), o.lat.begin(), o.lat.end());
        missed += o.missed;
    }
    Stats stats() const { return summarize(lat, missed); }
};

Samples measureLatency(const CpuPair& cpus, int samples, const std::function<void(int)>& fire,
                       std::atomic<qint64>& stamp, const std::function<void()>& arm = {})
{
    QObject gui;
    std::vector<double> lat;
    int missed = 0;
    QEventLoop loop;
    std::thread worker([&] {
        cpus.pinWorker();
        int reached = 0;
        for (int i = 0; i < samples + 5; ++i) {
            stamp = -1;
            if (arm)
                arm();
            const qint64 t0 = nowNs();
            fire(i);
            const qint64 deadline = t0 + 1000000000;
            while (stamp.load() < 0 && nowNs() < deadline)
                std::this_thread::yield();
            const qint64 s = stamp.load();
            if (s >= 0)
                ++reached;
            if (i >= 5) { // the first rounds warm up
                if (s < 0)
                    ++missed;
                else
                    lat.push_back(double(s - t0) / 1000.0);
            }
            // A path that does not reach the GUI thread at all is reported
            // as such after a few tries instead of a second per sample.
            if (s < 0 && i >= 2 && reached == 0) {
                missed = samples;
                i = samples + 5;
            }
            std::atomic<bool> drained{false};
            QMetaObject::invokeMethod(
                &gui,
                [&drained] {
                    vrxtest::settle(5);
                    drained = true;
                },
                Qt::QueuedConnection);
            while (!drained)
                std::this_thread::yield();
            // Every sample starts with the GUI thread idle in its event loop,
            // as a worker's change finds it in a running application. Fired
            // right after the drain, a sample would find the GUI thread
            // sometimes still awake and sometimes asleep, and a path that
            // takes longer to post would be measured more often from sleep.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return Samples{lat, missed};
}

void latencySection(int samples)
{
    out << "\n### Worker-thread change to GUI-thread handler (" << samples << " samples each)\n\n";
    out << "| case | figure |\n|---|---|\n";

    // The cases take turns in blocks, so that load from elsewhere on the
    // machine falls on all of them alike.
    QObject receiver;
    std::atomic<qint64> bareStamp{-1};
    LockedQueue queue;
    vrxtest::LiveToolbar live;
    MainThreadCallProbe probe;
    qApp->installEventFilter(&probe);
    const CpuPair cpus;
    auto modes = live.value<values::ValueSelection>("RecordReplayModes");
    auto replayMode = live.value<values::ValueSelection>("ReplayMode");
    Samples bareS, lockedS, modesS, replayS;
    const int blocks = 10;
    const int perBlock = std::max(1, samples / blocks);
    for (int block = 0; block < blocks; ++block) {
        bareS.add(measureLatency(
            cpus, perBlock,
            [&](int) { QMetaObject::invokeMethod(&receiver, [&] { bareStamp = nowNs(); }, Qt::QueuedConnection); },
            bareStamp));
        lockedS.add(measureLatency(cpus, perBlock, [&](int i) { queue.push(i); }, queue.stamp));
        if (modes && (block == 0 || !modesS.lat.empty())) {
            modesS.add(measureLatency(
                cpus, perBlock, [&](int i) { modes->SelectIndex(i % 2 ? 5 : 2, nullptr); }, probe.stamp,
                [&] { probe.armed = true; }));
            modes->SelectIndex(5, nullptr);
            vrxtest::settle();
        }
        if (replayMode && (block == 0 || !replayS.lat.empty())) {
            replayS.add(measureLatency(
                cpus, perBlock, [&](int i) { replayMode->SelectIndex(i % 2 ? 0 : 5, nullptr); }, probe.stamp,
                [&] { probe.armed = true; }));
            replayMode->SelectIndex(0, nullptr);
            vrxtest::settle();
        }
    }
    qApp->removeEventFilter(&probe);
    const Stats bare = bareS.stats(), locked = lockedS.stats(), modesStats = modesS.stats(),
                replayStats = replayS.stats();
    row(QStringLiteral("bare queued QMetaObject::invokeMethod"), latencyFigure(bare));
    row(QStringLiteral("mutex-protected queue drained by a queued signal"), latencyFigure(locked));
    row(QStringLiteral("toolbar: RecordReplayModes selected (keys 2/5)"), latencyFigure(modesStats));
    row(QStringLiteral("toolbar: ReplayMode selected (keys 5/0)"), latencyFigure(replayStats));

    auto ratio = [&](const Stats& s, const Stats& base) {
        return s.samples && base.p50 > 0 ? QString::number(s.p50 / base.p50, 'f', 2) : QStringLiteral("n/a");
    };
    row(QStringLiteral("p50 ratio RecordReplayModes / bare (target <= 1.5)"), ratio(modesStats, bare));
    row(QStringLiteral("p50 ratio ReplayMode / bare (target <= 1.5)"), ratio(replayStats, bare));
    row(QStringLiteral("p50 ratio RecordReplayModes / locked queue"), ratio(modesStats, locked));
    row(QStringLiteral("p50 ratio locked queue / bare"), ratio(locked, bare));
    row(QStringLiteral("CPU of the GUI thread / of the workers"),
        cpus.pinned ? QStringLiteral("%1 / %2").arg(cpus.gui).arg(cpus.worker) : QStringLiteral("not pinned"));
}

// ---------------------------------------------------------------- throughput

struct NullObserver : IObserver
{
    void Update(Observable*, TChangeCode) override {}
};

void throughputSection(int changes)
{
    out << "\n### Value changes observed (" << changes << " changes, written and handled on the GUI thread)\n\n";
    out << "| case | figure |\n|---|---|\n";
    auto nullValue = values::Tree::Instance()->CreateValue<values::ValueNumeric<values::int64>>(
        QStringLiteral("/bench/nullObserved"), 0);
    NullObserver nullObserver;
    nullValue->AddObserver(&nullObserver);
    qint64 t0 = nowNs();
    for (int i = 0; i < changes; ++i)
        nullValue->Set(i, nullptr);
    QCoreApplication::sendPostedEvents();
    const double nullNs = double(nowNs() - t0) / changes;
    nullValue->RemoveObserver(&nullObserver);
    row(QStringLiteral("value with one do-nothing observer"), QString::number(nullNs, 'f', 0) + " ns/change");

    vrxtest::LiveToolbar live;
    auto replayMode = live.value<values::ValueSelection>("ReplayMode");
    auto errorCode = live.value<values::Value<QString>>("ErrorCode");
    double modeNs = 0, errorNs = 0;
    if (replayMode) {
        t0 = nowNs();
        for (int i = 0; i < changes; ++i) {
            replayMode->SelectIndex(i % 2 ? 0 : 5, nullptr);
            if (i % 256 == 255)
                QCoreApplication::sendPostedEvents();
        }
        vrxtest::settle(5);
        modeNs = double(nowNs() - t0) / changes;
        row(QStringLiteral("bound toolbar: ReplayMode 5/0, handlers included"),
            QString::number(modeNs, 'f', 0) + " ns/change, " + QString::number(modeNs / nullNs, 'f', 1) + " x null");
    }
    if (errorCode) {
        t0 = nowNs();
        for (int i = 0; i < changes; ++i) {
            errorCode->Set(i % 2 ? QString() : QStringLiteral("0"), nullptr);
            if (i % 256 == 255)
                QCoreApplication::sendPostedEvents();
        }
        vrxtest::settle(5);
        errorNs = double(nowNs() - t0) / changes;
        row(QStringLiteral("bound toolbar: ErrorCode \"\"/\"0\", handlers included"),
            QString::number(errorNs, 'f', 0) + " ns/change, " + QString::number(errorNs / nullNs, 'f', 1) + " x null");
    }
}

// ---------------------------------------------------------------- toolbars

// One row, run in a child process: N toolbars built, bound, connected and
// deleted; prints "N construct bind connect teardown rss" (per toolbar).
int toolbarsChild(int n)
{
    vrxtest::PluginHost host;
    if (!host.load()) {
        std::fprintf(stderr, "%s\n", qPrintable(host.error()));
        return 1;
    }
    IDllInstance* instance = host.create()(L"bench");
    VorexSim::RecorderManagerSimulator sim(VorexSim::SimulatorOptions::Fast(
        n, &vrxtest::LiveToolbar::ChannelPath, &vrxtest::LiveToolbar::ReplayTimePath));
    sim.Start();
    QWidget parent;
    // One toolbar first, not counted: the first one pays for one-time set-up
    // (pictures, translations, the module's statics).
    {
        IVtClient* client = nullptr;
        delete vrxtest::PluginHost::asPlugin(instance)->CreateToolbar(&parent, QStringLiteral("VorexManager"),
                                                                      QStringLiteral("warm"), client,
                                                                      QStringLiteral("W_"), true);
        vrxtest::settle(5);
    }
    const qint64 rss0 = rssBytes();
    std::vector<IVRXRTB*> bars;
    qint64 t = nowNs();
    for (int i = 0; i < n; ++i) {
        IVtClient* client = nullptr;
        bars.push_back(vrxtest::PluginHost::asPlugin(instance)->CreateToolbar(
            &parent, QStringLiteral("VorexManager"), QStringLiteral("VorexGui%1").arg(i + 1), client,
            QStringLiteral("CH%1_").arg(i + 1), true));
    }
    const double construct = double(nowNs() - t) / n;
    t = nowNs();
    for (int i = 0; i < n; ++i) {
        bars[i]->SetChannelId_ValuePath(vrxtest::LiveToolbar::ChannelPath(i));
        bars[i]->SetReplayTime_ValuePath(vrxtest::LiveToolbar::ReplayTimePath(i));
        bars[i]->EnableVorexToolbar(true);
        bars[i]->EnableVorexReplay(true);
    }
    const double bind = double(nowNs() - t) / n;
    t = nowNs();
    vrxtest::settle();
    const double connect = double(nowNs() - t) / n;
    const double rss = double(rssBytes() - rss0) / n;
    t = nowNs();
    for (IVRXRTB* b : bars)
        delete b;
    vrxtest::settle(5);
    const double teardown = double(nowNs() - t) / n;
    std::printf("%d %.0f %.0f %.0f %.0f %.0f\n", n, construct, bind, connect, teardown, rss);
    sim.Stop();
    host.destroy()(instance);
    return 0;
}

// Module load, instance and first toolbar, twice in one process: the first
// is cold (nothing of the module in the process), the second warm (loaded
// before, unloaded in between). Prints "load create toolbar" per round, in
// microseconds.
int moduleChild()
{
    for (int round = 0; round < 2; ++round) {
        QLibrary library(QString::fromLocal8Bit(qgetenv("VRX_PLUGIN_DIR")) + QStringLiteral("/libvrxrtb"));
        qint64 t = nowNs();
        if (!library.load())
            return 1;
        auto create = reinterpret_cast<ARCreateFunction>(library.resolve("ARCreate"));
        auto destroy = reinterpret_cast<ARDestroyFunction>(library.resolve("ARDestroy"));
        const double load = double(nowNs() - t) / 1000;
        if (!create || !destroy)
            return 1;
        t = nowNs();
        IDllInstance* instance = create(L"bench");
        const double created = double(nowNs() - t) / 1000;
        QWidget parent;
        IVtClient* client = nullptr;
        t = nowNs();
        IVRXRTB* bar = vrxtest::PluginHost::asPlugin(instance)->CreateToolbar(
            &parent, QStringLiteral("VorexManager"), QStringLiteral("VorexGui1"), client, QStringLiteral("CH1_"), true);
        const double toolbar = double(nowNs() - t) / 1000;
        std::printf("%.0f %.0f %.0f\n", load, created, toolbar);
        delete bar;
        vrxtest::settle(5);
        destroy(instance);
        if (!library.unload())
            return 1;
    }
    return 0;
}

QStringList child(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), args);
    p.waitForFinished(600000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Each N runs `runs` times, each in a fresh process; every column shows the
// median of the runs, so that one run disturbed by other load on the machine
// does not decide a row.
void toolbarsSection(int runs)
{
    out << "\n### N toolbars: per-toolbar time and resident memory (each N in a fresh process, median of " << runs
        << (runs == 1 ? " run" : " runs") << ")\n\n";
    out << "| N | construct | bind | connect (settle) | teardown | RSS per toolbar |\n|---|---|---|---|---|---|\n";
    std::map<int, std::vector<double>> medians;
    for (int n : {1, 8, 64, 256}) {
        std::vector<std::vector<double>> columns(5);
        for (int run = 0; run < runs; ++run) {
            const QStringList lines = child({QStringLiteral("--toolbars"), QString::number(n)});
            const QStringList f = lines.isEmpty() ? QStringList() : lines.last().split(QLatin1Char(' '));
            if (f.size() != 6)
                continue;
            for (int c = 0; c < 5; ++c)
                columns[c].push_back(f[c + 1].toDouble());
        }
        if (columns[0].empty()) {
            out << "| " << n << " | failed | | | | |\n";
            continue;
        }
        std::vector<double>& m = medians[n];
        for (std::vector<double>& column : columns) {
            std::sort(column.begin(), column.end());
            m.push_back(column[column.size() / 2]);
        }
        out << "| " << n << " | " << us(m[0] / 1000) << " | " << us(m[1] / 1000) << " | " << us(m[2] / 1000) << " | "
            << us(m[3] / 1000) << " | " << QString::number(m[4] / 1024, 'f', 0) << " KiB |\n";
    }
    auto ratio = [&](int column) {
        const auto small = medians.find(8), large = medians.find(256);
        if (small == medians.end() || large == medians.end() || small->second[column] <= 0)
            return QStringLiteral("n/a");
        return QString::number(large->second[column] / small->second[column], 'f', 2);
    };
    out << "\n| ratio per toolbar, N = 256 vs N = 8 | figure |\n|---|---|\n";
    row(QStringLiteral("construction time (target <= 1.2)"), ratio(0));
    row(QStringLiteral("resident memory (target <= 1.2)"), ratio(4));
    row(QStringLiteral("teardown time"), ratio(3));
}

void moduleSection()
{
    out << "\n### Module load, instance creation, first toolbar (fresh process)\n\n";
    out << "| round | load (QLibrary) | ARCreate | first CreateToolbar |\n|---|---|---|---|\n";
    const QStringList lines = child({QStringLiteral("--module")});
    const char* names[] = {"cold", "warm (after unload)"};
    for (int i = 0; i < lines.size() && i < 2; ++i) {
        const QStringList f = lines[i].split(QLatin1Char(' '));
        if (f.size() == 3)
            out << "| " << names[i] << " | " << us(f[0].toDouble()) << " | " << us(f[1].toDouble()) << " | "
                << us(f[2].toDouble()) << " |\n";
    }
}

// ---------------------------------------------------------------- replay position

class CountingObserver : public IObserver
{
public:
    int changes = 0;
    void Update(Observable*, TChangeCode code) override
    {
        if (code == VC_VALUECHANGED)
            ++changes;
    }
};

void positionSection()
{
    out << "\n### Replay position: 10 000 replay-time changes within 5 s of host time, replay running\n\n";
    out << "| figure | value |\n|---|---|\n";
    vrxtest::TestClock clock;
    vrxtest::LiveToolbar live;
    live.simulator().TriggerExternalReplay(0, false);
    vrxtest::settle();
    const long mode = live.simulator().ReplayMode(0);
    auto replayTime = values::Tree::Instance()->FindValueAs<values::IValueNumeric>(live.ReplayTimePath(0));
    auto position = live.value<values::IValueNumeric>("CurrentReplayPosition");
    if (!replayTime || !position) {
        row(QStringLiteral("replay time or position value"), QStringLiteral("missing"));
        return;
    }
    CountingObserver counter;
    position->AddObserver(&counter);
    const double start = replayTime->GetNumeric();
    const int changes = 10000;
    const double cpu0 = cpuSeconds();
    for (int i = 0; i < changes; ++i) {
        clock.advance(500); // 10 000 x 0.5 ms = 5 s of host time
        replayTime->SetNumeric(start + 500.0 * (i + 1), nullptr);
    }
    vrxtest::settle(5);
    const double cpu = cpuSeconds() - cpu0;
    position->RemoveObserver(&counter);
    row(QStringLiteral("ReplayMode during the run (4 = running)"), QString::number(mode));
    row(QStringLiteral("position writes (rule: at most one per host second, so <= 5 or 6)"),
        QString::number(counter.changes));
    row(QStringLiteral("CPU time per replay-time change"), QString::number(cpu / changes * 1e6, 'f', 2) + " us");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == QLatin1String("--toolbars"))
        return toolbarsChild(args[2].toInt());
    if (args.size() >= 2 && args[1] == QLatin1String("--module"))
        return moduleChild();
    const bool quick = args.contains(QStringLiteral("--quick"));

    out << "## vrxrtb benchmarks\n";
    moduleSection();
    latencySection(quick ? 200 : 2000);
    throughputSection(quick ? 5000 : 50000);
    toolbarsSection(quick ? 1 : 5);
    positionSection();
    return 0;
}

#include "vrxbench.moc"
