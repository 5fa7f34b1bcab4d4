// Randomized long run of a live toolbar: seeded steps of the operator, the
// host, the manager and worker threads. After every settled step the look
// follows the enablement rules, commands name only records the manager has
// and the bar waits only for a due answer; after teardown no channel value
// keeps more observers than before. VRX_LONGRUN_SEED (default: clock),
// VRX_LONGRUN_STEPS (400), VRX_LONGRUN_PRINT_STEPS.
#include "toolbarlook.h"

#include <deque>
#include <functional>
#include <map>
#include <random>
#include <thread>

namespace {

using namespace vrxtest;
using Sim = VorexSim::RecorderManagerSimulator;

// The controls the rules govern; actions among them are found as actions.
const char* const kControls[] = {"VorexStop", "VorexPause", "VorexReplayModesCombo", "VorexRecordingModesCombo",
                                 "VorexOpenFile", "VorexAddHistoryComment"};
const std::pair<const char*, Sim::Flag> kFlags[] = {
    {"RecordFlag", Sim::RecordFlag}, {"ReplayFlag", Sim::ReplayFlag}, {"PauseSupported", Sim::PauseSupported}};
const QString kSelectionRight = QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg");

int envInt(const char* name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? v : fallback;
}

// The node at `path` and every value below it with its observer count.
void observerCounts(const QString& path, std::map<QString, int>& out)
{
    if (const auto node = values::Tree::Instance()->FindNode(path)) {
        out[path] = node->ObserverCount();
        for (const auto& child : node->GetChildren())
            observerCounts(path + QLatin1Char('/') + child->GetName(), out);
    }
}

} // namespace

class TestLongRun : public QObject
{
    Q_OBJECT

    struct StepKind { int weight; std::function<void()> run; };

    // Module, manager and toolbar built step by step, so that the channel's
    // observers can be counted before the toolbar comes and after it went.
    PluginHost m_host;
    std::unique_ptr<Sim> m_sim;
    std::unique_ptr<QWidget> m_parent;
    IVRXRTB* m_toolbar = nullptr;
    TestClock m_clock;

    std::mt19937 m_rng;
    quint32 m_seed = 0;
    int m_step = 0;
    std::deque<QString> m_log; // the last steps, for a failure report
    bool m_hostEnabled = true, m_fileDialogAllowed = true; // the host's switches, which the rules read too
    QString m_pickRecord; // what the operator picks in the record selection, if offered
    bool m_bHungDuringWait = false;

    template <typename V = values::ValueBase>
    std::shared_ptr<V> value(const char* name) const
    {
        return values::Tree::Instance()->FindValueAs<V>(LiveToolbar::ChannelPath(0) + '/' + name);
    }
    std::shared_ptr<values::Value<bool>> flag(const char* name) const { return value<values::Value<bool>>(name); }
    std::shared_ptr<values::ValueSelection> selection(const char* name) const { return value<values::ValueSelection>(name); }
    QString text(const char* name) const { return value(name) ? value(name)->ToString() : QString(); }
    void select(const char* name, long key) { if (auto v = selection(name)) v->SelectIndex(key, nullptr); }
    QToolBar* bar() const { return m_toolbar->GetVorexToolbar(); }
    QAction* action(const char* name) const { return bar()->findChild<QAction*>(QLatin1String(name)); }
    QWidget* control(const char* name) const { return bar()->findChild<QWidget*>(QLatin1String(name)); }
    bool enabled(const char* name) const
    {
        QAction* a = action(name);
        return bar()->isEnabled() && (a ? a->isEnabled() && a->isVisible() : control(name) && control(name)->isEnabled());
    }
    QTimer* answerTimer() const { return m_parent->findChild<QTimer*>(QStringLiteral("VorexAnswerTimer")); }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    bool coin(int percent) { return pick(100) < percent; }
    template <typename T>
    T oneOf(std::initializer_list<T> items) { return items.begin()[pick(int(items.size()))]; }
    // Mostly keys the enumeration has, sometimes one it has not.
    long randomKey(long valid) { return coin(85) ? pick(int(valid)) : oneOf<long>({-1, 6, 9, 255, 100000}); }
    QString randomRecord()
    {
        const auto records = m_sim->Backend()->GetRecords(text("DeviceID"));
        return records.empty() ? QString() : records[size_t(pick(int(records.size())))].GetRecordID();
    }

