#include <windows.h>
#include <windowsx.h>

#include <algorithm>

#include "base/text.h"
#include "ui/application.h"
#include "ui/control.h"
#include "ui/form.h"

namespace ui {

namespace {

const wchar_t kControlProp[] = L"PQ.Control";
const wchar_t kWindowClass[] = L"PQWindow";
const wchar_t kParkingClass[] = L"PQParking";

// Windowed controls are made before they have a parent: they wait, hidden, in this window.
HWND ParkingWindow() {
    static HWND parking = nullptr;
    if (!parking || !IsWindow(parking)) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kParkingClass;
        RegisterClassW(&wc);
        parking = CreateWindowExW(0, kParkingClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    }
    return parking;
}

HCURSOR CursorHandle(Cursor c) {
    switch (c) {
        case crHourGlass:
            return LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT));
        case crAppStart:
            return LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_APPSTARTING));
        default:
            return LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    }
}

ShiftState ShiftFromKeys(WPARAM keys) {
    ShiftState s = 0;
    if (keys & MK_SHIFT) s |= ssShift;
    if (keys & MK_CONTROL) s |= ssCtrl;
    if (keys & MK_LBUTTON) s |= ssLeft;
    if (keys & MK_RBUTTON) s |= ssRight;
    if (keys & MK_MBUTTON) s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

}  // namespace

HCURSOR ScreenCursorHandle(Cursor c) {
    return CursorHandle(c);
}

// ---- Control ----

Control::Control(Component* owner) : Component(owner) {}

Control::~Control() {
    if (Application* app = AppOrNull()) app->ControlDestroyed(this);
    if (Form* f = parent_ ? parent_->ParentForm() : nullptr) f->ForgetControl(this);
    if (parent_) parent_->RemoveControl(this);
    parent_ = nullptr;
}

void Control::SetParent(WinControl* parent) {
    if (parent == parent_) return;
    if (parent == this) throw pq::EInvalidOperation("A control cannot be its own parent");
    if (parent_) parent_->RemoveControl(this);
    parent_ = parent;
    if (parent_) parent_->AddControl(this);
}

Form* Control::ParentForm() const {
    const Control* c = this;
    while (c) {
        if (auto* f = dynamic_cast<const Form*>(c)) return const_cast<Form*>(f);
        c = c->parent_;
    }
    return nullptr;
}

void Control::SetBounds(int left, int top, int width, int height) {
    Rect r = RectOfSize(left, top, width < 0 ? 0 : width, height < 0 ? 0 : height);
    if (r == bounds_) return;
    Rect old = bounds_;
    bounds_ = r;
    BoundsChanged(old);
}

void Control::SetVisible(bool visible) {
    visible_ = visible;
}
void Control::SetEnabled(bool enabled) {
    enabled_ = enabled;
}

void Control::SetCaption(std::string caption) {
    if (caption == caption_) return;
    caption_ = std::move(caption);
    CaptionChanged();
}

Point Control::ScreenToClient(Point screen) const {
    if (auto* w = dynamic_cast<const WinControl*>(this)) {
        POINT p{screen.x, screen.y};
        ::ScreenToClient(w->Handle(), &p);
        return {p.x, p.y};
    }
    if (!parent_) throw pq::EInvalidOperation("Control " + Name() + " has no parent window");
    Point p = parent_->ScreenToClient(screen);
    return {p.x - Left(), p.y - Top()};
}

Point Control::ClientToScreen(Point client) const {
    if (auto* w = dynamic_cast<const WinControl*>(this)) {
        POINT p{client.x, client.y};
        ::ClientToScreen(w->Handle(), &p);
        return {p.x, p.y};
    }
    if (!parent_) throw pq::EInvalidOperation("Control " + Name() + " has no parent window");
    return parent_->ClientToScreen({client.x + Left(), client.y + Top()});
}

void Control::Click() {
    if (OnClick) OnClick(*this);
}

void Control::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter(*this);
}

void Control::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave(*this);
}

// ---- WinControl ----

WinControl::WinControl(Component* owner) : Control(owner) {}

WinControl::~WinControl() {
    destroying_ = true;
    DestroyComponents();
    for (Control* c : controls_) c->parent_ = nullptr;
    controls_.clear();
    captureControl_ = nullptr;
    if (hwnd_) {
        HWND h = hwnd_;
        // From here on the window's messages go to the system's handling only: the object is
        // half destroyed.
        if (systemProc_)
            SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(systemProc_));
        RemovePropW(h, kControlProp);
        hwnd_ = nullptr;
        DestroyWindow(h);
    }
}

