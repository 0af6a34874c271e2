// Frames and the picture class: bounds and the logical screen, rendering and
// masks, drawing, conversions, clipboard, optimisation and load failures.
#include "GIFTestUtil.h"

#include <QMimeData>
#include <QPainter>

#include <gtest/gtest.h>

using namespace gif;
using namespace gif_test;

namespace {

TGIFSubImage *NewFrame(TGIFImage &image, int l, int t, int w, int h, int delay = -1)
{
    auto *f = image.SubImage(image.Add(std::make_unique<TGIFSubImage>(&image)));
    f->SetBounds(l, t, w, h);
    if (delay >= 0) {
        f->Extensions().Add(std::make_unique<TGIFGraphicControlExtension>(f));
        f->GraphicControlExtension()->SetDelay(delay);
    }
    return f;
}

} // namespace

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
    f->SetWidth(7); // only the width changes: the pixels follow
    EXPECT_EQ(f->DataSize(), 35);
    f->SetBounds(65530, 0, 100, 5); // the screen stays within its 16 bits
    EXPECT_EQ(image.Width(), 65535);
    EXPECT_EQ(MessageOf([&] { image.SetWidth(50); }), "Image width too small for contained frames");
    EXPECT_EQ(image.Width(), 65535);
    EXPECT_EQ(MessageOf([&] { f->ScanLine(5); }), "Invalid pixel coordinates");
    EXPECT_EQ(MessageOf([&] { f->Pixels(100, 0); }), "Invalid pixel coordinates");
    // Without a screen size, scaling keeps the frame's and tiled drawing ends.
    TGIFImage tiny;
    auto *t = NewFrame(tiny, 0, 0, 2, 2);
    t->ColorMap().Add(RGBColor(1, 2, 3));
    tiny.Header().Width = tiny.Header().Height = 0;
    EXPECT_EQ(t->ScaleRect({0, 0, 10, 10}), (platform::TRect{0, 0, 2, 2}));
    tiny.DrawOptions |= doTile;
    QImage canvas(10, 10, QImage::Format_RGB32);
    QPainter p(&canvas);
    tiny.Draw(p, QRect(0, 0, 10, 10));
    tiny.Header().Width = tiny.Header().Height = 4;
    EXPECT_EQ(t->ScaleRect({0, 0, 8, 8}), (platform::TRect{0, 0, 4, 4}));
    // A frame of size 0 takes the screen's.
    auto r = Load(Header(3, 2) + Descriptor(0, 0) + PlainLZW(Pixels(6, 1)));
    EXPECT_EQ(r.Warnings, Strings{"Image exceeds Logical Screen size"});
    EXPECT_EQ(r.Image->SubImage(0)->DataSize(), 6);
    // A failed load puts the stream back where it was.
    Reader bad(QByteArray("junk") + Header() + Descriptor(2, 2, 0x80) + Bytes({2, 0, 0}));
    bad.seek(4);
    EXPECT_EQ(MessageOf([&] { TGIFImage().LoadFromStream(bad); }), "Premature end of data");
    EXPECT_EQ(bad.pos(), 4);
}

TEST(GIFSubImage, RenderingAndMask)
{
    // Pixels 0 1 / 1 2 in a four-colour local table; transparent index 1.
    auto r = Load(Header() + Bytes({0x21, 0xF9, 4, 1, 0, 0, 1, 0}) + Descriptor(2, 2, 0x81) +
                  Bytes({10, 20, 30, 40, 50, 60, 70, 80, 90, 1, 1, 1}) + PlainLZW({0, 1, 1, 2}));
    auto *f = r.Image->SubImage(0);
    const QImage &bmp = f->GetBitmap();
    ASSERT_EQ(bmp.format(), QImage::Format_Indexed8);
    EXPECT_EQ(bmp.colorCount(), 256); // padded: any index has a colour
    EXPECT_EQ(bmp.pixel(1, 1), qRgb(70, 80, 90));
    ASSERT_TRUE(f->HasMask());
    EXPECT_TRUE(f->Mask().pixelIndex(1, 0) == 1 && f->Mask().pixelIndex(0, 0) == 0);
    // Drawn transparently, the canvas shows through the masked pixels.
    QImage canvas(2, 2, QImage::Format_RGB32);
    canvas.fill(qRgb(255, 0, 255));
    {
        QPainter p(&canvas);
        r.Image->Draw(p, QRect(0, 0, 2, 2));
    }
    EXPECT_EQ(canvas.pixel(1, 0), qRgb(255, 0, 255));
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(10, 20, 30));
    // A transparent index that no pixel holds gives no mask; nor does a
    // frame without its graphic control extension.
    f->GraphicControlExtension()->FTransparentColorIndex = 3;
    f->FreeMask(), f->FreeBitmap();
    EXPECT_FALSE(f->HasMask());
    f->GraphicControlExtension()->FTransparentColorIndex = 1;
    f->Extensions().Delete(0);
    f->FreeMask(), f->FreeBitmap();
    EXPECT_FALSE(f->HasMask());
}

TEST(GIFSubImage, DitheredRenderingUsesTheWebPalette)
{
    // On a palette display through a reducer to the nearest web colours, the
    // transparent white keeps its place: the palette's last entry.
    auto r = Load(Header(2, 1) + Bytes({0x21, 0xF9, 4, 1, 0, 0, 1, 0}) + Descriptor(2, 1) + PlainLZW({0, 1}));
    GIFPaletteDevice = true;
    SetGIFColorReducer([](const QImage &src, int, int, int) {
        QImage out(src.size(), QImage::Format_Indexed8);
        for (int i = 0; i < src.width() * src.height(); ++i) {
            const QRgb c = src.pixel(i % src.width(), i / src.width());
            out.setPixel(i % src.width(), i / src.width(), uint(WebPaletteIndex(qRed(c), qGreen(c), qBlue(c))));
        }
        return out;
    });
    const QImage web = r.Image->SubImage(0)->GetBitmap();
    const bool masked = r.Image->SubImage(0)->HasMask();
    GIFPaletteDevice = false;
    SetGIFColorReducer(nullptr);
    EXPECT_TRUE(web.color(0) == qRgb(0, 0, 0) && web.color(215) == qRgb(255, 255, 255) && masked);
    EXPECT_EQ(web.pixelIndex(1, 0), 215);
}

