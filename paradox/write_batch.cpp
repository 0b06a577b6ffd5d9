#include "paradox/write_batch.h"

#include "paradox/journal.h"

namespace pq::paradox {

void WriteBatch::Add(File& file, uint64_t offset, Bytes bytes) {
    if (bytes.empty()) return;
    // Adjacent writes to the same file merge into one system call.
    if (!writes_.empty()) {
        Write& last = writes_.back();
        if (last.file == &file && last.offset + last.bytes.size() == offset) {
            last.bytes.insert(last.bytes.end(), bytes.begin(), bytes.end());
            return;
        }
    }
    writes_.push_back({&file, offset, std::vector<uint8_t>(bytes.begin(), bytes.end())});
}

void WriteBatch::Apply(Journal* journal) {
    if (journal) {
        std::vector<Journal::Range> ranges;
        ranges.reserve(writes_.size());
        for (const Write& w : writes_) ranges.push_back({w.file, w.offset, Bytes(w.bytes)});
        journal->Write(ranges);
    } else {
        for (const Write& w : writes_) w.file->WriteAt(w.offset, w.bytes.data(), w.bytes.size());
    }
    writes_.clear();
}

}  // namespace pq::paradox
