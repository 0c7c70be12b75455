#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/Png.h"
#include "host/Raster.h"
#include "tests/support/TestFiles.h"

using namespace EffectHost;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace
{

// Writes a 16 x 16 PNG with libpng's own writer, so that the reader meets
// files it did not make. `samples` holds the rows one after another, as PNG
// stores them (16-bit samples big-endian).
bool WriteWithLibpng(const std::string& path, int colourType, int bitDepth, int interlace,
                     std::vector<png_byte>& samples)
{
    struct Writer
    {
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        ~Writer() { png_destroy_write_struct(&png, &info); }
    } writer;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                               &std::fclose);
    std::vector<png_bytep> rows;
    for (std::size_t y = 0; y < 16; ++y)
    {
        rows.push_back(&samples[samples.size() / 16 * y]);
    }
    if (!file)
    {
        return false;
    }
    // libpng's default error handling jumps back here; every object above
    // outlives the jump.
    if (setjmp(png_jmpbuf(writer.png)))
    {
        return false;
    }
    png_init_io(writer.png, file.get());
    png_set_IHDR(writer.png, writer.info, 16, 16, bitDepth, colourType, interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer.png, writer.info);
    png_write_image(writer.png, rows.data());
    png_write_end(writer.png, nullptr);
    return true;
}

// A picture whose pixels all differ up to 16 x 16, with alpha.
Raster Pattern(int width, int height)
{
    Raster raster(width, height);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            raster.Set(x, y,
                       Rgba{static_cast<std::uint8_t>(x * 16 + y),
                            static_cast<std::uint8_t>(y * 16),
                            static_cast<std::uint8_t>(x * 7 + y * 13),
                            static_cast<std::uint8_t>(255 - x * y)});
        }
    }
    return raster;
}

} // namespace

// Files from libpng's own writer, which the reader did not make.
TEST(PngRead, InterlacedAndSixteenBitFilesGiveEveryPixelOrARefusal)
{
    const ZovazazTest::TempFolder folder;
    const Raster source = Pattern(16, 16);
    std::vector<png_byte> samples = source.Bytes();
    const std::string path = folder / "picture.png";
    ASSERT_TRUE(WriteWithLibpng(path, PNG_COLOR_TYPE_RGB_ALPHA, 8, PNG_INTERLACE_ADAM7, samples));
    const Raster read = ReadPng(path);
    ASSERT_EQ(std::pair(read.Width(), read.Height()), std::pair(16, 16));
    EXPECT_TRUE(read.Bytes() == source.Bytes());

    // Level v is stored as v * 257, which every 8-bit reduction maps back to v;
    // a reader that took the file as linear light would lift the mid-tones.
    std::vector<png_byte> grey;
    for (int level = 0; level < 256; ++level)
    {
        grey.push_back(static_cast<png_byte>(level));
        grey.push_back(static_cast<png_byte>(level));
    }
    ASSERT_TRUE(WriteWithLibpng(path, PNG_COLOR_TYPE_GRAY, 16, PNG_INTERLACE_NONE, grey));
    const Raster levels = ReadPng(path);
    int wrong = 0;
    for (int level = 0; level < 256; ++level)
    {
        const auto v = static_cast<std::uint8_t>(level);
        wrong += !(levels.At(level % 16, level / 16) == Rgba{v, v, v, 255});
    }
    EXPECT_EQ(wrong, 0) << "middle grey reads as " << int(levels.At(0, 8).red);

    // libpng's simplified reader gets every even row of this one wrong.
    ASSERT_TRUE(WriteWithLibpng(path, PNG_COLOR_TYPE_GRAY, 16, PNG_INTERLACE_ADAM7, grey));
    EXPECT_THAT([&] { ReadPng(path); }, ThrowsMessage<std::runtime_error>(HasSubstr(
                                            "Cannot read " + path + ": libpng's reader mixes up")));
}

TEST(Png, EitherCompressionGivesThePixelsBackAndFailuresNameTheFile)
{
    const ZovazazTest::TempFolder folder;
    const Raster source = Pattern(64, 64);
    const std::string small = folder / "small.png";
    const std::string fast = folder / "fast.png";
    WritePng(source, small, PngCompression::Small);
    WritePng(source, fast, PngCompression::Fast);
    EXPECT_TRUE(ReadPng(small).Bytes() == source.Bytes());
    EXPECT_TRUE(ReadPng(fast).Bytes() == source.Bytes());
    EXPECT_LT(std::filesystem::file_size(small), std::filesystem::file_size(fast));
    const std::string nowhere = folder / "missing/f.png";
    EXPECT_THAT([&] { WritePng(source, nowhere); },
                ThrowsMessage<std::runtime_error>(HasSubstr("Cannot write " + nowhere)));

    // A damaged or cut short file: libpng's complaint comes back as an
    // exception of ours, never through libpng's frames.
    const std::string bytes = ZovazazTest::ReadFile(fast);
    std::string flipped = bytes;
    flipped[bytes.size() / 2] = static_cast<char>(flipped[bytes.size() / 2] ^ 0x55);
    const auto readFrom = [&](const std::string& content)
    {
        ZovazazTest::WriteFile(fast, content);
        return [&] { ReadPng(fast); };
    };
    const std::string cannot = "Cannot read " + fast + ": ";
    EXPECT_THAT(readFrom(bytes.substr(0, bytes.size() / 2)),
                ThrowsMessage<std::runtime_error>(
                    HasSubstr(cannot + "the image data are damaged or cut short")));
    EXPECT_THAT(readFrom(flipped), ThrowsMessage<std::runtime_error>(
                                       HasSubstr(cannot + "the image data are damaged")));
    EXPECT_THAT(readFrom(bytes.substr(0, 20)),
                ThrowsMessage<std::runtime_error>(HasSubstr(cannot + "the file ends inside")));
}
