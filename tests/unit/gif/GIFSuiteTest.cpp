// The GIF suites: every file loads (or fails as expected), shows the expected frames, and
// survives a save and reload, its extension blocks byte for byte.
#include "GIFTestUtil.h"
#include "tests/common/TestUtil.h"
#include <QDir>
#include <QImage>
#include <QSettings>
#include <gtest/gtest.h>
#include <fstream>
#include <map>
#include <set>

using namespace gif;
using namespace gif_test;

namespace {
QByteArray ReadAll(const std::string &path) { return QByteArray::fromStdString(testutil::ReadFile(path)); }

// The frames a viewer shows (images without a delay join the next, unless a looping file has no
// delays), from transparent. `plain`: the last screen over the background colour, no mask or disposal.
std::vector<QImage> Composite(TGIFImage &image, bool everyImage = false, bool plain = false)
{
    std::vector<QImage> shown;
    QImage canvas(image.Width(), image.Height(), QImage::Format_ARGB32), saved;
    const TColor bg = image.Header().ColorMap().Count() ? image.Header().BackgroundColor() : 0;
    canvas.fill(plain ? qRgb(ColorRed(bg), ColorGreen(bg), ColorBlue(bg)) : 0);
    bool delays = false, loops = false;
    for (int i = 0; i < image.Count(); ++i) {
        if (auto *g = image.SubImage(i)->GraphicControlExtension())
            delays = delays || g->Delay() > 0;
        for (int j = 0; j < image.SubImage(i)->Extensions().Count(); ++j)
            loops = loops || dynamic_cast<TGIFAppExtNSLoop *>(image.SubImage(i)->Extensions().Extensions(j));
    }
    const auto put = [&](int x, int y, QRgb c) { canvas.rect().contains(x, y) ? canvas.setPixel(x, y, c) : void(); };
    int lastDisposal = 0;
    QRect last;
    for (int i = 0; i < image.Count(); ++i) {
        auto *f = image.SubImage(i);
        if (f->Empty())
            continue;
        for (int y = last.top(); lastDisposal == dmBackground && y <= last.bottom(); ++y)
            for (int x = last.left(); x <= last.right(); ++x)
                put(x, y, 0);
        if (lastDisposal == dmPrevious && !saved.isNull())
            canvas = saved;
        auto *gce = plain ? nullptr : f->GraphicControlExtension();
        lastDisposal = gce ? gce->Disposal() : 0;
        saved = lastDisposal == dmPrevious ? canvas.copy() : QImage();
        const QImage &bmp = f->GetBitmap(), &mask = f->Mask();
        const bool masked = !plain && f->HasMask();
        for (int y = 0; y < f->Height(); ++y)
            for (int x = 0; x < f->Width(); ++x)
                if (!(masked && (mask.constScanLine(y)[x >> 3] & (0x80 >> (x & 7)))))
                    put(f->Left() + x, f->Top() + y, bmp.color(bmp.constScanLine(y)[x]) | 0xFF000000u);
        last = QRect(f->Left(), f->Top(), f->Width(), f->Height());
        if (everyImage || (loops && !delays) || (gce && gce->Delay() > 0) || i == image.Count() - 1)
            shown.push_back(canvas.copy());
    }
    return plain ? std::vector<QImage>{canvas} : shown;
}

// Equal where the expected pixel is opaque; transparent where it is.
std::string Compare(const QImage &got, const QImage &expected)
{
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < e.height(); ++y)
        for (int x = 0; x < e.width(); ++x) {
            const QRgb a = got.valid(x, y) ? got.pixel(x, y) : 0x01000000u, b = e.pixel(x, y); // outside: fails
            if (qAlpha(b) == 0 ? qAlpha(a) != 0 : a != (b | 0xFF000000u))
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
        }
    return "";
}

QImage Raw(const std::string &path, int w, int h, QImage::Format format, int depth)
{
    const QByteArray raw = ReadAll(path);
    if (raw.size() != qsizetype(w) * h * depth)
        throw std::runtime_error("raw pixels of a wrong size");
    return QImage(reinterpret_cast<const uchar *>(raw.constData()), w, h, w * depth, format).copy();
}

// Every extension of the image, as it writes them.
std::vector<QByteArray> Extensions(TGIFImage &image)
{
    std::vector<QByteArray> all;
    for (int i = 0; i < image.Count(); ++i)
        for (int j = 0; j < image.SubImage(i)->Extensions().Count(); ++j)
            all.push_back(Save(*image.SubImage(i)->Extensions().Extensions(j)));
    return all;
}

