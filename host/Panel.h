#pragma once

#include <string>

#include "host/Host.h"
#include "host/Raster.h"

namespace EffectHost
{

// The effect controls panel as a compositing host shows it: a header with the
// effect's name, one row per control with its name and value drawn by the
// host, and the custom areas drawn by the effect through draw events.
class Panel
{
  public:
    static constexpr int HeaderHeight = 24;
    static constexpr int RowHeight = Host::PanelRowHeight;
    static constexpr int Indent = 14;
    static constexpr int AreaGap = 4;
    static constexpr int TextSize = 12;
    // Between the end of the longest name and the value column.
    static constexpr int NameGap = 8;

    explicit Panel(Host& host) : host_(host) {}
    // Throws std::runtime_error when the panel font cannot be opened.
    Raster Draw(int width);

    // The frame of the custom area of the control at `position` in a panel of
    // that width (left, top, right, bottom), or an empty rect when the control
    // has no custom area. Lets a caller send the same draw event as the panel.
    PF_Rect AreaFrame(int position, int width);

  private:
    int Layout(int width, Raster* raster);
    // Where the values start: half the width, or after the longest name.
    int ValueColumnLeft(int width);
    void DrawRow(Raster& raster, int position, int top, int indent, int width);
    void DrawText(Raster& raster, int x, int baseline, const std::string& text, Rgba colour,
                  const PF_Rect& clip);

    Host& host_;
    int areaPosition_ = -1;
    int valueLeft_ = 0;
    PF_Rect areaFrame_{};
};

} // namespace EffectHost
