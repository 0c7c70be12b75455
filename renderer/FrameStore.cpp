#include "renderer/FrameStore.h"

#include <algorithm>
#include <cstring>
#include <limits>

#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>
#include <zlib.h>

#include "AE_Effect.h"
#include "framework/Errors.h"
#include "renderer/RendererErrors.h"

namespace
{

// Stands in for a digest that comes out all zero, which would read as "no
// hash recorded" and accept any input.
constexpr FrameHash NonZeroHash{{0x52, 0x75, 0x7a, 0x69, 0x72, 0x61, 0x7a, 0x75, 1}};

// Copies the first `visible` bytes of each of `rows` rows, `stride` apart, into
// `plane` and zeroes the rest of each row. x264 goes on filling the border
// beyond a reconstruction's pixels on its own threads after handing it out,
// and a deflate that reads bytes changing under it can write a stream that
// does not inflate; only the pixels count for what is shown.
void CopyVisibleRows(const std::uint8_t* source, std::int32_t stride, std::size_t visible,
                     std::int32_t rows, std::vector<std::uint8_t>& plane)
{
    const auto rowBytes = static_cast<std::size_t>(stride);
    visible = std::min(visible, rowBytes);
    plane.resize(rowBytes * static_cast<std::size_t>(std::max(rows, 0)));
    for (std::int32_t y = 0; y < rows; ++y)
    {
        std::uint8_t* row = plane.data() + static_cast<std::size_t>(y) * rowBytes;
        std::memcpy(row, source + static_cast<std::size_t>(y) * rowBytes, visible);
        std::memset(row + visible, 0, rowBytes - visible);
    }
}

} // namespace

bool FrameHash::IsEmpty() const noexcept
{
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

FrameHash ComputeFrameHash(const void* pixels, std::int32_t width, std::int32_t height,
                           std::int32_t rowBytes) noexcept
{
    XXH128_hash_t digest{};
    const auto* row = static_cast<const std::uint8_t*>(pixels);
    const std::size_t visibleBytes = width > 0 ? static_cast<std::size_t>(width) * 4 : 0;
    if (pixels == nullptr || height <= 0 || visibleBytes == 0)
    {
        digest = XXH3_128bits(nullptr, 0);
    }
    else if (static_cast<std::size_t>(rowBytes) == visibleBytes)
    {
        // Packed rows: one run gives the same digest as row by row.
        digest = XXH3_128bits(row, visibleBytes * static_cast<std::size_t>(height));
    }
    else
    {
        XXH3_state_t state;
        XXH3_INITSTATE(&state);
        XXH3_128bits_reset(&state);
        for (std::int32_t y = 0; y < height; ++y, row += rowBytes)
        {
            XXH3_128bits_update(&state, row, visibleBytes);
        }
        digest = XXH3_128bits_digest(&state);
    }

    FrameHash hash;
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, digest);
    static_assert(sizeof(canonical.digest) == sizeof(hash.bytes));
    std::memcpy(hash.bytes.data(), canonical.digest, hash.bytes.size());
    return hash.IsEmpty() ? NonZeroHash : hash;
}

std::uint64_t FrameRecord::StoredBytes() const noexcept
{
    return (lumaPlane ? lumaPlane->Size() : 0) + (chromaPlane ? chromaPlane->Size() : 0);
}

std::uint64_t FrameRecord::PlaneBytes() const noexcept
{
    return static_cast<std::uint64_t>(lumaStride) * static_cast<std::uint64_t>(height) +
           static_cast<std::uint64_t>(chromaStride) * static_cast<std::uint64_t>(height) / 2;
}

std::int32_t FrameStore::RecordCount() const noexcept
{
    return static_cast<std::int32_t>(records_.size());
}

const FrameRecord* FrameStore::Find(std::int32_t frameIndex) const noexcept
{
    if (frameIndex < 0 || static_cast<std::size_t>(frameIndex) >= records_.size())
    {
        return nullptr;
    }
    return &records_[static_cast<std::size_t>(frameIndex)];
}

void FrameStore::Grow(std::int32_t count)
{
    if (count > 0 && static_cast<std::size_t>(count) > records_.size())
    {
        records_.resize(static_cast<std::size_t>(count));
    }
}

void FrameStore::ResetRange(std::int32_t first, std::int32_t end)
{
    Grow(end);
    for (std::int32_t f = std::max(first, 0); f < end; ++f)
    {
        FrameRecord& record = records_[static_cast<std::size_t>(f)];
        record.pictureType = 0;
        record.encodedSize = 0;
        record.stored = false;
        record.lumaPlane.reset();
        record.chromaPlane.reset();
        for (auto& [resolution, sequence] : hashes_)
        {
            if (static_cast<std::size_t>(f) < sequence.size())
            {
                sequence[static_cast<std::size_t>(f)] = FrameHash{};
            }
        }
    }
}

