// The transparent bitmap control's drawing as pixels: white without an image, snapping and
// scaling, and the replacement of exactly the transparent colour's pixels, checked with
// hand-made images and with the progress window's own picture.
#include "components/vyxbmp32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace components {
namespace {

constexpr TColor kFace = ui::Rgb(212, 208, 200);  // the window's colour, resolved

// A 24-bit image from rows of colours.
ui::Bitmap Image(const std::vector<std::vector<TColor>>& rows) {
    ui::Bitmap b(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), 24);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) b.SetPixel(x, y, rows[y][x]);
    return b;
}

std::vector<std::vector<TColor>> Pixels(const ui::Bitmap& b) {
    std::vector<std::vector<TColor>> rows(b.Height(), std::vector<TColor>(b.Width()));
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) rows[y][x] = b.GetPixel(x, y);
    return rows;
}

constexpr TColor R = ui::clRed, G = ui::clLime, B = ui::clBlue, S = ui::clSilver, F = kFace,
                 W = ui::clWhite;

TEST(VyxBmpSize, TheImagesSizeWithEmptySidesAt32) {
    EXPECT_EQ(SizeForBitmap(ui::Bitmap()), (ui::Point{32, 32}));
    EXPECT_EQ(SizeForBitmap(ui::Bitmap(17, 5, 8)), (ui::Point{17, 5}));
    EXPECT_EQ(SizeForBitmap(ui::Bitmap(9, 0, 24)), (ui::Point{9, 32}));
    EXPECT_EQ(SizeForBitmap(ui::Bitmap(0, 9, 24)), (ui::Point{32, 9}));
}

TEST(VyxBmpDraw, NoImageIsWhiteOverTheWholeControl) {
    for (bool stretch : {false, true}) {
        VyxBmpFrame f = RenderVyxBmp(ui::Bitmap(), 5, 3, stretch, S, F);
        EXPECT_EQ(f.width, 5);
        EXPECT_EQ(f.height, 3);
        EXPECT_EQ(Pixels(f.pixels), (std::vector<std::vector<TColor>>(3, {W, W, W, W, W})));
    }
    EXPECT_EQ(Pixels(RenderVyxBmp(ui::Bitmap(4, 0, 24), 2, 1, false, -1, F).pixels),
              (std::vector<std::vector<TColor>>{{W, W}}));
}

TEST(VyxBmpDraw, UnstretchedSnapsToTheImageAndThenCopiesItOneToOne) {
    ui::Bitmap image = Image({{R, G, B}, {B, R, G}});
    // The control was resized to 6 x 4: this paint scales into it, and snaps back.
    VyxBmpFrame first = RenderVyxBmp(image, 6, 4, false, -1, F);
    EXPECT_EQ(first.width, 3);
    EXPECT_EQ(first.height, 2);
    EXPECT_EQ(first.pixels.Width(), 6);
    VyxBmpFrame second = RenderVyxBmp(image, first.width, first.height, false, -1, F);
    EXPECT_EQ(second.width, 3);
    EXPECT_EQ(Pixels(second.pixels), Pixels(image));
}

TEST(VyxBmpDraw, StretchedScalesByNearestPixelAndKeepsTheControlsSize) {
    ui::Bitmap image = Image({{R, G}, {B, S}});
    VyxBmpFrame up = RenderVyxBmp(image, 4, 3, true, -1, F);
    EXPECT_EQ(up.width, 4);
    EXPECT_EQ(up.height, 3);
    EXPECT_EQ(Pixels(up.pixels),
              (std::vector<std::vector<TColor>>{{R, R, G, G}, {R, R, G, G}, {B, B, S, S}}));
    ui::Bitmap big = Image({{R, G, B, S}, {G, B, S, R}, {B, S, R, G}, {S, R, G, B}});
    EXPECT_EQ(Pixels(RenderVyxBmp(big, 2, 2, true, -1, F).pixels),
              (std::vector<std::vector<TColor>>{{R, B}, {B, R}}));
}

