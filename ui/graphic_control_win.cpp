#include <windows.h>

#include "ui/application.h"
#include "ui/control.h"

namespace ui {

GraphicControl::GraphicControl(Component* owner) : Control(owner) {}

GraphicControl::~GraphicControl() {
    if (WinControl* p = Parent()) {
        if (p->captureControl_ == this) {
            p->captureControl_ = nullptr;
            if (p->hwnd_ && GetCapture() == p->hwnd_) ReleaseCapture();
        }
        Invalidate();
    }
}

void GraphicControl::Invalidate() {
    WinControl* p = Parent();
    if (!p || !p->Handle()) return;
    RECT r{bounds_.left, bounds_.top, bounds_.right, bounds_.bottom};
    InvalidateRect(p->Handle(), &r, FALSE);
}

void GraphicControl::Repaint() {
    WinControl* p = Parent();
    if (!visible_ || !p || !p->Handle()) return;
    if (!opaque_) {
        Invalidate();
        UpdateWindow(p->Handle());
        return;
    }
    RECT client;
    GetClientRect(p->Handle(), &client);
    Rect area = bounds_.Intersect({0, 0, client.right, client.bottom});
    if (area.Empty()) return;
    ScopedGetDc dc(p->Handle());
    // The back buffer keeps the window's last picture; draw into it and copy the control's
    // rectangle to the screen, so nothing flickers.
    if (!p->backBuffer_ || p->backBufferSize_.cx != client.right ||
        p->backBufferSize_.cy != client.bottom) {
        // No paint yet at this size: the whole window must be painted anyway.
        p->Repaint();
        return;
    }
    ScopedMemoryDc mem(CreateCompatibleDC(dc.get()));
    ScopedSelect sel(mem.get(), p->backBuffer_.get());
    p->PaintArea(mem.get(), area, this);
    BitBlt(dc.get(), area.left, area.top, area.Width(), area.Height(), mem.get(), area.left,
           area.top, SRCCOPY);
}

bool GraphicControl::MouseCapture() const {
    WinControl* p = Parent();
    return p && p->captureControl_ == this;
}

void GraphicControl::SetMouseCapture(bool capture) {
    WinControl* p = Parent();
    if (!p || !p->Handle()) return;
    if (capture) {
        p->captureControl_ = this;
        SetCapture(p->Handle());
    } else if (p->captureControl_ == this) {
        p->captureControl_ = nullptr;
        if (GetCapture() == p->Handle()) ReleaseCapture();
    }
}

void GraphicControl::MouseDown(MouseButton button, ShiftState shift, int x, int y) {
    if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
}

void GraphicControl::MouseMove(ShiftState shift, int x, int y) {
    if (OnMouseMove) OnMouseMove(*this, shift, x, y);
}

void GraphicControl::MouseUp(MouseButton button, ShiftState shift, int x, int y) {
    if (OnMouseUp) OnMouseUp(*this, button, shift, x, y);
}

void GraphicControl::DblClick() {
    if (OnDblClick) OnDblClick(*this);
}

void GraphicControl::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Invalidate();
}

void GraphicControl::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (!visible) {
        if (WinControl* p = Parent(); p && p->captureControl_ == this) SetMouseCapture(false);
    }
    Invalidate();
}

void GraphicControl::BoundsChanged(const Rect& old) {
    WinControl* p = Parent();
    if (!p || !p->Handle()) return;
    RECT r{old.left, old.top, old.right, old.bottom};
    InvalidateRect(p->Handle(), &r, FALSE);
    Invalidate();
}

}  // namespace ui
