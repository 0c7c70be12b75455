#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AE_Effect.h"
#include "codecs/SwScaleLibrary.h"
#include "codecs/X264Library.h"
#include "framework/Handles.h"
#include "renderer/PixelConversion.h"
#include "renderer/PlaneCodec.h"
#include "renderer/RenderSettings.h"

class Plugin;

// The content hash of one input frame: XXH3-128 of the visible pixels of each
// row. All zero means that no hash has been recorded.
struct FrameHash
{
    std::array<std::uint8_t, 16> bytes{};

    bool IsEmpty() const noexcept;
    bool operator==(const FrameHash&) const = default;
};

// Hashes width * 4 bytes of each of the `height` rows, `rowBytes` apart, so
// that row padding never takes part. A digest that happens to be all zero is
// replaced by a fixed non-zero value, because all zero means "no hash".
FrameHash ComputeFrameHash(const void* pixels, std::int32_t width, std::int32_t height,
                           std::int32_t rowBytes) noexcept;

// kbit/s of `bytes` over `durationTicks` host time units at `timeScale` units
// per second: bits per millisecond, in 64 bits (bytes * 8 passes 32 bits at
// 512 MiB). 0 when the duration is under a millisecond or the scale is not
// positive; at most the largest 32-bit value.
std::uint32_t ComputeBitrateKbps(std::uint64_t bytes, std::int64_t durationTicks,
                                 std::int32_t timeScale) noexcept;

// What the renderer keeps of one frame index: the encoder's reconstruction,
// deflated into host memory, and what the encoder said about it.
struct FrameRecord
{
    std::int32_t time = -1; // host time of the last checkout for encoding
    std::int32_t pictureType = 0;
    std::uint32_t encodedSize = 0;
    std::int32_t lumaStride = 0;
    std::int32_t chromaStride = 0;
    // The size the reconstruction was encoded at: a later segment may be
    // encoded smaller, and this one must still decode at its own size.
    std::int32_t width = 0;
    std::int32_t height = 0;
    HostHandle lumaPlane;
    HostHandle chromaPlane;
    bool stored = false;
};

// Per input resolution (width, height), the hash of each frame index.
using HashTable = std::map<std::pair<std::int32_t, std::int32_t>, std::vector<FrameHash>>;

// Milliseconds spent in each step of one segment encode.
struct SegmentTimings
{
    std::uint32_t checkout = 0;
    std::uint32_t convert = 0;
    std::uint32_t encode = 0;
    std::uint32_t store = 0;
    std::uint32_t total = 0;
};

// What the analysis pass of a two-pass encode converted into a kept picture:
// the input's hash and size. The final pass converts again only when its input
// differs from this.
struct ConvertedInput
{
    FrameHash hash;
    std::int32_t worldWidth = 0;
    std::int32_t worldHeight = 0;
    bool valid = false;
};

// The codec libraries a renderer works with; either may be empty when global
// set-up could not load it, and then nothing is encoded.
struct RendererLibraries
{
    std::shared_ptr<const Zovazaz::X264Library> x264;
    std::shared_ptr<const Zovazaz::SwScaleLibrary> swscale;
};

// Encodes a layer a segment at a time with x264 and keeps every
// reconstruction, so a frame of an encoded segment is shown again without
// encoding while its input stays the same.
class Renderer
{
  public:
    // Throws AdobeException ErrorInternal for a time step of 0 or below: every
    // frame position is divided by it, and frames follow it forwards.
    Renderer(Plugin& host, const RenderSettings& settings, RendererLibraries libraries);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Writes the frame into the host's output world, encoding its segment at
    // width x height first unless the stored frame is current. An index
    // outside the layer shows the nearest frame of the layer. Throws
    // AdobeException, or a host code as an int (517 when the user aborts).
    void RenderFrame(std::int32_t frameIndex, std::int32_t width, std::int32_t height);

    // Encodes the segment that holds the frame and stores its frames.
    void EncodeSegment(std::int32_t frameIndex, std::int32_t width, std::int32_t height);

