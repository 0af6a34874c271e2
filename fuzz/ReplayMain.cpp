// Runs a fuzz target once on every file of the folders (or files) given, so
// that builds without libFuzzer still check the seed corpus.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv); // optional, as with libFuzzer

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int count = 0;
    const auto run = [&](const std::filesystem::path &p) {
        std::ifstream f(p, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(f), {}};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
        ++count;
    };
    for (int i = 1; i < argc; ++i)
        if (!std::filesystem::is_directory(argv[i]))
            run(argv[i]);
        else
            for (const auto &e : std::filesystem::recursive_directory_iterator(argv[i]))
                if (e.is_regular_file())
                    run(e.path());
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
