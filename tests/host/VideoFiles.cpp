#include "tests/host/VideoFiles.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace VideoFiles
{

namespace
{

constexpr int Bars = 8;

struct FreeOutput
{
    void operator()(AVFormatContext* context) const noexcept
    {
        avio_closep(&context->pb); // nothing to close when the file never opened
        avformat_free_context(context);
    }
};

// For libav's functions that free through a pointer to the pointer.
template <class T, void (*Free)(T**)> struct FreeWith
{
    void operator()(T* object) const noexcept { Free(&object); }
};

void Check(int result, const std::string& what)
{
    if (result < 0)
    {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, text, sizeof text);
        throw std::runtime_error(what + ": " + text);
    }
}

int BandHeight(int height)
{
    return std::max(height / 4, 4);
}

void WritePackets(AVCodecContext* codec, AVFormatContext* output, AVStream* stream,
                  AVPacket* packet)
{
    for (;;)
    {
        const int result = avcodec_receive_packet(codec, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
        {
            return;
        }
        Check(result, "receive packet");
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        Check(av_interleaved_write_frame(output, packet), "write packet");
    }
}

} // namespace

bool HasEncoder(const std::string& name)
{
    return avcodec_find_encoder_by_name(name.c_str()) != nullptr;
}

PF_Pixel TestPixel(int frame, int x, int y, int width, int height)
{
    if (y < BandHeight(height))
    {
        const int bar = std::min(x * Bars / width, Bars - 1);
        const bool on = (frame >> (Bars - 1 - bar)) & 1;
        const A_u_char level = on ? 235 : 20;
        return PF_Pixel{255, level, level, level};
    }
    const int blockLeft = (frame * 7) % width;
    const int blockTop = BandHeight(height) + 4;
    if (x >= blockLeft && x < blockLeft + width / 5 && y >= blockTop && y < blockTop + height / 3)
    {
        return PF_Pixel{255, 230, 60, 40};
    }
    const auto ramp = static_cast<A_u_char>((x * 2 + y + frame * 9) & 0xFF);
    return PF_Pixel{255, ramp, static_cast<A_u_char>(255 - ramp),
                    static_cast<A_u_char>((y * 255) / std::max(height - 1, 1))};
}

int ReadFrameNumber(const EffectHost::World& world)
{
    int number = 0;
    const int y = BandHeight(world.Height()) / 2;
    for (int bar = 0; bar < Bars; ++bar)
    {
        const int x = (2 * bar + 1) * world.Width() / (2 * Bars);
        const PF_Pixel& pixel = world.At(x, y);
        const int level = (pixel.red + pixel.green + pixel.blue) / 3;
        if (level >= 90 && level <= 160)
        {
            return -1;
        }
        number = number * 2 + (level > 160 ? 1 : 0);
    }
    return number;
}

EffectHost::World TestPicture(int frame, int width, int height)
{
    EffectHost::World world(width, height);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            world.At(x, y) = TestPixel(frame, x, y, width, height);
        }
    }
    return world;
}

int DifferentPixels(const EffectHost::World& a, const EffectHost::World& b)
{
    int count = 0;
    for (A_long y = 0; y < a.Height(); ++y)
    {
        for (A_long x = 0; x < a.Width(); ++x)
        {
            count += !(a.At(x, y) == b.At(x, y));
        }
    }
    return count;
}

