#include "scenario.h"

#include "base.h"
#include "hostwindow.h"
#include "recordermanagersimulator.h"
#include "roadmanager.h"
#include "umm.h"
#include "values.h"
#include "vcwidgets.h"
#include "vorexclient.h"
#include "vorexgui.h"
#include "vorexwidgets.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>
#include <QToolBar>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

using VorexSim::RecorderManagerSimulator;

namespace {

// The host clock of a road: fixed start, moved only by the road, so that
// transcripts and screenshots come out the same on every run.
std::atomic<qint64> g_clock{0};
const qint64 kRoadStart = Q_INT64_C(1768471200) * 1000000; // 2026-01-15 10:00:00 UTC

const char* const kControls[] = {"record", "replay", "stop", "pause", "open-file", "history"};

// What a step expects of channel 1's toolbar and values.
struct Expect
{
    std::vector<std::pair<QString, bool>> controls; // control -> enabled
    std::vector<std::pair<QString, long>> values;   // channel key -> value
    std::vector<std::pair<QString, std::function<bool()>>> checks;

    Expect& On(std::initializer_list<const char*> names)
    {
        for (const char* n : names)
            controls.emplace_back(QString::fromLatin1(n), true);
        return *this;
    }
    Expect& Off(std::initializer_list<const char*> names)
    {
        for (const char* n : names)
            controls.emplace_back(QString::fromLatin1(n), false);
        return *this;
    }
    Expect& AllOff()
    {
        for (const char* n : kControls)
            controls.emplace_back(QString::fromLatin1(n), false);
        return *this;
    }
    Expect& Value(const char* key, long v)
    {
        values.emplace_back(QString::fromLatin1(key), v);
        return *this;
    }
    Expect& Check(const QString& what, std::function<bool()> f)
    {
        checks.emplace_back(what, std::move(f));
        return *this;
    }
};

// Looks of the settled states.
Expect Idle(bool recordSelected)
{
    Expect e;
    e.On({"record", "replay", "open-file"}).Off({"stop", "pause"}).Value("AllRecordReplayModes", 4).Value("ReplayMode", 0);
    e.controls.emplace_back(QStringLiteral("history"), recordSelected);
    e.controls.emplace_back(QStringLiteral("error-info"), false);
    return e;
}
// Idle, without a claim about the history action, which follows whether the
// channel still has a current record.
Expect IdleWhateverRecord()
{
    Expect e = Idle(false);
    e.controls.erase(std::remove_if(e.controls.begin(), e.controls.end(),
                                    [](const std::pair<QString, bool>& c) { return c.first == QLatin1String("history"); }),
                     e.controls.end());
    return e;
}
Expect Recording(long allModes)
{
    Expect e;
    e.On({"record", "stop"}).Off({"replay", "open-file", "pause"}).Value("AllRecordReplayModes", allModes).Value("ReplayMode", 0);
    return e;
}
Expect Replaying(long replayMode)
{
    Expect e;
    e.On({"replay", "stop", "pause", "history"}).Off({"record", "open-file"}).Value("ReplayMode", replayMode);
    return e;
}

// Watches every value of one channel and keeps what was written, in order.
class ValueWatcher : public IObserver
{
public:
    ~ValueWatcher() override { Detach(); }

    void Attach(const QString& channelPath)
    {
        Detach();
        m_path = channelPath;
        auto node = values::Tree::Instance()->FindNode(channelPath);
        if (!node)
            return;
        for (const auto& child : node->GetChildren()) {
            if (child->IsValue()) {
                child->AddObserver(this);
                m_attached.push_back(child);
            }
        }
    }
    void Detach()
    {
        for (const auto& node : m_attached)
            node->RemoveObserver(this);
        m_attached.clear();
    }
    // Whether a write of this text ("Key = value") came since the last Take().
    bool Saw(const QString& text) const
    {
        return std::any_of(m_writes.begin(), m_writes.end(), [&](const Write& w) { return w.text == text; });
    }
    QStringList Take()
    {
        QStringList out;
        for (const auto& w : m_writes)
            out << (w.count > 1 ? QStringLiteral("%1 (%2 writes)").arg(w.text).arg(w.count) : w.text);
        m_writes.clear();
        return out;
    }

