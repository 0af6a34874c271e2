#pragma once
// Conversions between the image record of the plug-in interface and the
// linear bitmap, and the plug-ins' result codes as exceptions.
#include "imaging/LinarBitmap.h"
#include "imaging/imageplugin.h"

namespace imaging {

// Fills Bitmap from a record a plug-in filled. A null pixel block raises
// "Error in bitmap data"; the format code decides the bitmap's format (see
// imageplugin.h); codes it does not know raise "Unsupported pixel format",
// a record without planes "Unsupported bitmap format".
void ContainerToBitmap(TLinearBitmap &Bitmap, const TImageContainer &Container);
// Describes Bitmap (8- or 24-bit) in Container without copying its pixels.
void BitmapToContainer(const TLinearBitmap &Bitmap, TImageContainer &Container);
// Nothing for 0; raises Exception with the code's fixed text, or with Text
// formatted with the code ("%d"), "Process failed: %d" when Text is empty.
void CheckPluginResult(int Code, const std::string &Text);

} // namespace imaging