    void note(const QString& what)
    {
        m_log.push_back(QStringLiteral("%1: %2").arg(m_step).arg(what));
        if (qEnvironmentVariableIsSet("VRX_LONGRUN_PRINT_STEPS"))
            qInfo("%s", qPrintable(m_log.back()));
        if (m_log.size() > 25)
            m_log.pop_front();
    }
    // Notes a step with the value drawn for it and hands the value on.
    template <typename T>
    T noted(const QString& what, T drawn)
    {
        note(QStringLiteral("%1 %2").arg(what).arg(drawn));
        return drawn;
    }

    QString failureReport(const QString& what) const
    {
        QString report = QStringLiteral("%1\nseed %2 (VRX_LONGRUN_SEED=%2), step %3; last steps:\n  %4\nvalue/state:")
                             .arg(what).arg(m_seed).arg(m_step).arg(QStringList(m_log.begin(), m_log.end()).join("\n  "));
        for (const char* name : {"RecordFlag", "ReplayFlag", "PauseSupported", "RecordReplayModes", "AllRecordReplayModes",
                                 "ReplayMode", "DeviceID", "RecordID"})
            report += QStringLiteral(" %1=%2/%3").arg(name, text(name)).arg(value(name) ? value(name)->GetState() : -1);
        return report + QStringLiteral(" connected=%1 channel=%2 hostEnabled=%3\n")
                            .arg(m_sim->IsConnected()).arg(m_sim->ChannelExists(0)).arg(m_hostEnabled);
    }

    // A value-bound combo is clicked at the first usable button inside.
    void click(const char* name)
    {
        note(QStringLiteral("click %1").arg(name));
        QWidget* w = control(name);
        QList<QAbstractButton*> buttons = w ? w->findChildren<QAbstractButton*>() : QList<QAbstractButton*>();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            buttons = {b};
        for (QAbstractButton* b : buttons)
            if (b->isEnabled() && b->isVisible())
                return b->click();
    }

    void trigger(const char* name)
    {
        note(QStringLiteral("trigger %1").arg(name));
        if (QAction* a = action(name); a && a->isEnabled() && a->isVisible())
            a->trigger();
    }

    // Runs one of `kinds`, drawn by weight out of `total` (their sum).
    void runOne(const std::vector<StepKind>& kinds, int total)
    {
        int draw = pick(total);
        for (const StepKind& kind : kinds)
            if ((draw -= kind.weight) < 0)
                return kind.run();
    }

