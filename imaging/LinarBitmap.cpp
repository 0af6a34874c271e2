#include "imaging/LinarBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

namespace imaging {

namespace {

int PixelSizeOf(TPixelFormat pf)
{
    switch (pf) {
    case pf8bit: return 1;
    case pf16bit: return 2;
    case pf24bit: return 3;
    case pf32bit: return 4;
    default: return 0;
    }
}

std::unique_ptr<std::uint8_t[]> NewZeroed(std::int64_t bytes)
{
    return std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(bytes));
}

// Checks a size before anything is allocated: 64-bit arithmetic, at most
// 2^28 pixels.
void CheckSize(std::int64_t w, std::int64_t h)
{
    if (w < 1 || h < 1 || w * h > kMaxBitmapPixels)
        throw ELinearBitmap("Invalid bitmap size");
}

const std::uint8_t *PaletteOrGrey(const TLinearBitmap &b)
{
    return b.Palette ? b.Palette.get() : GreyPalette.data();
}

} // namespace

TPixelBlock NewPixelBlock(std::int64_t Bytes, bool Zeroed)
{
    if (Bytes < 1 || static_cast<std::uint64_t>(Bytes) > SIZE_MAX)
        throw std::bad_alloc();
    const auto n = static_cast<std::size_t>(Bytes);
    void *p = Zeroed ? std::calloc(n, 1) : std::malloc(n);
    if (!p)
        throw std::bad_alloc();
    return TPixelBlock(static_cast<std::uint8_t *>(p));
}

std::unique_ptr<TLinearBitmap> TLinearBitmap::CreateFrom(const TAssignObject &Source)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->Assign(Source);
    return b;
}

std::unique_ptr<TLinearBitmap> TLinearBitmap::CreateFrom(const QImage &Source)
{
    auto b = std::make_unique<TLinearBitmap>();
    b->AssignFromBitmap(Source);
    return b;
}

void TLinearBitmap::New(int W, int H, TPixelFormat PF)
{
    if (Present && W == Width && H == Height && PF == PixelFormat)
        return;
    const int ps = PixelSizeOf(PF);
    if (ps == 0)
        throw ELinearBitmap("Unsupported pixel format");
    CheckSize(W, H);
    const std::int64_t bpl = std::int64_t(W) * ps, size = bpl * H;
    // Everything is allocated before the old storage goes, so a failure
    // leaves the bitmap as it was.
    auto map = NewPixelBlock(size + 1);
    std::unique_ptr<std::uint8_t[]> palette;
    if (PF == pf8bit)
        palette = Palette ? std::move(Palette) : NewZeroed(768);
    Map = std::move(map);
    Palette = std::move(palette);
    Width = W;
    Height = H;
    PixelSize = ps;
    BytesPerLine = static_cast<int>(bpl);
    PixelFormat = PF;
    Size = static_cast<int>(size);
    Present = true;
}

void TLinearBitmap::Clear()
{
    Map.reset();
    Palette.reset();
    Present = false;
    Width = Height = Size = PixelSize = 0;
    PixelFormat = pfCustom;
}

void TLinearBitmap::TakeOver(TLinearBitmap &Source)
{
    if (&Source == this)
        return;
    Clear();
    Width = Source.Width;
    Height = Source.Height;
    PixelFormat = Source.PixelFormat;
    PixelSize = Source.PixelSize;
    BytesPerLine = Source.BytesPerLine;
    Size = Source.Size;
    Present = Source.Present;
    Map = std::move(Source.Map);
    Palette = std::move(Source.Palette);
    // The source is truly empty, not a size without pixels.
    Source.Clear();
    Source.BytesPerLine = 0;
}

void TLinearBitmap::PackLines()
{
    if (!Present || !Map)
        return;
    const std::int64_t tight = std::int64_t(Width) * PixelSize;
    if (BytesPerLine == tight)
        return;
    CheckSize(Width, Height);
    const std::int64_t newSize = tight * Height;
    auto map = NewPixelBlock(newSize + 1);
    const std::int64_t oldStride = BytesPerLine, oldSize = Size;
    const std::int64_t n = std::min(tight, oldStride);
    for (std::int64_t y = 0; y < Height && n > 0; ++y) {
        const std::int64_t from = y * oldStride;
        if (from + n > oldSize)
            break; // the old block never held this row
        std::memcpy(map.get() + y * tight, Map.get() + from, static_cast<std::size_t>(n));
    }
    Map = std::move(map);
    BytesPerLine = static_cast<int>(tight);
    Size = static_cast<int>(newSize);
}

void TLinearBitmap::CopyFrom(const TLinearBitmap &Source)
{
    if (&Source == this)
        return;
    if (!Source.Present || !Source.Map) {
        Clear();
        return;
    }
    New(Source.Width, Source.Height, Source.PixelFormat);
    const std::int64_t n = std::min<std::int64_t>(BytesPerLine, Source.BytesPerLine);
    if (BytesPerLine == Source.BytesPerLine) {
        std::memcpy(Map.get(), Source.Map.get(), static_cast<std::size_t>(Size));
    } else {
        for (int y = 0; y < Height; ++y)
            std::memcpy(ScanLine(y), Source.ScanLine(y), static_cast<std::size_t>(n));
    }
    if (PixelFormat == pf8bit)
        std::memcpy(Palette.get(), PaletteOrGrey(Source), 768);
}

