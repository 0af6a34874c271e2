#include "imaging/WMFLoader.h"

#include "imaging/MetafilePlayer.h"
#include "imaging/MetafileWriter.h"

#include <QImage>

#include <array>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

std::string ReadAll(TBaseStream &Stream)
{
    std::string data;
    std::vector<char> chunk(65536);
    TNoDataExceptOff quiet(Stream);
    for (;;) {
        const int got = Stream.Read(chunk.data(), static_cast<int>(chunk.size()));
        if (got <= 0)
            break;
        if (std::int64_t(data.size()) + got > kMaxMetafileBytes)
            throw ELinearBitmap("Metafile too large");
        data.append(chunk.data(), std::size_t(got));
    }
    return data;
}

TLoaderSlot<TWMFLoader> &Slot()
{
    static TLoaderSlot<TWMFLoader> slot;
    return slot;
}

} // namespace

bool TWMFLoader::CanLoad(const std::string &Ext) { return Ext == "WMF" || Ext == "EMF"; }
bool TWMFLoader::CanSave(const std::string &Ext) { return Ext == "WMF" || Ext == "EMF"; }
void TWMFLoader::GetLoadFilter(std::string &Filter) { Filter = "Windows metafile (*.wmf,*.emf)|*.wmf;*.emf"; }
void TWMFLoader::GetSaveFilter(std::string &Filter)
{
    Filter = "Windows metafile (*.wmf)|*.wmf|Windows enhanced metafile (*.emf)|*.emf";
}

namespace {

constexpr std::uint32_t kNoColour = 0xFFFFFFFF;

// The first colours of a 24-bit picture in memory order, at most 256, each
// with its index. Walks that stay on one colour compare four pixels at once:
// a large picture is mostly runs of one colour.
struct TColours {
    std::vector<std::uint32_t> List;
    bool Complete = true; // no further colour was met
    // Open addressing over 1024 slots: at most a quarter full.
    std::array<std::uint32_t, 1024> Keys;
    std::array<std::uint8_t, 1024> Index{};

    TColours() { Keys.fill(kNoColour); }
    static std::size_t Slot(std::uint32_t c) { return (c * 2654435761u) >> 22; }
    int Find(std::uint32_t c) const
    {
        for (std::size_t i = Slot(c);; i = (i + 1) & 1023) {
            if (Keys[i] == c)
                return Index[i];
            if (Keys[i] == kNoColour)
                return -1;
        }
    }
    void Add(std::uint32_t c)
    {
        std::size_t i = Slot(c);
        while (Keys[i] != kNoColour)
            i = (i + 1) & 1023;
        Keys[i] = c;
        Index[i] = static_cast<std::uint8_t>(List.size());
        List.push_back(c);
    }
};

std::uint32_t ColourAt(const std::uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16); }

// Four pixels of Colour, as they lie in memory.
struct TRun {
    std::uint8_t Bytes[12];
    explicit TRun(std::uint32_t Colour)
    {
        for (int k = 0; k < 12; ++k)
            Bytes[k] = static_cast<std::uint8_t>(Colour >> (8 * (k % 3)));
    }
    bool At(const std::uint8_t *p) const { return std::memcmp(p, Bytes, 12) == 0; }
};

// Walks the 24-bit pixels in order: NewColour(c) where the colour changes
// (false stops the walk), then Pixels(first, count) for the pixels that
// have it, four at a time while they go on.
template <typename C, typename P>
void WalkRuns(const TLinearBitmap &Bitmap, C &&NewColour, P &&Pixels)
{
    const std::uint8_t *src = Bitmap.Map.get();
    const std::int64_t pixels = std::int64_t(Bitmap.Width) * Bitmap.Height;
    std::uint32_t last = kNoColour;
    TRun run(0);
    for (std::int64_t i = 0; i < pixels;) {
        if (last != kNoColour && i + 4 <= pixels && run.At(src + 3 * i)) {
            Pixels(i, 4);
            i += 4;
            continue;
        }
        const std::uint32_t c = ColourAt(src + 3 * i);
        if (c != last) {
            if (!NewColour(c))
                return;
            last = c;
            run = TRun(c);
        }
        Pixels(i++, 1);
    }
}

TColours WalkColours(const TLinearBitmap &Bitmap)
{
    TColours t;
    WalkRuns(
        Bitmap,
        [&t](std::uint32_t c) {
            if (t.Find(c) >= 0)
                return true;
            if (t.List.size() == 256) {
                t.Complete = false; // a 257th colour
                return false;
            }
            t.Add(c);
            return true;
        },
        [](std::int64_t, int) {});
    return t;
}

