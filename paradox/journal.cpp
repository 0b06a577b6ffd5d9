#include "paradox/journal.h"

#include <algorithm>
#include <cstring>

#include "paradox/coding.h"
#include "paradox/error.h"

namespace pq::paradox {
namespace {

constexpr char kMagic[8] = {'P', 'Q', 'J', 'O', 'U', 'R', 'N', '1'};
constexpr size_t kHeaderSize = 16;
constexpr size_t kRecordHead = 8;  // length, CRC
constexpr uint8_t kFileRecord = 1;
constexpr uint8_t kUndoRecord = 2;
constexpr size_t kFileBodyFixed = 4 + 1 + 8 + 2;      // save, kind, size, name length
constexpr size_t kUndoBodyFixed = 4 + 1 + 2 + 8 + 8;  // save, kind, file, offset, length

void Put64(std::vector<uint8_t>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
uint64_t Get64(Bytes in, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | in[at + i];
    return v;
}

std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
std::string Folder(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}
std::string BaseName(const std::string& path) {
    const std::string name = FileName(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::vector<uint8_t> Header(uint32_t save) {
    std::vector<uint8_t> h(kMagic, kMagic + sizeof kMagic);
    Put32(h, save);
    Put32(h, Crc32(h));
    return h;
}

// Appends one record: its length and CRC, then the body.
void AddRecord(std::vector<uint8_t>& out, const std::vector<uint8_t>& body) {
    Put32(out, static_cast<uint32_t>(body.size()));
    Put32(out, Crc32(body));
    out.insert(out.end(), body.begin(), body.end());
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
        Bytes before;  // inside the size before the save
        Bytes after;   // what was written over `before`
    };
    std::vector<Undo> undo;
};

// REQUIRES: `bytes` outlives the plan (the undo records point into it).
Plan ReadPlan(Bytes bytes, const std::string& journalPath, const std::string& dbPath) {
    Plan plan;
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0 ||
        Crc32(bytes.first(12)) != GetU32(bytes, 12))
        return plan;
    plan.unfinished = true;
    const uint32_t save = GetU32(bytes, 8);
    const std::string base = LowerAscii(BaseName(dbPath));
    size_t at = kHeaderSize;
    while (bytes.size() - at >= kRecordHead) {
        const uint32_t length = GetU32(bytes, at);
        if (length < 5 || length > bytes.size() - at - kRecordHead) break;
        const Bytes body = bytes.subspan(at + kRecordHead, length);
        if (Crc32(body) != GetU32(bytes, at + 4) || GetU32(body, 0) != save) break;
        const uint8_t kind = body[4];
        if (kind == kFileRecord) {
            if (length < kFileBodyFixed || length != kFileBodyFixed + GetU16(body, 13)) break;
            const std::string name(reinterpret_cast<const char*>(body.data()) + kFileBodyFixed,
                                   length - kFileBodyFixed);
            // Only the table's own files, beside it: a journal never reaches anything else.
            const std::string lower = LowerAscii(name);
            if (lower != base + ".db" && lower != base + ".px" && lower != base + ".mb")
                throw Error(journalPath + ": the journal names the file '" + name +
                            "', which is not one of the table's; remove the journal to open "
                            "the table as it is");
            const uint64_t size = Get64(body, 5);
            plan.files.push_back({name, size, size});
        } else if (kind == kUndoRecord) {
            if (length < kUndoBodyFixed) break;
            const uint16_t file = GetU16(body, 5);
            const uint64_t offset = Get64(body, 7);
            const uint64_t written = Get64(body, 15);
            if (file >= plan.files.size() || offset > UINT64_MAX - written) break;
            Plan::FileEntry& f = plan.files[file];
            const uint64_t n =
                offset >= f.sizeBefore ? 0 : std::min(written, f.sizeBefore - offset);
            if (length != kUndoBodyFixed + 2 * n) break;
            f.end = std::max(f.end, offset + written);
            const Bytes data = body.subspan(kUndoBodyFixed);
            plan.undo.push_back({file, offset, data.first(n), data.subspan(n)});
        } else {
            break;
        }
        at += kRecordHead + length;
    }
    return plan;
}

// Whether the files hold nothing but what the save may have written: each size between the
// size before and the furthest write, each byte of each write inside the size before either
// the one that was there or one that the save wrote over it.
bool AsTheSaveLeftThem(const Plan& plan, const std::vector<std::unique_ptr<File>>& files) {
    for (size_t i = 0; i < files.size(); ++i) {
        const uint64_t size = files[i]->Size();
        if (size < plan.files[i].sizeBefore || size > plan.files[i].end) return false;
    }
    // Bytes that their own write does not explain (file, offset, value now); another write of
    // the save over the same byte may.
    struct Odd {
        uint16_t file;
        uint64_t at;
        uint8_t now;
    };
    std::vector<Odd> odd;
    for (const Plan::Undo& u : plan.undo) {
        std::vector<uint8_t> now(u.before.size());
        if (!now.empty()) files[u.file]->ReadAt(u.offset, now.data(), now.size());
        for (size_t k = 0; k < now.size(); ++k)
            if (now[k] != u.before[k] && now[k] != u.after[k])
                odd.push_back({u.file, u.offset + k, now[k]});
    }
    for (const Odd& b : odd) {
        bool explained = false;
        for (const Plan::Undo& u : plan.undo) {
            if (u.file != b.file || b.at < u.offset || b.at - u.offset >= u.before.size()) continue;
            const size_t k = static_cast<size_t>(b.at - u.offset);
            explained = explained || b.now == u.before[k] || b.now == u.after[k];
        }
        if (!explained) return false;
    }
    return true;
}

std::vector<uint8_t> ReadWhole(File& f) {
    std::vector<uint8_t> bytes(static_cast<size_t>(f.Size()));
    if (!bytes.empty()) f.ReadAt(0, bytes.data(), bytes.size());
    return bytes;
}

class JournaledFileImpl : public File {
  public:
    JournaledFileImpl(std::unique_ptr<File> inner, Journal& journal)
        : File(inner->Path()), inner_(std::move(inner)), journal_(journal) {}
    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        inner_->ReadAt(offset, buffer, n);
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        if (journal_.InSave())
            journal_.Protect({{inner_.get(), offset, Bytes(static_cast<const uint8_t*>(data), n)}});
        inner_->WriteAt(offset, data, n);
    }
    uint64_t Size() override { return inner_->Size(); }
    void Truncate(uint64_t size) override {
        if (journal_.InSave())
            throw Error(Path() + ": internal error: a truncation inside a save is not journaled");
        inner_->Truncate(size);
    }
    void Sync() override { inner_->Sync(); }
    bool TryLockForWriting() override { return inner_->TryLockForWriting(); }

  private:
    std::unique_ptr<File> inner_;
    Journal& journal_;
};

}  // namespace

std::string Journal::PathFor(const std::string& dbPath) {
    return Folder(dbPath) + BaseName(dbPath) + ".pqj";
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

void Journal::Protect(const std::vector<Range>& ranges) {
    if (!inSave_) throw Error(path_ + ": internal error: a write outside a save");
    std::vector<uint8_t> out;
    if (end_ == 0) out = Header(save_);
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
            sizeBefore = r.file->Size();
            number = static_cast<uint16_t>(touched_.size() + touched.size());
            touched.push_back({r.file, sizeBefore});
            const std::string name = FileName(r.file->Path());
            std::vector<uint8_t> body;
            Put32(body, save_);
            body.push_back(kFileRecord);
            Put64(body, sizeBefore);
            Put16(body, static_cast<uint16_t>(name.size()));
            body.insert(body.end(), name.begin(), name.end());
            AddRecord(out, body);
        }
        // Bytes past the size before are new: the truncation undoes them.
        const uint64_t keep =
            r.offset >= sizeBefore ? 0 : std::min<uint64_t>(r.data.size(), sizeBefore - r.offset);
        Undo u{r.file, r.offset, std::vector<uint8_t>(static_cast<size_t>(keep))};
        if (keep) r.file->ReadAt(r.offset, u.bytes.data(), u.bytes.size());
        std::vector<uint8_t> body;
        body.reserve(kUndoBodyFixed + 2 * u.bytes.size());
        Put32(body, save_);
        body.push_back(kUndoRecord);
        Put16(body, number);
        Put64(body, r.offset);
        Put64(body, r.data.size());
        body.insert(body.end(), u.bytes.begin(), u.bytes.end());
        body.insert(body.end(), r.data.begin(), r.data.begin() + static_cast<ptrdiff_t>(keep));
        AddRecord(out, body);
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
    if (pending_) {
        const uint8_t zeros[kHeaderSize] = {};
        file_->WriteAt(0, zeros, sizeof zeros);
        pending_ = false;
    }
    inSave_ = false;
    touched_.clear();
    undo_.clear();
}

bool Journal::RollBack() noexcept {
    if (!inSave_) return !pending_;
    inSave_ = false;
    try {
        for (auto it = undo_.rbegin(); it != undo_.rend(); ++it)
            it->file->WriteAt(it->offset, it->bytes.data(), it->bytes.size());
        for (const Touched& t : touched_)
            if (t.file->Size() > t.sizeBefore) t.file->Truncate(t.sizeBefore);
        if (pending_) {
            const uint8_t zeros[kHeaderSize] = {};
            file_->WriteAt(0, zeros, sizeof zeros);
            pending_ = false;
        }
    } catch (const std::exception&) {
        // pending_ stays set when anything was journaled: the next open undoes the save.
    }
    touched_.clear();
    undo_.clear();
    return !pending_;
}

std::unique_ptr<File> JournaledFile(std::unique_ptr<File> inner, Journal& journal) {
    return std::make_unique<JournaledFileImpl>(std::move(inner), journal);
}

Recovery RecoverTable(FileSystem& fs, const std::string& dbPath, bool lockHeld) {
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
        const std::string folder = Folder(dbPath);
        std::vector<std::unique_ptr<File>> files;
        for (const Plan::FileEntry& f : plan.files)
            files.push_back(fs.Open(folder + f.name, OpenMode::kReadWrite));
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
