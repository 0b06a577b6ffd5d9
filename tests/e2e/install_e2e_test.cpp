// The installation end to end: the real program under Wine installs a package of question and
// figure tables into a host made by the test, driven by pressing its real buttons; the host
// tables are then read back with the engine and checked.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first
#include <commctrl.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <map>

#include "install/subject_catalogue.h"
#include "paradox/table.h"
#include "tests/e2e/e2e_support_win.h"
#include "tests/support/probe_win.h"
#include "tools/demodata/question_bank.h"

namespace pq::e2e {
namespace {

using demodata::FigureRecord;
using demodata::QuestionRecord;

constexpr int kHostQuestions = 30;
constexpr int kHostFigures = 6;
constexpr int kPackageQuestions = 12;
constexpr int kPackageFigures = 4;
constexpr const char* kProgressCaption = "Instalando Pacote Lumen";
constexpr const char* kCompletion =
    "As questões foram instaladas com sucesso. Execute novamente o Farol Exames para "
    "utilizá-las.";

paradox::FileSystem& Files() {
    return paradox::OsFileSystem();
}

std::string HostTable(const std::string& host, unsigned s, const char* suffix) {
    return install::HostTablePath(host + "\\", s, suffix);
}

// What a subject's host table must hold after a merge: the host's records, those the package
// carries replaced by the package's, the package's new ones added.
struct Expected {
    std::map<int32_t, std::string> statements;  // NumeroReal -> Enunciado
    std::map<std::string, size_t> pictures;     // Nome -> picture bytes
};

class InstallE2E : public ::testing::Test {
  protected:
    UninstallEntry entry;
    TempDir hostDir{"e2e-host-install"};
    Medium medium{"install"};
    std::string host;
    std::string package;
    std::map<unsigned, Expected> before, after;  // per subject

    void SetUp() override {
        host = MakeHostFolder(hostDir.Path());
        entry.PointAt(host);
        CreateDirectoryW(Wide(host + "\\Dados").c_str(), nullptr);
        package = medium.Folder() + "\\Questoes";
        CreateDirectoryW(Wide(package).c_str(), nullptr);
    }

    // The host's tables of a subject (either may be left out) and the package's.
    void MakeSubject(unsigned s, bool hostQuestions = true, bool hostFigures = true,
                     int packageQuestions = kPackageQuestions) {
        const std::string folder = host + "\\Dados\\" + install::SubjectNameAt(s);
        CreateDirectoryW(Wide(folder).c_str(), nullptr);
        std::vector<QuestionRecord> hq, pq;
        for (int n = 1; n <= kHostQuestions; ++n) hq.push_back(demodata::MakeQuestion(s, n, 0));
        for (int n : demodata::PackageNumbers(kHostQuestions, packageQuestions, 0.5))
            pq.push_back(demodata::MakeQuestion(s, n, 1));
        std::vector<FigureRecord> hf, pf;
        for (int n = 1; n <= kHostFigures; ++n) hf.push_back(demodata::MakeFigure(s, n, 0, 2000));
        for (int n : demodata::PackageNumbers(kHostFigures, kPackageFigures, 0.5))
            pf.push_back(demodata::MakeFigure(s, n, 1, 6000));
        Expected& b = before[s];
        Expected& a = after[s];
        if (hostQuestions) {
            demodata::WriteQuestionTable(Files(), HostTable(host, s, ".db"), hq);
            for (const auto& q : hq) b.statements[q.numeroReal] = q.enunciado;
            a.statements = b.statements;
            for (const auto& q : pq) a.statements[q.numeroReal] = q.enunciado;
        }
        if (hostFigures) {
            demodata::WriteFigureTable(Files(), HostTable(host, s, "F.db"), hf);
            for (const auto& f : hf) b.pictures[f.nome] = f.picture.size();
            a.pictures = b.pictures;
            for (const auto& f : pf) a.pictures[f.nome] = f.picture.size();
        }
        const std::string prefix = package + "\\" + install::PackagePrefixAt(s);
        demodata::WriteQuestionTable(Files(), prefix + ".db", pq);
        demodata::WriteFigureTable(Files(), prefix + "F.db", pf);
    }

