// The preview against the source pixels where compression adds no error:
// at Rate Factor 0 x264 is lossless, so whatever differs comes from the
// conversions into and out of the encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "tests/renderer/MemorySource.h"

using namespace RendererTests;

namespace
{

// Colour bars (75 %) and a few strong colours, as flat 16 x 16 patches.
constexpr std::array<PF_Pixel, 12> Patches{{{255, 191, 191, 191},
                                            {255, 191, 191, 0},
                                            {255, 0, 191, 191},
                                            {255, 0, 191, 0},
                                            {255, 191, 0, 191},
                                            {255, 191, 0, 0},
                                            {255, 0, 0, 191},
                                            {255, 16, 16, 16},
                                            {255, 230, 120, 40},
                                            {255, 40, 160, 220},
                                            {255, 128, 128, 128},
                                            {255, 90, 60, 150}}};
constexpr std::int32_t PatchSize = 16;
constexpr std::int32_t BandRows = 16;

// Three bands: a gray ramp over every level (two columns a level), gray
// noise that changes every pixel, and a row of flat colour patches.
void PaintRampNoiseAndPatches(std::int32_t, Picture& into)
{
    for (std::int32_t y = 0; y < into.Height(); ++y)
    {
        for (std::int32_t x = 0; x < into.Width(); ++x)
        {
            if (y < BandRows)
            {
                const auto level = static_cast<A_u_char>(std::min<std::int32_t>(x / 2, 255));
                into.At(x, y) = PF_Pixel{255, level, level, level};
            }
            else if (y < 2 * BandRows)
            {
                const auto level = static_cast<A_u_char>((x * 7919 + y * 104729) % 251);
                into.At(x, y) = PF_Pixel{255, level, level, level};
            }
            else
            {
                into.At(x, y) = Patches[static_cast<std::size_t>(x / PatchSize) % Patches.size()];
            }
        }
    }
}

TEST_F(RendererTest, ALosslessEncodeShowsTheSourceLevelsWithoutBias)
{
    constexpr std::int32_t Width = 512;
    constexpr std::int32_t Height = 3 * BandRows;
    Start(Width, Height, 2, PaintRampNoiseAndPatches);
    settings_.segmentLength = 2;
    settings_.rateFactor = 0;
    const Picture shown = RenderOk(1, Width, Height);
    const Picture source = Input(1, Width, Height);

    // Chroma is shared across the edges between bands and patches, and the
    // filters on both sides of the encoder reach two chroma samples further:
    // four pixels from an edge the picture is the source's own again.
    constexpr std::int32_t Margin = 4;
    const ChannelErrors ramp = Compare(source, shown, 0, 0, Width, BandRows - Margin);
    EXPECT_LE(ramp.worst, 1);
    EXPECT_NEAR(ramp.mean, 0.0, 0.3);

    // Every pixel in its place: nothing resamples the picture on the way.
    const ChannelErrors noise =
        Compare(source, shown, 0, BandRows + Margin, Width, 2 * BandRows - Margin);
    EXPECT_LE(noise.worst, 1);

    // Each flat colour comes back within a level; rounding may leave a patch
    // a level off in a channel, but not the patches as a whole.
    double sumOfMeans = 0.0;
    for (std::int32_t left = 0; left < Width; left += PatchSize)
    {
        const ChannelErrors patch = Compare(source, shown, left + Margin, 2 * BandRows + Margin,
                                            left + PatchSize - Margin, Height - Margin);
        EXPECT_LE(patch.worst, 1) << "patch at x " << left;
        sumOfMeans += patch.mean;
    }
    EXPECT_NEAR(sumOfMeans / (Width / PatchSize), 0.0, 0.5);
}

TEST_F(RendererTest, AnOddSizeShowsTheEvenEncodeUnscaledWithItsLastColumnAndRowRepeated)
{
    // The pattern does not depend on the layer's size, so the 640 x 360
    // layer holds exactly the top-left pixels of the 641 x 361 one.
    std::vector<Picture> shown;
    for (const std::int32_t extra : {0, 1})
    {
        Start(640 + extra, 360 + extra, 2, PaintPattern);
        settings_.segmentLength = 2;
        settings_.rateFactor = 18;
        shown.push_back(RenderOk(1, 640 + extra, 360 + extra));
    }
    for (std::int32_t y = 0; y < 361; ++y)
    {
        for (std::int32_t x = 0; x < 641; ++x)
        {
            ASSERT_EQ(shown[1].At(x, y),
                      shown[0].At(std::min<std::int32_t>(x, 639), std::min<std::int32_t>(y, 359)))
                << "pixel " << x << ", " << y;
        }
    }
}

} // namespace
