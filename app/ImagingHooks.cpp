#include "app/ImagingHooks.h"

#include "imaging/FileUtils.h"
#include "imaging/ImageDLLLoader.h"
#include "imaging/InputQuery.h"
#include "imaging/LibraryTrace.h"
#include "platform/gui/InputQuery.h"
#include "support/QX_VisualTraceCore.h"

namespace app {

void InstallImagingHooks()
{
    imaging::LibraryTrace = [](const std::string &Text) { support::TraceGlobal(1, Text); };
    imaging::InputQuery = platform::InputQuery;
}

void AddImagePlugins() noexcept
{
    try {
        if (imaging::TImageDLLLoader *loader = imaging::DLLLoader())
            loader->AddPlugins(imaging::ProgramPath());
    } catch (const std::exception &e) {
        imaging::TraceLine(std::string("Image plug-ins not added: ") + e.what());
    }
}

} // namespace app
