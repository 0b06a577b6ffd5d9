#include "install/merge.h"

#include <gtest/gtest.h>

#include "install/session_setup.h"
#include "install/subject_catalogue.h"
#include "paradox/file.h"
#include "tabledb/session.h"
#include "tabledb/table.h"
#include "tests/support/question_tables.h"

namespace pq::install {
namespace {

using testing::Question;
using testing::ReadAll;

// The window side of a merge: a bar, a pump that can press Cancel after k records.
class FakeHost : public MergeHost {
  public:
    int position = -1;
    int max = -1;
    int pumps = 0;
    int cancelAfterPumps = -1;
    bool cancel = false;
    void SetPartialPosition(int p) override { position = p; }
    void SetPartialMax(int m) override { max = m; }
    int PartialPosition() const override { return position; }
    void ProcessMessages() override {
        if (cancelAfterPumps >= 0 && pumps == cancelAfterPumps) cancel = true;
        ++pumps;
    }
    bool CancelRequested() const override { return cancel; }
};

constexpr char kProgram[] = "D:\\Medium\\";
constexpr char kHost[] = "C:\\Farol\\";

class MergeTest : public ::testing::Test {
  protected:
    paradox::MemoryFileSystem fs;
    tabledb::Session session{fs};
    tabledb::Table dest{session, "TableDest"};
    tabledb::Table source{session, "TableSource"};
    FakeHost host;

    void SetUp() override {
        PrepareSession(session, kProgram);
        source.SetDatabaseName("AliasZelanto");
        for (unsigned i = 0; i < 8; ++i) DefineSubjectAlias(session, kHost, i);
    }
    std::string HostPath(unsigned i, std::string_view s) { return HostTablePath(kHost, i, s); }
    std::string PackagePath(unsigned i, std::string_view s) {
        return std::string(kProgram) + "Questoes\\" + PackageTableName(i, s);
    }
    void Merge(unsigned i, std::string_view suffix) {
        OpenTablePair(dest, source, i, suffix);
        MergeTable(source, dest, host);
    }
};

TEST_F(MergeTest, UpdatesKnownQuestionsAppendsNewOnesAndKeepsAutoIncrement) {
    testing::MakeQuestionTable(fs, HostPath(5, ".db"),
                               {{100, "Quanto é 2 + 2?", "4", "A", 1},
                                {200, "Raiz de 9?", "3", "B", 2},
                                {300, "Pi?", "3,14", "C", 3}});
    testing::MakeQuestionTable(fs, PackagePath(5, ".db"),
                               {{200, "", "", "", 5},  // nulls overwrite
                                {400, "Área do círculo?", "3,14·r²", "D", 4}});
    Merge(5, ".db");
    EXPECT_EQ(host.max, 2);
    EXPECT_EQ(host.position, 2);
    EXPECT_TRUE(source.AtEnd());
    const auto rows = ReadAll(fs, HostPath(5, ".db"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][1], "int:100");
    EXPECT_EQ(rows[0][2], "text:Quanto é 2 + 2?");
    // The host's record 200 keeps its Codigo 2, its other fields take the package's (nulls too).
    EXPECT_EQ(rows[1], (std::vector<std::string>{"int:2", "int:200", "null", "null", "null",
                                                 "int:5", "null"}));
    // The new record got the engine's next auto-increment value, not the 1 written into it.
    EXPECT_EQ(rows[3][0], "int:4");
    EXPECT_EQ(rows[3][1], "int:400");
    EXPECT_EQ(rows[3][2], "text:Área do círculo?");
    EXPECT_EQ(rows[3][3], "text:3,14·r²");
}

TEST_F(MergeTest, FigureTablesMatchOnNomeAndCarryThePicture) {
    testing::MakeFigureTable(fs, HostPath(1, "F.db"),
                             {{"fig1", std::string(5000, 'a')}, {"fig2", "pequena"}});
    testing::MakeFigureTable(fs, PackagePath(1, "F.db"),
                             {{"fig2", std::string(40000, 'z')}, {"fig3", "nova"}});
    Merge(1, "F.db");
    auto t = paradox::Table::Open(fs, HostPath(1, "F.db"), {true, {}});
    ASSERT_EQ(t->RecordCount(), 3u);
    ASSERT_TRUE(t->SeekKey({paradox::Value::Text("fig2")}));
    EXPECT_EQ(t->Get(1).AsBytes(), std::vector<uint8_t>(40000, 'z'));
    ASSERT_TRUE(t->SeekKey({paradox::Value::Text("fig1")}));
    EXPECT_EQ(t->Get(1).AsBytes().size(), 5000u);
    ASSERT_TRUE(t->SeekKey({paradox::Value::Text("fig3")}));
    EXPECT_TRUE(t->Check().empty());
}

TEST_F(MergeTest, SecondRecordWithTheSameKeyOverwritesTheFirst) {
    testing::MakeQuestionTable(fs, HostPath(0, ".db"), {});
    testing::MakeQuestionTable(fs, PackagePath(0, ".db"),
                               {{7, "primeira", "", "A", 1}, {7, "segunda", "", "B", 2}});
    Merge(0, ".db");
    const auto rows = ReadAll(fs, HostPath(0, ".db"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][2], "text:segunda");
    EXPECT_EQ(rows[0][4], "text:B");
}

TEST_F(MergeTest, EmptySourceLeavesTheBarAtZeroOfZero) {
    testing::MakeQuestionTable(fs, HostPath(2, ".db"), {{1, "x", "", "", 1}});
    testing::MakeQuestionTable(fs, PackagePath(2, ".db"), {});
    Merge(2, ".db");
    EXPECT_EQ(host.max, 0);
    EXPECT_EQ(host.position, 0);
    EXPECT_EQ(host.pumps, 0);
    EXPECT_EQ(ReadAll(fs, HostPath(2, ".db")).size(), 1u);
}

TEST_F(MergeTest, AnyNameContainingFdbIsAFigureTable) {
    // "XF.dbQ.db" holds "F.db": it is matched on Nome through the primary key.
    testing::MakeFigureTable(fs, "C:\\Outra\\Dest.db", {{"a", "1"}});
    testing::MakeFigureTable(fs, "C:\\Outra\\XF.dbQ.db", {{"a", "22"}, {"b", "333"}});
    dest.SetDatabaseName("C:\\Outra");
    dest.SetTableName("Dest.db");
    dest.SetActive(true);
    source.SetDatabaseName("C:\\Outra");
    source.SetTableName("XF.dbQ.db");
    source.SetActive(true);
    MergeTable(source, dest, host);
    const auto rows = ReadAll(fs, "C:\\Outra\\Dest.db");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], "bytes[2]");
}

