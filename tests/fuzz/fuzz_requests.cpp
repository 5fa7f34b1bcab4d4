// Request bodies as a server receives them: the servant's own dispatcher
// picks the operation by name and its generated call descriptor unmarshals
// the arguments from arbitrary bytes, as it would from a GIOP request, then
// calls the servant (servants.h). Octet 0 of an input picks one operation of
// the replay and administration interfaces.
#include "fuzzsupport.h"

#include "servants.h"

#include <omniORB4/IOP_S.h>
#include <omniORB4/callDescriptor.h>
#include <omniORB4/callHandle.h>
#include <omniORB4/internal/localIdentity.h>

using namespace KD_VRX;
using CORBA::ULongLong;

namespace {

// The server side of one request without a connection: the arguments are
// read from memory, the reply goes nowhere.
struct MemoryRequest : omni::IOP_S
{
    MemoryRequest(cdrStream& b, const char* o) : body(b), operation(o) {}
    cdrStream& getStream() override { return body; }
    const char* operation_name() const override { return operation; }
    void ReceiveRequest(omniCallDescriptor& call) override { call.unmarshalArguments(body); }
    void SkipRequestBody() override {}
    void SendReply() override {}
    void SendException(CORBA::Exception*) override {}

    cdrStream& body;
    const char* operation;
};

template <class Servant>
void dispatch(const char* operation, cdrStream& in)
{
    static Servant* const servant = new Servant; // lives as long as the process
    // The object adapter would find the identity by the request's object
    // key; nothing here looks further than that it names the servant.
    static const CORBA::Octet key[] = {'f', 'u', 'z', 'z'};
    omniLocalIdentity identity(key, sizeof key, servant, nullptr);
    MemoryRequest request(in, operation);
    omniCallHandle handle(&request, nullptr);
    handle.localId(&identity);
    if (!servant->_dispatch(handle))
        vrxfuzz::fail(operation, "the dispatcher did not know its own operation");
    vrxservants::takeCalls();
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
template <class... A>
void args(cdrStream& o, A... a)
{
    (put(o, a), ...);
}

} // namespace

// Operation, servant (servants.h), seed arguments.
#define VRXFUZZ_REQUEST(op, servant, ...)                                                   \
    vrxfuzz::Decoder { #op, [](cdrStream& in) { dispatch<vrxservants::servant>(#op, in); }, \
                       [](cdrStream& o) { args(o, __VA_ARGS__); } }
#define DEV_REC "DEV-1", "REC-0042"
#define BOOKMARKS seq<BookmarkItemSeq>({BookmarkItem{3, L"one"}, BookmarkItem{4, L"two"}})
#define REPLAY_START DEV_REC, DataRateClass_7, ULongLong(1700000000000000ull), ULongLong(1700000060000000ull), 0u

const std::vector<vrxfuzz::Decoder>& vrxfuzz::targetTable()
{
    static const std::vector<Decoder> t = {
        VRXFUZZ_REQUEST(StartReplay, Replay, REPLAY_START),
        VRXFUZZ_REQUEST(getRecord, Admin, DEV_REC),
        VRXFUZZ_REQUEST(StartReplayReceivers, Replay, REPLAY_START, ReceiverKind_3),
        VRXFUZZ_REQUEST(PauseReplay, Replay, DEV_REC),
        VRXFUZZ_REQUEST(ContinueReplay, Replay, DEV_REC),
        VRXFUZZ_REQUEST(StopReplay, Replay, "DEV-1", ""),
        VRXFUZZ_REQUEST(removeHistoryEntry, Admin, DEV_REC, ULongLong(5)),
        VRXFUZZ_REQUEST(addHistory, Admin, DEV_REC, L"checked \u00e9"),
        VRXFUZZ_REQUEST(copyRecord, Admin, DEV_REC, seq<CopyRangeSeq>({CopyRange{1, 2}}), L"copy"),
        VRXFUZZ_REQUEST(setRecordComment, Admin, DEV_REC, L""),
        VRXFUZZ_REQUEST(setRecordDeletableFlag, Admin, DEV_REC, true),
        VRXFUZZ_REQUEST(addBookmarks, Admin, DEV_REC, BOOKMARKS),
        VRXFUZZ_REQUEST(deleteBookmarks, Admin, DEV_REC, BOOKMARKS),
        VRXFUZZ_REQUEST(getDeviceTime, Admin, "DEV-1"),
        VRXFUZZ_REQUEST(setDeviceTime, Admin, "DEV-1", ULongLong(1700000000000000ull)),
        VRXFUZZ_REQUEST(getOverviewSpectrumStreamed, Admin, DEV_REC, ULongLong(1), ULongLong(2), ULongLong(3), 512u,
                        SpectrumKind_2, "127.0.0.1", CORBA::UShort(4000)),
        VRXFUZZ_REQUEST(requestRecordDataDetail, Admin, DEV_REC),
        VRXFUZZ_REQUEST(deleteRecord, Admin, DEV_REC),
    };
    return t;
}
