#pragma once
// Nearest-colour lookups: map a 24-bit colour to the index of a palette entry
// and give back the colour chosen. The dither engines and the frame renderer
// use them for every pixel, so the general lookup keeps a cache of candidate
// entries per region of the colour cube instead of searching the whole
// palette each time.
#include <QRgb>

#include <array>
#include <cstdint>
#include <vector>

namespace gif {

// Palette entries as colours; entry flags have no meaning on a true-colour display.
using TPalette = std::vector<QRgb>;

// The stock palette of 20 static colours (the standard values: the eight
// dark and light primaries, the two greys, silver, money green, sky blue,
// cream, medium grey), in the order of entries 0-9 then 246-255 of a
// 256-entry system palette.
const std::array<QRgb, 20> &SystemPalette20();
// The 256-entry halftone palette for the screen: the 20 static colours at 0-9
// and 246-255, the 216-colour cube (levels 0, 51, ..., 255, red slowest) at
// 10-225, and 20 greys between the cube's levels (round(k * 255 / 21),
// k = 1..20) at 226-245.
const std::array<QRgb, 256> &HalftonePalette();

class TColorLookup {
public:
    explicit TColorLookup(const TPalette &) {}
    virtual ~TColorLookup() = default;
    TColorLookup(const TColorLookup &) = delete;
    TColorLookup &operator=(const TColorLookup &) = delete;

    // Number of palette entries; 0 means the lookup cannot be used.
    int Colors = 0;

    // The palette index chosen for (Red, Green, Blue), each 0..255; R, G, B
    // receive the colour of that entry.
    virtual std::uint8_t Lookup(int Red, int Green, int Blue, int &R, int &G, int &B) = 0;
};

// Any palette of up to 256 entries: the entry nearest in RGB distance, the
// lowest index among equals.
class TSlowColorLookup : public TColorLookup {
public:
    explicit TSlowColorLookup(const TPalette &Palette);
    std::uint8_t Lookup(int Red, int Green, int Blue, int &R, int &G, int &B) override;

private:
    // The cube is cut into 64 x 64 x 64 cells; a cell's candidate list holds
    // every entry that can be the nearest one for some colour in the cell.
    static constexpr int CellBits = 2;
    static constexpr int CellsPerAxis = 256 >> CellBits;
    void FillCell(int Cell);

    std::vector<std::uint8_t> Red_, Green_, Blue_;
    std::vector<std::int32_t> CellStart; // -1: not computed yet
    std::vector<std::uint16_t> CellCount;
    // Candidate entries packed as index << 24 | red << 16 | green << 8 | blue.
    std::vector<std::uint32_t> Candidates;
    // Colours looked up before: (colour << 8 | index) + 1 in a direct-mapped
    // table, 0 for none.
    static constexpr int CacheBits = 15;
    std::vector<std::uint32_t> Cache;
};

// The 216-colour web palette: levels of 51, red slowest.
class TNetscapeColorLookup : public TColorLookup {
public:
    explicit TNetscapeColorLookup(const TPalette &Palette);
    std::uint8_t Lookup(int Red, int Green, int Blue, int &R, int &G, int &B) override;
};

// 256 greys, index = grey level.
class TGrayScaleLookup : public TColorLookup {
public:
    explicit TGrayScaleLookup(const TPalette &Palette);
    std::uint8_t Lookup(int Red, int Green, int Blue, int &R, int &G, int &B) override;
};

// Black (index 0) below half brightness, white (index 1) otherwise.
class TMonochromeLookup : public TColorLookup {
public:
    explicit TMonochromeLookup(const TPalette &Palette);
    std::uint8_t Lookup(int Red, int Green, int Blue, int &R, int &G, int &B) override;
};

} // namespace gif
