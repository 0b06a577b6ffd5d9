#include "derodede/report_file_win.h"

#include <shlobj.h>
#include <windows.h>

#include "base/text.h"

namespace pq::derodede {
namespace {

std::wstring Wide(std::string_view utf8) {
    const std::u16string w = text::Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

std::string Narrow(std::wstring_view wide) {
    return text::Utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::wstring LocalAppData() {
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH * 2);
    if (n > 0 && n < MAX_PATH * 2) return std::wstring(buffer, n);
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer) == S_OK)
        return buffer;
    return {};
}

}  // namespace

std::string ReportFilePath() {
    const std::wstring base = LocalAppData();
    if (base.empty()) return {};
    return Narrow(base) + "\\DERodede\\relatorios.txt";
}

std::string AppendReport(const std::string& report) {
    // Keeping the report is a convenience next to the dialog that shows it: when the folder
    // or the file cannot be written, the report is still shown and nothing else is said.
    // This is the one place of the program where a failure is ignored on purpose.
    const std::string path = ReportFilePath();
    if (path.empty()) return {};
    const std::wstring wide = Wide(path);
    for (size_t slash = wide.find(L'\\', 3); slash != std::wstring::npos;
         slash = wide.find(L'\\', slash + 1))
        CreateDirectoryW(wide.substr(0, slash).c_str(), nullptr);  // existing ones fail: fine
    HANDLE file = CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    const std::string text = report + "\r\n";
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    CloseHandle(file);
    return ok ? path : std::string();
}

}  // namespace pq::derodede
