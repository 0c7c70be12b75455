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

constexpr int BarWidth = 30;

} // namespace

ProgressDisplay::ProgressDisplay(std::ostream& out, bool terminal, const ProgressRange& range)
    : out_(out), terminal_(terminal), range_(range)
{
    range_.segmentLength = std::max(range_.segmentLength, 1L);
    for (long segment = range_.first / range_.segmentLength;
         segment <= range_.last / range_.segmentLength; ++segment)
    {
        rangeFrames_ += SegmentFrames(segment);
    }
}

long ProgressDisplay::SegmentFrames(long segment) const noexcept
{
    const long start = segment * range_.segmentLength;
    return std::max(0L, std::min(range_.frameCount, start + range_.segmentLength) - start);
}

std::string ProgressDisplay::RangeText(double done, double runSeconds) const
{
    std::string text =
        "frames " + std::to_string(range_.first) + "-" + std::to_string(range_.last) + ": ";
    const double fraction =
        rangeFrames_ > 0 ? std::clamp(done / static_cast<double>(rangeFrames_), 0.0, 1.0) : 0.0;
    text += Fixed(100.0 * fraction, 0) + "%, ";
    if (fraction <= 0.0 || runSeconds <= 0.0)
    {
        return text + "-- s left";
    }
    return text + Fixed(runSeconds * (1.0 - fraction) / fraction, 1) + " s left";
}

void ProgressDisplay::BeginRender(long frame) noexcept
{
    segment_ = frame / range_.segmentLength;
    reported_ = false;
    passStart_ = 0.0;
}

void ProgressDisplay::Report(long done, long total, double seconds, double runSeconds)
{
    if (!reported_)
    {
        reported_ = true;
        ++segments_;
    }
    // The effect counts both passes of an average-bitrate encode in one total.
    const long frames = SegmentFrames(segment_);
    const int passes = frames > 0 && total == 2 * frames ? 2 : 1;
    const long passFrames = std::max(total / passes, 1L);
    const int pass = passes == 2 && done > passFrames ? 2 : 1;
    const long passDone = std::clamp(done - (pass - 1) * passFrames, 0L, passFrames);
    const std::string passName = passes == 1 ? std::string("one pass")
                                 : pass == 1 ? std::string("pass 1 of 2 (analysis)")
                                             : std::string("pass 2 of 2 (final)");
    const double rangeDone = static_cast<double>(framesEncoded_) +
                             (total > 0 ? static_cast<double>(frames) *
                                              static_cast<double>(std::clamp(done, 0L, total)) /
                                              static_cast<double>(total)
                                        : 0.0);
    const std::string where = "segment " + std::to_string(segment_) + ", " + passName;
    const bool passEnds = passDone == passFrames;

    if (terminal_)
    {
        const long cells = passDone * BarWidth / passFrames;
        // Back to the line's start, the bar, then clear what a longer
        // previous bar left.
        out_ << "\r[" << std::string(static_cast<std::size_t>(cells), '#')
             << std::string(static_cast<std::size_t>(BarWidth - cells), '.') << "] " << where
             << ": " << passDone << "/" << passFrames << " | " << RangeText(rangeDone, runSeconds)
             << "\x1b[K" << std::flush;
    }
    else if (passEnds)
    {
        const double passSeconds = seconds - passStart_;
        out_ << where << ": " << passFrames << " frames in " << Fixed(passSeconds, 2) << " s";
        if (passSeconds > 0.0)
        {
            out_ << " (" << Fixed(static_cast<double>(passFrames) / passSeconds, 1) << " frames/s)";
        }
        out_ << "; " << RangeText(rangeDone, runSeconds) << '\n' << std::flush;
    }
    if (passEnds)
    {
        passStart_ = seconds;
    }
}

bool ProgressDisplay::EndRender()
{
    const bool encoded = reported_;
    if (encoded)
    {
        framesEncoded_ += SegmentFrames(segment_);
        if (terminal_)
        {
            out_ << '\n' << std::flush;
        }
    }
    reported_ = false;
    return encoded;
}

} // namespace CommandLine
