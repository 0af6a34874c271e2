#include "support/TextRoutines.h"

#include "platform/core/Exceptions.h"
#include "platform/core/FileWrite.h"
#include "platform/core/Random.h"

#include <QWidget>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace support {

namespace {

bool IsBlankChar(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::string UpperAscii(const std::string &s)
{
    std::string r = s;
    for (char &c : r)
        c = UpperAscii(c);
    return r;
}

std::string Padded(int value, int digits)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*d", digits, value);
    return buf;
}

} // namespace

bool IsBlank(const std::string &s)
{
    for (char c : s)
        if (!IsBlankChar(c))
            return false;
    return true;
}

std::string InQuotes(const std::string &s) { return "'" + s + "'"; }
std::string InParens(const std::string &s) { return "(" + s + ")"; }
std::string InBrackets(const std::string &s) { return "[" + s + "]"; }
std::string InAngles(const std::string &s) { return "<" + s + ">"; }

std::string HexWord(std::uint16_t n)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%.4X", static_cast<unsigned>(n));
    return buf;
}

std::string HexByte(std::uint8_t n)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%.2X", static_cast<unsigned>(n));
    return buf;
}

std::string PointToText(const platform::TPoint &p)
{
    return std::to_string(p.X) + "." + std::to_string(p.Y);
}

std::string RectToText(const platform::TRect &r)
{
    return PointToText({r.Left, r.Top}) + " - " + PointToText({r.Right, r.Bottom});
}

std::string BufferToString(const char *buffer, int size, int count)
{
    if (!buffer || size <= 0 || count <= 0)
        return {};
    return std::string(buffer, static_cast<size_t>(count < size ? count : size));
}

std::string AddNewLine(const std::string &s)
{
    return IsBlank(s) ? s : s + CRLF;
}

std::string AppendLine(const std::string &a, const std::string &b)
{
    if (IsBlank(a))
        return b;
    if (IsBlank(b))
        return a;
    return a + CRLF + b;
}

std::string JoinNonBlank(const std::string &a, const std::string &b, const std::string &sep)
{
    const bool aBlank = IsBlank(a), bBlank = IsBlank(b);
    if (!aBlank && !bBlank)
        return a + sep + b;
    if (!aBlank)
        return a;
    return b;
}

std::string PrefixLines(const std::string &prefix, const std::string &text)
{
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        out += prefix + text.substr(pos, end - pos) + CRLF;
        pos = end;
        if (pos < text.size()) {
            if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')
                pos += 2;
            else
                pos += 1;
        }
    }
    return out;
}

std::string AddNameValue(const std::string &current, const std::string &name,
                         const std::string &value, bool quoted)
{
    const std::string shown = quoted ? InQuotes(value) : value;
    return AppendLine(current, JoinNonBlank(name, shown, ": "));
}

bool EndsWith(const std::string &s, const std::string &suffix)
{
    if (s.empty() || suffix.empty() || suffix.size() > s.size())
        return false;
    return UpperAscii(s.substr(s.size() - suffix.size())) == UpperAscii(suffix);
}

bool ContainsStr(const std::string &s, const std::string &part, bool caseSensitive)
{
    if (part.empty())
        return false;
    if (caseSensitive)
        return s.find(part) != std::string::npos;
    return UpperAscii(s).find(UpperAscii(part)) != std::string::npos;
}

bool ContainsText(const std::string &s, const std::string &part)
{
    return ContainsStr(s, part, false);
}

std::string SubstOne(const std::string &text, const std::string &value)
{
    const size_t at = text.find('%');
    if (at == std::string::npos)
        return text + " " + InBrackets(value);
    return text.substr(0, at) + value + text.substr(at + 1);
}

std::string SubstArgs(const std::string &text, const std::vector<std::string> &values)
{
    std::string r = text;
    for (const auto &v : values)
        r = SubstOne(r, v);
    return r;
}

std::string DateStamp(const std::string &sep, const platform::DateTime &t)
{
    return Padded(t.Year, 4) + sep + Padded(t.Month, 2) + sep + Padded(t.Day, 2);
}

std::string DateTimeStamp(const std::string &dateSep, const std::string &timeSep,
                          const std::string &between, const platform::DateTime &t)
{
    return DateStamp(dateSep, t) + between + Padded(t.Hour, 2) + timeSep + Padded(t.Minute, 2) +
           timeSep + Padded(t.Second, 2);
}

std::string DateTimeMsStamp(const std::string &dateSep, const std::string &timeSep,
                            const std::string &msSep, const std::string &between,
                            const platform::DateTime &t)
{
    return DateTimeStamp(dateSep, timeSep, between, t) + msSep + Padded(t.Millisecond, 3);
}

std::string DateTimeMsStampSep(const std::string &sep, const platform::DateTime &t)
{
    return DateTimeMsStamp(sep, sep, sep, sep, t);
}

std::string TraceStamp(const platform::DateTime &t)
{
    return DateTimeMsStamp("/", ":", ".", " ", t);
}

void WriteTextToFile(const std::string &text, const std::string &fileName, bool deleteFirst,
                     bool withLF, bool withCR)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path full = fs::absolute(fs::path(fileName), ec);
    const std::string path = ec ? fileName : full.string();
    if (full.has_parent_path())
        fs::create_directories(full.parent_path(), ec); // a failure shows in the open below

    if (deleteFirst && ::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw platform::EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(errno));

    bool existed = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        existed = false;
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno == EEXIST) { // created by someone else meanwhile
            existed = true;
            fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
        }
    }
    if (fd < 0) {
        const int err = errno;
        if (existed)
            throw platform::EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(err));
        throw platform::EFCreateError("Cannot create file \"" + path + "\". " + std::strerror(err));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    // Exclusive use while appending, so two writers never interleave; give up
    // after a while rather than hang on a file held open elsewhere.
    int tries = 0;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK || ++tries > 200)
            throw platform::EFOpenError("Cannot open file \"" + path + "\". " + std::strerror(errno));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (::lseek(fd, 0, SEEK_END) < 0)
        throw platform::MakeOSError(errno, path);

    std::string data;
    if (existed) {
        if (withCR)
            data += '\r';
        if (withLF)
            data += '\n';
    }
    data += text;
    size_t done = 0;
    if (const int err = platform::WriteAll(fd, data.data(), data.size(), done))
        throw platform::MakeOSError(err, path);
}

int EnsureInRange(int lo, int value, int hi)
{
    if (value < lo)
        return lo;
    if (value > hi)
        return hi;
    return value;
}

void SwapInt(int &a, int &b)
{
    const int t = a;
    a = b;
    b = t;
}

platform::TRect NormalizedRect(int x1, int y1, int x2, int y2)
{
    if (x1 > x2)
        SwapInt(x1, x2);
    if (y1 > y2)
        SwapInt(y1, y2);
    return {x1, y1, x2, y2};
}

void CenterControl(const QWidget *parent, QWidget *control, bool horizontally, bool vertically)
{
    if (!parent || !control)
        return;
    int x = control->x(), y = control->y();
    if (horizontally)
        x = (parent->width() - control->width()) / 2;
    if (vertically)
        y = (parent->height() - control->height()) / 2;
    control->move(x, y);
}

void DoNothing() {}

void RandomizeOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { platform::Randomize(); });
}

} // namespace support
