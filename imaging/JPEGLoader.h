#pragma once
// JPEG: the loader of the registry for the extensions JPG, JPEG and JPE. All
// coding is libjpeg's; this unit feeds it the library's streams and the
// bitmap's rows directly, and turns its errors into exceptions.
//
// Loading gives an 8-bit grey bitmap (grey ramp palette) for a one-component
// file and a 24-bit bitmap otherwise, optionally decoded at 1/2, 1/4 or 1/8
// scale. A file whose picture data is damaged or cut loads with the damaged
// area filled, as libjpeg decodes it; each kind of libjpeg warning goes to the
// library trace once per picture. Errors still raise, as do pictures above
// 2^28 pixels, progressive files of more than kMaxJPEGScans scans and codec
// buffers above 1 GiB; CMYK and YCCK files raise "Unsupported color
// conversion request".
#include "imaging/LinarBitmap.h"

#include <climits>
#include <cstdint>
#include <functional>

namespace imaging {

// libjpeg's errors: "JPEG error #<message number>: <libjpeg's text>".
using platform::EInvalidGraphic;
KSS_DECLARE_EXCEPTION(EJPEG, EInvalidGraphic)

class TJPEGLoader : public TBitmapLoader {
public:
    TJPEGLoader() = default;
    ~TJPEGLoader() override = default;

    // Encoding quality 1..100 (above 100 counts as 100); below 1 means 90.
    int Quality = 0;
    // Wanted file size in bytes; 0 or less: no target, one encoding at Quality.
    int TargetSize = 0;
    // A load steps down to 1/2, 1/4, 1/8 scale while half of both sides
    // stays at or above these.
    int MinWidth = INT_MAX;
    int MinHeight = INT_MAX;
    struct TPoint {
        int x = 0, y = 0;
        bool operator==(const TPoint &) const = default;
    };
    TPoint FullSize; // of the last image loaded, before any reduction

    bool CanLoad(const std::string &Ext) override;
    bool CanSave(const std::string &Ext) override;
    void GetLoadFilter(std::string &Filter) override;
    void GetSaveFilter(std::string &Filter) override;
    void LoadFromStream(TBaseStream &Stream, const std::string &Ext, TLinearBitmap &Bitmap) override;
    // 8-bit bitmaps go through their palette (a grey ramp gives a one-component
    // file, as does any grey 24-bit or 16-bit bitmap); 16- and 32-bit bitmaps
    // are saved as their 24-bit (or grey) pixels. With a TargetSize the
    // highest quality up to Quality whose file fits is searched in memory and
    // only that encoding is written.
    void SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap) override;

    const char *ClassName() const { return "TJPEGLoader"; }
};

extern const char *const JPEGDescription; // "Joint Picture Expert Group"

// Most scans a progressive file may have: a hostile file of many scans would
// otherwise keep the decoder busy for minutes.
inline constexpr int kMaxJPEGScans = 100;

// The quality search of a target-size save: Encode(q) encodes at quality q
// and returns the size; the search bisects below Quality (1..100) and ends
// with the trial whose encoding is to be written (the last one made).
// Returns the number of trials.
int SearchJPEGQuality(int Quality, int TargetSize, const std::function<int(int Quality)> &Encode);

// The program's one JPEG loader, created and added to the registry by
// RegisterJPEGLoader (start-up, after the plug-in and ICO loaders, before
// PNG); UnregisterJPEGLoader takes it out again and frees it.
TJPEGLoader *JPEGLoader();
void RegisterJPEGLoader();
void UnregisterJPEGLoader();

} // namespace imaging
