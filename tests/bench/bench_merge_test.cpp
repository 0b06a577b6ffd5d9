#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "base/text.h"
#include "bench/merge/counting_fs.h"
#include "bench/merge/ours.h"
#include "bench/merge/report.h"
#include "bench/merge/tables.h"
#include "bench/merge/workload.h"
#include "install/merge.h"
#include "paradox/file.h"
#include "tabledb/session.h"
#include "tabledb/table.h"

namespace pq::bench {
namespace {

// The package plan: exactly half its keys (rounded down) are the host's, the others are new
// to the host, no key twice, and the same plan every time.
TEST(BenchWorkload, PackagePlanHasHalfHostKeysAndNewKeysThatTheHostLacks) {
    for (Kind kind : {Kind::kQuestions, Kind::kFigures}) {
        for (uint32_t n : {1u, 10u, 1000u}) {
            const uint32_t m = n / 10 ? n / 10 : 1;
            const auto plan = PackagePlan(kind, n, m);
            ASSERT_EQ(plan.size(), m);
            std::set<int32_t> host, keys;
            for (uint32_t i = 0; i < n; ++i) host.insert(HostNumeroReal(i));
            uint32_t existing = 0;
            for (const PackageEntry& e : plan) {
                ASSERT_LT(e.hostIndex, n);
                const int32_t key =
                    e.existing ? HostNumeroReal(e.hostIndex) : NewNumeroReal(e.hostIndex);
                EXPECT_EQ(host.count(key), e.existing ? 1u : 0u);
                EXPECT_TRUE(keys.insert(key).second) << "key twice: " << key;
                existing += e.existing;
            }
            EXPECT_EQ(existing, m / 2);
            EXPECT_EQ(MergedRecordCount(n, m), n + (m - existing));
            const auto again = PackagePlan(kind, n, m);
            for (size_t i = 0; i < m; ++i) EXPECT_EQ(again[i].hostIndex, plan[i].hostIndex);
        }
    }
    EXPECT_LT(HostFigureName(4), NewFigureName(4));
    EXPECT_LT(NewFigureName(4), HostFigureName(5));
}

// Records fit their fields in code page 1252, differ between host and package, and are made
// the same way each time; pictures are BMP files of about 30 KB.
TEST(BenchWorkload, RecordsFitTheirFieldsAndPicturesLookLikeBitmaps) {
    for (int32_t key : {100000, 100001, 123456}) {
        const QuestionRecord q = MakeQuestion(key, Version::kHost);
        const size_t chars = text::CodePointCount(q.enunciado);
        EXPECT_GE(chars, 900u);
        EXPECT_LE(chars, 1110u);
        for (const std::string& a : q.alternativas) {
            bool lossless = true;
            const std::string ansi = text::FromUtf8(a, 1252, &lossless);
            EXPECT_TRUE(lossless);
            EXPECT_GE(ansi.size(), 1u);
            EXPECT_LE(ansi.size(), 255u);
        }
        EXPECT_NE(q.enunciado, MakeQuestion(key, Version::kPackage).enunciado);
        EXPECT_EQ(q.enunciado, MakeQuestion(key, Version::kHost).enunciado);
        EXPECT_NE(q.enunciado.find_first_of("\xC3"), std::string::npos) << "no accented letter";
    }
    const FigureRecord f = MakeFigure(HostFigureName(7), Version::kHost);
    ASSERT_GE(f.figura.size(), 26000u);
    EXPECT_LE(f.figura.size(), 34000u + 1078u);
    EXPECT_EQ(f.figura[0], 'B');
    EXPECT_EQ(f.figura[1], 'M');
    const uint32_t stored = f.figura[2] | f.figura[3] << 8 | f.figura[4] << 16 | f.figura[5] << 24;
    EXPECT_EQ(stored, f.figura.size());
    EXPECT_NE(f.figura, MakeFigure(HostFigureName(7), Version::kPackage).figura);
}

Row MakeRow(Kind kind, uint32_t n, double ours, std::optional<double> sqlite, uint64_t peak) {
    Row r;
    r.kind = kind;
    r.n = n;
    r.m = n / 10;
    r.oursSeconds = ours;
    r.sqliteSeconds = sqlite;
    r.bytesWritten = 1000;
    r.seqWriteSeconds = ours / 4;
    r.peakRssBytes = peak;
    return r;
}

// Each target's boundary, and the CSV line with and without the SQLite columns.
TEST(BenchReport, TargetsAtTheirBoundariesAndCsvLines) {
    constexpr uint64_t kMiB = 1024 * 1024;
    const uint64_t limit100k = 64 * kMiB + 32 * 100000;
    std::vector<Row> rows = {
        MakeRow(Kind::kQuestions, 1000, 0.1, 0.1, 5 * kMiB),         // ratio 1.0: passes
        MakeRow(Kind::kQuestions, 100000, 15.0, 14.9, 5 * kMiB),     // 150 us = 1.5 x 100 us
        MakeRow(Kind::kFigures, 1000, 0.2, 0.1, 5 * kMiB),           // ratio 2: fails
        MakeRow(Kind::kFigures, 100000, 30.1, 40.0, limit100k - 1),  // growth 1.505: fails
    };
    bool met = true;
    const auto lines = CheckTargets(rows, &met);
    EXPECT_FALSE(met);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0].substr(0, 4), "PASS");              // questions 1000 ratio
    EXPECT_EQ(lines[1].substr(0, 4), "FAIL");              // questions 100000 ratio 1.007
    EXPECT_EQ(lines[2].substr(0, 4), "FAIL");              // figures 1000 ratio 2
    EXPECT_EQ(lines[3].substr(0, 4), "PASS");              // figures 100000 ratio 0.75
    EXPECT_EQ(lines[4].substr(0, 4), "PASS") << lines[4];  // questions growth 1.5
    EXPECT_EQ(lines[5].substr(0, 4), "FAIL") << lines[5];  // figures growth 1.505
    EXPECT_EQ(lines[6].substr(0, 4), "PASS");
    EXPECT_EQ(lines[7].substr(0, 4), "PASS") << lines[7];  // just under the limit
    rows[3].peakRssBytes = limit100k;
    EXPECT_EQ(CheckTargets(rows, nullptr)[7].substr(0, 4), "FAIL");

