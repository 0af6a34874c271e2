#include "gif/GIFStream.h"

#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace gif {

bool GIFRenderOnLoad = false;

const char *VersionText(int Version)
{
    static const char *const texts[] = {"", "87a", "89a"};
    return Version >= 1 && Version <= 2 ? texts[Version] : "";
}

// ------------------------------------------------------------------ TGIFItem

void TGIFItem::Warning(int Severity, const std::string &Message) const
{
    if (FImage)
        FImage->Warning(this, Severity, Message);
}

void TGIFItem::SaveToFile(const std::string &FileName)
{
    QFile f(QString::fromStdString(FileName));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw platform::EFCreateError("Cannot create file \"" + FileName + "\"");
    SaveToStream(f);
}

void TGIFItem::LoadFromFile(const std::string &FileName)
{
    QFile f(QString::fromStdString(FileName));
    if (!f.open(QIODevice::ReadOnly))
        throw platform::EFOpenError("Cannot open file \"" + FileName + "\"");
    LoadFromStream(f);
}

// ------------------------------------------------------------------ TGIFList

TGIFItem *TGIFList::Items(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw platform::EInvalidGraphic("List index out of bounds (" + std::to_string(Index) + ")");
    return FItems[std::size_t(Index)].get();
}

int TGIFList::Add(std::unique_ptr<TGIFItem> Item)
{
    FItems.push_back(std::move(Item));
    return Count() - 1;
}

void TGIFList::Insert(int Index, std::unique_ptr<TGIFItem> Item)
{
    Index = std::clamp(Index, 0, Count());
    FItems.insert(FItems.begin() + Index, std::move(Item));
}

void TGIFList::Delete(int Index)
{
    Items(Index); // range check
    // Take it out first: the item's destructor may look at its owner.
    auto item = std::move(FItems[std::size_t(Index)]);
    FItems.erase(FItems.begin() + Index);
    item.reset();
}

void TGIFList::Clear()
{
    // From the back: taken from the front, each item would move all the others.
    while (!FItems.empty())
        Delete(Count() - 1);
}

int TGIFList::IndexOf(const TGIFItem *Item) const
{
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == Item)
            return int(i);
    return -1;
}

std::unique_ptr<TGIFItem> TGIFList::Remove(const TGIFItem *Item)
{
    const int i = IndexOf(Item);
    if (i < 0)
        return nullptr;
    auto item = std::move(FItems[std::size_t(i)]);
    FItems.erase(FItems.begin() + i);
    return item;
}

void TGIFList::SaveToStream(QIODevice &Stream)
{
    for (auto &item : FItems)
        item->SaveToStream(Stream);
}

void TGIFList::Warning(int Severity, const std::string &Message) const
{
    if (FImage)
        FImage->Warning(this, Severity, Message);
}

// -------------------------------------------------------------- TGIFColorMap

void TGIFColorMap::Clear()
{
    FData.clear();
    FData.shrink_to_fit();
    FCount = FCapacity = 0;
    FOptimized = false;
}

void TGIFColorMap::Reserve(int Count)
{
    if (Count < FCapacity)
        return;
    FCapacity = Count <= 16 ? 16 : std::min(256, (Count + 31) / 32 * 32);
    FData.resize(std::size_t(FCapacity));
}

void TGIFColorMap::LoadFromStream(QIODevice &Stream, int Count)
{
    Clear();
    Count = std::clamp(Count, 0, 256);
    Reserve(Count);
    ReadCheck(Stream, FData.data(), std::int64_t(Count) * 3);
    FCount = Count;
}

void TGIFColorMap::SaveToStream(QIODevice &Stream) const
{
    if (FCount <= 0)
        return;
    WriteCheck(Stream, FData.data(), std::int64_t(FCount) * 3);
    const int pad = (1 << BitsPerPixel()) - FCount;
    static const std::uint8_t zeros[256 * 3] = {};
    WriteCheck(Stream, zeros, std::int64_t(pad) * 3);
}

int TGIFColorMap::IndexOfColor(TColor Color) const
{
    const TGIFColor c{std::uint8_t(ColorRed(Color)), std::uint8_t(ColorGreen(Color)), std::uint8_t(ColorBlue(Color))};
    if (FOptimized) {
        for (int i = 0; i < FCount; ++i)
            if (FData[std::size_t(i)] == c)
                return i;
    } else {
        for (int i = FCount - 1; i >= 0; --i)
            if (FData[std::size_t(i)] == c)
                return i;
    }
    return -1;
}

