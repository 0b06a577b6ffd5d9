#include "paradox/journal.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "paradox/coding.h"
#include "paradox/error.h"
#include "paradox/path_names.h"

namespace pq::paradox {
namespace {

// The journal's first 8 bytes while a save is in progress. Version 2 checks each record with
// CRC-32C; version 1 (still read) checked them with CRC-32, the same CRC as the checks of what
// is written that a record holds, so that a record torn over the previous save's record could
// pass for whole (see RecordCheck).
constexpr char kMagic[8] = {'P', 'Q', 'J', 'O', 'U', 'R', 'N', '2'};
constexpr char kMagicVersion1[8] = {'P', 'Q', 'J', 'O', 'U', 'R', 'N', '1'};
constexpr size_t kHeaderSize = 16;
constexpr size_t kRecordHead = 8;  // length, CRC
constexpr uint8_t kFileRecord = 1;
constexpr uint8_t kUndoRecord = 2;
constexpr uint8_t kFreeRecord = 3;
constexpr size_t kFileBodyFixed = 4 + 1 + 8 + 2;      // save, kind, size, name length
constexpr size_t kUndoBodyFixed = 4 + 1 + 2 + 8 + 8;  // save, kind, file, offset, length

// Little-endian, appended in one step.
template <size_t N>
void PutLittle(std::vector<uint8_t>& out, uint64_t v) {
    uint8_t bytes[N];
    for (size_t i = 0; i < N; ++i) bytes[i] = static_cast<uint8_t>(v >> (8 * i));
    out.insert(out.end(), bytes, bytes + N);
}
void Put64(std::vector<uint8_t>& out, uint64_t v) {
    PutLittle<8>(out, v);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    PutLittle<4>(out, v);
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    PutLittle<2>(out, v);
}
uint64_t Get64(Bytes in, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | in[at + i];
    return v;
}

// Writes are checked in pieces that end at the file's 4 KiB page boundaries: a write cut short
// by a kill stops at one of them (the system copies page by page), so each piece is either
// still what it was or what was written.
constexpr uint64_t kPiece = 4096;

// Calls piece(start, length) for each piece of [offset, offset + n), in order.
template <typename Piece>
void ForEachPiece(uint64_t offset, uint64_t n, Piece&& piece) {
    for (uint64_t at = offset, end = offset + n; at < end;) {
        const uint64_t stop = std::min(end, (at / kPiece + 1) * kPiece);
        piece(at, stop - at);
        at = stop;
    }
}

uint64_t PieceCount(uint64_t offset, uint64_t n) {
    uint64_t count = 0;
    ForEachPiece(offset, n, [&](uint64_t, uint64_t) { ++count; });
    return count;
}

// A secondary index file of the table `base` (both lower case): .xnn, .ynn, .xgn, .ygn.
bool IsSecondaryIndexFile(const std::string& lower, const std::string& base) {
    if (lower.size() != base.size() + 4 || lower.compare(0, base.size() + 1, base + ".") != 0)
        return false;
    const char k = lower[base.size() + 1], a = lower[base.size() + 2], b = lower[base.size() + 3];
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const auto hex = [&](char c) { return digit(c) || (c >= 'a' && c <= 'f'); };
    return (k == 'x' || k == 'y') && ((digit(a) && digit(b)) || (a == 'g' && hex(b)));
}

std::vector<uint8_t> Header(uint32_t save) {
    std::vector<uint8_t> h(kMagic, kMagic + sizeof kMagic);
    Put32(h, save);
    Put32(h, Crc32(h));
    return h;
}

// A record's own check. Not CRC-32: an undo record holds the CRC-32 of each piece written after
// the old bytes of that piece, so when a save changes bytes from X to Z and the next changes
// them back with records of the same sizes, the difference between the two records' tails (the
// old bytes differing by d, then the pieces' CRCs differing by the CRC of d) is itself a CRC-32
// codeword: a record whose end still holds the earlier save's (a journal write cut short) would
// pass a CRC-32 of the whole body, and recovery would write X over bytes never changed.
uint32_t RecordCheck(Bytes body) {
    return Crc32c(body);
}

// A record is built in place: BeginRecord leaves room for its length and CRC, the body is
// appended, and EndRecord fills them in.
size_t BeginRecord(std::vector<uint8_t>& out) {
    const size_t at = out.size();
    out.resize(at + kRecordHead);
    return at;
}
void EndRecord(std::vector<uint8_t>& out, size_t at) {
    const auto length = static_cast<uint32_t>(out.size() - at - kRecordHead);
    const uint32_t crc = RecordCheck(Bytes(out).subspan(at + kRecordHead));
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<uint8_t>(length >> (8 * i));
        out[at + 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
}

// What a journal file says: whether a save is unfinished, the files it touched with their
// sizes before it, and its undo records in the order they were written.
struct Plan {
    bool unfinished = false;
    struct FileEntry {
        std::string name;
        uint64_t sizeBefore;
        uint64_t end;  // the furthest a write of the save reaches
    };
    std::vector<FileEntry> files;
    struct Undo {
        uint16_t file;
        uint64_t offset;
        Bytes before;     // inside the size before the save
        Bytes pieceCrcs;  // CRC-32 of each piece written over `before` (4 bytes each)
    };
    std::vector<Undo> undo;
};

// REQUIRES: `bytes` outlives the plan (the undo records point into it).
Plan ReadPlan(Bytes bytes, const std::string& journalPath, const std::string& dbPath) {
    Plan plan;
    if (bytes.size() < kHeaderSize || Crc32(bytes.first(12)) != GetU32(bytes, 12)) return plan;
    uint32_t (*check)(Bytes) = nullptr;
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) == 0)
        check = RecordCheck;
    else if (std::memcmp(bytes.data(), kMagicVersion1, sizeof kMagicVersion1) == 0)
        check = Crc32;
    else
        return plan;
    plan.unfinished = true;
    const uint32_t save = GetU32(bytes, 8);
    const std::string base = LowerAscii(BaseName(dbPath));
    size_t at = kHeaderSize;
    while (bytes.size() - at >= kRecordHead) {
        const uint32_t length = GetU32(bytes, at);
        if (length < 5 || length > bytes.size() - at - kRecordHead) break;
        const Bytes body = bytes.subspan(at + kRecordHead, length);
        if (check(body) != GetU32(bytes, at + 4) || GetU32(body, 0) != save) break;
        const uint8_t kind = body[4];
        if (kind == kFileRecord) {
            if (length < kFileBodyFixed || length != kFileBodyFixed + GetU16(body, 13)) break;
            const std::string name(reinterpret_cast<const char*>(body.data()) + kFileBodyFixed,
                                   length - kFileBodyFixed);
            // Only the table's own files, beside it: a journal never reaches anything else.
            const std::string lower = LowerAscii(name);
            if (lower != base + ".db" && lower != base + ".px" && lower != base + ".mb" &&
                !IsSecondaryIndexFile(lower, base))
                throw Error(journalPath + ": the journal names the file '" + name +
                            "', which is not one of the table's; remove the journal to open "
                            "the table as it is");
            const uint64_t size = Get64(body, 5);
            plan.files.push_back({name, size, size});
        } else if (kind == kUndoRecord || kind == kFreeRecord) {
            if (length < kUndoBodyFixed) break;
            const uint16_t file = GetU16(body, 5);
            const uint64_t offset = Get64(body, 7);
            const uint64_t written = Get64(body, 15);
            if (file >= plan.files.size() || offset > UINT64_MAX - written) break;
            Plan::FileEntry& f = plan.files[file];
            // A write over free space keeps no old bytes: nothing to restore, only its reach.
            const uint64_t n = kind == kFreeRecord || offset >= f.sizeBefore
                                   ? 0
                                   : std::min(written, f.sizeBefore - offset);
            if (length != kUndoBodyFixed + n + 4 * PieceCount(offset, n)) break;
            f.end = std::max(f.end, offset + written);
            const Bytes data = body.subspan(kUndoBodyFixed);
            if (kind == kUndoRecord)
                plan.undo.push_back({file, offset, data.first(n), data.subspan(n)});
        } else {
            break;
        }
        at += kRecordHead + length;
    }
    return plan;
}

// Whether the files hold nothing but what the save may have written: each size between the
// size before and the furthest write, and, going back through the writes from the last one as
// recovery will, each piece of each write either what was there before it or what it wrote.
// (Writes of one save follow each other: a write began only once the one before had ended, so
// with the later writes undone, a write's range shows what that write left.)
bool AsTheSaveLeftThem(const Plan& plan, const std::vector<File*>& files) {
    for (size_t i = 0; i < files.size(); ++i) {
        const uint64_t size = files[i]->Size();
        if (size < plan.files[i].sizeBefore || size > plan.files[i].end) return false;
    }
    std::vector<const Plan::Undo*> undone;  // in the order recovery writes them back
    for (auto it = plan.undo.rbegin(); it != plan.undo.rend(); ++it) {
        const Plan::Undo& u = *it;
        std::vector<uint8_t> now(u.before.size());
        if (now.empty()) continue;
        files[u.file]->ReadAt(u.offset, now.data(), now.size());
        for (const Plan::Undo* d : undone) {
            if (d->file != u.file) continue;
            const uint64_t from = std::max(u.offset, d->offset);
            const uint64_t to = std::min(u.offset + now.size(), d->offset + d->before.size());
            for (uint64_t at = from; at < to; ++at) now[at - u.offset] = d->before[at - d->offset];
        }
        size_t k = 0;
        bool written = true;
        ForEachPiece(u.offset, now.size(), [&](uint64_t start, uint64_t length) {
            const size_t at = static_cast<size_t>(start - u.offset);
            const Bytes piece = Bytes(now).subspan(at, static_cast<size_t>(length));
            const bool unchanged = std::equal(piece.begin(), piece.end(), u.before.begin() + at);
            if (!unchanged && Crc32(piece) != GetU32(u.pieceCrcs, 4 * k)) written = false;
            ++k;
        });
        if (!written) return false;
        undone.push_back(&u);
    }
    return true;
}

std::vector<uint8_t> ReadWhole(File& f) {
    std::vector<uint8_t> bytes(static_cast<size_t>(f.Size()));
    if (!bytes.empty()) f.ReadAt(0, bytes.data(), bytes.size());
    return bytes;
}

class JournaledFileImpl : public File, public Journal::Deferring {
  public:
    JournaledFileImpl(std::unique_ptr<File> inner, Journal& journal)
        : File(inner->Path()), inner_(std::move(inner)), journal_(journal) {
        journal_.Attach(this);
    }
    ~JournaledFileImpl() override { journal_.Detach(this); }

    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        if (Idle()) return inner_->ReadAt(offset, buffer, n);
        if (offset > Size() || n > Size() - offset)
            throw IoError(Path() + ": read of " + std::to_string(n) + " bytes at " +
                          std::to_string(offset) + " beyond the end of the file");
        auto* out = static_cast<uint8_t*>(buffer);
        const uint64_t inner = InnerSize();
        const uint64_t fromFile = offset < inner ? std::min<uint64_t>(n, inner - offset) : 0;
        if (fromFile) inner_->ReadAt(offset, out, static_cast<size_t>(fromFile));
        std::fill(out + fromFile, out + n, uint8_t{0});
        for (const auto& waiting : waiting_) {  // the earlier writes, then the later ones
            for (const auto& [at, w] : waiting) {
                const std::vector<uint8_t>& bytes = w.bytes;
                const uint64_t from = std::max(at, offset);
                const uint64_t to = std::min(at + bytes.size(), offset + n);
                if (from < to)
                    std::copy(bytes.begin() + static_cast<ptrdiff_t>(from - at),
                              bytes.begin() + static_cast<ptrdiff_t>(to - at),
                              out + (from - offset));
            }
        }
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        Put(offset, data, n, false);
    }
    void WriteOverFree(uint64_t offset, const void* data, size_t n) override {
        Put(offset, data, n, true);
    }
    void Put(uint64_t offset, const void* data, size_t n, bool overFree) {
        if (!journal_.InSave()) return inner_->WriteAt(offset, data, n);
        if (n == 0) return;
        InnerSize();  // known before anything waits
        const auto* p = static_cast<const uint8_t*>(data);
        if (phase_ == 1) {
            // Bytes that an earlier write of the save still waits to write are written with it
            // (the journal needs a save's writes apart); only the rest waits for after.
            uint64_t at = offset;
            const uint64_t end = offset + n;
            for (auto& [start, w] : waiting_[0]) {
                const uint64_t stop = start + w.bytes.size();
                if (stop <= at || start >= end) continue;
                if (start > at) Wait(1, at, p + (at - offset), start - at, overFree);
                const uint64_t from = std::max(at, start), to = std::min(end, stop);
                std::copy(p + (from - offset), p + (to - offset),
                          w.bytes.begin() + static_cast<ptrdiff_t>(from - start));
                w.overFree = w.overFree && overFree;
                at = to;
            }
            if (at < end) Wait(1, at, p + (at - offset), end - at, overFree);
            return;
        }
        Wait(0, offset, p, n, overFree);
    }
    // Adds a write to the waiting ones of a phase, joined with those it overlaps, and with those
    // it touches that are over free space as it is or is not. A joined write is over free space
    // only when all its parts are.
    void Wait(int phase, uint64_t offset, const uint8_t* p, uint64_t n, bool overFree) {
        auto& waiting = waiting_[phase];
        uint64_t start = offset, end = offset + n;
        auto first = waiting.lower_bound(offset);
        if (first != waiting.begin()) {
            const auto before = std::prev(first);
            const uint64_t reach = before->first + before->second.bytes.size();
            if (reach > offset || (reach == offset && before->second.overFree == overFree))
                first = before;
        }
        bool free = overFree;
        auto last = first;
        while (last != waiting.end() && last->first <= end) {
            if (last->first == end && last->second.overFree != overFree) break;
            start = std::min(start, last->first);
            end = std::max(end, last->first + last->second.bytes.size());
            free = free && last->second.overFree;
            ++last;
        }
        if (first == last) {  // apart from every waiting write: its bytes alone
            waiting.emplace(offset, Pending{std::vector<uint8_t>(p, p + n), overFree});
            return;
        }
        std::vector<uint8_t> joined(static_cast<size_t>(end - start));
        for (auto it = first; it != last; ++it)
            std::copy(it->second.bytes.begin(), it->second.bytes.end(),
                      joined.begin() + (it->first - start));
        std::copy(p, p + n, joined.begin() + static_cast<ptrdiff_t>(offset - start));
        waiting.erase(first, last);
        waiting.emplace(start, Pending{std::move(joined), free});
    }
    uint64_t Size() override {
        if (Idle()) return inner_->Size();
        uint64_t size = InnerSize();
        for (const auto& waiting : waiting_)
            if (!waiting.empty())
                size =
                    std::max(size, waiting.rbegin()->first + waiting.rbegin()->second.bytes.size());
        return size;
    }
    void Truncate(uint64_t size) override {
        if (journal_.InSave())
            throw Error(Path() + ": internal error: a truncation inside a save is not journaled");
        inner_->Truncate(size);
    }
    void Sync() override { inner_->Sync(); }
    bool TryLockForWriting() override { return inner_->TryLockForWriting(); }

