#include "app/startup_checks.h"

#include <gtest/gtest.h>

#include "base/exception.h"
#include "fakes.h"

namespace pq::app {
namespace {

using testing::FakeDrives;
using testing::FakeFiles;
using testing::FakeRegistry;

constexpr int64_t kMegabyte = 1048576;
const std::string kKey(kUninstallKey);
const std::string kDiskMessage =
    "Espaço em disco insuficiente. São necessários no mínimo 35Mb em disco para a instação "
    "deste pacote.";

TEST(ExtractHostFolder, TakesTheQuotedPathAfterTheMarker) {
    EXPECT_EQ(ExtractHostFolder(R"("C:\Arquivos de Programas\Farol Exames\unins000.exe" )"
                                R"(-c"C:\Arquivos de Programas\Farol Exames\Uninst.log")"),
              R"(C:\Arquivos de Programas\Farol Exames\)");
}

TEST(ExtractHostFolder, CutsAtTheFirstMarkerEvenInsideAName) {
    // "Farol-cx" holds the marker: the cut happens there, not at the real "-c" later.
    EXPECT_EQ(ExtractHostFolder(R"(C:\Farol-cx\unins.exe -c"C:\Farol-cx\unins.log")"),
              R"(\unins.exe -cC:\Farol-cx\)");
}

TEST(ExtractHostFolder, MarkerIsCaseSensitive) {
    // "-C" does not count: without a marker only the first two characters go.
    EXPECT_EQ(ExtractHostFolder(R"(C:\Un\unins.exe -C"D:\Farol\un.log")"),
              R"(\Un\unins.exe -CD:\Farol\)");
}

TEST(ExtractHostFolder, WithoutMarkerRemovesTheFirstTwoCharacters) {
    EXPECT_EQ(ExtractHostFolder(R"(C:\Farol\unins.exe)"), R"(\Farol\)");
    EXPECT_EQ(ExtractHostFolder("x"), "");
    EXPECT_EQ(ExtractHostFolder(""), "");
}

TEST(ExtractHostFolder, MarkerWithoutQuoteLosesTheDriveLetter) {
    EXPECT_EQ(ExtractHostFolder(R"(unins.exe -cC:\Farol\unins.log)"), R"(:\Farol\)");
}

TEST(ExtractHostFolder, RemovesOnlyTheFirstQuote) {
    EXPECT_EQ(ExtractHostFolder(R"(u -c"C:\A"B\C"\x)"), R"(C:\AB\C"\)");
    // A marker at the very end leaves nothing.
    EXPECT_EQ(ExtractHostFolder("unins.exe -c"), "");
    EXPECT_EQ(ExtractHostFolder("-c"), "");
}

TEST(ExtractHostFolder, CutsAfterTheLastBackslashOrColon) {
    EXPECT_EQ(ExtractHostFolder(R"(u -c"C:file.log")"), "C:");
    EXPECT_EQ(ExtractHostFolder(R"(u -c"unins.log")"), "");
    EXPECT_EQ(ExtractHostFolder(R"(u -c"\\srv\share\Farol\u.log")"), R"(\\srv\share\Farol\)");
}

TEST(DriveRoot, UpToTheFirstBackslash) {
    EXPECT_EQ(DriveRoot(R"(D:\Farol\)"), R"(D:\)");
    EXPECT_EQ(DriveRoot(R"(\\servidor\pasta\Farol\)"), "\\");
    EXPECT_EQ(DriveRoot("C:"), "");
    EXPECT_EQ(DriveRoot(""), "");
}

TEST(FreeSpaceRoot, DriveLetterOrShareRoot) {
    EXPECT_EQ(FreeSpaceRoot(R"(D:\Farol\\FarolExames.exe)"), R"(D:\)");
    EXPECT_EQ(FreeSpaceRoot(R"(\\servidor\pasta\Farol\\FarolExames.exe)"), R"(\\servidor\pasta\)");
}

TEST(FolderOf, LastBackslashOrColon) {
    EXPECT_EQ(FolderOf(R"(E:\Pacote\InstalaPacote.exe)"), R"(E:\Pacote\)");
    EXPECT_EQ(FolderOf("E:InstalaPacote.exe"), "E:");
    EXPECT_EQ(FolderOf("InstalaPacote.exe"), "");
}

TEST(DiskSpaceMessage, NumberFollowedDirectlyByMb) {
    EXPECT_EQ(DiskSpaceMessage(), kDiskMessage);
}

class StartupChecks : public ::testing::Test {
  protected:
    StartupOutcome Run() {
        return RunStartupChecks({R"(E:\Pacote\InstalaPacote.exe)", registry, files, drives}, data);
    }
    void InstallHost(const std::string& folder, int64_t freeBytes) {
        registry.SetText(kKey, "UninstallString",
                         folder + R"(unins000.exe -c")" + folder + R"(Uninst.log")");
        files.files.insert(folder + R"(\FarolExames.exe)");
        drives.free[DriveRoot(folder)] = freeBytes;
    }

    FakeRegistry registry;
    FakeFiles files;
    FakeDrives drives;
    TDadosApp data;
};

TEST_F(StartupChecks, PassWithTheHostAndEnoughRoom) {
    InstallHost(R"(D:\Farol Exames\)", 4 * 1024 * kMegabyte);
    const StartupOutcome out = Run();
    EXPECT_TRUE(out.passed);
    EXPECT_EQ(data.ProgramFolder, R"(E:\Pacote\)");
    EXPECT_EQ(data.HostFolder, R"(D:\Farol Exames\)");
    // The candidate carries the doubled separator.
    EXPECT_EQ(files.probed, std::vector<std::string>{R"(D:\Farol Exames\\FarolExames.exe)"});
    EXPECT_EQ(drives.queried, std::vector<std::string>{R"(D:\)"});
}

TEST_F(StartupChecks, ThresholdIsThirtyFiveMegabytes) {
    InstallHost(R"(C:\Farol\)", 35 * kMegabyte);
    EXPECT_TRUE(Run().passed);
    drives.free[R"(C:\)"] = 35 * kMegabyte - 1;
    const StartupOutcome out = Run();
    EXPECT_FALSE(out.passed);
    EXPECT_EQ(out.refusal, kDiskMessage);
}

TEST_F(StartupChecks, FreeSpaceBeyondThirtyTwoBitsPasses) {
    // 4 GiB + 1 MB would wrap to 1 MB in 32 bits.
    InstallHost(R"(C:\Farol\)", (int64_t{4} << 30) + kMegabyte);
    EXPECT_TRUE(Run().passed);
}

TEST_F(StartupChecks, UnqueryableOrNegativeFreeSpaceFails) {
    InstallHost(R"(C:\Farol\)", 0);
    EXPECT_EQ(Run().refusal, kDiskMessage);
    drives.free[R"(C:\)"] = -100 * kMegabyte;
    EXPECT_EQ(Run().refusal, kDiskMessage);
}

TEST_F(StartupChecks, NoUninstallEntryRefusesWithoutProbingTheCurrentDrive) {
    // A "\FarolExames.exe" on the current drive must not make an empty folder pass.
    files.files.insert(R"(\FarolExames.exe)");
    const StartupOutcome out = Run();
    EXPECT_FALSE(out.passed);
    EXPECT_EQ(out.refusal, "Não foi encontrado o Farol Exames instalado neste computador.");
    EXPECT_EQ(data.ProgramFolder, R"(E:\Pacote\)");
    EXPECT_EQ(data.HostFolder, "");
    EXPECT_TRUE(files.probed.empty());
    EXPECT_TRUE(drives.queried.empty());

    registry.AddKey(kKey);  // the key without its value
    EXPECT_EQ(Run().refusal, std::string(kHostMissingMessage));
    registry.SetText(kKey, "UninstallString", "");
    EXPECT_EQ(Run().refusal, std::string(kHostMissingMessage));
    EXPECT_TRUE(files.probed.empty());
}

TEST_F(StartupChecks, RelativeDerivedFolderIsRefusedWithoutLookup) {
    // No quote after the marker: the folder starts with the colon.
    registry.SetText(kKey, "UninstallString", R"(unins.exe -cC:\Farol\unins.log)");
    files.files.insert(R"(:\Farol\\FarolExames.exe)");
    EXPECT_EQ(Run().refusal, std::string(kHostMissingMessage));
    EXPECT_EQ(data.HostFolder, R"(:\Farol\)");
    // No marker: "\Farol\" would name a folder of the current drive.
    registry.SetText(kKey, "UninstallString", R"(C:\Farol\unins.exe)");
    files.files.insert(R"(\Farol\\FarolExames.exe)");
    EXPECT_EQ(Run().refusal, std::string(kHostMissingMessage));
    EXPECT_TRUE(files.probed.empty());
}

TEST_F(StartupChecks, MissingExecutableRefusesWithoutQueryingTheDisk) {
    InstallHost(R"(C:\Farol\)", 0);  // the disk is full as well
    files.files.clear();
    EXPECT_EQ(Run().refusal, std::string(kHostMissingMessage));
    EXPECT_TRUE(drives.queried.empty());
}

TEST_F(StartupChecks, FolderEndingWithColonMeetsTheExecutableDirectly) {
    registry.SetText(kKey, "UninstallString", R"(u -c"C:unins.log")");
    files.files.insert(R"(C:\FarolExames.exe)");
    drives.free[R"(C:\)"] = 36 * kMegabyte;
    EXPECT_TRUE(Run().passed);
    EXPECT_EQ(data.HostFolder, "C:");
    EXPECT_EQ(drives.queried, std::vector<std::string>{R"(C:\)"});
}

TEST_F(StartupChecks, NetworkFolderMeasuresItsShare) {
    InstallHost(R"(\\servidor\pasta\Farol\)", 0);
    drives.free[R"(\\servidor\pasta\)"] = 40 * kMegabyte;
    EXPECT_TRUE(Run().passed);
    EXPECT_EQ(DriveRoot(data.HostFolder), "\\");
    EXPECT_EQ(drives.queried, std::vector<std::string>{R"(\\servidor\pasta\)"});
}

TEST_F(StartupChecks, NonTextUninstallStringThrowsAfterProgramFolder) {
    registry.SetNonText(kKey, "UninstallString");
    data.HostFolder = "antes";
    try {
        Run();
        FAIL() << "no exception";
    } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'UninstallString'");
        EXPECT_STREQ(e.ClassName(), "ERegistryException");
    }
    EXPECT_EQ(data.ProgramFolder, R"(E:\Pacote\)");
    EXPECT_EQ(data.HostFolder, "antes");
    EXPECT_TRUE(files.probed.empty());
}

}  // namespace
}  // namespace pq::app
