#include "fuzzsupport.h"

#include <omniORB4/codeSets.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace vrxfuzz {

const char* g_current = "";

void fail(const char* decoder, const char* what)
{
    std::fprintf(stderr, "vrxfuzz: %s: %s\n", decoder, what);
    std::fflush(stderr);
    std::abort();
}

namespace {

// The native code sets every stream converts to and from are chosen by
// ORB_init, as in any process that talks the protocol. The ORB stays up for
// the process's lifetime; it opens no endpoint unless a POA is activated.
void initOrb()
{
    static const bool done = [] {
        // Malformed input is the normal case here: no error log per input.
        int argc = 3;
        char name[] = "vrxfuzz";
        char option[] = "-ORBtraceLevel";
        char level[] = "0";
        char* argv[] = {name, option, level, nullptr};
        CORBA::ORB_init(argc, argv);
        return true;
    }();
    (void)done;
}

} // namespace

void setCodeSets(cdrStream& s, bool utf8)
{
    const GIOP::Version giop12 = {1, 2};
    s.TCS_C(omni::omniCodeSet::getTCS_C(utf8 ? omni::omniCodeSet::ID_UTF_8 : omni::omniCodeSet::ID_8859_1, giop12));
    s.TCS_W(omni::omniCodeSet::getTCS_W(omni::omniCodeSet::ID_UTF_16, giop12));
}

_CORBA_Boolean BoundedInput::checkInputOverrun(_CORBA_ULong itemSize, _CORBA_ULong nItems, omni::alignment_t align)
{
    const omni::ptr_arith_t start = omni::align_to(reinterpret_cast<omni::ptr_arith_t>(pd_inb_mkr), align);
    const omni::ptr_arith_t end = reinterpret_cast<omni::ptr_arith_t>(pd_inb_end);
    return start <= end && std::uint64_t(itemSize) * nItems <= end - start;
}

int run(const std::vector<Decoder>& table, const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || size > kMaxInput || table.empty())
        return 0;
    initOrb();
    const Decoder& decoder = table[data[0] % table.size()];
    g_current = decoder.name;
    Context ctx;
    ctx.little = (data[1] & 1) != 0;
    ctx.utf8 = (data[1] & 2) != 0;

    // An exactly sized copy: the stream aligns by address, so the body must
    // start on an 8-byte boundary (new[] gives at least that), and any read
    // past the body's end is then a reported heap overflow.
    const std::size_t bodySize = size - 2;
    std::unique_ptr<char[]> body(new char[bodySize ? bodySize : 1]);
    if (bodySize)
        std::memcpy(body.get(), data + 2, bodySize);
    BoundedInput in(body.get(), bodySize);
    in.setByteSwapFlag(ctx.little);
    setCodeSets(in, ctx.utf8);
    try {
        decoder.decode(in, ctx);
    } catch (const CORBA::SystemException&) {
        // The expected way to refuse malformed input.
    } catch (const CORBA::UserException&) {
        // Only the request targets let these through (a servant's answer).
    }
    // Anything else propagates and ends the run as an uncaught exception.
    return 0;
}

int writeSeeds(const std::vector<Decoder>& table, const std::string& dir)
{
    initOrb();
    int written = 0;
    for (std::size_t i = 0; i < table.size(); ++i) {
        for (const bool little : {true, false}) {
            cdrMemoryStream out(CORBA::ULong(0), true);
            out.setByteSwapFlag(little);
            setCodeSets(out, false);
            if (table[i].seed)
                table[i].seed(out);
            std::string name = table[i].name;
            for (char& c : name)
                if (c == ':' || c == '<' || c == '>' || c == ' ')
                    c = '_';
            const std::string path = dir + "/" + name + (little ? "-le" : "-be");
            std::ofstream file(path, std::ios::binary);
            const char header[2] = {static_cast<char>(i), static_cast<char>(little ? 1 : 0)};
            file.write(header, 2);
            file.write(static_cast<const char*>(out.bufPtr()), out.bufSize());
            if (file)
                ++written;
        }
    }
    return written;
}

} // namespace vrxfuzz
