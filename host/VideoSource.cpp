#include "host/VideoSource.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <vector>

#include <fmt/format.h>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace EffectHost
{

namespace
{

struct CloseFormat
{
    void operator()(AVFormatContext* context) const noexcept { avformat_close_input(&context); }
};

struct FreeCodec
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

struct FreeScaler
{
    void operator()(SwsContext* context) const noexcept { sws_freeContext(context); }
};

using FramePtr = std::unique_ptr<AVFrame, FreeFrame>;

// Further ahead than this, a seek to the key frame before the wanted frame is
// cheaper than decoding every frame on the way.
constexpr A_long ForwardDecodeLimit = 120;

// A picture turned by a multiple of 90 degrees and perhaps mirrored, as a
// display matrix describes it: the stored pixel (x, y) shows at
// (a x + c y, b x + d y), moved back into the picture.
struct Orientation
{
    int a = 1;
    int b = 0;
    int c = 0;
    int d = 1;

    bool Upright() const noexcept { return a == 1 && b == 0 && c == 0 && d == 1; }
    bool Transposed() const noexcept { return a == 0; }
};

// The orientation of a display matrix (which maps a stored point (p, q) to
// (p q 1) * matrix), or upright when it has none or turns by an angle that
// is not a multiple of 90 degrees.
Orientation ReadOrientation(const std::int32_t* matrix)
{
    if (matrix == nullptr)
    {
        return {};
    }
    // The 2 x 2 part is in 16.16 fixed point; a right-angle turn or a mirror
    // has entries of -1, 0 and 1 only.
    auto unit = [](std::int32_t value) -> std::optional<int>
    {
        const double v = value / 65536.0;
        for (const int candidate : {-1, 0, 1})
        {
            if (std::abs(v - candidate) < 1e-3)
            {
                return candidate;
            }
        }
        return std::nullopt;
    };
    const auto a = unit(matrix[0]);
    const auto b = unit(matrix[1]);
    const auto c = unit(matrix[3]);
    const auto d = unit(matrix[4]);
    if (!a || !b || !c || !d || std::abs(*a * *d - *b * *c) != 1)
    {
        return {};
    }
    return Orientation{*a, *b, *c, *d};
}

std::string DescribeOrientation(const Orientation& orientation)
{
    // A mirrored orientation is a left-to-right mirror followed by a turn;
    // the turn is named by where it sends the picture's x axis (display y
    // grows downwards, so (0, 1) is a quarter turn clockwise).
    const bool mirrored = orientation.a * orientation.d - orientation.b * orientation.c < 0;
    const int xa = mirrored ? -orientation.a : orientation.a;
    const int xb = mirrored ? -orientation.b : orientation.b;
    const char* turn = xa == 1    ? ""
                       : xa == -1 ? "rotated 180°"
                       : xb == 1  ? "rotated 90° clockwise"
                                  : "rotated 90° counterclockwise";
    if (!mirrored)
    {
        return turn;
    }
    return *turn == '\0' ? "mirrored left to right"
                         : std::string("mirrored left to right and ") + turn;
}

// Writes `upright`, a picture as stored, into `into` as the orientation
// shows it; `into` has the turned size.
void Reorient(const World& upright, const Orientation& orientation, World& into)
{
    const A_long width = upright.Width();
    const A_long height = upright.Height();
    // Where the stored corner (0, 0) lands, so that every pixel lands inside.
    const A_long originX =
        (orientation.a < 0 ? width - 1 : 0) + (orientation.c < 0 ? height - 1 : 0);
    const A_long originY =
        (orientation.b < 0 ? width - 1 : 0) + (orientation.d < 0 ? height - 1 : 0);
    for (A_long y = 0; y < height; ++y)
    {
        for (A_long x = 0; x < width; ++x)
        {
            into.At(originX + orientation.a * x + orientation.c * y,
                    originY + orientation.b * x + orientation.d * y) = upright.At(x, y);
        }
    }
}

std::string ErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

FramePtr NewFrame()
{
    FramePtr frame(av_frame_alloc());
    if (!frame)
    {
        throw std::bad_alloc();
    }
    return frame;
}

// Refuses what libavformat would answer with a vague "Invalid data" or an
// errno text, so the user reads which of the everyday mistakes it is.
void CheckReadableFile(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status))
    {
        throw VideoSourceError("Input file " + Quoted(path) + " does not exist");
    }
    if (fs::is_directory(status))
    {
        throw VideoSourceError("Input " + Quoted(path) + " is a folder, not a video file");
    }
    std::ifstream probe(path, std::ios::binary);
    if (!probe)
    {
        throw VideoSourceError("Input file " + Quoted(path) +
                               " cannot be read: " + std::strerror(errno));
    }
    if (fs::is_regular_file(status) && fs::file_size(path, error) == 0)
    {
        throw VideoSourceError("Input file " + Quoted(path) + " is empty");
    }
}

