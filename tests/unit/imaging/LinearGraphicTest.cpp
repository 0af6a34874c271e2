#include "TestHelpers.h"
#include "TestUtil.h"
#include "imaging/LinearGraphic.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QMimeData>
#include <QPainter>

using namespace imaging;
using B = itest::Bytes;
using itest::PixelsOf;

namespace {

// Stores width, height and 24-bit pixels raw; registered under "LGT".
class RawLoader : public TBitmapLoader {
public:
    void GetLoadFilter(std::string &f) override { f = "Raw test (*.lgt)|*.lgt"; }
    void LoadFromStream(TBaseStream &s, const std::string &, TLinearBitmap &b) override
    {
        std::int32_t wh[2];
        s.Read(wh, 8);
        b.New(wh[0], wh[1], pf24bit);
        s.Read(b.Map.get(), b.Size);
    }
    void SaveToStream(TBaseStream &s, const std::string &, const TLinearBitmap &b) override
    {
        const std::int32_t wh[2] = {b.Width, b.Height};
        s.Write(wh, 8);
        s.Write(b.Map.get(), b.Size);
    }
};

// A picture that is not a linear graphic and cannot give an image itself.
class DrawOnly : public platform::TGraphic {
public:
    void AssignTo(QImage &) const override { throw platform::EInvalidGraphic("no image"); }
    void Draw(QPainter &c, const QRect &r) const override { c.fillRect(r, QColor(0, 200, 0)); }
    bool Empty() const override { return false; }
    int Width() const override { return 3; }
    int Height() const override { return 2; }
    void SetWidth(int) override {}
    void SetHeight(int) override {}
    void LoadFromStream(QIODevice &) override {}
    void SaveToStream(QIODevice &) const override {}
};

// BMP data of one row of two pixels, (10, 20, 30) and black; indexed depths carry a palette of those two colours.
QByteArray TwoPixelBmp(int bits)
{
    const int colours = bits <= 8 ? 2 : 0, offset = 14 + 40 + 4 * colours;
    itest::Bytes b(static_cast<std::size_t>(offset + (2 * bits + 31) / 32 * 4));
    for (const auto &[at, v, n] : {std::tuple{0, int('B' | 'M' << 8), 2}, {2, int(b.size()), 4}, {10, offset, 4}, {14, 40, 4},
                                   {18, 2, 4}, {22, 1, 4}, {26, 1, 2}, {28, bits, 2}, {46, colours, 4}, {58, colours ? 0x0A141E : 0, 4},
                                   {offset, bits == 1 ? 0x80 : bits == 4 ? 0x10 : bits == 8 ? 1 : 0x0A141E, bits <= 8 ? 1 : 3}})
        itest::PutLE(b, static_cast<std::size_t>(at), static_cast<std::uint32_t>(v), n);
    return QByteArray(reinterpret_cast<const char *>(b.data()), static_cast<qsizetype>(b.size()));
}

} // namespace

TEST(LinearGraphic, FileLoadUnsmoothedStretchAndPictureTable)
{
    RawLoader raw;
    AddLoader(&raw);
    testutil::TempDir dir;
    TLinearBitmap b;
    b.New(2, 1, pf24bit);
    b.Fill(0x0000FF);
    b.Map[3] = 255; // right pixel: blue + red
    b.SaveToFile(dir.File("x.LGT"));
    TLinearGraphic g;
    g.LoadFromFile(dir.File("x.LGT"));
    QImage canvas(4, 2, QImage::Format_RGB32);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        g.Draw(painter, canvas.rect());
    }
    for (int x = 0; x < 4; ++x) // twice the size, no blending between the two colours
        EXPECT_EQ(canvas.pixel(x, x % 2), x < 2 ? qRgb(255, 0, 0) : qRgb(255, 0, 255)) << x;
    platform::RegisterFileFormat<TLinearGraphic>("LGT", "LGT"); // as a plug-in extension is registered
    platform::TPicture picture;
    picture.LoadFromFile(dir.File("x.LGT"));
    EXPECT_STREQ(picture.Graphic->ClassName(), "TLinearGraphic");
    EXPECT_EQ(picture.Width(), 2);
    g.SaveToFile(dir.File("y.lgt"));
    EXPECT_EQ(testutil::ReadFile(dir.File("y.lgt")), testutil::ReadFile(dir.File("x.LGT")));
    platform::UnregisterGraphicClass("TLinearGraphic");
    BitmapLoaders.Remove(&raw);
}

