// lock_probe: the other process of the Windows locking test (lock_win_test.cpp).
//   lock_probe hold TABLE   opens the table for writing, prints "held" and waits to be killed
//   lock_probe try TABLE    opens it for writing: prints "opened" (exit 0) or the lock error's
//                           message (exit 3); any other failure: its message, exit 1
//   lock_probe share FILE   opens the file as another table engine keeps its files open (read
//                           and write, sharing both), prints "held" and waits to be killed
#include <windows.h>
// windows.h first
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/table.h"

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3) return 2;
    const std::wstring verb = argv[1];
    const std::wstring wide = argv[2];
    const std::string path = pq::text::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
    if (verb == L"share") {
        HANDLE f = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) {
            std::printf("cannot open (system error %lu)\n", GetLastError());
            return 1;
        }
        std::printf("held\n");
        std::fflush(stdout);
        for (;;) Sleep(INFINITE);
    }
    try {
        auto t = pq::paradox::Table::Open(pq::paradox::OsFileSystem(), path);
        if (verb == L"hold") {
            std::printf("held\n");
            std::fflush(stdout);
            for (;;) Sleep(INFINITE);
        }
        std::printf("opened\n");
        return 0;
    } catch (const pq::paradox::LockedError& e) {
        std::printf("%s\n", e.what());
        return 3;
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 1;
    }
}
