// Tables this engine writes: every field type back as written, keyed and unkeyed tables across
// many block splits and index levels, key violations, auto-increment, encryption, the field
// index, blobs replaced, deletes, refusals, and corrupt files named precisely.
#include "paradox/table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "paradox/blob_file.h"
#include "paradox/crypt.h"
#include "paradox/error.h"
#include "tests/paradox/table_test_support.h"

namespace pq::paradox {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using testing::F;
using ::testing::HasSubstr;
using testing::InsertRow;
using ::testing::IsEmpty;
using testing::MakeSchema;
using testing::ReadAll;
using testing::Row;

std::string Key(int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "k%07d", i);
    return buf;
}

Schema AllTypes(int level) {
    return MakeSchema({F("Alpha", FieldType::kAlpha, 20), F("Date", FieldType::kDate),
                       F("Short", FieldType::kShort), F("Long", FieldType::kLong),
                       F("Money", FieldType::kCurrency), F("Number", FieldType::kNumber),
                       F("Flag", FieldType::kLogical), F("Memo", FieldType::kMemo, 20),
                       F("Binary", FieldType::kBinary, 10), F("FmtMemo", FieldType::kFmtMemo, 11),
                       F("Ole", FieldType::kOle, 10), F("Picture", FieldType::kGraphic, 30),
                       F("Time", FieldType::kTime), F("Stamp", FieldType::kTimestamp),
                       F("Counter", FieldType::kAutoInc), F("Decimal", FieldType::kBcd, 2),
                       F("Raw", FieldType::kBytes, 4)},
                      0, 2048, level);
}

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return v;
}

TEST(Table, EveryFieldTypeNullsAndAccentsComeBackAtLevels5And7) {
    for (int level : {5, 7}) {
        SCOPED_TRACE(level);
        MemoryFileSystem fs;
        const Row full = {
            Value::Text("Questão é fácil"),
            Value::Date(DayFromCivil(1999, 12, 31)),
            Value::Integer(-32767),
            Value::Integer(2147483647),
            Value::Double(-1234.56),
            Value::Double(0.0),
            Value::Bool(true),
            Value::Text("Memória"),  // fits the leader: inline
            Value::Bytes(Pattern(100000, 1)),
            Value::Bytes(Pattern(3000, 2)),
            Value::Bytes(Pattern(10, 3)),
            Value::Bytes(Pattern(30000, 4)),
            Value::Time(86399999),
            Value::Timestamp(DayFromCivil(2020, 2, 1) * double(kMillisecondsPerDay) + 3601000),
            Value::Integer(1),
            Value::Bcd("-123456789012345678901234567890.12"),
            Value::Bytes({1, 0, 2, 0})};
        const Row empty(full.size());
        Row large = full;
        large[7] = Value::Text(std::string(5000, 'x') + "ç");
        large[8] = Value();
        large[11] = Value::Bytes(Pattern(1500, 9));  // suballocated
        large[6] = Value::Bool(false);
        {
            auto t = Table::Create(fs, "/t/all.db", AllTypes(level));
            InsertRow(*t, full);
            InsertRow(*t, empty);
            InsertRow(*t, large);
            EXPECT_THAT(t->Check(), IsEmpty());
        }
        auto t = Table::Open(fs, "/t/all.db");
        EXPECT_EQ(LevelName(t->schema().fileVersion), std::to_string(level));
        const auto rows = ReadAll(*t);
        ASSERT_EQ(rows.size(), 3u);
        for (size_t i = 0; i < full.size(); ++i) {
            SCOPED_TRACE(t->schema().fields[i].name);
            if (i == 14) continue;  // the counter: assigned
            EXPECT_EQ(rows[0][i], full[i]);
            EXPECT_TRUE(rows[1][i].IsNull()) << rows[1][i].DebugString();
            EXPECT_EQ(rows[2][i], large[i]);
        }
        EXPECT_EQ(rows[0][14], Value::Integer(1));
        EXPECT_EQ(rows[1][14], Value::Integer(2));
        EXPECT_EQ(rows[2][14], Value::Integer(3));
        EXPECT_THAT(t->Check(), IsEmpty());
    }
}

TEST(Table, Level4TablesTakeTheLevel4TypesOnly) {
    MemoryFileSystem fs;
    const Schema s =
        MakeSchema({F("Nome", FieldType::kAlpha, 20), F("Valor", FieldType::kCurrency),
                    F("Numero", FieldType::kNumber), F("Dia", FieldType::kDate),
                    F("Curto", FieldType::kShort), F("Texto", FieldType::kMemo, 15),
                    F("Figura", FieldType::kGraphic, 10), F("Ole", FieldType::kOle, 10),
                    F("Fmt", FieldType::kFmtMemo, 11), F("Bin", FieldType::kBinary, 10)},
                   1, 2048, 4);
    const Row row = {Value::Text("Ação"),
                     Value::Double(-2.5),
                     Value::Double(1e10),
                     Value::Date(DayFromCivil(1995, 7, 1)),
                     Value::Integer(-300),
                     Value::Text(std::string(2000, 'w')),
                     Value::Bytes(Pattern(4000, 1)),
                     Value::Bytes(Pattern(20, 2)),
                     Value::Bytes(Pattern(50, 3)),
                     Value::Bytes(Pattern(9000, 4))};
    {
        auto t = Table::Create(fs, "/t/four.db", s);
        InsertRow(*t, row);
        InsertRow(*t, Row{Value::Text("B"), Value(), Value(), Value(), Value(), Value(), Value(),
                          Value(), Value(), Value()});
    }
    auto t = Table::Open(fs, "/t/four.db");
    EXPECT_EQ(LevelName(t->schema().fileVersion), "4");
    EXPECT_THAT(t->Check(), IsEmpty());
    const auto rows = ReadAll(*t);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], row);
    Schema withLong = s;
    withLong.fields.push_back(F("Longo", FieldType::kLong));
    try {
        Table::Create(fs, "/t/four-long.db", withLong);
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("needs level 5 or 7"));
    }
}