    const RenderSettings& GetSettings() const noexcept { return settings_; }
    std::int32_t GetWidth() const noexcept { return width_; }
    std::int32_t GetHeight() const noexcept { return height_; }

    // Frames of the layer: at least one, even for a layer shorter than a step.
    std::int32_t GetFrameCount() const noexcept;
    // The frame that RenderFrame shows for an index: the nearest of the layer.
    std::int32_t GetShownFrame(std::int64_t frameIndex) const noexcept;

    // The record of a frame, or null when the index is not below the number
    // of records.
    const FrameRecord* GetFrameRecord(std::int32_t frameIndex) const noexcept;
    std::int32_t GetRecordCount() const noexcept;
    std::uint64_t GetTotalEncodedSize() const noexcept;
    std::uint64_t GetMemoryUsage() const noexcept;
    // kbit/s over the stored frames.
    std::uint32_t GetAverageBitrate() const noexcept;

  private:
    struct SegmentBounds
    {
        std::int32_t first = 0;
        std::int32_t end = 0; // exclusive
    };

    SegmentBounds GetSegmentBounds(std::int32_t frameIndex) const noexcept;

    // Encoding (Renderer.cpp).
    std::shared_ptr<Zovazaz::X264Library::Encoder> CreateEncoder(std::int32_t pass,
                                                                 std::string& statsFilePath);
    // With `converted`, a picture that already holds the conversion of an
    // input with the same hash and size is not converted again; otherwise the
    // input is converted and `converted` records it.
    void CheckoutFrame(std::int32_t time, x264_picture_t& picture, SegmentTimings& timings,
                       ConvertedInput* converted);
    // Pictures of the analysis pass kept for the final pass: as many of the
    // segment's `frames` as the budget allows.
    std::size_t KeepAnalysisPictures(std::int32_t frames);
    std::int32_t EncodeFrame(Zovazaz::X264Library::Encoder& encoder, x264_picture_t* picture,
                             std::uint32_t& encodeTime, std::uint32_t* storeTime);
    void LogSummary(const SegmentBounds& bounds, std::uint64_t encodedBytes,
                    const SegmentTimings& timings) const;

    // The frame store (FrameStore.cpp).
    void ResetSegment(std::int32_t frameIndex);
    FrameHash SetHash(std::int32_t frameIndex, PF_EffectWorld& world);
    bool CheckHash(std::int32_t frameIndex, PF_EffectWorld& world);
    bool IsFrameCurrent(std::int32_t frameIndex);
    void StoreFrame(FrameRecord& record, const x264_picture_t& picture, std::int32_t encodedSize);
    void CopyFrameToOutput(const FrameRecord& record);
    FrameHash HashWorld(PF_EffectWorld& world);
    FrameHash& GetHashEntry(PF_EffectWorld& world, std::int32_t frameIndex);
    void FillPlane(HostHandle& plane, const std::vector<std::uint8_t>& stream);

    Plugin& host_;
    RenderSettings settings_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<FrameRecord> frames_;
    HashTable hashes_;

    RendererLibraries libraries_;
    // Scratch space and scalers reused from frame to frame.
    Scaler inputScaler_;
    Scaler outputScaler_;
    // One segment's analysis-pass pictures, released when the encode ends.
    std::vector<Zovazaz::X264Library::Picture> keptPictures_;
    std::vector<ConvertedInput> keptInputs_;
    std::vector<std::uint8_t> lumaPlane_; // still copies of x264's reconstruction
    std::vector<std::uint8_t> chromaPlane_;
    std::vector<std::uint8_t> lumaStream_;
    std::vector<std::uint8_t> chromaStream_;
    std::vector<std::uint8_t> lumaBuffer_;
    std::vector<std::uint8_t> chromaBuffer_;
    // The luma plane is deflated and inflated on this thread with codec_, the
    // chroma plane at the same time on the worker with workerCodec_. The
    // worker is declared last so that it ends before the buffers it writes.
    PlaneCodec codec_;
    PlaneCodec workerCodec_;
    PlaneWorker worker_;
};
