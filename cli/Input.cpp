#include "cli/Input.h"

#include <stdexcept>

#include <fmt/format.h>

#include "cli/Session.h"
#include "cli/VideoInput.h"
#include "host/BuiltInClip.h"
#include "host/ImageSequence.h"

namespace CommandLine
{

namespace
{

std::string RateText(EffectHost::FrameRate rate)
{
    return fmt::format("{}/{}", rate.numerator, rate.denominator);
}

EffectHost::TimeSettings Clock(EffectHost::FrameRate rate, A_long frames)
{
    try
    {
        return EffectHost::TimeForFrames(rate, frames);
    }
    catch (const std::invalid_argument& error)
    {
        throw UsageError(std::string("--rate/--duration: ") + error.what());
    }
}

LayerInput OpenBuiltInClip(const InputOptions& input, EffectHost::FrameRate rate)
{
    const auto [width, height] = input.size.value_or(std::pair<int, int>{
        EffectHost::BuiltInClip::DefaultWidth, EffectHost::BuiltInClip::DefaultHeight});
    const int frames = input.duration.value_or(EffectHost::BuiltInClip::DefaultFrames);
    LayerInput layer;
    layer.time = Clock(rate, frames);
    layer.source = std::make_shared<EffectHost::BuiltInClip>(width, height, frames);
    layer.description = fmt::format("the built-in clip, {} x {}, {} frames at {}", width, height,
                                    frames, RateText(rate));
    return layer;
}

LayerInput OpenImageSequence(const InputOptions& input, EffectHost::FrameRate rate)
{
    if (input.size)
    {
        throw UsageError("--size sets the built-in clip's size; an image sequence keeps the "
                         "size of its images");
    }
    if (input.duration)
    {
        throw UsageError("--duration sets the built-in clip's length; an image sequence has as "
                         "many frames as files (choose frames with --frames)");
    }
    std::shared_ptr<EffectHost::ImageSequenceSource> sequence;
    try
    {
        sequence = std::make_shared<EffectHost::ImageSequenceSource>(*input.pattern);
    }
    catch (const std::invalid_argument& error)
    {
        throw UsageError(error.what());
    }
    catch (const std::runtime_error& error)
    {
        throw RunError(error.what());
    }
    LayerInput layer;
    layer.time = Clock(rate, sequence->FrameCount());
    layer.description = fmt::format("the image sequence {}, {} x {}, {} frames from {} at {}",
                                    *input.pattern, sequence->Width(), sequence->Height(),
                                    sequence->FrameCount(), sequence->FramePath(0), RateText(rate));
    layer.source = std::move(sequence);
    return layer;
}

} // namespace

bool ParseInputOption(ArgumentReader& reader, const std::string& option, InputOptions& input)
{
    if (option == "-i" || option == "--input")
    {
        input.pattern = reader.Value(option);
        if (input.pattern->empty())
        {
            throw UsageError(option + " needs a file pattern such as shots/f_%04d.png");
        }
    }
    else if (option == "--duration")
    {
        input.duration = ParseInteger(option, reader.Value(option));
        if (*input.duration < 1 || *input.duration > LargestDuration)
        {
            throw UsageError(fmt::format("{} needs a number of frames from 1 to {}, not {}", option,
                                         LargestDuration, *input.duration));
        }
    }
    else if (option == "--rate")
    {
        const std::string text = reader.Value(option);
        try
        {
            input.rate = EffectHost::ParseFrameRate(text);
        }
        catch (const std::invalid_argument& error)
        {
            throw UsageError(option + ": " + error.what() + " (for example 30000/1001 or 25)");
        }
    }
    else
    {
        return false;
    }
    return true;
}

const char* InputOptionsHelp()
{
    return "Input (the layer the effect is applied to):\n"
           "  -i, --input PATTERN  a numbered PNG sequence, as a printf pattern such as\n"
           "                       shots/f_%04d.png; it starts at the lowest number present\n"
           "                       (default: the built-in clip)\n"
           "  -i, --input FILE     or a video file (mp4, mov, mkv, webm, avi, y4m and what\n"
           "                       else FFmpeg reads), with its own size, rate and length\n"
           "  --size WxH           the built-in clip's size (default 1280x720)\n"
           "  --duration N         the built-in clip's length in frames (default 90)\n"
           "  --rate NUM/DEN       frame rate (default 30000/1001, which is 29.97)\n";
}

LayerInput OpenInput(const InputOptions& input)
{
    const EffectHost::FrameRate rate = input.rate.value_or(EffectHost::FrameRate{30000, 1001});
    if (!input.pattern)
    {
        return OpenBuiltInClip(input, rate);
    }
    if (IsVideoInput(*input.pattern))
    {
        return OpenVideoInput(input);
    }
    if (input.pattern->find('%') == std::string::npos)
    {
        throw UsageError("-i/--input takes a numbered PNG sequence as a printf pattern such as "
                         "shots/f_%04d.png, not \"" +
                         *input.pattern + "\"");
    }
    return OpenImageSequence(input, rate);
}

} // namespace CommandLine
