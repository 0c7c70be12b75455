#include "host/Drawing.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "host/BasicSuite.h"
#include "host/DrawingObjects.h"
#include "host/Guard.h"
#include "support/Text.h"

namespace EffectHost
{

// ------------------------------------------------------------------ text

// ----------------------------------------------------------- the objects

namespace
{
using Kind = DrawingKind;
using Object = DrawingObject;
constexpr SPErr BadReference = PF_Err_BAD_CALLBACK_PARAM;

template <class Ref> Ref AsRef(Object& object)
{
    return reinterpret_cast<Ref>(&object);
}

// Runs `body` with the live object of that kind that `ref` names, inside the
// guard; any other reference is refused.
template <class Body> SPErr With(const void* ref, Kind kind, Body&& body) noexcept
{
    return Guarded(
        [&]() -> SPErr
        {
            Object* object = DrawingObjects::Live(ref, kind);
            return object ? body(*object) : BadReference;
        });
}

// The same for a surface: `body` gets the event's session and its cairo
// context.
template <class Body> SPErr WithSurface(DRAWBOT_SurfaceRef ref, Body&& body) noexcept
{
    return With(ref, Kind::Surface,
                [&](Object& surface) -> SPErr
                { return body(surface, *surface.session, surface.session->canvas->Context()); });
}

void SetSource(cairo_t* context, const DRAWBOT_ColorRGBA& colour)
{
    auto channel = [](float v) { return std::clamp<double>(v, 0.0, 1.0); };
    cairo_set_source_rgba(context, channel(colour.red), channel(colour.green), channel(colour.blue),
                          channel(colour.alpha));
}

void ReplayPath(cairo_t* context, const std::vector<PathStep>& steps)
{
    cairo_new_path(context);
    for (const PathStep& step : steps)
    {
        const float* v = step.values;
        switch (step.verb)
        {
        case PathStep::Verb::Move:
            cairo_move_to(context, v[0], v[1]);
            break;
        case PathStep::Verb::Line:
            cairo_line_to(context, v[0], v[1]);
            break;
        case PathStep::Verb::Curve:
            cairo_curve_to(context, v[0], v[1], v[2], v[3], v[4], v[5]);
            break;
        case PathStep::Verb::Rect:
            cairo_rectangle(context, v[0], v[1], v[2], v[3]);
            break;
        case PathStep::Verb::Arc:
        {
            // An arc starts a contour of its own; angles in degrees, the
            // sweep's sign its direction.
            constexpr double Radians = std::numbers::pi / 180.0;
            const double from = v[3] * Radians, to = (v[3] + v[4]) * Radians;
            cairo_new_sub_path(context);
            (v[4] >= 0 ? cairo_arc : cairo_arc_negative)(context, v[0], v[1], v[2], from, to);
            break;
        }
        case PathStep::Verb::Close:
            cairo_close_path(context);
            break;
        }
    }
}

// The clip is kept in pixels as well as in cairo, for GetClipBounds.
void ApplyClip(cairo_t* context, const PF_Rect& clip)
{
    cairo_matrix_t user;
    cairo_get_matrix(context, &user);
    cairo_identity_matrix(context);
    cairo_new_path(context);
    cairo_rectangle(context, clip.left, clip.top, std::max<A_long>(clip.right - clip.left, 0),
                    std::max<A_long>(clip.bottom - clip.top, 0));
    cairo_clip(context);
    cairo_set_matrix(context, &user);
}

// An image in cairo's premultiplied ARGB32 from one of DRAWBOT's layouts.
CairoSurface MakeImage(int width, int height, int rowBytes, DRAWBOT_PixelLayout layout,
                       const std::uint8_t* bytes)
{
    CairoSurface image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS)
    {
        throw std::bad_alloc();
    }
    const int bytesPerPixel =
        (layout == kDRAWBOT_PixelLayout_24RGB || layout == kDRAWBOT_PixelLayout_24BGR) ? 3 : 4;
    unsigned char* data = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    for (int y = 0; y < height; ++y)
    {
        const std::uint8_t* row = bytes + static_cast<std::ptrdiff_t>(y) * rowBytes;
        auto* out =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x)
        {
            const std::uint8_t* p = row + x * bytesPerPixel;
            switch (layout)
            {
            case kDRAWBOT_PixelLayout_24RGB:
                out[x] = ToPremultiplied({p[0], p[1], p[2], 255});
                break;
            case kDRAWBOT_PixelLayout_24BGR:
            case kDRAWBOT_PixelLayout_32BGR:
                out[x] = ToPremultiplied({p[2], p[1], p[0], 255});
                break;
            case kDRAWBOT_PixelLayout_32RGB:
                out[x] = ToPremultiplied({p[1], p[2], p[3], 255});
                break;
            case kDRAWBOT_PixelLayout_32ARGB_Straight:
                out[x] = ToPremultiplied({p[1], p[2], p[3], p[0]});
                break;
            case kDRAWBOT_PixelLayout_32ARGB_Premul:
                out[x] = std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
                break;
            case kDRAWBOT_PixelLayout_32BGRA_Straight:
                out[x] = ToPremultiplied({p[2], p[1], p[0], p[3]});
                break;
            default: // BGRA premultiplied
                out[x] = std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0];
                break;
            }
        }
    }
    cairo_surface_mark_dirty(image.get());
    return image;
}

