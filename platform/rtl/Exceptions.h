// Named exception classes of the runtime; subsystems derive their own from rtl::Exception.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace rtl {

// Base of every exception the system raises on purpose. The message is the text shown to
// the user or written to the log, so it is kept exactly as given.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    const std::string& Message() const noexcept { return message_; }
    void SetMessage(std::string message) { message_ = std::move(message); }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

#define RTL_DECLARE_EXCEPTION(Name, Base)                                \
    class Name : public Base {                                           \
    public:                                                              \
        explicit Name(std::string message) : Base(std::move(message)) {} \
    }

RTL_DECLARE_EXCEPTION(EStreamError, Exception);
RTL_DECLARE_EXCEPTION(EFilerError, EStreamError);  // component streaming
RTL_DECLARE_EXCEPTION(EReadError, EFilerError);
RTL_DECLARE_EXCEPTION(EWriteError, EFilerError);
RTL_DECLARE_EXCEPTION(EFCreateError, EStreamError);
RTL_DECLARE_EXCEPTION(EFOpenError, EStreamError);
RTL_DECLARE_EXCEPTION(EConvertError, Exception);
RTL_DECLARE_EXCEPTION(EListError, Exception);
RTL_DECLARE_EXCEPTION(EStringListError, Exception);
RTL_DECLARE_EXCEPTION(EInvalidOperation, Exception);
RTL_DECLARE_EXCEPTION(EInvalidArgument, Exception);
RTL_DECLARE_EXCEPTION(EOutOfMemory, Exception);
RTL_DECLARE_EXCEPTION(EThread, Exception);
RTL_DECLARE_EXCEPTION(EMathError, Exception);
RTL_DECLARE_EXCEPTION(EInvalidOp, EMathError);  // float to integer out of range, NaN
RTL_DECLARE_EXCEPTION(EDivByZero, EMathError);
RTL_DECLARE_EXCEPTION(EInvalidGraphic, Exception);  // image data that cannot be read

#undef RTL_DECLARE_EXCEPTION

// Silent exception: unwinds to the message loop without being reported.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    explicit EAbort(std::string message) : Exception(std::move(message)) {}
};

// Raises EAbort; for code that wants to leave an operation quietly.
[[noreturn]] inline void Abort() { throw EAbort(); }

}  // namespace rtl
