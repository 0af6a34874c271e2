// Our side of interop.py (a failure prints its message, exit code 2; KSS_PLUGINS: a plug-in folder):
//   load IN OUT: "W H BITS\n" and IN's top-down RGB pixels (16-bit grey as stored) into OUT
//   save IN OUT [BITS [HX HY]]: IN read by Qt, saved from a bitmap of 8, 24, 32 (0: as read) bits
//   cases EXT DIR: bitmaps as DIR/<name>.EXT and their pixels as <name>.rgb
//   png DIR: files of every pixel format and filter, <name>.raw their pixels in Pillow's <name>.mode
//   icons FILE: "SKIPPED n", then per image "IMAGE w h bits" and its RGBA pixels in hex, top row first
//   gif IN SCREENS OUT: every GIF under IN and three screenshots reduced (octree, web palette), saved by both
//     encoders (interlaced or not) and checked with giflib; OUT/manifest.txt: "<file>\t<original>"
#include "GiflibFrames.h"
#include "gif/ColorReduction.h"
#include "gif/GIFEncoder.h"
#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"
#include "imaging/BMPLoader.h"
#include "imaging/ICOLoader.h"
#include "imaging/ImageDLLLoader.h"
#include "imaging/PCXLoader.h"
#include "imaging/PNGLoader.h"
#include "imaging/WMFLoader.h"

#include <QBuffer>
#include <QDirIterator>
#include <QImage>

#include <cstdio>
#include <fstream>
#include <tuple>

using namespace imaging;