// ---------------------------------------------------------- custom UI

PF_Err OnGetDrawingReference(const PF_ContextH context, DRAWBOT_DrawRef* reference)
{
    return Guarded(
        [&]() -> PF_Err
        {
            if (!reference)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            DrawingSession* session = DrawingObjects::SessionOf(context);
            *reference = session ? AsRef<DRAWBOT_DrawRef>(*session->drawRef) : nullptr;
            return session ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
        });
}

// ---------------------------------------------------------- DRAWBOT draw

SPErr OnGetSupplier(DRAWBOT_DrawRef ref, DRAWBOT_SupplierRef* supplier)
{
    return With(ref, Kind::DrawRef,
                [&](Object& draw) -> SPErr
                {
                    if (!supplier)
                    {
                        return BadReference;
                    }
                    *supplier = AsRef<DRAWBOT_SupplierRef>(*draw.session->supplier);
                    return kSPNoError;
                });
}

SPErr OnGetSurface(DRAWBOT_DrawRef ref, DRAWBOT_SurfaceRef* surface)
{
    return With(ref, Kind::DrawRef,
                [&](Object& draw) -> SPErr
                {
                    if (!surface)
                    {
                        return BadReference;
                    }
                    *surface = AsRef<DRAWBOT_SurfaceRef>(*draw.session->surface);
                    return kSPNoError;
                });
}

// ---------------------------------------------------------- DRAWBOT supplier

// A new object of the effect's, made through the supplier `ref`.
template <class Ref, class Fill>
SPErr Create(DRAWBOT_SupplierRef ref, Kind kind, Ref* made, bool valid, Fill&& fill) noexcept
{
    return With(ref, Kind::Supplier,
                [&](Object& supplier) -> SPErr
                {
                    if (!made || !valid)
                    {
                        return BadReference;
                    }
                    Object& object = supplier.registry->Make(kind);
                    fill(object);
                    *made = AsRef<Ref>(object);
                    return kSPNoError;
                });
}

SPErr OnNewPen(DRAWBOT_SupplierRef ref, const DRAWBOT_ColorRGBA* colour, float size,
               DRAWBOT_PenRef* pen)
{
    return Create(ref, Kind::Pen, pen, colour != nullptr,
                  [&](Object& made)
                  {
                      made.colour = *colour;
                      made.size = size;
                  });
}

SPErr OnNewBrush(DRAWBOT_SupplierRef ref, const DRAWBOT_ColorRGBA* colour, DRAWBOT_BrushRef* brush)
{
    return Create(ref, Kind::Brush, brush, colour != nullptr,
                  [&](Object& made) { made.colour = *colour; });
}

SPErr OnNewDefaultFont(DRAWBOT_SupplierRef ref, float size, DRAWBOT_FontRef* font)
{
    return Create(ref, Kind::Font, font, size > 0.0f, [&](Object& made) { made.size = size; });
}

SPErr OnNewPath(DRAWBOT_SupplierRef ref, DRAWBOT_PathRef* path)
{
    return Create(ref, Kind::Path, path, true, [](Object&) {});
}

