#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/renderer/RendererFixture.h"

using namespace RendererTests;
using testing::ElementsAreArray;

namespace
{

int CountOf(const std::string& text, const std::string& what)
{
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    {
        ++count;
    }
    return count;
}

TEST_F(RendererTest, ACurrentFrameIsCopiedOutWithoutEncoding)
{
    EffectHost::Host& host = Start(64, 48, 40, PaintSmooth);
    const World first = RenderOk(3, 64, 48);
    RecordProgress();
    const int summaries = CountOf(ReadLogFile(), "Frame size: ");
    const int handles = host.Handles().created;

    const World again = RenderOk(3, 64, 48);
    // Only the reuse test looks at the layer: no pass, no progress, no store.
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_TRUE(progress_.empty());
    EXPECT_EQ(host.Handles().created, handles);
    EXPECT_EQ(CountOf(ReadLogFile(), "Frame size: "), summaries);
    EXPECT_EQ(Psnr(first, again), 99.0);

    // Every other frame of the segment is stored too.
    RenderOk(11, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({11}));
}

TEST_F(RendererTest, OneChangedPixelEncodesTheSegmentAgain)
{
    bool changed = false;
    Start(64, 48, 40,
          [&changed](A_long frame, World& into)
          {
              PaintPattern(frame, into);
              if (changed && frame == 5)
              {
                  into.At(17, 9).green ^= 1;
              }
          });
    RenderOk(5, 64, 48);
    changed = true;
    RenderOk(5, 64, 48);
    std::vector<A_long> expected{5};
    for (A_long f : Frames(0, 14))
    {
        expected.push_back(f);
    }
    EXPECT_THAT(checkedOut_, ElementsAreArray(expected));
    RenderOk(5, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({5}));
}

TEST_F(RendererTest, ATitleNudgedTenPixelsOverAFlatBackgroundIsSeen)
{
    A_long left = 10;
    Start(64, 48, 40,
          [&left](A_long, World& into)
          {
              into.Fill(PF_Pixel{255, 90, 90, 90});
              for (A_long y = 20; y < 30; ++y)
              {
                  for (A_long x = left; x < left + 10; ++x)
                  {
                      into.At(x, y) = PF_Pixel{255, 250, 250, 250};
                  }
              }
          });
    RenderOk(5, 64, 48);
    left = 20;
    const World moved = RenderOk(5, 64, 48);
    EXPECT_EQ(checkedOut_.size(), 16u);
    // The title is shown where it now is.
    EXPECT_GT(moved.At(25, 25).red, 200);
    EXPECT_LT(moved.At(12, 25).red, 140);
}

TEST_F(RendererTest, RowPaddingDoesNotCountAsContent)
{
    int marker = 0;
    Start(64, 48, 40,
          [&marker](A_long frame, World& into)
          {
              PaintPattern(frame, into);
              into.FillPadding(static_cast<std::uint8_t>(++marker));
          });
    RenderOk(5, 64, 48);
    RenderOk(5, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({5}));
}

TEST_F(RendererTest, AFullyTransparentFrameIsHeldToItsContentToo)
{
    bool blank = true;
    Start(64, 48, 40,
          [&blank](A_long frame, World& into)
          {
              if (blank)
              {
                  into.Fill(PF_Pixel{0, 0, 0, 0});
              }
              else
              {
                  PaintSmooth(frame, into);
              }
          });
    RenderOk(5, 64, 48);
    RenderOk(5, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({5}));

    blank = false;
    const World shown = RenderOk(5, 64, 48);
    EXPECT_EQ(checkedOut_.size(), 16u);
    EXPECT_GT(Psnr(Input(5), shown), 40.0);
}

TEST_F(RendererTest, OutputsTooSmallToEncodeAreTransparentBlack)
{
    EffectHost::Host& host = Start(64, 48, 40);
    RenderOk(3, 64, 48);
    const int checkouts = host.Checkouts().total;

    World narrow(15, 1080);
    narrow.Fill(PF_Pixel{255, 1, 2, 3});
    const EffectHost::CommandResult result = Render(3, narrow);
    EXPECT_TRUE(result.Succeeded()) << result.errorMessage;
    for (A_long y = 0; y < narrow.Height(); ++y)
    {
        for (A_long x = 0; x < narrow.Width(); ++x)
        {
            ASSERT_EQ(narrow.At(x, y), (PF_Pixel{0, 0, 0, 0})) << x << ", " << y;
        }
    }
    // Not a parameter was fetched, and the renderer still holds its frames.
    EXPECT_EQ(host.Checkouts().total, checkouts);
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
}

// Every pixel of the output was written: the marker alpha is gone, and the
// padding beyond each row is untouched.
void ExpectFullyWritten(const World& output)
{
    EXPECT_TRUE(output.PaddingIntact(0xA5));
    for (A_long y = 0; y < output.Height(); ++y)
    {
        for (A_long x = 0; x < output.Width(); ++x)
        {
            ASSERT_EQ(output.At(x, y).alpha, 255) << x << ", " << y;
        }
    }
}

World MarkedWorld(A_long width, A_long height)
{
    World world(width, height);
    world.Fill(PF_Pixel{7, 0, 0, 0});
    world.FillPadding(0xA5);
    return world;
}

TEST_F(RendererTest, OddOutputSizesAreEncodedEvenAndFilledWhole)
{
    // 17 x 17 is mostly edge, where 4:2:0 chroma costs most.
    for (const auto& [width, height, floor] :
         {std::tuple<A_long, A_long, double>{17, 17, 30.0}, {641, 361, 45.0}})
    {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        Start(width, height, 4, PaintSmooth);
        Set(ParamSegmentLength, 2);
        World output = MarkedWorld(width, height);
        const EffectHost::CommandResult result = Render(1, output);
        ASSERT_TRUE(result.Succeeded()) << result.errorMessage;
        ExpectFullyWritten(output);
        EXPECT_GT(Psnr(Input(1), output), floor);

        const std::string log = ReadLogFile();
        const std::string expected = "Frame size: " + std::to_string(width & ~1) + " x " +
                                     std::to_string(height & ~1) + ", frames: 0 - 1 (2)";
        EXPECT_NE(log.rfind(expected), std::string::npos) << expected;
        host_->Unload();
    }
}

TEST_F(RendererTest, ALayerSmallerThanTheOutputIsScaledUpNotOverread)
{
    Start(32, 24, 4, PaintSmooth);
    Set(ParamSegmentLength, 2);
    World output = MarkedWorld(64, 48);
    ASSERT_TRUE(Render(1, output).Succeeded());
    ExpectFullyWritten(output);
    EXPECT_GT(Psnr(Input(1, 64, 48), output), 34.0);
}

TEST_F(RendererTest, TheOutputIsCloseToTheInputAtAGenerousRate)
{
    Start(96, 64, 10, PaintSmooth);
    Set(ParamSegmentLength, 5);
    Set(ParamRateFactor, 8);
    for (A_long frame : {0, 3, 7})
    {
        const World output = RenderOk(frame, 96, 64);
        EXPECT_GT(Psnr(Input(frame), output), 44.0) << "frame " << frame;
    }
    // The same holds in two passes at a high bitrate.
    SetMode("Average Bitrate");
    Set(ParamTargetBitrate, 20000);
    const World output = RenderOk(6, 96, 64);
    EXPECT_GT(Psnr(Input(6), output), 44.0);
}

TEST_F(RendererTest, TheRendererIsKeptForTheSameSettingsAndASmallerOutput)
{
    Start(64, 48, 40, PaintSmooth);
    RenderOk(3, 64, 48);
    const World half = RenderOk(3, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    // The stored 64 x 48 frame, scaled down.
    EXPECT_GT(Psnr(Input(3, 32, 24), half), 39.0);
}

TEST_F(RendererTest, FramesStoredBeforeASmallerEncodeStillDecodeAtTheirOwnSize)
{
    Start(64, 48, 40, PaintSmooth);
    RenderOk(3, 64, 48);
    // A frame of another segment at a smaller size: encoded at 32 x 24 by
    // the same renderer.
    RenderOk(20, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(15, 29)));

    const World early = RenderOk(3, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_GT(Psnr(Input(3, 32, 24), early), 39.0);
}

TEST_F(RendererTest, TheRendererIsReplacedWhenTheOutputGrows)
{
    Start(64, 48, 40, PaintSmooth);
    RenderOk(3, 32, 24);
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
}

TEST_F(RendererTest, TheRendererIsReplacedWhenTheTimeStepOrDurationChanges)
{
    EffectHost::Host& host = Start(64, 48, 40, PaintSmooth);
    RenderOk(3, 64, 48);

    host.SetTime({TimeScale, 1000, 40 * 1000, 0});
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));

    host.SetTime({TimeScale, 1000, 41 * 1000, 0});
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));

    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
}

TEST_F(RendererTest, AnyUserChangeDiscardsTheStoredFrames)
{
    Start(64, 48, 40, PaintSmooth);
    RenderOk(3, 64, 48);
    // Changed and changed back: the settings are the same as before.
    Set(ParamSegmentLength, 16);
    Set(ParamSegmentLength, 15);
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
}

} // namespace
