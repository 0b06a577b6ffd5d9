// A table's validity checks: the .VAL file beside the .DB (levels 4 to 7), read for each field's
// required flag, minimum, maximum and default, which every save then honours. Pictures, table
// lookups and referential integrity are read past and not enforced. The engine never rewrites a
// .VAL; pdxtool makes new ones (BuildValidityFile).
//
// Layout (integers little-endian):
//   | Off  | Size | Meaning                                                                |
//   |------|------|------------------------------------------------------------------------|
//   | 0x00 | u8   | the table header's byte 0x2E when the file was written (else: stale)   |
//   | 0x01 | u8   | version: 0x09 (level 4), 0x0B (levels 5 and 7); older layouts differ   |
//   | 0x02 | u8   | number of field entries                                                |
//   | 0x09 | u32  | footer offset                                                          |
//   | 0x0D | u32  | referential integrity section offset (0: none)                         |
//   | 0x35 |      | field entries, one after the other                                     |
// Field entry: +0 u8 field (0-based, into the footer's list); +1 u8 picture length with its NUL;
// +2 u8 required (1); +3 u8 lookup flags; +4 u32 lookup marker; +0x0C, +0x10, +0x14, +0x18 u32
// markers of minimum, maximum, default and picture (non-zero: present); from +0x1C the present
// parts in that order: a lookup (0x1A-byte table name + 0x36 bytes), minimum, maximum and
// default (each as the field is stored in a record), the picture (NUL-terminated).
// Footer: u16 fields n; u16 (key fields, inferred); u16 0x4F + bytes of the field names; n u16
// field numbers (1..n); n (type, size) pairs; the table name in 0x4F bytes; the field names,
// each NUL-terminated.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "paradox/coding.h"
#include "paradox/error.h"
#include "paradox/schema.h"
#include "paradox/value.h"

namespace pq::paradox {

// A save that breaks a validity check; nothing was written. The message names the field (a
// missing required value: exactly "Field 'NAME' must have a value").
class ValidityError : public Error {
  public:
    using Error::Error;
    const char* ClassName() const noexcept override { return "EParadoxValidity"; }
};

struct FieldValidity {
    bool required = false;
    // Stored as in a record (the field's record bytes).
    std::optional<std::vector<uint8_t>> minimum, maximum, defaultValue;
    std::string picture;  // read, not enforced
    bool lookup = false;  // read, not enforced

    bool Any() const { return required || minimum || maximum || defaultValue; }
};

struct Validity {
    uint8_t tableChange = 0;  // byte 0
    uint8_t version = 0;
    std::vector<FieldValidity> fields;  // one per table field
    bool referentialIntegrity = false;  // read, not enforced
};

// Reads a .VAL's bytes for a table with `fields` (the footer must list as many fields, with the
// same types and sizes; names may differ, as a renamed field leaves the file unchanged).
// CorruptError naming `where` when the bytes break the layout or describe another table.
Validity ParseValidity(Bytes bytes, const std::vector<Field>& fields, int codePage,
                       const std::string& where);

// A .VAL for a new table (`tableChange`: its header byte 0x2E). REQUIRES: v.fields has one entry
// per schema field; values sized as the fields.
std::vector<uint8_t> BuildValidityFile(const Validity& v, const Schema& schema,
                                       const std::string& tableName, uint8_t tableChange);

// Throws ValidityError when `isNull` holds for a required field or a field's bytes in `record`
// (at `offset`) lie outside its minimum and maximum (stored bytes compare as unsigned byte
// strings, which is the value order of every field encoding). Blob fields are checked for
// required only. `path` names the table in the message.
void CheckRecordValidity(const Validity& v, const std::vector<Field>& fields,
                         const std::vector<size_t>& offset, const uint8_t* record,
                         const std::vector<bool>& isNull, int codePage, const std::string& path);

// A field value as the messages and listings show it ("12", "2024-02-29", "abc").
std::string ValidityValueText(const Field& field, Bytes stored, int codePage);

}  // namespace pq::paradox
