#include <dlfcn.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "codecs/AvutilLibrary.h"
#include "codecs/DynamicLibrary.h"
#include "codecs/LibraryCache.h"
#include "codecs/SwScaleLibrary.h"
#include "codecs/X264Library.h"
#include "tests/support/TestFiles.h"

using namespace Zovazaz;

namespace
{

// The folder of the stand-in libraries that lack one entry point each, and
// the folder of the one that is only found through PATH.
const std::string StubDirectory = CODEC_STUB_DIR;
const std::string StubPathDirectory = CODEC_STUB_PATH_DIR;

template <class Library> std::string LoadError(const std::string& name)
{
    try
    {
        Library library(name);
    }
    catch (const std::runtime_error& error)
    {
        return error.what();
    }
    return "loaded";
}

// True while the process has the library loaded (takes no reference).
bool IsLoaded(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    return handle != nullptr && dlclose(handle) == 0;
}

TEST(LibraryLoading, MissingLibraryIsReportedByItsFileNameAndPathIsSearchedInOrder)
{
    EXPECT_EQ(LoadError<DynamicLibrary>("libzovazaz-absent.so.3"),
              "Failed to load dynamic library libzovazaz-absent.so.3");

    ZovazazTest::ScopedEnvironment path("PATH", "/usr/bin:/bin");
    const std::string fileName = FormatLibraryName("stubx264_on_path", X264_BUILD);
    {
        ScopedPathPrepend guard("PATH", StubPathDirectory);
        EXPECT_NE(X264Library("stubx264_on_path").encoder_open, nullptr);
    }
    EXPECT_EQ(GetEnvironmentText("PATH"), "/usr/bin:/bin");
    EXPECT_EQ(LoadError<DynamicLibrary>(fileName), "Failed to load dynamic library " + fileName);

    // Later entries are reached when the earlier ones do not hold the file.
    SetEnvironmentText("PATH", "/zovazaz-absent:" + StubPathDirectory + "/");
    EXPECT_EQ(DynamicLibrary(fileName).GetFileName(), fileName);

    // An empty entry does not stand for the working folder.
    const std::filesystem::path workingFolder = std::filesystem::current_path();
    std::filesystem::current_path(StubPathDirectory);
    SetEnvironmentText("PATH", "::/zovazaz-absent:");
    EXPECT_EQ(LoadError<DynamicLibrary>(fileName), "Failed to load dynamic library " + fileName);
    std::filesystem::current_path(workingFolder);
}

// The last owner frees the library exactly once, and so does a binding that
// fails to resolve: the test's own reference survives a second free only if
// there is none.
TEST(LibraryLifetime, TheLibraryIsFreedExactlyOnce)
{
    ScopedPathPrepend stubPath("PATH", StubDirectory);
    for (const auto& [name, resolves] : {std::pair<std::string, bool>{"stubx264_complete", true},
                                         {"stubx264_no_x264_picture_clean", false}})
    {
        const std::string path = StubDirectory + "/" + FormatLibraryName(name, X264_BUILD);
        void* own = dlopen(path.c_str(), RTLD_NOW);
        ASSERT_NE(own, nullptr) << dlerror();
        if (resolves)
        {
            auto first = std::make_shared<X264Library>(name);
            auto second = first;
        }
        else
        {
            EXPECT_THROW(X264Library{name}, std::runtime_error);
        }
        EXPECT_TRUE(IsLoaded(path)) << name << ": freed more than once";
        dlclose(own);
        EXPECT_FALSE(IsLoaded(path)) << name << ": kept loaded";
    }
}

// A library without one entry point is refused, naming what is missing; the
// real libraries resolve every one.
TEST(LibraryBinding, MissingEntryPointIsRefusedNamingItAndRealLibrariesResolveAll)
{
    const ScopedPathPrepend stubPath("PATH", StubDirectory);
    EXPECT_EQ(LoadError<X264Library>("stubx264_no_x264_encoder_close"),
              "Function encoder_close not found");
    const std::string build = std::to_string(X264_BUILD);
    EXPECT_EQ(LoadError<X264Library>("stubx264_no_x264_encoder_open_" + build),
              "Dynamic library function not found: encoder_open" + build);
    EXPECT_EQ(LoadError<AvutilLibrary>("stubavutil_no_av_frame_get_buffer"),
              "Function av_frame_get_buffer not found");
    EXPECT_EQ(LoadError<SwScaleLibrary>("stubswscale_no_av_buffer_create"),
              "Function bufferCreate not found");

    EXPECT_NO_THROW(X264Library());
    EXPECT_NO_THROW(AvutilLibrary());
    EXPECT_NO_THROW(SwScaleLibrary());
}

// Holders share one instance, and the cache keeps none alive; a directory
// is searched without changing PATH for good.
TEST(LibraryCache, HoldersShareOneInstanceAndTheLastOneReleasesIt)
{
    auto first = GetX264Library();
    auto second = GetX264Library("/zovazaz-unused");
    EXPECT_EQ(first, second);
    EXPECT_EQ(GetSwScaleLibrary(), GetSwScaleLibrary());
    EXPECT_EQ(GetAvutilLibrary(), GetAvutilLibrary());
    const auto stub = GetX264Library(StubPathDirectory, "stubx264_on_path");
    EXPECT_EQ(stub->GetFileName(), FormatLibraryName("stubx264_on_path", X264_BUILD));
    EXPECT_NE(stub, first);
    EXPECT_EQ(GetX264Library({}, "stubx264_on_path"), stub);

    std::weak_ptr<X264Library> watch = first;
    first.reset();
    EXPECT_FALSE(watch.expired());
    second.reset();
    EXPECT_TRUE(watch.expired()) << "the cache must not keep a library alive";
    EXPECT_NE(GetX264Library(), nullptr);

    ZovazazTest::ScopedEnvironment path("PATH", "");
    path.Unset();
    EXPECT_NE(GetSwScaleLibrary("/zovazaz-plugin-folder"), nullptr);
    EXPECT_FALSE(IsEnvironmentSet("PATH"));
}

// A refused parameter set throws in the global set-up's test, which shows
// x264's reason in the log.
TEST(X264Library, RefusedPicturesThrowAndAFilledPictureIsBlackWithItsTimeStamp)
{
    const X264Library x264;
    EXPECT_THROW(x264.AllocatePicture(0, X264_CSP_NONE, 16, 16, false), std::runtime_error);
    EXPECT_THROW(x264.AllocatePicture(0, X264_CSP_MAX, 16, 16, true), std::runtime_error);

    // An odd size; each chroma plane has at least half the rows.
    const auto picture = x264.AllocatePicture(7, X264_CSP_I420, 33, 17, true);
    EXPECT_EQ(picture->i_pts, 7);
    const x264_image_t& image = picture->img;
    ASSERT_EQ(image.i_plane, 3);
    const int rows[3] = {17, 8, 8};
    const int values[3] = {16, 128, 128};
    for (int plane = 0; plane < 3; ++plane)
    {
        const std::uint8_t* data = image.plane[plane];
        const int size = image.i_stride[plane] * rows[plane];
        EXPECT_EQ(std::count(data, data + size, values[plane]), size) << "plane " << plane;
    }
}

constexpr int Width = 64;
constexpr int Height = 48;

// Sizes and formats libswscale refuses, and format numbers outside its table
// (which would make it abort), give an empty context. A full-range source
// has its range set: full-range luma 235 is light grey, not the white that
// limited range would make of it.
TEST(SwScaleContext, BadFormatsAreRefusedAndAFullRangeSourceSetsTheRange)
{
    SwScaleLibrary swscale;
    EXPECT_FALSE(swscale.GetContext(0, Height, AV_PIX_FMT_ARGB, Width, Height, AV_PIX_FMT_YUV420P,
                                    SWS_FAST_BILINEAR));
    EXPECT_FALSE(swscale.GetContext(Width, Height, AV_PIX_FMT_NONE, Width, Height,
                                    AV_PIX_FMT_YUV420P, SWS_FAST_BILINEAR));
    EXPECT_FALSE(swscale.GetContext(Width, Height, AV_PIX_FMT_ARGB, Width, Height,
                                    static_cast<AVPixelFormat>(AV_PIX_FMT_NB), SWS_FAST_BILINEAR));

    const auto context = swscale.GetContext(Width, Height, AV_PIX_FMT_YUVJ420P, Width, Height,
                                            AV_PIX_FMT_ARGB, SWS_FAST_BILINEAR);
    ASSERT_TRUE(context);
    std::vector<std::uint8_t> y(Width * Height, 235), chroma(Width * Height / 4, 128);
    std::vector<std::uint8_t> out(Width * 4 * Height);
    const std::uint8_t* source[4] = {y.data(), chroma.data(), chroma.data()};
    const int sourceStride[4] = {Width, Width / 2, Width / 2};
    std::uint8_t* destination[4] = {out.data()};
    const int destinationStride[4] = {Width * 4};
    ASSERT_EQ(swscale.scale(context.get(), source, sourceStride, 0, Height, destination,
                            destinationStride),
              Height);
    for (std::size_t i = 0; i < out.size(); i += 4)
    {
        ASSERT_EQ(out[i], 255) << "alpha at byte " << i;
        for (int channel = 1; channel < 4; ++channel)
        {
            ASSERT_NEAR(out[i + channel], 235, 3) << "byte " << i + channel;
        }
    }
}

} // namespace