    EXPECT_EQ(CsvLine(rows[0]),
              "questions,1000,100,0.100000,0.100000,1.000,1000.00,1000,0.250,5.00");
    const Row windows = MakeRow(Kind::kFigures, 1000, 0.2, std::nullopt, 3 * kMiB / 2);
    EXPECT_EQ(CsvLine(windows), "figures,1000,100,0.200000,,,2000.00,1000,0.250,1.50");
    EXPECT_EQ(std::string(kCsvHeader),
              "kind,N,M,ours_s,sqlite_s,ratio,us_per_record,bytes_written,seqwrite_ratio,"
              "peak_rss_mib");

    // The writes alone: beside SQLite and ours; rows without a replay are left out.
    rows[0].writeCalls = 800;
    rows[0].writesAloneSeconds = 0.025;
    rows[2].writesAloneSeconds = 0.05;
    const auto alone = WritesAloneLines(rows);
    ASSERT_EQ(alone.size(), 2u);
    EXPECT_EQ(alone[0],
              "questions N=1000: 800 writes in 0.0250 s, 250.0 us per record, 0.25 x SQLite's "
              "whole upsert, 25 % of ours");
    EXPECT_EQ(WritesAloneLines({windows}), std::vector<std::string>{});
    // With the package read alone: the floor of a merge that saves each record, beside SQLite.
    rows[0].readsAloneSeconds = 0.05;
    EXPECT_EQ(WritesAloneLines(rows)[0],
              "questions N=1000: 800 writes in 0.0250 s, 250.0 us per record, 0.25 x SQLite's "
              "whole upsert, 25 % of ours; package read 0.0500 s, 500.0 us per record; together "
              "750.0 us per record, 0.75 x SQLite");

    // SQLite committing each record: only rows that have it, ours beside it.
    rows[2].sqliteEachSeconds = 0.4;
    EXPECT_EQ(EachRecordLines(rows), std::vector<std::string>{"figures N=1000: SQLite 0.4000 s, "
                                                              "4000.0 us per record; ours "
                                                              "0.500 x that"});
}

