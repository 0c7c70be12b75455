#include "renderer/PixelConversion.h"

#include <algorithm>

#include "framework/Errors.h"
#include "renderer/RendererErrors.h"

namespace
{

// Fast bilinear in both directions: at equal sizes it is a plain format
// conversion, and the preview favours speed when it scales.
constexpr int ScaleFlags = SWS_FAST_BILINEAR;

const char* FormatName(AVPixelFormat format) noexcept
{
    switch (format)
    {
    case AV_PIX_FMT_ARGB:
        return "ARGB";
    case AV_PIX_FMT_YUV420P:
        return "YUV 4:2:0";
    case AV_PIX_FMT_NV12:
        return "NV12";
    default:
        return "?";
    }
}

} // namespace

SwsContext* Scaler::Get(const Zovazaz::SwScaleLibrary& library, int sourceWidth, int sourceHeight,
                        AVPixelFormat sourceFormat, int destinationWidth, int destinationHeight,
                        AVPixelFormat destinationFormat, std::int32_t errorCode)
{
    if (context_ && library_ == &library && sourceWidth_ == sourceWidth &&
        sourceHeight_ == sourceHeight && sourceFormat_ == sourceFormat &&
        destinationWidth_ == destinationWidth && destinationHeight_ == destinationHeight &&
        destinationFormat_ == destinationFormat)
    {
        return context_.get();
    }
    context_.reset();
    context_ = library.GetContext(sourceWidth, sourceHeight, sourceFormat, destinationWidth,
                                  destinationHeight, destinationFormat, ScaleFlags);
    if (!context_)
    {
        THROW_ADOBE_EXCEPTION(errorCode, "libswscale cannot convert %d x %d %s to %d x %d %s",
                              sourceWidth, sourceHeight, FormatName(sourceFormat), destinationWidth,
                              destinationHeight, FormatName(destinationFormat));
    }
    library_ = &library;
    sourceWidth_ = sourceWidth;
    sourceHeight_ = sourceHeight;
    sourceFormat_ = sourceFormat;
    destinationWidth_ = destinationWidth;
    destinationHeight_ = destinationHeight;
    destinationFormat_ = destinationFormat;
    return context_.get();
}

void ConvertArgbToPicture(const Zovazaz::SwScaleLibrary& library, Scaler& scaler,
                          const std::uint8_t* pixels, std::int32_t worldWidth,
                          std::int32_t worldHeight, std::int32_t rowBytes, x264_picture_t& picture,
                          std::int32_t width, std::int32_t height)
{
    // Only the top-left width x height pixels are read, which drops the odd
    // last column or row; a world smaller than the picture in a dimension is
    // stretched to it in that dimension rather than read past its end.
    const int sourceWidth = std::min(worldWidth, width);
    const int sourceHeight = std::min(worldHeight, height);
    SwsContext* context = scaler.Get(library, sourceWidth, sourceHeight, AV_PIX_FMT_ARGB, width,
                                     height, AV_PIX_FMT_YUV420P, ErrorConvertArgbToYuv);

    const std::uint8_t* const source[4] = {pixels, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {rowBytes, 0, 0, 0};
    std::uint8_t* const destination[4] = {picture.img.plane[0], picture.img.plane[1],
                                          picture.img.plane[2], nullptr};
    const int destinationStride[4] = {picture.img.i_stride[0], picture.img.i_stride[1],
                                      picture.img.i_stride[2], 0};
    const int lines = library.scale(context, source, sourceStride, 0, sourceHeight, destination,
                                    destinationStride);
    if (lines < height)
    {
        THROW_ADOBE_EXCEPTION(ErrorConvertArgbToYuv, "");
    }
}

void ConvertNv12ToArgb(const Zovazaz::SwScaleLibrary& library, Scaler& scaler,
                       const std::uint8_t* luma, std::int32_t lumaStride,
                       const std::uint8_t* chroma, std::int32_t chromaStride, std::int32_t width,
                       std::int32_t height, std::uint8_t* pixels, std::int32_t worldWidth,
                       std::int32_t worldHeight, std::int32_t rowBytes)
{
    SwsContext* context = scaler.Get(library, width, height, AV_PIX_FMT_NV12, worldWidth,
                                     worldHeight, AV_PIX_FMT_ARGB, ErrorConvertYuvToArgb);

    const std::uint8_t* const source[4] = {luma, chroma, nullptr, nullptr};
    const int sourceStride[4] = {lumaStride, chromaStride, 0, 0};
    std::uint8_t* const destination[4] = {pixels, nullptr, nullptr, nullptr};
    const int destinationStride[4] = {rowBytes, 0, 0, 0};
    const int lines =
        library.scale(context, source, sourceStride, 0, height, destination, destinationStride);
    if (lines < worldHeight)
    {
        THROW_ADOBE_EXCEPTION(ErrorConvertYuvToArgb, "");
    }
}
