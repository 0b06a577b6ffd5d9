#include "app/zrdrives_space.h"

#include "base/text.h"

namespace pq::app {

int64_t ZRDrivesSpace::FreeBytes(const std::string& root) {
    // The component's roots are ANSI texts; ours are UTF-8.
    components::TDriveInfo info{};
    drives_.GetDriveInfo(text::Utf8ToAnsi(root), info);
    return info.FreeBytes;
}

}  // namespace pq::app
