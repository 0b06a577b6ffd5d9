// ZRMultiButton: the behaviour of the multi-state image button, apart from its window.
//
// The button is drawn entirely from images: `Glyph` (normal), `GlyphDown` (down or pressed),
// `GlyphMouseOver` (pointer over it) and `GlyphDisable`, with optional wave sounds on entering,
// pressing and clicking. It keeps the speed-button rules (groups, sticky Down, AllowAllUp,
// Flat, double clicks).
//
// `MultiButtonBehaviour` holds the button's state and images and turns input events into
// effects on a `MultiButtonSite` (the control that hosts it: size, pointer-over test, repaints,
// event handlers, group siblings) and sounds on a `WavePlayer`. Painting only reads it:
// `PaintImage()` says which image to draw and where. The visible state is never stored; it is
// derived at each paint from Enabled, Down, the pointer-over test and `MultiButtonHeld`.
// The behaviour owns its four images; it borrows the site and the player, which outlive it.
// Portable: no platform headers (the Win32 control is TZRMultiButton in ZRMultiButton_win.h).
#pragma once

#include <string>
#include <vector>

#include "ui/bitmap.h"
#include "ui/geometry.h"
#include "ui/input.h"

namespace components {

// Shared by every multi-state button of the process: set when the left mouse button goes down
// on any of them, cleared when any mouse button is released on any of them. While it is set, a
// button painted with the pointer over it shows GlyphDown, and entering one plays its press
// sound instead of its over sound. Single user-interface thread only.
extern bool MultiButtonHeld;

enum class ButtonImage { Glyph, GlyphDown, GlyphMouseOver, GlyphDisable };

// The image a paint shows: disabled -> GlyphDisable; Down, or over while MultiButtonHeld ->
// GlyphDown; over -> GlyphMouseOver; else Glyph.
ButtonImage ChooseImage(bool enabled, bool down, bool mouseOver, bool held);

// Where an image's top-left corner goes in the button: ((W - w) div 2, (H - h) div 2), the
// division truncating toward zero, so a larger image is centred and cropped (129 x 51 on
// 48 x 48 gives (-40, -1)).
ui::Point ImageOrigin(int buttonWidth, int buttonHeight, int imageWidth, int imageHeight);

// Plays wave files asynchronously. Play(path) starts playing and returns at once; a path that
// does not name an existing regular file plays nothing. Answers whether the file was handed to
// the sound service.
class WavePlayer {
  public:
    virtual ~WavePlayer() = default;
    virtual bool Play(const std::string& path) = 0;
};

// The system's player (sndPlaySoundA, asynchronous). Windows builds only.
WavePlayer& SystemWavePlayer();

class MultiButtonBehaviour;

// What the behaviour needs from the control that hosts it.
class MultiButtonSite {
  public:
    virtual ~MultiButtonSite() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetSize(int width, int height) = 0;  // Width first, then Height
    // Whether the pointer is over this button: the topmost visible, enabled windowless control
    // of the parent under the cursor is this one.
    virtual bool IsMouseOver() const = 0;
    virtual void RepaintNow() = 0;       // drawn at once
    virtual void ScheduleRepaint() = 0;  // drawn at the next paint
    // The other multi-state buttons of the same parent window.
    virtual std::vector<MultiButtonBehaviour*> Siblings() const = 0;
    // The button's events; the site runs the bound handlers.
    virtual void DoMouseDown(ui::MouseButton button, ui::ShiftState shift, int x, int y) = 0;
    virtual void DoMouseMove(ui::ShiftState shift, int x, int y) = 0;
    virtual void DoMouseUp(ui::MouseButton button, ui::ShiftState shift, int x, int y) = 0;
    virtual void DoClick() = 0;
    virtual void DoDblClick() = 0;
};

struct PaintPlan {
    const ui::Bitmap* image = nullptr;  // null: nothing is drawn
    ui::Point origin;                   // top-left corner in the button's coordinates
};

class MultiButtonBehaviour {
  public:
    MultiButtonBehaviour(MultiButtonSite& site, WavePlayer& player);

    // Input, as the hosting window delivers it (coordinates in the button's own). A double
    // click arrives as a press with ssDouble and then a release.
    void MouseDown(ui::MouseButton button, ui::ShiftState shift, int x, int y);
    void MouseMove(ui::ShiftState shift, int x, int y);
    void MouseUp(ui::MouseButton button, ui::ShiftState shift, int x, int y);
    void MouseEnter();
    void MouseLeave();
    // A click: OnClick, then (once it has returned) the click sound.
    void Click();

    // What a paint request draws now.
    PaintPlan PaintImage() const;
    // A flat button does not count as opaque: its window paints its background beneath it.
    bool Opaque() const { return !flat_; }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Down() const { return down_; }
    // Stays false while GroupIndex is 0; refused while down unless AllowAllUp.
    void SetDown(bool value);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value);
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool value);
    bool Flat() const { return flat_; }
    void SetFlat(bool value);
    bool Tracking() const { return tracking_; }

    bool AutoSize() const { return autoSize_; }
    // True sizes the button to Glyph (Width, then Height); false leaves the size alone.
    void SetAutoSize(bool value);

    // Each image is an owned copy; an empty bitmap is no image. Setting one schedules a repaint.
    const ui::Bitmap& Glyph() const { return glyph_; }
    void SetGlyph(const ui::Bitmap& image);
    const ui::Bitmap& GlyphDown() const { return glyphDown_; }
    void SetGlyphDown(const ui::Bitmap& image);
    const ui::Bitmap& GlyphMouseOver() const { return glyphMouseOver_; }
    void SetGlyphMouseOver(const ui::Bitmap& image);
    const ui::Bitmap& GlyphDisable() const { return glyphDisable_; }
    void SetGlyphDisable(const ui::Bitmap& image);

    const std::string& WaveSoundClick() const { return waveSoundClick_; }
    void SetWaveSoundClick(const std::string& path) { waveSoundClick_ = path; }
    const std::string& WaveSoundDown() const { return waveSoundDown_; }
    void SetWaveSoundDown(const std::string& path) { waveSoundDown_ = path; }
    const std::string& WaveSoundOver() const { return waveSoundOver_; }
    void SetWaveSoundOver(const std::string& path) { waveSoundOver_ = path; }

    void SetPlayer(WavePlayer& player) { player_ = &player; }

  private:
    void Play(const std::string& path);
    // A flat, enabled button re-tests the pointer and handles enter or leave accordingly.
    void UpdateTracking();
    // Tells the group: the others take over AllowAllUp, and pop up when this one is down.
    void UpdateExclusive();
    void SetImage(ui::Bitmap& field, const ui::Bitmap& image);

    MultiButtonSite& site_;
    WavePlayer* player_;
    bool enabled_ = true;
    bool down_ = false;
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
    bool flat_ = false;
    bool tracking_ = false;
    bool trackedInside_ = false;  // while tracking: the pointer was inside at the last event
    bool autoSize_ = false;
    ui::Bitmap glyph_;
    ui::Bitmap glyphDown_;
    ui::Bitmap glyphMouseOver_;
    ui::Bitmap glyphDisable_;
    std::string waveSoundClick_;
    std::string waveSoundDown_;
    std::string waveSoundOver_;
};

}  // namespace components
