// The reading half of the PNG/MNG loader: the chunk loop, the IDAT stream and
// the image decoder. Every size from the file is checked before it is used;
// the header is validated in full before anything is allocated.
#include "imaging/PNGLoader.h"

#include "imaging/Adler32.h"
#include "imaging/BufStream.h"
#include "imaging/CRC32Stream.h"
#include "imaging/Deflate.h"
#include "imaging/PNGRows.h"
#include "imaging/Progress.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

const std::uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
const std::uint8_t MngSignature[8] = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// Chunk lengths above this are not PNG.
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFFu;
// One raw row at most; a wider one would need gigabytes of row buffers.
constexpr std::int64_t kMaxRowBytes = std::int64_t(1) << 28;

[[noreturn]] void InvalidData() { throw Exception("Invalid PNG data"); }

std::uint32_t GetU32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

bool TypeIs(const std::uint8_t *type, const char *name) { return std::memcmp(type, name, 4) == 0; }

// Reads exactly Count bytes (a short read raises through NoDataExcept, or
// reports it here when that is off).
bool ReadFull(TBaseStream &s, void *buffer, int count) { return s.Read(buffer, count) == count; }

// Reads and drops Count bytes without allocating them.
void SkipBytes(TBaseStream &s, std::uint64_t count)
{
    std::uint8_t scratch[4096];
    while (count > 0) {
        const int n = static_cast<int>(std::min<std::uint64_t>(count, sizeof scratch));
        const int got = s.Read(scratch, n);
        if (got <= 0)
            return;
        count -= static_cast<std::uint64_t>(got);
    }
}

// The data of consecutive IDAT chunks as one stream. Every chunk's CRC is
// checked when the next one starts; a chunk that is not IDAT where more image
// data is needed is invalid. It can be peeked, so the inflater decodes in
// place from the buffered file.
class TIDATStream final : public TFilterStream, public TPeekableStream {
public:
    // `crc` reads from `buffered`; peeking goes to the buffer straight and
    // folds what is taken into the CRC.
    TIDATStream(TCRC32Stream *crc, TBufferedStream *buffered, std::uint32_t firstChunkLength)
        : TFilterStream(crc), crc_(crc), buf_(buffered)
    {
        Remaining = firstChunkLength;
        CanRead = crc->CanRead;
        CanWrite = false;
    }
    std::uint32_t Remaining;

    int Write(const void *, int) override { return 0; }
    int Read(void *Buffer, int Count) override
    {
        auto *out = static_cast<std::uint8_t *>(Buffer);
        int done = 0;
        while (done < Count) {
            if (Remaining == 0) {
                NextChunk();
                continue;
            }
            const int n = static_cast<int>(std::min<std::int64_t>(Count - done, Remaining));
            const int got = Next->Read(out + done, n);
            if (got <= 0)
                break;
            done += got;
            Remaining -= static_cast<std::uint32_t>(got);
        }
        return done;
    }
    int Available() override { return static_cast<int>(std::min<std::uint32_t>(Remaining, 0x7FFFFFFF)); }
    const std::uint8_t *Peek(int &Count) override
    {
        while (Remaining == 0)
            NextChunk();
        peeked_ = buf_->Peek(Count);
        if (static_cast<std::uint32_t>(Count) > Remaining)
            Count = static_cast<int>(Remaining);
        return peeked_;
    }
    void Skip(int Count) override
    {
        crc_->UpdateCRC(peeked_, Count);
        peeked_ += Count;
        buf_->Skip(Count);
        Remaining -= static_cast<std::uint32_t>(Count);
    }

private:
    void NextChunk()
    {
        TBaseStream &raw = *buf_;
        std::uint8_t b[8];
        const std::uint32_t crc = crc_->GetCRC();
        ReadFull(raw, b, 8);
        if (GetU32(b) != crc)
            throw Exception("CRC error");
        const std::uint32_t length = GetU32(b + 4);
        if (length > kMaxChunkLength)
            InvalidData();
        crc_->ResetCRC();
        ReadFull(*crc_, b, 4);
        if (!TypeIs(b, "IDAT"))
            InvalidData();
        Remaining = length;
    }
    TCRC32Stream *crc_;
    TBufferedStream *buf_;
    const std::uint8_t *peeked_ = nullptr;
};

struct Header {
    std::uint32_t Width = 0, Height = 0;
    int Depth = 0, ColourType = 0, Compression = 0, FilterMethod = 0, Interlace = 0;
    int Samples = 1;
};

