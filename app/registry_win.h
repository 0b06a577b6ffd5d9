// The real MachineRegistry: RegOpenKeyExW/RegQueryValueExW under HKEY_LOCAL_MACHINE with
// KEY_READ, never creating a key. REG_SZ and REG_EXPAND_SZ (not expanded) count as text.
#pragma once

#include "app/registry.h"

namespace pq::app {

class WinMachineRegistry : public MachineRegistry {
  public:
    RegistryText ReadText(std::string_view key, std::string_view value) override;
};

}  // namespace pq::app
