#pragma once
// Two small operations with the result convention: the directory check of
// the settings dialog and the shell open of the dialogs and the main form.
// Both take the caller's module number for their result codes.
#include "support/QXResult.h"

#include <cstdint>
#include <string>

class QWidget;

namespace support {

// Success when `dir` is an existing directory, else code 3728 of `module`.
// Either way r.Text is the line Directory: 'dir' (or '<empty string>').
bool CheckDirectory(const std::string &dir, std::uint8_t module, TQXResultEx &r);

// Opens `target` (a file, folder or link) with the program the desktop
// associates with it, without waiting for it. Whether that program can open
// the target is not known here, so an unknown target still gives success;
// only a failure to start the opener is a failure (code 4095 of `module`,
// reported with the call-stack frame). `window` is the requesting window.
bool ShellOpen(QWidget *window, const std::string &target, std::uint8_t module, TQXResultEx &r);

} // namespace support
