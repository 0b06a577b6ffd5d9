// The real cursor moved out of the way before a test that counts the pointer entering and
// leaving its controls. The cursor belongs to the screen, not to the test: a test program that
// ended with it over a control would otherwise have the next program's control hear of the
// pointer entering as soon as its window is shown.
#pragma once

#include <windows.h>

#include <stdexcept>

namespace pq::testing {

// Moves the cursor to the screen's bottom-right corner, away from every test window, and waits
// until the system reports it there (messages are processed meanwhile).
inline void MovePointerAway() {
    const POINT away{GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1};
    SetCursorPos(away.x, away.y);
    const DWORD start = GetTickCount();
    for (;;) {
        POINT p{};
        if (GetCursorPos(&p) && p.x == away.x && p.y == away.y) return;
        if (GetTickCount() - start > 5000)
            throw std::runtime_error("the cursor did not reach the corner of the screen");
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

}  // namespace pq::testing
