#include "bench/DirectEncoder.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include <x264.h>

#include "codecs/LibraryCache.h"
#include "renderer/PixelConversion.h"
#include "support/System.h"

namespace Bench
{

namespace
{

struct CloseEncoder
{
    void operator()(x264_t* encoder) const noexcept { x264_encoder_close(encoder); }
};

using Encoder = std::unique_ptr<x264_t, CloseEncoder>;

// The effect routes x264's messages into its log file; here they would only
// clutter the table, so they are dropped at the same level of detail.
void DropLogMessage(void*, int, const char*, va_list) {}

// Deletes the statistics file and its companion however the encode ends.
class StatsFiles
{
  public:
    explicit StatsFiles(std::string path) : path_(std::move(path)) {}
    ~StatsFiles()
    {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        std::filesystem::remove(path_ + ".mbtree", ignored);
    }
    StatsFiles(const StatsFiles&) = delete;
    StatsFiles& operator=(const StatsFiles&) = delete;
    char* Path() noexcept { return path_.data(); }

  private:
    std::string path_;
};

constexpr int SinglePass = -1;
constexpr int AnalysisPass = 0;
constexpr int FinalPass = 1;

// The renderer's per-pass configuration, setting for setting and in its order.
Encoder OpenEncoder(const EncoderSettings& settings, int pass, char* statsPath)
{
    x264_param_t params{};
    if (x264_param_default_preset(&params, nullptr, "") < 0)
    {
        throw std::runtime_error("x264 refused its default parameters");
    }
    params.i_width = settings.width;
    params.i_height = settings.height;
    params.i_threads = 1;
    params.i_fps_num = settings.timeScale;
    params.i_fps_den = static_cast<std::uint32_t>(settings.timeStep);
    params.i_timebase_num = settings.timeScale;
    params.i_timebase_den = static_cast<std::uint32_t>(settings.timeStep);
    params.b_vfr_input = 0;
    if (settings.constantRateFactor)
    {
        params.rc.i_rc_method = X264_RC_CRF;
        params.rc.f_rf_constant = static_cast<float>(settings.rateFactor);
        params.rc.f_rf_constant_max = 35.0f;
    }
    else
    {
        params.rc.i_rc_method = X264_RC_ABR;
        params.rc.i_qp_constant = 0;
        params.rc.i_bitrate = settings.bitrateKbps;
        params.rc.f_rf_constant = 0.0f;
    }
    params.i_threads = Zovazaz::GetProcessorCount();
    params.i_lookahead_threads = params.i_threads;
    params.b_sliced_threads = 1;
    if (settings.keyFrameInterval != 0)
    {
        params.i_keyint_max = settings.keyFrameInterval;
    }
    if (settings.youTubePreset)
    {
        params.i_bframe = 2;
    }
    else if (!settings.useBFrames)
    {
        params.i_bframe = 0;
    }
    if (pass == AnalysisPass)
    {
        params.rc.b_stat_write = 1;
        params.rc.psz_stat_out = statsPath;
        x264_param_apply_fastfirstpass(&params);
    }
    else
    {
        params.b_full_recon = 1;
        if (pass == FinalPass)
        {
            params.rc.b_stat_read = 1;
            params.rc.psz_stat_in = statsPath;
        }
    }
    x264_param_apply_profile(&params, nullptr);
    // The effect keeps libx264's AVX-512 code out, which would make the encode
    // depend on memory it never wrote.
    params.cpu &= ~X264_CPU_AVX512;
    params.i_log_level = X264_LOG_INFO;
    params.pf_log = &DropLogMessage;
    params.p_log_private = nullptr;

    Encoder encoder(x264_encoder_open(&params));
    if (!encoder)
    {
        throw std::runtime_error("x264 refused to open an encoder at " +
                                 std::to_string(settings.width) + " x " +
                                 std::to_string(settings.height));
    }
    return encoder;
}

// One encode call; keeps the access unit when a stream is wanted.
int EncodeOne(x264_t* encoder, x264_picture_t* picture,
              std::vector<std::vector<std::uint8_t>>* stream)
{
    x264_nal_t* nals = nullptr;
    int nalCount = 0;
    x264_picture_t output;
    const int n = x264_encoder_encode(encoder, &nals, &nalCount, picture, &output);
    if (n < 0)
    {
        throw std::runtime_error("x264_encoder_encode failed");
    }
    if (n > 0 && stream != nullptr)
    {
        // x264 lays the payloads of one call out back to back.
        stream->emplace_back(nals[0].p_payload, nals[0].p_payload + n);
    }
    return n;
}

} // namespace

PlanarClip::PlanarClip(const MemoryLayerSource& layer)
    : width_(layer.Width() & ~1), height_(layer.Height() & ~1)
{
    if (width_ < 2 || height_ < 2)
    {
        throw std::runtime_error("libswscale cannot convert the clip to planar 4:2:0");
    }
    // The effect's own conversion, so that x264 gets the same pictures.
    const std::shared_ptr<Zovazaz::SwScaleLibrary> swscale = Zovazaz::GetSwScaleLibrary();
    Scaler scaler;
    const std::size_t lumaSize = static_cast<std::size_t>(width_) * height_;
    for (int f = 0; f < layer.FrameCount(); ++f)
    {
        const EffectHost::World& world = layer.Frame(f);
        frames_.emplace_back(lumaSize + lumaSize / 2);
        x264_picture_t picture{};
        for (int plane = 0; plane < 3; ++plane)
        {
            picture.img.plane[plane] = const_cast<std::uint8_t*>(Plane(f, plane));
            picture.img.i_stride[plane] = Stride(plane);
        }
        ConvertArgbToPicture(*swscale, scaler,
                             reinterpret_cast<const std::uint8_t*>(world.Def().data), world.Width(),
                             world.Height(), world.RowBytes(), picture, width_, height_);
    }
}

const std::uint8_t* PlanarClip::Plane(int frame, int plane) const
{
    const std::size_t lumaSize = static_cast<std::size_t>(width_) * height_;
    const std::uint8_t* base = frames_.at(static_cast<std::size_t>(frame)).data();
    return plane == 0 ? base : plane == 1 ? base + lumaSize : base + lumaSize + lumaSize / 4;
}

bool SimilarSize(std::uint64_t a, std::uint64_t b) noexcept
{
    const double larger = static_cast<double>(std::max(a, b));
    const double difference = static_cast<double>(std::max(a, b) - std::min(a, b));
    return difference <= larger * SizeTolerance;
}

DirectEncode EncodeDirect(const PlanarClip& clip, const EncoderSettings& settings,
                          const std::string& tempFolder, bool keepStream)
{
    DirectEncode result;
    const int passCount = settings.constantRateFactor ? 1 : 2;
    const int passes[2] = {passCount == 1 ? SinglePass : AnalysisPass, FinalPass};
    const int segmentLength = std::max(settings.segmentLength, 1);

    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = Zovazaz::GetProcessCpuMilliseconds();
    for (int first = 0; first < clip.FrameCount(); first += segmentLength)
    {
        const int end = std::min(first + segmentLength, clip.FrameCount());
        StatsFiles stats((std::filesystem::path(tempFolder) / "RuzirazuBenchStats.txt").string());
        std::vector<std::vector<std::uint8_t>>* stream = nullptr;
        if (keepStream)
        {
            stream = &result.segments.emplace_back();
        }
        std::uint64_t passBytes = 0;
        for (int p = 0; p < passCount; ++p)
        {
            const int pass = passes[p];
            auto* kept = pass == AnalysisPass ? nullptr : stream;
            Encoder encoder = OpenEncoder(settings, pass, stats.Path());
            passBytes = 0;
            for (int f = first; f < end; ++f)
            {
                x264_picture_t picture;
                x264_picture_init(&picture);
                picture.img.i_csp = X264_CSP_I420;
                picture.img.i_plane = 3;
                for (int plane = 0; plane < 3; ++plane)
                {
                    picture.img.plane[plane] = const_cast<std::uint8_t*>(clip.Plane(f, plane));
                    picture.img.i_stride[plane] = clip.Stride(plane);
                }
                picture.i_pts = f;
                picture.i_type = X264_TYPE_AUTO;
                passBytes += static_cast<std::uint64_t>(EncodeOne(encoder.get(), &picture, kept));
            }
            while (x264_encoder_delayed_frames(encoder.get()) > 0)
            {
                passBytes += static_cast<std::uint64_t>(EncodeOne(encoder.get(), nullptr, kept));
            }
        }
        result.bytes += passBytes;
    }
    result.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    result.cpuMilliseconds = Zovazaz::GetProcessCpuMilliseconds() - cpuStart;
    return result;
}

} // namespace Bench
