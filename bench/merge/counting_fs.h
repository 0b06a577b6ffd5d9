// A FileSystem that hands every call to another one and counts what is written through it:
// the bytes and the write calls, over every file it opened, and keeps the list of those calls.
// The benchmark puts it under the merge so that "bytes written" is exactly what the engine
// asked the system to write, and replays the list to time those writes with nothing around
// them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "paradox/file.h"

namespace pq::bench {

struct WriteCall {
    uint32_t file;  // index into WriteCounts::paths
    uint64_t offset;
    uint64_t length;
};

struct WriteCounts {
    uint64_t bytes = 0;
    uint64_t calls = 0;
    std::vector<std::string> paths;  // every file opened, in the order of first opening
    std::vector<WriteCall> log;      // every write, in order
};

// The paths and the log in a file of their own (for a later process), and back. Only the
// paths and the log are kept. std::runtime_error when the file cannot be written or read.
void SaveWriteLog(const WriteCounts& counts, const std::string& path);
WriteCounts LoadWriteLog(const std::string& path);

// Makes the logged writes again, in order, through `fs` (same files, offsets and lengths; the
// bytes are not the same), and returns the seconds they took. The files are opened before the
// clock starts; missing ones are created. IoError as the file system gives it.
double ReplayWrites(const WriteCounts& counts, paradox::FileSystem& fs);

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
    // Forgets the counts and the log; the files stay known.
    void Reset();

  private:
    paradox::FileSystem& inner_;
    std::shared_ptr<WriteCounts> counts_;  // shared with the open files
};

}  // namespace pq::bench
