#include "paradox/table.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

#include "base/text.h"
#include "paradox/blob_file.h"
#include "paradox/block_file.h"
#include "paradox/crypt.h"
#include "paradox/error.h"
#include "paradox/field_codec.h"
#include "paradox/field_index.h"
#include "paradox/format.h"
#include "paradox/graphic.h"
#include "paradox/header.h"
#include "paradox/journal.h"
#include "paradox/key_order.h"
#include "paradox/path_names.h"
#include "paradox/primary_index.h"
#include "paradox/recent_reads.h"
#include "paradox/secondary_index.h"
#include "paradox/validity.h"
#include "paradox/write_batch.h"

namespace pq::paradox {

namespace fmt = format;

namespace {

// Data blocks kept in memory: about 16 MiB, at least 64 blocks.
size_t DataCacheBlocks(uint32_t blockSize) {
    return std::max<size_t>(64, (16u << 20) / blockSize);
}

struct PathParts {
    std::string folder;  // with its trailing separator, or empty
    std::string base;    // file name without extension
    std::string ext;     // extension without the dot
};

PathParts SplitPath(const std::string& path) {
    PathParts p;
    const size_t slash = path.find_last_of("/\\");
    p.folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    p.base = dot == std::string::npos ? name : name.substr(0, dot);
    p.ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    return p;
}

// The file beside `dbPath` with the same base name and extension `ext`, found without regard to
// case; when none exists, the name to create (the extension in the case of the table's own).
std::optional<std::string> FindSibling(FileSystem& fs, const std::string& dbPath,
                                       const std::string& ext) {
    const PathParts p = SplitPath(dbPath);
    const std::string want = LowerAscii(p.base + "." + ext);
    for (const std::string& name :
         fs.List(p.folder.empty() ? "." : p.folder.substr(0, p.folder.size() - 1)))
        if (LowerAscii(name) == want) return p.folder + name;
    for (const std::string& e : {ext, LowerAscii(ext)}) {
        std::string upper = e;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        for (const std::string& candidate :
             {p.folder + p.base + "." + e, p.folder + p.base + "." + upper})
            if (fs.IsFile(candidate)) return candidate;
    }
    return std::nullopt;
}

std::string SiblingName(const std::string& dbPath, const std::string& upperExt) {
    const PathParts p = SplitPath(dbPath);
    const bool lower = !p.ext.empty() && std::all_of(p.ext.begin(), p.ext.end(), [](char c) {
        return !(c >= 'A' && c <= 'Z');
    });
    return p.folder + p.base + "." + (lower ? LowerAscii(upperExt) : upperExt);
}

}  // namespace

struct Table::Impl {
    FileSystem& fs;
    std::string path;
    bool readOnly = false;
    Schema schema;
    KeyOrder order;
    size_t keyBytes = 0;
    std::vector<size_t> offset;  // each field's offset in the record
    size_t recordSize = 0;
    std::optional<uint32_t> key;

    std::unique_ptr<Journal> journal;  // writable tables; outlives the files that use it
    std::unique_ptr<File> dbFile;
    std::unique_ptr<BlockFile> db;
    std::unique_ptr<File> pxFile;
    std::unique_ptr<PrimaryIndex> px;
    // A primary index rebuilt from the data because its file was missing: held in memory
    // until the first write puts it at pxRebuiltPath.
    std::unique_ptr<MemoryFileSystem> pxMemory;
    std::string pxRebuiltPath;
    std::string mbPath;
    std::unique_ptr<File> mbFile;
    std::unique_ptr<BlobFile> blobs;
    std::unique_ptr<SecondaryIndexes> secondaries;
    // The validity checks of the .VAL beside the table; validityProblem says why they could
    // not be read (writes are then refused).
    std::optional<Validity> validity;
    std::string validityFile;
    std::string validityProblem;
    bool codePageSupported = true;
    std::string broken;  // why writes stopped, when a write failed

    // Cursor.
    bool atEnd = true;
    uint16_t block = 0;
    int slot = 0;
    std::vector<uint8_t> current;
    uint32_t steps = 0;

    // Editing.
    State state = State::kBrowse;
    std::vector<uint8_t> edit;
    std::map<size_t, std::vector<uint8_t>> pendingBlobs;

    // In-memory indexes of non-key fields, and (unkeyed tables) each block's place in the chain.
    std::map<size_t, FieldIndex> fieldIndexes;
    std::vector<uint32_t> ordinal;
    uint32_t lastOrdinal = 0;

    explicit Impl(FileSystem& f) : fs(f) {}

    bool keyed() const { return schema.keyFieldCount > 0; }
    FileHeader& header() { return db->header(); }
    const Field& field(size_t i) const { return schema.fields[i]; }
    Bytes FieldBytes(const uint8_t* rec, size_t i) const {
        return Bytes(rec + offset[i], schema.fields[i].RecordBytes());
    }
    Bytes KeyOf(const uint8_t* rec) const { return Bytes(rec, keyBytes); }

    void CheckField(size_t i) const {
        if (i >= schema.fields.size())
            throw Error(path + ": field number " + std::to_string(i) + " out of range (" +
                        std::to_string(schema.fields.size()) + " fields)");
    }

    // The checks before a field is set; false for an auto-increment field of a new record,
    // which the engine assigns on Post.
    bool CheckSet(size_t i) const {
        if (state == State::kBrowse) throw Error(path + ": no record is being edited");
        CheckField(i);
        const Field& f = field(i);
        if (f.type != FieldType::kAutoInc) return true;
        if (state == State::kInsert) return false;
        throw Error(path + ": field '" + f.name +
                    "' is an auto-increment field; its value cannot be changed");
    }

    // ---- cursor ----
    void Position(uint16_t b, int s) {
        BlockPtr blk = db->Get(b);
        const int n = db->Count(*blk);
        if (s >= n) throw Error(path + ": internal error: position past a block's records");
        block = b;
        slot = s;
        current.assign(db->Record(*blk, s), db->Record(*blk, s) + recordSize);
        atEnd = false;
    }
    void Position(RecordLocation l) { Position(LocationBlock(l), LocationSlot(l)); }

    // From block b (and the blocks after it), the first record at or after slot s.
    void PositionFrom(uint16_t b, int s) {
        while (b != 0) {
            BlockPtr blk = db->Get(b);
            if (s < db->Count(*blk)) {
                Position(b, s);
                return;
            }
            if (++steps > header().blocksInFile)
                Corrupt(path, "the block chain has a cycle at block " + std::to_string(b));
            b = blk->next();
            s = 0;
        }
        atEnd = true;
    }

    void First() {
        steps = 0;
        PositionFrom(header().firstBlock, 0);
    }

    const uint8_t* CurrentRecord() const {
        if (state != State::kBrowse) return edit.data();
        if (atEnd) throw Error(path + ": no current record (at the end of the table)");
        return current.data();
    }

    // ---- blobs ----
    BlobFile& Blobs() {
        if (!blobs) throw Error(path + ": its blob file " + FileName(mbPath) + " is missing");
        return *blobs;
    }

