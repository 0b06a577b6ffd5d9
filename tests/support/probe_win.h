// lock_probe.exe, the other process of the tests that need one (tests/reliability/
// lock_probe_win.cpp), started from beside the test program with its output read through a
// pipe; terminated when the object ends.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "base/text.h"

namespace pq::testing {

class Probe {
  public:
    Probe(const char* verb, const std::string& path) {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        HANDLE write = nullptr;
        if (!CreatePipe(&read_, &write, &sa, 0)) throw std::runtime_error("pipe");
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring exe = self;
        exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"lock_probe.exe";
        const std::u16string arguments = text::Utf8ToUtf16(std::string(verb) + " \"" + path + "\"");
        std::wstring command =
            L"\"" + exe + L"\" " + std::wstring(arguments.begin(), arguments.end());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = write;
        si.hStdError = write;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                            nullptr, &si, &info_))
            throw std::runtime_error("cannot start lock_probe.exe");
        CloseHandle(write);
        CloseHandle(info_.hThread);
    }
    ~Probe() {
        Terminate();
        CloseHandle(info_.hProcess);
        CloseHandle(read_);
    }
    // The probe's first line (blocks until it is written or the probe ends).
    std::string Line() {
        std::string line;
        char c;
        DWORD got = 0;
        while (ReadFile(read_, &c, 1, &got, nullptr) && got == 1 && c != '\n')
            if (c != '\r') line += c;
        return line;
    }
    DWORD Exit() {
        WaitForSingleObject(info_.hProcess, 30000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    void Terminate() {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 137);
            WaitForSingleObject(info_.hProcess, 30000);
        }
    }

  private:
    HANDLE read_ = nullptr;
    PROCESS_INFORMATION info_{};
};

}  // namespace pq::testing
