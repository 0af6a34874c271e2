#pragma once
// INI files, in memory (TMemIniFile) and direct (TIniFile).
//
// Section and key names compare ASCII case-insensitively. The file is kept
// line by line: a load followed by a save gives back every line unchanged
// (comments, blank lines, text after a header's "]", repeated sections and
// keys, lines this program does not understand), so a file shared with other
// tools or edited by hand survives. A repeated section counts as one; of a
// repeated key the last line counts. Files are read with CR LF or LF line
// ends and written with LF. A save writes a temporary file beside the target
// (the target of a symbolic link) and renames it over it: a failed or
// interrupted save leaves the old file intact.
//
// A value with leading or trailing blanks, or one enclosed in double quotes,
// is written in double quotes and read back without them. A value, key or
// section name that the format cannot hold (a line break, a NUL, a key with
// "=" or blanks at its ends, ...) is refused with EIniFileException.
#include "platform/core/Exceptions.h"

#include <string>
#include <vector>

namespace platform {

KSS_DECLARE_EXCEPTION(EIniFileException, Exception)

class TMemIniFile {
public:
    // Loads `fileName` when it exists; a missing file gives an empty object.
    // An existing file that cannot be read, is no regular file or is larger
    // than 64 MiB raises EFOpenError.
    explicit TMemIniFile(std::string fileName = {});
    virtual ~TMemIniFile() = default;

    const std::string &FileName() const { return fileName_; }
    void SetFileName(std::string fileName) { fileName_ = std::move(fileName); }

    std::string ReadString(const std::string &section, const std::string &key,
                           const std::string &def) const;
    // Decimal, or hexadecimal with "0x" or "$"; anything else gives `def`.
    int ReadInteger(const std::string &section, const std::string &key, int def) const;
    // An integer value: non-zero is true; anything else gives `def`.
    bool ReadBool(const std::string &section, const std::string &key, bool def) const;

    virtual void WriteString(const std::string &section, const std::string &key,
                             const std::string &value);
    void WriteInteger(const std::string &section, const std::string &key, int value);
    void WriteBool(const std::string &section, const std::string &key, bool value);

    bool SectionExists(const std::string &section) const;
    bool ValueExists(const std::string &section, const std::string &key) const;
    std::vector<std::string> ReadSections() const;
    // The keys of `section`, in file order.
    std::vector<std::string> ReadSection(const std::string &section) const;
    // "key=value" lines of `section`, in file order.
    std::vector<std::string> ReadSectionValues(const std::string &section) const;
    virtual void EraseSection(const std::string &section);
    virtual void DeleteKey(const std::string &section, const std::string &key);

    // The whole contents as INI text (LF line ends), with the UTF-8
    // byte-order mark when the text read had one.
    std::string GetText() const;
    // Replaces the contents by parsing `text`. A UTF-8 byte-order mark at the
    // start (many editors write one) is not part of the first line.
    void SetText(const std::string &text);
    void Clear();

    // Re-reads the file (empty when it does not exist).
    void Reload();
    // Writes the contents to FileName() atomically; raises EFCreateError on failure.
    void UpdateFile() const;

    // One line of the file as the reader understands it.
    struct Line {
        enum Kind { Other, Header, Value } kind = Other;
        std::string text;  // the line as read or written
        std::string name;  // Header: the section name; Value: the key
        std::string value; // Value: the value without enclosing quotes
    };

protected:
    // The positions of the value lines of `key` in `section`, in file order.
    std::vector<size_t> KeyLines(const std::string &section, const std::string &key) const;
    const Line *FindKey(const std::string &section, const std::string &key) const;
    // Calls f(headerIndex, endIndex) for every block of `section`.
    template <class F> void ForEachBlock(const std::string &section, F f) const;

    std::string fileName_;
    std::vector<Line> lines_;
    bool byteOrderMark_ = false;
};

// Direct use: every write re-reads the file, changes it and saves it at once,
// so changes made by others meanwhile are kept.
class TIniFile : public TMemIniFile {
public:
    explicit TIniFile(std::string fileName);
    void WriteString(const std::string &section, const std::string &key,
                     const std::string &value) override;
    void EraseSection(const std::string &section) override;
    void DeleteKey(const std::string &section, const std::string &key) override;
};

// Saves `data` to `fileName` through a temporary file and a rename.
// Raises EFCreateError with the system's reason on failure; the old file, if
// any, is then left unchanged.
void AtomicWriteFile(const std::string &fileName, const std::string &data);

} // namespace platform
