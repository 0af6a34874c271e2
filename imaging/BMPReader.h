#pragma once
// The library's own reader of device-independent bitmaps: BMP files with the
// core (12-byte), OS/2 (16 to 64 bytes) and Windows (40, 52, 56, 108, 124
// bytes) headers and the headerless old device-dependent format, and packed
// DIBs in memory (an information header, its colour table and the pixels, as
// metafile records carry them). Uncompressed 1, 4, 8, 16, 24 and 32 bits per
// pixel, bit-field masks at 16 and 32 (Windows headers), RLE8 and RLE4.
//
// Every field is checked before use: sizes in 64-bit arithmetic, at most the
// bitmap's pixel limit, the colour table and the uncompressed pixels within
// the data, run-length writes clipped to the picture.
//
// Results: 1, 4 and 8 bits per pixel give an 8-bit bitmap with the file's
// colour table (entries the file does not define are black); 16, 24 and 32
// bits give 24-bit blue-green-red (alpha is dropped).
#include "imaging/LinarBitmap.h"

#include <cstddef>
#include <cstdint>

namespace imaging {

// The text of every failure of this reader and of the BMP loader.
inline constexpr const char *kUnsupportedFileFormat = "Unsupported file format";

// What a BMP or DIB header says, after the checks.
struct TBMPHeader {
    bool OldFormat = false;         // first word 0: the headerless old format
    int HeaderSize = 0;             // of the information header; 0 for the old format
    std::int64_t PixelOffset = 0;   // of the pixels, from the start of the data
    std::int64_t PaletteOffset = 0; // of the colour table, from the start of the data
    int Width = 0;
    int Height = 0;                 // always positive
    bool TopDown = false;
    int BitCount = 0;
    int Compression = 0;            // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    std::int64_t Stride = 0;        // bytes per row in the data
    int Colors = 0;                 // colour-table entries to read (at most 256)
    int EntrySize = 4;              // 4 (blue, green, red, reserved) or 3
    std::uint32_t Masks[3] = {0, 0, 0}; // red, green, blue for 16 and 32 bits
    // The own reader decodes this coding (otherwise only the checks passed).
    bool Decodable = false;
    // Bytes the uncompressed pixels need, the last row's padding excluded
    // (files may leave it out).
    std::int64_t PixelBytes() const;
};

struct TDIBLimits {
    std::int64_t MaxPixels = kMaxBitmapPixels;
};

// Parses the start of BMP data (file header first, or the old format) and
// checks it against the data's total size. Data holds the first Size bytes
// (at most DataSize), which should reach past the colour-table masks (150
// bytes serve every header). Raises Exception "Unsupported file format" for
// headers that are malformed or hostile: no BM or zero word, header size not
// 12, 16..64, 108 or 124, width below 1, height 0 or -2^31, more pixels than
// the limit, rows x height beyond 2^31 - 1 bytes, bit counts other than 1,
// 4, 8, 16, 24, 32, planes other than 1, run-length coding at another depth
// or top-down, a colour table or uncompressed pixels beyond the data's end
// (only the last row's padding may be missing). The file size, image size
// and densities are not read: writers fill them loosely. A pixel index
// beyond the colour table reads as black.
TBMPHeader ParseBMPHeader(const std::uint8_t *Data, std::size_t Size, std::int64_t DataSize,
                          const TDIBLimits &Limits = {});

// The codes of ReadDIBFromStream.
enum TDIBResult : int {
    dibOK = 0,
    dibException = 1,  // any other failure
    dibNoBuffer = 2,   // the read buffer could not be made
    dibReadError = 3,  // the data ends early
    dibUnsupported = 5 // a header or data that this reader does not take
};

// Reads BMP data from the stream's position into Bitmap (cleared first; left
// empty on failure). Streams that cannot seek are read front to back.
int ReadDIBFromStream(TBaseStream &Stream, TLinearBitmap &Bitmap, const TDIBLimits &Limits = {});

// Packed DIB in memory: an information header (the bit-field masks after a
// 40-byte one), the colour table (clrUsed entries, or 2^bits up to 8 bits),
// then the pixels.
// Raises Exception "Unsupported file format" for anything it cannot read.
void ReadDIB(const void *Data, std::size_t Size, TLinearBitmap &Bitmap);
// The same with the pixels apart from the header and colour table, as EMF
// records keep them.
void ReadDIB(const void *Info, std::size_t InfoSize, const void *Bits, std::size_t BitsSize, TLinearBitmap &Bitmap);

} // namespace imaging
