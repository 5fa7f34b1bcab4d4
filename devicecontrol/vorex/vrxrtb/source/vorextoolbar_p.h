#pragma once

// Shared by the toolbar's source files: channel value keys and small helpers.

#include "vorextoolbar.h"

#include "values.h"

#include <QString>

namespace VorexGUI {
namespace ToolbarDetail {


inline const QString kTranslationName = QStringLiteral("Vorex");
inline const QString kOpenFileRight = QStringLiteral("VOREX_MANAGEMENT.selectOpenFileDlg");

// Channel value keys.
inline const QString kFileSizeInKB = QStringLiteral("FileSizeInKB");
inline const QString kRecordID = QStringLiteral("RecordID");
inline const QString kDeviceID = QStringLiteral("DeviceID");
inline const QString kNoOfReplays = QStringLiteral("NoOfReplays");
inline const QString kDataRateClass = QStringLiteral("DataRateClass");
inline const QString kAllowedDevices = QStringLiteral("AllowedDevices");
inline const QString kRecordName = QStringLiteral("RecordName");
inline const QString kRecordFlag = QStringLiteral("RecordFlag");
inline const QString kReplayFlag = QStringLiteral("ReplayFlag");
inline const QString kPauseSupported = QStringLiteral("PauseSupported");
inline const QString kErrorCode = QStringLiteral("ErrorCode");
inline const QString kRecordReplayModes = QStringLiteral("RecordReplayModes");
inline const QString kAllRecordReplayModes = QStringLiteral("AllRecordReplayModes");
inline const QString kReplayMode = QStringLiteral("ReplayMode");
inline const QString kTriggeredByCorbaCall = QStringLiteral("TriggeredByCorbaCall");

// How long the bar waits for the manager's answer to a request before it
// counts the request as failed. The manager answers within a second; a record
// start on a busy device may take a few.
constexpr int kAnswerTimeoutMs = 10000;

// Client library code for a request the manager did not answer in time.
constexpr quint32 kNoAnswerInTime = 258;

// Mode keys of the record/replay mode selection, by RecordReplayMode value.
inline long ModeKey(int mode)
{
    return VOREX_XML::Admin::GetRecordReplayModes().value(mode);
}

inline QString Flag(bool value)
{
    return QString::number(value ? 1 : 0);
}

inline QString Join(const QString& channelPath, const QString& key)
{
    return channelPath + QLatin1Char('/') + key;
}

template <typename V>
bool IsNormal(const values::ValueObservingPtr<V>& pointer)
{
    auto value = pointer.Lock();
    return value && value->GetState() == values::eStateNormal;
}


} // namespace ToolbarDetail
} // namespace VorexGUI
