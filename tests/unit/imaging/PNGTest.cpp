// The PNG/MNG reader and writer: the whole PngSuite against its expected pixels, corrupt and hand-made hostile files refused
// with their texts; what the writer makes checked by a small zlib-only parser (chunk CRCs, filter bytes) and read back by ours,
// the chunk rules, refused options and failed saves.
#include "TestHelpers.h"
#include "TestUtil.h"
#include "imaging/PNGLoader.h"


#include <filesystem>
#include <iterator>
#include <sstream>

using namespace imaging;
using namespace itest;

namespace {

struct ParsedChunk {
    std::string Type;
    Bytes Data;
};

struct Parsed {
    bool Mng = false;
    std::vector<ParsedChunk> Chunks;
    int Depth = 0, FilterMethod = 0;
    std::vector<int> Filters; // filter byte of every row

    const ParsedChunk *Find(const std::string &t) const
    {
        for (const auto &c : Chunks)
            if (c.Type == t)
                return &c;
        return nullptr;
    }
};

std::uint32_t BE32(const std::uint8_t *p) { return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// Our files' chunks and row filters; their signature, framing and CRCs by pngcheck and ImageMagick: tests/interop.
Parsed Parse(const Bytes &f)
{
    Parsed r;
    r.Mng = f.size() >= 8 && f[1] == 'M';
    Bytes zlib;
    for (std::size_t pos = 8, len; pos + 12 <= f.size() && pos + 12 + (len = BE32(&f[pos])) <= f.size(); pos += 12 + len) {
        r.Chunks.push_back({std::string(reinterpret_cast<const char *>(&f[pos + 4]), 4), Bytes(&f[pos + 8], &f[pos + 8] + len)});
        if (r.Chunks.back().Type == "IDAT")
            zlib.insert(zlib.end(), f.begin() + std::ptrdiff_t(pos + 8), f.begin() + std::ptrdiff_t(pos + 8 + len));
    }
    const ParsedChunk *ihdr = r.Find("IHDR");
    if (!ihdr || ihdr->Data.size() != 13) {
        ADD_FAILURE() << "no header";
        return r;
    }
    const std::uint32_t w = BE32(&ihdr->Data[0]), h = BE32(&ihdr->Data[4]);
    r.Depth = ihdr->Data[8], r.FilterMethod = ihdr->Data[11];
    const std::size_t stride = (std::size_t(w) * (ihdr->Data[9] == 2 ? 3 : 1) * r.Depth + 7) / 8 + 1; // we write grey, palette, RGB
    Bytes raw(stride * h);
    uLongf rawLen = static_cast<uLongf>(raw.size());
    EXPECT_EQ(uncompress(raw.data(), &rawLen, zlib.data(), static_cast<uLong>(zlib.size())), Z_OK);
    for (std::uint32_t y = 0; y < h; ++y)
        r.Filters.push_back(raw[y * stride]);
    return r;
}

Bytes SaveBytes(TPNGLoader &loader, const TLinearBitmap &bmp, const std::string &ext = "PNG") { return SaveWith(loader, bmp, ext); }

// A capture-like 24-bit image: flat areas, a gradient, text-like noise.
std::unique_ptr<TLinearBitmap> Capture(int w, int h, unsigned seed)
{
    auto b = NewBitmap(w, h, pf24bit);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t v = (rng() % 7 == 0) ? 0 : 255;
            const std::uint8_t px[3][3] = {{0xF0, 0xE0, 0xD0}, {std::uint8_t(x), std::uint8_t(y), std::uint8_t(x + y)}, {v, v, v}};
            std::memcpy(b->ScanLine(y) + 3 * x, px[y < h / 3 ? 0 : y < 2 * h / 3 ? 1 : 2], 3);
        }
    return b;
}

std::unique_ptr<TLinearBitmap> Indexed(int w, int h, int colours, bool grey)
{
    auto b = NewBitmap(w, h, pf8bit);
    for (int i = 0; i < 768; ++i)
        b->Palette[i] = static_cast<std::uint8_t>(grey ? i / 3 : i % 3 == 0 ? i / 3 * 7 : i % 3 == 1 ? 255 - i / 3 : i / 3 * 3 + 1);
    for (int i = 0; i < w * h; ++i)
        b->Map[i] = static_cast<std::uint8_t>((i % w * 3 + i / w * 5) % colours);
    return b;
}

std::string Load(TPNGLoader &loader, const Bytes &file, TLinearBitmap &bmp) { return LoadWith(loader, file, bmp, "PNG"); }

// What our reader (pinned by the PngSuite) gets of a written file; Pillow reads every filter and format: tests/interop.
std::unique_ptr<TLinearBitmap> Back(const Bytes &file)
{
    TPNGLoader loader;
    auto b = std::make_unique<TLinearBitmap>();
    EXPECT_EQ(Load(loader, file, *b), "");
    return b;
}

Bytes BE32Bytes(std::uint32_t v) { return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)}; }

