// The directory of an .ico file: the images it holds, each with its size, depth and bytes (a
// DIB without file header, or a PNG), bounds-checked. Portable: no platform headers.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ui {

struct IconImage {
    int width = 0;  // 256 for the 0 stored in the directory
    int height = 0;
    int bitCount = 0;
    std::span<const uint8_t> bytes;  // points into the file's bytes
};

// Whether the bytes start like an .ico file (reserved 0, type 1).
bool LooksLikeIconFile(std::span<const uint8_t> file);
// Every image of the file. Throws EInvalidGraphic ("Icon image is not valid") on bytes that are
// not an icon file or whose entries point outside it.
std::vector<IconImage> ReadIconFile(std::span<const uint8_t> file);
// The image that best fits a size: that exact size with the most colours, else the nearest
// larger, else the largest. REQUIRES: images not empty.
const IconImage& BestIconImage(const std::vector<IconImage>& images, int size);

}  // namespace ui