void WriteVideo(const VideoSpec& spec)
{
    // The encoders' statistics would bury the test output.
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* encoder = avcodec_find_encoder_by_name(spec.encoder.c_str());
    if (encoder == nullptr)
    {
        throw std::runtime_error("no encoder " + spec.encoder);
    }
    AVFormatContext* rawOutput = nullptr;
    Check(avformat_alloc_output_context2(&rawOutput, nullptr, nullptr, spec.path.c_str()),
          "output context");
    std::unique_ptr<AVFormatContext, FreeOutput> output(rawOutput);
    AVStream* stream = avformat_new_stream(output.get(), nullptr);
    std::unique_ptr<AVCodecContext, FreeWith<AVCodecContext, avcodec_free_context>> codec(
        avcodec_alloc_context3(encoder));
    if (stream == nullptr || !codec)
    {
        throw std::runtime_error("allocation");
    }
    const AVRational rate{spec.rateNum, spec.rateDen};
    codec->width = spec.width;
    codec->height = spec.height;
    codec->time_base = av_inv_q(rate);
    codec->framerate = rate;
    codec->gop_size = spec.keyFrameInterval;
    codec->max_b_frames = spec.bFrames;
    codec->thread_count = 1;
    // Lossless coders keep RGB; the others take 4:2:0 (the x264 wrapper
    // needs even sizes, which a test then asks for in its file description).
    codec->pix_fmt = spec.encoder == "ffv1" ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_YUV420P;
    if (spec.encoder == "libx264")
    {
        av_opt_set(codec->priv_data, "preset", "ultrafast", 0);
        av_opt_set(codec->priv_data, "crf", "12", 0);
    }
    else if (spec.encoder == "mpeg4")
    {
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        codec->global_quality = FF_QP2LAMBDA * 2;
    }
    if (output->oformat->flags & AVFMT_GLOBALHEADER)
    {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    Check(avcodec_open2(codec.get(), encoder, nullptr), "open " + spec.encoder);
    Check(avcodec_parameters_from_context(stream->codecpar, codec.get()), "parameters");
    stream->time_base = codec->time_base;
    stream->avg_frame_rate = rate;
    if (spec.turn != std::array<int, 4>{1, 0, 0, 1})
    {
        // 16.16 fixed point, the last entry 2.30; no translation.
        std::int32_t matrix[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1 << 30};
        for (int i = 0; i < 4; ++i)
        {
            matrix[i / 2 * 3 + i % 2] = spec.turn[i] * 65536;
        }
        std::uint8_t* data =
            av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, sizeof matrix);
        if (data == nullptr)
        {
            throw std::runtime_error("display matrix");
        }
        std::memcpy(data, matrix, sizeof matrix);
    }
    Check(avio_open(&output->pb, spec.path.c_str(), AVIO_FLAG_WRITE), "open " + spec.path);
    Check(avformat_write_header(output.get(), nullptr), "header");

    std::unique_ptr<AVFrame, FreeWith<AVFrame, av_frame_free>> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, FreeWith<AVPacket, av_packet_free>> packet(av_packet_alloc());
    frame->format = codec->pix_fmt;
    frame->width = spec.width;
    frame->height = spec.height;
    Check(av_frame_get_buffer(frame.get(), 0), "frame buffer");
    std::unique_ptr<SwsContext, decltype(&sws_freeContext)> scaler(
        sws_getContext(spec.width, spec.height, AV_PIX_FMT_ARGB, spec.width, spec.height,
                       codec->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr),
        &sws_freeContext);
    if (!scaler)
    {
        throw std::runtime_error("scaler");
    }
    for (int index = 0; index < spec.frames; ++index)
    {
        const EffectHost::World picture = TestPicture(index, spec.width, spec.height);
        Check(av_frame_make_writable(frame.get()), "writable frame");
        const std::uint8_t* source[4] = {reinterpret_cast<const std::uint8_t*>(picture.Def().data),
                                         nullptr, nullptr, nullptr};
        const int strides[4] = {picture.RowBytes(), 0, 0, 0};
        sws_scale(scaler.get(), source, strides, 0, spec.height, frame->data, frame->linesize);
        frame->pts = index;
        Check(avcodec_send_frame(codec.get(), frame.get()), "send frame");
        WritePackets(codec.get(), output.get(), stream, packet.get());
    }
    Check(avcodec_send_frame(codec.get(), nullptr), "flush");
    WritePackets(codec.get(), output.get(), stream, packet.get());
    Check(av_write_trailer(output.get()), "trailer");
}

} // namespace VideoFiles