Bytes Chunk(const std::string &type, const Bytes &data, std::uint32_t crcXor = 0)
{
    Bytes c = BE32Bytes(static_cast<std::uint32_t>(data.size()));
    c.reserve(12 + data.size());
    c.insert(c.end(), type.begin(), type.end());
    c.insert(c.end(), data.begin(), data.end());
    for (std::uint8_t b : BE32Bytes(static_cast<std::uint32_t>(crc32(0, c.data() + 4, static_cast<uInt>(c.size() - 4))) ^ crcXor))
        c.push_back(b);
    return c;
}

Bytes Ihdr(std::uint32_t w, std::uint32_t h, int depth, int type, int comp = 0, int filter = 0, int interlace = 0)
{
    Bytes d = BE32Bytes(w);
    for (std::uint32_t v : {h >> 24, h >> 16 & 0xFF, h >> 8 & 0xFF, h & 0xFF, std::uint32_t(depth), std::uint32_t(type),
                            std::uint32_t(comp), std::uint32_t(filter), std::uint32_t(interlace)})
        d.push_back(static_cast<std::uint8_t>(v));
    return Chunk("IHDR", d);
}

Bytes Zlib(const Bytes &raw) { return ZlibDeflate(raw, 9, Z_DEFAULT_STRATEGY, 15); }

// A signature (PNG, or MNG with `mng`) and the chunks given.
Bytes File(std::initializer_list<Bytes> chunks, bool mng = false)
{
    Bytes f = mng ? Bytes{0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A} : Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const auto &c : chunks)
        f.insert(f.end(), c.begin(), c.end());
    return f;
}

const Bytes Iend = Chunk("IEND", {});
const Bytes GreyRows = {0, 1, 2, 3, 4, 0, 5, 6, 7, 8}; // 4 x 2 grey, rows of filter 0

} // namespace

TEST(PNGWriterTest, DefaultCaptureLayoutAndFilterChoice)
{
    TPNGLoader loader;
    const auto bmp = Capture(97, 60, 1);
    const Bytes f = SaveBytes(loader, *bmp);
    const Parsed p = Parse(f);
    EXPECT_FALSE(p.Mng);
    EXPECT_EQ(p.Chunks.size(), 3u); // IHDR, IDAT, IEND
    const Bytes &idat = p.Find("IDAT")->Data;
    EXPECT_EQ(idat[0] * 256 + idat[1], 0x78DA);
    EXPECT_EQ((idat[2] >> 1) & 3, 1); // fixed Huffman
    EXPECT_EQ(PixelsOf(*Back(f)), PixelsOf(*bmp)); // every filter and depth by pngcheck and Pillow: tests/interop
    // Trying every filter leaves the option as it was and is never larger than any single policy.
    TPNGLoader trials, one;
    trials.Filter = -3;
    const Bytes best = SaveBytes(trials, *bmp);
    EXPECT_EQ(trials.Filter, -3);
    for (one.Filter = -2; one.Filter <= 4; ++one.Filter)
        EXPECT_LE(best.size(), SaveBytes(one, *bmp).size()) << one.Filter;
}