bool Valid(AVRational rate)
{
    return rate.num > 0 && rate.den > 0;
}

// A constant rate as the container declares it, else the stream's average.
// Rates a hair off a whole or an NTSC (x/1001) rate are container rounding
// (Matroska keeps nanoseconds) and are taken as that rate, so 29.97 stays
// 30000 / 1001 exactly.
AVRational ChooseRate(const AVStream& stream, bool& averageRate)
{
    const AVRational real = stream.r_frame_rate;
    const AVRational average = stream.avg_frame_rate;
    AVRational chosen = Valid(average) ? average : real;
    averageRate = false;
    if (Valid(real) && Valid(average))
    {
        const double ratio = av_q2d(real) / av_q2d(average);
        if (std::fabs(ratio - 1.0) < 1e-3)
        {
            chosen = real;
        }
        else
        {
            averageRate = true;
        }
    }
    if (!Valid(chosen))
    {
        return AVRational{0, 0};
    }
    const double rate = av_q2d(chosen);
    for (const int den : {1, 1001})
    {
        const double num = std::round(rate * den);
        if (num >= 1 && num < 1e9 && std::fabs(num / den - rate) <= rate * 2e-5)
        {
            AVRational exact{};
            av_reduce(&exact.num, &exact.den, static_cast<std::int64_t>(num), den, INT32_MAX);
            return exact;
        }
    }
    // Any other rate to a thousandth of a frame per second keeps the host's
    // 32-bit times far from overflowing.
    AVRational rounded{};
    av_reduce(&rounded.num, &rounded.den, std::llround(rate * 1000), 1000, INT32_MAX);
    return rounded;
}

// Floor, so a time inside a frame's span shows that frame.
A_long FrameIndexAt(A_long time, A_long timeStep) noexcept
{
    return timeStep > 0 ? static_cast<A_long>(std::floor(static_cast<double>(time) / timeStep)) : 0;
}

struct CachedFrame
{
    A_long index = -1;
    std::uint64_t lastUse = 0;
    // Shared with the effect while the host lends it.
    std::shared_ptr<World> world;
};

} // namespace

struct VideoSource::Decoder
{
    std::string path;
    std::unique_ptr<AVFormatContext, CloseFormat> format;
    std::unique_ptr<AVCodecContext, FreeCodec> codec;
    std::unique_ptr<AVPacket, FreePacket> packet;
    std::unique_ptr<SwsContext, FreeScaler> scaler;
    int stream = -1;
    AVRational timeBase{};
    AVRational rate{};
    std::int64_t firstPts = 0;
    A_long frameCount = 0;
    A_long layerWidth = 0;
    A_long layerHeight = 0;
    Orientation orientation;
    World upright; // a turned picture before it is turned

    // The decoder's position: `held` is the latest picture handed out (the
    // one shown until the next one's time), `pending` a picture decoded past
    // the last request, kept for the next one.
    FramePtr held = NewFrame();
    FramePtr pending = NewFrame();
    bool heldValid = false;
    bool pendingValid = false;
    A_long heldIndex = -1;
    A_long pendingIndex = -1;
    bool draining = false;

    // Pictures that libavcodec reported damage in (or that came after a
    // packet it refused), by frame index: it shows what it could recover.
    std::set<A_long> damaged;
    bool packetRefused = false;

    std::vector<CachedFrame> cache;
    std::size_t cacheLimit = 2;
    std::uint64_t useClock = 0;
    VideoDecodeCounters counters;

    std::string Where() const { return "Input file " + Quoted(path); }

