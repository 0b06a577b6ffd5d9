// The multi-state button's behaviour without a window: event sequences against a recording
// site. Each immediate repaint records the image it would show at that moment, so the logs
// read like what the user sees and hears.
#include "components/ZRMultiButton.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace components {
namespace {

using Log = std::vector<std::string>;

const char* ImageName(ButtonImage image) {
    switch (image) {
        case ButtonImage::Glyph:
            return "Glyph";
        case ButtonImage::GlyphDown:
            return "GlyphDown";
        case ButtonImage::GlyphMouseOver:
            return "GlyphMouseOver";
        case ButtonImage::GlyphDisable:
            return "GlyphDisable";
    }
    return "?";
}

class RecordingPlayer : public WavePlayer {
  public:
    RecordingPlayer(Log& log, std::string prefix) : log_(log), prefix_(std::move(prefix)) {}
    bool Play(const std::string& path) override {
        log_.push_back(prefix_ + "sound " + path);
        return true;
    }

  private:
    Log& log_;
    std::string prefix_;
};

// One button on a fake parent window. Events are logged with the button's name when the test
// has more than one button.
class Button : public MultiButtonSite {
  public:
    Button(Log& log, std::string prefix = "")
        : log_(log), prefix_(prefix), player_(log, prefix), behaviour(*this, player_) {
        behaviour.SetWaveSoundOver("over.wav");
        behaviour.SetWaveSoundDown("down.wav");
        behaviour.SetWaveSoundClick("click.wav");
    }

    int Width() const override { return width; }
    int Height() const override { return height; }
    void SetSize(int w, int h) override {
        width = w;
        height = h;
        Add("size " + std::to_string(w) + "x" + std::to_string(h));
    }
    bool IsMouseOver() const override { return over; }
    void RepaintNow() override { Add(std::string("paint ") + ShownImage()); }
    void ScheduleRepaint() override { Add("invalidate"); }
    std::vector<MultiButtonBehaviour*> Siblings() const override { return siblings; }
    void DoMouseDown(ui::MouseButton b, ui::ShiftState s, int x, int y) override {
        Add(std::string("OnMouseDown ") + (b == ui::mbLeft ? "L" : "R") +
            (s & ui::ssDouble ? " double " : " ") + std::to_string(x) + "," + std::to_string(y));
    }
    void DoMouseMove(ui::ShiftState, int x, int y) override {
        Add("OnMouseMove " + std::to_string(x) + "," + std::to_string(y));
    }
    void DoMouseUp(ui::MouseButton b, ui::ShiftState, int x, int y) override {
        Add(std::string("OnMouseUp ") + (b == ui::mbLeft ? "L" : "R") + " " + std::to_string(x) +
            "," + std::to_string(y));
    }
    void DoClick() override {
        Add("OnClick");
        if (onClick) onClick();
    }
    void DoDblClick() override { Add("OnDblClick"); }

    const char* ShownImage() const {
        return ImageName(ChooseImage(behaviour.Enabled(), behaviour.Down(), over, MultiButtonHeld));
    }
    void Add(const std::string& s) { log_.push_back(prefix_ + s); }

    int width = 48, height = 48;
    bool over = false;
    std::vector<MultiButtonBehaviour*> siblings;
    std::function<void()> onClick;

  private:
    Log& log_;
    std::string prefix_;
    RecordingPlayer player_;

  public:
    MultiButtonBehaviour behaviour;
};

// The input a step delivers. Pointer moves also set whether the pointer is over the button,
// as the window's topmost-control test would answer.
struct Step {
    enum Op { Enter, Leave, PressLeft, PressRight, DoubleLeft, Move, ReleaseLeft, ReleaseRight };
    Op op;
    int x = 0, y = 0;
    Log expected;
};

class MultiButtonTest : public ::testing::Test {
  protected:
    void SetUp() override { MultiButtonHeld = false; }
    void TearDown() override { MultiButtonHeld = false; }

