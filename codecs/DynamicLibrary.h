#pragma once

#include <cstdint>
#include <string>

#include "support/StringRef.h"

namespace Zovazaz
{

// The versioned file name of a shared library: "lib" + base name + ".so." +
// major version, e.g. libx264.so.164 or libavutil.so.57. A base name that
// already starts with "lib" is not given a second one.
std::string FormatLibraryName(StringRef baseName, std::uint32_t majorVersion);

// A loaded shared library, freed when the object goes. The bindings derive
// from it and are owned by shared pointers, so the library stays loaded as
// long as the last owner of its binding lives; it is never copied or moved,
// which keeps the free to exactly one.
class DynamicLibrary
{
  public:
    // Loads the file by the system's own search first, then from each
    // directory of PATH in order. Throws std::runtime_error
    // "Failed to load dynamic library <file name>" when neither finds it.
    explicit DynamicLibrary(StringRef fileName);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The exported symbol, or null when the library has none by that name.
    void* GetFunction(const char* name) const noexcept;

    const std::string& GetFileName() const noexcept { return fileName_; }

  protected:
    // Resolves a symbol into a typed function pointer (null when missing).
    template <class Function> Function Resolve(const char* name) const noexcept
    {
        return reinterpret_cast<Function>(GetFunction(name));
    }

    // Resolves a symbol into the member; a missing one throws
    // std::runtime_error "Function <symbol> not found".
    template <class Function> void ResolveRequired(Function& member, const char* symbol) const
    {
        ResolveRequired(member, symbol, symbol);
    }

    // Resolves a symbol into the member; a missing one throws
    // std::runtime_error "Function <memberName> not found".
    template <class Function>
    void ResolveRequired(Function& member, const char* symbol, const char* memberName) const
    {
        member = Resolve<Function>(symbol);
        if (member == nullptr)
        {
            ThrowFunctionNotFound(memberName);
        }
    }

  private:
    std::string fileName_;
    void* handle_ = nullptr; // never null in a constructed object

    [[noreturn]] static void ThrowFunctionNotFound(const char* memberName);
};

} // namespace Zovazaz
