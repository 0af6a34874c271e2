#pragma once
// Windows metafiles (WMF) and enhanced metafiles (EMF): loading plays the
// metafile at its own size into a 24-bit picture, made 8-bit with an exact
// palette when it holds 256 colours or fewer; saving records the picture as
// one stretched bitmap in a new metafile.
#include "imaging/LinarBitmap.h"

namespace imaging {

class TWMFLoader : public TBitmapLoader {
public:
    bool CanLoad(const std::string &Ext) override;
    bool CanSave(const std::string &Ext) override;
    void GetLoadFilter(std::string &Filter) override;
    void GetSaveFilter(std::string &Filter) override;
    void LoadFromStream(TBaseStream &Stream, const std::string &Ext, TLinearBitmap &Bitmap) override;
    // EMF when the extension starts with "E" (either case), else WMF.
    void SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap) override;
};

// The largest metafile read into memory for playing.
inline constexpr std::int64_t kMaxMetafileBytes = std::int64_t(256) << 20;

// A 24-bit picture of at most 256 colours becomes 8-bit: the palette lists
// the colours in the order they first occur (top row first), the rest black.
void ReduceToPalette(TLinearBitmap &Bitmap);

// Start-up: the loader, last of the built-in ones.
void RegisterWMFLoader();
void UnregisterWMFLoader();

} // namespace imaging