void FrameStore::ResetRecord(std::int32_t frameIndex, std::int32_t time)
{
    Grow(frameIndex + 1);
    FrameRecord& record = records_[static_cast<std::size_t>(frameIndex)];
    record.time = time;
    record.pictureType = 0;
    record.encodedSize = 0;
    record.stored = false;
    record.lumaPlane.reset();
    record.chromaPlane.reset();
}

FrameHash& FrameStore::HashEntry(std::int32_t width, std::int32_t height, std::int32_t frameIndex)
{
    std::vector<FrameHash>& sequence = hashes_[{width, height}];
    const auto index = static_cast<std::size_t>(frameIndex);
    if (index >= sequence.size())
    {
        sequence.resize(std::max(records_.size(), index + 1));
    }
    return sequence[index];
}

void FrameStore::RecordHash(std::int32_t frameIndex, std::int32_t width, std::int32_t height,
                            const FrameHash& hash)
{
    FrameHash& entry = HashEntry(width, height, frameIndex);
    if (entry.IsEmpty() || entry == hash)
    {
        entry = hash;
        return;
    }
    THROW_ADOBE_EXCEPTION(ErrorInternal, "Unexpected error: mismatching frame hash");
}

bool FrameStore::IsCurrent(std::int32_t frameIndex, const PixelView& input)
{
    const FrameRecord* record = Find(frameIndex);
    if (record == nullptr || !record->stored)
    {
        return false;
    }
    const FrameHash hash =
        ComputeFrameHash(input.pixels, input.width, input.height, input.rowBytes);
    const FrameHash& entry = HashEntry(input.width, input.height, frameIndex);
    // No hash at this input resolution means nothing ties the stored frame to
    // what the layer shows now (the input may have changed since the encode,
    // at another resolution), so the frame is not current and its segment is
    // encoded again at this size. Accepting it would show a stale frame.
    return !entry.IsEmpty() && entry == hash;
}

std::unique_ptr<MemoryBlock> FrameStore::Fill(const std::vector<std::uint8_t>& stream)
{
    std::unique_ptr<MemoryBlock> block = source_.Allocate(stream.size());
    if (!block)
    {
        throw static_cast<std::int32_t>(PF_Err_OUT_OF_MEMORY);
    }
    const std::shared_ptr<void> memory = block->Lock();
    std::memcpy(memory.get(), stream.data(), stream.size());
    return block;
}

void FrameStore::Store(std::int32_t frameIndex, const x264_picture_t& picture,
                       std::int32_t encodedSize, std::int32_t width, std::int32_t height)
{
    BeginStore(frameIndex, picture, encodedSize, width, height);
    FinishStore();
}

void FrameStore::BeginStore(std::int32_t frameIndex, const x264_picture_t& picture,
                            std::int32_t encodedSize, std::int32_t width, std::int32_t height)
{
    if (frameIndex < 0 || frameIndex >= RecordCount())
    {
        THROW_ADOBE_EXCEPTION(ErrorVideoEncoding, "Encoder returned frame %d of %zu", frameIndex,
                              records_.size());
    }
    FrameRecord& record = records_[static_cast<std::size_t>(frameIndex)];
    record.pictureType = picture.i_type;
    record.encodedSize = static_cast<std::uint32_t>(encodedSize);
    record.lumaStride = picture.img.i_stride[0];
    record.chromaStride = picture.img.i_stride[1];
    record.width = width;
    record.height = height;
    if (picture.img.i_csp != X264_CSP_NV12)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal,
                              "ARGB->YUV conversion failed, unsupported output color space %d",
                              picture.img.i_csp);
    }

    if (pending_.size() >= DeflateLanes)
    {
        FinishOldest();
    }
    // The copies are made now, while the picture is x264's to hand out, into
    // a buffer no deflate is using.
    PendingStore& store = *std::find_if(stores_.begin(), stores_.end(),
                                        [](const PendingStore& s) { return !s.task.valid(); });
    const auto visible = static_cast<std::size_t>(width);
    CopyVisibleRows(picture.img.plane[0], record.lumaStride, visible, height, store.lumaPlane);
    CopyVisibleRows(picture.img.plane[1], record.chromaStride, visible, height / 2,
                    store.chromaPlane);
    store.frameIndex = frameIndex;
    const std::size_t lane = nextLane_++ % DeflateLanes;
    store.task = workers_[lane].Run(
        [&store, &codec = workerCodecs_[lane]]
        {
            store.lumaResult =
                codec.Compress(store.lumaPlane.data(), store.lumaPlane.size(), store.lumaStream);
            store.chromaResult = codec.Compress(store.chromaPlane.data(), store.chromaPlane.size(),
                                                store.chromaStream);
        });
    pending_.push_back(&store);
}

