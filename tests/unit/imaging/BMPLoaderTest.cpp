#include "TestHelpers.h"
#include "imaging/BMPLoader.h"

#include <QBuffer>
#include <QImage>

#include <climits>

// The cases name only the fields that differ from a plain 2 x 2 24-bit file.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace imaging;
using namespace itest;
using V = std::vector<int>;

namespace {

void Put(Bytes &b, std::size_t at, std::uint32_t v, int n) { PutLE(b, at, v, n); }

// A BMP file with a 40-byte header (or Hs bytes, fields at the 40-byte places), Colors palette entries (entry i = 0x010203 *
// i), then Pixels.
struct Spec {
    int W = 2, H = 2, Bits = 24, Comp = 0, Colors = 0, Hs = 40, Planes = 1;
    std::uint32_t ClrUsed = 0;
    Bytes Extra; // between header and palette (bit-field masks)
    Bytes Pixels;
};

Bytes Bmp(const Spec &s)
{
    const int n = s.Hs == 12 ? 2 : 4, entry = s.Hs == 12 ? 3 : 4; // the core header: 16-bit fields
    const std::size_t off = 14 + s.Hs + s.Extra.size() + entry * s.Colors;
    Bytes b(off);
    b[0] = 'B', b[1] = 'M';
    Put(b, 2, static_cast<std::uint32_t>(off + s.Pixels.size()), 4);
    Put(b, 10, static_cast<std::uint32_t>(off), 4);
    Put(b, 14, s.Hs, 4);
    Put(b, 18, s.W, n);
    Put(b, 18 + n, s.H, n);
    Put(b, 18 + 2 * n, s.Planes, 2);
    Put(b, 20 + 2 * n, s.Bits, 2);
    if (s.Hs >= 40) {
        Put(b, 30, s.Comp, 4);
        Put(b, 46, s.ClrUsed ? s.ClrUsed : s.Colors, 4);
    }
    std::copy(s.Extra.begin(), s.Extra.end(), b.begin() + 14 + s.Hs);
    for (int i = 0; i < s.Colors; ++i)
        Put(b, 14 + s.Hs + s.Extra.size() + entry * i, 0x010203u * i, entry);
    b.insert(b.end(), s.Pixels.begin(), s.Pixels.end());
    return b;
}

std::unique_ptr<TLinearBitmap> Load(const Bytes &file)
{
    auto b = std::make_unique<TLinearBitmap>();
    TBMPLoader().LoadFromStream(*MemOf(file), "BMP", *b);
    return b;
}

std::string LoadError(const Bytes &file) { return ErrorOf([&] { Load(file); }); }
Bytes Save(const TLinearBitmap &b) { return SaveWith(TBMPLoader(), b, "BMP"); }

V Row(const std::unique_ptr<TLinearBitmap> &b, int y) { return V(b->ScanLine(y), b->ScanLine(y) + b->BytesPerLine); }

Bytes Masks(std::uint32_t r, std::uint32_t g, std::uint32_t bl)
{
    Bytes m;
    Put(m, 0, r, 4), Put(m, 4, g, 4), Put(m, 8, bl, 4);
    return m;
}

} // namespace

