// The JPEG loader: screenshot round trips against a PSNR floor, scaled and
// grey loads, every pixel format saved, the target-size search, and hostile,
// truncated and unsupported files.
#include "ErrorText.h"
#include "FakeStreams.h"
#include "TestUtil.h"
#include "imaging/JPEGLoader.h"
#include "imaging/MemStream.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <jpeglib.h>

using namespace imaging;
using imaging_test::MessageOf;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::unique_ptr<TLinearBitmap> Screen(const std::string &name)
{
    const QImage img(QString::fromStdString(testutil::TestData("screens/" + name)));
    auto b = std::make_unique<TLinearBitmap>();
    b->Assign(img.convertToFormat(QImage::Format_BGR888));
    return b;
}

// A smooth 24-bit picture with some edges.
std::unique_ptr<TLinearBitmap> Picture(int w, int h)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->New(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t *p = b->ScanLine(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 255 / w), p[1] = static_cast<std::uint8_t>(y * 255 / h);
            p[2] = ((x / 16 + y / 16) % 2) ? 200 : 40;
        }
    return b;
}

Bytes Save(TJPEGLoader &loader, const TLinearBitmap &b)
{
    TMemStream mem;
    loader.SaveToStream(mem, "JPG", b);
    Bytes out(static_cast<std::size_t>(mem.Size()));
    mem.Seek(0);
    mem.Read(out.data(), mem.Size());
    return out;
}

std::unique_ptr<TLinearBitmap> Load(TJPEGLoader &loader, const Bytes &data)
{
    TMemStream mem;
    mem.Write(data.data(), static_cast<int>(data.size()));
    mem.Seek(0);
    auto b = std::make_unique<TLinearBitmap>();
    loader.LoadFromStream(mem, "JPG", *b);
    return b;
}

double PSNR(const TLinearBitmap &a, const TLinearBitmap &b)
{
    double sum = 0;
    for (int i = 0; i < a.Size; ++i)
        sum += std::pow(double(a.Map[i]) - b.Map[i], 2);
    return 10 * std::log10(255.0 * 255.0 * a.Size / std::max(sum, 1e-9));
}

// Files our saver never writes, straight from libjpeg: CMYK and scan scripts.
Bytes RawEncode(int w, int h, J_COLOR_SPACE space, int comps, bool progressive, std::vector<jpeg_scan_info> scans = {})
{
    jpeg_compress_struct c{};
    jpeg_error_mgr e{};
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char *buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buf, &size);
    c.image_width = static_cast<JDIMENSION>(w), c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = comps, c.in_color_space = space;
    jpeg_set_defaults(&c);
    if (progressive)
        jpeg_simple_progression(&c);
    if (!scans.empty())
        c.scan_info = scans.data(), c.num_scans = static_cast<int>(scans.size());
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(w * comps));
    for (int y = 0; y < h; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<JSAMPLE>(i * 7 + static_cast<std::size_t>(y) * 3);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buf, buf + size);
    std::free(buf);
    return out;
}

} // namespace

TEST(JPEGLoader, ExtensionsAndFilters)
{
    TJPEGLoader l;
    for (const char *e : {"JPG", "JPEG", "JPE", "jpg"})
        EXPECT_TRUE(l.CanLoad(e)) << e;
    for (const char *e : {"JP", "PEG", "JPGX", ""})
        EXPECT_FALSE(l.CanLoad(e)) << e;
    EXPECT_TRUE(l.CanSave("JPEG"));
    EXPECT_FALSE(l.CanSave("JPE"));
    std::string f;
    l.GetLoadFilter(f);
    EXPECT_EQ(f, "Joint Picture Expert Group (*.jpg,*.jpeg,*.jpe)|*.jpg;*.jpeg;*.jpe");
    l.GetSaveFilter(f);
    EXPECT_EQ(f, "Joint Picture Expert Group (*.jpg)|*.jpg");
}

TEST(JPEGLoader, ScreenshotRoundTripsStayAboveTheirPSNRFloor)
{
    const struct { int quality; double floor; } levels[] = {{25, 27}, {50, 30}, {75, 33}, {90, 36}, {100, 38}};
    for (const char *name : {"desktop-1920x1080.png", "web-docs-1920x1080.png"}) {
        const auto screen = Screen(name);
        double last = 0;
        for (const auto &lv : levels) {
            TJPEGLoader l;
            l.Quality = lv.quality;
            const auto back = Load(l, Save(l, *screen));
            ASSERT_EQ(back->PixelFormat, pf24bit);
            ASSERT_EQ(back->Width, 1920);
            const double psnr = PSNR(*screen, *back);
            EXPECT_GE(psnr, lv.floor) << name << " q" << lv.quality;
            EXPECT_GT(psnr, last) << name << " q" << lv.quality;
            last = psnr;
        }
    }
}

