// The reading half of the PNG/MNG loader belongs to its own unit of work; until
// it lands, loading says plainly that it cannot.
#include "imaging/PNGLoader.h"

namespace imaging {

void TPNGLoader::LoadFromStream(TBaseStream & /*Stream*/, const std::string &Ext, TLinearBitmap & /*Bitmap*/)
{
    throw EUnsupportedFileFormat("Unsupported file format: " + Ext);
}

} // namespace imaging
