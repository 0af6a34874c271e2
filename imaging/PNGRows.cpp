#include "imaging/PNGRows.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imaging::pngrows {

namespace {

inline std::uint8_t PaethPredict(int a, int b, int c)
{
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc)
        return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

void UnfilterScalar(int type, std::uint8_t *row, const std::uint8_t *prev, int n, int bpp)
{
    const int head = bpp < n ? bpp : n;
    switch (type) {
    case 1:
        for (int i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
        break;
    case 3:
        for (int i = 0; i < head; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + (prev[i] >> 1));
        for (int i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - bpp] + prev[i]) >> 1));
        break;
    case 4:
        for (int i = 0; i < head; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prev[i]); // Paeth(0, up, 0) is up
        for (int i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + PaethPredict(row[i - bpp], prev[i], prev[i - bpp]));
        break;
    default:
        break;
    }
}

#if defined(__SSE2__)
// One pixel of 2 to 8 bytes per step, in the low lanes of a register: the
// left pixel is the only dependency, so the lanes of a pixel go together.
// Loads take 8 bytes (the rows have padding); stores write the pixel only.
inline __m128i Load(const std::uint8_t *p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)); }
template <int Bpp> inline void Store(std::uint8_t *p, __m128i v)
{
    const long long x = _mm_cvtsi128_si64(v);
    std::memcpy(p, &x, Bpp);
}

template <int Bpp> void SubSSE2(std::uint8_t *row, int n)
{
    __m128i a = _mm_setzero_si128();
    for (int i = 0; i < n; i += Bpp) {
        a = _mm_add_epi8(a, Load(row + i));
        Store<Bpp>(row + i, a);
    }
}

template <int Bpp> void AvgSSE2(std::uint8_t *row, const std::uint8_t *prev, int n)
{
    const __m128i one = _mm_set1_epi8(1);
    __m128i a = _mm_setzero_si128();
    for (int i = 0; i < n; i += Bpp) {
        const __m128i b = Load(prev + i);
        // avg_epu8 rounds up: take the carry back for the floor.
        const __m128i avg = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
        a = _mm_add_epi8(avg, Load(row + i));
        Store<Bpp>(row + i, a);
    }
}

template <int Bpp> void PaethSSE2(std::uint8_t *row, const std::uint8_t *prev, int n)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_set1_epi16(0xFF);
    auto abs16 = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    auto select = [](__m128i mask, __m128i t, __m128i f) {
        return _mm_or_si128(_mm_and_si128(mask, t), _mm_andnot_si128(mask, f));
    };
    __m128i a = zero, c = zero; // 16-bit lanes
    for (int i = 0; i < n; i += Bpp) {
        const __m128i b = _mm_unpacklo_epi8(Load(prev + i), zero);
        const __m128i x = _mm_unpacklo_epi8(Load(row + i), zero);
        const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
        const __m128i pa = abs16(bc), pb = abs16(ac), pc = abs16(_mm_add_epi16(bc, ac));
        const __m128i least = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
        // a when pa is least; else b when pb is; else c (the tie order of Paeth).
        const __m128i pred = select(_mm_cmpeq_epi16(least, pa), a, select(_mm_cmpeq_epi16(least, pb), b, c));
        a = _mm_and_si128(_mm_add_epi16(x, pred), low);
        Store<Bpp>(row + i, _mm_packus_epi16(a, a));
        c = b;
    }
}

template <int Bpp> bool UnfilterSSE2(int type, std::uint8_t *row, const std::uint8_t *prev, int n)
{
    switch (type) {
    case 1: SubSSE2<Bpp>(row, n); return true;
    case 3: AvgSSE2<Bpp>(row, prev, n); return true;
    case 4: PaethSSE2<Bpp>(row, prev, n); return true;
    default: return false;
    }
}
#endif

} // namespace

