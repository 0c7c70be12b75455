#include "effect/Logo.h"

#include <sstream>
#include <string>

#include <png++/png.hpp>

const DrawContext::Image& Logo::GetImage(const ImageMaker& make)
{
    if (!image_)
    {
        if (!decoded_)
        {
            Decode();
            decoded_ = true;
        }
        // A host that could not make the image gives none, and the next draw
        // asks it again.
        image_ = make(pixels_);
    }
    return image_;
}

void Logo::Decode()
{
    // png++ reads from a stream; the stream and the decoded rows last only
    // for this call, the pixels stay in the page buffer.
    std::istringstream stream(std::string(reinterpret_cast<const char*>(png_.data()), png_.size()),
                              std::ios::in | std::ios::binary);
    const png::image<png::rgba_pixel> image(stream);

    const std::uint32_t width = image.get_width();
    const std::uint32_t height = image.get_height();
    pixels_.Reset(width, height);
    std::uint8_t* start = pixels_.GetData();
    for (std::uint32_t y = 0; y < height; ++y)
    {
        std::uint8_t* row = start + static_cast<std::size_t>(y) * pixels_.GetStride();
        for (std::uint32_t x = 0; x < width; ++x)
        {
            const png::rgba_pixel pixel = image.get_pixel(x, y);
            ImageBuffer::WritePixel(row + static_cast<std::size_t>(x) * ImageBuffer::BytesPerPixel,
                                    pixel.red, pixel.green, pixel.blue, pixel.alpha);
        }
    }
}
