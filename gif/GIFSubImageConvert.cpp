// Conversion of an image of any format into frame data.
#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"

#include <algorithm>
#include <cstring>

namespace gif {

namespace {

// Which pixels of the source are transparent (alpha below half), or an empty
// vector when none is.
std::vector<bool> TransparentPixels(const QImage &src)
{
    if (!src.hasAlphaChannel())
        return {};
    const QImage a = src.convertToFormat(QImage::Format_ARGB32);
    std::vector<bool> mask(std::size_t(a.width()) * std::size_t(a.height()));
    bool any = false;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(p[x]) < 128) {
                mask[std::size_t(y) * std::size_t(a.width()) + std::size_t(x)] = true;
                any = true;
            }
    }
    return any ? mask : std::vector<bool>();
}

} // namespace

void TGIFSubImage::Assign(const QImage &Source)
{
    Clear();
    if (Source.isNull())
        return;
    CheckPixelCount(Source.width(), Source.height());
    SetBounds(FLeft, FTop, Source.width(), Source.height());
    const auto transparent = TransparentPixels(Source);
    QImage src = Source;
    const auto fmt = src.format();
    const bool paletted = fmt == QImage::Format_Mono || fmt == QImage::Format_MonoLSB || fmt == QImage::Format_Indexed8;
    if (!paletted && GIFColorReducer() && FImage)
        src = GIFColorReducer()(Source, FImage->ColorReduction, FImage->DitherMode, FImage->ReductionBits);
    if (src.isNull())
        return;
    NeedImage();
    if (FImage)
        FImage->Progress(TProgressStage::psStarting, 0, false, "Converting...");
    const std::size_t w = std::size_t(FWidth);
    const auto progress = [&](int y) {
        if (y % 32 == 0 && FImage)
            FImage->Progress(TProgressStage::psRunning, int(std::int64_t(y) * 100 / FHeight), false, "Converting...");
    };
    if (src.format() == QImage::Format_Indexed8) {
        const auto table = src.colorTable();
        FColorMap.ImportRGB(table.data(), int(std::min<qsizetype>(table.size(), 256)));
        for (int y = 0; y < FHeight; ++y) {
            progress(y);
            std::memcpy(FData.data() + std::size_t(y) * w, src.constScanLine(y), w);
        }
    } else if (src.format() == QImage::Format_Mono || src.format() == QImage::Format_MonoLSB) {
        const auto table = src.colorTable();
        FColorMap.ImportRGB(table.data(), int(std::min<qsizetype>(table.size(), 2)));
        const bool lsb = src.format() == QImage::Format_MonoLSB;
        // Eight pixels a byte, but never past the row's last pixel.
        for (int y = 0; y < FHeight; ++y) {
            progress(y);
            const std::uint8_t *s = src.constScanLine(y);
            std::uint8_t *d = FData.data() + std::size_t(y) * w;
            for (std::size_t x = 0; x < w; ++x)
                d[x] = (s[x >> 3] >> (lsb ? (x & 7) : 7 - (x & 7))) & 1;
        }
    } else {
        // Exact colours, at most 256, through a small cache of recent hits.
        const QImage rgb = src.convertToFormat(QImage::Format_RGB32);
        QRgb cache[8];
        int cacheIndex[8];
        int cached = 0, slot = 0;
        for (int y = 0; y < FHeight; ++y) {
            progress(y);
            const auto *s = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            std::uint8_t *d = FData.data() + std::size_t(y) * w;
            for (std::size_t x = 0; x < w; ++x) {
                const QRgb c = s[x] | 0xFF000000u;
                int index = -1;
                for (int k = 0; k < cached; ++k)
                    if (cache[k] == c) {
                        index = cacheIndex[k];
                        break;
                    }
                if (index < 0) {
                    index = FColorMap.AddUnique(RGBColor(qRed(c), qGreen(c), qBlue(c)));
                    cache[slot] = c;
                    cacheIndex[slot] = index;
                    slot = (slot + 1) % 8;
                    cached = std::min(cached + 1, 8);
                }
                d[x] = std::uint8_t(index);
            }
        }
    }
    // Transparent pixels get a black entry of their own.
    if (!transparent.empty() && FColorMap.Count() > 0 && FColorMap.Count() < 256) {
        const int ti = FColorMap.Add(RGBColor(0, 0, 0));
        bool any = false;
        for (std::size_t i = 0; i < FData.size(); ++i)
            if (transparent[i]) {
                FData[i] = std::uint8_t(ti);
                any = true;
            }
        if (!any) {
            FColorMap.Delete(ti);
        } else {
            auto gce = std::make_unique<TGIFGraphicControlExtension>(this);
            auto *g = gce.get();
            FExtensions.Add(std::move(gce));
            g->SetTransparent(true);
            g->SetTransparentColorIndex(ti);
        }
    }
    FreeBitmap();
    FreeMask();
    if (FImage)
        FImage->Progress(TProgressStage::psEnding, 100, false, "Converting...");
}

} // namespace gif
