#pragma once

#include "host/World.h"

namespace CommandLine
{

// How far a preview frame is from its input, measured by the host on the
// pictures themselves, not taken from the encoder.
struct FrameQuality
{
    double mseLuma = 0.0;    // on Y' = 0.299 R + 0.587 G + 0.114 B, 0..255
    double mseOverall = 0.0; // over the R, G and B samples together

    double PsnrLuma() const noexcept;
    double PsnrOverall() const noexcept;
};

// Peak signal-to-noise ratio in dB for 8-bit samples; +infinity for 0.
double PsnrOf(double meanSquaredError) noexcept;

// Compares the colour of the two pictures (alpha is left out: the preview's
// alpha is the effect's, not the encoder's). When the sizes differ, the
// input is first scaled to the preview's size by area averaging, so a
// preview at a lower resolution is measured against what it should show.
FrameQuality MeasureQuality(const EffectHost::World& input, const EffectHost::World& preview);

// The picture at another size, each target pixel the average of the source
// pixels it covers.
EffectHost::World ScaleByArea(const EffectHost::World& source, A_long width, A_long height);

} // namespace CommandLine
