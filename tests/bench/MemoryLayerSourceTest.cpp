#include <stdexcept>

#include <gtest/gtest.h>

#include "bench/MemoryLayerSource.h"

namespace
{

using Bench::MemoryLayerSource;
using EffectHost::World;

bool SamePixels(const World& a, const World& b)
{
    for (A_long y = 0; y < a.Height(); ++y)
    {
        for (A_long x = 0; x < a.Width(); ++x)
        {
            if (!(a.At(x, y) == b.At(x, y)))
            {
                return false;
            }
        }
    }
    return true;
}

TEST(MemoryLayerSource, HandsOutThePrerenderedFrameOfATimeOrTheNearestOneInAWorldOfItsSize)
{
    const MemoryLayerSource layer(40, 30, 3);
    World into(40, 30);
    into.FillPadding(0x5A);
    layer.FrameAt(2 * 1001, 1001, 30000, into);
    EXPECT_TRUE(SamePixels(into, layer.Frame(2)));
    EXPECT_FALSE(SamePixels(into, layer.Frame(1)));
    for (A_long y = 0; y < 30; ++y)
    {
        for (A_long x = 0; x < 40; ++x)
        {
            ASSERT_TRUE(into.At(x, y) == MemoryLayerSource::ClipPixel(x, y, 2, 40, 30));
        }
    }
    // Times outside the clip give its nearest frame.
    layer.FrameAt(9 * 1001, 1001, 30000, into);
    EXPECT_TRUE(SamePixels(into, layer.Frame(2)));
    layer.FrameAt(-1001, 1001, 30000, into);
    EXPECT_TRUE(SamePixels(into, layer.Frame(0)));

    // A world of another size, and sizes that make no clip, are refused.
    World smaller(39, 30);
    EXPECT_THROW(layer.FrameAt(0, 1001, 30000, smaller), std::logic_error);
    EXPECT_THROW(MemoryLayerSource(0, 16, 1), std::invalid_argument);
    EXPECT_THROW(MemoryLayerSource(20, 16, 0), std::invalid_argument);
}

TEST(ClipPixel, IsOpaqueAndChangesFromFrameToFrameAlmostEverywhere)
{
    // Grain and motion must reach nearly every pixel, or the encoder would
    // skip most of the picture and the benchmark would flatter it.
    constexpr A_long Width = 160;
    constexpr A_long Height = 90;
    int changed = 0;
    for (A_long y = 0; y < Height; ++y)
    {
        for (A_long x = 0; x < Width; ++x)
        {
            const PF_Pixel a = MemoryLayerSource::ClipPixel(x, y, 4, Width, Height);
            const PF_Pixel b = MemoryLayerSource::ClipPixel(x, y, 5, Width, Height);
            ASSERT_EQ(a.alpha, 255);
            changed += !(a == b);
        }
    }
    EXPECT_GT(changed, Width * Height * 3 / 4);
}

} // namespace
