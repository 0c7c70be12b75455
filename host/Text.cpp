#include "host/Text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MODULE_H

#include <cairo-ft.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>

#include "host/Canvas.h"

namespace EffectHost
{

namespace
{
struct LibraryCloser
{
    void operator()(FT_Library library) const noexcept { FT_Done_FreeType(library); }
};
struct FaceCloser
{
    void operator()(FT_Face face) const noexcept { FT_Done_Face(face); }
};
struct FontFaceCloser
{
    void operator()(cairo_font_face_t* face) const noexcept { cairo_font_face_destroy(face); }
};
struct ScaledFontCloser
{
    void operator()(cairo_scaled_font_t* font) const noexcept { cairo_scaled_font_destroy(font); }
};
struct OptionsCloser
{
    void operator()(cairo_font_options_t* options) const noexcept
    {
        cairo_font_options_destroy(options);
    }
};
using ScaledFont = std::unique_ptr<cairo_scaled_font_t, ScaledFontCloser>;

const cairo_user_data_key_t FaceKey{};

// Cairo may keep the font face in its caches after the renderer is gone, so
// the face and a reference to its library go with cairo's last reference.
void ReleaseFace(void* data) noexcept
{
    auto face = static_cast<FT_Face>(data);
    FT_Library library = face->glyph->library;
    FT_Done_Face(face);
    FT_Done_Library(library);
}

int PixelSize(float size) noexcept
{
    return static_cast<int>(std::max(1L, std::lround(size)));
}
} // namespace

struct TextRenderer::Font
{
    std::unique_ptr<std::remove_pointer_t<FT_Library>, LibraryCloser> library;
    std::unique_ptr<cairo_font_face_t, FontFaceCloser> face;
    std::map<int, ScaledFont> sizes;

