#pragma once

// A live toolbar whose replay bar shows records that the tests put on the
// simulated manager, with the host clock under the test's control.

#include "recordfixture.h"
#include "replaybarwidget.h"
#include "testsupport.h"
#include "vcreplaybar.h"

#include <QtTest>

#include <memory>
#include <vector>

namespace replaybartest {

using VOREX_XML::BookmarkEntry;
using VOREX_XML::IndexEntry;
using VOREX_XML::VOREX_RecordData;

using vrxtest::at;
using vrxtest::kDevice;
using vrxtest::kSec;

// A completed record: own times 100 s to 200 s over offsets 0 to 10000 and
// the given index.
inline VOREX_RecordData record(const QString& id, const QVector<IndexEntry>& index, const QVector<BookmarkEntry>& bookmarks = {})
{
    VOREX_RecordData r = vrxtest::record(id, at(100), at(200), 10000);
    r.SetIndexEntry(index);
    r.SetBookmarkEntry(bookmarks);
    return r;
}

// Index over the same span as the record's own values.
inline QVector<IndexEntry> fullIndex()
{
    return {IndexEntry(at(100), 0), IndexEntry(at(200), 10000)};
}

typedef QList<QPair<qint64, QString>> Marks;

inline Marks marksOf(const std::vector<BookmarkType>& bookmarks)
{
    Marks marks;
    for (const BookmarkType& b : bookmarks)
        marks << qMakePair(b.GetPosition(), b.GetText());
    return marks;
}

// One SetBookmarkEntries command as it reached the manager.
struct Sent
{
    QString deviceId;
    QString recordId;
    Marks entries; // (timestamp, text)
};

inline std::vector<Sent> sentBookmarks(VorexCommon::RecorderManagerBackend& backend)
{
    std::vector<Sent> sent;
    for (const VorexCommon::RecordedCommand& c : backend.TakeCommands()) {
        if (c.command != QLatin1String("SetBookmarkEntries"))
            continue;
        Sent s{c.args.value(0).toString(), c.args.value(1).toString(), {}};
        for (const QVariant& entry : c.args.value(2).toList()) {
            const QVariantList pair = entry.toList();
            s.entries << qMakePair(qint64(pair.value(0).toULongLong()), pair.value(1).toString());
        }
        sent.push_back(s);
    }
    return sent;
}

struct Fixture : vrxtest::RecordFixture
{
    VorexGUI::ReplayBarWidget* widget() const
    {
        return static_cast<VorexGUI::ReplayBarWidget*>(live.bar()->findChild<QWidget*>(QStringLiteral("VorexToolbarReplayBarWidget")));
    }
    IReplayValueConverter* converter() const { return widget(); }
    VCReplayBar* bar() const { return live.bar()->findChild<VCReplayBar*>(QStringLiteral("VorexToolbarReplayBar")); }

    std::shared_ptr<values::IValueNumeric> numeric(const char* key) const
    {
        return live.value<values::IValueNumeric>(key);
    }
    std::shared_ptr<values::IValueNumeric> replayTime() const
    {
        return values::Tree::Instance()->FindValueAs<values::IValueNumeric>(vrxtest::LiveToolbar::ReplayTimePath(0));
    }
    // A known geometry: the bar proper spans x 3..202 and y 3..19, the
    // bookmark strip lies below it.
    void layOutBar() { bar()->setGeometry(0, 0, 206, 30); }
    // A click into the bar; returns the position that x stands for on a
    // record of offsets 0 to 10000.
    double pressBarAt(int x, int y)
    {
        layOutBar();
        QTest::mousePress(bar(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        QTest::mouseRelease(bar(), Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
        return qBound(0.0, (x - 3) / 199.0, 1.0) * 10000.0;
    }
    quint32 replayCommand(const char* command, const QVariantList& args = {})
    {
        const quint32 result = live.backend().ExecuteReplayCommand(
            VorexCommon::RecordedCommand{QLatin1String(command), QStringLiteral("Channel1"), args});
        vrxtest::settle();
        return result;
    }
};

} // namespace replaybartest
