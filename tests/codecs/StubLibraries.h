#pragma once

#include <dlfcn.h>

#include <memory>
#include <string>

#include "support/Paths.h"

namespace CodecTests
{

// The folder of the stand-in libraries that lack one entry point each, and
// the folder of the one that is only found through PATH.
inline const std::string StubDirectory = CODEC_STUB_DIR;
inline const std::string StubPathDirectory = CODEC_STUB_PATH_DIR;

// A reference of the test's own on a library, to watch when the code under
// test really lets go of it.
struct LibraryReferenceCloser
{
    void operator()(void* handle) const { dlclose(handle); }
};
using LibraryReference = std::unique_ptr<void, LibraryReferenceCloser>;

inline LibraryReference OpenReference(const std::string& path, int flags = RTLD_NOW)
{
    return LibraryReference(dlopen(path.c_str(), flags));
}

// True while the process has the library loaded (takes no reference).
inline bool IsLoaded(const std::string& path)
{
    return OpenReference(path, RTLD_NOW | RTLD_NOLOAD) != nullptr;
}

// Saves PATH and puts it back however a test ends.
class PathRestorer
{
  public:
    PathRestorer()
        : value_(Zovazaz::GetEnvironmentText("PATH")), wasSet_(Zovazaz::IsEnvironmentSet("PATH"))
    {
    }
    ~PathRestorer()
    {
        if (wasSet_)
        {
            Zovazaz::SetEnvironmentText("PATH", value_);
        }
        else
        {
            Zovazaz::UnsetEnvironmentText("PATH");
        }
    }

  private:
    std::string value_;
    bool wasSet_;
};

} // namespace CodecTests
