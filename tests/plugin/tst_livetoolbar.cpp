#include "livetoolbar.h"

#include <QtTest>

// The shared fixture itself: a toolbar served by the simulated manager comes
// up connected and leaves nothing attached to the channel when it goes.
class TestLiveToolbar : public QObject
{
    Q_OBJECT

private slots:
    void toolbarComesUpConnectedAndTearsDownClean()
    {
        QString channel;
        {
            vrxtest::LiveToolbar live;
            channel = live.ChannelPath(0);
            QTRY_VERIFY(live.toolbar()->IsChannelConnected());
            QCOMPARE(live.toolbar()->GetToolbarModeValuePath(), channel + QStringLiteral("/RecordReplayModes"));
            QVERIFY(live.bar()->isVisibleTo(live.parent()));
        }
        // The simulator released the channel; nothing else may hold it.
        QVERIFY(!values::Tree::Instance()->FindNode(channel));
    }
};

QTEST_MAIN(TestLiveToolbar)
#include "tst_livetoolbar.moc"
