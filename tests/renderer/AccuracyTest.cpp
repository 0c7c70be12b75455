// The preview against the source pixels where compression adds no error:
// at Rate Factor 0 x264 is lossless, so whatever differs comes from the
// conversions into and out of the encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

#include "tests/renderer/RendererFixture.h"

using namespace RendererTests;

namespace
{

// Errors of the colour channels of `shown` against `source` over a region.
struct ChannelErrors
{
    double mean = 0.0;
    int worst = 0;
};

ChannelErrors Compare(const World& source, const World& shown, A_long left, A_long top,
                      A_long right, A_long bottom)
{
    long long sum = 0;
    long long count = 0;
    int worst = 0;
    for (A_long y = top; y < bottom; ++y)
    {
        for (A_long x = left; x < right; ++x)
        {
            const PF_Pixel& p = source.At(x, y);
            const PF_Pixel& q = shown.At(x, y);
            for (const int d : {q.red - p.red, q.green - p.green, q.blue - p.blue})
            {
                sum += d;
                worst = std::max(worst, std::abs(d));
                ++count;
            }
        }
    }
    return {static_cast<double>(sum) / static_cast<double>(count), worst};
}

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
constexpr A_long PatchSize = 16;
constexpr A_long BandRows = 16;

// Three bands: a gray ramp over every level (two columns a level), gray
// noise that changes every pixel, and a row of flat colour patches.
void PaintRampNoiseAndPatches(A_long, World& into)
{
    for (A_long y = 0; y < into.Height(); ++y)
    {
        for (A_long x = 0; x < into.Width(); ++x)
        {
            if (y < BandRows)
            {
                const auto level = static_cast<A_u_char>(std::min<A_long>(x / 2, 255));
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
    constexpr A_long Width = 512;
    constexpr A_long Height = 3 * BandRows;
    Start(Width, Height, 2, PaintRampNoiseAndPatches);
    Set(ParamSegmentLength, 2);
    Set(ParamRateFactor, 0);
    const World shown = RenderOk(1, Width, Height);
    const World source = Input(1);

    // Chroma is shared across the edges between bands and patches, and the
    // filters on both sides of the encoder reach two chroma samples further:
    // four pixels from an edge the picture is the source's own again.
    constexpr A_long Margin = 4;
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
    for (A_long left = 0; left < Width; left += PatchSize)
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
    Start(640, 360, 2, PaintPattern);
    Set(ParamSegmentLength, 2);
    Set(ParamRateFactor, 18);
    const World even = RenderOk(1, 640, 360);
    host_->Unload();

    Start(641, 361, 2, PaintPattern);
    Set(ParamSegmentLength, 2);
    Set(ParamRateFactor, 18);
    const World odd = RenderOk(1, 641, 361);

    for (A_long y = 0; y < 361; ++y)
    {
        for (A_long x = 0; x < 641; ++x)
        {
            const PF_Pixel& expected = even.At(std::min<A_long>(x, 639), std::min<A_long>(y, 359));
            const PF_Pixel& actual = odd.At(x, y);
            ASSERT_TRUE(expected.alpha == actual.alpha && expected.red == actual.red &&
                        expected.green == actual.green && expected.blue == actual.blue)
                << "pixel " << x << ", " << y;
        }
    }
}

} // namespace