    std::vector<Journal::Range> Waiting(int phase) override {
        std::vector<Journal::Range> out;
        for (const auto& [at, w] : waiting_[phase])
            out.push_back({inner_.get(), at, Bytes(w.bytes), w.overFree});
        return out;
    }
    void WriteWaiting(int phase) override {
        std::map<uint64_t, Pending> writes;
        writes.swap(waiting_[phase]);
        if (Idle()) Reset();
        for (const auto& [at, w] : writes) inner_->WriteAt(at, w.bytes.data(), w.bytes.size());
    }
    void DropWaiting() override {
        waiting_[0].clear();
        waiting_[1].clear();
        Reset();
    }
    void Later() override { phase_ = 1; }

  private:
    // The file's own size, asked once while writes wait (no one else writes it meanwhile).
    uint64_t InnerSize() {
        if (!innerSize_) innerSize_ = inner_->Size();
        return *innerSize_;
    }

    bool Idle() const { return waiting_[0].empty() && waiting_[1].empty(); }
    void Reset() {
        innerSize_.reset();
        phase_ = 0;
    }

    std::unique_ptr<File> inner_;
    Journal& journal_;
    struct Pending {
        std::vector<uint8_t> bytes;
        bool overFree;
    };
    // Per phase (before, after the save's ranges): offset -> write, apart, in file order.
    std::map<uint64_t, Pending> waiting_[2];
    int phase_ = 0;
    std::optional<uint64_t> innerSize_;
};

}  // namespace

