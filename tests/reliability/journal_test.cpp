// Saves that fail or are cut off at any write: the Nth write fails for every N during an
// update, an insert that splits a block, a key change, a blob replacement, a delete, on plain
// and encrypted tables. Every time, the table reopens valid and holds either the old or the new
// record. A write failing alone is undone at once, without a reopen. Recovery copes with torn
// journals, refuses journals that name other files and leaves alone tables that another
// program changed after the interruption.
#include "paradox/journal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "paradox/error.h"
#include "paradox/table.h"
#include "tests/paradox/table_test_support.h"

namespace pq::paradox {
namespace {

using testing::F;
using ::testing::HasSubstr;
using testing::InsertRow;
using ::testing::IsEmpty;
using testing::MakeSchema;
using testing::ReadAll;
using testing::Row;

constexpr const char* kPath = "/h/Questoes.db";
constexpr const char* kJournal = "/h/Questoes.pqj";

std::vector<uint8_t> Picture(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed * 31 + i * 7 + (i >> 9));
    return v;
}

std::string Words(int i, size_t n) {
    std::string s;
    while (s.size() < n) s += "questão " + std::to_string(i) + " ";
    s.resize(n);
    // Whole characters only: no accented letter cut in two.
    while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0x80)) s.pop_back();
    return s;
}

// A question-like keyed table: number (key), text, memo, picture.
Schema KeyedSchema() {
    return MakeSchema({F("Numero", FieldType::kLong), F("Texto", FieldType::kAlpha, 60),
                       F("Enunciado", FieldType::kMemo, 20), F("Figura", FieldType::kGraphic, 10)},
                      1, 1024);
}

Row KeyedRow(int n, int edition, size_t memo = 300, size_t picture = 0) {
    return {Value::Integer(n),
            Value::Text("texto " + std::to_string(n) + "/" + std::to_string(edition)),
            Value::Text(Words(n + edition, memo)),
            picture ? Value::Bytes(Picture(picture, static_cast<uint8_t>(n + edition))) : Value()};
}

// One kind of save over one kind of table.
struct Scenario {
    const char* name;
    std::function<void(MemoryFileSystem&)> make;  // the table before
    std::function<void(Table&)> save;             // the save under test
};

void MakeKeyed(MemoryFileSystem& fs, const std::string& password = "") {
    CreateOptions options;
    options.password = password;
    auto t = Table::Create(fs, kPath, KeyedSchema(), options);
    // Even numbers only, so that odd ones insert between them; a few big pictures.
    for (int n = 2; n <= 60; n += 2) InsertRow(*t, KeyedRow(n, 0, 200, n % 10 == 0 ? 9000 : 0));
}

void Seek(Table& t, int n) {
    if (!t.SeekKey({Value::Integer(n)})) throw std::runtime_error("no record " + std::to_string(n));
}

void Update(Table& t, int n, const Row& row) {
    Seek(t, n);
    t.Edit();
    for (size_t i = 1; i < row.size(); ++i) t.Set(i, row[i]);
    t.Post();
}

std::vector<Scenario> Scenarios() {
    return {
        {"update in place, memo replaced by a longer one", [](auto& fs) { MakeKeyed(fs); },
         [](Table& t) { Update(t, 20, KeyedRow(20, 1, 900)); }},
        {"insert that splits a full block", [](auto& fs) { MakeKeyed(fs); },
         [](Table& t) { InsertRow(t, KeyedRow(7, 1, 400, 3000)); }},
        {"insert past the last record", [](auto& fs) { MakeKeyed(fs); },
         [](Table& t) { InsertRow(t, KeyedRow(99, 1, 100)); }},
        {"key change moving the record to another block", [](auto& fs) { MakeKeyed(fs); },
         [](Table& t) {
             Seek(t, 4);
             t.Edit();
             t.Set(0, Value::Integer(57));
             t.Post();
         }},
        {"picture replaced, the old single-blob block freed", [](auto& fs) { MakeKeyed(fs); },
         [](Table& t) { Update(t, 30, KeyedRow(30, 1, 200, 20000)); }},
        {"picture removed, its block freed", [](auto& fs) { MakeKeyed(fs); },
         [](Table& t) { Update(t, 40, KeyedRow(40, 1, 200, 0)); }},
        {"delete with blobs", [](auto& fs) { MakeKeyed(fs); },
         [](Table& t) {
             Seek(t, 50);
             t.Delete();
         }},
        {"encrypted table: insert with a split", [](auto& fs) { MakeKeyed(fs, "segredo"); },
         [](Table& t) { InsertRow(t, KeyedRow(11, 1, 700, 2500)); }},
        {"unkeyed table with an auto-increment: append into a new block",
         [](auto& fs) {
             auto t = Table::Create(
                 fs, kPath,
                 MakeSchema({F("Codigo", FieldType::kAutoInc), F("Texto", FieldType::kAlpha, 200),
                             F("Nota", FieldType::kMemo, 20)},
                            0, 1024));
             for (int i = 0; i < 15; ++i)
                 InsertRow(*t, {Value(), Value::Text(Words(i, 150)), Value::Text(Words(i, 50))});
         },
         [](Table& t) {
             InsertRow(t, {Value(), Value::Text("nova"), Value::Text(Words(9, 3000))});
         }},
    };
}

