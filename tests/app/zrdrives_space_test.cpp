#include "app/zrdrives_space.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pq::app {
namespace {

// Drive queries with one drive whose free space does not fit in 32 bits.
class BigDrive : public components::DriveQueries {
  public:
    std::uint32_t LogicalDriveStrings(std::array<char, kDriveStringsLength>& buffer) override {
        std::memcpy(buffer.data(), "C:\\\0\0", 5);
        return 4;
    }
    unsigned DriveTypeOf(const std::string&) override { return 3; }
    bool VolumeInformation(const std::string&, std::array<char, kVolumeNameLength>&, std::uint32_t&,
                           std::array<char, kFileSystemNameLength>&) override {
        return false;
    }
    bool DiskFreeSpace(const std::string& root, std::uint32_t& sectorsPerCluster,
                       std::uint32_t& bytesPerSector, std::uint32_t& freeClusters,
                       std::uint32_t& totalClusters) override {
        asked = root;
        sectorsPerCluster = 8, bytesPerSector = 512;
        freeClusters = 1048832;  // 4 GiB + 1 MiB in 4 KiB clusters
        totalClusters = 2 * freeClusters;
        return true;
    }
    std::string asked;
};

TEST(ZRDrivesSpace, ExactFreeBytesOfTheAnsiRoot) {
    BigDrive queries;
    components::TZRDrives drives(nullptr, queries);
    ZRDrivesSpace space(drives);
    EXPECT_EQ(space.FreeBytes("C:\\"), (int64_t{4} << 30) + (1 << 20));
    // A share name with an accent reaches the component in the ANSI code page.
    space.FreeBytes("\\\\servidor\\Inglês\\");
    EXPECT_EQ(queries.asked, "\\\\servidor\\Ingl\xEAs\\");
}

}  // namespace
}  // namespace pq::app
