// A registry key of the test's own under HKEY_LOCAL_MACHINE, removed with everything in it
// when the test ends. Names carry the process id so parallel test processes never meet.
#pragma once

#include <windows.h>

#include <string>

#include "base/text.h"

namespace pq::app::testing {

inline std::wstring Wide(std::string_view utf8) {
    const std::u16string w = text::Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

class ScratchMachineKey {
  public:
    explicit ScratchMachineKey(const std::string& name)
        : path_("Software\\PQTests\\" + name + "-" + std::to_string(GetCurrentProcessId())) {}
    ~ScratchMachineKey() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, Wide(path_).c_str()); }
    ScratchMachineKey(const ScratchMachineKey&) = delete;
    ScratchMachineKey& operator=(const ScratchMachineKey&) = delete;

    // The key as the program writes its constants: from the root, with a leading backslash.
    std::string Rooted() const { return "\\" + path_; }

    void Create() { SetRaw(nullptr, REG_NONE, nullptr, 0); }
    void SetText(const std::string& value, const std::string& text, DWORD type = REG_SZ) {
        const std::wstring w = Wide(text);
        SetRaw(value.c_str(), type, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
    }
    void SetDword(const std::string& value, DWORD number) {
        SetRaw(value.c_str(), REG_DWORD, &number, sizeof number);
    }
    void SetRaw(const char* value, DWORD type, const void* data, size_t size) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(path_).c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            throw std::runtime_error("RegCreateKeyExW failed for " + path_);
        if (value)
            RegSetValueExW(key, Wide(value).c_str(), 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(size));
        RegCloseKey(key);
    }

  private:
    std::string path_;
};

}  // namespace pq::app::testing
