// The benchmark's results: one row per (kind, N), the CSV file, the printed table and the
// targets each run is checked against. Also the small key=value files through which a child
// process hands its measures to the parent.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bench/merge/workload.h"

namespace pq::bench {

inline constexpr char kCsvHeader[] =
    "kind,N,M,ours_s,sqlite_s,ratio,us_per_record,bytes_written,seqwrite_ratio,peak_rss_mib";

struct Row {
    Kind kind = Kind::kQuestions;
    uint32_t n = 0;
    uint32_t m = 0;
    double oursSeconds = 0;
    std::optional<double> sqliteSeconds;      // native builds only
    std::optional<double> sqliteEachSeconds;  // the same, each record committed on its own
    uint64_t bytesWritten = 0;
    uint64_t writeCalls = 0;
    double writesAloneSeconds = 0;  // the same write calls replayed without the engine
    double readsAloneSeconds = 0;   // the package read as the merge reads it, with no host
    double seqWriteSeconds = 0;     // the same bytes written sequentially
    uint64_t peakRssBytes = 0;

    std::optional<double> Ratio() const;
    double MicrosecondsPerRecord() const;
    // Our bytes per second over the sequential bytes per second.
    double SeqWriteRatio() const;
    double PeakRssMiB() const;
};

std::string CsvLine(const Row& r);
void WriteCsv(const std::string& path, const std::vector<Row>& rows);
void PrintTable(std::ostream& out, const std::vector<Row>& rows);

// The merge's targets, one line each with its figures and "PASS" or "FAIL"; *allMet is false
// when any is missed. Targets whose rows are not in the run are left out.
std::vector<std::string> CheckTargets(const std::vector<Row>& rows, bool* allMet);

// One line per row: the seconds the merge's write calls take alone and the package's reading
// takes alone, per record, and their sum beside SQLite's whole upsert where there is one. A
// merge that saves each record must read the package and make these writes, so when the sum
// alone takes longer than SQLite, no such merge through this interface can meet the ratio.
std::vector<std::string> WritesAloneLines(const std::vector<Row>& rows);

// One line per row that has it: SQLite's upsert with each record committed on its own, beside
// ours, which saves each record at once too.
std::vector<std::string> EachRecordLines(const std::vector<Row>& rows);

// key=value lines; values hold no newline.
void WriteResultFile(const std::string& path, const std::map<std::string, std::string>& values);
std::map<std::string, std::string> ReadResultFile(const std::string& path);

}  // namespace pq::bench