SPErr OnNewImageFromBuffer(DRAWBOT_SupplierRef ref, int width, int height, int rowBytes,
                           DRAWBOT_PixelLayout layout, const void* data, DRAWBOT_ImageRef* image)
{
    if (image)
    {
        *image = nullptr;
    }
    const int bytesPerPixel =
        (layout == kDRAWBOT_PixelLayout_24RGB || layout == kDRAWBOT_PixelLayout_24BGR) ? 3 : 4;
    const bool valid = data && width > 0 && height > 0 && layout >= kDRAWBOT_PixelLayout_24RGB &&
                       layout <= kDRAWBOT_PixelLayout_32BGRA_Premul &&
                       rowBytes >= width * bytesPerPixel;
    return Create(ref, Kind::Image, image, valid,
                  [&](Object& made)
                  {
                      made.image = MakeImage(width, height, rowBytes, layout,
                                             static_cast<const std::uint8_t*>(data));
                      ++made.registry->Counters().imagesCreated;
                  });
}

SPErr OnSupportsText(DRAWBOT_SupplierRef ref, DRAWBOT_Boolean* supports)
{
    return With(ref, Kind::Supplier,
                [&](Object& supplier) -> SPErr
                {
                    if (!supports)
                    {
                        return BadReference;
                    }
                    // Text needs the font; without it the honest answer is no.
                    try
                    {
                        supplier.registry->Owner().Text();
                        *supports = 1;
                    }
                    catch (const std::exception&)
                    {
                        *supports = 0;
                    }
                    return kSPNoError;
                });
}

SPErr OnGetDefaultFontSize(DRAWBOT_SupplierRef ref, float* size)
{
    return With(ref, Kind::Supplier,
                [&](Object&) -> SPErr
                {
                    if (!size)
                    {
                        return BadReference;
                    }
                    *size = 11.0f;
                    return kSPNoError;
                });
}

// The pixel layouts the supplier supports and prefers: BGRA.
template <bool Value> SPErr OnLayoutQuestion(DRAWBOT_SupplierRef ref, DRAWBOT_Boolean* answer)
{
    return With(ref, Kind::Supplier,
                [&](Object&) -> SPErr
                {
                    if (!answer)
                    {
                        return BadReference;
                    }
                    *answer = Value;
                    return kSPNoError;
                });
}

SPErr OnRetainObject(DRAWBOT_ObjectRef ref)
{
    return Guarded(
        [&]() -> SPErr
        {
            auto* object = reinterpret_cast<Object*>(ref);
            if (!object || object->magic != Object::Magic || !object->live)
            {
                return BadReference;
            }
            ++object->retains;
            return kSPNoError;
        });
}

SPErr OnReleaseObject(DRAWBOT_ObjectRef ref)
{
    return Guarded(
        [&]() -> SPErr
        {
            auto* object = reinterpret_cast<Object*>(ref);
            if (!object || object->magic != Object::Magic)
            {
                return BadReference;
            }
            Host& host = object->registry->Owner();
            if (!object->live)
            {
                host.Report(MessageKind::Defect, "A drawing object was released more than once");
                return BadReference;
            }
            if (!object->IsEffects())
            {
                host.Report(MessageKind::Defect, "The effect released the host's supplier, "
                                                 "surface or drawing reference");
                return BadReference;
            }
            if (--object->retains > 0)
            {
                return kSPNoError;
            }
            object->live = false;
            object->path = {};
            object->image.reset();
            return kSPNoError;
        });
}

// ---------------------------------------------------------- DRAWBOT surface

SPErr OnPushStateStack(DRAWBOT_SurfaceRef ref)
{
    return WithSurface(ref,
                       [](Object&, DrawingSession& session, cairo_t* context) -> SPErr
                       {
                           session.clips.push_back(session.clip);
                           cairo_save(context);
                           return kSPNoError;
                       });
}

SPErr OnPopStateStack(DRAWBOT_SurfaceRef ref)
{
    return WithSurface(ref,
                       [](Object&, DrawingSession& session, cairo_t* context) -> SPErr
                       {
                           if (session.clips.empty())
                           {
                               return BadReference;
                           }
                           session.clip = session.clips.back();
                           session.clips.pop_back();
                           cairo_restore(context);
                           return kSPNoError;
                       });
}

