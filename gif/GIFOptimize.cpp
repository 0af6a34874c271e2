// The optimiser: per-frame cropping and merging with the previous frame, and
// the picture's passes over all frames.
#include "gif/GIFImage.h"
#include "gif/GIFSubImage.h"

#include <algorithm>
#include <cstring>

namespace gif {

void TGIFSubImage::Crop()
{
    if (Empty() || !Transparent())
        return;
    const std::uint8_t ti = std::uint8_t(TransparentColorIndex());
    const std::size_t w = std::size_t(FWidth);
    int x0 = FWidth, x1 = -1, y0 = FHeight, y1 = -1;
    for (int y = 0; y < FHeight; ++y) {
        const std::uint8_t *row = FData.data() + std::size_t(y) * w;
        for (int x = 0; x < FWidth; ++x)
            if (row[x] != ti) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    }
    if (x1 < 0) {
        Clear();
        return;
    }
    const int nw = x1 - x0 + 1, nh = y1 - y0 + 1;
    std::vector<std::uint8_t> data(std::size_t(nw) * std::size_t(nh));
    for (int y = 0; y < nh; ++y)
        std::memcpy(data.data() + std::size_t(y) * std::size_t(nw), FData.data() + std::size_t(y0 + y) * w + std::size_t(x0),
                    std::size_t(nw));
    FData = std::move(data);
    FLeft += x0;
    FTop += y0;
    FWidth = nw;
    FHeight = nh;
    FreeBitmap();
    FreeMask();
}

namespace {

bool SameColor(const TGIFColorMap &ma, int a, const TGIFColorMap &mb, int b)
{
    if (&ma == &mb && a == b)
        return true;
    if (a >= ma.Count() || b >= mb.Count())
        return false;
    return ma.Data()[a] == mb.Data()[b];
}

bool UsesIndex(const TGIFSubImage &f, int index)
{
    const std::uint8_t *p = f.Data();
    return std::find(p, p + f.DataSize(), std::uint8_t(index)) != p + f.DataSize();
}

} // namespace

void TGIFSubImage::Merge(TGIFSubImage *Previous)
{
    if (!Previous || Empty() || Previous->Empty())
        return;
    if (auto *g = Previous->GraphicControlExtension(); g && (g->Disposal() == dmBackground || g->Disposal() == dmPrevious))
        return;
    const int l = std::max(FLeft, Previous->FLeft), t = std::max(FTop, Previous->FTop);
    const int r = std::min(FLeft + FWidth, Previous->FLeft + Previous->FWidth);
    const int b = std::min(FTop + FHeight, Previous->FTop + Previous->FHeight);
    if (l >= r || t >= b)
        return;
    const bool wasTransparent = Transparent();
    const TGIFColorMap &map = ActiveColorMap();
    if (!wasTransparent && (map.Count() < 1 || map.Count() > 255))
        return;
    int ti = wasTransparent ? TransparentColorIndex() : -1;
    const auto fetchIndex = [&] {
        if (FColorMap.Count() == 0 && FImage) {
            // Another frame's transparent index of the global map will do,
            // when this frame does not paint with it.
            for (int i = 0; i < FImage->Count(); ++i) {
                auto *o = FImage->SubImage(i);
                if (o != this && o->ColorMap().Count() == 0 && o->Transparent() &&
                    !UsesIndex(*this, o->TransparentColorIndex()))
                    return o->TransparentColorIndex();
            }
            return FImage->Header().ColorMap().Add(RGBColor(0, 0, 0));
        }
        return FColorMap.Add(RGBColor(0, 0, 0));
    };
    const TGIFColorMap &prevMap = Previous->ActiveColorMap();
    const bool prevTransparent = Previous->Transparent();
    const int pti = Previous->TransparentColorIndex();
    for (int y = t; y < b; ++y) {
        std::uint8_t *row = FData.data() + std::size_t(y - FTop) * std::size_t(FWidth);
        const std::uint8_t *prow = Previous->FData.data() + std::size_t(y - Previous->FTop) * std::size_t(Previous->FWidth);
        for (int x = l; x < r; ++x) {
            std::uint8_t &px = row[x - FLeft];
            const std::uint8_t pp = prow[x - Previous->FLeft];
            if ((wasTransparent && px == ti) || (prevTransparent && pp == pti))
                continue;
            if (!SameColor(ActiveColorMap(), px, prevMap, pp))
                continue;
            if (ti < 0)
                ti = fetchIndex();
            px = std::uint8_t(ti);
        }
    }
    if (!wasTransparent && ti >= 0) {
        if (!FGCE)
            FExtensions.Add(std::make_unique<TGIFGraphicControlExtension>(this));
        FGCE->SetTransparent(true);
        FGCE->FTransparentColorIndex = std::uint8_t(ti);
    }
    FreeBitmap();
    FreeMask();
}

void TGIFImage::GIFOptimize(int Options, int AColorReduction)
{
    if (Empty())
        return;
    PaintStop();
    std::lock_guard lock(PaintersLock);
    Progress(TProgressStage::psStarting, 0, false, "Optimizing...");
    const int total = Count() * 6;
    int done = 0;
    const auto step = [&] {
        ++done;
        Progress(TProgressStage::psRunning, total > 0 ? done * 100 / total : 100, false, "Optimizing...");
    };
    try {
        // Colour tables.
        if (Options & 0x08) {
            if (FHeader.ColorMap().Count() > 0)
                FHeader.ColorMap().Optimize();
            for (int i = 0; i < Count(); ++i) {
                if (SubImage(i)->ColorMap().Count() > 0)
                    SubImage(i)->ColorMap().Optimize();
                step();
            }
        } else {
            done += Count();
        }
        // Transparency that no pixel uses, and disposal that nothing needs.
        if (Options & 0x04) {
            for (int i = 0; i < Count(); ++i) {
                auto *f = SubImage(i);
                if (f->Transparent() && !f->Empty() && !UsesIndex(*f, f->TransparentColorIndex()))
                    f->GraphicControlExtension()->SetTransparent(false);
                step();
            }
            for (int i = 0; i + 1 < Count(); ++i) {
                auto *f = SubImage(i), *next = SubImage(i + 1);
                auto *g = f->GraphicControlExtension();
                if (!g || g->Disposal() > 1 || next->Transparent())
                    continue;
                const auto a = f->BoundsRect(), n = next->BoundsRect();
                if (n.Left >= a.Left && n.Top >= a.Top && n.Right <= a.Right && n.Bottom <= a.Bottom &&
                    n.Width() > 0 && n.Height() > 0)
                    g->SetDisposal(0);
            }
        } else {
            done += Count();
        }
        // Pixels that repeat the frame below them.
        if (Options & 0x02) {
            for (int i = Count() - 1; i >= 1; --i) {
                int j = i - 1;
                while (j > 0 && SubImage(j)->GraphicControlExtension() &&
                       SubImage(j)->GraphicControlExtension()->Disposal() == dmPrevious)
                    --j;
                SubImage(i)->Merge(SubImage(j));
                step();
            }
            step();
        } else {
            done += Count();
        }
        // Empty frames.
        if (Options & 0x01) {
            for (int i = Count() - 1; i >= 0; --i) {
                auto *f = SubImage(i);
                step();
                if (f->Empty() || !f->Transparent())
                    continue;
                // The delay goes before the crop may clear the extensions.
                const int delay = f->GraphicControlExtension() ? f->GraphicControlExtension()->Delay() : 0;
                f->Crop();
                if (!f->Empty())
                    continue;
                if (i > 0 && SubImage(i - 1)->Transparent()) {
                    auto *pg = SubImage(i - 1)->GraphicControlExtension();
                    pg->SetDelay(std::min(65535, pg->Delay() + delay));
                }
                FImages.Delete(i);
            }
        } else {
            done += Count();
        }
        // Redundant blocks.
        if (Options & 0x04) {
            for (int i = Count() - 1; i >= 0; --i) {
                auto *f = SubImage(i);
                auto &ext = f->Extensions();
                for (int k = ext.Count() - 1; k >= 0; --k) {
                    auto *e = ext.Extensions(k);
                    const bool loop = dynamic_cast<TGIFAppExtNSLoop *>(e) != nullptr;
                    if (dynamic_cast<TGIFCommentExtension *>(e) || dynamic_cast<TGIFTextExtension *>(e) ||
                        dynamic_cast<TGIFUnknownAppExtension *>(e) || (loop && !(i == 0 && Count() > 1)))
                        ext.Delete(k);
                    else if (auto *g = dynamic_cast<TGIFGraphicControlExtension *>(e);
                             g && !g->Transparent() && !g->UserInput() && (g->Delay() == 0 || Count() == 1) &&
                             (g->Disposal() < 2 || Count() == 1))
                        ext.Delete(k);
                }
                if (f->Empty() && ext.Count() == 0)
                    FImages.Delete(i);
                step();
            }
        } else if ((Options & 0x10) && AColorReduction == 9) {
            Error("Invalid reduction method");
        }
    } catch (...) {
        Progress(TProgressStage::psEnding, 0, false, "Optimizing...");
        throw;
    }
    StopDraw();
    Progress(TProgressStage::psEnding, 100, false, "Optimizing...");
}

} // namespace gif
