// Record name, duration and record selection of a live toolbar served by the
// simulated recorder manager.

#include "recordfixture.h"
#include "testsupport.h"
#include "vcwidgets.h"
#include "vorexgui.h"
#include "vorexwidgets.h"

#include <QDateTime>
#include <QLineEdit>
#include <QtTest>

#include <memory>

using VOREX_XML::IndexEntry;
using VOREX_XML::VOREX_RecordData;

namespace {

using vrxtest::at;
using vrxtest::kDevice;
using vrxtest::kSec;
using vrxtest::record;

const QString kPlaceholder = QStringLiteral("File name of selected replay");

struct Fixture : vrxtest::RecordFixture
{
    ~Fixture()
    {
        VorexGUI::OpenFileDialog::SetAnswerHook(nullptr);
        VorexGUI::RecordParameterDialog::SetAnswerHook(nullptr);
    }

    QWidget* toolbarWidget() const { return vrxtest::toolbarWidget(live.parent()); }
    VorexGUI::VorexServerGUIController* controller() const
    {
        return toolbarWidget()->findChild<VorexGUI::VorexServerGUIController*>();
    }
    QLineEdit* nameField() const { return live.widget<QLineEdit>(QStringLiteral("VorexRecordName")); }
    qint64 duration() const { return live.value<values::ValueNumeric<values::int64>>("Duration")->Get(); }
    void setDuration(qint64 d) { live.value<values::ValueNumeric<values::int64>>("Duration")->Set(d, nullptr); }
    QString text(const char* key) const { return live.value<values::Value<QString>>(key)->Get(); }
    int recordTimeout() const { return live.value<values::Value<int>>("RecordTimeout")->Get(); }
    void setRecordTimeout(int seconds) { live.value<values::Value<int>>("RecordTimeout")->Set(seconds, nullptr); }
    // The name the toolbar makes up for channel 1 at the host clock's time.
    QString generatedName() const
    {
        return QStringLiteral("CH1_")
            + QDateTime::fromMSecsSinceEpoch(clock.now() / 1000).toString(QStringLiteral("yyyyMMdd:hhmmss_"));
    }

    // The open-file button as the operator presses it.
    void openFile()
    {
        QAction* action = live.action(QStringLiteral("VorexOpenFile"));
        QVERIFY(action);
        // Emitted directly: whether the button may be pressed now is the
        // enablement rules' business, not this suite's.
        QVERIFY(QMetaObject::invokeMethod(action, "triggered", Q_ARG(bool, false)));
        vrxtest::settle();
    }
};

vorex::RecordIdentifier idOf(const QString& recordId)
{
    return vorex::RecordIdentifier(QStringLiteral("VOREX"), kDevice, recordId);
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Fixture> f;

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }
    void init() { f.reset(new Fixture); }
    void cleanup() { f.reset(); }

    // ------------------------------------------------------------ duration

    void duration_data()
    {
        QTest::addColumn<quint64>("start");
        QTest::addColumn<quint64>("stop");
        QTest::addColumn<QVector<quint64>>("index"); // timestamps; offsets do not matter
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("expected"); // -1: the value stays as it was

        QTest::newRow("1.9 s to 3.1 s") << at(1.9) << at(3.1) << QVector<quint64>{} << 5 << Q_INT64_C(2000000);
        QTest::newRow("1.1 s to 2.9 s") << at(1.1) << at(2.9) << QVector<quint64>{} << 5 << Q_INT64_C(1000000);
        QTest::newRow("swapped 3.1 s, 1.9 s") << at(3.1) << at(1.9) << QVector<quint64>{} << 5 << Q_INT64_C(2000000);
        QTest::newRow("swapped 2.9 s, 1.1 s") << at(2.9) << at(1.1) << QVector<quint64>{} << 5 << Q_INT64_C(1000000);
        QTest::newRow("2-entry index wins") << at(0) << at(100) << QVector<quint64>{at(1.9), at(3.1)} << 5
                                            << Q_INT64_C(2000000);
        QTest::newRow("2-entry index swapped") << at(0) << at(100) << QVector<quint64>{at(3.1), at(1.9)} << 5
                                               << Q_INT64_C(2000000);
        QTest::newRow("1-entry index ignored") << at(1.9) << at(3.1) << QVector<quint64>{at(50)} << 5
                                               << Q_INT64_C(2000000);
        QTest::newRow("3-entry index ignored") << at(1.9) << at(3.1) << QVector<quint64>{at(10), at(20), at(30)} << 5
                                               << Q_INT64_C(2000000);
        QTest::newRow("status 1 writes nothing") << at(1.9) << at(3.1) << QVector<quint64>{} << 1 << Q_INT64_C(-1);
        QTest::newRow("status 4 writes nothing") << at(1.9) << at(3.1) << QVector<quint64>{} << 4 << Q_INT64_C(-1);
        // A completed record without a known end has no duration.
        QTest::newRow("no stop time") << at(5) << quint64(0) << QVector<quint64>{} << 5 << Q_INT64_C(0);
        QTest::newRow("no times") << quint64(0) << quint64(0) << QVector<quint64>{} << 5 << Q_INT64_C(0);
    }