std::string Journal::PathFor(const std::string& dbPath) {
    return FolderOf(dbPath) + BaseName(dbPath) + ".pqj";
}

Journal::Journal(FileSystem& fs, const std::string& dbPath) : fs_(fs), path_(PathFor(dbPath)) {}

Journal::~Journal() {
    if (!file_) return;
    file_.reset();
    // An unfinished save stays for the next open; a finished journal goes.
    if (pending_) return;
    try {
        fs_.Remove(path_);
    } catch (const std::exception&) {
        // A journal marked done is harmless; the next open removes it.
    }
}

void Journal::Begin() {
    if (inSave_) throw Error(path_ + ": internal error: a save began inside another");
    if (pending_) throw Error(path_ + ": an earlier save is still to be undone; reopen the table");
    ++save_;
    inSave_ = true;
    end_ = 0;
    touched_.clear();
    undo_.clear();
}

void Journal::Detach(Deferring* d) {
    deferring_.erase(std::remove(deferring_.begin(), deferring_.end(), d), deferring_.end());
}

void Journal::DeferLater() {
    for (Deferring* d : deferring_) d->Later();
}

void Journal::Write(const std::vector<Range>& own) {
    if (!inSave_) throw Error(path_ + ": internal error: a write outside a save");
    std::vector<Range> ranges;
    for (Deferring* d : deferring_) {
        std::vector<Range> w = d->Waiting(0);
        ranges.insert(ranges.end(), w.begin(), w.end());
    }
    ranges.insert(ranges.end(), own.begin(), own.end());
    for (Deferring* d : deferring_) {
        std::vector<Range> w = d->Waiting(1);
        ranges.insert(ranges.end(), w.begin(), w.end());
    }
    if (ranges.empty()) return;
    // Apart, so that each write's bytes are its own: recovery tells a write that was made from
    // one that was not by them alone.
    std::vector<const Range*> sorted;
    for (const Range& r : ranges) sorted.push_back(&r);
    std::sort(sorted.begin(), sorted.end(), [](const Range* a, const Range* b) {
        return a->file != b->file ? a->file < b->file : a->offset < b->offset;
    });
    for (size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i]->file == sorted[i - 1]->file &&
            sorted[i - 1]->offset + sorted[i - 1]->data.size() > sorted[i]->offset)
            throw Error(sorted[i]->file->Path() + ": internal error: two writes of one save over " +
                        "the same bytes");
    Protect(ranges);
    for (Deferring* d : deferring_) d->WriteWaiting(0);
    for (const Range& r : own) r.file->WriteAt(r.offset, r.data.data(), r.data.size());
    for (Deferring* d : deferring_) d->WriteWaiting(1);
}

