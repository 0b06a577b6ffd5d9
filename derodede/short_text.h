// Short texts, the only text shape at the DERodede.dll boundary: one length byte (0 to 255)
// followed by that many characters of the ANSI code page (Windows-1252), passed by reference
// as a pointer to the length byte. Longer texts are cut to their first 255 characters.
// Portable: no platform headers.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pq::derodede {

inline constexpr size_t kShortTextMax = 255;

class ShortText {
  public:
    ShortText() = default;
    // `ansi` cut to its first 255 bytes (characters: the code page is single-byte).
    static ShortText FromAnsi(std::string_view ansi);
    // `utf8` converted to Windows-1252 first ('?' for characters it lacks), then cut.
    static ShortText FromUtf8(std::string_view utf8);

    // The length byte, followed by the characters: what the library receives.
    const unsigned char* Data() const { return bytes_.data(); }
    size_t Length() const { return bytes_[0]; }
    std::string_view Ansi() const {
        return {reinterpret_cast<const char*>(bytes_.data() + 1), bytes_[0]};
    }
    std::string Utf8() const;

  private:
    std::array<unsigned char, kShortTextMax + 1> bytes_{};
};

// The characters of a short text received by reference; "" for a null pointer.
std::string_view AnsiOf(const unsigned char* shortText);
std::string Utf8Of(const unsigned char* shortText);

}  // namespace pq::derodede
