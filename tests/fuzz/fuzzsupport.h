#pragma once

// Shared frame of the protocol fuzz targets.
//
// An input is two header octets and a CDR body:
//   octet 0  which decoder of the target's table runs (modulo its size)
//   octet 1  bit 0: the body is little-endian; bit 1: 8-bit strings travel
//            as UTF-8 instead of ISO 8859-1 (the two code sets omniORB
//            negotiates on a GIOP 1.2 connection; wide strings are UTF-16)
//
// A decoder either produces a value or a CORBA system exception. A value is
// marshalled again, read back and marshalled a second time: both byte strings
// must agree, and what the ORB accepted once it must accept again. Anything
// else (another exception, a crash, a sanitizer report) ends the run.

#include <omniORB4/CORBA.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vrxfuzz {

// Inputs above this size are ignored, as a server refuses a GIOP message
// above its giopMaxMsgSize before unmarshalling any of it. The bound keeps
// the allocation a sequence header can cause small: omniORB checks an
// announced sequence length only against the bytes left (one per element),
// so a length costs up to sizeof(element) bytes of memory per input byte.
constexpr std::size_t kMaxInput = 64 * 1024;

struct Context
{
    bool little = true;
    bool utf8 = false;
};

using DecodeFn = void (*)(cdrStream& in, const Context& ctx);
using SeedFn = void (*)(cdrStream& out);

struct Decoder
{
    const char* name;
    DecodeFn decode;
    SeedFn seed; // null: the seed is an empty body
};

// Ends the process with a message: the fuzzer keeps the input.
[[noreturn]] void fail(const char* decoder, const char* what);

// Sets the transmission code sets of a stream as a GIOP 1.2 connection
// would after code set negotiation.
void setCodeSets(cdrStream& s, bool utf8);

// Runs one input against a table of decoders.
int run(const std::vector<Decoder>& table, const std::uint8_t* data, std::size_t size);

// Writes one seed file per decoder, in both byte orders, into dir. Returns the number of files written.
int writeSeeds(const std::vector<Decoder>& table, const std::string& dir);

// A read-only memory stream whose length check cannot wrap.
//
// omniORB 4.2.5's cdrMemoryStream::checkInputOverrun multiplies item size
// and count in 32 bits: a sequence of 4-byte numbers announcing 0x80000004
// elements passes the check with 16 bytes left, and the sequence then
// allocates 8 GiB (found by fuzz_kdvrx on ULongSeq; see
// fuzz_overrun_check.cpp). Every stream the targets read from is this one,
// so fuzzing goes on past that known defect and finds the next one.
class BoundedInput : public cdrMemoryStream
{
public:
    BoundedInput(void* buffer, std::size_t size) : cdrMemoryStream(buffer, size) {}
    _CORBA_Boolean checkInputOverrun(_CORBA_ULong itemSize, _CORBA_ULong nItems,
                                     omni::alignment_t align = omni::ALIGN_1) override;
};

// The decoder of a target currently running (for messages).
extern const char* g_current;

template <class T>
void roundTrip(const T& value, const Context& ctx)
{
    cdrMemoryStream first(CORBA::ULong(0), true);
    setCodeSets(first, ctx.utf8);
    try {
        value >>= first;
    } catch (const CORBA::SystemException&) {
        fail(g_current, "marshalling an accepted value failed");
    }
    cdrMemoryStream reread(first, 1);
    setCodeSets(reread, ctx.utf8);
    T copy;
    try {
        copy <<= reread;
    } catch (const CORBA::SystemException&) {
        fail(g_current, "the marshalled form of an accepted value was rejected");
    }
    cdrMemoryStream second(CORBA::ULong(0), true);
    setCodeSets(second, ctx.utf8);
    copy >>= second;
    if (first.bufSize() != second.bufSize()
        || std::memcmp(first.bufPtr(), second.bufPtr(), first.bufSize()) != 0)
        fail(g_current, "marshalling is not stable across a round trip");
}

template <class T>
void decode(cdrStream& in, const Context& ctx)
{
    T value;
    value <<= in;
    roundTrip(value, ctx);
}

} // namespace vrxfuzz

#define VRXFUZZ_DECODER(T, seedFn) vrxfuzz::Decoder{#T, &vrxfuzz::decode<T>, seedFn}

// The two entry points of a target, both serving its decoder table: the one
// libFuzzer (or the corpus replay) calls, and the seed writer.
#define VRXFUZZ_ENTRY_POINTS(tableFunction)                                                   \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)       \
    {                                                                                         \
        return vrxfuzz::run(tableFunction(), data, size);                                     \
    }                                                                                         \
    int vrxfuzzWriteSeeds(const std::string& dir)                                             \
    {                                                                                         \
        return vrxfuzz::writeSeeds(tableFunction(), dir);                                     \
    }
