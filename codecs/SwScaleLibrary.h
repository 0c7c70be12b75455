#pragma once

#include <memory>

extern "C"
{
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
#include <libswscale/version.h>
}

#include <cstdint>

#include "codecs/DynamicLibrary.h"
#include "support/StringRef.h"

namespace Zovazaz
{

// libswscale loaded at run time, of the major version its headers name. It
// does every pixel-format conversion and scaling of the renderer.
struct SwScaleLibrary : DynamicLibrary
{
    using Context = std::shared_ptr<SwsContext>;

    // Loads lib<baseName>.so.<LIBSWSCALE_VERSION_MAJOR> and resolves the entry
    // points in order. Throws std::runtime_error when the library cannot be
    // loaded or an entry point is missing ("Function <member> not found").
    static constexpr const char* DefaultBaseName = "swscale";
    explicit SwScaleLibrary(StringRef baseName = DefaultBaseName);

    // A scaling context, freed by sws_freeContext when its last holder goes;
    // empty when libswscale refuses the sizes or formats, or a format is
    // not a libavutil pixel format at all. Full-range formats
    // are passed as their ordinary counterparts with the range set apart.
    // With threads above 1 the context splits each conversion into slices
    // that libswscale runs on threads of its own (through ScalePicture).
    Context GetContext(int sourceWidth, int sourceHeight, AVPixelFormat sourceFormat,
                       int destinationWidth, int destinationHeight, AVPixelFormat destinationFormat,
                       int flags, int threads = 1) const;

    // One side of a whole-picture conversion: the caller's planes, lent.
    struct Picture
    {
        int width = 0;
        int height = 0;
        AVPixelFormat format = AV_PIX_FMT_NONE;
        const std::uint8_t* planes[4] = {};
        int strides[4] = {};
    };

    // Converts a whole picture with a context made for these sizes and
    // formats, through libswscale's frame interface: the only one that uses
    // a context's slice threads (sws_scale runs on the calling thread alone).
    // The pictures are wrapped, not copied. Answers a negative libswscale
    // error code, or the destination height.
    int ScalePicture(SwsContext* context, const Picture& source, const Picture& destination) const;

    decltype(&::sws_getContext) getContext = nullptr;
    decltype(&::sws_freeContext) freeContext = nullptr;
    decltype(&::sws_scale) scale = nullptr;
    decltype(&::sws_setColorspaceDetails) setColorspaceDetails = nullptr;
    decltype(&::sws_getColorspaceDetails) getColorspaceDetails = nullptr;
    decltype(&::sws_alloc_context) allocContext = nullptr;
    decltype(&::sws_init_context) initContext = nullptr;
    decltype(&::sws_scale_frame) scaleFrame = nullptr;
    // libavutil's option, frame and buffer functions, which a threaded
    // context and the frame interface need; libswscale links libavutil, so
    // they resolve through its handle.
    decltype(&::av_opt_set_int) setOption = nullptr;
    decltype(&::av_frame_alloc) frameAlloc = nullptr;
    decltype(&::av_frame_free) frameFree = nullptr;
    decltype(&::av_buffer_create) bufferCreate = nullptr;
};

} // namespace Zovazaz
