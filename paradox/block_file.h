// The blocks of a .DB or .PX file: reading them (decrypted, header checked, cached), changing
// them in memory, allocating and freeing them, and handing the changed bytes to a WriteBatch.
// Blocks are held through shared pointers so that a block in use survives cache eviction;
// changed blocks stay in the cache until the next Flush.
//
// Ownership: a BlockFile uses the caller's File and owns its cache and its FileHeader copy.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "paradox/file.h"
#include "paradox/header.h"
#include "paradox/write_batch.h"

namespace pq::paradox {

struct Block : std::enable_shared_from_this<Block> {
    uint16_t number = 0;
    std::vector<uint8_t> bytes;
    size_t dirtyFrom = SIZE_MAX;  // changed byte range [dirtyFrom, dirtyTo)
    size_t dirtyTo = 0;
    bool fresh = false;   // allocated by this operation: written before the others
    bool queued = false;  // on the file's list of changed blocks

    uint16_t next() const;
    uint16_t prev() const;
    bool dirty() const { return dirtyFrom < dirtyTo; }
};
using BlockPtr = std::shared_ptr<Block>;

// The blocks a BlockFile::ReadAhead read last.
struct ReadAheadWindow {
    uint16_t first = 0;  // the block at the start of bytes
    uint16_t count = 0;
    uint16_t last = 0;  // the block asked for last
    std::optional<uint64_t> fileSize;
    std::vector<uint8_t> bytes;
};

class BlockFile {
  public:
    // `cacheBlocks` bounds the clean blocks kept (0: keep every block read). `key`: the .DB
    // encryption key, if any. REQUIRES: the header was parsed from this file.
    BlockFile(File& file, FileHeader header, std::string where, std::optional<uint32_t> key,
              size_t cacheBlocks);

    FileHeader& header() { return header_; }
    const FileHeader& header() const { return header_; }
    const std::string& where() const { return where_; }
    File& file() { return file_; }
    uint32_t blockSize() const { return blockSize_; }
    size_t recordSize() const { return recordSize_; }
    // Records that fit a block.
    int capacity() const { return capacity_; }

    // Block n of the chain, its header checked: links within the file, record count within the
    // block. CorruptError naming the block otherwise.
    BlockPtr Get(uint16_t n);
    // Block n as Get gives it, but not added to the cache when it is not there already: for a
    // walk over every block, which would otherwise push out the blocks in use and allocate a
    // buffer per block. Hand it back with Done when finished with it.
    BlockPtr Peek(uint16_t n);
    // Takes back the buffer of a block from Peek that the cache does not hold.
    void Done(BlockPtr b);
    // While one lives, Peek reads the blocks it does not find cached sixteen at a time (a walk
    // over the chain mostly runs in file order). Nothing may write the file meanwhile.
    class ReadAhead {
      public:
        explicit ReadAhead(BlockFile& file);
        ~ReadAhead();
        ReadAhead(const ReadAhead&) = delete;
        ReadAhead& operator=(const ReadAhead&) = delete;

      private:
        BlockFile& file_;
    };
    // Records in a block (from its header), and setting it (also marks the header changed).
    int Count(const Block& b) const;
    void SetCount(Block& b, int count);
    void SetNext(Block& b, uint16_t next);
    void SetPrev(Block& b, uint16_t prev);
    uint8_t* Record(Block& b, int slot) { return b.bytes.data() + 6 + slot * recordSize_; }
    const uint8_t* Record(const Block& b, int slot) const {
        return b.bytes.data() + 6 + slot * recordSize_;
    }
    // Marks bytes [from, to) of a block changed.
    void Touch(Block& b, size_t from, size_t to);
    void TouchRecords(Block& b, int fromSlot, int toSlot) {
        Touch(b, 6 + fromSlot * recordSize_, 6 + toSlot * recordSize_);
    }
    // Puts `record` at `slot` of a block that has room for one more; the records from `slot`
    // on move up one.
    void InsertRecord(Block& b, int slot, const uint8_t* record);
    // How many of a full block's `count` records and the one going in stay in it when it splits.
    static int KeptOnSplit(int count) { return (count + 2) / 2; }
    // Splits the full block `b` with `record` going in at `slot`: the first KeptOnSplit of them
    // stay, in order, the others go to the empty block `into`.
    void SplitInsert(Block& b, Block& into, int slot, const uint8_t* record);

    // Puts the unlinked block `fresh` into the chain of blocks right after `left`.
    void LinkAfter(Block& left, Block& fresh);
    // Takes a block out of the chain (it is then unlinked; see Release).
    void Unlink(Block& b);

    // A new empty block (from the free list, else at the end of the file), not yet linked.
    // Error when the file has 65535 blocks.
    BlockPtr Allocate();
    // Puts an unlinked block on the free list.
    void Release(Block& b);

    void HeaderChanged() { headerDirty_ = true; }
    // Adds the changed blocks (fresh ones first) and then the header's fixed part to `batch`.
    void Flush(WriteBatch& batch);
    // Forgets cached blocks, e.g. after a failed write (the file is then read again).
    void DropCache();
    // Why the file's size does not fit its header (longer than its blocks, or ending before
    // the records of its last block), or empty. A file may end inside its last block after
    // that block's records, as other writers leave it.
    std::string SizeProblem();
    // How many blocks are cached, for tests and memory checks.
    size_t CachedBlocks() const { return cached_; }

  private:
    uint64_t BlockOffset(uint16_t n) const;
    // A block object for block n (CorruptError when the file has no such block), with a spare
    // buffer of the block's size when there is one, else none: the caller sizes and fills it.
    BlockPtr Fresh(uint16_t n);
    // Decrypts a block just read and, with `check`, checks its header (as Get promises).
    void Decode(Block& b, bool check);
    // Reads block b.number's bytes that the file holds (it has fileSize bytes); zeros after.
    void ReadInto(Block& b, uint64_t fileSize);
    // Bytes of a block that its header and records take (whole chunks when encrypted).
    size_t UsedBytes(const Block& b) const;
    // Reads block b->number alone into b, then decodes it.
    BlockPtr Read(BlockPtr b, bool check);
    BlockPtr Load(uint16_t n, bool check);
    // Block n from the read-ahead window, read anew when it does not hold it.
    BlockPtr LoadAhead(uint16_t n);
    void Remember(const BlockPtr& b);
    void Evict();
    using LruIterator = std::list<BlockPtr>::iterator;
    LruIterator* Cached(uint16_t n);
    void Forget(uint16_t n);

    File& file_;
    FileHeader header_;
    std::string where_;
    std::optional<uint32_t> key_;
    size_t cacheLimit_;
    uint32_t blockSize_;
    size_t recordSize_;
    int capacity_;
    bool headerDirty_ = false;
    uint64_t fileSize_ = 0;      // the file's size when last asked
    uint64_t requiredSize_ = 0;  // at open: the bytes up to the last block's records

    std::vector<BlockPtr> dirty_;  // changed since the last Flush
    std::list<BlockPtr> lru_;      // most recent first
    // Where each cached block sits in lru_, by block number (a direct table: block numbers are
    // 16-bit), and buffers of evicted blocks kept for the next reads.
    std::vector<LruIterator> slot_;
    std::vector<uint8_t> present_;
    size_t cached_ = 0;
    std::vector<std::vector<uint8_t>> spare_;
    std::optional<ReadAheadWindow> ahead_;
};

}  // namespace pq::paradox
