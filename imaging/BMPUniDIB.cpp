#include "imaging/BMPUniDIB.h"

#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <cstring>

namespace imaging {

namespace {

int RoundBitCount(int b)
{
    for (int c : {1, 4, 8, 16, 24})
        if (b <= c)
            return c;
    return 32;
}

} // namespace

TUniDIB::TUniDIB(int W, int Layout16, int BitCount, int H) : Layout16_(Layout16)
{
    const int bits = RoundBitCount(BitCount);
    if (W < 1)
        W = 1;
    if (H == 0)
        H = 1;
    const std::int64_t absH = H < 0 ? -std::int64_t(H) : H;
    if (std::int64_t(W) * absH > kMaxBitmapPixels)
        throw ELinearBitmap("Invalid bitmap size");
    Info.Header.biWidth = W;
    Info.Header.biHeight = H;
    Info.Header.biBitCount = static_cast<std::uint16_t>(bits);
    BytesPerLine = static_cast<int>((std::int64_t(bits) * W + 31) / 32 * 4);
    ImageSize = static_cast<int>(absH * BytesPerLine);
    HasPalette = bits <= 8;
    NumColors = HasPalette ? 1 << bits : 0;
    Storage_ = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(ImageSize));
    Bits = Storage_.get();
    switch (bits) {
    case 1: Set_ = &TUniDIB::Set1, Get_ = &TUniDIB::Get1; break;
    case 4: Set_ = &TUniDIB::Set4, Get_ = &TUniDIB::Get4; break;
    case 8: Set_ = &TUniDIB::Set8, Get_ = &TUniDIB::Get8; break;
    case 16: Set_ = &TUniDIB::Set16, Get_ = &TUniDIB::Get16; break;
    case 24: Set_ = &TUniDIB::Set24, Get_ = &TUniDIB::Get24; break;
    default: Set_ = &TUniDIB::Set32, Get_ = &TUniDIB::Get32; break;
    }
}

std::int64_t TUniDIB::Offset(int X, int Y) const
{
    if (X < 0 || X >= Width() || Y < 0 || std::int64_t(Y) * BytesPerLine >= ImageSize)
        return -1;
    return std::int64_t(Y) * BytesPerLine + std::int64_t(X) * BitCount() / 8;
}

void TUniDIB::SetPosition(int X, int Y)
{
    CursorIndex = X;
    Cursor_ = std::int64_t(Y) * BytesPerLine + std::int64_t(BitCount() / 8) * X;
}

void TUniDIB::PutNext(std::uint32_t Value)
{
    const int bits = BitCount();
    if (bits < 8) {
        (this->*Set_)(Cursor_ + std::int64_t(CursorIndex) * bits / 8, CursorIndex, Value);
    } else {
        (this->*Set_)(Cursor_, 0, Value);
        Cursor_ += bits / 8;
    }
    ++CursorIndex;
}

std::uint32_t TUniDIB::GetNext()
{
    const int bits = BitCount();
    std::uint32_t v;
    if (bits < 8) {
        v = (this->*Get_)(Cursor_ + std::int64_t(CursorIndex) * bits / 8, CursorIndex);
    } else {
        v = (this->*Get_)(Cursor_, 0);
        Cursor_ += bits / 8;
    }
    ++CursorIndex;
    return v;
}

void TUniDIB::Set1(std::int64_t at, int x, std::uint32_t v)
{
    if (!Inside(at, 1))
        return;
    const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
    Bits[at] = v ? Bits[at] | bit : Bits[at] & ~bit;
}
std::uint32_t TUniDIB::Get1(std::int64_t at, int x) const
{
    return Inside(at, 1) ? (Bits[at] >> (7 - (x & 7))) & 1 : 0;
}

void TUniDIB::Set4(std::int64_t at, int x, std::uint32_t v)
{
    if (!Inside(at, 1))
        return;
    Bits[at] = x & 1 ? (Bits[at] & 0xF0) | (v & 15) : (Bits[at] & 0x0F) | (v & 15) << 4;
}
std::uint32_t TUniDIB::Get4(std::int64_t at, int x) const
{
    return Inside(at, 1) ? (x & 1 ? Bits[at] & 15 : Bits[at] >> 4) : 0;
}

void TUniDIB::Set8(std::int64_t at, int, std::uint32_t v)
{
    if (Inside(at, 1))
        Bits[at] = static_cast<std::uint8_t>(v);
}
std::uint32_t TUniDIB::Get8(std::int64_t at, int) const { return Inside(at, 1) ? Bits[at] : 0; }