SPErr OnPaintRect(DRAWBOT_SurfaceRef ref, const DRAWBOT_ColorRGBA* colour,
                  const DRAWBOT_RectF32* rect)
{
    return WithSurface(ref,
                       [&](Object&, DrawingSession&, cairo_t* context) -> SPErr
                       {
                           if (!colour || !rect)
                           {
                               return BadReference;
                           }
                           SetSource(context, *colour);
                           cairo_new_path(context);
                           cairo_rectangle(context, rect->left, rect->top, rect->width,
                                           rect->height);
                           cairo_fill(context);
                           return kSPNoError;
                       });
}

SPErr OnFillPath(DRAWBOT_SurfaceRef ref, DRAWBOT_BrushRef brushRef, DRAWBOT_PathRef pathRef,
                 DRAWBOT_FillType fillType)
{
    return WithSurface(ref,
                       [&](Object& surface, DrawingSession&, cairo_t* context) -> SPErr
                       {
                           Object* brush = DrawingObjects::Live(brushRef, Kind::Brush);
                           Object* path = DrawingObjects::Live(pathRef, Kind::Path);
                           if (!brush || !path)
                           {
                               return BadReference;
                           }
                           ++surface.registry->Counters().fills;
                           SetSource(context, brush->colour);
                           cairo_set_fill_rule(context, fillType == kDRAWBOT_FillType_Winding
                                                            ? CAIRO_FILL_RULE_WINDING
                                                            : CAIRO_FILL_RULE_EVEN_ODD);
                           ReplayPath(context, path->path);
                           cairo_fill(context);
                           return kSPNoError;
                       });
}

SPErr OnStrokePath(DRAWBOT_SurfaceRef ref, DRAWBOT_PenRef penRef, DRAWBOT_PathRef pathRef)
{
    return WithSurface(ref,
                       [&](Object&, DrawingSession&, cairo_t* context) -> SPErr
                       {
                           Object* pen = DrawingObjects::Live(penRef, Kind::Pen);
                           Object* path = DrawingObjects::Live(pathRef, Kind::Path);
                           if (!pen || !path)
                           {
                               return BadReference;
                           }
                           // Mitred corners, as DRAWBOT's pens have no join of their own.
                           SetSource(context, pen->colour);
                           cairo_set_line_width(context, std::max(pen->size, 1.0f));
                           cairo_set_line_join(context, CAIRO_LINE_JOIN_MITER);
                           cairo_set_line_cap(context, CAIRO_LINE_CAP_BUTT);
                           ReplayPath(context, path->path);
                           cairo_stroke(context);
                           return kSPNoError;
                       });
}

SPErr OnClip(DRAWBOT_SurfaceRef ref, DRAWBOT_SupplierRef, const DRAWBOT_Rect32* rect)
{
    return WithSurface(ref,
                       [&](Object&, DrawingSession& session, cairo_t* context) -> SPErr
                       {
                           if (!rect)
                           {
                               return BadReference;
                           }
                           PF_Rect& clip = session.clip;
                           clip = PF_Rect{std::max<A_long>(clip.left, rect->left),
                                          std::max<A_long>(clip.top, rect->top),
                                          std::min<A_long>(clip.right, rect->left + rect->width),
                                          std::min<A_long>(clip.bottom, rect->top + rect->height)};
                           ApplyClip(context, clip);
                           return kSPNoError;
                       });
}

SPErr OnGetClipBounds(DRAWBOT_SurfaceRef ref, DRAWBOT_Rect32* rect)
{
    return WithSurface(ref,
                       [&](Object&, DrawingSession& session, cairo_t*) -> SPErr
                       {
                           if (!rect)
                           {
                               return BadReference;
                           }
                           const PF_Rect& clip = session.clip;
                           *rect = DRAWBOT_Rect32{clip.left, clip.top,
                                                  std::max<A_long>(clip.right - clip.left, 0),
                                                  std::max<A_long>(clip.bottom - clip.top, 0)};
                           return kSPNoError;
                       });
}

SPErr OnIsWithinClipBounds(DRAWBOT_SurfaceRef ref, const DRAWBOT_Rect32* rect,
                           DRAWBOT_Boolean* within)
{
    return WithSurface(ref,
                       [&](Object&, DrawingSession& session, cairo_t*) -> SPErr
                       {
                           if (!rect || !within)
                           {
                               return BadReference;
                           }
                           const PF_Rect& clip = session.clip;
                           *within = rect->left >= clip.left && rect->top >= clip.top &&
                                     rect->left + rect->width <= clip.right &&
                                     rect->top + rect->height <= clip.bottom;
                           return kSPNoError;
                       });
}

