// The anchor every merge is held against: the same package records upserted into a SQLite
// database holding the same host records, the way a user who knows SQLite would do it:
// write-ahead log, synchronous=NORMAL, a UNIQUE index on the key, one prepared
// INSERT ... ON CONFLICT(key) DO UPDATE reused for every record, all in one transaction.
// Native builds only (Debian's libsqlite3).
#pragma once

#include <cstdint>
#include <string>

#include "bench/merge/workload.h"

namespace pq::bench {

// Creates the database at `path` with the host's N records (not timed). Throws
// std::runtime_error with SQLite's message on failure.
void WriteSqliteHost(const std::string& path, Kind kind, uint32_t n);

struct SqliteMeasure {
    double seconds = 0;      // the first BEGIN to the last COMMIT of the M upserts
    uint64_t rowsAfter = 0;  // rows in the table afterwards
};

// How the upserts are committed: all in one transaction (the anchor), or each record in its
// own, as a merge that saves every record at once does (for comparison only).
enum class Commit { kOnce, kEachRecord };

// Upserts the package of M records, made in memory before the clock starts.
SqliteMeasure RunSqliteUpsert(const std::string& path, Kind kind, uint32_t n, uint32_t m,
                              Commit commit = Commit::kOnce);

}  // namespace pq::bench
