// Write locking: a table open for writing refuses a second writer, in this process or another
// (a forked child here; under Wine, tests/reliability/lock_win_test.cpp), with an error that
// names the table; readers still open it and leave its journal to its writer; the lock ends
// with the writer, also when the writer is killed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "paradox/error.h"
#include "paradox/journal.h"
#include "paradox/table.h"
#include "tabledb/errors.h"
#include "tabledb/session.h"
#include "tabledb/table.h"
#include "tests/paradox/table_test_support.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"
#endif

namespace pq::paradox {
namespace {

using testing::F;
using ::testing::HasSubstr;
using testing::InsertRow;
using ::testing::IsEmpty;
using testing::MakeSchema;
namespace fsys = std::filesystem;

Schema Keyed() {
    return MakeSchema({F("Numero", FieldType::kLong), F("Texto", FieldType::kMemo, 20)}, 1);
}

std::string LockMessage(FileSystem& fs, const std::string& path) {
    try {
        Table::Open(fs, path);
    } catch (const LockedError& e) {
        return e.what();
    }
    return "opened";
}

TEST(Locking, ASecondWriterInTheSameProcessIsRefusedAReaderIsNot) {
    MemoryFileSystem fs;
    auto writer = Table::Create(fs, "/h/Bio.db", Keyed());
    InsertRow(*writer, {Value::Integer(1), Value::Text("um texto bem mais longo que o líder")});
    EXPECT_EQ(LockMessage(fs, "/h/Bio.db"), "/h/Bio.db: table is in use by another program");
    OpenOptions read;
    read.readOnly = true;
    auto reader = Table::Open(fs, "/h/Bio.db", read);
    EXPECT_EQ(reader->RecordCount(), 1u);
    writer.reset();
    auto second = Table::Open(fs, "/h/Bio.db");
    InsertRow(*second, {Value::Integer(2), Value()});
    EXPECT_EQ(second->RecordCount(), 2u);
}

// A reader that finds a journal while a writer holds the table must not undo it: it may be
// the writer's save in progress.
TEST(Locking, AReaderLeavesTheJournalOfAnActiveWriterAlone) {
    MemoryFileSystem fs;
    { auto t = Table::Create(fs, "/h/Bio.db", Keyed()); }
    auto writer = Table::Open(fs, "/h/Bio.db");
    // A save's journal as a kill would leave it, from a twin of the table.
    MemoryFileSystem twin;
    {
        auto t = Table::Create(twin, "/h/Bio.db", Keyed());
        twin.SetWriteBudget(1);
        EXPECT_THROW(InsertRow(*t, {Value::Integer(1), Value::Text(std::string(500, 'x'))}),
                     IoError);
    }
    fs.Bytes("/h/Bio.pqj") = twin.Bytes("/h/Bio.pqj");
    EXPECT_EQ(RecoverTable(fs, "/h/Bio.db", /*lockHeld=*/false), Recovery::kNone);
    OpenOptions read;
    read.readOnly = true;
    EXPECT_NO_THROW(Table::Open(fs, "/h/Bio.db", read));
    EXPECT_TRUE(fs.IsFile("/h/Bio.pqj"));
    writer.reset();
    EXPECT_EQ(RecoverTable(fs, "/h/Bio.db", false), Recovery::kRolledBack);
}

// The table adapter gives the program's engine error with the "locked" code.
TEST(Locking, TheAdapterReportsALockedTableAsAnEngineError) {
    MemoryFileSystem fs;
    auto writer = Table::Create(fs, "/h/Mat.db", Keyed());
    tabledb::Session session(fs);
    session.DefineStandardAlias("AliasFEMat", "/h", "Paradox");
    tabledb::Table dest(session, "TableDest");
    dest.SetDatabaseName("AliasFEMat");
    dest.SetTableName("Mat.db");
    try {
        dest.SetActive(true);
        ADD_FAILURE() << "opened";
    } catch (const tabledb::EDBEngineError& e) {
        EXPECT_EQ(e.ErrorCode(), tabledb::errc::kLocked);
        EXPECT_STREQ(e.what(), "/h/Mat.db: table is in use by another program");
    }
}

#ifndef _WIN32

using ::pq::testing::TempDir;

// A child process that holds the table open for writing until it is killed.
class Holder {
  public:
    explicit Holder(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            char ok = 'n';
            try {
                auto t = Table::Open(OsFileSystem(), path);
                ok = 'y';
                (void)!write(ready[1], &ok, 1);
                for (;;) pause();
            } catch (...) {
                (void)!write(ready[1], &ok, 1);
            }
            _exit(1);
        }
        close(ready[1]);
        char c = 0;
        // Blocks until the child has the table open (or failed): no timing involved.
        opened_ = read(ready[0], &c, 1) == 1 && c == 'y';
        close(ready[0]);
    }
    ~Holder() { Kill(); }
    bool opened() const { return opened_; }
    void Kill() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    bool opened_ = false;
};

TEST(Locking, AnotherProcessHoldingTheTableRefusesWritersUntilItIsKilled) {
    TempDir dir("pq-lock");
    const std::string path = (dir.path / "Física.db").string();
    { auto t = Table::Create(OsFileSystem(), path, Keyed()); }
    Holder holder(path);
    ASSERT_TRUE(holder.opened());
    EXPECT_EQ(LockMessage(OsFileSystem(), path), path + ": table is in use by another program");
    OpenOptions read;
    read.readOnly = true;
    EXPECT_NO_THROW(Table::Open(OsFileSystem(), path, read));
    holder.Kill();
    auto t = Table::Open(OsFileSystem(), path);
    InsertRow(*t, {Value::Integer(7), Value::Text(std::string(100, 'q'))});
    EXPECT_THAT(t->Check(), IsEmpty());
}

TEST(Locking, TwoOpensOfOneFileInOneProcessExcludeEachOther) {
    TempDir dir("pq-lock");
    const std::string path = (dir.path / "Geo.db").string();
    auto first = Table::Create(OsFileSystem(), path, Keyed());
    EXPECT_THAT(LockMessage(OsFileSystem(), path), HasSubstr("Geo.db: table is in use"));
    first.reset();
    EXPECT_EQ(LockMessage(OsFileSystem(), path), "opened");
}

#endif

}  // namespace
}  // namespace pq::paradox
