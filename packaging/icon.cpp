// lister's icon, drawn on its own text screen with its own glyphs and
// colours: the first combination, 01 02 03 04 05 06, under the green bar,
// in whole pixels at every size. Writes lister-<size>.png for each size
// the desktop, the page and Windows take, and lister.ico for Windows.
//
//   lister_icon FOLDER
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "lister/run_values.h"
#include "screen/text_screen.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC  // its own copy, beside the screen dumps
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace {

struct Line {
    std::string_view text;
    screen::Color foreground;
    screen::Color background;
};

// Four cells square: the bar, then the six labels in alternating colours.
constexpr Line largeDesign[] = {{"    ", lister::barText, lister::barBack},
                                {"0102", lister::white, lister::background},
                                {"0304", lister::green, lister::background},
                                {"0506", lister::white, lister::background}};
// Two cells square, for the smallest sizes: the first label and the last.
constexpr Line smallDesign[] = {{"01", lister::white, lister::background}, {"49", lister::green, lister::background}};

struct Size {
    int pixels;
    bool small;  // drawn from the two-cell design
};
constexpr Size sizes[] = {{16, true}, {32, false}, {48, true},  {64, false},
                          {128, false}, {192, false}, {256, false}, {512, false}};
constexpr int icoSizes[] = {16, 32, 48, 256};

template <std::size_t rows>
screen::TextScreen draw(const Line (&design)[rows]) {
    screen::TextScreen s;
    const int side = static_cast<int>(rows) * screen::cellWidth;
    screen::initTextScreen(s, side, side);
    for (std::size_t row = 0; row < rows; ++row) {
        s.foreground = design[row].foreground;
        s.background = design[row].background;
        screen::placeCursor(s, static_cast<int>(row) + 1, 1);
        screen::writeBytes(s, design[row].text.data(), design[row].text.size());
    }
    screen::renderPendingCells(s);
    return s;
}

// The picture at `pixels` square, each of its pixels a square of whole pixels.
std::vector<unsigned char> scaled(const screen::TextScreen& s, int pixels) {
    const int factor = pixels / s.pixelWidth;
    std::vector<unsigned char> rgba(static_cast<std::size_t>(pixels) * static_cast<std::size_t>(pixels) * 4);
    for (int y = 0; y < pixels; ++y)
        for (int x = 0; x < pixels; ++x) {
            const screen::Color c = screen::pixelAt(s, x / factor, y / factor);
            unsigned char* out = &rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(pixels) + static_cast<std::size_t>(x)) * 4];
            out[0] = static_cast<unsigned char>(c >> 16);
            out[1] = static_cast<unsigned char>(c >> 8);
            out[2] = static_cast<unsigned char>(c);
            out[3] = 255;
        }
    return rgba;
}

std::string png(const std::vector<unsigned char>& rgba, int pixels) {
    std::string bytes;
    stbi_write_png_to_func(
        [](void* context, void* data, int size) {
            static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
        },
        &bytes, pixels, pixels, 4, rgba.data(), pixels * 4);
    return bytes;
}

void put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}
void put32(std::string& out, unsigned value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// An icon file of PNG images, as Windows has read since Vista: a header,
// one directory entry per image, then the images.
std::string ico(const std::vector<std::pair<int, std::string>>& images) {
    std::string out;
    put16(out, 0);
    put16(out, 1);  // an icon, not a cursor
    put16(out, static_cast<unsigned>(images.size()));
    unsigned offset = 6 + 16 * static_cast<unsigned>(images.size());
    for (const auto& [pixels, bytes] : images) {
        out += static_cast<char>(pixels >= 256 ? 0 : pixels);  // 0 stands for 256
        out += static_cast<char>(pixels >= 256 ? 0 : pixels);
        out += '\0';  // no palette
        out += '\0';
        put16(out, 1);   // planes
        put16(out, 32);  // bits per pixel
        put32(out, static_cast<unsigned>(bytes.size()));
        put32(out, offset);
        offset += static_cast<unsigned>(bytes.size());
    }
    for (const auto& image : images) out += image.second;
    return out;
}

bool save(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = file && std::fclose(file) == 0;
    if (!written || !closed) std::fprintf(stderr, "lister_icon: cannot write %s\n", path.c_str());
    return written && closed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lister_icon FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const screen::TextScreen large = draw(largeDesign);
    const screen::TextScreen small = draw(smallDesign);
    std::vector<std::pair<int, std::string>> icoImages;
    bool saved = true;
    for (const Size& size : sizes) {
        const std::string bytes = png(scaled(size.small ? small : large, size.pixels), size.pixels);
        saved &= save(folder + "/lister-" + std::to_string(size.pixels) + ".png", bytes);
        for (int pixels : icoSizes)
            if (pixels == size.pixels) icoImages.emplace_back(pixels, bytes);
    }
    saved &= save(folder + "/lister.ico", ico(icoImages));
    return saved ? 0 : 1;
}
