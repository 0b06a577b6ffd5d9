// A host table with validity checks, end to end: the real installer under Wine merges a package
// whose fourth record breaks one of the host's checks (a null in a required field, refused
// before the save's error event; a level above the maximum, refused by the engine and offered to
// the error event, answered "fail"). The installation stops through the error report without the
// completion box; every record before the faulty one is saved, a new one with the host's
// default in the field the package does not carry; the table stays valid and its validity file
// and change counter stay as they were.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "install/subject_catalogue.h"
#include "paradox/field_codec.h"
#include "paradox/format.h"
#include "paradox/table.h"
#include "paradox/validity.h"
#include "tests/e2e/e2e_support_win.h"
#include "tests/support/question_tables.h"

namespace pq::e2e {
namespace {

using paradox::Value;

constexpr unsigned kMatematica = 5;
constexpr size_t kEstado = 7;  // the host's extra trailing field

paradox::FileSystem& Files() {
    return paradox::OsFileSystem();
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    const std::string b = ReadFileBytes(path);
    return std::vector<uint8_t>(b.begin(), b.end());
}

std::vector<uint8_t> Stored(const paradox::Schema& s, size_t field, const Value& v) {
    std::vector<uint8_t> b(s.fields[field].RecordBytes());
    paradox::EncodeField(s.fields[field], v, b, s.codePage);
    return b;
}

struct Case {
    const char* name;
    testing::Question faulty;  // the package's fourth record
    const char* reported;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class HostValidityE2E : public ::testing::TestWithParam<Case> {};

TEST_P(HostValidityE2E, ARecordBreakingACheckStopsTheInstallationAfterTheRecordsBeforeIt) {
    const TestHost testHost("validity", {install::SubjectNameAt(kMatematica)});
    const std::string& host = testHost.Folder();
    Medium medium("validity");
    const std::string package = MakePackageFolder(medium);

    // The host's question table: the package's fields and a state, "velho" in its records;
    // a statement required, levels 1 to 5, a new record's state "novo".
    const std::string hostTable = install::HostTablePath(host + "\\", kMatematica, ".db");
    paradox::Schema schema = testing::QuestionSchema();
    schema.fields.push_back({"Estado", paradox::FieldType::kAlpha, 10});
    {
        auto t = paradox::Table::Create(Files(), hostTable, schema);
        for (int n = 1; n <= 5; ++n) {
            t->Append();
            t->Set(1, Value::Integer(n));
            t->Set(2, Value::Text("questão " + std::to_string(n)));
            t->Set(5, Value::Integer(2));
            t->Set(kEstado, Value::Text("velho"));
            t->Post();
        }
    }
    paradox::Validity checks;
    checks.fields.resize(schema.fields.size());
    checks.fields[2].required = true;
    checks.fields[5].minimum = Stored(schema, 5, Value::Integer(1));
    checks.fields[5].maximum = Stored(schema, 5, Value::Integer(5));
    checks.fields[kEstado].defaultValue = Stored(schema, kEstado, Value::Text("novo"));
    const uint8_t change = FileBytes(hostTable).at(paradox::format::kChangeCount2);
    const std::string valPath = hostTable.substr(0, hostTable.size() - 3) + ".VAL";
    const std::vector<uint8_t> val = paradox::BuildValidityFile(
        checks, schema, install::SubjectNameAt(kMatematica) + ".db", change);
    Files().Open(valPath, paradox::OpenMode::kCreate)->WriteAt(0, val.data(), val.size());

    // The package: a replacement, two new questions, the faulty one, one more.
    testing::MakeQuestionTable(Files(),
                               package + "\\" + install::PackagePrefixAt(kMatematica) + ".db",
                               {{3, "nova três", "", "C", 3},
                                {101, "cento e um", "", "A", 1},
                                {102, "cento e dois", "", "B", 5},
                                GetParam().faulty,
                                {105, "cento e cinco", "", "D", 4}});

    Installer run(medium, "0,0,0,0");
    HWND agreement = OpenAgreement(run);
    ASSERT_TRUE(agreement);
    PostMessageW(ChildButton(agreement, "&Sim"), BM_CLICK, 0, 0);
    ExpectEndWithoutCompletionBox(run);
    bool reported = false;
    for (const auto& call : medium.Reports())
        for (const std::string& field : call.fields)
            reported = reported || field.find(GetParam().reported) != std::string::npos;
    EXPECT_TRUE(reported) << "no report holds \"" << GetParam().reported << "\"";

    auto t = paradox::Table::Open(Files(), hostTable, {true, {}});
    EXPECT_EQ(t->Check(), std::vector<std::string>{});
    std::map<int64_t, std::pair<std::string, std::string>> rows;  // statement, state
    for (t->First(); !t->AtEnd(); t->Next())
        rows[t->Get(1).AsInteger()] = {t->Get(2).AsText(), t->Get(kEstado).AsText()};
    const std::map<int64_t, std::pair<std::string, std::string>> expected = {
        {1, {"questão 1", "velho"}},    {2, {"questão 2", "velho"}}, {3, {"nova três", "velho"}},
        {4, {"questão 4", "velho"}},    {5, {"questão 5", "velho"}}, {101, {"cento e um", "novo"}},
        {102, {"cento e dois", "novo"}}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(FileBytes(valPath), val);
    EXPECT_EQ(FileBytes(hostTable).at(paradox::format::kChangeCount2), change);
}

INSTANTIATE_TEST_SUITE_P(Checks, HostValidityE2E,
                         ::testing::Values(Case{"Required",
                                                {103, "", "", "A", 2},
                                                "Field 'Enunciado' must have a value"},
                                           Case{"Maximum",
                                                {103, "cento e três", "", "A", 9},
                                                "value 9 of field 'Nivel' is above its maximum 5"}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace pq::e2e
