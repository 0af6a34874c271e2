#include "TestHelpers.h"
#include "imaging/LibraryTrace.h"
#include "imaging/MetafilePlayer.h"
#include "imaging/MetafileWriter.h"
#include "imaging/WMFLoader.h"

#include <gtest/gtest.h>

#include <QImage>

using namespace imaging;
using itest::MessageOf;
using itest::ScriptedStream;

namespace {

void P16(std::string &s, int v) { s += char(v & 0xFF), s += char((v >> 8) & 0xFF); }
void P32(std::string &s, std::int64_t v) { P16(s, int(v & 0xFFFF)), P16(s, int((v >> 16) & 0xFFFF)); }

// A WMF record from its function and 16-bit parameters (colours as two words).
std::string W(int func, std::initializer_list<int> words, const std::string &tail = {})
{
    std::string s;
    P32(s, 3 + std::int64_t(words.size()) + std::int64_t(tail.size() / 2));
    P16(s, func);
    for (int w : words)
        P16(s, w);
    return s + tail;
}

std::string WMF(const std::string &records, int objects, int right = 0, int bottom = 0)
{
    std::string s;
    if (right) { // placeable, 96 units per inch
        P32(s, 0x9AC6CDD7);
        for (int v : {0, 0, 0, right, bottom, 96, 0, 0, 0})
            P16(s, v);
    }
    for (int v : {1, 9, 0x300})
        P16(s, v);
    P32(s, 9 + std::int64_t(records.size() / 2));
    P16(s, objects);
    P32(s, 0);
    P16(s, 0);
    return s + records + W(0, {});
}

std::string E(int type, std::initializer_list<std::int64_t> longs, const std::string &tail = {})
{
    std::string s;
    P32(s, type);
    P32(s, 8 + 4 * std::int64_t(longs.size()) + std::int64_t(tail.size()));
    for (auto v : longs)
        P32(s, v);
    return s + tail;
}

// An EMF of w x h pixels (96 dpi reference device).
std::string EMF(const std::string &records, int w, int h, int handles = 4)
{
    std::string body = records + E(14, {0, 16, 20});
    std::string head;
    P32(head, 1);
    P32(head, 88);
    for (std::int64_t v : std::initializer_list<std::int64_t>{0, 0, w - 1, h - 1, 0, 0, std::int64_t(w) * 2540 / 96,
                                                         std::int64_t(h) * 2540 / 96, 0x464D4520, 0x10000,
                                                         88 + std::int64_t(body.size()), 3})
        P32(head, v);
    P16(head, handles);
    P16(head, 0);
    for (std::int64_t v : {0, 0, 0, 960, 960, 254, 254})
        P32(head, v);
    return head + body;
}

QImage Play(const std::string &m)
{
    return PlayMetafile(reinterpret_cast<const std::uint8_t *>(m.data()), m.size());
}

QRgb At(const QImage &i, int x, int y) { return i.pixel(x, y) & 0xFFFFFF; }

struct Loaded {
    std::string error;
    std::unique_ptr<TLinearBitmap> bitmap = std::make_unique<TLinearBitmap>();
};

Loaded Load(const std::string &data, const char *ext)
{
    ScriptedStream s(data);
    Loaded r;
    r.error = MessageOf([&] { TWMFLoader().LoadFromStream(s, ext, *r.bitmap); });
    return r;
}

std::string Save(const TLinearBitmap &b, const char *ext)
{
    ScriptedStream s;
    TWMFLoader().SaveToStream(s, ext, b);
    return s.written_;
}

TEST(WMFLoader, SavedPicturesLoadBackWithTheirPixels)
{
    // Four colours: 8-bit with those colours first, in the order met; a
    // gradient of more than 256 colours stays 24-bit.
    TLinearBitmap four, grad;
    four.New(5, 3, pf24bit);
    const std::uint8_t colours[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {10, 20, 30}};
    for (int i = 0; i < 15; ++i)
        std::memcpy(four.Map.get() + 3 * i, colours[(i / 2) % 4], 3);
    grad.New(300, 2, pf24bit);
    for (int p = 0; p < 600; ++p) // 600 colours
        grad.Map[3 * p] = static_cast<std::uint8_t>(p), grad.Map[3 * p + 1] = static_cast<std::uint8_t>(p >> 8);
    for (const char *ext : {"WMF", "EMF"}) {
        SCOPED_TRACE(ext);
        Loaded a = Load(Save(four, ext), ext);
        ASSERT_EQ(a.error, itest::kNoException);
        ASSERT_EQ(a.bitmap->PixelFormat, pf8bit);
        EXPECT_EQ(std::vector<int>(a.bitmap->Palette.get(), a.bitmap->Palette.get() + 13),
                  (std::vector<int>{0, 0, 255, 0, 255, 0, 255, 0, 0, 10, 20, 30, 0}));
        EXPECT_EQ(std::vector<int>(a.bitmap->Map.get(), a.bitmap->Map.get() + 15),
                  (std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3, 0, 0, 1, 1, 2, 2, 3}));
        Loaded b = Load(Save(grad, ext), ext);
        ASSERT_EQ(b.bitmap->PixelFormat, pf24bit);
        EXPECT_EQ(std::string(b.bitmap->Map.get(), b.bitmap->Map.get() + b.bitmap->Size),
                  std::string(grad.Map.get(), grad.Map.get() + grad.Size));
    }
    // An 8-bit picture carries its palette: a palette record in each kind.
    four.ChangePixelFormat(pf8bit);
    const std::string wmf = Save(four, "wmf"), emf = Save(four, "emf");
    EXPECT_EQ(wmf.substr(0, 4), std::string("\xD7\xCD\xC6\x9A", 4));
    EXPECT_NE(wmf.find(std::string("\xF7\x00\x00\x03\x00\x01", 6)), std::string::npos);
    EXPECT_EQ(emf.substr(40, 4), " EMF");
    EXPECT_NE(emf.find(std::string("\x31\x00\x00\x00", 4)), std::string::npos);