void Unfilter(int type, std::uint8_t *row, const std::uint8_t *prev, int n, int bpp) noexcept
{
    if (type == 0 || n <= 0)
        return;
    if (type == 2) {
        for (int i = 0; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prev[i]);
        return;
    }
#if defined(__SSE2__)
    // Whole pixels only: rows of 8 bits and more per sample always are.
    switch (bpp) {
    case 2: UnfilterSSE2<2>(type, row, prev, n); return;
    case 3: UnfilterSSE2<3>(type, row, prev, n); return;
    case 4: UnfilterSSE2<4>(type, row, prev, n); return;
    case 6: UnfilterSSE2<6>(type, row, prev, n); return;
    case 8: UnfilterSSE2<8>(type, row, prev, n); return;
    default: break;
    }
#endif
    UnfilterScalar(type, row, prev, n, bpp);
}

void ConvertRow(const RowFormat &f, const std::uint8_t *raw, int count, std::uint8_t *dst,
                std::uint8_t *alpha) noexcept
{
    if (f.Depth < 8) {
        // Whole bytes first, most significant bits first; then the last bits.
        const int d = f.Depth, perByte = 8 / d, mask = (1 << d) - 1;
        const int whole = count / perByte;
        for (int i = 0; i < whole; ++i) {
            const unsigned v = raw[i];
            for (int k = 0; k < perByte; ++k)
                dst[k] = static_cast<std::uint8_t>((v >> (8 - d * (k + 1))) & mask);
            dst += perByte;
        }
        for (int k = 0; k < count - whole * perByte; ++k)
            dst[k] = static_cast<std::uint8_t>((raw[whole] >> (8 - d * (k + 1))) & mask);
        return;
    }
    if (f.Depth == 8) {
        switch (f.Samples) {
        case 1:
            std::memcpy(dst, raw, static_cast<std::size_t>(count));
            return;
        case 2:
            for (int x = 0; x < count; ++x)
                dst[x] = raw[2 * x];
            if (alpha)
                for (int x = 0; x < count; ++x)
                    alpha[x] = raw[2 * x + 1];
            return;
        case 3:
            if (f.Intrapixel) {
                for (int x = 0; x < count; ++x, raw += 3, dst += 3) {
                    const std::uint8_t g = raw[1];
                    dst[0] = static_cast<std::uint8_t>(raw[2] + g);
                    dst[1] = g;
                    dst[2] = static_cast<std::uint8_t>(raw[0] + g);
                }
                return;
            }
            for (int x = 0; x < count; ++x, raw += 3, dst += 3) {
                dst[0] = raw[2];
                dst[1] = raw[1];
                dst[2] = raw[0];
            }
            return;
        default: {
            const std::uint8_t *r = raw;
            const int add = f.Intrapixel ? 1 : 0;
            for (int x = 0; x < count; ++x, r += 4, dst += 3) {
                const std::uint8_t g = r[1], k = static_cast<std::uint8_t>(g * add);
                dst[0] = static_cast<std::uint8_t>(r[2] + k);
                dst[1] = g;
                dst[2] = static_cast<std::uint8_t>(r[0] + k);
            }
            if (alpha)
                for (int x = 0; x < count; ++x)
                    alpha[x] = raw[4 * x + 3];
            return;
        }
        }
    }
    // 16 bits per sample, big-endian in the file.
    const int step = 2 * f.Samples;
    switch (f.Samples) {
    case 1:
        for (int x = 0; x < count; ++x) {
            dst[2 * x] = raw[2 * x + 1];
            dst[2 * x + 1] = raw[2 * x];
        }
        return;
    case 2:
        for (int x = 0; x < count; ++x) {
            dst[2 * x] = raw[4 * x + 1];
            dst[2 * x + 1] = raw[4 * x];
            if (alpha)
                alpha[x] = raw[4 * x + 2];
        }
        return;
    default:
        for (int x = 0; x < count; ++x, raw += step, dst += 3) {
            int r = (raw[0] << 8) | raw[1], g = (raw[2] << 8) | raw[3], b = (raw[4] << 8) | raw[5];
            if (f.Intrapixel) {
                // The difference is of whole 16-bit samples: the carry reaches the high byte.
                r = (r + g) & 0xFFFF;
                b = (b + g) & 0xFFFF;
            }
            dst[0] = static_cast<std::uint8_t>(b >> 8);
            dst[1] = static_cast<std::uint8_t>(g >> 8);
            dst[2] = static_cast<std::uint8_t>(r >> 8);
            if (alpha && f.Samples == 4)
                alpha[x] = raw[6];
        }
        return;
    }
}

} // namespace imaging::pngrows
