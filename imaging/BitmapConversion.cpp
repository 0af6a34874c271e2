#include "imaging/BitmapConversion.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace imaging {

namespace {

inline std::uint8_t GreyOf(std::uint8_t b, std::uint8_t g, std::uint8_t r)
{
    return static_cast<std::uint8_t>((2 * r + 3 * g + b + 3) / 6);
}

// Round to nearest with ties to even (the default rounding mode), then clamp.
inline std::uint8_t ClampRound(long double v)
{
    const long double r = std::nearbyint(v);
    if (!(r > 0)) // negative values and NaN
        return 0;
    return r >= 255 ? 255 : static_cast<std::uint8_t>(r);
}

bool HasPixels(const TLinearBitmap &b)
{
    return b.Present && b.Map && b.Size > 0;
}

// Counts the distinct values of `bits`-bit keys given per pixel by `key`.
template <typename Key>
int CountDistinct(const TLinearBitmap &b, int bits, Key key)
{
    std::vector<std::uint64_t> seen((std::size_t(1) << bits) / 64);
    int n = 0;
    for (int y = 0; y < b.Height; ++y) {
        const std::uint8_t *p = b.ScanLine(y);
        for (int x = 0; x < b.Width; ++x, p += b.PixelSize) {
            const std::uint32_t k = key(p);
            std::uint64_t &word = seen[k >> 6];
            const std::uint64_t bit = std::uint64_t(1) << (k & 63);
            n += (word & bit) == 0;
            word |= bit;
        }
    }
    return n;
}

// The selection of ApplyLookup and THistogram::Build: first byte and step.
void Selection(const TLinearBitmap &b, int channel, int &start, int &step)
{
    if (channel >= 0 && channel < 3 && b.PixelSize > 1 && channel < b.PixelSize) {
        start = channel;
        step = b.PixelSize;
    } else {
        start = 0;
        step = 1;
    }
}

void Require24(const TLinearBitmap &b)
{
    if (!HasPixels(b) || b.PixelFormat != pf24bit)
        throw ELinearBitmap("Unsupported pixel format");
}

// Calls `f` for every pixel of Bitmap with its third, second and first byte
// and its first, second and third output byte (into Dest when given and
// distinct).
template <typename F>
void ForEachPixel(TLinearBitmap &Bitmap, TLinearBitmap *Dest, F f)
{
    Require24(Bitmap);
    TLinearBitmap *out = &Bitmap;
    if (Dest && Dest != &Bitmap) {
        Dest->Clear();
        Dest->New(Bitmap.Width, Bitmap.Height, pf24bit);
        out = Dest;
    }
    const std::uint8_t *s = Bitmap.Map.get();
    std::uint8_t *d = out->Map.get();
    for (std::int64_t i = 0, n = std::int64_t(Bitmap.Width) * Bitmap.Height; i < n; ++i, s += 3, d += 3) {
        const std::uint8_t c0 = s[2], c1 = s[1], c2 = s[0];
        f(c0, c1, c2, d[0], d[1], d[2]);
    }
}

} // namespace

void THistogram::Build(const TLinearBitmap &Bitmap, int Channel)
{
    Counts.fill(0);
    Count = 0;
    if (!HasPixels(Bitmap))
        return;
    int start, step;
    Selection(Bitmap, Bitmap.PixelFormat == pf8bit ? 3 : Channel, start, step);
    const std::uint8_t *p = Bitmap.Map.get();
    for (std::int64_t i = start; i < Bitmap.Size; i += step)
        ++Counts[p[i]];
    Count = static_cast<std::int32_t>((Bitmap.Size - start + step - 1) / step);
}

int THistogram::UsedLevels() const
{
    int n = 0;
    for (auto c : Counts)
        n += c != 0;
    return n;
}

int CountColors(const TLinearBitmap &Bitmap)
{
    if (!HasPixels(Bitmap))
        return 0;
    switch (Bitmap.PixelFormat) {
    case pf24bit:
    case pf32bit:
        // One bit per colour in a 2 MiB set: faster than sorting or hashing.
        return CountDistinct(Bitmap, 24, [](const std::uint8_t *p) {
            return (std::uint32_t(p[0]) + 256u * p[1]) * 256u + p[2];
        });
    case pf16bit:
        return CountDistinct(Bitmap, 16, [](const std::uint8_t *p) { return std::uint32_t(p[0]) | p[1] << 8; });
    default: {
        THistogram h;
        h.Build(Bitmap, 3);
        return h.UsedLevels();
    }
    }
}

void ApplyLookup(const TByteLookup &Lookup, TLinearBitmap &Bitmap, int Channel)
{
    if (!HasPixels(Bitmap))
        return;
    int start, step;
    Selection(Bitmap, Bitmap.PixelFormat == pf8bit ? 3 : Channel, start, step);
    std::uint8_t *p = Bitmap.Map.get();
    for (std::int64_t i = start; i < Bitmap.Size; i += step)
        p[i] = Lookup.Table[p[i]];
}

