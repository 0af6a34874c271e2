// The GIF library on hand-made streams: what the suite test and the interop
// round trips do not reach (odd and hostile blocks, decoder faults, bounds,
// masks, conversions and the clipboard).
#include "GIFTestUtil.h"
#include "gif/GIFPainter.h"
#include <QMimeData>
#include <QPainter>
#include <gtest/gtest.h>

using namespace gif;
using namespace gif_test;

namespace {
QByteArray App(const char *id, std::initializer_list<int> blocks) { return "\x21\xFF\x0B" + QByteArray(id, 11) + Bytes(blocks); }

TGIFSubImage *NewFrame(TGIFImage &image, int l, int t, int w, int h, int delay = -1)
{
    auto *f = image.SubImage(image.Add(std::make_unique<TGIFSubImage>(&image)));
    if (f->SetBounds(l, t, w, h); delay >= 0)
        f->Extensions().Add(std::make_unique<TGIFGraphicControlExtension>(f)), f->GraphicControlExtension()->SetDelay(delay);
    return f;
}
TEST(GIFSubImage, DitheredRenderingSkipsTransparentPixels)
{
    // On a palette display, through the web palette: black, a transparent grey 25 and a grey
    // 20. Dithered, the grey 25 would push its error into the grey 20 and lift it to the next
    // web level (51); skipped, the grey 20 shows black.
    auto r = Load(QByteArray("GIF89a") + Bytes({3, 0, 1, 0, 0x81, 0, 0, 0, 0, 0, 25, 25, 25, 20, 20, 20, 0, 0, 0}) +
                  Bytes({0x21, 0xF9, 4, 1, 0, 0, 1, 0}) + Descriptor(3, 1) + PlainLZW({0, 1, 2}));
    GIFPaletteDevice = true;
    const QImage web = r.Image->SubImage(0)->GetBitmap();
    const bool masked = r.Image->SubImage(0)->HasMask();
    GIFPaletteDevice = false;
    EXPECT_TRUE(web.color(0) == qRgb(0, 0, 0) && web.color(215) == qRgb(255, 255, 255) && masked);
    EXPECT_EQ(std::vector<int>({web.pixelIndex(0, 0), web.pixelIndex(1, 0), web.pixelIndex(2, 0)}), std::vector<int>(3, 0));
}

TEST(GIFSubImage, ScaledFramesRoundToTheNearestPixel)
{
    // A frame at left 1 on a 2-pixel screen, drawn into 3 pixels, covers 1.5 to 3: from 2 on,
    // drawn by the image and by a painter alike.
    auto r = Load(Header(2, 1) + Bytes({0x2C, 1, 0, 0, 0, 1, 0, 1, 0, 0}) + PlainLZW({1}));
    EXPECT_EQ(r.Image->SubImage(0)->ScaleRect({0, 0, 3, 1}), (platform::TRect{2, 0, 3, 1}));
    for (bool painter : {false, true}) {
        QImage canvas(3, 1, QImage::Format_RGB32);
        canvas.fill(qRgb(255, 0, 0));
        if (painter) {
            Paint(*r.Image, {&canvas, nullptr, nullptr}, canvas.rect(), 0);
        } else {
            QPainter p(&canvas);
            r.Image->Draw(p, canvas.rect());
        }
        EXPECT_TRUE(canvas.pixel(1, 0) == qRgb(255, 0, 0) && canvas.pixel(2, 0) == qRgb(255, 255, 255)) << painter;
    }
}

// A frame of colour 0 in a few bytes: a clear code and the end code.
QByteArray Blank(int w, int h, int l = 0, int t = 0)
{
    return Bytes({0x2C, l & 255, l >> 8, t & 255, t >> 8, w & 255, w >> 8, h & 255, h >> 8, 0}) + Data(2, {{3, {4, 5}}});
}

TEST(GIFImage, HostileSizesAreRefusedBeforeTheyAreAllocated)
{
    // A screen of 65535 x 65535 loads (a few bytes claim it), as does a frame far out that grows a
    // 1 x 1 screen to 65100 x 65100; what would take the screen's size is refused.
    for (const QByteArray &file : {Header(65535, 65535) + Blank(1, 1), Header(1, 1) + Blank(100, 100, 65000, 65000)}) {
        PeakMemory memory;
        auto r = Load(file + Bytes({0x3B}));
        ASSERT_EQ(r.Error, "");
        QImage out, canvas(4, 4, QImage::Format_RGB32);
        const QRect screen(0, 0, r.Image->Width(), r.Image->Height());
        EXPECT_EQ(MessageOf([&] { r.Image->AssignTo(out); }), "Image is too large") << screen.width();
        EXPECT_EQ(MessageOf([&] { Paint(*r.Image, {&canvas, nullptr, nullptr}, screen, doClearOnLoop); }), "Image is too large");
        EXPECT_LT(memory.Bytes(), 16 << 20);
    }
    // Ten frames of 16384 x 16384, a hundred of 4096 x 4096, a few bytes each: past 2^28 pixels
    // in all the load is refused, before the frame that would pass it is allocated.
    for (auto [side, frames] : {std::pair(16384, 10), std::pair(4096, 100)}) {
        QByteArray file = Header(side, side);
        for (int i = 0; i < frames; ++i)
            file += Blank(side, side);
        PeakMemory memory;
        EXPECT_EQ(Load(file + Bytes({0x3B})).Error, "Image is too large") << side;
        EXPECT_LT(memory.Bytes(), (std::int64_t(1) << 28) + (32 << 20)) << side;
    }
}

TEST(GIFImage, ALowerPixelLimitHoldsForFramesAndBuffers)
{
    // As a fuzz target lowers it: 100 pixels for a frame, the frames together and a screen buffer.
    struct Restore {
        ~Restore() { GIFMaxPixels = std::int64_t(1) << 28; }
    } restore;
    GIFMaxPixels = 100;
    const QByteArray end = Bytes({0x3B});
    EXPECT_EQ(Load(Header(10, 10) + Blank(10, 11) + end).Error, "Image is too large");
    EXPECT_EQ(Load(Header(10, 10) + Blank(10, 5) + Blank(10, 5) + Blank(1, 1) + end).Error, "Image is too large");
    auto fits = Load(Header(10, 10) + Blank(10, 5) + Blank(10, 5, 0, 5) + end);
    EXPECT_TRUE(fits.Error.empty() && fits.Image->Count() == 2 && !fits.Image->BufferBitmap().isNull());
    auto wide = Load(Header(11, 10) + Blank(10, 10) + end);
    QImage out;
    EXPECT_EQ(MessageOf([&] { wide.Image->AssignTo(out); }), "Image is too large");
}

TEST(GIFImage, ManyFramesAreDroppedInLinearTime)
{
    // 100000 one-pixel frames in 1.5 MB: dropping them costs about half of reading them, at most as
    // much beside programs copying memory; taken from the front one by one, each would move all the
    // others and the drop would cost some 60 times the reading. Fewer frames take too few clock
    // ticks to compare.
    constexpr int kFrames = 100000;
    QByteArray file = Header(1, 1);
    for (int i = 0; i < kFrames; ++i)
        file += Frame(1, 1);
    std::unique_ptr<Load> r;
    const auto load = testutil::UsageOf([&] { r = std::make_unique<Load>(file + Bytes({0x3B})); });
    ASSERT_EQ(r->Image->Count(), kFrames);
    const auto drop = testutil::UsageOf([&] { r.reset(); });
    RecordProperty("drop_per_load", std::to_string(drop.CpuSeconds / load.CpuSeconds));
    EXPECT_LT(drop.CpuSeconds, 8 * load.CpuSeconds);
}

TEST(GIFImage, RenderingNeedsLittleBeyondItsResult)
{
    // A load and a rendering (direct, dithered, or the whole screen with frame 0 one pixel in)
    // peak at most at twice what their result holds.
    constexpr int side = 1024;
    const auto check = [](int left, bool dither, bool screen) {
        PeakMemory memory;
        auto r = Load(Header(side, side) + Blank(side - left, side, left) + Bytes({0x3B}));
        GIFPaletteDevice = dither;
        const QImage &bmp = r.Image->SubImage(0)->GetBitmap();
        QImage out;
        if (screen)
            r.Image->AssignTo(out);
        GIFPaletteDevice = false;
        const std::int64_t result = r.Image->SubImage(0)->DataSize() + bmp.sizeInBytes() + out.sizeInBytes();
        EXPECT_TRUE(result > std::int64_t(side) * side && memory.Bytes() <= 2 * result)
            << memory.Bytes() << " for " << result << ", " << dither << screen;
    };
    check(0, false, false); // once for the code's own pages
    check(0, false, false), check(0, true, false), check(1, false, true);
    // Every frame rendered in turn: the renderings kept stay within 4 Mpixels and one frame.
    QByteArray file = Header(side, side);
    for (int i = 0; i < 16; ++i)
        file += Blank(side, side);
    auto r = Load(file + Bytes({0x3B}));
    PeakMemory memory;
    for (int i = 0; i < r.Image->Count(); ++i)
        ASSERT_EQ(r.Image->SubImage(i)->GetBitmap().width(), side);
    EXPECT_LT(memory.Bytes(), 6 * side * side);
}

TEST(GIFImage, Optimize)
{
    TGIFImage image;
    auto &map = image.Header().ColorMap();
    for (TColor c : {RGBColor(0, 0, 0), RGBColor(255, 0, 0), RGBColor(0, 255, 0)})
        map.Add(c);
    // Frame 0 red; frame 1 red with a black and a green pixel, delay 7; frame 2 transparent, delay 5.
    std::fill_n(NewFrame(image, 0, 0, 3, 3)->Data(), 9, 1);
    auto *f1 = NewFrame(image, 0, 0, 3, 3, 7);
    std::fill_n(f1->Data(), 9, 1);
    f1->Data()[4] = 2, f1->Data()[0] = 0;
    NewFrame(image, 0, 0, 3, 3, 5)->GraphicControlExtension()->SetTransparent(true);
    // Frame 2's transparent index 0 is frame 1's black: frame 1 gets a new index, not borrowing it.
    image.GIFOptimize(0x02 | 0x01, 0);
    ASSERT_EQ(image.Count(), 2);
    auto *m1 = image.SubImage(1);
    EXPECT_TRUE(map.Count() == 4 && m1->TransparentColorIndex() == 3);
    EXPECT_EQ(m1->BoundsRect(), (platform::TRect{0, 0, 2, 2})); // cropped to black and green
    EXPECT_EQ(std::vector<int>(m1->Data(), m1->Data() + 4), (std::vector<int>{0, 3, 3, 2}));
    EXPECT_EQ(m1->GraphicControlExtension()->Delay(), 12); // the dropped frame's delay added
}

} // namespace

