// TVyxBmp in a real window, and the three component kinds loaded from a form definition with
// the program's own pictures.
#include "components/vyxbmp32_win.h"

#include <gtest/gtest.h>

#include "components/ZRDrives.h"
#include "components/ZRMultiButton_win.h"
#include "tests/components/win_test_support.h"
#include "ui/canvas.h"
#include "ui/resources.h"

namespace components {
namespace {

using namespace components::testing;

class VyxBmpWin : public ::testing::Test {
  protected:
    void TearDown() override {
        delete form;
        Pump();
    }
    TVyxBmp* Add(int left, int top) {
        auto* v = new TVyxBmp(form);
        v->SetParent(form);
        v->SetLeft(left);
        v->SetTop(top);
        return v;
    }
    void Paint() {
        form->Repaint();
        Pump();
    }
    TestForm* form = MakeForm();
};

TEST_F(VyxBmpWin, WithoutAnImageTheControlIs32SquareAndWhite) {
    TVyxBmp* v = Add(10, 10);
    EXPECT_EQ(v->Width(), 32);
    EXPECT_EQ(v->Height(), 32);
    EXPECT_TRUE(v->Opaque());
    v->SetBitMap(Solid(5, 4, ui::clRed));
    v->SetBitMap(ui::Bitmap());
    EXPECT_EQ(v->Width(), 32);
    EXPECT_EQ(v->Height(), 32);
    Paint();
    for (auto [x, y] : {std::pair{10, 10}, {41, 10}, {10, 41}, {41, 41}})
        EXPECT_EQ(PixelAt(*form, x, y), ui::clWhite) << x << "," << y;
}

TEST_F(VyxBmpWin, UnstretchedTheControlSnapsBackToItsImage) {
    TVyxBmp* v = Add(10, 10);
    ui::Bitmap image = Solid(6, 5, ui::clBlue);
    image.SetPixel(5, 4, ui::clLime);
    v->SetBitMap(image);
    EXPECT_EQ(v->Width(), 6);
    EXPECT_EQ(v->Height(), 5);
    v->SetBounds(10, 10, 40, 40);
    Paint();
    Paint();
    EXPECT_EQ(v->Width(), 6);
    EXPECT_EQ(v->Height(), 5);
    EXPECT_EQ(PixelAt(*form, 15, 14), ui::clLime);
    EXPECT_EQ(PixelAt(*form, 16, 14), ui::ColorToRgb(form->GetColor()));
}

TEST_F(VyxBmpWin, StretchedTheImageFillsTheControlWithItsSilverReplaced) {
    TVyxBmp* v = Add(20, 20);
    ui::Bitmap image = Solid(2, 2, ui::clSilver);
    image.SetPixel(1, 0, ui::clRed);
    image.SetPixel(0, 1, ui::clNavy);
    v->SetBitMap(image);
    v->SetStretch(true);
    v->SetTransparentColor(ui::clSilver);
    v->SetBounds(20, 20, 40, 30);
    Paint();
    const ui::Color face = ui::ColorToRgb(form->GetColor());
    EXPECT_EQ(v->Width(), 40);
    EXPECT_EQ(PixelAt(*form, 20, 20), face);
    EXPECT_EQ(PixelAt(*form, 39, 34), face);
    EXPECT_EQ(PixelAt(*form, 40, 20), ui::clRed);
    EXPECT_EQ(PixelAt(*form, 59, 34), ui::clRed);
    EXPECT_EQ(PixelAt(*form, 20, 35), ui::clNavy);
    EXPECT_EQ(PixelAt(*form, 59, 49), face);
    // A system colour replaces nothing.
    v->SetTransparentColor(ui::clBtnFace);
    Paint();
    EXPECT_EQ(PixelAt(*form, 20, 20), ui::clSilver);
}

// The components as the program's windows define them, with the program's pictures.
const char* const kDefinition = R"(
  object BtnInstalar: TZRMultiButton
    Left = 10
    Top = 10
    Width = 129
    Height = 51
    AllowAllUp = False
    GroupIndex = 0
    Down = False
    Flat = False
    Glyph = 'instalar_normal.bmp'
    Layout = blGlyphLeft
    Margin = -1
    NumGlyphs = 1
    Spacing = 4
    OnClick = BtnInstalarClick
    AutoSize = False
    GlyphDisable = ''
    GlyphDown = 'instalar_down.bmp'
    GlyphMouseOver = 'instalar_over.bmp'
    WaveSoundClick = ''
    WaveSoundDown = ''
    WaveSoundOver = ''
  end
  object VyxBmp1: TVyxBmp
    Left = 200
    Top = 8
    BitMap = 'copiar.bmp'
    TransparentColor = clSilver
    Stretch = False
  end
  object ZRDrives: TZRDrives
    DriveType = dtFixed
    Drives = 'c:\ d:\'
  end
)";

class LoadedForm : public TestForm {
  public:
    using TestForm::TestForm;
    int clicks = 0;

