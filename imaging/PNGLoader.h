#pragma once
// PNG and MNG: the loader of the registry for the extensions PNG and MNG. The
// writer produces every screenshot saved in the default format: signature,
// IHDR, PLTE/gAMA/tRNS as needed, one IDAT of fixed-Huffman deflate data,
// IEND. An MNG file is the MNG signature, MHDR, the same chunk sequence, MEND.
#include "imaging/LinarBitmap.h"
#include "imaging/LinearGraphic.h"

#include <memory>

namespace imaging {

class TPNGLoader : public TBitmapLoader {
public:
    TPNGLoader() = default;
    ~TPNGLoader() override = default;

    // Reader options and what the last read found; the loader is one object
    // for the program, so these carry over from file to file.
    bool LoadAlpha = false;
    std::unique_ptr<std::uint8_t[]> SuggestedPalette; // 256 blue-green-red entries
    std::unique_ptr<TLinearBitmap> Alpha;
    std::unique_ptr<std::uint8_t[]> PaletteAlpha; // 256 entries
    double Gamma = 0.0;        // written as gAMA when not 0
    int TransparentColor = -1; // written as tRNS when it fits the image
    int BitDepth = 0;          // of the last IHDR read; 1, 2 or 4 packs palette images that fit

    // Writer options. Filter: 0..4 that filter for every row; -1 per row the
    // smallest sum of absolute signed bytes; -2 per row the most runs of five
    // equal bytes; -3 the smallest file of all the others (tried in full).
    int Filter = -1;
    // Non-zero: lossy pre-filter that evens out differences up to this many levels.
    int Tolerance = 0;

    bool CanLoad(const std::string &Ext) override;
    bool CanSave(const std::string &Ext) override;
    void GetLoadFilter(std::string &Filter) override;
    void LoadFromStream(TBaseStream &Stream, const std::string &Ext, TLinearBitmap &Bitmap) override;
    // Writes PNG, or MNG when Ext is "MNG". A seekable stream gets the file
    // directly; any other receives it after it was built in memory. Bad options
    // and unsupported pixel formats raise before anything is written.
    void SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap) override;

    const char *ClassName() const { return "TPNGLoader"; }

private:
    void SaveSeekable(TSeekableStream &Stream, bool Mng, const TLinearBitmap &Bitmap);
};

// The picture formats "PNG" and "MNG": streams hold the file format itself.
class TPNGGraphic : public TLinearGraphic {
public:
    void LoadFromStream(QIODevice &Stream) override;
    void SaveToStream(QIODevice &Stream) const override;
    const char *ClassName() const override { return "TPNGGraphic"; }
};

class TMNGGraphic : public TLinearGraphic {
public:
    void LoadFromStream(QIODevice &Stream) override;
    void SaveToStream(QIODevice &Stream) const override;
    const char *ClassName() const override { return "TMNGGraphic"; }
};

extern const char *const PNGDescription; // "Portable Network Graphics"
extern const char *const MNGDescription; // "Multiple-image Network Graphics"

// The program's one PNG loader, created and added to the registry by
// RegisterPNGLoader (start-up, after the ICO and JPEG loaders, before HIPS),
// which also registers the "PNG" and "MNG" picture formats;
// UnregisterPNGLoader takes all of it out again and frees the loader.
TPNGLoader *PNGLoader();
void RegisterPNGLoader();
void UnregisterPNGLoader();

} // namespace imaging
