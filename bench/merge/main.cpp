// bench_merge: the record merge against a host of N records, for questions and figures, side
// by side with SQLite's upsert of the same records (native builds).
//
//   bench_merge [--sizes 1000,10000,100000] [--kinds questions,figures] [--csv PATH]
//               [--dir FOLDER] [--repeat K] [--quick] [--strict] [--indexed]
//
// --indexed: the host's question table has a maintained secondary index on NumeroReal, which
// every save keeps (the figure table's layout has no field to index but its key).
//
// Each (kind, N) case runs in fresh child processes of this same program, so that one case's
// peak memory says nothing of another's: one makes our host and package tables, one the SQLite
// host (neither is timed); then, K times (--repeat, 3 by default) on fresh copies of those, one
// merges the package into our host (the only timed part of ours, and the process whose peak
// memory is reported), one makes the merge's write calls again on a fresh copy of the host
// without the engine, one reads the package as the merge does with no host, one times
// SQLite's upsert in one transaction and one with each record committed on its own, and the
// parent writes the same number of bytes sequentially. The best of the K runs counts: the machine
// is shared. Between phases the system writes the dirty pages out, so that no phase pays for the
// one before. At the end the parent prints the table and the targets and writes the CSV.
//
// Exit code: 0 when every case ran and was checked, 1 on any error, 2 with --strict when a
// target is missed.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/merge/counting_fs.h"
#include "bench/merge/ours.h"
#include "bench/merge/platform.h"
#include "bench/merge/report.h"
#include "bench/merge/tables.h"
#include "bench/merge/workload.h"
#include "paradox/file.h"
#include "paradox/table.h"
#ifdef PQ_BENCH_SQLITE
#include "bench/merge/sqlite_anchor.h"
#endif

namespace pq::bench {
namespace {

namespace fs = std::filesystem;

constexpr bool kHaveSqlite =
#ifdef PQ_BENCH_SQLITE
    true;
#else
    false;
#endif

struct Options {
    std::vector<uint32_t> sizes = {1000, 10000, 100000};
    std::vector<Kind> kinds = {Kind::kQuestions, Kind::kFigures};
    std::string dir = PQ_BENCH_DEFAULT_DIR;
    std::string csv;  // default: dir + "/merge.csv"
    bool strict = false;
    int repeat = 3;
    bool verify = true;  // --no-verify: a merge phase skips its checks (for profiling)
    bool indexed = false;
    // A child's phase and its case.
    std::string phase;
    Kind kind = Kind::kQuestions;
    uint32_t n = 0;
    uint32_t m = 0;
    std::string caseDir;
    std::string result;
};

[[noreturn]] void Usage(const std::string& why) {
    throw std::invalid_argument(
        why +
        "\nusage: bench_merge [--sizes N,N,...] [--kinds questions,figures] [--csv PATH] "
        "[--dir FOLDER] [--repeat K] [--quick] [--strict] [--indexed]");
}

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> parts;
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, ','))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

uint32_t ParseCount(const std::string& s) {
    size_t used = 0;
    unsigned long v = 0;
    try {
        v = std::stoul(s, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != s.size() || v == 0 || v > 1000000) Usage("bad record count '" + s + "'");
    return static_cast<uint32_t>(v);
}

Options Parse(int argc, char** argv) {
    Options o;
    bool sizesGiven = false, quick = false, repeatGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(a + " needs a value");
            return argv[++i];
        };
        if (a == "--sizes") {
            o.sizes.clear();
            for (const std::string& s : Split(value())) o.sizes.push_back(ParseCount(s));
            if (o.sizes.empty()) Usage("--sizes needs at least one size");
            sizesGiven = true;
        } else if (a == "--kinds") {
            o.kinds.clear();
            for (const std::string& k : Split(value())) o.kinds.push_back(KindFromName(k));
            if (o.kinds.empty()) Usage("--kinds needs at least one kind");
        } else if (a == "--csv") {
            o.csv = value();
        } else if (a == "--dir") {
            o.dir = value();
        } else if (a == "--quick") {
            quick = true;
        } else if (a == "--repeat") {
            o.repeat = static_cast<int>(ParseCount(value()));
            repeatGiven = true;
            if (o.repeat > 20) Usage("--repeat takes 1 to 20");
        } else if (a == "--no-verify") {
            o.verify = false;
        } else if (a == "--indexed") {
            o.indexed = true;
        } else if (a == "--strict") {
            o.strict = true;
        } else if (a == "--phase") {
            o.phase = value();
        } else if (a == "--kind") {
            o.kind = KindFromName(value());
        } else if (a == "--n") {
            o.n = ParseCount(value());
        } else if (a == "--m") {
            o.m = ParseCount(value());
        } else if (a == "--case-dir") {
            o.caseDir = value();
        } else if (a == "--result") {
            o.result = value();
        } else {
            Usage("unknown option '" + a + "'");
        }
    }
    if (quick && !sizesGiven) o.sizes = {300};
    if (quick && !repeatGiven) o.repeat = 1;
    if (o.csv.empty()) o.csv = (fs::path(o.dir) / "merge.csv").string();
    return o;
}

