#pragma once

#include <memory>

extern "C"
{
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
#include <libswscale/version.h>
}

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
    Context GetContext(int sourceWidth, int sourceHeight, AVPixelFormat sourceFormat,
                       int destinationWidth, int destinationHeight, AVPixelFormat destinationFormat,
                       int flags) const;

    decltype(&::sws_getContext) getContext = nullptr;
    decltype(&::sws_freeContext) freeContext = nullptr;
    decltype(&::sws_scale) scale = nullptr;
    decltype(&::sws_setColorspaceDetails) setColorspaceDetails = nullptr;
    decltype(&::sws_getColorspaceDetails) getColorspaceDetails = nullptr;
};

} // namespace Zovazaz
