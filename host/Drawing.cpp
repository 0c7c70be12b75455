#include "host/Drawing.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "host/BasicSuite.h"
#include "host/Callbacks.h"
#include "host/Guard.h"
#include "host/Parameters.h"

namespace EffectHost
{

// ------------------------------------------------------------------ text

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
} // namespace

struct TextRenderer::Faces
{
    std::unique_ptr<std::remove_pointer_t<FT_Library>, LibraryCloser> library;
    std::unique_ptr<std::remove_pointer_t<FT_Face>, FaceCloser> face;
};

TextRenderer::TextRenderer(const std::string& fontPath) : faces_(std::make_unique<Faces>())
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
    {
        throw std::runtime_error("FreeType could not start");
    }
    faces_->library.reset(library);
    FT_Face face = nullptr;
    if (FT_New_Face(library, fontPath.c_str(), 0, &face) != 0)
    {
        throw std::runtime_error("Cannot open the font " + fontPath +
                                 " (Debian's fonts-dejavu-core provides it)");
    }
    faces_->face.reset(face);
}

TextRenderer::~TextRenderer() = default;

namespace
{
void SetSize(FT_Face face, float size)
{
    const auto pixels = static_cast<FT_UInt>(std::max(1L, std::lround(size)));
    FT_Set_Pixel_Sizes(face, 0, pixels);
}
} // namespace

float TextRenderer::Measure(const std::u32string& text, float size)
{
    FT_Face face = faces_->face.get();
    SetSize(face, size);
    float width = 0.0f;
    for (char32_t c : text)
    {
        if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) == 0)
        {
            width += static_cast<float>(face->glyph->advance.x) / 64.0f;
        }
    }
    return width;
}

void TextRenderer::Draw(Raster& raster, const PF_Rect& clip, float x, float y,
                        const std::u32string& text, Rgba colour, float size)
{
    FT_Face face = faces_->face.get();
    SetSize(face, size);
    float pen = x;
    const int baseline = static_cast<int>(std::lround(y));
    for (char32_t c : text)
    {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER) != 0)
        {
            continue;
        }
        const FT_GlyphSlot glyph = face->glyph;
        const FT_Bitmap& bitmap = glyph->bitmap;
        const int left = static_cast<int>(std::floor(pen)) + glyph->bitmap_left;
        const int top = baseline - glyph->bitmap_top;
        for (unsigned row = 0; row < bitmap.rows; ++row)
        {
            const int py = top + static_cast<int>(row);
            if (py < clip.top || py >= clip.bottom)
            {
                continue;
            }
            const unsigned char* line =
                bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
            for (unsigned column = 0; column < bitmap.width; ++column)
            {
                const int px = left + static_cast<int>(column);
                if (px < clip.left || px >= clip.right || line[column] == 0)
                {
                    continue;
                }
                raster.Blend(px, py, colour, line[column] / 255.0f);
            }
        }
        pen += static_cast<float>(glyph->advance.x) / 64.0f;
    }
}

std::u32string FromUtf16(const char16_t* text)
{
    std::u32string result;
    if (!text)
    {
        return result;
    }
    for (const char16_t* p = text; *p; ++p)
    {
        const char16_t unit = *p;
        if (unit >= 0xD800 && unit < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000)
        {
            result.push_back(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (p[1] - 0xDC00));
            ++p;
        }
        else if (unit >= 0xD800 && unit < 0xE000)
        {
            result.push_back(0xFFFD); // an unpaired surrogate
        }
        else
        {
            result.push_back(unit);
        }
    }
    return result;
}

std::u32string FromUtf8(const std::string& text)
{
    std::u32string result;
    for (std::size_t i = 0; i < text.size();)
    {
        const auto byte = static_cast<unsigned char>(text[i]);
        int extra = byte < 0x80 ? 0 : byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : -1;
        if (extra < 0 || i + extra >= text.size() + (extra == 0 ? 1 : 0))
        {
            if (extra != 0)
            {
                result.push_back(0xFFFD);
                ++i;
                continue;
            }
        }
        char32_t code = extra == 0 ? byte : byte & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k)
        {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        result.push_back(code);
        i += extra + 1;
    }
    return result;
}

// ----------------------------------------------------------- the objects

namespace
{
constexpr std::uint32_t ObjectMagic = 0x44425254;  // 'DBRT'
constexpr std::uint32_t ContextMagic = 0x50464358; // 'PFCX'
constexpr SPErr BadReference = PF_Err_BAD_CALLBACK_PARAM;

// 2-D affine transform in the row-vector form of DRAWBOT_MatrixF32.
struct Affine
{
    float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0; // x' = a x + c y + e; y' = b x + d y + f

