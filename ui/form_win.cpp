#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <set>

#include "base/text.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/icon_file.h"
#include "ui/resources.h"
#include "ui/std_controls.h"

namespace ui {

// The application window's message that frees a released form (see Form::Release).
extern const UINT kReleaseFormMessage;
const UINT kReleaseFormMessage = WM_APP + 0x101;

namespace {

// The form's private message that runs a dialog key inside its window procedure, so that an
// exception from the click it causes is reported with the form as sender.
const UINT kDialogKeyMessage = WM_APP + 0x102;

std::set<Form*>& LiveForms() {
    static std::set<Form*> forms;
    return forms;
}

void StyleOf(BorderStyle b, DWORD& style, DWORD& exStyle) {
    style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    exStyle = 0;
    switch (b) {
        case bsNone:
            break;
        case bsSingle:
            style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
            break;
        case bsSizeable:
            style |= WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
            break;
        case bsDialog:
            style |= WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
            exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
            break;
        case bsToolWindow:
            style |= WS_CAPTION | WS_SYSMENU;
            exStyle |= WS_EX_TOOLWINDOW;
            break;
        case bsSizeToolWin:
            style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
            exStyle |= WS_EX_TOOLWINDOW;
            break;
    }
}

// Disables the visible, enabled top-level windows of this thread except `keep`; the result
// enables them again.
class DisabledWindows {
  public:
    explicit DisabledWindows(HWND keep) : keep_(keep) {
        EnumThreadWindows(GetCurrentThreadId(), &DisabledWindows::Visit,
                          reinterpret_cast<LPARAM>(this));
    }
    ~DisabledWindows() {
        for (HWND h : windows_)
            if (IsWindow(h)) EnableWindow(h, TRUE);
    }
    DisabledWindows(const DisabledWindows&) = delete;
    DisabledWindows& operator=(const DisabledWindows&) = delete;

  private:
    static BOOL CALLBACK Visit(HWND h, LPARAM self) {
        auto* d = reinterpret_cast<DisabledWindows*>(self);
        if (h != d->keep_ && IsWindowVisible(h) && IsWindowEnabled(h)) {
            EnableWindow(h, FALSE);
            d->windows_.push_back(h);
        }
        return TRUE;
    }
    HWND keep_;
    std::vector<HWND> windows_;
};

// The mnemonic character of a caption ("&Sim" -> 's'), or 0.
wchar_t MnemonicOf(const std::string& caption) {
    std::u16string w = pq::text::Utf8ToUtf16(caption);
    for (size_t i = 0; i + 1 < w.size(); ++i) {
        if (w[i] != u'&') continue;
        if (w[i + 1] == u'&') {
            ++i;
            continue;
        }
        return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(w[i + 1])));
    }
    return 0;
}

void CollectTabStops(const WinControl& parent, std::vector<WinControl*>& out) {
    std::vector<WinControl*> children;
    for (Control* c : parent.Controls())
        if (auto* w = dynamic_cast<WinControl*>(c)) children.push_back(w);
    std::stable_sort(children.begin(), children.end(),
                     [](WinControl* a, WinControl* b) { return a->TabOrder() < b->TabOrder(); });
    for (WinControl* w : children) {
        if (w->TabStop()) out.push_back(w);
        CollectTabStops(*w, out);
    }
}

void CollectButtons(const WinControl& parent, std::vector<TButton*>& out) {
    for (Control* c : parent.Controls()) {
        if (auto* b = dynamic_cast<TButton*>(c)) out.push_back(b);
        if (auto* w = dynamic_cast<WinControl*>(c)) CollectButtons(*w, out);
    }
}

LRESULT DialogCode(HWND focus, const MSG& msg) {
    if (!focus) return 0;
    // No message pointer: given one, a multi-line EDIT takes itself to be inside a dialog box
    // and answers Esc by closing its parent.
    return SendMessageW(focus, WM_GETDLGCODE, msg.wParam, 0);
}

}  // namespace

Form::Form(Component* owner) : WinControl(owner) {
    LiveForms().insert(this);
    SetColor(clBtnFace);
    visible_ = false;
}

Form::~Form() {
    LiveForms().erase(this);
    if (OnDestroy) {
        try {
            OnDestroy(*this);
        } catch (...) {
            if (Application* app = AppOrNull())
                app->HandleException(*this, std::current_exception());
        }
    }
    // The controls go first, while the form's own members are still whole.
    DestroyComponents();
    defaultButton_ = cancelButton_ = nullptr;
    activeControl_ = nullptr;
}

