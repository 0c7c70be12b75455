#pragma once

#include <cstdint>

#include "renderer/EncodeSettings.h"

// Items of the Presets popup (values count from 1).
enum Preset : std::int32_t
{
    PresetManual = 1,
    PresetYouTubeStandard = 2,
    PresetYouTubeHigh = 3,
    PresetVimeo = 4,
};

// Items of the Mode popup.
enum Mode : std::int32_t
{
    ModeAverageBitrate = 1,
    ModeConstantRateFactor = 2,
};

// What an encode depends on: the encoder-relevant parameter values and the
// host's timing of the layer. A renderer is only reused while these compare
// equal, field by field.
struct RenderSettings
{
    std::int32_t preset = 0;
    std::int32_t mode = 0;
    std::int32_t targetBitrateKbps = 0;
    std::int32_t rateFactor = 0;
    std::int32_t keyFrameInterval = 0;
    bool useBFrames = false;
    std::int32_t timeScale = 0;     // host time units per second
    std::int32_t timeStep = 0;      // host time units per frame
    std::int32_t totalTime = 0;     // the layer's duration in host time units
    std::int32_t segmentLength = 0; // frames per segment

    bool operator==(const RenderSettings&) const = default;
};

// The renderer's settings: the YouTube presets ask for two B-frames whatever
// the Frame Reordering box says; otherwise the box off means none and on
// leaves x264's default.
EncodeSettings MakeEncodeSettings(const RenderSettings& settings) noexcept;