TEST(GIFUtils, BitsAndSubBlocks)
{
    EXPECT_EQ(std::pair(BitsForColors(0), BitsForColors(3)), std::pair(0, 2)); // 2 and 256: the header and suite saves
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
    EXPECT_EQ(map.Colors(7), RGBColor(1, 2, 3)); // bad index: entry 0, with a warning
    while (map.Count() < 256)
        map.Add(RGBColor(map.Count(), 0, 0));
    EXPECT_EQ(MessageOf([&] { map.Add(0); }), "Color table overflow");
}

TEST(GIFHeader, SignatureTableAndWrittenVersion)
{
    const struct { QByteArray bytes; std::string error; int colors; } cases[] = {
        {"gif99z" + Bytes({1, 0, 1, 0, 0x80, 0, 0, 1, 2, 3, 4, 5, 6}), "", 2},
        {Bytes({1, 2, 3, 4}) + "GIF87a" + Bytes({1, 0, 1, 0, 0, 0, 0}), "", 0},
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
    // Two graphic controls: the first is the frame's; an application block of size 10 is written
    // with size 11, one above 11 keeps its first 11 bytes (the suite pins ordinary blocks).
    const QByteArray same = Bytes({0x21, 0xF9, 4, 0x09, 10, 0, 1, 0, 0x21, 0xF9, 4, 0x00, 20, 0, 0, 0});
    auto r = Load(Header() + same + Bytes({0x21, 0xFF, 10}) + "ABCDEFGHIJ" + Bytes({1, 5, 0, 0x21, 0xFF, 13}) +
                  "LONGERBLOCKxy" + Bytes({1, 6, 0}) + Frame(2, 2) + Bytes({0x3B}));
    auto *f = r.Image->SubImage(0);
    auto &ext = f->Extensions();
    ASSERT_EQ(ext.Count(), 4);
    QByteArray written;
    for (int i = 0; i < 4; ++i)
        written += Save(*ext.Extensions(i));
    EXPECT_EQ(written, same + App("ABCDEFGHIJ\0", {1, 5, 0}) + App("LONGERBLOCK", {1, 6, 0}));
    ASSERT_EQ(f->GraphicControlExtension(), ext.Extensions(0));
    EXPECT_TRUE(f->Transparent());
    ext.Delete(0);
    EXPECT_TRUE(!f->GraphicControlExtension() && !f->Transparent() && f->TransparentColorIndex() == 0);
}

// Block sequences, hostile extensions: frames read, error, warnings.
TEST(GIFImageList, BlocksAndHostileExtensions)
{
    const QByteArray frame = Frame(2, 2);
    const struct { QByteArray tail; int frames; std::string error; Strings warnings; } cases[] = {
        {frame + Bytes({0, 0}) + frame + Bytes({0, 0x3B}), 2, "", {}},
        {frame + Bytes({0x99}) + frame, 1, "", {"Unknown GIF block type", "Invalid Image trailer"}},
        // After extensions only an image separator starts an image.
        {Bytes({0x21, 0xFE, 1, 'c', 0, 0x77}) + frame, 1, "", {"Invalid extension introducer", "Unknown GIF block type", "Invalid Image trailer"}},
        {Bytes({0x21, 0xFF, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}), 0, "Unsupported Application Extension block size", {}},
        {App("NETSCAPE2.0", {2, 1, 0}), 0, "Invalid GIF data", {}},
        // The stream ends inside the sub-blocks: the extension is kept.
        {App("NETSCAPE2.0", {200, 3}), 1, "", {}},
        {App("NETSCAPE2.0", {3, 1}), 0, "Premature end of data", {}},
        {Bytes({0x21, 0xF9, 4, 1}), 1, "", {"Premature end of data"}},
        {Descriptor(2, 2), 1, "", {}}, // the stream ends after the descriptor
        // 65535 x 65535 in a 40-byte file is refused before any allocation.
        {Descriptor(65535, 65535) + Data(2, {{3, {4, 5}}}), 0, "Image is too large", {}},
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
    EXPECT_TRUE(Save(*r.Image).contains(Bytes({0x21, 0xFE, 3, 'o', 'n', 'e', 255}) + QByteArray(255, 'z') + Bytes({45})));
}

TEST(GIFDecoder, Streams)
{
    const struct { const char *name; int w, h; QByteArray data; std::vector<int> pixels; Strings warnings; std::string error; QByteArray gce = {}; } cases[] = {
        // The last string copied (1 2) is followed by the fill, not by what followed it before.
        {"early end, transparent fill", 5, 5, Data(2, {{3, {4, 1, 2, 0}}, {4, {0, 6, 5}}}),
         {1, 2, 0, 0, 1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3}, {}, "", Bytes({0x21, 0xF9, 4, 1, 0, 0, 3, 0})},
        {"code size 9 reads as 8", 2, 2, Data(9, {{9, {256, 7, 7, 7, 7, 257}}}), {7, 7, 7, 7}, {}, ""},
        {"end right after clear", 2, 2, Data(2, {{3, {4, 1, 4, 5}}}), {1, 0, 0, 0}, {}, ""},
        // Codes past the table: a first code after a clear is a pixel value as it stands; a code
        // beyond the next entry is the previous string plus its first byte, and its table entry,
        // still unset, reads as two zeros.
        {"first code after a clear beyond the end code", 2, 2, Data(2, {{3, {4, 7, 7, 5}}}), {7, 0, 0, 7}, {}, ""},
        {"code beyond the next entry", 3, 2, Data(2, {{3, {4, 2, 7, 7}}}), {2, 2, 2, 0, 0, 2}, {}, ""},
        {"entry its own prefix", 4, 2, Data(2, {{3, {4, 2, 7, 7}}, {4, {7}}}), {}, {}, "Circular decoder table entry"},
        {"two entries each the other's prefix", 4, 4, Data(2, {{3, {4, 7, 6, 6}}, {4, {7}}}), {}, {}, "Circular decoder table entry"},
        {"under-run after terminator", 3, 3, Data(2, {{3, {4, 1, 1, 1}}, {4, {1, 1, 1, 1, 1}}}), {1, 1, 1, 1, 1, 1, 1, 1, 0}, {"Decoder bit buffer under-run"}, ""},
        // More codes than pixels, and more sub-blocks after the end code.
        {"trailing codes and data skipped", 1, 1, Data(2, {{3, {4, 1, 1, 1}}, {4, {1, 1, 1, 5}}}).chopped(1) + Bytes({2, 9, 9, 0}), {1}, {}, ""},
    };
    for (const auto &c : cases) {
        // A second frame follows: the first must leave the stream on it.
        auto r = Load(Header(8, 8) + c.gce + Descriptor(c.w, c.h) + c.data + Frame(1, 1) + Bytes({0x3B}));
        EXPECT_EQ(r.Error, c.error) << c.name;
        EXPECT_EQ(r.Warnings, c.warnings) << c.name;
        if (c.error.empty()) {
            ASSERT_EQ(r.Image->Count(), 2) << c.name;
            const auto *f = r.Image->SubImage(0);
            EXPECT_EQ(std::vector<int>(f->Data(), f->Data() + f->DataSize()), c.pixels) << c.name;
        }
    }
}

TEST(GIFDecoder, TruncatedAndOutsideFrames)
{
    QByteArray cut = Data(2, {{3, {4, 1, 1, 1}}, {4, {1, 5}}});
    cut[1] = char(40); // a sub-block longer than the rest of the stream
    auto r = Load(Header() + Descriptor(2, 2) + cut);
    EXPECT_TRUE(r.Error.empty() && r.Warnings == Strings{"Premature end of data"});
    ASSERT_EQ(r.Image->Count(), 1);
    EXPECT_EQ(r.Image->SubImage(0)->Data()[0], 1);
    // A frame far outside the screen grows it, up to its 16 bits.
    auto outside = Load(Header() + Bytes({0x2C, 0xE8, 0xFD, 0, 0, 0xE8, 0x03, 1, 0, 0}) + Data(2, {{3, {4, 1, 5}}}));
    EXPECT_TRUE(outside.Error.empty() && outside.Image->Width() == 65535 && outside.Image->SubImage(0)->GetBitmap().width() == 1000);
}

TEST(GIFSubImage, BoundsAndTheScreen)
{
    TGIFImage image;
    Strings w;
    image.OnWarning = [&](const void *, int, const std::string &m) { w.push_back(m); };
    NewFrame(image, 0, 0, 100, 10); // an empty screen grows silently
    EXPECT_EQ(w, Strings{});
    auto *f = NewFrame(image, 95, 0, 10, 5);
    EXPECT_EQ(w, (Strings{"Image width too small for contained frames", "Image exceeds Logical Screen size"}));
    EXPECT_EQ(image.Width(), 105);
    f->SetBounds(65530, 0, 100, 5); // the screen stays within its 16 bits
    EXPECT_EQ(image.Width(), 65535);
    EXPECT_EQ(MessageOf([&] { image.SetWidth(50); }), "Image width too small for contained frames");
    EXPECT_EQ(image.Width(), 65535);
    EXPECT_EQ(MessageOf([&] { f->ScanLine(5); }), "Invalid pixel coordinates");
    // Without a screen size, scaling keeps the frame's and tiled drawing ends.
    TGIFImage tiny;
    auto *t = NewFrame(tiny, 0, 0, 2, 2);
    t->ColorMap().Add(RGBColor(1, 2, 3));
    tiny.Header().Width = tiny.Header().Height = 0;
    EXPECT_EQ(t->ScaleRect({0, 0, 10, 10}), (platform::TRect{0, 0, 2, 2}));
    QImage canvas(10, 10, QImage::Format_RGB32);
    QPainter p(&canvas);
    tiny.DrawOptions |= doTile, tiny.Draw(p, QRect(0, 0, 10, 10));
}

TEST(GIFSubImage, RenderingAndMask)
{
    // Pixels 0 1 / 1 2 in a four-colour local table; transparent index 1.
    auto r = Load(Header() + Bytes({0x21, 0xF9, 4, 1, 0, 0, 1, 0}) + Descriptor(2, 2, 0x81) +
                  Bytes({10, 20, 30, 40, 50, 60, 70, 80, 90, 1, 1, 1}) + PlainLZW({0, 1, 1, 2}));
    ASSERT_TRUE(r.Image->SubImage(0)->HasMask()); // drawn, the canvas shows through it
    QImage canvas(2, 2, QImage::Format_RGB32);
    canvas.fill(qRgb(255, 0, 255));
    QPainter p(&canvas);
    r.Image->Draw(p, QRect(0, 0, 2, 2));
    p.end();
    EXPECT_TRUE(canvas.pixel(1, 0) == qRgb(255, 0, 255) && canvas.pixel(0, 0) == qRgb(10, 20, 30) && canvas.pixel(1, 1) == qRgb(70, 80, 90));
}

TEST(GIFSubImage, WriteRulesAndConversions)
{
    PlainEncoder enc;
    // Interlaced with a local table: written non-interlaced; without: kept.
    auto r = Load(Header() + Descriptor(2, 2, 0xC0) + Bytes({1, 1, 1, 2, 2, 2}) + PlainLZW({0, 1, 1, 0}) +
                  Descriptor(2, 2, 0x40) + PlainLZW({0, 1, 1, 1}));
    auto back = Load(Save(*r.Image));
    ASSERT_EQ(back.Image->Count(), 2);
    EXPECT_TRUE(!back.Image->SubImage(0)->Interlaced() && back.Image->SubImage(1)->Interlaced() && back.Image->SubImage(1)->Data()[3] == 1);
    // Bitmap -> GIF -> bitmap for 1-bit (width ending inside a byte) and alpha sources.
    QImage mono(3, 2, QImage::Format_Mono), alpha(2, 1, QImage::Format_ARGB32);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)}), mono.fill(1), mono.setPixel(1, 0, 0);
    alpha.setPixel(0, 0, qRgba(9, 9, 9, 255)), alpha.setPixel(1, 0, qRgba(0, 0, 0, 0));
    for (const QImage &src : {mono, alpha}) {
        TGIFImage gif;
        gif.Assign(src);
        auto again = Load(Save(gif));
        QImage out;
        again.Image->AssignTo(out);
        ASSERT_EQ(out.size(), src.size());
        for (int i = 0; i < src.width() * src.height(); ++i) {
            const QRgb want = src.pixel(i % src.width(), i / src.width());
            EXPECT_TRUE(qAlpha(want) < 255 || (out.pixel(i % src.width(), i / src.width()) | 0xFF000000u) == want)
                << src.format() << " pixel " << i;
        }
        EXPECT_EQ(again.Image->SubImage(0)->Transparent(), src.hasAlphaChannel());
    }
    QImage many(300, 1, QImage::Format_RGB32);
    for (int x = 0; x < 300; ++x)
        many.setPixel(x, 0, qRgb(x % 256, x / 256, 0));
    EXPECT_EQ(MessageOf([&] { TGIFImage().Assign(many); }), "Color table overflow");
}

