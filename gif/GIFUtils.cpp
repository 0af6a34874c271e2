#include "gif/GIFUtils.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>

namespace gif {

std::int64_t GIFMaxPixels = std::int64_t(1) << 28;

void Error(const std::string &Message)
{
    throw GIFException(Message);
}

void CheckPixelCount(std::int64_t Width, std::int64_t Height)
{
    if (Width < 0 || Height < 0 || Width * Height > GIFMaxPixels)
        Error("Image is too large");
}

QImage NewImage(int Width, int Height, QImage::Format Format)
{
    QImage img(Width, Height, Format);
    if (img.isNull())
        throw platform::EOutOfResources("Out of system resources");
    return img;
}

std::int64_t MulDiv(std::int64_t A, std::int64_t B, std::int64_t C)
{
    if (C == 0)
        return -1;
    std::int64_t p = A * B;
    if (C < 0)
        p = -p, C = -C;
    return (p >= 0 ? p + C / 2 : p - C / 2) / C;
}

void ReadCheck(QIODevice &Stream, void *Buffer, std::int64_t Size)
{
    if (Size <= 0)
        return;
    if (Stream.read(static_cast<char *>(Buffer), Size) != Size)
        Error("Premature end of data");
}

void WriteCheck(QIODevice &Stream, const void *Buffer, std::int64_t Size)
{
    if (Size > 0 && Stream.write(static_cast<const char *>(Buffer), Size) != Size)
        throw platform::EStreamError("Stream write error");
}

void PutByte(QIODevice &Stream, std::uint8_t Value)
{
    WriteCheck(Stream, &Value, 1);
}

int GetByte(QIODevice &Stream)
{
    char c;
    return Stream.getChar(&c) ? int(static_cast<unsigned char>(c)) : -1;
}

void StepBack(QIODevice &Stream)
{
    Stream.seek(Stream.pos() - 1);
}

void WriteSubBlockStrings(QIODevice &Stream, const std::vector<std::string> &Lines)
{
    for (const auto &line : Lines) {
        for (std::size_t at = 0; at < line.size(); at += 255) {
            const auto n = std::min<std::size_t>(255, line.size() - at);
            PutByte(Stream, std::uint8_t(n));
            WriteCheck(Stream, line.data() + at, std::int64_t(n));
        }
    }
    PutByte(Stream, 0);
}

void ReadSubBlockStrings(QIODevice &Stream, std::vector<std::string> &Lines)
{
    Lines.clear();
    char buf[255];
    for (int n = GetByte(Stream); n > 0; n = GetByte(Stream)) {
        ReadCheck(Stream, buf, n);
        Lines.emplace_back(buf, std::find(buf, buf + n, '\0'));
    }
}

std::vector<QRgb> WebPalette()
{
    std::vector<QRgb> pal;
    pal.reserve(216);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                pal.push_back(qRgb(r * 51, g * 51, b * 51));
    return pal;
}

int WebPaletteIndex(int Red, int Green, int Blue)
{
    const auto level = [](int v) { return (std::clamp(v, 0, 255) + 25) / 51; };
    return level(Red) * 36 + level(Green) * 6 + level(Blue);
}

std::int64_t RowBytes(std::int64_t Pixels, int BitsPerPixel, int Alignment)
{
    return ((Pixels * BitsPerPixel + Alignment - 1) & ~std::int64_t(Alignment - 1)) >> 3;
}

int BitsForColors(int Colors)
{
    if (Colors <= 0)
        return 0;
    int b = 1;
    while ((1 << b) < Colors && b < 31)
        ++b;
    return b;
}

} // namespace gif
