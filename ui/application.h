// The application object: one per process, reached through App(). It owns the forms created
// with it as owner, has a hidden window whose caption is the application title, runs the message
// loop, and is where every exception that escapes an event or message handler ends: the
// OnException handler when one is set, else a default error box; EAbort is dropped silently.
// Windows only.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "ui/form.h"
#include "ui/object.h"
#include "ui/screen_cursor.h"

namespace ui {

using ExceptionEvent = std::function<void(Object& sender, const std::exception& e)>;

class Application : public Component {
  public:
    // REQUIRES: no other Application exists (else EInvalidOperation). Registers the standard
    // kinds (TForm, TLabel, TButton, TMemo, TProgressBar, TImage) in Kinds().
    Application();
    ~Application() override;
    const char* ClassName() const override { return "TApplication"; }

    // The caption of the application's hidden window (UTF-8).
    std::string Title() const;
    void SetTitle(std::string_view title);
    HWND Handle() const { return hwnd_; }

    bool ShowMainForm() const { return showMainForm_; }
    void SetShowMainForm(bool on) { showMainForm_ = on; }
    Form* MainForm() const { return mainForm_; }

    // Creates a form owned by the application; the first one becomes the main form (once its
    // creation, OnCreate included, is over).
    template <class T, class... Args>
    T* CreateForm(Args&&... args) {
        T* form = ui::CreateForm<T>(this, std::forward<Args>(args)...);
        if (!mainForm_) mainForm_ = form;
        return form;
    }

    // Runs the message loop until Terminate: shows the main form first when ShowMainForm is on.
    // Returns at once when there is no main form.
    void Run();
    // Asks the message loop (and any modal loop) to end.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Processes every pending message once, then returns (no waiting, no idle processing).
    void ProcessMessages();
    // Processes one message; when none is pending, runs the idle processing (pointer enter and
    // leave) and waits up to `timeoutMs` for one (INFINITE: until one comes).
    void HandleMessage(DWORD timeoutMs = INFINITE);

    // Where an exception that escaped a handler goes. Never throws.
    void HandleException(Object& sender, const std::exception& e) noexcept;
    void HandleException(Object& sender, std::exception_ptr e) noexcept;
    // The default error box (title: the application title; the message with a final period).
    void ShowException(const std::exception& e);
    ExceptionEvent OnException;

    // A modal message box owned by the application (flags: MB_*). An empty title means the
    // application title. Returns the button pressed (IDOK, ...).
    int MessageBox(std::string_view text, std::string_view title, int flags);

    // The screen cursor (see ui/screen_cursor.h).
    void SetCursor(Cursor cursor) { SetScreenCursor(cursor); }
    Cursor GetCursor() const { return ScreenCursor(); }

    // For windows and controls.
    void ControlDestroyed(Control* control);
    void Idle();
    Control* MouseControl() const { return mouseControl_; }
    // The windowless control holding the mouse capture, or null.
    GraphicControl* CaptureControl() const;

  private:
    bool ProcessMessage();
    static LRESULT CALLBACK AppWindowProc(HWND, UINT, WPARAM, LPARAM);

    HWND hwnd_ = nullptr;
    bool showMainForm_ = true;
    bool terminated_ = false;
    Form* mainForm_ = nullptr;
    Control* mouseControl_ = nullptr;
    int handlingException_ = 0;
};

// The application; throws EInvalidOperation when there is none.
Application& App();
// Null when there is none.
Application* AppOrNull();

}  // namespace ui
