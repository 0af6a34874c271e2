// ICO and CUR: the file layout we write, images made by other tools (32-bit,
// PNG and 256-pixel entries mixed in), hostile directories, the conversion to
// a linear bitmap and the selection hook.
#include "ErrorText.h"
#include "imaging/ICOLoader.h"
#include "imaging/MemStream.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace imaging;
using imaging_test::MessageOf;

namespace {

using Bytes = std::string;

void Put16(Bytes &b, unsigned v) { b += char(v & 0xFF), b += char(v >> 8 & 0xFF); }
void Put32(Bytes &b, unsigned v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }
unsigned Get16(const Bytes &b, std::size_t at) { return std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8; }
unsigned Get32(const Bytes &b, std::size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }

// One directory entry and the image data it points to.
struct Raw {
    int W, H, F1 = 0, F2 = 0;
    Bytes Data;
};

// A bitmap information header and Payload zero bytes.
Bytes Dib(int w, int h2, int bits, int compression = 0, std::size_t payload = 0)
{
    Bytes b;
    Put32(b, 40), Put32(b, unsigned(w)), Put32(b, unsigned(h2)), Put16(b, 1), Put16(b, unsigned(bits));
    Put32(b, unsigned(compression));
    b.append(20, '\0');
    return b + Bytes(payload, '\0');
}

// An 8-bit w x h image: palette entry i = (i, 2i, 3i), pixel = index, mask clear.
Bytes Dib8(int w, int h)
{
    Bytes b = Dib(w, 2 * h, 8);
    for (int i = 0; i < 256; ++i)
        b += char(3 * i), b += char(2 * i), b += char(i), b += '\0';
    const int xorLine = (w + 3) / 4 * 4, andLine = ((w + 7) / 8 + 3) / 4 * 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < xorLine; ++x)
            b += char(x < w ? x + y : 0);
    return b + Bytes(std::size_t(andLine * h), '\0');
}

Bytes File(int type, const std::vector<Raw> &entries)
{
    Bytes b;
    Put16(b, 0), Put16(b, unsigned(type)), Put16(b, unsigned(entries.size()));
    unsigned offset = 6 + 16 * unsigned(entries.size());
    for (const Raw &e : entries) {
        b += char(e.W), b += char(e.H), b += '\0', b += '\0';
        Put16(b, unsigned(e.F1)), Put16(b, unsigned(e.F2)), Put32(b, unsigned(e.Data.size())), Put32(b, offset);
        offset += unsigned(e.Data.size());
    }
    for (const Raw &e : entries)
        b += e.Data;
    return b;
}

Bytes Png() { return Bytes("\x89PNG\r\n\x1a\n", 8) + Bytes(60, 'p'); }

void Load(const Bytes &file, TIconList &list)
{
    TMemStream mem;
    mem.Write(file.data(), int(file.size()));
    mem.Seek(0);
    list.LoadFromStream(mem);
}

void LoadBitmap(TICOLoader &loader, const Bytes &file, TLinearBitmap &bmp, const std::string &ext = "ICO")
{
    TMemStream mem;
    mem.Write(file.data(), int(file.size()));
    mem.Seek(0);
    loader.LoadFromStream(mem, ext, bmp);
}

Bytes Save(TICOLoader &loader, const TLinearBitmap &bmp, const std::string &ext)
{
    TMemStream mem;
    loader.SaveToStream(mem, ext, bmp);
    Bytes out(std::size_t(mem.Size()), '\0');
    mem.Seek(0);
    mem.Read(out.data(), int(out.size()));
    return out;
}

// 8-bit w x h using indices 0..colours-1 (index 0 magenta, the default
// transparent colour), palette entry i = (i, i, 255 - i) for i > 0.
using Bitmap = std::unique_ptr<TLinearBitmap>;

Bitmap NewBitmap(int w, int h, TPixelFormat pf)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->New(w, h, pf);
    return b;
}

Bitmap Indexed(int w, int h, int colours)
{
    Bitmap b = NewBitmap(w, h, pf8bit);
    for (int i = 1; i < 256; ++i)
        b->Palette[3 * i] = std::uint8_t(255 - i), b->Palette[3 * i + 1] = b->Palette[3 * i + 2] = std::uint8_t(i);
    b->Palette[0] = 0xFF, b->Palette[1] = 0, b->Palette[2] = 0xFF;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b->ScanLine(y)[x] = std::uint8_t((x + y) % colours);
    return b;
}

