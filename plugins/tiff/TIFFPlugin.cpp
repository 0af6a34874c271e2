// The TIFF image plug-in: loads palette, grey (1 to 16 bits) and RGB images,
// and everything else libtiff can turn into RGBA; saves 8-bit palette and
// 24-bit RGB images, deflate-compressed. Only the first page is read.
#include "imaging/imageplugin.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#define KSS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr const char *Filter = "Tagged Image File Format (*.tif;*.tiff)|*.tif;*.tiff";
// The program refuses larger images; refusing them here saves the allocation.
constexpr std::uint64_t MaxPixels = std::uint64_t(1) << 28;
// Anything a plug-in fails with that has no fixed code of the interface.
constexpr int WriteFailed = 6;

// libtiff's own messages would go to standard error: a result code says it.
int Quiet(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

struct TiffCloser {
    void operator()(TIFF *t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr Open(const char *FileName, const char *Mode)
{
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    if (!opts)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, Quiet, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(MaxPixels) * 4 + 65536);
    TiffPtr tif(TIFFOpenExt(FileName, Mode, opts));
    TIFFOpenOptionsFree(opts);
    return tif;
}

struct Buffer {
    std::uint8_t *Pixels = nullptr;
    std::uint8_t *Palette = nullptr;
    ~Buffer()
    {
        std::free(Pixels);
        std::free(Palette);
    }
};

// Expands a row of 1-, 2- or 4-bit samples (first sample in the high bits)
// to one byte each; Scale makes grey levels span 0..255.
void Expand(const std::uint8_t *In, std::uint8_t *Out, std::uint32_t Width, int Bits, bool Scale)
{
    const int mask = (1 << Bits) - 1, perByte = 8 / Bits;
    const int factor = Scale ? 255 / mask : 1;
    for (std::uint32_t x = 0; x < Width; ++x) {
        const int shift = 8 - Bits * (int(x % perByte) + 1);
        Out[x] = static_cast<std::uint8_t>(((In[x / perByte] >> shift) & mask) * factor);
    }
}

int LoadScanlines(TIFF *Tif, TImageContainer &Image, Buffer &Buf, int Bits, std::uint16_t Photometric,
                  std::uint16_t Samples)
{
    const std::uint32_t w = Image.Width, h = Image.Height;
    const int bytesOut = Image.PixelFormat == KSS_PLUGIN_GREY16 ? 2 : Image.PixelFormat == KSS_PLUGIN_BGR24 ? 3 : 1;
    const tmsize_t line = TIFFScanlineSize(Tif);
    if (line <= 0 || std::uint64_t(line) < (std::uint64_t(w) * Samples * Bits + 7) / 8)
        return KSS_PLUGIN_BAD_DATA;
    std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[line]);
    Buf.Pixels = static_cast<std::uint8_t *>(std::malloc(std::size_t(w) * h * bytesOut + 1));
    if (!row || !Buf.Pixels)
        return KSS_PLUGIN_BAD_DATA;
    const bool invert = Photometric == PHOTOMETRIC_MINISWHITE;
    for (std::uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(Tif, row.get(), y, 0) < 0)
            return KSS_PLUGIN_BAD_DATA;
        std::uint8_t *out = Buf.Pixels + std::size_t(y) * w * bytesOut;
        if (bytesOut == 3) {
            // Extra samples (alpha) after red, green and blue are dropped.
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::uint8_t *in = row.get() + std::size_t(x) * Samples;
                out[3 * x] = in[2];
                out[3 * x + 1] = in[1];
                out[3 * x + 2] = in[0];
            }
        } else if (bytesOut == 2) {
            std::memcpy(out, row.get(), std::size_t(w) * 2);
            if (invert)
                for (std::uint32_t x = 0; x < w; ++x) {
                    std::uint16_t v;
                    std::memcpy(&v, out + 2 * x, 2);
                    v = static_cast<std::uint16_t>(0xFFFF - v);
                    std::memcpy(out + 2 * x, &v, 2);
                }
        } else {
            if (Bits == 8)
                std::memcpy(out, row.get(), w);
            else
                Expand(row.get(), out, w, Bits, Photometric != PHOTOMETRIC_PALETTE);
            if (invert)
                for (std::uint32_t x = 0; x < w; ++x)
                    out[x] = static_cast<std::uint8_t>(255 - out[x]);
        }
    }
    return KSS_PLUGIN_OK;
}