    cairo_scaled_font_t* AtSize(float size);
    // The glyphs of the text from (x, y), each on a whole pixel; the advance
    // of the whole text goes to `advance`.
    std::vector<cairo_glyph_t> Layout(const std::u32string& text, float size, float x, float y,
                                      float& advance);
};

cairo_scaled_font_t* TextRenderer::Font::AtSize(float size)
{
    const int pixels = PixelSize(size);
    auto found = sizes.find(pixels);
    if (found != sizes.end())
    {
        return found->second.get();
    }
    cairo_matrix_t scale, identity;
    cairo_matrix_init_scale(&scale, pixels, pixels);
    cairo_matrix_init_identity(&identity);
    // FreeType's own hinting and greyscale coverage, whatever the defaults.
    std::unique_ptr<cairo_font_options_t, OptionsCloser> options(cairo_font_options_create());
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
    ScaledFont font(cairo_scaled_font_create(face.get(), &scale, &identity, options.get()));
    if (cairo_scaled_font_status(font.get()) != CAIRO_STATUS_SUCCESS)
    {
        throw std::runtime_error(
            fmt::format("The font cannot be drawn at {} pixels: {}", pixels,
                        cairo_status_to_string(cairo_scaled_font_status(font.get()))));
    }
    return sizes.emplace(pixels, std::move(font)).first->second.get();
}

std::vector<cairo_glyph_t> TextRenderer::Font::Layout(const std::u32string& text, float size,
                                                      float x, float y, float& advance)
{
    cairo_scaled_font_t* font = AtSize(size);
    std::vector<cairo_glyph_t> glyphs;
    glyphs.reserve(text.size());
    FT_Face ftFace = cairo_ft_scaled_font_lock_face(font);
    if (!ftFace)
    {
        throw std::runtime_error("The font's face cannot be read");
    }
    for (char32_t c : text)
    {
        glyphs.push_back(cairo_glyph_t{FT_Get_Char_Index(ftFace, c), 0.0, 0.0});
    }
    cairo_ft_scaled_font_unlock_face(font);
    const auto baseline = static_cast<double>(std::lround(y));
    double pen = x;
    for (cairo_glyph_t& glyph : glyphs)
    {
        glyph.x = std::floor(pen);
        glyph.y = baseline;
        cairo_text_extents_t extents;
        cairo_scaled_font_glyph_extents(font, &glyph, 1, &extents);
        // Hinted advances are whole pixels; cairo hands them back through the
        // font's scale, a hair off (65.99999 for 66), which floor would lose.
        pen += std::round(extents.x_advance);
    }
    advance = static_cast<float>(pen - x);
    return glyphs;
}

TextRenderer::TextRenderer(const std::string& fontPath) : font_(std::make_unique<Font>())
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
    {
        throw std::runtime_error("FreeType could not start");
    }
    font_->library.reset(library);
    FT_Face opened = nullptr;
    if (FT_New_Face(library, fontPath.c_str(), 0, &opened) != 0)
    {
        throw std::runtime_error(fmt::format(
            "Cannot open the font {} (Debian's fonts-dejavu-core provides it)", fontPath));
    }
    std::unique_ptr<std::remove_pointer_t<FT_Face>, FaceCloser> face(opened);
    font_->face.reset(cairo_ft_font_face_create_for_ft_face(face.get(), FT_LOAD_DEFAULT));
    if (cairo_font_face_status(font_->face.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_font_face_set_user_data(font_->face.get(), &FaceKey, face.get(), ReleaseFace) !=
            CAIRO_STATUS_SUCCESS)
    {
        throw std::runtime_error(fmt::format("Cairo cannot use the font {}", fontPath));
    }
    face.release(); // now cairo's to close
    FT_Reference_Library(library);
}

TextRenderer::~TextRenderer() = default;

float TextRenderer::Measure(const std::u32string& text, float size)
{
    float advance = 0.0f;
    font_->Layout(text, size, 0.0f, 0.0f, advance);
    return advance;
}

void TextRenderer::Draw(Canvas& canvas, float x, float y, const std::u32string& text, float size)
{
    float advance = 0.0f;
    const std::vector<cairo_glyph_t> glyphs = font_->Layout(text, size, x, y, advance);
    cairo_t* context = canvas.Context();
    cairo_set_scaled_font(context, font_->AtSize(size));
    cairo_show_glyphs(context, glyphs.data(), static_cast<int>(glyphs.size()));
}

void TextRenderer::Draw(Raster& raster, const PF_Rect& clip, float x, float y,
                        const std::u32string& text, Rgba colour, float size)
{
    float advance = 0.0f;
    const std::vector<cairo_glyph_t> glyphs = font_->Layout(text, size, x, y, advance);
    if (glyphs.empty())
    {
        return;
    }
    cairo_scaled_font_t* font = font_->AtSize(size);
    cairo_text_extents_t ink; // from the first glyph's origin
    cairo_scaled_font_glyph_extents(font, glyphs.data(), static_cast<int>(glyphs.size()), &ink);
    const double left = glyphs[0].x + ink.x_bearing, top = glyphs[0].y + ink.y_bearing;
    // Only the ink's box is converted for cairo.
    const PF_Rect box{
        std::max<A_long>(clip.left, static_cast<A_long>(std::floor(left)) - 1),
        std::max<A_long>(clip.top, static_cast<A_long>(std::floor(top)) - 1),
        std::min<A_long>(clip.right, static_cast<A_long>(std::ceil(left + ink.width)) + 1),
        std::min<A_long>(clip.bottom, static_cast<A_long>(std::ceil(top + ink.height)) + 1)};
    if (box.left >= box.right || box.top >= box.bottom)
    {
        return;
    }
    Canvas canvas(raster, box);
    cairo_t* context = canvas.Context();
    cairo_set_source_rgba(context, colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0,
                          colour.alpha / 255.0);
    cairo_set_scaled_font(context, font);
    cairo_show_glyphs(context, glyphs.data(), static_cast<int>(glyphs.size()));
}

} // namespace EffectHost
