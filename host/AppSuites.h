#pragma once

#include "AE_EffectSuites.h"
#include "host/Raster.h"

namespace EffectHost
{

class BasicSuite;

// The host's non-drawing panel services: "PF Param Utils Suite" (a control's
// flags changed by the effect) and "PF AE App Suite" (the panel's colours and
// the language).
class AppSuites
{
  public:
    AppSuites();
    AppSuites(const AppSuites&) = delete;
    AppSuites& operator=(const AppSuites&) = delete;

    void OfferSuites(BasicSuite& suites);

    // The colours of the dark panel, as PF_AppGetColor gives them.
    static PF_App_Color PanelColour(PF_App_ColorType type) noexcept;
    static Rgba ToRgba(const PF_App_Color& colour) noexcept;

  private:
    PF_ParamUtilsSuite2 paramUtils_{};
    PFAppSuite6 app_{};
};

} // namespace EffectHost