    DRAWBOT_PointF32 Apply(DRAWBOT_PointF32 p) const noexcept
    {
        return {a * p.x + c * p.y + e, b * p.x + d * p.y + f};
    }
    // this followed by other
    Affine Then(const Affine& o) const noexcept
    {
        return {a * o.a + b * o.c, a * o.b + b * o.d,       c * o.a + d * o.c,
                c * o.b + d * o.d, e * o.a + f * o.c + o.e, e * o.b + f * o.d + o.f};
    }
};

Rgba ToRgba(const DRAWBOT_ColorRGBA& colour) noexcept
{
    auto channel = [](float v)
    { return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return Rgba{channel(colour.red), channel(colour.green), channel(colour.blue),
                channel(colour.alpha)};
}
} // namespace

struct Drawing::Object
{
    std::uint32_t magic = ObjectMagic;
    Kind kind = Kind::Brush;
    bool live = true;
    int retains = 1;
    Drawing* owner = nullptr;
    Session* session = nullptr; // DrawRef, Supplier, Surface
    // payload
    DRAWBOT_ColorRGBA colour{};
    float size = 0.0f;
    std::vector<std::vector<DRAWBOT_PointF32>> contours;
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;
};

struct Drawing::Session
{
    _PF_Context context{};
    Raster* surface = nullptr;
    PF_Rect clip{};
    Affine transform;
    std::vector<std::pair<PF_Rect, Affine>> states;
    Object* drawRef = nullptr;
    Object* supplier = nullptr;
    Object* surfaceObject = nullptr;
};

Drawing::Drawing(Host& host) : host_(host)
{
    paramUtils_.PF_UpdateParamUI = OnUpdateParamUi;
    app_.PF_AppGetBgColor = OnAppGetBgColor;
    app_.PF_AppGetColor = OnAppGetColor;
    app_.PF_AppGetLanguage = OnAppGetLanguage;
    customUi_.PF_GetDrawingReference = OnGetDrawingReference;
    draw_.GetSupplier = OnGetSupplier;
    draw_.GetSurface = OnGetSurface;
    supplier_.NewPen = OnNewPen;
    supplier_.NewBrush = OnNewBrush;
    supplier_.SupportsText = OnSupportsText;
    supplier_.GetDefaultFontSize = OnGetDefaultFontSize;
    supplier_.NewDefaultFont = OnNewDefaultFont;
    supplier_.NewImageFromBuffer = OnNewImageFromBuffer;
    supplier_.NewPath = OnNewPath;
    supplier_.SupportsPixelLayoutBGRA = OnSupportsBgra;
    supplier_.PrefersPixelLayoutBGRA = OnPrefersBgra;
    supplier_.SupportsPixelLayoutARGB = OnSupportsArgb;
    supplier_.PrefersPixelLayoutARGB = OnPrefersArgb;
    supplier_.RetainObject = OnRetainObject;
    supplier_.ReleaseObject = OnReleaseObject;
    surface_.PushStateStack = OnPushStateStack;
    surface_.PopStateStack = OnPopStateStack;
    surface_.PaintRect = OnPaintRect;
    surface_.FillPath = OnFillPath;
    surface_.StrokePath = OnStrokePath;
    surface_.Clip = OnClip;
    surface_.GetClipBounds = OnGetClipBounds;
    surface_.IsWithinClipBounds = OnIsWithinClipBounds;
    surface_.Transform = OnTransform;
    surface_.DrawString = OnDrawString;
    surface_.DrawImage = OnDrawImage;
    surface_.SetInterpolationPolicy = OnSetPolicy;
    surface_.SetAntiAliasPolicy = OnSetPolicy;
    surface_.Flush = OnFlush;
    path_.MoveTo = OnMoveTo;
    path_.LineTo = OnLineTo;
    path_.BezierTo = OnBezierTo;
    path_.AddRect = OnAddRect;
    path_.AddArc = OnAddArc;
    path_.Close = OnClose;
}

Drawing::~Drawing() = default;

void Drawing::OfferSuites(BasicSuite& suites)
{
    suites.Offer(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2, &paramUtils_);
    suites.Offer(kPFAppSuite, kPFAppSuiteVersion6, &app_);
    suites.Offer(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1, &customUi_);
    suites.Offer(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, &draw_);
    suites.Offer(kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1, &supplier_);
    suites.Offer(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1, &surface_);
    suites.Offer(kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, &path_);
}

TextRenderer& Drawing::Text()
{
    if (!text_)
    {
        text_ = std::make_unique<TextRenderer>();
    }
    return *text_;
}

PF_App_Color Drawing::PanelColour(PF_App_ColorType type) noexcept
{
    // A dark panel: light grey text on charcoal, a blue highlight.
    auto grey = [](A_u_short level) {
        return PF_App_Color{A_u_short(level * 257), A_u_short(level * 257), A_u_short(level * 257)};
    };
    switch (type)
    {
    case PF_App_Color_FRAME:
        return grey(20);
    case PF_App_Color_FILL:
        return grey(42);
    case PF_App_Color_TEXT:
        return grey(194);
    case PF_App_Color_LIGHT_TINGE:
        return grey(64);
    case PF_App_Color_DARK_TINGE:
        return grey(28);
    case PF_App_Color_HILITE:
        return PF_App_Color{A_u_short(45 * 257), A_u_short(141 * 257), A_u_short(235 * 257)};
    case PF_App_Color_SHADOW:
        return grey(12);
    case PF_App_Color_BUTTON_FRAME:
        return grey(90);
    case PF_App_Color_BUTTON_FILL:
        return grey(58);
    case PF_App_Color_BUTTON_TEXT:
        return grey(214);
    case PF_App_Color_PANEL_BACKGROUND:
    default:
        return grey(35);
    }
}

Rgba Drawing::ToRgba(const PF_App_Color& colour) noexcept
{
    return Rgba{static_cast<std::uint8_t>(colour.red >> 8),
                static_cast<std::uint8_t>(colour.green >> 8),
                static_cast<std::uint8_t>(colour.blue >> 8), 255};
}

Drawing::Object& Drawing::Make(Kind kind)
{
    auto object = std::make_unique<Object>();
    object->kind = kind;
    object->owner = this;
    object->session = session_;
    objects_.push_back(std::move(object));
    Object& made = *objects_.back();
    const bool effectObject =
        kind != Kind::DrawRef && kind != Kind::Supplier && kind != Kind::Surface;
    if (effectObject)
    {
        ++counters_.objectsCreated;
    }
    return made;
}

Drawing::Object* Drawing::Live(DRAWBOT_ObjectRef ref, Kind kind)
{
    auto* object = reinterpret_cast<Object*>(ref);
    if (!object || object->magic != ObjectMagic || object->kind != kind)
    {
        return nullptr;
    }
    if (!object->live)
    {
        object->owner->host_.Report(MessageKind::Defect, "A released drawing object was used");
        return nullptr;
    }
    return object;
}

Drawing::Object* Drawing::Live(DRAWBOT_DrawRef ref)
{
    return Live(reinterpret_cast<DRAWBOT_ObjectRef>(ref), Kind::DrawRef);
}

PF_ContextH Drawing::BeginEvent(Raster& surface, const PF_Rect& clip)
{
    EndEvent();
    sessions_.push_back(std::make_unique<Session>());
    session_ = sessions_.back().get();
    session_->context.magic = ContextMagic;
    session_->context.w_type = PF_Window_EFFECT;
    session_->context.reserved_host = session_;
    session_->surface = &surface;
    session_->clip = PF_Rect{std::max<A_long>(clip.left, 0), std::max<A_long>(clip.top, 0),
                             std::min<A_long>(clip.right, surface.Width()),
                             std::min<A_long>(clip.bottom, surface.Height())};
    session_->drawRef = &Make(Kind::DrawRef);
    session_->supplier = &Make(Kind::Supplier);
    session_->surfaceObject = &Make(Kind::Surface);
    return &session_->context;
}

void Drawing::EndEvent()
{
    if (!session_)
    {
        return;
    }
    int left = 0;
    for (auto& object : objects_)
    {
        if (object->session != session_ || !object->live)
        {
            continue;
        }
        switch (object->kind)
        {
        case Kind::DrawRef:
        case Kind::Supplier:
        case Kind::Surface:
            object->live = false; // the host's own, gone with the event
            break;
        case Kind::Image:
            break; // an effect may keep a drawn image; see ReportLiveObjects
        default:
            ++left;
            break;
        }
    }
    session_->context.magic = 0;
    session_ = nullptr;
    if (left > 0)
    {
        host_.Report(MessageKind::Defect, std::to_string(left) +
                                              " drawing object(s) not released by the end of the "
                                              "draw event");
    }
}

void Drawing::ReportLiveObjects(const std::string& when)
{
    int left = 0;
    for (const auto& object : objects_)
    {
        if (object->live && object->kind != Kind::DrawRef && object->kind != Kind::Supplier &&
            object->kind != Kind::Surface)
        {
            ++left;
        }
    }
    if (left > 0)
    {
        host_.Report(MessageKind::Defect,
                     std::to_string(left) + " drawing object(s) still alive " + when);
    }
}

DrawingAccounting Drawing::Accounting() const
{
    DrawingAccounting accounting = counters_;
    accounting.liveObjects = 0;
    for (const auto& object : objects_)
    {
        if (object->live && object->kind != Kind::DrawRef && object->kind != Kind::Supplier &&
            object->kind != Kind::Surface)
        {
            ++accounting.liveObjects;
        }
    }
    return accounting;
}

// --------------------------------------------------------- PF suites

PF_Err Drawing::OnUpdateParamUi(PF_ProgPtr effectRef, PF_ParamIndex index, const PF_ParamDef* def)
{
    return Guarded(
        [&]() -> PF_Err
        {
            Host* host = Callbacks::HostOf(effectRef);
            if (!host || !def)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            return host->Params().UpdateUi(index, *def);
        });
}

PF_Err Drawing::OnAppGetBgColor(PF_App_Color* colour)
{
    return Guarded([&]() -> PF_Err
                   { return OnAppGetColor(PF_App_Color_PANEL_BACKGROUND, colour); });
}

PF_Err Drawing::OnAppGetColor(PF_App_ColorType type, PF_App_Color* colour)
{
    return Guarded(
        [&]() -> PF_Err
        {
            if (!colour || type < 0 || type >= PF_App_Color_NUMTYPES)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            *colour = PanelColour(type);
            return PF_Err_NONE;
        });
}

PF_Err Drawing::OnAppGetLanguage(A_char tag[4])
{
    return Guarded(
        [&]() -> PF_Err
        {
            if (!tag)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            std::memcpy(tag, "enu", 4);
            return PF_Err_NONE;
        });
}

PF_Err Drawing::OnGetDrawingReference(const PF_ContextH context, DRAWBOT_DrawRef* reference)
{
    return Guarded(
        [&]() -> PF_Err
        {
            if (!reference)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            *reference = nullptr;
            if (!context || context->magic != ContextMagic || !context->reserved_host)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            auto* session = static_cast<Session*>(context->reserved_host);
            *reference = reinterpret_cast<DRAWBOT_DrawRef>(session->drawRef);
            return PF_Err_NONE;
        });
}

// ---------------------------------------------------------- DRAWBOT

SPErr Drawing::OnGetSupplier(DRAWBOT_DrawRef ref, DRAWBOT_SupplierRef* supplier)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* draw = Live(ref);
            if (!draw || !supplier)
            {
                return BadReference;
            }
            *supplier = reinterpret_cast<DRAWBOT_SupplierRef>(draw->session->supplier);
            return kSPNoError;
        });
}

