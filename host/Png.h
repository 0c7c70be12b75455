#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

// PNG files for the host, on libpng's simplified API: libpng does its own
// error recovery inside each call and reports failure in its image record,
// which these functions then raise as exceptions; nothing is thrown through
// libpng's frames.
namespace EffectHost
{

// How hard a PNG writer works at making the file small: the two settings
// that libpng's simplified writer offers. Fast (no row filter, zlib level 3)
// writes an HD frame of the built-in clip about 2.5 times sooner than Small
// (adaptive filters, zlib's default level) for a file about twice as large:
// the choice for a frame of every preview.
enum class PngCompression
{
    Small,
    Fast
};

// The order of the four 8-bit channels of one pixel in memory.
enum class PngPixelOrder
{
    Rgba,
    Argb
};

// One PNG file open for reading: the header is read when it opens, the
// pixels once, on request. Any bit depth, colour type and interlacing is read
// as 8 bits a channel with straight alpha, opaque where the file has none,
// sRGB-encoded: a file that declares another gamma (a gAMA chunk far from
// 1/2.2) is converted, and 16-bit samples without colour-space information
// are taken as sRGB.
//
// A file both 16-bit and interlaced is refused: libpng's simplified reader
// (Debian's 1.6.39, upstream from 1.6.51) gets every even row of such a file
// wrong when it reduces it to 8 bits.
class PngReader
{
  public:
    // Throws std::runtime_error naming the file when it cannot be opened,
    // does not start as a PNG or is 16-bit and interlaced.
    explicit PngReader(const std::string& path);
    ~PngReader();
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }

    // Decodes every pixel into `pixels`: Height() packed rows of Width()
    // pixels, four bytes each. Throws std::invalid_argument when they do not
    // fit, std::runtime_error naming the file when its data are damaged or
    // cut short, and std::logic_error when called twice.
    void Read(PngPixelOrder order, std::span<std::uint8_t> pixels);

  private:
    struct Image;

    std::string path_;
    std::unique_ptr<Image> image_;
    int width_ = 0;
    int height_ = 0;
};

// Writes 8-bit RGBA pixels, straight alpha, packed rows, as a PNG file
// tagged sRGB. Throws std::runtime_error naming the file when it is empty or
// cannot be written; a file that fails part-way is removed.
void WritePngPixels(const std::string& path, int width, int height,
                    std::span<const std::uint8_t> rgba, PngCompression compression);

} // namespace EffectHost