struct ScopedHook {
    explicit ScopedHook(TIconSelectionHook h) : old(SetIconSelectionHook(std::move(h))) {}
    ~ScopedHook() { SetIconSelectionHook(std::move(old)); }
    TIconSelectionHook old;
};

} // namespace

TEST(IconImage, DerivedSizes)
{
    struct Case {
        int w, h, bits, xorLine, andLine, palette;
    } cases[] = {{16, 16, 1, 4, 4, 8}, {32, 32, 4, 16, 4, 64}, {3, 5, 24, 12, 4, 0}, {255, 2, 8, 256, 32, 1024}};
    for (const Case &c : cases) {
        TIconImage im(c.w, c.bits, c.h);
        EXPECT_EQ(im.XorBytesPerLine, c.xorLine) << c.w << "/" << c.bits;
        EXPECT_EQ(im.AndBytesPerLine, c.andLine);
        EXPECT_EQ(im.XorSize, c.xorLine * c.h);
        EXPECT_EQ(im.PaletteSize, c.palette);
        EXPECT_EQ(im.XorBits.size(), std::size_t(im.XorSize) + 1);
    }
    EXPECT_EQ(MessageOf([] { TIconImage(16, 32, 16); }), "Unsupported pixel format");
}

// A 32 x 32 4-bit icon loads with its transparent pixels in magenta; the
// palette lacks magenta, so it becomes entry 255.
TEST(ICOLoader, FourBitIconGetsMagentaForTransparentPixels)
{
    TIconList list;
    list.Kind = TIconList::ikIcon;
    TIconImage &im = list.Add(32, 32, 4);
    im.Palette[3] = {10, 20, 30, 1};
    std::fill(im.XorBits.begin(), im.XorBits.end() - 1, 0x33);
    im.AndBits[0] = 0x80; // file row 0 (the bottom), column 0
    TMemStream mem;
    list.SaveToStream(mem);
    mem.Seek(0);
    TICOLoader loader;
    loader.NoDialog = true;
    TLinearBitmap bmp;
    loader.LoadFromStream(mem, "ICO", bmp);
    ASSERT_EQ(bmp.PixelFormat, pf8bit);
    EXPECT_EQ(bmp.ScanLine(31)[0], 255);
    EXPECT_EQ(bmp.ScanLine(31)[1], 3);
    EXPECT_EQ(bmp.ScanLine(0)[0], 3);
    const std::uint8_t *p = bmp.Palette.get();
    EXPECT_EQ(Bytes(p + 9, p + 12), Bytes("\x1e\x14\x0a")); // blue, green, red
    EXPECT_EQ(Bytes(p + 765, p + 768), Bytes("\xff\x00\xff", 3));
}

TEST(ICOLoader, ConversionToLinearBitmapFollowsDepthAndPalette)
{
    // 24-bit: the mask pixel gets the colour; 8-bit with the colour missing
    // from its full palette becomes 24-bit; 8-bit holding it stays indexed.
    TIconImage rgb(2, 24, 1);
    rgb.XorBits[3] = 1, rgb.XorBits[4] = 2, rgb.XorBits[5] = 3;
    rgb.AndBits[0] = 0x80;
    TLinearBitmap out;
    rgb.AssignTo(out, 0x0000FF); // red
    ASSERT_EQ(out.PixelFormat, pf24bit);
    EXPECT_EQ(Bytes(out.Map.get(), out.Map.get() + 6), Bytes("\x00\x00\xff\x01\x02\x03", 6));

    TIconImage pal(2, 8, 1);
    pal.XorBits[0] = 7;
    pal.AndBits[0] = 0x40; // column 1
    pal.Palette[7] = {1, 2, 3, 1};
    pal.AssignTo(out, 0x445566);
    ASSERT_EQ(out.PixelFormat, pf24bit);
    EXPECT_EQ(Bytes(out.Map.get(), out.Map.get() + 6), Bytes("\x03\x02\x01\x44\x55\x66", 6));
    pal.Palette[9] = {0x66, 0x55, 0x44, 1};
    pal.AssignTo(out, 0x445566);
    ASSERT_EQ(out.PixelFormat, pf8bit);
    EXPECT_EQ(out.Map[0], 7);
    EXPECT_EQ(out.Map[1], 9);

    TIconImage other(1, 1, 1);
    EXPECT_EQ(MessageOf([&] { pal.AssignTo(other, 0); }), "Cannot assign TIconImage to TIconImage");
}

