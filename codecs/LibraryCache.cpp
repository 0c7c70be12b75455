#include "codecs/LibraryCache.h"

#include <mutex>

#include "support/Paths.h"

namespace Zovazaz
{

namespace
{

template <class Library> std::shared_ptr<Library> GetShared(StringRef directory)
{
    // Global set-up, the renderer and the benchmark may ask from different
    // threads; one lock per binding keeps them from loading two copies.
    static std::mutex mutex;
    static std::weak_ptr<Library> current;

    std::lock_guard lock(mutex);
    if (std::shared_ptr<Library> library = current.lock())
    {
        return library;
    }
    ScopedPathPrepend guard("PATH", directory);
    auto library = std::make_shared<Library>();
    current = library;
    return library;
}

} // namespace

std::shared_ptr<X264Library> GetX264Library(StringRef directory)
{
    return GetShared<X264Library>(directory);
}

std::shared_ptr<AvutilLibrary> GetAvutilLibrary(StringRef directory)
{
    return GetShared<AvutilLibrary>(directory);
}

std::shared_ptr<SwScaleLibrary> GetSwScaleLibrary(StringRef directory)
{
    return GetShared<SwScaleLibrary>(directory);
}

} // namespace Zovazaz
