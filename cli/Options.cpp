#include "cli/Options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fmt/format.h>

namespace CommandLine
{

ArgumentReader::ArgumentReader(std::vector<std::string> arguments)
    : arguments_(std::move(arguments))
{
}

std::string ArgumentReader::Next()
{
    inlineValue_.reset();
    std::string argument = arguments_.at(index_++);
    const std::size_t equals = argument.find('=');
    if (argument.rfind("--", 0) == 0 && equals != std::string::npos)
    {
        inlineValue_ = argument.substr(equals + 1);
        argument.resize(equals);
    }
    return argument;
}

std::string ArgumentReader::Value(const std::string& option)
{
    if (inlineValue_)
    {
        std::string value = std::move(*inlineValue_);
        inlineValue_.reset();
        return value;
    }
    if (Done())
    {
        throw UsageError(option + " needs a value");
    }
    return arguments_[index_++];
}

void ArgumentReader::NoValue(const std::string& option) const
{
    if (inlineValue_)
    {
        throw UsageError(option + " takes no value");
    }
}

int ParseInteger(const std::string& option, const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX)
    {
        throw UsageError(option + " needs a whole number, not \"" + text + "\"");
    }
    return static_cast<int>(value);
}

std::pair<int, int> ParseSize(const std::string& option, const std::string& text)
{
    const std::size_t x = text.find_first_of("xX");
    constexpr int Largest = 16384;
    try
    {
        if (x == std::string::npos)
        {
            throw UsageError("");
        }
        const int width = ParseInteger(option, text.substr(0, x));
        const int height = ParseInteger(option, text.substr(x + 1));
        if (width < 1 || height < 1 || width > Largest || height > Largest)
        {
            throw UsageError("");
        }
        return {width, height};
    }
    catch (const UsageError&)
    {
        throw UsageError(
            fmt::format("{} needs WIDTHxHEIGHT, each 1 to {}, not \"{}\"", option, Largest, text));
    }
}

namespace
{
std::string OneOf(const std::string& option, const std::string& text,
                  const std::vector<std::string>& words)
{
    std::string known;
    for (const auto& word : words)
    {
        if (word == text)
        {
            return text;
        }
        known += (known.empty() ? "" : ", ") + word;
    }
    throw UsageError(option + " must be one of " + known + ", not \"" + text + "\"");
}
} // namespace

bool ParseEffectOption(ArgumentReader& reader, const std::string& option, EffectSettings& settings)
{
    if (option == "--segment")
    {
        settings.segmentLength = ParseInteger(option, reader.Value(option));
    }
    else if (option == "--preset")
    {
        settings.preset =
            OneOf(option, reader.Value(option), {"manual", "youtube", "youtube-hq", "vimeo"});
    }
    else if (option == "--mode")
    {
        settings.mode = OneOf(option, reader.Value(option), {"abr", "crf"});
    }
    else if (option == "--bitrate")
    {
        settings.bitrateKbps = ParseInteger(option, reader.Value(option));
    }
    else if (option == "--crf")
    {
        settings.rateFactor = ParseInteger(option, reader.Value(option));
    }
    else if (option == "--keyint")
    {
        settings.keyFrameInterval = ParseInteger(option, reader.Value(option));
    }
    else if (option == "--bframes")
    {
        settings.useBFrames = OneOf(option, reader.Value(option), {"on", "off"}) == "on";
    }
    else if (option == "--size")
    {
        settings.layerSize = ParseSize(option, reader.Value(option));
    }
    else
    {
        return false;
    }
    return true;
}

bool ParseModuleOption(ArgumentReader& reader, const std::string& option, ModuleOptions& module)
{
    if (option != "--module")
    {
        return false;
    }
    module.modulePath = reader.Value(option);
    if (module.modulePath.empty())
    {
        throw UsageError("--module needs a path");
    }
    return true;
}

const char* EffectOptionsHelp()
{
    return "Effect controls (set as a user would in the effect controls panel):\n"
           "  --segment N          Segment Length, frames per encoded segment (0 to 2000)\n"
           "  --preset NAME        manual, youtube, youtube-hq or vimeo; applied last, so its\n"
           "                       bitrate for the layer height wins\n"
           "  --mode abr|crf       Average Bitrate (two passes) or Constant Rate Factor\n"
           "  --bitrate KBPS       Target Bitrate (500 to 50000)\n"
           "  --crf N              Rate Factor, 0 = best quality (0 to 51)\n"
           "  --keyint N           Key Frame Every N Frames (1 to 999)\n"
           "  --bframes on|off     Frame Reordering (Use B-Frames)\n"
           "  --size WxH           layer size in pixels (presets read its height)\n";
}

} // namespace CommandLine
