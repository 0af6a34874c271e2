#pragma once
// The loader that serves the formats of image plug-in libraries: shared
// libraries in a folder (the program's own) that export the functions of
// imageplugin.h. It is registered before every built-in loader, so a plug-in
// takes precedence for an extension it lists.
#include "imaging/LinarBitmap.h"
#include "imaging/imageplugin.h"

#include <functional>
#include <string>
#include <vector>

namespace imaging {

class TImageDLLLoader : public TBitmapLoader {
public:
    using TCallback = std::function<void(const std::string &FileName)>;

    // One kept library.
    struct TImageDLLInfo {
        void *Module = nullptr;
        std::string LoadFilter;
        std::string SaveFilter;
        TLibLoadImage LoadImage = nullptr;
        TLibSaveImage SaveImage = nullptr;
        TLibFreeImage FreeImage = nullptr;
    };

    TImageDLLLoader() = default;
    ~TImageDLLLoader() override;

    // Loads every "*.so" regular file of Folder (in name order) that exports a
    // load or save function and the free function; the others are released.
    // Callback, when given, hears each file name first. True when at least
    // one library was kept by this call. Why a file was passed over goes to
    // the library's trace.
    bool AddPlugins(const std::string &Folder, const TCallback &Callback = nullptr);

    void GetLoadFilter(std::string &Filter) override;
    void GetSaveFilter(std::string &Filter) override;
    void LoadFromFile(const std::string &FileName, const std::string &Ext, TLinearBitmap &Bitmap) override;
    void SaveToFile(const std::string &FileName, const std::string &Ext, const TLinearBitmap &Bitmap) override;

    const std::vector<TImageDLLInfo> &Plugins() const { return Plugins_; }

private:
    std::vector<TImageDLLInfo> Plugins_;
};

// The program's one plug-in loader, created and registered (first of all
// loaders) by RegisterDLLLoader; UnregisterDLLLoader takes it out and
// releases its libraries.
TImageDLLLoader *DLLLoader();
void RegisterDLLLoader();
void UnregisterDLLLoader();

} // namespace imaging
