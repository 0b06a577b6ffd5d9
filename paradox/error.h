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

// REQUIRES: `where` names the file (and block or offset), `what` the broken rule.
[[noreturn]] void Corrupt(const std::string& where, const std::string& what);

}  // namespace pq::paradox
