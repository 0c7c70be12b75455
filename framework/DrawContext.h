#pragma once

#include <cstdint>
#include <memory>
#include <type_traits>

#include "AE_EffectSuites.h"
#include "AE_EffectUI.h"
#include "DrawbotSuites.h"
#include "support/StringRef.h"

class HostSuites;

// The DRAWBOT suites of one draw event. Objects made here are shared
// pointers released through the supplier suite when their last copy goes;
// all of them must be gone before the event ends.
class DrawContext
{
  public:
    struct Deleter
    {
        DRAWBOT_SupplierSuite1* supplier = nullptr;
        void operator()(DRAWBOT_ObjectRef object) const noexcept;
    };

    using Object = std::shared_ptr<std::remove_pointer_t<DRAWBOT_ObjectRef>>;
    using Brush = Object;
    using Font = Object;
    using Path = Object;
    using Image = Object;

    // Takes the drawing reference of the event's context, then its supplier
    // and surface. Throws 516 for a missing suite.
    DrawContext(HostSuites& suites, PF_ContextH context, bool premiere);
    DrawContext(const DrawContext&) = delete;
    DrawContext& operator=(const DrawContext&) = delete;

    // A host UI colour (PF_App_ColorType). Premiere gets fixed greys.
    DRAWBOT_ColorRGBA GetColor(std::uint16_t index);

    bool SupportsText();
    Brush NewBrush(const DRAWBOT_ColorRGBA& color);
    Font NewDefaultFont(float size);
    Path NewPath();
    // Pixels are copied by the host; the buffer may go after the call.
    Image NewImageFromBuffer(int width, int height, int rowBytes, DRAWBOT_PixelLayout layout,
                             const void* pixels);

    // Fills [left, right) x [top, bottom), on pixel centres.
    void FillRect(const Brush& brush, float left, float top, float right, float bottom);
    // Draws from the text's baseline origin (x, y).
    void DrawString(const Brush& brush, const Font& font, Zovazaz::WStringRef text, float x,
                    float y, DRAWBOT_TextAlignment alignment = kDRAWBOT_TextAlignment_Left,
                    DRAWBOT_TextTruncation truncation = kDRAWBOT_TextTruncation_None,
                    float truncationWidth = 0.0f);
    void DrawImage(const Image& image, float x, float y, float opacity);

    bool IsPremiere() const noexcept { return premiere_; }

  private:
    Object Wrap(DRAWBOT_ObjectRef object) const;

    HostSuites& suites_;
    DRAWBOT_DrawRef drawRef_ = nullptr;
    DRAWBOT_SupplierSuite1* supplier_ = nullptr;
    DRAWBOT_SupplierRef supplierRef_ = nullptr;
    DRAWBOT_SurfaceRef surfaceRef_ = nullptr;
    bool premiere_ = false;
};