TEST(VyxBmpDraw, ExactlyTheTransparentColoursPixelsTakeTheControlsColour) {
    const TColor nearSilver = ui::Rgb(192, 192, 193);
    ui::Bitmap image = Image({{S, R, nearSilver}, {G, S, S}});
    VyxBmpFrame f = RenderVyxBmp(image, 3, 2, false, S, F);
    EXPECT_EQ(Pixels(f.pixels), (std::vector<std::vector<TColor>>{{F, R, nearSilver}, {G, F, F}}));
    // The image itself is untouched.
    EXPECT_EQ(image.GetPixel(0, 0), S);
}

TEST(VyxBmpDraw, NegativeColoursReplaceNothing) {
    ui::Bitmap image = Image({{S, R}, {ui::Rgb(0xFF, 0xFF, 0xFF), S}});
    for (TColor none : {TColor{-1}, ui::clBtnFace, ui::clWindow}) {
        EXPECT_EQ(Pixels(RenderVyxBmp(image, 2, 2, false, none, F).pixels), Pixels(image));
        EXPECT_EQ(Pixels(RenderVyxBmp(image, 2, 2, true, none, F).pixels), Pixels(image));
    }
    // An image without the colour is drawn unchanged.
    EXPECT_EQ(Pixels(RenderVyxBmp(image, 2, 2, false, ui::clNavy, F).pixels), Pixels(image));
}

TEST(VyxBmpDraw, StretchedReplacementHappensBeforeScaling) {
    ui::Bitmap image = Image({{S, R}, {G, S}});
    EXPECT_EQ(Pixels(RenderVyxBmp(image, 4, 2, true, S, F).pixels),
              (std::vector<std::vector<TColor>>{{F, F, R, R}, {G, G, F, F}}));
}

TEST(VyxBmpDraw, IndexedImagesCompareTheirTablesColours) {
    ui::Bitmap image(3, 1, 8);
    std::vector<ui::PaletteEntry> table(256);
    table[1] = {192, 192, 192};
    table[2] = {192, 192, 192};  // a second entry of the same colour is transparent too
    table[3] = {0, 0, 128};
    image.SetPalette(table);
    image.SetPixelValue(0, 0, 1);
    image.SetPixelValue(1, 0, 3);
    image.SetPixelValue(2, 0, 2);
    EXPECT_EQ(Pixels(RenderVyxBmp(image, 3, 1, false, S, F).pixels),
              (std::vector<std::vector<TColor>>{{F, ui::clNavy, F}}));
}

ui::Bitmap LoadPicture(const std::string& name) {
    std::ifstream in(std::string(PQ_SOURCE_DIR) + "/forms/" + name, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    return ui::Bitmap::FromBmp(bytes);
}

TEST(VyxBmpDraw, TheProgressPicturesSilverPixelsAllTakeTheWindowsColour) {
    ui::Bitmap icon = LoadPicture("copiar.bmp");
    ASSERT_EQ(icon.Width(), 32);
    ASSERT_EQ(icon.Height(), 32);
    ASSERT_EQ(icon.BitsPerPixel(), 8);
    ASSERT_EQ(icon.Palette().size(), 256u);
    VyxBmpFrame f = RenderVyxBmp(icon, 32, 32, false, ui::clSilver, kFace);
    int replaced = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            if (icon.GetPixel(x, y) == ui::clSilver) {
                EXPECT_EQ(f.pixels.GetPixel(x, y), kFace);
                ++replaced;
            } else {
                EXPECT_EQ(f.pixels.GetPixel(x, y), icon.GetPixel(x, y));
            }
        }
    // The number the artwork script draws (background and dithered dots alike).
    EXPECT_EQ(replaced, 570);
    EXPECT_EQ(icon.GetPixel(0, 0), ui::clSilver) << "the background is silver";
}

}  // namespace
}  // namespace components
