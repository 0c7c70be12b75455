#pragma once

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "AE_EffectSuites.h"
#include "AE_EffectUI.h"
#include "DrawbotSuites.h"
#include "host/Host.h"
#include "host/Raster.h"

namespace EffectHost
{

class BasicSuite;

// Glyphs from FreeType, drawn into a raster with coverage blending.
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

  private:
    struct Faces;
    std::unique_ptr<Faces> faces_;
};

// The panel's drawing services: "PF Param Utils Suite", "PF AE App Suite",
// "PF Effect Custom UI Suite" and the four DRAWBOT suites over an RGBA
// raster. Every DRAWBOT reference is the address of one of the host's
// objects, so a trampoline recovers the object from the reference alone.
class Drawing
{
  public:
    explicit Drawing(Host& host);
    ~Drawing();
    Drawing(const Drawing&) = delete;
    Drawing& operator=(const Drawing&) = delete;

    void OfferSuites(BasicSuite& suites);

    // The colours of the dark panel, as PF_AppGetColor gives them.
    static PF_App_Color PanelColour(PF_App_ColorType type) noexcept;
    static Rgba ToRgba(const PF_App_Color& colour) noexcept;

    // One draw event on `surface`, clipped to `clip`. The context lives until
    // EndEvent; EndEvent reports objects the effect left alive.
    PF_ContextH BeginEvent(Raster& surface, const PF_Rect& clip);
    void EndEvent();
    // Reports images still alive (the effect may keep an image across events,
    // but not past its unloading).
    void ReportLiveObjects(const std::string& when);

    DrawingAccounting Accounting() const;
    TextRenderer& Text();

    enum class Kind
    {
        DrawRef,
        Supplier,
        Surface,
        Brush,
        Pen,
        Font,
        Path,
        Image
    };
    struct Object;

  private:
    struct Session;

    Object& Make(Kind kind);
    static Object* Live(DRAWBOT_ObjectRef ref, Kind kind);
    static Object* Live(DRAWBOT_DrawRef ref);

