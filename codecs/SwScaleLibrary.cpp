#include "codecs/SwScaleLibrary.h"

namespace Zovazaz
{

namespace
{

// The format libswscale is given for a format, and whether it is full range:
// each full-range YUV format becomes its ordinary counterpart, the grey formats
// keep their number and are full range, every other format is unchanged.
struct MappedPixelFormat
{
    AVPixelFormat format;
    bool fullRange;
};

MappedPixelFormat MapFullRangeFormat(AVPixelFormat format) noexcept
{
    switch (format)
    {
    case AV_PIX_FMT_YUVJ420P:
        return {AV_PIX_FMT_YUV420P, true};
    case AV_PIX_FMT_YUVJ422P:
        return {AV_PIX_FMT_YUV422P, true};
    case AV_PIX_FMT_YUVJ444P:
        return {AV_PIX_FMT_YUV444P, true};
    case AV_PIX_FMT_YUVJ440P:
        return {AV_PIX_FMT_YUV440P, true};
    case AV_PIX_FMT_YUVJ411P:
        return {AV_PIX_FMT_YUV411P, true};
    case AV_PIX_FMT_GRAY8:
    case AV_PIX_FMT_GRAY16BE:
    case AV_PIX_FMT_GRAY16LE:
        return {format, true};
    default:
        return {format, false};
    }
}

} // namespace

SwScaleLibrary::SwScaleLibrary(StringRef baseName)
    : DynamicLibrary(FormatLibraryName(baseName, LIBSWSCALE_VERSION_MAJOR))
{
    ResolveRequired(getContext, "sws_getContext", "getContext");
    ResolveRequired(freeContext, "sws_freeContext", "freeContext");
    ResolveRequired(scale, "sws_scale", "scale");
    ResolveRequired(setColorspaceDetails, "sws_setColorspaceDetails", "setColorspaceDetails");
    ResolveRequired(getColorspaceDetails, "sws_getColorspaceDetails", "getColorspaceDetails");
}

SwScaleLibrary::Context SwScaleLibrary::GetContext(int sourceWidth, int sourceHeight,
                                                   AVPixelFormat sourceFormat, int destinationWidth,
                                                   int destinationHeight,
                                                   AVPixelFormat destinationFormat, int flags) const
{
    // libswscale aborts the process on a format number outside its table
    // instead of refusing it, so those are refused here.
    auto known = [](AVPixelFormat format)
    { return format > AV_PIX_FMT_NONE && format < AV_PIX_FMT_NB; };
    if (!known(sourceFormat) || !known(destinationFormat))
    {
        return {};
    }

    const MappedPixelFormat source = MapFullRangeFormat(sourceFormat);
    const MappedPixelFormat destination = MapFullRangeFormat(destinationFormat);

    SwsContext* raw =
        getContext(sourceWidth, sourceHeight, source.format, destinationWidth, destinationHeight,
                   destination.format, flags, nullptr, nullptr, nullptr);
    if (raw == nullptr)
    {
        return {};
    }
    auto release = freeContext;
    Context context(raw, [release](SwsContext* c) { release(c); });

    if (source.fullRange || destination.fullRange)
    {
        int* inverseTable = nullptr;
        int* table = nullptr;
        int sourceRange = 0;
        int destinationRange = 0;
        int brightness = 0;
        int contrast = 0;
        int saturation = 0;
        if (getColorspaceDetails(context.get(), &inverseTable, &sourceRange, &table,
                                 &destinationRange, &brightness, &contrast, &saturation) >= 0)
        {
            setColorspaceDetails(context.get(), inverseTable, source.fullRange ? 1 : 0, table,
                                 destination.fullRange ? 1 : 0, brightness, contrast, saturation);
        }
    }
    return context;
}

} // namespace Zovazaz
