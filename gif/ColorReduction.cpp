#include "gif/ColorReduction.h"

#include "gif/GIFUtils.h"

#include <algorithm>
#include <memory>

namespace gif {

TPalette MakeGreyPalette()
{
    TPalette p;
    for (int i = 0; i < 256; ++i)
        p.push_back(qRgb(i, i, i));
    return p;
}

TPalette MakeBlackWhitePalette()
{
    return {qRgb(0, 0, 0), qRgb(255, 255, 255)};
}

TPalette MakeFourGreyPalette()
{
    return {qRgb(0, 0, 0), qRgb(0x80, 0x80, 0x80), qRgb(0xC0, 0xC0, 0xC0), qRgb(0xFF, 0xFF, 0xFF)};
}

TPalette MakeScreenHalftonePalette()
{
    const auto &h = HalftonePalette();
    return TPalette(h.begin(), h.end());
}

// ---------------------------------------------------------------- octree

TColorQuantizer::TColorQuantizer(int MaxColors, int ColorBits) : MaxColors(MaxColors), ColorBits(ColorBits)
{
    if (MaxColors < 1 || MaxColors > 256 || ColorBits < 1 || ColorBits > 8)
        Error("Invalid reduction bits");
    // Every node lies on the path of some leaf, and there are at most
    // MaxColors + 1 leaves at any time.
    Nodes.reserve(std::size_t(MaxColors + 1) * std::size_t(ColorBits + 1) + 1);
    Hints.resize(std::size_t(1) << HintBits);
}

int TColorQuantizer::NewNode(int Level)
{
    int n;
    if (!FreeNodes.empty()) {
        n = FreeNodes.back();
        FreeNodes.pop_back();
        Nodes[std::size_t(n)] = TOctreeNode();
    } else {
        n = int(Nodes.size());
        Nodes.emplace_back();
    }
    TOctreeNode &node = Nodes[std::size_t(n)];
    if (Level == ColorBits) {
        node.IsLeaf = true;
        ++LeafCount;
    } else {
        node.Next = ReducibleLists[Level];
        ReducibleLists[Level] = n;
    }
    return n;
}

void TColorQuantizer::FreeNode(int Node)
{
    for (int i = 7; i >= 0; --i) {
        const int c = Nodes[std::size_t(Node)].Children[i];
        if (c >= 0)
            FreeNode(c);
    }
    FreeNodes.push_back(Node);
}

void TColorQuantizer::AddColor(int Red, int Green, int Blue)
{
    const int key = (Red << 16) | (Green << 8) | Blue;
    TLeafHint &hint = Hints[(std::uint32_t(key) * 2654435761u) >> (32 - HintBits)];
    int node;
    if (hint.Color == key && hint.Generation == Generation) {
        node = hint.Leaf;
    } else {
        if (Tree < 0)
            Tree = NewNode(0);
        node = Tree;
        for (int level = 0; !Nodes[std::size_t(node)].IsLeaf; ++level) {
            const int shift = 7 - level;
            const int mask = 0x80 >> level;
            const int index = (((Red & mask) >> shift) << 2) | (((Green & mask) >> shift) << 1) |
                              ((Blue & mask) >> shift);
            int child = Nodes[std::size_t(node)].Children[index];
            if (child < 0) {
                child = NewNode(level + 1);
                Nodes[std::size_t(node)].Children[index] = child;
            }
            node = child;
        }
        hint = {key, node, Generation};
    }
    TOctreeNode &leaf = Nodes[std::size_t(node)];
    ++leaf.PixelCount;
    leaf.RedSum += Red;
    leaf.GreenSum += Green;
    leaf.BlueSum += Blue;
    while (LeafCount > MaxColors)
        ReduceTree();
}

void TColorQuantizer::ReduceTree()
{
    int level = ColorBits - 1;
    while (level > 0 && ReducibleLists[level] < 0)
        --level;
    const int n = ReducibleLists[level];
    ReducibleLists[level] = Nodes[std::size_t(n)].Next;
    int children = 0;
    for (int i = 7; i >= 0; --i) {
        const int c = Nodes[std::size_t(n)].Children[i];
        if (c < 0)
            continue;
        const TOctreeNode &child = Nodes[std::size_t(c)];
        TOctreeNode &node = Nodes[std::size_t(n)];
        node.PixelCount += child.PixelCount;
        node.RedSum += child.RedSum;
        node.GreenSum += child.GreenSum;
        node.BlueSum += child.BlueSum;
        FreeNode(c);
        node.Children[i] = -1;
        ++children;
    }
    Nodes[std::size_t(n)].IsLeaf = true;
    LeafCount -= children - 1;
    ++Generation;
}

void TColorQuantizer::AddPicture(const QImage &Reader)
{
    for (int y = 0; y < Reader.height(); ++y) {
        const std::uint8_t *p = Reader.constScanLine(y);
        for (int x = 0; x < Reader.width(); ++x, p += 3)
            AddColor(p[2], p[1], p[0]);
    }
}

void TColorQuantizer::FillColorTable(TPalette &Table) const
{
    struct Walk {
        const std::vector<TOctreeNode> &Nodes;
        TPalette &Table;
        void operator()(int n) const
        {
            const TOctreeNode &node = Nodes[std::size_t(n)];
            if (node.IsLeaf) {
                if (node.PixelCount == 0)
                    Table.push_back(qRgb(0, 0, 0));
                else
                    Table.push_back(qRgb(int(node.RedSum / node.PixelCount), int(node.GreenSum / node.PixelCount),
                                         int(node.BlueSum / node.PixelCount)));
                return;
            }
            for (int c : node.Children)
                if (c >= 0)
                    (*this)(c);
        }
    };
    if (Tree >= 0)
        Walk{Nodes, Table}(Tree);
}

TPalette MakeOctreePalette(const QImage &Reader, int Colors, int ColorBits, bool WithSystemColors)
{
    TPalette result(std::size_t(WithSystemColors ? 256 : Colors), qRgb(0, 0, 0));
    std::size_t first = 0;
    int maxColors = Colors;
    if (WithSystemColors) {
        const auto &sys = SystemPalette20();
        std::copy(sys.begin(), sys.begin() + 10, result.begin());
        std::copy(sys.begin() + 10, sys.end(), result.begin() + 246);
        first = 10;
        maxColors = 236;
    }
    TColorQuantizer quantizer(maxColors, ColorBits);
    quantizer.AddPicture(Reader);
    TPalette table;
    quantizer.FillColorTable(table);
    std::copy(table.begin(), table.begin() + std::ptrdiff_t(std::min<std::size_t>(table.size(), std::size_t(maxColors))),
              result.begin() + std::ptrdiff_t(first));
    return result;
}

TPalette MakeOctreePaletteOfBitmap(const QImage &Bitmap, int Colors, int ColorBits, bool WithSystemColors)
{
    return MakeOctreePalette(Bitmap.convertToFormat(QImage::Format_BGR888), Colors, ColorBits, WithSystemColors);
}

// ---------------------------------------------------------------- reduction

QImage ReduceColors(const QImage &Bitmap, int ColorReduction, int DitherMode, int ReductionBits,
                    const TPalette &Palette)
{
    if (ColorReduction < crNone || ColorReduction > crCustomPalette || DitherMode < dmNearest ||
        DitherMode > dmBurkes || (ColorReduction == crCustomPalette && Palette.empty()))
        Error("Invalid reduction method");
    if (ColorReduction == crOctree && (ReductionBits < 1 || ReductionBits > 8))
        Error("Invalid reduction bits");
    if (Bitmap.isNull() || Bitmap.width() < 1 || Bitmap.height() < 1)
        return QImage();
    CheckPixelCount(Bitmap.width(), Bitmap.height());
    // A converted copy: the caller's bitmap keeps its format and pixels.
    const QImage source = Bitmap.convertToFormat(QImage::Format_BGR888);
    if (source.isNull())
        throw platform::EOutOfResources("Out of system resources");
    if (ColorReduction == crNone)
        return source;

    TPalette palette;
    std::unique_ptr<TColorLookup> lookup;
    switch (ColorReduction) {
    case crSystem20:
        palette.assign(SystemPalette20().begin(), SystemPalette20().end());
        break;
    case crHalftone:
        palette = MakeScreenHalftonePalette();
        break;
    case crFourGreys:
        palette = MakeFourGreyPalette();
        break;
    case crBlackWhite:
        palette = MakeBlackWhitePalette();
        lookup = std::make_unique<TMonochromeLookup>(palette);
        break;
    case crGreys256:
        palette = MakeGreyPalette();
        lookup = std::make_unique<TGrayScaleLookup>(palette);
        break;
    case crWebPalette:
        palette = WebPalette();
        lookup = std::make_unique<TNetscapeColorLookup>(palette);
        break;
    case crOctree:
        palette = MakeOctreePalette(source, 1 << ReductionBits, 8, false);
        break;
    case crOctreeSystem:
        palette = MakeOctreePalette(source, 256, 8, true);
        break;
    default:
        palette.assign(Palette.begin(), Palette.begin() + std::ptrdiff_t(std::min<std::size_t>(Palette.size(), 256)));
        break;
    }
    if (!lookup)
        lookup = std::make_unique<TSlowColorLookup>(palette);

    const int width = source.width(), height = source.height();
    QImage result = NewImage(width, height, QImage::Format_Indexed8);
    result.setColorTable(QList<QRgb>(palette.begin(), palette.end()));
    const std::unique_ptr<TDitherEngine> engine = MakeDitherEngine(DitherMode, width, *lookup);
    int r, g, b;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t *src = source.constScanLine(y);
        std::uint8_t *dst = result.scanLine(y);
        for (int x = engine->Column; x >= 0 && x < width; x = engine->Column) {
            const std::uint8_t *p = src + std::ptrdiff_t(x) * 3;
            dst[x] = engine->Dither(p[2], p[1], p[0], r, g, b);
        }
        engine->NextLine();
    }
    return result;
}

} // namespace gif
