#include "channelfixture.h"
#include "livetoolbar.h"
#include "testsupport.h"
#include "toolbarprobe.h"

#include "startup.h"
#include "vcwidgets.h"
#include "vorexgui.h"
#include "vorexwidgets.h"

#include <QComboBox>
#include <QtTest>

#include <functional>

using vrxtest::LiveToolbar;
using vrxtest::LiveToolbarOptions;
using vrxtest::settle;

namespace {

LiveToolbarOptions unbound()
{
    LiveToolbarOptions options;
    options.bind = false;
    return options;
}

QStringList fourTimes(const QString& text)
{
    return {text, text, text, text};
}

QStringList comboItems(QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

// The mode widgets carry their value path only once the toolbar is bound.
QStringList modeWidgetPaths(LiveToolbar& live)
{
    return {live.widget<VCOneOfButton>(QStringLiteral("VorexStop"))->GetSelection_ValuePath(),
            live.widget<VCOneOfButton>(QStringLiteral("VorexPause"))->GetSelection_ValuePath(),
            live.widget<VCOneOfButtonCombo>(QStringLiteral("VorexReplayModesCombo"))->GetSelection_ValuePath(),
            live.widget<VCOneOfButtonCombo>(QStringLiteral("VorexRecordingModesCombo"))->GetSelection_ValuePath()};
}

// Whether the toolbar dispatches a change of `key` (the dispatcher's trace
// for the value change; a foreign writer changes it).
bool dispatches(LiveToolbar& live, const char* key, const QString& dispatchTrace)
{
    vrxtest::TraceCapture traces;
    if (auto flag = live.value<values::Value<bool>>(key))
        flag->Set(flag->Get(), nullptr);
    else if (auto selection = live.value<values::ValueSelection>(key))
        selection->SelectIndex(selection->GetCurrentKey(), nullptr);
    return traces.contains(dispatchTrace);
}

const QString kModesDispatch = QStringLiteral("VorexToolbar::Update:VC_VALUECHANGED calling RecordReplayModeValueChanged");
const QString kRecordFlagDispatch = QStringLiteral("VorexToolbar::Update:VC_VALUECHANGED calling SetRecordingAllowed");

} // namespace

class TestBindings : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        QTRY_COMPARE(ThreadingHelper::ThreadSwitchingAdministration::LiveEventCount(), 0);
        VorexCommon::ErrorDescriptor::TakeResponses();
        ErrorHandler::Instance()->TakeMessages();
    }

    // The manager creates the channel's values after the host bound the
    // toolbar: every value creation is a channel update that retries the
    // binding, silently, until everything is there.
    void bindingWaitsForTheChannelValues()
    {
        LiveToolbar live(unbound());
        const QString channel = live.ChannelPath(0);
        live.simulator().DeleteChannel(0);
        settle();
        ErrorHandler::Instance()->TakeMessages();

        QVERIFY(live.toolbar()->GetToolbarModeValuePath().isEmpty());
        QVERIFY(live.toolbar()->SetChannelId_ValuePath(channel));
        const QString modes = channel + QStringLiteral("/RecordReplayModes");
        QCOMPARE(live.toolbar()->GetToolbarModeValuePath(), modes);
        settle();
        QCOMPARE(modeWidgetPaths(live), fourTimes(QString()));
        QVERIFY(!live.isEnabled(QStringLiteral("VorexRecordingModesCombo")));

        // One value at a time, as a manager fills a channel.
        for (const QString& key : vrxtest::channelKeys()) {
            vrxtest::createChannelValue(channel, key);
            settle(2);
        }
        settle();
        QCOMPARE(modeWidgetPaths(live), fourTimes(modes));
        QCOMPARE(live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"))->GetDevice_ValuePath(),
                 channel + QStringLiteral("/DeviceID"));
        QCOMPARE(live.widget<DiscSpaceBar>(QStringLiteral("VorexToolbarDiscSpace"))->GetDevice_ValuePath(),
                 channel + QStringLiteral("/DeviceID"));
        QCOMPARE(live.widget<VCLineEdit>(QStringLiteral("VorexRecordName"))->GetText_ValuePath(),
                 channel + QStringLiteral("/RecordName"));
        QVERIFY(live.isEnabled(QStringLiteral("VorexRecordingModesCombo")));
        QVERIFY(live.isEnabled(QStringLiteral("VorexReplayModesCombo")));
        QVERIFY(dispatches(live, "RecordReplayModes", kModesDispatch));
        QVERIFY(ErrorHandler::Instance()->TakeMessages().empty());
        values::Tree::Instance()->Release(channel);
    }

    // The observers are added in a fixed order; a missing value (or one of
    // another type) stops the chain there, and its creation completes it.
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

        LiveToolbar live(unbound());
        const QString channel = live.ChannelPath(0);
        live.simulator().DeleteChannel(0);
        vrxtest::createChannel(channel, {missing});
        if (otherType)
            values::Tree::Instance()->CreateValue<values::Value<int>>(vrxtest::channelKey(channel, missing), 1);
        auto tree = values::Tree::Instance();
        auto allowedText = [&] {
            if (auto allowed = tree->FindValueAs<values::Value<QString>>(vrxtest::channelKey(channel, "AllowedDevices")))
                allowed->Set(QStringLiteral("Dev2"), nullptr);
        };
        allowedText();
        for (const char* flag : {"RecordFlag", "ReplayFlag"})
            if (auto value = tree->FindValueAs<values::Value<bool>>(vrxtest::channelKey(channel, flag)))
                value->Set(false, nullptr);

        live.toolbar()->SetChannelId_ValuePath(channel);
        settle();

        auto* combo = live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"));
        auto flagTaken = [&](const char* key) {
            // Binding a flag writes the host's permission (true) into it.
            auto value = tree->FindValueAs<values::Value<bool>>(vrxtest::channelKey(channel, key));
            return value && value->Get();
        };
        // A bound combo shows the channel's own device too.
        const QStringList offered = reached == 0 ? QStringList{"Dev1", "Dev2", "Dev3"}
                                    : reached == 1 ? QStringList{"Dev2"}
                                                   : QStringList{"Dev2", "Dev1"};
        QCOMPARE(comboItems(combo), offered);
        QCOMPARE(combo->GetDevice_ValuePath() == vrxtest::channelKey(channel, "DeviceID"), reached >= 2);
        QCOMPARE(flagTaken("RecordFlag"), reached >= 3);
        QCOMPARE(flagTaken("ReplayFlag"), reached >= 4);
        QVERIFY(!dispatches(live, "RecordReplayModes", kModesDispatch));
        QCOMPARE(modeWidgetPaths(live), fourTimes(QString()));

        vrxtest::createChannelValue(channel, missing);
        allowedText();
        settle();
        QVERIFY(dispatches(live, "RecordReplayModes", kModesDispatch));
        QCOMPARE(modeWidgetPaths(live), fourTimes(vrxtest::channelKey(channel, "RecordReplayModes")));
        QCOMPARE(comboItems(combo), QStringList{QStringLiteral("Dev2")} << QStringLiteral("Dev1"));
        QVERIFY(flagTaken("RecordFlag") && flagTaken("ReplayFlag"));
        QVERIFY(ErrorHandler::Instance()->TakeMessages().empty());
        tree->Release(channel);
    }

    // "AllowedDevices" names the devices the combo offers (the channel's own
    // device is always shown); disabled it allows all, invalid it changes
    // nothing but does not hold up the binding.
    void allowedDevices_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("empty parts dropped") << "Dev2@@Dev3@" << 0 << QStringList{"Dev2", "Dev3", "Dev1"};
        QTest::newRow("leading separator") << "@Dev1" << 0 << QStringList{"Dev1"};
        QTest::newRow("case counts") << "dev2@Dev3" << 0 << QStringList{"Dev3", "Dev1"};
        QTest::newRow("disabled allows all") << "Dev2" << 2 << QStringList{"Dev1", "Dev2", "Dev3"};
    }
    void allowedDevices()
    {
        QFETCH(QString, text);
        QFETCH(int, state);
        QFETCH(QStringList, offered);
        LiveToolbar live;
        auto allowed = live.value<values::Value<QString>>("AllowedDevices");
        allowed->Set(QStringLiteral("Dev3"), nullptr);
        allowed->SetState(state, nullptr);
        allowed->Set(text, nullptr);
        settle();
        QCOMPARE(comboItems(live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"))), offered);
    }

    void invalidAllowedDevicesDoesNotHoldUpTheBinding()
    {
        LiveToolbar live(unbound());
        const QString channel = live.ChannelPath(0);
        auto allowed = live.value<values::Value<QString>>("AllowedDevices");
        allowed->Set(QStringLiteral("Dev2"), nullptr);
        allowed->SetState(values::eStateInvalid, nullptr);
        live.toolbar()->SetChannelId_ValuePath(channel);
        settle();
        QCOMPARE(modeWidgetPaths(live), fourTimes(vrxtest::channelKey(channel, "RecordReplayModes")));
        QCOMPARE(comboItems(live.widget<DeviceCombo>(QStringLiteral("OpenFileDeviceCombo"))),
                 (QStringList{"Dev1", "Dev2", "Dev3"}));
    }

    // What the connector reports, and in which order, as the channel's
    // record and device change.
    void connectorSignalSequences()
    {
        LiveToolbar live;
        QWidget* connector = vrxtest::toolbarWidget(live);
        QVERIFY(connector);
        auto& backend = live.backend();
        const std::vector<VOREX_XML::VOREX_RecordData> records = backend.GetRecords(QStringLiteral("Dev1"));
        QVERIFY(records.size() >= 2);
        const QString rec1 = records[0].GetRecordID();
        const QString rec2 = records[1].GetRecordID();
        auto recordId = live.value<values::Value<QString>>("RecordID");
        auto deviceId = live.value<values::Value<QString>>("DeviceID");
        auto* controller = connector->findChild<VorexGUI::VorexServerGUIController*>();
        QVERIFY(controller);

        struct Road
        {
            const char* name;
            std::function<void()> setup;
            std::function<void()> act;
            QStringList expected;
            // A new current record makes the replay bar resynchronise it,
            // and the manager's answer may arrive as a data update before
            // the record change is announced.
            bool resync = false;
        };
        auto select = [&](const QString& device, const QString& record) {
            return [&, device, record] { live.simulator().SelectRecord(0, device, record); };
        };
        const std::vector<Road> roads = {
            {"device change without a record", select("Dev1", QString()),
             [&] { deviceId->Set(QStringLiteral("Dev2"), nullptr); }, {"DeviceChanged"}},
            // The record left behind is not one of the new device's.
            {"device change with a record", select("Dev1", rec1), [&] { deviceId->Set(QStringLiteral("Dev2"), nullptr); },
             {"RecordChanging", "RecordRemoved", "DeviceChanged"}},
            {"first record selection", select("Dev1", QString()), [&] { recordId->Set(rec1, nullptr); }, {"RecordChanged"},
             true},
            {"another record", select("Dev1", rec1), [&] { recordId->Set(rec2, nullptr); },
             {"RecordChanging", "RecordChanged"}, true},
            {"same record again", select("Dev1", rec1), [&] { recordId->Set(rec1, nullptr); }, {}},
            {"RecordID turns invalid", select("Dev1", rec1), [&] { recordId->SetState(values::eStateInvalid, nullptr); }, {}},
            {"full refresh holding the record", select("Dev1", rec1),
             [&] { backend.SetRecords(QStringLiteral("Dev1"), records); }, {"RecordDataUpdated"}},
            {"full refresh without the record", select("Dev1", rec1),
             [&] { backend.SetRecords(QStringLiteral("Dev1"), {records.begin() + 1, records.end()}); }, {"RecordRemoved"}},
            {"current record changed", select("Dev1", rec1),
             [&] {
                 VOREX_XML::VOREX_RecordData changed = records[0];
                 changed.SetRecordName(QStringLiteral("renamed"));
                 backend.SetRecord(QStringLiteral("Dev1"), changed);
             },
             {"RecordDataUpdated"}},
            {"same record ID on another device", select("Dev1", rec1),
             [&] {
                 emit controller->recordListModel()->si_recordChanged(
                     vorex::RecordIdentifier(backend.GetSubSystem(), QStringLiteral("Dev2"), rec1), false);
             },
             {}},
            {"current record deleted", select("Dev1", rec1), [&] { backend.RemoveRecord(QStringLiteral("Dev1"), rec1); },
             {"RecordRemoved"}},
            {"replay mode changes", select("Dev1", rec1),
             [&] { live.value<values::ValueSelection>("ReplayMode")->SelectIndex(3, nullptr); }, {"RecordDataUpdated"}},
            {"channel deleted", select("Dev1", rec1), [&] { live.simulator().DeleteChannel(0); }, {"ChannelDeleted"}},
        };
        QStringList failures;
        for (const Road& road : roads) {
            backend.SetRecords(QStringLiteral("Dev1"), records);
            road.setup();
            settle();
            vrxtest::SignalLog log(connector);
            road.act();
            settle();
            QStringList seen = log.withoutChannelUpdates();
            if (road.resync)
                seen.removeAll(QStringLiteral("RecordDataUpdated"));
            if (seen != road.expected)
                failures << QStringLiteral("%1: %2").arg(road.name, log.names.join(QLatin1Char(' ')));
            if (QLatin1String(road.name) == QLatin1String("current record deleted")) // not written back
                QCOMPARE(recordId->Get(), rec1);
            if (QLatin1String(road.name) == QLatin1String("RecordID turns invalid")) {
                // Usable again after the next channel update: the record is
                // read back, so replacing it announces the change.
                recordId->SetState(values::eStateNormal, nullptr);
                values::Tree::Instance()->CreateValue<values::Value<int>>(live.key("Extra"), 0);
                settle();
                log.clear();
                recordId->Set(rec2, nullptr);
                settle();
                QStringList seen = log.withoutChannelUpdates();
                seen.removeAll(QStringLiteral("RecordDataUpdated"));
                QCOMPARE(seen, (QStringList{"RecordChanging", "RecordChanged"}));
            }
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
    }

    // The dispatcher's own traces, by mask.
    void dispatcherTracesFollowTheMask_data()
    {
        QTest::addColumn<unsigned int>("mask");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("flow") << 64u << QStringList{"VC_VALUECHANGED", kRecordFlagDispatch};
        QTest::newRow("warnings only") << 32u << QStringList();
    }
    void dispatcherTracesFollowTheMask()
    {
        QFETCH(unsigned int, mask);
        QFETCH(QStringList, expected);
        LiveToolbar live;
        vrxtest::TraceCapture traces(mask);
        live.value<values::Value<bool>>("RecordFlag")->Set(true, nullptr);
        QStringList dispatcher = traces.texts().filter(QRegularExpression("^VC_VALUECHANGED$|^VorexToolbar::Update"));
        QCOMPARE(dispatcher, expected);

        // A size limit change has no handler.
        traces.clear();
        live.value<values::Value<int>>("FileSizeInKB")->Set(5, nullptr);
        QCOMPARE(traces.texts(), mask & 64 ? QStringList{"VC_VALUECHANGED"} : QStringList());
    }

    // Losing the connection stops and disables; a new connection re-runs
    // the buttons and the mode re-selection, without binding again.
    void reconnectionReselectsWithoutRebinding()
    {
        LiveToolbar live;
        IObserver* asToolbar = vrxtest::toolbarObserver(live);
        QVERIFY(asToolbar);
        auto modes = live.value<values::ValueSelection>("RecordReplayModes");
        QVERIFY(live.bar()->isEnabled());

        vrxtest::TraceCapture traces;
        live.simulator().SetConnected(false);
        settle();
        QVERIFY(traces.contains(QStringLiteral("!!!!!!>>>> VorexToolbar::sl_connectionDisconnected VorexManager  <<<<!!!!!!!")));
        QCOMPARE(modes->GetCurrentKey(), 5L);
        QVERIFY(!live.bar()->isEnabled());
        QCOMPARE(live.bar()->cursor().shape(), Qt::WaitCursor);

        // A mode the toolbar holds while the connection is down.
        modes->SelectIndex(3, asToolbar);
        vrxtest::RecordingObserver watcher;
        modes->AddObserver(&watcher);
        traces.clear();
        live.simulator().SetConnected(true);
        settle();
        modes->RemoveObserver(&watcher);
        const QStringList texts = traces.texts();
        QVERIFY(texts.contains(QStringLiteral("VorexToolbar::sl_connectionEstablished VorexManager")));
        QVERIFY(texts.contains(QStringLiteral("+ VorexToolbar::VorexManagerDataAvailable()")));
        QVERIFY(texts.contains(QStringLiteral("VorexToolbar::SetStopButton")));
        QVERIFY(!texts.contains(QStringLiteral("+ VorexToolbar::AddObservers()")));
        QVERIFY(watcher.count(VC_VALUECHANGED) >= 1);
        QCOMPARE(modes->GetCurrentKey(), 3L);
        QVERIFY(dispatches(live, "RecordReplayModes", kModesDispatch));
    }

    // Deleting the channel releases everything; the host setting the same
    // path again after the manager rebuilt it binds the new values.
    void channelDeletedAndRebuilt()
    {
        LiveToolbar live;
        const QString channel = live.ChannelPath(0);
        vrxtest::SignalLog log(vrxtest::toolbarWidget(live));
        vrxtest::TraceCapture traces;
        live.simulator().DeleteChannel(0);
        settle();
        QVERIFY(log.names.contains(QStringLiteral("ChannelDeleted")));
        QVERIFY(traces.contains(QStringLiteral("VorexToolbarChannelConnector::Update:VC_DELETING")));
        QVERIFY(!live.isEnabled(QStringLiteral("VorexRecordingModesCombo")));
        QVERIFY(!live.isEnabled(QStringLiteral("VorexReplayModesCombo")));

        live.simulator().RecreateChannel(0);
        settle();
        QVERIFY(live.toolbar()->SetChannelId_ValuePath(channel));
        settle();
        QVERIFY(dispatches(live, "RecordReplayModes", kModesDispatch));
        QVERIFY(dispatches(live, "RecordFlag", kRecordFlagDispatch));
        QVERIFY(live.isEnabled(QStringLiteral("VorexRecordingModesCombo")));
    }

    // Moving a bound toolbar to another channel leaves the first one alone.
    void rebindingToAnotherChannel()
    {
        LiveToolbarOptions options;
        options.channels = 2;
        LiveToolbar live(options);
        const QString second = live.ChannelPath(1);
        live.toolbar(0)->SetChannelId_ValuePath(second);
        settle();
        QCOMPARE(live.toolbar(0)->GetToolbarModeValuePath(), second + QStringLiteral("/RecordReplayModes"));
        QCOMPARE(modeWidgetPaths(live), fourTimes(second + QStringLiteral("/RecordReplayModes")));

        vrxtest::TraceCapture traces;
        live.value<values::Value<bool>>("RecordFlag", 0)->Set(true, nullptr);
        QCOMPARE(traces.texts().count(kRecordFlagDispatch), 0);
        live.value<values::Value<bool>>("RecordFlag", 1)->Set(true, nullptr);
        QCOMPARE(traces.texts().count(kRecordFlagDispatch), 2); // both toolbars now
        QVERIFY(live.isEnabled(QStringLiteral("VorexRecordingModesCombo"), 0));
    }

    void pathsWithoutAChannelNode_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("traced");
        QTest::newRow("through a value") << "/Receivers/Channel1/DeviceID/Nested" << true;
        QTest::newRow("root") << "" << false;
    }
    void pathsWithoutAChannelNode()
    {
        QFETCH(QString, path);
        QFETCH(bool, traced);
        LiveToolbar live(unbound());
        vrxtest::TraceCapture traces;
        QVERIFY(live.toolbar()->SetChannelId_ValuePath(path));
        settle();
        QCOMPARE(traces.contains(QStringLiteral("SetChannelId_ValuePath: Node for path %1 could not be determined").arg(path)),
                 traced);
        QCOMPARE(modeWidgetPaths(live), fourTimes(QString()));
        QVERIFY(ErrorHandler::Instance()->TakeMessages().empty());
    }
};

QTEST_MAIN(TestBindings)
#include "tst_bindings.moc"