TEST(Table, UnkeyedAppendsKeepInsertionOrderAcrossBlocks) {
    MemoryFileSystem fs;
    auto t = Table::Create(
        fs, "/t/u.db",
        MakeSchema({F("N", FieldType::kLong), F("Name", FieldType::kAlpha, 30)}, 0, 1024));
    for (int i = 0; i < 5000; ++i)
        InsertRow(*t, {Value::Integer(i), Value::Text("name " + std::to_string(i))});
    EXPECT_EQ(t->RecordCount(), 5000u);
    const int perBlock = (1024 - 6) / 34;
    EXPECT_EQ(t->info().blocksInUse, (5000 + perBlock - 1) / perBlock);
    EXPECT_THAT(t->Check(), IsEmpty());
    int expect = 0;
    for (t->First(); !t->AtEnd(); t->Next()) ASSERT_EQ(t->Get(0), Value::Integer(expect++));
    EXPECT_EQ(expect, 5000);
    EXPECT_THROW(t->SeekKey({Value::Integer(1)}), Error);
}

struct KeyedFixture : ::testing::Test {
    MemoryFileSystem fs;
    std::unique_ptr<Table> t;
    // Small blocks: many splits, several index levels.
    void Make(uint32_t block = 1024, uint32_t indexBlock = 1024) {
        CreateOptions o;
        o.indexBlockSize = indexBlock;
        t = Table::Create(
            fs, "/t/k.db",
            MakeSchema({F("Key", FieldType::kAlpha, 100), F("Value", FieldType::kLong),
                        F("Other", FieldType::kAlpha, 10)},
                       1, block),
            o);
    }
    void Insert(const std::string& k, int v) {
        InsertRow(*t, {Value::Text(k), Value::Integer(v), Value::Text(std::to_string(v % 7))});
    }
    void Reopen() {
        t.reset();  // a table is open for writing once at a time
        t = Table::Open(fs, "/t/k.db");
    }
};

