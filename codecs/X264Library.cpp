#include "codecs/X264Library.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "support/LogException.h"

namespace Zovazaz
{

namespace
{

// x264's published names; the header's tables are the source of truth for the
// build we load. The psy tunes are the first six of x264's tune list.
constexpr int PresetCount = 10;
constexpr int ProfileCount = 6;
constexpr int PsyTuneCount = 6;

} // namespace

X264Library::Encoder::~Encoder()
{
    if (handle != nullptr)
    {
        library->encoder_close(handle);
    }
}

void X264Library::CleanPicture::operator()(x264_picture_t* picture) const noexcept
{
    // A picture whose allocation failed owns no planes to give back.
    if (picture->img.plane[0] != nullptr)
    {
        library->picture_clean(picture);
    }
    delete picture;
}

X264Library::X264Library(StringRef baseName)
    : DynamicLibrary(FormatLibraryName(baseName, X264_BUILD))
{
    // Resolved in a fixed order, stopping at the first that is missing; a
    // library without one of them is refused even if nothing calls it, so a
    // wrong or broken build is caught at start-up rather than mid-render.
    ResolveRequired(param_default_preset, "x264_param_default_preset", "param_default_preset");
    ResolveRequired(param_apply_fastfirstpass, "x264_param_apply_fastfirstpass",
                    "param_apply_fastfirstpass");
    ResolveRequired(param_apply_profile, "x264_param_apply_profile", "param_apply_profile");
    ResolveRequired(picture_init, "x264_picture_init", "picture_init");
    ResolveRequired(picture_alloc, "x264_picture_alloc", "picture_alloc");
    ResolveRequired(picture_clean, "x264_picture_clean", "picture_clean");
    ResolveRequired(encoder_encode, "x264_encoder_encode", "encoder_encode");
    ResolveRequired(encoder_delayed_frames, "x264_encoder_delayed_frames",
                    "encoder_delayed_frames");
    ResolveRequired(encoder_headers, "x264_encoder_headers", "encoder_headers");
    ResolveRequired(encoder_close, "x264_encoder_close", "encoder_close");

    // The open function carries the build number, so a library of another
    // generation (whose structures differ) cannot be opened by mistake.
    const std::string build = std::to_string(X264_BUILD);
    encoder_open = Resolve<decltype(encoder_open)>(("x264_encoder_open_" + build).c_str());
    if (encoder_open == nullptr)
    {
        const std::string message = "Dynamic library function not found: encoder_open" + build;
        ThrowRuntimeConditionFailure(ZOVAZAZ_LOCATION, message.c_str(), "encoder_open != nullptr");
    }
}

void X264Library::DefaultPreset(x264_param_t& params, int presetIndex, int tuneSelector) const
{
    const int preset = std::clamp(presetIndex, -1, PresetCount - 1);
    const int psyTune = std::clamp(tuneSelector, 0, PsyTuneCount);
    const char* presetName = preset < 0 ? nullptr : x264_preset_names[preset];
    const char* tune = psyTune == 0 ? "" : x264_tune_names[psyTune - 1];
    param_default_preset(&params, presetName, tune);
}

void X264Library::SetFormat(x264_param_t& params, int width, int height, int fpsNumerator,
                            int fpsDenominator, bool variableFrameRate) noexcept
{
    params.i_width = width;
    params.i_height = height;
    params.i_threads = 1;
    params.i_fps_num = static_cast<std::uint32_t>(fpsNumerator);
    params.i_fps_den = static_cast<std::uint32_t>(fpsDenominator);
    params.i_timebase_num = static_cast<std::uint32_t>(fpsNumerator);
    params.i_timebase_den = static_cast<std::uint32_t>(fpsDenominator);
    params.b_vfr_input = variableFrameRate ? 1 : 0;
}

void X264Library::SetRateFactor(x264_param_t& params, float rateFactor) noexcept
{
    params.rc.i_rc_method = X264_RC_CRF;
    params.rc.f_rf_constant = rateFactor;
    params.rc.f_rf_constant_max = 35.0f;
}

void X264Library::SetBitrate(x264_param_t& params, int kbitPerSecond) noexcept
{
    params.rc.i_rc_method = X264_RC_ABR;
    params.rc.i_qp_constant = 0;
    params.rc.i_bitrate = kbitPerSecond;
    params.rc.f_rf_constant = 0.0f;
}

void X264Library::ApplyProfile(x264_param_t& params, int profileIndex) const
{
    const int profile = std::clamp(profileIndex, -1, ProfileCount - 1);
    param_apply_profile(&params, profile < 0 ? nullptr : x264_profile_names[profile]);
}

std::shared_ptr<X264Library::Encoder> X264Library::OpenEncoder(x264_param_t& params) const
{
    params.i_log_level = logLevel_;
    if (logCallback_ != nullptr)
    {
        params.pf_log = logCallback_;
        params.p_log_private = logCallbackContext_;
    }

    // The owner exists before the encoder does, so nothing can leak an open
    // encoder between opening and wrapping.
    auto encoder = std::make_shared<Encoder>(*this);
    encoder->handle = encoder_open(&params);
    if (encoder->handle == nullptr)
    {
        throw std::runtime_error("x264 refused to open an encoder with these settings");
    }
    return encoder;
}

X264Library::Picture X264Library::AllocatePicture(std::int64_t pts, int colorSpace, int width,
                                                  int height, bool fill) const
{
    Picture picture(new x264_picture_t{}, CleanPicture{this});
    if (picture_alloc(picture.get(), colorSpace, width, height) < 0 ||
        picture->img.plane[0] == nullptr)
    {
        throw std::runtime_error("x264 could not allocate a picture of " + std::to_string(width) +
                                 " x " + std::to_string(height));
    }
    picture->i_pts = pts;

    if (fill && colorSpace == X264_CSP_I420)
    {
        // Each plane by its own stride and rows: x264 rounds the chroma
        // planes down for odd sizes, so one run over "half the luma size"
        // would write past the allocation.
        const int chromaRows = height / 2;
        std::memset(picture->img.plane[0], 16,
                    static_cast<std::size_t>(picture->img.i_stride[0]) * height);
        std::memset(picture->img.plane[1], 128,
                    static_cast<std::size_t>(picture->img.i_stride[1]) * chromaRows);
        std::memset(picture->img.plane[2], 128,
                    static_cast<std::size_t>(picture->img.i_stride[2]) * chromaRows);
    }
    return picture;
}

void X264Library::SetLogRouting(int level, LogCallback callback, void* context) noexcept
{
    logLevel_ = level;
    logCallback_ = callback;
    logCallbackContext_ = context;
}

} // namespace Zovazaz
