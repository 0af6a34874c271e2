#pragma once
// Small text jobs shared by the whole system: the blank test, quoting and
// bracketing, joining with separators, the "%" message substitution,
// name/value lines, time stamps, appending text to a file, point and
// rectangle texts. A line break is CR LF.
#include "platform/core/Clock.h"
#include "platform/core/Geometry.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

class QWidget;

namespace support {

inline constexpr const char *CRLF = "\r\n";

// True when `s` is empty after trimming every character with code 0..32.
bool IsBlank(const std::string &s);
std::string InQuotes(const std::string &s);   // 's'
std::string InParens(const std::string &s);   // (s)
std::string InBrackets(const std::string &s); // [s]
std::string InAngles(const std::string &s);   // <s>
std::string HexWord(std::uint16_t n);         // at least 4 upper-case hex digits
std::string HexByte(std::uint8_t n);          // at least 2 upper-case hex digits
std::string PointToText(const platform::TPoint &p);     // "120.45"
std::string RectToText(const platform::TRect &r);       // "10.20 - 110.220"
// The first `count` characters of a buffer of `size` characters; never reads
// past the buffer; a negative count or size gives "".
std::string BufferToString(const char *buffer, int size, int count);

// s + line break, or s unchanged when blank.
std::string AddNewLine(const std::string &s);
// b when a is blank; a when b is blank; else a + line break + b.
std::string AppendLine(const std::string &a, const std::string &b);
// a + sep + b when neither is blank; a when only b is blank; b otherwise.
std::string JoinNonBlank(const std::string &a, const std::string &b, const std::string &sep);
// Every line of `text` (split at CR LF, CR or LF) with `prefix` in front and a
// line break after it, the last included; "" for an empty text.
std::string PrefixLines(const std::string &prefix, const std::string &text);
// Adds the line "name: value" (value in single quotes when `quoted`; only the
// non-blank one of name and value when the other is blank) under `current`.
std::string AddNameValue(const std::string &current, const std::string &name,
                         const std::string &value, bool quoted);

// Whether `s` ends with `suffix`, ignoring ASCII case; false when either is empty.
bool EndsWith(const std::string &s, const std::string &suffix);
// Whether `part` occurs in `s` (ASCII case folded unless caseSensitive); an
// empty part is never contained.
bool ContainsStr(const std::string &s, const std::string &part, bool caseSensitive);
bool ContainsText(const std::string &s, const std::string &part);

// Replaces the first "%" of `text` by `value`, or appends " [value]" when
// there is none.
std::string SubstOne(const std::string &text, const std::string &value);
// SubstOne with each value in turn on the running text ("%" brought in by a
// value counts too; there is no escape).
std::string SubstArgs(const std::string &text, const std::vector<std::string> &values);

// 2009<sep>09<sep>09
std::string DateStamp(const std::string &sep, const platform::DateTime &t);
// DateStamp + between + 14<timeSep>05<timeSep>03
std::string DateTimeStamp(const std::string &dateSep, const std::string &timeSep,
                          const std::string &between, const platform::DateTime &t);
// DateTimeStamp + msSep + 007
std::string DateTimeMsStamp(const std::string &dateSep, const std::string &timeSep,
                            const std::string &msSep, const std::string &between,
                            const platform::DateTime &t);
// DateTimeMsStamp with `sep` for all four separators.
std::string DateTimeMsStampSep(const std::string &sep, const platform::DateTime &t);
// The stamp of trace lines and reports: "2009/09/09 14:05:03.007".
std::string TraceStamp(const platform::DateTime &t);

// Appends `text` to `fileName`, creating the file and its missing folders.
// `deleteFirst` removes an existing file first. Only when the file already
// existed is a CR (withCR) and then an LF (withLF) written before the text.
// Raises EFCreateError / EFOpenError / EInOutError with the system's reason.
void WriteTextToFile(const std::string &text, const std::string &fileName, bool deleteFirst,
                     bool withLF, bool withCR);

int EnsureInRange(int lo, int value, int hi);
void SwapInt(int &a, int &b);
platform::TRect NormalizedRect(int x1, int y1, int x2, int y2);
// Centres `control` in `parent` horizontally and/or vertically (integer
// division truncating toward zero); nothing when either is null.
void CenterControl(const QWidget *parent, QWidget *control, bool horizontally, bool vertically);
// A hook with no effect.
void DoNothing();
// Seeds the process's random source once; later calls do nothing.
void RandomizeOnce();

} // namespace support
