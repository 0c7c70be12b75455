// The Information text read back, checked against the effect's own
// formatting of sizes so the parser reads what the panel really writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "cli/FrameInformation.h"
#include "effect/InformationPanel.h"

using CommandLine::FrameInformation;
using CommandLine::ParseInformation;
using CommandLine::ParseSizeText;
using CommandLine::SizeRange;

namespace
{

std::string Shown(std::uint64_t bytes)
{
    const Zovazaz::WString wide = FormatSize(bytes, 0);
    return std::string(wide.begin(), wide.end());
}

} // namespace

TEST(SizeText, EachShownSizeGivesExactlyTheBytesThatShowItAndNothingElseIsRead)
{
    // Around every unit boundary and every decimal step of the first
    // kilobytes, then spread widely up to the terabytes shown in G.
    std::vector<std::uint64_t> sizes{
        0ull,          1ull,          500ull,     1023ull,    1024ull,
        1126ull,       1127ull,       21733ull,   1048575ull, 1048576ull,
        1073741823ull, 1073741824ull, 5ull << 30, 5ull << 40, (5ull << 40) + 12345};
    for (std::uint64_t bytes = 1000; bytes < 12 * 1024; bytes += 37)
    {
        sizes.push_back(bytes);
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 2000; ++i)
    {
        sizes.push_back(random() >> (20 + i % 40));
    }
    // Every byte count in the range read back shows the same text, none
    // outside it does, and below a kilobyte the range is the one count.
    for (const std::uint64_t bytes : sizes)
    {
        const std::string text = Shown(bytes);
        const SizeRange range = ParseSizeText(text);
        ASSERT_LE(range.min, bytes) << text;
        ASSERT_GE(range.max, bytes) << text;
        EXPECT_EQ(Shown(range.min), text);
        EXPECT_EQ(Shown(range.max), text);
        EXPECT_TRUE(range.min == 0 || Shown(range.min - 1) != text) << text;
        EXPECT_NE(Shown(range.max + 1), text);
        EXPECT_EQ(range.Exact(), bytes < 1024) << text;
    }
    EXPECT_EQ(ParseSizeText(Shown(500)).Estimate(), 500u);
    for (const char* text : {"", "K", "12", "12K", "1.5", "1.5 ", "1.23 K", "3 T", "-4 K"})
    {
        EXPECT_THROW(ParseSizeText(text), std::invalid_argument) << "\"" << text << "\"";
    }
}

TEST(InformationText, ReadsTheFiveLinesWithOrWithoutATargetAndRefusesAnythingElse)
{
    const FrameInformation info = ParseInformation({
        "Dimensions: 640 x 360",
        "Frame 37 Segment 2  Type: BRef  Encoded Size: 21.2 K",
        "Total Encoded Size: 1.5 M",
        "Average Bitrate: 2410   Target: 2500",
        "Memory Usage: 3.2 M",
    });
    EXPECT_EQ(std::tie(info.width, info.height, info.frame, info.segment, info.averageKbps),
              std::tuple(640, 360, 37, 2, 2410u));
    EXPECT_EQ(std::tie(info.pictureType, info.sizeText, info.totalText, info.memoryText),
              std::tuple("BRef", "21.2 K", "1.5 M", "3.2 M"));
    EXPECT_LE(info.size.min, 21733u);
    EXPECT_GE(info.size.max, 21733u);
    EXPECT_EQ(info.targetKbps, 2500u);

    // Constant rate factor mode shows no target.
    const FrameInformation rateFactor = ParseInformation({
        "Dimensions: 16 x 16",
        "Frame 0 Segment 0  Type: IDR  Encoded Size: 812 ",
        "Total Encoded Size: 812 ",
        "Average Bitrate: 194",
        "Memory Usage: 400 ",
    });
    EXPECT_EQ(
        std::tuple(rateFactor.targetKbps.has_value(), rateFactor.size.Exact(), rateFactor.size.min),
        std::tuple(false, true, 812u));

    // The text before any render is not statistics.
    EXPECT_THAT([] { ParseInformation({"N/A"}); },
                testing::ThrowsMessage<std::invalid_argument>(testing::HasSubstr("N/A")));
    EXPECT_THROW(
        ParseInformation({"Dimensions: 1 x 1", "Frame 1 Segment 0  Type: P", "a", "b", "c"}),
        std::invalid_argument);
}
