#include "paradox/coding.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "paradox/error.h"

namespace pq::paradox {

void ByteReader::Check(size_t offset, size_t n) const {
    if (offset > bytes_.size() || n > bytes_.size() - offset)
        Corrupt(where_, "read of " + std::to_string(n) + " bytes at offset " +
                            std::to_string(offset) + " beyond its end (" +
                            std::to_string(bytes_.size()) + " bytes)");
}

uint8_t ByteReader::U8(size_t offset) const {
    Check(offset, 1);
    return bytes_[offset];
}

uint16_t ByteReader::U16(size_t offset) const {
    Check(offset, 2);
    return GetU16(bytes_, offset);
}

uint32_t ByteReader::U32(size_t offset) const {
    Check(offset, 4);
    return GetU32(bytes_, offset);
}

Bytes ByteReader::Sub(size_t offset, size_t n) const {
    Check(offset, n);
    return bytes_.subspan(offset, n);
}

std::string ByteReader::CString(size_t offset, size_t* end) const {
    Check(offset, 0);
    for (size_t i = offset; i < bytes_.size(); ++i) {
        if (bytes_[i] == 0) {
            *end = i + 1;
            return std::string(reinterpret_cast<const char*>(bytes_.data() + offset), i - offset);
        }
    }
    Corrupt(where_, "unterminated text at offset " + std::to_string(offset));
}

namespace {
void CheckOut(size_t size, size_t offset, size_t n) {
    if (offset > size || n > size - offset)
        throw Error("internal error: store of " + std::to_string(n) + " bytes at " +
                    std::to_string(offset) + " outside a buffer of " + std::to_string(size));
}
}  // namespace

void PutU8(MutableBytes out, size_t offset, uint8_t value) {
    CheckOut(out.size(), offset, 1);
    out[offset] = value;
}

void PutU16(MutableBytes out, size_t offset, uint16_t value) {
    CheckOut(out.size(), offset, 2);
    out[offset] = static_cast<uint8_t>(value);
    out[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(MutableBytes out, size_t offset, uint32_t value) {
    CheckOut(out.size(), offset, 4);
    for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t GetU16(Bytes in, size_t offset) {
    CheckOut(in.size(), offset, 2);
    return static_cast<uint16_t>(in[offset] | (in[offset + 1] << 8));
}

uint32_t GetU32(Bytes in, size_t offset) {
    CheckOut(in.size(), offset, 4);
    return static_cast<uint32_t>(in[offset]) | (static_cast<uint32_t>(in[offset + 1]) << 8) |
           (static_cast<uint32_t>(in[offset + 2]) << 16) |
           (static_cast<uint32_t>(in[offset + 3]) << 24);
}

bool AllZero(Bytes bytes) {
    for (uint8_t b : bytes)
        if (b) return false;
    return true;
}

int64_t DecodeFieldInt(Bytes bytes, bool* isNull) {
    const size_t n = bytes.size();
    if (n != 1 && n != 2 && n != 4)
        throw Error("internal error: integer field of " + std::to_string(n) + " bytes");
    *isNull = AllZero(bytes);
    if (*isNull) return 0;
    uint32_t raw = 0;
    for (size_t i = 0; i < n; ++i) raw = (raw << 8) | bytes[i];
    const uint32_t sign = 1u << (8 * n - 1);
    raw ^= sign;
    // raw now holds the two's complement value in n bytes; extend its sign.
    if (raw & sign) return static_cast<int64_t>(raw) - (static_cast<int64_t>(sign) << 1);
    return raw;
}

void EncodeFieldInt(int64_t value, MutableBytes out) {
    const size_t n = out.size();
    if (n != 1 && n != 2 && n != 4)
        throw Error("internal error: integer field of " + std::to_string(n) + " bytes");
    uint32_t raw = static_cast<uint32_t>(value);
    raw ^= 1u << (8 * n - 1);
    for (size_t i = 0; i < n; ++i) out[n - 1 - i] = static_cast<uint8_t>(raw >> (8 * i));
}

double DecodeFieldDouble(Bytes bytes, bool* isNull) {
    if (bytes.size() != 8) throw Error("internal error: double field of wrong size");
    *isNull = AllZero(bytes);
    if (*isNull) return 0;
    uint64_t raw = 0;
    for (uint8_t b : bytes) raw = (raw << 8) | b;
    const uint64_t sign = uint64_t{1} << 63;
    raw = (raw & sign) ? raw & ~sign : ~raw;
    return std::bit_cast<double>(raw);
}

void EncodeFieldDouble(double value, MutableBytes out) {
    if (out.size() != 8) throw Error("internal error: double field of wrong size");
    uint64_t raw = std::bit_cast<uint64_t>(value);
    const uint64_t sign = uint64_t{1} << 63;
    raw = (raw & sign) ? ~raw : raw | sign;
    for (int i = 0; i < 8; ++i) out[7 - i] = static_cast<uint8_t>(raw >> (8 * i));
}

namespace {

// Slicing by 8: eight tables, eight bytes a step. t[0] is the classic byte-at-a-time table.
// `crc` is the register itself (no inversion on the way in or out). `Poly`: the polynomial,
// bit-reflected.
template <uint32_t Poly>
uint32_t CrcTables(uint32_t crc, const uint8_t* p, size_t n) {
    static const std::array<std::array<uint32_t, 256>, 8> t = [] {
        std::array<std::array<uint32_t, 256>, 8> tables{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? Poly ^ (c >> 1) : c >> 1;
            tables[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (size_t k = 1; k < 8; ++k)
                tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
        return tables;
    }();
    for (; n >= 8; p += 8, n -= 8) {
        const uint32_t lo = crc ^ (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                   uint32_t{p[3]} << 24);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n > 0; ++p, --n) crc = t[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return crc;
}
constexpr uint32_t kZlibPoly = 0xEDB88320u, kCastagnoliPoly = 0x82F63B78u;
uint32_t Crc32Tables(uint32_t crc, const uint8_t* p, size_t n) {
    return CrcTables<kZlibPoly>(crc, p, n);
}

#if defined(__x86_64__) || defined(__i386__)
#define PQ_CRC32_FOLDED 1

// Carry-less multiplication folds 16 bytes into the 16 that lie 16 k bytes further on: its two
// halves are multiplied by x^(128k + 32) and x^(128k - 32) modulo the polynomial and added to
// them, which keeps the remainder of the whole. The constants are those powers, bit-reflected
// and shifted by one as Intel's paper on CRC with PCLMULQDQ gives them: k = 4 while four lanes
// run side by side over 64 bytes a step, k = 1 once they are folded into one. The last 16
// bytes and the tail go through the tables. REQUIRES: n >= 64.
#define PQ_CLMUL __attribute__((target("pclmul,sse2")))
PQ_CLMUL inline __m128i Load(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}
PQ_CLMUL inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}
PQ_CLMUL uint32_t Crc32Folded(uint32_t crc, const uint8_t* p, size_t n) {
    __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
    p += 64, n -= 64;
    const __m128i by4 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    for (; n >= 64; p += 64, n -= 64) {
        x0 = Fold(x0, by4, Load(p));
        x1 = Fold(x1, by4, Load(p + 16));
        x2 = Fold(x2, by4, Load(p + 32));
        x3 = Fold(x3, by4, Load(p + 48));
    }
    const __m128i by1 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    __m128i x = Fold(Fold(Fold(x0, by1, x1), by1, x2), by1, x3);
    for (; n >= 16; p += 16, n -= 16) x = Fold(x, by1, Load(p));
    alignas(16) uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), x);
    return Crc32Tables(Crc32Tables(0, last, sizeof last), p, n);
}

bool HasCarryLessMultiply() {
    static const bool has = [] {
        __builtin_cpu_init();  // in case the first check comes before the constructors have run
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    }();
    return has;
}
#endif

#if defined(__x86_64__)
#define PQ_CRC32C_INSTRUCTION 1
// SSE 4.2's crc32 instruction computes CRC-32C, eight bytes at a time.
__attribute__((target("sse4.2"))) uint32_t Crc32cInstruction(uint32_t crc, const uint8_t* p,
                                                             size_t n) {
    uint64_t c = crc;
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        c = _mm_crc32_u64(c, v);
    }
    auto c32 = static_cast<uint32_t>(c);
    for (; n > 0; ++p, --n) c32 = _mm_crc32_u8(c32, *p);
    return c32;
}

bool HasCrc32cInstruction() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse4.2");
    }();
    return has;
}
#endif

}  // namespace

uint32_t Crc32c(Bytes bytes) {
#ifdef PQ_CRC32C_INSTRUCTION
    if (HasCrc32cInstruction())
        return Crc32cInstruction(0xFFFFFFFFu, bytes.data(), bytes.size()) ^ 0xFFFFFFFFu;
#endif
    return CrcTables<kCastagnoliPoly>(0xFFFFFFFFu, bytes.data(), bytes.size()) ^ 0xFFFFFFFFu;
}

uint32_t Crc32(Bytes bytes) {
    // The journal checks every byte it writes, so this runs on each save.
    uint32_t crc = 0xFFFFFFFFu;
#ifdef PQ_CRC32_FOLDED
    if (bytes.size() >= 64 && HasCarryLessMultiply())
        return Crc32Folded(crc, bytes.data(), bytes.size()) ^ 0xFFFFFFFFu;
#endif
    crc = Crc32Tables(crc, bytes.data(), bytes.size());
    return crc ^ 0xFFFFFFFFu;
}

}  // namespace pq::paradox