std::string HostFolder(const std::string& caseDir) {
    return (fs::path(caseDir) / "host").string();
}
std::string PackageFolder(const std::string& caseDir) {
    return (fs::path(caseDir) / "Questoes").string();
}
std::string WriteLogPath(const std::string& caseDir) {
    return (fs::path(caseDir) / "writes.log").string();
}
std::string SqlitePath(const std::string& caseDir) {
    return (fs::path(caseDir) / "host.sqlite").string();
}

// ---- the children's phases ----

void PhasePrepare(const Options& o) {
    fs::create_directories(HostFolder(o.caseDir));
    fs::create_directories(PackageFolder(o.caseDir));
    WriteHostTable(paradox::OsFileSystem(), HostFolder(o.caseDir), o.kind, o.n);
    if (o.indexed && o.kind == Kind::kQuestions)
        paradox::Table::Open(paradox::OsFileSystem(),
                             (fs::path(HostFolder(o.caseDir)) / HostTableName(o.kind)).string())
            ->AddSecondaryIndex({"NumeroReal"});
    WritePackageTable(paradox::OsFileSystem(), PackageFolder(o.caseDir), o.kind,
                      PackagePlan(o.kind, o.n, o.m));
}

void PhaseOurs(const Options& o) {
    const MergeMeasure m = RunOurMerge(HostFolder(o.caseDir), PackageFolder(o.caseDir), o.kind);
    const uint64_t peak = PeakResidentBytes();
    if (m.records != o.m || m.messageRounds != o.m)
        throw std::runtime_error("the merge went through " + std::to_string(m.records) +
                                 " records in " + std::to_string(m.messageRounds) +
                                 " message rounds, expected " + std::to_string(o.m));
    // Checked after the measures were taken: reading the host back costs memory and time.
    const auto problems = !o.verify ? std::vector<std::string>{}
                                    : VerifyMergedHost(paradox::OsFileSystem(),
                                                       HostFolder(o.caseDir), HostTableName(o.kind),
                                                       o.kind, o.n, PackagePlan(o.kind, o.n, o.m),
                                                       o.m <= 100 ? o.m : 100, o.n <= 10000);
    if (!problems.empty()) {
        std::string all = "the merged host is wrong:";
        for (size_t i = 0; i < problems.size() && i < 20; ++i) all += "\n  " + problems[i];
        throw std::runtime_error(all);
    }
    // For the replay phase, which makes the same writes on a fresh copy of the host.
    SaveWriteLog(m.writes, WriteLogPath(o.caseDir));
    WriteResultFile(o.result, {{"seconds", std::to_string(m.seconds)},
                               {"bytes", std::to_string(m.writes.bytes)},
                               {"calls", std::to_string(m.writes.calls)},
                               {"peak", std::to_string(peak)}});
}

// The write calls of the last merge of this case again, with nothing of the engine around
// them, on a fresh copy of the host settled as the merge's was: what those writes cost the
// system alone.
void PhaseReplay(const Options& o) {
    const WriteCounts log = LoadWriteLog(WriteLogPath(o.caseDir));
    const double seconds = ReplayWrites(log, paradox::OsFileSystem());
    WriteResultFile(o.result, {{"seconds", std::to_string(seconds)}});
}