TEST(PNGWriterTest, PaletteTransparencyAndGammaChunks)
{
    TPNGLoader loader;
    auto b = Indexed(16, 4, 40, false);
    std::memset(b->Palette.get() + 3 * 56, 0, 3 * 200); // last 200 entries black
    Parsed p = Parse(SaveBytes(loader, *b));
    EXPECT_EQ(p.Find("PLTE")->Data.size(), 3u * 56);
    EXPECT_EQ(p.Find("PLTE")->Data[3 * 5], b->Palette[3 * 5 + 2]); // red first in the file
    b->ScanLine(0)[0] = 100; // a used black index keeps its entry
    EXPECT_EQ(Parse(SaveBytes(loader, *b)).Find("PLTE")->Data.size(), 3u * 101);
    loader.TransparentColor = 3;
    loader.Gamma = 0.45455;
    loader.Gamma = 0.000025; // the chunks and their values as Pillow reads them: interop. Halves round to even; a value that rounds to 0 is no gamma at all
    EXPECT_EQ(Parse(SaveBytes(loader, *b)).Find("gAMA")->Data, (Bytes{0, 0, 0, 2}));
    loader.Gamma = 0.000004;
    EXPECT_FALSE(Parse(SaveBytes(loader, *b)).Find("gAMA"));
    loader.Gamma = 0;
    loader.TransparentColor = 0x123456; // an index beyond 255 fits no palette image
    EXPECT_FALSE(Parse(SaveBytes(loader, *b)).Find("tRNS"));
    const auto rgb = Capture(8, 8, 4);
    const auto grey = Indexed(8, 8, 256, true); // grey: only values the depth can hold
    EXPECT_FALSE(Parse(SaveBytes(loader, *grey)).Find("tRNS"));
    loader.TransparentColor = -1; // a suggested palette goes with true colour, never with grey
    loader.SuggestedPalette = std::make_unique<std::uint8_t[]>(768);
    std::memset(loader.SuggestedPalette.get(), 0, 768);
    loader.SuggestedPalette[3] = 9;
    EXPECT_EQ(Parse(SaveBytes(loader, *rgb)).Find("PLTE")->Data, (Bytes{0, 0, 0, 0, 0, 9}));
    EXPECT_FALSE(Parse(SaveBytes(loader, *grey)).Find("PLTE"));
}

TEST(PNGWriterTest, LeftoverBitDepthDoesNotCutIndices)
{
    TPNGLoader loader;
    loader.BitDepth = 4; // as left by reading a 16-colour file
    const auto b = Indexed(20, 6, 200, false);
    const Bytes f = SaveBytes(loader, *b);
    EXPECT_EQ(Parse(f).Depth, 8);
    EXPECT_EQ(PixelsOf(*Back(f)), PixelsOf(*b)); // packed depths with their palettes: pngcheck in tests/interop
}