TEST(GIFImage, ClipboardAndAssign)
{
    PlainEncoder enc;
    auto r = Load(Header() + Bytes({0x21, 0xFE, 1, 'c', 0}) + Frame(2, 2, 1) + Bytes({0x3B}));
    QMimeData data;
    TGIFImage back;
    r.Image->SaveToClipboardFormat(data), back.LoadFromClipboardFormat(data);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.SubImage(0)->Data()[3], 1);
    EXPECT_EQ(MessageOf([&] { back.LoadFromClipboardFormat(QMimeData()); }), "Unsupported clipboard format");
    struct TMetafile : TGIFImage { const char *ClassName() const override { return "TMetafile"; } } meta;
    EXPECT_EQ(MessageOf([&] { r.Image->AssignTo(meta); }), "Metafile output is not supported");
    // A copy takes the frames and extensions, not the handlers.
    r.Image->OnProgress = [](TProgressStage, int, bool, const std::string &) {};
    TGIFImage copy;
    copy.Assign(*r.Image);
    ASSERT_EQ(copy.Count(), 1);
    EXPECT_TRUE(copy.SubImage(0)->Extensions().Count() == 1 && copy.SubImage(0)->Data()[0] == 1);
    EXPECT_FALSE(copy.OnWarning || copy.OnProgress);
    RegisterGIFImage(); // the picture format the program's pictures find GIFs by
    const auto fmt = platform::FindFileFormat(".gif");
    ASSERT_TRUE(fmt.has_value());
    EXPECT_EQ(fmt->Description, "GIF Image");
    EXPECT_STREQ(fmt->Create()->ClassName(), "TGIFImage");
}
