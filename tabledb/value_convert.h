// Conversion of a generic value to the type of the field that receives it.
#pragma once

#include "tabledb/table.h"
#include "tabledb/value.h"

namespace pq::tabledb {

// Null stays null. Otherwise the value converted to the field's kind; EDatabaseError
// "Invalid value for field '%s'" when it cannot be (a text that is no number, a number out of
// the field's range, a text longer than the field in the table's code page, ...). A text or
// bytes that the field takes as they are are moved, not copied: pass a value no longer needed
// with std::move.
Value ConvertForField(const FieldDefinition& field, Value value, int codePage);

// The text form of a value (ReadText): empty for null.
std::string ValueAsText(const Value& value);

// The integer form of a value (ReadInteger): 0 for null; EDatabaseError when it has none.
int32_t ValueAsInteger(const Value& value, const std::string& fieldName);

}  // namespace pq::tabledb