// The index of the palette entry nearest to c (only for a colour the walk
// did not take): the smallest squared distance, the first of equals.
std::uint8_t Nearest(const std::vector<std::uint32_t> &Palette, std::uint32_t c)
{
    std::int64_t best = -1, bestDist = 0;
    for (std::size_t k = 0; k < Palette.size() && (best < 0 || bestDist != 0); ++k) {
        const int db = int(c & 0xFF) - int(Palette[k] & 0xFF), dg = int((c >> 8) & 0xFF) - int((Palette[k] >> 8) & 0xFF),
                  dr = int(c >> 16) - int(Palette[k] >> 16);
        const std::int64_t d = std::int64_t(db) * db + std::int64_t(dg) * dg + std::int64_t(dr) * dr;
        if (best < 0 || d < bestDist)
            best = std::int64_t(k), bestDist = d;
    }
    return static_cast<std::uint8_t>(best < 0 ? 0 : best);
}

// Replaces the 24-bit pixels by indexes into the walk's colours. The 8-bit
// picture is the only copy made: the peak is the picture and a third.
void Reduce(TLinearBitmap &Bitmap, const TColours &t)
{
    TLinearBitmap reduced;
    reduced.New(Bitmap.Width, Bitmap.Height, pf8bit);
    std::uint8_t *out = reduced.Map.get();
    std::uint8_t index = 0;
    WalkRuns(
        Bitmap,
        [&](std::uint32_t c) {
            const int found = t.Find(c);
            index = found >= 0 ? static_cast<std::uint8_t>(found) : Nearest(t.List, c);
            return true;
        },
        [&](std::int64_t i, int n) { std::memset(out + i, index, std::size_t(n)); });
    std::uint8_t *pal = reduced.Palette.get();
    std::fill(pal, pal + 768, 0);
    for (std::size_t k = 0; k < t.List.size(); ++k) {
        pal[3 * k] = t.List[k] & 0xFF;
        pal[3 * k + 1] = (t.List[k] >> 8) & 0xFF;
        pal[3 * k + 2] = t.List[k] >> 16;
    }
    Bitmap.TakeOver(reduced);
}

// Blue, green, red of each 32-bit pixel moved to the front of the same
// memory: the bitmap keeps its block (a quarter of it unused from now on)
// instead of holding a second copy while it converts.
void PackTo24Bit(TLinearBitmap &Bitmap)
{
    std::uint8_t *p = Bitmap.Map.get();
    const std::int64_t pixels = std::int64_t(Bitmap.Width) * Bitmap.Height;
    // Forward: each pixel is read before anything is written over it.
    for (std::int64_t i = 0; i < pixels; ++i) {
        const std::uint8_t b = p[4 * i], g = p[4 * i + 1], r = p[4 * i + 2];
        p[3 * i] = b, p[3 * i + 1] = g, p[3 * i + 2] = r;
    }
    Bitmap.PixelFormat = pf24bit;
    Bitmap.PixelSize = 3;
    Bitmap.BytesPerLine = 3 * Bitmap.Width;
    Bitmap.Size = static_cast<int>(3 * pixels);
}

} // namespace

void ReduceToPalette(TLinearBitmap &Bitmap)
{
    if (Bitmap.PixelFormat == pf24bit && Bitmap.Map)
        Reduce(Bitmap, WalkColours(Bitmap));
}

void TWMFLoader::LoadFromStream(TBaseStream &Stream, const std::string &, TLinearBitmap &Bitmap)
{
    const std::string data = ReadAll(Stream);
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data.data());
    const TMetafileInfo info = ReadMetafileInfo(bytes, data.size());
    // Played straight into the bitmap's pixels, as 32-bit pixels (Qt's fast
    // format), which are then packed to 24 bits in place: no canvas beside
    // the bitmap and no converted copies.
    Bitmap.New(info.Width, info.Height, pf32bit);
    QImage canvas(Bitmap.Map.get(), Bitmap.Width, Bitmap.Height, Bitmap.BytesPerLine, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    PlayMetafile(bytes, data.size(), canvas);
    PackTo24Bit(Bitmap);
    // The walk that builds the palette finds a 257th colour if there is one:
    // the same as counting the colours first.
    const TColours colours = WalkColours(Bitmap);
    if (colours.Complete)
        Reduce(Bitmap, colours);
}

void TWMFLoader::SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap)
{
    const bool emf = !Ext.empty() && (Ext[0] == 'E' || Ext[0] == 'e');
    const std::string data = emf ? WriteEMF(Bitmap) : WriteWMF(Bitmap);
    if (data.size() > std::size_t(INT32_MAX))
        throw ELinearBitmap("Invalid bitmap size");
    if (Stream.Write(data.data(), static_cast<int>(data.size())) != static_cast<int>(data.size()))
        throw EInOutError(kReadLessThanExpected);
}

void RegisterWMFLoader()
{
    Slot().Register();
}

void UnregisterWMFLoader()
{
    Slot().Unregister();
}

} // namespace imaging