OpenOptions Passwords() {
    OpenOptions o;
    o.passwords = {"segredo"};
    return o;
}

std::vector<Row> Contents(MemoryFileSystem& fs, std::vector<std::string>* problems = nullptr,
                          bool recover = true) {
    OpenOptions o = Passwords();
    o.readOnly = true;
    o.recover = recover;
    auto t = Table::Open(fs, kPath, o);
    if (problems) *problems = t->Check();
    return ReadAll(*t);
}

std::vector<Row> Initial(const Scenario& s) {
    MemoryFileSystem fs;
    s.make(fs);
    return Contents(fs);
}

// The contents the save gives when nothing fails, and the number of writes it takes.
std::pair<std::vector<Row>, long long> Reference(const Scenario& s) {
    MemoryFileSystem fs;
    s.make(fs);
    auto t = Table::Open(fs, kPath, Passwords());
    fs.SetWriteBudget(-1);
    const long long before = fs.WritesDone();
    s.save(*t);
    const long long writes = fs.WritesDone() - before;
    t.reset();
    EXPECT_FALSE(fs.IsFile(kJournal)) << "a closed table keeps no journal";
    return {Contents(fs), writes};
}

// Every write of the save fails in turn, and every later one with it, as when the process is
// killed right after the Nth write: the next open gives the old table (the save did not
// return), valid; the new one once every write succeeded.
TEST(CrashSafety, EveryWriteOfEverySaveFailingLeavesTheOldOrTheNewTable) {
    for (const Scenario& s : Scenarios()) {
        SCOPED_TRACE(s.name);
        const auto [after, writes] = Reference(s);
        ASSERT_GT(writes, 2) << "the save is journaled";
        ASSERT_NE(after, Initial(s));
        for (long long n = 0; n <= writes; ++n) {
            SCOPED_TRACE("writes allowed: " + std::to_string(n));
            MemoryFileSystem fs;
            s.make(fs);
            const std::vector<Row> before = Contents(fs);
            bool failed = false;
            {
                auto t = Table::Open(fs, kPath, Passwords());
                fs.SetWriteBudget(n);
                try {
                    s.save(*t);
                } catch (const IoError&) {
                    failed = true;
                }
            }
            fs.SetWriteBudget(-1);
            EXPECT_EQ(failed, n < writes);
            {
                auto t = Table::Open(fs, kPath, Passwords());  // recovers
                std::vector<std::string> warnings;             // no blob is left without its record
                EXPECT_THAT(t->Check(&warnings), IsEmpty());
                EXPECT_THAT(warnings, IsEmpty());
                EXPECT_EQ(ReadAll(*t), failed ? before : after);
            }
            EXPECT_FALSE(fs.IsFile(kJournal));
        }
    }
}

// A write that fails alone (a full disk for a moment): the save is undone on the files at
// once, so the table is valid and old without a reopen, and no journal is pending.
TEST(CrashSafety, AWriteFailingAloneIsUndoneAtOnce) {
    for (const Scenario& s : Scenarios()) {
        SCOPED_TRACE(s.name);
        const auto [after, writes] = Reference(s);
        for (long long n = 0; n < writes; ++n) {
            SCOPED_TRACE("failing write: " + std::to_string(n));
            MemoryFileSystem fs;
            s.make(fs);
            const std::vector<Row> before = Contents(fs);
            auto t = Table::Open(fs, kPath, Passwords());
            fs.FailOneWrite(n);
            EXPECT_THROW(s.save(*t), IoError);
            std::vector<std::string> problems;
            EXPECT_EQ(Contents(fs, &problems, /*recover=*/false), before);
            EXPECT_THAT(problems, IsEmpty());
            // The journal is marked done: a recovering open finds nothing to undo.
            EXPECT_EQ(RecoverTable(fs, kPath, true), Recovery::kDiscarded);
        }
    }
}

