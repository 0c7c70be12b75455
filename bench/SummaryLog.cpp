#include "bench/SummaryLog.h"

#include <charconv>
#include <fstream>

namespace Bench
{

namespace
{

constexpr std::string_view TimeTaken = "Time taken: ";
constexpr std::string_view EncodedSize = "Encoded size: ";

// Reads the number right after `label` in `text`, advancing `text` past it.
// The log prints seconds with three decimals.
bool ReadNumberAfter(std::string_view& text, std::string_view label, double& value)
{
    const std::size_t at = text.find(label);
    if (at == std::string_view::npos)
    {
        return false;
    }
    text.remove_prefix(at + label.size());
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc())
    {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

} // namespace

std::optional<SegmentSummary> ParseTimeLine(std::string_view line)
{
    SegmentSummary summary;
    double* const fields[] = {&summary.total,  &summary.checkout, &summary.convert,
                              &summary.encode, &summary.store,    &summary.unaccounted};
    constexpr std::string_view labels[] = {
        TimeTaken,       "check-out time: ", "convert time: ",
        "encode time: ", "store time: ",     "unaccounted time: "};
    for (std::size_t i = 0; i < std::size(labels); ++i)
    {
        double seconds = 0.0;
        if (!ReadNumberAfter(line, labels[i], seconds))
        {
            return std::nullopt;
        }
        *fields[i] = seconds * 1000.0;
    }
    return summary;
}

std::vector<SegmentSummary> ParseSummaries(std::string_view logText)
{
    std::vector<SegmentSummary> summaries;
    std::uint64_t encodedBytes = 0;
    while (!logText.empty())
    {
        const std::size_t lineEnd = logText.find('\n');
        std::string_view line = logText.substr(0, lineEnd);
        logText.remove_prefix(lineEnd == std::string_view::npos ? logText.size() : lineEnd + 1);

        if (const std::size_t at = line.find(EncodedSize); at != std::string_view::npos)
        {
            const std::string_view number = line.substr(at + EncodedSize.size());
            std::uint64_t bytes = 0;
            if (std::from_chars(number.data(), number.data() + number.size(), bytes).ec ==
                std::errc())
            {
                encodedBytes = bytes;
            }
        }
        else if (line.find(TimeTaken) != std::string_view::npos)
        {
            if (std::optional<SegmentSummary> summary = ParseTimeLine(line))
            {
                summary->encodedBytes = encodedBytes;
                summaries.push_back(*summary);
            }
            encodedBytes = 0;
        }
    }
    return summaries;
}

LogTail::LogTail(std::string path) : path_(std::move(path))
{
    ReadNew();
}

std::string LogTail::ReadNew()
{
    std::ifstream file(path_, std::ios::binary);
    if (!file)
    {
        return {};
    }
    file.seekg(0, std::ios::end);
    const auto size = static_cast<std::uint64_t>(file.tellg());
    if (size < offset_)
    {
        // The file was started afresh.
        offset_ = 0;
    }
    std::string text(size - offset_, '\0');
    file.seekg(static_cast<std::streamoff>(offset_));
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    offset_ += text.size();
    return text;
}

} // namespace Bench
