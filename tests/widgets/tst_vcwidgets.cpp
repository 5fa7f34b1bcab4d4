#include "testsupport.h"
#include "vcreplaybar.h"
#include "vcwidgets.h"

#include <QMenu>
#include <QSignalSpy>
#include <QToolBar>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace values;

namespace {
const char* const kPicture[] = {"2 2 1 1", ". c #000000", "..", ".."};
const char* const kPressed[] = {"2 2 1 1", ". c #00ff00", "..", ".."};

// Writes `count` keys from a worker thread, as the recorder manager does.
void selectFromWorker(const std::shared_ptr<ValueSelection>& selection, long key)
{
    std::thread worker([selection, key]() { selection->SelectIndex(key, nullptr); });
    worker.join();
}
} // namespace

class TestVCWidgets : public QObject
{
    Q_OBJECT

private:
    QString m_base;
    int m_case = 0;

    std::shared_ptr<ValueSelection> makeModes(long initial = 5)
    {
        return Tree::Instance()->CreateValue<ValueSelection>(m_base + "/RecordReplayModes", initial);
    }

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }
    void init() { m_base = QStringLiteral("/vcw%1").arg(++m_case); }
    void cleanup() { Tree::Instance()->Release(m_base); }

    void oneOfButtonWritesPressAndReleaseKeys_data()
    {
        QTest::addColumn<long>("keyOnPress");
        QTest::addColumn<long>("keyOnRelease");
        QTest::addColumn<long>("initial");
        QTest::addColumn<long>("afterFirstClick");
        QTest::addColumn<long>("afterSecondClick");
        QTest::newRow("stop button, idle") << 5L << 5L << 5L << 5L << 5L;
        QTest::newRow("stop button, replaying") << 5L << 5L << 0L << 5L << 5L;
        QTest::newRow("pause button, replaying") << 2L << 0L << 0L << 2L << 0L;
        QTest::newRow("pause button, continuous") << 2L << 1L << 1L << 2L << 1L;
    }
    void oneOfButtonWritesPressAndReleaseKeys()
    {
        QFETCH(long, keyOnPress);
        QFETCH(long, keyOnRelease);
        QFETCH(long, initial);
        QFETCH(long, afterFirstClick);
        QFETCH(long, afterSecondClick);
        auto modes = makeModes(initial);
        vrxtest::ScopedObserver toolbar(modes);

        VCOneOfButton button(keyOnPress, nullptr, kPressed, kPicture, "text");
        QVERIFY(button.SetSelection_ValuePath(m_base + "/RecordReplayModes", keyOnPress, keyOnRelease));
        QVERIFY(button.isEnabled());
        QCOMPARE(button.IsPressedState(), initial == keyOnPress);

        button.click();
        QCOMPARE(modes->GetCurrentKey(), afterFirstClick);
        QCOMPARE(button.IsPressedState(), afterFirstClick == keyOnPress);
        button.click();
        QCOMPARE(modes->GetCurrentKey(), afterSecondClick);
        // Others observing the selection are told of every press.
        QCOMPARE(toolbar.count(VC_VALUECHANGED), 2);
    }

    void oneOfButtonFollowsChangesMadeElsewhere()
    {
        auto modes = makeModes(5);
        VCOneOfButton pause(2, nullptr, kPressed, kPicture, "pause");
        pause.SetSelection_ValuePath(m_base + "/RecordReplayModes", 2, 0);
        QVERIFY(!pause.IsPressedState());

        modes->SelectIndex(2, nullptr); // GUI thread: at once
        QVERIFY(pause.IsPressedState());

        selectFromWorker(modes, 0); // other thread: posted
        QTRY_VERIFY(!pause.IsPressedState());
        selectFromWorker(modes, 2);
        QTRY_VERIFY(pause.IsPressedState());
    }

    void comboTriggersChosenEntryAndFollowsValue()
    {
        auto modes = makeModes(5);
        VCOneOfButtonCombo combo(nullptr, "VorexReplayModes", false);
        combo.AddSelection(0, 5, kPressed, kPicture);
        QVERIFY(!combo.isEnabled()); // not bound yet
        QVERIFY(combo.SetSelection_ValuePath(m_base + "/RecordReplayModes", 0, 5, kPressed, kPicture));
        combo.AddSelection(1, 5, kPressed, kPicture);
        QCOMPARE(combo.EntryCount(), 2); // the second call for key 0 updated, did not add
        QVERIFY(combo.isEnabled());
        QCOMPARE(combo.GetChosenKey(), 0L);

        combo.click();
        QCOMPARE(modes->GetCurrentKey(), 0L);
        QVERIFY(combo.IsPressedState());
        combo.click(); // releasing the pressed entry selects its release key
        QCOMPARE(modes->GetCurrentKey(), 5L);

        QVERIFY(combo.TriggerEntry(1)); // pick from the drop-down
        QCOMPARE(modes->GetCurrentKey(), 1L);
        QCOMPARE(combo.GetChosenKey(), 1L);
        QVERIFY(!combo.TriggerEntry(3));

        // The manager mirrors a normal replay: the button follows.
        selectFromWorker(modes, 0);
        QTRY_COMPARE(combo.GetChosenKey(), 0L);
        QVERIFY(combo.IsPressedState());
        selectFromWorker(modes, 3); // another combo's key: not pressed, keeps its choice
        QTRY_VERIFY(!combo.IsPressedState());
        QCOMPARE(combo.GetChosenKey(), 0L);
    }

    void unusableValuesDisableTheWidget_data()
    {
        QTest::addColumn<int>("what");
        QTest::newRow("missing") << 0;
        QTest::newRow("invalid") << 1;
        QTest::newRow("disabled") << 2;
        QTest::newRow("deleted") << 3;
    }
    void unusableValuesDisableTheWidget()
    {
        QFETCH(int, what);
        auto modes = makeModes(5);
        auto name = Tree::Instance()->CreateValue<Value<QString>>(m_base + "/RecordName", QString("rec"));
        VCOneOfButton stop(5, nullptr, kPressed, kPicture, "stop");
        VCLineEdit edit(nullptr, "VorexRecordName", 0);
        const QString modesPath = what == 0 ? m_base + "/Missing" : m_base + "/RecordReplayModes";
        const QString namePath = what == 0 ? m_base + "/Missing" : m_base + "/RecordName";
        QCOMPARE(stop.SetSelection_ValuePath(modesPath, 5, 5), what != 0);
        QCOMPARE(edit.SetText_ValuePath(namePath), what != 0);
        if (what == 0) {
            QVERIFY(!stop.isEnabled());
            QVERIFY(!edit.isEnabled());
            return;
        }
        QVERIFY(stop.isEnabled());
        QVERIFY(edit.isEnabled());
        QCOMPARE(edit.text(), QString("rec"));
        if (what == 3) {
            Tree::Instance()->Release(m_base);
        } else {
            modes->SetState(what, nullptr);
            name->SetState(what, nullptr);
        }
        QVERIFY(!stop.isEnabled());
        QVERIFY(!edit.isEnabled());
        QVERIFY(stop.isEnabledByOwner()); // the owner's wish is untouched
        stop.click();
        if (what != 3) {
            QCOMPARE(modes->GetCurrentKey(), 5L);
            modes->SetState(eStateNormal, nullptr);
            name->SetState(eStateNormal, nullptr);
            QVERIFY(stop.isEnabled());
            QVERIFY(edit.isEnabled());
        }
    }

    // The toolbar decides enablement; the widget only adds "value usable".
    void ownerWishAndValueStateCombine()
    {
        auto modes = makeModes(5);
        QToolBar bar;
        auto* stop = new VCOneOfButton(5, &bar, kPressed, kPicture, "stop");
        stop->SetSelection_ValuePath(m_base + "/RecordReplayModes", 5, 5);

        stop->setEnabled(false);
        modes->SetState(eStateDisabled, nullptr);
        modes->SetState(eStateNormal, nullptr);
        QVERIFY(!stop->isEnabled()); // value came back, owner still says no

        stop->setEnabled(true);
        QVERIFY(stop->isEnabled());

        modes->SetState(eStateDisabled, nullptr);
        stop->setEnabled(true); // owner says yes while the value is unusable
        QVERIFY(!stop->isEnabled());
        // A recursive disable through plain QWidget pointers, as on a channel error.
        for (QWidget* w : bar.findChildren<QWidget*>())
            w->setEnabled(false);
        modes->SetState(eStateNormal, nullptr);
        QVERIFY(!stop->isEnabled());
        QVERIFY(!stop->isEnabledByOwner());
        for (QWidget* w : bar.findChildren<QWidget*>())
            w->setEnabled(true);
        QVERIFY(stop->isEnabled());

        // A combo's drop-down survives a recursive disable of the bar.
        auto* combo = new VCOneOfButtonCombo(&bar, "combo", false);
        combo->SetSelection_ValuePath(m_base + "/RecordReplayModes", 3, 5, kPressed, kPicture);
        for (QWidget* w : bar.findChildren<QWidget*>())
            w->setEnabled(false);
        combo->setEnabled(true);
        QVERIFY(combo->isEnabled());
        QVERIFY(combo->menu()->isEnabled());
        stop->setEnabled(true);

        // Disabling the parent and enabling it again keeps the value's veto.
        modes->SetState(eStateDisabled, nullptr);
        bar.setEnabled(false);
        bar.setEnabled(true);
        QVERIFY(!stop->isEnabled());
        modes->SetState(eStateNormal, nullptr);
        QVERIFY(stop->isEnabled());
    }

    void lineEditFollowsTextAndWritesOnlyWhenEditable()
    {
        auto name = Tree::Instance()->CreateValue<Value<QString>>(m_base + "/RecordName", QString("a"));
        VCLineEdit edit(nullptr, "VorexRecordName", 0);
        QVERIFY(edit.SetText_ValuePath(m_base + "/RecordName"));
        QCOMPARE(edit.text(), QString("a"));
        std::thread([name]() { name->Set("from worker", nullptr); }).join();
        QTRY_COMPARE(edit.text(), QString("from worker"));

        edit.SetText("shown only");
        QCOMPARE(name->Get(), QString("from worker"));
        edit.setReadOnly(true);
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(name->Get(), QString("from worker"));
        edit.setReadOnly(false);
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(name->Get(), QString("shown only"));
    }

    // Destroying widgets while another thread keeps writing must neither
    // crash nor run a posted refresh on a dead widget.
    void widgetsDieWhileWorkerWrites()
    {
        auto modes = makeModes(5);
        std::atomic<bool> stop{false};
        std::thread worker([&]() {
            long key = 0;
            while (!stop.load()) {
                modes->SelectIndex(key, nullptr);
                key = (key + 1) % 6;
            }
        });
        for (int i = 0; i < 50; ++i) {
            auto* button = new VCOneOfButton(2, nullptr, kPressed, kPicture, "pause");
            auto* combo = new VCOneOfButtonCombo(nullptr, "c", false);
            button->SetSelection_ValuePath(m_base + "/RecordReplayModes", 2, 0);
            combo->SetSelection_ValuePath(m_base + "/RecordReplayModes", 3, 5, kPressed, kPicture);
            QCoreApplication::processEvents();
            delete button;
            delete combo;
        }
        stop = true;
        worker.join();
        QCoreApplication::processEvents();
        QCOMPARE(modes->ObserverCount(), 0);
    }

    // --- replay bar -------------------------------------------------------

    void replayBarBindsPositionsAndWritesCurrentPosition()
    {
        Tree* tree = Tree::Instance();
        tree->CreateValue<ValueNumeric<int64>>(m_base + "/StartPosition", 0);
        tree->CreateValue<ValueNumeric<int64>>(m_base + "/StopPosition", 1000);
        tree->CreateValue<ValueNumeric<int64>>(m_base + "/ReplayBegin", 100);
        tree->CreateValue<ValueNumeric<int64>>(m_base + "/ReplayEnd", 900);
        auto current = tree->CreateValue<ValueNumeric<double>>(m_base + "/CurrentReplayPosition", 500.0);
        VCReplayBar bar(nullptr, "VorexReplayIndicator", false);
        QVERIFY(bar.SetRecordingStart_ValuePath(m_base + "/StartPosition"));
        QVERIFY(bar.SetRecordingStop_ValuePath(m_base + "/StopPosition"));
        QVERIFY(bar.SetReplayStart_ValuePath(m_base + "/ReplayBegin"));
        QVERIFY(bar.SetReplayStop_ValuePath(m_base + "/ReplayEnd"));
        QVERIFY(bar.SetCurrentPosition_ValuePath(m_base + "/CurrentReplayPosition"));
        QVERIFY(!bar.SetReplayStop_ValuePath(m_base + "/Missing"));
        QCOMPARE(bar.GetReplayStop(), 0.0);
        QVERIFY(bar.SetReplayStop_ValuePath(m_base + "/ReplayEnd"));
        QCOMPARE(bar.GetReplayStart(), 100.0);
        QCOMPARE(bar.GetReplayStop(), 900.0);
        QCOMPARE(bar.GetCurrentPosition(), 500.0);

        vrxtest::ScopedObserver widget(current);
        bar.ResetCurrentPositionToReplayStart();
        QCOMPARE(current->Get(), 100.0);
        QCOMPARE(widget.count(VC_VALUECHANGED), 1);

        // Dragging writes the position unless a running replay forbids it.
        bar.resize(200, 30);
        bar.SetReplayOn(true, false);
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(150, 10));
        QCOMPARE(current->Get(), 100.0);
        bar.SetReplayOn(true, true);
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(150, 10));
        QVERIFY(current->Get() > 600.0);
    }

    void replayBarEditsEmitAndBlockedSetBookmarksDoesNot()
    {
        VCReplayBar bar(nullptr, "VorexReplayIndicator", false);
        QSignalSpy spy(&bar, &VCReplayBar::signalBookmarksChanged);

        bar.blockSignals(true);
        bar.SetBookmarks({BookmarkType(30, "c"), BookmarkType(10, "a")}, true);
        bar.blockSignals(false);
        QCOMPARE(spy.count(), 0);
        bar.SetBookmarks({BookmarkType(30, "c"), BookmarkType(10, "a")}, false);
        QCOMPARE(spy.count(), 0);
        const std::vector<BookmarkType> sorted{BookmarkType(10, "a"), BookmarkType(30, "c")};
        QVERIFY(bar.GetBookmarks() == sorted);

        bar.AddBookmark(20, "b");
        QCOMPARE(spy.count(), 1);
        QCOMPARE(bar.GetBookmarks().at(1).GetText(), QString("b"));
        QVERIFY(bar.MoveBookmark(1, 40));
        QCOMPARE(bar.GetBookmarks().back(), BookmarkType(40, "b"));
        QVERIFY(bar.RenameBookmark(0, "first"));
        QVERIFY(bar.DeleteBookmark(1));
        QCOMPARE(spy.count(), 4);
        QVERIFY(!bar.DeleteBookmark(5));
        QVERIFY(!bar.MoveBookmark(-1, 0));
        QCOMPARE(spy.count(), 4);
        bar.SetBookmarks({}, true);
        QCOMPARE(spy.count(), 5);
        QVERIFY(bar.GetBookmarks().empty());
    }

    void bookmarkOrderAndEquality()
    {
        QVERIFY(BookmarkType(1, "z") < BookmarkType(2, "a"));
        QVERIFY(BookmarkType(1, "a") < BookmarkType(1, "b"));
        QVERIFY(!(BookmarkType(1, "a") < BookmarkType(1, "a")));
        QVERIFY(BookmarkType(-5, "x") == BookmarkType(-5, "x"));
        QVERIFY(BookmarkType(5, "x") != BookmarkType(5, "y"));
        QCOMPARE(BookmarkType(Q_INT64_C(9000000000000), "big").GetPosition(), Q_INT64_C(9000000000000));
    }

    void replayBarShowsTimesThroughConverter()
    {
        struct Converter : IReplayValueConverter
        {
            double Convert(double value, int targetFormat, int sourceFormat) override
            {
                return sourceFormat == 0 && targetFormat == 1 ? value * 1000000.0 : -1.0;
            }
            double Convert(double value, int targetFormat) override { return Convert(value, targetFormat, 0); }
        } converter;
        auto format = Tree::Instance()->CreateValue<ValueSelection>(m_base + "/Format", 0);
        VCReplayBar bar(nullptr, "bar", true);
        QVERIFY(bar.SetDisplayFormat_ValuePath(m_base + "/Format"));
        bar.SetReplayValueConverter(&converter);
        QCOMPARE(bar.PositionText(3725.0), QString("3725"));
        format->SelectIndex(1, nullptr);
        QCOMPARE(bar.PositionText(3725.0), QString("01:02:05"));
        format->SelectIndex(2, nullptr); // not convertible: falls back to the offset
        QCOMPARE(bar.PositionText(7.0), QString("7"));
        bar.SetReplayValueConverter(nullptr);
    }
};

QTEST_MAIN(TestVCWidgets)
#include "tst_vcwidgets.moc"
