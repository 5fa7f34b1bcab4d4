// How a live toolbar binds to its channel's values and follows the manager's
// changes, also those made on the manager's own threads.

#include "toolbarlook.h" // the live toolbar, the channel fixture and the step language
#include "toolbarprobe.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

using ThreadingHelper::ThreadSwitchingAdministration;
using vrxtest::settle;

namespace {

const QString kCurrent = QStringLiteral("REC-0001"); // the first of Dev1's records

// The devices the combo offers, in its order.
QString offered(vrxtest::LiveToolbar& live)
{
    auto* combo = live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"));
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items.join(QLatin1Char(' '));
}

// The value paths the bar's widgets are bound to, "~" for `channel`:
// "<the stop button>|<device combo>|<record name>".
QString boundPaths(vrxtest::LiveToolbar& live, const QString& channel)
{
    const QStringList paths = {live.widget<VCOneOfButton>(QStringLiteral("VorexStop"))->GetSelection_ValuePath(),
                               live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"))->GetDevice_ValuePath(),
                               live.widget<VCLineEdit>(QStringLiteral("VorexRecordName"))->GetText_ValuePath()};
    return paths.join(QLatin1Char('|')).replace(channel, QStringLiteral("~"));
}
const QString kBound = QStringLiteral("~/RecordReplayModes|~/DeviceID|~/RecordName");

// The look, then the device the combo shows and those it offers where they
// are not Dev1 out of all three.
QString barLook(vrxtest::LiveToolbar& live)
{
    QString out = vrxtest::look(live);
    const QString device = live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"))->CurrentDevice();
    if (device != vrxtest::kDevice)
        out += QStringLiteral(" | on ") + (device.isEmpty() ? QStringLiteral("no device") : device);
    if (offered(live) != QLatin1String("Dev1 Dev2 Dev3"))
        out += QStringLiteral(" | offers ") + offered(live);
    return out;
}

// A step of the manager: on its record list (the current record is the
// first of Dev1's), a value disabled, or any step support's operate() knows.
void manager(vrxtest::Fixture& f, const QString& step)
{
    VorexCommon::RecorderManagerBackend& backend = f.live.backend();
    if (step.startsWith(QLatin1String("all records"))) {
        auto records = backend.GetRecords(vrxtest::kDevice);
        if (step.endsWith(QLatin1String("but the current")))
            records.erase(std::find_if(records.begin(), records.end(), [](const auto& r) { return r.GetRecordID() == kCurrent; }));
        backend.SetRecords(vrxtest::kDevice, records);
    } else if (step == QLatin1String("delete the current"))
        backend.RemoveRecord(vrxtest::kDevice, kCurrent);
    else if (step.startsWith(QLatin1String("disable ")))
        f.live.value<values::ValueBase>(qPrintable(step.mid(8)))->SetState(values::eStateDisabled, nullptr);
    else
        vrxtest::operate(f, step);
}

} // namespace

