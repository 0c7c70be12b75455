#pragma once

#include <cstdint>
#include <memory>

// 8-bit ARGB pixels: `rowBytes` apart, each row `width` pixels of four bytes
// (alpha, red, green, blue).
struct PixelView
{
    std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t rowBytes = 0;
};

// An input frame the source lends: the pixels stay valid, and the frame
// stays checked out, as long as `loan` lives.
struct LentFrame
{
    PixelView view;
    std::shared_ptr<void> loan;
};

// Memory the source hands out for one deflated plane (the host's memory
// handles in a host), locked while a returned lock lives.
class MemoryBlock
{
  public:
    virtual ~MemoryBlock() = default;
    virtual std::uint64_t Size() const noexcept = 0;
    // Throws the int PF_Err_OUT_OF_MEMORY when the memory cannot be locked.
    virtual std::shared_ptr<void> Lock() = 0;
};

// What the renderer asks of the one who lends it the layer. All calls come
// from the thread that called the renderer.
class FrameSource
{
  public:
    virtual ~FrameSource() = default;

    // The layer's frame at host time `time`, at the render's resolution.
    // Throws what the host answers (an int code) when it cannot render it.
    virtual LentFrame Checkout(std::int32_t time) = 0;

    // Tells how far an encode is; throws a host code (517 when the user
    // cancelled) to stop it.
    virtual void ReportProgress(std::int32_t done, std::int32_t total) = 0;
    // Throws 517 when the user has asked to stop.
    virtual void CheckAbort() = 0;

    // A block of `size` bytes, or null when there is no memory for it.
    virtual std::unique_ptr<MemoryBlock> Allocate(std::uint64_t size) = 0;

    // A segment has been encoded and its summary logged: what the user sees
    // of the encode (the Information panel, the controls) may be refreshed.
    virtual void SegmentEncoded() = 0;
};
