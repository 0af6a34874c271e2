#include "imaging/BMPReader.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

// The data ends before what the header promised.
struct TShortData {};

std::uint32_t U16(const std::uint8_t *p) { return p[0] | p[1] << 8; }
std::uint32_t U32(const std::uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

[[noreturn]] void Unsupported() { throw Exception(kUnsupportedFileFormat); }

// Read-ahead over a stream (64 KiB, positions counted from where the stream
// stood) or over a block of memory. Large reads bypass the buffer, so
// uncompressed rows go straight into the bitmap.
class TBufferedFile {
public:
    explicit TBufferedFile(TSeekableStream &s) : stream_(&s), origin_(s.Position())
    {
        storage_ = std::make_unique_for_overwrite<std::uint8_t[]>(kCapacity);
        data_ = storage_.get();
    }
    TBufferedFile(const std::uint8_t *p, std::size_t n) : data_(p), last_(n) {}

    // At least min(n, what is left) unread bytes at Peek(); returns how many.
    std::size_t Fill(std::size_t n)
    {
        if (stream_ && last_ - index_ < n && n <= kCapacity) {
            const std::size_t left = last_ - index_;
            std::memmove(storage_.get(), data_ + index_, left);
            pos_ += index_;
            index_ = 0;
            last_ = left + Load(storage_.get() + left, kCapacity - left);
        }
        return last_ - index_;
    }
    const std::uint8_t *Peek() const { return data_ + index_; }

    void Read(std::uint8_t *dst, std::size_t n)
    {
        std::size_t have = std::min(n, last_ - index_);
        std::memcpy(dst, data_ + index_, have);
        index_ += have;
        if (have == n)
            return;
        if (!stream_)
            throw TShortData{};
        dst += have;
        n -= have;
        if (n >= kCapacity / 2) {
            pos_ += std::int64_t(last_);
            index_ = last_ = 0;
            if (Load(dst, n) != n)
                throw TShortData{};
            pos_ += std::int64_t(n);
            return;
        }
        if (Fill(n) < n)
            throw TShortData{};
        std::memcpy(dst, data_, n);
        index_ = n;
    }
    std::uint8_t ReadByte()
    {
        if (index_ == last_ && Fill(1) == 0)
            throw TShortData{};
        return data_[index_++];
    }
    // Moves to Offset from the start (the origin of a stream).
    void SeekTo(std::int64_t Offset)
    {
        if (Offset >= pos_ && Offset <= pos_ + std::int64_t(last_)) {
            index_ = static_cast<std::size_t>(Offset - pos_);
            return;
        }
        if (!stream_)
            throw TShortData{};
        const std::int64_t target = origin_ + Offset;
        if (target > INT_MAX)
            throw TShortData{};
        stream_->Seek(static_cast<int>(target));
        pos_ = Offset;
        index_ = last_ = 0;
    }
    void Skip(std::int64_t n) { SeekTo(Offset() + n); }
    std::int64_t Offset() const { return pos_ + std::int64_t(index_); }

private:
    static constexpr std::size_t kCapacity = 65536;

    std::size_t Load(std::uint8_t *dst, std::size_t n)
    {
        TNoDataExceptOff off(*stream_);
        std::size_t done = 0;
        while (done < n) {
            const int got = stream_->Read(dst + done, static_cast<int>(std::min<std::size_t>(n - done, INT_MAX)));
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

    TSeekableStream *stream_ = nullptr;
    std::int64_t origin_ = 0;
    std::unique_ptr<std::uint8_t[]> storage_;
    const std::uint8_t *data_ = nullptr;
    std::int64_t pos_ = 0; // offset of data_[0]
    std::size_t index_ = 0, last_ = 0;
};

// ------------------------------------------------------------------ header

// The sixteen colours of the old format (red, green, blue).
constexpr std::uint8_t kOldColors[16][3] = {
    {0, 0, 0},      {0, 0, 170},    {0, 170, 0},    {0, 170, 170},  {170, 0, 0},    {170, 0, 170},
    {170, 85, 0},   {170, 170, 170}, {85, 85, 85},  {85, 85, 255},  {85, 255, 85},  {85, 255, 255},
    {255, 85, 85},  {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};

bool ValidBitCount(int b) { return b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32; }

bool Contiguous(std::uint32_t m)
{
    if (m == 0)
        return true;
    const std::uint32_t v = m >> std::countr_zero(m);
    return (v & (v + 1)) == 0;
}

// Checks the fields common to every header and works out the rest. A
// negative PixelOffset means a packed DIB: the pixels follow the colour
// table. DataSize bounds the colour table and, with CheckPixels, the pixels.
void CheckAndFinish(TBMPHeader &h, std::int64_t width, std::int64_t height, int planes, std::uint32_t colorsUsed,
                    std::int64_t dataSize, bool checkPixels, const TDIBLimits &limits)
{
    if (width < 1 || height == 0 || height == INT_MIN)
        Unsupported();
    const std::int64_t absHeight = height < 0 ? -height : height;
    if (width * absHeight > limits.MaxPixels || width * absHeight > kMaxBitmapPixels)
        Unsupported();
    if (!ValidBitCount(h.BitCount) || planes != 1)
        Unsupported();
    h.Width = static_cast<int>(width);
    h.Height = static_cast<int>(absHeight);
    h.TopDown = height < 0;
    if (!h.OldFormat)
        h.Stride = (width * h.BitCount + 31) / 32 * 4;
    if (h.Stride * absHeight > INT_MAX)
        Unsupported();
    const bool rle = h.Compression == 1 || h.Compression == 2;
    if ((h.Compression == 1 && h.BitCount != 8) || (h.Compression == 2 && h.BitCount != 4) || (rle && h.TopDown))
        Unsupported();

    const bool packed = h.PixelOffset < 0;
    std::int64_t tableEnd = h.PaletteOffset;
    if (h.BitCount <= 8) {
        const std::int64_t full = std::int64_t(1) << h.BitCount;
        const std::int64_t used = colorsUsed == 0 || h.HeaderSize == 12 ? full : std::int64_t(colorsUsed);
        h.Colors = static_cast<int>(std::min(used, full));
        if (h.EntrySize == 0)
            h.EntrySize = h.PixelOffset >= h.PaletteOffset + 4 * h.Colors ? 4 : 3;
        // The count as the data gives it: a table larger than the data is an
        // error, not a read past its end.
        if (!h.OldFormat && h.PaletteOffset + used * h.EntrySize > dataSize)
            Unsupported();
        tableEnd += used * h.EntrySize;
    } else if (packed) {
        // Above 8 bits a packed DIB may still carry a table of its colours.
        tableEnd += std::int64_t(colorsUsed) * 4;
        if (tableEnd > dataSize)
            Unsupported();
    }
    if (packed)
        h.PixelOffset = tableEnd;
    if (!checkPixels)
        return;
    if (h.PixelOffset >= dataSize || (!rle && h.PixelOffset + h.PixelBytes() > dataSize))
        Unsupported();
}

void ReadMasks(TBMPHeader &h, const std::uint8_t *masks, std::size_t available)
{
    if (h.BitCount == 16) {
        h.Masks[0] = 0x7C00;
        h.Masks[1] = 0x03E0;
        h.Masks[2] = 0x001F;
    } else if (h.BitCount == 32) {
        h.Masks[0] = 0xFF0000;
        h.Masks[1] = 0xFF00;
        h.Masks[2] = 0xFF;
    }
    if (h.Compression != 3)
        return;
    if (available < 12)
        Unsupported();
    for (int i = 0; i < 3; ++i) {
        h.Masks[i] = U32(masks + 4 * i);
        // A channel without bits has no defined colour.
        if (h.Masks[i] == 0 || !Contiguous(h.Masks[i]))
            Unsupported();
    }
}

// The information header at Info (Size bytes readable from there); Base is
// its offset in the data, PixelOffset the pixels' (negative: after the
// colour table).
TBMPHeader ParseInfo(const std::uint8_t *info, std::size_t size, std::int64_t base, std::int64_t pixelOffset,
                     std::int64_t dataSize, bool checkPixels, const TDIBLimits &limits)
{
    if (size < 4)
        Unsupported();
    TBMPHeader h;
    const std::uint32_t hs = U32(info);
    if (hs != 12 && !(hs >= 16 && hs <= 64) && hs != 108 && hs != 124)
        Unsupported();
    if (std::int64_t(size) < std::min<std::int64_t>(hs, 40))
        Unsupported();
    h.HeaderSize = static_cast<int>(hs);
    std::int64_t width, height;
    int planes;
    std::uint32_t colorsUsed = 0;
    if (hs == 12) {
        width = U16(info + 4);
        height = U16(info + 6);
        planes = static_cast<int>(U16(info + 8));
        h.BitCount = static_cast<int>(U16(info + 10));
    } else {
        // The 64-byte header and every later one start like the 40-byte one.
        width = static_cast<std::int32_t>(U32(info + 4));
        height = static_cast<std::int32_t>(U32(info + 8));
        planes = static_cast<int>(U16(info + 12));
        h.BitCount = static_cast<int>(U16(info + 14));
        h.Compression = hs >= 20 ? static_cast<int>(std::min<std::uint32_t>(U32(info + 16), INT_MAX)) : 0;
        colorsUsed = hs >= 36 ? U32(info + 32) : 0;
        // The image size, the densities and the file header's file size say
        // nothing the pixels need: writers fill them loosely, so they are
        // not read.
    }
    // Packed DIBs say the entry size by their header; files by where their
    // pixels start.
    h.EntrySize = pixelOffset < 0 ? (hs == 12 ? 3 : 4) : 0;
    // Bit-field masks follow a 40-byte header and lie inside the later ones
    // (the OS/2 headers of 16 to 64 bytes use code 3 for another coding).
    const bool os2 = hs != 40 && hs < 52;
    const std::int64_t masksAfter = hs == 40 && h.Compression == 3 ? 12 : 0;
    if (!os2 && h.Compression == 3)
        ReadMasks(h, info + 40, size - 40);
    else
        ReadMasks(h, nullptr, 0);
    h.PaletteOffset = base + hs + masksAfter;
    h.PixelOffset = pixelOffset;
    if (pixelOffset >= 0 && pixelOffset < h.PaletteOffset)
        Unsupported();

    const bool rle = (h.Compression == 1 && h.BitCount == 8) || (h.Compression == 2 && h.BitCount == 4);
    const bool fields = h.Compression == 3 && !os2 && (h.BitCount == 16 || h.BitCount == 32);
    h.Decodable = h.Compression == 0 || rle || fields;
    CheckAndFinish(h, width, height, planes, colorsUsed, dataSize, checkPixels, limits);
    return h;
}

// ------------------------------------------------------------------ pixels

struct TChannel {
    std::uint32_t Mask = 0;
    int Shift = 0, Bits = 0;
    std::uint8_t Lut[128] = {};

    explicit TChannel(std::uint32_t mask) : Mask(mask)
    {
        if (mask == 0)
            return;
        Shift = std::countr_zero(mask);
        Bits = std::popcount(mask);
        if (Bits < 8) {
            const std::uint32_t max = (1u << Bits) - 1;
            for (std::uint32_t v = 0; v <= max; ++v)
                Lut[v] = static_cast<std::uint8_t>((v * 255 + max / 2) / max);
        }
    }
    // The channel scaled to 0..255, rounded to the nearest.
    std::uint8_t operator()(std::uint32_t v) const
    {
        const std::uint32_t x = (v & Mask) >> Shift;
        if (Bits == 8)
            return static_cast<std::uint8_t>(x);
        if (Bits < 8)
            return Lut[x];
        const std::uint64_t max = (std::uint64_t(1) << Bits) - 1;
        return static_cast<std::uint8_t>((x * std::uint64_t(255) + max / 2) / max);
    }
};

void DecodeRLE(const TBMPHeader &h, TBufferedFile &src, TLinearBitmap &b)
{
    const bool four = h.Compression == 2;
    const std::int64_t w = h.Width, height = h.Height;
    std::int64_t x = 0, y = 0; // y counts rows from the bottom of the picture
    // Nothing may land outside the picture: a run past the end of its row
    // or a move beyond the picture is damaged data.
    auto put = [&](std::uint8_t v) {
        if (x >= w)
            Unsupported();
        b.ScanLine(static_cast<int>(height - 1 - y))[x++] = v;
    };
    std::uint8_t run[256];
    while (y < height) {
        const std::uint8_t count = src.ReadByte(), value = src.ReadByte();
        if (count != 0) {
            for (int i = 0; i < count; ++i)
                put(four ? static_cast<std::uint8_t>(i & 1 ? value & 15 : value >> 4) : value);
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of picture
            return;
        case 2: { // delta
            const std::uint8_t dx = src.ReadByte(), dy = src.ReadByte();
            x += dx;
            y += dy;
            if (x > w || y > height || (y == height && x > 0))
                Unsupported();
            break;
        }
        default: { // absolute run
            const int n = value, bytes = four ? (n + 1) / 2 : n;
            src.Read(run, static_cast<std::size_t>(bytes + (bytes & 1)));
            for (int i = 0; i < n; ++i)
                put(four ? static_cast<std::uint8_t>(i & 1 ? run[i / 2] & 15 : run[i / 2] >> 4) : run[i]);
            break;
        }
        }
    }
}

void DecodeRows(const TBMPHeader &h, TBufferedFile &src, TLinearBitmap &b)
{
    const std::int64_t rowBytes = (std::int64_t(h.Width) * h.BitCount + 7) / 8;
    const std::int64_t n = std::min(rowBytes, h.Stride); // the old format's stride may be short
    std::vector<std::uint8_t> scratch;
    const bool direct = h.BitCount == 8 || h.BitCount == 24;
    if (!direct)
        scratch.resize(static_cast<std::size_t>(rowBytes));
    const TChannel r(h.Masks[0]), g(h.Masks[1]), bl(h.Masks[2]);
    const bool plain32 = h.BitCount == 32 && h.Masks[0] == 0xFF0000 && h.Masks[1] == 0xFF00 && h.Masks[2] == 0xFF;
    const int w = h.Width;
    if (direct && h.Stride == rowBytes) {
        // Unpadded rows: blocks of whole rows straight into the bitmap, each
        // block's rows then put top row first while they are still in cache.
        const int perBlock = h.TopDown ? h.Height : std::max(1, static_cast<int>(65536 / rowBytes));
        for (int y = 0; y < h.Height; y += perBlock) {
            const int k = std::min(perBlock, h.Height - y);
            std::uint8_t *block = b.ScanLine(h.TopDown ? y : h.Height - y - k);
            src.Read(block, static_cast<std::size_t>(k * rowBytes));
            if (!h.TopDown) {
                scratch.resize(static_cast<std::size_t>(rowBytes));
                for (int i = 0, j = k - 1; i < j; ++i, --j) {
                    std::uint8_t *a = block + i * rowBytes, *c = block + j * rowBytes;
                    std::memcpy(scratch.data(), a, static_cast<std::size_t>(rowBytes));
                    std::memcpy(a, c, static_cast<std::size_t>(rowBytes));
                    std::memcpy(c, scratch.data(), static_cast<std::size_t>(rowBytes));
                }
            }
        }
        return;
    }
    for (int y = 0; y < h.Height; ++y) {
        std::uint8_t *row = b.ScanLine(h.TopDown ? y : h.Height - 1 - y);
        std::uint8_t *in = direct ? row : scratch.data();
        src.Read(in, static_cast<std::size_t>(n));
        if (!direct && n < rowBytes) // an old-format row shorter than the picture
            std::memset(in + n, 0, static_cast<std::size_t>(rowBytes - n));
        if (y + 1 < h.Height && h.Stride > n)
            src.Skip(h.Stride - n);
        switch (h.BitCount) {
        case 1:
            for (int x = 0; x < w; ++x)
                row[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        case 4:
            for (int x = 0; x < w; ++x)
                row[x] = x & 1 ? in[x >> 1] & 15 : in[x >> 1] >> 4;
            break;
        case 16:
            for (int x = 0; x < w; ++x, row += 3) {
                const std::uint32_t v = U16(in + 2 * x);
                row[0] = bl(v);
                row[1] = g(v);
                row[2] = r(v);
            }
            break;
        case 32:
            if (plain32) {
                for (int x = 0; x < w; ++x, row += 3, in += 4) {
                    row[0] = in[0];
                    row[1] = in[1];
                    row[2] = in[2];
                }
            } else {
                for (int x = 0; x < w; ++x, row += 3) {
                    const std::uint32_t v = U32(in + 4 * x);
                    row[0] = bl(v);
                    row[1] = g(v);
                    row[2] = r(v);
                }
            }
            break;
        default: break; // 8 and 24 bits went straight into the row
        }
    }
}

void Decode(const TBMPHeader &h, TBufferedFile &palette, TBufferedFile &pixels, TLinearBitmap &b)
{
    if (!h.Decodable)
        Unsupported();
    const TPixelFormat pf = h.BitCount <= 8 ? pf8bit : pf24bit;
    if ((h.Compression == 0 || h.Compression == 3) && !h.OldFormat) {
        // Every pixel byte is written below: skip clearing the block first.
        const int ps = pf == pf8bit ? 1 : 3;
        const std::int64_t size = std::int64_t(h.Width) * ps * h.Height;
        b.Map = NewPixelBlock(size + 1, false);
        b.Map[size] = 0;
        b.Palette = pf == pf8bit ? std::make_unique<std::uint8_t[]>(768) : nullptr;
        b.Width = h.Width;
        b.Height = h.Height;
        b.PixelFormat = pf;
        b.PixelSize = ps;
        b.BytesPerLine = h.Width * ps;
        b.Size = static_cast<int>(size);
        b.Present = true;
    } else {
        b.New(h.Width, h.Height, pf);
    }
    if (h.BitCount <= 8) {
        std::uint8_t *pal = b.Palette.get();
        std::memset(pal, 0, 768);
        if (h.OldFormat) {
            const int n = h.BitCount == 1 ? 2 : 16;
            for (int i = 0; i < n; ++i) {
                const int c = h.BitCount == 1 ? i * 15 : i;
                pal[3 * i] = kOldColors[c][2];
                pal[3 * i + 1] = kOldColors[c][1];
                pal[3 * i + 2] = kOldColors[c][0];
            }
        } else {
            std::uint8_t entries[256 * 4];
            palette.SeekTo(h.PaletteOffset);
            palette.Read(entries, static_cast<std::size_t>(h.Colors * h.EntrySize));
            for (int i = 0; i < h.Colors; ++i)
                std::memcpy(pal + 3 * i, entries + i * h.EntrySize, 3);
        }
    }
    pixels.SeekTo(h.PixelOffset);
    if (h.Compression == 1 || h.Compression == 2)
        DecodeRLE(h, pixels, b);
    else
        DecodeRows(h, pixels, b);
}

// Runs a decode; on any failure the bitmap is left empty.
template <typename F>
int Guarded(TLinearBitmap &Bitmap, F &&f)
{
    Bitmap.Clear();
    int result = dibOK;
    try {
        f();
    } catch (const TShortData &) {
        result = dibReadError;
    } catch (const EInOutError &) {
        result = dibReadError;
    } catch (const Exception &e) {
        result = std::strcmp(e.what(), kUnsupportedFileFormat) == 0 ? dibUnsupported : dibException;
    } catch (const std::bad_alloc &) {
        result = dibNoBuffer;
    } catch (const std::exception &) {
        result = dibException;
    }
    if (result != dibOK)
        Bitmap.Clear();
    return result;
}

int ReadSeekable(TSeekableStream &Stream, TLinearBitmap &Bitmap, const TDIBLimits &Limits)
{
    std::unique_ptr<TBufferedFile> file;
    try {
        file = std::make_unique<TBufferedFile>(Stream);
    } catch (const std::exception &) {
        return dibNoBuffer;
    }
    return Guarded(Bitmap, [&] {
        const std::int64_t dataSize = std::int64_t(Stream.Size()) - Stream.Position();
        const std::size_t got = file->Fill(150);
        const TBMPHeader h = ParseBMPHeader(file->Peek(), got, dataSize, Limits);
        Decode(h, *file, *file, Bitmap);
    });
}

} // namespace

std::int64_t TBMPHeader::PixelBytes() const
{
    const std::int64_t rowBytes = (std::int64_t(Width) * BitCount + 7) / 8;
    return Stride * (Height - 1) + std::min(rowBytes, Stride);
}

TBMPHeader ParseBMPHeader(const std::uint8_t *Data, std::size_t Size, std::int64_t DataSize, const TDIBLimits &Limits)
{
    if (Size < 10 || DataSize < std::int64_t(Size))
        Unsupported();
    const std::uint32_t type = U16(Data);
    if (type == 0) {
        TBMPHeader h;
        h.OldFormat = true;
        h.PixelOffset = h.PaletteOffset = 10;
        h.BitCount = Data[9];
        h.Stride = U16(Data + 6);
        h.Decodable = true;
        CheckAndFinish(h, U16(Data + 2), U16(Data + 4), Data[8], 0, DataSize, true, Limits);
        return h;
    }
    if (type != 0x4D42 || Size < 18)
        Unsupported();
    return ParseInfo(Data + 14, Size - 14, 14, U32(Data + 10), DataSize, true, Limits);
}

int ReadDIBFromStream(TBaseStream &Stream, TLinearBitmap &Bitmap, const TDIBLimits &Limits)
{
    if (auto *seekable = dynamic_cast<TSeekableStream *>(&Stream))
        return ReadSeekable(*seekable, Bitmap, Limits);
    // A stream that cannot go back is read whole first (at most 2 GiB, the
    // most a BMP file can address).
    std::vector<std::uint8_t> data;
    try {
        TNoDataExceptOff off(Stream);
        std::uint8_t chunk[65536];
        for (int got; (got = Stream.Read(chunk, sizeof chunk)) > 0;) {
            if (data.size() + std::size_t(got) > std::size_t(INT_MAX))
                return dibUnsupported;
            data.insert(data.end(), chunk, chunk + got);
        }
    } catch (const std::exception &) {
        return dibReadError;
    }
    return Guarded(Bitmap, [&] {
        const TBMPHeader h = ParseBMPHeader(data.data(), std::min<std::size_t>(data.size(), 150),
                                            std::int64_t(data.size()), Limits);
        TBufferedFile file(data.data(), data.size());
        Decode(h, file, file, Bitmap);
    });
}

void ReadDIB(const void *Data, std::size_t Size, TLinearBitmap &Bitmap)
{
    const auto *p = static_cast<const std::uint8_t *>(Data);
    const int r = Guarded(Bitmap, [&] {
        if (!p || Size > std::size_t(INT_MAX))
            Unsupported();
        const TBMPHeader h = ParseInfo(p, Size, 0, -1, std::int64_t(Size), true, {});
        TBufferedFile file(p, Size);
        Decode(h, file, file, Bitmap);
    });
    if (r != dibOK)
        throw Exception(kUnsupportedFileFormat);
}

void ReadDIB(const void *Info, std::size_t InfoSize, const void *Bits, std::size_t BitsSize, TLinearBitmap &Bitmap)
{
    const auto *info = static_cast<const std::uint8_t *>(Info);
    const auto *bits = static_cast<const std::uint8_t *>(Bits);
    const int r = Guarded(Bitmap, [&] {
        if (!info || !bits || InfoSize > std::size_t(INT_MAX) || BitsSize > std::size_t(INT_MAX))
            Unsupported();
        // The colour table within the header block, the pixels within theirs.
        TBMPHeader h = ParseInfo(info, InfoSize, 0, -1, std::int64_t(InfoSize), false, {});
        h.PixelOffset = 0;
        const bool rle = h.Compression == 1 || h.Compression == 2;
        if (BitsSize == 0 || (!rle && h.PixelBytes() > std::int64_t(BitsSize)))
            Unsupported();
        TBufferedFile header(info, InfoSize), pixels(bits, BitsSize);
        Decode(h, header, pixels, Bitmap);
    });
    if (r != dibOK)
        throw Exception(kUnsupportedFileFormat);
}

} // namespace imaging
