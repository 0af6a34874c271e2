#pragma once
// A device-independent bitmap section as plain memory: a 40-byte information
// header with a 256-entry colour table, rows padded to 4 bytes, bottom row
// first unless the height is negative, and pixel access for 1, 4, 8, 16, 24
// and 32 bits per pixel, chosen once per section.
//
// Pixel values are unsigned 32-bit: the colour index for 1, 4 and 8 bits; the
// bytes in memory order (least significant first) for 24 and 32 bits; for 16
// bits three unscaled channels in byte lanes (first in bits 16-21, second in
// 8-13, third in 0-5), packed by the section's 16-bit layout:
//   0  5-5-5  first in bits 10-14, second 5-9, third 0-4, bit 15 zero
//   1  6-5-5  the first channel's upper five bits in 10-14, its lowest in 15
//   2  5-6-5  the second channel's upper five bits in 5-9, its lowest in 15
//   3  5-5-6  the third channel's upper five bits in 0-4, its lowest in 15
// so every layout shows as an ordinary 5-5-5 section. Positions outside the
// section are ignored (reads give 0).
#include "imaging/LinarBitmap.h"

#include <cstdint>
#include <memory>

class QImage;
class QPainter;

namespace imaging {

struct TBitmapInfoHeader {
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

struct TLogPalette {
    std::uint16_t palVersion = 0x300;
    std::uint16_t palNumEntries = 0;
    TPaletteEntry palPalEntry[256] = {};
};

class TUniDIB {
public:
    // BitCount rounds up to the first of 1, 4, 8, 16, 24 not below it, else
    // 32; a width below 1 becomes 1 and a height of 0 becomes 1; a negative
    // height makes a top-down section. Above 2^28 pixels raises ELinearBitmap
    // "Invalid bitmap size".
    TUniDIB(int Width, int Layout16, int BitCount, int Height);

    struct {
        TBitmapInfoHeader Header;
        std::uint8_t Colors[256][4] = {}; // blue, green, red, reserved
    } Info;
    std::uint8_t *Bits = nullptr;
    int BytesPerLine = 0;
    int CursorIndex = 0;
    int ImageSize = 0;
    bool HasPalette = false;
    int NumColors = 0;

    int Width() const { return Info.Header.biWidth; }
    int Height() const { return Info.Header.biHeight; }
    int BitCount() const { return Info.Header.biBitCount; }

    // Row Y is the Y-th row in memory (the picture's bottom row for a
    // bottom-up section).
    void SetPosition(int X, int Y);
    void SetPixel(int X, int Y, std::uint32_t Value) { (this->*Set_)(Offset(X, Y), X, Value); }
    std::uint32_t GetPixel(int X, int Y) const { return (this->*Get_)(Offset(X, Y), X); }
    void PutNext(std::uint32_t Value);
    std::uint32_t GetNext();
    // Copies the first NumColors entries; nothing without a colour table.
    void SetColorTable(const TLogPalette &LogPalette);
    // The section as a top-down image (Indexed8 up to 8 bits, RGB555, BGR888
    // or RGB32), and drawn at (0, 0).
    QImage ToImage() const;
    void Draw(QPainter &Target) const;

private:
    using SetFn = void (TUniDIB::*)(std::int64_t, int, std::uint32_t);
    using GetFn = std::uint32_t (TUniDIB::*)(std::int64_t, int) const;

    // The byte of pixel X in row Y, or -1 outside the section.
    std::int64_t Offset(int X, int Y) const;
    bool Inside(std::int64_t at, int bytes) const { return at >= 0 && at + bytes <= ImageSize; }
    void Set1(std::int64_t at, int x, std::uint32_t v);
    std::uint32_t Get1(std::int64_t at, int x) const;
    void Set4(std::int64_t at, int x, std::uint32_t v);
    std::uint32_t Get4(std::int64_t at, int x) const;
    void Set8(std::int64_t at, int x, std::uint32_t v);
    std::uint32_t Get8(std::int64_t at, int x) const;
    void Set16(std::int64_t at, int x, std::uint32_t v);
    std::uint32_t Get16(std::int64_t at, int x) const;
    void Set24(std::int64_t at, int x, std::uint32_t v);
    std::uint32_t Get24(std::int64_t at, int x) const;
    void Set32(std::int64_t at, int x, std::uint32_t v);
    std::uint32_t Get32(std::int64_t at, int x) const;

    std::unique_ptr<std::uint8_t[]> Storage_;
    int Layout16_ = 0;
    std::int64_t Cursor_ = 0; // byte offset of the cursor's row (1, 4 bits) or pixel
    SetFn Set_ = nullptr;
    GetFn Get_ = nullptr;
};

} // namespace imaging
