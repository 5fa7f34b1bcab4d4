#pragma once

// A live toolbar whose channel shows records that the tests put on the
// simulated manager, with the host clock under the test's control.

#include "livetoolbar.h"
#include "vorexclient.h"

#include <QtTest>

namespace vrxtest {

const QString kDevice = QStringLiteral("Dev1");
constexpr qint64 kSec = 1000000;
// A whole second of the host clock, so that second boundaries stay visible.
constexpr qint64 kBase = Q_INT64_C(1700000000000000);

inline quint64 at(double seconds)
{
    return quint64(kBase + qint64(seconds * kSec));
}

// A record of data-rate class 3 over offsets 0 to `stopPosition`.
inline VOREX_XML::VOREX_RecordData record(const QString& id, quint64 start, quint64 stop, quint64 stopPosition = 1000,
                                          int status = VOREX_XML::VOREX_RecordData::RecordStatusCompleted)
{
    VOREX_XML::VOREX_RecordData r(id, QStringLiteral("Record %1").arg(id));
    r.SetDataRate(VOREX_XML::VOREX_RecordData::eDataRate_3);
    r.SetRecordStatus(status);
    r.SetStartTime(start);
    r.SetStopTime(stop);
    r.SetStartPosition(0);
    r.SetStopPosition(stopPosition);
    return r;
}

struct RecordFixture
{
    TestClock clock{kBase + 1000 * kSec};
    LiveToolbar live;

    // The record on the manager and made the channel's current one.
    void show(const VOREX_XML::VOREX_RecordData& r)
    {
        live.backend().SetRecord(kDevice, r);
        live.simulator().SelectRecord(0, kDevice, r.GetRecordID());
        settle();
    }
    // The manager changes the record.
    void update(const VOREX_XML::VOREX_RecordData& r)
    {
        live.backend().SetRecord(kDevice, r);
        settle();
    }
};

} // namespace vrxtest
