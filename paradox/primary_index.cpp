#include "paradox/primary_index.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "paradox/error.h"
#include "paradox/format.h"

namespace pq::paradox {

namespace {

constexpr int kMaxCount = 32767;
// The most levels a reader accepts (the constructor's limit).
constexpr int kMaxLevels = 16;

// The fewest levels of blocks holding up to `fanout` entries each over `entries` entries.
int LevelsFor(size_t entries, size_t fanout) {
    int levels = 1;
    for (size_t reach = fanout; reach < entries; reach *= fanout) ++levels;
    return levels;
}

uint16_t DecodeU16Field(const uint8_t* p) {
    return static_cast<uint16_t>(((p[0] << 8) | p[1]) ^ 0x8000);
}

void EncodeU16Field(uint8_t* p, uint16_t v) {
    const uint16_t raw = static_cast<uint16_t>(v ^ 0x8000);
    p[0] = static_cast<uint8_t>(raw >> 8);
    p[1] = static_cast<uint8_t>(raw);
}

}  // namespace

PrimaryIndex::PrimaryIndex(File& file, FileHeader header, std::string where, KeyOrder order)
    : index_(file, std::move(header), std::move(where), std::nullopt, 0),
      order_(std::move(order)),
      keyBytes_(order_.KeyBytes()) {
    const FileHeader& h = index_.header();
    if (h.recordSize != keyBytes_ + format::kIndexEntryTrailer)
        Corrupt(index_.where() + ": header", "index entries of " + std::to_string(h.recordSize) +
                                                 " bytes for a key of " +
                                                 std::to_string(keyBytes_));
    if (index_.capacity() < 2)
        Corrupt(index_.where() + ": header", "index blocks hold fewer than two entries");
    // An empty index has no levels; its root is then unused (other writers leave 1 there).
    if (h.indexLevels > 0 && h.indexRoot == 0)
        Corrupt(index_.where() + ": header", "root block and level count disagree");
    if (h.indexLevels > 0 && h.indexRoot > h.blocksInFile)
        Corrupt(index_.where() + ": header", "root block beyond the end of the file");
    if (h.indexLevels > 16) Corrupt(index_.where() + ": header", "implausible index levels");
}

Bytes PrimaryIndex::Key(const Block& b, int entry) const {
    return Bytes(index_.Record(b, entry), keyBytes_);
}

uint16_t PrimaryIndex::Child(const Block& b, int entry) const {
    return DecodeU16Field(index_.Record(b, entry) + keyBytes_);
}

int PrimaryIndex::EntryCount(const Block& b, int entry) const {
    return DecodeU16Field(index_.Record(b, entry) + keyBytes_ + 2);
}

void PrimaryIndex::SetEntry(Block& b, int entry, Bytes key, uint16_t child, int count) {
    uint8_t* p = index_.Record(b, entry);
    std::memcpy(p, key.data(), keyBytes_);
    EncodeU16Field(p + keyBytes_, child);
    EncodeU16Field(p + keyBytes_ + 2, static_cast<uint16_t>(std::min(count, kMaxCount)));
    EncodeU16Field(p + keyBytes_ + 4, 0);
    index_.TouchRecords(b, entry, entry + 1);
}

int PrimaryIndex::SumCounts(const Block& b) const {
    int sum = 0;
    const int n = index_.Count(b);
    for (int i = 0; i < n && sum < kMaxCount; ++i) sum += EntryCount(b, i);
    return std::min(sum, kMaxCount);
}

int PrimaryIndex::Search(const Block& b, Bytes key, int fieldCount, bool strict) const {
    int lo = 0, hi = index_.Count(b);  // find the first entry not below (or above) the key
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const int c = order_.Compare(Key(b, mid), key, fieldCount);
        if (strict ? c < 0 : c <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo > 0 ? lo - 1 : 0;
}

PrimaryIndex::Path PrimaryIndex::Descend(Bytes key, int fieldCount, bool strict) {
    const FileHeader& h = index_.header();
    Path path;
    uint16_t n = h.indexRoot;
    for (int level = h.indexLevels; level >= 1; --level) {
        BlockPtr b = index_.Get(n);
        if (index_.Count(*b) == 0)
            Corrupt(index_.where() + ": block " + std::to_string(n), "empty index block in use");
        const int e = Search(*b, key, fieldCount, strict);
        path.push_back({b, e});
        n = Child(*b, e);
        if (level > 1 && (n == 0 || n > h.blocksInFile))
            Corrupt(index_.where() + ": block " + std::to_string(b->number),
                    "entry " + std::to_string(e) + " points at index block " + std::to_string(n) +
                        " outside the file");
    }
    return path;
}

PrimaryIndex::Path PrimaryIndex::FindForKey(Bytes key, int fieldCount) {
    return Descend(key, fieldCount, true);
}

PrimaryIndex::Path PrimaryIndex::FindBlock(Bytes firstKey) {
    return Descend(firstKey, order_.FieldCount(), false);
}

uint16_t PrimaryIndex::DataBlock(const Path& path) const {
    return Child(*path.back().block, path.back().entry);
}

void PrimaryIndex::FixUp(Path& path) {
    for (size_t d = path.size() - 1; d-- > 0;) {
        Block& parent = *path[d].block;
        const Block& child = *path[d + 1].block;
        const int e = path[d].entry;
        const Bytes first = Key(child, 0);
        const int sum = SumCounts(child);
        if (std::memcmp(Key(parent, e).data(), first.data(), keyBytes_) != 0 ||
            EntryCount(parent, e) != sum || Child(parent, e) != child.number)
            SetEntry(parent, e, first, child.number, sum);
    }
}

void PrimaryIndex::Start(uint16_t dataBlock, Bytes firstKey, int count) {
    BlockPtr root = index_.Allocate();
    index_.SetCount(*root, 1);
    SetEntry(*root, 0, firstKey, dataBlock, count);
    FileHeader& h = index_.header();
    h.indexRoot = root->number;
    h.indexLevels = 1;
    h.firstBlock = h.lastBlock = root->number;
    h.recordCount = 1;
    index_.HeaderChanged();
}

void PrimaryIndex::Update(Path& path, Bytes firstKey, int count) {
    Step& last = path.back();
    SetEntry(*last.block, last.entry, firstKey, Child(*last.block, last.entry), count);
    FixUp(path);
}

void PrimaryIndex::InsertEntry(Path& path, size_t depth, int position, Bytes key, uint16_t child,
                               int count) {
    FileHeader& h = index_.header();
    BlockPtr b = path[depth].block;
    const int n = index_.Count(*b);
    const int cap = index_.capacity();
    const size_t rs = index_.recordSize();
    ++h.recordCount;
    index_.HeaderChanged();
    if (n < cap) {
        std::memmove(index_.Record(*b, position + 1), index_.Record(*b, position),
                     (n - position) * rs);
        index_.SetCount(*b, n + 1);
        index_.TouchRecords(*b, position, n + 1);
        SetEntry(*b, position, key, child, count);
        return;
    }
    // Full: a new block to the right. Appending past the rightmost block of a level starts
    // the new block with the one entry, so that ascending inserts leave full blocks behind;
    // otherwise the block splits in half.
    bool rightmost = position == n;
    for (size_t d = 0; d < depth && rightmost; ++d)
        rightmost = path[d].entry == index_.Count(*path[d].block) - 1;
    BlockPtr fresh = index_.Allocate();
    index_.LinkAfter(*b, *fresh);
    if (rightmost) {
        index_.SetCount(*fresh, 1);
        SetEntry(*fresh, 0, key, child, count);
    } else {
        const int keep = (n + 1) / 2;
        const int moved = n - keep;
        std::memcpy(index_.Record(*fresh, 0), index_.Record(*b, keep), moved * rs);
        index_.SetCount(*fresh, moved);
        index_.TouchRecords(*fresh, 0, moved);
        std::memset(index_.Record(*b, keep), 0, moved * rs);
        index_.SetCount(*b, keep);
        index_.TouchRecords(*b, keep, n);
        Block& target = position <= keep ? *b : *fresh;
        const int at = position <= keep ? position : position - keep;
        const int tn = index_.Count(target);
        std::memmove(index_.Record(target, at + 1), index_.Record(target, at), (tn - at) * rs);
        index_.SetCount(target, tn + 1);
        index_.TouchRecords(target, at, tn + 1);
        SetEntry(target, at, key, child, count);
    }
    const std::vector<uint8_t> freshKey(Key(*fresh, 0).begin(), Key(*fresh, 0).end());
    if (depth == 0) {
        // The root split: a new root above both halves, first in the chain.
        BlockPtr root = index_.Allocate();
        index_.SetCount(*root, 2);
        SetEntry(*root, 0, Key(*b, 0), b->number, SumCounts(*b));
        SetEntry(*root, 1, freshKey, fresh->number, SumCounts(*fresh));
        index_.SetPrev(*root, 0);
        index_.SetNext(*root, h.firstBlock);
        index_.SetPrev(*index_.Get(h.firstBlock), root->number);
        h.firstBlock = root->number;
        h.indexRoot = root->number;
        ++h.indexLevels;
        h.recordCount += 2;
        index_.HeaderChanged();
        return;
    }
    Block& parent = *path[depth - 1].block;
    const int pe = path[depth - 1].entry;
    SetEntry(parent, pe, Key(*b, 0), b->number, SumCounts(*b));
    InsertEntry(path, depth - 1, pe + 1, freshKey, fresh->number, SumCounts(*fresh));
}

void PrimaryIndex::InsertAfter(Path& path, uint16_t dataBlock, Bytes firstKey, int count) {
    const std::vector<uint8_t> key(firstKey.begin(), firstKey.end());
    const std::vector<uint8_t> leftKey(Key(*path.back().block, path.back().entry).begin(),
                                       Key(*path.back().block, path.back().entry).end());
    const int levelsBefore = levels();
    InsertEntry(path, path.size() - 1, path.back().entry + 1, key, dataBlock, count);
    if (levels() > levelsBefore) {
        // The root split: the level-1 entries are all in place, the tree above them is laid
        // out again when it grew too deep.
        Rebalance();
    }
    // Splits moved entries between index blocks: bring the entries above both data blocks up
    // to date (keys and counts), found afresh.
    Path left = FindBlock(leftKey);
    FixUp(left);
    Path right = FindBlock(key);
    FixUp(right);
}

int PrimaryIndex::LevelLimit(size_t entries) const {
    const size_t cap = static_cast<size_t>(index_.capacity());
    const int limit =
        std::max(LevelsFor(entries, cap) + 2, LevelsFor(entries, std::max<size_t>(2, cap / 2)) + 1);
    return std::min(limit, kMaxLevels);
}

void PrimaryIndex::Rebalance() {
    FileHeader& h = index_.header();
    // The tree's blocks, and its level-1 entries in key order, copied out first: the blocks
    // are written over below.
    std::vector<uint16_t> blocks;
    std::vector<uint8_t> keys;
    std::vector<std::pair<uint16_t, int>> level1;  // data block, count
    std::vector<bool> seen(size_t{h.blocksInFile} + 1, false);
    std::function<void(uint16_t, int)> collect = [&](uint16_t n, int level) {
        if (n == 0 || n > h.blocksInFile || seen[n])
            Corrupt(index_.where() + ": block " + std::to_string(n),
                    "the index tree reaches a block outside the file or twice");
        seen[n] = true;
        blocks.push_back(n);
        BlockPtr b = index_.Get(n);
        const int count = index_.Count(*b);
        for (int i = 0; i < count; ++i) {
            if (level > 1) {
                collect(Child(*b, i), level - 1);
                continue;
            }
            const Bytes k = Key(*b, i);
            keys.insert(keys.end(), k.begin(), k.end());
            level1.push_back({Child(*b, i), EntryCount(*b, i)});
        }
    };
    collect(h.indexRoot, levels());
    const size_t entryCount = level1.size();
    if (entryCount == 0 || levels() <= LevelLimit(entryCount)) return;

    // Blocks per level, level 1 first, about three quarters full.
    const int cap = index_.capacity();
    const size_t fill = static_cast<size_t>(std::max(2, cap - cap / 4));
    std::vector<size_t> perLevel;
    for (size_t n = level1.size();;) {
        perLevel.push_back((n + fill - 1) / fill);
        if (perLevel.back() == 1) break;
        n = perLevel.back();
    }
    size_t total = 0;
    for (size_t k : perLevel) total += k;

    // The chain: the root first, then each level left to right, in the tree's old blocks
    // (more taken when it needs more, the rest freed).
    std::sort(blocks.begin(), blocks.end());
    std::vector<BlockPtr> chain;
    for (size_t i = 0; i < total; ++i)
        chain.push_back(i < blocks.size() ? index_.Get(blocks[i]) : index_.Allocate());
    for (size_t i = total; i < blocks.size(); ++i) index_.Release(*index_.Get(blocks[i]));
    for (size_t i = 0; i < chain.size(); ++i) {
        index_.SetPrev(*chain[i], i ? chain[i - 1]->number : 0);
        index_.SetNext(*chain[i], i + 1 < chain.size() ? chain[i + 1]->number : 0);
    }

    // Fills the levels bottom up; each level's entries are the blocks of the one below.
    const size_t rs = index_.recordSize();
    std::vector<std::pair<uint16_t, int>> entries = std::move(level1);
    size_t end = total;  // the level's blocks are chain[end - perLevel[level], end)
    for (size_t level = 0; level < perLevel.size(); ++level) {
        const size_t k = perLevel[level];
        const size_t first = end - k;
        std::vector<uint8_t> upperKeys;
        std::vector<std::pair<uint16_t, int>> upper;
        size_t next = 0;
        for (size_t j = 0; j < k; ++j) {
            Block& b = *chain[first + j];
            const size_t n = entries.size() / k + (j < entries.size() % k ? 1 : 0);
            std::memset(index_.Record(b, 0), 0, static_cast<size_t>(cap) * rs);
            index_.SetCount(b, static_cast<int>(n));
            index_.TouchRecords(b, 0, cap);
            int sum = 0;
            for (size_t e = 0; e < n; ++e, ++next) {
                SetEntry(b, static_cast<int>(e), Bytes(keys.data() + next * keyBytes_, keyBytes_),
                         entries[next].first, entries[next].second);
                sum = std::min(sum + entries[next].second, kMaxCount);
            }
            const Bytes firstKey = Key(b, 0);
            upperKeys.insert(upperKeys.end(), firstKey.begin(), firstKey.end());
            upper.push_back({b.number, sum});
        }
        keys = std::move(upperKeys);
        entries = std::move(upper);
        end = first;
    }
    h.indexRoot = chain.front()->number;
    h.indexLevels = static_cast<uint8_t>(perLevel.size());
    h.firstBlock = chain.front()->number;
    h.lastBlock = chain.back()->number;
    h.recordCount = static_cast<uint32_t>(entryCount + total - 1);  // each block but the root
    index_.HeaderChanged();
}

void PrimaryIndex::RemoveEntry(Path& path, size_t depth) {
    FileHeader& h = index_.header();
    Block& b = *path[depth].block;
    const int e = path[depth].entry;
    const int n = index_.Count(b);
    const size_t rs = index_.recordSize();
    std::memmove(index_.Record(b, e), index_.Record(b, e + 1), (n - e - 1) * rs);
    std::memset(index_.Record(b, n - 1), 0, rs);
    index_.SetCount(b, n - 1);
    index_.TouchRecords(b, e, n);
    if (h.recordCount) --h.recordCount;
    index_.HeaderChanged();
    if (n - 1 > 0) {
        // The entries above this block take its new first key and count.
        Path prefix(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(depth) + 1);
        prefix.back().entry = 0;
        FixUp(prefix);
        return;
    }
    index_.Unlink(b);
    index_.Release(b);
    if (depth == 0) {
        h.indexRoot = 0;
        h.indexLevels = 0;
        return;
    }
    RemoveEntry(path, depth - 1);
}

void PrimaryIndex::Remove(Path& path) {
    RemoveEntry(path, path.size() - 1);
}

void PrimaryIndex::ForEachLevel1(
    const std::function<void(Bytes key, uint16_t block, int count)>& visit) {
    if (empty()) return;
    // Level-1 blocks are the tail of the chain: start from the leftmost path.
    BlockPtr b = index_.Get(index_.header().indexRoot);
    for (int level = levels(); level > 1; --level) b = index_.Get(Child(*b, 0));
    for (size_t guard = 0; b; ++guard) {
        if (guard > index_.header().blocksInFile)
            Corrupt(index_.where(), "the index block chain has a cycle");
        const int n = index_.Count(*b);
        for (int i = 0; i < n; ++i) visit(Key(*b, i), Child(*b, i), EntryCount(*b, i));
        b = b->next() ? index_.Get(b->next()) : nullptr;
    }
}

std::vector<PrimaryIndex::Level1Entry> PrimaryIndex::Verify(
    const std::function<void(const std::string&)>& problem) {
    std::vector<Level1Entry> out;
    const FileHeader& h = index_.header();
    if (empty()) {
        if (h.recordCount != 0) problem(index_.where() + ": empty index counts entries");
        return out;
    }
    std::set<uint16_t> seen;
    std::vector<uint16_t> chainExpected;  // breadth first: root, then each level left to right
    uint32_t entries = 0;
    std::function<int(uint16_t, int, const uint8_t*)> walk;
    std::vector<std::vector<uint16_t>> byLevel(levels() + 1);
    walk = [&](uint16_t n, int level, const uint8_t* expectedFirst) -> int {
        const std::string where = index_.where() + ": block " + std::to_string(n);
        if (!seen.insert(n).second) {
            problem(where + " is reached twice");
            return 0;
        }
        BlockPtr b = index_.Get(n);
        byLevel[level].push_back(n);
        const int count = index_.Count(*b);
        if (count == 0) {
            problem(where + " is empty");
            return 0;
        }
        entries += count;
        if (expectedFirst && std::memcmp(expectedFirst, Key(*b, 0).data(), keyBytes_) != 0)
            problem(where + ": first key differs from its entry above");
        int sum = 0;
        for (int i = 0; i < count; ++i) {
            if (i > 0 && order_.Compare(Key(*b, i - 1), Key(*b, i)) >= 0)
                problem(where + ": entries " + std::to_string(i - 1) + " and " + std::to_string(i) +
                        " out of key order");
            const int c = EntryCount(*b, i);
            if (level == 1) {
                out.push_back(
                    {std::vector<uint8_t>(Key(*b, i).begin(), Key(*b, i).end()), Child(*b, i), c});
            } else {
                const uint16_t child = Child(*b, i);
                if (child == 0 || child > h.blocksInFile) {
                    problem(where + ": entry " + std::to_string(i) + " points outside the file");
                    continue;
                }
                const int below = walk(child, level - 1, index_.Record(*b, i));
                if (std::min(below, kMaxCount) != c)
                    problem(where + ": entry " + std::to_string(i) + " counts " +
                            std::to_string(c) + " records, its block holds " +
                            std::to_string(below));
            }
            sum += c;
        }
        return sum;
    };
    walk(h.indexRoot, levels(), nullptr);
    if (entries != h.recordCount)
        problem(index_.where() + ": header counts " + std::to_string(h.recordCount) +
                " entries, the tree holds " + std::to_string(entries));
    for (int level = levels(); level >= 1; --level)
        for (uint16_t n : byLevel[level]) chainExpected.push_back(n);
    std::vector<uint16_t> chain;
    for (uint16_t n = h.firstBlock, prev = 0; n; n = index_.Get(n)->next()) {
        if (chain.size() > h.blocksInFile) {
            problem(index_.where() + ": the block chain has a cycle");
            break;
        }
        if (index_.Get(n)->prev() != prev)
            problem(index_.where() + ": block " + std::to_string(n) + " links back to " +
                    std::to_string(index_.Get(n)->prev()) + " instead of " + std::to_string(prev));
        chain.push_back(n);
        prev = n;
    }
    // This engine chains the root first, then each level in key order (what pxlib expects);
    // other writers may order the chain otherwise, so only its contents are required: every
    // block of the tree, once.
    std::vector<uint16_t> sortedChain = chain, sortedTree = chainExpected;
    std::sort(sortedChain.begin(), sortedChain.end());
    std::sort(sortedTree.begin(), sortedTree.end());
    if (sortedChain != sortedTree)
        problem(index_.where() + ": the block chain does not hold exactly the blocks of the tree");
    if (!chain.empty() && chain.back() != h.lastBlock)
        problem(index_.where() + ": header's last block is not the end of the chain");
    if (h.blocksInUse != chain.size())
        problem(index_.where() + ": header counts " + std::to_string(h.blocksInUse) +
                " blocks in use, the chain has " + std::to_string(chain.size()));
    return out;
}

}  // namespace pq::paradox
