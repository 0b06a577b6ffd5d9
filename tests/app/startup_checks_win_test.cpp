// The Win32 side of the start-up checks against Wine's real registry and files.
#include "app/startup_checks_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "app/registry_win.h"
#include "base/exception.h"
#include "registry_test_support_win.h"

namespace pq::app {
namespace {

using testing::ScratchMachineKey;
using Status = RegistryText::Status;

TEST(WinMachineRegistry, ReadsTextValuesAndReportsWhatIsMissing) {
    ScratchMachineKey key("registry");
    WinMachineRegistry registry;
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Name").status, Status::kKeyMissing);

    key.Create();
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Name").status, Status::kValueMissing);

    key.SetText("Name", "Escola Estadual São João");
    RegistryText r = registry.ReadText(key.Rooted(), "Name");
    EXPECT_EQ(r.status, Status::kFound);
    EXPECT_EQ(r.text, "Escola Estadual São João");

    key.SetText("Empty", "");
    r = registry.ReadText(key.Rooted(), "Empty");
    EXPECT_EQ(r.status, Status::kFound);
    EXPECT_EQ(r.text, "");

    key.SetText("Expand", "%ProgramFiles%\\Farol", REG_EXPAND_SZ);
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Expand").text, "%ProgramFiles%\\Farol");

    key.SetDword("Number", 7);
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Number").status, Status::kWrongType);
    EXPECT_THROW(ReadTextOrEmpty(registry, key.Rooted(), "Number"), ERegistryException);
}

TEST(WinMachineRegistry, TextWithoutFinalNulAndLongText) {
    ScratchMachineKey key("registry-raw");
    const wchar_t bare[] = {L'C', L':', L'\\', L'X'};  // stored without its NUL
    key.SetRaw("Bare", REG_SZ, bare, sizeof bare);
    const std::string longText(5000, 'a');
    key.SetText("Long", longText);
    WinMachineRegistry registry;
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Bare").text, "C:\\X");
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Long").text, longText);
}

class TempFolder {
  public:
    TempFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("pq-app-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string Utf8() const {
        const std::u8string s = path_.u8string();
        return std::string(s.begin(), s.end());
    }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

TEST(WinFileProbe, FileOnlyAndTheDoubledSeparator) {
    TempFolder temp;
    std::filesystem::create_directories(temp.Path() / "Farol Exames");
    std::ofstream(temp.Path() / "Farol Exames" / "FarolExames.exe") << "MZ";
    std::filesystem::create_directories(temp.Path() / "Pasta" / "FarolExames.exe");

    WinFileProbe probe;
    const std::string host = temp.Utf8() + "\\Farol Exames\\";
    EXPECT_TRUE(probe.IsRegularFile(host + "\\FarolExames.exe"));
    EXPECT_FALSE(probe.IsRegularFile(temp.Utf8() + "\\Pasta\\\\FarolExames.exe"));
    EXPECT_FALSE(probe.IsRegularFile(temp.Utf8() + "\\Nada\\\\FarolExames.exe"));
}

TEST(WinFileProbe, AccentedNames) {
    TempFolder temp;
    std::filesystem::create_directories(temp.Path() / std::filesystem::path(u8"Matemática"));
    std::ofstream(temp.Path() / std::filesystem::path(u8"Matemática") / "FarolExames.exe") << "MZ";
    EXPECT_TRUE(WinFileProbe().IsRegularFile(temp.Utf8() + "\\Matemática\\\\FarolExames.exe"));
}

TEST(ExecutablePath, IsTheRunningTestProgram) {
    const std::string path = ExecutablePath();
    EXPECT_EQ(FolderOf(path) + "app_win_test.exe", path);
    EXPECT_TRUE(WinFileProbe().IsRegularFile(path));
}

}  // namespace
}  // namespace pq::app
