#pragma once

#include <cstdint>

// The effect's own error codes, after the framework's. The renderer raises
// them; the effect gives their texts (GetErrorMessage).
enum EffectError : std::int32_t
{
    ErrorConvertArgbToYuv = 1031,
    ErrorConvertYuvToArgb = 1032,
    ErrorVideoEncoding = 1033,
    ErrorZlibCompression = 1034,
    ErrorZlibExtraction = 1035,
};
