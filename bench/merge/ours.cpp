#include "bench/merge/ours.h"

#include <chrono>
#include <stdexcept>

#include "bench/merge/tables.h"
#include "install/merge.h"
#include "tabledb/session.h"
#include "tabledb/table.h"

namespace pq::bench {
namespace {

// The progress window's part of a merge, without a window.
class WindowlessHost : public install::MergeHost {
  public:
    void SetPartialPosition(int position) override { position_ = position; }
    void SetPartialMax(int max) override { max_ = max; }
    int PartialPosition() const override { return position_; }
    void ProcessMessages() override { ++rounds_; }
    bool CancelRequested() const override { return false; }

    int max() const { return max_; }
    uint64_t rounds() const { return rounds_; }

  private:
    int position_ = 0;
    int max_ = 0;
    uint64_t rounds_ = 0;
};

}  // namespace

MergeMeasure RunOurMerge(const std::string& hostFolder, const std::string& packageFolder,
                         Kind kind) {
    CountingFileSystem fs(paradox::OsFileSystem());
    tabledb::Session session(fs);
    session.DefineStandardAlias("AliasZelanto", packageFolder, "Paradox");
    session.DefineStandardAlias("AliasFEBench", hostFolder, "Paradox");
    tabledb::Table dest(session, "TableDest");
    tabledb::Table source(session, "TableSource");
    dest.SetDatabaseName("AliasFEBench");
    dest.SetTableName(HostTableName(kind));
    dest.SetActive(true);
    source.SetDatabaseName("AliasZelanto");
    source.SetTableName(PackageTableName(kind));
    source.SetActive(true);

    WindowlessHost host;
    fs.Reset();
    const auto start = std::chrono::steady_clock::now();
    install::MergeTable(source, dest, host);
    const auto end = std::chrono::steady_clock::now();

    MergeMeasure m;
    m.seconds = std::chrono::duration<double>(end - start).count();
    m.writes = fs.counts();
    m.records = static_cast<uint64_t>(host.PartialPosition());
    m.messageRounds = host.rounds();
    return m;
}

double RunPackageRead(paradox::FileSystem& fs, const std::string& packageFolder, Kind kind,
                      uint64_t* records) {
    tabledb::Session session(fs);
    session.DefineStandardAlias("AliasZelanto", packageFolder, "Paradox");
    tabledb::Table source(session, "TableSource");
    source.SetDatabaseName("AliasZelanto");
    source.SetTableName(PackageTableName(kind));
    source.SetActive(true);
    const char* key = kind == Kind::kQuestions ? "NumeroReal" : "Nome";

    uint64_t read = 0;
    size_t sink = 0;  // keeps the values' reading from being optimised away
    const auto start = std::chrono::steady_clock::now();
    while (!source.AtEnd()) {
        if (kind == Kind::kQuestions)
            sink += static_cast<size_t>(source.FieldNamed(key).ReadInteger());
        else
            sink += source.FieldNamed(key).ReadText().size();
        for (size_t i = 0; i < source.FieldTotal(); ++i) {
            tabledb::Field& f = source.FieldAt(i);
            if (f.FieldType() != tabledb::ftAutoInc) sink += f.ReadValue().IsNull() ? 0 : 1;
        }
        source.Advance();
        ++read;
    }
    const auto end = std::chrono::steady_clock::now();
    if (sink == 0 && read != 0) throw std::runtime_error("the package's values are all null");
    *records = read;
    return std::chrono::duration<double>(end - start).count();
}

}  // namespace pq::bench
