#include "base/text.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/codepage_tables.h"

namespace pq::text {
namespace {

const char16_t* UpperHalf(int codePage) {
    switch (codePage) {
        case 437:
            return tables::kCp437;
        case 850:
            return tables::kCp850;
        default:
            return tables::kCp1252;
    }
}

// Code point to byte for a code page's upper half, built once per code page: 0 where the code
// page has no byte for the code point. The tables' code points all lie below kReverseSize.
constexpr char32_t kReverseSize = 0x2600;

std::vector<uint8_t> BuildReverse(const char16_t* upper) {
    std::vector<uint8_t> r(kReverseSize, 0);
    // Downwards, so that a code point listed twice maps to its lower byte.
    for (int k = 127; k >= 0; --k)
        if (upper[k] < kReverseSize) r[upper[k]] = static_cast<uint8_t>(0x80 + k);
    return r;
}

const std::vector<uint8_t>& Reverse(int codePage) {
    static const std::vector<uint8_t> r437 = BuildReverse(tables::kCp437);
    static const std::vector<uint8_t> r850 = BuildReverse(tables::kCp850);
    static const std::vector<uint8_t> r1252 = BuildReverse(tables::kCp1252);
    switch (codePage) {
        case 437:
            return r437;
        case 850:
            return r850;
        default:
            return r1252;
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// A code page's upper half in UTF-8, built once per code page.
struct Utf8Char {
    char bytes[3];
    uint8_t length;
};

std::array<Utf8Char, 128> BuildUtf8(const char16_t* upper) {
    std::array<Utf8Char, 128> t{};
    for (int k = 0; k < 128; ++k) {
        std::string s;
        AppendUtf8(s, upper[k]);
        std::memcpy(t[k].bytes, s.data(), s.size());
        t[k].length = static_cast<uint8_t>(s.size());
    }
    return t;
}

const std::array<Utf8Char, 128>& Utf8Upper(int codePage) {
    static const std::array<Utf8Char, 128> u437 = BuildUtf8(tables::kCp437);
    static const std::array<Utf8Char, 128> u850 = BuildUtf8(tables::kCp850);
    static const std::array<Utf8Char, 128> u1252 = BuildUtf8(tables::kCp1252);
    switch (codePage) {
        case 437:
            return u437;
        case 850:
            return u850;
        default:
            return u1252;
    }
}

constexpr char32_t kBad = 0xFFFFFFFF;

constexpr size_t kWord = 8;
static_assert(std::endian::native == std::endian::little);

// How many of a word's eight bytes, from the first, are ASCII (eight when all are). Both
// targets are little-endian: the first byte is the word's lowest.
inline size_t AsciiPrefix(uint64_t w) {
    const uint64_t high = w & 0x8080808080808080ull;
    return high ? static_cast<size_t>(std::countr_zero(high)) / 8 : kWord;
}

// How many of the n bytes from p on are ASCII before the first that is not, eight at a time.
size_t AsciiRun(const char* p, size_t n) {
    size_t k = 0;
    for (; k + kWord <= n; k += kWord) {
        uint64_t w;
        std::memcpy(&w, p + k, kWord);
        if (const size_t ascii = AsciiPrefix(w); ascii < kWord) return k + ascii;
    }
    while (k < n && static_cast<unsigned char>(p[k]) < 0x80) ++k;
    return k;
}

// Copies the ASCII bytes from p[i] on to o, eight at a time while eight remain (all eight are
// stored, as many kept as are ASCII), advancing i and o past them. True when it stopped at a
// byte of 0x80 or more, false at the end (i == n). REQUIRES: room for eight bytes at o.
inline bool CopyAscii(const char* p, size_t n, size_t& i, char*& o) {
    while (i + kWord <= n) {
        uint64_t w;
        std::memcpy(&w, p + i, kWord);
        std::memcpy(o, &w, kWord);
        const size_t ascii = AsciiPrefix(w);
        i += ascii;
        o += ascii;
        if (ascii < kWord) return true;
    }
    while (i < n && static_cast<unsigned char>(p[i]) < 0x80) *o++ = p[i++];
    return i < n;
}

// Decodes one code point at s[i], advancing i; returns kBad for a malformed sequence
// (advancing one byte).
char32_t NextCodePoint(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return kBad;
    }
    if (i + static_cast<size_t>(extra) >= s.size()) {
        ++i;
        return kBad;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kBad;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kBad;
    }
    i += extra + 1;
    return cp;
}

// NextCodePoint for a non-ASCII byte at s[i], with the two-byte sequences of the Latin
// letters decoded on the spot.
inline char32_t NextNonAscii(std::string_view s, size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < s.size()) {
        const auto b1 = static_cast<unsigned char>(s[i + 1]);
        if ((b1 & 0xC0) == 0x80) {
            i += 2;
            return char32_t{b0 & 0x1Fu} << 6 | (b1 & 0x3Fu);
        }
    }
    return NextCodePoint(s, i);
}

}  // namespace

bool IsSupportedCodePage(int codePage) {
    return codePage == 437 || codePage == 850 || codePage == 1252;
}

std::string ToUtf8(std::string_view bytes, int codePage) {
    const std::array<Utf8Char, 128>& upper = Utf8Upper(codePage);
    const char* p = bytes.data();
    const size_t n = bytes.size();
    // At most three bytes for each (the code pages' characters all lie below U+10000), and
    // room for the eight bytes stored at once.
    std::string out(n * 3 + kWord, '\0');
    char* o = out.data();
    size_t i = 0;
    while (CopyAscii(p, n, i, o)) {
        const Utf8Char& u = upper[static_cast<unsigned char>(p[i++]) - 0x80];
        std::memcpy(o, u.bytes, 3);
        o += u.length;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

std::string FromUtf8(std::string_view utf8, int codePage, bool* lossless) {
    const char16_t* upper = UpperHalf(codePage);
    const std::vector<uint8_t>& reverse = Reverse(codePage);
    const char* p = utf8.data();
    const size_t n = utf8.size();
    // One byte for each character or malformed byte, so never longer than the input, and room
    // for the eight bytes stored at once.
    std::string out(n + kWord, '\0');
    char* o = out.data();
    size_t i = 0;
    while (CopyAscii(p, n, i, o)) {
        // A lead byte: a code point of 0x80 or more, or a malformed sequence.
        const char32_t cp = NextNonAscii(utf8, i);
        uint8_t mapped = 0;
        if (cp != kBad && cp < kReverseSize) {
            mapped = reverse[cp];
        } else if (cp != kBad) {
            for (int k = 0; k < 128 && !mapped; ++k)
                if (upper[k] == cp) mapped = static_cast<uint8_t>(0x80 + k);
        }
        if (!mapped && lossless) *lossless = false;
        *o++ = mapped ? static_cast<char>(mapped) : '?';
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = NextCodePoint(utf8, i);
        if (cp == kBad) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

size_t CodePointCount(std::string_view utf8) {
    size_t n = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t run = AsciiRun(utf8.data() + i, utf8.size() - i);
        n += run;
        i += run;
        if (i == utf8.size()) break;
        NextNonAscii(utf8, i);
        ++n;
    }
    return n;
}

}  // namespace pq::text