    void Run(Button& b, const std::vector<Step>& steps) {
        for (size_t i = 0; i < steps.size(); ++i) {
            const Step& s = steps[i];
            log.clear();
            b.over = b.width > s.x && s.x >= 0 && b.height > s.y && s.y >= 0;
            auto& m = b.behaviour;
            switch (s.op) {
                case Step::Enter:
                    b.over = true;
                    m.MouseEnter();
                    break;
                case Step::Leave:
                    b.over = false;
                    m.MouseLeave();
                    break;
                case Step::PressLeft:
                    m.MouseDown(ui::mbLeft, ui::ssLeft, s.x, s.y);
                    break;
                case Step::PressRight:
                    m.MouseDown(ui::mbRight, ui::ssRight, s.x, s.y);
                    break;
                case Step::DoubleLeft:
                    m.MouseDown(ui::mbLeft, ui::ssLeft | ui::ssDouble, s.x, s.y);
                    break;
                case Step::Move:
                    m.MouseMove(ui::ssLeft, s.x, s.y);
                    break;
                case Step::ReleaseLeft:
                    m.MouseUp(ui::mbLeft, 0, s.x, s.y);
                    break;
                case Step::ReleaseRight:
                    m.MouseUp(ui::mbRight, 0, s.x, s.y);
                    break;
            }
            EXPECT_EQ(log, s.expected) << "step " << i;
        }
    }

