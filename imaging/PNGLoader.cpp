// The PNG/MNG writer and the loader's registration.
#include "imaging/PNGLoader.h"

#include "imaging/Adler32.h"
#include "imaging/BufStream.h"
#include "imaging/CRC32Stream.h"
#include "imaging/Deflate.h"
#include "imaging/MemStream.h"
#include "imaging/Progress.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imaging {

const char *const PNGDescription = "Portable Network Graphics";
const char *const MNGDescription = "Multiple-image Network Graphics";

namespace {

const std::uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const std::uint8_t MngSignature[8] = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};


void PutU32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

void WriteAll(TBaseStream &s, const void *data, int count)
{
    if (count > 0 && s.Write(data, count) != count)
        throw EInOutError(kReadLessThanExpected);
}

void WriteU32(TBaseStream &s, std::uint32_t v)
{
    std::uint8_t b[4];
    PutU32(b, v);
    WriteAll(s, b, 4);
}

// Length straight to the stream, type and data through the CRC stream, CRC straight.
void WriteChunk(TBaseStream &out, TCRC32Stream &crc, const char *type, const std::uint8_t *data, int count)
{
    WriteU32(out, static_cast<std::uint32_t>(count));
    crc.ResetCRC();
    WriteAll(crc, type, 4);
    WriteAll(crc, data, count);
    WriteU32(out, crc.GetCRC());
}

inline int Paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

struct Layout {
    int Depth = 8;
    int ColourType = 2;
    int Samples = 3;
};

int MaxIndex(const TLinearBitmap &b)
{
    int m = 0;
    const std::uint8_t *p = b.Map.get();
    for (std::int64_t i = 0, n = std::int64_t(b.Width) * b.Height; i < n; ++i)
        m = std::max<int>(m, p[i]);
    return m;
}

Layout ChooseLayout(const TLinearBitmap &b, int bitDepthOption)
{
    switch (b.PixelFormat) {
    case pf8bit:
        // A depth below 8 only when every index fits it: a depth left over from
        // an earlier load must not cut the indices of this image.
        if ((bitDepthOption == 1 || bitDepthOption == 2 || bitDepthOption == 4) &&
            MaxIndex(b) < (1 << bitDepthOption))
            return {bitDepthOption, 3, 1};
        return {8, b.IsGreyscale() ? 0 : 3, 1};
    case pf16bit:
        return {16, 0, 1};
    case pf24bit:
        return {8, 2, 3};
    default:
        throw ELinearBitmap("Unsupported pixel format");
    }
}

