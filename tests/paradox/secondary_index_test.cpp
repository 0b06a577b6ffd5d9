// Secondary indexes kept by every save, judged without the engine's own index code: after each
// batch of inserts (with block splits), replacements and deletes, every maintained index file
// holds exactly the entries a rebuild from the data file's bytes gives, in order with their
// block numbers; pxlib reads the table and the index files with the same values; the engine's
// check passes. Indexes the engine cannot keep make the table refuse writes before anything is
// written, and a save killed at any write leaves the table and its indexes as before it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/field_codec.h"
#include "paradox/table.h"
#include "tests/paradox/table_test_support.h"
#include "tests/support/pxlib.h"
#include "tests/support/temp_dir.h"

namespace pq::paradox {
namespace {

using ::pq::testing::TempDir;
using testing::F;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::MakeSchema;
using testing::ReadHostFile;
using testing::Row;
using testing::SamplePath;
namespace fsys = std::filesystem;

uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// A table-style file's records in chain order, each with its block number, read from its bytes.
struct RawRecord {
    std::vector<uint8_t> bytes;
    uint16_t block;
};
std::vector<RawRecord> ChainRecords(const std::vector<uint8_t>& file) {
    std::vector<RawRecord> out;
    const size_t rs = U16(file, 0), hs = U16(file, 2), bs = file.at(5) * 1024u;
    size_t guard = 0;
    for (uint16_t b = U16(file, 0x0E); b != 0 && ++guard < 70000;) {
        const size_t at = hs + (b - 1u) * bs;
        const auto last = static_cast<int16_t>(U16(file, at + 4));
        const int n = last < 0 ? 0 : last / static_cast<int>(rs) + 1;
        for (int s = 0; s < n; ++s) {
            const auto* r = file.data() + at + 6 + s * rs;
            out.push_back({std::vector<uint8_t>(r, r + rs), b});
        }
        b = U16(file, at);
    }
    return out;
}

// What a rebuild of an index from the data file gives: for each record its indexed fields,
// its key fields and its block number (a short in field encoding), sorted.
std::vector<std::vector<uint8_t>> Rebuild(const std::vector<uint8_t>& db, const Schema& s,
                                          const std::vector<std::string>& fields) {
    std::vector<size_t> offset;
    size_t at = 0;
    for (const Field& f : s.fields) {
        offset.push_back(at);
        at += f.RecordBytes();
    }
    std::vector<std::vector<uint8_t>> out;
    for (const RawRecord& r : ChainRecords(db)) {
        std::vector<uint8_t> e;
        for (const std::string& name : fields) {
            const int i = s.Find(name);
            e.insert(e.end(), r.bytes.begin() + offset[i],
                     r.bytes.begin() + offset[i] + s.fields[i].RecordBytes());
        }
        e.insert(e.end(), r.bytes.begin(), r.bytes.begin() + offset[s.keyFieldCount]);
        e.push_back(static_cast<uint8_t>((r.block >> 8) ^ 0x80));
        e.push_back(static_cast<uint8_t>(r.block));
        out.push_back(std::move(e));
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A value as pxlib gives it, for the field types these tables use.
Value FromPxlib(const pxval_t& v, int type, int codePage) {
    if (v.isnull || (type != pxfAlpha && v.value.lval == INT32_MIN)) return Value();
    if (type == pxfAlpha)
        return Value::Text(text::ToUtf8(
            std::string(v.value.str.val, strnlen(v.value.str.val, v.value.str.len)), codePage));
    return Value::Integer(v.value.lval);
}

// Every record of a file as pxlib reads it (through the primary index `px` when given).
std::vector<Row> PxlibRows(const std::string& path, const std::string& px, int codePage,
                           std::vector<std::string>* errors) {
    PXLIB_ALLOCATIONS;
    auto collect = [](pxdoc_t*, int, const char* msg, void* data) {
        static_cast<std::vector<std::string>*>(data)->push_back(msg);
    };
    std::vector<Row> rows;
    pxdoc_t* doc = PX_new3(collect, nullptr, nullptr, nullptr, errors);
    pxdoc_t* index = nullptr;
    if (PX_open_file(doc, path.c_str()) < 0) {
        errors->push_back("cannot open " + path);
        PX_delete(doc);
        return rows;
    }
    if (!px.empty()) {
        index = PX_new3(collect, nullptr, nullptr, nullptr, errors);
        if (PX_open_file(index, px.c_str()) < 0 || PX_read_primary_index(index) < 0 ||
            PX_add_primary_index(doc, index) < 0)
            errors->push_back("index refused");
    }
    const int nf = PX_get_num_fields(doc);
    pxfield_t* fields = PX_get_fields(doc);
    for (int r = 0; r < PX_get_num_records(doc); ++r) {
        pxval_t** v = PX_retrieve_record(doc, r);
        if (!v) {
            errors->push_back("record " + std::to_string(r) + " unreadable");
            continue;
        }
        Row row;
        for (int i = 0; i < nf; ++i) {
            row.push_back(FromPxlib(*v[i], fields[i].px_ftype, codePage));
            if (fields[i].px_ftype == pxfAlpha && !v[i]->isnull)
                doc->free(doc, v[i]->value.str.val);
            doc->free(doc, v[i]);
        }
        doc->free(doc, v);
        rows.push_back(std::move(row));
    }
    PX_close(doc);
    PX_delete(doc);
    if (index) {
        PX_close(index);
        PX_delete(index);
    }
    return rows;
}

// The entries of an index decoded as pxlib would give them.
std::vector<Row> Decoded(const std::vector<std::vector<uint8_t>>& entries, const Schema& s,
                         const std::vector<std::string>& fields) {
    std::vector<Field> layout;
    for (const std::string& n : fields) layout.push_back(s.fields[s.Find(n)]);
    for (int k = 0; k < s.keyFieldCount; ++k) layout.push_back(s.fields[k]);
    layout.push_back(F("Blk Num", FieldType::kShort));
    std::vector<Row> out;
    for (const auto& e : entries) {
        Row row;
        size_t at = 0;
        for (const Field& f : layout) {
            const Bytes b(e.data() + at, f.RecordBytes());
            at += f.RecordBytes();
            row.push_back(DecodeField(f, b, s.codePage));
        }
        out.push_back(std::move(row));
    }
    return out;
}

// ---- one table, its indexes, and the batches of changes ----

struct Case {
    const char* name;
    std::vector<std::string> files;  // samples copied; empty: a table made by the test
    size_t maintained;               // maintained indexes it has
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// A value for a field (keys unique through `key`).
Value RandomValue(const Field& f, std::mt19937& rng, bool allowNull) {
    if (allowNull && rng() % 11 == 0) return Value();
    switch (f.type) {
        case FieldType::kAlpha: {
            static const char* kWords[] = {"Aptos", "apto", "Brasil", "brasa", "Zulu",   "zebra",
                                           "Ação",  "acao", "M",      "MM",    "Nome 1", "Nome 10"};
            std::string s = kWords[rng() % 12];
            s += std::to_string(rng() % 40);
            return Value::Text(s.substr(0, f.size));
        }
        case FieldType::kShort:
            return Value::Integer(static_cast<int>(rng() % 200) - 100);
        default:
            return Value::Integer(static_cast<int>(rng() % 2000) - 1000);
    }
}

class SecondaryIndexBatches : public ::testing::TestWithParam<Case> {
  protected:
    TempDir dir{"secondary"};
    std::string db;
    std::unique_ptr<Table> t;
    std::mt19937 rng{20261210};
    std::set<int64_t> keys;

    void SetUp() override {
        const Case& c = GetParam();
        if (c.files.empty()) {
            db = dir / "Own.DB";
            t = Table::Create(
                OsFileSystem(), db,
                MakeSchema({F("Id", FieldType::kLong), F("Nome", FieldType::kAlpha, 60),
                            F("Grupo", FieldType::kShort), F("Valor", FieldType::kLong)},
                           1, 1024));
            t->AddSecondaryIndex({"Nome"});
            t->AddSecondaryIndex({"Grupo", "Valor"}, "PorGrupo");
        } else {
            for (const std::string& f : c.files)
                fsys::copy_file(SamplePath("with-companions/" + f), dir.path / f);
            for (const std::string& f : c.files)
                fsys::permissions(dir.path / f, fsys::perms::owner_write, fsys::perm_options::add);
            db = dir / c.files.front();
            t = Table::Open(OsFileSystem(), db);
        }
        for (t->First(); !t->AtEnd(); t->Next()) keys.insert(t->Get(0).AsInteger());
    }

    int64_t FreshKey() {
        for (;;) {
            const int64_t k = static_cast<int64_t>(rng() % 100000) + 1;
            if (keys.insert(k).second) return k;
        }
    }
    int64_t SomeKey() {
        auto it = keys.begin();
        std::advance(it, rng() % keys.size());
        return *it;
    }

    bool AutoKey() const { return t->schema().fields[0].type == FieldType::kAutoInc; }

    void Insert(int n) {
        const Schema& s = t->schema();
        for (int i = 0; i < n; ++i) {
            t->Append();
            if (!AutoKey()) t->Set(0, Value::Integer(FreshKey()));
            for (size_t f = 1; f < s.fields.size(); ++f)
                t->Set(f, RandomValue(s.fields[f], rng, true));
            t->Post();
            keys.insert(t->Get(0).AsInteger());
        }
    }
    // Changes indexed fields (every non-key field) and, one time in five, the key.
    void Replace(int n) {
        const Schema& s = t->schema();
        for (int i = 0; i < n; ++i) {
            const int64_t k = SomeKey();
            ASSERT_TRUE(t->SeekKey({Value::Integer(k)}));
            t->Edit();
            if (i % 5 == 0 && !AutoKey()) {
                keys.erase(k);
                t->Set(0, Value::Integer(FreshKey()));
            }
            for (size_t f = 1; f < s.fields.size(); ++f)
                if (rng() % 2) t->Set(f, RandomValue(s.fields[f], rng, true));
            t->Post();
        }
    }
    void Delete(int n) {
        for (int i = 0; i < n && !keys.empty(); ++i) {
            const int64_t k = SomeKey();
            ASSERT_TRUE(t->SeekKey({Value::Integer(k)}));
            t->Delete();
            keys.erase(k);
        }
    }

    // Every check of the table and its maintained indexes, from outside the engine.
    void ExpectValid(const std::string& batch) {
        SCOPED_TRACE(batch);
        EXPECT_THAT(t->Check(), IsEmpty());
        const Schema s = t->schema();
        const TableInfo info = t->info();
        EXPECT_EQ(info.recordCount, keys.size());
        const std::vector<uint8_t> dbBytes = ReadHostFile(db);
        // pxlib reads the table, through its primary index, with the engine's values.
        std::vector<std::string> errors;
        const std::string px = db.substr(0, db.size() - 2) + (db.back() == 'B' ? "PX" : "px");
        const std::vector<Row> theirs = PxlibRows(db, px, s.codePage, &errors);
        EXPECT_THAT(errors, IsEmpty());
        ASSERT_EQ(theirs.size(), keys.size());
        size_t r = 0;
        for (t->First(); !t->AtEnd(); t->Next(), ++r)
            for (size_t f = 0; f < s.fields.size(); ++f)
                ASSERT_EQ(theirs[r][f], t->Get(f)) << "record " << r << " field " << f;
        size_t maintained = 0;
        for (const SecondaryIndexInfo& x : info.secondaryIndexes) {
            if (!x.maintained) continue;
            ++maintained;
            EXPECT_EQ(x.refusal, "") << x.file;
            const std::string xPath = dir / x.file;
            const std::vector<uint8_t> xBytes = ReadHostFile(xPath);
            const auto want = Rebuild(dbBytes, s, x.fields);
            std::vector<std::vector<uint8_t>> have;
            for (const RawRecord& e : ChainRecords(xBytes)) have.push_back(e.bytes);
            EXPECT_EQ(have, want) << x.file << " differs from a rebuild";
            EXPECT_EQ(U16(xBytes, 6) | (U16(xBytes, 8) << 16), want.size()) << x.file;
            // pxlib reads the index's records file as a table: the same entries.
            std::vector<std::string> xErrors;
            const std::vector<Row> entries = PxlibRows(xPath, "", s.codePage, &xErrors);
            EXPECT_THAT(xErrors, IsEmpty());
            EXPECT_EQ(entries, Decoded(want, s, x.fields)) << x.file;
        }
        EXPECT_EQ(maintained, GetParam().maintained);
    }
};

TEST_P(SecondaryIndexBatches, EverySaveKeepsEachIndexEqualToARebuild) {
    ExpectValid("as found");
    Insert(300);
    ExpectValid("300 inserts");
    Replace(150);
    ExpectValid("150 replacements");
    Delete(200);
    ExpectValid("200 deletes");
    Insert(250);
    Replace(50);
    Delete(30);
    ExpectValid("mixed");
    // Reopened, the indexes are read back and kept on.
    t.reset();
    t = Table::Open(OsFileSystem(), db);
    Insert(20);
    ExpectValid("after reopening");
    if (GetParam().files.empty()) {
        const TableInfo info = t->info();
        ASSERT_EQ(info.secondaryIndexes.size(), 2u);
        EXPECT_EQ(info.secondaryIndexes[0].file, "Own.X02");
        EXPECT_EQ(info.secondaryIndexes[1].file, "Own.XG0");
        EXPECT_EQ(info.secondaryIndexes[1].name, "PorGrupo");
        EXPECT_EQ(info.secondaryIndexes[1].fields, (std::vector<std::string>{"Grupo", "Valor"}));
        EXPECT_GE(ReadHostFile(dir / "Own.Y02").at(0x20), 2) << "a tree of one level";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, SecondaryIndexBatches,
    ::testing::Values(Case{"C", {"C.DB", "C.PX", "C.X02", "C.Y02", "C.X03", "C.Y03"}, 2},
                      Case{"fk4", {"fk4.db", "fk4.px", "fk4.XG0", "fk4.YG0"}, 1},
                      // Empty, keyed on an auto-increment field, with empty index files.
                      Case{"fk1", {"fk1.db", "fk1.px", "fk1.x02", "fk1.y02"}, 1},
                      // Alpha and composite indexes with trees of several levels (1 KiB blocks).
                      Case{"own", {}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- indexes that cannot be kept ----

using Files = std::map<std::string, std::vector<uint8_t>>;

Files Snapshot(MemoryFileSystem& fs, const std::string& folder) {
    Files out;
    for (const std::string& n : fs.List(folder))
        if (n.find(".pqj") == std::string::npos) out[n] = fs.Bytes(folder + "/" + n);
    return out;
}

struct Refusal {
    const char* name;
    std::vector<std::string> files;
    std::function<void(MemoryFileSystem&)> damage;
    std::string refused;  // a text of the refusal; empty: writes go on
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.name;
}

const std::vector<std::string> kC = {"C.DB", "C.PX", "C.X02", "C.Y02", "C.X03", "C.Y03"};

class SecondaryIndexRefusal : public ::testing::TestWithParam<Refusal> {};

// An index the engine cannot keep for certain stops every write before anything is written,
// with an error naming the index file; the table stays readable and its check passes.
TEST_P(SecondaryIndexRefusal, WritesStopBeforeAnythingIsWritten) {
    const Refusal& c = GetParam();
    MemoryFileSystem fs;
    for (const std::string& f : c.files)
        fs.Bytes("/s/" + f) = ReadHostFile(SamplePath("with-companions/" + f));
    if (c.damage) c.damage(fs);
    const Files before = Snapshot(fs, "/s");
    auto t = Table::Open(fs, "/s/" + c.files.front());
    const size_t records = t->RecordCount();
    if (c.refused.empty()) {
        testing::InsertRow(*t, Row{Value::Text("neu")});
        EXPECT_EQ(t->RecordCount(), records + 1);
        for (const auto& [name, bytes] : before) {
            if (name.find(".x") != std::string::npos || name.find(".y") != std::string::npos) {
                EXPECT_EQ(fs.Bytes("/s/" + name), bytes) << name << " is not maintained";
            }
        }
        EXPECT_THAT(t->Check(), IsEmpty());
        return;
    }
    auto expectRefused = [&](const std::function<void()>& write) {
        try {
            write();
            ADD_FAILURE() << "a write went through";
        } catch (const Error& e) {
            EXPECT_THAT(e.what(), HasSubstr(c.refused));
            EXPECT_THAT(e.what(), HasSubstr("can be read but not changed"));
        }
    };
    expectRefused([&] { t->Append(); });
    expectRefused([&] { t->Edit(); });
    expectRefused([&] { t->Delete(); });
    expectRefused([&] { t->AddSecondaryIndex({t->schema().fields[1].name}, "Novo"); });
    EXPECT_EQ(t->state(), Table::State::kBrowse);
    EXPECT_EQ(Snapshot(fs, "/s"), before);
    EXPECT_EQ(testing::ReadAll(*t).size(), records);
    bool listed = false;
    for (const auto& x : t->info().secondaryIndexes) listed |= !x.refusal.empty();
    EXPECT_TRUE(listed);
}

void Patch(MemoryFileSystem& fs, const std::string& file, size_t at, uint8_t value) {
    fs.Bytes("/s/" + file).at(at) = value;
}

INSTANTIATE_TEST_SUITE_P(
    Indexes, SecondaryIndexRefusal,
    ::testing::Values(
        Refusal{"descending", kC, [](auto& fs) { Patch(fs, "C.X02", 0x55, 0x11); }, "C.X02"},
        Refusal{"descending_field", kC, [](auto& fs) { Patch(fs, "C.X03", 0xEA, 0x80); },
                "C.X03: it is a descending index"},
        Refusal{"rebuild_required", kC, [](auto& fs) { Patch(fs, "C.X03", 0x14, 1); },
                "C.X03: its header differs"},
        Refusal{"unknown_header_byte", kC, [](auto& fs) { Patch(fs, "C.X02", 0x2C, 0); },
                "C.X02: its header differs"},
        Refusal{"tree_missing", kC, [](auto& fs) { fs.Remove("/s/C.Y03"); },
                "C.X03: its tree file (.Y) is missing"},
        Refusal{"tree_of_another_kind", kC, [](auto& fs) { Patch(fs, "C.Y02", 4, 7); },
                "C.X02: its tree file has type 7"},
        Refusal{"entries_out_of_order", kC,
                [](auto& fs) {
                    auto& x = fs.Bytes("/s/C.X02");
                    std::swap_ranges(x.begin() + 0x806, x.begin() + 0x810, x.begin() + 0x810);
                },
                "C.X02: block 1, entry 1: out of order"},
        Refusal{"entries_missing", kC, [](auto& fs) { Patch(fs, "C.X03", 6, 2); },
                "C.X03: the header counts 2 entries, the blocks hold 3"},
        // Alpha entries under a sort order whose collation the engine does not know.
        Refusal{"alpha_in_ANSII850",
                {"CUSTOMER.DB", "CUSTOMER.PX", "CUSTOMER.MB", "CUSTOMER.X06", "CUSTOMER.Y06"},
                nullptr,
                "CUSTOMER.X06: its alpha fields are in the sort order 'ANSII850'"},
        // Not maintained: left as it is, writes go on.
        Refusal{"not_maintained", {"case.db", "case.x01", "case.y01"}, nullptr, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- a save killed at any write ----

// A process killed during a save (every write from some point on fails, the undoing too) leaves
// a journal naming the index files; the next open undoes the save: the table and each index
// are byte for byte as before it, and valid.
TEST(SecondaryIndexCrash, AKilledSaveIsUndoneInTheIndexesToo) {
    const Schema schema = MakeSchema({F("Id", FieldType::kLong), F("Nome", FieldType::kAlpha, 60),
                                      F("Grupo", FieldType::kShort)},
                                     1, 1024);
    auto row = [](int k) {
        return Row{Value::Integer((k * 7919) % 1000), Value::Text("nome " + std::to_string(k % 13)),
                   Value::Integer(k % 5)};
    };
    int undone = 0;
    for (long long budget = 0;; ++budget) {
        MemoryFileSystem fs;
        {
            auto t = Table::Create(fs, "/m/T.DB", schema);
            t->AddSecondaryIndex({"Nome"});
            t->AddSecondaryIndex({"Grupo", "Nome"}, "G");
            for (int k = 1; k <= 40; ++k) testing::InsertRow(*t, row(k));
        }
        Files before;
        int saved = 0;
        {
            auto t = Table::Open(fs, "/m/T.DB");
            fs.SetWriteBudget(budget);
            try {
                for (int k = 41; k <= 46; ++k, ++saved) {
                    before = Snapshot(fs, "/m");
                    if (k % 2) {
                        testing::InsertRow(*t, row(k));
                    } else {
                        ASSERT_TRUE(t->SeekKey({row(k - 20)[0]}));
                        t->Edit();
                        t->Set(1, Value::Text("mudado " + std::to_string(k)));
                        t->Post();
                    }
                }
            } catch (const IoError&) {
            }
            fs.SetWriteBudget(-1);
        }
        auto t = Table::Open(fs, "/m/T.DB");
        EXPECT_THAT(t->Check(), IsEmpty()) << "budget " << budget;
        if (saved == 6) break;
        EXPECT_EQ(Snapshot(fs, "/m"), before) << "budget " << budget << ", save " << saved;
        ++undone;
    }
    EXPECT_GT(undone, 20);
}

}  // namespace
}  // namespace pq::paradox
