// TZRDrives over scripted machine queries: the root capture, the drive-type lists and the
// drive information record, including the sizes beyond 32 bits.
#include "components/ZRDrives.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>

namespace components {
namespace {

struct Volume {
    std::string label;
    std::uint32_t serial = 0;
    std::string fileSystem;
};

struct FreeSpace {
    std::uint32_t sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
};

class FakeDriveQueries : public DriveQueries {
  public:
    // The drive strings as the system writes them ("C:\0D:\0\0"); result = length - 1.
    void SetDriveStrings(const std::string& strings) {
        driveStrings = strings;
        result = static_cast<std::uint32_t>(strings.size() - 1);
    }

    std::uint32_t LogicalDriveStrings(std::array<char, kDriveStringsLength>& buffer) override {
        ++driveStringCalls;
        if (result != 0 && result < buffer.size())
            std::memcpy(buffer.data(), driveStrings.data(), driveStrings.size());
        else
            buffer.fill('#');  // a failed query leaves whatever was there
        return result;
    }
    unsigned DriveTypeOf(const std::string& root) override {
        auto it = types.find(root);
        return it == types.end() ? 1 : it->second;
    }
    bool VolumeInformation(const std::string& root, std::array<char, kVolumeNameLength>& name,
                           std::uint32_t& serial,
                           std::array<char, kFileSystemNameLength>& fileSystem) override {
        auto it = volumes.find(root);
        if (it == volumes.end()) return false;
        std::memcpy(name.data(), it->second.label.data(),
                    std::min(it->second.label.size() + 1, name.size()));
        std::memcpy(fileSystem.data(), it->second.fileSystem.data(),
                    std::min(it->second.fileSystem.size() + 1, fileSystem.size()));
        serial = it->second.serial;
        return true;
    }
    bool DiskFreeSpace(const std::string& root, std::uint32_t& spc, std::uint32_t& bps,
                       std::uint32_t& freeClusters, std::uint32_t& totalClusters) override {
        auto it = space.find(root);
        if (it == space.end()) return false;
        spc = it->second.sectorsPerCluster;
        bps = it->second.bytesPerSector;
        freeClusters = it->second.freeClusters;
        totalClusters = it->second.totalClusters;
        return true;
    }

