#pragma once
// Binding of the language-loader library liblngloader.so, an outside
// component that reads compiled language files for the text data module's
// loader mode. It is loaded at run time (the program's folder first, then the
// normal library search) and called through a table of plain C functions.
// The program ships no such library; without one the loader mode falls back
// to the built-in texts.
#include "platform/core/Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace support {

inline constexpr const char *LngLoaderLibraryName = "liblngloader.so";

// The caller's buffers the library fills, and how their contents are read.
inline constexpr std::size_t LngHeaderSize = 40;
inline constexpr std::size_t LngStringRecordSize = 1040;
inline constexpr std::size_t LngStringTextOffset = 16;
inline constexpr std::size_t LngStringMaxChars = 512; // read no further, terminator or not
// The section record's layout is the library's business and nothing here
// reads it; it gets the size of the largest record the library fills.
inline constexpr std::size_t LngSectionRecordSize = 1040;

// The library raises nothing across the boundary; failures to load or bind
// it are reported with this class name and the loader's own text.
class EOSError : public platform::Exception {
public:
    using Exception::Exception;
    const char *ClassName() const noexcept override { return "EOSError"; }
};

// Handles are 32-bit values; 0 is "none" or failure.
using TLLDRVersionGet = std::uint32_t (*)(std::uint16_t, std::uint16_t, std::uint16_t);
using TLLDROpen = std::uint32_t (*)(const char *fileName, std::int32_t, std::uint32_t version,
                                    std::int32_t);
using TLLDRHeaderGet = std::int32_t (*)(std::uint32_t handle, void *header);
using TLLDRSectionGet = std::uint32_t (*)(std::uint32_t handle, void *sectionRecord, std::int32_t);
using TLLDRStringGet = std::int32_t (*)(std::uint32_t handle, std::uint32_t section,
                                        void *stringRecord, std::int32_t id);
using TLLDRClose = void (*)(std::uint32_t *handle);
using TLLDRUncalled = void (*)(); // bound, never called

// The library's entry points in binding order; a missing export stays null.
struct TLngLoaderFunctions {
    TLLDRClose LLDRClose;
    TLLDRUncalled LLDRGetFileHeader;
    TLLDRUncalled LLDRGetString;
    TLLDROpen LLDROpen;
    TLLDRVersionGet LLDRVersionGet;
    TLLDRUncalled LLDRVersionSet;
    TLLDRHeaderGet LLDRHeaderGet;
    TLLDRUncalled LLDRHeaderSet;
    TLLDRUncalled LLDRSave;
    TLLDRUncalled LLDRSectionAdd;
    TLLDRUncalled LLDRSectionDelete;
    TLLDRSectionGet LLDRSectionGet;
    TLLDRUncalled LLDRSectionGetEx;
    TLLDRUncalled LLDRSectionGetByIndex;
    TLLDRUncalled LLDRSectionSet;
    TLLDRUncalled LLDRStringAdd;
    TLLDRUncalled LLDRStringDelete;
    TLLDRStringGet LLDRStringGet;
    TLLDRUncalled LLDRStringGetByIndex;
    TLLDRUncalled LLDRStringSet;
    TLLDRUncalled TBITSGet;
};

// The bound table of the loaded library (all null while none is loaded).
extern TLngLoaderFunctions LngLoader;
// The loaded library's dlopen handle, null while none is loaded.
void *&LngLoaderModule();

// Zero-fills `table`, then looks every entry up in `module` by its exact name.
void BindLngLoader(void *module, TLngLoaderFunctions &table);
// Loads and binds the library. A library without one of the six functions
// this program calls is refused (nothing stays loaded). On failure
// `errorText` is the library name, a line break and "<class> - <message>";
// the result is whether `errorText` is blank.
bool LoadLngLoader(std::string &errorText);
// LoadLngLoader unless the library is loaded already (then true).
bool LoadLngLoaderOnce(std::string &errorText);
// Unloads `module` (when not null) and sets it to null; freeing the bound
// library also clears the table.
void FreeLngLoader(void *&module);

// The folder searched before the normal library search: "" (the default)
// is the program's folder. For tests.
void SetLngLoaderFolder(std::string folder);

} // namespace support
