#pragma once
// The result message catalogue and the user texts of result codes and
// records. The catalogue is built once, on first use, from the text data
// module (or the built-in texts when there is none) under one recursive lock.
#include "support/QXResult.h"

#include <cstdint>
#include <string>
#include <vector>

namespace support {

// One catalogue row: an exact row (Code <> 65535) or a range row (Code =
// 65535, matching Low..High as unsigned values).
struct TQXR_Descr {
    std::int32_t Code = 65535;
    std::int32_t Low = 65535;
    std::int32_t High = 65535;
    std::string Text;
};
using TQXR_Descrs = std::vector<TQXR_Descr>;

inline constexpr std::int32_t qxrRangeRow = 65535;

// Options of ResultToText.
enum TResultOption : std::uint8_t {
    roCRLF = 1u << 0,           // separator is a line break, else one blank
    roQuote = 1u << 1,          // the text part in single quotes
    roSeverity = 1u << 2,       // severity prefix ("Err: ", ...)
    roDetail = 1u << 3,         // the record's Detail joined to its Text
    roSkipCodeWhenOK = 1u << 4, // a successful record shows only its text
};

class TResultOptions {
public:
    constexpr TResultOptions() = default;
    constexpr TResultOptions(TResultOption o) : bits_(o) {}
    constexpr bool Has(TResultOption o) const { return (bits_ & o) != 0; }
    constexpr TResultOptions operator|(TResultOptions o) const { return TResultOptions(bits_ | o.bits_); }

private:
    constexpr explicit TResultOptions(unsigned bits) : bits_(static_cast<std::uint8_t>(bits)) {}
    std::uint8_t bits_ = 0;
};

constexpr TResultOptions operator|(TResultOption a, TResultOption b)
{
    return TResultOptions(a) | TResultOptions(b);
}

// Builds the catalogue unless it is built already. The catalogue counts as
// built only once it is complete: a text source that throws leaves it
// unbuilt, and the next use tries again.
void BuildResultTable();
// Frees the catalogue; the next use builds it again from the then current
// text source (process end, and tests).
void ClearResultTable();
// A copy of the catalogue as built (building it first).
TQXR_Descrs ResultTable();
// Whether `row` is the row for `code`; `listed` tells whether the code's
// module shares the generic messages.
bool RowMatches(const TQXR_Descr &row, std::int32_t code, bool listed);
// The text of the first row matching `code`; `text` is left as it was and
// the result is false when no row matches.
bool FindResultText(std::int32_t code, std::string &text);
// The severity prefix of `code` ("Msg: ", "Warning!: ", "Err: ") or "".
std::string SeverityPrefix(std::int32_t code);
// `code` as a user text: [severity prefix] message [" (" hex ")"], or
// "System error: <hex>" for a code without a message unless `noFallback`.
std::string FormatResultCode(std::int32_t code, bool noFallback, bool withSeverity, bool withCode);
std::string CodeToText(std::int32_t code, bool withSeverity);
// The record as a user text.
std::string ResultToText(const TQXResultEx &r, TResultOptions options);
std::string ResultToTextOpt(const TQXResultEx &r, bool crlf, bool quote, bool severity, bool detail);

} // namespace support
