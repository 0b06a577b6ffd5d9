#include "install/UContratoLicensa_win.h"

#include "install/UCopiarQuestoes_win.h"
#include "ui/application.h"
#include "ui/form_loader.h"

namespace pq::install {

TFContratoLicensa* FContratoLicensa = nullptr;

void TFContratoLicensa::DeclareBindings(ui::Bindings& b) {
    b.Field("Label1", Label1);
    b.Field("Memo", Memo);
    b.Field("LabInformacoes", LabInformacoes);
    b.Field("BtnSim", BtnSim);
    b.Field("BtnNao", BtnNao);
    b.Handler("FormCreate", this, &TFContratoLicensa::FormCreate);
    b.Handler("BtnSimClick", this, &TFContratoLicensa::BtnSimClick);
    b.Handler("FormClose", this, &TFContratoLicensa::FormClose);
}

void TFContratoLicensa::FormCreate(ui::Object&) {
    SetCaption(Caption() + "Pacote Lumen");
    ShowModal();
}

void TFContratoLicensa::BtnSimClick(ui::Object&) {
    Hide();
    FCopiarQuestoes = ui::CreateForm<TFCopiarQuestoes>(&ui::App());
    FCopiarQuestoes->RunInstallation();
}

void TFContratoLicensa::FormClose(ui::Object&, ui::CloseAction& action) {
    action = ui::caFree;
}

void RunLicenceAgreement() {
    RegisterKinds(ui::Kinds());  // the table component of the progress window
    FContratoLicensa = ui::CreateForm<TFContratoLicensa>(&ui::App());
}

}  // namespace pq::install
