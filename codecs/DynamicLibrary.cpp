#include "codecs/DynamicLibrary.h"

#include <dlfcn.h>

#include <stdexcept>
#include <string_view>

#include "support/Paths.h"

namespace Zovazaz
{

namespace
{

void* OpenLibrary(const std::string& path) noexcept
{
    // Resolve everything now, so that a library that cannot be used fails
    // here rather than at its first call.
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* OpenFromSearchPath(const std::string& fileName)
{
    const std::string searchPath = GetEnvironmentText("PATH");
    std::string_view rest = searchPath;
    while (!rest.empty())
    {
        const std::size_t end = rest.find(PathListSeparator);
        const std::string_view directory = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);

        // An empty entry would mean the current directory; a library is
        // never taken from wherever the host happens to run.
        if (directory.empty())
        {
            continue;
        }
        std::string path(directory);
        if (path.back() != PathSeparator)
        {
            path += PathSeparator;
        }
        path += fileName;
        if (void* handle = OpenLibrary(path))
        {
            return handle;
        }
    }
    return nullptr;
}

} // namespace

std::string FormatLibraryName(StringRef baseName, std::uint32_t majorVersion)
{
    const std::string_view base = baseName.View();
    std::string name = base.starts_with("lib") ? std::string() : std::string("lib");
    name += base;
    name += ".so.";
    name += std::to_string(majorVersion);
    return name;
}

DynamicLibrary::DynamicLibrary(StringRef fileName) : fileName_(fileName.Str())
{
    // A name with a directory in it would skip the search; the bindings only
    // pass bare file names, so the system's library search decides which copy
    // is loaded.
    // An empty name would hand back the main program itself.
    if (!fileName_.empty())
    {
        handle_ = OpenLibrary(fileName_);
        if (handle_ == nullptr && fileName_.find(PathSeparator) == std::string::npos)
        {
            handle_ = OpenFromSearchPath(fileName_);
        }
    }
    if (handle_ == nullptr)
    {
        throw std::runtime_error("Failed to load dynamic library " + fileName_);
    }
}

DynamicLibrary::~DynamicLibrary()
{
    dlclose(handle_);
}

void DynamicLibrary::ThrowFunctionNotFound(const char* memberName)
{
    throw std::runtime_error(std::string("Function ") + memberName + " not found");
}

void* DynamicLibrary::GetFunction(const char* name) const noexcept
{
    return dlsym(handle_, name);
}

} // namespace Zovazaz
