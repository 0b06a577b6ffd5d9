// A FileSystem that hands every call to another one and counts what is written through it:
// the bytes and the write calls, over every file it opened. The benchmark puts it under the
// merge so that "bytes written" is exactly what the engine asked the system to write.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "paradox/file.h"

namespace pq::bench {

struct WriteCounts {
    uint64_t bytes = 0;
    uint64_t calls = 0;
};

class CountingFileSystem : public paradox::FileSystem {
  public:
    // REQUIRES: `inner` outlives this object and every file opened through it.
    explicit CountingFileSystem(paradox::FileSystem& inner);
    std::unique_ptr<paradox::File> Open(const std::string& path, paradox::OpenMode mode) override;
    bool IsFile(const std::string& path) override { return inner_.IsFile(path); }
    void Remove(const std::string& path) override { inner_.Remove(path); }
    std::vector<std::string> List(const std::string& folder) override {
        return inner_.List(folder);
    }

    const WriteCounts& counts() const { return *counts_; }
    void Reset() { *counts_ = {}; }

  private:
    paradox::FileSystem& inner_;
    std::shared_ptr<WriteCounts> counts_;  // shared with the open files
};

}  // namespace pq::bench
