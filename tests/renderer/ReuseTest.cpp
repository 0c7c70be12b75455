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

TEST_F(RendererTest, ACurrentFrameIsCopiedOutWithoutEncodingWhateverItsRowPaddingHolds)
{
    int marker = 0;
    MemorySource& source = Start(64, 48, 40,
                                 [&marker](std::int32_t frame, Picture& into)
                                 {
                                     PaintSmooth(frame, into);
                                     into.FillPadding(static_cast<std::uint8_t>(++marker));
                                 });
    const Picture first = RenderOk(3, 64, 48);
    source.progress.clear();
    const std::size_t lastSummary = ReadLogFile().rfind("Frame size: ");
    const int blocks = source.created;

    const Picture again = RenderOk(3, 64, 48);
    // Only the reuse test looks at the layer: no pass, no progress, no store.
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_TRUE(source.progress.empty());
    EXPECT_EQ(source.created, blocks);
    EXPECT_EQ(ReadLogFile().rfind("Frame size: "), lastSummary);
    EXPECT_EQ(Psnr(first, again), 99.0);

    // Every other frame of the segment is stored too.
    RenderOk(11, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({11}));
}

TEST_F(RendererTest, AnyChangeOfContentEncodesTheSegmentAgain)
{
    enum Scene
    {
        Transparent,
        Smooth,
        OnePixelChanged,
        Title,
        TitleMoved
    } scene = Transparent;
    Start(64, 48, 40,
          [&scene](std::int32_t frame, Picture& into)
          {
              // A title nudged ten pixels over a flat background, else ramps.
              const std::int32_t left = scene == Title ? 10 : 20;
              Paint(into,
                    [&](std::int32_t x, std::int32_t y)
                    {
                        const bool title = y >= 20 && y < 30 && x >= left && x < left + 10;
                        return title ? PF_Pixel{255, 250, 250, 250} : PF_Pixel{255, 90, 90, 90};
                    });
              if (scene == Transparent)
              {
                  into.Fill(PF_Pixel{0, 0, 0, 0});
              }
              else if (scene < Title)
              {
                  PaintSmooth(frame, into);
                  into.At(17, 9).green ^= scene == OnePixelChanged && frame == 5 ? 1 : 0;
              }
          });
    // A fully transparent frame is held to its content too.
    RenderOk(5, 64, 48);
    RenderOk(5, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({5}));
    scene = Smooth;
    const Picture shown = RenderOk(5, 64, 48);
    EXPECT_EQ(checkedOut_.size(), 16u);
    EXPECT_GT(Psnr(Input(5, 64, 48), shown), 40.0);

    scene = OnePixelChanged;
    RenderOk(5, 64, 48);
    std::vector<std::int32_t> expected = Frames(0, 14);
    expected.insert(expected.begin(), 5);
    EXPECT_THAT(checkedOut_, ElementsAreArray(expected));
    RenderOk(5, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({5}));

    scene = Title;
    RenderOk(5, 64, 48);
    scene = TitleMoved;
    const Picture moved = RenderOk(5, 64, 48);
    EXPECT_EQ(checkedOut_.size(), 16u);
    // The title is shown where it now is.
    EXPECT_GT(moved.At(25, 25).red, 200);
    EXPECT_LT(moved.At(12, 25).red, 140);
}

TEST_F(RendererTest, OddOutputsAreEncodedEvenAndSmallLayersScaledUpFillingTheOutputWhole)
{
    // 17 x 17 is mostly edge, where 4:2:0 chroma costs most.
    for (const auto& [layerWidth, layerHeight, width, height, floor] :
         {std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, double>{17, 17, 17, 17,
                                                                                     30.0},
          {641, 361, 641, 361, 45.0},
          {32, 24, 64, 48, 34.0}})
    {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        Start(layerWidth, layerHeight, 4, PaintSmooth);
        settings_.segmentLength = 2;
        // Alpha 7 marks the unwritten, 0xA5 the padding, which must stay.
        Picture output(width, height);
        output.Fill(PF_Pixel{7, 0, 0, 0});
        output.FillPadding(0xA5);
        ASSERT_EQ(Render(1, output), "");
        EXPECT_TRUE(output.PaddingIntact(0xA5));
        for (std::int32_t y = 0; y < height; ++y)
        {
            for (std::int32_t x = 0; x < width; ++x)
            {
                ASSERT_EQ(output.At(x, y).alpha, 255) << x << ", " << y;
            }
        }
        EXPECT_GT(Psnr(Input(1, width, height), output), floor);

        const std::string expected = "Frame size: " + std::to_string(width & ~1) + " x " +
                                     std::to_string(height & ~1) + ", frames: 0 - 1 (2)";
        EXPECT_NE(ReadLogFile().rfind(expected), std::string::npos) << expected;
    }
}

TEST_F(RendererTest, StoredFramesFillSmallerOutputsScaledDownAfterASmallerEncodeToo)
{
    Start(64, 48, 40, PaintSmooth);
    RenderOk(3, 64, 48);
    const Picture half = RenderOk(3, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_GT(Psnr(Input(3, 32, 24), half), 39.0);

    // A frame of another segment at a smaller size: encoded at 32 x 24 by
    // the same renderer; the frames stored before decode at their own size.
    RenderOk(20, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(15, 29)));
    const Picture early = RenderOk(3, 32, 24);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));
    EXPECT_GT(Psnr(Input(3, 32, 24), early), 39.0);
}

} // namespace
