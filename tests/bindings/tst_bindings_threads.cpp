#include "livetoolbar.h"
#include "testsupport.h"
#include "toolbarprobe.h"

#include "startup.h"
#include "vorexwidgets.h"

#include <QtTest>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using ThreadingHelper::ThreadSwitchingAdministration;
using vrxtest::LiveToolbar;
using vrxtest::settle;

namespace {

void onWorker(const std::function<void()>& work)
{
    std::thread worker(work);
    worker.join();
}

QThread* guiThread()
{
    return QCoreApplication::instance()->thread();
}

} // namespace

// Value-tree notifications on worker threads: the toolbar and its connector
// identify them where they arrive and do everything else in the GUI thread.
class TestBindingsThreads : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QTRY_COMPARE(ThreadSwitchingAdministration::LiveEventCount(), 0); }

    void handlersRunInTheGuiThread_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("state"); // -1: write false instead of a state
        QTest::addColumn<QString>("dispatch");
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<bool>("enabledAfter");
        for (bool fromWorker : {false, true}) {
            const char* where = fromWorker ? "worker: " : "gui: ";
            QTest::newRow(qPrintable(QString::fromLatin1(where) + "RecordFlag false"))
                << fromWorker << "RecordFlag" << -1
                << "VorexToolbar::Update:VC_VALUECHANGED calling SetRecordingAllowed"
                << "VorexToolbar::SetRecordingAllowed : 0" << "VorexRecordingModesCombo" << false;
            QTest::newRow(qPrintable(QString::fromLatin1(where) + "ReplayFlag false"))
                << fromWorker << "ReplayFlag" << -1 << "VorexToolbar::Update:VC_VALUECHANGED calling SetReplayAllowed"
                << "VorexToolbar::SetReplayAllowed 0" << "VorexReplayModesCombo" << false;
            QTest::newRow(qPrintable(QString::fromLatin1(where) + "PauseSupported false"))
                << fromWorker << "PauseSupported" << -1 << "VC_VALUECHANGED" << "VorexToolbar::SetPauseButton"
                << "VorexPause" << false;
            QTest::newRow(qPrintable(QString::fromLatin1(where) + "RecordFlag disabled"))
                << fromWorker << "RecordFlag" << 2 << QString() << "VorexToolbar::SetRecordingAllowed : 1"
                << "VorexRecordingModesCombo" << false;
            QTest::newRow(qPrintable(QString::fromLatin1(where) + "ReplayFlag disabled and normal again"))
                << fromWorker << "ReplayFlag" << 0 << QString() << " + VorexToolbar::UpdateToolbar()"
                << "VorexReplayModesCombo" << true;
        }
    }
    void handlersRunInTheGuiThread()
    {
        QFETCH(bool, fromWorker);
        QFETCH(QString, key);
        QFETCH(int, state);
        QFETCH(QString, dispatch);
        QFETCH(QString, handler);
        QFETCH(QString, widget);
        QFETCH(bool, enabledAfter);

        LiveToolbar live;
        auto flag = live.value<values::Value<bool>>(qPrintable(key));
        QVERIFY(flag);
        if (state == 0) // from disabled back to normal
            flag->SetState(values::eStateDisabled, nullptr);
        settle();

        vrxtest::TraceCapture traces;
        QThread* writer = nullptr;
        auto write = [&] {
            writer = QThread::currentThread();
            if (state < 0)
                flag->Set(false, nullptr);
            else
                flag->SetState(state, nullptr);
        };
        if (fromWorker)
            onWorker(write);
        else
            write();
        // On a worker only the identification has happened so far.
        if (fromWorker)
            QCOMPARE(traces.count(handler), 0);
        settle();

        if (!dispatch.isEmpty())
            QVERIFY(traces.countOn(dispatch, writer) >= 1);
        QVERIFY2(traces.countOn(handler, guiThread()) >= 1, qPrintable(traces.texts().join(QLatin1Char('\n'))));
        QCOMPARE(traces.countOff(handler, guiThread()), 0);
        QCOMPARE(live.isEnabled(widget), enabledAfter);
    }

    // The connector's reactions to its values, written on a worker thread:
    // the same signals, in the same order, in the GUI thread.
    void connectorSignalsFromWorkerWrites()
    {
        LiveToolbar live;
        QWidget* connector = vrxtest::toolbarWidget(live);
        const std::vector<VOREX_XML::VOREX_RecordData> records = live.backend().GetRecords(QStringLiteral("Dev1"));
        const QString rec1 = records.at(0).GetRecordID();
        const QString rec2 = records.at(1).GetRecordID();
        auto recordId = live.value<values::Value<QString>>("RecordID");
        auto deviceId = live.value<values::Value<QString>>("DeviceID");
        auto replayMode = live.value<values::ValueSelection>("ReplayMode");

        struct Road
        {
            const char* name;
            std::function<void()> act;
            QStringList expected;
        };
        const std::vector<Road> roads = {
            {"first record", [&] { recordId->Set(rec1, nullptr); }, {"RecordChanged"}},
            {"another record", [&] { recordId->Set(rec2, nullptr); }, {"RecordChanging", "RecordChanged"}},
            {"replay mode", [&] { replayMode->SelectIndex(3, nullptr); }, {"RecordDataUpdated"}},
            {"device change with a record", [&] { deviceId->Set(QStringLiteral("Dev2"), nullptr); },
             {"RecordChanging", "RecordRemoved", "DeviceChanged"}},
            {"RecordID invalid", [&] { recordId->SetState(values::eStateInvalid, nullptr); }, {}},
            {"channel deleted", [&] { values::Tree::Instance()->Release(live.ChannelPath(0)); }, {"ChannelDeleted"}},
        };
        for (const Road& road : roads) {
            vrxtest::SignalLog log(connector);
            onWorker(road.act);
            QVERIFY2(log.names.isEmpty(), road.name); // nothing on the worker
            settle();
            // The replay bar's resynchronisation of a new record may add
            // data updates; the record and device signals are what count.
            QStringList seen = log.withoutChannelUpdates();
            if (!road.expected.contains(QStringLiteral("RecordDataUpdated")))
                seen.removeAll(QStringLiteral("RecordDataUpdated"));
            QVERIFY2(seen == road.expected,
                     qPrintable(QStringLiteral("%1: %2").arg(road.name, log.names.join(QLatin1Char(' ')))));
            for (QThread* thread : log.threads)
                QCOMPARE(thread, guiThread());
        }
    }

    // The mode handlers always run in the GUI thread; the replay state is
    // the one the notification saw, even when it moved on before delivery.
    void modeHandlersRunInTheGuiThread()
    {
        LiveToolbar live;
        auto replayMode = live.value<values::ValueSelection>("ReplayMode");
        auto allModes = live.value<values::ValueSelection>("AllRecordReplayModes");
        vrxtest::TraceCapture traces;
        onWorker([&] {
            replayMode->SelectIndex(VOREX_XML::Admin::eReplayMode_Starting, nullptr);
            replayMode->SelectIndex(VOREX_XML::Admin::eReplayMode_Stopped, nullptr);
            allModes->SelectIndex(VOREX_XML::Admin::eRecordReplayAllModes_Stopped, nullptr);
        });
        QCOMPARE(traces.count(QStringLiteral("+ VorexToolbar::DisableToolbar")), 0);
        settle();
        // Starting (1) disables the bar although the value reads 0 by now.
        QCOMPARE(traces.countOn(QStringLiteral("+ VorexToolbar::DisableToolbar"), guiThread()), 1);
        const QString allModesHandler =
            QStringLiteral("+ VorexToolbar::RecordReplayAllModesValueChanged::mode = eRecordReplayAllModes_Stopped ");
        QVERIFY(traces.countOn(allModesHandler, guiThread()) >= 1);
        QCOMPARE(traces.countOff(allModesHandler, guiThread()), 0);
        QCOMPARE(traces.countOff(QStringLiteral("VorexToolbar::EnableToolbar"), guiThread()), 0);
        QVERIFY(live.bar()->isEnabled());
        QCOMPARE(live.bar()->cursor().shape(), Qt::ArrowCursor);

        traces.clear();
        onWorker([&] { live.value<values::ValueSelection>("RecordReplayModes")->SelectIndex(5, nullptr); });
        settle();
        QCOMPARE(traces.countOn(QStringLiteral("+ VorexToolbar::RecordReplayModeValueChanged"), guiThread()), 1);
        QCOMPARE(traces.countOff(QStringLiteral("+ VorexToolbar::RecordReplayModeValueChanged"), guiThread()), 0);
    }

    // A change overtaken by a newer one before the GUI thread got to it is
    // not applied after the newer one.
    void overtakenChangesAreDropped()
    {
        LiveToolbar live;
        vrxtest::SignalLog log(vrxtest::toolbarWidget(live));
        auto deviceId = live.value<values::Value<QString>>("DeviceID");
        onWorker([&] { deviceId->Set(QStringLiteral("Dev2"), nullptr); });
        deviceId->Set(QStringLiteral("Dev3"), nullptr); // handled at once in the GUI thread
        settle();
        QCOMPARE(deviceId->Get(), QStringLiteral("Dev3"));
        QCOMPARE(log.names.count(QStringLiteral("DeviceChanged")), 1);
        QCOMPARE(live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"))->CurrentDevice(), QStringLiteral("Dev3"));

        // The host's permission given after the manager's older write wins.
        auto replayFlag = live.value<values::Value<bool>>("ReplayFlag");
        onWorker([&] { replayFlag->Set(false, nullptr); });
        live.toolbar()->EnableVorexReplay(true);
        settle();
        QVERIFY(replayFlag->Get());
        QVERIFY(live.isEnabled(QStringLiteral("VorexReplayModesCombo")));
    }

    // Calls still queued when the toolbar goes are freed without being made.
    void destroyedWithCallsPending()
    {
        vrxtest::TraceCapture traces;
        {
            LiveToolbar live;
            auto flag = live.value<values::Value<bool>>("RecordFlag");
            auto modes = live.value<values::ValueSelection>("ReplayMode");
            onWorker([&] {
                flag->Set(false, nullptr);
                modes->SelectIndex(4, nullptr);
                values::Tree::Instance()->Release(live.ChannelPath(0));
            });
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
            QString channel;
            {
                LiveToolbar live;
                channel = live.ChannelPath(0);
                auto recordFlag = live.value<values::Value<bool>>("RecordFlag");
                auto replayMode = live.value<values::ValueSelection>("ReplayMode");
                auto allModes = live.value<values::ValueSelection>("AllRecordReplayModes");
                auto recordId = live.value<values::Value<QString>>("RecordID");
                auto pause = live.value<values::Value<bool>>("PauseSupported");
                worker = std::thread([=, &stop, &writes] {
                    for (int i = 0; !stop && i < 400; ++i) {
                        recordFlag->Set(i % 2 == 0, nullptr);
                        replayMode->SelectIndex(i % 2 == 0 ? 0 : 4, nullptr);
                        allModes->SelectIndex(4, nullptr);
                        recordId->Set(QString::number(i % 3), nullptr);
                        pause->SetState(i % 3 == 0 ? values::eStateDisabled : values::eStateNormal, nullptr);
                        ++writes;
                        // A manager's pace, and a bounded one: a producer that
                        // outruns the GUI thread (as under a sanitizer) would
                        // keep its event processing busy for ever.
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                });
                QTRY_VERIFY(writes > 20);
                for (int i = 0; i < 3; ++i)
                    settle(1);
            }
            stop = true;
            worker.join();
            settle();
            QCOMPARE(ThreadSwitchingAdministration::LiveEventCount(), 0);
            QVERIFY(!values::Tree::Instance()->FindNode(channel));
        }
    }
};

QTEST_MAIN(TestBindingsThreads)
#include "tst_bindings_threads.moc"
