// bench_install: times the whole installation of a package by the real InstalaPacote.exe and
// measures how long its window goes without processing messages meanwhile.
//
//   bench_install --medium DIR --host DIR [--csv PATH] [--timeout SECONDS] [--pause MS]
//
// MEDIUM holds InstalaPacote.exe, DERodede.dll and Questoes\ (make_install_case lays the
// tables out); HOST is the host's folder. The program points the host's uninstall entry at
// HOST, starts the installer from MEDIUM, presses Instalar and then Sim, and from that press
// sends the progress window one message after the other (WM_NULL, answered as soon as the
// installer processes its pending messages): the longest wait for an answer is the longest
// gap between two processed message batches. The run ends when the completion box shows; its
// OK is pressed and the program must end with exit code 0.
//
// Each answer costs the installer a message from another process, which under Wine is a round
// trip through its server. --pause MS waits that long between two messages, to see what the
// messages themselves cost the installation; gaps shorter than the pause can then go unseen,
// so the longest gap is measured with no pause (the default).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Farol Exames";
constexpr char kMainCaption[] = "Pacote de Questões";
constexpr char kAgreementCaption[] = "Contrato de Licensa do Pacote Lumen";
constexpr char kProgressCaption[] = "Instalando Pacote Lumen";
constexpr char kMessageTitle[] = "Pacote Lumen";
constexpr char kCompletion[] =
    "As questões foram instaladas com sucesso. Execute novamente o Farol Exames para "
    "utilizá-las.";

std::wstring Wide(const std::string& utf8) {
    const std::u16string w = pq::text::Utf8ToUtf16(utf8);
    return std::wstring(w.begin(), w.end());
}

std::string WindowText(HWND w) {
    wchar_t buffer[512];
    const int n = GetWindowTextW(w, buffer, 512);
    return pq::text::Utf16ToUtf8(std::u16string(buffer, buffer + std::max(n, 0)));
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

class Run {
  public:
    Run(const std::string& medium) {
        const std::wstring program = Wide(medium + "\\InstalaPacote.exe");
        std::wstring line = L"\"" + program + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            Wide(medium).c_str(), &si, &info_))
            throw std::runtime_error("cannot start " + medium + "\\InstalaPacote.exe");
        CloseHandle(info_.hThread);
    }
    ~Run() {
        if (Running()) TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hProcess);
    }
    bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

    // A visible top-level window of the installer with that class (null: any) and caption.
    HWND Find(const wchar_t* className, const std::string& caption) const {
        struct Search {
            DWORD pid;
            const wchar_t* cls;
            const std::string* caption;
            HWND found;
        } s{info_.dwProcessId, className, &caption, nullptr};
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Search*>(p);
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid != s->pid || !IsWindowVisible(w)) return TRUE;
                wchar_t cls[64];
                GetClassNameW(w, cls, 64);
                if (s->cls && std::wstring(cls) != s->cls) return TRUE;
                if (WindowText(w) != *s->caption) return TRUE;
                s->found = w;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&s));
        return s.found;
    }

    HWND WaitFor(const wchar_t* className, const std::string& caption,
                 Clock::duration timeout) const {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end && Running()) {
            if (HWND w = Find(className, caption)) return w;
            std::this_thread::sleep_for(10ms);
        }
        throw std::runtime_error("the window \"" + caption + "\" did not show");
    }

    DWORD WaitForExit(Clock::duration timeout) const {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count();
        if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0)
            throw std::runtime_error("the installer did not end");
        DWORD code = 1;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

  private:
    PROCESS_INFORMATION info_{};
};

HWND Child(HWND parent, const std::string& caption) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (WindowText(c) == caption) return c;
    return nullptr;
}

std::string MessageText(HWND box) {
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[64];
        GetClassNameW(c, cls, 64);
        const std::string text = WindowText(c);
        if (std::wstring(cls) == L"Static" && !text.empty()) return text;
    }
    return "";
}