// Any other picture arrives as its pixels, drawn when it cannot give them.
TEST(LinearGraphic, AssignDrawsOtherPictures)
{
    TLinearGraphic c;
    DrawOnly other;
    c.Assign(other);
    EXPECT_EQ(c.Image.PixelFormat, pf24bit);
    EXPECT_EQ(c.Width(), 3);
    EXPECT_EQ(c.Image.Map[1], 200);
}

TEST(LinearGraphic, StreamsAndClipboardHoldBitmapData)
{
    TLinearGraphic g, back;
    g.Image.New(5, 3, pf24bit);
    for (int i = 0; i < g.Image.Size; ++i)
        g.Image.Map[i] = static_cast<std::uint8_t>(i * 13);
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    g.SaveToStream(buffer);
    EXPECT_EQ(buffer.data().left(2), QByteArray("BM"));
    buffer.seek(0);
    back.LoadFromStream(buffer);
    EXPECT_EQ(back.Image.PixelFormat, pf24bit); // 24-bit data stays 24-bit
    EXPECT_EQ(PixelsOf(back.Image), PixelsOf(g.Image));
    // The data's own depth decides: 8 and 32 bits stay, the others arrive as 24-bit.
    for (const auto &[bits, want] : {std::pair{1, pf24bit}, {4, pf24bit}, {8, pf8bit}, {24, pf24bit}, {32, pf32bit}}) {
        QBuffer bmp;
        bmp.setData(TwoPixelBmp(bits));
        bmp.open(QIODevice::ReadOnly);
        TLinearGraphic loaded;
        loaded.LoadFromStream(bmp);
        EXPECT_EQ(loaded.Image.PixelFormat, want) << bits;
        ASSERT_EQ(loaded.Width(), 2);
        QImage shown;
        loaded.AssignTo(shown);
        EXPECT_EQ(QColor(shown.pixel(0, 0)), QColor(10, 20, 30)) << bits;
        EXPECT_EQ(QColor(shown.pixel(1, 0)), QColor(0, 0, 0)) << bits;
    }
    QBuffer junk;
    junk.setData("BM not really a bitmap");
    junk.open(QIODevice::ReadOnly);
    EXPECT_THROW(back.LoadFromStream(junk), platform::EInvalidGraphic);
    QMimeData mime;
    g.SaveToClipboardFormat(mime);
    back.LoadFromClipboardFormat(mime);
    EXPECT_EQ(PixelsOf(back.Image), PixelsOf(g.Image));
    QImage argb(3, 2, QImage::Format_ARGB32); // whatever the clipboard holds, the bitmap is 24-bit for every saver
    argb.fill(qRgba(10, 20, 30, 255));
    mime.setImageData(argb);
    back.LoadFromClipboardFormat(mime);
    ASSERT_EQ(back.Image.PixelFormat, pf24bit);
    EXPECT_EQ(B(back.Image.Map.get(), back.Image.Map.get() + 3), (B{30, 20, 10}));
}

TEST(LinearGraphic, BitmapFromAPictureIsEightOrTwentyFourBit)
{
    auto graphic = std::make_unique<TLinearGraphic>();
    graphic->Image.New(2, 1, pf32bit);
    std::memcpy(graphic->Image.Map.get(), "\1\2\3\0\4\5\6\0", 8);
    TLinearBitmap b;
    b.Assign(graphic->Image);
    EXPECT_EQ(b.PixelFormat, pf32bit); // a 32-bit bitmap stays 32-bit
    platform::TPicture picture;
    picture.Graphic = std::move(graphic);
    b.Assign(picture); // the same pixels in a picture arrive as 24-bit
    EXPECT_EQ(PixelsOf(b), (B{1, 2, 3, 4, 5, 6}));
    auto indexed = std::make_unique<TLinearGraphic>();
    indexed->Image.New(3, 1, pf8bit);
    indexed->Image.FillBytes(7);
    indexed->Image.Palette[21] = 99;
    picture.Graphic = std::move(indexed);
    b.Assign(picture);
    ASSERT_EQ(b.PixelFormat, pf8bit);
    EXPECT_EQ(b.Map[2] * 100 + b.Palette[21], 799);
    picture.Graphic = std::make_unique<DrawOnly>(); // no drawing fallback for a picture
    EXPECT_THROW(b.Assign(picture), platform::EInvalidGraphic);
    EXPECT_EQ(b.PixelFormat, pf8bit);
    picture.Graphic.reset();
    b.Assign(picture);
    EXPECT_FALSE(b.Present);
}
