#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "effect/ImageBuffer.h"
#include "framework/DrawContext.h"

// The About logo, a PNG embedded in the module at build time.
extern const std::uint8_t LogoPng[];
extern const std::size_t LogoPngSize;

// A PNG decoded once into straight BGRA pixels and made into a drawing image
// that is kept from one draw to the next.
class Logo
{
  public:
    // Makes the drawing image from the decoded pixels, e.g. through
    // DrawContext::NewImageFromBuffer.
    using ImageMaker = std::function<DrawContext::Image(const ImageBuffer& pixels)>;

    // The bytes are read at the first GetImage, not copied here: they must
    // outlive the object.
    explicit Logo(std::span<const std::uint8_t> png) noexcept : png_(png) {}

    // The drawing image, made on the first call from pixels decoded once.
    // Throws png::error for bytes that are not a readable PNG and
    // BadAllocation when the pixels do not fit in memory. A failed decode
    // keeps nothing, so the next call starts again from the PNG; a maker that
    // gives no image is asked again at the next call.
    const DrawContext::Image& GetImage(const ImageMaker& make);

    // Gives the drawing image back to the host that made it, keeping the
    // decoded pixels for the next host.
    void ReleaseImage() noexcept { image_.reset(); }

    bool HasImage() const noexcept { return image_ != nullptr; }
    const ImageBuffer& GetPixels() const noexcept { return pixels_; }

  private:
    void Decode();

    std::span<const std::uint8_t> png_;
    ImageBuffer pixels_;
    bool decoded_ = false;
    DrawContext::Image image_;
};
