// The main window, FPrincipal: borderless, cut to the outline of the card in its picture,
// with the two image buttons that start the installation or leave. Its creation handler
// installs the application's exception handler and runs the start-up checks; the window shows
// itself only when they pass. Pressing anywhere outside the buttons drags the window.
//
// The window is made from the definition principal.form (embedded with its pictures). The
// application owns it; FPrincipal points at it from its construction to its destruction.
// Windows only.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

#include "components/ZRDrives.h"
#include "components/ZRMultiButton_win.h"
#include "ui/form.h"
#include "ui/scoped_win.h"
#include "ui/std_controls.h"

namespace pq::app {

class TFPrincipal : public ui::Form {
  public:
    explicit TFPrincipal(ui::Component* owner);
    ~TFPrincipal() override;
    const char* ClassName() const override { return "TFPrincipal"; }
    std::string DefinitionName() const override { return "principal.form"; }

    ui::TImage* Image1 = nullptr;
    components::TZRMultiButton* BtnInstalar = nullptr;
    components::TZRMultiButton* BtnSair = nullptr;
    components::TZRDrives* ZRDrives = nullptr;

    // The application-wide exception handler: reports `e` through DERodede.dll with the
    // sender's class name.
    void MensagemExcecao(ui::Object& sender, const std::exception& e);

    // The answer to the hit-test query at a screen point: HTCLIENT over a speed button,
    // HTCAPTION elsewhere (the window is dragged from there).
    LRESULT HitTest(int screenX, int screenY) const;

    void WndProc(ui::Message& message) override;

  protected:
    void DeclareBindings(ui::Bindings& bindings) override;

  private:
    void FormCreate(ui::Object& sender);
    void FormShow(ui::Object& sender);
    void BtnInstalarClick(ui::Object& sender);
    void BtnSairClick(ui::Object& sender);
    // The start-up checks with the machine's registry, files and ZRDrives; on a refusal the
    // message is shown and the application asked to terminate. True when they pass.
    bool CheckStartup();
};

extern TFPrincipal* FPrincipal;

// The window's outline for a window `height` pixels high (the design width is 457).
ui::ScopedRgn MakePrincipalRegion(int height);

}  // namespace pq::app
