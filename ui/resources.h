// Files embedded in the program as RCDATA resources named by their file name (see
// pq_windows_resources in ui/CMakeLists.txt): form definitions and their pictures.
// Windows only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// The bytes of the resource named `fileName` (any case) in the program's executable; nullopt
// when there is none.
std::optional<std::vector<uint8_t>> FindResourceFile(std::string_view fileName);
// As FindResourceFile; a missing one is an EFormError "Resource <name> not found".
std::vector<uint8_t> LoadResourceFile(std::string_view fileName);

}  // namespace ui
