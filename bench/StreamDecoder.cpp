#include "bench/StreamDecoder.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace Bench
{

namespace
{

struct FreeCodecContext
{
    void operator()(AVCodecContext* context) const noexcept { avcodec_free_context(&context); }
};

struct FreePacket
{
    void operator()(AVPacket* packet) const noexcept { av_packet_free(&packet); }
};

struct FreeFrame
{
    void operator()(AVFrame* frame) const noexcept { av_frame_free(&frame); }
};

using Clock = std::chrono::steady_clock;

// Receives every picture the decoder has ready; answers how many.
int ReceiveAll(AVCodecContext* context, AVFrame* frame,
               const std::function<void(const AVFrame&)>& onPicture, Clock::duration& aside)
{
    int pictures = 0;
    for (;;)
    {
        const int result = avcodec_receive_frame(context, frame);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
        {
            return pictures;
        }
        if (result < 0)
        {
            throw std::runtime_error("libavcodec failed to decode a picture (error " +
                                     std::to_string(result) + ")");
        }
        ++pictures;
        if (onPicture)
        {
            const auto start = Clock::now();
            onPicture(*frame);
            aside += Clock::now() - start;
        }
        av_frame_unref(frame);
    }
}

} // namespace

double DecodeSegments(const std::vector<SegmentStream>& segments,
                      const std::function<void(const AVFrame&)>& onPicture)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (codec == nullptr)
    {
        throw std::runtime_error("libavcodec has no H.264 decoder");
    }
    std::unique_ptr<AVPacket, FreePacket> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FreeFrame> frame(av_frame_alloc());
    if (!packet || !frame)
    {
        throw std::runtime_error("libavcodec could not allocate a packet or a frame");
    }

    Clock::duration spent{};
    Clock::duration aside{};
    std::vector<std::uint8_t> padded;
    for (const SegmentStream& segment : segments)
    {
        std::unique_ptr<AVCodecContext, FreeCodecContext> context(avcodec_alloc_context3(codec));
        if (!context)
        {
            throw std::runtime_error("libavcodec could not allocate a decoder");
        }
        context->thread_count = 1;
        if (avcodec_open2(context.get(), codec, nullptr) < 0)
        {
            throw std::runtime_error("libavcodec could not open the H.264 decoder");
        }

        int pictures = 0;
        const auto start = Clock::now();
        for (const std::vector<std::uint8_t>& unit : segment)
        {
            // The decoder may read a little past the end of a packet.
            padded.assign(unit.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            std::memcpy(padded.data(), unit.data(), unit.size());
            packet->data = padded.data();
            packet->size = static_cast<int>(unit.size());
            if (avcodec_send_packet(context.get(), packet.get()) < 0)
            {
                throw std::runtime_error("libavcodec refused an access unit");
            }
            pictures += ReceiveAll(context.get(), frame.get(), onPicture, aside);
        }
        avcodec_send_packet(context.get(), nullptr);
        pictures += ReceiveAll(context.get(), frame.get(), onPicture, aside);
        spent += Clock::now() - start;

        if (pictures != static_cast<int>(segment.size()))
        {
            throw std::runtime_error("libavcodec decoded " + std::to_string(pictures) +
                                     " pictures from " + std::to_string(segment.size()) +
                                     " access units");
        }
    }
    return std::chrono::duration<double, std::milli>(spent - aside).count();
}

} // namespace Bench
