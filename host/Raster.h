#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/Png.h"
#include "host/World.h"

namespace EffectHost
{

// One RGBA pixel of a drawing surface, straight alpha.
struct Rgba
{
    std::uint8_t red = 0, green = 0, blue = 0, alpha = 0;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

// The drawing surface of the panel: a packed RGBA image. Outside coordinates
// read as transparent black and writes to them are dropped, so drawing code
// clips by asking.
class Raster
{
  public:
    Raster() = default;
    Raster(int width, int height, Rgba fill = {});

    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    bool Contains(int x, int y) const noexcept;

    Rgba At(int x, int y) const noexcept;
    void Set(int x, int y, Rgba colour) noexcept;
    // Source-over blending of a straight-alpha colour whose alpha is already
    // scaled by `coverage` (0..1).
    void Blend(int x, int y, Rgba colour, float coverage) noexcept;

    const std::vector<std::uint8_t>& Bytes() const noexcept { return pixels_; }

    // Counts the pixels inside the rectangle [left, right) x [top, bottom)
    // that differ from `background`.
    int CountDifferent(int left, int top, int right, int bottom, Rgba background) const noexcept;

  private:
    // Decodes straight into the pixels.
    friend Raster ReadPng(const std::string& path);

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_;
};

// The world's pixels as a raster (ARGB to RGBA), row padding left out.
Raster RasterFromWorld(const World& world);

// Writes the raster as an 8-bit RGBA PNG. Throws std::runtime_error naming
// the file when it cannot be written.
void WritePng(const Raster& raster, const std::string& path,
              PngCompression compression = PngCompression::Small);
// Reads a PNG of any bit depth, colour type and interlacing as 8-bit RGBA.
// Throws std::runtime_error naming the file.
Raster ReadPng(const std::string& path);

} // namespace EffectHost
