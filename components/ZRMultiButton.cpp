#include "components/ZRMultiButton.h"

namespace components {

bool MultiButtonHeld = false;

ButtonImage ChooseImage(bool enabled, bool down, bool mouseOver, bool held) {
    if (!enabled) return ButtonImage::GlyphDisable;
    if (down || (mouseOver && held)) return ButtonImage::GlyphDown;
    if (mouseOver) return ButtonImage::GlyphMouseOver;
    return ButtonImage::Glyph;
}

ui::Point ImageOrigin(int buttonWidth, int buttonHeight, int imageWidth, int imageHeight) {
    // C++ division truncates toward zero, as the button's centring does: (48 - 51) / 2 = -1.
    return {(buttonWidth - imageWidth) / 2, (buttonHeight - imageHeight) / 2};
}

MultiButtonBehaviour::MultiButtonBehaviour(MultiButtonSite& site, WavePlayer& player)
    : site_(site), player_(&player) {}

void MultiButtonBehaviour::Play(const std::string& path) {
    if (!path.empty()) player_->Play(path);
}

void MultiButtonBehaviour::MouseDown(ui::MouseButton button, ui::ShiftState shift, int x, int y) {
    if (!enabled_) return;  // the window delivers no input to a disabled control
    const bool left = button == ui::mbLeft;
    site_.DoMouseDown(button, shift, x, y);
    if (left) {
        tracking_ = true;
        trackedInside_ = true;
        if (!down_) site_.ScheduleRepaint();
        MultiButtonHeld = true;
        site_.RepaintNow();  // the pointer is over it: GlyphDown shows
    }
    Play(waveSoundDown_);
    // The press of a double click: OnDblClick only for a button that is down.
    if (left && (shift & ui::ssDouble) && down_) site_.DoDblClick();
}

void MultiButtonBehaviour::MouseMove(ui::ShiftState shift, int x, int y) {
    site_.DoMouseMove(shift, x, y);
    if (tracking_ && !down_) {
        const bool inside = ui::Rect{0, 0, site_.Width(), site_.Height()}.Contains({x, y});
        if (inside != trackedInside_) {
            trackedInside_ = inside;
            site_.ScheduleRepaint();
        }
    }
}

void MultiButtonBehaviour::MouseUp(ui::MouseButton button, ui::ShiftState shift, int x, int y) {
    site_.DoMouseUp(button, shift, x, y);
    if (tracking_) {
        tracking_ = false;
        const bool click = ui::Rect{0, 0, site_.Width(), site_.Height()}.Contains({x, y});
        if (click) {
            if (groupIndex_ == 0)
                site_.ScheduleRepaint();
            else
                SetDown(!down_);  // refused for a down button unless AllowAllUp
            Click();
        }
        UpdateTracking();
    }
    // Runs after OnClick: a handler's repaint still shows GlyphDown.
    MultiButtonHeld = false;
    site_.RepaintNow();
}

void MultiButtonBehaviour::Click() {
    site_.DoClick();
    // Only once the handler has returned (a modal window in it delays the sound).
    Play(waveSoundClick_);
}

void MultiButtonBehaviour::MouseEnter() {
    if (!enabled_) return;
    if (!down_) Play(MultiButtonHeld ? waveSoundDown_ : waveSoundOver_);
    site_.RepaintNow();
}

void MultiButtonBehaviour::MouseLeave() {
    if (enabled_) site_.RepaintNow();
}

void MultiButtonBehaviour::UpdateTracking() {
    if (!flat_ || !enabled_) return;
    if (site_.IsMouseOver())
        MouseEnter();
    else
        MouseLeave();
}

PaintPlan MultiButtonBehaviour::PaintImage() const {
    const ui::Bitmap* image = nullptr;
    switch (ChooseImage(enabled_, down_, site_.IsMouseOver(), MultiButtonHeld)) {
        case ButtonImage::GlyphDisable:
            image = &glyphDisable_;
            break;
        case ButtonImage::GlyphDown:
            image = &glyphDown_;
            break;
        case ButtonImage::GlyphMouseOver:
            image = &glyphMouseOver_;
            break;
        case ButtonImage::Glyph:
            image = &glyph_;
            break;
    }
    if (image->Empty()) return {};
    return {image, ImageOrigin(site_.Width(), site_.Height(), image->Width(), image->Height())};
}

void MultiButtonBehaviour::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    UpdateTracking();
    site_.RepaintNow();
}

void MultiButtonBehaviour::SetDown(bool value) {
    if (groupIndex_ == 0) value = false;
    if (value == down_) return;
    if (down_ && !allowAllUp_) return;
    down_ = value;
    site_.ScheduleRepaint();
    if (down_) UpdateExclusive();
}

void MultiButtonBehaviour::SetGroupIndex(int value) {
    if (value == groupIndex_) return;
    groupIndex_ = value;
    if (groupIndex_ == 0 && down_) {  // Down holds only within a group
        down_ = false;
        site_.ScheduleRepaint();
    }
    UpdateExclusive();
}

void MultiButtonBehaviour::SetAllowAllUp(bool value) {
    if (value == allowAllUp_) return;
    allowAllUp_ = value;
    UpdateExclusive();
}

void MultiButtonBehaviour::SetFlat(bool value) {
    if (value == flat_) return;
    flat_ = value;
    site_.ScheduleRepaint();
}

void MultiButtonBehaviour::UpdateExclusive() {
    if (groupIndex_ == 0) return;
    for (MultiButtonBehaviour* other : site_.Siblings()) {
        if (other == this || other->groupIndex_ != groupIndex_) continue;
        if (down_ && other->down_) {
            other->down_ = false;
            other->site_.ScheduleRepaint();
        }
        other->allowAllUp_ = allowAllUp_;
    }
}

void MultiButtonBehaviour::SetAutoSize(bool value) {
    autoSize_ = value;
    if (value) site_.SetSize(glyph_.Width(), glyph_.Height());
}

void MultiButtonBehaviour::SetImage(ui::Bitmap& field, const ui::Bitmap& image) {
    field = image;
    site_.ScheduleRepaint();
}

void MultiButtonBehaviour::SetGlyph(const ui::Bitmap& image) {
    SetImage(glyph_, image);
}
void MultiButtonBehaviour::SetGlyphDown(const ui::Bitmap& image) {
    SetImage(glyphDown_, image);
}
void MultiButtonBehaviour::SetGlyphMouseOver(const ui::Bitmap& image) {
    SetImage(glyphMouseOver_, image);
}
void MultiButtonBehaviour::SetGlyphDisable(const ui::Bitmap& image) {
    SetImage(glyphDisable_, image);
}

}  // namespace components
