// The GIF test suites of the test data: every file loads (or fails as
// expected), its frames render to the expected pixels, and what it holds
// survives a save and a reload, its extension blocks byte for byte.
#include "GIFTestUtil.h"
#include "tests/common/TestUtil.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

using namespace gif;
using namespace gif_test;

namespace {

QByteArray ReadAll(const std::string &path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path);
    return f.readAll();
}

using Ini = std::map<std::string, std::map<std::string, std::string>>;

Ini ReadIni(const std::string &path)
{
    Ini ini;
    std::ifstream in(path);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        const auto eq = line.find(" = ");
        if (eq != std::string::npos)
            ini[section][line.substr(0, eq)] = line.substr(eq + 3);
        else if (line.back() == '=')
            ini[section][line.substr(0, line.find(' '))] = "";
    }
    return ini;
}

std::vector<std::string> Split(const std::string &s)
{
    std::vector<std::string> out;
    std::stringstream ss(s);
    for (std::string item; std::getline(ss, item, ',');)
        if (!item.empty())
            out.push_back(item);
    return out;
}

// The frames a viewer shows: every image drawn in order with its mask and
// the previous image's disposal; images without a delay join the next one.
// Starts transparent; restore to background makes the area transparent.
std::vector<QImage> Composite(TGIFImage &image, bool everyImage = false)
{
    std::vector<QImage> shown;
    QImage canvas(image.Width(), image.Height(), QImage::Format_ARGB32);
    canvas.fill(0);
    QImage saved;
    QRect lastRect;
    // A looping file without any delay shows every image as a frame.
    bool delays = false, loops = false;
    for (int i = 0; i < image.Count(); ++i) {
        if (auto *g = image.SubImage(i)->GraphicControlExtension())
            delays = delays || g->Delay() > 0;
        for (int j = 0; j < image.SubImage(i)->Extensions().Count(); ++j)
            loops = loops || dynamic_cast<TGIFAppExtNSLoop *>(image.SubImage(i)->Extensions().Extensions(j));
    }
    int lastDisposal = 0;
    for (int i = 0; i < image.Count(); ++i) {
        auto *f = image.SubImage(i);
        if (f->Empty())
            continue;
        if (lastDisposal == dmBackground) {
            for (int y = lastRect.top(); y <= lastRect.bottom(); ++y)
                for (int x = lastRect.left(); x <= lastRect.right(); ++x)
                    if (canvas.rect().contains(x, y))
                        canvas.setPixel(x, y, 0);
        } else if (lastDisposal == dmPrevious && !saved.isNull()) {
            canvas = saved;
        }
        auto *gce = f->GraphicControlExtension();
        const int disposal = gce ? gce->Disposal() : 0;
        saved = disposal == dmPrevious ? canvas.copy() : QImage();
        const QImage &bmp = f->GetBitmap();
        const bool masked = f->HasMask();
        const QImage &mask = f->Mask();
        for (int y = 0; y < f->Height(); ++y)
            for (int x = 0; x < f->Width(); ++x) {
                const int cx = f->Left() + x, cy = f->Top() + y;
                if (!canvas.rect().contains(cx, cy))
                    continue;
                if (masked && (mask.constScanLine(y)[x >> 3] & (0x80 >> (x & 7))))
                    continue;
                canvas.setPixel(cx, cy, bmp.color(bmp.constScanLine(y)[x]) | 0xFF000000u);
            }
        lastRect = QRect(f->Left(), f->Top(), f->Width(), f->Height());
        lastDisposal = disposal;
        if (everyImage || (loops && !delays) || (gce && gce->Delay() > 0) || i == image.Count() - 1)
            shown.push_back(canvas.copy());
    }
    return shown;
}

// Equal where the expected pixel is opaque; transparent where it is.
std::string Compare(const QImage &got, const QImage &expected)
{
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32);
    if (got.width() < e.width() || got.height() < e.height())
        return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height());
    for (int y = 0; y < e.height(); ++y)
        for (int x = 0; x < e.width(); ++x) {
            const QRgb a = got.pixel(x, y), b = e.pixel(x, y);
            if (qAlpha(b) == 0 ? qAlpha(a) != 0 : a != (b | 0xFF000000u))
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
        }
    return "";
}

