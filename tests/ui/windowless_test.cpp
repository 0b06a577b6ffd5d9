// Windowless controls under Wine, driven by real window messages: mouse routing, capture,
// pointer enter and leave, z-order, painting.
#include <windows.h>

#include "tests/ui/ui_test_support.h"

namespace ui::test {
namespace {

const char kProbes[] = R"(object TestForm: TTestForm
  BorderStyle = bsNone
  Left = 100
  Top = 100
  ClientWidth = 300
  ClientHeight = 200
  Color = clWhite
  object Bottom: TProbe
    Left = 10
    Top = 10
    Width = 100
    Height = 50
    Color = clRed
    OnClick = ProbeClick
  end
  object Upper: TProbe
    Left = 60
    Top = 30
    Width = 100
    Height = 50
    Color = clBlue
    OnClick = ProbeClick
  end
  object Lone: TProbe
    Left = 200
    Top = 120
    Width = 60
    Height = 40
    Color = clLime
    OnClick = ProbeClick
  end
end
)";

// The log without pointer moves (SetCursorPos makes the system send WM_MOUSEMOVE too).
std::vector<std::string> EnterLeaveLog() {
    std::vector<std::string> out;
    for (const auto& e : Log())
        if (e.find(" move ") == std::string::npos) out.push_back(e);
    return out;
}

class WindowlessTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        form = MakeForm(kProbes);
        form->Show();
        ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(form->Handle()) != 0; }));
        app->ProcessMessages();
        bottom = &form->Get<TProbe>("Bottom");
        upper = &form->Get<TProbe>("Upper");
        lone = &form->Get<TProbe>("Lone");
        Log().clear();
    }
    TTestForm* form = nullptr;
    TProbe* bottom = nullptr;
    TProbe* upper = nullptr;
    TProbe* lone = nullptr;
};

TEST_F(WindowlessTest, AClickReachesTheControlAndItsBoundHandler) {
    Mouse(form, WM_LBUTTONDOWN, 210, 125, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 215, 130);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Lone down 10,5", "Lone up 15,10", "Lone click",
                                               "ProbeClick Lone"}));
}

TEST_F(WindowlessTest, PressDragOutAndReleaseOutsideDoesNotClick) {
    Mouse(form, WM_LBUTTONDOWN, 210, 125, MK_LBUTTON);
    Mouse(form, WM_MOUSEMOVE, 280, 190, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 290, 195);
    EXPECT_EQ(Log(),
              (std::vector<std::string>{"Lone down 10,5", "Lone move 80,70", "Lone up 90,75"}));
    // Back in before the release: a click after all.
    Log().clear();
    Mouse(form, WM_LBUTTONDOWN, 210, 125, MK_LBUTTON);
    Mouse(form, WM_MOUSEMOVE, 290, 195, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 259, 159);
    EXPECT_TRUE(Logged("Lone click"));
}

TEST_F(WindowlessTest, TheCaptureFollowsTheLeftPress) {
    EXPECT_FALSE(lone->MouseCapture());
    Mouse(form, WM_LBUTTONDOWN, 210, 125, MK_LBUTTON);
    EXPECT_TRUE(lone->MouseCapture());
    EXPECT_EQ(GetCapture(), form->Handle());
    EXPECT_EQ(app->CaptureControl(), lone);
    // Moves over another control still reach the one holding the capture.
    Mouse(form, WM_MOUSEMOVE, 20, 20, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 20, 20);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Lone down 10,5", "Lone move -180,-100",
                                               "Lone up -180,-100"}));
    EXPECT_FALSE(lone->MouseCapture());
    EXPECT_EQ(GetCapture(), nullptr);
    // A right press takes no capture and never clicks.
    Log().clear();
    Mouse(form, WM_RBUTTONDOWN, 210, 125, MK_RBUTTON);
    EXPECT_FALSE(lone->MouseCapture());
    Mouse(form, WM_RBUTTONUP, 210, 125);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Lone down right 10,5", "Lone up 10,5"}));
}

