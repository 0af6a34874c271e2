// Metafiles play or raise, never crash or hang; a small picture keeps the work on the records.
#include "imaging/MetafilePlayer.h"
#include "platform/core/Exceptions.h"

#include <QGuiApplication>

#include <cstdlib>

// Text records need fonts, and fonts the application object.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    imaging::TMetafileLimits limits;
    limits.MaxPixels = std::int64_t(1) << 20;
    try { imaging::PlayMetafile(data, size, limits); } catch (const platform::Exception &) {}
    return 0;
}
