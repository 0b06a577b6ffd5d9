#include "bench/merge/report.h"

#include <cstdio>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace pq::bench {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;
// Peak memory allowed at a figure host of N records: 64 MiB + 32 bytes a record.
double RssLimitBytes(uint32_t n) {
    return 64 * kMiB + 32.0 * n;
}

std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

}  // namespace

std::optional<double> Row::Ratio() const {
    if (!sqliteSeconds || *sqliteSeconds <= 0) return std::nullopt;
    return oursSeconds / *sqliteSeconds;
}

double Row::MicrosecondsPerRecord() const {
    return m ? oursSeconds * 1e6 / m : 0;
}

double Row::SeqWriteRatio() const {
    // (bytes / ours) / (bytes / sequential)
    return oursSeconds > 0 ? seqWriteSeconds / oursSeconds : 0;
}

double Row::PeakRssMiB() const {
    return static_cast<double>(peakRssBytes) / kMiB;
}

std::string CsvLine(const Row& r) {
    std::ostringstream s;
    s << KindName(r.kind) << ',' << r.n << ',' << r.m << ',' << Fixed(r.oursSeconds, 6) << ','
      << (r.sqliteSeconds ? Fixed(*r.sqliteSeconds, 6) : "") << ','
      << (r.Ratio() ? Fixed(*r.Ratio(), 3) : "") << ',' << Fixed(r.MicrosecondsPerRecord(), 2)
      << ',' << r.bytesWritten << ',' << Fixed(r.SeqWriteRatio(), 3) << ','
      << Fixed(r.PeakRssMiB(), 2);
    return s.str();
}

void WriteCsv(const std::string& path, const std::vector<Row>& rows) {
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << kCsvHeader << '\n';
        for (const Row& r : rows) out << CsvLine(r) << '\n';
        out.close();
        if (!out) throw std::runtime_error(temp + ": cannot be written");
    }
    std::remove(path.c_str());
    if (std::rename(temp.c_str(), path.c_str()) != 0)
        throw std::runtime_error(path + ": cannot be replaced");
}

void PrintTable(std::ostream& out, const std::vector<Row>& rows) {
    auto line = [&](const std::vector<std::string>& cells) {
        static const int widths[] = {-9, 7, 6, 10, 10, 7, 9, 13, 9, 9, 10, 10, 10, 13};
        for (size_t i = 0; i < cells.size(); ++i) {
            const int w = widths[i];
            out << (i ? "  " : "") << (w < 0 ? std::left : std::right) << std::setw(w < 0 ? -w : w)
                << cells[i];
        }
        out << '\n';
    };
    line({"kind", "N", "M", "ours_s", "sqlite_s", "ratio", "us/rec", "bytes_written", "seqwrite",
          "peak_MiB", "writes", "writes_s", "reads_s", "sqlite_each_s"});
    for (const Row& r : rows)
        line({KindName(r.kind), std::to_string(r.n), std::to_string(r.m), Fixed(r.oursSeconds, 4),
              r.sqliteSeconds ? Fixed(*r.sqliteSeconds, 4) : "-",
              r.Ratio() ? Fixed(*r.Ratio(), 3) : "-", Fixed(r.MicrosecondsPerRecord(), 1),
              std::to_string(r.bytesWritten), Fixed(r.SeqWriteRatio(), 3), Fixed(r.PeakRssMiB(), 1),
              std::to_string(r.writeCalls), Fixed(r.writesAloneSeconds, 4),
              Fixed(r.readsAloneSeconds, 4),
              r.sqliteEachSeconds ? Fixed(*r.sqliteEachSeconds, 4) : "-"});
}

