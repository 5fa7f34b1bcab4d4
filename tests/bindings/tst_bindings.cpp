// How a live toolbar binds to its channel's values and follows them: binding
// as the values appear, rebinding, losing the connection, and notifications
// from the manager's own threads, which reach the widgets in the GUI thread.

#include "channelfixture.h"
#include "livetoolbar.h"
#include "testsupport.h"
#include "toolbarlook.h"
#include "toolbarprobe.h"

#include <QComboBox>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

using ThreadingHelper::ThreadSwitchingAdministration;
using vrxtest::LiveToolbar;
using vrxtest::settle;

namespace {

const QString kDev1 = QStringLiteral("Dev1");
const vrxtest::LiveToolbarOptions kUnbound{1, true, false};

// The devices the combo offers, in its order.
QString offered(LiveToolbar& live)
{
    auto* combo = live.widget<QComboBox>(QStringLiteral("OpenFileDeviceCombo"));
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items.join(QLatin1Char(' '));
}

// The value paths the bar's widgets are bound to, "~" for the first channel:
// "<the four mode buttons'>|<device combo>|<disc space>|<record name>".
QString boundPaths(LiveToolbar& live)
{
    QStringList modes;
    for (const char* name : {"VorexStop", "VorexPause"})
        modes << live.widget<VCOneOfButton>(QLatin1String(name))->GetSelection_ValuePath();
    for (const char* name : {"VorexReplayModesCombo", "VorexRecordingModesCombo"})
        modes << live.widget<VCOneOfButtonCombo>(QLatin1String(name))->GetSelection_ValuePath();
    modes.removeDuplicates();
    const QStringList paths = {modes.join(QLatin1Char(',')),
                               live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"))->GetDevice_ValuePath(),
                               live.widget<DiscSpaceBar>(QStringLiteral("VorexToolbarDiscSpace"))->GetDevice_ValuePath(),
                               live.widget<VCLineEdit>(QStringLiteral("VorexRecordName"))->GetText_ValuePath()};
    return paths.join(QLatin1Char('|')).replace(live.ChannelPath(0), QStringLiteral("~"));
}
const QString kBound = QStringLiteral("~/RecordReplayModes|~/DeviceID|~/DeviceID|~/RecordName");

// Whether the record button follows the RecordFlag the manager writes.
bool followsRecordFlag(LiveToolbar& live)
{
    auto flag = live.value<values::Value<bool>>("RecordFlag");
    const bool before = live.isEnabled(QStringLiteral("VorexRecordingModesCombo"));
    flag->Set(false, nullptr);
    const bool off = !live.isEnabled(QStringLiteral("VorexRecordingModesCombo"));
    flag->Set(true, nullptr);
    return before && off && live.isEnabled(QStringLiteral("VorexRecordingModesCombo"));
}

// One step of the manager on the channel ("<value> <content>" or an action);
// records by their index among Dev1's.
void manager(LiveToolbar& live, const QString& step)
{
    const auto records = live.backend().GetRecords(kDev1);
    const QString key = step.section(QLatin1Char(' '), 0, 0);
    const QString arg = step.section(QLatin1Char(' '), 1);
    const QString id = records.at(arg.right(1).toInt() % 2).GetRecordID();
    auto text = live.value<values::Value<QString>>(qPrintable(key));
    auto flag = live.value<values::Value<bool>>(qPrintable(key));
    auto value = std::dynamic_pointer_cast<values::ValueBase>(values::Tree::Instance()->FindValue(live.key(qPrintable(key))));
    const QStringList states = {"normal", "invalid", "disabled"}; // values::eState* in order
    if (states.indexOf(arg) >= 0)
        value->SetState(states.indexOf(arg), nullptr);
    else if (flag)
        flag->Set(arg == QLatin1String("true"), nullptr);
    else if (key == QLatin1String("DeviceID"))
        text->Set(arg, nullptr);
    else if (key == QLatin1String("RecordID"))
        text->Set(id, nullptr);
    else if (key == QLatin1String("ReplayMode"))
        live.select("ReplayMode", arg.toLong());
    else if (step == QLatin1String("channel update"))
        values::Tree::Instance()->CreateValue<values::Value<int>>(live.key("Extra"), 0);
    else if (step == QLatin1String("release channel"))
        values::Tree::Instance()->Release(live.ChannelPath(0));
    else if (step == QLatin1String("all records"))
        live.backend().SetRecords(kDev1, records);
    else if (step == QLatin1String("all records but 0"))
        live.backend().SetRecords(kDev1, {records.begin() + 1, records.end()});
    else if (step == QLatin1String("rename 0")) {
        VOREX_XML::VOREX_RecordData changed = records[0];
        changed.SetRecordName(QStringLiteral("renamed"));
        live.backend().SetRecord(kDev1, changed);
    } else if (step == QLatin1String("record 0 changed on Dev2")) {
        auto* controller = vrxtest::toolbarWidget(live)->findChild<VorexGUI::VorexServerGUIController*>();
        emit controller->recordListModel()->si_recordChanged(
            vorex::RecordIdentifier(live.backend().GetSubSystem(), QStringLiteral("Dev2"), id), false);
    } else if (step == QLatin1String("delete record 0"))
        live.backend().RemoveRecord(kDev1, id);
    else
        QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
}

} // namespace

