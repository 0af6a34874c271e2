#include "imaging/WMFLoader.h"

#include "imaging/BitmapConversion.h"
#include "imaging/MetafilePlayer.h"
#include "imaging/MetafileWriter.h"

#include <QImage>

#include <unordered_map>
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

void ReduceToPalette(TLinearBitmap &Bitmap)
{
    if (Bitmap.PixelFormat != pf24bit)
        return;
    // Colours in the order they first occur; at most 256 are taken.
    std::vector<std::uint32_t> palette;
    std::unordered_map<std::uint32_t, std::uint8_t> index;
    const std::uint8_t *src = Bitmap.Map.get();
    const std::int64_t pixels = std::int64_t(Bitmap.Width) * Bitmap.Height;
    for (std::int64_t i = 0; i < pixels; ++i) {
        const std::uint8_t *p = src + 3 * i;
        const std::uint32_t c = p[0] | (p[1] << 8) | (p[2] << 16);
        if (index.count(c))
            continue;
        if (palette.size() == 256)
            break;
        index.emplace(c, static_cast<std::uint8_t>(palette.size()));
        palette.push_back(c);
    }
    TLinearBitmap reduced;
    reduced.New(Bitmap.Width, Bitmap.Height, pf8bit);
    std::uint8_t *out = reduced.Map.get();
    for (std::int64_t i = 0; i < pixels; ++i) {
        const std::uint8_t *p = src + 3 * i;
        const std::uint32_t c = p[0] | (p[1] << 8) | (p[2] << 16);
        auto it = index.find(c);
        if (it != index.end()) {
            out[i] = it->second;
            continue;
        }
        // Only when the picture had more colours than taken: the nearest,
        // the first of equals.
        std::int64_t best = -1, bestDist = 0;
        for (std::size_t k = 0; k < palette.size() && (best < 0 || bestDist != 0); ++k) {
            const int db = int(p[0]) - int(palette[k] & 0xFF), dg = int(p[1]) - int((palette[k] >> 8) & 0xFF),
                      dr = int(p[2]) - int(palette[k] >> 16);
            const std::int64_t d = std::int64_t(db) * db + std::int64_t(dg) * dg + std::int64_t(dr) * dr;
            if (best < 0 || d < bestDist)
                best = std::int64_t(k), bestDist = d;
        }
        out[i] = static_cast<std::uint8_t>(best < 0 ? 0 : best);
    }
    std::uint8_t *pal = reduced.Palette.get();
    std::fill(pal, pal + 768, 0);
    for (std::size_t k = 0; k < palette.size(); ++k) {
        pal[3 * k] = palette[k] & 0xFF;
        pal[3 * k + 1] = (palette[k] >> 8) & 0xFF;
        pal[3 * k + 2] = palette[k] >> 16;
    }
    Bitmap.TakeOver(reduced);
}

void TWMFLoader::LoadFromStream(TBaseStream &Stream, const std::string &, TLinearBitmap &Bitmap)
{
    const std::string data = ReadAll(Stream);
    const QImage picture = PlayMetafile(reinterpret_cast<const std::uint8_t *>(data.data()), data.size());
    Bitmap.Assign(picture.convertToFormat(QImage::Format_BGR888));
    if (CountColors(Bitmap) <= 256)
        ReduceToPalette(Bitmap);
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
