#include "screen/screen_dump.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include "platform/platform.h"

namespace screen {
namespace {

struct Output {
    std::FILE* file = nullptr;
    bool failed = false;
    int error = 0;
};

void writeChunk(void* context, void* data, int size) {
    auto* out = static_cast<Output*>(context);
    if (out->failed) return;
    if (std::fwrite(data, 1, static_cast<std::size_t>(size), out->file) != static_cast<std::size_t>(size)) {
        out->failed = true;
        out->error = errno;
    }
}

// Opens, lets `fill` write, and closes, catching a failure at any step.
template <typename Fill>
std::string writeFile(const std::string& path, Fill fill) {
    Output out;
    out.file = platform::openFile(path, "wb");
    if (!out.file) return std::strerror(errno);
    const bool filled = fill(out);
    if (!filled && !out.failed) {
        out.failed = true;
        out.error = EIO;
    }
    if (std::fclose(out.file) != 0 && !out.failed) {
        out.failed = true;
        out.error = errno;
    }
    return out.failed ? std::strerror(out.error ? out.error : EIO) : std::string();
}

}  // namespace

std::string writeScreenshot(const TextScreen& s, const std::string& path) {
    std::vector<unsigned char> rgb(s.frame.size() * 3);
    for (std::size_t i = 0; i < s.frame.size(); ++i) {
        rgb[i * 3] = static_cast<unsigned char>(s.frame[i] >> 16);
        rgb[i * 3 + 1] = static_cast<unsigned char>(s.frame[i] >> 8);
        rgb[i * 3 + 2] = static_cast<unsigned char>(s.frame[i]);
    }
    return writeFile(path, [&](Output& out) {
        return stbi_write_png_to_func(writeChunk, &out, s.pixelWidth, s.pixelHeight, 3, rgb.data(),
                                      s.pixelWidth * 3) != 0;
    });
}

std::string writeCellsDump(const TextScreen& s, const std::string& path) {
    std::string text;
    text.reserve(static_cast<std::size_t>((s.columns + 1) * s.rows));
    for (int row = 1; row <= s.rows; ++row) {
        for (int column = 1; column <= s.columns; ++column) text += static_cast<char>(cellAt(s, row, column).byte);
        text += '\n';
    }
    return writeFile(path, [&](Output& out) {
        writeChunk(&out, text.data(), static_cast<int>(text.size()));
        return true;
    });
}

}  // namespace screen