// Saving: the depth follows the colours used (indices 0..9 give a 4-bit icon);
// 16- and 32-bit bitmaps are converted first instead of reading a palette
// they do not have; an icon's entry holds planes 1 and the bit count.
TEST(ICOLoader, SavedDepthAndIconEntry)
{
    Bitmap grey = NewBitmap(3, 2, pf16bit);
    grey->Map[1] = 0xC0; // high byte of pixel (0, 0)
    Bitmap wide = NewBitmap(3, 2, pf32bit);
    wide->Map[0] = 1, wide->Map[1] = 2, wide->Map[2] = 3;
    struct Case {
        const char *name;
        Bitmap bmp;
        int bits;
    } cases[] = {{"indices 0..9", Indexed(5, 3, 10), 4},
                 {"indices 0..16", Indexed(5, 20, 17), 8},
                 {"16-bit grey", std::move(grey), 8},
                 {"32-bit", std::move(wide), 24}};
    for (Case &c : cases) {
        TICOLoader loader;
        loader.HotSpotX = 9, loader.HotSpotY = 9; // a cursor's, not written into an icon
        const Bytes file = Save(loader, *c.bmp, "ICO");
        EXPECT_EQ(Get16(file, 2), 1u) << c.name;
        EXPECT_EQ(Get16(file, 10), 1u) << c.name;                          // planes
        EXPECT_EQ(Get16(file, 12), unsigned(c.bits)) << c.name;            // bit count
        EXPECT_EQ(std::uint8_t(file[8]), c.bits == 4 ? 16 : 0) << c.name;  // colour count
        EXPECT_EQ(Get32(file, 14), file.size() - 22) << c.name;            // data size
        EXPECT_EQ(Get16(file, 22 + 14), unsigned(c.bits)) << c.name;
        loader.NoDialog = true;
        TLinearBitmap back;
        LoadBitmap(loader, file, back);
        EXPECT_EQ(back.Width, c.bmp->Width) << c.name;
    }
    // The 32-bit pixel arrived as its colour, the grey one as its grey value.
    TICOLoader loader;
    loader.NoDialog = true;
    TLinearBitmap back;
    LoadBitmap(loader, Save(loader, *cases[3].bmp, "ICO"), back);
    EXPECT_EQ(Bytes(back.ScanLine(0), back.ScanLine(0) + 3), Bytes("\x01\x02\x03"));
    LoadBitmap(loader, Save(loader, *cases[2].bmp, "ICO"), back);
    EXPECT_EQ(Bytes(back.ScanLine(0), back.ScanLine(0) + 3), Bytes("\xc0\xc0\xc0"));
}

// Transparent-coloured pixels are masked: index 0 (4-bit), black (24-bit),
// and a palette entry of that colour is written black.
TEST(ICOLoader, TransparentColourBecomesMask)
{
    TICOLoader loader;
    const Bytes four = Save(loader, *Indexed(4, 1, 4), "ICO");
    const std::size_t xorAt = 22 + 40 + 64, andAt = xorAt + 4;
    EXPECT_EQ(Bytes(four, 22 + 40, 4), Bytes(4, '\0')); // entry 0 was magenta
    EXPECT_EQ(Bytes(four, xorAt, 2), Bytes("\x01\x23", 2));
    EXPECT_EQ(std::uint8_t(four[andAt]), 0x80);

    TLinearBitmap rgb;
    rgb.New(2, 1, pf24bit);
    const std::uint8_t px[6] = {0xFF, 0, 0xFF, 9, 8, 7};
    std::copy(px, px + 6, rgb.Map.get());
    const Bytes t = Save(loader, rgb, "ICO");
    EXPECT_EQ(Bytes(t, 22 + 40, 6), Bytes("\0\0\0\x09\x08\x07", 6));
    EXPECT_EQ(std::uint8_t(t[22 + 40 + 8]), 0x80);
}

// A cursor keeps its hot spot through load and save.
TEST(ICOLoader, CursorHotSpotSurvives)
{
    const Bytes file = File(2, {{4, 2, 3, 1, Dib8(4, 2)}});
    TICOLoader loader;
    loader.NoDialog = true;
    TLinearBitmap bmp;
    LoadBitmap(loader, file, bmp, "CUR");
    EXPECT_EQ(loader.HotSpotX, 3);
    EXPECT_EQ(loader.HotSpotY, 1);
    const Bytes saved = Save(loader, bmp, "CUR");
    EXPECT_EQ(Get16(saved, 2), 2u);
    EXPECT_EQ(Get16(saved, 10), 3u);
    EXPECT_EQ(Get16(saved, 12), 1u);
}

