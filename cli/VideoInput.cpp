#include "cli/VideoInput.h"

#include <cctype>
#include <filesystem>

#include <fmt/format.h>

#include "cli/Session.h"
#include "host/VideoSource.h"

namespace CommandLine
{

bool IsVideoInput(const std::string& input)
{
    if (input.find('%') != std::string::npos)
    {
        return false;
    }
    std::string extension = std::filesystem::path(input).extension().string();
    for (char& c : extension)
    {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension != ".png";
}

LayerInput OpenVideoInput(const InputOptions& input)
{
    if (input.size)
    {
        throw UsageError("--size sets the built-in clip's size; a video file keeps its own "
                         "(use --resolution for a smaller preview)");
    }
    if (input.duration)
    {
        throw UsageError("--duration sets the built-in clip's length; a video file has its own "
                         "(choose frames with --frames)");
    }
    if (input.rate)
    {
        throw UsageError("--rate sets the built-in clip's and an image sequence's rate; a video "
                         "file keeps its own");
    }
    EffectHost::VideoSource::QuietLibraryMessages();
    std::shared_ptr<EffectHost::VideoSource> video;
    try
    {
        video = std::make_shared<EffectHost::VideoSource>(*input.pattern);
    }
    catch (const std::exception& error)
    {
        throw RunError(error.what());
    }
    const EffectHost::VideoDescription& description = video->Description();
    LayerInput layer;
    layer.time.timeScale = description.timeScale;
    layer.time.timeStep = description.timeStep;
    layer.time.totalTime = description.frameCount * description.timeStep;
    layer.time.currentTime = 0;
    layer.description = fmt::format(
        "the video {}, {} x {}, {} frames at {}/{}{}", *input.pattern, video->Width(),
        video->Height(), description.frameCount, description.timeScale, description.timeStep,
        description.orientation.empty() ? std::string() : ", " + description.orientation);
    layer.source = std::move(video);
    return layer;
}

} // namespace CommandLine
