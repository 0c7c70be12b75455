// The store's deflate and inflate, and the worker that runs the second plane
// beside the first: called directly, with zlib itself as the judge of the
// streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

#include <zlib.h>

#include "renderer/PlaneCodec.h"

namespace
{

// A plane like a reconstruction: smooth ramps with some noise, so that
// deflate finds both matches and literals.
std::vector<std::uint8_t> MakePlane(int width, int height)
{
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(width) * height);
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            noise = noise * 1664525u + 1013904223u;
            plane[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(x / 3 + y / 2 + ((noise >> 28) & 3));
        }
    }
    return plane;
}

std::vector<std::uint8_t> ZlibInflate(const std::vector<std::uint8_t>& stream, std::size_t length,
                                      int& result)
{
    std::vector<std::uint8_t> plane(length);
    uLongf extracted = static_cast<uLongf>(length);
    result = uncompress(plane.data(), &extracted, stream.data(), static_cast<uLong>(stream.size()));
    plane.resize(extracted);
    return plane;
}

TEST(PlaneCodec, WritesZlibStreamsThatZlibInflatesToThePlane)
{
    const std::vector<std::uint8_t> plane = MakePlane(320, 180);
    PlaneCodec codec;
    std::vector<std::uint8_t> stream;
    ASSERT_EQ(codec.Compress(plane.data(), plane.size(), stream), Z_OK);
    EXPECT_LT(stream.size(), plane.size());
    int result = Z_ERRNO;
    EXPECT_EQ(ZlibInflate(stream, plane.size(), result), plane);
    EXPECT_EQ(result, Z_OK);

    // The scratch output is reused: a smaller plane after a larger one
    // leaves no bytes of the first stream behind.
    const std::vector<std::uint8_t> small = MakePlane(40, 20);
    ASSERT_EQ(codec.Compress(small.data(), small.size(), stream), Z_OK);
    EXPECT_EQ(ZlibInflate(stream, small.size(), result), small);
    EXPECT_EQ(result, Z_OK);
}

TEST(PlaneCodec, ReadsZlibsOwnStreamsAndItsOwn)
{
    const std::vector<std::uint8_t> plane = MakePlane(200, 100);
    std::vector<std::uint8_t> zlibStream(compressBound(static_cast<uLong>(plane.size())));
    uLongf zlibLength = static_cast<uLongf>(zlibStream.size());
    ASSERT_EQ(compress2(zlibStream.data(), &zlibLength, plane.data(),
                        static_cast<uLong>(plane.size()), 1),
              Z_OK);
    zlibStream.resize(zlibLength);

    PlaneCodec codec;
    std::vector<std::uint8_t> extracted;
    EXPECT_EQ(codec.Extract(zlibStream.data(), zlibStream.size(), plane.size(), extracted), Z_OK);
    EXPECT_EQ(extracted, plane);

    std::vector<std::uint8_t> ownStream;
    ASSERT_EQ(codec.Compress(plane.data(), plane.size(), ownStream), Z_OK);
    extracted.assign(plane.size(), 0xEE);
    EXPECT_EQ(codec.Extract(ownStream.data(), ownStream.size(), plane.size(), extracted), Z_OK);
    EXPECT_EQ(extracted, plane);
}

TEST(PlaneCodec, AnswersZlibsCodesForStreamsThatDoNotGiveThePlane)
{
    const std::vector<std::uint8_t> plane = MakePlane(64, 64);
    PlaneCodec codec;
    std::vector<std::uint8_t> stream;
    ASSERT_EQ(codec.Compress(plane.data(), plane.size(), stream), Z_OK);
    std::vector<std::uint8_t> extracted;

    // A stream that ends early would leave the rest of the plane stale.
    EXPECT_EQ(codec.Extract(stream.data(), stream.size(), plane.size() + 1, extracted),
              Z_DATA_ERROR);
    // One that gives more than the plane holds does not fit it.
    EXPECT_EQ(codec.Extract(stream.data(), stream.size(), plane.size() - 1, extracted),
              Z_BUF_ERROR);
    // Damaged data, and a stream cut short.
    std::vector<std::uint8_t> damaged = stream;
    damaged[0] ^= 0xFF;
    EXPECT_EQ(codec.Extract(damaged.data(), damaged.size(), plane.size(), extracted), Z_DATA_ERROR);
    EXPECT_EQ(codec.Extract(stream.data(), stream.size() / 2, plane.size(), extracted),
              Z_DATA_ERROR);
    // After all that the codec still works.
    EXPECT_EQ(codec.Extract(stream.data(), stream.size(), plane.size(), extracted), Z_OK);
    EXPECT_EQ(extracted, plane);
}

TEST(PlaneWorker, RunsEachTaskOnItsOwnThreadAndCarriesItsException)
{
    PlaneWorker worker;
    std::thread::id ranOn;
    int value = 0;
    {
        WorkerTask task(worker.Run(
            [&]
            {
                ranOn = std::this_thread::get_id();
                value = 1;
            }));
        task.Finish();
    }
    EXPECT_EQ(value, 1);
    EXPECT_NE(ranOn, std::this_thread::get_id());

    {
        WorkerTask failing(worker.Run([] { throw std::runtime_error("no memory"); }));
        EXPECT_THROW(failing.Finish(), std::runtime_error);
    }

    // The worker outlives a failed task and runs tasks in turn.
    for (int i = 2; i <= 4; ++i)
    {
        WorkerTask task(worker.Run([&value, i] { value = value * 10 + i; }));
        task.Finish();
    }
    EXPECT_EQ(value, 1234);
}

TEST(PlaneWorker, ATaskLeftUnfinishedIsWaitedForBeforeItsScopeEnds)
{
    PlaneWorker worker;
    std::vector<std::uint8_t> target(1 << 20, 0);
    {
        // The scope ends as an exception would end it, without Finish.
        WorkerTask task(worker.Run([&] { std::fill(target.begin(), target.end(), 7); }));
    }
    EXPECT_EQ(std::count(target.begin(), target.end(), 7), static_cast<long>(target.size()));
}

} // namespace
