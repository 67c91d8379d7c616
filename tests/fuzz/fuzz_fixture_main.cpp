// Runs a fuzz entry over files and folders given on the command line, so
// that each fuzz target also runs as an ordinary test over the fixtures.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int runFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", p.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    // the same input behind every selector byte the entries look at
    std::vector<uint8_t> shifted(bytes.size() + 1);
    std::copy(bytes.begin(), bytes.end(), shifted.begin() + 1);
    for (int sel = 0; sel < 256; sel += 3) {
        shifted[0] = uint8_t(sel);
        LLVMFuzzerTestOneInput(shifted.data(), shifted.size());
    }
    return 0;
}

int main(int argc, char** argv)
{
    int failures = 0, files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(arg))
                if (e.is_regular_file())
                    failures += runFile(e.path()), ++files;
        } else {
            failures += runFile(arg), ++files;
        }
    }
    std::printf("%d inputs\n", files);
    return failures || files == 0 ? 1 : 0;
}
