// TZRDrives against the machine's real drives. The test prefix maps Q: as a CD-ROM drive and
// R: as a network drive beside Wine's fixed C: and Z:.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "components/ZRDrives.h"

namespace components {
namespace {

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST(ZRDrivesWin, RootsAreTheSystemsInItsOrder) {
    TZRDrives drives(nullptr, SystemDriveQueries());
    char buffer[512] = {};
    DWORD n = GetLogicalDriveStringsA(sizeof buffer, buffer);
    ASSERT_GT(n, 0u);
    std::vector<std::string> expected;
    for (const char* p = buffer; *p; p += strlen(p) + 1) expected.emplace_back(p);
    EXPECT_EQ(drives.DriveRoots(), expected);
    EXPECT_TRUE(Contains(drives.DriveRoots(), "C:\\"));
}

TEST(ZRDrivesWin, DriveTypesListTheMappedDrives) {
    TZRDrives drives(nullptr, SystemDriveQueries());
    ASSERT_TRUE(Contains(drives.DriveRoots(), "Q:\\")) << "the test prefix maps Q: and R:";
    ASSERT_TRUE(Contains(drives.DriveRoots(), "R:\\"));
    std::string fixed = drives.Drives();
    EXPECT_NE(fixed.find("C:\\"), std::string::npos) << fixed;
    EXPECT_EQ(fixed.find("Q:\\"), std::string::npos) << fixed;
    EXPECT_EQ(fixed.find("R:\\"), std::string::npos) << fixed;
    EXPECT_EQ(fixed.find("  "), std::string::npos) << fixed;
    drives.SetDriveType(dtCDROM);
    EXPECT_EQ(drives.Drives(), "Q:\\");
    drives.SetDriveType(dtRemote);
    EXPECT_EQ(drives.Drives(), "R:\\");
    drives.SetDriveType(dtRAMDisk);
    EXPECT_EQ(drives.Drives(), "");
}

TEST(ZRDrivesWin, DriveInfoOfTheSystemDiskIsExact) {
    TZRDrives drives(nullptr, SystemDriveQueries());
    TDriveInfo info{};
    drives.GetDriveInfo("C:\\", info);
    ULARGE_INTEGER available, total, totalFree;
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, &total, &totalFree));
    // The total does not move; the free space may, by other programs' writes, but a 32-bit
    // wrap would be off by a multiple of 4 GiB.
    EXPECT_EQ(static_cast<ULONGLONG>(info.TotalBytes), total.QuadPart);
    EXPECT_GT(info.FreeBytes, 0);
    EXPECT_LT(std::llabs(info.FreeBytes - static_cast<long long>(totalFree.QuadPart)), 1LL << 30);
    char fileSystem[256] = {};
    DWORD serial = 0;
    ASSERT_TRUE(GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, fileSystem,
                                      sizeof fileSystem));
    EXPECT_EQ(info.FileSystemName, fileSystem);
    EXPECT_EQ(info.SerialNumber, serial);
}

TEST(ZRDrivesWin, AMissingRootGivesAnEmptyRecord) {
    TZRDrives drives(nullptr, SystemDriveQueries());
    ASSERT_EQ(GetDriveTypeA("K:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    TDriveInfo info{"x", 9, "y", 9, 9};
    drives.GetDriveInfo("K:\\", info);
    EXPECT_EQ(info.VolumeName, "");
    EXPECT_EQ(info.SerialNumber, 0u);
    EXPECT_EQ(info.FileSystemName, "");
    EXPECT_EQ(info.FreeBytes, 0);
    EXPECT_EQ(info.TotalBytes, 0);
}

}  // namespace
}  // namespace components
