#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/LayerSource.h"
#include "host/World.h"

namespace Bench
{

// A layer whose frames are all rendered before any timing starts and lent
// through the host as they are, so that the benchmark measures the effect
// rather than a picture generator or the host's copies.
class MemoryLayerSource final : public EffectHost::LayerSource
{
  public:
    // Renders `frames` frames of the benchmark clip. Throws
    // std::invalid_argument for a size or frame count below 1.
    MemoryLayerSource(A_long width, A_long height, A_long frames);
    // A layer of the given frames, all of one size. Throws
    // std::invalid_argument for none or for frames of different sizes.
    explicit MemoryLayerSource(std::vector<EffectHost::World> frames);

    A_long Width() const override { return width_; }
    A_long Height() const override { return height_; }
    A_long FrameCount() const noexcept { return static_cast<A_long>(frames_.size()); }
    const EffectHost::World& Frame(A_long index) const { return *frames_.at(index); }

    // A time outside the clip gives its nearest frame, as a still layer would.
    void FrameAt(A_long time, A_long timeStep, A_u_long timeScale,
                 EffectHost::World& into) const override;
    std::shared_ptr<const EffectHost::World> HeldFrame(A_long time, A_long timeStep,
                                                       A_u_long timeScale) const override;

    // One pixel of the clip: a smooth gradient that bands, a title that
    // slides, a finely textured panel that pans, a disc in fast motion and
    // light grain that changes every frame, so the encoder meets the kinds of
    // content where compression shows.
    static PF_Pixel ClipPixel(A_long x, A_long y, A_long frame, A_long width,
                              A_long height) noexcept;

  private:
    A_long width_;
    A_long height_;
    std::size_t IndexAt(A_long time, A_long timeStep) const noexcept;

    std::vector<std::shared_ptr<const EffectHost::World>> frames_;
};

} // namespace Bench