TEST_F(KeyedFixture, RandomInsertsStayInKeyOrderThroughSplitsAndIndexLevels) {
    Make();
    std::vector<int> order(4000);
    for (int i = 0; i < 4000; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (int i : order) Insert(Key(i), i);
    EXPECT_GE(t->info().indexLevels, 3);
    EXPECT_THAT(t->Check(), IsEmpty());
    Reopen();
    EXPECT_THAT(t->Check(), IsEmpty());
    int expect = 0;
    for (t->First(); !t->AtEnd(); t->Next()) {
        ASSERT_EQ(t->Get(0), Value::Text(Key(expect)));
        ASSERT_EQ(t->Get(1), Value::Integer(expect));
        ++expect;
    }
    EXPECT_EQ(expect, 4000);
    for (int i = 0; i < 4000; i += 37) {
        ASSERT_TRUE(t->SeekKey({Value::Text(Key(i))})) << i;
        EXPECT_EQ(t->Get(1), Value::Integer(i));
    }
    EXPECT_FALSE(t->SeekKey({Value::Text("k0000000x")}));
    EXPECT_FALSE(t->SeekKey({Value::Text("zzz")}));
    EXPECT_FALSE(t->SeekKey({Value::Text("a")}));
}

TEST_F(KeyedFixture, AscendingInsertsFillBlocksAndDescendingOnesSplit) {
    Make();
    for (int i = 0; i < 2000; ++i) Insert(Key(i), i);
    const TableInfo ascending = t->info();
    const int perBlock = (1024 - 6) / 114;
    EXPECT_EQ(ascending.blocksInUse, (2000 + perBlock - 1) / perBlock);  // every block full
    EXPECT_THAT(t->Check(), IsEmpty());
    for (int i = 0; i < 2000; ++i) Insert(Key(-1 - i).replace(1, 0, "-"), i);
    EXPECT_THAT(t->Check(), IsEmpty());
    EXPECT_EQ(t->RecordCount(), 4000u);
}

TEST_F(KeyedFixture, DuplicateKeyIsAKeyViolationAndWritesNothing) {
    Make();
    Insert("b", 1);
    Insert("d", 2);
    const auto before = fs.Bytes("/t/k.db");
    const auto pxBefore = fs.Bytes("/t/k.px");
    t->Append();
    t->Set(0, Value::Text("d"));
    try {
        t->Post();
        ADD_FAILURE() << "duplicate accepted";
    } catch (const KeyViolationError& e) {
        EXPECT_THAT(e.what(), HasSubstr("Key violation"));
        EXPECT_THAT(e.what(), HasSubstr("/t/k.db"));
    }
    EXPECT_EQ(t->state(), Table::State::kInsert);
    t->Cancel();
    EXPECT_EQ(fs.Bytes("/t/k.db"), before);
    EXPECT_EQ(fs.Bytes("/t/k.px"), pxBefore);
    // Changing a key onto another record's key is refused the same way.
    ASSERT_TRUE(t->SeekKey({Value::Text("b")}));
    t->Edit();
    t->Set(0, Value::Text("d"));
    EXPECT_THROW(t->Post(), KeyViolationError);
    t->Cancel();
    EXPECT_EQ(t->RecordCount(), 2u);
}

TEST_F(KeyedFixture, UpdatesInPlaceAndKeyChangesMoveTheRecord) {
    Make();
    for (int i = 0; i < 500; ++i) Insert(Key(i * 2), i);
    ASSERT_TRUE(t->SeekKey({Value::Text(Key(100))}));
    t->Edit();
    t->Set(1, Value::Integer(-5));
    t->Post();
    EXPECT_EQ(t->Get(0), Value::Text(Key(100)));
    EXPECT_EQ(t->Get(1), Value::Integer(-5));
    // Key changes: forwards, backwards, to the very front and to the very end.
    for (auto [from, to] :
         std::vector<std::pair<int, int>>{{100, 901}, {0, 999}, {998, -1}, {500, 1}}) {
        ASSERT_TRUE(t->SeekKey({Value::Text(Key(from))})) << from;
        const Value v = t->Get(1);
        t->Edit();
        t->Set(0, Value::Text(Key(to)));
        t->Post();
        EXPECT_EQ(t->Get(0), Value::Text(Key(to)));  // the cursor follows the record
        EXPECT_FALSE(t->SeekKey({Value::Text(Key(from))}));
        ASSERT_TRUE(t->SeekKey({Value::Text(Key(to))}));
        EXPECT_EQ(t->Get(1), v);
        EXPECT_THAT(t->Check(), IsEmpty());
    }
    EXPECT_EQ(t->RecordCount(), 500u);
    std::vector<std::string> keys;
    for (t->First(); !t->AtEnd(); t->Next()) keys.push_back(t->Get(0).AsText());
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(keys.size(), 500u);
}

TEST_F(KeyedFixture, DeletesEmptyBlocksIntoTheFreeListAndReuseThem) {
    Make();
    for (int i = 0; i < 600; ++i) Insert(Key(i), i);
    const uint16_t blocks = t->info().blocksInFile;
    // Delete everything below 300 (the first blocks empty out) and every third one after.
    for (int i = 0; i < 600; ++i) {
        if (i >= 300 && i % 3) continue;
        ASSERT_TRUE(t->SeekKey({Value::Text(Key(i))}));
        t->Delete();
        if (!t->AtEnd()) {
            EXPECT_GT(t->Get(0).AsText(), Key(i));  // on the record that followed
        }
    }
    EXPECT_THAT(t->Check(), IsEmpty());
    EXPECT_EQ(t->info().blocksInFile, blocks);
    EXPECT_LT(t->info().blocksInUse, blocks);  // the rest are on the free list
    for (int i = 0; i < 300; ++i) Insert(Key(i), i);
    EXPECT_THAT(t->Check(), IsEmpty());
    EXPECT_EQ(t->info().blocksInUse, t->info().blocksInFile);  // free blocks used first
    Reopen();
    EXPECT_THAT(t->Check(), IsEmpty());
    EXPECT_EQ(t->RecordCount(), 500u);
    // Delete everything: the table and its index end empty and valid.
    for (t->First(); !t->AtEnd();) t->Delete();
    EXPECT_EQ(t->RecordCount(), 0u);
    EXPECT_THAT(t->Check(), IsEmpty());
    Insert("again", 1);
    EXPECT_THAT(t->Check(), IsEmpty());
}

// A table sorted by a language order (here the header says DBWINUS0) whose records are in byte
// order: key searches and key violations stay exact although the orders disagree.
TEST(Table, LanguageSortOrderKeysAreFoundAndKeptUnique) {
    MemoryFileSystem fs;
    {
        auto t = Table::Create(fs, "/t/l.db", MakeSchema({F("Nome", FieldType::kAlpha, 10)}, 1));
        for (const char* k : {"Banana", "abacate", "caju", "Damasco"})
            InsertRow(*t, {Value::Text(k)});
    }
    fs.Bytes("/t/l.db")[0x29] = 0x4C;
    auto t = Table::Open(fs, "/t/l.db");
    EXPECT_EQ(t->schema().sortOrder, 0x4C);
    for (const char* k : {"Banana", "abacate", "caju", "Damasco"}) {
        ASSERT_TRUE(t->SeekKey({Value::Text(k)})) << k;
        EXPECT_EQ(t->Get(0), Value::Text(k));
    }
    EXPECT_FALSE(t->SeekKey({Value::Text("banana")}));  // exact, case-sensitive
    for (const char* k : {"Banana", "abacate", "caju", "Damasco"}) {
        t->Append();
        t->Set(0, Value::Text(k));
        EXPECT_THROW(t->Post(), KeyViolationError) << k;
        t->Cancel();
    }
    InsertRow(*t, {Value::Text("banana")});
    EXPECT_EQ(t->RecordCount(), 5u);
}

TEST(Table, AutoIncrementTakesTheHeadersNextValueWhateverWasWritten) {
    MemoryFileSystem fs;
    auto t = Table::Create(
        fs, "/t/a.db",
        MakeSchema({F("Id", FieldType::kAutoInc), F("Name", FieldType::kAlpha, 10)}, 1));
    for (int i = 0; i < 3; ++i) {
        t->Append();
        t->Set(0, Value::Integer(1));  // what the merge writes into a new record
        t->Set(1, Value::Text("n" + std::to_string(i)));
        t->Post();
        EXPECT_EQ(t->Get(0), Value::Integer(i + 1));
    }
    EXPECT_EQ(t->info().autoIncrement, 3u);
    t.reset();
    t = Table::Open(fs, "/t/a.db");
    t->Append();
    t->Post();
    EXPECT_EQ(t->Get(0), Value::Integer(4));
    ASSERT_TRUE(t->SeekKey({Value::Integer(2)}));
    t->Edit();
    EXPECT_THROW(t->Set(0, Value::Integer(9)), Error);
    t->Set(1, Value::Text("kept"));
    t->Post();
    EXPECT_EQ(t->Get(0), Value::Integer(2));
    EXPECT_THAT(t->Check(), IsEmpty());
}

// Bytes handed over for a blob field (moved) are stored as if copied; the checks that come
// before a field is set hold for them as for any value.
TEST(Table, BytesMovedIntoABlobFieldAreCheckedAndStoredAsCopiedOnes) {
    MemoryFileSystem fs;
    auto t =
        Table::Create(fs, "/t/m.db",
                      MakeSchema({F("Id", FieldType::kAutoInc), F("Name", FieldType::kAlpha, 10),
                                  F("Picture", FieldType::kGraphic, 10)},
                                 1));
    const std::vector<uint8_t> picture = Pattern(5000, 3);
    EXPECT_THROW(t->Set(2, Value::Bytes(picture)), Error);  // no record is being edited
    t->Append();
    t->Set(0, Value::Bytes({1, 2}));  // auto-increment of a new record: ignored
    EXPECT_THROW(t->Set(1, Value::Bytes({1, 2})), ValueError);
    Value copied = Value::Bytes(Pattern(10, 4));
    t->Set(2, copied);
    EXPECT_EQ(copied, Value::Bytes(Pattern(10, 4)));  // the caller's value is left alone
    t->Set(2, Value::Bytes(picture));
    t->Post();
    EXPECT_EQ(t->Get(0), Value::Integer(1));
    EXPECT_EQ(t->Get(2), Value::Bytes(picture));
    t->Edit();
    EXPECT_THROW(t->Set(0, Value::Bytes({1})), Error);  // auto-increment of an existing record
    t->Cancel();
    t.reset();
    t = Table::Open(fs, "/t/m.db");
    EXPECT_EQ(t->Get(2), Value::Bytes(picture));
    EXPECT_THAT(t->Check(), IsEmpty());
}

bool Contains(const std::vector<uint8_t>& hay, const std::string& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

TEST(Table, EncryptedTablesReadBackOnlyWithTheirPassword) {
    MemoryFileSystem fs;
    CreateOptions o;
    o.password = "Norte Fundos";
    {
        auto t = Table::Create(
            fs, "/t/e.db",
            MakeSchema({F("Name", FieldType::kAlpha, 30), F("Memo", FieldType::kMemo, 11)}, 1), o);
        for (int i = 0; i < 300; ++i)
            InsertRow(*t, {Value::Text("segredo " + Key(i)),
                           Value::Text("memória secreta " + std::to_string(i))});
        EXPECT_THAT(t->Check(), IsEmpty());
    }
    EXPECT_FALSE(Contains(fs.Bytes("/t/e.db"), "segredo"));
    EXPECT_FALSE(Contains(fs.Bytes("/t/e.mb"), "secreta"));
    EXPECT_THROW(Table::Open(fs, "/t/e.db"), PasswordError);
    OpenOptions wrong;
    wrong.passwords = {"K734"};
    EXPECT_THROW(Table::Open(fs, "/t/e.db", wrong), PasswordError);
    OpenOptions right;
    right.passwords = {"K734", "Norte Fundos"};
    auto t = Table::Open(fs, "/t/e.db", right);
    EXPECT_THAT(t->Check(), IsEmpty());
    ASSERT_TRUE(t->SeekKey({Value::Text("segredo " + Key(123))}));
    EXPECT_EQ(t->Get(1), Value::Text("memória secreta 123"));
    t->Edit();
    t->Set(1, Value::Text(std::string(4000, 'z')));
    t->Post();
    EXPECT_THAT(t->Check(), IsEmpty());
}

TEST(Table, SecondaryIndexFilesStopWritesBeforeAnythingIsWritten) {
    MemoryFileSystem fs;
    {
        auto t = Table::Create(fs, "/t/s.db", MakeSchema({F("Name", FieldType::kAlpha, 10)}, 1));
        InsertRow(*t, {Value::Text("a")});
    }
    fs.Bytes("/t/S.X02") = std::vector<uint8_t>(4096, 0);
    const auto before = fs.Bytes("/t/s.db");
    auto t = Table::Open(fs, "/t/s.db");
    EXPECT_EQ(t->info().secondaryIndexFiles, std::vector<std::string>{"S.X02"});
    EXPECT_EQ(t->Get(0), Value::Text("a"));
    try {
        t->Append();
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("secondary index"));
        EXPECT_THAT(e.what(), HasSubstr("S.X02"));
    }
    EXPECT_THROW(t->Edit(), Error);
    EXPECT_EQ(fs.Bytes("/t/s.db"), before);
}

TEST(Table, ReadOnlyTablesRefuseEditing) {
    MemoryFileSystem fs;
    Table::Create(fs, "/t/r.db", MakeSchema({F("Name", FieldType::kAlpha, 10)}));
    OpenOptions o;
    o.readOnly = true;
    auto t = Table::Open(fs, "/t/r.db", o);
    EXPECT_THROW(t->Append(), Error);
}

// The field index is built by a walk over the block chain that reads blocks in runs while the
// chain goes in file order: through a chain in file order (keys in order), one that jumps about
// the file (random keys split blocks everywhere) and one that does both, with and without a
// password, it finds every record; a file cut short fails at the block that is missing.
TEST_F(KeyedFixture, TheFieldIndexIsBuiltFromEveryBlockInOrAgainstFileOrder) {
    for (const int shuffled : {0, 1, 2})
        for (const bool encrypted : {false, true}) {
            SCOPED_TRACE(std::to_string(shuffled) + (encrypted ? " encrypted" : " plain"));
            fs.Remove("/t/k.db");
            fs.Remove("/t/k.px");
            CreateOptions o;
            o.indexBlockSize = 1024;
            if (encrypted) o.password = "chave";
            t = Table::Create(
                fs, "/t/k.db",
                MakeSchema({F("Key", FieldType::kAlpha, 100), F("Value", FieldType::kLong),
                            F("Other", FieldType::kAlpha, 10)},
                           1, 1024),
                o);
            std::vector<int> order(600);
            for (int i = 0; i < 600; ++i) order[i] = i;
            if (shuffled)
                std::shuffle(order.begin() + (shuffled == 2 ? 300 : 0), order.end(),
                             std::mt19937(3));
            for (int i : order) Insert(Key(i), i % 150);
            ASSERT_GT(t->info().blocksInUse, 60);
            t.reset();
            OpenOptions open;
            if (encrypted) open.passwords = {"chave"};
            t = Table::Open(fs, "/t/k.db", open);
            for (int v = 0; v < 150; ++v) {
                ASSERT_TRUE(t->FindFirstEqual(1, Value::Integer(v))) << v;
                EXPECT_EQ(t->Get(0), Value::Text(Key(v))) << v;  // the first in key order
            }
            EXPECT_FALSE(t->FindFirstEqual(1, Value::Integer(150)));
            t.reset();
        }
    // The file's last blocks cut off: the walk names a block, whichever run it was reading.
    std::vector<uint8_t>& bytes = fs.Bytes("/t/k.db");
    bytes.resize(bytes.size() - 3 * 1024);
    try {
        OpenOptions open;
        open.passwords = {"chave"};
        t = Table::Open(fs, "/t/k.db", open);
        t->FindFirstEqual(1, Value::Integer(0));
        FAIL() << "a short file was read";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("k.db")) << e.what();
    }
}

