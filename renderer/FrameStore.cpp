// The frame-store half of Renderer: the frame table, the input hashes that
// decide whether a stored frame may be shown again, and the deflated
// reconstructions in host memory.

#include <algorithm>
#include <cstring>
#include <limits>

#define XXH_STATIC_LINKING_ONLY
#include <xxhash.h>
#include <zlib.h>

#include "framework/Errors.h"
#include "framework/Parameters.h"
#include "framework/Plugin.h"
#include "renderer/Renderer.h"
#include "renderer/RendererErrors.h"
#include "support/System.h"

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

void Renderer::ResetSegment(std::int32_t frameIndex)
{
    const SegmentBounds bounds = GetSegmentBounds(frameIndex);
    if (static_cast<std::size_t>(bounds.end) > frames_.size())
    {
        frames_.resize(static_cast<std::size_t>(bounds.end));
    }
    for (std::int32_t f = bounds.first; f < bounds.end; ++f)
    {
        FrameRecord& record = frames_[static_cast<std::size_t>(f)];
        record.pictureType = 0;
        record.encodedSize = 0;
        record.stored = false;
        record.lumaPlane.Release();
        record.chromaPlane.Release();
        for (auto& [resolution, sequence] : hashes_)
        {
            if (static_cast<std::size_t>(f) < sequence.size())
            {
                sequence[static_cast<std::size_t>(f)] = FrameHash{};
            }
        }
    }
}

FrameHash Renderer::HashWorld(PF_EffectWorld& world)
{
    const PF_Pixel8* pixels = host_.GetPixelData8(&world);
    return ComputeFrameHash(pixels, world.width, world.height, world.rowbytes);
}

FrameHash& Renderer::GetHashEntry(PF_EffectWorld& world, std::int32_t frameIndex)
{
    std::vector<FrameHash>& sequence = hashes_[{world.width, world.height}];
    const auto index = static_cast<std::size_t>(frameIndex);
    if (index >= sequence.size())
    {
        sequence.resize(std::max(frames_.size(), index + 1));
    }
    return sequence[index];
}

FrameHash Renderer::SetHash(std::int32_t frameIndex, PF_EffectWorld& world)
{
    const FrameHash hash = HashWorld(world);
    FrameHash& entry = GetHashEntry(world, frameIndex);
    if (entry.IsEmpty() || entry == hash)
    {
        entry = hash;
        return hash;
    }
    THROW_ADOBE_EXCEPTION(ErrorInternal, "Unexpected error: mismatching frame hash");
}

bool Renderer::CheckHash(std::int32_t frameIndex, PF_EffectWorld& world)
{
    const FrameHash hash = HashWorld(world);
    FrameHash& entry = GetHashEntry(world, frameIndex);
    // No hash at this input resolution means nothing ties the stored frame to
    // what the layer shows now (the input may have changed since the encode,
    // at another resolution), so the frame is not current and its segment is
    // encoded again at this size. Accepting it would show a stale frame.
    return !entry.IsEmpty() && entry == hash;
}

bool Renderer::IsFrameCurrent(std::int32_t frameIndex)
{
    if (!frames_[static_cast<std::size_t>(frameIndex)].stored)
    {
        return false;
    }
    ParameterCheckout layer = host_.CheckoutInputLayer(settings_.timeStep * frameIndex);
    PF_LayerDef* world = GetParameterValue<PF_LayerDef*>(layer.def());
    return CheckHash(frameIndex, *world);
}

void Renderer::FillPlane(HostHandle& plane, const std::vector<std::uint8_t>& stream)
{
    plane.Reset(stream.size());
    if (!plane)
    {
        throw static_cast<std::int32_t>(PF_Err_OUT_OF_MEMORY);
    }
    LockedHandle memory = plane.Lock();
    std::memcpy(memory.get(), stream.data(), stream.size());
}