TEST(JPEGLoader, ScalesDownWhileBothSidesStayAtTheMinimums)
{
    TJPEGLoader saver;
    const Bytes big = Save(saver, *Picture(1600, 1200)), odd = Save(saver, *Picture(1001, 999));
    const struct { const Bytes *file; int minW, minH, w, h; } cases[] = {
        {&big, INT_MAX, INT_MAX, 1600, 1200}, {&big, 100, 100, 200, 150}, {&big, 300, 100, 400, 300},
        {&big, 800, 600, 800, 600},           {&big, 801, 1, 1600, 1200}, {&odd, 1, 1, 126, 125},
        {&odd, 200, 200, 251, 250}};
    for (const auto &c : cases) {
        TJPEGLoader l;
        l.MinWidth = c.minW, l.MinHeight = c.minH;
        const auto b = Load(l, *c.file);
        EXPECT_EQ(b->Width, c.w) << c.minW << "x" << c.minH;
        EXPECT_EQ(b->Height, c.h) << c.minW << "x" << c.minH;
        EXPECT_EQ(l.FullSize, (TJPEGLoader::TPoint{c.file == &big ? 1600 : 1001, c.file == &big ? 1200 : 999}));
    }
}

TEST(JPEGLoader, EveryPixelFormatSavesGreyOrColourAndLoadsBack)
{
    TJPEGLoader l;
    const auto colour = Picture(64, 48);
    const Bytes reference = Save(l, *colour);
    const auto components = [](const Bytes &f) { // of the frame header
        for (std::size_t i = 2; i + 9 < f.size(); ++i)
            if (f[i] == 0xFF && f[i + 1] == 0xC0)
                return int(f[i + 9]);
        return 0;
    };
    EXPECT_EQ(components(reference), 3);

    TLinearBitmap wide; // 32-bit: the same picture as its 24-bit pixels
    wide.Assign(*colour);
    wide.ChangePixelFormat(pf32bit);
    EXPECT_EQ(Save(l, wide), reference);

    TLinearBitmap grey, g16, palette;
    grey.Assign(*colour);
    grey.ChangePixelFormat(pf8bit);
    palette.Assign(grey); // 3-3-2 colour palette: saved through it, in colour
    EXPECT_EQ(components(Save(l, palette)), 3);
    std::memcpy(grey.Palette.get(), GreyPalette.data(), 768);
    g16.New(64, 48, pf16bit);
    for (int i = 0; i < grey.Size; ++i)
        g16.Map[2 * i + 1] = grey.Map[i];
    for (const TLinearBitmap *b : {&grey, &g16}) {
        const Bytes f = Save(l, *b);
        EXPECT_EQ(components(f), 1);
        const auto back = Load(l, f);
        EXPECT_EQ(back->PixelFormat, pf8bit);
        EXPECT_TRUE(back->IsGreyscale());
        EXPECT_GE(PSNR(grey, *back), 40);
    }
}

TEST(JPEGLoader, QualityIsClampedAndDefaultsTo90)
{
    const auto pic = Picture(80, 60);
    TJPEGLoader l;
    const auto at = [&](int q) {
        l.Quality = q;
        return Save(l, *pic);
    };
    EXPECT_EQ(at(0), at(90));
    EXPECT_EQ(at(300), at(100)); // not 300 mod 256
    EXPECT_NE(at(100), at(90));
}

