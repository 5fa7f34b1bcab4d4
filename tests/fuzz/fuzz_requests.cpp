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

namespace {

using namespace KD_VRX;

// Touches every byte of a string argument, so a string the ORB built wrongly
// shows up in the sanitizers right here.
CORBA::ULong weight(const char* s)
{
    return static_cast<CORBA::ULong>(std::strlen(s));
}

CORBA::ULong weight(const CORBA::WChar* s)
{
    return static_cast<CORBA::ULong>(std::wcslen(s));
}

class ReplayServant : public POA_KD_VRX::IF_VOREX_Replay
{
public:
    CORBA::ULong StartReplay(const char* device, const char* record, DataRateClass rate, CORBA::ULongLong start,
                             CORBA::ULongLong stop, CORBA::ULong count) override
    {
        if (rate > DataRateClass_15)
            vrxfuzz::fail("StartReplay", "an enumeration value out of range reached the servant");
        return weight(device) + weight(record) + static_cast<CORBA::ULong>(rate) + count
               + static_cast<CORBA::ULong>(start < stop);
    }
    CORBA::ULong StartReplayReceivers(const char* device, const char* record, DataRateClass rate,
                                      CORBA::ULongLong start, CORBA::ULongLong stop, CORBA::ULong count,
                                      ReceiverKind receiver) override
    {
        if (receiver > ReceiverKind_4)
            vrxfuzz::fail("StartReplayReceivers", "an enumeration value out of range reached the servant");
        return StartReplay(device, record, rate, start, stop, count);
    }
    CORBA::ULong PauseReplay(const char* d, const char* r) override { return weight(d) + weight(r); }
    CORBA::ULong ContinueReplay(const char* d, const char* r) override { return weight(d) + weight(r); }
    CORBA::ULong StopReplay(const char* d, const char* r) override { return weight(d) + weight(r); }
};

class AdminServant : public POA_KD_VRX::IF_VOREX_Admin
{
public:
    CORBA::ULong removeHistoryEntry(const char* d, const char* r, CORBA::ULongLong) override
    {
        return weight(d) + weight(r);
    }
    CORBA::ULong addHistory(const char* d, const char* r, const CORBA::WChar* e) override
    {
        return weight(d) + weight(r) + weight(e);
    }
    CORBA::ULong copyRecord(const char* d, const char* r, CORBA::String_out newId, const CopyRangeSeq& ranges,
                            const CORBA::WChar* name) override
    {
        newId = CORBA::string_dup(r);
        return weight(d) + ranges.length() + weight(name);
    }
    CORBA::ULong setRecordComment(const char* d, const char* r, const CORBA::WChar* c) override
    {
        return weight(d) + weight(r) + weight(c);
    }
    CORBA::ULong setRecordDeletableFlag(const char* d, const char* r, CORBA::Boolean f) override
    {
        return weight(d) + weight(r) + (f ? 1 : 0);
    }
    CORBA::ULong addBookmarks(const char* d, const char* r, const BookmarkItemSeq& items) override
    {
        CORBA::ULong n = weight(d) + weight(r);
        for (CORBA::ULong i = 0; i < items.length(); ++i)
            n += weight(items[i].label);
        return n;
    }
    CORBA::ULong deleteBookmarks(const char* d, const char* r, const BookmarkItemSeq& items) override
    {
        return addBookmarks(d, r, items);
    }
    CORBA::ULong getDeviceTime(const char* d, CORBA::ULongLong& time, CORBA::Boolean& synced) override
    {
        time = weight(d);
        synced = time % 2 == 0;
        return 0;
    }
    CORBA::ULong setDeviceTime(const char* d, CORBA::ULongLong) override { return weight(d); }
    CORBA::ULong getOverviewSpectrumStreamed(const char* d, const char* r, CORBA::ULongLong, CORBA::ULongLong,
                                             CORBA::ULongLong, CORBA::ULong, SpectrumKind kind, const char* host,
                                             CORBA::UShort) override
    {
        if (kind > SpectrumKind_4)
            vrxfuzz::fail("getOverviewSpectrumStreamed", "an enumeration value out of range reached the servant");
        return weight(d) + weight(r) + weight(host);
    }
    // An empty record id is "not found", answered with the user exception
    // the operation declares; otherwise a record whose contents come from
    // the arguments.
    CORBA::ULong getRecord(const char* d, const char* r, RecordInfo_out info) override
    {
        if (!*r)
            throw KD_VRX::IF_VOREX_Admin::exAdmin(KD_VRX::IF_VOREX_Admin::exAdminCode_0, d);
        info = new RecordInfo;
        info->recordId = CORBA::string_dup(r);
        info->recordName = CORBA::wstring_dup(L"record");
        info->startTime = info->stopTime = info->sizeInBytes = weight(r);
        info->state = RecordState_2;
        info->format = DataFormat_0;
        info->sampleRate = info->centerFrequency = info->bandwidth = 0;
        info->rate = DataRateClass_0;
        info->deletable = weight(d) % 2 == 0;
        info->segments.length(weight(d) % 4);
        for (CORBA::ULong i = 0; i < info->segments.length(); ++i)
            info->segments[i] = RecordSegment{i, i + 1, 0, i, 0};
        info->bookmarks.length(1);
        info->bookmarks[0].time = 1;
        info->bookmarks[0].label = CORBA::wstring_dup(L"b");
        return 0;
    }
    CORBA::ULong requestRecordDataDetail(const char* d, const char* r) override { return weight(d) + weight(r); }
    CORBA::Boolean deleteRecord(const char* d, const char* r) override { return weight(d) > weight(r); }
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
        cdrMemoryStream reply(CORBA::ULong(0), true);
        reply.setByteSwapFlag(m_ctx.little);
        vrxfuzz::setCodeSets(reply, m_ctx.utf8);
        try {
            m_call->marshalReturnedValues(reply);
        } catch (const CORBA::SystemException&) {
            vrxfuzz::fail(m_operation, "the reply to an accepted request could not be marshalled");
        }
        m_replied = true;
    }
    void SendException(CORBA::Exception*) override {}
    bool replied() const { return m_replied; }

private:
    cdrStream& m_body;
    const char* m_operation;
    vrxfuzz::Context m_ctx;
    omniCallDescriptor* m_call = nullptr;
    bool m_replied = false;
};

