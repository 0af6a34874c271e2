// Runs a fuzz target once on every file of the folders (or files) given, so
// that builds without libFuzzer still check the seed corpus.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
// Optional, as with libFuzzer: a target that needs set-up once defines it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

static int RunFile(const std::filesystem::path &p)
{
    std::ifstream f(p, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    return 1;
}

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path p(argv[i]);
        if (!std::filesystem::is_directory(p))
            count += RunFile(p);
        else
            for (const auto &e : std::filesystem::recursive_directory_iterator(p))
                count += e.is_regular_file() ? RunFile(e.path()) : 0;
    }
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
