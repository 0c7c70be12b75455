#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <tuple>

#include "host/LayerSource.h"
#include "host/Resolution.h"
#include "host/Timeline.h"
#include "tests/host/TestEffect.h"
#include "tests/host/VideoFiles.h"

using namespace EffectHost;
using namespace HostTest;

TEST(FrameRate, ParsesPositiveFractionsExactlyInLowestTermsAndNothingElse)
{
    EXPECT_EQ(ParseFrameRate("30000/1001"), (FrameRate{30000, 1001}));
    EXPECT_EQ(ParseFrameRate("60000/2002"), (FrameRate{30000, 1001}));
    EXPECT_EQ(ParseFrameRate("25"), (FrameRate{25, 1}));
    for (const std::string text : {"", "0", "30/0", "0/1001", "-25", "29.97", "abc", "1/2/3", "30/",
                                   "/1001", "99999999999/1", " 25"})
    {
        EXPECT_THROW(ParseFrameRate(text), std::invalid_argument) << '"' << text << '"';
    }
}

TEST(FrameRate, NtscClockIsExactAndAClockThatWouldOverflowIsRefused)
{
    const TimeSettings time = TimeForFrames(FrameRate{30000, 1001}, 90);
    EXPECT_EQ(std::tuple(time.timeScale, time.timeStep, time.totalTime, time.currentTime),
              std::tuple(30000u, 1001, 90 * 1001, 0));
    EXPECT_EQ(FrameCount(time), 90);
    EXPECT_EQ(TimeForFrames(FrameRate{25, 1}, 250).totalTime, 250);

    // 2^31 - 1 ticks at 1001 ticks a frame hold 2145338 whole frames.
    EXPECT_NO_THROW(TimeForFrames(FrameRate{30000, 1001}, INT_MAX / 1001));
    EXPECT_THROW(TimeForFrames(FrameRate{30000, 1001}, INT_MAX / 1001 + 1), std::invalid_argument);
    EXPECT_THROW(TimeForFrames(FrameRate{30000, 1001}, 0), std::invalid_argument);
    EXPECT_THROW(TimeForFrames(FrameRate{30000, 0}, 10), std::invalid_argument);
    EXPECT_THROW(TimeForFrames(FrameRate{3000000000u, 1}, 10), std::invalid_argument);
}

TEST(Resolution, EachPixelIsTheAverageOfItsBlockCutShortAtTheEdges)
{
    World full(5, 3);
    for (A_long y = 0; y < 3; ++y)
    {
        for (A_long x = 0; x < 5; ++x)
        {
            full.At(x, y) =
                PF_Pixel{255, static_cast<A_u_char>(x * 10 + y * 100), static_cast<A_u_char>(x), 7};
        }
    }
    World half(3, 2);
    half.FillPadding(0x33);
    Downsample(full, half, 2);
    // Block (0..1, 0..1): red 0, 10, 100, 110.
    EXPECT_EQ(half.At(0, 0), (PF_Pixel{255, 55, 1, 7}));
    // The right edge holds one column: x = 4, rows 0 and 1: 40 and 140.
    EXPECT_EQ(half.At(2, 0), (PF_Pixel{255, 90, 4, 7}));
    // The bottom edge holds one row: y = 2, x = 2 and 3: 220 and 230.
    EXPECT_EQ(half.At(1, 1), (PF_Pixel{255, 225, 3, 7}));
    // The corner: one pixel.
    EXPECT_EQ(half.At(2, 1), full.At(4, 2));
    EXPECT_TRUE(half.PaddingIntact(0x33));

    World wrong(2, 2);
    EXPECT_THROW(Downsample(full, wrong, 2), std::invalid_argument);
    EXPECT_EQ(DownsampledSize(1, 4), 1);
}

using HostTime = HostWithTestEffect;

