#include "support/BuiltInTexts.h"

#include "support/TextRoutines.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace support {

namespace {

struct Entry {
    std::int32_t id;
    std::string_view text;
};

// Both tables are sorted by id so a lookup is a binary search; the static
// asserts below keep them that way and keep their id ranges apart.
constexpr std::array<Entry, 5> kTableA{{
    {txtFileName, "File name"},
    {txtErr, "Err"},
    {txtSystemError, "System error"},
    {txtMsg, "Msg"},
    {txtOk, "Ok"},
}};

constexpr std::array<Entry, 3> kTableB{{
    {txtWarning, "Warning!"},
    {txtFileNotFound, "File not found"},
    {txtDirectoryDoesNotExist, "Directory does not exist"},
}};

constexpr std::int32_t kFirstA = 2, kLastA = 18005;
constexpr std::int32_t kFirstB = 18015, kLastB = 22610;

template <std::size_t N>
constexpr bool SortedWithin(const std::array<Entry, N> &t, std::int32_t first, std::int32_t last)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (t[i].id < first || t[i].id > last)
            return false;
        if (i > 0 && t[i - 1].id >= t[i].id)
            return false;
    }
    return true;
}
static_assert(SortedWithin(kTableA, kFirstA, kLastA));
static_assert(SortedWithin(kTableB, kFirstB, kLastB));

template <std::size_t N>
std::string Lookup(const std::array<Entry, N> &t, std::int32_t id)
{
    auto it = std::lower_bound(t.begin(), t.end(), id,
                               [](const Entry &e, std::int32_t v) { return e.id < v; });
    if (it == t.end() || it->id != id)
        return {};
    return std::string(it->text);
}

} // namespace

std::string BuiltinTextA(std::int32_t id)
{
    return Lookup(kTableA, id);
}

std::string BuiltinTextB(std::int32_t id)
{
    return Lookup(kTableB, id);
}

std::string BuiltinText(std::int32_t id)
{
    std::string s = BuiltinTextA(id);
    if (IsBlank(s))
        s = BuiltinTextB(id);
    if (IsBlank(s))
        s = "String " + std::to_string(id);
    return s;
}

} // namespace support