  protected:
    void DeclareBindings(ui::Bindings& b) override {
        b.Handler("BtnInstalarClick", this, &LoadedForm::BtnInstalarClick);
    }

  private:
    void BtnInstalarClick(ui::Object&) { ++clicks; }
};

TEST(ComponentKinds, AWindowDefinitionMakesAllThreeWithTheirProperties) {
    TheApp();
    std::string text = std::string("object TestForm: TTestForm\n  BorderStyle = bsNone\n") +
                       "  Left = 0\n  Top = 0\n  ClientWidth = 320\n  ClientHeight = 240\n" +
                       kDefinition + "end\n";
    auto* form = ui::CreateForm<LoadedForm>(&TheApp(), text);
    form->Show();
    auto& button = form->Get<TZRMultiButton>("BtnInstalar");
    auto& picture = form->Get<TVyxBmp>("VyxBmp1");
    auto& drives = form->Get<TZRDrives>("ZRDrives");
    EXPECT_EQ(button.Glyph().Width(), 129);
    EXPECT_EQ(button.Glyph().Height(), 51);
    EXPECT_EQ(button.Glyph().BitsPerPixel(), 24);
    EXPECT_EQ(button.GlyphDown(), button.GlyphMouseOver());
    EXPECT_TRUE(button.GlyphDisable().Empty());
    EXPECT_EQ(button.Width(), 129);
    EXPECT_EQ(picture.Width(), 32);
    EXPECT_EQ(picture.Height(), 32);
    EXPECT_EQ(picture.TransparentColor(), ui::clSilver);
    EXPECT_EQ(drives.DriveType(), dtFixed);
    EXPECT_EQ(drives.Drives(), "c:\\ d:\\") << "stored after the type, verbatim";

    form->Repaint();
    Pump();
    // The button shows its normal glyph; a click runs the bound handler.
    PointerTo(*form, 300, 200);
    EXPECT_EQ(PixelAt(*form, 10 + 64, 10 + 25), button.Glyph().GetPixel(64, 25));
    PointerTo(*form, 40, 30);
    EXPECT_EQ(PixelAt(*form, 10 + 64, 10 + 25), button.GlyphMouseOver().GetPixel(64, 25));
    Send(*form, WM_LBUTTONDOWN, MK_LBUTTON, 40, 30);
    Send(*form, WM_LBUTTONUP, 0, 40, 30);
    EXPECT_EQ(form->clicks, 1);

    // The progress picture: its 570 silver pixels take the window's colour, the rest is drawn
    // as it is.
    const ui::Bitmap icon = ui::Bitmap::FromBmp(ui::LoadResourceFile("copiar.bmp"));
    const ui::Color face = ui::ColorToRgb(form->GetColor());
    ASSERT_NE(face, ui::clSilver);
    int replaced = 0, wrong = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const ui::Color shown = PixelAt(*form, 200 + x, 8 + y);
            const bool silver = icon.GetPixel(x, y) == ui::clSilver;
            replaced += silver && shown == face;
            wrong += silver ? shown != face : shown != icon.GetPixel(x, y);
        }
    EXPECT_EQ(replaced, 570);
    EXPECT_EQ(wrong, 0);
    delete form;
    Pump();
}

TEST(ComponentKinds, WhatTheComponentsCannotDoIsAnErrorNamingTheLine) {
    TheApp();
    const std::pair<const char*, const char*> cases[] = {
        {"object D: TZRDrives\n    DriveType = dtFloppy", "dtFloppy"},
        {"object B: TZRMultiButton\n    ShowHint = True", "Hints"},
        {"object B: TZRMultiButton\n    Cursor = crHandPoint", "crHandPoint"},
        {"object V: TVyxBmp\n    TransparentColor = clSilverish", "clSilverish"},
        {"object V: TVyxBmp\n    OnDragDrop = FormCreate", "OnDragDrop"},
        {"object B: TZRMultiButton\n    Glyph = 'no-such.bmp'", "no-such.bmp"},
    };
    for (auto [object, what] : cases) {
        std::string text =
            std::string("object TestForm: TTestForm\n  ") + object + "\n  end\nend\n";
        try {
            delete ui::CreateForm<TestForm>(&TheApp(), text);
            ADD_FAILURE() << "loaded: " << object;
        } catch (const ui::FormDefinitionError& e) {
            EXPECT_EQ(e.Line(), 3) << e.what();
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace components