void TLinearBitmap::Assign(const TAssignObject &Source)
{
    if (auto *bitmap = dynamic_cast<const TLinearBitmap *>(&Source)) {
        CopyFrom(*bitmap);
        return;
    }
    TAssignObject::Assign(Source);
}

void TLinearBitmap::AssignTo(TAssignObject &Dest) const
{
    if (auto *bitmap = dynamic_cast<TLinearBitmap *>(&Dest)) {
        bitmap->CopyFrom(*this);
        return;
    }
    TAssignObject::AssignTo(Dest);
}

void TLinearBitmap::FillBytes(std::uint8_t Value)
{
    if (Present && Map)
        std::memset(Map.get(), Value, static_cast<std::size_t>(Size));
}

void TLinearBitmap::Fill(std::uint32_t Color)
{
    if (!Present || !Map)
        return;
    if (Color == 0) {
        std::memset(Map.get(), 0, static_cast<std::size_t>(Size));
        return;
    }
    const std::uint8_t r = Color & 0xFF, g = (Color >> 8) & 0xFF, b = (Color >> 16) & 0xFF;
    if (PixelFormat == pf24bit || PixelFormat == pf32bit) {
        // 32-bit images get the colour too (fourth byte 0), not a grey.
        const std::uint8_t px[4] = {b, g, r, 0};
        const int ps = PixelSize;
        for (int y = 0; y < Height; ++y) {
            std::uint8_t *p = ScanLine(y);
            for (int x = 0; x < Width; ++x, p += ps)
                std::memcpy(p, px, static_cast<std::size_t>(ps));
        }
        return;
    }
    FillBytes(static_cast<std::uint8_t>((2 * r + 3 * g + b + 3) / 6));
}

bool TLinearBitmap::IsGreyscale() const
{
    if (!Present || !Map)
        return false;
    switch (PixelFormat) {
    case pf8bit: return std::memcmp(PaletteOrGrey(*this), GreyPalette.data(), 768) == 0;
    case pf16bit: return true;
    case pf24bit:
        for (int y = 0; y < Height; ++y) {
            const std::uint8_t *p = ScanLine(y);
            for (int x = 0; x < Width; ++x, p += 3)
                if (p[0] != p[1] || p[1] != p[2])
                    return false;
        }
        return true;
    default: return false;
    }
}

void TLinearBitmap::Resize(int NewWidth, int NewHeight, int OffsetX, int OffsetY, std::uint32_t FillColor)
{
    if (NewWidth < 1 || NewHeight < 1) {
        Clear();
        return;
    }
    if (!Present || !Map) {
        New(NewWidth, NewHeight, pf8bit);
        std::memcpy(Palette.get(), GreyPalette.data(), 768);
        Fill(FillColor);
        return;
    }
    if (NewWidth == Width && NewHeight == Height && OffsetX == 0 && OffsetY == 0)
        return;
    CheckSize(NewWidth, NewHeight);
    const std::int64_t ps = PixelSize;
    const std::int64_t newBpl = NewWidth * ps, newSize = newBpl * NewHeight;
    auto old = std::move(Map);
    const std::int64_t oldBpl = BytesPerLine, oldW = Width, oldH = Height;
    Map = NewPixelBlock(newSize + 1);
    BytesPerLine = static_cast<int>(newBpl);
    Size = static_cast<int>(newSize);
    Width = NewWidth;
    Height = NewHeight;
    Fill(FillColor);

    // Offsets may lie anywhere: 64-bit arithmetic, copies clipped to both rows.
    const std::int64_t ox = OffsetX, oy = OffsetY;
    const std::int64_t srcX = ox < 1 ? -ox : 0, dstX = ox < 1 ? 0 : ox;
    const std::int64_t pixels = std::min(oldW - srcX, std::int64_t(NewWidth) - dstX);
    if (pixels <= 0)
        return;
    const std::int64_t y0 = std::max<std::int64_t>(-oy, 0), y1 = std::min<std::int64_t>(oldH, NewHeight - oy);
    for (std::int64_t y = y0; y < y1; ++y)
        std::memcpy(Map.get() + (y + oy) * newBpl + dstX * ps, old.get() + y * oldBpl + srcX * ps,
                    static_cast<std::size_t>(pixels * ps));
}