    std::vector<uint8_t> StoredBlob(const uint8_t* rec, size_t i) {
        const Field& f = field(i);
        const Bytes fb = FieldBytes(rec, i);
        const BlobDescriptor d = DecodeBlobDescriptor(fb);
        if (d.length == 0) return {};
        if (d.offsetAndIndex == 0) {
            if (d.length > f.LeaderBytes())
                Corrupt(path, "field '" + f.name + "' holds " + std::to_string(d.length) +
                                  " bytes in a leader of " + std::to_string(f.LeaderBytes()));
            return std::vector<uint8_t>(fb.begin(), fb.begin() + d.length);
        }
        std::vector<uint8_t> stored = Blobs().Read(d.offsetAndIndex, d.length, d.modNumber);
        if (f.type == FieldType::kGraphic)
            return StripGraphicPrefix(std::move(stored),
                                      Blobs().Name() + " (field '" + f.name + "')");
        return stored;
    }

    // Writes the pending blob contents to the blob file and their pointers into `rec`; the
    // blobs they replace are added to `toFree` (freed once the record is saved).
    void WriteBlobs(std::vector<uint8_t>& rec, const uint8_t* original,
                    std::vector<uint32_t>& toFree) {
        for (const auto& [i, content] : pendingBlobs) {
            const Field& f = field(i);
            MutableBytes fb(rec.data() + offset[i], f.RecordBytes());
            const size_t leader = f.LeaderBytes();
            if (original) {
                const BlobDescriptor old = DecodeBlobDescriptor(FieldBytes(original, i));
                if (old.offsetAndIndex != 0 && old.length != 0)
                    toFree.push_back(old.offsetAndIndex);
            }
            std::fill(fb.begin(), fb.end(), 0);
            BlobDescriptor d;
            if (content.empty()) {
                // null: all zero
            } else if ((f.type == FieldType::kMemo || f.type == FieldType::kBinary) &&
                       content.size() <= leader) {
                std::memcpy(fb.data(), content.data(), content.size());
                d.length = static_cast<uint32_t>(content.size());
            } else {
                if (f.type == FieldType::kGraphic) {
                    const auto prefix = GraphicPrefix(content.size());
                    d = Blobs().Write(prefix, content);
                } else {
                    d = Blobs().Write(content);
                }
                std::memcpy(fb.data(), content.data(), std::min(leader, content.size()));
            }
            EncodeBlobDescriptor(d, fb);
        }
    }

    void FreeBlobs(const std::vector<uint32_t>& toFree) {
        for (uint32_t ref : toFree) Blobs().Free(ref);
    }

    // ---- in-memory field indexes ----
    void IndexAdd(const uint8_t* rec, RecordLocation l) {
        for (auto& [i, idx] : fieldIndexes) idx.Add(FieldIndex::Digest(FieldBytes(rec, i)), l);
        secondaries->Add(rec, LocationBlock(l));
    }
    void IndexRemove(const uint8_t* rec, RecordLocation l) {
        secondaries->Remove(rec);
        for (auto& [i, idx] : fieldIndexes)
            if (!idx.Remove(FieldIndex::Digest(FieldBytes(rec, i)), l))
                throw Error(path + ": internal error: field index lost a record");
    }
    void IndexMove(const uint8_t* rec, RecordLocation from, RecordLocation to) {
        if (LocationBlock(from) != LocationBlock(to)) secondaries->Move(rec, LocationBlock(to));
        for (auto& [i, idx] : fieldIndexes)
            if (!idx.Move(FieldIndex::Digest(FieldBytes(rec, i)), from, to))
                throw Error(path + ": internal error: field index lost a record");
    }
    void SetOrdinal(uint16_t b, uint32_t value) {
        if (ordinal.size() <= b) ordinal.resize(size_t{b} + 1, 0);
        ordinal[b] = value;
    }

    FieldIndex& EnsureIndex(size_t i) {
        auto it = fieldIndexes.find(i);
        if (it != fieldIndexes.end()) return it->second;
        FieldIndex idx;
        // The header's count sizes the table, bounded by what the blocks can hold.
        idx.Reserve(std::min<uint64_t>(header().recordCount,
                                       uint64_t{header().blocksInUse} * db->capacity()));
        ordinal.clear();
        lastOrdinal = 0;
        uint32_t guard = 0;
        BlockFile::ReadAhead ahead(*db);
        for (uint16_t b = header().firstBlock; b != 0;) {
            if (++guard > header().blocksInFile)
                Corrupt(path, "the block chain has a cycle at block " + std::to_string(b));
            BlockPtr blk = db->Peek(b);
            SetOrdinal(b, ++lastOrdinal);
            const int n = db->Count(*blk);
            for (int s = 0; s < n; ++s)
                idx.Add(FieldIndex::Digest(FieldBytes(db->Record(*blk, s), i)), MakeLocation(b, s));
            b = blk->next();
            db->Done(std::move(blk));
        }
        return fieldIndexes.emplace(i, std::move(idx)).first->second;
    }

    // True when location a comes before b in table order.
    bool Before(RecordLocation a, RecordLocation b) {
        if (LocationBlock(a) == LocationBlock(b)) return LocationSlot(a) < LocationSlot(b);
        if (keyed()) {
            BlockPtr ba = db->Get(LocationBlock(a));
            BlockPtr bb = db->Get(LocationBlock(b));
            return order.Compare(KeyOf(db->Record(*ba, LocationSlot(a))),
                                 KeyOf(db->Record(*bb, LocationSlot(b)))) < 0;
        }
        return ordinal[LocationBlock(a)] < ordinal[LocationBlock(b)];
    }

    // True when some record's field i holds exactly these bytes.
    bool HasEqual(size_t i, Bytes want) {
        FieldIndex& idx = EnsureIndex(i);
        const bool exact = FieldIndex::DigestIsExact(want.size());
        bool found = false;
        idx.Find(FieldIndex::Digest(want), [&](RecordLocation l) {
            if (found) return;
            BlockPtr blk = db->Get(LocationBlock(l));
            found = exact || (LocationSlot(l) < db->Count(*blk) &&
                              std::memcmp(FieldBytes(db->Record(*blk, LocationSlot(l)), i).data(),
                                          want.data(), want.size()) == 0);
        });
        return found;
    }

    bool FindFirstEqual(size_t i, const Value& v) {
        CheckField(i);
        const Field& f = field(i);
        if (IsBlobType(f.type))
            throw Error(path + ": field '" + f.name + "' is a blob field and cannot be searched");
        std::vector<uint8_t> want(f.RecordBytes());
        EncodeField(f, v, want, schema.codePage);
        FieldIndex& idx = EnsureIndex(i);
        const bool exact = FieldIndex::DigestIsExact(want.size());
        std::optional<RecordLocation> best;
        idx.Find(FieldIndex::Digest(want), [&](RecordLocation l) {
            if (!exact) {
                BlockPtr blk = db->Get(LocationBlock(l));
                if (LocationSlot(l) >= db->Count(*blk) ||
                    std::memcmp(FieldBytes(db->Record(*blk, LocationSlot(l)), i).data(),
                                want.data(), want.size()) != 0)
                    return;
            }
            if (!best || Before(l, *best)) best = l;
        });
        steps = 0;
        if (!best) {
            atEnd = true;
            return false;
        }
        Position(*best);
        return true;
    }

