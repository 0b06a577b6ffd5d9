#include "bench/merge/ours.h"

#include <chrono>

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

}  // namespace pq::bench
