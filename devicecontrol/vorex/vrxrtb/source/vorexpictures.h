#pragma once

// XPM pictures compiled into the module.

namespace VorexGUI {
namespace Pictures {

extern const char* const Error[];
extern const char* const StopPressed[];
extern const char* const Stop[];
extern const char* const ReplayPressed[];
extern const char* const Replay[];
extern const char* const ContinuousReplayPressed[];
extern const char* const ContinuousReplay[];
extern const char* const PausePressed[];
extern const char* const Pause[];
extern const char* const RecordPressed[];
extern const char* const Record[];
extern const char* const ContinuousRecordPressed[];
extern const char* const ContinuousRecord[];

} // namespace Pictures
} // namespace VorexGUI
