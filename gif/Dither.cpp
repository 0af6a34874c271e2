#include "gif/Dither.h"

#include "gif/GIFUtils.h"

#include <algorithm>

namespace gif {

namespace {

int Clamp255(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

} // namespace

// ---------------------------------------------------------------- nearest colour

TDitherEngine::TDitherEngine(int Width, TColorLookup &Lookup) : Lookup(&Lookup), Width(Width) {}

std::uint8_t TDitherEngine::Dither(int Red, int Green, int Blue, int &R, int &G, int &B)
{
    const std::uint8_t index = Lookup->Lookup(Red, Green, Blue, R, G, B);
    Column += Direction;
    return index;
}

void TDitherEngine::NextLine()
{
    Direction = -Direction;
    Column = Direction == 1 ? 0 : Width - 1;
}

// ---------------------------------------------------------------- Floyd-Steinberg

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int Width, TColorLookup &Lookup)
    : TDitherEngine(Width, Lookup), Current(3 * (std::size_t(Width) + 2), 0), Below(Current.size(), 0)
{
}

std::uint8_t TFloydSteinbergDitherer::Dither(int Red, int Green, int Blue, int &R, int &G, int &B)
{
    const std::ptrdiff_t step = 3 * Direction;
    const std::int32_t *cur = Current.data() + 3 * (Column + 1);
    std::int32_t *below = Below.data() + 3 * (Column + 1);
    const int v[3] = {Clamp255(Red + (Carried[0] + cur[0] + 8) / 16), Clamp255(Green + (Carried[1] + cur[1] + 8) / 16),
                      Clamp255(Blue + (Carried[2] + cur[2] + 8) / 16)};
    const std::uint8_t index = TDitherEngine::Dither(v[0], v[1], v[2], R, G, B);
    const int chosen[3] = {R, G, B};
    for (int c = 0; c < 3; ++c) {
        const int e = v[c] - chosen[c];
        below[c - step] += 3 * e;
        below[c] += 5 * e;
        below[c + step] += e;
        Carried[c] = 7 * e;
    }
    return index;
}

void TFloydSteinbergDitherer::NextLine()
{
    Carried[0] = Carried[1] = Carried[2] = 0;
    std::swap(Current, Below);
    std::fill(Below.begin(), Below.end(), 0);
    TDitherEngine::NextLine();
}

// ---------------------------------------------------------------- kernels of several rows

TKernelDitherer::TKernelDitherer(int Width, TColorLookup &Lookup, int Rows, int Margin, int Divisor,
                                 std::vector<TKernelWeight> Kernel)
    : TDitherEngine(Width, Lookup), Divisor(Divisor), Margin(Margin), Kernel(std::move(Kernel)),
      Errors(std::size_t(Rows) * 3, std::vector<std::int32_t>(std::size_t(Width) + 2 * std::size_t(Margin), 0))
{
}

std::uint8_t TKernelDitherer::Dither(int Red, int Green, int Blue, int &R, int &G, int &B)
{
    const std::ptrdiff_t pos = Column + Margin;
    const int dir = Direction;
    const int src[3] = {Red, Green, Blue};
    const int round = Divisor / 2;
    int v[3];
    for (int c = 0; c < 3; ++c)
        v[c] = Clamp255(src[c] + (Errors[std::size_t(c)][std::size_t(pos)] + round) / Divisor);
    const std::uint8_t index = TDitherEngine::Dither(v[0], v[1], v[2], R, G, B);
    const int chosen[3] = {R, G, B};
    for (int c = 0; c < 3; ++c) {
        const int e = v[c] - chosen[c];
        if (e == 0)
            continue;
        for (const TKernelWeight &k : Kernel)
            Errors[std::size_t(k.Row * 3 + c)][std::size_t(pos + k.Ahead * dir)] += e * k.Weight;
    }
    return index;
}

void TKernelDitherer::NextLine()
{
    // Row 0 is used up: cleared, it becomes the last row; the others move up.
    for (int c = 0; c < 3; ++c)
        std::fill(Errors[std::size_t(c)].begin(), Errors[std::size_t(c)].end(), 0);
    std::rotate(Errors.begin(), Errors.begin() + 3, Errors.end());
    TDitherEngine::NextLine();
}

TStuckiDitherer::TStuckiDitherer(int Width, TColorLookup &Lookup)
    : T5by3Ditherer(Width, Lookup, 42,
                    {{0, 1, 8}, {0, 2, 4},
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
                     {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}})
{
}

TSierraDitherer::TSierraDitherer(int Width, TColorLookup &Lookup)
    : T5by3Ditherer(Width, Lookup, 32,
                    {{0, 1, 5}, {0, 2, 3},
                     {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},
                     {2, -1, 2}, {2, 0, 3}, {2, 1, 2}})
{
}

TJaJuNiDitherer::TJaJuNiDitherer(int Width, TColorLookup &Lookup)
    : T5by3Ditherer(Width, Lookup, 48,
                    {{0, 1, 7}, {0, 2, 5},
                     {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
                     {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}})
{
}

TSteveArcheDitherer::TSteveArcheDitherer(int Width, TColorLookup &Lookup)
    : TKernelDitherer(Width, Lookup, 4, 3, 200,
                      {{0, 2, 32},
                       {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},
                       {2, -2, 12}, {2, 0, 26}, {2, 2, 12},
                       {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}})
{
}

TBurkesDitherer::TBurkesDitherer(int Width, TColorLookup &Lookup)
    : TKernelDitherer(Width, Lookup, 2, 2, 32,
                      {{0, 1, 8}, {0, 2, 4},
                       {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}})
{
}

std::unique_ptr<TDitherEngine> MakeDitherEngine(int DitherMode, int Width, TColorLookup &Lookup)
{
    switch (DitherMode) {
    case dmNearest:
        return std::make_unique<TDitherEngine>(Width, Lookup);
    case dmFloydSteinberg:
        return std::make_unique<TFloydSteinbergDitherer>(Width, Lookup);
    case dmStucki:
        return std::make_unique<TStuckiDitherer>(Width, Lookup);
    case dmSierra:
        return std::make_unique<TSierraDitherer>(Width, Lookup);
    case dmJaJuNI:
        return std::make_unique<TJaJuNiDitherer>(Width, Lookup);
    case dmSteveArche:
        return std::make_unique<TSteveArcheDitherer>(Width, Lookup);
    case dmBurkes:
        return std::make_unique<TBurkesDitherer>(Width, Lookup);
    default:
        break;
    }
    Error("Invalid reduction method");
}

} // namespace gif
