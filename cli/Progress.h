#pragma once

#include <ostream>
#include <string>

namespace CommandLine
{

// The frames a run renders and how the effect divides the layer into
// segments, so that progress can name the segment as the report numbers it
// and tell where the run stands in its whole range.
struct ProgressRange
{
    long first = 0; // the first and last frame the run renders
    long last = 0;
    long frameCount = 1;    // frames of the layer
    long segmentLength = 1; // frames per segment, at least 1
};

// Shows how the segment encodes advance, from the effect's progress reports
// (frames done of the render's total, which in average-bitrate mode counts
// both passes). On a terminal: a bar for each pass of the current segment,
// redrawn in place, with the position and the time left over the whole
// range. Elsewhere (a log, a pipe): one line when a pass of a segment ends,
// so a reader follows the run without a line per frame.
class ProgressDisplay
{
  public:
    ProgressDisplay(std::ostream& out, bool terminal, const ProgressRange& range);

    // The render of `frame` starts; any progress until EndRender belongs to
    // the segment that holds it.
    void BeginRender(long frame) noexcept;
    // A progress report, `seconds` after BeginRender and `runSeconds` after
    // the run's first render began.
    void Report(long done, long total, double seconds, double runSeconds);
    // The render is over; true when it encoded a segment.
    bool EndRender();

    int SegmentsEncoded() const noexcept { return segments_; }

  private:
    // Frames of segment `segment`: the last one ends with the layer.
    long SegmentFrames(long segment) const noexcept;
    // "range 0-89: 43%, 2.1 s left" (-- before anything can be measured).
    std::string RangeText(double done, double runSeconds) const;

    std::ostream& out_;
    bool terminal_;
    ProgressRange range_;
    long rangeFrames_ = 0; // frames of every segment the range touches
    long segment_ = 0;
    bool reported_ = false;
    int segments_ = 0;
    long framesEncoded_ = 0; // frames of the segments this run has encoded
    double passStart_ = 0.0; // seconds after BeginRender that the current pass began
};

} // namespace CommandLine
