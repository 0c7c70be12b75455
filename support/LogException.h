#pragma once

#include <exception>
#include <string>

#include "support/Log.h"

namespace Zovazaz
{

// "file(line): kind: " — empty when the location has neither file nor
// function. Kind defaults to "error".
std::string FormatSourceLocation(const Log::SourceLocation& location, const char* kind = "error");

// True while a debugger traces this process (TracerPid in /proc/self/status).
bool IsDebuggerAttached() noexcept;

// The debugger output: the text and a line feed on standard error, only while
// a debugger is attached; otherwise nothing.
void WriteDebuggerOutput(StringRef text) noexcept;

// Stops in an attached debugger (SIGTRAP only while one is attached).
void DebugBreakIfAttached() noexcept;

// Writes a report of the exception to the debugger output and returns it (also
// through `out`). A logic error reads "...: error: assert failed: ", a runtime
// error "...: information: runtime condition failed: ", then the detail and
// the exception's text.
std::string LogException(std::string& out, const Log::SourceLocation& location,
                         const std::exception& exception, const char* detail);

// Report and throw std::invalid_argument / std::runtime_error.
[[noreturn]] void ThrowAssertionFailure(const Log::SourceLocation& location, const char* message,
                                        const char* condition);
[[noreturn]] void ThrowRuntimeConditionFailure(const Log::SourceLocation& location,
                                               const char* message, const char* condition);

} // namespace Zovazaz
