#pragma once
// The image library's in-memory image, the loader base class and the loader
// registry that chooses a file format by extension.
//
// A TLinearBitmap is one contiguous block of pixel rows, top row first, rows
// unpadded (BytesPerLine = Width x PixelSize), plus a 256-entry palette of
// blue-green-red triples for 8-bit images. The block holds Size + 1 bytes so
// that a 24-bit pixel may be read as a 32-bit word, the last one included.
// Bitmaps above 2^28 pixels are refused.
#include "imaging/StreamUtils.h"
#include "platform/core/AsciiText.h"
#include "imaging/Streams.h"

#include <QList>
#include <QRgb>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

class QImage;
class QPainter;
class QRect;

namespace platform {
class TGraphic;
class TPicture;
}

namespace imaging {

KSS_DECLARE_EXCEPTION(ELinearBitmap, Exception)
KSS_DECLARE_EXCEPTION(EUnsupportedFileFormat, Exception)

// The pixel-format codes of the class library's bitmaps. A linear bitmap
// holds pf8bit (indexed), pf16bit (grey), pf24bit (blue, green, red),
// pf32bit (blue, green, red, fourth byte) or, when empty, pfCustom.
enum TPixelFormat : std::uint8_t {
    pfDevice = 0,
    pf1bit = 1,
    pf4bit = 2,
    pf8bit = 3,
    pf15bit = 4,
    pf16bit = 5,
    pf24bit = 6,
    pf32bit = 7,
    pfCustom = 8,
};

inline constexpr std::int64_t kMaxBitmapPixels = std::int64_t(1) << 28;

// Entry i is (i, i, i): the palette used wherever one is missing.
inline constexpr std::array<std::uint8_t, 768> GreyPalette = [] {
    std::array<std::uint8_t, 768> p{};
    for (int i = 0; i < 256; ++i)
        p[3 * i] = p[3 * i + 1] = p[3 * i + 2] = static_cast<std::uint8_t>(i);
    return p;
}();

// Pixel storage comes from calloc (or malloc where every byte is written
// before it is read): a large block is mapped as untouched zero pages, so a
// load refused before its pixel data costs no resident memory.
struct TPixelFree {
    void operator()(std::uint8_t *p) const noexcept { std::free(p); }
};
using TPixelBlock = std::unique_ptr<std::uint8_t[], TPixelFree>;
// Bytes bytes, zero-filled unless Zeroed is false; raises std::bad_alloc
// when there is no room.
TPixelBlock NewPixelBlock(std::int64_t Bytes, bool Zeroed = true);

class TLinearBitmap : public TAssignObject {
public:
    TLinearBitmap() = default;
    static std::unique_ptr<TLinearBitmap> CreateFrom(const TAssignObject &Source);
    static std::unique_ptr<TLinearBitmap> CreateFrom(const QImage &Source);
    ~TLinearBitmap() override = default;

    int Width = 0;
    int Height = 0;
    TPixelFormat PixelFormat = pfCustom;
    int BytesPerLine = 0;
    int PixelSize = 0;
    int Size = 0;
    bool Present = false;
    TPixelBlock Map;                         // Size + 1 bytes
    std::unique_ptr<std::uint8_t[]> Palette; // 768 bytes, 8-bit images only

    // New zeroed storage (palette kept for 8-bit, or a new zeroed one). Same
    // size and format as now: nothing happens, the pixels stay. Raises
    // "Unsupported pixel format" or "Invalid bitmap size" and then leaves the
    // bitmap as it was.
    void New(int Width, int Height, TPixelFormat PixelFormat);
    virtual void Clear();
    // Moves Source's pixels here; Source is left empty.
    void TakeOver(TLinearBitmap &Source);
    std::uint8_t *ScanLine(int Row) const { return Map.get() + static_cast<std::ptrdiff_t>(Row) * BytesPerLine; }
    // Restores unpadded rows after BytesPerLine or Width were changed directly.
    virtual void PackLines();

    // From another linear bitmap (or whatever the source's AssignTo knows).
    void Assign(const TAssignObject &Source) override;
    // From a QImage: indexed and grey 8-bit images stay 8-bit, 16-bit grey
    // stays 16-bit, BGR888 is 24-bit, 32-bit images stay 32-bit; any other
    // format arrives as 24-bit (32-bit when it carries alpha).
    void Assign(const QImage &Source) { AssignFromBitmap(Source); }
    void AssignFromBitmap(const QImage &Bitmap);
    // From any picture of the platform layer: a linear graphic gives its
    // image, any other is drawn onto a 24-bit canvas of its size.
    void AssignGraphic(const platform::TGraphic &Graphic);
    // From a picture of the platform layer: its graphic's pixels, without the
    // drawing fallback; only 8-bit indexed and 24-bit pixels keep their format,
    // every other (32-bit included) arrives as 24-bit. An empty picture clears.
    void Assign(const platform::TPicture &Source);
    void AssignTo(TAssignObject &Dest) const override;
    // 8-bit: Indexed8 with the palette; 16-bit: Indexed8 of the high bytes with
    // a grey palette; 24-bit: BGR888; 32-bit: RGB32 (fourth byte 0xFF, as Qt
    // requires). An empty bitmap leaves Dest as it is.
    void AssignTo(QImage &Dest) const;

    // Color is 0x00BBGGRR. 24- and 32-bit images get the colour, the others
    // its grey value (2R + 3G + B + 3) / 6.
    void Fill(std::uint32_t Color);
    void FillBytes(std::uint8_t Value);
    bool IsGreyscale() const;
    void Resize(int NewWidth, int NewHeight, int OffsetX, int OffsetY, std::uint32_t FillColor);
    // To pf8bit (3-3-2 colour cube or grey), pf24bit or pf32bit.
    void ChangePixelFormat(TPixelFormat PixelFormat);

