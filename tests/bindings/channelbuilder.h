#pragma once

// Builds a receiver channel's values as the recorder manager does, except
// the ones a test leaves out or gives another type. For binding roads that
// need values to appear while a toolbar is already bound.

#include "values.h"
#include "vorexclient.h"

#include <QString>
#include <QStringList>

namespace vrxtest {

inline QString channelKey(const QString& channel, const QString& key)
{
    return channel + QLatin1Char('/') + key;
}

// Creates one value of the channel with the manager's type and initial content.
inline void createChannelValue(const QString& channel, const QString& key)
{
    using VOREX_XML::Admin;
    values::Tree* tree = values::Tree::Instance();
    const QString path = channelKey(channel, key);
    auto selection = [&](long count, long initial, QString (*name)(long)) {
        auto value = tree->CreateValue<values::ValueSelection>(path, initial);
        for (long k = 0; k < count; ++k)
            value->AddItem(values::SelItemDesc(name(k), double(k), k));
    };
    if (key == QLatin1String("RecordReplayModes"))
        selection(6, Admin::eRecordReplayMode_Stop, &Admin::RecordReplayModeToName);
    else if (key == QLatin1String("AllRecordReplayModes"))
        selection(5, Admin::eRecordReplayAllModes_Stopped, &Admin::RecordReplayAllModesToName);
    else if (key == QLatin1String("ReplayMode"))
        selection(6, Admin::eReplayMode_Stopped, &Admin::ReplayModeToName);
    else if (QStringList{"RecordFlag", "ReplayFlag", "PauseSupported"}.contains(key))
        tree->CreateValue<values::Value<bool>>(path, true);
    else if (key == QLatin1String("TriggeredByCorbaCall"))
        tree->CreateValue<values::Value<bool>>(path, false);
    else if (key == QLatin1String("DeviceID"))
        tree->CreateValue<values::Value<QString>>(path, QStringLiteral("Dev1"));
    else if (key == QLatin1String("AllowedDevices"))
        tree->CreateValue<values::Value<QString>>(path, QStringLiteral("Dev1@Dev2@Dev3"));
    else if (QStringList{"DataRateClass", "ReplayDataRateClass"}.contains(key))
        tree->CreateValue<values::Value<QString>>(path, QStringLiteral("DataRate3"));
    else if (QStringList{"ErrorCode", "RecordName", "RecordID"}.contains(key))
        tree->CreateValue<values::Value<QString>>(path, QString());
    else if (QStringList{"FileSizeInKB", "RecordTimeout"}.contains(key))
        tree->CreateValue<values::Value<int>>(path, 0);
    else if (key == QLatin1String("NoOfReplays"))
        tree->CreateValue<values::Value<int>>(path, 1);
    else
        tree->CreateValue<values::ValueNumeric<values::int64>>(path, 0);
}

// Every key of a channel, mode values first as the manager creates them.
inline QStringList channelKeys()
{
    return {"RecordReplayModes", "AllRecordReplayModes", "ReplayMode", "RecordFlag", "ReplayFlag",
            "PauseSupported", "TriggeredByCorbaCall", "ErrorCode", "DataRateClass", "AllowedDevices",
            "RecordName", "DeviceID", "RecordID", "ReplayDataRateClass", "FileSizeInKB", "NoOfReplays",
            "RecordTimeout", "Duration", "RecordCounterStartTime", "StartPosition", "StopPosition",
            "ReplayBegin", "ReplayEnd", "CurrentReplayPosition"};
}

inline void createChannel(const QString& channel, const QStringList& except = QStringList())
{
    for (const QString& key : channelKeys())
        if (!except.contains(key))
            createChannelValue(channel, key);
}

} // namespace vrxtest
