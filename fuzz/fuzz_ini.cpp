// Any bytes parse; what is written reads back the same, and a value written under any
// section and key is either refused or read back whole.
#include "platform/core/IniFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    platform::TMemIniFile ini;
    ini.SetText(std::string(reinterpret_cast<const char *>(data), size));
    const std::string once = ini.GetText();
    for (const auto &section : ini.ReadSections())
        for (const auto &key : ini.ReadSection(section)) {
            (void)ini.ReadInteger(section, key, 0);
            (void)ini.ReadBool(section, key, false);
        }
    platform::TMemIniFile again;
    again.SetText(once);
    if (again.GetText() != once)
        std::abort(); // writing must be a fixed point of reading
    // Section, key and value from the input's first three lines.
    std::string parts[3];
    std::size_t at = 0;
    for (std::string &part : parts) {
        const std::size_t end = once.find('\n', at);
        part = once.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? once.size() : end + 1;
    }
    const std::string value = parts[2] + (size % 2 ? " " : "");
    try {
        ini.WriteString(parts[0], parts[1], value);
    } catch (const platform::EIniFileException &) {
        return 0;
    }
    again.SetText(ini.GetText());
    if (again.ReadString(parts[0], parts[1], "\x01missing") != value)
        std::abort();
    return 0;
}
