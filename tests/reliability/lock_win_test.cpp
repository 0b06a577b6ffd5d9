// Write locking between two Windows processes under Wine: lock_probe.exe holds a table or
// tries to take it while this process holds it; the lock ends with its holder, also when the
// holder is terminated.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/table.h"
#include "tests/paradox/table_test_support.h"
#include "tests/support/probe_win.h"

namespace pq::paradox {
namespace {

using testing::F;
using testing::MakeSchema;
using pq::testing::Probe;

std::wstring Wide(const std::string& s) {
    const std::u16string w = text::Utf8ToUtf16(s);
    return std::wstring(w.begin(), w.end());
}

std::string Folder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    const std::wstring w = base;
    std::string dir = text::Utf16ToUtf8(std::u16string(w.begin(), w.end())) + "pq-lock-" +
                      std::to_string(GetCurrentProcessId());
    CreateDirectoryW(Wide(dir).c_str(), nullptr);
    return dir;
}

Schema Keyed() {
    return MakeSchema({F("Numero", FieldType::kLong), F("Texto", FieldType::kAlpha, 20)}, 1);
}

TEST(LockingBetweenProcesses, AWriterHereRefusesTheOtherProcess) {
    const std::string path = Folder() + "\\Química.db";
    DeleteFileW(Wide(path).c_str());
    auto t = Table::Create(OsFileSystem(), path, Keyed());
    {
        Probe probe("try", path);
        EXPECT_EQ(probe.Line(), path + ": table is in use by another program");
        EXPECT_EQ(probe.Exit(), 3u);
    }
    t.reset();
    Probe probe("try", path);
    EXPECT_EQ(probe.Line(), "opened");
    EXPECT_EQ(probe.Exit(), 0u);
}

// Held by this engine in another process, or by another program that keeps the table's file
// open for reading and writing (as the host's engine does): no writer here until it ends, and
// readers all along. And while a writer here has it, that program cannot write it.
TEST(LockingBetweenProcesses, TheOtherProcessHoldsItUntilTerminated) {
    for (const char* verb : {"hold", "share"}) {
        SCOPED_TRACE(verb);
        const std::string path = Folder() + "\\História.db";
        DeleteFileW(Wide(path).c_str());
        Table::Create(OsFileSystem(), path, Keyed()).reset();
        Probe holder(verb, path);
        ASSERT_EQ(holder.Line(), "held");
        try {
            Table::Open(OsFileSystem(), path);
            ADD_FAILURE() << "opened while held";
        } catch (const LockedError& e) {
            EXPECT_EQ(std::string(e.what()), path + ": table is in use by another program");
        }
        OpenOptions read;
        read.readOnly = true;
        EXPECT_NO_THROW(Table::Open(OsFileSystem(), path, read));
        holder.Terminate();
        auto t = Table::Open(OsFileSystem(), path);
        testing::InsertRow(*t, {Value::Integer(1), Value::Text("depois")});
        EXPECT_EQ(t->RecordCount(), 1u);
        Probe other("share", path);
        EXPECT_NE(other.Line(), "held");
        EXPECT_EQ(other.Exit(), 1u);
    }
}

}  // namespace
}  // namespace pq::paradox