// Each extension is written back as the file holds it (nul-comment's and loop-buffer's odd
// blocks in normal form); saved and loaded again, every image shows the same, same extensions.
void CheckRoundTrip(TGIFImage &image, const QByteArray &file, const std::string &name)
{
    for (const QByteArray &b : Extensions(image))
        EXPECT_TRUE(file.contains(b) || name == "nul-comment" || name == "loop-buffer")
            << name << ": " << b.left(16).toHex().toStdString();
    if (image.Count() == 0)
        return; // nothing to write: "Unsupported GIF version"
    PlainEncoder enc;
    auto back = Load(Save(image));
    ASSERT_EQ(back.Error, "") << name;
    EXPECT_TRUE(Composite(*back.Image, true) == Composite(image, true)) << name;
    EXPECT_TRUE(Extensions(*back.Image) == Extensions(image)) << name;
}
} // namespace

// Where this library differs from the suite on purpose, the reason is given.
TEST(GIFSuites, Ancell)
{
    const std::string list = testutil::TestData("suites/gif/ancell/TESTS"), base = list.substr(0, list.size() - 5);
    // image-zero-*: a local table flag and no table.
    const std::map<std::string, std::string> errors = {
        {"unknown-extension", "Unknown extension type"},
        {"image-zero-height", "Premature end of data"}, {"image-zero-size", "Premature end of data"}};
    // No image: no frame (the suite: an empty screen); width 0: the screen's size in colour 0;
    // max-codes: code size 11 is read as 8. Codes past the table (invalid-code, overflow-codes)
    // load, where the suite expects no frame.
    const std::set<std::string> differs = {"no-data", "image-zero-width", "max-codes"};
    std::ifstream names(list);
    int checked = 0;
    for (std::string name; std::getline(names, name) && !name.empty();) {
        const QSettings ini(QString::fromStdString(base + name + ".conf"), QSettings::IniFormat);
        const auto get = [&](const QString &key) { return ini.value(key).toString().toStdString(); };
        const QByteArray file = ReadAll(base + get("config/input"));
        auto r = Load(file);
        const auto err = errors.find(name);
        EXPECT_EQ(r.Error, err == errors.end() ? "" : err->second) << name;
        if (!r.Error.empty())
            continue;
        CheckRoundTrip(*r.Image, file, name);
        QStringList frames = ini.value("config/frames").toStringList();
        frames.removeAll("");
        if (frames.empty() || differs.count(name))
            continue;
        const auto shown = Composite(*r.Image, get("config/force-animation") == "yes");
        ASSERT_EQ(shown.size(), std::size_t(frames.size())) << name;
        for (qsizetype i = 0; i < frames.size(); ++i) {
            const std::string pixels = get(frames[i] + "/pixels");
            const QImage expected = !pixels.empty() ? Raw(base + pixels, ini.value("config/width").toInt(),
                                                          ini.value("config/height").toInt(), QImage::Format_RGBA8888, 4)
                                                    : QImage(QString::fromStdString(base + get(frames[i] + "/image")));
            EXPECT_EQ(Compare(shown[std::size_t(i)], expected), "") << name << " " << frames[i].toStdString();
        }
        ++checked;
    }
    EXPECT_EQ(checked, 69);
}

// peterdn: the frames as PNG files; giflib: the plain last screen as raw RGB.
TEST(GIFSuites, PeterdnAndGiflib)
{
    for (const std::string any : {"peterdn/gifs/static_transparent.gif", "giflib/fire.gif"}) {
        const bool giflib = any.starts_with("giflib");
        std::string dir = testutil::TestData("suites/gif/" + any);
        dir.resize(dir.rfind('/') + 1);
        const QStringList gifs = QDir(QString::fromStdString(dir)).entryList({"*.gif"});
        EXPECT_EQ(gifs.size(), giflib ? 7 : 13);
        for (const auto &entry : gifs) {
            const std::string name = entry.chopped(4).toStdString();
            const QByteArray file = ReadAll(dir + entry.toStdString());
            auto r = Load(file);
            ASSERT_EQ(r.Error, "") << name;
            CheckRoundTrip(*r.Image, file, name);
            const auto shown = Composite(*r.Image, false, giflib);
            for (std::size_t i = 0; i < shown.size(); ++i) {
                const std::string file = dir + (giflib ? "expected/" + name + ".rgb" : "frames/" + name +
                                                (shown.size() == 1 ? "" : "-" + std::to_string(i)) + ".png");
                const QImage expected = giflib ? Raw(file, r.Image->Width(), r.Image->Height(), QImage::Format_RGB888, 3)
                                               : QImage(QString::fromStdString(file));
                ASSERT_FALSE(expected.isNull()) << file;
                EXPECT_EQ(Compare(shown[i], expected), "") << file;
            }
        }
    }
}
