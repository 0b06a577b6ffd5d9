// TVyxBmp: the transparent bitmap control, a windowless control of the window toolkit. It shows
// `BitMap` at its own size (the control snaps to it) or scaled to the control (`Stretch`), with
// the pixels of `TransparentColor` drawn in the parent window's colour. The pixels come from
// RenderVyxBmp (vyxbmp32.h) and are copied 1:1.
//
// Owned by its owner (the form); BitMap is an owned copy. Windows only.
#pragma once

#include "components/vyxbmp32.h"
#include "ui/control.h"

namespace components {

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TVyxBmp : public ui::GraphicControl {
  public:
    // 32 x 32, no image, TransparentColor -1, not stretched, opaque.
    explicit TVyxBmp(ui::Component* owner);
    const char* ClassName() const override { return "TVyxBmp"; }

    const ui::Bitmap& BitMap() const { return bitmap_; }
    // Copies the image, sizes the control to it (Height, then Width; 0 becomes 32), repaints.
    void SetBitMap(const ui::Bitmap& image);
    TColor TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(TColor value);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    // Places the control along a side of its parent's client area (or over all of it) when set
    // and when the form is loaded; it does not follow later resizes of the parent.
    TAlign Align() const { return align_; }
    void SetAlign(TAlign value);

    // The replacement colour: the parent window's colour, resolved (white without a parent).
    TColor ControlColor() const;

    void Paint(ui::Canvas& canvas) override;
    void Loaded() override { ApplyAlign(); }

  private:
    void ApplyAlign();

    ui::Bitmap bitmap_;
    TColor transparentColor_ = -1;
    bool stretch_ = false;
    TAlign align_ = TAlign::alNone;
};

}  // namespace components
