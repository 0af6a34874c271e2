// Utilities, the LZW decoder, colour maps, header, block sequence and
// extensions.
#include "GIFTestUtil.h"

#include <gtest/gtest.h>

using namespace gif;
using namespace gif_test;

namespace {

QByteArray App(const char *id11, std::initializer_list<int> tail)
{
    return Bytes({0x21, 0xFF, 11}) + QByteArray(id11, 11) + Bytes(tail);
}

} // namespace

TEST(GIFUtils, BitsSubBlocksAndWebPalette)
{
    for (auto [colors, bits] : {std::pair{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {17, 5}, {256, 8}})
        EXPECT_EQ(BitsForColors(colors), bits) << colors;
    EXPECT_EQ(RowBytes(3, 24, 32), 12);
    EXPECT_EQ(RowBytes(5, 8, 32), 8);
    EXPECT_EQ(WebPalette().size(), 216u);
    EXPECT_EQ(WebPalette()[1], qRgb(0, 0, 51));
    // The nearest web colour; white is the last entry, inside the palette.
    for (auto [r, g, b, index] : {std::array{255, 255, 255, 215}, {0, 0, 0, 0}, {30, 0, 60, 37}}) {
        EXPECT_EQ(WebPaletteIndex(r, g, b), index);
        EXPECT_EQ(WebPalette()[std::size_t(index)], qRgb((r + 25) / 51 * 51, (g + 25) / 51 * 51, (b + 25) / 51 * 51));
    }
    // A zero byte cuts its line; the end of the stream ends the list.
    Strings lines;
    Reader cut(Bytes({3, 'a', 0, 'b', 1, 'c'}));
    ReadSubBlockStrings(cut, lines);
    EXPECT_EQ(lines, (Strings{"a", "c"}));
}

TEST(GIFColorMap, Operations)
{
    TGIFImage image;
    auto &map = image.Header().ColorMap();
    Strings warnings;
    image.OnWarning = [&](const void *, int, const std::string &m) { warnings.push_back(m); };
    EXPECT_EQ(MessageOf([&] { map.Colors(0); }), "Color table is empty");
    EXPECT_EQ(warnings, Strings{"Invalid color index"});
    for (TColor c : {RGBColor(1, 2, 3), RGBColor(9, 9, 9), RGBColor(1, 2, 3)})
        map.Add(c);
    EXPECT_EQ(map.IndexOfColor(RGBColor(1, 2, 3)), 2);
    map.SetOptimized(true);
    EXPECT_EQ(map.IndexOfColor(RGBColor(1, 2, 3)), 0);
    EXPECT_EQ(map.Colors(7), RGBColor(1, 2, 3)); // bad index: entry 0, with a warning
    EXPECT_EQ(MessageOf([&] { map.Delete(3); }), "Invalid color index");
    map.Delete(0);
    EXPECT_EQ(map.Colors(0), RGBColor(9, 9, 9));
    while (map.Count() < 256)
        map.Add(RGBColor(map.Count(), 0, 0));
    EXPECT_EQ(MessageOf([&] { map.Add(0); }), "Color table overflow");
    map.ImportPalette(std::vector<QRgb>(300, qRgb(5, 5, 5))); // never more than 256
    EXPECT_EQ(map.Count(), 256);
    map.Clear();
    for (int i = 1; i <= 5; ++i)
        map.Add(RGBColor(i, i, i));
    EXPECT_EQ(Save(map), Bytes({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5}) + QByteArray(9, '\0')); // 8 entries
    // Optimize sorts by use and keeps pixels beyond the table: 1,1,1,0 and 3.
    auto r = Load(Header(5, 1) + Descriptor(5, 1) + PlainLZW({1, 1, 1, 0, 3}));
    auto *f = r.Image->SubImage(0);
    auto &used = r.Image->Header().ColorMap();
    EXPECT_TRUE(used.Optimize() && used.Optimized());
    EXPECT_EQ(used.Colors(0), RGBColor(255, 255, 255));
    EXPECT_EQ(Pixels(f->Data(), f->Data() + 5), (Pixels{0, 0, 0, 1, 3}));
    // Already in order of use, some unused: nothing changes.
    used.Add(RGBColor(7, 7, 7));
    used.SetOptimized(false);
    EXPECT_TRUE(used.Optimize());
    EXPECT_EQ(used.Count(), 3);
}

TEST(GIFHeader, SignatureTableAndWrittenVersion)
{
    const struct { QByteArray bytes; std::string error; int colors; } cases[] = {
        {"gif99z" + Bytes({1, 0, 1, 0, 0x80, 0, 0, 1, 2, 3, 4, 5, 6}), "", 2},
        {Bytes({1, 2, 3, 4}) + "GIF87a" + Bytes({1, 0, 1, 0, 0, 0, 0}), "", 0},
        {"GIF89a" + Bytes({1, 0, 1, 0, 0x87, 0, 0}) + QByteArray(768, 'c'), "", 256},
        {"GIX87a" + Bytes({1, 0, 1, 0, 0, 0, 0, 0, 0}), "Invalid GIF signature", -1},
        {"GIF89a" + Bytes({1, 0, 1, 0, 0x87, 0, 0, 1, 2}), "Premature end of data", -1},
    };
    for (auto &c : cases) {
        TGIFImage image;
        Reader in(c.bytes);
        EXPECT_EQ(MessageOf([&] { image.Header().LoadFromStream(in); }), c.error);
        EXPECT_TRUE(c.colors < 0 || (image.Header().Width == 1 && image.Header().ColorMap().Count() == c.colors));
    }
    PlainEncoder enc;
    EXPECT_EQ(MessageOf([] { TGIFImage empty; Save(empty); }), "Unsupported GIF version");
    auto r = Load(Header(2, 2, "87a") + Frame(2, 2) + Bytes({0x3B}));
    EXPECT_EQ(Save(*r.Image).left(6), "GIF87a");
    r.Image->Header().AspectRatio = 49; // reserved in 87a: the file is 89a
    EXPECT_EQ(Save(*r.Image).left(6), "GIF89a");
    r.Image->Header().AspectRatio = 0;
    r.Image->Header().ColorMap().SetOptimized(true);
    EXPECT_EQ(Save(*r.Image).left(11), "GIF89a" + Bytes({2, 0, 2, 0, 0x88})); // table and sort flags, 2 colours
}

TEST(GIFExtensions, ReadAndWrittenBack)
{
    const QByteArray same = App("NETSCAPE2.0", {3, 1, 0, 0, 0}) + App("XMP DataXMP", {2, 7, 8, 1, 9, 0}) +
                            Bytes({0x21, 0xF9, 4, 0x09, 10, 0, 1, 0, 0x21, 0xF9, 4, 0x00, 20, 0, 0, 0}) +
                            Bytes({0x21, 0x01, 12, 1, 0, 2, 0, 3, 0, 4, 0, 5, 6, 7, 8, 2, 'h', 'i', 0}) +
                            App("ANIMEXTS1.0", {3, 1, 5, 0, 5, 2, 1, 2, 3, 4, 0});
    // An application block of size 10 is written with size 11; one above 11
    // keeps its first 11 bytes.
    auto r = Load(Header() + same + Bytes({0x21, 0xFF, 10}) + "ABCDEFGHIJ" + Bytes({1, 5, 0, 0x21, 0xFF, 13}) +
                  "LONGERBLOCKxy" + Bytes({1, 6, 0}) + Frame(2, 2) + Bytes({0x3B}));
    ASSERT_EQ(r.Error, "");
    auto *f = r.Image->SubImage(0);
    auto &ext = f->Extensions();
    ASSERT_EQ(ext.Count(), 8);
    QByteArray written;
    for (int i = 0; i < 8; ++i)
        written += Save(*ext.Extensions(i));
    EXPECT_EQ(written, same + App("ABCDEFGHIJ\0", {1, 5, 0}) + App("LONGERBLOCK", {1, 6, 0}));
    ASSERT_EQ(f->GraphicControlExtension(), ext.Extensions(2)); // the first one is the frame's
    EXPECT_TRUE(f->Transparent());
    EXPECT_EQ(f->GraphicControlExtension()->Disposal(), 2);
    EXPECT_EQ(static_cast<TGIFAppExtNSLoop *>(ext.Extensions(5))->BufferSize, 0x04030201u);
    EXPECT_EQ(f->GetVersion(), gv89a);
    f->GraphicControlExtension()->SetTransparent(false);
    EXPECT_FALSE(f->Transparent());
    ext.Delete(2);
    EXPECT_TRUE(!f->GraphicControlExtension() && !f->Transparent() && f->TransparentColorIndex() == 0);
    // New ones.
    TGIFAppExtNSLoop loop(nullptr);
    EXPECT_EQ(Save(loop), App("NETSCAPE2.0", {3, 1, 0, 0, 0}));
    TGIFGraphicControlExtension gce(nullptr);
    gce.SetDisposal(2);
    EXPECT_EQ(gce.PackedFields, 0x08);
}

// Block sequences, hostile extensions: frames read, error, warnings.
TEST(GIFImageList, BlocksAndHostileExtensions)
{
    const QByteArray frame = Frame(2, 2);
    const struct { QByteArray tail; int frames; std::string error; Strings warnings; } cases[] = {
        {frame + Bytes({0, 0}) + frame + Bytes({0, 0x3B}), 2, "", {}},
        {frame, 1, "", {}}, // no trailer
        {frame + Bytes({0x99}) + frame, 1, "", {"Unknown GIF block type", "Invalid Image trailer"}},
        // After extensions only an image separator starts an image.
        {Bytes({0x21, 0xFE, 1, 'c', 0, 0x77}) + frame, 1, "", {"Invalid extension introducer", "Unknown GIF block type", "Invalid Image trailer"}},
        {Bytes({0x21, 0x02, 0}), 0, "Unknown extension type", {}},
        {Bytes({0x21, 0xFF, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}), 0, "Unsupported Application Extension block size", {}},
        {App("NETSCAPE2.0", {2, 1, 0}), 0, "Invalid GIF data", {}},
        // The stream ends inside the sub-blocks: the extension is kept.
        {App("NETSCAPE2.0", {200, 3}), 1, "", {}},
        {App("NETSCAPE2.0", {3, 1}), 0, "Premature end of data", {}},
        {Bytes({0x21, 0xF9, 4, 1}), 1, "", {"Premature end of data"}},
        {Bytes({0x21, 0xFE, 200, 'a'}), 0, "Premature end of data", {}},
        {Bytes({0x21, 0x01, 12, 1}), 0, "Premature end of data", {}},
    };
    for (auto &c : cases) {
        auto r = Load(Header() + c.tail);
        EXPECT_EQ(r.Error, c.error) << c.tail.toHex().toStdString();
        EXPECT_EQ(r.Warnings, c.warnings) << c.tail.toHex().toStdString();
        EXPECT_EQ(r.Image->Count(), c.frames) << c.tail.toHex().toStdString();
    }
}

TEST(GIFExtensions, CommentLines)
{
    PlainEncoder enc;
    auto r = Load(Header() + Frame(2, 2) + Bytes({0x3B}));
    auto c = std::make_unique<TGIFCommentExtension>(r.Image->SubImage(0));
    c->Comment = {"one", "", std::string(300, 'z')}; // an empty line writes nothing
    r.Image->SubImage(0)->Extensions().Add(std::move(c));
    const QByteArray file = Save(*r.Image);
    EXPECT_TRUE(file.contains(Bytes({0x21, 0xFE, 3, 'o', 'n', 'e', 255, 'z'})));
    auto back = Load(file);
    auto *read = dynamic_cast<TGIFCommentExtension *>(back.Image->SubImage(0)->Extensions().Extensions(0));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->Comment, (Strings{"one", std::string(255, 'z'), std::string(45, 'z')}));
}