    void duration()
    {
        QFETCH(quint64, start);
        QFETCH(quint64, stop);
        QFETCH(QVector<quint64>, index);
        QFETCH(int, status);
        QFETCH(qint64, expected);

        f->show(record(QStringLiteral("T1"), at(10), at(20)));
        QCOMPARE(f->duration(), 10 * kSec);
        f->setDuration(777);

        // The manager updates the current record.
        VOREX_RecordData r = record(QStringLiteral("T1"), start, stop, 1000, status);
        QVector<IndexEntry> entries;
        for (quint64 t : index)
            entries << IndexEntry(t, quint64(entries.size()) * 100);
        r.SetIndexEntry(entries);
        f->live.backend().SetRecord(kDevice, r);
        vrxtest::settle();

        QCOMPARE(f->duration(), expected < 0 ? Q_INT64_C(777) : expected);
        // The stopped counter shows what the value holds.
        auto* counter = f->live.widget<TickCounter>(QStringLiteral("VorexToolbarRecordCounter"));
        QVERIFY(counter && !counter->IsRunning());
        QTRY_COMPARE(counter->CurrentDuration(), f->duration());
    }

    // ------------------------------------------------------------ record name

    void operatorNamesRecording_data()
    {
        QTest::addColumn<long>("mode");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("dialogs"); // options of each dialog shown
        QTest::newRow("record, accepted") << long(VOREX_XML::Admin::eRecordReplayMode_Record) << 1 << "19";
        // Whatever the answer, its name and time-out are taken.
        QTest::newRow("record, cancelled") << long(VOREX_XML::Admin::eRecordReplayMode_Record) << 0 << "19";
        // The continuous start asks for its parameters itself; no second question.
        QTest::newRow("continuous record") << long(VOREX_XML::Admin::eRecordReplayMode_Recordcontinuous) << 1 << "31";
    }

    void operatorNamesRecording()
    {
        QFETCH(long, mode);
        QFETCH(int, answer);
        QFETCH(QString, dialogs);

        QStringList shown;
        QString offered;
        VorexGUI::RecordParameterDialog::SetAnswerHook([&](VorexGUI::RecordParameterDialog& dialog) {
            shown << QString::number(dialog.options());
            offered = dialog.recordName();
            dialog.setRecordName(QStringLiteral("Harbour watch"));
            dialog.setTimeout(42);
            dialog.setRecordSizeLimitBytes(1024 * 1024);
            return shown.size() == 1 && mode == VOREX_XML::Admin::eRecordReplayMode_Recordcontinuous ? 1 : answer;
        });
        f->setRecordTimeout(5);
        f->live.select("RecordReplayModes", mode);
        vrxtest::settle();
        QVERIFY(f->live.simulator().IsRecording(0));

        QCOMPARE(shown.join(QLatin1Char(' ')), dialogs);
        QCOMPARE(offered, f->generatedName());
        QCOMPARE(f->nameField()->text(), QStringLiteral("Harbour watch"));
        QCOMPARE(f->recordTimeout(), 42);

        // The manager announces the recording again: the same name and
        // time-out, and nobody is asked twice.
        f->setRecordTimeout(5);
        f->live.select("AllRecordReplayModes", f->live.selection("AllRecordReplayModes"));
        vrxtest::settle();
        QCOMPARE(shown.join(QLatin1Char(' ')), dialogs);
        QCOMPARE(f->nameField()->text(), QStringLiteral("Harbour watch"));
        QCOMPARE(f->recordTimeout(), 42);
    }

