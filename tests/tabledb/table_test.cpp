#include "tabledb/table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "paradox/file.h"
#include "paradox/validity.h"
#include "tabledb/session.h"
#include "tests/support/question_tables.h"

namespace pq::tabledb {
namespace {

class TableTest : public ::testing::Test {
  protected:
    paradox::MemoryFileSystem fs;
    Session session{fs};
    Table table{session, "TableDest"};

    void SetUp() override {
        session.DefineStandardAlias("AliasDados", "C:\\Dados", "Paradox");
        testing::MakeQuestionTable(fs, "C:\\Dados\\Q.db",
                                   {{10, "dez", "", "A", 1}, {20, "vinte", "", "B", 2}});
        table.SetDatabaseName("AliasDados");
        table.SetTableName("Q.db");
    }
    // A save that fails with a key violation: an existing key written into a new record.
    void FailingSave() {
        paradox::Schema s;
        s.fields = {{"Chave", paradox::FieldType::kLong, 4}};
        s.keyFieldCount = 1;
        auto t = paradox::Table::Create(fs, "C:\\Dados\\K.db", s);
        t->Append();
        t->Set(0, paradox::Value::Integer(1));
        t->Post();
    }
};

TEST_F(TableTest, OpensOnTheFirstRecordAndReadsForward) {
    table.SetActive(true);
    EXPECT_EQ(table.RecordTotal(), 2u);
    EXPECT_EQ(table.FieldTotal(), 7u);
    EXPECT_EQ(table.FieldAt(0).FieldType(), ftAutoInc);
    EXPECT_EQ(table.FieldAt(0).FieldType(), 14);
    EXPECT_EQ(table.FieldNamed("numeroreal").ReadInteger(), 10);
    EXPECT_EQ(table.FieldNamed("Enunciado").ReadText(), "dez");
    EXPECT_EQ(table.FieldNamed("Alternativa").ReadText(), "");
    EXPECT_EQ(table.FieldNamed("Figura").ReadInteger(), 0);
    EXPECT_TRUE(table.FieldNamed("Figura").ReadValue().IsNull());
    table.Advance();
    EXPECT_EQ(table.FieldNamed("NumeroReal").ReadInteger(), 20);
    table.Advance();
    EXPECT_TRUE(table.AtEnd());
}

TEST_F(TableTest, NamesAndReadOnlyChangeOnlyWhileClosed) {
    table.SetActive(true);
    EXPECT_THROW(table.SetTableName("Outra.db"), EDatabaseError);
    EXPECT_THROW(table.SetDatabaseName("Outro"), EDatabaseError);
    EXPECT_THROW(table.SetReadOnly(true), EDatabaseError);
    table.SetTableName("Q.db");  // the same value is no change
    table.SetActive(false);
    table.SetReadOnly(true);
    table.SetActive(true);
    EXPECT_EQ(table.RecordTotal(), 2u);
    EXPECT_THROW(table.BeginEdit(), EDBEngineError);
    table.SetActive(false);
    table.SetTableName("Outra.db");
    EXPECT_THROW(table.SetActive(true), EDBEngineError);
    EXPECT_FALSE(table.Active());
}

TEST_F(TableTest, MessagesOfFieldLookupsAndValues) {
    table.SetActive(true);
    try {
        table.FieldNamed("Nome");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "TableDest: Field 'Nome' not found");
    }
    try {
        table.FieldAt(7);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (7)");
    }
    table.BeginEdit();
    try {
        table.FieldNamed("Nivel").WriteValue(Value::Text("alto"));
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Invalid value for field 'Nivel'");
    }
    EXPECT_THROW(table.FieldNamed("Nivel").WriteValue(Value::Integer(40000)), EDatabaseError);
    // A text one byte longer than the field in the table's code page.
    EXPECT_THROW(table.FieldNamed("Resposta").WriteValue(Value::Text("é!")), EDatabaseError);
    table.FieldNamed("Resposta").WriteValue(Value::Text("é"));
    table.FieldNamed("Nivel").WriteValue(Value::Text("7"));
    table.SaveRecord();
    EXPECT_EQ(table.FieldNamed("Nivel").ReadInteger(), 7);
    EXPECT_EQ(table.FieldNamed("Resposta").ReadText(), "é");
}

TEST_F(TableTest, SeeksByPrimaryKeyAndByFirstEqualValue) {
    table.SetActive(true);
    EXPECT_TRUE(table.SeekFieldValue("NumeroReal", Value::Integer(20)));
    EXPECT_EQ(table.FieldNamed("Enunciado").ReadText(), "vinte");
    EXPECT_FALSE(table.SeekFieldValue("NumeroReal", Value::Integer(30)));
    EXPECT_TRUE(table.SeekPrimaryKey("1"));
    EXPECT_EQ(table.FieldNamed("NumeroReal").ReadInteger(), 10);
    EXPECT_FALSE(table.SeekPrimaryKey("não é número"));

    paradox::Schema s;
    s.fields = {{"Texto", paradox::FieldType::kAlpha, 10}};
    paradox::Table::Create(fs, "C:\\Dados\\Solta.db", s);
    Table loose(session, "TableSource");
    loose.SetDatabaseName("AliasDados");
    loose.SetTableName("Solta");
    loose.SetActive(true);
    try {
        loose.SeekPrimaryKey("x");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "No index currently active");
    }
}

