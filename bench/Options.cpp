#include "bench/Options.h"

#include <charconv>

namespace Bench
{

namespace
{

// The smallest output the effect encodes rather than fills.
constexpr int MinimumSide = 16;

int ParseCount(const std::string& option, const std::string& text, int minimum)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < minimum)
    {
        throw UsageError(option + " needs a whole number of at least " + std::to_string(minimum) +
                         ", not \"" + text + "\"");
    }
    return value;
}

} // namespace

const char* const UsageText =
    "usage: ruzirazu-bench [--quick] [--size WxH]... [--frames N] [--runs N] [--module PATH]\n"
    "  --quick        the 1280x720 cases only, 3 runs\n"
    "  --size WxH     measure this size instead (repeatable)\n"
    "  --frames N     frames per case (default 60; segments of 30)\n"
    "  --runs N       runs per case; medians are reported (default 5)\n"
    "  --module PATH  the effect module (default: Ruzirazu.so beside this program)\n";

FrameSize ParseFrameSize(const std::string& text)
{
    const std::size_t x = text.find('x');
    FrameSize size;
    if (x != std::string::npos)
    {
        const char* begin = text.data();
        const char* middle = begin + x;
        const char* end = begin + text.size();
        const auto width = std::from_chars(begin, middle, size.width);
        const auto height = std::from_chars(middle + 1, end, size.height);
        if (width.ec == std::errc() && width.ptr == middle && height.ec == std::errc() &&
            height.ptr == end && size.width >= MinimumSide && size.height >= MinimumSide)
        {
            return size;
        }
    }
    throw UsageError("--size needs WxH with both sides at least " + std::to_string(MinimumSide) +
                     ", not \"" + text + "\"");
}

Options ParseOptions(const std::vector<std::string>& arguments)
{
    Options options;
    std::vector<FrameSize> sizes;
    bool quick = false;
    bool runsGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i)
    {
        const std::string& option = arguments[i];
        const auto value = [&]() -> const std::string&
        {
            if (i + 1 >= arguments.size())
            {
                throw UsageError(option + " needs a value");
            }
            return arguments[++i];
        };
        if (option == "--quick")
        {
            quick = true;
        }
        else if (option == "--size")
        {
            sizes.push_back(ParseFrameSize(value()));
        }
        else if (option == "--frames")
        {
            options.frames = ParseCount(option, value(), 1);
        }
        else if (option == "--runs")
        {
            options.runs = ParseCount(option, value(), 1);
            runsGiven = true;
        }
        else if (option == "--module")
        {
            options.modulePath = value();
        }
        else if (option == "--help" || option == "-h")
        {
            options.help = true;
        }
        else
        {
            throw UsageError("unknown option \"" + option + "\"");
        }
    }
    if (quick && !runsGiven)
    {
        // Keeps the quick look under a minute on a two-core machine.
        options.runs = 3;
    }
    if (!sizes.empty())
    {
        options.sizes = sizes;
    }
    else if (quick)
    {
        options.sizes = {{1280, 720}};
    }
    return options;
}

} // namespace Bench
