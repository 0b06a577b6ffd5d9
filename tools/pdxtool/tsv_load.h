// Loading records from tab-separated text into a table, for `pdxtool create`. The first line
// names the columns (fields by name, in any order; fields without a column stay null); every
// other line is a record in dump form (dump_format.h). In blob and bytes fields a value may
// also be "@FILE" (the file's content; relative names are taken from `baseFolder`) or
// "hex:0A1B..."; "\@" stands for a literal '@' at the start. Auto-increment columns are
// ignored: the table assigns them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "paradox/table.h"

namespace pq::pdxtool {

using ReadFileFn = std::function<std::vector<uint8_t>(const std::string& path)>;

// Appends every record; returns how many. Throws pq::Exception "WHERE:LINE: problem" (the
// engine's message included) at the first line that cannot be stored.
size_t LoadTsv(paradox::Table& table, std::string_view tsv, const std::string& where,
               const std::string& baseFolder, const ReadFileFn& readFile);

struct UpsertCounts {
    size_t inserted = 0;
    size_t replaced = 0;
};

// The same, but a record whose primary key the table holds replaces that record (the key
// fields must have columns); the others are inserted (unkeyed tables: every record appended).
UpsertCounts UpsertTsv(paradox::Table& table, std::string_view tsv, const std::string& where,
                       const std::string& baseFolder, const ReadFileFn& readFile);

}  // namespace pq::pdxtool
