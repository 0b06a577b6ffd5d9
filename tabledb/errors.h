// The database errors the program sees. Engine failures arrive as EDBEngineError, whose
// message is the engine's distinct texts one per line, or "Table engine error $%.4x" when the
// engine gave none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/exception.h"

namespace pq::tabledb {

class EDatabaseError : public pq::Exception {
  public:
    using pq::Exception::Exception;
    const char* ClassName() const noexcept override { return "EDatabaseError"; }
};

class EDBEngineError : public EDatabaseError {
  public:
    EDBEngineError(uint16_t code, std::vector<std::string> texts);
    const char* ClassName() const noexcept override { return "EDBEngineError"; }
    uint16_t ErrorCode() const noexcept { return code_; }
    const std::vector<std::string>& Texts() const noexcept { return texts_; }

    // The failure of the engine's start, before any other text can be had.
    static EDBEngineError StartFailure(uint16_t code);

  private:
    EDBEngineError(uint16_t code, std::vector<std::string> texts, std::string message);
    uint16_t code_;
    std::vector<std::string> texts_;
};

// Engine error codes (category in the high byte, as the original engine grouped them).
namespace errc {
inline constexpr uint16_t kEngineStart = 0x2501;
inline constexpr uint16_t kNotFound = 0x2A04;      // table or file missing
inline constexpr uint16_t kCorrupt = 0x2C08;       // a file breaks the format
inline constexpr uint16_t kIo = 0x2C01;            // a system call failed
inline constexpr uint16_t kKeyViolation = 0x2601;  // duplicate primary key
inline constexpr uint16_t kPassword = 0x2902;      // no registered password opens the table
inline constexpr uint16_t kLocked = 0x2815;        // another writer holds the table
inline constexpr uint16_t kReadOnly = 0x2A0B;      // the table cannot be written
inline constexpr uint16_t kUnsupported = 0x3E06;   // a feature the engine refuses
inline constexpr uint16_t kAlias = 0x2E06;         // unknown alias or bad alias definition
inline constexpr uint16_t kGeneral = 0x2C00;
}  // namespace errc

}  // namespace pq::tabledb
