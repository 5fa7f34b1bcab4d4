// Randomized long run of a live toolbar: seeded operator clicks, manager
// value changes (odd keys, states 1 and 2), connection loss, channel deletion
// and errors, rights events, failing commands, host switches, worker writes.
// After every settled step the look must follow the enablement rules; after
// teardown no channel value keeps more observers than before the toolbar.
// Commands naming a record must name one the manager has, and the bar may
// wait only for an answer that is due.
// VRX_LONGRUN_SEED (default: clock), VRX_LONGRUN_STEPS (400), VRX_LONGRUN_PRINT_STEPS.
#include "livetoolbar.h"
#include "testsupport.h"
#include "toolbarlook.h"
#include "umm.h"
#include "vorexgui.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>
#include <map>
#include <random>
#include <thread>

namespace {

using vrxtest::LiveToolbar;
using vrxtest::settle;

// The controls the rules govern; actions among them are found as actions.
const char* const kControls[] = {"VorexStop",     "VorexPause",           "VorexReplayModesCombo", "VorexRecordingModesCombo",
                                 "VorexOpenFile", "VorexAddHistoryComment"};

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

private:
    // Module, manager and toolbar built step by step, so that the channel's
    // observers can be counted before the toolbar comes and after it went.
    vrxtest::PluginHost m_host;
    IDllInstance* m_pInstance = nullptr;
    std::unique_ptr<VorexSim::RecorderManagerSimulator> m_sim;
    std::unique_ptr<QWidget> m_parent;
    IVRXRTB* m_toolbar = nullptr;

    std::mt19937 m_rng;
    std::deque<QString> m_log; // the last steps, for a failure report
    bool m_hostEnabled = true;
    QString m_pickRecord; // what the operator picks in the record selection, if offered
    bool m_bHungDuringWait = false;
    bool m_fileDialogAllowed = true;
    int m_step = 0;
    bool m_bPrintSteps = qEnvironmentVariableIsSet("VRX_LONGRUN_PRINT_STEPS");
    quint32 m_seed = 0;
    std::unique_ptr<vrxtest::TestClock> m_clock;

    QString channel() const { return LiveToolbar::ChannelPath(0); }
    QString key(const char* name) const { return channel() + QLatin1Char('/') + QLatin1String(name); }
    template <typename V>
    std::shared_ptr<V> value(const char* name) const
    {
        return values::Tree::Instance()->FindValueAs<V>(key(name));
    }
    QToolBar* bar() const { return m_toolbar->GetVorexToolbar(); }
    QAction* action(const char* name) const { return bar()->findChild<QAction*>(QLatin1String(name)); }
    QWidget* control(const char* name) const { return bar()->findChild<QWidget*>(QLatin1String(name)); }
    bool enabled(const char* name) const
    {
        if (QAction* a = action(name))
            return a->isEnabled() && bar()->isEnabled() && a->isVisible();
        QWidget* w = control(name);
        return w && w->isEnabled() && bar()->isEnabled();
    }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    bool coin(int percent) { return pick(100) < percent; }

    void note(const QString& what)
    {
        m_log.push_back(QStringLiteral("%1: %2").arg(m_step).arg(what));
        if (m_bPrintSteps)
            qInfo("%s", qPrintable(m_log.back()));
        if (m_log.size() > 25)
            m_log.pop_front();
    }

    QString failureReport(const QString& what) const
    {
        QString text = QStringLiteral("%1\nseed %2 (rerun with VRX_LONGRUN_SEED=%2), step %3; last steps:\n")
                           .arg(what)
                           .arg(m_seed)
                           .arg(m_step);
        for (const QString& line : m_log)
            text += QStringLiteral("  ") + line + QLatin1Char('\n');
        text += QStringLiteral("values now:");
        for (const char* name : {"RecordFlag", "ReplayFlag", "PauseSupported", "RecordReplayModes",
                                 "AllRecordReplayModes", "ReplayMode"}) {
            auto flag = value<values::Value<bool>>(name);
            auto selection = value<values::ValueSelection>(name);
            auto v = value<values::ValueBase>(name);
            const long shown = flag ? long(flag->Get()) : selection ? selection->GetCurrentKey() : -1;
            text += v ? QStringLiteral(" %1=%2/state %3").arg(QLatin1String(name)).arg(shown).arg(v->GetState())
                      : QStringLiteral(" %1 missing").arg(QLatin1String(name));
        }
        text += QStringLiteral(" connected=%1 channel=%2 hostEnabled=%3\n")
                    .arg(m_sim->IsConnected())
                    .arg(m_sim->ChannelExists(0))
                    .arg(m_hostEnabled);
        return text;
    }

