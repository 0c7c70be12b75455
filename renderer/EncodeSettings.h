#pragma once

#include <cstdint>

// How a segment is encoded: what the controls ask for, and the host's timing
// of the layer.
struct EncodeSettings
{
    // Two passes at an average bitrate; otherwise one at a constant rate
    // factor.
    bool averageBitrate = false;
    std::int32_t targetBitrateKbps = 0;
    std::int32_t rateFactor = 0;
    std::int32_t keyFrameInterval = 0; // 0: x264's default
    // Consecutive B-frames; DefaultBFrames leaves x264's default.
    std::int32_t bFrames = DefaultBFrames;
    // The Frame Reordering box as the user set it, which the segment summary
    // reports (a preset may use B-frames with the box off).
    bool bFramesChecked = false;
    std::int32_t timeScale = 0;     // host time units per second
    std::int32_t timeStep = 0;      // host time units per frame
    std::int32_t totalTime = 0;     // the layer's duration in host time units
    std::int32_t segmentLength = 0; // frames per segment

    static constexpr std::int32_t DefaultBFrames = -1;

    bool operator==(const EncodeSettings&) const = default;
};
