// The "bmp" picture class: a platform bitmap whose streams hold BMP data read
// and written by the loader's routines, through the host stream adapter.
#include "imaging/BMPLoader.h"
#include "imaging/HostStream.h"

#include <QPainter>

namespace imaging {

void TFallbackBitmap::Draw(QPainter &Canvas, const QRect &Rect) const
{
    if (!Bitmap.isNull())
        Canvas.drawImage(Rect, Bitmap);
}

void TFallbackBitmap::Resize(int W, int H)
{
    if (W < 1 || H < 1 || std::int64_t(W) * H > kMaxBitmapPixels) {
        Bitmap = QImage();
        return;
    }
    const bool fresh = Bitmap.isNull();
    Bitmap = fresh ? QImage(W, H, QImage::Format_BGR888) : Bitmap.copy(0, 0, W, H);
    if (Bitmap.isNull())
        throw platform::EOutOfResources("Not enough memory for the bitmap");
    if (fresh)
        Bitmap.fill(0);
}

void TFallbackBitmap::LoadFromStream(QIODevice &Stream)
{
    THostFilterStream adapter(Stream);
    TLinearBitmap image;
    LoadBMP(adapter, image);
    QImage pixels;
    image.AssignTo(pixels);
    Bitmap = std::move(pixels);
}

void TFallbackBitmap::SaveToStream(QIODevice &Stream) const
{
    if (Bitmap.isNull())
        return;
    TLinearBitmap image;
    image.Assign(Bitmap);
    THostFilterStream adapter(Stream);
    WriteBMP(adapter, image);
}

} // namespace imaging