// The merge's write calls are logged in order, survive a trip through a file (the replay runs
// in a process of its own) and are made again at the same places with the same lengths.
TEST(BenchWrites, TheLogKeepsEveryWriteAndTheReplayMakesThemAgain) {
    paradox::MemoryFileSystem memory;
    CountingFileSystem fs(memory);
    {
        auto a = fs.Open("/h/a.db", paradox::OpenMode::kCreate);
        auto b = fs.Open("/h/b.mb", paradox::OpenMode::kCreate);
        const std::vector<uint8_t> bytes(10, 1);
        a->WriteAt(0, bytes.data(), 10);
        b->WriteOverFree(100, bytes.data(), 5);
        a->WriteAt(4, bytes.data(), 3);
    }
    fs.Open("/h/a.db", paradox::OpenMode::kRead);  // known already: the same index
    const WriteCounts& counts = fs.counts();
    EXPECT_EQ(counts.calls, 3u);
    EXPECT_EQ(counts.bytes, 18u);
    EXPECT_EQ(counts.paths, (std::vector<std::string>{"/h/a.db", "/h/b.mb"}));
    ASSERT_EQ(counts.log.size(), 3u);
    EXPECT_EQ(counts.log[1].file, 1u);
    EXPECT_EQ(counts.log[1].offset, 100u);
    EXPECT_EQ(counts.log[2].length, 3u);

    const std::string path = ::testing::TempDir() + "bench_writes.log";
    SaveWriteLog(counts, path);
    const WriteCounts back = LoadWriteLog(path);
    EXPECT_EQ(back.paths, counts.paths);
    EXPECT_EQ(back.calls, 3u);
    EXPECT_EQ(back.bytes, 18u);
    ASSERT_EQ(back.log.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.log[i].file, counts.log[i].file);
        EXPECT_EQ(back.log[i].offset, counts.log[i].offset);
        EXPECT_EQ(back.log[i].length, counts.log[i].length);
    }

    paradox::MemoryFileSystem fresh;
    fresh.Bytes("/h/a.db") = std::vector<uint8_t>(20, 7);  // an existing file is written over
    EXPECT_GE(ReplayWrites(back, fresh), 0.0);
    std::vector<uint8_t> a(20, 7);
    std::fill(a.begin(), a.begin() + 10, 0x5A);
    EXPECT_EQ(fresh.Bytes("/h/a.db"), a);
    EXPECT_EQ(fresh.Bytes("/h/b.mb").size(), 105u);  // created
    EXPECT_EQ(fresh.Bytes("/h/b.mb")[104], 0x5A);

    fs.Reset();
    EXPECT_EQ(fs.counts().calls, 0u);
    EXPECT_TRUE(fs.counts().log.empty());
    EXPECT_EQ(fs.counts().paths.size(), 2u) << "the files stay known";

    // A log cut short is an error, not a shorter replay.
    std::vector<char> raw;
    {
        std::ifstream in(path, std::ios::binary);
        raw.assign(std::istreambuf_iterator<char>(in), {});
    }
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(raw.data(), static_cast<std::streamsize>(raw.size() - 4));
    }
    try {
        LoadWriteLog(path);
        ADD_FAILURE() << "a cut log was read";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("cut short"), std::string::npos) << e.what();
    }
    std::remove(path.c_str());
}

class NullHost : public install::MergeHost {
  public:
    void SetPartialPosition(int p) override { position = p; }
    void SetPartialMax(int) override {}
    int PartialPosition() const override { return position; }
    void ProcessMessages() override {}
    bool CancelRequested() const override { return false; }
    int position = 0;
};

// A small case of each kind merged in memory through the installer's MergeTable: the counting
// file system sees the merge's writes, the check passes after the merge and finds the
// package missing before it.
TEST(BenchTables, MergedHostPassesTheCheckAndAnUnmergedOneFails) {
    for (Kind kind : {Kind::kQuestions, Kind::kFigures}) {
        paradox::MemoryFileSystem memory;
        CountingFileSystem fs(memory);
        const uint32_t n = 40, m = 8;
        const auto plan = PackagePlan(kind, n, m);
        WriteHostTable(fs, "/host", kind, n);
        WritePackageTable(fs, "/pkg", kind, plan);
        uint64_t read = 0;
        RunPackageRead(fs, "/pkg", kind, &read);
        EXPECT_EQ(read, m);
        EXPECT_FALSE(
            VerifyMergedHost(fs, "/host", HostTableName(kind), kind, n, plan, m, true).empty());

        tabledb::Session session(fs);
        tabledb::Table dest(session, "TableDest"), source(session, "TableSource");
        dest.SetDatabaseName("/host");
        dest.SetTableName(HostTableName(kind));
        dest.SetActive(true);
        source.SetDatabaseName("/pkg");
        source.SetTableName(PackageTableName(kind));
        source.SetActive(true);
        fs.Reset();
        NullHost host;
        install::MergeTable(source, dest, host);
        EXPECT_EQ(host.position, static_cast<int>(m));
        EXPECT_GT(fs.counts().calls, m);
        EXPECT_GT(fs.counts().bytes, kind == Kind::kFigures ? m * 26000u : m * 1000u);
        dest.SetActive(false);
        EXPECT_EQ(VerifyMergedHost(fs, "/host", HostTableName(kind), kind, n, plan, m, true),
                  std::vector<std::string>{})
            << KindName(kind);
    }
}

}  // namespace
}  // namespace pq::bench
