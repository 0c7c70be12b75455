#pragma once

#include <cstdint>
#include <vector>

namespace Bench
{

// The H.264 access units of one segment, in decode order.
using SegmentStream = std::vector<std::vector<std::uint8_t>>;

// Decodes each segment with libavcodec's H.264 decoder on one thread, a new
// decoder per segment as a player seeking to it would open, and answers the
// milliseconds spent sending packets and receiving pictures (opening and
// closing the decoders excluded). Throws std::runtime_error when the decoder
// cannot be opened, refuses a packet, or returns another number of pictures
// than it was given access units.
double DecodeSegments(const std::vector<SegmentStream>& segments);

} // namespace Bench