int TGIFColorMap::Add(TColor Color)
{
    if (FCount >= 256)
        Error("Color table overflow");
    Reserve(FCount + 1);
    FData[std::size_t(FCount)] = {std::uint8_t(ColorRed(Color)), std::uint8_t(ColorGreen(Color)),
                                  std::uint8_t(ColorBlue(Color))};
    ++FCount;
    FOptimized = false;
    Changed();
    return FCount - 1;
}

int TGIFColorMap::AddUnique(TColor Color)
{
    const int i = IndexOfColor(Color);
    return i >= 0 ? i : Add(Color);
}

void TGIFColorMap::Delete(int Index)
{
    if (Index < 0 || Index >= FCount)
        Error("Invalid color index");
    std::copy(FData.begin() + Index + 1, FData.begin() + FCount, FData.begin() + Index);
    --FCount;
    FOptimized = false;
    Changed();
}

TColor TGIFColorMap::Colors(int Index) const
{
    if (Index < 0 || Index >= FCount) {
        Warning(1, "Invalid color index");
        if (FCount == 0)
            Error("Color table is empty");
        Index = 0;
    }
    const auto &c = FData[std::size_t(Index)];
    return RGBColor(c.Red, c.Green, c.Blue);
}

void TGIFColorMap::ImportPalette(const std::vector<QRgb> &Palette)
{
    Clear();
    const int n = int(std::min<std::size_t>(Palette.size(), 256));
    if (n == 0)
        return;
    ImportRGB(Palette.data(), n);
}

void TGIFColorMap::ImportRGB(const QRgb *Colors, int Count)
{
    Clear();
    Count = std::clamp(Count, 0, 256);
    Reserve(Count);
    for (int i = 0; i < Count; ++i)
        FData[std::size_t(i)] = {std::uint8_t(qRed(Colors[i])), std::uint8_t(qGreen(Colors[i])),
                                 std::uint8_t(qBlue(Colors[i]))};
    FCount = Count;
    Changed();
}

std::vector<QRgb> TGIFColorMap::ExportPalette() const
{
    std::vector<QRgb> pal;
    pal.reserve(std::size_t(FCount));
    for (int i = 0; i < FCount; ++i)
        pal.push_back(qRgb(FData[std::size_t(i)].Red, FData[std::size_t(i)].Green, FData[std::size_t(i)].Blue));
    return pal;
}

QVector<QRgb> TGIFColorMap::ColorTable() const
{
    QVector<QRgb> table(256, qRgb(0, 0, 0));
    for (int i = 0; i < FCount; ++i)
        table[i] = qRgb(FData[std::size_t(i)].Red, FData[std::size_t(i)].Green, FData[std::size_t(i)].Blue);
    return table;
}

void TGIFColorMap::Assign(const TGIFColorMap &Source)
{
    if (&Source == this)
        return;
    Clear();
    FCapacity = Source.FCapacity;
    FData = Source.FData;
    FCount = Source.FCount;
    FOptimized = Source.FOptimized;
    Changed();
}

namespace {

struct HistEntry {
    std::int64_t Count;
    int Index;
};

} // namespace

bool TGIFColorMap::Optimize()
{
    if (FCount <= 1)
        return false;
    FOptimized = true;
    std::vector<std::int64_t> counts(static_cast<std::size_t>(FCount), 0);
    BuildHistogram(counts);
    std::vector<HistEntry> hist(static_cast<std::size_t>(FCount));
    for (int i = 0; i < FCount; ++i)
        hist[std::size_t(i)] = {counts[std::size_t(i)], i};
    // Largest use first; a stable order leaves a map already in order of use
    // untouched, ties included.
    std::stable_sort(hist.begin(), hist.end(), [](const HistEntry &x, const HistEntry &y) { return x.Count > y.Count; });
    bool moved = false;
    for (int i = 0; i < FCount; ++i)
        moved = moved || hist[std::size_t(i)].Index != i;
    if (!moved)
        return true;
    // Pixel values beyond the table keep their value.
    std::uint8_t map[256];
    for (int i = 0; i < 256; ++i)
        map[i] = std::uint8_t(i);
    std::vector<TGIFColor> colors(FData.begin(), FData.end());
    int used = FCount;
    for (int i = 0; i < FCount; ++i) {
        map[hist[std::size_t(i)].Index] = std::uint8_t(i);
        colors[std::size_t(i)] = FData[std::size_t(hist[std::size_t(i)].Index)];
        if (hist[std::size_t(i)].Count == 0 && used == FCount)
            used = i;
    }
    MapImages(map);
    std::copy(colors.begin(), colors.begin() + FCount, FData.begin());
    FCount = used;
    Changed();
    return true;
}

// ------------------------------------------------- global and local colour maps

