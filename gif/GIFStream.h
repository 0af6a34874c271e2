#pragma once
// The parts of a GIF stream that are not frame data: the item and list base
// classes, colour maps, the header (logical screen and global colour map),
// the frame list that reads and writes the block sequence, and the trailer.
#include "gif/GIFUtils.h"

#include <QVector>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QIODevice;

namespace gif {

class TGIFImage;
class TGIFSubImage;
class TGIFHeader;

// Version numbers: 0 none, 1 "87a", 2 "89a".
inline constexpr int gv87a = 1;
inline constexpr int gv89a = 2;
const char *VersionText(int Version);

// Block introducers on the wire.
inline constexpr std::uint8_t bsImageDescriptor = 0x2C;
inline constexpr std::uint8_t bsExtensionIntroducer = 0x21;
inline constexpr std::uint8_t bsTrailer = 0x3B;

// When set, each frame renders its bitmap as soon as it has been read.
extern bool GIFRenderOnLoad;

// One element of a GIF stream, owned by its image or by a list.
class TGIFItem {
public:
    explicit TGIFItem(TGIFImage *Image) : FImage(Image) {}
    virtual ~TGIFItem() = default;
    TGIFItem(const TGIFItem &) = delete;
    TGIFItem &operator=(const TGIFItem &) = delete;

    TGIFImage *Image() const { return FImage; }
    virtual int GetVersion() const { return gv87a; }
    // Hands a recoverable problem to the image (nothing without an image).
    virtual void Warning(int Severity, const std::string &Message) const;
    virtual void SaveToStream(QIODevice &Stream) = 0;
    virtual void LoadFromStream(QIODevice &Stream) = 0;
    void SaveToFile(const std::string &FileName);
    void LoadFromFile(const std::string &FileName);

protected:
    TGIFImage *FImage;
};

// An owned list of items.
class TGIFList {
public:
    explicit TGIFList(TGIFImage *Image) : FImage(Image) {}
    virtual ~TGIFList() = default;
    TGIFList(const TGIFList &) = delete;
    TGIFList &operator=(const TGIFList &) = delete;

    TGIFImage *Image() const { return FImage; }
    int Count() const { return int(FItems.size()); }
    TGIFItem *Items(int Index) const;
    int Add(std::unique_ptr<TGIFItem> Item);
    void Insert(int Index, std::unique_ptr<TGIFItem> Item);
    void Delete(int Index);
    void Clear();
    int IndexOf(const TGIFItem *Item) const;
    // Takes Item out of the list without freeing it; null when absent.
    std::unique_ptr<TGIFItem> Remove(const TGIFItem *Item);
    virtual void SaveToStream(QIODevice &Stream);
    virtual void Warning(int Severity, const std::string &Message) const;

protected:
    std::vector<std::unique_ptr<TGIFItem>> FItems;
    TGIFImage *FImage;
};

struct TGIFColor {
    std::uint8_t Red = 0, Green = 0, Blue = 0;
    bool operator==(const TGIFColor &) const = default;
};

// A colour table of up to 256 entries, written padded to a power of two.
class TGIFColorMap {
public:
    TGIFColorMap() = default;
    virtual ~TGIFColorMap() = default;
    TGIFColorMap(const TGIFColorMap &) = delete;
    TGIFColorMap &operator=(const TGIFColorMap &) = delete;

    int Count() const { return FCount; }
    int Capacity() const { return FCapacity; }
    bool Optimized() const { return FOptimized; }
    void SetOptimized(bool Value) { FOptimized = Value; }
    const TGIFColor *Data() const { return FData.data(); }

