#include "tests/png_image.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace testing_png {

Image loadPng(const std::string& path) {
    Image image;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &image.width, &image.height, &channels, 3);
    if (!data) return Image{};
    image.pixels.resize(static_cast<std::size_t>(image.width * image.height));
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = (std::uint32_t{data[i * 3]} << 16) | (std::uint32_t{data[i * 3 + 1]} << 8) | data[i * 3 + 2];
    stbi_image_free(data);
    return image;
}

}  // namespace testing_png
