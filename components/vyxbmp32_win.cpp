#include "components/vyxbmp32_win.h"

#include "ui/canvas.h"

namespace components {

TVyxBmp::TVyxBmp(ui::Component* owner) : ui::GraphicControl(owner) {
    SetOpaque(true);
    SetBounds(Left(), Top(), 32, 32);
}

void TVyxBmp::SetBitMap(const ui::Bitmap& image) {
    bitmap_ = image;
    const ui::Point size = SizeForBitmap(bitmap_);
    SetHeight(size.y);
    SetWidth(size.x);
    Invalidate();
}

void TVyxBmp::SetTransparentColor(TColor value) {
    if (value == transparentColor_) return;
    transparentColor_ = value;
    Invalidate();
}

void TVyxBmp::SetStretch(bool value) {
    if (value == stretch_) return;
    stretch_ = value;
    Invalidate();
}

void TVyxBmp::SetAlign(TAlign value) {
    if (value == align_) return;
    align_ = value;
    ApplyAlign();
}

void TVyxBmp::ApplyAlign() {
    ui::WinControl* parent = Parent();
    if (!parent || align_ == TAlign::alNone) return;
    const ui::Rect area = parent->ClientRect();
    switch (align_) {
        case TAlign::alNone:
            break;
        case TAlign::alTop:
            SetBounds(0, 0, area.Width(), Height());
            break;
        case TAlign::alBottom:
            SetBounds(0, area.Height() - Height(), area.Width(), Height());
            break;
        case TAlign::alLeft:
            SetBounds(0, 0, Width(), area.Height());
            break;
        case TAlign::alRight:
            SetBounds(area.Width() - Width(), 0, Width(), area.Height());
            break;
        case TAlign::alClient:
            SetBounds(0, 0, area.Width(), area.Height());
            break;
    }
}

TColor TVyxBmp::ControlColor() const {
    ui::WinControl* parent = Parent();
    if (!parent) return ui::clWhite;
    // COLORREF and TColor share the layout 0x00BBGGRR.
    return static_cast<TColor>(ui::ColorToRgb(parent->GetColor()));
}

void TVyxBmp::Paint(ui::Canvas& canvas) {
    const VyxBmpFrame frame =
        RenderVyxBmp(bitmap_, Width(), Height(), stretch_, transparentColor_, ControlColor());
    if (!frame.pixels.Empty()) canvas.Draw(0, 0, frame.pixels);
    // Not stretched, the control takes the image's size at every paint (Width, then Height);
    // the parent repaints the changed area.
    if (frame.width != Width()) SetWidth(frame.width);
    if (frame.height != Height()) SetHeight(frame.height);
}

}  // namespace components
