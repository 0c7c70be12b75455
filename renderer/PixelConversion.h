#pragma once

#include <cstdint>
#include <vector>

#include <x264.h>

#include "codecs/SwScaleLibrary.h"

// A libswscale context kept for as long as the conversion it was made for
// stays the same, so that a segment's frames share one context.
class Scaler
{
  public:
    // The context for the conversion. Raises AdobeException `errorCode` with a
    // message naming the conversion when libswscale refuses it.
    SwsContext* Get(const Zovazaz::SwScaleLibrary& library, int sourceWidth, int sourceHeight,
                    AVPixelFormat sourceFormat, int destinationWidth, int destinationHeight,
                    AVPixelFormat destinationFormat, int flags, int threads,
                    std::int32_t errorCode);

  private:
    Zovazaz::SwScaleLibrary::Context context_;
    const Zovazaz::SwScaleLibrary* library_ = nullptr;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    AVPixelFormat sourceFormat_ = AV_PIX_FMT_NONE;
    int destinationWidth_ = 0;
    int destinationHeight_ = 0;
    AVPixelFormat destinationFormat_ = AV_PIX_FMT_NONE;
    int flags_ = 0;
    int threads_ = 0;
};

// Converts an 8-bit ARGB world into a planar 4:2:0 picture of width x height.
// A world at least that large gives its top-left width x height pixels
// unresampled; a smaller one is scaled up to fill the picture. Raises
// ErrorConvertArgbToYuv.
void ConvertArgbToPicture(const Zovazaz::SwScaleLibrary& library, Scaler& scaler,
                          const std::uint8_t* pixels, std::int32_t worldWidth,
                          std::int32_t worldHeight, std::int32_t rowBytes, x264_picture_t& picture,
                          std::int32_t width, std::int32_t height);

// What the conversion out of the encoder keeps from frame to frame: a context
// from NV12 into planar RGB, one packing those planes into ARGB, and the
// planes between them.
struct OutputScaler
{
    Scaler planar;
    Scaler packing;
    std::vector<std::uint8_t> planes;
};

// Converts NV12 planes of width x height into an 8-bit ARGB world on
// `threads` threads. A world of that size, or one column and/or one row
// larger (the odd sizes the encoder rounds down), gets the picture pixel for
// pixel with its last column and row repeated; any other size is scaled to
// fill the world. Raises ErrorConvertYuvToArgb.
void ConvertNv12ToArgb(const Zovazaz::SwScaleLibrary& library, OutputScaler& scaler,
                       const std::uint8_t* luma, std::int32_t lumaStride,
                       const std::uint8_t* chroma, std::int32_t chromaStride, std::int32_t width,
                       std::int32_t height, std::uint8_t* pixels, std::int32_t worldWidth,
                       std::int32_t worldHeight, std::int32_t rowBytes, int threads);
