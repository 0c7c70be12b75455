#include "codecs/SwScaleLibrary.h"

#include <cerrno>
#include <memory>
#include <utility>

extern "C"
{
#include <libavutil/error.h>
}

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

// Our planes are lent to libswscale as buffers it must never free.
void KeepBuffer(void*, std::uint8_t*) noexcept {}

} // namespace

SwScaleLibrary::SwScaleLibrary(StringRef baseName)
    : DynamicLibrary(FormatLibraryName(baseName, LIBSWSCALE_VERSION_MAJOR))
{
    ResolveRequired(getContext, "sws_getContext", "getContext");
    ResolveRequired(freeContext, "sws_freeContext", "freeContext");
    ResolveRequired(scale, "sws_scale", "scale");
    ResolveRequired(setColorspaceDetails, "sws_setColorspaceDetails", "setColorspaceDetails");
    ResolveRequired(getColorspaceDetails, "sws_getColorspaceDetails", "getColorspaceDetails");
    ResolveRequired(allocContext, "sws_alloc_context", "allocContext");
    ResolveRequired(initContext, "sws_init_context", "initContext");
    ResolveRequired(scaleFrame, "sws_scale_frame", "scaleFrame");
    ResolveRequired(setOption, "av_opt_set_int", "setOption");
    ResolveRequired(frameAlloc, "av_frame_alloc", "frameAlloc");
    ResolveRequired(frameFree, "av_frame_free", "frameFree");
    ResolveRequired(bufferCreate, "av_buffer_create", "bufferCreate");
}

SwScaleLibrary::Context SwScaleLibrary::GetContext(int sourceWidth, int sourceHeight,
                                                   AVPixelFormat sourceFormat, int destinationWidth,
                                                   int destinationHeight,
                                                   AVPixelFormat destinationFormat, int flags,
                                                   int threads) const
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

    auto release = freeContext;
    Context context;
    if (threads > 1)
    {
        // A threaded context can only be made through the option interface.
        context = Context(allocContext(), [release](SwsContext* c) { release(c); });
        if (!context)
        {
            return {};
        }
        const std::pair<const char*, std::int64_t> options[] = {
            {"srcw", sourceWidth},         {"srch", sourceHeight},
            {"src_format", source.format}, {"dstw", destinationWidth},
            {"dsth", destinationHeight},   {"dst_format", destination.format},
            {"sws_flags", flags},          {"threads", threads}};
        for (const auto& [name, value] : options)
        {
            if (setOption(context.get(), name, value, 0) < 0)
            {
                return {};
            }
        }
        if (initContext(context.get(), nullptr, nullptr) < 0)
        {
            return {};
        }
    }
    else
    {
        SwsContext* raw =
            getContext(sourceWidth, sourceHeight, source.format, destinationWidth,
                       destinationHeight, destination.format, flags, nullptr, nullptr, nullptr);
        if (raw == nullptr)
        {
            return {};
        }
        context = Context(raw, [release](SwsContext* c) { release(c); });
    }

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

int SwScaleLibrary::ScalePicture(SwsContext* context, const Picture& source,
                                 const Picture& destination) const
{
    auto release = frameFree;
    auto frameDeleter = [release](AVFrame* frame) { release(&frame); };
    using Frame = std::unique_ptr<AVFrame, decltype(frameDeleter)>;

    // Each frame gets one buffer over its first plane so that libswscale
    // takes references instead of copying the pixels; the buffer's free
    // function leaves the memory to its owner.
    auto wrap = [&](const Picture& picture) -> Frame
    {
        Frame frame(frameAlloc(), frameDeleter);
        if (!frame)
        {
            return frame;
        }
        frame->width = picture.width;
        frame->height = picture.height;
        frame->format = picture.format;
        for (int i = 0; i < 4; ++i)
        {
            // The frame interface wants writable pointers even for the
            // source, which libswscale only reads.
            frame->data[i] = const_cast<std::uint8_t*>(picture.planes[i]);
            frame->linesize[i] = picture.strides[i];
        }
        const std::size_t size =
            static_cast<std::size_t>(picture.strides[0]) * static_cast<std::size_t>(picture.height);
        frame->buf[0] = bufferCreate(frame->data[0], size, KeepBuffer, nullptr, 0);
        if (frame->buf[0] == nullptr)
        {
            frame.reset();
        }
        return frame;
    };
    const Frame sourceFrame = wrap(source);
    const Frame destinationFrame = wrap(destination);
    if (!sourceFrame || !destinationFrame)
    {
        return AVERROR(ENOMEM);
    }
    const int result = scaleFrame(context, destinationFrame.get(), sourceFrame.get());
    return result < 0 ? result : destination.height;
}

} // namespace Zovazaz
