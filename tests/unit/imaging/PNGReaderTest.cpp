// The PNG/MNG reader: the whole PngSuite against its expected pixels, the
// corrupt files and hand-made hostile files refused with their texts, and
// round trips through our writer.
#include "ErrorText.h"
#include "PNGTestUtil.h"
#include "TestUtil.h"
#include "imaging/BufStream.h"
#include "imaging/Deflate.h"
#include "imaging/MemStream.h"
#include "imaging/PNGLoader.h"
#include "imaging/Progress.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <map>

using namespace imaging;
using imaging_test::MessageOf;
using pngtest::Bytes;

namespace {

TMemStream &Fill(TMemStream &mem, const Bytes &b)
{
    mem.Write(b.data(), static_cast<int>(b.size()));
    mem.Seek(0);
    return mem;
}

// Loads bytes; returns the error text or "".
std::string Load(TPNGLoader &loader, const Bytes &file, TLinearBitmap &bmp)
{
    TMemStream mem;
    Fill(mem, file);
    const std::string text = MessageOf([&] { loader.LoadFromStream(mem, "PNG", bmp); });
    return text == imaging_test::kNoException ? "" : text;
}

void Put32(Bytes &b, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> s));
}

Bytes Chunk(const std::string &type, const Bytes &data, std::uint32_t crcXor = 0)
{
    Bytes c;
    Put32(c, static_cast<std::uint32_t>(data.size()));
    c.insert(c.end(), type.begin(), type.end());
    c.insert(c.end(), data.begin(), data.end());
    const auto crc = static_cast<std::uint32_t>(crc32(0, c.data() + 4, static_cast<uInt>(c.size() - 4)));
    Put32(c, crc ^ crcXor);
    return c;
}

Bytes Ihdr(std::uint32_t w, std::uint32_t h, int depth, int type, int comp = 0, int filter = 0, int interlace = 0)
{
    Bytes d;
    Put32(d, w);
    Put32(d, h);
    d.insert(d.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(type),
                       static_cast<std::uint8_t>(comp), static_cast<std::uint8_t>(filter),
                       static_cast<std::uint8_t>(interlace)});
    return Chunk("IHDR", d);
}

Bytes Zlib(const Bytes &raw)
{
    Bytes out(compressBound(static_cast<uLong>(raw.size())));
    uLongf n = static_cast<uLongf>(out.size());
    compress2(out.data(), &n, raw.data(), static_cast<uLong>(raw.size()), 9);
    out.resize(n);
    return out;
}

// Signature and the chunks given.
Bytes File(std::initializer_list<Bytes> chunks)
{
    Bytes f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const auto &c : chunks)
        f.insert(f.end(), c.begin(), c.end());
    return f;
}

const Bytes Iend = Chunk("IEND", {});

// A 4 x 2 grey image: rows of filter 0.
const Bytes GreyRows = {0, 1, 2, 3, 4, 0, 5, 6, 7, 8};

std::vector<long> ParseJson(const std::string &text)
{
    std::vector<long> v;
    const char *p = text.c_str();
    while (*p) {
        if (*p >= '0' && *p <= '9') {
            char *end = nullptr;
            v.push_back(std::strtol(p, &end, 10));
            p = end;
        } else {
            ++p;
        }
    }
    return v;
}

} // namespace

