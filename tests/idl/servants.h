#pragma once

// Servants of every interface of the two protocols, for the wire test and the
// request fuzz target. Each operation logs its name and arguments and answers
// with values made from them: a test sees what arrived, the fuzz target has
// every string touched and a reply to marshal. An enumeration value out of
// range is counted (the generated code must never let one through).

#include "cco.hh"
#include "vorexmanager.hh"

#include <atomic>
#include <cwchar>
#include <mutex>
#include <thread>
#include <string>
#include <type_traits>
#include <vector>

namespace vrxservants {

using namespace KD_VRX;
using CORBA::Boolean;
using CORBA::ULong;
using Str = const char*;
using WStr = const CORBA::WChar*;
using Out = CORBA::String_out;
using U64 = CORBA::ULongLong;

// Calls received, one line each: the operation and its arguments.
inline std::mutex g_callsMutex;
inline std::vector<std::string> g_calls;
inline std::thread::id g_lastThread; // that of the last call
inline std::vector<std::string> takeCalls()
{
    std::vector<std::string> calls;
    std::lock_guard<std::mutex> lock(g_callsMutex);
    calls.swap(g_calls);
    return calls;
}

inline std::thread::id lastThread()
{
    std::lock_guard<std::mutex> lock(g_callsMutex);
    return g_lastThread;
}

inline unsigned last(DataRateClass) { return DataRateClass_15; }
inline unsigned last(DataFormat) { return DataFormat_23; }
inline unsigned last(ReceiverKind) { return ReceiverKind_4; }
inline unsigned last(RecordState) { return RecordState_8; }
inline unsigned last(SpectrumKind) { return SpectrumKind_4; }
inline unsigned last(CCO::NotificationType) { return CCO::NotificationType_4; }
inline unsigned last(CCO::RedundancyType) { return CCO::RedundancyType_2; }

inline std::string text(Str s) { return s; }
inline std::string text(WStr s) { return std::string(s, s + std::wcslen(s)); } // low octets
inline std::string text(CORBA::Object_ptr o) { return CORBA::is_nil(o) ? "nil" : "ref"; }
template <class T>
std::enable_if_t<std::is_arithmetic<T>::value, std::string> text(T v) { return std::to_string(v); }
inline std::atomic<int> g_outOfRange{0}; // enumeration values beyond their last one, logged as "!"
template <class E>
std::enable_if_t<std::is_enum<E>::value, std::string> text(E v)
{
    return v <= last(v) ? std::to_string(v) : (++g_outOfRange, "!");
}
inline std::string text(const BookmarkItem& b) { return text(b.label); }
inline std::string text(const CopyRange& r) { return std::to_string(r.startTime) + "-" + std::to_string(r.stopTime); }
template <class S>
auto text(const S& s) -> decltype(s.length(), std::string())
{
    std::string t = "[";
    for (ULong i = 0; i < s.length(); ++i)
        t += (i ? "," : "") + text(s[i]);
    return t + "]";
}

// Logs a call and returns its line.
template <class... A>
std::string logged(Str operation, const A&... args)
{
    std::string line = operation;
    ((line += ' ', line += text(args)), ...);
    std::lock_guard<std::mutex> lock(g_callsMutex);
    g_calls.push_back(line);
    g_lastThread = std::this_thread::get_id();
    return line;
}
// Answers: the length of the line, or the line itself.
template <class... A>
ULong called(Str operation, const A&... args) { return ULong(logged(operation, args...).size()); }
template <class... A>
char* echo(Str operation, const A&... args) { return CORBA::string_dup(logged(operation, args...).c_str()); }
inline char* none() { return CORBA::string_dup(""); }

struct RecordStateChangeCallback : POA_KD_VRX::IF_RecordStateChangeCallback
{
    void NotifyStateChange(Str d, Str r, Str n, RecordState s) override { called("NotifyStateChange", d, r, n, s); }
};

struct VorexStatusCallback : POA_KD_VRX::IF_VorexStatusCallback
{
    void NotifyCStorageStatus(Str d, Str s) override { called("NotifyCStorageStatus", d, s); }
};

struct Admin : POA_KD_VRX::IF_VOREX_Admin
{
    ULong removeHistoryEntry(Str d, Str r, U64 t) override { return called("removeHistoryEntry", d, r, t); }
    ULong addHistory(Str d, Str r, WStr e) override { return called("addHistory", d, r, e); }
    ULong copyRecord(Str d, Str r, Out id, const CopyRangeSeq& c, WStr n) override
    {
        id = CORBA::string_dup(r);
        return called("copyRecord", d, r, c, n);
    }
    ULong setRecordComment(Str d, Str r, WStr c) override { return called("setRecordComment", d, r, c); }
    ULong setRecordDeletableFlag(Str d, Str r, Boolean f) override { return called("setRecordDeletableFlag", d, r, f); }
    ULong addBookmarks(Str d, Str r, const BookmarkItemSeq& b) override { return called("addBookmarks", d, r, b); }
    ULong deleteBookmarks(Str d, Str r, const BookmarkItemSeq& b) override { return called("deleteBookmarks", d, r, b); }
    ULong getDeviceTime(Str d, U64& t, Boolean& synced) override { return t = called("getDeviceTime", d), synced = 1, 0; }
    ULong setDeviceTime(Str d, U64 t) override { return called("setDeviceTime", d, t); }
    ULong getOverviewSpectrumStreamed(Str d, Str r, U64 a, U64 b, U64 c, ULong n, SpectrumKind k, Str h,
                                      CORBA::UShort p) override
    {
        return called("getOverviewSpectrumStreamed", d, r, a, b, c, n, k, h, p);
    }
    // An empty record id is "not found", the user exception the operation
    // declares; otherwise a record made from the arguments.
    ULong getRecord(Str d, Str r, RecordInfo_out info) override
    {
        const ULong n = called("getRecord", d, r);
        if (!*r)
            throw KD_VRX::IF_VOREX_Admin::exAdmin(KD_VRX::IF_VOREX_Admin::exAdminCode_0, d);
        info = new RecordInfo{r, L"record", n, n, n, RecordState_2, DataFormat_0, n, n, n, DataRateClass_0, 1, {}, {}, {}};
        return 0;
    }
    ULong requestRecordDataDetail(Str d, Str r) override { return called("requestRecordDataDetail", d, r); }
    Boolean deleteRecord(Str d, Str r) override { return called("deleteRecord", d, r) % 2; }
};

struct Replay : POA_KD_VRX::IF_VOREX_Replay
{
    ULong StartReplay(Str d, Str r, DataRateClass k, U64 a, U64 b, ULong n) override
    {
        return called("StartReplay", d, r, k, a, b, n);
    }
    ULong StartReplayReceivers(Str d, Str r, DataRateClass k, U64 a, U64 b, ULong n, ReceiverKind x) override
    {
        return called("StartReplayReceivers", d, r, k, a, b, n, x);
    }
    ULong PauseReplay(Str d, Str r) override { return called("PauseReplay", d, r); }
    ULong ContinueReplay(Str d, Str r) override { return called("ContinueReplay", d, r); }
    ULong StopReplay(Str d, Str r) override { return called("StopReplay", d, r); }
};

// The other interfaces: one operation each logs its call (the one the
// wire test makes), the others answer with empty values.
struct ChanMan : POA_KD_VRX::IF_VRX_c_ChanMan
{
    Boolean isAvailableForRecord(Str c, const StringSeq& d) override { return called("isAvailableForRecord", c, d) % 2; }
    void goingDown() override { called("goingDown"); }
    Boolean connectForRecord(Str, ReceiverSettingSeq_out r, ULongSeq_out i) override
    {
        return r = new ReceiverSettingSeq, i = new ULongSeq, false;
    }
    Boolean connectForRecordNG(Str, ReceiverSettingNGSeq_out r, ULongSeq_out i) override
    {
        return r = new ReceiverSettingNGSeq, i = new ULongSeq, false;
    }
    void startDataFlow(Str) override {}
    void startDataFlowNG(Str, Str, ULong) override {}
    void stopDataFlow(Str) override {}
    void disconnect(Str) override {}
    Boolean isAvailableForReplay(Str, const StringSeq&) override { return false; }
    Boolean connectForReplay(Str, const ReceiverSettingSeq&, const ULongSeq&) override { return false; }
    void DataTransferStarted(Str) override {}
    void stoppingDataTransfer(Str) override {}
    void ChannelRemoved(Str) override {}
    void RecordingFinished(Str, Str, Str) override {}
    Boolean startXgReplayLegacy(const ReceiverSettingNGSeq&, const ULongSeq&) override { return false; }
    Boolean startXgReplay(Str, U64, U64, ULong) override { return false; }
    Boolean stopXgReplay() override { return false; }
    void VorexRecordReplaySessionFault(Str, ULong, Str) override {}
};

struct Chan : POA_KD_VRX::IF_VRX_c_Chan
{
    void setDataRateClass(DataRateClass k) override { called("setDataRateClass", k); }
    void errorOccured(KD_VRX::IF_VRX_c_Chan::ChannelErrorKind) override {}
    void removeChannel() override {}
    void removeChannelForced() override {}
    void setCallBackInterface(IF_VRX_c_ChanMan_ptr) override {}
    void setRequestedSampleRate(U64, CORBA::UShort) override {}
    void setMURAVRegistration(Boolean, Boolean) override {}
    void setDataFormat(DataFormat) override {}
    void setRecordFlag(Boolean) override {}
    void setReplayFlag(Boolean) override {}
    void setName(Str) override {}
    char* getChannelID() override { return none(); }
    void startRecording(ULong, WStr, ULong) override {}
    void DataTransferStarted() override {}
    void stopRecording(WStr) override {}
    void DataTransferStopped() override {}
    void DataTransferStopping() override {}
    void startReplaying(Str, Str, DataRateClass, U64, U64, ULong) override {}
    void channelError(Str) override {}
    void setVorexDevices(const StringSeqSeq&) override {}
    void setAdditionalDataRateClass(DataRateClass) override {}
};

struct ExportCallback : POA_KD_VRX::IF_ExportCallback
{
    char* startFileStream(Str f, U64 s) override { return echo("startFileStream", f, s); }
    char* exportID() override { return none(); }
    char* deviceID() override { return none(); }
    char* recordID() override { return none(); }
    void exportStarted() override {}
    void exportFileList(const StringSeq&) override {}
    void exportFinished(Boolean, Str) override {}
    void fileStreamFinished(Str, Boolean) override {}
};

// Calls the manager it was given back.
struct Vrx : POA_KD_VRX::IF_VRX_c_VRX
{
    IF_VRX_c_Chan_ptr registerReceiverChannel(IF_VRX_c_ChanMan_ptr m, DataRateClass k, DataFormat f, Boolean rec,
                                              Boolean rep, Str n, Str w, Out id, ReceiverKind x,
                                              Str xn) override
    {
        id = echo("registerReceiverChannel", m, k, f, rec, rep, n, w, x, xn);
        m->goingDown();
        return IF_VRX_c_Chan::_nil();
    }
    IF_VRX_c_Chan_ptr registerChannel(IF_VRX_c_ChanMan_ptr, DataRateClass, DataFormat, Boolean, Boolean, Str, Out i) override
    {
        return i = none(), IF_VRX_c_Chan::_nil();
    }
    IF_VRX_c_Chan_ptr registerChannelEx(IF_VRX_c_ChanMan_ptr, DataRateClass, DataFormat, Boolean, Boolean, Str, Str,
                                        Out i) override
    {
        return i = none(), IF_VRX_c_Chan::_nil();
    }
    IF_VOREX_Replay_ptr getVorexReplayInterface(Str) override { return IF_VOREX_Replay::_nil(); }
    IF_VRX_c_Chan_ptr getVorexChannelInterface(Str) override { return IF_VRX_c_Chan::_nil(); }
    IF_VOREX_Admin_ptr getVorexAdminInterface() override { return IF_VOREX_Admin::_nil(); }
    StringSeq* getAllDevices() override { return new StringSeq; }
    char* mapDeviceIdToAddress(Str) override { return none(); }
    char* mapAddressToDeviceId(Str) override { return none(); }
    void getDeviceInformation(Str, Out d, ULong&) override { d = none(); }
    RecordMetaData* getMetaDataForRecord(Str, Str) override { return new RecordMetaData(); }
    RecordInfoSeq* getAllRecords(Str) override { return new RecordInfoSeq; }
    char* getWorkstationName() override { return none(); }
    void exportRecording(IF_ExportCallback_ptr) override {}
    void cancelExport(Str) override {}
    void restoreMuravFileGroup(Str, Str, Str) override {}
    void getMuravConnectionParameter(Boolean&, Out h, CORBA::UShort&) override { h = none(); }
};

struct Callback : POA_CCO::Callback
{
    void notify(CCO::NotificationType k, Str m) override { called("notify", k, m); }
};

struct CBRegistration : POA_CCO::CBRegistration
{
    void unregister() override { called("unregister"); }
};

// Register with an empty name refuses the object.
struct Cco : POA_CCO::IF_CCO_c
{
    Boolean CheckIndication(Str n) override { return called("CheckIndication", n) % 2; }
    void Register(Str n, CORBA::Object_ptr o, CCO::RedundancyType r) override
    {
        if (called("Register", n, o, r) && !*n)
            throw CCO::IF_CCO_c_Naming::InvalidObject();
    }
    void RegisterValues(Str n, const CCO::StringSeq& v, CCO::RedundancyType r) override { called("RegisterValues", n, v, r); }
    char* GetSystemName() override { return echo("GetSystemName"); }
    void StartupIndication(Str) override {}
    void ShutdownIndication(Str) override {}
    void CentralServicesIndication(Str) override {}
    CORBA::Object_ptr Unregister(Str, CCO::RedundancyType) override { return CORBA::Object::_nil(); }
    void UnregisterValues(Str, CCO::RedundancyType) override {}
    CORBA::Object_ptr Resolve(Str, CCO::ResolveType) override { return CORBA::Object::_nil(); }
    CCO::StringSeq* ResolveValues(Str, CCO::ResolveType) override { return new CCO::StringSeq; }
    char* GetSubSystemName() override { return none(); }
    char* GetWorkstationName() override { return none(); }
    CCO::StringSeq* GetSubSystems() override { return new CCO::StringSeq; }
    CCO::StringSeq* GetWorkstations(Str) override { return new CCO::StringSeq; }
    CCO::StringSeq* GetSystemWorkstations() override { return new CCO::StringSeq; }
    Boolean IsLocalHostASystemWorkstation() override { return false; }
    Boolean IsRemoteCCOIndicated(Str) override { return false; }
    Boolean IsWorkstationIndicated(Str, Str) override { return false; }
    CCO::CBRegistration_ptr register_callback(CCO::Callback_ptr, const CCO::NotificationFilterSeq&) override
    {
        return CCO::CBRegistration::_nil();
    }
    CCO::StringSeq* GetWorkStationsFromCCOConfig(Str) override { return new CCO::StringSeq; }
};

} // namespace vrxservants