// Checks everything the decoder relies on before anything is allocated.
Header ParseHeader(const std::uint8_t *d, bool mng)
{
    Header h;
    h.Width = GetU32(d);
    h.Height = GetU32(d + 4);
    h.Depth = d[8];
    h.ColourType = d[9];
    h.Compression = d[10];
    h.FilterMethod = d[11];
    h.Interlace = d[12];
    bool depthOk = false;
    switch (h.ColourType) {
    case 0: depthOk = h.Depth == 1 || h.Depth == 2 || h.Depth == 4 || h.Depth == 8 || h.Depth == 16; break;
    case 3: depthOk = h.Depth == 1 || h.Depth == 2 || h.Depth == 4 || h.Depth == 8; break;
    case 2:
    case 4:
    case 6: depthOk = h.Depth == 8 || h.Depth == 16; break;
    default: InvalidData();
    }
    h.Samples = h.ColourType == 2 ? 3 : h.ColourType == 4 ? 2 : h.ColourType == 6 ? 4 : 1;
    if (!depthOk || h.Compression != 0 || h.Interlace > 1)
        InvalidData();
    // Filter method 64 (red and blue stored minus green) exists in MNG only.
    if (h.FilterMethod != 0 && !(mng && h.FilterMethod == 64))
        InvalidData();
    if (h.FilterMethod == 64 && h.ColourType != 2 && h.ColourType != 6)
        throw Exception("Unsupported pixel format");
    if (h.Width < 1 || h.Height < 1 || h.Width > 0x7FFFFFFFu || h.Height > 0x7FFFFFFFu ||
        std::int64_t(h.Width) * h.Height > kMaxBitmapPixels ||
        (std::int64_t(h.Width) * h.Samples * h.Depth + 7) / 8 > kMaxRowBytes)
        InvalidData();
    return h;
}

// The Adam7 passes: first row, first column, row step, column step.
struct Pass {
    int Y0, X0, DY, DX;
};
constexpr Pass Adam7[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                           {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};

// Inflates the image data that starts in the current IDAT chunk (whose type
// has been read) into Bitmap and Alpha, then checks the zlib trailer. Leaves
// the stream at the CRC of the last IDAT chunk.
void DecodeImage(TCRC32Stream &crc, TBufferedStream &buffered, std::uint32_t firstLength, const Header &h, TLinearBitmap &bitmap,
                 TLinearBitmap *alpha)
{
    TIDATStream idat(&crc, &buffered, firstLength);
    std::uint8_t zhead[2];
    ReadFull(idat, zhead, 2);
    // Deflate, a window of at most 32 KiB, no preset dictionary.
    if ((zhead[0] & 15) != 8 || (zhead[0] >> 4) > 7 || (zhead[1] & 0x20))
        InvalidData();

    const int bpp = std::max(1, h.Samples * h.Depth / 8);
    const pngrows::RowFormat format{h.Depth, h.Samples, h.FilterMethod == 64};
    const int ps = bitmap.PixelSize;
    const std::int64_t fullRow = (std::int64_t(h.Width) * h.Samples * h.Depth + 7) / 8;
    // Row buffers: the filter byte, the row, room for the vector loads.
    std::vector<std::uint8_t> bufA(static_cast<std::size_t>(fullRow) + 1 + pngrows::kRowPadding);
    std::vector<std::uint8_t> bufB(bufA.size());
    // Interlaced passes are converted here and then spread over their columns.
    std::vector<std::uint8_t> passPixels, passAlpha;
    if (h.Interlace) {
        passPixels.resize(static_cast<std::size_t>(h.Width) * static_cast<std::size_t>(ps));
        if (alpha)
            passAlpha.resize(h.Width);
    }
    TAdler32 adler;
    {
        TDeflateStream deflate(&idat, 0);
        const int passes = h.Interlace ? 7 : 1;
        for (int p = 0; p < passes; ++p) {
            const Pass pass = h.Interlace ? Adam7[p] : Pass{0, 0, 1, 1};
            if (h.Width <= static_cast<std::uint32_t>(pass.X0) || h.Height <= static_cast<std::uint32_t>(pass.Y0))
                continue; // an empty pass has no rows and no filter bytes
            const int pw = static_cast<int>((h.Width - pass.X0 + pass.DX - 1) / pass.DX);
            const int ph = static_cast<int>((h.Height - pass.Y0 + pass.DY - 1) / pass.DY);
            const int rowBytes = static_cast<int>((std::int64_t(pw) * h.Samples * h.Depth + 7) / 8);
            std::uint8_t *cur = bufA.data(), *prev = bufB.data();
            std::memset(prev, 0, static_cast<std::size_t>(rowBytes) + 1);
            for (int r = 0; r < ph; ++r) {
                deflate.Read(cur, rowBytes + 1);
                adler.Update(cur, rowBytes + 1);
                if (cur[0] > 4)
                    InvalidData();
                pngrows::Unfilter(cur[0], cur + 1, prev + 1, rowBytes, bpp);
                const int y = pass.Y0 + r * pass.DY;
                std::uint8_t *dst = bitmap.ScanLine(y);
                std::uint8_t *adst = alpha ? alpha->ScanLine(y) : nullptr;
                if (!h.Interlace) {
                    pngrows::ConvertRow(format, cur + 1, pw, dst, adst);
                } else {
                    pngrows::ConvertRow(format, cur + 1, pw, passPixels.data(), alpha ? passAlpha.data() : nullptr);
                    for (int i = 0; i < pw; ++i) {
                        const std::size_t x = static_cast<std::size_t>(pass.X0) + static_cast<std::size_t>(i) * pass.DX;
                        std::memcpy(dst + x * static_cast<std::size_t>(ps), passPixels.data() + std::size_t(i) * ps,
                                    static_cast<std::size_t>(ps));
                        if (adst)
                            adst[x] = passAlpha[static_cast<std::size_t>(i)];
                    }
                }
                std::swap(cur, prev);
                if (ProgressUpdate && ph >= 2)
                    ProgressUpdate(r * 100 / (ph - 1));
            }
        }
        // The rest of the deflate data: its end-of-block codes, and any bytes
        // beyond the image, which the checksum covers too.
        deflate.SetNoDataExcept(false);
        for (;;) {
            const int got = deflate.Read(bufA.data(), static_cast<int>(bufA.size()));
            adler.Update(bufA.data(), got);
            if (got < static_cast<int>(bufA.size()))
                break;
        }
    }
    // The inflater took exactly the bytes of the deflate data, so the trailer
    // follows; padding some writers put after it in the chunk is passed over.
    std::uint8_t trailer[4];
    ReadFull(idat, trailer, 4);
    if (GetU32(trailer) != adler.Value())
        throw Exception("Adler32 error");
    SkipBytes(idat, idat.Remaining);
}

} // namespace

