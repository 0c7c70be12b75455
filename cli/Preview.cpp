#include "cli/Preview.h"

#include "cli/FrameInformation.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>

#include <fmt/format.h>

#include "cli/EffectControls.h"
#include "cli/PreviewOutputs.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "host/Interrupt.h"
#include "host/Raster.h"
#include "host/VideoSource.h"
#include "support/Text.h"

namespace CommandLine
{

namespace
{

const char* const ResolutionNames[] = {"full", "half", "third", "quarter"};

std::string Seconds(double seconds)
{
    return fmt::format("{:.2f} s", seconds);
}

bool IsHelp(const std::string& option)
{
    return option == "--help" || option == "-h";
}

// Runs an output's step. A write that fails because a signal came (the
// reader of standard output went away) stops the run as the signal does.
template <typename Step>
void StopIfInterrupted(const EffectHost::InterruptHandler& interrupt, Step&& step)
{
    try
    {
        step();
    }
    catch (const std::exception&)
    {
        if (interrupt.Raised())
        {
            throw Interrupted(interrupt.Signal());
        }
        throw;
    }
}

// Frames as runs: "3, 7-9, 12".
std::string FrameList(const std::vector<A_long>& frames)
{
    std::string text;
    for (std::size_t i = 0; i < frames.size();)
    {
        std::size_t end = i;
        while (end + 1 < frames.size() && frames[end + 1] == frames[end] + 1)
        {
            ++end;
        }
        text += fmt::format("{}{}", text.empty() ? "" : ", ", frames[i]);
        if (end > i)
        {
            text += fmt::format("-{}", frames[end]);
        }
        i = end + 1;
    }
    return text;
}

// Once, after the run: a video file whose decoding reported errors gave
// the frames libavcodec could recover, which the user should know are not
// the file's own pictures.
void WarnOfDamage(const LayerInput& input)
{
    const auto* video = dynamic_cast<const EffectHost::VideoSource*>(input.source.get());
    const std::vector<A_long> damaged = video ? video->DamagedFrames() : std::vector<A_long>();
    if (!damaged.empty())
    {
        std::cerr << fmt::format("ruzirazu: warning: {} is damaged: libavcodec reported decoding "
                                 "errors at {} {}, which show what it could recover\n",
                                 video->Description().path,
                                 damaged.size() == 1 ? "frame" : "frames", FrameList(damaged));
    }
}

// Frames per segment as the effect divides the layer: its Segment Length,
// where 0 makes the whole layer one segment.
long SegmentLength(const EffectHost::Host& host, A_long frameCount)
{
    const int position = host.PositionOfHostId(HostIdSegmentLength);
    const long length = position < 0 ? 0 : static_cast<long>(host.Parameter(position).u.fs_d.value);
    return length > 0 ? length : std::max<long>(frameCount, 1);
}

} // namespace

int ParseResolution(const std::string& option, const std::string& text)
{
    for (int factor = 1; factor <= 4; ++factor)
    {
        if (text == ResolutionNames[factor - 1])
        {
            return factor;
        }
    }
    throw UsageError(option + " must be one of full, half, third, quarter, not \"" + text + "\"");
}

std::pair<A_long, A_long> ParseFrameRange(const std::string& option, const std::string& text)
{
    const std::size_t dash = text.find('-', 1);
    try
    {
        const std::string firstText = text.substr(0, dash);
        const A_long first = ParseInteger(option, firstText);
        const A_long last =
            dash == std::string::npos ? first : ParseInteger(option, text.substr(dash + 1));
        if (first < 0 || last < first || firstText.empty() || firstText[0] == '+' ||
            (dash != std::string::npos && text[dash + 1] == '+'))
        {
            throw UsageError("");
        }
        return {first, last};
    }
    catch (const UsageError&)
    {
        throw UsageError(option +
                         " needs FIRST-LAST, frame numbers from 0 with FIRST not after "
                         "LAST (or one frame number), not \"" +
                         text + "\"");
    }
}

bool ParsePreviewOption(ArgumentReader& reader, const std::string& option, PreviewOptions& options)
{
    if (option == "-f" || option == "--frames")
    {
        options.frames = ParseFrameRange(option, reader.Value(option));
    }
    else if (option == "--resolution")
    {
        options.downsample = ParseResolution(option, reader.Value(option));
    }
    else if (option == "-o" || option == "--output")
    {
        options.outputFolder = reader.Value(option);
        if (options.outputFolder.empty())
        {
            throw UsageError(option + " needs a folder");
        }
    }
    else if (option == "--panel")
    {
        reader.NoValue(option);
        options.panel = true;
    }
    else
    {
        return false;
    }
    return true;
}

// ------------------------------------------------------------ outputs

std::string FrameFiles::FileName(A_long index)
{
    return fmt::format("frame_{:05}.png", index);
}

void FrameFiles::Frame(const RenderedFrame& frame)
{
    const EffectHost::Raster raster = EffectHost::RasterFromWorld(frame.output);
    const std::string name = FileName(frame.index);
    folder_.WriteFile(name,
                      [&](const std::string& temporary)
                      {
                          try
                          {
                              EffectHost::WritePng(raster, temporary,
                                                   EffectHost::PngCompression::Fast);
                          }
                          catch (const std::runtime_error&)
                          {
                              throw RunError("Cannot write " + (folder_.Path() / name).string());
                          }
                      });
    if (written_ == 0)
    {
        first_ = frame.index;
    }
    last_ = frame.index;
    ++written_;
}

std::string FrameFiles::Summary() const
{
    if (written_ == 0)
    {
        return {};
    }
    const std::string first = (folder_.Path() / FileName(first_)).string();
    if (written_ == 1)
    {
        return "Wrote " + first;
    }
    return fmt::format("Wrote {} frames, {} to {}", written_, first, FileName(last_));
}

void PanelFile::Finish(EffectHost::Host& host)
{
    folder_.WriteFile("panel.png",
                      [&](const std::string& temporary)
                      {
                          try
                          {
                              host.WritePanel(temporary);
                          }
                          catch (const std::runtime_error& error)
                          {
                              throw RunError(std::string("Cannot draw the panel: ") + error.what());
                          }
                      });
    written_ = true;
}

std::string PanelFile::Summary() const
{
    return written_
               ? "Wrote the effect controls panel to " + (folder_.Path() / "panel.png").string()
               : std::string();
}

std::string InformationText(EffectHost::Host& host)
{
    const int position = host.PositionOfHostId(HostIdInformation);
    if (position < 0)
    {
        return {};
    }
    std::vector<std::u16string> lines = host.AreaStrings(position);
    while (!lines.empty() && lines.back().empty())
    {
        lines.pop_back();
    }
    std::string text;
    for (const auto& line : lines)
    {
        text += Zovazaz::ToNarrow(line) + "\n";
    }
    return text;
}

// ------------------------------------------------------------ command

std::string PreviewHelp()
{
    return std::string(
               "Usage: ruzirazu preview [options]\n"
               "\n"
               "Applies the effect to a layer and renders its frames in order, as a host's\n"
               "preview does: the effect encodes each segment with x264 and shows the\n"
               "reconstruction, so each frame_NNNNN.png is what the delivered file will look\n"
               "like. Ctrl-C (or SIGTERM, SIGHUP) stops the encode; the frames already\n"
               "written stay.\n"
               "\n") +
           InputOptionsHelp() +
           "\n"
           "Preview:\n"
           "  -f, --frames A-B     render frames A to B, counted from 0 (default: all)\n"
           "  --resolution R       full, half, third or quarter (default full)\n"
           "  -o, --output DIR     the output folder (default preview)\n"
           "  --panel              also write panel.png: the effect controls panel at the\n"
           "                       last rendered frame\n"
           "\n" +
           OutputOptionsHelp() + "\n" + EffectOptionsHelp() +
           "\nOther options:\n"
           "  --module PATH        the effect module to load (default: Ruzirazu.so beside\n"
           "                       this command)\n"
           "  --help               show this help\n"
           "\n"
           "Exit codes: 0 done, 1 the effect or a file failed, 2 a usage mistake,\n"
           "128 + the signal when stopped by one: 130 Ctrl-C, 143 SIGTERM, 129 SIGHUP,\n"
           "141 the reader of --y4m - went away.\n"
           "\n"
           "Examples:\n"
           "  ruzirazu preview\n"
           "  ruzirazu preview --preset youtube --frames 0-29 --panel\n"
           "  ruzirazu preview -i shots/f_%04d.png --rate 25 --mode crf --crf 28 -o crf28\n"
           "  ruzirazu preview -i clip.mp4 --preset youtube --frames 0-59 --compare\n"
           "  ruzirazu preview -i clip.mov --mode crf --crf 23 --y4m - | mpv -\n"
           "  ruzirazu preview -i clip.mkv --project look.json --save-project look.json\n";
}

int RunPreview(ArgumentReader& arguments)
{
    PreviewOptions options;
    OutputRequest outputRequest;
    while (!arguments.Done())
    {
        const std::string option = arguments.Next();
        if (IsHelp(option))
        {
            arguments.NoValue(option);
            std::cout << PreviewHelp();
            return 0;
        }
        if (!ParseModuleOption(arguments, option, options.module) &&
            !ParsePreviewOption(arguments, option, options) &&
            !ParseInputOption(arguments, option, options.input) &&
            !ParseOutputOption(arguments, option, outputRequest) &&
            !ParseEffectOption(arguments, option, options.effect))
        {
            throw UsageError("preview: unknown option \"" + option + "\"");
        }
    }
    // --size is the layer's size, which for a preview is the built-in clip's.
    options.input.size = options.effect.layerSize;
    options.effect.layerSize.reset();

    // Ctrl-C, SIGTERM, SIGHUP and a closed standard output from here on stop
    // the run through the host's abort flag.
    EffectHost::InterruptHandler interrupt;

    const LayerInput input = OpenInput(options.input);
    const A_long frameCount = EffectHost::FrameCount(input.time);
    const auto [first, last] =
        options.frames.value_or(std::pair<A_long, A_long>{0, frameCount - 1});
    if (last >= frameCount)
    {
        throw UsageError(fmt::format("--frames {}-{} is outside the layer, whose frames are 0-{}",
                                     first, last, frameCount - 1));
    }

    OutputFolder folder(options.outputFolder);
    // After the folder, which a file named inside it needs.
    CheckOutputFiles(outputRequest);
    EffectSession session(options.module);
    EffectHost::Host& host = session.Host();
    host.SetLayerSource(input.source);
    host.SetTime(input.time);
    host.SetDownsample(options.downsample);
    host.SetAbortFlag(&interrupt.Flag());
    session.Apply();
    ApplyProject(host, outputRequest);
    ApplyEffectSettings(host, options.effect);

    std::vector<std::unique_ptr<PreviewOutput>> outputs;
    outputs.push_back(std::make_unique<FrameFiles>(folder));
    if (options.panel)
    {
        outputs.push_back(std::make_unique<PanelFile>(folder));
    }
    outputs.push_back(
        std::make_unique<FrameAnalysis>(folder, host, outputRequest.compare, DescribeInput(input)));
    if (outputRequest.y4m)
    {
        outputs.push_back(std::make_unique<Y4mOutput>(*outputRequest.y4m, host));
    }
    if (outputRequest.saveProject)
    {
        outputs.push_back(std::make_unique<ProjectOutput>(*outputRequest.saveProject));
    }

    if (TooSmallToEncode(host.RenderWidth(), host.RenderHeight()))
    {
        std::cerr << fmt::format("ruzirazu: the layer is {} x {} at this resolution; the effect "
                                 "shows layers under 16 x 16 as transparent black and encodes "
                                 "nothing\n",
                                 host.RenderWidth(), host.RenderHeight());
    }

    using Clock = std::chrono::steady_clock;
    ProgressDisplay progress(
        std::cerr, ::isatty(STDERR_FILENO) == 1,
        ProgressRange{first, last, frameCount, SegmentLength(host, frameCount)});
    const Clock::time_point start = Clock::now();
    Clock::time_point renderStart = start;
    const auto since = [](Clock::time_point then)
    { return std::chrono::duration<double>(Clock::now() - then).count(); };
    host.SetProgressSink([&](A_long done, A_long total)
                         { progress.Report(done, total, since(renderStart), since(start)); });

    for (A_long frame = first; frame <= last; ++frame)
    {
        if (interrupt.Raised())
        {
            throw Interrupted(interrupt.Signal());
        }
        // A fresh output for every frame, as a host hands out: an effect that
        // leaves pixels unwritten shows it instead of the previous frame.
        EffectHost::World output(host.RenderWidth(), host.RenderHeight());
        host.ClearLayerError();
        progress.BeginRender(frame);
        renderStart = Clock::now();
        const EffectHost::CommandResult result = host.RenderFrame(frame, output);
        progress.EndRender();
        if (interrupt.Raised() || result.error == PF_Interrupt_CANCEL)
        {
            throw Interrupted(interrupt.Signal());
        }
        if (!host.LayerError().empty())
        {
            throw RunError(fmt::format("Cannot render frame {}: the layer failed: {}", frame,
                                       host.LayerError()));
        }
        EffectSession::Check(result, fmt::format("rendering frame {}", frame));
        const RenderedFrame rendered{frame, output, host};
        for (const auto& out : outputs)
        {
            StopIfInterrupted(interrupt, [&] { out->Frame(rendered); });
        }
    }
    for (const auto& out : outputs)
    {
        StopIfInterrupted(interrupt, [&] { out->Finish(host); });
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    host.SetProgressSink(nullptr);
    WarnOfDamage(input);

    const A_long rendered = last - first + 1;
    // A stream on standard output must not have the summary mixed into it.
    std::ostream& out = outputRequest.Y4mToStandardOutput() ? std::cerr : std::cout;
    out << fmt::format("Rendered {} {} ({}-{}) of {}, at {} resolution ({} x {})\n"
                       "Encoded {} {} in {}\n",
                       rendered, rendered == 1 ? "frame" : "frames", first, last, input.description,
                       ResolutionNames[options.downsample - 1], host.RenderWidth(),
                       host.RenderHeight(), progress.SegmentsEncoded(),
                       progress.SegmentsEncoded() == 1 ? "segment" : "segments", Seconds(seconds));
    for (const auto& output : outputs)
    {
        const std::string summary = output->Summary();
        if (!summary.empty())
        {
            out << summary << "\n";
        }
    }
    out << fmt::format("Information at frame {}:\n{}", last, InformationText(host));
    EffectSession::Check(host.GlobalSetdown(), "global set-down");
    return 0;
}

} // namespace CommandLine
