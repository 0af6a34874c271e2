#include "platform/core/IniFile.h"

#include "platform/core/Exceptions.h"
#include "platform/core/FileWrite.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace platform {

namespace {

bool SameText(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

std::string UpperAscii(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return s;
}

std::string Trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

bool ParseInt(const std::string &v, int &out)
{
    size_t start = 0;
    bool negative = false;
    if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
        negative = v[0] == '-';
        start = 1;
    }
    int base = 10;
    if (v.compare(start, 1, "$") == 0) {
        base = 16;
        start += 1;
    } else if (v.size() > start + 1 && v[start] == '0' && (v[start + 1] == 'x' || v[start + 1] == 'X')) {
        base = 16;
        start += 2;
    }
    if (start >= v.size() || !std::isxdigit(static_cast<unsigned char>(v[start])))
        return false;
    errno = 0;
    char *end = nullptr;
    long long n = std::strtoll(v.c_str() + start, &end, base);
    if (errno != 0 || *end != '\0')
        return false;
    if (negative)
        n = -n;
    if (base == 16 && !negative && n > 0x7fffffffLL && n <= 0xffffffffLL)
        n -= 0x100000000LL; // "$FFFFFFFF" is -1, as a 32-bit value
    if (n < -2147483648LL || n > 2147483647LL)
        return false;
    out = static_cast<int>(n);
    return true;
}

// Far above any settings file; a file beyond it is refused rather than read.
constexpr off_t kMaxIniFileSize = 64 * 1024 * 1024;

bool ReadWholeFile(const std::string &fileName, std::string &out)
{
    // Not blocking: a named pipe in place of the file must not stall the caller.
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
    }
    // Only a regular file of sensible size is read: a device or pipe could
    // deliver bytes without end, and a huge file is no settings file.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxIniFileSize) {
        const bool regular = S_ISREG(st.st_mode);
        ::close(fd);
        throw EFOpenError("Cannot open file \"" + fileName + "\". " +
                          (regular ? "The file is too large" : "Not a regular file"));
    }
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            throw EFOpenError("Cannot read file \"" + fileName + "\". " + std::strerror(err));
        }
        if (n == 0)
            break;
        if (out.size() + static_cast<size_t>(n) > static_cast<size_t>(kMaxIniFileSize)) {
            ::close(fd); // grew while being read
            throw EFOpenError("Cannot open file \"" + fileName + "\". The file is too large");
        }
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

} // namespace

namespace {

// The file a save must replace: the final target of a chain of symbolic
// links (a link to a settings file kept elsewhere stays a link).
std::string SaveTarget(const std::string &fileName)
{
    std::string name = fileName;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return name;
        std::string target(static_cast<size_t>(PATH_MAX), '\0');
        const ssize_t n = ::readlink(name.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size())
            return name;
        target.resize(static_cast<size_t>(n));
        if (target[0] != '/') {
            const size_t slash = name.rfind('/');
            if (slash != std::string::npos)
                target = name.substr(0, slash + 1) + target;
        }
        name = target;
    }
    return name;
}

} // namespace

void AtomicWriteFile(const std::string &linkOrFileName, const std::string &data)
{
    const std::string fileName = SaveTarget(linkOrFileName);
    auto fail = [&](int err) {
        return EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(err));
    };
    std::string tmp = fileName + ".tmp-XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        throw fail(errno);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    // Keep the old file's permission bits; a new file gets the usual 0666 & ~umask.
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    size_t done = 0;
    if (const int err = WriteAll(fd, data.data(), data.size(), done)) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw fail(err);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw fail(err);
    }
    if (::rename(tmp.c_str(), fileName.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw fail(err);
    }
}

TMemIniFile::TMemIniFile(std::string fileName) : fileName_(std::move(fileName))
{
    Reload();
}

void TMemIniFile::Reload()
{
    Clear();
    if (fileName_.empty())
        return;
    std::string text;
    if (ReadWholeFile(fileName_, text))
        SetText(text);
}

