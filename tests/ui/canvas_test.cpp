// Drawing through Canvas on a memory surface under Wine.
#include "ui/canvas.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace ui {
namespace {

// A 32-bit memory surface of a given size, white.
class Surface {
  public:
    Surface(int w, int h) : dc_(CreateCompatibleDC(nullptr)) {
        Bitmap white(w, h, 32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) white.SetPixel(x, y, clWhite);
        bmp_ = CreateDibSection(white);
        select_ = SelectObject(dc_.get(), bmp_.get());
    }
    ~Surface() { SelectObject(dc_.get(), select_); }
    HDC dc() const { return dc_.get(); }
    COLORREF At(int x, int y) const { return GetPixel(dc_.get(), x, y); }

  private:
    ScopedMemoryDc dc_;
    ScopedBitmap bmp_;
    HGDIOBJ select_;
};

Bitmap Indexed2x2() {
    Bitmap b(2, 2, 8);
    std::vector<PaletteEntry> pal(256);
    pal[1] = {255, 0, 0};
    pal[2] = {0, 0, 255};
    pal[3] = {192, 192, 192};
    b.SetPalette(pal);
    b.SetPixelValue(0, 0, 1);
    b.SetPixelValue(1, 0, 2);
    b.SetPixelValue(0, 1, 3);
    b.SetPixelValue(1, 1, 0);
    return b;
}

TEST(Canvas, DrawCopiesTheBitmapUnscaledAtItsPlace) {
    Surface s(6, 6);
    Canvas c(s.dc());
    c.Draw(2, 3, Indexed2x2());
    EXPECT_EQ(s.At(2, 3), RGB(255, 0, 0));
    EXPECT_EQ(s.At(3, 3), RGB(0, 0, 255));
    EXPECT_EQ(s.At(2, 4), RGB(192, 192, 192));
    EXPECT_EQ(s.At(3, 4), RGB(0, 0, 0));
    EXPECT_EQ(s.At(1, 3), RGB(255, 255, 255));
    EXPECT_EQ(s.At(4, 4), RGB(255, 255, 255));
    // Partly outside: the visible part lands where it belongs.
    c.Draw(-1, -1, Indexed2x2());
    EXPECT_EQ(s.At(0, 0), RGB(0, 0, 0));
}

TEST(Canvas, DrawHonoursTheClip) {
    Surface s(6, 6);
    Canvas c(s.dc());
    IntersectClipRect(s.dc(), 0, 0, 3, 6);
    c.Draw(2, 0, Indexed2x2());
    EXPECT_EQ(s.At(2, 0), RGB(255, 0, 0));
    EXPECT_EQ(s.At(3, 0), RGB(255, 255, 255));
}

TEST(Canvas, StretchDrawTakesTheNearestPixel) {
    Bitmap row(4, 1, 24);
    row.SetPixel(0, 0, clRed);
    row.SetPixel(1, 0, clLime);
    row.SetPixel(2, 0, clBlue);
    row.SetPixel(3, 0, clBlack);
    Surface s(8, 2);
    Canvas c(s.dc());
    c.StretchDraw({0, 0, 8, 2}, row);  // every column doubled, the row repeated
    EXPECT_EQ(s.At(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(s.At(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(s.At(2, 0), RGB(0, 255, 0));
    EXPECT_EQ(s.At(5, 1), RGB(0, 0, 255));
    EXPECT_EQ(s.At(7, 0), RGB(0, 0, 0));
    Surface half(2, 1);
    Canvas h(half.dc());
    h.StretchDraw({0, 0, 2, 1}, row);
    // Every other column dropped (which of each pair is the system's choice): the two pixels
    // are source columns i and i + 2.
    const COLORREF cols[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(0, 0, 0)};
    bool matched = false;
    for (int i = 0; i < 2; ++i) matched |= half.At(0, 0) == cols[i] && half.At(1, 0) == cols[i + 2];
    EXPECT_TRUE(matched) << half.At(0, 0) << " " << half.At(1, 0);
    Surface part(2, 2);
    Canvas p(part.dc());
    p.StretchDraw({0, 0, 2, 2}, row, {2, 0, 3, 1});  // one source pixel over the whole area
    EXPECT_EQ(part.At(1, 1), RGB(0, 0, 255));
}

TEST(Canvas, ColoursAndFills) {
    EXPECT_EQ(ColorToRgb(clBtnFace), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToRgb(clWindowText), GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(ColorToRgb(clSilver), RGB(192, 192, 192));
    EXPECT_EQ(ColorToRgb(Rgb(1, 2, 3)), RGB(1, 2, 3));
    Surface s(4, 4);
    Canvas c(s.dc());
    c.FillRect({1, 1, 3, 3}, clBtnFace);
    EXPECT_EQ(s.At(1, 1), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(s.At(2, 2), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(s.At(3, 3), RGB(255, 255, 255));  // right and bottom bounds excluded
}

TEST(Canvas, DibSectionsAndCapturesKeepThePixels) {
    Bitmap source = Indexed2x2();
    ScopedBitmap dib = CreateDibSection(source);
    ASSERT_TRUE(dib);
    Bitmap back = BitmapFromHandle(dib.get());
    ASSERT_EQ(back.Width(), 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(back.GetPixel(x, y), source.GetPixel(x, y));
    Surface s(5, 5);
    Canvas(s.dc()).Draw(1, 1, source);
    Bitmap shot = CaptureDc(s.dc(), {1, 1, 3, 3});
    EXPECT_EQ(shot.BitsPerPixel(), 24);
    EXPECT_EQ(shot.GetPixel(1, 0), clBlue);
    EXPECT_EQ(shot.GetPixel(0, 1), clSilver);
}

TEST(Canvas, TextIsDrawnAndMeasured) {
    Surface s(120, 20);
    Canvas c(s.dc());
    ScopedFont font(CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                L"MS Sans Serif"));
    ScopedSelect sel(s.dc(), font.get());
    SIZE shortText = c.MeasureText("Sim", DT_LEFT, 0);
    SIZE longText = c.MeasureText("Instalando Questões", DT_LEFT, 0);
    EXPECT_GT(shortText.cx, 5);
    EXPECT_GT(longText.cx, shortText.cx * 2);
    EXPECT_GT(c.MeasureText("", DT_LEFT, 0).cy, 5);  // an empty text is one line high
    SIZE wrapped = c.MeasureText("uma frase que não cabe numa linha", DT_WORDBREAK, 40);
    EXPECT_GT(wrapped.cy, shortText.cy * 2);
    c.DrawText({0, 0, 120, 20}, "Ação", DT_LEFT, clBlack);
    int dark = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 120; ++x) dark += s.At(x, y) == RGB(0, 0, 0);
    EXPECT_GT(dark, 10);
}

}  // namespace
}  // namespace ui
