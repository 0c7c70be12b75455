#include "bench/MemoryLayerSource.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace Bench
{

namespace
{

// A well-mixed 32-bit value from a position and frame, for texture and grain
// that look random to the encoder yet are the same on every run.
std::uint32_t Mix(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept
{
    std::uint32_t h = x * 0x9E3779B1u ^ y * 0x85EBCA77u ^ z * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

std::uint8_t Clamp8(int value) noexcept
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

} // namespace

MemoryLayerSource::MemoryLayerSource(A_long width, A_long height, A_long frames)
    : width_(width), height_(height)
{
    if (width < 1 || height < 1 || frames < 1)
    {
        throw std::invalid_argument("A benchmark clip needs at least one frame of 1 x 1");
    }
    frames_.reserve(static_cast<std::size_t>(frames));
    for (A_long f = 0; f < frames; ++f)
    {
        auto world = std::make_shared<EffectHost::World>(width, height);
        for (A_long y = 0; y < height; ++y)
        {
            PF_Pixel* row = &world->At(0, y);
            for (A_long x = 0; x < width; ++x)
            {
                row[x] = ClipPixel(x, y, f, width, height);
            }
        }
        frames_.push_back(std::move(world));
    }
}

MemoryLayerSource::MemoryLayerSource(std::vector<EffectHost::World> frames)
    : width_(frames.empty() ? 0 : frames.front().Width()),
      height_(frames.empty() ? 0 : frames.front().Height())
{
    const bool sameSize =
        std::all_of(frames.begin(), frames.end(),
                    [&](const EffectHost::World& frame)
                    { return frame.Width() == width_ && frame.Height() == height_; });
    if (frames.empty() || !sameSize || width_ < 1 || height_ < 1)
    {
        throw std::invalid_argument("A layer needs at least one frame, all of one size");
    }
    for (EffectHost::World& frame : frames)
    {
        frames_.push_back(std::make_shared<EffectHost::World>(std::move(frame)));
    }
}

std::size_t MemoryLayerSource::IndexAt(A_long time, A_long timeStep) const noexcept
{
    return static_cast<std::size_t>(
        std::clamp(timeStep > 0 ? time / timeStep : 0, 0, FrameCount() - 1));
}

std::shared_ptr<const EffectHost::World> MemoryLayerSource::HeldFrame(A_long time, A_long timeStep,
                                                                      A_u_long) const
{
    return frames_[IndexAt(time, timeStep)];
}

void MemoryLayerSource::FrameAt(A_long time, A_long timeStep, A_u_long,
                                EffectHost::World& into) const
{
    const EffectHost::World& frame = *frames_[IndexAt(time, timeStep)];
    if (into.Width() != frame.Width() || into.Height() != frame.Height() ||
        into.RowBytes() != frame.RowBytes())
    {
        throw std::logic_error("The host asked for the layer in a world of another size");
    }
    std::memcpy(into.Def().data, frame.Def().data,
                static_cast<std::size_t>(frame.RowBytes()) *
                    static_cast<std::size_t>(frame.Height()));
}

PF_Pixel MemoryLayerSource::ClipPixel(A_long x, A_long y, A_long frame, A_long width,
                                      A_long height) noexcept
{
    const int w = std::max(width, 1);
    const int h = std::max(height, 1);

    // Background: gradients across the whole picture that drift slowly.
    int red = 30 + (150 * x) / w + frame / 4;
    int green = 40 + (110 * y) / h;
    int blue = 110 + (80 * (x + y + frame)) / (w + h);

    // Textured panel in the lower left, panning two pixels a frame.
    if (x >= w / 16 && x < w / 16 + (3 * w) / 8 && y >= h / 2 && y < (7 * h) / 8)
    {
        const std::uint32_t t =
            Mix(static_cast<std::uint32_t>(x + 2 * frame), static_cast<std::uint32_t>(y), 0x7E47u);
        const int texture = static_cast<int>(t & 0x3F) - 32;
        red = 120 + texture;
        green = 100 + texture;
        blue = 80 + texture / 2;
    }

    // A title band whose glyph-like bars slide six pixels a frame.
    const int glyph = std::max(w / 64, 2);
    if (y >= h / 8 && y < h / 4)
    {
        const int column = (x - 6 * frame) % (3 * glyph);
        const int band = (y - h / 8) % std::max(h / 24, 2);
        if ((column + 3 * glyph) % (3 * glyph) < 2 * glyph && band > 0)
        {
            red = 235;
            green = 235;
            blue = 225;
        }
    }

    // A disc crossing the picture fast, a twentieth of its width per frame.
    const int radius = std::max(h / 10, 1);
    const int cx = ((frame * w) / 20) % (w + 2 * radius) - radius;
    const int cy = (13 * h) / 20;
    const int dx = x - cx;
    const int dy = y - cy;
    if (dx * dx + dy * dy < radius * radius)
    {
        red = 240;
        green = 140;
        blue = 30;
    }

    // Light grain, different in every frame.
    const int grain =
        static_cast<int>(Mix(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                             static_cast<std::uint32_t>(frame) + 1u) &
                         7) -
        3;
    return PF_Pixel{255, Clamp8(red + grain), Clamp8(green + grain), Clamp8(blue + grain)};
}

} // namespace Bench
