// The pdxtool program as people and scripts run it: exit status and output of each command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

using ::testing::HasSubstr;
namespace fsys = std::filesystem;

struct Outcome {
    int status;
    std::string out;
};

Outcome Pdxtool(const std::string& args) {
    const std::string cmd = std::string(PQ_BINARY_DIR) + "/bin/pdxtool " + args + " 2>&1";
    Outcome r{-1, ""};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

struct ProgramFixture : ::testing::Test {
    fsys::path dir;
    void SetUp() override {
        std::string templ = (fsys::temp_directory_path() / "pdxtool-XXXXXX").string();
        dir = mkdtemp(templ.data());
    }
    void TearDown() override { fsys::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& content) {
        std::ofstream(dir / name, std::ios::binary) << content;
        return (dir / name).string();
    }
};

TEST_F(ProgramFixture, HelpAndUsage) {
    const Outcome help = Pdxtool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("field TYPE NAME"));
    EXPECT_THAT(help.out, HasSubstr("blob:SIZE:CRC32"));
    EXPECT_EQ(Pdxtool("").status, 2);
    EXPECT_EQ(Pdxtool("frobnicate x.db").status, 2);
    EXPECT_EQ(Pdxtool("create only-one-argument.db").status, 2);
}

TEST_F(ProgramFixture, CreateInfoDumpCheckAndACorruptByte) {
    Write("pic.bmp", std::string(5000, 'P'));
    const std::string schema = Write("s.txt",
                                     "level 7\nkey 1\nfield A20 Nome\nfield G10 Figura\n"
                                     "field M11 Texto\nfield I NumeroReal\n");
    const std::string tsv = Write("d.tsv",
                                  "Nome\tFigura\tTexto\tNumeroReal\n"
                                  "b\t@pic.bmp\tlinha 1\\nlinha 2\t2\n"
                                  "a\t\\N\t\\N\t1\n");
    const std::string db = (dir / "Fig.db").string();
    const Outcome create = Pdxtool("create " + db + " " + schema + " " + tsv);
    ASSERT_EQ(create.status, 0) << create.out;
    EXPECT_THAT(create.out, HasSubstr("2 records"));
    EXPECT_TRUE(fsys::exists(dir / "Fig.px"));
    EXPECT_TRUE(fsys::exists(dir / "Fig.mb"));
    const Outcome info = Pdxtool("info " + db);
    EXPECT_EQ(info.status, 0);
    EXPECT_THAT(info.out, HasSubstr("level: 7"));
    EXPECT_THAT(info.out, HasSubstr("records: 2"));
    EXPECT_THAT(info.out, HasSubstr("key fields: 1 (Nome)"));
    EXPECT_THAT(info.out, HasSubstr("code page: 1252"));
    EXPECT_THAT(info.out, HasSubstr("Figura\tG10\tgraphic"));
    const Outcome dump = Pdxtool("dump " + db);
    EXPECT_EQ(dump.status, 0);
    // CRC-32 values as zlib computes them.
    EXPECT_EQ(dump.out,
              "Nome\tFigura\tTexto\tNumeroReal\n"
              "a\t\\N\t\\N\t1\n"
              "b\tblob:5000:48ce5a5c\tblob:15:f16e6b16\t2\n");
    EXPECT_EQ(Pdxtool("check " + db).status, 0);
    // One byte of the header's record count.
    {
        std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(6);
        f.put(9);
    }
    const Outcome check = Pdxtool("check " + db);
    EXPECT_EQ(check.status, 1);
    EXPECT_THAT(check.out, HasSubstr("the header counts 9 records, the blocks hold 2"));
    EXPECT_EQ(Pdxtool("create " + db + " " + schema).status, 1);  // exists
}

TEST_F(ProgramFixture, EverySampleChecksAndEncryptedOnesNeedTheirPassword) {
    size_t tables = 0;
    for (const char* folder : {"", "/with-companions"})
        for (const auto& e : fsys::directory_iterator(std::string(PQ_SAMPLES_DIR) + folder)) {
            const std::string ext = e.path().extension().string();
            if (ext != ".DB" && ext != ".db") continue;
            ++tables;
            const Outcome r = Pdxtool("check " + e.path().string() + " --password 123");
            EXPECT_EQ(r.status, 0) << e.path() << ": " << r.out;
        }
    EXPECT_GE(tables, 21u);
    const std::string enc = std::string(PQ_SAMPLES_DIR) + "/encrypted.db";
    const Outcome noPassword = Pdxtool("dump " + enc);
    EXPECT_EQ(noPassword.status, 1);
    EXPECT_THAT(noPassword.out, HasSubstr("encrypted"));
    const Outcome info = Pdxtool("info " + enc);  // the header is readable without it
    EXPECT_EQ(info.status, 0);
    EXPECT_THAT(info.out, HasSubstr("encrypted: yes"));
    const Outcome dump = Pdxtool("dump " + enc + " --password 123");
    EXPECT_THAT(dump.out, HasSubstr("4\tLast one\n"));
}

