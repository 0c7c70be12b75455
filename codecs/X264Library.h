#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>

#include <x264.h>

#include "codecs/DynamicLibrary.h"
#include "support/StringRef.h"

namespace Zovazaz
{

// x264 loaded at run time, by the build that x264.h names (X264_BUILD): the
// entry points the effect uses, resolved by name, and a few typed operations
// that fill a parameter set, open an encoder and allocate pictures with their
// clean-up attached. One per process, held by shared pointers.
class X264Library : public DynamicLibrary
{
  public:
    using LogCallback = void (*)(void* context, int level, const char* format, va_list arguments);

    // An open encoder. Always held by a shared pointer; destroying it closes
    // the encoder through the library, which must outlive it.
    struct Encoder
    {
        explicit Encoder(const X264Library& owner) noexcept : library(&owner) {}
        ~Encoder();
        Encoder(const Encoder&) = delete;
        Encoder& operator=(const Encoder&) = delete;

        const X264Library* library;
        x264_t* handle = nullptr;
    };

    // The deleter of every picture that AllocatePicture hands out.
    struct CleanPicture
    {
        const X264Library* library;
        void operator()(x264_picture_t* picture) const noexcept;
    };

    using Picture = std::shared_ptr<x264_picture_t>;

    // Loads lib<baseName>.so.<X264_BUILD> and resolves every entry point.
    // Throws std::runtime_error when the library cannot be loaded
    // ("Failed to load dynamic library ...") or an entry point is missing
    // ("Function <member> not found"; for the versioned open function
    // "Dynamic library function not found: encoder_open<build>").
    static constexpr const char* DefaultBaseName = "libx264";
    explicit X264Library(StringRef baseName = DefaultBaseName);

    // x264_param_default_preset with the preset of the index (-1 or below:
    // none; above 9: "placebo") and the psy tune of the selector (clamped to
    // 0..6, 0 giving an empty tune).
    void DefaultPreset(x264_param_t& params, int presetIndex, int tuneSelector) const;

    // One thread; the time base is the frame rate.
    static void SetFormat(x264_param_t& params, int width, int height, int fpsNumerator,
                          int fpsDenominator, bool variableFrameRate) noexcept;
    static void SetRateFactor(x264_param_t& params, float rateFactor) noexcept;
    static void SetBitrate(x264_param_t& params, int kbitPerSecond) noexcept;

    // x264_param_apply_profile with the profile of the index (clamped to
    // -1..5; -1 gives no profile). Its result is not examined.
    void ApplyProfile(x264_param_t& params, int profileIndex) const;

    // Applies the log routing to the parameter set and opens an encoder.
    // Throws std::runtime_error when x264 refuses the parameters.
    std::shared_ptr<Encoder> OpenEncoder(x264_param_t& params) const;

    // A picture of the colour space and size with its planes allocated by
    // x264. With fill set and planar 4:2:0, the planes are video black.
    // Throws std::runtime_error when x264 cannot allocate it.
    Picture AllocatePicture(std::int64_t pts, int colorSpace, int width, int height,
                            bool fill) const;

    // Where x264's messages go: copied into every encoder's parameters at
    // open time. A null callback leaves x264's own default logging.
    void SetLogRouting(int level, LogCallback callback, void* context) noexcept;
    int GetLogLevel() const noexcept { return logLevel_; }
    LogCallback GetLogCallback() const noexcept { return logCallback_; }

    decltype(&x264_param_default_preset) param_default_preset = nullptr;
    decltype(&x264_param_apply_fastfirstpass) param_apply_fastfirstpass = nullptr;
    decltype(&x264_param_apply_profile) param_apply_profile = nullptr;
    decltype(&x264_picture_init) picture_init = nullptr;
    decltype(&x264_picture_alloc) picture_alloc = nullptr;
    decltype(&x264_picture_clean) picture_clean = nullptr;
    decltype(&x264_encoder_encode) encoder_encode = nullptr;
    decltype(&x264_encoder_delayed_frames) encoder_delayed_frames = nullptr;
    decltype(&x264_encoder_headers) encoder_headers = nullptr;
    decltype(&x264_encoder_close) encoder_close = nullptr;
    decltype(&x264_encoder_open) encoder_open = nullptr;

  private:
    int logLevel_ = X264_LOG_INFO;
    LogCallback logCallback_ = nullptr;
    void* logCallbackContext_ = nullptr;
};

} // namespace Zovazaz
