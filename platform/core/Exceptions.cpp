#include "platform/core/Exceptions.h"

#include <cstring>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace platform {

EInOutError MakeOSError(int err, const std::string &context)
{
    std::string text = std::strerror(err);
    if (!context.empty())
        text = context + ": " + text;
    return EInOutError(text);
}

std::string ExceptionClassName(const std::exception &e)
{
    if (auto *own = dynamic_cast<const Exception *>(&e))
        return own->ClassName();
    const char *mangled = typeid(e).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void *)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}

} // namespace platform
