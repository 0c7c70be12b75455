#include "codecs/AvutilLibrary.h"

namespace Zovazaz
{

AvutilLibrary::AvutilLibrary(StringRef baseName)
    : DynamicLibrary(FormatLibraryName(baseName, LIBAVUTIL_VERSION_MAJOR))
{
    ResolveRequired(av_log_set_callback, "av_log_set_callback");
    ResolveRequired(av_pix_fmt_count_planes, "av_pix_fmt_count_planes");
    ResolveRequired(av_pix_fmt_desc_get, "av_pix_fmt_desc_get");
    ResolveRequired(av_get_padded_bits_per_pixel, "av_get_padded_bits_per_pixel",
                    "av_get_padded_bits_per_pixel");
    ResolveRequired(av_image_get_linesize, "av_image_get_linesize");
    ResolveRequired(av_opt_set, "av_opt_set");
    ResolveRequired(av_opt_set_int, "av_opt_set_int");
    ResolveRequired(av_frame_alloc, "av_frame_alloc");
    ResolveRequired(av_frame_free, "av_frame_free");
    ResolveRequired(av_frame_get_buffer, "av_frame_get_buffer");
}

} // namespace Zovazaz
