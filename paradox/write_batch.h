// The one way the engine writes a table's .DB and .PX: each save collects its writes, in the
// order that keeps the files consistent (new blocks before the blocks that link to them, blocks
// before the headers that count them, the data file before its index), and applies them at once.
// This is the single place where a journal (write the batch elsewhere first, then apply) and
// locking will sit. The blob file writes itself through BlobFile, before the batch (new blobs)
// and after it (freeing the replaced ones).
#pragma once

#include <cstdint>
#include <vector>

#include "paradox/coding.h"
#include "paradox/file.h"

namespace pq::paradox {

class WriteBatch {
  public:
    void Add(File& file, uint64_t offset, Bytes bytes);
    bool empty() const { return writes_.empty(); }
    size_t size() const { return writes_.size(); }
    // Writes everything in order. IoError propagates; the writes before it stay done.
    void Apply();

  private:
    struct Write {
        File* file;
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<Write> writes_;
};

}  // namespace pq::paradox
