#include "effect/ImageBuffer.h"

#include <limits>

void ImageBuffer::Reset(std::uint32_t width, std::uint32_t height)
{
    if (memory_ && width == width_ && height == height_)
    {
        return;
    }
    // Rows start on 4-byte boundaries. Computed wide: a size past 32 bits
    // would otherwise wrap to a small block that the pixels then overrun.
    const std::uint64_t stride = (std::uint64_t{BytesPerPixel} * width + 3) & ~std::uint64_t{3};
    const std::uint64_t size = stride * height;
    if (size > std::numeric_limits<std::uint32_t>::max())
    {
        throw BadAllocation();
    }
    if (size > capacity_)
    {
        Zovazaz::PageBlock memory = Zovazaz::AllocatePages(static_cast<std::uint32_t>(size));
        if (!memory)
        {
            throw BadAllocation();
        }
        memory_ = std::move(memory);
        capacity_ = static_cast<std::uint32_t>(size);
    }
    width_ = width;
    height_ = height;
    stride_ = static_cast<std::uint32_t>(stride);
}
