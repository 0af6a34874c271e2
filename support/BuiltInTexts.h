#pragma once
// The built-in English text catalogue: the text of a numeric text id without
// any language file. The text data module's built-in mode answers from it,
// and the other modes fall back to it.
#include <cstdint>
#include <string>

namespace support {

// Ids that this system asks for by number.
inline constexpr std::int32_t txtFileName = 2;                  // "File name"
inline constexpr std::int32_t txtErr = 29;                      // "Err"
inline constexpr std::int32_t txtSystemError = 588;             // "System error"
inline constexpr std::int32_t txtMsg = 17014;                   // "Msg"
inline constexpr std::int32_t txtOk = 17586;                    // "Ok"
inline constexpr std::int32_t txtWarning = 21537;               // "Warning!"
inline constexpr std::int32_t txtFileNotFound = 21559;          // "File not found"
inline constexpr std::int32_t txtDirectoryDoesNotExist = 21655; // "Directory does not exist"

// The lower table (ids 2 .. 18005): its text, or "" for an id it does not hold.
std::string BuiltinTextA(std::int32_t id);
// The upper table (ids 18015 .. 22610): its text, or "" for an id it does not hold.
std::string BuiltinTextB(std::int32_t id);
// The catalogue's text of `id`, never empty: "String <id>" when neither
// table holds a non-blank text. Escapes such as "\n" are returned unchanged.
std::string BuiltinText(std::int32_t id);

} // namespace support
