#include "effect/CompressionViewer.h"

void CompressionViewer::OnCommand_Render()
{
    // Until frames are encoded, the output is the input.
    Plugin::OnCommand_Render();
}

const char* CompressionViewer::GetErrorMessage(std::int32_t code)
{
    switch (code)
    {
    case ErrorConvertArgbToYuv:
        return "Convert ARGB->YUV failed";
    case ErrorConvertYuvToArgb:
        return "Convert YUV->ARGB failed";
    case ErrorVideoEncoding:
        return "Video encoding failed";
    case ErrorZlibCompression:
        return "Zlib compression failed";
    case ErrorZlibExtraction:
        return "Zlib extraction failed";
    default:
        return Plugin::GetErrorMessage(code);
    }
}
