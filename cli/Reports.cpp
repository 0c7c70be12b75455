#include "cli/Reports.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <set>

#include "cli/OutputFiles.h"

namespace CommandLine
{

namespace
{

std::string Decibels(double value)
{
    if (std::isinf(value))
    {
        return "inf";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// A CSV field, quoted when it holds a separator, a quote or a line break.
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos)
    {
        return text;
    }
    std::string out = "\"";
    for (const char c : text)
    {
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return out + "\"";
}

// Rounded to three decimals so the file reads as a table does.
Json Rounded(double value)
{
    return std::isfinite(value) ? Json(std::round(value * 1000.0) / 1000.0) : Json();
}

Json PsnrSummary(const std::vector<FrameRow>& rows, bool luma)
{
    double sumOfPsnr = 0.0;
    int finite = 0;
    double sumOfErrors = 0.0;
    double worst = std::numeric_limits<double>::infinity();
    int worstFrame = -1;
    for (const FrameRow& row : rows)
    {
        const double error = luma ? row.quality.mseLuma : row.quality.mseOverall;
        const double psnr = PsnrOf(error);
        sumOfErrors += error;
        if (std::isfinite(psnr))
        {
            sumOfPsnr += psnr;
            ++finite;
        }
        if (worstFrame < 0 || psnr < worst)
        {
            worst = psnr;
            worstFrame = row.frame;
        }
    }
    Json summary = Json::Object();
    summary.Set("mean", finite > 0 ? Rounded(sumOfPsnr / finite) : Json());
    summary.Set("global", rows.empty()
                              ? Json()
                              : Rounded(PsnrOf(sumOfErrors / static_cast<double>(rows.size()))));
    summary.Set("min", rows.empty() ? Json() : Rounded(worst));
    summary.Set("minFrame", worstFrame >= 0 ? Json(worstFrame) : Json());
    return summary;
}

} // namespace

FrameRow MakeFrameRow(const FrameInformation& information, const FrameQuality& quality)
{
    return FrameRow{information.frame,    information.segment, information.pictureType,
                    information.sizeText, information.size,    quality};
}

FrameRow MakeUnencodedRow(int frame, const FrameQuality& quality)
{
    FrameRow row;
    row.frame = frame;
    row.encoded = false;
    row.quality = quality;
    return row;
}

double TargetBytesPerFrame(std::uint32_t targetKbps, std::uint32_t timeScale, std::int32_t timeStep)
{
    if (timeScale == 0)
    {
        return 0.0;
    }
    return targetKbps * 1000.0 / 8.0 * timeStep / timeScale;
}

std::string ReportCsv(const Report& report)
{
    std::string csv = "frame,segment,picture_type,encoded_bytes,encoded_bytes_min,"
                      "encoded_bytes_max,encoded_size_shown,psnr_y,psnr\n";
    for (const FrameRow& row : report.rows)
    {
        csv += std::to_string(row.frame) + ",";
        if (row.encoded)
        {
            csv += std::to_string(row.segment) + "," + CsvField(row.pictureType) + "," +
                   std::to_string(row.size.Estimate()) + "," + std::to_string(row.size.min) + "," +
                   std::to_string(row.size.max) + "," + CsvField(row.sizeText) + ",";
        }
        else
        {
            csv += ",,,,,,";
        }
        csv += Decibels(row.quality.PsnrLuma()) + "," + Decibels(row.quality.PsnrOverall()) + "\n";
    }
    return csv;
}

Json ReportJson(const Report& report)
{
    Json json = Json::Object();
    Json effect = Json::Object();
    effect.Set("name", report.effectName);
    effect.Set("matchName", report.matchName);
    effect.Set("version", report.effectVersion);
    json.Set("effect", std::move(effect));
    json.Set("input", report.input);

    Json settings = Json::Array();
    for (const ControlValue& control : report.settings)
    {
        Json entry = Json::Object();
        entry.Set("name", control.name);
        entry.Set("hostId", control.hostId);
        entry.Set("value", control.value);
        entry.Set("text", control.text);
        settings.Add(std::move(entry));
    }
    json.Set("settings", std::move(settings));

    Json summary = Json::Object();
    summary.Set("frames", report.rows.size());
    std::set<int> segments;
    std::map<std::string, int> types;
    std::uint64_t estimate = 0;
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    for (const FrameRow& row : report.rows)
    {
        if (!row.encoded)
        {
            continue;
        }
        segments.insert(row.segment);
        ++types[row.pictureType];
        estimate += row.size.Estimate();
        low += row.size.min;
        high += row.size.max;
    }
    summary.Set("segments", segments.size());
    Json typeCounts = Json::Object();
    for (const auto& [type, count] : types)
    {
        typeCounts.Set(type, count);
    }
    summary.Set("pictureTypes", std::move(typeCounts));
    Json bytes = Json::Object();
    bytes.Set("estimate", estimate);
    bytes.Set("min", low);
    bytes.Set("max", high);
    summary.Set("encodedBytes", std::move(bytes));
    const double seconds = report.timeScale > 0 ? static_cast<double>(report.rows.size()) *
                                                      report.timeStep / report.timeScale
                                                : 0.0;
    summary.Set("seconds", Rounded(seconds));
    summary.Set("bitrateKbps", seconds > 0
                                   ? Rounded(static_cast<double>(estimate) * 8.0 / seconds / 1000.0)
                                   : Json());
    summary.Set("psnrY", PsnrSummary(report.rows, true));
    summary.Set("psnr", PsnrSummary(report.rows, false));
    if (report.last)
    {
        // What the effect itself says about all the frames it holds, which
        // are the whole segments it encoded, not only the rendered frames.
        Json shown = Json::Object();
        shown.Set("encodedWidth", report.last->width);
        shown.Set("encodedHeight", report.last->height);
        shown.Set("averageBitrateKbps", report.last->averageKbps);
        shown.Set("targetBitrateKbps",
                  report.last->targetKbps ? Json(*report.last->targetKbps) : Json());
        shown.Set("totalEncodedSize", report.last->totalText);
        shown.Set("totalEncodedBytesMin", report.last->total.min);
        shown.Set("totalEncodedBytesMax", report.last->total.max);
        shown.Set("memoryUsage", report.last->memoryText);
        summary.Set("effect", std::move(shown));
    }
    json.Set("summary", std::move(summary));

    Json frames = Json::Array();
    for (const FrameRow& row : report.rows)
    {
        Json entry = Json::Object();
        entry.Set("frame", row.frame);
        entry.Set("segment", row.encoded ? Json(row.segment) : Json());
        entry.Set("pictureType", row.encoded ? Json(row.pictureType) : Json());
        entry.Set("encodedBytes", row.encoded ? Json(row.size.Estimate()) : Json());
        entry.Set("encodedBytesMin", row.encoded ? Json(row.size.min) : Json());
        entry.Set("encodedBytesMax", row.encoded ? Json(row.size.max) : Json());
        entry.Set("encodedSizeShown", row.encoded ? Json(row.sizeText) : Json());
        entry.Set("psnrY", Rounded(row.quality.PsnrLuma()));
        entry.Set("psnr", Rounded(row.quality.PsnrOverall()));
        frames.Add(std::move(entry));
    }
    json.Set("frames", std::move(frames));
    json.Set("notes",
             "The effect shows a size of 1024 bytes or more in K, M or G with one truncated "
             "decimal. encodedBytes is the middle of the range that the shown size allows, "
             "encodedBytesMin and encodedBytesMax are its bounds (equal when the size is exact). "
             "PSNR is measured by the host on the RGB pictures (psnrY on Y' = 0.299 R + 0.587 G "
             "+ 0.114 B); null stands for identical pictures.");
    return json;
}

std::string ReportChart(const Report& report)
{
    std::vector<ChartFrame> frames;
    for (const FrameRow& row : report.rows)
    {
        if (row.encoded)
        {
            frames.push_back(ChartFrame{row.frame, row.segment, row.pictureType,
                                        row.size.Estimate(), row.size.max});
        }
    }
    ChartSettings settings;
    settings.title = "Encoded size per frame";
    const Json* name = report.input.IsObject() ? report.input.Find("name") : nullptr;
    if (name != nullptr && name->IsString())
    {
        settings.title += ": " + name->String("name");
    }
    if (report.last && report.last->targetKbps)
    {
        settings.targetKbps = report.last->targetKbps;
        settings.targetBytesPerFrame =
            TargetBytesPerFrame(*report.last->targetKbps, report.timeScale, report.timeStep);
    }
    return SizesChart(frames, settings);
}

Json DescribeLayer(const std::string& kind, const std::string& name, int width, int height,
                   std::uint32_t timeScale, std::int32_t timeStep, int frames)
{
    Json input = Json::Object();
    input.Set("kind", kind);
    input.Set("name", name);
    input.Set("width", width);
    input.Set("height", height);
    input.Set("frameRate", std::to_string(timeScale) + "/" + std::to_string(timeStep));
    input.Set("framesPerSecond",
              timeStep > 0 ? Rounded(static_cast<double>(timeScale) / timeStep) : Json());
    input.Set("frames", frames);
    input.Set("durationSeconds",
              timeScale > 0 ? Rounded(static_cast<double>(frames) * timeStep / timeScale) : Json());
    return input;
}

Json DescribeVideo(const EffectHost::VideoSource& source)
{
    const EffectHost::VideoDescription& video = source.Description();
    Json input = DescribeLayer("video file", std::filesystem::path(video.path).filename().string(),
                               source.Width(), source.Height(), video.timeScale, video.timeStep,
                               video.frameCount);
    input.Set("path", video.path);
    input.Set("container", video.container);
    input.Set("codec", video.codec);
    input.Set("pixelFormat", video.pixelFormat);
    input.Set("streamWidth", video.width);
    input.Set("streamHeight", video.height);
    input.Set("orientation", video.orientation.empty() ? "upright" : video.orientation);
    input.Set("framesEstimated", video.frameCountEstimated);
    input.Set("averageRate", video.averageRate);
    return input;
}

void WriteReports(const Report& report, const std::filesystem::path& folder)
{
    WriteTextFile(folder / "report.csv", ReportCsv(report));
    WriteTextFile(folder / "report.json", ReportJson(report).Dump());
    WriteTextFile(folder / "sizes.svg", ReportChart(report));
}

} // namespace CommandLine