    TLinearBitmap wide;
    wide.New(32768, 1, pf8bit);
    EXPECT_EQ(MessageOf([&] { Save(wide, "WMF"); }), "A Windows metafile holds at most 32767 pixels per side");
    EXPECT_EQ(Load(Save(wide, "EMF"), "EMF").bitmap->Width, 32768);
}

TEST(MetafilePlayer, MappingAndDrawingRecords)
{
    // WMF: a 200 x 100 window on a 100 x 50 picture; a red rectangle without
    // an outline over the window's top-left quarter.
    const std::string wmf = WMF(W(0x020B, {0, 0}) + W(0x020C, {100, 200}) + W(0x02FC, {0, 0xFF, 0, 0}) +
                                    W(0x02FA, {5, 0, 0, 0, 0}) + W(0x012D, {0}) + W(0x012D, {1}) +
                                    W(0x041B, {50, 100, 0, 0}),
                                2, 100, 50);
    QImage img = Play(wmf);
    ASSERT_EQ(img.size(), QSize(100, 50));
    EXPECT_EQ(At(img, 10, 10), 0xFF0000u);
    EXPECT_EQ(At(img, 49, 24), 0xFF0000u);
    EXPECT_EQ(At(img, 51, 10), 0xFFFFFFu);
    EXPECT_EQ(At(img, 10, 26), 0xFFFFFFu);
    // A deleted object's slot is the lowest free one: the blue brush takes 0.
    img = Play(WMF(W(0x02FC, {0, 0xFF, 0, 0}) + W(0x02FC, {0, 0, 0, 0}) + W(0x01F0, {0}) +
                       W(0x02FC, {0, 0, 0xFF, 0}) + W(0x02FA, {5, 0, 0, 0, 0}) + W(0x012D, {0}) + W(0x012D, {2}) +
                       W(0x041B, {10, 10, 0, 0}),
                   3, 10, 10));
    EXPECT_EQ(At(img, 5, 5), 0x0000FFu);
    // Without the placeable header the first window gives the size.
    EXPECT_EQ(Play(WMF(W(0x020C, {30, 40}), 0)).size(), QSize(40, 30));

    // EMF: anisotropic mapping doubles a 5 x 5 logical square filled with
    // the stock black brush and drawn with the stock null pen.
    const std::string emf = EMF(E(17, {8}) + E(9, {10, 10}) + E(11, {20, 20}) + E(37, {0x80000004}) +
                                    E(37, {0x80000008}) + E(43, {0, 0, 5, 5}),
                                20, 20);
    img = Play(emf);
    ASSERT_EQ(img.size(), QSize(20, 20));
    EXPECT_EQ(At(img, 0, 0), 0u);
    EXPECT_EQ(At(img, 9, 9), 0u);
    EXPECT_EQ(At(img, 11, 11), 0xFFFFFFu);
}