void Journal::Protect(const std::vector<Range>& ranges) {
    std::vector<uint8_t> out;
    if (end_ == 0) out = Header(save_);
    // Room for every record at once: the old bytes are at most the bytes written, and a
    // range's records take less than 128 bytes beside them and their piece CRCs.
    size_t room = out.size();
    for (const Range& r : ranges) room += 128 + r.data.size() + 4 * (r.data.size() / kPiece + 2);
    out.reserve(room);
    std::vector<Touched> touched;
    std::vector<Undo> undo;
    for (const Range& r : ranges) {
        if (r.data.empty()) continue;
        auto known = [&](const std::vector<Touched>& list) {
            return std::find_if(list.begin(), list.end(),
                                [&](const Touched& t) { return t.file == r.file; });
        };
        uint64_t sizeBefore = 0;
        uint16_t number = 0;
        if (auto it = known(touched_); it != touched_.end()) {
            sizeBefore = it->sizeBefore;
            number = static_cast<uint16_t>(it - touched_.begin());
        } else if (auto jt = known(touched); jt != touched.end()) {
            sizeBefore = jt->sizeBefore;
            number = static_cast<uint16_t>(touched_.size() + (jt - touched.begin()));
        } else {
            sizeBefore = KnownSize(*r.file);
            number = static_cast<uint16_t>(touched_.size() + touched.size());
            touched.push_back({r.file, sizeBefore, sizeBefore});
            const std::string name = FileName(r.file->Path());
            const size_t at = BeginRecord(out);
            Put32(out, save_);
            out.push_back(kFileRecord);
            Put64(out, sizeBefore);
            Put16(out, static_cast<uint16_t>(name.size()));
            out.insert(out.end(), name.begin(), name.end());
            EndRecord(out, at);
        }
        for (Touched* t : {FindTouched(touched_, r.file), FindTouched(touched, r.file)})
            if (t) t->end = std::max(t->end, r.offset + r.data.size());
        const size_t at = BeginRecord(out);
        Put32(out, save_);
        out.push_back(r.overFree ? kFreeRecord : kUndoRecord);
        Put16(out, number);
        Put64(out, r.offset);
        Put64(out, r.data.size());
        if (r.overFree) {
            EndRecord(out, at);
            continue;
        }
        // Bytes past the size before are new: the truncation undoes them.
        const uint64_t keep =
            r.offset >= sizeBefore ? 0 : std::min<uint64_t>(r.data.size(), sizeBefore - r.offset);
        Undo u{r.file, r.offset, std::vector<uint8_t>(static_cast<size_t>(keep))};
        if (keep) r.file->ReadAt(r.offset, u.bytes.data(), u.bytes.size());
        out.insert(out.end(), u.bytes.begin(), u.bytes.end());
        ForEachPiece(r.offset, keep, [&](uint64_t start, uint64_t length) {
            Put32(out, Crc32(r.data.subspan(static_cast<size_t>(start - r.offset),
                                            static_cast<size_t>(length))));
        });
        EndRecord(out, at);
        if (keep) undo.push_back(std::move(u));
    }
    if (out.empty()) return;
    if (!file_) file_ = fs_.Open(path_, OpenMode::kCreate);
    // From the first byte written, the journal may read as an unfinished save.
    pending_ = true;
    file_->WriteAt(end_, out.data(), out.size());
    end_ += out.size();
    touched_.insert(touched_.end(), touched.begin(), touched.end());
    for (Undo& u : undo) undo_.push_back(std::move(u));
}

