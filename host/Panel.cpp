#include "host/Panel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/AppSuites.h"
#include "host/Drawing.h"
#include "host/Text.h"
#include "support/Text.h"

namespace EffectHost
{

namespace
{

Rgba Colour(PF_App_ColorType type)
{
    return AppSuites::ToRgba(AppSuites::PanelColour(type));
}

const Rgba DisabledText{98, 98, 98, 255};

bool IsCustomArea(const PF_ParamDef& def)
{
    return (def.ui_flags & PF_PUI_CONTROL) != 0;
}

bool IsHidden(const PF_ParamDef& def)
{
    return (def.ui_flags & (PF_PUI_INVISIBLE | PF_PUI_NO_ECW_UI)) != 0;
}

void FillRect(Raster& raster, int left, int top, int right, int bottom, Rgba colour)
{
    for (int y = top; y < bottom; ++y)
    {
        for (int x = left; x < right; ++x)
        {
            raster.Set(x, y, colour);
        }
    }
}

void FrameRect(Raster& raster, int left, int top, int right, int bottom, Rgba colour)
{
    FillRect(raster, left, top, right, top + 1, colour);
    FillRect(raster, left, bottom - 1, right, bottom, colour);
    FillRect(raster, left, top, left + 1, bottom, colour);
    FillRect(raster, right - 1, top, right, bottom, colour);
}

} // namespace

void Panel::DrawText(Raster& raster, int x, int baseline, const std::string& text, Rgba colour,
                     const PF_Rect& clip)
{
    host_.Text().Draw(raster, clip, static_cast<float>(x), static_cast<float>(baseline),
                      Zovazaz::ToCodePoints(text), colour, TextSize);
}

void Panel::DrawRow(Raster& raster, int position, int top, int indent, int width)
{
    const PF_ParamDef& def = host_.Parameter(position);
    const bool enabled = host_.IsEnabled(position);
    const Rgba text = enabled ? Colour(PF_App_Color_TEXT) : DisabledText;
    const int baseline = top + 14;
    const int valueLeft = valueLeft_;
    const PF_Rect nameClip{0, top, valueLeft - 6, top + RowHeight};
    const PF_Rect valueClip{valueLeft, top, width - 6, top + RowHeight};
    DrawText(raster, indent + 22, baseline, def.name, text, nameClip);

    switch (def.param_type)
    {
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER:
    case PF_Param_FIX_SLIDER:
    case PF_Param_ANGLE:
    {
        // Numbers in the highlight colour, as the host shows editable values.
        const Rgba number = enabled ? Colour(PF_App_Color_HILITE) : DisabledText;
        DrawText(raster, valueLeft, baseline, host_.ValueText(position), number, valueClip);
        break;
    }
    case PF_Param_POPUP:
    {
        const int right = width - 8;
        FillRect(raster, valueLeft, top + 2, right, top + RowHeight - 2,
                 Colour(PF_App_Color_BUTTON_FILL));
        FrameRect(raster, valueLeft, top + 2, right, top + RowHeight - 2,
                  Colour(PF_App_Color_BUTTON_FRAME));
        const PF_Rect inner{valueLeft + 1, top, right - 16, top + RowHeight};
        DrawText(raster, valueLeft + 5, baseline, host_.ValueText(position),
                 enabled ? Colour(PF_App_Color_BUTTON_TEXT) : DisabledText, inner);
        DrawText(raster, right - 13, baseline, "\u25BE", text, valueClip);
        break;
    }
    case PF_Param_CHECKBOX:
    {
        const int box = 11;
        const int boxTop = top + (RowHeight - box) / 2;
        FillRect(raster, valueLeft, boxTop, valueLeft + box, boxTop + box,
                 Colour(PF_App_Color_DARK_TINGE));
        FrameRect(raster, valueLeft, boxTop, valueLeft + box, boxTop + box,
                  enabled ? Colour(PF_App_Color_BUTTON_FRAME) : DisabledText);
        if (def.u.bd.value)
        {
            FillRect(raster, valueLeft + 3, boxTop + 3, valueLeft + box - 3, boxTop + box - 3,
                     enabled ? Colour(PF_App_Color_HILITE) : DisabledText);
        }
        if (def.u.bd.u.nameptr && *def.u.bd.u.nameptr)
        {
            DrawText(raster, valueLeft + box + 6, baseline, def.u.bd.u.nameptr, text, valueClip);
        }
        break;
    }
    case PF_Param_BUTTON:
    {
        const int right = std::min(width - 8, valueLeft + 120);
        FillRect(raster, valueLeft, top + 2, right, top + RowHeight - 2,
                 Colour(PF_App_Color_BUTTON_FILL));
        FrameRect(raster, valueLeft, top + 2, right, top + RowHeight - 2,
                  Colour(PF_App_Color_BUTTON_FRAME));
        DrawText(raster, valueLeft + 6, baseline, host_.ValueText(position),
                 enabled ? Colour(PF_App_Color_BUTTON_TEXT) : DisabledText,
                 PF_Rect{valueLeft, top, right, top + RowHeight});
        break;
    }
    default:
        break;
    }
}

int Panel::ValueColumnLeft(int width)
{
    // Half the panel, or further right when a name needs more room, so that
    // the longest name is drawn whole.
    int left = width / 2 + 10;
    int indent = 0;
    for (int position = 1; position < host_.ParameterCount(); ++position)
    {
        const PF_ParamDef& def = host_.Parameter(position);
        if (def.param_type == PF_Param_GROUP_END)
        {
            indent = std::max(0, indent - Indent);
        }
        else if (def.param_type == PF_Param_GROUP_START)
        {
            indent += Indent;
        }
        else if (!IsHidden(def) && !IsCustomArea(def))
        {
            const float name =
                host_.Text().Measure(Zovazaz::ToCodePoints(Zovazaz::StringRef(
                                         def.name, strnlen(def.name, sizeof def.name))),
                                     TextSize);
            left = std::max(left, indent + 22 + static_cast<int>(std::ceil(name)) + NameGap);
        }
    }
    return left;
}

int Panel::Layout(int width, Raster* raster)
{
    int y = 0;
    if (raster)
    {
        valueLeft_ = ValueColumnLeft(width);
    }
    if (raster)
    {
        FillRect(*raster, 0, 0, width, HeaderHeight, Colour(PF_App_Color_DARK_TINGE));
        const std::string title =
            "fx  " +
            (host_.Properties().name.empty() ? std::string("Effect") : host_.Properties().name);
        DrawText(*raster, 8, 16, title, Colour(PF_App_Color_TEXT),
                 PF_Rect{0, 0, width, HeaderHeight});
    }
    y += HeaderHeight;
    int indent = 0;
    for (int position = 1; position < host_.ParameterCount(); ++position)
    {
        const PF_ParamDef& def = host_.Parameter(position);
        if (def.param_type == PF_Param_GROUP_END)
        {
            indent = std::max(0, indent - Indent);
            continue;
        }
        if (IsHidden(def))
        {
            continue;
        }
        if (def.param_type == PF_Param_GROUP_START)
        {
            if (raster)
            {
                DrawText(*raster, indent + 6, y + 14, "\u25BE", Colour(PF_App_Color_TEXT),
                         PF_Rect{0, y, width, y + RowHeight});
                DrawText(*raster, indent + 22, y + 14, def.name, Colour(PF_App_Color_TEXT),
                         PF_Rect{0, y, width, y + RowHeight});
            }
            indent += Indent;
            y += RowHeight;
            continue;
        }
        if (IsCustomArea(def))
        {
            // A title row with the control's name, then the area the effect draws.
            if (raster)
            {
                const Rgba text =
                    host_.IsEnabled(position) ? Colour(PF_App_Color_TEXT) : DisabledText;
                DrawText(*raster, indent + 6, y + 14, "\u25BE", text,
                         PF_Rect{0, y, width, y + RowHeight});
                DrawText(*raster, indent + 22, y + 14, def.name, text,
                         PF_Rect{0, y, width, y + RowHeight});
            }
            y += RowHeight;
            const PF_Rect frame{indent + 22, y, width - 8, y + def.ui_height};
            if (position == areaPosition_)
            {
                areaFrame_ = frame;
            }
            if (raster)
            {
                host_.SendDrawEvent(*raster, position, frame, PF_EA_CONTROL);
            }
            y += def.ui_height + AreaGap;
            continue;
        }
        if (raster)
        {
            DrawRow(*raster, position, y, indent, width);
            FillRect(*raster, 0, y + RowHeight - 1, width, y + RowHeight,
                     Colour(PF_App_Color_DARK_TINGE));
        }
        y += RowHeight;
    }
    return y + AreaGap;
}

PF_Rect Panel::AreaFrame(int position, int width)
{
    areaPosition_ = position;
    areaFrame_ = PF_Rect{};
    Layout(width, nullptr);
    areaPosition_ = -1;
    return areaFrame_;
}

Raster Panel::Draw(int width)
{
    const int height = Layout(width, nullptr);
    Raster raster(width, height, Colour(PF_App_Color_PANEL_BACKGROUND));
    Layout(width, &raster);
    return raster;
}

} // namespace EffectHost
