// The PCX format: exact run coding of the writer, runs across lines and planes, padding columns, refused headers and data.
// Round trips: fuzz_pcx and, odd and even widths of every depth both ways through Pillow, tests/interop/interop.py.
#include "TestHelpers.h"
#include "imaging/PCXLoader.h"

using namespace imaging;
using namespace itest;

namespace {

Bytes Save(const TLinearBitmap &bmp) { return SaveWith(TPCXLoader(), bmp, "PCX"); }
std::string Load(const Bytes &file, TLinearBitmap &bmp) { return LoadWith(TPCXLoader(), file, bmp, "PCX"); }

// A header: width from Xmax, planes, bytes per line; then the data.
Bytes File(int xmin, int xmax, int ymax, int planes, int bpl, const Bytes &data, int version = 5, int bits = 8)
{
    Bytes f{10, static_cast<std::uint8_t>(version), 1, static_cast<std::uint8_t>(bits)};
    PutLE(f, 4, static_cast<std::uint16_t>(xmin), 2), PutLE(f, 8, xmax, 2), PutLE(f, 10, ymax, 2);
    PutLE(f, 65, planes, 1), PutLE(f, 66, static_cast<std::uint16_t>(bpl), 2), PutLE(f, 127, 0, 1);
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

} // namespace

TEST(PCXTest, WriterRunsAreExact)
{
    TLinearBitmap b;
    b.New(100, 2, pf8bit);
    std::memset(b.Map.get(), 7, 100);       // a run of 100: 63 + 37
    std::memset(b.Map.get() + 100, 7, 99);  // equal across the row end: two runs
    b.Map[199] = 200;                       // one value of 192 or more: C1 C8
    const Bytes f = Save(b);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 16), (Bytes{10, 5, 1, 8, 0, 0, 0, 0, 99, 0, 1, 0, 96, 0, 96, 0}));
    EXPECT_EQ(f[65], 1);
    EXPECT_EQ(f[66], 100);
    EXPECT_EQ(Bytes(f.begin() + 128, f.begin() + 138), (Bytes{0xFF, 7, 0xE5, 7, 0xFF, 7, 0xE4, 7, 0xC1, 200}));
    EXPECT_EQ(f.size(), 138u + 769);
    EXPECT_EQ(f[138], 12);
    // 24-bit: per row red, green, blue planes, each coded on its own.
    TLinearBitmap c;
    c.New(3, 1, pf24bit);
    const std::uint8_t px[9] = {1, 2, 3, 1, 2, 3, 1, 2, 0xC5}; // blue, green, red
    std::memcpy(c.Map.get(), px, 9);
    const Bytes g = Save(c);
    EXPECT_EQ(g[65], 3);
    EXPECT_EQ(Bytes(g.begin() + 128, g.end()), (Bytes{0xC2, 3, 0xC1, 0xC5, 0xC3, 2, 0xC3, 1}));
}

TEST(PCXTest, RunsCrossLinesAndPlanesAndPaddingIsCut)
{
    // 3 planes, width 2 in 3 bytes per line: one run fills red, green and the first blue byte of row 0, the next covers the
    // rest of row 0 and row 1.
    TLinearBitmap b;
    ASSERT_EQ(Load(File(0, 1, 1, 3, 3, {0xC7, 9, 0xCB, 4}), b), "");
    EXPECT_EQ(b.Width, 2);
    EXPECT_EQ(b.PixelFormat, pf24bit);
    EXPECT_EQ(PixelsOf(b), (Bytes{9, 9, 9, 4, 9, 9, 4, 4, 4, 4, 4, 4}));
    // One plane: a run over the row end; no palette marker leaves the grey ramp.
    ASSERT_EQ(Load(File(0, 2, 1, 1, 4, {0xC5, 200, 0xC3, 1}), b), "");
    EXPECT_EQ(PixelsOf(b), (Bytes{200, 200, 200, 200, 1, 1}));
    EXPECT_TRUE(b.IsGreyscale());
    // A negative Xmin counts: width Xmax - Xmin + 1.
    ASSERT_EQ(Load(File(-2, 0, 0, 1, 3, {0xC3, 5}), b), "");
    EXPECT_EQ(b.Width, 3);
}

TEST(PCXTest, BadFilesAreRefused)
{
    const struct {
        const char *what;
        Bytes file;
        const char *text;
    } cases[] = {
        {"version 3", File(0, 0, 0, 1, 1, {5}, 3), "Unsupported file format"},
        {"4 bits per pixel", File(0, 0, 0, 1, 1, {5}, 5, 4), "Unsupported file format"},
        {"2 planes", File(0, 0, 0, 2, 1, {5, 5}), "Unsupported file format"},
        {"Xmax below Xmin", File(5, 2, 0, 1, 4, {0xC4, 1}), "Unsupported file format"},
        {"width above bytes per line", File(0, 9, 0, 1, 4, {0xC4, 1}), "Unsupported file format"},
        {"negative bytes per line", File(0, 0, 0, 1, -1, {5}), "Unsupported file format"},
        {"run past the picture", File(0, 1, 0, 1, 2, {0xC3, 1}), "Error in bitmap data"},
        {"data ends early", File(0, 3, 0, 1, 4, {0xC2, 1}), "Read less than expected"},
        {"short header", Bytes(60, 10), "Read less than expected"},
    };
    for (const auto &c : cases) {
        TLinearBitmap b;
        EXPECT_EQ(Load(c.file, b), c.text) << c.what;
    }
    TLinearBitmap wide;
    wide.New(32768, 1, pf8bit);
    TMemStream mem;
    EXPECT_EQ(MessageOf([&] { TPCXLoader().SaveToStream(mem, "PCX", wide); }), "Invalid bitmap size");
    EXPECT_EQ(mem.Size(), 0);
}

TEST(PCXTest, RegisteredAsLoaderAndPictureFormat)
{
    RegisterPCXLoader();
    const auto fmt = platform::FindFileFormat("PCX").value_or(platform::TFileFormat{});
    EXPECT_EQ(fmt.ClassName + "/" + fmt.Description, "TPCXGraphic/Zsoft Paintbrush");
    TLinearBitmap img; // the picture's streams hold the file format, both ways
    img.New(3, 2, pf24bit);
    img.Map[4] = 0xC7;
    const auto [file, back] = PictureRoundTrip("PCX", img);
    EXPECT_EQ(file, Save(img));
    EXPECT_EQ(back, PixelsOf(img));
    std::string filter;
    PCXLoader()->GetSaveFilter(filter);
    EXPECT_EQ(filter, "Zsoft Paintbrush (*.pcx)|*.pcx");
    UnregisterPCXLoader();
}