// The field index against a plain scan, through inserts that shift and split blocks, updates
// of the indexed field, key changes and deletes.
TEST_F(KeyedFixture, FindFirstEqualAgreesWithAScanThroughEveryKindOfWrite) {
    Make();
    std::mt19937 rng(11);
    std::map<std::string, int> model;  // key -> value
    auto firstWith = [&](int v) -> std::optional<std::string> {
        for (const auto& [k, val] : model)
            if (val == v) return k;
        return std::nullopt;
    };
    auto verify = [&] {
        for (int v = 0; v < 40; ++v) {
            const auto expect = firstWith(v);
            ASSERT_EQ(t->FindFirstEqual(1, Value::Integer(v)), expect.has_value()) << v;
            if (expect) {
                ASSERT_EQ(t->Get(0), Value::Text(*expect)) << v;
            }
        }
    };
    for (int i = 0; i < 300; ++i) {
        const std::string k = Key(static_cast<int>(rng() % 100000));
        if (model.count(k)) continue;
        const int v = static_cast<int>(rng() % 40);
        Insert(k, v);
        model[k] = v;
    }
    verify();  // builds the index
    for (int step = 0; step < 1500; ++step) {
        const int op = static_cast<int>(rng() % 4);
        if (op == 0 || model.size() < 10) {
            const std::string k = Key(static_cast<int>(rng() % 100000));
            if (model.count(k)) continue;
            const int v = static_cast<int>(rng() % 40);
            Insert(k, v);
            model[k] = v;
        } else {
            auto it = model.begin();
            std::advance(it, rng() % model.size());
            ASSERT_TRUE(t->SeekKey({Value::Text(it->first)}));
            if (op == 1) {
                const int v = static_cast<int>(rng() % 40);
                t->Edit();
                t->Set(1, Value::Integer(v));
                t->Post();
                it->second = v;
            } else if (op == 2) {
                const std::string k = Key(static_cast<int>(rng() % 100000));
                if (model.count(k)) continue;
                t->Edit();
                t->Set(0, Value::Text(k));
                t->Post();
                model[k] = it->second;
                model.erase(it);
            } else {
                t->Delete();
                model.erase(it);
            }
        }
        if (step % 100 == 0) verify();
    }
    verify();
    EXPECT_THAT(t->Check(), IsEmpty());
    // Text matches are exact and case-sensitive.
    Insert("zz-text", 1);
    EXPECT_TRUE(t->FindFirstEqual(0, Value::Text("zz-text")));
    EXPECT_FALSE(t->FindFirstEqual(0, Value::Text("ZZ-TEXT")));
    EXPECT_FALSE(t->FindFirstEqual(0, Value::Text("zz-tex")));
}