std::string Form::DefinitionName() const {
    std::string n = ClassName();
    if (!n.empty() && n[0] == 'T') n.erase(0, 1);
    return n + ".form";
}

std::string Form::DefinitionText() const {
    std::vector<uint8_t> bytes = LoadResourceFile(DefinitionName());
    return std::string(bytes.begin(), bytes.end());
}

void Form::InitializeForm() {
    DWORD style, exStyle;
    StyleOf(borderStyle_, style, exStyle);
    Application* app = AppOrNull();
    CreateWindowHandle(nullptr, style, exStyle, app ? app->Handle() : nullptr);
    SetFont("MS Sans Serif", -11);

    Bindings bindings;
    DeclareBindings(bindings);
    std::string source = DefinitionName();
    FormNode root = ParseFormDefinition(DefinitionText(), source);
    LoadContext context;
    context.source = source;
    context.loadFile = [](const std::string& file) { return LoadResourceFile(file); };
    LoadForm(root, *this, ClassName(), BaseKind(), Kinds(), bindings, context);
    created_ = true;

    // A failure of the creation handler is reported, and the form lives on (as a form whose
    // creation handler failed always has).
    if (OnCreate) {
        try {
            OnCreate(*this);
        } catch (...) {
            if (app) app->HandleException(*this, std::current_exception());
        }
    }
    if (showAfterCreate_ && !visible_) Show();
}

void Form::SetBorderStyle(BorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    ApplyStyle();
}

void Form::ApplyStyle() {
    if (!Handle()) return;
    DWORD style, exStyle;
    StyleOf(borderStyle_, style, exStyle);
    LONG_PTR old = GetWindowLongPtrW(Handle(), GWL_STYLE);
    int cw = clientWidth_, ch = clientHeight_;
    SetWindowLongPtrW(Handle(), GWL_STYLE,
                      static_cast<LONG_PTR>(style) | (old & (WS_VISIBLE | WS_DISABLED)));
    SetWindowLongPtrW(Handle(), GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    clientWidth_ = cw;
    clientHeight_ = ch;
    ApplyClientSize();
}

void Form::SetClientWidth(int width) {
    clientWidth_ = width < 0 ? 0 : width;
    ApplyClientSize();
}

void Form::SetClientHeight(int height) {
    clientHeight_ = height < 0 ? 0 : height;
    ApplyClientSize();
}

void Form::ApplyClientSize() {
    if (!Handle()) return;
    RECT r{0, 0, clientWidth_, clientHeight_};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(Handle(), GWL_EXSTYLE)));
    int cw = clientWidth_, ch = clientHeight_;
    SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The window's answer (WM_SIZE) may differ while the frame is being changed; the asked
    // client size is what the form keeps.
    clientWidth_ = cw;
    clientHeight_ = ch;
}

void Form::SetBounds(int left, int top, int width, int height) {
    WinControl::SetBounds(left, top, width, height);
    if (Handle()) {
        RECT c;
        GetClientRect(Handle(), &c);
        clientWidth_ = c.right;
        clientHeight_ = c.bottom;
    }
}

void Form::BoundsChanged(const Rect& old) {
    WinControl::BoundsChanged(old);
}
void Form::CaptionChanged() {
    WinControl::CaptionChanged();
}

void Form::SetIcon(std::span<const uint8_t> icoFile) {
    std::vector<IconImage> images = ReadIconFile(icoFile);
    auto make = [&](int size) {
        const IconImage& img = BestIconImage(images, size);
        return ScopedIcon(CreateIconFromResourceEx(const_cast<PBYTE>(img.bytes.data()),
                                                   static_cast<DWORD>(img.bytes.size()), TRUE,
                                                   0x00030000, size, size, LR_DEFAULTCOLOR));
    };
    iconBig_ = make(GetSystemMetrics(SM_CXICON));
    iconSmall_ = make(GetSystemMetrics(SM_CXSMICON));
    if (!iconBig_) throw EInvalidGraphic("Icon image is not valid");
    if (Handle()) {
        SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(iconBig_.get()));
        SendMessageW(Handle(), WM_SETICON, ICON_SMALL,
                     reinterpret_cast<LPARAM>(iconSmall_ ? iconSmall_.get() : iconBig_.get()));
    }
}

