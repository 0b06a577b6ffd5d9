// The schema files `pdxtool create` reads: one setting or field a line, '#' starts a comment.
//   level 7            table level: 4, 5 or 7 (default 7)
//   block 2048         data block size in bytes: 1024..32768, a multiple of 1024 (default 2048)
//   index-block 4096   primary index block size (default: the data block size)
//   codepage 1252      437, 850 or 1252 (default 1252)
//   key 1              the first N fields form the primary key (default 0: unkeyed)
//   password secret    encrypt the table with this password (the rest of the line)
//   field TYPE NAME    a field; NAME is the rest of the line (spaces allowed)
//   index F1[,F2...] [name NAME]
//                      a maintained secondary index on those fields (by name, comma
//                      separated): unnamed on one field an .Xnn file, otherwise .XGn
//   valid NAME CHECK   a validity check of a field declared above (validity_text.h)
// TYPE is the type letter with the size the header stores where the type has one:
//   A<n> alpha (1..255)      Y<n> bytes (1..255)       #<d> BCD with d decimals (0..32)
//   M<n> memo, F<n> formatted memo (11..250: leader + 10)
//   B<n> binary, O<n> OLE, G<n> graphic (10..250: leader + 10)
//   D date  T time  @ timestamp  S short  I long  + autoincrement  N number  $ currency
//   L logical
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "paradox/schema.h"
#include "paradox/table.h"

namespace pq::pdxtool {

struct IndexText {
    std::vector<std::string> fields;
    std::string name;
};

struct SchemaText {
    paradox::Schema schema;
    paradox::CreateOptions options;
    std::vector<IndexText> indexes;
    // The text after "valid" of each validity line, with its line number.
    std::vector<std::pair<size_t, std::string>> valid;
};

// Throws pq::Exception "WHERE:LINE: problem" for a line it cannot read.
SchemaText ParseSchemaText(std::string_view text, const std::string& where);

// A field's type in schema form ("A40", "#2", "D").
std::string TypeText(const paradox::Field& field);

}  // namespace pq::pdxtool
