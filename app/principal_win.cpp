#include "app/principal_win.h"

#include <windowsx.h>

#include "app/licence_agreement.h"
#include "app/startup_checks.h"
#include "app/startup_checks_win.h"
#include "app/zrdrives_space.h"
#include "base/exception.h"
#include "shell/error_bridge_win.h"
#include "shell/registry_win.h"
#include "ui/application.h"

namespace pq::app {

TFPrincipal* FPrincipal = nullptr;

namespace {

constexpr char kMainTitle[] = "Pacote Lumen";

ui::ScopedRgn Checked(HRGN region) {
    if (!region) throw EOSError("Cannot create the main window's region");
    return ui::ScopedRgn(region);
}

void Combine(ui::ScopedRgn& into, const ui::ScopedRgn& with, int mode) {
    if (CombineRgn(into.get(), into.get(), with.get(), mode) == ERROR)
        throw EOSError("Cannot combine the main window's region");
}

}  // namespace

TFPrincipal::TFPrincipal(ui::Component* owner) : Form(owner) {
    FPrincipal = this;
}

TFPrincipal::~TFPrincipal() {
    if (FPrincipal == this) FPrincipal = nullptr;
}

void TFPrincipal::DeclareBindings(ui::Bindings& b) {
    b.Field("Image1", Image1);
    b.Field("BtnInstalar", BtnInstalar);
    b.Field("BtnSair", BtnSair);
    b.Field("ZRDrives", ZRDrives);
    b.Handler("FormCreate", this, &TFPrincipal::FormCreate);
    b.Handler("FormShow", this, &TFPrincipal::FormShow);
    b.Handler("BtnInstalarClick", this, &TFPrincipal::BtnInstalarClick);
    b.Handler("BtnSairClick", this, &TFPrincipal::BtnSairClick);
}

void TFPrincipal::FormCreate(ui::Object&) {
    ui::Application& app = ui::App();
    app.SetTitle(kMainTitle);
    app.OnException = [this](ui::Object& sender, const std::exception& e) {
        MensagemExcecao(sender, e);
    };
    try {
        if (CheckStartup()) Show();
    } catch (...) {
        // Reported like any failure, with this window as the sender; then start-up ends.
        // A window that was never shown would otherwise keep the process running with
        // nothing on the screen to close it.
        app.HandleException(*this, std::current_exception());
        app.Terminate();
    }
}

bool TFPrincipal::CheckStartup() {
    shell::WinMachineRegistry registry;
    WinFileProbe files;
    ZRDrivesSpace drives(*ZRDrives);
    const StartupOutcome outcome =
        RunStartupChecks({ExecutablePath(), registry, files, drives}, DadosApp);
    if (outcome.passed) return true;
    ui::App().MessageBox(outcome.refusal, kRefusalTitle, MB_OK | MB_ICONEXCLAMATION);
    ui::App().Terminate();
    return false;
}

ui::ScopedRgn MakePrincipalRegion(int height) {
    // Rectangles include their left and top bounds and exclude the right and bottom ones, as
    // the region calls do, so the numbers go in as they stand.
    ui::ScopedRgn shape = Checked(CreateRoundRectRgn(0, 0, 300, height, 55, 55));
    Combine(shape, Checked(CreateEllipticRgn(16, 16, 44, 44)), RGN_DIFF);  // the punched hole
    Combine(shape, Checked(CreateRoundRectRgn(242, 8, 457, 298, 55, 55)), RGN_OR);
    Combine(shape, Checked(CreateRectRgn(242, 0, 457, 8)), RGN_DIFF);
    Combine(shape, Checked(CreateRectRgn(242, 297, 457, 305)), RGN_DIFF);
    const POINT notch[] = {{436, 261}, {453, 261}, {456, 264}, {456, 240},
                           {455, 243}, {453, 245}, {436, 245}};
    Combine(shape, Checked(CreatePolygonRgn(notch, 7, WINDING)), RGN_DIFF);
    return shape;
}

void TFPrincipal::FormShow(ui::Object&) {
    SetWindowRegion(MakePrincipalRegion(Height()), true);
}

LRESULT TFPrincipal::HitTest(int screenX, int screenY) const {
    const ui::Point p{screenX - Left(), screenY - Top()};
    const ui::GraphicControl* control = ControlAtPoint(p);
    return control && control->IsSpeedButton() ? HTCLIENT : HTCAPTION;
}

void TFPrincipal::WndProc(ui::Message& m) {
    if (m.msg == WM_NCHITTEST) {
        // The coordinates are signed 16-bit values: screens left of or above the primary
        // one give negative ones.
        m.result = HitTest(GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam));
        return;
    }
    Form::WndProc(m);
}

void TFPrincipal::MensagemExcecao(ui::Object& sender, const std::exception& e) {
    shell::ReportException(sender.ClassName(), e);
}

void TFPrincipal::BtnInstalarClick(ui::Object&) {
    Hide();
    RunLicenceAgreement();
    Close();
}

void TFPrincipal::BtnSairClick(ui::Object&) {
    Close();
}

}  // namespace pq::app