void Form::SetVisible(bool visible) {
    if (!created_) {
        // During loading: Visible = True shows the form once its creation is over.
        showAfterCreate_ = visible;
        return;
    }
    if (visible) {
        if (!visible_) {
            DoShow();
        } else {
            SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
        return;
    }
    if (!visible_) return;
    visible_ = false;
    if (OnHide) OnHide(*this);
    ShowWindow(Handle(), SW_HIDE);
}

void Form::DoShow() {
    if (!shownOnce_ && position_ == poScreenCenter) {
        int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        SetBounds((sw - Width()) / 2, (sh - Height()) / 2, Width(), Height());
    }
    shownOnce_ = true;
    // OnShow runs before the window appears, so a shape given to it there is in place.
    if (OnShow) OnShow(*this);
    visible_ = true;
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
    FocusFirst();
}

void Form::FocusFirst() {
    if (activeControl_ && activeControl_->CanFocus()) {
        activeControl_->SetFocus();
        return;
    }
    std::vector<WinControl*> stops;
    CollectTabStops(*this, stops);
    for (WinControl* w : stops)
        if (w->CanFocus()) {
            w->SetFocus();
            return;
        }
    ::SetFocus(Handle());
}

void Form::SetActiveControl(WinControl* control) {
    activeControl_ = control;
    // The default frame goes with the focus: on the focused button, else on the default one.
    std::vector<TButton*> buttons;
    CollectButtons(*this, buttons);
    auto* focusedButton = dynamic_cast<TButton*>(control);
    for (TButton* b : buttons)
        b->ShowDefaultFrame(focusedButton ? b == focusedButton : b == defaultButton_);
}

void Form::SetDefaultButton(TButton* b, bool on) {
    if (on) {
        defaultButton_ = b;
    } else if (defaultButton_ == b) {
        defaultButton_ = nullptr;
    }
    SetActiveControl(activeControl_);
}

void Form::SetCancelButton(TButton* b, bool on) {
    if (on)
        cancelButton_ = b;
    else if (cancelButton_ == b)
        cancelButton_ = nullptr;
}

void Form::ForgetControl(Control* control) {
    if (defaultButton_ == control) defaultButton_ = nullptr;
    if (cancelButton_ == control) cancelButton_ = nullptr;
    if (activeControl_ == control) activeControl_ = nullptr;
}

bool Form::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(*this, canClose);
    return canClose;
}

void Form::Close() {
    if (modalDepth_ > 0) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    CloseAction action = caHide;
    if (OnClose) OnClose(*this, action);
    if (action == caNone) return;
    Application* app = AppOrNull();
    if (app && app->MainForm() == this) {
        app->Terminate();
        return;
    }
    switch (action) {
        case caHide:
            Hide();
            break;
        case caMinimize:
            ShowWindow(Handle(), SW_MINIMIZE);
            break;
        case caFree:
            Release();
            break;
        case caNone:
            break;
    }
}

void Form::Release() {
    if (modalDepth_ > 0 || keepAlive_ > 0) {
        releasePending_ = true;
        return;
    }
    Application* app = AppOrNull();
    if (!app) return;
    PostMessageW(app->Handle(), kReleaseFormMessage, 0, reinterpret_cast<LPARAM>(this));
}

void Form::ReleasePosted(Form* form) {
    if (!LiveForms().count(form)) return;  // freed some other way meanwhile
    if (form->modalDepth_ > 0 || form->keepAlive_ > 0) {
        form->releasePending_ = true;
        return;
    }
    delete form;
}

Form::KeepAlive::KeepAlive(Form& form) : form_(form) {
    ++form_.keepAlive_;
}

Form::KeepAlive::~KeepAlive() {
    if (--form_.keepAlive_ == 0 && form_.releasePending_ && form_.modalDepth_ == 0) {
        form_.releasePending_ = false;
        form_.Release();
    }
}

void Form::CloseModal() {
    CloseAction action = caNone;
    if (CloseQuery()) {
        action = caHide;
        if (OnClose) OnClose(*this, action);
    }
    if (action == caNone)
        modalResult_ = mrNone;
    else if (action == caFree)
        Release();  // deferred: the modal run is still on the stack
}

