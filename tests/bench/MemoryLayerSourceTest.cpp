#include <stdexcept>

#include <gtest/gtest.h>

#include "bench/MemoryLayerSource.h"

namespace
{

using Bench::MemoryLayerSource;
using EffectHost::World;

// Whether `world` holds frame `frame` of a clip of its size, pixel for pixel.
bool IsClipFrame(const World& world, A_long frame)
{
    for (A_long y = 0; y < world.Height(); ++y)
    {
        for (A_long x = 0; x < world.Width(); ++x)
        {
            if (!(world.At(x, y) ==
                  MemoryLayerSource::ClipPixel(x, y, frame, world.Width(), world.Height())))
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
    layer.FrameAt(2 * 1001, 1001, 30000, into);
    EXPECT_TRUE(IsClipFrame(into, 2));
    EXPECT_FALSE(IsClipFrame(into, 1));
    // Times outside the clip give its nearest frame.
    layer.FrameAt(9 * 1001, 1001, 30000, into);
    EXPECT_TRUE(IsClipFrame(into, 2));
    layer.FrameAt(-1001, 1001, 30000, into);
    EXPECT_TRUE(IsClipFrame(into, 0));
    EXPECT_TRUE(IsClipFrame(layer.Frame(1), 1));

    // A world of another size, and sizes that make no clip, are refused.
    World smaller(39, 30);
    EXPECT_THROW(layer.FrameAt(0, 1001, 30000, smaller), std::logic_error);
    EXPECT_THROW(MemoryLayerSource(0, 16, 1), std::invalid_argument);
    EXPECT_THROW(MemoryLayerSource(20, 16, 0), std::invalid_argument);
}

} // namespace
