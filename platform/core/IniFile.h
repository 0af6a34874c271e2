#pragma once
// INI files, in memory (TMemIniFile) and direct (TIniFile).
//
// Section and key names compare ASCII case-insensitively; the order of
// sections and keys is kept, and so are sections, keys and comment lines this
// program does not know, so a file shared with other tools survives a save.
// Files are read with CR LF or LF line ends and written with LF. A save writes
// a temporary file in the same folder and renames it over the old one: a
// failed or interrupted save leaves the old file intact.
#include <string>
#include <vector>

namespace platform {

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

    // The whole contents as INI text (LF line ends).
    std::string GetText() const;
    // Replaces the contents by parsing `text`.
    void SetText(const std::string &text);
    void Clear();

    // Re-reads the file (empty when it does not exist).
    void Reload();
    // Writes the contents to FileName() atomically; raises EFCreateError on failure.
    void UpdateFile() const;

protected:
    struct Line {
        std::string key;   // empty for a comment or other foreign line
        std::string value; // for a foreign line: the raw text
        bool isValue = false;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
    };

    Section *FindSection(const std::string &name);
    const Section *FindSection(const std::string &name) const;
    const Line *FindKey(const std::string &section, const std::string &key) const;

    std::string fileName_;
    std::vector<std::string> preamble_; // lines before the first section
    std::vector<Section> sections_;
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
