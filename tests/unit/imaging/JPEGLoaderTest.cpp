// The JPEG loader: scaled and grey loads, quality and the target-size search, hostile and unsupported files. Screenshots
// against a PSNR floor: tests/e2e.
#include "TestHelpers.h"
#include "imaging/JPEGLoader.h"
#include "imaging/LibraryTrace.h"

#include <cmath>
#include <cstdlib>
#include <jpeglib.h>

using namespace imaging;
using namespace itest;

namespace {

// A smooth 24-bit picture with some edges.
std::unique_ptr<TLinearBitmap> Picture(int w, int h)
{
    auto b = NewBitmap(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t *p = b->ScanLine(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x * 255 / w), p[1] = static_cast<std::uint8_t>(y * 255 / h);
            p[2] = ((x / 16 + y / 16) % 2) ? 200 : 40;
        }
    return b;
}

Bytes Save(TJPEGLoader &loader, const TLinearBitmap &b, int quality = 0)
{
    loader.Quality = quality ? quality : loader.Quality;
    return SaveWith(loader, b, "JPG");
}

std::unique_ptr<TLinearBitmap> Load(TJPEGLoader &loader, const Bytes &data)
{
    auto b = std::make_unique<TLinearBitmap>();
    loader.LoadFromStream(*MemOf(data), "JPG", *b);
    return b;
}

double PSNR(const TLinearBitmap &a, const TLinearBitmap &b)
{
    double sum = 0;
    for (int i = 0; i < a.Size; ++i)
        sum += std::pow(double(a.Map[i]) - b.Map[i], 2);
    return 10 * std::log10(255.0 * 255.0 * a.Size / std::max(sum, 1e-9));
}

std::size_t FrameHeader(const Bytes &f) // offset of the baseline frame header
{
    for (std::size_t i = 2; i + 9 < f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] == 0xC0)
            return i;
    return 0;
}
int Components(const Bytes &f) { return f[FrameHeader(f) + 9]; }

// Files our saver never writes, straight from libjpeg: CMYK, scan scripts, arithmetic coding.
Bytes RawEncode(int w, int h, J_COLOR_SPACE space, int comps, bool progressive, std::vector<jpeg_scan_info> scans = {},
                bool arithmetic = false)
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
    c.arith_code = arithmetic;
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

// libjpeg's own decode with its defaults, as other programs show a file: blue-green-red rows (grey for one component), and
// the number of warnings about damaged data.
std::pair<Bytes, long> Reference(const Bytes &f)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr e{};
    d.err = jpeg_std_error(&e);
    e.emit_message = [](j_common_ptr c, int level) { c->err->num_warnings += level < 0; };
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, f.data(), static_cast<unsigned long>(f.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = d.num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const std::size_t stride = std::size_t(d.output_width) * static_cast<std::size_t>(d.output_components);
    Bytes out(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out.data() + d.output_scanline * stride;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return {out, e.num_warnings};
}

} // namespace

TEST(JPEGLoader, FiltersAndScalingDownWhileBothSidesStayAtTheMinimums)
{
    TJPEGLoader saver;
    std::string load, save;
    saver.GetLoadFilter(load);
    saver.GetSaveFilter(save);
    EXPECT_EQ(load, "Joint Picture Expert Group (*.jpg,*.jpeg,*.jpe)|*.jpg;*.jpeg;*.jpe");
    EXPECT_EQ(save, "Joint Picture Expert Group (*.jpg)|*.jpg");
    const Bytes big = Save(saver, *Picture(1600, 1200)), odd = Save(saver, *Picture(1001, 999));
    const struct { const Bytes *file; int minW, minH, w, h; } cases[] = {
        {&big, 100, 100, 200, 150}, {&big, 300, 100, 400, 300}, {&big, 800, 600, 800, 600},
        {&big, 801, 1, 1600, 1200}, {&odd, 1, 1, 126, 125},     {&odd, 200, 200, 251, 250}};
    for (const auto &c : cases) {
        TJPEGLoader l;
        l.MinWidth = c.minW, l.MinHeight = c.minH;
        const auto b = Load(l, *c.file);
        EXPECT_EQ(std::pair(b->Width, b->Height), std::pair(c.w, c.h)) << c.minW << "x" << c.minH;
    }
}