// A 2 x 2 bottom-up 24-bit DIB: bottom row blue, green; top row red, white.
std::string DIB2x2(std::string &bits)
{
    std::string info;
    for (std::int64_t v : {40, 2, 2})
        P32(info, v);
    P16(info, 1);
    P16(info, 24);
    for (int i = 0; i < 6; ++i)
        P32(info, 0);
    bits = std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00", 8) + std::string("\x00\x00\xFF\xFF\xFF\xFF\x00\x00", 8);
    return info;
}

TEST(MetafilePlayer, BitmapRecordsStretchTheirSourceExactly)
{
    std::string bits;
    const std::string info = DIB2x2(bits);
    // EMF StretchDIBits: the DIB stretched to 4 x 4 at (2, 2).
    const std::string rec = E(81, {0, 0, 5, 5, 2, 2, 0, 0, 2, 2, 80, 40, 120, 16, 0, 0x00CC0020, 4, 4}, info + bits);
    QImage img = Play(EMF(rec, 8, 8));
    EXPECT_EQ(At(img, 1, 1), 0xFFFFFFu);
    EXPECT_EQ(At(img, 2, 2), 0xFF0000u); // top left: red
    EXPECT_EQ(At(img, 5, 3), 0xFFFFFFu);
    EXPECT_EQ(At(img, 3, 5), 0x0000FFu); // bottom left: blue
    EXPECT_EQ(At(img, 5, 5), 0x00FF00u);
    // WMF StretchDIB (packed DIB), one source pixel (the green one) to 3 x 3.
    std::string wmfRec;
    P32(wmfRec, 3 + 11 + std::int64_t(info.size() + bits.size()) / 2);
    P16(wmfRec, 0x0F43);
    for (int v : {0x0020, 0x00CC, 0, 1, 1, 0, 1, 3, 3, 0, 0})
        P16(wmfRec, v);
    img = Play(WMF(wmfRec + info + bits, 0, 4, 4));
    EXPECT_EQ(At(img, 0, 0), 0x00FF00u);
    EXPECT_EQ(At(img, 2, 2), 0x00FF00u);
    EXPECT_EQ(At(img, 3, 3), 0xFFFFFFu);
}

TEST(MetafilePlayer, DeviceRulesOfStockObjectsBlitsAndArcs)
{
    std::string bits;
    const std::string info = DIB2x2(bits);
    const std::int64_t one = 0x3F800000; // 1.0f
    const struct {
        std::string records;
        int x, y;
        QRgb colour;
    } cases[] = {
        // The stock grey brush is 808080, not Qt's grey.
        {E(37, {0x80000008}) + E(37, {0x80000002}) + E(43, {0, 0, 10, 10}), 5, 5, 0x808080},
        // StretchBlt's source rows count from the top even for a bottom-up
        // DIB: source pixel (0, 0) is the red one.
        {E(77, {0, 0, 3, 3, 0, 0, 4, 4, 0x00CC0020, 0, 0, one, 0, 0, one, 0, 0, 0, 0, 108, 40, 148, 16, 1, 1},
           info + bits),
         2, 2, 0xFF0000},
        // SetDIBitsToDevice of a band: only the bottom scan of the 2 x 2 DIB
        // is stored; its blue pixel lands at (0, 0).
        {E(80, {0, 0, 1, 1, 0, 0, 0, 0, 2, 1, 76, 40, 116, 8, 0, 0, 1}, info + bits.substr(0, 8)), 0, 0, 0x0000FF},
        // A pie runs counter-clockwise on the picture even where the mapping
        // turns the y axis up: from the right to the top is the top-right quarter.
        {E(17, {8}) + E(9, {10, 10}) + E(11, {10, -10}) + E(12, {0, 10}) + E(37, {0x80000008}) +
             E(37, {0x80000004}) + E(47, {0, 0, 10, 10, 10, 5, 5, 10}),
         7, 2, 0x000000},
    };
    for (const auto &c : cases) {
        const QImage img = Play(EMF(c.records, 10, 10));
        EXPECT_EQ(At(img, c.x, c.y), c.colour) << c.records.size();
    }
    const QImage pie = Play(EMF(cases[3].records, 10, 10));
    EXPECT_EQ(At(pie, 2, 7) & At(pie, 7, 7) & At(pie, 2, 2), 0xFFFFFFu);

    // A positive font height is the cell, a negative one the character: "H"
    // of height +40 is drawn smaller than of height -40.
    auto inkRows = [&](int height) {
        const std::string face = std::string(72, '\0');
        const QImage img = Play(EMF(E(82, {1, height, 0, 0, 0, 400}, face) + E(37, {1}) +
                                        E(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 1, 76, 0, 0, 0, 0, 0, 0},
                                          std::string("H\0\0\0", 4)),
                                    100, 100));
        int rows = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (At(img, x, y) != 0xFFFFFFu) {
                    ++rows;
                    break;
                }
        return rows;
    };
    const int cell = inkRows(40), character = inkRows(-40);
    EXPECT_GT(cell, 10);
    EXPECT_LT(cell, character);

    // Beyond 256 colours a pixel takes the nearest colour of the palette.
    TLinearBitmap many;
    many.New(257, 1, pf24bit);
    for (int i = 0; i < 256; ++i)
        std::memset(many.Map.get() + 3 * i, i, 3);
    many.Map[3 * 256] = many.Map[3 * 256 + 1] = 250, many.Map[3 * 256 + 2] = 251;
    ReduceToPalette(many);
    ASSERT_EQ(many.PixelFormat, pf8bit);
    EXPECT_EQ(many.Map[256], 250);
}