QImage Rgba(const std::string &path, int w, int h)
{
    const QByteArray raw = ReadAll(path);
    if (raw.size() != qsizetype(w) * h * 4)
        throw std::runtime_error("bad size " + path);
    return QImage(reinterpret_cast<const uchar *>(raw.constData()), w, h, QImage::Format_RGBA8888).copy();
}

// Every extension of the image, as it writes it.
QByteArray ExtensionBytes(TGIFImage &image, bool verbatimOnly, const QByteArray &original, std::string *missing)
{
    QByteArray all;
    for (int i = 0; i < image.Count(); ++i)
        for (int j = 0; j < image.SubImage(i)->Extensions().Count(); ++j) {
            const QByteArray b = SaveItem(*image.SubImage(i)->Extensions().Extensions(j));
            if (verbatimOnly && !original.contains(b) && missing)
                *missing = b.left(16).toHex().toStdString();
            all += b;
        }
    return all;
}

// Saves with the plain encoder and loads again: same screen, frames,
// pixels and extensions.
void CheckRoundTrip(TGIFImage &image, const std::string &name)
{
    if (image.Count() == 0)
        return; // nothing to write: "Unsupported GIF version"
    PlainEncoder enc;
    auto back = Load(Save(image));
    ASSERT_EQ(back.Error, "") << name;
    ASSERT_EQ(back.Image->Count(), image.Count()) << name;
    EXPECT_EQ(back.Image->Width(), image.Width()) << name;
    for (int i = 0; i < image.Count(); ++i) {
        auto *a = image.SubImage(i), *b = back.Image->SubImage(i);
        EXPECT_EQ(a->BoundsRect(), b->BoundsRect()) << name << " frame " << i;
        if (!a->Empty()) {
            EXPECT_EQ(0, std::memcmp(a->Data(), b->Data(), std::size_t(a->DataSize()))) << name << " frame " << i;
        }
    }
    EXPECT_EQ(ExtensionBytes(image, false, {}, nullptr), ExtensionBytes(*back.Image, false, {}, nullptr)) << name;
}

} // namespace

// The suite's expectations where this library decides otherwise on purpose
// are listed with the reason.
TEST(GIFSuites, Ancell)
{
    const std::string dir = testutil::TestData("suites/gif/ancell/TESTS");
    const std::string base = dir.substr(0, dir.size() - 5);
    const std::map<std::string, std::string> errors = {
        {"invalid-code", "Circular decoder table entry"},
        {"unknown-extension", "Unknown extension type"},
        {"overflow-codes", "Circular decoder table entry"},
        // A minimum code size of 11 is read as 8: the codes then make no sense.
        {"max-codes", "Circular decoder table entry"},
        // A local colour table flag with no table after it.
        {"image-zero-height", "Premature end of data"},
        {"image-zero-size", "Premature end of data"},
    };
    // A file without any image has no frame here (the suite shows an empty
    // screen); a frame of width 0 takes the screen's size and, without data,
    // keeps colour 0 (the suite leaves it see-through).
    const std::set<std::string> differs = {"no-data", "image-zero-width"};
    std::ifstream list(dir);
    int checked = 0;
    for (std::string name; std::getline(list, name);) {
        if (name.empty())
            continue;
        const Ini ini = ReadIni(base + name + ".conf");
        const auto &cfg = ini.at("config");
        auto r = Load(ReadAll(base + cfg.at("input")));
        const auto err = errors.find(name);
        EXPECT_EQ(r.Error, err == errors.end() ? "" : err->second) << name;
        if (!r.Error.empty())
            continue;
        CheckRoundTrip(*r.Image, name);
        std::string missing;
        ExtensionBytes(*r.Image, true, ReadAll(base + cfg.at("input")), &missing);
        if (name != "nul-comment" && name != "loop-buffer") {
            EXPECT_EQ(missing, "") << name << ": extension not written back verbatim";
        }
        const auto frames = Split(cfg.at("frames"));
        if (frames.empty() || differs.count(name))
            continue;
        const auto shown = Composite(*r.Image, cfg.at("force-animation") == "yes");
        ASSERT_EQ(shown.size(), frames.size()) << name;
        const int w = std::stoi(cfg.at("width")), h = std::stoi(cfg.at("height"));
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const auto &fr = ini.at(frames[i]);
            const QImage expected = fr.count("pixels") ? Rgba(base + fr.at("pixels"), w, h)
                                                       : QImage(QString::fromStdString(base + fr.at("image")));
            EXPECT_EQ(Compare(shown[i], expected), "") << name << " " << frames[i];
        }
        ++checked;
    }
    EXPECT_GE(checked, 60);
}

