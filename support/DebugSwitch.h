#pragma once
// The developer debug switch: whether the program runs on the developers' own
// computer, decided once from the host name, and the debug-day test on top of
// it. On a debug day the main form keeps its coordinate labels visible.
#include <functional>
#include <initializer_list>
#include <string>

namespace support {

// The developers' computer: any host whose short name starts with this text,
// ASCII case ignored. It starts with an underscore, which no valid host name
// (letters, digits and hyphens only) does, so no real machine matches by
// accident; a developer names a test box like this on purpose.
inline constexpr const char *DeveloperComputerName = "_korvane-dev";

// The computer's short host name (up to the first "."), "" when it cannot be
// had. Comes from the installed source (gethostname unless a test installed
// another).
std::string GetComputerNameDns();

// False when `s` or `prefix` is empty or `prefix` is longer than `s`; else
// whether `s` begins with `prefix`, ASCII case ignored.
bool StartsWith(const std::string &s, const std::string &prefix);

// Sets the process-wide flag from the host name. Runs by itself on the first
// question; again after SetHostNameSource.
void DetectDeveloperMachine();
bool DeveloperMachine();

// True on the developers' computer on 9 September 2009 (local date from the
// injectable clock, asked at each call).
bool IsDebugDay();

// A checkpoint around shutdown steps: takes and releases the unit's lock,
// writes nothing. Any thread.
void DebugTrace(std::initializer_list<std::string> texts);

// Installs `source` as the host name (an empty function restores
// gethostname) and detects the developer machine again.
void SetHostNameSource(std::function<std::string()> source);

} // namespace support
