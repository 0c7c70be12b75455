// The benchmark's own parts on their own: its options, the log's segment
// summaries and the layer it prerenders.
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "bench/MemoryLayerSource.h"
#include "bench/Options.h"
#include "bench/SummaryLog.h"
#include "support/Paths.h"

namespace
{

using namespace Bench;
using EffectHost::World;

TEST(Options, QuickRunsAndSizes)
{
    EXPECT_FALSE(ParseOptions({}).help);
    // Quick keeps 720p and three runs unless runs are given.
    const Options quick = ParseOptions({"--quick"});
    EXPECT_EQ(quick.sizes, (std::vector<FrameSize>{{1280, 720}}));
    EXPECT_EQ(quick.runs, 3);
    EXPECT_EQ(ParseOptions({"--runs", "7", "--quick"}).runs, 7);
    EXPECT_EQ(ParseOptions({"--quick", "--runs", "1"}).runs, 1);

    // Sizes replace the defaults in their order.
    const Options options =
        ParseOptions({"--size", "64x48", "--frames", "4", "--runs", "1", "--size", "320x240"});
    EXPECT_EQ(options.sizes, (std::vector<FrameSize>{{64, 48}, {320, 240}}));
    EXPECT_EQ(options.frames, 4);
    EXPECT_EQ(ParseOptions({"--quick", "--size", "64x48"}).sizes,
              (std::vector<FrameSize>{{64, 48}}));
    EXPECT_EQ(ParseOptions({"--module", "/x/Ruzirazu.so"}).modulePath, "/x/Ruzirazu.so");
    EXPECT_TRUE(ParseOptions({"--help"}).help);
}

TEST(Options, RefusesWhatCannotRun)
{
    for (const char* size : {"15x48", "64x15", "64x", "x48", "64x48x2", "64 x 48", "big", ""})
    {
        EXPECT_THROW(ParseFrameSize(size), UsageError) << size;
    }
    EXPECT_EQ(ParseFrameSize("16x16"), (FrameSize{16, 16}));
    EXPECT_THROW(ParseOptions({"--frames", "0"}), UsageError);
    EXPECT_THROW(ParseOptions({"--runs", "-1"}), UsageError);
    EXPECT_THROW(ParseOptions({"--runs", "2x"}), UsageError);
    EXPECT_THROW(ParseOptions({"--runs"}), UsageError);
    EXPECT_THROW(ParseOptions({"--fast"}), UsageError);
}

// Two segment summaries as the effect writes them, among other lines.
constexpr const char* LogText =
    "[Info] [10] [77] Renderer::EncodeSegment: x264 [info]: profile High, level 3.1\n"
    "[Info] [20] [77] Frame size: 1280 x 720, frames: 0 - 29 (30), mode: Rate Factor,\n"
    "\ttarget bitrate: 1500, actual bitrate: 945, rate factor: 23, keyframe step: 30, "
    "b-frames: 1\n"
    "\tEncoded size: 118244, original size: 41472000, storage size: 7826580, storage "
    "compression ratio: 18.9%\n"
    "\tTime taken: 3.997 s, check-out time: 0.125, convert time: 0.200, encode time: 2.836, "
    "store time: 0.757, unaccounted time: 0.079\n"
    "[Info] [30] [77] Frame size: 1280 x 720, frames: 30 - 59 (30), mode: Bitrate,\n"
    "\tEncoded size: 625000, original size: 41472000, storage size: 1, storage compression "
    "ratio: 0.0%\n"
    "\tTime taken: 10.000 s, check-out time: 1.000, convert time: 2.000, encode time: 3.000, "
    "store time: 4.000, unaccounted time: 0.000";

TEST(SummaryLog, ReadsEachSegmentsSizeAndTimesInMilliseconds)
{
    const std::vector<SegmentSummary> summaries = ParseSummaries(LogText);
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_EQ(summaries[0].encodedBytes, 118244u);
    EXPECT_DOUBLE_EQ(summaries[0].total, 3997.0);
    EXPECT_DOUBLE_EQ(summaries[0].checkout, 125.0);
    EXPECT_DOUBLE_EQ(summaries[0].convert, 200.0);
    EXPECT_DOUBLE_EQ(summaries[0].encode, 2836.0);
    EXPECT_DOUBLE_EQ(summaries[0].store, 757.0);
    EXPECT_DOUBLE_EQ(summaries[0].unaccounted, 79.0);
    EXPECT_EQ(summaries[1].encodedBytes, 625000u);
    EXPECT_DOUBLE_EQ(summaries[1].store, 4000.0);
}

TEST(SummaryLog, SkipsIncompleteTimeLinesAndLinesOfOtherKinds)
{
    EXPECT_TRUE(ParseSummaries("[Info] [1] [2] Pass -1 time: 1.000 s\nnothing here\n").empty());
    EXPECT_FALSE(ParseTimeLine("\tTime taken: 3.997 s, check-out time: 0.125, convert time: "
                               "0.200, encode time: 2.836, store time: 0.757")
                     .has_value());
    EXPECT_FALSE(ParseTimeLine("\tTime taken: soon, check-out time: 0.125, convert time: 0.200, "
                               "encode time: 2.836, store time: 0.757, unaccounted time: 0.079")
                     .has_value());
    // A summary without its size line still counts, with no bytes.
    const auto summaries =
        ParseSummaries("\tTime taken: 1.000 s, check-out time: 0.000, convert time: 0.000, "
                       "encode time: 1.000, store time: 0.000, unaccounted time: 0.000\n");
    ASSERT_EQ(summaries.size(), 1u);
    EXPECT_EQ(summaries[0].encodedBytes, 0u);
}

TEST(LogTail, ReadsOnlyWhatTheFileGainedAndStartsAgainWhenItShrinks)
{
    const std::filesystem::path path =
        std::filesystem::path(Zovazaz::GetTempDirectory()) / "tail.log";
    std::filesystem::remove(path);
    LogTail tail(path.string());
    EXPECT_EQ(tail.ReadNew(), "");

    std::ofstream(path, std::ios::app) << "first\n";
    EXPECT_EQ(tail.ReadNew(), "first\n");
    std::ofstream(path, std::ios::app) << "second\n";
    EXPECT_EQ(tail.ReadNew(), "second\n");
    EXPECT_EQ(tail.ReadNew(), "");

    std::ofstream(path, std::ios::trunc) << "new\n";
    EXPECT_EQ(tail.ReadNew(), "new\n");

    LogTail late(path.string());
    EXPECT_EQ(late.ReadNew(), "");
}

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
