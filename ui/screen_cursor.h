// The screen cursor: one cursor shape for every window of the program, set by long operations
// (crHourGlass, crAppStart) and put back with crDefault. Portable so that code without windows
// can set it; the window toolkit installs the function that makes it visible.
#pragma once

#include <functional>

namespace ui {

enum class Cursor { crDefault, crArrow, crHourGlass, crAppStart };
using enum Cursor;

// Sets the screen cursor; the change is visible at once, also while the pointer does not move.
void SetScreenCursor(Cursor cursor);
Cursor ScreenCursor();

// RAII: sets `cursor` now and crDefault again when it goes out of scope.
class ScopedScreenCursor {
  public:
    explicit ScopedScreenCursor(Cursor cursor) { SetScreenCursor(cursor); }
    ~ScopedScreenCursor() { SetScreenCursor(crDefault); }
    ScopedScreenCursor(const ScopedScreenCursor&) = delete;
    ScopedScreenCursor& operator=(const ScopedScreenCursor&) = delete;
};

// For the window toolkit: called after every change with the new cursor.
void SetScreenCursorApplier(std::function<void(Cursor)> applier);

}  // namespace ui