void FrameStore::FinishStore()
{
    while (!pending_.empty())
    {
        FinishOldest();
    }
}

void FrameStore::FinishOldest()
{
    PendingStore& store = *pending_.front();
    pending_.pop_front();
    store.task.get();
    FrameRecord& record = records_[static_cast<std::size_t>(store.frameIndex)];
    // The memory is allocated here, as calls to the source stay on this
    // thread.
    if (store.lumaResult == Z_OK)
    {
        record.lumaPlane = Fill(store.lumaStream);
    }
    if (store.chromaResult == Z_OK)
    {
        record.chromaPlane = Fill(store.chromaStream);
    }
    if (store.lumaResult != Z_OK)
    {
        THROW_ADOBE_EXCEPTION(ErrorZlibCompression, "Zlib error %d", store.lumaResult);
    }
    if (store.chromaResult != Z_OK)
    {
        THROW_ADOBE_EXCEPTION(ErrorZlibCompression, "Zlib error %d", store.chromaResult);
    }
    record.stored = true;
}

void FrameStore::AbandonStore() noexcept
{
    for (PendingStore* store : pending_)
    {
        store->task.wait();
        store->task = {};
    }
    pending_.clear();
}

std::optional<Nv12Planes> FrameStore::Extract(std::int32_t frameIndex,
                                              const std::function<bool()>& wanted)
{
    const FrameRecord* record = Find(frameIndex);
    if (record == nullptr || !record->lumaPlane || !record->chromaPlane)
    {
        THROW_ADOBE_EXCEPTION(PF_Err_INTERNAL_STRUCT_DAMAGED, "");
    }
    const std::size_t height = static_cast<std::size_t>(record->height);
    const std::size_t lumaLength = height * static_cast<std::size_t>(record->lumaStride);
    const std::size_t chromaLength = static_cast<std::size_t>(record->chromaStride) * height / 2;

    // Both blocks are locked here, on the caller's thread; the worker
    // inflates the luma plane, the larger, while this thread does the rest.
    const std::shared_ptr<void> lumaStream = record->lumaPlane->Lock();
    const std::shared_ptr<void> chromaStream = record->chromaPlane->Lock();
    int lumaResult = Z_OK;
    WorkerTask luma(workers_[0].Run(
        [&]
        {
            lumaResult =
                workerCodecs_[0].Extract(static_cast<const std::uint8_t*>(lumaStream.get()),
                                         record->lumaPlane->Size(), lumaLength, lumaBuffer_);
        }));
    if (!wanted())
    {
        return std::nullopt;
    }
    const int chromaResult =
        codec_.Extract(static_cast<const std::uint8_t*>(chromaStream.get()),
                       record->chromaPlane->Size(), chromaLength, chromaBuffer_);
    luma.Finish();
    if (lumaResult != Z_OK)
    {
        THROW_ADOBE_EXCEPTION(ErrorZlibExtraction, "Zlib error %d", lumaResult);
    }
    if (chromaResult != Z_OK)
    {
        THROW_ADOBE_EXCEPTION(ErrorZlibExtraction, "Zlib error %d", chromaResult);
    }
    return Nv12Planes{lumaBuffer_.data(),   record->lumaStride, chromaBuffer_.data(),
                      record->chromaStride, record->width,      record->height};
}

std::uint64_t FrameStore::TotalEncodedSize() const noexcept
{
    std::uint64_t total = 0;
    for (const FrameRecord& record : records_)
    {
        total += record.encodedSize;
    }
    return total;
}

std::uint64_t FrameStore::MemoryUsage() const noexcept
{
    std::uint64_t total = 0;
    for (const FrameRecord& record : records_)
    {
        total += record.StoredBytes();
    }
    return total;
}

std::uint32_t ComputeBitrateKbps(std::uint64_t bytes, std::int64_t durationTicks,
                                 std::int32_t timeScale) noexcept
{
    if (durationTicks <= 0 || timeScale <= 0)
    {
        return 0;
    }
    const std::int64_t milliseconds = durationTicks * 1000 / timeScale;
    if (milliseconds <= 0)
    {
        return 0;
    }
    const std::uint64_t kbps = bytes * 8 / static_cast<std::uint64_t>(milliseconds);
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(kbps, std::numeric_limits<std::uint32_t>::max()));
}

std::uint32_t FrameStore::AverageBitrate(std::int32_t timeStep,
                                         std::int32_t timeScale) const noexcept
{
    std::int64_t duration = 0;
    std::uint64_t bytes = 0;
    for (const FrameRecord& record : records_)
    {
        if (record.stored)
        {
            duration += timeStep;
            bytes += record.encodedSize;
        }
    }
    return ComputeBitrateKbps(bytes, duration, timeScale);
}
