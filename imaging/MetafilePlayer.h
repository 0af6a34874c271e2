#pragma once
// Plays Windows metafiles (WMF, with or without the placeable header, and
// EMF) onto a picture of the metafile's own size. There is no metafile
// facility on Linux: the records are parsed here and drawn with QPainter.
//
// Played: the bitmap records (StretchDIBits, DIB stretch and bit blits,
// SetDIBitsToDevice, pattern blits), the mapping records (map mode, window
// and viewport origin and extent, world transform), device-context state
// (save/restore, colours, modes, text alignment, clipping rectangles),
// objects (pens, brushes, fonts; stock objects) and the common shapes
// (lines, polylines, polygons, poly-polygons, Bezier curves, rectangles,
// rounded rectangles, ellipses, arcs, pies, chords, pixels, text). Every other
// record is passed over with a line in the library's trace.
//
// Records are checked against the file and their own minimum size; a
// zero-size record ends the play; object indexes are checked.
#include <QImage>

#include <cstddef>
#include <cstdint>

namespace imaging {

struct TMetafileLimits {
    // The largest picture a metafile may ask for; also the most pixels its
    // records may touch together when drawn, decoded bitmap pixels counting
    // four times (further held to 64 times the picture's pixels, at least
    // 2^24). There the play stops, keeping what it drew, with a line in the
    // library's trace. A single bitmap of more pixels than both the picture
    // and 2^24 is not drawn.
    std::int64_t MaxPixels = std::int64_t(1) << 28;
};

enum class TMetafileKind { WMF, PlaceableWMF, EMF };

struct TMetafileInfo {
    TMetafileKind Kind = TMetafileKind::WMF;
    int Width = 0;  // the metafile's own size at 96 pixels per inch
    int Height = 0;
};

// What the data is and how large it draws. Raises EInvalidGraphic
// "Metafile is not valid" for data that is no metafile or has no size, and
// ELinearBitmap "Invalid bitmap size" for a size beyond the limits.
TMetafileInfo ReadMetafileInfo(const std::uint8_t *Data, std::size_t Size, const TMetafileLimits &Limits = {});

// Draws the metafile to fill Target (made at the size ReadMetafileInfo
// gives and filled with white by the caller), in any format QPainter paints
// on (32-bit RGB is by far the fastest for lines): a loader paints straight
// into its bitmap's pixels.
void PlayMetafile(const std::uint8_t *Data, std::size_t Size, QImage &Target, const TMetafileLimits &Limits = {});

// The metafile drawn at its own size on white (32-bit RGB).
QImage PlayMetafile(const std::uint8_t *Data, std::size_t Size, const TMetafileLimits &Limits = {});

} // namespace imaging
