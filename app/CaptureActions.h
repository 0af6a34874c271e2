#pragma once
// The capture action loop: after a capture the action dialog is offered
// until an action succeeds or the user cancels; a failed action is shown in
// the message form and the dialog comes back with the same capture.
#include "support/QXResult.h"

#include <cstdint>
#include <functional>

class QWidget;

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

// Creates the configured destination folder and opens it in the desktop's
// file manager. Nothing is shown when that fails: the failure goes to the
// trace and the error-report file only.
void OpenDestinationFolder(QWidget *window);

} // namespace app
