// The dump form of every value, the schema files and the tab-separated input of pdxtool.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "base/exception.h"
#include "paradox/table.h"
#include "tests/paradox/table_test_support.h"
#include "tools/pdxtool/dump_format.h"
#include "tools/pdxtool/schema_text.h"
#include "tools/pdxtool/tsv_load.h"

namespace pq::pdxtool {
namespace {

using paradox::FieldType;
using paradox::MemoryFileSystem;
using paradox::Table;
using paradox::Value;
using paradox::testing::F;
using paradox::testing::InsertRow;
using paradox::testing::MakeSchema;
using ::testing::HasSubstr;

std::string Dump(Table& t) {
    std::ostringstream out;
    DumpTable(t, out);
    return out.str();
}

TEST(PdxtoolFormat, TextEscapesRoundTrip) {
    EXPECT_EQ(EscapeText("a\tb\nc\\d\re"), "a\\tb\\nc\\\\d\\re");
    std::string back;
    ASSERT_TRUE(UnescapeText("a\\tb\\nc\\\\d\\re\\@", &back));
    EXPECT_EQ(back, "a\tb\nc\\d\re@");
    EXPECT_FALSE(UnescapeText("bad\\x", &back));
    EXPECT_FALSE(UnescapeText("trailing\\", &back));
}

TEST(PdxtoolFormat, EveryTypeDumpsInItsForm) {
    MemoryFileSystem fs;
    auto t = Table::Create(
        fs, "/t/d.db",
        MakeSchema({F("Texto", FieldType::kAlpha, 30), F("Dia", FieldType::kDate),
                    F("Curto", FieldType::kShort), F("Longo", FieldType::kLong),
                    F("Dinheiro", FieldType::kCurrency), F("Numero", FieldType::kNumber),
                    F("Sim", FieldType::kLogical), F("Memo", FieldType::kMemo, 11),
                    F("Figura", FieldType::kGraphic, 10), F("Hora", FieldType::kTime),
                    F("Quando", FieldType::kTimestamp), F("Auto", FieldType::kAutoInc),
                    F("Dec", FieldType::kBcd, 2), F("Raw", FieldType::kBytes, 2)}));
    InsertRow(*t, {Value::Text("é\ttab\\"), Value::Date(paradox::DayFromCivil(1996, 2, 2)),
                   Value::Integer(-5), Value::Integer(123456), Value::Double(12.5),
                   Value::Double(7320), Value::Bool(false), Value::Text("abc"),
                   Value::Bytes({'B', 'M', 1, 2, 3}), Value::Time(3723004),
                   Value::Timestamp(paradox::DayFromCivil(2020, 2, 1) * 86400000.0 + 3601000),
                   Value(), Value::Bcd("-3"), Value::Bytes({0xFF, 0})});
    InsertRow(*t, std::vector<Value>(14));
    const std::string dump = Dump(*t);
    EXPECT_EQ(dump,
              "Texto\tDia\tCurto\tLongo\tDinheiro\tNumero\tSim\tMemo\tFigura\tHora\tQuando\tAuto\t"
              "Dec\tRaw\n"
              "é\\ttab\\\\\t1996-02-02\t-5\t123456\t12.5\t7320\tfalse\tblob:3:352441c2\t"
              "blob:5:279225db\t01:02:03.004\t2020-02-01 01:00:01.000\t1\t-3.00\tblob:2:d2fdef8d\n"
              "\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t2\t\\N\t\\N\n");
}

TEST(PdxtoolFormat, TheCustomerSampleDumpsItsValues) {
    MemoryFileSystem fs;
    paradox::testing::CopySamples(fs, {"CUSTOMER.DB", "CUSTOMER.PX", "CUSTOMER.MB"});
    paradox::OpenOptions o;
    o.readOnly = true;
    auto t = Table::Open(fs, "/s/CUSTOMER.DB", o);
    std::istringstream lines(Dump(*t));
    std::string header, first;
    std::getline(lines, header);
    std::getline(lines, first);
    EXPECT_EQ(header,
              "CustNo\tFirstName\tLastName\tEMail\tStreet\tCity\tState/Prov\tZip/Postal "
              "Code\tComments\tDateEntered");
    EXPECT_EQ(first,
              "1\tLuke\tJustice\tluke@fun.com\t4-976 Sugarloaf Hwy\tSanta Cruz\tCA\t94766\t"
              "blob:32:4a6124ef\t1996-02-02");
}

TEST(PdxtoolFormat, SchemaFilesDescribeEveryFieldAndSetting) {
    const SchemaText s = ParseSchemaText(
        "# figures\nlevel 5\nblock 4096\nindex-block 1024\ncodepage 850\nkey 1\n"
        "password Norte Fundos\nfield A40 Nome\nfield G10 Figura\nfield #2 Preço Final\n"
        "field + Id\nfield @ Quando\n",
        "s.txt");
    EXPECT_EQ(s.schema.fileVersion, 0x0B);
    EXPECT_EQ(s.schema.blockSize, 4096u);
    EXPECT_EQ(s.options.indexBlockSize, 1024u);
    EXPECT_EQ(s.schema.codePage, 850);
    EXPECT_EQ(s.schema.keyFieldCount, 1);
    EXPECT_EQ(s.options.password, "Norte Fundos");
    ASSERT_EQ(s.schema.fields.size(), 5u);
    EXPECT_EQ(s.schema.fields[2].name, "Preço Final");
    EXPECT_EQ(s.schema.fields[2].type, FieldType::kBcd);
    EXPECT_EQ(s.schema.fields[2].size, 2);
    EXPECT_EQ(s.schema.fields[3].size, 4);
    EXPECT_EQ(TypeText(s.schema.fields[0]), "A40");
    EXPECT_EQ(TypeText(s.schema.fields[4]), "@");
    auto error = [](const std::string& text) {
        try {
            ParseSchemaText(text, "s.txt");
        } catch (const Exception& e) {
            return std::string(e.what());
        }
        return std::string("parsed");
    };
    EXPECT_EQ(error("level 7\nfield Q Nome\n"), "s.txt:2: unknown field type 'Q'");
    EXPECT_EQ(error("field A Nome\n"), "s.txt:1: field type A needs a size");
    EXPECT_EQ(error("field D5 Dia\n"), "s.txt:1: field type D5 takes no size");
    EXPECT_EQ(error("level 6\n"), "s.txt:1: level must be 4, 5 or 7");
    EXPECT_EQ(error("colour blue\n"), "s.txt:1: unknown setting 'colour'");
}

struct TsvFixture : ::testing::Test {
    MemoryFileSystem fs;
    std::unique_ptr<Table> t;
    std::map<std::string, std::vector<uint8_t>> files{{"pics/a.bmp", {'B', 'M', 9}}};
    void SetUp() override {
        t = Table::Create(
            fs, "/t/l.db",
            MakeSchema({F("Id", FieldType::kAutoInc), F("Nome", FieldType::kAlpha, 20),
                        F("Figura", FieldType::kGraphic, 10), F("Raw", FieldType::kBytes, 3),
                        F("Dia", FieldType::kDate)},
                       1));
    }
    size_t Load(const std::string& tsv) {
        return LoadTsv(*t, tsv, "d.tsv", "pics", [&](const std::string& p) {
            auto it = files.find(p);
            if (it == files.end()) throw Exception("no file " + p);
            return it->second;
        });
    }
    std::string LoadError(const std::string& tsv) {
        try {
            Load(tsv);
        } catch (const Exception& e) {
            return e.what();
        }
        return "loaded";
    }
};

TEST_F(TsvFixture, ColumnsByNameFilesHexAndNulls) {
    EXPECT_EQ(Load("Dia\tFigura\tNOME\tId\tRaw\n"
                   "2001-09-11\t@a.bmp\tum\\tdois\t99\thex:0aFF01\n"
                   "\\N\t\\N\t\\@arroba\t7\t\\N\n"),
              2u);
    const auto rows = paradox::testing::ReadAll(*t);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], Value::Integer(1));  // auto-increment, whatever the column said
    EXPECT_EQ(rows[0][1], Value::Text("um\tdois"));
    EXPECT_EQ(rows[0][2], Value::Bytes({'B', 'M', 9}));
    EXPECT_EQ(rows[0][3], Value::Bytes({0x0A, 0xFF, 0x01}));
    EXPECT_EQ(rows[0][4], Value::Date(paradox::DayFromCivil(2001, 9, 11)));
    EXPECT_EQ(rows[1][1], Value::Text("@arroba"));
    EXPECT_TRUE(rows[1][2].IsNull());
    EXPECT_TRUE(rows[1][4].IsNull());
}

