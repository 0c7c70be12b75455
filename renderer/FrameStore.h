#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <x264.h>

#include "renderer/FrameSource.h"
#include "renderer/PlaneCodec.h"

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

// What the store keeps of one frame index: the encoder's reconstruction,
// deflated into the source's memory, and what the encoder said about it.
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
    std::unique_ptr<MemoryBlock> lumaPlane;
    std::unique_ptr<MemoryBlock> chromaPlane;
    bool stored = false;

    // The bytes both deflated planes take.
    std::uint64_t StoredBytes() const noexcept;
    // The bytes of the planes as the encoder handed them out.
    std::uint64_t PlaneBytes() const noexcept;
};

// A stored reconstruction inflated: NV12 planes of width x height.
struct Nv12Planes
{
    const std::uint8_t* luma = nullptr;
    std::int32_t lumaStride = 0;
    const std::uint8_t* chroma = nullptr;
    std::int32_t chromaStride = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Every reconstruction of a renderer, deflated in memory the frame source
// hands out, with the hashes of the inputs they were encoded from: a stored
// frame is shown again only while its input hashes the same. Hashes are kept
// per input resolution, as a host lends the layer at its preview resolution.
class FrameStore
{
  public:
    explicit FrameStore(FrameSource& source) noexcept : source_(source) {}
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    // The records: the table only grows.
    std::int32_t RecordCount() const noexcept;
    const FrameRecord* Find(std::int32_t frameIndex) const noexcept;
    void Grow(std::int32_t count);

    // Before frames first..end-1 are encoded again: their records and every
    // resolution's hashes of them are cleared.
    void ResetRange(std::int32_t first, std::int32_t end);
    // Before a pass encodes the frame: its record is emptied and takes the
    // checkout time, the table growing to hold it.
    void ResetRecord(std::int32_t frameIndex, std::int32_t time);

    // Records the hash of the input (width x height) a pass encodes the frame
    // from. Throws AdobeException ErrorInternal when another pass of the
    // encode saw other pixels for it.
    void RecordHash(std::int32_t frameIndex, std::int32_t width, std::int32_t height,
                    const FrameHash& hash);
    // Whether the stored frame was encoded from an input with these pixels
    // at this resolution.
    bool IsCurrent(std::int32_t frameIndex, const PixelView& input);

    // Deflates a reconstruction (NV12, `width` x `height`) into the frame's
    // record. Throws AdobeException ErrorInternal for another layout,
    // ErrorZlibCompression, and PF_Err_OUT_OF_MEMORY as an int; the record
    // then stays not stored.
    void Store(std::int32_t frameIndex, const x264_picture_t& picture, std::int32_t encodedSize,
               std::int32_t width, std::int32_t height);
    // The same in two steps, so that the deflate runs on a worker while the
    // caller goes on (the encoder encodes the next frames): BeginStore copies
    // the reconstruction's pixels and starts the deflate, first finishing the
    // oldest store begun when every worker has one; FinishStore finishes
    // every store begun, in order, filling their records. Throws what Store
    // throws, from the call that finishes the frame.
    void BeginStore(std::int32_t frameIndex, const x264_picture_t& picture,
                    std::int32_t encodedSize, std::int32_t width, std::int32_t height);
    void FinishStore();
    // Waits for the stores begun and leaves their frames not stored (an
    // encode that stops).
    void AbandonStore() noexcept;
    // Inflates a stored frame, both planes side by side: the luma plane on
    // the first worker while this thread first asks `wanted` (which must not touch
    // the store's planes) and then inflates the chroma plane. Nothing when
    // `wanted` answers false. The planes stay valid until the next call.
    // Throws 512 as an AdobeException for a frame that is not stored,
    // ErrorZlibExtraction for a stream that does not inflate to its planes,
    // and what `wanted` throws.
    std::optional<Nv12Planes> Extract(std::int32_t frameIndex, const std::function<bool()>& wanted);

    // Over every record.
    std::uint64_t TotalEncodedSize() const noexcept;
    std::uint64_t MemoryUsage() const noexcept;
    // kbit/s over the stored records.
    std::uint32_t AverageBitrate(std::int32_t timeStep, std::int32_t timeScale) const noexcept;

  private:
    FrameHash& HashEntry(std::int32_t width, std::int32_t height, std::int32_t frameIndex);
    std::unique_ptr<MemoryBlock> Fill(const std::vector<std::uint8_t>& stream);
    // Waits for the oldest store begun and fills its record.
    void FinishOldest();

    FrameSource& source_;
    std::vector<FrameRecord> records_;
    std::map<std::pair<std::int32_t, std::int32_t>, std::vector<FrameHash>> hashes_;

    // A reconstruction being stored: still copies of its planes (x264 goes
    // on writing the border of its own pictures on its threads) and the
    // streams a worker deflates them into.
    struct PendingStore
    {
        std::int32_t frameIndex = -1;
        std::vector<std::uint8_t> lumaPlane;
        std::vector<std::uint8_t> chromaPlane;
        std::vector<std::uint8_t> lumaStream;
        std::vector<std::uint8_t> chromaStream;
        int lumaResult = 0;
        int chromaResult = 0;
        std::future<void> task; // valid from its start until it is finished
    };
    // Frames deflate on workers of their own, alternately, so that with
    // processors to spare two deflate at once: a level-1 deflate of a
    // 1280x720 frame takes longer than x264's encode of it on many cores.
    static constexpr std::size_t DeflateLanes = 2;
    // One buffer per worker and one more, so that a reconstruction is copied
    // while the others deflate; `pending_` holds the started ones, oldest
    // first.
    std::array<PendingStore, DeflateLanes + 1> stores_;
    std::deque<PendingStore*> pending_;
    std::size_t nextLane_ = 0;
    // The planes inflated; reused from frame to frame.
    std::vector<std::uint8_t> lumaBuffer_;
    std::vector<std::uint8_t> chromaBuffer_;
    // One codec per thread: the chroma plane is inflated on the caller's
    // thread with codec_, the luma plane at the same time on the first
    // worker. The workers are declared last so that they end before the
    // buffers they write.
    PlaneCodec codec_;
    std::array<PlaneCodec, DeflateLanes> workerCodecs_;
    std::array<PlaneWorker, DeflateLanes> workers_;
};
