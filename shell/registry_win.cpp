#include "shell/registry_win.h"

#include <windows.h>

#include <vector>

#include "base/text.h"

namespace pq::shell {
namespace {

std::wstring Wide(std::string_view utf8) {
    const std::u16string w = text::Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

class ScopedKey {
  public:
    ScopedKey() = default;
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    ~ScopedKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY* Receive() { return &key_; }
    HKEY Get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

}  // namespace

RegistryText WinMachineRegistry::ReadText(std::string_view key, std::string_view value) {
    // The program's keys are written from the root ("\Software\..."); the API wants them
    // relative to the root key.
    while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
    // A 32-bit setup program writes the host's entries, and the 32-bit host its own, in the
    // registry's 32-bit view; a 64-bit program sees that view only when it asks for it. The
    // 32-bit view comes first, the 64-bit one when the key is not there, and a key found in
    // a view is read wholly from that view.
    const std::wstring path = Wide(key);
    ScopedKey handle;
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &opened) ==
            ERROR_SUCCESS) {
            *handle.Receive() = opened;
            break;
        }
    }
    if (!handle.Get()) return {RegistryText::Status::kKeyMissing, {}};

    const std::wstring name = Wide(value);
    std::vector<BYTE> data(256);
    for (;;) {
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size());
        const LSTATUS rc =
            RegQueryValueExW(handle.Get(), name.c_str(), nullptr, &type, data.data(), &size);
        if (rc == ERROR_MORE_DATA) {
            data.resize(size + sizeof(wchar_t));
            continue;  // the value may have grown again between the two calls
        }
        if (rc == ERROR_FILE_NOT_FOUND) return {RegistryText::Status::kValueMissing, {}};
        if (rc != ERROR_SUCCESS) return {RegistryText::Status::kValueMissing, {}};
        if (type != REG_SZ && type != REG_EXPAND_SZ) return {RegistryText::Status::kWrongType, {}};
        // The stored data need not end with a NUL; an odd byte count drops its last byte.
        std::u16string text(size / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        const size_t end = text.find(u'\0');
        if (end != std::u16string::npos) text.resize(end);
        return {RegistryText::Status::kFound, text::Utf16ToUtf8(text)};
    }
}

}  // namespace pq::shell
