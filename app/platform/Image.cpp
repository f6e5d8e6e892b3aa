#include "platform/Image.h"

#include <png.h>

#include <limits>
#include <utility>

namespace platform {

namespace {

// The largest picture file side read: far beyond any background, small
// enough that a hostile file cannot ask for gigabytes.
constexpr uint32_t kMaxFileSide = 8192;

// Bytes of a packed four-byte picture, or 0 when the size is not usable.
size_t PixelBytes(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const uint64_t n = uint64_t(width) * uint64_t(height) * 4u;
    return n > std::numeric_limits<size_t>::max() / 2 ? 0 : size_t(n);
}

// The picture file's own decoder state, freed however reading ends.
struct PngReader {
    png_image image{};
    PngReader() { image.version = PNG_IMAGE_VERSION; }
    ~PngReader() { png_image_free(&image); }
};

} // namespace

Image::Image(int width, int height, std::vector<uint8_t> rgba, std::string source)
    : m_width(width), m_height(height), m_rgba(std::move(rgba)), m_source(std::move(source))
{
}

ImageRef Image::FromRGBX(const uint8_t* pixels, size_t bytes, int width, int height)
{
    const size_t n = PixelBytes(width, height);
    if (!pixels || n == 0 || bytes < n)
        return nullptr;
    std::vector<uint8_t> rgba(pixels, pixels + n);
    for (size_t i = 3; i < n; i += 4)
        rgba[i] = 0xFF;
    return ImageRef(new Image(width, height, std::move(rgba), "pixels"));
}

ImageRef Image::FromPNGFile(const std::string& path)
{
    PngReader r;
    if (!png_image_begin_read_from_file(&r.image, path.c_str()))
        return nullptr;
    r.image.format = PNG_FORMAT_RGBA;
    if (r.image.width > kMaxFileSide || r.image.height > kMaxFileSide)
        return nullptr;
    const size_t n = PixelBytes(int(r.image.width), int(r.image.height));
    if (n == 0)
        return nullptr;
    std::vector<uint8_t> rgba(n);
    if (!png_image_finish_read(&r.image, nullptr, rgba.data(), 0, nullptr))
        return nullptr;
    return ImageRef(new Image(int(r.image.width), int(r.image.height), std::move(rgba), path));
}

} // namespace platform