void Renderer::StoreFrame(FrameRecord& record, const x264_picture_t& picture,
                          std::int32_t encodedSize)
{
    record.pictureType = picture.i_type;
    record.encodedSize = static_cast<std::uint32_t>(encodedSize);
    record.lumaStride = picture.img.i_stride[0];
    record.chromaStride = picture.img.i_stride[1];
    record.width = width_;
    record.height = height_;
    if (picture.img.i_csp != X264_CSP_NV12)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal,
                              "ARGB->YUV conversion failed, unsupported output color space %d",
                              picture.img.i_csp);
    }

    const std::size_t lumaLength =
        static_cast<std::size_t>(record.lumaStride) * static_cast<std::size_t>(height_);
    const std::size_t chromaLength =
        static_cast<std::size_t>(record.chromaStride) * static_cast<std::size_t>(height_) / 2;

    // x264 leaves the processors idle between frames: the chroma plane is
    // deflated on the worker while this thread deflates the luma plane. The
    // handles are allocated here afterwards, as host calls stay on this
    // thread.
    const auto visible = static_cast<std::size_t>(width_);
    int chromaResult = Z_OK;
    WorkerTask chroma(worker_.Run(
        [&]
        {
            CopyVisibleRows(picture.img.plane[1], record.chromaStride, visible, height_ / 2,
                            chromaPlane_);
            chromaResult = workerCodec_.Compress(chromaPlane_.data(), chromaLength, chromaStream_);
        }));
    CopyVisibleRows(picture.img.plane[0], record.lumaStride, visible, height_, lumaPlane_);
    const int lumaResult = codec_.Compress(lumaPlane_.data(), lumaLength, lumaStream_);
    chroma.Finish();

    if (lumaResult == Z_OK)
    {
        FillPlane(record.lumaPlane, lumaStream_);
    }
    if (chromaResult == Z_OK)
    {
        FillPlane(record.chromaPlane, chromaStream_);
    }
    if (lumaResult != Z_OK)
    {
        THROW_ADOBE_EXCEPTION(ErrorZlibCompression, "Zlib error %d", lumaResult);
    }
    if (chromaResult != Z_OK)
    {
        THROW_ADOBE_EXCEPTION(ErrorZlibCompression, "Zlib error %d", chromaResult);
    }
    record.stored = true;
}

void Renderer::CopyFrameToOutput(const FrameRecord& record)
{
    if (!libraries_.swscale || !record.lumaPlane || !record.chromaPlane)
    {
        THROW_ADOBE_EXCEPTION(PF_Err_INTERNAL_STRUCT_DAMAGED, "");
    }
    const std::size_t height = static_cast<std::size_t>(record.height);
    const std::size_t lumaLength = height * static_cast<std::size_t>(record.lumaStride);
    const std::size_t chromaLength = static_cast<std::size_t>(record.chromaStride) * height / 2;

    // Both handles are locked here, on the host's thread; the worker inflates
    // the chroma plane while this thread inflates the luma plane.
    const LockedHandle lumaStream = record.lumaPlane.Lock();
    const LockedHandle chromaStream = record.chromaPlane.Lock();
    int chromaResult = Z_OK;
    WorkerTask chroma(worker_.Run(
        [&]
        {
            chromaResult =
                workerCodec_.Extract(static_cast<const std::uint8_t*>(chromaStream.get()),
                                     record.chromaPlane.GetSize(), chromaLength, chromaBuffer_);
        }));
    const int lumaResult = codec_.Extract(static_cast<const std::uint8_t*>(lumaStream.get()),
                                          record.lumaPlane.GetSize(), lumaLength, lumaBuffer_);
    chroma.Finish();
    if (lumaResult != Z_OK)
    {
        THROW_ADOBE_EXCEPTION(ErrorZlibExtraction, "Zlib error %d", lumaResult);
    }
    if (chromaResult != Z_OK)
    {
        THROW_ADOBE_EXCEPTION(ErrorZlibExtraction, "Zlib error %d", chromaResult);
    }

    PF_EffectWorld* output = host_.GetOutput();
    auto* pixels = reinterpret_cast<std::uint8_t*>(host_.GetPixelData8(output));
    ConvertNv12ToArgb(*libraries_.swscale, outputScaler_, lumaBuffer_.data(), record.lumaStride,
                      chromaBuffer_.data(), record.chromaStride, record.width, record.height,
                      pixels, output->width, output->height, output->rowbytes,
                      Zovazaz::GetProcessorCount());
}

const FrameRecord* Renderer::GetFrameRecord(std::int32_t frameIndex) const noexcept
{
    if (frameIndex < 0 || static_cast<std::size_t>(frameIndex) >= frames_.size())
    {
        return nullptr;
    }
    return &frames_[static_cast<std::size_t>(frameIndex)];
}

std::int32_t Renderer::GetRecordCount() const noexcept
{
    return static_cast<std::int32_t>(frames_.size());
}

std::uint64_t Renderer::GetTotalEncodedSize() const noexcept
{
    std::uint64_t total = 0;
    for (const FrameRecord& record : frames_)
    {
        total += record.encodedSize;
    }
    return total;
}

std::uint64_t Renderer::GetMemoryUsage() const noexcept
{
    std::uint64_t total = 0;
    for (const FrameRecord& record : frames_)
    {
        total += record.lumaPlane.GetSize() + record.chromaPlane.GetSize();
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

std::uint32_t Renderer::GetAverageBitrate() const noexcept
{
    std::int64_t duration = 0;
    std::uint64_t bytes = 0;
    for (const FrameRecord& record : frames_)
    {
        if (record.stored)
        {
            duration += settings_.timeStep;
            bytes += record.encodedSize;
        }
    }
    return ComputeBitrateKbps(bytes, duration, settings_.timeScale);
}
