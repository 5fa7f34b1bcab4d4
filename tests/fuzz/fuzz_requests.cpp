// Request bodies as a server receives them: the servant's own dispatcher
// picks the operation by name and its generated call descriptor unmarshals
// the arguments from arbitrary bytes, as it would from a GIOP request. Only
// the transport is replaced: a request source reads the body from memory and
// marshals the reply into memory.
//
// Octet 0 of an input picks the operation among those of the replay and the
// administration interfaces (StartReplay and getRecord are what the
// recorder client library calls); the servants answer with values derived
// from the arguments so that the reply marshalling runs too.
#include "fuzzsupport.h"

#include "vorexmanager.hh"

#include <omniORB4/IOP_S.h>
#include <omniORB4/callDescriptor.h>
#include <omniORB4/callHandle.h>
#include <omniORB4/internal/localIdentity.h>

#include <cwchar>
#include <tuple>

using namespace KD_VRX;
using CORBA::ULong;
using CORBA::ULongLong;

namespace {

// Touches every character of a string argument, so a string the ORB built
// wrongly shows up in the sanitizers right here.
ULong w(const char* s) { return ULong(std::strlen(s)); }
ULong w(const CORBA::WChar* s) { return ULong(std::wcslen(s)); }
ULong w(const char* a, const char* b) { return w(a) + w(b); }

template <class E>
ULong inRange(E value, E last, const char* operation)
{
    if (value > last)
        vrxfuzz::fail(operation, "an enumeration value out of range reached the servant");
    return ULong(value);
}

class ReplayServant : public POA_KD_VRX::IF_VOREX_Replay
{
public:
    ULong StartReplay(const char* d, const char* r, DataRateClass rate, ULongLong start, ULongLong stop,
                      ULong count) override
    {
        return w(d, r) + inRange(rate, DataRateClass_15, "StartReplay") + count + ULong(start < stop);
    }
    ULong StartReplayReceivers(const char* d, const char* r, DataRateClass rate, ULongLong start, ULongLong stop,
                               ULong count, ReceiverKind receiver) override
    {
        return StartReplay(d, r, rate, start, stop, count) + inRange(receiver, ReceiverKind_4, "StartReplayReceivers");
    }
    ULong PauseReplay(const char* d, const char* r) override { return w(d, r); }
    ULong ContinueReplay(const char* d, const char* r) override { return w(d, r); }
    ULong StopReplay(const char* d, const char* r) override { return w(d, r); }
};

class AdminServant : public POA_KD_VRX::IF_VOREX_Admin
{
public:
    ULong removeHistoryEntry(const char* d, const char* r, ULongLong) override { return w(d, r); }
    ULong addHistory(const char* d, const char* r, const CORBA::WChar* e) override { return w(d, r) + w(e); }
    ULong copyRecord(const char* d, const char* r, CORBA::String_out newId, const CopyRangeSeq& ranges,
                     const CORBA::WChar* name) override
    {
        newId = CORBA::string_dup(r);
        return w(d) + ranges.length() + w(name);
    }
    ULong setRecordComment(const char* d, const char* r, const CORBA::WChar* c) override { return w(d, r) + w(c); }
    ULong setRecordDeletableFlag(const char* d, const char* r, CORBA::Boolean f) override { return w(d, r) + f; }
    ULong addBookmarks(const char* d, const char* r, const BookmarkItemSeq& items) override
    {
        ULong n = w(d, r);
        for (ULong i = 0; i < items.length(); ++i)
            n += w(items[i].label);
        return n;
    }
    ULong deleteBookmarks(const char* d, const char* r, const BookmarkItemSeq& items) override
    {
        return addBookmarks(d, r, items);
    }
    ULong getDeviceTime(const char* d, ULongLong& time, CORBA::Boolean& synced) override
    {
        time = w(d);
        synced = time % 2 == 0;
        return 0;
    }
    ULong setDeviceTime(const char* d, ULongLong) override { return w(d); }
    ULong getOverviewSpectrumStreamed(const char* d, const char* r, ULongLong, ULongLong, ULongLong, ULong,
                                      SpectrumKind kind, const char* host, CORBA::UShort) override
    {
        return w(d, r) + w(host) + inRange(kind, SpectrumKind_4, "getOverviewSpectrumStreamed");
    }
    // An empty record id is "not found", answered with the user exception
    // the operation declares; otherwise a record made from the arguments.
    ULong getRecord(const char* d, const char* r, RecordInfo_out info) override
    {
        if (!*r)
            throw KD_VRX::IF_VOREX_Admin::exAdmin(KD_VRX::IF_VOREX_Admin::exAdminCode_0, d);
        info = new RecordInfo{r, L"record", w(r), w(r), w(r), RecordState_2, DataFormat_0, 0, 0, 0,
                              DataRateClass_0, w(d) % 2 == 0, {}, {}, {}};
        info->segments.length(w(d) % 4);
        for (ULong i = 0; i < info->segments.length(); ++i)
            info->segments[i] = RecordSegment{i, i + 1, 0, i, 0};
        info->bookmarks = vrxfuzz::seq<BookmarkItemSeq>({BookmarkItem{1, L"b"}});
        return 0;
    }
    ULong requestRecordDataDetail(const char* d, const char* r) override { return w(d, r); }
    CORBA::Boolean deleteRecord(const char* d, const char* r) override { return w(d) > w(r); }
};

// The server side of one request without a connection.
class MemoryRequest : public omni::IOP_S
{
public:
    MemoryRequest(cdrStream& body, const char* operation, const vrxfuzz::Context& ctx)
        : m_body(body), m_operation(operation), m_ctx(ctx)
    {
    }
    cdrStream& getStream() override { return m_body; }
    const char* operation_name() const override { return m_operation; }
    void ReceiveRequest(omniCallDescriptor& call) override
    {
        m_call = &call;
        call.unmarshalArguments(m_body);
    }
    void SkipRequestBody() override {}
    void SendReply() override
    {
        cdrMemoryStream reply(ULong(0), true);
        reply.setByteSwapFlag(m_ctx.little);
        vrxfuzz::setCodeSets(reply, m_ctx.utf8);
        try {
            m_call->marshalReturnedValues(reply);
        } catch (const CORBA::SystemException&) {
            vrxfuzz::fail(m_operation, "the reply to an accepted request could not be marshalled");
        }
        replied = true;
    }
    void SendException(CORBA::Exception*) override {}
    bool replied = false;

private:
    cdrStream& m_body;
    const char* m_operation;
    vrxfuzz::Context m_ctx;
    omniCallDescriptor* m_call = nullptr;
};

template <class Servant>
void dispatch(const char* operation, cdrStream& in, const vrxfuzz::Context& ctx)
{
    static Servant* const servant = new Servant; // lives as long as the process
    // The object adapter would find the identity by the request's object
    // key and hand it to the call; nothing here looks further than that it
    // names the servant.
    static const CORBA::Octet key[] = {'f', 'u', 'z', 'z'};
    omniLocalIdentity identity(key, sizeof key, servant, nullptr);
    MemoryRequest request(in, operation, ctx);
    omniCallHandle handle(&request, nullptr);
    handle.localId(&identity);
    if (!servant->_dispatch(handle))
        vrxfuzz::fail(operation, "the dispatcher did not know its own operation");
    if (!request.replied)
        vrxfuzz::fail(operation, "the request completed without a reply");
}

// Seeds: argument lists marshalled as a client sends them.
void put(cdrStream& o, const char* s) { o.marshalString(s); }
void put(cdrStream& o, const CORBA::WChar* s) { o.marshalWString(s); }
void put(cdrStream& o, bool b) { o.marshalBoolean(b); }
template <class T>
void put(cdrStream& o, const T& v)
{
    v >>= o;
}

const auto kBookmarks = [] {
    return vrxfuzz::seq<BookmarkItemSeq>({BookmarkItem{3, L"one"}, BookmarkItem{4, L"two"}});
};

} // namespace