void TUniDIB::Set16(std::int64_t at, int, std::uint32_t v)
{
    if (!Inside(at, 2))
        return;
    const std::uint32_t a = (v >> 16) & 63, b = (v >> 8) & 63, c = v & 63;
    std::uint32_t w;
    switch (Layout16_) {
    case 0: w = (a & 31) << 10 | (b & 31) << 5 | (c & 31); break;
    case 1: w = (a >> 1) << 10 | (b & 31) << 5 | (c & 31) | (a & 1) << 15; break;
    case 2: w = (a & 31) << 10 | (b >> 1) << 5 | (c & 31) | (b & 1) << 15; break;
    case 3: w = (a & 31) << 10 | (b & 31) << 5 | (c >> 1) | (c & 1) << 15; break;
    default: return; // no such layout: the section stays as it is
    }
    Bits[at] = static_cast<std::uint8_t>(w);
    Bits[at + 1] = static_cast<std::uint8_t>(w >> 8);
}
std::uint32_t TUniDIB::Get16(std::int64_t at, int) const
{
    if (!Inside(at, 2))
        return 0;
    const std::uint32_t w = Bits[at] | Bits[at + 1] << 8, low = w >> 15;
    std::uint32_t a = (w >> 10) & 31, b = (w >> 5) & 31, c = w & 31;
    switch (Layout16_) {
    case 0: break;
    case 1: a = a << 1 | low; break;
    case 2: b = b << 1 | low; break;
    case 3: c = c << 1 | low; break;
    default: return 0;
    }
    return a << 16 | b << 8 | c;
}

void TUniDIB::Set24(std::int64_t at, int, std::uint32_t v)
{
    if (!Inside(at, 3))
        return;
    Bits[at] = static_cast<std::uint8_t>(v);
    Bits[at + 1] = static_cast<std::uint8_t>(v >> 8);
    Bits[at + 2] = static_cast<std::uint8_t>(v >> 16);
}
std::uint32_t TUniDIB::Get24(std::int64_t at, int) const
{
    return Inside(at, 3) ? Bits[at] | Bits[at + 1] << 8 | std::uint32_t(Bits[at + 2]) << 16 : 0;
}

void TUniDIB::Set32(std::int64_t at, int, std::uint32_t v)
{
    if (Inside(at, 4))
        std::memcpy(Bits + at, &v, 4);
}
std::uint32_t TUniDIB::Get32(std::int64_t at, int) const
{
    std::uint32_t v = 0;
    if (Inside(at, 4))
        std::memcpy(&v, Bits + at, 4);
    return v;
}

void TUniDIB::SetColorTable(const TLogPalette &LogPalette)
{
    if (!HasPalette)
        return;
    for (int i = 0; i < NumColors; ++i) {
        const TPaletteEntry &e = LogPalette.palPalEntry[i];
        Info.Colors[i][0] = e.peBlue;
        Info.Colors[i][1] = e.peGreen;
        Info.Colors[i][2] = e.peRed;
        Info.Colors[i][3] = e.peFlags;
    }
}

QImage TUniDIB::ToImage() const
{
    const int w = Width(), h = std::abs(Height()), bits = BitCount();
    QImage::Format f = bits <= 8 ? QImage::Format_Indexed8
                       : bits == 16 ? QImage::Format_RGB555
                       : bits == 24 ? QImage::Format_BGR888
                                    : QImage::Format_RGB32;
    QImage image(w, h, f);
    if (image.isNull())
        throw platform::EOutOfResources("Not enough memory for the bitmap");
    if (HasPalette) {
        QList<QRgb> table;
        for (int i = 0; i < NumColors; ++i)
            table.append(qRgb(Info.Colors[i][2], Info.Colors[i][1], Info.Colors[i][0]));
        image.setColorTable(table);
    }
    for (int y = 0; y < h; ++y) {
        const int row = Height() < 0 ? y : h - 1 - y;
        std::uint8_t *d = image.scanLine(y);
        if (bits <= 8) {
            for (int x = 0; x < w; ++x)
                d[x] = static_cast<std::uint8_t>(GetPixel(x, row));
        } else {
            std::memcpy(d, Bits + std::int64_t(row) * BytesPerLine, static_cast<std::size_t>(w * bits / 8));
            if (bits == 16) // the sixth bit of a channel is not shown
                for (int x = 0; x < w; ++x)
                    d[2 * x + 1] &= 0x7F;
            if (bits == 32)
                for (int x = 0; x < w; ++x)
                    d[4 * x + 3] = 0xFF;
        }
    }
    return image;
}

void TUniDIB::Draw(QPainter &Target) const { Target.drawImage(0, 0, ToImage()); }

} // namespace imaging
