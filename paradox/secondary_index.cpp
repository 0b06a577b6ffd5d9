#include "paradox/secondary_index.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/format.h"
#include "paradox/key_order.h"
#include "paradox/path_names.h"
#include "paradox/primary_index.h"
#include "paradox/recent_reads.h"
#include "paradox/secondary_layout.h"

namespace pq::paradox {

namespace f = format;

namespace {

// The extension's three letters after the dot when `name` is a secondary index file of the
// table named `base` (lower case): x or y, then two digits or g and a hexadecimal digit.
std::optional<std::string> IndexExtension(const std::string& name, const std::string& base) {
    const std::string lower = LowerAscii(name);
    if (lower.size() != base.size() + 4 || lower.compare(0, base.size(), base) != 0 ||
        lower[base.size()] != '.')
        return std::nullopt;
    const std::string ext = lower.substr(base.size() + 1);
    const bool xy = ext[0] == 'x' || ext[0] == 'y';
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    const bool tail = (digit(ext[1]) && digit(ext[2])) ||
                      (ext[1] == 'g' && std::isxdigit(static_cast<unsigned char>(ext[2])));
    if (!xy || !tail) return std::nullopt;
    return ext;
}

void EncodeU16Field(uint8_t* p, uint16_t v) {
    const uint16_t raw = static_cast<uint16_t>(v ^ 0x8000);
    p[0] = static_cast<uint8_t>(raw >> 8);
    p[1] = static_cast<uint8_t>(raw);
}

// Calls `visit` with every record of the table and its data block, in chain order.
void ForEachRecord(BlockFile& db, const std::function<void(const uint8_t*, uint16_t)>& visit) {
    uint32_t guard = 0;
    BlockFile::ReadAhead ahead(db);
    for (uint16_t b = db.header().firstBlock; b != 0;) {
        if (++guard > db.header().blocksInFile)
            Corrupt(db.where(), "the block chain has a cycle at block " + std::to_string(b));
        BlockPtr blk = db.Peek(b);
        const int n = db.Count(*blk);
        for (int s = 0; s < n; ++s) visit(db.Record(*blk, s), b);
        b = blk->next();
        db.Done(std::move(blk));
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------

// One index: its records file and, when maintained, the tree over it.
class SecondaryIndex {
  public:
    SecondaryIndex(FileSystem& fs, const std::string& xPath, const std::string& yPath,
                   const FileHeader& table, bool forWriting);

    const std::string& file() const { return xPath_; }
    bool maintained() const { return maintained_; }
    const std::string& refusal() const { return refusal_; }
    void Refuse(const std::string& why) {
        if (refusal_.empty()) refusal_ = why;
    }
    SecondaryIndexInfo Describe() const {
        SecondaryIndexInfo i;
        i.file = FileName(xPath_);
        i.fileType = layout_.fileType;
        i.maintained = maintained_;
        i.name = layout_.name;
        i.fields = layout_.names;
        if (maintained_) i.refusal = refusal_;
        return i;
    }
    // Whether the entries' order is the byte order this engine keeps.
    bool OrderKnown() const { return known_; }
    // Whether its entries are laid out as this engine makes them (their order aside), so that
    // a rebuild can be compared with them.
    bool Comparable() const { return comparable_; }

    // The entry of a table record stored at `block`.
    std::vector<uint8_t> EntryFor(const uint8_t* rec, uint16_t block) const {
        std::vector<uint8_t> e(entryBytes_);
        size_t at = 0;
        for (size_t i : layout_.fields) {
            std::memcpy(e.data() + at, rec + offset_[i], size_[i]);
            at += size_[i];
        }
        std::memcpy(e.data() + at, rec, tableKeyBytes_);
        EncodeU16Field(e.data() + keyBytes_, block);
        return e;
    }

    void Insert(const std::vector<uint8_t>& entry);
    void Erase(const std::vector<uint8_t>& entry);
    void SetBlock(const std::vector<uint8_t>& entry);

    void Flush(WriteBatch& batch) {
        x_->Flush(batch);
        y_->Flush(batch);
    }
    void DropCache() {
        if (x_) x_->DropCache();
        if (y_) y_->DropCache();
    }
    size_t MemoryBytes() const {
        if (!x_) return 0;
        return x_->CachedBlocks() * x_->blockSize() +
               y_->blocks().CachedBlocks() * y_->blocks().blockSize();
    }

    // The records file's entries in chain order, with its structure checked (blocks, counts,
    // order when known, the tree against the blocks).
    std::vector<std::vector<uint8_t>> Walk(const std::function<void(const std::string&)>& problem);

    bool readable() const { return x_ != nullptr; }

  private:
    int Lower(const Block& b, Bytes key) const;
    std::vector<uint8_t> FirstKey(const Block& b) const {
        const uint8_t* r = x_->Record(b, 0);
        return std::vector<uint8_t>(r, r + keyBytes_);
    }
    // The block and slot of an entry that must be there.
    std::pair<PrimaryIndex::Path, int> Find(Bytes key, BlockPtr& block);

    std::string xPath_, yPath_;
    SecondaryLayout layout_;
    bool maintained_ = false;
    bool known_ = false;
    bool comparable_ = false;
    std::string refusal_;
    std::unique_ptr<File> xFile_, yFile_;
    std::unique_ptr<BlockFile> x_;
    std::unique_ptr<PrimaryIndex> y_;
    std::vector<size_t> offset_;  // the table's fields in a record
    std::vector<size_t> size_;
    size_t tableKeyBytes_ = 0;
    size_t keyBytes_ = 0;    // of an entry, without its block number
    size_t entryBytes_ = 0;  // with it
};

SecondaryIndex::SecondaryIndex(FileSystem& fs, const std::string& xPath, const std::string& yPath,
                               const FileHeader& table, bool forWriting)
    : xPath_(xPath), yPath_(yPath) {
    for (const Field& fd : table.fields) {
        offset_.push_back(offset_.empty() ? 0 : offset_.back() + size_.back());
        size_.push_back(fd.RecordBytes());
    }
    for (int i = 0; i < table.keyFieldCount; ++i) tableKeyBytes_ += size_[i];
    const OpenMode mode = forWriting ? OpenMode::kReadWrite : OpenMode::kRead;
    auto open = [&](const std::string& p) {
        auto file = fs.Open(p, mode);
        return forWriting ? RecentReadsFile(std::move(file)) : std::move(file);
    };
    try {
        xFile_ = open(xPath_);
        FileHeader xh = ReadFileHeader(*xFile_, xPath_, HeaderKind::kSecondaryRecords);
        layout_ = ReadSecondaryLayout(xh, table, xPath_);
        maintained_ = xh.fileType == f::kFileSecondary || xh.fileType == f::kFileComposite;
        if (!maintained_) return;
        refusal_ = layout_.refusal.empty() ? layout_.sortRefusal : layout_.refusal;
        for (size_t i : layout_.fields) keyBytes_ += size_[i];
        keyBytes_ += tableKeyBytes_;
        entryBytes_ = keyBytes_ + kSecondaryBlockFieldBytes;
        known_ = refusal_.empty();
        comparable_ = layout_.refusal.empty();
        if (xh.recordSize != entryBytes_) {
            Refuse("its entries are not laid out as the table's fields make them");
            return;
        }
        if (yPath_.empty()) {
            Refuse("its tree file (." + std::string(xh.fileType == f::kFileSecondary ? "Y" : "YG") +
                   ") is missing");
            return;
        }
        yFile_ = open(yPath_);
        FileHeader yh = ReadFileHeader(*yFile_, yPath_, HeaderKind::kSecondaryTree);
        Refuse(CheckSecondaryTreeHeader(yh, xh));
        if (yh.indexLevels == 0) yh.indexRoot = 0;  // an empty tree names block 1 as its root
        const uint32_t xBlocks = std::max<uint32_t>(64, (4u << 20) / xh.BlockSize());
        std::vector<Field> keyFields(xh.fields.begin(), xh.fields.end() - 1);
        KeyOrder order(std::move(keyFields), 0, table.codePage);
        x_ = std::make_unique<BlockFile>(*xFile_, std::move(xh), xPath_, std::nullopt, xBlocks);
        y_ = std::make_unique<PrimaryIndex>(*yFile_, std::move(yh), yPath_, order);
    } catch (const std::exception& e) {
        maintained_ = maintained_ || layout_.fileType == 0;
        Refuse(std::string("it cannot be read: ") + e.what());
        x_.reset();
        y_.reset();
    }
}

int SecondaryIndex::Lower(const Block& b, Bytes key) const {
    int lo = 0, hi = x_->Count(b);
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (std::memcmp(x_->Record(b, mid), key.data(), keyBytes_) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::pair<PrimaryIndex::Path, int> SecondaryIndex::Find(Bytes key, BlockPtr& block) {
    if (!y_->empty()) {
        PrimaryIndex::Path p = y_->FindBlock(key);
        block = x_->Get(y_->DataBlock(p));
        const int s = Lower(*block, key);
        if (s < x_->Count(*block) && std::memcmp(x_->Record(*block, s), key.data(), keyBytes_) == 0)
            return {std::move(p), s};
    }
    Corrupt(xPath_, "has no entry for a record of the table");
}

void SecondaryIndex::Insert(const std::vector<uint8_t>& entry) {
    const Bytes key(entry.data(), keyBytes_);
    const size_t rs = entryBytes_;
    const int cap = x_->capacity();
    FileHeader& h = x_->header();
    ++h.recordCount;
    x_->HeaderChanged();
    if (y_->empty()) {
        BlockPtr b = x_->Allocate();
        h.firstBlock = h.lastBlock = b->number;
        std::memcpy(x_->Record(*b, 0), entry.data(), rs);
        x_->SetCount(*b, 1);
        y_->Start(b->number, key, 1);
        return;
    }
    PrimaryIndex::Path p = y_->FindBlock(key);
    BlockPtr bp = x_->Get(y_->DataBlock(p));
    Block& b = *bp;
    const int n = x_->Count(b);
    if (n == 0) Corrupt(xPath_ + ": block " + std::to_string(b.number), "empty block in the chain");
    const int s = Lower(b, key);
    if (s < n && std::memcmp(x_->Record(b, s), key.data(), keyBytes_) == 0)
        Corrupt(xPath_, "already holds the entry of a record being added");
    if (n < cap) {
        x_->InsertRecord(b, s, entry.data());
        y_->Update(p, FirstKey(b), n + 1);
        return;
    }
    const bool pastLast = b.next() == 0 && s == n;
    BlockPtr y = x_->Allocate();
    x_->LinkAfter(b, *y);
    if (pastLast) {
        // After the last entry: a new block, the full one stays full.
        std::memcpy(x_->Record(*y, 0), entry.data(), rs);
        x_->SetCount(*y, 1);
        y_->InsertAfter(p, y->number, key, 1);
        return;
    }
    // Split: the lower half stays, the upper half moves to the new block.
    x_->SplitInsert(b, *y, s, entry.data());
    y_->Update(p, FirstKey(b), x_->Count(b));
    y_->InsertAfter(p, y->number, FirstKey(*y), x_->Count(*y));
}

void SecondaryIndex::Erase(const std::vector<uint8_t>& entry) {
    const Bytes key(entry.data(), keyBytes_);
    BlockPtr bp;
    auto [p, s] = Find(key, bp);
    Block& b = *bp;
    const uint16_t x = b.number;
    const int n = x_->Count(b);
    const size_t rs = entryBytes_;
    FileHeader& h = x_->header();
    std::memmove(x_->Record(b, s), x_->Record(b, s + 1), (n - s - 1) * rs);
    std::memset(x_->Record(b, n - 1), 0, rs);
    x_->SetCount(b, n - 1);
    x_->TouchRecords(b, s, n);
    --h.recordCount;
    x_->HeaderChanged();
    if (n - 1 > 0) {
        y_->Update(p, FirstKey(b), n - 1);
        return;
    }
    if (b.prev() == 0 && b.next() != 0) {
        // The first block stays first: it takes the next block's entries.
        BlockPtr nb = x_->Get(b.next());
        const int m = x_->Count(*nb);
        std::memcpy(x_->Record(b, 0), x_->Record(*nb, 0), m * rs);
        x_->SetCount(b, m);
        x_->TouchRecords(b, 0, m);
        const std::vector<uint8_t> nextKey = FirstKey(*nb);
        const uint16_t after = nb->next();
        x_->SetNext(b, after);
        if (after)
            x_->SetPrev(*x_->Get(after), x);
        else
            h.lastBlock = x;
        x_->Release(*nb);
        x_->HeaderChanged();
        y_->Update(p, nextKey, m);
        PrimaryIndex::Path pn = y_->FindBlock(nextKey);
        if (y_->DataBlock(pn) != nb->number)
            Corrupt(yPath_, "no entry for block " + std::to_string(nb->number));
        y_->Remove(pn);
        return;
    }
    x_->Unlink(b);
    x_->Release(b);
    y_->Remove(p);
}

void SecondaryIndex::SetBlock(const std::vector<uint8_t>& entry) {
    BlockPtr b;
    const int s = Find(Bytes(entry.data(), keyBytes_), b).second;
    std::memcpy(x_->Record(*b, s) + keyBytes_, entry.data() + keyBytes_, kSecondaryBlockFieldBytes);
    x_->TouchRecords(*b, s, s + 1);
}

std::vector<std::vector<uint8_t>> SecondaryIndex::Walk(
    const std::function<void(const std::string&)>& problem) {
    std::vector<std::vector<uint8_t>> out;
    const FileHeader& h = x_->header();
    struct Seen {
        uint16_t block;
        std::vector<uint8_t> firstKey;
        int count;
    };
    std::vector<Seen> chain;
    std::vector<uint8_t> inChain(size_t{h.blocksInFile} + 1, 0);
    const uint64_t expected = h.headerSize + uint64_t{h.blocksInFile} * x_->blockSize();
    if (x_->file().Size() != expected)
        problem(xPath_ + ": the file has " + std::to_string(x_->file().Size()) +
                " bytes, its header accounts for " + std::to_string(expected));
    try {
        uint16_t prev = 0;
        for (uint16_t b = h.firstBlock; b != 0;) {
            const std::string where = xPath_ + ": block " + std::to_string(b);
            if (inChain[b]) {
                problem(where + " appears twice in the block chain");
                break;
            }
            inChain[b] = 1;
            BlockPtr blk = x_->Get(b);
            if (blk->prev() != prev) problem(where + " links back to the wrong block");
            const int n = x_->Count(*blk);
            if (n == 0) problem(where + " is empty but in the chain");
            chain.push_back({b, n ? FirstKey(*blk) : std::vector<uint8_t>(), n});
            for (int s = 0; s < n; ++s) {
                const uint8_t* e = x_->Record(*blk, s);
                if (known_ && !out.empty() && std::memcmp(out.back().data(), e, keyBytes_) >= 0)
                    problem(where + ", entry " + std::to_string(s) + ": out of order");
                out.emplace_back(e, e + entryBytes_);
            }
            prev = b;
            b = blk->next();
        }
        if (!chain.empty() && chain.back().block != h.lastBlock)
            problem(xPath_ + ": the header's last block is not the end of the chain");
    } catch (const CorruptError& e) {
        problem(e.what());
    }
    if (out.size() != h.recordCount)
        problem(xPath_ + ": the header counts " + std::to_string(h.recordCount) +
                " entries, the blocks hold " + std::to_string(out.size()));
    if (h.blocksInUse != chain.size())
        problem(xPath_ + ": the header counts " + std::to_string(h.blocksInUse) +
                " blocks in use, the chain has " + std::to_string(chain.size()));
    try {
        size_t freeBlocks = 0;
        for (uint16_t b = h.firstFreeBlock; b != 0; ++freeBlocks) {
            if (b > h.blocksInFile || inChain[b] || freeBlocks > h.blocksInFile) {
                problem(xPath_ + ": the free list is broken at block " + std::to_string(b));
                break;
            }
            std::vector<uint8_t> head(f::kBlockHeader);
            x_->file().ReadAt(h.headerSize + uint64_t{b - 1u} * x_->blockSize(), head.data(),
                              head.size());
            b = GetU16(head, f::kBlockNext);
        }
        if (chain.size() + freeBlocks != h.blocksInFile)
            problem(xPath_ + ": some blocks are neither in the chain nor free");
    } catch (const std::exception& e) {
        problem(xPath_ + ": free list: " + e.what());
    }
    try {
        const uint64_t yExpected = y_->header().headerSize +
                                   uint64_t{y_->header().blocksInFile} * y_->blocks().blockSize();
        if (yFile_->Size() != yExpected)
            problem(yPath_ + ": the file has " + std::to_string(yFile_->Size()) +
                    " bytes, its header accounts for " + std::to_string(yExpected));
        const auto level1 = y_->Verify(problem);
        if (level1.size() != chain.size()) {
            problem(yPath_ + ": " + std::to_string(level1.size()) + " entries at level 1 for " +
                    std::to_string(chain.size()) + " blocks of " + FileName(xPath_));
        } else {
            for (size_t i = 0; i < chain.size(); ++i)
                if (level1[i].block != chain[i].block || level1[i].count != chain[i].count ||
                    level1[i].key != chain[i].firstKey)
                    problem(yPath_ + ": level 1 entry " + std::to_string(i) +
                            " differs from block " + std::to_string(chain[i].block) + " of " +
                            FileName(xPath_));
        }
    } catch (const CorruptError& e) {
        problem(e.what());
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

SecondaryIndexes::SecondaryIndexes(FileSystem& fs, const std::string& dbPath,
                                   const FileHeader& table, bool forWriting)
    : fs_(fs), dbPath_(dbPath), table_(table), forWriting_(forWriting) {
    const std::string folder = FolderOf(dbPath);
    const std::string base = LowerAscii(BaseName(dbPath));
    std::vector<std::pair<std::string, std::string>> found;  // extension, name
    for (const std::string& name :
         fs.List(folder.empty() ? "." : folder.substr(0, folder.size() - 1)))
        if (auto ext = IndexExtension(name, base)) found.push_back({*ext, name});
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    for (const auto& [ext, name] : found) files_.push_back(name);
    for (const auto& [ext, name] : found) {
        if (ext[0] != 'x') continue;
        std::string tree;
        for (const auto& [e2, n2] : found)
            if (e2[0] == 'y' && e2.compare(1, 2, ext, 1, 2) == 0) tree = folder + n2;
        indexes_.push_back(
            std::make_unique<SecondaryIndex>(fs, folder + name, tree, table, forWriting));
        if (indexes_.back()->maintained()) kept_.push_back(indexes_.back().get());
    }
    for (const auto& [ext, name] : found) {
        if (ext[0] != 'y') continue;
        bool paired = false;
        for (const auto& [e2, n2] : found)
            paired |= e2[0] == 'x' && e2.compare(1, 2, ext, 1, 2) == 0;
        if (!paired && stray_.empty())
            stray_ = folder + name + ": an index tree without its records file";
    }
    refusal_ = FileName(stray_);
    for (SecondaryIndex* i : kept_)
        if (!i->refusal().empty() && refusal_.empty())
            refusal_ = FileName(i->file()) + ": " + i->refusal();
}

SecondaryIndexes::~SecondaryIndexes() = default;

std::vector<SecondaryIndexInfo> SecondaryIndexes::Describe() const {
    std::vector<SecondaryIndexInfo> out;
    for (const auto& i : indexes_) out.push_back(i->Describe());
    return out;
}

void SecondaryIndexes::RequireKept(const std::string& tablePath, uint32_t tableRecords) {
    if (!verified_ && refusal_.empty()) {
        verified_ = true;
        for (SecondaryIndex* i : kept_) {
            std::string first;
            const auto entries = i->Walk([&](const std::string& p) {
                if (first.empty()) first = p;
            });
            if (first.empty() && entries.size() != tableRecords)
                first = i->file() + ": " + std::to_string(entries.size()) + " entries for " +
                        std::to_string(tableRecords) + " records";
            if (!first.empty()) {
                i->Refuse(first);
                refusal_ = first;
                break;
            }
        }
    }
    if (!refusal_.empty())
        throw Error(tablePath + ": its secondary index cannot be kept (" + refusal_ +
                    "); the table can be read but not changed");
}

void SecondaryIndexes::Add(const uint8_t* rec, uint16_t block) {
    for (SecondaryIndex* i : kept_) i->Insert(i->EntryFor(rec, block));
}

void SecondaryIndexes::Remove(const uint8_t* rec) {
    for (SecondaryIndex* i : kept_) i->Erase(i->EntryFor(rec, 0));
}

void SecondaryIndexes::Move(const uint8_t* rec, uint16_t toBlock) {
    for (SecondaryIndex* i : kept_) i->SetBlock(i->EntryFor(rec, toBlock));
}

void SecondaryIndexes::Replace(const uint8_t* before, const uint8_t* after, uint16_t block) {
    for (SecondaryIndex* i : kept_) {
        std::vector<uint8_t> old = i->EntryFor(before, block), now = i->EntryFor(after, block);
        if (old == now) continue;
        i->Erase(old);
        i->Insert(now);
    }
}

void SecondaryIndexes::Flush(WriteBatch& batch) {
    for (SecondaryIndex* i : kept_) i->Flush(batch);
}

void SecondaryIndexes::DropCache() {
    for (SecondaryIndex* i : kept_) i->DropCache();
}

void SecondaryIndexes::Check(BlockFile& db,
                             const std::function<void(const std::string&)>& problem) {
    if (!stray_.empty()) problem(stray_);
    std::vector<SecondaryIndex*> readable;
    for (SecondaryIndex* i : kept_) {
        if (!i->readable())
            problem(i->file() + ": " + i->refusal());
        else if (i->Comparable())
            readable.push_back(i);
    }
    if (readable.empty()) return;
    std::vector<std::vector<std::vector<uint8_t>>> expected(readable.size());
    try {
        ForEachRecord(db, [&](const uint8_t* rec, uint16_t block) {
            for (size_t k = 0; k < readable.size(); ++k)
                expected[k].push_back(readable[k]->EntryFor(rec, block));
        });
    } catch (const CorruptError& e) {
        problem(e.what());
        return;
    }
    for (size_t k = 0; k < readable.size(); ++k) {
        SecondaryIndex& i = *readable[k];
        std::vector<std::vector<uint8_t>> have = i.Walk(problem);
        // Entries are unique by all fields but the block number, so sorting whole entries
        // gives the index's order.
        std::sort(expected[k].begin(), expected[k].end());
        if (!i.OrderKnown()) std::sort(have.begin(), have.end());
        if (have.size() != expected[k].size()) {
            problem(i.file() + ": " + std::to_string(have.size()) + " entries, a rebuild from " +
                    FileName(dbPath_) + " gives " + std::to_string(expected[k].size()));
            continue;
        }
        size_t wrong = 0, first = 0;
        for (size_t e = 0; e < have.size(); ++e)
            if (have[e] != expected[k][e] && wrong++ == 0) first = e;
        if (wrong)
            problem(i.file() + ": " + std::to_string(wrong) +
                    " entries differ from a rebuild, the first at position " +
                    std::to_string(first));
    }
}

void SecondaryIndexes::Create(const std::vector<size_t>& fields, const std::string& name,
                              BlockFile& db, uint32_t treeBlockSize) {
    const FileHeader& t = table_;
    const std::string where = dbPath_;
    auto fail = [&](const std::string& why) {
        throw Error(where + ": cannot make a secondary index: " + why);
    };
    if (!forWriting_) fail("the table is open for reading only");
    if (t.keyFieldCount == 0) fail("the table has no primary key");
    if (t.encryptionKey != 0) fail("the table is encrypted");
    if (fields.empty() || fields.size() > kMaxSecondaryFields) fail("an index has 1 to 16 fields");
    if (name.empty() && fields.size() > 1) fail("an index on several fields needs a name");
    if (fields.front() == 0) fail("its first field is the first field of the primary key");
    const std::string sortName = SortOrderName(t, where);
    for (size_t i : fields) {
        if (i >= t.fields.size()) fail("no field number " + std::to_string(i + 1));
        const Field& fd = t.fields[i];
        if (IsBlobType(fd.type) || fd.type == FieldType::kBytes)
            fail("field '" + fd.name + "' is a " + TypeName(fd.type) + " field");
        if (fd.type == FieldType::kAlpha && sortName != "ascii")
            fail("alpha fields are kept only under the 'ascii' sort order");
    }
    const std::string folder = FolderOf(dbPath_);
    const std::string base = BaseName(dbPath_);
    const std::string dbExt = dbPath_.substr(dbPath_.find_last_of('.') + 1);
    const bool lower =
        std::none_of(dbExt.begin(), dbExt.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    auto named = [&](char kind, const std::string& tail) {
        std::string ext = std::string(1, kind) + tail;
        return base + "." + (lower ? LowerAscii(ext) : ext);
    };
    std::string tail;
    if (name.empty()) {
        if (fields.front() + 1 > 9)
            fail("an unnamed index takes one of the first nine fields; give it a name");
        tail = "0" + std::to_string(fields.front() + 1);
    } else {
        for (int n = 0; n < 16 && tail.empty(); ++n) {
            const std::string candidate = std::string("G") + "0123456789ABCDEF"[n];
            bool taken = false;
            for (const std::string& file : files_)
                taken |= LowerAscii(file.substr(file.size() - 2)) == LowerAscii(candidate);
            if (!taken) tail = candidate;
        }
        if (tail.empty()) fail("the table has sixteen composite indexes already");
        for (const auto& i : indexes_)
            if (LowerAscii(i->Describe().name) == LowerAscii(name))
                fail("an index named '" + name + "' exists");
    }
    const std::string xName = named('X', tail), yName = named('Y', tail);
    for (const std::string& file : files_)
        if (LowerAscii(file) == LowerAscii(xName) || LowerAscii(file) == LowerAscii(yName))
            fail(file + " exists");
    const std::vector<uint8_t> xh =
        BuildSecondaryRecordsHeader(t, where, fields, name, xName, t.BlockSize());
    const std::vector<uint8_t> yh =
        BuildSecondaryTreeHeader(t, fields, name, yName, treeBlockSize, xh);
    fs_.Open(folder + yName, OpenMode::kCreate)->WriteAt(0, yh.data(), yh.size());
    fs_.Open(folder + xName, OpenMode::kCreate)->WriteAt(0, xh.data(), xh.size());
    auto index = std::make_unique<SecondaryIndex>(fs_, folder + xName, folder + yName, t, true);
    if (!index->refusal().empty())
        throw Error(folder + xName + ": internal error: a new index is refused (" +
                    index->refusal() + ")");
    std::vector<std::vector<uint8_t>> entries;
    ForEachRecord(db, [&](const uint8_t* rec, uint16_t block) {
        entries.push_back(index->EntryFor(rec, block));
    });
    std::sort(entries.begin(), entries.end());
    WriteBatch batch;
    for (size_t n = 0; n < entries.size(); ++n) {
        index->Insert(entries[n]);
        if (n % 512 == 511) {
            index->Flush(batch);
            batch.Apply();
        }
    }
    index->Flush(batch);
    batch.Apply();
    files_.push_back(xName);
    files_.push_back(yName);
    std::sort(files_.begin(), files_.end());
    kept_.push_back(index.get());
    indexes_.push_back(std::move(index));
}

size_t SecondaryIndexes::MemoryBytes() const {
    size_t n = 0;
    for (SecondaryIndex* i : kept_) n += i->MemoryBytes();
    return n;
}

}  // namespace pq::paradox
