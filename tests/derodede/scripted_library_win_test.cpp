// The scripted DERodede.dll under Wine: every call lands in the DERODEDE_LOG file, and
// DatabaseErrorMessage answers from DERODEDE_ANSWERS.
#include <gtest/gtest.h>
#include <windows.h>

#include "derodede/report.h"
#include "library_loader_win.h"
#include "tests/app/win_test_support.h"

namespace pq::derodede {
namespace {

using namespace pq::testing;
using testing::Library;

TEST(ScriptedLibrary, LogsEveryCallAndAnswersFromTheScript) {
    TempDir temp("derodede-scripted");
    const std::string log = temp.Path() + "\\chamadas.log";
    ASSERT_TRUE(SetEnvironmentVariableW(L"DERODEDE_LOG", Wide(log).c_str()));
    ASSERT_TRUE(SetEnvironmentVariableW(L"DERODEDE_ANSWERS", L"2,1,7"));
    Library library("bin\\scripted\\DERodede.dll");

    const std::array<std::string, 8> texts = {"Instalador de Questões",
                                              "Pacote Lumen",
                                              "",
                                              "Não Registrado",
                                              "",
                                              "TFPrincipal",
                                              "EDatabaseError",
                                              "Linha 1\nLinha\t2 C:\\Dados"};
    library.Report(texts);
    library.SetLastError("Key violation");
    std::vector<int> answers;
    for (int i = 0; i < 5; ++i) answers.push_back(library.Ask("Pacote Lumen"));
    EXPECT_EQ(answers, (std::vector<int>{2, 1, 7, 0, 0}));

    const std::vector<LoggedCall> calls = ParseLog(ReadFileBytes(log));
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].function, "ExceptionMessage");
    EXPECT_EQ(calls[0].fields, std::vector<std::string>(texts.begin(), texts.end()));
    for (size_t i = 1; i < 6; ++i) {
        EXPECT_EQ(calls[i].function, "DatabaseErrorMessage");
        // The handed error text goes with the next call only.
        EXPECT_EQ(calls[i].fields,
                  (std::vector<std::string>{"Pacote Lumen", i == 1 ? "Key violation" : ""}));
    }
    // One line per call, whatever the texts hold.
    const std::string raw = ReadFileBytes(log);
    EXPECT_EQ(std::count(raw.begin(), raw.end(), '\n'), 6);
}

TEST(ScriptedLibrary, NoScriptMeansFail) {
    SetEnvironmentVariableW(L"DERODEDE_ANSWERS", nullptr);
    SetEnvironmentVariableW(L"DERODEDE_LOG", nullptr);
    Library library("bin\\scripted\\DERodede.dll");
    EXPECT_EQ(library.Ask("Pacote Lumen"), 0);
}

}  // namespace
}  // namespace pq::derodede