namespace {

using u8 = std::uint8_t;

void Put(const std::string &path, const std::string &data) { std::ofstream(path, std::ios::binary) << data; }

// Top-down RGB bytes (or, with raw, the rows as stored for 8 and 16 bits).
std::string Pixels(const TLinearBitmap &source, bool raw = false)
{
    TLinearBitmap b;
    b.Assign(source);
    if (raw && b.PixelFormat != pf24bit)
        return std::string(reinterpret_cast<const char *>(b.Map.get()), std::size_t(b.Size));
    b.ChangePixelFormat(pf24bit);
    std::string s;
    for (int i = 0; i < b.Width * b.Height; ++i)
        s += {char(b.Map[3 * i + 2]), char(b.Map[3 * i + 1]), char(b.Map[3 * i])};
    return s;
}

template <typename F>
void Fill(TLinearBitmap &b, int w, int h, TPixelFormat pf, F f)
{
    b.New(w, h, pf);
    for (int i = 0; i < b.Size; ++i)
        b.Map[i] = u8(f(i));
}

void Png(const std::string &dir)
{
    TLinearBitmap rgb, pal, grey, grey16, small;
    Fill(rgb, 123, 77, pf24bit, [](int i) { return i % 369 * 2 + i / 369 * 3 + (i % 3 ? 0 : i & 0xF0); });
    Fill(pal, 61, 40, pf8bit, [](int i) { return i * 7 % 180; });
    Fill(grey, 61, 40, pf8bit, [](int i) { return i * 13; });
    Fill(small, 37, 11, pf8bit, [](int i) { return i / 3 % 4; });
    Fill(grey16, 45, 19, pf16bit, [](int i) { return i * 31 + 7; });
    for (int i = 0, n = 0; i < 768; n = ++i / 3)
        pal.Palette[i] = u8(i % 3 == 0 ? n : i % 3 == 1 ? 255 - n : n * 5), grey.Palette[i] = u8(n),
        small.Palette[i] = u8(n < 4 ? n * 80 : 0);
    auto save = [&](TPNGLoader &loader, const std::string &name, const TLinearBitmap &b, const char *mode) {
        loader.SaveToFile(dir + "/" + name + ".png", "PNG", b);
        Put(dir + "/" + name + ".raw", Pixels(b, true)), Put(dir + "/" + name + ".mode", mode);
    };
    for (int filter = -3; filter <= 4; ++filter)
        for (auto [name, b, mode] : {std::tuple{"rgb", &rgb, "RGB"}, {"pal", &pal, "P"}, {"grey", &grey, "L"},
                                     {"grey16", &grey16, "I;16"}, {"pal2bit", &small, "P"}}) {
            TPNGLoader loader;
            loader.Filter = filter, loader.BitDepth = b == &small ? 2 : 0;
            save(loader, name + ("-f" + std::to_string(filter + 3)), *b, mode);
        }
    TPNGLoader loader;
    loader.Gamma = 0.45455, loader.TransparentColor = 5;
    save(loader, "pal-gama-trns", pal, "P");
    loader.TransparentColor = 0x102030, loader.SuggestedPalette = std::make_unique<u8[]>(768);
    std::copy(pal.Palette.get(), pal.Palette.get() + 768, loader.SuggestedPalette.get());
    save(loader, "rgb-plte-trns", rgb, "RGB");
    loader.TransparentColor = 77;
    save(loader, "grey-trns", grey, "L");
}

// Saves Image by both encoders as Base-lzw.gif and Base-rle.gif; giflib must
// decode each frame to its pixels, unless a frame holds pixels beyond its
// colour table: then the save must fail with "Color not in color table".
bool SaveGif(gif::TGIFImage &Image, const std::string &Base, const std::string &From, bool Giflib, std::ofstream &Manifest)
{
    bool stray = false, ok = true;
    std::vector<std::vector<u8>> want;
    for (int i = 0; i < Image.Count(); ++i) {
        const gif::TGIFSubImage &f = *Image.SubImage(i);
        const int colors = f.ColorMap().Count() > 0 ? f.ColorMap().Count() : 1 << Image.BitsPerPixel();
        for (std::int64_t k = 0; f.Data() && k < f.DataSize(); ++k)
            stray |= f.Data()[k] >= colors;
        if (f.Data())
            want.emplace_back(f.Data(), f.Data() + f.DataSize());
    }
    for (int c : {0, 1}) {
        Image.Compression = c;
        const std::string name = Base + (c ? "-rle.gif" : "-lzw.gif");
        QBuffer buf;
        buf.open(QIODevice::WriteOnly);
        std::string problem;
        try {
            Image.SaveToStream(buf);
            const auto frames = gif_test::GiflibFrames(buf.data().constData(), std::size_t(buf.data().size()));
            problem = stray ? "saved pixels beyond the colour table" : !Giflib || frames == want ? "" : "giflib decodes other frames";
            Put(name, buf.data().toStdString());
            Manifest << name << '\t' << From << '\n';
        } catch (const std::exception &e) {
            problem = stray && std::string(e.what()) == "Color not in color table" ? "" : std::string("save failed: ") + e.what();
        }
        if (!problem.empty())
            ok = false, std::printf("%s (%s): %s\n", From.c_str(), name.c_str(), problem.c_str());
    }
    return ok;
}

int Gif(const char *in, const QString &screens, const std::string &out)
{
    gif::RegisterGIFWriter();
    std::ofstream manifest(out + "/manifest.txt");
    int loaded = 0, n = 0;
    bool ok = true;
    for (QDirIterator it(in, {"*.gif"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const std::string path = it.next().toStdString(), base = out + "/" + std::to_string(++n);
        gif::TGIFImage image;
        QFile file(QString::fromStdString(path));
        try {
            file.open(QIODevice::ReadOnly), image.LoadFromStream(file);
        } catch (const std::exception &) {
            continue; // files meant to fail
        }
        ++loaded;
        // Its comment is read up to its first zero byte, so an empty comment
        // extension is written back, and giflib's reader refuses those.
        const bool giflib = path.find("/nul-comment.gif") == std::string::npos;
        for (int i = 0; image.Count() > 0 && i < 2; ++i) { // none: "Unsupported GIF version"
            for (int k = 0; i && k < image.Count(); ++k)
                image.SubImage(k)->SetInterlaced(true);
            ok &= SaveGif(image, base + (i ? "-i" : ""), path, giflib, manifest);
        }
    }
    // The web palette's 216 colours make a colour table that is not a power of two.
    for (auto [screen, reduction] : {std::pair{"desktop-1920x1080.png", gif::crOctree}, {"web-docs-1920x1080.png", gif::crOctree},
                                     {"web-index-1920x1080.png", gif::crWebPalette}}) {
        const QImage img(screens + "/" + screen);
        if (img.isNull())
            throw std::runtime_error(std::string("missing test data: ") + screen);
        const std::string base = out + "/" + std::to_string(++n);
        gif::ReduceColors(img, reduction, gif::dmFloydSteinberg, 8).save(QString::fromStdString(base + ".png"));
        gif::TGIFImage image;
        image.ColorReduction = reduction, image.DitherMode = gif::dmFloydSteinberg, image.ReductionBits = 8;
        image.Add(img);
        if (reduction == gif::crWebPalette && image.SubImage(0)->ColorMap().Count() != 216)
            throw std::runtime_error("the web palette is not 216 colours");
        ok &= SaveGif(image, base, base + ".png", true, manifest);
    }
    std::printf("%d GIF files loaded\n", loaded);
    return ok && loaded >= 60 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (const char *plugins = std::getenv("KSS_PLUGINS"))
        RegisterDLLLoader(), DLLLoader()->AddPlugins(plugins);
    RegisterICOLoader(), RegisterPNGLoader(), RegisterBMPLoader(), RegisterPCXLoader(), RegisterWMFLoader();
    ICOLoader()->NoDialog = true;
    const std::string cmd = argc > 1 ? argv[1] : "";
    try {
        TLinearBitmap b;
        if (cmd == "load" && argc == 4) {
            b.LoadFromFile(argv[2]);
            Put(argv[3], std::to_string(b.Width) + " " + std::to_string(b.Height) + " " +
                             std::to_string(b.PixelSize * 8) + "\n" + Pixels(b, b.PixelFormat == pf16bit));
        } else if (cmd == "save" && (argc == 4 || argc == 5 || argc == 7)) {
            const int bits = argc >= 5 ? std::stoi(argv[4]) : 24;
            if (argc == 7)
                ICOLoader()->HotSpotX = std::stoi(argv[5]), ICOLoader()->HotSpotY = std::stoi(argv[6]);
            const QImage image(QString::fromLocal8Bit(argv[2]));
            b.Assign(bits == 0 && image.format() == QImage::Format_Indexed8 ? image
                                                                             : image.convertToFormat(QImage::Format_BGR888));
            b.ChangePixelFormat(bits == 8 ? pf8bit : bits == 32 ? pf32bit : bits ? pf24bit : b.PixelFormat);
            b.SaveToFile(argv[3]);
        } else if (cmd == "cases" && argc == 4) {
            const std::string ext = argv[2];
            int seed = 3;
            for (auto [w, h, pf] : {std::tuple{7, 5, pf8bit}, {64, 3, pf8bit}, {5, 4, pf24bit}, {1, 1, pf24bit},
                                    {33, 7, pf24bit}, {9, 2, pf16bit}}) {
                if (ext == "mng" && pf == pf16bit)
                    continue; // kept as 16-bit grey, not colour
                seed += 2;
                TLinearBitmap c;
                Fill(c, w, h, pf, [seed](int i) { return (i / 5 % 3 ? 0xC1 : i * seed) + (i % 7 == 0); });
                for (int i = 0; pf == pf8bit && i < 768; ++i)
                    c.Palette[i] = u8(i * seed + 1);
                const std::string base = std::string(argv[3]) + "/" + std::to_string(int(pf)) + "-" +
                                         std::to_string(w) + "x" + std::to_string(h);
                c.SaveToFile(base + "." + ext);
                Put(base + ".rgb", Pixels(c));
            }
        } else if (cmd == "gif" && argc == 5) {
            return Gif(argv[2], QString::fromLocal8Bit(argv[3]), argv[4]);
        } else if (cmd == "png" && argc == 3) {
            Png(argv[2]);
        } else if (cmd == "icons" && argc == 3) {
            TFileStream file(argv[2], fmRead);
            TIconList list;
            list.LoadFromStream(file);
            std::printf("SKIPPED %d\n", list.Skipped);
            for (const auto &im : list.Images) {
                std::printf("IMAGE %d %d %d\n", im->Width, im->Height, im->BitCount);
                for (int row = im->Height - 1; row >= 0; --row)
                    for (int col = 0, c = 0; col < im->Width; ++col)
                        c = int(im->PixelColor(col, row)), std::printf("%02x%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF,
                                                                         (c >> 16) & 0xFF, im->Transparent(col, row) ? 0 : 255);
                std::printf("\n");
            }
        } else {
            std::printf("usage: see the head of interop_tool.cpp\n");
            return 1;
        }
    } catch (const std::exception &e) {
        std::printf("%s\n", e.what());
        return 2;
    }
    return 0;
}