std::vector<std::string> WritesAloneLines(const std::vector<Row>& rows) {
    std::vector<std::string> lines;
    for (const Row& r : rows) {
        if (r.writesAloneSeconds <= 0 || r.m == 0) continue;
        std::string line = std::string(KindName(r.kind)) + " N=" + std::to_string(r.n) + ": " +
                           std::to_string(r.writeCalls) + " writes in " +
                           Fixed(r.writesAloneSeconds, 4) + " s, " +
                           Fixed(r.writesAloneSeconds * 1e6 / r.m, 1) + " us per record";
        if (r.sqliteSeconds && *r.sqliteSeconds > 0)
            line += ", " + Fixed(r.writesAloneSeconds / *r.sqliteSeconds, 2) +
                    " x SQLite's whole upsert";
        if (r.oursSeconds > 0)
            line += ", " + Fixed(100 * r.writesAloneSeconds / r.oursSeconds, 0) + " % of ours";
        if (r.readsAloneSeconds > 0) {
            const double both = r.writesAloneSeconds + r.readsAloneSeconds;
            line += "; package read " + Fixed(r.readsAloneSeconds, 4) + " s, " +
                    Fixed(r.readsAloneSeconds * 1e6 / r.m, 1) + " us per record; together " +
                    Fixed(both * 1e6 / r.m, 1) + " us per record";
            if (r.sqliteSeconds && *r.sqliteSeconds > 0)
                line += ", " + Fixed(both / *r.sqliteSeconds, 2) + " x SQLite";
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> EachRecordLines(const std::vector<Row>& rows) {
    std::vector<std::string> lines;
    for (const Row& r : rows) {
        if (!r.sqliteEachSeconds || *r.sqliteEachSeconds <= 0 || r.m == 0) continue;
        lines.push_back(std::string(KindName(r.kind)) + " N=" + std::to_string(r.n) + ": SQLite " +
                        Fixed(*r.sqliteEachSeconds, 4) + " s, " +
                        Fixed(*r.sqliteEachSeconds * 1e6 / r.m, 1) + " us per record; ours " +
                        Fixed(r.oursSeconds / *r.sqliteEachSeconds, 3) + " x that");
    }
    return lines;
}

std::vector<std::string> CheckTargets(const std::vector<Row>& rows, bool* allMet) {
    std::vector<std::string> lines;
    bool met = true;
    auto verdict = [&](bool ok, const std::string& text) {
        met = met && ok;
        lines.push_back(std::string(ok ? "PASS  " : "FAIL  ") + text);
    };
    for (const Row& r : rows)
        if (r.Ratio())
            verdict(*r.Ratio() <= 1.0, std::string(KindName(r.kind)) + " N=" + std::to_string(r.n) +
                                           ": ratio " + Fixed(*r.Ratio(), 3) + " <= 1.0");
    for (Kind kind : {Kind::kQuestions, Kind::kFigures}) {
        const Row* smallest = nullptr;
        const Row* largest = nullptr;
        for (const Row& r : rows) {
            if (r.kind != kind) continue;
            if (!smallest || r.n < smallest->n) smallest = &r;
            if (!largest || r.n > largest->n) largest = &r;
        }
        if (!smallest || smallest->n == largest->n || smallest->MicrosecondsPerRecord() <= 0)
            continue;
        const double growth = largest->MicrosecondsPerRecord() / smallest->MicrosecondsPerRecord();
        verdict(growth <= 1.5, std::string(KindName(kind)) +
                                   ": us/record N=" + std::to_string(largest->n) +
                                   " / N=" + std::to_string(smallest->n) + " = " +
                                   Fixed(largest->MicrosecondsPerRecord(), 1) + " / " +
                                   Fixed(smallest->MicrosecondsPerRecord(), 1) + " = " +
                                   Fixed(growth, 2) + " <= 1.5");
    }
    for (const Row& r : rows)
        if (r.kind == Kind::kFigures)
            verdict(static_cast<double>(r.peakRssBytes) < RssLimitBytes(r.n),
                    "figures N=" + std::to_string(r.n) + ": peak RSS " + Fixed(r.PeakRssMiB(), 1) +
                        " MiB < " + Fixed(RssLimitBytes(r.n) / kMiB, 1) +
                        " MiB (64 MiB + 32 B x N)");
    if (allMet) *allMet = met;
    return lines;
}

void WriteResultFile(const std::string& path, const std::map<std::string, std::string>& values) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& [k, v] : values) out << k << '=' << v << '\n';
    out.close();
    if (!out) throw std::runtime_error(path + ": cannot be written");
}

std::map<std::string, std::string> ReadResultFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": no result (the child process wrote none)");
    std::map<std::string, std::string> values;
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

}  // namespace pq::bench
