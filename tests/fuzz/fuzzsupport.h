#pragma once

// Shared frame of the protocol fuzz targets: each target defines its table
// of decoders; fuzzsupport.cpp provides LLVMFuzzerTestOneInput and, without
// libFuzzer, a main that replays files or writes the seed corpus.
//
// An input is two header octets and a CDR body:
//   octet 0  which decoder of the target's table runs (modulo its size)
//   octet 1  bit 0: the body is little-endian; bit 1: 8-bit strings travel
//            as UTF-8 instead of ISO 8859-1 (wide strings: UTF-16)
//
// A decoder accepts its input or raises a CORBA system exception; anything
// else (a crash, a sanitizer report) ends the run. The corpus replay also
// cuts each accepted input short at every octet it read: each cut must raise
// a system exception.

#include <omniORB4/CORBA.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace vrxfuzz {

struct Decoder
{
    const char* name;
    void (*decode)(cdrStream& in);
    void (*seed)(cdrStream& out); // null: the seed is an empty body
};

// The target's decoders. Octet 0 of the kept corpus indexes this table, so
// new entries go at the end.
const std::vector<Decoder>& targetTable();

// Ends the process with a message: the fuzzer keeps the input.
[[noreturn]] void fail(const char* decoder, const char* what);

// A read-only memory stream whose length check cannot wrap.
//
// omniORB 4.2.5's cdrMemoryStream::checkInputOverrun multiplies item size
// and count in 32 bits: a sequence of 4-byte numbers announcing 0x80000004
// elements passes the check with 16 bytes left, and the sequence then
// allocates 8 GiB (see fuzz_overrun_check.cpp). Every stream the targets
// read from is this one, so fuzzing goes on past that known defect.
class BoundedInput : public cdrMemoryStream
{
public:
    BoundedInput(char* buffer, std::size_t size) : cdrMemoryStream(buffer, size) {}
    std::size_t consumed() const { return std::size_t(static_cast<char*>(pd_inb_mkr) - static_cast<char*>(pd_bufp)); }
    _CORBA_Boolean checkInputOverrun(_CORBA_ULong itemSize, _CORBA_ULong nItems,
                                     omni::alignment_t align = omni::ALIGN_1) override
    {
        const auto start = omni::align_to(reinterpret_cast<omni::ptr_arith_t>(pd_inb_mkr), align);
        const auto end = reinterpret_cast<omni::ptr_arith_t>(pd_inb_end);
        return start <= end && std::uint64_t(itemSize) * nItems <= end - start;
    }
};

template <class T>
void decode(cdrStream& in)
{
    T value;
    value <<= in;
}

// A sequence of the given elements, for seeds.
template <class S, class E>
S seq(std::initializer_list<E> items)
{
    S s;
    s.length(CORBA::ULong(items.size()));
    CORBA::ULong i = 0;
    for (const E& item : items)
        s[i++] = item;
    return s;
}

} // namespace vrxfuzz

// Table entries for type T: seeded with the marshalled value of an
// expression, or with an empty body.
#define VRXFUZZ_TYPE(T, ...) \
    vrxfuzz::Decoder { #T, &vrxfuzz::decode<T>, [](cdrStream& o) { (__VA_ARGS__) >>= o; } }
#define VRXFUZZ_BARE(T) \
    vrxfuzz::Decoder { #T, &vrxfuzz::decode<T>, nullptr }
