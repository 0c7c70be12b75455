#include "codecs/SwScaleLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace Zovazaz;

namespace
{

constexpr int Width = 64;
constexpr int Height = 48;

// Bytes with a guard zone after them, to see that a conversion writes the
// expected amount and no more.
struct Plane
{
    Plane(int stride, int rows, std::uint8_t value)
        : stride(stride), bytes(static_cast<std::size_t>(stride) * rows + Guard, value)
    {
        std::fill(bytes.end() - Guard, bytes.end(), GuardValue);
    }
    bool GuardIntact() const
    {
        return std::count(bytes.end() - Guard, bytes.end(), GuardValue) == Guard;
    }
    std::uint8_t* data() { return bytes.data(); }

    static constexpr int Guard = 64;
    static constexpr std::uint8_t GuardValue = 0xA5;
    int stride;
    std::vector<std::uint8_t> bytes;
};

TEST(SwScaleConversion, SliceThreadsGiveTheSinglePicturesBytesAndWriteNoFurther)
{
    const SwScaleLibrary swscale;
    constexpr int W = 256;
    constexpr int H = 96;
    Plane luma(W, H, 0), chroma(W, H / 2, 0);
    std::srand(7);
    for (std::size_t i = 0; i < luma.bytes.size() - Plane::Guard; ++i)
    {
        luma.bytes[i] = static_cast<std::uint8_t>(16 + std::rand() % 220);
    }
    for (std::size_t i = 0; i < chroma.bytes.size() - Plane::Guard; ++i)
    {
        chroma.bytes[i] = static_cast<std::uint8_t>(64 + std::rand() % 128);
    }
    const SwScaleLibrary::Picture source{
        W, H, AV_PIX_FMT_NV12, {luma.data(), chroma.data()}, {luma.stride, chroma.stride}};

    const int flags = SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
    Plane single(W * 4, H, 0), threaded(W * 4, H, 0);
    for (auto& [threads, out] : {std::pair<int, Plane&>{1, single}, {3, threaded}})
    {
        const auto context =
            swscale.GetContext(W, H, AV_PIX_FMT_NV12, W, H, AV_PIX_FMT_ARGB, flags, threads);
        ASSERT_TRUE(context) << threads << " threads";
        const SwScaleLibrary::Picture destination{
            W, H, AV_PIX_FMT_ARGB, {out.data()}, {out.stride}};
        EXPECT_EQ(swscale.ScalePicture(context.get(), source, destination), H);
        EXPECT_TRUE(out.GuardIntact());
    }
    EXPECT_TRUE(single.bytes == threaded.bytes);
    EXPECT_EQ(threaded.bytes[(H - 1) * W * 4], 255) << "the last row's alpha";
    EXPECT_TRUE(luma.GuardIntact() && chroma.GuardIntact());
}

// Wraps the binding's colour-space entry point to record the calls, passing
// them on to libswscale.
struct ColorspaceCalls
{
    static inline decltype(&::sws_setColorspaceDetails) realSet = nullptr;
    static inline int sets = 0;
    static inline int sourceRange = -1;
    static inline int destinationRange = -1;

    static int CountingSet(SwsContext* context, const int inverseTable[4], int sourceRange,
                           const int table[4], int destinationRange, int brightness, int contrast,
                           int saturation)
    {
        ++sets;
        ColorspaceCalls::sourceRange = sourceRange;
        ColorspaceCalls::destinationRange = destinationRange;
        return realSet(context, inverseTable, sourceRange, table, destinationRange, brightness,
                       contrast, saturation);
    }
};

// Sizes and formats libswscale refuses, and format numbers outside its table
// (which would make it abort), give an empty context. A full-range source
// sets the range; ordinary formats make no colour-space call.
TEST(SwScaleContext, BadFormatsAreRefusedAndAFullRangeSourceSetsTheRange)
{
    SwScaleLibrary swscale;
    EXPECT_FALSE(swscale.GetContext(0, Height, AV_PIX_FMT_ARGB, Width, Height, AV_PIX_FMT_YUV420P,
                                    SWS_FAST_BILINEAR));
    EXPECT_FALSE(swscale.GetContext(Width, Height, AV_PIX_FMT_NONE, Width, Height,
                                    AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR));
    EXPECT_FALSE(swscale.GetContext(Width, Height, AV_PIX_FMT_ARGB, Width, Height,
                                    static_cast<AVPixelFormat>(AV_PIX_FMT_NB), SWS_FAST_BILINEAR));

    ColorspaceCalls::realSet = swscale.setColorspaceDetails;
    ColorspaceCalls::sets = 0;
    swscale.setColorspaceDetails = &ColorspaceCalls::CountingSet;
    for (const auto& [from, to] : {std::pair{AV_PIX_FMT_ARGB, AV_PIX_FMT_YUV420P},
                                   std::pair{AV_PIX_FMT_NV12, AV_PIX_FMT_ARGB}})
    {
        ASSERT_TRUE(swscale.GetContext(Width, Height, from, Width, Height, to, SWS_FAST_BILINEAR));
    }
    EXPECT_EQ(ColorspaceCalls::sets, 0);

    const auto context = swscale.GetContext(Width, Height, AV_PIX_FMT_YUVJ420P, Width, Height,
                                            AV_PIX_FMT_ARGB, SWS_FAST_BILINEAR);
    ASSERT_TRUE(context);
    EXPECT_EQ(ColorspaceCalls::sets, 1);
    EXPECT_EQ(ColorspaceCalls::sourceRange, 1);
    EXPECT_EQ(ColorspaceCalls::destinationRange, 0);

    // Full-range luma 235 is light grey, not the white that limited range
    // would make of it.
    Plane y(Width, Height, 235), u(Width / 2, Height / 2, 128), v(Width / 2, Height / 2, 128);
    Plane out(Width * 4, Height, 0);
    const std::uint8_t* source[4] = {y.data(), u.data(), v.data()};
    const int sourceStride[4] = {y.stride, u.stride, v.stride};
    std::uint8_t* destination[4] = {out.data()};
    const int destinationStride[4] = {out.stride};
    ASSERT_EQ(swscale.scale(context.get(), source, sourceStride, 0, Height, destination,
                            destinationStride),
              Height);
    for (std::size_t i = 0; i < out.bytes.size() - Plane::Guard; i += 4)
    {
        ASSERT_EQ(out.bytes[i], 255) << "alpha at byte " << i;
        for (int channel = 1; channel < 4; ++channel)
        {
            ASSERT_NEAR(out.bytes[i + channel], 235, 3) << "byte " << i + channel;
        }
    }
}

} // namespace
