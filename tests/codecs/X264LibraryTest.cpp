#include "codecs/X264Library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "codecs/AvutilLibrary.h"
#include "codecs/SwScaleLibrary.h"
#include "tests/codecs/StubLibraries.h"

using namespace Zovazaz;
using namespace CodecTests;

namespace
{

template <class Library> std::string ConstructionError(const std::string& baseName)
{
    try
    {
        Library library(baseName);
    }
    catch (const std::runtime_error& error)
    {
        return error.what();
    }
    return "loaded";
}

// A library without one entry point is refused, naming what is missing; the
// real libraries resolve every one.
TEST(LibraryBinding, MissingEntryPointIsRefusedNamingItAndRealLibrariesResolveAll)
{
    const Zovazaz::ScopedPathPrepend stubPath("PATH", StubDirectory);
    EXPECT_EQ(ConstructionError<X264Library>("stubx264_no_x264_encoder_close"),
              "Function encoder_close not found");
    const std::string build = std::to_string(X264_BUILD);
    EXPECT_EQ(ConstructionError<X264Library>("stubx264_no_x264_encoder_open_" + build),
              "Dynamic library function not found: encoder_open" + build);
    EXPECT_EQ(ConstructionError<AvutilLibrary>("stubavutil_no_av_frame_get_buffer"),
              "Function av_frame_get_buffer not found");
    EXPECT_EQ(ConstructionError<SwScaleLibrary>("stubswscale_no_av_buffer_create"),
              "Function bufferCreate not found");

    EXPECT_NO_THROW(X264Library());
    EXPECT_NO_THROW(AvutilLibrary());
    EXPECT_NO_THROW(SwScaleLibrary());
}

x264_param_t SmallParameters(const X264Library& x264, int width, int height)
{
    x264_param_t params;
    x264.DefaultPreset(params, -1, 0);
    X264Library::SetFormat(params, width, height, 25, 1, false);
    X264Library::SetRateFactor(params, 23.0f);
    x264.ApplyProfile(params, -1);
    return params;
}

// x264's reason reaches the log through the routing; the global set-up's
// test shows it there.
TEST(X264Encoder, RefusedParametersThrowInsteadOfHandingOutNoEncoder)
{
    X264Library x264;
    x264_param_t params = SmallParameters(x264, 0, 0);
    EXPECT_THROW(x264.OpenEncoder(params), std::runtime_error);
}

TEST(X264Picture, AllocationFailureThrows)
{
    const X264Library x264;
    EXPECT_THROW(x264.AllocatePicture(0, X264_CSP_NONE, 16, 16, false), std::runtime_error);
    EXPECT_THROW(x264.AllocatePicture(0, X264_CSP_MAX, 16, 16, true), std::runtime_error);
}

TEST(X264Picture, FillMakesVideoBlackAndKeepsTheTimeStamp)
{
    const X264Library x264;
    for (const auto& [width, height] : {std::pair{32, 16}, std::pair{33, 17}})
    {
        const auto picture = x264.AllocatePicture(7, X264_CSP_I420, width, height, true);
        EXPECT_EQ(picture->i_pts, 7);
        const x264_image_t& image = picture->img;
        ASSERT_EQ(image.i_plane, 3);
        const int rows[3] = {height, height / 2, height / 2};
        const int values[3] = {16, 128, 128};
        for (int plane = 0; plane < 3; ++plane)
        {
            const std::uint8_t* data = image.plane[plane];
            const int size = image.i_stride[plane] * rows[plane];
            const int matching = static_cast<int>(std::count(data, data + size, values[plane]));
            EXPECT_EQ(matching, size) << width << " x " << height << ", plane " << plane;
        }
    }
}

} // namespace