SPErr Drawing::OnGetSurface(DRAWBOT_DrawRef ref, DRAWBOT_SurfaceRef* surface)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* draw = Live(ref);
            if (!draw || !surface)
            {
                return BadReference;
            }
            *surface = reinterpret_cast<DRAWBOT_SurfaceRef>(draw->session->surfaceObject);
            return kSPNoError;
        });
}

namespace
{
template <class Ref> Ref AsRef(Drawing::Object& object)
{
    return reinterpret_cast<Ref>(&object);
}
} // namespace

SPErr Drawing::OnNewPen(DRAWBOT_SupplierRef ref, const DRAWBOT_ColorRGBA* colour, float size,
                        DRAWBOT_PenRef* pen)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* supplier = Live(ref, Kind::Supplier);
            if (!supplier || !colour || !pen)
            {
                return BadReference;
            }
            Object& made = supplier->owner->Make(Kind::Pen);
            made.colour = *colour;
            made.size = size;
            *pen = AsRef<DRAWBOT_PenRef>(made);
            return kSPNoError;
        });
}

SPErr Drawing::OnNewBrush(DRAWBOT_SupplierRef ref, const DRAWBOT_ColorRGBA* colour,
                          DRAWBOT_BrushRef* brush)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* supplier = Live(ref, Kind::Supplier);
            if (!supplier || !colour || !brush)
            {
                return BadReference;
            }
            Object& made = supplier->owner->Make(Kind::Brush);
            made.colour = *colour;
            *brush = AsRef<DRAWBOT_BrushRef>(made);
            return kSPNoError;
        });
}