    Log log;
};

TEST(MultiButtonImage, ChoiceFollowsEnabledDownOverAndHeld) {
    struct Case {
        bool enabled, down, over, held;
        ButtonImage expected;
    };
    const Case cases[] = {
        {false, true, true, true, ButtonImage::GlyphDisable},
        {false, false, false, false, ButtonImage::GlyphDisable},
        {true, true, false, false, ButtonImage::GlyphDown},
        {true, true, true, false, ButtonImage::GlyphDown},
        {true, false, true, true, ButtonImage::GlyphDown},
        {true, false, false, true, ButtonImage::Glyph},
        {true, false, true, false, ButtonImage::GlyphMouseOver},
        {true, false, false, false, ButtonImage::Glyph},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseImage(c.enabled, c.down, c.over, c.held), c.expected)
            << c.enabled << c.down << c.over << c.held;
}

TEST(MultiButtonImage, OriginCentresAndCropsTruncatingTowardZero) {
    EXPECT_EQ(ImageOrigin(48, 48, 129, 51), (ui::Point{-40, -1}));
    EXPECT_EQ(ImageOrigin(129, 51, 129, 51), (ui::Point{0, 0}));
    EXPECT_EQ(ImageOrigin(48, 48, 10, 11), (ui::Point{19, 18}));
    EXPECT_EQ(ImageOrigin(48, 48, 49, 50), (ui::Point{0, -1}));
    EXPECT_EQ(ImageOrigin(0, 0, 3, 3), (ui::Point{-1, -1}));
}

TEST_F(MultiButtonTest, PressDragOutAndBackThenReleaseInsideClicks) {
    Button b(log);
    b.onClick = [&] { EXPECT_TRUE(MultiButtonHeld); };
    Run(b, {
               {Step::Enter, 5, 5, {"sound over.wav", "paint GlyphMouseOver"}},
               {Step::PressLeft,
                5,
                5,
                {"OnMouseDown L 5,5", "invalidate", "paint GlyphDown", "sound down.wav"}},
               {Step::Move, 47, 47, {"OnMouseMove 47,47"}},
               {Step::Move, 48, 20, {"OnMouseMove 48,20", "invalidate"}},
               {Step::Leave, 48, 20, {"paint Glyph"}},
               {Step::Move, 60, 20, {"OnMouseMove 60,20"}},
               {Step::Move, 10, 20, {"OnMouseMove 10,20", "invalidate"}},
               {Step::Enter, 10, 20, {"sound down.wav", "paint GlyphDown"}},
               {Step::ReleaseLeft,
                10,
                20,
                {"OnMouseUp L 10,20", "invalidate", "OnClick", "sound click.wav",
                 "paint GlyphMouseOver"}},
           });
    EXPECT_FALSE(MultiButtonHeld);
    EXPECT_FALSE(b.behaviour.Tracking());
}

TEST_F(MultiButtonTest, ReleaseOutsideRunsNothingAndShowsTheNormalImage) {
    Button b(log);
    Run(b, {
               {Step::PressLeft,
                0,
                47,
                {"OnMouseDown L 0,47", "invalidate", "paint GlyphDown", "sound down.wav"}},
               {Step::Move, -1, 47, {"OnMouseMove -1,47", "invalidate"}},
               {Step::ReleaseLeft, -1, 47, {"OnMouseUp L -1,47", "paint Glyph"}},
               {Step::ReleaseLeft, 5, 5, {"OnMouseUp L 5,5", "paint GlyphMouseOver"}},
           });
}

TEST_F(MultiButtonTest, ReleaseOnTheFarEdgeIsOutside) {
    Button b(log);
    b.behaviour.MouseDown(ui::mbLeft, ui::ssLeft, 3, 3);
    log.clear();
    b.behaviour.MouseUp(ui::mbLeft, 0, 3, 48);
    EXPECT_EQ(log, (Log{"OnMouseUp L 3,48", "paint Glyph"}));
}

TEST_F(MultiButtonTest, RightPressPlaysThePressSoundOnlyAndNeverClicks) {
    Button b(log);
    Run(b, {
               {Step::PressRight, 5, 5, {"OnMouseDown R 5,5", "sound down.wav"}},
               {Step::Move, 6, 6, {"OnMouseMove 6,6"}},
               {Step::ReleaseRight, 6, 6, {"OnMouseUp R 6,6", "paint GlyphMouseOver"}},
           });
    b.behaviour.MouseDown(ui::mbRight, ui::ssRight, 5, 5);
    EXPECT_FALSE(MultiButtonHeld);
    EXPECT_FALSE(b.behaviour.Tracking());
    EXPECT_STREQ(b.ShownImage(), "GlyphMouseOver");
}

TEST_F(MultiButtonTest, ADisabledButtonIgnoresThePointerAndDrawsItsDisabledImage) {
    Button b(log);
    b.behaviour.SetEnabled(false);
    EXPECT_EQ(log, (Log{"paint GlyphDisable"}));
    Run(b, {
               {Step::Enter, 5, 5, {}},
               {Step::PressLeft, 5, 5, {}},
               {Step::Leave, 60, 5, {}},
           });
    EXPECT_FALSE(MultiButtonHeld);
    log.clear();
    b.behaviour.SetEnabled(false);
    EXPECT_TRUE(log.empty());
    b.behaviour.SetEnabled(true);
    EXPECT_EQ(log, (Log{"paint Glyph"}));
}

TEST_F(MultiButtonTest, ADownButtonKeepsItsDownImageAndEntersSilently) {
    Button b(log);
    b.behaviour.SetGroupIndex(1);
    b.behaviour.SetDown(true);
    Run(b, {
               {Step::Enter, 5, 5, {"paint GlyphDown"}},
               {Step::PressLeft, 5, 5, {"OnMouseDown L 5,5", "paint GlyphDown", "sound down.wav"}},
               {Step::Move, 70, 5, {"OnMouseMove 70,5"}},
               {Step::Leave, 70, 5, {"paint GlyphDown"}},
               {Step::Move, 5, 5, {"OnMouseMove 5,5"}},
           });
}

TEST_F(MultiButtonTest, TheClickSoundFollowsTheHandlerWhichStillSeesThePressedImage) {
    Button b(log);
    b.over = true;
    b.onClick = [&] {
        // A repaint inside the handler (a modal window opening, say) shows GlyphDown.
        b.RepaintNow();
        b.Add("handler returns");
    };
    b.behaviour.MouseDown(ui::mbLeft, ui::ssLeft, 1, 1);
    log.clear();
    b.behaviour.MouseUp(ui::mbLeft, 0, 1, 1);
    EXPECT_EQ(log, (Log{"OnMouseUp L 1,1", "invalidate", "OnClick", "paint GlyphDown",
                        "handler returns", "sound click.wav", "paint GlyphMouseOver"}));
}

TEST_F(MultiButtonTest, EmptySoundPathsPlayNothing) {
    Button b(log);
    b.behaviour.SetWaveSoundOver("");
    b.behaviour.SetWaveSoundDown("");
    b.behaviour.SetWaveSoundClick("");
    Run(b, {
               {Step::Enter, 5, 5, {"paint GlyphMouseOver"}},
               {Step::PressLeft, 5, 5, {"OnMouseDown L 5,5", "invalidate", "paint GlyphDown"}},
               {Step::ReleaseLeft,
                5,
                5,
                {"OnMouseUp L 5,5", "invalidate", "OnClick", "paint GlyphMouseOver"}},
           });
}

TEST_F(MultiButtonTest, TheHeldFlagIsSharedByEveryButton) {
    Button a(log, "A: "), b(log, "B: ");
    a.over = true;
    a.behaviour.MouseDown(ui::mbLeft, ui::ssLeft, 5, 5);
    EXPECT_TRUE(MultiButtonHeld);
    // The pointer, still held, reaches the other button.
    a.over = false;
    b.over = true;
    EXPECT_STREQ(b.ShownImage(), "GlyphDown");
    log.clear();
    b.behaviour.MouseEnter();
    EXPECT_EQ(log, (Log{"B: sound down.wav", "B: paint GlyphDown"}));
    // Any release on any button clears it, even one that was never pressed.
    log.clear();
    b.behaviour.MouseUp(ui::mbLeft, 0, 5, 5);
    EXPECT_EQ(log, (Log{"B: OnMouseUp L 5,5", "B: paint GlyphMouseOver"}));
    EXPECT_FALSE(MultiButtonHeld);
    EXPECT_TRUE(a.behaviour.Tracking());
}

class MultiButtonGroupTest : public MultiButtonTest {
  protected:
    MultiButtonGroupTest() : a(log, "A: "), b(log, "B: "), c(log, "C: "), other(log, "X: ") {
        for (Button* x : {&a, &b, &c}) {
            for (Button* y : {&a, &b, &c})
                if (x != y) x->siblings.push_back(&y->behaviour);
            x->behaviour.SetGroupIndex(1);
        }
        other.behaviour.SetGroupIndex(1);  // same group number, another parent
        other.behaviour.SetDown(true);
        log.clear();
    }
    Button a, b, c, other;
};

TEST_F(MultiButtonGroupTest, DownOnlyWithinAGroup) {
    Button lone(log);
    lone.behaviour.SetDown(true);
    EXPECT_FALSE(lone.behaviour.Down());
    EXPECT_TRUE(log.empty());
    lone.behaviour.SetGroupIndex(2);
    lone.behaviour.SetDown(true);
    EXPECT_TRUE(lone.behaviour.Down());
    lone.behaviour.SetGroupIndex(0);
    EXPECT_FALSE(lone.behaviour.Down());
}

TEST_F(MultiButtonGroupTest, ADownButtonPopsTheOthersUpInItsParentOnly) {
    a.behaviour.SetDown(true);
    EXPECT_EQ(log, (Log{"A: invalidate"}));
    log.clear();
    b.behaviour.SetDown(true);
    EXPECT_EQ(log, (Log{"B: invalidate", "A: invalidate"}));
    EXPECT_FALSE(a.behaviour.Down());
    EXPECT_TRUE(b.behaviour.Down());
    EXPECT_FALSE(c.behaviour.Down());
    EXPECT_TRUE(other.behaviour.Down());
}

TEST_F(MultiButtonGroupTest, UpIsRefusedUnlessAllowAllUpWhichTheGroupShares) {
    b.behaviour.SetDown(true);
    b.behaviour.SetDown(false);
    EXPECT_TRUE(b.behaviour.Down());
    c.behaviour.SetAllowAllUp(true);
    EXPECT_TRUE(a.behaviour.AllowAllUp());
    EXPECT_TRUE(b.behaviour.AllowAllUp());
    EXPECT_FALSE(other.behaviour.AllowAllUp());
    EXPECT_TRUE(b.behaviour.Down()) << "c is up: nobody pops";
    b.behaviour.SetDown(false);
    EXPECT_FALSE(b.behaviour.Down());
}

TEST_F(MultiButtonGroupTest, AClickTogglesDownAReleaseOutsideDoesNot) {
    c.over = true;
    c.behaviour.MouseDown(ui::mbLeft, ui::ssLeft, 5, 5);
    c.behaviour.MouseUp(ui::mbLeft, 0, 5, 5);
    EXPECT_TRUE(c.behaviour.Down());
    c.behaviour.MouseDown(ui::mbLeft, ui::ssLeft, 5, 5);
    c.behaviour.MouseUp(ui::mbLeft, 0, 5, 5);
    EXPECT_TRUE(c.behaviour.Down()) << "no AllowAllUp: stays down";
    c.behaviour.SetAllowAllUp(true);
    c.behaviour.MouseDown(ui::mbLeft, ui::ssLeft, 5, 5);
    c.behaviour.MouseUp(ui::mbLeft, 0, 90, 5);
    EXPECT_TRUE(c.behaviour.Down()) << "released outside";
    c.behaviour.MouseDown(ui::mbLeft, ui::ssLeft, 5, 5);
    c.behaviour.MouseUp(ui::mbLeft, 0, 5, 5);
    EXPECT_FALSE(c.behaviour.Down());
}

TEST_F(MultiButtonGroupTest, DoubleClickRunsOnDblClickOnlyWhenDown) {
    a.over = true;
    a.behaviour.MouseDown(ui::mbLeft, ui::ssLeft | ui::ssDouble, 5, 5);
    a.behaviour.MouseUp(ui::mbLeft, 0, 5, 5);
    EXPECT_EQ(std::count(log.begin(), log.end(), "A: OnDblClick"), 0);
    EXPECT_TRUE(a.behaviour.Down()) << "the double click's release is a click";
    log.clear();
    Run(a, {
               {Step::DoubleLeft,
                5,
                5,
                {"A: OnMouseDown L double 5,5", "A: paint GlyphDown", "A: sound down.wav",
                 "A: OnDblClick"}},
               {Step::ReleaseLeft,
                5,
                5,
                {"A: OnMouseUp L 5,5", "A: OnClick", "A: sound click.wav", "A: paint GlyphDown"}},
           });
}

TEST_F(MultiButtonTest, AFlatButtonRetestsThePointerAfterReleaseAndEnabledChanges) {
    Button b(log);
    b.behaviour.SetFlat(true);
    EXPECT_FALSE(b.behaviour.Opaque());
    b.over = true;
    b.behaviour.MouseDown(ui::mbLeft, ui::ssLeft, 5, 5);
    log.clear();
    // Still held while the release is handled: the enter notification plays the press sound.
    b.behaviour.MouseUp(ui::mbLeft, 0, 5, 5);
    EXPECT_EQ(log, (Log{"OnMouseUp L 5,5", "invalidate", "OnClick", "sound click.wav",
                        "sound down.wav", "paint GlyphDown", "paint GlyphMouseOver"}));
    b.behaviour.MouseDown(ui::mbLeft, ui::ssLeft, 5, 5);
    b.over = false;
    log.clear();
    b.behaviour.MouseUp(ui::mbLeft, 0, 60, 5);
    EXPECT_EQ(log, (Log{"OnMouseUp L 60,5", "paint Glyph", "paint Glyph"}));
    // Enabled changes.
    b.over = true;
    log.clear();
    b.behaviour.SetEnabled(false);
    EXPECT_EQ(log, (Log{"paint GlyphDisable"}));
    log.clear();
    b.behaviour.SetEnabled(true);
    EXPECT_EQ(log, (Log{"sound over.wav", "paint GlyphMouseOver", "paint GlyphMouseOver"}));
    // An opaque button does neither.
    b.behaviour.SetFlat(false);
    EXPECT_TRUE(b.behaviour.Opaque());
    log.clear();
    b.behaviour.SetEnabled(false);
    b.behaviour.SetEnabled(true);
    EXPECT_EQ(log, (Log{"paint GlyphDisable", "paint GlyphMouseOver"}));
}

ui::Bitmap Image(int w, int h) {
    return ui::Bitmap(w, h, 24);
}

TEST_F(MultiButtonTest, PaintDrawsTheChosenImageCentredOrNothingWhenItIsEmpty) {
    Button b(log);
    auto& m = b.behaviour;
    m.SetGlyph(Image(129, 51));
    m.SetGlyphMouseOver(Image(20, 10));
    m.SetGlyphDown(Image(48, 48));
    PaintPlan p = m.PaintImage();
    ASSERT_EQ(p.image, &m.Glyph());
    EXPECT_EQ(p.origin, (ui::Point{-40, -1}));
    b.over = true;
    p = m.PaintImage();
    ASSERT_EQ(p.image, &m.GlyphMouseOver());
    EXPECT_EQ(p.origin, (ui::Point{14, 19}));
    MultiButtonHeld = true;
    EXPECT_EQ(m.PaintImage().image, &m.GlyphDown());
    m.SetEnabled(false);
    EXPECT_EQ(m.PaintImage().image, nullptr) << "no disabled image: nothing drawn";
    m.SetGlyphDisable(Image(1, 1));
    EXPECT_EQ(m.PaintImage().image, &m.GlyphDisable());
    m.SetGlyphDisable(ui::Bitmap());
    EXPECT_EQ(m.PaintImage().image, nullptr);
}

TEST_F(MultiButtonTest, ImagesAreOwnedCopiesAndSettingOneRepaints) {
    Button b(log);
    ui::Bitmap source = Image(3, 2);
    b.behaviour.SetGlyph(source);
    EXPECT_EQ(log, (Log{"invalidate"}));
    source = Image(7, 7);
    EXPECT_EQ(b.behaviour.Glyph().Width(), 3);
}

TEST_F(MultiButtonTest, AutoSizeSizesToTheGlyphOnlyWhenSetTrue) {
    Button b(log);
    b.behaviour.SetAutoSize(true);
    EXPECT_EQ(log, (Log{"size 0x0"}));
    b.behaviour.SetGlyph(Image(129, 51));
    EXPECT_EQ(b.width, 0) << "a later glyph does not resize";
    log.clear();
    b.behaviour.SetAutoSize(false);
    EXPECT_TRUE(log.empty());
    b.behaviour.SetAutoSize(true);
    EXPECT_EQ(log, (Log{"size 129x51"}));
    EXPECT_TRUE(b.behaviour.AutoSize());
}

}  // namespace
}  // namespace components
