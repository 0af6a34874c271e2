// The PCX picture class: a linear graphic whose streams carry the file format,
// through the host stream adapter.
#include "imaging/HostStream.h"
#include "imaging/PCXLoader.h"

namespace imaging {

void TPCXGraphic::LoadFromStream(QIODevice &Stream)
{
    THostFilterStream adapter(Stream);
    Image.LoadFromStream(adapter, "PCX");
}

void TPCXGraphic::SaveToStream(QIODevice &Stream) const
{
    THostFilterStream adapter(Stream);
    Image.SaveToStream(adapter, "PCX");
}

} // namespace imaging
