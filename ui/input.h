// Mouse buttons and the shift state that come with mouse events. Portable: no platform headers.
#pragma once

#include <cstdint>

namespace ui {

enum class MouseButton { mbLeft, mbRight, mbMiddle };
using enum MouseButton;

// A set of flags: keys and mouse buttons held during the event, and ssDouble for the press of
// a double click.
using ShiftState = uint32_t;
inline constexpr ShiftState ssShift = 1u << 0;
inline constexpr ShiftState ssAlt = 1u << 1;
inline constexpr ShiftState ssCtrl = 1u << 2;
inline constexpr ShiftState ssLeft = 1u << 3;
inline constexpr ShiftState ssRight = 1u << 4;
inline constexpr ShiftState ssMiddle = 1u << 5;
inline constexpr ShiftState ssDouble = 1u << 6;

}  // namespace ui
