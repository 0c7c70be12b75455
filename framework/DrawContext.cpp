#include "framework/DrawContext.h"

#include <string>

#include "framework/Errors.h"
#include "framework/HostSuites.h"
#include "framework/Plugin.h"

namespace
{

constexpr float MaxChannel = 65535.0f;
// Premiere has no UI colour suite; these greys match its panel.
constexpr std::uint16_t PremiereFrameGrey = 16384;
constexpr std::uint16_t PremiereTextGrey = 50000;
constexpr std::uint16_t PremiereOtherGrey = 32000;

constexpr float StaticTextSize = 11.0f;
constexpr float StaticLineHeight = 15.0f;
constexpr float StaticTextInset = 2.0f;

DRAWBOT_ColorRGBA Grey(std::uint16_t value)
{
    const float level = static_cast<float>(value) / MaxChannel;
    return DRAWBOT_ColorRGBA{level, level, level, 1.0f};
}

} // namespace

void DrawContext::Deleter::operator()(DRAWBOT_ObjectRef object) const noexcept
{
    if (supplier != nullptr && object != nullptr)
    {
        supplier->ReleaseObject(object);
    }
}

DrawContext::DrawContext(HostSuites& suites, PF_ContextH context, bool premiere)
    : suites_(suites), premiere_(premiere)
{
    THROW_IF_HOST_ERROR(
        suites_.GetEffectCustomUiSuite()->PF_GetDrawingReference(context, &drawRef_));
    DRAWBOT_DrawbotSuite1* draw = suites_.GetDrawSuite();
    supplier_ = suites_.GetSupplierSuite();
    draw->GetSupplier(drawRef_, &supplierRef_);
    draw->GetSurface(drawRef_, &surfaceRef_);
}

DrawContext::Object DrawContext::Wrap(DRAWBOT_ObjectRef object) const
{
    return Object(object, Deleter{supplier_});
}

DRAWBOT_ColorRGBA DrawContext::GetColor(std::uint16_t index)
{
    if (premiere_)
    {
        switch (index)
        {
        case PF_App_Color_FRAME:
            return Grey(PremiereFrameGrey);
        case PF_App_Color_TEXT:
            return Grey(PremiereTextGrey);
        default:
            return Grey(PremiereOtherGrey);
        }
    }
    PF_App_Color color{};
    THROW_IF_HOST_ERROR(suites_.GetAppSuite()->PF_AppGetColor(index, &color));
    return DRAWBOT_ColorRGBA{color.red / MaxChannel, color.green / MaxChannel,
                             color.blue / MaxChannel, 1.0f};
}

bool DrawContext::SupportsText()
{
    DRAWBOT_Boolean supports = 0;
    supplier_->SupportsText(supplierRef_, &supports);
    return supports != 0;
}

DrawContext::Brush DrawContext::NewBrush(const DRAWBOT_ColorRGBA& color)
{
    DRAWBOT_BrushRef brush = nullptr;
    supplier_->NewBrush(supplierRef_, &color, &brush);
    return Wrap(brush);
}

DrawContext::Font DrawContext::NewDefaultFont(float size)
{
    DRAWBOT_FontRef font = nullptr;
    supplier_->NewDefaultFont(supplierRef_, size, &font);
    return Wrap(font);
}

DrawContext::Path DrawContext::NewPath()
{
    DRAWBOT_PathRef path = nullptr;
    supplier_->NewPath(supplierRef_, &path);
    return Wrap(path);
}

DrawContext::Image DrawContext::NewImageFromBuffer(int width, int height, int rowBytes,
                                                   DRAWBOT_PixelLayout layout, const void* pixels)
{
    DRAWBOT_ImageRef image = nullptr;
    supplier_->NewImageFromBuffer(supplierRef_, width, height, rowBytes, layout, pixels, &image);
    return Wrap(image);
}

void DrawContext::FillRect(const Brush& brush, float left, float top, float right, float bottom)
{
    const Path path = NewPath();
    // Half a unit in, so the edges fall on pixel centres.
    const DRAWBOT_RectF32 rect{left + 0.5f, top + 0.5f, right - left, bottom - top};
    suites_.GetPathSuite()->AddRect(path.get(), &rect);
    suites_.GetSurfaceSuite()->FillPath(surfaceRef_, brush.get(), path.get(),
                                        kDRAWBOT_FillType_Winding);
}

void DrawContext::DrawString(const Brush& brush, const Font& font, Zovazaz::WStringRef text,
                             float x, float y, DRAWBOT_TextAlignment alignment,
                             DRAWBOT_TextTruncation truncation, float truncationWidth)
{
    // The suite reads up to a terminator, which a text slice does not have.
    const std::u16string terminated = text.Str();
    const DRAWBOT_PointF32 origin{x, y};
    suites_.GetSurfaceSuite()->DrawString(
        surfaceRef_, brush.get(), font.get(),
        reinterpret_cast<const DRAWBOT_UTF16Char*>(terminated.c_str()), &origin, alignment,
        truncation, truncationWidth);
}

void DrawContext::DrawImage(const Image& image, float x, float y, float opacity)
{
    const DRAWBOT_PointF32 origin{x, y};
    suites_.GetSurfaceSuite()->DrawImage(surfaceRef_, image.get(), &origin, opacity);
}

// ------------------------------------------------------ the draw event

bool Plugin::OnEvent_Draw()
{
    PF_EventExtra* event = GetEventExtra();
    if (event == nullptr || event->effect_win.area != PF_EA_CONTROL)
    {
        return false;
    }
    const std::int32_t index = event->effect_win.index;
    if (index < 1 || index >= GetParameterCount())
    {
        return false;
    }
    const ParameterDescriptor* descriptor = GetParameterDescriptor(index);
    if (descriptor == nullptr || descriptor->type != ParameterType_Static)
    {
        return false;
    }
    Zovazaz::WString text;
    GetParameterText(text, index);
    DrawContext context(GetSuites(), event->contextH, IsPremiere());
    if (descriptor->draw != nullptr)
    {
        descriptor->draw(*this, context);
    }
    else
    {
        DrawStaticText(context, text);
    }
    return true;
}

void Plugin::DrawStaticText(DrawContext& context, Zovazaz::WStringRef text)
{
    PF_EventExtra* event = GetEventExtra();
    if (event == nullptr || !context.SupportsText())
    {
        return;
    }
    const PF_Rect& frame = event->effect_win.current_frame;
    const auto left = static_cast<float>(frame.left);
    const auto top = static_cast<float>(frame.top);
    const DrawContext::Font font = context.NewDefaultFont(StaticTextSize);
    if (context.IsPremiere())
    {
        context.FillRect(context.NewBrush(context.GetColor(PF_App_Color_FRAME)), left, top,
                         static_cast<float>(frame.right), static_cast<float>(frame.bottom));
    }
    const DrawContext::Brush brush = context.NewBrush(context.GetColor(PF_App_Color_TEXT));

    // One line per line feed, 15 units apart as the area's height counts them.
    const std::u16string_view all = text.View();
    std::size_t start = 0;
    for (int line = 0;; ++line)
    {
        const std::size_t end = all.find(u'\n', start);
        const std::u16string_view piece = all.substr(
            start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
        context.DrawString(brush, font, Zovazaz::WStringRef(piece), left + StaticTextInset,
                           top + StaticLineHeight * static_cast<float>(line + 1) - StaticTextInset);
        if (end == std::u16string_view::npos)
        {
            break;
        }
        start = end + 1;
    }
}