// The lossy pre-filter: changes `b` so that one fixed filter leaves small
// residuals, and returns that filter.
int LossyPreFilter(TLinearBitmap &b, int tolerance, int transparent)
{
    const int w = b.Width, h = b.Height;
    if (b.PixelFormat == pf8bit && !b.IsGreyscale()) {
        std::uint8_t *pal = b.Palette.get();
        int key[256], order[256];
        for (int i = 0; i < 256; ++i) {
            key[i] = 2 * pal[3 * i + 2] + 3 * pal[3 * i + 1] + pal[3 * i];
            order[i] = i;
        }
        // Quicksort by brightness: middle pivot, scans that stop at equal keys.
        struct Sorter {
            int *k, *o;
            void Sort(int l, int r)
            {
                int i;
                do {
                    i = l;
                    int j = r;
                    const int p = k[o[(l + r) / 2]];
                    do {
                        while (k[o[i]] < p)
                            ++i;
                        while (k[o[j]] > p)
                            --j;
                        if (i <= j) {
                            std::swap(o[i], o[j]);
                            ++i;
                            --j;
                        }
                    } while (i <= j);
                    if (l < j)
                        Sort(l, j);
                    l = i;
                } while (i < r);
            }
        } sorter{key, order};
        sorter.Sort(0, 255);
        std::uint8_t map[256];
        for (int rank = 0; rank < 256; ++rank)
            map[order[rank]] = static_cast<std::uint8_t>(rank);
        if (transparent >= 0 && transparent <= 255) {
            // The transparent index keeps its number; the one that would take it
            // takes the transparent index's place instead.
            for (int i = 0; i < 256; ++i)
                if (map[i] == transparent && i != transparent) {
                    map[i] = map[transparent];
                    break;
                }
            map[transparent] = static_cast<std::uint8_t>(transparent);
        }
        std::uint8_t newPal[768];
        for (int i = 0; i < 256; ++i)
            std::memcpy(newPal + 3 * map[i], pal + 3 * i, 3);
        std::memcpy(pal, newPal, 768);
        std::uint8_t *px = b.Map.get();
        for (std::int64_t i = 0, n = std::int64_t(w) * h; i < n; ++i)
            px[i] = map[px[i]];
        for (int y = 1; y < h; ++y) {
            std::uint8_t *row = b.ScanLine(y);
            const std::uint8_t *up = b.ScanLine(y - 1);
            for (int x = 1; x < w; ++x) {
                if (row[x] == transparent)
                    continue;
                const int pred = Paeth(row[x - 1], up[x], up[x - 1]);
                const std::uint8_t *c1 = pal + 3 * row[x], *c2 = pal + 3 * pred;
                const int diff = std::abs(c1[0] - c2[0]) + std::abs(c1[1] - c2[1]) + std::abs(c1[2] - c2[2]);
                if (diff < tolerance && pred != transparent)
                    row[x] = static_cast<std::uint8_t>(pred);
            }
        }
        return 4;
    }
    const int bpp = b.PixelFormat == pf24bit ? 3 : 1;
    const int half = (tolerance + 1) / 2;
    // True-colour transparency is red | green << 8 | blue << 16, as in tRNS.
    auto pixelValue = [](const std::uint8_t *p) { return p[2] | (p[1] << 8) | (p[0] << 16); };
    for (int y = 1; y < h; ++y) {
        std::uint8_t *row = b.ScanLine(y);
        const std::uint8_t *prev = b.ScanLine(y - 1);
        for (int px = 1; px < w; ++px) {
            std::uint8_t *p = row + px * bpp;
            if (transparent >= 0) {
                const int v = bpp == 3 ? pixelValue(p) : p[0];
                if (v == transparent)
                    continue; // transparent pixels stay exact
            }
            for (int k = 0; k < bpp; ++k) {
                const int i = px * bpp + k;
                const int cur = row[i];
                const int pred = (row[i - bpp] + prev[i]) >> 1;
                int out;
                if (std::abs(pred - cur) <= tolerance) {
                    out = pred;
                } else {
                    const int r = ((cur - pred) & 255) % tolerance;
                    out = r >= half ? std::min(cur + tolerance - r, 255) : std::max(cur - r, 0);
                }
                if (bpp == 1 && out == transparent)
                    continue; // would turn into the transparent grey
                row[i] = static_cast<std::uint8_t>(out);
            }
            if (bpp == 3 && transparent >= 0 && pixelValue(p) == transparent)
                p[2] ^= 1; // must not become transparent by accident
        }
    }
    return 3;
}

// Row scoring of the run policy: more runs of five equal bytes score lower.
std::int64_t RunScore(const std::uint8_t *p, int n)
{
    std::int64_t runs = 0;
    for (int i = 4; i < n; ++i)
        if (p[i] == p[i - 1] && p[i] == p[i - 2] && p[i] == p[i - 3] && p[i] == p[i - 4])
            ++runs;
    return -runs;
}

void FilterRow(int k, const std::uint8_t *row, const std::uint8_t *prev, std::uint8_t *out, int n, int bpp)
{
    switch (k) {
    case 1:
        for (int i = 0; i < bpp && i < n; ++i)
            out[i] = row[i];
        for (int i = bpp; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - row[i - bpp]);
        break;
    case 2:
        for (int i = 0; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - prev[i]);
        break;
    case 3:
        for (int i = 0; i < bpp && i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - (prev[i] >> 1));
        for (int i = bpp; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - ((row[i - bpp] + prev[i]) >> 1));
        break;
    case 4:
        for (int i = 0; i < bpp && i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - prev[i]); // Paeth(0, up, 0) is up
        for (int i = bpp; i < n; ++i)
            out[i] = static_cast<std::uint8_t>(row[i] - Paeth(row[i - bpp], prev[i], prev[i - bpp]));
        break;
    default:
        std::memcpy(out, row, static_cast<std::size_t>(n));
    }
}

