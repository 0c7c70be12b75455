#pragma once

#include <cstdint>
#include <new>

#include "support/System.h"

// The failure of an image allocation, with the text the log shows for it.
class BadAllocation : public std::bad_alloc
{
  public:
    const char* what() const noexcept override { return "bad allocation"; }
};

// Pixels of 4 bytes in the order blue, green, red, alpha (straight alpha), in
// a block of whole pages that only ever grows.
class ImageBuffer
{
  public:
    static constexpr std::uint32_t BytesPerPixel = 4;

    // Sizes the buffer for width x height pixels. Memory is kept when the
    // size is unchanged or the new image fits the capacity; otherwise a block
    // of exactly the new size replaces it. Throws BadAllocation when the size
    // cannot be addressed or allocated; the buffer is then unchanged.
    void Reset(std::uint32_t width, std::uint32_t height);

    // Stores one pixel at `address` in the buffer's byte order.
    static void WritePixel(std::uint8_t* address, std::uint8_t red, std::uint8_t green,
                           std::uint8_t blue, std::uint8_t alpha) noexcept
    {
        address[0] = blue;
        address[1] = green;
        address[2] = red;
        address[3] = alpha;
    }

    std::uint32_t GetWidth() const noexcept { return width_; }
    std::uint32_t GetHeight() const noexcept { return height_; }
    std::uint32_t GetStride() const noexcept { return stride_; }
    std::uint32_t GetCapacity() const noexcept { return capacity_; }
    // Null until memory was first allocated.
    std::uint8_t* GetData() const noexcept { return static_cast<std::uint8_t*>(memory_.get()); }

  private:
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint32_t stride_ = 0;
    std::uint32_t capacity_ = 0;
    Zovazaz::PageBlock memory_;
};
