// The undo journal that makes each save of a table all or nothing when the process is killed
// in the middle of it (the design is in paradox/CRASH_SAFETY.md).
//
// While a save runs, every write to the table's files (.DB, .PX, .MB, secondary indexes) is
// preceded by a record of the bytes it is about to overwrite, appended to "<table>.pqj" beside
// the .DB and on the file before the write starts. When the save is over the journal is
// marked done (one small write); a journal found still in progress when the table is next
// opened is played backwards, which gives every file its bytes and size from before that
// save. Nothing is synced during a save: a killed process loses none of the writes it made
// (they are in the system's cache), which is all the ordering needs. Recovery syncs what it
// restores.
//
// Ownership: a Journal belongs to one open table and owns its journal file, which it creates
// at the first save and removes when it is destroyed, unless a save was left unfinished (a
// failed write whose undoing failed too): that journal stays for the next open to recover.
// The files it protects belong to the table and must outlive each save.
//
// Journal file (integers little-endian):
//   | off | size | meaning                                                                 |
//   |-----|------|-------------------------------------------------------------------------|
//   | 0   | 8    | "PQJOURN2" while a save is in progress; zeros once it is done            |
//   | 8   | u32  | the save's number, repeated in each of its records                       |
//   | 12  | u32  | CRC-32 of bytes 0..11                                                    |
//   | 16  |      | records, one after the other                                             |
// Record:
//   | 0   | u32  | body length L                                                           |
//   | 4   | u32  | CRC-32C of the body (not CRC-32: see RecordCheck in journal.cpp)        |
//   | 8   | L    | body: u32 save number, u8 kind, then by kind:                           |
//   |     |      |   1 file: u64 its size before the save, u16 n, the file's name (n bytes) |
//   |     |      |   2 write: u16 file (0-based, order of the file records), u64 offset,   |
//   |     |      |     u64 length of the write; then, of its part inside the size before   |
//   |     |      |     (n bytes, maybe none): the n bytes that were there, and a u32 CRC-32 |
//   |     |      |     of what is written over each piece of it (pieces end at the file's  |
//   |     |      |     4 KiB boundaries)                                                    |
//   |     |      |   3 write over free space: u16 file, u64 offset, u64 length (nothing to  |
//   |     |      |     restore: the space is free again once the other writes are undone)   |
// Records of a save follow its header without gaps; reading stops at the first record that
// is cut short, fails its check or carries another save's number (a write that never
// finished, or what is left of an earlier, longer save). A record is complete before the
// write it protects begins, so every write that may have happened has its record. A journal
// headed "PQJOURN1" (the version before) is read alike, its records checked with CRC-32.
//
// Before undoing, recovery checks that the files are as the save could have left them: each
// piece of each write what was there or what was written (by its CRC), each size between the
// size before and the end of the writes. Otherwise another program changed the table after the save
// was interrupted (the host application opens its tables without this engine); undoing would
// destroy its changes, so the files stay as they are and the journal is removed. A write over
// free space (kind 3) is neither checked nor restored: only its reach counts, for the sizes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "paradox/coding.h"
#include "paradox/file.h"

namespace pq::paradox {

class Journal {
  public:
    // A range of a file that a save is about to overwrite.
    struct Range {
        File* file;
        uint64_t offset;
        Bytes data;  // what will be written there
        // The bytes lie in the file's free space (File::WriteOverFree): their old contents are
        // not kept, as undoing the save makes the space free again whatever it holds.
        bool overFree = false;
    };

    // The journal of the table whose .DB is `dbPath`: the same name with extension ".pqj".
    static std::string PathFor(const std::string& dbPath);

    Journal(FileSystem& fs, const std::string& dbPath);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Starts a save. REQUIRES: no save in progress.
    void Begin();

