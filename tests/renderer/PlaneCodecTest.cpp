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
    for (std::size_t i = 0; i < plane.size(); ++i)
    {
        noise = noise * 1664525u + 1013904223u;
        plane[i] = static_cast<std::uint8_t>(static_cast<int>(i) % width / 3 +
                                             static_cast<int>(i) / width / 2 + ((noise >> 28) & 3));
    }
    return plane;
}

TEST(PlaneCodec, WritesAndReadsZlibStreamsAndAnswersZlibsCodesForThoseThatDoNotGiveThePlane)
{
    PlaneCodec codec;
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> extracted;
    // The scratch output is reused: a smaller plane after a larger one
    // leaves no bytes of the first stream behind.
    for (const auto& [width, height] : {std::pair{320, 180}, {40, 20}})
    {
        const std::vector<std::uint8_t> plane = MakePlane(width, height);
        ASSERT_EQ(codec.Compress(plane.data(), plane.size(), stream), Z_OK);
        EXPECT_LT(stream.size(), plane.size());
        std::vector<std::uint8_t> inflated(plane.size());
        uLongf length = static_cast<uLongf>(plane.size());
        EXPECT_EQ(uncompress(inflated.data(), &length, stream.data(), stream.size()), Z_OK);
        EXPECT_EQ(length, plane.size());
        EXPECT_EQ(inflated, plane);
        extracted.assign(plane.size(), 0xEE);
        EXPECT_EQ(codec.Extract(stream.data(), stream.size(), plane.size(), extracted), Z_OK);
        EXPECT_EQ(extracted, plane);
    }

    const std::vector<std::uint8_t> plane = MakePlane(200, 100);
    ASSERT_EQ(codec.Compress(plane.data(), plane.size(), stream), Z_OK);
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

TEST(PlaneWorker, RunsEachTaskOnItsOwnThreadCarriesItsExceptionAndWaitsForAnUnfinishedOne)
{
    PlaneWorker worker;
    std::thread::id ranOn;
    int value = 0;
    WorkerTask(worker.Run(
                   [&]
                   {
                       ranOn = std::this_thread::get_id();
                       value = 1;
                   }))
        .Finish();
    EXPECT_EQ(value, 1);
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_THROW(WorkerTask(worker.Run([] { throw std::runtime_error("no memory"); })).Finish(),
                 std::runtime_error);

    // The worker outlives a failed task and runs tasks in turn.
    for (int i = 2; i <= 4; ++i)
    {
        WorkerTask(worker.Run([&value, i] { value = value * 10 + i; })).Finish();
    }
    EXPECT_EQ(value, 1234);

    std::vector<std::uint8_t> target(1 << 20, 0);
    {
        // The scope ends as an exception would end it, without Finish.
        WorkerTask task(worker.Run([&] { std::fill(target.begin(), target.end(), 7); }));
    }
    EXPECT_EQ(std::count(target.begin(), target.end(), 7), static_cast<long>(target.size()));
}

} // namespace