    void Update(Observable* observable, TChangeCode code) override
    {
        auto* value = dynamic_cast<values::ValueBase*>(observable);
        if (!value)
            return;
        QString text;
        if (code == VC_VALUECHANGED) {
            const bool isString = value->TypeName() == QLatin1String("string");
            text = QStringLiteral("%1 = %2").arg(value->GetName(), isString ? QStringLiteral("\"%1\"").arg(value->ToString()) : value->ToString());
        } else if (code == VC_STATECHANGED) {
            text = QStringLiteral("%1 state %2").arg(value->GetName()).arg(value->GetState());
        } else if (code == VC_DELETING) {
            text = QStringLiteral("%1 deleted").arg(value->GetName());
        } else {
            return;
        }
        // Runs of writes to one numeric or text value (positions, durations)
        // are folded into the last; every step of a mode value is kept.
        const bool fold = code == VC_VALUECHANGED && value->TypeName() != QLatin1String("selection");
        if (fold && !m_writes.empty() && m_writes.back().key == value->GetName() && m_writes.back().valueChange) {
            m_writes.back().text = text;
            ++m_writes.back().count;
        } else {
            m_writes.push_back(Write{value->GetName(), text, 1, code == VC_VALUECHANGED});
        }
    }

private:
    struct Write
    {
        QString key;
        QString text;
        int count;
        bool valueChange;
    };
    QString m_path;
    std::vector<std::shared_ptr<values::Node>> m_attached;
    std::vector<Write> m_writes;
};

// One road: a host window with its toolbars, a manager, a clock, a transcript.
class Road
{
public:
    Road(const QString& name, const ScenarioSettings& settings, QTextStream& out)
        : m_name(name), m_settings(settings), m_out(out)
    {
    }

    bool SetUp(QString& error)
    {
        g_clock = kRoadStart;
        HaldaOS::SetClock([] { return g_clock.load(); });
        UMM::ActiveUserProxy::instance()->Clear();
        VorexCommon::ErrorDescriptor::ResetErrorTable();
        ErrorHandler::Instance()->TakeMessages();

        const QString managerLog = QDir(m_settings.outputDir).filePath(m_name + QStringLiteral("-manager.log"));
        m_manager = RoadManager::Make(m_settings.managerBinary, m_settings.channels, kRoadStart, managerLog,
                                      [this](const QString& text) { m_managerEvents << text; });

        ErrorHandler::Instance()->SetMessageSink([this](const MessageRecord& m) { m_messages << m.text; });
        VorexGUI::RecordParameterDialog::SetAnswerHook([this](VorexGUI::RecordParameterDialog& d) {
            d.setRecordName(QStringLiteral("Scenario record"));
            d.setTimeout(40);
            if (m_nSizeLimit != 0)
                d.setRecordSizeLimitBytes(m_nSizeLimit);
            m_dialogs << QStringLiteral("record parameters answered: name \"Scenario record\", timeout 40 s%1")
                             .arg(m_nSizeLimit ? QStringLiteral(", size limit %1 bytes").arg(m_nSizeLimit) : QString());
            return int(QDialog::Accepted);
        });
        VorexGUI::OpenFileDialog::SetAnswerHook([this](VorexGUI::OpenFileDialog& d) {
            const vorex::RecordIdentifierList candidates = d.candidates();
            for (const vorex::RecordIdentifier& id : candidates) {
                const QString name = RoadManager::RecordName(id.deviceID(), id.recordID());
                if (!name.isEmpty() && name.startsWith(m_strWantedRecord)) {
                    d.selectRecord(id);
                    m_dialogs << QStringLiteral("record selection answered: %1 \"%2\"").arg(id.recordID(), name);
                    return int(QDialog::Accepted);
                }
            }
            m_dialogs << QStringLiteral("record selection cancelled (%1 candidates)").arg(candidates.size());
            return int(QDialog::Rejected);
        });

        // A modal box without an answer hook would wait for a person that a
        // headless road does not have: note it and close it.
        m_pModalWatch = new QTimer;
        m_pModalWatch->setInterval(50);
        QObject::connect(m_pModalWatch, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            QString text;
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                text = box->text();
            m_dialogs << QStringLiteral("modal \"%1\" closed by the road%2")
                             .arg(modal->windowTitle(), text.isEmpty() ? QString() : QStringLiteral(": ") + text);
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        });
        m_pModalWatch->start();

        m_window.reset(new HostWindow);
        if (!m_window->LoadPlugin(m_settings.pluginPath, error) || !m_window->CreateToolbars(m_settings.channels, error))
            return false;
        if (!m_manager->Start(*m_window, error))
            return false;
        m_window->resize(1400, 30 + 50 * m_settings.channels);
        m_window->show();
        Settle();
        m_out << QStringLiteral("[%1 set-up] %2 channel(s), module %3\n").arg(m_name).arg(m_settings.channels).arg(m_settings.pluginPath);
        print(QStringLiteral("manager"), m_managerEvents);
        m_managerEvents.clear();
        m_manager->TakeCommands();
        return true;
    }