SPErr Drawing::OnSupportsText(DRAWBOT_SupplierRef ref, DRAWBOT_Boolean* supports)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* supplier = Live(ref, Kind::Supplier);
            if (!supplier || !supports)
            {
                return BadReference;
            }
            // Text needs the font; without it the honest answer is no.
            try
            {
                supplier->owner->Text();
                *supports = 1;
            }
            catch (const std::exception&)
            {
                *supports = 0;
            }
            return kSPNoError;
        });
}

SPErr Drawing::OnGetDefaultFontSize(DRAWBOT_SupplierRef ref, float* size)
{
    return Guarded(
        [&]() -> SPErr
        {
            if (!Live(ref, Kind::Supplier) || !size)
            {
                return BadReference;
            }
            *size = 11.0f;
            return kSPNoError;
        });
}

SPErr Drawing::OnNewDefaultFont(DRAWBOT_SupplierRef ref, float size, DRAWBOT_FontRef* font)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* supplier = Live(ref, Kind::Supplier);
            if (!supplier || !font || !(size > 0.0f))
            {
                return BadReference;
            }
            Object& made = supplier->owner->Make(Kind::Font);
            made.size = size;
            *font = AsRef<DRAWBOT_FontRef>(made);
            return kSPNoError;
        });
}

SPErr Drawing::OnNewImageFromBuffer(DRAWBOT_SupplierRef ref, int width, int height, int rowBytes,
                                    DRAWBOT_PixelLayout layout, const void* data,
                                    DRAWBOT_ImageRef* image)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* supplier = Live(ref, Kind::Supplier);
            if (!supplier || !image || !data || width <= 0 || height <= 0)
            {
                return BadReference;
            }
            *image = nullptr;
            const int bytesPerPixel =
                (layout == kDRAWBOT_PixelLayout_24RGB || layout == kDRAWBOT_PixelLayout_24BGR) ? 3
                                                                                               : 4;
            if (layout < kDRAWBOT_PixelLayout_24RGB ||
                layout > kDRAWBOT_PixelLayout_32BGRA_Premul || rowBytes < width * bytesPerPixel)
            {
                return BadReference;
            }
            Object& made = supplier->owner->Make(Kind::Image);
            made.width = width;
            made.height = height;
            made.pixels.resize(static_cast<std::size_t>(width) * height);
            const auto* bytes = static_cast<const std::uint8_t*>(data);
            for (int y = 0; y < height; ++y)
            {
                const std::uint8_t* row = bytes + static_cast<std::ptrdiff_t>(y) * rowBytes;
                for (int x = 0; x < width; ++x)
                {
                    const std::uint8_t* p = row + x * bytesPerPixel;
                    Rgba pixel{0, 0, 0, 255};
                    bool premultiplied = false;
                    switch (layout)
                    {
                    case kDRAWBOT_PixelLayout_24RGB:
                        pixel = {p[0], p[1], p[2], 255};
                        break;
                    case kDRAWBOT_PixelLayout_24BGR:
                        pixel = {p[2], p[1], p[0], 255};
                        break;
                    case kDRAWBOT_PixelLayout_32RGB:
                        pixel = {p[1], p[2], p[3], 255};
                        break;
                    case kDRAWBOT_PixelLayout_32BGR:
                        pixel = {p[2], p[1], p[0], 255};
                        break;
                    case kDRAWBOT_PixelLayout_32ARGB_Straight:
                    case kDRAWBOT_PixelLayout_32ARGB_Premul:
                        pixel = {p[1], p[2], p[3], p[0]};
                        premultiplied = layout == kDRAWBOT_PixelLayout_32ARGB_Premul;
                        break;
                    default: // BGRA
                        pixel = {p[2], p[1], p[0], p[3]};
                        premultiplied = layout == kDRAWBOT_PixelLayout_32BGRA_Premul;
                        break;
                    }
                    if (premultiplied && pixel.alpha != 0 && pixel.alpha != 255)
                    {
                        auto undo = [&](std::uint8_t v)
                        { return static_cast<std::uint8_t>(std::min(255, v * 255 / pixel.alpha)); };
                        pixel = {undo(pixel.red), undo(pixel.green), undo(pixel.blue), pixel.alpha};
                    }
                    made.pixels[static_cast<std::size_t>(y) * width + x] = pixel;
                }
            }
            ++supplier->owner->counters_.imagesCreated;
            *image = AsRef<DRAWBOT_ImageRef>(made);
            return kSPNoError;
        });
}

