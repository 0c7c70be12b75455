#pragma once

#include <concepts>
#include <cstdint>
#include <string>

#include <fmt/printf.h>

#include "support/Log.h"
#include "support/StringRef.h"

// The framework's own error codes, above the host's range.
enum FrameworkError : std::int32_t
{
    ErrorUnsupportedVersion = 1025,
    ErrorInternal = 1026,
    ErrorInitFailed = 1027,
    ErrorImageCheckout = 1028,
    ErrorCurrentImageCheckout = 1029,
    ErrorWrongThread = 1030,
};

// An error of the effect itself: a code for the log and a message that reaches
// the user through the host's error message. The entry point turns it into
// PF_Err_NONE, because the message already tells the user what went wrong.
//
// It deliberately does not derive from std::exception: a handler that catches
// std::exception must not swallow it, and the entry point maps the two to
// different results.
class AdobeException
{
  public:
    // The message is the location text of FormatSourceLocation followed by
    // `text`. Breaks into an attached debugger.
    AdobeException(std::int32_t code, const Zovazaz::Log::SourceLocation& location,
                   Zovazaz::StringRef text);

    std::int32_t GetCode() const noexcept { return code_; }
    const std::string& GetMessage() const noexcept { return message_; }

  private:
    std::int32_t code_;
    std::string message_;
};

// The framework's text for a host or framework code; "Unknown" for others.
// Static storage, never null.
const char* GetFrameworkErrorMessage(std::int32_t code) noexcept;

// Text of an error: a plain text as it is, or a printf-style format with its
// arguments. A plain text is never parsed, so a '%' in it is harmless.
inline std::string FormatErrorText(Zovazaz::StringRef text)
{
    return text.Str();
}

template <class... Args>
requires(sizeof...(Args) > 0) std::string FormatErrorText(const char* format, const Args&... args)
{
    return fmt::sprintf(format, args...);
}

// Usage: THROW_ADOBE_EXCEPTION(ErrorInternal, "Parameter type %d not supported", type);
#define THROW_ADOBE_EXCEPTION(code, ...)                                                           \
    throw ::AdobeException((code), ZOVAZAZ_LOCATION, ::FormatErrorText(__VA_ARGS__))

// Throws a host callback's non-zero result as an int, as the entry point expects.
#define THROW_IF_HOST_ERROR(expression)                                                            \
    do                                                                                             \
    {                                                                                              \
        const ::std::int32_t hostResult_ = static_cast<::std::int32_t>(expression);                \
        if (hostResult_ != 0)                                                                      \
            throw hostResult_;                                                                     \
    } while (false)
