#include "imaging/LinearGraphic.h"

#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QPainter>

#include <cstdint>

namespace imaging {

void TLinearGraphic::Assign(const platform::TGraphic &Source)
{
    if (auto *linear = dynamic_cast<const TLinearGraphic *>(&Source)) {
        Image.Assign(linear->Image);
        return;
    }
    Image.AssignGraphic(Source);
}

void TLinearGraphic::AssignTo(platform::TGraphic &Dest) const
{
    if (auto *linear = dynamic_cast<TLinearGraphic *>(&Dest)) {
        Image.AssignTo(linear->Image);
        return;
    }
    platform::TGraphic::AssignTo(Dest);
}

void TLinearGraphic::Draw(QPainter &Canvas, const QRect &Rect) const { Image.Paint(Canvas, Rect, false); }

namespace {

// The bits per pixel that the BMP data at the device's position declares, or
// 0 when its header cannot be seen.
int BmpBitCount(QIODevice &stream)
{
    const QByteArray h = stream.peek(30);
    auto u16 = [&](int at) {
        return static_cast<int>(static_cast<std::uint8_t>(h[at]) | static_cast<std::uint8_t>(h[at + 1]) << 8);
    };
    if (h.size() < 26 || h[0] != 'B' || h[1] != 'M')
        return 0;
    const int headerSize = u16(14) | u16(16) << 16;
    if (headerSize == 12) // the old core header: 16-bit width and height
        return u16(24);
    return h.size() >= 30 ? u16(28) : 0;
}

} // namespace

void TLinearGraphic::LoadFromStream(QIODevice &Stream)
{
    const int bitCount = BmpBitCount(Stream);
    QImageReader reader(&Stream, "BMP");
    reader.setAllocationLimit(1024); // MiB; the bitmap refuses more than 2^28 pixels anyway
    QImage image;
    if (!reader.read(&image))
        throw platform::EInvalidGraphic("Bitmap image is not valid");
    // The data's own depth decides, as for the class library's bitmap: 8-bit
    // stays indexed and 32-bit stays 32-bit, every other depth arrives as
    // 24-bit (Qt widens 24-bit data to 32 bits).
    if (bitCount != 0 && bitCount != 8 && bitCount != 32) {
        image = image.convertToFormat(QImage::Format_BGR888);
        if (image.isNull())
            throw platform::EOutOfResources("Not enough memory for the bitmap");
    }
    Image.Assign(image);
}

void TLinearGraphic::SaveToStream(QIODevice &Stream) const
{
    if (!Image.Present)
        return;
    QImage image;
    Image.AssignTo(image);
    QImageWriter writer(&Stream, "BMP");
    if (!writer.write(image))
        throw platform::EStreamError("Stream write error");
}

void TLinearGraphic::LoadFromClipboardFormat(const QMimeData &Data)
{
    if (!Data.hasImage())
        throw platform::EInvalidGraphic("Unsupported clipboard format");
    // Clipboard pixels are in the display's format, which a bitmap takes as
    // 24-bit on a true-colour display (Qt hands them over as 32-bit).
    const QImage image = qvariant_cast<QImage>(Data.imageData());
    if (image.isNull()) {
        Image.Clear();
        return;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_BGR888);
    if (rgb.isNull())
        throw platform::EOutOfResources("Not enough memory for the bitmap");
    Image.Assign(rgb);
}

void TLinearGraphic::SaveToClipboardFormat(QMimeData &Data) const
{
    QImage image;
    Image.AssignTo(image);
    Data.setImageData(image);
}

// Lives here because it needs the platform's graphic classes.
void TLinearBitmap::AssignGraphic(const platform::TGraphic &Graphic)
{
    if (auto *linear = dynamic_cast<const TLinearGraphic *>(&Graphic)) {
        Assign(linear->Image);
        return;
    }
    QImage image;
    try {
        Graphic.AssignTo(image);
    } catch (const std::exception &) {
        // Drawing it onto a canvas of its size is the way that always works.
        image = QImage();
        const int w = Graphic.Width(), h = Graphic.Height();
        if (w > 0 && h > 0 && std::int64_t(w) * h <= kMaxBitmapPixels) {
            QImage canvas(w, h, QImage::Format_RGB32);
            if (!canvas.isNull()) {
                canvas.fill(Qt::black);
                {
                    QPainter painter(&canvas);
                    Graphic.Draw(painter, canvas.rect());
                }
                image = canvas.convertToFormat(QImage::Format_BGR888);
            }
        }
    }
    AssignFromBitmap(image);
}

void TLinearBitmap::Assign(const platform::TPicture &Source)
{
    QImage image;
    if (const platform::TGraphic *graphic = Source.Graphic.get()) {
        if (auto *linear = dynamic_cast<const TLinearGraphic *>(graphic))
            linear->Image.AssignTo(image);
        else
            graphic->AssignTo(image);
    }
    const QImage::Format f = image.format();
    if (!image.isNull() && f != QImage::Format_Indexed8 && f != QImage::Format_Grayscale8 && f != QImage::Format_BGR888) {
        image = image.convertToFormat(QImage::Format_BGR888);
        if (image.isNull())
            throw platform::EOutOfResources("Not enough memory for a " + std::to_string(Source.Width()) + " x " +
                                            std::to_string(Source.Height()) + " image");
    }
    AssignFromBitmap(image);
}

} // namespace imaging
