// Widgets bound to the value tree, and the replay bar.
#include "testsupport.h"
#include "vcreplaybar.h"
#include "vcwidgets.h"

#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace values;

namespace {
const char* const kPicture[] = {"2 2 1 1", ". c #000000", "..", ".."};
const char* const kPressed[] = {"2 2 1 1", ". c #00ff00", "..", ".."};

// Selects `key` from a worker thread, as the recorder manager does.
void selectFromWorker(const std::shared_ptr<ValueSelection>& selection, long key)
{
    std::thread([selection, key]() { selection->SelectIndex(key, nullptr); }).join();
}
} // namespace

class TestVCWidgets : public QObject
{
    Q_OBJECT

    QString m_base;
    int m_case = 0;
    std::shared_ptr<ValueSelection> m_modes;
    QString modesPath() const { return m_base + "/RecordReplayModes"; }

private slots:
    void initTestCase() { vrxtest::failOnQtWarnings(); }
    void init()
    {
        m_base = QStringLiteral("/vcw%1").arg(++m_case);
        m_modes = Tree::Instance()->CreateValue<ValueSelection>(modesPath(), 5);
    }
    void cleanup()
    {
        m_modes.reset();
        Tree::Instance()->Release(m_base);
    }

    void oneOfButtonWritesPressAndReleaseKeys_data()
    {
        QTest::addColumn<long>("keyOnPress");
        QTest::addColumn<long>("keyOnRelease");
        QTest::addColumn<long>("initial");
        QTest::addColumn<long>("afterFirstClick");
        QTest::newRow("stop button, replaying") << 5L << 5L << 0L << 5L;
        QTest::newRow("pause button, replaying") << 2L << 0L << 0L << 2L;
        QTest::newRow("pause button, paused") << 2L << 1L << 2L << 1L;
    }
    void oneOfButtonWritesPressAndReleaseKeys()
    {
        QFETCH(long, keyOnPress);
        QFETCH(long, keyOnRelease);
        QFETCH(long, initial);
        QFETCH(long, afterFirstClick);
        m_modes->SelectIndex(initial, nullptr);
        vrxtest::ScopedObserver toolbar(m_modes);
        VCOneOfButton button(keyOnPress, nullptr, kPressed, kPicture, "text");
        QVERIFY(button.SetSelection_ValuePath(modesPath(), keyOnPress, keyOnRelease));
        QCOMPARE(button.IsPressedState(), initial == keyOnPress);
        button.click();
        QCOMPARE(m_modes->GetCurrentKey(), afterFirstClick);
        QCOMPARE(button.IsPressedState(), afterFirstClick == keyOnPress);
        QCOMPARE(toolbar.count(VC_VALUECHANGED), 1); // others observing are told

        // It follows changes made elsewhere, from a worker thread through the GUI thread.
        selectFromWorker(m_modes, initial);
        QTRY_COMPARE_WITH_TIMEOUT(button.IsPressedState(), initial == keyOnPress, 1000);
    }

    void comboTriggersChosenEntryAndFollowsValue()
    {
        VCOneOfButtonCombo combo(nullptr, "VorexReplayModes", false);
        QVERIFY(!combo.isEnabled()); // not bound yet
        QVERIFY(combo.SetSelection_ValuePath(modesPath(), 0, 5, kPressed, kPicture) && combo.isEnabled());
        combo.AddSelection(1, 5, kPressed, kPicture);
        combo.AddSelection(0, 5, kPressed, kPicture); // updates, does not add
        QCOMPARE(combo.EntryCount(), 2);
        QCOMPARE(combo.GetChosenKey(), 0L);

        combo.click();
        QCOMPARE(m_modes->GetCurrentKey(), 0L);
        QVERIFY(combo.IsPressedState());
        combo.click(); // releasing the pressed entry selects its release key
        QCOMPARE(m_modes->GetCurrentKey(), 5L);
        QVERIFY(combo.TriggerEntry(1)); // picked from the drop-down
        QCOMPARE(m_modes->GetCurrentKey(), 1L);
        QVERIFY(!combo.TriggerEntry(3));

        selectFromWorker(m_modes, 0); // the manager mirrors a normal replay
        QTRY_COMPARE_WITH_TIMEOUT(combo.GetChosenKey(), 0L, 1000);
        QVERIFY(combo.IsPressedState());
        selectFromWorker(m_modes, 3); // another combo's key: not pressed, keeps its choice
        QTRY_VERIFY_WITH_TIMEOUT(!combo.IsPressedState(), 1000);
        QCOMPARE(combo.GetChosenKey(), 0L);
    }

