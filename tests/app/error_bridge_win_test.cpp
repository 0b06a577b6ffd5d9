// The error bridge through the program's load-time import of DERodede.dll: this test program
// sits beside the scripted build of the library, whose log shows what reached it.
#include "app/error_bridge_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>

#include "base/exception.h"
#include "derodede/report.h"
#include "tests/app/win_test_support.h"

namespace pq::app {
namespace {

using namespace pq::testing;

// The host's registration key, made and removed by the test (the tests that touch it hold the
// CTest resource lock "farol_registry").
class RegistrationKey {
  public:
    RegistrationKey() { Remove(); }
    ~RegistrationKey() { Remove(); }
    void SetName(const wchar_t* name) { Set(REG_SZ, name, (wcslen(name) + 1) * sizeof(wchar_t)); }
    void SetNameNumber(DWORD n) { Set(REG_DWORD, &n, sizeof n); }
    void CreateEmptyKey() { Set(REG_NONE, nullptr, 0); }

  private:
    static constexpr const wchar_t* kPath = L"Software\\Tessera\\Farol Exames\\1.0";
    void Set(DWORD type, const void* data, size_t size) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        if (data)
            RegSetValueExW(key, L"Name", 0, type, static_cast<const BYTE*>(data),
                           static_cast<DWORD>(size));
        RegCloseKey(key);
    }
    void Remove() {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kPath);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Tessera\\Farol Exames");
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Tessera");
    }
};

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
    RegistrationKey key;
    ReportException("TFPrincipal", ERegistryException("Invalid data type for 'UninstallString'"));
    key.CreateEmptyKey();
    ReportException("TButton", std::runtime_error("sem valor"));
    key.SetName(L"");
    ReportException("TButton", std::runtime_error("vazio"));
    key.SetName(L"Colégio Ação");
    ReportException("TButton", std::runtime_error(std::string(300, 'm')));
    key.SetNameNumber(5);
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
}  // namespace pq::app
