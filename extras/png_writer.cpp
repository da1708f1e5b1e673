#include "extras/png_writer.h"

#include <png.h>

#include <cstring>
#include <string>

namespace varnoke {

Expected<std::vector<Byte>> encodePng(const PictureArea& area) {
    std::vector<Byte> rgb;
    rgb.reserve(area.pixels.size() * 3);
    for (const std::uint32_t pixel : area.pixels) {
        rgb.push_back(static_cast<Byte>(pixel >> 16));
        rgb.push_back(static_cast<Byte>(pixel >> 8));
        rgb.push_back(static_cast<Byte>(pixel));
    }

    // libpng's simplified interface reports errors through its return value and the
    // image's message, never through longjmp into this code.
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(area.width);
    image.height = static_cast<png_uint_32>(area.height);
    image.format = PNG_FORMAT_RGB;
    const png_int_32 stride = area.width * 3;

    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), stride, nullptr))
        return Failure{std::string("cannot make the PNG picture: ") + image.message};
    std::vector<Byte> png(size);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, rgb.data(), stride, nullptr))
        return Failure{std::string("cannot make the PNG picture: ") + image.message};
    png.resize(size);
    png_image_free(&image);
    return png;
}

}  // namespace varnoke
