#include "paradox/graphic.h"

#include "paradox/error.h"

namespace pq::paradox {

namespace {
constexpr uint8_t kGraphicMark[4] = {0x01, 0x00, 0x00, 0x01};
}

std::vector<uint8_t> AddGraphicPrefix(std::span<const uint8_t> picture) {
    const uint32_t n = static_cast<uint32_t>(picture.size());
    std::vector<uint8_t> stored(std::begin(kGraphicMark), std::end(kGraphicMark));
    for (int i = 0; i < 4; ++i) stored.push_back(static_cast<uint8_t>(n >> (8 * i)));
    stored.insert(stored.end(), picture.begin(), picture.end());
    return stored;
}

std::vector<uint8_t> StripGraphicPrefix(std::span<const uint8_t> stored, const std::string& where) {
    if (stored.size() < kGraphicPrefixSize)
        Corrupt(where, "graphic blob of " + std::to_string(stored.size()) +
                           " bytes is shorter than its 8-byte prefix");
    return {stored.begin() + kGraphicPrefixSize, stored.end()};
}

}  // namespace pq::paradox
