// The simulated recorder manager's records and device space, driven through
// the value tree as the toolbar drives it, on a test clock. Its replays are
// seen through the toolbar suites and the host's scripted roads.
#include "recordermanagersimulator.h"
#include "testsupport.h"
#include "vorexclient.h"

#include <QtTest>

#include <atomic>

using namespace VorexSim;
using VOREX_XML::VOREX_RecordData;

class TestSimulator : public QObject
{
    Q_OBJECT

    std::unique_ptr<RecorderManagerSimulator> m_sim;
    std::atomic<qint64> m_now{1000000000000};
    vrxtest::RecordingObserver m_client; // writes as the toolbar would

    template <typename V>
    std::shared_ptr<V> value(const char* key) const
    {
        return values::Tree::Instance()->FindValueAs<V>(m_sim->ValuePath(0, key));
    }
    QString text(const char* key) const { return value<values::Value<QString>>(key)->Get(); }
    long modes() const { return m_sim->RecordReplayAllModes(0); }
    void select(long mode) { value<values::ValueSelection>("AllRecordReplayModes")->SelectIndex(mode, &m_client); }
    void advance(qint64 us)
    {
        m_now += us;
        m_sim->Tick();
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
        auto path = [](int i) { return QStringLiteral("/SimTest/Channel%1").arg(i + 1); };
        auto time = [](int i) { return QStringLiteral("/SimTestHost/Channel%1/ReplayTime").arg(i + 1); };
        m_sim.reset(new RecorderManagerSimulator(SimulatorOptions::Fast(2, path, time)));
        m_sim->Start();
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->IsConnected(), 1000);
    }
    void cleanup()
    {
        m_sim.reset(); // releases the channels
        QVERIFY(!values::Tree::Instance()->FindNode("/SimTest/Channel1"));
        QVERIFY(!VorexCommon::RecorderManagerBackend::Installed());
    }

    void recordThenStopCreatesACompletedRecord()
    {
        const quint64 freeBefore = m_sim->Backend()->GetDevice("Dev1").freeSpace;
        select(0); // start record
        QCOMPARE(modes(), 0L); // never answered inside the writer's notification
        vrxtest::settle();
        QCOMPARE(modes(), 1L); // recording
        value<values::Value<QString>>("RecordName")->Set("Harbour watch: 2nd", &m_client); // the operator's
        vrxtest::settle();
        advance(3500000);
        select(3); // stop
        vrxtest::settle();
        QCOMPARE(modes(), 4L);
        auto record = m_sim->Backend()->GetRecord("Dev1", m_sim->LastRecordId(0));
        QVERIFY(record && record->GetRecordName() == "Harbour watch: 2nd");
        QCOMPARE(record->GetRecordStatus(), int(VOREX_RecordData::RecordStatusCompleted));
        QCOMPARE(qint64(record->GetStopTime() - record->GetStartTime()), qint64(3500000));
        QCOMPARE(freeBefore - m_sim->Backend()->GetDevice("Dev1").freeSpace, record->GetRecordSize());
        QCOMPARE(text("RecordID"), record->GetRecordID()); // the new record becomes the channel's
        QCOMPARE(value<values::ValueNumeric<values::int64>>("ReplayEnd")->Get(), qint64(record->GetStopPosition()));
    }

    // The time-out the operator set ends the record at that time, however
    // coarse the manager's ticks.
    void recordEndsAtItsTimeOut()
    {
        value<values::Value<int>>("RecordTimeout")->Set(60, &m_client);
        select(0);
        vrxtest::settle();
        advance(59 * 1000000);
        QCOMPARE(modes(), 1L);
        advance(12 * 1000000);
        vrxtest::settle();
        QCOMPARE(modes(), 4L);
        auto record = m_sim->Backend()->GetRecord("Dev1", m_sim->LastRecordId(0));
        QCOMPARE(qint64(record->GetStopTime() - record->GetStartTime()), qint64(60 * 1000000));
    }

    void recordingFillsTheSmallDevice()
    {
        value<values::Value<QString>>("DeviceID")->Set("Dev3", &m_client);
        select(0);
        vrxtest::settle();
        advance(50 * 1000000); // 512 KiB/s: 25 of the 96 free MiB
        QCOMPARE(text("ErrorCode"), QString());
        advance(50 * 1000000); // below 5 % of 1 GiB
        QCOMPARE(text("ErrorCode"), QStringLiteral("VRX_WARN_DISC_ALMOST_FULL|Channel1|Dev3"));
        value<values::Value<QString>>("ErrorCode")->Set(QString(), &m_client);
        advance(50 * 1000000);
        QCOMPARE(text("ErrorCode"), QString()); // warned once
        advance(100 * 1000000);
        QCOMPARE(m_sim->Backend()->GetDevice("Dev3").freeSpace, quint64(0));
        QCOMPARE(text("ErrorCode"), QStringLiteral("VRX_ERR_DISC_FULL|Channel1|Dev3"));
    }
};

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
