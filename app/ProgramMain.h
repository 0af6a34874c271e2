#pragma once
// The program entry: single-instance guard, application object, hidden main
// form, message loop.
#include <string>

namespace platform {
class TSingleInstance;
}

namespace app {

inline constexpr const char *SingleInstanceName = "KorvaneScreenShotIsActive";

// The application title ("Korvane ScreenShot" once the program runs); dialogs
// take their captions from it.
const std::string &ApplicationTitle();
void SetApplicationTitle(const std::string &title);

// Takes the single-instance lock at `lockPath`. -1: the program goes on;
// otherwise the exit code to end with at once: 0 when a running copy holds
// the lock, 1 when the lock cannot be taken (the reason is written to
// standard error and to the error-report file).
int TakeSingleInstance(platform::TSingleInstance &lock, const std::string &lockPath);

// Runs the program: 0 when it ends normally or another copy runs, 1 when the
// single-instance lock cannot be taken.
int ProgramMain(int argc, char **argv);

} // namespace app