    // The host's tables of a subject as they are now (in `in`, the host folder unless told),
    // checked for validity.
    Expected Read(unsigned s) { return Read(s, host); }
    Expected Read(unsigned s, const std::string& in) {
        Expected e;
        const std::string q = HostTable(in, s, ".db");
        if (Files().IsFile(q)) {
            auto t = paradox::Table::Open(Files(), q, {true, {}});
            EXPECT_EQ(t->Check(), std::vector<std::string>{}) << q;
            for (t->First(); !t->AtEnd(); t->Next())
                e.statements[static_cast<int32_t>(t->Get(1).AsInteger())] = t->Get(2).AsText();
        }
        const std::string f = HostTable(in, s, "F.db");
        if (Files().IsFile(f)) {
            auto t = paradox::Table::Open(Files(), f, {true, {}});
            EXPECT_EQ(t->Check(), std::vector<std::string>{}) << f;
            for (t->First(); !t->AtEnd(); t->Next())
                e.pictures[t->Get(0).AsText()] = t->Get(2).AsBytes().size();
        }
        return e;
    }

    // A run accepted and ended by a failure, the library answering table errors with
    // `answers`: what reached the library.
    std::vector<derodede::LoggedCall> RunWith(const std::string& answers) {
        Installer run(medium, answers);
        HWND agreement = OpenAgreement(run);
        if (!agreement) return {};
        PostMessageW(ChildButton(agreement, "&Sim"), BM_CLICK, 0, 0);
        ExpectEndWithoutCompletionBox(run);
        return medium.Reports();
    }