// A save whose write failed (a full disk for a moment) is undone on the files at once; the
// table then refuses writes until reopened, and reopened it takes the same save.
TEST(CrashSafety, AFailedSaveIsRedoneAfterReopening) {
    MemoryFileSystem fs;
    MakeKeyed(fs);
    const std::vector<Row> before = Contents(fs);
    auto t = Table::Open(fs, kPath);
    const auto save = [](Table& table) {
        Seek(table, 30);
        table.Edit();
        table.Set(3, Value::Bytes(Picture(15000, 9)));
        table.Post();
    };
    fs.FailOneWrite(1);  // the journal, then the first write of the save
    EXPECT_THROW(save(*t), IoError);
    EXPECT_EQ(Contents(fs, nullptr, /*recover=*/false), before);
    try {
        t->Append();
        ADD_FAILURE() << "writable after a failed write";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("an earlier write failed"));
    }
    t.reset();
    t = Table::Open(fs, kPath);
    save(*t);
    Seek(*t, 30);
    EXPECT_EQ(t->Get(3), Value::Bytes(Picture(15000, 9)));
    EXPECT_THAT(t->Check(), IsEmpty());
}

// The same journal as the version before wrote it: "PQJOURN1", each record checked with CRC-32.
std::vector<uint8_t> AsVersion1(std::vector<uint8_t> j) {
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) j[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    j[7] = '1';
    put32(12, Crc32(Bytes(j).first(12)));
    for (size_t at = 16; at + 8 <= j.size();) {
        const size_t length = j[at] | j[at + 1] << 8 | j[at + 2] << 16 | size_t{j[at + 3]} << 24;
        put32(at + 4, Crc32(Bytes(j).subspan(at + 8, length)));
        at += 8 + length;
    }
    return j;
}

// A kill while the journal itself was being written: the journal read back cut at every length
// undoes nothing that was not written, and the table stays as it was; a journal of the version
// before is read alike.
TEST(CrashSafety, ATornJournalUndoesOnlyWhatItProtected) {
    const Scenario s = Scenarios()[1];  // the split: several blocks and both headers
    MemoryFileSystem fs;
    s.make(fs);
    const std::vector<Row> before = Contents(fs);
    const char* files[] = {kPath, "/h/Questoes.px", "/h/Questoes.mb"};
    std::map<std::string, std::vector<uint8_t>> bytes;
    for (const char* f : files) bytes[f] = fs.Bytes(f);
    {
        auto t = Table::Open(fs, kPath);
        fs.SetWriteBudget(0);
        // Nothing reaches the files: the journal is made by hand below, from a save that does.
        EXPECT_THROW(s.save(*t), IoError);
    }
    fs.SetWriteBudget(-1);
    // The journal a complete save writes first, taken from a twin table.
    MemoryFileSystem twin;
    s.make(twin);
    {
        auto t = Table::Open(twin, kPath);
        twin.SetWriteBudget(1);  // the blob's journal record only
        EXPECT_THROW(s.save(*t), IoError);
    }
    ASSERT_GT(twin.Bytes(kJournal).size(), 32u);
    for (const std::vector<uint8_t>& journal :
         {twin.Bytes(kJournal), AsVersion1(twin.Bytes(kJournal))}) {
        SCOPED_TRACE(std::string(journal.begin(), journal.begin() + 8));
        for (size_t cut = 0; cut <= journal.size(); cut += 7) {
            fs.Bytes(kJournal).assign(journal.begin(), journal.begin() + cut);
            const Recovery r = RecoverTable(fs, kPath, true);
            EXPECT_EQ(r, cut >= 16 ? Recovery::kRolledBack : Recovery::kDiscarded) << cut;
            EXPECT_FALSE(fs.IsFile(kJournal));
            for (const char* f : files) EXPECT_EQ(fs.Bytes(f), bytes[f]) << f << " " << cut;
            EXPECT_EQ(Contents(fs), before);
        }
    }
}

