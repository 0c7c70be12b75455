#include "host/Png.h"

#include <png.h>

#include <fstream>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

namespace EffectHost
{

// The record libpng's simplified API works on, given back with whatever
// libpng still holds (the open file, its read state) when it goes.
namespace
{

// The interlace method from the file's header, which must lead the file:
// the signature (8 bytes), the chunk's length and type (8), then width,
// height, bit depth, colour type, compression and filter (12).
bool IsInterlaced(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    char method = 0;
    return file.seekg(28) && file.get(method) && method != 0;
}

} // namespace

struct PngReader::Image
{
    png_image png{};
    Image() { png.version = PNG_IMAGE_VERSION; }
    ~Image() { png_image_free(&png); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
};

PngReader::PngReader(const std::string& path) : path_(path), image_(std::make_unique<Image>())
{
    png_image& png = image_->png;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0)
    {
        // libpng says only "Read Error" when the file ends early.
        const std::string_view reason = png.message;
        throw std::runtime_error(
            fmt::format("Cannot read {}: {}", path,
                        reason == "Read Error" ? "the file ends inside its header" : reason));
    }
    // 16-bit files rarely say how they are encoded; taking them as linear
    // would brighten every 16-bit picture that a camera or an editor wrote.
    png.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    if ((png.format & PNG_FORMAT_FLAG_LINEAR) != 0 && IsInterlaced(path))
    {
        throw std::runtime_error(fmt::format(
            "Cannot read {}: libpng's reader mixes up the rows of a 16-bit interlaced PNG; "
            "save the image without interlacing or with 8 bits a channel",
            path));
    }
    width_ = static_cast<int>(png.width);
    height_ = static_cast<int>(png.height);
}

PngReader::~PngReader() = default;

void PngReader::Read(PngPixelOrder order, std::span<std::uint8_t> pixels)
{
    png_image& png = image_->png;
    if (png.opaque == nullptr)
    {
        throw std::logic_error("PngReader::Read: the pixels of " + path_ + " were read already");
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    if (pixels.size() != rowBytes * static_cast<std::size_t>(height_))
    {
        throw std::invalid_argument(fmt::format("PngReader::Read: {} x {} pixels are not {} bytes",
                                                width_, height_, pixels.size()));
    }
    png.format = order == PngPixelOrder::Argb ? PNG_FORMAT_ARGB : PNG_FORMAT_RGBA;
    // libpng frees its read state whether or not this succeeds.
    if (png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr) == 0)
    {
        throw std::runtime_error(fmt::format(
            "Cannot read {}: the image data are damaged or cut short ({})", path_, png.message));
    }
}

void WritePngPixels(const std::string& path, int width, int height,
                    std::span<const std::uint8_t> rgba, PngCompression compression)
{
    if (width < 1 || height < 1)
    {
        throw std::runtime_error("Cannot write an empty image to " + path);
    }
    if (rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4)
    {
        throw std::invalid_argument(fmt::format(
            "WritePngPixels: {} bytes are not {} x {} RGBA pixels", rgba.size(), width, height));
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = PNG_FORMAT_RGBA;
    png.flags = compression == PngCompression::Fast ? PNG_IMAGE_FLAG_FAST : 0;
    // libpng cleans up after itself and removes a file it could not finish.
    if (png_image_write_to_file(&png, path.c_str(), 0, rgba.data(), 0, nullptr) == 0)
    {
        throw std::runtime_error(fmt::format("Cannot write {}: {}", path, png.message));
    }
}

} // namespace EffectHost