    // ---- keyed search ----
    // The first slot of a block whose key (first fieldCount fields) is not below `k`.
    int LowerBound(const Block& b, Bytes k, int fieldCount) const {
        int lo = 0, hi = db->Count(b);
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (order.Compare(KeyOf(db->Record(b, mid)), k, fieldCount) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    bool SeekKey(const std::vector<Value>& values) {
        if (!keyed()) throw Error(path + ": the table has no primary key");
        if (values.empty() || values.size() > static_cast<size_t>(schema.keyFieldCount))
            throw Error(path + ": a key search takes 1 to " + std::to_string(schema.keyFieldCount) +
                        " values");
        std::vector<uint8_t> k(keyBytes, 0);
        for (size_t i = 0; i < values.size(); ++i) {
            std::vector<uint8_t> fb(field(i).RecordBytes());
            EncodeField(field(i), values[i], fb, schema.codePage);
            std::memcpy(k.data() + offset[i], fb.data(), fb.size());
        }
        const int fc = static_cast<int>(values.size());
        steps = 0;
        atEnd = true;
        if (px->empty()) return false;
        PrimaryIndex::Path p = px->FindForKey(k, fc);
        const uint16_t b = px->DataBlock(p);
        BlockPtr blk = db->Get(b);
        PositionFrom(b, LowerBound(*blk, k, fc));
        if (!atEnd && order.Compare(KeyOf(current.data()), k, fc) == 0) return true;
        atEnd = true;
        // Tables sorted by a language order this engine only approximates: exact match by the
        // field index, so a search never misses a record that is there.
        if (!order.IsByteOrder() && fc == 1) return FindFirstEqual(0, values[0]);
        return false;
    }

    // ---- a missing primary index ----
    // Builds the index of the data blocks in memory. CorruptError when the records are not in
    // key order, which no index can describe.
    void RebuildIndex(const std::string& pxPath) {
        pxMemory = std::make_unique<MemoryFileSystem>();
        pxFile = pxMemory->Open("/rebuilt.px", OpenMode::kCreate);
        const std::vector<uint8_t> ph =
            BuildIndexHeader(schema, FileName(pxPath), schema.blockSize, header().raw);
        pxFile->WriteAt(0, ph.data(), ph.size());
        px = std::make_unique<PrimaryIndex>(*pxFile, ReadFileHeader(*pxFile, pxPath, true), pxPath,
                                            order);
        std::vector<uint8_t> previous, lastFirst;
        uint32_t guard = 0;
        for (uint16_t b = header().firstBlock; b != 0;) {
            if (++guard > header().blocksInFile)
                Corrupt(path, "the block chain has a cycle at block " + std::to_string(b));
            BlockPtr blk = db->Get(b);
            const int n = db->Count(*blk);
            if (n == 0) Corrupt(path + ": block " + std::to_string(b), "empty block in the chain");
            for (int i = 0; i < n; ++i) {
                const Bytes k = KeyOf(db->Record(*blk, i));
                if (!previous.empty() && order.Compare(previous, k) >= 0)
                    Corrupt(path + ": block " + std::to_string(b),
                            "records out of key order: its primary index " + FileName(pxPath) +
                                " is missing and cannot be rebuilt");
                previous.assign(k.begin(), k.end());
            }
            const std::vector<uint8_t> first = FirstKey(*blk);
            if (px->empty()) {
                px->Start(b, first, n);
            } else {
                PrimaryIndex::Path at = px->FindBlock(lastFirst);
                px->InsertAfter(at, b, first, n);
            }
            lastFirst = first;
            b = blk->next();
        }
        WriteBatch batch;
        px->Flush(batch);
        batch.Apply();
        pxRebuiltPath = pxPath;
    }

    // Writes a rebuilt index to its file, as a save of its own (undone as a whole, leaving an
    // empty file that the next open rebuilds again).
    void PersistIndex() {
        if (!pxMemory) return;
        auto file = fs.Open(pxRebuiltPath, OpenMode::kCreate);
        const std::vector<uint8_t> bytes = pxMemory->Bytes("/rebuilt.px");
        BeginSave();
        try {
            WriteBatch batch;
            batch.Add(*file, 0, bytes);
            batch.Apply(journal.get());
        } catch (const std::exception& e) {
            AbandonSave(e, false);
            throw;
        }
        EndSave();
        std::unique_ptr<File> real = RecentReadsFile(std::move(file));
        FileHeader h = ReadFileHeader(*real, pxRebuiltPath, true);
        px = std::make_unique<PrimaryIndex>(*real, std::move(h), pxRebuiltPath, order);
        pxFile = std::move(real);
        pxMemory.reset();
    }

    // ---- writing: structure ----
    void CheckWritable() {
        if (readOnly) throw Error(path + ": the table is open for reading only");
        if (!broken.empty())
            throw Error(path + ": an earlier write failed (" + broken +
                        "); reopen the table before writing");
        secondaries->RequireKept(path, header().recordCount);
        if (!codePageSupported)
            throw Error(path + ": code page " + std::to_string(schema.codePage) +
                        " is not supported for writing");
        if (!validityProblem.empty())
            throw Error(path + ": its validity checks cannot be read (" + validityProblem +
                        "); the table is not written");
    }

    // ---- validity checks ----
    void ReadValidity() {
        const auto val = FindSibling(fs, path, "VAL");
        if (!val) return;
        validityFile = *val;
        try {
            auto file = fs.Open(*val, OpenMode::kRead);
            std::vector<uint8_t> bytes(static_cast<size_t>(file->Size()));
            if (!bytes.empty()) file->ReadAt(0, bytes.data(), bytes.size());
            validity = ParseValidity(bytes, schema.fields, schema.codePage, *val);
        } catch (const Error& e) {
            validityProblem = e.what();
        }
    }

    // A new record starts with the fields' defaults.
    void ApplyDefaults() {
        if (!validity) return;
        for (size_t i = 0; i < schema.fields.size(); ++i) {
            const auto& d = validity->fields[i].defaultValue;
            if (d && !IsBlobType(field(i).type) && field(i).type != FieldType::kAutoInc)
                std::memcpy(edit.data() + offset[i], d->data(), d->size());
        }
    }

    // Before anything of a save is written: ValidityError when the record breaks a check.
    void CheckValidity(const std::vector<uint8_t>& rec) {
        if (!validity) return;
        std::vector<bool> isNull(schema.fields.size());
        for (size_t i = 0; i < schema.fields.size(); ++i) {
            if (!IsBlobType(field(i).type)) {
                isNull[i] = AllZero(FieldBytes(rec.data(), i));
                continue;
            }
            auto pending = pendingBlobs.find(i);
            isNull[i] = pending != pendingBlobs.end()
                            ? pending->second.empty()
                            : DecodeBlobDescriptor(FieldBytes(rec.data(), i)).length == 0;
        }
        CheckRecordValidity(*validity, schema.fields, offset, rec.data(), isNull, schema.codePage,
                            path);
    }

    void CountRecord(int delta) {
        header().recordCount =
            static_cast<uint32_t>(static_cast<int64_t>(header().recordCount) + delta);
        db->HeaderChanged();
    }

    struct Spot {
        PrimaryIndex::Path path;
        BlockPtr block;
        int slot = 0;
    };

    // Where a record with this key goes; KeyViolationError when the key is taken.
    std::optional<Spot> Locate(const std::vector<uint8_t>& rec) {
        if (px->empty()) return std::nullopt;
        const Bytes k = KeyOf(rec.data());
        Spot s;
        s.path = px->FindForKey(k, schema.keyFieldCount);
        s.block = db->Get(px->DataBlock(s.path));
        const int n = db->Count(*s.block);
        if (n == 0)
            Corrupt(path + ": block " + std::to_string(s.block->number),
                    "empty block in the chain");
        s.slot = LowerBound(*s.block, k, schema.keyFieldCount);
        const uint8_t* at = nullptr;
        if (s.slot < n) {
            at = db->Record(*s.block, s.slot);
        } else if (s.block->next()) {
            BlockPtr next = db->Get(s.block->next());
            if (db->Count(*next) > 0) at = db->Record(*next, 0);
        }
        // With a language order this engine only approximates, an equal key may sit elsewhere
        // than the search led: the field index finds it exactly.
        if ((at && order.Compare(KeyOf(at), k) == 0) ||
            (!order.IsByteOrder() && schema.keyFieldCount == 1 && HasEqual(0, k)))
            throw KeyViolationError(path + ": Key violation: a record with the same key exists");
        return s;
    }

    std::vector<uint8_t> FirstKey(const Block& b) const {
        const uint8_t* r = db->Record(b, 0);
        return std::vector<uint8_t>(r, r + keyBytes);
    }

    RecordLocation InsertKeyed(const std::vector<uint8_t>& rec, std::optional<Spot> spot) {
        const int cap = db->capacity();
        const size_t rs = recordSize;
        CountRecord(+1);
        if (!spot) {
            BlockPtr b = db->Allocate();
            header().firstBlock = header().lastBlock = b->number;
            std::memcpy(db->Record(*b, 0), rec.data(), rs);
            db->SetCount(*b, 1);
            px->Start(b->number, KeyOf(rec.data()), 1);
            const RecordLocation l = MakeLocation(b->number, 0);
            IndexAdd(rec.data(), l);
            return l;
        }
        Block& b = *spot->block;
        const uint16_t x = b.number;
        const int n = db->Count(b);
        const int s = spot->slot;
        if (n < cap) {
            for (int i = n - 1; i >= s; --i)
                IndexMove(db->Record(b, i), MakeLocation(x, i), MakeLocation(x, i + 1));
            db->InsertRecord(b, s, rec.data());
            IndexAdd(rec.data(), MakeLocation(x, s));
            px->Update(spot->path, FirstKey(b), n + 1);
            return MakeLocation(x, s);
        }
        BlockPtr y = db->Allocate();
        if (b.next() == 0 && s == n) {
            // Appending after the last record: a new block, the full one stays full.
            db->LinkAfter(b, *y);
            std::memcpy(db->Record(*y, 0), rec.data(), rs);
            db->SetCount(*y, 1);
            IndexAdd(rec.data(), MakeLocation(y->number, 0));
            px->InsertAfter(spot->path, y->number, KeyOf(rec.data()), 1);
            return MakeLocation(y->number, 0);
        }
        // Split: the lower half stays, the upper half moves to the new block.
        db->LinkAfter(b, *y);
        const int keep = BlockFile::KeptOnSplit(n);
        auto target = [&](int ni) {
            return ni < keep ? MakeLocation(x, ni) : MakeLocation(y->number, ni - keep);
        };
        for (int i = n - 1; i >= 0; --i) {
            const RecordLocation to = target(i < s ? i : i + 1);
            if (to != MakeLocation(x, i)) IndexMove(db->Record(b, i), MakeLocation(x, i), to);
        }
        db->SplitInsert(b, *y, s, rec.data());
        const RecordLocation placed = target(s);
        IndexAdd(rec.data(), placed);
        px->Update(spot->path, FirstKey(b), keep);
        px->InsertAfter(spot->path, y->number, FirstKey(*y), n + 1 - keep);
        return placed;
    }

    RecordLocation Append(const std::vector<uint8_t>& rec) {
        CountRecord(+1);
        BlockPtr b;
        int s = 0;
        if (header().lastBlock == 0) {
            b = db->Allocate();
            header().firstBlock = header().lastBlock = b->number;
            if (!fieldIndexes.empty()) SetOrdinal(b->number, ++lastOrdinal);
        } else {
            BlockPtr last = db->Get(header().lastBlock);
            s = db->Count(*last);
            if (s < db->capacity()) {
                b = last;
            } else {
                b = db->Allocate();
                db->LinkAfter(*last, *b);
                if (!fieldIndexes.empty()) SetOrdinal(b->number, ++lastOrdinal);
                s = 0;
            }
        }
        std::memcpy(db->Record(*b, s), rec.data(), recordSize);
        db->SetCount(*b, s + 1);
        db->TouchRecords(*b, s, s + 1);
        const RecordLocation l = MakeLocation(b->number, s);
        IndexAdd(rec.data(), l);
        return l;
    }

    // Takes the record at (x, s) out of the table. Its blobs stay (the caller frees them).
    void RemoveAt(uint16_t x, int s) {
        BlockPtr b = db->Get(x);
        const int n = db->Count(*b);
        const size_t rs = recordSize;
        std::optional<PrimaryIndex::Path> p;
        if (keyed()) {
            p = px->FindBlock(FirstKey(*b));
            if (px->DataBlock(*p) != x)
                Corrupt(px->blocks().where(), "no index entry for data block " + std::to_string(x));
        }
        IndexRemove(db->Record(*b, s), MakeLocation(x, s));
        for (int i = s + 1; i < n; ++i)
            IndexMove(db->Record(*b, i), MakeLocation(x, i), MakeLocation(x, i - 1));
        std::memmove(db->Record(*b, s), db->Record(*b, s + 1), (n - s - 1) * rs);
        std::memset(db->Record(*b, n - 1), 0, rs);
        db->SetCount(*b, n - 1);
        db->TouchRecords(*b, s, n);
        CountRecord(-1);
        if (n - 1 > 0) {
            if (p) px->Update(*p, FirstKey(*b), n - 1);
            return;
        }
        if (b->prev() == 0 && b->next() != 0) {
            // The first block stays first: it takes the next block's records.
            BlockPtr nb = db->Get(b->next());
            const int m = db->Count(*nb);
            for (int i = 0; i < m; ++i)
                IndexMove(db->Record(*nb, i), MakeLocation(nb->number, i), MakeLocation(x, i));
            std::memcpy(db->Record(*b, 0), db->Record(*nb, 0), m * rs);
            db->SetCount(*b, m);
            db->TouchRecords(*b, 0, m);
            const std::vector<uint8_t> nextKey = m > 0 ? FirstKey(*nb) : std::vector<uint8_t>();
            const uint16_t after = nb->next();
            db->SetNext(*b, after);
            if (after)
                db->SetPrev(*db->Get(after), x);
            else
                header().lastBlock = x;
            db->Release(*nb);
            db->HeaderChanged();
            if (p) {
                px->Update(*p, nextKey, m);
                PrimaryIndex::Path pn = px->FindBlock(nextKey);
                if (px->DataBlock(pn) != nb->number)
                    Corrupt(px->blocks().where(),
                            "no index entry for data block " + std::to_string(nb->number));
                px->Remove(pn);
            }
            return;
        }
        db->Unlink(*b);
        db->Release(*b);
        if (p) px->Remove(*p);
    }

    void UpdateInPlace(const std::vector<uint8_t>& rec) {
        BlockPtr b = db->Get(block);
        if (slot >= db->Count(*b) ||
            std::memcmp(db->Record(*b, slot), current.data(), recordSize) != 0)
            throw Error(path + ": internal error: the edited record moved");
        const RecordLocation l = MakeLocation(block, slot);
        secondaries->Replace(current.data(), rec.data(), block);
        for (auto& [i, idx] : fieldIndexes) {
            const Bytes before = FieldBytes(current.data(), i), after = FieldBytes(rec.data(), i);
            if (std::memcmp(before.data(), after.data(), before.size()) != 0) {
                if (!idx.Remove(FieldIndex::Digest(before), l))
                    throw Error(path + ": internal error: field index lost a record");
                idx.Add(FieldIndex::Digest(after), l);
            }
        }
        std::memcpy(db->Record(*b, slot), rec.data(), recordSize);
        db->TouchRecords(*b, slot, slot + 1);
    }

    // Hands every change to the files, in order; any failure stops further writes.
    void Commit() {
        WriteBatch batch;
        db->Flush(batch);
        if (px) px->Flush(batch);
        secondaries->Flush(batch);
        batch.Apply(journal.get());
    }

    // A save runs between BeginSave and EndSave; every write in between is journaled, so a
    // save that fails (or a process killed in it) is undone as a whole.
    void BeginSave() { journal->Begin(); }
    void EndSave() {
        try {
            journal->Finish();
        } catch (const std::exception& e) {
            AbandonSave(e, true);
            throw;
        }
    }
    // Undoes the failed save on the files. `memoryChanged`: the caches already hold the save,
    // so the table must be reopened; otherwise it goes on when the files were restored.
    void AbandonSave(const std::exception& e, bool memoryChanged) {
        const bool restored = journal->RollBack();
        // The blob file's map holds the placements of the blobs just undone.
        if (blobs) blobs->DropCache();
        if (memoryChanged || !restored) Broken(e);
    }

    void Broken(const std::exception& e) {
        broken = e.what();
        db->DropCache();
        if (px) px->DropCache();
        secondaries->DropCache();
        fieldIndexes.clear();
        atEnd = true;
        state = State::kBrowse;
    }

    // ---- editing ----
    void Post() {
        if (state == State::kBrowse) throw Error(path + ": no record is being edited");
        CheckWritable();
        std::vector<uint8_t> rec = edit;
        const bool inserting = state == State::kInsert;
        uint32_t autoInc = header().autoIncrement;
        bool hasAutoInc = false;
        if (inserting) {
            for (size_t i = 0; i < schema.fields.size(); ++i) {
                if (field(i).type != FieldType::kAutoInc) continue;
                if (!hasAutoInc) {
                    if (autoInc >= 2147483647u)
                        throw Error(path + ": the auto-increment counter is exhausted");
                    ++autoInc;
                    hasAutoInc = true;
                }
                EncodeFieldInt(autoInc, MutableBytes(rec.data() + offset[i], 4));
            }
        }
        CheckValidity(rec);  // may throw: nothing done
        PersistIndex();      // a rebuilt index reaches its file before the first save
        const bool keyChanged =
            keyed() && !inserting && std::memcmp(rec.data(), current.data(), keyBytes) != 0;
        std::optional<Spot> spot;
        if (keyed() && (inserting || keyChanged)) spot = Locate(rec);  // may throw: nothing done
        std::vector<uint32_t> toFree;
        BeginSave();
        try {
            WriteBlobs(rec, inserting ? nullptr : current.data(), toFree);
        } catch (const std::exception& e) {
            AbandonSave(e, false);
            throw;
        }
        RecordLocation placed = 0;
        try {
            if (hasAutoInc) {
                header().autoIncrement = autoInc;
                db->HeaderChanged();
            }
            if (inserting) {
                placed = keyed() ? InsertKeyed(rec, std::move(spot)) : Append(rec);
            } else if (!keyChanged) {
                UpdateInPlace(rec);
                placed = MakeLocation(block, slot);
            } else {
                RemoveAt(block, slot);
                placed = InsertKeyed(rec, Locate(rec));
            }
            // The replaced blobs are freed now; the blob file makes those writes after the
            // record no longer points at them.
            journal->DeferLater();
            FreeBlobs(toFree);
            Commit();
            state = State::kBrowse;
            pendingBlobs.clear();
            steps = 0;
            Position(placed);
        } catch (const std::exception& e) {
            AbandonSave(e, true);
            throw;
        }
        EndSave();
    }

    void Delete() {
        if (state != State::kBrowse) throw Error(path + ": cannot delete while editing");
        if (atEnd) throw Error(path + ": no current record (at the end of the table)");
        CheckWritable();
        PersistIndex();
        std::vector<uint32_t> toFree;
        for (size_t i = 0; i < schema.fields.size(); ++i) {
            if (!IsBlobType(field(i).type)) continue;
            const BlobDescriptor d = DecodeBlobDescriptor(FieldBytes(current.data(), i));
            if (d.offsetAndIndex != 0 && d.length != 0) toFree.push_back(d.offsetAndIndex);
        }
        const std::vector<uint8_t> deletedKey =
            keyed() ? std::vector<uint8_t>(current.begin(), current.begin() + keyBytes)
                    : std::vector<uint8_t>();
        const uint16_t b = block;
        const int s = slot;
        const uint16_t nextBlock = db->Get(b)->next();
        BeginSave();
        try {
            RemoveAt(b, s);
            journal->DeferLater();
            FreeBlobs(toFree);
            Commit();
        } catch (const std::exception& e) {
            AbandonSave(e, true);
            throw;
        }
        // The cursor goes to the record that followed the deleted one.
        steps = 0;
        if (keyed()) {
            atEnd = true;
            if (!px->empty()) {
                PrimaryIndex::Path p = px->FindForKey(deletedKey, schema.keyFieldCount);
                const uint16_t x = px->DataBlock(p);
                BlockPtr blk = db->Get(x);
                PositionFrom(x, LowerBound(*blk, deletedKey, schema.keyFieldCount));
            }
        } else {
            BlockPtr blk = db->Get(b);
            const bool alive = db->Count(*blk) > 0 || b == header().firstBlock;
            if (alive)
                PositionFrom(b, s);
            else
                PositionFrom(nextBlock, 0);
        }
        EndSave();
    }
};

// ---------------------------------------------------------------------------------------------

Table::Table(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Table::~Table() = default;

std::unique_ptr<Table> Table::Open(FileSystem& fs, const std::string& path,
                                   const OpenOptions& options) {
    auto m = std::make_unique<Impl>(fs);
    m->path = path;
    m->readOnly = options.readOnly;
    m->dbFile = fs.Open(path, options.readOnly ? OpenMode::kRead : OpenMode::kReadWrite);
    if (!options.readOnly) {
        if (!m->dbFile->TryLockForWriting())
            throw LockedError(path + ": table is in use by another program");
        m->journal = std::make_unique<Journal>(fs, path);
    }
    // An interrupted save is undone before anything is read (always before writing).
    if (options.recover || !options.readOnly)
        RecoverTable(fs, path, !options.readOnly, options.readOnly ? nullptr : m->dbFile.get());
    // Only a table open for writing is the sole writer of its files.
    auto keepReads = [&](std::unique_ptr<File> f) {
        return options.readOnly ? std::move(f) : RecentReadsFile(std::move(f));
    };
    m->dbFile = keepReads(std::move(m->dbFile));
    FileHeader h = ReadFileHeader(*m->dbFile, path, false);

    Schema& s = m->schema;
    s.fields = h.fields;
    s.keyFieldCount = h.keyFieldCount;
    s.fileVersion = h.fileVersion;
    s.blockSize = h.BlockSize();
    s.codePage = h.codePage;
    s.sortOrder = h.sortOrder;
    m->codePageSupported = text::IsSupportedCodePage(h.codePage);
    size_t at = 0;
    for (const auto& f : s.fields) {
        m->offset.push_back(at);
        at += f.RecordBytes();
    }
    m->recordSize = at;
    m->keyBytes = s.KeySize();
    m->order = KeyOrder(std::vector<Field>(s.fields.begin(), s.fields.begin() + s.keyFieldCount),
                        s.sortOrder, s.codePage);

    if (h.encryptionKey != 0) {
        for (const std::string& pw : options.passwords)
            if (PasswordChecksum(text::FromUtf8(pw, s.codePage)) == h.encryptionKey)
                m->key = h.encryptionKey;
        if (!m->key)
            throw PasswordError(path + ": the table is encrypted and " +
                                (options.passwords.empty()
                                     ? std::string("no password was given")
                                     : std::string("no password given opens it")));
    }
    m->db = std::make_unique<BlockFile>(*m->dbFile, std::move(h), path, m->key,
                                        DataCacheBlocks(s.blockSize));
    // A count the blocks cannot hold would have the reader promise records that are not there.
    const FileHeader& dh = m->db->header();
    if (uint64_t{dh.recordCount} > uint64_t{dh.blocksInUse} * m->db->capacity())
        Corrupt(path + ": header", std::to_string(dh.recordCount) + " records do not fit the " +
                                       std::to_string(dh.blocksInUse) + " blocks in use");

    const auto pxPath = s.keyFieldCount > 0 ? FindSibling(fs, path, "PX") : std::nullopt;
    if (pxPath)
        m->pxFile =
            keepReads(fs.Open(*pxPath, options.readOnly ? OpenMode::kRead : OpenMode::kReadWrite));
    if (s.keyFieldCount > 0 && (!pxPath || m->pxFile->Size() == 0)) {
        // A missing index (or an empty file, what an interrupted rebuild leaves) is rebuilt
        // from the data; it reaches the disk before the table's first write.
        m->pxFile.reset();
        m->RebuildIndex(pxPath ? *pxPath : SiblingName(path, "PX"));
    } else if (pxPath) {
        FileHeader ph = ReadFileHeader(*m->pxFile, *pxPath, true);
        if (ph.fields.size() != static_cast<size_t>(s.keyFieldCount))
            Corrupt(*pxPath + ": header", "indexes " + std::to_string(ph.fields.size()) +
                                              " fields, the table's key has " +
                                              std::to_string(s.keyFieldCount));
        for (int i = 0; i < s.keyFieldCount; ++i)
            if (ph.fields[i].type != s.fields[i].type || ph.fields[i].size != s.fields[i].size)
                Corrupt(*pxPath + ": header",
                        "key field " + std::to_string(i + 1) + " differs from the table's");
        m->px = std::make_unique<PrimaryIndex>(*m->pxFile, std::move(ph), *pxPath, m->order);
        if (m->px->empty() != (dh.blocksInUse == 0))
            Corrupt(*pxPath, m->px->empty() ? "the index is empty, the table has " +
                                                  std::to_string(dh.blocksInUse) + " blocks"
                                            : "the index has entries, the table has no blocks");
    }

    bool hasBlobs = false;
    for (const auto& f : s.fields) hasBlobs |= IsBlobType(f.type);
    if (hasBlobs) {
        auto mbPath = FindSibling(fs, path, "MB");
        m->mbPath = mbPath ? *mbPath : SiblingName(path, "MB");
        if (mbPath) {
            m->mbFile = keepReads(
                fs.Open(*mbPath, options.readOnly ? OpenMode::kRead : OpenMode::kReadWrite));
            if (m->journal) m->mbFile = JournaledFile(std::move(m->mbFile), *m->journal);
            m->blobs = std::make_unique<BlobFile>(*m->mbFile, *mbPath, m->key);
        }
    }
    m->secondaries =
        std::make_unique<SecondaryIndexes>(fs, path, m->db->header(), !options.readOnly);
    m->ReadValidity();
    m->First();
    return std::unique_ptr<Table>(new Table(std::move(m)));
}

std::unique_ptr<Table> Table::Create(FileSystem& fs, const std::string& path, const Schema& schema,
                                     const CreateOptions& options) {
    ValidateSchemaForCreate(schema);
    if (fs.IsFile(path)) throw Error(path + ": the table already exists");
    // A journal of an earlier table of that name belongs to files that are gone.
    fs.Remove(Journal::PathFor(path));
    uint32_t key = 0;
    if (!options.password.empty()) {
        key = PasswordChecksum(text::FromUtf8(options.password, schema.codePage));
        if (key == 0) throw Error(path + ": the password gives no encryption key");
    }
    const uint32_t indexBlock = options.indexBlockSize ? options.indexBlockSize : schema.blockSize;
    if (schema.keyFieldCount > 0) {
        const uint32_t kib = indexBlock / 1024;
        if (indexBlock % 1024 || kib < 1 || kib > 32 ||
            (schema.KeySize() + fmt::kIndexEntryTrailer) * 2 + fmt::kBlockHeader > indexBlock)
            throw Error(path + ": an index block of " + std::to_string(indexBlock) +
                        " bytes cannot hold the key");
    }
    const std::vector<uint8_t> dbHeader = BuildTableHeader(schema, FileName(path), key);
    // Blob file and index first: a table file never exists without them.
    bool hasBlobs = false;
    for (const auto& f : schema.fields) hasBlobs |= IsBlobType(f.type);
    if (hasBlobs) {
        auto mb = fs.Open(SiblingName(path, "MB"), OpenMode::kCreate);
        BlobFile::CreateEmpty(*mb, key ? std::optional<uint32_t>(key) : std::nullopt);
    }
    if (schema.keyFieldCount > 0) {
        const std::string pxPath = SiblingName(path, "PX");
        const std::vector<uint8_t> pxHeader =
            BuildIndexHeader(schema, FileName(pxPath), indexBlock, dbHeader);
        auto px = fs.Open(pxPath, OpenMode::kCreate);
        px->WriteAt(0, pxHeader.data(), pxHeader.size());
    }
    {
        auto db = fs.Open(path, OpenMode::kCreate);
        db->WriteAt(0, dbHeader.data(), dbHeader.size());
    }
    OpenOptions open;
    if (!options.password.empty()) open.passwords.push_back(options.password);
    return Open(fs, path, open);
}

const std::string& Table::path() const {
    return impl_->path;
}
const Schema& Table::schema() const {
    return impl_->schema;
}
uint32_t Table::RecordCount() const {
    return impl_->db->header().recordCount;
}
bool Table::IsKeyed() const {
    return impl_->keyed();
}
bool Table::IsReadOnly() const {
    return impl_->readOnly;
}
Table::State Table::state() const {
    return impl_->state;
}

TableInfo Table::info() const {
    TableInfo t;
    const FileHeader& h = impl_->db->header();
    t.recordCount = h.recordCount;
    t.blocksInUse = h.blocksInUse;
    t.blocksInFile = h.blocksInFile;
    t.autoIncrement = h.autoIncrement;
    t.encrypted = h.encryptionKey != 0;
    if (impl_->px) {
        t.indexLevels = impl_->px->levels();
        t.indexBlockSize = impl_->px->header().BlockSize();
        t.indexEntries = impl_->px->header().recordCount;
    }
    t.hasBlobFile = impl_->blobs != nullptr;
    t.secondaryIndexFiles = impl_->secondaries->FileNames();
    t.secondaryIndexes = impl_->secondaries->Describe();
    return t;
}

void Table::First() {
    if (impl_->state != State::kBrowse) throw Error(impl_->path + ": a record is being edited");
    impl_->First();
}

bool Table::AtEnd() const {
    return impl_->atEnd;
}

void Table::Next() {
    Impl& m = *impl_;
    if (m.state != State::kBrowse) throw Error(m.path + ": a record is being edited");
    if (m.atEnd) throw Error(m.path + ": already at the end of the table");
    m.PositionFrom(m.block, m.slot + 1);
}

Value Table::Get(size_t i) {
    Impl& m = *impl_;
    m.CheckField(i);
    const Field& f = m.field(i);
    if (IsBlobType(f.type)) return BlobValue(f, GetBlob(i), m.schema.codePage);
    return DecodeField(f, m.FieldBytes(m.CurrentRecord(), i), m.schema.codePage);
}

std::vector<uint8_t> Table::GetBlob(size_t i) {
    Impl& m = *impl_;
    m.CheckField(i);
    if (!IsBlobType(m.field(i).type))
        throw Error(m.path + ": field '" + m.field(i).name + "' is not a blob field");
    if (m.state != State::kBrowse) {
        auto it = m.pendingBlobs.find(i);
        if (it != m.pendingBlobs.end()) return it->second;
    }
    return m.StoredBlob(m.CurrentRecord(), i);
}

bool Table::SeekKey(const std::vector<Value>& key) {
    if (impl_->state != State::kBrowse) throw Error(impl_->path + ": a record is being edited");
    return impl_->SeekKey(key);
}

bool Table::FindFirstEqual(size_t field, const Value& value) {
    if (impl_->state != State::kBrowse) throw Error(impl_->path + ": a record is being edited");
    return impl_->FindFirstEqual(field, value);
}

void Table::CheckWritable() {
    impl_->CheckWritable();
}

void Table::Edit() {
    Impl& m = *impl_;
    if (m.state != State::kBrowse) throw Error(m.path + ": a record is already being edited");
    m.CheckWritable();
    if (m.atEnd) throw Error(m.path + ": no current record to edit");
    m.edit = m.current;
    m.pendingBlobs.clear();
    m.state = State::kEdit;
}

void Table::Append() {
    Impl& m = *impl_;
    if (m.state != State::kBrowse) throw Error(m.path + ": a record is already being edited");
    m.CheckWritable();
    m.edit.assign(m.recordSize, 0);
    m.ApplyDefaults();
    m.pendingBlobs.clear();
    m.state = State::kInsert;
}

void Table::Set(size_t i, Value&& v) {
    Impl& m = *impl_;
    if (v.kind() == Value::Kind::kBytes && m.CheckSet(i) && IsBlobType(m.field(i).type)) {
        m.pendingBlobs[i] = std::move(v).TakeBytes();
        return;
    }
    Set(i, std::as_const(v));
}

void Table::Set(size_t i, const Value& v) {
    Impl& m = *impl_;
    if (!m.CheckSet(i)) return;
    const Field& f = m.field(i);
    if (IsBlobType(f.type)) {
        m.pendingBlobs[i] = BlobContent(f, v, m.schema.codePage);
        return;
    }
    // Encoded aside first, so that a value the field refuses leaves the record as it was. A
    // field that is not a blob takes at most 255 bytes.
    const size_t size = f.RecordBytes();
    std::array<uint8_t, 256> small;
    std::vector<uint8_t> large(size > small.size() ? size : 0);
    const std::span<uint8_t> bytes =
        size > small.size() ? std::span<uint8_t>(large) : std::span<uint8_t>(small.data(), size);
    EncodeField(f, v, bytes, m.schema.codePage);
    std::memcpy(m.edit.data() + m.offset[i], bytes.data(), bytes.size());
}

void Table::Post() {
    impl_->Post();
}

void Table::Cancel() {
    impl_->state = State::kBrowse;
    impl_->pendingBlobs.clear();
}

void Table::Delete() {
    impl_->Delete();
}

void Table::AddSecondaryIndex(const std::vector<std::string>& fields, const std::string& name) {
    Impl& m = *impl_;
    if (m.state != State::kBrowse) throw Error(m.path + ": a record is being edited");
    m.CheckWritable();
    std::vector<size_t> numbers;
    for (const std::string& f : fields) {
        const int i = m.schema.Find(f);
        if (i < 0) throw Error(m.path + ": no field named '" + f + "' to index");
        numbers.push_back(static_cast<size_t>(i));
    }
    const uint32_t treeBlock = m.px ? m.px->header().BlockSize() : m.schema.blockSize;
    m.secondaries->Create(numbers, name, *m.db, treeBlock);
}

std::vector<std::string> Table::Check(std::vector<std::string>* warnings) {
    Impl& m = *impl_;
    std::vector<std::string> problems;
    auto problem = [&](const std::string& what) { problems.push_back(what); };
    const FileHeader& h = m.db->header();
    if (const std::string size = m.db->SizeProblem(); !size.empty()) problem(size);

    // The chain, its records and their blobs.
    struct Seen {
        uint16_t block;
        std::vector<uint8_t> firstKey;
        int count;
    };
    std::vector<Seen> chain;
    std::set<uint16_t> inChain;
    uint64_t records = 0;
    std::vector<uint8_t> previous;
    std::vector<uint32_t> blobPointers;  // every record's, with where each is
    std::vector<std::tuple<uint16_t, int, size_t>> blobOwners;
    try {
        uint16_t prev = 0;
        for (uint16_t b = h.firstBlock; b != 0;) {
            const std::string where = m.path + ": block " + std::to_string(b);
            if (!inChain.insert(b).second) {
                problem(where + " appears twice in the block chain");
                break;
            }
            BlockPtr blk = m.db->Get(b);
            if (blk->prev() != prev)
                problem(where + " links back to block " + std::to_string(blk->prev()) +
                        " instead of " + std::to_string(prev));
            const int n = m.db->Count(*blk);
            if (n == 0) problem(where + " is empty but in the chain");
            chain.push_back({b, n ? m.FirstKey(*blk) : std::vector<uint8_t>(), n});
            for (int s = 0; s < n; ++s) {
                const uint8_t* rec = m.db->Record(*blk, s);
                const std::string at = where + ", record " + std::to_string(s);
                if (m.keyed()) {
                    if (!previous.empty()) {
                        const int c = m.order.Compare(previous, m.KeyOf(rec));
                        if (c == 0) problem(at + ": duplicate key");
                        if (c > 0) problem(at + ": out of key order");
                    }
                    previous.assign(rec, rec + m.keyBytes);
                }
                for (size_t i = 0; i < m.schema.fields.size(); ++i) {
                    const Field& f = m.field(i);
                    const Bytes fb = m.FieldBytes(rec, i);
                    if (f.type == FieldType::kBcd && fb[0] != 0 &&
                        ((fb[0] & 0x3F) != f.size || (fb[0] & 0x40) == 0))
                        problem(at + ": BCD field '" + f.name + "' carries the wrong decimals");
                    if (!IsBlobType(f.type)) continue;
                    const BlobDescriptor d = DecodeBlobDescriptor(fb);
                    if (d.length == 0) {
                        if (d.offsetAndIndex != 0)
                            problem(at + ": blob field '" + f.name + "' points at an empty blob");
                        continue;
                    }
                    if (d.offsetAndIndex == 0) {
                        if (d.length > f.LeaderBytes())
                            problem(at + ": blob field '" + f.name + "' is longer than its leader");
                        continue;
                    }
                    if (!m.blobs) {
                        problem(at + ": blob field '" + f.name + "' points into the missing " +
                                FileName(m.mbPath));
                        continue;
                    }
                    blobPointers.push_back(d.offsetAndIndex);
                    blobOwners.emplace_back(b, s, i);
                    try {
                        const std::vector<uint8_t> stored =
                            m.blobs->Read(d.offsetAndIndex, d.length, d.modNumber);
                        if (f.type == FieldType::kGraphic && stored.size() < kGraphicPrefixSize)
                            problem(at + ": graphic field '" + f.name +
                                    "' is shorter than its prefix");
                    } catch (const CorruptError& e) {
                        problem(at + ": blob field '" + f.name + "': " + e.what());
                    }
                }
            }
            records += n;
            if (chain.size() > h.blocksInFile) {
                problem(m.path + ": the block chain has a cycle");
                break;
            }
            prev = b;
            b = blk->next();
        }
        if (!chain.empty() && chain.back().block != h.lastBlock)
            problem(m.path + ": the header's last block " + std::to_string(h.lastBlock) +
                    " is not the end of the chain (" + std::to_string(chain.back().block) + ")");
    } catch (const CorruptError& e) {
        problem(e.what());
    }
    if (records != h.recordCount)
        problem(m.path + ": the header counts " + std::to_string(h.recordCount) +
                " records, the blocks hold " + std::to_string(records));
    if (h.blocksInUse != chain.size())
        problem(m.path + ": the header counts " + std::to_string(h.blocksInUse) +
                " blocks in use, the chain has " + std::to_string(chain.size()));

    // The free list.
    size_t freeBlocks = 0;
    try {
        std::set<uint16_t> seenFree;
        for (uint16_t b = h.firstFreeBlock; b != 0;) {
            if (inChain.count(b) || !seenFree.insert(b).second) {
                problem(m.path + ": free block " + std::to_string(b) +
                        " is also in the chain or listed twice");
                break;
            }
            if (b > h.blocksInFile) {
                problem(m.path + ": free block " + std::to_string(b) + " beyond the file");
                break;
            }
            ++freeBlocks;
            std::vector<uint8_t> head(fmt::kBlockHeader);
            m.dbFile->ReadAt(h.headerSize + uint64_t{b - 1u} * m.db->blockSize(), head.data(),
                             head.size());
            if (m.key) {
                std::vector<uint8_t> whole(m.db->blockSize());
                m.dbFile->ReadAt(h.headerSize + uint64_t{b - 1u} * m.db->blockSize(), whole.data(),
                                 whole.size());
                DecryptDbBlock(whole.data(), whole.size(), *m.key, b);
                head.assign(whole.begin(), whole.begin() + fmt::kBlockHeader);
            }
            b = GetU16(head, fmt::kBlockNext);
        }
    } catch (const std::exception& e) {
        problem(m.path + ": free list: " + e.what());
    }
    if (chain.size() + freeBlocks != h.blocksInFile)
        problem(m.path + ": " + std::to_string(h.blocksInFile - chain.size() - freeBlocks) +
                " blocks are neither in the chain nor free");

    // The primary index against the data.
    if (m.px) {
        try {
            if (const std::string size = m.px->blocks().SizeProblem(); !size.empty()) problem(size);
            const auto level1 = m.px->Verify(problem);
            if (level1.size() != chain.size()) {
                problem(m.px->blocks().where() + ": " + std::to_string(level1.size()) +
                        " entries at level 1 for " + std::to_string(chain.size()) + " data blocks");
            } else {
                for (size_t i = 0; i < chain.size(); ++i) {
                    const std::string where =
                        m.px->blocks().where() + ": level 1 entry " + std::to_string(i);
                    if (level1[i].block != chain[i].block)
                        problem(where + " points at block " + std::to_string(level1[i].block) +
                                ", the chain has block " + std::to_string(chain[i].block));
                    if (level1[i].count != chain[i].count)
                        problem(where + " counts " + std::to_string(level1[i].count) +
                                " records, block " + std::to_string(chain[i].block) + " holds " +
                                std::to_string(chain[i].count));
                    if (level1[i].key != chain[i].firstKey)
                        problem(where + " key differs from the first key of block " +
                                std::to_string(chain[i].block));
                }
            }
        } catch (const CorruptError& e) {
            problem(e.what());
        }
    }
    if (m.blobs) {
        m.blobs->Check(problems);
        std::vector<std::string> unused;
        m.blobs->CheckPointers(
            blobPointers,
            [&](size_t i) {
                const auto& [b, s, f] = blobOwners[i];
                return m.path + ": block " + std::to_string(b) + ", record " + std::to_string(s) +
                       ", field '" + m.field(f).name + "'";
            },
            problems, warnings ? *warnings : unused);
    }
    m.secondaries->Check(*m.db, problem);
    // The validity file: readable, and written for the table as it is (its byte 0 is the
    // table's change counter at 0x2E).
    if (!m.validityProblem.empty()) problem(m.validityProblem);
    if (m.validity && m.validity->tableChange != h.raw[fmt::kChangeCount2])
        problem(m.validityFile + ": byte 0 is " + std::to_string(m.validity->tableChange) +
                ", the table's change counter at 0x2E is " +
                std::to_string(h.raw[fmt::kChangeCount2]) + ": the validity file is out of date");
    return problems;
}

const Validity* Table::validity() const {
    return impl_->validity ? &*impl_->validity : nullptr;
}

size_t Table::MemoryBytes() const {
    const Impl& m = *impl_;
    size_t n = m.db->CachedBlocks() * m.db->blockSize();
    if (m.px) n += m.px->blocks().CachedBlocks() * m.px->blocks().blockSize();
    for (const auto& [i, idx] : m.fieldIndexes) n += idx.MemoryBytes();
    n += m.secondaries->MemoryBytes();
    n += m.ordinal.size() * sizeof(uint32_t);
    return n;
}

}  // namespace pq::paradox