    A_long IndexOf(const AVFrame& frame) const
    {
        const std::int64_t pts = frame.best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE)
        {
            // No timestamps (a raw stream): pictures count up from the last.
            return heldValid ? heldIndex + 1 : 0;
        }
        const std::int64_t index =
            av_rescale_q_rnd(pts - firstPts, timeBase, av_inv_q(rate), AV_ROUND_NEAR_INF);
        return static_cast<A_long>(std::clamp<std::int64_t>(index, -1, INT32_MAX));
    }

    // The next picture in presentation order into `into`; false at the end
    // of the stream. A damaged packet is skipped as a player would.
    bool DecodeNext(AVFrame* into)
    {
        for (;;)
        {
            int result = avcodec_receive_frame(codec.get(), into);
            if (result == 0)
            {
                ++counters.decodedPictures;
                return true;
            }
            if (result == AVERROR_EOF)
            {
                return false;
            }
            if (result != AVERROR(EAGAIN))
            {
                throw VideoSourceError(Where() + " cannot be decoded: " + ErrorText(result));
            }
            if (draining)
            {
                return false;
            }
            result = av_read_frame(format.get(), packet.get());
            if (result < 0)
            {
                if (result != AVERROR_EOF && !(format->pb && avio_feof(format->pb)))
                {
                    throw VideoSourceError(Where() + " cannot be read: " + ErrorText(result));
                }
                avcodec_send_packet(codec.get(), nullptr);
                draining = true;
                continue;
            }
            if (packet->stream_index == stream)
            {
                result = avcodec_send_packet(codec.get(), packet.get());
                packetRefused = packetRefused || result == AVERROR_INVALIDDATA ||
                                (packet->flags & AV_PKT_FLAG_CORRUPT) != 0;
                if (result < 0 && result != AVERROR_INVALIDDATA)
                {
                    av_packet_unref(packet.get());
                    throw VideoSourceError(Where() + " cannot be decoded: " + ErrorText(result));
                }
            }
            av_packet_unref(packet.get());
        }
    }

    // Decodes one picture after `held` into `pending`. False at the end.
    bool DecodePending()
    {
        for (;;)
        {
            if (!DecodeNext(pending.get()))
            {
                return false;
            }
            const A_long index = IndexOf(*pending);
            // A picture that goes back in time (a leading picture after a
            // seek, or a repeated timestamp) never replaces a later one.
            if (heldValid && index < heldIndex)
            {
                av_frame_unref(pending.get());
                continue;
            }
            if (packetRefused || pending->decode_error_flags != 0 ||
                (pending->flags & AV_FRAME_FLAG_CORRUPT) != 0)
            {
                damaged.insert(index);
                packetRefused = false;
            }
            pendingIndex = index;
            pendingValid = true;
            return true;
        }
    }

    void Consume()
    {
        std::swap(held, pending);
        av_frame_unref(pending.get());
        heldIndex = pendingIndex;
        heldValid = true;
        pendingValid = false;
    }

    void Reset()
    {
        av_frame_unref(held.get());
        av_frame_unref(pending.get());
        heldValid = pendingValid = false;
        heldIndex = pendingIndex = -1;
        draining = false;
    }

    // Positions the decoder so that its next picture is at or before frame
    // `index`: seeks to the key frame before the frame's time, and further
    // back when the file's index lands after it.
    void SeekBefore(A_long index)
    {
        A_long back = 0;
        for (;;)
        {
            const A_long target = std::max<A_long>(index - back, 0);
            const std::int64_t pts = firstPts + av_rescale_q(target, av_inv_q(rate), timeBase);
            const int result = av_seek_frame(format.get(), stream, pts, AVSEEK_FLAG_BACKWARD);
            if (result < 0)
            {
                throw VideoSourceError(fmt::format("{} cannot be searched to frame {}: {}", Where(),
                                                   index, ErrorText(result)));
            }
            avcodec_flush_buffers(codec.get());
            Reset();
            ++counters.seeks;
            if (!DecodePending())
            {
                if (target == 0)
                {
                    throw VideoSourceError(
                        fmt::format("{} has no picture to show at frame {}", Where(), index));
                }
            }
            else if (pendingIndex <= index || target == 0)
            {
                return;
            }
            back = std::max<A_long>(back * 2, 16);
        }
    }

    // The picture shown at frame `index`: the last one whose time is not
    // after the frame's time.
    const AVFrame& Locate(A_long index)
    {
        const bool positioned = heldValid || pendingValid;
        const A_long position = heldValid ? heldIndex : pendingIndex;
        if (!positioned || index < position || index - position > ForwardDecodeLimit)
        {
            SeekBefore(index);
        }
        for (;;)
        {
            if (heldValid && heldIndex == index)
            {
                return *held;
            }
            if (!pendingValid && !DecodePending())
            {
                // A count or duration rounded by the container may promise
                // one frame more than the stream holds; the last picture then
                // stays. More than that is a file cut short or damaged, and
                // repeating its last picture would pass for the real frames.
                if (heldValid && index <= heldIndex + 1)
                {
                    return *held;
                }
                if (heldValid)
                {
                    throw VideoSourceError(
                        fmt::format("{} ends after frame {} although it declares "
                                    "{} frames (is it cut short or damaged?)",
                                    Where(), heldIndex, frameCount));
                }
                throw VideoSourceError(
                    fmt::format("{} has no picture to show at frame {}", Where(), index));
            }
            if (pendingIndex > index && heldValid)
            {
                return *held;
            }
            Consume();
        }
    }

    void Convert(const AVFrame& frame, World& into)
    {
        if (orientation.Upright())
        {
            ConvertUpright(frame, into);
            return;
        }
        const bool transposed = orientation.Transposed();
        const A_long width = transposed ? layerHeight : layerWidth;
        const A_long height = transposed ? layerWidth : layerHeight;
        if (upright.Width() != width || upright.Height() != height)
        {
            upright = World(width, height);
        }
        ConvertUpright(frame, upright);
        Reorient(upright, orientation, into);
    }

    // Converts the picture as stored into `into`, scaling it to its size.
    void ConvertUpright(const AVFrame& frame, World& into)
    {
        const auto pixelFormat = static_cast<AVPixelFormat>(frame.format);
        scaler.reset(sws_getCachedContext(scaler.release(), frame.width, frame.height, pixelFormat,
                                          into.Width(), into.Height(), AV_PIX_FMT_ARGB,
                                          SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                          nullptr, nullptr, nullptr));
        if (!scaler)
        {
            throw VideoSourceError(Where() + ": libswscale cannot convert its " +
                                   std::string(av_get_pix_fmt_name(pixelFormat)
                                                   ? av_get_pix_fmt_name(pixelFormat)
                                                   : "unknown") +
                                   " pictures to ARGB");
        }
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(pixelFormat);
        if (descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB))
        {
            SetColourSpace(frame, pixelFormat);
        }
        std::uint8_t* const target[4] = {reinterpret_cast<std::uint8_t*>(into.Def().data), nullptr,
                                         nullptr, nullptr};
        const int strides[4] = {into.RowBytes(), 0, 0, 0};
        sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, target, strides);
        ++counters.conversions;
    }

    void SetColourSpace(const AVFrame& frame, AVPixelFormat pixelFormat)
    {
        int space = SWS_CS_DEFAULT;
        switch (frame.colorspace)
        {
        case AVCOL_SPC_BT709:
            space = SWS_CS_ITU709;
            break;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
            space = SWS_CS_ITU601;
            break;
        case AVCOL_SPC_SMPTE240M:
            space = SWS_CS_SMPTE240M;
            break;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            space = SWS_CS_BT2020;
            break;
        default:
            // Untagged: what players assume, HD in BT.709, the rest in 601.
            space = frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
            break;
        }
        const bool fullRange =
            frame.color_range == AVCOL_RANGE_JPEG || pixelFormat == AV_PIX_FMT_YUVJ420P ||
            pixelFormat == AV_PIX_FMT_YUVJ422P || pixelFormat == AV_PIX_FMT_YUVJ444P ||
            pixelFormat == AV_PIX_FMT_YUVJ440P || pixelFormat == AV_PIX_FMT_YUVJ411P;
        sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(space), fullRange ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }

    CachedFrame* Cached(A_long index)
    {
        for (CachedFrame& entry : cache)
        {
            if (entry.index == index)
            {
                entry.lastUse = ++useClock;
                return &entry;
            }
        }
        return nullptr;
    }

    CachedFrame& FreeSlot()
    {
        if (cache.size() < cacheLimit)
        {
            cache.push_back(CachedFrame{-1, 0, std::make_shared<World>(layerWidth, layerHeight)});
            return cache.back();
        }
        CachedFrame& oldest =
            *std::min_element(cache.begin(), cache.end(),
                              [](const CachedFrame& left, const CachedFrame& right)
                              { return left.lastUse < right.lastUse; });
        if (oldest.world.use_count() > 1)
        {
            // Still lent: its holder keeps it as it is, the slot gets another.
            oldest.world = std::make_shared<World>(layerWidth, layerHeight);
        }
        return oldest;
    }

    void Fetch(A_long index, World& into)
    {
        if (into.Width() != layerWidth || into.Height() != layerHeight)
        {
            throw std::invalid_argument("A video frame goes into a world of the layer's size");
        }
        const World& cached = *Held(index);
        std::memcpy(into.Def().data, cached.Def().data,
                    static_cast<std::size_t>(into.RowBytes()) *
                        static_cast<std::size_t>(into.Height()));
    }

    std::shared_ptr<World> Held(A_long index)
    {
        index = std::clamp<A_long>(index, 0, frameCount - 1);
        const CachedFrame* entry = Cached(index);
        if (entry != nullptr)
        {
            ++counters.cacheHits;
        }
        else
        {
            const AVFrame& picture = Locate(index);
            CachedFrame& slot = FreeSlot();
            slot.index = -1; // not valid until converted
            Convert(picture, *slot.world);
            slot.index = index;
            slot.lastUse = ++useClock;
            entry = &slot;
        }
        return entry->world;
    }
};

