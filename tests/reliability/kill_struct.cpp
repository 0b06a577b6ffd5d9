// kill_struct: the structural mode of the kill harness (tools/reliability.sh). A seeded stream of
// changes to a long-key, small-block table (tests/support/table_workload.h: data and index
// block splits, index levels and their rebuilds, freed blocks reused, blobs moved), killed by
// itself at a chosen write, then judged against the stream's model.
//
//   kill_struct run TABLE SEED STEPS [--kill-at N [--tear BYTES]]
//       creates TABLE (its writes not counted) and makes the seed's first STEPS steps on it,
//       printing "saved I W" once step I has returned (W: writes made so far, flushed before
//       the next write) and "done W" at the end. --kill-at N: SIGKILL at the Nth write, before
//       it is made or, with --tear, after its first BYTES bytes, cut back to the file's last
//       4 KiB boundary before that point (a kill stops a write where the system does: it
//       copies a write into the file's pages one page at a time); a write that ends before the
//       cut is not made at all. Every write counts: the table's files and its journal.
//   kill_struct verify TABLE SEED SAVED
//       undoes an unfinished save as the engine's open does, opens TABLE for writing and checks
//       it: the engine's check (its warnings count too) and its records against the model after
//       SAVED steps. Prints "FAIL ..." per problem, then "undone U" (1 when a save was undone);
//       exit 1 on any problem.
//   kill_struct stress SECONDS FIRST_SEED
//       the stream in memory, every step checked against the model, seed after seed from
//       FIRST_SEED for SECONDS; prints each failure and "stress: S seeds, F failures".
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "paradox/file.h"
#include "paradox/journal.h"
#include "paradox/table.h"
#include "tests/support/table_workload.h"

namespace pq {
namespace {

using namespace paradox;
using namespace paradox::testing;

long long g_writes = 0;
long long g_killAt = 0;  // 0: never
size_t g_tear = 0;

[[noreturn]] void Die() {
    std::fflush(stdout);
    ::kill(::getpid(), SIGKILL);
    std::abort();
}

// Counts every write; the chosen one kills the process.
class CountingFile : public File {
  public:
    explicit CountingFile(std::unique_ptr<File> inner)
        : File(inner->Path()), inner_(std::move(inner)) {}
    void ReadAt(uint64_t offset, void* buffer, size_t n) override {
        inner_->ReadAt(offset, buffer, n);
    }
    void WriteAt(uint64_t offset, const void* data, size_t n) override {
        Count(offset, data, n);
        inner_->WriteAt(offset, data, n);
    }
    void WriteOverFree(uint64_t offset, const void* data, size_t n) override {
        Count(offset, data, n);
        inner_->WriteOverFree(offset, data, n);
    }
    uint64_t Size() override { return inner_->Size(); }
    void Truncate(uint64_t size) override {
        Count(0, nullptr, 0);
        inner_->Truncate(size);
    }
    void Sync() override { inner_->Sync(); }
    bool TryLockForWriting() override { return inner_->TryLockForWriting(); }