SPErr Drawing::OnNewPath(DRAWBOT_SupplierRef ref, DRAWBOT_PathRef* path)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* supplier = Live(ref, Kind::Supplier);
            if (!supplier || !path)
            {
                return BadReference;
            }
            *path = AsRef<DRAWBOT_PathRef>(supplier->owner->Make(Kind::Path));
            return kSPNoError;
        });
}

namespace
{
SPErr Answer(bool valid, DRAWBOT_Boolean* answer, bool value)
{
    if (!valid || !answer)
    {
        return BadReference;
    }
    *answer = value;
    return kSPNoError;
}
} // namespace

SPErr Drawing::OnSupportsBgra(DRAWBOT_SupplierRef ref, DRAWBOT_Boolean* answer)
{
    return Guarded([&]() -> SPErr { return Answer(Live(ref, Kind::Supplier), answer, true); });
}

SPErr Drawing::OnPrefersBgra(DRAWBOT_SupplierRef ref, DRAWBOT_Boolean* answer)
{
    return Guarded([&]() -> SPErr { return Answer(Live(ref, Kind::Supplier), answer, true); });
}

SPErr Drawing::OnSupportsArgb(DRAWBOT_SupplierRef ref, DRAWBOT_Boolean* answer)
{
    return Guarded([&]() -> SPErr { return Answer(Live(ref, Kind::Supplier), answer, true); });
}

SPErr Drawing::OnPrefersArgb(DRAWBOT_SupplierRef ref, DRAWBOT_Boolean* answer)
{
    return Guarded([&]() -> SPErr { return Answer(Live(ref, Kind::Supplier), answer, false); });
}

namespace
{
bool IsEffectObject(const Drawing::Object* object) noexcept;
}

SPErr Drawing::OnRetainObject(DRAWBOT_ObjectRef ref)
{
    return Guarded(
        [&]() -> SPErr
        {
            auto* object = reinterpret_cast<Object*>(ref);
            if (!object || object->magic != ObjectMagic || !object->live)
            {
                return BadReference;
            }
            ++object->retains;
            return kSPNoError;
        });
}

SPErr Drawing::OnReleaseObject(DRAWBOT_ObjectRef ref)
{
    return Guarded(
        [&]() -> SPErr
        {
            auto* object = reinterpret_cast<Object*>(ref);
            if (!object || object->magic != ObjectMagic)
            {
                return BadReference;
            }
            if (!object->live)
            {
                object->owner->host_.Report(MessageKind::Defect,
                                            "A drawing object was released more than once");
                return BadReference;
            }
            if (!IsEffectObject(object))
            {
                object->owner->host_.Report(MessageKind::Defect,
                                            "The effect released the host's supplier, surface or "
                                            "drawing reference");
                return BadReference;
            }
            if (--object->retains > 0)
            {
                return kSPNoError;
            }
            object->live = false;
            object->contours.clear();
            object->pixels = {};
            return kSPNoError;
        });
}

