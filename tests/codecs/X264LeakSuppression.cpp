// libx264 loses its copy of the parameter strings when x264_encoder_open
// refuses a parameter set (166 bytes per refusal); the tests refuse on purpose,
// and the leak sanitizer must not take x264's loss for ours. It can only name
// the library while it is still mapped at exit, so the test keeps it loaded.
#include <dlfcn.h>

#include "codecs/DynamicLibrary.h"
#include "codecs/X264Library.h"

extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:libx264.so\n";
}

namespace
{

const bool x264Pinned = []
{
    const std::string name = Zovazaz::FormatLibraryName("x264", X264_BUILD);
    return dlopen(name.c_str(), RTLD_NOW | RTLD_NODELETE) != nullptr;
}();

} // namespace
