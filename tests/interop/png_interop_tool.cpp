// Writes PNG files of every pixel format and filter policy, each beside the
// pixels a decoder must give for it (<name>.raw, in Pillow's layout for the
// mode named in <name>.mode), and re-saves the shared screenshots as 24-bit
// captures (screen-<name>.png). Used by png_interop.py.
#include "imaging/PNGLoader.h"

#include <QDir>
#include <QImage>

#include <cstdio>
#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace imaging;

namespace {

void WriteText(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

void WriteRaw(const std::string &path, const std::vector<std::uint8_t> &v)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(v.data()), static_cast<std::streamsize>(v.size()));
}

// Pixels as Pillow returns them: RGB triples, grey or palette bytes, or
// 16-bit grey little-endian ("I;16").
std::vector<std::uint8_t> Expected(const TLinearBitmap &b)
{
    std::vector<std::uint8_t> v;
    for (int y = 0; y < b.Height; ++y) {
        const std::uint8_t *p = b.ScanLine(y);
        if (b.PixelFormat == pf24bit) {
            for (int x = 0; x < b.Width; ++x)
                v.insert(v.end(), {p[3 * x + 2], p[3 * x + 1], p[3 * x]});
        } else {
            v.insert(v.end(), p, p + b.BytesPerLine);
        }
    }
    return v;
}

void Save(const std::string &dir, const std::string &name, TPNGLoader &loader, const TLinearBitmap &b,
          const std::string &mode)
{
    loader.SaveToFile(dir + "/" + name + ".png", "PNG", b);
    WriteRaw(dir + "/" + name + ".raw", Expected(b));
    WriteText(dir + "/" + name + ".mode", mode);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <out dir> <screens dir>\n", argv[0]);
        return 2;
    }
    const std::string out = argv[1], screens = argv[2];

    TLinearBitmap rgb, pal, grey, grey16, small;
    rgb.New(123, 77, pf24bit);
    for (int y = 0; y < 77; ++y)
        for (int x = 0; x < 123; ++x) {
            std::uint8_t *p = rgb.ScanLine(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 2), p[1] = static_cast<std::uint8_t>(y * 3),
            p[2] = static_cast<std::uint8_t>((x ^ y) & 0xF0);
        }
    pal.New(61, 40, pf8bit);
    grey.New(61, 40, pf8bit);
    small.New(37, 11, pf8bit);
    for (int i = 0; i < 256; ++i) {
        pal.Palette[3 * i] = static_cast<std::uint8_t>(i), pal.Palette[3 * i + 1] = static_cast<std::uint8_t>(255 - i),
        pal.Palette[3 * i + 2] = static_cast<std::uint8_t>(i * 5);
        grey.Palette[3 * i] = grey.Palette[3 * i + 1] = grey.Palette[3 * i + 2] = static_cast<std::uint8_t>(i);
        small.Palette[3 * i] = small.Palette[3 * i + 1] = small.Palette[3 * i + 2] = static_cast<std::uint8_t>(i < 4 ? i * 80 : 0);
    }
    for (int i = 0; i < pal.Size; ++i) {
        pal.Map[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i * 7) % 180);
        grey.Map[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 13);
    }
    for (int i = 0; i < small.Size; ++i)
        small.Map[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i / 3) % 4);
    grey16.New(45, 19, pf16bit);
    for (int i = 0; i < grey16.Size; ++i)
        grey16.Map[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 31 + 7);

    for (int filter = -3; filter <= 4; ++filter) {
        TPNGLoader loader;
        loader.Filter = filter;
        const std::string f = std::to_string(filter + 3);
        Save(out, "rgb-f" + f, loader, rgb, "RGB");
        Save(out, "pal-f" + f, loader, pal, "P");
        Save(out, "grey-f" + f, loader, grey, "L");
        Save(out, "grey16-f" + f, loader, grey16, "I;16");
        loader.BitDepth = 2;
        Save(out, "pal2bit-f" + f, loader, small, "P");
    }
    {
        TPNGLoader loader;
        loader.Gamma = 0.45455;
        loader.TransparentColor = 5;
        Save(out, "pal-gama-trns", loader, pal, "P");
        loader.TransparentColor = 0x102030;
        loader.SuggestedPalette = std::make_unique<std::uint8_t[]>(768);
        std::copy(pal.Palette.get(), pal.Palette.get() + 768, loader.SuggestedPalette.get());
        Save(out, "rgb-plte-trns", loader, rgb, "RGB");
        loader.TransparentColor = 77;
        Save(out, "grey-trns", loader, grey, "L");
    }

    RegisterPNGLoader();
    const QStringList names = QDir(QString::fromStdString(screens)).entryList({"*.png"}, QDir::Files, QDir::Name);
    for (const QString &n : names) {
        QImage img(QString::fromStdString(screens) + "/" + n);
        if (img.isNull())
            return 1;
        TLinearBitmap cap;
        cap.Assign(img.convertToFormat(QImage::Format_BGR888));
        cap.SaveToFile(out + "/screen-" + n.toStdString());
    }
    std::printf("wrote %lld screenshots\n", static_cast<long long>(names.size()));
    return 0;
}
