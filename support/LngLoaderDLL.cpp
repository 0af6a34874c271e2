#include "support/LngLoaderDLL.h"

#include "platform/core/ProgramPath.h"
#include "support/TextRoutines.h"

#include <dlfcn.h>
#include <unistd.h>
#include <vector>

namespace support {

TLngLoaderFunctions LngLoader{};

namespace {

void *g_module = nullptr;
std::string g_folder;

template <class F> void Bind(void *module, const char *name, F &entry)
{
    entry = reinterpret_cast<F>(::dlsym(module, name));
}

// Frees the library at process end.
struct TUnitEnd {
    ~TUnitEnd() { FreeLngLoader(g_module); }
} g_unitEnd;

std::string LastDlError(const char *fallback)
{
    const char *e = ::dlerror();
    return e ? e : fallback;
}

} // namespace

void *&LngLoaderModule()
{
    return g_module;
}

void SetLngLoaderFolder(std::string folder)
{
    g_folder = std::move(folder);
}

void BindLngLoader(void *module, TLngLoaderFunctions &t)
{
    t = {};
#define KSS_BIND(name) Bind(module, #name, t.name)
    KSS_BIND(LLDRClose);
    KSS_BIND(LLDRGetFileHeader);
    KSS_BIND(LLDRGetString);
    KSS_BIND(LLDROpen);
    KSS_BIND(LLDRVersionGet);
    KSS_BIND(LLDRVersionSet);
    KSS_BIND(LLDRHeaderGet);
    KSS_BIND(LLDRHeaderSet);
    KSS_BIND(LLDRSave);
    KSS_BIND(LLDRSectionAdd);
    KSS_BIND(LLDRSectionDelete);
    KSS_BIND(LLDRSectionGet);
    KSS_BIND(LLDRSectionGetEx);
    KSS_BIND(LLDRSectionGetByIndex);
    KSS_BIND(LLDRSectionSet);
    KSS_BIND(LLDRStringAdd);
    KSS_BIND(LLDRStringDelete);
    KSS_BIND(LLDRStringGet);
    KSS_BIND(LLDRStringGetByIndex);
    KSS_BIND(LLDRStringSet);
    KSS_BIND(TBITSGet);
#undef KSS_BIND
}

bool LoadLngLoader(std::string &errorText)
{
    errorText.clear();
    try {
        // A library in the program's folder wins, and then it is the one
        // that is used or reported; else the normal search.
        std::string folder = g_folder.empty() ? platform::ProgramFolder() : g_folder;
        if (!folder.empty() && folder.back() != '/')
            folder += '/';
        const std::string local = folder + LngLoaderLibraryName;
        const std::string path = ::access(local.c_str(), F_OK) == 0 ? local : LngLoaderLibraryName;
        void *module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module)
            throw EOSError(LastDlError("cannot be loaded"));
        FreeLngLoader(g_module); // a reload replaces, never leaks, the old one
        BindLngLoader(module, LngLoader);
        // A library without a function this program calls would crash the
        // first call: refuse it whole.
        const std::pair<const char *, bool> called[] = {
            {"LLDRVersionGet", LngLoader.LLDRVersionGet != nullptr},
            {"LLDROpen", LngLoader.LLDROpen != nullptr},
            {"LLDRHeaderGet", LngLoader.LLDRHeaderGet != nullptr},
            {"LLDRSectionGet", LngLoader.LLDRSectionGet != nullptr},
            {"LLDRStringGet", LngLoader.LLDRStringGet != nullptr},
            {"LLDRClose", LngLoader.LLDRClose != nullptr},
        };
        std::string missing;
        for (const auto &[name, bound] : called)
            if (!bound)
                missing = JoinNonBlank(missing, name, ", ");
        if (!missing.empty()) {
            LngLoader = {};
            ::dlclose(module);
            throw EOSError(path + ": undefined symbol: " + missing);
        }
        g_module = module;
    } catch (const platform::Exception &e) {
        errorText = JoinNonBlank(LngLoaderLibraryName, JoinNonBlank(e.ClassName(), e.Message(), " - "), CRLF);
    } catch (const std::exception &e) {
        errorText = JoinNonBlank(LngLoaderLibraryName, JoinNonBlank("Exception", e.what(), " - "), CRLF);
    }
    return IsBlank(errorText);
}

bool LoadLngLoaderOnce(std::string &errorText)
{
    errorText.clear();
    if (g_module)
        return true;
    return LoadLngLoader(errorText);
}

void FreeLngLoader(void *&module)
{
    if (!module)
        return;
    if (module == g_module)
        LngLoader = {};
    ::dlclose(module);
    module = nullptr;
}

} // namespace support
