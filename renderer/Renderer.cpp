#include "renderer/Renderer.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <stdexcept>

#include <fmt/printf.h>

#include "AE_Effect.h"
#include "framework/Errors.h"
#include "renderer/RendererErrors.h"
#include "renderer/StatsFile.h"
#include "support/Log.h"
#include "support/System.h"

namespace
{

// Pass numbers: one pass, or the analysis and the final pass of two.
constexpr std::int32_t SinglePass = -1;
constexpr std::int32_t AnalysisPass = 0;
constexpr std::int32_t FinalPass = 1;
// How many frames are checked out and converted ahead of the one x264
// encodes.
constexpr std::int32_t FramesAhead = 2;

// Memory for the analysis pass's pictures that the final pass encodes again
// instead of converting its input a second time; frames beyond it are
// converted in both passes.
constexpr std::size_t KeptPictureBudget = std::size_t{128} << 20;

std::uint32_t ElapsedSince(std::int64_t mark)
{
    return static_cast<std::uint32_t>(Zovazaz::GetMilliseconds() - mark);
}

float Seconds(std::uint32_t milliseconds)
{
    return static_cast<float>(milliseconds) / 1000.0f;
}

} // namespace

Renderer::Renderer(FrameSource& source, const EncodeSettings& settings, RendererLibraries libraries)
    : source_(source), settings_(settings), store_(source), libraries_(std::move(libraries)),
      outputThreads_(Zovazaz::GetProcessorCount())
{
    if (settings_.timeStep <= 0)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "The host gave a time step of %d", settings_.timeStep);
    }
    // A layer shorter than one step gives a segment length of 0 when the
    // parameter asks for whole-layer segments; every segment holds a frame.
    settings_.segmentLength = std::max(settings_.segmentLength, 1);
}

Renderer::~Renderer() = default;

std::int32_t Renderer::GetFrameCount() const noexcept
{
    return static_cast<std::int32_t>(
        std::max<std::int64_t>(std::int64_t{settings_.totalTime} / settings_.timeStep, 1));
}

std::int32_t Renderer::GetShownFrame(std::int64_t frameIndex) const noexcept
{
    // A time outside the layer (past its last whole frame, or before it)
    // belongs to no segment: it shows the nearest frame the layer has.
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(frameIndex, 0, GetFrameCount() - 1));
}

Renderer::SegmentBounds Renderer::GetSegmentBounds(std::int32_t frameIndex) const noexcept
{
    const std::int32_t length = settings_.segmentLength;
    SegmentBounds bounds;
    bounds.first = frameIndex / length * length;
    bounds.end = std::min(GetFrameCount(), bounds.first + length);
    return bounds;
}

void Renderer::RenderFrame(std::int32_t frameIndex, std::int32_t width, std::int32_t height,
                           const PixelView& output)
{
    frameIndex = GetShownFrame(frameIndex);
    const FrameRecord* record = store_.Find(frameIndex);
    if (record != nullptr && record->stored)
    {
        // The stored frame starts inflating while its input is checked out
        // and hashed: a frame that is current, the usual case when the user
        // scrubs, then costs the longer of the two instead of both.
        const std::optional<Nv12Planes> planes =
            store_.Extract(frameIndex, [&] { return IsFrameCurrent(frameIndex); });
        if (planes)
        {
            CopyPlanesToOutput(*planes, output);
            return;
        }
    }
    EncodeSegment(frameIndex, width, height);
    const std::optional<Nv12Planes> planes = store_.Extract(frameIndex, [] { return true; });
    CopyPlanesToOutput(*planes, output);
}

bool Renderer::IsFrameCurrent(std::int32_t frameIndex)
{
    const LentFrame input = source_.Checkout(settings_.timeStep * frameIndex);
    return store_.IsCurrent(frameIndex, input.view);
}

void Renderer::CopyPlanesToOutput(const Nv12Planes& planes, const PixelView& output)
{
    if (!libraries_.swscale)
    {
        THROW_ADOBE_EXCEPTION(PF_Err_INTERNAL_STRUCT_DAMAGED, "");
    }
    ConvertNv12ToArgb(*libraries_.swscale, outputScaler_, planes.luma, planes.lumaStride,
                      planes.chroma, planes.chromaStride, planes.width, planes.height,
                      output.pixels, output.width, output.height, output.rowBytes, outputThreads_);
}

