#pragma once
// The icon list: the directory of one icon (ICO) or cursor (CUR) file with
// its images, read from and written to the file format.
//
// Every image is a device-independent bitmap of 1, 4, 8 or 24 bits per pixel
// with a 1-bit transparency mask; rows are stored bottom-up. Today's tools
// also put 32-bit, PNG-compressed and 256-pixel images into these files: the
// list passes over those entries and keeps the ones it can read.
#include "imaging/LinarBitmap.h"

#include <cstdint>
#include <memory>
#include <vector>

class QImage;

namespace imaging {

// Text of the unsupported-bit-count failure.
inline constexpr const char *kUnsupportedPixelFormat = "Unsupported pixel format";

// A palette entry as a colour 0x00BBGGRR.
constexpr std::uint32_t EntryColor(const TPaletteEntry &e)
{
    return e.peRed | (std::uint32_t(e.peGreen) << 8) | (std::uint32_t(e.peBlue) << 16);
}

class TIconImage : public TAssignObject {
public:
    // Raises "Unsupported pixel format" for a bit count other than 1, 4, 8, 24
    // and ELinearBitmap "Invalid bitmap size" outside 1..256 pixels.
    TIconImage(int Width, int BitCount, int Height);

    int Width = 0;
    int Height = 0; // of the picture, not the doubled height of the file header
    TPixelFormat PixelFormat = pfCustom;
    int BitCount = 0;
    int XorBytesPerLine = 0;
    int AndBytesPerLine = 0;
    int XorSize = 0;
    int AndSize = 0;
    int PaletteSize = 0; // bytes in the file: 4 per entry, 0 for 24 bits
    std::vector<std::uint8_t> AndBits; // set bit: transparent pixel, most significant bit first
    std::vector<std::uint8_t> XorBits; // XorSize + 1 bytes
    std::vector<TPaletteEntry> Palette; // 2^BitCount entries (none for 24 bits)
    // The two 16-bit fields of the directory entry: a cursor's hot spot, an
    // icon's planes and bit count.
    int HotSpotX = 0;
    int HotSpotY = 0;

    bool Transparent(int Column, int Row) const
    {
        return (AndBits[static_cast<std::size_t>(Row) * AndBytesPerLine + Column / 8] >> (7 - Column % 8)) & 1;
    }
    // The colour (0x00BBGGRR) of a pixel of file row Row (rows bottom-up).
    std::uint32_t PixelColor(int Column, int Row) const;
    // The palette index of a pixel of file row Row (8 bits or less).
    int PixelIndex(int Column, int Row) const;

    // Into a TLinearBitmap: transparent pixels get Color (0x00BBGGRR; -1
    // stands for magenta 0xFF00FF). 24-bit images, and 8-bit images whose
    // palette lacks the colour, become 24-bit; the others 8-bit with their
    // palette (the rest black, entry 255 the colour when the palette lacks
    // it). Any other destination raises "Cannot assign ...".
    void AssignTo(TAssignObject &Dest, std::int64_t Color) const;
    void AssignTo(TAssignObject &Dest) const override { AssignTo(Dest, -1); }
    // Draws the opaque pixels at (X + column, Y + Height - 1 - row), clipped
    // to Canvas (a 32-bit image).
    void DrawMasked(QImage &Canvas, int X, int Y) const;
    // Index of the first palette entry of the colour (0x00BBGGRR), or -1.
    int FindColor(std::uint32_t Color) const;
    // The palette as a Qt colour table (empty for 24 bits).
    QList<QRgb> CreatePalette() const;

    const char *ClassName() const override { return "TIconImage"; }
};

class TIconList {
public:
    enum : std::uint8_t { ikUnknown = 0, ikIcon = 1, ikCursor = 2 };

    TIconList() = default;
    TIconList(const TIconList &) = delete;
    TIconList &operator=(const TIconList &) = delete;

    std::vector<std::unique_ptr<TIconImage>> Images;
    std::uint8_t Kind = ikUnknown;
    // Directory entries passed over because their images are stored in a way
    // this list cannot hold (32-bit, PNG, compressed, 256 pixels).
    int Skipped = 0;

    int Count() const { return static_cast<int>(Images.size()); }
    TIconImage &operator[](int Index) const { return *Images[static_cast<std::size_t>(Index)]; }

    // Reads a whole file from the stream's current position (its start).
    // Everything the directory says is checked against the stream's size
    // before anything is allocated; a file that ends early raises
    // EInOutError "Read less than expected", as a short read does.
    void LoadFromStream(TSeekableStream &Stream);
    // Raises "Unsupported file format" for a list of unknown kind.
    void SaveToStream(TBaseStream &Stream) const;
    TIconImage &Add(int Width, int Height, int BitCount);
    void Clear();
};

} // namespace imaging