    // A file whose writes during a save wait in memory (and are read back from there) until
    // the journal protects them with the save's other writes, so that a save costs one journal
    // write. Writes made before Later() go to the file before the save's own ranges (see
    // Write), those made after it after them.
    class Deferring {
      public:
        virtual ~Deferring() = default;
        // The waiting writes of one phase (0 before, 1 after), in file order, apart.
        virtual std::vector<Range> Waiting(int phase) = 0;
        // Makes those of one phase (and forgets them, also on failure).
        virtual void WriteWaiting(int phase) = 0;
        // Forgets every waiting write unmade; the next ones go before again.
        virtual void DropWaiting() = 0;
        // From now on writes wait to be made after the ranges.
        virtual void Later() = 0;
    };
    // REQUIRES: `d` detaches before it is destroyed.
    void Attach(Deferring* d) { deferring_.push_back(d); }
    void Detach(Deferring* d);
    // The deferred files' next writes go after the next Write's ranges.
    void DeferLater();

    // Writes the deferred files' earlier writes, the ranges, then the deferred files' later
    // writes, in that order, after recording in one write to the journal what each of them
    // overwrites (only the bytes inside the file's size before the save: what lies beyond goes
    // with the file's truncation) and a check of what it writes. IoError from the journal (then
    // nothing was written) or from a file. REQUIRES: a save in progress; no two of these writes
    // over the same bytes (Error otherwise: the deferred files keep theirs apart).
    void Write(const std::vector<Range>& ranges);
    // The save is complete (writes still deferred are made first): the journal is marked done.
    // IoError when it cannot be; the save is then still undone by the next open (or by RollBack).
    void Finish();
    // Drops the deferred writes and undoes the save's writes through the files (the records
    // are also kept in memory), then marks the journal done. True when everything was restored;
    // false when a write failed, which leaves the journal in progress for the next open. Never
    // throws.
    bool RollBack() noexcept;

    bool InSave() const { return inSave_; }
    // Whether the journal file holds a save that was neither finished nor undone.
    bool Pending() const { return pending_; }

  private:
    struct Undo {
        File* file;
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    struct Touched {
        File* file;
        uint64_t sizeBefore;
        uint64_t end;  // the furthest a write of this save reaches
    };
    // File sizes as this journal's saves left them (the files are written through it alone
    // while the table is open), so a save asks the system for none of them.
    uint64_t KnownSize(File& f);
    void Remember(File& f, uint64_t size);
    static Touched* FindTouched(std::vector<Touched>& list, File* f);
    // Records what the ranges overwrite and what they write.
    void Protect(const std::vector<Range>& ranges);

    FileSystem& fs_;
    std::string path_;
    std::unique_ptr<File> file_;
    uint32_t save_ = 0;
    bool inSave_ = false;
    bool pending_ = false;  // the journal file holds an unfinished save
    uint64_t end_ = 0;      // where the next record goes
    std::vector<Touched> touched_;
    std::vector<Undo> undo_;
    std::vector<std::pair<File*, uint64_t>> sizes_;
    std::vector<Deferring*> deferring_;
};

// A File whose writes during a save of `journal` wait, deferred, until the journal protects
// them (reads see them at once); outside a save it writes through. A truncation during a save
// is an Error. REQUIRES: the journal outlives the file.
std::unique_ptr<File> JournaledFile(std::unique_ptr<File> inner, Journal& journal);

enum class Recovery {
    kNone,        // no journal, or one that another writer is using
    kDiscarded,   // a journal that held no unfinished save was removed
    kRolledBack,  // an unfinished save was undone
    kStale,       // the files changed after the save was interrupted: left as they are
};

// Brings the table at `dbPath` back to its state before an unfinished save, if its journal
// holds one, and removes the journal. `lockHeld`: the caller holds the table's write lock;
// otherwise the lock is taken for the recovery, and when another open holds it the journal is
// that writer's and is left alone. `heldDb`: the caller's open of the .DB for writing, used
// for it instead of a second open (which the system refuses where the engine shares its files
// for reading only). IoError when the files cannot be written; Error when the journal names
// files that are not this table's.
Recovery RecoverTable(FileSystem& fs, const std::string& dbPath, bool lockHeld,
                      File* heldDb = nullptr);

}  // namespace pq::paradox
