#include "cli/Progress.h"

#include <algorithm>
#include <cstdio>

namespace CommandLine
{

namespace
{

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

std::string ProgressDisplay::Describe(int segment, long done, long total, double seconds)
{
    std::string text = "segment " + std::to_string(segment) + ": " + std::to_string(done) + "/" +
                       std::to_string(total) + " frames, ";
    if (done <= 0 || seconds <= 0.0)
    {
        return text + "-- frames/s, -- s left";
    }
    const double rate = done / seconds;
    const double left = std::max(0L, total - done) / rate;
    return text + Fixed(rate, 1) + " frames/s, " + Fixed(left, 1) + " s left";
}

std::string ProgressDisplay::Bar(int segment, long done, long total, double seconds, int width)
{
    const long cells = total > 0 ? std::clamp(done, 0L, total) * width / total : 0;
    return "[" + std::string(static_cast<std::size_t>(cells), '#') +
           std::string(static_cast<std::size_t>(width - cells), '.') + "] " +
           Describe(segment, done, total, seconds);
}

void ProgressDisplay::Report(long done, long total, double seconds)
{
    if (!reported_)
    {
        reported_ = true;
        ++segments_;
    }
    if (terminal_)
    {
        // Back to the line's start, the bar, then clear what a longer
        // previous bar left.
        out_ << '\r' << Bar(segments_, done, total, seconds, 30) << "\x1b[K" << std::flush;
    }
    else
    {
        out_ << Describe(segments_, done, total, seconds) << '\n' << std::flush;
    }
}

bool ProgressDisplay::EndRender()
{
    if (reported_ && terminal_)
    {
        out_ << '\n' << std::flush;
    }
    const bool encoded = reported_;
    reported_ = false;
    return encoded;
}

} // namespace CommandLine