namespace
{
bool IsEffectObject(const Drawing::Object* object) noexcept
{
    return object->kind != Drawing::Kind::DrawRef && object->kind != Drawing::Kind::Supplier &&
           object->kind != Drawing::Kind::Surface;
}

// Pixels whose centre lies inside the path, by the fill rule, over the clip.
void FillContours(Raster& raster, const PF_Rect& clip,
                  const std::vector<std::vector<DRAWBOT_PointF32>>& contours, Rgba colour,
                  bool winding, float coverage)
{
    struct Edge
    {
        float x0, y0, x1, y1;
        int direction;
    };
    std::vector<Edge> edges;
    float top = INFINITY, bottom = -INFINITY;
    for (const auto& contour : contours)
    {
        for (std::size_t i = 0; i < contour.size(); ++i)
        {
            const DRAWBOT_PointF32 a = contour[i];
            const DRAWBOT_PointF32 b = contour[(i + 1) % contour.size()];
            if (a.y == b.y)
            {
                continue;
            }
            edges.push_back(a.y < b.y ? Edge{a.x, a.y, b.x, b.y, 1} : Edge{b.x, b.y, a.x, a.y, -1});
            top = std::min({top, a.y, b.y});
            bottom = std::max({bottom, a.y, b.y});
        }
    }
    if (edges.empty())
    {
        return;
    }
    const int firstRow = std::max<int>(clip.top, static_cast<int>(std::floor(top)));
    const int lastRow = std::min<int>(clip.bottom - 1, static_cast<int>(std::ceil(bottom)));
    std::vector<std::pair<float, int>> crossings;
    for (int y = firstRow; y <= lastRow; ++y)
    {
        const float sampleY = static_cast<float>(y) + 0.5f;
        crossings.clear();
        for (const Edge& edge : edges)
        {
            if (sampleY >= edge.y0 && sampleY < edge.y1)
            {
                const float t = (sampleY - edge.y0) / (edge.y1 - edge.y0);
                crossings.emplace_back(edge.x0 + t * (edge.x1 - edge.x0), edge.direction);
            }
        }
        std::sort(crossings.begin(), crossings.end());
        int count = 0;
        for (std::size_t i = 0; i + 1 < crossings.size(); ++i)
        {
            count += winding ? crossings[i].second : 1;
            const bool inside = winding ? count != 0 : (count % 2) != 0;
            if (!inside)
            {
                continue;
            }
            // Pixel x is covered when its centre x + 0.5 lies in [from, to).
            const int from =
                std::max<int>(clip.left, static_cast<int>(std::ceil(crossings[i].first - 0.5f)));
            const int to = std::min<int>(
                clip.right, static_cast<int>(std::ceil(crossings[i + 1].first - 0.5f)));
            for (int x = from; x < to; ++x)
            {
                raster.Blend(x, y, colour, coverage);
            }
        }
    }
}

std::vector<std::vector<DRAWBOT_PointF32>>
Transformed(const std::vector<std::vector<DRAWBOT_PointF32>>& contours, const Affine& transform)
{
    auto result = contours;
    for (auto& contour : result)
    {
        for (auto& point : contour)
        {
            point = transform.Apply(point);
        }
    }
    return result;
}
} // namespace

SPErr Drawing::OnPushStateStack(DRAWBOT_SurfaceRef ref)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            if (!surface)
            {
                return BadReference;
            }
            surface->session->states.emplace_back(surface->session->clip,
                                                  surface->session->transform);
            return kSPNoError;
        });
}

SPErr Drawing::OnPopStateStack(DRAWBOT_SurfaceRef ref)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            if (!surface || surface->session->states.empty())
            {
                return BadReference;
            }
            std::tie(surface->session->clip, surface->session->transform) =
                surface->session->states.back();
            surface->session->states.pop_back();
            return kSPNoError;
        });
}

SPErr Drawing::OnPaintRect(DRAWBOT_SurfaceRef ref, const DRAWBOT_ColorRGBA* colour,
                           const DRAWBOT_RectF32* rect)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            if (!surface || !colour || !rect)
            {
                return BadReference;
            }
            Session& session = *surface->session;
            std::vector<std::vector<DRAWBOT_PointF32>> box{
                {{rect->left, rect->top},
                 {rect->left + rect->width, rect->top},
                 {rect->left + rect->width, rect->top + rect->height},
                 {rect->left, rect->top + rect->height}}};
            FillContours(*session.surface, session.clip, Transformed(box, session.transform),
                         EffectHost::ToRgba(*colour), true, 1.0f);
            return kSPNoError;
        });
}

SPErr Drawing::OnFillPath(DRAWBOT_SurfaceRef ref, DRAWBOT_BrushRef brushRef,
                          DRAWBOT_PathRef pathRef, DRAWBOT_FillType fillType)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            Object* brush = Live(brushRef, Kind::Brush);
            Object* path = Live(pathRef, Kind::Path);
            if (!surface || !brush || !path)
            {
                return BadReference;
            }
            Session& session = *surface->session;
            ++surface->owner->counters_.fills;
            FillContours(
                *session.surface, session.clip, Transformed(path->contours, session.transform),
                EffectHost::ToRgba(brush->colour), fillType == kDRAWBOT_FillType_Winding, 1.0f);
            return kSPNoError;
        });
}