TEST(JPEGLoader, EveryPixelFormatSavesGreyOrColourAndLoadsBack)
{
    TJPEGLoader l;
    const auto colour = Picture(64, 48);
    const Bytes reference = Save(l, *colour); // the colour save and load: the e2e JPG save
    EXPECT_EQ(reference, Save(l, *colour, 90)); // quality 0 means 90, above 100 means 100 (not 300 mod 256)
    EXPECT_EQ(Save(l, *colour, 300), Save(l, *colour, 100));
    l.Quality = 0;
    TLinearBitmap wide, grey, g16, palette;
    wide.Assign(*colour); // 32-bit: saved as its 24-bit pixels
    wide.ChangePixelFormat(pf32bit);
    EXPECT_EQ(Save(l, wide), reference);
    grey.Assign(*colour);
    grey.ChangePixelFormat(pf8bit);
    palette.Assign(grey); // a colour palette: saved through it, in colour
    EXPECT_EQ(Components(Save(l, palette)), 3);
    std::memcpy(grey.Palette.get(), GreyPalette.data(), 768);
    g16.New(64, 48, pf16bit);
    for (int i = 0; i < grey.Size; ++i)
        g16.Map[2 * i + 1] = grey.Map[i];
    for (const TLinearBitmap *b : {&grey, &g16}) { // one component, loaded as 8-bit grey
        const Bytes f = Save(l, *b);
        EXPECT_EQ(Components(f), 1);
        const auto back = Load(l, f);
        EXPECT_TRUE(back->PixelFormat == pf8bit && back->IsGreyscale());
        EXPECT_GE(PSNR(grey, *back), 40);
    }
}

TEST(JPEGLoader, TargetSizeSearchBisectsAndWritesItsLastTrial)
{
    for (int target = 50; target <= 1100; ++target) { // a monotone size per quality, from below quality 1 up
        std::vector<int> tried;
        const int trials = SearchJPEGQuality(100, target, [&](int q) {
            tried.push_back(q);
            return 100 + 10 * q;
        });
        EXPECT_LE(trials, 9) << target;
        EXPECT_EQ(tried.back(), std::clamp((target - 100) / 10, 1, 100)) << target; // the highest that fits
    }
    const auto pic = Picture(160, 120);
    TJPEGLoader fixed, l;
    const auto plain = [&](int q) { return Save(fixed, *pic, q); };
    l.Quality = 75;
    l.TargetSize = static_cast<int>(plain(75).size()) + 1; // fits at once
    EXPECT_EQ(Save(l, *pic), plain(75));
    l.TargetSize = 10; // nothing fits: quality 1 is written anyway
    EXPECT_EQ(Save(l, *pic), plain(1));
    // Real sizes are not strictly monotone: the last trial is written, and fits.
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
    const auto cut = [&](std::size_t n) { return Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)); };
    EXPECT_EQ(err({}), "JPEG error #42: Empty input file");
    EXPECT_EQ(err({'B', 'M', 0, 0}), "JPEG error #53: Not a JPEG file: starts with 0x42 0x4d");
    EXPECT_EQ(err(cut(2)), "JPEG error #51: JPEG datastream contains no image");
    Bytes huge = good; // the frame header claims 65000 x 65000
    const std::size_t sof = FrameHeader(huge);
    huge[sof + 5] = huge[sof + 7] = 0xFD;
    huge[sof + 6] = huge[sof + 8] = 0xE8;
    EXPECT_EQ(err(huge), "Invalid bitmap size");
    EXPECT_EQ(err(RawEncode(16, 16, JCS_CMYK, 4, false)), "JPEG error #27: Unsupported color conversion request");
    std::vector<jpeg_scan_info> scans{{3, {0, 1, 2, 0}, 0, 0, 0, 0}}; // 190 scans, over the cap
    for (int comp = 0; comp < 3; ++comp)
        for (int k = 1; k < 64; ++k)
            scans.push_back({1, {comp, 0, 0, 0}, k, k, 0, 0});
    EXPECT_EQ(err(RawEncode(32, 32, JCS_RGB, 3, false, scans)), "JPEG error #1000: More than 100 scans");
    EXPECT_EQ(Load(l, RawEncode(40, 24, JCS_RGB, 3, true))->Width, 40); // a usual progressive file
    // 16384 x 16384 progressive: its coefficients would take 1.5 GiB, over the codec's limit.
    const Bytes coefficients{0xFF, 0xD8, 0xFF, 0xC2, 0, 17, 8, 0x40, 0, 0x40, 0, 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0,
                             0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0, 3, 0, 0, 0, 0};
    EXPECT_EQ(err(coefficients), "JPEG error #49: Backing store not supported");
    TLinearBitmap empty;
    EXPECT_EQ(MessageOf<EJPEG>([&] { Save(l, empty); }), "JPEG error #32: Empty JPEG image (DNL not supported)");
    // Streams are read to the end marker; their errors pass through.
    Bytes tail = good;
    tail.insert(tail.end(), {'t', 'a', 'i', 'l'});
    const auto mem = MemOf(tail);
    TLinearBitmap b;
    l.LoadFromStream(*mem, "JPG", b);
    EXPECT_EQ(mem->Position(), static_cast<int>(good.size()));
    ScriptedStream failing(std::string(good.begin(), good.end())), full;
    failing.throwOnRead_ = 0;
    EXPECT_EQ(MessageOf<EInOutError>([&] { l.LoadFromStream(failing, "JPG", b); }), "scripted failure");
    EXPECT_TRUE(failing.NoDataExcept); // restored
    full.maxWrite_ = 100;
    EXPECT_EQ(MessageOf<EStreamError>([&] { l.SaveToStream(full, "JPG", b); }), kReadLessThanExpected);
}

