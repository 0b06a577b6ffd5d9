// TZRMultiButton: the multi-state image button as a windowless control of the window toolkit.
// Its behaviour is MultiButtonBehaviour (ZRMultiButton.h); this class wires it to the parent
// window's mouse input, pointer enter/leave notifications and painting, and draws the chosen
// image opaque at its centred offset, clipped to the button. It paints nothing else.
//
// Owned by its owner (the form); the four images are owned copies. Windows only.
#pragma once

#include <string>

#include "components/ZRMultiButton.h"
#include "ui/control.h"

namespace components {

// Stored with the button, not used in drawing.
enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

class TZRMultiButton : public ui::GraphicControl, private MultiButtonSite {
  public:
    // 48 x 48, enabled, up, group 0, no images, no sounds; plays through SystemWavePlayer().
    explicit TZRMultiButton(ui::Component* owner);
    ~TZRMultiButton() override;
    const char* ClassName() const override { return "TZRMultiButton"; }
    bool IsSpeedButton() const override { return true; }

    // The topmost visible, enabled windowless control of the parent under the cursor is this.
    bool IsMouseOver() const override;

    MultiButtonBehaviour& Behaviour() { return behaviour_; }
    const MultiButtonBehaviour& Behaviour() const { return behaviour_; }

    // Properties (see MultiButtonBehaviour for their rules).
    bool AutoSize() const { return behaviour_.AutoSize(); }
    void SetAutoSize(bool value) { behaviour_.SetAutoSize(value); }
    const ui::Bitmap& Glyph() const { return behaviour_.Glyph(); }
    void SetGlyph(const ui::Bitmap& image) { behaviour_.SetGlyph(image); }
    const ui::Bitmap& GlyphDown() const { return behaviour_.GlyphDown(); }
    void SetGlyphDown(const ui::Bitmap& image) { behaviour_.SetGlyphDown(image); }
    const ui::Bitmap& GlyphMouseOver() const { return behaviour_.GlyphMouseOver(); }
    void SetGlyphMouseOver(const ui::Bitmap& image) { behaviour_.SetGlyphMouseOver(image); }
    const ui::Bitmap& GlyphDisable() const { return behaviour_.GlyphDisable(); }
    void SetGlyphDisable(const ui::Bitmap& image) { behaviour_.SetGlyphDisable(image); }
    const std::string& WaveSoundClick() const { return behaviour_.WaveSoundClick(); }
    void SetWaveSoundClick(const std::string& path) { behaviour_.SetWaveSoundClick(path); }
    const std::string& WaveSoundDown() const { return behaviour_.WaveSoundDown(); }
    void SetWaveSoundDown(const std::string& path) { behaviour_.SetWaveSoundDown(path); }
    const std::string& WaveSoundOver() const { return behaviour_.WaveSoundOver(); }
    void SetWaveSoundOver(const std::string& path) { behaviour_.SetWaveSoundOver(path); }
    bool Down() const { return behaviour_.Down(); }
    void SetDown(bool value) { behaviour_.SetDown(value); }
    int GroupIndex() const { return behaviour_.GroupIndex(); }
    void SetGroupIndex(int value) { behaviour_.SetGroupIndex(value); }
    bool AllowAllUp() const { return behaviour_.AllowAllUp(); }
    void SetAllowAllUp(bool value) { behaviour_.SetAllowAllUp(value); }
    bool Flat() const { return behaviour_.Flat(); }
    void SetFlat(bool value);
    void SetEnabled(bool enabled) override;

    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout value) { layout_ = value; }
    int Margin() const { return margin_; }
    void SetMargin(int value) { margin_ = value; }
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int value) { numGlyphs_ = value; }
    int Spacing() const { return spacing_; }
    void SetSpacing(int value) { spacing_ = value; }

    // For tests: another player (it must outlive the button).
    void SetWavePlayer(WavePlayer& player) { behaviour_.SetPlayer(player); }

    // The toolkit's entry points.
    void Paint(ui::Canvas& canvas) override;
    void MouseDown(ui::MouseButton button, ui::ShiftState shift, int x, int y) override;
    void MouseMove(ui::ShiftState shift, int x, int y) override;
    void MouseUp(ui::MouseButton button, ui::ShiftState shift, int x, int y) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void Click() override;
    // The press with ssDouble that follows decides about OnDblClick (only when down).
    void DblClick() override {}

    int Width() const override { return ui::GraphicControl::Width(); }
    int Height() const override { return ui::GraphicControl::Height(); }

  private:
    // MultiButtonSite
    void SetSize(int width, int height) override;
    void RepaintNow() override { Repaint(); }
    void ScheduleRepaint() override { Invalidate(); }
    std::vector<MultiButtonBehaviour*> Siblings() const override;
    void DoMouseDown(ui::MouseButton button, ui::ShiftState shift, int x, int y) override;
    void DoMouseMove(ui::ShiftState shift, int x, int y) override;
    void DoMouseUp(ui::MouseButton button, ui::ShiftState shift, int x, int y) override;
    void DoClick() override;
    void DoDblClick() override;

    MultiButtonBehaviour behaviour_;
    TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
    int margin_ = -1;
    int numGlyphs_ = 1;
    int spacing_ = 4;
};

}  // namespace components
