#pragma once
// Services that the whole GIF library shares: its exception and the one
// routine that raises it, exact reads, bytes and sub-block strings in the GIF
// data sub-block layout, the 216-colour web palette and bit arithmetic.
#include "platform/core/Exceptions.h"

#include <QImage>
#include <QRgb>
#include <cstdint>
#include <string>
#include <vector>

class QIODevice;

namespace gif {

using platform::EInvalidGraphic;
KSS_DECLARE_EXCEPTION(GIFException, EInvalidGraphic)

// Colours as the class library holds them: red in the low byte, then green,
// then blue.
using TColor = std::uint32_t;
inline constexpr TColor RGBColor(int r, int g, int b) { return TColor(r & 255) | TColor(g & 255) << 8 | TColor(b & 255) << 16; }
inline constexpr int ColorRed(TColor c) { return int(c & 255); }
inline constexpr int ColorGreen(TColor c) { return int((c >> 8) & 255); }
inline constexpr int ColorBlue(TColor c) { return int((c >> 16) & 255); }

// Raises GIFException with Message; every error of the library goes here.
[[noreturn]] void Error(const std::string &Message);

// Frames, the frames of one image together, and screen buffers above this
// many pixels are refused ("Image is too large"): 2^28. Writable so that a
// fuzz target can keep its inputs cheap; the program never changes it.
extern std::int64_t GIFMaxPixels;
// Raises when Width x Height (64-bit) is above GIFMaxPixels.
void CheckPixelCount(std::int64_t Width, std::int64_t Height);
// A new image of that size and format; raises EOutOfResources ("Out of
// system resources") when there is no room for it.
QImage NewImage(int Width, int Height, QImage::Format Format);

// Reads exactly Size bytes; fewer raise "Premature end of data".
void ReadCheck(QIODevice &Stream, void *Buffer, std::int64_t Size);
// Writes all Size bytes; a short write raises EStreamError "Stream write error".
void WriteCheck(QIODevice &Stream, const void *Buffer, std::int64_t Size);
void PutByte(QIODevice &Stream, std::uint8_t Value);
// The next byte, or -1 at the end of the stream.
int GetByte(QIODevice &Stream);
// Moves the position one byte back (the byte just read is read again).
void StepBack(QIODevice &Stream);

// Each line as sub-blocks of at most 255 bytes, then one 0 byte.
void WriteSubBlockStrings(QIODevice &Stream, const std::vector<std::string> &Lines);
// One line per sub-block up to the 0 terminator or the end of the stream,
// each cut at its first zero byte.
void ReadSubBlockStrings(QIODevice &Stream, std::vector<std::string> &Lines);

// The 216-colour web palette: index r*36 + g*6 + b for r, g, b = 0..5,
// colour (r*51, g*51, b*51).
std::vector<QRgb> WebPalette();
// The web-palette index nearest to a colour.
int WebPaletteIndex(int Red, int Green, int Blue);

// A x B / C rounded to the nearest, halves away from zero; -1 for C = 0.
std::int64_t MulDiv(std::int64_t A, std::int64_t B, std::int64_t C);

// Bytes of a row of Pixels at BitsPerPixel, padded to Alignment bits.
std::int64_t RowBytes(std::int64_t Pixels, int BitsPerPixel, int Alignment);
// Bits needed for Colors colours: 0 for 0, 1 for 1 and 2, else ceil(log2).
int BitsForColors(int Colors);

} // namespace gif
