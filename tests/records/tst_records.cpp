// Record name, duration and record selection of a live toolbar served by the
// simulated recorder manager.

#include "toolbarlook.h"

#include <QDateTime>
#include <QLineEdit>

using namespace vrxtest;

namespace {

vorex::RecordIdentifier idOf(const QString& recordId)
{
    return vorex::RecordIdentifier(QStringLiteral("VOREX"), kDevice, recordId);
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT
    std::unique_ptr<Fixture> f;

    QLineEdit* nameField() const { return f->live.widget<QLineEdit>(QStringLiteral("VorexRecordName")); }
    qint64 durationValue() const { return f->live.value<values::ValueNumeric<values::int64>>("Duration")->Get(); }
    QString text(const char* key) const { return f->live.value<values::Value<QString>>(key)->Get(); }
    int recordTimeout() const { return f->live.value<values::Value<int>>("RecordTimeout")->Get(); }
    TickCounter* counter() const { return f->live.widget<TickCounter>(QStringLiteral("VorexToolbarRecordCounter")); }
    VorexGUI::VorexServerGUIController* controller() const
    {
        return toolbarWidget(f->live.parent())->findChild<VorexGUI::VorexServerGUIController*>();
    }
    // The name the toolbar makes up for channel 1 at the host clock's time.
    QString generatedName() const
    {
        return "CH1_" + QDateTime::fromMSecsSinceEpoch(f->clock.now() / 1000).toString(QStringLiteral("yyyyMMdd:hhmmss_"));
    }
private slots:
    void initTestCase() { failOnQtWarnings(); }
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { tearDown(f); }

    void duration_data()
    {
        QTest::addColumn<quint64>("start");
        QTest::addColumn<quint64>("stop");
        QTest::addColumn<QVector<quint64>>("index"); // timestamps; offsets do not matter
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("expected"); // -1: the value stays as it was
        const QVector<quint64> none;
        QTest::newRow("1.9 s to 3.1 s") << at(1.9) << at(3.1) << none << 5 << 2 * kSec;
        QTest::newRow("1.1 s to 2.9 s") << at(1.1) << at(2.9) << none << 5 << kSec;
        QTest::newRow("swapped 3.1 s, 1.9 s") << at(3.1) << at(1.9) << none << 5 << 2 * kSec;
        QTest::newRow("2-entry index wins") << at(0) << at(100) << QVector<quint64>{at(1.9), at(3.1)} << 5 << 2 * kSec;
        QTest::newRow("1-entry index ignored") << at(1.9) << at(3.1) << QVector<quint64>{at(50)} << 5 << 2 * kSec;
        QTest::newRow("status 1 writes nothing") << at(1.9) << at(3.1) << none << 1 << Q_INT64_C(-1);
        // A completed record without a known end has no duration.
        QTest::newRow("no stop time") << at(5) << quint64(0) << none << 5 << Q_INT64_C(0);
    }
    void duration()
    {
        QFETCH(quint64, start);
        QFETCH(quint64, stop);
        QFETCH(QVector<quint64>, index);
        QFETCH(int, status);
        QFETCH(qint64, expected);
        f->show(record(QStringLiteral("T1"), at(10), at(20)));
        QCOMPARE(durationValue(), 10 * kSec);
        run(*f, {"set Duration 777"});
        QVector<IndexEntry> entries;
        for (quint64 t : index)
            entries << IndexEntry(t, quint64(entries.size()) * 100);
        f->update(record(QStringLiteral("T1"), start, stop, 1000, status, entries));
        QCOMPARE(durationValue(), expected < 0 ? Q_INT64_C(777) : expected);
        // The stopped counter shows what the value holds.
        QVERIFY(!counter()->IsRunning());
        QCOMPARE(counter()->CurrentDuration(), durationValue());
    }

    // The name and time-out the operator gives are taken whatever the answer
    // (the continuous start asks for its parameters itself, once); a record
    // the manager starts gets a made-up name, where there is a value for it,
    // and keeps the time-out.
    void recordingName_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("dialogs"); // options of each dialog shown (each offers the made-up name)
        QTest::addColumn<QString>("name");    // "made up": the name offered to the operator
        QTest::newRow("record, accepted") << QStringList{"host record"} << 1 << "19" << "Harbour watch";
        QTest::newRow("record, cancelled") << QStringList{"host record"} << 0 << "19" << "Harbour watch";
        QTest::newRow("continuous record") << QStringList{"host continuous record"} << 1 << "31" << "Harbour watch";
        QTest::newRow("manager's record") << QStringList{"external record"} << 1 << "" << "made up";
        QTest::newRow("manager's record, no RecordName value") << QStringList{"release RecordName", "external record"} << 1
                                                               << "" << "";
    }
    void recordingName()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, answer);
        QFETCH(QString, dialogs);
        QFETCH(QString, name);
        QStringList shown;
        VorexGUI::RecordParameterDialog::SetAnswerHook([&](VorexGUI::RecordParameterDialog& dialog) {
            const QString offered = dialog.recordName();
            shown << QString::number(dialog.options()) + (offered == generatedName() ? QString() : " offered " + offered);
            dialog.setRecordName(QStringLiteral("Harbour watch"));
            dialog.setTimeout(42);
            dialog.setRecordSizeLimitBytes(1024 * 1024);
            return shown.size() == 1 && steps.last().contains(QLatin1String("continuous")) ? 1 : answer;
        });
        run(*f, QStringList{"set RecordTimeout 5"} + steps);
        QVERIFY(f->live.simulator().IsRecording(0));
        // The manager announces the recording again: the same name and
        // time-out, and nobody is asked twice.
        for (int pass = 0; pass < 2; ++pass) {
            QCOMPARE(shown.join(' '), dialogs);
            QCOMPARE(nameField()->text(), name == QLatin1String("made up") ? generatedName() : name);
            QCOMPARE(recordTimeout(), dialogs.isEmpty() ? 5 : 42);
            run(*f, {"set RecordTimeout 5", QStringLiteral("set AllRecordReplayModes %1").arg(f->live.selection("AllRecordReplayModes"))});
        }
    }

    // The open-file button: the record picked becomes the current one (its
    // data rate one of the classes offered); browsing without a choice
    // leaves the selection as it was.
    void openFile_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("answer"); // -1: T9 picked
        QTest::addColumn<QString>("shown"); // RecordID, name field and its tip, replay data-rate class, duration
        QTest::newRow("T9 picked") << "T1" << -1 << "T9 | Record T9 | Record T9 | DataRate5 | 2000000";
        QTest::newRow("cancelled, record selected") << "T1" << int(QDialog::Rejected)
                                                    << "T1 |  | File name of selected replay | DataRate3 | 4000000";
        QTest::newRow("cancelled, nothing selected") << "" << int(QDialog::Rejected) << " |  | File name of selected replay | DataRate3 | 0";
        QTest::newRow("accepted without a record") << "T1" << int(QDialog::Accepted)
                                                   << "T1 |  | File name of selected replay | DataRate3 | 4000000";
    }
    void openFile()
    {
        QFETCH(QString, current);
        QFETCH(int, answer);
        QFETCH(QString, shown);
        run(*f, {"set AvailableDataRateClass2 DataRate5"});
        VOREX_RecordData r = record(QStringLiteral("T9"), at(1.9), at(3.1));
        r.SetDataRate(VOREX_RecordData::eDataRate_5);
        f->update(r);
        if (!current.isEmpty())
            f->show(record(current, at(1), at(5)));
        VorexGUI::OpenFileDialog::SetAnswerHook([&](VorexGUI::OpenFileDialog& dialog) {
            if (answer < 0)
                return dialog.selectRecord(idOf(QStringLiteral("T9"))) ? int(QDialog::Accepted) : int(QDialog::Rejected);
            controller()->sl_selectedRecordsChanged({idOf(QStringLiteral("T9"))}); // browsed, not chosen
            return answer;
        });
        QVERIFY(QMetaObject::invokeMethod(f->live.action(QStringLiteral("VorexOpenFile")), "triggered", Q_ARG(bool, false)));
        settle();
        QCOMPARE(QStringList({text("RecordID"), nameField()->text(), nameField()->toolTip(), text("ReplayDataRateClass"),
                              QString::number(durationValue())}).join(" | "), shown);
        const QString selected = answer < 0 ? QStringLiteral("T9") : current;
        QCOMPARE(controller()->selectedRecords(),
                 selected.isEmpty() ? vorex::RecordIdentifierList() : vorex::RecordIdentifierList{idOf(selected)});
    }
};

QTEST_MAIN(TestRecords)
#include "tst_records.moc"