// All five candidates of a row and their sums of absolute signed bytes in
// one pass (the default policy). Every candidate depends on the unfiltered
// rows only, so sixteen bytes go at a time.
void FilterAllScored(const std::uint8_t *row, const std::uint8_t *prev, int n, int bpp, std::uint8_t *const *cand,
                     std::uint64_t *score)
{
    for (int k = 0; k < 5; ++k)
        score[k] = 0;
    auto one = [&](int i, int a, int b, int c) {
        const int x = row[i];
        const int pred[5] = {0, a, b, (a + b) >> 1, Paeth(a, b, c)};
        for (int k = 0; k < 5; ++k) {
            const std::uint8_t v = static_cast<std::uint8_t>(x - pred[k]);
            cand[k][i] = v;
            score[k] += static_cast<std::uint64_t>(std::abs(static_cast<int>(static_cast<std::int8_t>(v))));
        }
    };
    int i = 0;
    for (; i < bpp && i < n; ++i)
        one(i, 0, prev[i], 0);
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    __m128i acc[5] = {zero, zero, zero, zero, zero};
    auto absSum = [&](__m128i v) { return _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero); };
    auto abs16 = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    auto paeth16 = [&](__m128i a, __m128i b, __m128i c) {
        const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
        const __m128i pa = abs16(bc), pb = abs16(ac), pc = abs16(_mm_add_epi16(bc, ac));
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i notB = _mm_cmpgt_epi16(pb, pc);
        const __m128i bOrC = _mm_or_si128(_mm_andnot_si128(notB, b), _mm_and_si128(notB, c));
        return _mm_or_si128(_mm_andnot_si128(notA, a), _mm_and_si128(notA, bOrC));
    };
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + i));
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + i - bpp));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(prev + i));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(prev + i - bpp));
        const __m128i avgUp = _mm_avg_epu8(a, b); // rounds up: take the carry back
        const __m128i avg = _mm_sub_epi8(avgUp, _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
        const __m128i lo = paeth16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero));
        const __m128i hi = paeth16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero));
        const __m128i out[5] = {x, _mm_sub_epi8(x, a), _mm_sub_epi8(x, b), _mm_sub_epi8(x, avg),
                                _mm_sub_epi8(x, _mm_packus_epi16(lo, hi))};
        for (int k = 0; k < 5; ++k) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(cand[k] + i), out[k]);
            acc[k] = _mm_add_epi64(acc[k], absSum(out[k]));
        }
    }
    for (int k = 0; k < 5; ++k) {
        alignas(16) std::uint64_t t[2];
        _mm_store_si128(reinterpret_cast<__m128i *>(t), acc[k]);
        score[k] += t[0] + t[1];
    }
#endif
    for (; i < n; ++i)
        one(i, row[i - bpp], prev[i], prev[i - bpp]);
}

void FillRow(const TLinearBitmap &b, const Layout &l, int y, std::uint8_t *row, int rowBytes)
{
    const std::uint8_t *src = b.ScanLine(y);
    const int w = b.Width;
    if (l.Depth < 8) {
        std::memset(row, 0, static_cast<std::size_t>(rowBytes));
        const int perByte = 8 / l.Depth;
        for (int x = 0; x < w; ++x) {
            const int shift = 8 - l.Depth * (x % perByte + 1);
            row[x / perByte] = static_cast<std::uint8_t>(row[x / perByte] | (src[x] << shift));
        }
    } else if (l.Depth == 16) {
        for (int x = 0; x < w; ++x) {
            row[2 * x] = src[2 * x + 1];
            row[2 * x + 1] = src[2 * x];
        }
    } else if (l.Samples == 3) {
        for (int x = 0; x < w; ++x) {
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
    } else {
        std::memcpy(row, src, static_cast<std::size_t>(w));
    }
}

} // namespace

