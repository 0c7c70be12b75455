#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "host/Host.h"
#include "host/VideoSource.h"
#include "tests/host/VideoFiles.h"
#include "tests/support/TestFiles.h"

using EffectHost::VideoSource;
using EffectHost::VideoSourceError;
using EffectHost::World;
using testing::AllOf;
using testing::HasSubstr;
using testing::ThrowsMessage;
using VideoFiles::VideoSpec;
using ZovazazTest::TempFolder;

namespace
{

VideoSpec Spec(const std::string& path, const char* encoder, int frames = 24)
{
    VideoSpec spec;
    spec.path = path;
    spec.encoder = encoder;
    spec.frames = frames;
    return spec;
}

int FrameNumberAt(const VideoSource& source, A_long index)
{
    World world(source.Width(), source.Height());
    source.Frame(index, world);
    return VideoFiles::ReadFrameNumber(world);
}

struct Format
{
    const char* name;
    const char* extension;
    const char* encoder;
    int bFrames;
};

using EveryFormat = ::testing::TestWithParam<Format>;

} // namespace

TEST_P(EveryFormat, KeepsThe2997RateExactAndGivesEveryFrameInAnyOrder)
{
    const Format& format = GetParam();
    const TempFolder folder;
    VideoSpec spec = Spec(folder / (std::string("clip.") + format.extension), format.encoder, 30);
    // The x264 wrapper needs even sizes.
    spec.width = spec.encoder == "libx264" ? 162 : 161;
    spec.height = spec.encoder == "libx264" ? 92 : 91;
    spec.bFrames = format.bFrames;
    VideoFiles::WriteVideo(spec);
    const VideoSource source(spec.path);
    const EffectHost::VideoDescription& description = source.Description();
    EXPECT_EQ(std::tuple(description.timeScale, description.timeStep, description.frameCount,
                         description.width, description.height, source.Width(), source.Height()),
              std::tuple(30000u, 1001, 30, spec.width, spec.height, spec.width, spec.height));
    EXPECT_NEAR(description.durationSeconds, 30 * 1001 / 30000.0, 1e-9);

    // The lossless file gives the exact pixels.
    World world(source.Width(), source.Height());
    for (A_long frame = 0; frame < spec.frames; ++frame)
    {
        world.Fill(PF_Pixel{7, 7, 7, 7});
        source.FrameAt(frame * 1001, 1001, 30000, world);
        ASSERT_EQ(VideoFiles::ReadFrameNumber(world), frame);
        if (spec.encoder == "ffv1")
        {
            const World expected = VideoFiles::TestPicture(frame, spec.width, spec.height);
            EXPECT_EQ(VideoFiles::DifferentPixels(world, expected), 0) << "frame " << frame;
        }
    }
    EXPECT_EQ(source.Counters().seeks, 0u);

    // A cache of two frames, so that going back has to seek and decode.
    const VideoSource jumping(spec.path, 0, 0, 0);
    for (const A_long frame : {17, 3, 29, 0, 9, 8, 16, 15, 24, 1, 28, 4})
    {
        EXPECT_EQ(FrameNumberAt(jumping, frame), frame) << "asked for frame " << frame;
    }
    // Seeking to a key frame and decoding on is no damage.
    EXPECT_TRUE(jumping.DamagedFrames().empty());

    // Times inside a frame show that frame, times outside the nearest end.
    for (const auto& [time, frame] : {std::pair{5 * 1001 + 1000, 5}, {500 * 1001, 29}, {-3003, 0}})
    {
        source.FrameAt(time, 1001, 30000, world);
        EXPECT_EQ(VideoFiles::ReadFrameNumber(world), frame) << time;
    }

    const VideoSource scaled(spec.path, 97, 61);
    EXPECT_EQ(std::pair(scaled.Width(), scaled.Height()), std::pair(97, 61));
    EXPECT_EQ(scaled.Description().width, spec.width);
    EXPECT_EQ(FrameNumberAt(scaled, 13), 13);
    EXPECT_THROW(scaled.Frame(1, world), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(VideoSource, EveryFormat,
                         ::testing::Values(Format{"Mp4Mpeg4BFrames", "mp4", "mpeg4", 2},
                                           Format{"MkvMpeg4", "mkv", "mpeg4", 0},
                                           Format{"MkvLosslessRgb", "mkv", "ffv1", 0},
                                           Format{"Mp4H264BFrames", "mp4", "libx264", 3},
                                           Format{"MovH264", "mov", "libx264", 0},
                                           Format{"AviMpeg4", "avi", "mpeg4", 0}),
                         [](const ::testing::TestParamInfo<Format>& info)
                         { return std::string(info.param.name); });

TEST(VideoSource, TurnsPicturesAsTheirDisplayMatrixSays)
{
    // Each matrix (a, b, c, d) shows stored pixel (x, y) at (a x + c y,
    // b x + d y), moved back into the picture. The first is what a phone
    // held upright writes for its landscape sensor.
    const std::pair<std::array<int, 4>, const char*> cases[] = {
        {{0, 1, -1, 0}, "rotated 90° clockwise"},
        {{0, -1, 1, 0}, "rotated 90° counterclockwise"},
        {{-1, 0, 0, -1}, "rotated 180°"},
        {{-1, 0, 0, 1}, "mirrored left to right"},
        {{0, 1, 1, 0}, "mirrored left to right and rotated 90° counterclockwise"},
    };
    const TempFolder folder;
    int n = 0;
    for (const auto& [turn, orientation] : cases)
    {
        SCOPED_TRACE(orientation);
        VideoSpec spec = Spec(folder / ("turned" + std::to_string(n++) + ".mov"), "ffv1", 3);
        spec.turn = turn;
        VideoFiles::WriteVideo(spec);
        const VideoSource source(spec.path);
        EXPECT_EQ(source.Description().orientation, orientation);
        const bool quarterTurn = turn[0] == 0;
        ASSERT_EQ(source.Width(), quarterTurn ? spec.height : spec.width);
        ASSERT_EQ(source.Height(), quarterTurn ? spec.width : spec.height);

        World shown(source.Width(), source.Height());
        source.Frame(2, shown);
        const World stored = VideoFiles::TestPicture(2, spec.width, spec.height);
        int different = 0;
        for (int y = 0; y < spec.height; ++y)
        {
            for (int x = 0; x < spec.width; ++x)
            {
                const int dx =
                    turn[0] * x + turn[2] * y + (turn[0] + turn[2] < 0 ? shown.Width() - 1 : 0);
                const int dy =
                    turn[1] * x + turn[3] * y + (turn[1] + turn[3] < 0 ? shown.Height() - 1 : 0);
                different += !(shown.At(dx, dy) == stored.At(x, y));
            }
        }
        EXPECT_EQ(different, 0);
    }
}

TEST(VideoSource, SeeksBackToTheKeyFrameBeforeAndFarAheadAndCachesASegment)
{
    const TempFolder folder;
    const VideoSpec spec = Spec(folder / "gop.mp4", "mpeg4");
    VideoFiles::WriteVideo(spec);
    const VideoSource noCache(spec.path, 0, 0, 0);
    for (A_long frame = 0; frame <= 20; ++frame)
    {
        ASSERT_EQ(FrameNumberAt(noCache, frame), frame);
    }
    // A cached frame lent out stays as it was while the cache (two frames)
    // moves on to others.
    const std::shared_ptr<const World> held = noCache.HeldFrame(3 * 1001, 1001, 30000);
    for (A_long frame = 4; frame <= 7; ++frame)
    {
        ASSERT_EQ(FrameNumberAt(noCache, frame), frame);
    }
    EXPECT_EQ(VideoFiles::ReadFrameNumber(*held), 3);
    const auto before = noCache.Counters();
    EXPECT_EQ(FrameNumberAt(noCache, 13), 13);
    const auto after = noCache.Counters();
    EXPECT_EQ(after.seeks, 1u);
    // From the key frame at 8 to 13, and at most the one picture after it
    // that tells 13 is complete: never from the start of the file.
    EXPECT_GE(after.decodedPictures - before.decodedPictures, 6u);
    EXPECT_LE(after.decodedPictures - before.decodedPictures, 7u);

    // Through the effect's defaults (average bitrate in two passes,
    // segments of 15), both passes and the reuse test of each frame after
    // the first take the segment's frames from the cache: each is decoded
    // once (and one picture ahead), in order.
    const auto cached = std::make_shared<VideoSource>(spec.path);
    EffectHost::Host host;
    host.LoadModule(RUZIRAZU_MODULE_PATH);
    ASSERT_TRUE(host.GlobalSetup().Succeeded());
    host.SetLayerSource(cached);
    host.SetTime(EffectHost::TimeSettings{30000, 1001, 24 * 1001, 0});
    ASSERT_TRUE(host.ParamsSetup().Succeeded());
    World output(spec.width, spec.height);
    for (A_long frame = 0; frame < 15; ++frame)
    {
        const auto result = host.RenderFrame(frame, output);
        ASSERT_TRUE(result.Succeeded()) << result.errorMessage;
    }
    EXPECT_GE(host.Checkouts().layerCheckouts, 2 * 15 + 14);
    EXPECT_EQ(cached->Counters().seeks, 0u);
    EXPECT_LE(cached->Counters().decodedPictures, 16u);
    EXPECT_EQ(cached->Counters().conversions, 15u);
    // The second pass alone reads all 15 from the cache.
    EXPECT_GE(cached->Counters().cacheHits, 15u);
    host.Unload();

    VideoSpec longSpec = Spec(folder / "long.mkv", "mpeg4", 200);
    longSpec.keyFrameInterval = 10;
    longSpec.width = 48;
    longSpec.height = 32;
    VideoFiles::WriteVideo(longSpec);
    const VideoSource longClip(longSpec.path);
    EXPECT_EQ(FrameNumberAt(longClip, 0), 0);
    EXPECT_EQ(FrameNumberAt(longClip, 195), 195);
    EXPECT_EQ(longClip.Counters().seeks, 1u);
    EXPECT_LT(longClip.Counters().decodedPictures, 20u);
}

TEST(VideoSource, RefusesBadFilesNamingWhatIsWrong)
{
    const TempFolder folder;
    const auto expectRefusal = [](const std::string& path, const std::string& words)
    {
        EXPECT_THAT([&] { VideoSource source(path); },
                    ThrowsMessage<VideoSourceError>(AllOf(HasSubstr(words), HasSubstr(path))));
    };
    expectRefusal(folder / "missing.mp4", "does not exist");
    ZovazazTest::WriteFile(folder / "empty.mp4", "");
    expectRefusal(folder / "empty.mp4", "is empty");
    ZovazazTest::WriteFile(folder / "notes.mp4", "these are not pictures\n");
    expectRefusal(folder / "notes.mp4", "not a video file");
    expectRefusal(folder.Path(), "is a folder");

    // An mp4 keeps its index at the end; half a file has none.
    const VideoSpec mp4 = Spec(folder / "clip.mp4", "mpeg4");
    VideoFiles::WriteVideo(mp4);
    std::filesystem::resize_file(mp4.path, std::filesystem::file_size(mp4.path) / 2);
    EXPECT_THROW(VideoSource source(mp4.path), VideoSourceError);

    // Matroska writes its duration at the start, so a file cut in half still
    // declares all its frames, and fails where they end.
    const VideoSpec mkv = Spec(folder / "clip.mkv", "mpeg4", 60);
    VideoFiles::WriteVideo(mkv);
    std::filesystem::resize_file(mkv.path, std::filesystem::file_size(mkv.path) / 2);
    const VideoSource source(mkv.path);
    EXPECT_EQ(source.Description().frameCount, 60);
    EXPECT_EQ(FrameNumberAt(source, 3), 3);
    EXPECT_THAT([&] { FrameNumberAt(source, 55); },
                ThrowsMessage<VideoSourceError>(HasSubstr("declares 60 frames")));
}
