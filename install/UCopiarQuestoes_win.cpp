#include "install/UCopiarQuestoes_win.h"

#include <windows.h>

#include "components/vyxbmp32_win.h"
#include "install/host_files_win.h"
#include "install/session_setup.h"
#include "install/subject_catalogue.h"
#include "shell/dados_app.h"
#include "shell/error_bridge_win.h"
#include "tabledb/session.h"
#include "ui/application.h"
#include "ui/screen_cursor.h"

namespace pq::install {

bool CancelRequested = false;
TFCopiarQuestoes* FCopiarQuestoes = nullptr;

namespace {

double NowMs() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

constexpr char kCompletionText[] =
    "As questões foram instaladas com sucesso. Execute novamente o Farol Exames para "
    "utilizá-las.";
constexpr char kHostOpenText[] =
    "O Farol Exames está aberto. Feche o Farol Exames e clique em Repetir para continuar a "
    "instalação.";
constexpr char kMessageTitle[] = "Pacote Lumen";

}  // namespace

void TFCopiarQuestoes::DeclareBindings(ui::Bindings& b) {
    b.Field("VyxBmp1", VyxBmp1);
    b.Field("Label2", Label2);
    b.Field("Label1", Label1);
    b.Field("MedidorParcial", MedidorParcial);
    b.Field("BtnCancelar", BtnCancelar);
    b.Field("MedidorGeral", MedidorGeral);
    b.Field("TableDest", TableDest);
    b.Field("TableSource", TableSource);
    b.Handler("FormCreate", this, &TFCopiarQuestoes::FormCreate);
    b.Handler("FormClose", this, &TFCopiarQuestoes::FormClose);
    b.Handler("BtnCancelarClick", this, &TFCopiarQuestoes::BtnCancelarClick);
    b.Handler("MensagemErroDb", this, &TFCopiarQuestoes::MensagemErroDb);
}

void TFCopiarQuestoes::FormCreate(ui::Object&) {
    SetCaption("Instalando Pacote Lumen");
    install::CancelRequested = false;
}

void TFCopiarQuestoes::FormClose(ui::Object&, ui::CloseAction& action) {
    // A close during the run would free the window under it: every close waits for the end
    // of the run, when RunInstallation asks again.
    if (running_) {
        action = ui::caNone;
        return;
    }
    if (GetModalResult() == ui::mrAbort) {
        action = ui::caFree;
        // The main window (FPrincipal) comes back; its install handler then ends the program.
        if (install::CancelRequested && ui::App().MainForm()) ui::App().MainForm()->Show();
    } else {
        action = ui::caNone;
    }
}

void TFCopiarQuestoes::BtnCancelarClick(ui::Object&) {
    install::CancelRequested = true;
}

void TFCopiarQuestoes::MensagemErroDb(tabledb::Table&, tabledb::EDatabaseError& e,
                                      tabledb::TDataAction& action) {
    action = shell::AskDatabaseError(ui::App().Title(), e);
}

void TFCopiarQuestoes::RunInstallation() {
    Show();
    {
        // The window must outlive the run, whatever the messages processed inside it do.
        ui::Form::KeepAlive alive(*this);
        running_ = true;
        try {
            InstallAllSubjects();
        } catch (...) {
            running_ = false;
            throw;
        }
        running_ = false;
    }
    Close();
}

bool TFCopiarQuestoes::HostTablesFree(const std::vector<std::string>& tables) {
    while (!HostFilesHeldElsewhere(tables).empty()) {
        if (ui::App().MessageBox(kHostOpenText, kMessageTitle, MB_RETRYCANCEL | MB_ICONWARNING) !=
            IDRETRY)
            return false;
    }
    return true;
}

void TFCopiarQuestoes::InstallAllSubjects() {
    ui::ScopedScreenCursor cursor(ui::crAppStart);
    struct Kind {
        std::string_view suffix;
        const char* word;
    };
    const Kind kinds[] = {{QuestionSuffix, " questões de "}, {FigureSuffix, " figuras de "}};
    // Where the host reads each table, and nothing written while another program (the host
    // itself, open meanwhile) holds one of their files.
    const HostRedirection redirection = SystemHostRedirection();
    std::vector<HostTableLocation> located;
    std::vector<std::string> tables;
    for (unsigned i = 0; i < SubjectCatalogue.SubjectCount; ++i) {
        for (const Kind& kind : kinds) {
            located.push_back(LocateHostTable(shell::DadosApp.HostFolder, i, kind.suffix,
                                              redirection, HostFileExists));
            tables.push_back(located.back().table);
        }
    }
    if (!HostTablesFree(tables)) {
        // Ends as a cancel does: the window is freed and the main window shown again.
        install::CancelRequested = true;
        SetModalResult(ui::mrAbort);
        return;
    }
    tabledb::Session& session = tabledb::DefaultSession();
    session.OnEngineBusy = [](bool busy) {
        ui::SetScreenCursor(busy ? ui::crHourGlass : ui::crDefault);
    };
    PrepareSession(session, shell::DadosApp.ProgramFolder);
    MedidorGeral->SetMax(2 * SubjectCatalogue.SubjectCount);
    MedidorGeral->SetPosition(0);
    for (unsigned i = 0; i < SubjectCatalogue.SubjectCount; ++i) {
        std::string aliasFolder = located[2 * i].folder;
        DefineSubjectAliasAt(session, i, aliasFolder);
        for (unsigned k = 0; k < 2; ++k) {
            const Kind& kind = kinds[k];
            const HostTableLocation& where = located[2 * i + k];
            if (HostFileExists(where.table)) {
                if (where.folder != aliasFolder) {
                    // The subject's tables lie in two folders: the alias follows this one.
                    TableDest->SetActive(false);
                    aliasFolder = where.folder;
                    DefineSubjectAliasAt(session, i, aliasFolder);
                }
                OpenTablePair(*TableDest, *TableSource, i, kind.suffix);
                Label1->SetCaption("Copiando " + std::to_string(TableSource->RecordTotal()) +
                                   kind.word + SubjectNameAt(i) + "...");
                lastPumpMs_ = NowMs();
                MergeTable(*TableSource, *TableDest, *this);
                if (install::CancelRequested) return;
            }
            MedidorGeral->SetPosition(MedidorGeral->Position() + 1);
        }
    }
    ui::App().MessageBox(kCompletionText, "Pacote Lumen", MB_OK | MB_ICONINFORMATION);
    ui::App().Terminate();
}

void TFCopiarQuestoes::SetPartialPosition(int position) {
    MedidorParcial->SetPosition(position);
}
void TFCopiarQuestoes::SetPartialMax(int max) {
    MedidorParcial->SetMax(max);
}
int TFCopiarQuestoes::PartialPosition() const {
    return MedidorParcial->Position();
}

void TFCopiarQuestoes::ProcessMessages() {
    const double now = NowMs();
    if (now - lastPumpMs_ > longestGapMs_) longestGapMs_ = now - lastPumpMs_;
    ui::App().ProcessMessages();
    lastPumpMs_ = NowMs();
}

bool TFCopiarQuestoes::CancelRequested() const {
    return install::CancelRequested;
}

}  // namespace pq::install