const FrameRecord* Renderer::GetFrameRecord(std::int32_t frameIndex) const noexcept
{
    return store_.Find(frameIndex);
}

std::int32_t Renderer::GetRecordCount() const noexcept
{
    return store_.RecordCount();
}

std::uint64_t Renderer::GetTotalEncodedSize() const noexcept
{
    return store_.TotalEncodedSize();
}

std::uint64_t Renderer::GetMemoryUsage() const noexcept
{
    return store_.MemoryUsage();
}

std::uint32_t Renderer::GetAverageBitrate() const noexcept
{
    return store_.AverageBitrate(settings_.timeStep, settings_.timeScale);
}

void Renderer::EncodeSegment(std::int32_t frameIndex, std::int32_t width, std::int32_t height)
{
    if (!libraries_.swscale || !libraries_.x264)
    {
        THROW_ADOBE_EXCEPTION(ErrorInitFailed, "");
    }
    frameIndex = GetShownFrame(frameIndex);
    width_ = width;
    height_ = height;
    SegmentTimings timings;
    const std::int64_t start = Zovazaz::GetMilliseconds();

    const SegmentBounds bounds = GetSegmentBounds(frameIndex);
    store_.ResetRange(bounds.first, bounds.end);

    const bool twoPass = settings_.averageBitrate;
    const std::int32_t passes[2] = {twoPass ? AnalysisPass : SinglePass, FinalPass};
    const std::int32_t passCount = twoPass ? 2 : 1;
    const std::int32_t progressTotal = (bounds.end - bounds.first) * passCount;
    std::int32_t progress = 0;

    // Declared before any encoder so that the files are deleted after the
    // last encoder has closed them, on every way out. Only an analysis pass
    // writes statistics: a one-pass encode needs no temporary folder at all.
    StatsFileGuard statsFile(twoPass ? MakeStatsFilePath() : std::string());

    // Input pictures for the frame being encoded and the ones converted
    // ahead of it on the workers; x264 copies the one it is given during the
    // encode call, so it is free again afterwards.
    Zovazaz::X264Library::Picture pictures[1 + FramesAhead];
    try
    {
        for (Zovazaz::X264Library::Picture& picture : pictures)
        {
            picture = libraries_.x264->AllocatePicture(0, X264_CSP_I420, width_, height_, false);
        }
    }
    catch (const std::runtime_error& error)
    {
        THROW_ADOBE_EXCEPTION(ErrorVideoEncoding, "%s", error.what());
    }

    // Released however the encode ends: they only serve this segment.
    struct SegmentGuard
    {
        Renderer& renderer;
        ~SegmentGuard()
        {
            renderer.store_.AbandonStore();
            renderer.keptPictures_.clear();
            renderer.keptInputs_.clear();
        }
    } segmentGuard{*this};
    const std::size_t kept = twoPass ? KeepAnalysisPictures(bounds.end - bounds.first) : 0;
    // Both passes of a kept frame use its own picture: the final pass finds
    // the analysis pass's conversion in it.
    const auto prepare = [&](std::int32_t f)
    {
        const auto slot = static_cast<std::size_t>(f - bounds.first);
        x264_picture_t* picture =
            slot < kept ? keptPictures_[slot].get() : pictures[f % (1 + FramesAhead)].get();
        return PrepareFrame(f * settings_.timeStep, *picture, timings,
                            slot < kept ? &keptInputs_[slot] : nullptr);
    };

    std::uint64_t passBytes = 0;
    for (std::int32_t p = 0; p < passCount; ++p)
    {
        const std::int32_t pass = passes[p];
        const std::int64_t passStart = Zovazaz::GetMilliseconds();
        passBytes = 0;
        std::uint32_t* storeTime = pass != AnalysisPass ? &timings.store : nullptr;

        // Opening and closing an encoder is x264's own work, counted with
        // its encode calls.
        const std::int64_t openStart = Zovazaz::GetMilliseconds();
        std::shared_ptr<Zovazaz::X264Library::Encoder> encoder =
            CreateEncoder(pass, statsFile.Path());
        timings.encode += ElapsedSince(openStart);
        // Frames are checked out and converted FramesAhead ahead of the one
        // x264 encodes, so each worker has more than one frame's encode time
        // to finish; a user who has stopped the encode gets no frame read
        // ahead.
        std::deque<std::unique_ptr<PreparedFrame>> ahead;
        for (std::int32_t f = bounds.first; f < bounds.first + FramesAhead && f < bounds.end; ++f)
        {
            if (f > bounds.first)
            {
                source_.CheckAbort();
            }
            ahead.push_back(prepare(f));
        }
        for (std::int32_t f = bounds.first; f < bounds.end; ++f)
        {
            const std::unique_ptr<PreparedFrame> current = std::move(ahead.front());
            ahead.pop_front();
            const std::int64_t waitStart = Zovazaz::GetMilliseconds();
            FinishFrame(*current);
            timings.convert += ElapsedSince(waitStart);
            if (f + FramesAhead < bounds.end)
            {
                source_.CheckAbort();
                ahead.push_back(prepare(f + FramesAhead));
            }
            const std::int32_t n =
                EncodeFrame(*encoder, current->picture, timings.encode, storeTime);
            if (n > 0)
            {
                passBytes += static_cast<std::uint64_t>(n);
                source_.ReportProgress(++progress, progressTotal);
            }
            else
            {
                source_.CheckAbort();
            }
        }
        while (libraries_.x264->encoder_delayed_frames(encoder->handle) > 0)
        {
            const std::int32_t n = EncodeFrame(*encoder, nullptr, timings.encode, storeTime);
            passBytes += static_cast<std::uint64_t>(n);
            source_.ReportProgress(++progress, progressTotal);
        }
        if (storeTime != nullptr)
        {
            const std::int64_t storeStart = Zovazaz::GetMilliseconds();
            store_.FinishStore();
            *storeTime += ElapsedSince(storeStart);
        }
        ZLOG(Verbose) << fmt::sprintf("Pass %d time: %.3f s", pass,
                                      Seconds(ElapsedSince(passStart)));
        // Closing the analysis pass completes the statistics file that the
        // final pass reads.
        const std::int64_t closeStart = Zovazaz::GetMilliseconds();
        encoder.reset();
        timings.encode += ElapsedSince(closeStart);
    }

    timings.total = ElapsedSince(start);
    LogSummary(bounds, passBytes, timings);
    source_.SegmentEncoded();
}

