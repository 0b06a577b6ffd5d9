// TZRMultiButton in a real window: mouse messages, the real cursor, the toolkit's enter and
// leave notifications, and the pixels on the window's surface in each state.
#include "components/ZRMultiButton_win.h"

#include <gtest/gtest.h>

#include "tests/components/win_test_support.h"
#include "ui/canvas.h"
#include "ui/std_controls.h"

namespace components {
namespace {

using namespace components::testing;

constexpr ui::Color kNormal = ui::Rgb(200, 0, 0);
constexpr ui::Color kDown = ui::Rgb(0, 160, 0);
constexpr ui::Color kOver = ui::Rgb(230, 230, 0);
constexpr ui::Color kDisabled = ui::Rgb(160, 0, 160);
constexpr ui::Color kBeneath = ui::Rgb(0, 0, 170);

class Recorder : public WavePlayer {
  public:
    bool Play(const std::string& path) override {
        played.push_back(path);
        return true;
    }
    std::vector<std::string> played;
};

class MultiButtonWin : public ::testing::Test {
  protected:
    void SetUp() override {
        MultiButtonHeld = false;
        form = MakeForm();
        background = ui::ColorToRgb(form->GetColor());
    }
    void TearDown() override {
        delete form;
        Pump();
    }

    // A 129 x 51 button at (left, top) with one solid colour per image.
    TZRMultiButton* AddButton(int left, int top, bool withDisabled = false) {
        auto* b = new TZRMultiButton(form);
        b->SetParent(form);
        b->SetBounds(left, top, 129, 51);
        b->SetGlyph(Solid(129, 51, kNormal));
        b->SetGlyphDown(Solid(129, 51, kDown));
        b->SetGlyphMouseOver(Solid(129, 51, kOver));
        if (withDisabled) b->SetGlyphDisable(Solid(129, 51, kDisabled));
        b->SetWaveSoundDown("press.wav");
        b->SetWaveSoundOver("over.wav");
        b->SetWaveSoundClick("click.wav");
        b->SetWavePlayer(recorder);
        b->OnClick = [this](ui::Object&) { ++clicks; };
        form->Repaint();
        Pump();
        return b;
    }

