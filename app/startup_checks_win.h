// The Win32 side of the start-up checks: the running program's path and the file probe.
#pragma once

#include <string>

#include "app/startup_checks.h"

namespace pq::app {

// Full path of the running program's executable (GetModuleFileNameW), UTF-8.
std::string ExecutablePath();

// GetFileAttributesW: true for an existing path that is not a folder.
class WinFileProbe : public FileProbe {
  public:
    bool IsRegularFile(const std::string& path) override;
};

}  // namespace pq::app
