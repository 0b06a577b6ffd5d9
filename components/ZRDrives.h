// ZRDrives: the drive information component. It lists the drive roots of one drive type
// (fixed, removable, network, ...) and reports one root's volume label, serial number, file
// system name, free and total size.
//
// Every answer is a fresh query to the machine, except the list of drive roots, which is
// captured once when the component is created. The queries go through `DriveQueries` so the
// logic runs natively against a fake; `SystemDriveQueries()` (ZRDrives_win.cpp) is the Win32 one.
// Portable: no platform headers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/object.h"

namespace components {

// One byte, in this order; each stands for one drive-type code of the system query.
enum TDriveType : std::uint8_t {
    dtUnknow = 0,     // type cannot be determined (code 0)
    dtRemovable = 1,  // removable medium (code 2)
    dtFixed = 2,      // fixed disk (code 3)
    dtRemote = 3,     // network drive (code 4)
    dtCDROM = 4,      // CD-ROM drive (code 5)
    dtRAMDisk = 5,    // RAM disk (code 6)
};

// The system's drive-type code that `type` stands for. Code 1 (no such root) has no value.
unsigned SystemDriveTypeCode(TDriveType type);

// Filled by TZRDrives::GetDriveInfo. The two sizes are 64-bit and exact: the products of the
// free-space query's counts are formed in 64 bits, so large volumes do not wrap.
struct TDriveInfo {
    std::string VolumeName;      // UTF-8; empty when the volume query fails
    std::uint32_t SerialNumber;  // 0 when the volume query fails
    std::string FileSystemName;  // UTF-8; empty when the volume query fails
    std::int64_t FreeBytes;      // 0 when the free-space query fails
    std::int64_t TotalBytes;     // 0 when the free-space query fails
};

// The four machine queries, shaped like the system calls behind them. Roots are
// NUL-free ANSI texts such as "C:\".
class DriveQueries {
  public:
    static constexpr std::uint32_t kDriveStringsLength = 256;
    static constexpr std::uint32_t kVolumeNameLength = 261;
    static constexpr std::uint32_t kFileSystemNameLength = 256;

    virtual ~DriveQueries() = default;

    // Writes the NUL-separated roots, ended by an empty string, into `buffer`. Answers the
    // system's result: the characters written without the final NUL, 0 on failure, or more
    // than the buffer holds when it is too small (the buffer is then not filled).
    virtual std::uint32_t LogicalDriveStrings(std::array<char, kDriveStringsLength>& buffer) = 0;

    // The system drive-type code of `root` (0 to 6).
    virtual unsigned DriveTypeOf(const std::string& root) = 0;

    // Label and file system name as NUL-terminated ANSI texts in the buffers. False on failure.
    virtual bool VolumeInformation(const std::string& root,
                                   std::array<char, kVolumeNameLength>& volumeName,
                                   std::uint32_t& serialNumber,
                                   std::array<char, kFileSystemNameLength>& fileSystemName) = 0;

    // False on failure.
    virtual bool DiskFreeSpace(const std::string& root, std::uint32_t& sectorsPerCluster,
                               std::uint32_t& bytesPerSector, std::uint32_t& freeClusters,
                               std::uint32_t& totalClusters) = 0;
};

// The Win32 queries (Windows builds only).
DriveQueries& SystemDriveQueries();

// The roots in a logical-drive-strings buffer: at each NUL the (at most) three characters
// before it since the previous NUL make one root; a second NUL right after ends the list.
// A failed or overflowing query (`result` 0 or beyond the buffer) gives no roots.
std::vector<std::string> ParseDriveStrings(
    const std::array<char, DriveQueries::kDriveStringsLength>& buffer, std::uint32_t result);

// A non-visual component: owned by its owner (a form), it owns its root list.
class TZRDrives : public ui::Component {
  public:
    // Captures the drive roots, then sets DriveType to dtFixed (which fills Drives).
    // REQUIRES: `queries` outlives the component.
    TZRDrives(ui::Component* owner, DriveQueries& queries);
    const char* ClassName() const override { return "TZRDrives"; }

    TDriveType DriveType() const { return driveType_; }
    // Recomputes Drives on every assignment, also when the value does not change: the roots
    // captured at creation whose type is `value` now, joined by single blanks.
    void SetDriveType(TDriveType value);

    const std::string& Drives() const { return drives_; }
    // Stored verbatim; not compared with the drives.
    void SetDrives(const std::string& value);

    const std::vector<std::string>& DriveRoots() const { return driveRoots_; }

    // Fills all five fields of `info` for `root` (passed unchanged to the system). Failures
    // give empty names, serial 0 and sizes 0; nothing is thrown. Reads no component state.
    void GetDriveInfo(const std::string& root, TDriveInfo& info) const;

  private:
    DriveQueries& queries_;
    TDriveType driveType_ = dtUnknow;
    std::string drives_;
    std::vector<std::string> driveRoots_;
};

}  // namespace components
