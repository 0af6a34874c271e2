#include "support/MapFile.h"

#include "platform/core/ProgramPath.h"
#include "support/TextRoutines.h"

#include <dlfcn.h>
#include <fstream>
#include <istream>
#include <link.h>
#include <sys/stat.h>

namespace support {

namespace {

// A line longer than this is not a map-file line; reading stops there rather
// than growing one string without bound.
constexpr std::size_t kMaxLineLength = 64 * 1024;

// Raised by the line parsers; ends the reading, keeping the records so far.
struct MapParseError {};

enum class Section { None, SegmentHeads, SegmentMap, PublicsByName, PublicsByValue, LineNumbers, Resources };

struct Header {
    const char *start;
    Section kind;
};

constexpr Header kHeaders[] = {
    {"StartLengthNameClass", Section::SegmentHeads},
    {"Detailedmapofsegments", Section::SegmentMap},
    {"AddressPublicsbyName", Section::PublicsByName},
    {"AddressPublicsbyValue", Section::PublicsByValue},
    {"Linenumbersfor", Section::LineNumbers},
    {"Boundresourcefiles", Section::Resources},
};

constexpr std::size_t kLineNumbersForLength = 14; // strlen("Linenumbersfor")

bool IsTrimmed(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

std::string Trim(const std::string &s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && IsTrimmed(s[b]))
        ++b;
    while (e > b && IsTrimmed(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// Reads one line (LF or CR LF ended) into `line`; false at the end of input.
// Raises MapParseError for an over-long line.
bool ReadLine(std::istream &in, std::string &line)
{
    line.clear();
    std::streambuf *buf = in.rdbuf();
    if (!buf)
        return false;
    bool any = false;
    for (;;) {
        int c = buf->sbumpc();
        if (c == std::char_traits<char>::eof())
            break;
        any = true;
        if (c == '\n')
            break;
        if (line.size() >= kMaxLineLength)
            throw MapParseError{};
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any;
}

// Up to 8 hexadecimal digits at `pos` (fewer when the line ends first); at
// least one digit and nothing but digits, else the line is malformed.
std::uint64_t HexAt(const std::string &line, std::size_t pos)
{
    if (pos >= line.size())
        throw MapParseError{};
    std::string digits = line.substr(pos, 8);
    std::uint64_t v = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            throw MapParseError{};
        v = v * 16 + static_cast<std::uint64_t>(d);
    }
    return v;
}

// The trimmed text before the first ":" as a decimal segment number.
unsigned SegmentOf(const std::string &line, std::size_t colon)
{
    std::string seg = Trim(line.substr(0, colon));
    if (seg.empty() || seg.size() > 9)
        throw MapParseError{};
    unsigned v = 0;
    for (char c : seg) {
        if (c < '0' || c > '9')
            throw MapParseError{};
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    return v;
}

std::string WithoutBlanks(const std::string &line)
{
    std::string s;
    s.reserve(line.size());
    for (char c : line)
        if (c != ' ')
            s.push_back(c);
    return s;
}

} // namespace

void TMapFile::Clear()
{
    units_.clear();
    procedures_.clear();
    lines_.clear();
    lineUnits_.clear();
    lineUnitIndex_.clear();
}

std::uint32_t TMapFile::UnitIndex(const std::string &name)
{
    const auto [it, added] = lineUnitIndex_.try_emplace(name, static_cast<std::uint32_t>(lineUnits_.size()));
    if (added)
        lineUnits_.push_back(name);
    return it->second;
}

bool TMapFile::Load(const std::string &mapName)
{
    Clear();
    struct stat st {};
    if (mapName.empty() || ::stat(mapName.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::ifstream in(mapName, std::ios::binary);
    if (!in)
        return false;
    return Load(in);
}

bool TMapFile::Load(std::istream &in)
{
    Clear();
    Section section = Section::None;
    std::uint32_t unit = 0;
    std::string line;
    try {
        while (ReadLine(in, line)) {
            std::string compact = WithoutBlanks(line);
            for (const Header &h : kHeaders) {
                if (compact.rfind(h.start, 0) == 0) {
                    section = h.kind;
                    if (section == Section::LineNumbers) {
                        std::size_t paren = compact.find('(', kLineNumbersForLength);
                        unit = UnitIndex(compact.substr(kLineNumbersForLength,
                                                        paren == std::string::npos
                                                            ? std::string::npos
                                                            : paren - kLineNumbersForLength));
                    }
                    break;
                }
            }
            if (line.empty() || line[0] != ' ' || line.find(':') == std::string::npos)
                continue;
            switch (section) {
            case Section::SegmentMap:
                ParseSegmentLine(line);
                break;
            case Section::PublicsByValue:
                ParsePublicLine(line);
                break;
            case Section::LineNumbers:
                ParseLineNumberLine(line, unit);
                break;
            default:
                break;
            }
        }
    } catch (const MapParseError &) {
        // A malformed line ends the reading; what was parsed so far stays.
    }
    return Complete();
}

// " 0001:00001000 00000200 C=CODE S=.text G=(none) M=Unit ACBP=A9"
void TMapFile::ParseSegmentLine(const std::string &line)
{
    std::size_t colon = line.find(':');
    if (SegmentOf(line, colon) != 1)
        return;
    TUnitItem item;
    item.Start = HexAt(line, colon + 1);
    std::uint64_t length = HexAt(line, colon + 10);
    item.End = item.Start + length;
    std::size_t m = line.find('M', colon + 1);
    if (m == std::string::npos || m + 2 > line.size())
        return; // no unit name: nothing to record
    std::size_t nameStart = m + 2;
    std::size_t blank = line.find(' ', nameStart);
    item.Name = line.substr(nameStart, blank == std::string::npos ? std::string::npos : blank - nameStart);
    units_.push_back(std::move(item));
}

// " 0001:00000100       Unit.Procedure"
void TMapFile::ParsePublicLine(const std::string &line)
{
    std::size_t colon = line.find(':');
    if (SegmentOf(line, colon) != 1)
        return;
    TProcedureItem item;
    item.Offset = HexAt(line, colon + 1);
    std::size_t after = colon + 9;
    item.Name = after < line.size() ? Trim(line.substr(after)) : std::string();
    procedures_.push_back(std::move(item));
}

// "    12 0001:00000010    13 0001:00000020"
void TMapFile::ParseLineNumberLine(const std::string &line, std::uint32_t unit)
{
    // Walks the line by position: cutting the rest off for every pair would
    // make one long line cost time quadratic in its length.
    std::size_t pos = 0;
    for (;;) {
        while (pos < line.size() && IsTrimmed(line[pos]))
            ++pos;
        if (pos >= line.size())
            return;
        const std::size_t blank = line.find(' ', pos);
        if (blank == std::string::npos)
            throw MapParseError{};
        TLineNumberItem item;
        item.Unit = unit;
        item.Line = line.substr(pos, blank - pos);
        const std::size_t hexPos = blank + 1 + 5; // the blank, then "0001:"
        item.Offset = HexAt(line, hexPos);
        pos = hexPos + 8;
        lines_.push_back(std::move(item));
    }
}

std::string TMapFile::UnitAt(std::uint64_t offset) const
{
    for (auto it = units_.rbegin(); it != units_.rend(); ++it)
        if (it->Start <= offset && offset <= it->End)
            return it->Name;
    return {};
}

std::string TMapFile::ProcedureAt(std::uint64_t offset) const
{
    for (auto it = procedures_.rbegin(); it != procedures_.rend(); ++it)
        if (it->Offset <= offset)
            return it->Name;
    return {};
}

std::string TMapFile::LineAt(std::uint64_t offset) const
{
    const auto unit = lineUnitIndex_.find(UnitAt(offset));
    if (unit == lineUnitIndex_.end())
        return {};
    std::string result;
    for (const TLineNumberItem &item : lines_)
        if (item.Unit == unit->second && item.Offset < offset)
            result = item.Line;
    return result;
}

std::uint64_t MapFileFor(const void *address, std::string &mapName, std::string &moduleName)
{
    mapName.clear();
    moduleName.clear();
    std::uintptr_t base = 0;
    Dl_info info{};
    link_map *map = nullptr;
    if (address && ::dladdr1(address, &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP) != 0) {
        base = reinterpret_cast<std::uintptr_t>(info.dli_fbase);
        // The main program's link map has no name; its file is /proc/self/exe.
        if (map && map->l_name && map->l_name[0] != '\0')
            moduleName = map->l_name;
        else
            moduleName = platform::ProgramFileName();
        if (!moduleName.empty())
            mapName = platform::ChangeFileExt(moduleName, ".map");
    }
    std::uint64_t offset = reinterpret_cast<std::uintptr_t>(address) - base;
    // The code segment starts one page into the image; an address inside the
    // first page (the module's headers) counts as offset 0 instead of wrapping.
    if (offset != 0)
        offset = offset >= 0x1000 ? offset - 0x1000 : 0;
    return offset;
}

namespace {
TMapFile &GlobalMap()
{
    static TMapFile map;
    return map;
}
} // namespace

std::recursive_mutex &MapFileLock()
{
    static std::recursive_mutex lock;
    return lock;
}

bool LoadMapFile(const std::string &mapName)
{
    std::lock_guard<std::recursive_mutex> guard(MapFileLock());
    return GlobalMap().Load(mapName);
}

void UnitAt(std::uint64_t offset, std::string &name)
{
    std::lock_guard<std::recursive_mutex> guard(MapFileLock());
    name = GlobalMap().UnitAt(offset);
}

void ProcedureAt(std::uint64_t offset, std::string &name)
{
    std::lock_guard<std::recursive_mutex> guard(MapFileLock());
    name = GlobalMap().ProcedureAt(offset);
}

void LineAt(std::uint64_t offset, std::string &line)
{
    std::lock_guard<std::recursive_mutex> guard(MapFileLock());
    line = GlobalMap().LineAt(offset);
}

} // namespace support
