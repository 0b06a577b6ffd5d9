// Read-only access to text values under HKEY_LOCAL_MACHINE, the only registry use of the
// program (the host's uninstall entry and its registration name). The interface lets the
// start-up checks and the error bridge be tested without a registry; registry_win.h holds the
// real one. Keys are written as the program's constants give them, with a leading backslash
// ("\Software\..."), meaning a path from the root of HKEY_LOCAL_MACHINE.
// Portable: no platform headers.
#pragma once

#include <string>
#include <string_view>

namespace pq::shell {

struct RegistryText {
    enum class Status {
        kFound,         // `text` holds the value (possibly empty)
        kKeyMissing,    // the key does not exist or cannot be opened for reading
        kValueMissing,  // the key exists but has no value of that name
        kWrongType,     // the value exists but is not a text value
    };
    Status status = Status::kKeyMissing;
    std::string text;  // UTF-8; empty unless kFound
};

class MachineRegistry {
  public:
    virtual ~MachineRegistry() = default;
    // Opens `key` under HKEY_LOCAL_MACHINE without creating it and reads `value` as text.
    // Never throws for a missing key or value; those are reported in the status.
    virtual RegistryText ReadText(std::string_view key, std::string_view value) = 0;
};

// The text of a value, or "" for a missing key or value. A value of another type throws
// ERegistryException "Invalid data type for '<value>'", as a text read of such a value does.
std::string ReadTextOrEmpty(MachineRegistry& registry, std::string_view key,
                            std::string_view value);

}  // namespace pq::shell
