// The licence agreement dialog: shown modally from inside its own creation; "Sim" hides it
// and runs the installation in the progress window, "Não", Esc or the close box decline.
// Closing frees it. Windows only.
#pragma once

#include "ui/form.h"
#include "ui/std_controls.h"

namespace pq::install {

class TFContratoLicensa : public ui::Form {
  public:
    using ui::Form::Form;
    const char* ClassName() const override { return "TFContratoLicensa"; }

    ui::TLabel* Label1 = nullptr;
    ui::TMemo* Memo = nullptr;
    ui::TLabel* LabInformacoes = nullptr;
    ui::TButton* BtnSim = nullptr;
    ui::TButton* BtnNao = nullptr;

  protected:
    void DeclareBindings(ui::Bindings& b) override;

  private:
    void FormCreate(ui::Object& sender);
    void BtnSimClick(ui::Object& sender);
    void FormClose(ui::Object& sender, ui::CloseAction& action);
};

extern TFContratoLicensa* FContratoLicensa;

// Creates the licence window owned by the application; returns when its modal run is over
// (declined, or the installation it started has ended).
void RunLicenceAgreement();

}  // namespace pq::install