ReplayServant* replayServant()
{
    static ReplayServant* s = new ReplayServant; // lives as long as the process
    return s;
}

AdminServant* adminServant()
{
    static AdminServant* s = new AdminServant;
    return s;
}

template <class Servant>
void dispatch(Servant* servant, const char* operation, cdrStream& in, const vrxfuzz::Context& ctx)
{
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
    if (!request.replied())
        vrxfuzz::fail(operation, "the request completed without a reply");
}

// Seeds: argument lists marshalled as a client sends them.
void strings2(cdrStream& o, const char* a, const char* b)
{
    o.marshalString(a);
    o.marshalString(b);
}

void seed_StartReplay(cdrStream& o)
{
    strings2(o, "DEV-1", "REC-0042");
    DataRateClass_7 >>= o;
    CORBA::ULongLong(1700000000000000ull) >>= o;
    CORBA::ULongLong(1700000060000000ull) >>= o;
    CORBA::ULong(0) >>= o;
}
void seed_StartReplayReceivers(cdrStream& o)
{
    seed_StartReplay(o);
    ReceiverKind_3 >>= o;
}
void seed_PauseReplay(cdrStream& o) { strings2(o, "DEV-1", "REC-0042"); }
void seed_ContinueReplay(cdrStream& o) { strings2(o, "DEV-1", "REC-0042"); }
void seed_StopReplay(cdrStream& o) { strings2(o, "DEV-1", ""); }
void seed_getRecord(cdrStream& o) { strings2(o, "DEV-1", "REC-0042"); }
void seed_removeHistoryEntry(cdrStream& o)
{
    strings2(o, "DEV-1", "REC-0042");
    CORBA::ULongLong(5) >>= o;
}
void seed_addHistory(cdrStream& o)
{
    strings2(o, "DEV-1", "REC-0042");
    o.marshalWString(L"checked \u00e9");
}
void seed_copyRecord(cdrStream& o)
{
    strings2(o, "DEV-1", "REC-0042");
    CopyRangeSeq ranges;
    ranges.length(1);
    ranges[0].startTime = 1;
    ranges[0].stopTime = 2;
    ranges >>= o;
    o.marshalWString(L"copy");
}
void seed_setRecordComment(cdrStream& o)
{
    strings2(o, "DEV-1", "REC-0042");
    o.marshalWString(L"");
}
void seed_setRecordDeletableFlag(cdrStream& o)
{
    strings2(o, "DEV-1", "REC-0042");
    o.marshalBoolean(true);
}
void seed_addBookmarks(cdrStream& o)
{
    strings2(o, "DEV-1", "REC-0042");
    BookmarkItemSeq items;
    items.length(2);
    items[0].time = 3;
    items[0].label = CORBA::wstring_dup(L"one");
    items[1].time = 4;
    items[1].label = CORBA::wstring_dup(L"two");
    items >>= o;
}
void seed_deleteBookmarks(cdrStream& o) { seed_addBookmarks(o); }
void seed_getDeviceTime(cdrStream& o) { o.marshalString("DEV-1"); }
void seed_setDeviceTime(cdrStream& o)
{
    o.marshalString("DEV-1");
    CORBA::ULongLong(1700000000000000ull) >>= o;
}
void seed_getOverviewSpectrumStreamed(cdrStream& o)
{
    strings2(o, "DEV-1", "REC-0042");
    CORBA::ULongLong(1) >>= o;
    CORBA::ULongLong(2) >>= o;
    CORBA::ULongLong(3) >>= o;
    CORBA::ULong(512) >>= o;
    SpectrumKind_2 >>= o;
    o.marshalString("127.0.0.1");
    CORBA::UShort(4000) >>= o;
}
void seed_requestRecordDataDetail(cdrStream& o) { strings2(o, "DEV-1", "REC-0042"); }
void seed_deleteRecord(cdrStream& o) { strings2(o, "DEV-1", "REC-0042"); }

