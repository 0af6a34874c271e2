#pragma once
// The focus rectangle: a dotted border drawn by inverting pixels, so drawing
// the same rectangle a second time restores the image exactly.
#include "platform/core/Geometry.h"

#include <QImage>
#include <QRegion>

namespace platform {

// Inverts every other pixel of the border of `r` (Right and Bottom
// exclusive), clipped to the image. Each border pixel is touched once, also
// at the corners and for rectangles one pixel wide or high. Nothing for an
// empty rectangle.
void DrawFocusRect(QImage &img, const TRect &r);

// The pixels DrawFocusRect may change: the four edges of `r`, unclipped.
QRegion FocusRectRegion(const TRect &r);

} // namespace platform