WinControl* WinControl::FromHandle(HWND hwnd) {
    if (!hwnd) return nullptr;
    return static_cast<WinControl*>(GetPropW(hwnd, kControlProp));
}

void WinControl::CreateWindowHandle(const wchar_t* windowClass, DWORD style, DWORD exStyle,
                                    HWND parentWindow) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &WinControl::WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.lpszClassName = kWindowClass;
        RegisterClassExW(&wc);
        registered = true;
    }
    bool ours = windowClass == nullptr;
    if ((style & WS_CHILD) && !parentWindow) parentWindow = ParkingWindow();
    std::u16string caption = pq::text::Utf8ToUtf16(caption_);
    HWND h = CreateWindowExW(exStyle, ours ? kWindowClass : windowClass,
                             reinterpret_cast<LPCWSTR>(caption.c_str()), style, bounds_.left,
                             bounds_.top, Width(), Height(), parentWindow, nullptr,
                             GetModuleHandleW(nullptr), ours ? this : nullptr);
    if (!h)
        throw pq::EOSError("Cannot create a window (error " + std::to_string(GetLastError()) + ")");
    if (!ours) {
        hwnd_ = h;
        SetPropW(h, kControlProp, this);
        systemProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WinControl::WindowProc)));
    }
    visible_ = (style & WS_VISIBLE) != 0;
}

void WinControl::RecreateWindowHandle(const wchar_t* windowClass, DWORD style, DWORD exStyle) {
    if (HWND old = hwnd_) {
        if (systemProc_)
            SetWindowLongPtrW(old, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(systemProc_));
        RemovePropW(old, kControlProp);
        hwnd_ = nullptr;
        systemProc_ = nullptr;
        DestroyWindow(old);
    }
    HWND parentWindow = Parent() && Parent()->Handle() ? Parent()->Handle() : nullptr;
    CreateWindowHandle(windowClass, style, exStyle, parentWindow);
    if (!enabled_) EnableWindow(hwnd_, FALSE);
    FontChanged();
}

LRESULT CALLBACK WinControl::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WinControl* c = FromHandle(hwnd);
    if (!c && msg == WM_NCCREATE) {
        c = static_cast<WinControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (c) {
            c->hwnd_ = hwnd;
            SetPropW(hwnd, kControlProp, c);
        }
    }
    if (!c) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return c->Dispatch(msg, wParam, lParam);
}

LRESULT WinControl::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
    Message m{msg, wParam, lParam, 0};
    // No C++ exception may cross the system's frames: whatever a handler throws ends here.
    try {
        WndProc(m);
    } catch (...) {
        if (Application* app = AppOrNull()) app->HandleException(*this, std::current_exception());
        m.result = 0;
    }
    if (msg == WM_NCDESTROY) {
        RemovePropW(hwnd_, kControlProp);
        hwnd_ = nullptr;
    }
    return m.result;
}

void WinControl::DefaultHandler(Message& m) {
    if (systemProc_)
        m.result = CallWindowProcW(systemProc_, hwnd_, m.msg, m.wParam, m.lParam);
    else
        m.result = DefWindowProcW(hwnd_, m.msg, m.wParam, m.lParam);
}

void WinControl::WndProc(Message& m) {
    switch (m.msg) {
        case WM_PAINT:
            if (!systemProc_) {
                PaintWindow(m);
                return;
            }
            break;
        case WM_ERASEBKGND:
            if (!systemProc_) {
                m.result = 1;  // the background is painted with the rest in WM_PAINT
                return;
            }
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
        case WM_MBUTTONDBLCLK:
        case WM_MOUSEMOVE:
            // Ask for WM_MOUSELEAVE: when the pointer leaves the window no other message may
            // come, and the idle processing that reports "pointer leaves" runs only after one.
            if (!trackingLeave_ && !systemProc_) {
                TRACKMOUSEEVENT t{sizeof(TRACKMOUSEEVENT), TME_LEAVE, hwnd_, 0};
                trackingLeave_ = TrackMouseEvent(&t) != FALSE;
            }
            HandleMouse(m);
            break;
        case WM_MOUSELEAVE:
            trackingLeave_ = false;
            break;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(m.lParam) != hwnd_ && captureControl_) {
                captureControl_->clicked_ = false;
                captureControl_ = nullptr;
            }
            break;
        case WM_SETCURSOR:
            if (ScreenCursor() != crDefault) {
                ::SetCursor(CursorHandle(ScreenCursor()));
                m.result = TRUE;
                return;
            }
            break;
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            HWND child = m.msg == WM_NOTIFY ? reinterpret_cast<NMHDR*>(m.lParam)->hwndFrom
                                            : reinterpret_cast<HWND>(m.lParam);
            if (child && child != hwnd_) {
                if (WinControl* c = FromHandle(child); c && c->Notify(m)) return;
            }
            break;
        }
        case WM_SETFOCUS:
            if (Form* f = ParentForm(); f && f != this) f->SetActiveControl(this);
            break;
        case WM_WINDOWPOSCHANGED: {
            RECT r;
            GetWindowRect(hwnd_, &r);
            POINT tl{r.left, r.top};
            if (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_CHILD)
                ::ScreenToClient(GetParent(hwnd_), &tl);
            Rect now = RectOfSize(tl.x, tl.y, r.right - r.left, r.bottom - r.top);
            if (now != bounds_) {
                Rect old = bounds_;
                bounds_ = now;
                Control::BoundsChanged(old);
            }
            break;
        }
        default:
            break;
    }
    DefaultHandler(m);
}

