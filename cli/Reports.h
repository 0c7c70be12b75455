#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/FrameInformation.h"
#include "cli/Json.h"
#include "cli/Project.h"
#include "cli/Quality.h"
#include "cli/SizesChart.h"
#include "host/VideoSource.h"

namespace CommandLine
{

// One rendered frame: what the effect's Information area said about it and
// how close the preview is to the input.
struct FrameRow
{
    int frame = 0;
    int segment = 0;
    std::string pictureType;
    std::string sizeText; // as the effect showed it
    SizeRange size;
    FrameQuality quality;
    // False for a layer under 16 x 16, which the effect shows as transparent
    // black without encoding: segment, type and size then say nothing.
    bool encoded = true;
};

struct Report
{
    std::string effectName;
    std::string matchName;
    long effectVersion = 0;
    Json input = Json::object(); // the input's description
    std::vector<ControlValue> settings;
    std::uint32_t timeScale = 0;
    std::int32_t timeStep = 0;
    std::vector<FrameRow> rows;
    // The effect's statistics after the last rendered frame.
    std::optional<FrameInformation> last;
};

// The row from what the effect showed and what the host measured.
FrameRow MakeFrameRow(const FrameInformation& information, const FrameQuality& quality);
// The row of a frame the effect did not encode.
FrameRow MakeUnencodedRow(int frame, const FrameQuality& quality);

// report.csv: a header line, then one line per rendered frame.
std::string ReportCsv(const Report& report);
// report.json: the effect, the input, the settings, a summary and the rows.
Json ReportJson(const Report& report);
// sizes.svg from the rows; the target line in average-bitrate mode.
std::string ReportChart(const Report& report);

// The target bitrate as bytes per frame at the report's rate.
double TargetBytesPerFrame(std::uint32_t targetKbps, std::uint32_t timeScale,
                           std::int32_t timeStep);

// The input's description for the report: its kind ("built-in clip",
// "image sequence", "video file"), a short name, the layer size and rate.
Json DescribeLayer(const std::string& kind, const std::string& name, int width, int height,
                   std::uint32_t timeScale, std::int32_t timeStep, int frames);
// The same for a video file, with its container, codec and stream size.
Json DescribeVideo(const EffectHost::VideoSource& source);

// Writes report.csv, report.json and sizes.svg into the folder, each
// atomically. Throws std::runtime_error.
void WriteReports(const Report& report, const std::filesystem::path& folder);

} // namespace CommandLine
