// Helpers for tests that drive real windows under Wine: waiting for a condition with a
// timeout, finding a dialog from another thread, reading and pressing its controls, paths of
// the build folder in Windows form, and screenshots of the screen into BMP files.
#pragma once

#include <shellapi.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"

namespace pq::testing {

inline std::wstring Wide(std::string_view utf8) {
    const std::u16string w = text::Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

inline std::string Narrow(std::wstring_view wide) {
    return text::Utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

// Polls `condition` every few milliseconds until it holds or `timeout` passes.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline std::string WindowText(HWND window);

// A visible top-level window of this process of `className` ("#32770" for dialogs and message
// boxes) with that exact title, waited for; null on timeout. Other test programs running at the
// same time may show windows of the same title: only this process's count.
inline HWND WaitForWindow(const wchar_t* className, const std::string& title,
                          std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    struct Search {
        const wchar_t* className;
        const std::string& title;
        HWND found;
    } search{className, title, nullptr};
    WaitFor(
        [&] {
            EnumWindows(
                [](HWND w, LPARAM p) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(p);
                    DWORD pid = 0;
                    GetWindowThreadProcessId(w, &pid);
                    wchar_t cls[64];
                    GetClassNameW(w, cls, 64);
                    if (pid == GetCurrentProcessId() && IsWindowVisible(w) &&
                        std::wstring(cls) == s->className && WindowText(w) == s->title) {
                        s->found = w;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeout);
    return search.found;
}

inline std::string WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

inline std::string ItemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    return item ? WindowText(item) : std::string("<no control>");
}

// The texts of a message box's static controls (its message), joined by line feeds.
inline std::string MessageBoxText(HWND box) {
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32];
        GetClassNameW(child, cls, 32);
        if (std::wstring(cls) == L"Static" && GetWindowTextLengthW(child) > 0)
            text += (text.empty() ? "" : "\n") + WindowText(child);
    }
    return text;
}

// Presses a dialog button as a click would (BM_CLICK), from any thread.
inline void PressButton(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// The build folder in Windows form ("Z:\work\...\build\app-win" for a Linux path).
inline std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

#ifdef PQ_BINARY_DIR
inline std::string BinaryDir() {
    return WindowsPath(PQ_BINARY_DIR);
}
// Where test runs keep their screenshots: <build folder>\screenshots.
inline std::string ScreenshotDir() {
    const std::string dir = BinaryDir() + "\\screenshots";
    CreateDirectoryW(Wide(dir).c_str(), nullptr);
    return dir;
}
#endif

// Copies the screen rectangle of `window` (the whole screen for null) into a 24-bit BMP file.
// Returns false when the capture or the file fails.
inline bool SaveScreenshot(HWND window, const std::string& path) {
    RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (window) {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        GetWindowRect(window, &r);
    }
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;  // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        SelectObject(memory, old);
        const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
        const DWORD imageSize = stride * static_cast<DWORD>(h);
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        info.bmiHeader.biSizeImage = imageSize;
        if (ok) {
            FILE* out = _wfopen(Wide(path).c_str(), L"wb");
            ok = out && fwrite(&file, sizeof file, 1, out) == 1 &&
                 fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                 fwrite(bits, imageSize, 1, out) == 1;
            if (out) ok = fclose(out) == 0 && ok;
        }
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

// Reads a whole file (UTF-8 path); "" when it is missing.
inline std::string ReadFileBytes(const std::string& path) {
    std::string data;
    if (FILE* in = _wfopen(Wide(path).c_str(), L"rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) data.append(buffer, n);
        fclose(in);
    }
    return data;
}

// A fresh empty temporary folder, removed with its files by the destructor.
class TempDir {
  public:
    explicit TempDir(const std::string& name) {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = Narrow(base) + "pq-" + name + "-" + std::to_string(GetCurrentProcessId());
        Remove();
        CreateDirectoryW(Wide(path_).c_str(), nullptr);
    }
    // A folder at a fixed place outside the temporary folder (its parent must exist), emptied
    // now and removed at the end, like the others.
    struct At {
        std::string path;
    };
    explicit TempDir(At at) : path_(std::move(at.path)) {
        Remove();
        CreateDirectoryW(Wide(path_).c_str(), nullptr);
    }
    ~TempDir() { Remove(); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }

  private:
    void Remove() {
        std::wstring from = Wide(path_);
        from.push_back(L'\0');  // SHFileOperation wants a double NUL
        SHFILEOPSTRUCTW op{};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        SHFileOperationW(&op);
    }
    std::string path_;
};

}  // namespace pq::testing
