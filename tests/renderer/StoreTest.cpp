// The store's parts called directly: deflate and inflate with zlib itself as
// the judge of the streams, the worker that runs the second plane beside the
// first, and the content hash and the bitrate arithmetic in cases the host's
// worlds cannot reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include <zlib.h>

#include "renderer/FrameStore.h"
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

// An ARGB picture with rows `rowBytes` apart, padding filled with `padding`.
struct Pixels
{
    Pixels(int width, int height, int rowBytes, std::uint8_t padding)
        : width(width), height(height), rowBytes(rowBytes),
          bytes(static_cast<std::size_t>(rowBytes) * height, padding)
    {
        for (int y = 0; y < height; ++y)
        {
            std::memset(&bytes[static_cast<std::size_t>(y) * rowBytes], 0x40, width * 4);
        }
    }
    std::uint8_t* At(int x, int y)
    {
        return &bytes[static_cast<std::size_t>(y) * rowBytes + x * 4];
    }
    FrameHash Hash() const { return ComputeFrameHash(bytes.data(), width, height, rowBytes); }

    int width;
    int height;
    int rowBytes;
    std::vector<std::uint8_t> bytes;
};

TEST(FrameHash, CoversEveryVisiblePixelAndNoPaddingAndSeesMovedObjectsAndZeroPictures)
{
    const Pixels packed(20, 6, 80, 0);
    const Pixels padded(20, 6, 96, 0x11);
    const Pixels otherPadding(20, 6, 96, 0x77);
    EXPECT_FALSE(padded.Hash().IsEmpty());
    EXPECT_EQ(padded.Hash(), otherPadding.Hash());
    EXPECT_EQ(padded.Hash(), packed.Hash());
    // The last byte of the last row counts.
    Pixels changed = padded;
    changed.At(19, 5)[3] ^= 1;
    EXPECT_NE(changed.Hash(), padded.Hash());

    // An object moved by a multiple of five pixels.
    Pixels before(40, 4, 160, 0);
    Pixels after(40, 4, 160, 0);
    std::memset(before.At(0, 2), 0xFF, 4);
    std::memset(after.At(10, 2), 0xFF, 4);
    EXPECT_NE(before.Hash(), after.Hash());

    // An all-zero picture still has a hash, and so has one of no rows at all,
    // distinct from "none".
    Pixels zero(16, 16, 64, 0);
    std::fill(zero.bytes.begin(), zero.bytes.end(), 0);
    EXPECT_FALSE(zero.Hash().IsEmpty());
    EXPECT_NE(zero.Hash(), Pixels(16, 16, 64, 0).Hash());
    EXPECT_FALSE(ComputeFrameHash(nullptr, 0, 0, 0).IsEmpty());
}

TEST(Bitrate, IsBitsPerMillisecondInSixtyFourBits)
{
    // 30 frames at 30000 / 1001 last 1001 ms; 125125 bytes are 1000 kbit/s.
    EXPECT_EQ(ComputeBitrateKbps(125125, 30 * 1001, 30000), 1000u);
    // 600 MiB over ten seconds: bytes * 8 no longer fits 32 bits.
    const std::uint64_t bytes = 600ull * 1024 * 1024;
    EXPECT_EQ(ComputeBitrateKbps(bytes, 300 * 1001, 30000), bytes * 8 / 10010);
    // Under a millisecond, or no time scale: no rate rather than a division by 0.
    EXPECT_EQ(ComputeBitrateKbps(1000, 10, 30000), 0u);
    EXPECT_EQ(ComputeBitrateKbps(1000, 1001, 0), 0u);
    EXPECT_EQ(ComputeBitrateKbps(0, 0, 30000), 0u);
}

} // namespace
