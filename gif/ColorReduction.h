#pragma once
// Colour reduction: a picture of any pixel format becomes an 8-bit picture
// whose palette a reduction method chooses (fixed palettes, greys, the web
// palette, an octree quantiser, the caller's palette) and whose pixels a
// dither engine chooses. GIF frames hold at most 256 colours, so every
// true-colour picture passes through here on its way into a frame.
#include "gif/ColorLookup.h"
#include "gif/Dither.h"

#include <QImage>

#include <cstdint>
#include <vector>

namespace gif {

enum TColorReduction : std::uint8_t {
    crNone = 0,          // a 24-bit copy
    crSystem20 = 1,      // the 20 static system colours
    crHalftone = 2,      // the halftone palette
    crFourGreys = 3,     // 0x00, 0x80, 0xC0, 0xFF
    crBlackWhite = 4,    // black, white
    crGreys256 = 5,      // 256 greys
    crWebPalette = 6,    // 216 web colours
    crOctree = 7,        // octree palette of 2^ReductionBits colours
    crOctreeSystem = 8,  // 236 octree colours between the 20 static colours
    crCustomPalette = 9, // the caller's palette
};

// The reduced copy of Bitmap (which is never changed): Format_Indexed8 with
// the method's palette as colour table (every pixel indexes it), or
// Format_BGR888 for crNone. An empty bitmap gives an empty image. Raises
// "Invalid reduction method" for a method above 9, a dither mode above 6 or
// crCustomPalette with an empty Palette (only its first 256 entries are used),
// and "Invalid reduction bits" when crOctree gets ReductionBits outside 1..8.
QImage ReduceColors(const QImage &Bitmap, int ColorReduction, int DitherMode, int ReductionBits,
                    const TPalette &Palette = {});

// One node of the octree; children are indices into the quantiser's pool.
struct TOctreeNode {
    bool IsLeaf = false;
    std::int32_t PixelCount = 0;
    // 64 bits: one leaf may collect every pixel of a 2^28-pixel picture.
    std::int64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
    int Next = -1; // next node in the reducible list of its level
    int Children[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

// Builds an optimised palette: every colour added walks down the tree by
// the bits of red, green and blue; whenever there are more than MaxColors
// leaves, the deepest reducible node is folded into a leaf.
class TColorQuantizer {
public:
    // MaxColors 1..256, ColorBits 1..8; others raise "Invalid reduction bits".
    TColorQuantizer(int MaxColors, int ColorBits);

    void AddColor(int Red, int Green, int Blue);
    // Adds every pixel of a Format_BGR888 image.
    void AddPicture(const QImage &Reader);
    // One colour per leaf, depth first, children in index order; each is the
    // mean of its pixels.
    void FillColorTable(TPalette &Table) const;

    int LeafCount = 0;

private:
    int NewNode(int Level);
    void FreeNode(int Node);
    void ReduceTree();

    std::vector<TOctreeNode> Nodes;
    std::vector<int> FreeNodes;
    int Tree = -1;
    int ReducibleLists[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int MaxColors;
    int ColorBits;
    // Leaves of colours added before, valid while no reduction has changed
    // the tree since (Generation counts the reductions).
    struct TLeafHint {
        int Color = -1, Leaf = -1;
        unsigned Generation = 0;
    };
    static constexpr int HintBits = 12;
    std::vector<TLeafHint> Hints;
    unsigned Generation = 1;
};

// An octree palette of Colors entries (entries beyond the leaves are black)
// from a Format_BGR888 image. WithSystemColors: 256 entries, the 20 static
// colours at 0-9 and 246-255 and up to 236 quantised colours from entry 10.
TPalette MakeOctreePalette(const QImage &Reader, int Colors, int ColorBits, bool WithSystemColors);
// The same for an image of any format (a converted copy is read).
TPalette MakeOctreePaletteOfBitmap(const QImage &Bitmap, int Colors, int ColorBits, bool WithSystemColors);

TPalette MakeGreyPalette();       // 256 greys
TPalette MakeBlackWhitePalette(); // black, white
TPalette MakeFourGreyPalette();   // 0x00, 0x80, 0xC0, 0xFF
TPalette MakeScreenHalftonePalette();

} // namespace gif
