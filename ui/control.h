// Controls: the visual components of a form. Control holds what every control has (bounds,
// visibility, enabled state, caption, parent). GraphicControl is a windowless control: it owns
// no window, draws on its parent's surface in the parent's paint and gets its mouse input from
// the parent, which keeps its windowless children in a z-order (creation order, later above).
// WinControl owns a window (HWND); its window procedure catches every exception and hands it to
// the application's exception handling (nothing crosses a Win32 frame). Windows only.
//
// Ownership: a control is owned (freed) by its owner, normally the form; its parent only places
// it. Destroying a parent first leaves its remaining children without a parent.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/canvas.h"
#include "ui/color.h"
#include "ui/form_loader.h"
#include "ui/geometry.h"
#include "ui/input.h"
#include "ui/object.h"
#include "ui/types.h"

namespace ui {

class WinControl;
class Form;

// A window message in a window procedure. Set `result` and return to answer it; pass it on
// with the base class's WndProc for the default handling.
struct Message {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
};

using NotifyEvent = std::function<void(Object& sender)>;
using MouseEvent = std::function<void(Object& sender, MouseButton, ShiftState, int x, int y)>;
using MouseMoveEvent = std::function<void(Object& sender, ShiftState, int x, int y)>;

class Control : public Component {
  public:
    explicit Control(Component* owner);
    ~Control() override;
    const char* ClassName() const override { return "TControl"; }

    WinControl* Parent() const { return parent_; }
    // Places the control in `parent` (on top of its z-order), or takes it out (null).
    virtual void SetParent(WinControl* parent);
    // The form the control sits in (itself for a form), or null.
    Form* ParentForm() const;

    int Left() const { return bounds_.left; }
    int Top() const { return bounds_.top; }
    int Width() const { return bounds_.Width(); }
    int Height() const { return bounds_.Height(); }
    Rect BoundsRect() const { return bounds_; }
    Rect ClientRect() const { return {0, 0, Width(), Height()}; }
    // Every size or position change goes through SetBounds.
    virtual void SetBounds(int left, int top, int width, int height);
    void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
    void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
    void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
    void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);

    const std::string& Caption() const { return caption_; }
    virtual void SetCaption(std::string caption);

    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    // Conversions between this control's client coordinates and the screen's.
    // REQUIRES: the control sits in a window.
    Point ScreenToClient(Point screen) const;
    Point ClientToScreen(Point client) const;

    // Runs OnClick.
    virtual void Click();
    // The pointer entered or left the control (reported from the application's idle
    // processing). Run OnMouseEnter / OnMouseLeave.
    virtual void MouseEnter();
    virtual void MouseLeave();

    NotifyEvent OnClick;
    NotifyEvent OnMouseEnter;
    NotifyEvent OnMouseLeave;

  protected:
    // Called after the bounds changed (old bounds given).
    virtual void BoundsChanged(const Rect& old) { (void)old; }
    // Called after the caption changed.
    virtual void CaptionChanged() {}

    Rect bounds_;
    bool visible_ = true;
    bool enabled_ = true;
    std::string caption_;

  private:
    friend class WinControl;
    WinControl* parent_ = nullptr;
    int tag_ = 0;
};

// A windowless control.
class GraphicControl : public Control {
  public:
    explicit GraphicControl(Component* owner);
    ~GraphicControl() override;
    const char* ClassName() const override { return "TGraphicControl"; }

    // Draws the control. The canvas's origin is the control's top-left corner and its clip is
    // the control's rectangle (and the part being repainted).
    virtual void Paint(Canvas& canvas) { (void)canvas; }

    // Scheduled repaint: the parent repaints the control's rectangle at its next paint.
    void Invalidate();
    // Immediate repaint: an opaque control and every windowless control above it that overlaps
    // it are drawn now on the parent's surface, clipped to this control's rectangle, without the
    // parent's background; a control that is not opaque is invalidated and the parent updated.
    void Repaint();

    // Opaque controls cover their rectangle: the parent paints no background beneath them.
    bool Opaque() const { return opaque_; }
    void SetOpaque(bool opaque) { opaque_ = opaque; }
    // True for the speed-button family (image buttons): the main window's hit test asks.
    virtual bool IsSpeedButton() const { return false; }
    // With click-on-release (the default) a left press and a release inside the control run
    // Click; controls that decide about clicks themselves (speed buttons) turn it off.
    bool ClickOnRelease() const { return clickOnRelease_; }
    void SetClickOnRelease(bool on) { clickOnRelease_ = on; }

    // Mouse input, in the control's coordinates. A left press takes the capture before
    // MouseDown runs; the release ends it before MouseUp runs. The press of a double click
    // comes with ssDouble in `shift`, after DblClick. The defaults run the On... events.
    virtual void MouseDown(MouseButton button, ShiftState shift, int x, int y);
    virtual void MouseMove(ShiftState shift, int x, int y);
    virtual void MouseUp(MouseButton button, ShiftState shift, int x, int y);
    virtual void DblClick();

    // Whether this control holds the mouse capture of its parent window.
    bool MouseCapture() const;
    void SetMouseCapture(bool capture);

    // The default repaints on a change of Enabled and Visible (scheduled).
    void SetEnabled(bool enabled) override;
    void SetVisible(bool visible) override;