void Journal::Finish() {
    if (!inSave_) return;
    Write({});
    if (pending_) {
        const uint8_t zeros[kHeaderSize] = {};
        file_->WriteAt(0, zeros, sizeof zeros);
        pending_ = false;
    }
    inSave_ = false;
    for (const Touched& t : touched_) Remember(*t.file, std::max(t.sizeBefore, t.end));
    touched_.clear();
    undo_.clear();
}

uint64_t Journal::KnownSize(File& f) {
    for (const auto& [file, size] : sizes_)
        if (file == &f) return size;
    return f.Size();
}

void Journal::Remember(File& f, uint64_t size) {
    for (auto& [file, known] : sizes_)
        if (file == &f) {
            known = size;
            return;
        }
    sizes_.push_back({&f, size});
}

Journal::Touched* Journal::FindTouched(std::vector<Touched>& list, File* f) {
    for (Touched& t : list)
        if (t.file == f) return &t;
    return nullptr;
}

bool Journal::RollBack() noexcept {
    for (Deferring* d : deferring_) d->DropWaiting();
    if (!inSave_) return !pending_;
    inSave_ = false;
    try {
        for (auto it = undo_.rbegin(); it != undo_.rend(); ++it)
            it->file->WriteAt(it->offset, it->bytes.data(), it->bytes.size());
        for (const Touched& t : touched_) {
            if (t.file->Size() > t.sizeBefore) t.file->Truncate(t.sizeBefore);
            Remember(*t.file, t.sizeBefore);
        }
        if (pending_) {
            const uint8_t zeros[kHeaderSize] = {};
            file_->WriteAt(0, zeros, sizeof zeros);
            pending_ = false;
        }
    } catch (const std::exception&) {
        // pending_ stays set when anything was journaled: the next open undoes the save.
        sizes_.clear();
    }
    touched_.clear();
    undo_.clear();
    return !pending_;
}

