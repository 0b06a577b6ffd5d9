// Shared by the components' Windows tests: the one application of the test process, a form made
// from an inline definition, real mouse messages with the real cursor, and pixels read back
// from the window's surface.
#pragma once

#include <windows.h>

#include <string>

#include "components/kinds.h"
#include "tests/support/pointer_win.h"
#include "ui/application.h"
#include "ui/bitmap.h"
#include "ui/form.h"

namespace components::testing {

// The application, made on first use, with the components' kinds registered.
inline ui::Application& TheApp() {
    static ui::Application* app = [] {
        auto* a = new ui::Application();
        RegisterKinds(ui::Kinds());
        return a;
    }();
    return *app;
}

class TestForm : public ui::Form {
  public:
    TestForm(ui::Component* owner, std::string definition)
        : ui::Form(owner), definition_(std::move(definition)) {}
    const char* ClassName() const override { return "TTestForm"; }
    std::string DefinitionText() const override { return definition_; }
    std::string DefinitionName() const override { return "TestForm.form"; }

  private:
    std::string definition_;
};

// A borderless 320 x 240 form at the screen's top-left corner, with `body` (nested objects)
// inside its definition. Shown and painted, with the cursor away from it.
inline TestForm* MakeForm(const std::string& body = "") {
    TheApp();
    pq::testing::MovePointerAway();
    std::string text =
        "object TestForm: TTestForm\n"
        "  BorderStyle = bsNone\n"
        "  Left = 0\n"
        "  Top = 0\n"
        "  ClientWidth = 320\n"
        "  ClientHeight = 240\n" +
        body + "end\n";
    auto* form = ui::CreateForm<TestForm>(&TheApp(), text);
    form->Show();
    UpdateWindow(form->Handle());
    return form;
}

// Pending messages, then the idle processing (pointer enter and leave), then what that caused.
inline void Pump() {
    TheApp().ProcessMessages();
    TheApp().Idle();
    TheApp().ProcessMessages();
}

inline void Send(ui::Form& form, UINT message, WPARAM keys, int x, int y) {
    SendMessageW(form.Handle(), message, keys, MAKELPARAM(x, y));
    Pump();
}

// Moves the real cursor to a client point of the form and reports the move to the window.
inline void PointerTo(ui::Form& form, int x, int y, WPARAM keys = 0) {
    POINT p{x, y};
    ClientToScreen(form.Handle(), &p);
    SetCursorPos(p.x, p.y);
    Send(form, WM_MOUSEMOVE, keys, x, y);
}

inline ui::Color PixelAt(ui::Form& form, int x, int y) {
    HDC dc = GetDC(form.Handle());
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(form.Handle(), dc);
    return static_cast<ui::Color>(c);
}

inline ui::Bitmap Solid(int w, int h, ui::Color colour) {
    ui::Bitmap b(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.SetPixel(x, y, colour);
    return b;
}

}  // namespace components::testing
