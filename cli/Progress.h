#pragma once

#include <ostream>
#include <string>

namespace CommandLine
{

// Shows how a segment encode advances, from the effect's progress reports
// (frames done of the pass total, which in average-bitrate mode counts both
// passes). On a terminal: one bar per segment, redrawn in place. Elsewhere
// (a log, a pipe): one plain line per report, so that a reader can follow
// without a terminal.
class ProgressDisplay
{
  public:
    ProgressDisplay(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

    // A render starts; any progress until EndRender belongs to one segment.
    void BeginRender() noexcept { reported_ = false; }
    // A progress report, `seconds` after BeginRender.
    void Report(long done, long total, double seconds);
    // The render is over; true when it encoded a segment.
    bool EndRender();

    int SegmentsEncoded() const noexcept { return segments_; }

    // The text of one report: "segment 2: 17/30 frames, 41.2 frames/s, 0.3 s
    // left". Before a rate can be known, "--" stands for the figures.
    static std::string Describe(int segment, long done, long total, double seconds);
    // The same behind a bar of `width` cells for a terminal.
    static std::string Bar(int segment, long done, long total, double seconds, int width);

  private:
    std::ostream& out_;
    bool terminal_;
    bool reported_ = false;
    int segments_ = 0;
};

} // namespace CommandLine
