#pragma once

// A live toolbar as a test fixture, the operator's and the manager's steps
// on it, and what they see of it: the usable controls, the bar's enabled
// state and cursor, the modes, the commands that reached the manager, the
// responses and the messages.

#include "channelfixture.h"
#include "livetoolbar.h"
#include "replaybarwidget.h"
#include "startup.h"
#include "testsupport.h"
#include "umm.h"
#include "vcreplaybar.h"
#include "vcwidgets.h"
#include "vorexgui.h"
#include "vorexwidgets.h"

#include <QAbstractButton>
#include <QCursor>
#include <QEvent>
#include <QPointer>
#include <QTimer>

namespace vrxtest {

using VOREX_XML::BookmarkEntry;
using VOREX_XML::IndexEntry;
using VOREX_XML::VOREX_RecordData;
using VorexSim::RecorderManagerSimulator;

// Keys of RecordReplayModes, the mode the operator or the host asks for.
enum Mode : long { Replay = 0, ContinuousReplay = 1, Pause = 2, Record = 3, ContinuousRecord = 4, Stop = 5 };

const QString kDevice = QStringLiteral("Dev1");
constexpr qint64 kSec = 1000000;
// A whole second of the host clock, so that second boundaries stay visible.
constexpr qint64 kBase = Q_INT64_C(1700000000000000);
inline quint64 at(double seconds) { return quint64(kBase + qint64(seconds * kSec)); }

// A record of data-rate class 3 over offsets 0 to `stopPosition`, with `index`.
inline VOREX_RecordData record(const QString& id, quint64 start, quint64 stop, quint64 stopPosition = 1000,
                               int status = VOREX_RecordData::RecordStatusCompleted, const QVector<IndexEntry>& index = {},
                               const QVector<BookmarkEntry>& bookmarks = {})
{
    VOREX_RecordData r = makeRecord(id, QStringLiteral("Record %1").arg(id), 3, status, stop);
    r.SetStartTime(start);
    r.SetStopPosition(stopPosition);
    r.SetIndexEntry(index);
    r.SetBookmarkEntry(bookmarks);
    return r;
}
// The replay bar's record: 100 s to 200 s over offsets 0 to 10000, indexed alike.
inline QVector<IndexEntry> fullIndex() { return {IndexEntry(at(100), 0), IndexEntry(at(200), 10000)}; }
inline VOREX_RecordData barRecord(const QString& id, const QVector<BookmarkEntry>& bookmarks = {},
                                  const QVector<IndexEntry>& index = fullIndex())
{
    return record(id, at(100), at(200), 10000, VOREX_RecordData::RecordStatusCompleted, index, bookmarks);
}

// The controls usable once the bar itself is (an action by its own state, a
// widget by its own and its parents' below the bar), space separated.
inline QString look(LiveToolbar& live, int channel = 0)
{
    static const QList<QPair<QString, QString>> controls = {
        {"record", "VorexRecordingModesCombo"}, {"replay", "VorexReplayModesCombo"}, {"openFile", "VorexOpenFile"},
        {"stop", "VorexStop"}, {"pause", "VorexPause"}, {"edit", "TBEditRecording"},
        {"history", "VorexAddHistoryComment"}, {"replayBar", "VorexToolbarReplayBarWidget"}};
    QStringList enabled;
    for (const auto& control : controls) {
        QAction* action = live.action(control.second, channel);
        QWidget* widget = live.widget(control.second, channel);
        if (action ? action->isEnabled() : widget && widget->isEnabledTo(live.bar(channel)))
            enabled << control.first;
    }
    return enabled.join(QLatin1Char(' '));
}

// The settled states' looks when every other input allows.
inline QString idleLook() { return QStringLiteral("record replay openFile edit history replayBar"); }
inline QString recordingLook() { return QStringLiteral("record stop history"); }
inline QString replayLook() { return QStringLiteral("replay stop pause edit history replayBar"); }

inline QString without(const QString& full, const QStringList& removed)
{
    QStringList parts = full.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& r : removed)
        parts.removeAll(r);
    return parts.join(QLatin1Char(' '));
}