void PointUninstallEntryAt(const std::string& host) {
    HKEY key;
    // Where the host's 32-bit setup program writes it.
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot write the host's uninstall entry");
    const std::wstring command =
        Wide("\"" + host + "\\unins000.exe\" -c\"" + host + "\\Uninst.log\"");
    RegSetValueExW(key, L"UninstallString", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

int Main(int argc, char** argv) {
    std::string medium, host, csv;
    int timeout = 600;
    int pauseMs = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--medium")
            medium = argv[i + 1];
        else if (opt == "--host")
            host = argv[i + 1];
        else if (opt == "--csv")
            csv = argv[i + 1];
        else if (opt == "--timeout")
            timeout = std::stoi(argv[i + 1]);
        else if (opt == "--pause")
            pauseMs = std::stoi(argv[i + 1]);
        else
            throw std::invalid_argument("unknown option " + opt);
    }
    if (medium.empty() || host.empty() || argc % 2 == 0)
        throw std::invalid_argument(
            "usage: bench_install --medium DIR --host DIR [--csv PATH] [--timeout SECONDS] "
            "[--pause MS]");
    PointUninstallEntryAt(host);

    Run run(medium);
    HWND main = run.WaitFor(nullptr, kMainCaption, 60s);
    // The middle of BtnInstalar, as a mouse gives it.
    const LPARAM at = MAKELPARAM(228 + 64, 136 + 25);
    PostMessageW(main, WM_MOUSEMOVE, 0, at);
    PostMessageW(main, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(main, WM_LBUTTONUP, 0, at);
    HWND agreement = run.WaitFor(nullptr, kAgreementCaption, 60s);
    HWND sim = Child(agreement, "&Sim");
    if (!sim) throw std::runtime_error("the agreement window has no Sim button");

    const auto start = Clock::now();
    PostMessageW(sim, BM_CLICK, 0, 0);
    HWND progress = run.WaitFor(nullptr, kProgressCaption, 60s);
    const auto shown = Clock::now();

    // One message after the other until the completion box shows; the box is looked for
    // between messages, at most every 50 ms.
    Clock::duration longest{};
    uint64_t probes = 0;
    HWND box = nullptr;
    auto lastLook = Clock::now();
    const auto deadline = start + std::chrono::seconds(timeout);
    while (!box) {
        if (!run.Running()) throw std::runtime_error("the installer ended before completing");
        if (Clock::now() > deadline) throw std::runtime_error("the installation took too long");
        const auto sent = Clock::now();
        DWORD_PTR answer = 0;
        if (SendMessageTimeoutW(progress, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer))
            longest = std::max(longest, Clock::now() - sent);
        else if (IsWindow(progress))
            throw std::runtime_error("the progress window did not answer for 60 s");
        ++probes;
        if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        if (Clock::now() - lastLook > 50ms) {
            box = run.Find(L"#32770", kMessageTitle);
            lastLook = Clock::now();
        }
    }
    const auto done = Clock::now();
    const std::string text = MessageText(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    const DWORD code = run.WaitForExit(60s);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY, 0);
    if (text != kCompletion) throw std::runtime_error("the installer ended with: " + text);
    if (code != 0) throw std::runtime_error("the installer's exit code: " + std::to_string(code));

    const double total = Seconds(done - start);
    const double gapMs = Seconds(longest) * 1000;
    std::printf(
        "installation: %.2f s from Sim to the completion box (progress window after %.2f s)\n",
        total, Seconds(shown - start));
    if (pauseMs > 0)
        std::printf(
            "longest wait for an answer: %.1f ms (%llu probes %d ms apart: not the longest "
            "gap, which a pause can hide)\n",
            gapMs, static_cast<unsigned long long>(probes), pauseMs);
    else
        std::printf("longest gap between two processed message batches: %.1f ms (%llu probes)\n",
                    gapMs, static_cast<unsigned long long>(probes));
    if (!csv.empty()) {
        std::ofstream out(csv, std::ios::binary | std::ios::trunc);
        out << "install_s,longest_gap_ms,probes\n"
            << total << ',' << gapMs << ',' << probes << '\n';
        if (!out) throw std::runtime_error(csv + ": cannot be written");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_install: %s\n", e.what());
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY, 0);
        return 1;
    }
}