SPErr OnTransform(DRAWBOT_SurfaceRef ref, const DRAWBOT_MatrixF32* matrix)
{
    return WithSurface(ref,
                       [&](Object&, DrawingSession&, cairo_t* context) -> SPErr
                       {
                           if (!matrix)
                           {
                               return BadReference;
                           }
                           // DRAWBOT's row vectors: x' = m00 x + m10 y + m20.
                           const auto& m = matrix->mat;
                           cairo_matrix_t given;
                           cairo_matrix_init(&given, m[0][0], m[0][1], m[1][0], m[1][1], m[2][0],
                                             m[2][1]);
                           cairo_transform(context, &given);
                           return kSPNoError;
                       });
}

SPErr OnDrawString(DRAWBOT_SurfaceRef ref, DRAWBOT_BrushRef brushRef, DRAWBOT_FontRef fontRef,
                   const DRAWBOT_UTF16Char* text, const DRAWBOT_PointF32* origin,
                   DRAWBOT_TextAlignment alignment, DRAWBOT_TextTruncation truncation,
                   float truncationWidth)
{
    return WithSurface(
        ref,
        [&](Object& surface, DrawingSession& session, cairo_t* context) -> SPErr
        {
            Object* brush = DrawingObjects::Live(brushRef, Kind::Brush);
            Object* font = DrawingObjects::Live(fontRef, Kind::Font);
            if (!brush || !font || !text || !origin)
            {
                return BadReference;
            }
            DrawingAccounting& counters = surface.registry->Counters();
            const auto* units = reinterpret_cast<const char16_t*>(text);
            counters.strings.emplace_back(units);
            counters.stringOrigins.push_back(*origin);

            // Without its font the call fails, and the guard tells the user why.
            TextRenderer& renderer = surface.registry->Owner().Text();
            std::u32string shown = Zovazaz::ToCodePoints(Zovazaz::WStringRef(units));
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
            float x = origin->x;
            if (alignment == kDRAWBOT_TextAlignment_Center)
            {
                x -= renderer.Measure(shown, font->size) / 2.0f;
            }
            else if (alignment == kDRAWBOT_TextAlignment_Right)
            {
                x -= renderer.Measure(shown, font->size);
            }
            SetSource(context, brush->colour);
            renderer.Draw(*session.canvas, x, origin->y, shown, font->size);
            return kSPNoError;
        });
}

SPErr OnDrawImage(DRAWBOT_SurfaceRef ref, DRAWBOT_ImageRef imageRef, const DRAWBOT_PointF32* origin,
                  float alpha)
{
    return WithSurface(ref,
                       [&](Object& surface, DrawingSession&, cairo_t* context) -> SPErr
                       {
                           Object* image = DrawingObjects::Live(imageRef, Kind::Image);
                           if (!image || !origin)
                           {
                               return BadReference;
                           }
                           surface.registry->Counters().imageOrigins.push_back(*origin);
                           // On whole pixels, so that the image is copied, not resampled.
                           double x = origin->x, y = origin->y;
                           cairo_user_to_device(context, &x, &y);
                           cairo_save(context);
                           cairo_identity_matrix(context);
                           cairo_set_source_surface(context, image->image.get(),
                                                    static_cast<double>(std::lround(x)),
                                                    static_cast<double>(std::lround(y)));
                           cairo_paint_with_alpha(context, std::clamp(alpha, 0.0f, 1.0f));
                           cairo_restore(context);
                           return kSPNoError;
                       });
}

SPErr OnSetInterpolationPolicy(DRAWBOT_SurfaceRef ref, int32_t)
{
    return WithSurface(ref, [](Object&, DrawingSession&, cairo_t*) -> SPErr { return kSPNoError; });
}

// Policy 0 draws shapes without antialiasing (where the event starts), any
// other with it. Text is always antialiased.
SPErr OnSetAntiAliasPolicy(DRAWBOT_SurfaceRef ref, int32_t policy)
{
    return WithSurface(ref,
                       [&](Object&, DrawingSession&, cairo_t* context) -> SPErr
                       {
                           cairo_set_antialias(context, policy == 0 ? CAIRO_ANTIALIAS_NONE
                                                                    : CAIRO_ANTIALIAS_DEFAULT);
                           return kSPNoError;
                       });
}

