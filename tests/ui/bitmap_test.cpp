#include "ui/bitmap.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <tuple>
#include <vector>

#include "ui/icon_file.h"

namespace ui {
namespace {

// Writes BMP bytes by hand, field by field, so the reader is checked against the format and not
// against its own writer.
struct BmpSpec {
    int headerSize = 40;  // 12, 40, 108, 124
    int width = 0;
    int height = 0;  // negative: top-down
    int bpp = 24;
    uint32_t compression = 0;
    std::vector<uint32_t> masks;  // bit fields after a 40-byte header or inside v4/v5
    std::vector<std::array<uint8_t, 3>> palette;  // r, g, b
    uint32_t colorsUsed = 0;
    bool fileHeader = true;
    std::vector<std::vector<uint8_t>> rows;  // as stored, top row of the file first, unpadded
};

void Put(std::vector<uint8_t>& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

std::vector<uint8_t> MakeBmp(const BmpSpec& s) {
    std::vector<uint8_t> info;
    Put(info, static_cast<uint32_t>(s.headerSize), 4);
    if (s.headerSize == 12) {
        Put(info, static_cast<uint32_t>(s.width), 2);
        Put(info, static_cast<uint32_t>(s.height), 2);
        Put(info, 1, 2);
        Put(info, static_cast<uint32_t>(s.bpp), 2);
    } else {
        Put(info, static_cast<uint32_t>(s.width), 4);
        Put(info, static_cast<uint32_t>(s.height), 4);
        Put(info, 1, 2);
        Put(info, static_cast<uint32_t>(s.bpp), 2);
        Put(info, s.compression, 4);
        Put(info, 0, 4);
        Put(info, 2835, 4);
        Put(info, 2835, 4);
        Put(info, s.colorsUsed, 4);
        Put(info, 0, 4);
        if (s.headerSize > 40) {
            for (size_t i = 0; i < 3; ++i) Put(info, i < s.masks.size() ? s.masks[i] : 0, 4);
            while (info.size() < static_cast<size_t>(s.headerSize)) info.push_back(0);
        } else {
            for (uint32_t m : s.masks) Put(info, m, 4);
        }
    }
    for (const auto& e : s.palette) {
        info.push_back(e[2]);
        info.push_back(e[1]);
        info.push_back(e[0]);
        if (s.headerSize != 12) info.push_back(0);
    }
    std::vector<uint8_t> pixels;
    for (const auto& row : s.rows) {
        pixels.insert(pixels.end(), row.begin(), row.end());
        while (pixels.size() % 4) pixels.push_back(0);
    }
    std::vector<uint8_t> out;
    if (s.fileHeader) {
        out.push_back('B');
        out.push_back('M');
        Put(out, static_cast<uint32_t>(14 + info.size() + pixels.size()), 4);
        Put(out, 0, 4);
        Put(out, static_cast<uint32_t>(14 + info.size()), 4);
    }
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

TEST(Bitmap, Reads24BitBottomUpAndTopDown) {
    BmpSpec s;
    s.width = 2;
    s.height = 2;
    // Bottom-up: the file's first row is the bottom one. Pixels are blue, green, red.
    s.rows = {{0, 0, 255, 0, 255, 0}, {255, 0, 0, 255, 255, 255}};
    Bitmap b = Bitmap::FromBmp(MakeBmp(s));
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.Height(), 2);
    EXPECT_EQ(b.BitsPerPixel(), 24);
    EXPECT_EQ(b.GetPixel(0, 0), clBlue);
    EXPECT_EQ(b.GetPixel(1, 0), clWhite);
    EXPECT_EQ(b.GetPixel(0, 1), clRed);
    EXPECT_EQ(b.GetPixel(1, 1), clLime);
    s.height = -2;  // the same rows read top first
    Bitmap t = Bitmap::FromBmp(MakeBmp(s));
    EXPECT_EQ(t.GetPixel(0, 0), clRed);
    EXPECT_EQ(t.GetPixel(1, 1), clWhite);
    s.fileHeader = false;  // a bare DIB, as an embedded resource may hold
    EXPECT_EQ(Bitmap::FromBmp(MakeBmp(s)), t);
}

TEST(Bitmap, ReadsIndexedDepthsThroughTheirColourTable) {
    // 1 bit: 10 pixels wide, the bits run from the high bit of each byte.
    BmpSpec one;
    one.width = 10;
    one.height = 1;
    one.bpp = 1;
    one.palette = {{{0, 0, 0}}, {{192, 192, 192}}};
    one.rows = {{0b10100000, 0b01000000}};
    Bitmap b1 = Bitmap::FromBmp(MakeBmp(one));
    EXPECT_EQ(b1.GetPixel(0, 0), clSilver);
    EXPECT_EQ(b1.GetPixel(1, 0), clBlack);
    EXPECT_EQ(b1.GetPixel(2, 0), clSilver);
    EXPECT_EQ(b1.GetPixel(8, 0), clBlack);
    EXPECT_EQ(b1.GetPixel(9, 0), clSilver);
    EXPECT_EQ(b1.PixelValue(9, 0), 1u);

    // 4 bits: the high nibble is the left pixel; a table shorter than 16 entries (colours
    // used 3) is read as it is.
    BmpSpec four;
    four.width = 3;
    four.height = 1;
    four.bpp = 4;
    four.colorsUsed = 3;
    four.palette = {{{255, 0, 0}}, {{0, 255, 0}}, {{0, 0, 255}}};
    four.rows = {{0x21, 0xF0}};
    Bitmap b4 = Bitmap::FromBmp(MakeBmp(four));
    EXPECT_EQ(b4.Palette().size(), 3u);
    EXPECT_EQ(b4.GetPixel(0, 0), clBlue);
    EXPECT_EQ(b4.GetPixel(1, 0), clLime);
    EXPECT_EQ(b4.GetPixel(2, 0), clBlack);  // index 15 lies beyond the table
    EXPECT_EQ(b4.PixelValue(2, 0), 15u);

    // 8 bits with a core (OS/2) header: three-byte table entries.
    BmpSpec eight;
    eight.headerSize = 12;
    eight.width = 2;
    eight.height = 1;
    eight.bpp = 8;
    for (int i = 0; i < 256; ++i)
        eight.palette.push_back({{static_cast<uint8_t>(i), 0, static_cast<uint8_t>(255 - i)}});
    eight.rows = {{7, 200}};
    Bitmap b8 = Bitmap::FromBmp(MakeBmp(eight));
    EXPECT_EQ(b8.GetPixel(0, 0), Rgb(7, 0, 248));
    EXPECT_EQ(b8.GetPixel(1, 0), Rgb(200, 0, 55));
}

TEST(Bitmap, ReadsSixteenAndThirtyTwoBitsWithAndWithoutBitFields) {
    BmpSpec s16;  // 5-5-5 by default
    s16.width = 2;
    s16.height = 1;
    s16.bpp = 16;
    s16.rows = {{0x00, 0x7C, 0xFF, 0x7F}};  // red, white
    Bitmap b = Bitmap::FromBmp(MakeBmp(s16));
    EXPECT_EQ(b.BitsPerPixel(), 24);
    EXPECT_EQ(b.GetPixel(0, 0), clRed);
    EXPECT_EQ(b.GetPixel(1, 0), clWhite);

    BmpSpec s565 = s16;  // 5-6-5 through bit fields after a 40-byte header
    s565.compression = 3;
    s565.masks = {0xF800, 0x07E0, 0x001F};
    s565.rows = {{0xE0, 0x07, 0x1F, 0x00}};  // green, blue
    Bitmap c = Bitmap::FromBmp(MakeBmp(s565));
    EXPECT_EQ(c.GetPixel(0, 0), clLime);
    EXPECT_EQ(c.GetPixel(1, 0), clBlue);

    BmpSpec s32;  // v5 header, masks inside it, an odd channel order
    s32.headerSize = 124;
    s32.width = 1;
    s32.height = 1;
    s32.bpp = 32;
    s32.compression = 3;
    s32.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
    s32.rows = {{10, 20, 30, 255}};
    Bitmap d = Bitmap::FromBmp(MakeBmp(s32));
    EXPECT_EQ(d.BitsPerPixel(), 32);
    EXPECT_EQ(d.GetPixel(0, 0), Rgb(10, 20, 30));

    BmpSpec plain32;
    plain32.width = 1;
    plain32.height = 1;
    plain32.bpp = 32;
    plain32.rows = {{30, 20, 10, 0}};
    EXPECT_EQ(Bitmap::FromBmp(MakeBmp(plain32)).GetPixel(0, 0), Rgb(10, 20, 30));
}

TEST(Bitmap, KeepsAnOptionalColourTableOfATrueColourImage) {
    BmpSpec s;
    s.width = 1;
    s.height = 1;
    s.colorsUsed = 2;
    s.palette = {{{1, 2, 3}}, {{4, 5, 6}}};
    s.rows = {{9, 8, 7}};
    Bitmap b = Bitmap::FromBmp(MakeBmp(s));
    EXPECT_EQ(b.Palette().size(), 2u);
    EXPECT_EQ(b.GetPixel(0, 0), Rgb(7, 8, 9));  // the pixels are read past the table
}

TEST(Bitmap, RoundTripsEveryDepthThroughBmp) {
    for (int bpp : {1, 4, 8, 24, 32}) {
        Bitmap b(5, 3, bpp);
        if (bpp <= 8) {
            std::vector<PaletteEntry> pal(size_t{1} << bpp);
            for (size_t i = 0; i < pal.size(); ++i)
                pal[i] = {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i), 3};
            b.SetPalette(pal);
        }
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                b.SetPixelValue(x, y,
                                bpp <= 8 ? static_cast<uint32_t>(x + y) % (1u << bpp)
                                         : static_cast<uint32_t>(Rgb(x * 40, y * 80, 7)));
        Bitmap c = Bitmap::FromBmp(b.ToBmp());
        EXPECT_EQ(c, b) << bpp;
        EXPECT_EQ(c.GetPixel(4, 2), b.GetPixel(4, 2)) << bpp;
    }
}

TEST(Bitmap, SetPixelOnAnIndexedImageTakesTheNearestEntry) {
    Bitmap b(1, 1, 8);
    std::vector<PaletteEntry> pal(256);
    pal[3] = {250, 10, 10};
    pal[9] = {10, 10, 250};
    b.SetPalette(pal);
    b.SetPixel(0, 0, Rgb(200, 30, 40));
    EXPECT_EQ(b.PixelValue(0, 0), 3u);
    Bitmap rgb = ToRgb24(b);
    EXPECT_EQ(rgb.BitsPerPixel(), 24);
    EXPECT_EQ(rgb.GetPixel(0, 0), Rgb(250, 10, 10));
}

TEST(Bitmap, AnEmptyImageHasNoPixels) {
    Bitmap e;
    EXPECT_TRUE(e.Empty());
    BmpSpec s;
    s.width = 0;
    s.height = 0;
    EXPECT_TRUE(Bitmap::FromBmp(MakeBmp(s)).Empty());
    EXPECT_THROW(Bitmap(-1, 1, 24), EInvalidGraphic);
    EXPECT_THROW(Bitmap(1, 1, 16), EInvalidGraphic);
}

TEST(Bitmap, MalformedBytesAreInvalidGraphicsNeverACrash) {
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    s.bpp = 8;
    s.colorsUsed = 4;
    s.palette = {{{0, 0, 0}}, {{1, 1, 1}}, {{2, 2, 2}}, {{3, 3, 3}}};
    s.rows = {{0, 1, 2}, {3, 2, 1}};
    std::vector<uint8_t> good = MakeBmp(s);
    ASSERT_NO_THROW(Bitmap::FromBmp(good));
    // The rows take whole strides, padding included: every shorter input lacks needed bytes.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_THROW(Bitmap::FromBmp(cut), EInvalidGraphic) << n;
    }
    auto with = [&](size_t at, uint32_t value, int bytes) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < bytes; ++i)
            b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
        return b;
    };
    EXPECT_THROW(Bitmap::FromBmp(with(14, 64, 4)), EInvalidGraphic);      // header size
    EXPECT_THROW(Bitmap::FromBmp(with(14 + 14, 7, 2)), EInvalidGraphic);  // 7 bits a pixel
    EXPECT_THROW(Bitmap::FromBmp(with(14 + 16, 1, 4)), EInvalidGraphic);  // run-length
    EXPECT_THROW(Bitmap::FromBmp(with(14 + 16, 3, 4)), EInvalidGraphic);  // bit fields on 8 bits
    EXPECT_THROW(Bitmap::FromBmp(with(14 + 4, 0x7FFFFFFF, 4)), EInvalidGraphic);  // huge width
    EXPECT_THROW(Bitmap::FromBmp(with(14 + 4, 0x80000000, 4)), EInvalidGraphic);  // negative width
    EXPECT_THROW(Bitmap::FromBmp(with(14 + 8, 0x80000000, 4)), EInvalidGraphic);  // INT_MIN height
    EXPECT_THROW(Bitmap::FromBmp(with(14 + 8, 100000, 4)), EInvalidGraphic);      // rows missing
    EXPECT_THROW(Bitmap::FromBmp(std::vector<uint8_t>{}), EInvalidGraphic);
    try {
        Bitmap::FromBmp(with(14, 64, 4));
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
        EXPECT_STREQ(e.ClassName(), "EInvalidGraphic");
    }
}