// The package read alone, as the merge reads it, with no host.
void PhaseRead(const Options& o) {
    uint64_t records = 0;
    const double seconds =
        RunPackageRead(paradox::OsFileSystem(), PackageFolder(o.caseDir), o.kind, &records);
    if (records != o.m)
        throw std::runtime_error("the package read went through " + std::to_string(records) +
                                 " records, expected " + std::to_string(o.m));
    WriteResultFile(o.result, {{"seconds", std::to_string(seconds)}});
}

void PhaseSqliteHost([[maybe_unused]] const Options& o) {
#ifdef PQ_BENCH_SQLITE
    WriteSqliteHost(SqlitePath(o.caseDir), o.kind, o.n);
#else
    throw std::runtime_error("this build has no SQLite");
#endif
}

void PhaseSqlite([[maybe_unused]] const Options& o) {
#ifdef PQ_BENCH_SQLITE
    const SqliteMeasure m =
        RunSqliteUpsert(SqlitePath(o.caseDir), o.kind, o.n, o.m,
                        o.phase == "sqlite-each" ? Commit::kEachRecord : Commit::kOnce);
    if (m.rowsAfter != MergedRecordCount(o.n, o.m))
        throw std::runtime_error("SQLite holds " + std::to_string(m.rowsAfter) +
                                 " rows after the upsert, expected " +
                                 std::to_string(MergedRecordCount(o.n, o.m)));
    WriteResultFile(o.result, {{"seconds", std::to_string(m.seconds)}});
#else
    throw std::runtime_error("this build has no SQLite");
#endif
}

// ---- the parent ----

bool gIndexed = false;  // --indexed, handed on to the children

std::map<std::string, std::string> RunPhase(const char* phase, Kind kind, uint32_t n, uint32_t m,
                                            const std::string& caseDir) {
    const std::string result = (fs::path(caseDir) / (std::string(phase) + ".result")).string();
    fs::remove(result);
    std::vector<std::string> args = {
        "--phase",         phase,        "--kind", KindName(kind), "--n", std::to_string(n), "--m",
        std::to_string(m), "--case-dir", caseDir,  "--result",     result};
    if (gIndexed) args.push_back("--indexed");
    const int code = RunSelf(args);
    if (code != 0)
        throw std::runtime_error(std::string("the ") + phase + " phase of " + KindName(kind) +
                                 " N=" + std::to_string(n) + " failed (exit code " +
                                 std::to_string(code) + ")");
    if (std::string(phase) == "prepare" || std::string(phase) == "sqlite-host") return {};
    return ReadResultFile(result);
}

double Number(const std::map<std::string, std::string>& values, const char* key) {
    auto it = values.find(key);
    if (it == values.end()) throw std::runtime_error(std::string("a result lacks '") + key + "'");
    return std::stod(it->second);
}

// A fresh copy of what a phase changes, so that every repeat starts from the same tables.
void CopyFresh(const fs::path& from, const fs::path& to) {
    fs::remove_all(to);
    if (fs::is_directory(from))
        fs::copy(from, to, fs::copy_options::recursive);
    else
        fs::copy_file(from, to);
}