TEST(MetafilePlayer, HostileMetafiles)
{
    std::vector<std::string> traced;
    LibraryTrace = [&](const std::string &t) { traced.push_back(t); };
    const std::string black = E(37, {0x80000004}) + E(43, {0, 0, 9, 9});
    // A zero-size record ends the play; a record beyond the file too; a
    // short record and an object index out of range are passed over.
    const std::string cases[] = {
        EMF(E(0, {}) + black, 10, 10) /* type 0 is just unknown */,
        EMF(std::string("\x2B\0\0\0\0\0\0\0", 8) + black, 10, 10),
        EMF(E(43, {0, 0}) + E(37, {3}) + E(37, {99}) + std::string("\x2B\0\0\0\xFF\xFF\0\0", 8), 10, 10),
        WMF(W(0x012D, {7}) + W(0x041B, {1}) + std::string("\xFF\xFF\0\0\x1B\x04", 6), 1, 10, 10),
    };
    EXPECT_EQ(At(Play(cases[0]), 5, 5), 0u);
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(At(Play(cases[i]), 5, 5), 0xFFFFFFu) << i;
    EXPECT_EQ(traced, (std::vector<std::string>{
                          "EMF record 0 not played",
                          "Short EMF record 43 not played",
                          "EMF object index out of range in record 37 not played",
                          "EMF record 43 reaches beyond the file: play ends",
                          "WMF object index out of range in record 301 not played",
                          "Short WMF record 1051 not played",
                          "WMF record 1051 reaches beyond the file: play ends",
                      }));

    // Bitmap records share one pixel budget (the picture limit): an 8 x 8
    // run-length DIB of two bytes fits a budget of 100 once, not twice.
    std::string rle;
    for (std::int64_t v : {40, 8, 8})
        P32(rle, v);
    P16(rle, 1), P16(rle, 8);
    for (std::int64_t v : {1, 2, 0, 0, 1, 0})
        P32(rle, v);
    rle += std::string("\0\0\xFF\0\0\1", 6); // red, then end of bitmap
    auto blit = [&](int x) { return E(81, {0, 0, 9, 9, x, x, 0, 0, 8, 8, 80, 44, 124, 2, 0, 0x00CC0020, 1, 1}, rle); };
    traced.clear();
    const std::string twice = EMF(blit(0) + blit(5), 10, 10);
    TMetafileLimits limits;
    limits.MaxPixels = 100;
    const QImage budget = PlayMetafile(reinterpret_cast<const std::uint8_t *>(twice.data()), twice.size(), limits);
    EXPECT_EQ(At(budget, 0, 0), 0xFF0000u);
    EXPECT_EQ(At(budget, 5, 5), 0xFFFFFFu);
    EXPECT_EQ(traced, std::vector<std::string>{"Metafile bitmap not drawn: its pixels pass the metafile's limit"});
    LibraryTrace = nullptr;

    EXPECT_EQ(Load("not a metafile at all", "WMF").error, "Metafile is not valid");
    EXPECT_EQ(Load(EMF("", 0, 0), "EMF").error, "Metafile is not valid");
    EXPECT_EQ(Load(EMF("", 100000, 100000), "EMF").error, "Invalid bitmap size");
    EXPECT_EQ(Load(WMF("", 0, 30000, 30000), "WMF").error, "Invalid bitmap size");
    std::string truncated = WMF("", 0, 10, 10);
    EXPECT_EQ(Load(truncated.substr(0, 30), "WMF").error, "Metafile is not valid");
}

} // namespace
