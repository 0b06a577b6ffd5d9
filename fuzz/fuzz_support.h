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

}  // namespace pq::fuzz
