#pragma once
// PCX pictures: 8 bits per pixel with one plane and a 256-colour palette at
// the end of the file, or 24-bit colour as three 8-bit planes per scan line,
// run-length coded.
#include "imaging/LinarBitmap.h"
#include "imaging/LinearGraphic.h"

namespace imaging {

class TPCXLoader : public TBitmapLoader {
public:
    // Exactly "PCX".
    bool CanLoad(const std::string &Ext) override;
    bool CanSave(const std::string &Ext) override;
    void GetLoadFilter(std::string &Filter) override;
    // A wrong header raises "Unsupported file format", data that would run
    // past the picture "Error in bitmap data" (both ELinearBitmap); data that
    // ends early raises the stream's error. A missing palette leaves the grey
    // ramp.
    void LoadFromStream(TBaseStream &Stream, const std::string &Ext, TLinearBitmap &Bitmap) override;
    // 8-bit bitmaps as one plane with their palette; every other format as
    // 24-bit colour (converted first). A size the header cannot hold raises
    // "Invalid bitmap size" before anything is written.
    void SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap) override;
    const char *ClassName() const { return "TPCXLoader"; }
};

// The picture format "PCX": streams hold the file format itself.
class TPCXGraphic : public TLinearGraphic {
public:
    void LoadFromStream(QIODevice &Stream) override;
    void SaveToStream(QIODevice &Stream) const override;
    const char *ClassName() const override { return "TPCXGraphic"; }
};

extern const char *const PCXDescription; // "Zsoft Paintbrush"

// The program's one PCX loader: RegisterPCXLoader creates it, adds it to the
// registry (after the BMP loader) and registers the "PCX" picture format;
// UnregisterPCXLoader takes both out again and frees the loader.
TPCXLoader *PCXLoader();
void RegisterPCXLoader();
void UnregisterPCXLoader();

} // namespace imaging
