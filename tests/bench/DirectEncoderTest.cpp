#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "bench/DirectEncoder.h"
#include "bench/EffectDriver.h"
#include "bench/MemoryLayerSource.h"
#include "bench/StreamDecoder.h"
#include "support/Paths.h"

namespace
{

using namespace Bench;

constexpr int Frames = 7;
constexpr int SegmentLength = 4; // two segments, the second one shorter

// The bytes the effect's storing passes produce for the clip, against the
// bytes of the direct encode with the settings the effect's controls give:
// the same only when the direct encode replicates the effect's encoder.
class DirectEncoderMatchesEffect : public testing::Test
{
  protected:
    void SetUp() override
    {
        layer_ = std::make_shared<MemoryLayerSource>(64, 48, Frames);
        clip_ = std::make_unique<PlanarClip>(*layer_);
        effect_.SetLayer(layer_);
    }

    std::uint64_t EffectBytes(const RateControl& control)
    {
        const PreviewRun run = effect_.Run(control);
        std::uint64_t bytes = 0;
        for (const SegmentSummary& summary : run.summaries)
        {
            bytes += summary.encodedBytes;
        }
        EXPECT_EQ(run.summaries.size(), 2u);
        return bytes;
    }

    DirectEncode Direct(bool keepStream = false)
    {
        return DirectWith(effect_.CurrentEncoderSettings(), keepStream);
    }

    DirectEncode DirectWith(const EncoderSettings& settings, bool keepStream = false)
    {
        return EncodeDirect(*clip_, settings, Zovazaz::GetTempDirectory(), keepStream);
    }

    EffectDriver effect_{RUZIRAZU_MODULE_PATH};
    std::shared_ptr<MemoryLayerSource> layer_;
    std::unique_ptr<PlanarClip> clip_;
};

TEST_F(DirectEncoderMatchesEffect, ConstantRateFactorsFarApartGiveOtherStreamsAndTwoPassesMatch)
{
    // Also guards the comparison itself: were the rate factor not passed on,
    // two factors far apart would still match.
    const std::uint64_t fine = EffectBytes({true, 10, 5000, SegmentLength});
    EXPECT_TRUE(SimilarSize(Direct().bytes, fine));
    const std::uint64_t coarse = EffectBytes({true, 45, 5000, SegmentLength});
    EXPECT_TRUE(SimilarSize(Direct().bytes, coarse));
    EXPECT_FALSE(SimilarSize(fine, coarse));

    // A kept stream decodes to every frame.
    const DirectEncode kept = Direct(true);
    ASSERT_EQ(kept.segments.size(), 2u);
    EXPECT_EQ(kept.segments[0].size(), 4u);
    EXPECT_EQ(kept.segments[1].size(), 3u);
    std::uint64_t keptBytes = 0;
    for (const SegmentStream& segment : kept.segments)
    {
        for (const auto& unit : segment)
        {
            keptBytes += unit.size();
        }
    }
    EXPECT_EQ(keptBytes, kept.bytes);
    // Throws unless every access unit gives back one picture.
    EXPECT_GE(DecodeSegments(kept.segments), 0.0);
    EXPECT_TRUE(Direct(false).segments.empty());

    // The average bitrate in two passes.
    const std::uint64_t effectBytes = EffectBytes({false, 23, 800, SegmentLength});
    EXPECT_TRUE(SimilarSize(Direct().bytes, effectBytes));
    // One pass at that bitrate gives another stream: the passes matter.
    EncoderSettings onePass = effect_.CurrentEncoderSettings();
    onePass.constantRateFactor = true;
    EXPECT_FALSE(SimilarSize(DirectWith(onePass).bytes, effectBytes));
    // The statistics files of both passes are gone afterwards.
    const std::filesystem::path stats =
        std::filesystem::path(Zovazaz::GetTempDirectory()) / "RuzirazuBenchStats.txt";
    EXPECT_FALSE(std::filesystem::exists(stats));
    EXPECT_FALSE(std::filesystem::exists(stats.string() + ".mbtree"));
}

TEST_F(DirectEncoderMatchesEffect, TheBFramesTheKeyFrameIntervalAndTheYouTubePresetReachIt)
{
    EffectHost::Host& host = effect_.GetHost();
    ASSERT_TRUE(
        host.ChangeParameter(host.PositionOfName("Frame Reordering (Use B-Frames)"), 0).accepted);
    ASSERT_TRUE(host.ChangeParameter(host.PositionOfName("Key Frame Every N Frames"), 2).accepted);
    std::uint64_t effectBytes = EffectBytes({true, 23, 5000, SegmentLength});
    EXPECT_TRUE(SimilarSize(Direct().bytes, effectBytes));
    // Either setting left at its default would give a stream of another size.
    EncoderSettings changed = effect_.CurrentEncoderSettings();
    changed.useBFrames = true;
    EXPECT_FALSE(SimilarSize(DirectWith(changed).bytes, effectBytes));
    changed = effect_.CurrentEncoderSettings();
    changed.keyFrameInterval = 30;
    EXPECT_FALSE(SimilarSize(DirectWith(changed).bytes, effectBytes));

    // YouTube forces two B-frames with the box off.
    ASSERT_TRUE(
        host.ChangePopup(host.PositionOfName("Presets"), "YouTube (Standard Quality)").accepted);
    EXPECT_TRUE(effect_.CurrentEncoderSettings().youTubePreset);
    effectBytes = EffectBytes({true, 23, 900, SegmentLength});
    EXPECT_TRUE(SimilarSize(Direct().bytes, effectBytes));
    changed = effect_.CurrentEncoderSettings();
    changed.youTubePreset = false;
    EXPECT_FALSE(SimilarSize(DirectWith(changed).bytes, effectBytes));
}

TEST(StreamDecoder, RefusesAStreamWithoutPictures)
{
    const std::vector<SegmentStream> garbage{{std::vector<std::uint8_t>(64, 0xAB)}};
    EXPECT_THROW(DecodeSegments(garbage), std::runtime_error);
}

} // namespace
