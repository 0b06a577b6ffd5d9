// Drawing on a device context: fills, text, and copies of ui::Bitmap images with and without
// scaling. A canvas does not own its DC. Windows only.
#pragma once

#include <windows.h>

#include <string_view>

#include "ui/bitmap.h"
#include "ui/color.h"
#include "ui/geometry.h"
#include "ui/scoped_win.h"

namespace ui {

// The RGB value of a colour, system colours resolved (clBtnFace -> GetSysColor(COLOR_BTNFACE)).
COLORREF ColorToRgb(Color color);

class Canvas {
  public:
    explicit Canvas(HDC dc) : dc_(dc) {}
    HDC Handle() const { return dc_; }

    void FillRect(const Rect& r, Color color);
    // Copies the whole bitmap at its own size with its top-left corner at (x, y); every pixel
    // opaque; clipped by the DC's clip region.
    void Draw(int x, int y, const Bitmap& bitmap);
    // Copies rectangle `src` of the bitmap into `dest`, scaling by nearest pixel (rows and
    // columns dropped or repeated). REQUIRES: src inside the bitmap.
    void StretchDraw(const Rect& dest, const Bitmap& bitmap, const Rect& src);
    void StretchDraw(const Rect& dest, const Bitmap& bitmap) {
        StretchDraw(dest, bitmap, {0, 0, bitmap.Width(), bitmap.Height()});
    }
    // DrawTextW with DT_* flags; the DC's font; transparent background.
    void DrawText(const Rect& r, std::string_view utf8, UINT flags, Color color);
    // The size DrawText would need (DT_CALCRECT); width bounds the lines for DT_WORDBREAK.
    SIZE MeasureText(std::string_view utf8, UINT flags, int width);

  private:
    HDC dc_;
};

// A DIB section holding a copy of the bitmap (same depth and colour table).
ScopedBitmap CreateDibSection(const Bitmap& bitmap);
// The pixels of a GDI bitmap as a 32-bit ui::Bitmap.
Bitmap BitmapFromHandle(HBITMAP handle);
// Reads back a rectangle of a DC as a 24-bit bitmap (tests, screenshots).
Bitmap CaptureDc(HDC dc, const Rect& r);

}  // namespace ui