// Operation, servant, seed arguments.
#define VRXFUZZ_REQUEST(op, servant, ...)                                                          \
    vrxfuzz::Decoder                                                                               \
    {                                                                                              \
        #op, [](cdrStream& in, const vrxfuzz::Context& c) { dispatch<servant>(#op, in, c); },     \
            [](cdrStream& o) {                                                                     \
                std::apply([&](const auto&... a) { (put(o, a), ...); }, std::make_tuple(__VA_ARGS__)); \
            }                                                                                      \
    }
#define REPLAY_START "DEV-1", "REC-0042", DataRateClass_7, ULongLong(1700000000000000ull), ULongLong(1700000060000000ull), 0u

const std::vector<vrxfuzz::Decoder>& vrxfuzz::targetTable()
{
    static const std::vector<Decoder> t = {
        VRXFUZZ_REQUEST(StartReplay, ReplayServant, REPLAY_START),
        VRXFUZZ_REQUEST(getRecord, AdminServant, "DEV-1", "REC-0042"),
        VRXFUZZ_REQUEST(StartReplayReceivers, ReplayServant, REPLAY_START, ReceiverKind_3),
        VRXFUZZ_REQUEST(PauseReplay, ReplayServant, "DEV-1", "REC-0042"),
        VRXFUZZ_REQUEST(ContinueReplay, ReplayServant, "DEV-1", "REC-0042"),
        VRXFUZZ_REQUEST(StopReplay, ReplayServant, "DEV-1", ""),
        VRXFUZZ_REQUEST(removeHistoryEntry, AdminServant, "DEV-1", "REC-0042", ULongLong(5)),
        VRXFUZZ_REQUEST(addHistory, AdminServant, "DEV-1", "REC-0042", L"checked \u00e9"),
        VRXFUZZ_REQUEST(copyRecord, AdminServant, "DEV-1", "REC-0042", seq<CopyRangeSeq>({CopyRange{1, 2}}), L"copy"),
        VRXFUZZ_REQUEST(setRecordComment, AdminServant, "DEV-1", "REC-0042", L""),
        VRXFUZZ_REQUEST(setRecordDeletableFlag, AdminServant, "DEV-1", "REC-0042", true),
        VRXFUZZ_REQUEST(addBookmarks, AdminServant, "DEV-1", "REC-0042", kBookmarks()),
        VRXFUZZ_REQUEST(deleteBookmarks, AdminServant, "DEV-1", "REC-0042", kBookmarks()),
        VRXFUZZ_REQUEST(getDeviceTime, AdminServant, "DEV-1"),
        VRXFUZZ_REQUEST(setDeviceTime, AdminServant, "DEV-1", ULongLong(1700000000000000ull)),
        VRXFUZZ_REQUEST(getOverviewSpectrumStreamed, AdminServant, "DEV-1", "REC-0042", ULongLong(1), ULongLong(2), ULongLong(3), 512u,
                        SpectrumKind_2, "127.0.0.1", CORBA::UShort(4000)),
        VRXFUZZ_REQUEST(requestRecordDataDetail, AdminServant, "DEV-1", "REC-0042"),
        VRXFUZZ_REQUEST(deleteRecord, AdminServant, "DEV-1", "REC-0042"),
    };
    return t;
}
