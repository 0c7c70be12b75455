#include "renderer/PixelConversion.h"

#include <algorithm>
#include <cstring>

#include "framework/Errors.h"
#include "renderer/RendererErrors.h"

namespace
{

// Accurate rounding removes the bias of libswscale's fast rounding, and full
// horizontal chroma interpolation makes its YUV to RGB conversion follow the
// BT.601 formulas instead of a faster path that comes out about two levels
// dark; without both the preview would add its own error to the encoder's.
constexpr int IntoEncoderFlags = SWS_ACCURATE_RND;
constexpr int OutOfEncoderFlags = SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

// The scaling algorithm: fast bilinear where the picture really is scaled.
// At equal sizes it is no plain conversion: its x86 code steps slightly more
// than one source pixel per output pixel, so the picture drifts by up to
// half a pixel across a row. At equal sizes the filters below leave every
// pixel as it is and differ only in how they resample the 4:2:0 chroma.
int ScaleFlags(bool scaled, int unscaledFlags) noexcept
{
    return scaled ? SWS_FAST_BILINEAR : unscaledFlags;
}

// Into the encoder, area averaging gives each chroma sample the mean of its
// 2 x 2 pixels, the box that the bilinear interpolation out of the encoder
// undoes best (bilinear's own 2:1 filter spreads each sample over four rows
// and blurs the chroma). Full chroma input has libswscale read whole rows of
// chroma with its vector code and average them in its scaler, instead of
// pairing pixels in plain C on the way in, which takes twice as long.
constexpr int IntoEncoderUnscaled = SWS_AREA | SWS_FULL_CHR_H_INP;
constexpr int OutOfEncoderUnscaled = SWS_BILINEAR;

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

// Fills the world's pixels right of column `width` and below row `height`
// with copies of the last column and row of the picture written there.
void RepeatLastColumnAndRow(std::uint8_t* pixels, std::int32_t width, std::int32_t height,
                            std::int32_t worldWidth, std::int32_t worldHeight,
                            std::int32_t rowBytes) noexcept
{
    constexpr std::size_t PixelBytes = 4;
    if (worldWidth > width)
    {
        for (std::int32_t y = 0; y < height; ++y)
        {
            std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(y) * rowBytes;
            const std::uint8_t* last = row + (width - 1) * PixelBytes;
            for (std::int32_t x = width; x < worldWidth; ++x)
            {
                std::memcpy(row + x * PixelBytes, last, PixelBytes);
            }
        }
    }
    const std::uint8_t* lastRow = pixels + static_cast<std::ptrdiff_t>(height - 1) * rowBytes;
    for (std::int32_t y = height; y < worldHeight; ++y)
    {
        std::memcpy(pixels + static_cast<std::ptrdiff_t>(y) * rowBytes, lastRow,
                    static_cast<std::size_t>(worldWidth) * PixelBytes);
    }
}

} // namespace