TEST(JPEGLoader, ColourPixelsAreLibjpegsOwn)
{
    const Bytes f = RawEncode(40, 24, JCS_RGB, 3, false); // red, green and blue all differ
    TJPEGLoader l;
    const auto b = Load(l, f);
    ASSERT_TRUE(b->PixelFormat == pf24bit && b->Width == 40 && b->Height == 24);
    EXPECT_EQ(PixelsOf(*b), Reference(f).first);
}

// Damaged picture data loads as libjpeg decodes it, the damaged area filled, whatever the entropy coding; each kind of
// warning goes to the library trace once. Cut files, broken picture data, a metadata block whose length is short (the rest
// of its bytes lie before the next marker), and a header whose picture data is all missing.
TEST(JPEGLoader, DamagedDataLoadsAsLibjpegFillsIt)
{
    std::vector<std::string> traced;
    LibraryTrace = [&](const std::string &t) { traced.push_back(t); };
    const Bytes huffman = RawEncode(64, 48, JCS_RGB, 3, false), arithmetic = RawEncode(64, 48, JCS_RGB, 3, false, {}, true);
    const auto half = [](const Bytes &f) { return Bytes(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(f.size() / 2)); };
    Bytes broken = huffman, metadata = huffman;
    for (std::size_t i = 0; i < 12; i += 2) // 96 one bits in a row: no Huffman code
        broken[broken.size() / 2 + i] = 0xFF, broken[broken.size() / 2 + i + 1] = 0;
    metadata.insert(metadata.begin() + 2, {0xFF, 0xE1, 0, 4, 'E', 'x', 'i', 'f'}); // two bytes too many
    Bytes bare = huffman; // 2048 x 2048, nothing after the scan header
    const Bytes scanMarker{0xFF, 0xDA};
    const std::size_t sof = FrameHeader(bare),
                      sos = static_cast<std::size_t>(std::search(bare.begin(), bare.end(), scanMarker.begin(), scanMarker.end()) - bare.begin());
    bare[sof + 5] = bare[sof + 7] = 8, bare[sof + 6] = bare[sof + 8] = 0;
    bare.resize(sos + 2 + bare[sos + 3]);
    const std::string end = "JPEG warning #120: Premature end of JPEG file";
    const std::string segment = "JPEG warning #117: Corrupt JPEG data: premature end of data segment";
    const struct {
        const char *what;
        Bytes file;
        std::vector<std::string> traced;
    } cases[] = {
        {"cut, Huffman", half(huffman), {end, segment}},
        {"cut, arithmetic", half(arithmetic), {end}},
        {"broken bytes", broken, // the decoder stops taking bits: the rest lies before the end marker
         {"JPEG warning #118: Corrupt JPEG data: bad Huffman code",
          "JPEG warning #116: Corrupt JPEG data: 78 extraneous bytes before marker 0xd9"}},
        {"short metadata block", metadata, {"JPEG warning #116: Corrupt JPEG data: 2 extraneous bytes before marker 0xe0"}},
        {"no picture data", bare, {end, segment}},
    };
    TJPEGLoader l;
    for (const auto &c : cases) {
        traced.clear();
        TLinearBitmap b;
        const auto mem = MemOf(c.file);
        l.LoadFromStream(*mem, "JPG", b);
        EXPECT_EQ(mem->Position(), static_cast<int>(c.file.size())) << c.what; // read to its end, nothing made up given back
        const auto [want, warnings] = Reference(c.file);
        EXPECT_EQ(PixelsOf(b), want) << c.what;
        EXPECT_GE(warnings, 1) << c.what;
        EXPECT_EQ(traced, c.traced) << c.what;
    }
    LibraryTrace = nullptr;
}
