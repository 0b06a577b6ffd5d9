#include "paradox/graphic.h"

#include <algorithm>

#include "paradox/error.h"

namespace pq::paradox {

namespace {
constexpr uint8_t kGraphicMark[4] = {0x01, 0x00, 0x00, 0x01};
}

std::array<uint8_t, kGraphicPrefixSize> GraphicPrefix(size_t pictureSize) {
    const auto n = static_cast<uint32_t>(pictureSize);
    std::array<uint8_t, kGraphicPrefixSize> prefix{};
    std::copy(std::begin(kGraphicMark), std::end(kGraphicMark), prefix.begin());
    for (int i = 0; i < 4; ++i) prefix[4 + i] = static_cast<uint8_t>(n >> (8 * i));
    return prefix;
}

std::vector<uint8_t> AddGraphicPrefix(std::span<const uint8_t> picture) {
    const auto prefix = GraphicPrefix(picture.size());
    std::vector<uint8_t> stored(prefix.size() + picture.size());
    std::copy(prefix.begin(), prefix.end(), stored.begin());
    std::copy(picture.begin(), picture.end(), stored.begin() + kGraphicPrefixSize);
    return stored;
}

std::vector<uint8_t> StripGraphicPrefix(std::vector<uint8_t> stored, const std::string& where) {
    if (stored.size() < kGraphicPrefixSize)
        Corrupt(where, "graphic blob of " + std::to_string(stored.size()) +
                           " bytes is shorter than its 8-byte prefix");
    stored.erase(stored.begin(), stored.begin() + kGraphicPrefixSize);
    return stored;
}

}  // namespace pq::paradox