    void TearDown()
    {
        delete m_pModalWatch;
        m_pModalWatch = nullptr;
        m_watcher.Detach();
        if (m_window)
            m_window->Shutdown();
        m_window.reset();
        VorexGUI::RecordParameterDialog::SetAnswerHook(nullptr);
        VorexGUI::OpenFileDialog::SetAnswerHook(nullptr);
        ErrorHandler::Instance()->SetMessageSink(nullptr);
        if (m_manager)
            m_manager->Stop();
        m_manager.reset();
        // The host's replay time values go with the road, so the next road
        // starts from nothing as well.
        for (int i = 0; i < m_settings.channels; ++i)
            values::Tree::Instance()->Release(HostWindow::ReplayTimePath(i));
        HaldaOS::SetClock(nullptr);
    }

    bool Failed() const { return m_bFailed; }
    RoadManager& Manager() { return *m_manager; }
    IVRXRTB* Toolbar(int channel = 0) const
    {
        const auto& bars = m_window->Toolbars();
        return size_t(channel) < bars.size() ? bars[size_t(channel)] : nullptr;
    }
    void WantRecord(const QString& namePrefix) { m_strWantedRecord = namePrefix; }
    void SetSizeLimit(quint64 bytes) { m_nSizeLimit = bytes; }

    // Runs one step and reports it; false when the toolbar missed the state.
    bool Step(const QString& title, const std::function<void()>& action, const Expect& expect, int timeoutMs = 4000)
    {
        if (m_bFailed)
            return false;
        ++m_nStep;
        m_out << QStringLiteral("[%1 %2] %3\n").arg(m_name).arg(m_nStep, 2, 10, QLatin1Char('0')).arg(title);
        m_watcher.Attach(HostWindow::ChannelPath(0));
        m_managerEvents.clear();
        m_messages.clear();
        m_dialogs.clear();
        m_actionNotes.clear();
        action();
        Settle();
        QString why;
        QElapsedTimer timer;
        timer.start();
        while (!Meets(expect, why) && timer.elapsed() < timeoutMs) {
            QThread::msleep(10);
            Settle();
        }
        bool ok = Meets(expect, why);
        Settle();

        print(QStringLiteral("operator"), m_actionNotes);
        print(QStringLiteral("dialogs"), m_dialogs);
        print(QStringLiteral("values"), m_watcher.Take());
        print(QStringLiteral("manager"), m_managerEvents);
        print(QStringLiteral("commands"), m_manager->TakeCommands());
        const QStringList faults = m_manager->TakeFaults();
        print(QStringLiteral("faults"), faults);
        if (ok && !faults.isEmpty())
            why = QStringLiteral("the manager could not be driven");
        print(QStringLiteral("messages"), m_messages);
        m_out << QStringLiteral("    toolbar:  %1\n").arg(DescribeToolbar());
        m_out << QStringLiteral("    fields:   %1\n").arg(DescribeFields());
        const QString shot = Screenshot(title);
        m_out << QStringLiteral("    screenshot: %1\n").arg(shot.isEmpty() ? QStringLiteral("(not written)") : shot);
        if (ok && faults.isEmpty()) {
            m_out << QStringLiteral("    ok\n");
        } else {
            m_out << QStringLiteral("    FAILED: %1\n").arg(why);
            m_bFailed = true;
        }
        m_out.flush();
        return ok;
    }

    // --- actions
    void Click(const QString& control)
    {
        QObject* o = Control(control);
        auto* button = qobject_cast<QAbstractButton*>(o);
        auto* action = qobject_cast<QAction*>(o);
        if (!button && !action) {
            m_actionNotes << QStringLiteral("%1: no such control").arg(control);
            return;
        }
        if (!IsEnabled(control)) {
            m_actionNotes << QStringLiteral("clicks %1: the control is disabled, nothing happens").arg(control);
            return;
        }
        m_actionNotes << QStringLiteral("clicks %1").arg(control);
        if (button)
            button->click();
        else
            action->trigger();
    }
    void ChooseEntry(const QString& control, long key, const QString& entryName)
    {
        auto* combo = qobject_cast<VCOneOfButtonCombo*>(Control(control));
        if (!combo || !IsEnabled(control)) {
            m_actionNotes << QStringLiteral("%1 entry \"%2\": the control is missing or disabled").arg(control, entryName);
            return;
        }
        m_actionNotes << QStringLiteral("picks \"%1\" in the %2 drop-down").arg(entryName, control);
        combo->TriggerEntry(key);
    }
    // Lets `seconds` of host time pass, one second at a time.
    void Pass(int seconds)
    {
        for (int s = 0; s < seconds; ++s) {
            g_clock += 1000000;
            m_manager->Tick(g_clock);
            // Running counters refresh once a second of real time; a road's
            // second passes at once, so give them their refresh here.
            for (TickCounter* counter : m_window->findChildren<TickCounter*>())
                if (counter->IsRunning())
                    QMetaObject::invokeMethod(counter, "sl_tick");
            Settle();
        }
    }
    long ValueOf(const QString& key) const
    {
        auto v = values::Tree::Instance()->FindValue(HostWindow::ChannelPath(0) + QLatin1Char('/') + key);
        if (!v)
            return -1;
        bool ok = false;
        const long n = v->ToString().toLong(&ok);
        return ok ? n : (v->ToString() == QLatin1String("true") ? 1 : 0);
    }
    // A manager in another process tells of a change later than it makes
    // it: a step that waits for it names the write it waits for.
    bool Saw(const QString& write) const { return m_watcher.Saw(write); }
    int MessageCount() const { return m_messages.size(); }
    int DialogCount() const { return m_dialogs.size(); }
    QString DialogText() const { return m_dialogs.join(QLatin1Char('\n')); }
    int CommandCount(const QString& command) { return m_manager->CommandCount(command); }

private:
    void print(const QString& label, const QStringList& lines)
    {
        if (lines.isEmpty())
            return;
        m_out << QStringLiteral("    %1:%2%3\n").arg(label, QString(9 - label.size(), QLatin1Char(' ')), lines.join(QStringLiteral("\n              ")));
    }

