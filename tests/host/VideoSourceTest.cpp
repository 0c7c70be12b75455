#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/VideoSource.h"
#include "tests/host/VideoFiles.h"

using EffectHost::VideoSource;
using EffectHost::VideoSourceError;
using EffectHost::World;
using VideoFiles::VideoSpec;

namespace
{

std::filesystem::path Scratch()
{
    const char* temp = std::getenv("TEMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name)
    {
        if (c == '/')
        {
            c = '_';
        }
    }
    const auto folder = std::filesystem::path(temp ? temp : "/tmp") / ("video-" + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// Makes the file, or skips the test when libavcodec lacks the encoder.
#define MAKE_VIDEO(spec)                                                                           \
    do                                                                                             \
    {                                                                                              \
        if (!VideoFiles::HasEncoder((spec).encoder))                                               \
        {                                                                                          \
            GTEST_SKIP() << "libavcodec has no " << (spec).encoder << " encoder";                  \
        }                                                                                          \
        VideoFiles::WriteVideo(spec);                                                              \
    } while (false)

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
    int width;
    int height;
    int bFrames;
};

class EveryFormat : public ::testing::TestWithParam<Format>
{
  protected:
    VideoSpec Spec()
    {
        const Format& format = GetParam();
        VideoSpec spec;
        spec.path = (Scratch() / (std::string("clip.") + format.extension)).string();
        spec.encoder = format.encoder;
        spec.width = format.width;
        spec.height = format.height;
        spec.bFrames = format.bFrames;
        spec.frames = 30;
        spec.keyFrameInterval = 8;
        return spec;
    }
};

} // namespace

// ---------------------------------------------------------------- accuracy

TEST_P(EveryFormat, KeepsThe2997RateExactAndCountsTheFrames)
{
    const VideoSpec spec = Spec();
    MAKE_VIDEO(spec);
    const VideoSource source(spec.path);
    const EffectHost::VideoDescription& description = source.Description();
    EXPECT_EQ(description.timeScale, 30000u);
    EXPECT_EQ(description.timeStep, 1001);
    EXPECT_EQ(description.frameCount, 30);
    EXPECT_EQ(description.width, spec.width);
    EXPECT_EQ(description.height, spec.height);
    EXPECT_EQ(source.Width(), spec.width);
    EXPECT_EQ(source.Height(), spec.height);
    EXPECT_NEAR(description.durationSeconds, 30 * 1001 / 30000.0, 1e-9);
    EXPECT_FALSE(description.codec.empty());
    EXPECT_FALSE(description.container.empty());
}

TEST_P(EveryFormat, GivesEachFrameInOrderWithoutSeeking)
{
    const VideoSpec spec = Spec();
    MAKE_VIDEO(spec);
    const VideoSource source(spec.path);
    World world(source.Width(), source.Height());
    for (A_long frame = 0; frame < spec.frames; ++frame)
    {
        source.FrameAt(frame * 1001, 1001, 30000, world);
        ASSERT_EQ(VideoFiles::ReadFrameNumber(world), frame);
    }
    EXPECT_EQ(source.Counters().seeks, 0u);
}

TEST_P(EveryFormat, GivesTheRightFrameInAnyOrder)
{
    const VideoSpec spec = Spec();
    MAKE_VIDEO(spec);
    // A cache of two frames, so that going back has to seek and decode.
    const VideoSource source(spec.path, 0, 0, 0);
    for (const A_long frame : {17, 3, 29, 0, 9, 8, 16, 15, 24, 1, 28, 4})
    {
        EXPECT_EQ(FrameNumberAt(source, frame), frame) << "asked for frame " << frame;
    }
    // Seeking to a key frame and decoding on is no damage.
    EXPECT_TRUE(source.DamagedFrames().empty());
}

INSTANTIATE_TEST_SUITE_P(VideoSource, EveryFormat,
                         ::testing::Values(Format{"Mp4Mpeg4BFrames", "mp4", "mpeg4", 161, 91, 2},
                                           Format{"MkvMpeg4", "mkv", "mpeg4", 161, 91, 0},
                                           Format{"MkvLosslessRgb", "mkv", "ffv1", 161, 91, 0},
                                           Format{"Mp4H264BFrames", "mp4", "libx264", 162, 92, 3},
                                           Format{"MovH264", "mov", "libx264", 162, 92, 0},
                                           Format{"AviMpeg4", "avi", "mpeg4", 161, 91, 0}),
                         [](const ::testing::TestParamInfo<Format>& info)
                         { return std::string(info.param.name); });

TEST(VideoSource, LosslessFileGivesTheExactPixelsWithOpaqueAlpha)
{
    VideoSpec spec;
    spec.path = (Scratch() / "lossless.mkv").string();
    spec.encoder = "ffv1";
    MAKE_VIDEO(spec);
    const VideoSource source(spec.path);
    for (const A_long frame : {5, 0, 23, 11})
    {
        World world(source.Width(), source.Height());
        world.Fill(PF_Pixel{7, 7, 7, 7});
        source.Frame(frame, world);
        const World expected = VideoFiles::TestPicture(frame, spec.width, spec.height);
        int different = 0;
        for (int y = 0; y < spec.height; ++y)
        {
            for (int x = 0; x < spec.width; ++x)
            {
                different += !(world.At(x, y) == expected.At(x, y));
            }
        }
        EXPECT_EQ(different, 0) << "frame " << frame;
    }
}

TEST(VideoSource, TurnsPicturesAsTheirDisplayMatrixSays)
{
    // Each case: the matrix, how players show it, and which stored pixel
    // shows at display pixel (x, y) of a w x h display. The first is what a
    // phone held upright writes for its landscape sensor.
    struct Case
    {
        std::array<int, 4> turn;
        const char* orientation;
        std::pair<int, int> (*stored)(int x, int y, int w, int h);
    };
    const Case cases[] = {
        {{0, 1, -1, 0},
         "rotated 90° clockwise",
         [](int x, int y, int w, int) {
             return std::pair{y, w - 1 - x};
         }},
        {{0, -1, 1, 0},
         "rotated 90° counterclockwise",
         [](int x, int y, int, int h) {
             return std::pair{h - 1 - y, x};
         }},
        {{-1, 0, 0, -1},
         "rotated 180°",
         [](int x, int y, int w, int h) {
             return std::pair{w - 1 - x, h - 1 - y};
         }},
        {{-1, 0, 0, 1},
         "mirrored left to right",
         [](int x, int y, int w, int) {
             return std::pair{w - 1 - x, y};
         }},
        {{0, 1, 1, 0},
         "mirrored left to right and rotated 90° counterclockwise",
         [](int x, int y, int, int) {
             return std::pair{y, x};
         }},
    };
    const auto folder = Scratch();
    int n = 0;
    for (const Case& turn : cases)
    {
        SCOPED_TRACE(turn.orientation);
        VideoSpec spec;
        spec.path = (folder / ("turned" + std::to_string(n++) + ".mov")).string();
        spec.encoder = "ffv1";
        spec.frames = 3;
        spec.turn = turn.turn;
        MAKE_VIDEO(spec);
        const VideoSource source(spec.path);
        EXPECT_EQ(source.Description().orientation, turn.orientation);
        const bool quarterTurn = turn.turn[0] == 0;
        ASSERT_EQ(source.Width(), quarterTurn ? spec.height : spec.width);
        ASSERT_EQ(source.Height(), quarterTurn ? spec.width : spec.height);

        World shown(source.Width(), source.Height());
        source.Frame(2, shown);
        const World stored = VideoFiles::TestPicture(2, spec.width, spec.height);
        int different = 0;
        for (int y = 0; y < shown.Height(); ++y)
        {
            for (int x = 0; x < shown.Width(); ++x)
            {
                const auto [sx, sy] = turn.stored(x, y, shown.Width(), shown.Height());
                different += !(shown.At(x, y) == stored.At(sx, sy));
            }
        }
        EXPECT_EQ(different, 0);
    }
}

TEST(VideoSource, TimesInsideAFrameShowThatFrameAndTimesOutsideTheNearestEnd)
{
    VideoSpec spec;
    spec.path = (Scratch() / "clip.mkv").string();
    spec.encoder = "ffv1";
    MAKE_VIDEO(spec);
    const VideoSource source(spec.path);
    World world(source.Width(), source.Height());
    source.FrameAt(5 * 1001 + 1000, 1001, 30000, world);
    EXPECT_EQ(VideoFiles::ReadFrameNumber(world), 5);
    source.FrameAt(500 * 1001, 1001, 30000, world);
    EXPECT_EQ(VideoFiles::ReadFrameNumber(world), spec.frames - 1);
    source.FrameAt(-3 * 1001, 1001, 30000, world);
    EXPECT_EQ(VideoFiles::ReadFrameNumber(world), 0);
}

TEST(VideoSource, ScalesFramesToTheLayerSize)
{
    VideoSpec spec;
    spec.path = (Scratch() / "clip.mkv").string();
    spec.encoder = "ffv1";
    MAKE_VIDEO(spec);
    const VideoSource source(spec.path, 97, 61);
    EXPECT_EQ(source.Width(), 97);
    EXPECT_EQ(source.Height(), 61);
    EXPECT_EQ(source.Description().width, spec.width);
    EXPECT_EQ(FrameNumberAt(source, 13), 13);
    World wrongSize(spec.width, spec.height);
    EXPECT_THROW(source.Frame(1, wrongSize), std::invalid_argument);
}

// ---------------------------------------------------------- seeking, cache

TEST(VideoSourceDecoding, GoingBackSeeksToTheKeyFrameBeforeAndDecodesForward)
{
    VideoSpec spec;
    spec.path = (Scratch() / "gop.mp4").string();
    spec.encoder = "mpeg4";
    spec.keyFrameInterval = 8;
    MAKE_VIDEO(spec);
    const VideoSource source(spec.path, 0, 0, 0);
    for (A_long frame = 0; frame <= 20; ++frame)
    {
        ASSERT_EQ(FrameNumberAt(source, frame), frame);
    }
    const auto before = source.Counters();
    EXPECT_EQ(before.seeks, 0u);

    EXPECT_EQ(FrameNumberAt(source, 13), 13);
    const auto after = source.Counters();
    EXPECT_EQ(after.seeks, 1u);
    // From the key frame at 8 to 13, and at most the one picture after it
    // that tells 13 is complete: never from the start of the file.
    const auto decoded = after.decodedPictures - before.decodedPictures;
    EXPECT_GE(decoded, 6u);
    EXPECT_LE(decoded, 7u);
}

TEST(VideoSourceDecoding, FarAheadSeeksInsteadOfDecodingEveryFrame)
{
    VideoSpec spec;
    spec.path = (Scratch() / "long.mkv").string();
    spec.encoder = "mpeg4";
    spec.frames = 200;
    spec.keyFrameInterval = 10;
    spec.width = 48;
    spec.height = 32;
    MAKE_VIDEO(spec);
    const VideoSource source(spec.path);
    EXPECT_EQ(FrameNumberAt(source, 0), 0);
    EXPECT_EQ(FrameNumberAt(source, 195), 195);
    EXPECT_EQ(source.Counters().seeks, 1u);
    EXPECT_LT(source.Counters().decodedPictures, 20u);
}

TEST(VideoSourceDecoding, ASecondPassOverASegmentComesFromTheCache)
{
    VideoSpec spec;
    spec.path = (Scratch() / "clip.mp4").string();
    spec.encoder = "mpeg4";
    MAKE_VIDEO(spec);
    const VideoSource source(spec.path);
    for (A_long frame = 0; frame < 15; ++frame)
    {
        ASSERT_EQ(FrameNumberAt(source, frame), frame);
    }
    const auto first = source.Counters();
    for (A_long frame = 0; frame < 15; ++frame)
    {
        ASSERT_EQ(FrameNumberAt(source, frame), frame);
    }
    const auto second = source.Counters();
    EXPECT_EQ(second.decodedPictures, first.decodedPictures);
    EXPECT_EQ(second.conversions, first.conversions);
    EXPECT_EQ(second.seeks, 0u);
    EXPECT_EQ(second.cacheHits - first.cacheHits, 15u);
}

TEST(VideoSourceDecoding, ASmallCacheStillGivesTheRightFramesByDecodingAgain)
{
    VideoSpec spec;
    spec.path = (Scratch() / "clip.mp4").string();
    spec.encoder = "mpeg4";
    MAKE_VIDEO(spec);
    const VideoSource source(spec.path, 0, 0, 1);
    for (int pass = 0; pass < 2; ++pass)
    {
        for (A_long frame = 0; frame < 15; ++frame)
        {
            ASSERT_EQ(FrameNumberAt(source, frame), frame) << "pass " << pass;
        }
    }
    EXPECT_GE(source.Counters().seeks, 1u);
}

TEST(VideoSourceDecoding, TheHostChecksOutTheVideoAsItsLayer)
{
    VideoSpec spec;
    spec.path = (Scratch() / "clip.mkv").string();
    spec.encoder = "ffv1";
    MAKE_VIDEO(spec);
    auto source = std::make_shared<VideoSource>(spec.path);
    EffectHost::Host host;
    host.SetLayerSource(source);
    EXPECT_EQ(host.Layer().Width(), spec.width);
    World world(spec.width, spec.height);
    host.Layer().FrameAt(7 * 1001, 1001, 30000, world);
    EXPECT_EQ(VideoFiles::ReadFrameNumber(world), 7);
}

// -------------------------------------------------------------- bad input

TEST(VideoSourceRefusal, NamesWhatIsWrongWithTheFile)
{
    const auto folder = Scratch();
    const auto expectRefusal = [](const std::string& path, const std::string& words)
    {
        try
        {
            VideoSource source(path);
            ADD_FAILURE() << path << " was accepted";
        }
        catch (const VideoSourceError& error)
        {
            const std::string text = error.what();
            EXPECT_NE(text.find(words), std::string::npos) << text;
            EXPECT_NE(text.find(path), std::string::npos) << text;
        }
    };
    expectRefusal((folder / "missing.mp4").string(), "does not exist");
    std::ofstream((folder / "empty.mp4").string()).close();
    expectRefusal((folder / "empty.mp4").string(), "is empty");
    std::ofstream((folder / "notes.mp4").string()) << "these are not pictures\n";
    expectRefusal((folder / "notes.mp4").string(), "not a video file");
    expectRefusal(folder.string(), "is a folder");
}

TEST(VideoSourceRefusal, AFileCutShortBeforeItsIndexIsRefused)
{
    VideoSpec spec;
    spec.path = (Scratch() / "clip.mp4").string();
    spec.encoder = "mpeg4";
    MAKE_VIDEO(spec);
    // An mp4 keeps its index at the end; half a file has none.
    const auto size = std::filesystem::file_size(spec.path);
    std::filesystem::resize_file(spec.path, size / 2);
    EXPECT_THROW(VideoSource source(spec.path), VideoSourceError);
}

TEST(VideoSourceRefusal, AFileThatEndsBeforeTheFramesItDeclaresFailsThere)
{
    VideoSpec spec;
    spec.path = (Scratch() / "clip.mkv").string();
    spec.encoder = "mpeg4";
    spec.frames = 60;
    MAKE_VIDEO(spec);
    // Matroska writes its duration at the start, so a file cut in half still
    // declares all its frames.
    std::filesystem::resize_file(spec.path, std::filesystem::file_size(spec.path) / 2);
    const VideoSource source(spec.path);
    EXPECT_EQ(source.Description().frameCount, 60);
    EXPECT_EQ(FrameNumberAt(source, 3), 3);
    try
    {
        FrameNumberAt(source, 55);
        ADD_FAILURE() << "a frame past the cut was shown";
    }
    catch (const VideoSourceError& error)
    {
        EXPECT_NE(std::string(error.what()).find("declares 60 frames"), std::string::npos)
            << error.what();
    }
}

TEST(VideoSourceThroughTheEffect, BothPassesAndTheReuseTestDecodeEachFrameOnce)
{
    VideoSpec spec;
    spec.path = (Scratch() / "clip.mp4").string();
    spec.encoder = "mpeg4";
    spec.frames = 30;
    spec.bFrames = 2;
    MAKE_VIDEO(spec);
    const auto source = std::make_shared<VideoSource>(spec.path);
    EffectHost::Host host;
    host.LoadModule(RUZIRAZU_MODULE_PATH);
    ASSERT_TRUE(host.GlobalSetup().Succeeded());
    host.SetLayerSource(source);
    host.SetTime(EffectHost::TimeSettings{30000, 1001, 30 * 1001, 0});
    ASSERT_TRUE(host.ParamsSetup().Succeeded());

    // The effect's defaults: average bitrate in two passes, segments of 15.
    World output(spec.width, spec.height);
    for (A_long frame = 0; frame < 15; ++frame)
    {
        const auto result = host.RenderFrame(frame, output);
        ASSERT_TRUE(result.Succeeded()) << result.errorMessage;
    }
    // Two passes over the segment and a reuse test for each frame after the
    // first (which had nothing stored to test)...
    EXPECT_GE(host.Checkouts().layerCheckouts, 2 * 15 + 14);
    // ...yet every frame was decoded once (and one picture ahead), in order.
    const auto counters = source->Counters();
    EXPECT_EQ(counters.seeks, 0u);
    EXPECT_LE(counters.decodedPictures, 16u);
    EXPECT_EQ(counters.conversions, 15u);
    host.Unload();
}
