#pragma once

#include <type_traits>
#include <utility>

#include "AE_Effect.h"

namespace EffectHost
{

// The host's error code for the exception being handled: PF_Err_OUT_OF_MEMORY
// for std::bad_alloc, PF_Err_INTERNAL_STRUCT_DAMAGED for anything else. Its
// text goes to the active host's user as a warning. Only inside a catch.
PF_Err HandleCallbackException() noexcept;

// Runs the work of a host function that the module calls through a C table
// (an in_data callback or a suite function). No exception may cross the
// module's C frames, so one becomes the host's error code: the function's
// result when that is an error code (PF_Err, SPErr), nothing for a function
// without a result.
template <class Body> auto Guarded(Body&& body) noexcept -> std::invoke_result_t<Body&>
{
    using Result = std::invoke_result_t<Body&>;
    try
    {
        return body();
    }
    catch (...)
    {
        const PF_Err code = HandleCallbackException();
        if constexpr (!std::is_void_v<Result>)
        {
            return static_cast<Result>(code);
        }
    }
}

// The same for a function whose result is not an error code (a handle, a
// pointer, a size, a yes or no): `failed` when an exception was raised.
template <class Result, class Body> Result Guarded(Result failed, Body&& body) noexcept
{
    try
    {
        return body();
    }
    catch (...)
    {
        HandleCallbackException();
        return failed;
    }
}

} // namespace EffectHost
