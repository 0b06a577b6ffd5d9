// What the benchmark needs of the operating system beyond files: its own peak memory, running
// itself again as a child, putting written data on the disk between phases, and the
// machine's sequential write speed. POSIX in platform_posix.cpp, Win32 in platform_win.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pq::bench {

// The process's peak resident set so far (VmHWM; on Windows the peak working set), in bytes.
uint64_t PeakResidentBytes();

// Runs this same program with `args` (argv[1]...) and waits for it; its exit code. Throws
// std::runtime_error when it cannot be started.
int RunSelf(const std::vector<std::string>& args);

// Asks the system to write out every dirty page, so that one phase's writes do not slow the
// next phase down (sync(2); a no-op on Windows, where each phase's files are closed).
void SettleDisk();

// Writes `bytes` bytes to a new file at `path` with plain write calls of 64 KiB, without any
// sync, and returns the seconds from the first write to the close. The file is removed.
double SequentialWriteSeconds(const std::string& path, uint64_t bytes);

}  // namespace pq::bench
