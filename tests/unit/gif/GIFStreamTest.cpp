// Utilities, colour maps, header, block sequence and extensions.
#include "GIFTestUtil.h"

#include <gtest/gtest.h>

using namespace gif;
using namespace gif_test;

namespace {

template <typename F>
std::string MessageOf(F &&f)
{
    try {
        f();
    } catch (const GIFException &e) {
        return e.what();
    }
    return "<no exception>";
}

QBuffer *Reader(QByteArray &a)
{
    auto *b = new QBuffer(&a);
    b->open(QIODevice::ReadOnly);
    return b;
}

} // namespace

TEST(GIFUtils, BitArithmeticAndWebPalette)
{
    const std::pair<int, int> bits[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {17, 5}, {256, 8}};
    for (auto [colors, b] : bits)
        EXPECT_EQ(BitsForColors(colors), b) << colors;
    EXPECT_EQ(RowBytes(3, 24, 32), 12);
    EXPECT_EQ(RowBytes(5, 8, 32), 8);
    const auto web = WebPalette();
    ASSERT_EQ(web.size(), 216u);
    EXPECT_EQ(web[215], qRgb(255, 255, 255));
    EXPECT_EQ(web[1], qRgb(0, 0, 51));
    // The nearest web colour; white is the last entry, inside the palette.
    EXPECT_EQ(WebPaletteIndex(255, 255, 255), 215);
    EXPECT_EQ(WebPaletteIndex(0, 0, 0), 0);
    EXPECT_EQ(WebPaletteIndex(30, 0, 60), 36 + 1);
}

TEST(GIFUtils, SubBlockStrings)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    WriteSubBlockStrings(out, {std::string(300, 'x'), "", "ab"});
    const QByteArray a = out.data();
    ASSERT_EQ(a.size(), 1 + 255 + 1 + 45 + 1 + 2 + 1);
    EXPECT_EQ(uchar(a[0]), 255);
    EXPECT_EQ(uchar(a[256]), 45);
    EXPECT_EQ(a.back(), '\0');
    QByteArray in = a;
    std::unique_ptr<QBuffer> r(Reader(in));
    std::vector<std::string> lines;
    ReadSubBlockStrings(*r, lines);
    EXPECT_EQ(lines, (std::vector<std::string>{std::string(255, 'x'), std::string(45, 'x'), "ab"}));
    // A zero byte cuts its line; the end of the stream ends the list.
    QByteArray cut = Bytes({3, 'a', 0, 'b', 1, 'c'});
    r.reset(Reader(cut));
    ReadSubBlockStrings(*r, lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "c"}));
}

TEST(GIFColorMap, Operations)
{
    TGIFImage image;
    auto &map = image.Header().ColorMap();
    std::vector<std::string> warnings;
    image.OnWarning = [&](const void *, int, const std::string &m) { warnings.push_back(m); };
    EXPECT_EQ(MessageOf([&] { map.Colors(0); }), "Color table is empty");
    EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});
    map.Add(RGBColor(1, 2, 3));
    map.Add(RGBColor(9, 9, 9));
    map.Add(RGBColor(1, 2, 3));
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
    // Imported palettes never hold more than 256 colours.
    std::vector<QRgb> big(300, qRgb(5, 5, 5));
    map.ImportPalette(big);
    EXPECT_EQ(map.Count(), 256);
    // Five colours are written as eight entries.
    map.Clear();
    for (int i = 0; i < 5; ++i)
        map.Add(RGBColor(i + 1, i + 1, i + 1));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    map.SaveToStream(out);
    EXPECT_EQ(out.data().size(), 24);
    EXPECT_EQ(out.data().right(9), QByteArray(9, '\0'));
}

TEST(GIFColorMap, OptimizeSortsByUseAndKeepsOutOfRangePixels)
{
    PlainEncoder enc;
    // Frame pixels 1,1,1,0 plus 3, which lies beyond the two-colour table.
    auto r = Load(Header(5, 1) + Frame(5, 1, 1) + Bytes({0x3B}));
    ASSERT_EQ(r.Error, "");
    auto *f = r.Image->SubImage(0);
    f->Data()[3] = 0;
    f->Data()[4] = 3;
    auto &map = r.Image->Header().ColorMap();
    EXPECT_TRUE(map.Optimize());
    EXPECT_TRUE(map.Optimized());
    EXPECT_EQ(map.Colors(0), RGBColor(255, 255, 255));
    const std::vector<std::uint8_t> px(f->Data(), f->Data() + 5);
    EXPECT_EQ(px, (std::vector<std::uint8_t>{0, 0, 0, 1, 3}));
    // Already in order of use, some unused: nothing changes.
    map.Add(RGBColor(7, 7, 7));
    map.SetOptimized(false);
    EXPECT_TRUE(map.Optimize());
    EXPECT_EQ(map.Count(), 3);
}