#define VRXFUZZ_REQUEST(servant, op)                                                                     \
    vrxfuzz::Decoder                                                                                        \
    {                                                                                                       \
        #op, [](cdrStream& in, const vrxfuzz::Context& c) { dispatch(servant(), #op, in, c); }, &seed_##op \
    }

const std::vector<vrxfuzz::Decoder>& table()
{
    static const std::vector<vrxfuzz::Decoder> t = {
        VRXFUZZ_REQUEST(replayServant, StartReplay),
        VRXFUZZ_REQUEST(adminServant, getRecord),
        VRXFUZZ_REQUEST(replayServant, StartReplayReceivers),
        VRXFUZZ_REQUEST(replayServant, PauseReplay),
        VRXFUZZ_REQUEST(replayServant, ContinueReplay),
        VRXFUZZ_REQUEST(replayServant, StopReplay),
        VRXFUZZ_REQUEST(adminServant, removeHistoryEntry),
        VRXFUZZ_REQUEST(adminServant, addHistory),
        VRXFUZZ_REQUEST(adminServant, copyRecord),
        VRXFUZZ_REQUEST(adminServant, setRecordComment),
        VRXFUZZ_REQUEST(adminServant, setRecordDeletableFlag),
        VRXFUZZ_REQUEST(adminServant, addBookmarks),
        VRXFUZZ_REQUEST(adminServant, deleteBookmarks),
        VRXFUZZ_REQUEST(adminServant, getDeviceTime),
        VRXFUZZ_REQUEST(adminServant, setDeviceTime),
        VRXFUZZ_REQUEST(adminServant, getOverviewSpectrumStreamed),
        VRXFUZZ_REQUEST(adminServant, requestRecordDataDetail),
        VRXFUZZ_REQUEST(adminServant, deleteRecord),
    };
    return t;
}

} // namespace

VRXFUZZ_ENTRY_POINTS(table)