void TLinearBitmap::ChangePixelFormat(TPixelFormat PF)
{
    if (!Present || !Map || PF == PixelFormat)
        return;
    if (PF != pf8bit && PF != pf24bit && PF != pf32bit)
        throw ELinearBitmap("Unsupported pixel format");
    const std::int64_t pixels = std::int64_t(Width) * Height;

    if (PF == pf24bit) {
        auto map = NewPixelBlock(pixels * 3 + 1);
        std::uint8_t *d = map.get();
        const std::uint8_t *pal = PaletteOrGrey(*this);
        for (int y = 0; y < Height; ++y) {
            const std::uint8_t *s = ScanLine(y);
            for (int x = 0; x < Width; ++x, d += 3) {
                switch (PixelFormat) {
                case pf8bit: std::memcpy(d, pal + 3 * s[x], 3); break;
                case pf16bit: d[0] = d[1] = d[2] = s[2 * x + 1]; break;
                default: std::memcpy(d, s + 4 * x, 3); break; // pf32bit
                }
            }
        }
        Palette.reset();
        Map = std::move(map);
    } else if (PF == pf32bit) {
        if (PixelFormat != pf24bit)
            ChangePixelFormat(pf24bit);
        auto map = NewPixelBlock(pixels * 4 + 1);
        std::uint8_t *d = map.get();
        for (int y = 0; y < Height; ++y) {
            const std::uint8_t *s = ScanLine(y);
            for (int x = 0; x < Width; ++x, d += 4, s += 3) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = 0;
            }
        }
        Palette.reset();
        Map = std::move(map);
    } else { // pf8bit
        if (PixelFormat == pf32bit)
            ChangePixelFormat(pf24bit);
        auto map = NewPixelBlock(pixels + 1);
        auto palette = NewZeroed(768);
        std::uint8_t *d = map.get();
        if (PixelFormat == pf16bit) {
            for (int y = 0; y < Height; ++y) {
                const std::uint8_t *s = ScanLine(y);
                for (int x = 0; x < Width; ++x)
                    *d++ = s[2 * x + 1];
            }
            std::memcpy(palette.get(), GreyPalette.data(), 768);
        } else { // pf24bit: 3 bits red, 3 bits green, 2 bits blue
            for (int y = 0; y < Height; ++y) {
                const std::uint8_t *s = ScanLine(y);
                for (int x = 0; x < Width; ++x, s += 3)
                    *d++ = static_cast<std::uint8_t>((s[0] >> 6) | ((s[1] >> 5) << 2) | (s[2] & 0xE0));
            }
            for (int i = 0; i < 256; ++i) {
                palette[3 * i + 2] = static_cast<std::uint8_t>(std::lround((i >> 5) * 255.0 / 7));
                palette[3 * i + 1] = static_cast<std::uint8_t>(std::lround(((i >> 2) & 7) * 255.0 / 7));
                palette[3 * i + 0] = static_cast<std::uint8_t>((i & 3) * 85);
            }
        }
        Palette = std::move(palette);
        Map = std::move(map);
    }
    PixelFormat = PF;
    PixelSize = PixelSizeOf(PF);
    BytesPerLine = Width * PixelSize;
    Size = BytesPerLine * Height;
}

std::string FileExtUpper(const std::string &FileName)
{
    const auto pos = FileName.find_last_of(".\\:/");
    if (pos == std::string::npos || FileName[pos] != '.')
        return {};
    return UpperCase(FileName.substr(pos + 1));
}

// ------------------------------------------------------------------ palettes

void FillGreyRamp(std::uint8_t *Palette, int Count)
{
    if (Count < 2)
        return;
    Count = std::min(Count, 256);
    for (int i = 0; i < Count; ++i)
        Palette[3 * i] = Palette[3 * i + 1] = Palette[3 * i + 2] = static_cast<std::uint8_t>(i * 255 / (Count - 1));
}

void PaletteToEntries(const std::uint8_t *Palette, TPaletteEntry *Entries, int Count)
{
    for (int i = 0; i < Count && i < 256; ++i)
        Entries[i] = {Palette[3 * i + 2], Palette[3 * i + 1], Palette[3 * i], 1};
}

QList<QRgb> MakeHPalette(const std::uint8_t *Palette, int Count)
{
    QList<QRgb> table;
    Count = std::clamp(Count, 0, 256);
    table.reserve(Count);
    for (int i = 0; i < Count; ++i)
        table.append(qRgb(Palette[3 * i + 2], Palette[3 * i + 1], Palette[3 * i]));
    return table;
}

void GetHPaletteEntries(const QList<QRgb> &Table, int Count, std::uint8_t *Palette)
{
    if (Table.isEmpty()) {
        std::memcpy(Palette, GreyPalette.data(), 768);
        return;
    }
    const int n = std::clamp<int>(std::min<qsizetype>(Count, Table.size()), 0, 256);
    for (int i = 0; i < n; ++i) {
        Palette[3 * i] = static_cast<std::uint8_t>(qBlue(Table[i]));
        Palette[3 * i + 1] = static_cast<std::uint8_t>(qGreen(Table[i]));
        Palette[3 * i + 2] = static_cast<std::uint8_t>(qRed(Table[i]));
    }
    std::memset(Palette + 3 * n, 0, static_cast<std::size_t>(768 - 3 * n));
}

void RGBToBGRPalette(const std::uint8_t *Source, std::uint8_t *Dest)
{
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t r = Source[3 * i], g = Source[3 * i + 1], b = Source[3 * i + 2];
        Dest[3 * i] = b;
        Dest[3 * i + 1] = g;
        Dest[3 * i + 2] = r;
    }
}

} // namespace imaging
