// A device-independent bitmap held in memory: width, height, bits per pixel (1, 4, 8, 24 or 32;
// 32 bits are blue, green, red and an unused byte), an optional colour table, and the pixels, rows
// top first, each row padded to 4 bytes as the window system's DIBs are (so the bits can be handed
// to it as a top-down DIB). Loaded from and saved to BMP bytes. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/exception.h"
#include "ui/color.h"

namespace ui {

// Bytes that are not a bitmap this program can read. Message: "Bitmap image is not valid".
class EInvalidGraphic : public pq::Exception {
  public:
    using pq::Exception::Exception;
    const char* ClassName() const noexcept override { return "EInvalidGraphic"; }
};

struct PaletteEntry {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};

class Bitmap {
  public:
    Bitmap() = default;  // empty: 0 x 0
    // A bitmap of that size with every byte zero. REQUIRES: width, height >= 0; bpp one of
    // 1, 4, 8, 24, 32 (else EInvalidGraphic). For 1, 4 and 8 bits the colour table gets 2^bpp black
    // entries.
    Bitmap(int width, int height, int bitsPerPixel);

    // Reads BMP file bytes (with the 14-byte file header) or a bare DIB (starting with the info
    // header): core, info, v4 and v5 headers; 1/4/8 bits with a colour table, 16/24/32 bits with
    // or without one; bottom-up and top-down; uncompressed or bit fields (16/32). 16-bit images
    // are widened to 24 bits, 32-bit bit fields to the plain 32-bit layout. Throws EInvalidGraphic.
    static Bitmap FromBmp(std::span<const uint8_t> bytes);
    // BMP file bytes: file header, 40-byte info header, colour table, bottom-up rows.
    std::vector<uint8_t> ToBmp() const;

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitsPerPixel() const { return bpp_; }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }
    int Stride() const { return stride_; }

    const std::vector<PaletteEntry>& Palette() const { return palette_; }
    void SetPalette(std::vector<PaletteEntry> palette) { palette_ = std::move(palette); }

    // Rows top first; Stride() bytes a row.
    const uint8_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * stride_; }
    uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * stride_; }
    const std::vector<uint8_t>& Bits() const { return pixels_; }

    // The colour of a pixel (red in the low byte), through the colour table for indexed
    // bitmaps (an index beyond the table is black). REQUIRES: 0 <= x < Width, 0 <= y < Height.
    Color GetPixel(int x, int y) const;
    // The colour table index (indexed bitmaps), or the colour as GetPixel gives it (24/32 bits).
    uint32_t PixelValue(int x, int y) const;
    // Sets the index (indexed bitmaps) or the colour (24/32 bits).
    void SetPixelValue(int x, int y, uint32_t value);
    // For 24/32 bits: stores the colour; for indexed bitmaps: the nearest table entry.
    void SetPixel(int x, int y, Color color);

    friend bool operator==(const Bitmap&, const Bitmap&) = default;

  private:
    int width_ = 0;
    int height_ = 0;
    int bpp_ = 24;
    int stride_ = 0;
    std::vector<PaletteEntry> palette_;
    std::vector<uint8_t> pixels_;
};

// A copy of the 24-bit kind with every pixel's colour: for drawing code that does not want to
// deal with depths.
Bitmap ToRgb24(const Bitmap& source);

}  // namespace ui