bool TPNGLoader::CanLoad(const std::string &Ext)
{
    const std::string e = UpperCase(Ext);
    return e == "PNG" || e == "MNG";
}

bool TPNGLoader::CanSave(const std::string &Ext) { return CanLoad(Ext); }

void TPNGLoader::GetLoadFilter(std::string &Filter)
{
    Filter = std::string(PNGDescription) + " (*.png)|*.png|" + MNGDescription + " (*.mng)|*.mng";
}

void TPNGLoader::SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap)
{
    // Everything that can refuse the save does so before the first byte.
    if (Filter < -3 || Filter > 4)
        throw Exception("Invalid PNG filter: " + std::to_string(Filter));
    if (Tolerance < 0)
        throw Exception("Invalid PNG tolerance: " + std::to_string(Tolerance));
    if (!Bitmap.Present || !Bitmap.Map || Bitmap.Width < 1 || Bitmap.Height < 1 ||
        (Bitmap.PixelFormat != pf8bit && Bitmap.PixelFormat != pf16bit && Bitmap.PixelFormat != pf24bit) ||
        Bitmap.BytesPerLine != Bitmap.Width * Bitmap.PixelSize)
        throw ELinearBitmap("Unsupported pixel format");
    const bool mng = UpperCase(Ext) == "MNG";
    if (auto *seekable = dynamic_cast<TSeekableStream *>(&Stream)) {
        SaveSeekable(*seekable, mng, Bitmap);
        return;
    }
    // The IDAT length is patched after the data: build the file in memory.
    TMemStream mem;
    SaveSeekable(mem, mng, Bitmap);
    mem.Seek(0);
    Stream.CopyFrom(mem);
}

