// The Win32 side of the start-up checks against Wine's real registry and files.
#include "app/startup_checks_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "base/exception.h"
#include "shell/registry_win.h"
#include "tests/app/farol_registry_win.h"
#include "tests/app/win_test_support.h"

namespace pq::app {
namespace {

using pq::testing::MachineKeyFixture;
using pq::testing::RegistryView;
using pq::testing::TempDir;

// A key of the test's own, named after the process so that parallel tests never meet.
MachineKeyFixture ScratchKey(const std::wstring& name) {
    return MachineKeyFixture(L"Software\\PQTests\\" + name + L"-" +
                             std::to_wstring(GetCurrentProcessId()));
}
using shell::ReadTextOrEmpty;
using shell::WinMachineRegistry;
using Status = RegistryText::Status;

TEST(WinMachineRegistry, ReadsTextValuesAndReportsWhatIsMissing) {
    MachineKeyFixture key = ScratchKey(L"registry");
    WinMachineRegistry registry;
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Name").status, Status::kKeyMissing);

    key.CreateEmpty();
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Name").status, Status::kValueMissing);

    key.SetText(L"Name", "Escola Estadual São João");
    RegistryText r = registry.ReadText(key.Rooted(), "Name");
    EXPECT_EQ(r.status, Status::kFound);
    EXPECT_EQ(r.text, "Escola Estadual São João");

    key.SetText(L"Empty", "");
    r = registry.ReadText(key.Rooted(), "Empty");
    EXPECT_EQ(r.status, Status::kFound);
    EXPECT_EQ(r.text, "");

    const std::wstring expand = L"%ProgramFiles%\\Farol";
    key.Set(L"Expand", REG_EXPAND_SZ, expand.c_str(), (expand.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Expand").text, "%ProgramFiles%\\Farol");

    key.SetNumber(L"Number", 7);
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Number").status, Status::kWrongType);
    EXPECT_THROW(ReadTextOrEmpty(registry, key.Rooted(), "Number"), ERegistryException);
}

// A 32-bit setup program writes in the registry's 32-bit view: it is read first, and a key
// found there is read wholly from there.
TEST(WinMachineRegistry, TheThirtyTwoBitViewFirstThenTheSixtyFourBitOne) {
    const std::wstring path = L"Software\\PQTests\\views-" + std::to_wstring(GetCurrentProcessId());
    MachineKeyFixture in32(path, {}, RegistryView::k32);
    MachineKeyFixture in64(path, {}, RegistryView::k64);
    WinMachineRegistry registry;
    const std::string key = in32.Rooted();
    EXPECT_EQ(registry.ReadText(key, "Name").status, Status::kKeyMissing);

    in32.SetText(L"Name", "trinta e dois");
    EXPECT_EQ(registry.ReadText(key, "Name").text, "trinta e dois");
    in64.SetText(L"Name", "sessenta e quatro");
    EXPECT_EQ(registry.ReadText(key, "Name").text, "trinta e dois");

    in32.Remove();  // both views
    in64.SetText(L"Name", "sessenta e quatro");
    EXPECT_EQ(registry.ReadText(key, "Name").text, "sessenta e quatro");
    in32.CreateEmpty();
    EXPECT_EQ(registry.ReadText(key, "Name").status, Status::kValueMissing);
}

TEST(WinMachineRegistry, TextWithoutFinalNulAndLongText) {
    MachineKeyFixture key = ScratchKey(L"registry-raw");
    const wchar_t bare[] = {L'C', L':', L'\\', L'X'};  // stored without its NUL
    key.Set(L"Bare", REG_SZ, bare, sizeof bare);
    const std::string longText(5000, 'a');
    key.SetText(L"Long", longText);
    WinMachineRegistry registry;
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Bare").text, "C:\\X");
    EXPECT_EQ(registry.ReadText(key.Rooted(), "Long").text, longText);
}

TEST(WinFileProbe, FileOnlyAndTheDoubledSeparator) {
    TempDir temp("probe");
    const std::string host = pq::testing::MakeHostFolder(temp.Path());
    const std::string folderNamedLikeIt = temp.Path() + "\\Pasta";
    CreateDirectoryW(pq::testing::Wide(folderNamedLikeIt).c_str(), nullptr);
    CreateDirectoryW(pq::testing::Wide(folderNamedLikeIt + "\\FarolExames.exe").c_str(), nullptr);

    WinFileProbe probe;
    EXPECT_TRUE(probe.IsRegularFile(host + "\\\\FarolExames.exe"));
    EXPECT_FALSE(probe.IsRegularFile(folderNamedLikeIt + "\\\\FarolExames.exe"));
    EXPECT_FALSE(probe.IsRegularFile(temp.Path() + "\\Nada\\\\FarolExames.exe"));
}

TEST(WinFileProbe, AccentedNames) {
    TempDir temp("probe-acentos");
    const std::string parent = temp.Path() + "\\Matemática";
    CreateDirectoryW(pq::testing::Wide(parent).c_str(), nullptr);
    const std::string host = pq::testing::MakeHostFolder(parent);
    EXPECT_TRUE(WinFileProbe().IsRegularFile(host + "\\\\FarolExames.exe"));
}

TEST(ExecutablePath, IsTheRunningTestProgram) {
    const std::string path = ExecutablePath();
    EXPECT_EQ(FolderOf(path) + "app_win_test.exe", path);
    EXPECT_TRUE(WinFileProbe().IsRegularFile(path));
}

}  // namespace
}  // namespace pq::app
