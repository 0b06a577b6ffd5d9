// Text conversions between the encodings this program meets: UTF-8 inside the program,
// UTF-16 at the Win32 boundary, and single-byte code pages (437, 850, 1252) in Paradox
// tables and at the error-report library (Windows-1252, the ANSI code page).
// Portable: no platform headers.
#pragma once

#include <string>
#include <string_view>

namespace pq::text {

// The ANSI code page of the program's texts.
inline constexpr int kAnsiCodePage = 1252;

bool IsSupportedCodePage(int codePage);

// Single-byte text in `codePage` to UTF-8. Unsupported code pages are read as 1252.
std::string ToUtf8(std::string_view bytes, int codePage);

// UTF-8 to single-byte text in `codePage`. A character the code page lacks, or a malformed
// UTF-8 sequence, becomes '?' and clears *lossless when it is given.
std::string FromUtf8(std::string_view utf8, int codePage, bool* lossless = nullptr);

inline std::string AnsiToUtf8(std::string_view ansi) { return ToUtf8(ansi, kAnsiCodePage); }
inline std::string Utf8ToAnsi(std::string_view utf8) { return FromUtf8(utf8, kAnsiCodePage); }

// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Number of code points in a UTF-8 text (malformed bytes count one each).
size_t CodePointCount(std::string_view utf8);

}  // namespace pq::text