ModalResult Form::ShowModal() {
    if (visible_ || modalDepth_ > 0 || !Enabled())
        throw pq::EInvalidOperation("Cannot make a visible window modal");
    Application& app = App();
    if (HWND capture = GetCapture()) {
        SendMessageW(capture, WM_CANCELMODE, 0, 0);
        ReleaseCapture();
    }
    HWND previous = GetActiveWindow();
    ModalResult result = mrNone;
    {
        struct Depth {
            int& d;
            explicit Depth(int& depth) : d(depth) { ++d; }
            ~Depth() { --d; }
        } depth(modalDepth_);
        struct HideAfter {
            Form& f;
            ~HideAfter() {
                if (f.Handle()) f.Hide();
            }
        } hide{*this};
        DisabledWindows disabled(Handle());
        modalResult_ = mrNone;
        Show();
        do {
            app.HandleMessage();
            if (app.Terminated())
                modalResult_ = mrCancel;
            else if (modalResult_ != mrNone)
                CloseModal();
        } while (modalResult_ == mrNone);
        result = modalResult_;
        // `disabled` enables the other windows before `hide` hides this one, so the
        // activation goes back to one of them.
    }
    if (previous && previous != Handle() && IsWindow(previous) && IsWindowVisible(previous))
        SetActiveWindow(previous);
    if (releasePending_ && keepAlive_ == 0) {
        releasePending_ = false;
        Release();
    }
    return result;
}

void Form::SetWindowRegion(ScopedRgn region, bool redraw) {
    HRGN h = region.release();
    // The system owns the region only when the call succeeds.
    if (!SetWindowRgn(Handle(), h, redraw ? TRUE : FALSE) && h) DeleteObject(h);
}

bool Form::HandleDialogKey(const MSG& msg) {
    return SendMessageW(Handle(), kDialogKeyMessage, 0, reinterpret_cast<LPARAM>(&msg)) != 0;
}

bool Form::DialogKey(const MSG& msg) {
    HWND focus = GetFocus();
    if (focus && focus != Handle() && !IsChild(Handle(), focus)) focus = nullptr;
    WinControl* focused = WinControl::FromHandle(focus);
    auto usable = [](TButton* b) { return b && b->CanFocus(); };
    if (msg.message == WM_KEYDOWN) {
        bool ctrlOrAlt = GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0;
        LRESULT code = DialogCode(focus, msg);
        switch (msg.wParam) {
            case VK_TAB: {
                // Only a control that asks for tabs keeps them (a memo asks for "all keys" but
                // not for tabs).
                if (ctrlOrAlt || (code & DLGC_WANTTAB)) return false;
                std::vector<WinControl*> stops;
                CollectTabStops(*this, stops);
                std::vector<WinControl*> usableStops;
                for (WinControl* w : stops)
                    if (w->CanFocus()) usableStops.push_back(w);
                if (usableStops.empty()) return true;
                bool back = GetKeyState(VK_SHIFT) < 0;
                auto it = std::find(usableStops.begin(), usableStops.end(), focused);
                size_t n = usableStops.size(), i;
                if (it == usableStops.end())
                    i = back ? n - 1 : 0;
                else
                    i = (static_cast<size_t>(it - usableStops.begin()) + (back ? n - 1 : 1)) % n;
                usableStops[i]->SetFocus();
                return true;
            }
            case VK_RETURN: {
                if (code & DLGC_WANTALLKEYS) return false;
                auto* b = dynamic_cast<TButton*>(focused);
                if (!usable(b)) b = usable(defaultButton_) ? defaultButton_ : nullptr;
                if (!b) return false;
                b->Click();
                return true;
            }
            case VK_ESCAPE:
                if (code & DLGC_WANTALLKEYS) return false;
                if (!usable(cancelButton_)) return false;
                cancelButton_->Click();
                return true;
            default:
                return false;
        }
    }
    if (msg.message == WM_SYSCHAR || msg.message == WM_CHAR) {
        if (msg.message == WM_CHAR &&
            (DialogCode(focus, msg) & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)))
            return false;
        auto ch = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(msg.wParam)));
        std::vector<TButton*> buttons;
        CollectButtons(*this, buttons);
        for (TButton* b : buttons) {
            if (MnemonicOf(b->Caption()) == ch && usable(b)) {
                b->SetFocus();
                b->Click();
                return true;
            }
        }
    }
    return false;
}

void Form::WndProc(Message& m) {
    switch (m.msg) {
        case kDialogKeyMessage:
            m.result = DialogKey(*reinterpret_cast<const MSG*>(m.lParam)) ? 1 : 0;
            return;
        case WM_CLOSE:
            Close();
            m.result = 0;
            return;
        case WM_SIZE:
            if (m.wParam != SIZE_MINIMIZED) {
                clientWidth_ = LOWORD(m.lParam);
                clientHeight_ = HIWORD(m.lParam);
            }
            break;
        case WM_ACTIVATE:
            if (LOWORD(m.wParam) != WA_INACTIVE) {
                if (!IsIconic(Handle())) FocusFirst();
                if (OnActivate) OnActivate(*this);
                m.result = 0;
                return;
            }
            break;
        default:
            break;
    }
    WinControl::WndProc(m);
}

}  // namespace ui
