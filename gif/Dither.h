#pragma once
// Dither engines: turn rows of 24-bit pixels into palette indices through a
// colour lookup, spreading each pixel's colour error over pixels not yet
// visited. Pixels are fed in serpentine order: the first row left to right,
// the next right to left, and so on; `Column` and `Direction` say where the
// next pixel is.
#include "gif/ColorLookup.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace gif {

enum TDitherMode : std::uint8_t {
    dmNearest = 0,
    dmFloydSteinberg = 1,
    dmStucki = 2,
    dmSierra = 3,
    dmJaJuNI = 4,
    dmSteveArche = 5,
    dmBurkes = 6,
};

// Nearest colour, no error diffusion.
class TDitherEngine {
public:
    TDitherEngine(int Width, TColorLookup &Lookup);
    virtual ~TDitherEngine() = default;
    TDitherEngine(const TDitherEngine &) = delete;
    TDitherEngine &operator=(const TDitherEngine &) = delete;

    int Direction = 1;
    int Column = 0;
    TColorLookup *Lookup; // not owned
    int Width;

    // The palette index for the pixel at Column; R, G, B receive the colour
    // chosen. Moves Column one step in Direction.
    virtual std::uint8_t Dither(int Red, int Green, int Blue, int &R, int &G, int &B);
    // After each row: turns round for the next one.
    virtual void NextLine();
};

// Error 7/16 ahead, 3/16, 5/16, 1/16 on the row below; the error for the next
// pixel of the row is carried in a value, the row below in one array.
class TFloydSteinbergDitherer : public TDitherEngine {
public:
    TFloydSteinbergDitherer(int Width, TColorLookup &Lookup);
    std::uint8_t Dither(int Red, int Green, int Blue, int &R, int &G, int &B) override;
    void NextLine() override;

private:
    // Errors gathered for this row (read) and for the next (written), three
    // channels per column, column c at entries 3 (c + 1) .. 3 (c + 1) + 2.
    std::vector<std::int32_t> Current, Below;
    int Carried[3] = {0, 0, 0};
};

// One weight of a diffusion kernel: Row rows below, Ahead columns in the
// direction of travel (negative: behind).
struct TKernelWeight {
    int Row;
    int Ahead;
    int Weight;
};

// The engines with a kernel of several rows: one error array per channel and
// kernel row, Width + 2 x Margin entries, errors stored times Divisor.
class TKernelDitherer : public TDitherEngine {
public:
    TKernelDitherer(int Width, TColorLookup &Lookup, int Rows, int Margin, int Divisor,
                    std::vector<TKernelWeight> Kernel);
    std::uint8_t Dither(int Red, int Green, int Blue, int &R, int &G, int &B) override;
    void NextLine() override;

protected:
    int Divisor;

private:
    int Margin;
    std::vector<TKernelWeight> Kernel;
    // Errors[row * 3 + channel]; row 0 is the row being crossed.
    std::vector<std::vector<std::int32_t>> Errors;
};

// The three-row kernels of width five.
class T5by3Ditherer : public TKernelDitherer {
protected:
    T5by3Ditherer(int Width, TColorLookup &Lookup, int Divisor, std::vector<TKernelWeight> Kernel)
        : TKernelDitherer(Width, Lookup, 3, 2, Divisor, std::move(Kernel))
    {
    }
};

class TStuckiDitherer : public T5by3Ditherer {
public:
    TStuckiDitherer(int Width, TColorLookup &Lookup);
};

class TSierraDitherer : public T5by3Ditherer {
public:
    TSierraDitherer(int Width, TColorLookup &Lookup);
};

class TJaJuNiDitherer : public T5by3Ditherer {
public:
    TJaJuNiDitherer(int Width, TColorLookup &Lookup);
};

class TSteveArcheDitherer : public TKernelDitherer {
public:
    TSteveArcheDitherer(int Width, TColorLookup &Lookup);
};

class TBurkesDitherer : public TKernelDitherer {
public:
    TBurkesDitherer(int Width, TColorLookup &Lookup);
};

// The engine of DitherMode 0..6; any other mode raises "Invalid reduction method".
std::unique_ptr<TDitherEngine> MakeDitherEngine(int DitherMode, int Width, TColorLookup &Lookup);

} // namespace gif
