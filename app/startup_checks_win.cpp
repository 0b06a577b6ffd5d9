#include "app/startup_checks_win.h"

#include <windows.h>

#include <vector>

#include "base/exception.h"
#include "base/text.h"

namespace pq::app {

std::string ExecutablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            throw EOSError("GetModuleFileNameW failed (system error " +
                           std::to_string(GetLastError()) + ")");
        // A result that fills the buffer may have been cut: try again with more room.
        if (n < buffer.size())
            return text::Utf16ToUtf8(
                std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()), n));
        buffer.resize(buffer.size() * 2);
    }
}

bool WinFileProbe::IsRegularFile(const std::string& path) {
    const std::u16string wide = text::Utf8ToUtf16(path);
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(wide.c_str()));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace pq::app