void WinControl::HandleMouse(Message& m) {
    Point p{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
    GraphicControl* target = captureControl_ ? captureControl_ : ControlAtPoint(p);
    if (!target) return;
    ShiftState shift = ShiftFromKeys(m.wParam);
    int x = p.x - target->Left(), y = p.y - target->Top();
    switch (m.msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            captureControl_ = target;
            SetCapture(hwnd_);
            if (m.msg == WM_LBUTTONDBLCLK) {
                target->clicked_ = false;
                target->DblClick();
                target->MouseDown(mbLeft, shift | ssDouble, x, y);
            } else {
                target->clicked_ = target->clickOnRelease_;
                target->MouseDown(mbLeft, shift, x, y);
            }
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            target->MouseDown(mbRight, shift | (m.msg == WM_RBUTTONDBLCLK ? ssDouble : 0), x, y);
            break;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            target->MouseDown(mbMiddle, shift | (m.msg == WM_MBUTTONDBLCLK ? ssDouble : 0), x, y);
            break;
        case WM_MOUSEMOVE:
            target->MouseMove(shift, x, y);
            break;
        case WM_LBUTTONUP: {
            bool clicked = target->clicked_;
            target->clicked_ = false;
            if (captureControl_ == target) {
                captureControl_ = nullptr;
                if (GetCapture() == hwnd_) ReleaseCapture();
            }
            target->MouseUp(mbLeft, shift, x, y);
            if (clicked && target->ClientRect().Contains({x, y})) target->Click();
            break;
        }
        case WM_RBUTTONUP:
            target->MouseUp(mbRight, shift, x, y);
            break;
        case WM_MBUTTONUP:
            target->MouseUp(mbMiddle, shift, x, y);
            break;
        default:
            break;
    }
}

GraphicControl* WinControl::ControlAtPoint(Point client, bool allowDisabled) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        auto* g = dynamic_cast<GraphicControl*>(*it);
        if (!g || !g->Visible() || (!allowDisabled && !g->Enabled())) continue;
        if (g->BoundsRect().Contains(client)) return g;
    }
    return nullptr;
}

void WinControl::AddControl(Control* c) {
    controls_.push_back(c);
    if (auto* g = dynamic_cast<GraphicControl*>(c)) g->Invalidate();
    if (auto* w = dynamic_cast<WinControl*>(c); w && w->hwnd_) {
        ::SetParent(w->hwnd_, hwnd_);
        SetWindowPos(w->hwnd_, HWND_BOTTOM, w->Left(), w->Top(), w->Width(), w->Height(),
                     SWP_NOACTIVATE);
        if (w->fontName_.empty()) w->FontChanged();
    }
}

void WinControl::RemoveControl(Control* c) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
    if (captureControl_ == c) {
        captureControl_ = nullptr;
        if (hwnd_ && GetCapture() == hwnd_) ReleaseCapture();
    }
    if (destroying_) return;
    if (auto* g = dynamic_cast<GraphicControl*>(c); g && hwnd_) {
        RECT r{g->Left(), g->Top(), g->BoundsRect().right, g->BoundsRect().bottom};
        InvalidateRect(hwnd_, &r, FALSE);
    }
    if (auto* w = dynamic_cast<WinControl*>(c); w && w->hwnd_ && !w->destroying_)
        ::SetParent(w->hwnd_, ParkingWindow());
}

void WinControl::SetParent(WinControl* parent) {
    Control::SetParent(parent);
}

