// The simulated recorder manager, driven through the value tree and the
// recorder client library exactly as the toolbar drives it.
#include "recordermanagersimulator.h"
#include "testsupport.h"
#include "vorexclient.h"

#include <QtTest>

#include <atomic>
#include <thread>

using namespace VorexSim;
using VOREX_XML::Admin;
using VOREX_XML::VOREX_RecordData;
using VorexCommon::RecorderManagerBackend;

namespace {
QString channelPath(int i)
{
    return QStringLiteral("/SimTest/Channel%1").arg(i + 1);
}
QString replayTimePath(int i)
{
    return QStringLiteral("/SimTestHost/Channel%1/ReplayTime").arg(i + 1);
}
} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<RecorderManagerSimulator> m_sim;
    std::unique_ptr<VorexCommon::GuiToServerReplayCorbaHandler> m_replay;
    std::shared_ptr<VorexCommon::VorexGuiToServerCorbaHandler> m_server;
    std::atomic<qint64> m_now{1000000000000};
    vrxtest::RecordingObserver m_client; // writes as the toolbar would

    QString path(const char* key, int channel = 0) const { return channelPath(channel) + "/" + key; }
    template <typename V>
    std::shared_ptr<V> value(const char* key, int channel = 0) const
    {
        return values::Tree::Instance()->FindValueAs<V>(path(key, channel));
    }
    long key(const char* k, int channel = 0) const { return value<values::ValueSelection>(k, channel)->GetCurrentKey(); }
    void select(const char* k, long v, int channel = 0) { value<values::ValueSelection>(k, channel)->SelectIndex(v, &m_client); }
    void advance(qint64 us)
    {
        m_now += us;
        m_sim->Tick();
    }
    // Settles every queued reaction of the (delay-free) simulator.
    void settle()
    {
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
    }
    VOREX_RecordData firstSeededRecord(const QString& device = QStringLiteral("Dev1")) const
    {
        return m_sim->Backend()->GetRecords(device).front();
    }
    void selectRecord(const VOREX_RecordData& r, int channel = 0)
    {
        value<values::Value<QString>>("RecordID", channel)->Set(r.GetRecordID(), &m_client);
        settle();
    }
    quint32 startReplay(const VOREX_RecordData& r, quint64 start, quint64 stop, quint32 n)
    {
        return m_replay->StartReplay(QStringLiteral("Dev1"), r.GetRecordID(), VOREX_RecordData::eDataRate_3, start, stop, n);
    }
    std::vector<long> replayModesSeen(const std::function<void()>& action)
    {
        std::vector<long> seen;
        vrxtest::RecordingObserver observer;
        auto mode = value<values::ValueSelection>("ReplayMode");
        observer.m_onUpdate = [&](Observable*, TChangeCode code) {
            if (code == VC_VALUECHANGED)
                seen.push_back(mode->GetCurrentKey());
        };
        mode->AddObserver(&observer);
        action();
        settle();
        mode->RemoveObserver(&observer);
        return seen;
    }

