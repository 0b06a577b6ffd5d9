// Colours as 32-bit values: a non-negative value is red (low byte), green and blue; a value with
// the top bit set names a system colour by its index (clBtnFace is the button face colour), and
// is resolved only when drawing (ui/canvas.h). Portable: no platform headers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ui {

using Color = int32_t;

constexpr Color Rgb(int r, int g, int b) {
    return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int RedOf(Color c) {
    return c & 0xFF;
}
constexpr int GreenOf(Color c) {
    return (c >> 8) & 0xFF;
}
constexpr int BlueOf(Color c) {
    return (c >> 16) & 0xFF;
}

constexpr bool IsSystemColor(Color c) {
    return c < 0;
}
// The system colour index of a system colour (COLOR_BTNFACE is 15).
constexpr int SystemColorIndex(Color c) {
    return static_cast<int>(static_cast<uint32_t>(c) & 0xFF);
}
constexpr Color SystemColor(int index) {
    return static_cast<Color>(0x80000000u | static_cast<uint32_t>(index));
}

inline constexpr Color clNone = 0x1FFFFFFF;
inline constexpr Color clDefault = 0x20000000;
inline constexpr Color clBlack = Rgb(0, 0, 0);
inline constexpr Color clMaroon = Rgb(128, 0, 0);
inline constexpr Color clGreen = Rgb(0, 128, 0);
inline constexpr Color clOlive = Rgb(128, 128, 0);
inline constexpr Color clNavy = Rgb(0, 0, 128);
inline constexpr Color clPurple = Rgb(128, 0, 128);
inline constexpr Color clTeal = Rgb(0, 128, 128);
inline constexpr Color clGray = Rgb(128, 128, 128);
inline constexpr Color clSilver = Rgb(192, 192, 192);
inline constexpr Color clRed = Rgb(255, 0, 0);
inline constexpr Color clLime = Rgb(0, 255, 0);
inline constexpr Color clYellow = Rgb(255, 255, 0);
inline constexpr Color clBlue = Rgb(0, 0, 255);
inline constexpr Color clFuchsia = Rgb(255, 0, 255);
inline constexpr Color clAqua = Rgb(0, 255, 255);
inline constexpr Color clWhite = Rgb(255, 255, 255);
inline constexpr Color clBtnFace = SystemColor(15);
inline constexpr Color clWindow = SystemColor(5);
inline constexpr Color clWindowText = SystemColor(8);
inline constexpr Color clBtnText = SystemColor(18);
inline constexpr Color clBtnShadow = SystemColor(16);
inline constexpr Color clBtnHighlight = SystemColor(20);
inline constexpr Color clHighlight = SystemColor(13);
inline constexpr Color clHighlightText = SystemColor(14);
inline constexpr Color clGrayText = SystemColor(17);

// "clBtnFace" -> clBtnFace; nullopt for a name that is not a colour.
std::optional<Color> ColorFromName(std::string_view name);

}  // namespace ui
