#include "support/dm_LNG.h"

#include "support/BuiltInTexts.h"
#include "support/Lng_IniFile.h"
#include "support/LngLoaderDLL.h"
#include "support/QX_VisualTraceCore.h"

#include <cstring>

namespace support {

TdmLNG *dmLNG = nullptr;

namespace {

// The language file open through the loader library (one per process).
std::uint32_t g_loaderHandle = 0;
std::uint32_t g_sectionHandle = 0;
alignas(8) unsigned char g_sectionRecord[LngSectionRecordSize] = {};

// The text of a filled string record: from its offset up to the first zero,
// never more than the record allows. A text cut at the limit loses an
// incomplete UTF-8 sequence at its end.
std::string StringRecordText(const unsigned char *record)
{
    const char *text = reinterpret_cast<const char *>(record + LngStringTextOffset);
    std::size_t n = ::strnlen(text, LngStringMaxChars);
    if (n == LngStringMaxChars) {
        std::size_t lead = n;
        while (lead > 0 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80)
            --lead;
        if (lead > 0) {
            const auto c = static_cast<unsigned char>(text[lead - 1]);
            const std::size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (lead - 1 + len > n)
                n = lead - 1;
        }
    }
    return std::string(text, n);
}


} // namespace

TdmLNG::TdmLNG(QObject *owner) : QObject(owner)
{
    setObjectName(QStringLiteral("dmLNG"));
    DataModuleCreate();
}

TdmLNG::~TdmLNG()
{
    DataModuleDestroy();
    // Nobody may reach a destroyed module through the global pointer.
    if (dmLNG == this)
        dmLNG = nullptr;
}

void TdmLNG::DataModuleCreate()
{
    iniFile_.reset();
    fileName_.clear();
}

void TdmLNG::DataModuleDestroy()
{
    iniFile_.reset();
    if (g_loaderHandle != 0) {
        fileName_.clear();
        CloseLoaderFile();
    }
}

void TdmLNG::CloseLoaderFile()
{
    if (LngLoader.LLDRClose)
        LngLoader.LLDRClose(&g_loaderHandle);
    g_loaderHandle = 0;
    g_sectionHandle = 0;
}

void TdmLNG::SetMode(std::uint8_t mode)
{
    if (mode != lngLoader) {
        mode_ = mode;
        return;
    }
    if (mode_ == lngLoader)
        return;
    // Loaded once per process: switching modes back and forth loads nothing
    // again.
    std::string loaderError;
    const bool loaded = LoadLngLoaderOnce(loaderError);
    mode_ = loaded ? lngLoader : lngBuiltIn;
    if (!loaded)
        TraceGlobal(1, "Language loader not available, built-in texts used: " + loaderError);
}

bool TdmLNG::Open(const std::string &fileName, std::string &errorText)
{
    errorText.clear();
    switch (mode_) {
    case lngIniFile: {
        iniFile_.reset();
        auto ini = std::make_unique<TLngIniFile>();
        ini->SetFileName(fileName);
        ini->Load();
        ini->WriteDefaults();
        iniFile_ = std::move(ini);
        return true;
    }
    case lngLoader:
        return OpenLoaderFile(fileName, errorText);
    default:
        return false;
    }
}

bool TdmLNG::OpenLoaderFile(const std::string &fileName, std::string &errorText)
{
    if (g_loaderHandle != 0) {
        CloseLoaderFile();
        fileName_.clear();
    }
    bool result = false;
    g_sectionHandle = 0;
    const TLngLoaderFunctions &f = LngLoader;
    if (!f.LLDRVersionGet) { // the library was unloaded meanwhile
        errorText = "LngLoader.LLDROpen failed";
        return false;
    }
    const std::uint32_t version = f.LLDRVersionGet(5, 2, 0);
    g_loaderHandle = f.LLDROpen(fileName.c_str(), -2, version, 0);
    if (g_loaderHandle == 0) {
        errorText = "LngLoader.LLDROpen failed";
    } else {
        alignas(8) unsigned char header[LngHeaderSize] = {};
        if (f.LLDRHeaderGet(g_loaderHandle, header) == 0)
            errorText = "LngLoader.LLDRHeaderGet failed"; // and on all the same
        std::memset(g_sectionRecord, 0, sizeof g_sectionRecord);
        g_sectionHandle = f.LLDRSectionGet(g_loaderHandle, g_sectionRecord, 1);
        if (g_sectionHandle == 0) {
            errorText = "LngLoader.LLDRSectionGet failed";
        } else {
            fileName_ = fileName;
            result = true;
        }
    }
    if (!result && g_loaderHandle != 0) {
        fileName_.clear();
        CloseLoaderFile();
    }
    return result;
}

std::string TdmLNG::GetText(std::int32_t id) const
{
    if (id <= 0)
        return {};
    switch (mode_) {
    case lngBuiltIn:
        return BuiltinText(id);
    case lngLoader:
        if (g_loaderHandle != 0 && LngLoader.LLDRStringGet) {
            alignas(8) unsigned char record[LngStringRecordSize] = {};
            if (LngLoader.LLDRStringGet(g_loaderHandle, g_sectionHandle, record, id) != 0)
                return StringRecordText(record);
        }
        return BuiltinText(id);
    case lngIniFile:
        if (iniFile_) {
            bool found = false;
            std::string text;
            iniFile_->GetText(id, found, text);
            if (found)
                return text;
        }
        return BuiltinText(id);
    default:
        return {};
    }
}

std::string TdmLNG::Text(const std::string &s) const
{
    return ExpandLineBreaks(s);
}

std::string ExpandLineBreaks(const std::string &s)
{
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += "\r\n";
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string LngGetText(std::int32_t id)
{
    if (dmLNG)
        return dmLNG->GetText(id);
    return id > 0 ? BuiltinText(id) : std::string();
}

std::string LngText(const std::string &s)
{
    return dmLNG ? dmLNG->Text(s) : ExpandLineBreaks(s);
}

} // namespace support