    std::string driveStrings;
    std::uint32_t result = 0;
    int driveStringCalls = 0;
    std::map<std::string, unsigned> types;
    std::map<std::string, Volume> volumes;
    std::map<std::string, FreeSpace> space;
};

using Buffer = std::array<char, DriveQueries::kDriveStringsLength>;

Buffer BufferOf(const std::string& bytes) {
    Buffer buffer;
    buffer.fill('#');
    std::memcpy(buffer.data(), bytes.data(), std::min(bytes.size(), buffer.size()));
    return buffer;
}

using Roots = std::vector<std::string>;

TEST(ZRDrivesRoots, WalksTheBufferUpToTheDoubleNul) {
    std::string s("C:\\\0D:\\\0Z:\\\0\0E:\\\0\0", 18);
    EXPECT_EQ(ParseDriveStrings(BufferOf(s), 12), (Roots{"C:\\", "D:\\", "Z:\\"}));
    std::string one("A:\\\0\0", 5);
    EXPECT_EQ(ParseDriveStrings(BufferOf(one), 4), (Roots{"A:\\"}));
}

TEST(ZRDrivesRoots, AFailedOrOverflowingQueryGivesNoRoots) {
    // The buffer holds stale roots: they must not be read when the query says it failed.
    std::string stale("C:\\\0D:\\\0\0", 9);
    EXPECT_TRUE(ParseDriveStrings(BufferOf(stale), 0).empty());
    EXPECT_TRUE(ParseDriveStrings(BufferOf(stale), 256).empty());
    EXPECT_TRUE(ParseDriveStrings(BufferOf(stale), 600).empty());
}

TEST(ZRDrivesRoots, AFullBufferWithoutTheFinalNulStopsAtItsEnd) {
    std::string s;
    for (int i = 0; i < 64; ++i)
        s += std::string(1, static_cast<char>('A' + i % 26)) + ":\\" + '\0';
    ASSERT_EQ(s.size(), 256u);
    Roots roots = ParseDriveStrings(BufferOf(s), 255);
    ASSERT_EQ(roots.size(), 64u);
    EXPECT_EQ(roots.front(), "A:\\");
    EXPECT_EQ(roots.back(), "L:\\");
}

TEST(ZRDrivesRoots, OddRootsNeverReachBackPastTheirOwnStart) {
    std::string s("A\0LONGNAME\0C:\\\0\0", 16);
    EXPECT_EQ(ParseDriveStrings(BufferOf(s), 15), (Roots{"A", "AME", "C:\\"}));
}

class ZRDrivesTest : public ::testing::Test {
  protected:
    ZRDrivesTest() {
        fake.SetDriveStrings(std::string("A:\\\0C:\\\0D:\\\0E:\\\0Q:\\\0R:\\\0Z:\\\0\0", 29));
        fake.types = {{"A:\\", 2}, {"C:\\", 3}, {"D:\\", 3}, {"E:\\", 1},
                      {"Q:\\", 5}, {"R:\\", 4}, {"Z:\\", 3}};
    }
    FakeDriveQueries fake;
};

TEST_F(ZRDrivesTest, CreationCapturesTheRootsAndListsTheFixedDisks) {
    TZRDrives drives(nullptr, fake);
    EXPECT_EQ(drives.DriveRoots(), (Roots{"A:\\", "C:\\", "D:\\", "E:\\", "Q:\\", "R:\\", "Z:\\"}));
    EXPECT_EQ(drives.DriveType(), dtFixed);
    EXPECT_EQ(drives.Drives(), "C:\\ D:\\ Z:\\");
}

TEST_F(ZRDrivesTest, EachDriveTypeListsTheRootsOfItsSystemCode) {
    fake.SetDriveStrings(std::string("A:\\\0B:\\\0C:\\\0D:\\\0E:\\\0F:\\\0G:\\\0\0", 29));
    fake.types = {{"A:\\", 0}, {"B:\\", 1}, {"C:\\", 2}, {"D:\\", 3},
                  {"E:\\", 4}, {"F:\\", 5}, {"G:\\", 6}};
    TZRDrives drives(nullptr, fake);
    const std::pair<TDriveType, const char*> expected[] = {
        {dtUnknow, "A:\\"}, {dtRemovable, "C:\\"}, {dtFixed, "D:\\"},
        {dtRemote, "E:\\"}, {dtCDROM, "F:\\"},     {dtRAMDisk, "G:\\"}};
    for (auto [type, root] : expected) {
        drives.SetDriveType(type);
        EXPECT_EQ(drives.DriveType(), type);
        EXPECT_EQ(drives.Drives(), root) << "type " << int(type);
    }
    EXPECT_EQ(sizeof(TDriveType), 1u);
}

TEST_F(ZRDrivesTest, ATypeWithNoDrivesGivesAnEmptyList) {
    fake.types["R:\\"] = 1;  // the network drive went away
    TZRDrives drives(nullptr, fake);
    drives.SetDriveType(dtRemote);
    EXPECT_EQ(drives.Drives(), "");
    drives.SetDriveType(dtRAMDisk);
    EXPECT_EQ(drives.Drives(), "");
}

TEST_F(ZRDrivesTest, SettingTheSameTypeRecomputesButNeverRescansTheRoots) {
    TZRDrives drives(nullptr, fake);
    drives.SetDriveType(dtRemote);
    EXPECT_EQ(drives.Drives(), "R:\\");
    fake.types["R:\\"] = 1;  // disconnected
    fake.types["S:\\"] = 4;  // connected after creation
    fake.SetDriveStrings(std::string("R:\\\0S:\\\0\0", 9));
    drives.SetDriveType(dtRemote);
    EXPECT_EQ(drives.Drives(), "");
    fake.types["R:\\"] = 4;
    drives.SetDriveType(dtRemote);
    EXPECT_EQ(drives.Drives(), "R:\\");
    EXPECT_EQ(fake.driveStringCalls, 1);
}

TEST_F(ZRDrivesTest, DrivesIsStoredVerbatimUntilTheTypeIsSetAgain) {
    TZRDrives drives(nullptr, fake);
    drives.SetDrives("c:\\ d:\\");
    EXPECT_EQ(drives.Drives(), "c:\\ d:\\");
    EXPECT_EQ(drives.DriveType(), dtFixed);
    drives.SetDrives("  anything at all ");
    EXPECT_EQ(drives.Drives(), "  anything at all ");
    drives.SetDriveType(dtFixed);
    EXPECT_EQ(drives.Drives(), "C:\\ D:\\ Z:\\");
}

TEST_F(ZRDrivesTest, AFailedRootQueryLeavesNoRootsAndNoDrives) {
    fake.result = 0;
    TZRDrives drives(nullptr, fake);
    EXPECT_TRUE(drives.DriveRoots().empty());
    EXPECT_EQ(drives.Drives(), "");
    FakeDriveQueries overflowing;
    overflowing.result = 4000;
    TZRDrives drives2(nullptr, overflowing);
    EXPECT_TRUE(drives2.DriveRoots().empty());
}

TEST_F(ZRDrivesTest, DriveInfoReportsVolumeAndSpace) {
    fake.volumes["C:\\"] = {"SISTEMA", 0xA1B2C3D4u, "NTFS"};
    fake.space["C:\\"] = {8, 512, 1000, 5000};
    TZRDrives drives(nullptr, fake);
    TDriveInfo info{"old", 7, "old", -1, -1};
    drives.GetDriveInfo("C:\\", info);
    EXPECT_EQ(info.VolumeName, "SISTEMA");
    EXPECT_EQ(info.SerialNumber, 0xA1B2C3D4u);
    EXPECT_EQ(info.FileSystemName, "NTFS");
    EXPECT_EQ(info.FreeBytes, 4096 * 1000);
    EXPECT_EQ(info.TotalBytes, 4096 * 5000);
}

TEST_F(ZRDrivesTest, EachQueryFailsOnItsOwn) {
    fake.volumes["V:\\"] = {"DISCO", 42, "FAT32"};
    fake.space["S:\\"] = {1, 512, 10, 20};
    TZRDrives drives(nullptr, fake);
    TDriveInfo info{"x", 1, "y", 5, 6};
    drives.GetDriveInfo("V:\\", info);
    EXPECT_EQ(info.VolumeName, "DISCO");
    EXPECT_EQ(info.SerialNumber, 42u);
    EXPECT_EQ(info.FreeBytes, 0);
    EXPECT_EQ(info.TotalBytes, 0);
    drives.GetDriveInfo("S:\\", info);
    EXPECT_EQ(info.VolumeName, "");
    EXPECT_EQ(info.SerialNumber, 0u);
    EXPECT_EQ(info.FileSystemName, "");
    EXPECT_EQ(info.FreeBytes, 5120);
    EXPECT_EQ(info.TotalBytes, 10240);
    // No medium: both fail.
    drives.GetDriveInfo("Q:\\", info);
    EXPECT_EQ(info.VolumeName, "");
    EXPECT_EQ(info.SerialNumber, 0u);
    EXPECT_EQ(info.FileSystemName, "");
    EXPECT_EQ(info.FreeBytes, 0);
    EXPECT_EQ(info.TotalBytes, 0);
}

TEST_F(ZRDrivesTest, SizesBeyond32BitsAreExact) {
    // 4 GiB + 1 MB free in 4 KiB clusters: a 32-bit product would keep only the 1 MB.
    fake.space["C:\\"] = {8, 512, 1048576 + 256, 66053998};
    TZRDrives drives(nullptr, fake);
    TDriveInfo info{};
    drives.GetDriveInfo("C:\\", info);
    EXPECT_EQ(info.FreeBytes, 4294967296LL + 1048576LL);
    EXPECT_EQ(info.TotalBytes, 270557175808LL);
    EXPECT_GT(info.FreeBytes / 1024, 35839);
}

TEST_F(ZRDrivesTest, AnImpossibleSizeSaturatesInsteadOfWrapping) {
    fake.space["C:\\"] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 2};
    TZRDrives drives(nullptr, fake);
    TDriveInfo info{};
    drives.GetDriveInfo("C:\\", info);
    EXPECT_EQ(info.FreeBytes, INT64_MAX);
    EXPECT_EQ(info.TotalBytes, INT64_MAX);  // (2^32-1)^2 * 2 > 2^63
}

TEST_F(ZRDrivesTest, VolumeTextsStopAtTheirNulOrTheBufferEnd) {
    // "Pré-vestibular" in the ANSI code page; a full 261-byte label with no NUL at all.
    fake.volumes["C:\\"] = {"Pr\xE9-vestibular", 1, "FAT"};
    fake.volumes["D:\\"] = {std::string(300, 'L'), 2, std::string(300, 'F')};
    TZRDrives drives(nullptr, fake);
    TDriveInfo info{};
    drives.GetDriveInfo("C:\\", info);
    EXPECT_EQ(info.VolumeName, "Pr\xC3\xA9-vestibular");
    drives.GetDriveInfo("D:\\", info);
    EXPECT_EQ(info.VolumeName, std::string(261, 'L'));
    EXPECT_EQ(info.FileSystemName, std::string(256, 'F'));
}

}  // namespace
}  // namespace components