    void Settle()
    {
        for (int i = 0; i < 8; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    }

    QToolBar* Bar(int channel = 0) const
    {
        IVRXRTB* t = Toolbar(channel);
        return t ? t->GetVorexToolbar() : nullptr;
    }

    QObject* Control(const QString& control) const
    {
        QToolBar* bar = Bar();
        if (!bar)
            return nullptr;
        static const std::map<QString, QString> widgets{
            {QStringLiteral("record"), QStringLiteral("VorexRecordingModesCombo")},
            {QStringLiteral("replay"), QStringLiteral("VorexReplayModesCombo")},
            {QStringLiteral("stop"), QStringLiteral("VorexStop")},
            {QStringLiteral("pause"), QStringLiteral("VorexPause")},
            {QStringLiteral("device"), QStringLiteral("OpenFileDeviceCombo")}};
        static const std::map<QString, QString> actions{
            {QStringLiteral("open-file"), QStringLiteral("VorexOpenFile")},
            {QStringLiteral("history"), QStringLiteral("VorexAddHistoryComment")},
            {QStringLiteral("error-info"), QStringLiteral("Error information")}};
        auto w = widgets.find(control);
        if (w != widgets.end())
            return bar->findChild<QWidget*>(w->second);
        auto a = actions.find(control);
        if (a != actions.end())
            return bar->findChild<QAction*>(a->second);
        return nullptr;
    }

    // What the operator can use: the widget and all its parents enabled (and
    // for an action also the action itself, visible).
    bool IsEnabled(const QString& control) const
    {
        QObject* o = Control(control);
        if (auto* w = qobject_cast<QWidget*>(o))
            return w->isEnabled();
        if (auto* a = qobject_cast<QAction*>(o)) {
            QWidget* w = Bar()->widgetForAction(a);
            return a->isEnabled() && a->isVisible() && (w ? w->isEnabled() : Bar()->isEnabled());
        }
        return false;
    }

    bool Meets(const Expect& e, QString& why) const
    {
        QStringList misses;
        if (!Bar())
            misses << QStringLiteral("channel 1 has no toolbar");
        for (const auto& c : e.controls) {
            if (Bar() && !Control(c.first))
                misses << QStringLiteral("%1 missing").arg(c.first);
            else if (Bar() && IsEnabled(c.first) != c.second)
                misses << QStringLiteral("%1 %2").arg(c.first, c.second ? QStringLiteral("disabled") : QStringLiteral("enabled"));
        }
        for (const auto& v : e.values) {
            const long actual = ValueOf(v.first);
            if (actual != v.second)
                misses << QStringLiteral("%1 = %2 (expected %3)").arg(v.first).arg(actual).arg(v.second);
        }
        for (const auto& c : e.checks)
            if (!c.second())
                misses << c.first;
        why = misses.join(QStringLiteral("; "));
        return misses.isEmpty();
    }

    QString DescribeToolbar() const
    {
        QToolBar* bar = Bar();
        if (!bar)
            return QStringLiteral("(none)");
        QStringList on, off;
        for (const char* c : kControls) {
            const QString name = QString::fromLatin1(c);
            if (!Control(name))
                continue;
            (IsEnabled(name) ? on : off) << name;
        }
        QString text = QStringLiteral("enabled: %1 | disabled: %2").arg(on.join(QLatin1Char(' ')), off.join(QLatin1Char(' ')));
        if (auto* error = qobject_cast<QAction*>(Control(QStringLiteral("error-info"))))
            text += error->isVisible() ? QStringLiteral(" | error-info shown%1").arg(IsEnabled(QStringLiteral("error-info")) ? QString() : QStringLiteral(" (disabled)"))
                                       : QStringLiteral(" | error-info hidden");
        if (!bar->isEnabled())
            text += QStringLiteral(" | bar disabled");
        return text;
    }

    QString DescribeFields() const
    {
        QToolBar* bar = Bar();
        if (!bar)
            return QString();
        QStringList parts;
        if (auto* device = bar->findChild<QComboBox*>(QStringLiteral("OpenFileDeviceCombo")))
            parts << QStringLiteral("device %1").arg(device->currentText().isEmpty() ? QStringLiteral("-") : device->currentText());
        if (auto* disc = bar->findChild<QProgressBar*>(QStringLiteral("VorexToolbarDiscSpace")))
            parts << QStringLiteral("disc \"%1\"").arg(disc->text());
        if (auto* name = bar->findChild<QLineEdit*>(QStringLiteral("VorexRecordName")))
            parts << QStringLiteral("name \"%1\"").arg(name->text());
        if (auto* counter = bar->findChild<QLabel*>(QStringLiteral("VorexToolbarRecordCounter")))
            parts << QStringLiteral("counter %1").arg(counter->text());
        const qint64 replayTime = m_manager->ReplayTime(0);
        parts << QStringLiteral("replay time %1").arg(replayTime > 0 ? QDateTime::fromMSecsSinceEpoch(replayTime / 1000, Qt::UTC).toString(QStringLiteral("hh:mm:ss")) : QStringLiteral("-"));
        parts << QStringLiteral("position %1").arg(ValueOf(QStringLiteral("CurrentReplayPosition")));
        return parts.join(QStringLiteral(", "));
    }

    QString Screenshot(const QString& title)
    {
        if (m_settings.outputDir.isEmpty() || !m_window)
            return QString();
        QString slug = title.toLower();
        slug.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
        slug = slug.left(48);
        while (slug.endsWith(QLatin1Char('-')))
            slug.chop(1);
        const QString file = QDir(m_settings.outputDir)
                                 .filePath(QStringLiteral("%1-%2-%3.png").arg(m_name).arg(m_nStep, 2, 10, QLatin1Char('0')).arg(slug));
        return m_window->grab().save(file) ? file : QString();
    }

    QString m_name;
    ScenarioSettings m_settings;
    QTextStream& m_out;
    std::unique_ptr<RoadManager> m_manager;
    std::unique_ptr<HostWindow> m_window;
    ValueWatcher m_watcher;
    QStringList m_managerEvents;
    QStringList m_messages;
    QStringList m_dialogs;
    QStringList m_actionNotes;
    QString m_strWantedRecord = QStringLiteral("Test signal");
    quint64 m_nSizeLimit = 0;
    QTimer* m_pModalWatch = nullptr;
    int m_nStep = 0;
    bool m_bFailed = false;
};

// ---------------------------------------------------------------- the roads

bool StartUp(Road& r)
{
    return r.Step(QStringLiteral("the manager brings the connection up"), [&] { r.Manager().SetConnected(true); },
                  Idle(false).Value("RecordReplayModes", 5));
}

bool Smoke(Road& r)
{
    // Needs nothing of the toolbar's behaviour: docking, binding, the manager.
    Expect e;
    e.Value("AllRecordReplayModes", 4).Check(QStringLiteral("connection up"), [&] { return r.Manager().IsConnected(); });
    e.Check(QStringLiteral("a docked tool bar per channel"), [&] {
        for (int i = 0; i < r.Manager().ChannelCount(); ++i)
            if (!r.Toolbar(i) || !r.Toolbar(i)->GetVorexToolbar() || !r.Toolbar(i)->GetVorexToolbar()->isVisible())
                return false;
        return true;
    });
    return r.Step(QStringLiteral("the manager brings the connection up"), [&] { r.Manager().SetConnected(true); }, e);
}

bool RecordThenStop(Road& r)
{
    return StartUp(r)
        && r.Step(QStringLiteral("operator presses record"), [&] { r.Click(QStringLiteral("record")); },
                  Recording(1).Value("RecordReplayModes", 3))
        && r.Step(QStringLiteral("5 s pass"), [&] { r.Pass(5); }, Recording(1))
        && r.Step(QStringLiteral("operator presses stop"), [&] { r.Click(QStringLiteral("stop")); },
                  Idle(true).Value("RecordReplayModes", 5).Check(QStringLiteral("the new record is the channel's record"), [&] {
                      return !r.Manager().LastRecordId(0).isEmpty()
                          && !RoadManager::RecordName(QStringLiteral("Dev1"), r.Manager().LastRecordId(0)).isEmpty();
                  }));
}

bool ContinuousRecord(Road& r)
{
    r.SetSizeLimit(50ull * 1024 * 1024);
    return StartUp(r)
        && r.Step(QStringLiteral("operator picks continuous record"),
                  [&] { r.ChooseEntry(QStringLiteral("record"), VOREX_XML::Admin::eRecordReplayMode_Recordcontinuous, QStringLiteral("continuous record")); },
                  Recording(2).Value("RecordReplayModes", 4).Value("FileSizeInKB", 50 * 1024))
        && r.Step(QStringLiteral("10 s pass"), [&] { r.Pass(10); }, Recording(2))
        && r.Step(QStringLiteral("operator presses stop"), [&] { r.Click(QStringLiteral("stop")); }, Idle(true));
}

bool ReplayOnce(Road& r)
{
    return StartUp(r)
        && r.Step(QStringLiteral("operator presses replay and selects a record"), [&] { r.Click(QStringLiteral("replay")); },
                  Replaying(4).Value("RecordReplayModes", 0).Check(QStringLiteral("StartReplay sent"), [&] { return r.CommandCount(QStringLiteral("StartReplay")) == 1; }))
        && r.Step(QStringLiteral("10 s pass"), [&] { r.Pass(10); },
                  Replaying(4).Check(QStringLiteral("current position moved"), [&] { return r.ValueOf(QStringLiteral("CurrentReplayPosition")) > 0; }))
        && r.Step(QStringLiteral("15 s pass and the record ends"), [&] { r.Pass(15); }, Idle(true).Value("RecordReplayModes", 5));
}

bool EndlessReplayPauseResume(Road& r)
{
    qint64 pausedAt = 0;
    return StartUp(r)
        && r.Step(QStringLiteral("operator picks continuous replay and selects a record"),
                  [&] { r.ChooseEntry(QStringLiteral("replay"), VOREX_XML::Admin::eRecordReplayMode_Replaycontinuous, QStringLiteral("continuous replay")); },
                  Replaying(4).Value("RecordReplayModes", 1).Value("NoOfReplays", 0))
        && r.Step(QStringLiteral("30 s pass, beyond the end of the record"), [&] { r.Pass(30); },
                  Replaying(4).Check(QStringLiteral("the replay started over"), [&] { return r.Manager().ReplayPasses(0) >= 1; }))
        && r.Step(QStringLiteral("operator presses pause"), [&] { r.Click(QStringLiteral("pause")); },
                  Replaying(2).Value("RecordReplayModes", 2))
        && r.Step(QStringLiteral("5 s pass while paused"), [&] { pausedAt = r.Manager().ReplayTime(0); r.Pass(5); },
                  Replaying(2).Check(QStringLiteral("replay time stands"), [&] { return r.Manager().ReplayTime(0) == pausedAt; }))
        && r.Step(QStringLiteral("operator releases pause"), [&] { r.Click(QStringLiteral("pause")); },
                  Replaying(4).Value("RecordReplayModes", 1).Check(QStringLiteral("continued, not restarted"), [&] {
                      return r.CommandCount(QStringLiteral("ContinueReplay")) == 1 && r.CommandCount(QStringLiteral("StartReplay")) == 0;
                  }))
        && r.Step(QStringLiteral("operator presses stop"), [&] { r.Click(QStringLiteral("stop")); }, Idle(true));
}

bool ReplayRefusedDuringRecording(Road& r)
{
    return StartUp(r)
        && r.Step(QStringLiteral("operator presses record"), [&] { r.Click(QStringLiteral("record")); }, Recording(1))
        && r.Step(QStringLiteral("operator tries replay"), [&] { r.Click(QStringLiteral("replay")); }, Recording(1).Value("RecordReplayModes", 3))
        && r.Step(QStringLiteral("another client selects replay in the channel's mode value"),
                  [&] { r.Manager().SetValue(0, "RecordReplayModes", VOREX_XML::Admin::eRecordReplayMode_Replay); },
                  Recording(1)
                      .Value("RecordReplayModes", 3)
                      .Check(QStringLiteral("the other client's write arrived"), [&] { return r.Saw(QStringLiteral("RecordReplayModes = 0")); })
                      .Check(QStringLiteral("no replay command"), [&] { return r.CommandCount(QStringLiteral("StartReplay")) == 0; }))
        && r.Step(QStringLiteral("operator presses stop"), [&] { r.Click(QStringLiteral("stop")); }, Idle(true));
}

bool ChannelError(Road& r)
{
    Expect blocked;
    blocked.AllOff().On({"error-info"});
    return StartUp(r)
        && r.Step(QStringLiteral("host sets channel error 1"), [&] { r.Toolbar()->SetChannelError(1); }, blocked)
        && r.Step(QStringLiteral("operator opens the error information"), [&] { r.Click(QStringLiteral("error-info")); },
                  Expect(blocked).Check(QStringLiteral("the reason is shown"), [&] { return r.DialogText().contains(QLatin1String("not reachable (C)")); }))
        && r.Step(QStringLiteral("host clears the channel error"), [&] { r.Toolbar()->SetChannelError(0); }, Idle(false))
        && r.Step(QStringLiteral("manager reports a warning"), [&] { r.Manager().SetErrorCode(0, QStringLiteral("VRX_WARN_DISC_ALMOST_FULL")); },
                  Idle(false).Check(QStringLiteral("the warning is shown"), [&] { return r.MessageCount() == 1; }))
        && r.Step(QStringLiteral("operator presses record"), [&] { r.Click(QStringLiteral("record")); }, Recording(1))
        && r.Step(QStringLiteral("manager reports a device failure"), [&] { r.Manager().SetErrorCode(0, QStringLiteral("VRX_ERR_DEVICE_FAILURE")); },
                  Idle(true).Check(QStringLiteral("the error is shown"), [&] { return r.MessageCount() == 1; }))
        && r.Step(QStringLiteral("manager clears the error code"), [&] { r.Manager().SetErrorCode(0, QString()); },
                  Idle(true).Check(QStringLiteral("nothing shown"), [&] { return r.MessageCount() == 0; }));
}

bool ConnectionLossDuringReplay(Road& r)
{
    Expect down;
    down.AllOff();
    return StartUp(r)
        && r.Step(QStringLiteral("operator presses replay and selects a record"), [&] { r.Click(QStringLiteral("replay")); }, Replaying(4))
        && r.Step(QStringLiteral("the connection to the manager is lost"), [&] { r.Manager().SetConnected(false); }, down)
        && r.Step(QStringLiteral("3 s pass without connection"), [&] { r.Pass(3); }, down)
        && r.Step(QStringLiteral("the connection returns"), [&] { r.Manager().SetConnected(true); }, IdleWhateverRecord());
}

bool ReplayCommandError(Road& r)
{
    return StartUp(r)
        && r.Step(QStringLiteral("manager will reject the next replay command"), [&] { r.Manager().FailNextReplayCommand(0, 42); }, Idle(false))
        && r.Step(QStringLiteral("operator presses replay and selects a record"), [&] { r.Click(QStringLiteral("replay")); },
                  Idle(true).Value("RecordReplayModes", 5).Check(QStringLiteral("the rejection is shown"), [&] { return r.MessageCount() == 1; }));
}

bool ExternalRecord(Road& r)
{
    return StartUp(r)
        && r.Step(QStringLiteral("manager starts a record on its own"), [&] { r.Manager().TriggerExternalRecord(0, false); },
                  Recording(1).Value("RecordReplayModes", 3).Value("TriggeredByCorbaCall", 1).Check(QStringLiteral("no record name dialog"), [&] {
                      return r.DialogCount() == 0;
                  }))
        && r.Step(QStringLiteral("manager stops the record"), [&] { r.Manager().TriggerExternalStop(0); }, Idle(true).Value("RecordReplayModes", 5));
}

bool FlagsAndRights(Road& r)
{
    Expect noReplay = Idle(false);
    noReplay.controls.clear();
    noReplay.On({"record"}).Off({"replay", "open-file", "stop", "pause"});
    Expect noRecord;
    noRecord.On({"replay", "open-file"}).Off({"record", "stop", "pause"});
    Expect noSelection;
    noSelection.On({"record", "replay"}).Off({"open-file", "stop", "pause"});
    const QString selectRight = QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg");
    return StartUp(r)
        && r.Step(QStringLiteral("manager forbids replay"), [&] { r.Manager().SetFlag(0, RecorderManagerSimulator::ReplayFlag, false); }, noReplay)
        && r.Step(QStringLiteral("manager allows replay again"), [&] { r.Manager().SetFlag(0, RecorderManagerSimulator::ReplayFlag, true); }, Idle(false))
        && r.Step(QStringLiteral("manager disables the record flag"),
                  [&] { r.Manager().SetFlagState(0, RecorderManagerSimulator::RecordFlag, values::eStateDisabled); }, noRecord)
        && r.Step(QStringLiteral("manager enables the record flag"),
                  [&] { r.Manager().SetFlagState(0, RecorderManagerSimulator::RecordFlag, values::eStateNormal); }, Idle(false))
        && r.Step(QStringLiteral("user management withdraws record selection, with an event of another kind"), [&] {
               RecorderManagerSimulator::SetUserRight(selectRight, 0);
               RecorderManagerSimulator::SendUserEvent(QStringLiteral("Password changed"));
           }, Idle(false))
        && r.Step(QStringLiteral("user management reports a user change"),
                  [&] { RecorderManagerSimulator::SendUserEvent(QStringLiteral("User changed")); }, noSelection)
        && r.Step(QStringLiteral("record selection granted again at the next log-on"), [&] {
               RecorderManagerSimulator::SetUserRight(selectRight, 1);
               RecorderManagerSimulator::SendUserEvent(QStringLiteral("User logged on"));
           }, Idle(false));
}

bool ChannelNodeDeleted(Road& r)
{
    Expect gone;
    gone.AllOff().Check(QStringLiteral("channel node gone"), [&] { return !r.Manager().ChannelExists(0); });
    return StartUp(r)
        && r.Step(QStringLiteral("manager deletes the channel node"), [&] { r.Manager().DeleteChannel(0); }, gone)
        && r.Step(QStringLiteral("manager re-creates the channel node"), [&] { r.Manager().RecreateChannel(0); },
                  Expect().Check(QStringLiteral("channel node back"), [&] { return r.Manager().ChannelExists(0); }))
        && r.Step(QStringLiteral("the connection drops and returns"), [&] {
               r.Manager().SetConnected(false);
               r.Manager().SetConnected(true);
           }, Idle(false));
}

struct RoadEntry
{
    const char* name;
    bool (*run)(Road&);
};

const RoadEntry kRoads[] = {
    {"smoke", &Smoke},
    {"record-then-stop", &RecordThenStop},
    {"continuous-record", &ContinuousRecord},
    {"replay-once", &ReplayOnce},
    {"endless-replay-pause-resume", &EndlessReplayPauseResume},
    {"replay-refused-during-recording", &ReplayRefusedDuringRecording},
    {"channel-error", &ChannelError},
    {"connection-loss-during-replay", &ConnectionLossDuringReplay},
    {"replay-command-error", &ReplayCommandError},
    {"external-record", &ExternalRecord},
    {"flags-and-rights", &FlagsAndRights},
    {"channel-node-deleted", &ChannelNodeDeleted},
};

} // namespace