    // In per cent of all steps.
    const std::vector<StepKind> m_steps = {
        // The host declares the channel unusable, or usable again.
        {3, [this] { m_toolbar->SetChannelError(noted("channel error", oneOf({0, 0, 0, 0, 1, 2, 3, -1, 7}))); }},
        // Left alone, the random states drift into a channel that stays
        // invalid or unreachable, where every rule holds trivially: the
        // manager serves it properly again now and then.
        {5, [this] {
             note(QStringLiteral("manager restores the channel, the host allows it again"));
             m_toolbar->SetChannelError(0);
             m_toolbar->EnableVorexToolbar(m_hostEnabled = true);
             m_toolbar->SetFileOpenDialogAllowed(m_fileDialogAllowed = true);
             for (const auto& f : kFlags)
                 m_sim->SetFlag(0, f.second, true);
             if (!m_sim->ChannelExists(0))
                 m_sim->RecreateChannel(0);
             m_sim->SetConnected(true);
             for (const char* name : {"RecordReplayModes", "AllRecordReplayModes", "ReplayMode", "RecordFlag", "ReplayFlag",
                                      "PauseSupported", "ErrorCode", "RecordID", "DeviceID"})
                 if (auto v = value(name); v && v->GetState() != values::eStateNormal)
                     v->SetState(values::eStateNormal, nullptr);
         }},
        {6, [this] { runOne(m_recordKinds, 7); }},
        {86, [this] { runOne(m_kinds, 100); }},
    };
    // In per cent of the ordinary steps.
    const std::vector<StepKind> m_kinds = {
        {14, [this] { click(oneOf({"VorexStop", "VorexPause", "VorexReplayModesCombo", "VorexRecordingModesCombo"})); }},
        {4, [this] { trigger(oneOf({"VorexOpenFile", "VorexAddHistoryComment", "Error information"})); }},
        {12, [this] { select("RecordReplayModes", noted("RecordReplayModes :=", randomKey(6))); }},
        {8, [this] { select("AllRecordReplayModes", noted("AllRecordReplayModes :=", randomKey(5))); }},
        {10, [this] { select("ReplayMode", noted("ReplayMode :=", randomKey(6))); }},
        {8, [this] { // a flag's value, or its state: normal (0) or disabled (2)
             const auto& [name, which] = kFlags[pick(3)];
             if (coin(60))
                 m_sim->SetFlag(0, which, noted(QStringLiteral("%1 :=").arg(name), coin(60)));
             else
                 m_sim->SetFlagState(0, which, noted(QStringLiteral("state of %1 :=").arg(name), coin(50) ? 0 : 2));
         }},
        {4, [this] {
             const char* name = oneOf({"RecordReplayModes", "ReplayMode", "RecordFlag", "ReplayFlag", "PauseSupported",
                                       "ErrorCode", "RecordID"});
             const int state = noted(QStringLiteral("state of %1 :=").arg(name), pick(3));
             if (auto v = value(name))
                 v->SetState(state, nullptr);
         }},
        {4, [this] { m_sim->SetConnected(noted("connected :=", coin(60))); }},
        {3, [this] {
             if (noted("channel deleted (1) or re-created (0):", m_sim->ChannelExists(0)))
                 m_sim->DeleteChannel(0);
             else
                 m_sim->RecreateChannel(0);
         }},
        {6, [this] {
             const QStringList keys = Sim::ErrorKeys() << QString() << QString() << QStringLiteral("unknown-error");
             m_sim->SetErrorCode(0, noted("ErrorCode :=", keys.at(pick(keys.size()))));
         }},
        {3, [this] {
             static const char* const events[] = {"User logged on", "User changed", "Login to same account - ignoring",
                                                  "User logged off", ""};
             const int e = pick(5);
             if (coin(50))
                 Sim::SetUserRight(kSelectionRight, noted("selection right :=", pick(3)));
             Sim::SendUserEvent(noted("rights event", QString(events[e])));
             // A (re)login, the first three, hands the selection right on as the host's switch does.
             if (e < 3)
                 m_fileDialogAllowed = UMM::ActiveUserProxy::instance()->GetAccessLevel(kSelectionRight) >= 1;
         }},
        {3, [this] { m_sim->FailNextReplayCommand(0, noted("next replay command fails with", 1 + quint32(pick(13)))); }},
        {5, [this] { runOne(m_managerOwnKinds, 4); }},
        {4, [this] { runOne(m_hostSwitchKinds, 3); }},
        {8, [this] { // writes from other threads, several at once
             std::vector<std::thread> threads;
             for (int i = noted("worker-thread writes", 1 + pick(3)); i > 0; --i) {
                 const char* name = oneOf({"RecordReplayModes", "ReplayMode", "ReplayFlag", "PauseSupported"});
                 const long key = randomKey(6);
                 const bool on = coin(50);
                 threads.emplace_back([this, name, key, on] {
                     if (auto v = flag(name))
                         v->Set(on, nullptr);
                     else
                         select(name, key);
                 });
             }
             for (auto& t : threads)
                 t.join();
         }},
        {4, [this] {
             m_clock.advance(noted("tick after microseconds", 100000 * (1 + pick(20))));
             m_sim->Tick();
         }},
    };
    // The manager records, replays or stops on its own.
    const std::vector<StepKind> m_managerOwnKinds = {
        {1, [this] { m_sim->TriggerExternalRecord(0, noted("manager records on its own, continuous", coin(50))); }},
        {1, [this] { m_sim->TriggerExternalReplay(0, noted("manager replays on its own, continuous", coin(50))); }},
        {2, [this] { m_sim->TriggerExternalStop(noted("manager stops on its own channel", 0)); }},
    };
    const std::vector<StepKind> m_hostSwitchKinds = {
        {1, [this] { m_toolbar->EnableVorexToolbar(m_hostEnabled = noted("host enables the toolbar", coin(70))); }},
        {1, [this] { m_toolbar->EnableVorexReplay(noted("host enables replay", coin(70))); }},
        {1, [this] { m_toolbar->SetFileOpenDialogAllowed(m_fileDialogAllowed = noted("host allows selection", coin(70))); }},
    };
    // The current record and the manager's answers, equally likely.
    const std::vector<StepKind> m_recordKinds = {
        {1, [this] {
             m_sim->SelectRecord(0, text("DeviceID"), noted("manager selects", coin(80) ? randomRecord() : "NoSuchRecord"));
         }},
        {1, [this] { m_sim->Backend()->RemoveRecord(text("DeviceID"), noted("manager deletes", text("RecordID"))); }},
        {1, [this] {
             note(QStringLiteral("record list reloaded"));
             m_sim->Backend()->SetRecords(text("DeviceID"), m_sim->Backend()->GetRecords(text("DeviceID")));
         }},
        {1, [this] {
             const QString device = noted("DeviceID :=", QStringLiteral("Dev%1").arg(1 + pick(3)));
             if (auto v = value<values::Value<QString>>("DeviceID"))
                 v->Set(device, nullptr);
         }},
        {1, [this] { m_sim->SetAnswering(noted("manager answers :=", !m_sim->IsAnswering())); }},
        {1, [this] { // the toolbar's wait for an answer runs out
             if (noted("answer timer runs out, active", answerTimer()->isActive()))
                 QMetaObject::invokeMethod(answerTimer(), "timeout");
         }},
        {1, [this] {
             m_pickRecord = noted("operator picks", randomRecord());
             trigger("VorexOpenFile");
             m_pickRecord.clear();
         }},
    };

