#include "app/ModalRunner.h"

#include "platform/os/WindowWatch.h"

#include <QDialog>
#include <utility>

namespace app {

namespace {
TModalRunner &CurrentRunner()
{
    static TModalRunner runner;
    return runner;
}
} // namespace

int RunModal(QDialog &dialog)
{
    if (const TModalRunner &runner = CurrentRunner())
        return runner(dialog);
    // A dialog whose window another program destroyed ends as Cancel; else
    // its loop would never return and the program would stay busy, deaf to
    // its hot keys and tray menu.
    const platform::TOutsideDestroyWatch watch([&dialog] { return quintptr(dialog.internalWinId()); },
                                               [&dialog] { dialog.reject(); });
    return dialog.exec();
}

TScopedModalRunner::TScopedModalRunner(TModalRunner runner)
    : previous_(std::exchange(CurrentRunner(), std::move(runner)))
{
}

TScopedModalRunner::~TScopedModalRunner()
{
    CurrentRunner() = std::move(previous_);
}

} // namespace app
