#pragma once
// The language INI file: the text source of the text data module's INI mode.
// It overrides the texts of id 2 ("File name", key FileName in [Labels]) and
// id 21559 ("File not found", key FileNotFound in [Messages]) and fills in
// the built-in defaults of a missing key, so a translator finds both keys.
#include <cstdint>
#include <string>

namespace support {

class TLngIniFile {
public:
    const std::string &FileName() const { return fileName_; }
    void SetFileName(std::string fileName) { fileName_ = std::move(fileName); }
    // The file as last loaded, rendered back to INI text.
    const std::string &FileText() const { return fileText_; }

    // Both texts from the built-in catalogue.
    void Defaults();
    // Defaults, then the two keys of the file (a missing file reads as
    // empty). A file that exists but cannot be read raises EFOpenError.
    void Load();
    // Adds the keys the file lacks and writes it back, keeping every other
    // section, key and comment. Nothing is written when both keys are there.
    // A file that cannot be written back is traced and false is returned:
    // the texts already read stay in use.
    bool WriteDefaults();
    // Sets `found`; for id 2 and 21559 `text` gets the file's text, for any
    // other id it is left alone.
    void GetText(std::int32_t id, bool &found, std::string &text) const;

private:
    std::string label_;   // id 2
    std::string message_; // id 21559
    std::string fileText_;
    std::string fileName_;
};

} // namespace support
