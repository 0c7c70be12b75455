#pragma once

#include <memory>
#include <string>

#include "bench/DirectEncoder.h"
#include "bench/EffectDriver.h"
#include "bench/MemoryLayerSource.h"

namespace Bench
{

// The error the preview adds of its own where compression adds none: at Rate
// Factor 0 x264 is lossless, so a gray ramp over every level and flat colour
// patches come back with only the conversions' error.
struct LevelErrors
{
    double rampMean = 0.0;
    int rampWorst = 0;
    double patchesMean = 0.0;
    int patchesWorst = 0;
};

// The preview of the clip against its source, beside libavcodec's decode of
// x264's own stream of the same clip and settings shown through the effect's
// conversion: the preview is the reconstruction, so the two agree unless a
// conversion differs. Colour PSNR over all frames, in dB.
struct QualityAgreement
{
    double previewPsnr = 0.0;
    double decodedPsnr = 0.0;
    bool Agree() const noexcept;
};

struct Accuracy
{
    int width = 0;
    int height = 0;
    LevelErrors levels;
    QualityAgreement quality;
};

// Measures both at the clip's size; the effect's controls and layer are
// left as the last measurement set them. Throws std::runtime_error when a
// render, the encode or the decode fails.
Accuracy MeasureAccuracy(EffectDriver& effect,
                         const std::shared_ptr<const MemoryLayerSource>& layer,
                         const PlanarClip& clip, const RateControl& control,
                         const std::string& tempFolder);

// One line of the benchmark's report.
std::string AccuracyLine(const Accuracy& accuracy, const RateControl& control);

} // namespace Bench
