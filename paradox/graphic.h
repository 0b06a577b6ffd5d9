// Graphic fields: the blob file keeps an 8-byte prefix before the picture; the field's value is
// the picture alone. These two functions are the only place the prefix is made or taken off.
//
//   | off | size | meaning                                    |
//   |-----|------|--------------------------------------------|
//   | 0   | 4    | 01 00 00 01 (as seen; meaning unknown)     |
//   | 4   | u32  | the picture's length (little-endian)       |
//   | 8   |      | the picture (a Windows bitmap, "BM...")    |
//
// The record's blob length counts the prefix; the copy of the first bytes in the record's
// leader does not: it starts with the picture.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pq::paradox {

inline constexpr size_t kGraphicPrefixSize = 8;

// The prefix stored before a picture of `pictureSize` bytes.
std::array<uint8_t, kGraphicPrefixSize> GraphicPrefix(size_t pictureSize);

// The prefix and the picture, as stored.
std::vector<uint8_t> AddGraphicPrefix(std::span<const uint8_t> picture);

// The picture of a stored graphic blob: everything after the prefix, taken off in place.
// CorruptError naming `where` when the blob is shorter than the prefix. The prefix itself is not
// checked: one file is all that was ever seen, readers of the format skip it, and nothing here
// depends on its bytes.
std::vector<uint8_t> StripGraphicPrefix(std::vector<uint8_t> stored, const std::string& where);

}  // namespace pq::paradox
