#include "gif/ColorLookup.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace gif {

const std::array<QRgb, 20> &SystemPalette20()
{
    static const std::array<QRgb, 20> colors = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),   qRgb(0, 0, 128),
        qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192), qRgb(192, 220, 192), qRgb(166, 202, 240),
        qRgb(255, 251, 240), qRgb(160, 160, 164), qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),
        qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255),
    };
    return colors;
}

const std::array<QRgb, 256> &HalftonePalette()
{
    static const std::array<QRgb, 256> colors = [] {
        std::array<QRgb, 256> p{};
        const auto &sys = SystemPalette20();
        for (int i = 0; i < 10; ++i) {
            p[std::size_t(i)] = sys[std::size_t(i)];
            p[std::size_t(246 + i)] = sys[std::size_t(10 + i)];
        }
        std::size_t n = 10;
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    p[n++] = qRgb(r * 51, g * 51, b * 51);
        for (int k = 1; k <= 20; ++k) {
            const int v = (k * 255 * 2 + 21) / 42; // round(k * 255 / 21)
            p[n++] = qRgb(v, v, v);
        }
        return p;
    }();
    return colors;
}

namespace {

int Clamp255(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

} // namespace

// ---------------------------------------------------------------- any palette

TSlowColorLookup::TSlowColorLookup(const TPalette &Palette) : TColorLookup(Palette)
{
    const std::size_t n = std::min<std::size_t>(Palette.size(), 256);
    for (std::size_t i = 0; i < n; ++i) {
        Red_.push_back(std::uint8_t(qRed(Palette[i])));
        Green_.push_back(std::uint8_t(qGreen(Palette[i])));
        Blue_.push_back(std::uint8_t(qBlue(Palette[i])));
    }
    Colors = int(n);
    if (n > 0) {
        CellStart.assign(std::size_t(CellsPerAxis * CellsPerAxis * CellsPerAxis), -1);
        CellCount.assign(CellStart.size(), 0);
        Cache.assign(std::size_t(1) << CacheBits, 0);
    }
}

void TSlowColorLookup::FillCell(int Cell)
{
    constexpr int axisBits = 8 - CellBits, axisMask = CellsPerAxis - 1, span = (1 << CellBits) - 1;
    const int lo[3] = {(Cell >> (2 * axisBits)) << CellBits, ((Cell >> axisBits) & axisMask) << CellBits,
                       (Cell & axisMask) << CellBits};
    // Per entry, the squared distance to the nearest and to the furthest
    // point of the cell, axis by axis.
    const auto dist = [&](int v, int a, bool far) {
        const int d = far ? std::max(v - lo[a], lo[a] + span - v) : std::max({0, lo[a] - v, v - lo[a] - span});
        return d * d;
    };
    int minD[256];
    int threshold = std::numeric_limits<int>::max();
    for (int i = 0; i < Colors; ++i) {
        const std::size_t k = std::size_t(i);
        minD[i] = dist(Red_[k], 0, false) + dist(Green_[k], 1, false) + dist(Blue_[k], 2, false);
        threshold = std::min(threshold, dist(Red_[k], 0, true) + dist(Green_[k], 1, true) + dist(Blue_[k], 2, true));
    }
    // An entry whose nearest point of the cell lies further than some entry's
    // furthest point can never win for a colour of this cell.
    CellStart[std::size_t(Cell)] = std::int32_t(Candidates.size());
    for (int i = 0; i < Colors; ++i)
        if (minD[i] <= threshold)
            Candidates.push_back(std::uint32_t(i) << 24 | std::uint32_t(Red_[std::size_t(i)]) << 16 |
                                 std::uint32_t(Green_[std::size_t(i)]) << 8 | Blue_[std::size_t(i)]);
    CellCount[std::size_t(Cell)] = std::uint16_t(int(Candidates.size()) - CellStart[std::size_t(Cell)]);
}

std::uint8_t TSlowColorLookup::Lookup(int Red, int Green, int Blue, int &R, int &G, int &B)
{
    if (Colors == 0) {
        R = G = B = 0;
        return 0;
    }
    Red = Clamp255(Red);
    Green = Clamp255(Green);
    Blue = Clamp255(Blue);
    const std::uint32_t key = std::uint32_t(Red << 16 | Green << 8 | Blue);
    std::uint32_t &cached = Cache[((key * 2654435761u) >> (32 - CacheBits))];
    std::uint8_t index;
    if (cached != 0 && (cached - 1) >> 8 == key) {
        index = std::uint8_t(cached - 1);
    } else {
        constexpr int axisBits = 8 - CellBits;
        const int cell = ((Red >> CellBits) << (2 * axisBits)) | ((Green >> CellBits) << axisBits) | (Blue >> CellBits);
        if (CellStart[std::size_t(cell)] < 0)
            FillCell(cell);
        const std::uint32_t *c = Candidates.data() + CellStart[std::size_t(cell)];
        const std::uint32_t *end = c + CellCount[std::size_t(cell)];
        int best = std::numeric_limits<int>::max();
        std::uint32_t chosen = *c;
        for (; c != end; ++c) {
            const std::uint32_t e = *c;
            const int dr = Red - int((e >> 16) & 255), dg = Green - int((e >> 8) & 255), db = Blue - int(e & 255);
            const int d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                chosen = e;
            }
        }
        index = std::uint8_t(chosen >> 24);
        cached = (key << 8 | index) + 1;
    }
    R = Red_[index];
    G = Green_[index];
    B = Blue_[index];
    return index;
}

// ---------------------------------------------------------------- fixed palettes

TNetscapeColorLookup::TNetscapeColorLookup(const TPalette &Palette) : TColorLookup(Palette)
{
    Colors = 216;
}

std::uint8_t TNetscapeColorLookup::Lookup(int Red, int Green, int Blue, int &R, int &G, int &B)
{
    const int r = (Clamp255(Red) + 3) / 51, g = (Clamp255(Green) + 3) / 51, b = (Clamp255(Blue) + 3) / 51;
    R = r * 51;
    G = g * 51;
    B = b * 51;
    return std::uint8_t(r * 36 + g * 6 + b);
}

TGrayScaleLookup::TGrayScaleLookup(const TPalette &Palette) : TColorLookup(Palette)
{
    Colors = 256;
}

std::uint8_t TGrayScaleLookup::Lookup(int Red, int Green, int Blue, int &R, int &G, int &B)
{
    const int v = (Clamp255(Red) * 77 + Clamp255(Green) * 150 + Clamp255(Blue) * 29) >> 8;
    R = G = B = v;
    return std::uint8_t(v);
}

TMonochromeLookup::TMonochromeLookup(const TPalette &Palette) : TColorLookup(Palette)
{
    Colors = 2;
}

std::uint8_t TMonochromeLookup::Lookup(int Red, int Green, int Blue, int &R, int &G, int &B)
{
    const int s = Clamp255(Red) * 77 + Clamp255(Green) * 150 + Clamp255(Blue) * 29;
    if (s < 32513) {
        R = G = B = 0;
        return 0;
    }
    R = G = B = 255;
    return 1;
}

} // namespace gif
