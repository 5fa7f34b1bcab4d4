// The simulated recorder manager seen through a live toolbar: the operator's
// settings and a filling device as the bar and the messages show them.
#include "toolbarlook.h"

#include <QtTest>

using namespace vrxtest;

class TestSimulatedManager : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

    void tick(int times, qint64 us)
    {
        for (int i = 0; i < times; ++i, settle())
            f->clock.advance(us), f->live.simulator().Tick();
    }

private slots:
    void initTestCase() { failOnQtWarnings(); }
    void init() { f.reset(new Fixture); }
    void cleanup() { tearDown(f); }

    // 100 GiB arrive as the largest limit that travels; the time-out (s)
    // ends the record and the bar returns to the stopped look.
    void settingsReachTheManager()
    {
        VorexGUI::RecordParameterDialog::SetAnswerHook([](VorexGUI::RecordParameterDialog& dialog) {
            dialog.setTimeout(60);
            dialog.setRecordSizeLimitBytes(100ull << 30);
            return 1;
        });
        run(*f, {"select", "continuous record"});
        QCOMPARE(f->live.value<values::Value<int>>("FileSizeInKB")->Get(), 4194303);
        tick(1, 59 * kSec);
        QCOMPARE(look(f->live), recordingLook());
        tick(1, 2 * kSec);
        QCOMPARE(modes(f->live) + " | " + look(f->live), "stop / stopped / stopped | " + idleLook());
    }

    // The manager's own record is stored under the name the bar offered.
    void managersRecordName()
    {
        run(*f, {"external record"});
        const QString offered = f->live.widget<QLineEdit>("VorexRecordName")->text();
        run(*f, {"external stop"});
        QCOMPARE(f->live.widget<QLineEdit>("VorexRecordName")->text(), offered);
        QCOMPARE(f->live.backend().GetRecord(kDevice, f->live.simulator().LastRecordId(0))->GetRecordName(), offered);
    }

    // Each event once, naming channel and device, with its class for the
    // icon; Record disabled while the channel's device is full.
    void fullDevice()
    {
        run(*f, {"set DeviceID Dev3", "select", "record"});
        tick(30, 10 * kSec);
        QStringList shown;
        for (const MessageRecord& m : ErrorHandler::Instance()->TakeMessages())
            shown << QString::number(m.messageClass) + " " + m.text;
        QCOMPARE(shown, (QStringList{"1 Channel1: the recorder device Dev3 is almost full.",
                                     "2 Channel1: the recorder device Dev3 is full. The recording was stopped."}));
        QString enabled = look(f->live);
        for (const QString step : {"set DeviceID Dev1", "set DeviceID Dev3", "free Dev3"}) {
            step == QLatin1String("free Dev3") ? f->live.backend().SetDiscSpace("Dev3", 1ull << 29, 1ull << 30) : operate(*f, step);
            settle();
            enabled += look(f->live).startsWith("record ") ? " +" : " -";
        }
        QCOMPARE(enabled, without(idleLook(), {"record"}) + " + - +");
    }
};

QTEST_MAIN(TestSimulatedManager)
#include "tst_simulatedmanager.moc"
