// vyxbmp32: the drawing of the transparent bitmap control TVyxBmp, as pixel logic.
//
// The control shows one image at its own size or scaled to the control, and can treat one
// colour of it as transparent: those pixels are drawn in the control's colour (its window's),
// so the image's background blends into the window. `RenderVyxBmp` computes the pixels a paint
// puts into the control's rectangle; the Win32 control (vyxbmp32_win.h) copies them 1:1.
// Portable: no platform headers.
#pragma once

#include "ui/bitmap.h"
#include "ui/color.h"
#include "ui/geometry.h"

namespace components {

// A colour: non-negative is 0x00BBGGRR; negative (a system colour) switches replacement off.
using TColor = ui::Color;

// The control's size after setting BitMap to `image`: the image's size, each 0 becoming 32.
ui::Point SizeForBitmap(const ui::Bitmap& image);

struct VyxBmpFrame {
    int width = 0;  // the control's size once painted: the image's size unless stretched
    int height = 0;
    ui::Bitmap pixels;  // 24 bits: what the rectangle (0, 0, Width, Height) of the paint shows
};

// One paint of a control of `width` x `height`:
// - no image (height 0 or less): all white;
// - not stretched: the control snaps to the image's size, and the image's rectangle is copied
//   into the control's rectangle as it was when painting started;
// - stretched: the whole image scaled into the control by nearest pixel;
// - with `transparentColor` non-negative, exactly the image's pixels of that colour are
//   replaced by `controlColor` (an RGB value) before any scaling.
VyxBmpFrame RenderVyxBmp(const ui::Bitmap& image, int width, int height, bool stretch,
                         TColor transparentColor, TColor controlColor);

// Rectangle `src` of `source` scaled into a new 24-bit bitmap of width x height by nearest
// pixel (rows and columns dropped or repeated): destination (x, y) takes source
// (src.left + x * src.Width() / width, src.top + y * src.Height() / height).
// REQUIRES: src inside source.
ui::Bitmap ScaleNearest(const ui::Bitmap& source, const ui::Rect& src, int width, int height);

}  // namespace components
