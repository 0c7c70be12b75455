#include "host/LayerSource.h"

#include <cstdint>

namespace EffectHost
{

std::shared_ptr<const World> LayerSource::HeldFrame(A_long, A_long, A_u_long) const
{
    return nullptr;
}

SolidLayerSource::SolidLayerSource(A_long width, A_long height, PF_Pixel colour)
    : width_(width), height_(height), colour_(colour)
{
}

void SolidLayerSource::FrameAt(A_long, A_long, A_u_long, World& into) const
{
    into.Fill(colour_);
}

PatternLayerSource::PatternLayerSource(A_long width, A_long height) : width_(width), height_(height)
{
}

PF_Pixel PatternLayerSource::PatternPixel(A_long x, A_long y, A_long frame, A_long width,
                                          A_long height) noexcept
{
    // A ramp that scrolls four pixels a frame, and a block an eighth of the
    // picture wide that crosses it, so consecutive frames always differ.
    const auto ramp = static_cast<std::uint8_t>((x + y + frame * 4) & 0xFF);
    const A_long block = width / 8 > 0 ? width / 8 : 1;
    const A_long blockLeft = (frame * 8) % (width > 0 ? width : 1);
    const bool inBlock =
        x >= blockLeft && x < blockLeft + block && y >= height / 3 && y < height / 3 + block;
    if (inBlock)
    {
        return PF_Pixel{255, 240, 240, 240};
    }
    return PF_Pixel{255, ramp, static_cast<std::uint8_t>((y * 255) / (height > 1 ? height - 1 : 1)),
                    static_cast<std::uint8_t>(255 - ramp)};
}

void PatternLayerSource::FrameAt(A_long time, A_long timeStep, A_u_long, World& into) const
{
    const A_long frame = timeStep > 0 ? time / timeStep : 0;
    for (A_long y = 0; y < into.Height(); ++y)
    {
        for (A_long x = 0; x < into.Width(); ++x)
        {
            into.At(x, y) = PatternPixel(x, y, frame, into.Width(), into.Height());
        }
    }
}

} // namespace EffectHost
