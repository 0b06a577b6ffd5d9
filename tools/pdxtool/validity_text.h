// The validity lines of a `pdxtool create` schema, one check a line after "valid":
//   valid NAME required      the field must have a value
//   valid NAME min VALUE     the lowest value the field takes
//   valid NAME max VALUE     the highest
//   valid NAME default VALUE the value a new record starts with
// NAME is a field declared above (spaces allowed); VALUE is in dump form (dump_format.h).
// They become the table's validity file (paradox/validity.h); `pdxtool info` lists a table's
// checks in the same form.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "paradox/schema.h"
#include "paradox/validity.h"

namespace pq::pdxtool {

// Throws pq::Exception "WHERE:LINE: problem" for a line it cannot read or a value the field
// cannot take.
paradox::Validity ValidityFromText(const std::vector<std::pair<size_t, std::string>>& lines,
                                   const paradox::Schema& schema, const std::string& where);

// One line per check, as ValidityFromText reads them ("valid Nota max 10"); pictures, lookups
// and referential integrity are named, not enforced.
std::vector<std::string> ValidityText(const paradox::Validity& v, const paradox::Schema& schema);

}  // namespace pq::pdxtool
