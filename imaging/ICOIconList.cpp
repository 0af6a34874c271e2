// The icon list: reading and writing the ICO/CUR file format, and turning one
// of its images into a linear bitmap or drawing it masked.
#include "imaging/ICOIconList.h"

#include <QImage>

#include <cstring>

namespace imaging {

namespace {

constexpr int kInfoHeaderSize = 40;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::uint32_t U16(const std::uint8_t *p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const std::uint8_t *p) { return U16(p) | (U16(p + 2) << 16); }
void Put16(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t> &out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A file that ends inside its header, directory or an image fails as a short
// read of the streams does. The checks against the stream's size find it
// before anything is allocated or sought for the missing part.
[[noreturn]] void DataEndsEarly() { throw EInOutError(kReadLessThanExpected); }

// The stream may have NoDataExcept off: a short read is an error here all
// the same, since every length was checked against the stream's size.
void ReadAll(TBaseStream &s, void *buffer, int count)
{
    if (s.Read(buffer, count) != count)
        DataEndsEarly();
}

} // namespace

// ---------------------------------------------------------------- TIconImage

TIconImage::TIconImage(int W, int Bits, int H) : Width(W), Height(H), BitCount(Bits)
{
    switch (Bits) {
    case 1: PixelFormat = pf1bit; break;
    case 4: PixelFormat = pf4bit; break;
    case 8: PixelFormat = pf8bit; break;
    case 24: PixelFormat = pf24bit; break;
    default: throw Exception(kUnsupportedPixelFormat);
    }
    if (W < 1 || W > 256 || H < 1 || H > 256)
        throw ELinearBitmap("Invalid bitmap size");
    XorBytesPerLine = (W * Bits + 31) / 32 * 4;
    AndBytesPerLine = ((W + 7) / 8 + 3) / 4 * 4;
    XorSize = XorBytesPerLine * H;
    AndSize = AndBytesPerLine * H;
    PaletteSize = Bits <= 8 ? 4 << Bits : 0;
    AndBits.assign(static_cast<std::size_t>(AndSize), 0);
    XorBits.assign(static_cast<std::size_t>(XorSize) + 1, 0);
    Palette.assign(static_cast<std::size_t>(PaletteSize / 4), TPaletteEntry{0, 0, 0, 0});
}

int TIconImage::PixelIndex(int Column, int Row) const
{
    const std::uint8_t *line = XorBits.data() + static_cast<std::size_t>(Row) * XorBytesPerLine;
    switch (BitCount) {
    case 1: return (line[Column / 8] >> (7 - Column % 8)) & 1;
    case 4: return Column % 2 ? line[Column / 2] & 0x0F : line[Column / 2] >> 4;
    default: return line[Column];
    }
}

std::uint32_t TIconImage::PixelColor(int Column, int Row) const
{
    if (BitCount == 24) {
        const std::uint8_t *p = XorBits.data() + static_cast<std::size_t>(Row) * XorBytesPerLine + 3 * Column;
        return p[2] | (p[1] << 8) | (p[0] << 16);
    }
    return EntryColor(Palette[static_cast<std::size_t>(PixelIndex(Column, Row))]);
}

int TIconImage::FindColor(std::uint32_t Color) const
{
    for (std::size_t i = 0; i < Palette.size(); ++i)
        if (EntryColor(Palette[i]) == (Color & 0xFFFFFF))
            return static_cast<int>(i);
    return -1;
}

QList<QRgb> TIconImage::CreatePalette() const
{
    QList<QRgb> table;
    for (const TPaletteEntry &e : Palette)
        table.append(qRgb(e.peRed, e.peGreen, e.peBlue));
    return table;
}

void TIconImage::DrawMasked(QImage &Canvas, int X, int Y) const
{
    if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 24)
        throw Exception(std::string(kUnsupportedPixelFormat) + ": " + std::to_string(BitCount) + " bits");
    const bool direct = Canvas.format() == QImage::Format_RGB32 || Canvas.format() == QImage::Format_ARGB32;
    for (int row = 0; row < Height; ++row) {
        const std::int64_t y = std::int64_t(Y) + Height - 1 - row;
        if (y < 0 || y >= Canvas.height())
            continue;
        QRgb *line = direct ? reinterpret_cast<QRgb *>(Canvas.scanLine(static_cast<int>(y))) : nullptr;
        for (int col = 0; col < Width; ++col) {
            const std::int64_t x = std::int64_t(X) + col;
            if (x < 0 || x >= Canvas.width() || Transparent(col, row))
                continue;
            const std::uint32_t c = PixelColor(col, row);
            const QRgb rgb = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
            if (direct)
                line[x] = rgb;
            else
                Canvas.setPixel(static_cast<int>(x), static_cast<int>(y), rgb);
        }
    }
}

void TIconImage::AssignTo(TAssignObject &Dest, std::int64_t Color) const
{
    auto *bitmap = dynamic_cast<TLinearBitmap *>(&Dest);
    if (!bitmap)
        throw Exception(std::string("Cannot assign ") + ClassName() + " to " + Dest.ClassName());
    const std::uint32_t color = Color == -1 ? 0xFF00FFu : static_cast<std::uint32_t>(Color) & 0xFFFFFF;
    int index = BitCount <= 8 ? FindColor(color) : -1;
    TLinearBitmap image;
    if (BitCount == 24 || (BitCount == 8 && index < 0)) {
        image.New(Width, Height, pf24bit);
        for (int row = 0; row < Height; ++row) {
            std::uint8_t *d = image.ScanLine(Height - 1 - row);
            for (int col = 0; col < Width; ++col, d += 3) {
                const std::uint32_t c = Transparent(col, row) ? color : PixelColor(col, row);
                d[0] = static_cast<std::uint8_t>(c >> 16);
                d[1] = static_cast<std::uint8_t>(c >> 8);
                d[2] = static_cast<std::uint8_t>(c);
            }
        }
    } else {
        image.New(Width, Height, pf8bit);
        std::uint8_t *pal = image.Palette.get(); // zeroed: the entries beyond the image's are black
        for (std::size_t i = 0; i < Palette.size(); ++i) {
            pal[3 * i] = Palette[i].peBlue;
            pal[3 * i + 1] = Palette[i].peGreen;
            pal[3 * i + 2] = Palette[i].peRed;
        }
        if (index < 0) {
            index = 255;
            pal[765] = static_cast<std::uint8_t>(color >> 16);
            pal[766] = static_cast<std::uint8_t>(color >> 8);
            pal[767] = static_cast<std::uint8_t>(color);
        }
        for (int row = 0; row < Height; ++row) {
            std::uint8_t *d = image.ScanLine(Height - 1 - row);
            for (int col = 0; col < Width; ++col)
                d[col] = static_cast<std::uint8_t>(Transparent(col, row) ? index : PixelIndex(col, row));
        }
    }
    bitmap->TakeOver(image);
}

// ----------------------------------------------------------------- TIconList

TIconImage &TIconList::Add(int Width, int Height, int BitCount)
{
    Images.push_back(std::make_unique<TIconImage>(Width, BitCount, Height));
    return *Images.back();
}

void TIconList::Clear()
{
    Images.clear();
    Skipped = 0;
}

void TIconList::LoadFromStream(TSeekableStream &Stream)
{
    Clear();
    Kind = ikUnknown;
    const std::int64_t base = Stream.Position();
    const std::int64_t size = std::int64_t(Stream.Size()) - base;
    if (size < 6)
        DataEndsEarly();
    std::uint8_t header[6];
    ReadAll(Stream, header, 6);
    const std::uint32_t type = U16(header + 2);
    Kind = type == 1 ? ikIcon : type == 2 ? ikCursor : ikUnknown;
    const int count = static_cast<int>(U16(header + 4));
    if (6 + 16 * std::int64_t(count) > size)
        DataEndsEarly();
    std::vector<std::uint8_t> directory(16 * static_cast<std::size_t>(count));
    if (count > 0)
        ReadAll(Stream, directory.data(), 16 * count);

    // Entries that share or overlap their data could make a small file
    // allocate gigabytes: the images kept may not add up to more than the file.
    std::int64_t total = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t *entry = directory.data() + 16 * i;
        const std::int64_t offset = U32(entry + 12);
        if (offset + kInfoHeaderSize > size)
            DataEndsEarly();
        Stream.Seek(static_cast<int>(base + offset));
        std::uint8_t info[kInfoHeaderSize];
        ReadAll(Stream, info, kInfoHeaderSize);
        const int width = entry[0], height = entry[1];
        const std::uint32_t bits = U16(info + 14), compression = U32(info + 16);
        // PNG-compressed, 32-bit, compressed and 256-pixel images (width or
        // height byte 0) are passed over; the others still load.
        if (std::memcmp(info, kPngSignature, 8) == 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24) ||
            compression != 0 || width == 0 || height == 0) {
            ++Skipped;
            continue;
        }
        const auto infoWidth = static_cast<std::int32_t>(U32(info + 4));
        const auto infoHeight = static_cast<std::int32_t>(U32(info + 8));
        if (infoWidth != width || infoHeight / 2 != height)
            throw Exception("Size mismatch in icon " + std::to_string(i));
        const std::int64_t xorSize = std::int64_t((width * bits + 31) / 32 * 4) * height;
        const std::int64_t andSize = std::int64_t(((width + 7) / 8 + 3) / 4 * 4) * height;
        const std::int64_t data = (bits <= 8 ? 4 << bits : 0) + xorSize + andSize;
        if (offset + kInfoHeaderSize + data > size)
            DataEndsEarly();
        total += kInfoHeaderSize + data;
        if (total > size)
            throw Exception("Icon directory claims more image data than the file holds");

