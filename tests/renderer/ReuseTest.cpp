// When a stored frame is shown again and when its segment is encoded anew,
// and how a stored frame fills outputs of other sizes: the renderer over an
// in-memory layer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/renderer/MemorySource.h"

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
    MemorySource& source = Start(64, 48, 40, PaintSmooth);
    const Picture first = RenderOk(3, 64, 48);
    source.progress.clear();
    const int summaries = CountOf(ReadLogFile(), "Frame size: ");
    const int blocks = source.Blocks().created;

    const Picture again = RenderOk(3, 64, 48);
    // Only the reuse test looks at the layer: no pass, no progress, no store.
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_TRUE(source.progress.empty());
    EXPECT_EQ(source.Blocks().created, blocks);
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
          [&changed](std::int32_t frame, Picture& into)
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
    std::vector<std::int32_t> expected{5};
    for (std::int32_t f : Frames(0, 14))
    {
        expected.push_back(f);
    }
    EXPECT_THAT(checkedOut_, ElementsAreArray(expected));
    RenderOk(5, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({5}));
}

TEST_F(RendererTest, ATitleNudgedTenPixelsOverAFlatBackgroundIsSeen)
{
    std::int32_t left = 10;
    Start(64, 48, 40,
          [&left](std::int32_t, Picture& into)
          {
              into.Fill(PF_Pixel{255, 90, 90, 90});
              for (std::int32_t y = 20; y < 30; ++y)
              {
                  for (std::int32_t x = left; x < left + 10; ++x)
                  {
                      into.At(x, y) = PF_Pixel{255, 250, 250, 250};
                  }
              }
          });
    RenderOk(5, 64, 48);
    left = 20;
    const Picture moved = RenderOk(5, 64, 48);
    EXPECT_EQ(checkedOut_.size(), 16u);
    // The title is shown where it now is.
    EXPECT_GT(moved.At(25, 25).red, 200);
    EXPECT_LT(moved.At(12, 25).red, 140);
}

TEST_F(RendererTest, RowPaddingDoesNotCountAsContent)
{
    int marker = 0;
    Start(64, 48, 40,
          [&marker](std::int32_t frame, Picture& into)
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
          [&blank](std::int32_t frame, Picture& into)
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
    const Picture shown = RenderOk(5, 64, 48);
    EXPECT_EQ(checkedOut_.size(), 16u);
    EXPECT_GT(Psnr(Input(5, 64, 48), shown), 40.0);
}

// An output whose every pixel must be written: alpha 7 marks the unwritten,
// 0xA5 the padding beyond each row, which must stay untouched.
Picture MarkedPicture(std::int32_t width, std::int32_t height)
{
    Picture picture(width, height);
    picture.Fill(PF_Pixel{7, 0, 0, 0});
    picture.FillPadding(0xA5);
    return picture;
}

void ExpectFullyWritten(const Picture& output)
{
    EXPECT_TRUE(output.PaddingIntact(0xA5));
    for (std::int32_t y = 0; y < output.Height(); ++y)
    {
        for (std::int32_t x = 0; x < output.Width(); ++x)
        {
            ASSERT_EQ(output.At(x, y).alpha, 255) << x << ", " << y;
        }
    }
}

TEST_F(RendererTest, OddOutputSizesAreEncodedEvenAndFilledWhole)
{
    // 17 x 17 is mostly edge, where 4:2:0 chroma costs most.
    for (const auto& [width, height, floor] :
         {std::tuple<std::int32_t, std::int32_t, double>{17, 17, 30.0}, {641, 361, 45.0}})
    {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        Start(width, height, 4, PaintSmooth);
        settings_.segmentLength = 2;
        Picture output = MarkedPicture(width, height);
        ASSERT_EQ(Render(1, output), "");
        ExpectFullyWritten(output);
        EXPECT_GT(Psnr(Input(1, width, height), output), floor);

        const std::string expected = "Frame size: " + std::to_string(width & ~1) + " x " +
                                     std::to_string(height & ~1) + ", frames: 0 - 1 (2)";
        EXPECT_NE(ReadLogFile().rfind(expected), std::string::npos) << expected;
    }
}

TEST_F(RendererTest, ALayerSmallerThanTheOutputIsScaledUpNotOverread)
{
    Start(32, 24, 4, PaintSmooth);
    settings_.segmentLength = 2;
    Picture output = MarkedPicture(64, 48);
    ASSERT_EQ(Render(1, output), "");
    ExpectFullyWritten(output);
    EXPECT_GT(Psnr(Input(1, 64, 48), output), 34.0);
}

TEST_F(RendererTest, TheOutputIsCloseToTheInputAtAGenerousRate)
{
    Start(96, 64, 10, PaintSmooth);
    settings_.segmentLength = 5;
    settings_.rateFactor = 8;
    for (std::int32_t frame : {0, 3, 7})
    {
        const Picture output = RenderOk(frame, 96, 64);
        EXPECT_GT(Psnr(Input(frame, 96, 64), output), 44.0) << "frame " << frame;
    }
    // The same holds in two passes at a high bitrate.
    settings_.averageBitrate = true;
    settings_.targetBitrateKbps = 20000;
    const Picture output = RenderOk(6, 96, 64);
    EXPECT_GT(Psnr(Input(6, 96, 64), output), 44.0);
}

TEST_F(RendererTest, AStoredFrameFillsASmallerOutputScaledDown)
{
    Start(64, 48, 40, PaintSmooth);
    RenderOk(3, 64, 48);
    const Picture half = RenderOk(3, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
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

    const Picture early = RenderOk(3, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_GT(Psnr(Input(3, 32, 24), early), 39.0);
}

} // namespace
