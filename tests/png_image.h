// A PNG read back for checking pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_png {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0xRRGGBB, top line first
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// An empty image when the file cannot be read as a PNG.
Image loadPng(const std::string& path);

}  // namespace testing_png