        TIconImage &image = Add(width, height, static_cast<int>(bits));
        image.HotSpotX = static_cast<int>(U16(entry + 4));
        image.HotSpotY = static_cast<int>(U16(entry + 6));
        if (image.PaletteSize > 0) {
            std::vector<std::uint8_t> palette(static_cast<std::size_t>(image.PaletteSize));
            ReadAll(Stream, palette.data(), image.PaletteSize);
            for (std::size_t k = 0; k < image.Palette.size(); ++k)
                image.Palette[k] = {palette[4 * k + 2], palette[4 * k + 1], palette[4 * k], 1};
        }
        ReadAll(Stream, image.XorBits.data(), image.XorSize);
        ReadAll(Stream, image.AndBits.data(), image.AndSize);
    }
}

void TIconList::SaveToStream(TBaseStream &Stream) const
{
    if (Kind != ikIcon && Kind != ikCursor)
        throw Exception("Unsupported file format");
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, Kind);
    Put16(out, static_cast<std::uint32_t>(Count()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(Count());
    for (const auto &image : Images) {
        const std::uint32_t bytes = kInfoHeaderSize + image->PaletteSize + image->XorSize + image->AndSize;
        out.push_back(static_cast<std::uint8_t>(image->Width));
        out.push_back(static_cast<std::uint8_t>(image->Height));
        out.push_back(static_cast<std::uint8_t>(image->BitCount <= 8 ? 1 << image->BitCount : 0));
        out.push_back(0);
        Put16(out, static_cast<std::uint32_t>(image->HotSpotX));
        Put16(out, static_cast<std::uint32_t>(image->HotSpotY));
        Put32(out, bytes);
        Put32(out, offset);
        offset += bytes;
    }
    for (const auto &image : Images) {
        Put32(out, kInfoHeaderSize);
        Put32(out, static_cast<std::uint32_t>(image->Width));
        Put32(out, static_cast<std::uint32_t>(image->Height * 2));
        Put16(out, 1);
        Put16(out, static_cast<std::uint32_t>(image->BitCount));
        Put32(out, 0);
        Put32(out, static_cast<std::uint32_t>(image->XorSize + image->AndSize));
        out.insert(out.end(), 16, 0);
        for (const TPaletteEntry &e : image->Palette) {
            out.push_back(e.peBlue);
            out.push_back(e.peGreen);
            out.push_back(e.peRed);
            out.push_back(0);
        }
        out.insert(out.end(), image->XorBits.begin(), image->XorBits.begin() + image->XorSize);
        out.insert(out.end(), image->AndBits.begin(), image->AndBits.end());
    }
    if (Stream.Write(out.data(), static_cast<int>(out.size())) != static_cast<int>(out.size()))
        throw EStreamError(kReadLessThanExpected);
}

} // namespace imaging
