// Runs a fuzz target without libFuzzer: every file named on the command line
// (or found in a named folder) is fed once to LLVMFuzzerTestOneInput. This is
// how the seed corpus runs in the g++ builds, sanitizers included.
//   <target> DIR|FILE...        run the inputs
//   <target> --write-seeds DIR  write the target's seed corpus into DIR
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
int vrxfuzzWriteSeeds(const std::string& dir);

namespace {

int runFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
        std::filesystem::create_directories(argv[2]);
        std::printf("%d seeds written\n", vrxfuzzWriteSeeds(argv[2]));
        return 0;
    }
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    inputs += runFile(entry.path());
        } else if (std::filesystem::is_regular_file(arg)) {
            inputs += runFile(arg);
        } else {
            std::fprintf(stderr, "no such input: %s\n", argv[i]);
            return 2;
        }
    }
    std::printf("%d inputs, no failure\n", inputs);
    return inputs > 0 ? 0 : 1;
}
