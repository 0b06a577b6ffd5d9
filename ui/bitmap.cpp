#include "ui/bitmap.h"

#include <cstring>
#include <limits>

namespace ui {

// BMP layout, little-endian throughout:
//
//   file header (14 bytes, absent in a bare DIB)
//     0  2  "BM"
//     2  4  file size
//     6  4  reserved
//    10  4  offset of the pixel rows from the start of the file
//   info header (size at offset 0: 12 core, 40 info, 52/56 info with masks, 108 v4, 124 v5)
//     core:  4 width u16, 6 height u16, 8 planes u16, 10 bits per pixel u16
//     other: 4 width i32, 8 height i32 (negative: rows top first), 12 planes u16,
//            14 bits per pixel u16, 16 compression u32 (0 none, 3 bit fields),
//            32 colours used u32; v4 and later: 40 red, 44 green, 48 blue masks
//   bit field masks (12 bytes) after a 40-byte header with compression 3
//   colour table: blue, green, red (and a zero byte except for core headers) per entry
//   pixel rows, each padded to a multiple of 4 bytes, bottom row first unless top-down
namespace {

constexpr int64_t kMaxPixels = int64_t{1} << 26;  // 64 megapixels: far beyond any picture here

[[noreturn]] void Invalid() {
    throw EInvalidGraphic("Bitmap image is not valid");
}

class Reader {
  public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t Size() const { return bytes_.size(); }
    uint8_t U8(size_t at) const {
        if (at >= bytes_.size()) Invalid();
        return bytes_[at];
    }
    uint16_t U16(size_t at) const { return static_cast<uint16_t>(U8(at) | (U8(at + 1) << 8)); }
    uint32_t U32(size_t at) const {
        return static_cast<uint32_t>(U16(at)) | (static_cast<uint32_t>(U16(at + 2)) << 16);
    }
    int32_t I32(size_t at) const { return static_cast<int32_t>(U32(at)); }
    // REQUIRES nothing: fails unless [at, at + n) lies inside the bytes.
    const uint8_t* Span(size_t at, size_t n) const {
        if (at > bytes_.size() || n > bytes_.size() - at) Invalid();
        return bytes_.data() + at;
    }

  private:
    std::span<const uint8_t> bytes_;
};

int StrideOf(int width, int bpp) {
    return static_cast<int>(((static_cast<int64_t>(width) * bpp + 31) / 32) * 4);
}

bool ValidDepth(int bpp) {
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32;
}

int ShiftOf(uint32_t mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

uint8_t Channel(uint32_t value, uint32_t mask) {
    if (!mask) return 0;
    int shift = ShiftOf(mask);
    uint32_t max = mask >> shift;
    uint32_t v = (value & mask) >> shift;
    return static_cast<uint8_t>(max ? (v * 255 + max / 2) / max : 0);
}

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace

Bitmap::Bitmap(int width, int height, int bitsPerPixel) {
    if (width < 0 || height < 0 || !ValidDepth(bitsPerPixel) ||
        static_cast<int64_t>(width) * height > kMaxPixels)
        Invalid();
    width_ = width;
    height_ = height;
    bpp_ = bitsPerPixel;
    stride_ = StrideOf(width, bitsPerPixel);
    pixels_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height), 0);
    if (bitsPerPixel <= 8) palette_.assign(size_t{1} << bitsPerPixel, PaletteEntry{});
}

Bitmap Bitmap::FromBmp(std::span<const uint8_t> bytes) {
    Reader r(bytes);
    size_t header = 0;
    size_t pixelOffset = 0;
    bool hasFileHeader = r.Size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    if (hasFileHeader) {
        header = 14;
        pixelOffset = r.U32(10);
    }
    uint32_t headerSize = r.U32(header);
    int64_t width, height;
    int bpp;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    size_t entrySize = 4;
    uint32_t masks[3] = {0, 0, 0};
    bool haveMasks = false;
    if (headerSize == 12) {
        width = r.U16(header + 4);
        height = r.U16(header + 6);
        bpp = r.U16(header + 10);
        entrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 124) {
        width = r.I32(header + 4);
        height = r.I32(header + 8);
        bpp = r.U16(header + 14);
        compression = r.U32(header + 16);
        colorsUsed = r.U32(header + 32);
        if (compression == 3) {  // bit fields
            size_t at = headerSize >= 52 ? header + 40 : header + headerSize;
            masks[0] = r.U32(at);
            masks[1] = r.U32(at + 4);
            masks[2] = r.U32(at + 8);
            haveMasks = true;
        } else if (compression != 0) {
            Invalid();  // run-length and embedded JPEG/PNG images are not read
        }
    } else {
        Invalid();
    }
    bool topDown = height < 0;
    if (topDown) height = -height;
    if (width < 0 || height > std::numeric_limits<int32_t>::max() || width * height > kMaxPixels)
        Invalid();
    if (!(bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32)) Invalid();
    if (haveMasks && bpp != 16 && bpp != 32) Invalid();

    size_t tableAt = header + headerSize + (haveMasks && headerSize == 40 ? 12 : 0);
    size_t entries = colorsUsed;
    if (bpp <= 8) {
        if (entries == 0 || entries > (size_t{1} << bpp)) entries = size_t{1} << bpp;
    } else if (entries > 256) {
        Invalid();
    }
    std::vector<PaletteEntry> palette(entries);
    const uint8_t* table = r.Span(tableAt, entries * entrySize);
    for (size_t i = 0; i < entries; ++i)
        palette[i] = {table[i * entrySize + 2], table[i * entrySize + 1], table[i * entrySize]};
    size_t computedOffset = tableAt + entries * entrySize;
    if (!hasFileHeader || pixelOffset < computedOffset) pixelOffset = computedOffset;

    int w = static_cast<int>(width), h = static_cast<int>(height);
    int srcStride = StrideOf(w, bpp);
    const uint8_t* src = r.Span(pixelOffset, static_cast<size_t>(srcStride) * h);

    int outBpp = bpp == 16 ? 24 : bpp;
    Bitmap out(w, h, outBpp);
    out.palette_ = std::move(palette);
    if (!haveMasks && bpp == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
        haveMasks = true;
    }
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<size_t>(topDown ? y : h - 1 - y) * srcStride;
        uint8_t* dst = out.Row(y);
        if (!haveMasks) {
            std::memcpy(dst, row, static_cast<size_t>(srcStride));
            continue;
        }
        for (int x = 0; x < w; ++x) {
            uint32_t v = bpp == 16 ? static_cast<uint32_t>(row[x * 2] | (row[x * 2 + 1] << 8))
                                   : static_cast<uint32_t>(row[x * 4]) | (row[x * 4 + 1] << 8) |
                                         (row[x * 4 + 2] << 16) |
                                         (static_cast<uint32_t>(row[x * 4 + 3]) << 24);
            int n = outBpp / 8;
            dst[x * n] = Channel(v, masks[2]);
            dst[x * n + 1] = Channel(v, masks[1]);
            dst[x * n + 2] = Channel(v, masks[0]);
        }
    }
    return out;
}

