#include "codecs/LibraryCache.h"

#include <mutex>
#include <string>

#include "support/Paths.h"

namespace Zovazaz
{

namespace
{

template <class Library> std::shared_ptr<Library> GetShared(StringRef directory, StringRef baseName)
{
    // Global set-up, the renderer and the benchmark may ask from different
    // threads; one lock per binding keeps them from loading two copies.
    static std::mutex mutex;
    static std::weak_ptr<Library> current;
    static std::string currentBaseName;

    std::lock_guard lock(mutex);
    if (std::shared_ptr<Library> library = current.lock();
        library && currentBaseName == baseName.View())
    {
        return library;
    }
    ScopedPathPrepend guard("PATH", directory);
    auto library = std::make_shared<Library>(baseName);
    current = library;
    currentBaseName = baseName.Str();
    return library;
}

} // namespace

std::shared_ptr<X264Library> GetX264Library(StringRef directory, StringRef baseName)
{
    return GetShared<X264Library>(directory, baseName);
}

std::shared_ptr<AvutilLibrary> GetAvutilLibrary(StringRef directory, StringRef baseName)
{
    return GetShared<AvutilLibrary>(directory, baseName);
}

std::shared_ptr<SwScaleLibrary> GetSwScaleLibrary(StringRef directory, StringRef baseName)
{
    return GetShared<SwScaleLibrary>(directory, baseName);
}

} // namespace Zovazaz