TEST(ICOLoader, SizeLimitOfSaving)
{
    TICOLoader loader;
    TLinearBitmap b;
    b.New(256, 256, pf24bit);
    EXPECT_EQ(MessageOf([&] { Save(loader, b, "ICO"); }), "Image is too large for icon");
    b.New(255, 255, pf24bit);
    EXPECT_EQ(Get16(Save(loader, b, "ICO"), 12), 24u);
    EXPECT_EQ(MessageOf([&] { Save(loader, TLinearBitmap(), "ICO"); }), "Unsupported pixel format");
}

// Files of today's tools: 32-bit, PNG and 256-pixel entries are passed over
// and the readable entries still load.
TEST(ICOLoader, SkipsEntriesItCannotRead)
{
    const Bytes file = File(1, {{16, 16, 1, 32, Dib(16, 32, 32, 0, 16 * 16 * 4 + 64)},
                                {0, 0, 1, 32, Png()},
                                {0, 0, 1, 8, Dib(256, 512, 8)},
                                {5, 3, 1, 8, Dib8(5, 3)},
                                {16, 16, 1, 8, Dib(16, 32, 8, 1, 1024)},
                                {2, 2, 1, 8, Dib8(2, 2)}});
    TIconList list;
    Load(file, list);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Skipped, 4);
    EXPECT_EQ(list[0].Width, 5);
    EXPECT_EQ(list[1].Width, 2);
    EXPECT_EQ(list[0].PixelIndex(4, 2), 6);
    EXPECT_EQ(EntryColor(list[0].Palette[6]), 0x120C06u);

    TICOLoader loader;
    loader.NoDialog = true;
    TLinearBitmap bmp;
    EXPECT_EQ(MessageOf([&] { LoadBitmap(loader, File(1, {{0, 0, 1, 32, Png()}}), bmp); }),
              "No icons in file with 1, 4, 8 or 24 bits per pixel");
    EXPECT_EQ(MessageOf([&] { LoadBitmap(loader, File(1, {}), bmp); }), "No icons in file");
}

TEST(ICOLoader, UnknownKindLoadsButCannotBeWritten)
{
    TIconList list;
    Load(File(3, {{2, 2, 0, 0, Dib8(2, 2)}}), list);
    EXPECT_EQ(list.Kind, TIconList::ikUnknown);
    EXPECT_EQ(list.Count(), 1);
    TMemStream mem;
    EXPECT_EQ(MessageOf([&] { list.SaveToStream(mem); }), "Unsupported file format");
}

// Truncated and lying directories fail with a clear text before anything
// is allocated for them.
TEST(ICOLoader, HostileFilesGiveClearErrors)
{
    const Bytes good = File(1, {{4, 2, 1, 8, Dib8(4, 2)}});
    Bytes manyEntries = good;
    manyEntries[4] = '\xff', manyEntries[5] = '\xff';
    Bytes farOffset = good;
    farOffset[21] = '\x7f';
    Bytes lyingHeight = good;
    lyingHeight[7] = 3;
    Bytes shared = File(1, {{4, 2, 1, 8, Dib8(4, 2)}, {4, 2, 1, 8, {}}});
    for (int i = 0; i < 4; ++i)
        shared[34 + i] = shared[18 + i]; // second entry points at the first image
    struct Case {
        const char *name;
        Bytes file;
        const char *error;
    } cases[] = {
        {"header cut", Bytes("\0\0\1\0", 4), "Icon file too short: 4 bytes"},
        {"directory cut", Bytes(good, 0, 20), "Icon directory of 1 entries does not fit in the file"},
        {"65535 entries", manyEntries, "Icon directory of 65535 entries does not fit in the file"},
        {"offset beyond end", farOffset, "Image data of icon 0 lies outside the file"},
        {"image data cut", Bytes(good, 0, good.size() - 1), "Image data of icon 0 lies outside the file"},
        {"height byte lies", lyingHeight, "Size mismatch in icon 0"},
        {"entries share data", shared, "Icon directory claims more image data than the file holds"},
    };
    for (const Case &c : cases) {
        TIconList list;
        EXPECT_EQ(MessageOf([&] { Load(c.file, list); }), c.error) << c.name;
    }
}

