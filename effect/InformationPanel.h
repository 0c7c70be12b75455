#pragma once

#include <cstdint>

#include "support/StringRef.h"

class Renderer;

// A byte count in the panel's units: the value divided by 1024 while it is
// at least 1024 and a larger unit exists, with one truncated decimal from the
// last division, a blank and the unit ("", "K", "M", "G"). `unit` is the unit
// the value is already in. So 1536 gives "1.5 K" and 500 gives "500 ".
Zovazaz::WString FormatSize(std::uint64_t value, std::uint32_t unit = 0);

// The name of an x264 picture type as the panel shows it; the text of
// StringUnknown for a type x264 does not define (0 for an empty record).
Zovazaz::WString GetPictureTypeName(std::int32_t type);

// The five lines of the Information area for the frame at a time
// (`timeFrame`, current time over time step), about the frame the renderer
// shows there, each ending with a line feed; "N/A" without a renderer.
Zovazaz::WString FormatInformation(const Renderer* renderer, std::int64_t timeFrame);

// Gives the About logo's drawing image back to the host, keeping the decoded
// pixels. Called as the effect's instance ends (global set-down), while it
// still holds the drawing suites that made the image.
void ReleaseModuleLogo() noexcept;
