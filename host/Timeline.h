#pragma once

#include <cstdint>
#include <string>

#include "AE_Effect.h"
#include "host/Host.h"

namespace EffectHost
{

// A frame rate as a fraction, kept exact: 29.97 is 30000 / 1001, not a float.
struct FrameRate
{
    std::uint32_t numerator = 30000;
    std::uint32_t denominator = 1001;
    friend bool operator==(const FrameRate&, const FrameRate&) = default;
};

// "NUM/DEN" or "NUM", both whole and above 0, reduced to lowest terms.
// Throws std::invalid_argument with a message naming what is wrong.
FrameRate ParseFrameRate(const std::string& text);

// The host's clock for a layer of `frames` frames at `rate`: the time scale
// is the rate's numerator and the time step its denominator, so every frame
// starts on a whole tick; total_time = frames * time_step. Throws
// std::invalid_argument when the rate or frame count is below 1 or the total
// does not fit the host's 32-bit time.
TimeSettings TimeForFrames(FrameRate rate, A_long frames);

// The number of whole frames in the layer that the time settings describe.
A_long FrameCount(const TimeSettings& time) noexcept;

} // namespace EffectHost