    void ExpectSubject(unsigned s, const Expected& want) { ExpectSubject(s, want, host); }
    void ExpectSubject(unsigned s, const Expected& want, const std::string& in) {
        const Expected got = Read(s, in);
        EXPECT_EQ(got.statements, want.statements) << install::SubjectNameAt(s);
        EXPECT_EQ(got.pictures, want.pictures) << install::SubjectNameAt(s);
    }
};

// Every file under `folder` (its path below it) with its bytes.
std::map<std::string, std::string> FilesUnder(const std::string& folder,
                                              const std::string& below = "") {
    std::map<std::string, std::string> files;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(Wide(folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return files;
    do {
        const std::string name = Narrow(fd.cFileName);
        if (name == "." || name == "..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            files.merge(FilesUnder(folder + "\\" + name, below + name + "\\"));
        else
            files[below + name] = ReadFileBytes(folder + "\\" + name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return files;
}

// The progress window's two bars: MedidorParcial above MedidorGeral.
std::pair<HWND, HWND> ProgressBars(HWND window) {
    std::vector<std::pair<LONG, HWND>> bars;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[64];
        GetClassNameW(c, cls, 64);
        if (std::wstring(cls) == L"msctls_progress32") {
            RECT r;
            GetWindowRect(c, &r);
            bars.push_back({r.top, c});
        }
    }
    if (bars.size() != 2) return {nullptr, nullptr};
    if (bars[0].first > bars[1].first) std::swap(bars[0], bars[1]);
    return {bars[0].second, bars[1].second};
}

int BarPosition(HWND bar) {
    return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
}

// Main window -> Instalar -> Sim, then the completion box, its text checked; null when it does
// not come within `timeoutMs`.
HWND AcceptAndWaitForCompletion(Installer& run, DWORD timeoutMs) {
    HWND agreement = OpenAgreement(run);
    if (!agreement) return nullptr;
    PostMessageW(ChildButton(agreement, "&Sim"), BM_CLICK, 0, 0);
    HWND box = run.WaitForWindow(L"#32770", kMessageTitle, timeoutMs);
    EXPECT_TRUE(box) << "no completion box";
    if (box) {
        EXPECT_EQ(MessageBoxText(box), kCompletion);
    }
    return box;
}

// (1) accepted and completed: every host table holds the merged records.
TEST_F(InstallE2E, AcceptedInstallationMergesEverySubjectAndEnds) {
    for (unsigned s = 0; s < 8; ++s) MakeSubject(s);
    Installer run(medium);
    HWND agreement = OpenAgreement(run);
    ASSERT_TRUE(agreement);
    EXPECT_FALSE(IsWindowVisible(run.WaitForMainWindow(200)));
    SaveScreenshot(agreement, ScreenshotDir() + "\\e2e-contrato.bmp");
    PostMessageW(ChildButton(agreement, "&Sim"), BM_CLICK, 0, 0);
    HWND box = run.WaitForWindow(L"#32770", kMessageTitle, 60000);
    ASSERT_TRUE(box) << "no completion box";
    EXPECT_EQ(MessageBoxText(box), kCompletion);
    HWND progress = run.WaitForWindow(nullptr, kProgressCaption, 1000);
    ASSERT_TRUE(progress);
    auto [partial, general] = ProgressBars(progress);
    ASSERT_TRUE(general);
    EXPECT_EQ(BarPosition(general), 16);
    EXPECT_EQ(BarPosition(partial), kPackageFigures);  // the last table merged: QuimicaF
    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), 0u);
    for (unsigned s = 0; s < 8; ++s) ExpectSubject(s, after[s]);
    EXPECT_TRUE(medium.Reports().empty());
}

// (2) a host with none of the tables: nothing merged, the completion box all the same.
TEST_F(InstallE2E, HostWithoutTablesStillCompletes) {
    Installer run(medium);
    HWND box = AcceptAndWaitForCompletion(run, 30000);
    ASSERT_TRUE(box);
    auto [partial, general] = ProgressBars(run.WaitForWindow(nullptr, kProgressCaption, 1000));
    EXPECT_EQ(BarPosition(general), 16);
    EXPECT_EQ(BarPosition(partial), 0);
    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_TRUE(medium.Reports().empty());
}

// (3) a subject without its host figure table: its questions merged, its figures skipped.
TEST_F(InstallE2E, MissingHostFigureTableIsSkipped) {
    MakeSubject(2, /*hostQuestions=*/true, /*hostFigures=*/false);
    MakeSubject(3);
    Installer run(medium);
    HWND box = AcceptAndWaitForCompletion(run, 30000);
    ASSERT_TRUE(box);
    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), 0u);
    ExpectSubject(2, after[2]);
    ExpectSubject(3, after[3]);
    EXPECT_FALSE(Files().IsFile(HostTable(host, 2, "F.db")));
}

// (4) Cancel during the third subject's question table: the merge stops, no completion box,
// the main window comes back, then the program ends; what was saved stays and is valid.
TEST_F(InstallE2E, CancelDuringTheThirdSubjectKeepsWhatWasSaved) {
    MakeSubject(0);
    MakeSubject(1);
    MakeSubject(2, true, true, /*packageQuestions=*/4000);
    MakeSubject(3);
    Installer run(medium);
    HWND agreement = OpenAgreement(run);
    ASSERT_TRUE(agreement);
    PostMessageW(ChildButton(agreement, "&Sim"), BM_CLICK, 0, 0);
    HWND progress = run.WaitForWindow(nullptr, kProgressCaption, 30000);
    ASSERT_TRUE(progress);
    auto [partial, general] = ProgressBars(progress);
    ASSERT_TRUE(partial && general);
    ASSERT_TRUE(WaitFor([&] { return BarPosition(general) == 4 && BarPosition(partial) > 10; },
                        std::chrono::seconds(60)));
    SaveScreenshot(progress, ScreenshotDir() + "\\e2e-progresso.bmp");
    PostMessageW(ChildButton(progress, "Cancela&r"), BM_CLICK, 0, 0);
    // The main window shows again, then the program ends without the completion box.
    ExpectEndWithoutCompletionBox(run);
    EXPECT_TRUE(run.MainWindowSeen());
    ExpectSubject(0, after[0]);
    ExpectSubject(1, after[1]);
    ExpectSubject(3, before[3]);
    const Expected geo = Read(2);
    // Part of the table was merged: some host questions revised, not all of the package added.
    EXPECT_NE(geo.statements, before[2].statements);
    EXPECT_LT(geo.statements.size(), after[2].statements.size());
    EXPECT_EQ(geo.pictures, before[2].pictures);
}

// (5) declined: nothing opened or changed; the program ends.
TEST_F(InstallE2E, DeclinedAgreementChangesNothing) {
    MakeSubject(0);
    const std::string tableBefore = ReadFileBytes(HostTable(host, 0, ".db"));
    Installer run(medium);
    HWND agreement = OpenAgreement(run);
    ASSERT_TRUE(agreement);
    PostMessageW(ChildButton(agreement, "&Não"), BM_CLICK, 0, 0);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_EQ(ReadFileBytes(HostTable(host, 0, ".db")), tableBefore);
    ExpectSubject(0, before[0]);
    EXPECT_TRUE(medium.Reports().empty());
}

// (6) a package table missing where the host has the table: the engine's error reaches the
// error-report library, no completion box, the program ends.
TEST_F(InstallE2E, MissingPackageTableIsReported) {
    MakeSubject(0);
    DeleteFileW(Wide(package + "\\BioF.db").c_str());
    const auto calls = RunWith("");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, "ExceptionMessage");
    ASSERT_EQ(calls[0].fields.size(), 8u);
    EXPECT_EQ(calls[0].fields[6], "EDBEngineError");
    EXPECT_NE(calls[0].fields[7].find("BioF.db"), std::string::npos) << calls[0].fields[7];
    ExpectSubject(0, Expected{after[0].statements, before[0].pictures});
}

// (7) a save that fails (a key the host already holds): the library's answers decide.
class SaveFailureE2E : public InstallE2E {
  protected:
    // Biologia's host question table keyed on a plain integer code: the package's codes 1, 2,
    // ... collide with the host's on the first new record.
    void MakeCollidingSubject() {
        MakeSubject(0);
        paradox::Schema schema = demodata::QuestionSchema();
        schema.fields[0].type = paradox::FieldType::kLong;
        const std::string path = HostTable(host, 0, ".db");
        for (const char* ext : {".db", ".px", ".mb"})
            DeleteFileW(Wide(path.substr(0, path.size() - 3) + ext).c_str());
        auto t = paradox::Table::Create(Files(), path, schema);
        for (int n = 1; n <= kHostQuestions; ++n) {
            const QuestionRecord q = demodata::MakeQuestion(0, n, 0);
            t->Append();
            t->Set(0, paradox::Value::Integer(n));
            t->Set(1, paradox::Value::Integer(q.numeroReal));
            t->Set(2, paradox::Value::Text(q.enunciado));
            t->Post();
        }
    }
};

TEST_F(SaveFailureE2E, RetryThenFailReportsTheErrorOnce) {
    MakeCollidingSubject();
    const auto calls = RunWith("2,0");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].function, "DatabaseErrorMessage");
    ASSERT_EQ(calls[0].fields.size(), 2u);
    EXPECT_EQ(calls[0].fields[0], "Pacote Lumen");
    // The library also gets the table's error through its optional export.
    EXPECT_NE(calls[0].fields[1].find("Biologia.db: Key violation"), std::string::npos);
    EXPECT_EQ(calls[1].function, "DatabaseErrorMessage");
    EXPECT_EQ(calls[2].function, "ExceptionMessage");
    ASSERT_EQ(calls[2].fields.size(), 8u);
    EXPECT_EQ(calls[2].fields[6], "EDBEngineError");
    EXPECT_EQ(Read(0).statements.size(), static_cast<size_t>(kHostQuestions));
}

