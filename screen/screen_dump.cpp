#include "screen/screen_dump.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "platform/platform.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace screen {
namespace {

constexpr char noReader[] = "nobody reads that FIFO";
constexpr char heldByAnother[] = "another lister is writing it";
constexpr char noMemory[] = "not enough memory";

// Written like the listing's file: never waiting for a FIFO's reader,
// never taken from another lister.
struct Output {
    platform::OutputFile file;
    int error = 0;
};

void writeChunk(void* context, void* data, int size) {
    auto* out = static_cast<Output*>(context);
    if (out->error) return;
    const auto length = static_cast<std::size_t>(size);
    if (platform::writeOutputFile(out->file, static_cast<const char*>(data), length) != length)
        out->error = out->file.error ? out->file.error : EIO;
}

const char* reason(int error) {
    switch (error) {
        case 0: return nullptr;
        case ENXIO: return noReader;
        case EWOULDBLOCK: return heldByAnother;
        case ENOMEM: return noMemory;
        default: return std::strerror(error);
    }
}

// Opens, lets `fill` write (false: it had no memory), and closes, catching
// a failure at any step.
template <typename Fill>
const char* writeFile(const std::string& path, Fill fill) {
    Output out;
    if (!platform::openOutputFile(out.file, path)) return reason(out.file.error ? out.file.error : EIO);
    if (!fill(out) && !out.error) out.error = ENOMEM;
    if (!platform::closeOutputFile(out.file) && !out.error) out.error = out.file.error ? out.file.error : EIO;
    return reason(out.error);
}

}  // namespace

const char* writeScreenshot(const TextScreen& s, const std::string& path) {
    const std::size_t size = s.frame.size() * 3;
    const std::unique_ptr<unsigned char[]> rgb(new (std::nothrow) unsigned char[size]);
    if (!rgb) return noMemory;
    for (std::size_t i = 0; i < s.frame.size(); ++i) {
        rgb[i * 3] = static_cast<unsigned char>(s.frame[i] >> 16);
        rgb[i * 3 + 1] = static_cast<unsigned char>(s.frame[i] >> 8);
        rgb[i * 3 + 2] = static_cast<unsigned char>(s.frame[i]);
    }
    // The encoder fails only when it has no memory for the picture.
    return writeFile(path, [&](Output& out) {
        return stbi_write_png_to_func(writeChunk, &out, s.pixelWidth, s.pixelHeight, 3, rgb.get(), s.pixelWidth * 3) !=
               0;
    });
}

const char* writeCellsDump(const TextScreen& s, const std::string& path) {
    const std::size_t size = static_cast<std::size_t>((s.columns + 1) * s.rows);
    const std::unique_ptr<char[]> text(new (std::nothrow) char[size]);
    if (!text) return noMemory;
    std::size_t at = 0;
    for (int row = 1; row <= s.rows; ++row) {
        for (int column = 1; column <= s.columns; ++column) text[at++] = static_cast<char>(cellAt(s, row, column).byte);
        text[at++] = '\n';
    }
    return writeFile(path, [&](Output& out) {
        writeChunk(&out, text.get(), static_cast<int>(size));
        return true;
    });
}

}  // namespace screen
