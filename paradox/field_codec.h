// Field values to and from their bytes in a record, for every field type. Text is converted
// between UTF-8 and the table's code page here; blob fields are split into the inline leader
// and the 10-byte descriptor (the content itself lives in the blob file).
// Pure functions over caller-owned buffers.
//
// Record encodings (all-zero bytes are null for every type):
//   | Type                     | Bytes | Encoding                                              |
//   |--------------------------|-------|-------------------------------------------------------|
//   | alpha                    | n     | code page text, zero padded                           |
//   | short, long, autoinc     | 2, 4  | big-endian, top bit inverted                          |
//   | date                     | 4     | like long: day number (1 Jan 0001 = 1)                |
//   | time                     | 4     | like long: milliseconds since midnight                |
//   | number, currency         | 8     | double, see coding.h                                  |
//   | timestamp                | 8     | double: milliseconds, day numbering as dates          |
//   | logical                  | 1     | 0x80 false, 0x81 true                                 |
//   | BCD (d decimals)         | 17    | byte 0: 0x80 if positive | 0x40 | d; bytes 1..16: 32  |
//   |                          |       | packed digits, d of them after the point; negative    |
//   |                          |       | values have bytes 1..16 inverted                      |
//   | bytes                    | n     | raw                                                   |
//   | memo, binary, fmt memo,  | L+10  | L leader bytes (a copy of the content's start, or the |
//   | OLE, graphic             |       | whole content when offset is 0), then u32 offset|index,|
//   |                          |       | u32 length, u16 modification number (little-endian)   |
#pragma once

#include <cstdint>
#include <vector>

#include "paradox/blob_file.h"
#include "paradox/coding.h"
#include "paradox/schema.h"
#include "paradox/value.h"

namespace pq::paradox {

// The value of a field that is not a blob field, from its record bytes. BCD digits are read
// up to the first nibble that is not a decimal digit; that one and the rest count as zeros
// (tables written by the original engine carry stray nibbles beyond a double's precision).
// REQUIRES: bytes.size() == field.RecordBytes(); !IsBlobType(field.type).
Value DecodeField(const Field& field, Bytes bytes, int codePage);

// Converts `value` to the field's type and writes its encoding into `out` (the field's record
// bytes). Null, and empty text, clear the field. Throws ValueError naming the field when the
// value cannot be converted, does not fit, or has characters the code page lacks.
// REQUIRES: out.size() == field.RecordBytes(); !IsBlobType(field.type).
void EncodeField(const Field& field, const Value& value, MutableBytes out, int codePage);

// The 10 bytes after a blob field's leader: offset|index (0: the content is all in the leader),
// length (0: null) and modification number.
using BlobDescriptor = BlobRef;

// REQUIRES: fieldBytes.size() == field.RecordBytes() >= 10.
BlobDescriptor DecodeBlobDescriptor(Bytes fieldBytes);
void EncodeBlobDescriptor(const BlobDescriptor& d, MutableBytes fieldBytes);

// A blob field's content as a value: memo text converted to UTF-8, the others as bytes; empty
// content is null.
Value BlobValue(const Field& field, std::vector<uint8_t> content, int codePage);
// The content to store for a value written to a blob field: bytes as they are, text in the
// code page for memos (raw UTF-8 bytes for the other blob types). Null gives empty content.
// Throws ValueError for other kinds or text the code page cannot hold.
std::vector<uint8_t> BlobContent(const Field& field, const Value& value, int codePage);

// Canonical decimal text for a BCD field of `decimals` decimals ("12.50", "-3", "0.000"), from
// decimal text with an optional sign, point and exponent; rounded half away from zero to the
// field's decimals. nullopt when the text is not a number or has more than 32 - decimals
// integer digits.
std::optional<std::string> NormalizeBcd(std::string_view text, int decimals);

}  // namespace pq::paradox
