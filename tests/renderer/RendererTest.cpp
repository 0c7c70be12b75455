// Segments, passes, progress, failures, the segment summary, and the reuse
// of stored frames: the renderer over an in-memory layer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/renderer/MemorySource.h"

using namespace RendererTests;
using testing::ElementsAreArray;
using testing::HasSubstr;

namespace
{

TEST_F(RendererTest, SegmentsFollowTheSegmentLengthAndFramesOutsideTheLayerShowTheNearest)
{
    Start(64, 48, 40, PaintSmooth);
    // The last segment is shorter: 40 frames end in the middle of it.
    const Picture past = RenderOk(45, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(30, 39)));
    EXPECT_GT(Psnr(Input(39, 64, 48), past), 40.0);
    const Picture last = RenderOk(37, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({37}));
    EXPECT_GT(Psnr(Input(37, 64, 48), last), 40.0);

    const Picture before = RenderOk(-3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
    EXPECT_GT(Psnr(Input(0, 64, 48), before), 37.0);
    RenderOk(14, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({14}));
    EXPECT_EQ(source_->segmentsEncoded, 2);
}

TEST_F(RendererTest, ALayerShorterThanAFrameStepIsOneFrameAndOneSegment)
{
    Start(64, 48, 1, PaintSmooth);
    settings_.segmentLength = 0; // the whole layer is one segment
    settings_.totalTime = TimeStep / 2;
    const Picture output = RenderOk(0, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({0}));
    EXPECT_GT(Psnr(Input(0, 64, 48), output), 37.0);
}

TEST_F(RendererTest, ATimeStepOfZeroOrBelowIsRefused)
{
    Start(64, 48, 40);
    for (const std::int32_t step : {0, -TimeStep})
    {
        settings_.timeStep = step;
        Picture output(64, 48);
        EXPECT_THAT(Render(0, output), HasSubstr("time step of " + std::to_string(step)));
        EXPECT_TRUE(checkedOut_.empty());
    }
}

TEST_F(RendererTest, TwoPassesReportTwiceTheFrameCountAndOnlyTheFinalPassStores)
{
    MemorySource& source = Start(64, 48, 40, PaintSmooth);
    settings_.averageBitrate = true;
    settings_.targetBitrateKbps = 20000;
    // Close to the input at a high bitrate.
    EXPECT_GT(Psnr(Input(37, 64, 48), RenderOk(37, 64, 48)), 44.0);

    // Ten frames, each reported once per pass, drained frames included.
    ASSERT_EQ(source.progress.size(), 20u);
    for (std::size_t i = 0; i < source.progress.size(); ++i)
    {
        EXPECT_EQ(source.progress[i], std::make_pair(static_cast<std::int32_t>(i + 1), 20));
    }
    std::vector<std::int32_t> twice = Frames(30, 39);
    twice.insert(twice.end(), twice.begin(), twice.end());
    EXPECT_THAT(checkedOut_, ElementsAreArray(twice));
    // 10 checkouts per pass: nothing is stored before the final pass.
    ASSERT_EQ(source.createdAtCheckout.size(), 20u);
    EXPECT_EQ(
        std::vector<int>(source.createdAtCheckout.begin(), source.createdAtCheckout.begin() + 11),
        std::vector<int>(11, 0));
    // Two planes for each frame of the segment, none left locked.
    EXPECT_EQ(source.created, 20);
    EXPECT_EQ(source.locked, 0);
}

TEST_F(RendererTest, InputThatChangesBetweenThePassesStopsTheEncode)
{
    MemorySource& source = Start(64, 48, 40);
    settings_.averageBitrate = true;
    // Frame 2 is checked out once per pass; the final pass sees other pixels.
    int paints = 0;
    source.painter = [&paints](std::int32_t frame, Picture& into)
    {
        PaintPattern(frame, into);
        if (frame == 2 && ++paints == 2)
        {
            into.At(5, 5).red ^= 0x40;
        }
    };
    Picture output(64, 48);
    EXPECT_THAT(Render(2, output), HasSubstr("Unexpected error: mismatching frame hash"));
    EXPECT_EQ(source.locked, 0);
}

TEST_F(RendererTest, AnEncodeStoppedByMemoryAConversionOrTheUserLocksNothingAndCanBeRedone)
{
    MemorySource& source = Start(64, 48, 40);
    Picture output(64, 48);
    source.failAllocations = true;
    EXPECT_EQ(Render(3, output), "code " + std::to_string(PF_Err_OUT_OF_MEMORY));
    EXPECT_EQ(Current().GetMemoryUsage(), 0u);
    source.failAllocations = false;

    // Frame 6 is converted while x264 encodes frame 5; libswscale refuses a
    // world of no width.
    source.narrowFrame = 6;
    EXPECT_THAT(Render(3, output), HasSubstr("cannot convert 0 x 48 ARGB"));
    EXPECT_EQ(errorCode_, 1031);
    EXPECT_EQ(source.locked, 0);
    source.narrowFrame = -1;
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));

    // A cancelled encode keeps what it stored; frame 29 was not stored
    // before the stop, so its segment is encoded again.
    source.abortAt = 8;
    EXPECT_EQ(Render(20, output), "code " + std::to_string(PF_Interrupt_CANCEL));
    EXPECT_EQ(source.locked, 0);
    source.abort = false;
    source.abortAt = -1;
    RenderOk(29, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(15, 29)));
}