    // Stretches the whole image into Rect; Smooth filters while stretching.
    void Paint(QPainter &Canvas, const QRect &Rect, bool Smooth) const { PaintToDC(Canvas, Rect, Smooth); }
    void PaintToDC(QPainter &Painter, const QRect &Rect, bool Smooth) const;

    // The format follows the extension alone; an unknown one leaves the
    // bitmap untouched.
    void LoadFromFile(const std::string &FileName);
    void SaveToFile(const std::string &FileName) const;
    void LoadFromStream(TBaseStream &Stream, const std::string &Ext);
    void SaveToStream(TBaseStream &Stream, const std::string &Ext) const;

    const char *ClassName() const override { return "TLinearBitmap"; }

private:
    void CopyFrom(const TLinearBitmap &Source);
};

// The upper-case text after the last '.' of the file name, or empty when a
// '/', '\' or ':' comes after it (or there is no '.').
std::string FileExtUpper(const std::string &FileName);

// Palette routines (palettes are 256 blue-green-red triples).
struct TPaletteEntry {
    std::uint8_t peRed, peGreen, peBlue, peFlags;
};
void FillGreyRamp(std::uint8_t *Palette, int Count);
void PaletteToEntries(const std::uint8_t *Palette, TPaletteEntry *Entries, int Count);
// The Qt colour table of the first Count entries.
QList<QRgb> MakeHPalette(const std::uint8_t *Palette, int Count);
// Up to Count entries from a Qt colour table, the rest of the 256 black; an
// empty table gives GreyPalette.
void GetHPaletteEntries(const QList<QRgb> &Table, int Count, std::uint8_t *Palette);
// 256 red-green-blue entries (as files store them) into blue-green-red.
void RGBToBGRPalette(const std::uint8_t *Source, std::uint8_t *Dest);
// Exchanges the lowest and the third byte.
constexpr std::uint32_t SwapRB(std::uint32_t Color)
{
    return (Color & 0xFF00FF00u) | ((Color & 0xFF) << 16) | ((Color >> 16) & 0xFF);
}

// ------------------------------------------------------------------ loaders

// One object per file format. A filter is the text of a file dialog:
// description and mask pairs joined by '|', the masks of a pair by ';'.
// A subclass implements the stream or the file operation of a direction
// (never neither): the base versions route each through the other.
class TBitmapLoader {
public:
    TBitmapLoader() = default;
    virtual ~TBitmapLoader() = default;
    TBitmapLoader(const TBitmapLoader &) = delete;
    TBitmapLoader &operator=(const TBitmapLoader &) = delete;

    // False for an empty Ext; otherwise whether "*." + Ext (upper case)
    // occurs in the upper-cased load (save) filter.
    virtual bool CanLoad(const std::string &Ext);
    virtual bool CanSave(const std::string &Ext);
    virtual void GetLoadFilter(std::string &Filter);
    virtual void GetSaveFilter(std::string &Filter);
    // Base: copies the stream (at most 100 MiB; more raises) into a private
    // temporary file and loads that. Bitmap arrives cleared.
    virtual void LoadFromStream(TBaseStream &Stream, const std::string &Ext, TLinearBitmap &Bitmap);
    // Base: saves to a private temporary file and copies it into Stream.
    virtual void SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap);
    virtual void LoadFromFile(const std::string &FileName, const std::string &Ext, TLinearBitmap &Bitmap);
    // Base: creates the file (mode 7) and saves into it; a failed save
    // removes the file rather than leave part of an image.
    virtual void SaveToFile(const std::string &FileName, const std::string &Ext, const TLinearBitmap &Bitmap);
};

// The most a stream load copies into its temporary file.
inline constexpr std::int64_t kMaxTempStreamBytes = 104857600;

class TBitmapLoaders {
public:
    std::vector<TBitmapLoader *> List; // registration order, not owned

    void Add(TBitmapLoader *Loader);
    // Takes a loader out again (its owner is going away).
    void Remove(TBitmapLoader *Loader);
    int Count() const { return static_cast<int>(List.size()); }
    // The first registered loader that accepts the extension; none raises
    // EUnsupportedFileFormat "Unsupported file format: <EXT>".
    TBitmapLoader *FindLoader(const std::string &Ext) const;
    TBitmapLoader *FindSaver(const std::string &Ext) const;
    // Every loader's save pairs, sorted by their text (ignoring case), joined.
    void GetSaveFilter(std::string &Filter) const;
};

extern TBitmapLoaders BitmapLoaders;
void AddLoader(TBitmapLoader *Loader);

// The program's one loader of a format. Register creates it and adds it to
// the registry (true the first time); Unregister takes it out and frees it
// (true when there was one). Each loader's unit keeps one slot.
template <class L>
class TLoaderSlot {
public:
    L *Get() const { return loader_.get(); }
    bool Register()
    {
        if (loader_)
            return false;
        loader_ = std::make_unique<L>();
        AddLoader(loader_.get());
        return true;
    }
    bool Unregister()
    {
        if (!loader_)
            return false;
        BitmapLoaders.Remove(loader_.get());
        loader_.reset();
        return true;
    }

private:
    std::unique_ptr<L> loader_;
};

using platform::UpperCase;
// Whether "*." + Ext occurs in Filter, both upper-cased; false for an empty Ext.
bool FilterHas(const std::string &Filter, const std::string &Ext);

// Splits a filter into its description|mask pairs. A part without any '|'
// raises EAssertionFailed "Invalid filter string".
void AddFilterPairs(const std::string &Filter, std::vector<std::string> &List);

} // namespace imaging