std::shared_ptr<Zovazaz::X264Library::Encoder> Renderer::CreateEncoder(std::int32_t pass,
                                                                       std::string& statsFilePath)
{
    const Zovazaz::X264Library& x264 = *libraries_.x264;
    x264_param_t params{};
    // No preset and no tune: the library's defaults.
    x264.DefaultPreset(params, -1, 0);
    Zovazaz::X264Library::SetFormat(params, width_, height_, settings_.timeScale,
                                    settings_.timeStep, false);
    if (settings_.averageBitrate)
    {
        Zovazaz::X264Library::SetBitrate(params, settings_.targetBitrateKbps);
    }
    else
    {
        Zovazaz::X264Library::SetRateFactor(params, static_cast<float>(settings_.rateFactor));
    }
    params.i_threads = Zovazaz::GetProcessorCount();
    params.i_lookahead_threads = params.i_threads;
    params.b_sliced_threads = 1;
    if (settings_.keyFrameInterval != 0)
    {
        params.i_keyint_max = settings_.keyFrameInterval;
    }
    if (settings_.bFrames != EncodeSettings::DefaultBFrames)
    {
        params.i_bframe = settings_.bFrames;
    }
    if (pass == AnalysisPass)
    {
        params.rc.b_stat_write = 1;
        params.rc.psz_stat_out = statsFilePath.data();
        x264.param_apply_fastfirstpass(&params);
    }
    else
    {
        // The storing passes need every picture fully reconstructed.
        params.b_full_recon = 1;
        if (pass == FinalPass)
        {
            params.rc.b_stat_read = 1;
            params.rc.psz_stat_in = statsFilePath.data();
        }
    }
    x264.ApplyProfile(params, -1);
    // libx264's AVX-512 macroblock-tree routine works on 8 macroblocks at a
    // time past the end of a shorter row, reading memory it never wrote, so
    // the same input would not always give the same preview. Without it every
    // encode is reproducible, at no measurable cost.
    params.cpu &= ~X264_CPU_AVX512;
    ZLOG(Verbose) << fmt::sprintf(
        "Encoder pass %d: %d x %d, rate control %d, rate factor %.1f, bitrate %d, threads %d, "
        "key-frame interval %d, b-frames %d, CPU flags 0x%x",
        pass, params.i_width, params.i_height, params.rc.i_rc_method, params.rc.f_rf_constant,
        params.rc.i_bitrate, params.i_threads, params.i_keyint_max, params.i_bframe, params.cpu);
    try
    {
        return x264.OpenEncoder(params);
    }
    catch (const std::runtime_error& error)
    {
        THROW_ADOBE_EXCEPTION(ErrorVideoEncoding, "%s (pass %d, %d x %d)", error.what(), pass,
                              width_, height_);
    }
}

