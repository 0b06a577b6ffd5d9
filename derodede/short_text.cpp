#include "derodede/short_text.h"

#include <cstring>

#include "base/text.h"

namespace pq::derodede {

ShortText ShortText::FromAnsi(std::string_view ansi) {
    ShortText t;
    const size_t n = std::min(ansi.size(), kShortTextMax);
    t.bytes_[0] = static_cast<unsigned char>(n);
    if (n) std::memcpy(t.bytes_.data() + 1, ansi.data(), n);
    return t;
}

ShortText ShortText::FromUtf8(std::string_view utf8) {
    // Cut after the conversion, so that the limit counts characters, not UTF-8 bytes.
    return FromAnsi(text::Utf8ToAnsi(utf8));
}

std::string ShortText::Utf8() const {
    return text::AnsiToUtf8(Ansi());
}

std::string_view AnsiOf(const unsigned char* shortText) {
    if (!shortText) return {};
    return {reinterpret_cast<const char*>(shortText + 1), shortText[0]};
}

std::string Utf8Of(const unsigned char* shortText) {
    return text::AnsiToUtf8(AnsiOf(shortText));
}

}  // namespace pq::derodede
