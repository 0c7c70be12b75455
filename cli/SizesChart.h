#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace CommandLine
{

struct ChartFrame
{
    int frame = 0;
    int segment = 0;
    std::string pictureType;
    std::uint64_t bytes = 0;    // the estimate drawn as the bar
    std::uint64_t bytesMax = 0; // the top of what the effect's rounded size allows
};

struct ChartSettings
{
    std::string title;
    // Average-bitrate mode: the target as bytes per frame, drawn as a line.
    std::optional<double> targetBytesPerFrame;
    std::optional<std::uint32_t> targetKbps;
};

// The encoded bytes of each frame as an SVG bar chart: bars coloured by
// picture type with the type's name on the colour key beside the title and
// on bars wide enough for it, dashed lines at segment boundaries with the
// segment numbers, and the target as a labelled line when there is one.
std::string SizesChart(const std::vector<ChartFrame>& frames, const ChartSettings& settings);

// The fill colour of a picture type in the chart ("#rrggbb").
const char* PictureTypeColour(const std::string& pictureType);

} // namespace CommandLine
