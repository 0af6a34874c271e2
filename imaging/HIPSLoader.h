#pragma once
// HIPS pictures (a scientific format: a text header of one value per line,
// then binary pixels) load into 8-bit grey or 24-bit bitmaps; there is no
// HIPS writer.
#include "imaging/LinearGraphic.h"

namespace imaging {

class THIPSLoader : public TBitmapLoader {
public:
    bool CanLoad(const std::string &Ext) override;
    bool CanSave(const std::string &Ext) override;
    void GetLoadFilter(std::string &Filter) override;
    void GetSaveFilter(std::string &Filter) override;
    // Several byte planes: with a progress callback assigned the user picks
    // one (cancelling aborts silently), otherwise the first is loaded.
    void LoadFromStream(TBaseStream &Stream, const std::string &Ext, TLinearBitmap &Bitmap) override;
};

class THIPSGraphic : public TLinearGraphic {
public:
    void LoadFromStream(QIODevice &Stream) override;
    const char *ClassName() const override { return "THIPSGraphic"; }
};

extern const char *const HIPSDescription; // "HIPS image"

// Start-up: the loader (5th in the registry) and the "HIP" and "HIPS"
// picture formats; Unregister takes them out again.
void RegisterHIPSLoader();
void UnregisterHIPSLoader();

} // namespace imaging
