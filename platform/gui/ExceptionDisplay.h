#pragma once
// How an exception that reached an event handler is shown to the user. The
// default is a modal message box with the exception's text; the program
// installs its own title, tests install a recorder.
#include "platform/core/Exceptions.h"

#include <exception>
#include <functional>
#include <string>

namespace platform {

using TExceptionDisplay = std::function<void(const std::exception &)>;

// Installs `display`; an empty function restores the default.
void SetExceptionDisplay(TExceptionDisplay display);
// Title of the default message box.
void SetExceptionTitle(const std::string &title);
// Shows `e`; the silent abort (EAbort and its descendants) shows nothing.
// Never throws.
void ShowException(const std::exception &e) noexcept;

// Runs `f` and shows what it raises instead of letting it leave: a slot
// must never let an exception into the widget library's own code.
template <class F> void RunShowingExceptions(F &&f) noexcept
{
    try {
        f();
    } catch (const std::exception &e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception("Unknown exception"));
    }
}

} // namespace platform