TEST_F(HostTime, RenderSeesTheClockAndTheLayerAveragedDownToTheResolution)
{
    host_->SetLayerSize(1280, 720);
    host_->SetTime(TimeForFrames(FrameRate{30000, 1001}, 90));
    World full(1280, 720);
    host_->Layer().FrameAt(37 * 1001, 1001, 30000, full);
    EXPECT_EQ(full.At(1279, 719), PatternLayerSource::PatternPixel(1279, 719, 37, 1280, 720));
    struct Size
    {
        int factor;
        A_long width, height;
    };
    for (const Size size : {Size{1, 1280, 720}, {2, 640, 360}, {3, 427, 240}, {4, 320, 180}})
    {
        host_->SetDownsample(size.factor);
        EXPECT_EQ(host_->RenderWidth(), size.width);
        EXPECT_EQ(host_->RenderHeight(), size.height);
        World expected(size.width, size.height), output(size.width, size.height);
        output.FillPadding(0x77);
        Downsample(full, expected, size.factor);
        PF_InData seen{};
        PF_LayerDef layer{};
        PF_ParamDef checkedOut{};
        PF_Pixel8* pixels = nullptr;
        Effect().handler = [&](PF_Cmd command, PF_InData* in, PF_OutData*, PF_ParamDef** params,
                               PF_LayerDef* out, auto...) -> PF_Err
        {
            if (command != PF_Cmd_RENDER)
            {
                return PF_Err_NONE;
            }
            seen = *in;
            layer = params[0]->u.ld;
            in->utils->get_pixel_data8(out, nullptr, &pixels);
            in->utils->copy(in->effect_ref, &params[0]->u.ld, out, nullptr, nullptr);
            const PF_Err error = in->inter.checkout_param(
                in->effect_ref, 0, 5 * in->time_step, in->time_step, in->time_scale, &checkedOut);
            return error ? error : in->inter.checkin_param(in->effect_ref, &checkedOut);
        };
        ASSERT_TRUE(host_->RenderFrame(37, output).Succeeded()) << size.factor;
        EXPECT_EQ(host_->Time().currentTime, 37 * 1001);
        EXPECT_EQ(pixels, output.Def().data);
        EXPECT_EQ(std::tuple(seen.current_time, seen.time_step, seen.total_time, seen.time_scale),
                  std::tuple(37 * 1001, 1001, 90090, 30000u));
        EXPECT_EQ(std::tuple(seen.downsample_x.num, seen.downsample_x.den, seen.downsample_y.den),
                  std::tuple(1, A_u_long(size.factor), A_u_long(size.factor)));
        EXPECT_EQ(seen.width, 1280) << "in_data keeps the layer's own size";
        // The layer has the rendered size and is the average of the full one.
        EXPECT_EQ(std::pair(layer.width, layer.height), std::pair(size.width, size.height));
        // The effect copied it into the output, which it was lent in place.
        EXPECT_EQ(VideoFiles::DifferentPixels(output, expected), 0) << size.factor;
        EXPECT_TRUE(output.PaddingIntact(0x77));
        EXPECT_EQ(checkedOut.u.ld.width, size.width);
    }
    EXPECT_THROW(host_->SetDownsample(0), std::invalid_argument);
    EXPECT_THROW(host_->SetLayerSize(0, 10), std::invalid_argument);
}

namespace
{

// Two frames kept in memory, red 0 and red 1, lent as they are.
class HeldFrames final : public LayerSource
{
  public:
    HeldFrames()
    {
        for (std::uint8_t red : {0, 1})
        {
            auto frame = std::make_shared<World>(64, 36);
            frame->Fill(PF_Pixel{255, red, 50, 60});
            frames_.push_back(std::move(frame));
        }
    }
    A_long Width() const override { return 64; }
    A_long Height() const override { return 36; }
    void FrameAt(A_long time, A_long timeStep, A_u_long, World& into) const override
    {
        into = *frames_.at(time / timeStep);
    }
    std::shared_ptr<const World> HeldFrame(A_long time, A_long timeStep, A_u_long) const override
    {
        return frames_.at(time / timeStep);
    }
    std::vector<std::shared_ptr<World>> frames_;
};

} // namespace

TEST_F(HostTime, AFrameTheSourceHoldsIsLentWithoutACopyAtFullResolutionOnly)
{
    const auto source = std::make_shared<HeldFrames>();
    host_->SetLayerSource(source);
    host_->SetTime(TimeForFrames(FrameRate{30000, 1001}, 2));
    std::vector<const void*> lent;
    Effect().handler = [&](PF_Cmd command, PF_InData* in, PF_OutData*, PF_ParamDef** params,
                           PF_LayerDef*, auto...) -> PF_Err
    {
        if (command != PF_Cmd_RENDER)
        {
            return PF_Err_NONE;
        }
        lent = {params[0]->u.ld.data};
        for (A_long frame : {0, 1})
        {
            PF_ParamDef def{};
            in->inter.checkout_param(in->effect_ref, 0, frame * in->time_step, in->time_step,
                                     in->time_scale, &def);
            lent.push_back(def.u.ld.data);
            in->inter.checkin_param(in->effect_ref, &def);
        }
        return PF_Err_NONE;
    };
    World output(64, 36);
    ASSERT_TRUE(host_->RenderFrame(1, output).Succeeded());
    const void* const zero = source->frames_[0]->Def().data;
    const void* const one = source->frames_[1]->Def().data;
    EXPECT_EQ(lent, (std::vector<const void*>{one, zero, one}));

    // A reduced resolution lends the averaged copy instead.
    host_->SetDownsample(2);
    World reduced(32, 18);
    ASSERT_TRUE(host_->RenderFrame(1, reduced).Succeeded());
    ASSERT_EQ(lent.size(), 3u);
    EXPECT_NE(lent[0], one);
    EXPECT_NE(lent[1], zero);
    EXPECT_EQ(lent[0], lent[2]) << "the checkout at the command's time shares its layer";
}