TEST_F(TableTest, EditKeepsUnwrittenFieldsAndAppendTakesTheNextAutoIncrement) {
    table.SetActive(true);
    ASSERT_TRUE(table.SeekFieldValue("NumeroReal", Value::Integer(10)));
    table.BeginEdit();
    table.FieldNamed("Alternativa").WriteValue(Value::Text("nova"));
    table.FieldNamed("Enunciado").WriteValue(Value::Null());
    table.SaveRecord();
    table.BeginAppend();
    table.FieldAt(0).WriteInteger(1);
    table.FieldNamed("NumeroReal").WriteInteger(30);
    table.SaveRecord();
    table.SetActive(false);
    const auto rows = testing::ReadAll(fs, "C:\\Dados\\Q.db");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"int:1", "int:10", "null", "text:nova", "text:A",
                                                 "int:1", "null"}));
    EXPECT_EQ(rows[2][0], "int:3");
    EXPECT_EQ(rows[2][1], "int:30");
}

TEST_F(TableTest, RequiredFieldIsCheckedBeforeTheErrorEvent) {
    table.SetActive(true);
    int events = 0;
    table.OnPostError = [&](Table&, EDatabaseError&, TDataAction&) { ++events; };
    table.FieldNamed("Figura").SetRequired(true);
    table.BeginAppend();
    try {
        table.SaveRecord();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field 'Figura' must have a value");
    }
    EXPECT_EQ(events, 0);
}

// A table's validity file: its required fields are the fields' Required, checked before the
// error event; a new record starts with the defaults, which a written null clears.
TEST_F(TableTest, ValidityChecksGiveRequiredFieldsAndDefaults) {
    paradox::Schema s = testing::QuestionSchema();
    s.fields.push_back({"Estado", paradox::FieldType::kAlpha, 10});
    paradox::Table::Create(fs, "C:\\Dados\\V.db", s).reset();
    paradox::Validity v;
    v.fields.resize(s.fields.size());
    v.fields[2].required = true;
    v.fields[7].defaultValue = std::vector<uint8_t>(10, 0);
    std::memcpy(v.fields[7].defaultValue->data(), "novo", 4);
    fs.Bytes("C:\\Dados\\V.val") = paradox::BuildValidityFile(v, s, "V.db", 1);
    table.SetTableName("V.db");
    table.SetActive(true);
    int events = 0;
    table.OnPostError = [&](Table&, EDatabaseError&, TDataAction&) { ++events; };
    EXPECT_TRUE(table.FieldNamed("Enunciado").Required());
    EXPECT_FALSE(table.FieldNamed("Estado").Required());
    table.BeginAppend();
    EXPECT_EQ(table.FieldNamed("Estado").ReadText(), "novo");
    table.FieldNamed("NumeroReal").WriteInteger(7);
    try {
        table.SaveRecord();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_STREQ(e.what(), "Field 'Enunciado' must have a value");
    }
    EXPECT_EQ(events, 0);
    table.FieldNamed("Enunciado").WriteValue(Value::Text("sete"));
    table.SaveRecord();
    table.BeginAppend();
    table.FieldNamed("NumeroReal").WriteInteger(8);
    table.FieldNamed("Enunciado").WriteValue(Value::Text("oito"));
    table.FieldNamed("Estado").WriteValue(Value::Null());
    table.SaveRecord();
    table.SetActive(false);
    const auto rows = testing::ReadAll(fs, "C:\\Dados\\V.db");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][7], "text:novo");
    EXPECT_EQ(rows[1][7], "null");
}

// The answer of the error event decides: 0 propagates, 1 aborts silently, anything else
// retries (here until the handler changes its answer).
TEST_F(TableTest, ErrorEventAnswersDecideHowASaveGoesOn) {
    FailingSave();
    Table keyed(session, "TableDest");
    keyed.SetDatabaseName("AliasDados");
    keyed.SetTableName("K.db");
    keyed.SetActive(true);
    struct Case {
        std::vector<TDataAction> answers;
        bool aborts;
        int calls;
    };
    const Case cases[] = {{{0}, false, 1},
                          {{1}, true, 1},
                          {{2, 0}, false, 2},
                          {{7, 2, 2, 1}, true, 4},
                          {{2, 7, 0}, false, 3}};
    for (const Case& c : cases) {
        size_t call = 0;
        keyed.OnPostError = [&](Table& dataSet, EDatabaseError& e, TDataAction& action) {
            EXPECT_EQ(&dataSet, &keyed);
            EXPECT_EQ(action, actFail);
            EXPECT_NE(std::string(e.what()).find("ey violation"), std::string::npos) << e.what();
            action = c.answers[call++];
        };
        keyed.BeginAppend();
        keyed.FieldAt(0).WriteInteger(1);
        if (c.aborts) {
            try {
                keyed.SaveRecord();
                FAIL();
            } catch (const EAbort& e) {
                EXPECT_STREQ(e.what(), "Operation aborted");
            }
        } else {
            EXPECT_THROW(keyed.SaveRecord(), EDBEngineError);
        }
        EXPECT_EQ(call, static_cast<size_t>(c.calls));
        keyed.Cancel();
    }
    // Without a handler the error propagates.
    keyed.OnPostError = nullptr;
    keyed.BeginAppend();
    keyed.FieldAt(0).WriteInteger(1);
    EXPECT_THROW(keyed.SaveRecord(), EDBEngineError);
}

