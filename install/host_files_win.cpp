#include "install/host_files_win.h"

#include <windows.h>
// windows.h first
#include <knownfolders.h>
#include <shlobj.h>

#include "base/text.h"

namespace pq::install {
namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string w = text::Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

std::string Utf8(const wchar_t* wide) {
    const std::wstring w(wide);
    return text::Utf16ToUtf8(std::u16string(w.begin(), w.end()));
}

std::string WithoutFinalSeparator(std::string folder) {
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) folder = Utf8(path);
    CoTaskMemFree(path);
    return WithoutFinalSeparator(folder);
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Wide(folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(Utf8(fd.cFileName));
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

bool HeldElsewhere(const std::string& path) {
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    const DWORD e = GetLastError();
    return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION;
}

}  // namespace

HostRedirection SystemHostRedirection() {
    HostRedirection r;
    for (const std::string& folder :
         {KnownFolder(FOLDERID_ProgramFiles), KnownFolder(FOLDERID_ProgramFilesX86)})
        if (!folder.empty()) r.redirectedFolders.push_back(folder);
    wchar_t windows[MAX_PATH];
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    if (n > 0 && n < MAX_PATH) r.redirectedFolders.push_back(WithoutFinalSeparator(Utf8(windows)));
    const std::string local = KnownFolder(FOLDERID_LocalAppData);
    if (!local.empty()) r.virtualStore = local + "\\VirtualStore";
    return r;
}

bool HostFileExists(const std::string& path) {
    const DWORD attr = GetFileAttributesW(Wide(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> HostFilesHeldElsewhere(const std::vector<std::string>& tables) {
    std::vector<std::string> held;
    for (const std::string& table : tables) {
        if (!HostFileExists(table)) continue;
        const std::string folder = FolderOf(table);
        for (const std::string& name : FilesInUseWithTable(table, Entries(folder))) {
            const std::string path = folder + "\\" + name;
            bool seen = false;
            for (const std::string& h : held) seen = seen || h == path;
            if (!seen && HeldElsewhere(path)) held.push_back(path);
        }
    }
    return held;
}

}  // namespace pq::install