TEST_F(MergeTest, QuestionTableWithoutNumeroRealFailsBeforeAnyWrite) {
    testing::MakeFigureTable(fs, HostPath(3, ".db"), {{"a", "1"}});
    testing::MakeFigureTable(fs, PackagePath(3, ".db"), {{"b", "2"}});
    OpenTablePair(dest, source, 3, ".db");
    try {
        MergeTable(source, dest, host);
        FAIL() << "no error";
    } catch (const tabledb::EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "TableSource: Field 'NumeroReal' not found");
    }
    EXPECT_EQ(ReadAll(fs, HostPath(3, ".db")).size(), 1u);
}

TEST_F(MergeTest, DestinationWithFewerFieldsFailsWithNothingHalfWritten) {
    paradox::Schema narrow;
    narrow.fields = {{"Codigo", paradox::FieldType::kAutoInc, 4},
                     {"NumeroReal", paradox::FieldType::kLong, 4}};
    narrow.keyFieldCount = 1;
    paradox::Table::Create(fs, HostPath(4, ".db"), narrow);
    testing::MakeQuestionTable(fs, PackagePath(4, ".db"), {{9, "x", "y", "A", 1}});
    OpenTablePair(dest, source, 4, ".db");
    EXPECT_THROW(MergeTable(source, dest, host), EListError);
    dest.SetActive(false);
    EXPECT_TRUE(ReadAll(fs, HostPath(4, ".db")).empty());
}

TEST_F(MergeTest, CancelStopsBeforeTheNextRecord) {
    testing::MakeQuestionTable(fs, HostPath(6, ".db"), {});
    std::vector<Question> qs;
    for (int k = 0; k < 10; ++k) qs.push_back({k + 1, "q", "", "A", 1});
    testing::MakeQuestionTable(fs, PackagePath(6, ".db"), qs);
    host.cancelAfterPumps = 3;  // Cancel is pressed while the fourth record's messages run
    Merge(6, ".db");
    EXPECT_EQ(host.position, 3);
    EXPECT_EQ(host.max, 10);
    EXPECT_FALSE(source.AtEnd());
    EXPECT_EQ(ReadAll(fs, HostPath(6, ".db")).size(), 3u);
}

TEST_F(MergeTest, MissingPackageTableFailsWhenOpened) {
    testing::MakeQuestionTable(fs, HostPath(7, ".db"), {});
    EXPECT_THROW(OpenTablePair(dest, source, 7, ".db"), tabledb::EDBEngineError);
    EXPECT_TRUE(dest.Active());
    EXPECT_FALSE(source.Active());
}

}  // namespace
}  // namespace pq::install