class TestBindings : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QTRY_COMPARE_WITH_TIMEOUT(ThreadSwitchingAdministration::LiveEventCount(), 0, 1000);
        VorexCommon::ErrorDescriptor::TakeResponses();
        ErrorHandler::Instance()->TakeMessages();
    }

    // The values are bound in a fixed order; a missing value (or one of
    // another type) stops the chain there, and its creation (a channel
    // update, as when the manager fills a channel) completes it silently.
    void chainStopsAtTheFirstMissingValue_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<bool>("otherType");
        QTest::addColumn<int>("reached"); // steps done: allowed devices, device combo, record flag, replay flag
        QTest::newRow("AllowedDevices") << "AllowedDevices" << false << 0;
        QTest::newRow("DataRateClass") << "DataRateClass" << false << 1;
        QTest::newRow("RecordFlag") << "RecordFlag" << false << 2;
        QTest::newRow("RecordFlag of another type") << "RecordFlag" << true << 2;
        QTest::newRow("ReplayFlag") << "ReplayFlag" << false << 3;
        QTest::newRow("RecordReplayModes") << "RecordReplayModes" << false << 4;
    }
    void chainStopsAtTheFirstMissingValue()
    {
        QFETCH(QString, missing);
        QFETCH(bool, otherType);
        QFETCH(int, reached);
        LiveToolbar live(kUnbound);
        const QString channel = live.ChannelPath(0);
        live.simulator().DeleteChannel(0);
        vrxtest::createChannel(channel, {missing});
        auto tree = values::Tree::Instance();
        if (otherType)
            tree->CreateValue<values::Value<int>>(vrxtest::channelKey(channel, missing), 1);
        auto allowOnlyDev2 = [&] {
            if (auto allowed = live.value<values::Value<QString>>("AllowedDevices"))
                allowed->Set(QStringLiteral("Dev2"), nullptr);
        };
        allowOnlyDev2();
        auto flag = [&](const char* key) { return live.value<values::Value<bool>>(key); };
        for (const char* key : {"RecordFlag", "ReplayFlag"})
            if (flag(key))
                flag(key)->Set(false, nullptr);
        QVERIFY(live.toolbar()->SetChannelId_ValuePath(channel));
        settle();
        // A bound combo shows the channel's own device too.
        QCOMPARE(offered(live), reached == 0 ? "Dev1 Dev2 Dev3" : reached == 1 ? "Dev2" : "Dev2 Dev1");
        QCOMPARE(boundPaths(live), reached >= 2 ? "|~/DeviceID|~/DeviceID|~/RecordName" : "||~/DeviceID|~/RecordName");
        // Binding a flag writes the host's permission (true) into it.
        QCOMPARE(flag("RecordFlag") && flag("RecordFlag")->Get(), reached >= 3);
        QCOMPARE(flag("ReplayFlag") && flag("ReplayFlag")->Get(), reached >= 4);

        vrxtest::createChannelValue(channel, missing);
        allowOnlyDev2();
        settle();
        QCOMPARE(boundPaths(live), kBound);
        QCOMPARE(offered(live), QStringLiteral("Dev2 Dev1"));
        QVERIFY(flag("RecordFlag")->Get() && flag("ReplayFlag")->Get());
        QVERIFY(followsRecordFlag(live));
        QVERIFY(ErrorHandler::Instance()->TakeMessages().empty());
        tree->Release(channel);
    }

    // "AllowedDevices" names the devices the combo offers (the channel's own
    // device is always shown); disabled it allows all; invalid it changes
    // nothing and does not hold up the binding.
    void allowedDevices_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("bindAfterwards");
        QTest::addColumn<QString>("offered");
        QTest::newRow("empty parts dropped") << "Dev2@@Dev3@" << 0 << false << "Dev2 Dev3 Dev1";
        QTest::newRow("leading separator") << "@Dev1" << 0 << false << "Dev1";
        QTest::newRow("case counts") << "dev2@Dev3" << 0 << false << "Dev3 Dev1";
        QTest::newRow("disabled allows all") << "Dev2" << 2 << false << "Dev1 Dev2 Dev3";
        QTest::newRow("invalid before binding") << "Dev2" << 1 << true << "Dev1 Dev2 Dev3";
    }
    void allowedDevices()
    {
        QFETCH(QString, text);
        QFETCH(int, state);
        QFETCH(bool, bindAfterwards);
        QFETCH(QString, offered);
        LiveToolbar live(kUnbound);
        if (!bindAfterwards)
            live.bind();
        auto allowed = live.value<values::Value<QString>>("AllowedDevices");
        allowed->Set(QStringLiteral("Dev3"), nullptr);
        allowed->SetState(state, nullptr);
        allowed->Set(text, nullptr);
        if (bindAfterwards)
            live.bind();
        settle();
        QCOMPARE(::offered(live), offered);
        QCOMPARE(boundPaths(live), kBound);
    }

    // What the connector announces, in order, and what the bar offers
    // afterwards, as the manager changes the channel. Written on a worker
    // thread, nothing changes before the GUI thread runs, and there the same.
    void managerSteps_data()
    {
        QTest::addColumn<bool>("withRecord");
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("bar");
        using vrxtest::without;
        const QString idle = vrxtest::idleLook();
        const QString noEdit = without(idle, {"edit"});
        for (bool worker : {false, true}) {
            auto row = [&](const char* name, bool withRecord, const QStringList& steps, const QStringList& expected, const QString& bar) {
                QTest::addRow("%s%s", worker ? "worker: " : "", name) << withRecord << worker << steps << expected << bar;
            };
            row("device change without a record", false, {"DeviceID Dev2"}, {"DeviceChanged"}, without(idle, {"edit", "history"}));
            // The record left behind is not one of the new device's.
            row("device change with a record", true, {"DeviceID Dev2"}, {"RecordChanging", "RecordRemoved", "DeviceChanged"}, noEdit);
            row("first record", false, {"RecordID 0"}, {"RecordChanged"}, idle);
            row("another record", true, {"RecordID 1"}, {"RecordChanging", "RecordChanged"}, idle);
            row("same record again", true, {"RecordID 0"}, {}, idle);
            row("RecordID turns invalid", true, {"RecordID invalid"}, {}, "replayBar");
            row("replay mode changes", true, {"ReplayMode 3"}, {"RecordDataUpdated"}, idle);
            row("channel deleted", true, {"release channel"}, {"ChannelDeleted"}, "");
            row("RecordFlag false", true, {"RecordFlag false"}, {}, without(idle, {"record"}));
            row("RecordFlag disabled", true, {"RecordFlag disabled"}, {}, without(idle, {"record"}));
            row("ReplayFlag false", true, {"ReplayFlag false"}, {}, without(idle, {"replay", "openFile"}));
            row("ReplayFlag normal again", true, {"ReplayFlag disabled", "ReplayFlag normal"}, {}, idle);
            row("PauseSupported false", true, {"ReplayMode 4", "PauseSupported false"}, {"RecordDataUpdated"}, without(idle, {"record", "openFile"}));
        }
        auto row = [](const char* name, const QStringList& steps, const QStringList& expected, const QString& bar) {
            QTest::newRow(name) << true << false << steps << expected << bar;
        };
        // Read back at the next channel update, so that replacing it is a change.
        row("RecordID usable again", {"RecordID invalid", "RecordID normal", "channel update", "RecordID 1"},
            {"RecordChanging", "RecordChanged"}, idle);
        row("full refresh holding the record", {"all records"}, {"RecordDataUpdated"}, idle);
        row("full refresh without the record", {"all records but 0"}, {"RecordRemoved"}, noEdit);
        row("current record changed", {"rename 0"}, {"RecordDataUpdated"}, idle);
        row("same record ID on another device", {"record 0 changed on Dev2"}, {}, idle);
        // The record went away; the toolbar does not write RecordID back.
        row("current record deleted", {"delete record 0"}, {"RecordRemoved"}, noEdit);
    }
    void managerSteps()
    {
        QFETCH(bool, withRecord);
        QFETCH(bool, fromWorker);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        QFETCH(QString, bar);
        LiveToolbar live;
        const QString first = live.backend().GetRecords(kDev1).at(0).GetRecordID();
        if (withRecord)
            live.simulator().SelectRecord(0, kDev1, first);
        settle();
        vrxtest::SignalLog log(vrxtest::toolbarWidget(live));
        for (const QString& step : steps) {
            const QString before = vrxtest::look(live);
            const int announced = log.names.size();
            if (fromWorker)
                std::thread([&] { manager(live, step); }).join();
            else
                manager(live, step);
            QVERIFY(!fromWorker || (log.names.size() == announced && vrxtest::look(live) == before));
            settle();
        }
        QStringList seen = log.withoutChannelUpdates();
        // A new current record makes the replay bar fetch it again; the
        // answer may come as a data update before the change is announced.
        if (expected.contains(QStringLiteral("RecordChanged")))
            seen.removeAll(QStringLiteral("RecordDataUpdated"));
        QCOMPARE(seen, expected);
        QCOMPARE(log.threads.count(QCoreApplication::instance()->thread()), log.threads.size());
        QCOMPARE(vrxtest::look(live), bar);
        if (steps.contains(QStringLiteral("delete record 0"))) // the toolbar does not write it back
            QCOMPARE(live.value<values::Value<QString>>("RecordID")->Get(), first);
    }

    // Losing the connection stops and disables; a new connection re-runs
    // the rules and selects the mode the toolbar held again, for the manager.
    void reconnectionReselectsTheMode()
    {
        LiveToolbar live;
        auto modes = live.value<values::ValueSelection>("RecordReplayModes");
        live.simulator().SetConnected(false);
        settle();
        QCOMPARE(modes->GetCurrentKey(), long(vrxtest::Stop));
        QCOMPARE(vrxtest::BarStateLog::stateOf(live.bar()), QStringLiteral("off/wait"));
        modes->SelectIndex(vrxtest::Record, vrxtest::toolbarObserver(live)); // held while the connection is down
        vrxtest::ScopedObserver watcher(modes);
        live.simulator().SetConnected(true);
        settle();
        QVERIFY(watcher.count(VC_VALUECHANGED) >= 1);
        QCOMPARE(modes->GetCurrentKey(), long(vrxtest::Record));
        QVERIFY(followsRecordFlag(live));
    }

    // A toolbar moved to another channel lets go of every value of the
    // first one, and follows the second.
    void rebindingToAnotherChannel()
    {
        vrxtest::ChannelFixture first(QStringLiteral("/Receivers/Other"));
        LiveToolbar live(kUnbound);
        QVERIFY(live.toolbar()->SetChannelId_ValuePath(first.path()));
        settle();
        QVERIFY(first.observerCount() > 0);
        live.bind();
        settle();
        QCOMPARE(first.observerCount(), 0);
        QCOMPARE(live.toolbar()->GetToolbarModeValuePath(), live.key("RecordReplayModes"));
        QCOMPARE(boundPaths(live), kBound);
        values::Tree::Instance()->FindValueAs<values::Value<bool>>(first.key("RecordFlag"))->Set(false, nullptr);
        QVERIFY(followsRecordFlag(live));
    }

    // The mode handlers act in the GUI thread, on the state the notification
    // saw: Starting makes the bar wait although the value reads Stopped by then.
    void modesReachTheBarInTheGuiThread()
    {
        LiveToolbar live;
        vrxtest::BarStateLog log(live.bar());
        std::thread([&] {
            live.select("ReplayMode", VOREX_XML::Admin::eReplayMode_Starting);
            live.select("ReplayMode", VOREX_XML::Admin::eReplayMode_Stopped);
            live.select("AllRecordReplayModes", VOREX_XML::Admin::eRecordReplayAllModes_Stopped);
        }).join();
        QCOMPARE(log.entries(), QStringList());
        settle();
        QCOMPARE(log.entries(), (QStringList{"off/wait", "on/arrow"}));
        log.clear();
        std::thread([&] { live.select("AllRecordReplayModes", VOREX_XML::Admin::eRecordReplayAllModes_Startrecord); }).join();
        QCOMPARE(log.entries(), QStringList());
        settle();
        QCOMPARE(log.entries(), (QStringList{"off/wait", "on/arrow"}));
    }

    // A change overtaken by a newer one before the GUI thread got to it is
    // not applied after the newer one.
    void overtakenChangesAreDropped()
    {
        LiveToolbar live;
        vrxtest::SignalLog log(vrxtest::toolbarWidget(live));
        auto deviceId = live.value<values::Value<QString>>("DeviceID");
        std::thread([&] { deviceId->Set(QStringLiteral("Dev2"), nullptr); }).join();
        deviceId->Set(QStringLiteral("Dev3"), nullptr); // handled at once in the GUI thread
        settle();
        QCOMPARE(deviceId->Get(), QStringLiteral("Dev3"));
        QCOMPARE(log.names.count(QStringLiteral("DeviceChanged")), 1);
        QCOMPARE(live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"))->CurrentDevice(), QStringLiteral("Dev3"));
        // The host's permission given after the manager's older write wins.
        auto replayFlag = live.value<values::Value<bool>>("ReplayFlag");
        std::thread([&] { replayFlag->Set(false, nullptr); }).join();
        live.toolbar()->EnableVorexReplay(true);
        settle();
        QVERIFY(replayFlag->Get() && live.isEnabled(QStringLiteral("VorexReplayModesCombo")));
    }

    // Calls still queued when the toolbar goes are freed without being made.
    void destroyedWithCallsPending()
    {
        vrxtest::TraceCapture traces;
        {
            LiveToolbar live;
            auto flag = live.value<values::Value<bool>>("RecordFlag");
            std::thread([&] {
                flag->Set(false, nullptr);
                live.select("ReplayMode", VOREX_XML::Admin::eReplayMode_Running);
                values::Tree::Instance()->Release(live.ChannelPath(0));
            }).join();
            QVERIFY(ThreadSwitchingAdministration::LiveEventCount() > 0);
            traces.clear();
        }
        settle();
        QCOMPARE(ThreadSwitchingAdministration::LiveEventCount(), 0);
        QCOMPARE(traces.count(QStringLiteral("VorexToolbar::SetRecordingAllowed : 0")), 0);
    }

    // The manager keeps writing on its own thread while the host deletes
    // the toolbar: nothing may crash, leak or stay attached.
    void workerWritesWhileTheToolbarGoes()
    {
        for (int round = 0; round < 5; ++round) {
            std::atomic<bool> stop{false};
            std::atomic<int> writes{0};
            std::thread worker;
            auto live = std::make_unique<LiveToolbar>();
            const QString channel = live->ChannelPath(0);
            auto recordFlag = live->value<values::Value<bool>>("RecordFlag");
            auto replayMode = live->value<values::ValueSelection>("ReplayMode");
            auto allModes = live->value<values::ValueSelection>("AllRecordReplayModes");
            auto recordId = live->value<values::Value<QString>>("RecordID");
            auto pause = live->value<values::Value<bool>>("PauseSupported");
            worker = std::thread([=, &stop, &writes] {
                for (int i = 0; !stop && i < 400; ++i) {
                    recordFlag->Set(i % 2 == 0, nullptr);
                    replayMode->SelectIndex(i % 2 == 0 ? 0 : 4, nullptr);
                    allModes->SelectIndex(4, nullptr);
                    recordId->Set(QString::number(i % 3), nullptr);
                    pause->SetState(i % 3 == 0 ? values::eStateDisabled : values::eStateNormal, nullptr);
                    ++writes;
                    // A manager's pace: a producer that outruns the GUI
                    // thread (as under a sanitizer) would keep it busy for ever.
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
            QTRY_VERIFY_WITH_TIMEOUT(writes > 20, 5000);
            settle(3);
            live.reset();
            stop = true;
            worker.join();
            settle();
            QCOMPARE(ThreadSwitchingAdministration::LiveEventCount(), 0);
            QVERIFY(!values::Tree::Instance()->FindNode(channel));
        }
    }
};

QTEST_MAIN(TestBindings)
#include "tst_bindings.moc"
