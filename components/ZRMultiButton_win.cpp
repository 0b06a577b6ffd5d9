#include "components/ZRMultiButton_win.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include "base/text.h"

namespace components {

namespace {

// sndPlaySoundA with SND_ASYNC (1): starts playing and returns at once.
class SndWavePlayer final : public WavePlayer {
  public:
    bool Play(const std::string& path) override {
        if (path.empty()) return false;
        const std::string ansi = pq::text::Utf8ToAnsi(path);
        // Only an existing file: a folder or a missing path would make the system play its
        // default sound instead.
        const DWORD attributes = GetFileAttributesA(ansi.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
        sndPlaySoundA(ansi.c_str(), SND_ASYNC);
        return true;
    }
};

}  // namespace

WavePlayer& SystemWavePlayer() {
    static SndWavePlayer player;
    return player;
}

TZRMultiButton::TZRMultiButton(ui::Component* owner)
    : ui::GraphicControl(owner), behaviour_(*this, SystemWavePlayer()) {
    // A speed button decides about its clicks itself, and covers its rectangle.
    SetClickOnRelease(false);
    SetOpaque(true);
    SetBounds(Left(), Top(), 48, 48);
}

TZRMultiButton::~TZRMultiButton() = default;

bool TZRMultiButton::IsMouseOver() const {
    ui::WinControl* parent = Parent();
    if (!parent || !parent->Handle()) return false;
    POINT cursor;
    if (!GetCursorPos(&cursor)) return false;
    const ui::Point client = parent->ScreenToClient({cursor.x, cursor.y});
    return parent->ControlAtPoint(client) == this;
}

void TZRMultiButton::SetFlat(bool value) {
    behaviour_.SetFlat(value);
    SetOpaque(behaviour_.Opaque());
}

void TZRMultiButton::SetEnabled(bool enabled) {
    // The toolkit's state first: the pointer-over test skips disabled controls.
    ui::GraphicControl::SetEnabled(enabled);
    behaviour_.SetEnabled(enabled);
}

void TZRMultiButton::Paint(ui::Canvas& canvas) {
    const PaintPlan plan = behaviour_.PaintImage();
    if (!plan.image) return;
    // Opaque, at the image's own size; the canvas clips to the button's rectangle.
    canvas.Draw(plan.origin.x, plan.origin.y, *plan.image);
}

void TZRMultiButton::MouseDown(ui::MouseButton button, ui::ShiftState shift, int x, int y) {
    behaviour_.MouseDown(button, shift, x, y);
}

void TZRMultiButton::MouseMove(ui::ShiftState shift, int x, int y) {
    behaviour_.MouseMove(shift, x, y);
}

void TZRMultiButton::MouseUp(ui::MouseButton button, ui::ShiftState shift, int x, int y) {
    behaviour_.MouseUp(button, shift, x, y);
}

void TZRMultiButton::MouseEnter() {
    behaviour_.MouseEnter();
}
void TZRMultiButton::MouseLeave() {
    behaviour_.MouseLeave();
}
void TZRMultiButton::Click() {
    behaviour_.Click();
}

void TZRMultiButton::SetSize(int width, int height) {
    SetWidth(width);
    SetHeight(height);
}

std::vector<MultiButtonBehaviour*> TZRMultiButton::Siblings() const {
    std::vector<MultiButtonBehaviour*> out;
    if (ui::WinControl* parent = Parent())
        for (ui::Control* c : parent->Controls())
            if (auto* b = dynamic_cast<TZRMultiButton*>(c); b && b != this)
                out.push_back(&b->behaviour_);
    return out;
}

void TZRMultiButton::DoMouseDown(ui::MouseButton button, ui::ShiftState shift, int x, int y) {
    ui::GraphicControl::MouseDown(button, shift, x, y);
}

void TZRMultiButton::DoMouseMove(ui::ShiftState shift, int x, int y) {
    ui::GraphicControl::MouseMove(shift, x, y);
}

void TZRMultiButton::DoMouseUp(ui::MouseButton button, ui::ShiftState shift, int x, int y) {
    ui::GraphicControl::MouseUp(button, shift, x, y);
}

void TZRMultiButton::DoClick() {
    ui::GraphicControl::Click();
}

void TZRMultiButton::DoDblClick() {
    if (OnDblClick) OnDblClick(*this);
}

}  // namespace components
