// The INI reader takes files that users and other tools edit: any bytes must
// parse without a crash, and what it writes must read back the same.
#include "platform/core/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

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
    return 0;
}