Row RunCase(const Options& o, Kind kind, uint32_t n) {
    Row row;
    row.kind = kind;
    row.n = n;
    row.m = n / 10 ? n / 10 : 1;
    const fs::path caseDir =
        fs::path(o.dir) / (std::string("case-") + KindName(kind) + "-" + std::to_string(n));
    const fs::path pristine = caseDir / "made";
    const fs::path run = caseDir / "run";
    fs::remove_all(caseDir);
    fs::create_directories(pristine);
    fs::create_directories(run);
    RunPhase("prepare", kind, n, row.m, pristine.string());
    if (kHaveSqlite) RunPhase("sqlite-host", kind, n, row.m, pristine.string());

    // The best of the repeats: the machine is shared, and slow runs say more about the others
    // than about the merge. Peak memory is the highest seen.
    for (int r = 0; r < o.repeat; ++r) {
        CopyFresh(HostFolder(pristine.string()), HostFolder(run.string()));
        CopyFresh(PackageFolder(pristine.string()), PackageFolder(run.string()));
        SettleDisk();
        const auto ours = RunPhase("ours", kind, n, row.m, run.string());
        const double seconds = Number(ours, "seconds");
        if (r == 0 || seconds < row.oursSeconds) {
            row.oursSeconds = seconds;
            row.bytesWritten = static_cast<uint64_t>(Number(ours, "bytes"));
            row.writeCalls = static_cast<uint64_t>(Number(ours, "calls"));
        }
        CopyFresh(HostFolder(pristine.string()), HostFolder(run.string()));
        SettleDisk();
        const double alone = Number(RunPhase("replay", kind, n, row.m, run.string()), "seconds");
        if (r == 0 || alone < row.writesAloneSeconds) row.writesAloneSeconds = alone;
        const double reads = Number(RunPhase("read", kind, n, row.m, run.string()), "seconds");
        if (r == 0 || reads < row.readsAloneSeconds) row.readsAloneSeconds = reads;
        row.peakRssBytes = std::max(row.peakRssBytes, static_cast<uint64_t>(Number(ours, "peak")));
        if (kHaveSqlite) {
            // One transaction, then each record on its own: each on a fresh copy of the host.
            const std::pair<const char*, std::optional<double>*> sqlitePhases[] = {
                {"sqlite", &row.sqliteSeconds}, {"sqlite-each", &row.sqliteEachSeconds}};
            for (const auto& [phase, best] : sqlitePhases) {
                CopyFresh(SqlitePath(pristine.string()), SqlitePath(run.string()));
                SettleDisk();
                const double s = Number(RunPhase(phase, kind, n, row.m, run.string()), "seconds");
                if (!*best || s < **best) *best = s;
            }
        }
        SettleDisk();
        const double seq =
            SequentialWriteSeconds((run / "seqwrite.tmp").string(), row.bytesWritten);
        if (r == 0 || seq < row.seqWriteSeconds) row.seqWriteSeconds = seq;
    }
    fs::remove_all(caseDir);
    return row;
}

int RunAll(const Options& o) {
    fs::create_directories(o.dir);
    std::vector<Row> rows;
    for (Kind kind : o.kinds) {
        for (uint32_t n : o.sizes) {
            std::cerr << "[bench] " << KindName(kind) << " N=" << n
                      << " M=" << (n / 10 ? n / 10 : 1) << "...\n";
            rows.push_back(RunCase(o, kind, n));
            std::cerr << "[bench]   " << CsvLine(rows.back()) << '\n';
            WriteCsv(o.csv, rows);  // what has been measured survives a later failure
        }
    }
    std::cout << "Record merge"
              << (kHaveSqlite ? " against SQLite's upsert" : " (no SQLite anchor)")
              << ", M = N / 10, half of them keys the host has\n";
    PrintTable(std::cout, rows);
    bool met = true;
    const auto targets = CheckTargets(rows, &met);
    if (!targets.empty()) std::cout << "Targets:\n";
    for (const std::string& t : targets) std::cout << "  " << t << '\n';
    const auto alone = WritesAloneLines(rows);
    if (!alone.empty())
        std::cout << "The merge's write calls alone, replayed without the engine (writes_s), and "
                     "the package read alone through the same interface (reads_s):\n";
    for (const std::string& t : alone) std::cout << "  " << t << '\n';
    const auto each = EachRecordLines(rows);
    if (!each.empty())
        std::cout << "Beside SQLite committing each record on its own (sqlite_each_s), as our "
                     "merge saves each record; not a target:\n";
    for (const std::string& t : each) std::cout << "  " << t << '\n';
    std::cout << "CSV: " << o.csv << '\n';
    return o.strict && !met ? 2 : 0;
}

int Main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    gIndexed = o.indexed;
    if (o.phase.empty()) return RunAll(o);
    if (o.caseDir.empty() || o.n == 0 || o.m == 0) Usage("a phase needs its case");
    if (o.phase == "prepare")
        PhasePrepare(o);
    else if (o.phase == "ours")
        PhaseOurs(o);
    else if (o.phase == "replay")
        PhaseReplay(o);
    else if (o.phase == "read")
        PhaseRead(o);
    else if (o.phase == "sqlite-host")
        PhaseSqliteHost(o);
    else if (o.phase == "sqlite" || o.phase == "sqlite-each")
        PhaseSqlite(o);
    else
        Usage("unknown phase '" + o.phase + "'");
    return 0;
}

}  // namespace
}  // namespace pq::bench

int main(int argc, char** argv) {
    try {
        return pq::bench::Main(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "bench_merge: " << e.what() << '\n';
        return 1;
    }
}
