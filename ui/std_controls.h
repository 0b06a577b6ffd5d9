// The standard controls that form definitions use: TLabel and TImage (windowless), TButton,
// TMemo and TProgressBar (system windows: BUTTON, EDIT, msctls_progress32). Windows only.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <vector>

#include "ui/bitmap.h"
#include "ui/control.h"
#include "ui/form_loader.h"
#include "ui/progress_pacing.h"
#include "ui/scoped_win.h"

namespace ui {

// Text on the parent's surface, in the parent's font, on the parent's colour unless
// Transparent. AutoSize fits the control to its caption (the width too unless WordWrap); '&'
// marks a mnemonic ("&&" is an ampersand).
class TLabel : public GraphicControl {
  public:
    explicit TLabel(Component* owner);
    const char* ClassName() const override { return "TLabel"; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on);
    void Paint(Canvas& canvas) override;
    void Loaded() override { AdjustBounds(); }

  protected:
    void CaptionChanged() override;

  private:
    void AdjustBounds();
    bool autoSize_ = true;
    bool wordWrap_ = false;
    bool transparent_ = false;
};

// A picture drawn at its own size from the control's top-left corner: a bitmap or an icon.
class TImage : public GraphicControl {
  public:
    explicit TImage(Component* owner);
    const char* ClassName() const override { return "TImage"; }
    const Bitmap& Picture() const { return picture_; }
    void SetPicture(const Bitmap& bitmap);
    // Bytes of a .bmp or .ico file (decided by the content).
    void LoadPicture(std::span<const uint8_t> bytes);
    void Paint(Canvas& canvas) override;

  protected:
    void BoundsChanged(const Rect& old) override;

  private:
    void UpdateOpaque();
    Bitmap picture_;
    ScopedIcon icon_;
    int iconWidth_ = 0;
    int iconHeight_ = 0;
};

// A push button. Pressing it sets its form's ModalResult to its own before OnClick runs.
// Default: Enter presses it (unless another button has the focus); Cancel: Esc presses it.
class TButton : public WinControl {
  public:
    explicit TButton(Component* owner);
    ~TButton() override;
    const char* ClassName() const override { return "TButton"; }
    ModalResult GetModalResult() const { return modalResult_; }
    void SetModalResult(ModalResult r) { modalResult_ = r; }
    bool Default() const { return default_; }
    void SetDefault(bool on);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool on);
    void Click() override;
    bool Notify(Message& message) override;
    void SetParent(WinControl* parent) override;
    // Shows the default-button frame (BS_DEFPUSHBUTTON).
    void ShowDefaultFrame(bool on);

  private:
    ModalResult modalResult_ = mrNone;
    bool default_ = false;
    bool cancel_ = false;
};

// Multi-line text (EDIT). Lines are kept as given; the text shows scrolled to its top.
class TMemo : public WinControl {
  public:
    explicit TMemo(Component* owner);
    const char* ClassName() const override { return "TMemo"; }
    const std::vector<std::string>& Lines() const { return lines_; }
    void SetLines(std::vector<std::string> lines);
    std::string Text() const;
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on);
    ScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(ScrollStyle s);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    // The first line shown (0: scrolled to the top).
    int FirstVisibleLine() const;
    bool Notify(Message& message) override;

  private:
    void Recreate();
    std::vector<std::string> lines_;
    bool readOnly_ = false;
    bool wordWrap_ = true;
    ScrollStyle scrollBars_ = ScrollStyle::ssNone;
    ScopedBrush brush_;
    Color brushColor_ = clNone;
};

// A progress bar. Position is kept within [Min, Max].
class TProgressBar : public WinControl {
  public:
    explicit TProgressBar(Component* owner);
    const char* ClassName() const override { return "TProgressBar"; }
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void SetMin(int v);
    void SetMax(int v);
    void SetPosition(int v);
    void StepBy(int delta) { SetPosition(position_ + delta); }
    void WndProc(Message& m) override;

  private:
    void Apply();
    int Filled() const;  // pixels of the position, in the bar as it is now
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    ProgressPacing pacing_;      // when the native bar is told the position
    bool catchUpTimer_ = false;  // a timer will show a held-back position
};

// Registers TForm (properties of forms), TControl/TGraphicControl/TWinControl (properties for
// other kinds to inherit) and the kinds above. Called by the Application constructor; calling it
// again does nothing.
void RegisterStandardKinds(KindRegistry& kinds);

}  // namespace ui
