// The text forms `pdxtool dump` prints and `pdxtool create` reads: one record a line, fields
// separated by tabs.
//   | Value                | Form                                                          |
//   |----------------------|---------------------------------------------------------------|
//   | null                 | \N                                                            |
//   | text                 | as is, with tab, newline, carriage return and backslash as    |
//   |                      | \t, \n, \r and \\                                             |
//   | short, long, autoinc | decimal                                                       |
//   | number, currency     | shortest decimal that reads back the same, no trailing ".0"   |
//   | BCD                  | exactly the field's decimals ("12.50", "-3")                  |
//   | logical              | true, false                                                   |
//   | date, time, timestamp| YYYY-MM-DD, HH:MM:SS.mmm, YYYY-MM-DD HH:MM:SS.mmm             |
//   | blobs and bytes      | blob:SIZE:CRC32 (content size, CRC-32 in 8 lowercase hex)     |
// Memo and graphic sizes are those of the value: memo bytes as stored, the picture alone.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "paradox/table.h"

namespace pq::pdxtool {

std::string EscapeText(std::string_view text);
// The inverse of EscapeText; false for a backslash sequence it does not know.
bool UnescapeText(std::string_view text, std::string* out);

// The current record's field in dump form.
std::string FormatField(paradox::Table& table, size_t field);

// The names line, then every record in table order.
void DumpTable(paradox::Table& table, std::ostream& out);

}  // namespace pq::pdxtool
