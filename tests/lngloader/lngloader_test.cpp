// Test stand-in for the language-loader library: fills the caller's buffers to the promised sizes,
// logs every call, fails any step on request; built also without LLDRStringGet.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr std::uint32_t kVersion = 0x00050200;
constexpr std::uint32_t kHandle = 0x80000001u; // high bit set: a 32-bit handle, not an int
constexpr std::uint32_t kSection = 0xFFFFFFFEu;

std::string g_fail;  // "open", "header", "section" or "string"
std::string g_calls; // one "Name(args);" per call
char g_buf[512];

} // namespace

#define LOG(...) (std::snprintf(g_buf, sizeof g_buf, __VA_ARGS__), g_calls += g_buf)

extern "C" {

// Which step fails ("" for none); the calls so far (reading clears them).
void LngTestFail(const char *step) { g_fail = step; }
const char *LngTestCalls()
{
    static std::string last;
    last = std::exchange(g_calls, {});
    return last.c_str();
}

std::uint32_t LLDRVersionGet(std::uint16_t a, std::uint16_t b, std::uint16_t c)
{
    LOG("VersionGet(%u,%u,%u);", a, b, c);
    return kVersion;
}

std::uint32_t LLDROpen(const char *fileName, std::int32_t mode, std::uint32_t version, std::int32_t flags)
{
    LOG("Open(%s,%d,%x,%d);", fileName, mode, version, flags);
    return g_fail == "open" ? 0 : kHandle;
}

std::int32_t LLDRHeaderGet(std::uint32_t handle, void *header)
{
    LOG("HeaderGet(%x);", handle);
    std::memset(header, 0xAB, 40);
    return g_fail == "header" ? 0 : 1;
}

std::uint32_t LLDRSectionGet(std::uint32_t handle, void *record, std::int32_t index)
{
    LOG("SectionGet(%x,%d);", handle, index);
    std::memset(record, 0xCD, 1040);
    return g_fail == "section" ? 0 : kSection;
}

#ifndef KSS_LNG_NO_STRINGGET
std::int32_t LLDRStringGet(std::uint32_t handle, std::uint32_t section, void *record, std::int32_t id)
{
    LOG("StringGet(%x,%x,%d);", handle, section, id);
    auto *r = static_cast<unsigned char *>(record);
    std::memset(r, 0xEE, 16); // the record's head: not text
    auto put = [&](const char *s) { std::memcpy(r + 16, s, std::strlen(s) + 1); };
    if (g_fail == "string")
        return 0;
    switch (id) {
    case 2: put("Dateiname"); return 1;
    case 21559: put("Datei nicht gefunden"); return 1;
    case 700: std::memset(r + 16, 'L', 1024); return 1; // no terminator at all
    case 701: // a two-byte character across the 512th byte, then no terminator
        std::memset(r + 16, 'x', 1024);
        r[16 + 511] = 0xC3;
        r[16 + 512] = 0xA4;
        return 1;
    default: return 0;
    }
}
#endif

void LLDRClose(std::uint32_t *handle)
{
    LOG("Close(%x);", *handle);
    *handle = 0;
}

// Two of the entry points that are bound but never called.
void LLDRSave() {}
void TBITSGet() {}

} // extern "C"