SPErr Drawing::OnStrokePath(DRAWBOT_SurfaceRef ref, DRAWBOT_PenRef penRef, DRAWBOT_PathRef pathRef)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            Object* pen = Live(penRef, Kind::Pen);
            Object* path = Live(pathRef, Kind::Path);
            if (!surface || !pen || !path)
            {
                return BadReference;
            }
            Session& session = *surface->session;
            // Each segment as a quadrilateral of the pen's width.
            const float half = std::max(pen->size, 1.0f) / 2.0f;
            std::vector<std::vector<DRAWBOT_PointF32>> quads;
            for (const auto& contour : Transformed(path->contours, session.transform))
            {
                for (std::size_t i = 0; i + 1 < contour.size(); ++i)
                {
                    const DRAWBOT_PointF32 a = contour[i], b = contour[i + 1];
                    const float dx = b.x - a.x, dy = b.y - a.y;
                    const float length = std::hypot(dx, dy);
                    if (length == 0.0f)
                    {
                        continue;
                    }
                    const float nx = -dy / length * half, ny = dx / length * half;
                    quads.push_back({{a.x + nx, a.y + ny},
                                     {b.x + nx, b.y + ny},
                                     {b.x - nx, b.y - ny},
                                     {a.x - nx, a.y - ny}});
                }
            }
            for (const auto& quad : quads)
            {
                FillContours(*session.surface, session.clip, {quad},
                             EffectHost::ToRgba(pen->colour), true, 1.0f);
            }
            return kSPNoError;
        });
}

SPErr Drawing::OnClip(DRAWBOT_SurfaceRef ref, DRAWBOT_SupplierRef, const DRAWBOT_Rect32* rect)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            if (!surface || !rect)
            {
                return BadReference;
            }
            PF_Rect& clip = surface->session->clip;
            clip = PF_Rect{std::max<A_long>(clip.left, rect->left),
                           std::max<A_long>(clip.top, rect->top),
                           std::min<A_long>(clip.right, rect->left + rect->width),
                           std::min<A_long>(clip.bottom, rect->top + rect->height)};
            return kSPNoError;
        });
}

SPErr Drawing::OnGetClipBounds(DRAWBOT_SurfaceRef ref, DRAWBOT_Rect32* rect)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            if (!surface || !rect)
            {
                return BadReference;
            }
            const PF_Rect& clip = surface->session->clip;
            *rect = DRAWBOT_Rect32{clip.left, clip.top, std::max<A_long>(clip.right - clip.left, 0),
                                   std::max<A_long>(clip.bottom - clip.top, 0)};
            return kSPNoError;
        });
}

SPErr Drawing::OnIsWithinClipBounds(DRAWBOT_SurfaceRef ref, const DRAWBOT_Rect32* rect,
                                    DRAWBOT_Boolean* within)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            if (!surface || !rect || !within)
            {
                return BadReference;
            }
            const PF_Rect& clip = surface->session->clip;
            *within = rect->left >= clip.left && rect->top >= clip.top &&
                      rect->left + rect->width <= clip.right &&
                      rect->top + rect->height <= clip.bottom;
            return kSPNoError;
        });
}

SPErr Drawing::OnTransform(DRAWBOT_SurfaceRef ref, const DRAWBOT_MatrixF32* matrix)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            if (!surface || !matrix)
            {
                return BadReference;
            }
            const auto& m = matrix->mat;
            const Affine given{m[0][0], m[0][1], m[1][0], m[1][1], m[2][0], m[2][1]};
            surface->session->transform = given.Then(surface->session->transform);
            return kSPNoError;
        });
}

SPErr Drawing::OnDrawString(DRAWBOT_SurfaceRef ref, DRAWBOT_BrushRef brushRef,
                            DRAWBOT_FontRef fontRef, const DRAWBOT_UTF16Char* text,
                            const DRAWBOT_PointF32* origin, DRAWBOT_TextAlignment alignment,
                            DRAWBOT_TextTruncation truncation, float truncationWidth)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            Object* brush = Live(brushRef, Kind::Brush);
            Object* font = Live(fontRef, Kind::Font);
            if (!surface || !brush || !font || !text || !origin)
            {
                return BadReference;
            }
            Drawing& drawing = *surface->owner;
            Session& session = *surface->session;
            const auto* units = reinterpret_cast<const char16_t*>(text);
            drawing.counters_.strings.emplace_back(units);
            drawing.counters_.stringOrigins.push_back(*origin);

            // Without its font the call fails, and the guard tells the user why.
            TextRenderer& renderer = drawing.Text();
            std::u32string shown = FromUtf16(units);
            if (truncation != kDRAWBOT_TextTruncation_None && truncationWidth > 0.0f &&
                renderer.Measure(shown, font->size) > truncationWidth)
            {
                while (!shown.empty() &&
                       renderer.Measure(shown + U"\u2026", font->size) > truncationWidth)
                {
                    shown.pop_back();
                }
                shown += U"\u2026";
            }
            DRAWBOT_PointF32 at = session.transform.Apply(*origin);
            if (alignment == kDRAWBOT_TextAlignment_Center)
            {
                at.x -= renderer.Measure(shown, font->size) / 2.0f;
            }
            else if (alignment == kDRAWBOT_TextAlignment_Right)
            {
                at.x -= renderer.Measure(shown, font->size);
            }
            renderer.Draw(*session.surface, session.clip, at.x, at.y, shown,
                          EffectHost::ToRgba(brush->colour), font->size);
            return kSPNoError;
        });
}