    long randomKey(long valid)
    {
        // Mostly valid keys, sometimes one no enumeration has.
        static const long invalid[] = {-1, 6, 9, 255, 100000};
        return coin(85) ? pick(int(valid)) : invalid[pick(5)];
    }

    void selectKey(const char* name, long k, IObserver* writer = nullptr)
    {
        if (auto v = value<values::ValueSelection>(name))
            v->SelectIndex(k, writer);
    }

    void setState(const char* name, int state)
    {
        if (auto v = value<values::ValueBase>(name))
            v->SetState(state, nullptr);
    }

    void clickButton(const char* name)
    {
        // A value-bound combo is clicked at the first usable button inside.
        QWidget* w = control(name);
        QList<QAbstractButton*> buttons = w ? w->findChildren<QAbstractButton*>() : QList<QAbstractButton*>();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            buttons = {b};
        for (QAbstractButton* b : buttons)
            if (b->isEnabled() && b->isVisible()) {
                b->click();
                return;
            }
    }

    void triggerAction(const char* name)
    {
        if (QAction* a = action(name); a && a->isEnabled() && a->isVisible())
            a->trigger();
    }

    void step()
    {
        auto& sim = *m_sim;
        const int special = pick(100);
        if (special < 3) {
            // The host declares the channel unusable, or usable again.
            static const int codes[] = {0, 0, 0, 0, 1, 2, 3, -1, 7};
            const int code = codes[pick(9)];
            note(QStringLiteral("channel error %1").arg(code));
            m_toolbar->SetChannelError(code);
            return;
        }
        if (special < 8) {
            // Left alone, the random states drift into a channel that stays
            // invalid or unreachable, where every rule holds trivially: the
            // manager serves it properly again now and then.
            note(QStringLiteral("manager restores the channel, the host allows it again"));
            m_toolbar->SetChannelError(0);
            m_hostEnabled = m_fileDialogAllowed = true;
            m_toolbar->EnableVorexToolbar(true);
            m_toolbar->SetFileOpenDialogAllowed(true);
            for (auto flag : {VorexSim::RecorderManagerSimulator::RecordFlag,
                              VorexSim::RecorderManagerSimulator::ReplayFlag,
                              VorexSim::RecorderManagerSimulator::PauseSupported})
                sim.SetFlag(0, flag, true);
            if (!sim.ChannelExists(0))
                sim.RecreateChannel(0);
            sim.SetConnected(true);
            for (const char* name : {"RecordReplayModes", "AllRecordReplayModes", "ReplayMode", "RecordFlag",
                                     "ReplayFlag", "PauseSupported", "ErrorCode", "RecordID", "DeviceID"})
                if (auto v = value<values::ValueBase>(name))
                    if (v->GetState() != values::eStateNormal)
                        v->SetState(values::eStateNormal, nullptr);
            return;
        }
        if (special < 14) {
            recordStep();
            return;
        }
        const int kind = pick(100);
        if (kind < 14) {
            static const char* const buttons[] = {"VorexStop", "VorexPause", "VorexReplayModesCombo",
                                                  "VorexRecordingModesCombo"};
            const char* b = buttons[pick(4)];
            note(QStringLiteral("click %1").arg(QLatin1String(b)));
            clickButton(b);
        } else if (kind < 18) {
            static const char* const actions[] = {"VorexOpenFile", "VorexAddHistoryComment", "Error information"};
            const char* a = actions[pick(3)];
            note(QStringLiteral("trigger %1").arg(QLatin1String(a)));
            triggerAction(a);
        } else if (kind < 30) {
            const long k = randomKey(6);
            note(QStringLiteral("RecordReplayModes := %1").arg(k));
            selectKey("RecordReplayModes", k);
        } else if (kind < 38) {
            const long k = randomKey(5);
            note(QStringLiteral("AllRecordReplayModes := %1").arg(k));
            selectKey("AllRecordReplayModes", k);
        } else if (kind < 48) {
            const long k = randomKey(6);
            note(QStringLiteral("ReplayMode := %1").arg(k));
            selectKey("ReplayMode", k);
        } else if (kind < 56) {
            static const VorexSim::RecorderManagerSimulator::Flag flags[] = {
                VorexSim::RecorderManagerSimulator::RecordFlag, VorexSim::RecorderManagerSimulator::ReplayFlag,
                VorexSim::RecorderManagerSimulator::PauseSupported};
            const int f = pick(3);
            if (coin(60)) {
                const bool on = coin(60);
                note(QStringLiteral("flag %1 := %2").arg(f).arg(on));
                sim.SetFlag(0, flags[f], on);
            } else {
                const int state = coin(50) ? 0 : 2;
                note(QStringLiteral("flag %1 state %2").arg(f).arg(state));
                sim.SetFlagState(0, flags[f], state);
            }
        } else if (kind < 60) {
            static const char* const names[] = {"RecordReplayModes", "ReplayMode", "RecordFlag", "ReplayFlag",
                                                "PauseSupported", "ErrorCode", "RecordID"};
            const char* n = names[pick(7)];
            const int state = pick(3);
            note(QStringLiteral("state of %1 := %2").arg(QLatin1String(n)).arg(state));
            setState(n, state);
        } else if (kind < 64) {
            const bool up = coin(60);
            note(QStringLiteral("connection %1").arg(up ? "up" : "down"));
            sim.SetConnected(up);
        } else if (kind < 67) {
            if (sim.ChannelExists(0)) {
                note(QStringLiteral("channel deleted"));
                sim.DeleteChannel(0);
            } else {
                note(QStringLiteral("channel re-created"));
                sim.RecreateChannel(0);
            }
        } else if (kind < 73) {
            QStringList keys = VorexSim::RecorderManagerSimulator::ErrorKeys();
            keys << QString() << QString() << QStringLiteral("unknown-error");
            const QString k = keys.at(pick(keys.size()));
            note(QStringLiteral("ErrorCode := '%1'").arg(k));
            sim.SetErrorCode(0, k);
        } else if (kind < 76) {
            static const char* const events[] = {"User logged on", "User changed", "Login to same account - ignoring",
                                                 "User logged off", ""};
            const char* e = events[pick(5)];
            if (coin(50))
                VorexSim::RecorderManagerSimulator::SetUserRight(QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg"),
                                                                 pick(3));
            note(QStringLiteral("rights event '%1'").arg(QLatin1String(e)));
            VorexSim::RecorderManagerSimulator::SendUserEvent(QLatin1String(e));
            // The three events of a (re)login carry the record selection
            // dialog's right to the toolbar, as the host's switch does.
            if (qstrcmp(e, "User logged on") == 0 || qstrcmp(e, "User changed") == 0
                || qstrcmp(e, "Login to same account - ignoring") == 0)
                m_fileDialogAllowed = UMM::ActiveUserProxy::instance()->GetAccessLevel(
                                          QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg"))
                    >= 1;
        } else if (kind < 79) {
            const quint32 code = 1 + quint32(pick(13));
            note(QStringLiteral("next replay command fails with %1").arg(code));
            sim.FailNextReplayCommand(0, code);
        } else if (kind < 84) {
            const int what = pick(4);
            note(QStringLiteral("manager external %1").arg(what));
            switch (what) {
            case 0: sim.TriggerExternalRecord(0, coin(50)); break;
            case 1: sim.TriggerExternalReplay(0, coin(50)); break;
            default: sim.TriggerExternalStop(0); break;
            }
        } else if (kind < 88) {
            const int what = pick(3);
            const bool on = coin(70);
            note(QStringLiteral("host switch %1 := %2").arg(what).arg(on));
            if (what == 0) {
                m_hostEnabled = on;
                m_toolbar->EnableVorexToolbar(on);
            } else if (what == 1) {
                m_toolbar->EnableVorexReplay(on);
            } else {
                m_fileDialogAllowed = on;
                m_toolbar->SetFileOpenDialogAllowed(on);
            }
        } else if (kind < 96) {
            // Writes from other threads, several at once.
            const int writers = 1 + pick(3);
            std::vector<std::function<void()>> jobs;
            for (int i = 0; i < writers; ++i) {
                const int what = pick(4);
                const long k = randomKey(6);
                const bool on = coin(50);
                jobs.push_back([this, what, k, on] {
                    switch (what) {
                    case 0: selectKey("RecordReplayModes", k); break;
                    case 1: selectKey("ReplayMode", k); break;
                    case 2:
                        if (auto v = value<values::Value<bool>>("ReplayFlag"))
                            v->Set(on, nullptr);
                        break;
                    default:
                        if (auto v = value<values::Value<bool>>("PauseSupported"))
                            v->Set(on, nullptr);
                        break;
                    }
                });
            }
            note(QStringLiteral("%1 worker-thread writes").arg(writers));
            std::vector<std::thread> threads;
            for (auto& job : jobs)
                threads.emplace_back(job);
            for (auto& t : threads)
                t.join();
        } else {
            const qint64 us = 100000 * (1 + pick(20));
            note(QStringLiteral("time +%1 ms, tick").arg(us / 1000));
            m_clock->advance(us);
            sim.Tick();
        }
    }

    QString currentDevice() const
    {
        auto device = value<values::Value<QString>>("DeviceID");
        return device ? device->Get() : QString();
    }
    QString randomRecord() const
    {
        std::vector<VOREX_XML::VOREX_RecordData> records = m_sim->Backend()->GetRecords(currentDevice());
        return records.empty() ? QString() : records[size_t(const_cast<TestLongRun*>(this)->pick(int(records.size())))].GetRecordID();
    }
    QTimer* answerTimer() const { return m_parent->findChild<QTimer*>(QStringLiteral("VorexAnswerTimer")); }

    // The current record and the manager's answers: selections of known and
    // unknown records, deletions, reloads, device changes, a manager that
    // hangs, waits that run out.
    void recordStep()
    {
        auto& sim = *m_sim;
        auto backend = sim.Backend();
        switch (pick(7)) {
        case 0: {
            const QString record = coin(80) ? randomRecord() : QStringLiteral("NoSuchRecord");
            note(QStringLiteral("manager selects %1").arg(record));
            sim.SelectRecord(0, currentDevice(), record);
            break;
        }
        case 1:
            if (auto record = value<values::Value<QString>>("RecordID")) {
                note(QStringLiteral("manager deletes the current record '%1'").arg(record->Get()));
                backend->RemoveRecord(currentDevice(), record->Get());
            }
            break;
        case 2:
            note(QStringLiteral("record list reloaded"));
            backend->SetRecords(currentDevice(), backend->GetRecords(currentDevice()));
            break;
        case 3: {
            const QString device = QStringLiteral("Dev%1").arg(1 + pick(3));
            note(QStringLiteral("DeviceID := %1").arg(device));
            if (auto v = value<values::Value<QString>>("DeviceID"))
                v->Set(device, nullptr);
            break;
        }
        case 4:
            note(QStringLiteral("manager %1").arg(sim.IsAnswering() ? "hangs" : "answers"));
            sim.SetAnswering(!sim.IsAnswering());
            break;
        case 5:
            note(QStringLiteral("the toolbar's wait runs out"));
            if (answerTimer()->isActive())
                QMetaObject::invokeMethod(answerTimer(), "timeout");
            break;
        default:
            note(QStringLiteral("operator picks a record"));
            m_pickRecord = randomRecord();
            triggerAction("VorexOpenFile");
            m_pickRecord.clear();
            break;
        }
    }

    // Commands that name a record reach the manager only for a record it
    // has; the bar shows the wait only while an answer is due (bounded), from
    // a manager that hangs or reports a change under way.
    QString checkCommandsAndWaits()
    {
        for (const VorexCommon::RecordedCommand& c : m_sim->Backend()->TakeCommands()) {
            static const QStringList recordCommands = {"StartReplay", "PauseReplay", "ContinueReplay", "SetBookmarkEntries"};
            if (!recordCommands.contains(c.command))
                continue;
            const QString device = c.args.value(0).toString(), record = c.args.value(1).toString();
            if (device.isEmpty() || record.isEmpty() || !m_sim->Backend()->GetRecord(device, record))
                return QStringLiteral("%1 sent for record '%2' on '%3', which the manager does not have").arg(c.command, record, device);
        }
        // A request sent to a manager that hangs is lost; only the bound ends
        // that wait, even after the manager answers again.
        const bool waiting = vrxtest::BarStateLog::stateOf(bar()) == QLatin1String("off/wait");
        m_bHungDuringWait = (waiting && m_bHungDuringWait) || !m_sim->IsAnswering();
        if (!waiting)
            return QString();
        auto key = [this](const char* name) {
            auto v = value<values::ValueSelection>(name);
            return v ? v->GetCurrentKey() & 0xff : -1;
        };
        const long replay = key("ReplayMode"), all = key("AllRecordReplayModes");
        const bool underWay = replay == 1 || replay == 3 || replay == 5 || all == 0 || all == 3;
        if (!answerTimer()->isActive() || !m_sim->IsConnected() || !(underWay || m_bHungDuringWait))
            return QStringLiteral("the bar waits with nothing pending (ReplayMode %1, AllRecordReplayModes %2, timer %3)")
                .arg(replay).arg(all).arg(answerTimer()->isActive());
        return QString();
    }

    // Returns a description of the first rule the look breaks, or empty.
    QString checkLook() const
    {
        const bool channelError = action("Error information") && action("Error information")->isVisible();
        if (channelError) {
            for (const char* c : kControls)
                if (enabled(c))
                    return QStringLiteral("channel error shown, yet %1 is enabled").arg(QLatin1String(c));
            if (QWidget* device = control("OpenFileDeviceCombo"))
                if (device->isEnabled())
                    return QStringLiteral("channel error shown, yet the device combo is enabled");
            return QString();
        }
        const bool connected = m_sim->IsConnected() && m_sim->ChannelExists(0);
        if (!connected || !m_hostEnabled) {
            for (const char* c : kControls)
                if (enabled(c))
                    return QStringLiteral("%1 is enabled while %2")
                        .arg(QLatin1String(c), connected ? QStringLiteral("the host disabled the toolbar")
                                                         : QStringLiteral("the channel is not served"));
            return QString();
        }
        auto flagOk = [this](const char* name) {
            auto v = value<values::Value<bool>>(name);
            return v && v->GetState() == values::eStateNormal && v->Get();
        };
        // The pause rule asks for the value bound and true: a disabled state
        // keeps it bound, an invalid one releases it.
        auto boundAndTrue = [this](const char* name) {
            auto v = value<values::Value<bool>>(name);
            return v && v->GetState() != values::eStateInvalid && v->Get();
        };
        auto flagDisabled = [this](const char* name) {
            auto v = value<values::Value<bool>>(name);
            return v && v->GetState() == values::eStateDisabled;
        };
        // An invalid value (state 1) is unknown: the rules that read it are
        // not checked until it is valid again. -2 marks that.
        auto key = [this](const char* name) -> long {
            auto v = value<values::ValueSelection>(name);
            if (!v)
                return -1;
            return v->GetState() == values::eStateInvalid ? -2 : v->GetCurrentKey();
        };
        const long modes = key("RecordReplayModes");
        const long replay = key("ReplayMode");
        const long allModes = key("AllRecordReplayModes");
        if (enabled("VorexStop") && modes == 5)
            return QStringLiteral("stop enabled in mode 5");
        if (enabled("VorexStop") && !flagOk("RecordFlag") && !flagOk("ReplayFlag"))
            return QStringLiteral("stop enabled with neither recording nor replay allowed by a valid flag");
        if (enabled("VorexPause") && replay != -2 && !(boundAndTrue("PauseSupported") && (replay == 2 || replay == 4)))
            return QStringLiteral("pause enabled without PauseSupported and a running or paused replay (ReplayMode %1)")
                .arg(replay);
        if (enabled("VorexRecordingModesCombo") && flagDisabled("RecordFlag"))
            return QStringLiteral("record combo enabled while RecordFlag is disabled");
        if (enabled("VorexReplayModesCombo") && flagDisabled("ReplayFlag"))
            return QStringLiteral("replay combo enabled while ReplayFlag is disabled");
        if (enabled("VorexOpenFile") && (!m_fileDialogAllowed || !flagOk("ReplayFlag")))
            return QStringLiteral("open-file enabled without a valid, true ReplayFlag and the host's permission");
        // A replay that runs or is paused, or a record that runs in the
        // selected record mode, keeps the other activity and the record
        // selection away.
        const bool replaying = replay == 2 || replay == 4;
        const bool recording = (modes == 3 || modes == 4) && (allModes == 1 || allModes == 2);
        if (enabled("VorexRecordingModesCombo") && replaying)
            return QStringLiteral("record combo enabled while a replay runs or is paused (ReplayMode %1)").arg(replay);
        if (enabled("VorexOpenFile") && (replaying || recording))
            return QStringLiteral("open-file enabled during an activity (modes %1, ReplayMode %2)").arg(modes).arg(replay);
        if (enabled("VorexAddHistoryComment")) {
            auto record = value<values::Value<QString>>("RecordID");
            if (!record || record->Get().isEmpty())
                return QStringLiteral("history enabled without a record");
        }
        return QString();
    }

private slots:
    void initTestCase()
    {
        vrxtest::failOnQtWarnings();
        QVERIFY2(m_host.load(), qPrintable(m_host.error()));
        // Dialogs answer at once (cancelled), as an operator who closes them.
        VorexGUI::OpenFileDialog::SetAnswerHook([this](VorexGUI::OpenFileDialog& dialog) {
            const vorex::RecordIdentifier id(QStringLiteral("VOREX"), currentDevice(), m_pickRecord);
            return !m_pickRecord.isEmpty() && dialog.selectRecord(id) ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        VorexGUI::RecordParameterDialog::SetAnswerHook(
            [](VorexGUI::RecordParameterDialog&) { return int(QDialog::Accepted); });
        VorexGUI::RecordHistoryDialog::SetAnswerHook(
            [](VorexGUI::RecordHistoryDialog&) { return int(QDialog::Rejected); });
        VorexGUI::RecordEditDialog::SetAnswerHook([](VorexGUI::RecordEditDialog&) { return int(QDialog::Rejected); });
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
        m_clock.reset(new vrxtest::TestClock);

        m_pInstance = m_host.create()(L"LongRun");
        m_sim.reset(new VorexSim::RecorderManagerSimulator(
            VorexSim::SimulatorOptions::Fast(1, &LiveToolbar::ChannelPath, &LiveToolbar::ReplayTimePath)));
        m_sim->Start();
        settle();
        std::map<QString, int> before, after;
        observerCounts(channel(), before);
        QVERIFY(!before.empty());

        m_parent.reset(new QWidget);
        IVtClient* client = nullptr;
        m_toolbar = vrxtest::PluginHost::asPlugin(m_pInstance)
                        ->CreateToolbar(m_parent.get(), QStringLiteral("VorexManager"), QStringLiteral("VorexGui1"),
                                        client, QStringLiteral("CH1_"), true);
        m_toolbar->SetChannelId_ValuePath(channel());
        m_toolbar->SetReplayTime_ValuePath(LiveToolbar::ReplayTimePath(0));
        m_toolbar->EnableVorexToolbar(true);
        m_toolbar->EnableVorexReplay(true);
        m_toolbar->SetFileOpenDialogAllowed(true);
        settle();
        // The invariants look the controls up by name: a renamed control
        // would make them hold trivially.
        for (const char* c : kControls)
            QVERIFY2(control(c) || action(c), c);
        QVERIFY(action("Error information"));

        QString failure;
        for (m_step = 0; m_step < steps; ++m_step) {
            try {
                step();
                settle(20);
            } catch (const std::exception& e) {
                failure = QStringLiteral("exception escaped: %1").arg(QLatin1String(e.what()));
            } catch (...) {
                failure = QStringLiteral("exception escaped");
            }
            if (failure.isEmpty())
                failure = checkLook();
            if (failure.isEmpty())
                failure = checkCommandsAndWaits();
            if (!failure.isEmpty())
                break;
        }
        if (!failure.isEmpty())
            QFAIL(qPrintable(failureReport(failure)));

        // Teardown: the channel as the manager serves it, then the toolbar
        // goes; no value keeps more observers than it had before.
        if (!m_sim->ChannelExists(0))
            m_sim->RecreateChannel(0);
        m_sim->SetConnected(true);
        settle();
        delete m_toolbar;
        m_toolbar = nullptr;
        m_parent.reset();
        settle();
        observerCounts(channel(), after);
        for (const auto& entry : after) {
            const auto it = before.find(entry.first);
            const int expected = it == before.end() ? 0 : it->second;
            // Fewer is the simulated manager's business: its own pointers
            // let go of a value that went invalid and it does not bind them
            // again. More can only be the toolbar's.
            if (entry.second > expected)
                QFAIL(qPrintable(failureReport(QStringLiteral("after teardown %1 has %2 observers, %3 before")
                                                   .arg(entry.first)
                                                   .arg(entry.second)
                                                   .arg(expected))));
        }
        m_sim.reset();
        m_host.destroy()(m_pInstance);
        m_pInstance = nullptr;
        m_clock.reset();
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
