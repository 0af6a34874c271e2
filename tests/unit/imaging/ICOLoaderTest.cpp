// ICO and CUR: what we save, entries of other tools passed over, hostile directories, files that end early, conversion,
// masked drawing and the selection hook. Pixels as Pillow sees them: tests/interop/interop.py.
#include "TestHelpers.h"
#include "TestUtil.h"
#include "imaging/ICOLoader.h"

#include <QBuffer>
#include <QImage>

#include <functional>

using namespace imaging;
using itest::MessageOf;

namespace {

using S = std::string;

void Put16(S &b, unsigned v) { b += char(v & 0xFF), b += char(v >> 8 & 0xFF); }
void Put32(S &b, unsigned v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }
unsigned Get16(const S &b, std::size_t at) { return std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8; }
S Span(const std::uint8_t *p, std::size_t n) { return S(reinterpret_cast<const char *>(p), n); }

// A bitmap information header and `payload` zero bytes.
S Dib(int w, int h2, int bits, int compression = 0, std::size_t payload = 0)
{
    S b;
    Put32(b, 40), Put32(b, unsigned(w)), Put32(b, unsigned(h2)), Put16(b, 1), Put16(b, unsigned(bits));
    Put32(b, unsigned(compression));
    return b + S(20 + payload, '\0');
}

// 8-bit, palette entry i = (red i, green 2i, blue 3i), pixel (x, file row y) = x + y.
S Dib8(int w, int h)
{
    S b = Dib(w, 2 * h, 8);
    for (int i = 0; i < 256; ++i)
        b += char(3 * i), b += char(2 * i), b += char(i), b += '\0';
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < (w + 3) / 4 * 4; ++x)
            b += char(x < w ? x + y : 0);
    return b + S(std::size_t(((w + 7) / 8 + 3) / 4 * 4 * h), '\0');
}

struct Raw {
    int W, H, F1, F2; // hot spot, or planes and bit count
    S Data;
};

S File(int type, const std::vector<Raw> &entries)
{
    S b, data;
    Put16(b, 0), Put16(b, unsigned(type)), Put16(b, unsigned(entries.size()));
    for (const Raw &e : entries) {
        b += char(e.W), b += char(e.H), b += S(2, '\0');
        Put16(b, unsigned(e.F1)), Put16(b, unsigned(e.F2)), Put32(b, unsigned(e.Data.size()));
        Put32(b, unsigned(6 + 16 * entries.size() + data.size()));
        data += e.Data;
    }
    return b + data;
}

void Load(TICOLoader &loader, const S &file, TLinearBitmap &bmp) { loader.LoadFromStream(*itest::MemOf(file), "ICO", bmp); }
S Save(TICOLoader &loader, const TLinearBitmap &bmp, const std::string &ext)
{
    const itest::Bytes b = itest::SaveWith(loader, bmp, ext);
    return S(b.begin(), b.end());
}

// "class: text" of the exception that `f` raises, or "none".
template <typename F> S ClassAndText(F &&f)
{
    try {
        f();
    } catch (const platform::Exception &e) {
        return S(e.ClassName()) + ": " + e.what();
    }
    return "none";
}

struct ScopedHook {
    explicit ScopedHook(TIconSelectionHook h) : old(SetIconSelectionHook(std::move(h))) {}
    ~ScopedHook() { SetIconSelectionHook(std::move(old)); }
    TIconSelectionHook old;
};

} // namespace

