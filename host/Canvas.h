#pragma once

#include <memory>

#include <cairo.h>

#include "AE_Effect.h"
#include "host/Raster.h"

namespace EffectHost
{

struct CairoSurfaceCloser
{
    void operator()(cairo_surface_t* surface) const noexcept { cairo_surface_destroy(surface); }
};
struct CairoContextCloser
{
    void operator()(cairo_t* context) const noexcept { cairo_destroy(context); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceCloser>;
using CairoContext = std::unique_ptr<cairo_t, CairoContextCloser>;

// Cairo drawing onto a rectangle of a raster, in the raster's coordinates.
// Cairo works in premultiplied ARGB, the raster in straight RGBA: the
// rectangle is converted when the canvas is made and written back when it
// goes, and only the pixels cairo changed are written, so the rest of the
// raster keeps its exact values.
class Canvas
{
  public:
    // `area` is clamped to the raster. Throws std::bad_alloc when cairo
    // cannot make its surface.
    Canvas(Raster& raster, const PF_Rect& area);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* Context() const noexcept { return context_.get(); }

  private:
    Raster& raster_;
    PF_Rect area_;
    CairoSurface surface_;
    CairoContext context_;
};

// A straight-alpha pixel in cairo's premultiplied ARGB32 and back.
std::uint32_t ToPremultiplied(Rgba pixel) noexcept;
Rgba FromPremultiplied(std::uint32_t pixel) noexcept;

} // namespace EffectHost
