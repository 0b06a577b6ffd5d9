// The real MachineRegistry: RegOpenKeyExW/RegQueryValueExW under HKEY_LOCAL_MACHINE with
// KEY_READ, never creating a key; the key is looked up in the registry's 32-bit view first,
// then in the 64-bit view. REG_SZ and REG_EXPAND_SZ (not expanded) count as text.
#pragma once

#include "shell/registry.h"

namespace pq::shell {

class WinMachineRegistry : public MachineRegistry {
  public:
    RegistryText ReadText(std::string_view key, std::string_view value) override;
};

}  // namespace pq::shell