// A journal torn at a page of the journal file over the journal of the save before, which
// changed the same bytes the other way with the same records: the record cut in two reads as
// the earlier save's old bytes (X) after the later save's first part. Where the record's own
// check and its pieces' checks were the same CRC, swapping X and Z at once in the old bytes and
// in the checks of what is written left the record's check true, and recovery wrote X back
// over bytes that had never stopped being Z. Cut at every 4 KiB of the journal: the files stay.
TEST(CrashSafety, AJournalTornOverTheSaveBeforeItUndoesNothingItDidNotProtect) {
    MemoryFileSystem fs;
    std::vector<uint8_t> x = Picture(20000, 3), z = x;
    z[2000] ^= 0x03;  // one byte changed, in the second record, past the journal's first page
    fs.Bytes(kPath) = x;
    const std::vector<uint8_t> first(2500, 0x11), again(2500, 0x22);
    Journal journal(fs, kPath);
    auto data = fs.Open(kPath, OpenMode::kReadWrite);
    const auto save = [&](const std::vector<uint8_t>& head, const std::vector<uint8_t>& to) {
        journal.Begin();
        journal.Write({{data.get(), 16384, Bytes(head)}, {data.get(), 0, Bytes(to).first(3000)}});
        journal.Finish();
    };
    save(first, z);  // X becomes Z
    const std::vector<uint8_t> earlier = fs.Bytes(kJournal), files = fs.Bytes(kPath);
    fs.SetWriteBudget(1);                   // the next save's journal is written, nothing else
    EXPECT_THROW(save(again, x), IoError);  // Z would become X again
    fs.SetWriteBudget(-1);
    const std::vector<uint8_t> later = fs.Bytes(kJournal);
    ASSERT_EQ(later.size(), earlier.size());
    ASSERT_GT(later.size(), 4096u);
    for (size_t cut = 4096; cut < later.size(); cut += 4096) {
        std::vector<uint8_t> torn(later.begin(), later.begin() + cut);
        torn.insert(torn.end(), earlier.begin() + cut, earlier.end());
        fs.Bytes(kJournal) = torn;
        EXPECT_EQ(RecoverTable(fs, kPath, true), Recovery::kRolledBack) << cut;
        EXPECT_TRUE(fs.Bytes(kPath) == files) << "bytes changed, journal cut at " << cut;
    }
}

// One save by hand over the table's blob file and data file: `stage` makes the blob file's
// writes (they wait in memory), then, with at most `allowed` writes reaching the files, the
// journal protects them with `batch` at offset 4 of the data file, `journaled` runs, and the
// save is marked done. True when the save was complete; a failed write ends it like a kill.
bool SaveUnderBudget(
    MemoryFileSystem& fs, long long allowed, const std::vector<uint8_t>& batch,
    const std::function<void(Journal&, File& mb)>& stage,
    const std::function<void()>& journaled = [] {}) {
    Journal journal(fs, kPath);
    auto mb = JournaledFile(fs.Open("/h/Questoes.mb", OpenMode::kReadWrite), journal);
    auto data = fs.Open(kPath, OpenMode::kReadWrite);
    journal.Begin();
    stage(journal, *mb);
    fs.SetWriteBudget(allowed);
    bool done = false;
    try {
        journal.Write({{data.get(), 4, Bytes(batch)}});
        journaled();
        journal.Finish();
        done = true;
    } catch (const IoError&) {
    }
    fs.SetWriteBudget(-1);
    return done;
}