// Whatever libtiff can decode to RGBA arrives as 32-bit blue, green, red, x.
int LoadRGBA(TIFF *Tif, TImageContainer &Image, Buffer &Buf)
{
    char why[1024] = {};
    if (!TIFFRGBAImageOK(Tif, why))
        return KSS_PLUGIN_BAD_FORMAT;
    const std::size_t n = std::size_t(Image.Width) * std::size_t(Image.Height);
    auto *raster = static_cast<std::uint32_t *>(std::malloc(n * 4 + 1));
    if (!raster)
        return KSS_PLUGIN_BAD_DATA;
    Buf.Pixels = reinterpret_cast<std::uint8_t *>(raster);
    // Stop at the first damaged strip or tile: going on would walk every
    // remaining row of a huge, empty image.
    if (!TIFFReadRGBAImageOriented(Tif, Image.Width, Image.Height, raster, ORIENTATION_TOPLEFT, 1))
        return KSS_PLUGIN_BAD_DATA;
    // libtiff multiplies RGB colours (not grey) by an unassociated alpha; the
    // program drops alpha, so the colours are divided back to the file's.
    std::uint16_t extra = 0, *info = nullptr, photometric = 0;
    const bool straight = TIFFGetField(Tif, TIFFTAG_PHOTOMETRIC, &photometric) && photometric == PHOTOMETRIC_RGB &&
                          TIFFGetField(Tif, TIFFTAG_EXTRASAMPLES, &extra, &info) && extra > 0 &&
                          info[0] == EXTRASAMPLE_UNASSALPHA;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t p = raster[i];
        const unsigned a = TIFFGetA(p);
        auto colour = [&](unsigned c) {
            return static_cast<std::uint8_t>(straight && a > 0 && a < 255 ? std::min(255u, (c * 255 + a / 2) / a) : c);
        };
        std::uint8_t *o = Buf.Pixels + 4 * i;
        o[0] = colour(TIFFGetB(p));
        o[1] = colour(TIFFGetG(p));
        o[2] = colour(TIFFGetR(p));
        o[3] = 0;
    }
    Image.PixelFormat = KSS_PLUGIN_BGRX32;
    return KSS_PLUGIN_OK;
}

int ReadPalette(TIFF *Tif, int Bits, Buffer &Buf)
{
    std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (!TIFFGetField(Tif, TIFFTAG_COLORMAP, &r, &g, &b))
        return KSS_PLUGIN_BAD_DATA;
    Buf.Palette = static_cast<std::uint8_t *>(std::calloc(768, 1));
    if (!Buf.Palette)
        return KSS_PLUGIN_BAD_DATA;
    // Some old writers store 8-bit colour maps: no entry above 255 means
    // that (as libtiff itself assumes), and the values are taken unshifted.
    const int n = 1 << Bits;
    int shift = 0;
    for (int i = 0; i < n && !shift; ++i)
        if (r[i] > 255 || g[i] > 255 || b[i] > 255)
            shift = 8;
    for (int i = 0; i < n; ++i) {
        Buf.Palette[3 * i] = static_cast<std::uint8_t>(b[i] >> shift);
        Buf.Palette[3 * i + 1] = static_cast<std::uint8_t>(g[i] >> shift);
        Buf.Palette[3 * i + 2] = static_cast<std::uint8_t>(r[i] >> shift);
    }
    return KSS_PLUGIN_OK;
}

int Load(const char *FileName, TImageContainer &Image)
{
    TiffPtr tif = Open(FileName, "r");
    if (!tif)
        return KSS_PLUGIN_CANNOT_OPEN;
    std::uint32_t w = 0, h = 0;
    std::uint16_t bits = 1, samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h) ||
        !TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric))
        return KSS_PLUGIN_BAD_DATA;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF || std::uint64_t(w) * h > MaxPixels)
        return KSS_PLUGIN_BAD_DATA;
    Image.Width = static_cast<std::int32_t>(w);
    Image.Height = static_cast<std::int32_t>(h);

    Buffer buf;
    int result;
    const bool strips = !TIFFIsTiled(tif.get());
    const bool smallBits = bits == 1 || bits == 2 || bits == 4 || bits == 8;
    if (strips && samples == 1 && photometric == PHOTOMETRIC_PALETTE && smallBits) {
        Image.PixelFormat = KSS_PLUGIN_INDEXED8;
        result = ReadPalette(tif.get(), bits, buf);
        if (result == KSS_PLUGIN_OK)
            result = LoadScanlines(tif.get(), Image, buf, bits, photometric, samples);
    } else if (strips && samples == 1 && (photometric == PHOTOMETRIC_MINISBLACK ||
                                          photometric == PHOTOMETRIC_MINISWHITE) && (smallBits || bits == 16)) {
        Image.PixelFormat = bits == 16 ? KSS_PLUGIN_GREY16 : KSS_PLUGIN_INDEXED8;
        result = LoadScanlines(tif.get(), Image, buf, bits, photometric, samples);
    } else if (strips && samples >= 3 && photometric == PHOTOMETRIC_RGB && bits == 8 &&
               planar == PLANARCONFIG_CONTIG) {
        Image.PixelFormat = KSS_PLUGIN_BGR24;
        result = LoadScanlines(tif.get(), Image, buf, bits, photometric, samples);
    } else {
        result = LoadRGBA(tif.get(), Image, buf);
    }
    if (result != KSS_PLUGIN_OK)
        return result;
    Image.BytesPerLine = 0;
    Image.Pixels = buf.Pixels;
    Image.Palette = buf.Palette;
    buf.Pixels = buf.Palette = nullptr;
    return KSS_PLUGIN_OK;
}