void MakeGreyCopy(const TLinearBitmap &Source, TLinearBitmap &Dest)
{
    if (&Source == &Dest) {
        // Making the copy in place would free the pixels it reads.
        TLinearBitmap grey;
        MakeGreyCopy(Source, grey);
        Dest.TakeOver(grey);
        return;
    }
    if (Source.PixelFormat != pf24bit || !HasPixels(Source)) {
        Dest.Assign(Source);
        ConvertToGrey(Dest);
        return;
    }
    Dest.Clear();
    Dest.New(Source.Width, Source.Height, pf8bit);
    std::memcpy(Dest.Palette.get(), GreyPalette.data(), 768);
    const std::uint8_t *s = Source.Map.get();
    std::uint8_t *d = Dest.Map.get();
    for (std::int64_t i = 0, n = std::int64_t(Source.Width) * Source.Height; i < n; ++i, s += 3)
        d[i] = GreyOf(s[0], s[1], s[2]);
}

void ConvertToGrey(TLinearBitmap &Bitmap)
{
    if (!HasPixels(Bitmap))
        return;
    switch (Bitmap.PixelFormat) {
    case pf8bit: {
        std::uint8_t table[256];
        const std::uint8_t *pal = Bitmap.Palette ? Bitmap.Palette.get() : GreyPalette.data();
        for (int i = 0; i < 256; ++i)
            table[i] = GreyOf(pal[3 * i], pal[3 * i + 1], pal[3 * i + 2]);
        std::uint8_t *p = Bitmap.Map.get();
        for (int i = 0; i < Bitmap.Size; ++i)
            p[i] = table[p[i]];
        if (!Bitmap.Palette)
            Bitmap.Palette = std::make_unique<std::uint8_t[]>(768);
        std::memcpy(Bitmap.Palette.get(), GreyPalette.data(), 768);
        return;
    }
    case pf16bit:
        Bitmap.ChangePixelFormat(pf8bit); // the high bytes, grey palette
        return;
    case pf32bit:
        Bitmap.ChangePixelFormat(pf24bit);
        [[fallthrough]];
    case pf24bit: {
        TLinearBitmap grey;
        MakeGreyCopy(Bitmap, grey);
        Bitmap.TakeOver(grey);
        return;
    }
    default:
        throw ELinearBitmap("Unsupported pixel format");
    }
}

void ApplyMatrixToPixel(std::uint8_t C0, std::uint8_t C1, std::uint8_t C2, const TColorMatrix &M,
                        std::uint8_t &Out0, std::uint8_t &Out1, std::uint8_t &Out2)
{
    const long double a = C0, b = C1, c = C2;
    const auto row = [&](int k) {
        return ClampRound(a * M[k][0] + b * M[k][1] + c * M[k][2] + static_cast<long double>(M[k][3]));
    };
    Out0 = row(0);
    Out1 = row(1);
    Out2 = row(2);
}

void LabToRGB(std::uint8_t Lbyte, std::uint8_t Abyte, std::uint8_t Bbyte, std::uint8_t &OutBlue,
              std::uint8_t &OutGreen, std::uint8_t &OutRed)
{
    using R = long double;
    const R L = Lbyte * R(100) / 255, a = (Abyte - R(127.5)) * 200 / 255, b = (Bbyte - R(127.5)) * 200 / 255;
    const R t = (L + 16) / 116;
    R Y = t * t * t;
    if (Y <= R(0.008856))
        Y = L / R(903.3);
    const R fy = Y <= R(0.008856) ? R(7.787) * Y + R(16) / 116 : std::cbrt(Y);
    const auto inverse = [](R f) { return f <= R(0.206893) ? (f - R(16) / 116) / R(7.787) : f * f * f; };
    const R X = inverse(a / 500 + fy) * R(0.950456);
    const R Z = inverse(fy - b / 200) * R(1.088754);
    OutRed = ClampRound(255 * (R(3.240479) * X - R(1.53715) * Y - R(0.498535) * Z));
    OutGreen = ClampRound(255 * (R(-0.969256) * X + R(1.875992) * Y + R(0.041556) * Z));
    OutBlue = ClampRound(255 * (R(0.055648) * X - R(0.204043) * Y + R(1.057311) * Z));
}

void ApplyMatrix(TLinearBitmap &Bitmap, const TColorMatrix &Matrix, TLinearBitmap *Dest)
{
    // The matrix's first output is the third byte.
    ForEachPixel(Bitmap, Dest, [&Matrix](std::uint8_t c0, std::uint8_t c1, std::uint8_t c2, std::uint8_t &first,
                                         std::uint8_t &second, std::uint8_t &third) {
        ApplyMatrixToPixel(c0, c1, c2, Matrix, third, second, first);
    });
}

void ApplyPixelFunction(TLinearBitmap &Bitmap, TPixelFunction Function, TLinearBitmap *Dest)
{
    ForEachPixel(Bitmap, Dest, Function);
}

} // namespace imaging
