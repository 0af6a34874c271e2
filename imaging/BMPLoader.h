#pragma once
// Windows bitmap (BMP) files: the registry's loader for the extension BMP and
// the picture class registered for "bmp".
//
// Reading goes the platform bitmap's way: Qt's BMP reader first, the
// library's own reader (BMPReader.h) where Qt fails or the file holds 32 bits
// per pixel. Every header is checked by the own parser before either reader
// sees the data. Files of 1, 4 and 8 bits arrive as 8-bit images with their
// colour table, all others as 24-bit; what only the own reader could read
// arrives as 24-bit too, as it does when drawn onto a platform bitmap.
// Uncompressed 24-bit files, which give the same pixels either way, are read
// by the own reader straight into the bitmap.
//
// Writing produces what the platform bitmap writes for the pixel format the
// linear bitmap assigns to it: a 14-byte file header, a 40-byte information
// header and bottom-up rows padded to 4 bytes, no compression; 8-bit images
// (and 16-bit grey ones, as their high bytes) with a 256-entry colour table,
// 24-bit as 24-bit, 32-bit as 32-bit with the fourth byte as held.
#include "imaging/BMPReader.h"
#include "platform/gui/Graphic.h"

#include <QImage>

namespace imaging {

extern const char *const BMPDescription; // "Windows bitmap"

class TBMPLoader : public TBitmapLoader {
public:
    // True for the extension "BMP" alone.
    bool CanLoad(const std::string &Ext) override;
    bool CanSave(const std::string &Ext) override;
    // "Windows bitmap (*.bmp)|*.bmp"; the save filter is the same.
    void GetLoadFilter(std::string &Filter) override;
    // Streams that cannot seek are read into memory first. Raises Exception
    // "Unsupported file format" for data that neither reader takes.
    void LoadFromStream(TBaseStream &Stream, const std::string &Ext, TLinearBitmap &Bitmap) override;
    // An empty bitmap writes nothing; other pixel formats raise
    // ELinearBitmap "Unsupported pixel format" before anything is written.
    void SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap) override;
    const char *ClassName() const { return "TBMPLoader"; }
};

// The loader's two halves, for the picture class and for tests.
void LoadBMP(TSeekableStream &Stream, TLinearBitmap &Bitmap);
void WriteBMP(TBaseStream &Stream, const TLinearBitmap &Bitmap);

// A bitmap as a picture whose stream loading takes the loader's road. Its
// image holds the platform bitmap's formats: Indexed8, BGR888 or RGB32.
class TFallbackBitmap : public platform::TGraphic {
public:
    QImage Bitmap;

    const char *ClassName() const override { return "TFallbackBitmap"; }
    void AssignTo(QImage &Dest) const override { Dest = Bitmap; }
    void Draw(QPainter &Canvas, const QRect &Rect) const override;
    bool Empty() const override { return Bitmap.isNull(); }
    int Width() const override { return Bitmap.width(); }
    int Height() const override { return Bitmap.height(); }
    // Keeps the top-left pixels; new ones are black, a size below 1 empties.
    void SetWidth(int Value) override { Resize(Value, Height()); }
    void SetHeight(int Value) override { Resize(Width(), Value); }
    void LoadFromStream(QIODevice &Stream) override;
    void SaveToStream(QIODevice &Stream) const override;

private:
    void Resize(int W, int H);
};

// The program's one BMP loader: RegisterBMPLoader adds it to the registry (at
// start-up, after the HIPS loader and before PCX) and registers the "bmp"
// picture format; UnregisterBMPLoader takes both out and frees the loader.
TBMPLoader *BMPLoader();
void RegisterBMPLoader();
void UnregisterBMPLoader();

} // namespace imaging
