// The picture-control way of showing a GIF: Draw animates an image of
// several frames through a painter of its own and a buffer, directly on an
// image canvas with doDirectDraw, or shows one frame.
#include "gif/GIFPainter.h"
#include "GIFTestUtil.h"
#include "platform/core/SyncQueue.h"
#include "platform/gui/PictureView.h"
#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace gif;
using gif_test::Bytes;
using gif_test::MessageOf;

namespace {
// Global colours: 0 black, 1 white, 2 red, 3 green. Every frame fills the
// W x 1 screen and waits 3 hundredths; an endless loop unless loops < 0.
QByteArray Anim(const std::vector<gif_test::Pixels> &frames, int loops = 0)
{
    const int w = int(frames[0].size());
    QByteArray a = QByteArray("GIF89a") + Bytes({w, 0, 1, 0, 0x81, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 0});
    if (loops >= 0)
        a += Bytes({0x21, 0xFF, 11}) + "NETSCAPE2.0" + Bytes({3, 1, loops, 0, 0});
    for (const auto &f : frames)
        a += Bytes({0x21, 0xF9, 4, 1 << 2, 3, 0, 0, 0, 0x2C, 0, 0, 0, 0, w, 0, 1, 0, 0}) + gif_test::PlainLZW(f);
    return a + Bytes({0x3B});
}

constexpr QRgb kBlue = 0xFF0000FF;
char Letter(QRgb c)
{
    const QRgb colors[] = {0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00};
    return "KWRGB"[std::find(colors, colors + 4, c | 0xFF000000) - colors];
}
std::string Letters(const QImage &img)
{
    std::string s;
    for (int x = 0; x < img.width(); ++x)
        s += Letter(img.pixel(x, 0));
    return s;
}
QImage Canvas(int w)
{
    QImage c(w, 1, QImage::Format_ARGB32_Premultiplied);
    c.fill(kBlue);
    return c;
}
void DrawOn(const TGIFImage &img, QImage &canvas, const QRect &r)
{
    QPainter p(&canvas);
    img.Draw(p, r);
}
// Serves the event loop (and with it the painters' steps) until done().
template <typename P> bool Serve(P done, int ms = 5000)
{
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms); !done() && std::chrono::steady_clock::now() < end;) {
        platform::CheckSynchronize(2);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}
// Each change of the shown picture's first pixel is one letter.
void Note(std::string &seen, char c)
{
    if (seen.empty() || seen.back() != c)
        seen += c;
}

// Notes the frame each repaint of the control stretched onto it.
struct View : platform::TPictureView {
    std::string Shown;
    void paintEvent(QPaintEvent *e) override
    {
        TPictureView::paintEvent(e);
        Note(Shown, Letter(static_cast<const TGIFImage *>(Graphic())->BufferBitmap().pixel(0, 0)));
    }
};
} // namespace

TEST(GIFDraw, APictureControlAnimatesWithTheDefaultOptions)
{
    auto view = std::make_unique<View>();
    gif_test::Load g(Anim({{2, 2}, {1, 1}}));
    TGIFImage *img = g.Image.get();
    ASSERT_EQ(img->DrawOptions, 0x068F);
    ASSERT_FALSE(img->BufferBitmap().isNull()); // made for a copy: it does not hold the animation still
    view->SetGraphic(std::move(g.Image));
    view->resize(2, 1);
    view->show();
    // Every frame the painter draws into the buffer repaints the control.
    ASSERT_TRUE(Serve([&] { return view->Shown.size() >= 4; })) << view->Shown;
    EXPECT_EQ(view->Shown.substr(0, 4), "RWRW");
    EXPECT_TRUE(img->DrawPainter && img->Painters.size() == 1);
    EXPECT_EQ(view->grab().toImage().pixel(1, 0), img->BufferBitmap().pixel(1, 0));
    // The control goes with its picture: no painter is left behind.
    view.reset();
    EXPECT_TRUE(Serve([] { return ReapGIFPainters(), LiveGIFPainters() == 0; }));
}

TEST(GIFDraw, StillPicturesAreDrawnInTheCall)
{
    // Frames, options taken away, ForceFrame, canvas.
    const std::tuple<std::vector<gif_test::Pixels>, int, int, std::string> cases[] = {
        {{{2, 3}}, 0, -1, "RG"},                   // one frame: never a painter
        {{{2, 3}, {1, 1}}, doAnimate, 1, "WW"},    // not animated: the forced frame
        {{{2, 3}, {1, 1}}, doAnimate, 2, "RG"},    // out of range: frame 0
    };
    for (const auto &[frames, off, force, want] : cases) {
        gif_test::Load g(Anim(frames));
        g.Image->DrawOptions &= std::uint16_t(~off);
        g.Image->ForceFrame = force;
        QImage c = Canvas(2);
        DrawOn(*g.Image, c, c.rect());
        EXPECT_EQ(Letters(c), want) << force;
        EXPECT_TRUE(!g.Image->DrawPainter && g.Image->Painters.empty());
    }
}