void WinControl::SetVisible(bool visible) {
    visible_ = visible;
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void WinControl::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (hwnd_) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

void WinControl::SetColor(Color color) {
    if (color == color_) return;
    color_ = color;
    Invalidate();
}

void WinControl::SetFont(std::string name, int height) {
    fontName_ = std::move(name);
    fontHeight_ = height;
    std::u16string face = pq::text::Utf8ToUtf16(fontName_);
    font_.reset(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            static_cast<DWORD>(fontCharset_), OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                            reinterpret_cast<LPCWSTR>(face.c_str())));
    FontChanged();
}

Color WinControl::FontColor() const {
    if (fontColor_ != clDefault) return fontColor_;
    if (Parent()) return Parent()->FontColor();
    return clWindowText;
}

void WinControl::SetFontColor(Color color) {
    fontColor_ = color;
    Invalidate();
}

void WinControl::SetFontCharset(int charset) {
    fontCharset_ = charset;
    if (!fontName_.empty()) SetFont(fontName_, fontHeight_);
}

HFONT WinControl::FontHandle() const {
    if (font_) return font_.get();
    if (Parent()) return Parent()->FontHandle();
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void WinControl::FontChanged() {
    if (hwnd_ && systemProc_)
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), TRUE);
    ApplyFontToChildren();
    Invalidate();
}

void WinControl::ApplyFontToChildren() {
    for (Control* c : controls_)
        if (auto* w = dynamic_cast<WinControl*>(c); w && w->fontName_.empty()) w->FontChanged();
}

void WinControl::SetTabOrder(int order) {
    tabOrder_ = order;
}

bool WinControl::Focused() const {
    return hwnd_ && GetFocus() == hwnd_;
}

void WinControl::SetFocus() {
    if (hwnd_) ::SetFocus(hwnd_);
}

bool WinControl::CanFocus() const {
    for (const Control* c = this; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return hwnd_ && IsWindowVisible(hwnd_);
}

void WinControl::Invalidate() {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void WinControl::Repaint() {
    if (!hwnd_) return;
    InvalidateRect(hwnd_, nullptr, FALSE);
    UpdateWindow(hwnd_);
}

void WinControl::BoundsChanged(const Rect& old) {
    (void)old;
    if (hwnd_)
        SetWindowPos(hwnd_, nullptr, bounds_.left, bounds_.top, Width(), Height(),
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void WinControl::CaptionChanged() {
    if (!hwnd_) return;
    std::u16string w = pq::text::Utf8ToUtf16(caption_);
    SetWindowTextW(hwnd_, reinterpret_cast<LPCWSTR>(w.c_str()));
}

void WinControl::PaintWindow(Message& m) {
    (void)m;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    RECT client;
    GetClientRect(hwnd_, &client);
    Rect area =
        Rect{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom}.Intersect(
            {0, 0, client.right, client.bottom});
    if (!area.Empty()) {
        if (!backBuffer_ || backBufferSize_.cx != client.right ||
            backBufferSize_.cy != client.bottom) {
            backBuffer_.reset(CreateCompatibleBitmap(dc, client.right, client.bottom));
            backBufferSize_ = {client.right, client.bottom};
        }
        ScopedMemoryDc mem(CreateCompatibleDC(dc));
        {
            ScopedSelect sel(mem.get(), backBuffer_.get());
            PaintArea(mem.get(), area, nullptr);
            BitBlt(dc, area.left, area.top, area.Width(), area.Height(), mem.get(), area.left,
                   area.top, SRCCOPY);
        }
    }
    EndPaint(hwnd_, &ps);
}

void WinControl::PaintArea(HDC dc, const Rect& area, const GraphicControl* from) {
    ScopedSaveDc save(dc);
    IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    if (!from) {
        ScopedSaveDc background(dc);
        for (Control* c : controls_) {
            auto* g = dynamic_cast<GraphicControl*>(c);
            if (g && g->Visible() && g->Opaque()) {
                Rect r = g->BoundsRect();
                ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
            }
        }
        Canvas canvas(dc);
        canvas.FillRect(area, color_);
    }
    bool started = from == nullptr;
    for (Control* c : controls_) {
        auto* g = dynamic_cast<GraphicControl*>(c);
        if (!g) continue;
        if (!started) {
            if (g != from) continue;
            started = true;
        }
        if (!g->Visible()) continue;
        Rect r = g->BoundsRect().Intersect(area);
        if (r.Empty()) continue;
        ScopedSaveDc one(dc);
        IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
        SetViewportOrgEx(dc, g->Left(), g->Top(), nullptr);
        SelectObject(dc, FontHandle());
        Canvas canvas(dc);
        g->Paint(canvas);
    }
}

}  // namespace ui
