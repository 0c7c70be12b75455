#include "cli/Progress.h"

#include <algorithm>

#include <fmt/format.h>

namespace CommandLine
{

namespace
{

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
    const double fraction =
        rangeFrames_ > 0 ? std::clamp(done / static_cast<double>(rangeFrames_), 0.0, 1.0) : 0.0;
    const std::string text =
        fmt::format("frames {}-{}: {:.0f}%, ", range_.first, range_.last, 100.0 * fraction);
    if (fraction <= 0.0 || runSeconds <= 0.0)
    {
        return text + "-- s left";
    }
    return fmt::format("{}{:.1f} s left", text, runSeconds * (1.0 - fraction) / fraction);
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
    const std::string where = fmt::format("segment {}, {}", segment_, passName);
    const bool passEnds = passDone == passFrames;

    if (terminal_)
    {
        const long cells = passDone * BarWidth / passFrames;
        // Back to the line's start, the bar, then clear what a longer
        // previous bar left.
        out_ << fmt::format("\r[{:#<{}}{:.<{}}] {}: {}/{} | {}\x1b[K", "", cells, "",
                            BarWidth - cells, where, passDone, passFrames,
                            RangeText(rangeDone, runSeconds))
             << std::flush;
    }
    else if (passEnds)
    {
        const double passSeconds = seconds - passStart_;
        const std::string rate =
            passSeconds > 0.0
                ? fmt::format(" ({:.1f} frames/s)", static_cast<double>(passFrames) / passSeconds)
                : "";
        out_ << fmt::format("{}: {} frames in {:.2f} s{}; {}\n", where, passFrames, passSeconds,
                            rate, RangeText(rangeDone, runSeconds))
             << std::flush;
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