TEST(Bitmap, APixelOffsetInsideTheHeadersIsIgnored) {
    BmpSpec s;
    s.width = 1;
    s.height = 1;
    s.rows = {{1, 2, 3}};
    std::vector<uint8_t> b = MakeBmp(s);
    b[10] = 0;  // offset 0: the rows follow the headers
    EXPECT_EQ(Bitmap::FromBmp(b).GetPixel(0, 0), Rgb(3, 2, 1));
}

std::vector<uint8_t> MakeIco(const std::vector<std::tuple<int, int, int, size_t>>& entries) {
    std::vector<uint8_t> out;
    Put(out, 0, 2);
    Put(out, 1, 2);
    Put(out, static_cast<uint32_t>(entries.size()), 2);
    size_t offset = 6 + 16 * entries.size();
    for (const auto& [w, h, bits, size] : entries) {
        out.push_back(static_cast<uint8_t>(w == 256 ? 0 : w));
        out.push_back(static_cast<uint8_t>(h == 256 ? 0 : h));
        out.push_back(0);
        out.push_back(0);
        Put(out, 1, 2);
        Put(out, static_cast<uint32_t>(bits), 2);
        Put(out, static_cast<uint32_t>(size), 4);
        Put(out, static_cast<uint32_t>(offset), 4);
        offset += size;
    }
    for (const auto& e : entries) out.insert(out.end(), std::get<3>(e), 0xAB);
    return out;
}

