#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/DirectEncoder.h"
#include "bench/MemoryLayerSource.h"
#include "bench/SummaryLog.h"
#include "host/Host.h"

namespace Bench
{

// The rate control of one benchmark case, as the user picks it.
struct RateControl
{
    bool constantRateFactor = true;
    int rateFactor = 23;
    int bitrateKbps = 5000;
    int segmentLength = 30;
};

// What one run through the effect measured.
struct PreviewRun
{
    double encodeMilliseconds = 0.0;    // the renders that encoded a segment each
    double encodeCpuMilliseconds = 0.0; // the processor time of those renders, all threads
    std::vector<SegmentSummary> summaries;
    double scrubMilliseconds = 0.0; // a render of every frame once all are stored
    std::uint64_t storeBytes = 0;   // host memory the stored frames hold
    // Of every pixel the scrub renders showed, in order: equal digests from
    // two builds of the module mean the same pictures, bit for bit.
    std::uint64_t outputDigest = 0;
};

// Folds the visible pixels of a world into a running 64-bit digest (FNV-1a
// over 64-bit words); row padding takes no part.
std::uint64_t DigestPixels(const EffectHost::World& world, std::uint64_t digest) noexcept;
constexpr std::uint64_t DigestStart = 0xCBF29CE484222325u;

// Drives the real module through the host as a user previewing a layer
// would: sets the controls, renders the first frame of each segment (which
// encodes it), then renders every frame again, now from the store.
class EffectDriver
{
  public:
    // Loads the module and sends global set-up and parameter set-up. Throws
    // std::runtime_error when the module cannot be loaded or refuses a
    // command, or lacks one of the controls the benchmark sets.
    explicit EffectDriver(const std::string& modulePath);

    // The layer to apply the effect to, at 29.97 frames per second.
    void SetLayer(std::shared_ptr<const MemoryLayerSource> layer);

    // Sets Mode, then Target Bitrate or Rate Factor, then Segment Length
    // through the host. Each change also makes the effect drop its stored
    // frames, so the next render encodes afresh.
    void Configure(const RateControl& control);

    // The encoder settings that the controls and the host's time now give,
    // for the direct encode to match.
    EncoderSettings CurrentEncoderSettings() const;

    // Throws std::runtime_error when a render fails, when the encodes do not
    // leave one summary per segment in the log, or when a stored frame is
    // encoded again while scrubbing.
    PreviewRun Run(const RateControl& control);

    // Renders one frame of the layer as the controls stand and answers what
    // the effect showed, valid until the next render. Throws
    // std::runtime_error when the render fails.
    const EffectHost::World& Show(A_long frame);

    // For the controls the benchmark leaves alone (presets, key frames,
    // B-frames), which a caller may set as a user would.
    EffectHost::Host& GetHost() noexcept { return host_; }

  private:
    int Position(const std::string& name) const;
    double Render(A_long frame);

    EffectHost::Host host_;
    std::shared_ptr<const MemoryLayerSource> layer_;
    EffectHost::World output_;
    LogTail log_;
    int presets_;
    int mode_;
    int targetBitrate_;
    int rateFactor_;
    int keyFrameInterval_;
    int useBFrames_;
    int segmentLength_;
};

} // namespace Bench