TEST_F(SaveFailureE2E, AbortEndsTheRunSilently) {
    MakeCollidingSubject();
    const auto calls = RunWith("1");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].function, "DatabaseErrorMessage");
}

// (8) the host open meanwhile: another program holds a host table's file (its .DB, or the
// table engine's lock file beside it). The user is asked to close the host; Cancelar ends as a
// cancel does with every host file as it was, Repetir asks again while the file is held and
// installs once it is free.
constexpr const char* kHostOpen =
    "O Farol Exames está aberto. Feche o Farol Exames e clique em Repetir para continuar a "
    "instalação.";

HWND AcceptAndWaitForHostOpenBox(Installer& run) {
    HWND agreement = OpenAgreement(run);
    if (!agreement) return nullptr;
    PostMessageW(ChildButton(agreement, "&Sim"), BM_CLICK, 0, 0);
    HWND box = run.WaitForWindow(L"#32770", kMessageTitle);
    EXPECT_TRUE(box) << "no message box";
    if (box) {
        EXPECT_EQ(MessageBoxText(box), kHostOpen);
    }
    return box;
}

TEST_F(InstallE2E, AHostTableHeldByAnotherProgramWaitsForTheUser) {
    MakeSubject(0);
    MakeSubject(1);
    const std::string folder = host + "\\Dados\\" + install::SubjectNameAt(1);
    if (FILE* lock = _wfopen(Wide(folder + "\\PARADOX.LCK").c_str(), L"wb")) fclose(lock);
    for (const char* held : {"Física.db", "PARADOX.LCK"}) {
        SCOPED_TRACE(held);
        const auto filesBefore = FilesUnder(host + "\\Dados");
        pq::testing::Probe holder("share", folder + "\\" + held);
        ASSERT_EQ(holder.Line(), "held");
        {
            Installer run(medium);
            HWND box = AcceptAndWaitForHostOpenBox(run);
            ASSERT_TRUE(box);
            PressButton(box, IDCANCEL);
            ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }));
            ExpectEndWithoutCompletionBox(run);
            EXPECT_TRUE(run.MainWindowSeen());
        }
        EXPECT_EQ(FilesUnder(host + "\\Dados"), filesBefore);

        Installer run(medium);
        HWND box = AcceptAndWaitForHostOpenBox(run);
        ASSERT_TRUE(box);
        PressButton(box, IDRETRY);  // still held: asked again
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }));
        box = run.WaitForWindow(L"#32770", kMessageTitle);
        ASSERT_TRUE(box);
        EXPECT_EQ(MessageBoxText(box), kHostOpen);
        holder.Terminate();
        PressButton(box, IDRETRY);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }));
        box = run.WaitForWindow(L"#32770", kMessageTitle, 60000);
        ASSERT_TRUE(box);
        EXPECT_EQ(MessageBoxText(box), kCompletion);
        PressButton(box, IDOK);
        EXPECT_EQ(run.WaitForExit(), 0u);
        ExpectSubject(0, after[0]);
        ExpectSubject(1, after[1]);
    }
    EXPECT_TRUE(medium.Reports().empty());
}