VideoSource::VideoSource(const std::string& path, A_long layerWidth, A_long layerHeight,
                         std::uint64_t cacheBytes)
    : decoder_(std::make_unique<Decoder>())
{
    CheckReadableFile(path);
    Decoder& decoder = *decoder_;
    decoder.path = path;
    description_.path = path;

    AVFormatContext* rawFormat = nullptr;
    int result = avformat_open_input(&rawFormat, path.c_str(), nullptr, nullptr);
    if (result < 0)
    {
        throw VideoSourceError("Input file " + Quoted(path) +
                               " is not a video file that can be read (" + ErrorText(result) + ")");
    }
    decoder.format.reset(rawFormat);
    result = avformat_find_stream_info(rawFormat, nullptr);
    if (result < 0)
    {
        throw VideoSourceError("Input file " + Quoted(path) +
                               " is not a video file that can be read (" + ErrorText(result) + ")");
    }
    const AVCodec* codec = nullptr;
    result = av_find_best_stream(rawFormat, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (result == AVERROR_DECODER_NOT_FOUND)
    {
        throw VideoSourceError("Input file " + Quoted(path) +
                               " uses a video codec that libavcodec cannot decode");
    }
    if (result < 0 || (rawFormat->streams[result]->disposition & AV_DISPOSITION_ATTACHED_PIC))
    {
        throw VideoSourceError("Input file " + Quoted(path) + " holds no video stream");
    }
    decoder.stream = result;
    AVStream& stream = *rawFormat->streams[result];
    for (unsigned i = 0; i < rawFormat->nb_streams; ++i)
    {
        // Only the video packets are wanted; the demuxer skips the rest.
        if (static_cast<int>(i) != decoder.stream)
        {
            rawFormat->streams[i]->discard = AVDISCARD_ALL;
        }
    }

    decoder.codec.reset(avcodec_alloc_context3(codec));
    decoder.packet.reset(av_packet_alloc());
    if (!decoder.codec || !decoder.packet)
    {
        throw std::bad_alloc();
    }
    avcodec_parameters_to_context(decoder.codec.get(), stream.codecpar);
    decoder.codec->pkt_timebase = stream.time_base;
    decoder.codec->thread_count = 0;
    result = avcodec_open2(decoder.codec.get(), codec, nullptr);
    if (result < 0)
    {
        throw VideoSourceError("Input file " + Quoted(path) + ": libavcodec cannot open its " +
                               codec->name + " decoder (" + ErrorText(result) + ")");
    }

    decoder.timeBase = stream.time_base;
    decoder.rate = ChooseRate(stream, description_.averageRate);
    if (!Valid(decoder.rate))
    {
        throw VideoSourceError("Input file " + Quoted(path) + " declares no frame rate");
    }

    // The first picture fixes time zero and proves the stream decodes.
    if (!decoder.DecodeNext(decoder.pending.get()))
    {
        throw VideoSourceError("Input file " + Quoted(path) + " holds no pictures");
    }
    decoder.firstPts = decoder.pending->best_effort_timestamp != AV_NOPTS_VALUE
                           ? decoder.pending->best_effort_timestamp
                           : 0;
    decoder.pendingIndex = 0;
    decoder.pendingValid = true;

    description_.container =
        rawFormat->iformat->long_name ? rawFormat->iformat->long_name : rawFormat->iformat->name;
    description_.codec = codec->long_name ? codec->long_name : codec->name;
    const char* pixelFormat =
        av_get_pix_fmt_name(static_cast<AVPixelFormat>(decoder.pending->format));
    description_.pixelFormat = pixelFormat ? pixelFormat : "unknown";
    description_.width = decoder.pending->width;
    description_.height = decoder.pending->height;
    description_.timeScale = static_cast<A_u_long>(decoder.rate.num);
    description_.timeStep = decoder.rate.den;

    std::int64_t frames = stream.nb_frames;
    if (frames <= 0)
    {
        double seconds = 0.0;
        if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
        {
            seconds = static_cast<double>(stream.duration) * av_q2d(stream.time_base);
        }
        else if (rawFormat->duration != AV_NOPTS_VALUE && rawFormat->duration > 0)
        {
            seconds = static_cast<double>(rawFormat->duration) / AV_TIME_BASE;
        }
        frames = std::llround(seconds * av_q2d(decoder.rate));
        description_.frameCountEstimated = true;
    }
    frames = std::max<std::int64_t>(frames, 1);
    // The host's total time is frames x time step in 32 bits.
    if (frames > INT32_MAX / decoder.rate.den)
    {
        throw VideoSourceError(
            fmt::format("Input file {} is too long: {} frames at {}/{} frames per second overflow "
                        "the host's time",
                        Quoted(path), frames, decoder.rate.num, decoder.rate.den));
    }
    decoder.frameCount = static_cast<A_long>(frames);
    description_.frameCount = decoder.frameCount;
    description_.durationSeconds = static_cast<double>(frames) / av_q2d(decoder.rate);

    decoder.orientation = ReadOrientation(reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr)));
    description_.orientation = DescribeOrientation(decoder.orientation);
    const bool transposed = decoder.orientation.Transposed();
    width_ = layerWidth > 0 ? layerWidth : transposed ? description_.height : description_.width;
    height_ = layerHeight > 0 ? layerHeight : transposed ? description_.width : description_.height;
    decoder.layerWidth = width_;
    decoder.layerHeight = height_;
    const std::uint64_t frameBytes =
        static_cast<std::uint64_t>(width_) * static_cast<std::uint64_t>(height_) * 4 + 1;
    decoder.cacheLimit =
        static_cast<std::size_t>(std::max<std::uint64_t>(cacheBytes / frameBytes, 2));
}

VideoSource::~VideoSource() = default;

void VideoSource::QuietLibraryMessages() noexcept
{
    av_log_set_level(AV_LOG_FATAL);
}

VideoDecodeCounters VideoSource::Counters() const noexcept
{
    return decoder_->counters;
}

std::vector<A_long> VideoSource::DamagedFrames() const
{
    return {decoder_->damaged.begin(), decoder_->damaged.end()};
}

void VideoSource::Frame(A_long index, World& into) const
{
    decoder_->Fetch(index, into);
}

void VideoSource::FrameAt(A_long time, A_long timeStep, A_u_long, World& into) const
{
    decoder_->Fetch(FrameIndexAt(time, timeStep), into);
}

std::shared_ptr<const World> VideoSource::HeldFrame(A_long time, A_long timeStep, A_u_long) const
{
    return decoder_->Held(FrameIndexAt(time, timeStep));
}

} // namespace EffectHost
