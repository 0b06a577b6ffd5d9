// Values shared by forms and their controls: close actions, modal results, border styles,
// positions. Portable: no platform headers.
#pragma once

namespace ui {

// What closing a form does, chosen by its OnClose handler.
enum class CloseAction { caNone, caHide, caFree, caMinimize };
using enum CloseAction;

// Modal results: a form's ShowModal ends when its ModalResult becomes non-zero.
using ModalResult = int;
inline constexpr ModalResult mrNone = 0;
inline constexpr ModalResult mrOk = 1;
inline constexpr ModalResult mrCancel = 2;
inline constexpr ModalResult mrAbort = 3;
inline constexpr ModalResult mrRetry = 4;
inline constexpr ModalResult mrIgnore = 5;
inline constexpr ModalResult mrYes = 6;
inline constexpr ModalResult mrNo = 7;

enum class BorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using enum BorderStyle;

enum class Position { poDesigned, poDefault, poScreenCenter };
using enum Position;

enum class ScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

}  // namespace ui
