#include "app/ImagePlugins.h"

#include "imaging/FileUtils.h"
#include "imaging/ImageDLLLoader.h"
#include "support/QX_VisualTraceCore.h"

namespace app {

namespace {

void Trace(const std::string &Text) noexcept
{
    try {
        if (support::TVisualTraceCore *trace = support::GlobalTrace.load())
            trace->Add(1, {}, Text);
    } catch (...) {
    }
}

} // namespace

void AddImagePlugins() noexcept
{
    try {
        imaging::TImageDLLLoader *loader = imaging::DLLLoader();
        if (!loader)
            return;
        loader->Trace = Trace;
        loader->AddPlugins(imaging::ProgramPath());
    } catch (const std::exception &e) {
        Trace(std::string("Image plug-ins not added: ") + e.what());
    }
}

} // namespace app
