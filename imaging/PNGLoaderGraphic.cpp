// The PNG and MNG picture classes: a linear graphic whose streams carry the
// file format, through the host stream adapter.
#include "imaging/HostStream.h"
#include "imaging/PNGLoader.h"

namespace imaging {

namespace {
void Load(TLinearBitmap &image, QIODevice &stream, const char *ext)
{
    THostFilterStream adapter(stream);
    image.LoadFromStream(adapter, ext);
}
void Save(const TLinearBitmap &image, QIODevice &stream, const char *ext)
{
    THostFilterStream adapter(stream);
    image.SaveToStream(adapter, ext);
}
} // namespace

void TPNGGraphic::LoadFromStream(QIODevice &Stream) { Load(Image, Stream, "PNG"); }
void TPNGGraphic::SaveToStream(QIODevice &Stream) const { Save(Image, Stream, "PNG"); }
void TMNGGraphic::LoadFromStream(QIODevice &Stream) { Load(Image, Stream, "MNG"); }
void TMNGGraphic::SaveToStream(QIODevice &Stream) const { Save(Image, Stream, "MNG"); }

} // namespace imaging