// Each header or run that a damaged or hostile file could carry fails cleanly, before anything is allocated for it. Zero
// width, huge sizes, bad depths, planes, header sizes, colour tables, masks and runs of the suite's b/ folder:
// tests/interop/interop.py.
TEST(BMPLoader, RefusesHostileHeadersAndRuns)
{
    const Bytes px(16, 0);
    const struct {
        const char *what;
        Spec spec;
    } cases[] = {
        {"height INT_MIN", {.H = INT_MIN, .Pixels = px}},
        {"2^31 pixels, 32-bit product wraps", {.W = 65536, .H = 32768, .Pixels = px}},
        {"RLE8 at 4 bpp", {.Bits = 4, .Comp = 1, .Colors = 16, .Pixels = {0, 1}}},
        {"bit-field mask with a gap", {.Bits = 16, .Comp = 3, .Extra = Masks(0xF801, 0x07E0, 0x1E), .Pixels = px}},
        {"compression 4", {.Comp = 4, .Pixels = px}},
        {"run past the row", {.Bits = 8, .Comp = 1, .Colors = 2, .Pixels = {3, 1, 0, 1}}},
        {"absolute run past the row", {.Bits = 8, .Comp = 1, .Colors = 2, .Pixels = {0, 3, 1, 1, 1, 0, 0, 1}}},
        {"delta beyond the right edge", {.Bits = 8, .Comp = 1, .Colors = 2, .Pixels = {0, 2, 3, 0, 0, 1}}},
        {"delta beyond the top", {.Bits = 8, .Comp = 1, .Colors = 2, .Pixels = {0, 2, 0, 3, 0, 1}}},
        {"RLE data ends before end of picture", {.Bits = 8, .Comp = 1, .Colors = 2, .Pixels = {2, 1}}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LoadError(Bmp(c.spec)), "Unsupported file format") << c.what;
    const Bytes whole = Bmp({.Pixels = px});
    for (std::size_t n : {0, 1, 2, 13, 14, 20, 53, 54, 67}) // the header cut, the pixels cut before the last row's padding
        EXPECT_EQ(LoadError(Bytes(whole.begin(), whole.begin() + n)), "Unsupported file format") << n;
}

// Fields the pixels do not need are not read, as writers fill them loosely: densities 100:1 apart, a file size or an image
// size beyond the data. An index beyond the colour table reads as black, uncompressed or run-length coded. Suite files of
// these kinds against their rendering: tests/interop/interop.py.
TEST(BMPLoader, ReadsOnlyWhatThePixelsNeed)
{
    const Bytes px{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12}; // the last row's padding left out
    Bytes dens = Bmp({.Pixels = px}), fileSize = dens, imageSize = dens;
    Put(dens, 38, 1, 4), Put(dens, 42, 2835, 4);
    Put(fileSize, 2, 0x7FFFFFFF, 4);
    Put(imageSize, 34, 0xFFFFFFFF, 4);
    for (const Bytes *f : {&dens, &fileSize, &imageSize}) {
        const auto b = Load(*f);
        EXPECT_EQ(Row(b, 0), (V{7, 8, 9, 10, 11, 12}));
        EXPECT_EQ(Row(b, 1), (V{1, 2, 3, 4, 5, 6}));
    }
    const auto plain = Load(Bmp({.W = 4, .H = 1, .Bits = 4, .Colors = 2, .Pixels = {0x12, 0xF1, 0, 0}}));
    const auto runs = Load(Bmp({.W = 4, .H = 1, .Bits = 8, .Comp = 1, .Colors = 2, .Pixels = {1, 1, 1, 2, 2, 200, 0, 1}}));
    EXPECT_EQ(Row(plain, 0), (V{1, 2, 15, 1}));
    EXPECT_EQ(Row(runs, 0), (V{1, 2, 200, 200}));
    for (const auto *b : {&plain, &runs}) {
        const std::uint8_t *pal = (*b)->Palette.get();
        EXPECT_EQ(V(pal, pal + 6), (V{0, 0, 0, 3, 2, 1})); // entry 1 = 0x010203: red 1, green 2, blue 3
        EXPECT_EQ(V(pal + 6, pal + 768), V(762, 0));
    }
}

// The suite (tests/interop/interop.py) pins every common layout; here what it does not: an early end of picture, a delta move
// and the old format.
TEST(BMPLoader, DecodesWhatTheSuiteLacks)
{
    const auto eop = Load(Bmp({.W = 3, .Bits = 8, .Comp = 1, .Colors = 3, .Pixels = {3, 2, 0, 1}}));
    EXPECT_EQ(Row(eop, 1), (V{2, 2, 2})); // end of picture after the first row: the rest stays index 0
    EXPECT_EQ(Row(eop, 0), (V{0, 0, 0}));
    const auto delta = Load(Bmp({.W = 4, .Bits = 4, .Comp = 2, .Colors = 16, .Pixels = {0, 2, 1, 1, 3, 0x9A, 0, 1}}));
    EXPECT_EQ(Row(delta, 0), (V{0, 9, 10, 9})); // one right, one up
    EXPECT_EQ(Row(delta, 1), (V{0, 0, 0, 0}));
    // The old format with its fixed colours: 4 bits, 2 x 2, rows of 2 bytes (one more than needed).
    const auto o = Load({0, 0, 2, 0, 2, 0, 2, 0, 1, 4, 0x1F, 0xEE, 0x20, 0xEE});
    ASSERT_EQ(o->PixelFormat, pf24bit);
    EXPECT_EQ(Row(o, 1), (V{170, 0, 0, 255, 255, 255})); // memory row 0 is the bottom
    EXPECT_EQ(Row(o, 0), (V{0, 170, 0, 0, 0, 0}));
    EXPECT_EQ(Row(Load({0, 0, 3, 0, 1, 0, 1, 0, 1, 8, 5}), 0), (V{170, 0, 170, 0, 0, 0, 0, 0, 0})); // short stride
}

// 8-, 24- and 32-bit saves read back in Pillow and ours: tests/interop/interop.py. Here 16-bit grey (saved as 8-bit with a
// palette) and the empty bitmap.
TEST(BMPLoader, SavesGreyAndNothing)
{
    TLinearBitmap grey;
    grey.New(1, 1, pf16bit);
    grey.Map[1] = 0xAB;
    EXPECT_EQ(Save(grey)[54 + 1024], 0xAB);
    EXPECT_TRUE(Save(TLinearBitmap()).empty());
}

// A memory stream takes the rows straight into room grown once, any other stream gets them in blocks: the same bytes either
// way, after what the stream already holds, with padded rows over several blocks.
TEST(BMPLoader, WritesTheSameBytesIntoEveryStream)
{
    for (TPixelFormat pf : {pf8bit, pf16bit, pf24bit, pf32bit}) {
        TLinearBitmap b;
        b.New(301, 300, pf);
        const std::string pixels = itest::RandomBytes(static_cast<std::size_t>(b.Size), pf);
        std::memcpy(b.Map.get(), pixels.data(), pixels.size());
        TMemStream direct, target;
        TFilterStream other(&target);
        for (TBaseStream *s : {static_cast<TBaseStream *>(&direct), static_cast<TBaseStream *>(&other)}) {
            s->Write("prefix", 6);
            TBMPLoader().SaveToStream(*s, "BMP", b);
        }
        EXPECT_EQ(direct.BlockCount(), 2u) << pf; // the prefix's block and one for the rest
        ASSERT_EQ(direct.Size(), target.Size());
        std::string a(static_cast<std::size_t>(direct.Size()), '\0'), c = a;
        direct.Seek(0);
        direct.Read(a.data(), direct.Size());
        target.Seek(0);
        target.Read(c.data(), target.Size());
        EXPECT_TRUE(a == c) << pf;
        const std::size_t rowBytes = pf == pf24bit ? 903 : pf == pf32bit ? 1204 : 301;
        const std::size_t pad = (4 - rowBytes % 4) % 4; // the top row's padding ends the file
        EXPECT_EQ(a.substr(a.size() - pad), std::string(pad, '\0')) << pf;
        TLinearBitmap want; // and reads back: 16-bit grey as 8-bit, 32-bit as 24-bit
        want.Assign(b);
        want.ChangePixelFormat(pf == pf16bit ? pf8bit : pf == pf32bit ? pf24bit : pf);
        EXPECT_EQ(PixelsOf(*Load(Bytes(a.begin() + 6, a.end()))), PixelsOf(want)) << pf;
    }
}

// Registration, the picture class, streams that cannot seek and DIBs in memory.
TEST(BMPLoader, ServesRegistryPicturesAndMemory)
{
    RegisterBMPLoader();
    EXPECT_TRUE(BMPLoader()->CanSave("Bmp") && !BMPLoader()->CanLoad("BM") && !BMPLoader()->CanLoad("BMPX"));
    std::string filter;
    BMPLoader()->GetSaveFilter(filter);
    EXPECT_EQ(filter, "Windows bitmap (*.bmp)|*.bmp");
    const auto format = platform::FindFileFormat("BMP");
    ASSERT_TRUE(format);
    EXPECT_EQ(format->ClassName, "TFallbackBitmap");
    const Bytes file = Bmp({.W = 1, .H = 1, .Pixels = {10, 20, 30, 0}});
    auto picture = format->Create();
    QByteArray bytes(reinterpret_cast<const char *>(file.data()), static_cast<qsizetype>(file.size()));
    QBuffer in(&bytes), out;
    in.open(QIODevice::ReadOnly);
    picture->LoadFromStream(in);
    QImage image;
    picture->AssignTo(image);
    EXPECT_EQ(image.pixel(0, 0), qRgb(30, 20, 10));
    out.open(QIODevice::WriteOnly);
    picture->SaveToStream(out);
    EXPECT_EQ(out.data().mid(54), bytes.mid(54));
    UnregisterBMPLoader();
    EXPECT_FALSE(platform::FindFileFormat("bmp"));
    const auto mem = MemOf(file); // a stream that cannot seek is read whole first
    TFilterStream forward(mem.get());
    auto viaForward = std::make_unique<TLinearBitmap>();
    TBMPLoader().LoadFromStream(forward, "BMP", *viaForward);
    EXPECT_EQ(Row(viaForward, 0), (V{10, 20, 30}));
    // Packed DIB: header, two colours, pixels; and with the pixels apart.
    const Bytes dib = Bmp({.W = 2, .H = 1, .Bits = 8, .Colors = 2, .Pixels = {1, 0, 0, 0}});
    auto packed = std::make_unique<TLinearBitmap>(), split = std::make_unique<TLinearBitmap>();
    ReadDIB(dib.data() + 14, dib.size() - 14, *packed);
    EXPECT_EQ(Row(packed, 0), (V{1, 0}));
    EXPECT_EQ(packed->Palette[3], 3);
    ReadDIB(dib.data() + 14, 40 + 8, dib.data() + 62, 4, *split);
    EXPECT_EQ(Row(split, 0), (V{1, 0}));
    for (const auto &c : {std::pair{40 + 4, 4}, {40 + 8, 1}}) // colour table cut, pixels cut
        EXPECT_EQ(ErrorOf([&] { ReadDIB(dib.data() + 14, c.first, dib.data() + 62, c.second, *split); }), "Unsupported file format");
    EXPECT_FALSE(split->Present);
}
