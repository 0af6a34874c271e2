#pragma once
// A linear bitmap as a picture of the platform layer: the class under which
// image-library extensions are registered as picture formats, and the base
// of the format pictures (PNG, MNG, HIPS, PCX).
#include "imaging/LinarBitmap.h"
#include "platform/gui/Graphic.h"

namespace imaging {

class TLinearGraphic : public platform::TGraphic {
public:
    TLinearGraphic() = default;

    TLinearBitmap Image;

    const char *ClassName() const override { return "TLinearGraphic"; }

    // From another linear graphic: its image, palette included; from any
    // other graphic: its pixels.
    void Assign(const platform::TGraphic &Source) override;
    void AssignTo(platform::TGraphic &Dest) const override;
    void AssignTo(QImage &Dest) const override { Image.AssignTo(Dest); }
    // Stretches without smoothing.
    void Draw(QPainter &Canvas, const QRect &Rect) const override;
    bool Empty() const override { return !Image.Present; }
    int Width() const override { return Image.Width; }
    int Height() const override { return Image.Height; }
    // Change the canvas size; on an empty image the other side is 0, so the
    // image stays empty.
    void SetWidth(int Value) override { Image.Resize(Value, Image.Height, 0, 0, 0); }
    void SetHeight(int Value) override { Image.Resize(Image.Width, Value, 0, 0, 0); }
    // The format follows the file's extension.
    void LoadFromFile(const std::string &FileName) override { Image.LoadFromFile(FileName); }
    void SaveToFile(const std::string &FileName) const override { Image.SaveToFile(FileName); }
    // Streams hold Windows bitmap (BMP) data, whatever the file format was.
    void LoadFromStream(QIODevice &Stream) override;
    void SaveToStream(QIODevice &Stream) const override;
    void LoadFromClipboardFormat(const QMimeData &Data) override;
    void SaveToClipboardFormat(QMimeData &Data) const override;
};

} // namespace imaging