TEST(GIFSubImage, WriteRulesAndConversions)
{
    PlainEncoder enc;
    // Interlaced with a local table: written non-interlaced; without: kept.
    auto r = Load(Header() + Descriptor(2, 2, 0xC0) + Bytes({1, 1, 1, 2, 2, 2}) + PlainLZW({0, 1, 1, 0}) +
                  Descriptor(2, 2, 0x40) + PlainLZW({0, 1, 1, 1}));
    auto back = Load(Save(*r.Image));
    ASSERT_EQ(back.Image->Count(), 2);
    EXPECT_FALSE(back.Image->SubImage(0)->Interlaced());
    EXPECT_TRUE(back.Image->SubImage(1)->Interlaced());
    EXPECT_EQ(back.Image->SubImage(1)->Data()[3], 1);
    // Bitmap -> GIF file -> bitmap for 1-bit (a width that ends inside a
    // byte), 8-bit, true-colour and alpha sources.
    QImage mono(3, 2, QImage::Format_Mono), rgb(3, 2, QImage::Format_RGB32), alpha(2, 1, QImage::Format_ARGB32);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(1), mono.setPixel(1, 0, 0);
    rgb.fill(qRgb(1, 2, 3)), rgb.setPixel(2, 1, qRgb(200, 100, 0));
    alpha.setPixel(0, 0, qRgba(9, 9, 9, 255)), alpha.setPixel(1, 0, qRgba(0, 0, 0, 0));
    for (const QImage &src : {mono, mono.convertToFormat(QImage::Format_Indexed8), rgb, alpha}) {
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

TEST(GIFImage, ClipboardAssignAndRegistration)
{
    PlainEncoder enc;
    auto r = Load(Header() + Bytes({0x21, 0xFE, 1, 'c', 0}) + Frame(2, 2, 1) + Bytes({0x3B}));
    QMimeData data, imageOnly;
    r.Image->SaveToClipboardFormat(data);
    ASSERT_TRUE(data.hasFormat("image/gif") && data.hasImage());
    TGIFImage back;
    back.LoadFromClipboardFormat(data);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.SubImage(0)->Data()[3], 1);
    imageOnly.setImageData(qvariant_cast<QImage>(data.imageData()));
    back.LoadFromClipboardFormat(imageOnly);
    QImage out;
    back.AssignTo(out);
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(MessageOf([&] { back.LoadFromClipboardFormat(QMimeData()); }), "Unsupported clipboard format");
    struct TMetafile : TGIFImage {
        const char *ClassName() const override { return "TMetafile"; }
    } meta;
    EXPECT_EQ(MessageOf([&] { r.Image->AssignTo(meta); }), "Metafile output is not supported");
    // A copy takes the frames and extensions, not the handlers.
    r.Image->OnProgress = [](TProgressStage, int, bool, const std::string &) {};
    TGIFImage copy;
    copy.Assign(*r.Image);
    ASSERT_EQ(copy.Count(), 1);
    EXPECT_TRUE(copy.SubImage(0)->Extensions().Count() == 1 && copy.SubImage(0)->Data()[0] == 1);
    EXPECT_FALSE(copy.OnWarning || copy.OnProgress);
    RegisterGIFImage();
    const auto fmt = platform::FindFileFormat(".gif");
    ASSERT_TRUE(fmt.has_value());
    EXPECT_EQ(fmt->Description, "GIF Image");
    EXPECT_STREQ(fmt->Create()->ClassName(), "TGIFImage");
}

TEST(GIFImage, Optimize)
{
    TGIFImage image;
    auto &map = image.Header().ColorMap();
    for (TColor c : {RGBColor(0, 0, 0), RGBColor(255, 0, 0), RGBColor(0, 255, 0)})
        map.Add(c);
    // Frame 0 all red; frame 1 red with a black and a green pixel and a delay
    // of 7; frame 2 wholly transparent with a delay of 5.
    std::fill_n(NewFrame(image, 0, 0, 3, 3)->Data(), 9, 1);
    auto *f1 = NewFrame(image, 0, 0, 3, 3, 7);
    std::fill_n(f1->Data(), 9, 1);
    f1->Data()[4] = 2, f1->Data()[0] = 0;
    NewFrame(image, 0, 0, 3, 3, 5)->GraphicControlExtension()->SetTransparent(true);
    // Index 0 (black) is frame 2's transparent index, but frame 1 paints
    // with it: frame 1 gets a new index rather than borrowing it.
    image.GIFOptimize(0x02 | 0x01, 0);
    ASSERT_EQ(image.Count(), 2);
    auto *m1 = image.SubImage(1);
    EXPECT_TRUE(map.Count() == 4 && m1->TransparentColorIndex() == 3);
    EXPECT_EQ(m1->BoundsRect(), (platform::TRect{0, 0, 2, 2})); // cropped to black and green
    EXPECT_EQ(std::vector<int>(m1->Data(), m1->Data() + 4), (std::vector<int>{0, 3, 3, 2}));
    EXPECT_EQ(m1->GraphicControlExtension()->Delay(), 12); // the dropped frame's delay added
}
