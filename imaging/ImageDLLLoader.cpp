#include "imaging/ImageDLLLoader.h"

#include "imaging/FileUtils.h"
#include "imaging/LibraryTrace.h"
#include "imaging/LinearGraphic.h"
#include "imaging/PluginLinearBitmap.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging {

namespace {


bool IsExtChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// The file names of a folder that end in ".so", in name order (the order in
// which the folder lists them is arbitrary).
std::vector<std::string> SharedObjects(const std::string &Folder)
{
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(Folder.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent *e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every extension of a filter is registered as a picture format once.
void RegisterExtensions(const std::string &Filter)
{
    const std::string text = UpperCase(Filter) + "|";
    std::set<std::string> seen;
    for (std::size_t at = text.find("*."); at != std::string::npos; at = text.find("*.", at + 2)) {
        std::size_t end = at + 2;
        while (end < text.size() && IsExtChar(text[end]))
            ++end;
        const std::string ext = text.substr(at + 2, end - at - 2);
        // A mask such as *.* names no extension; a repeated mask counts once.
        // Whole masks are compared: *.TIF after *.TIFF is one of its own.
        if (ext.empty() || !seen.insert(ext).second)
            continue;
        platform::RegisterFileFormat<TLinearGraphic>(ext, ext);
    }
}

void JoinFilter(std::string &Filter, const std::string &Part)
{
    if (Part.empty())
        return;
    if (!Filter.empty() && Filter.back() != '|')
        Filter += '|';
    Filter += Part;
}

// The extension in a buffer of the interface's size, cut at its limit.
struct TExtBuffer {
    explicit TExtBuffer(const std::string &Ext)
    {
        const std::size_t n = std::min<std::size_t>(Ext.size(), KSS_PLUGIN_MAX_EXT);
        std::memcpy(Text, Ext.data(), n);
        Text[n] = 0;
    }
    char Text[KSS_PLUGIN_MAX_EXT + 1] = {};
};

TLoaderSlot<TImageDLLLoader> &Slot()
{
    static TLoaderSlot<TImageDLLLoader> slot;
    return slot;
}

} // namespace

TImageDLLLoader::~TImageDLLLoader()
{
    for (const auto &p : Plugins_)
        ::dlclose(p.Module);
}

bool TImageDLLLoader::AddPlugins(const std::string &FolderName, const TCallback &Callback)
{
    const std::string folder = AddBackslash(FolderName);
    bool kept = false;
    for (const std::string &name : SharedObjects(folder)) {
        const std::string path = folder + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (Callback)
            Callback(name);
        // Anyone who may write the file could plant code in the program.
        if (st.st_mode & (S_IWGRP | S_IWOTH)) {
            TraceLine("Image plug-in skipped, writable by others: " + path);
            continue;
        }
        void *module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char *why = ::dlerror();
            TraceLine("Image plug-in not loaded: " + path + (why ? std::string(" - ") + why : std::string()));
            continue;
        }
        TImageDLLInfo info;
        info.Module = module;
        info.LoadImage = reinterpret_cast<TLibLoadImage>(::dlsym(module, KSS_PLUGIN_LOAD_IMAGE));
        info.SaveImage = reinterpret_cast<TLibSaveImage>(::dlsym(module, KSS_PLUGIN_SAVE_IMAGE));
        info.FreeImage = reinterpret_cast<TLibFreeImage>(::dlsym(module, KSS_PLUGIN_FREE_IMAGE));
        if (!(info.LoadImage || info.SaveImage) || !info.FreeImage) {
            ::dlclose(module);
            continue;
        }
        if (auto get = reinterpret_cast<TLibGetFilter>(::dlsym(module, KSS_PLUGIN_GET_LOAD_FILTER))) {
            if (const char *text = get())
                info.LoadFilter = text;
            RegisterExtensions(info.LoadFilter);
        }
        if (auto get = reinterpret_cast<TLibGetFilter>(::dlsym(module, KSS_PLUGIN_GET_SAVE_FILTER)))
            if (const char *text = get())
                info.SaveFilter = text;
        Plugins_.push_back(std::move(info));
        kept = true;
    }
    return kept;
}

void TImageDLLLoader::GetLoadFilter(std::string &Filter)
{
    Filter.clear();
    for (const auto &p : Plugins_)
        if (p.LoadImage)
            JoinFilter(Filter, p.LoadFilter);
}

void TImageDLLLoader::GetSaveFilter(std::string &Filter)
{
    Filter.clear();
    for (const auto &p : Plugins_)
        if (p.SaveImage)
            JoinFilter(Filter, p.SaveFilter);
}

void TImageDLLLoader::LoadFromFile(const std::string &FileName, const std::string &Ext, TLinearBitmap &Bitmap)
{
    const auto it = std::find_if(Plugins_.begin(), Plugins_.end(), [&](const TImageDLLInfo &p) {
        return p.LoadImage && FilterHas(p.LoadFilter, Ext);
    });
    if (it == Plugins_.end())
        throw ELinearBitmap("Unsupported file format");
    TExtBuffer ext(Ext);
    TImageContainer container{};
    const int result = it->LoadImage(FileName.c_str(), ext.Text, &container);
    if (result != KSS_PLUGIN_OK)
        CheckPluginResult(result, "Error in bitmap data: %d");
    // What the plug-in allocated goes back to it whatever happens here.
    struct FreeOnExit {
        TLibFreeImage Free;
        TImageContainer *Image;
        ~FreeOnExit() { Free(Image); }
    } release{it->FreeImage, &container};
    ContainerToBitmap(Bitmap, container);
    const int planes = container.PixelFormat & 15;
    if ((container.PixelFormat & 240) == KSS_PLUGIN_PLANAR && planes > 3)
        throw ELinearBitmap("The image contains " + std::to_string(planes) + " color planes, only 3 were loaded");
}

void TImageDLLLoader::SaveToFile(const std::string &FileName, const std::string &Ext, const TLinearBitmap &Bitmap)
{
    const auto it = std::find_if(Plugins_.begin(), Plugins_.end(), [&](const TImageDLLInfo &p) {
        return p.SaveImage && FilterHas(p.SaveFilter, Ext);
    });
    if (it == Plugins_.end())
        throw ELinearBitmap("Unsupported file format");
    TImageContainer container{};
    BitmapToContainer(Bitmap, container);
    TExtBuffer ext(Ext);
    struct stat st {};
    const bool existed = ::lstat(FileName.c_str(), &st) == 0;
    const int result = it->SaveImage(FileName.c_str(), ext.Text, &container);
    if (result != KSS_PLUGIN_OK) {
        // A failed save leaves no half-written file behind (one that was
        // there before is the caller's).
        if (!existed)
            ::unlink(FileName.c_str());
        CheckPluginResult(result, "Error writing image file: %d");
    }
}

TImageDLLLoader *DLLLoader()
{
    return Slot().Get();
}

void RegisterDLLLoader()
{
    Slot().Register();
}

void UnregisterDLLLoader()
{
    if (Slot().Unregister())
        platform::UnregisterGraphicClass("TLinearGraphic");
}

} // namespace imaging
