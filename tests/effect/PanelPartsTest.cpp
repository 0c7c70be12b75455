// The Information panel's formatting, the image buffer and the logo's decoding,
// linked in from the effect.
#include <sys/resource.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effect/ImageBuffer.h"
#include "effect/InformationPanel.h"
#include "effect/Logo.h"

namespace
{

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());
}

TEST(FormatSize, DividesBy1024WithOneTruncatedDecimal)
{
    constexpr std::uint64_t K = 1024;
    EXPECT_EQ(Narrow(FormatSize(0)), "0 ");
    EXPECT_EQ(Narrow(FormatSize(500)), "500 ");
    EXPECT_EQ(Narrow(FormatSize(1023)), "1023 ");
    EXPECT_EQ(Narrow(FormatSize(K)), "1 K");
    EXPECT_EQ(Narrow(FormatSize(1536)), "1.5 K");
    EXPECT_EQ(Narrow(FormatSize(1048575)), "1023.9 K");
    EXPECT_EQ(Narrow(FormatSize(K * K)), "1 M");
    // 102 of 1024 is 0.0996: the tenth is cut, not rounded.
    EXPECT_EQ(Narrow(FormatSize(K * K + 102 * K)), "1 M");
    EXPECT_EQ(Narrow(FormatSize(5 * K * K * K)), "5 G");
    // The digit comes from the last division only.
    EXPECT_EQ(Narrow(FormatSize(5 * K * K * K + 1023 * K * K)), "5.9 G");
    EXPECT_EQ(Narrow(FormatSize(5 * K * K * K * K)), "5120 G");
    // A value already in a unit climbs from there.
    EXPECT_EQ(Narrow(FormatSize(3072, 1)), "3 M");
    EXPECT_EQ(Narrow(FormatSize(5000, 3)), "5000 G");
}

// ------------------------------------------------------ the image buffer

TEST(ImageBuffer, GrowsToExactlyTheImageAndNeverShrinks)
{
    ImageBuffer buffer;
    buffer.Reset(155, 120);
    EXPECT_EQ(buffer.GetStride(), 620u);
    EXPECT_EQ(buffer.GetCapacity(), 620u * 120u);
    ASSERT_NE(buffer.GetData(), nullptr);
    // The whole block is writable.
    std::memset(buffer.GetData(), 0xAB, buffer.GetCapacity());
    std::uint8_t* first = buffer.GetData();

    buffer.Reset(155, 120);
    EXPECT_EQ(buffer.GetData(), first);
    buffer.Reset(10, 10);
    EXPECT_EQ(buffer.GetData(), first);
    EXPECT_EQ(buffer.GetStride(), 40u);
    EXPECT_EQ(buffer.GetCapacity(), 620u * 120u);

    buffer.Reset(200, 200);
    EXPECT_EQ(buffer.GetCapacity(), 800u * 200u);
    EXPECT_EQ(buffer.GetWidth(), 200u);
    EXPECT_EQ(buffer.GetHeight(), 200u);
    std::memset(buffer.GetData(), 0xCD, buffer.GetCapacity());
}

TEST(ImageBuffer, RefusesASizePast32BitsInsteadOfWrapping)
{
    ImageBuffer buffer;
    buffer.Reset(4, 4);
    // 4 x 65536 x 16385 bytes wraps to 256 KiB in 32 bits.
    try
    {
        buffer.Reset(65536, 16385);
        FAIL() << "no exception";
    }
    catch (const std::bad_alloc& error)
    {
        EXPECT_STREQ(error.what(), "bad allocation");
    }
    EXPECT_EQ(buffer.GetWidth(), 4u);
    EXPECT_EQ(buffer.GetCapacity(), 64u);
}

TEST(ImageBuffer, AFailedAllocationThrowsAndKeepsTheOldImage)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own mappings need the address space this test caps";
#endif
    ImageBuffer buffer;
    buffer.Reset(8, 8);
    std::uint8_t* before = buffer.GetData();

    // Cap the address space below what the process already uses, for this
    // one allocation only, so the page block really cannot be had.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = 16u << 20;
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    bool threw = false;
    std::string what;
    try
    {
        buffer.Reset(4096, 4096);
    }
    catch (const std::bad_alloc& error)
    {
        threw = true;
        what = error.what();
    }
    ASSERT_EQ(setrlimit(RLIMIT_AS, &saved), 0);

    EXPECT_TRUE(threw);
    EXPECT_EQ(what, "bad allocation");
    EXPECT_EQ(buffer.GetData(), before);
    EXPECT_EQ(buffer.GetWidth(), 8u);
    EXPECT_EQ(buffer.GetStride(), 32u);
}

// -------------------------------------------------------------- the logo

// An image reference the test owns; the logo only keeps and hands it back.
DrawContext::Image FakeImage()
{
    static int token = 0;
    return DrawContext::Image(reinterpret_cast<DRAWBOT_ObjectRef>(&token),
                              [](DRAWBOT_ObjectRef) {});
}

TEST(Logo, AFailedDecodeKeepsNothingAndIsTriedAgain)
{
    // A PNG cut short inside its image data.
    const std::vector<std::uint8_t> cut(LogoPng, LogoPng + LogoPngSize / 2);
    Logo logo(cut);
    int made = 0;
    const Logo::ImageMaker maker = [&made](const ImageBuffer&)
    {
        ++made;
        return FakeImage();
    };
    EXPECT_THROW(logo.GetImage(maker), std::exception);
    EXPECT_THROW(logo.GetImage(maker), std::exception);
    EXPECT_FALSE(logo.HasImage());
    EXPECT_EQ(made, 0);
}

TEST(Logo, AnImageTheHostDidNotMakeOrThatWasReleasedIsMadeAgainFromTheKeptPixels)
{
    Logo logo(std::span<const std::uint8_t>(LogoPng, LogoPngSize));
    int asked = 0;
    const Logo::ImageMaker refusing = [&asked](const ImageBuffer&)
    {
        ++asked;
        return DrawContext::Image();
    };
    EXPECT_FALSE(logo.GetImage(refusing));
    EXPECT_FALSE(logo.GetImage(refusing));
    EXPECT_EQ(asked, 2);

    int made = 0;
    const Logo::ImageMaker maker = [&made](const ImageBuffer&)
    {
        ++made;
        return FakeImage();
    };
    EXPECT_TRUE(logo.GetImage(maker));
    EXPECT_TRUE(logo.HasImage());
    logo.ReleaseImage();
    EXPECT_FALSE(logo.HasImage());
    EXPECT_TRUE(logo.GetImage(maker));
    EXPECT_EQ(made, 2);
}

} // namespace