    void Clear();
    void LoadFromStream(QIODevice &Stream, int Count);
    void SaveToStream(QIODevice &Stream) const;
    int BitsPerPixel() const { return BitsForColors(FCount); }
    int IndexOfColor(TColor Color) const;
    int Add(TColor Color);
    int AddUnique(TColor Color);
    void Delete(int Index);
    // Entry Index; a bad index warns "Invalid color index" and gives entry 0
    // ("Color table is empty" when there is none).
    TColor Colors(int Index) const;
    // Up to 256 colours of a palette (further entries are ignored).
    void ImportPalette(const std::vector<QRgb> &Palette);
    void ImportRGB(const QRgb *Colors, int Count);
    // The Count colours as a palette (empty for an empty map).
    std::vector<QRgb> ExportPalette() const;
    // A QImage colour table: the colours, padded to 256 entries with black.
    QVector<QRgb> ColorTable() const;
    void Assign(const TGIFColorMap &Source);
    // Sorts the colours by use and drops the unused ones at the end; true when
    // it ran.
    virtual bool Optimize();

    virtual void Warning(int Severity, const std::string &Message) const = 0;
    // Use counts of the first Count indices.
    virtual void BuildHistogram(std::vector<std::int64_t> &Counts) const = 0;
    virtual void MapImages(const std::uint8_t *Map) = 0;
    virtual void Changed() = 0;

protected:
    void Reserve(int Count);

    std::vector<TGIFColor> FData; // FCapacity entries
    int FCount = 0;
    int FCapacity = 0;
    bool FOptimized = false;
};

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader *Header) : FHeader(Header) {}
    bool Optimize() override;
    void Warning(int Severity, const std::string &Message) const override;
    void BuildHistogram(std::vector<std::int64_t> &Counts) const override;
    void MapImages(const std::uint8_t *Map) override;
    void Changed() override;

private:
    TGIFHeader *FHeader;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage *SubImage) : FSubImage(SubImage) {}
    void Warning(int Severity, const std::string &Message) const override;
    void BuildHistogram(std::vector<std::int64_t> &Counts) const override;
    void MapImages(const std::uint8_t *Map) override;
    void Changed() override;

private:
    TGIFSubImage *FSubImage;
};

// Signature, logical screen descriptor and global colour map.
class TGIFHeader : public TGIFItem {
public:
    explicit TGIFHeader(TGIFImage *Image);

    // The logical screen descriptor, as on the wire.
    std::uint16_t Width = 0, Height = 0;
    std::uint8_t PackedFields = 0, BackgroundColorIndex = 0, AspectRatio = 0;

    TGIFGlobalColorMap &ColorMap() { return FColorMap; }
    const TGIFGlobalColorMap &ColorMap() const { return FColorMap; }
    void Clear();
    void Assign(const TGIFHeader &Source);
    void Assign(const TGIFColorMap &Source);
    int GetVersion() const override;
    TColor BackgroundColor() const { return FColorMap.Colors(BackgroundColorIndex); }
    int BitsPerPixel() const { return FColorMap.BitsPerPixel(); }
    int ColorResolution() const { return FColorMap.BitsPerPixel() - 1; }
    // Rebuilds the packed fields from the colour maps of the image.
    void Prepare();
    void SaveToStream(QIODevice &Stream) override;
    void LoadFromStream(QIODevice &Stream) override;

private:
    TGIFGlobalColorMap FColorMap;
};

// The frames of an image in stream order.
class TGIFImageList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFSubImage *SubImages(int Index) const;
    void LoadFromStream(QIODevice &Stream, TGIFImage &Parent);
    void SaveToStream(QIODevice &Stream) override;

    // The frames keep their renderings while these hold this many pixels in
    // all; a rendering past it first drops every other frame's, so showing
    // the frames in turn holds about one frame's rendering, not all.
    static constexpr std::int64_t RenderCachePixels = std::int64_t(4) << 20;
    // Frame is about to hold a rendering of Pixels pixels.
    void RenderTaken(const TGIFSubImage &Frame, std::int64_t Pixels);
    // A rendering of Pixels pixels was dropped.
    void RenderDropped(std::int64_t Pixels) { FRenderedPixels = std::max<std::int64_t>(0, FRenderedPixels - Pixels); }

private:
    std::int64_t FRenderedPixels = 0;
};

class TGIFTrailer : public TGIFItem {
public:
    using TGIFItem::TGIFItem;
    void SaveToStream(QIODevice &Stream) override;
    void LoadFromStream(QIODevice &Stream) override;
};

} // namespace gif
