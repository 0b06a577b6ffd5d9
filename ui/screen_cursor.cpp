#include "ui/screen_cursor.h"

namespace ui {

namespace {
Cursor g_cursor = crDefault;
std::function<void(Cursor)>& Applier() {
    static std::function<void(Cursor)> applier;
    return applier;
}
}  // namespace

void SetScreenCursor(Cursor cursor) {
    g_cursor = cursor;
    if (Applier()) Applier()(cursor);
}

Cursor ScreenCursor() {
    return g_cursor;
}

void SetScreenCursorApplier(std::function<void(Cursor)> applier) {
    Applier() = std::move(applier);
}

}  // namespace ui
