// What the fuzz targets share: the fixed paths under which an input's files are laid out in
// memory, the framing that splits one input into a .DB, a .PX and a .MB, and a reader that
// touches every record and field of an open table.
//
// Only the engine's own errors (paradox::Error and its kinds) are expected from hostile
// bytes; anything else leaves the target and libFuzzer reports it as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "paradox/file.h"
#include "paradox/schema.h"
#include "paradox/table.h"

namespace pq::fuzz {

inline constexpr char kFolder[] = "/fuzz";
inline constexpr char kDbPath[] = "/fuzz/T.DB";
inline constexpr char kPxPath[] = "/fuzz/T.PX";
inline constexpr char kMbPath[] = "/fuzz/T.MB";
// Encrypted seeds are written with this password; the targets offer it when opening.
inline constexpr char kPassword[] = "fuzz";

// The three files of one framed input. A file of the frame is absent when its length is 0.
struct Frame {
    std::vector<uint8_t> db, px, mb;
};

// Framing: u32 little-endian length of the .DB, its bytes, u32 length of the .PX, its bytes,
// and the rest is the .MB. A length past the input's end takes what is left.
Frame SplitFrame(std::span<const uint8_t> input);
std::vector<uint8_t> JoinFrame(const Frame& frame);

// Reads every record: each field through Get, each blob field through GetBlob too. Stops at
// the first engine error (rethrown) and after `maxRecords` records, so that a header counting
// millions of records bounds the run.
void ReadEverything(paradox::Table& table, size_t maxRecords);

// The bodies of the two targets, also run by the regression tests on the inputs that the
// fuzzers found. Engine errors are caught; anything else escapes.
// The input is the .DB alone: open, read everything, Check.
void FuzzTableDb(std::span<const uint8_t> input);
// The input is a frame: open with index and blob file, read everything, search by key and by
// every searchable field's value, Check.
void FuzzTableFiles(std::span<const uint8_t> input);

// The merge as the installer runs it: the input's first byte chooses a question table (even)
// or a figure table (odd); the rest is a frame with the package table, which is merged into a
// copy of a valid host table of that kind (MergeHostTables). Any error may end the merge, but
// the host table must stay valid: when the engine's Check finds a problem afterwards, or the
// host cannot be opened again, the target aborts.
void FuzzMerge(std::span<const uint8_t> input);

// The host tables FuzzMerge merges into (and the layout the merge seeds follow): a question
// table Codigo (+, key), NumeroReal (I), Enunciado (M30), Alternativa (A40), Nivel (S); a
// figure table Nome (A20, key), Figura (G10). Each with a few records, made once.
paradox::Schema MergeQuestionSchema();
paradox::Schema MergeFigureSchema();
const Frame& MergeHostTable(bool figures);

}  // namespace pq::fuzz
