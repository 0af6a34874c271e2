#include "app/ProgramMain.h"

#include "app/ImagingHooks.h"
#include "app/SelfUnit.h"
#include "app/fm_Main.h"
#include "imaging/BMPLoader.h"
#include "imaging/HIPSLoader.h"
#include "imaging/ImageDLLLoader.h"
#include "imaging/PNGLoader.h"
#include "imaging/WMFLoader.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/ExceptionDisplay.h"
#include "platform/os/QuitSignals.h"
#include "platform/os/SingleInstance.h"
#include "support/TextRoutines.h"

#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <memory>

namespace app {

namespace {

std::string g_title;

// The application object: an exception that slipped past an event handler
// is shown here instead of ending the process.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            platform::ShowException(e);
        } catch (...) {
            platform::ShowException(platform::Exception("Unknown exception"));
        }
        return false;
    }
};

} // namespace

const std::string &ApplicationTitle()
{
    return g_title;
}

void SetApplicationTitle(const std::string &title)
{
    g_title = title;
}

int ProgramMain(int argc, char **argv)
{
    // The units' start-up work: the random seed and the program's version
    // for the error reports first.
    support::RandomizeOnce();
    InitSelfUnit();
    // SEAM(start-up registration): the libraries' start-up registration
    // (GIF picture and clipboard formats, image loaders in their
    // fixed order) runs here, before anything else.
    imaging::RegisterDLLLoader();
    imaging::RegisterPNGLoader();
    imaging::RegisterHIPSLoader();
    imaging::RegisterBMPLoader();
    imaging::RegisterWMFLoader();
    InstallImagingHooks();

    // One copy per user and display. Taken before the application object
    // exists; a copy that finds it held ends at once and silently.
    platform::TSingleInstance SingleInstanceMutex;
    if (!SingleInstanceMutex.Acquire(platform::TSingleInstance::DefaultLockPath(
            SingleInstanceName, platform::TSingleInstance::DisplayFromEnvironment())))
        return 0;

    TApplication application(argc, argv);
    SetApplicationTitle("Korvane ScreenShot");
    platform::SetExceptionTitle(ApplicationTitle());
    // The main form is never shown by the loop itself, and hiding the last
    // window must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    if (QGuiApplication::platformName() != "xcb")
        std::fprintf(stderr, "%s: global hot keys and screen capture need an X11 session; "
                             "they are not available on this display.\n",
                     ApplicationTitle().c_str());

    {
        auto form = std::make_unique<TfmMain>();
        platform::TQuitSignals quitSignals([](int) {
            if (fmMain)
                fmMain->close();
            else
                QCoreApplication::quit();
        });
        application.exec();
        // The form goes first: it gives the hot keys back while the X
        // connection is still open.
    }
    SingleInstanceMutex.Release();
    return 0;
}

} // namespace app