    TestForm* form = nullptr;
    ui::Color background = 0;
    Recorder recorder;
    int clicks = 0;
};

TEST_F(MultiButtonWin, EachStateShowsItsImageAndOnlyAReleaseInsideClicks) {
    TZRMultiButton* b = AddButton(20, 30);
    EXPECT_TRUE(b->IsSpeedButton());
    PointerTo(*form, 300, 230);
    EXPECT_EQ(PixelAt(*form, 84, 55), kNormal);
    EXPECT_FALSE(b->IsMouseOver());

    PointerTo(*form, 84, 55);
    EXPECT_TRUE(b->IsMouseOver());
    EXPECT_EQ(PixelAt(*form, 84, 55), kOver);
    EXPECT_EQ(PixelAt(*form, 20, 30), kOver);
    EXPECT_EQ(PixelAt(*form, 148, 80), kOver);
    EXPECT_EQ(PixelAt(*form, 19, 30), background);
    EXPECT_EQ(PixelAt(*form, 149, 80), background);

    Send(*form, WM_LBUTTONDOWN, MK_LBUTTON, 84, 55);
    EXPECT_TRUE(MultiButtonHeld);
    EXPECT_EQ(PixelAt(*form, 84, 55), kDown);

    PointerTo(*form, 300, 230, MK_LBUTTON);  // dragged out, still held
    EXPECT_EQ(PixelAt(*form, 84, 55), kNormal);
    PointerTo(*form, 100, 60, MK_LBUTTON);  // and back in
    EXPECT_EQ(PixelAt(*form, 84, 55), kDown);

    Send(*form, WM_LBUTTONUP, 0, 100, 60);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(MultiButtonHeld);
    EXPECT_EQ(PixelAt(*form, 84, 55), kOver);

    // Pressed, dragged out and released outside: no click, the normal image.
    Send(*form, WM_LBUTTONDOWN, MK_LBUTTON, 84, 55);
    PointerTo(*form, 300, 230, MK_LBUTTON);
    Send(*form, WM_LBUTTONUP, 0, 300, 230);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(PixelAt(*form, 84, 55), kNormal);
    EXPECT_EQ(recorder.played, (std::vector<std::string>{"over.wav", "press.wav", "press.wav",
                                                         "click.wav", "press.wav"}));
}

TEST_F(MultiButtonWin, TheClickHandlerRunsWhileStillHeldAndTheClickSoundFollowsIt) {
    TZRMultiButton* b = AddButton(20, 30);
    ui::Color duringClick = 0;
    size_t soundsDuringClick = 99;
    b->OnClick = [&](ui::Object&) {
        b->Repaint();
        duringClick = PixelAt(*form, 84, 55);
        soundsDuringClick = recorder.played.size();
        ++clicks;
    };
    PointerTo(*form, 84, 55);
    Send(*form, WM_LBUTTONDOWN, MK_LBUTTON, 84, 55);
    Send(*form, WM_LBUTTONUP, 0, 84, 55);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(duringClick, kDown);
    EXPECT_EQ(soundsDuringClick, 2u);  // over, press
    EXPECT_EQ(recorder.played.back(), "click.wav");
}

TEST_F(MultiButtonWin, ARightPressPlaysThePressSoundOnlyAndNeverClicks) {
    AddButton(20, 30);
    PointerTo(*form, 84, 55);
    recorder.played.clear();
    Send(*form, WM_RBUTTONDOWN, MK_RBUTTON, 84, 55);
    EXPECT_FALSE(MultiButtonHeld);
    EXPECT_EQ(PixelAt(*form, 84, 55), kOver);
    Send(*form, WM_RBUTTONUP, 0, 84, 55);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(recorder.played, (std::vector<std::string>{"press.wav"}));
    EXPECT_EQ(PixelAt(*form, 84, 55), kOver);
}

TEST_F(MultiButtonWin, TheHeldFlagIsSharedAcrossButtons) {
    TZRMultiButton* a = AddButton(20, 30);
    TZRMultiButton* b = AddButton(20, 120);
    PointerTo(*form, 84, 55);
    Send(*form, WM_LBUTTONDOWN, MK_LBUTTON, 84, 55);
    // Held on A, the pointer goes over B: B painted now shows its pressed image.
    PointerTo(*form, 84, 145, MK_LBUTTON);
    EXPECT_TRUE(b->IsMouseOver());
    b->Repaint();
    EXPECT_EQ(PixelAt(*form, 84, 145), kDown);
    EXPECT_EQ(PixelAt(*form, 84, 55), kNormal);
    Send(*form, WM_LBUTTONUP, 0, 84, 145);  // reaches A, which holds the capture
    EXPECT_FALSE(MultiButtonHeld);
    EXPECT_EQ(clicks, 0);
    b->Repaint();
    EXPECT_EQ(PixelAt(*form, 84, 145), kOver);
    EXPECT_FALSE(a->Behaviour().Tracking());
}

TEST_F(MultiButtonWin, ADisabledButtonShowsItsDisabledImageOrNothing) {
    // A picture beneath the second button shows through when it draws nothing.
    auto* beneath = new ui::TImage(form);
    beneath->SetParent(form);
    beneath->SetBounds(20, 120, 129, 51);
    beneath->SetPicture(Solid(129, 51, kBeneath));
    TZRMultiButton* with = AddButton(20, 30, true);
    TZRMultiButton* without = AddButton(20, 120);
    recorder.played.clear();
    with->SetEnabled(false);
    EXPECT_EQ(PixelAt(*form, 84, 55), kDisabled);
    without->SetEnabled(false);
    form->Repaint();
    Pump();
    EXPECT_EQ(PixelAt(*form, 84, 145), kBeneath);
    // The pointer over them, a press: nothing changes, nothing plays, nothing clicks.
    PointerTo(*form, 84, 55);
    Send(*form, WM_LBUTTONDOWN, MK_LBUTTON, 84, 55);
    Send(*form, WM_LBUTTONUP, 0, 84, 55);
    PointerTo(*form, 84, 145);
    EXPECT_EQ(PixelAt(*form, 84, 55), kDisabled);
    EXPECT_EQ(PixelAt(*form, 84, 145), kBeneath);
    EXPECT_TRUE(recorder.played.empty());
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(MultiButtonHeld);
    with->SetEnabled(true);
    EXPECT_EQ(PixelAt(*form, 84, 55), kNormal) << "the pointer is over the other button";
}

TEST_F(MultiButtonWin, ALargerImageIsCentredAndCroppedOnASmallButton) {
    // Glyph pixel (x, y) has its own colour, so the drawn offset can be read back.
    ui::Bitmap glyph(129, 51, 24);
    for (int y = 0; y < 51; ++y)
        for (int x = 0; x < 129; ++x) glyph.SetPixel(x, y, ui::Rgb(x * 2, y * 5, 77));
    auto* b = new TZRMultiButton(form);
    b->SetParent(form);
    EXPECT_EQ(b->Width(), 48);
    EXPECT_EQ(b->Height(), 48);
    b->SetLeft(200);
    b->SetTop(100);
    b->SetGlyph(glyph);
    form->Repaint();
    PointerTo(*form, 10, 10);
    for (auto [bx, by] : {std::pair{0, 0}, {47, 0}, {0, 47}, {47, 47}, {24, 24}})
        EXPECT_EQ(PixelAt(*form, 200 + bx, 100 + by), glyph.GetPixel(40 + bx, 1 + by))
            << bx << "," << by;
    EXPECT_EQ(PixelAt(*form, 199, 120), background);
    EXPECT_EQ(PixelAt(*form, 248, 120), background);
    EXPECT_EQ(PixelAt(*form, 220, 99), background);
    EXPECT_EQ(PixelAt(*form, 220, 148), background);
}

}  // namespace
}  // namespace components
