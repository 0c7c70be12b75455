#include <algorithm>
#include <cstdint>

#include "effect/CodecLibraries.h"
#include "effect/CompressionViewer.h"
#include "framework/Parameters.h"

namespace
{

// Outputs below this size in either direction are not worth an encoder.
constexpr A_long MinimumEncodeSize = 16;

std::int32_t ReadIntegerAt(Plugin& plugin, std::int32_t position)
{
    ParameterCheckout checkout = plugin.CheckoutParameter(position);
    return GetParameterValue<std::int32_t>(checkout.def());
}

bool ReadCheckboxAt(Plugin& plugin, std::int32_t position)
{
    ParameterCheckout checkout = plugin.CheckoutParameter(position);
    return GetParameterValue<bool>(checkout.def());
}

} // namespace

EncodeSettings MakeEncodeSettings(const RenderSettings& settings) noexcept
{
    EncodeSettings encode;
    encode.averageBitrate = settings.mode == ModeAverageBitrate;
    encode.targetBitrateKbps = settings.targetBitrateKbps;
    encode.rateFactor = settings.rateFactor;
    encode.keyFrameInterval = settings.keyFrameInterval;
    if (settings.preset == PresetYouTubeStandard || settings.preset == PresetYouTubeHigh)
    {
        encode.bFrames = 2;
    }
    else if (!settings.useBFrames)
    {
        encode.bFrames = 0;
    }
    encode.bFramesChecked = settings.useBFrames;
    encode.timeScale = settings.timeScale;
    encode.timeStep = settings.timeStep;
    encode.totalTime = settings.totalTime;
    encode.segmentLength = settings.segmentLength;
    return encode;
}

RenderSettings CompressionViewer::GatherRenderSettings()
{
    const PF_InData* in = GetInData();
    // Frames follow one another forwards in time; a step of 0 or below would
    // divide by zero or fold the whole layer into frame 0.
    if (in->time_step <= 0)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "The host gave a time step of %d", in->time_step);
    }
    RenderSettings settings;
    settings.segmentLength = ReadIntegerAt(*this, ParamSegmentLength);
    if (settings.segmentLength <= 0)
    {
        // The whole layer is one segment; a layer shorter than one step still
        // holds one frame.
        settings.segmentLength = static_cast<std::int32_t>(
            std::max<std::int64_t>(std::int64_t{in->total_time} / in->time_step, 1));
    }
    settings.preset = ReadIntegerAt(*this, ParamPresets);
    settings.mode = ReadIntegerAt(*this, ParamMode);
    settings.targetBitrateKbps = ReadIntegerAt(*this, ParamTargetBitrate);
    settings.rateFactor = ReadIntegerAt(*this, ParamRateFactor);
    settings.keyFrameInterval = ReadIntegerAt(*this, ParamKeyFrameInterval);
    settings.useBFrames = ReadCheckboxAt(*this, ParamUseBFrames);
    settings.timeScale = static_cast<std::int32_t>(in->time_scale);
    settings.timeStep = in->time_step;
    settings.totalTime = in->total_time;
    return settings;
}

void CompressionViewer::OnCommand_Render()
{
    PF_LayerDef* output = GetOutput();
    if (output->width < MinimumEncodeSize || output->height < MinimumEncodeSize)
    {
        FillWorld(output, PF_Pixel{0, 0, 0, 0});
        return;
    }

    const RenderSettings settings = GatherRenderSettings();
    // x264 works at even sizes; the odd column or row is scaled back in.
    const std::int32_t width = output->width & ~1;
    const std::int32_t height = output->height & ~1;
    if (!renderer_ || !(rendererSettings_ == settings) || renderer_->GetWidth() < width ||
        renderer_->GetHeight() < height)
    {
        // The old frames go first: two renderers' frames need not fit at once.
        renderer_.reset();
        const CodecLibraries& libraries = GetCodecLibraries();
        renderer_ =
            std::make_unique<Renderer>(frames_, MakeEncodeSettings(settings),
                                       RendererLibraries{libraries.x264, libraries.swscale});
        rendererSettings_ = settings;
    }
    const std::int32_t frameIndex =
        static_cast<std::int32_t>(std::int64_t{GetInData()->current_time} / settings.timeStep);
    renderer_->RenderFrame(frameIndex, width, height, frames_.Output());
}

void CompressionViewer::DiscardRenderer()
{
    renderer_.reset();
}

const char* CompressionViewer::GetErrorMessage(std::int32_t code)
{
    switch (code)
    {
    case ErrorConvertArgbToYuv:
        return "Convert ARGB->YUV failed";
    case ErrorConvertYuvToArgb:
        return "Convert YUV->ARGB failed";
    case ErrorVideoEncoding:
        return "Video encoding failed";
    case ErrorZlibCompression:
        return "Zlib compression failed";
    case ErrorZlibExtraction:
        return "Zlib extraction failed";
    default:
        return Plugin::GetErrorMessage(code);
    }
}
