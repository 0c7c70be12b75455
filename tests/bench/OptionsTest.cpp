#include <gtest/gtest.h>

#include "bench/Options.h"

namespace
{

using namespace Bench;

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

} // namespace
