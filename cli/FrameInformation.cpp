#include "cli/FrameInformation.h"

#include <charconv>
#include <stdexcept>
#include <string_view>

#include <fmt/format.h>

#include "cli/EffectControls.h"
#include "support/Text.h"

namespace CommandLine
{

namespace
{

std::uint64_t ReadUnsigned(std::string_view& text, const std::string& whole)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
    {
        throw std::invalid_argument("\"" + whole + "\" does not start with a number");
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

bool Skip(std::string_view& text, std::string_view word)
{
    if (text.substr(0, word.size()) == word)
    {
        text.remove_prefix(word.size());
        return true;
    }
    return false;
}

void Expect(std::string_view& text, std::string_view word, const std::string& line)
{
    if (!Skip(text, word))
    {
        throw std::invalid_argument("the Information line \"" + line + "\" lacks \"" +
                                    std::string(word) + "\"");
    }
}

// Smallest r in 0..1023 with r * 10 / 1024 == digit.
std::uint64_t FirstRemainderOf(std::uint64_t digit)
{
    return (digit * 1024 + 9) / 10;
}

} // namespace

SizeRange ParseSizeText(const std::string& text)
{
    std::string_view rest(text);
    const std::uint64_t value = ReadUnsigned(rest, text);
    std::optional<std::uint64_t> digit;
    if (Skip(rest, "."))
    {
        digit = ReadUnsigned(rest, text);
        if (*digit > 9)
        {
            throw std::invalid_argument("\"" + text + "\" has more than one decimal");
        }
    }
    if (!Skip(rest, " "))
    {
        throw std::invalid_argument("\"" + text + "\" lacks the blank before its unit");
    }
    int unit = 0;
    if (rest == "K")
    {
        unit = 1;
    }
    else if (rest == "M")
    {
        unit = 2;
    }
    else if (rest == "G")
    {
        unit = 3;
    }
    else if (!rest.empty())
    {
        throw std::invalid_argument("\"" + text + "\" has an unknown unit");
    }
    if (unit == 0)
    {
        if (digit)
        {
            throw std::invalid_argument("\"" + text + "\" has a decimal but no unit");
        }
        return SizeRange{value, value};
    }
    // The effect divides by 1024 once per unit; the decimal comes from the
    // remainder of the last division only and is truncated. So the value
    // before the last division lies in [value * 1024 + r0, value * 1024 + r1],
    // and every earlier division may have dropped up to 1023 more.
    const std::uint64_t d = digit.value_or(0);
    const std::uint64_t lastLow = value * 1024 + FirstRemainderOf(d);
    const std::uint64_t lastHigh = value * 1024 + FirstRemainderOf(d + 1) - 1;
    std::uint64_t scale = 1;
    for (int i = 1; i < unit; ++i)
    {
        scale *= 1024;
    }
    return SizeRange{lastLow * scale, (lastHigh + 1) * scale - 1};
}

FrameInformation ParseInformation(const std::vector<std::string>& lines)
{
    if (lines.size() < 5)
    {
        throw std::invalid_argument(
            "the Information area shows " +
            (lines.empty() ? std::string("nothing") : "\"" + lines.front() + "\"") +
            " instead of the five lines of statistics");
    }
    FrameInformation info;

    std::string_view text(lines[0]);
    Expect(text, "Dimensions: ", lines[0]);
    info.width = static_cast<int>(ReadUnsigned(text, lines[0]));
    Expect(text, " x ", lines[0]);
    info.height = static_cast<int>(ReadUnsigned(text, lines[0]));

    text = lines[1];
    Expect(text, "Frame ", lines[1]);
    const bool negative = Skip(text, "-");
    info.frame = static_cast<int>(ReadUnsigned(text, lines[1])) * (negative ? -1 : 1);
    Expect(text, " Segment ", lines[1]);
    const bool negativeSegment = Skip(text, "-");
    info.segment = static_cast<int>(ReadUnsigned(text, lines[1])) * (negativeSegment ? -1 : 1);
    Expect(text, "  Type: ", lines[1]);
    const std::size_t sizeAt = text.find("  Encoded Size: ");
    if (sizeAt == std::string_view::npos)
    {
        throw std::invalid_argument("the Information line \"" + lines[1] +
                                    "\" lacks \"  Encoded Size: \"");
    }
    info.pictureType = std::string(text.substr(0, sizeAt));
    text.remove_prefix(sizeAt + std::string_view("  Encoded Size: ").size());
    info.sizeText = std::string(text);
    info.size = ParseSizeText(info.sizeText);

    text = lines[2];
    Expect(text, "Total Encoded Size: ", lines[2]);
    info.totalText = std::string(text);
    info.total = ParseSizeText(info.totalText);

    text = lines[3];
    Expect(text, "Average Bitrate: ", lines[3]);
    info.averageKbps = static_cast<std::uint32_t>(ReadUnsigned(text, lines[3]));
    if (Skip(text, "   Target: "))
    {
        info.targetKbps = static_cast<std::uint32_t>(ReadUnsigned(text, lines[3]));
    }

    text = lines[4];
    Expect(text, "Memory Usage: ", lines[4]);
    info.memoryText = std::string(text);
    return info;
}

std::optional<FrameInformation> ReadInformation(EffectHost::Host& host)
{
    const int position = host.PositionOfHostId(HostIdInformation);
    if (position < 0)
    {
        throw std::runtime_error(
            fmt::format("The module has no Information area (host id {})", HostIdInformation));
    }
    // The strings a draw adds to the host's record are the area's lines, in
    // the order the effect drew them.
    const std::size_t before = host.DrawnStringCount();
    const EffectHost::DrawResult drawn =
        host.DrawEvent(position, PF_Rect{0, 0, EffectHost::Host::PanelWidth, 75});
    if (!drawn.command.Succeeded())
    {
        throw std::runtime_error("The effect failed to draw its Information area" +
                                 (drawn.command.errorMessage.empty()
                                      ? std::string()
                                      : ": " + drawn.command.errorMessage));
    }
    std::vector<std::string> lines;
    for (const std::u16string& text : host.TakeDrawnStrings(before))
    {
        lines.push_back(Zovazaz::ToNarrow(text));
    }
    if (lines.size() == 1 && lines.front() == "N/A")
    {
        return std::nullopt;
    }
    try
    {
        return ParseInformation(lines);
    }
    catch (const std::invalid_argument& error)
    {
        throw std::runtime_error(std::string("Cannot read the effect's statistics: ") +
                                 error.what());
    }
}

} // namespace CommandLine
