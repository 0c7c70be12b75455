#include "support/LogException.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include <fmt/format.h>

namespace Zovazaz
{

std::string FormatSourceLocation(const Log::SourceLocation& location, const char* kind)
{
    if (location.file == nullptr && location.function == nullptr)
    {
        return {};
    }
    return fmt::format("{}({}): {}: ", location.file ? location.file : "", location.line,
                       kind ? kind : "error");
}

bool IsDebuggerAttached() noexcept
{
    try
    {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
        {
            constexpr std::string_view key = "TracerPid:";
            if (line.starts_with(key))
            {
                const std::size_t digit = line.find_first_not_of(" \t", key.size());
                return digit != std::string::npos &&
                       line.compare(digit, std::string::npos, "0") != 0;
            }
        }
    }
    catch (...)
    {
    }
    return false;
}

void WriteDebuggerOutput(StringRef text) noexcept
{
    if (!IsDebuggerAttached())
    {
        return;
    }
    const std::string_view view = text.View();
    std::fwrite(view.data(), 1, view.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void DebugBreakIfAttached() noexcept
{
    // Without a tracer SIGTRAP would end the process, so it is raised only
    // when someone is there to catch it.
    if (IsDebuggerAttached())
    {
        std::raise(SIGTRAP);
    }
}

std::string LogException(std::string& out, const Log::SourceLocation& location,
                         const std::exception& exception, const char* detail)
{
    if (dynamic_cast<const std::logic_error*>(&exception) != nullptr)
    {
        out = FormatSourceLocation(location, "error") + "assert failed: ";
    }
    else if (dynamic_cast<const std::runtime_error*>(&exception) != nullptr)
    {
        out = FormatSourceLocation(location, "information") + "runtime condition failed: ";
    }
    else
    {
        out.clear();
    }

    const std::string_view what = exception.what();
    if (detail != nullptr && *detail != '\0')
    {
        out += detail;
        if (!what.empty())
        {
            out += ", ";
            out += what;
        }
    }
    else
    {
        out += what;
    }

    WriteDebuggerOutput(out);
    DebugBreakIfAttached();
    return out;
}

void ThrowAssertionFailure(const Log::SourceLocation& location, const char* message,
                           const char* condition)
{
    const std::invalid_argument failure(message ? message : condition ? condition : "");
    std::string report;
    LogException(report, location, failure, condition);
    throw failure;
}

void ThrowRuntimeConditionFailure(const Log::SourceLocation& location, const char* message,
                                  const char* condition)
{
    const std::runtime_error failure(message ? message : condition ? condition : "");
    std::string report;
    LogException(report, location, failure, condition);
    throw failure;
}

} // namespace Zovazaz
