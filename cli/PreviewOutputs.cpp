#include "cli/PreviewOutputs.h"

#include <unistd.h>

#include <cmath>
#include <iostream>

#include <fmt/format.h>

#include "cli/Compare.h"
#include "cli/FrameInformation.h"
#include "cli/OutputFiles.h"
#include "cli/Project.h"
#include "cli/Session.h"
#include "host/BuiltInClip.h"
#include "host/ImageSequence.h"
#include "host/Resolution.h"
#include "host/VideoSource.h"

namespace CommandLine
{

namespace
{

std::string PsnrText(double psnr)
{
    if (std::isinf(psnr))
    {
        return "identical";
    }
    return fmt::format("PSNR {:.1f} dB", psnr);
}

std::string NeedValue(ArgumentReader& reader, const std::string& option, const char* what)
{
    std::string value = reader.Value(option);
    if (value.empty())
    {
        throw UsageError(option + " needs " + what);
    }
    return value;
}

} // namespace

bool ParseOutputOption(ArgumentReader& reader, const std::string& option, OutputRequest& request)
{
    if (option == "--compare")
    {
        reader.NoValue(option);
        request.compare = true;
        return true;
    }
    if (option == "--y4m")
    {
        request.y4m = NeedValue(reader, option, "a file name, or - for standard output");
        if (*request.y4m == "-" && ::isatty(STDOUT_FILENO) == 1)
        {
            throw UsageError(option + " - would pour a video stream onto the terminal; pipe it "
                                      "into a player (| mpv -) or give a file name");
        }
        return true;
    }
    if (option == "--save-project")
    {
        request.saveProject = NeedValue(reader, option, "a file name");
        return true;
    }
    if (option == "--project")
    {
        request.project = NeedValue(reader, option, "a file name");
        return true;
    }
    return false;
}

const char* OutputOptionsHelp()
{
    return "Outputs (frame_NNNNN.png, report.csv, report.json and sizes.svg always):\n"
           "  --compare            also write compare_NNNNN.png: input and preview side by\n"
           "                       side, each labelled\n"
           "  --y4m FILE           also write the preview frames as a YUV4MPEG2 stream; - is\n"
           "                       standard output, to pipe into a player (the summary then\n"
           "                       goes to standard error)\n"
           "  --save-project FILE  save the effect's settings as a project file (JSON)\n"
           "  --project FILE       set the controls from a project file first; the options\n"
           "                       on the command line then change them further\n";
}

void CheckOutputFiles(const OutputRequest& request)
{
    AsRunError(
        [&]
        {
            if (request.y4m && !request.Y4mToStandardOutput())
            {
                CheckFileCanBeWritten(*request.y4m, true);
            }
            if (request.saveProject)
            {
                CheckFileCanBeWritten(*request.saveProject);
            }
        });
}

Json DescribeInput(const LayerInput& input)
{
    const EffectHost::LayerSource& source = *input.source;
    Json json;
    if (const auto* video = dynamic_cast<const EffectHost::VideoSource*>(&source))
    {
        json = DescribeVideo(*video);
    }
    else
    {
        std::string kind = "layer";
        std::string name;
        if (const auto* sequence = dynamic_cast<const EffectHost::ImageSequenceSource*>(&source))
        {
            kind = "image sequence";
            name = sequence->FrameCount() > 0 ? sequence->FramePath(0) : std::string();
        }
        else if (dynamic_cast<const EffectHost::BuiltInClip*>(&source) != nullptr)
        {
            kind = "built-in clip";
            name = "the built-in clip";
        }
        json = DescribeLayer(kind, name, source.Width(), source.Height(), input.time.timeScale,
                             input.time.timeStep, EffectHost::FrameCount(input.time));
    }
    json["description"] = input.description;
    return json;
}

void ApplyProject(EffectHost::Host& host, const OutputRequest& request)
{
    if (!request.project)
    {
        return;
    }
    for (const std::string& warning : LoadProject(host, *request.project))
    {
        std::cerr << "ruzirazu: warning: " << warning << '\n';
    }
}

// ------------------------------------------------------------ analysis

FrameAnalysis::FrameAnalysis(OutputFolder& folder, EffectHost::Host& host, bool compare, Json input)
    : folder_(folder), compare_(compare)
{
    report_.effectName = host.Properties().name;
    report_.matchName = host.Properties().matchName;
    report_.effectVersion = host.Properties().effectVersion;
    report_.input = std::move(input);
    report_.timeScale = host.Time().timeScale;
    report_.timeStep = host.Time().timeStep;
    report_.settings = ReadControls(host);
}

std::string FrameAnalysis::CompareName(A_long frame)
{
    return fmt::format("compare_{:05}.png", frame);
}

void FrameAnalysis::Frame(const RenderedFrame& frame)
{
    AsRunError(
        [&]
        {
            EffectHost::Host& host = frame.host;
            const EffectHost::TimeSettings& time = host.Time();
            const EffectHost::LayerSource& layer = host.Layer();
            if (input_.Width() != layer.Width() || input_.Height() != layer.Height())
            {
                input_ = EffectHost::World(layer.Width(), layer.Height());
            }
            // The frame the effect just checked out, so the layer's cache
            // gives it without decoding again.
            layer.FrameAt(time.currentTime, time.timeStep, time.timeScale, input_);
            const EffectHost::World* input = &input_;
            const int factor = host.Downsample();
            if (factor > 1)
            {
                if (reduced_.Width() != frame.output.Width() ||
                    reduced_.Height() != frame.output.Height())
                {
                    reduced_ =
                        EffectHost::World(EffectHost::DownsampledSize(layer.Width(), factor),
                                          EffectHost::DownsampledSize(layer.Height(), factor));
                }
                EffectHost::Downsample(input_, reduced_, factor);
                input = &reduced_;
            }
            const std::optional<FrameInformation> information = ReadInformation(host);
            const FrameQuality quality = MeasureQuality(*input, frame.output);
            if (!information && !TooSmallToEncode(frame.output.Width(), frame.output.Height()))
            {
                throw std::runtime_error(
                    fmt::format("Cannot read the effect's statistics: the Information area shows "
                                "\"N/A\" after frame {} was rendered",
                                frame.index));
            }
            report_.rows.push_back(information ? MakeFrameRow(*information, quality)
                                               : MakeUnencodedRow(frame.index, quality));
            report_.last = information;
            if (compare_)
            {
                const std::string label = fmt::format("frame {}", frame.index);
                const std::string encoded =
                    information ? information->pictureType + "  " + information->sizeText + "  "
                                : std::string("not encoded  ");
                const EffectHost::Raster comparison = MakeComparison(
                    *input, frame.output, "Input  " + label,
                    "Preview  " + label + "  " + encoded + PsnrText(quality.PsnrLuma()));
                folder_.WriteFile(CompareName(frame.index),
                                  [&](const std::string& temporary) {
                                      EffectHost::WritePng(comparison, temporary,
                                                           EffectHost::PngCompression::Fast);
                                  });
                ++comparisons_;
            }
        });
}

void FrameAnalysis::Finish(EffectHost::Host&)
{
    AsRunError(
        [&]
        {
            const auto text = [&](const char* name, const std::string& content)
            {
                folder_.WriteFile(name, [&](const std::string& temporary)
                                  { WriteTextFile(temporary, content); });
            };
            text("report.csv", ReportCsv(report_));
            text("report.json", JsonText(ReportJson(report_)));
            text("sizes.svg", ReportChart(report_));
        });
    written_ = true;
}

std::string FrameAnalysis::Summary() const
{
    std::string summary;
    if (comparisons_ > 0)
    {
        summary += fmt::format("Wrote {} side-by-side comparison{} (compare_NNNNN.png)\n",
                               comparisons_, comparisons_ == 1 ? "" : "s");
    }
    if (written_)
    {
        const std::string folder = folder_.Path().string();
        summary += fmt::format("Wrote the per-frame report to {0}/report.csv and "
                               "{0}/report.json, and the size chart to {0}/sizes.svg",
                               folder);
        if (!report_.rows.empty())
        {
            const Json psnr = ReportJson(report_)["summary"]["psnrY"];
            if (psnr["mean"].is_number())
            {
                summary += fmt::format("\nMean luma PSNR {:.2f} dB, worst {:.2f} dB at frame {}",
                                       psnr["mean"].get<double>(), psnr["min"].get<double>(),
                                       psnr["minFrame"].get<int>());
            }
        }
    }
    return summary;
}

// ------------------------------------------------------------------ y4m

Y4mOutput::Y4mOutput(std::string target, const EffectHost::Host& host) : target_(std::move(target))
{
    const EffectHost::TimeSettings& time = host.Time();
    AsRunError(
        [&]
        {
            writer_ = std::make_unique<Y4mWriter>(target_, host.RenderWidth(), host.RenderHeight(),
                                                  time.timeScale,
                                                  static_cast<std::uint32_t>(time.timeStep));
        });
}

void Y4mOutput::Frame(const RenderedFrame& frame)
{
    AsRunError(
        [&]
        {
            writer_->Write(frame.output);
            ++frames_;
        });
}

void Y4mOutput::Finish(EffectHost::Host&)
{
    AsRunError([&] { writer_->Finish(); });
    finished_ = true;
}

std::string Y4mOutput::Summary() const
{
    if (!finished_)
    {
        return {};
    }
    return fmt::format("Wrote {} frames as a YUV4MPEG2 stream to {}", frames_,
                       target_ == "-" ? std::string("standard output") : target_);
}

// -------------------------------------------------------------- project

void ProjectOutput::Finish(EffectHost::Host& host)
{
    AsRunError([&] { SaveProject(host, path_); });
    written_ = true;
}

std::string ProjectOutput::Summary() const
{
    return written_ ? "Saved the settings to " + path_ : std::string();
}

} // namespace CommandLine
