#pragma once

#include <memory>

#include "AE_Effect.h"
#include "host/World.h"

namespace EffectHost
{

// Where the input layer's frames come from: the frame at a host time, as an
// ARGB world of the source's size. Sources are stateless towards the host, so
// the same time always gives the same pixels.
class LayerSource
{
  public:
    virtual ~LayerSource() = default;
    virtual A_long Width() const = 0;
    virtual A_long Height() const = 0;
    // `into` already has the source's size. time / timeStep is the frame
    // index; timeScale is the host's ticks per second.
    virtual void FrameAt(A_long time, A_long timeStep, A_u_long timeScale, World& into) const = 0;
    // The same frame as a world the source keeps (a cache, a clip in memory),
    // which the host lends to the effect without copying it; the pointer
    // keeps the world alive, and the source never changes a world while
    // anyone else holds it. Null (the default) when the source only builds
    // frames into the host's world.
    virtual std::shared_ptr<const World> HeldFrame(A_long time, A_long timeStep,
                                                   A_u_long timeScale) const;
};

// Every frame the same colour.
class SolidLayerSource final : public LayerSource
{
  public:
    SolidLayerSource(A_long width, A_long height, PF_Pixel colour);
    A_long Width() const override { return width_; }
    A_long Height() const override { return height_; }
    void FrameAt(A_long time, A_long timeStep, A_u_long timeScale, World& into) const override;

  private:
    A_long width_;
    A_long height_;
    PF_Pixel colour_;
};

// A deterministic test picture that differs from frame to frame: a diagonal
// colour ramp that scrolls with the frame index plus a light block that moves
// across. PatternPixel gives any pixel without building a world.
class PatternLayerSource final : public LayerSource
{
  public:
    PatternLayerSource(A_long width, A_long height);
    A_long Width() const override { return width_; }
    A_long Height() const override { return height_; }
    void FrameAt(A_long time, A_long timeStep, A_u_long timeScale, World& into) const override;

    static PF_Pixel PatternPixel(A_long x, A_long y, A_long frame, A_long width,
                                 A_long height) noexcept;

  private:
    A_long width_;
    A_long height_;
};

} // namespace EffectHost
