#include "host/Canvas.h"

#include <algorithm>
#include <new>

namespace EffectHost
{

std::uint32_t ToPremultiplied(Rgba pixel) noexcept
{
    auto scale = [&](std::uint8_t v) -> std::uint32_t { return (v * pixel.alpha + 127) / 255; };
    return std::uint32_t{pixel.alpha} << 24 | scale(pixel.red) << 16 | scale(pixel.green) << 8 |
           scale(pixel.blue);
}

Rgba FromPremultiplied(std::uint32_t pixel) noexcept
{
    const std::uint32_t alpha = pixel >> 24;
    if (alpha == 0)
    {
        return Rgba{};
    }
    auto unscale = [&](int shift)
    {
        const std::uint32_t v = (pixel >> shift) & 0xFF;
        return static_cast<std::uint8_t>(
            std::min<std::uint32_t>(255, (v * 255 + alpha / 2) / alpha));
    };
    return Rgba{unscale(16), unscale(8), unscale(0), static_cast<std::uint8_t>(alpha)};
}

Canvas::Canvas(Raster& raster, const PF_Rect& area)
    : raster_(raster), area_{std::max<A_long>(area.left, 0), std::max<A_long>(area.top, 0),
                             std::min<A_long>(area.right, raster.Width()),
                             std::min<A_long>(area.bottom, raster.Height())}
{
    const int width = std::max<int>(area_.right - area_.left, 0);
    const int height = std::max<int>(area_.bottom - area_.top, 0);
    surface_.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS)
    {
        throw std::bad_alloc();
    }
    unsigned char* data = cairo_image_surface_get_data(surface_.get());
    const int stride = cairo_image_surface_get_stride(surface_.get());
    for (int y = 0; y < height; ++y)
    {
        auto* row =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x)
        {
            row[x] = ToPremultiplied(raster_.At(area_.left + x, area_.top + y));
        }
    }
    cairo_surface_mark_dirty(surface_.get());
    cairo_surface_set_device_offset(surface_.get(), -area_.left, -area_.top);
    context_.reset(cairo_create(surface_.get()));
    if (cairo_status(context_.get()) != CAIRO_STATUS_SUCCESS)
    {
        throw std::bad_alloc();
    }
}

Canvas::~Canvas()
{
    context_.reset();
    cairo_surface_flush(surface_.get());
    const unsigned char* data = cairo_image_surface_get_data(surface_.get());
    const int width = cairo_image_surface_get_width(surface_.get());
    const int height = cairo_image_surface_get_height(surface_.get());
    const int stride = cairo_image_surface_get_stride(surface_.get());
    for (int y = 0; y < height; ++y)
    {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x)
        {
            // A translucent pixel does not survive the round trip exactly, so
            // one cairo left alone keeps its raster value.
            const Rgba before = raster_.At(area_.left + x, area_.top + y);
            if (row[x] != ToPremultiplied(before))
            {
                raster_.Set(area_.left + x, area_.top + y, FromPremultiplied(row[x]));
            }
        }
    }
}

} // namespace EffectHost
