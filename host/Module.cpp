#include "host/Module.h"

#include <dlfcn.h>

#include <stdexcept>

namespace EffectHost
{

void Module::Closer::operator()(void* library) const noexcept
{
    dlclose(library);
}

namespace
{

std::string LastLoaderError()
{
    const char* text = dlerror();
    return text ? text : "unknown loader error";
}

} // namespace

Module::Module(const std::string& path) : path_(path)
{
    dlerror(); // clear any stale error so the text we report is ours
    library_.reset(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library_)
    {
        throw std::runtime_error("Cannot load " + path + ": " + LastLoaderError());
    }
    properties_ =
        static_cast<const PF_PropertyList*>(dlsym(library_.get(), PF_PROPERTY_LIST_SYMBOL));
    if (!properties_)
    {
        throw std::runtime_error(path + " has no " PF_PROPERTY_LIST_SYMBOL ": " +
                                 LastLoaderError());
    }
    if (properties_->count < 0 || (properties_->count > 0 && !properties_->properties))
    {
        throw std::runtime_error(path + ": its property list is malformed");
    }
    const std::string entryName = FindString(properties_, PF_PROP_ENTRY_POINT);
    if (entryName.empty())
    {
        throw std::runtime_error(path + ": its property list names no entry point");
    }
    entryPoint_ = reinterpret_cast<PF_EntryPointFunc>(dlsym(library_.get(), entryName.c_str()));
    if (!entryPoint_)
    {
        throw std::runtime_error(path + " does not export its entry point " + entryName + ": " +
                                 LastLoaderError());
    }
}

std::string Module::FindString(const PF_PropertyList* list, A_u_long key)
{
    if (!list || !list->properties)
    {
        return {};
    }
    for (A_long i = 0; i < list->count; ++i)
    {
        const PF_Property& property = list->properties[i];
        if (property.key == key && property.kind == PF_PropertyValue_STRING &&
            property.string_value)
        {
            return property.string_value;
        }
    }
    return {};
}

} // namespace EffectHost