// The blob file writing again, after the batch, bytes it wrote before it (a free beside a new
// blob): the journal keeps a save's writes apart, so a kill anywhere among them is undone and
// never taken for another program's change.
TEST(CrashSafety, WritesOverTheSameBytesBeforeAndAfterTheBatchAreUndone) {
    const std::vector<uint8_t> original(64, 0x11), first(16, 0xAA), second(16, 0xBB);
    const std::vector<uint8_t> db(16, 0x22), batch(8, 0xCC);
    for (long long allowed = 0; allowed <= 5; ++allowed) {
        SCOPED_TRACE("writes allowed: " + std::to_string(allowed));
        MemoryFileSystem fs;
        fs.Bytes("/h/Questoes.mb") = original;
        fs.Bytes(kPath) = db;
        // The journal, the blob file before, the data file, the blob file after, the mark.
        const bool done = SaveUnderBudget(fs, allowed, batch, [&](Journal& journal, File& mb) {
            mb.WriteAt(4, first.data(), first.size());
            journal.DeferLater();
            mb.WriteAt(12, second.data(), second.size());  // half over the first
            std::vector<uint8_t> seen(32);
            mb.ReadAt(0, seen.data(), seen.size());
            EXPECT_EQ(seen[11], 0xAA);
            EXPECT_EQ(seen[12], 0xBB);
            EXPECT_EQ(seen[27], 0xBB);
            EXPECT_EQ(fs.Bytes("/h/Questoes.mb"), original) << "nothing written yet";
        });
        EXPECT_EQ(done, allowed == 5);
        if (done) continue;
        EXPECT_EQ(RecoverTable(fs, kPath, true),
                  allowed == 0 ? Recovery::kDiscarded : Recovery::kRolledBack);
        EXPECT_EQ(fs.Bytes("/h/Questoes.mb"), original);
        EXPECT_EQ(fs.Bytes(kPath), db);
    }
}

// Blobs written into free space: their old bytes stay out of the journal (a 30 KB picture would
// otherwise cost 30 KB read and 30 KB journaled per save), and a kill at any write still
// undoes every other byte, the file's growth included. The space the blobs took is free again
// once the rest is undone, so what it holds does not matter.
TEST(CrashSafety, BytesWrittenOverFreeSpaceAreNotKeptButEverythingElseIsUndone) {
    std::vector<uint8_t> original(65536);
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 3 + 1);
    const std::vector<uint8_t> blob(20000, 0xAA), tail(8000, 0xCC), head(9, 0x55);
    const std::vector<uint8_t> freed(16, 0xBB), db(16, 0x22), batch(8, 0xDD);
    const auto outsideTheBlobs = [](size_t at) { return (at < 4105 || at >= 24105) && at < 60000; };
    // The journal; the blob file's earlier writes (the blob, its header beside it but apart,
    // the tail that grows the file); the data file; the later write; the done mark.
    constexpr long long kWrites = 7;
    for (long long allowed = 0; allowed <= kWrites; ++allowed) {
        SCOPED_TRACE("writes allowed: " + std::to_string(allowed));
        MemoryFileSystem fs;
        fs.Bytes("/h/Questoes.mb") = original;
        fs.Bytes(kPath) = db;
        const bool done = SaveUnderBudget(
            fs, allowed, batch,
            [&](Journal& journal, File& mb) {
                mb.WriteOverFree(4105, blob.data(), blob.size());
                mb.WriteAt(4096, head.data(), head.size());
                mb.WriteOverFree(60000, tail.data(), tail.size());
                journal.DeferLater();
                mb.WriteAt(100, freed.data(), freed.size());
            },
            [&] { EXPECT_LT(fs.Bytes(kJournal).size(), 1000u) << "no old bytes of the blobs"; });
        EXPECT_EQ(done, allowed == kWrites);
        const std::vector<uint8_t>& now = fs.Bytes("/h/Questoes.mb");
        if (done) {
            EXPECT_EQ(now.size(), 68000u);
            EXPECT_EQ(now[4105], 0xAA);
            EXPECT_EQ(now[100], 0xBB);
            continue;
        }
        EXPECT_EQ(RecoverTable(fs, kPath, true),
                  allowed == 0 ? Recovery::kDiscarded : Recovery::kRolledBack);
        ASSERT_EQ(now.size(), original.size()) << "the growth is cut off";
        for (size_t at = 0; at < now.size(); ++at)
            if (outsideTheBlobs(at)) {
                ASSERT_EQ(now[at], original[at]) << "byte " << at;
            }
        EXPECT_EQ(fs.Bytes(kPath), db);
    }
}