SPErr Drawing::OnDrawImage(DRAWBOT_SurfaceRef ref, DRAWBOT_ImageRef imageRef,
                           const DRAWBOT_PointF32* origin, float alpha)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* surface = Live(ref, Kind::Surface);
            Object* image = Live(imageRef, Kind::Image);
            if (!surface || !image || !origin)
            {
                return BadReference;
            }
            Drawing& drawing = *surface->owner;
            Session& session = *surface->session;
            drawing.counters_.imageOrigins.push_back(*origin);
            const DRAWBOT_PointF32 at = session.transform.Apply(*origin);
            const int left = static_cast<int>(std::lround(at.x));
            const int top = static_cast<int>(std::lround(at.y));
            const float opacity = std::clamp(alpha, 0.0f, 1.0f);
            for (int y = 0; y < image->height; ++y)
            {
                const int py = top + y;
                if (py < session.clip.top || py >= session.clip.bottom)
                {
                    continue;
                }
                for (int x = 0; x < image->width; ++x)
                {
                    const int px = left + x;
                    if (px < session.clip.left || px >= session.clip.right)
                    {
                        continue;
                    }
                    session.surface->Blend(
                        px, py, image->pixels[static_cast<std::size_t>(y) * image->width + x],
                        opacity);
                }
            }
            return kSPNoError;
        });
}

SPErr Drawing::OnSetPolicy(DRAWBOT_SurfaceRef ref, int32_t)
{
    return Guarded([&]() -> SPErr { return Live(ref, Kind::Surface) ? kSPNoError : BadReference; });
}

SPErr Drawing::OnFlush(DRAWBOT_SurfaceRef ref)
{
    return Guarded([&]() -> SPErr { return Live(ref, Kind::Surface) ? kSPNoError : BadReference; });
}

SPErr Drawing::OnMoveTo(DRAWBOT_PathRef ref, float x, float y)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* path = Live(ref, Kind::Path);
            if (!path)
            {
                return BadReference;
            }
            path->contours.push_back({{x, y}});
            return kSPNoError;
        });
}

SPErr Drawing::OnLineTo(DRAWBOT_PathRef ref, float x, float y)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* path = Live(ref, Kind::Path);
            if (!path)
            {
                return BadReference;
            }
            if (path->contours.empty())
            {
                path->contours.push_back({{x, y}});
            }
            else
            {
                path->contours.back().push_back({x, y});
            }
            return kSPNoError;
        });
}

SPErr Drawing::OnBezierTo(DRAWBOT_PathRef ref, const DRAWBOT_PointF32* p1,
                          const DRAWBOT_PointF32* p2, const DRAWBOT_PointF32* p3)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* path = Live(ref, Kind::Path);
            if (!path || !p1 || !p2 || !p3 || path->contours.empty() ||
                path->contours.back().empty())
            {
                return BadReference;
            }
            auto& contour = path->contours.back();
            const DRAWBOT_PointF32 p0 = contour.back();
            constexpr int Steps = 16;
            for (int i = 1; i <= Steps; ++i)
            {
                const float t = static_cast<float>(i) / Steps, u = 1.0f - t;
                const float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
                contour.push_back({a * p0.x + b * p1->x + c * p2->x + d * p3->x,
                                   a * p0.y + b * p1->y + c * p2->y + d * p3->y});
            }
            return kSPNoError;
        });
}

SPErr Drawing::OnAddRect(DRAWBOT_PathRef ref, const DRAWBOT_RectF32* rect)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* path = Live(ref, Kind::Path);
            if (!path || !rect)
            {
                return BadReference;
            }
            path->contours.push_back({{rect->left, rect->top},
                                      {rect->left + rect->width, rect->top},
                                      {rect->left + rect->width, rect->top + rect->height},
                                      {rect->left, rect->top + rect->height}});
            return kSPNoError;
        });
}

SPErr Drawing::OnAddArc(DRAWBOT_PathRef ref, const DRAWBOT_PointF32* centre, float radius,
                        float startAngle, float sweep)
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* path = Live(ref, Kind::Path);
            if (!path || !centre)
            {
                return BadReference;
            }
            constexpr float DegreesToRadians = 3.14159265358979f / 180.0f;
            constexpr int Steps = 32;
            std::vector<DRAWBOT_PointF32> arc;
            for (int i = 0; i <= Steps; ++i)
            {
                const float angle =
                    (startAngle + sweep * static_cast<float>(i) / Steps) * DegreesToRadians;
                arc.push_back(
                    {centre->x + radius * std::cos(angle), centre->y + radius * std::sin(angle)});
            }
            path->contours.push_back(std::move(arc));
            return kSPNoError;
        });
}

SPErr Drawing::OnClose(DRAWBOT_PathRef ref)
{
    return Guarded(
        [&]() -> SPErr
        {
            // Every contour is closed when filled; a close only ends the contour.
            return Live(ref, Kind::Path) ? kSPNoError : BadReference;
        });
}

} // namespace EffectHost
