// Segments, passes, progress and the segment summary: the renderer over an
// in-memory layer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/renderer/MemorySource.h"

using namespace RendererTests;
using testing::ElementsAreArray;
using testing::HasSubstr;

namespace
{

TEST_F(RendererTest, SegmentBoundsFollowTheSegmentLength)
{
    Start(64, 48, 40, PaintSmooth);
    const Picture last = RenderOk(37, 64, 48);
    // The last segment is shorter: 40 frames end in the middle of it.
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(30, 39)));
    EXPECT_GT(Psnr(Input(37, 64, 48), last), 40.0);

    RenderOk(14, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
    EXPECT_EQ(source_->segmentsEncoded, 2);
}

TEST_F(RendererTest, FramesOutsideTheLayerShowTheNearestFrame)
{
    Start(64, 48, 40, PaintSmooth);
    const Picture past = RenderOk(45, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(30, 39)));
    EXPECT_GT(Psnr(Input(39, 64, 48), past), 40.0);

    const Picture before = RenderOk(-3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
    EXPECT_GT(Psnr(Input(0, 64, 48), before), 37.0);
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

TEST_F(RendererTest, TwoPassProgressReachesTwiceTheFrameCountExactly)
{
    MemorySource& source = Start(64, 48, 40);
    settings_.averageBitrate = true;
    RenderOk(37, 64, 48);

    // Ten frames, each reported once per pass, drained frames included.
    ASSERT_EQ(source.progress.size(), 20u);
    for (std::size_t i = 0; i < source.progress.size(); ++i)
    {
        EXPECT_EQ(source.progress[i].first, static_cast<std::int32_t>(i + 1));
        EXPECT_EQ(source.progress[i].second, 20);
    }
    EXPECT_THAT(checkedOut_, ElementsAreArray(Repeat(Frames(30, 39), 2)));
}

TEST_F(RendererTest, OnlyTheFinalPassStoresFrames)
{
    MemorySource& source = Start(64, 48, 40);
    settings_.averageBitrate = true;
    std::vector<int> createdAtCheckout;
    source.onCheckout = [&](std::int32_t) { createdAtCheckout.push_back(source.Blocks().created); };

    RenderOk(3, 64, 48);

    // 15 checkouts per pass: nothing is stored before the final pass.
    ASSERT_EQ(createdAtCheckout.size(), 30u);
    for (std::size_t i = 0; i <= 15; ++i)
    {
        EXPECT_EQ(createdAtCheckout[i], 0) << "checkout " << i;
    }
    EXPECT_GT(createdAtCheckout.back(), 0);
    // Two planes for each frame of the segment, none left locked.
    EXPECT_EQ(source.Blocks().created, 30);
    EXPECT_EQ(source.Blocks().live, 30);
    EXPECT_EQ(source.Blocks().locked, 0);
    EXPECT_EQ(source.Blocks().bytes, Current().GetMemoryUsage());
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
    EXPECT_EQ(source.Blocks().locked, 0);
}

TEST_F(RendererTest, ACancelledEncodeKeepsWhatItStoredAndEncodesTheRestAgain)
{
    MemorySource& source = Start(64, 48, 40);
    source.onProgress = [&source](std::int32_t done, std::int32_t)
    {
        if (done == 8)
        {
            source.abort = true;
        }
    };
    Picture output(64, 48);
    EXPECT_EQ(Render(3, output), "code " + std::to_string(PF_Interrupt_CANCEL));
    EXPECT_EQ(source.Blocks().locked, 0);
    source.abort = false;
    source.onProgress = nullptr;
    // Frame 14 was not stored before the stop: its segment is encoded again.
    RenderOk(14, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
}

TEST_F(RendererTest, MemoryThatCannotBeHadStopsTheEncodeAsOutOfMemory)
{
    MemorySource& source = Start(64, 48, 40);
    source.failAllocations = true;
    Picture output(64, 48);
    EXPECT_EQ(Render(3, output), "code " + std::to_string(PF_Err_OUT_OF_MEMORY));
    EXPECT_EQ(Current().GetMemoryUsage(), 0u);
}

TEST_F(RendererTest, AConversionThatFailsBesideTheEncoderStopsTheEncodeWithItsError)
{
    // Frame 6 is converted while x264 encodes frame 5; libswscale refuses a
    // world of no width.
    MemorySource& source = Start(64, 48, 40);
    source.narrowFrame = 6;
    Picture output(64, 48);
    EXPECT_THAT(Render(3, output), HasSubstr("cannot convert 0 x 48 ARGB"));
    EXPECT_EQ(errorCode_, 1031);
    EXPECT_EQ(source.Blocks().locked, 0);
    source.narrowFrame = -1;
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
}

// The four lines of the segment summary, as the log file holds them.
std::vector<std::string> LastSummary(const std::string& log)
{
    const std::size_t at = log.rfind("Frame size: ");
    if (at == std::string::npos)
    {
        return {};
    }
    std::vector<std::string> lines;
    std::size_t start = at;
    for (int i = 0; i < 4 && start < log.size(); ++i)
    {
        const std::size_t end = log.find('\n', start);
        lines.push_back(log.substr(start, end == std::string::npos ? end : end - start));
        start = end == std::string::npos ? log.size() : end + 1;
    }
    return lines;
}

TEST_F(RendererTest, EachSegmentEncodeLogsAFourLineSummary)
{
    Start(64, 48, 40);
    // A preset may use B-frames with the box off: the summary reports the box.
    settings_.bFrames = 2;
    settings_.bFramesChecked = false;
    RenderOk(20, 64, 48);

    const std::vector<std::string> lines = LastSummary(ReadLogFile());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Frame size: 64 x 48, frames: 15 - 29 (15), mode: Rate Factor,");

    int target = 0, actual = 0, rateFactor = 0, keyFrames = 0, bFrames = 0;
    ASSERT_EQ(std::sscanf(lines[1].c_str(),
                          "\ttarget bitrate: %d, actual bitrate: %d, rate factor: %d, keyframe "
                          "step: %d, b-frames: %d",
                          &target, &actual, &rateFactor, &keyFrames, &bFrames),
              5)
        << lines[1];
    EXPECT_EQ(target, 1500);
    EXPECT_EQ(rateFactor, 23);
    EXPECT_EQ(keyFrames, 30);
    EXPECT_EQ(bFrames, 0);

    long encoded = 0, original = 0, storage = 0;
    float ratio = 0;
    ASSERT_EQ(std::sscanf(lines[2].c_str(),
                          "\tEncoded size: %ld, original size: %ld, storage size: %ld, storage "
                          "compression ratio: %f%%",
                          &encoded, &original, &storage, &ratio),
              4)
        << lines[2];
    EXPECT_GT(encoded, 0);
    // 15 frames of 15015 ms / 30 = 500 ms: bits per millisecond.
    EXPECT_EQ(actual, encoded * 8 / 500);
    // Every frame holds at least its 64 x 48 luma and half that in chroma.
    EXPECT_GE(original, 15L * 64 * 48 * 3 / 2);
    EXPECT_EQ(original % 15, 0);
    EXPECT_GT(storage, 0);
    EXPECT_NEAR(ratio, storage * 100.0 / original, 0.051);
    EXPECT_THAT(lines[2], testing::EndsWith("%"));

    float total = -1, checkout = -1, convert = -1, encode = -1, store = -1, unaccounted = -1;
    ASSERT_EQ(std::sscanf(lines[3].c_str(),
                          "\tTime taken: %f s, check-out time: %f, convert time: %f, encode time: "
                          "%f, store time: %f, unaccounted time: %f",
                          &total, &checkout, &convert, &encode, &store, &unaccounted),
              6)
        << lines[3];
    EXPECT_NEAR(total, checkout + convert + encode + store + unaccounted, 0.0051);
    // The summary closes the message: nothing else follows on its last line.
    EXPECT_THAT(lines[3], testing::MatchesRegex(".*unaccounted time: [0-9]+\\.[0-9]{3}"));
}

} // namespace
