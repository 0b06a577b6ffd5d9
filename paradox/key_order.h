// The order of primary keys. Keys are the key fields' record bytes, one after the other. Every
// field encoding orders by its bytes, so with the "ascii" sort order (code 0) a key compares as
// a byte string. Other sort orders collate alpha fields: this engine orders them by letter,
// ignoring case and accents first, then by bytes. That is close to, but not proven equal to, the
// original engine's language tables; searches stay exact (see Table::SeekKey).
// A KeyOrder is a small value (the key fields and a weight table), copied into each index.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "paradox/coding.h"
#include "paradox/schema.h"

namespace pq::paradox {

class KeyOrder {
  public:
    KeyOrder() = default;
    KeyOrder(std::vector<Field> keyFields, uint8_t sortOrder, int codePage);

    // <0, 0, >0 comparing the first `fieldCount` key fields of two keys.
    // REQUIRES: both hold at least PrefixBytes(fieldCount) bytes.
    int Compare(Bytes a, Bytes b, int fieldCount) const;
    int Compare(Bytes a, Bytes b) const { return Compare(a, b, FieldCount()); }
    size_t PrefixBytes(int fieldCount) const;
    size_t KeyBytes() const { return PrefixBytes(FieldCount()); }
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    bool IsByteOrder() const { return byteOrder_; }

  private:
    std::vector<Field> fields_;
    std::vector<size_t> offsets_;
    bool byteOrder_ = true;
    std::array<uint16_t, 256> weight_{};
};

}  // namespace pq::paradox
