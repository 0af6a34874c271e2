#include "imaging/BMPLoader.h"

#include "imaging/MemStream.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <vector>

namespace imaging {

const char *const BMPDescription = "Windows bitmap";

namespace {

void PutU16(std::uint8_t *p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutU32(std::uint8_t *p, std::uint32_t v)
{
    PutU16(p, v & 0xFFFF);
    PutU16(p + 2, v >> 16);
}

[[noreturn]] void Unsupported() { throw Exception(kUnsupportedFileFormat); }

// Qt's reader on the data from Origin to the end; a null image when it fails.
QImage ReadWithQt(TSeekableStream &Stream, int Origin, std::int64_t DataSize)
{
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(DataSize));
    Stream.Seek(Origin);
    {
        TNoDataExceptOff off(Stream);
        if (Stream.Read(bytes.data(), static_cast<int>(DataSize)) != DataSize)
            return QImage();
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "BMP");
    // MiB: the header check already holds the picture to 2^28 pixels.
    reader.setAllocationLimit(1100);
    QImage image;
    if (!reader.read(&image))
        return QImage();
    return image;
}

void OwnReader(TSeekableStream &Stream, int Origin, TLinearBitmap &Bitmap)
{
    Stream.Seek(Origin);
    if (ReadDIBFromStream(Stream, Bitmap) != dibOK)
        Unsupported();
}

} // namespace

// ---------------------------------------------------------------- reading

void LoadBMP(TSeekableStream &Stream, TLinearBitmap &Bitmap)
{
    Bitmap.Clear();
    const int origin = Stream.Position();
    const std::int64_t dataSize = std::int64_t(Stream.Size()) - origin;
    std::uint8_t head[150];
    int got;
    {
        TNoDataExceptOff off(Stream);
        got = Stream.Read(head, static_cast<int>(std::clamp<std::int64_t>(dataSize, 0, sizeof head)));
    }
    // Hostile sizes, counts and offsets stop here, before any reader runs.
    const TBMPHeader h = ParseBMPHeader(head, static_cast<std::size_t>(std::max(got, 0)), dataSize);

    if (h.Decodable) {
        OwnReader(Stream, origin, Bitmap);
        // The old format arrives drawn onto a platform bitmap: true colour.
        if (h.OldFormat)
            Bitmap.ChangePixelFormat(pf24bit);
        return;
    }
    // Codings the own reader does not take are left to Qt's reader.
    QImage image = ReadWithQt(Stream, origin, dataSize);
    if (image.isNull())
        Unsupported();
    image = image.convertToFormat(h.BitCount <= 8 ? QImage::Format_Indexed8 : QImage::Format_BGR888);
    if (image.isNull())
        throw platform::EOutOfResources("Not enough memory for the bitmap");
    Bitmap.AssignFromBitmap(image);
}

bool TBMPLoader::CanLoad(const std::string &Ext)
{
    return UpperCase(Ext) == "BMP";
}

bool TBMPLoader::CanSave(const std::string &Ext) { return CanLoad(Ext); }

void TBMPLoader::GetLoadFilter(std::string &Filter) { Filter = std::string(BMPDescription) + " (*.bmp)|*.bmp"; }

void TBMPLoader::LoadFromStream(TBaseStream &Stream, const std::string & /*Ext*/, TLinearBitmap &Bitmap)
{
    if (auto *seekable = dynamic_cast<TSeekableStream *>(&Stream)) {
        LoadBMP(*seekable, Bitmap);
        return;
    }
    TMemStream copy;
    {
        TNoDataExceptOff off(Stream);
        CopyStreamData(Stream, &copy, INT_MAX);
    }
    copy.Seek(0);
    LoadBMP(copy, Bitmap);
}

// ---------------------------------------------------------------- writing

void WriteBMP(TBaseStream &Stream, const TLinearBitmap &Bitmap)
{
    if (!Bitmap.Present || !Bitmap.Map)
        return;
    int bits;
    switch (Bitmap.PixelFormat) {
    case pf8bit:
    case pf16bit: bits = 8; break;
    case pf24bit: bits = 24; break;
    case pf32bit: bits = 32; break;
    default: throw ELinearBitmap("Unsupported pixel format");
    }
    const int w = Bitmap.Width, h = Bitmap.Height;
    const std::int64_t rowBytes = std::int64_t(w) * bits / 8;
    const std::int64_t stride = (std::int64_t(w) * bits + 31) / 32 * 4;
    const int colors = bits == 8 ? 256 : 0;
    const std::int64_t offBits = 14 + 40 + 4 * colors, imageSize = stride * h;
    if (offBits + imageSize > INT_MAX) // the most a file's 32-bit fields and our streams take
        throw ELinearBitmap("Invalid bitmap size");

    std::uint8_t head[14 + 40 + 4 * 256] = {};
    head[0] = 'B';
    head[1] = 'M';
    PutU32(head + 2, static_cast<std::uint32_t>(offBits + imageSize));
    PutU32(head + 10, static_cast<std::uint32_t>(offBits));
    PutU32(head + 14, 40);
    PutU32(head + 18, static_cast<std::uint32_t>(w));
    PutU32(head + 22, static_cast<std::uint32_t>(h));
    PutU16(head + 26, 1);
    PutU16(head + 28, static_cast<std::uint32_t>(bits));
    PutU32(head + 34, static_cast<std::uint32_t>(imageSize));
    PutU32(head + 46, static_cast<std::uint32_t>(colors));
    if (colors) {
        const std::uint8_t *pal = Bitmap.PixelFormat == pf16bit || !Bitmap.Palette ? GreyPalette.data()
                                                                                    : Bitmap.Palette.get();
        for (int i = 0; i < 256; ++i)
            std::memcpy(head + 54 + 4 * i, pal + 3 * i, 3);
    }
    // Rows go out bottom first. A memory stream grows once to the file's
    // size and takes each row straight from the bitmap: one copy of the
    // pixels, no allocation per block.
    auto *mem = dynamic_cast<TMemStream *>(&Stream);
    if (mem)
        mem->Reserve(static_cast<int>(offBits + imageSize));
    Stream.Write(head, static_cast<int>(offBits));
    if (mem && Bitmap.PixelFormat != pf16bit) {
        static constexpr std::uint8_t pad[4] = {};
        for (int y = h - 1; y >= 0; --y) {
            mem->Write(Bitmap.ScanLine(y), static_cast<int>(rowBytes));
            mem->Write(pad, static_cast<int>(stride - rowBytes));
        }
        return;
    }

    // Other streams (files: every write a system call) get the rows gathered
    // into blocks of about 256 KiB, so they see few large writes.
    const std::int64_t rowsPerBlock = std::max<std::int64_t>(1, (256 << 10) / stride);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::int64_t>(rowsPerBlock, h) * stride));
    for (int y = h - 1; y >= 0;) {
        std::uint8_t *out = block.data();
        for (std::int64_t n = 0; n < rowsPerBlock && y >= 0; ++n, --y, out += stride) {
            const std::uint8_t *in = Bitmap.ScanLine(y);
            if (Bitmap.PixelFormat == pf16bit) {
                for (int x = 0; x < w; ++x)
                    out[x] = in[2 * x + 1];
            } else {
                std::memcpy(out, in, static_cast<std::size_t>(rowBytes));
            }
            std::memset(out + rowBytes, 0, static_cast<std::size_t>(stride - rowBytes));
        }
        Stream.Write(block.data(), static_cast<int>(out - block.data()));
    }
}

void TBMPLoader::SaveToStream(TBaseStream &Stream, const std::string & /*Ext*/, const TLinearBitmap &Bitmap)
{
    WriteBMP(Stream, Bitmap);
}

// ------------------------------------------------------------ registration

namespace {
TLoaderSlot<TBMPLoader> &Slot()
{
    static TLoaderSlot<TBMPLoader> slot;
    return slot;
}
} // namespace

TBMPLoader *BMPLoader() { return Slot().Get(); }

void RegisterBMPLoader()
{
    if (Slot().Register())
        platform::RegisterFileFormat<TFallbackBitmap>("bmp", BMPDescription);
}

void UnregisterBMPLoader()
{
    if (Slot().Unregister())
        platform::UnregisterGraphicClass("TFallbackBitmap");
}

} // namespace imaging