SwsContext* Scaler::Get(const Zovazaz::SwScaleLibrary& library, int sourceWidth, int sourceHeight,
                        AVPixelFormat sourceFormat, int destinationWidth, int destinationHeight,
                        AVPixelFormat destinationFormat, int flags, int threads,
                        std::int32_t errorCode)
{
    if (context_ && library_ == &library && sourceWidth_ == sourceWidth &&
        sourceHeight_ == sourceHeight && sourceFormat_ == sourceFormat &&
        destinationWidth_ == destinationWidth && destinationHeight_ == destinationHeight &&
        destinationFormat_ == destinationFormat && flags_ == flags && threads_ == threads)
    {
        return context_.get();
    }
    context_.reset();
    context_ = library.GetContext(sourceWidth, sourceHeight, sourceFormat, destinationWidth,
                                  destinationHeight, destinationFormat, flags, threads);
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
    flags_ = flags;
    threads_ = threads;
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
    const bool scaled = sourceWidth != width || sourceHeight != height;
    SwsContext* context = scaler.Get(
        library, sourceWidth, sourceHeight, AV_PIX_FMT_ARGB, width, height, AV_PIX_FMT_YUV420P,
        ScaleFlags(scaled, IntoEncoderUnscaled) | IntoEncoderFlags, 1, ErrorConvertArgbToYuv);

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

void ConvertNv12ToArgb(const Zovazaz::SwScaleLibrary& library, OutputScaler& scaler,
                       const std::uint8_t* luma, std::int32_t lumaStride,
                       const std::uint8_t* chroma, std::int32_t chromaStride, std::int32_t width,
                       std::int32_t height, std::uint8_t* pixels, std::int32_t worldWidth,
                       std::int32_t worldHeight, std::int32_t rowBytes, int threads)
{
    // An odd world is the encoded picture plus one column and/or row: it is
    // shown unscaled, since stretching it by one pixel would resample, and so
    // blur, the whole frame.
    const bool padded = (worldWidth == width || worldWidth == width + 1) &&
                        (worldHeight == height || worldHeight == height + 1);
    const int convertedWidth = padded ? width : worldWidth;
    const int convertedHeight = padded ? height : worldHeight;

    // Two steps, through planar RGB. libswscale's packed RGB writers take
    // each row's chroma from the nearer chroma row, or the mean of two,
    // instead of interpolating between the rows; its planar RGB writer
    // filters chroma vertically as it does horizontally, and packing planes
    // into ARGB moves bytes without arithmetic. The two steps also take
    // about half the time of the packed writer, which has no vector code.
    SwsContext* planar = scaler.planar.Get(
        library, width, height, AV_PIX_FMT_NV12, convertedWidth, convertedHeight, AV_PIX_FMT_GBRP,
        ScaleFlags(!padded, OutOfEncoderUnscaled) | OutOfEncoderFlags, threads,
        ErrorConvertYuvToArgb);
    SwsContext* packing = scaler.packing.Get(
        library, convertedWidth, convertedHeight, AV_PIX_FMT_GBRP, convertedWidth, convertedHeight,
        AV_PIX_FMT_ARGB, SWS_POINT, threads, ErrorConvertYuvToArgb);
    // Rows a multiple of 64 bytes keep libswscale on its aligned code.
    const int planeStride = (convertedWidth + 63) / 64 * 64;
    const std::size_t planeBytes =
        static_cast<std::size_t>(planeStride) * static_cast<std::size_t>(convertedHeight);
    scaler.planes.resize(3 * planeBytes);

    Zovazaz::SwScaleLibrary::Picture source;
    source.width = width;
    source.height = height;
    source.format = AV_PIX_FMT_NV12;
    source.planes[0] = luma;
    source.planes[1] = chroma;
    source.strides[0] = lumaStride;
    source.strides[1] = chromaStride;
    Zovazaz::SwScaleLibrary::Picture planes;
    planes.width = convertedWidth;
    planes.height = convertedHeight;
    planes.format = AV_PIX_FMT_GBRP;
    for (std::size_t i = 0; i < 3; ++i)
    {
        planes.planes[i] = scaler.planes.data() + i * planeBytes;
        planes.strides[i] = planeStride;
    }
    Zovazaz::SwScaleLibrary::Picture destination;
    destination.width = convertedWidth;
    destination.height = convertedHeight;
    destination.format = AV_PIX_FMT_ARGB;
    destination.planes[0] = pixels;
    destination.strides[0] = rowBytes;
    if (library.ScalePicture(planar, source, planes) < convertedHeight ||
        library.ScalePicture(packing, planes, destination) < convertedHeight)
    {
        THROW_ADOBE_EXCEPTION(ErrorConvertYuvToArgb, "");
    }
    if (padded)
    {
        RepeatLastColumnAndRow(pixels, width, height, worldWidth, worldHeight, rowBytes);
    }
}