TEST_F(WindowlessTest, ADoubleClickIsAPressWithTheDoubleMarker) {
    int dbl = 0;
    lone->OnDblClick = [&](Object&) { ++dbl; };
    Mouse(form, WM_LBUTTONDOWN, 210, 125, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 210, 125);
    Mouse(form, WM_LBUTTONDBLCLK, 210, 125, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 210, 125);
    EXPECT_EQ(dbl, 1);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Lone down 10,5", "Lone up 10,5", "Lone click",
                                               "ProbeClick Lone", "Lone down double 10,5",
                                               "Lone up 10,5"}));
}

TEST_F(WindowlessTest, TheTopmostOfTwoOverlappingControlsGetsTheMouse) {
    EXPECT_EQ(form->ControlAtPoint({70, 40}), upper);
    EXPECT_EQ(ControlAtPoint(*form, {20, 20}), bottom);
    EXPECT_EQ(form->ControlAtPoint({5, 5}), nullptr);
    EXPECT_EQ(form->ControlAtPoint({110, 20}), nullptr);  // right edge excluded
    EXPECT_EQ(form->ControlAtPoint({109, 20}), bottom);
    Mouse(form, WM_LBUTTONDOWN, 70, 40, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 70, 40);
    EXPECT_TRUE(Logged("ProbeClick Upper"));
    EXPECT_FALSE(Logged("ProbeClick Bottom"));
}

TEST_F(WindowlessTest, AHiddenOrDisabledControlIsSkipped) {
    upper->SetVisible(false);
    EXPECT_EQ(form->ControlAtPoint({70, 40}), bottom);
    Mouse(form, WM_LBUTTONDOWN, 70, 40, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 70, 40);
    EXPECT_TRUE(Logged("ProbeClick Bottom"));
    upper->SetVisible(true);
    upper->SetEnabled(false);
    EXPECT_EQ(form->ControlAtPoint({70, 40}), bottom);
    EXPECT_EQ(form->ControlAtPoint({70, 40}, true), upper);
    Log().clear();
    Mouse(form, WM_LBUTTONDOWN, 70, 40, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 70, 40);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Bottom down 60,30", "Bottom up 60,30",
                                               "Bottom click", "ProbeClick Bottom"}));
    lone->SetEnabled(false);
    Log().clear();
    Mouse(form, WM_LBUTTONDOWN, 210, 125, MK_LBUTTON);
    Mouse(form, WM_LBUTTONUP, 210, 125);
    EXPECT_TRUE(Log().empty());
}

TEST_F(WindowlessTest, PointerEnterAndLeaveAreReportedFromIdleProcessing) {
    auto screen = [&](int x, int y) { return form->ClientToScreen({x, y}); };
    Point p = screen(220, 130);
    SetCursorPos(p.x, p.y);
    ASSERT_TRUE(WaitFor([] { return Logged("Lone enter"); })) << testing::PrintToString(Log());
    p = screen(20, 20);
    SetCursorPos(p.x, p.y);
    ASSERT_TRUE(WaitFor([] { return Logged("Bottom enter"); })) << testing::PrintToString(Log());
    EXPECT_EQ(EnterLeaveLog(),
              (std::vector<std::string>{"Lone enter", "Lone leave", "Bottom enter"}));
    EXPECT_EQ(app->MouseControl(), bottom);
    // Out of every window of the program: the window's WM_MOUSELEAVE wakes the idle processing.
    Log().clear();
    SetCursorPos(2, 2);
    ASSERT_TRUE(WaitFor([] { return Logged("Bottom leave"); })) << testing::PrintToString(Log());
    EXPECT_EQ(app->MouseControl(), nullptr);
    EXPECT_EQ(lone->ScreenToClient(screen(225, 121)), (Point{25, 1}));
}