TEST(JPEGLoader, QualitySearchBisectsInAtMostNineTrials)
{
    // A monotone size per quality: every target, from below quality 1 up.
    for (int target = 50; target <= 1100; ++target) {
        std::vector<int> tried;
        const int trials = SearchJPEGQuality(100, target, [&](int q) {
            tried.push_back(q);
            return 100 + 10 * q;
        });
        EXPECT_LE(trials, 9) << target;
        ASSERT_EQ(static_cast<int>(tried.size()), trials);
        const int best = std::clamp((target - 100) / 10, 1, 100); // the highest that fits
        EXPECT_EQ(tried.back(), best) << target;
    }

    const auto pic = Picture(160, 120);
    TJPEGLoader fixed;
    const auto plain = [&](int q) {
        fixed.Quality = q;
        return Save(fixed, *pic);
    };
    TJPEGLoader l;
    l.Quality = 75;
    l.TargetSize = static_cast<int>(plain(75).size()) + 1; // fits at once
    EXPECT_EQ(Save(l, *pic), plain(75));
    l.TargetSize = 10; // nothing fits: quality 1 is written anyway
    EXPECT_EQ(Save(l, *pic), plain(1));
    // Real sizes are not strictly monotone: whatever the search tried last
    // is what gets written, and it fits.
    l.Quality = 0;
    l.TargetSize = static_cast<int>(plain(70).size());
    int last = 0;
    SearchJPEGQuality(90, l.TargetSize, [&](int q) { return static_cast<int>(plain(last = q).size()); });
    const Bytes hit = Save(l, *pic);
    EXPECT_EQ(l.Quality, 90);
    EXPECT_LE(hit.size(), plain(70).size());
    EXPECT_GE(last, 60);
    EXPECT_EQ(hit, plain(last));
}

TEST(JPEGLoader, HostileAndUnsupportedFilesRaiseClearErrors)
{
    TJPEGLoader l;
    const Bytes good = Save(l, *Picture(96, 64));
    const auto err = [&](const Bytes &f) { return MessageOf<std::exception>([&] { Load(l, f); }); };
    EXPECT_EQ(err({}), "JPEG error #42: Empty input file");
    EXPECT_EQ(err({'B', 'M', 0, 0}), "JPEG error #53: Not a JPEG file: starts with 0x42 0x4d");
    // Cut anywhere: in the headers or in the entropy data; never a made-up picture.
    for (std::size_t cut : {std::size_t(2), std::size_t(30), good.size() / 2, good.size() - 40})
        EXPECT_EQ(err(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut))).rfind("JPEG error #", 0),
                  0u)
            << cut;
    // Only the end marker missing: the picture is whole.
    EXPECT_EQ(Load(l, Bytes(good.begin(), good.end() - 2))->Width, 96);

    // The frame header claims 65000 x 65000: refused before any allocation.
    Bytes huge = good;
    for (std::size_t i = 2; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = huge[i + 7] = 0xFD;
            huge[i + 6] = huge[i + 8] = 0xE8;
            break;
        }
    EXPECT_EQ(err(huge), "Invalid bitmap size");
    EXPECT_EQ(err(RawEncode(16, 16, JCS_CMYK, 4, false)), "JPEG error #27: Unsupported color conversion request");

    // One scan per coefficient and component: 190 scans, over the cap.
    std::vector<jpeg_scan_info> scans{{3, {0, 1, 2, 0}, 0, 0, 0, 0}};
    for (int comp = 0; comp < 3; ++comp)
        for (int k = 1; k < 64; ++k)
            scans.push_back({1, {comp, 0, 0, 0}, k, k, 0, 0});
    EXPECT_EQ(err(RawEncode(32, 32, JCS_RGB, 3, false, scans)), "JPEG error #1000: More than 100 scans");
    EXPECT_EQ(Load(l, RawEncode(40, 24, JCS_RGB, 3, true))->Width, 40); // a usual progressive file

    TLinearBitmap empty;
    EXPECT_EQ(MessageOf<EJPEG>([&] { Save(l, empty); }), "JPEG error #32: Empty JPEG image (DNL not supported)");
}

TEST(JPEGLoader, StreamsAreReadToTheEndMarkerAndTheirErrorsPassThrough)
{
    TJPEGLoader l;
    const Bytes good = Save(l, *Picture(32, 32));
    TMemStream mem;
    mem.Write(good.data(), static_cast<int>(good.size()));
    mem.Write("tail", 4);
    mem.Seek(0);
    TLinearBitmap b;
    l.LoadFromStream(mem, "JPG", b);
    EXPECT_EQ(mem.Position(), static_cast<int>(good.size()));

    imaging_test::ScriptedStream failing(std::string(good.begin(), good.end()));
    failing.throwOnRead_ = 0;
    EXPECT_EQ(MessageOf<EInOutError>([&] { l.LoadFromStream(failing, "JPG", b); }), "scripted failure");
    EXPECT_TRUE(failing.NoDataExcept); // restored
    imaging_test::ScriptedStream full;
    full.maxWrite_ = 100;
    EXPECT_EQ(MessageOf<EStreamError>([&] { l.SaveToStream(full, "JPG", *Picture(32, 32)); }),
              kReadLessThanExpected);
}
