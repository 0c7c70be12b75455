#pragma once

#include <cstdint>
#include <memory>

#include "framework/Plugin.h"
#include "renderer/FrameSource.h"

// The renderer's frame source in a host: the input layer checked out through
// the framework, memory from the host's handle suite, the host's progress and
// abort, and the controls refreshed after each segment.
class LayerFrames final : public FrameSource
{
  public:
    explicit LayerFrames(Plugin& plugin) noexcept : plugin_(plugin) {}

    LentFrame Checkout(std::int32_t time) override;
    void ReportProgress(std::int32_t done, std::int32_t total) override;
    void CheckAbort() override;
    std::unique_ptr<MemoryBlock> Allocate(std::uint64_t size) override;
    void SegmentEncoded() override;

    // The command's output world.
    PixelView Output();

  private:
    Plugin& plugin_;
};
