#include "cli/Reports.h"

#include <cmath>
#include <limits>
#include <map>
#include <set>

#include <fmt/format.h>

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
    return fmt::format("{:.3f}", value);
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
    return JsonNumber(std::round(value * 1000.0) / 1000.0);
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
    Json summary = Json::object();
    summary["mean"] = finite > 0 ? Rounded(sumOfPsnr / finite) : Json();
    summary["global"] =
        rows.empty() ? Json() : Rounded(PsnrOf(sumOfErrors / static_cast<double>(rows.size())));
    summary["min"] = rows.empty() ? Json() : Rounded(worst);
    summary["minFrame"] = worstFrame >= 0 ? Json(worstFrame) : Json();
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
        csv += fmt::format("{},", row.frame);
        if (row.encoded)
        {
            csv += fmt::format("{},{},{},{},{},{},", row.segment, CsvField(row.pictureType),
                               row.size.Estimate(), row.size.min, row.size.max,
                               CsvField(row.sizeText));
        }
        else
        {
            csv += ",,,,,,";
        }
        csv += fmt::format("{},{}\n", Decibels(row.quality.PsnrLuma()),
                           Decibels(row.quality.PsnrOverall()));
    }
    return csv;
}

Json ReportJson(const Report& report)
{
    Json json = Json::object();
    Json effect = Json::object();
    effect["name"] = report.effectName;
    effect["matchName"] = report.matchName;
    effect["version"] = report.effectVersion;
    json["effect"] = std::move(effect);
    json["input"] = report.input;

    Json settings = Json::array();
    for (const ControlValue& control : report.settings)
    {
        Json entry = Json::object();
        entry["name"] = control.name;
        entry["hostId"] = control.hostId;
        entry["value"] = JsonNumber(control.value);
        entry["text"] = control.text;
        settings.push_back(std::move(entry));
    }
    json["settings"] = std::move(settings);

    Json summary = Json::object();
    summary["frames"] = report.rows.size();
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
    summary["segments"] = segments.size();
    Json typeCounts = Json::object();
    for (const auto& [type, count] : types)
    {
        typeCounts[type] = count;
    }
    summary["pictureTypes"] = std::move(typeCounts);
    Json bytes = Json::object();
    bytes["estimate"] = estimate;
    bytes["min"] = low;
    bytes["max"] = high;
    summary["encodedBytes"] = std::move(bytes);
    const double seconds = report.timeScale > 0 ? static_cast<double>(report.rows.size()) *
                                                      report.timeStep / report.timeScale
                                                : 0.0;
    summary["seconds"] = Rounded(seconds);
    summary["bitrateKbps"] =
        seconds > 0 ? Rounded(static_cast<double>(estimate) * 8.0 / seconds / 1000.0) : Json();
    summary["psnrY"] = PsnrSummary(report.rows, true);
    summary["psnr"] = PsnrSummary(report.rows, false);
    if (report.last)
    {
        // What the effect itself says about all the frames it holds, which
        // are the whole segments it encoded, not only the rendered frames.
        Json shown = Json::object();
        shown["encodedWidth"] = report.last->width;
        shown["encodedHeight"] = report.last->height;
        shown["averageBitrateKbps"] = report.last->averageKbps;
        shown["targetBitrateKbps"] =
            report.last->targetKbps ? Json(*report.last->targetKbps) : Json();
        shown["totalEncodedSize"] = report.last->totalText;
        shown["totalEncodedBytesMin"] = report.last->total.min;
        shown["totalEncodedBytesMax"] = report.last->total.max;
        shown["memoryUsage"] = report.last->memoryText;
        summary["effect"] = std::move(shown);
    }
    json["summary"] = std::move(summary);

    Json frames = Json::array();
    for (const FrameRow& row : report.rows)
    {
        Json entry = Json::object();
        entry["frame"] = row.frame;
        entry["segment"] = row.encoded ? Json(row.segment) : Json();
        entry["pictureType"] = row.encoded ? Json(row.pictureType) : Json();
        entry["encodedBytes"] = row.encoded ? Json(row.size.Estimate()) : Json();
        entry["encodedBytesMin"] = row.encoded ? Json(row.size.min) : Json();
        entry["encodedBytesMax"] = row.encoded ? Json(row.size.max) : Json();
        entry["encodedSizeShown"] = row.encoded ? Json(row.sizeText) : Json();
        entry["psnrY"] = Rounded(row.quality.PsnrLuma());
        entry["psnr"] = Rounded(row.quality.PsnrOverall());
        frames.push_back(std::move(entry));
    }
    json["frames"] = std::move(frames);
    json["notes"] =
        "The effect shows a size of 1024 bytes or more in K, M or G with one truncated "
        "decimal. encodedBytes is the middle of the range that the shown size allows, "
        "encodedBytesMin and encodedBytesMax are its bounds (equal when the size is exact). "
        "PSNR is measured by the host on the RGB pictures (psnrY on Y' = 0.299 R + 0.587 G "
        "+ 0.114 B); null stands for identical pictures.";
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
    const auto name = report.input.find("name");
    if (name != report.input.end() && name->is_string())
    {
        settings.title += ": " + name->get<std::string>();
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
    Json input = Json::object();
    input["kind"] = kind;
    input["name"] = name;
    input["width"] = width;
    input["height"] = height;
    input["frameRate"] = fmt::format("{}/{}", timeScale, timeStep);
    input["framesPerSecond"] =
        timeStep > 0 ? Rounded(static_cast<double>(timeScale) / timeStep) : Json();
    input["frames"] = frames;
    input["durationSeconds"] =
        timeScale > 0 ? Rounded(static_cast<double>(frames) * timeStep / timeScale) : Json();
    return input;
}

Json DescribeVideo(const EffectHost::VideoSource& source)
{
    const EffectHost::VideoDescription& video = source.Description();
    Json input = DescribeLayer("video file", std::filesystem::path(video.path).filename().string(),
                               source.Width(), source.Height(), video.timeScale, video.timeStep,
                               video.frameCount);
    input["path"] = video.path;
    input["container"] = video.container;
    input["codec"] = video.codec;
    input["pixelFormat"] = video.pixelFormat;
    input["streamWidth"] = video.width;
    input["streamHeight"] = video.height;
    input["orientation"] = video.orientation.empty() ? "upright" : video.orientation;
    input["framesEstimated"] = video.frameCountEstimated;
    input["averageRate"] = video.averageRate;
    return input;
}

void WriteReports(const Report& report, const std::filesystem::path& folder)
{
    WriteTextFile(folder / "report.csv", ReportCsv(report));
    WriteTextFile(folder / "report.json", JsonText(ReportJson(report)));
    WriteTextFile(folder / "sizes.svg", ReportChart(report));
}

} // namespace CommandLine
