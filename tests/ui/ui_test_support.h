// Shared pieces of the toolkit's tests under Wine: an application per test, a form class whose
// definition is given inline, a windowless probe control that logs what reaches it, and waiting
// for a condition while the messages are processed (never a fixed sleep).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "ui/application.h"
#include "ui/std_controls.h"

namespace ui::test {

inline std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
}

inline bool Logged(const std::string& entry) {
    for (const auto& e : Log())
        if (e == entry) return true;
    return false;
}

// Processes messages (with the idle processing) until `done` holds or the time is up.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        App().HandleMessage(20);
    }
    return true;
}

// A windowless control that fills itself with its colour and logs its input as
// "<name> <event> [x,y]".
class TProbe : public GraphicControl {
  public:
    explicit TProbe(Component* owner) : GraphicControl(owner) { SetOpaque(true); }
    const char* ClassName() const override { return "TProbe"; }
    Color color = clGray;
    int paints = 0;
    void SetColor(Color c) { color = c; }
    void Paint(Canvas& canvas) override {
        ++paints;
        canvas.FillRect(ClientRect(), color);
    }
    void MouseDown(MouseButton b, ShiftState s, int x, int y) override {
        Log().push_back(Name() + " down" + (b == mbLeft ? "" : " right") +
                        ((s & ssDouble) ? " double" : "") + " " + std::to_string(x) + "," +
                        std::to_string(y));
        GraphicControl::MouseDown(b, s, x, y);
    }
    void MouseMove(ShiftState s, int x, int y) override {
        Log().push_back(Name() + " move " + std::to_string(x) + "," + std::to_string(y));
        GraphicControl::MouseMove(s, x, y);
    }
    void MouseUp(MouseButton b, ShiftState s, int x, int y) override {
        Log().push_back(Name() + " up " + std::to_string(x) + "," + std::to_string(y));
        GraphicControl::MouseUp(b, s, x, y);
    }
    void Click() override {
        Log().push_back(Name() + " click");
        GraphicControl::Click();
    }
    void MouseEnter() override { Log().push_back(Name() + " enter"); }
    void MouseLeave() override { Log().push_back(Name() + " leave"); }
};

inline void RegisterTestKinds() {
    if (Kinds().Contains("TProbe")) return;
    Kinds()
        .Register<TProbe>("TProbe", &CreateControl<TProbe>)
        .Inherit("TGraphicControl")
        .ColorValue("Color", &TProbe::SetColor);
}

// A form whose definition is a string; its handlers log and can be told to throw.
class TTestForm : public Form {
  public:
    TTestForm(Component* owner, std::string definition)
        : Form(owner), definition_(std::move(definition)) {}
    const char* ClassName() const override { return "TTestForm"; }
    std::string DefinitionName() const override { return "TestForm.form"; }
    std::string DefinitionText() const override { return definition_; }

    std::function<void()> onCreate;  // run by FormCreate
    std::function<void()> onClick;   // run by every click handler after logging
    CloseAction closeAction = caHide;
    std::function<bool(Message&)> rawHandler;

    void WndProc(Message& m) override {
        if (rawHandler && rawHandler(m)) return;
        Form::WndProc(m);
    }

  protected:
    void DeclareBindings(Bindings& b) override {
        b.Handler("FormCreate", this, &TTestForm::FormCreate);
        b.Handler("FormShow", this, &TTestForm::FormShow);
        b.Handler("FormClose", this, &TTestForm::FormClose);
        b.Handler("FormDestroy", this, &TTestForm::FormDestroy);
        b.Handler("ProbeClick", this, &TTestForm::ProbeClick);
        b.Handler("ButtonClick", this, &TTestForm::ButtonClick);
    }

  private:
    void FormCreate(Object&) {
        Log().push_back("FormCreate");
        if (onCreate) onCreate();
    }
    void FormShow(Object&) { Log().push_back("FormShow"); }
    void FormClose(Object&, CloseAction& action) {
        Log().push_back("FormClose");
        action = closeAction;
    }
    void FormDestroy(Object&) { Log().push_back("FormDestroy"); }
    void ProbeClick(Object& sender) {
        Log().push_back(std::string("ProbeClick ") + static_cast<Component&>(sender).Name());
        if (onClick) onClick();
    }
    void ButtonClick(Object& sender) {
        auto& b = static_cast<TButton&>(sender);
        Log().push_back("ButtonClick " + b.Name() + " modal result " +
                        std::to_string(ParentForm()->GetModalResult()));
        if (onClick) onClick();
    }

    std::string definition_;
};

class UiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Log().clear();
        app = std::make_unique<Application>();
        RegisterTestKinds();
    }
    void TearDown() override {
        app.reset();
        Log().clear();
    }
    TTestForm* MakeForm(const std::string& definition) {
        return CreateForm<TTestForm>(app.get(), definition);
    }
    // Sends a mouse message with client coordinates, as the system would.
    static LRESULT Mouse(Form* f, UINT msg, int x, int y, WPARAM keys = 0) {
        return SendMessageW(f->Handle(), msg, keys, MAKELPARAM(x, y));
    }
    static COLORREF PixelAt(Form* f, int x, int y) {
        ScopedGetDc dc(f->Handle());
        return GetPixel(dc.get(), x, y);
    }

    std::unique_ptr<Application> app;
};

}  // namespace ui::test
