#include "imaging/MetafileWriter.h"

#include <cmath>
#include <cstring>

namespace imaging {

namespace {

constexpr std::uint32_t kSrcCopy = 0x00CC0020;

void Put16(std::string &s, int v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string &s, std::int64_t v)
{
    Put16(s, static_cast<int>(v & 0xFFFF));
    Put16(s, static_cast<int>((v >> 16) & 0xFFFF));
}

// The picture as a bottom-up DIB: information header (and colour table for
// 8-bit), and the pixels with rows padded to four bytes, apart.
struct TDIB {
    std::string Info, Bits;
    bool Paletted = false;
};

TDIB MakeDIB(const TLinearBitmap &Source)
{
    const TLinearBitmap *b = &Source;
    TLinearBitmap copy;
    if (Source.PixelFormat != pf8bit && Source.PixelFormat != pf24bit) {
        copy.Assign(Source);
        copy.ChangePixelFormat(pf24bit);
        b = &copy;
    }
    TDIB d;
    d.Paletted = b->PixelFormat == pf8bit;
    const int bits = d.Paletted ? 8 : 24;
    const std::int64_t stride = (std::int64_t(b->Width) * bits / 8 + 3) & ~std::int64_t(3);
    Put32(d.Info, 40);
    Put32(d.Info, b->Width);
    Put32(d.Info, b->Height);
    Put16(d.Info, 1);
    Put16(d.Info, bits);
    Put32(d.Info, 0);
    Put32(d.Info, stride * b->Height);
    Put32(d.Info, 3780); // 96 pixels per inch
    Put32(d.Info, 3780);
    Put32(d.Info, d.Paletted ? 256 : 0);
    Put32(d.Info, 0);
    if (d.Paletted)
        for (int i = 0; i < 256; ++i) {
            d.Info.append(reinterpret_cast<const char *>(b->Palette.get()) + 3 * i, 3);
            d.Info += '\0';
        }
    d.Bits.assign(std::size_t(stride) * std::size_t(b->Height), '\0');
    for (int y = 0; y < b->Height; ++y)
        std::memcpy(d.Bits.data() + std::size_t(b->Height - 1 - y) * std::size_t(stride), b->ScanLine(y),
                    std::size_t(b->BytesPerLine));
    return d;
}

void CheckPicture(const TLinearBitmap &Bitmap)
{
    if (!Bitmap.Present || Bitmap.Width <= 0 || Bitmap.Height <= 0)
        throw ELinearBitmap("Invalid bitmap size");
}

// One WMF record: its size in words, the function, the parameters.
void WMFRecord(std::string &s, std::uint32_t &MaxWords, int Func, const std::string &Params)
{
    const std::uint32_t words = 3 + static_cast<std::uint32_t>(Params.size() / 2);
    MaxWords = std::max(MaxWords, words);
    Put32(s, words);
    Put16(s, Func);
    s += Params;
}

std::string Words(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        Put16(s, v);
    return s;
}

void EMFRecord(std::string &s, std::uint32_t &Count, std::uint32_t Type, const std::string &Params)
{
    Put32(s, Type);
    Put32(s, 8 + static_cast<std::int64_t>(Params.size()));
    s += Params;
    ++Count;
}

std::string Longs(std::initializer_list<std::int64_t> values)
{
    std::string s;
    for (auto v : values)
        Put32(s, v);
    return s;
}

// The logical palette of an 8-bit picture: version, count, then red, green,
// blue and flags per entry.
std::string LogPalette(const TLinearBitmap &Bitmap)
{
    std::string pal = Words({0x0300, 256});
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t *e = Bitmap.Palette.get() + 3 * i;
        pal += {static_cast<char>(e[2]), static_cast<char>(e[1]), static_cast<char>(e[0]), '\0'};
    }
    return pal;
}

} // namespace

std::string WriteWMF(const TLinearBitmap &Bitmap)
{
    CheckPicture(Bitmap);
    if (Bitmap.Width > 32767 || Bitmap.Height > 32767)
        throw ELinearBitmap("A Windows metafile holds at most 32767 pixels per side");
    const int w = Bitmap.Width, h = Bitmap.Height;
    const TDIB dib = MakeDIB(Bitmap);

    std::string records;
    std::uint32_t maxWords = 0;
    WMFRecord(records, maxWords, 0x020B, Words({0, 0}));
    WMFRecord(records, maxWords, 0x020C, Words({h, w}));
    WMFRecord(records, maxWords, 0x0107, Words({3})); // colour on colour
    if (dib.Paletted) {
        WMFRecord(records, maxWords, 0x00F7, LogPalette(Bitmap));
        WMFRecord(records, maxWords, 0x0234, Words({0}));
        WMFRecord(records, maxWords, 0x0035, "");
    }
    WMFRecord(records, maxWords, 0x0F43,
              Words({int(kSrcCopy & 0xFFFF), int(kSrcCopy >> 16), 0, h, w, 0, 0, h, w, 0, 0}) + dib.Info + dib.Bits);
    WMFRecord(records, maxWords, 0x0000, "");

    std::string out;
    const std::string place = Longs({0x9AC6CDD7}) + Words({0, 0, 0, w, h, 96, 0, 0});
    Put32(out, 0x9AC6CDD7);
    out += place.substr(4);
    int checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= static_cast<std::uint8_t>(out[2 * i]) | (static_cast<std::uint8_t>(out[2 * i + 1]) << 8);
    Put16(out, checksum);
    const std::uint32_t totalWords = 9 + static_cast<std::uint32_t>(records.size() / 2);
    out += Words({1, 9, 0x0300});
    Put32(out, totalWords);
    Put16(out, dib.Paletted ? 1 : 0);
    Put32(out, maxWords);
    Put16(out, 0);
    return out + records;
}

std::string WriteEMF(const TLinearBitmap &Bitmap)
{
    CheckPicture(Bitmap);
    const std::int64_t w = Bitmap.Width, h = Bitmap.Height;
    const TDIB dib = MakeDIB(Bitmap);
    std::string records;
    std::uint32_t count = 1; // the header
    EMFRecord(records, count, 21, Longs({3}));
    if (dib.Paletted) {
        EMFRecord(records, count, 49, Longs({1}) + LogPalette(Bitmap));
        EMFRecord(records, count, 48, Longs({1}));
        EMFRecord(records, count, 52, "");
    }
    const std::int64_t offBmi = 80, cbBmi = std::int64_t(dib.Info.size());
    EMFRecord(records, count, 81,
              Longs({0, 0, w - 1, h - 1, 0, 0, 0, 0, w, h, offBmi, cbBmi, offBmi + cbBmi,
                     std::int64_t(dib.Bits.size()), 0, kSrcCopy, w, h}) +
                  dib.Info + dib.Bits);
    EMFRecord(records, count, 14, Longs({0, 16, 20}));

    // The frame in hundredths of a millimetre, the reference device at 96
    // pixels per inch: the picture plays back at its own size.
    const std::int64_t frameW = std::llround(double(w) * 2540 / 96), frameH = std::llround(double(h) * 2540 / 96);
    std::string header = Longs({0, 0, w - 1, h - 1, 0, 0, frameW, frameH, 0x464D4520, 0x10000});
    const std::int64_t total = 108 + std::int64_t(records.size());
    header += Longs({total, count});
    header += Words({dib.Paletted ? 2 : 1, 0});
    header += Longs({0, 0, 0, 960, 960, 254, 254, 0, 0, 0, 254000, 254000});
    std::string out;
    Put32(out, 1);
    Put32(out, 108);
    return out + header + records;
}

} // namespace imaging
