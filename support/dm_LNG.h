#pragma once
// The text data module: the process-wide source of user texts. GetText gives
// the text of a numeric id from the source its mode selects; Text turns the
// "\n" escapes of a literal into line breaks. The main form creates the one
// module, owns it as its Qt parent and stores it in `dmLNG`.
#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

namespace support {

class TLngIniFile;

// Text sources selectable with SetMode.
inline constexpr std::uint8_t lngBuiltIn = 0; // built-in catalogue (the mode this program runs in)
inline constexpr std::uint8_t lngLoader = 1;  // compiled language file through the loader library
inline constexpr std::uint8_t lngIniFile = 2; // language INI file

class TdmLNG : public QObject {
public:
    explicit TdmLNG(QObject *owner = nullptr);
    ~TdmLNG() override;
    TdmLNG(const TdmLNG &) = delete;
    TdmLNG &operator=(const TdmLNG &) = delete;

    // Any value is stored; only 0, 1 and 2 give texts, any other makes
    // GetText answer "". Mode 1 loads the loader library (once per process);
    // when it cannot be loaded the mode becomes 0.
    void SetMode(std::uint8_t mode);
    std::uint8_t Mode() const { return mode_; }

    // Opens the language source of the current mode. `errorText` is emptied
    // first; in the built-in mode nothing is opened and the result is false.
    // Mode 1: the compiled language file through the loader library; on
    // failure `errorText` names the loader step that failed. Mode 2: the
    // language INI file (true; a file that exists but cannot be read raises
    // EFOpenError, one that cannot be written back is only traced).
    bool Open(const std::string &fileName, std::string &errorText);
    // The language file open through the loader library; "" otherwise.
    const std::string &FileName() const { return fileName_; }

    // The text of `id` ("" for an id of 0 or below, and in an unknown mode).
    // Virtual so that a different text source can stand in for the module.
    virtual std::string GetText(std::int32_t id) const;
    // `s` with every two-character escape backslash + "n" replaced by CR LF.
    std::string Text(const std::string &s) const;

private:
    void DataModuleCreate();
    void DataModuleDestroy();

    bool OpenLoaderFile(const std::string &fileName, std::string &errorText);
    void CloseLoaderFile();

    std::unique_ptr<TLngIniFile> iniFile_;
    std::string fileName_;
    std::uint8_t mode_ = lngBuiltIn;
};

// The one text data module of the process, or null before the main form
// creates it (and after it is destroyed: the module clears it).
extern TdmLNG *dmLNG;

// `s` with every escape "\n" (backslash, n) replaced by CR LF, left to right
// without rescanning what was inserted.
std::string ExpandLineBreaks(const std::string &s);

// dmLNG->GetText(id), or the built-in text when there is no text module, so
// that texts asked for before the module exists (or after it is gone) are
// still right.
std::string LngGetText(std::int32_t id);
// dmLNG->Text(s), or the same expansion when there is no text module.
std::string LngText(const std::string &s);

} // namespace support
