#pragma once

#include <cstdint>
#include <functional>
#include <vector>

extern "C"
{
#include <libavutil/frame.h>
}

namespace Bench
{

// The H.264 access units of one segment, in decode order.
using SegmentStream = std::vector<std::vector<std::uint8_t>>;

// Decodes each segment with libavcodec's H.264 decoder on one thread, a new
// decoder per segment as a player seeking to it would open, and answers the
// milliseconds spent sending packets and receiving pictures (opening and
// closing the decoders excluded). Throws std::runtime_error when the decoder
// cannot be opened, refuses a packet, or returns another number of pictures
// than it was given access units. `onPicture`, when given, sees every
// decoded picture in display order (its time is not counted).
double DecodeSegments(const std::vector<SegmentStream>& segments,
                      const std::function<void(const AVFrame&)>& onPicture = {});

} // namespace Bench