TEST_F(ProgramFixture, IndexLinesMakeMaintainedIndexesThatInfoListsAndCheckChecks) {
    const std::string schema = Write("q.txt",
                                     "key 1\nfield I Codigo\nfield I NumeroReal\nfield A20 Nome\n"
                                     "index NumeroReal\nindex Nome, NumeroReal name Por Nome\n");
    const std::string tsv =
        Write("q.tsv", "Codigo\tNumeroReal\tNome\n3\t30\tc\n1\t10\tb\n2\t20\ta\n");
    const std::string db = (dir / "Q.DB").string();
    const Outcome create = Pdxtool("create " + db + " " + schema + " " + tsv);
    ASSERT_EQ(create.status, 0) << create.out;
    for (const char* f : {"Q.X02", "Q.Y02", "Q.XG0", "Q.YG0"})
        EXPECT_TRUE(fsys::exists(dir / f)) << f;
    const Outcome info = Pdxtool("info " + db);
    EXPECT_THAT(info.out,
                HasSubstr("secondary index: Q.X02, kind 5 (maintained), on NumeroReal\n"));
    EXPECT_THAT(info.out, HasSubstr("secondary index: Q.XG0, kind 8 (maintained), on Nome, "
                                    "NumeroReal, named Por Nome\n"));
    EXPECT_EQ(Pdxtool("check " + db).status, 0);
    // The block number of the first entry of Q.X02 (2 KiB header, 6-byte block header, 8 bytes
    // of fields before it).
    {
        std::fstream f((dir / "Q.X02").string(), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(2048 + 6 + 8);
        f.put(static_cast<char>(0x90));
    }
    const Outcome check = Pdxtool("check " + db);
    EXPECT_EQ(check.status, 1);
    EXPECT_THAT(check.out, HasSubstr("Q.X02: 1 entries differ from a rebuild"));
    const std::string bad = Write("bad.txt", "key 1\nfield I A\nfield I B\nindex B,\n");
    const Outcome refused = Pdxtool("create " + (dir / "Bad.DB").string() + " " + bad);
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.out, HasSubstr("bad.txt:4: index takes field names"));
    const std::string first = Write("first.txt", "key 1\nfield I A\nfield I B\nindex A\n");
    const Outcome keyField = Pdxtool("create " + (dir / "First.DB").string() + " " + first);
    EXPECT_EQ(keyField.status, 1);
    EXPECT_THAT(keyField.out, HasSubstr("its first field is the first field of the primary key"));
}

// A table made with validity lines, then fixed and extended by hand with upsert: records with
// a key it holds replace those, the others are added; a record that breaks a check stops the
// run at its line, after the lines before it were saved.
TEST_F(ProgramFixture, CreateWithValidityChecksThenUpsert) {
    const std::string schema = Write("s.txt",
                                     "key 1\nfield I NumeroReal\nfield A20 Assunto\n"
                                     "field S Nota\nfield A10 Estado\n"
                                     "valid Assunto required\nvalid Nota min 0\n"
                                     "valid Nota max 10\nvalid Estado default novo\n");
    const std::string db = (dir / "Q.db").string();
    const Outcome create = Pdxtool("create " + db + " " + schema + " " +
                                   Write("d.tsv", "NumeroReal\tAssunto\n1\ta\n"));
    ASSERT_EQ(create.status, 0) << create.out;
    EXPECT_TRUE(fsys::exists(dir / "Q.val"));
    const Outcome info = Pdxtool("info " + db);
    EXPECT_THAT(info.out, HasSubstr("validity checks: 4\n  valid Assunto required\n"
                                    "  valid Nota min 0\n  valid Nota max 10\n"
                                    "  valid Estado default novo\n"));
    const Outcome upsert =
        Pdxtool("upsert " + db + " " +
                Write("u.tsv", "NumeroReal\tAssunto\tNota\n3\tc\t9\n1\tA\t10\n2\tb\t\\N\n"));
    EXPECT_EQ(upsert.status, 0) << upsert.out;
    EXPECT_EQ(upsert.out, "inserted 2, replaced 1\n");
    const Outcome refused = Pdxtool(
        "upsert " + db + " " + Write("v.tsv", "NumeroReal\tAssunto\tNota\n4\td\t0\n5\te\t11\n"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.out, HasSubstr("v.tsv:3: " + db +
                                       ": value 11 of field 'Nota' is above "
                                       "its maximum 10"));
    const Outcome missing =
        Pdxtool("upsert " + db + " " + Write("w.tsv", "NumeroReal\tNota\n6\t1\n"));
    EXPECT_THAT(missing.out, HasSubstr("w.tsv:2: Field 'Assunto' must have a value"));
    EXPECT_THAT(Pdxtool("upsert " + db + " " + Write("x.tsv", "Nota\n1\n")).out,
                HasSubstr("x.tsv:1: no column for the key field 'NumeroReal'"));
    EXPECT_EQ(Pdxtool("dump " + db).out,
              "NumeroReal\tAssunto\tNota\tEstado\n"
              "1\tA\t10\tnovo\n2\tb\t\\N\tnovo\n3\tc\t9\tnovo\n4\td\t0\tnovo\n");
    EXPECT_EQ(Pdxtool("check " + db).status, 0);
    // The validity file's first byte must be the table's change counter at 0x2E.
    {
        std::fstream f(dir / "Q.val", std::ios::in | std::ios::out | std::ios::binary);
        f.put(0x7F);
    }
    const Outcome stale = Pdxtool("check " + db);
    EXPECT_EQ(stale.status, 1);
    EXPECT_THAT(stale.out, HasSubstr("the validity file is out of date"));
    EXPECT_THAT(Pdxtool("create " + (dir / "R.db").string() + " " +
                        Write("t.txt", "field S Nota\nvalid Nota max dez\n"))
                    .out,
                HasSubstr("t.txt:2: "));
}

}  // namespace
