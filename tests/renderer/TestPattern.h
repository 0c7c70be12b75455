#pragma once

#include <cstdint>

#include "AE_Effect.h"

namespace RendererTests
{

// A picture with smooth gradients and fine detail that moves a little from
// frame to frame, as a compressed preview would show it.
inline PF_Pixel PatternAt(std::int32_t x, std::int32_t y, std::int32_t frame)
{
    const int shifted = x + 2 * frame;
    PF_Pixel pixel;
    pixel.alpha = 255;
    pixel.red = static_cast<A_u_char>((shifted * 255) / 128);
    pixel.green = static_cast<A_u_char>(64 + (y * 127) / 96);
    pixel.blue = static_cast<A_u_char>(((shifted / 8 + y / 8) % 2) ? 200 : 60);
    return pixel;
}

} // namespace RendererTests