TEST(Table, FindFirstEqualInAnUnkeyedTableFindsTheFirstInInsertionOrder) {
    MemoryFileSystem fs;
    auto t = Table::Create(
        fs, "/t/f.db",
        MakeSchema({F("NumeroReal", FieldType::kLong), F("Seq", FieldType::kLong)}, 0, 1024));
    for (int i = 0; i < 3000; ++i) InsertRow(*t, {Value::Integer(i % 100), Value::Integer(i)});
    ASSERT_TRUE(t->FindFirstEqual(0, Value::Integer(42)));
    EXPECT_EQ(t->Get(1), Value::Integer(42));
    EXPECT_FALSE(t->FindFirstEqual(0, Value::Integer(100)));
    InsertRow(*t, {Value::Integer(100), Value::Integer(3000)});
    ASSERT_TRUE(t->FindFirstEqual(0, Value::Integer(100)));
    EXPECT_EQ(t->Get(1), Value::Integer(3000));
    ASSERT_TRUE(t->FindFirstEqual(0, Value::Text("7")));  // converted to the field's type
    EXPECT_EQ(t->Get(1), Value::Integer(7));
    t->Edit();
    t->Set(0, Value::Integer(555));
    t->Post();
    ASSERT_TRUE(t->FindFirstEqual(0, Value::Integer(7)));
    EXPECT_EQ(t->Get(1), Value::Integer(107));
    // Null is a value like any other.
    InsertRow(*t, {Value(), Value::Integer(-1)});
    ASSERT_TRUE(t->FindFirstEqual(0, Value()));
    EXPECT_EQ(t->Get(1), Value::Integer(-1));
    EXPECT_LT(t->MemoryBytes(), (9u << 20) + 32u * 3002u);
}

TEST(Table, BlobsReplacedByLargerAndSmallerOnesStayValid) {
    MemoryFileSystem fs;
    auto t = Table::Create(
        fs, "/t/b.db",
        MakeSchema({F("Nome", FieldType::kAlpha, 20), F("Figura", FieldType::kGraphic, 10),
                    F("Texto", FieldType::kMemo, 30)},
                   1));
    for (int i = 0; i < 20; ++i)
        InsertRow(*t, {Value::Text(Key(i)), Value::Bytes(Pattern(500 + i * 700, uint8_t(i))),
                       Value::Text(std::string(static_cast<size_t>(i * 300), 'a' + i % 26))});
    EXPECT_THAT(t->Check(), IsEmpty());
    const std::vector<size_t> sizes = {30000, 100, 0, 5000, 2047, 2048, 1, 70000, 10};
    for (size_t round = 0; round < sizes.size(); ++round) {
        for (int i = 0; i < 20; i += 3) {
            ASSERT_TRUE(t->SeekKey({Value::Text(Key(i))}));
            t->Edit();
            t->Set(1, sizes[round] ? Value::Bytes(Pattern(sizes[round], uint8_t(round))) : Value());
            t->Set(2, Value::Text(std::string(sizes[round] / 3, 'q')));
            t->Post();
        }
        ASSERT_THAT(t->Check(), IsEmpty()) << round;
    }
    const size_t mbSize = fs.Bytes("/t/b.mb").size();
    for (int again = 0; again < 5; ++again) {
        ASSERT_TRUE(t->SeekKey({Value::Text(Key(0))}));
        t->Edit();
        t->Set(1, Value::Bytes(Pattern(10, uint8_t(again))));
        t->Post();
    }
    EXPECT_EQ(fs.Bytes("/t/b.mb").size(), mbSize);  // the freed space is used again
    t.reset();
    t = Table::Open(fs, "/t/b.db");
    ASSERT_TRUE(t->SeekKey({Value::Text(Key(3))}));
    EXPECT_EQ(t->Get(1), Value::Bytes(Pattern(10, 8)));
    EXPECT_EQ(t->Get(2), Value::Text("qqq"));
    ASSERT_TRUE(t->SeekKey({Value::Text(Key(4))}));
    EXPECT_EQ(t->Get(1), Value::Bytes(Pattern(500 + 4 * 700, 4)));
    EXPECT_THAT(t->Check(), IsEmpty());
}