std::vector<uint8_t> Bitmap::ToBmp() const {
    std::vector<uint8_t> out;
    uint32_t tableSize = static_cast<uint32_t>(palette_.size() * 4);
    uint32_t offset = 14 + 40 + tableSize;
    uint32_t imageSize = static_cast<uint32_t>(pixels_.size());
    out.reserve(offset + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageSize);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width_));
    Put32(out, static_cast<uint32_t>(height_));
    Put16(out, 1);
    Put16(out, static_cast<uint16_t>(bpp_));
    Put32(out, 0);
    Put32(out, imageSize);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, static_cast<uint32_t>(palette_.size()));
    Put32(out, 0);
    for (const PaletteEntry& e : palette_) {
        out.push_back(e.blue);
        out.push_back(e.green);
        out.push_back(e.red);
        out.push_back(0);
    }
    for (int y = height_ - 1; y >= 0; --y) out.insert(out.end(), Row(y), Row(y) + stride_);
    return out;
}

uint32_t Bitmap::PixelValue(int x, int y) const {
    const uint8_t* row = Row(y);
    switch (bpp_) {
        case 1:
            return (row[x / 8] >> (7 - x % 8)) & 1;
        case 4:
            return (x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 0x0F);
        case 8:
            return row[x];
        case 24:
            return static_cast<uint32_t>(Rgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]));
        default:
            return static_cast<uint32_t>(Rgb(row[x * 4 + 2], row[x * 4 + 1], row[x * 4]));
    }
}

Color Bitmap::GetPixel(int x, int y) const {
    uint32_t v = PixelValue(x, y);
    if (bpp_ > 8) return static_cast<Color>(v);
    if (v >= palette_.size()) return clBlack;
    const PaletteEntry& e = palette_[v];
    return Rgb(e.red, e.green, e.blue);
}

void Bitmap::SetPixelValue(int x, int y, uint32_t value) {
    uint8_t* row = Row(y);
    switch (bpp_) {
        case 1: {
            uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
            row[x / 8] =
                static_cast<uint8_t>((value & 1) ? (row[x / 8] | bit) : (row[x / 8] & ~bit));
            break;
        }
        case 4:
            if (x % 2 == 0)
                row[x / 2] = static_cast<uint8_t>((row[x / 2] & 0x0F) | ((value & 0x0F) << 4));
            else
                row[x / 2] = static_cast<uint8_t>((row[x / 2] & 0xF0) | (value & 0x0F));
            break;
        case 8:
            row[x] = static_cast<uint8_t>(value);
            break;
        case 24:
            row[x * 3] = static_cast<uint8_t>(BlueOf(static_cast<Color>(value)));
            row[x * 3 + 1] = static_cast<uint8_t>(GreenOf(static_cast<Color>(value)));
            row[x * 3 + 2] = static_cast<uint8_t>(RedOf(static_cast<Color>(value)));
            break;
        default:
            row[x * 4] = static_cast<uint8_t>(BlueOf(static_cast<Color>(value)));
            row[x * 4 + 1] = static_cast<uint8_t>(GreenOf(static_cast<Color>(value)));
            row[x * 4 + 2] = static_cast<uint8_t>(RedOf(static_cast<Color>(value)));
            row[x * 4 + 3] = 0;
            break;
    }
}

void Bitmap::SetPixel(int x, int y, Color color) {
    if (bpp_ > 8) return SetPixelValue(x, y, static_cast<uint32_t>(color) & 0xFFFFFF);
    uint32_t best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (size_t i = 0; i < palette_.size(); ++i) {
        int dr = palette_[i].red - RedOf(color), dg = palette_[i].green - GreenOf(color),
            db = palette_[i].blue - BlueOf(color);
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<uint32_t>(i);
        }
    }
    SetPixelValue(x, y, best);
}

Bitmap ToRgb24(const Bitmap& source) {
    Bitmap out(source.Width(), source.Height(), 24);
    for (int y = 0; y < source.Height(); ++y)
        for (int x = 0; x < source.Width(); ++x) out.SetPixel(x, y, source.GetPixel(x, y));
    return out;
}

}  // namespace ui