class TestBindings : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QTRY_COMPARE_WITH_TIMEOUT(ThreadSwitchingAdministration::LiveEventCount(), 0, 1000);
    }

    // The values are bound in a fixed order; a missing value stops the chain
    // there, and its creation (a channel update) completes it silently. Moved
    // to another channel, the toolbar lets go of every value of the first one
    // and follows the second, also through a connection loss.
    void bindingAsTheValuesAppear_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<int>("reached"); // steps done: allowed devices, device combo, record flag, replay flag
        QTest::newRow("AllowedDevices") << "AllowedDevices" << 0;
        QTest::newRow("DataRateClass") << "DataRateClass" << 1;
        QTest::newRow("RecordFlag") << "RecordFlag" << 2;
        QTest::newRow("ReplayFlag") << "ReplayFlag" << 3;
        QTest::newRow("RecordReplayModes") << "RecordReplayModes" << 4;
    }
    void bindingAsTheValuesAppear()
    {
        QFETCH(QString, missing);
        QFETCH(int, reached);
        vrxtest::ChannelFixture channel(QStringLiteral("/Receivers/Partial"));
        QVERIFY(values::Tree::Instance()->Release(channel.key(qPrintable(missing))));
        vrxtest::LiveToolbar live(vrxtest::LiveToolbarOptions{1, true, false}); // not bound
        auto value = [&](const char* key) { return values::Tree::Instance()->FindValueAs<values::Value<bool>>(channel.key(key)); };
        if (auto allowed = values::Tree::Instance()->FindValueAs<values::Value<QString>>(channel.key("AllowedDevices")))
            allowed->Set(QStringLiteral("Dev2"), nullptr);
        for (const char* key : {"RecordFlag", "ReplayFlag"})
            if (value(key))
                value(key)->Set(false, nullptr);
        QVERIFY(live.toolbar()->SetChannelId_ValuePath(channel.path()));
        settle();
        // A bound combo shows the channel's own device too.
        QCOMPARE(offered(live), reached == 0 ? "Dev1 Dev2 Dev3" : reached == 1 ? "Dev2" : "Dev2 Dev1");
        QCOMPARE(boundPaths(live, channel.path()), reached >= 2 ? "|~/DeviceID|~/RecordName" : "||~/RecordName");
        // Binding a flag writes the host's permission (true) into it.
        QCOMPARE(value("RecordFlag") && value("RecordFlag")->Get(), reached >= 3);
        QCOMPARE(value("ReplayFlag") && value("ReplayFlag")->Get(), reached >= 4);

        vrxtest::createChannelValue(channel.path(), missing);
        settle();
        QCOMPARE(boundPaths(live, channel.path()), kBound);
        QCOMPARE(offered(live), missing == QLatin1String("AllowedDevices") ? "Dev1 Dev2 Dev3" : "Dev2 Dev1");
        QVERIFY(value("RecordFlag")->Get() && value("ReplayFlag")->Get());
        QVERIFY(ErrorHandler::Instance()->TakeMessages().empty());

        live.bind();
        settle();
        QCOMPARE(channel.observerCount(), 0);
        QCOMPARE(boundPaths(live, live.ChannelPath(0)), kBound);
        value("RecordFlag")->Set(false, nullptr); // the first channel's flag counts no more

        // Losing the connection stops and disables (no answer is awaited); a
        // new connection re-runs the rules and selects the mode the toolbar
        // held again, for the manager.
        auto modes = live.value<values::ValueSelection>("RecordReplayModes");
        live.simulator().SetConnected(false);
        settle();
        QCOMPARE(modes->GetCurrentKey(), long(vrxtest::Stop));
        QCOMPARE(vrxtest::BarStateLog::stateOf(live.bar()), QStringLiteral("off/arrow"));
        modes->SelectIndex(vrxtest::Record, vrxtest::toolbarObserver(live)); // held while the connection is down
        vrxtest::ScopedObserver watcher(modes);
        live.simulator().SetConnected(true);
        settle();
        QVERIFY(watcher.count(VC_VALUECHANGED) >= 1);
        QCOMPARE(modes->GetCurrentKey(), long(vrxtest::Record));
        live.value<values::Value<bool>>("RecordFlag")->Set(false, nullptr);
        QVERIFY(!live.isEnabled(QStringLiteral("VorexRecordingModesCombo")));
        live.value<values::Value<bool>>("RecordFlag")->Set(true, nullptr);
        QVERIFY(live.isEnabled(QStringLiteral("VorexRecordingModesCombo")));
    }

    // What the connector announces and the bar's states, in order, and what
    // the bar offers afterwards, as the manager changes the channel. Written on
    // a worker thread, nothing changes before the GUI thread runs, and there the
    // same; a change overtaken before the GUI thread got to it is not applied.
    void managerSteps_data()
    {
        QTest::addColumn<bool>("withRecord");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("bar");
        using vrxtest::without;
        const QString idle = vrxtest::idleLook();
        const QString noRecord = without(idle, {"edit", "history"});
        for (const QString worker : {"", "worker: "}) {
            auto row = [&](const char* name, bool withRecord, QStringList steps, const QStringList& expected, const QString& bar) {
                QTest::addRow("%s%s", qPrintable(worker), name)
                    << withRecord << steps.replaceInStrings(QRegularExpression(QStringLiteral("^")), worker) << expected << bar;
            };
            row("device change without a record", false, {"set DeviceID Dev2"}, {"DeviceChanged"}, noRecord + " | on Dev2");
            // The record left behind is not one of the new device's.
            row("device change with a record", true, {"set DeviceID Dev2"}, {"RecordChanging", "RecordRemoved", "DeviceChanged"},
                noRecord + " | on Dev2");
            row("first record", false, {"set RecordID REC-0001"}, {"RecordChanged"}, idle);
            row("another record", true, {"set RecordID REC-0002"}, {"RecordChanging", "RecordChanged"}, idle);
            row("same record again", true, {"set RecordID REC-0001"}, {}, idle);
            row("RecordID turns invalid", true, {"invalid RecordID"}, {}, "replayBar");
            row("replay mode changes", true, {"set ReplayMode 3"}, {"RecordDataUpdated", "bar off/wait"}, idle);
            row("channel deleted", true, {"delete channel"}, {"ChannelDeleted"}, " | on no device");
            row("RecordFlag false", true, {"RecordFlag off"}, {}, without(idle, {"record"}));
            row("RecordFlag disabled", true, {"RecordFlag state 2"}, {}, without(idle, {"record"}));
            row("ReplayFlag false", true, {"ReplayFlag off"}, {}, without(idle, {"replay", "openFile"}));
            row("ReplayFlag normal again", true, {"ReplayFlag state 2", "ReplayFlag state 0"}, {}, idle);
            row("PauseSupported false", true, {"set ReplayMode 4", "PauseSupported off"}, {"RecordDataUpdated"},
                without(idle, {"record", "openFile"}));
            // The mode handlers act on the state the notification saw: the
            // bar waits while a replay starts, although it reads Stopped by then.
            row("replay starting, then stopped", false, {"set ReplayMode 1", "set ReplayMode 0", "set AllRecordReplayModes 4"},
                {"RecordDataUpdated", "RecordDataUpdated", "bar off/wait", "bar on/arrow"}, noRecord);
            // The record the manager makes is not the toolbar's (it has none): no data update.
            row("record starting", false, {"set AllRecordReplayModes 0"}, {"bar off/wait", "bar on/arrow"}, "record");
            // The devices allowed; the channel's own is always offered.
            row("AllowedDevices with empty parts", true, {"set AllowedDevices @Dev2@@Dev3@"}, {}, idle + " | offers Dev2 Dev3 Dev1");
            row("AllowedDevices are case sensitive", true, {"set AllowedDevices dev2@Dev3"}, {}, idle + " | offers Dev3 Dev1");
            row("AllowedDevices disabled allow all", true, {"set AllowedDevices Dev3", "disable AllowedDevices",
                "set AllowedDevices Dev2"}, {}, idle);
        }
        auto row = [](const char* name, const QStringList& steps, const QStringList& expected, const QString& bar) {
            QTest::newRow(name) << true << steps << expected << bar;
        };
        // Read back at the next channel update, so that replacing it is a change.
        row("RecordID usable again", {"invalid RecordID", "valid RecordID", "channel update", "set RecordID REC-0002"},
            {"RecordChanging", "RecordChanged"}, idle);
        row("full refresh holding the record", {"all records"}, {"RecordDataUpdated"}, idle);
        row("full refresh without the record", {"all records but the current"}, {"RecordRemoved"}, noRecord);
        // The record went away, from the channel's RecordID too.
        row("current record deleted", {"delete the current"}, {"RecordRemoved"}, noRecord);
        row("device change overtaken", {"worker: set DeviceID Dev2", "set DeviceID Dev3"},
            {"RecordChanging", "RecordRemoved", "DeviceChanged"}, noRecord + " | on Dev3");
        // The host's permission given after the manager's older write wins.
        row("replay permission after an older ReplayFlag", {"worker: ReplayFlag off", "replaying on"}, {}, idle);
    }
    void managerSteps()
    {
        QFETCH(bool, withRecord);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        QFETCH(QString, bar);
        vrxtest::Fixture f;
        if (withRecord)
            vrxtest::operate(f, QStringLiteral("pick ") + kCurrent);
        settle();
        vrxtest::SignalLog log(vrxtest::toolbarWidget(f.live));
        vrxtest::BarStateLog states(f.live.bar());
        for (const QString& step : steps) {
            if (!step.startsWith(QLatin1String("worker: "))) {
                manager(f, step);
                settle();
                continue;
            }
            const QString before = barLook(f.live);
            const int announced = log.names.size();
            std::thread([&] { manager(f, step.mid(8)); }).join();
            QVERIFY(log.names.size() == announced && barLook(f.live) == before);
        }
        settle();
        QStringList seen = log.withoutChannelUpdates();
        for (const QString& state : states.entries())
            seen << QStringLiteral("bar ") + state;
        // A new current record makes the replay bar fetch it again; the
        // answer may come as a data update before the change is announced.
        if (expected.contains(QStringLiteral("RecordChanged")))
            seen.removeAll(QStringLiteral("RecordDataUpdated"));
        QCOMPARE(seen, expected);
        QCOMPARE(log.threads.count(QCoreApplication::instance()->thread()), log.threads.size());
        QCOMPARE(barLook(f.live), bar);
        if (withRecord && bar.startsWith(vrxtest::without(vrxtest::idleLook(), {"edit", "history"})))
            QCOMPARE(f.live.value<values::Value<QString>>("RecordID")->Get(), QString());
    }

    // Calls still queued when the toolbar goes are freed without being made,
    // while the manager goes on writing on its own thread: nothing may crash,
    // leak or stay attached.
    void deletedWhileTheManagerWrites()
    {
        for (int round = 0; round < 5; ++round) {
            vrxtest::TraceCapture traces;
            auto live = std::make_unique<vrxtest::LiveToolbar>();
            const QString channel = live->ChannelPath(0);
            auto recordFlag = live->value<values::Value<bool>>("RecordFlag");
            auto replayMode = live->value<values::ValueSelection>("ReplayMode");
            auto recordId = live->value<values::Value<QString>>("RecordID");
            auto pause = live->value<values::Value<bool>>("PauseSupported");
            std::atomic<int> writes{0};
            auto write = [=, &writes](int i) {
                recordFlag->Set(i % 2 == 0, nullptr);
                replayMode->SelectIndex(i % 2 == 0 ? 0 : 4, nullptr);
                recordId->Set(QString::number(i % 3), nullptr);
                pause->SetState(i % 3 == 0 ? values::eStateDisabled : values::eStateNormal, nullptr);
                ++writes;
            };
            std::atomic<bool> stop{false};
            std::thread worker([&] {
                for (int i = 0; !stop && i < 400; ++i) {
                    write(i);
                    // A manager's pace: one that outran the GUI thread would keep it busy for ever.
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
            QTRY_VERIFY_WITH_TIMEOUT(writes > 20, 5000);
            settle(3);
            std::thread([&] {
                write(1); // RecordFlag false, among others
                values::Tree::Instance()->Release(channel);
            }).join();
            QVERIFY(ThreadSwitchingAdministration::LiveEventCount() > 0);
            traces.clear();
            live.reset();
            stop = true;
            worker.join();
            settle();
            QCOMPARE(ThreadSwitchingAdministration::LiveEventCount(), 0);
            QCOMPARE(traces.count(QStringLiteral("VorexToolbar::SetRecordingAllowed : 0")), 0);
            QVERIFY(!values::Tree::Instance()->FindNode(channel));
        }
    }
};

QTEST_MAIN(TestBindings)
#include "tst_bindings.moc"
