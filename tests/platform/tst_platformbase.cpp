#include "base.h"
#include "startup.h"
#include "testsupport.h"
#include "umm.h"

#include <QDialog>
#include <QtTest>

class TestPlatformBase : public QObject
{
    Q_OBJECT

private slots:
    void tracesReachSinksWithFileAndLine()
    {
        vrxtest::TraceCapture capture(ErrorHandler::TraceFlow);
        QCOMPARE(ErrorHandler::Instance()->GetTraceMask(), 64u);
        QVERIFY(ErrorHandler::Instance()->IsTraceOn(64));
        QVERIFY(!ErrorHandler::Instance()->IsTraceOn(32));
        _Q_Trace(QStringLiteral("+ A::b"), QStringLiteral("dir/file"), 12);
        const auto records = capture.records();
        QCOMPARE(int(records.size()), 1);
        QCOMPARE(records[0].text, QStringLiteral("+ A::b"));
        QCOMPARE(records[0].file, QStringLiteral("dir/file"));
        QCOMPARE(records[0].line, static_cast<unsigned short>(12));
    }

    void messagesAreRecordedAndRouted()
    {
        ErrorHandler::Instance()->TakeMessages();
        QStringList routed;
        ErrorHandler::Instance()->SetMessageSink([&](const MessageRecord& m) { routed << m.text; });
        ErrorHandler::Instance()->Message(QStringLiteral("disc full"), true, -1, true);
        ErrorHandler::Instance()->SetMessageSink(nullptr);
        QCOMPARE(routed, QStringList{QStringLiteral("disc full")});
        const auto taken = ErrorHandler::Instance()->TakeMessages();
        QCOMPARE(int(taken.size()), 1);
        QCOMPARE(taken[0].number, -1);
        QVERIFY(taken[0].flag1 && taken[0].flag2);
        QVERIFY(ErrorHandler::Instance()->TakeMessages().empty());

        QVERIFY(!ErrorHandler::Instance()->GetMessageDlg());
        QDialog dlg;
        dlg.setWindowTitle(QStringLiteral("Host"));
        ErrorHandler::Instance()->SetMessageDlg(&dlg);
        QCOMPARE(ErrorHandler::Instance()->GetMessageDlg()->windowTitle(), QStringLiteral("Host"));
        ErrorHandler::Instance()->SetMessageDlg(nullptr);
    }

    void hostClockCanBeReplaced()
    {
        const qint64 before = HaldaOS::Get();
        QVERIFY(before > 0);
        HaldaOS::SetClock([] { return qint64(42); });
        QCOMPARE(HaldaOS::Get(), qint64(42));
        HaldaOS::SetClock(nullptr);
        QVERIFY(HaldaOS::Get() >= before);
        QCOMPARE(Halda::DateTime::secToMicrosec(1), qint64(1000000));
    }

    void accessLevels()
    {
        auto* umm = UMM::ActiveUserProxy::instance();
        QCOMPARE(umm, UMM::ActiveUserProxy::instance());
        QCOMPARE(umm->GetAccessLevel(QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg")), 1);
        umm->SetAccessLevel(QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg"), 0);
        QCOMPARE(umm->GetAccessLevel(QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg")), 0);
        umm->SetDefaultAccessLevel(0);
        QCOMPARE(umm->GetAccessLevel(QStringLiteral("other")), 0);
        umm->Clear();
        QCOMPARE(umm->GetAccessLevel(QStringLiteral("other")), 1);
    }

    void translationRegistrationsAreCounted()
    {
        auto* tc = TranslationCenter::Instance();
        tc->RegisterTranslation(QStringLiteral("Vorex"));
        tc->RegisterTranslation(QStringLiteral("Vorex"));
        QCOMPARE(tc->RegistrationCount(QStringLiteral("Vorex")), 2);
        QVERIFY(!tc->IsCatalogueLoaded(QStringLiteral("Vorex"))); // none installed here
        tc->UnregisterTranslation(QStringLiteral("Vorex"));
        tc->UnregisterTranslation(QStringLiteral("Vorex"));
        tc->UnregisterTranslation(QStringLiteral("Vorex")); // one too many: ignored
        QCOMPARE(tc->RegistrationCount(QStringLiteral("Vorex")), 0);
    }
};

QTEST_MAIN(TestPlatformBase)
#include "tst_platformbase.moc"
