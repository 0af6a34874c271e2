#include "support/dm_LNG.h"

#include "support/BuiltInTexts.h"

namespace support {

TdmLNG *dmLNG = nullptr;

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
    fileName_.clear();
}

void TdmLNG::DataModuleDestroy()
{
    fileName_.clear();
}

void TdmLNG::SetMode(std::uint8_t mode)
{
    // The loader library and the language INI file are not built into this
    // program yet: their modes are accepted, answer from the built-in
    // catalogue, and Open says they are not available.
    mode_ = mode;
}

bool TdmLNG::Open(const std::string &fileName, std::string &errorText)
{
    (void)fileName;
    errorText.clear();
    switch (mode_) {
    case lngLoader:
        errorText = "The language loader library is not available";
        return false;
    case lngIniFile:
        errorText = "Language INI files are not available";
        return false;
    default:
        return false;
    }
}

std::string TdmLNG::GetText(std::int32_t id) const
{
    if (id <= 0)
        return {};
    switch (mode_) {
    case lngBuiltIn:
    case lngLoader: // no language file can be open: built-in text
    case lngIniFile: // no language INI object: built-in text
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