TEST(GIFHeader, SignatureAndGlobalTable)
{
    struct Case {
        QByteArray bytes;
        std::string error;
        int colors;
    } cases[] = {
        {Bytes({'g', 'i', 'f', '9', '9', 'z', 1, 0, 1, 0, 0x80, 0, 0, 1, 2, 3, 4, 5, 6}), "", 2},
        {Bytes({1, 2, 3, 4, 'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0, 0, 0}), "", 0},
        {Bytes({'G', 'I', 'X', '8', '7', 'a', 1, 0, 1, 0, 0, 0, 0, 0, 0}), "Invalid GIF signature", 0},
        {Bytes({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x87, 0, 0, 1, 2}), "Premature end of data", 0},
    };
    for (auto &c : cases) {
        TGIFImage image;
        TGIFHeader &h = image.Header();
        std::unique_ptr<QBuffer> r(Reader(c.bytes));
        EXPECT_EQ(MessageOf([&] { h.LoadFromStream(*r); }).substr(0, c.error.empty() ? 14 : 100),
                  c.error.empty() ? "<no exception>" : c.error);
        if (c.error.empty()) {
            EXPECT_EQ(h.Width, 1);
            EXPECT_EQ(h.ColorMap().Count(), c.colors);
        }
    }
    QByteArray full = Bytes({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x87, 0, 0});
    full.append(QByteArray(768, 'c'));
    TGIFImage image;
    std::unique_ptr<QBuffer> r(Reader(full));
    image.Header().LoadFromStream(*r);
    EXPECT_EQ(image.Header().ColorMap().Count(), 256);
}

TEST(GIFHeader, WrittenVersion)
{
    PlainEncoder enc;
    TGIFImage image;
    EXPECT_EQ(MessageOf([&] { Save(image); }), "Unsupported GIF version");
    auto r = Load(Header(2, 2, "87a") + Frame(2, 2) + Bytes({0x3B}));
    ASSERT_EQ(r.Error, "");
    EXPECT_EQ(Save(*r.Image).left(6), "GIF87a");
    // The aspect ratio is reserved in 87a: its file is 89a.
    r.Image->Header().AspectRatio = 49;
    EXPECT_EQ(Save(*r.Image).left(6), "GIF89a");
    r.Image->Header().AspectRatio = 0;
    r.Image->Header().ColorMap().SetOptimized(true);
    const QByteArray sorted = Save(*r.Image);
    EXPECT_EQ(sorted.left(6), "GIF89a");
    EXPECT_EQ(uchar(sorted[10]), 0x80 | 0x08); // table flag, sort flag, 2 colours
}

TEST(GIFImageList, BlockSequence)
{
    const QByteArray frame = Frame(2, 2);
    struct Case {
        QByteArray tail;
        int frames;
        std::vector<std::string> warnings;
    } cases[] = {
        {frame + Bytes({0, 0}) + frame + Bytes({0, 0x3B}), 2, {}},
        {frame, 1, {}},                                      // no trailer
        {frame + Bytes({0x99}) + frame, 1, {"Unknown GIF block type", "Invalid Image trailer"}},
        // After extensions only an image separator starts an image.
        {Bytes({0x21, 0xFE, 1, 'c', 0, 0x77}) + frame, 1, {"Invalid extension introducer", "Unknown GIF block type", "Invalid Image trailer"}},
    };
    for (auto &c : cases) {
        auto r = Load(Header() + c.tail);
        EXPECT_EQ(r.Error, "");
        EXPECT_EQ(r.Image->Count(), c.frames);
        EXPECT_EQ(r.Warnings, c.warnings);
    }
}

TEST(GIFExtensions, ReadAndWrittenBack)
{
    const QByteArray loop = Bytes({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
    const QByteArray unknown = Bytes({0x21, 0xFF, 11, 'X', 'M', 'P', ' ', 'D', 'a', 't', 'a', 'X', 'M', 'P', 2, 7, 8, 1, 9, 0});
    const QByteArray gce1 = Bytes({0x21, 0xF9, 4, 0x09, 10, 0, 1, 0});
    const QByteArray gce2 = Bytes({0x21, 0xF9, 4, 0x00, 20, 0, 0, 0});
    const QByteArray text = Bytes({0x21, 0x01, 12, 1, 0, 2, 0, 3, 0, 4, 0, 5, 6, 7, 8, 2, 'h', 'i', 0});
    const QByteArray anim = Bytes({0x21, 0xFF, 11, 'A', 'N', 'I', 'M', 'E', 'X', 'T', 'S', '1', '.', '0', 3, 1, 5, 0, 5, 2, 1, 2, 3, 4, 0});
    const QByteArray all = loop + unknown + gce1 + gce2 + text + anim;
    auto r = Load(Header() + all + Frame(2, 2) + Bytes({0x3B}));
    ASSERT_EQ(r.Error, "");
    auto *f = r.Image->SubImage(0);
    ASSERT_EQ(f->Extensions().Count(), 6);
    QByteArray written;
    for (int i = 0; i < 6; ++i)
        written += SaveItem(*f->Extensions().Extensions(i));
    EXPECT_EQ(written, all);
    // The first graphic control extension is the frame's.
    ASSERT_EQ(f->GraphicControlExtension(), f->Extensions().Extensions(2));
    EXPECT_TRUE(f->Transparent());
    EXPECT_EQ(f->GraphicControlExtension()->Disposal(), 2);
    EXPECT_EQ(static_cast<TGIFAppExtNSLoop *>(f->Extensions().Extensions(5))->BufferSize, 0x04030201u);
    EXPECT_EQ(f->GetVersion(), gv89a);
    f->GraphicControlExtension()->SetTransparent(false);
    EXPECT_FALSE(f->Transparent());
    f->Extensions().Delete(2);
    EXPECT_EQ(f->GraphicControlExtension(), nullptr);
    EXPECT_FALSE(f->Transparent());
    EXPECT_EQ(f->TransparentColorIndex(), 0);
}

TEST(GIFExtensions, ApplicationBlockSizesAndNewLoop)
{
    // Size 10 reads a 10-byte identifier and is written with size 11; a
    // size above 11 is kept as raw blocks after its first 11 bytes.
    auto r = Load(Header() + Bytes({0x21, 0xFF, 10, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 1, 5, 0}) +
                  Bytes({0x21, 0xFF, 13, 'L', 'O', 'N', 'G', 'E', 'R', 'B', 'L', 'O', 'C', 'K', 'x', 'y', 1, 6, 0}) +
                  Frame(2, 2));
    ASSERT_EQ(r.Error, "");
    auto &ext = r.Image->SubImage(0)->Extensions();
    EXPECT_EQ(SaveItem(*ext.Extensions(0)), Bytes({0x21, 0xFF, 11, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 0, 1, 5, 0}));
    EXPECT_EQ(SaveItem(*ext.Extensions(1)), Bytes({0x21, 0xFF, 11, 'L', 'O', 'N', 'G', 'E', 'R', 'B', 'L', 'O', 'C', 'K', 1, 6, 0}));
    TGIFAppExtNSLoop loop(nullptr);
    EXPECT_EQ(SaveItem(loop), Bytes({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0}));
    TGIFGraphicControlExtension gce(nullptr);
    gce.SetDisposal(2);
    EXPECT_EQ(gce.PackedFields, 0x08);
    EXPECT_EQ(gce.Disposal(), 2);
}

TEST(GIFExtensions, HostileBlocks)
{
    struct Case {
        QByteArray tail;
        std::string error;
        std::vector<std::string> warnings;
    } cases[] = {
        {Bytes({0x21, 0x02, 0}), "Unknown extension type", {}},
        {Bytes({0x21, 0xFF, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}), "Unsupported Application Extension block size", {}},
        {Bytes({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 2, 1, 0}), "Invalid GIF data", {}},
        // The stream ends inside the looping extension's sub-blocks.
        {Bytes({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 200, 3}), "", {}},
        {Bytes({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1}), "Premature end of data", {}},
        {Bytes({0x21, 0xF9, 4, 1}), "", {"Premature end of data"}},
        {Bytes({0x21, 0xFE, 200, 'a'}), "Premature end of data", {}},
        {Bytes({0x21, 0x01, 12, 1}), "Premature end of data", {}},
    };
    for (auto &c : cases) {
        auto r = Load(Header() + c.tail);
        EXPECT_EQ(r.Error, c.error) << c.tail.toHex().toStdString();
        EXPECT_EQ(r.Warnings, c.warnings) << c.tail.toHex().toStdString();
    }
}

TEST(GIFExtensions, CommentLines)
{
    PlainEncoder enc;
    auto r = Load(Header() + Frame(2, 2) + Bytes({0x3B}));
    ASSERT_EQ(r.Error, "");
    auto c = std::make_unique<TGIFCommentExtension>(r.Image->SubImage(0));
    c->Comment = {"one", "two", std::string(300, 'z')};
    r.Image->SubImage(0)->Extensions().Add(std::move(c));
    auto back = Load(Save(*r.Image));
    ASSERT_EQ(back.Error, "");
    auto *read = dynamic_cast<TGIFCommentExtension *>(back.Image->SubImage(0)->Extensions().Extensions(0));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->Comment, (std::vector<std::string>{"one", "two", std::string(255, 'z'), std::string(45, 'z')}));
}
