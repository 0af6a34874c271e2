#pragma once
// Where the image library meets the program: its diagnostic lines and its
// questions to the user, and the image plug-ins beside the program.

namespace app {

// The library's trace lines go to the program's trace (level 1), its
// questions to a modal input dialog.
void InstallImagingHooks();
// Adds the plug-ins of the program's folder to the plug-in loader. Never
// throws: a broken plug-in must not stop the program.
void AddImagePlugins() noexcept;

} // namespace app
