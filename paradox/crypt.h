// Paradox table encryption: the password checksum and the block transform of encrypted tables.
// Pure functions over caller-owned buffers; no file access. The data file (.DB) and the blob
// file (.MB) call these around every read and write of an encrypted table.
//
// The key is the 32-bit password checksum stored in the table header (offset 0x5C at level 4
// and later, 0x25 at level 3). Only its two low bytes take part in the transform:
//   a = key & 0xFF, b = (key >> 8) & 0xFF.
// A buffer is transformed in 256-byte chunks; each chunk is permuted and masked with three fixed
// 256-byte tables under two more parameters c and d:
//   | file | transformed                 | c                        | d                          |
//   |------|-----------------------------|--------------------------|----------------------------|
//   | .DB  | each data block (not header)| chunk index in the block | block number (from 1) & FF |
//   | .MB  | the whole file, header too  | (a + 1) & 0xFF           | (b + 1) & 0xFF             |
//   | .PX  | not transformed             |                          |                            |
// Knowing the key is enough to decode; the password only proves itself by its checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pq::paradox {

inline constexpr size_t kCryptChunkSize = 256;

// The checksum the header stores for `password` (its bytes as given, in the table's code page).
// The empty password gives 0 (no encryption); "123" gives 0x0A25E09A. Only the first 256 bytes
// of a longer password count.
uint32_t PasswordChecksum(std::string_view password);

// A .DB data block in place. REQUIRES: size is a multiple of 256 (Error otherwise);
// blockNumber counts from 1 as in the block chain.
void DecryptDbBlock(uint8_t* block, size_t size, uint32_t key, uint32_t blockNumber);
void EncryptDbBlock(uint8_t* block, size_t size, uint32_t key, uint32_t blockNumber);

// Any 256-aligned range of a .MB file in place. REQUIRES: size is a multiple of 256 (Error
// otherwise) and the range starts on a 256-byte boundary of the file.
void DecryptMbChunks(uint8_t* data, size_t size, uint32_t key);
void EncryptMbChunks(uint8_t* data, size_t size, uint32_t key);

}  // namespace pq::paradox
