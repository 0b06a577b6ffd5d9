#include "components/ZRDrives.h"

#include <cstdint>
#include <cstring>

#include "base/text.h"

namespace components {

unsigned SystemDriveTypeCode(TDriveType type) {
    switch (type) {
        case dtUnknow:
            return 0;
        case dtRemovable:
            return 2;
        case dtFixed:
            return 3;
        case dtRemote:
            return 4;
        case dtCDROM:
            return 5;
        case dtRAMDisk:
            return 6;
    }
    return 0;
}

std::vector<std::string> ParseDriveStrings(
    const std::array<char, DriveQueries::kDriveStringsLength>& buffer, std::uint32_t result) {
    std::vector<std::string> roots;
    // On failure the system leaves the buffer as it was: never read it then.
    if (result == 0 || result >= buffer.size()) return roots;
    std::size_t segment = 0;  // first character of the current root
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        if (buffer[i] != '\0') continue;
        // A root is three characters ("C:\"); never reach back past the previous NUL.
        std::size_t from = (i - segment > 3) ? i - 3 : segment;
        if (i > from) roots.emplace_back(buffer.data() + from, i - from);
        if (i + 1 >= buffer.size() || buffer[i + 1] == '\0') break;
        segment = i + 1;
    }
    return roots;
}

TZRDrives::TZRDrives(ui::Component* owner, DriveQueries& queries)
    : ui::Component(owner), queries_(queries) {
    std::array<char, DriveQueries::kDriveStringsLength> buffer{};
    std::uint32_t result = queries_.LogicalDriveStrings(buffer);
    driveRoots_ = ParseDriveStrings(buffer, result);
    SetDriveType(dtFixed);
}

void TZRDrives::SetDriveType(TDriveType value) {
    driveType_ = value;
    const unsigned code = SystemDriveTypeCode(value);
    drives_.clear();
    for (const std::string& root : driveRoots_) {
        if (queries_.DriveTypeOf(root) != code) continue;
        if (!drives_.empty()) drives_ += ' ';
        drives_ += root;
    }
}

void TZRDrives::SetDrives(const std::string& value) {
    if (value != drives_) drives_ = value;
}

namespace {

// The text up to the first NUL of a buffer (all of it when there is none).
template <std::size_t N>
std::string UpToNul(const std::array<char, N>& buffer) {
    const void* nul = std::memchr(buffer.data(), '\0', N);
    std::size_t length = nul ? static_cast<const char*>(nul) - buffer.data() : N;
    return pq::text::AnsiToUtf8(std::string_view(buffer.data(), length));
}

// bytes per sector x sectors per cluster x clusters, in 64 bits. Real volumes stay far below
// 2^63 (clusters of at most a few MB, 2^32 clusters at most); the three 32-bit counts could
// reach 2^96 in theory, so an impossible answer saturates instead of wrapping.
std::int64_t VolumeBytes(std::uint32_t bytesPerSector, std::uint32_t sectorsPerCluster,
                         std::uint32_t clusters) {
    const std::uint64_t cluster = std::uint64_t{bytesPerSector} * sectorsPerCluster;
    std::int64_t bytes = 0;
    if (__builtin_mul_overflow(cluster, std::uint64_t{clusters}, &bytes)) return INT64_MAX;
    return bytes;
}

}  // namespace

void TZRDrives::GetDriveInfo(const std::string& root, TDriveInfo& info) const {
    std::array<char, DriveQueries::kVolumeNameLength> volumeName{};
    std::array<char, DriveQueries::kFileSystemNameLength> fileSystemName{};
    std::uint32_t serial = 0;
    if (queries_.VolumeInformation(root, volumeName, serial, fileSystemName)) {
        info.VolumeName = UpToNul(volumeName);
        info.SerialNumber = serial;
        info.FileSystemName = UpToNul(fileSystemName);
    } else {
        info.VolumeName.clear();
        info.SerialNumber = 0;
        info.FileSystemName.clear();
    }

    std::uint32_t sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (queries_.DiskFreeSpace(root, sectorsPerCluster, bytesPerSector, freeClusters,
                               totalClusters)) {
        info.FreeBytes = VolumeBytes(bytesPerSector, sectorsPerCluster, freeClusters);
        info.TotalBytes = VolumeBytes(bytesPerSector, sectorsPerCluster, totalClusters);
    } else {
        info.FreeBytes = 0;
        info.TotalBytes = 0;
    }
}

}  // namespace components
