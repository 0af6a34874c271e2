#pragma once
// Records a picture as a metafile holding one stretched device-independent
// bitmap of the picture's size; an 8-bit picture carries its palette.
#include "imaging/LinarBitmap.h"

#include <string>

namespace imaging {

// A Windows metafile with the placeable header (96 units per inch). Its
// coordinates are 16-bit: a side above 32767 pixels raises ELinearBitmap.
std::string WriteWMF(const TLinearBitmap &Bitmap);
// An enhanced metafile whose frame is the picture at 96 pixels per inch.
std::string WriteEMF(const TLinearBitmap &Bitmap);

} // namespace imaging