private slots:
    void initTestCase()
    {
        vrxtest::failOnQtWarnings();
        HaldaOS::SetClock([this]() { return m_now.load(); });
    }
    void cleanupTestCase() { HaldaOS::SetClock(nullptr); }

    void init()
    {
        m_sim.reset(new RecorderManagerSimulator(SimulatorOptions::Fast(2, channelPath, replayTimePath)));
        m_sim->Start();
        m_server = std::make_shared<VorexCommon::VorexGuiToServerCorbaHandler>(QStringLiteral("VorexGui1"), nullptr, QString());
        m_replay.reset(new VorexCommon::GuiToServerReplayCorbaHandler(m_server));
        m_replay->Initialize(QStringLiteral("Channel1"));
        QTRY_VERIFY(m_sim->IsConnected());
    }
    void cleanup()
    {
        m_replay.reset();
        m_server.reset();
        m_sim.reset();
        QVERIFY(!values::Tree::Instance()->FindNode(channelPath(0)));
        QVERIFY(!RecorderManagerBackend::Installed());
    }

    void createsChannelValuesInTheirInitialStates_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("initial");
        QTest::newRow("RecordReplayModes") << "RecordReplayModes" << "selection" << "5";
        QTest::newRow("AllRecordReplayModes") << "AllRecordReplayModes" << "selection" << "4";
        QTest::newRow("ReplayMode") << "ReplayMode" << "selection" << "0";
        for (const char* k : {"RecordFlag", "ReplayFlag", "PauseSupported"})
            QTest::newRow(k) << k << "bool" << "true";
        QTest::newRow("TriggeredByCorbaCall") << "TriggeredByCorbaCall" << "bool" << "false";
        QTest::newRow("ErrorCode") << "ErrorCode" << "string" << "";
        QTest::newRow("DataRateClass") << "DataRateClass" << "string" << "DataRate3";
        QTest::newRow("AllowedDevices") << "AllowedDevices" << "string" << "Dev1@Dev2@Dev3";
        QTest::newRow("DeviceID") << "DeviceID" << "string" << "Dev1";
        for (const char* k : {"RecordName", "RecordID"})
            QTest::newRow(k) << k << "string" << "";
        for (const char* k : {"ReplayDataRateClass", "AvailableDataRateClass", "AvailableDataRateClass2"})
            QTest::newRow(k) << k << "string" << "DataRate3";
        QTest::newRow("FileSizeInKB") << "FileSizeInKB" << "int" << "0";
        QTest::newRow("NoOfReplays") << "NoOfReplays" << "int" << "1";
        QTest::newRow("RecordTimeout") << "RecordTimeout" << "int" << "0";
        for (const char* k : {"Duration", "RecordCounterStartTime", "StartPosition", "StopPosition", "ReplayBegin",
                              "ReplayEnd", "CurrentReplayPosition"})
            QTest::newRow(k) << k << "int64" << "0";
    }
    void createsChannelValuesInTheirInitialStates()
    {
        QFETCH(QString, key);
        QFETCH(QString, type);
        QFETCH(QString, initial);
        auto v = values::Tree::Instance()->FindValue(channelPath(0) + "/" + key);
        QVERIFY2(v, qPrintable(key));
        QCOMPARE(v->TypeName(), type);
        QCOMPARE(v->ToString(), initial);
        QCOMPARE(v->GetState(), int(values::eStateNormal));
    }

    void selectionsCarryTheModeKeys()
    {
        QCOMPARE(value<values::ValueSelection>("RecordReplayModes")->GetItems().size(), size_t(6));
        QCOMPARE(value<values::ValueSelection>("AllRecordReplayModes")->GetItems().size(), size_t(5));
        QCOMPARE(value<values::ValueSelection>("ReplayMode")->GetItems().size(), size_t(6));
        QVERIFY(values::Tree::Instance()->FindValueAs<values::IValueNumeric>(replayTimePath(1)));
        QCOMPARE(value<values::Value<QString>>("DeviceID", 1)->Get(), QStringLiteral("Dev2"));
    }

    void recordThenStopCreatesACompletedRecord()
    {
        const quint64 freeBefore = m_sim->Backend()->GetDevice("Dev1").freeSpace;
        const qint64 started = m_now;
        select("AllRecordReplayModes", Admin::eRecordReplayAllModes_Startrecord);
        // Never inside the writer's notification.
        QCOMPARE(key("AllRecordReplayModes"), long(Admin::eRecordReplayAllModes_Startrecord));
        QTRY_COMPARE(key("AllRecordReplayModes"), long(Admin::eRecordReplayAllModes_Record));
        QVERIFY(m_sim->IsRecording(0));
        QCOMPARE(value<values::ValueNumeric<values::int64>>("RecordCounterStartTime")->Get(), started);
        const QString name = value<values::Value<QString>>("RecordName")->Get();
        QVERIFY(name.startsWith("CH1_"));

        advance(3500000);
        QVERIFY(m_sim->Backend()->GetDevice("Dev1").freeSpace < freeBefore);

        select("AllRecordReplayModes", Admin::eRecordReplayAllModes_Recordreplaystopped);
        QTRY_COMPARE(key("AllRecordReplayModes"), long(Admin::eRecordReplayAllModes_Stopped));
        QVERIFY(!m_sim->IsRecording(0));
        const QString id = m_sim->LastRecordId(0);
        auto record = m_sim->Backend()->GetRecord("Dev1", id);
        QVERIFY(record);
        QCOMPARE(record->GetRecordName(), name);
        QCOMPARE(record->GetRecordStatus(), int(VOREX_RecordData::RecordStatusCompleted));
        QCOMPARE(qint64(record->GetStartTime()), started);
        QCOMPARE(qint64(record->GetStopTime()), started + 3500000);
        QCOMPARE(record->GetIndexEntry().size(), 2);
        QCOMPARE(record->GetIndexEntry()[1].GetRecordOffset(), record->GetStopPosition());
        QCOMPARE(record->GetBookmarkEntry().size(), 1);
        QCOMPARE(freeBefore - m_sim->Backend()->GetDevice("Dev1").freeSpace, record->GetRecordSize());
        // The new record becomes the channel's record, with its range.
        QCOMPARE(value<values::Value<QString>>("RecordID")->Get(), id);
        QCOMPARE(value<values::ValueNumeric<values::int64>>("ReplayEnd")->Get(), qint64(record->GetStopPosition()));
    }

    void recordNameFromTheValueOrGenerated()
    {
        value<values::Value<QString>>("RecordName")->Set("Operator's name", &m_client);
        select("AllRecordReplayModes", 0);
        QTRY_COMPARE(key("AllRecordReplayModes"), 1L);
        select("AllRecordReplayModes", 3);
        QTRY_COMPARE(key("AllRecordReplayModes"), 4L);
        QCOMPARE(m_sim->Backend()->GetRecord("Dev1", m_sim->LastRecordId(0))->GetRecordName(), QStringLiteral("Operator's name"));
        // Nobody named the next one: the old name is not reused.
        m_now += 2000000;
        select("AllRecordReplayModes", 0);
        QTRY_COMPARE(key("AllRecordReplayModes"), 1L);
        select("AllRecordReplayModes", 3);
        QTRY_COMPARE(key("AllRecordReplayModes"), 4L);
        QVERIFY(m_sim->Backend()->GetRecord("Dev1", m_sim->LastRecordId(0))->GetRecordName().startsWith("CH1_"));
    }

    void continuousRecordIsLimitedToItsSize()
    {
        const quint64 freeBefore = m_sim->Backend()->GetDevice("Dev1").freeSpace;
        value<values::Value<int>>("FileSizeInKB")->Set(64, &m_client);
        select("AllRecordReplayModes", 0);
        QTRY_COMPARE(key("AllRecordReplayModes"), long(Admin::eRecordReplayAllModes_Recordcontinuous));
        for (int i = 0; i < 10; ++i)
            advance(1000000);
        QCOMPARE(freeBefore - m_sim->Backend()->GetDevice("Dev1").freeSpace, quint64(64 * 1024));
        select("AllRecordReplayModes", 3);
        QTRY_COMPARE(key("AllRecordReplayModes"), 4L);
    }

    void stopBeforeTheRecordStartedWithdrawsTheRequest()
    {
        const size_t before = m_sim->Backend()->GetRecords("Dev1").size();
        select("AllRecordReplayModes", 0);
        select("AllRecordReplayModes", 4); // the toolbar's stop while the request is pending
        settle();
        QCOMPARE(key("AllRecordReplayModes"), 4L);
        QVERIFY(!m_sim->IsRecording(0));
        QCOMPARE(m_sim->Backend()->GetRecords("Dev1").size(), before);
    }

    void recordingShrinksTheSmallDeviceUntilFull()
    {
        value<values::Value<QString>>("DeviceID")->Set("Dev3", &m_client);
        select("AllRecordReplayModes", 0);
        QTRY_COMPARE(key("AllRecordReplayModes"), 1L);
        advance(50 * 1000000); // 512 KiB/s: 25 of the 96 free MiB
        QCOMPARE(value<values::Value<QString>>("ErrorCode")->Get(), QString());
        advance(50 * 1000000); // below 5 % of 1 GiB
        QCOMPARE(value<values::Value<QString>>("ErrorCode")->Get(), QStringLiteral("VRX_WARN_DISC_ALMOST_FULL"));
        value<values::Value<QString>>("ErrorCode")->Set(QString(), &m_client);
        advance(50 * 1000000);
        QCOMPARE(value<values::Value<QString>>("ErrorCode")->Get(), QString()); // warned once
        advance(100 * 1000000);
        QCOMPARE(m_sim->Backend()->GetDevice("Dev3").freeSpace, quint64(0));
        QCOMPARE(value<values::Value<QString>>("ErrorCode")->Get(), QStringLiteral("VRX_ERR_DISC_FULL"));
    }

    void replayOnceRunsThroughItsModes()
    {
        const VOREX_RecordData r = firstSeededRecord();
        selectRecord(r);
        QCOMPARE(value<values::ValueNumeric<values::int64>>("ReplayEnd")->Get(), qint64(r.GetStopPosition()));
        std::vector<long> seen = replayModesSeen([&] { QCOMPARE(startReplay(r, 0, r.GetStopPosition(), 1), 0u); });
        QCOMPARE(seen, (std::vector<long>{1, 4}));
        QCOMPARE(m_sim->ReplayTime(0), qint64(r.GetStartTime()));

        advance(10000000);
        QCOMPARE(m_sim->ReplayTime(0), qint64(r.GetStartTime()) + 10000000);
        seen = replayModesSeen([&] { advance(qint64(r.GetStopTime() - r.GetStartTime())); });
        QCOMPARE(seen, (std::vector<long>{5, 0}));
        QCOMPARE(m_sim->ReplayPasses(0), 1);
        QCOMPARE(m_sim->ReplayTime(0), qint64(r.GetStopTime()));
    }

    void replayHonoursItsRangeAndCount()
    {
        const VOREX_RecordData r = firstSeededRecord();
        const quint64 quarter = r.GetStopPosition() / 4;
        const qint64 span = qint64(r.GetStopTime() - r.GetStartTime());
        QCOMPARE(startReplay(r, quarter, 3 * quarter, 2), 0u);
        QTRY_COMPARE(key("ReplayMode"), 4L);
        QCOMPARE(m_sim->ReplayTime(0), qint64(r.GetStartTime()) + span / 4);
        advance(span / 2 + 1000);
        QCOMPARE(m_sim->ReplayPasses(0), 1);
        QCOMPARE(key("ReplayMode"), 4L); // second pass from the range start
        QVERIFY(m_sim->ReplayTime(0) < qint64(r.GetStartTime()) + span / 4 + 2000);
        advance(span / 2);
        QCOMPARE(m_sim->ReplayPasses(0), 2);
        QTRY_COMPARE(key("ReplayMode"), 0L);
    }

    void endlessReplayLoopsAndPauses()
    {
        const VOREX_RecordData r = firstSeededRecord();
        const qint64 span = qint64(r.GetStopTime() - r.GetStartTime());
        QCOMPARE(startReplay(r, 0, 0, 0), 0u); // no range yet: the whole record
        QTRY_COMPARE(key("ReplayMode"), 4L);
        for (int pass = 0; pass < 3; ++pass)
            advance(span);
        QCOMPARE(m_sim->ReplayPasses(0), 3);
        QCOMPARE(key("ReplayMode"), 4L);

        std::vector<long> seen = replayModesSeen([&] { QCOMPARE(m_replay->PauseReplay("Dev1", r.GetRecordID()), 0u); });
        QCOMPARE(seen, (std::vector<long>{3, 2}));
        const qint64 pausedAt = m_sim->ReplayTime(0);
        advance(5000000);
        QCOMPARE(m_sim->ReplayTime(0), pausedAt);

        seen = replayModesSeen([&] { QCOMPARE(m_replay->ContinueReplay("Dev1", r.GetRecordID()), 0u); });
        QCOMPARE(seen, (std::vector<long>{4}));
        advance(1000000);
        QCOMPARE(m_sim->ReplayTime(0), pausedAt + 1000000);

        seen = replayModesSeen([&] { QCOMPARE(m_replay->StopReplay("Dev1", r.GetRecordID()), 0u); });
        QCOMPARE(seen, (std::vector<long>{5, 0}));
    }

    void commandsAreRefusedWithTheManagersCodes()
    {
        const VOREX_RecordData r = firstSeededRecord();
        QCOMPARE(m_replay->StartReplay("NoSuchDevice", r.GetRecordID(), VOREX_RecordData::eDataRate_3, 0, 0, 1), 2u);
        QCOMPARE(m_replay->StartReplay("Dev1", "NoSuchRecord", VOREX_RecordData::eDataRate_3, 0, 0, 1), 3u);
        QCOMPARE(m_replay->PauseReplay("Dev1", r.GetRecordID()), quint32(eResult_NoReplay));
        QCOMPARE(m_replay->ContinueReplay("Dev1", r.GetRecordID()), quint32(eResult_NoReplay));

        m_sim->FailNextReplayCommand(0, 77);
        QCOMPARE(startReplay(r, 0, 0, 1), 77u);
        settle();
        QCOMPARE(key("ReplayMode"), 0L); // no effect
        QCOMPARE(startReplay(r, 0, 0, 1), 0u); // only once
        QTRY_COMPARE(key("ReplayMode"), 4L);
        m_replay->StopReplay("Dev1", r.GetRecordID());
        QTRY_COMPARE(key("ReplayMode"), 0L);

        select("AllRecordReplayModes", 0);
        QTRY_COMPARE(key("AllRecordReplayModes"), 1L);
        QCOMPARE(startReplay(r, 0, 0, 1), quint32(eResult_ChannelBusy));

        VorexCommon::GuiToServerReplayCorbaHandler stranger(m_server);
        stranger.Initialize("NotAChannel");
        QCOMPARE(stranger.StartReplay("Dev1", r.GetRecordID(), VOREX_RecordData::eDataRate_3, 0, 0, 1), quint32(eResult_UnknownChannel));

        m_sim->SetConnected(false);
        QCOMPARE(m_replay->StopReplay("Dev1", r.GetRecordID()), quint32(RecorderManagerBackend::eResult_NotConnected));
    }

    void deviceTimeIsTheHostClock()
    {
        VorexCommon::GuiToServerAdminCorbaHandler admin(m_server);
        quint64 time = 0;
        bool flag = false;
        QCOMPARE(admin.GetDeviceTime("Dev2", time, flag), 0u);
        QCOMPARE(qint64(time), m_now.load());
        QVERIFY(flag);
        QCOMPARE(admin.GetDeviceTime("Nope", time, flag), 2u);
    }

    void bookmarksSentAreStored()
    {
        const VOREX_RecordData r = firstSeededRecord();
        const QVector<VOREX_XML::BookmarkEntry> marks{{r.GetStartTime() + 1, "a"}, {r.GetStartTime() + 2, "b"}};
        QCOMPARE(m_sim->Backend()->SetBookmarkEntries(vorex::RecordIdentifier("VOREX", "Dev1", r.GetRecordID()), marks), 0u);
        QCOMPARE(m_sim->Backend()->GetRecord("Dev1", r.GetRecordID())->GetBookmarkEntry(), marks);
    }

    void externalRecordAndStop()
    {
        m_sim->TriggerExternalRecord(0, true);
        QVERIFY(value<values::Value<bool>>("TriggeredByCorbaCall")->Get());
        QVERIFY(value<values::Value<int>>("FileSizeInKB")->Get() != 0);
        QCOMPARE(key("AllRecordReplayModes"), 0L);
        QTRY_COMPARE(key("AllRecordReplayModes"), 2L);
        m_sim->TriggerExternalStop(0);
        QCOMPARE(key("AllRecordReplayModes"), 3L);
        QTRY_COMPARE(key("AllRecordReplayModes"), 4L);
    }

    void externalReplayPicksARecordAndLoops()
    {
        QVERIFY(m_sim->TriggerExternalReplay(0, true));
        QVERIFY(value<values::Value<bool>>("TriggeredByCorbaCall")->Get());
        QCOMPARE(value<values::Value<int>>("NoOfReplays")->Get(), 0);
        QVERIFY(!value<values::Value<QString>>("RecordID")->Get().isEmpty());
        QTRY_COMPARE(key("ReplayMode"), 4L);
        m_sim->TriggerExternalStop(0);
        QTRY_COMPARE(key("ReplayMode"), 0L);

        select("AllRecordReplayModes", 0);
        QTRY_COMPARE(key("AllRecordReplayModes"), 1L);
        QVERIFY(!m_sim->TriggerExternalReplay(0, false)); // a record runs
    }

    void deletedChannelIsRebuiltInItsInitialState()
    {
        select("AllRecordReplayModes", 0);
        QTRY_COMPARE(key("AllRecordReplayModes"), 1L);
        vrxtest::RecordingObserver nodeObserver;
        values::Tree::Instance()->FindNode(channelPath(0))->AddObserver(&nodeObserver);
        m_sim->DeleteChannel(0);
        QCOMPARE(nodeObserver.count(VC_DELETING), 1);
        QVERIFY(!m_sim->ChannelExists(0));
        QCOMPARE(startReplay(firstSeededRecord(), 0, 0, 1), quint32(eResult_UnknownChannel));
        settle(); // nothing scheduled before the deletion may act on the new node

        m_sim->RecreateChannel(0);
        QVERIFY(m_sim->ChannelExists(0));
        settle();
        QCOMPARE(key("AllRecordReplayModes"), 4L);
        QVERIFY(!m_sim->IsRecording(0));
        // And it is served again.
        select("AllRecordReplayModes", 0);
        QTRY_COMPARE(key("AllRecordReplayModes"), 1L);
    }

    void requestsWhileUnreachableAreServedOnReturn()
    {
        const VOREX_RecordData r = firstSeededRecord();
        QCOMPARE(startReplay(r, 0, 0, 0), 0u);
        QTRY_COMPARE(key("ReplayMode"), 4L);
        m_sim->SetConnected(false);
        const qint64 t = m_sim->ReplayTime(0);
        advance(2000000);
        QCOMPARE(m_sim->ReplayTime(0), t); // the manager is out of reach
        QCOMPARE(key("ReplayMode"), 4L);   // and cannot tell yet

        select("AllRecordReplayModes", 0, 1);
        settle();
        QCOMPARE(key("AllRecordReplayModes", 1), 0L);
        const std::vector<long> seen = replayModesSeen([&] { m_sim->SetConnected(true); });
        QCOMPARE(seen, (std::vector<long>{5, 0})); // the replay ended with its client
        QTRY_COMPARE(key("AllRecordReplayModes", 1), 1L);
        advance(1000000);
        QCOMPARE(m_sim->ReplayTime(0), t);
    }

    void flagsAndErrorCodes()
    {
        m_sim->SetFlag(0, RecorderManagerSimulator::ReplayFlag, false);
        QVERIFY(!value<values::Value<bool>>("ReplayFlag")->Get());
        m_sim->SetFlagState(0, RecorderManagerSimulator::RecordFlag, values::eStateDisabled);
        QCOMPARE(value<values::Value<bool>>("RecordFlag")->GetState(), int(values::eStateDisabled));
        m_sim->SetFlagState(0, RecorderManagerSimulator::RecordFlag, values::eStateNormal);
        QCOMPARE(value<values::Value<bool>>("RecordFlag")->GetState(), int(values::eStateNormal));
        for (const QString& k : RecorderManagerSimulator::ErrorKeys()) {
            std::unique_ptr<VorexCommon::ErrorDescriptor::StruReturnErrorCode> e(VorexCommon::ErrorDescriptor().GetErrorCodePtr(k));
            QVERIFY2(e->m_eClassifier != VorexCommon::ErrorDescriptor::NO_ERROR, qPrintable(k));
            m_sim->SetErrorCode(1, k);
            QCOMPARE(value<values::Value<QString>>("ErrorCode", 1)->Get(), k);
        }
        m_sim->SetErrorCode(1, QString());
        QCOMPARE(value<values::Value<QString>>("ErrorCode", 1)->Get(), QString());
    }

    void userEventsReachTheRightsObject()
    {
        QSignalSpy spy(VorexCommon::UserRights::Instance(), SIGNAL(UpdateUserRights(QString)));
        RecorderManagerSimulator::SetUserRight("VOREX_MANAGEMENT.addHistoryComment", 0);
        QVERIFY(!VorexCommon::UserRights::Instance()->HistoryCommentAllowed());
        RecorderManagerSimulator::SendUserEvent("User changed");
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("User changed"));
        RecorderManagerSimulator::SetUserRight("VOREX_MANAGEMENT.addHistoryComment", 1);
    }

    void commandsFromAnotherThread()
    {
        const VOREX_RecordData r = firstSeededRecord();
        std::atomic<quint32> result{99};
        std::thread worker([&] { result = startReplay(r, 0, 0, 0); });
        worker.join();
        QCOMPARE(result.load(), 0u);
        QTRY_COMPARE(key("ReplayMode"), 4L);
        std::thread stopper([&] {
            for (int i = 0; i < 50; ++i)
                m_replay->PauseReplay("Dev1", r.GetRecordID());
            result = m_replay->StopReplay("Dev1", r.GetRecordID());
        });
        for (int i = 0; i < 20; ++i)
            advance(100000);
        stopper.join();
        QCOMPARE(result.load(), 0u);
        QTRY_COMPARE(key("ReplayMode"), 0L);
    }
};

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
