#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/Host.h"

namespace CommandLine
{

// The bytes a size text of the effect's Information area stands for. The
// effect writes sizes of 1024 bytes and more in K, M or G with one
// truncated decimal, so such a text only bounds the size; below 1024 it is
// exact (min == max).
struct SizeRange
{
    std::uint64_t min = 0;
    std::uint64_t max = 0;

    bool Exact() const noexcept { return min == max; }
    // The middle of the range: the best single figure the text allows.
    std::uint64_t Estimate() const noexcept { return min + (max - min) / 2; }
};

// Parses "500 ", "21.2 K", "1 M", "5120 G". Throws std::invalid_argument.
SizeRange ParseSizeText(const std::string& text);

// What the effect's Information area says about the frame at the current
// time and about everything its renderer holds.
struct FrameInformation
{
    int width = 0; // the encoded picture size
    int height = 0;
    int frame = 0;
    int segment = 0;
    std::string pictureType; // "IDR", "I", "P", "BRef", "B", "Key", "Unknown"
    std::string sizeText;    // as shown, "21.2 K"
    SizeRange size;
    std::string totalText;
    SizeRange total;
    std::uint32_t averageKbps = 0;
    std::optional<std::uint32_t> targetKbps; // average-bitrate mode only
    std::string memoryText;
};

// Parses the five lines the effect draws. Throws std::invalid_argument
// quoting the line that does not read as expected (the effect shows "N/A"
// before it has rendered anything).
FrameInformation ParseInformation(const std::vector<std::string>& lines);

// The effect shows an output under 16 x 16 as transparent black and
// encodes nothing for it.
constexpr int SmallestEncodedSide = 16;
inline bool TooSmallToEncode(int width, int height) noexcept
{
    return width < SmallestEncodedSide || height < SmallestEncodedSide;
}

// Sends the draw event of the Information area at the host's current time
// and parses what the effect drew, through the effect API only. Answers
// nothing when the area shows "N/A": the effect has encoded nothing (a layer
// under 16 x 16). Throws std::runtime_error when the area is missing, the
// draw fails or its text does not parse.
std::optional<FrameInformation> ReadInformation(EffectHost::Host& host);

} // namespace CommandLine
