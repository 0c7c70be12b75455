#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "host/BuiltInClip.h"
#include "host/ImageSequence.h"
#include "host/Raster.h"
#include "tests/host/VideoFiles.h"
#include "tests/support/TestFiles.h"

using namespace EffectHost;
using std::filesystem::path;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace
{

World ClipFrame(const BuiltInClip& clip, A_long frame)
{
    World world(clip.Width(), clip.Height());
    clip.Frame(frame, world);
    return world;
}

// A picture whose every pixel says which image it is: red = tag.
void WriteImage(const path& file, int width, int height, std::uint8_t tag, std::uint8_t alpha = 255)
{
    Raster raster(width, height);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            raster.Set(
                x, y, Rgba{tag, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), alpha});
        }
    }
    WritePng(raster, file.string());
}

// The red channel of the frame at `index` of the sequence (the tag).
int TagAt(const ImageSequenceSource& sequence, A_long index)
{
    World world(sequence.Width(), sequence.Height());
    sequence.FrameAt(index * 1001, 1001, 30000, world);
    return world.At(0, 0).red;
}

} // namespace

TEST(BuiltInClip, FramesAreTheSameFromAnyInstanceMoveAndAreOpaqueAtEverySize)
{
    const BuiltInClip one(160, 90, 12);
    const BuiltInClip two(160, 90, 12);
    World previous = ClipFrame(one, 0);
    for (A_long frame = 1; frame < one.FrameCount(); ++frame)
    {
        const World current = ClipFrame(one, frame);
        EXPECT_EQ(VideoFiles::DifferentPixels(current, ClipFrame(two, frame)), 0) << frame;
        // The grain moves every frame, so most of the picture changes, not
        // only the moving objects.
        EXPECT_GT(VideoFiles::DifferentPixels(previous, current), 160 * 90 / 2) << frame;
        previous = current;
    }
    // The same instance again, after other frames were made.
    EXPECT_EQ(VideoFiles::DifferentPixels(ClipFrame(one, 7), ClipFrame(two, 7)), 0);
    // The frame it holds is lent as it is, and stays so while others are made.
    const std::shared_ptr<const World> held = one.HeldFrame(7 * 1001, 1001, 30000);
    EXPECT_EQ(one.HeldFrame(7 * 1001, 1001, 30000), held);
    EXPECT_EQ(VideoFiles::DifferentPixels(ClipFrame(one, 8), ClipFrame(two, 8)), 0);
    EXPECT_EQ(VideoFiles::DifferentPixels(*held, ClipFrame(two, 7)), 0);
    // Time gives the frame; times outside the clip hold its ends.
    World atTime(160, 90);
    for (const auto& [time, frame] : {std::pair{3, 3}, {-5, 0}, {500, 11}})
    {
        one.FrameAt(time * 1001, 1001, 30000, atTime);
        EXPECT_EQ(VideoFiles::DifferentPixels(atTime, ClipFrame(two, frame)), 0) << time;
    }

    for (const auto& [width, height] :
         {std::pair<A_long, A_long>{1, 1}, {2, 3}, {17, 9}, {9, 17}, {333, 21}})
    {
        World world(width, height);
        world.FillPadding(0xA5);
        BuiltInClip(width, height, 4).Frame(3, world);
        EXPECT_TRUE(world.PaddingIntact(0xA5)) << width << "x" << height;
        for (A_long y = 0; y < height; ++y)
        {
            for (A_long x = 0; x < width; ++x)
            {
                ASSERT_EQ(world.At(x, y).alpha, 255) << width << "x" << height;
            }
        }
    }
    EXPECT_THROW(BuiltInClip(0, 720, 90), std::invalid_argument);
    EXPECT_THROW(BuiltInClip(1280, 720, 0), std::invalid_argument);
    World wrong(32, 31);
    EXPECT_THROW(BuiltInClip(32, 32, 2).Frame(0, wrong), std::invalid_argument);
}

