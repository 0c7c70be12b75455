#include "host/Raster.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace EffectHost
{

Raster::Raster(int width, int height, Rgba fill)
    : width_(width < 0 ? 0 : width), height_(height < 0 ? 0 : height),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4)
{
    for (std::size_t i = 0; i < pixels_.size(); i += 4)
    {
        pixels_[i] = fill.red;
        pixels_[i + 1] = fill.green;
        pixels_[i + 2] = fill.blue;
        pixels_[i + 3] = fill.alpha;
    }
}

bool Raster::Contains(int x, int y) const noexcept
{
    return x >= 0 && y >= 0 && x < width_ && y < height_;
}

Rgba Raster::At(int x, int y) const noexcept
{
    if (!Contains(x, y))
    {
        return {};
    }
    const std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 4];
    return Rgba{p[0], p[1], p[2], p[3]};
}

void Raster::Set(int x, int y, Rgba colour) noexcept
{
    if (!Contains(x, y))
    {
        return;
    }
    std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 4];
    p[0] = colour.red;
    p[1] = colour.green;
    p[2] = colour.blue;
    p[3] = colour.alpha;
}

void Raster::Blend(int x, int y, Rgba colour, float coverage) noexcept
{
    if (!Contains(x, y) || coverage <= 0.0f)
    {
        return;
    }
    const float sourceAlpha = (colour.alpha / 255.0f) * std::fmin(coverage, 1.0f);
    if (sourceAlpha <= 0.0f)
    {
        return;
    }
    const Rgba under = At(x, y);
    const float underAlpha = under.alpha / 255.0f;
    const float outAlpha = sourceAlpha + underAlpha * (1.0f - sourceAlpha);
    auto mix = [&](std::uint8_t source, std::uint8_t destination)
    {
        const float value =
            (source * sourceAlpha + destination * underAlpha * (1.0f - sourceAlpha)) / outAlpha;
        return static_cast<std::uint8_t>(std::lround(std::fmin(value, 255.0f)));
    };
    Set(x, y,
        Rgba{mix(colour.red, under.red), mix(colour.green, under.green),
             mix(colour.blue, under.blue),
             static_cast<std::uint8_t>(std::lround(outAlpha * 255.0f))});
}

Raster RasterFromWorld(const World& world)
{
    Raster raster(world.Width(), world.Height());
    for (A_long y = 0; y < world.Height(); ++y)
    {
        const PF_Pixel* row = &world.At(0, y);
        for (A_long x = 0; x < world.Width(); ++x)
        {
            raster.Set(x, y, Rgba{row[x].red, row[x].green, row[x].blue, row[x].alpha});
        }
    }
    return raster;
}

int Raster::CountDifferent(int left, int top, int right, int bottom, Rgba background) const noexcept
{
    int count = 0;
    for (int y = top; y < bottom; ++y)
    {
        for (int x = left; x < right; ++x)
        {
            if (Contains(x, y) && !(At(x, y) == background))
            {
                ++count;
            }
        }
    }
    return count;
}

namespace
{

struct FileCloser
{
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// libpng reports errors through longjmp by default; turning them into
// exceptions from the error callback keeps C++ unwinding intact.
[[noreturn]] void ThrowPngError(png_structp, png_const_charp message)
{
    throw std::runtime_error(message);
}

void IgnorePngWarning(png_structp, png_const_charp) {}

class PngWriter
{
  public:
    PngWriter()
    {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngError,
                                       IgnorePngWarning);
        info_ = png_ ? png_create_info_struct(png_) : nullptr;
        if (!png_ || !info_)
        {
            throw std::runtime_error("libpng could not start");
        }
    }
    ~PngWriter() { png_destroy_write_struct(&png_, &info_); }
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

class PngReader
{
  public:
    PngReader()
    {
        png_ =
            png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngError, IgnorePngWarning);
        info_ = png_ ? png_create_info_struct(png_) : nullptr;
        if (!png_ || !info_)
        {
            throw std::runtime_error("libpng could not start");
        }
    }
    ~PngReader() { png_destroy_read_struct(&png_, &info_, nullptr); }
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

} // namespace

void WritePng(const Raster& raster, const std::string& path, PngCompression compression)
{
    if (raster.Width() == 0 || raster.Height() == 0)
    {
        throw std::runtime_error("Cannot write an empty image to " + path);
    }
    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
    {
        throw std::runtime_error("Cannot write " + path);
    }
    try
    {
        PngWriter writer;
        png_init_io(writer.png_, file.get());
        if (compression == PngCompression::Fast)
        {
            png_set_compression_level(writer.png_, 1);
            png_set_filter(writer.png_, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
        }
        png_set_IHDR(writer.png_, writer.info_, raster.Width(), raster.Height(), 8,
                     PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(writer.png_, writer.info_);
        const auto& bytes = raster.Bytes();
        for (int y = 0; y < raster.Height(); ++y)
        {
            png_write_row(writer.png_,
                          bytes.data() + static_cast<std::size_t>(y) * raster.Width() * 4);
        }
        png_write_end(writer.png_, writer.info_);
    }
    catch (const std::runtime_error& error)
    {
        throw std::runtime_error("Cannot write " + path + ": " + error.what());
    }
    if (std::fflush(file.get()) != 0)
    {
        throw std::runtime_error("Cannot write " + path);
    }
}

Raster ReadPng(const std::string& path)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
    {
        throw std::runtime_error("Cannot read " + path);
    }
    try
    {
        PngReader reader;
        png_init_io(reader.png_, file.get());
        png_read_info(reader.png_, reader.info_);
        png_set_expand(reader.png_);
        png_set_strip_16(reader.png_);
        png_set_gray_to_rgb(reader.png_);
        png_set_add_alpha(reader.png_, 0xFF, PNG_FILLER_AFTER);
        png_read_update_info(reader.png_, reader.info_);
        const int width = static_cast<int>(png_get_image_width(reader.png_, reader.info_));
        const int height = static_cast<int>(png_get_image_height(reader.png_, reader.info_));
        std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 4);
        Raster raster(width, height);
        for (int y = 0; y < height; ++y)
        {
            png_read_row(reader.png_, row.data(), nullptr);
            for (int x = 0; x < width; ++x)
            {
                const std::uint8_t* p = &row[static_cast<std::size_t>(x) * 4];
                raster.Set(x, y, Rgba{p[0], p[1], p[2], p[3]});
            }
        }
        return raster;
    }
    catch (const std::runtime_error& error)
    {
        throw std::runtime_error("Cannot read " + path + ": " + error.what());
    }
}

} // namespace EffectHost
