// Host tables with secondary indexes, end to end: the real program under Wine merges a package
// into a host whose question table has a maintained index on "NumeroReal" and whose figure table
// has a named one; afterwards both tables hold the merged records and every index equals a
// rebuild from its table (the engine's check compares them entry by entry).
#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "install/subject_catalogue.h"
#include "paradox/table.h"
#include "tests/e2e/e2e_support_win.h"
#include "tools/demodata/question_bank.h"

namespace pq::e2e {
namespace {

constexpr unsigned kSubject = 0;  // Biologia
constexpr const char* kCompletion =
    "As questões foram instaladas com sucesso. Execute novamente o Farol Exames para "
    "utilizá-las.";

paradox::FileSystem& Files() {
    return paradox::OsFileSystem();
}

TEST(HostIndexesE2E, IndexedHostTablesAreMergedAndTheirIndexesKept) {
    const TestHost testHost("indexes", {install::SubjectNameAt(kSubject)});
    const std::string& host = testHost.Folder();
    Medium medium("indexes");
    const std::string package = MakePackageFolder(medium);

    // The host: 60 questions and 8 figures, indexed; the package: 40 questions (half of them
    // the host's) and 5 figures.
    std::map<int32_t, std::string> statements;
    std::map<std::string, std::string> descriptions;
    std::vector<demodata::QuestionRecord> hq, pq;
    for (int n = 1; n <= 60; ++n) hq.push_back(demodata::MakeQuestion(kSubject, n, 0));
    for (int n : demodata::PackageNumbers(60, 40, 0.5))
        pq.push_back(demodata::MakeQuestion(kSubject, n, 1));
    std::vector<demodata::FigureRecord> hf, pf;
    for (int n = 1; n <= 8; ++n) hf.push_back(demodata::MakeFigure(kSubject, n, 0, 1500));
    for (int n : demodata::PackageNumbers(8, 5, 0.5))
        pf.push_back(demodata::MakeFigure(kSubject, n, 1, 5000));
    for (const auto* list : {&hq, &pq})
        for (const auto& q : *list) statements[q.numeroReal] = q.enunciado;
    for (const auto* list : {&hf, &pf})
        for (const auto& f : *list) descriptions[f.nome] = f.descricao;
    const std::string questions = install::HostTablePath(host + "\\", kSubject, ".db");
    const std::string figures = install::HostTablePath(host + "\\", kSubject, "F.db");
    demodata::WriteQuestionTable(Files(), questions, hq);
    demodata::WriteFigureTable(Files(), figures, hf);
    {
        auto t = paradox::Table::Open(Files(), questions);
        t->AddSecondaryIndex({"NumeroReal"});
        auto f = paradox::Table::Open(Files(), figures);
        f->AddSecondaryIndex({"Descricao"}, "PorDescricao");
    }
    const std::string prefix = package + "\\" + install::PackagePrefixAt(kSubject);
    demodata::WriteQuestionTable(Files(), prefix + ".db", pq);
    demodata::WriteFigureTable(Files(), prefix + "F.db", pf);

    Installer run(medium);
    HWND agreement = OpenAgreement(run);
    ASSERT_TRUE(agreement);
    PostMessageW(ChildButton(agreement, "&Sim"), BM_CLICK, 0, 0);
    HWND box = run.WaitForWindow(L"#32770", kMessageTitle, 60000);
    std::string reports;
    for (const auto& call : medium.Reports())
        for (const std::string& field : call.fields) reports += call.function + ": " + field + "\n";
    ASSERT_TRUE(box) << "no completion box; reports:\n" << reports;
    EXPECT_EQ(MessageBoxText(box), kCompletion);
    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_TRUE(medium.Reports().empty());

    struct Expect {
        std::string path;
        std::string index;  // the records file
        std::vector<std::string> fields;
        std::string name;
    };
    const std::string q = questions.substr(questions.find_last_of('\\') + 1);
    const std::string fig = figures.substr(figures.find_last_of('\\') + 1);
    for (const Expect& e :
         {Expect{questions, q.substr(0, q.size() - 3) + ".x02", {"NumeroReal"}, ""},
          Expect{figures, fig.substr(0, fig.size() - 3) + ".xg0", {"Descricao"}, "PorDescricao"}}) {
        SCOPED_TRACE(e.path);
        auto t = paradox::Table::Open(Files(), e.path, {true, {}});
        EXPECT_EQ(t->Check(), std::vector<std::string>{});
        const paradox::TableInfo info = t->info();
        ASSERT_EQ(info.secondaryIndexes.size(), 1u);
        const paradox::SecondaryIndexInfo& x = info.secondaryIndexes[0];
        EXPECT_EQ(x.file, e.index);
        EXPECT_TRUE(x.maintained);
        EXPECT_EQ(x.fields, e.fields);
        EXPECT_EQ(x.name, e.name);
        EXPECT_EQ(x.refusal, "");
        if (e.path == questions) {
            std::map<int32_t, std::string> got;
            for (t->First(); !t->AtEnd(); t->Next())
                got[static_cast<int32_t>(t->Get(1).AsInteger())] = t->Get(2).AsText();
            EXPECT_EQ(got, statements);
        } else {
            std::map<std::string, std::string> got;
            for (t->First(); !t->AtEnd(); t->Next()) got[t->Get(0).AsText()] = t->Get(1).AsText();
            EXPECT_EQ(got, descriptions);
        }
    }
}

}  // namespace
}  // namespace pq::e2e
