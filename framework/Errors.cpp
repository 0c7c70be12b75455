#include "framework/Errors.h"

#include "AE_Effect.h"
#include "support/LogException.h"

AdobeException::AdobeException(std::int32_t code, const Zovazaz::Log::SourceLocation& location,
                               Zovazaz::StringRef text)
    : code_(code), message_(Zovazaz::FormatSourceLocation(location) + text.Str())
{
    Zovazaz::DebugBreakIfAttached();
}

const char* GetFrameworkErrorMessage(std::int32_t code) noexcept
{
    switch (code)
    {
    case PF_Err_NONE:
        return "None";
    case PF_Err_OUT_OF_MEMORY:
        return "Out of memory";
    case PF_Err_INTERNAL_STRUCT_DAMAGED:
        return "Internal struct damaged";
    case PF_Err_INVALID_INDEX:
        return "Invalid index";
    case PF_Err_UNRECOGNIZED_PARAM_TYPE:
        return "Unrecognized parameter type";
    case PF_Err_INVALID_CALLBACK:
        return "Invalid callback";
    case PF_Err_BAD_CALLBACK_PARAM:
        return "Bad callback param";
    case PF_Interrupt_CANCEL:
        return "User canceled";
    case PF_Err_CANNOT_PARSE_KEYFRAME_TEXT:
        return "Cannot parse keyframe text";
    case ErrorUnsupportedVersion:
        return "Unsupported version";
    case ErrorInternal:
        return "Internal error";
    case ErrorInitFailed:
        return "Init failed";
    case ErrorImageCheckout:
        return "Image checkout failed";
    case ErrorCurrentImageCheckout:
        return "Current image checkout failed";
    default:
        return "Unknown";
    }
}