    MouseEvent OnMouseDown;
    MouseEvent OnMouseUp;
    MouseMoveEvent OnMouseMove;
    NotifyEvent OnDblClick;

  protected:
    void BoundsChanged(const Rect& old) override;

  private:
    friend class WinControl;
    bool opaque_ = false;
    bool clickOnRelease_ = true;
    bool clicked_ = false;  // a left press with click-on-release is in progress
};

// A control with a window of its own. The window is made by the constructor of each concrete
// kind (CreateWindowHandle) and destroyed with the object.
class WinControl : public Control {
  public:
    explicit WinControl(Component* owner);
    ~WinControl() override;
    const char* ClassName() const override { return "TWinControl"; }

    HWND Handle() const { return hwnd_; }
    // The WinControl of one of this program's windows, or null.
    static WinControl* FromHandle(HWND hwnd);

    // Children (windowless and windowed) in z-order, bottom first.
    const std::vector<Control*>& Controls() const { return controls_; }
    // The topmost visible, enabled windowless child whose rectangle contains `client`; null
    // if none. With allowDisabled, disabled ones count too.
    GraphicControl* ControlAtPoint(Point client, bool allowDisabled = false) const;

    void SetParent(WinControl* parent) override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;

    Color GetColor() const { return color_; }
    void SetColor(Color color);

    // The font for this window and, unless they have their own, its children.
    const std::string& FontName() const { return fontName_; }
    int FontHeight() const { return fontHeight_; }
    void SetFont(std::string name, int height);
    void SetFontName(std::string name) { SetFont(std::move(name), fontHeight_); }
    void SetFontHeight(int height) { SetFont(fontName_, height); }
    // The text colour (clWindowText unless set), for this control and its children.
    Color FontColor() const;
    void SetFontColor(Color color);
    // DEFAULT_CHARSET unless set.
    void SetFontCharset(int charset);
    HFONT FontHandle() const;

    // Keyboard focus and tab order (among the parent's tab stops, lowest first).
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool on) { tabStop_ = on; }
    int TabOrder() const { return tabOrder_; }
    void SetTabOrder(int order);
    bool Focused() const;
    void SetFocus();
    // Whether the control can take the focus now (visible, enabled, in a visible window).
    bool CanFocus() const;

    // Repaints the window now (UpdateWindow after invalidating all).
    void Repaint();
    void Invalidate();

    // The window procedure of this control. Handle what you need and call the base class for
    // the rest (which ends in the system's default processing).
    virtual void WndProc(Message& message);

    // For reflected notifications (WM_COMMAND, WM_CTLCOLOR... sent to the parent).
    virtual bool Notify(Message& message) {
        (void)message;
        return false;
    }

  protected:
    // Creates the window: registered class or system class (then subclassed).
    // REQUIRES: called once, from the concrete class's constructor.
    void CreateWindowHandle(const wchar_t* windowClass, DWORD style, DWORD exStyle,
                            HWND parentWindow);
    // Replaces the window by a new one of that class and style (same parent, bounds, caption
    // and font), for styles that a system class fixes at creation.
    void RecreateWindowHandle(const wchar_t* windowClass, DWORD style, DWORD exStyle);
    void DefaultHandler(Message& message);
    // Paints the background and the windowless children into `dc` for `area` (client
    // coordinates). `above` limits the drawing to that control and the ones above it.
    void PaintArea(HDC dc, const Rect& area, const GraphicControl* from);
    void BoundsChanged(const Rect& old) override;
    void CaptionChanged() override;
    // Called when the font changes; the default passes WM_SETFONT to the window.
    virtual void FontChanged();

  private:
    friend class Control;
    friend class GraphicControl;
    friend class Application;
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void HandleMouse(Message& m);
    void PaintWindow(Message& m);
    void AddControl(Control* c);
    void RemoveControl(Control* c);
    void ApplyFontToChildren();

    HWND hwnd_ = nullptr;
    WNDPROC systemProc_ = nullptr;  // the system class's procedure, for subclassed windows
    std::vector<Control*> controls_;
    GraphicControl* captureControl_ = nullptr;
    Color color_ = clBtnFace;
    std::string fontName_;
    int fontHeight_ = 0;
    int fontCharset_ = DEFAULT_CHARSET;
    Color fontColor_ = clDefault;
    ScopedFont font_;
    ScopedBitmap backBuffer_;  // the double buffer of the windowless children's painting
    SIZE backBufferSize_{0, 0};
    bool tabStop_ = false;
    int tabOrder_ = -1;
    bool destroying_ = false;
    bool trackingLeave_ = false;
};

// The topmost visible, enabled windowless control of `parent` at a client point, or null.
inline GraphicControl* ControlAtPoint(const WinControl& parent, Point client) {
    return parent.ControlAtPoint(client);
}

// A creator for the kinds table: new T(&owner) placed in `parent`, which must be a window.
template <class T>
Component* CreateControl(Component& owner, Component& parent) {
    auto* p = dynamic_cast<WinControl*>(&parent);
    if (!p) throw pq::EConvertError(std::string(parent.ClassName()) + " cannot hold controls");
    auto* t = new T(&owner);
    t->SetParent(p);
    return t;
}

}  // namespace ui
