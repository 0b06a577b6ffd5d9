// Byte-level coding for the Paradox formats: bounds-checked little-endian readers for headers,
// and the field encoding of record data (big-endian with the sign bit inverted, so that a byte
// comparison orders values and all-zero bytes mean null).
// Pure functions over caller-owned buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pq::paradox {

using Bytes = std::span<const uint8_t>;
using MutableBytes = std::span<uint8_t>;

// A read-only view that fails with a CorruptError naming `where` when a read would leave it.
class ByteReader {
  public:
    ByteReader(Bytes bytes, std::string where) : bytes_(bytes), where_(std::move(where)) {}
    uint8_t U8(size_t offset) const;
    uint16_t U16(size_t offset) const;
    int16_t I16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
    uint32_t U32(size_t offset) const;
    Bytes Sub(size_t offset, size_t n) const;
    // The NUL-terminated string starting at offset (without the NUL); *end receives the offset
    // after the NUL. Corrupt when no NUL comes before the end.
    std::string CString(size_t offset, size_t* end) const;
    size_t size() const { return bytes_.size(); }
    const std::string& where() const { return where_; }

  private:
    void Check(size_t offset, size_t n) const;
    Bytes bytes_;
    std::string where_;
};

// Little-endian stores into a buffer. REQUIRES: the range lies inside the buffer (Error
// otherwise: a programming fault, not corruption).
void PutU8(MutableBytes out, size_t offset, uint8_t value);
void PutU16(MutableBytes out, size_t offset, uint16_t value);
void PutU32(MutableBytes out, size_t offset, uint32_t value);
uint16_t GetU16(Bytes in, size_t offset);
uint32_t GetU32(Bytes in, size_t offset);

bool AllZero(Bytes bytes);

// Field encoding of signed integers of 1, 2 or 4 bytes: big-endian, top bit inverted.
// Decode REQUIRES: bytes.size() in {1, 2, 4}; all-zero bytes are null (*isNull set).
int64_t DecodeFieldInt(Bytes bytes, bool* isNull);
void EncodeFieldInt(int64_t value, MutableBytes out);

// Field encoding of doubles: big-endian; positive values with the sign bit set, negative ones
// with every bit inverted. All-zero bytes are null.
double DecodeFieldDouble(Bytes bytes, bool* isNull);
void EncodeFieldDouble(double value, MutableBytes out);

// CRC-32 (the zlib polynomial) of a byte string.
uint32_t Crc32(Bytes bytes);
// CRC-32C (the Castagnoli polynomial, as iSCSI and SSE 4.2 compute it) of a byte string: a
// check independent of Crc32, for data that holds Crc32 values of its own.
uint32_t Crc32c(Bytes bytes);

}  // namespace pq::paradox