// A write over bytes a blob of the same save took from free space, or joined with it: the
// joined write is no longer only over free space, so its old bytes are kept and restored.
TEST(CrashSafety, AWriteOverlappingAFreeSpaceWriteKeepsTheOldBytes) {
    std::vector<uint8_t> original(16384);
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 5 + 2);
    const std::vector<uint8_t> blob(4096, 0xAA), over(10, 0x55);
    for (const bool blobFirst : {true, false}) {
        SCOPED_TRACE(blobFirst ? "the blob first" : "the blob last");
        MemoryFileSystem fs;
        fs.Bytes("/h/Questoes.mb") = original;
        {
            Journal journal(fs, kPath);
            auto mb = JournaledFile(fs.Open("/h/Questoes.mb", OpenMode::kReadWrite), journal);
            journal.Begin();
            if (blobFirst) mb->WriteOverFree(8192, blob.data(), blob.size());
            mb->WriteAt(10000, over.data(), over.size());
            if (!blobFirst) mb->WriteOverFree(8192, blob.data(), blob.size());
            fs.SetWriteBudget(2);  // the journal and the joined write, not the done mark
            journal.Write({});
            EXPECT_THROW(journal.Finish(), IoError);
            fs.SetWriteBudget(-1);
            EXPECT_GT(fs.Bytes(kJournal).size(), blob.size()) << "the old bytes are journaled";
            EXPECT_NE(fs.Bytes("/h/Questoes.mb"), original);
        }
        EXPECT_EQ(RecoverTable(fs, kPath, true), Recovery::kRolledBack);
        EXPECT_EQ(fs.Bytes("/h/Questoes.mb"), original);
    }
}

// The table's saves: a picture that takes the run another picture freed leaves its old bytes
// out of the journal, and the saves stay all or nothing (above).
TEST(CrashSafety, APictureWrittenWhereAnotherWasFreedIsNotJournaledTwice) {
    MemoryFileSystem fs;
    MakeKeyed(fs);
    auto t = Table::Open(fs, kPath);
    Update(*t, 30, KeyedRow(30, 1, 200, 9000));  // at the end of the file; the old run freed
    const size_t mb = fs.Bytes("/h/Questoes.mb").size();
    Update(*t, 40, KeyedRow(40, 1, 200, 9000));  // into that run
    EXPECT_EQ(fs.Bytes("/h/Questoes.mb").size(), mb) << "the freed run was taken";
    EXPECT_LT(fs.Bytes(kJournal).size(), 4000u);
    t.reset();
    EXPECT_EQ(Contents(fs)[19], KeyedRow(40, 1, 200, 9000));
}

// A kill during recovery itself: undoing again gives the same table.
TEST(CrashSafety, ARecoveryCutShortIsDoneAgainNextTime) {
    const Scenario s = Scenarios()[4];  // a picture replaced: every file written
    const auto [after, writes] = Reference(s);
    MemoryFileSystem fs;
    s.make(fs);
    const std::vector<Row> before = Contents(fs);
    {
        auto t = Table::Open(fs, kPath);
        fs.SetWriteBudget(writes - 1);  // everything written but the done mark
        EXPECT_THROW(s.save(*t), IoError);
    }
    std::map<std::string, std::vector<uint8_t>> interrupted;
    for (const char* f : {kPath, "/h/Questoes.px", "/h/Questoes.mb", kJournal})
        interrupted[f] = fs.Bytes(f);
    for (long long n = 0;; ++n) {
        SCOPED_TRACE("recovery writes allowed: " + std::to_string(n));
        for (const auto& [f, bytes] : interrupted) fs.Bytes(f) = bytes;
        fs.SetWriteBudget(n);
        bool cut = false;
        try {
            RecoverTable(fs, kPath, true);
        } catch (const IoError&) {
            cut = true;
        }
        fs.SetWriteBudget(-1);
        EXPECT_EQ(Contents(fs), before);
        std::vector<std::string> problems;
        Contents(fs, &problems);
        EXPECT_THAT(problems, IsEmpty());
        if (!cut) break;
        ASSERT_LT(n, 100);
    }
}

