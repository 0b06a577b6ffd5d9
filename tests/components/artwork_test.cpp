// The committed pictures that forms/make_artwork.py makes: their sizes and depths, the button
// glyphs blending into the card beneath them, the card following the main window's outline.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "ui/bitmap.h"

namespace {

std::vector<uint8_t> ReadForm(const std::string& name) {
    std::ifstream in(std::string(PQ_SOURCE_DIR) + "/forms/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

ui::Bitmap Picture(const std::string& name) {
    return ui::Bitmap::FromBmp(ReadForm(name));
}

// The main window shows picture pixel (x + 15, y + 16) at its pixel (x, y).
ui::Color WindowPixel(const ui::Bitmap& background, int x, int y) {
    return background.GetPixel(x + 15, y + 16);
}

bool DarkBlue(ui::Color c) {
    return ui::BlueOf(c) > ui::RedOf(c) + 40 && ui::BlueOf(c) < 160;
}

TEST(Artwork, TheBackgroundIsTheCardWithItsEyeletAndStripe) {
    ui::Bitmap bg = Picture("principal.bmp");
    ASSERT_EQ(bg.Width(), 500);
    ASSERT_EQ(bg.Height(), 350);
    EXPECT_EQ(bg.BitsPerPixel(), 24);
    EXPECT_TRUE(DarkBlue(WindowPixel(bg, 100, 200)));
    EXPECT_TRUE(DarkBlue(WindowPixel(bg, 300, 150))) << "the join of the two parts";
    // The eyelet rings the punched hole centred at (30, 30), radius 14.
    for (auto [x, y] : {std::pair{30, 13}, {13, 30}, {47, 30}, {30, 47}}) {
        ui::Color c = WindowPixel(bg, x, y);
        EXPECT_LT(std::abs(ui::RedOf(c) - ui::GreenOf(c)), 8) << x << "," << y;
        EXPECT_GT(ui::RedOf(c), 50) << x << "," << y;
    }
    // The stripe is darker than the card beside it.
    ui::Color stripe = WindowPixel(bg, 400, 150), card = WindowPixel(bg, 370, 150);
    EXPECT_LT(ui::BlueOf(stripe) + 20, ui::BlueOf(card));
}

TEST(Artwork, TheCardsRimRunsAlongTheWindowsOutline) {
    ui::Bitmap bg = Picture("principal.bmp");
    // The card's blue runs from 128 at the top to 80 at the bottom; the rim is far lighter.
    // Just inside the region's edge: the light rim. Left edge, bottom of the left part, the
    // right part's top (which stands back 8 pixels), its right edge and the notch's mouth.
    for (auto [x, y] : {std::pair{0, 150}, {150, 304}, {350, 8}, {456, 150}, {440, 244}}) {
        ui::Color c = WindowPixel(bg, x, y);
        EXPECT_GT(ui::BlueOf(c), 170) << x << "," << y;
    }
    // Well inside: no rim.
    for (auto [x, y] : {std::pair{5, 150}, {150, 299}, {350, 14}, {440, 238}})
        EXPECT_LE(ui::BlueOf(WindowPixel(bg, x, y)), 128) << x << "," << y;
}

TEST(Artwork, TheGlyphsBlendIntoTheCardBeneathTheirButtons) {
    ui::Bitmap bg = Picture("principal.bmp");
    const std::pair<const char*, int> buttons[] = {{"instalar", 136}, {"sair", 192}};
    for (auto [name, top] : buttons) {
        const std::string n = name;
        ui::Bitmap normal = Picture(n + "_normal.bmp");
        ui::Bitmap down = Picture(n + "_down.bmp");
        ui::Bitmap over = Picture(n + "_over.bmp");
        for (const ui::Bitmap* g : {&normal, &down, &over}) {
            EXPECT_EQ(g->Width(), 129) << n;
            EXPECT_EQ(g->Height(), 51) << n;
            EXPECT_EQ(g->BitsPerPixel(), 24) << n;
        }
        EXPECT_EQ(down, over) << n << ": the pressed and the over image are one picture";
        EXPECT_NE(down, normal) << n;
        for (auto [x, y] : {std::pair{0, 0}, {128, 0}, {0, 50}, {128, 50}})
            EXPECT_EQ(normal.GetPixel(x, y), WindowPixel(bg, 228 + x, top + y)) << n;
        int yellow = 0, white = 0;
        for (int y = 0; y < 51; ++y)
            for (int x = 0; x < 129; ++x) {
                ui::Color c = normal.GetPixel(x, y);
                yellow += ui::RedOf(c) > 230 && ui::GreenOf(c) > 180 && ui::BlueOf(c) < 80;
                white += down.GetPixel(x, y) == ui::clWhite;
            }
        EXPECT_GT(yellow, 50) << n << ": the word in yellow";
        EXPECT_GT(white, 50) << n << ": the word in white";
    }
}

uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return b.at(at) | (b.at(at + 1) << 8);
}
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return U16(b, at) | (U16(b, at + 2) << 16);
}

TEST(Artwork, TheIconHas32And16PixelImagesOf16Colours) {
    std::vector<uint8_t> ico = ReadForm("pacote.ico");
    ASSERT_GE(ico.size(), 38u);
    EXPECT_EQ(U16(ico, 2), 1) << "an icon";
    ASSERT_EQ(U16(ico, 4), 2);
    const int sizes[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        const size_t entry = 6 + 16 * i;
        EXPECT_EQ(ico[entry], sizes[i]);
        EXPECT_EQ(ico[entry + 1], sizes[i]);
        EXPECT_EQ(ico[entry + 2], 16) << "colours";
        const size_t dib = U32(ico, entry + 12);
        ASSERT_LT(dib + 40, ico.size());
        EXPECT_EQ(U32(ico, dib + 4), static_cast<uint32_t>(sizes[i]));
        EXPECT_EQ(U32(ico, dib + 8), static_cast<uint32_t>(sizes[i] * 2)) << "with its mask";
        EXPECT_EQ(U16(ico, dib + 14), 4) << "bits per pixel";
        EXPECT_EQ(dib + U32(ico, entry + 8), i == 0 ? U32(ico, entry + 16 + 12) : ico.size());
    }
}

}  // namespace
