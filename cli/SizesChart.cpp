#include "cli/SizesChart.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>

#include <fmt/format.h>

namespace CommandLine
{

namespace
{

constexpr double ChartWidth = 960;
constexpr double ChartHeight = 400;
constexpr double Left = 70;
constexpr double Right = 20;
constexpr double Top = 56;
constexpr double Bottom = 44;

std::string Escape(const std::string& text)
{
    std::string out;
    for (const char c : text)
    {
        switch (c)
        {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Bytes(double bytes)
{
    if (bytes >= 1024.0 * 1024.0)
    {
        return fmt::format("{:.1f} MiB", bytes / (1024.0 * 1024.0));
    }
    if (bytes >= 1024.0)
    {
        return fmt::format("{:.1f} KiB", bytes / 1024.0);
    }
    return fmt::format("{:.0f} B", bytes);
}

// A round step for about five grid lines up to `top`.
double GridStep(double top)
{
    const double raw = top / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0})
    {
        if (raw <= factor * magnitude)
        {
            return factor * magnitude;
        }
    }
    return 10.0 * magnitude;
}

// The picture types in the order a reader thinks of them.
int TypeRank(const std::string& type)
{
    static const char* const order[] = {"IDR", "I", "Key", "P", "BRef", "B"};
    for (int i = 0; i < 6; ++i)
    {
        if (type == order[i])
        {
            return i;
        }
    }
    return 6;
}

} // namespace

const char* PictureTypeColour(const std::string& pictureType)
{
    if (pictureType == "IDR")
    {
        return "#c0392b";
    }
    if (pictureType == "I" || pictureType == "Key")
    {
        return "#e67e22";
    }
    if (pictureType == "P")
    {
        return "#2e86c1";
    }
    if (pictureType == "BRef")
    {
        return "#1e8449";
    }
    if (pictureType == "B")
    {
        return "#58d68d";
    }
    return "#95a5a6";
}

std::string SizesChart(const std::vector<ChartFrame>& frames, const ChartSettings& settings)
{
    const double plotWidth = ChartWidth - Left - Right;
    const double plotHeight = ChartHeight - Top - Bottom;
    double top = 1.0;
    for (const ChartFrame& frame : frames)
    {
        top = std::max(top, static_cast<double>(frame.bytes));
    }
    if (settings.targetBytesPerFrame)
    {
        top = std::max(top, *settings.targetBytesPerFrame);
    }
    // Round steps in the unit the labels show, so they read 5 KiB, 10 KiB.
    const double unit = top >= 1024.0 * 1024.0 ? 1024.0 * 1024.0 : top >= 1024.0 ? 1024.0 : 1.0;
    const double step = GridStep(top * 1.08 / unit) * unit;
    top = std::ceil(top * 1.08 / step) * step;
    const auto yOf = [&](double bytes) { return Top + plotHeight * (1.0 - bytes / top); };
    const double slot = frames.empty() ? plotWidth : plotWidth / static_cast<double>(frames.size());
    const double gap = slot > 4 ? std::min(slot * 0.15, 3.0) : 0.0;

    // Coordinates are written with two decimals.
    std::string svg;
    const auto out = std::back_inserter(svg);
    fmt::format_to(out,
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0:.2f}\" height=\"{1:.2f}\" "
                   "viewBox=\"0 0 {0:.2f} {1:.2f}\" font-family=\"DejaVu Sans, Arial, sans-serif\" "
                   "font-size=\"12\">\n",
                   ChartWidth, ChartHeight);
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    fmt::format_to(out,
                   "<text x=\"{:.2f}\" y=\"22\" font-size=\"15\" font-weight=\"bold\">{}</text>\n",
                   Left, Escape(settings.title));

    // The colour key sits on the title's line, so no reader has to look for it.
    std::set<std::string> typesSeen;
    for (const ChartFrame& frame : frames)
    {
        typesSeen.insert(frame.pictureType);
    }
    std::vector<std::string> types(typesSeen.begin(), typesSeen.end());
    std::sort(types.begin(), types.end(),
              [](const std::string& a, const std::string& b) { return TypeRank(a) < TypeRank(b); });
    double keyX = Left;
    for (const std::string& type : types)
    {
        fmt::format_to(out,
                       "<rect class=\"key\" x=\"{:.2f}\" y=\"32\" width=\"12\" height=\"12\" "
                       "fill=\"{}\"/><text x=\"{:.2f}\" y=\"43\">{} frames</text>\n",
                       keyX, PictureTypeColour(type), keyX + 16, Escape(type));
        keyX += 30 + 7.5 * static_cast<double>(type.size() + 7);
    }

