#pragma once

#include <memory>
#include <string>

#include "AE_Effect.h"
#include "AE_PluginProperties.h"

namespace EffectHost
{

// A loaded effect module: the shared library, its property list and the entry
// point the list names. The library stays open for the Module's lifetime.
class Module
{
  public:
    // Throws std::runtime_error with dlerror's text when the library cannot be
    // opened, and naming the symbol when the property list or the entry point
    // is missing.
    explicit Module(const std::string& path);

    const std::string& Path() const noexcept { return path_; }
    const PF_PropertyList* Properties() const noexcept { return properties_; }
    PF_EntryPointFunc EntryPoint() const noexcept { return entryPoint_; }

    // The string value of a property, or empty when the list has none.
    static std::string FindString(const PF_PropertyList* list, A_u_long key);

  private:
    struct Closer
    {
        void operator()(void* library) const noexcept;
    };

    std::string path_;
    std::unique_ptr<void, Closer> library_;
    const PF_PropertyList* properties_ = nullptr;
    PF_EntryPointFunc entryPoint_ = nullptr;
};

} // namespace EffectHost
