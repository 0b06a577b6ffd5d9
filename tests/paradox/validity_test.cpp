// Validity files: the public samples' .VAL files read as their bytes say, and a table with
// required, minimum, maximum and default checks holding every save to them.
#include "paradox/validity.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "paradox/field_codec.h"
#include "paradox/format.h"
#include "paradox/table.h"
#include "tests/paradox/table_test_support.h"

namespace pq::paradox {
namespace {

using testing::CopySamples;
using testing::F;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::MakeSchema;

// A field's checks as one text ("required", "min 0", "default true", "picture ###").
std::string Summary(const FieldValidity& fv, const Field& f, int codePage) {
    std::string s;
    auto add = [&](const std::string& part) { s += (s.empty() ? "" : ", ") + part; };
    if (fv.required) add("required");
    if (fv.minimum) add("min " + ValidityValueText(f, *fv.minimum, codePage));
    if (fv.maximum) add("max " + ValidityValueText(f, *fv.maximum, codePage));
    if (fv.defaultValue) add("default " + ValidityValueText(f, *fv.defaultValue, codePage));
    if (!fv.picture.empty()) add("picture " + fv.picture);
    return s;
}

TEST(Validity, TheSamplesFilesReadAsTheirBytesSay) {
    struct Case {
        std::string table, val;
        std::vector<std::string> files;
        std::vector<std::string> fields;  // Summary of each field
        bool integrity;
    };
    const std::vector<Case> cases = {
        {"AREACODE.DB",
         "AREACODE.VAL",
         {"AREACODE.PX"},
         {"picture ###", "", "", "picture &&"},
         false},
        {"C.DB", "C.VAL", {"C.PX"}, {"required", "required", ""}, true},
        {"logical.db", "logical.val", {}, {"required, default true"}, false},
        {"fk1.db", "fk1.val", {"fk1.px"}, {"", ""}, true},
        {"fk4.db", "fk4.val", {"fk4.px"}, {"", "", "", ""}, true},
        {"A.db", "A.VAL", {"A.PX"}, {""}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        MemoryFileSystem fs;
        std::vector<std::string> files = {"with-companions/" + c.table, "with-companions/" + c.val};
        for (const auto& f : c.files) files.push_back("with-companions/" + f);
        CopySamples(fs, files);
        OpenOptions o;
        o.readOnly = true;
        auto t = Table::Open(fs, "/s/with-companions/" + c.table, o);
        const Validity* v = t->validity();
        ASSERT_NE(v, nullptr);
        // Byte 0 is the table's change counter at 0x2E: the file is current.
        EXPECT_EQ(v->tableChange, fs.Bytes("/s/with-companions/" + c.table)[format::kChangeCount2]);
        ASSERT_EQ(v->fields.size(), c.fields.size());
        for (size_t i = 0; i < c.fields.size(); ++i)
            EXPECT_EQ(Summary(v->fields[i], t->schema().fields[i], t->schema().codePage),
                      c.fields[i])
                << t->schema().fields[i].name;
        EXPECT_EQ(v->referentialIntegrity, c.integrity);
        EXPECT_THAT(t->Check(), IsEmpty());
    }
}

// A table whose validity file (written by BuildValidityFile, read back by the engine) asks for a
// name and a text, a mark from 0 to 10, a date from 2000 on and a state of "novo" by default.
class ValidityFixture : public ::testing::Test {
  protected:
    MemoryFileSystem fs;
    Schema schema =
        MakeSchema({F("Id", FieldType::kLong), F("Nome", FieldType::kAlpha, 20),
                    F("Nota", FieldType::kNumber), F("Quando", FieldType::kDate),
                    F("Estado", FieldType::kAlpha, 10), F("Texto", FieldType::kMemo, 15)},
                   1);
    std::unique_ptr<Table> t;
    std::vector<uint8_t> valBytes;

    std::vector<uint8_t> Stored(size_t field, const Value& v) {
        std::vector<uint8_t> b(schema.fields[field].RecordBytes());
        EncodeField(schema.fields[field], v, b, schema.codePage);
        return b;
    }

    void SetUp() override {
        Table::Create(fs, "/t/v.db", schema).reset();
        Validity v;
        v.fields.resize(schema.fields.size());
        v.fields[1].required = true;
        v.fields[2].minimum = Stored(2, Value::Double(0));
        v.fields[2].maximum = Stored(2, Value::Double(10));
        v.fields[3].minimum = Stored(3, Value::Date(DayFromCivil(2000, 1, 1)));
        v.fields[4].defaultValue = Stored(4, Value::Text("novo"));
        v.fields[5].required = true;
        const uint8_t change = fs.Bytes("/t/v.db")[format::kChangeCount2];
        valBytes = BuildValidityFile(v, schema, "v.db", change);
        fs.Bytes("/t/v.val") = valBytes;
        t = Table::Open(fs, "/t/v.db");
        ASSERT_NE(t->validity(), nullptr);
    }
};

TEST_F(ValidityFixture, EverySaveHoldsToTheChecksAndNewRecordsStartWithTheDefaults) {
    struct Case {
        const char* what;
        int edit;  // 0: a new record with key `id`; otherwise the record with that key
        int id;
        std::vector<std::pair<size_t, Value>> sets;
        const char* error;   // empty: saved
        const char* estado;  // the saved record's state
    };
    const Value name = Value::Text("Ana"), text = Value::Text("texto");
    const std::vector<Case> cases = {
        {"valid, the state by default", 0, 1, {{1, name}, {5, text}}, "", "novo"},
        {"a written null clears the default", 0, 2, {{1, name}, {5, text}, {4, Value()}}, "", ""},
        {"a written state", 0, 3, {{1, name}, {5, text}, {4, Value::Text("lido")}}, "", "lido"},
        {"bounds themselves", 0, 4, {{1, name}, {5, text}, {2, Value::Double(10)}}, "", "novo"},
        {"lowest bound", 0, 5, {{1, name}, {5, text}, {2, Value::Double(0)}}, "", "novo"},
        {"no mark: a null is no bound's matter",
         0,
         6,
         {{1, name}, {5, text}, {2, Value()}},
         "",
         "novo"},
        {"no name", 0, 7, {{5, text}}, "Field 'Nome' must have a value", ""},
        {"no text (a memo)", 0, 7, {{1, name}}, "Field 'Texto' must have a value", ""},
        {"below the minimum",
         0,
         7,
         {{1, name}, {5, text}, {2, Value::Double(-0.5)}},
         "value -0.5 of field 'Nota' is below its minimum 0",
         ""},
        {"above the maximum",
         0,
         7,
         {{1, name}, {5, text}, {2, Value::Double(10.25)}},
         "value 10.25 of field 'Nota' is above its maximum 10",
         ""},
        {"a date before the minimum",
         0,
         7,
         {{1, name}, {5, text}, {3, Value::Date(DayFromCivil(1999, 12, 31))}},
         "value 1999-12-31 of field 'Quando' is below its minimum 2000-01-01",
         ""},
        {"an edit that clears the name",
         1,
         1,
         {{1, Value()}},
         "Field 'Nome' must have a value",
         ""},
        {"an edit above the maximum",
         1,
         1,
         {{2, Value::Double(11)}},
         "value 11 of field 'Nota' is above its maximum 10",
         ""},
        {"an edit within the bounds keeps the state", 1, 2, {{2, Value::Double(7.5)}}, "", ""},
    };
    uint32_t records = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.edit) {
            ASSERT_TRUE(t->SeekKey({Value::Integer(c.id)}));
            t->Edit();
        } else {
            t->Append();
            t->Set(0, Value::Integer(c.id));
        }
        for (const auto& [field, value] : c.sets) t->Set(field, value);
        if (*c.error) {
            try {
                t->Post();
                ADD_FAILURE() << "saved";
            } catch (const ValidityError& e) {
                EXPECT_THAT(e.what(), HasSubstr(c.error));
            }
            t->Cancel();
        } else {
            t->Post();
            if (!c.edit) ++records;
            EXPECT_EQ(t->Get(4), *c.estado ? Value::Text(c.estado) : Value());
        }
        EXPECT_EQ(t->RecordCount(), records);
        EXPECT_THAT(t->Check(), IsEmpty());
    }
    // No save touched the validity file or the table's change counter that it matches.
    t.reset();
    EXPECT_EQ(fs.Bytes("/t/v.val"), valBytes);
    EXPECT_EQ(fs.Bytes("/t/v.db")[format::kChangeCount2], valBytes[0]);
    t = Table::Open(fs, "/t/v.db");
    ASSERT_TRUE(t->SeekKey({Value::Integer(2)}));
    EXPECT_EQ(t->Get(2), Value::Double(7.5));
    EXPECT_TRUE(t->Get(4).IsNull());
}

// A validity file that does not describe the table: read, but writes are refused and the check
// says why; one written for an older state of the table is reported out of date.
TEST_F(ValidityFixture, AValidityFileForAnotherTableStopsWritesAndAStaleOneIsReported) {
    t.reset();
    std::vector<uint8_t> other = valBytes;
    other[GetU32(other, 0x09)] = 2;  // the footer's field count
    fs.Bytes("/t/v.val") = other;
    t = Table::Open(fs, "/t/v.db");
    EXPECT_EQ(t->validity(), nullptr);
    try {
        t->Append();
        ADD_FAILURE() << "editing";
    } catch (const Error& e) {
        EXPECT_THAT(e.what(), HasSubstr("its validity checks cannot be read"));
        EXPECT_THAT(e.what(), HasSubstr("describes 2 fields, the table has 6"));
    }
    EXPECT_EQ(t->RecordCount(), 0u);
    EXPECT_THAT(t->Check(), ::testing::Contains(HasSubstr("describes 2 fields")));
    t.reset();
    std::vector<uint8_t> stale = valBytes;
    stale[0] = static_cast<uint8_t>(stale[0] + 1);
    fs.Bytes("/t/v.val") = stale;
    t = Table::Open(fs, "/t/v.db");
    EXPECT_THAT(t->Check(), ::testing::Contains(HasSubstr("the validity file is out of date")));
}

}  // namespace
}  // namespace pq::paradox