QStringList ScenarioRunner::Names()
{
    QStringList names;
    for (const RoadEntry& road : kRoads)
        names << QString::fromLatin1(road.name);
    return names;
}

bool ScenarioRunner::Exists(const QString& name)
{
    return name == QLatin1String("all") || Names().contains(name);
}

ScenarioRunner::ScenarioRunner(const ScenarioSettings& settings, QTextStream& out) : m_settings(settings), m_out(out) {}

int ScenarioRunner::Run(const QString& name)
{
    const QStringList names = name == QLatin1String("all") ? Names() : QStringList{name};
    int failed = 0;
    QStringList summary;
    for (const QString& road : names) {
        const int result = RunRoad(road);
        if (result < 0)
            return -1;
        failed += result;
        summary << QStringLiteral("  %1 %2").arg(result == 0 ? QStringLiteral("ok    ") : QStringLiteral("FAILED"), road);
    }
    if (names.size() > 1)
        m_out << QStringLiteral("== summary\n%1\n").arg(summary.join(QLatin1Char('\n')));
    m_out << QStringLiteral("== %1 of %2 road(s) reached every expected state; screenshots in %3\n")
                 .arg(names.size() - failed)
                 .arg(names.size())
                 .arg(QDir(m_settings.outputDir).absolutePath());
    m_out.flush();
    return failed;
}

int ScenarioRunner::RunRoad(const QString& name)
{
    const RoadEntry* entry = nullptr;
    for (const RoadEntry& road : kRoads)
        if (name == QLatin1String(road.name))
            entry = &road;
    if (!entry)
        return -1;
    m_out << QStringLiteral("== road %1\n").arg(name);
    Road road(name, m_settings, m_out);
    QString error;
    if (!road.SetUp(error)) {
        m_out << QStringLiteral("    cannot set up the host: %1\n").arg(error);
        m_out.flush();
        std::fprintf(stderr, "vrxrtb-host: %s\n", qPrintable(error));
        road.TearDown();
        return -1;
    }
    const bool ok = entry->run(road) && !road.Failed();
    road.TearDown();
    m_out << QStringLiteral("== road %1: %2\n").arg(name, ok ? QStringLiteral("ok") : QStringLiteral("FAILED"));
    m_out.flush();
    return ok ? 0 : 1;
}
