#include <gtest/gtest.h>

#include "cli/EffectControls.h"
#include "cli/Options.h"

using namespace CommandLine;

namespace
{
EffectSettings Parse(std::vector<std::string> arguments)
{
    ArgumentReader reader(std::move(arguments));
    EffectSettings settings;
    while (!reader.Done())
    {
        const std::string option = reader.Next();
        if (!ParseEffectOption(reader, option, settings))
        {
            throw UsageError("unknown " + option);
        }
    }
    return settings;
}
} // namespace

TEST(EffectOptions, ValuesAfterASpaceOrAnEqualsSign)
{
    const EffectSettings settings =
        Parse({"--crf=28", "--bitrate", "4000", "--bframes=off", "--size", "640x360"});
    EXPECT_EQ(settings.rateFactor, 28);
    EXPECT_EQ(settings.bitrateKbps, 4000);
    EXPECT_EQ(settings.useBFrames, false);
    EXPECT_EQ(settings.layerSize, (std::pair<int, int>{640, 360}));
    EXPECT_FALSE(settings.preset.has_value());
    EXPECT_FALSE(settings.segmentLength.has_value());
}

TEST(EffectOptions, EmptyValueAfterEqualsIsNotANumber)
{
    EXPECT_THROW(Parse({"--crf="}), UsageError);
    EXPECT_THROW(Parse({"--crf", "12abc"}), UsageError);
    EXPECT_THROW(Parse({"--crf", "2147483648"}), UsageError);
    EXPECT_EQ(Parse({"--crf", "-5"}).rateFactor, -5); // the range is the host's to judge
}

TEST(EffectOptions, SizeNeedsBothSidesInRange)
{
    EXPECT_EQ(ParseSize("--size", "1x16384"), (std::pair<int, int>{1, 16384}));
    EXPECT_THROW(ParseSize("--size", "16385x10"), UsageError);
    EXPECT_THROW(ParseSize("--size", "x10"), UsageError);
    EXPECT_THROW(ParseSize("--size", "10x-10"), UsageError);
}

TEST(EffectOptions, WordsMapToThePopupItems)
{
    EXPECT_EQ(PresetItem("youtube-hq"), "YouTube (High Quality)");
    EXPECT_EQ(PresetItem("manual"), "None (Manual)");
    EXPECT_EQ(ModeItem("crf"), "Constant Rate Factor");
    EXPECT_THROW(ModeItem("cbr"), UsageError);
}
