// Request bodies as a server receives them: the servant's own dispatcher
// picks the operation by name and its generated call descriptor unmarshals
// the arguments from arbitrary bytes, as it would from a GIOP request. Only
// the transport is replaced: a request source reads the body from memory and
// marshals the reply into memory.
//
// Octet 0 of an input picks the operation among those of the replay and the
// administration interfaces (StartReplay and getRecord are what the
// recorder client library calls); the servants (servants.h) answer with
// values derived from the arguments so that the reply marshalling runs too.
#include "fuzzsupport.h"

#include "servants.h"

#include <omniORB4/IOP_S.h>
#include <omniORB4/callDescriptor.h>
#include <omniORB4/callHandle.h>
#include <omniORB4/internal/localIdentity.h>

#include <tuple>

using namespace KD_VRX;
using CORBA::ULong;
using CORBA::ULongLong;

namespace {

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
    for (const std::string& call : vrxservants::takeCalls())
        if (call.find('!') != std::string::npos)
            vrxfuzz::fail(operation, "an enumeration value out of range reached the servant");
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
        #op, [](cdrStream& in, const vrxfuzz::Context& c) { dispatch<vrxservants::servant>(#op, in, c); },     \
            [](cdrStream& o) {                                                                     \
                std::apply([&](const auto&... a) { (put(o, a), ...); }, std::make_tuple(__VA_ARGS__)); \
            }                                                                                      \
    }
#define REPLAY_START "DEV-1", "REC-0042", DataRateClass_7, ULongLong(1700000000000000ull), ULongLong(1700000060000000ull), 0u

const std::vector<vrxfuzz::Decoder>& vrxfuzz::targetTable()
{
    static const std::vector<Decoder> t = {
        VRXFUZZ_REQUEST(StartReplay, Replay, REPLAY_START),
        VRXFUZZ_REQUEST(getRecord, Admin, "DEV-1", "REC-0042"),
        VRXFUZZ_REQUEST(StartReplayReceivers, Replay, REPLAY_START, ReceiverKind_3),
        VRXFUZZ_REQUEST(PauseReplay, Replay, "DEV-1", "REC-0042"),
        VRXFUZZ_REQUEST(ContinueReplay, Replay, "DEV-1", "REC-0042"),
        VRXFUZZ_REQUEST(StopReplay, Replay, "DEV-1", ""),
        VRXFUZZ_REQUEST(removeHistoryEntry, Admin, "DEV-1", "REC-0042", ULongLong(5)),
        VRXFUZZ_REQUEST(addHistory, Admin, "DEV-1", "REC-0042", L"checked \u00e9"),
        VRXFUZZ_REQUEST(copyRecord, Admin, "DEV-1", "REC-0042", seq<CopyRangeSeq>({CopyRange{1, 2}}), L"copy"),
        VRXFUZZ_REQUEST(setRecordComment, Admin, "DEV-1", "REC-0042", L""),
        VRXFUZZ_REQUEST(setRecordDeletableFlag, Admin, "DEV-1", "REC-0042", true),
        VRXFUZZ_REQUEST(addBookmarks, Admin, "DEV-1", "REC-0042", kBookmarks()),
        VRXFUZZ_REQUEST(deleteBookmarks, Admin, "DEV-1", "REC-0042", kBookmarks()),
        VRXFUZZ_REQUEST(getDeviceTime, Admin, "DEV-1"),
        VRXFUZZ_REQUEST(setDeviceTime, Admin, "DEV-1", ULongLong(1700000000000000ull)),
        VRXFUZZ_REQUEST(getOverviewSpectrumStreamed, Admin, "DEV-1", "REC-0042", ULongLong(1), ULongLong(2), ULongLong(3), 512u,
                        SpectrumKind_2, "127.0.0.1", CORBA::UShort(4000)),
        VRXFUZZ_REQUEST(requestRecordDataDetail, Admin, "DEV-1", "REC-0042"),
        VRXFUZZ_REQUEST(deleteRecord, Admin, "DEV-1", "REC-0042"),
    };
    return t;
}
