// An in-memory index from a field's value to the records holding it: open addressing over
// 8-byte entries (a 32-bit digest of the field's record bytes and the record's location), so
// it costs at most about 24 bytes a record and a lookup touches only the matching entries. The
// owner keeps locations current as records move and verifies candidates against the record
// (unless the digest is the field's bytes themselves, for fields of up to 4 bytes).
// Ownership: the Table owns one FieldIndex per searched field; it holds no pointers.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "paradox/coding.h"

namespace pq::paradox {

// A record's place: data block number in the high 16 bits, slot in the low 16.
using RecordLocation = uint32_t;
inline RecordLocation MakeLocation(uint16_t block, int slot) {
    return (uint32_t{block} << 16) | static_cast<uint16_t>(slot);
}
inline uint16_t LocationBlock(RecordLocation l) {
    return static_cast<uint16_t>(l >> 16);
}
inline int LocationSlot(RecordLocation l) {
    return static_cast<int>(l & 0xFFFF);
}

class FieldIndex {
  public:
    // Digest of a field's record bytes; exact (the bytes themselves) for up to 4 bytes.
    static uint32_t Digest(Bytes fieldBytes);
    static bool DigestIsExact(size_t fieldBytes) { return fieldBytes <= 4; }

    void Reserve(size_t records);
    void Add(uint32_t digest, RecordLocation where);
    // False when no entry (digest, where) exists.
    bool Remove(uint32_t digest, RecordLocation where);
    bool Move(uint32_t digest, RecordLocation from, RecordLocation to);
    // Calls `visit` with every location whose digest matches.
    void Find(uint32_t digest, const std::function<void(RecordLocation)>& visit) const;
    size_t size() const { return live_; }
    size_t MemoryBytes() const { return slots_.size() * sizeof(Slot); }

  private:
    struct Slot {
        uint32_t digest;
        uint32_t where;  // 0: empty, 1: removed (locations start at block 1, so never 0 or 1)
    };
    static constexpr uint32_t kEmpty = 0, kRemoved = 1;
    size_t Probe(uint32_t digest, RecordLocation where) const;
    void Rehash(size_t size);

    std::vector<Slot> slots_;
    size_t live_ = 0;
    size_t used_ = 0;  // live + removed
};

}  // namespace pq::paradox
