#include "host/AppSuites.h"

#include <cstring>

#include "host/BasicSuite.h"
#include "host/Callbacks.h"
#include "host/Guard.h"
#include "host/Host.h"
#include "host/Parameters.h"

namespace EffectHost
{

namespace
{

PF_Err OnUpdateParamUi(PF_ProgPtr effectRef, PF_ParamIndex index, const PF_ParamDef* def)
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

PF_Err OnAppGetColor(PF_App_ColorType type, PF_App_Color* colour)
{
    return Guarded(
        [&]() -> PF_Err
        {
            if (!colour || type < 0 || type >= PF_App_Color_NUMTYPES)
            {
                return PF_Err_BAD_CALLBACK_PARAM;
            }
            *colour = AppSuites::PanelColour(type);
            return PF_Err_NONE;
        });
}

PF_Err OnAppGetBgColor(PF_App_Color* colour)
{
    return OnAppGetColor(PF_App_Color_PANEL_BACKGROUND, colour);
}

PF_Err OnAppGetLanguage(A_char tag[4])
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

} // namespace

AppSuites::AppSuites()
{
    paramUtils_.PF_UpdateParamUI = OnUpdateParamUi;
    app_.PF_AppGetBgColor = OnAppGetBgColor;
    app_.PF_AppGetColor = OnAppGetColor;
    app_.PF_AppGetLanguage = OnAppGetLanguage;
}

void AppSuites::OfferSuites(BasicSuite& suites)
{
    suites.Offer(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion2, &paramUtils_);
    suites.Offer(kPFAppSuite, kPFAppSuiteVersion6, &app_);
}

PF_App_Color AppSuites::PanelColour(PF_App_ColorType type) noexcept
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

Rgba AppSuites::ToRgba(const PF_App_Color& colour) noexcept
{
    return Rgba{static_cast<std::uint8_t>(colour.red >> 8),
                static_cast<std::uint8_t>(colour.green >> 8),
                static_cast<std::uint8_t>(colour.blue >> 8), 255};
}

} // namespace EffectHost
