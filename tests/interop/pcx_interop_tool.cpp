// PCX through our loader for pcx_interop.py (and MNG for mng_interop.py):
//   write <dir>       PCX files of odd and even widths, 8- and 24-bit (and a
//                     16-bit bitmap, saved as 24-bit), each beside <name>.rgb:
//                     the red-green-blue pixels a decoder must give;
//   mng <dir>         the same images as MNG files with their <name>.rgb;
//   read <file> <out> loads any supported file and writes its pixels as
//                     red-green-blue bytes.
#include "imaging/PCXLoader.h"
#include "imaging/PNGLoader.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace imaging;

namespace {

std::vector<std::uint8_t> Rgb(const TLinearBitmap &source)
{
    TLinearBitmap b;
    b.Assign(source);
    b.ChangePixelFormat(pf24bit);
    std::vector<std::uint8_t> v;
    for (int i = 0; i < b.Width * b.Height; ++i) {
        const std::uint8_t *p = b.Map.get() + 3 * i;
        v.insert(v.end(), {p[2], p[1], p[0]});
    }
    return v;
}

void WriteRaw(const std::string &path, const std::vector<std::uint8_t> &v)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(v.data()), static_cast<std::streamsize>(v.size()));
}

void Image(TLinearBitmap &b, int w, int h, TPixelFormat pf, int seed)
{
    b.New(w, h, pf);
    for (int i = 0; i < b.Size; ++i)
        b.Map[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i / 5 % 3 ? 0xC1 : i * seed) + (i % 7 == 0));
    if (pf == pf8bit)
        for (int i = 0; i < 768; ++i)
            b.Palette[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * seed + 1);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    RegisterPNGLoader();
    RegisterPCXLoader();
    try {
        if ((mode == "write" || mode == "mng") && argc == 3) {
            const std::string ext = mode == "write" ? "pcx" : "mng";
            struct Case {
                const char *name;
                int w, h;
                TPixelFormat pf;
            };
            const Case cases[] = {{"p8-7x5", 7, 5, pf8bit},   {"p8-64x3", 64, 3, pf8bit}, {"c24-5x4", 5, 4, pf24bit},
                                  {"c24-1x1", 1, 1, pf24bit}, {"c24-33x7", 33, 7, pf24bit}, {"g16-9x2", 9, 2, pf16bit}};
            int seed = 3;
            for (const Case &c : cases) {
                if (ext == "mng" && c.pf == pf16bit)
                    continue; // kept as 16-bit grey, not colour
                TLinearBitmap b;
                Image(b, c.w, c.h, c.pf, seed += 2);
                const std::string base = std::string(argv[2]) + "/" + c.name;
                b.SaveToFile(base + "." + ext);
                WriteRaw(base + ".rgb", Rgb(b));
            }
            return 0;
        }
        if (mode == "read" && argc == 4) {
            TLinearBitmap b;
            b.LoadFromFile(argv[2]);
            WriteRaw(argv[3], Rgb(b));
            std::printf("%d %d\n", b.Width, b.Height);
            return 0;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: %s write|mng <dir> | read <file> <out.rgb>\n", argv[0]);
    return 2;
}