TEST(GIFDecoder, Streams)
{
    const struct { // packed: 0x40 interlaced
        const char *name; int w, h, packed; QByteArray data; std::vector<int> pixels;
        Strings warnings; std::string error; QByteArray gce = {};
    } cases[] = {
        {"no leading clear", 2, 2, 0, Data(2, {{3, {1, 1, 1}}, {4, {1, 5}}}), {1, 1, 1, 1}, {}, ""},
        {"double clears", 2, 2, 0, Data(2, {{3, {4, 4, 1, 0, 4, 4, 1, 0, 5}}}), {1, 0, 1, 0}, {}, ""},
        {"early end keeps fill", 2, 2, 0, Data(2, {{3, {4, 1, 5}}}), {1, 0, 0, 0}, {}, ""},
        {"early end, transparent fill", 2, 2, 0, Data(2, {{3, {4, 1, 5}}}), {1, 3, 3, 3}, {}, "", Bytes({0x21, 0xF9, 4, 1, 0, 0, 3, 0})},
        {"code size 9 reads as 8", 2, 2, 0, Data(9, {{9, {256, 7, 7, 7, 7, 257}}}), {7, 7, 7, 7}, {}, ""},
        {"end right after clear", 2, 2, 0, Data(2, {{3, {4, 1, 4, 5}}}), {1, 0, 0, 0}, {}, ""},
        {"table string and width growth", 5, 1, 0, Data(2, {{3, {4, 1, 6, 0}}, {4, {7, 5}}}), {1, 1, 1, 0, 1}, {}, ""},
        {"interlaced rows 0 4 2 1 3", 1, 5, 0x40, Data(3, {{4, {8, 1, 2, 3, 4, 5, 9}}}), {1, 4, 3, 5, 2}, {}, ""},
        {"one-byte sub-blocks, 9-bit codes", 2, 2, 0, Data(8, {{9, {256, 10, 20, 30, 40, 257}}}, 1), {10, 20, 30, 40}, {}, ""},
        {"code beyond the table", 2, 2, 0, Data(2, {{3, {4, 1, 7, 5}}}), {}, {}, "Circular decoder table entry"},
        {"first code beyond literals", 2, 2, 0, Data(2, {{3, {4, 6, 5}}}), {}, {}, "Circular decoder table entry"},
        {"under-run after terminator", 3, 3, 0, Data(2, {{3, {4, 1, 1, 1}}, {4, {1, 1, 1, 1, 1}}}), {1, 1, 1, 1, 1, 1, 1, 1, 0}, {"Decoder bit buffer under-run"}, ""},
        // More codes than pixels, and more sub-blocks after the end code.
        {"trailing codes and data skipped", 1, 1, 0, Data(2, {{3, {4, 1, 1, 1}}, {4, {1, 1, 1, 5}}}).chopped(1) + Bytes({2, 9, 9, 0}), {1}, {}, ""},
    };
    for (const auto &c : cases) {
        // A second frame follows: the first must leave the stream on it.
        auto r = Load(Header(8, 8) + c.gce + Descriptor(c.w, c.h, c.packed) + c.data + Frame(1, 1) + Bytes({0x3B}));
        EXPECT_EQ(r.Error, c.error) << c.name;
        EXPECT_EQ(r.Warnings, c.warnings) << c.name;
        if (c.error.empty()) {
            ASSERT_EQ(r.Image->Count(), 2) << c.name;
            const auto *f = r.Image->SubImage(0);
            EXPECT_EQ(std::vector<int>(f->Data(), f->Data() + f->DataSize()), c.pixels) << c.name;
        }
    }
}

