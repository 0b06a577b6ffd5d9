// Points and rectangles in pixels, as the window system uses them: a rectangle includes its left
// and top bounds and excludes its right and bottom bounds. Portable: no platform headers.
#pragma once

namespace ui {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Rect Intersect(const Rect& o) const {
        Rect r{left > o.left ? left : o.left, top > o.top ? top : o.top,
               right < o.right ? right : o.right, bottom < o.bottom ? bottom : o.bottom};
        if (r.Empty()) return {};
        return r;
    }
    bool Intersects(const Rect& o) const { return !Intersect(o).Empty(); }
    friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect RectOfSize(int left, int top, int width, int height) {
    return {left, top, left + width, top + height};
}

}  // namespace ui
