// The primary index (.PX) of a keyed table: a tree of index blocks over the table's data blocks.
// Level 1 has one entry per data block (the block's first key, the block number, its record
// count); each higher level one entry per block below (first key, block, summed count, capped at
// 32767 since the field is a 16-bit integer). Searches descend from the root in logarithmic time;
// every change rewrites only the entries it touches. All index blocks stay in memory once read
// (an index is small: one entry per data block).
//
// Ownership: the PrimaryIndex owns its BlockFile over the caller's File. It never writes by
// itself: Flush hands its changes to the table's WriteBatch.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "paradox/block_file.h"
#include "paradox/key_order.h"

namespace pq::paradox {

class PrimaryIndex {
  public:
    // `header` was parsed from `file`; `order` orders the table's keys.
    PrimaryIndex(File& file, FileHeader header, std::string where, KeyOrder order);

    struct Step {
        BlockPtr block;
        int entry = 0;
    };
    using Path = std::vector<Step>;  // root first; the last step is at level 1

    bool empty() const { return index_.header().indexLevels == 0; }
    int levels() const { return index_.header().indexLevels; }
    const FileHeader& header() const { return index_.header(); }
    BlockFile& blocks() { return index_; }

    // The path to the data block where a record with this key belongs: the last block whose
    // first key is below the key (the first block if none is). Compares the first `fieldCount`
    // key fields. REQUIRES: !empty().
    Path FindForKey(Bytes key, int fieldCount);
    // The path to the data block whose first key is `firstKey` (the last block whose first key
    // is at most it). REQUIRES: !empty().
    Path FindBlock(Bytes firstKey);
    uint16_t DataBlock(const Path& path) const;
    // Level-1 entries in key order: (data block, count), for checks and rebuilds.
    void ForEachLevel1(const std::function<void(Bytes key, uint16_t block, int count)>& visit);

    // The first data block: an index for a table that had none.
    void Start(uint16_t dataBlock, Bytes firstKey, int count);
    // Sets the level-1 entry at the end of `path` (its data block's first key and count) and
    // brings every entry above it up to date.
    void Update(Path& path, Bytes firstKey, int count);
    // Adds a level-1 entry for a new data block right after the one at the end of `path`.
    // Splits index blocks as needed. `path` is no longer valid afterwards.
    void InsertAfter(Path& path, uint16_t dataBlock, Bytes firstKey, int count);
    // Removes the level-1 entry at the end of `path` (its data block is gone). `path` is no
    // longer valid afterwards.
    void Remove(Path& path);

    void Flush(WriteBatch& batch) { index_.Flush(batch); }
    void DropCache() { index_.DropCache(); }

    // Walks the whole tree and reports every problem found through `problem` (levels, counts,
    // keys against the child's first key, order, block chain); returns level-1 entries in key
    // order for the caller to compare with the data.
    struct Level1Entry {
        std::vector<uint8_t> key;
        uint16_t block;
        int count;
    };
    std::vector<Level1Entry> Verify(const std::function<void(const std::string&)>& problem);

  private:
    Bytes Key(const Block& b, int entry) const;
    uint16_t Child(const Block& b, int entry) const;
    int EntryCount(const Block& b, int entry) const;
    void SetEntry(Block& b, int entry, Bytes key, uint16_t child, int count);
    int SumCounts(const Block& b) const;
    // Binary search: the last entry whose key is below (strict) or at most (!strict) `key`.
    int Search(const Block& b, Bytes key, int fieldCount, bool strict) const;
    Path Descend(Bytes key, int fieldCount, bool strict);
    void FixUp(Path& path);
    void InsertEntry(Path& path, size_t depth, int position, Bytes key, uint16_t child, int count);
    void RemoveEntry(Path& path, size_t depth);
    // The most levels a tree over `entries` level-1 entries may have: a few more than it
    // needs, never more than a reader accepts.
    int LevelLimit(size_t entries) const;
    // When the tree has grown past LevelLimit (splits leave half-empty blocks, and blocks of
    // two or three entries can leave one a level), lays it out again over its level-1
    // entries, each block about three quarters full, in the blocks it used.
    void Rebalance();

    BlockFile index_;
    KeyOrder order_;
    size_t keyBytes_;
};

}  // namespace pq::paradox
