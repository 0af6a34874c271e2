#include "platform/core/IniFile.h"

#include "platform/core/Exceptions.h"
#include "platform/core/FileWrite.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unordered_map>
#include <unistd.h>

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

void AtomicWriteFile(const std::string &fileName, const std::string &data)
{
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
    preamble_.clear();
    sections_.clear();
}

void TMemIniFile::SetText(const std::string &text)
{
    Clear();
    // Sections and keys are found through indexes while parsing, so a file of
    // many thousands of sections or keys loads in linear time.
    std::unordered_map<std::string, size_t> sectionAt;
    std::vector<std::unordered_map<std::string, size_t>> keyAt;
    size_t current = 0;
    bool inSection = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        std::string raw = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (end == std::string::npos) {
            pos = text.size() + 1;
            if (raw.empty())
                break;
        } else {
            pos = end + 1;
            if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
                ++pos;
        }
        std::string line = Trim(raw);
        if (line.size() >= 2 && line.front() == '[' && line.find(']') != std::string::npos) {
            std::string name = Trim(line.substr(1, line.find(']') - 1));
            auto [it, added] = sectionAt.try_emplace(UpperAscii(name), sections_.size());
            if (added) {
                sections_.push_back({name, {}});
                keyAt.emplace_back();
            }
            current = it->second;
            inSection = true;
            continue;
        }
        if (!inSection) {
            if (!line.empty())
                preamble_.push_back(raw);
            continue;
        }
        if (line.empty())
            continue;
        std::vector<Line> &lines = sections_[current].lines;
        auto eq = line.find('=');
        if (line[0] == ';' || line[0] == '#' || eq == std::string::npos) {
            lines.push_back({{}, raw, false});
            continue;
        }
        std::string key = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        auto [it, added] = keyAt[current].try_emplace(UpperAscii(key), lines.size());
        if (added)
            lines.push_back({key, value, true});
        else
            lines[it->second].value = value; // a repeated key: the last one counts, its place stays
    }
}

std::string TMemIniFile::GetText() const
{
    std::string out;
    for (const auto &p : preamble_)
        out += p + "\n";
    for (const auto &s : sections_) {
        out += "[" + s.name + "]\n";
        for (const auto &l : s.lines)
            out += l.isValue ? l.key + "=" + l.value + "\n" : l.value + "\n";
        out += "\n";
    }
    return out;
}

void TMemIniFile::UpdateFile() const
{
    AtomicWriteFile(fileName_, GetText());
}

TMemIniFile::Section *TMemIniFile::FindSection(const std::string &name)
{
    for (auto &s : sections_)
        if (SameText(s.name, name))
            return &s;
    return nullptr;
}

const TMemIniFile::Section *TMemIniFile::FindSection(const std::string &name) const
{
    for (const auto &s : sections_)
        if (SameText(s.name, name))
            return &s;
    return nullptr;
}

const TMemIniFile::Line *TMemIniFile::FindKey(const std::string &section,
                                              const std::string &key) const
{
    const Section *s = FindSection(section);
    if (!s)
        return nullptr;
    for (const auto &l : s->lines)
        if (l.isValue && SameText(l.key, key))
            return &l;
    return nullptr;
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
    Section *s = FindSection(section);
    if (!s) {
        sections_.push_back({section, {}});
        s = &sections_.back();
    }
    // Values are one line: a line break would split the key on the next read.
    std::string clean = value;
    for (char &c : clean)
        if (c == '\r' || c == '\n')
            c = ' ';
    for (auto &l : s->lines)
        if (l.isValue && SameText(l.key, key)) {
            l.value = clean;
            return;
        }
    s->lines.push_back({key, clean, true});
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
    return FindSection(section) != nullptr;
}

bool TMemIniFile::ValueExists(const std::string &section, const std::string &key) const
{
    return FindKey(section, key) != nullptr;
}

std::vector<std::string> TMemIniFile::ReadSections() const
{
    std::vector<std::string> out;
    for (const auto &s : sections_)
        out.push_back(s.name);
    return out;
}

std::vector<std::string> TMemIniFile::ReadSection(const std::string &section) const
{
    std::vector<std::string> out;
    if (const Section *s = FindSection(section))
        for (const auto &l : s->lines)
            if (l.isValue)
                out.push_back(l.key);
    return out;
}

std::vector<std::string> TMemIniFile::ReadSectionValues(const std::string &section) const
{
    std::vector<std::string> out;
    if (const Section *s = FindSection(section))
        for (const auto &l : s->lines)
            if (l.isValue)
                out.push_back(l.key + "=" + l.value);
    return out;
}

void TMemIniFile::EraseSection(const std::string &section)
{
    for (auto it = sections_.begin(); it != sections_.end(); ++it)
        if (SameText(it->name, section)) {
            sections_.erase(it);
            return;
        }
}

void TMemIniFile::DeleteKey(const std::string &section, const std::string &key)
{
    Section *s = FindSection(section);
    if (!s)
        return;
    for (auto it = s->lines.begin(); it != s->lines.end(); ++it)
        if (it->isValue && SameText(it->key, key)) {
            s->lines.erase(it);
            return;
        }
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
