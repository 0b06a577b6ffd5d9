#include "paradox/key_order.h"

#include <cstring>
#include <string>

#include "base/text.h"

namespace pq::paradox {

namespace {

// The letter a Latin-1 code point sorts under, ignoring case and accents.
uint32_t Fold(uint32_t cp) {
    if (cp >= 'a' && cp <= 'z') return cp - 32;
    if (cp < 0xC0 || cp > 0xFF) return cp;
    static const char kBase[] =
        "AAAAAAACEEEEIIII"   // C0-CF
        "DNOOOOO*OUUUUYTS"   // D0-DF
        "AAAAAAACEEEEIIII"   // E0-EF
        "DNOOOOO/OUUUUYTY";  // F0-FF
    const char base = kBase[cp - 0xC0];
    return (base == '*' || base == '/') ? cp : static_cast<uint32_t>(base);
}

uint32_t FirstCodePoint(const std::string& utf8) {
    if (utf8.empty()) return 0;
    const auto c = static_cast<unsigned char>(utf8[0]);
    if (c < 0x80) return c;
    if ((c >> 5) == 6 && utf8.size() >= 2) return ((c & 0x1F) << 6) | (utf8[1] & 0x3F);
    if ((c >> 4) == 14 && utf8.size() >= 3)
        return ((c & 0x0F) << 12) | ((utf8[1] & 0x3F) << 6) | (utf8[2] & 0x3F);
    return 0xFFFF;
}

}  // namespace

KeyOrder::KeyOrder(std::vector<Field> keyFields, uint8_t sortOrder, int codePage)
    : fields_(std::move(keyFields)) {
    size_t at = 0;
    for (const auto& f : fields_) {
        offsets_.push_back(at);
        at += f.RecordBytes();
    }
    offsets_.push_back(at);
    bool anyAlpha = false;
    for (const auto& f : fields_) anyAlpha |= f.type == FieldType::kAlpha;
    byteOrder_ = sortOrder == 0 || !anyAlpha;
    if (!byteOrder_) {
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            const uint32_t cp =
                b == 0 ? 0 : FirstCodePoint(text::ToUtf8(std::string_view(&c, 1), codePage));
            weight_[b] = static_cast<uint16_t>(Fold(cp) > 0xFFFF ? 0xFFFF : Fold(cp));
        }
    }
}

size_t KeyOrder::PrefixBytes(int fieldCount) const {
    if (fieldCount < 0) fieldCount = 0;
    if (fieldCount > FieldCount()) fieldCount = FieldCount();
    return offsets_[fieldCount];
}

int KeyOrder::Compare(Bytes a, Bytes b, int fieldCount) const {
    const size_t n = PrefixBytes(fieldCount);
    if (byteOrder_) return n ? std::memcmp(a.data(), b.data(), n) : 0;
    for (int i = 0; i < fieldCount && i < FieldCount(); ++i) {
        const size_t at = offsets_[i], len = offsets_[i + 1] - at;
        if (fields_[i].type == FieldType::kAlpha) {
            for (size_t k = 0; k < len; ++k) {
                const uint16_t wa = weight_[a[at + k]], wb = weight_[b[at + k]];
                if (wa != wb) return wa < wb ? -1 : 1;
            }
        }
        const int c = std::memcmp(a.data() + at, b.data() + at, len);
        if (c) return c;
    }
    return 0;
}

}  // namespace pq::paradox
