#pragma once
// The exception hierarchy of the whole system. Every error travels as one of
// these; ClassName() gives the name shown in reports and traces.
#include <exception>
#include <string>

namespace platform {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char *what() const noexcept override { return message_.c_str(); }
    const std::string &Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }
    virtual const char *ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
};

// Declares an exception class derived from `Base` whose ClassName() is its own name.
#define KSS_DECLARE_EXCEPTION(Name, Base)                                     \
    class Name : public Base {                                                \
    public:                                                                   \
        using Base::Base;                                                     \
        const char *ClassName() const noexcept override { return #Name; }     \
    };

KSS_DECLARE_EXCEPTION(EInOutError, Exception)
KSS_DECLARE_EXCEPTION(EStreamError, Exception)
KSS_DECLARE_EXCEPTION(EFOpenError, EStreamError)
KSS_DECLARE_EXCEPTION(EFCreateError, EStreamError)
KSS_DECLARE_EXCEPTION(EAssertionFailed, Exception)
KSS_DECLARE_EXCEPTION(EConvertError, Exception)
KSS_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
KSS_DECLARE_EXCEPTION(EOutOfResources, Exception)

// The silent abort: stops an operation without any message to the user.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    using Exception::Exception;
    const char *ClassName() const noexcept override { return "EAbort"; }
};

// An EInOutError carrying the operating system's error text for errno `err`,
// prefixed by `context` (a file name, for instance) when given.
EInOutError MakeOSError(int err, const std::string &context = {});

// The class name of any exception: ClassName() for ours, the demangled type
// name for other standard exceptions.
std::string ExceptionClassName(const std::exception &e);

} // namespace platform
