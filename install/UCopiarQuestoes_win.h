// The installation progress window: prepares the engine, merges each subject's question and
// figure tables into the host's in catalogue order with two progress bars and Cancel, and
// tells the user to start Farol Exames again. Its two tables' edit, save and delete errors go
// to the error-report library (MensagemErroDb). Windows only.
//
// Owned by the application; freed by a close after Cancel, otherwise when the process ends.
#pragma once

#include <string>
#include <vector>

#include "install/db_components_win.h"
#include "install/merge.h"
#include "ui/form.h"
#include "ui/std_controls.h"

namespace components {
class TVyxBmp;
}

namespace pq::install {

// Cleared when the progress window is created, set by its Cancel button.
extern bool CancelRequested;

class TFCopiarQuestoes : public ui::Form, private MergeHost {
  public:
    using ui::Form::Form;
    const char* ClassName() const override { return "TFCopiarQuestoes"; }

    // Shows the window, runs the installation, then asks the window to close. An exception
    // from the run leaves before the close.
    void RunInstallation();

    components::TVyxBmp* VyxBmp1 = nullptr;
    ui::TLabel* Label2 = nullptr;
    ui::TLabel* Label1 = nullptr;
    ui::TProgressBar* MedidorParcial = nullptr;
    ui::TButton* BtnCancelar = nullptr;
    ui::TProgressBar* MedidorGeral = nullptr;
    TTable* TableDest = nullptr;
    TTable* TableSource = nullptr;

    // Told the longest time between two rounds of message processing during merges, for the
    // responsiveness measurement of the benchmark (milliseconds).
    double LongestMessageGapMs() const { return longestGapMs_; }

  protected:
    void DeclareBindings(ui::Bindings& b) override;

  private:
    void FormCreate(ui::Object& sender);
    void FormClose(ui::Object& sender, ui::CloseAction& action);
    void BtnCancelarClick(ui::Object& sender);
    void MensagemErroDb(tabledb::Table& dataSet, tabledb::EDatabaseError& e,
                        tabledb::TDataAction& action);
    void InstallAllSubjects();
    // Asks the user to close the host while another program holds one of the files of
    // `tables`, until they are free (true) or the user cancels (false).
    bool HostTablesFree(const std::vector<std::string>& tables);

    // MergeHost: the per-table bar, the message pump and the cancel flag.
    void SetPartialPosition(int position) override;
    void SetPartialMax(int max) override;
    int PartialPosition() const override;
    void ProcessMessages() override;
    bool CancelRequested() const override;

    bool running_ = false;
    double lastPumpMs_ = 0;
    double longestGapMs_ = 0;
};

extern TFCopiarQuestoes* FCopiarQuestoes;

}  // namespace pq::install