TEST_F(TableTest, EditErrorEventForATableTheEngineWillNotWrite) {
    fs.Bytes("C:\\Dados\\Q.X02");  // a secondary index the engine does not maintain
    table.SetActive(true);
    int events = 0;
    table.OnEditError = [&](Table&, EDatabaseError&, TDataAction& a) {
        a = ++events < 3 ? actRetry : actFail;
    };
    EXPECT_THROW(table.BeginEdit(), EDBEngineError);
    EXPECT_EQ(events, 3);
    EXPECT_EQ(table.CurrentState(), Table::State::kBrowse);
}

TEST(EngineErrors, MessagesOfTheEngine) {
    EXPECT_STREQ(EDBEngineError(0x2c00, {"Primeira.", "", "Segunda.", "Primeira."}).what(),
                 "Primeira.\nSegunda.");
    EXPECT_STREQ(EDBEngineError(0x2c0a, {}).what(), "Table engine error $2c0a");
    EXPECT_STREQ(EDBEngineError::StartFailure(0x2501).what(),
                 "An error occurred while attempting to initialize the table database engine "
                 "(error $2501)");
}

TEST(SessionTest, AliasesPasswordsAndTheEngineStart) {
    paradox::MemoryFileSystem fs;
    Session session(fs);
    std::vector<bool> busy;
    session.OnEngineBusy = [&](bool b) { busy.push_back(b); };
    session.ReleaseIdleConnections();
    EXPECT_TRUE(busy.empty());
    session.RemoveAlias("Ausente");  // no error; the engine starts here
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    EXPECT_TRUE(session.Active());
    session.DefineStandardAlias("AliasFEFísica", "C:\\Velho", "Paradox");
    session.DefineStandardAlias("ALIASFEFÍSICA", "C:\\Novo", "Paradox");
    EXPECT_EQ(session.AliasPath("aliasfeFísica"), "C:\\Novo");
    session.RemoveAlias("AliasFEFísica");
    EXPECT_FALSE(session.HasAlias("AliasFEFísica"));
    EXPECT_THROW(session.DefineStandardAlias("X", "C:\\", "DBASE"), EDBEngineError);
    session.RegisterPassword("K734");
    session.RegisterPassword("K734");
    EXPECT_EQ(session.Passwords().size(), 1u);
    session.SetActive(true);
    EXPECT_EQ(busy.size(), 2u);

    Session failing(fs);
    failing.FailNextStart(0x2501);
    try {
        failing.RemoveAlias("A");
        FAIL();
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("initialize the table database engine"),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace pq::tabledb

namespace pq::tabledb {
namespace {

// The adapter over the system's files in a temporary folder: an alias, a protected table
// opened with a registered password, a write, and the error without the password.
TEST(TableOnDisk, RegisteredPasswordOpensAProtectedTable) {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("pq-tabledb-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string folder = dir.string();
    paradox::Schema schema;
    schema.fields = {{"Nome", paradox::FieldType::kAlpha, 20},
                     {"Nota", paradox::FieldType::kShort, 2}};
    schema.keyFieldCount = 1;
    paradox::CreateOptions options;
    options.password = "K734";
    {
        auto t = paradox::Table::Create(paradox::OsFileSystem(), (dir / "Protegida.db").string(),
                                        schema, options);
        t->Append();
        t->Set(0, paradox::Value::Text("Ana Júlia"));
        t->Set(1, paradox::Value::Integer(9));
        t->Post();
    }
    Session session(paradox::OsFileSystem());
    session.DefineStandardAlias("AliasTeste", folder, "Paradox");
    Table table(session, "TableDest");
    table.SetDatabaseName("AliasTeste");
    table.SetTableName("Protegida.db");
    try {
        table.SetActive(true);
        FAIL() << "opened without the password";
    } catch (const EDBEngineError& e) {
        EXPECT_NE(std::string(e.what()).find("Protegida.db"), std::string::npos) << e.what();
    }
    session.RegisterPassword("Norte Fundos");
    session.RegisterPassword("K734");
    table.SetActive(true);
    ASSERT_TRUE(table.SeekPrimaryKey("Ana Júlia"));
    table.BeginEdit();
    table.FieldNamed("Nota").WriteValue(Value::Text("10"));
    table.SaveRecord();
    table.SetActive(false);
    table.SetActive(true);
    EXPECT_EQ(table.FieldNamed("Nota").ReadInteger(), 10);
    table.SetActive(false);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace pq::tabledb