// (9) the registered name in a report: where the 32-bit host writes it, where a 64-bit one
// would, in both (the 32-bit view counts) and in neither.
TEST_F(InstallE2E, ReportsCarryTheRegistrationNameFromEitherView) {
    MakeSubject(0);
    DeleteFileW(Wide(package + "\\Bio.db").c_str());  // the first table fails to open
    const struct {
        const char* in32;
        const char* in64;
        const char* shown;
    } cases[] = {{"Escola Trinta e Dois", nullptr, "Escola Trinta e Dois"},
                 {nullptr, "Escola Sessenta e Quatro", "Escola Sessenta e Quatro"},
                 {"Escola Trinta e Dois", "Escola Sessenta e Quatro", "Escola Trinta e Dois"},
                 {nullptr, nullptr, "Não Registrado"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        RegistrationEntry name32(RegistryView::k32), name64(RegistryView::k64);
        if (c.in32) name32.SetText(L"Name", c.in32);
        if (c.in64) name64.SetText(L"Name", c.in64);
        DeleteFileW(Wide(medium.LogPath()).c_str());
        const auto calls = RunWith("");
        ASSERT_EQ(calls.size(), 1u);
        ASSERT_EQ(calls[0].fields.size(), 8u);
        EXPECT_EQ(calls[0].fields[3], c.shown);
    }
    ExpectSubject(0, before[0]);
}

// (10) a host under Program Files whose writes Windows redirected for two subjects: the host
// reads those subjects from the user's VirtualStore, and the merge goes there; the others, and
// the real folders of the two, are merged and left as the host reads them.
std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) folder = Narrow(path);
    CoTaskMemFree(path);
    return folder;
}