// A 32 x 32 4-bit icon loads with its transparent pixels magenta (entry 255, as its palette lacks the colour); a 16 x 16 1-bit
// icon has 4-byte rows.
TEST(ICOLoader, FourBitIconRowSizesAndConversion)
{
    const TIconImage mono(16, 1, 16);
    EXPECT_EQ(mono.XorBytesPerLine * 10 + mono.AndBytesPerLine, 44);
    EXPECT_EQ(MessageOf([] { TIconImage(16, 32, 16); }), "Unsupported pixel format");
    TIconList list;
    list.Kind = TIconList::ikIcon;
    TIconImage &im = list.Add(32, 32, 4);
    im.Palette[3] = {10, 20, 30, 1};
    std::fill(im.XorBits.begin(), im.XorBits.end() - 1, 0x33);
    im.AndBits[0] = 0x80; // bottom row, column 0
    TMemStream mem;
    list.SaveToStream(mem);
    mem.Seek(0);
    TICOLoader loader;
    loader.NoDialog = true;
    TLinearBitmap bmp;
    loader.LoadFromStream(mem, "ICO", bmp);
    ASSERT_EQ(bmp.PixelFormat, pf8bit);
    EXPECT_EQ(Span(bmp.ScanLine(31), 2), S("\xff\x03"));
    EXPECT_EQ(Span(bmp.Palette.get() + 9, 3), S("\x1e\x14\x0a"));
    EXPECT_EQ(Span(bmp.Palette.get() + 765, 3), S("\xff\x00\xff", 3));
    // 24-bit gives masked pixels the colour; 8-bit stays indexed when its palette holds the colour, else becomes 24-bit.
    TIconImage rgb(2, 24, 1), pal(2, 8, 1), other(1, 1, 1);
    rgb.XorBits[3] = 1, rgb.XorBits[4] = 2, rgb.XorBits[5] = 3;
    rgb.AndBits[0] = pal.AndBits[0] = 0x80;
    pal.XorBits[1] = 7;
    pal.Palette[7] = {1, 2, 3, 1};
    TLinearBitmap out;
    rgb.AssignTo(out, 0x0000FF);
    EXPECT_EQ(Span(out.Map.get(), 6), S("\x00\x00\xff\x01\x02\x03", 6));
    pal.AssignTo(out, 0x445566);
    ASSERT_EQ(out.PixelFormat, pf24bit);
    EXPECT_EQ(Span(out.Map.get(), 6), S("\x44\x55\x66\x03\x02\x01", 6));
    pal.Palette[9] = {0x66, 0x55, 0x44, 1};
    pal.AssignTo(out, 0x445566);
    ASSERT_EQ(out.PixelFormat, pf8bit);
    EXPECT_EQ(Span(out.Map.get(), 2), S("\x09\x07"));
    EXPECT_EQ(MessageOf([&] { pal.AssignTo(other, 0); }), "Cannot assign TIconImage to TIconImage");
}

// Depths 4, 8 and 24, the directory and the hot spot as Pillow reads them: interop. Here 16- and 32-bit bitmaps converted
// first, a hot spot read, the size limit.
TEST(ICOLoader, SavedDepthHotSpotAndSizeLimit)
{
    TICOLoader loader;
    loader.NoDialog = true;
    TLinearBitmap bmp;
    for (const auto &[src, depth, pixel] : {std::tuple{itest::NewBitmap(3, 2, pf16bit, {0, 0xC0}), 8u, "\xc0\xc0\xc0"},
                                            {itest::NewBitmap(3, 2, pf32bit, {1, 2, 3}), 24u, "\x01\x02\x03"}}) {
        const S file = Save(loader, *src, "ICO");
        EXPECT_EQ(Get16(file, 22 + 14), depth);
        Load(loader, file, bmp);
        bmp.ChangePixelFormat(pf24bit);
        EXPECT_EQ(Span(bmp.Map.get(), 3), S(pixel, 3)) << depth;
    }
    loader.LoadFromStream(*itest::MemOf(File(2, {{4, 2, 3, 1, Dib8(4, 2)}})), "CUR", bmp);
    EXPECT_EQ(loader.HotSpotX * 10 + loader.HotSpotY, 31);
    bmp.New(256, 256, pf24bit);
    EXPECT_EQ(MessageOf([&] { Save(loader, bmp, "ICO"); }), "Image is too large for icon");
    bmp.New(255, 255, pf24bit);
    EXPECT_EQ(Save(loader, bmp, "ICO")[6], '\xff');
    EXPECT_EQ(MessageOf([&] { Save(loader, TLinearBitmap(), "ICO"); }), "Unsupported pixel format");
}