    // Grid and axis labels.
    for (double value = 0; value <= top + step / 2; value += step)
    {
        const double y = yOf(value);
        fmt::format_to(out,
                       "<line x1=\"{0:.2f}\" y1=\"{1:.2f}\" x2=\"{2:.2f}\" y2=\"{1:.2f}\" "
                       "stroke=\"#e5e5e5\" stroke-width=\"1\"/>\n"
                       "<text x=\"{3:.2f}\" y=\"{4:.2f}\" text-anchor=\"end\" fill=\"#555555\">{5}"
                       "</text>\n",
                       Left, y, Left + plotWidth, Left - 6, y + 4, Bytes(value));
    }
    fmt::format_to(out,
                   "<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\" "
                   "fill=\"#555555\">frame</text>\n",
                   Left + plotWidth / 2, ChartHeight - 8);

    // Bars, with the frame's numbers as a tooltip.
    const bool typeOnBars = slot >= 22;
    const std::size_t labelEvery =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(40.0 / std::max(slot, 1e-3))));
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        const ChartFrame& frame = frames[i];
        const double x = Left + static_cast<double>(i) * slot + gap / 2;
        const double y = yOf(static_cast<double>(frame.bytes));
        const std::string type = Escape(frame.pictureType);
        fmt::format_to(out,
                       "<rect class=\"bar\" data-frame=\"{}\" data-type=\"{}\" x=\"{:.2f}\" "
                       "y=\"{:.2f}\" width=\"{:.2f}\" height=\"{:.2f}\" fill=\"{}\"><title>frame "
                       "{}, segment {}, {}, {} bytes",
                       frame.frame, type, x, y, std::max(slot - gap, 0.5), Top + plotHeight - y,
                       PictureTypeColour(frame.pictureType), frame.frame, frame.segment, type,
                       frame.bytes);
        if (frame.bytesMax > frame.bytes)
        {
            fmt::format_to(out, " (up to {})", frame.bytesMax);
        }
        svg += "</title></rect>\n";
        if (typeOnBars)
        {
            fmt::format_to(out,
                           "<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\" "
                           "font-size=\"10\">{}</text>\n",
                           x + (slot - gap) / 2, y - 3, type);
        }
        if (i % labelEvery == 0)
        {
            fmt::format_to(out,
                           "<text x=\"{:.2f}\" y=\"{:.2f}\" text-anchor=\"middle\" "
                           "fill=\"#555555\">{}</text>\n",
                           x + (slot - gap) / 2, Top + plotHeight + 16, frame.frame);
        }
    }

    // Segment boundaries: where a frame's segment differs from the one before.
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        if (i == 0 || frames[i].segment != frames[i - 1].segment)
        {
            const double x = Left + static_cast<double>(i) * slot;
            fmt::format_to(out,
                           "<line class=\"segment\" x1=\"{0:.2f}\" y1=\"{1:.2f}\" x2=\"{0:.2f}\" "
                           "y2=\"{2:.2f}\" stroke=\"#333333\" stroke-width=\"1\" "
                           "stroke-dasharray=\"4 3\"/>\n"
                           "<text x=\"{3:.2f}\" y=\"{4:.2f}\" fill=\"#333333\" "
                           "font-size=\"10\">segment {5}</text>\n",
                           x, Top, Top + plotHeight, x + 3, Top + 11, frames[i].segment);
        }
    }

    if (settings.targetBytesPerFrame)
    {
        const double y = yOf(*settings.targetBytesPerFrame);
        std::string label =
            fmt::format("target {} per frame", Bytes(*settings.targetBytesPerFrame));
        if (settings.targetKbps)
        {
            label += fmt::format(" ({} kbit/s)", *settings.targetKbps);
        }
        fmt::format_to(out,
                       "<line class=\"target\" x1=\"{0:.2f}\" y1=\"{1:.2f}\" x2=\"{2:.2f}\" "
                       "y2=\"{1:.2f}\" stroke=\"#8e44ad\" stroke-width=\"2\"/>\n"
                       "<text x=\"{3:.2f}\" y=\"{4:.2f}\" text-anchor=\"end\" fill=\"#8e44ad\" "
                       "font-weight=\"bold\">{5}</text>\n",
                       Left, y, Left + plotWidth, Left + plotWidth - 4, y - 5, Escape(label));
    }
    fmt::format_to(out,
                   "<line x1=\"{0:.2f}\" y1=\"{1:.2f}\" x2=\"{2:.2f}\" y2=\"{1:.2f}\" "
                   "stroke=\"#333333\"/>\n",
                   Left, Top + plotHeight, Left + plotWidth);
    svg += "</svg>\n";
    return svg;
}

} // namespace CommandLine