    // Commands that name a record reach the manager only for a record it
    // has; the bar shows the wait only while an answer is due (bounded), from
    // a manager that hangs or reports a change under way.
    QString checkCommandsAndWaits()
    {
        static const QStringList recordCommands = {"StartReplay", "PauseReplay", "ContinueReplay", "SetBookmarkEntries"};
        for (const VorexCommon::RecordedCommand& c : m_sim->Backend()->TakeCommands()) {
            const QString device = c.args.value(0).toString(), record = c.args.value(1).toString();
            if (recordCommands.contains(c.command)
                && (device.isEmpty() || record.isEmpty() || !m_sim->Backend()->GetRecord(device, record)))
                return QStringLiteral("%1 sent for record '%2' on '%3', which the manager does not have")
                    .arg(c.command, record, device);
        }
        // A request sent to a manager that hangs is lost; only the bound ends
        // that wait, even after the manager answers again (also a wait begun
        // behind a channel error, which keeps the bar itself enabled).
        const bool waiting = BarStateLog::stateOf(bar()) == QLatin1String("off/wait");
        m_bHungDuringWait = (answerTimer()->isActive() && m_bHungDuringWait) || !m_sim->IsAnswering();
        // An invalid mode value (state 1) is not followed: its answers are not
        // heard, and again only the bound ends the wait.
        auto key = [this](const char* name) {
            auto v = selection(name);
            return !v ? -1 : v->GetState() == values::eStateInvalid ? -2 : v->GetCurrentKey() & 0xff;
        };
        const long replay = key("ReplayMode"), all = key("AllRecordReplayModes");
        const bool underWay = replay == 1 || replay == 3 || replay == 5 || all == 0 || all == 3 || replay == -2 || all == -2;
        if (waiting && (!answerTimer()->isActive() || !m_sim->IsConnected() || !(underWay || m_bHungDuringWait)))
            return QStringLiteral("the bar waits with nothing pending (ReplayMode %1, AllRecordReplayModes %2, timer %3)")
                .arg(replay).arg(all).arg(answerTimer()->isActive());
        return QString();
    }