    // Suite functions: static trampolines.
    static PF_Err OnUpdateParamUi(PF_ProgPtr effectRef, PF_ParamIndex index,
                                  const PF_ParamDef* def);
    static PF_Err OnAppGetBgColor(PF_App_Color* colour);
    static PF_Err OnAppGetColor(PF_App_ColorType type, PF_App_Color* colour);
    static PF_Err OnAppGetLanguage(A_char tag[4]);
    static PF_Err OnGetDrawingReference(const PF_ContextH context, DRAWBOT_DrawRef* reference);
    static SPErr OnGetSupplier(DRAWBOT_DrawRef ref, DRAWBOT_SupplierRef* supplier);
    static SPErr OnGetSurface(DRAWBOT_DrawRef ref, DRAWBOT_SurfaceRef* surface);
    static SPErr OnNewPen(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colour, float size,
                          DRAWBOT_PenRef* pen);
    static SPErr OnNewBrush(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* colour,
                            DRAWBOT_BrushRef* brush);
    static SPErr OnSupportsText(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* supports);
    static SPErr OnGetDefaultFontSize(DRAWBOT_SupplierRef supplier, float* size);
    static SPErr OnNewDefaultFont(DRAWBOT_SupplierRef supplier, float size, DRAWBOT_FontRef* font);
    static SPErr OnNewImageFromBuffer(DRAWBOT_SupplierRef supplier, int width, int height,
                                      int rowBytes, DRAWBOT_PixelLayout layout, const void* data,
                                      DRAWBOT_ImageRef* image);
    static SPErr OnNewPath(DRAWBOT_SupplierRef supplier, DRAWBOT_PathRef* path);
    static SPErr OnSupportsBgra(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* answer);
    static SPErr OnPrefersBgra(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* answer);
    static SPErr OnSupportsArgb(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* answer);
    static SPErr OnPrefersArgb(DRAWBOT_SupplierRef supplier, DRAWBOT_Boolean* answer);
    static SPErr OnRetainObject(DRAWBOT_ObjectRef object);
    static SPErr OnReleaseObject(DRAWBOT_ObjectRef object);
    static SPErr OnPushStateStack(DRAWBOT_SurfaceRef surface);
    static SPErr OnPopStateStack(DRAWBOT_SurfaceRef surface);
    static SPErr OnPaintRect(DRAWBOT_SurfaceRef surface, const DRAWBOT_ColorRGBA* colour,
                             const DRAWBOT_RectF32* rect);
    static SPErr OnFillPath(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush,
                            DRAWBOT_PathRef path, DRAWBOT_FillType fillType);
    static SPErr OnStrokePath(DRAWBOT_SurfaceRef surface, DRAWBOT_PenRef pen, DRAWBOT_PathRef path);
    static SPErr OnClip(DRAWBOT_SurfaceRef surface, DRAWBOT_SupplierRef supplier,
                        const DRAWBOT_Rect32* rect);
    static SPErr OnGetClipBounds(DRAWBOT_SurfaceRef surface, DRAWBOT_Rect32* rect);
    static SPErr OnIsWithinClipBounds(DRAWBOT_SurfaceRef surface, const DRAWBOT_Rect32* rect,
                                      DRAWBOT_Boolean* within);
    static SPErr OnTransform(DRAWBOT_SurfaceRef surface, const DRAWBOT_MatrixF32* matrix);
    static SPErr OnDrawString(DRAWBOT_SurfaceRef surface, DRAWBOT_BrushRef brush,
                              DRAWBOT_FontRef font, const DRAWBOT_UTF16Char* text,
                              const DRAWBOT_PointF32* origin, DRAWBOT_TextAlignment alignment,
                              DRAWBOT_TextTruncation truncation, float truncationWidth);
    static SPErr OnDrawImage(DRAWBOT_SurfaceRef surface, DRAWBOT_ImageRef image,
                             const DRAWBOT_PointF32* origin, float alpha);
    static SPErr OnSetPolicy(DRAWBOT_SurfaceRef surface, int32_t policy);
    static SPErr OnFlush(DRAWBOT_SurfaceRef surface);
    static SPErr OnMoveTo(DRAWBOT_PathRef path, float x, float y);
    static SPErr OnLineTo(DRAWBOT_PathRef path, float x, float y);
    static SPErr OnBezierTo(DRAWBOT_PathRef path, const DRAWBOT_PointF32* p1,
                            const DRAWBOT_PointF32* p2, const DRAWBOT_PointF32* p3);
    static SPErr OnAddRect(DRAWBOT_PathRef path, const DRAWBOT_RectF32* rect);
    static SPErr OnAddArc(DRAWBOT_PathRef path, const DRAWBOT_PointF32* centre, float radius,
                          float startAngle, float sweep);
    static SPErr OnClose(DRAWBOT_PathRef path);

    Host& host_;
    PF_ParamUtilsSuite2 paramUtils_{};
    PFAppSuite6 app_{};
    PF_EffectCustomUISuite1 customUi_{};
    DRAWBOT_DrawbotSuite1 draw_{};
    DRAWBOT_SupplierSuite1 supplier_{};
    DRAWBOT_SurfaceSuite1 surface_{};
    DRAWBOT_PathSuite1 path_{};

    // Objects are never freed while the host lives, only emptied when
    // released, so a reference the effect keeps too long is caught instead of
    // read from freed memory.
    std::deque<std::unique_ptr<Object>> objects_;
    // Sessions stay addressable too: a context used after its event is refused.
    std::deque<std::unique_ptr<Session>> sessions_;
    Session* session_ = nullptr; // the event under way
    std::unique_ptr<TextRenderer> text_;
    DrawingAccounting counters_;
};

} // namespace EffectHost
