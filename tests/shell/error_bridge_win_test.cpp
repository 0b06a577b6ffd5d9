// The error bridge through the program's load-time import of DERodede.dll: this test program
// sits beside the scripted build of the library, whose log shows what reached it.
#include "shell/error_bridge_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>

#include "base/exception.h"
#include "derodede/report.h"
#include "tests/app/farol_registry_win.h"
#include "tests/app/win_test_support.h"

namespace pq::shell {
namespace {

using namespace pq::testing;

class BridgeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SetEnvironmentVariableW(L"DERODEDE_LOG", Wide(log_).c_str()));
    }
    std::vector<derodede::LoggedCall> Calls() { return derodede::ParseLog(ReadFileBytes(log_)); }
    TempDir temp_{"app-bridge"};
    std::string log_ = temp_.Path() + "\\derodede.log";
};

TEST_F(BridgeTest, ReportsReachTheLibraryWithTheRegistrationName) {
    RegistrationEntry key;
    ReportException("TFPrincipal", ERegistryException("Invalid data type for 'UninstallString'"));
    key.CreateEmpty();
    ReportException("TButton", std::runtime_error("sem valor"));
    key.SetText(L"Name", "");
    ReportException("TButton", std::runtime_error("vazio"));
    key.SetText(L"Name", "Colégio Ação");
    ReportException("TButton", std::runtime_error(std::string(300, 'm')));
    key.SetNumber(L"Name", 5);
    ReportException("TApplication", std::runtime_error("número"));

    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].fields,
              (std::vector<std::string>{"Instalador de Questões", "Pacote Lumen", "",
                                        "Não Registrado", "", "TFPrincipal", "ERegistryException",
                                        "Invalid data type for 'UninstallString'"}));
    EXPECT_EQ(calls[1].fields.at(3), "Não Registrado");
    EXPECT_EQ(calls[2].fields.at(3), "");
    EXPECT_EQ(calls[3].fields.at(3), "Colégio Ação");
    EXPECT_EQ(calls[3].fields.at(7), std::string(255, 'm'));
    EXPECT_EQ(calls[4].fields.at(3), "Não Registrado");
    EXPECT_EQ(calls[4].fields.at(5), "TApplication");
}

TEST_F(BridgeTest, AbortReachesNothing) {
    ReportException("TFPrincipal", EAbort());
    EXPECT_TRUE(Calls().empty());
}

TEST_F(BridgeTest, DatabaseErrorsAskTheLibraryWithTheTitleAndTheErrorText) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"DERODEDE_ANSWERS", L"2,1"));
    EXPECT_EQ(AskDatabaseError("Pacote Lumen", std::runtime_error("Key violation")), 2);
    EXPECT_EQ(AskDatabaseError("Pacote Lumen", std::runtime_error("Key violation")), 1);
    EXPECT_EQ(AskDatabaseError("Pacote de Questões", std::runtime_error("")), 0);
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].function, "DatabaseErrorMessage");
    EXPECT_EQ(calls[0].fields, (std::vector<std::string>{"Pacote Lumen", "Key violation"}));
    EXPECT_EQ(calls[2].fields, (std::vector<std::string>{"Pacote de Questões", ""}));
}

}  // namespace
}  // namespace pq::shell
