// The benchmark's system calls on Windows.
#include <windows.h>
// psapi.h needs the types of windows.h.
#include <psapi.h>

#include <chrono>
#include <stdexcept>
#include <vector>

#include "base/text.h"
#include "bench/merge/platform.h"

namespace pq::bench {
namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string w = text::Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

// One argument as the C runtime splits a command line: quoted, with backslashes before a quote
// doubled.
std::wstring Quote(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + " failed (system error " + std::to_string(GetLastError()) +
                              ")");
}

}  // namespace

uint64_t PeakResidentBytes() {
    PROCESS_MEMORY_COUNTERS c{};
    c.cb = sizeof c;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c))
        throw SystemError("GetProcessMemoryInfo");
    return c.PeakWorkingSetSize;
}

int RunSelf(const std::vector<std::string>& args) {
    std::vector<wchar_t> self(32768);
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0 || n >= self.size()) throw SystemError("GetModuleFileNameW");
    std::wstring line = Quote(std::wstring(self.data(), n));
    for (const std::string& a : args) line += L" " + Quote(Wide(a));
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(self.data(), buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &si, &pi))
        throw SystemError("CreateProcessW");
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

void SettleDisk() {}

double SequentialWriteSeconds(const std::string& path, uint64_t bytes) {
    std::vector<char> chunk(64 * 1024);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 131 + 7);
    const std::wstring wpath = Wide(path);
    const auto start = std::chrono::steady_clock::now();
    HANDLE h = CreateFileW(wpath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw SystemError(path + ": CreateFileW");
    for (uint64_t left = bytes; left > 0;) {
        const DWORD want =
            left < chunk.size() ? static_cast<DWORD>(left) : static_cast<DWORD>(chunk.size());
        DWORD put = 0;
        if (!WriteFile(h, chunk.data(), want, &put, nullptr) || put == 0) {
            const auto e = SystemError(path + ": WriteFile");
            CloseHandle(h);
            throw e;
        }
        left -= put;
    }
    CloseHandle(h);
    const auto end = std::chrono::steady_clock::now();
    DeleteFileW(wpath.c_str());
    return std::chrono::duration<double>(end - start).count();
}

}  // namespace pq::bench
