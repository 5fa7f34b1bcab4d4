#include "fuzzsupport.h"

#include <omniORB4/codeSets.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vrxfuzz {

void fail(const char* decoder, const char* what)
{
    std::fprintf(stderr, "vrxfuzz: %s: %s\n", decoder, what);
    std::fflush(stderr);
    std::abort();
}

namespace {

// Inputs above this size are ignored, as a server refuses a message above its
// giopMaxMsgSize: omniORB checks a sequence length only against the bytes
// left, so each input byte can cost sizeof(element) bytes of memory.
constexpr std::size_t kMaxInput = 64 * 1024;
constexpr std::size_t kRefused = std::size_t(-1);

// The transmission code sets a GIOP 1.2 connection negotiates.
void setCodeSets(cdrStream& s, bool utf8)
{
    const GIOP::Version giop12 = {1, 2};
    s.TCS_C(omni::omniCodeSet::getTCS_C(utf8 ? omni::omniCodeSet::ID_UTF_8 : omni::omniCodeSet::ID_8859_1, giop12));
    s.TCS_W(omni::omniCodeSet::getTCS_W(omni::omniCodeSet::ID_UTF_16, giop12));
}

// ORB_init chooses the native code sets the streams convert to and from;
// malformed input is the normal case here, so no error log.
CORBA::ORB_ptr initOrb()
{
    int argc = 3;
    char name[] = "vrxfuzz", option[] = "-ORBtraceLevel", level[] = "0";
    char* argv[] = {name, option, level, nullptr};
    return CORBA::ORB_init(argc, argv);
}

// Runs one input, its body cut to `cut` octets if given; returns how many
// body octets an accepted input read.
std::size_t run(const std::uint8_t* data, std::size_t size, std::size_t cut = kRefused)
{
    if (size < 2 || size > kMaxInput)
        return kRefused;
    [[maybe_unused]] static const CORBA::ORB_ptr orb = initOrb();
    const Decoder& decoder = targetTable()[data[0] % targetTable().size()];
    // An exactly sized copy: the stream aligns by address, so the body must
    // start on an 8-byte boundary (operator new gives at least that), and any
    // read past the body's end is then a reported heap overflow.
    const std::size_t bodySize = std::min(size - 2, cut);
    std::vector<char> body(data + 2, data + 2 + bodySize);
    BoundedInput in(body.data(), bodySize);
    in.setByteSwapFlag((data[1] & 1) != 0);
    setCodeSets(in, (data[1] & 2) != 0);
    try {
        decoder.decode(in);
    } catch (const CORBA::SystemException&) {
        return kRefused; // the expected way to refuse malformed input
    }
    if (cut != kRefused)
        fail(decoder.name, "an input cut short was accepted");
    return in.consumed();
}

} // namespace
} // namespace vrxfuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    vrxfuzz::run(data, size);
    return 0;
}

#ifndef VRXFUZZ_LIBFUZZER
// Without libFuzzer (the g++ builds, sanitizers included):
//   <target> DIR|FILE...        runs every input, and each accepted one cut short
//   <target> --write-seeds DIR  writes one seed per decoder and byte order
int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    using vrxfuzz::targetTable;
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
        vrxfuzz::initOrb();
        fs::create_directories(argv[2]);
        for (std::size_t i = 0; i < targetTable().size(); ++i) {
            for (const bool little : {true, false}) {
                cdrMemoryStream out(CORBA::ULong(0), true);
                out.setByteSwapFlag(little);
                vrxfuzz::setCodeSets(out, false);
                if (targetTable()[i].seed)
                    targetTable()[i].seed(out);
                std::string name = targetTable()[i].name;
                std::replace_if(name.begin(), name.end(), [](char c) { return std::strchr(":<> ", c); }, '_');
                std::ofstream file(fs::path(argv[2]) / (name + (little ? "-le" : "-be")), std::ios::binary);
                file.put(static_cast<char>(i)).put(little ? 1 : 0);
                file.write(static_cast<const char*>(out.bufPtr()), out.bufSize());
                if (!file)
                    vrxfuzz::fail(name.c_str(), "the seed could not be written");
            }
        }
        return 0;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i]))
            std::copy(fs::directory_iterator(argv[i]), fs::directory_iterator(), std::back_inserter(inputs));
        else
            inputs.push_back(argv[i]);
    }
    for (const fs::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        if (!file)
            vrxfuzz::fail(path.c_str(), "no such input");
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const std::size_t read = vrxfuzz::run(data, bytes.size());
        for (std::size_t cut = 0; read != vrxfuzz::kRefused && cut < read; ++cut)
            vrxfuzz::run(data, bytes.size(), cut);
    }
    std::printf("%zu inputs, no failure\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
#endif