TEST(GIFDecoder, TruncatedAndHugeFrames)
{
    QByteArray cut = Data(2, {{3, {4, 1, 1, 1}}, {4, {1, 5}}});
    cut[1] = char(40); // a sub-block longer than the rest of the stream
    auto r = Load(Header() + Descriptor(2, 2) + cut);
    EXPECT_EQ(r.Error, "");
    EXPECT_EQ(r.Warnings, Strings{"Premature end of data"});
    ASSERT_EQ(r.Image->Count(), 1);
    EXPECT_EQ(r.Image->SubImage(0)->Data()[0], 1);
    // 65535 x 65535 in a 40-byte file is refused before any allocation.
    EXPECT_EQ(Load(Header() + Descriptor(65535, 65535) + Data(2, {{3, {4, 5}}})).Error, "Image is too large");
    // A frame far outside the screen grows it, up to its 16 bits.
    auto outside = Load(Header() + Bytes({0x2C, 0xE8, 0xFD, 0, 0, 0xE8, 0x03, 1, 0, 0}) + Data(2, {{3, {4, 1, 5}}}));
    EXPECT_EQ(outside.Error, "");
    EXPECT_EQ(outside.Image->Width(), 65535);
    EXPECT_EQ(outside.Image->SubImage(0)->GetBitmap().width(), 1000);
    // Stream ends right after the descriptor: the frame keeps its fill.
    auto bare = Load(Header() + Descriptor(2, 2));
    EXPECT_EQ(bare.Error, "");
    ASSERT_EQ(bare.Image->Count(), 1);
    EXPECT_EQ(bare.Image->SubImage(0)->DataSize(), 4);
}
