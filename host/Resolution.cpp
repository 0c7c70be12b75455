#include "host/Resolution.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>

namespace EffectHost
{

void Downsample(const World& full, World& into, int factor)
{
    if (factor < 1 || into.Width() != DownsampledSize(full.Width(), factor) ||
        into.Height() != DownsampledSize(full.Height(), factor))
    {
        throw std::invalid_argument(
            fmt::format("Downsample: the target is not 1/{} of the source", factor));
    }
    // One row of channel sums per output row, reused.
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(into.Width()) * 4);
    for (A_long outY = 0; outY < into.Height(); ++outY)
    {
        std::fill(sums.begin(), sums.end(), 0u);
        const A_long top = outY * factor;
        const A_long bottom = std::min<A_long>(top + factor, full.Height());
        for (A_long y = top; y < bottom; ++y)
        {
            const PF_Pixel* row = &full.At(0, y);
            for (A_long x = 0; x < full.Width(); ++x)
            {
                std::uint32_t* sum = &sums[static_cast<std::size_t>(x / factor) * 4];
                sum[0] += row[x].alpha;
                sum[1] += row[x].red;
                sum[2] += row[x].green;
                sum[3] += row[x].blue;
            }
        }
        PF_Pixel* out = &into.At(0, outY);
        const std::uint32_t rows = static_cast<std::uint32_t>(bottom - top);
        for (A_long outX = 0; outX < into.Width(); ++outX)
        {
            const A_long left = outX * factor;
            const std::uint32_t count =
                rows *
                static_cast<std::uint32_t>(std::min<A_long>(left + factor, full.Width()) - left);
            const std::uint32_t* sum = &sums[static_cast<std::size_t>(outX) * 4];
            // Rounded to nearest, so a flat picture keeps its exact colour.
            out[outX] = PF_Pixel{static_cast<A_u_char>((sum[0] + count / 2) / count),
                                 static_cast<A_u_char>((sum[1] + count / 2) / count),
                                 static_cast<A_u_char>((sum[2] + count / 2) / count),
                                 static_cast<A_u_char>((sum[3] + count / 2) / count)};
        }
    }
}

} // namespace EffectHost
