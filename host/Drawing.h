#pragma once

#include <memory>
#include <string>

#include "AE_EffectSuites.h"
#include "AE_EffectUI.h"
#include "DrawbotSuites.h"
#include "host/Host.h"
#include "host/Raster.h"
#include "host/Text.h"

namespace EffectHost
{

class BasicSuite;
class DrawingObjects;

// The panel's drawing services: "PF Effect Custom UI Suite" and the four
// DRAWBOT suites, drawn by cairo onto an RGBA raster. Every DRAWBOT reference
// is the address of one of the host's objects, so a suite function recovers
// the object from the reference alone.
class Drawing
{
  public:
    explicit Drawing(Host& host);
    ~Drawing();
    Drawing(const Drawing&) = delete;
    Drawing& operator=(const Drawing&) = delete;

    void OfferSuites(BasicSuite& suites);

    // One draw event on `surface`, clipped to `clip`. The context lives until
    // EndEvent, which puts the drawing on the surface and reports objects the
    // effect left alive.
    PF_ContextH BeginEvent(Raster& surface, const PF_Rect& clip);
    void EndEvent();
    // Reports images still alive (the effect may keep an image across events,
    // but not past its unloading).
    void ReportLiveObjects(const std::string& when);

    DrawingAccounting Accounting() const;
    std::size_t StringCount() const;
    // The strings drawn since there were `first`, taken out of the record.
    std::vector<std::u16string> TakeStringsFrom(std::size_t first);

  private:
    std::unique_ptr<DrawingObjects> objects_;
    PF_EffectCustomUISuite1 customUi_{};
    DRAWBOT_DrawbotSuite1 draw_{};
    DRAWBOT_SupplierSuite1 supplier_{};
    DRAWBOT_SurfaceSuite1 surface_{};
    DRAWBOT_PathSuite1 path_{};
};

} // namespace EffectHost