void TMemIniFile::Clear()
{
    lines_.clear();
    byteOrderMark_ = false;
}

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One line of INI text, as the reader understands it.
TMemIniFile::Line ParseLine(std::string raw)
{
    using Line = TMemIniFile::Line;
    Line l;
    const std::string line = Trim(raw);
    l.text = std::move(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#')
        return l;
    const size_t close = line.find(']');
    // "[Name]" and "[Name] text" are headers; "[Key]=x" is a value.
    if (line[0] == '[' && close != std::string::npos) {
        const size_t after = line.find_first_not_of(" \t", close + 1);
        if (after == std::string::npos || line[after] != '=') {
            l.kind = Line::Header;
            l.name = Trim(line.substr(1, close - 1));
            return l;
        }
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
        return l;
    l.kind = Line::Value;
    l.name = Trim(line.substr(0, eq));
    l.value = Trim(line.substr(eq + 1));
    if (l.value.size() >= 2 && l.value.front() == '"' && l.value.back() == '"')
        l.value = l.value.substr(1, l.value.size() - 2);
    return l;
}

bool IsBlankLine(const TMemIniFile::Line &l)
{
    return l.kind == TMemIniFile::Line::Other && Trim(l.text).empty();
}

void RefuseBreaks(const std::string &what, const std::string &text)
{
    // A line break would split the entry into other lines on the next read.
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        throw EIniFileException("The INI file cannot hold " + what +
                                ": it contains a line break or a NUL character");
}

} // namespace

void TMemIniFile::SetText(const std::string &text)
{
    Clear();
    byteOrderMark_ = text.starts_with(kByteOrderMark);
    size_t pos = byteOrderMark_ ? kByteOrderMark.size() : 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        lines_.push_back(ParseLine(text.substr(pos, end - pos)));
        pos = end + 1;
        if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
}

std::string TMemIniFile::GetText() const
{
    std::string out = byteOrderMark_ ? std::string(kByteOrderMark) : "";
    for (const auto &l : lines_)
        out += l.text + "\n";
    return out;
}

void TMemIniFile::UpdateFile() const
{
    AtomicWriteFile(fileName_, GetText());
}

template <class F> void TMemIniFile::ForEachBlock(const std::string &section, F f) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Line::Header || !SameText(lines_[i].name, section))
            continue;
        size_t end = i + 1;
        while (end < lines_.size() && lines_[end].kind != Line::Header)
            ++end;
        f(i, end);
        i = end - 1;
    }
}

std::vector<size_t> TMemIniFile::KeyLines(const std::string &section, const std::string &key) const
{
    std::vector<size_t> out;
    ForEachBlock(section, [&](size_t begin, size_t end) {
        for (size_t i = begin + 1; i < end; ++i)
            if (lines_[i].kind == Line::Value && SameText(lines_[i].name, key))
                out.push_back(i);
    });
    return out;
}

const TMemIniFile::Line *TMemIniFile::FindKey(const std::string &section,
                                              const std::string &key) const
{
    const std::vector<size_t> at = KeyLines(section, key);
    return at.empty() ? nullptr : &lines_[at.back()];
}

std::string TMemIniFile::ReadString(const std::string &section, const std::string &key,
                                    const std::string &def) const
{
    const Line *l = FindKey(section, key);
    return l ? l->value : def;
}

int TMemIniFile::ReadInteger(const std::string &section, const std::string &key, int def) const
{
    const Line *l = FindKey(section, key);
    int n = 0;
    return l && ParseInt(l->value, n) ? n : def;
}

bool TMemIniFile::ReadBool(const std::string &section, const std::string &key, bool def) const
{
    const Line *l = FindKey(section, key);
    int n = 0;
    return l && ParseInt(l->value, n) ? n != 0 : def;
}

