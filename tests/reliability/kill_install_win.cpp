// kill_install: runs the real installer under Wine through its installation and terminates it
// at a moment the kill harness chose (tools/reliability.sh).
//
//   kill_install MEDIUM HOST DELAY_MS
//   kill_install MEDIUM HOST done      waits for the completion box instead (a reference run)
//
// MEDIUM holds InstalaPacote.exe, the scripted DERodede.dll and the package's Questoes folder;
// HOST is the host installation (FarolExames.exe, Dados\...), pointed at by the uninstall
// entry made here for the run. The program is started from MEDIUM, driven through its main
// window and licence agreement like a user would, and DELAY_MS after its progress window shows
// it is terminated (TerminateProcess: no code of the program runs after it). Just before, the
// two progress bars are read; they move only after saves that returned. Prints
//   killed SLOT POSITION   the table slot being merged (the general bar) and its records done
//   completed              the installation had finished (the completion box was showing)
//   completed MS           (done) the completion box came MS milliseconds after the progress
//                          window
// Exit 0, or 1 when the program could not be driven (a window missing).
#include <windows.h>
// windows.h first
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/app/farol_registry_win.h"
#include "tests/app/win_test_support.h"

namespace pq::testing {
namespace {

constexpr const char* kMainCaption = "Pacote de Questões";
constexpr const char* kAgreementCaption = "Contrato de Licensa do Pacote Lumen";
constexpr const char* kProgressCaption = "Instalando Pacote Lumen";
constexpr const char* kMessageTitle = "Pacote Lumen";

// The visible top-level window of `pid` with that title (and class, unless null).
HWND FindWindowOf(DWORD pid, const wchar_t* className, const std::string& title) {
    struct Search {
        DWORD pid;
        const wchar_t* className;
        const std::string& title;
        HWND found;
    } search{pid, className, title, nullptr};
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            wchar_t cls[64];
            GetClassNameW(w, cls, 64);
            if (owner == s->pid && IsWindowVisible(w) &&
                (!s->className || std::wstring(cls) == s->className) && WindowText(w) == s->title) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Child(HWND parent, const wchar_t* className, const std::string& caption) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[64];
        GetClassNameW(c, cls, 64);
        if ((!className || std::wstring(cls) == className) &&
            (caption.empty() || WindowText(c) == caption))
            return c;
    }
    return nullptr;
}

// The progress window's bars, MedidorParcial above MedidorGeral.
bool Bars(HWND window, HWND* partial, HWND* general) {
    std::vector<std::pair<LONG, HWND>> bars;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[64];
        GetClassNameW(c, cls, 64);
        if (std::wstring(cls) == L"msctls_progress32") {
            RECT r;
            GetWindowRect(c, &r);
            bars.push_back({r.top, c});
        }
    }
    if (bars.size() != 2) return false;
    if (bars[0].first > bars[1].first) std::swap(bars[0], bars[1]);
    *partial = bars[0].second;
    *general = bars[1].second;
    return true;
}

// A bar's position, answered by the installer when it next processes its messages (once per
// record during a merge). -1 when it did not answer.
long Position(HWND bar) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 10000, &result)) return -1;
    return static_cast<long>(result);
}

// delayMs < 0: wait for the completion box.
int Run(const std::string& medium, const std::string& host, long delayMs) {
    UninstallEntry entry;
    entry.PointAt(host);
    SetEnvironmentVariableW(L"DERODEDE_LOG", Wide(medium + "\\derodede.log").c_str());
    SetEnvironmentVariableW(L"DERODEDE_ANSWERS", L"");
    const std::string program = medium + "\\InstalaPacote.exe";
    std::wstring commandLine = L"\"" + Wide(program) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(Wide(program).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, Wide(medium).c_str(), &si, &pi)) {
        std::printf("cannot start %s\n", program.c_str());
        return 1;
    }
    CloseHandle(pi.hThread);
    const DWORD pid = pi.dwProcessId;
    auto fail = [&](const char* what) {
        std::printf("%s\n", what);
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hProcess);
        return 1;
    };
    auto waitFor = [&](const wchar_t* cls, const char* title) {
        HWND found = nullptr;
        WaitFor([&] { return (found = FindWindowOf(pid, cls, title)) != nullptr; },
                std::chrono::seconds(60));
        return found;
    };
    HWND main = waitFor(nullptr, kMainCaption);
    if (!main) return fail("no main window");
    // The middle of BtnInstalar: move, press, release, as the mouse gives them.
    const LPARAM at = MAKELPARAM(228 + 64, 136 + 25);
    PostMessageW(main, WM_MOUSEMOVE, 0, at);
    PostMessageW(main, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(main, WM_LBUTTONUP, 0, at);
    HWND agreement = waitFor(nullptr, kAgreementCaption);
    if (!agreement) return fail("no agreement window");
    PostMessageW(Child(agreement, nullptr, "&Sim"), BM_CLICK, 0, 0);
    HWND progress = waitFor(nullptr, kProgressCaption);
    if (!progress) return fail("no progress window");
    HWND partial = nullptr, general = nullptr;
    if (!Bars(progress, &partial, &general)) return fail("no progress bars");

    if (delayMs < 0) {
        const DWORD start = GetTickCount();
        const bool done =
            WaitFor([&] { return FindWindowOf(pid, L"#32770", kMessageTitle) != nullptr; },
                    std::chrono::minutes(10));
        if (!done) return fail("no completion box");
        std::printf("completed %lu\n", static_cast<unsigned long>(GetTickCount() - start));
        TerminateProcess(pi.hProcess, 137);
        WaitForSingleObject(pi.hProcess, 10000);
        CloseHandle(pi.hProcess);
        return 0;
    }
    // The chosen moment (not a wait for a condition: the kill is meant to land anywhere).
    Sleep(static_cast<DWORD>(delayMs));
    if (FindWindowOf(pid, L"#32770", kMessageTitle)) {
        std::printf("completed\n");
    } else {
        // Slot and position read at the same point of the merge: the general bar only moves
        // between tables, where no messages are processed.
        long slot = -1, position = -1;
        for (int tries = 0; tries < 100; ++tries) {
            const long g1 = Position(general);
            position = Position(partial);
            const long g2 = Position(general);
            if (g1 == g2 && g1 >= 0 && position >= 0) {
                slot = g1;
                break;
            }
        }
        TerminateProcess(pi.hProcess, 137);
        if (slot < 0) {
            WaitForSingleObject(pi.hProcess, 10000);
            CloseHandle(pi.hProcess);
            std::printf("the bars did not answer\n");
            return 1;
        }
        std::printf(slot >= 16 ? "completed\n" : "killed %ld %ld\n", slot, position);
    }
    TerminateProcess(pi.hProcess, 137);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    return 0;
}

}  // namespace
}  // namespace pq::testing

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) {
        std::fprintf(stderr, "usage: kill_install MEDIUM HOST DELAY_MS\n");
        return 2;
    }
    const std::wstring delay = argv[3];
    return pq::testing::Run(pq::testing::Narrow(argv[1]), pq::testing::Narrow(argv[2]),
                            delay == L"done" ? -1L : _wtol(argv[3]));
}
