#pragma once
// Start-up of the image plug-in libraries that lie beside the program.

namespace app {

// Adds the plug-ins of the program's folder to the plug-in loader; files it
// passes over are named in the trace. Never throws: a broken plug-in must not
// stop the program.
void AddImagePlugins() noexcept;

} // namespace app
