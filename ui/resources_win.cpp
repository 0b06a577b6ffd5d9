#include <windows.h>

#include "base/exception.h"
#include "base/text.h"
#include "ui/resources.h"

namespace ui {

std::optional<std::vector<uint8_t>> FindResourceFile(std::string_view fileName) {
    std::u16string name = pq::text::Utf8ToUtf16(fileName);
    HMODULE module = GetModuleHandleW(nullptr);
    // Resource names are kept in capitals; FindResource compares without regard to case.
    HRSRC info = FindResourceW(module, reinterpret_cast<LPCWSTR>(name.c_str()), RT_RCDATA);
    if (!info) return std::nullopt;
    HGLOBAL handle = LoadResource(module, info);
    DWORD size = SizeofResource(module, info);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (!data) return std::nullopt;
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

std::vector<uint8_t> LoadResourceFile(std::string_view fileName) {
    auto bytes = FindResourceFile(fileName);
    if (!bytes) throw pq::EFormError("Resource " + std::string(fileName) + " not found");
    return std::move(*bytes);
}

}  // namespace ui