void TPNGLoader::LoadFromStream(TBaseStream &Stream, const std::string & /*Ext*/, TLinearBitmap &Bitmap)
{
    SuggestedPalette.reset();
    PaletteAlpha.reset();
    Alpha.reset();
    TransparentColor = -1;
    Gamma = 0.0;
    Bitmap.Clear();

    TBufferedStream buffered(-1, 0, &Stream);
    std::uint8_t b[16];
    {
        TNoDataExceptOff quiet(buffered);
        if (!ReadFull(buffered, b, 8) ||
            (std::memcmp(b, PngSignature, 8) != 0 && std::memcmp(b, MngSignature, 8) != 0))
            throw Exception("Invalid PNG header");
    }
    const bool mng = b[0] == MngSignature[0];
    TCRC32Stream crc(&buffered);
    Header h;
    bool haveHeader = false, imageDone = false;
    for (;;) {
        if (!ReadFull(buffered, b, 4))
            break; // the file ended after the image data
        const std::uint32_t length = GetU32(b);
        crc.ResetCRC();
        std::uint8_t type[4];
        if (!ReadFull(crc, type, 4))
            break;
        if (length > kMaxChunkLength)
            InvalidData();
        bool end = false;
        if (TypeIs(type, "IHDR")) {
            if (haveHeader || length != 13)
                InvalidData();
            ReadFull(crc, b, 13);
            h = ParseHeader(b, mng);
            BitDepth = h.Depth;
            const int w = static_cast<int>(h.Width), ht = static_cast<int>(h.Height);
            if (h.ColourType == 2 || h.ColourType == 6) {
                Bitmap.New(w, ht, pf24bit);
            } else if (h.ColourType != 3 && h.Depth == 16) {
                Bitmap.New(w, ht, pf16bit);
            } else {
                Bitmap.New(w, ht, pf8bit);
                if (h.ColourType != 3) {
                    std::uint8_t *pal = Bitmap.Palette.get();
                    std::memset(pal, 0, 768);
                    if (h.Depth == 8)
                        std::memcpy(pal, GreyPalette.data(), 768);
                    else
                        FillGreyRamp(pal, 1 << h.Depth);
                }
            }
            if (LoadAlpha && (h.ColourType == 4 || h.ColourType == 6)) {
                Alpha = std::make_unique<TLinearBitmap>();
                Alpha->New(w, ht, pf8bit);
                std::memcpy(Alpha->Palette.get(), GreyPalette.data(), 768);
            }
            haveHeader = true;
        } else if (TypeIs(type, "PLTE")) {
            const bool valid = length % 3 == 0 && length >= 3 && length <= 768;
            // Only a palette image takes it as its palette (a grey image keeps its
            // ramp); for the others, and before the header (an MNG's global
            // palette), it is a suggestion, kept with LoadAlpha.
            const bool own = haveHeader && h.ColourType == 3;
            if (own && !valid)
                InvalidData();
            std::uint8_t *into = nullptr;
            if (valid && own)
                into = Bitmap.Palette.get();
            else if (valid && LoadAlpha) {
                if (!SuggestedPalette)
                    SuggestedPalette = std::make_unique<std::uint8_t[]>(768);
                into = SuggestedPalette.get();
            }
            if (!into) {
                SkipBytes(buffered, std::uint64_t(length) + 4);
                continue;
            }
            std::uint8_t rgb[768];
            ReadFull(crc, rgb, static_cast<int>(length));
            std::memset(into, 0, 768);
            for (std::uint32_t i = 0; i < length / 3; ++i) {
                into[3 * i] = rgb[3 * i + 2];
                into[3 * i + 1] = rgb[3 * i + 1];
                into[3 * i + 2] = rgb[3 * i];
            }
        } else if (TypeIs(type, "IDAT")) {
            if (!haveHeader)
                InvalidData();
            if (imageDone) {
                // Left over after the image data (some writers end with an empty one).
                SkipBytes(buffered, std::uint64_t(length) + 4);
                continue;
            }
            DecodeImage(crc, buffered, length, h, Bitmap, Alpha.get());
            imageDone = true;
            // A file that ends after its image data still loads.
            buffered.SetNoDataExcept(false);
        } else if (TypeIs(type, "gAMA")) {
            if (length != 4) {
                SkipBytes(buffered, std::uint64_t(length) + 4);
                continue;
            }
            ReadFull(crc, b, 4);
            Gamma = GetU32(b) / 100000.0;
        } else if (TypeIs(type, "tRNS")) {
            // Before the header (an MNG's global one) it has no image to refer to.
            const int colourType = haveHeader ? h.ColourType : -1;
            std::uint32_t used = 0;
            if (colourType == 0 && length >= 2) {
                ReadFull(crc, b, 2);
                TransparentColor = (b[0] << 8) | b[1];
                used = 2;
            } else if (colourType == 2 && length >= 6) {
                ReadFull(crc, b, 6);
                used = 6;
                if (h.Depth == 8)
                    TransparentColor = b[1] | (b[3] << 8) | (b[5] << 16);
            } else if (colourType == 3) {
                // At most one entry per palette entry: the rest is dropped.
                std::uint8_t t[256];
                used = std::min<std::uint32_t>(length, 256);
                ReadFull(crc, t, static_cast<int>(used));
                if (LoadAlpha) {
                    PaletteAlpha = std::make_unique<std::uint8_t[]>(256);
                    std::memset(PaletteAlpha.get(), 0xFF, 256);
                    std::memcpy(PaletteAlpha.get(), t, used);
                } else {
                    const auto *zero = static_cast<const std::uint8_t *>(std::memchr(t, 0, used));
                    if (zero)
                        TransparentColor = static_cast<int>(zero - t);
                }
            }
            SkipBytes(crc, length - used);
        } else if (TypeIs(type, "IEND")) {
            SkipBytes(crc, length);
            end = true;
        } else if ((type[0] & 0x20) || TypeIs(type, "MHDR") || TypeIs(type, "MEND") || TypeIs(type, "DEFI")) {
            SkipBytes(buffered, std::uint64_t(length) + 4);
            continue;
        } else {
            throw Exception("Unsupported PNG data");
        }
        if (!ReadFull(buffered, b, 4)) {
            if (end || imageDone)
                break;
        } else if (GetU32(b) != crc.GetCRC()) {
            throw Exception("CRC error");
        }
        if (end)
            break;
    }
    if (!Bitmap.Present)
        throw Exception("Unsupported PNG data");
    if (!imageDone)
        InvalidData(); // a header without image data is no image
}

} // namespace imaging