TEST(GIFSuites, PeterdnFrames)
{
    const std::string base = testutil::TestData("suites/gif/peterdn/gifs/static_transparent.gif");
    const std::string dir = base.substr(0, base.rfind('/') + 1);
    int files = 0;
    for (const auto &entry : QDir(QString::fromStdString(dir)).entryList({"*.gif"})) {
        const std::string name = entry.chopped(4).toStdString();
        auto r = Load(ReadAll(dir + entry.toStdString()));
        ASSERT_EQ(r.Error, "") << name;
        CheckRoundTrip(*r.Image, name);
        const auto shown = Composite(*r.Image);
        for (std::size_t i = 0; i < shown.size(); ++i) {
            std::string png = dir + "frames/" + name + "-" + std::to_string(i) + ".png";
            if (shown.size() == 1)
                png = dir + "frames/" + name + ".png";
            const QImage expected(QString::fromStdString(png));
            ASSERT_FALSE(expected.isNull()) << png;
            EXPECT_EQ(Compare(shown[i], expected), "") << name << " " << i;
        }
        ++files;
    }
    EXPECT_EQ(files, 13);
}

// giflib's expected screens: every image drawn in order, no transparency and
// no disposal, over the background colour.
TEST(GIFSuites, GiflibScreens)
{
    const std::string any = testutil::TestData("suites/gif/giflib/fire.gif");
    const std::string dir = any.substr(0, any.rfind('/') + 1);
    for (const char *name : {"fire", "gifgrid", "solid2", "treescap", "treescap-interlaced", "welcome2", "x-trans"}) {
        auto r = Load(ReadAll(dir + name + ".gif"));
        ASSERT_EQ(r.Error, "") << name;
        CheckRoundTrip(*r.Image, name);
        auto &img = *r.Image;
        QImage screen(img.Width(), img.Height(), QImage::Format_RGB32);
        const TColor bg = img.Header().ColorMap().Count() ? img.Header().BackgroundColor() : 0;
        screen.fill(qRgb(ColorRed(bg), ColorGreen(bg), ColorBlue(bg)));
        for (int i = 0; i < img.Count(); ++i) {
            auto *f = img.SubImage(i);
            if (f->Empty())
                continue;
            const QImage &bmp = f->GetBitmap();
            for (int y = 0; y < f->Height(); ++y)
                for (int x = 0; x < f->Width(); ++x)
                    if (screen.rect().contains(f->Left() + x, f->Top() + y))
                        screen.setPixel(f->Left() + x, f->Top() + y, bmp.color(bmp.constScanLine(y)[x]));
        }
        const QByteArray rgb = ReadAll(dir + "expected/" + name + ".rgb");
        ASSERT_EQ(rgb.size(), qsizetype(img.Width()) * img.Height() * 3) << name;
        const QImage expected(reinterpret_cast<const uchar *>(rgb.constData()), img.Width(), img.Height(),
                              img.Width() * 3, QImage::Format_RGB888);
        EXPECT_EQ(Compare(screen, expected), "") << name;
    }
}