// Compressed and 256-pixel entries are passed over (32-bit and PNG ones: the mixed icon in tests/interop) and the
// readable entries still load; an unknown kind loads but is not written.
TEST(ICOLoader, SkipsEntriesItCannotRead)
{
    const S png = S("\x89PNG\r\n\x1a\n", 8) + S(60, 'p');
    TIconList list;
    list.LoadFromStream(*itest::MemOf(File(1, {{0, 0, 1, 8, Dib(256, 512, 8)},
                                               {5, 3, 1, 8, Dib8(5, 3)},
                                               {16, 16, 1, 8, Dib(16, 32, 8, 1, 1024)},
                                               {2, 2, 1, 8, Dib8(2, 2)}})));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Skipped, 2);
    EXPECT_EQ(list[1].Width, 2);
    EXPECT_EQ(list[0].PixelColor(4, 2), 0x120C06u);
    TICOLoader loader;
    loader.NoDialog = true;
    TLinearBitmap bmp;
    EXPECT_EQ(MessageOf([&] { Load(loader, File(1, {{0, 0, 1, 32, png}}), bmp); }),
              "No icons in file with 1, 4, 8 or 24 bits per pixel");
    EXPECT_EQ(MessageOf([&] { Load(loader, File(1, {}), bmp); }), "No icons in file");
    TIconList unknown;
    unknown.LoadFromStream(*itest::MemOf(File(3, {{2, 2, 0, 0, Dib8(2, 2)}})));
    EXPECT_EQ(unknown.Kind, TIconList::ikUnknown);
    EXPECT_EQ(unknown.Count(), 1);
    TMemStream mem;
    EXPECT_EQ(MessageOf([&] { unknown.SaveToStream(mem); }), "Unsupported file format");
}

// Lying directories fail with a clear text before anything is allocated for them.
TEST(ICOLoader, HostileFilesGiveClearErrors)
{
    const S good = File(1, {{4, 2, 1, 8, Dib8(4, 2)}});
    S height = good, shared = File(1, {{4, 2, 1, 8, Dib8(4, 2)}, {4, 2, 1, 8, {}}});
    height[7] = 3;
    shared.replace(34, 4, shared, 18, 4); // the second entry points at the first image
    const std::pair<S, const char *> cases[] = {
        {height, "Size mismatch in icon 0"},
        {shared, "Icon directory claims more image data than the file holds"},
    };
    for (const auto &c : cases) {
        TIconList list;
        EXPECT_EQ(MessageOf([&] { list.LoadFromStream(*itest::MemOf(c.first)); }), c.second);
    }
}

