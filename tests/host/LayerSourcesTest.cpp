#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "host/BuiltInClip.h"
#include "host/ImageSequence.h"
#include "host/Raster.h"

using namespace EffectHost;

namespace
{

bool SamePixels(const World& a, const World& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
    {
        return false;
    }
    for (A_long y = 0; y < a.Height(); ++y)
    {
        for (A_long x = 0; x < a.Width(); ++x)
        {
            if (!(a.At(x, y) == b.At(x, y)))
            {
                return false;
            }
        }
    }
    return true;
}

int DifferentPixels(const World& a, const World& b)
{
    int count = 0;
    for (A_long y = 0; y < a.Height(); ++y)
    {
        for (A_long x = 0; x < a.Width(); ++x)
        {
            count += !(a.At(x, y) == b.At(x, y));
        }
    }
    return count;
}

World ClipFrame(const BuiltInClip& clip, A_long frame)
{
    World world(clip.Width(), clip.Height());
    clip.Frame(frame, world);
    return world;
}

// A fresh folder under the test's TEMP for one test.
std::filesystem::path Folder()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto folder = std::filesystem::path(std::getenv("TEMP")) /
                        (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// A picture whose every pixel says which image it is: red = tag.
void WriteImage(const std::filesystem::path& path, int width, int height, std::uint8_t tag,
                std::uint8_t alpha = 255)
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
    WritePng(raster, path.string());
}

// The red channel of the frame at `index` of the sequence (the tag).
int TagAt(const ImageSequenceSource& sequence, A_long index, A_long timeStep = 1001)
{
    World world(sequence.Width(), sequence.Height());
    sequence.FrameAt(index * timeStep, timeStep, 30000, world);
    return world.At(0, 0).red;
}

template <class Exception, class Work> std::string FailureOf(Work work)
{
    try
    {
        work();
    }
    catch (const Exception& error)
    {
        return error.what();
    }
    return "(no failure)";
}

} // namespace

TEST(BuiltInClip, SameFrameIsTheSameFromAnyInstance)
{
    const BuiltInClip one(160, 90, 30);
    const BuiltInClip two(160, 90, 30);
    for (A_long frame : {0, 7, 29})
    {
        EXPECT_TRUE(SamePixels(ClipFrame(one, frame), ClipFrame(two, frame))) << frame;
        // and the same instance again, after other frames were made
        EXPECT_TRUE(SamePixels(ClipFrame(one, frame), ClipFrame(two, frame))) << frame;
    }
}

TEST(BuiltInClip, ConsecutiveFramesDifferAcrossThePicture)
{
    const BuiltInClip clip(160, 90, 12);
    World previous = ClipFrame(clip, 0);
    for (A_long frame = 1; frame < clip.FrameCount(); ++frame)
    {
        const World current = ClipFrame(clip, frame);
        // The grain moves every frame, so most of the picture changes, not
        // only the moving objects.
        EXPECT_GT(DifferentPixels(previous, current), 160 * 90 / 2) << frame;
        previous = current;
    }
}

TEST(BuiltInClip, TimeGivesTheFrameAndOutsideTimesHoldTheEnds)
{
    const BuiltInClip clip(64, 48, 10);
    World atTime(64, 48);
    clip.FrameAt(3 * 1001, 1001, 30000, atTime);
    EXPECT_TRUE(SamePixels(atTime, ClipFrame(clip, 3)));
    clip.FrameAt(-5 * 1001, 1001, 30000, atTime);
    EXPECT_TRUE(SamePixels(atTime, ClipFrame(clip, 0)));
    clip.FrameAt(500 * 1001, 1001, 30000, atTime);
    EXPECT_TRUE(SamePixels(atTime, ClipFrame(clip, 9)));
    EXPECT_FALSE(SamePixels(ClipFrame(clip, 9), ClipFrame(clip, 8)));
}

TEST(BuiltInClip, EverySizeGivesOpaquePixelsAndRowPaddingStaysUntouched)
{
    for (const auto& [width, height] :
         {std::pair<A_long, A_long>{1, 1}, {2, 3}, {17, 9}, {9, 17}, {333, 21}})
    {
        const BuiltInClip clip(width, height, 4);
        for (A_long frame = 0; frame < 4; ++frame)
        {
            World world(width, height);
            world.FillPadding(0xA5);
            clip.Frame(frame, world);
            EXPECT_TRUE(world.PaddingIntact(0xA5)) << width << "x" << height;
            for (A_long y = 0; y < height; ++y)
            {
                for (A_long x = 0; x < width; ++x)
                {
                    ASSERT_EQ(world.At(x, y).alpha, 255) << width << "x" << height;
                }
            }
        }
    }
}

TEST(BuiltInClip, RefusesEmptySizesAndWorldsOfAnotherSize)
{
    EXPECT_THROW(BuiltInClip(0, 720, 90), std::invalid_argument);
    EXPECT_THROW(BuiltInClip(1280, 720, 0), std::invalid_argument);
    const BuiltInClip clip(32, 32, 2);
    World wrong(32, 31);
    EXPECT_THROW(clip.Frame(0, wrong), std::invalid_argument);
}

