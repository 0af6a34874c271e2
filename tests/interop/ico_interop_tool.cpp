// Our side of the ICO/CUR interop test (ico_interop.py).
//   write <depth 4|8|24> <file.ico|file.cur> <hotx> <hoty>
//     saves a 37 x 23 test picture through the registry (with the cursor hot
//     spot) and writes the pixels a reader must see to <file>.rgba: RGBA,
//     alpha 0 and black where the picture had the transparent colour.
//   read <file>
//     prints "SKIPPED n", then per readable image "IMAGE w h bits" and a line
//     of its RGBA pixels in hexadecimal (alpha 0 where masked), top row first.
#include "imaging/ICOLoader.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace imaging;

namespace {

constexpr int W = 37, H = 23;

int Write(int depth, const std::string &path, int hx, int hy)
{
    TLinearBitmap b;
    b.New(W, H, depth == 24 ? pf24bit : pf8bit);
    if (depth != 24) {
        for (int i = 1; i < 256; ++i) {
            b.Palette[3 * i] = static_cast<std::uint8_t>(i * 5);
            b.Palette[3 * i + 1] = static_cast<std::uint8_t>(255 - i);
            b.Palette[3 * i + 2] = static_cast<std::uint8_t>(i * 3);
        }
        b.Palette[0] = b.Palette[2] = 0xFF; // entry 0: the transparent magenta
    }
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const bool hole = (x * 7 + y * 3) % 11 == 0;
            std::uint8_t *p = b.ScanLine(y) + (depth == 24 ? 3 * x : x);
            if (depth == 24) {
                p[0] = hole ? 0xFF : static_cast<std::uint8_t>(x * 6);
                p[1] = hole ? 0x00 : static_cast<std::uint8_t>(y * 11);
                p[2] = hole ? 0xFF : static_cast<std::uint8_t>(x * y);
            } else { // 12 or 200 colours in use
                *p = hole ? 0 : static_cast<std::uint8_t>(1 + (x + 5 * y) % (depth == 4 ? 12 : 200));
                p = b.Palette.get() + 3 * *p;
            }
            if (hole)
                rgba.insert(rgba.end(), 4, 0);
            else
                rgba.insert(rgba.end(), {p[2], p[1], p[0], 255});
        }
    }
    ICOLoader()->HotSpotX = hx;
    ICOLoader()->HotSpotY = hy;
    b.SaveToFile(path);
    std::ofstream(path + ".rgba", std::ios::binary)
        .write(reinterpret_cast<const char *>(rgba.data()), static_cast<std::streamsize>(rgba.size()));
    return 0;
}

int Read(const std::string &path)
{
    TFileStream file(path, fmRead);
    TIconList list;
    list.LoadFromStream(file);
    std::printf("SKIPPED %d\n", list.Skipped);
    for (const auto &im : list.Images) {
        std::printf("IMAGE %d %d %d\n", im->Width, im->Height, im->BitCount);
        for (int row = im->Height - 1; row >= 0; --row)
            for (int col = 0; col < im->Width; ++col) {
                const std::uint32_t c = im->PixelColor(col, row);
                std::printf("%02x%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, c >> 16, im->Transparent(col, row) ? 0 : 255);
            }
        std::printf("\n");
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    RegisterICOLoader();
    ICOLoader()->NoDialog = true;
    try {
        const std::string cmd = argc > 1 ? argv[1] : "";
        if (cmd == "write" && argc == 6)
            return Write(std::stoi(argv[2]), argv[3], std::stoi(argv[4]), std::stoi(argv[5]));
        if (cmd == "read" && argc == 3)
            return Read(argv[2]);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: ico_interop_tool write DEPTH FILE HX HY | read FILE\n");
    return 2;
}
