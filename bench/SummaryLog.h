#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Bench
{

// What the effect's summary of one segment encode says: the encoded size of
// its last pass and its timings in milliseconds.
struct SegmentSummary
{
    std::uint64_t encodedBytes = 0;
    double total = 0.0;
    double checkout = 0.0;
    double convert = 0.0;
    double encode = 0.0;
    double store = 0.0;
    double unaccounted = 0.0;
};

// The summaries in a piece of the log, in order. A summary counts once its
// "Time taken" line is seen; its encoded size is the one on the "Encoded
// size" line before it. Lines that are not part of a summary are skipped.
std::vector<SegmentSummary> ParseSummaries(std::string_view logText);

// Parses one "Time taken: …" line (anything before the words is ignored).
// Answers nothing when the line does not hold all six figures.
std::optional<SegmentSummary> ParseTimeLine(std::string_view line);

// Reads what a log file gained since the last call (or since construction).
// A file that does not exist yet reads as empty.
class LogTail
{
  public:
    explicit LogTail(std::string path);
    std::string ReadNew();

  private:
    std::string path_;
    std::uint64_t offset_ = 0;
};

} // namespace Bench
