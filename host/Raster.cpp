#include "host/Raster.h"

#include <cmath>

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

void WritePng(const Raster& raster, const std::string& path, PngCompression compression)
{
    WritePngPixels(path, raster.Width(), raster.Height(), raster.Bytes(), compression);
}

Raster ReadPng(const std::string& path)
{
    PngReader reader(path);
    Raster raster(reader.Width(), reader.Height());
    reader.Read(PngPixelOrder::Rgba, raster.pixels_);
    return raster;
}

} // namespace EffectHost