void TMemIniFile::WriteString(const std::string &section, const std::string &key,
                              const std::string &value)
{
    const std::string entry = "\"" + section + "\"/\"" + key + "\"";
    RefuseBreaks("the section name of " + entry, section);
    RefuseBreaks("the key " + entry, key);
    RefuseBreaks("the value of " + entry, value);
    // Blanks at the ends would be trimmed on reading, and enclosing quotes
    // taken off: quote such values so that they come back whole.
    const bool quote = value != Trim(value) || (value.size() >= 2 && value.front() == '"' && value.back() == '"');
    const std::string encoded = quote ? "\"" + value + "\"" : value;
    Line l = ParseLine(key + "=" + encoded);
    // A key that would read back as something else ("a=b", ";x", " k").
    if (key.empty() || l.kind != Line::Value || l.name != key || l.value != value)
        throw EIniFileException("The INI file cannot hold the key " + entry);
    const std::vector<size_t> at = KeyLines(section, key);
    if (!at.empty()) {
        // The last line of the key counts; it keeps its place and spelling.
        Line &old = lines_[at.back()];
        l.name = old.name;
        l.text = old.name + "=" + encoded;
        old = std::move(l);
        return;
    }
    bool exists = false;
    size_t insertAt = 0;
    ForEachBlock(section, [&](size_t begin, size_t end) {
        // After the last block's last non-blank line.
        exists = true;
        insertAt = end;
        while (insertAt > begin + 1 && IsBlankLine(lines_[insertAt - 1]))
            --insertAt;
    });
    if (!exists) {
        Line header = ParseLine("[" + section + "]");
        if (header.kind != Line::Header || header.name != section)
            throw EIniFileException("The INI file cannot hold the section name \"" + section + "\"");
        if (!lines_.empty() && !IsBlankLine(lines_.back()))
            lines_.push_back(Line{});
        lines_.push_back(std::move(header));
        lines_.push_back(Line{});
        insertAt = lines_.size() - 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(l));
}

void TMemIniFile::WriteInteger(const std::string &section, const std::string &key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void TMemIniFile::WriteBool(const std::string &section, const std::string &key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

bool TMemIniFile::SectionExists(const std::string &section) const
{
    bool found = false;
    ForEachBlock(section, [&](size_t, size_t) { found = true; });
    return found;
}

bool TMemIniFile::ValueExists(const std::string &section, const std::string &key) const
{
    return FindKey(section, key) != nullptr;
}

// The listings index names as they go: a file of many thousands of sections
// or keys must not take quadratic time.
std::vector<std::string> TMemIniFile::ReadSections() const
{
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (const auto &l : lines_)
        if (l.kind == Line::Header && seen.insert(UpperAscii(l.name)).second)
            out.push_back(l.name);
    return out;
}

std::vector<std::string> TMemIniFile::ReadSectionValues(const std::string &section) const
{
    std::vector<std::string> keys, values;
    std::unordered_map<std::string, size_t> at;
    ForEachBlock(section, [&](size_t begin, size_t end) {
        for (size_t i = begin + 1; i < end; ++i) {
            const Line &l = lines_[i];
            if (l.kind != Line::Value)
                continue;
            const auto [it, added] = at.try_emplace(UpperAscii(l.name), keys.size());
            if (added) {
                keys.push_back(l.name);
                values.push_back(l.value);
            } else {
                values[it->second] = l.value; // the last line of a key counts
            }
        }
    });
    for (size_t i = 0; i < keys.size(); ++i)
        keys[i] += "=" + values[i];
    return keys;
}

std::vector<std::string> TMemIniFile::ReadSection(const std::string &section) const
{
    std::vector<std::string> out = ReadSectionValues(section);
    for (auto &kv : out)
        kv.erase(kv.find('='));
    return out;
}

void TMemIniFile::EraseSection(const std::string &section)
{
    std::vector<bool> drop(lines_.size(), false);
    ForEachBlock(section, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            drop[i] = true;
    });
    size_t out = 0;
    for (size_t i = 0; i < lines_.size(); ++i)
        if (!drop[i]) {
            if (out != i)
                lines_[out] = std::move(lines_[i]);
            ++out;
        }
    lines_.resize(out);
}

void TMemIniFile::DeleteKey(const std::string &section, const std::string &key)
{
    // Every line of the key: an earlier one would count again otherwise.
    const std::vector<size_t> at = KeyLines(section, key);
    for (auto it = at.rbegin(); it != at.rend(); ++it)
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*it));
}

TIniFile::TIniFile(std::string fileName) : TMemIniFile(std::move(fileName)) {}

void TIniFile::WriteString(const std::string &section, const std::string &key,
                           const std::string &value)
{
    Reload();
    TMemIniFile::WriteString(section, key, value);
    UpdateFile();
}

void TIniFile::EraseSection(const std::string &section)
{
    Reload();
    TMemIniFile::EraseSection(section);
    UpdateFile();
}

void TIniFile::DeleteKey(const std::string &section, const std::string &key)
{
    Reload();
    TMemIniFile::DeleteKey(section, key);
    UpdateFile();
}

} // namespace platform
