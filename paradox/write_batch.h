// The one way the engine writes a table's .DB and .PX: each save collects its writes, in the
// order that keeps the files consistent (new blocks before the blocks that link to them, blocks
// before the headers that count them, the data file before its index), and applies them at once.
// With a journal, Apply first records in it what every write will overwrite (one journal
// write), so that an interrupted save can be undone (paradox/journal.h). The blob file writes
// itself through BlobFile, into a journaled file whose writes wait for the batch: new blobs
// are made before it, the freeing of replaced ones after it.
#pragma once

#include <cstdint>
#include <vector>

#include "paradox/coding.h"
#include "paradox/file.h"

namespace pq::paradox {

class Journal;

class WriteBatch {
  public:
    void Add(File& file, uint64_t offset, Bytes bytes);
    bool empty() const { return writes_.empty(); }
    size_t size() const { return writes_.size(); }
    // Writes everything in order; with a journal, through it (Journal::Write: journaled, with
    // the blob file's deferred writes before and after; REQUIRES: a save in progress there).
    // IoError propagates; the writes before it stay done (and journaled).
    void Apply(Journal* journal = nullptr);

  private:
    struct Write {
        File* file;
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<Write> writes_;
};

}  // namespace pq::paradox