std::size_t Renderer::KeepAnalysisPictures(std::int32_t frames)
{
    const std::size_t pictureBytes =
        static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3 / 2;
    const std::size_t wanted =
        std::min(static_cast<std::size_t>(std::max(frames, 0)),
                 pictureBytes > 0 ? KeptPictureBudget / pictureBytes : std::size_t{0});
    keptPictures_.reserve(wanted);
    for (std::size_t i = 0; i < wanted; ++i)
    {
        try
        {
            keptPictures_.push_back(
                libraries_.x264->AllocatePicture(0, X264_CSP_I420, width_, height_, false));
        }
        catch (const std::runtime_error&)
        {
            // Only a saving: the frames without a picture are converted twice.
            break;
        }
    }
    keptInputs_.assign(keptPictures_.size(), ConvertedInput{});
    return keptPictures_.size();
}

Renderer::PreparedFrame::~PreparedFrame()
{
    if (conversion.valid())
    {
        conversion.wait();
    }
}

void Renderer::FinishFrame(PreparedFrame& prepared)
{
    if (prepared.conversion.valid())
    {
        prepared.conversion.get();
    }
    store_.RecordHash(prepared.frameIndex, prepared.worldWidth, prepared.worldHeight,
                      prepared.hash);
}

std::unique_ptr<Renderer::PreparedFrame> Renderer::PrepareFrame(std::int32_t time,
                                                                x264_picture_t& picture,
                                                                SegmentTimings& timings,
                                                                ConvertedInput* converted)
{
    ZLOG(Verbose) << "CheckoutFrame: checkout at time " << time;
    const std::int64_t checkoutStart = Zovazaz::GetMilliseconds();
    auto prepared = std::make_unique<PreparedFrame>();
    const LentFrame input = source_.Checkout(time);
    prepared->loan = input.loan;
    prepared->picture = &picture;
    const PixelView world = input.view;

    const std::int32_t frameIndex = time / settings_.timeStep;
    store_.ResetRecord(frameIndex, time);
    picture.i_pts = frameIndex;
    picture.i_type = X264_TYPE_AUTO;

    // The worker hashes the input before converting it, so that the hash
    // costs this thread nothing; the hash is recorded when the frame is
    // finished. In the final pass over a picture kept from the analysis
    // pass, a matching hash shows the picture holds this input already.
    prepared->frameIndex = frameIndex;
    prepared->worldWidth = world.width;
    prepared->worldHeight = world.height;
    timings.checkout += ElapsedSince(checkoutStart);
    const std::size_t lane = static_cast<std::size_t>(frameIndex) % ConversionLanes;
    prepared->conversion = convertWorkers_[lane].Run(
        [this, world, &picture, converted, lane, &hash = prepared->hash]
        {
            hash = ComputeFrameHash(world.pixels, world.width, world.height, world.rowBytes);
            if (converted != nullptr && converted->valid && converted->hash == hash &&
                converted->worldWidth == world.width && converted->worldHeight == world.height)
            {
                return;
            }
            if (converted != nullptr)
            {
                // Not valid until the conversion has succeeded.
                *converted = ConvertedInput{};
            }
            ConvertArgbToPicture(*libraries_.swscale, inputScalers_[lane], world.pixels,
                                 world.width, world.height, world.rowBytes, picture, width_,
                                 height_);
            if (converted != nullptr)
            {
                *converted = ConvertedInput{hash, world.width, world.height, true};
            }
        });
    return prepared;
}