TEST_F(RendererTest, EachSegmentEncodeLogsAFourLineSummary)
{
    Start(64, 48, 40);
    // A preset may use B-frames with the box off: the summary reports the box.
    settings_.bFrames = 2;
    settings_.bFramesChecked = false;
    RenderOk(20, 64, 48);

    const std::string log = ReadLogFile();
    std::istringstream summary(log.substr(std::min(log.rfind("Frame size: "), log.size())));
    std::vector<std::string> lines(4);
    for (std::string& line : lines)
    {
        std::getline(summary, line);
    }
    EXPECT_EQ(lines[0], "Frame size: 64 x 48, frames: 15 - 29 (15), mode: Rate Factor,");

    int target = 0, actual = 0, rateFactor = 0, keyFrames = 0, bFrames = 0;
    long encoded = 0, original = 0, storage = 0;
    float ratio = 0, total = -1, checkout = -1, convert = -1, encode = -1, store = -1;
    float unaccounted = -1;
    const std::string rest = lines[1] + "\n" + lines[2] + "\n" + lines[3];
    ASSERT_EQ(std::sscanf(rest.c_str(),
                          "\ttarget bitrate: %d, actual bitrate: %d, rate factor: %d, keyframe "
                          "step: %d, b-frames: %d\n\tEncoded size: %ld, original size: %ld, "
                          "storage size: %ld, storage compression ratio: %f%%\n\tTime taken: %f "
                          "s, check-out time: %f, convert time: %f, encode time: %f, store time: "
                          "%f, unaccounted time: %f",
                          &target, &actual, &rateFactor, &keyFrames, &bFrames, &encoded, &original,
                          &storage, &ratio, &total, &checkout, &convert, &encode, &store,
                          &unaccounted),
              15)
        << rest;
    EXPECT_EQ(std::tuple(target, rateFactor, keyFrames, bFrames), std::tuple(1500, 23, 30, 0));
    EXPECT_GT(encoded, 0);
    // 15 frames of 15015 ms / 30 = 500 ms: bits per millisecond.
    EXPECT_EQ(actual, encoded * 8 / 500);
    // Every frame holds at least its 64 x 48 luma and half that in chroma.
    EXPECT_GE(original, 15L * 64 * 48 * 3 / 2);
    EXPECT_EQ(original % 15, 0);
    EXPECT_GT(storage, 0);
    EXPECT_NEAR(ratio, storage * 100.0 / original, 0.051);
    EXPECT_THAT(lines[2], testing::EndsWith("%"));
    EXPECT_NEAR(total, checkout + convert + encode + store + unaccounted, 0.0051);
    // The summary closes the message: nothing else follows on its last line.
    EXPECT_THAT(lines[3], testing::MatchesRegex(".*unaccounted time: [0-9]+\\.[0-9]{3}"));
}

