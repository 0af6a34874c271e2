#pragma once
// ICO and CUR: the loader of the registry for the extensions ICO and CUR.
// Loading picks one image of the file (the user chooses through the icon
// selection form unless NoDialog is set) and gives transparent pixels
// TransparentColor; saving writes one 4-, 8- or 24-bit image whose mask marks
// the pixels of TransparentColor.
#include "imaging/ICOIconList.h"
#include "imaging/LinearGraphic.h"

#include <functional>
#include <optional>

namespace imaging {

// The user cancelled the icon selection: the load ends without an image and
// without an error for the user to see (a silent abort).
class EIconSelectionAborted : public platform::EAbort {
public:
    EIconSelectionAborted() : EAbort("Icon selection cancelled") {}
    const char *ClassName() const noexcept override { return "EIconSelectionAborted"; }
};

// What the user chose in the selection form.
struct TIconChoice {
    int Index = 0;
    std::uint32_t TransparentColor = 0; // 0x00BBGGRR
};

// Shows the selection form for Icons with Color preselected and returns the
// choice, or nothing when the user cancelled.
using TIconSelectionHook = std::function<std::optional<TIconChoice>(const TIconList &Icons, std::uint32_t Color)>;

// The codec needs no Qt Widgets, so it cannot create the form itself: the
// form's unit installs this hook (the program does so at start-up). Without
// a hook, loading takes the first image as with NoDialog. Returns the
// previous hook.
TIconSelectionHook SetIconSelectionHook(TIconSelectionHook Hook);

class TICOLoader : public TBitmapLoader {
public:
    TICOLoader() = default;
    ~TICOLoader() override = default;

    // Colour (0x00BBGGRR) of transparent pixels on loading and the colour
    // that marks them on saving; the selection form may change it.
    std::uint32_t TransparentColor = 0xFF00FF;
    bool NoDialog = false;
    // Hot spot of the last cursor loaded; written into every cursor saved.
    int HotSpotX = 0;
    int HotSpotY = 0;

    bool CanLoad(const std::string &Ext) override;
    bool CanSave(const std::string &Ext) override;
    void GetLoadFilter(std::string &Filter) override;
    // A cancelled selection raises EIconSelectionAborted; Bitmap is then
    // untouched.
    void LoadFromStream(TBaseStream &Stream, const std::string &Ext, TLinearBitmap &Bitmap) override;
    // "CUR" writes a cursor, any other extension an icon. 16- and 32-bit
    // bitmaps are converted first (to 8-bit grey and 24-bit).
    void SaveToStream(TBaseStream &Stream, const std::string &Ext, const TLinearBitmap &Bitmap) override;

    const char *ClassName() const { return "TICOLoader"; }
};

// The picture format "CUR" ("Windows cursors"): streams hold a cursor or icon
// file; loading takes its first readable image without asking, as a picture
// has nobody to ask.
class TIconGraphic : public TLinearGraphic {
public:
    void LoadFromStream(QIODevice &Stream) override;
    void SaveToStream(QIODevice &Stream) const override;
    // Files hold the same: not the registry, which would ask the user.
    void LoadFromFile(const std::string &FileName) override { TGraphic::LoadFromFile(FileName); }
    void SaveToFile(const std::string &FileName) const override { TGraphic::SaveToFile(FileName); }
    const char *ClassName() const override { return "TIconGraphic"; }
};

// The program's one ICO loader, created and added to the registry by
// RegisterICOLoader (start-up, after the image plug-ins, before JPEG), which
// also registers the "CUR" picture format and, when given, the selection
// form's hook; UnregisterICOLoader takes it out again and frees it.
TICOLoader *ICOLoader();
void RegisterICOLoader(TIconSelectionHook Hook = {});
void UnregisterICOLoader();

} // namespace imaging
