#include "components/vyxbmp32.h"

#include <algorithm>

namespace components {

ui::Point SizeForBitmap(const ui::Bitmap& image) {
    // Height first, then Width, as the property setter assigns them; 0 becomes 32.
    int height = image.Height() > 0 ? image.Height() : 32;
    int width = image.Width() > 0 ? image.Width() : 32;
    return {width, height};
}

ui::Bitmap ScaleNearest(const ui::Bitmap& source, const ui::Rect& src, int width, int height) {
    ui::Bitmap out(width > 0 ? width : 0, height > 0 ? height : 0, 24);
    if (src.Empty()) return out;
    for (int y = 0; y < out.Height(); ++y) {
        const int sy =
            src.top + static_cast<int>(static_cast<long long>(y) * src.Height() / height);
        for (int x = 0; x < out.Width(); ++x) {
            const int sx =
                src.left + static_cast<int>(static_cast<long long>(x) * src.Width() / width);
            out.SetPixel(x, y, source.GetPixel(sx, sy));
        }
    }
    return out;
}

namespace {

// Every pixel of `target` at a position where `mask` (the image, 1:1) has `colour` becomes
// `with`; the others keep their value. This is what the mask-based raster operation
// dest XOR (mask AND (brush XOR dest)) yields, a set mask bit standing for a pixel of all ones.
void ReplaceThroughMask(ui::Bitmap& target, const ui::Bitmap& mask, TColor colour, TColor with) {
    const int w = std::min(target.Width(), mask.Width());
    const int h = std::min(target.Height(), mask.Height());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (mask.GetPixel(x, y) == colour) target.SetPixel(x, y, with);
}

// Draws `picture` into `target` at (0, 0), clipped to the target.
void CopyInto(ui::Bitmap& target, const ui::Bitmap& picture) {
    const int w = std::min(target.Width(), picture.Width());
    const int h = std::min(target.Height(), picture.Height());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) target.SetPixel(x, y, picture.GetPixel(x, y));
}

}  // namespace

VyxBmpFrame RenderVyxBmp(const ui::Bitmap& image, int width, int height, bool stretch,
                         TColor transparentColor, TColor controlColor) {
    VyxBmpFrame frame;
    frame.width = width;
    frame.height = height;
    const ui::Rect dest{0, 0, width, height};  // D: the control as painting starts

    if (image.Height() <= 0 || image.Width() <= 0) {
        frame.pixels = ui::Bitmap(dest.Width() > 0 ? dest.Width() : 0,
                                  dest.Height() > 0 ? dest.Height() : 0, 24);
        for (int y = 0; y < frame.pixels.Height(); ++y)
            for (int x = 0; x < frame.pixels.Width(); ++x) frame.pixels.SetPixel(x, y, ui::clWhite);
        return frame;
    }

    const ui::Rect whole{0, 0, image.Width(), image.Height()};
    if (!stretch) {  // the control snaps to the image on every paint
        frame.width = image.Width();
        frame.height = image.Height();
    }
    // S: the control's area when stretched, else the image's rectangle. Stretched drawing
    // scales the whole image into S; the unscaled copy takes S of the image into D.
    if (transparentColor < 0) {
        frame.pixels = ScaleNearest(image, whole, dest.Width(), dest.Height());
        return frame;
    }

    // Colour replacement in a working bitmap of the image's size, before any scaling.
    ui::Bitmap work(image.Width(), image.Height(), 24);
    if (stretch)
        CopyInto(work, image);
    else
        CopyInto(work, ScaleNearest(image, whole, dest.Width(), dest.Height()));
    ReplaceThroughMask(work, image, transparentColor, controlColor);
    if (stretch)
        frame.pixels = ScaleNearest(work, whole, dest.Width(), dest.Height());
    else {
        // D of the working bitmap, 1:1. D and S differ only on the paint right after the
        // control was resized (it snaps back at once); beyond the working bitmap stays black.
        frame.pixels = ui::Bitmap(dest.Width() > 0 ? dest.Width() : 0,
                                  dest.Height() > 0 ? dest.Height() : 0, 24);
        CopyInto(frame.pixels, work);
    }
    return frame;
}

}  // namespace components
