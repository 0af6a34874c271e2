#include "support/Lng_IniFile.h"

#include "platform/core/Exceptions.h"
#include "platform/core/IniFile.h"
#include "support/BuiltInTexts.h"
#include "support/QX_VisualTraceCore.h"

namespace support {

namespace {
constexpr const char *kLabels = "Labels";
constexpr const char *kFileName = "FileName";
constexpr const char *kMessages = "Messages";
constexpr const char *kFileNotFound = "FileNotFound";
} // namespace

void TLngIniFile::Defaults()
{
    label_ = BuiltinText(txtFileName);
    message_ = BuiltinText(txtFileNotFound);
}

void TLngIniFile::Load()
{
    Defaults();
    const platform::TMemIniFile ini(fileName_);
    message_ = ini.ReadString(kMessages, kFileNotFound, message_);
    label_ = ini.ReadString(kLabels, kFileName, label_);
    fileText_ = ini.GetText();
}

bool TLngIniFile::WriteDefaults()
{
    try {
        // Read again: the file is rewritten whole, so whatever it holds now
        // (other sections, comments) goes back into it.
        platform::TMemIniFile ini(fileName_);
        bool missing = false;
        if (!ini.ValueExists(kLabels, kFileName)) {
            ini.WriteString(kLabels, kFileName, label_);
            missing = true;
        }
        if (!ini.ValueExists(kMessages, kFileNotFound)) {
            ini.WriteString(kMessages, kFileNotFound, message_);
            missing = true;
        }
        if (missing && !fileName_.empty())
            ini.UpdateFile();
        return true;
    } catch (const platform::Exception &e) {
        // A read-only file or folder: the translation still works, only the
        // defaults for the translator are not written.
        TraceGlobal(1, "Language INI file not written back: " + std::string(e.what()));
        return false;
    }
}

void TLngIniFile::GetText(std::int32_t id, bool &found, std::string &text) const
{
    found = true;
    if (id == txtFileName)
        text = label_;
    else if (id == txtFileNotFound)
        text = message_;
    else
        found = false;
}

} // namespace support