TEST(GIFDraw, BufferIsStretchedOrTiledOntoTheRectangleOnly)
{
    const std::tuple<int, QRect, std::string> cases[] = {
        {0, QRect(0, 0, 4, 1), "RRWWBB"},
        {doTile, QRect(1, 0, 5, 1), "BRWRWR"}, // tiles start at the rectangle's corner
    };
    for (const auto &[tile, rect, want] : cases) {
        gif_test::Load g(Anim({{2, 1}, {3, 3}}));
        g.Image->DrawOptions |= std::uint16_t(tile);
        QImage c = Canvas(6);
        DrawOn(*g.Image, c, rect); // waits for the first frame
        EXPECT_EQ(Letters(c), want);
    }
}

TEST(GIFDraw, DirectDrawPaintsOnTheCanvasAndMovesWithIt)
{
    gif_test::Load g(Anim({{2, 2}, {1, 1}}));
    TGIFImage &img = *g.Image;
    img.DrawOptions |= doDirectDraw;
    QImage a = Canvas(4), b = Canvas(2);
    DrawOn(img, a, QRect(1, 0, 2, 1));
    EXPECT_EQ(Letters(a), "BBBB"); // no waiting: the painter draws in its own steps
    std::string seen;
    ASSERT_TRUE(Serve([&] { return Note(seen, Letter(a.pixel(1, 0))), seen.size() >= 4; })) << seen;
    EXPECT_EQ(seen, "BRWR");
    EXPECT_EQ(a.pixel(0, 0) & a.pixel(3, 0), kBlue);
    // Again on the same canvas and rectangle: the painter goes on.
    DrawOn(img, a, QRect(1, 0, 2, 1));
    EXPECT_TRUE(img.DrawPainter && img.Painters.size() == 1);
    // Elsewhere: the first painter is stopped and waited for.
    DrawOn(img, b, b.rect());
    const QImage before = a;
    seen.clear();
    ASSERT_TRUE(Serve([&] { return Note(seen, Letter(b.pixel(0, 0))), seen.size() >= 3; })) << seen;
    EXPECT_TRUE(a == before && img.Painters.size() == 1);
    // Without a thread the whole animation runs in the call, through the caller's open painter.
    gif_test::Load s(Anim({{2, 2}, {1, 3}}, -1));
    s.Image->DrawOptions = std::uint16_t((s.Image->DrawOptions | doDirectDraw) & ~doThreaded);
    DrawOn(*s.Image, b = Canvas(4), QRect(1, 0, 2, 1));
    EXPECT_EQ(Letters(b), "BWGB");
}

TEST(GIFDraw, GetPalettePrefersTheDrawBuffer)
{
    // A global table, and a frame 0 with a local table of its own over the screen.
    QByteArray bytes = Anim({{0, 1}}, -1);
    bytes[42] = char(0x80);
    bytes.insert(43, Bytes({10, 20, 30, 40, 50, 60}));
    gif_test::Load g(bytes);
    TGIFImage &img = *g.Image;
    ASSERT_EQ(g.Error, "");
    int changes = 0;
    img.OnChange = [&] { ++changes; };
    const std::vector<QRgb> global = img.GetPalette();
    ASSERT_EQ(global.at(2), 0xFFFF0000);
    ASSERT_FALSE(img.BufferBitmap().isNull());
    const std::vector<QRgb> local = img.GetPalette();
    EXPECT_EQ(local.at(1), qRgb(40, 50, 60));
    img.SetPalette(local); // the buffer's own: it stays
    EXPECT_TRUE(changes == 0 && img.GetPalette() == local);
    img.SetPalette(global); // another: the buffer goes
    EXPECT_TRUE(changes == 1 && img.GetPalette() == global);
}

TEST(GIFDraw, FormatLeavesThePictureTableAtShutdown)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("a.gif").toStdString();
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(Anim({{2, 2}})) > 0);
    f.close();
    RegisterGIFImage(), RegisterGIFImage(); // once only
    const auto formats = platform::FileFormats();
    EXPECT_EQ(std::count_if(formats.begin(), formats.end(), [](const auto &ff) { return ff.ClassName == "TGIFImage"; }), 1);
    platform::TPictureView view;
    view.LoadFromFile(path);
    ASSERT_TRUE(view.Graphic());
    EXPECT_STREQ(view.Graphic()->ClassName(), "TGIFImage");
    UnregisterGIFImage();
    EXPECT_FALSE(platform::FindFileFormat("GIF"));
    EXPECT_EQ(MessageOf([&] { view.LoadFromFile(path); }), "Unknown picture file extension (.gif)");
    EXPECT_TRUE(view.Graphic()); // kept
}