namespace {

struct WriterOptions {
    const std::uint8_t *SuggestedPalette;
    double Gamma;
    int TransparentColor;
    int BitDepth;
};

void WriteImage(TSeekableStream &out, bool mng, const TLinearBitmap &source, int filter, const WriterOptions &opt)
{
    const Layout l = ChooseLayout(source, opt.BitDepth);
    const TLinearBitmap *img = &source;
    std::unique_ptr<TLinearBitmap> transformed;
    bool intrapixel = false;
    if (mng && source.PixelFormat == pf24bit) {
        transformed = std::make_unique<TLinearBitmap>();
        transformed->Assign(source);
        std::uint8_t *p = transformed->Map.get();
        for (std::int64_t i = 0, n = std::int64_t(source.Width) * source.Height; i < n; ++i, p += 3) {
            p[0] = static_cast<std::uint8_t>(p[0] - p[1]); // blue - green
            p[2] = static_cast<std::uint8_t>(p[2] - p[1]); // red - green
        }
        img = transformed.get();
        intrapixel = true;
    }

    // PLTE: palette images, and a suggested palette with true colour (PNG
    // allows no palette in a grey image).
    const std::uint8_t *pal = nullptr;
    if (l.ColourType == 3)
        pal = img->Palette.get() ? img->Palette.get() : GreyPalette.data();
    else if (l.ColourType == 2 && opt.SuggestedPalette)
        pal = opt.SuggestedPalette;
    int entries = 0;
    if (pal) {
        entries = 1;
        for (int i = 255; i >= 0; --i)
            if (pal[3 * i] || pal[3 * i + 1] || pal[3 * i + 2]) {
                entries = i + 1;
                break;
            }
        if (l.ColourType == 3) {
            // Every index in use needs its entry, black or not.
            entries = std::max(entries, MaxIndex(*img) + 1);
            entries = std::min(entries, 1 << l.Depth);
        }
    }
    // tRNS only with a value the image can have.
    const int t = opt.TransparentColor;
    bool trns = false;
    if (t != -1) {
        if (l.ColourType == 0)
            trns = t >= 0 && t < (1 << l.Depth);
        else if (l.ColourType == 2)
            trns = t >= 0 && t <= 0xFFFFFF;
        else if (l.ColourType == 3 && t >= 0 && t < (1 << l.Depth)) {
            trns = true;
            entries = std::max(entries, t + 1);
        }
    }
    // gAMA only with a value the chunk can carry.
    std::uint32_t gamma = 0;
    if (opt.Gamma != 0.0 && std::isfinite(opt.Gamma)) {
        const double g = std::nearbyint(opt.Gamma * 100000.0);
        if (g >= 1.0 && g <= 4294967295.0)
            gamma = static_cast<std::uint32_t>(g);
    }

    WriteAll(out, mng ? MngSignature : PngSignature, 8);
    TCRC32Stream crc(&out);
    if (mng) {
        // An MNG datastream of one frame: the header names its size, one
        // tick per second, one layer, one frame, one tick of play, and claims
        // no simplicity profile.
        std::uint8_t mhdr[28] = {};
        PutU32(mhdr, static_cast<std::uint32_t>(img->Width));
        PutU32(mhdr + 4, static_cast<std::uint32_t>(img->Height));
        for (int i = 2; i < 6; ++i)
            PutU32(mhdr + 4 * i, 1);
        WriteChunk(out, crc, "MHDR", mhdr, 28);
    }
    std::uint8_t ihdr[13];
    PutU32(ihdr, static_cast<std::uint32_t>(img->Width));
    PutU32(ihdr + 4, static_cast<std::uint32_t>(img->Height));
    ihdr[8] = static_cast<std::uint8_t>(l.Depth);
    ihdr[9] = static_cast<std::uint8_t>(l.ColourType);
    ihdr[10] = 0;
    ihdr[11] = intrapixel ? 64 : 0;
    ihdr[12] = 0;
    WriteChunk(out, crc, "IHDR", ihdr, 13);

    // PNG wants gAMA before PLTE.
    if (gamma) {
        std::uint8_t g[4];
        PutU32(g, gamma);
        WriteChunk(out, crc, "gAMA", g, 4);
    }
    if (pal) {
        std::uint8_t plte[768];
        for (int i = 0; i < entries; ++i) {
            plte[3 * i] = pal[3 * i + 2];
            plte[3 * i + 1] = pal[3 * i + 1];
            plte[3 * i + 2] = pal[3 * i];
        }
        WriteChunk(out, crc, "PLTE", plte, 3 * entries);
    }
    if (trns) {
        std::uint8_t b[256];
        int n = 0;
        if (l.ColourType == 0) {
            b[0] = static_cast<std::uint8_t>(t >> 8);
            b[1] = static_cast<std::uint8_t>(t);
            n = 2;
        } else if (l.ColourType == 2) {
            const std::uint8_t v[6] = {0, static_cast<std::uint8_t>(t), 0, static_cast<std::uint8_t>(t >> 8), 0,
                                       static_cast<std::uint8_t>(t >> 16)};
            std::memcpy(b, v, 6);
            n = 6;
        } else {
            std::memset(b, 0xFF, static_cast<std::size_t>(t));
            b[t] = 0;
            n = t + 1;
        }
        WriteChunk(out, crc, "tRNS", b, n);
    }

    // IDAT: one chunk whose length is patched once the data is out.
    const int start = out.Position();
    WriteU32(out, 0);
    crc.ResetCRC();
    {
        TBufferedStream buffered(0, -1, &crc);
        TAdler32 adler;
        WriteAll(buffered, "IDAT", 4);
        const std::uint8_t zhead[2] = {0x78, 0xDA};
        WriteAll(buffered, zhead, 2);
        {
            TDeflateStream deflate(&buffered, 1);
            deflate.SetBlockType(BlockFixed);
            const std::int64_t rowBits = std::int64_t(img->Width) * l.Samples * l.Depth;
            const int rowBytes = static_cast<int>((rowBits + 7) / 8);
            const int bpp = std::max(1, l.Samples * l.Depth / 8);
            std::vector<std::uint8_t> prev(static_cast<std::size_t>(rowBytes), 0), row(prev.size());
            std::vector<std::uint8_t> cand[5];
            for (auto &c : cand)
                c.resize(prev.size());
            for (int y = 0; y < img->Height; ++y) {
                FillRow(*img, l, y, row.data(), rowBytes);
                int chosen = filter;
                if (filter >= 0) {
                    FilterRow(filter, row.data(), prev.data(), cand[filter].data(), rowBytes, bpp);
                } else if (filter == -1) {
                    std::uint8_t *const out[5] = {cand[0].data(), cand[1].data(), cand[2].data(), cand[3].data(),
                                                  cand[4].data()};
                    std::uint64_t score[5];
                    FilterAllScored(row.data(), prev.data(), rowBytes, bpp, out, score);
                    chosen = 0;
                    for (int k = 1; k < 5; ++k)
                        if (score[k] < score[chosen])
                            chosen = k; // ties go to the lower filter
                } else if (filter == -2) {
                    std::int64_t best = INT64_MAX;
                    for (int k = 0; k < 5; ++k) {
                        FilterRow(k, row.data(), prev.data(), cand[k].data(), rowBytes, bpp);
                        const std::int64_t s = RunScore(cand[k].data(), rowBytes);
                        if (s < best) {
                            best = s;
                            chosen = k;
                        }
                    }
                } else {
                    throw platform::EAssertionFailed("Invalid filter");
                }
                const std::uint8_t type = static_cast<std::uint8_t>(chosen);
                adler.UpdateByte(type);
                adler.Update(cand[chosen].data(), rowBytes);
                WriteAll(deflate, &type, 1);
                WriteAll(deflate, cand[chosen].data(), rowBytes);
                std::swap(prev, row);
            }
            deflate.Finish();
        }
        const std::uint32_t a = adler.GetResult();
        WriteAll(buffered, &a, 4);
        buffered.Finish();
    }
    const int end = out.Position();
    out.Seek(start);
    WriteU32(out, static_cast<std::uint32_t>(end - start - 8));
    out.Seek(end);
    WriteU32(out, crc.GetCRC());

    WriteChunk(out, crc, "IEND", nullptr, 0);
    if (mng)
        WriteChunk(out, crc, "MEND", nullptr, 0);
}

} // namespace

