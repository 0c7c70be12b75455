#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/renderer/RendererFixture.h"

using namespace RendererTests;
using testing::ElementsAreArray;
using testing::HasSubstr;

namespace
{

TEST_F(RendererTest, SegmentBoundsFollowTheSegmentLength)
{
    Start(64, 48, 40, PaintSmooth);
    const World last = RenderOk(37, 64, 48);
    // The last segment is shorter: 40 frames end in the middle of it.
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(30, 39)));
    EXPECT_GT(Psnr(Input(37), last), 40.0);

    RenderOk(14, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
}

TEST_F(RendererTest, FramesOutsideTheLayerShowTheNearestFrame)
{
    Start(64, 48, 40, PaintSmooth);
    const World past = RenderOk(45, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(30, 39)));
    EXPECT_GT(Psnr(Input(39), past), 40.0);

    const World before = RenderOk(-3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
    EXPECT_GT(Psnr(Input(0), before), 37.0);
}

TEST_F(RendererTest, ALayerShorterThanAFrameStepIsOneFrameAndOneSegment)
{
    EffectHost::Host& host = Start(64, 48, 1, PaintSmooth);
    Set(ParamSegmentLength, 0); // the whole layer is one segment
    host.SetTime({TimeScale, TimeStep, TimeStep / 2, 0});
    const World output = RenderOk(0, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({0}));
    EXPECT_GT(Psnr(Input(0), output), 37.0);
}

TEST_F(RendererTest, ATimeStepOfZeroOrBelowIsRefused)
{
    EffectHost::Host& host = Start(64, 48, 40);
    host.SetTime({TimeScale, 0, 40 * TimeStep, 0});
    World output(64, 48);
    EXPECT_THAT(host.Render(output).errorMessage, HasSubstr("time step of 0"));

    // A backward step would fold the whole layer into frame 0.
    host.SetTime({TimeScale, -TimeStep, 40 * TimeStep, 5 * TimeStep});
    EXPECT_THAT(host.Render(output).errorMessage,
                HasSubstr("time step of " + std::to_string(-TimeStep)));
    EXPECT_TRUE(checkedOut_.empty());
}

TEST_F(RendererTest, TwoPassProgressReachesTwiceTheFrameCountExactly)
{
    Start(64, 48, 40);
    SetMode("Average Bitrate");
    RecordProgress();
    RenderOk(37, 64, 48);

    // Ten frames, each reported once per pass, drained frames included.
    ASSERT_EQ(progress_.size(), 20u);
    for (std::size_t i = 0; i < progress_.size(); ++i)
    {
        EXPECT_EQ(progress_[i].first, static_cast<A_long>(i + 1));
        EXPECT_EQ(progress_[i].second, 20);
    }
    EXPECT_THAT(checkedOut_, ElementsAreArray(Repeat(Frames(30, 39), 2)));
}

TEST_F(RendererTest, OnlyTheFinalPassStoresFrames)
{
    EffectHost::Host& host = Start(64, 48, 40);
    SetMode("Average Bitrate");
    const EffectHost::HandleAccounting before = host.Handles();
    std::vector<int> createdAtCheckout;
    layer_->onFrame = [&](A_long) { createdAtCheckout.push_back(host.Handles().created); };

    RenderOk(3, 64, 48);

    // One paint for the render's own layer frame, then 15 checkouts per pass.
    ASSERT_EQ(createdAtCheckout.size(), 31u);
    for (std::size_t i = 0; i <= 16; ++i)
    {
        EXPECT_EQ(createdAtCheckout[i], before.created) << "paint " << i;
    }
    EXPECT_GT(createdAtCheckout.back(), before.created);
    // Two planes for each frame of the segment.
    const EffectHost::HandleAccounting after = host.Handles();
    EXPECT_EQ(after.created - before.created, 30);
    EXPECT_EQ(after.liveHandles - before.liveHandles, 30);
    EXPECT_EQ(after.lockedHandles, 0);
    EXPECT_GT(after.bytesOutstanding, before.bytesOutstanding);
}

TEST_F(RendererTest, InputThatChangesBetweenThePassesStopsTheEncode)
{
    EffectHost::Host& host = Start(64, 48, 40);
    SetMode("Average Bitrate");
    // The host paints frame 2 for the render itself, then once per pass:
    // the third paint is the final pass, and it differs.
    layer_->painter = [this](A_long frame, World& into)
    {
        PaintPattern(frame, into);
        if (std::count(layer_->rendered.begin(), layer_->rendered.end(), frame) >= 3)
        {
            into.At(5, 5).red ^= 0x40;
        }
    };
    World output(64, 48);
    const EffectHost::CommandResult result = Render(2, output);
    EXPECT_THAT(result.errorMessage, HasSubstr("Unexpected error: mismatching frame hash"));
    EXPECT_EQ(host.Handles().lockedHandles, 0);
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
    EXPECT_EQ(bFrames, 1);

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
