#include "app/ModalRunner.h"

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