void TPNGLoader::SaveSeekable(TSeekableStream &Stream, bool Mng, const TLinearBitmap &Bitmap)
{
    const WriterOptions opt{SuggestedPalette.get(), Gamma, TransparentColor, BitDepth};
    int filter = Filter;
    std::unique_ptr<TLinearBitmap> copy;
    const TLinearBitmap *img = &Bitmap;
    if (Tolerance != 0 && Bitmap.PixelFormat != pf16bit && !(Mng && Bitmap.PixelFormat == pf24bit)) {
        copy = std::make_unique<TLinearBitmap>();
        copy->Assign(Bitmap);
        filter = LossyPreFilter(*copy, Tolerance, TransparentColor);
        img = copy.get();
    } else if (filter == -3) {
        // Try every other policy in full and keep the smallest (the first of equals).
        TMemStream trial;
        int best = INT_MAX, bestFilter = -1;
        for (int f = -2; f <= 4; ++f) {
            trial.Seek(0);
            trial.Truncate();
            WriteImage(trial, Mng, Bitmap, f, opt);
            if (trial.Size() < best) {
                best = trial.Size();
                bestFilter = f;
            }
            ReportProgress((f + 3) * 100 / 8);
        }
        filter = bestFilter;
    }
    WriteImage(Stream, Mng, *img, filter, opt);
}

// ------------------------------------------------------------ registration

namespace {
TLoaderSlot<TPNGLoader> &Slot()
{
    static TLoaderSlot<TPNGLoader> slot;
    return slot;
}
} // namespace

TPNGLoader *PNGLoader() { return Slot().Get(); }

void RegisterPNGLoader()
{
    if (Slot().Register()) {
        platform::RegisterFileFormat<TPNGGraphic>("PNG", PNGDescription);
        platform::RegisterFileFormat<TMNGGraphic>("MNG", MNGDescription);
    }
}

void UnregisterPNGLoader()
{
    if (Slot().Unregister()) {
        platform::UnregisterGraphicClass("TPNGGraphic");
        platform::UnregisterGraphicClass("TMNGGraphic");
    }
}

} // namespace imaging
