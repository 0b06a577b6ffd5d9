// The Win32 drive queries behind TZRDrives: the ANSI calls, with the buffer sizes the
// component relies on (roots and volume texts are bytes in the ANSI code page).
#include <windows.h>

#include "components/ZRDrives.h"

namespace components {

namespace {

class Win32DriveQueries final : public DriveQueries {
  public:
    std::uint32_t LogicalDriveStrings(std::array<char, kDriveStringsLength>& buffer) override {
        return GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
    }

    unsigned DriveTypeOf(const std::string& root) override { return GetDriveTypeA(root.c_str()); }

    bool VolumeInformation(const std::string& root, std::array<char, kVolumeNameLength>& volumeName,
                           std::uint32_t& serialNumber,
                           std::array<char, kFileSystemNameLength>& fileSystemName) override {
        DWORD serial = 0, maximumComponentLength = 0, flags = 0;
        BOOL ok = GetVolumeInformationA(root.c_str(), volumeName.data(),
                                        static_cast<DWORD>(volumeName.size()), &serial,
                                        &maximumComponentLength, &flags, fileSystemName.data(),
                                        static_cast<DWORD>(fileSystemName.size()));
        serialNumber = serial;
        return ok != 0;
    }

    bool DiskFreeSpace(const std::string& root, std::uint32_t& sectorsPerCluster,
                       std::uint32_t& bytesPerSector, std::uint32_t& freeClusters,
                       std::uint32_t& totalClusters) override {
        DWORD spc = 0, bps = 0, free = 0, total = 0;
        BOOL ok = GetDiskFreeSpaceA(root.c_str(), &spc, &bps, &free, &total);
        sectorsPerCluster = spc;
        bytesPerSector = bps;
        freeClusters = free;
        totalClusters = total;
        return ok != 0;
    }
};

}  // namespace

DriveQueries& SystemDriveQueries() {
    static Win32DriveQueries queries;
    return queries;
}

}  // namespace components
