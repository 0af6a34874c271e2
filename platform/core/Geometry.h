#pragma once
// Points and rectangles in screen pixels, origin top left. A rectangle's
// Right and Bottom are exclusive, so its width is Right - Left.
namespace platform {

struct TPoint {
    int X = 0, Y = 0;
    bool operator==(const TPoint &) const = default;
};

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TRect &) const = default;
};

} // namespace platform
