#pragma once
// Result records and module-qualified result codes.
//
// A fallible operation takes a TQXResultEx as its last (by-reference)
// parameter, clears it first, fills it on failure and returns IsOK(r).
// Its code is 0 for success or a module-qualified code: the message number
// (low 12 bits) plus the number of the module that raised it, shifted left
// by 12 bits for modules 1..15 and by 16 bits for modules 16..255. Code
// arithmetic is done in unsigned 32 bits.
#include <cstdint>
#include <string>

namespace support {

struct TQXResultEx {
    std::int32_t Code = 0; // 0 = success
    std::string Text;      // the message, possibly several lines (CR LF)
    std::string Detail;    // name/value lines (CR LF), one fact per line
};

// Message numbers that this system produces.
inline constexpr std::int32_t qxrDirectoryDoesNotExist = 3728; // 0xE90
inline constexpr std::int32_t qxrException = 4095;             // 0xFFF: a caught exception

// Severity classes (SeverityOf).
inline constexpr int sevMessage = 1; // prefix "Msg"
inline constexpr int sevInfo = 2;    // no prefix; holds caught exceptions in plain form
inline constexpr int sevWarning = 3; // prefix "Warning!"
inline constexpr int sevOk = 4;      // no prefix; holds success (0)
inline constexpr int sevError = 5;   // prefix "Err"

bool CodeIsOK(std::int32_t code);
bool IsOK(const TQXResultEx &r);
// Code := code, both texts emptied.
void SetResult(std::int32_t code, TQXResultEx &r);
void ClearResult(TQXResultEx &r);
void InitResult(TQXResultEx &r);

// `code` qualified with `module`; 0 and codes with bit 0x1000 pass unchanged.
std::int32_t ComposeCode(std::int32_t code, std::uint8_t module);
// The module number a code carries (0 for generic codes).
std::uint8_t ModuleOf(std::int32_t code);
// Whether codes of `module` share the generic messages.
bool IsListedModule(std::uint8_t module);
// Whether a and b carry the same message number and both are plain (generic,
// large-module, or of module 6, 8 or 9).
bool SameCode(std::int32_t a, std::int32_t b);
// "0E90" for codes up to 0xFFFF, "50.0E90" (module.number) above.
std::string CodeToHex(std::int32_t code);
// The severity class 1..5 of a code.
int SeverityOf(std::int32_t code);

} // namespace support
