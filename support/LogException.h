#pragma once

#include <exception>
#include <string>

#include "support/Log.h"

namespace Zovazaz
{

// "file(line): kind: " — empty when the location has neither file nor
// function. Kind defaults to "error".
std::string FormatSourceLocation(const Log::SourceLocation& location, const char* kind = "error");

// Stops in an attached debugger (SIGTRAP only while one is attached).
void DebugBreakIfAttached() noexcept;

// Writes a report of the exception to the debugger output and returns it.
std::string LogException(std::string& out, const Log::SourceLocation& location,
                         const std::exception& exception, const char* detail);

// Report and throw std::invalid_argument / std::runtime_error.
[[noreturn]] void ThrowAssertionFailure(const Log::SourceLocation& location, const char* message,
                                        const char* condition);
[[noreturn]] void ThrowRuntimeConditionFailure(const Log::SourceLocation& location,
                                               const char* message, const char* condition);

} // namespace Zovazaz

#define ZOVAZAZ_ASSERT(condition)                                                                  \
    do                                                                                             \
    {                                                                                              \
        if (!(condition))                                                                          \
            ::Zovazaz::ThrowAssertionFailure(ZOVAZAZ_LOCATION, nullptr, #condition);               \
    } while (false)