namespace {
bool UsesMap(const TGIFSubImage &frame, const TGIFColorMap &map) { return &frame.ActiveColorMap() == &map; }

void CountPixels(const TGIFSubImage &frame, std::vector<std::int64_t> &counts)
{
    const std::uint8_t *p = frame.Data();
    const std::int64_t n = frame.DataSize();
    for (std::int64_t i = 0; i < n; ++i)
        if (p[i] < counts.size())
            ++counts[p[i]];
}

void MapPixels(TGIFSubImage &frame, const std::uint8_t *map)
{
    std::uint8_t *p = frame.Data();
    const std::int64_t n = frame.DataSize();
    for (std::int64_t i = 0; i < n; ++i)
        p[i] = map[p[i]];
    if (auto *gce = frame.GraphicControlExtension(); gce && gce->Transparent())
        gce->FTransparentColorIndex = map[gce->FTransparentColorIndex];
    frame.FreeBitmap();
    frame.FreeMask();
}
} // namespace

bool TGIFGlobalColorMap::Optimize()
{
    if (!FHeader->Image() || FHeader->Image()->Count() == 0)
        return false;
    return TGIFColorMap::Optimize();
}

void TGIFGlobalColorMap::Warning(int Severity, const std::string &Message) const
{
    if (FHeader->Image())
        FHeader->Image()->Warning(this, Severity, Message);
}

void TGIFGlobalColorMap::BuildHistogram(std::vector<std::int64_t> &Counts) const
{
    if (auto *image = FHeader->Image())
        for (int i = 0; i < image->Count(); ++i)
            if (UsesMap(*image->SubImage(i), *this))
                CountPixels(*image->SubImage(i), Counts);
}

void TGIFGlobalColorMap::MapImages(const std::uint8_t *Map)
{
    if (auto *image = FHeader->Image())
        for (int i = 0; i < image->Count(); ++i)
            if (UsesMap(*image->SubImage(i), *this))
                MapPixels(*image->SubImage(i), Map);
}

void TGIFGlobalColorMap::Changed()
{
    if (FHeader->Image())
        FHeader->Image()->SetPalette(std::nullopt);
}

void TGIFLocalColorMap::Warning(int Severity, const std::string &Message) const
{
    if (FSubImage->Image())
        FSubImage->Image()->Warning(this, Severity, Message);
}

void TGIFLocalColorMap::BuildHistogram(std::vector<std::int64_t> &Counts) const
{
    CountPixels(*FSubImage, Counts);
}

void TGIFLocalColorMap::MapImages(const std::uint8_t *Map)
{
    MapPixels(*FSubImage, Map);
}

void TGIFLocalColorMap::Changed()
{
    FSubImage->SetPalette(std::nullopt);
}

// ---------------------------------------------------------------- TGIFHeader

TGIFHeader::TGIFHeader(TGIFImage *Image) : TGIFItem(Image), FColorMap(this) {}

void TGIFHeader::Clear()
{
    FColorMap.Clear();
    Width = Height = 0;
    PackedFields = BackgroundColorIndex = AspectRatio = 0;
}

void TGIFHeader::Assign(const TGIFHeader &Source)
{
    if (&Source == this)
        return;
    FColorMap.Assign(Source.FColorMap);
    Width = Source.Width;
    Height = Source.Height;
    PackedFields = Source.PackedFields;
    BackgroundColorIndex = Source.BackgroundColorIndex;
    AspectRatio = Source.AspectRatio;
}

void TGIFHeader::Assign(const TGIFColorMap &Source)
{
    Clear();
    FColorMap.Assign(Source);
}

int TGIFHeader::GetVersion() const
{
    return FColorMap.Optimized() || AspectRatio != 0 ? gv89a : gv87a;
}

void TGIFHeader::Prepare()
{
    const int resolution = FImage ? FImage->ColorResolution() : ColorResolution();
    const int bits = FImage ? FImage->BitsPerPixel() : BitsPerPixel();
    std::uint8_t packed = 0;
    if (FColorMap.Count() > 0) {
        packed |= 0x80;
        if (FColorMap.Optimized())
            packed |= 0x08;
    }
    packed |= std::uint8_t((resolution & 7) << 4);
    if (packed & 0x80)
        packed |= std::uint8_t((FColorMap.BitsPerPixel() - 1) & 7);
    else
        packed |= std::uint8_t((bits - 1) & 7);
    PackedFields = packed;
}