TEST(Table, CreateRefusesBadStructuresAndExistingTables) {
    MemoryFileSystem fs;
    Table::Create(fs, "/t/x.db", MakeSchema({F("A", FieldType::kAlpha, 5)}));
    EXPECT_THROW(Table::Create(fs, "/t/x.db", MakeSchema({F("A", FieldType::kAlpha, 5)})), Error);
    auto bad = [&](Schema s, const std::string& what) {
        try {
            Table::Create(fs, "/t/bad.db", s);
            ADD_FAILURE() << what;
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(what));
        }
        EXPECT_FALSE(fs.IsFile("/t/bad.db"));
    };
    bad(MakeSchema({F("A", FieldType::kAlpha, 5), F("a", FieldType::kLong)}), "duplicate");
    bad(MakeSchema({F("", FieldType::kLong)}), "no name");
    bad(MakeSchema({F("M", FieldType::kMemo, 20)}, 1), "cannot be part of the key");
    bad(MakeSchema({F("A", FieldType::kAlpha, 0)}), "size");
    bad(MakeSchema({F("A", FieldType::kAlpha, 255), F("B", FieldType::kAlpha, 255),
                    F("C", FieldType::kAlpha, 255), F("D", FieldType::kAlpha, 255),
                    F("E", FieldType::kAlpha, 255)},
                   0, 1024),
        "does not fit a block");
    bad(MakeSchema({F("A", FieldType::kAlpha, 5)}, 0, 5000), "block size");
    Schema cp = MakeSchema({F("A", FieldType::kAlpha, 5)});
    cp.codePage = 852;
    bad(cp, "code page");
    Schema sort = MakeSchema({F("A", FieldType::kAlpha, 5)}, 1);
    sort.sortOrder = 0x4C;
    bad(sort, "sort order");
}

TEST(Table, AFailedWriteStopsTheTableUntilReopened) {
    MemoryFileSystem fs;
    auto t = Table::Create(fs, "/t/w.db", MakeSchema({F("A", FieldType::kAlpha, 5)}, 1));
    InsertRow(*t, {Value::Text("a")});
    fs.SetWriteBudget(0);
    t->Append();
    t->Set(0, Value::Text("b"));
    EXPECT_THROW(t->Post(), IoError);
    fs.SetWriteBudget(-1);
    try {
        t->Append();
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("earlier write failed"));
    }
    t.reset();
    t = Table::Open(fs, "/t/w.db");
    EXPECT_THAT(t->Check(), IsEmpty());
    EXPECT_EQ(t->RecordCount(), 1u);
}

// Keys as long as an index block allows (two, three, four entries a block, and short ones),
// inserted at random, deleted, and inserted again and again at one place: the index stays about
// as shallow as its entries need and the table opens again with every record.
TEST(Table, IndexesOfLongKeysStayShallowThroughEveryInsertPattern) {
    struct Case {
        std::vector<uint16_t> keyFields;  // alpha sizes
        int perIndexBlock;
    };
    for (const Case& c : std::vector<Case>{
             {{255, 255, 255, 250}, 2}, {{255, 255, 160}, 3}, {{255, 245}, 4}, {{20}, 78}}) {
        SCOPED_TRACE(c.perIndexBlock);
        MemoryFileSystem fs;
        std::vector<Field> fields;
        for (size_t i = 0; i < c.keyFields.size(); ++i)
            fields.push_back(F("K" + std::to_string(i + 1), FieldType::kAlpha, c.keyFields[i]));
        fields.push_back(F("V", FieldType::kLong));
        const int keys = static_cast<int>(c.keyFields.size());
        auto t = Table::Create(fs, "/t/i.db", MakeSchema(fields, keys, 2048, 7));
        std::map<std::string, int> model;
        auto insert = [&](const std::string& k, int v) {
            Row row(fields.size());
            row[0] = Value::Text(k);
            for (int i = 1; i < keys; ++i) row[i] = Value::Text(k.substr(0, 2));
            row[keys] = Value::Integer(v);
            InsertRow(*t, row);
            model[k] = v;
        };
        // At most two levels more than full blocks need, or one more than half-full blocks
        // (of two entries at least) need; deletes never add one.
        auto levelsFor = [](long entries, long fanout) {
            int levels = 1;
            for (long reach = fanout; reach < entries; reach *= fanout) ++levels;
            return levels;
        };
        int mostLevels = 0;
        auto expectShallowAndWhole = [&](const char* phase) {
            SCOPED_TRACE(phase);
            const TableInfo info = t->info();
            const long n = info.blocksInUse;
            mostLevels = std::max(
                mostLevels,
                std::min(16, std::max(levelsFor(n, c.perIndexBlock) + 2,
                                      levelsFor(n, std::max(2, c.perIndexBlock / 2)) + 1)));
            EXPECT_LE(info.indexLevels, mostLevels) << n;
            EXPECT_THAT(t->Check(), IsEmpty());
            t.reset();
            t = Table::Open(fs, "/t/i.db");
            EXPECT_THAT(t->Check(), IsEmpty());
            std::map<std::string, int> read;
            for (t->First(); !t->AtEnd(); t->Next())
                read[t->Get(0).AsText()] = static_cast<int>(t->Get(keys).AsInteger());
            EXPECT_EQ(read, model);
        };
        std::mt19937 random(17);
        for (int i = 0; i < 300; ++i) insert("r" + std::to_string(random() % 1000000), i);
        expectShallowAndWhole("random inserts");
        int i = 0;
        for (auto it = model.begin(); it != model.end(); ++i) {
            if (i % 3) {
                ++it;
                continue;
            }
            ASSERT_TRUE(t->SeekKey({Value::Text(it->first)}));
            t->Delete();
            it = model.erase(it);
        }
        expectShallowAndWhole("deletes");
        // Each key right before the last one inserted: always the same place in the tree.
        for (int n = 0; n < 150; ++n) insert("m" + std::to_string(999999 - n), n);
        expectShallowAndWhole("inserts at one place");
    }
}

