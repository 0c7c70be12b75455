#include "host/Guard.h"

#include <exception>
#include <new>
#include <string>

#include "host/Host.h"

namespace EffectHost
{

PF_Err HandleCallbackException() noexcept
{
    PF_Err code = PF_Err_INTERNAL_STRUCT_DAMAGED;
    const char* what = "an unknown exception";
    try
    {
        throw;
    }
    catch (const std::bad_alloc&)
    {
        code = PF_Err_OUT_OF_MEMORY;
        what = "out of memory";
    }
    catch (const std::exception& error)
    {
        what = error.what();
    }
    catch (...)
    {
    }
    // The effect only sees a failed call; the host's user learns why, unless
    // even that cannot be said.
    try
    {
        if (Host* host = Host::Active())
        {
            host->Report(MessageKind::Warning, std::string(what));
        }
    }
    catch (...)
    {
    }
    return code;
}

} // namespace EffectHost
