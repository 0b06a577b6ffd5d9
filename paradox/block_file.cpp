#include "paradox/block_file.h"

#include <algorithm>
#include <cstring>

#include "paradox/crypt.h"
#include "paradox/error.h"
#include "paradox/format.h"

namespace pq::paradox {

namespace f = format;

uint16_t Block::next() const {
    return GetU16(bytes, f::kBlockNext);
}
uint16_t Block::prev() const {
    return GetU16(bytes, f::kBlockPrev);
}

BlockFile::BlockFile(File& file, FileHeader header, std::string where, std::optional<uint32_t> key,
                     size_t cacheBlocks)
    : file_(file),
      header_(std::move(header)),
      where_(std::move(where)),
      key_(key),
      cacheLimit_(cacheBlocks),
      blockSize_(header_.BlockSize()),
      recordSize_(header_.recordSize),
      capacity_(static_cast<int>((blockSize_ - f::kBlockHeader) / header_.recordSize)) {
    const uint64_t need = header_.headerSize + uint64_t{header_.blocksInFile} * blockSize_;
    const uint64_t size = file_.Size();
    fileSize_ = size;
    auto tooShort = [&] {
        Corrupt(where_, "the file has " + std::to_string(size) + " bytes but its header counts " +
                            std::to_string(header_.blocksInFile) + " blocks of " +
                            std::to_string(blockSize_) + " (" + std::to_string(need) + " bytes)");
    };
    requiredSize_ = header_.headerSize;
    if (size < need) {
        // Real files may end inside their last block, after the records it holds: the rest
        // of the block reads as zeros. Every block before it must be whole, and the last one
        // must hold its header and all its records (for an encrypted file, whole chunks).
        const uint16_t last = header_.blocksInFile;
        const uint64_t lastStart = BlockOffset(last);
        if (size < lastStart + (key_ ? kCryptChunkSize : f::kBlockHeader)) tooShort();
        BlockPtr b = Fresh(last);
        ReadInto(*b, size);
        if (key_) DecryptDbBlock(b->bytes.data(), blockSize_, *key_, b->number);
        requiredSize_ = lastStart + UsedBytes(*b);
        if (size < requiredSize_) tooShort();
    }
    auto check = [&](uint16_t n, const char* what) {
        if (n > header_.blocksInFile)
            Corrupt(where_ + ": header", std::string(what) + " " + std::to_string(n) +
                                             " beyond the " + std::to_string(header_.blocksInFile) +
                                             " blocks of the file");
    };
    check(header_.firstBlock, "first block");
    check(header_.lastBlock, "last block");
    check(header_.firstFreeBlock, "first free block");
    if (header_.blocksInUse > header_.blocksInFile)
        Corrupt(where_ + ": header", "more blocks in use than in the file");
    if ((header_.firstBlock == 0) != (header_.lastBlock == 0))
        Corrupt(where_ + ": header", "first and last block disagree about an empty chain");
}

uint64_t BlockFile::BlockOffset(uint16_t n) const {
    return header_.headerSize + uint64_t{n - 1u} * blockSize_;
}

BlockPtr BlockFile::Fresh(uint16_t n) {
    if (n < 1 || n > header_.blocksInFile)
        Corrupt(where_, "block " + std::to_string(n) + " is outside the file's " +
                            std::to_string(header_.blocksInFile) + " blocks");
    auto b = std::make_shared<Block>();
    b->number = n;
    if (!spare_.empty()) {
        b->bytes = std::move(spare_.back());  // a block's size; the caller writes over it all
        spare_.pop_back();
    }
    return b;
}

void BlockFile::Decode(Block& b, bool check) {
    if (key_) DecryptDbBlock(b.bytes.data(), blockSize_, *key_, b.number);
    if (!check) return;
    if (b.next() > header_.blocksInFile || b.prev() > header_.blocksInFile)
        Corrupt(where_ + ": block " + std::to_string(b.number),
                "links to a block beyond the end of the file");
    Count(b);  // checks the last-record offset
}

void BlockFile::ReadInto(Block& b, uint64_t fileSize) {
    b.bytes.resize(blockSize_);
    const uint64_t offset = BlockOffset(b.number);
    const size_t present =
        fileSize > offset ? static_cast<size_t>(std::min<uint64_t>(fileSize - offset, blockSize_))
                          : 0;
    if (present) file_.ReadAt(offset, b.bytes.data(), present);
    std::fill(b.bytes.begin() + static_cast<ptrdiff_t>(present), b.bytes.end(), 0);
}

size_t BlockFile::UsedBytes(const Block& b) const {
    const int last = static_cast<int16_t>(GetU16(b.bytes, f::kBlockLastOffset));
    size_t used = f::kBlockHeader;
    if (last >= 0) used += static_cast<size_t>(last) + recordSize_;
    if (key_) used = (used + kCryptChunkSize - 1) / kCryptChunkSize * kCryptChunkSize;
    return std::min<size_t>(used, blockSize_);
}

BlockPtr BlockFile::Read(BlockPtr b, bool check) {
    const uint64_t end = BlockOffset(b->number) + blockSize_;
    if (end > fileSize_) fileSize_ = file_.Size();  // the file may have grown since
    if (end <= fileSize_) {
        b->bytes.resize(blockSize_);
        file_.ReadAt(BlockOffset(b->number), b->bytes.data(), blockSize_);
        Decode(*b, check);
        return b;
    }
    // The last block of a file that ends inside it (see the constructor).
    ReadInto(*b, fileSize_);
    Decode(*b, check);
    if (check && BlockOffset(b->number) + UsedBytes(*b) > fileSize_)
        Corrupt(where_ + ": block " + std::to_string(b->number),
                "the file ends at byte " + std::to_string(fileSize_) +
                    ", before the records of the block");
    return b;
}

BlockPtr BlockFile::Load(uint16_t n, bool check) {
    return Read(Fresh(n), check);
}

BlockFile::ReadAhead::ReadAhead(BlockFile& file) : file_(file) {
    file_.ahead_.emplace();
}

BlockFile::ReadAhead::~ReadAhead() {
    file_.ahead_.reset();
}

BlockPtr BlockFile::LoadAhead(uint16_t n) {
    BlockPtr b = Fresh(n);
    ReadAheadWindow& w = *ahead_;
    const bool inOrder = w.count > 0 && n == w.last + 1;
    w.last = n;
    if (n < w.first || n - w.first >= w.count) {
        // Sixteen blocks once the walk goes in file order, else the one asked for; never past
        // the blocks the file holds, so that a short file fails at the block that is missing.
        constexpr uint64_t kWindowBlocks = 16;
        if (!w.fileSize) w.fileSize = file_.Size();
        const uint64_t offset = BlockOffset(n);
        const uint64_t inFile = *w.fileSize > offset ? (*w.fileSize - offset) / blockSize_ : 0;
        const uint64_t count = std::min<uint64_t>(
            {inOrder ? kWindowBlocks : 1, uint64_t{header_.blocksInFile} - n + 1, inFile});
        if (count == 0) return Read(std::move(b), true);  // fails as a lone read would
        w.bytes.resize(static_cast<size_t>(count) * blockSize_);
        file_.ReadAt(offset, w.bytes.data(), w.bytes.size());
        w.first = n;
        w.count = static_cast<uint16_t>(count);
    }
    const auto from = w.bytes.begin() + static_cast<ptrdiff_t>(size_t{n} - w.first) * blockSize_;
    b->bytes.assign(from, from + blockSize_);  // into a spare buffer without growing it
    Decode(*b, true);
    return b;
}

BlockFile::LruIterator* BlockFile::Cached(uint16_t n) {
    return n < present_.size() && present_[n] ? &slot_[n] : nullptr;
}

void BlockFile::Forget(uint16_t n) {
    if (n < present_.size() && present_[n]) {
        present_[n] = 0;
        --cached_;
    }
}

void BlockFile::Remember(const BlockPtr& b) {
    if (Cached(b->number)) {
        lru_.erase(slot_[b->number]);
        Forget(b->number);
    }
    lru_.push_front(b);
    if (present_.size() <= b->number) {
        present_.resize(size_t{b->number} + 1, 0);
        slot_.resize(size_t{b->number} + 1);
    }
    slot_[b->number] = lru_.begin();
    present_[b->number] = 1;
    ++cached_;
    Evict();
}

void BlockFile::Evict() {
    if (cacheLimit_ == 0) return;
    auto it = lru_.end();
    while (cached_ > cacheLimit_ && it != lru_.begin()) {
        --it;
        if (!(*it)->dirty() && it->use_count() == 1) {
            Forget((*it)->number);
            if (spare_.size() < 8) spare_.push_back(std::move((*it)->bytes));
            it = lru_.erase(it);
        }
    }
}

BlockPtr BlockFile::Get(uint16_t n) {
    if (LruIterator* found = Cached(n)) {
        lru_.splice(lru_.begin(), lru_, *found);
        return **found;
    }
    BlockPtr b = Load(n, true);
    Remember(b);
    return b;
}

BlockPtr BlockFile::Peek(uint16_t n) {
    if (LruIterator* found = Cached(n)) return **found;
    return ahead_ ? LoadAhead(n) : Load(n, true);
}

void BlockFile::Done(BlockPtr b) {
    // Held by no one else: not by the cache, so its buffer is free to use again.
    if (!b || b.use_count() != 1 || b->queued) return;
    if (spare_.size() < 8) spare_.push_back(std::move(b->bytes));
}

int BlockFile::Count(const Block& b) const {
    const int last = static_cast<int16_t>(GetU16(b.bytes, f::kBlockLastOffset));
    const int rs = static_cast<int>(recordSize_);
    if (last == -rs) return 0;
    if (last < 0 || last % rs != 0 || last / rs + 1 > capacity_)
        Corrupt(where_ + ": block " + std::to_string(b.number),
                "last record offset " + std::to_string(last) + " does not fit records of " +
                    std::to_string(rs) + " bytes in a block of " + std::to_string(blockSize_));
    return last / rs + 1;
}

void BlockFile::SetCount(Block& b, int count) {
    const int last = (count - 1) * static_cast<int>(recordSize_);
    PutU16(b.bytes, f::kBlockLastOffset, static_cast<uint16_t>(static_cast<int16_t>(last)));
    Touch(b, f::kBlockLastOffset, f::kBlockLastOffset + 2);
}

void BlockFile::SetNext(Block& b, uint16_t next) {
    PutU16(b.bytes, f::kBlockNext, next);
    Touch(b, f::kBlockNext, f::kBlockNext + 2);
}

void BlockFile::SetPrev(Block& b, uint16_t prev) {
    PutU16(b.bytes, f::kBlockPrev, prev);
    Touch(b, f::kBlockPrev, f::kBlockPrev + 2);
}

void BlockFile::LinkAfter(Block& left, Block& fresh) {
    const uint16_t next = left.next();
    SetPrev(fresh, left.number);
    SetNext(fresh, next);
    if (next)
        SetPrev(*Get(next), fresh.number);
    else
        header_.lastBlock = fresh.number;
    SetNext(left, fresh.number);
    HeaderChanged();
}

void BlockFile::Unlink(Block& b) {
    const uint16_t next = b.next(), prev = b.prev();
    if (prev)
        SetNext(*Get(prev), next);
    else
        header_.firstBlock = next;
    if (next)
        SetPrev(*Get(next), prev);
    else
        header_.lastBlock = prev;
    HeaderChanged();
}

void BlockFile::Touch(Block& b, size_t from, size_t to) {
    if (from >= to) return;
    b.dirtyFrom = std::min(b.dirtyFrom, from);
    b.dirtyTo = std::max(b.dirtyTo, std::min<size_t>(to, blockSize_));
    if (!b.queued) {
        b.queued = true;
        dirty_.push_back(b.shared_from_this());
    }
}

BlockPtr BlockFile::Allocate() {
    BlockPtr b;
    if (header_.firstFreeBlock != 0) {
        // The head of the free list, as this operation may have just freed it (in the cache).
        const uint16_t n = header_.firstFreeBlock;
        if (LruIterator* found = Cached(n)) {
            b = **found;
        } else {
            b = Load(n, false);
            Remember(b);
        }
        const uint16_t nextFree = b->next();
        if (nextFree > header_.blocksInFile || nextFree == n)
            Corrupt(where_ + ": block " + std::to_string(n), "free list links beyond the file");
        header_.firstFreeBlock = nextFree;
    } else {
        if (header_.blocksInFile >= f::kMaxBlocksPerFile)
            throw Error(where_ + ": the file has reached its limit of 65535 blocks");
        b = std::make_shared<Block>();
        b->number = ++header_.blocksInFile;
        b->bytes.resize(blockSize_);
        Remember(b);
    }
    ++header_.blocksInUse;
    std::fill(b->bytes.begin(), b->bytes.end(), 0);
    b->fresh = true;
    SetCount(*b, 0);
    Touch(*b, 0, blockSize_);
    HeaderChanged();
    return b;
}

void BlockFile::Release(Block& b) {
    std::fill(b.bytes.begin(), b.bytes.end(), 0);
    PutU16(b.bytes, f::kBlockNext, header_.firstFreeBlock);
    SetCount(b, 0);
    Touch(b, 0, blockSize_);
    header_.firstFreeBlock = b.number;
    if (header_.blocksInUse > 0) --header_.blocksInUse;
    HeaderChanged();
}

void BlockFile::Flush(WriteBatch& batch) {
    std::vector<BlockPtr> dirty;
    dirty.swap(dirty_);
    // Fresh blocks first, in block number order, so that nothing on disk links to a block
    // before the block holds its records.
    std::stable_sort(dirty.begin(), dirty.end(), [](const BlockPtr& a, const BlockPtr& b) {
        if (a->fresh != b->fresh) return a->fresh;
        return a->number < b->number;
    });
    for (const BlockPtr& b : dirty) {
        size_t from = b->fresh ? 0 : b->dirtyFrom;
        size_t to = b->fresh ? blockSize_ : b->dirtyTo;
        if (key_) {
            from = from / kCryptChunkSize * kCryptChunkSize;
            to = std::min<size_t>((to + kCryptChunkSize - 1) / kCryptChunkSize * kCryptChunkSize,
                                  blockSize_);
            std::vector<uint8_t> enc = b->bytes;
            EncryptDbBlock(enc.data(), blockSize_, *key_, b->number);
            batch.Add(file_, BlockOffset(b->number) + from, Bytes(enc).subspan(from, to - from));
        } else {
            batch.Add(file_, BlockOffset(b->number) + from,
                      Bytes(b->bytes).subspan(from, to - from));
        }
        b->dirtyFrom = SIZE_MAX;
        b->dirtyTo = 0;
        b->fresh = false;
        b->queued = false;
    }
    if (headerDirty_) {
        header_.StoreCounts();
        batch.Add(file_, 0, Bytes(header_.raw).subspan(0, f::kFixedPartEnd));
        headerDirty_ = false;
    }
    Evict();
}

std::string BlockFile::SizeProblem() {
    const uint64_t size = file_.Size();
    const uint64_t whole = header_.headerSize + uint64_t{header_.blocksInFile} * blockSize_;
    if (size <= whole && size >= requiredSize_) return {};
    return where_ + ": the file has " + std::to_string(size) + " bytes, its header accounts for " +
           std::to_string(whole);
}

void BlockFile::DropCache() {
    fileSize_ = 0;  // read again: undoing a save may have shortened the file
    for (const BlockPtr& b : dirty_) b->queued = false;
    dirty_.clear();
    lru_.clear();
    present_.clear();
    slot_.clear();
    cached_ = 0;
    headerDirty_ = false;
}

void BlockFile::InsertRecord(Block& b, int slot, const uint8_t* record) {
    const int n = Count(b);
    std::memmove(Record(b, slot + 1), Record(b, slot), (n - slot) * recordSize_);
    std::memcpy(Record(b, slot), record, recordSize_);
    SetCount(b, n + 1);
    TouchRecords(b, slot, n + 1);
}

void BlockFile::SplitInsert(Block& b, Block& into, int slot, const uint8_t* record) {
    const size_t rs = recordSize_;
    const int n = Count(b);
    const int total = n + 1;
    const int keep = KeptOnSplit(n);
    std::vector<uint8_t> all(total * rs);
    std::memcpy(all.data(), Record(b, 0), slot * rs);
    std::memcpy(all.data() + slot * rs, record, rs);
    std::memcpy(all.data() + (slot + 1) * rs, Record(b, slot), (n - slot) * rs);
    std::memset(Record(b, 0), 0, n * rs);
    std::memcpy(Record(b, 0), all.data(), keep * rs);
    SetCount(b, keep);
    TouchRecords(b, 0, n);
    std::memcpy(Record(into, 0), all.data() + keep * rs, (total - keep) * rs);
    SetCount(into, total - keep);
}

}  // namespace pq::paradox
