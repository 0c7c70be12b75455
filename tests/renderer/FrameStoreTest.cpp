// The content hash and the bitrate arithmetic, called directly: cases the
// host's worlds cannot reach.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "renderer/FrameStore.h"

namespace
{

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
