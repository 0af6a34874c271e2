#pragma once
// The program entry: single-instance guard, application object, hidden main
// form, message loop.
#include <string>

namespace app {

inline constexpr const char *SingleInstanceName = "KorvaneScreenShotIsActive";

// The application title ("Korvane ScreenShot" once the program runs); dialogs
// take their captions from it.
const std::string &ApplicationTitle();
void SetApplicationTitle(const std::string &title);

// Runs the program; the exit code is 0 on every path.
int ProgramMain(int argc, char **argv);

} // namespace app