TEST(PNGReaderTest, PngSuiteDecodesToTheExpectedPixels)
{
    const std::filesystem::path dir =
        std::filesystem::path(testutil::TestData("suites/pngsuite/basn0g01.png")).parent_path();
    int checked = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().stem().string();
        if (entry.path().extension() != ".png" || name[0] == 'x' || name == "PngSuite")
            continue;
        SCOPED_TRACE(name);
        const auto want = ParseJson(testutil::ReadFile(testutil::TestData("suites/pngsuite/expected-rgba-json/" +
                                                                          name + ".json")));
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
                } else if (bmp.PixelFormat == pf24bit) {
                    ours[0] = p[2], ours[1] = p[1], ours[2] = p[0];
                    if (loader.TransparentColor == (p[2] | (p[1] << 8) | (p[0] << 16)))
                        ours[3] = 0;
                } else {
                    const std::uint8_t *c = bmp.Palette.get() + 3 * p[0];
                    ours[0] = c[2], ours[1] = c[1], ours[2] = c[0];
                    if (loader.PaletteAlpha)
                        ours[3] = loader.PaletteAlpha[p[0]];
                    else if (loader.TransparentColor == p[0])
                        ours[3] = 0;
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

TEST(PNGReaderTest, CorruptSuiteFilesAreRefused)
{
    const std::map<std::string, std::string> cases = {
        {"xc1n0g08", "Invalid PNG data"},   {"xc9n2c08", "Invalid PNG data"},   {"xcrn0g04", "Invalid PNG header"},
        {"xcsn0g01", "CRC error"},          {"xd0n2c08", "Invalid PNG data"},   {"xd3n2c08", "Invalid PNG data"},
        {"xd9n2c08", "Invalid PNG data"},   {"xdtn0g01", "Invalid PNG data"},   {"xhdn0g08", "CRC error"},
        {"xlfn0g04", "Invalid PNG header"}, {"xs1n0g01", "Invalid PNG header"}, {"xs2n0g01", "Invalid PNG header"},
        {"xs4n0g01", "Invalid PNG header"}, {"xs7n0g01", "Invalid PNG header"},
    };
    for (const auto &[name, text] : cases) {
        TPNGLoader loader;
        TLinearBitmap bmp;
        EXPECT_EQ(Load(loader, testutil::ReadBytes(testutil::TestData("suites/pngsuite/" + name + ".png")), bmp), text)
            << name;
    }
}

TEST(PNGReaderTest, HostileHeadersAndChunksAreRefused)
{
    const Bytes idat = Chunk("IDAT", Zlib(GreyRows));
    Bytes badZlib = Zlib(GreyRows);
    badZlib.back() ^= 1;
    Bytes huge = Ihdr(4, 2, 8, 0);
    huge[8] = 0x80; // length 2^31 + 13
    Bytes plte257(3 * 257, 7);
    const struct {
        const char *what;
        Bytes file;
        const char *text;
    } cases[] = {
        {"palette at 16 bits", File({Ihdr(4, 2, 16, 3), idat, Iend}), "Invalid PNG data"},
        {"true colour at 4 bits", File({Ihdr(4, 2, 4, 2), idat, Iend}), "Invalid PNG data"},
        {"width 0", File({Ihdr(0, 2, 8, 0), idat, Iend}), "Invalid PNG data"},
        {"width above 2^31-1", File({Ihdr(0x80000000u, 1, 8, 0), idat, Iend}), "Invalid PNG data"},
        {"above 2^28 pixels", File({Ihdr(65536, 4097, 8, 0), idat, Iend}), "Invalid PNG data"},
        {"compression 1", File({Ihdr(4, 2, 8, 0, 1), idat, Iend}), "Invalid PNG data"},
        {"filter method 64 in PNG", File({Ihdr(4, 2, 8, 2, 0, 64), idat, Iend}), "Invalid PNG data"},
        {"interlace 2", File({Ihdr(4, 2, 8, 0, 0, 0, 2), idat, Iend}), "Invalid PNG data"},
        {"two headers", File({Ihdr(4, 2, 8, 0), Ihdr(4, 2, 8, 0), idat, Iend}), "Invalid PNG data"},
        {"chunk length above 2^31-1", File({huge, idat, Iend}), "Invalid PNG data"},
        {"IDAT before IHDR", File({idat, Ihdr(4, 2, 8, 0), Iend}), "Invalid PNG data"},
        {"no image data", File({Ihdr(4, 2, 8, 0), Iend}), "Invalid PNG data"},
        {"no header", File({Iend}), "Unsupported PNG data"},
        {"palette of 257 entries", File({Ihdr(4, 2, 8, 3), Chunk("PLTE", plte257), idat, Iend}), "Invalid PNG data"},
        {"unknown critical chunk", File({Ihdr(4, 2, 8, 0), Chunk("ABCD", {1}), idat, Iend}), "Unsupported PNG data"},
        {"bad CRC of a handled chunk", File({Ihdr(4, 2, 8, 0), Chunk("gAMA", {0, 0, 0, 1}, 1), idat, Iend}),
         "CRC error"},
        {"bad Adler-32", File({Ihdr(4, 2, 8, 0), Chunk("IDAT", badZlib), Iend}), "Adler32 error"},
        {"filter type 5", File({Ihdr(4, 2, 8, 0), Chunk("IDAT", Zlib({5, 1, 2, 3, 4, 0, 5, 6, 7, 8})), Iend}),
         "Invalid PNG data"},
        {"preset dictionary", File({Ihdr(4, 2, 8, 0), Chunk("IDAT", {0x78, 0xBB, 0, 0, 0, 1}), Iend}),
         "Invalid PNG data"},
        {"ancillary chunk longer than the file", File({Ihdr(4, 2, 8, 0), Bytes{0x7F, 0xFF, 0xFF, 0xFF, 't', 'E', 'X', 't'}}),
         "Read less than expected"},
        {"image data interrupted", File({Ihdr(4, 2, 8, 0), Chunk("IDAT", Bytes(idat.begin() + 8, idat.begin() + 12)),
                                         Chunk("tEXt", {'a'}), Iend}),
         "Invalid PNG data"},
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
    // Split anywhere, the trailer across two chunks, an empty IDAT after the
    // data, a bad CRC on a skipped chunk, no IEND at all.
    const Bytes split = File({Ihdr(4, 2, 8, 0), Chunk("IDAT", Bytes(z.begin(), z.begin() + 3)),
                              Chunk("IDAT", Bytes(z.begin() + 3, z.end() - 2)), Chunk("IDAT", Bytes(z.end() - 2, z.end())),
                              Chunk("IDAT", {}), Chunk("tEXt", {'x'}, 1), Iend});
    Bytes noEnd = File({Ihdr(4, 2, 8, 0), Chunk("IDAT", z)});
    for (const Bytes &f : {split, noEnd}) {
        TPNGLoader loader;
        TLinearBitmap bmp;
        ASSERT_EQ(Load(loader, f, bmp), "");
        EXPECT_EQ(Bytes(bmp.Map.get(), bmp.Map.get() + bmp.Size), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    }
    // Every IDAT chunk's CRC counts, not only the last one's.
    const Bytes badFirst = File({Ihdr(4, 2, 8, 0), Chunk("IDAT", Bytes(z.begin(), z.begin() + 3), 1),
                                 Chunk("IDAT", Bytes(z.begin() + 3, z.end())), Iend});
    TPNGLoader loader;
    TLinearBitmap bmp;
    EXPECT_EQ(Load(loader, badFirst, bmp), "CRC error");
}

TEST(PNGReaderTest, PaletteAndTransparencyTablesStayInBounds)
{
    const Bytes idat = Chunk("IDAT", Zlib(GreyRows));
    // A palette in a grey image leaves the ramp (kept as a suggestion with LoadAlpha).
    TPNGLoader loader;
    TLinearBitmap bmp;
    ASSERT_EQ(Load(loader, File({Ihdr(4, 2, 8, 0), Chunk("PLTE", Bytes(768, 9)), idat, Iend}), bmp), "");
    EXPECT_TRUE(bmp.IsGreyscale());
    EXPECT_FALSE(loader.SuggestedPalette);
    loader.LoadAlpha = true;
    ASSERT_EQ(Load(loader, File({Ihdr(4, 2, 8, 0), Chunk("PLTE", Bytes(768, 9)), idat, Iend}), bmp), "");
    EXPECT_TRUE(bmp.IsGreyscale());
    ASSERT_TRUE(loader.SuggestedPalette);
    EXPECT_EQ(loader.SuggestedPalette[767], 9);

    // Before the header (an MNG's global palette and transparency) they are no error.
    ASSERT_EQ(Load(loader, File({Chunk("PLTE", Bytes(6, 3)), Chunk("tRNS", {0}), Ihdr(4, 2, 8, 0), idat, Iend}), bmp), "");
    EXPECT_TRUE(bmp.IsGreyscale());

    // tRNS longer than the palette table: the first 256 entries are kept.
    Bytes trns(300, 0x40);
    trns[0] = 0x11;
    ASSERT_EQ(Load(loader, File({Ihdr(4, 2, 8, 3), Chunk("PLTE", Bytes(12, 1)), Chunk("tRNS", trns), idat, Iend}), bmp),
              "");
    ASSERT_TRUE(loader.PaletteAlpha);
    EXPECT_EQ(loader.PaletteAlpha[0], 0x11);
    EXPECT_EQ(loader.PaletteAlpha[255], 0x40);
    // Without LoadAlpha: the first fully transparent index.
    loader.LoadAlpha = false;
    trns[3] = 0;
    ASSERT_EQ(Load(loader, File({Ihdr(4, 2, 8, 3), Chunk("PLTE", Bytes(12, 1)), Chunk("tRNS", trns), idat, Iend}), bmp),
              "");
    EXPECT_EQ(loader.TransparentColor, 3);
    EXPECT_FALSE(loader.PaletteAlpha);
    ASSERT_EQ(Load(loader, File({Ihdr(4, 2, 8, 0), Chunk("gAMA", {0, 0, 0xB1, 0x8F}), idat, Iend}), bmp), "");
    EXPECT_DOUBLE_EQ(loader.Gamma, 0.45455);
    // Per-file state starts afresh.
    ASSERT_EQ(Load(loader, File({Ihdr(4, 2, 8, 0), idat, Iend}), bmp), "");
    EXPECT_EQ(loader.TransparentColor, -1);
    EXPECT_EQ(loader.Gamma, 0.0);
    EXPECT_EQ(loader.BitDepth, 8);
}

TEST(PNGReaderTest, MngFileIsFramedByMhdrAndMend)
{
    TLinearBitmap img;
    img.New(5, 3, pf24bit);
    TPNGLoader loader;
    TMemStream mem;
    loader.SaveToStream(mem, "MNG", img);
    Bytes f(static_cast<std::size_t>(mem.Size()));
    mem.Seek(0);
    mem.Read(f.data(), mem.Size());
    const pngtest::Parsed p = pngtest::Parse(f);
    EXPECT_EQ(p.Types(), (std::vector<std::string>{"MHDR", "IHDR", "IDAT", "IEND", "MEND"}));
    EXPECT_EQ(p.Find("MHDR")->Data, (Bytes{0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0,
                                           0, 0, 0}));
    // The older layout without the frame still loads.
    Bytes old = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const auto &c : p.Chunks)
        if (c.Type != "MHDR" && c.Type != "MEND") {
            const Bytes raw = Chunk(c.Type, c.Data);
            old.insert(old.end(), raw.begin(), raw.end());
        }
    TLinearBitmap back;
    EXPECT_EQ(Load(loader, old, back), "");
    EXPECT_EQ(back.Width, 5);
}

TEST(PNGReaderTest, PeekableStreamsInflateExactlyTheDeflateData)
{
    // The inflater decodes in place from the memory and the buffered stream
    // and takes no byte after the deflate data.
    Bytes raw(200000);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<std::uint8_t>((i * i) >> 7);
    Bytes packed = DeflateBuffer(raw.data(), raw.size(), BlockDynamic);
    packed.insert(packed.end(), {'E', 'N', 'D'});
    TMemStream mem;
    Fill(mem, packed);
    TBufferedStream buffered(-1, 0, &mem);
    for (TBaseStream *s : {static_cast<TBaseStream *>(&mem), static_cast<TBaseStream *>(&buffered)}) {
        mem.Seek(0);
        Bytes out(raw.size());
        {
            TDeflateStream inflate(s, 0);
            ASSERT_EQ(inflate.Read(out.data(), static_cast<int>(out.size())), static_cast<int>(out.size()));
            std::uint8_t more;
            inflate.SetNoDataExcept(false);
            EXPECT_EQ(inflate.Read(&more, 1), 0);
        }
        EXPECT_EQ(out, raw);
        char tail[3];
        ASSERT_EQ(s->Read(tail, 3), 3);
        EXPECT_EQ(std::string(tail, 3), "END");
    }
}

TEST(PNGReaderTest, MngColourTransformOf16BitSamplesCarries)
{
    // Red 0x0100 and green 0x00FF are stored as red - green = 0x0001: only
    // the 16-bit sum gives back the high byte 0x01.
    Bytes f = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Bytes &c : {Ihdr(1, 1, 16, 2, 0, 64), Chunk("IDAT", Zlib({0, 0x00, 0x01, 0x00, 0xFF, 0xFF, 0x01})), Iend})
        f.insert(f.end(), c.begin(), c.end());
    TPNGLoader loader;
    TLinearBitmap bmp;
    ASSERT_EQ(Load(loader, f, bmp), "");
    EXPECT_EQ(Bytes(bmp.Map.get(), bmp.Map.get() + 3), (Bytes{0x00, 0x00, 0x01})); // blue, green, red
}

TEST(PNGReaderTest, ProgressFollowsTheRows)
{
    std::vector<int> seen;
    ProgressUpdate = [&](int v) { seen.push_back(v); };
    const Bytes rows = {0, 1, 0, 2, 0, 3, 0, 4};
    TPNGLoader loader;
    TLinearBitmap bmp;
    const std::string text = Load(loader, File({Ihdr(1, 4, 8, 0), Chunk("IDAT", Zlib(rows)), Iend}), bmp);
    ProgressUpdate = nullptr;
    EXPECT_EQ(text, "");
    EXPECT_EQ(seen, (std::vector<int>{0, 33, 66, 100}));
}
