#ifndef RILO_APP_IMAGE_H
#define RILO_APP_IMAGE_H

// A picture the front end draws into its window: it owns its pixels, so it
// outlives the buffer it was made from, and it never changes once made.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A rectangle of the window, its origin at the bottom left.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

class Image;
using ImageRef = std::shared_ptr<const Image>;

class Image {
public:
    // A copy of width x height pixels of four bytes each (R, G, B and a
    // byte that is not read, so the picture is opaque), rows top-down and
    // packed. Null when a side is not positive or bytes are too few.
    static ImageRef FromRGBX(const uint8_t* pixels, size_t bytes, int width, int height);
    // The picture in a PNG file; null when it cannot be read as one.
    static ImageRef FromPNGFile(const std::string& path);

    int width() const { return m_width; }
    int height() const { return m_height; }
    // R, G, B, A bytes (not premultiplied), rows top-down and packed.
    const std::vector<uint8_t>& rgba() const { return m_rgba; }
    // Where the picture came from: "pixels", or the file's path.
    const std::string& source() const { return m_source; }

private:
    Image(int width, int height, std::vector<uint8_t> rgba, std::string source);

    int m_width;
    int m_height;
    std::vector<uint8_t> m_rgba;
    std::string m_source;
};

} // namespace platform

#endif
