#include "bench/EffectDriver.h"

#include <chrono>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include "support/Log.h"
#include "support/System.h"

namespace Bench
{

namespace
{

// 29.97 frames per second, as the host's time scale and step give it.
constexpr A_u_long TimeScale = 30000;
constexpr A_long TimeStep = 1001;

void Require(const EffectHost::CommandResult& result, const std::string& what)
{
    if (!result.Succeeded())
    {
        throw std::runtime_error(what + " failed with error " + std::to_string(result.error) +
                                 (result.errorMessage.empty() ? "" : ": " + result.errorMessage));
    }
}

void Require(const EffectHost::ChangeResult& change, const std::string& what)
{
    if (!change.accepted)
    {
        throw std::runtime_error("the host refused " + what + ": " + change.refusal);
    }
    if (change.sent)
    {
        Require(change.command, what);
    }
}

} // namespace

std::uint64_t DigestPixels(const EffectHost::World& world, std::uint64_t digest) noexcept
{
    constexpr std::uint64_t Prime = 0x100000001B3u;
    const auto* row = reinterpret_cast<const std::uint8_t*>(world.Def().data);
    const std::size_t visible = static_cast<std::size_t>(world.Width()) * 4;
    for (A_long y = 0; y < world.Height(); ++y, row += world.RowBytes())
    {
        std::size_t x = 0;
        for (; x + 8 <= visible; x += 8)
        {
            std::uint64_t word;
            std::memcpy(&word, row + x, 8);
            digest = (digest ^ word) * Prime;
        }
        for (; x < visible; ++x)
        {
            digest = (digest ^ row[x]) * Prime;
        }
    }
    return digest;
}

EffectDriver::EffectDriver(const std::string& modulePath) : log_(Zovazaz::Log::GetLogFilePath())
{
    host_.SetMessageSink(
        [](const EffectHost::HostMessage& message)
        {
            if (message.kind == EffectHost::MessageKind::Defect ||
                message.kind == EffectHost::MessageKind::Warning)
            {
                std::cerr << "ruzirazu-bench: host: " << message.text << '\n';
            }
        });
    host_.LoadModule(modulePath);
    Require(host_.GlobalSetup(), "global set-up");
    Require(host_.ParamsSetup(), "parameter set-up");
    presets_ = Position("Presets");
    mode_ = Position("Mode");
    targetBitrate_ = Position("Target Bitrate (Kbps)");
    rateFactor_ = Position("Rate Factor (0 = Max Quality)");
    keyFrameInterval_ = Position("Key Frame Every N Frames");
    useBFrames_ = Position("Frame Reordering (Use B-Frames)");
    segmentLength_ = Position("Segment Length");
    log_.ReadNew();
}

int EffectDriver::Position(const std::string& name) const
{
    const int position = host_.PositionOfName(name);
    if (position < 0)
    {
        throw std::runtime_error("the effect has no control named \"" + name + "\"");
    }
    return position;
}

void EffectDriver::SetLayer(std::shared_ptr<const MemoryLayerSource> layer)
{
    host_.SetLayerSource(layer);
    EffectHost::TimeSettings time;
    time.timeScale = TimeScale;
    time.timeStep = TimeStep;
    time.totalTime = layer->FrameCount() * TimeStep;
    host_.SetTime(time);
    output_ = EffectHost::World(layer->Width(), layer->Height());
    layer_ = std::move(layer);
}

void EffectDriver::Configure(const RateControl& control)
{
    Require(host_.ChangePopup(mode_, control.constantRateFactor ? "Constant Rate Factor"
                                                                : "Average Bitrate"),
            "the Mode popup");
    if (control.constantRateFactor)
    {
        Require(host_.ChangeParameter(rateFactor_, control.rateFactor), "the Rate Factor");
    }
    else
    {
        Require(host_.ChangeParameter(targetBitrate_, control.bitrateKbps), "the Target Bitrate");
    }
    Require(host_.ChangeParameter(segmentLength_, control.segmentLength), "the Segment Length");
}

EncoderSettings EffectDriver::CurrentEncoderSettings() const
{
    EncoderSettings settings;
    settings.width = layer_->Width() & ~1;
    settings.height = layer_->Height() & ~1;
    settings.timeScale = host_.Time().timeScale;
    settings.timeStep = host_.Time().timeStep;
    settings.constantRateFactor = host_.ValueText(mode_) == "Constant Rate Factor";
    // The effect truncates slider values toward zero.
    settings.rateFactor = static_cast<int>(host_.Parameter(rateFactor_).u.fs_d.value);
    settings.bitrateKbps = static_cast<int>(host_.Parameter(targetBitrate_).u.fs_d.value);
    settings.keyFrameInterval = static_cast<int>(host_.Parameter(keyFrameInterval_).u.fs_d.value);
    settings.youTubePreset = host_.ValueText(presets_).starts_with("YouTube");
    settings.useBFrames = host_.Parameter(useBFrames_).u.bd.value != 0;
    settings.segmentLength = static_cast<int>(host_.Parameter(segmentLength_).u.fs_d.value);
    if (settings.segmentLength <= 0)
    {
        settings.segmentLength = layer_->FrameCount();
    }
    return settings;
}

double EffectDriver::Render(A_long frame)
{
    const auto start = std::chrono::steady_clock::now();
    const EffectHost::CommandResult result = host_.RenderFrame(frame, output_);
    const auto end = std::chrono::steady_clock::now();
    Require(result, "rendering frame " + std::to_string(frame));
    return std::chrono::duration<double, std::milli>(end - start).count();
}

const EffectHost::World& EffectDriver::Show(A_long frame)
{
    Render(frame);
    return output_;
}

PreviewRun EffectDriver::Run(const RateControl& control)
{
    Configure(control);
    const std::uint64_t baseline = host_.Handles().bytesOutstanding;
    log_.ReadNew();

    PreviewRun run;
    const int frames = layer_->FrameCount();
    const int segmentLength = CurrentEncoderSettings().segmentLength;
    int segments = 0;
    for (int first = 0; first < frames; first += segmentLength, ++segments)
    {
        const double cpuStart = Zovazaz::GetProcessCpuMilliseconds();
        run.encodeMilliseconds += Render(first);
        run.encodeCpuMilliseconds += Zovazaz::GetProcessCpuMilliseconds() - cpuStart;
    }
    run.summaries = ParseSummaries(log_.ReadNew());
    if (static_cast<int>(run.summaries.size()) != segments)
    {
        throw std::runtime_error("the effect logged " + std::to_string(run.summaries.size()) +
                                 " segment summaries for " + std::to_string(segments) +
                                 " segments; is its log level above Info?");
    }
    run.storeBytes = host_.Handles().bytesOutstanding - baseline;

    run.outputDigest = DigestStart;
    for (int frame = 0; frame < frames; ++frame)
    {
        run.scrubMilliseconds += Render(frame);
        run.outputDigest = DigestPixels(output_, run.outputDigest);
    }
    if (!ParseSummaries(log_.ReadNew()).empty())
    {
        throw std::runtime_error("the effect encoded again while showing stored frames");
    }
    return run;
}

} // namespace Bench
