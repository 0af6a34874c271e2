#pragma once
// What the program knows about itself: its version and caption, the user it
// runs for, the user's pictures folder, and its embedded resources.
#include "platform/core/Exceptions.h"

#include <cstdint>
#include <string>

class QBuffer;

namespace app {

// Raised when an embedded resource cannot be found.
class EResNotFound : public platform::Exception {
public:
    using Exception::Exception;
    const char *ClassName() const noexcept override { return "EResNotFound"; }
};

// Flags of VersionText.
inline constexpr std::uint8_t vtFileName = 1;   // the file's name in front
inline constexpr std::uint8_t vtVerPrefix = 2;  // "Ver. " before the version
inline constexpr std::uint8_t vtVersion = 4;    // include the file version
inline constexpr std::uint8_t vtDropZeros = 8;  // drop up to two trailing ".0"

// Start-up: makes the program's version known to the exception reports of
// the support library (their "Ver." line). Call once before the main form.
void InitSelfUnit();

// The four-part version ("2.0.0.0") of `fileName` when it is this program's
// own file; "" for any other file (only the program carries a version).
std::string FileVersion(const std::string &fileName);
// The version as a caption text; with flags 14 version 2.0.0.0 gives "Ver. 2.0".
std::string VersionText(const std::string &fileName, std::uint8_t flags);
// VersionText for a file whose version is `version`.
std::string FormatVersionText(const std::string &fileName, const std::string &version,
                              std::uint8_t flags);
// "Korvane ScreenShot - Ver. 2.0".
std::string ProgramCaption();

// The name of the user the program runs for (the numeric user id when the
// system has no name for it).
std::string UserName();
// Whether $HOME holds an absolute folder other than "/".
bool HomeFromEnvironment();
// The user's home folder: $HOME when usable, else the password database's;
// "" when neither gives one.
std::string HomeFolder();
// The user's pictures folder, without a trailing "/" (the password
// database's home + "/Pictures" when HOME is unset or unusable). Raises
// "Could not find MyDocuments folder location." when there is none.
std::string MyPicturesFolder();

// Fills `stream` with the embedded resource named like a file: "468x60-3.gif"
// is the resource "468X60-3" of type "GIF" (":/GIF/468X60-3"); the type "HTM"
// is looked up as "HTML". The stream is left open at position 0. Raises
// EResNotFound "Can't load resource: <name>" when there is no such resource.
void LoadResourceToStream(const std::string &fileName, QBuffer &stream);

} // namespace app