// When a stored frame is shown again and when its segment is encoded anew,
// and how a stored frame fills outputs of other sizes.
TEST_F(RendererTest, ACurrentFrameIsCopiedOutWithoutEncodingWhateverItsRowPaddingHolds)
{
    int marker = 0;
    MemorySource& source = Start(64, 48, 40,
                                 [&marker](std::int32_t frame, Picture& into)
                                 {
                                     PaintSmooth(frame, into);
                                     into.FillPadding(static_cast<std::uint8_t>(++marker));
                                 });
    const Picture first = RenderOk(3, 64, 48);
    source.progress.clear();
    const std::size_t lastSummary = ReadLogFile().rfind("Frame size: ");
    const int blocks = source.created;

    const Picture again = RenderOk(3, 64, 48);
    // Only the reuse test looks at the layer: no pass, no progress, no store.
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_TRUE(source.progress.empty());
    EXPECT_EQ(source.created, blocks);
    EXPECT_EQ(ReadLogFile().rfind("Frame size: "), lastSummary);
    EXPECT_EQ(Psnr(first, again), 99.0);

    // Every other frame of the segment is stored too.
    RenderOk(11, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({11}));
}

TEST_F(RendererTest, AnyChangeOfContentEncodesTheSegmentAgain)
{
    enum Scene
    {
        Transparent,
        Smooth,
        OnePixelChanged,
        Title,
        TitleMoved
    } scene = Transparent;
    Start(64, 48, 40,
          [&scene](std::int32_t frame, Picture& into)
          {
              // A title nudged ten pixels over a flat background, else ramps.
              const std::int32_t left = scene == Title ? 10 : 20;
              Paint(into,
                    [&](std::int32_t x, std::int32_t y)
                    {
                        const bool title = y >= 20 && y < 30 && x >= left && x < left + 10;
                        return title ? PF_Pixel{255, 250, 250, 250} : PF_Pixel{255, 90, 90, 90};
                    });
              if (scene == Transparent)
              {
                  into.Fill(PF_Pixel{0, 0, 0, 0});
              }
              else if (scene < Title)
              {
                  PaintSmooth(frame, into);
                  into.At(17, 9).green ^= scene == OnePixelChanged && frame == 5 ? 1 : 0;
              }
          });
    // A fully transparent frame is held to its content too.
    RenderOk(5, 64, 48);
    RenderOk(5, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({5}));
    scene = Smooth;
    const Picture shown = RenderOk(5, 64, 48);
    EXPECT_EQ(checkedOut_.size(), 16u);
    EXPECT_GT(Psnr(Input(5, 64, 48), shown), 40.0);

    scene = OnePixelChanged;
    RenderOk(5, 64, 48);
    std::vector<std::int32_t> expected = Frames(0, 14);
    expected.insert(expected.begin(), 5);
    EXPECT_THAT(checkedOut_, ElementsAreArray(expected));
    RenderOk(5, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({5}));

    scene = Title;
    RenderOk(5, 64, 48);
    scene = TitleMoved;
    const Picture moved = RenderOk(5, 64, 48);
    EXPECT_EQ(checkedOut_.size(), 16u);
    // The title is shown where it now is.
    EXPECT_GT(moved.At(25, 25).red, 200);
    EXPECT_LT(moved.At(12, 25).red, 140);
}

