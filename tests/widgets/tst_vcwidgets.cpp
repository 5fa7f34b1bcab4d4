// Widgets bound to the value tree, and the replay bar.
#include "testsupport.h"
#include "vcreplaybar.h"
#include "vcwidgets.h"
#include "vorexclient.h"
#include "vorexwidgets.h"

#include <QAccessible>
#include <QMenu>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace values;

namespace {
const char* const kPicture[] = {"2 2 1 1", ". c #000000", "..", ".."};
const char* const kPressed[] = {"2 2 1 1", ". c #00ff00", "..", ".."};

const char* const kModeNames[] = {"eRecordReplayMode_Replay", "eRecordReplayMode_Replaycontinuous",
                                  "eRecordReplayMode_Pausereplay", "eRecordReplayMode_Record",
                                  "eRecordReplayMode_Recordcontinuous", "eRecordReplayMode_Stop", "Custom mode"};

QPalette darkPalette()
{
    QPalette p;
    for (auto role : {QPalette::Window, QPalette::Button, QPalette::Base})
        p.setColor(role, QColor(40, 40, 40));
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        p.setColor(role, Qt::white);
    return p;
}

int lightness(const QImage& image, const QRect& area)
{
    int sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            sum += QColor(image.pixel(x, y)).lightness();
    return sum / (area.width() * area.height());
}

// Offsets are milliseconds of a record that began at host time 1000 s.
class MillisecondConverter : public IReplayValueConverter
{
public:
    double Convert(double value, int targetFormat, int) override { return targetFormat == 1 ? 1e9 + value * 1000.0 : -1.0; }
    double Convert(double value, int targetFormat) override { return Convert(value, targetFormat, 0); }
};

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
    void initTestCase()
    {
        vrxtest::failOnQtWarnings();
        // The offscreen platform notes what a popup menu asks of it.
        static QtMessageHandler strict = nullptr;
        strict = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
            if (!msg.contains(QLatin1String("does not support raise()")) && !msg.contains(QLatin1String("does not support grabbing")))
                strict(type, ctx, msg);
        });
    }
    void init()
    {
        m_base = QStringLiteral("/vcw%1").arg(++m_case);
        m_modes = Tree::Instance()->CreateValue<ValueSelection>(modesPath(), 5);
        for (long key = 0; key < 7; ++key)
            m_modes->AddItem(SelItemDesc(kModeNames[key], double(key), key));
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

    // The operator reads words, never the items' identifiers, and opens the
    // drop-down from the keyboard.
    void comboMenuReadsWordsAndOpensFromTheKeyboard_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Alt+Down") << int(Qt::Key_Down) << int(Qt::AltModifier);
        QTest::newRow("F4") << int(Qt::Key_F4) << 0;
    }
    void comboMenuReadsWordsAndOpensFromTheKeyboard()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        VCOneOfButtonCombo combo(nullptr, "VorexRecordingModes", false);
        combo.AddSelection(3, 5, kPressed, kPicture); // added before binding, as the toolbar does
        QVERIFY(combo.SetSelection_ValuePath(modesPath(), 3, 5, kPressed, kPicture));
        combo.AddSelection(4, 5, kPressed, kPicture);
        combo.AddSelection(6, 5, kPressed, kPicture);
        QStringList texts;
        for (QAction* action : combo.Menu()->actions())
            texts << action->text();
        QCOMPARE(texts, QStringList({"Record", "Record continuously", "Custom mode"}));
        VCOneOfButton stop(5, nullptr, kPressed, kPicture, "VorexStop");
        QVERIFY(stop.SetSelection_ValuePath(modesPath(), 5, 5));
        QCOMPARE(QAccessible::queryAccessibleInterface(&stop)->text(QAccessible::Name), QString("Stop"));
        QCOMPARE(QAccessible::queryAccessibleInterface(&combo)->text(QAccessible::Name), QString("Record"));

        combo.show();
        QTimer::singleShot(0, [&]() {
            QVERIFY(QApplication::activePopupWidget() == combo.Menu());
            QTest::keyClick(combo.Menu(), Qt::Key_Down);
            QTest::keyClick(combo.Menu(), Qt::Key_Down);
            QTest::keyClick(combo.Menu(), Qt::Key_Return);
        });
        QTest::keyClick(&combo, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(m_modes->GetCurrentKey(), 4L);
        QCOMPARE(combo.text(), QString("Record continuously"));
    }

    // A pressed button frames itself in its activity's colour, in light and
    // dark palettes; a disabled one is clearly dimmed.
    void activityFramesAndDimming_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<long>("key");
        QTest::addColumn<int>("activity");
        for (bool dark : {false, true}) {
            const char* tag = dark ? "dark" : "light";
            QTest::addRow("%s record", tag) << dark << 3L << int(VCLook::eRecording);
            QTest::addRow("%s replay", tag) << dark << 0L << int(VCLook::eReplaying);
            QTest::addRow("%s pause", tag) << dark << 2L << int(VCLook::ePaused);
        }
    }
    void activityFramesAndDimming()
    {
        QFETCH(bool, dark);
        QFETCH(long, key);
        QFETCH(int, activity);
        const char* const kBlack[] = {"16 16 1 1", ". c #000000", "................", "................",
            "................", "................", "................", "................", "................",
            "................", "................", "................", "................", "................",
            "................", "................", "................", "................"};
        VCOneOfButton button(key, nullptr, kBlack, kBlack, "button");
        button.setPalette(dark ? darkPalette() : QPalette());
        button.resize(32, 32);
        QVERIFY(button.SetSelection_ValuePath(modesPath(), key, 5));
        const QImage idle = button.grab().toImage();
        m_modes->SelectIndex(key, nullptr);
        const QImage pressed = button.grab().toImage();
        const QColor frame = VCLook::ActivityColor(VCLook::Activity(activity), button.palette());
        QCOMPARE(QColor(pressed.pixel(1, 16)), frame);
        QVERIFY(QColor(idle.pixel(1, 16)) != frame);
        QVERIFY(qAbs(frame.lightness() - button.palette().color(QPalette::Window).lightness()) > 60);
        // The black picture stands out when enabled, and much less disabled.
        const QRect centre(12, 12, 8, 8);
        const QRect around(4, 4, 4, 4);
        const int enabledContrast = qAbs(lightness(pressed, centre) - lightness(pressed, around));
        button.setEnabled(false);
        const QImage disabled = button.grab().toImage();
        QVERIFY2(enabledContrast > 100 && qAbs(lightness(disabled, centre) - lightness(disabled, around)) < enabledContrast / 2,
                 qPrintable(QString::number(enabledContrast)));
    }

    void discSpaceColoursWhenLow_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<quint64>("freePerMille");
        QTest::addColumn<int>("level");
        for (bool dark : {false, true}) {
            const char* tag = dark ? "dark" : "light";
            QTest::addRow("%s 50 %%", tag) << dark << quint64(500) << int(DiscSpaceBar::eLevelNormal);
            QTest::addRow("%s 9 %%", tag) << dark << quint64(90) << int(DiscSpaceBar::eLevelLow);
            QTest::addRow("%s 1.5 %%", tag) << dark << quint64(15) << int(DiscSpaceBar::eLevelCritical);
        }
    }
    void discSpaceColoursWhenLow()
    {
        QFETCH(bool, dark);
        QFETCH(quint64, freePerMille);
        QFETCH(int, level);
        auto backend = std::make_shared<VorexCommon::RecorderManagerBackend>();
        backend->AddDevice(VorexCommon::DeviceInfo{"Dev1", "VOREX", false, freePerMille << 20, 1000ull << 20});
        backend->SetConnected(true);
        VorexCommon::RecorderManagerBackend::Install(backend);
        Tree::Instance()->CreateValue<Value<QString>>(m_base + "/DeviceID", QString("Dev1"));
        DiscSpaceBar bar(nullptr, "/Vorex");
        bar.setPalette(dark ? darkPalette() : QPalette());
        bar.resize(140, 22);
        QVERIFY(bar.SetDevice_ValuePath(m_base + "/DeviceID"));
        QCOMPARE(int(bar.GetLevel()), level);
        QCOMPARE(bar.toolTip().contains("disc space left"), level != DiscSpaceBar::eLevelNormal);
        // The groove takes the colour, also where the free part is too thin to see.
        const QColor groove(bar.grab().toImage().pixel(134, 3));
        const QColor color = DiscSpaceBar::LevelColor(DiscSpaceBar::Level(level), bar.palette());
        QCOMPARE(groove.hsvSaturation() > 40 && qAbs(groove.hsvHue() - color.hsvHue()) < 25, color.isValid());
        VorexCommon::RecorderManagerBackend::Install(nullptr);
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
        for (int again = 0; again < 2; ++again) { // the same text again moves the cursor too
            edit.setText("a long name, read from its start");
            QTRY_COMPARE(edit.cursorPosition(), 0);
        }
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

    // The position reads as the time within the record, in the bar, its tool
    // tip, the context menu and for assistive tools; bookmarks show their
    // names; a dragged marker moves with the pointer; a deletion is undone.
    void replayBarPositionBookmarksAndUndo()
    {
        const char* keys[] = {"StartPosition", "StopPosition", "ReplayBegin", "ReplayEnd", "CurrentReplayPosition"};
        const double initial[] = {0, 100000, 0, 100000, 65000};
        VCReplayBar bar(nullptr, "VorexReplayIndicator", false);
        for (int i = 0; i < 5; ++i)
            Tree::Instance()->CreateValue<ValueNumeric<double>>(m_base + "/" + keys[i], initial[i]);
        Tree::Instance()->CreateValue<ValueSelection>(m_base + "/Format", 1);
        MillisecondConverter converter;
        bar.SetReplayValueConverter(&converter);
        QVERIFY(bar.SetDisplayFormat_ValuePath(m_base + "/Format") && bar.SetRecordingStart_ValuePath(m_base + "/StartPosition")
                && bar.SetRecordingStop_ValuePath(m_base + "/StopPosition") && bar.SetReplayStart_ValuePath(m_base + "/ReplayBegin")
                && bar.SetReplayStop_ValuePath(m_base + "/ReplayEnd") && bar.SetCurrentPosition_ValuePath(m_base + "/CurrentReplayPosition"));
        bar.setGeometry(0, 0, 206, 30); // the bar proper spans x 3..202, the strip lies below y 19
        bar.show();
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&bar);
        QCOMPARE(accessible->role(), QAccessible::Slider);
        QCOMPARE(accessible->text(QAccessible::Name) + " " + accessible->text(QAccessible::Value), QString("Replay position 00:01:05"));

        QString menuText;
        QTimer::singleShot(0, [&]() {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                menuText = menu->actions().value(0)->text();
                menu->close();
            }
        });
        QContextMenuEvent fromKeyboard(QContextMenuEvent::Keyboard, QPoint(0, 0));
        QCoreApplication::sendEvent(&bar, &fromKeyboard);
        QCOMPARE(menuText, QString("Add bookmark at 00:01:05"));

        bar.SetBookmarks({BookmarkType(50000, "Call begins")}, false);
        QHelpEvent hover(QEvent::ToolTip, QPoint(103, 23), bar.mapToGlobal(QPoint(103, 23)));
        QCoreApplication::sendEvent(&bar, &hover);
        QCOMPARE(QToolTip::text(), QString("Bookmark \"Call begins\" at 00:00:50"));

        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(103, 23));
        QMouseEvent move(QEvent::MouseMove, QPointF(153, 23), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&bar, &move);
        const QImage dragging = bar.grab().toImage();
        QCOMPARE(QColor(dragging.pixel(153, 24)), QColor(0x1060d0));
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(153, 23));
        QVERIFY(bar.GetBookmarks().front().GetPosition() > 70000);

        QVERIFY(bar.DeleteBookmark(0) && bar.GetBookmarks().empty());
        bar.SetBookmarks({}, false); // the stored list coming back keeps the undo
        QTest::keyClick(&bar, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(bar.GetBookmarks().size(), size_t(1));
        QVERIFY(bar.DeleteBookmark(0));
        Tree::Instance()->FindValueAs<IValueNumeric>(m_base + "/StopPosition")->SetNumeric(90000, nullptr);
        QVERIFY(!bar.UndoDelete()); // another record, also without bookmarks
        QVERIFY(bar.GetBookmarks().empty());

        // Arrow keys move the position, unless a running replay forbids it.
        QTest::keyClick(&bar, Qt::Key_Right);
        QCOMPARE(bar.GetCurrentPosition(), 65900.0); // a step is 1 % of the record
        bar.SetReplayOn(true, false);
        QTest::keyClick(&bar, Qt::Key_Left);
        QCOMPARE(bar.GetCurrentPosition(), 65900.0);
        QCOMPARE(bar.StatusText(), QString("Replaying"));
        bar.SetReplayOn(true, true);
        QCOMPARE(bar.StatusText(), QString("Paused"));
        emit VorexCommon::RecorderManagerEvents::Instance()->si_connectionChanged(false); // nobody knows any more
        QCOMPARE(bar.StatusText(), QString("No connection"));
        emit VorexCommon::RecorderManagerEvents::Instance()->si_connectionChanged(true);
        QCOMPARE(bar.StatusText(), QString("Paused"));
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