void TGIFHeader::SaveToStream(QIODevice &Stream)
{
    int version = FImage ? FImage->Version() : 0;
    if (version == 0)
        Error("Unsupported GIF version");
    // The sort flag and the aspect ratio are reserved in 87a.
    version = std::max(version, GetVersion());
    Prepare();
    std::uint8_t buf[13];
    std::memcpy(buf, "GIF", 3);
    std::memcpy(buf + 3, VersionText(version), 3);
    buf[6] = std::uint8_t(Width);
    buf[7] = std::uint8_t(Width >> 8);
    buf[8] = std::uint8_t(Height);
    buf[9] = std::uint8_t(Height >> 8);
    buf[10] = PackedFields;
    buf[11] = BackgroundColorIndex;
    buf[12] = AspectRatio;
    WriteCheck(Stream, buf, sizeof buf);
    if (PackedFields & 0x80)
        FColorMap.SaveToStream(Stream);
}

void TGIFHeader::LoadFromStream(QIODevice &Stream)
{
    const auto start = Stream.pos();
    char sig[6];
    const auto isGIF = [&] {
        return std::toupper(static_cast<unsigned char>(sig[0])) == 'G' &&
               std::toupper(static_cast<unsigned char>(sig[1])) == 'I' &&
               std::toupper(static_cast<unsigned char>(sig[2])) == 'F';
    };
    ReadCheck(Stream, sig, 6);
    if (!isGIF()) {
        if (!Stream.seek(start + 4))
            Error("Invalid GIF signature");
        ReadCheck(Stream, sig, 6);
        if (!isGIF())
            Error("Invalid GIF signature");
    }
    std::uint8_t lsd[7];
    ReadCheck(Stream, lsd, 7);
    Width = std::uint16_t(lsd[0] | lsd[1] << 8);
    Height = std::uint16_t(lsd[2] | lsd[3] << 8);
    PackedFields = lsd[4];
    BackgroundColorIndex = lsd[5];
    AspectRatio = lsd[6];
    if (PackedFields & 0x80) {
        const int n = 2 << (PackedFields & 7);
        if (n < 2 || n > 256)
            Error("Invalid number of colors specified in Screen Descriptor");
        FColorMap.LoadFromStream(Stream, n);
    } else {
        FColorMap.Clear();
    }
}

// ------------------------------------------------------------- TGIFImageList

TGIFSubImage *TGIFImageList::SubImages(int Index) const
{
    return static_cast<TGIFSubImage *>(Items(Index));
}

namespace {
// The next byte that is not 0x00, or -1 at the end of the stream.
int NextBlockByte(QIODevice &Stream)
{
    int b;
    do
        b = GetByte(Stream);
    while (b == 0);
    return b;
}
} // namespace

void TGIFImageList::LoadFromStream(QIODevice &Stream, TGIFImage &Parent)
{
    int b = NextBlockByte(Stream);
    if (b < 0)
        return;
    const auto size = std::max<qint64>(1, Stream.size());
    // The frames of one image share one pixel budget: a few bytes of data
    // per frame must not add up to gigabytes.
    std::int64_t pixels = 0;
    for (int i = 0; i < Count(); ++i)
        pixels += SubImages(i)->DataSize();
    while (b != bsTrailer) {
        StepBack(Stream);
        if (b != bsExtensionIntroducer && b != bsImageDescriptor) {
            Warning(1, "Unknown GIF block type");
            return;
        }
        auto frame = std::make_unique<TGIFSubImage>(&Parent);
        frame->LoadFromStream(Stream, GIFMaxPixels - pixels);
        pixels += frame->DataSize();
        Add(std::move(frame));
        Parent.Progress(TProgressStage::psRunning, int(Stream.pos() * 100 / size), GIFRenderOnLoad, "Loading...");
        b = NextBlockByte(Stream);
        if (b < 0)
            return;
    }
    StepBack(Stream);
}

void TGIFImageList::RenderTaken(const TGIFSubImage &Frame, std::int64_t Pixels)
{
    if (FRenderedPixels + Pixels > RenderCachePixels) {
        for (auto &item : FItems)
            if (item.get() != &Frame) {
                auto *f = static_cast<TGIFSubImage *>(item.get());
                f->FreeBitmap();
                f->FreeMask();
            }
        FRenderedPixels = 0; // also forgets frames that went with theirs
    }
    FRenderedPixels += Pixels;
}

void TGIFImageList::SaveToStream(QIODevice &Stream)
{
    for (int i = 0; i < Count(); ++i) {
        SubImages(i)->SaveToStream(Stream);
        if (FImage)
            FImage->Progress(TProgressStage::psRunning, (i + 1) * 100 / Count(), false, "Saving...");
    }
}

// --------------------------------------------------------------- TGIFTrailer

void TGIFTrailer::SaveToStream(QIODevice &Stream)
{
    PutByte(Stream, bsTrailer);
}

void TGIFTrailer::LoadFromStream(QIODevice &Stream)
{
    const int b = GetByte(Stream);
    if (b >= 0 && b != bsTrailer)
        Warning(1, "Invalid Image trailer");
}

} // namespace gif