std::int32_t Renderer::EncodeFrame(Zovazaz::X264Library::Encoder& encoder, x264_picture_t* picture,
                                   std::uint32_t& encodeTime, std::uint32_t* storeTime)
{
    const std::int64_t encodeStart = Zovazaz::GetMilliseconds();
    x264_nal_t* nals = nullptr;
    int nalCount = 0;
    x264_picture_t output;
    const std::int32_t n =
        libraries_.x264->encoder_encode(encoder.handle, &nals, &nalCount, picture, &output);
    encodeTime += ElapsedSince(encodeStart);
    if (n < 0)
    {
        THROW_ADOBE_EXCEPTION(ErrorVideoEncoding, "");
    }
    if (n > 0 && storeTime != nullptr)
    {
        const std::int64_t storeStart = Zovazaz::GetMilliseconds();
        // The reconstruction lands on the frame it shows, whatever order the
        // encoder hands frames out in.
        if (output.i_pts < 0 || output.i_pts >= store_.RecordCount())
        {
            THROW_ADOBE_EXCEPTION(ErrorVideoEncoding, "Encoder returned frame %lld of %d",
                                  static_cast<long long>(output.i_pts), store_.RecordCount());
        }
        store_.BeginStore(static_cast<std::int32_t>(output.i_pts), output, n, width_, height_);
        *storeTime += ElapsedSince(storeStart);
    }
    return n;
}

void Renderer::LogSummary(const SegmentBounds& bounds, std::uint64_t encodedBytes,
                          const SegmentTimings& timings) const
{
    const std::uint32_t actualBitrate = ComputeBitrateKbps(
        encodedBytes, static_cast<std::int64_t>(bounds.end - bounds.first) * settings_.timeStep,
        settings_.timeScale);

    std::uint64_t storageSize = 0;
    std::uint64_t originalSize = 0;
    for (std::int32_t f = bounds.first; f < bounds.end; ++f)
    {
        const FrameRecord& record = *store_.Find(f);
        storageSize += record.StoredBytes();
        originalSize += record.PlaneBytes();
    }
    const float ratio = originalSize > 0 ? static_cast<float>(storageSize) * 100.0f /
                                               static_cast<float>(originalSize)
                                         : 0.0f;
    const std::uint32_t unaccounted =
        timings.total - timings.checkout - timings.convert - timings.encode - timings.store;

    ZLOG(Info) << fmt::sprintf(
        "Frame size: %d x %d, frames: %d - %d (%d), mode: %s,\n"
        "\ttarget bitrate: %d, actual bitrate: %u, rate factor: %d, keyframe step: %d, "
        "b-frames: %d\n"
        "\tEncoded size: %llu, original size: %llu, storage size: %llu, storage compression "
        "ratio: %.1f%%\n"
        "\tTime taken: %.3f s, check-out time: %.3f, convert time: %.3f, encode time: %.3f, "
        "store time: %.3f, unaccounted time: %.3f",
        width_, height_, bounds.first, bounds.end - 1, bounds.end - bounds.first,
        settings_.averageBitrate ? "Bitrate" : "Rate Factor", settings_.targetBitrateKbps,
        actualBitrate, settings_.rateFactor, settings_.keyFrameInterval,
        settings_.bFramesChecked ? 1 : 0, static_cast<unsigned long long>(encodedBytes),
        static_cast<unsigned long long>(originalSize), static_cast<unsigned long long>(storageSize),
        ratio, Seconds(timings.total), Seconds(timings.checkout), Seconds(timings.convert),
        Seconds(timings.encode), Seconds(timings.store), Seconds(unaccounted));
}
