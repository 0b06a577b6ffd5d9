// The benchmark's tables in our engine: the host's question or figure table and the package's
// table of the same layout, written record by record before the timing starts, and the checks
// that a merge left the host as it should be.
//
// Question tables: Codigo (+, key), NumeroReal (I), Enunciado (M), AlternativaA..E (A255),
// Resposta (A1), Nivel (S), Figura (A30). Figure tables: Nome (A40, key), Figura (G).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/merge/workload.h"
#include "paradox/file.h"
#include "paradox/schema.h"

namespace pq::bench {

paradox::Schema BenchSchema(Kind kind);

// File names inside the case's host and package folders. The package's figure table name
// contains "F.db", which is how the merge tells the kinds apart.
std::string HostTableName(Kind kind);     // "Questoes.db", "QuestoesF.db"
std::string PackageTableName(Kind kind);  // "Pac.db", "PacF.db"

// Creates the host table of N records in `folder`.
void WriteHostTable(paradox::FileSystem& fs, const std::string& folder, Kind kind, uint32_t n);
// Creates the package table of the plan's records, in plan order, in `folder`.
void WritePackageTable(paradox::FileSystem& fs, const std::string& folder, Kind kind,
                       const std::vector<PackageEntry>& plan);
// The same at a path of the caller's choice (the .DB file).
void WriteHostTableAt(paradox::FileSystem& fs, const std::string& path, Kind kind, uint32_t n);
void WritePackageTableAt(paradox::FileSystem& fs, const std::string& path, Kind kind,
                         const std::vector<PackageEntry>& plan);

// Reads the host table `tableName` in `folder` after a merge of `plan` into a host of N
// records: the record count, the package's content on `samples` package keys and the host's
// own content on as many keys the package did not mention; with `full`, also every structural
// rule of the files. Returns one line per problem (empty when the merge is right).
std::vector<std::string> VerifyMergedHost(paradox::FileSystem& fs, const std::string& folder,
                                          const std::string& tableName, Kind kind, uint32_t n,
                                          const std::vector<PackageEntry>& plan, size_t samples,
                                          bool full);

}  // namespace pq::bench
