#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/MemoryLayerSource.h"

namespace Bench
{

// A clip converted once to planar 4:2:0, the form x264 takes, with the
// conversion the effect makes.
class PlanarClip
{
  public:
    // Converts every frame of the layer at its size, rounded down to even as
    // the effect encodes it. Throws when libswscale cannot be loaded or
    // refuses the conversion.
    explicit PlanarClip(const MemoryLayerSource& layer);

    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    int FrameCount() const noexcept { return static_cast<int>(frames_.size()); }
    // The three planes of a frame: luma, then the two chroma planes.
    const std::uint8_t* Plane(int frame, int plane) const;
    int Stride(int plane) const noexcept { return plane == 0 ? width_ : width_ / 2; }

  private:
    int width_;
    int height_;
    std::vector<std::vector<std::uint8_t>> frames_;
};

// The encoder settings the effect derives from its controls and the host's
// time, the inputs of its per-pass encoder configuration.
struct EncoderSettings
{
    int width = 0;
    int height = 0;
    std::uint32_t timeScale = 30000;
    std::int32_t timeStep = 1001;
    bool constantRateFactor = true;
    int rateFactor = 23;
    int bitrateKbps = 5000;
    int keyFrameInterval = 30;
    bool youTubePreset = false;
    bool useBFrames = true;
    int segmentLength = 30;
};

// What one encode of the clip produced.
struct DirectEncode
{
    double milliseconds = 0.0;    // all segments and passes, encoders opened and closed
    double cpuMilliseconds = 0.0; // the processor time of the same, all threads
    std::uint64_t bytes = 0;      // what the storing pass of each segment produced
    // One access unit per frame of the storing passes, in decode order, per
    // segment; filled only when asked for.
    std::vector<std::vector<std::vector<std::uint8_t>>> segments;
};

// The effect's encode and the direct one are taken as the same work when
// their sizes agree to within this fraction. Without libx264's AVX-512 code
// both give the same size; the margin only keeps the comparison from failing
// on a difference too small to matter for timing, while different settings
// move the size far more.
constexpr double SizeTolerance = 0.01;
bool SimilarSize(std::uint64_t a, std::uint64_t b) noexcept;

// Encodes the clip a segment at a time through libx264 directly, with the
// parameter set and passes of the effect's renderer, and times it. The two
// passes of average-bitrate mode share a statistics file in `tempFolder`,
// removed afterwards. Throws std::runtime_error when x264 fails.
DirectEncode EncodeDirect(const PlanarClip& clip, const EncoderSettings& settings,
                          const std::string& tempFolder, bool keepStream);

} // namespace Bench