TEST(ImageSequence, NumbersFromTheLowestFilePresent)
{
    const auto folder = Folder();
    for (int number = 7; number <= 10; ++number)
    {
        WriteImage(folder / ImageSequenceSource::FormatPattern("f_%04d.png", number), 8, 6,
                   static_cast<std::uint8_t>(number * 10));
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
}

TEST(ImageSequence, PixelsArriveAsArgbWithTheirAlpha)
{
    const auto folder = Folder();
    WriteImage(folder / "a1.png", 5, 4, 200, 128);
    const ImageSequenceSource sequence((folder / "a%d.png").string());
    World world(5, 4);
    world.FillPadding(0x5A);
    sequence.FrameAt(0, 1, 25, world);
    EXPECT_EQ(world.At(3, 2), (PF_Pixel{128, 200, 3, 2}));
    EXPECT_TRUE(world.PaddingIntact(0x5A));
}

TEST(ImageSequence, UnpaddedAndLiteralPerCentPatterns)
{
    const auto folder = Folder();
    WriteImage(folder / "shot%_9.png", 4, 4, 9);
    WriteImage(folder / "shot%_10.png", 4, 4, 10);
    WriteImage(folder / "shot%_11.png", 4, 4, 11);
    const ImageSequenceSource sequence((folder / "shot%%_%d.png").string());
    EXPECT_EQ(sequence.FrameCount(), 3);
    EXPECT_EQ(TagAt(sequence, 1), 10);
}

TEST(ImageSequence, AGapIsAnErrorNamingTheMissingFile)
{
    const auto folder = Folder();
    for (int number : {1, 2, 4, 5})
    {
        WriteImage(folder / ImageSequenceSource::FormatPattern("f_%03d.png", number), 4, 4, 1);
    }
    const std::string message = FailureOf<std::runtime_error>(
        [&] { ImageSequenceSource((folder / "f_%03d.png").string()); });
    EXPECT_NE(message.find("f_003.png"), std::string::npos) << message;
}

TEST(ImageSequence, AnImageOfAnotherSizeIsAnErrorNamingIt)
{
    const auto folder = Folder();
    WriteImage(folder / "f_1.png", 8, 6, 1);
    WriteImage(folder / "f_2.png", 8, 6, 2);
    WriteImage(folder / "f_3.png", 6, 8, 3);
    const std::string message =
        FailureOf<std::runtime_error>([&] { ImageSequenceSource((folder / "f_%d.png").string()); });
    EXPECT_NE(message.find("f_3.png is 6 x 8"), std::string::npos) << message;
    EXPECT_NE(message.find("8 x 6"), std::string::npos) << message;
}

TEST(ImageSequence, AFileThatIsNotAPngIsAnErrorNamingIt)
{
    const auto folder = Folder();
    WriteImage(folder / "f_1.png", 8, 6, 1);
    std::ofstream(folder / "f_2.png") << "not a picture";
    const std::string message =
        FailureOf<std::runtime_error>([&] { ImageSequenceSource((folder / "f_%d.png").string()); });
    EXPECT_NE(message.find("f_2.png"), std::string::npos) << message;
}

TEST(ImageSequence, PatternsThatCannotNumberFilesOrMatchNothingAreRefused)
{
    const auto folder = Folder();
    WriteImage(folder / "f_1.png", 4, 4, 1);
    for (const std::string pattern :
         {"f_1.png", "f_%d_%d.png", "f_%s.png", "f_%x.png", "f_%", "dir%d/f_1.png", "g_%d.png"})
    {
        EXPECT_THROW(ImageSequenceSource((folder / pattern).string()), std::invalid_argument)
            << pattern;
    }
    const std::string missing = FailureOf<std::invalid_argument>(
        [&] { ImageSequenceSource((folder / "nowhere" / "f_%d.png").string()); });
    EXPECT_NE(missing.find("No file matches"), std::string::npos) << missing;
}

TEST(ImageSequence, DecodedFramesAreKeptWithinTheBudgetAndALostFileFailsLater)
{
    const auto folder = Folder();
    for (int number = 0; number < 3; ++number)
    {
        WriteImage(folder / ("f_" + std::to_string(number) + ".png"), 8, 8, number + 1);
    }
    // Room for two 8 x 8 frames.
    const ImageSequenceSource sequence((folder / "f_%d.png").string(), 2 * 8 * 8 * 4);
    EXPECT_EQ(TagAt(sequence, 0), 1);
    EXPECT_EQ(TagAt(sequence, 1), 2);
    EXPECT_EQ(TagAt(sequence, 2), 3); // evicts frame 0, the least recently used
    for (int number = 0; number < 3; ++number)
    {
        std::filesystem::remove(folder / ("f_" + std::to_string(number) + ".png"));
    }
    EXPECT_EQ(TagAt(sequence, 1), 2);
    EXPECT_EQ(TagAt(sequence, 2), 3);
    const std::string message = FailureOf<std::runtime_error>([&] { TagAt(sequence, 0); });
    EXPECT_NE(message.find("f_0.png"), std::string::npos) << message;
}