// A save that fails after one blob field was placed (the next one is too long for a blob file)
// leaves the blob file's map as the file is: later blobs go into free space, never over a live
// blob, in this session and after a reopen.
TEST(Table, AFailedSaveLeavesTheBlobMapAsTheFileIs) {
    MemoryFileSystem fs;
    const Schema schema = MakeSchema({F("K", FieldType::kLong), F("B1", FieldType::kBinary, 10),
                                      F("B2", FieldType::kBinary, 10)},
                                     1);
    auto t = Table::Create(fs, "/t/f.db", schema);
    std::map<int, std::vector<uint8_t>> model;
    auto insert = [&](int k, size_t n) {
        InsertRow(*t, {Value::Integer(k), Value::Bytes(Pattern(n, uint8_t(k)))});
        model[k] = Pattern(n, uint8_t(k));
    };
    auto expectModel = [&] {
        EXPECT_THAT(t->Check(), IsEmpty());
        std::map<int, std::vector<uint8_t>> read;
        for (t->First(); !t->AtEnd(); t->Next())
            read[static_cast<int>(t->Get(0).AsInteger())] = t->GetBlob(1);
        EXPECT_EQ(read, model);
    };
    insert(1, 40000);
    insert(2, 40000);
    ASSERT_TRUE(t->SeekKey({Value::Integer(1)}));
    t->Delete();  // a free run of ten units
    model.erase(1);
    t->Append();
    t->Set(0, Value::Integer(3));
    t->Set(1, Value::Bytes(Pattern(12000, 3)));  // placed in the free run first
    t->Set(2, Value::Bytes(std::vector<uint8_t>(size_t{mb::kMaxLength} + 1)));
    EXPECT_THROW(t->Post(), Error);
    t->Cancel();
    insert(4, 20000);
    expectModel();
    t.reset();
    t = Table::Open(fs, "/t/f.db");
    expectModel();
    insert(5, 36000);
    expectModel();
}

// A single-blob block that reaches past the file size this session saw when it read an earlier
// blob reads as it does after a reopen.
TEST(Table, ABlobReadsAlikeInTheSessionThatWroteItAndAfterAReopen) {
    MemoryFileSystem fs;
    auto t = Table::Create(
        fs, "/t/s.db", MakeSchema({F("K", FieldType::kLong), F("B", FieldType::kBinary, 10)}, 1));
    InsertRow(*t, {Value::Integer(0), Value::Bytes(Pattern(40000, 0))});
    InsertRow(*t, {Value::Integer(1), Value::Bytes(Pattern(5000, 1))});
    ASSERT_TRUE(t->SeekKey({Value::Integer(1)}));
    EXPECT_EQ(t->GetBlob(1), Pattern(5000, 1));
    InsertRow(*t, {Value::Integer(2), Value::Bytes(Pattern(5000, 2))});
    for (int k : {1, 2}) {
        ASSERT_TRUE(t->SeekKey({Value::Integer(k)}));
        t->Delete();
    }
    InsertRow(*t, {Value::Integer(3), Value::Bytes(Pattern(14000, 3))});
    ASSERT_TRUE(t->SeekKey({Value::Integer(3)}));
    EXPECT_EQ(t->GetBlob(1), Pattern(14000, 3));
    EXPECT_THAT(t->Check(), IsEmpty());
    t.reset();
    t = Table::Open(fs, "/t/s.db");
    ASSERT_TRUE(t->SeekKey({Value::Integer(3)}));
    EXPECT_EQ(t->GetBlob(1), Pattern(14000, 3));
}

// The blob pointers of the records against the blob file's blocks: a pointer into a free run,
// into the middle of another blob's block, past the last block, or at another record's blob is
// a problem; a blob no record points at is a warning only.
TEST(Table, CheckComparesTheBlobPointersWithTheBlobFilesBlocks) {
    MemoryFileSystem fs;
    {
        auto t = Table::Create(
            fs, "/t/p.db",
            MakeSchema({F("K", FieldType::kLong), F("B", FieldType::kBinary, 10)}, 1));
        for (auto [k, n] :
             std::vector<std::pair<int, size_t>>{{1, 20000}, {2, 9000}, {3, 100}, {4, 20000}})
            InsertRow(*t, {Value::Integer(k), Value::Bytes(Pattern(n, uint8_t(k)))});
    }
    // Record k's blob descriptor in the .DB: after its key (big-endian, sign bit flipped).
    auto descriptorAt = [&](int k) {
        const std::vector<uint8_t>& db = fs.Bytes("/t/p.db");
        const uint8_t key[] = {0x80, 0, 0, static_cast<uint8_t>(k)};
        const size_t header = db[2] | db[3] << 8;
        const auto it = std::search(db.begin() + header, db.end(), key, key + 4);
        EXPECT_NE(it, db.end());
        return static_cast<size_t>(it - db.begin()) + 4;
    };
    auto pointer = [&](int k) {
        const std::vector<uint8_t>& db = fs.Bytes("/t/p.db");
        const size_t at = descriptorAt(k);
        return uint32_t{db[at]} | db[at + 1] << 8 | db[at + 2] << 16 | uint32_t{db[at + 3]} << 24;
    };
    const uint32_t freed = pointer(2) & ~0xFFu, fourth = pointer(4) & ~0xFFu;
    {
        auto t = Table::Open(fs, "/t/p.db");
        ASSERT_TRUE(t->SeekKey({Value::Integer(2)}));
        t->Delete();  // three free units
    }
    const std::vector<uint8_t> db = fs.Bytes("/t/p.db");
    const uint32_t end = static_cast<uint32_t>(fs.Bytes("/t/p.mb").size());
    auto check = [&](std::vector<std::string>* warnings) {
        return Table::Open(fs, "/t/p.db")->Check(warnings);
    };
    std::vector<std::string> warnings;
    EXPECT_THAT(check(&warnings), IsEmpty());
    EXPECT_THAT(warnings, IsEmpty());

    struct Case {
        uint32_t pointer;  // given to record 1 in place of its own
        std::string problem;
    };
    for (const Case& c : std::vector<Case>{
             {pointer(4), "blob " + Hex(fourth | 0xFF) + " is also the blob of"},
             {(freed + 4096) | 0xFF,
              "lies in free space (the free run of 3 units at " + Hex(freed)},
             {(fourth + 4096) | 0xFF, "overlaps the block of 5 units at " + Hex(fourth)},
             {end | 0xFF, "lies past the last block"},
         }) {
        SCOPED_TRACE(c.problem);
        fs.Bytes("/t/p.db") = db;
        for (int i = 0; i < 4; ++i)
            fs.Bytes("/t/p.db")[descriptorAt(1) + i] = static_cast<uint8_t>(c.pointer >> (8 * i));
        warnings.clear();
        EXPECT_THAT(check(&warnings), Contains(HasSubstr(c.problem)));
        // Record 1's own blob is left without a record: a warning, not a problem.
        EXPECT_THAT(warnings, ElementsAre(HasSubstr("no record points at it")));
    }
    // A record that lets go of its blob (a null descriptor) leaves a valid table with a warning.
    fs.Bytes("/t/p.db") = db;
    std::fill_n(fs.Bytes("/t/p.db").begin() + descriptorAt(3), 10, 0);
    warnings.clear();
    EXPECT_THAT(check(&warnings), IsEmpty());
    EXPECT_THAT(warnings, ElementsAre(HasSubstr("of 100 bytes is in use but no record")));
}

