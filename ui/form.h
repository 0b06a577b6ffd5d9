// Forms: top-level windows made from form definitions. A form class derives from Form, names
// itself (ClassName "TF..."), and declares its handlers and fields; it is created through
// CreateForm<T>(owner), which builds the object, makes the window, loads the definition (the
// resource "<Name>.form", see DefinitionName) and runs OnCreate; OnCreate may itself show the
// form modally, and CreateForm returns when it is done.
//
//   class TFContratoLicensa : public ui::Form {
//   public:
//       using Form::Form;
//       const char* ClassName() const override { return "TFContratoLicensa"; }
//       ui::TButton* BtnSim = nullptr;
//   protected:
//       void DeclareBindings(ui::Bindings& b) override {
//           b.Field("BtnSim", BtnSim);
//           b.Handler("FormCreate", this, &TFContratoLicensa::FormCreate);
//           b.Handler("FormClose", this, &TFContratoLicensa::FormClose);
//       }
//   private:
//       void FormCreate(ui::Object& sender);
//       void FormClose(ui::Object& sender, ui::CloseAction& action);
//   };
//   auto* f = ui::CreateForm<TFContratoLicensa>(&ui::App());
//
// An exception from OnCreate goes to the application's exception handling with the form as
// sender, and creation goes on. A definition that cannot be loaded makes CreateForm throw its
// FormDefinitionError (the half-made form is freed). Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/control.h"
#include "ui/scoped_win.h"
#include "ui/types.h"

namespace ui {

class TButton;

using CloseEvent = std::function<void(Object& sender, CloseAction& action)>;

class Form : public WinControl {
  public:
    // Makes the object only; CreateForm<T> does the rest.
    explicit Form(Component* owner);
    ~Form() override;
    const char* ClassName() const override { return "TForm"; }

    // The name of the definition resource; by default the class name without its leading T,
    // plus ".form" ("TFPrincipal" -> "FPrincipal.form").
    virtual std::string DefinitionName() const;
    // The definition text; by default the resource named DefinitionName().
    virtual std::string DefinitionText() const;

    BorderStyle GetBorderStyle() const { return borderStyle_; }
    void SetBorderStyle(BorderStyle style);
    Position GetPosition() const { return position_; }
    void SetPosition(Position position) { position_ = position; }
    int ClientWidth() const { return clientWidth_; }
    int ClientHeight() const { return clientHeight_; }
    void SetClientWidth(int width);
    void SetClientHeight(int height);
    void SetBounds(int left, int top, int width, int height) override;
    // The icon, from .ico file bytes (several images: the nearest sizes are taken).
    void SetIcon(std::span<const uint8_t> icoFile);
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool on) { keyPreview_ = on; }

    // Showing. Show runs OnShow before the window appears (so a region set there is in place),
    // Hide runs OnHide.
    void SetVisible(bool visible) override;
    // Closes the form: a modal form just gets ModalResult mrCancel; otherwise OnClose chooses
    // the action (default caHide); closing the application's main form with any action but
    // caNone terminates the application; caFree frees the form later (Release).
    void Close();
    // Frees the form once the current message is done (never while it is shown modally or
    // while a KeepAlive guard holds it).
    void Release();
    // Shows the form modally: the application's other windows are disabled, a nested message
    // loop runs until ModalResult is non-zero (or the application terminates: mrCancel), then
    // OnClose decides (caNone goes on), the form hides and the result is returned.
    // REQUIRES: the form is not visible (else EInvalidOperation "Cannot make a visible window
    // modal").
    ModalResult ShowModal();
    ModalResult GetModalResult() const { return modalResult_; }
    void SetModalResult(ModalResult result) { modalResult_ = result; }
    bool IsModal() const { return modalDepth_ > 0; }

    // The window's region (the system owns it afterwards; null removes the region).
    void SetWindowRegion(ScopedRgn region, bool redraw = true);

    // The buttons that Enter and Esc press.
    TButton* DefaultButton() const { return defaultButton_; }
    TButton* CancelButton() const { return cancelButton_; }
    void SetDefaultButton(TButton* b, bool on);
    void SetCancelButton(TButton* b, bool on);
    // The control that has (or gets, when the form is activated) the focus.
    WinControl* ActiveControl() const { return activeControl_; }
    void SetActiveControl(WinControl* control);

    // While a guard lives, Release (and caFree) is deferred until the guard ends.
    class KeepAlive {
      public:
        explicit KeepAlive(Form& form);
        ~KeepAlive();
        KeepAlive(const KeepAlive&) = delete;
        KeepAlive& operator=(const KeepAlive&) = delete;

      private:
        Form& form_;
    };

    NotifyEvent OnCreate;
    NotifyEvent OnShow;
    NotifyEvent OnHide;
    NotifyEvent OnActivate;
    NotifyEvent OnDestroy;
    CloseEvent OnClose;
    std::function<void(Object& sender, bool& canClose)> OnCloseQuery;

    void WndProc(Message& message) override;

    // For CreateForm: makes the window, loads the definition, runs OnCreate, shows the form
    // when the definition says Visible = True.
    void InitializeForm();

    // A control of this form is going away: forget it as default, cancel or active control.
    void ForgetControl(Control* control);

    // Keyboard handling of the message loop: Enter, Esc, Tab and mnemonics. True when the
    // message was used.
    bool HandleDialogKey(const MSG& msg);

  protected:
    // The form class's handlers and fields (see above). Called once, before loading.
    virtual void DeclareBindings(Bindings& bindings) { (void)bindings; }
    // The kind whose properties the definition's top object may use.
    virtual std::string BaseKind() const { return "TForm"; }
    // Called when a close is asked: the default runs OnCloseQuery.
    virtual bool CloseQuery();
    void BoundsChanged(const Rect& old) override;
    void CaptionChanged() override;

  private:
    friend class Application;
    void ApplyStyle();
    void ApplyClientSize();
    void DoShow();
    void CloseModal();
    void FocusFirst();
    static void ReleasePosted(Form* form);
    bool DialogKey(const MSG& msg);

    BorderStyle borderStyle_ = bsSizeable;
    Position position_ = poDesigned;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    bool keyPreview_ = false;
    bool shownOnce_ = false;
    bool showAfterCreate_ = false;
    bool created_ = false;
    ModalResult modalResult_ = mrNone;
    int modalDepth_ = 0;
    int keepAlive_ = 0;
    bool releasePending_ = false;
    TButton* defaultButton_ = nullptr;
    TButton* cancelButton_ = nullptr;
    WinControl* activeControl_ = nullptr;
    ScopedIcon iconBig_;
    ScopedIcon iconSmall_;
};

// Creates a form of class T owned by `owner` (normally the application) and runs its creation
// (see above). The application's first form created through its CreateForm becomes its main
// form; this one does not set the main form.
template <class T, class... Args>
T* CreateForm(Component* owner, Args&&... args) {
    auto* form = new T(owner, std::forward<Args>(args)...);
    try {
        form->InitializeForm();
    } catch (...) {
        delete form;
        throw;
    }
    return form;
}

}  // namespace ui