int Save(const char *FileName, const TImageContainer &Image)
{
    const bool indexed = Image.PixelFormat == KSS_PLUGIN_INDEXED8;
    if ((!indexed && Image.PixelFormat != KSS_PLUGIN_BGR24) || !Image.Pixels || Image.Width <= 0 ||
        Image.Height <= 0)
        return KSS_PLUGIN_BAD_FORMAT;
    const int bytes = indexed ? 1 : 3;
    const std::size_t stride = Image.BytesPerLine > 0 ? std::size_t(Image.BytesPerLine) : std::size_t(Image.Width) * bytes;
    TiffPtr tif = Open(FileName, "w");
    if (!tif)
        return KSS_PLUGIN_CANNOT_OPEN;
    TIFF *t = tif.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(Image.Width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(Image.Height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, bytes);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, indexed ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    // Differences of neighbours compress screen contents much better.
    TIFFSetField(t, TIFFTAG_PREDICTOR, indexed ? PREDICTOR_NONE : PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    if (indexed) {
        std::uint16_t r[256], g[256], b[256];
        const std::uint8_t *pal = Image.Palette;
        for (int i = 0; i < 256; ++i) {
            // No palette: grey levels, as the program assumes then.
            b[i] = static_cast<std::uint16_t>((pal ? pal[3 * i] : i) * 257);
            g[i] = static_cast<std::uint16_t>((pal ? pal[3 * i + 1] : i) * 257);
            r[i] = static_cast<std::uint16_t>((pal ? pal[3 * i + 2] : i) * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, r, g, b);
    }
    std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[std::size_t(Image.Width) * bytes]);
    if (!row)
        return WriteFailed;
    for (std::int32_t y = 0; y < Image.Height; ++y) {
        const std::uint8_t *in = Image.Pixels + y * stride;
        if (indexed) {
            std::memcpy(row.get(), in, std::size_t(Image.Width));
        } else {
            for (std::int32_t x = 0; x < Image.Width; ++x) {
                row[3 * x] = in[3 * x + 2];
                row[3 * x + 1] = in[3 * x + 1];
                row[3 * x + 2] = in[3 * x];
            }
        }
        if (TIFFWriteScanline(t, row.get(), std::uint32_t(y), 0) < 0)
            return WriteFailed;
    }
    if (!TIFFFlush(t))
        return WriteFailed;
    return KSS_PLUGIN_OK;
}

} // namespace

KSS_EXPORT int32_t LibLoadImage(const char *FileName, char *, TImageContainer *Image)
{
    if (!FileName || !Image)
        return KSS_PLUGIN_CANNOT_OPEN;
    std::memset(Image, 0, sizeof *Image);
    return Load(FileName, *Image);
}

KSS_EXPORT int32_t LibSaveImage(const char *FileName, char *, TImageContainer *Image)
{
    if (!FileName || !Image)
        return KSS_PLUGIN_CANNOT_OPEN;
    return Save(FileName, *Image);
}

KSS_EXPORT int32_t LibFreeImage(TImageContainer *Image)
{
    if (!Image)
        return 0;
    std::free(Image->Pixels);
    std::free(Image->Palette);
    Image->Pixels = Image->Palette = nullptr;
    return 0;
}

KSS_EXPORT const char *LibGetLoadFilter()
{
    return Filter;
}

KSS_EXPORT const char *LibGetSaveFilter()
{
    return Filter;
}
