// Our side of a case: the package table merged into the host table through the table
// interface and the installer's own MergeTable, with a host that has no window (the bar is two
// numbers, the message round does nothing, Cancel is never pressed). Only MergeTable is timed;
// opening the tables comes before the clock starts.
#pragma once

#include <cstdint>
#include <string>

#include "bench/merge/counting_fs.h"
#include "bench/merge/workload.h"
#include "paradox/file.h"

namespace pq::bench {

struct MergeMeasure {
    double seconds = 0;
    WriteCounts writes;    // what the merge wrote, through a counting file system
    uint64_t records = 0;  // source records the merge went through
    uint64_t messageRounds = 0;
};

// REQUIRES: the host table (HostTableName) in `hostFolder`, the package table
// (PackageTableName) in `packageFolder`. Throws what the merge throws.
MergeMeasure RunOurMerge(const std::string& hostFolder, const std::string& packageFolder,
                         Kind kind);

// The package's side of the merge alone: every record's key and every value MergeTable copies,
// read through the same interface, with no host table. Returns the seconds of the reading and
// sets *records to the records read. What a merge that saves each record costs at the least is
// this plus its write calls.
double RunPackageRead(paradox::FileSystem& fs, const std::string& packageFolder, Kind kind,
                      uint64_t* records);

}  // namespace pq::bench
