#include "app/ProgramMain.h"

#include "app/CaptureActions.h"
#include "app/ImagingHooks.h"
#include "app/SelfUnit.h"
#include "app/fm_Main.h"
#include "gif/GIFEncoder.h"
#include "gif/GIFImage.h"
#include "imaging/BMPLoader.h"
#include "imaging/HIPSLoader.h"
#include "imaging/ImageDLLLoader.h"
#include "imaging/JPEGLoader.h"
#include "imaging/PCXLoader.h"
#include "imaging/PNGLoader.h"
#include "imaging/WMFLoader.h"
#include "imaging/gui/ICOLoaderForm.h"
#include "platform/core/Exceptions.h"
#include "platform/gui/ExceptionDisplay.h"
#include "platform/os/QuitSignals.h"
#include "platform/os/SingleInstance.h"
#include "support/ExceptionReport.h"
#include "support/QX_VisualTraceCore.h"
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

int TakeSingleInstance(platform::TSingleInstance &lock, const std::string &lockPath)
{
    switch (lock.Acquire(lockPath)) {
    case platform::TSingleInstance::TState::Acquired:
        return -1;
    case platform::TSingleInstance::TState::Busy:
        // Another copy runs: end at once and silently.
        return 0;
    case platform::TSingleInstance::TState::Failed:
        break;
    }
    // Not starting must never look like "already running": say why.
    const std::string why = "Korvane ScreenShot cannot start: " + lock.FailureText();
    std::fprintf(stderr, "%s\n", why.c_str());
    // The error report goes where the main form's trace component would put
    // it; that component does not exist yet.
    support::TVisualTraceCore reportTrace;
    reportTrace.SetDataFileName(support::ProgramTraceDataFileName());
    support::TVisualTraceCore *previous = support::GlobalTrace.exchange(&reportTrace);
    support::TQXResultEx r;
    support::ExceptionReport(platform::Exception(why), kAppModule, nullptr, support::efNoTrace, {}, r);
    support::GlobalTrace = previous;
    return 1;
}

int ProgramMain(int argc, char **argv)
{
    // The units' start-up work: the random seed and the program's version
    // for the error reports first.
    support::RandomizeOnce();
    InitSelfUnit();
    // The libraries' start-up registration: the GIF picture and its coders,
    // then the image loaders in their fixed order (the registry searches in
    // this order, so a plug-in wins over a built-in format).
    gif::RegisterGIFImage();
    gif::RegisterGIFWriter();
    imaging::RegisterDLLLoader();
    imaging::RegisterICOLoader(imaging::ShowIconSelectionForm);
    imaging::RegisterJPEGLoader();
    imaging::RegisterPNGLoader();
    imaging::RegisterHIPSLoader();
    imaging::RegisterBMPLoader();
    imaging::RegisterPCXLoader();
    imaging::RegisterWMFLoader();
    InstallImagingHooks();

    // One copy per user and display, taken before the application object
    // exists.
    platform::TSingleInstance SingleInstanceMutex;
    if (const int exitCode = TakeSingleInstance(
            SingleInstanceMutex, platform::TSingleInstance::DefaultLockPath(
                                     SingleInstanceName, platform::TSingleInstance::DisplayFromEnvironment()));
        exitCode >= 0)
        return exitCode;

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
    // The units' shutdown, in the reverse order of their start: each format
    // leaves the picture table and the loader registry.
    imaging::UnregisterWMFLoader();
    imaging::UnregisterPCXLoader();
    imaging::UnregisterBMPLoader();
    imaging::UnregisterHIPSLoader();
    imaging::UnregisterPNGLoader();
    imaging::UnregisterJPEGLoader();
    imaging::UnregisterICOLoader();
    imaging::UnregisterDLLLoader();
    gif::UnregisterGIFImage();
    return 0;
}

} // namespace app