TEST(ICOLoader, DrawMaskedClipsToTheCanvas)
{
    TIconImage im(3, 24, 2);
    for (int i = 0; i < im.XorSize; ++i)
        im.XorBits[std::size_t(i)] = 0x40;
    im.AndBits[0] = 0x20; // bottom row, column 2
    // Placed so that the canvas shows one opaque pixel, two, and none.
    const std::pair<QPoint, int> cases[] = {{{-1, -1}, 1}, {{2, 3}, 2}, {{-100, 100}, 0}};
    for (const auto &[at, expected] : cases) {
        QImage canvas(4, 4, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        im.DrawMasked(canvas, at.x(), at.y());
        int painted = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                painted += canvas.pixel(x, y) == qRgb(0x40, 0x40, 0x40);
        EXPECT_EQ(painted, expected) << at.x() << "," << at.y();
    }
    im.BitCount = 32;
    QImage canvas(4, 4, QImage::Format_RGB32);
    EXPECT_EQ(MessageOf([&] { im.DrawMasked(canvas, 0, 0); }), "Unsupported pixel format: 32 bits");
}

// The selection hook: its choice picks the image and the colour; a cancel is
// the silent abort and leaves the bitmap alone; NoDialog never asks.
TEST(ICOLoader, SelectionHook)
{
    const Bytes file = File(1, {{2, 2, 1, 8, Dib8(2, 2)}, {3, 1, 1, 8, Dib8(3, 1)}});
    int asked = 0;
    std::optional<TIconChoice> answer = TIconChoice{1, 0x123456};
    ScopedHook hook([&](const TIconList &icons, std::uint32_t color) {
        ++asked;
        EXPECT_EQ(icons.Count(), 2);
        EXPECT_EQ(color, 0xFF00FFu);
        return answer;
    });
    TICOLoader loader;
    TLinearBitmap bmp;
    LoadBitmap(loader, file, bmp);
    EXPECT_EQ(bmp.Width, 3);
    EXPECT_EQ(loader.TransparentColor, 0x123456u);

    loader.TransparentColor = 0xFF00FF;
    answer.reset();
    bmp.New(7, 7, pf24bit);
    EXPECT_THROW(LoadBitmap(loader, file, bmp), EIconSelectionAborted);
    EXPECT_EQ(bmp.Width, 7);
    EXPECT_EQ(loader.TransparentColor, 0xFF00FFu);

    loader.NoDialog = true;
    LoadBitmap(loader, file, bmp);
    EXPECT_EQ(bmp.Width, 2);
    EXPECT_EQ(asked, 2);
}

TEST(ICOLoader, RegistrationAndCursorPicture)
{
    RegisterICOLoader();
    // A cursor as a picture: its first image, without asking anybody.
    ScopedHook hook([](const TIconList &, std::uint32_t) -> std::optional<TIconChoice> {
        ADD_FAILURE() << "a picture must not ask";
        return std::nullopt;
    });
    const std::string path = ::testing::TempDir() + "/picture.cur";
    {
        TFileStream f(path, fmWrite | fmCreate);
        const Bytes file = File(2, {{4, 2, 3, 1, Dib8(4, 2)}, {2, 2, 0, 0, Dib8(2, 2)}});
        f.Write(file.data(), int(file.size()));
    }
    platform::TPicture picture;
    picture.LoadFromFile(path);
    EXPECT_STREQ(picture.Graphic->ClassName(), "TIconGraphic");
    EXPECT_EQ(picture.Width(), 4);
    std::remove(path.c_str());

    EXPECT_EQ(BitmapLoaders.FindLoader("cur"), ICOLoader());
    EXPECT_EQ(BitmapLoaders.FindSaver("Ico"), ICOLoader());
    EXPECT_EQ(platform::FindFileFormat("cur")->Description, "Windows cursors");
    std::string filter;
    ICOLoader()->GetSaveFilter(filter);
    EXPECT_EQ(filter, "Windows icon (*.ico)|*.ico|Windows cursor (*.cur)|*.cur");
    EXPECT_FALSE(ICOLoader()->CanLoad("ICON"));
    UnregisterICOLoader();
    EXPECT_EQ(ICOLoader(), nullptr);
    EXPECT_FALSE(platform::FindFileFormat("cur"));
}
