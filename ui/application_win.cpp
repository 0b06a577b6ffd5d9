#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include "base/text.h"
#include "ui/application.h"
#include "ui/std_controls.h"

namespace ui {

extern const UINT kReleaseFormMessage;
HCURSOR ScreenCursorHandle(Cursor c);

namespace {

Application* g_app = nullptr;
const wchar_t kAppClass[] = L"PQApplication";

// Makes the screen cursor visible now: a busy cursor is set at once; going back to the default
// asks the window under the pointer for its own cursor, as a pointer move would.
void ApplyScreenCursor(Cursor c) {
    if (c != crDefault) {
        ::SetCursor(ScreenCursorHandle(c));
        return;
    }
    POINT p;
    GetCursorPos(&p);
    HWND h = WindowFromPoint(p);
    if (h && GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId()) {
        LRESULT hit = SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
        SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(hit, WM_MOUSEMOVE));
    } else {
        ::SetCursor(ScreenCursorHandle(crDefault));
    }
}

Form* FormOfWindow(HWND h) {
    if (!h) return nullptr;
    HWND root = GetAncestor(h, GA_ROOT);
    return dynamic_cast<Form*>(WinControl::FromHandle(root));
}

}  // namespace

Application* AppOrNull() {
    return g_app;
}

Application& App() {
    if (!g_app) throw pq::EInvalidOperation("There is no application object");
    return *g_app;
}

Application::Application() : Component(nullptr) {
    if (g_app) throw pq::EInvalidOperation("An application object exists already");
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX),
                             ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Application::AppWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), L"MAINICON");
        wc.lpszClassName = kAppClass;
        RegisterClassW(&wc);
        registered = true;
    }
    hwnd_ = CreateWindowExW(0, kAppClass, L"", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) throw pq::EOSError("Cannot create the application window");
    g_app = this;
    SetName("Application");
    RegisterStandardKinds(Kinds());
    SetScreenCursorApplier(&ApplyScreenCursor);
}

Application::~Application() {
    DestroyComponents();
    SetScreenCursorApplier(nullptr);
    if (hwnd_) DestroyWindow(hwnd_);
    g_app = nullptr;
}

std::string Application::Title() const {
    int n = GetWindowTextLengthW(hwnd_);
    std::u16string w(static_cast<size_t>(n) + 1, u'\0');
    n = GetWindowTextW(hwnd_, reinterpret_cast<LPWSTR>(w.data()), n + 1);
    w.resize(static_cast<size_t>(n < 0 ? 0 : n));
    return pq::text::Utf16ToUtf8(w);
}

void Application::SetTitle(std::string_view title) {
    std::u16string w = pq::text::Utf8ToUtf16(title);
    SetWindowTextW(hwnd_, reinterpret_cast<LPCWSTR>(w.c_str()));
}

void Application::Run() {
    if (!mainForm_) return;
    try {
        if (showMainForm_ && !terminated_) mainForm_->Show();
    } catch (...) {
        HandleException(*this, std::current_exception());
    }
    while (!terminated_) HandleMessage();
}

void Application::Terminate() {
    terminated_ = true;
    // Wakes a loop that waits for messages.
    PostMessageW(hwnd_, WM_NULL, 0, 0);
}

void Application::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

void Application::HandleMessage(DWORD timeoutMs) {
    if (ProcessMessage()) return;
    Idle();
    if (!terminated_)
        MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

bool Application::ProcessMessage() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    try {
        bool used = false;
        if (msg.message == WM_KEYDOWN || msg.message == WM_CHAR || msg.message == WM_SYSCHAR) {
            if (Form* f = FormOfWindow(msg.hwnd); f && IsWindowEnabled(f->Handle()))
                used = f->HandleDialogKey(msg);
        }
        if (!used) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    } catch (...) {
        HandleException(*this, std::current_exception());
    }
    return true;
}

GraphicControl* Application::CaptureControl() const {
    WinControl* w = WinControl::FromHandle(GetCapture());
    return w ? w->captureControl_ : nullptr;
}

void Application::Idle() {
    try {
        POINT p;
        Control* target = nullptr;
        if (GetCursorPos(&p)) {
            HWND h = WindowFromPoint(p);
            WinControl* w = WinControl::FromHandle(h);
            if (w && GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId()) {
                POINT c = p;
                ::ScreenToClient(h, &c);
                GraphicControl* g = w->ControlAtPoint({c.x, c.y}, true);
                target = g ? static_cast<Control*>(g) : w;
            }
        }
        Control* capture = CaptureControl();
        if (!capture) capture = WinControl::FromHandle(GetCapture());
        if (target != mouseControl_) {
            Control* old = mouseControl_;
            mouseControl_ = target;
            // While a control holds the capture, only it hears of the pointer.
            if (old && (!capture || old == capture)) old->MouseLeave();
            if (target && target == mouseControl_ && (!capture || target == capture))
                target->MouseEnter();
        }
    } catch (...) {
        HandleException(*this, std::current_exception());
    }
}

void Application::ControlDestroyed(Control* control) {
    if (mouseControl_ == control) mouseControl_ = nullptr;
    if (mainForm_ == control) mainForm_ = nullptr;
}

void Application::HandleException(Object& sender, std::exception_ptr e) noexcept {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        HandleException(sender, ex);
    } catch (...) {
        HandleException(sender, pq::Exception("Unknown exception"));
    }
}

void Application::HandleException(Object& sender, const std::exception& e) noexcept {
    if (dynamic_cast<const pq::EAbort*>(&e)) return;
    ++handlingException_;
    try {
        if (OnException)
            OnException(sender, e);
        else
            ShowException(e);
    } catch (const std::exception& second) {
        // The handler itself failed: the default box tells of it, and the loop goes on.
        try {
            if (!dynamic_cast<const pq::EAbort*>(&second)) ShowException(second);
        } catch (...) {
        }
    } catch (...) {
    }
    --handlingException_;
}

void Application::ShowException(const std::exception& e) {
    std::string text = e.what();
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    MessageBox(text, Title(), MB_OK | MB_ICONSTOP);
}

int Application::MessageBox(std::string_view text, std::string_view title, int flags) {
    HWND owner = GetActiveWindow();
    if (!owner || !WinControl::FromHandle(owner)) owner = hwnd_;
    std::u16string t = pq::text::Utf8ToUtf16(text);
    std::u16string c = pq::text::Utf8ToUtf16(title.empty() ? std::string_view(Title()) : title);
    // The box is modal for every window of the program, not just its owner.
    std::vector<HWND> disabled;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM list) -> BOOL {
            if (IsWindowVisible(h) && IsWindowEnabled(h)) {
                EnableWindow(h, FALSE);
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(h);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&disabled));
    int r = ::MessageBoxW(owner, reinterpret_cast<LPCWSTR>(t.c_str()),
                          reinterpret_cast<LPCWSTR>(c.c_str()), static_cast<UINT>(flags));
    for (HWND h : disabled)
        if (IsWindow(h)) EnableWindow(h, TRUE);
    if (owner != hwnd_ && IsWindow(owner)) SetActiveWindow(owner);
    return r;
}

LRESULT CALLBACK Application::AppWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kReleaseFormMessage) {
        try {
            Form::ReleasePosted(reinterpret_cast<Form*>(lParam));
        } catch (...) {
            if (g_app) g_app->HandleException(*g_app, std::current_exception());
        }
        return 0;
    }
    if (msg == WM_CLOSE) {
        if (g_app) g_app->Terminate();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace ui