TEST(IconFile, ListsItsImagesAndPicksTheBestSize) {
    std::vector<uint8_t> ico =
        MakeIco({{16, 16, 4, 10}, {32, 32, 4, 20}, {32, 32, 8, 30}, {256, 256, 32, 5}});
    ASSERT_TRUE(LooksLikeIconFile(ico));
    std::vector<IconImage> images = ReadIconFile(ico);
    ASSERT_EQ(images.size(), 4u);
    EXPECT_EQ(images[3].width, 256);
    EXPECT_EQ(images[1].bytes.size(), 20u);
    EXPECT_EQ(images[1].bytes.data(), ico.data() + 6 + 64 + 10);
    EXPECT_EQ(&BestIconImage(images, 32), &images[2]);  // exact size, more colours
    EXPECT_EQ(&BestIconImage(images, 16), &images[0]);
    EXPECT_EQ(&BestIconImage(images, 24), &images[2]);   // nearest larger
    EXPECT_EQ(&BestIconImage(images, 512), &images[3]);  // else the largest
}

TEST(IconFile, EntriesOutsideTheFileAreInvalid) {
    std::vector<uint8_t> ico = MakeIco({{32, 32, 4, 20}});
    std::vector<uint8_t> cut(ico.begin(), ico.end() - 1);
    EXPECT_THROW(ReadIconFile(cut), EInvalidGraphic);
    std::vector<uint8_t> none = MakeIco({});
    EXPECT_THROW(ReadIconFile(none), EInvalidGraphic);
    std::vector<uint8_t> notIcon = {0, 0, 2, 0, 1, 0};  // a cursor file
    EXPECT_FALSE(LooksLikeIconFile(notIcon));
    EXPECT_THROW(ReadIconFile(notIcon), EInvalidGraphic);
    std::vector<uint8_t> shortDir = {0, 0, 1, 0, 2, 0, 32, 32};
    EXPECT_THROW(ReadIconFile(shortDir), EInvalidGraphic);
}

}  // namespace
}  // namespace ui
