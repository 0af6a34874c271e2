// The PNG/MNG reader: the whole PngSuite against its expected pixels, the
// corrupt files and hand-made hostile files refused with their texts.
#include "PNGTestUtil.h"
#include "TestUtil.h"
#include "imaging/BufStream.h"
#include "imaging/Deflate.h"
#include "imaging/PNGLoader.h"
#include "imaging/Progress.h"

#include <filesystem>

using namespace imaging;
using pngtest::Bytes;

namespace {

// Loads bytes; returns the error text or "".
std::string Load(TPNGLoader &loader, const Bytes &file, TLinearBitmap &bmp)
{
    return itest::ErrorOf([&] { loader.LoadFromStream(*itest::MemOf(file), "PNG", bmp); });
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
    Put32(c, static_cast<std::uint32_t>(crc32(0, c.data() + 4, static_cast<uInt>(c.size() - 4))) ^ crcXor);
    return c;
}

Bytes Ihdr(std::uint32_t w, std::uint32_t h, int depth, int type, int comp = 0, int filter = 0, int interlace = 0)
{
    Bytes d;
    Put32(d, w);
    Put32(d, h);
    for (int v : {depth, type, comp, filter, interlace})
        d.push_back(static_cast<std::uint8_t>(v));
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

// A signature (PNG, or MNG with `mng`) and the chunks given.
Bytes File(std::initializer_list<Bytes> chunks, bool mng = false)
{
    Bytes f = {mng ? std::uint8_t(0x8A) : std::uint8_t(0x89), 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (mng)
        f[1] = 'M', f[2] = 'N', f[3] = 'G';
    for (const auto &c : chunks)
        f.insert(f.end(), c.begin(), c.end());
    return f;
}

const Bytes Iend = Chunk("IEND", {});
const Bytes GreyRows = {0, 1, 2, 3, 4, 0, 5, 6, 7, 8}; // 4 x 2 grey, rows of filter 0

} // namespace

TEST(PNGReaderTest, PngSuiteDecodesToTheExpectedPixels)
{
    const auto dir = std::filesystem::path(testutil::TestData("suites/pngsuite/basn0g01.png")).parent_path();
    int checked = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().stem().string();
        if (entry.path().extension() != ".png" || name[0] == 'x' || name == "PngSuite")
            continue;
        SCOPED_TRACE(name);
        std::vector<long> want; // every number of the JSON: RGBA samples in order
        const std::string json = testutil::ReadFile(testutil::TestData("suites/pngsuite/expected-rgba-json/" + name + ".json"));
        for (const char *p = json.c_str(); *p;)
            if (*p >= '0' && *p <= '9') {
                char *end = nullptr;
                want.push_back(std::strtol(p, &end, 10));
                p = end;
            } else {
                ++p;
            }
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
        {"xc1n0g08", data}, {"xc9n2c08", data}, {"xcrn0g04", header}, {"xcsn0g01", crc}, {"xd0n2c08", data},
        {"xd3n2c08", data}, {"xd9n2c08", data}, {"xdtn0g01", data}, {"xhdn0g08", crc}, {"xlfn0g04", header},
        {"xs1n0g01", header}, {"xs2n0g01", header}, {"xs4n0g01", header}, {"xs7n0g01", header}};
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
        {"true colour at 4 bits", File({Ihdr(4, 2, 4, 2), idat, Iend}), data},
        {"width 0", File({Ihdr(0, 2, 8, 0), idat, Iend}), data},
        {"width above 2^31-1", File({Ihdr(0x80000000u, 1, 8, 0), idat, Iend}), data},
        {"above 2^28 pixels", File({Ihdr(65536, 4097, 8, 0), idat, Iend}), data},
        {"compression 1", File({Ihdr(4, 2, 8, 0, 1), idat, Iend}), data},
        {"filter method 64 in PNG", File({Ihdr(4, 2, 8, 2, 0, 64), idat, Iend}), data},
        {"interlace 2", File({Ihdr(4, 2, 8, 0, 0, 0, 2), idat, Iend}), data},
        {"two headers", File({grey, grey, idat, Iend}), data},
        {"chunk length above 2^31-1", File({huge, idat, Iend}), data},
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
    // Split anywhere, the trailer across two chunks, an empty IDAT after the
    // data, a bad CRC on a skipped chunk, no IEND at all; the older MNG layout without MHDR.
    const Bytes split = File({Ihdr(4, 2, 8, 0), Chunk("IDAT", Bytes(z.begin(), z.begin() + 3)),
                              Chunk("IDAT", Bytes(z.begin() + 3, z.end() - 2)), Chunk("IDAT", Bytes(z.end() - 2, z.end())),
                              Chunk("IDAT", {}), Chunk("tEXt", {'x'}, 1), Iend});
    for (const Bytes &f : {split, File({Ihdr(4, 2, 8, 0), Chunk("IDAT", z)}), File({Ihdr(4, 2, 8, 0), Chunk("IDAT", z), Iend}, true)}) {
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
    EXPECT_EQ(loader.TransparentColor, -1);
    EXPECT_EQ(loader.Gamma, 0.0);
    EXPECT_EQ(loader.BitDepth, 8);

    std::vector<int> seen; // progress follows the rows
    ProgressUpdate = [&](int v) { seen.push_back(v); };
    const std::string text = Load(loader, File({Ihdr(1, 4, 8, 0), Chunk("IDAT", Zlib({0, 1, 0, 2, 0, 3, 0, 4})), Iend}), bmp);
    ProgressUpdate = nullptr;
    EXPECT_EQ(text, "");
    EXPECT_EQ(seen, (std::vector<int>{0, 33, 66, 100}));
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
    const auto mem = itest::MemOf(packed);
    TBufferedStream buffered(-1, 0, mem.get());
    for (TBaseStream *s : {static_cast<TBaseStream *>(mem.get()), static_cast<TBaseStream *>(&buffered)}) {
        mem->Seek(0);
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