TEST_F(TsvFixture, BadLinesNameTheirLineAndTheProblem) {
    EXPECT_EQ(LoadError("Nome\tCor\n"), "d.tsv:1: the table has no field 'Cor'");
    EXPECT_EQ(LoadError("Nome\tDia\nsó um\n"), "d.tsv:2: 1 values for 2 columns");
    EXPECT_THAT(LoadError("Nome\tDia\nx\t31/12/1999\n"),
                HasSubstr("d.tsv:2: Invalid value for field 'Dia' ('31/12/1999' is not a date"));
    EXPECT_EQ(LoadError("Nome\tRaw\nx\thex:0g\n"), "d.tsv:2: bad hex value");
    EXPECT_EQ(LoadError("Nome\tFigura\nx\t@missing.bmp\n"), "d.tsv:2: no file pics/missing.bmp");
    EXPECT_EQ(LoadError(""), "d.tsv: empty file (the first line names the columns)");
    EXPECT_EQ(t->state(), Table::State::kBrowse);
}

TEST_F(TsvFixture, WhatDumpPrintsLoadsBackTheSame) {
    auto u =
        Table::Create(fs, "/t/round.db",
                      MakeSchema({F("Nome", FieldType::kAlpha, 20), F("N", FieldType::kNumber),
                                  F("Dec", FieldType::kBcd, 3), F("Sim", FieldType::kLogical),
                                  F("Quando", FieldType::kTimestamp), F("Hora", FieldType::kTime)},
                                 1));
    const std::string text =
        "Nome\tN\tDec\tSim\tQuando\tHora\n"
        "a\\\\b\t0.1\t-12.500\ttrue\t1999-12-31 23:59:59.999\t00:00:00.000\n"
        "c\t-1e-05\t\\N\tfalse\t\\N\t12:00:00.500\n";
    LoadTsv(*u, text, "r.tsv", "", nullptr);
    std::ostringstream out;
    DumpTable(*u, out);
    EXPECT_EQ(out.str(),
              "Nome\tN\tDec\tSim\tQuando\tHora\n"
              "a\\\\b\t0.1\t-12.500\ttrue\t1999-12-31 23:59:59.999\t00:00:00.000\n"
              "c\t-0.00001\t\\N\tfalse\t\\N\t12:00:00.500\n");
}

}  // namespace
}  // namespace pq::pdxtool