// A file that ends early anywhere, or whose directory places its data beyond the end (65535 entries, an image 2 GiB
// on), fails as a short stream read does, before anything is allocated for the missing part: as a list, from a stream
// that starts further on, as a cursor through the loader from a stream that cannot seek, and as a picture.
TEST(ICOLoader, FilesThatEndEarlyGiveTheStreamError)
{
    S rgb = File(1, {{16, 16, 1, 24, Dib(16, 32, 24, 0, 16 * 48 + 16 * 4)}});
    rgb[22 + 40] = 'x'; // blue of the bottom-left pixel
    const S pal = File(1, {{4, 2, 1, 8, Dib8(4, 2)}});
    S many = rgb, far = rgb;
    many[4] = many[5] = '\xff';
    far[21] = '\x7f';
    TIconList whole;
    whole.LoadFromStream(*itest::MemOf(rgb));
    ASSERT_EQ(whole.Count(), 1);
    ASSERT_EQ(whole[0].XorBits[0], 'x');

    const struct {
        const char *Name;
        std::function<void(S)> Load;
    } routes[] = {
        {"list", [](S f) { TIconList().LoadFromStream(*itest::MemOf(f)); }},
        {"list from offset 5",
         [](S f) {
             TMemStream m;
             m.Write("icon:", 5);
             m.Write(f.data(), int(f.size()));
             m.Seek(5);
             TIconList().LoadFromStream(m);
         }},
        {"cursor loader, unseekable",
         [](S f) {
             if (f.size() > 2)
                 f[2] = 2;
             itest::ScriptedStream in(f);
             TICOLoader loader;
             loader.NoDialog = true;
             TLinearBitmap bmp;
             loader.LoadFromStream(in, "CUR", bmp);
         }},
        {"picture",
         [](S f) {
             QBuffer buf;
             buf.setData(f.data(), qsizetype(f.size()));
             buf.open(QIODevice::ReadOnly);
             TIconGraphic().LoadFromStream(buf);
         }},
    };
    const struct {
        const char *What;
        const S &Full;
        std::size_t Length;
    } cases[] = {
        {"empty", rgb, 0},
        {"4 bytes", rgb, 4},
        {"in the header", rgb, 5},
        {"in the directory", rgb, 14},
        {"after the directory", rgb, 22},
        {"in the bitmap header", rgb, 22 + 20},
        {"in the palette", pal, 22 + 40 + 100},
        {"in the colour data", rgb, 22 + 40 + 400},
        {"in the mask", rgb, 22 + 40 + 768 + 10},
        {"one byte short", rgb, rgb.size() - 1},
        {"65535 entries", many, many.size()},
        {"image 2 GiB on", far, far.size()},
    };
    for (const auto &c : cases)
        for (const auto &r : routes)
            EXPECT_EQ(ClassAndText([&] { r.Load(c.Full.substr(0, c.Length)); }), "EInOutError: Read less than expected")
                << c.What << ", " << r.Name;
}

TEST(ICOLoader, DrawMaskedClipsToTheCanvas)
{
    TIconImage im(3, 24, 2);
    std::fill(im.XorBits.begin(), im.XorBits.end(), 0x40);
    im.AndBits[0] = 0x20; // bottom row, column 2
    // Placed so that the canvas shows one opaque pixel, two, and none.
    QImage canvas(4, 4, QImage::Format_RGB32);
    for (const auto &[at, expected] : {std::pair{QPoint(-1, -1), 1}, {QPoint(2, 3), 2}, {QPoint(-100, 100), 0}}) {
        canvas.fill(Qt::white);
        im.DrawMasked(canvas, at.x(), at.y());
        int painted = 0;
        for (int i = 0; i < 16; ++i)
            painted += canvas.pixel(i % 4, i / 4) == qRgb(0x40, 0x40, 0x40);
        EXPECT_EQ(painted, expected) << at.x() << "," << at.y();
    }
    im.BitCount = 32;
    EXPECT_EQ(MessageOf([&] { im.DrawMasked(canvas, 0, 0); }), "Unsupported pixel format: 32 bits");
}

// The hook's choice and a cancel: through the form in gui/. NoDialog and a picture never ask and take the first image.
TEST(ICOLoader, RegistrationNoDialogAndCursorPicture)
{
    RegisterICOLoader();
    std::string filter;
    ICOLoader()->GetSaveFilter(filter);
    EXPECT_EQ(filter, "Windows icon (*.ico)|*.ico|Windows cursor (*.cur)|*.cur");
    ScopedHook hook([](const TIconList &, std::uint32_t) -> std::optional<TIconChoice> {
        ADD_FAILURE() << "asked";
        return TIconChoice{1, 0};
    });
    TICOLoader loader;
    loader.NoDialog = true;
    TLinearBitmap bmp;
    Load(loader, File(1, {{2, 2, 1, 8, Dib8(2, 2)}, {3, 1, 1, 8, Dib8(3, 1)}}), bmp);
    EXPECT_EQ(bmp.Width, 2);
    testutil::TempDir dir;
    testutil::WriteFile(dir.File("picture.cur"), File(2, {{4, 2, 3, 1, Dib8(4, 2)}, {2, 2, 0, 0, Dib8(2, 2)}}));
    platform::TPicture picture;
    picture.LoadFromFile(dir.File("picture.cur"));
    EXPECT_STREQ(picture.Graphic->ClassName(), "TIconGraphic");
    EXPECT_EQ(picture.Width(), 4);
    UnregisterICOLoader();
}