TEST_F(RendererTest, OddOutputsAreEncodedEvenAndSmallLayersScaledUpFillingTheOutputWhole)
{
    // 17 x 17 is mostly edge, where 4:2:0 chroma costs most.
    for (const auto& [layerWidth, layerHeight, width, height, floor] :
         {std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, double>{17, 17, 17, 17,
                                                                                     30.0},
          {641, 361, 641, 361, 45.0},
          {32, 24, 64, 48, 34.0}})
    {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        Start(layerWidth, layerHeight, 4, PaintSmooth);
        settings_.segmentLength = 2;
        // Alpha 7 marks the unwritten, 0xA5 the padding, which must stay.
        Picture output(width, height);
        output.Fill(PF_Pixel{7, 0, 0, 0});
        output.FillPadding(0xA5);
        ASSERT_EQ(Render(1, output), "");
        EXPECT_TRUE(output.PaddingIntact(0xA5));
        for (std::int32_t y = 0; y < height; ++y)
        {
            for (std::int32_t x = 0; x < width; ++x)
            {
                ASSERT_EQ(output.At(x, y).alpha, 255) << x << ", " << y;
            }
        }
        EXPECT_GT(Psnr(Input(1, width, height), output), floor);
    }
}

TEST_F(RendererTest, StoredFramesFillSmallerOutputsScaledDownAfterASmallerEncodeToo)
{
    Start(64, 48, 40, PaintSmooth);
    RenderOk(3, 64, 48);
    const Picture half = RenderOk(3, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_GT(Psnr(Input(3, 32, 24), half), 39.0);

    // A frame of another segment at a smaller size: encoded at 32 x 24 by
    // the same renderer; the frames stored before decode at their own size.
    RenderOk(20, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(15, 29)));
    const Picture early = RenderOk(3, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_GT(Psnr(Input(3, 32, 24), early), 39.0);
}

// The preview against the source pixels where compression adds no error:
// at Rate Factor 0 x264 is lossless, so whatever differs comes from the
// conversions into and out of the encoder.

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

TEST_F(RendererTest, ALosslessEncodeFollowsColourThatChangesFromRowToRow)
{
    // Red rises and blue falls three levels a row: the chroma of each row
    // lies between two chroma rows of the 4:2:0 picture, and only an
    // interpolation between them gives it back.
    constexpr std::int32_t Width = 64;
    constexpr std::int32_t Height = 80;
    Start(Width, Height, 2,
          [](std::int32_t, Picture& into)
          {
              Paint(into,
                    [](std::int32_t, std::int32_t y)
                    {
                        return PF_Pixel{255, static_cast<A_u_char>(10 + 3 * y), 128,
                                        static_cast<A_u_char>(245 - 3 * y)};
                    });
          });
    settings_.segmentLength = 2;
    settings_.rateFactor = 0;
    const ChannelErrors errors =
        Compare(Input(1, Width, Height), RenderOk(1, Width, Height), 0, 2, Width, Height - 2);
    EXPECT_LE(errors.worst, 1);
}

TEST_F(RendererTest, ALosslessEncodeTreatsColourAlikeAcrossRowsAndColumns)
{
    // Colour that changes sharply from pixel to pixel, the same along rows as
    // along columns: a preview that filters chroma the same way in both
    // directions is as symmetric as its source.
    constexpr std::int32_t Size = 64;
    Start(Size, Size, 2,
          [](std::int32_t, Picture& into)
          {
              Paint(into,
                    [](std::int32_t x, std::int32_t y)
                    {
                        const std::uint32_t mixed =
                            static_cast<std::uint32_t>(std::min(x, y) * 131 + std::max(x, y)) *
                            2654435761u;
                        return PF_Pixel{255, static_cast<A_u_char>(mixed >> 24),
                                        static_cast<A_u_char>(mixed >> 16),
                                        static_cast<A_u_char>(mixed >> 8)};
                    });
          });
    settings_.segmentLength = 2;
    settings_.rateFactor = 0;
    const Picture shown = RenderOk(1, Size, Size);
    Picture transposed(Size, Size);
    for (std::int32_t y = 0; y < Size; ++y)
    {
        for (std::int32_t x = 0; x < Size; ++x)
        {
            transposed.At(x, y) = shown.At(y, x);
        }
    }
    EXPECT_LE(Compare(shown, transposed).worst, 1);
}

} // namespace
