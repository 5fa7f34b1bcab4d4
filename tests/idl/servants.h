#pragma once

// Servants of every interface of the two protocols, for the wire test and the
// request fuzz target. The operations the tests call log their name and
// arguments and answer with values made from them.

#include "cco.hh"
#include "vorexmanager.hh"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

// An operation no test calls.
#define VRX_UNCALLED(...) __VA_ARGS__ override { throw CORBA::NO_IMPLEMENT(); }

namespace vrxservants {

using namespace KD_VRX;
using CORBA::Boolean;
using CORBA::ULong;
using Str = const char*;
using WStr = const CORBA::WChar*;
using Out = CORBA::String_out;
using U64 = CORBA::ULongLong;
using U16 = CORBA::UShort;

// Calls received: the operation and its arguments, "; " between calls.
inline std::mutex g_callsMutex;
inline std::string g_calls;
inline std::atomic<std::thread::id> g_lastThread; // that of the last call

inline std::string takeCalls()
{
    std::lock_guard<std::mutex> lock(g_callsMutex);
    return std::exchange(g_calls, std::string());
}

// Arguments as text.
inline std::string text(Str s) { return s; }
inline std::string text(CORBA::Object_ptr o) { return CORBA::is_nil(o) ? "nil" : "ref"; }
inline std::string text(unsigned long long n) { return std::to_string(n); } // numbers and enumerations

// Logs a call and returns its line.
template <class... A>
std::string logged(Str operation, const A&... args)
{
    std::string line = operation;
    ((line += ' ', line += text(args)), ...);
    std::lock_guard<std::mutex> lock(g_callsMutex);
    g_calls += (g_calls.empty() ? "" : "; ") + line;
    g_lastThread = std::this_thread::get_id();
    return line;
}
// Answers: the length of the line, or the line itself.
template <class... A>
ULong called(Str operation, const A&... args) { return ULong(logged(operation, args...).size()); }
template <class... A>
char* echo(Str operation, const A&... args) { return CORBA::string_dup(logged(operation, args...).c_str()); }

struct RecordStateChangeCallback : POA_KD_VRX::IF_RecordStateChangeCallback
{
    void NotifyStateChange(Str d, Str r, Str n, RecordState s) override { called("NotifyStateChange", d, r, n, s); }
};

struct VorexStatusCallback : POA_KD_VRX::IF_VorexStatusCallback
{
    void NotifyCStorageStatus(Str d, Str s) override { called("NotifyCStorageStatus", d, s); }
};

// Also the request fuzz target's, with the replay servant: the operations
// only it calls answer nothing (no reply goes out there).
struct Admin : POA_KD_VRX::IF_VOREX_Admin
{
    Boolean deleteRecord(Str d, Str r) override { return called("deleteRecord", d, r) % 2; }
    ULong removeHistoryEntry(Str, Str, U64) override { return 0; }
    ULong addHistory(Str, Str, WStr) override { return 0; }
    ULong copyRecord(Str, Str, Out, const CopyRangeSeq&, WStr) override { return 0; }
    ULong setRecordComment(Str, Str, WStr) override { return 0; }
    ULong setRecordDeletableFlag(Str, Str, Boolean) override { return 0; }
    ULong addBookmarks(Str, Str, const BookmarkItemSeq&) override { return 0; }
    ULong deleteBookmarks(Str, Str, const BookmarkItemSeq&) override { return 0; }
    ULong getDeviceTime(Str, U64&, Boolean&) override { return 0; }
    ULong setDeviceTime(Str, U64) override { return 0; }
    ULong getOverviewSpectrumStreamed(Str, Str, U64, U64, U64, ULong, SpectrumKind, Str, U16) override { return 0; }
    ULong getRecord(Str, Str, RecordInfo_out) override { return 0; }
    ULong requestRecordDataDetail(Str, Str) override { return 0; }
};

struct Replay : POA_KD_VRX::IF_VOREX_Replay
{
    ULong StartReplay(Str d, Str r, DataRateClass k, U64 a, U64 b, ULong n) override
    {
        return called("StartReplay", d, r, k, a, b, n);
    }
    ULong StartReplayReceivers(Str, Str, DataRateClass, U64, U64, ULong, ReceiverKind) override { return 0; }
    ULong PauseReplay(Str, Str) override { return 0; }
    ULong ContinueReplay(Str, Str) override { return 0; }
    ULong StopReplay(Str, Str) override { return 0; }
};

struct ChanMan : POA_KD_VRX::IF_VRX_c_ChanMan
{
    Boolean isAvailableForRecord(Str c, const StringSeq&) override { return called("isAvailableForRecord", c) % 2; }
    void goingDown() override { called("goingDown"); }
    VRX_UNCALLED(Boolean connectForRecord(Str, ReceiverSettingSeq_out, ULongSeq_out))
    VRX_UNCALLED(Boolean connectForRecordNG(Str, ReceiverSettingNGSeq_out, ULongSeq_out))
    VRX_UNCALLED(void startDataFlow(Str))
    VRX_UNCALLED(void startDataFlowNG(Str, Str, ULong))
    VRX_UNCALLED(void stopDataFlow(Str))
    VRX_UNCALLED(void disconnect(Str))
    VRX_UNCALLED(Boolean isAvailableForReplay(Str, const StringSeq&))
    VRX_UNCALLED(Boolean connectForReplay(Str, const ReceiverSettingSeq&, const ULongSeq&))
    VRX_UNCALLED(void DataTransferStarted(Str))
    VRX_UNCALLED(void stoppingDataTransfer(Str))
    VRX_UNCALLED(void ChannelRemoved(Str))
    VRX_UNCALLED(void RecordingFinished(Str, Str, Str))
    VRX_UNCALLED(Boolean startXgReplayLegacy(const ReceiverSettingNGSeq&, const ULongSeq&))
    VRX_UNCALLED(Boolean startXgReplay(Str, U64, U64, ULong))
    VRX_UNCALLED(Boolean stopXgReplay())
    VRX_UNCALLED(void VorexRecordReplaySessionFault(Str, ULong, Str))
};

struct Chan : POA_KD_VRX::IF_VRX_c_Chan
{
    void setDataRateClass(DataRateClass k) override { called("setDataRateClass", k); }
    VRX_UNCALLED(void errorOccured(KD_VRX::IF_VRX_c_Chan::ChannelErrorKind))
    VRX_UNCALLED(void removeChannel())
    VRX_UNCALLED(void removeChannelForced())
    VRX_UNCALLED(void setCallBackInterface(IF_VRX_c_ChanMan_ptr))
    VRX_UNCALLED(void setRequestedSampleRate(U64, U16))
    VRX_UNCALLED(void setMURAVRegistration(Boolean, Boolean))
    VRX_UNCALLED(void setDataFormat(DataFormat))
    VRX_UNCALLED(void setRecordFlag(Boolean))
    VRX_UNCALLED(void setReplayFlag(Boolean))
    VRX_UNCALLED(void setName(Str))
    VRX_UNCALLED(char* getChannelID())
    VRX_UNCALLED(void startRecording(ULong, WStr, ULong))
    VRX_UNCALLED(void DataTransferStarted())
    VRX_UNCALLED(void stopRecording(WStr))
    VRX_UNCALLED(void DataTransferStopped())
    VRX_UNCALLED(void DataTransferStopping())
    VRX_UNCALLED(void startReplaying(Str, Str, DataRateClass, U64, U64, ULong))
    VRX_UNCALLED(void channelError(Str))
    VRX_UNCALLED(void setVorexDevices(const StringSeqSeq&))
    VRX_UNCALLED(void setAdditionalDataRateClass(DataRateClass))
};

struct ExportCallback : POA_KD_VRX::IF_ExportCallback
{
    char* startFileStream(Str f, U64 s) override { return echo("startFileStream", f, s); }
    VRX_UNCALLED(char* exportID())
    VRX_UNCALLED(char* deviceID())
    VRX_UNCALLED(char* recordID())
    VRX_UNCALLED(void exportStarted())
    VRX_UNCALLED(void exportFileList(const StringSeq&))
    VRX_UNCALLED(void exportFinished(Boolean, Str))
    VRX_UNCALLED(void fileStreamFinished(Str, Boolean))
};

// Calls the manager it was given back.
struct Vrx : POA_KD_VRX::IF_VRX_c_VRX
{
    IF_VRX_c_Chan_ptr registerReceiverChannel(IF_VRX_c_ChanMan_ptr m, DataRateClass k, DataFormat f, Boolean rec,
                                              Boolean rep, Str n, Str w, Out id, ReceiverKind x, Str xn) override
    {
        id = echo("registerReceiverChannel", m, k, f, rec, rep, n, w, x, xn);
        m->goingDown();
        return IF_VRX_c_Chan::_nil();
    }
    VRX_UNCALLED(IF_VRX_c_Chan_ptr registerChannel(IF_VRX_c_ChanMan_ptr, DataRateClass, DataFormat, Boolean, Boolean,
                                                   Str, Out))
    VRX_UNCALLED(IF_VRX_c_Chan_ptr registerChannelEx(IF_VRX_c_ChanMan_ptr, DataRateClass, DataFormat, Boolean, Boolean,
                                                     Str, Str, Out))
    VRX_UNCALLED(IF_VOREX_Replay_ptr getVorexReplayInterface(Str))
    VRX_UNCALLED(IF_VRX_c_Chan_ptr getVorexChannelInterface(Str))
    VRX_UNCALLED(IF_VOREX_Admin_ptr getVorexAdminInterface())
    VRX_UNCALLED(StringSeq* getAllDevices())
    VRX_UNCALLED(char* mapDeviceIdToAddress(Str))
    VRX_UNCALLED(char* mapAddressToDeviceId(Str))
    VRX_UNCALLED(void getDeviceInformation(Str, Out, ULong&))
    VRX_UNCALLED(RecordMetaData* getMetaDataForRecord(Str, Str))
    VRX_UNCALLED(RecordInfoSeq* getAllRecords(Str))
    VRX_UNCALLED(char* getWorkstationName())
    VRX_UNCALLED(void exportRecording(IF_ExportCallback_ptr))
    VRX_UNCALLED(void cancelExport(Str))
    VRX_UNCALLED(void restoreMuravFileGroup(Str, Str, Str))
    VRX_UNCALLED(void getMuravConnectionParameter(Boolean&, Out, U16&))
};

struct Callback : POA_CCO::Callback
{
    void notify(CCO::NotificationType k, Str m) override { called("notify", k, m); }
};

struct CBRegistration : POA_CCO::CBRegistration
{
    void unregister() override { called("unregister"); }
};

struct Cco : POA_CCO::IF_CCO_c
{
    Boolean CheckIndication(Str n) override { return called("CheckIndication", n) % 2; }
    void Register(Str n, CORBA::Object_ptr o, CCO::RedundancyType r) override { called("Register", n, o, r); }
    char* GetSystemName() override { return echo("GetSystemName"); }
    VRX_UNCALLED(void StartupIndication(Str))
    VRX_UNCALLED(void ShutdownIndication(Str))
    VRX_UNCALLED(void CentralServicesIndication(Str))
    VRX_UNCALLED(CORBA::Object_ptr Unregister(Str, CCO::RedundancyType))
    VRX_UNCALLED(void RegisterValues(Str, const CCO::StringSeq&, CCO::RedundancyType))
    VRX_UNCALLED(void UnregisterValues(Str, CCO::RedundancyType))
    VRX_UNCALLED(CORBA::Object_ptr Resolve(Str, CCO::ResolveType))
    VRX_UNCALLED(CCO::StringSeq* ResolveValues(Str, CCO::ResolveType))
    VRX_UNCALLED(char* GetSubSystemName())
    VRX_UNCALLED(char* GetWorkstationName())
    VRX_UNCALLED(CCO::StringSeq* GetSubSystems())
    VRX_UNCALLED(CCO::StringSeq* GetWorkstations(Str))
    VRX_UNCALLED(CCO::StringSeq* GetSystemWorkstations())
    VRX_UNCALLED(Boolean IsLocalHostASystemWorkstation())
    VRX_UNCALLED(Boolean IsRemoteCCOIndicated(Str))
    VRX_UNCALLED(Boolean IsWorkstationIndicated(Str, Str))
    VRX_UNCALLED(CCO::CBRegistration_ptr register_callback(CCO::Callback_ptr, const CCO::NotificationFilterSeq&))
    VRX_UNCALLED(CCO::StringSeq* GetWorkStationsFromCCOConfig(Str))
};

} // namespace vrxservants