class VirtualStoreE2E : public InstallE2E {
  protected:
    const std::string programFiles = KnownFolder(FOLDERID_ProgramFilesX86);
    const std::string store = KnownFolder(FOLDERID_LocalAppData) + "\\VirtualStore";
    std::unique_ptr<TempDir> realHost, redirected;

    void SetUp() override {
        ASSERT_FALSE(programFiles.empty());
        ASSERT_EQ(programFiles.substr(1, 2), ":\\");
        realHost = std::make_unique<TempDir>(TempDir::At{programFiles + "\\Farol Exames"});
        host = MakeHostFolder(programFiles);
        entry.PointAt(host);
        CreateDirectoryW(Wide(host + "\\Dados").c_str(), nullptr);
        // The host's copy lies at the same path below the VirtualStore, drive left out.
        const std::string copy = store + programFiles.substr(2);
        SHCreateDirectoryExW(nullptr, Wide(copy).c_str(), nullptr);
        redirected = std::make_unique<TempDir>(TempDir::At{copy + "\\Farol Exames"});
        package = medium.Folder() + "\\Questoes";
        CreateDirectoryW(Wide(package).c_str(), nullptr);
    }
    void TearDown() override {
        redirected.reset();
        realHost.reset();
    }
    std::string Copy() const { return redirected->Path(); }
    // Subject s's host folder copied into the VirtualStore, as the host's first write left it.
    void Redirect(unsigned s) {
        const std::string from = host + "\\Dados\\" + install::SubjectNameAt(s);
        const std::string to = Copy() + "\\Dados\\" + install::SubjectNameAt(s);
        SHCreateDirectoryExW(nullptr, Wide(to).c_str(), nullptr);
        for (const auto& [name, bytes] : FilesUnder(from))
            ASSERT_TRUE(
                CopyFileW(Wide(from + "\\" + name).c_str(), Wide(to + "\\" + name).c_str(), FALSE));
    }
};

TEST_F(VirtualStoreE2E, TheMergeGoesWhereTheHostReadsEachSubject) {
    for (unsigned s = 0; s < 4; ++s) MakeSubject(s);
    Redirect(1);
    Redirect(2);
    const auto real1 = FilesUnder(host + "\\Dados\\" + install::SubjectNameAt(1));
    const auto real2 = FilesUnder(host + "\\Dados\\" + install::SubjectNameAt(2));
    Installer run(medium);
    HWND box = AcceptAndWaitForCompletion(run, 60000);
    ASSERT_TRUE(box);
    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), 0u);
    ExpectSubject(0, after[0]);
    ExpectSubject(3, after[3]);
    ExpectSubject(1, after[1], Copy());
    ExpectSubject(2, after[2], Copy());
    EXPECT_EQ(FilesUnder(host + "\\Dados\\" + install::SubjectNameAt(1)), real1);
    EXPECT_EQ(FilesUnder(host + "\\Dados\\" + install::SubjectNameAt(2)), real2);
    EXPECT_TRUE(medium.Reports().empty());
}

}  // namespace
}  // namespace pq::e2e
