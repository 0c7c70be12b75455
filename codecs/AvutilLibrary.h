#pragma once

extern "C"
{
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/version.h>
}

#include "codecs/DynamicLibrary.h"
#include "support/StringRef.h"

namespace Zovazaz
{

// libavutil loaded at run time, of the major version its headers name. The
// effect calls only av_log_set_callback; the other entry points must resolve
// for the binding to load, which refuses a library of the wrong build early.
struct AvutilLibrary : DynamicLibrary
{
    // Loads lib<baseName>.so.<LIBAVUTIL_VERSION_MAJOR> and resolves the entry
    // points in order. Throws std::runtime_error when the library cannot be
    // loaded or an entry point is missing ("Function <name> not found").
    static constexpr const char* DefaultBaseName = "avutil";
    explicit AvutilLibrary(StringRef baseName = DefaultBaseName);

    decltype(&::av_log_set_callback) av_log_set_callback = nullptr;
    decltype(&::av_pix_fmt_count_planes) av_pix_fmt_count_planes = nullptr;
    decltype(&::av_pix_fmt_desc_get) av_pix_fmt_desc_get = nullptr;
    decltype(&::av_get_padded_bits_per_pixel) av_get_padded_bits_per_pixel = nullptr;
    decltype(&::av_image_get_linesize) av_image_get_linesize = nullptr;
    decltype(&::av_opt_set) av_opt_set = nullptr;
    decltype(&::av_opt_set_int) av_opt_set_int = nullptr;
    decltype(&::av_frame_alloc) av_frame_alloc = nullptr;
    decltype(&::av_frame_free) av_frame_free = nullptr;
    decltype(&::av_frame_get_buffer) av_frame_get_buffer = nullptr;
};

} // namespace Zovazaz