// ---- corrupt files: each attack on the bytes gives its own error ----

struct CorruptFixture : ::testing::Test {
    MemoryFileSystem fs;
    void SetUp() override {
        auto t = Table::Create(
            fs, "/t/c.db",
            MakeSchema({F("K", FieldType::kLong), F("V", FieldType::kAlpha, 20)}, 1, 1024));
        for (int i = 0; i < 200; ++i) InsertRow(*t, {Value::Integer(i), Value::Text("v")});
    }
    std::vector<uint8_t>& Db() { return fs.Bytes("/t/c.db"); }
    std::vector<uint8_t>& Px() { return fs.Bytes("/t/c.px"); }
    std::string OpenError() {
        try {
            Table::Open(fs, "/t/c.db");
        } catch (const CorruptError& e) {
            return e.what();
        }
        return "opened";
    }
    std::vector<std::string> CheckProblems() { return Table::Open(fs, "/t/c.db")->Check(); }
};

TEST_F(CorruptFixture, TruncatedDataFile) {
    Db().resize(Db().size() - 1024);
    EXPECT_THAT(OpenError(), HasSubstr("its header counts"));
    Db().resize(0x40);
    EXPECT_THAT(OpenError(), HasSubstr("too few for a header"));
}

TEST_F(CorruptFixture, HeaderFieldsOutOfRange) {
    const auto good = Db();
    Db()[0x00] = 99;  // record size
    EXPECT_THAT(OpenError(), HasSubstr("record size 99"));
    Db() = good;
    Db()[0x78] = 0x33;  // first field's type
    EXPECT_THAT(OpenError(), HasSubstr("unknown type 0x33"));
    Db() = good;
    Db()[0x02] = 0xFF;  // header size beyond the file
    Db()[0x03] = 0xFF;
    EXPECT_THAT(OpenError(), HasSubstr("header size"));
    Db() = good;
    Db()[0x05] = 0;  // block size
    EXPECT_THAT(OpenError(), HasSubstr("block size"));
    Db() = good;
    Db()[0x0E] = 0xFF;  // first block beyond the file
    EXPECT_THAT(OpenError(), HasSubstr("first block"));
    Db() = good;
    Db()[0x21] = 0;  // no fields
    EXPECT_THAT(OpenError(), HasSubstr("field count 0"));
}

TEST_F(CorruptFixture, BlockHeadersAndChain) {
    const auto good = Db();
    const size_t block1 = 2048;
    Db()[block1 + 4] = 0x01;  // last record offset not a multiple of the record size
    Db()[block1 + 5] = 0x00;
    EXPECT_THAT(OpenError(), HasSubstr("block 1: last record offset 1"));
    Db() = good;
    Db()[block1 + 0] = 1;  // block 1 links to itself
    Db()[block1 + 1] = 0;
    auto problems = CheckProblems();
    EXPECT_THAT(problems, ::testing::Contains(HasSubstr("appears twice in the block chain")));
    Db() = good;
    Db()[0x06] += 1;  // one record more in the header than in the blocks
    problems = CheckProblems();
    EXPECT_THAT(problems, ::testing::Contains(HasSubstr("the header counts 201 records")));
}

TEST_F(CorruptFixture, IndexAgainstTheData) {
    const auto good = Px();
    // The root's first entry's count (after a 4-byte key and the 2-byte block number).
    Px()[2048 + 6 + 4 + 2 + 1] ^= 0x01;
    auto problems = CheckProblems();
    EXPECT_THAT(problems, ::testing::Contains(HasSubstr("counts")));
    Px() = good;
    Px()[2048 + 6 + 3] ^= 0x40;  // the first entry's key
    problems = CheckProblems();
    EXPECT_THAT(problems, ::testing::Not(IsEmpty()));
    Px() = good;
    Px()[0x00] = 3;  // entry size
    EXPECT_THAT(OpenError(), HasSubstr("record size 3"));
}

TEST_F(CorruptFixture, KeyOrderAndDuplicates) {
    // Swap the first two records of block 1.
    const size_t r0 = 2048 + 6, rs = 24;
    std::swap_ranges(Db().begin() + r0, Db().begin() + r0 + rs, Db().begin() + r0 + rs);
    EXPECT_THAT(CheckProblems(), ::testing::Contains(HasSubstr("out of key order")));
}

// Random damage to the data file and the index: every outcome is a table that works or an
// engine error, never a crash, a foreign exception or an allocation without bound.
TEST_F(CorruptFixture, RandomDamageGivesErrorsNeverCrashes) {
    const auto goodDb = Db(), goodPx = Px();
    std::mt19937 rng(3);
    int opened = 0, refused = 0;
    for (int round = 0; round < 400; ++round) {
        Db() = goodDb;
        Px() = goodPx;
        auto& target = round % 3 == 0 ? Px() : Db();
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) {
            // Mostly headers and block headers, where counts and links live.
            const size_t at = rng() % 2 ? rng() % 0x80 : 2048 + (rng() % 8) * 1024 + rng() % 8;
            if (at < target.size()) target[at] = static_cast<uint8_t>(rng());
        }
        try {
            auto t = Table::Open(fs, "/t/c.db");
            ReadAll(*t);
            t->Check();
            t->FindFirstEqual(1, Value::Text("v"));
            t->SeekKey({Value::Integer(100)});
            ++opened;
        } catch (const Error&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(opened, 0);
}

}  // namespace
}  // namespace pq::paradox
