// End-to-end tests run the real InstalaPacote.exe under Wine from a medium folder of their
// own, with the scripted DERodede.dll beside it (its log shows every report), the host's
// registry entries made by the test (tests/app/farol_registry_win.h) and the program's windows
// found, read and pressed from the test.
//
//   Medium medium("caso-a");                      // temp folder with the program and the DLL
//   Installer run(medium);                        // started; killed by the destructor if alive
//   HWND box = run.WaitForWindow(L"#32770", "Pacote Lumen");
//   ...
//   EXPECT_EQ(run.WaitForExit(), 0u);
//   auto calls = medium.Reports();                // the DLL's log, parsed
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "derodede/report.h"
#include "tests/app/farol_registry_win.h"
#include "tests/app/win_test_support.h"

namespace pq::e2e {

using namespace pq::testing;

// The window titles of the program.
inline constexpr const char* kMainWindowCaption = "Pacote de Questões";
inline constexpr const char* kMessageTitle = "Pacote Lumen";
inline constexpr const char* kAgreementCaption = "Contrato de Licensa do Pacote Lumen";

inline bool CopyBuiltFile(const std::string& relative, const std::string& to) {
    return CopyFileW(Wide(BinaryDir() + "\\" + relative).c_str(), Wide(to).c_str(), FALSE) != 0;
}

// A package medium: a temporary folder holding InstalaPacote.exe and, unless told otherwise,
// the scripted DERodede.dll. Tests may add a Questoes folder to it.
class Medium {
  public:
    enum class Library { kScripted, kNone };
    explicit Medium(const std::string& name, Library library = Library::kScripted)
        : dir_("e2e-" + name) {
        if (!CopyBuiltFile("bin\\InstalaPacote.exe", Program()))
            throw std::runtime_error("cannot copy InstalaPacote.exe");
        if (library == Library::kScripted &&
            !CopyBuiltFile("bin\\scripted\\DERodede.dll", Folder() + "\\DERodede.dll"))
            throw std::runtime_error("cannot copy the scripted DERodede.dll");
    }
    const std::string& Folder() const { return dir_.Path(); }
    std::string Program() const { return Folder() + "\\InstalaPacote.exe"; }
    std::string LogPath() const { return Folder() + "\\derodede.log"; }
    std::vector<derodede::LoggedCall> Reports() const {
        return derodede::ParseLog(ReadFileBytes(LogPath()));
    }

  private:
    TempDir dir_;
};

// A host installation of the test's own: "<temp>\\Farol Exames" with FarolExames.exe and its
// Dados folder holding one folder a subject, registered by its uninstall entry where the
// host's 32-bit setup program writes it. Removed with its registry entry at the end.
class TestHost {
  public:
    TestHost(const std::string& name, const std::vector<std::string>& subjects)
        : dir_("e2e-host-" + name), folder_(MakeHostFolder(dir_.Path())) {
        entry_.PointAt(folder_);
        CreateDirectoryW(Wide(folder_ + "\\Dados").c_str(), nullptr);
        for (const std::string& s : subjects)
            CreateDirectoryW(Wide(folder_ + "\\Dados\\" + s).c_str(), nullptr);
    }
    // The host folder, without a final separator.
    const std::string& Folder() const { return folder_; }