    void unusableValuesDisableTheWidget_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("invalid") << int(eStateInvalid);
        QTest::newRow("disabled") << int(eStateDisabled);
        QTest::newRow("deleted") << -1;
    }
    void unusableValuesDisableTheWidget()
    {
        QFETCH(int, state);
        auto name = Tree::Instance()->CreateValue<Value<QString>>(m_base + "/RecordName", QString("rec"));
        VCOneOfButton stop(2, nullptr, kPressed, kPicture, "pause");
        VCLineEdit edit(nullptr, "VorexRecordName", 0);
        QVERIFY(!stop.SetSelection_ValuePath(m_base + "/Missing", 5, 5) && !edit.SetText_ValuePath(m_base + "/Missing"));
        QVERIFY(!stop.isEnabled() && !edit.isEnabled());
        QVERIFY(stop.SetSelection_ValuePath(modesPath(), 2, 5) && edit.SetText_ValuePath(m_base + "/RecordName"));
        QVERIFY(stop.isEnabled() && edit.isEnabled());
        QCOMPARE(edit.text(), QString("rec"));
        edit.SetText("typed");
        edit.setReadOnly(true); // shown, not written
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(name->Get(), QString("rec"));
        edit.setReadOnly(false);
        QTest::keyClick(&edit, Qt::Key_Return);
        QCOMPARE(name->Get(), QString("typed"));
        if (state < 0) {
            Tree::Instance()->Release(m_base);
        } else {
            m_modes->SetState(state, nullptr);
            name->SetState(state, nullptr);
        }
        QVERIFY(!stop.isEnabled() && !edit.isEnabled());
        QVERIFY(stop.isEnabledByOwner()); // the owner's wish is untouched
        stop.click();
        QCOMPARE(m_modes->GetCurrentKey(), 5L);
        m_modes->SetState(eStateNormal, nullptr);
        name->SetState(eStateNormal, nullptr);
        QCOMPARE(stop.isEnabled() && edit.isEnabled(), state >= 0); // a deleted value stays gone
    }

    // Destroying widgets while another thread keeps writing must neither
    // crash nor run a posted refresh on a dead widget.
    void widgetsDieWhileWorkerWrites()
    {
        std::atomic<bool> stop{false};
        std::thread worker([&]() {
            for (long key = 0; !stop.load(); key = (key + 1) % 6)
                m_modes->SelectIndex(key, nullptr);
        });
        for (int i = 0; i < 50; ++i) {
            auto button = std::make_unique<VCOneOfButton>(2, nullptr, kPressed, kPicture, "pause");
            auto combo = std::make_unique<VCOneOfButtonCombo>(nullptr, "c", false);
            button->SetSelection_ValuePath(modesPath(), 2, 0);
            combo->SetSelection_ValuePath(modesPath(), 3, 5, kPressed, kPicture);
            QCoreApplication::processEvents();
        }
        stop = true;
        worker.join();
        QCoreApplication::processEvents();
        QCOMPARE(m_modes->ObserverCount(), 0);
    }

    void replayBarBindsPositionsAndWritesCurrentPosition()
    {
        const char* keys[] = {"StartPosition", "StopPosition", "ReplayBegin", "ReplayEnd"};
        const qint64 initial[] = {0, 1000, 100, 900};
        for (int i = 0; i < 4; ++i)
            Tree::Instance()->CreateValue<ValueNumeric<int64>>(m_base + "/" + keys[i], initial[i]);
        auto current = Tree::Instance()->CreateValue<ValueNumeric<double>>(m_base + "/CurrentReplayPosition", 500.0);
        VCReplayBar bar(nullptr, "VorexReplayIndicator", false);
        QVERIFY(!bar.SetReplayStop_ValuePath(modesPath())); // not numeric
        QVERIFY(bar.SetRecordingStart_ValuePath(m_base + "/StartPosition") && bar.SetRecordingStop_ValuePath(m_base + "/StopPosition"));
        QVERIFY(bar.SetReplayStart_ValuePath(m_base + "/ReplayBegin") && bar.SetReplayStop_ValuePath(m_base + "/ReplayEnd"));
        QVERIFY(bar.SetCurrentPosition_ValuePath(m_base + "/CurrentReplayPosition"));
        QCOMPARE(bar.GetReplayStop(), 900.0);
        QCOMPARE(bar.GetCurrentPosition(), 500.0);
        vrxtest::ScopedObserver widget(current);
        bar.ResetCurrentPositionToReplayStart();
        QCOMPARE(current->Get(), 100.0);
        QCOMPARE(widget.count(VC_VALUECHANGED), 1);

        // Dragging writes the position unless a running replay forbids it.
        bar.resize(200, 30);
        for (bool changeable : {false, true}) {
            bar.SetReplayOn(true, changeable);
            QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(20, 10));
            QMouseEvent move(QEvent::MouseMove, QPointF(150, 10), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&bar, &move);
            QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(150, 10));
            QCOMPARE(widget.count(VC_VALUECHANGED), changeable ? 3 : 1); // once on press, once on the move
        }
        QVERIFY(current->Get() > 600.0 && current->Get() < 900.0);
    }

    void replayBarBookmarkEditsEmitAndSetBookmarksOnlyWhenAsked()
    {
        VCReplayBar bar(nullptr, "VorexReplayIndicator", false);
        QSignalSpy spy(&bar, &VCReplayBar::signalBookmarksChanged);
        bar.SetBookmarks({BookmarkType(30, "c"), BookmarkType(10, "a")}, false); // silently
        bar.AddBookmark(20, "b");
        QVERIFY(bar.MoveBookmark(0, 40)); // "a" moves to the end
        QVERIFY(bar.RenameBookmark(0, "first") && bar.DeleteBookmark(1));
        QCOMPARE(bar.GetBookmarks(), (std::vector<BookmarkType>{{20, "first"}, {40, "a"}}));
        QVERIFY(!bar.DeleteBookmark(2) && !bar.MoveBookmark(-1, 0) && !bar.RenameBookmark(2, "x"));
        bar.SetBookmarks({}, true);
        QCOMPARE(spy.count(), 5);
    }
};

QTEST_MAIN(TestVCWidgets)
#include "tst_vcwidgets.moc"
