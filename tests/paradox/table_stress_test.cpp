// Random inserts, updates, deletes, key changes and reopens with blobs of every size class, on
// tables whose long keys and small blocks make every save a structural change; each step is
// checked against an in-memory model (tests/support/table_workload.h). The kill harness runs
// the same stream for longer (tools/reliability.sh).
#include <gtest/gtest.h>

#include "paradox/file.h"
#include "tests/support/table_workload.h"

namespace pq::paradox {
namespace {

TEST(TableStress, EveryStepAgreesWithTheModel) {
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        MemoryFileSystem fs;
        EXPECT_EQ(testing::RunWorkloadStress(fs, "/s/stress.db", seed, 300, 20), "");
    }
}

}  // namespace
}  // namespace pq::paradox
