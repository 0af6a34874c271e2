#pragma once
// Pixel work on linear bitmaps: colour counts, a byte histogram, byte lookup
// tables, grey conversion, 4 x 4 colour matrices (YCbCr to RGB) and the
// CIE L*a*b* to RGB conversion.
//
// Byte order: the "first, second, third byte" of a 24-bit pixel are blue,
// green, red. Matrices and pixel functions read a pixel as third, second,
// first byte (red, green, blue); a matrix's outputs go back to the third,
// second and first byte, a pixel function's to the first, second and third.
#include "imaging/LinarBitmap.h"

#include <array>
#include <cstdint>

namespace imaging {

// Row-major. Rows 0..2 are (m0, m1, m2, offset) of one output channel; row 3
// is (0, 0, 0, 1).
using TColorMatrix = std::array<std::array<double, 4>, 4>;

// The 3 x 3 part inverted through its cofactors; the offset column becomes
// minus the inverse times the source's offsets. The matrix must be invertible
// (callers pass fixed matrices only).
constexpr TColorMatrix InvertMatrix(const TColorMatrix &Source)
{
    const auto &m = Source;
    double c[3][3] = {}; // c[i][j]: cofactor of element (i, j)
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int r0 = i == 0 ? 1 : 0, r1 = i == 2 ? 1 : 2;
            const int c0 = j == 0 ? 1 : 0, c1 = j == 2 ? 1 : 2;
            const double minor = m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
            c[i][j] = (i + j) % 2 ? -minor : minor;
        }
    const double det = m[0][0] * c[0][0] + m[0][1] * c[0][1] + m[0][2] * c[0][2];
    const double f = 1.0 / det;
    TColorMatrix d{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            d[i][j] = c[j][i] * f;
        d[i][3] = -(d[i][0] * m[0][3] + d[i][1] * m[1][3] + d[i][2] * m[2][3]);
    }
    d[3] = {0, 0, 0, 1};
    return d;
}
inline void InvertMatrix(const TColorMatrix &Source, TColorMatrix &Dest) { Dest = InvertMatrix(Source); }

// Red, green, blue to Y, Cb, Cr (chroma offset 127.5).
inline constexpr TColorMatrix YCbCrMatrix = {{
    {0.299, 0.587, 0.114, 0},
    {-0.16875, -0.33126, 0.5, 127.5},
    {0.5, -0.41869, -0.08131, 127.5},
    {0, 0, 0, 1},
}};
// Y, Cb, Cr to red, green, blue; computed once, at compile time.
inline constexpr TColorMatrix YCbCrToRGBMatrix = InvertMatrix(YCbCrMatrix);

// Counts per byte value of one channel: 0..2 that byte of every pixel,
// 3 every byte of the image. An 8-bit image always counts every byte.
struct THistogram {
    std::array<std::uint32_t, 256> Counts{};
    std::int32_t Count = 0; // samples counted

    void Build(const TLinearBitmap &Bitmap, int Channel);
    int UsedLevels() const; // counters that are not 0
};

// Distinct colours: 24- and 32-bit images count distinct blue-green-red
// triples (the fourth byte is no colour), 16-bit grey images distinct grey
// levels, 8-bit images the distinct indices used. An empty bitmap has 0.
int CountColors(const TLinearBitmap &Bitmap);

// A byte table after a leading 32-bit field that the routines do not read.
struct TByteLookup {
    std::int32_t Tag = 0;
    std::uint8_t Table[256] = {};
};
// Each selected byte b becomes Table[b]. Channel 3, or an 8-bit image: every
// byte. Channel 0..2 of a 24-, 32- or 16-bit image: that byte of every pixel.
void ApplyLookup(const TByteLookup &Lookup, TLinearBitmap &Bitmap, int Channel);

// Dest becomes an 8-bit image with the grey ramp palette; a 24-bit pixel
// becomes (2R + 3G + B + 3) div 6. Source and Dest may be the same bitmap.
void MakeGreyCopy(const TLinearBitmap &Source, TLinearBitmap &Dest);
// In place, to 8-bit grey: 8-bit images through their palette, 24- and
// 32-bit images per pixel, 16-bit grey images keep their high bytes. An
// empty bitmap stays empty; other formats raise "Unsupported pixel format".
void ConvertToGrey(TLinearBitmap &Bitmap);

// Out_k := clamp(round(C0 m[k][0] + C1 m[k][1] + C2 m[k][2] + m[k][3])) in
// extended precision, rounding ties to even, clamped to 0..255.
void ApplyMatrixToPixel(std::uint8_t C0, std::uint8_t C1, std::uint8_t C2, const TColorMatrix &Matrix,
                        std::uint8_t &Out0, std::uint8_t &Out1, std::uint8_t &Out2);

// Called with a pixel's third, second and first byte and its first, second
// and third output byte.
using TPixelFunction = void (*)(std::uint8_t C0, std::uint8_t C1, std::uint8_t C2, std::uint8_t &Out0,
                                std::uint8_t &Out1, std::uint8_t &Out2);

// CIE L*a*b* bytes (L 0..255 for 0..100, a and b around 127.5) to RGB under
// the D65 white point, without a gamma curve.
void LabToRGB(std::uint8_t L, std::uint8_t A, std::uint8_t B, std::uint8_t &OutBlue, std::uint8_t &OutGreen,
              std::uint8_t &OutRed);

// 24-bit images only (others raise "Unsupported pixel format"). With a Dest
// other than Bitmap, Dest becomes a new 24-bit image of the same size with
// the result and Bitmap stays as it is; otherwise Bitmap changes in place.
void ApplyMatrix(TLinearBitmap &Bitmap, const TColorMatrix &Matrix, TLinearBitmap *Dest = nullptr);
void ApplyPixelFunction(TLinearBitmap &Bitmap, TPixelFunction Function, TLinearBitmap *Dest = nullptr);

} // namespace imaging