TEST_F(WindowlessTest, WhileAControlHoldsTheCaptureOnlyItIsTold) {
    auto moveTo = [&](int x, int y) {
        Point p = form->ClientToScreen({x, y});
        SetCursorPos(p.x, p.y);
    };
    moveTo(220, 130);
    ASSERT_TRUE(WaitFor([] { return Logged("Lone enter"); }));
    Mouse(form, WM_LBUTTONDOWN, 220, 130, MK_LBUTTON);
    Log().clear();
    moveTo(20, 20);  // over Bottom, with Lone holding the capture
    ASSERT_TRUE(WaitFor([] { return Logged("Lone leave"); }));
    moveTo(30, 20);
    app->ProcessMessages();
    app->Idle();
    moveTo(225, 135);  // back onto Lone
    ASSERT_TRUE(WaitFor([] { return Logged("Lone enter"); }));
    EXPECT_EQ(EnterLeaveLog(), (std::vector<std::string>{"Lone leave", "Lone enter"}));
    // The moves went to the capture holder only.
    for (const auto& e : Log()) EXPECT_EQ(e.rfind("Lone ", 0), 0u) << e;
    Mouse(form, WM_LBUTTONUP, 225, 135);
}

TEST_F(WindowlessTest, PaintingDrawsEachControlOpaqueInZOrder) {
    ASSERT_TRUE(WaitFor([&] { return PixelAt(form, 5, 5) == RGB(255, 255, 255); }));
    EXPECT_EQ(PixelAt(form, 20, 20), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(form, 70, 40), RGB(0, 0, 255));  // the upper one covers the overlap
    EXPECT_EQ(PixelAt(form, 230, 150), RGB(0, 255, 0));
}

TEST_F(WindowlessTest, RepaintDrawsAtOnceAndKeepsTheControlsAbove) {
    ASSERT_TRUE(WaitFor([&] { return PixelAt(form, 20, 20) == RGB(255, 0, 0); }));
    bottom->color = clYellow;
    bottom->Repaint();  // no message processing between the change and the check
    EXPECT_EQ(PixelAt(form, 20, 20), RGB(255, 255, 0));
    EXPECT_EQ(PixelAt(form, 70, 40), RGB(0, 0, 255));    // Upper drawn again above it
    EXPECT_EQ(PixelAt(form, 5, 5), RGB(255, 255, 255));  // outside: untouched
}

TEST_F(WindowlessTest, InvalidateRepaintsAtTheNextPaint) {
    ASSERT_TRUE(WaitFor([&] { return PixelAt(form, 230, 150) == RGB(0, 255, 0); }));
    int before = lone->paints;
    lone->color = clFuchsia;
    lone->Invalidate();
    EXPECT_EQ(lone->paints, before);
    ASSERT_TRUE(WaitFor([&] { return PixelAt(form, 230, 150) == RGB(255, 0, 255); }));
    EXPECT_GT(lone->paints, before);
}

TEST_F(WindowlessTest, MovingAndHidingAControlRepaintsWhatItUncovers) {
    ASSERT_TRUE(WaitFor([&] { return PixelAt(form, 230, 150) == RGB(0, 255, 0); }));
    lone->SetBounds(200, 20, 60, 40);
    ASSERT_TRUE(WaitFor([&] { return PixelAt(form, 230, 150) == RGB(255, 255, 255); }));
    EXPECT_EQ(PixelAt(form, 230, 30), RGB(0, 255, 0));
    lone->Hide();
    ASSERT_TRUE(WaitFor([&] { return PixelAt(form, 230, 30) == RGB(255, 255, 255); }));
}

TEST_F(WindowlessTest, ADestroyedControlLeavesItsParentAndTheCapture) {
    Mouse(form, WM_LBUTTONDOWN, 210, 125, MK_LBUTTON);
    ASSERT_TRUE(lone->MouseCapture());
    delete lone;
    EXPECT_EQ(form->FindComponent("Lone"), nullptr);
    EXPECT_EQ(form->ControlAtPoint({210, 125}), nullptr);
    EXPECT_EQ(app->CaptureControl(), nullptr);
    Mouse(form, WM_LBUTTONUP, 210, 125);  // reaches nobody, breaks nothing
    EXPECT_EQ(form->Controls().size(), 2u);
}

}  // namespace
}  // namespace ui::test