TEST(PNGWriterTest, MngIsFramedAndUsesTheColourTransformOnACopy)
{
    TPNGLoader loader;
    const auto b = Capture(40, 12, 5);
    const Bytes before = PixelsOf(*b);
    const Parsed p = Parse(SaveBytes(loader, *b, "MNG"));
    EXPECT_TRUE(p.Mng);
    EXPECT_EQ(p.FilterMethod, 64);
    EXPECT_EQ(p.Find("MHDR")->Data, (Bytes{0, 0, 0, 40, 0, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(PixelsOf(*b), before); // the transform's pixels: ImageMagick in tests/interop
    EXPECT_EQ(Parse(SaveBytes(loader, *Indexed(5, 5, 9, false), "MNG")).FilterMethod, 0); // palette images keep 0
}

TEST(PNGWriterTest, LossyPreFilterStaysWithinTolerance)
{
    TPNGLoader loader;
    loader.Tolerance = 6;
    const auto b = Capture(50, 30, 6);
    const Bytes before = PixelsOf(*b);
    Bytes f = SaveBytes(loader, *b), got = PixelsOf(*Back(f));
    EXPECT_EQ(Parse(f).Filters, std::vector<int>(30, 3));
    ASSERT_EQ(got.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        ASSERT_LE(std::abs(got[i] - before[i]), 6) << i;
    EXPECT_EQ(PixelsOf(*b), before);
    loader.TransparentColor = 0xD0E0F0; // its pixels (the flat top) stay exact and no other pixel turns into it
    got = PixelsOf(*Back(SaveBytes(loader, *b)));
    const auto isKey = [](const std::uint8_t *q) { return q[0] == 0xF0 && q[1] == 0xE0 && q[2] == 0xD0; };
    for (std::size_t i = 0; i < before.size(); i += 3)
        ASSERT_EQ(isKey(&before[i]), isKey(&got[i])) << i;
    loader.TransparentColor = -1; // palette images: Paeth, and every pixel keeps a colour near its own
    loader.Tolerance = 40;
    const auto ix = Indexed(30, 20, 60, false);
    f = SaveBytes(loader, *ix);
    EXPECT_EQ(Parse(f).Filters, std::vector<int>(20, 4));
    const auto back = Back(f);
    for (int i = 0; i < 600; ++i) {
        const std::uint8_t *orig = ix->Palette.get() + 3 * ix->Map[i], *now = back->Palette.get() + 3 * back->Map[i];
        ASSERT_LT(std::abs(orig[0] - now[0]) + std::abs(orig[1] - now[1]) + std::abs(orig[2] - now[2]), 40);
    }
}

TEST(PNGWriterTest, BadOptionsAndFormatsWriteNothing)
{
    TPNGLoader loader;
    const auto b = Capture(8, 8, 8);
    TMemStream mem;
    for (int bad : {5, -4, 100}) {
        loader.Filter = bad;
        EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", *b); }), "Invalid PNG filter: " + std::to_string(bad));
    }
    loader.Filter = -1;
    loader.Tolerance = -1;
    EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", *b); }), "Invalid PNG tolerance: -1");
    loader.Tolerance = 0;
    TLinearBitmap rgba, empty;
    rgba.New(4, 4, pf32bit);
    EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", rgba); }), "Unsupported pixel format");
    EXPECT_EQ(MessageOf([&] { loader.SaveToStream(mem, "PNG", empty); }), "Unsupported pixel format");
    EXPECT_EQ(mem.Size(), 0);
    ScriptedStream sink; // writes only, no seeking back: the same bytes
    loader.SaveToStream(sink, "PNG", *b);
    EXPECT_EQ(Bytes(sink.written_.begin(), sink.written_.end()), SaveBytes(loader, *b));
}

TEST(PNGWriterTest, RegistrationAndPictureFormats)
{
    TPNGLoader loader;
    std::string filter;
    loader.GetSaveFilter(filter);
    EXPECT_EQ(filter, "Portable Network Graphics (*.png)|*.png|Multiple-image Network Graphics (*.mng)|*.mng");
    RegisterPNGLoader();
    const auto b = Capture(20, 10, 11);
    for (const char *ext : {"PNG", "MNG"}) { // the picture's streams hold the file format, both ways
        const auto [file, back] = PictureRoundTrip(ext, *b);
        EXPECT_EQ(file, SaveBytes(loader, *b, ext));
        EXPECT_EQ(back, PixelsOf(*b));
    }
    UnregisterPNGLoader();
}

TEST(PNGReaderTest, PngSuiteDecodesToTheExpectedPixels)
{
    const auto dir = std::filesystem::path(testutil::TestData("suites/pngsuite/basn0g01.png")).parent_path();
    int checked = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().stem().string();
        if (entry.path().extension() != ".png" || name[0] == 'x' || name == "PngSuite")
            continue;
        SCOPED_TRACE(name);
        std::string json = testutil::ReadFile(testutil::TestData("suites/pngsuite/expected-rgba-json/" + name + ".json"));
        std::replace_if(json.begin(), json.end(), [](char c) { return c < '0' || c > '9'; }, ' ');
        std::istringstream numbers(json); // every number of the JSON: RGBA samples in order
        const std::vector<long> want{std::istream_iterator<long>(numbers), {}};
        TPNGLoader loader;
        loader.LoadAlpha = true;
        TLinearBitmap bmp;
        ASSERT_EQ(Load(loader, testutil::ReadBytes(entry.path().string()), bmp), "");
        ASSERT_EQ(want.size(), std::size_t(bmp.Width) * bmp.Height * 4);
        const bool wide = loader.BitDepth == 16; // the JSON holds 16-bit samples
        // Colour tRNS of 16-bit samples has no place in the loader's fields.
        const bool alphaKnown = !(wide && bmp.PixelFormat == pf24bit && !loader.Alpha);
        for (int y = 0; y < bmp.Height; ++y)
            for (int x = 0; x < bmp.Width; ++x) {
                const std::uint8_t *p = bmp.ScanLine(y) + x * bmp.PixelSize;
                const long *w = &want[(std::size_t(y) * bmp.Width + x) * 4];
                long ours[4] = {0, 0, 0, 255};
                if (bmp.PixelFormat == pf16bit) {
                    const long v = p[0] | (p[1] << 8);
                    ASSERT_EQ(v, w[0]) << x << "," << y;
                    ours[0] = ours[1] = ours[2] = v >> 8;
                    ours[3] = loader.TransparentColor == v ? 0 : 255;
                } else {
                    const std::uint8_t *c = bmp.PixelFormat == pf24bit ? p : bmp.Palette.get() + 3 * p[0];
                    const long key = bmp.PixelFormat == pf24bit ? p[2] | (p[1] << 8) | (p[0] << 16) : p[0];
                    ours[0] = c[2], ours[1] = c[1], ours[2] = c[0];
                    ours[3] = loader.TransparentColor == key ? 0 : 255;
                    if (bmp.PixelFormat == pf8bit && loader.PaletteAlpha)
                        ours[3] = loader.PaletteAlpha[p[0]];
                }
                if (loader.Alpha)
                    ours[3] = loader.Alpha->ScanLine(y)[x];
                for (int k = 0; k < (alphaKnown ? 4 : 3); ++k)
                    ASSERT_EQ(ours[k], wide ? w[k] >> 8 : w[k]) << x << "," << y << " sample " << k;
            }
        ++checked;
    }
    EXPECT_EQ(checked, 161);
}

TEST(PNGReaderTest, CorruptSuiteFilesAndHostileFilesAreRefused)
{
    const std::string data = "Invalid PNG data", header = "Invalid PNG header", crc = "CRC error";
    const std::pair<const char *, std::string> suite[] = {
        {"xc1n0g08", data}, {"xcrn0g04", header}, {"xcsn0g01", crc}, {"xd0n2c08", data}, {"xdtn0g01", data},
        {"xhdn0g08", crc}, {"xlfn0g04", header}, {"xs1n0g01", header}};
    for (const auto &[name, text] : suite) {
        TPNGLoader loader;
        TLinearBitmap bmp;
        EXPECT_EQ(Load(loader, testutil::ReadBytes(testutil::TestData(std::string("suites/pngsuite/") + name + ".png")), bmp), text)
            << name;
    }
    const Bytes idat = Chunk("IDAT", Zlib(GreyRows)), grey = Ihdr(4, 2, 8, 0);
    Bytes badZlib = Zlib(GreyRows), huge = grey;
    badZlib.back() ^= 1;
    huge[8] = 0x80; // length 2^31 + 13
    const struct {
        const char *what;
        Bytes file;
        std::string text;
    } cases[] = {
        {"palette at 16 bits", File({Ihdr(4, 2, 16, 3), idat, Iend}), data},
        {"width 0", File({Ihdr(0, 2, 8, 0), idat, Iend}), data},
        {"width above 2^31-1", File({Ihdr(0x80000000u, 1, 8, 0), idat, Iend}), data},
        {"above 2^28 pixels", File({Ihdr(65536, 4097, 8, 0), idat, Iend}), data},
        {"compression 1", File({Ihdr(4, 2, 8, 0, 1), idat, Iend}), data},
        {"filter method 64 in PNG", File({Ihdr(4, 2, 8, 2, 0, 64), idat, Iend}), data},
        {"interlace 2", File({Ihdr(4, 2, 8, 0, 0, 0, 2), idat, Iend}), data},
        {"two headers", File({grey, grey, idat, Iend}), data},
        {"chunk length above 2^31-1", File({huge, idat, Iend}), data},
        {"ancillary length above 2^31-1", File({grey, Bytes{0x80, 0, 0, 0, 't', 'E', 'X', 't'}, idat, Iend}), data},
        {"IDAT before IHDR", File({idat, grey, Iend}), data},
        {"no image data", File({grey, Iend}), data},
        {"no header", File({Iend}), "Unsupported PNG data"},
        {"palette of 257 entries", File({Ihdr(4, 2, 8, 3), Chunk("PLTE", Bytes(3 * 257, 7)), idat, Iend}), data},
        {"unknown critical chunk", File({grey, Chunk("ABCD", {1}), idat, Iend}), "Unsupported PNG data"},
        {"bad CRC of a handled chunk", File({grey, Chunk("gAMA", {0, 0, 0, 1}, 1), idat, Iend}), crc},
        {"bad Adler-32", File({grey, Chunk("IDAT", badZlib), Iend}), "Adler32 error"},
        {"filter type 5", File({grey, Chunk("IDAT", Zlib({5, 1, 2, 3, 4, 0, 5, 6, 7, 8})), Iend}), data},
        {"preset dictionary", File({grey, Chunk("IDAT", {0x78, 0xBB, 0, 0, 0, 1}), Iend}), data},
        {"ancillary chunk longer than the file", File({grey, Bytes{0x7F, 0xFF, 0xFF, 0xFF, 't', 'E', 'X', 't'}}),
         "Read less than expected"},
        {"image data interrupted", File({grey, Chunk("IDAT", Bytes(idat.begin() + 8, idat.begin() + 12)), Chunk("tEXt", {'a'}), Iend}), data},
        {"first IDAT's CRC bad", File({grey, Chunk("IDAT", Bytes(idat.begin() + 8, idat.begin() + 11), 1),
                                       Chunk("IDAT", Bytes(idat.begin() + 11, idat.end() - 4)), Iend}), crc},
    };
    for (const auto &c : cases) {
        TPNGLoader loader;
        TLinearBitmap bmp;
        EXPECT_EQ(Load(loader, c.file, bmp), c.text) << c.what;
    }
}

TEST(PNGReaderTest, LenientWhereOtherWritersRelyOnIt)
{
    const Bytes z = Zlib(GreyRows);
    Bytes padded = z;
    padded.insert(padded.end(), 7, 0);
    // Split anywhere, the trailer across two chunks, an empty IDAT after the data, a bad CRC on a skipped chunk, no IEND at
    // all; the older MNG layout without MHDR; bytes after the zlib stream in its chunk, also after a trailer split in two.
    const Bytes split = File({Ihdr(4, 2, 8, 0), Chunk("IDAT", Bytes(z.begin(), z.begin() + 3)),
                              Chunk("IDAT", Bytes(z.begin() + 3, z.end() - 2)), Chunk("IDAT", Bytes(z.end() - 2, z.end())),
                              Chunk("IDAT", {}), Chunk("tEXt", {'x'}, 1), Iend});
    for (const Bytes &f : {split, File({Ihdr(4, 2, 8, 0), Chunk("IDAT", z)}), File({Ihdr(4, 2, 8, 0), Chunk("IDAT", z), Iend}, true),
                           File({Ihdr(4, 2, 8, 0), Chunk("IDAT", padded), Iend}),
                           File({Ihdr(4, 2, 8, 0), Chunk("IDAT", Bytes(z.begin(), z.end() - 2)),
                                 Chunk("IDAT", Bytes(padded.end() - 9, padded.end())), Iend})}) {
        TPNGLoader loader;
        TLinearBitmap bmp;
        ASSERT_EQ(Load(loader, f, bmp), "");
        EXPECT_EQ(Bytes(bmp.Map.get(), bmp.Map.get() + bmp.Size), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    }
    // MNG colour transform of 16-bit samples carries: red 0x0100 - green 0x00FF is stored as 0x0001.
    TPNGLoader loader;
    TLinearBitmap bmp;
    ASSERT_EQ(Load(loader, File({Ihdr(1, 1, 16, 2, 0, 64), Chunk("IDAT", Zlib({0, 0x00, 0x01, 0x00, 0xFF, 0xFF, 0x01})), Iend}, true), bmp), "");
    EXPECT_EQ(Bytes(bmp.Map.get(), bmp.Map.get() + 3), (Bytes{0x00, 0x00, 0x01})); // blue, green, red
}

TEST(PNGReaderTest, PaletteAndTransparencyTablesStayInBounds)
{
    const Bytes idat = Chunk("IDAT", Zlib(GreyRows)), grey = Ihdr(4, 2, 8, 0), pal = Ihdr(4, 2, 8, 3);
    TPNGLoader loader;
    TLinearBitmap bmp;
    // A palette in a grey image leaves the ramp (kept as a suggestion with LoadAlpha).
    for (bool alpha : {false, true}) {
        loader.LoadAlpha = alpha;
        ASSERT_EQ(Load(loader, File({grey, Chunk("PLTE", Bytes(768, 9)), idat, Iend}), bmp), "");
        EXPECT_TRUE(bmp.IsGreyscale());
        EXPECT_EQ(loader.SuggestedPalette ? loader.SuggestedPalette[767] : -1, alpha ? 9 : -1);
    }
    // Before the header (an MNG's global palette and transparency) they are no error.
    ASSERT_EQ(Load(loader, File({Chunk("PLTE", Bytes(6, 3)), Chunk("tRNS", {0}), grey, idat, Iend}), bmp), "");
    EXPECT_TRUE(bmp.IsGreyscale());
    Bytes trns(300, 0x40); // longer than the palette table: the first 256 entries are kept
    trns[0] = 0x11;
    ASSERT_EQ(Load(loader, File({pal, Chunk("PLTE", Bytes(12, 1)), Chunk("tRNS", trns), idat, Iend}), bmp), "");
    ASSERT_TRUE(loader.PaletteAlpha);
    EXPECT_EQ(loader.PaletteAlpha[0] * 1000 + loader.PaletteAlpha[255], 0x11 * 1000 + 0x40);
    loader.LoadAlpha = false; // without LoadAlpha: the first fully transparent index
    trns[3] = 0;
    ASSERT_EQ(Load(loader, File({pal, Chunk("PLTE", Bytes(12, 1)), Chunk("tRNS", trns), idat, Iend}), bmp), "");
    EXPECT_EQ(loader.TransparentColor, 3);
    EXPECT_FALSE(loader.PaletteAlpha);
    ASSERT_EQ(Load(loader, File({grey, Chunk("gAMA", {0, 0, 0xB1, 0x8F}), idat, Iend}), bmp), "");
    EXPECT_DOUBLE_EQ(loader.Gamma, 0.45455);
    ASSERT_EQ(Load(loader, File({grey, idat, Iend}), bmp), ""); // per-file state starts afresh
    EXPECT_EQ(std::tuple(loader.TransparentColor, loader.Gamma, loader.BitDepth), std::tuple(-1, 0.0, 8));
    // A true-colour key: red in the low byte, blue in the high one.
    const Bytes key = Chunk("tRNS", {0, 0x30, 0, 0x20, 0, 0x10});
    ASSERT_EQ(Load(loader, File({Ihdr(1, 1, 8, 2), key, Chunk("IDAT", Zlib({0, 1, 2, 3})), Iend}), bmp), "");
    EXPECT_EQ(loader.TransparentColor, 0x102030);
}
