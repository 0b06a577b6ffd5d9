#include "ui/icon_file.h"

#include "ui/bitmap.h"

namespace ui {

// .ico layout, little-endian:
//   0 u16 reserved (0), 2 u16 type (1 = icon), 4 u16 image count
//   then 16 bytes per image: 0 width u8 (0 = 256), 1 height u8, 2 colour count u8,
//   3 reserved u8, 4 planes u16, 6 bit count u16, 8 image size u32, 12 image offset u32
namespace {

[[noreturn]] void Invalid() {
    throw EInvalidGraphic("Icon image is not valid");
}

uint32_t Read(std::span<const uint8_t> b, size_t at, int n) {
    if (at + static_cast<size_t>(n) > b.size()) Invalid();
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

}  // namespace

bool LooksLikeIconFile(std::span<const uint8_t> file) {
    return file.size() >= 6 && file[0] == 0 && file[1] == 0 && file[2] == 1 && file[3] == 0;
}

std::vector<IconImage> ReadIconFile(std::span<const uint8_t> file) {
    if (!LooksLikeIconFile(file)) Invalid();
    uint32_t count = Read(file, 4, 2);
    if (count == 0) Invalid();
    std::vector<IconImage> images;
    for (uint32_t i = 0; i < count; ++i) {
        size_t e = 6 + static_cast<size_t>(i) * 16;
        IconImage img;
        img.width = static_cast<int>(Read(file, e, 1));
        img.height = static_cast<int>(Read(file, e + 1, 1));
        if (img.width == 0) img.width = 256;
        if (img.height == 0) img.height = 256;
        img.bitCount = static_cast<int>(Read(file, e + 6, 2));
        uint32_t size = Read(file, e + 8, 4);
        uint32_t offset = Read(file, e + 12, 4);
        if (size == 0 || offset > file.size() || size > file.size() - offset) Invalid();
        img.bytes = file.subspan(offset, size);
        images.push_back(img);
    }
    return images;
}

const IconImage& BestIconImage(const std::vector<IconImage>& images, int size) {
    const IconImage* best = &images.front();
    auto score = [size](const IconImage& i) {
        // Lower is better: exact size first, then larger sizes by closeness, then smaller.
        int d = i.width - size;
        int sizeScore = d == 0 ? 0 : d > 0 ? d : 1000 - d;
        return sizeScore * 100 - i.bitCount;
    };
    for (const IconImage& i : images)
        if (score(i) < score(*best)) best = &i;
    return *best;
}

}  // namespace ui