// The bar's enabled state with its cursor: "off/wait" in a transient state,
// "on/arrow" in a settled one; and every change of it while alive.
class BarStateLog : public QObject
{
public:
    explicit BarStateLog(QToolBar* bar) : m_bar(bar) { bar->installEventFilter(this); }
    ~BarStateLog() override
    {
        if (m_bar)
            m_bar->removeEventFilter(this);
    }
    QStringList entries() const { return m_entries; }
    void clear() { m_entries.clear(); }

    static QString stateOf(QToolBar* bar)
    {
        const bool wait = bar->testAttribute(Qt::WA_SetCursor) && bar->cursor().shape() == Qt::WaitCursor;
        return QStringLiteral("%1/%2").arg(bar->isEnabled() ? "on" : "off", wait ? "wait" : "arrow");
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_bar && event->type() == QEvent::EnabledChange)
            m_entries << stateOf(m_bar);
        return false;
    }

private:
    QPointer<QToolBar> m_bar;
    QStringList m_entries;
};

// "<mode> / <recording> / <replay>", and "+counter" while the record counter runs.
inline QString modes(LiveToolbar& live)
{
    static const QStringList mode = {"replay", "continuous replay", "pause", "record", "continuous record", "stop"};
    static const QStringList all = {"start record", "recording", "recording continuously", "stopping record", "stopped"};
    static const QStringList replay = {"stopped", "starting", "paused", "pausing", "running", "stopping"};
    auto* counter = live.widget<TickCounter>(QStringLiteral("VorexToolbarRecordCounter"));
    return QStringLiteral("%1 / %2 / %3%4")
        .arg(mode.value(int(live.selection("RecordReplayModes")), "-"), all.value(int(live.selection("AllRecordReplayModes")), "-"),
             replay.value(int(live.selection("ReplayMode")), "-"), counter && counter->IsRunning() ? " +counter" : "");
}

// The commands that reached the manager since the last call, with their
// arguments ("StartReplay Dev1 T1 3 0 10000 1").
inline QStringList sentCommands(VorexCommon::RecorderManagerBackend& backend)
{
    QStringList out;
    for (const VorexCommon::RecordedCommand& c : backend.TakeCommands()) {
        QStringList words{c.command};
        for (const QVariant& arg : c.args)
            words << arg.toString();
        out << words.join(QLatin1Char(' '));
    }
    return out;
}

// The responses of the toolbar's own operations as "classifier|command|text"
// (with the source first when it is not the channel's name). The connector's
// warnings name the channel's path; they are not counted.
inline QStringList responses()
{
    QStringList out;
    for (const VorexCommon::ErrorDescriptor::CommandResponse& r : VorexCommon::ErrorDescriptor::TakeResponses())
        if (!r.source.startsWith(QLatin1Char('/')))
            out << (r.source == QLatin1String("Channel1") ? QString() : r.source + QLatin1Char(' '))
                    + QStringLiteral("%1|%2|%3").arg(r.classifier).arg(r.command, r.text);
    return out;
}

// The messages the operator was shown; each must go the one way every
// message goes.
inline QStringList messages()
{
    QStringList texts;
    for (const MessageRecord& m : ErrorHandler::Instance()->TakeMessages())
        texts << (m.flag1 && m.number == -1 && m.flag2 ? QString() : QStringLiteral("<bad arguments> ")) + m.text;
    return texts;
}

// Runs the toolbar's pending main-thread calls (and what they post in turn)
// but not the manager's answers, which wait in the event queue; returns the
// number of rounds that ran calls (a round runs what the one before posted).
inline int runToolbarCalls(int maxRounds = 40)
{
    int rounds = 0;
    for (; rounds < maxRounds && ThreadingHelper::ThreadSwitchingAdministration::LiveEventCount() > 0; ++rounds)
        QCoreApplication::sendPostedEvents(nullptr, ThreadingHelper::RunInMainThreadEvent_Impl::EventType());
    return rounds;
}