    void outsideTriggeredRecordingGetsGeneratedName_data()
    {
        QTest::addColumn<bool>("withNameValue");
        QTest::newRow("RecordName exists") << true;
        QTest::newRow("no RecordName value") << false;
    }

    void outsideTriggeredRecordingGetsGeneratedName()
    {
        QFETCH(bool, withNameValue);
        int asked = 0;
        VorexGUI::RecordParameterDialog::SetAnswerHook([&](VorexGUI::RecordParameterDialog&) {
            ++asked;
            return 1;
        });
        if (!withNameValue)
            QVERIFY(values::Tree::Instance()->Release(f->live.key("RecordName")));
        f->setRecordTimeout(5);
        const QString before = f->nameField()->text();

        f->live.simulator().TriggerExternalRecord(0, false);
        vrxtest::settle();
        QVERIFY(f->live.simulator().IsRecording(0));
        QCOMPARE(asked, 0);
        QCOMPARE(f->nameField()->text(), withNameValue ? f->generatedName() : before);
        QCOMPARE(f->recordTimeout(), 5);
    }

    // ------------------------------------------------------------ selection

    void openFileSelectsRecord()
    {
        // The second data rate offered comes from AvailableDataRateClass2.
        f->live.value<values::Value<QString>>("AvailableDataRateClass2")->Set(QStringLiteral("DataRate5"), nullptr);
        VOREX_RecordData r = record(QStringLiteral("T9"), at(1.9), at(3.1));
        r.SetDataRate(VOREX_RecordData::eDataRate_5);
        f->live.backend().SetRecord(kDevice, r);
        vrxtest::settle();

        vorex::RecordIdentifierList offered;
        VorexGUI::OpenFileDialog::SetAnswerHook([&](VorexGUI::OpenFileDialog& dialog) {
            offered = dialog.candidates();
            return dialog.selectRecord(idOf(QStringLiteral("T9"))) ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        f->openFile();

        QVERIFY(offered.contains(idOf(QStringLiteral("T9"))));
        QCOMPARE(f->text("RecordID"), QStringLiteral("T9"));
        QCOMPARE(f->text("DeviceID"), kDevice);
        QCOMPARE(f->nameField()->text(), QStringLiteral("Record T9"));
        QCOMPARE(f->nameField()->toolTip(), QStringLiteral("Record T9"));
        QCOMPARE(f->text("ReplayDataRateClass"), QStringLiteral("DataRate5"));
        QCOMPARE(f->duration(), 2 * kSec);
        QCOMPARE(f->controller()->selectedRecords(), vorex::RecordIdentifierList{idOf(QStringLiteral("T9"))});
    }

    // A replay asked for without a record: the operator picks one first.
    void replayWithoutRecordAsksForOne_data()
    {
        QTest::addColumn<bool>("pick");
        QTest::newRow("record picked") << true;
        QTest::newRow("cancelled") << false;
    }

    void replayWithoutRecordAsksForOne()
    {
        QFETCH(bool, pick);
        f->live.backend().SetRecord(kDevice, record(QStringLiteral("T1"), at(1.9), at(3.1)));
        vrxtest::settle();
        QCOMPARE(f->text("RecordID"), QString());
        int asked = 0;
        VorexGUI::OpenFileDialog::SetAnswerHook([&](VorexGUI::OpenFileDialog& dialog) {
            ++asked;
            if (!pick)
                return int(QDialog::Rejected);
            dialog.selectRecord(idOf(QStringLiteral("T1")));
            return int(QDialog::Accepted);
        });
        f->live.backend().ClearCommands();

        f->live.select("RecordReplayModes", VOREX_XML::Admin::eRecordReplayMode_Replay);
        vrxtest::settle();

        QCOMPARE(asked, 1);
        QCOMPARE(f->live.backend().CommandCount(QStringLiteral("StartReplay")), pick ? 1 : 0);
        QCOMPARE(f->text("RecordID"), pick ? QStringLiteral("T1") : QString());
        QCOMPARE(f->nameField()->text(), pick ? QStringLiteral("Record T1") : QString());
        if (pick)
            QCOMPARE(f->duration(), 2 * kSec);
    }

    // A recording of 5.5 s of host time: the stopped toolbar shows its
    // whole seconds.
    void finishedRecordingShowsItsDuration()
    {
        VorexGUI::RecordParameterDialog::SetAnswerHook([](VorexGUI::RecordParameterDialog&) { return 1; });
        f->live.select("RecordReplayModes", VOREX_XML::Admin::eRecordReplayMode_Record);
        vrxtest::settle();
        QVERIFY(f->live.simulator().IsRecording(0));
        auto* counter = f->live.widget<TickCounter>(QStringLiteral("VorexToolbarRecordCounter"));
        QVERIFY(counter->IsRunning());

        f->clock.advance(5500000);
        f->live.simulator().Tick();
        f->live.select("RecordReplayModes", VOREX_XML::Admin::eRecordReplayMode_Stop);
        vrxtest::settle();

        QCOMPARE(f->live.selection("AllRecordReplayModes"), long(VOREX_XML::Admin::eRecordReplayAllModes_Stopped));
        QCOMPARE(f->text("RecordID"), f->live.simulator().LastRecordId(0));
        QVERIFY(!counter->IsRunning());
        QCOMPARE(f->duration(), 5 * kSec);
        QCOMPARE(counter->CurrentDuration(), 5 * kSec);
    }

    void openFileWithoutChoiceResendsSelection_data()
    {
        QTest::addColumn<bool>("withRecord");
        QTest::addColumn<int>("answer");
        QTest::newRow("cancelled, record selected") << true << int(QDialog::Rejected);
        QTest::newRow("cancelled, nothing selected") << false << int(QDialog::Rejected);
        QTest::newRow("accepted without a record") << true << int(QDialog::Accepted);
    }

    void openFileWithoutChoiceResendsSelection()
    {
        QFETCH(bool, withRecord);
        QFETCH(int, answer);

        f->live.backend().SetRecord(kDevice, record(QStringLiteral("T2"), at(1), at(2)));
        if (withRecord)
            f->show(record(QStringLiteral("T1"), at(1), at(5)));
        const QString nameBefore = f->nameField()->text();

        // Browsing in the dialog tells the controller about other records.
        VorexGUI::OpenFileDialog::SetAnswerHook([&](VorexGUI::OpenFileDialog&) {
            f->controller()->sl_selectedRecordsChanged({idOf(QStringLiteral("T2"))});
            return answer;
        });
        f->openFile();

        const vorex::RecordIdentifierList expected =
            withRecord ? vorex::RecordIdentifierList{idOf(QStringLiteral("T1"))} : vorex::RecordIdentifierList{};
        QCOMPARE(f->controller()->selectedRecords(), expected);
        QCOMPARE(f->text("RecordID"), withRecord ? QStringLiteral("T1") : QString());
        QCOMPARE(f->nameField()->text(), nameBefore);
    }

    void removedRecordClearsName()
    {
        f->show(record(QStringLiteral("T1"), at(1), at(5)));
        VorexGUI::OpenFileDialog::SetAnswerHook([](VorexGUI::OpenFileDialog& dialog) {
            dialog.selectRecord(idOf(QStringLiteral("T1")));
            return int(QDialog::Accepted);
        });
        f->openFile();
        QCOMPARE(f->nameField()->text(), QStringLiteral("Record T1"));

        f->live.backend().RemoveRecord(kDevice, QStringLiteral("T1"));
        vrxtest::settle();
        QCOMPARE(f->nameField()->text(), QString());
        QCOMPARE(f->nameField()->toolTip(), kPlaceholder);
    }
};

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
