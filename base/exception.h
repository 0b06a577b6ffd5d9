// The program's exception classes. Every failure is an exception carrying the exact text the
// user or the error-report library sees (UTF-8), and a class name, since reports carry it.
// Portable: no platform headers.
#pragma once

#include <exception>
#include <string>

namespace pq {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
};

#define PQ_EXCEPTION_CLASS(Name, Base)                                     \
    class Name : public Base {                                             \
    public:                                                                \
        using Base::Base;                                                  \
        const char* ClassName() const noexcept override { return #Name; } \
    }

// The silent exception: unwinds like any failure but is never reported.
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    explicit EAbort(std::string message) : Exception(std::move(message)) {}
    const char* ClassName() const noexcept override { return "EAbort"; }
};

PQ_EXCEPTION_CLASS(ERangeError, Exception);         // an index outside its range
PQ_EXCEPTION_CLASS(EListError, Exception);          // "List index out of bounds (%d)"
PQ_EXCEPTION_CLASS(EConvertError, Exception);       // a value that cannot be converted
PQ_EXCEPTION_CLASS(EOSError, Exception);            // a failed system call
PQ_EXCEPTION_CLASS(ERegistryException, Exception);  // a registry value of the wrong type
PQ_EXCEPTION_CLASS(EFormError, Exception);          // a form definition that cannot be loaded
PQ_EXCEPTION_CLASS(EInvalidOperation, Exception);   // an operation not allowed in this state

// The class name reported for any exception: ours carry theirs; standard ones get the name
// the host platform's class library would use.
const char* ExceptionClassName(const std::exception& e) noexcept;

}  // namespace pq