// A live toolbar on a host clock under the test's control, with the record
// dialogs answered by hooks: the parameters accepted, the selection cancelled.
struct Fixture
{
    TestClock clock{kBase + 1000 * kSec};
    LiveToolbar live;

    explicit Fixture(const LiveToolbarOptions& options = LiveToolbarOptions()) : live(options) { answerDialogs(1); }
    ~Fixture()
    {
        VorexGUI::RecordParameterDialog::SetAnswerHook(nullptr);
        VorexGUI::OpenFileDialog::SetAnswerHook(nullptr);
        UMM::ActiveUserProxy::instance()->Clear();
        ErrorHandler::Instance()->SetMessageSink(nullptr);
        ErrorHandler::Instance()->SetMessageDlg(nullptr);
        ErrorHandler::Instance()->TakeMessages();
        VorexCommon::ErrorDescriptor::TakeResponses();
        VorexCommon::ErrorDescriptor::ResetErrorTable();
    }

    static void answerDialogs(int parameters)
    {
        VorexGUI::RecordParameterDialog::SetAnswerHook([parameters](VorexGUI::RecordParameterDialog&) { return parameters; });
        VorexGUI::OpenFileDialog::SetAnswerHook([](VorexGUI::OpenFileDialog&) { return 0; });
    }
    // The record on the manager and made the channel's current one.
    void show(const VOREX_RecordData& r)
    {
        live.backend().SetRecord(kDevice, r);
        live.simulator().SelectRecord(0, kDevice, r.GetRecordID());
        settle();
    }
    // The manager changes the record.
    void update(const VOREX_RecordData& r)
    {
        live.backend().SetRecord(kDevice, r);
        settle();
    }
    std::shared_ptr<values::IValueNumeric> replayTime() const
    {
        return values::Tree::Instance()->FindValueAs<values::IValueNumeric>(LiveToolbar::ReplayTimePath(0));
    }
    VCReplayBar* replayBar() const { return live.widget<VCReplayBar>(QStringLiteral("VorexToolbarReplayBar")); }
    // A click into the replay bar laid out at a known geometry: the bar
    // proper spans x 3..202 and y 3..19, the bookmark strip lies below it.
    void pressBar(int x, int y, int releaseX = -1)
    {
        replayBar()->setGeometry(0, 0, 206, 30);
        QTest::mousePress(replayBar(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        QTest::mouseRelease(replayBar(), Qt::LeftButton, Qt::NoModifier, QPoint(releaseX < 0 ? x : releaseX, y));
    }
    // A replay command as another client of the manager sends it.
    quint32 replayCommand(const char* command, const QVariantList& args)
    {
        const quint32 result = live.backend().ExecuteReplayCommand(
            VorexCommon::RecordedCommand{QLatin1String(command), QStringLiteral("Channel1"), args});
        settle();
        return result;
    }
};

// One step of the operator, the host or the manager; the manager answers
// from the event loop, so the step's effect shows after settle().
inline void operate(Fixture& f, const QString& step)
{
    LiveToolbar& live = f.live;
    RecorderManagerSimulator& sim = live.simulator();
    const QStringList w = step.split(QLatin1Char(' '));
    const QString arg = w.size() > 1 ? w.mid(1).join(QLatin1Char(' ')) : QString();
    const bool on = w.last() == QLatin1String("on");
    static const QStringList modeNames = {"replay", "continuous replay", "pause", "record", "continuous record", "stop"};
    static const QHash<QString, QString> buttons = {{"record", "VorexRecordingModesCombo"}, {"replay", "VorexReplayModesCombo"},
                                                    {"pause", "VorexPause"}, {"stop", "VorexStop"}};
    static const QHash<QString, RecorderManagerSimulator::Flag> flags = {{"RecordFlag", RecorderManagerSimulator::RecordFlag},
        {"ReplayFlag", RecorderManagerSimulator::ReplayFlag}, {"PauseSupported", RecorderManagerSimulator::PauseSupported}};
    if (buttons.contains(step))
        live.widget<QAbstractButton>(buttons.value(step))->click();
    else if (w[0] == QLatin1String("continuous") && buttons.contains(arg)) { // the combo's second entry
        const Mode mode = arg == QLatin1String("record") ? ContinuousRecord : ContinuousReplay;
        QVERIFY(live.widget<VCOneOfButtonCombo>(buttons.value(arg))->TriggerEntry(mode));
    } else if (w[0] == QLatin1String("host") && modeNames.contains(arg)) // the host writes the mode
        live.select("RecordReplayModes", modeNames.indexOf(arg));
    else if (w[0] == QLatin1String("bar"))
        live.toolbar()->EnableVorexToolbar(on);
    else if (w[0] == QLatin1String("replaying"))
        live.toolbar()->EnableVorexReplay(on);
    else if (w[0] == QLatin1String("dialog"))
        live.toolbar()->SetFileOpenDialogAllowed(on);
    else if (step.startsWith(QLatin1String("channel error")))
        live.toolbar()->SetChannelError(w.last().toInt());
    else if (w[0] == QLatin1String("bind"))
        live.bind();
    else if (flags.contains(w[0])) {
        if (w[1] == QLatin1String("state"))
            sim.SetFlagState(0, flags.value(w[0]), w[2].toInt());
        else
            sim.SetFlag(0, flags.value(w[0]), on);
    } else if (w[0] == QLatin1String("connection"))
        sim.SetConnected(on);
    else if (w[0] == QLatin1String("rights") || w[0] == QLatin1String("history") || w[0] == QLatin1String("selection")) {
        if (w[0] != QLatin1String("selection")) // "rights N": both of them
            RecorderManagerSimulator::SetUserRight(QStringLiteral("VOREX_MANAGEMENT.addHistoryComment"), w.last().toInt());
        if (w[0] != QLatin1String("history"))
            RecorderManagerSimulator::SetUserRight(QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg"), w.last().toInt());
    } else if (w[0] == QLatin1String("event"))
        RecorderManagerSimulator::SendUserEvent(arg);
    else if (step == QLatin1String("select")) {
        const auto device = live.value<values::Value<QString>>("DeviceID");
        for (const VOREX_RecordData& r : live.backend().GetRecords(device ? device->Get() : QString()))
            if (r.GetRecordStatus() == VOREX_RecordData::RecordStatusCompleted)
                return sim.SelectRecord(0, device->Get(), r.GetRecordID());
        QFAIL("no completed record to select");
    } else if (w[0] == QLatin1String("select")) // "select T1": the replay bar's record; T0 has no range
        f.show(arg == QLatin1String("T0") ? record(arg, at(100), at(200), 0) : barRecord(arg));
    else if (w[0] == QLatin1String("pick")) // a record the manager may not know
        sim.SelectRecord(0, kDevice, arg);
    else if (step == QLatin1String("unselect"))
        sim.SelectRecord(0, live.value<values::Value<QString>>("DeviceID")->Get(), QString());
    else if (step == QLatin1String("remove last record"))
        live.backend().RemoveRecord(kDevice, sim.LastRecordId(0));
    else if (w[0] == QLatin1String("remove")) // "remove T1": the manager deletes a record
        live.backend().RemoveRecord(kDevice, arg);
    else if (w[0] == QLatin1String("manager")) // "manager hangs" / "manager answers"
        sim.SetAnswering(w[1] == QLatin1String("answers"));
    else if (step == QLatin1String("answer overdue")) // the toolbar's wait for an answer runs out
        QVERIFY(QMetaObject::invokeMethod(live.parent()->findChild<QTimer*>(QStringLiteral("VorexAnswerTimer")), "timeout"));
    else if (step == QLatin1String("delete channel") || step == QLatin1String("recreate channel"))
        w[0] == QLatin1String("delete") ? sim.DeleteChannel(0) : sim.RecreateChannel(0);
    else if (step == QLatin1String("external stop"))
        sim.TriggerExternalStop(0);
    else if (step.startsWith(QLatin1String("external")) && step.endsWith(QLatin1String("replay")))
        QVERIFY(sim.TriggerExternalReplay(0, step.contains(QLatin1String("continuous"))));
    else if (step.startsWith(QLatin1String("external")))
        sim.TriggerExternalRecord(0, step.contains(QLatin1String("continuous")));
    else if (step.startsWith(QLatin1String("fail next")))
        sim.FailNextReplayCommand(0, w.last().toUInt());
    else if (w[0] == QLatin1String("error"))
        sim.SetErrorCode(0, arg);
    else if (step == QLatin1String("parameters cancelled"))
        Fixture::answerDialogs(0);
    else if (w[0] == QLatin1String("invalid") || w[0] == QLatin1String("valid"))
        live.value<values::ValueBase>(qPrintable(arg))->SetState(w[0] == QLatin1String("valid") ? values::eStateNormal : values::eStateInvalid, nullptr);
    else if (w[0] == QLatin1String("release"))
        QVERIFY(values::Tree::Instance()->Release(live.key(qPrintable(arg))));
    else if (step == QLatin1String("channel update")) // a value more: every binding is renewed
        values::Tree::Instance()->CreateValue<values::Value<int>>(live.key("Extra"), 0);
    else if (w[0] == QLatin1String("set")) { // "set <key> [<value>]", as somebody else writes it
        const QByteArray key = w[1].toLatin1();
        const QString value = w.mid(2).join(QLatin1Char(' '));
        if (auto s = live.value<values::ValueSelection>(key.constData())) {
            if (value.toLong() > 5) // a key the manager does not offer
                s->AddItem(values::SelItemDesc(QStringLiteral("odd"), value.toDouble(), value.toLong()));
            s->SelectIndex(value.toLong(), nullptr);
        } else if (auto n = live.value<values::IValueNumeric>(key.constData()))
            n->SetNumeric(value.toDouble(), nullptr);
        else if (auto b = live.value<values::Value<bool>>(key.constData()))
            b->Set(value == QLatin1String("1"), nullptr);
        else if (auto i = live.value<values::Value<int>>(key.constData()))
            i->Set(value.toInt(), nullptr);
        else
            live.value<values::Value<QString>>(key.constData())->Set(value, nullptr);
    } else
        QFAIL(qPrintable(QStringLiteral("unknown step: ") + step));
}

// Steps, each followed by the manager's answers.
inline void run(Fixture& f, const QStringList& steps)
{
    for (const QString& step : steps) {
        operate(f, step);
        if (QTest::currentTestFailed())
            return;
        settle();
    }
}

// The operator's road to a settled state, a record selected.
inline QStringList roadTo(const QString& state)
{
    static const QHash<QString, QStringList> roads = {
        {"idle", {"select"}},
        {"recording", {"select", "record"}},
        {"replay", {"select", "replay"}},
        {"paused", {"select", "replay", "pause"}}};
    return roads.value(state, {state});
}
inline QString lookOf(const QString& state)
{
    return state.contains(QLatin1String("record")) ? recordingLook()
         : state == QLatin1String("idle")          ? idleLook()
                                                   : replayLook();
}

// No main-thread call of a gone toolbar may be left behind.
inline void tearDown(std::unique_ptr<Fixture>& f)
{
    f.reset();
    settle(5);
    QCOMPARE(ThreadingHelper::ThreadSwitchingAdministration::LiveEventCount(), 0);
}

} // namespace vrxtest
