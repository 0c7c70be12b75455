#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "host/LayerSource.h"

namespace EffectHost
{

// The default input: a deterministic clip with the content where H.264
// compression shows. A smooth gradient that scrolls slowly (banding), a
// finely textured panel that pans, film grain that changes every frame, a
// title that slides across, a frame counter and a disc in fast motion.
//
// Everything that does not change from frame to frame (the gradient, the
// texture and grain tiles, the title and digit masks) is made once at
// construction; a frame is then a handful of copies and small composites,
// cheap enough for the effect to check out every frame of every pass.
class BuiltInClip final : public LayerSource
{
  public:
    static constexpr A_long DefaultWidth = 1280;
    static constexpr A_long DefaultHeight = 720;
    static constexpr A_long DefaultFrames = 90;

    // Throws std::invalid_argument for a size or frame count below 1. The
    // title is drawn with the host's text renderer; without a font the clip
    // shows a bar in its place.
    BuiltInClip(A_long width = DefaultWidth, A_long height = DefaultHeight,
                A_long frames = DefaultFrames);
    ~BuiltInClip() override;
    BuiltInClip(const BuiltInClip&) = delete;
    BuiltInClip& operator=(const BuiltInClip&) = delete;

    A_long Width() const override { return width_; }
    A_long Height() const override { return height_; }
    A_long FrameCount() const noexcept { return frames_; }

    // A time outside the clip gives its nearest frame, as a layer holds its
    // first and last frame.
    void FrameAt(A_long time, A_long timeStep, A_u_long timeScale, World& into) const override;
    // The last frame composed is lent as it is.
    std::shared_ptr<const World> HeldFrame(A_long time, A_long timeStep,
                                           A_u_long timeScale) const override;
    // The same, by frame index.
    void Frame(A_long frame, World& into) const;

  private:
    struct Layers;

    void Compose(A_long frame, World& into) const;
    std::shared_ptr<const World> Composed(A_long frame) const;

    A_long width_;
    A_long height_;
    A_long frames_;
    std::unique_ptr<const Layers> layers_;
    // The last frame composed: a host asks for the same frame several times
    // in a row (the render command's layer, the effect's checkout, the
    // command's comparison), and composing one costs far more than a copy.
    // A frame still lent when another is asked for stays as it is: the next
    // one is composed into a world of its own.
    mutable std::mutex cacheMutex_;
    mutable std::shared_ptr<World> cached_;
    mutable std::vector<std::shared_ptr<World>> worlds_; // cached_ among them
    mutable A_long cachedFrame_ = -1;
};

} // namespace EffectHost
