// The start-up checks' free-space query answered by the main window's TZRDrives component:
// GetDriveInfo for the root, of which only FreeBytes is read.
// Portable: no platform headers.
#pragma once

#include "app/startup_checks.h"
#include "components/ZRDrives.h"

namespace pq::app {

class ZRDrivesSpace : public DriveSpace {
  public:
    explicit ZRDrivesSpace(const components::TZRDrives& drives) : drives_(drives) {}
    int64_t FreeBytes(const std::string& root) override;

  private:
    const components::TZRDrives& drives_;
};

}  // namespace pq::app
