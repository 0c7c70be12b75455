#pragma once

#include <array>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codecs/SwScaleLibrary.h"
#include "codecs/X264Library.h"
#include "renderer/EncodeSettings.h"
#include "renderer/FrameSource.h"
#include "renderer/FrameStore.h"
#include "renderer/PixelConversion.h"
#include "renderer/PlaneCodec.h"

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
    Renderer(FrameSource& source, const EncodeSettings& settings, RendererLibraries libraries);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Writes the frame into `output`, encoding its segment at width x height
    // first unless the stored frame is current. An index outside the layer
    // shows the nearest frame of the layer. Throws AdobeException, or a host
    // code as an int (517 when the user aborts).
    void RenderFrame(std::int32_t frameIndex, std::int32_t width, std::int32_t height,
                     const PixelView& output);

    // Encodes the segment that holds the frame and stores its frames.
    void EncodeSegment(std::int32_t frameIndex, std::int32_t width, std::int32_t height);

    const EncodeSettings& GetSettings() const noexcept { return settings_; }
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
    // Whether the stored frame was encoded from the pixels the layer has now.
    bool IsFrameCurrent(std::int32_t frameIndex);
    void CopyPlanesToOutput(const Nv12Planes& planes, const PixelView& output);

    std::shared_ptr<Zovazaz::X264Library::Encoder> CreateEncoder(std::int32_t pass,
                                                                 std::string& statsFilePath);
    // A frame checked out for the encoder, its conversion (or the hash that
    // shows its picture holds it already) running on a worker; the frame
    // stays lent until that has ended.
    struct PreparedFrame
    {
        std::shared_ptr<void> loan;
        x264_picture_t* picture = nullptr;
        std::future<void> conversion;
        // The worker's hash of the input, recorded once the task has ended,
        // and the input's size and frame.
        FrameHash hash;
        std::int32_t frameIndex = 0;
        std::int32_t worldWidth = 0;
        std::int32_t worldHeight = 0;
        ~PreparedFrame();
    };

    // Checks the frame at `time` out (on this thread, as every call to the
    // source) and starts hashing and converting it into `picture` on a
    // worker. With `converted`, a picture that already holds the conversion
    // of an input with the same hash and size is not converted again;
    // otherwise `converted` records the new conversion.
    std::unique_ptr<PreparedFrame> PrepareFrame(std::int32_t time, x264_picture_t& picture,
                                                SegmentTimings& timings, ConvertedInput* converted);
    // Waits for the frame's conversion, throws what it threw, and records
    // the hash the worker made.
    void FinishFrame(PreparedFrame& prepared);
    // Pictures of the analysis pass kept for the final pass: as many of the
    // segment's `frames` as the budget allows.
    std::size_t KeepAnalysisPictures(std::int32_t frames);
    std::int32_t EncodeFrame(Zovazaz::X264Library::Encoder& encoder, x264_picture_t* picture,
                             std::uint32_t& encodeTime, std::uint32_t* storeTime);
    void LogSummary(const SegmentBounds& bounds, std::uint64_t encodedBytes,
                    const SegmentTimings& timings) const;

    FrameSource& source_;
    EncodeSettings settings_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    FrameStore store_;

    RendererLibraries libraries_;
    // The frames read ahead convert on workers of their own, alternately, so
    // that with processors to spare two convert at once: while x264 buffers a
    // segment's frames for its lookahead, the conversion sets the pace. Each
    // has its own scaler (a libswscale context serves one thread), reused
    // from frame to frame; the output one runs on a thread per processor.
    static constexpr std::size_t ConversionLanes = 2;
    std::array<Scaler, ConversionLanes> inputScalers_;
    OutputScaler outputScaler_;
    int outputThreads_ = 1;
    // One segment's analysis-pass pictures, released when the encode ends.
    std::vector<Zovazaz::X264Library::Picture> keptPictures_;
    std::vector<ConvertedInput> keptInputs_;
    // Convert the next frames while x264 encodes one; declared last so that
    // they end before what their tasks use.
    std::array<PlaneWorker, ConversionLanes> convertWorkers_;
};
