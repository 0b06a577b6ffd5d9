#include "install/UCopiarQuestoes_win.h"

#include <windows.h>

#include "app/error_bridge_win.h"
#include "app/startup_checks.h"
#include "base/text.h"
#include "components/vyxbmp32_win.h"
#include "install/session_setup.h"
#include "install/subject_catalogue.h"
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

bool HostFileExists(const std::string& path) {
    const std::u16string w = text::Utf8ToUtf16(path);
    const DWORD attr = GetFileAttributesW(reinterpret_cast<const wchar_t*>(w.c_str()));
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

constexpr char kCompletionText[] =
    "As questões foram instaladas com sucesso. Execute novamente o Farol Exames para "
    "utilizá-las.";

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
    action = app::AskDatabaseError(ui::App().Title(), e);
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

void TFCopiarQuestoes::InstallAllSubjects() {
    ui::ScopedScreenCursor cursor(ui::crAppStart);
    tabledb::Session& session = tabledb::DefaultSession();
    session.OnEngineBusy = [](bool busy) {
        ui::SetScreenCursor(busy ? ui::crHourGlass : ui::crDefault);
    };
    PrepareSession(session, app::DadosApp.ProgramFolder);
    MedidorGeral->SetMax(2 * SubjectCatalogue.SubjectCount);
    MedidorGeral->SetPosition(0);
    struct Kind {
        std::string_view suffix;
        const char* word;
    };
    const Kind kinds[] = {{QuestionSuffix, " questões de "}, {FigureSuffix, " figuras de "}};
    for (unsigned i = 0; i < SubjectCatalogue.SubjectCount; ++i) {
        DefineSubjectAlias(session, app::DadosApp.HostFolder, i);
        for (const Kind& kind : kinds) {
            if (HostFileExists(HostTablePath(app::DadosApp.HostFolder, i, kind.suffix))) {
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