std::unique_ptr<File> JournaledFile(std::unique_ptr<File> inner, Journal& journal) {
    return std::make_unique<JournaledFileImpl>(std::move(inner), journal);
}

Recovery RecoverTable(FileSystem& fs, const std::string& dbPath, bool lockHeld, File* heldDb) {
    const std::string journalPath = Journal::PathFor(dbPath);
    if (!fs.IsFile(journalPath)) return Recovery::kNone;
    std::vector<uint8_t> bytes;
    {
        auto j = fs.Open(journalPath, OpenMode::kRead);
        bytes = ReadWhole(*j);
    }
    Plan plan = ReadPlan(bytes, journalPath, dbPath);
    std::unique_ptr<File> lock;
    if (!lockHeld) {
        try {
            lock = fs.Open(dbPath, OpenMode::kReadWrite);
        } catch (const LockedError&) {
            return Recovery::kNone;  // another program has the table open for writing
        } catch (const IoError& e) {
            if (!plan.unfinished) return Recovery::kNone;
            throw IoError(dbPath +
                          ": a save was interrupted and must be undone before the "
                          "table is read, but the table cannot be written (" +
                          e.Message() + ")");
        }
        // Held by another open: the journal is that writer's, in use.
        if (!lock->TryLockForWriting()) return Recovery::kNone;
        // It may have finished its save and closed the table meanwhile.
        if (!fs.IsFile(journalPath)) return Recovery::kNone;
        auto j = fs.Open(journalPath, OpenMode::kRead);
        bytes = ReadWhole(*j);
        plan = ReadPlan(bytes, journalPath, dbPath);
    }
    Recovery result = plan.unfinished ? Recovery::kRolledBack : Recovery::kDiscarded;
    if (plan.unfinished) {
        const std::string folder = FolderOf(dbPath);
        std::vector<std::unique_ptr<File>> opened;
        std::vector<File*> files;
        for (const Plan::FileEntry& f : plan.files) {
            if (heldDb && LowerAscii(f.name) == LowerAscii(FileName(dbPath))) {
                files.push_back(heldDb);
                continue;
            }
            opened.push_back(fs.Open(folder + f.name, OpenMode::kReadWrite));
            files.push_back(opened.back().get());
        }
        if (!AsTheSaveLeftThem(plan, files)) {
            result = Recovery::kStale;
        } else {
            for (auto it = plan.undo.rbegin(); it != plan.undo.rend(); ++it)
                files[it->file]->WriteAt(it->offset, it->before.data(), it->before.size());
            for (size_t i = 0; i < files.size(); ++i) {
                if (files[i]->Size() > plan.files[i].sizeBefore)
                    files[i]->Truncate(plan.files[i].sizeBefore);
                // Restored bytes reach the disk before the journal that restores them goes.
                files[i]->Sync();
            }
        }
    }
    fs.Remove(journalPath);
    return result;
}

}  // namespace pq::paradox