// A journal left by a kill, then the table changed by another program before this engine opens
// it again: undoing would destroy that program's change, so the files stay as they are.
TEST(CrashSafety, ATableChangedAfterTheInterruptionIsLeftAsItIs) {
    const Scenario s = Scenarios()[0];
    const auto [after, writes] = Reference(s);
    for (const char* change : {"a byte the save wrote", "the data file grown"}) {
        SCOPED_TRACE(change);
        MemoryFileSystem fs;
        s.make(fs);
        {
            auto t = Table::Open(fs, kPath);
            fs.SetWriteBudget(writes - 1);  // all but the journal's done mark
            EXPECT_THROW(s.save(*t), IoError);
        }
        fs.SetWriteBudget(-1);
        ASSERT_TRUE(fs.IsFile(kJournal));
        const bool byte = std::string(change) == "a byte the save wrote";
        std::vector<uint8_t>& file = fs.Bytes(byte ? "/h/Questoes.mb" : kPath);
        if (byte)
            file[3] = static_cast<uint8_t>(file[3] + 100);  // the modification count it stepped
        else
            file.resize(file.size() + 1024, 0);
        const std::vector<uint8_t> changed = file;
        EXPECT_EQ(RecoverTable(fs, kPath, true), Recovery::kStale);
        EXPECT_EQ(file, changed);
        EXPECT_FALSE(fs.IsFile(kJournal));
    }
}

TEST(CrashSafety, AJournalNamingAnotherFileIsRefused) {
    MemoryFileSystem fs;
    MakeKeyed(fs);
    fs.Bytes("/h/Other.db") = {1, 2, 3};
    // A twin table named Other leaves a journal that names Other's files; put beside ours.
    MemoryFileSystem twin;
    {
        auto t = Table::Create(twin, "/h/Other.db", KeyedSchema());
        twin.SetWriteBudget(1);
        EXPECT_THROW(InsertRow(*t, KeyedRow(1, 0)), IoError);
    }
    fs.Bytes(kJournal) = twin.Bytes("/h/Other.pqj");
    try {
        Table::Open(fs, kPath);
        ADD_FAILURE() << "opened";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("Questoes.pqj: the journal names the file 'Other."));
    }
    EXPECT_EQ(fs.Bytes("/h/Other.db"), (std::vector<uint8_t>{1, 2, 3}));
}

// Reading without recovery shows the files as the kill left them; a reading open that may
// recover undoes the save; neither leaves a journal of its own.
TEST(CrashSafety, ReadersRecoverUnlessToldNotTo) {
    const Scenario s = Scenarios()[1];
    const auto [after, writes] = Reference(s);
    MemoryFileSystem fs;
    s.make(fs);
    const std::vector<Row> before = Contents(fs);
    {
        auto t = Table::Open(fs, kPath);
        fs.SetWriteBudget(writes / 2);
        EXPECT_THROW(s.save(*t), IoError);
    }
    fs.SetWriteBudget(-1);
    const std::vector<uint8_t> journal = fs.Bytes(kJournal);
    std::vector<std::string> problems;
    try {
        Contents(fs, &problems, /*recover=*/false);
    } catch (const Error& e) {
        problems.push_back(e.what());
    }
    EXPECT_EQ(fs.Bytes(kJournal), journal) << "looking changes nothing";
    EXPECT_EQ(Contents(fs, &problems), before);
    EXPECT_THAT(problems, IsEmpty());
    EXPECT_FALSE(fs.IsFile(kJournal));
}

TEST(CrashSafety, JournalLivesBesideTheTableOnlyWhileItIsWritten) {
    EXPECT_EQ(Journal::PathFor("C:\\Farol\\Dados\\Matemática\\MatemáticaF.db"),
              "C:\\Farol\\Dados\\Matemática\\MatemáticaF.pqj");
    EXPECT_EQ(Journal::PathFor("/h/BIO.DB"), "/h/BIO.pqj");
    MemoryFileSystem fs;
    MakeKeyed(fs);
    {
        auto t = Table::Open(fs, kPath);
        EXPECT_FALSE(fs.IsFile(kJournal)) << "no save yet";
        InsertRow(*t, KeyedRow(3, 0));
        ASSERT_TRUE(fs.IsFile(kJournal));
        const std::vector<uint8_t>& journal = fs.Bytes(kJournal);
        ASSERT_GE(journal.size(), 16u);
        EXPECT_EQ(std::vector<uint8_t>(journal.begin(), journal.begin() + 8),
                  std::vector<uint8_t>(8, 0))
            << "between saves the journal is marked done";
    }
    EXPECT_FALSE(fs.IsFile(kJournal));
    // Creating a table over the name of a lost one drops that table's journal.
    fs.Bytes("/h/Novo.pqj") = fs.Bytes(kPath);
    auto t = Table::Create(fs, "/h/Novo.db", KeyedSchema());
    EXPECT_FALSE(fs.IsFile("/h/Novo.pqj"));
}

}  // namespace
}  // namespace pq::paradox
