// The toolkit's demonstration program: a window made from a form definition (UiDemo.form,
// embedded with its picture). With --ready FILE it writes FILE once the window is shown, so a
// script can take a screenshot.
#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "base/text.h"
#include "ui/application.h"
#include "ui/std_controls.h"

namespace {

// A windowless control of the demo's own kind: a box that lights up while the pointer is over
// it and counts clicks.
class TDemoBox : public ui::GraphicControl {
  public:
    explicit TDemoBox(ui::Component* owner) : GraphicControl(owner) { SetOpaque(true); }
    const char* ClassName() const override { return "TDemoBox"; }
    void Paint(ui::Canvas& canvas) override {
        canvas.FillRect(ClientRect(), over_ ? ui::clYellow : ui::clNavy);
        canvas.DrawText(ClientRect(), std::to_string(clicks_),
                        DT_CENTER | DT_VCENTER | DT_SINGLELINE, over_ ? ui::clBlack : ui::clWhite);
    }
    void MouseEnter() override {
        over_ = true;
        Repaint();
    }
    void MouseLeave() override {
        over_ = false;
        Repaint();
    }
    void Click() override {
        ++clicks_;
        Repaint();
        GraphicControl::Click();
    }

  private:
    bool over_ = false;
    int clicks_ = 0;
};

class TUiDemo : public ui::Form {
  public:
    using Form::Form;
    const char* ClassName() const override { return "TUiDemo"; }
    std::string readyFile;

  protected:
    void DeclareBindings(ui::Bindings& b) override {
        b.Field("Progress", progress_);
        b.Field("Status", status_);
        b.Handler("FormCreate", this, &TUiDemo::FormCreate);
        b.Handler("FormClose", this, &TUiDemo::FormClose);
        b.Handler("BtnStepClick", this, &TUiDemo::BtnStepClick);
        b.Handler("BtnCloseClick", this, &TUiDemo::BtnCloseClick);
    }

  private:
    void FormCreate(ui::Object&) { ui::App().SetTitle("Demonstração"); }
    void FormClose(ui::Object&, ui::CloseAction& action) { action = ui::caFree; }
    void BtnStepClick(ui::Object&) {
        progress_->StepBy(1);
        status_->SetCaption("Posição " + std::to_string(progress_->Position()) + " de " +
                            std::to_string(progress_->Max()));
    }
    void BtnCloseClick(ui::Object&) { Close(); }

    ui::TProgressBar* progress_ = nullptr;
    ui::TLabel* status_ = nullptr;
};

void RegisterDemoKinds(ui::KindRegistry& kinds) {
    kinds.Register<TDemoBox>("TDemoBox", &ui::CreateControl<TDemoBox>).Inherit("TGraphicControl");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string ready;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == L"--ready")
            ready = pq::text::Utf16ToUtf8(reinterpret_cast<const char16_t*>(argv[i + 1]));
    LocalFree(argv);
    try {
        ui::Application app;
        RegisterDemoKinds(ui::Kinds());
        app.SetTitle("Demonstração do toolkit");
        app.SetShowMainForm(true);
        app.CreateForm<TUiDemo>();
        app.MainForm()->Show();
        if (!ready.empty()) {
            app.ProcessMessages();
            app.MainForm()->Repaint();
            if (FILE* f = _wfopen(
                    reinterpret_cast<const wchar_t*>(pq::text::Utf8ToUtf16(ready).c_str()), L"w"))
                fclose(f);
        }
        app.Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ui_demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