  private:
    UninstallEntry entry_;
    TempDir dir_;
    std::string folder_;
};

// The medium's package folder Questoes, made empty.
inline std::string MakePackageFolder(const Medium& medium) {
    const std::string package = medium.Folder() + "\\Questoes";
    CreateDirectoryW(Wide(package).c_str(), nullptr);
    return package;
}

// One run of the medium's program. The scripted library logs into the medium's log file and
// answers DatabaseErrorMessage from `answers`.
class Installer {
  public:
    explicit Installer(const Medium& medium, const std::string& answers = "") {
        SetEnvironmentVariableW(L"DERODEDE_LOG", Wide(medium.LogPath()).c_str());
        SetEnvironmentVariableW(L"DERODEDE_ANSWERS", Wide(answers).c_str());
        std::wstring commandLine = L"\"" + Wide(medium.Program()) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!CreateProcessW(Wide(medium.Program()).c_str(), commandLine.data(), nullptr, nullptr,
                            FALSE, 0, nullptr, Wide(medium.Folder()).c_str(), &si, &info_))
            throw std::runtime_error("cannot start " + medium.Program());
        CloseHandle(info_.hThread);
    }
    ~Installer() {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 10000);
        }
        CloseHandle(info_.hProcess);
    }
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

    // The exit code, once the process has ended within `timeout`; STILL_ACTIVE otherwise.
    DWORD WaitForExit(DWORD timeoutMs = 20000) {
        DWORD code = STILL_ACTIVE;
        const DWORD step = 10;
        for (DWORD waited = 0; waited <= timeoutMs; waited += step) {
            NoteMainWindow();
            if (WaitForSingleObject(info_.hProcess, step) == WAIT_OBJECT_0) {
                GetExitCodeProcess(info_.hProcess, &code);
                break;
            }
        }
        return code;
    }

    // The program's visible top-level windows now.
    std::vector<HWND> VisibleWindows() const {
        struct Search {
            DWORD pid;
            std::vector<HWND> found;
        } search{info_.dwProcessId, {}};
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Search*>(p);
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid == s->pid && IsWindowVisible(w)) s->found.push_back(w);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    // A visible window of the program with that class (null: any) and title, waited for. While
    // waiting, notes whether the main window was ever seen.
    HWND WaitForWindow(const wchar_t* className, const std::string& title,
                       DWORD timeoutMs = 20000) {
        HWND found = nullptr;
        WaitFor(
            [&] {
                NoteMainWindow();
                for (HWND w : VisibleWindows()) {
                    wchar_t cls[64];
                    GetClassNameW(w, cls, 64);
                    if ((!className || std::wstring(cls) == className) && WindowText(w) == title)
                        found = w;
                }
                return found != nullptr || !Running();
            },
            std::chrono::milliseconds(timeoutMs));
        return found;
    }

    HWND WaitForMainWindow(DWORD timeoutMs = 20000) {
        return WaitForWindow(nullptr, kMainWindowCaption, timeoutMs);
    }

    // Whether the main window was visible at any of the looks taken so far.
    bool MainWindowSeen() const { return mainWindowSeen_; }

    // A left click at a client point of `window`, as the mouse gives it: move, press, release.
    static void Click(HWND window, int x, int y) {
        const LPARAM at = MAKELPARAM(x, y);
        PostMessageW(window, WM_MOUSEMOVE, 0, at);
        PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(window, WM_LBUTTONUP, 0, at);
    }

  private:
    void NoteMainWindow() {
        for (HWND w : VisibleWindows())
            if (WindowText(w) == kMainWindowCaption) mainWindowSeen_ = true;
    }

    PROCESS_INFORMATION info_{};
    bool mainWindowSeen_ = false;
};

// A child window of `parent` with that caption ("&Sim", "Cancela&r").
inline HWND ChildButton(HWND parent, const std::string& caption) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (WindowText(c) == caption) return c;
    return nullptr;
}

// Main window -> Instalar -> the agreement window; null (and a failure) when one is missing.
inline HWND OpenAgreement(Installer& run) {
    HWND main = run.WaitForMainWindow();
    EXPECT_TRUE(main) << "no main window";
    if (!main) return nullptr;
    Installer::Click(main, 228 + 64, 136 + 25);  // the middle of BtnInstalar
    HWND agreement = run.WaitForWindow(nullptr, kAgreementCaption);
    EXPECT_TRUE(agreement) << "no agreement window";
    return agreement;
}

// The program ends by itself, without ever showing the completion box.
inline void ExpectEndWithoutCompletionBox(Installer& run) {
    bool boxSeen = false;
    WaitFor(
        [&] {
            boxSeen = boxSeen || run.WaitForWindow(L"#32770", kMessageTitle, 0) != nullptr;
            return !run.Running();
        },
        std::chrono::seconds(30));
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_FALSE(boxSeen) << "the completion box was shown";
}

}  // namespace pq::e2e
