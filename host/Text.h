#pragma once

#include <memory>
#include <string>

#include "AE_Effect.h"
#include "host/Raster.h"

namespace EffectHost
{

class Canvas;

// Text in one FreeType face, drawn by cairo with FreeType's hinting and
// greyscale coverage. Sizes are whole pixels; glyphs sit on whole pixels.
class TextRenderer
{
  public:
    static constexpr const char* DefaultFontPath =
        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

    // Throws std::runtime_error naming the font when it cannot be opened.
    explicit TextRenderer(const std::string& fontPath = DefaultFontPath);
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // Advance width of the text in pixels at the size.
    float Measure(const std::u32string& text, float size);
    // Draws from the baseline origin, clipped to [clip.left, clip.right) x
    // [clip.top, clip.bottom).
    void Draw(Raster& raster, const PF_Rect& clip, float x, float y, const std::u32string& text,
              Rgba colour, float size);
    // Draws from the baseline origin in the canvas's user space, with its
    // source, transform and clip.
    void Draw(Canvas& canvas, float x, float y, const std::u32string& text, float size);

  private:
    struct Font;
    std::unique_ptr<Font> font_;
};

} // namespace EffectHost
