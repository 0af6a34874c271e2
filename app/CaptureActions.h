#pragma once
// The capture action loop: after a capture the action dialog is offered
// until an action succeeds or the user cancels; a failed action is shown in
// the message form and the dialog comes back with the same capture.
#include "app/CaptureFile.h"
#include "support/QXResult.h"

#include <cstdint>
#include <functional>
#include <string>

class QWidget;
namespace platform {
class TBitmap;
}

namespace app {

// The module number of everything the application reports.
inline constexpr std::uint8_t kAppModule = 80;

// What one pass of the loop needs from the main form.
struct TCaptureLoopSteps {
    // Shows the action dialog (redo offered only in area mode); its choice.
    std::function<std::uint8_t(bool areaMode)> AskChoice;
    std::function<void(bool enabled)> SetMenuEnabled;
    std::function<void()> EndCapture;
    std::function<void()> RedoSelection;
    std::function<bool(support::TQXResultEx &)> Save;
    std::function<bool(support::TQXResultEx &)> CopyToClipboard;
    std::function<bool(support::TQXResultEx &)> Mail;
    // Shows a failed action's result.
    std::function<void(const support::TQXResultEx &)> ShowFailure;
};

// Runs the loop. An exception from any step ends the capture and enables
// the menu again before it passes on, so the program never stays busy.
void RunCaptureLoop(bool areaMode, const TCaptureLoopSteps &steps);

// Creates the action dialog, sets its choice to 0, enables Redo only in area
// mode, shows it modally and returns its choice.
std::uint8_t AskWhatToDo(bool areaMode);

// Shows a failed action's result under the application title.
void ShowActionFailure(const support::TQXResultEx &r);

// What the actions need of the main form: the capture of the current mode
// as a fresh bitmap, and the end of the capture.
struct TCaptureSource {
    std::function<void(platform::TBitmap &)> CopyCaptureTo;
    std::function<void()> EndCapture;
};

// Saves the capture as the next numbered file in the configured folder and
// format, then ends the capture. The file is created exclusively and removed
// again when writing it fails. On failure r holds the exception's report
// with the lines "Destination folder" and "File name".
bool SaveCaptureAction(const TCaptureSource &source, int &counter, std::string &lastFileName,
                       support::TQXResultEx &r);
// Puts the capture on the clipboard as an image, then ends the capture.
bool CopyCaptureToClipboardAction(const TCaptureSource &source, support::TQXResultEx &r);
// Hands `fileName` to the mail client with the subject "Image captured with"
// and the program caption. Whether a mail client could be started is not a
// failure of the action (the image is saved either way).
bool SendCaptureMailAction(const std::string &fileName, support::TQXResultEx &r);
// Writes `bitmap` into the exclusively created `file`, in the format of the
// file's extension, and keeps the file.
void WriteCaptureFile(const platform::TBitmap &bitmap, TCaptureFile &file);

// Creates the configured destination folder and opens it in the desktop's
// file manager. Nothing is shown when that fails: the failure goes to the
// trace and the error-report file only.
void OpenDestinationFolder(QWidget *window);

} // namespace app
