// Errors of the table engine. Every message names the file or table and the problem; the
// table engine interface turns them into the program's database errors.
#pragma once

#include <string>

#include "base/exception.h"

namespace pq::paradox {

class Error : public pq::Exception {
  public:
    using pq::Exception::Exception;
    const char* ClassName() const noexcept override { return "EParadoxError"; }
};

// A system call on a file failed (open, read, write, size).
class IoError : public Error {
  public:
    using Error::Error;
    const char* ClassName() const noexcept override { return "EParadoxIoError"; }
};

// A file's bytes break the format. Raised only through Corrupt() so that one breakpoint
// catches every case.
class CorruptError : public Error {
  public:
    using Error::Error;
    const char* ClassName() const noexcept override { return "EParadoxCorrupt"; }
};

// A value that a field cannot take. The message is exactly "Invalid value for field 'NAME'";
// detail() says why, for logs and tests.
class ValueError : public Error {
  public:
    ValueError(const std::string& field, std::string detail)
        : Error("Invalid value for field '" + field + "'"), detail_(std::move(detail)) {}
    const char* ClassName() const noexcept override { return "EParadoxInvalidValue"; }
    const std::string& detail() const { return detail_; }

  private:
    std::string detail_;
};

// An insert or key change that would duplicate a primary key ("Key violation" in the message).
class KeyViolationError : public Error {
  public:
    using Error::Error;
    const char* ClassName() const noexcept override { return "EParadoxKeyViolation"; }
};

// An encrypted table opened without a matching password.
class PasswordError : public Error {
  public:
    using Error::Error;
    const char* ClassName() const noexcept override { return "EParadoxPassword"; }
};

// A table that another open of this engine (in this or another process) holds for writing.
class LockedError : public Error {
  public:
    using Error::Error;
    const char* ClassName() const noexcept override { return "EParadoxLocked"; }
};

// REQUIRES: `where` names the file (and block or offset), `what` the broken rule.
[[noreturn]] void Corrupt(const std::string& where, const std::string& what);

}  // namespace pq::paradox