TEST(ImageSequence, NumbersFromTheLowestFilePresentAndGivesArgbWithItsAlpha)
{
    const ZovazazTest::TempFolder temp;
    const path folder = temp.Path();
    for (int number = 7; number <= 10; ++number)
    {
        WriteImage(folder / ImageSequenceSource::FormatPattern("f_%04d.png", number), 8, 6,
                   static_cast<std::uint8_t>(number * 10), 128);
    }
    // Not of the pattern: other padding, other names.
    WriteImage(folder / "f_3.png", 8, 6, 1);
    WriteImage(folder / "f_00002.png", 8, 6, 1);
    WriteImage(folder / "g_0001.png", 8, 6, 1);

    const ImageSequenceSource sequence((folder / "f_%04d.png").string());
    EXPECT_EQ(sequence.FrameCount(), 4);
    EXPECT_EQ(sequence.FirstNumber(), 7);
    EXPECT_EQ(sequence.Width(), 8);
    EXPECT_EQ(sequence.Height(), 6);
    EXPECT_EQ(sequence.FramePath(0), (folder / "f_0007.png").string());
    EXPECT_EQ(TagAt(sequence, 0), 70);
    EXPECT_EQ(TagAt(sequence, 3), 100);
    // Outside the sequence: its nearest frame.
    EXPECT_EQ(TagAt(sequence, -2), 70);
    EXPECT_EQ(TagAt(sequence, 40), 100);
    World world(8, 6);
    world.FillPadding(0x5A);
    sequence.FrameAt(1, 1, 25, world);
    EXPECT_EQ(world.At(3, 2), (PF_Pixel{128, 80, 3, 2}));
    EXPECT_TRUE(world.PaddingIntact(0x5A));

    // Unpadded numbers and a literal per cent sign.
    WriteImage(folder / "shot%_9.png", 4, 4, 9);
    WriteImage(folder / "shot%_10.png", 4, 4, 10);
    WriteImage(folder / "shot%_11.png", 4, 4, 11);
    const ImageSequenceSource shots((folder / "shot%%_%d.png").string());
    EXPECT_EQ(shots.FrameCount(), 3);
    EXPECT_EQ(TagAt(shots, 1), 10);
}

TEST(ImageSequence, AGapAnImageOfAnotherSizeNotAPngOrABadPatternIsRefused)
{
    const ZovazazTest::TempFolder temp;
    const path folder = temp.Path();
    for (int number : {1, 2, 4, 5})
    {
        WriteImage(folder / ImageSequenceSource::FormatPattern("f_%03d.png", number), 4, 4, 1);
    }
    const auto expectFailure = [&](const std::string& pattern, const std::string& words)
    {
        EXPECT_THAT([&] { ImageSequenceSource((folder / pattern).string()); },
                    ThrowsMessage<std::runtime_error>(HasSubstr(words)));
    };
    expectFailure("f_%03d.png", "f_003.png");

    WriteImage(folder / "s_1.png", 8, 6, 1);
    WriteImage(folder / "s_2.png", 8, 6, 2);
    WriteImage(folder / "s_3.png", 6, 8, 3);
    expectFailure("s_%d.png", "s_3.png is 6 x 8");
    expectFailure("s_%d.png", "8 x 6");

    WriteImage(folder / "n_1.png", 8, 6, 1);
    ZovazazTest::WriteFile((folder / "n_2.png").string(), "not a picture");
    expectFailure("n_%d.png", "n_2.png");

    // Patterns that cannot number files or match nothing.
    for (const std::string pattern :
         {"n_1.png", "f_%d_%d.png", "f_%s.png", "f_%x.png", "f_%", "dir%d/f_1.png", "g_%d.png"})
    {
        EXPECT_THROW(ImageSequenceSource((folder / pattern).string()), std::invalid_argument)
            << pattern;
    }
    EXPECT_THAT([&] { ImageSequenceSource((folder / "nowhere" / "f_%d.png").string()); },
                ThrowsMessage<std::invalid_argument>(HasSubstr("No file matches")));
}

TEST(ImageSequence, DecodedFramesAreKeptWithinTheBudgetAndALostFileFailsLater)
{
    const ZovazazTest::TempFolder temp;
    const path folder = temp.Path();
    for (int number = 0; number < 3; ++number)
    {
        WriteImage(folder / ("f_" + std::to_string(number) + ".png"), 8, 8, number + 1);
    }
    // Room for two 8 x 8 frames.
    const ImageSequenceSource sequence((folder / "f_%d.png").string(), 2 * 8 * 8 * 4);
    const std::shared_ptr<const World> held = sequence.HeldFrame(0, 1001, 30000);
    EXPECT_EQ(TagAt(sequence, 0), 1);
    EXPECT_EQ(TagAt(sequence, 1), 2);
    EXPECT_EQ(TagAt(sequence, 2), 3); // evicts frame 0, the least recently used
    for (int number = 0; number < 3; ++number)
    {
        std::filesystem::remove(folder / ("f_" + std::to_string(number) + ".png"));
    }
    EXPECT_EQ(TagAt(sequence, 1), 2);
    EXPECT_EQ(TagAt(sequence, 2), 3);
    EXPECT_THAT([&] { TagAt(sequence, 0); },
                ThrowsMessage<std::runtime_error>(HasSubstr("f_0.png")));
    // A frame lent out outlives its place in the cache.
    EXPECT_EQ(held->At(7, 7).red, 1);
}