  private:
    void Count(uint64_t offset, const void* data, size_t n) {
        if (++g_writes != g_killAt) return;
        if (data && g_tear > 0 && g_tear < n) {
            const uint64_t cut = (offset + g_tear) / 4096 * 4096;
            if (cut > offset) inner_->WriteAt(offset, data, static_cast<size_t>(cut - offset));
        }
        Die();
    }
    std::unique_ptr<File> inner_;
};

class CountingFileSystem : public FileSystem {
  public:
    std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
        return std::make_unique<CountingFile>(OsFileSystem().Open(path, mode));
    }
    bool IsFile(const std::string& path) override { return OsFileSystem().IsFile(path); }
    void Remove(const std::string& path) override { OsFileSystem().Remove(path); }
    std::vector<std::string> List(const std::string& folder) override {
        return OsFileSystem().List(folder);
    }
};

int Run(const std::string& path, uint32_t seed, int steps) {
    Workload w(seed, WorkloadShapeFor(seed));
    Table::Create(OsFileSystem(), path, WorkloadSchema(w.shape()),
                  WorkloadCreateOptions(w.shape()));
    CountingFileSystem fs;
    auto t = Table::Open(fs, path);
    for (int i = 1; i <= steps; ++i) {
        const WorkloadStep s = w.Next();
        if (s.kind == WorkloadStep::kReopen) {
            t.reset();
            t = Table::Open(fs, path);
        } else {
            ApplyWorkloadStep(*t, s);
        }
        w.Apply(s);
        std::printf("saved %d %lld\n", i, g_writes);
        std::fflush(stdout);
    }
    t.reset();
    std::printf("done %lld\n", g_writes);
    return 0;
}

int Verify(const std::string& path, uint32_t seed, int saved) {
    std::vector<std::string> failures;
    int undone = 0;
    try {
        Workload w(seed, WorkloadShapeFor(seed));
        for (int i = 0; i < saved; ++i) w.Apply(w.Next());
        const Recovery r = RecoverTable(OsFileSystem(), path, false);
        if (r == Recovery::kRolledBack) undone = 1;
        if (r == Recovery::kStale) failures.push_back("the files changed after the kill");
        {
            auto t = Table::Open(OsFileSystem(), path);
            std::vector<std::string> warnings;
            for (const std::string& p : t->Check(&warnings)) failures.push_back(p);
            for (const std::string& p : warnings) failures.push_back("warning: " + p);
            const std::string difference = CompareWithWorkload(*t, w.model());
            if (!difference.empty())
                failures.push_back("after " + std::to_string(saved) + " saves: " + difference);
        }
        if (OsFileSystem().IsFile(Journal::PathFor(path)))
            failures.push_back("the journal is still there after the table was closed");
    } catch (const std::exception& e) {
        failures.push_back(e.what());
    }
    for (const std::string& f : failures) std::printf("FAIL %s\n", f.c_str());
    std::printf("undone %d\n", undone);
    return failures.empty() ? 0 : 1;
}

int Stress(double seconds, uint32_t firstSeed) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int seeds = 0, failures = 0;
    for (uint32_t seed = firstSeed; seeds == 0 || std::chrono::steady_clock::now() < end;
         ++seed, ++seeds) {
        MemoryFileSystem fs;
        const std::string failure = RunWorkloadStress(fs, "/s/stress.db", seed, 600, 25);
        if (!failure.empty()) {
            ++failures;
            std::printf("FAIL %s\n", failure.c_str());
        }
    }
    std::printf("stress: %d seeds, %d failures\n", seeds, failures);
    return failures ? 1 : 0;
}

}  // namespace
}  // namespace pq

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    try {
        if (verb == "run" && argc >= 5) {
            for (int i = 5; i + 1 < argc; i += 2) {
                const std::string option = argv[i];
                if (option == "--kill-at")
                    pq::g_killAt = std::atoll(argv[i + 1]);
                else if (option == "--tear")
                    pq::g_tear = static_cast<size_t>(std::atoll(argv[i + 1]));
                else
                    throw std::runtime_error("unknown option " + option);
            }
            return pq::Run(argv[2], static_cast<uint32_t>(std::atol(argv[3])), std::atoi(argv[4]));
        }
        if (verb == "verify" && argc == 5)
            return pq::Verify(argv[2], static_cast<uint32_t>(std::atol(argv[3])),
                              std::atoi(argv[4]));
        if (verb == "stress" && argc == 4)
            return pq::Stress(std::atof(argv[2]), static_cast<uint32_t>(std::atol(argv[3])));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kill_struct: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "usage: kill_struct run TABLE SEED STEPS [--kill-at N [--tear BYTES]] | "
                 "verify TABLE SEED SAVED | stress SECONDS FIRST_SEED\n");
    return 2;
}
