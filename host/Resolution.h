#pragma once

#include "AE_Effect.h"
#include "host/World.h"

namespace EffectHost
{

// Preview resolution, as a compositing host offers it: at 1/n ("half" is 2,
// "third" 3, "quarter" 4) the layer and the effect's output are rendered at
// ceil(size / n) in each direction, and in_data's downsample_x/y say 1/n.
constexpr int LargestDownsample = 16;

// ceil(size / factor) for a factor of at least 1.
constexpr A_long DownsampledSize(A_long size, int factor) noexcept
{
    return factor > 1 ? (size + factor - 1) / factor : size;
}

// Fills `into` (of the downsampled size of `full`) with the average of the
// factor x factor block of `full` that each pixel covers; blocks at the right
// and bottom edges are cut short and averaged over what they hold. Throws
// std::invalid_argument when the sizes do not match.
void Downsample(const World& full, World& into, int factor);

} // namespace EffectHost