SPErr OnFlush(DRAWBOT_SurfaceRef ref)
{
    return WithSurface(ref, [](Object&, DrawingSession&, cairo_t*) -> SPErr { return kSPNoError; });
}

// ---------------------------------------------------------- DRAWBOT path

// Adds a step to the path `ref`; `valid` says whether the arguments are.
SPErr AddStep(DRAWBOT_PathRef ref, bool valid, PathStep step) noexcept
{
    return With(ref, Kind::Path,
                [&](Object& path) -> SPErr
                {
                    // A curve continues from the path's current point.
                    if (!valid || (step.verb == PathStep::Verb::Curve && path.path.empty()))
                    {
                        return BadReference;
                    }
                    path.path.push_back(step);
                    return kSPNoError;
                });
}

SPErr OnMoveTo(DRAWBOT_PathRef ref, float x, float y)
{
    return AddStep(ref, true, {PathStep::Verb::Move, {x, y}});
}

SPErr OnLineTo(DRAWBOT_PathRef ref, float x, float y)
{
    return AddStep(ref, true, {PathStep::Verb::Line, {x, y}});
}

SPErr OnBezierTo(DRAWBOT_PathRef ref, const DRAWBOT_PointF32* p1, const DRAWBOT_PointF32* p2,
                 const DRAWBOT_PointF32* p3)
{
    if (!p1 || !p2 || !p3)
    {
        return AddStep(ref, false, {});
    }
    return AddStep(ref, true, {PathStep::Verb::Curve, {p1->x, p1->y, p2->x, p2->y, p3->x, p3->y}});
}

SPErr OnAddRect(DRAWBOT_PathRef ref, const DRAWBOT_RectF32* rect)
{
    if (!rect)
    {
        return AddStep(ref, false, {});
    }
    return AddStep(ref, true,
                   {PathStep::Verb::Rect, {rect->left, rect->top, rect->width, rect->height}});
}

SPErr OnAddArc(DRAWBOT_PathRef ref, const DRAWBOT_PointF32* centre, float radius, float startAngle,
               float sweep)
{
    if (!centre)
    {
        return AddStep(ref, false, {});
    }
    return AddStep(ref, true,
                   {PathStep::Verb::Arc, {centre->x, centre->y, radius, startAngle, sweep}});
}

SPErr OnClose(DRAWBOT_PathRef ref)
{
    return AddStep(ref, true, {PathStep::Verb::Close, {}});
}

} // namespace

// ----------------------------------------------------------- the suites

Drawing::Drawing(Host& host) : objects_(std::make_unique<DrawingObjects>(host))
{
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
    supplier_.SupportsPixelLayoutBGRA = OnLayoutQuestion<true>;
    supplier_.PrefersPixelLayoutBGRA = OnLayoutQuestion<true>;
    supplier_.SupportsPixelLayoutARGB = OnLayoutQuestion<true>;
    supplier_.PrefersPixelLayoutARGB = OnLayoutQuestion<false>;
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
    surface_.SetInterpolationPolicy = OnSetInterpolationPolicy;
    surface_.SetAntiAliasPolicy = OnSetAntiAliasPolicy;
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
    suites.Offer(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1, &customUi_);
    suites.Offer(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, &draw_);
    suites.Offer(kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1, &supplier_);
    suites.Offer(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1, &surface_);
    suites.Offer(kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, &path_);
}

PF_ContextH Drawing::BeginEvent(Raster& surface, const PF_Rect& clip)
{
    return objects_->BeginEvent(surface, clip);
}

void Drawing::EndEvent()
{
    objects_->EndEvent();
}

void Drawing::ReportLiveObjects(const std::string& when)
{
    objects_->ReportLiveObjects(when);
}

DrawingAccounting Drawing::Accounting() const
{
    return objects_->Accounting();
}

std::size_t Drawing::StringCount() const
{
    return objects_->Counters().strings.size();
}

std::vector<std::u16string> Drawing::TakeStringsFrom(std::size_t first)
{
    return objects_->TakeStringsFrom(first);
}

} // namespace EffectHost