    // Returns a description of the first rule the look breaks, or empty.
    QString checkLook() const
    {
        const bool channelError = action("Error information") && action("Error information")->isVisible();
        const bool connected = m_sim->IsConnected() && m_sim->ChannelExists(0);
        if (channelError || !connected || !m_hostEnabled) {
            const char* why = channelError ? "a channel error is shown"
                            : connected    ? "the host disabled the toolbar" : "the channel is not served";
            for (const char* c : kControls)
                if (enabled(c))
                    return QStringLiteral("%1 is enabled while %2").arg(c, why);
            if (QWidget* device = control("OpenFileDeviceCombo"); channelError && device && device->isEnabled())
                return QStringLiteral("the device combo is enabled while %1").arg(why);
            return QString();
        }
        // A missing flag counts as invalid.
        auto state = [this](const char* name) { return flag(name) ? flag(name)->GetState() : int(values::eStateInvalid); };
        auto on = [this](const char* name) { return flag(name) && flag(name)->Get(); };
        auto valid = [&](const char* name) { return state(name) == values::eStateNormal && on(name); };
        auto disabled = [&](const char* name) { return state(name) == values::eStateDisabled; };
        // An invalid value (state 1) is unknown: the rules that read it are
        // not checked until it is valid again. -2 marks that.
        auto key = [this](const char* name) -> long {
            auto v = selection(name);
            return !v ? -1 : v->GetState() == values::eStateInvalid ? -2 : v->GetCurrentKey();
        };
        const long modes = key("RecordReplayModes"), replay = key("ReplayMode"), allModes = key("AllRecordReplayModes");
        // A replay that runs or is paused, or a record that runs in the
        // selected record mode, keeps the other activity and the record
        // selection away.
        const bool replaying = replay == 2 || replay == 4;
        const bool recording = (modes == 3 || modes == 4) && (allModes == 1 || allModes == 2);
        // The pause rule asks for the value bound and true: a disabled state
        // keeps it bound, an invalid one releases it.
        const bool pauseAllowed = state("PauseSupported") != values::eStateInvalid && on("PauseSupported") && replaying;
        const bool stop = enabled("VorexStop"), pause = enabled("VorexPause"), openFile = enabled("VorexOpenFile");
        const bool recordCombo = enabled("VorexRecordingModesCombo"), replayCombo = enabled("VorexReplayModesCombo");
        const std::pair<bool, const char*> rules[] = {
            {stop && modes == 5, "stop enabled in mode 5"},
            {stop && !valid("RecordFlag") && !valid("ReplayFlag"), "stop enabled with no activity allowed by a valid flag"},
            {pause && replay != -2 && !pauseAllowed, "pause enabled without PauseSupported and a running or paused replay"},
            {recordCombo && disabled("RecordFlag"), "record combo enabled while RecordFlag is disabled"},
            {replayCombo && disabled("ReplayFlag"), "replay combo enabled while ReplayFlag is disabled"},
            {openFile && (!m_fileDialogAllowed || !valid("ReplayFlag")),
             "open-file enabled without a valid, true ReplayFlag and the host's permission"},
            {recordCombo && replaying, "record combo enabled while a replay runs or is paused"},
            {openFile && (replaying || recording), "open-file enabled during an activity"},
            {enabled("VorexAddHistoryComment") && text("RecordID").isEmpty(), "history enabled without a record"},
        };
        for (const auto& rule : rules)
            if (rule.first)
                return QStringLiteral("%1 (RecordReplayModes %2, ReplayMode %3, AllRecordReplayModes %4)")
                    .arg(rule.second).arg(modes).arg(replay).arg(allModes);
        return QString();
    }

private slots:
    void initTestCase()
    {
        failOnQtWarnings();
        QVERIFY2(m_host.load(), qPrintable(m_host.error()));
        // Dialogs answer at once: the record selection with the operator's
        // pick if there is one, the record parameters accepted.
        using namespace VorexGUI;
        OpenFileDialog::SetAnswerHook([this](OpenFileDialog& dialog) {
            const vorex::RecordIdentifier id(QStringLiteral("VOREX"), text("DeviceID"), m_pickRecord);
            return !m_pickRecord.isEmpty() && dialog.selectRecord(id) ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        RecordParameterDialog::SetAnswerHook([](RecordParameterDialog&) { return int(QDialog::Accepted); });
        RecordHistoryDialog::SetAnswerHook([](RecordHistoryDialog&) { return int(QDialog::Rejected); });
        RecordEditDialog::SetAnswerHook([](RecordEditDialog&) { return int(QDialog::Rejected); });
    }

    void randomRun()
    {
        m_seed = quint32(envInt("VRX_LONGRUN_SEED", int(QDateTime::currentMSecsSinceEpoch() & 0x7fffffff)));
        const int steps = envInt("VRX_LONGRUN_STEPS", 400);
        qInfo("long run: seed %u, %d steps (VRX_LONGRUN_SEED / VRX_LONGRUN_STEPS)", m_seed, steps);
        m_rng.seed(m_seed);
        // The error information box must never wait for an operator.
        QTimer closer;
        connect(&closer, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        closer.start(0);

        IDllInstance* const instance = m_host.create()(L"LongRun");
        m_sim.reset(new Sim(VorexSim::SimulatorOptions::Fast(1, &LiveToolbar::ChannelPath, &LiveToolbar::ReplayTimePath)));
        m_sim->Start();
        settle();
        std::map<QString, int> before, after;
        observerCounts(LiveToolbar::ChannelPath(0), before);
        QVERIFY(!before.empty());

        m_parent.reset(new QWidget);
        IVtClient* client = nullptr;
        m_toolbar = PluginHost::asPlugin(instance)->CreateToolbar(m_parent.get(), "VorexManager", "VorexGui1", client,
                                                                  "CH1_", true);
        m_toolbar->SetChannelId_ValuePath(LiveToolbar::ChannelPath(0));
        m_toolbar->SetReplayTime_ValuePath(LiveToolbar::ReplayTimePath(0));
        m_toolbar->EnableVorexToolbar(true);
        m_toolbar->EnableVorexReplay(true);
        m_toolbar->SetFileOpenDialogAllowed(true);
        settle();
        // The invariants look the controls up by name: a renamed control
        // would make them hold trivially.
        for (const char* c : kControls)
            QVERIFY2(control(c) || action(c), c);
        QVERIFY(action("Error information") && answerTimer());

        for (m_step = 0; m_step < steps; ++m_step) {
            QString failure;
            try {
                runOne(m_steps, 100);
                settle(20);
                failure = checkLook();
                if (failure.isEmpty())
                    failure = checkCommandsAndWaits();
            } catch (const std::exception& e) {
                failure = QStringLiteral("exception escaped: %1").arg(e.what());
            } catch (...) {
                failure = QStringLiteral("exception escaped");
            }
            if (!failure.isEmpty())
                QFAIL(qPrintable(failureReport(failure)));
        }

        // Teardown: the channel as the manager serves it, then the toolbar
        // goes; no value keeps more observers than it had before.
        if (!m_sim->ChannelExists(0))
            m_sim->RecreateChannel(0);
        m_sim->SetConnected(true);
        settle();
        delete std::exchange(m_toolbar, nullptr);
        m_parent.reset();
        settle();
        observerCounts(LiveToolbar::ChannelPath(0), after);
        for (const auto& [path, count] : after) {
            // Fewer is the simulated manager's business (it does not bind a
            // value again that went invalid); more can only be the toolbar's.
            if (count > before[path])
                QFAIL(qPrintable(failureReport(QStringLiteral("after teardown %1 has %2 observers, %3 before")
                                                   .arg(path).arg(count).arg(before[path]))));
        }
        m_sim.reset();
        m_host.destroy()(instance);
    }
};

int main(int argc, char** argv)
{
    // A seed replayed by hand from a shell without a display still runs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestLongRun test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_longrun.moc"
